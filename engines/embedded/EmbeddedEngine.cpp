#include "engines/embedded/EmbeddedEngine.h"

#include "base/Sysdef.h"
#include "engines/DatabaseName.h"
#include "engines/EngineFactory.h"
#include "engines/embedded/EmbeddedProcedureSupport.h"
#include "engines/embedded/EmbeddedProcedures.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryFile>
#include <sqlite3.h>
#include <algorithm>
#include <utility>
#ifdef __linux__
#include <sys/resource.h>
#include <sys/syscall.h>
#include <cerrno>
#include <csignal>
#include <unistd.h>
#endif

namespace corvanta {

namespace {
const QString kMaster = QStringLiteral("master");

bool isMasterName(const QString& name)
{
    return name.isEmpty() || name.compare(kMaster, Qt::CaseInsensitive) == 0;
}

// Staging of the intake procedures: TEMP tables, so each connection sees only its own lines.
const char* const kStagingSql = R"sql(
CREATE TEMP TABLE IF NOT EXISTS stage_sales(
  seq INTEGER PRIMARY KEY, ID TEXT NOT NULL, USERCODE TEXT, PTYPENAME TEXT, STANDARD TEXT, TYPE TEXT,
  UNIT TEXT, AREA TEXT, DATE TEXT NOT NULL, QTY INTEGER NOT NULL, TOTAL INTEGER NOT NULL,
  COSTTOTAL INTEGER NOT NULL, VCHTYPE INTEGER NOT NULL);
CREATE TEMP TABLE IF NOT EXISTS stage_stock(
  seq INTEGER PRIMARY KEY, ID TEXT NOT NULL, USERCODE TEXT, PTYPENAME TEXT, STANDARD TEXT, TYPE TEXT,
  UNIT TEXT, AREA TEXT, KCQTY INTEGER NOT NULL, KCTOTAL INTEGER NOT NULL);
)sql";
// Master's whole content (schema and every row; it is a few dozen rows) as bytes to compare.
QByteArray masterContent(sqlite3* db)
{
    QByteArray out;
    auto each = [&](const char* sql, auto&& row) {
        sqlite3_stmt* st = nullptr;
        if (sqlite3_prepare_v2(db, sql, -1, &st, nullptr) != SQLITE_OK)
            throw DbError(QStringLiteral("master: %1").arg(QString::fromUtf8(sqlite3_errmsg(db))));
        int rc;
        while ((rc = sqlite3_step(st)) == SQLITE_ROW)
            row(st);
        sqlite3_finalize(st);
        if (rc != SQLITE_DONE)
            throw DbError(QStringLiteral("master: %1").arg(QString::fromUtf8(sqlite3_errmsg(db))));
    };
    auto rowOf = [](sqlite3_stmt* st) {
        QByteArray row;
        for (int c = 0; c < sqlite3_column_count(st); ++c) {
            row += char('0' + sqlite3_column_type(st, c));
            const auto* t = reinterpret_cast<const char*>(sqlite3_column_blob(st, c));
            const int n = sqlite3_column_bytes(st, c);
            row += QByteArray::number(n) + ':';
            row.append(t, n);
        }
        return row;
    };
    // Rows sorted: a row deleted and inserted again compares equal wherever it now lies.
    auto table = [&](const char* sql) {
        QList<QByteArray> rows;
        each(sql, [&](sqlite3_stmt* st) { rows << rowOf(st); });
        std::sort(rows.begin(), rows.end());
        for (const QByteArray& r : rows)
            out += r + '\n';
    };
    QList<QByteArray> tables;
    each("SELECT name FROM sqlite_master WHERE type = 'table'", [&](sqlite3_stmt* st) {
        tables << QByteArray(reinterpret_cast<const char*>(sqlite3_column_text(st, 0)));
    });
    table("SELECT type, name, tbl_name, sql FROM sqlite_master");
    std::sort(tables.begin(), tables.end());
    for (QByteArray t : tables) {
        out += "table " + t + '\n';
        t.replace('"', "\"\"");
        table(QByteArray("SELECT * FROM \"" + t + "\"").constData());
    }
    return out;
}

}  // namespace

