#pragma once
// Shared test helpers: a throw-away program folder and a Messages channel that records and answers.
#include "engines/Engine.h"
#include "logic/Messages.h"

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>
#include <deque>
#include <memory>
#include <optional>
#include <vector>

namespace corvanta::test {

// A fresh program folder (with data/) in a temp directory; GetAppDir() points at it while alive.
// The bytes of a file ("<unreadable>" when it cannot be read); a file written with bytes.
QByteArray FileBytes(const QString& path);
bool WriteFileBytes(const QString& path, const QByteArray& bytes);

class TempProgramDir {
public:
    TempProgramDir();
    ~TempProgramDir();
    QString path() const;
    QString dataDir() const;
    // Writes Config.cfg (raw bytes) into the folder.
    void writeConfig(const QByteArray& bytes) const;
    // Copies the built data/ folder (templates, scripts) into this folder's data/.
    void copyShippedData() const;

private:
    std::unique_ptr<QTemporaryDir> m_dir;
};

// The engine a test runs on, configured the way users do it (Config.cfg). PostgreSQL is found
// through the standard libpq variables (PGHOST, PGPORT, PGUSER, PGPASSWORD).
bool InCi();
// PGHOST, with ":" PGPORT when set; nullopt without PGHOST.
std::optional<QString> PgDataSource();
// Config.cfg text selecting the engine (and, for PostgreSQL, USER/PASSWORD from PGUSER/PGPASSWORD).
QByteArray EngineConfig(const QString& engine);
// "Data Source" (PgDataSource), "User Id" and "PASSWORD" of the test server, "Initial Catalog" = database.
ConnectionProps pgTestProps(const QString& database = QStringLiteral("master"));
// Empty when the PostgreSQL test server answers; otherwise why not (asked once per process).
QString PgUnavailableReason();

struct RecordedMessage {
    QString channel;  // "superMsg" or "systemBox"
    QString caption;
    QString text;
    QString buttons;
    QString icon;
};

// Records every message; superMsg answers from a queue ("" when empty).
class RecordingMessages : public Messages {
public:
    QString superMsg(const QString& caption, const QString& text, const QString& buttons,
                     const QString& options, const QString& icon) override;
    void systemBox(const QString& caption, const QString& text) override;
    void beep() override { ++beeps; }
    void cause(const QString& why) override { causes << why; }

    std::vector<RecordedMessage> messages;
    QStringList causes;
    std::deque<QString> answers;
    int beeps = 0;
    // "caption: text" of every message, in order.
    QStringList texts() const;
};

}  // namespace corvanta::test

// Skips the test when the PostgreSQL test server is not there, except under CI (CI set), where
// that is a failure.
#define CORVANTA_REQUIRE_PG()                                                                     \
    do {                                                                                          \
        const QString why_ = ::corvanta::test::PgUnavailableReason();                             \
        if (!why_.isEmpty()) {                                                                    \
            if (::corvanta::test::InCi())                                                         \
                FAIL() << "PostgreSQL test server required under CI: " << why_.toStdString();     \
            GTEST_SKIP() << why_.toStdString();                                                   \
        }                                                                                         \
    } while (0)
