#include "export/GridExport.h"

#include "base/AtomicFile.h"

#include <QDate>
#include <QFile>
#include <QFileInfo>
#include <QStringList>
#include <cerrno>
#include <cstring>
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

namespace {

// The longest start of the text a cell holds: at most kXlsxMaxCellChars UTF-16 units (what the
// spreadsheet counts), never splitting a character.
std::size_t cellCut(std::string_view t, bool* cut)
{
    std::size_t units = 0, i = 0;
    while (i < t.size()) {
        const auto c = static_cast<unsigned char>(t[i]);
        const std::size_t len = c < 0x80 ? 1 : c < 0xE0 ? 2 : c < 0xF0 ? 3 : 4;
        const std::size_t u = len == 4 ? 2 : 1;
        if (units + u > std::size_t(kXlsxMaxCellChars)) {
            *cut = true;
            return i;
        }
        units += u;
        i += len;
    }
    return t.size();
}

QString sheetName(int first, int last)
{
    return QStringLiteral("第%1-%2行").arg(first).arg(last);
}

}  // namespace

bool WriteXlsx(const GridSource& grid, const QString& file, QString* error, QString* notice)
{
    CNumericLocale cLocale;
    if (notice)
        notice->clear();
    AtomicFile out(file);
    auto failed = [&](const QString& cause) {
        out.fail(cause);
        if (error)
            *error = out.error();
        return false;
    };
    if (!out.open()) {
        if (error)
            *error = out.error();
        return false;
    }
    const QString writing = out.pathForWriter();
    if (writing.isEmpty())
        return failed(out.error());
    const QByteArray path = QFile::encodeName(writing);
    // The library's own scratch files go beside the target too: a small temporary folder must
    // not cut the file short.
    QByteArray scratchDir = QFile::encodeName(QFileInfo(out.isStream() ? writing : file).absolutePath());
    lxw_workbook_options options{};
    options.constant_memory = LXW_TRUE;  // rows go straight to disk: a big result costs no memory
    options.tmpdir = scratchDir.data();
    options.use_zip64 = LXW_TRUE;        // a million rows can pass 4 GB of XML
    lxw_workbook* wb = workbook_new_opt(path.constData(), &options);
    if (!wb)
        return failed(QStringLiteral("无法建立文件"));
    lxw_format* heading = workbook_add_format(wb);
    format_set_bold(heading);
    lxw_format* dateFormat = workbook_add_format(wb);
    format_set_num_format(dateFormat, "yyyy-mm-dd");

    const int cols = grid.columnCount();
    const int rows = ExportRowCount(grid);
    std::vector<ExportKind> kinds(std::size_t(std::max(cols, 0)), ExportKind::Text);
    for (int c = 0; c < cols; ++c)
        kinds[std::size_t(c)] = rows > 0 ? ExportKindForHeading(grid.cell(0, c)) : ExportKind::Text;
    const int perSheet = kXlsxMaxRows - 1;  // data rows under each sheet's heading
    const int dataRows = std::max(rows - 1, 0);
    const int sheets = std::max(1, (dataRows + perSheet - 1) / perSheet);

    std::string scratch, cstr;
    lxw_error rc = LXW_NO_ERROR;
    int cutCells = 0;
    auto writeCell = [&](lxw_worksheet* ws, lxw_row_t row, int r, int c) {
        const std::string_view text = grid.cellUtf8(r, c, scratch);
        if (text.empty())
            return LXW_NO_ERROR;
        const auto col = lxw_col_t(c);
        if (r > 0 && kinds[std::size_t(c)] == ExportKind::Number) {
            if (const auto v = ExportNumber(text))
                return worksheet_write_number(ws, row, col, *v, nullptr);
        } else if (r > 0 && kinds[std::size_t(c)] == ExportKind::Date) {
            if (const auto d = exportDate(text)) {
                lxw_datetime dt{d->year(), d->month(), d->day(), 0, 0, 0.0};
                return worksheet_write_datetime(ws, row, col, &dt, dateFormat);
            }
        }
        bool cut = false;
        cstr.assign(text.substr(0, cellCut(text, &cut)));  // the library wants a terminated string
        cutCells += cut ? 1 : 0;
        return worksheet_write_string(ws, row, col, cstr.c_str(), r == 0 ? heading : nullptr);
    };
    for (int s = 0; s < sheets && rc == LXW_NO_ERROR; ++s) {
        const int first = 1 + s * perSheet;
        const int last = std::min(dataRows, first + perSheet - 1);
        const QByteArray name = sheets > 1 ? sheetName(first, last).toUtf8() : QByteArray();
        lxw_worksheet* ws = workbook_add_worksheet(wb, sheets > 1 ? name.constData() : nullptr);
        if (!ws) {
            rc = LXW_ERROR_MEMORY_MALLOC_FAILED;
            break;
        }
        for (int c = 0; c < cols && rc == LXW_NO_ERROR; ++c) {
            const int px = grid.columnWidth(c);
            lxw_row_col_options hidden{};
            hidden.hidden = 1;
            rc = worksheet_set_column_opt(ws, lxw_col_t(c), lxw_col_t(c), px <= 0 ? LXW_DEF_COL_WIDTH : widthChars(px),
                                          nullptr, px <= 0 ? &hidden : nullptr);
        }
        worksheet_freeze_panes(ws, 1, 0);
        for (int c = 0; c < cols && rows > 0 && rc == LXW_NO_ERROR; ++c)
            rc = writeCell(ws, 0, 0, c);
        for (int r = first; r <= last && rc == LXW_NO_ERROR; ++r)
            for (int c = 0; c < cols && rc == LXW_NO_ERROR; ++c)
                rc = writeCell(ws, lxw_row_t(r - first + 1), r, c);
    }
    if (rc != LXW_NO_ERROR) {
        workbook_close(wb);
        return failed(QString::fromUtf8(lxw_strerror(rc)));
    }
    rc = workbook_close(wb);
    if (rc != LXW_NO_ERROR) {
        const int saved = errno;
        return failed(QString::fromUtf8(lxw_strerror(rc)) +
                      (saved ? QStringLiteral("（%1）").arg(QString::fromLocal8Bit(std::strerror(saved))) : QString()));
    }
    if (!out.commit()) {
        if (error)
            *error = out.error();
        return false;
    }
    if (notice) {
        QStringList notes;
        if (sheets > 1)
            notes << QStringLiteral("共 %1 行数据超过一张工作表的 %2 行，已分写在 %3 张工作表里（表名注明所含的行）")
                         .arg(dataRows)
                         .arg(perSheet)
                         .arg(sheets);
        if (cutCells > 0)
            notes << QStringLiteral("有 %1 个单元格的文字超过 %2 个字符，已截断到 %2 个字符").arg(cutCells).arg(kXlsxMaxCellChars);
        *notice = notes.join(QStringLiteral("；"));
    }
    return true;
}

}  // namespace corvanta