EmbeddedEngine::~EmbeddedEngine()
{
    close();
}

QString EmbeddedEngine::catalogueTableStatement() const
{
    return QStringLiteral(
        "CREATE TABLE IF NOT EXISTS SyshzZt(sysid INTEGER PRIMARY KEY AUTOINCREMENT, sysname TEXT, dbname TEXT)");
}

QString EmbeddedEngine::catalogueScriptPath(const QString& name) const
{
    return GetDataDir() + QStringLiteral("/embedded/") + name;
}

void EmbeddedEngine::open(const ConnectionProps& props)
{
    close();
    const QString dir = GetDataDir();
    const QFileInfo info(dir);
    if (!info.isDir())
        throw DbError(QStringLiteral("Data folder %1 does not exist").arg(dir));
    // Permission bits do not tell everything (an administrator, a read-only mount): try it.
    if (!info.isWritable() || !QTemporaryFile(dir + QStringLiteral("/.probe-XXXXXX")).open())
        throw DataFolderError(QStringLiteral("Data folder %1 is not writable").arg(dir));
    m_dataDir = dir;
    m_master = sqlite::Db::open(FindFileNoCase(dir, QStringLiteral("master.db")),
                                SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_FULLMUTEX);
    m_current = kMaster;
    if (!isMasterName(props.initialCatalog)) {
        try {
            useDatabase(props.initialCatalog);
        } catch (...) {
            close();
            throw;
        }
    }
}

void EmbeddedEngine::startCheckpoint()
{
    joinCheckpoint();
    const QString path = m_account->path();
    m_checkpointer = std::thread([path] {
#ifdef __linux__
        // Housekeeping: behind the work the user waits for.
        setpriority(PRIO_PROCESS, pid_t(syscall(SYS_gettid)), 10);
#endif
        try {
            auto db = sqlite::Db::open(path, SQLITE_OPEN_READWRITE | SQLITE_OPEN_NOMUTEX, 1000);
            sqlite3_wal_checkpoint_v2(db->handle(), "main", SQLITE_CHECKPOINT_PASSIVE, nullptr, nullptr);
        } catch (...) {
            // The next automatic checkpoint does it.
        }
    });
}

void EmbeddedEngine::joinCheckpoint()
{
    if (!m_checkpointer.joinable())
        return;
    m_checkpointer.join();
    if (m_account)
        sqlite3_wal_autocheckpoint(m_account->handle(), 1000);
}

void EmbeddedEngine::close()
{
    try {
        settleCatalogue();
    } catch (...) {
        // Nothing of it was kept; the scripts run again at the next load of the list.
    }
    joinCheckpoint();
    // An intake not consolidated dies with the connection, as the staging does.
    resetIntake();
    m_account.reset();
    m_master.reset();
    m_current.clear();
}

bool EmbeddedEngine::isOpen() const
{
    return m_master != nullptr;
}

QString EmbeddedEngine::currentDatabase() const
{
    return m_current;
}

sqlite::Db& EmbeddedEngine::db()
{
    if (!m_master)
        throw DbError(QStringLiteral("The connection is not open"));
    return m_account ? *m_account : *m_master;
}

QString EmbeddedEngine::databaseFile(const QString& name) const
{
    return FindFileNoCase(m_dataDir, name + QStringLiteral(".db"));
}

