#pragma once
// GBK (code page 936) text. Every rule that counts, cuts or compares bytes works on these bytes;
// conversion goes through GB18030 (a superset of GBK) via Qt's ICU-backed converters.
#include <QByteArray>
#include <QString>

namespace corvanta::gbk {

QByteArray encode(const QString& text);
// Lenient: invalid sequences become U+FFFD.
QString decode(const QByteArray& bytes);
// Strict: false when the bytes are not valid GB18030 text.
bool decodeStrict(const QByteArray& bytes, QString& out);
// Length of the text in GBK bytes (a Chinese character counts two).
int byteLength(const QString& text);
// The longest prefix of text whose GBK form has at most maxBytes bytes, cut on a character boundary.
QString truncateToBytes(const QString& text, int maxBytes);

}  // namespace corvanta::gbk
