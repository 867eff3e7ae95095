#pragma once
// Small helpers shared by the table-engine and print hand-off tests.
#include "logic/GridSource.h"

#include <QByteArray>
#include <QFile>
#include <QString>
#include <QStringList>

#include <cstdint>
#include <vector>

namespace corvanta::test {

inline QByteArray readAll(const QString& path)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return {};
    return f.readAll();
}

inline unsigned u8(const QByteArray& b, int at)
{
    return static_cast<unsigned char>(b.at(at));
}

inline unsigned le16(const QByteArray& b, int at)
{
    return u8(b, at) | u8(b, at + 1) << 8;
}

inline std::uint32_t le32(const QByteArray& b, int at)
{
    return u8(b, at) | u8(b, at + 1) << 8 | u8(b, at + 2) << 16 | std::uint32_t(u8(b, at + 3)) << 24;
}

// Field name bytes of descriptor i (from 0), up to the first zero of its 11 bytes.
inline QByteArray fieldName(const QByteArray& b, int i)
{
    QByteArray name = b.mid(32 + 32 * i, 11);
    int zero = name.indexOf('\0');
    return zero < 0 ? name : name.left(zero);
}

// A plain table as a grid: row 0 the headings.
class TableGrid : public GridSource {
public:
    TableGrid(std::vector<QStringList> rows, std::vector<int> widths) : m_rows(std::move(rows)), m_widths(std::move(widths)) {}
    int rowCount() const override { return static_cast<int>(m_rows.size()); }
    int columnCount() const override { return static_cast<int>(m_widths.size()); }
    QString cell(int r, int c) const override
    {
        const QStringList& row = m_rows.at(static_cast<std::size_t>(r));
        return c < row.size() ? row.at(c) : QString();
    }
    int columnWidth(int c) const override { return m_widths.at(static_cast<std::size_t>(c)); }
    // Pads the grid with empty rows up to n rows, as a grid at its minimum height is.
    void padTo(int n)
    {
        while (rowCount() < n)
            m_rows.push_back({});
    }

private:
    std::vector<QStringList> m_rows;
    std::vector<int> m_widths;
};

}  // namespace corvanta::test
