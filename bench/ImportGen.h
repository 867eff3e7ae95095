#pragma once
// Outlet files for benchmarks: GBK sales or stock lines with realistic Chinese products, codes,
// units, places, dates over three months and several outlets. Deterministic for a given seed.
//
// Outlet-shaped files are what outlets send: per day and outlet one line per product sold, so
// nearly every line is a group of its own (day, outlet, product, type) for the summaries.
#include <QDate>
#include <QString>
#include <QStringList>
#include <cstdint>

namespace corvanta::bench {

struct GenOptions {
    std::uint64_t lines = 1000000;  // data lines, the header not counted
    std::uint64_t seed = 20240101;
    int outlets = 12;               // outlet numbers "0001" .. 
    // Outlet-shaped: the lines spread evenly over every day of one month and every outlet, each
    // outlet day selling distinct products of a catalogue of this many.
    bool outletShaped = false;
    int products = 5000;
    QDate month = QDate(2024, 1, 1);  // its first day
};

// Real shapes: 200 outlets, 5,000 products.
GenOptions OutletShaped(std::uint64_t lines, QDate month);

// The outlet numbers the files use.
QStringList GenOutletIds(const GenOptions& options);
// Writes the file; false (with a message on stderr) when it cannot be written.
bool GenerateSalesFile(const QString& path, const GenOptions& options);
bool GenerateStockFile(const QString& path, const GenOptions& options);
// One outlet's file of one day (a nightly batch's): lines distinct products of the catalogue.
bool GenerateOutletDayFile(const QString& path, const GenOptions& options, int outlet, QDate day, int lines);

}  // namespace corvanta::bench
