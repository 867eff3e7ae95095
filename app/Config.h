#pragma once
// Config.cfg: a Windows-style INI file read key by key (section and key names without regard to
// letter case) and written one key at a time, in place, every other byte of the file kept.
#include <QByteArray>
#include <QString>
#include <optional>

namespace corvanta {

class IniFile {
public:
    explicit IniFile(QString path);

    // The value of the first matching key of the first matching section, trimmed and with one
    // pair of enclosing quotes removed; nullopt when the file, section or key is absent.
    std::optional<QString> read(const QString& section, const QString& key) const;
    QString read(const QString& section, const QString& key, const QString& fallback) const;

    // Changes that one line (or adds it to its section, or adds the section at the end).
    // The file is never created: false when it does not exist or cannot be written.
    bool write(const QString& section, const QString& key, const QString& value) const;

    const QString& path() const { return m_path; }

private:
    QString m_path;
};

// The keys the program uses, with their defaults (the file in the program folder).
struct Config {
    static std::optional<QString> Version();          // SQLVERSION/VERSION, absent = nullopt
    static QString Server();                          // SYSTEM/SERVER; absent or empty: computer name
    static QString User();                            // SYSTEM/USER, default "sa"
    static QString Password();                        // SYSTEM/PASSWORD, default empty
    static QString Engine();                          // SYSTEM/ENGINE: "embedded" (default) or "postgresql"
    static bool WriteDBServer(const QString& server); // SYSTEM/DBServer
};

// "RETURN_VALUE" for a missing VERSION or exactly "7.0"; "@RETURN_VALUE" otherwise.
QString ReturnValueNameFor(const std::optional<QString>& version);

}  // namespace corvanta
