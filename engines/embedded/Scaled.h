#pragma once
// Quantities and amounts are kept as integers in millionths, so sums are exact.
#include <QString>
#include <QStringView>
#include <optional>

namespace corvanta::scaled {

constexpr int kDigits = 6;
constexpr qint64 kUnit = 1000000;

// A decimal text (see CanonicalDecimal) with at most 12 integer digits and at most 6 significant
// fraction digits; nullopt otherwise (nothing is rounded).
std::optional<qint64> parse(QStringView text);
// Minimal decimal text: "12.5", "-3", "0".
QString format(qint64 value);

}  // namespace corvanta::scaled
