#pragma once
// Config.cfg: a Windows-style INI file read key by key (section and key names without regard to
// letter case) and written one key at a time, in place, every other byte of the file kept.
#include <QByteArray>
#include <QString>
#include <QStringList>
#include <optional>
#include <stdexcept>

namespace corvanta {

// The file exists but cannot be used. Only a missing file means the defaults: anything else
// would quietly turn the administrator into "sa" with an empty password.
struct ConfigError : std::runtime_error {
    explicit ConfigError(const QString& text) : std::runtime_error(text.toStdString()), message(text) {}
    QString message;
};

class IniFile {
public:
    explicit IniFile(QString path);

    // The value of the first matching key of the first matching section, trimmed and with one
    // pair of enclosing quotes removed; nullopt when the file, section or key is absent.
    // Throws ConfigError when the file exists but cannot be read or is not a regular file.
    std::optional<QString> read(const QString& section, const QString& key) const;
    QString read(const QString& section, const QString& key, const QString& fallback) const;

    // Changes that one line (or adds it to its section, or adds the section at the end).
    // The file is never created: false when it does not exist or cannot be read or written, and
    // false for a section, key or value holding a control character (a line break would add lines).
    bool write(const QString& section, const QString& key, const QString& value) const;

    // "key" (line n) for each key line that stands before the first section; throws ConfigError
    // like read().
    QStringList keysOutsideSections() const;

    const QString& path() const { return m_path; }

private:
    QString m_path;
};

// The keys the program uses, with their defaults (the file in the program folder).
struct Config {
    // Why the program must not start with this Config.cfg (unreadable, not a regular file, keys
    // outside any section, unknown ENGINE); nullopt when it is sound or missing.
    static std::optional<QString> Problem();
    static std::optional<QString> Version();          // SQLVERSION/VERSION, absent = nullopt
    static QString Server();                          // SYSTEM/SERVER; absent or empty: computer name
    static QString User();                            // SYSTEM/USER, default "sa"
    static QString Password();                        // SYSTEM/PASSWORD, default empty
    static QString Engine();                          // SYSTEM/ENGINE: "embedded" (default) or "postgresql"
    static bool WriteDBServer(const QString& server); // SYSTEM/DBServer
};

// True when the text holds a control character or a line or paragraph separator.
bool HasControlCharacter(const QString& text);
// The message that refuses such a text where a name is typed: "<what>不能含有控制字符…".
QString ControlCharacterRuleText(const QString& what);

// "RETURN_VALUE" for a missing VERSION or exactly "7.0"; "@RETURN_VALUE" otherwise.
QString ReturnValueNameFor(const std::optional<QString>& version);

}  // namespace corvanta
