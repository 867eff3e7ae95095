#include "import/ImportRun.h"

#include "base/TextHelpers.h"
#include "base/ValuesUtf8.h"

#include <QElapsedTimer>
#include <QFile>
#include <QThread>
#include <QStringDecoder>
#include <QStringEncoder>
#include <algorithm>
#include <cstring>
#include <exception>
#include <filesystem>
#include <optional>
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <vector>

namespace corvanta {

const std::array<SalesParam, kSalesFieldCount> kSalesFieldParam = {
    SpPtypeName, SpUserCode, SpStandard, SpType, SpUnit, SpArea, SpDate, SpQty, SpCostTotal, SpTotal, SpId, SpVchType,
};
const std::array<StockParam, kStockFieldCount> kStockFieldParam = {
    KpPtypeName, KpUserCode, KpStandard, KpType, KpUnit, KpArea, KpKcQty, KpKcTotal, KpId,
};

std::size_t ImportProcedures::insertBatch(std::span<const IntakeLine> lines, int& rc)
{
    for (std::size_t i = 0; i < lines.size(); ++i) {
        rc = lines[i].isSales() ? insertSales(lines[i]) : insertStock(lines[i]);
        if (rc != 0)
            return i;
    }
    rc = 0;
    return lines.size();
}

int ImportProcedures::consolidate(bool sales, bool stock)
{
    int rc = sales ? addSales() : 0;
    if (rc == 0 && stock)
        rc = addStock();
    return rc;
}

namespace {
// A sign, digits and at most one point: a number, whether or not it is within the limits.
bool looksDecimal(std::string_view t)
{
    if (!t.empty() && (t.front() == '+' || t.front() == '-'))
        t.remove_prefix(1);
    bool digit = false, point = false;
    for (const char c : t) {
        if (c >= '0' && c <= '9')
            digit = true;
        else if (c == '.' && !point)
            point = true;
        else
            return false;
    }
    return digit;
}
}  // namespace

QString RefusalReason(const IntakeLine& line, int rc)
{
    std::string scratch;
    auto text = [](std::string_view v) { return QString::fromUtf8(v.data(), qsizetype(v.size())).trimmed(); };
    const bool sales = line.isSales();
    const std::string_view id = line.utf8Field(sales ? int(SalesId) : int(StockId));
    if (rc == -2)
        return QStringLiteral("网点 %1 不存在").arg(text(id));
    auto number = [&](int field, const QString& name) -> QString {
        const std::string_view v = line.utf8Field(field);
        if (values::parseScaledUtf8(v))
            return QString();
        if (looksDecimal(values::trimmedUtf8(v, scratch)))
            return QStringLiteral("%1超出范围：%2（小数点前最多 12 位，小数点后最多 6 位）").arg(name, text(v));
        return QStringLiteral("%1不是数字：%2").arg(name, text(v));
    };
    QString why;
    if (sales) {
        const std::string_view date = line.utf8Field(SalesDate);
        if (!values::parseDayUtf8(date))
            return QStringLiteral("日期不是有效日期：%1").arg(text(date));
        for (const auto& [field, name] : {std::pair{int(SalesQty), QStringLiteral("数量")},
                                          std::pair{int(SalesCostTotal), QStringLiteral("成本")},
                                          std::pair{int(SalesTotal), QStringLiteral("金额")}})
            if (!(why = number(field, name)).isEmpty())
                return why;
        const std::string_view vch = values::trimmedUtf8(line.utf8Field(SalesVchType), scratch);
        if (vch != "11" && vch != "45")
            return QStringLiteral("单据类型应为 11 或 45：%1").arg(text(vch));
    } else {
        for (const auto& [field, name] : {std::pair{int(StockKcQty), QStringLiteral("库存数量")},
                                          std::pair{int(StockKcTotal), QStringLiteral("库存金额")}})
            if (!(why = number(field, name)).isEmpty())
                return why;
    }
    return QStringLiteral("导入过程拒绝了该行（返回值 %1）").arg(rc);
}

QString LocatedReason(const ImportResult& result)
{
    if (result.lineNo > 0)
        return QStringLiteral("%1:%2: %3").arg(result.fileName).arg(result.lineNo).arg(result.reason);
    return QStringLiteral("%1: %2").arg(result.fileName, result.reason);
}

QString ImportDetails(const ImportResult& result)
{
    QStringList lines{QStringLiteral("文件：%1").arg(result.fileName)};
    if (result.lineNo > 0)
        lines << QStringLiteral("行号：%1").arg(result.lineNo);
    if (!result.lineText.isEmpty())
        lines << QStringLiteral("行内容：%1").arg(result.lineText);
    lines << QStringLiteral("原因：%1").arg(result.reason);
    return lines.join(QLatin1Char('\n'));
}

namespace importtext {
QString windowLabel() { return QStringLiteral("数据正在导入过程中，请稍侯！"); }
QString consolidatingLabel() { return QStringLiteral("正在整理数据，可过程可能要花费很长时间，请稍侯！"); }
QString systemCaption() { return QStringLiteral("系统提示"); }
QString infoCaption() { return QStringLiteral("提示信息"); }
QString errorCaption() { return QStringLiteral("Quorvel汇总版"); }
QString importError() { return QStringLiteral("数据导入错误"); }
QString outletMissing()
{
    return QStringLiteral("数据导入失败！") + QLatin1Char('\r')
           + QStringLiteral("错误原因：要导入的网点不存在，请销售网点中加入该网点的信息，再重新导入！");
}
QString consolidationFailed() { return QStringLiteral("整理数据失败！"); }
QString success() { return QStringLiteral("数据导入成功完成"); }
QString noDataLines() { return QStringLiteral("导入文件中没有数据行，没有导入任何数据。"); }

namespace {
QString sinceText(const QDateTime& since)
{
    return since.isValid() ? QStringLiteral("（开始于 %1）").arg(since.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss")))
                           : QString();
}
QString limitText(int seconds)
{
    return seconds % 60 == 0 && seconds > 0 ? QStringLiteral("%1 分钟").arg(seconds / 60) : QStringLiteral("%1 秒").arg(seconds);
}
}  // namespace

QString waitingLabel(const QDateTime& since, int limit)
{
    return QStringLiteral("另一次导入%1正在写入本帐套，正在等待它结束（最多 %2）……").arg(sinceText(since), limitText(limit));
}

QString waitedTooLong(const QDateTime& since, int limit)
{
    return QStringLiteral("另一次导入%1仍在写入本帐套，已等待 %2，没有导入任何数据").arg(sinceText(since), limitText(limit));
}
}  // namespace importtext

int DefaultImportWaitSeconds()
{
    bool ok = false;
    const int seconds = qEnvironmentVariable("CORVANTA_IMPORT_WAIT_SECONDS").trimmed().toInt(&ok);
    return ok && seconds >= 0 ? seconds : 600;
}

namespace {

std::filesystem::path toPath(const QString& fileName)
{
#ifdef _WIN32
    return std::filesystem::path(fileName.toStdWString());
#else
    return std::filesystem::path(QFile::encodeName(fileName).toStdString());
#endif
}

struct FileStamp {
    std::uintmax_t size = 0;
    std::filesystem::file_time_type time{};
    bool operator==(const FileStamp&) const = default;
};

std::optional<FileStamp> stampOf(const std::filesystem::path& path)
{
    std::error_code ec;
    FileStamp s;
    s.size = std::filesystem::file_size(path, ec);
    if (ec)
        return std::nullopt;
    s.time = std::filesystem::last_write_time(path, ec);
    if (ec)
        return std::nullopt;
    return s;
}

bool isAscii(std::string_view bytes)
{
    unsigned char any = 0;
    for (char c : bytes)
        any |= static_cast<unsigned char>(c);
    return any < 0x80;
}

class Run {
public:
    Run(const QString& fileName, ImportProcedures& procs, Messages& messages, ImportObserver* observer,
        const ImportOptions& options)
        : m_fileName(fileName), m_path(toPath(fileName)), m_procs(procs), m_messages(messages),
          m_observer(observer ? *observer : m_nullObserver), m_options(options),
          m_reader(options.bufferBytes, options.maxLineBytes),
          m_decoder("GB18030", QStringConverter::Flag::Stateless)
    {
        m_result.fileName = fileName;
    }

