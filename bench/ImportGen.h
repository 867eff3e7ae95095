#pragma once
// Outlet files for benchmarks: GBK sales or stock lines with realistic Chinese products, codes,
// units, places, dates over three months and several outlets. Deterministic for a given seed.
#include <QString>
#include <QStringList>
#include <cstdint>

namespace corvanta::bench {

struct GenOptions {
    std::uint64_t lines = 1000000;  // data lines, the header not counted
    std::uint64_t seed = 20240101;
    int outlets = 12;               // outlet numbers "0001" .. 
};

// The outlet numbers the files use.
QStringList GenOutletIds(const GenOptions& options);
// Writes the file; false (with a message on stderr) when it cannot be written.
bool GenerateSalesFile(const QString& path, const GenOptions& options);
bool GenerateStockFile(const QString& path, const GenOptions& options);

}  // namespace corvanta::bench
