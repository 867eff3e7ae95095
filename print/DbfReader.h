#pragma once
// Reads a whole dBASE III table (the print tables are small) into decoded text.
#include <QByteArray>
#include <QString>
#include <QStringList>

#include <vector>

namespace corvanta::print {

struct DbfTable {
    QStringList fieldNames;            // decoded from GBK
    std::vector<QByteArray> rawNames;  // as stored
    std::vector<int> widths;
    std::vector<QStringList> records;  // deleted records left out; trailing blanks removed
    QStringList warnings;              // what was odd but readable

    int fieldIndex(const QString& name) const { return fieldNames.indexOf(name); }
};

// Larger tables are refused: they are read into memory whole.
constexpr qint64 kMaxTableBytes = qint64(256) << 20;

// False with a message in error when the file cannot be read, is larger than kMaxTableBytes or
// is no dBASE III table.
bool readDbfTable(const QString& path, DbfTable& table, QString& error);

// GBK bytes of one stored value as text: trailing blanks dropped, and a double-byte character
// that the table's width cut in half left out.
QString decodeValue(const QByteArray& bytes);

}  // namespace corvanta::print
