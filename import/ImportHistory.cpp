#include "import/ImportHistory.h"

#include "connection/UDMData.h"
#include "base/CellStore.h"
#include "base/TextHelpers.h"
#include "import/DataImportProcedures.h"

#include <QFile>
#include <QFileInfo>
#include <future>
#include <memory>
#include <openssl/evp.h>

namespace corvanta {

namespace {

// Counts the data lines of a chunked file as the reader splits them: CR ends a line (an LF after
// it belongs to the end), Ctrl+Z ends the file, line 1 is the header, blanks (<= 32) at both ends
// do not count.
class LineCounter {
public:
    explicit LineCounter(ImportFileFacts& facts) : m_facts(facts) {}
    // false once a Ctrl+Z ended the file.
    bool feed(const char* p, qsizetype n)
    {
        for (qsizetype i = 0; i < n; ++i) {
            const unsigned char c = static_cast<unsigned char>(p[i]);
            if (c == 0x1A) {
                endLine();
                return false;
            }
            if (c == '\r') {
                endLine();
                continue;
            }
            if (c > 32)
                m_blank = false;
            if (c == ',')
                ++m_commas;
        }
        return true;
    }
    void endLine()
    {
        if (m_line++ > 0 && !m_blank) {
            ++m_facts.dataLines;
            if (m_commas == kSalesCommas)
                ++m_facts.salesLines;
            else if (m_commas == kStockCommas)
                ++m_facts.stockLines;
        }
        m_blank = true;
        m_commas = 0;
    }

private:
    ImportFileFacts& m_facts;
    qint64 m_line = 0;
    int m_commas = 0;
    bool m_blank = true;
};

}  // namespace

ImportFileFacts ReadImportFileFacts(const QString& path)
{
    ImportFileFacts facts;
    QFile file(path);
    // A device or a FIFO would be read forever, or block its opener without a writer.
    if (!QFileInfo(path).isFile() || !file.open(QIODevice::ReadOnly))
        return facts;
    const std::unique_ptr<EVP_MD_CTX, void (*)(EVP_MD_CTX*)> hash(EVP_MD_CTX_new(), EVP_MD_CTX_free);
    if (!hash || EVP_DigestInit_ex(hash.get(), EVP_sha256(), nullptr) != 1)
        return facts;
    LineCounter lines(facts);
    QByteArray buf(1 << 20, Qt::Uninitialized);
    qint64 size = 0;
    bool counting = true;
    for (;;) {
        const qint64 n = file.read(buf.data(), buf.size());
        if (n < 0)
            return ImportFileFacts{};
        if (n == 0)
            break;
        size += n;
        EVP_DigestUpdate(hash.get(), buf.constData(), size_t(n));
        if (counting)
            counting = lines.feed(buf.constData(), n);
    }
    if (counting)
        lines.endLine();
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int digestLength = 0;
    if (EVP_DigestFinal_ex(hash.get(), digest, &digestLength) != 1)
        return ImportFileFacts{};
    facts.size = size;
    facts.sha256 = QString::fromLatin1(
        QByteArray::fromRawData(reinterpret_cast<const char*>(digest), int(digestLength)).toHex());
    return facts;
}

QString ImportKindsText(const ImportFileFacts& facts)
{
    QStringList kinds;
    if (facts.salesLines)
        kinds << QStringLiteral("销售");
    if (facts.stockLines)
        kinds << QStringLiteral("库存");
    return kinds.join(QLatin1Char('+'));
}

QString ReasonCapture::superMsg(const QString& caption, const QString& text, const QString& buttons,
                                const QString& options, const QString& icon)
{
    m_texts << text;
    return m_quiet ? QStringLiteral("myok") : m_inner.superMsg(caption, text, buttons, options, icon);
}

void ReasonCapture::systemBox(const QString& caption, const QString& text)
{
    m_texts << text;
    if (!m_quiet)
        m_inner.systemBox(caption, text);
}

void ReasonCapture::cause(const QString& why)
{
    m_texts << why;
    if (!m_quiet)
        m_inner.cause(why);
}

void ReasonCapture::beep()
{
    if (!m_quiet)
        m_inner.beep();
}

void ReasonCapture::busy(bool on)
{
    m_inner.busy(on);
}

QString ReasonCapture::text() const
{
    QStringList lines;
    for (const QString& t : m_texts) {
        const QString one = t.simplified();
        if (!one.isEmpty())
            lines << one;
    }
    return lines.join(QStringLiteral("; "));
}

QString ImportOutcomeSuccess()
{
    return QStringLiteral("成功");
}

QString ImportOutcomeFailed()
{
    return QStringLiteral("失败");
}

QString ImportReason(const ImportResult& result, const QString& reported)
{
    if (result.ok())
        return QString();
    // The line-precise reason follows the messages the run showed.
    QString text = reported;
    if (!result.reason.isEmpty() && !text.contains(result.reason))
        text += (text.isEmpty() ? QString() : QStringLiteral("; ")) + result.reason;
    if (result.lineNo > 0)
        return QStringLiteral("第%1行：%2").arg(result.lineNo).arg(text);
    return text;
}

RecordedImport RunRecordedImport(TDMData& dm, const QString& file, Messages& messages, ImportObserver* observer,
                                 bool quiet)
{
    RecordedImport run;
    run.file = file;
    ReasonCapture capture(messages, quiet);
    // The file's facts for the history are read beside the import, on a thread of their own; a
    // file that is not a regular one is refused by the run, and never opened here.
    std::future<ImportFileFacts> factsLater =
        QFileInfo(file).isFile() ? std::async(std::launch::async, ReadImportFileFacts, file)
                                 : std::async(std::launch::deferred, [] { return ImportFileFacts{}; });
    try {
        DataImportProcedures procedures(dm);
        run.result = RunImport(file, procedures, capture, observer);
    } catch (const std::exception& e) {
        // Whatever escaped the run: reported, and recorded as the reason.
        run.result.status = ImportStatus::DatabaseError;
        capture.systemBox(importtext::errorCaption(), CauseText(e));
    }
    run.reason = ImportReason(run.result, capture.text());
    // The other import still holds the account set: no row can be written now, and nothing
    // was imported.
    if (run.result.status == ImportStatus::Busy)
        return run;

    run.facts = factsLater.get();
    const ImportFileFacts& facts = run.facts;
    const QString user = dm.ADOConnection.Property(QStringLiteral("User Id")).value_or(QString());
    try {
        const int rc = dm.CallProc(dm.InsertProc, QStringLiteral("hz_AddImportRecord"),
                                   {{QStringLiteral("@FileName"), QFileInfo(file).fileName()},
                                    {QStringLiteral("@FileSize"), facts.size < 0 ? QVariant() : QVariant(facts.size)},
                                    {QStringLiteral("@Sha256"), facts.sha256},
                                    {QStringLiteral("@Kinds"), ImportKindsText(facts)},
                                    {QStringLiteral("@Lines"), facts.size < 0 ? QVariant() : QVariant(facts.dataLines)},
                                    {QStringLiteral("@Outcome"),
                                     run.result.ok() ? ImportOutcomeSuccess() : ImportOutcomeFailed()},
                                    {QStringLiteral("@Reason"), run.reason},
                                    {QStringLiteral("@Computer"), ComputerNameText()},
                                    {QStringLiteral("@DbUser"), user},
                                    {QStringLiteral("@StockOutlets"),
                                     run.result.ok() ? run.result.stockOutlets.join(QLatin1Char('\n')) : QString()}});
        if (rc != 0)
            run.recordError = QStringLiteral("hz_AddImportRecord returned %1").arg(rc);
    } catch (const std::exception& e) {
        run.recordError = CauseText(e);
    }
    if (!run.recordError.isEmpty()) {
        const QString text = QStringLiteral("导入记录未能写入：%1").arg(QFileInfo(file).fileName());
        if (!quiet) {
            messages.systemBox(importtext::errorCaption(), text);
            messages.cause(run.recordError);
        }
        if (run.reason.isEmpty())
            run.reason = text + QStringLiteral("; ") + run.recordError;
    }
    return run;
}

QString ImportFileTitle(const QString& title, int k, int n, const QString& file)
{
    return QStringLiteral("%1 文件 %2/%3：%4").arg(title).arg(k).arg(n).arg(QFileInfo(file).fileName());
}

QString ImportSummaryCaption()
{
    return QStringLiteral("导入结果");
}

QString ImportSummaryText(const std::vector<RecordedImport>& runs)
{
    qsizetype failed = 0;
    for (const RecordedImport& r : runs)
        failed += r.ok() ? 0 : 1;
    QStringList lines;
    lines << QStringLiteral("共 %1 个文件：成功 %2 个，失败 %3 个。")
                 .arg(runs.size())
                 .arg(qsizetype(runs.size()) - failed)
                 .arg(failed);
    for (const RecordedImport& r : runs) {
        const QString name = QFileInfo(r.file).fileName();
        lines << (r.ok() ? QStringLiteral("%1：%2").arg(name, ImportOutcomeSuccess())
                         : QStringLiteral("%1：%2（%3）").arg(name, ImportOutcomeFailed(), r.reason));
    }
    if (failed)
        lines << QStringLiteral("一个文件失败不影响其余文件的导入。");
    return lines.join(QLatin1Char('\n'));
}

const QStringList& ImportLogHeadings()
{
    static const QStringList h{QStringLiteral("导入时间"), QStringLiteral("文件名"),   QStringLiteral("文件大小"),
                               QStringLiteral("SHA-256"),  QStringLiteral("数据类别"), QStringLiteral("数据行数"),
                               QStringLiteral("结果"),     QStringLiteral("原因"),     QStringLiteral("计算机"),
                               QStringLiteral("数据库用户")};
    return h;
}

const std::array<int, kImportLogColumns>& ImportLogWidths()
{
    static const std::array<int, kImportLogColumns> w{140, 160, 80, 200, 70, 70, 50, 300, 100, 90};
    return w;
}

namespace {
constexpr int kLinesColumn = 5;
constexpr int kOutcomeColumn = 6;
}  // namespace

const QStringList& ImportLogWindowHeadings()
{
    static const QStringList h = [] {
        QStringList all = ImportLogHeadings();
        all.insert(kLinesColumn + 1, QStringLiteral("已汇总行数"));
        return all;
    }();
    return h;
}

const std::array<int, kImportLogWindowColumns>& ImportLogWindowWidths()
{
    static const std::array<int, kImportLogWindowColumns> w = [] {
        std::array<int, kImportLogWindowColumns> out{};
        const auto& in = ImportLogWidths();
        for (int c = 0, o = 0; c < kImportLogColumns; ++c, ++o) {
            out[std::size_t(o)] = in[std::size_t(c)];
            if (c == kLinesColumn)
                out[std::size_t(++o)] = 80;
        }
        return out;
    }();
    return w;
}

CellStore WithConsolidatedLines(const CellStore& log)
{
    CellStore out(kImportLogWindowColumns);
    for (int r = 0; r < log.rowCount(); ++r) {
        QStringList row;
        for (int c = 0; c < log.columnCount(); ++c) {
            row << log.cell(c, r);
            if (c == kLinesColumn) {
                const QString lines = log.cell(kLinesColumn, r);
                row << (log.cell(kOutcomeColumn, r) == ImportOutcomeSuccess() ? lines : QStringLiteral("0"));
            }
        }
        out.appendRow(row);
    }
    return out;
}

CellStore LoadImportLog(TDMData& dm, int limit)
{
    dm.CallProc(dm.ADOSProc, QStringLiteral("hz_GetImportLog"),
                {{QStringLiteral("@Limit"), limit > 0 ? QVariant(limit) : QVariant()}}, true);
    static const char* const fields[kImportLogColumns] = {"RUNTIME", "FILENAME", "FILESIZE", "SHA256", "KINDS",
                                                          "LINES",   "OUTCOME",  "REASON",   "COMPUTER", "DBUSER"};
    TADOCommand& q = dm.ADOSProc;
    int index[kImportLogColumns];
    for (int i = 0; i < kImportLogColumns; ++i)
        index[i] = q.FieldIndex(QLatin1String(fields[i]));
    CellStore cells(kImportLogColumns);
    for (; !q.Eof(); q.Next()) {
        QStringList row;
        for (int i = 0; i < kImportLogColumns; ++i) {
            const QVariant v = q.FieldValueAt(index[i]);
            row << (v.isNull() ? QString() : v.toString());
        }
        cells.appendRow(row);
    }
    return cells;
}

}  // namespace corvanta
