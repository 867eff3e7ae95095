#pragma once
// The import run: reads an outlet's sales or stock file twice (count, then send), hands each data
// line to the intake procedure of its kind and, when every line was taken, consolidates every kind
// it sent, together. Plain values in; messages through Messages, progress and label through an
// observer, so that the import window and corvanta-cli drive the same run.
//
// Outcomes beyond the four that the window has always shown:
//   - no data line in the file: "导入文件中没有数据行，没有导入任何数据。" ("系统提示"); nothing
//     is sent, not even the preparation call, and nothing is consolidated;
//   - a file that cannot be opened or read (missing, a folder, a device or FIFO, unreadable) or a
//     database error: the general error report (caption "Quorvel汇总版") with a text naming the
//     file or line;
//   - a data line with NUL bytes (a binary file), bytes that are not GBK, or longer than the
//     reader's limit: found by the first pass, before anything is sent; "数据导入错误" plus the
//     reason and line ("系统提示");
//   - a file that changed between the two passes (line count, size, time or digest): no
//     consolidation; "数据导入错误" plus the reason.
// A failed run never consolidates, so figures consolidated before stay as they were.
#include "connection/UDMData.h"
#include "logic/Messages.h"
#include "import/LineParser.h"

#include <QDateTime>
#include <QString>
#include <QStringList>
#include <QStringView>
#include <array>
#include <cstddef>
#include <span>
#include <string>
#include <string_view>

namespace corvanta {

// The one mapping of a line's fields onto the intake procedures' parameters: for each field in
// file order, its position among the parameters (engines/Intake.h). Sales: cost (@COSTTOTAL)
// before amount (@TOTAL), outlet (@ID) before document type (@VCHTYPE).
extern const std::array<SalesParam, kSalesFieldCount> kSalesFieldParam;
extern const std::array<StockParam, kStockFieldCount> kStockFieldParam;

// One data line ready for its intake procedure: the decoded fields in file order.
struct IntakeLine {
    qint64 lineNo = 0;  // 1-based line number in the file (the header is line 1)
    int kind = 0;       // kSalesCommas or kStockCommas
    std::string text;   // the fields as UTF-8, comma-separated (commas cannot occur inside a field)
    std::array<std::size_t, kSalesFieldCount + 1> starts{};

    bool isSales() const { return kind == kSalesCommas; }
    IntakeKind intakeKind() const { return isSales() ? IntakeKind::Sales : IntakeKind::Stock; }
    int fieldCount() const { return isSales() ? kSalesFieldCount : kStockFieldCount; }
    // Field i (0-based, file order: SalesField / StockField), as UTF-8 and as text.
    std::string_view utf8Field(int i) const
    {
        return std::string_view(text).substr(starts[i], starts[i + 1] - 1 - starts[i]);
    }
    QString field(int i) const
    {
        const std::string_view f = utf8Field(i);
        return QString::fromUtf8(f.data(), qsizetype(f.size()));
    }
    // The parameter that field i is passed as: its position (SalesParam / StockParam) and name.
    int param(int i) const { return isSales() ? int(kSalesFieldParam[i]) : int(kStockFieldParam[i]); }
    const char* paramName(int i) const { return intakeParamNames(intakeKind())[std::size_t(param(i))]; }
};

// The five procedures of an import. Return values: 0 taken / done, -2 outlet not in the outlet
// list (intake only), other refused / failed. Errors raised by the database are thrown.
class ImportProcedures {
public:
    virtual ~ImportProcedures() = default;

    virtual void deleSales() = 0;
    virtual int insertSales(const IntakeLine& line) = 0;
    virtual int insertStock(const IntakeLine& line) = 0;
    virtual int addSales() = 0;
    virtual int addStock() = 0;
    // The consolidation of every kind the run sent, all of it or none of it where the engine
    // allows. This default calls addSales then addStock (stopping at the first failure).
    virtual int consolidate(bool sales, bool stock);

