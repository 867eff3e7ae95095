#pragma once
// Text forms that both engines and the data module agree on: exact decimals in minimal form,
// dates as "yyyy-mm-dd", 32-bit integers.
#include <QString>
#include <QStringView>
#include <optional>

namespace corvanta {

// "[+-]digits[.digits]" (also ".5", "5."), surrounding blanks allowed, in minimal form: no plus
// sign, no leading or trailing zeros, "0" for zero. nullopt when the text is not such a number.
std::optional<QString> CanonicalDecimal(QStringView text);

// "yyyy-mm-dd", "yyyy/mm/dd" (month and day may have one digit) or "yyyymmdd", surrounding blanks
// allowed, naming a real day: the "yyyy-mm-dd" form. nullopt otherwise.
std::optional<QString> CanonicalDate(QStringView text);

// Optional sign and decimal digits, surrounding blanks allowed, within a signed 32-bit integer.
std::optional<qint32> ParseInt32(QStringView text);

}  // namespace corvanta
