#include "export/GridExport.h"

#include <QDate>
#include <QFile>
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

// Excel's column width in characters for a width in pixels (7 px a character, 5 px padding).
double widthChars(int pixels)
{
    return pixels <= 5 ? 0.5 : (pixels - 5) / 7.0;
}

}  // namespace

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

}  // namespace corvanta
