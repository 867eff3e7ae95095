#pragma once
// Files the benchmarks set up: program folders copied from the build.
#include <QString>

namespace corvanta::bench {

// Copies the files under from into to, keeping their relative paths (existing ones stay).
void CopyDir(const QString& from, const QString& to);

}  // namespace corvanta::bench
