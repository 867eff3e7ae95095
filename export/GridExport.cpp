#include "export/GridExport.h"

#include "grid/Gbk.h"

#include <QDate>
#include <QFile>
#include <QRegularExpression>
#include <QSaveFile>
#include <charconv>
#include <clocale>
#include <string>
#include <xlsxwriter.h>

namespace corvanta {

namespace {

// libxlsxwriter prints numbers with printf, which follows LC_NUMERIC; Qt sets the user's locale.
class CNumericLocale {
public:
    CNumericLocale()
    {
        const char* old = std::setlocale(LC_NUMERIC, nullptr);
        m_old = old ? old : "C";
        std::setlocale(LC_NUMERIC, "C");
    }
    ~CNumericLocale() { std::setlocale(LC_NUMERIC, m_old.c_str()); }

private:
    std::string m_old;
};

std::optional<QDate> exportDate(const QString& text)
{
    // "yyyy-mm-dd", possibly followed by a time of day.
    if (text.size() < 10)
        return std::nullopt;
    const QDate d = QDate::fromString(text.left(10), QStringLiteral("yyyy-MM-dd"));
    if (!d.isValid() || (text.size() > 10 && text.at(10) != u' ' && text.at(10) != u'T'))
        return std::nullopt;
    return d;
}

// Excel's column width in characters for a width in pixels (7 px a character, 5 px padding).
double widthChars(int pixels)
{
    return pixels <= 5 ? 0.5 : (pixels - 5) / 7.0;
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
                                     QStringLiteral("库存数量"), QStringLiteral("库存金额")};
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
    while (rows > 1) {
        bool empty = true;
        for (int c = 0; c < cols && empty; ++c)
            empty = grid.cell(rows - 1, c).trimmed().isEmpty();
        if (!empty)
            break;
        --rows;
    }
    return std::min(rows, grid.rowCount());
}

std::optional<double> ExportNumber(const QString& text)
{
    static const QRegularExpression decimal(QStringLiteral("^-?[0-9]+(\\.[0-9]+)?$"));
    const QString t = text.trimmed();
    if (!decimal.match(t).hasMatch())
        return std::nullopt;
    int significant = 0;
    bool leading = true;
    for (QChar c : t) {
        if (!c.isDigit())
            continue;
        if (leading && c == u'0')
            continue;
        leading = false;
        ++significant;
    }
    // Trailing zeros after the point carry no digits of the value.
    if (t.contains(u'.')) {
        for (qsizetype i = t.size() - 1; i >= 0 && t.at(i) == u'0' && significant > 0; --i)
            --significant;
    }
    if (significant > 15)
        return std::nullopt;
    // from_chars rounds correctly and ignores the locale: "0.3" is the double nearest 0.3.
    const std::string s = t.toStdString();
    double v = 0;
    const auto r = std::from_chars(s.data(), s.data() + s.size(), v);
    if (r.ec != std::errc() || r.ptr != s.data() + s.size())
        return std::nullopt;
    return v;
}

bool WriteXlsx(const GridSource& grid, const QString& file, QString* error)
{
    CNumericLocale cLocale;
    const QByteArray path = QFile::encodeName(file);
    lxw_workbook_options options{};
    options.constant_memory = LXW_TRUE;  // rows go straight to disk: a big result costs no memory
    lxw_workbook* wb = workbook_new_opt(path.constData(), &options);
    if (!wb) {
        if (error)
            *error = QStringLiteral("无法创建文件 %1").arg(file);
        return false;
    }
    lxw_worksheet* ws = workbook_add_worksheet(wb, nullptr);
    lxw_format* heading = workbook_add_format(wb);
    format_set_bold(heading);
    lxw_format* dateFormat = workbook_add_format(wb);
    format_set_num_format(dateFormat, "yyyy-mm-dd");

    const int cols = grid.columnCount();
    const int rows = ExportRowCount(grid);
    std::vector<ExportKind> kinds(std::size_t(std::max(cols, 0)), ExportKind::Text);
    for (int c = 0; c < cols; ++c) {
        kinds[std::size_t(c)] = rows > 0 ? ExportKindForHeading(grid.cell(0, c)) : ExportKind::Text;
        const int px = grid.columnWidth(c);
        lxw_row_col_options hidden{};
        hidden.hidden = 1;
        worksheet_set_column_opt(ws, lxw_col_t(c), lxw_col_t(c), px <= 0 ? LXW_DEF_COL_WIDTH : widthChars(px),
                                 nullptr, px <= 0 ? &hidden : nullptr);
    }
    worksheet_freeze_panes(ws, 1, 0);

    for (int r = 0; r < rows; ++r) {
        for (int c = 0; c < cols; ++c) {
            const QString text = grid.cell(r, c);
            if (text.isEmpty())
                continue;
            const auto row = lxw_row_t(r);
            const auto col = lxw_col_t(c);
            if (r > 0 && kinds[std::size_t(c)] == ExportKind::Number) {
                if (const auto v = ExportNumber(text)) {
                    worksheet_write_number(ws, row, col, *v, nullptr);
                    continue;
                }
            } else if (r > 0 && kinds[std::size_t(c)] == ExportKind::Date) {
                if (const auto d = exportDate(text)) {
                    lxw_datetime dt{d->year(), d->month(), d->day(), 0, 0, 0.0};
                    worksheet_write_datetime(ws, row, col, &dt, dateFormat);
                    continue;
                }
            }
            worksheet_write_string(ws, row, col, text.toUtf8().constData(), r == 0 ? heading : nullptr);
        }
    }
    const lxw_error rc = workbook_close(wb);
    if (rc != LXW_NO_ERROR) {
        if (error)
            *error = QStringLiteral("写入文件 %1 失败：%2").arg(file, QString::fromUtf8(lxw_strerror(rc)));
        return false;
    }
    return true;
}

QByteArray CsvBytes(const GridSource& grid, CsvEncoding encoding)
{
    const int rows = ExportRowCount(grid);
    const int cols = grid.columnCount();
    QString text;
    for (int r = 0; r < rows; ++r) {
        for (int c = 0; c < cols; ++c) {
            if (c > 0)
                text += u',';
            text += csvCell(grid.cell(r, c));
        }
        text += QStringLiteral("\r\n");
    }
    if (encoding == CsvEncoding::Gbk)
        return gbk::encode(text);
    return QByteArray("\xEF\xBB\xBF") + text.toUtf8();
}

bool WriteCsv(const GridSource& grid, const QString& file, CsvEncoding encoding, QString* error)
{
    QSaveFile f(file);
    if (!f.open(QIODevice::WriteOnly) || f.write(CsvBytes(grid, encoding)) < 0 || !f.commit()) {
        if (error)
            *error = QStringLiteral("写入文件 %1 失败：%2").arg(file, f.errorString());
        return false;
    }
    return true;
}

}  // namespace corvanta
