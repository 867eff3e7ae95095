#pragma once
// The key of the embedded sales table: seq = day << 40 | counter, day being the Julian day number
// of DATE. A date range is a seq range (a sequential read of the table), the lines of one day keep
// the order in which they were imported, and the lines an import adds land at one place per day
// instead of in an index at random places. The table needs no secondary index.
#include <QtGlobal>

namespace corvanta::embedded {

constexpr int kDayShift = 40;
constexpr qint64 kCounterMask = (qint64(1) << kDayShift) - 1;
inline qint64 firstSeqOfDay(qint64 day) { return day << kDayShift; }
inline qint64 lastSeqOfDay(qint64 day) { return (day << kDayShift) | kCounterMask; }

}  // namespace corvanta::embedded
