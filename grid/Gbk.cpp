#include "grid/Gbk.h"

#include <QStringDecoder>
#include <QStringEncoder>

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
