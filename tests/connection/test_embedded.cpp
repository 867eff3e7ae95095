// What only the embedded engine has: its data folder, its files and its crash safety.
#include "tests/connection/ConformanceFixture.h"

#include "base/Config.h"
#include "base/Sysdef.h"
#include "engines/embedded/Sqlite.h"

#include <QFile>
#include <QProcess>
#include <QRandomGenerator>
#include <QThread>
#include <sqlite3.h>

namespace corvanta::test {
namespace {

TEST(EmbeddedEngine, OpenNeedsTheDataFolder)
{
    TempProgramDir dir;
    dir.writeConfig("[SYSTEM]\nENGINE=embedded\n");
    QDir(dir.dataDir()).removeRecursively();
    TDMData dm;
    EXPECT_THROW(dm.Connect(QStringLiteral("x"), QStringLiteral("sa"), QString(), Config::Engine()), DbError);
    EXPECT_FALSE(dm.ADOConnection.Connected());
    // A file in its place is no folder either.
    QFile f(dir.dataDir());
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.close();
    EXPECT_THROW(dm.Connect(QStringLiteral("x"), QStringLiteral("sa"), QString(), Config::Engine()), DbError);

    // Unknown engines are refused by name.
    dir.writeConfig("[SYSTEM]\nENGINE=oracle\n");
    EXPECT_THROW(dm.Connect(QStringLiteral("x"), QStringLiteral("sa"), QString(), Config::Engine()), DbError);
}

using EmbeddedConformance = Conformance;

TEST_F(EmbeddedConformance, CatalogueScriptsAreTheEmbeddedOnes)
{
    EXPECT_EQ(dm->ADOConnection.EngineKind(), QStringLiteral("embedded"));
    EXPECT_EQ(dm->CatalogueScriptPath(QStringLiteral("drop.txt")), GetDataDir() + QStringLiteral("/embedded/drop.txt"));
    // The kind is the caller's: a Config.cfg naming another engine does not reach the data module.
    dir->writeConfig("[SYSTEM]\nENGINE=postgresql\n");
    TDMData other;
    other.Connect(QStringLiteral("x"), QStringLiteral("sa"), QString(), QStringLiteral("embedded"));
    EXPECT_EQ(other.ADOConnection.EngineKind(), QStringLiteral("embedded"));
    EXPECT_EQ(other.CatalogueScriptPath(QStringLiteral("GetZt.txt")), GetDataDir() + QStringLiteral("/embedded/GetZt.txt"));
    other.ADOConnection.Close();
    EXPECT_THROW(other.CatalogueScriptPath(QStringLiteral("GetZt.txt")), DbError);
    // Without the registration made by the scripts, the master procedures are not there.
    dm->ADOConnection.SetDefaultDatabase(QStringLiteral("master"));
    QFile drop(dm->CatalogueScriptPath(QStringLiteral("drop.txt")));
    ASSERT_TRUE(drop.open(QIODevice::ReadOnly));
    dm->RunScript(QString::fromUtf8(drop.readAll()));
    EXPECT_THROW(dm->CallProc(dm->QueryProc, QStringLiteral("hz_getzt"), {}, true), DbError);
    prepareCatalogue(*dm);
    EXPECT_NO_THROW(dm->CallProc(dm->QueryProc, QStringLiteral("hz_getzt"), {}, true));
    // Account-set procedures do not run in master.
    EXPECT_THROW(dm->CallProc(dm->ADOSProc, QStringLiteral("hz_GetNet"), {}, true), DbError);
}

// The list's load runs the catalogue scripts every time: when they leave master as it was, nothing
// is written (no commit another connection could see); a change they make is kept for everyone.
TEST_F(EmbeddedConformance, CatalogueScriptsWriteOnlyWhatTheyChange)
{
    sqlite3* watcher = nullptr;
    ASSERT_EQ(sqlite3_open_v2(QFile::encodeName(GetDataDir() + QStringLiteral("/master.db")).constData(), &watcher,
                              SQLITE_OPEN_READONLY, nullptr),
              SQLITE_OK);
    auto version = [&] {
        sqlite3_stmt* st = nullptr;
        sqlite3_prepare_v2(watcher, "PRAGMA data_version", -1, &st, nullptr);
        sqlite3_step(st);
        const qint64 v = sqlite3_column_int64(st, 0);
        sqlite3_finalize(st);
        return v;
    };
    dm->ADOConnection.SetDefaultDatabase(QStringLiteral("master"));
    const qint64 before = version();
    prepareCatalogue(*dm);
    prepareCatalogue(*dm);
    EXPECT_EQ(version(), before);

    auto runScript = [&](TDMData& d, const char* name) {
        QFile f(d.CatalogueScriptPath(QLatin1String(name)));
        ASSERT_TRUE(f.open(QIODevice::ReadOnly));
        d.RunScript(QString::fromUtf8(f.readAll()));
    };
    runScript(*dm, "drop.txt");
    EXPECT_THROW(dm->CallProc(dm->QueryProc, QStringLiteral("hz_getzt"), {}, true), DbError);
    EXPECT_NE(version(), before);
    TDMData other;
    other.Connect(QStringLiteral("x"), QStringLiteral("sa"), QString(), QStringLiteral("embedded"));
    EXPECT_THROW(other.CallProc(other.QueryProc, QStringLiteral("hz_getzt"), {}, true), DbError);
    // Scripts still running when the connection closes are kept too.
    for (const char* name : {"CreateZt.txt", "DeleteZt.txt", "GetZt.txt"})
        runScript(*dm, name);
    dm->ADOConnection.Close();
    EXPECT_NO_THROW(other.CallProc(other.QueryProc, QStringLiteral("hz_getzt"), {}, true));
    sqlite3_close(watcher);
    dm->Connect(QStringLiteral("x"), QStringLiteral("sa"), QString(), QStringLiteral("embedded"));

    // A script that fails does not leave master held while the failure is shown.
    runScript(*dm, "drop.txt");
    EXPECT_THROW(dm->RunScript(QStringLiteral("SELECT * FROM no_such_table")), DbError);
    sqlite3* writer = nullptr;
    ASSERT_EQ(sqlite3_open_v2(QFile::encodeName(GetDataDir() + QStringLiteral("/master.db")).constData(), &writer,
                              SQLITE_OPEN_READWRITE, nullptr),
              SQLITE_OK);
    EXPECT_EQ(sqlite3_exec(writer, "BEGIN IMMEDIATE; ROLLBACK;", nullptr, nullptr, nullptr), SQLITE_OK);
    sqlite3_close(writer);
    prepareCatalogue(*dm);
}

// A consolidation killed at any moment leaves the old or the new figures, never a mix; a mixed
// intake's sales and stock are consolidated together or not at all.
TEST_F(EmbeddedConformance, KilledConsolidationKeepsOldOrNew)
{
    addOutlet(QStringLiteral("1"), QStringLiteral("一号店"));
    const int lines = 5000;
    auto perDateQty = [&]() {
        QStringList qty;
        for (const QStringList& row : query(QStringLiteral("hz_AllStat"),
                                            {{"@date1", "2024-01-01"}, {"@date2", "2024-01-31"}, {"@iType", "D"}},
                                            {"FullName", "AllQTY"}))
            qty << row[1];
        return qty;
    };
    auto uniform = [&](const QString& each) { return QStringList(5, QString::number(lines / 5 * each.toInt())); };

    auto stockQty = [&]() {
        QStringList qty;
        for (const QStringList& row : query(QStringLiteral("hz_GetStock"), {}, {"KCQTY"}))
            qty << row[0];
        qty.removeDuplicates();
        return qty.join(',');
    };

    QStringList current = perDateQty();
    QString currentStock = stockQty();
    EXPECT_TRUE(current.isEmpty());
    // Twelve rounds with kills spread from the start of the consolidation to after its end; then,
    // while no kill has landed inside it yet, more rounds with kills right at its start.
    int killedInside = 0;
    int committed = 0;
    int round = 1;
    for (; round <= 12 || (killedInside == 0 && round <= 40); ++round) {
        const QString qty = QString::number(round);
        QProcess child;
        // Odd rounds send the lines line by line, even rounds as an import's bulk run (every
        // second one with stock lines among them).
        QStringList args = {GetAppDir(), dbName, QString::number(lines), qty};
        const bool mixed = round % 4 == 0;
        if (round % 2 == 0)
            args << (mixed ? QStringLiteral("mixed") : QStringLiteral("bulk"));
        child.start(QStringLiteral(KILL_CHILD_PATH), args);
        ASSERT_TRUE(child.waitForStarted());
        QByteArray out;
        while (!out.contains("ADD") && child.waitForReadyRead(30000))
            out += child.readAllStandardOutput();
        ASSERT_TRUE(out.contains("ADD")) << child.readAllStandardError().toStdString();
        const int maxDelayUs = round <= 12 ? round * 3000 : 500;
        QThread::usleep(QRandomGenerator::global()->bounded(maxDelayUs));
        child.kill();
        child.waitForFinished();
        out += child.readAllStandardOutput();
        const bool done = out.contains("DONE 0");
        if (!out.contains("DONE"))
            ++killedInside;

        const QStringList after = perDateQty();
        EXPECT_TRUE(after == current || after == uniform(qty))
            << "round " << round << ": " << after.join(',').toStdString();
        // A consolidation that said it was done has kept its figures.
        if (done) {
            EXPECT_EQ(after, uniform(qty)) << "round " << round;
        }
        const QString afterStock = stockQty();
        if (mixed) {
            EXPECT_EQ(afterStock, after != current ? qty : currentStock) << "round " << round;
        } else {
            EXPECT_EQ(afterStock, currentStock) << "round " << round;
        }
        if (after != current)
            ++committed;
        current = after;
        currentStock = afterStock;
    }
    EXPECT_GE(killedInside, 1) << "no kill landed inside the consolidation in " << round - 1 << " rounds";
    RecordProperty("rounds", round - 1);
    RecordProperty("killed_before_done", killedInside);
    RecordProperty("committed", committed);

    auto db = sqlite::Db::open(GetDataDir() + "/" + dbName + ".db", SQLITE_OPEN_READWRITE);
    auto q = db->prepare("PRAGMA integrity_check");
    ASSERT_TRUE(q.step());
    EXPECT_EQ(q.text(0), QStringLiteral("ok"));
}

}  // namespace
}  // namespace corvanta::test