    ImportResult run()
    {
        m_messages.busy(true);
        try {
            runPasses();
        } catch (const ImportFileError& e) {
            abandon();
            m_result.reason = QString::fromUtf8(e.what());
            fail(ImportStatus::FileError, m_result.lineNo, importtext::errorCaption(), QString::fromUtf8(e.what()));
        } catch (const std::exception& e) {
            abandon();
            m_result.reason = QString::fromUtf8(e.what());
            const QString where = m_result.lineNo > 0
                                      ? QStringLiteral("导入文件 %1 第 %2 行：").arg(m_fileName).arg(m_result.lineNo)
                                      : QStringLiteral("导入文件 %1：").arg(m_fileName);
            fail(ImportStatus::DatabaseError, m_result.lineNo, importtext::errorCaption(),
                 where + QString::fromUtf8(e.what()));
        }
        return m_result;
    }

private:
    class NullObserver : public ImportObserver {};

    // A file's stock lines mostly come outlet by outlet: only a change is looked up.
    void noteStockOutlet(const IntakeLine& line)
    {
        const std::string_view id = TrimLine(line.utf8Field(StockId));
        if (id == m_lastStockOutlet)
            return;
        m_lastStockOutlet.assign(id);
        const QString text = QString::fromUtf8(id.data(), qsizetype(id.size()));
        if (!m_result.stockOutlets.contains(text))
            m_result.stockOutlets << text;
    }

