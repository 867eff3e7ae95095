#include "engines/embedded/EmbeddedProcedures.h"

#include "base/Values.h"
#include "engines/DatabaseName.h"
#include "engines/embedded/EmbeddedEngine.h"
#include "engines/embedded/EmbeddedProcedureSupport.h"
#include "engines/embedded/SalesSeq.h"
#include "engines/embedded/SalesSummary.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <sqlite3.h>

#include <algorithm>
#include <array>
#include <charconv>
#include <string>
#include <tuple>
#include <unordered_map>

namespace corvanta {

namespace embedded {

CallResult ret(qlonglong v)
{
    CallResult r;
    r.returnValue = v;
    return r;
}

Rowset readRows(sqlite::Query& q, const QStringList& fields, const std::vector<Col>& kinds)
{
    Rowset rs;
    rs.fields = fields;
    while (q.step()) {
        QVariantList row;
        row.reserve(fields.size());
        for (int i = 0; i < int(kinds.size()); ++i) {
            if (q.isNull(i)) {
                row.append(QVariant());
                continue;
            }
            switch (kinds[size_t(i)]) {
            case Col::Text: row.append(q.text(i)); break;
            case Col::Int: row.append(QVariant(qlonglong(q.integer(i)))); break;
            case Col::Dec: row.append(scaled::format(q.integer(i))); break;
            }
        }
        rs.rows.push_back(std::move(row));
    }
    return rs;
}

// A scaled integer as its minimal decimal text (the bytes of scaled::format), into buf.
std::string_view scaledText(qint64 value, std::array<char, 32>& out)
{
    char* buf = out.data();
    const bool negative = value < 0;
    const quint64 mag = negative ? quint64(0) - quint64(value) : quint64(value);
    char* p = buf;
    if (negative)
        *p++ = '-';
    p = std::to_chars(p, buf + out.size(), mag / quint64(scaled::kUnit)).ptr;
    quint64 frac = mag % quint64(scaled::kUnit);
    if (frac) {
        int digits = scaled::kFractionDigits;
        while (frac % 10 == 0) {
            frac /= 10;
            --digits;
        }
        *p++ = '.';
        char tmp[8];
        const char* e = std::to_chars(tmp, tmp + sizeof tmp, frac).ptr;
        for (int pad = digits - int(e - tmp); pad > 0; --pad)
            *p++ = '0';
        for (const char* t = tmp; t < e; ++t)
            *p++ = *t;
    }
    return std::string_view(buf, std::size_t(p - buf));
}

// Like readRows, for long results: the rowset in text form, values as UTF-8 bytes.
Rowset readText(sqlite::Query& q, const QStringList& fields, const std::vector<Col>& kinds, std::size_t expectedRows)
{
    Rowset rs;
    rs.fields = fields;
    CellStore store(int(kinds.size()));
    std::vector<std::string_view> views(kinds.size());
    std::vector<std::array<char, 32>> bufs(kinds.size());
    constexpr int kSampleRows = 1024;
    while (q.step()) {
        if (store.rowCount() == kSampleRows && expectedRows > std::size_t(2 * kSampleRows))
            store.reserveLikeSoFar(expectedRows);
        for (std::size_t i = 0; i < kinds.size(); ++i) {
            const int c = int(i);
            if (kinds[i] == Col::Text) {  // NULL reads as no bytes
                views[i] = q.bytes(c);
                continue;
            }
            const std::optional<qint64> v = q.integerOrNull(c);
            if (!v) {
                views[i] = {};
                continue;
            }
            char* buf = bufs[i].data();
            switch (kinds[i]) {
            case Col::Text: break;
            case Col::Int:
                views[i] = std::string_view(buf, std::size_t(std::to_chars(buf, buf + 32, *v).ptr - buf));
                break;
            case Col::Dec: views[i] = scaledText(*v, bufs[i]); break;
            }
        }
        store.appendRow(views);
    }
    rs.text = std::move(store);
    return rs;
}


CallResult rows(Rowset rs, qlonglong rv)
{
    CallResult r;
    r.rowset = std::move(rs);
    r.returnValue = rv;
    return r;
}

QVariant outletNumber(const QString& key)
{
    bool ok = false;
    const qlonglong v = key.toLongLong(&ok, 10);
    return ok ? QVariant(v) : QVariant();
}

sqlite::Db& accountDb(EmbeddedEngine& e)
{
    if (e.inMaster())
        throw DbError(QStringLiteral("This procedure runs in an account-set database, not in master"));
    return e.db();
}

}  // namespace embedded

using namespace embedded;
using sqlite::Query;

namespace {

// 2: sales clustered by day. 3: the import history. 4: the summary's line count and amount per
// outlet day. 5: their index.
constexpr int kSchemaVersion = 5;

const char* const kImportLogTableSql =
    "CREATE TABLE IF NOT EXISTS import_log("
    "  seq INTEGER PRIMARY KEY, RUNTIME TEXT NOT NULL, FILENAME TEXT NOT NULL, FILESIZE INTEGER, SHA256 TEXT, "
    "  KINDS TEXT, LINES INTEGER, OUTCOME TEXT NOT NULL, REASON TEXT, COMPUTER TEXT, DBUSER TEXT);"
    // The outlets whose stock a successful run imported.
    "CREATE TABLE IF NOT EXISTS import_stock(seq INTEGER NOT NULL, ID TEXT NOT NULL);"
    "CREATE INDEX IF NOT EXISTS import_stock_id ON import_stock(ID);";

// ---- master ------------------------------------------------------------------------------

CallResult hz_getzt(EmbeddedEngine& e, const ProcArgs&)
{
    auto q = e.db().prepare("SELECT sysid, sysname, dbname FROM SyshzZt ORDER BY sysid");
    return rows(readRows(q, {QStringLiteral("SYSID"), QStringLiteral("SYSNAME"), QStringLiteral("DBNAME")},
                         {Col::Int, Col::Text, Col::Text}));
}

CallResult hz_insertzt(EmbeddedEngine& e, const ProcArgs& a)
{
    const QString dbName = a.trimmed("@dbName");
    if (!IsPlainDatabaseName(dbName))
        return ret(-1);
    sqlite::Db& db = e.db();
    sqlite::Transaction tx(db);
    {
        auto q = db.prepare("SELECT 1 FROM SyshzZt WHERE dbname = ?1 COLLATE NOCASE");
        q.bindText(1, dbName);
        if (q.step())
            return ret(-1);
    }
    db.prepare("INSERT INTO SyshzZt(sysname, dbname) VALUES(?1, ?2)").bindText(1, a.text("@szSYSname")).bindText(2, dbName).run();
    tx.commit();
    QFile::remove(creationMarker(e.dataDir(), dbName, QCoreApplication::applicationPid()));
    return ret(0);
}

// Takes the database out of service: its file moves to data/deleted/ under a time-stamped name.
CallResult hz_DeleteZt(EmbeddedEngine& e, const ProcArgs& a)
{
    const std::optional<qint64> id = a.integer("@ztid");
    if (!id)
        return ret(-2);
    sqlite::Db& db = e.db();
    sqlite::Transaction tx(db);
    QString dbName;
    {
        auto q = db.prepare("SELECT dbname FROM SyshzZt WHERE sysid = ?1");
        q.bindInt(1, *id);
        if (!q.step())
            return ret(-2);  // not (or no longer) in the catalogue
        dbName = q.text(0).trimmed();
    }
    db.prepare("DELETE FROM SyshzZt WHERE sysid = ?1").bindInt(1, *id).run();

    const QString file = IsPlainDatabaseName(dbName) ? e.databaseFile(dbName) : QString();
    if (!file.isEmpty() && QFileInfo(file).isFile()) {
        // An exclusive lock is refused while any other connection has the database open.
        {
            std::unique_ptr<sqlite::Db> probe = sqlite::Db::open(file, SQLITE_OPEN_READWRITE, 0, false);
            try {
                probe->exec(QStringLiteral("PRAGMA locking_mode=EXCLUSIVE; BEGIN EXCLUSIVE; COMMIT;"));
            } catch (const DbError&) {
                throw DbError(QStringLiteral("Database \"%1\" is in use by another client and cannot be deleted")
                                  .arg(dbName));
            }
        }
        const QString deletedDir = e.dataDir() + QStringLiteral("/deleted");
        if (!QDir().mkpath(deletedDir))
            throw DbError(QStringLiteral("Cannot create folder %1").arg(deletedDir));
        const QString stamp = QDateTime::currentDateTime().toString(QStringLiteral("yyyyMMdd-HHmmss-zzz"));
        const QString target = deletedDir + QLatin1Char('/') + QFileInfo(file).completeBaseName() + QLatin1Char('-')
                               + stamp + QStringLiteral(".db");
        if (!QFile::rename(file, target))
            throw DbError(QStringLiteral("Cannot move %1 to %2").arg(file, target));
        for (const char* side : {"-wal", "-shm"})
            if (QFileInfo::exists(file + QLatin1String(side)))
                QFile::rename(file + QLatin1String(side), target + QLatin1String(side));
    }
    tx.commit();
    return ret(0);
}

// ---- outlets ------------------------------------------------------------------------------

CallResult hz_GetNet(EmbeddedEngine& e, const ProcArgs&)
{
    auto q = accountDb(e).prepare(
        "SELECT ID, AGENTNAME, AGENTTYPE, TELEPHONE, FAX, LINKMAN, ADDRESS FROM outlets "
        "ORDER BY idnum IS NULL, idnum, idkey");
    return rows(readRows(q,
                         {QStringLiteral("ID"), QStringLiteral("AGENTNAME"), QStringLiteral("AGENTTYPE"),
                          QStringLiteral("TELEPHONE"), QStringLiteral("FAX"), QStringLiteral("LINKMAN"),
                          QStringLiteral("ADDRESS")},
                         std::vector<Col>(7, Col::Text)));
}

// The stored key of the outlet a typed number names: 0101 and +101 name outlet 101.
std::optional<QString> storedOutletKey(sqlite::Db& db, const QString& key)
{
    auto q = db.prepare("SELECT idkey FROM outlets WHERE idkey = ?1 OR (?2 IS NOT NULL AND idnum = ?2) "
                        "ORDER BY idkey = ?1 DESC LIMIT 1");
    q.bindText(1, key);
    q.bind(2, outletNumber(key));
    if (!q.step())
        return std::nullopt;
    return q.text(0);
}

CallResult hz_InsertNet(EmbeddedEngine& e, const ProcArgs& a)
{
    sqlite::Db& db = accountDb(e);
    const QString key = a.trimmed("@ID");
    if (key.isEmpty() || a.trimmed("@AGENTNAME").isEmpty())
        return ret(-1);
    sqlite::Transaction tx(db);
    if (storedOutletKey(db, key))
        return ret(-2);
    db.prepare("INSERT INTO outlets(ID, idkey, idnum, AGENTNAME, AGENTTYPE, TELEPHONE, FAX, ADDRESS, LINKMAN) "
               "VALUES(?1, ?2, ?3, ?4, ?5, ?6, ?7, ?8, ?9)")
        .bindText(1, a.text("@ID"))
        .bindText(2, key)
        .bind(3, outletNumber(key))
        .bindText(4, a.text("@AGENTNAME"))
        .bindText(5, a.text("@AGENTTYPE"))
        .bindText(6, a.text("@TELEPHONE"))
        .bindText(7, a.text("@FAX"))
        .bindText(8, a.text("@ADDRESS"))
        .bindText(9, a.text("@LINKMAN"))
        .run();
    tx.commit();
    return ret(0);
}

// The outlet number itself never changes; -1 when the outlet no longer exists.
CallResult hz_ModiNet(EmbeddedEngine& e, const ProcArgs& a)
{
    sqlite::Db& db = accountDb(e);
    const QString typed = a.trimmed("@ID");
    if (typed.isEmpty() || a.trimmed("@AGENTNAME").isEmpty())
        return ret(-1);
    const QString key = storedOutletKey(db, typed).value_or(typed);
    db.prepare("UPDATE outlets SET AGENTNAME = ?2, AGENTTYPE = ?3, TELEPHONE = ?4, FAX = ?5, ADDRESS = ?6, "
               "LINKMAN = ?7 WHERE idkey = ?1")
        .bindText(1, key)
        .bindText(2, a.text("@AGENTNAME"))
        .bindText(3, a.text("@AGENTTYPE"))
        .bindText(4, a.text("@TELEPHONE"))
        .bindText(5, a.text("@FAX"))
        .bindText(6, a.text("@ADDRESS"))
        .bindText(7, a.text("@LINKMAN"))
        .run();
    return ret(db.changes() == 1 ? 0 : -1);
}

// -1 while sales or stock lines refer to the outlet: deleting it would orphan them; -2 when
// there is no such outlet.
CallResult hz_deleteNet(EmbeddedEngine& e, const ProcArgs& a)
{
    sqlite::Db& db = accountDb(e);
    sqlite::Transaction tx(db);
    const std::optional<QString> stored = storedOutletKey(db, a.trimmed("@ID"));
    if (!stored)
        return ret(-2);
    const QString key = *stored;
    {
        auto q = db.prepare("SELECT EXISTS(SELECT 1 FROM sales WHERE ID = ?1) OR EXISTS(SELECT 1 FROM stock WHERE ID = ?1)");
        q.bindText(1, key);
        if (q.step() && q.integer(0) != 0)
            return ret(-1);
    }
    db.prepare("DELETE FROM outlets WHERE idkey = ?1").bindText(1, key).run();
    tx.commit();
    return ret(0);
}

// ---- import ------------------------------------------------------------------------------

CallResult hz_deleSales(EmbeddedEngine& e, const ProcArgs&)
{
    accountDb(e);
    e.clearStaging();
    return ret(0);
}

// The values of a call as UTF-8, in registration order.
template <size_t N>
struct Utf8Values {
    Utf8Values(const ProcArgs& a, const std::array<const char*, N>& names)
    {
        for (size_t i = 0; i < N; ++i) {
            bytes[i] = a.text(names[i]).toUtf8();
            views[i] = std::string_view(bytes[i].constData(), size_t(bytes[i].size()));
        }
    }
    std::array<QByteArray, N> bytes;
    std::array<std::string_view, N> views;
};

CallResult hz_InsertSales(EmbeddedEngine& e, const ProcArgs& a)
{
    accountDb(e);
    const Utf8Values<kSalesParams> v(a, kInsertSalesParamNames);
    return ret(e.intakeSales(v.views));
}

CallResult hz_InsertStock(EmbeddedEngine& e, const ProcArgs& a)
{
    accountDb(e);
    const Utf8Values<kStockParams> v(a, kInsertStockParamNames);
    return ret(e.intakeStock(v.views));
}

// One transaction: the staged lines replace the stored lines of the same outlets and dates.
CallResult hz_AddSales(EmbeddedEngine& e, const ProcArgs&)
{
    accountDb(e);
    e.consolidate(true, false);
    return ret(0);
}

// One transaction: the staged lines replace all stock lines of their outlets.
CallResult hz_AddStock(EmbeddedEngine& e, const ProcArgs&)
{
    accountDb(e);
    e.consolidate(false, true);
    return ret(0);
}

// ---- import history ----------------------------------------------------------------------

// One row per run, stamped with the local time of the machine that holds the account set.
// stockOutlets: the outlets of the run's stock lines, one a line (hz_AddImportRecord).
CallResult addImportLog(EmbeddedEngine& e, const ProcArgs& a, const QString& stockOutlets)
{
    sqlite::Db& db = accountDb(e);
    const QString fileName = a.text("@FileName");
    const QString outcome = a.trimmed("@Outcome");
    if (fileName.isEmpty() || outcome.isEmpty())
        return ret(-1);
    sqlite::Transaction tx(db);
    db.prepare("INSERT INTO import_log(RUNTIME, FILENAME, FILESIZE, SHA256, KINDS, LINES, OUTCOME, REASON, COMPUTER, "
               "DBUSER) VALUES(?1, ?2, ?3, ?4, ?5, ?6, ?7, ?8, ?9, ?10)")
        .bindText(1, QDateTime::currentDateTime().toString(QStringLiteral("yyyy-MM-dd HH:mm:ss")))
        .bindText(2, fileName)
        .bind(3, a.value("@FileSize"))
        .bindText(4, a.text("@Sha256"))
        .bindText(5, a.text("@Kinds"))
        .bind(6, a.value("@Lines"))
        .bindText(7, outcome)
        .bindText(8, a.text("@Reason"))
        .bindText(9, a.text("@Computer"))
        .bindText(10, a.text("@DbUser"))
        .run();
    const qint64 seq = sqlite3_last_insert_rowid(db.handle());
    for (const QString& id : stockOutlets.split(QLatin1Char('\n'), Qt::SkipEmptyParts))
        db.prepare("INSERT INTO import_stock(seq, ID) VALUES(?1, ?2)").bindInt(1, seq).bindText(2, id.trimmed()).run();
    tx.commit();
    return ret(0);
}

CallResult hz_AddImportLog(EmbeddedEngine& e, const ProcArgs& a)
{
    return addImportLog(e, a, QString());
}

CallResult hz_AddImportRecord(EmbeddedEngine& e, const ProcArgs& a)
{
    return addImportLog(e, a, a.text("@StockOutlets"));
}

// Per outlet of the list, the time of the newest run that imported its stock.
CallResult hz_GetStockImports(EmbeddedEngine& e, const ProcArgs&)
{
    sqlite::Db& db = accountDb(e);
    // The ID as the file gave it: 0101 and 101 name one outlet, as in the intake.
    QHash<QString, QString> latest;  // "k" key or "n" number -> time
    {
        auto q = db.prepare("SELECT s.ID, max(l.RUNTIME) FROM import_stock s JOIN import_log l ON l.seq = s.seq "
                            "GROUP BY s.ID");
        while (q.step()) {
            const QString id = q.text(0).trimmed();
            const QVariant number = outletNumber(id);
            const QString key = number.isNull() ? QLatin1Char('k') + id : QLatin1Char('n') + number.toString();
            QString& time = latest[key];
            time = std::max(time, q.text(1));
        }
    }
    Rowset rs;
    rs.fields = {QStringLiteral("ID"), QStringLiteral("RUNTIME")};
    auto q = db.prepare("SELECT ID, idkey, idnum FROM outlets ORDER BY idnum IS NULL, idnum, idkey");
    while (q.step()) {
        QString time = latest.value(QLatin1Char('k') + q.text(1));
        if (!q.isNull(2))
            time = std::max(time, latest.value(QLatin1Char('n') + QString::number(q.integer(2))));
        if (!time.isEmpty())
            rs.rows.push_back({q.text(0), time});
    }
    return rows(std::move(rs));
}

// Newest run first; @Limit above 0 keeps that many.
CallResult hz_GetImportLog(EmbeddedEngine& e, const ProcArgs& a)
{
    const std::optional<qint64> limit = a.integer("@Limit");
    auto q = accountDb(e).prepare(
        "SELECT RUNTIME, FILENAME, FILESIZE, SHA256, KINDS, LINES, OUTCOME, REASON, COMPUTER, DBUSER FROM import_log "
        "ORDER BY seq DESC LIMIT ?1");
    q.bind(1, QVariant(qlonglong(limit && *limit > 0 ? *limit : -1)));
    return rows(readRows(q,
                         {QStringLiteral("RUNTIME"), QStringLiteral("FILENAME"), QStringLiteral("FILESIZE"),
                          QStringLiteral("SHA256"), QStringLiteral("KINDS"), QStringLiteral("LINES"),
                          QStringLiteral("OUTCOME"), QStringLiteral("REASON"), QStringLiteral("COMPUTER"),
                          QStringLiteral("DBUSER")},
                         {Col::Text, Col::Text, Col::Int, Col::Text, Col::Text, Col::Int, Col::Text, Col::Text,
                          Col::Text, Col::Text}));
}

// The registered parameters of an intake procedure: those of engines/Intake.h, all text.
const char* intakeParamList(IntakeKind kind)
{
    auto list = [](IntakeKind k) {
        std::string out;
        for (const char* name : intakeParamNames(k))
            out += (out.empty() ? "" : ", ") + std::string(name) + " text";
        return out;
    };
    static const std::string lists[2] = {list(IntakeKind::Sales), list(IntakeKind::Stock)};
    return lists[kind == IntakeKind::Sales ? 0 : 1].c_str();
}
const char* const kNetParams =
    "@ID text, @AGENTNAME text, @AGENTTYPE text, @TELEPHONE text, @FAX text, @ADDRESS text, @LINKMAN text";

}  // namespace

const std::vector<ProcedureDef>& allProcedures()
{
    static const std::vector<ProcedureDef> procs = {
        {"hz_getzt", "", true, hz_getzt},
        {"hz_insertzt", "@dbName text, @szSYSname text", true, hz_insertzt},
        {"hz_DeleteZt", "@ztid integer", true, hz_DeleteZt},
        {"hz_GetNet", "", false, hz_GetNet},
        {"hz_InsertNet", kNetParams, false, hz_InsertNet},
        {"hz_ModiNet", kNetParams, false, hz_ModiNet},
        {"hz_deleteNet", "@ID text", false, hz_deleteNet},
        {"hz_deleSales", "", false, hz_deleSales},
        {"hz_InsertSales", intakeParamList(IntakeKind::Sales), false, hz_InsertSales},
        {"hz_InsertStock", intakeParamList(IntakeKind::Stock), false, hz_InsertStock},
        {"hz_AddSales", "", false, hz_AddSales},
        {"hz_AddStock", "", false, hz_AddStock},
        {"hz_AddImportLog",
         "@FileName text, @FileSize integer, @Sha256 text, @Kinds text, @Lines integer, @Outcome text, @Reason text, "
         "@Computer text, @DbUser text",
         false, hz_AddImportLog},
        {"hz_GetImportLog", "@Limit integer", false, hz_GetImportLog},
        {"hz_AddImportRecord",
         "@FileName text, @FileSize integer, @Sha256 text, @Kinds text, @Lines integer, @Outcome text, @Reason text, "
         "@Computer text, @DbUser text, @StockOutlets text",
         false, hz_AddImportRecord},
        {"hz_GetStockImports", "", false, hz_GetStockImports},
        {"hz_AllStat",
         "@date1 date, @date2 date, @iType text, @USERCODE text, @PTYPENAME text, @ID integer, @AGENTNAME text, "
         "@VCHTYPE integer",
         false, hz_AllStat},
        {"hz_GetSales",
         "@date1 date, @date2 date, @USERCODE text, @PTYPENAME text, @ID integer, @AGENTNAME text, @AREA text, "
         "@VCHTYPE integer",
         false, hz_GetSales},
        {"hz_GetDeliveries", "@date1 date, @date2 date", false, hz_GetDeliveries},
        {"hz_GetStock", "@USERCODE text, @PTYPENAME text, @ID integer, @AGENTNAME text, @AREA text", false, hz_GetStock},
        {"hz_GetSPName", "", false, hz_GetSPName},
        {"hz_GetSalesName", "", false, hz_GetSalesName},
        {"CW_r_GetColConfig",
         "@ID text, @DefaultName text, @UserName text, @Visible integer, @SysVisible integer, @OrderCode integer, "
         "@ColOrder integer, @UserID text, @Width integer, @sMode text",
         false, CW_r_GetColConfig},
    };
    return procs;
}

const ProcedureDef* findProcedure(const QString& name)
{
    for (const ProcedureDef& p : allProcedures())
        if (name.compare(QLatin1String(p.name), Qt::CaseInsensitive) == 0)
            return &p;
    return nullptr;
}

std::vector<ParamInfo> parseParamList(const QString& text, const QString& procName)
{
    // SQL Server lists the return value first.
    std::vector<ParamInfo> out{{QStringLiteral("@RETURN_VALUE"), ParamType::Integer, ParamDirection::ReturnValue}};
    const QStringList items = text.split(QLatin1Char(','), Qt::SkipEmptyParts);
    for (const QString& item : items) {
        const QStringList parts = item.simplified().split(QLatin1Char(' '));
        if (parts.size() != 2 || !parts[0].startsWith(QLatin1Char('@')))
            throw DbError(QStringLiteral("Bad parameter \"%1\" in the registration of %2").arg(item.trimmed(), procName));
        const QString type = parts[1].toLower();
        ParamInfo p;
        p.name = parts[0];
        if (type == QLatin1String("integer"))
            p.type = ParamType::Integer;
        else if (type == QLatin1String("text"))
            p.type = ParamType::Text;
        else if (type == QLatin1String("decimal"))
            p.type = ParamType::Decimal;
        else if (type == QLatin1String("date"))
            p.type = ParamType::Date;
        else
            throw DbError(QStringLiteral("Unknown type \"%1\" in the registration of %2").arg(parts[1], procName));
        out.push_back(p);
    }
    return out;
}

QVariant ProcArgs::value(const char* name) const
{
    const QLatin1String n(name);
    for (const auto& [k, v] : m_values)
        if (k.compare(n, Qt::CaseInsensitive) == 0)
            return v;
    return QVariant();
}

QString ProcArgs::text(const char* name) const
{
    const QVariant v = value(name);
    return v.isNull() ? QString() : v.toString();
}

QString ProcArgs::trimmed(const char* name) const
{
    return text(name).trimmed();
}

std::optional<qint64> ProcArgs::integer(const char* name) const
{
    const QVariant v = value(name);
    if (v.isNull())
        return std::nullopt;
    bool ok = false;
    const qlonglong n = v.toString().trimmed().toLongLong(&ok);
    return ok ? std::optional<qint64>(n) : std::nullopt;
}

QString accountSetSchemaSql()
{
    QString sql = QStringLiteral(R"sql(
CREATE TABLE hz_procedures(name TEXT NOT NULL PRIMARY KEY COLLATE NOCASE, params TEXT NOT NULL);
-- ID as typed; idkey = ID without surrounding blanks (the key); idnum its integer value, if any.
CREATE TABLE outlets(
  idkey TEXT NOT NULL PRIMARY KEY, ID TEXT NOT NULL, idnum INTEGER, AGENTNAME TEXT, AGENTTYPE TEXT,
  TELEPHONE TEXT, FAX TEXT, ADDRESS TEXT, LINKMAN TEXT);
CREATE INDEX outlets_idnum ON outlets(idnum);
-- Amounts and quantities in millionths; DATE as yyyy-mm-dd; ID = outlets.idkey.
-- seq = Julian day of DATE << 40 | counter: the table is kept in date order (see SalesSeq.h).
CREATE TABLE sales(
  seq INTEGER PRIMARY KEY, ID TEXT NOT NULL, USERCODE TEXT, PTYPENAME TEXT, STANDARD TEXT, TYPE TEXT,
  UNIT TEXT, AREA TEXT, DATE TEXT NOT NULL, QTY INTEGER NOT NULL, TOTAL INTEGER NOT NULL,
  COSTTOTAL INTEGER NOT NULL, VCHTYPE INTEGER NOT NULL);
CREATE TABLE stock(
  seq INTEGER PRIMARY KEY, ID TEXT NOT NULL, USERCODE TEXT, PTYPENAME TEXT, STANDARD TEXT, TYPE TEXT,
  UNIT TEXT, AREA TEXT, KCQTY INTEGER NOT NULL, KCTOTAL INTEGER NOT NULL);
CREATE INDEX stock_outlet ON stock(ID);
CREATE TABLE colconfig(
  ID TEXT NOT NULL, UserID TEXT NOT NULL DEFAULT '', OrderCode INTEGER NOT NULL, ColOrder INTEGER,
  DefaultName TEXT, UserName TEXT, Visible INTEGER, SysVisible INTEGER, Width INTEGER,
  PRIMARY KEY(ID, UserID, OrderCode));
)sql");
    // The daily sums of the sales lines per outlet, product and document type (SalesSummary.h).
    return sql + QLatin1String(embedded::kSalesSummarySql) + QLatin1String(kImportLogTableSql);
}

namespace {

// Registers the account set's procedures; onlyMissing keeps the registrations already there.
void registerProcedures(sqlite::Db& db, bool onlyMissing)
{
    for (const ProcedureDef& p : allProcedures()) {
        if (p.master)
            continue;
        db.prepare(onlyMissing ? "INSERT OR IGNORE INTO hz_procedures(name, params) VALUES(?1, ?2)"
                               : "INSERT INTO hz_procedures(name, params) VALUES(?1, ?2)")
            .bindText(1, QString::fromLatin1(p.name))
            .bindText(2, QString::fromLatin1(p.params))
            .run();
    }
}

}  // namespace

namespace {

// The summary's outlet days carry their line count (false also without a summary).
bool summaryHasLineCounts(sqlite::Db& db)
{
    auto q = db.prepare("SELECT count(*) FROM pragma_table_info('sales_daysum') WHERE name = 'lines'");
    return q.step() && q.integer(0) != 0;
}

}  // namespace

void upgradeAccountSet(sqlite::Db& db)
{
    qint64 version = 0;
    {
        auto q = db.prepare("PRAGMA user_version");
        if (q.step())
            version = q.integer(0);
    }
    if (version >= kSchemaVersion)
        return;
    sqlite::Transaction tx(db);
    // Version 1: sales in import order with two indexes. Renumbered by day, in the same order.
    if (version < 2)
        db.exec(QStringLiteral(
        "ALTER TABLE sales RENAME TO sales_v1;"
        "DROP INDEX IF EXISTS sales_date;"
        "DROP INDEX IF EXISTS sales_outlet_date;"
        "CREATE TABLE sales(seq INTEGER PRIMARY KEY, ID TEXT NOT NULL, USERCODE TEXT, PTYPENAME TEXT, STANDARD TEXT, "
        "  TYPE TEXT, UNIT TEXT, AREA TEXT, DATE TEXT NOT NULL, QTY INTEGER NOT NULL, TOTAL INTEGER NOT NULL, "
        "  COSTTOTAL INTEGER NOT NULL, VCHTYPE INTEGER NOT NULL);"
        "INSERT INTO sales(seq, ID, USERCODE, PTYPENAME, STANDARD, TYPE, UNIT, AREA, DATE, QTY, TOTAL, COSTTOTAL, VCHTYPE) "
        "  SELECT (CAST(julianday(DATE) + 0.5 AS INTEGER) << %1) + row_number() OVER (PARTITION BY DATE ORDER BY seq), "
        "  ID, USERCODE, PTYPENAME, STANDARD, TYPE, UNIT, AREA, DATE, QTY, TOTAL, COSTTOTAL, VCHTYPE FROM sales_v1;"
        "DROP TABLE sales_v1;"
        // Its daily summary, if any, is built afresh from the renumbered lines on first use.
        "DROP TABLE IF EXISTS sales_sum; DROP TABLE IF EXISTS sales_daysum; DROP TABLE IF EXISTS sales_prod;").arg(embedded::kDayShift));
    // Version 3: a summary without the outlet days' line count goes; it is built afresh from the
    // lines on first use.
    if (version < 4 && !summaryHasLineCounts(db))
        db.exec(QStringLiteral("DROP TABLE IF EXISTS sales_daysum; DROP TABLE IF EXISTS sales_prod;"));
    // Version 4: the counts without their index.
    if (version < 5 && summaryHasLineCounts(db))
        db.exec(QStringLiteral("CREATE INDEX IF NOT EXISTS main.sales_daysum_count ON sales_daysum(day, ID, lines, total);"));
    // Version 2: no import history; procedures added since are registered as well.
    db.exec(QLatin1String(kImportLogTableSql));
    registerProcedures(db, true);
    db.exec(QStringLiteral("PRAGMA user_version = %1;").arg(kSchemaVersion));
    tx.commit();
}

void writeTemplateFile(const QString& path)
{
    QFile::remove(path);
    auto db = sqlite::Db::open(path, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, 5000, false);
    // 8 KiB pages: a bulk import splits and logs half as many pages as with 4 KiB.
    db->exec(QStringLiteral("PRAGMA page_size = 8192;"));
    sqlite::Transaction tx(*db);
    db->exec(accountSetSchemaSql());
    registerProcedures(*db, false);
    db->exec(QStringLiteral("PRAGMA user_version = %1;").arg(kSchemaVersion));
    tx.commit();
}

}  // namespace corvanta
