#pragma once
// The name a column heading gets as a field of the print hand-off's dBASE table: written by the
// client (dbf/PrintHandoff.cpp) and looked up by the report program (print/Report.cpp) with this
// one function, so the two always agree.
#include <QByteArray>

namespace corvanta {

// Bytes of a heading kept as the field name; one more when the cut would split a GBK character.
constexpr int kDbfFieldNameBytes = 8;

// heading is GBK. A heading shorter than kDbfFieldNameBytes + 1 bytes is kept whole; a longer one is cut after kDbfFieldNameBytes bytes, or one
// more when an odd number of the bytes before the cut are GBK lead or trail bytes (>= 0x7F).
QByteArray CutDbfFieldName(const QByteArray& heading);

}  // namespace corvanta