    // Closes the file and ends an open intake after an error; a second error here changes
    // nothing about the first, which is the one reported.
    void abandon()
    {
        m_reader.close();
        if (m_intakeOpen) {
            m_intakeOpen = false;
            try {
                m_procs.abandonIntake();
            } catch (...) {
            }
        }
    }

    void fail(ImportStatus status, qint64 lineNo, const QString& caption, const QString& text)
    {
        m_result.status = status;
        m_result.lineNo = lineNo;
        m_messages.busy(false);
        m_messages.systemBox(caption, text);
    }

    LineBytes lineBytes(std::string_view line, std::size_t* at = nullptr)
    {
        if (!m_reader.utf8())
            return CheckLineBytes(line, at);
        if (const void* nul = std::memchr(line.data(), 0, line.size())) {
            if (at)
                *at = std::size_t(static_cast<const char*>(nul) - line.data());
            return LineBytes::NulByte;
        }
        if (isAscii(line))
            return LineBytes::Ok;
        QStringDecoder utf8(QStringConverter::Utf8, QStringConverter::Flag::Stateless);
        const QString text = utf8.decode(QByteArrayView(line.data(), qsizetype(line.size())));
        if (!utf8.hasError())
            return LineBytes::Ok;
        if (at)
            *at = 0;
        return LineBytes::InvalidGbk;
    }

    // A line's text as the details show it: decoded as far as it is GBK, cut when very long.
    QString shownText(std::string_view bytes) const
    {
        constexpr std::size_t kShown = 400;
        const std::string_view head = bytes.substr(0, std::min(bytes.size(), kShown));
        QStringDecoder decoder(m_reader.utf8() ? "UTF-8" : "GB18030");
        QString text = decoder.decode(QByteArrayView(head.data(), qsizetype(head.size())));
        text.replace(QChar(0), QChar(0x2400));  // NUL shown as a visible sign
        if (bytes.size() > kShown)
            text += QStringLiteral("…");
        return text;
    }
    static QString sizeText(std::size_t bytes)
    {
        return bytes % (1u << 20) == 0 ? QStringLiteral("%1 MiB").arg(qulonglong(bytes >> 20))
                                       : QStringLiteral("%1 KiB").arg(qulonglong(bytes) / 1024.0, 0, 'f', 1);
    }

    QString importErrorWith(const QString& reason) const
    {
        return importtext::importError() + QLatin1Char('\r') + reason;
    }

