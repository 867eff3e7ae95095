#include "engines/embedded/EmbeddedEngine.h"

#include "app/Sysdef.h"
#include "engines/DatabaseName.h"
#include "engines/EngineFactory.h"
#include "engines/embedded/EmbeddedProcedures.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <sqlite3.h>
#ifdef __linux__
#include <sys/resource.h>
#include <sys/syscall.h>
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
    if (!info.isWritable())
        throw DbError(QStringLiteral("Data folder %1 is not writable").arg(dir));
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
    if (m_checkpointer.joinable())
        m_checkpointer.join();
}

void EmbeddedEngine::close()
{
    joinCheckpoint();
    // An intake not consolidated dies with the connection, as the staging does.
    m_direct.reset();
    m_account.reset();
    m_master.reset();
    m_current.clear();
    m_bulk = false;
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
    db->exec(QStringLiteral("PRAGMA synchronous=NORMAL; PRAGMA cache_size=-16384;"));
    upgradeAccountSet(*db);
    db->exec(QString::fromUtf8(kStagingSql));
    m_direct.reset();
    m_account = std::move(db);
    m_current = name;
}

void EmbeddedEngine::execSql(const QString& text)
{
    quiesce();
    settleDirect();
    db().exec(text);
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

namespace {

bool isProc(const QString& name, const char* proc)
{
    return name.compare(QLatin1String(proc), Qt::CaseInsensitive) == 0;
}

std::string_view columnText(sqlite3_stmt* stmt, int col)
{
    const auto* p = reinterpret_cast<const char*>(sqlite3_column_text(stmt, col));
    return std::string_view(p ? p : "", size_t(sqlite3_column_bytes(stmt, col)));
}

}  // namespace

// An intake written straight into the tables.
struct EmbeddedEngine::Direct {
    explicit Direct(sqlite::Db& db)
        : outlets(db), checker([this](std::string_view key) { return outlets.contains(key); }), writer(db, true)
    {
    }
    embedded::OutletSet outlets;
    IntakeChecker checker;
    embedded::IntakeWriter writer;
    SalesRow salesRow;
    StockRow stockRow;
    // bulkCallText: position in the registered parameter list -> our parameter; empty when the
    // registration is not the one the fast form knows.
    std::optional<std::vector<int>> salesOrder, stockOrder;
    bool salesOrderKnown = false, stockOrderKnown = false;
    QString lastName;  // of the last fast call, found registered
    bool lastSales = false;
};

void EmbeddedEngine::startDirect()
{
    m_direct = std::make_unique<Direct>(*m_account);
}

void EmbeddedEngine::dropDirect()
{
    if (!m_direct)
        return;
    m_direct.reset();
    if (m_account && m_account->inTransaction()) {
        try {
            m_account->exec(QStringLiteral("ROLLBACK"));
        } catch (const DbError&) {
        }
    }
}

void EmbeddedEngine::settleDirect()
{
    if (!m_direct)
        return;
    try {
        m_direct->writer.unstageSales();
        m_direct->writer.unstageStock();
    } catch (...) {
        dropDirect();
        throw;
    }
    m_direct.reset();
    if (!m_bulk && m_account && m_account->inTransaction())
        m_account->exec(QStringLiteral("COMMIT"));
}

void EmbeddedEngine::beforeCall(const QString& name)
{
    if (!m_direct)
        return;
    if (isProc(name, "hz_AddSales") || isProc(name, "hz_AddStock"))
        return;
    if (m_bulk && (isProc(name, "hz_InsertSales") || isProc(name, "hz_InsertStock")))
        return;
    if (isProc(name, "hz_deleSales")) {
        dropDirect();  // the staging is emptied anyway
        return;
    }
    settleDirect();
}

void EmbeddedEngine::quiesce()
{
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
    beforeCall(name);
    sqlite::Db& d = db();
    if (m_direct && m_bulk) {
        // A refused line leaves no trace. A database error may have cost lines written before
        // it: the whole intake goes, so that no part of it can be consolidated.
        try {
            return def->body(*this, args);
        } catch (...) {
            dropDirect();
            throw;
        }
    }
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

std::optional<qlonglong> EmbeddedEngine::bulkCallText(const QString& name, std::span<const std::string_view> values)
{
    if (!m_direct || !m_bulk)
        return std::nullopt;
    Direct& d = *m_direct;
    // The same name as the last call (the common case) needs no lookup.
    bool sales = d.lastSales;
    if (name != d.lastName) {
        sales = isProc(name, "hz_InsertSales");
        if (!sales && !isProc(name, "hz_InsertStock"))
            return std::nullopt;
        if (!m_bulkChecked.contains(name, Qt::CaseInsensitive)) {
            procedureParams(name);
            m_bulkChecked.append(name);
        }
        d.lastName = name;
        d.lastSales = sales;
    }
    bool& known = sales ? d.salesOrderKnown : d.stockOrderKnown;
    std::optional<std::vector<int>>& order = sales ? d.salesOrder : d.stockOrder;
    if (!known) {
        known = true;
        const std::span<const char* const> ours = sales ? std::span<const char* const>(kInsertSalesParamNames)
                                                        : std::span<const char* const>(kInsertStockParamNames);
        std::vector<int> map;
        std::vector<bool> seen(ours.size(), false);
        for (const ParamInfo& p : procedureParams(name)) {
            if (p.direction != ParamDirection::Input)
                continue;
            int found = -1;
            for (size_t i = 0; i < ours.size(); ++i)
                if (p.name.compare(QLatin1String(ours[i]), Qt::CaseInsensitive) == 0)
                    found = int(i);
            if (found < 0 || seen[size_t(found)] || p.type != ParamType::Text) {
                map.clear();
                break;
            }
            seen[size_t(found)] = true;
            map.push_back(found);
        }
        if (map.size() == ours.size())
            order = std::move(map);
    }
    if (!order || order->size() != values.size())
        return std::nullopt;
    try {
        if (sales) {
            SalesValues v{};
            for (size_t i = 0; i < values.size(); ++i)
                v[size_t((*order)[i])] = values[i];
            return intakeSales(v);
        }
        StockValues v{};
        for (size_t i = 0; i < values.size(); ++i)
            v[size_t((*order)[i])] = values[i];
        return intakeStock(v);
    } catch (...) {
        dropDirect();
        throw;
    }
}

IntakeChecker EmbeddedEngine::outletChecker()
{
    // One call at a time: the outlet is looked up in the database, not in a loaded set.
    return IntakeChecker([this](std::string_view key) {
        auto q = db().prepare("SELECT 1 FROM outlets WHERE idkey = ?1");
        q.bindUtf8(1, key);
        return q.step();
    });
}

qlonglong EmbeddedEngine::intakeSales(const SalesValues& values)
{
    if (m_direct && m_bulk) {
        const int rc = m_direct->checker.sales(values, m_direct->salesRow);
        if (rc == 0)
            m_direct->writer.addSales(m_direct->salesRow);
        return rc;
    }
    sqlite::Db& d = db();
    IntakeChecker checker = outletChecker();
    SalesRow row;
    const int rc = checker.sales(values, row);
    if (rc != 0)
        return rc;
    d.prepare("INSERT INTO temp.stage_sales(ID, USERCODE, PTYPENAME, STANDARD, TYPE, UNIT, AREA, DATE, QTY, TOTAL, "
              "COSTTOTAL, VCHTYPE) VALUES(?1, ?2, ?3, ?4, ?5, ?6, ?7, ?8, ?9, ?10, ?11, ?12)")
        .bindUtf8(1, row.id)
        .bindUtf8(2, row.usercode)
        .bindUtf8(3, row.ptypename)
        .bindUtf8(4, row.standard)
        .bindUtf8(5, row.type)
        .bindUtf8(6, row.unit)
        .bindUtf8(7, row.area)
        .bindUtf8(8, row.day.view())
        .bindInt(9, row.qty)
        .bindInt(10, row.total)
        .bindInt(11, row.cost)
        .bindInt(12, row.vchType)
        .run();
    return 0;
}

qlonglong EmbeddedEngine::intakeStock(const StockValues& values)
{
    if (m_direct && m_bulk) {
        const int rc = m_direct->checker.stock(values, m_direct->stockRow);
        if (rc == 0)
            m_direct->writer.addStock(m_direct->stockRow);
        return rc;
    }
    sqlite::Db& d = db();
    IntakeChecker checker = outletChecker();
    StockRow row;
    const int rc = checker.stock(values, row);
    if (rc != 0)
        return rc;
    d.prepare("INSERT INTO temp.stage_stock(ID, USERCODE, PTYPENAME, STANDARD, TYPE, UNIT, AREA, KCQTY, KCTOTAL) "
              "VALUES(?1, ?2, ?3, ?4, ?5, ?6, ?7, ?8, ?9)")
        .bindUtf8(1, row.id)
        .bindUtf8(2, row.usercode)
        .bindUtf8(3, row.ptypename)
        .bindUtf8(4, row.standard)
        .bindUtf8(5, row.type)
        .bindUtf8(6, row.unit)
        .bindUtf8(7, row.area)
        .bindInt(8, row.qty)
        .bindInt(9, row.total)
        .run();
    return 0;
}

void EmbeddedEngine::clearStaging()
{
    dropDirect();
    db().exec(QStringLiteral("DELETE FROM temp.stage_sales; DELETE FROM temp.stage_stock;"));
}

void EmbeddedEngine::consolidate(bool sales)
{
    sqlite::Db& d = db();
    if (m_direct) {
        // The lines are in place: remove what they replace and commit. Lines of the other kind
        // are not consolidated; they go back to the staging.
        try {
            if (sales) {
                m_direct->writer.unstageStock();
                m_direct->writer.replaceSales();
            } else {
                m_direct->writer.unstageSales();
                m_direct->writer.replaceStock();
            }
        } catch (...) {
            dropDirect();
            throw;
        }
        m_direct.reset();
        // The WAL pages go into the database file on a connection of their own after the commit:
        // the import is safe once COMMIT has returned, the copy need not hold up the caller.
        sqlite3_wal_autocheckpoint(d.handle(), 0);
        try {
            d.exec(QStringLiteral("COMMIT"));
        } catch (...) {
            sqlite3_wal_autocheckpoint(d.handle(), 1000);
            throw;
        }
        sqlite3_wal_autocheckpoint(d.handle(), 1000);
        startCheckpoint();
        if (m_bulk) {
            m_bulk = false;
            beginBulk();
        }
        return;
    }

    const bool own = !d.inTransaction();
    if (own)
        d.exec(QStringLiteral("BEGIN IMMEDIATE"));
    try {
        embedded::IntakeWriter writer(d);
        if (sales) {
            embedded::Statement q(d, "SELECT ID, USERCODE, PTYPENAME, STANDARD, TYPE, UNIT, AREA, DATE, QTY, TOTAL, "
                                     "COSTTOTAL, VCHTYPE FROM temp.stage_sales ORDER BY seq");
            sqlite3_stmt* s = q.get();
            while (q.step()) {
                SalesRow row;
                row.id = columnText(s, 0);
                row.usercode = columnText(s, 1);
                row.ptypename = columnText(s, 2);
                row.standard = columnText(s, 3);
                row.type = columnText(s, 4);
                row.unit = columnText(s, 5);
                row.area = columnText(s, 6);
                const std::optional<Day> day = ParseDay(columnText(s, 7));
                if (!day)
                    throw DbError(QStringLiteral("A staged sales line has no valid date"));
                row.day = *day;
                row.qty = sqlite3_column_int64(s, 8);
                row.total = sqlite3_column_int64(s, 9);
                row.cost = sqlite3_column_int64(s, 10);
                row.vchType = sqlite3_column_int(s, 11);
                writer.addSales(row);
            }
            writer.replaceSales();
            d.exec(QStringLiteral("DELETE FROM temp.stage_sales"));
        } else {
            embedded::Statement q(d, "SELECT ID, USERCODE, PTYPENAME, STANDARD, TYPE, UNIT, AREA, KCQTY, KCTOTAL "
                                     "FROM temp.stage_stock ORDER BY seq");
            sqlite3_stmt* s = q.get();
            while (q.step()) {
                StockRow row;
                row.id = columnText(s, 0);
                row.usercode = columnText(s, 1);
                row.ptypename = columnText(s, 2);
                row.standard = columnText(s, 3);
                row.type = columnText(s, 4);
                row.unit = columnText(s, 5);
                row.area = columnText(s, 6);
                row.qty = sqlite3_column_int64(s, 7);
                row.total = sqlite3_column_int64(s, 8);
                writer.addStock(row);
            }
            writer.replaceStock();
            d.exec(QStringLiteral("DELETE FROM temp.stage_stock"));
        }
    } catch (...) {
        if (own && d.inTransaction()) {
            try {
                d.exec(QStringLiteral("ROLLBACK"));
            } catch (const DbError&) {
            }
        }
        throw;
    }
    if (own)
        d.exec(QStringLiteral("COMMIT"));
}

void EmbeddedEngine::beginBulk()
{
    if (!m_account)
        return;
    if (m_direct)
        settleDirect();
    if (m_account->inTransaction())
        return;
    bool staged = true;
    {
        auto q = m_account->prepare(
            "SELECT EXISTS(SELECT 1 FROM temp.stage_sales) OR EXISTS(SELECT 1 FROM temp.stage_stock)");
        staged = q.step() && q.integer(0) != 0;
    }
    // Straight into the tables only from an empty staging, so the order of the lines is kept.
    m_account->exec(staged ? QStringLiteral("BEGIN") : QStringLiteral("BEGIN IMMEDIATE"));
    m_bulk = true;
    m_bulkChecked.clear();
    if (!staged) {
        try {
            startDirect();
        } catch (...) {
            m_bulk = false;
            m_direct.reset();
            m_account->exec(QStringLiteral("ROLLBACK"));
            throw;
        }
    }
}

void EmbeddedEngine::endBulk()
{
    if (!m_bulk)
        return;
    m_bulk = false;
    m_bulkChecked.clear();
    quiesce();
    if (m_direct && (m_direct->writer.hasSales() || m_direct->writer.hasStock()))
        return;  // awaits the consolidation (or the next call puts the lines into the staging)
    m_direct.reset();
    if (m_account && m_account->inTransaction())
        m_account->exec(QStringLiteral("COMMIT"));
}

void EmbeddedEngine::restoreTemplate(const QString& dbName)
{
    if (!m_master)
        throw DbError(QStringLiteral("The connection is not open"));
    ValidateDatabaseName(dbName);
    if (isMasterName(dbName))
        throw DbError(QStringLiteral("Database \"%1\" already exists").arg(dbName));
    const QString source = FindFileNoCase(m_dataDir, QStringLiteral("tavikhz"));
    if (!QFileInfo(source).isFile())
        throw DbError(QStringLiteral("Template %1 is missing").arg(source));
    const QString target = databaseFile(dbName);
    if (QFileInfo::exists(target))
        throw DbError(QStringLiteral("Database \"%1\" already exists (%2)").arg(dbName, target));

    // Copy into a scratch file first, so a half-made database never carries the real name.
    const QString scratch = m_dataDir + QStringLiteral("/.%1.restoring-%2")
                                            .arg(dbName)
                                            .arg(QCoreApplication::applicationPid());
    QFile::remove(scratch);
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
            throw DbError(QStringLiteral("Template %1 is not an account-set database").arg(source));
    } catch (...) {
        QFile::remove(scratch);
        throw;
    }
    if (QFileInfo::exists(databaseFile(dbName)) || !QFile::rename(scratch, m_dataDir + QLatin1Char('/') + dbName + QStringLiteral(".db"))) {
        QFile::remove(scratch);
        throw DbError(QStringLiteral("Database \"%1\" already exists or cannot be created in %2").arg(dbName, m_dataDir));
    }
}

std::unique_ptr<Engine> makeEmbeddedEngine()
{
    return std::make_unique<EmbeddedEngine>();
}

}  // namespace corvanta
