#include "export/GridExport.h"

#include "grid/Gbk.h"

#include <QDate>
#include <QFile>
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

int digits(std::string_view t, std::size_t from, std::size_t n)
{
    int v = 0;
    for (std::size_t i = from; i < from + n; ++i) {
        if (t[i] < '0' || t[i] > '9')
            return -1;
        v = v * 10 + (t[i] - '0');
    }
    return v;
}

std::optional<QDate> exportDate(std::string_view t)
{
    // "yyyy-mm-dd", possibly followed by a time of day.
    if (t.size() < 10 || t[4] != '-' || t[7] != '-' || (t.size() > 10 && t[10] != ' ' && t[10] != 'T'))
        return std::nullopt;
    const QDate d(digits(t, 0, 4), digits(t, 5, 2), digits(t, 8, 2));
    if (!d.isValid() || d.year() < 1900)
        return std::nullopt;
    return d;
}

bool blank(std::string_view t)
{
    return t.find_first_not_of(' ') == std::string_view::npos;
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

    std::string scratch, cstr;
    for (int r = 0; r < rows; ++r) {
        for (int c = 0; c < cols; ++c) {
            const std::string_view text = grid.cellUtf8(r, c, scratch);
            if (text.empty())
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
            cstr.assign(text);  // the library wants a terminated string
            worksheet_write_string(ws, row, col, cstr.c_str(), r == 0 ? heading : nullptr);
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