    // First pass: count the lines (header and empty lines included) and look at the bytes of
    // every data line, so that a file that cannot be imported is refused before anything is
    // sent. False when it was refused (and reported).
    bool firstPass()
    {
        m_reader.open(m_path);
        m_stamp = stampOf(m_path);
        std::string_view line;
        while (m_reader.nextLine(line)) {
            const qint64 n = qint64(m_reader.lineCount());
            if (n == 1 || line.empty())
                continue;
            ++m_dataLines;
            QString reason;
            std::size_t at = 0;
            if (m_reader.lastLineTooLong()) {
                reason = QStringLiteral("第 %1 行超过 %2 字节，不是有效的数据行：%3")
                             .arg(n)
                             .arg(qulonglong(m_reader.maxLineBytes()))
                             .arg(m_fileName);
                m_result.reason = QStringLiteral("行长超过 %1 字节（%2），不是有效的数据行")
                                      .arg(qulonglong(m_reader.maxLineBytes()))
                                      .arg(sizeText(m_reader.maxLineBytes()));
            } else {
                switch (lineBytes(line, &at)) {
                case LineBytes::Ok:
                    break;
                case LineBytes::NulByte:
                    reason = QStringLiteral("第 %1 行含有 NUL 字节，这不是文本文件：%2").arg(n).arg(m_fileName);
                    m_result.reason = QStringLiteral("第 %1 个字节是 NUL 字节，这不是文本文件").arg(qulonglong(at + 1));
                    break;
                case LineBytes::InvalidGbk:
                    if (m_reader.utf8()) {
                        reason = QStringLiteral("第 %1 行含有不是 UTF-8 编码的字节：%2").arg(n).arg(m_fileName);
                        m_result.reason = QStringLiteral("不是有效的 UTF-8 编码（文件以 UTF-8 字节顺序标记开头）");
                        break;
                    }
                    reason = QStringLiteral("第 %1 行含有不是 GBK 编码的字节：%2").arg(n).arg(m_fileName);
                    m_result.reason = QStringLiteral("第 %1 个字节起不是有效的 GBK 编码（0x%2）")
                                          .arg(qulonglong(at + 1))
                                          .arg(uint(static_cast<unsigned char>(line[at])), 2, 16, QLatin1Char('0'));
                    break;
                }
            }
            if (!reason.isEmpty()) {
                m_result.lineText = shownText(line);
                m_reader.close();
                fail(ImportStatus::BadBytes, n, importtext::systemCaption(), importErrorWith(reason));
                return false;
            }
        }
        // LF line ends and no CR anywhere: read again with LF as the line end. A file with a CR
        // keeps its reading.
        if (m_dataLines == 0 && !m_reader.lfLines() && !m_reader.sawCr() && m_reader.sawLf()) {
            m_reader.setLfLines(true);
            return firstPass();
        }
        m_lineCount = qint64(m_reader.lineCount());
        m_digest = m_reader.digest();
        m_reader.close();
        m_result.lineCount = m_lineCount;
        return true;
    }

    void runPasses()
    {
        if (!firstPass())
            return;
        m_observer.setProgressMax(2 * m_lineCount);
        if (m_dataLines == 0) {
            m_messages.busy(false);
            m_result.status = ImportStatus::NoDataLines;
            m_result.reason = QStringLiteral("导入文件中没有数据行");
            m_messages.systemBox(importtext::systemCaption(), importtext::noDataLines());
            return;
        }

        m_procs.deleSales();
        loadOutletKeys();
        m_reader.open(m_path);
        if (!beginIntake())
            return;
        m_intakeOpen = true;
        const std::size_t batch = std::max<std::size_t>(1, m_procs.batchSize());
        m_pending.resize(batch);
        m_pendingCount = 0;

        std::string_view bytes;
        qint64 n = 0;
        while (m_reader.nextLine(bytes)) {
            ++n;
            if (n > m_lineCount)
                return changedFile();
            if (n > 1 && !bytes.empty()) {
                m_result.lineNo = n;
                if (m_reader.lastLineTooLong() || lineBytes(bytes) != LineBytes::Ok)
                    return changedFile();  // the first pass found these bytes sound
                if (!SplitDataLine(bytes, m_split)) {
                    if (!flush())
                        return;
                    m_result.lineText = shownText(bytes);
                    const int fields = m_split.commas + 1;
                    m_result.reason = fields == 1 && TrimLine(bytes).empty()
                                          ? QStringLiteral("该行只有空白字符")
                                          : QStringLiteral("字段数为 %1，销售行应为 %2 个、库存行应为 %3 个")
                                                .arg(fields)
                                                .arg(kSalesFieldCount)
                                                .arg(kStockFieldCount);
                    return lineFailed(n);
                }
                IntakeLine& line = m_pending[m_pendingCount];
                if (!decode(n, line)) {
                    if (!flush())
                        return;
                    m_result.lineText = shownText(bytes);
                    m_result.reason = QStringLiteral("不是有效的 GBK 编码");
                    abandon();
                    fail(ImportStatus::BadBytes, n, importtext::systemCaption(),
                         importErrorWith(QStringLiteral("第 %1 行含有不是 GBK 编码的字节：%2").arg(n).arg(m_fileName)));
                    return;
                }
                matchOutlet(line);
                ++m_pendingCount;
                (line.isSales() ? m_sentSales : m_sentStock) = true;
                if (!line.isSales())
                    noteStockOutlet(line);
            }
            m_done = n;
            if (m_pendingCount == batch) {
                if (!flush())
                    return;
            } else if (m_pendingCount == 0) {
                m_observer.setProgress(n);
            }
        }
        if (!flush())
            return;
        m_result.lineNo = 0;
        m_reader.close();
        m_intakeOpen = false;
        m_procs.endIntake();

        // Consolidate only what the first pass counted.
        const auto stamp = stampOf(m_path);
        if (n != m_lineCount || m_reader.digest() != m_digest || !stamp || stamp != m_stamp)
            return changedFile();

        m_observer.setLabel(importtext::consolidatingLabel());
        const int rc = m_sentSales || m_sentStock ? m_procs.consolidate(m_sentSales, m_sentStock) : -1;
        m_observer.setProgress(2 * n);
        m_messages.busy(false);
        if (rc != 0) {
            m_result.status = ImportStatus::ConsolidationFailed;
            m_result.reason = QStringLiteral("整理数据失败（返回值 %1），没有整理任何数据").arg(rc);
            m_messages.systemBox(importtext::systemCaption(), importtext::consolidationFailed());
        } else {
            m_result.status = ImportStatus::Success;
            m_messages.systemBox(importtext::systemCaption(), importtext::success());
        }
    }