void EmbeddedEngine::useDatabase(const QString& name)
{
    if (!m_master)
        throw DbError(QStringLiteral("The connection is not open"));
    if (name.compare(m_current, Qt::CaseInsensitive) == 0)
        return;
    quiesce();
    settleDirect();
    joinCheckpoint();
    if (isMasterName(name)) {
        m_direct.reset();
        m_account.reset();
        m_current = kMaster;
        return;
    }
    ValidateDatabaseName(name);
    const QString file = databaseFile(name);
    if (!QFileInfo(file).isFile())
        throw DbError(QStringLiteral("Database \"%1\" does not exist (no file %2)").arg(name, file));
    // The connection is used by one thread only: no mutex around each call.
    auto db = sqlite::Db::open(file, SQLITE_OPEN_READWRITE | SQLITE_OPEN_NOMUTEX);
    {
        auto q = db->prepare("SELECT count(*) FROM sqlite_master WHERE type='table' AND name='hz_procedures'");
        if (!q.step() || q.integer(0) == 0)
            throw DbError(QStringLiteral("%1 is not an account-set database").arg(file));
    }
    // WAL with synchronous=NORMAL: a commit is safe against a killed process (the WAL is written
    // before COMMIT returns); only a power cut may lose the last commits, never mix them.
    db->exec(QStringLiteral("PRAGMA synchronous=NORMAL; PRAGMA cache_size=-%1;").arg(embedded::kAccountCacheKiB));
    upgradeAccountSet(*db);
    db->exec(QString::fromUtf8(kStagingSql));
    m_direct.reset();
    m_account = std::move(db);
    m_current = name;
}

void EmbeddedEngine::execSql(const QString& text)
{
    if (m_account) {
        quiesce();
        settleDirect();
        db().exec(text);
        return;
    }
    if (!m_master)
        throw DbError(QStringLiteral("The connection is not open"));
    // The catalogue scripts drop and register the same procedures at every load of the list:
    // scripts run one after the other share a transaction, which the next other use of the
    // connection ends, so an unchanged catalogue costs no write and no wait for the disk.
    if (!m_catalogueOpen) {
        // Immediate: the scripts will write, and what they are compared with must be what they
        // found, not what another client changed in between.
        m_master->exec(QStringLiteral("BEGIN IMMEDIATE"));
        try {
            m_catalogueBefore = masterContent(m_master->handle());
        } catch (...) {
            sqlite3_exec(m_master->handle(), "ROLLBACK", nullptr, nullptr, nullptr);
            throw;
        }
        m_catalogueOpen = true;
    }
    try {
        m_master->exec(text);
    } catch (...) {
        // Not held while the caller reports the failure: what the scripts did so far is kept, as
        // each statement's own commit kept it before.
        try {
            settleCatalogue();
        } catch (...) {
        }
        throw;
    }
}

void EmbeddedEngine::settleCatalogue()
{
    if (!m_catalogueOpen)
        return;
    m_catalogueOpen = false;
    const QByteArray before = std::exchange(m_catalogueBefore, QByteArray());
    if (!m_master->inTransaction())  // a script ended it itself
        return;
    try {
        if (masterContent(m_master->handle()) == before)
            m_master->exec(QStringLiteral("ROLLBACK"));
        else
            m_master->exec(QStringLiteral("COMMIT"));
    } catch (...) {
        if (m_master->inTransaction())
            sqlite3_exec(m_master->handle(), "ROLLBACK", nullptr, nullptr, nullptr);
        throw;
    }
}

std::vector<ParamInfo> EmbeddedEngine::procedureParams(const QString& name)
{
    quiesce();
    sqlite::Db& d = db();
    {
        auto t = d.prepare("SELECT count(*) FROM sqlite_master WHERE type='table' AND name='hz_procedures'");
        if (!t.step() || t.integer(0) == 0)
            throw DbError(QStringLiteral("Could not find stored procedure '%1' in database %2").arg(name, m_current));
    }
    auto q = d.prepare("SELECT name, params FROM hz_procedures WHERE name = ?1 COLLATE NOCASE");
    q.bindText(1, name);
    if (!q.step())
        throw DbError(QStringLiteral("Could not find stored procedure '%1' in database %2").arg(name, m_current));
    const QString registered = q.text(0);
    const QString params = q.text(1);
    const ProcedureDef* def = findProcedure(registered);
    if (!def || def->master != inMaster())
        throw DbError(QStringLiteral("Stored procedure '%1' is registered in database %2 but has no body there")
                          .arg(registered, m_current));
    return parseParamList(params, registered);
}

