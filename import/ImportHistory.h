#pragma once
// The import history of an account set: one row per import run, written by whoever drives a run
// (corvanta-cli import, the import window) after the run, and read by the history window and
// corvanta-cli history. The run itself (ImportRun) knows nothing of it.
#include "import/ImportRun.h"
#include "logic/Messages.h"

#include <QString>
#include <QStringList>
#include <array>
#include <vector>

namespace corvanta {

class CellStore;
class TDMData;

// What the history keeps of the file itself, read apart from the run.
struct ImportFileFacts {
    qint64 size = -1;      // -1: the file could not be read
    QString sha256;        // lower-case hex; "" when unreadable
    qint64 dataLines = 0;  // non-empty lines after the header, up to a Ctrl+Z
    qint64 salesLines = 0;
    qint64 stockLines = 0;
};
ImportFileFacts ReadImportFileFacts(const QString& path);
// "销售", "库存", "销售+库存" or "" by the lines' comma counts.
QString ImportKindsText(const ImportFileFacts& facts);

// Passes the run's messages on (or keeps them to itself when quiet) and keeps their texts: the
// reason a failed run gives.
class ReasonCapture : public Messages {
public:
    ReasonCapture(Messages& inner, bool quiet) : m_inner(inner), m_quiet(quiet) {}
    QString superMsg(const QString& caption, const QString& text, const QString& buttons, const QString& options,
                     const QString& icon) override;
    void systemBox(const QString& caption, const QString& text) override;
    void cause(const QString& why) override;
    void beep() override;
    void busy(bool on) override;
    // The texts so far, one line each, joined by "; ".
    QString text() const;

private:
    Messages& m_inner;
    bool m_quiet;
    QStringList m_texts;
};

QString ImportOutcomeSuccess();  // "成功"
QString ImportOutcomeFailed();   // "失败"

// One run as recorded.
struct RecordedImport {
    QString file;
    ImportResult result;
    QString reason;       // "" after a good run
    QString recordError;  // why the history row could not be written, "" when it was
    ImportFileFacts facts = {};  // as recorded; size -1 when the run did not get as far
    bool ok() const { return result.ok() && recordError.isEmpty(); }
};

// The reason of a run: the texts it reported, with the line at fault in front when there is one.
QString ImportReason(const ImportResult& result, const QString& reported);

// Imports file as RunImport does and then writes its history row. When quiet, the run's message
// boxes are kept rather than shown (the caller summarises). A history row that cannot be written
// is reported and makes the run count as failed, though its figures stay.
RecordedImport RunRecordedImport(TDMData& dm, const QString& file, Messages& messages,
                                 ImportObserver* observer = nullptr, bool quiet = false);

// ---- several files in the window --------------------------------------------------------------

// The window title while file k of n works: "<title> 文件 k/n：name".
QString ImportFileTitle(const QString& title, int k, int n, const QString& file);
QString ImportSummaryCaption();  // "导入结果"
// One line per file with its outcome and reason, after a count; says that a failed file did not
// stop the others.
QString ImportSummaryText(const std::vector<RecordedImport>& runs);

// ---- reading it ------------------------------------------------------------------------------

constexpr int kImportLogColumns = 10;
// "导入时间", "文件名", "文件大小", "SHA-256", "数据类别", "数据行数", "结果", "原因", "计算机", "数据库用户"
const QStringList& ImportLogHeadings();
const std::array<int, kImportLogColumns>& ImportLogWidths();

// The history as its window shows it: after "数据行数" the lines a run consolidated,
// "已汇总行数" (every data line after a success, 0 after a failure, which consolidates nothing).
constexpr int kImportLogWindowColumns = kImportLogColumns + 1;
const QStringList& ImportLogWindowHeadings();
const std::array<int, kImportLogWindowColumns>& ImportLogWindowWidths();
CellStore WithConsolidatedLines(const CellStore& log);
// hz_GetImportLog, newest run first; limit <= 0 for all. Throws on a database error.
CellStore LoadImportLog(TDMData& dm, int limit);

}  // namespace corvanta