    // Outlet numbers by the number they stand for; a number two stored outlets share matches
    // neither (only their exact text does).
    void loadOutletKeys()
    {
        m_outletKeys.clear();
        m_outletByNumber.clear();
        std::unordered_map<qint64, int> uses;
        for (const QString& key : m_procs.outletKeys()) {
            std::string k = key.toStdString();
            if (const auto number = OutletNumber(std::string_view(k))) {
                if (++uses[*number] == 1)
                    m_outletByNumber[*number] = k;
                else
                    m_outletByNumber.erase(*number);
            }
            m_outletKeys.insert(std::move(k));
        }
    }

    // The line's outlet as stored when it names it by the same number in another form.
    void matchOutlet(IntakeLine& line)
    {
        if (m_outletByNumber.empty())
            return;
        const int field = line.isSales() ? int(SalesId) : int(StockId);
        std::string_view id = line.utf8Field(field);
        while (!id.empty() && id.front() == ' ')
            id.remove_prefix(1);
        while (!id.empty() && id.back() == ' ')
            id.remove_suffix(1);
        if (m_outletKeys.count(std::string(id)))
            return;
        const auto number = OutletNumber(id);
        const auto it = number ? m_outletByNumber.find(*number) : m_outletByNumber.end();
        if (it == m_outletByNumber.end())
            return;
        const std::size_t start = line.starts[std::size_t(field)];
        const std::size_t length = line.starts[std::size_t(field) + 1] - 1 - start;
        line.text.replace(start, length, it->second);
        const std::ptrdiff_t shift = std::ptrdiff_t(it->second.size()) - std::ptrdiff_t(length);
        for (int f = field + 1; f <= line.fieldCount(); ++f)
            line.starts[std::size_t(f)] = std::size_t(std::ptrdiff_t(line.starts[std::size_t(f)]) + shift);
    }

    // Begins the intake; while another import writes the account set, waits for it up to the
    // limit. False when the limit passed (reported).
    bool beginIntake()
    {
        QElapsedTimer waited;
        for (;;) {
            try {
                m_procs.beginIntake();
                if (waited.isValid())
                    m_observer.setLabel(importtext::windowLabel());
                return true;
            } catch (const ImportBusyError& e) {
                if (!waited.isValid()) {
                    waited.start();
                    m_observer.setWaiting(importtext::waitingLabel(e.since, m_options.waitSeconds));
                }
                if (waited.elapsed() >= qint64(m_options.waitSeconds) * 1000) {
                    m_reader.close();
                    m_result.reason = importtext::waitedTooLong(e.since, m_options.waitSeconds);
                    fail(ImportStatus::Busy, 0, importtext::systemCaption(),
                         QStringLiteral("%1：%2").arg(m_result.reason, m_fileName));
                    return false;
                }
                m_observer.waited();
                QThread::msleep(100);
            }
        }
    }

