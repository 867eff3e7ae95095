#include "print/DbfReader.h"

#include "base/Gbk.h"

#include <QFile>

namespace corvanta::print {

namespace {
unsigned u8(const QByteArray& b, qsizetype at)
{
    return static_cast<unsigned char>(b.at(at));
}
}  // namespace

QString decodeValue(const QByteArray& bytes)
{
    qsizetype end = bytes.size();
    while (end > 0 && (bytes.at(end - 1) == ' ' || bytes.at(end - 1) == '\0'))
        --end;
    QString text = gbk::decode(bytes.left(end));
    if (text.endsWith(QChar::ReplacementCharacter))
        text.chop(1);
    return text;
}

bool readDbfTable(const QString& path, DbfTable& table, QString& error)
{
    table = DbfTable();
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        error = QStringLiteral("不能打开数据表 %1：%2").arg(path, file.errorString());
        return false;
    }
    // The print tables are small; a huge file is read in whole nowhere.
    if (file.size() > kMaxTableBytes) {
        error = QStringLiteral("数据表 %1 太大（%2 字节），不能打印").arg(path).arg(file.size());
        return false;
    }
    const QByteArray b = file.readAll();
    auto bad = [&](const QString& why) {
        error = QStringLiteral("数据表 %1 不是dBASE III表：%2").arg(path, why);
        return false;
    };
    if (b.size() < 33)
        return bad(QStringLiteral("文件只有 %1 字节").arg(b.size()));
    if ((u8(b, 0) & 0x07) != 3)
        return bad(QStringLiteral("版本字节为 %1").arg(u8(b, 0)));
    const quint32 count = u8(b, 4) | u8(b, 5) << 8 | u8(b, 6) << 16 | quint32(u8(b, 7)) << 24;
    const int headerLength = int(u8(b, 8) | u8(b, 9) << 8);
    const int recordLength = int(u8(b, 10) | u8(b, 11) << 8);
    if (headerLength < 33 || headerLength > b.size() || recordLength < 1)
        return bad(QStringLiteral("文件头长度 %1、记录长度 %2 不合理").arg(headerLength).arg(recordLength));

    const int fields = headerLength / 32 - 1;
    int used = 1;
    for (int i = 0; i < fields; ++i) {
        const qsizetype d = 32 + 32 * qsizetype(i);
        if (b.at(d) == 0x0D)
            break;
        QByteArray name = b.mid(d, 11);
        const qsizetype zero = name.indexOf('\0');
        if (zero >= 0)
            name.truncate(zero);
        const char type = b.at(d + 11);
        if (type != 'C' && type != 'N' && type != 'L')
            return bad(QStringLiteral("字段 %1 的类型 %2 不能打印").arg(gbk::decode(name), QChar::fromLatin1(type)));
        const int width = int(u8(b, d + 16));
        table.rawNames.push_back(name);
        table.fieldNames << gbk::decode(name);
        table.widths.push_back(width);
        used += width;
    }
    if (used > recordLength)
        return bad(QStringLiteral("字段宽度之和 %1 超过记录长度 %2").arg(used - 1).arg(recordLength));

    const qint64 available = (b.size() - headerLength) / recordLength;
    qint64 n = count;
    if (n > available) {
        table.warnings << QStringLiteral("数据表 %1 声明 %2 条记录，文件中只有 %3 条").arg(path).arg(count).arg(available);
        n = available;
    }
    table.records.reserve(static_cast<std::size_t>(n));
    for (qint64 r = 0; r < n; ++r) {
        const qsizetype at = headerLength + r * recordLength;
        if (b.at(at) == '*')
            continue;
        QStringList values;
        qsizetype offset = at + 1;
        for (int width : table.widths) {
            values << decodeValue(b.mid(offset, width));
            offset += width;
        }
        table.records.push_back(values);
    }
    return true;
}

}  // namespace corvanta::print
