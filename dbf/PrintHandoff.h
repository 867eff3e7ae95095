#pragma once
// Printing: the program lays out nothing itself. It writes the grid on screen into the body table
// data/TABLE_M1.DBF and a caption into the title table data/TABLE_B1.DBF, then starts PRINT.EXE
// from the program folder with "/rwxfile" + the name of a report template. It does not wait.
#include "dbf/DBF.h"
#include "logic/GridSource.h"

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <chrono>
#include <functional>
#include <vector>

namespace corvanta {

class Messages;

// One field of the title table: its name (11 bytes at most, the table keeps 10), its nominal
// width (the table field is 10 bytes wider) and its text (83 bytes at most; callers cut to 80).
struct TitleField {
    QString name;
    int width = 100;
    QString value;
};

class PrintHandoff {
public:
    using Clock = std::function<std::chrono::steady_clock::time_point()>;
    // Starts program detached with the given arguments; false when it could not be started.
    using Launcher = std::function<bool(const QString& program, const QStringList& arguments)>;

    static constexpr std::chrono::seconds kBusyRetry{10};

    PrintHandoff(DATABASEFILE& tables, Messages& messages);

    // Seams for tests: the clock that times the busy retry, and the process start.
    void setClock(Clock clock) { m_clock = std::move(clock); }
    void setLauncher(Launcher launcher) { m_launcher = std::move(launcher); }

    // The three steps, always all of them: title table, body table, report program. True when
    // every step succeeded.
    bool PrintReport(const std::vector<TitleField>& titleFields, const GridSource& grid, const QString& templateName);

    bool WriteTitleTable(const std::vector<TitleField>& titleFields);
    bool WriteBodyTable(const GridSource& grid);
    bool StartReportProgram(const QString& templateName);
    // Opens data/<fileName> read-write; waits out a busy file for ten seconds. True when open.
    bool OpenReportTable(const QString& fileName);

    // Field name of a body column from its heading (GBK bytes): "Rwx" when empty, whole below
    // 9 bytes, else 8 bytes, or 9 when the first 8 hold an odd number of bytes >= 127.
    static QByteArray BodyFieldName(const QByteArray& heading);
    // Field width of a body column: pixels / 7 + 30, at most 255 (the format's limit; wider
    // columns are printed cut).
    static int BodyFieldWidth(int pixels);
    // Whether a cell holds one of the totals markers "合计", "合 计", "合  计".
    static bool HasTotalsMarker(const QString& cell);
    // The last row (from 0) with a non-blank cell; 0 when only the headings are filled.
    static int LastFilledRow(const GridSource& grid);

private:
    std::chrono::steady_clock::time_point now() const;

    DATABASEFILE& m_tables;
    Messages& m_messages;
    Clock m_clock;
    Launcher m_launcher;
};

}  // namespace corvanta