    // The decoded fields of m_split; false when the bytes are not GBK text.
    bool decode(qint64 n, IntakeLine& line)
    {
        const std::string_view joined(m_split.joined);
        if (m_reader.utf8() || isAscii(joined)) {  // UTF-8 checked by the first pass
            line.text.assign(joined);
        } else {
            // GBK to UTF-16 to UTF-8 through buffers kept from line to line.
            m_decoder.resetState();
            const QByteArrayView in(joined.data(), qsizetype(joined.size()));
            m_wide.resize(m_decoder.requiredSpace(in.size()));
            const QChar* wideEnd = m_decoder.appendToBuffer(m_wide.data(), in);
            if (m_decoder.hasError())
                return false;
            const QStringView wide(m_wide.constData(), wideEnd - m_wide.constData());
            line.text.resize(std::size_t(m_encoder.requiredSpace(wide.size())));
            const char* end = m_encoder.appendToBuffer(line.text.data(), wide);
            line.text.resize(std::size_t(end - line.text.data()));
        }
        line.lineNo = n;
        line.kind = m_split.commas;
        const int count = line.fieldCount();
        int f = 0;
        line.starts[0] = 0;
        // A comma byte in UTF-8 is always the character itself.
        for (std::size_t i = line.text.find(','); i != std::string::npos && f + 1 < count; i = line.text.find(',', i + 1))
            line.starts[++f] = i + 1;
        line.starts[count] = line.text.size() + 1;
        return f + 1 == count;
    }

    // Sends the pending lines. False when one was refused (the run is then reported and over).
    bool flush()
    {
        if (m_pendingCount == 0)
            return true;
        const std::size_t count = m_pendingCount;
        m_pendingCount = 0;
        int rc = 0;
        const std::size_t taken = m_procs.insertBatch(std::span<const IntakeLine>(m_pending.data(), count), rc);
        m_result.linesTaken += qint64(taken < count ? taken : count);
        if (taken >= count) {
            m_observer.setProgress(m_done);
            return true;
        }
        const IntakeLine& refused = m_pending[taken];
        m_result.reason = RefusalReason(refused, rc);
        m_result.lineText = QString::fromStdString(refused.text);
        // As if sent one by one: the parser stopped at the refused line.
        SetImportKind(refused.kind);
        m_observer.setProgress(refused.lineNo - 1);
        abandon();
        m_messages.busy(false);
        m_result.lineNo = refused.lineNo;
        if (rc == -2) {
            m_result.status = ImportStatus::OutletMissing;
            m_messages.systemBox(importtext::infoCaption(), importtext::outletMissing());
        } else {
            m_result.status = ImportStatus::LineFailed;
        }
        m_messages.systemBox(importtext::systemCaption(), importtext::importError());
        return false;
    }

    void lineFailed(qint64 n)
    {
        abandon();
        fail(ImportStatus::LineFailed, n, importtext::systemCaption(), importtext::importError());
    }

    void changedFile()
    {
        abandon();
        m_result.reason = QStringLiteral("导入文件在导入过程中被修改，没有整理数据");
        fail(ImportStatus::FileChanged, m_result.lineNo, importtext::systemCaption(),
             importErrorWith(QStringLiteral("导入文件在导入过程中被修改，没有整理数据，请重新导入：%1").arg(m_fileName)));
    }

    QString m_fileName;
    std::filesystem::path m_path;
    ImportProcedures& m_procs;
    Messages& m_messages;
    NullObserver m_nullObserver;
    ImportObserver& m_observer;
    ImportOptions m_options;
    ImportFileReader m_reader;
    QStringDecoder m_decoder;
    QStringEncoder m_encoder{QStringConverter::Utf8, QStringConverter::Flag::Stateless};
    QString m_wide;
    SplitLine m_split;
    std::vector<IntakeLine> m_pending;
    std::size_t m_pendingCount = 0;
    std::unordered_set<std::string> m_outletKeys;
    std::unordered_map<qint64, std::string> m_outletByNumber;
    qint64 m_done = 0;
    qint64 m_lineCount = 0;
    qint64 m_dataLines = 0;
    std::uint64_t m_digest = 0;
    std::optional<FileStamp> m_stamp;
    bool m_intakeOpen = false;
    bool m_sentSales = false;
    bool m_sentStock = false;
    std::string m_lastStockOutlet;
    ImportResult m_result;
};

}  // namespace

ImportResult RunImport(const QString& fileName, ImportProcedures& procedures, Messages& messages,
                       ImportObserver* observer, const ImportOptions& options)
{
    return Run(fileName, procedures, messages, observer, options).run();
}

}  // namespace corvanta