void EmbeddedEngine::quiesce()
{
    settleCatalogue();
    if (m_direct) {
        try {
            m_direct->writer.sync();
        } catch (...) {
            dropDirect();
            throw;
        }
    }
}

CallResult EmbeddedEngine::call(const QString& name, const std::vector<std::pair<QString, QVariant>>& values)
{
    quiesce();
    // Must be registered in the current database; a bulk run asks once per procedure.
    if (!m_bulk) {
        procedureParams(name);
    } else if (!m_bulkChecked.contains(name, Qt::CaseInsensitive)) {
        procedureParams(name);
        m_bulkChecked.append(name);
    }
    const ProcedureDef* def = findProcedure(name);
    ProcArgs args(values);
    beforeCall();  // an intake's lines first go where line-by-line calls would have put them
    sqlite::Db& d = db();
    if (m_bulk && d.inTransaction()) {
        d.prepare("SAVEPOINT bulk_call").run();
        try {
            CallResult r = def->body(*this, args);
            d.prepare("RELEASE bulk_call").run();
            return r;
        } catch (...) {
            try {
                d.prepare("ROLLBACK TO bulk_call").run();
                d.prepare("RELEASE bulk_call").run();
            } catch (const DbError&) {
            }
            throw;
        }
    }
    try {
        return def->body(*this, args);
    } catch (...) {
        // A body that failed half way leaves no transaction open behind it.
        m_direct.reset();
        if (d.inTransaction()) {
            try {
                d.exec(QStringLiteral("ROLLBACK"));
            } catch (const DbError&) {
            }
        }
        throw;
    }
}

QString creationMarker(const QString& dataDir, const QString& dbName, qint64 pid)
{
    return dataDir + QStringLiteral("/.%1.creating-%2").arg(dbName).arg(pid);
}

namespace {
bool processGone(qint64 pid)
{
    return pid > 0 && pid != QCoreApplication::applicationPid() && ::kill(pid_t(pid), 0) != 0 && errno == ESRCH;
}

// The creators of NAME.db that still run, by their markers.
bool creationRunning(const QString& dataDir, const QString& dbName)
{
    const QStringList markers =
        QDir(dataDir).entryList({QStringLiteral(".%1.creating-*").arg(dbName)}, QDir::Files | QDir::Hidden);
    for (const QString& name : markers) {
        bool ok = false;
        const qint64 pid = name.section(QLatin1Char('-'), -1).toLongLong(&ok);
        if (ok && !processGone(pid))
            return true;
    }
    return false;
}
}  // namespace

void removeDeadCreationDebris(const QString& dataDir, const QString& dbName)
{
    // A creation killed before it registered its database leaves a scratch copy, or the
    // database and its marker; its process is gone, so nobody else will finish or remove them.
    QDir dir(dataDir);
    const QStringList debris = dir.entryList({QStringLiteral(".%1.restoring-*").arg(dbName),
                                              QStringLiteral(".%1.creating-*").arg(dbName)},
                                             QDir::Files | QDir::Hidden);
    for (const QString& name : debris) {
        bool ok = false;
        const qint64 pid = name.section(QLatin1Char('-'), -1).toLongLong(&ok);
        if (!ok || !processGone(pid))
            continue;
        if (name.contains(QStringLiteral(".creating-"))) {
            const QString file = FindFileNoCase(dataDir, dbName + QStringLiteral(".db"));
            for (const char* side : {"", "-wal", "-shm"})
                QFile::remove(file + QLatin1String(side));
        }
        dir.remove(name);
    }
}

