#include "export/GridExport.h"

#include "base/AtomicFile.h"
#include "base/Gbk.h"

#include <charconv>
#include <string>

namespace corvanta {

namespace {

bool blank(std::string_view t)
{
    return t.find_first_not_of(' ') == std::string_view::npos;
}

QString csvCell(const QString& cell)
{
    if (!cell.contains(u',') && !cell.contains(u'"') && !cell.contains(u'\n') && !cell.contains(u'\r'))
        return cell;
    QString q = cell;
    q.replace(u'"', QStringLiteral("\"\""));
    return u'"' + q + u'"';
}

}  // namespace

std::optional<ExportFormat> ExportFormatFromName(const QString& name)
{
    const QString n = name.toLower();
    if (n == QStringLiteral("tsv"))
        return ExportFormat::Tsv;
    if (n == QStringLiteral("csv"))
        return ExportFormat::Csv;
    if (n == QStringLiteral("xlsx"))
        return ExportFormat::Xlsx;
    return std::nullopt;
}

ExportKind ExportKindForHeading(const QString& heading)
{
    static const QStringList numbers{QStringLiteral("序号"), QStringLiteral("行号"),     QStringLiteral("数量"),
                                     QStringLiteral("金额"), QStringLiteral("成本"),     QStringLiteral("利润"),
                                     QStringLiteral("库存数量"), QStringLiteral("库存金额"),
                                     QStringLiteral("文件大小"), QStringLiteral("数据行数")};
    static const QStringList dates{QStringLiteral("销售日期"), QStringLiteral("销售时间")};
    const QString h = heading.trimmed();
    if (numbers.contains(h))
        return ExportKind::Number;
    if (dates.contains(h))
        return ExportKind::Date;
    return ExportKind::Text;
}

int ExportRowCount(const GridSource& grid)
{
    int rows = grid.rowCount();
    const int cols = grid.columnCount();
    std::string scratch;
    while (rows > 1) {
        bool empty = true;
        for (int c = 0; c < cols && empty; ++c)
            empty = blank(grid.cellUtf8(rows - 1, c, scratch));
        if (!empty)
            break;
        --rows;
    }
    return std::min(rows, grid.rowCount());
}

std::optional<double> ExportNumber(const QString& text)
{
    const std::string utf8 = text.toStdString();
    return ExportNumber(std::string_view(utf8));
}

std::optional<double> ExportNumber(std::string_view t)
{
    while (!t.empty() && t.front() == ' ')
        t.remove_prefix(1);
    while (!t.empty() && t.back() == ' ')
        t.remove_suffix(1);
    // -?digits(.digits)? only: no exponent, no sign '+', no bare point.
    std::size_t i = t.size() && t[0] == '-' ? 1 : 0;
    const std::size_t intStart = i;
    while (i < t.size() && t[i] >= '0' && t[i] <= '9')
        ++i;
    if (i == intStart)
        return std::nullopt;
    std::size_t fracEnd = i;
    if (i < t.size()) {
        if (t[i] != '.')
            return std::nullopt;
        const std::size_t fracStart = ++i;
        while (i < t.size() && t[i] >= '0' && t[i] <= '9')
            ++i;
        if (i == fracStart || i != t.size())
            return std::nullopt;
        fracEnd = i;
        while (fracEnd > fracStart && t[fracEnd - 1] == '0')  // trailing zeros carry no digits
            --fracEnd;
    }
    int significant = 0;
    bool leading = true;
    for (std::size_t k = intStart; k < fracEnd; ++k) {
        if (t[k] == '.' || (leading && t[k] == '0'))
            continue;
        leading = false;
        ++significant;
    }
    if (significant > 15)
        return std::nullopt;
    // from_chars rounds correctly and ignores the locale: "0.3" is the double nearest 0.3.
    double v = 0;
    const auto r = std::from_chars(t.data(), t.data() + t.size(), v);
    if (r.ec != std::errc() || r.ptr != t.data() + t.size())
        return std::nullopt;
    return v;
}

std::optional<QByteArray> CsvBytes(const GridSource& grid, CsvEncoding encoding, QString* error)
{
    const int rows = ExportRowCount(grid);
    const int cols = grid.columnCount();
    QString text;
    for (int r = 0; r < rows; ++r) {
        for (int c = 0; c < cols; ++c) {
            if (c > 0)
                text += u',';
            const QString cell = grid.cell(r, c);
            if (encoding == CsvEncoding::Gbk) {
                if (const gbk::GbkOnly g = gbk::encodeGbkOnly(cell); !g.ok()) {
                    const qsizetype n = cell.at(g.badIndex).isHighSurrogate() ? 2 : 1;
                    if (error)
                        *error = QStringLiteral("第 %1 行第 %2 列（%3）的字符“%4”（U+%5）不在 GBK 字符集里，"
                                                "不能按 GBK 写出；请改用 UTF-8（utf8）或 GB18030（gb18030）编码")
                                     .arg(r)
                                     .arg(c + 1)
                                     .arg(grid.cell(0, c), cell.mid(g.badIndex, n))
                                     .arg(cell.mid(g.badIndex, n).toUcs4().value(0), 4, 16, QLatin1Char('0'));
                    return std::nullopt;
                }
            }
            text += csvCell(cell);
        }
        text += QStringLiteral("\r\n");
    }
    if (encoding != CsvEncoding::Utf8Bom)
        return gbk::encode(text);
    return QByteArray("\xEF\xBB\xBF") + text.toUtf8();
}

bool WriteCsv(const GridSource& grid, const QString& file, CsvEncoding encoding, QString* error)
{
    QString why;
    const std::optional<QByteArray> bytes = CsvBytes(grid, encoding, &why);
    if (!bytes) {
        if (error)
            *error = QStringLiteral("写入文件 %1 失败：%2").arg(file, why);
        return false;
    }
    return WriteFileAtomically(file, *bytes, error);
}

}  // namespace corvanta
