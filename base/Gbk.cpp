#include "base/Gbk.h"

#include <QStringDecoder>
#include <QStringEncoder>
#include <cstdint>
#include <vector>

namespace corvanta::gbk {

QByteArray encode(const QString& text)
{
    QStringEncoder enc("GB18030");
    return enc.encode(text);
}

QString decode(const QByteArray& bytes)
{
    QStringDecoder dec("GB18030");
    return dec.decode(bytes);
}

bool decodeStrict(const QByteArray& bytes, QString& out)
{
    // Stateless, so a lead byte cut off at the end counts as an error too.
    QStringDecoder dec("GB18030", QStringConverter::Flag::Stateless);
    out = dec.decode(bytes);
    return !dec.hasError();
}

namespace {
// A four-byte GB18030 sequence starts with a lead byte followed by a digit.
qsizetype firstFourByteSequence(const QByteArray& b)
{
    for (qsizetype i = 0; i < b.size();) {
        const auto c = std::uint8_t(b[i]);
        if (c < 0x80) {
            ++i;
        } else if (i + 1 < b.size() && std::uint8_t(b[i + 1]) >= 0x30 && std::uint8_t(b[i + 1]) <= 0x39) {
            return i;
        } else {
            i += 2;
        }
    }
    return -1;
}
}  // namespace

GbkOnly encodeGbkOnly(const QString& text)
{
    GbkOnly r;
    r.bytes = encode(text);
    if (firstFourByteSequence(r.bytes) < 0)
        return r;
    // Rare: find which character it was.
    for (qsizetype i = 0; i < text.size();) {
        const qsizetype n = (text.at(i).isHighSurrogate() && i + 1 < text.size()) ? 2 : 1;
        if (firstFourByteSequence(encode(text.mid(i, n))) >= 0) {
            r.badIndex = i;
            r.bytes.clear();
            return r;
        }
        i += n;
    }
    return r;
}

int byteLength(const QString& text)
{
    return int(encode(text).size());
}

QString truncateToBytes(const QString& text, int maxBytes)
{
    if (maxBytes <= 0)
        return {};
    if (byteLength(text) <= maxBytes)
        return text;
    QString out;
    int used = 0;
    for (qsizetype i = 0; i < text.size();) {
        // Keep surrogate pairs together.
        qsizetype n = (text.at(i).isHighSurrogate() && i + 1 < text.size()) ? 2 : 1;
        QString piece = text.mid(i, n);
        int len = byteLength(piece);
        if (used + len > maxBytes)
            break;
        out += piece;
        used += len;
        i += n;
    }
    return out;
}

}  // namespace corvanta::gbk

namespace corvanta::gbk {

namespace {

// GB18030 bytes of every BMP character, packed big-endian in the low bytes, with the length.
struct BmpTable {
    std::vector<std::uint32_t> code = std::vector<std::uint32_t>(0x10000);
    std::vector<std::uint8_t> length = std::vector<std::uint8_t>(0x10000);
};

const BmpTable& bmpTable()
{
    static const BmpTable table = [] {
        BmpTable t;
        QString all(0x10000, QChar(u'?'));
        for (int u = 0; u < 0x10000; ++u)
            if (u < 0xD800 || u > 0xDFFF)
                all[u] = QChar(char16_t(u));
        const QByteArray bytes = encode(all);
        qsizetype i = 0;
        for (int u = 0; u < 0x10000 && i < bytes.size(); ++u) {
            const auto b = [&](qsizetype k) { return std::uint8_t(bytes[i + k]); };
            int len = 1;
            if (b(0) >= 0x81 && i + 1 < bytes.size())
                len = (b(1) >= 0x30 && b(1) <= 0x39) ? 4 : 2;
            std::uint32_t code = 0;
            for (int k = 0; k < len && i + k < bytes.size(); ++k)
                code = (code << 8) | b(k);
            t.code[u] = code;
            t.length[u] = std::uint8_t(len);
            i += len;
        }
        return t;
    }();
    return table;
}

void appendCode(std::uint32_t code, int len, std::string& out, std::size_t maxBytes)
{
    for (int k = len - 1; k >= 0 && out.size() < maxBytes; --k)
        out.push_back(char((code >> (8 * k)) & 0xFF));
}

}  // namespace

void appendFromUtf8(std::string_view utf8, std::string& out, std::size_t maxBytes)
{
    const BmpTable* table = nullptr;
    std::size_t i = 0;
    const std::size_t n = utf8.size();
    while (i < n && out.size() < maxBytes) {
        const auto c = std::uint8_t(utf8[i]);
        if (c < 0x80) {
            out.push_back(char(c));
            ++i;
            continue;
        }
        if (!table)
            table = &bmpTable();
        std::uint32_t cp = 0xFFFD;
        int len = 1;
        auto cont = [&](std::size_t k) { return k < n && (std::uint8_t(utf8[k]) & 0xC0) == 0x80; };
        if (c >= 0xC2 && c < 0xE0 && cont(i + 1)) {
            cp = ((c & 0x1Fu) << 6) | (std::uint8_t(utf8[i + 1]) & 0x3Fu);
            len = 2;
        } else if (c >= 0xE0 && c < 0xF0 && cont(i + 1) && cont(i + 2)) {
            cp = ((c & 0x0Fu) << 12) | ((std::uint8_t(utf8[i + 1]) & 0x3Fu) << 6) | (std::uint8_t(utf8[i + 2]) & 0x3Fu);
            len = 3;
        } else if (c >= 0xF0 && c < 0xF5 && cont(i + 1) && cont(i + 2) && cont(i + 3)) {
            cp = ((c & 0x07u) << 18) | ((std::uint8_t(utf8[i + 1]) & 0x3Fu) << 12) |
                 ((std::uint8_t(utf8[i + 2]) & 0x3Fu) << 6) | (std::uint8_t(utf8[i + 3]) & 0x3Fu);
            len = 4;
        }
        i += std::size_t(len);
        if (cp >= 0x10000 && cp <= 0x10FFFF) {
            // Four-byte GB18030 range of the supplementary planes, from 0x90308130.
            std::uint32_t off = cp - 0x10000;
            const std::uint32_t b4 = 0x30 + off % 10;
            off /= 10;
            const std::uint32_t b3 = 0x81 + off % 126;
            off /= 126;
            const std::uint32_t b2 = 0x30 + off % 10;
            off /= 10;
            const std::uint32_t b1 = 0x90 + off;
            appendCode((b1 << 24) | (b2 << 16) | (b3 << 8) | b4, 4, out, maxBytes);
        } else {
            if (cp > 0xFFFF || (cp >= 0xD800 && cp <= 0xDFFF))
                cp = 0xFFFD;
            appendCode(table->code[cp], table->length[cp], out, maxBytes);
        }
    }
}

}  // namespace corvanta::gbk
