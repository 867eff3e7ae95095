// The embedded engine's import intake: the session (begin, lines, consolidation, abandon), the
// bulk transaction it runs in, the direct path straight into the tables and the staging path of
// the intake procedures' bodies. The writer itself is EmbeddedIntake.cpp.
#include "engines/embedded/EmbeddedEngine.h"

#include "engines/EngineIntakeSession.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <sqlite3.h>
#include <cerrno>
#include <csignal>

namespace corvanta {

namespace {

constexpr int kIntakeLockTryMs = 250;
constexpr int kBusyTimeoutMs = 5000;  // as every connection opens (Sqlite.h)

}  // namespace

// ---- the session ----------------------------------------------------------------------------

// The lines of an abandoned session stay where they are until the next call puts them into the
// staging (or a consolidation takes them), as line-by-line calls would have left them.
class EmbeddedEngine::Session final : public EngineIntakeSession<EmbeddedEngine> {
public:
    using EngineIntakeSession::EngineIntakeSession;

    int add(IntakeKind kind, std::span<const std::string_view> values) override
    {
        EmbeddedEngine& e = engine();
        checkValues(kind, values);
        try {
            if (kind == IntakeKind::Sales) {
                SalesValues v;
                std::copy(values.begin(), values.end(), v.begin());
                return int(e.intakeSales(v));
            }
            StockValues v;
            std::copy(values.begin(), values.end(), v.begin());
            return int(e.intakeStock(v));
        } catch (...) {
            // A database error may have cost lines written before it: the whole intake goes,
            // so that no part of it can be consolidated.
            e.dropDirect();
            throw;
        }
    }

