#pragma once
// GBK (code page 936) text. Every rule that counts, cuts or compares bytes works on these bytes;
// conversion goes through GB18030 (a superset of GBK) via Qt's ICU-backed converters.
#include <QByteArray>
#include <QString>
#include <cstddef>
#include <string>
#include <string_view>

namespace corvanta::gbk {

QByteArray encode(const QString& text);
// Lenient: invalid sequences become U+FFFD.
QString decode(const QByteArray& bytes);
// Strict: false when the bytes are not valid GB18030 text.
bool decodeStrict(const QByteArray& bytes, QString& out);
// Plain GBK, not its GB18030 superset: the encoded text, or the index (in UTF-16 units) of the
// first character GBK cannot hold (one whose GB18030 form takes four bytes).
struct GbkOnly {
    QByteArray bytes;
    qsizetype badIndex = -1;
    bool ok() const { return badIndex < 0; }
};
GbkOnly encodeGbkOnly(const QString& text);
// Length of the text in GBK bytes (a Chinese character counts two).
int byteLength(const QString& text);
// The longest prefix of text whose GBK form has at most maxBytes bytes, cut on a character boundary.
QString truncateToBytes(const QString& text, int maxBytes);

}  // namespace corvanta::gbk

namespace corvanta::gbk {

// Appends the GBK (GB18030) form of UTF-8 text to out, stopping once out holds maxBytes bytes
// (the last character may be cut there). Table-driven: no conversion object per call.
void appendFromUtf8(std::string_view utf8, std::string& out, std::size_t maxBytes);

}  // namespace corvanta::gbk
