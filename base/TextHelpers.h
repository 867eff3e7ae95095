#pragma once
// Small helpers that many windows use to test, read and size text. They look at single GBK
// bytes; the QString overloads convert to GBK first.
#include <QByteArray>
#include <QString>
#include <cstdint>
#include <optional>
#include <stdexcept>
#include <string_view>

namespace corvanta {

// Raised when a number read from text does not fit or is malformed; reaches the caller's
// general error report instead of crashing the program.
class ConversionError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// Empty, or spaces (0x20) only. A tab is not blank.
bool IsBlank(const QByteArray& text);
bool IsBlank(const QString& text);

// Leading spaces skipped, then the run of decimal digits; 0 when there is none (a sign too).
// Throws ConversionError when the run does not fit a signed 32-bit integer.
int32_t LeadingInteger(const QByteArray& text);
int32_t LeadingInteger(const QString& text);

// The decimal number at the start of the text, rounded to four places; 0 when there is none.
// Throws ConversionError for a lone "." or an exponent without digits.
double TextToNumber(const QByteArray& text);
double TextToNumber(const QString& text);
// The same over single-byte text (digits and signs are the same in UTF-8 and GBK).
double TextToNumber(std::string_view text);

// The number an outlet number stands for: blanks around it ignored, an optional sign, decimal
// digits with any leading zeros ("0101" and "+101" are 101). nullopt for anything else, and for
// a number beyond 64 bits (*outOfRange set then, when given).
std::optional<qint64> OutletNumber(std::string_view text, bool* outOfRange = nullptr);
std::optional<qint64> OutletNumber(const QString& text, bool* outOfRange = nullptr);

// The second argument unless it is smaller than the first.
int32_t Larger(int32_t a, int32_t b);

// The local computer's name; "localhost" when the system gives none.
QString ComputerNameText();

}  // namespace corvanta
