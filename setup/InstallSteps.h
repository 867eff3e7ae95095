// The install steps of the bootstrap, without a window: hand-over file, unpacking, installer start.
#pragma once

#include <QByteArray>
#include <QChar>
#include <QString>
#include <QStringList>

#include <functional>
#include <optional>

namespace setup {

// The installer engine reads exactly this many bytes from the hand-over file; the folder
// must leave room for at least one terminating zero.
inline constexpr int kHandOverSize = 100;
// The Windows folder came through a 100-byte buffer (terminating zero included).
inline constexpr int kWindowsFolderLimit = 100;

#ifdef _WIN32
inline constexpr QChar kSeparator = u'\\';
#else
inline constexpr QChar kSeparator = u'/';
#endif

// "c:\" and the Windows folder as this system places them (see SystemFoldersFromEnvironment).
struct SystemFolders {
    QString systemDrive;    // no trailing separator: "c:" on Windows
    QString windowsFolder;  // no trailing separator
};

// What the steps do to the world outside the file system: tests replace both.
struct InstallSeams {
    // Starts a program detached, by its full path and an argument vector, without a shell.
    std::function<bool(const QString& program, const QStringList& arguments)> startDetached;
    // Shows a message the user must acknowledge; returns when acknowledged.
    std::function<void(const QString& caption, const QString& text)> showMessage;
};

enum class ExpandResult { Expanded, Copied, SourceMissing, Failed };

// The folder of the program: its path up to, not including, the last separator.
QString MediumFolder(const QString& programPath, QChar separator = kSeparator);

// Text in the single-byte code page the installer engine reads (the ANSI code page on Windows,
// GBK elsewhere); nullopt when a character has no encoding there.
std::optional<QByteArray> ToCodePage(const QString& text);

// The 100-byte hand-over record: the folder, zero-padded. nullopt when the folder does not fit
// (100 bytes or more) or cannot be encoded; a cut path would send the installer elsewhere.
std::optional<QByteArray> HandOverRecord(const QString& mediumFolder);

// Writes the record to a file created anew (an existing one is replaced whole).
bool WriteHandOverFile(const QString& path, const QByteArray& record);

// Expands an SZDD-compressed source into destination, or copies any other source unchanged.
// The destination is replaced only once the whole content is there; a missing source leaves
// it untouched. executable: the result gets execute permission (where the system has one).
ExpandResult ExpandFile(const QString& source, const QString& destination, bool executable = false);

// The files of a run, from the medium folder and the system folders.
struct InstallPaths {
    QString handOverFile;
    QString scratchFolder;
    QString installer;
    struct Item { QString source, destination; };
    Item items[4];  // installer first, then the three libraries
};
InstallPaths PathsFor(const QString& mediumFolder, const SystemFolders& folders);

// Steps 1 to 9 of a run. Every step runs whatever the one before did; only folders that do
// not fit the installer's limits stop the run, with a message and before anything is written.
// Returns the program's exit code: 0, or 1 when refused.
int RunInstallSteps(const QString& programPath, const SystemFolders& folders, const InstallSeams& seams);

// "c:\" and the Windows folder: the real ones on Windows; elsewhere CORVANTA_SETUP_DRIVE_C
// (default $XDG_DATA_HOME/corvanta-setup/drive_c) and CORVANTA_SETUP_WINDOWS (default
// drive_c/windows).
SystemFolders SystemFoldersFromEnvironment();

}  // namespace setup