    // Intake in batches, for engines that can send many lines at a time. The run hands lines
    // over in order, at most batchSize() at a time, between beginIntake() and endIntake().
    virtual std::size_t batchSize() const { return 1; }
    virtual void beginIntake() {}
    // Sends the lines in order. Returns how many were taken before the first one whose return
    // value is not 0 (that value in rc), or lines.size() when all were taken. The refused line
    // and those after it must leave no trace: the outcome is that of sending one by one.
    virtual std::size_t insertBatch(std::span<const IntakeLine> lines, int& rc);
    // The lines are all sent; the consolidation (addSales / addStock) follows.
    virtual void endIntake() {}
    // The intake ends after a failure, without a consolidation: the lines taken so far stay, as
    // they would one by one. Errors here are not reported (the first one is).
    virtual void abandonIntake() { endIntake(); }
    // The outlet numbers of the account set as stored, so that a line naming its outlet as
    // "01" or "+1" finds outlet "1". Empty when not known: the lines then go as they are.
    virtual std::vector<QString> outletKeys() { return {}; }
};

// What the import window shows while the run works.
class ImportObserver {
public:
    virtual ~ImportObserver() = default;
    virtual void setProgressMax(qint64 /*max*/) {}
    virtual void setProgress(qint64 /*position*/) {}
    virtual void setLabel(const QString& /*text*/) {}
    // Another import is writing the account set and the run waits for it: text says so (once,
    // when the wait begins); waited() is called every fraction of a second while it lasts.
    virtual void setWaiting(const QString& text) { setLabel(text); }
    virtual void waited() {}
};

enum class ImportStatus {
    Success,
    NoDataLines,          // nothing sent, nothing consolidated
    FileError,            // missing, folder, unreadable
    BadBytes,             // binary, not GBK, line too long
    FileChanged,          // the file changed between the two passes
    LineFailed,           // a line the parser or its procedure refused
    OutletMissing,        // the intake returned -2
    ConsolidationFailed,  // hz_AddSales / hz_AddStock returned non-zero
    DatabaseError,        // an error raised by a procedure call
    Busy,                 // another import kept the account set longer than the wait limit
};

struct ImportResult {
    ImportStatus status = ImportStatus::Success;
    qint64 lineNo = 0;      // the line at fault, 0 when none
    qint64 lineCount = 0;   // N of the first pass
    qint64 linesTaken = 0;  // data lines the intake took
    // Why a failed run failed, in plain words for the user and for tools: the reason ("日期不是有效
    // 日期：2026-02-30"), and the text of the line at fault (lineNo) when there is one.
    QString fileName;
    QString reason;
    QString lineText;
    // The outlets of the stock lines sent, as the file names them (trimmed), each once.
    QStringList stockOutlets;
    bool ok() const { return status == ImportStatus::Success; }
};

// How long an import waits for another one that writes the same account set: 600 seconds, or
// CORVANTA_IMPORT_WAIT_SECONDS when that is a whole number (0: no wait).
int DefaultImportWaitSeconds();

struct ImportOptions {
    std::size_t bufferBytes = ImportFileReader::kDefaultBufferBytes;
    std::size_t maxLineBytes = ImportFileReader::kDefaultMaxLineBytes;
    int waitSeconds = DefaultImportWaitSeconds();
};

// Texts of the run (also for the window's label).
namespace importtext {
QString windowLabel();        // "数据正在导入过程中，请稍侯！"
QString consolidatingLabel(); // "正在整理数据，可过程可能要花费很长时间，请稍侯！"
QString systemCaption();      // "系统提示"
QString infoCaption();        // "提示信息"
QString errorCaption();       // "Quorvel汇总版": the general error report
QString importError();        // "数据导入错误"
QString outletMissing();      // "数据导入失败！" CR "错误原因：..."
QString consolidationFailed();// "整理数据失败！"
QString success();            // "数据导入成功完成"
QString noDataLines();
// The wait for another import: since is its start (invalid when unknown), limit in seconds.
QString waitingLabel(const QDateTime& since, int limit);
QString waitedTooLong(const QDateTime& since, int limit);
}  // namespace importtext

// Why the intake refused a line (rc: the intake procedure's value), judged from its fields.
QString RefusalReason(const IntakeLine& line, int rc);
// "FILE:LINE: reason" (or "FILE: reason" without a line): the form editors and CI tools read.
QString LocatedReason(const ImportResult& result);

// The details of a failed run for the user: file, line number, the line's text and the reason,
// one a line ("文件：...").
QString ImportDetails(const ImportResult& result);

// Runs one import of fileName. A file that mixes sales and stock lines consolidates both kinds.
// Every outcome is reported through messages before it returns;
// the file is closed on return, whatever happened.
ImportResult RunImport(const QString& fileName, ImportProcedures& procedures, Messages& messages,
                       ImportObserver* observer = nullptr, const ImportOptions& options = {});

}  // namespace corvanta