void EmbeddedEngine::restoreTemplate(const QString& dbName)
{
    using Why = CreationError::Why;
    if (!m_master)
        throw DbError(QStringLiteral("The connection is not open"));
    settleCatalogue();
    ValidateDatabaseName(dbName);
    if (isMasterName(dbName))
        throw CreationError(Why::NameTaken, dbName, QStringLiteral("Database \"%1\" already exists").arg(dbName));
    const QString source = FindFileNoCase(m_dataDir, QStringLiteral("tavikhz"));
    if (!QFileInfo(source).isFile())
        throw CreationError(Why::TemplateMissing, source, QStringLiteral("Template %1 is missing").arg(source));
    removeDeadCreationDebris(m_dataDir, dbName);
    const QString target = databaseFile(dbName);
    if (QFileInfo::exists(target))
        throw CreationError(creationRunning(m_dataDir, dbName) ? Why::CreationRunning : Why::NameTaken,
                            QFileInfo(target).completeBaseName(),
                            QStringLiteral("Database \"%1\" already exists (%2)").arg(dbName, target));

    // Copy into a scratch file first, so a half-made database never carries the real name.
    const QString scratch = m_dataDir + QStringLiteral("/.%1.restoring-%2")
                                            .arg(dbName)
                                            .arg(QCoreApplication::applicationPid());
    QFile::remove(scratch);
    if (!QTemporaryFile(m_dataDir + QStringLiteral("/.probe-XXXXXX")).open())
        throw DataFolderError(QStringLiteral("Data folder %1 is not writable").arg(m_dataDir));
    try {
        auto src = sqlite::Db::open(source, SQLITE_OPEN_READONLY, 5000, false);
        auto dst = sqlite::Db::open(scratch, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, 5000, false);
        sqlite3_backup* backup = sqlite3_backup_init(dst->handle(), "main", src->handle(), "main");
        if (!backup)
            dst->fail(QStringLiteral("restore from %1").arg(source));
        const int rc = sqlite3_backup_step(backup, -1);
        sqlite3_backup_finish(backup);
        if (rc != SQLITE_DONE)
            throw DbError(QStringLiteral("Restoring %1 from %2 failed: %3")
                              .arg(dbName, source, QString::fromUtf8(sqlite3_errstr(rc))));
        auto check = dst->prepare("SELECT count(*) FROM sqlite_master WHERE type='table' AND name='hz_procedures'");
        if (!check.step() || check.integer(0) == 0)
            throw CreationError(Why::TemplateMissing, source,
                                QStringLiteral("Template %1 is not an account-set database").arg(source));
    } catch (...) {
        QFile::remove(scratch);
        throw;
    }
    // Until hz_insertzt registers it, the marker says whose unfinished creation the file is.
    QFile marker(creationMarker(m_dataDir, dbName, QCoreApplication::applicationPid()));
    if (!marker.open(QIODevice::WriteOnly)) {
        QFile::remove(scratch);
        throw DataFolderError(QStringLiteral("Data folder %1 is not writable").arg(m_dataDir));
    }
    marker.close();
    if (QFileInfo::exists(databaseFile(dbName)) || !QFile::rename(scratch, m_dataDir + QLatin1Char('/') + dbName + QStringLiteral(".db"))) {
        QFile::remove(marker.fileName());
        QFile::remove(scratch);
        throw CreationError(Why::NameTaken, dbName,
                            QStringLiteral("Database \"%1\" already exists or cannot be created in %2").arg(dbName, m_dataDir));
    }
}

void EmbeddedEngine::abandonCreation(const QString& dbName)
{
    if (m_dataDir.isEmpty() || !IsPlainDatabaseName(dbName))
        return;
    // Only while our own marker says the file is our unregistered creation.
    const QString marker = creationMarker(m_dataDir, dbName, QCoreApplication::applicationPid());
    if (!QFileInfo::exists(marker))
        return;
    if (m_current.compare(dbName, Qt::CaseInsensitive) == 0)
        return;  // in use by this session: leave it to the next creation after this process
    const QString file = FindFileNoCase(m_dataDir, dbName + QStringLiteral(".db"));
    for (const char* side : {"", "-wal", "-shm"})
        QFile::remove(file + QLatin1String(side));
    QFile::remove(marker);
}

std::unique_ptr<Engine> makeEmbeddedEngine()
{
    return std::make_unique<EmbeddedEngine>();
}

}  // namespace corvanta
