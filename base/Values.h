#pragma once
// Exact decimals and dates: the one module that reads and writes them, for the data module, both
// engines and the intake checks. Text forms work on QString views; the UTF-8 forms give the same
// results on bytes without a QString per value (the import's intake reads millions of values).
//
//   - decimal  "[+-]digits[.digits]" (also ".5", "5."), blanks around allowed; minimal form: no
//              plus sign, no leading or trailing zeros, "0" for zero ("12.5", "10", "-3.25");
//   - scaled   a quantity or amount as an integer count of millionths, so sums are exact: at
//              most kIntegerDigits digits before the point and kFractionDigits significant ones
//              after it (nothing is rounded);
//   - date     "yyyy-mm-dd", "yyyy/mm/dd" (month and day may have one digit) or "yyyymmdd", blanks
//              around allowed, naming a real day; written "yyyy-mm-dd".
#include <QString>
#include <QStringView>
#include <QtGlobal>
#include <array>
#include <optional>
#include <string>
#include <string_view>

namespace corvanta {

// The minimal form of a decimal text; nullopt when the text is not such a number.
std::optional<QString> CanonicalDecimal(QStringView text);
// A number as a server prints it ("12.500", "-0.000") in minimal form; text that is no decimal
// ("NaN", "") comes back trimmed as it is.
QString MinimalDecimal(QStringView text);

// The "yyyy-mm-dd" form of a date text; nullopt when it names no day.
std::optional<QString> CanonicalDate(QStringView text);

// Optional sign and decimal digits, blanks around allowed, within a signed 32-bit integer.
std::optional<qint32> ParseInt32(QStringView text);

namespace scaled {
constexpr int kIntegerDigits = 12;
constexpr int kFractionDigits = 6;
// The largest sum the embedded engine computes exactly (in millionths, a 64-bit integer); a
// larger one is refused with SumOutOfRangeText().
constexpr const char* kLargestExactSum = "9223372036854.775807";
constexpr qint64 kUnit = 1'000'000;  // 10 to the power kFractionDigits
static_assert(kFractionDigits == 6 && kUnit == 1'000'000, "kUnit is 10^kFractionDigits");

std::optional<qint64> parse(QStringView text);
// The same on UTF-8 bytes.
std::optional<qint64> parse(std::string_view utf8);
// Minimal decimal text: "12.5", "-3", "0".
QString format(qint64 value);
}  // namespace scaled

// The refusal of a sum beyond scaled::kLargestExactSum.
QString SumOutOfRangeText();

// ---- UTF-8 forms ----------------------------------------------------------------------------

// The value without the white space that QString::trimmed removes; scratch holds it when the
// value had to be decoded for that (white space beyond ASCII).
std::string_view TrimmedUtf8(std::string_view value, std::string& scratch);

// A date (see CanonicalDate) as its Julian day and its "yyyy-mm-dd" text.
struct Day {
    qint64 julian = 0;
    std::array<char, 10> text{};
    std::string_view view() const { return std::string_view(text.data(), text.size()); }
};
std::optional<Day> ParseDay(std::string_view utf8);

}  // namespace corvanta