    std::optional<int> consolidate(bool sales, bool stock) override
    {
        EmbeddedEngine& e = engine();
        e.endBulk();
        e.quiesce();
        // The staged lines too: both kinds in one transaction, which two procedure calls are not.
        e.consolidate(sales, stock);
        return 0;
    }
};

std::unique_ptr<IntakeSession> EmbeddedEngine::beginIntake()
{
    if (!m_account)
        return nullptr;
    if (m_session)
        m_session->abandon();
    quiesce();
    beginBulk(true);
    return std::make_unique<Session>(*this);
}

void EmbeddedEngine::resetIntake()
{
    clearImportRecord();
    if (m_session)
        m_session->detach();
    m_direct.reset();
    m_bulk = false;
    m_bulkChecked.clear();
}

// ---- the direct path --------------------------------------------------------------------------

void EmbeddedEngine::startDirect()
{
    m_direct = std::make_unique<embedded::DirectIntake>(*m_account);
}

void EmbeddedEngine::dropDirect()
{
    clearImportRecord();
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

void EmbeddedEngine::beforeCall()
{
    settleDirect();
}

// ---- lines and consolidation -------------------------------------------------------------------

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

void EmbeddedEngine::consolidate(bool sales, bool stock)
{
    sqlite::Db& d = db();
    if (m_direct) {
        // The lines are in place: remove what they replace and commit, both kinds at once. Lines
        // of a kind not asked for are not consolidated; they go back to the staging.
        try {
            if (!stock)
                m_direct->writer.unstageStock();
            if (!sales)
                m_direct->writer.unstageSales();
            if (sales)
                m_direct->writer.replaceSales();
            if (stock)
                m_direct->writer.replaceStock();
        } catch (...) {
            dropDirect();
            throw;
        }
        m_direct.reset();
        // The WAL pages go into the database file on a connection of their own after the commit:
        // the import is safe once COMMIT has returned, the copy need not hold up the caller. The
        // caller's next commits (the import's history record) do not copy them again meanwhile:
        // automatic checkpoints come back when that connection is joined.
        sqlite3_wal_autocheckpoint(d.handle(), 0);
        try {
            d.exec(QStringLiteral("COMMIT"));
        } catch (...) {
            sqlite3_wal_autocheckpoint(d.handle(), 1000);
            throw;
        }
        clearImportRecord();
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
            sqlite::Query q = d.compile("SELECT ID, USERCODE, PTYPENAME, STANDARD, TYPE, UNIT, AREA, DATE, QTY, TOTAL, "
                                        "COSTTOTAL, VCHTYPE FROM temp.stage_sales ORDER BY seq");
            while (q.step()) {
                SalesRow row;
                row.id = q.bytes(0);
                row.usercode = q.bytes(1);
                row.ptypename = q.bytes(2);
                row.standard = q.bytes(3);
                row.type = q.bytes(4);
                row.unit = q.bytes(5);
                row.area = q.bytes(6);
                const std::optional<Day> day = ParseDay(q.bytes(7));
                if (!day)
                    throw DbError(QStringLiteral("A staged sales line has no valid date"));
                row.day = *day;
                row.qty = q.integer(8);
                row.total = q.integer(9);
                row.cost = q.integer(10);
                row.vchType = int(q.integer(11));
                writer.addSales(row);
            }
            writer.replaceSales();
            d.exec(QStringLiteral("DELETE FROM temp.stage_sales"));
        }
        if (stock) {
            sqlite::Query q = d.compile("SELECT ID, USERCODE, PTYPENAME, STANDARD, TYPE, UNIT, AREA, KCQTY, KCTOTAL "
                                        "FROM temp.stage_stock ORDER BY seq");
            while (q.step()) {
                StockRow row;
                row.id = q.bytes(0);
                row.usercode = q.bytes(1);
                row.ptypename = q.bytes(2);
                row.standard = q.bytes(3);
                row.type = q.bytes(4);
                row.unit = q.bytes(5);
                row.area = q.bytes(6);
                row.qty = q.integer(7);
                row.total = q.integer(8);
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
    clearImportRecord();
}

void EmbeddedEngine::beginBulk(bool forIntake)
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
    if (forIntake) {
        // An import holds the write lock until its consolidation, which may take minutes: the
        // caller decides how to wait, so a short try here (short writes of others get through).
        sqlite3* h = m_account->handle();
        sqlite3_busy_timeout(h, kIntakeLockTryMs);
        const int rc = sqlite3_exec(h, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr);
        sqlite3_busy_timeout(h, kBusyTimeoutMs);
        if (rc == SQLITE_BUSY) {
            const QDateTime since = otherImportStart();
            throw ImportBusyError(since, QStringLiteral("Another import is writing %1%2")
                                             .arg(m_current,
                                                  since.isValid() ? QStringLiteral(" (since %1)").arg(since.toString(Qt::ISODate))
                                                                  : QString()));
        }
        if (rc != SQLITE_OK)
            m_account->fail(QStringLiteral("BEGIN IMMEDIATE"));
        writeImportRecord();
    } else {
        // Straight into the tables only from an empty staging, so the order of the lines is kept.
        m_account->exec(staged ? QStringLiteral("BEGIN") : QStringLiteral("BEGIN IMMEDIATE"));
    }
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

QString EmbeddedEngine::importRecordPath() const
{
    return m_dataDir + QStringLiteral("/.%1.import-%2")
                           .arg(QFileInfo(m_account->path()).completeBaseName())
                           .arg(QCoreApplication::applicationPid());
}

void EmbeddedEngine::writeImportRecord()
{
    QFile f(importRecordPath());
    if (f.open(QIODevice::WriteOnly | QIODevice::Truncate))
        f.write(QDateTime::currentDateTime().toString(Qt::ISODateWithMs).toUtf8());
}

void EmbeddedEngine::clearImportRecord()
{
    if (m_account)
        QFile::remove(importRecordPath());
}

QDateTime EmbeddedEngine::otherImportStart() const
{
    QDateTime newest;
    QDir dir(m_dataDir);
    const QString base = QFileInfo(m_account->path()).completeBaseName();
    for (const QString& name : dir.entryList({QStringLiteral(".%1.import-*").arg(base)}, QDir::Files | QDir::Hidden)) {
        bool ok = false;
        const qint64 pid = name.section(QLatin1Char('-'), -1).toLongLong(&ok);
        if (!ok || pid == QCoreApplication::applicationPid())
            continue;
        if (::kill(pid_t(pid), 0) != 0 && errno == ESRCH) {
            dir.remove(name);  // a killed import's
            continue;
        }
        QFile f(dir.filePath(name));
        if (!f.open(QIODevice::ReadOnly))
            continue;
        const QDateTime t = QDateTime::fromString(QString::fromUtf8(f.read(64)).trimmed(), Qt::ISODateWithMs);
        if (t.isValid() && (!newest.isValid() || t > newest))
            newest = t;
    }
    return newest;
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
    clearImportRecord();
    if (m_account && m_account->inTransaction())
        m_account->exec(QStringLiteral("COMMIT"));
}

}  // namespace corvanta
