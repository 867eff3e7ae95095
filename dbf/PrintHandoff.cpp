#include "dbf/PrintHandoff.h"

#include "base/DbfFieldName.h"
#include "base/Sysdef.h"
#include "base/Gbk.h"
#include "logic/Messages.h"

#include <QFileInfo>
#include <QProcess>
#include <QStringEncoder>

#include <algorithm>
#include <thread>

namespace corvanta {

namespace {

const QString kBodyTable = QStringLiteral("TABLE_M1.DBF");
const QString kTitleTable = QStringLiteral("TABLE_B1.DBF");

// Encodes cells to GBK without building a converter per cell; most cells are plain ASCII.
class CellEncoder {
public:
    QByteArray operator()(const QString& text)
    {
        bool ascii = true;
        for (QChar c : text)
            if (c.unicode() >= 0x80) {
                ascii = false;
                break;
            }
        if (ascii)
            return text.toLatin1();
        return m_encoder.encode(text);
    }

private:
    QStringEncoder m_encoder{"GB18030"};
};

bool isBlankText(const QString& text)
{
    for (QChar c : text)
        if (c != QLatin1Char(' '))
            return false;
    return true;
}

}  // namespace

PrintHandoff::PrintHandoff(DATABASEFILE& tables, Messages& messages) : m_tables(tables), m_messages(messages) {}

std::chrono::steady_clock::time_point PrintHandoff::now() const
{
    return m_clock ? m_clock() : std::chrono::steady_clock::now();
}

QByteArray PrintHandoff::BodyFieldName(const QByteArray& heading)
{
    if (heading.isEmpty())
        return QByteArrayLiteral("Rwx");
    return CutDbfFieldName(heading);  // the report program looks the field up by the same cut
}

int PrintHandoff::BodyFieldWidth(int pixels)
{
    return std::min(DATABASEFILE::kMaxFieldWidth, std::max(0, pixels) / 7 + 30);
}

bool PrintHandoff::HasTotalsMarker(const QString& cell)
{
    return cell.contains(QStringLiteral("合计")) || cell.contains(QStringLiteral("合 计"))
           || cell.contains(QStringLiteral("合  计"));
}

int PrintHandoff::LastFilledRow(const GridSource& grid)
{
    const int columns = grid.columnCount();
    for (int r = grid.rowCount() - 1; r >= 0; --r)
        for (int c = 0; c < columns; ++c)
            if (!isBlankText(grid.cell(r, c)))
                return r;
    return 0;
}

bool PrintHandoff::OpenReportTable(const QString& fileName)
{
    const QString dataDir = GetDataDir();
    const QString readWrite = QStringLiteral("readwrite");
    int result = m_tables.f_open(dataDir, fileName, readWrite);
    if (result == DbfOpen::Opened)
        return true;
    if (result == DbfOpen::NoFile) {
        m_messages.beep();
        m_messages.superMsg(QStringLiteral("错误"), QStringLiteral("文件") + fileName + QStringLiteral("不存在！"),
                            QStringLiteral("myok"), QString(), QStringLiteral("stop"));
        return false;
    }
    // Only a file that cannot be opened (another program holds it) is worth waiting for; a
    // refused table has had its own message already.
    if (m_tables.status() != DbfStatus::OpenError)
        return false;
    const auto first = now();
    while (now() - first < kBusyRetry) {
        // A short pause keeps the wait from spinning the processor and the disk.
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
        result = m_tables.f_open(dataDir, fileName, readWrite);
        if (result == DbfOpen::Opened)
            return true;
        if (result != DbfOpen::Failed || m_tables.status() != DbfStatus::OpenError)
            return false;
    }
    m_messages.beep();
    m_messages.superMsg(QStringLiteral("错误"), QStringLiteral("系统忙，请稍后重试！"), QStringLiteral("myok"), QString(),
                        QStringLiteral("stop"));
    return false;
}

bool PrintHandoff::WriteTitleTable(const std::vector<TitleField>& titleFields)
{
    if (!m_tables.f_new(GetDataDir() + QLatin1Char('/') + kTitleTable))
        return false;
    bool ok = true;
    for (const TitleField& f : titleFields) {
        const int width = std::min(DATABASEFILE::kMaxFieldWidth, std::max(0, f.width) + 10);
        m_tables.f_addfield(gbk::encode(gbk::truncateToBytes(f.name, 11)), 'C', 0, width);
        ok = ok && m_tables.statusOk();
    }
    if (!OpenReportTable(kTitleTable.toLower()))
        return false;
    ok = m_tables.f_appendblank() && ok;
    for (std::size_t i = 0; i < titleFields.size(); ++i)
        ok = m_tables.ReplaceNoString(static_cast<int>(i) + 1, gbk::truncateToBytes(titleFields[i].value, 83)) && ok;
    m_tables.f_Close();
    return ok && m_tables.statusOk();
}

bool PrintHandoff::WriteBodyTable(const GridSource& grid)
{
    if (!m_tables.f_new(GetDataDir() + QLatin1Char('/') + kBodyTable))
        return false;
    CellEncoder encode;
    const int columns = grid.columnCount();
    bool ok = true;
    for (int c = 0; c < columns; ++c) {
        m_tables.f_addfield(BodyFieldName(encode(grid.cell(0, c))), 'C', 0, BodyFieldWidth(grid.columnWidth(c)));
        ok = ok && m_tables.statusOk();
    }
    if (!OpenReportTable(kBodyTable.toLower()))
        return false;

    m_messages.busy(true);
    const int last = LastFilledRow(grid);
    bool totals = false;
    for (int c = 0; c < std::min(columns, 4) && last > 0; ++c)
        totals = totals || HasTotalsMarker(grid.cell(last, c));
    for (int r = 1; r <= last; ++r) {
        if (!m_tables.f_appendblank()) {
            ok = false;  // its message is shown; one is enough, not one per row
            break;
        }
        if (r == last && totals)
            continue;  // the report program makes its own totals
        for (int c = 0; c < columns; ++c)
            m_tables.ReplaceNoString(c + 1, encode(grid.cell(r, c)));
    }
    m_messages.busy(false);
    m_tables.f_Close();
    return ok && m_tables.statusOk();
}

bool PrintHandoff::StartReportProgram(const QString& templateName)
{
    const QString program = FindFileNoCase(GetAppDir(), QStringLiteral("PRINT.EXE"));
    if (!QFileInfo(program).isFile()) {
        m_messages.superMsg(QStringLiteral("错误"), QStringLiteral("找不到PRINT.EXE文件！"), QStringLiteral("myok"),
                            QString(), QStringLiteral("stop"));
        return false;
    }
    const QStringList arguments{QStringLiteral("/rwxfile") + templateName};
    const bool started = m_launcher ? m_launcher(program, arguments) : QProcess::startDetached(program, arguments);
    if (!started) {
        m_messages.superMsg(QStringLiteral("错误"), QStringLiteral("不能启动") + program + QStringLiteral("！"),
                            QStringLiteral("myok"), QString(), QStringLiteral("stop"));
        return false;
    }
    return true;
}

bool PrintHandoff::PrintReport(const std::vector<TitleField>& titleFields, const GridSource& grid,
                               const QString& templateName)
{
    const bool title = WriteTitleTable(titleFields);
    const bool body = WriteBodyTable(grid);
    const bool started = StartReportProgram(templateName);
    return title && body && started;
}

}  // namespace corvanta
