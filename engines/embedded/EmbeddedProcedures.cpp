#include "engines/embedded/EmbeddedProcedures.h"

#include "engines/DatabaseName.h"
#include "engines/RowsetForm.h"
#include "engines/Values.h"
#include "engines/embedded/EmbeddedEngine.h"
#include "engines/embedded/EmbeddedIntake.h"
#include "engines/embedded/Scaled.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <sqlite3.h>

#include <algorithm>
#include <array>
#include <charconv>
#include <optional>
#include <string>
#include <tuple>
#include <unordered_map>

// Row orders of the queries (the PostgreSQL engine delivers the same):
//   hz_getzt         sysid
//   hz_GetNet        outlet number as an integer (numbers that are no plain integer last), then
//                    the number text
//   hz_GetSales      date, outlet (as above), then the order in which the lines were imported
//   hz_GetStock      outlet (as above), product code, then import order
//   hz_AllStat       P: product code, name; N: outlet (as above); V: document type; D: date
//   hz_GetSalesName, hz_GetSPName   product code, name
//   CW_r_GetColConfig "S"           OrderCode
// Text compares by its UTF-8 bytes. Filters: an empty value is no restriction; product and
// outlet names and the place of origin match when they contain the value; the product code must
// equal it (blanks around it ignored); @ID compares the outlet number as an integer.

namespace corvanta {

namespace {

// 2: sales clustered by day.
constexpr int kSchemaVersion = 2;

using sqlite::Query;

CallResult ret(qlonglong v)
{
    CallResult r;
    r.returnValue = v;
    return r;
}

enum class Col { Text, Int, Dec };

// Reads every row of q into a rowset; Dec columns are scaled integers delivered as decimal text.
Rowset readRows(Query& q, const QStringList& fields, const std::vector<Col>& kinds)
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
        int digits = scaled::kDigits;
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
Rowset readText(Query& q, const QStringList& fields, const std::vector<Col>& kinds)
{
    Rowset rs;
    rs.fields = fields;
    CellStore store(int(kinds.size()));
    std::vector<std::string_view> views(kinds.size());
    std::vector<std::array<char, 32>> bufs(kinds.size());
    while (q.step()) {
        for (std::size_t i = 0; i < kinds.size(); ++i) {
            const int c = int(i);
            if (q.isNull(c)) {
                views[i] = {};
                continue;
            }
            char* buf = bufs[i].data();
            switch (kinds[i]) {
            case Col::Text: views[i] = q.bytes(c); break;
            case Col::Int:
                views[i] = std::string_view(buf, std::size_t(std::to_chars(buf, buf + 32, q.integer(c)).ptr - buf));
                break;
            case Col::Dec: views[i] = scaledText(q.integer(c), bufs[i]); break;
            }
        }
        store.appendRow(views);
    }
    rs.text = std::move(store);
    return rs;
}

CallResult rows(Rowset rs, qlonglong rv = 0)
{
    CallResult r;
    r.rowset = std::move(rs);
    r.returnValue = rv;
    return r;
}

// The integer value of an outlet number for ordering and the @ID filter; NULL for another form.
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
    return ret(0);
}

// Takes the database out of service: its file moves to data/deleted/ under a time-stamped name.
CallResult hz_DeleteZt(EmbeddedEngine& e, const ProcArgs& a)
{
    const std::optional<qint64> id = a.integer("@ztid");
    if (!id)
        return ret(0);
    sqlite::Db& db = e.db();
    sqlite::Transaction tx(db);
    QString dbName;
    {
        auto q = db.prepare("SELECT dbname FROM SyshzZt WHERE sysid = ?1");
        q.bindInt(1, *id);
        if (!q.step())
            return ret(0);  // already gone
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

bool outletExists(sqlite::Db& db, const QString& key)
{
    auto q = db.prepare("SELECT 1 FROM outlets WHERE idkey = ?1");
    q.bindText(1, key);
    return q.step();
}

CallResult hz_InsertNet(EmbeddedEngine& e, const ProcArgs& a)
{
    sqlite::Db& db = accountDb(e);
    const QString key = a.trimmed("@ID");
    if (key.isEmpty() || a.trimmed("@AGENTNAME").isEmpty())
        return ret(-1);
    sqlite::Transaction tx(db);
    if (outletExists(db, key))
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
    const QString key = a.trimmed("@ID");
    if (key.isEmpty() || a.trimmed("@AGENTNAME").isEmpty())
        return ret(-1);
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

// -1 while sales or stock lines refer to the outlet: deleting it would orphan them.
CallResult hz_deleteNet(EmbeddedEngine& e, const ProcArgs& a)
{
    sqlite::Db& db = accountDb(e);
    const QString key = a.trimmed("@ID");
    sqlite::Transaction tx(db);
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
    e.consolidate(true);
    return ret(0);
}

// One transaction: the staged lines replace all stock lines of their outlets.
CallResult hz_AddStock(EmbeddedEngine& e, const ProcArgs&)
{
    accountDb(e);
    e.consolidate(false);
    return ret(0);
}

// ---- queries ------------------------------------------------------------------------------

// WHERE clause from fixed pieces; the values travel as bound parameters.
struct Filter {
    QStringList clauses;
    QVariantList values;
    void add(const QString& clause, const QVariant& value)
    {
        values.append(value);
        clauses.append(QString(clause).replace(QStringLiteral("?"), QStringLiteral("?%1").arg(values.size())));
    }
    QString where() const { return clauses.isEmpty() ? QString() : QStringLiteral(" WHERE ") + clauses.join(QStringLiteral(" AND ")); }
    void bind(Query& q) const
    {
        for (int i = 0; i < values.size(); ++i)
            q.bind(i + 1, values[i]);
    }
};

void addCommonFilters(Filter& f, const ProcArgs& a, const char* table)
{
    const QString t = QString::fromLatin1(table);
    if (const QString v = a.trimmed("@USERCODE"); !v.isEmpty())
        f.add(QStringLiteral("trim(%1.USERCODE) = ?").arg(t), v);
    if (const QString v = a.trimmed("@PTYPENAME"); !v.isEmpty())
        f.add(QStringLiteral("instr(%1.PTYPENAME, ?) > 0").arg(t), v);
    if (const std::optional<qint64> id = a.integer("@ID"))
        f.add(QStringLiteral("%1.ID IN (SELECT idkey FROM outlets WHERE idnum = ?)").arg(t), QVariant(qlonglong(*id)));
    if (const QString v = a.trimmed("@AGENTNAME"); !v.isEmpty())
        f.add(QStringLiteral("%1.ID IN (SELECT idkey FROM outlets WHERE instr(AGENTNAME, ?) > 0)").arg(t), v);
}

// Dates also bound the seq (day << 40 | counter), so a date range reads only its part of the table.
void addSalesFilters(Filter& f, const ProcArgs& a)
{
    if (const QString d = a.trimmed("@date1"); !d.isEmpty()) {
        const std::optional<QString> c = CanonicalDate(d);
        f.add(QStringLiteral("s.DATE >= ?"), c.value_or(d));
        if (c)
            f.add(QStringLiteral("s.seq >= ?"), QVariant(qlonglong(embedded::firstSeqOfDay(QDate::fromString(*c, Qt::ISODate).toJulianDay()))));
    }
    if (const QString d = a.trimmed("@date2"); !d.isEmpty()) {
        const std::optional<QString> c = CanonicalDate(d);
        f.add(QStringLiteral("s.DATE <= ?"), c.value_or(d));
        if (c)
            f.add(QStringLiteral("s.seq <= ?"), QVariant(qlonglong(embedded::lastSeqOfDay(QDate::fromString(*c, Qt::ISODate).toJulianDay()))));
    }
    addCommonFilters(f, a, "s");
    if (const std::optional<qint64> v = a.integer("@VCHTYPE"))
        f.add(QStringLiteral("s.VCHTYPE = ?"), QVariant(qlonglong(*v)));
}

// Neither join nor sort in SQL: the lines come by seq (by day, then as imported) and are put in
// the order below here, which on a long result is several times cheaper than SQLite's sorter.
CallResult hz_GetSales(EmbeddedEngine& e, const ProcArgs& a)
{
    sqlite::Db& db = accountDb(e);
    Filter f;
    addSalesFilters(f, a);
    if (const QString v = a.trimmed("@AREA"); !v.isEmpty())
        f.add(QStringLiteral("instr(s.AREA, ?) > 0"), v);
    auto q = db.prepare(QStringLiteral(
        "SELECT s.USERCODE, s.PTYPENAME, s.ID, s.STANDARD, s.TYPE, s.UNIT, s.AREA, s.DATE, s.QTY, s.TOTAL, "
        "s.COSTTOTAL, s.VCHTYPE FROM sales s%1 ORDER BY s.seq").arg(f.where()));
    f.bind(q);
    const Rowset scanned = readText(q, QStringList(12, QString()),
                                    {Col::Text, Col::Text, Col::Text, Col::Text, Col::Text, Col::Text, Col::Text,
                                     Col::Text, Col::Dec, Col::Dec, Col::Dec, Col::Int});
    const CellStore& in = *scanned.text;
    constexpr int kId = 2, kDate = 7;

    struct Outlet {
        std::optional<qint64> number;
        std::string name;
    };
    std::unordered_map<std::string, Outlet> outlets;
    auto o = db.prepare("SELECT idkey, idnum, AGENTNAME FROM outlets");
    while (o.step())
        outlets[std::string(o.bytes(0))] = {o.isNull(1) ? std::nullopt : std::optional<qint64>(o.integer(1)),
                                            std::string(o.bytes(2))};

    // Order: date, outlet number (lines of unlisted outlets or outlets without a number last),
    // outlet key text, seq. Each outlet key gets its rank once; a stable sort keeps seq order.
    const int n = in.rowCount();
    std::unordered_map<std::string_view, int> rankOf;
    std::vector<std::string_view> keys;
    for (int r = 0; r < n; ++r)
        if (rankOf.emplace(in.utf8(kId, r), 0).second)
            keys.push_back(in.utf8(kId, r));
    auto numberOf = [&](std::string_view key) -> std::optional<qint64> {
        const auto it = outlets.find(std::string(key));
        return it == outlets.end() ? std::nullopt : it->second.number;
    };
    std::vector<std::pair<std::optional<qint64>, std::string_view>> ranked;
    for (std::string_view k : keys)
        ranked.emplace_back(numberOf(k), k);
    std::sort(ranked.begin(), ranked.end(), [](const auto& x, const auto& y) {
        if (x.first.has_value() != y.first.has_value())
            return x.first.has_value();
        if (x.first && *x.first != *y.first)
            return *x.first < *y.first;
        return x.second < y.second;
    });
    for (std::size_t k = 0; k < ranked.size(); ++k)
        rankOf[ranked[k].second] = int(k);
    std::vector<int> rank(std::size_t(n > 0 ? n : 0));
    std::vector<int> order(rank.size());
    for (int r = 0; r < n; ++r) {
        rank[std::size_t(r)] = rankOf[in.utf8(kId, r)];
        order[std::size_t(r)] = r;
    }
    std::stable_sort(order.begin(), order.end(), [&](int x, int y) {
        const int c = in.utf8(kDate, x).compare(in.utf8(kDate, y));
        return c != 0 ? c < 0 : rank[std::size_t(x)] < rank[std::size_t(y)];
    });

    std::vector<const std::string*> names(ranked.size(), nullptr);
    for (std::size_t k = 0; k < ranked.size(); ++k)
        if (const auto it = outlets.find(std::string(ranked[k].second)); it != outlets.end())
            names[k] = &it->second.name;
    const bool text = TextRowsetsWanted();
    CellStore out(13);
    if (text)
        out.reserve(std::size_t(n > 0 ? n : 0), in.bytes() / 10);
    std::vector<QVariantList> values;
    if (!text)
        values.reserve(std::size_t(n > 0 ? n : 0));
    std::vector<std::string_view> views(13);
    auto qstr = [](std::string_view v) { return QString::fromUtf8(v.data(), qsizetype(v.size())); };
    for (const int r : order) {
        for (int c = 0; c < 3; ++c)
            views[std::size_t(c)] = in.utf8(c, r);
        const std::string* name = names[std::size_t(rank[std::size_t(r)])];
        views[3] = name ? std::string_view(*name) : std::string_view();
        for (int c = 3; c < 12; ++c)
            views[std::size_t(c) + 1] = in.utf8(c, r);
        if (text) {
            out.appendRow(views);
            continue;
        }
        // Values, as a direct caller of the engine reads them.
        QVariantList row;
        row.reserve(13);
        for (int c = 0; c < 12; ++c)
            row.append(c == 3 && !name ? QVariant() : QVariant(qstr(views[std::size_t(c)])));
        qlonglong vch = 0;
        std::from_chars(views[12].data(), views[12].data() + views[12].size(), vch);
        row.append(QVariant(vch));
        values.push_back(std::move(row));
    }
    Rowset rs;
    if (text)
        rs.text = std::move(out);
    else
        rs.rows = std::move(values);
    rs.fields = {QStringLiteral("USERCODE"), QStringLiteral("PTYPENAME"), QStringLiteral("ID"),
                 QStringLiteral("AGENTNAME"), QStringLiteral("STANDARD"), QStringLiteral("TYPE"),
                 QStringLiteral("UNIT"), QStringLiteral("AREA"), QStringLiteral("DATE"), QStringLiteral("QTY"),
                 QStringLiteral("TOTAL"), QStringLiteral("COSTTOTAL"), QStringLiteral("VCHTYPE")};
    return rows(std::move(rs));
}

CallResult hz_GetStock(EmbeddedEngine& e, const ProcArgs& a)
{
    sqlite::Db& db = accountDb(e);
    Filter f;
    addCommonFilters(f, a, "s");
    if (const QString v = a.trimmed("@AREA"); !v.isEmpty())
        f.add(QStringLiteral("instr(s.AREA, ?) > 0"), v);
    auto q = db.prepare(QStringLiteral(
        "SELECT s.USERCODE, s.PTYPENAME, s.ID, o.AGENTNAME, s.STANDARD, s.TYPE, s.UNIT, s.AREA, s.KCQTY, s.KCTOTAL "
        "FROM stock s LEFT JOIN outlets o ON o.idkey = s.ID%1 "
        "ORDER BY o.idnum IS NULL, o.idnum, s.ID, s.USERCODE, s.seq").arg(f.where()));
    f.bind(q);
    return rows((TextRowsetsWanted() ? readText : readRows)(q,
                         {QStringLiteral("USERCODE"), QStringLiteral("PTYPENAME"), QStringLiteral("ID"),
                          QStringLiteral("AGENTNAME"), QStringLiteral("STANDARD"), QStringLiteral("TYPE"),
                          QStringLiteral("UNIT"), QStringLiteral("AREA"), QStringLiteral("KCQTY"),
                          QStringLiteral("KCTOTAL")},
                         {Col::Text, Col::Text, Col::Text, Col::Text, Col::Text, Col::Text, Col::Text, Col::Text,
                          Col::Dec, Col::Dec}));
}

// Sums per product (P), outlet (N), document type (V) or date (D); -1 and no rows for another mode.
// The lines of the range are summed here rather than by GROUP BY: SQLite's sorter is several times
// slower than one pass with a hash table over a few hundred thousand lines.
CallResult hz_AllStat(EmbeddedEngine& e, const ProcArgs& a)
{
    sqlite::Db& db = accountDb(e);
    const QStringList fields = {QStringLiteral("code"),   QStringLiteral("FullName"),     QStringLiteral("AllQTY"),
                                QStringLiteral("AllTOTAL"), QStringLiteral("ALLCOSTTOTAL"), QStringLiteral("PROFIT")};
    const QString mode = a.trimmed("@iType").toUpper();
    QString keys;
    if (mode == QLatin1String("P"))
        keys = QStringLiteral("s.USERCODE, s.PTYPENAME");
    else if (mode == QLatin1String("N"))
        keys = QStringLiteral("s.ID, ''");
    else if (mode == QLatin1String("V"))
        keys = QStringLiteral("CAST(s.VCHTYPE AS TEXT), ''");
    else if (mode == QLatin1String("D"))
        keys = QStringLiteral("s.DATE, ''");
    else
        return rows(Rowset{fields, {}, {}}, -1);

    Filter f;
    addSalesFilters(f, a);
    auto q = db.prepare(QStringLiteral("SELECT %1, s.QTY, s.TOTAL, s.COSTTOTAL FROM sales s%2").arg(keys, f.where()));
    f.bind(q);

    struct Group {
        std::string code, name;
        qint64 qty = 0, total = 0, cost = 0;
    };
    std::unordered_map<std::string, size_t> index;
    std::vector<Group> groups;
    std::string key;
    auto add = [](qint64& sum, qint64 v) {
        if (__builtin_add_overflow(sum, v, &sum))
            throw DbError(QStringLiteral("hz_AllStat: a sum is out of range"));
    };
    while (q.step()) {
        const std::string_view code = q.bytes(0), name = q.bytes(1);
        key.assign(code);
        key.push_back('\0');
        key.append(name);
        auto [it, fresh] = index.try_emplace(key, groups.size());
        if (fresh)
            groups.push_back({std::string(code), std::string(name)});
        Group& g = groups[it->second];
        add(g.qty, q.integer(2));
        add(g.total, q.integer(3));
        add(g.cost, q.integer(4));
    }

    // Outlet names and numbers for mode N.
    struct Outlet {
        QVariant number;
        QString name;
    };
    std::unordered_map<std::string, Outlet> outlets;
    if (mode == QLatin1String("N")) {
        auto o = db.prepare("SELECT idkey, idnum, AGENTNAME FROM outlets");
        while (o.step())
            outlets[std::string(o.bytes(0))] = {o.isNull(1) ? QVariant() : QVariant(qlonglong(o.integer(1))), o.text(2)};
    }
    auto number = [&](const Group& g) {
        const auto it = outlets.find(g.code);
        return it == outlets.end() ? QVariant() : it->second.number;
    };
    std::vector<const Group*> order;
    for (const Group& g : groups)
        order.push_back(&g);
    std::sort(order.begin(), order.end(), [&](const Group* x, const Group* y) {
        if (mode == QLatin1String("N")) {
            const QVariant nx = number(*x), ny = number(*y);
            if (nx.isNull() != ny.isNull())
                return ny.isNull();
            if (!nx.isNull() && nx.toLongLong() != ny.toLongLong())
                return nx.toLongLong() < ny.toLongLong();
        } else if (mode == QLatin1String("V")) {
            return std::stoll(x->code) < std::stoll(y->code);
        }
        return std::tie(x->code, x->name) < std::tie(y->code, y->name);
    });

    Rowset rs;
    rs.fields = fields;
    for (const Group* g : order) {
        const QString code = QString::fromUtf8(g->code.data(), qsizetype(g->code.size()));
        QString name = QString::fromUtf8(g->name.data(), qsizetype(g->name.size()));
        if (mode == QLatin1String("N")) {
            const auto it = outlets.find(g->code);
            name = it == outlets.end() ? QString() : it->second.name;
        } else if (mode != QLatin1String("P")) {
            name = code;
        }
        qint64 profit = 0;
        if (__builtin_sub_overflow(g->total, g->cost, &profit))
            throw DbError(QStringLiteral("hz_AllStat: a sum is out of range"));
        rs.rows.push_back({code, name, scaled::format(g->qty), scaled::format(g->total), scaled::format(g->cost),
                           scaled::format(profit)});
    }
    return rows(std::move(rs));
}

CallResult productNames(EmbeddedEngine& e, const char* sql)
{
    auto q = accountDb(e).prepare(sql);
    return rows(readRows(q, {QStringLiteral("USERCODE"), QStringLiteral("PTYPENAME")}, {Col::Text, Col::Text}));
}

CallResult hz_GetSalesName(EmbeddedEngine& e, const ProcArgs&)
{
    return productNames(e, "SELECT DISTINCT USERCODE, PTYPENAME FROM sales ORDER BY USERCODE, PTYPENAME");
}

CallResult hz_GetSPName(EmbeddedEngine& e, const ProcArgs&)
{
    return productNames(e, "SELECT DISTINCT USERCODE, PTYPENAME FROM stock ORDER BY USERCODE, PTYPENAME");
}

// ---- column configuration ---------------------------------------------------------------------

CallResult CW_r_GetColConfig(EmbeddedEngine& e, const ProcArgs& a)
{
    sqlite::Db& db = accountDb(e);
    const QString mode = a.trimmed("@sMode").toUpper();
    const QString grid = a.trimmed("@ID");
    const QString user = a.trimmed("@UserID");
    auto num = [&](const char* name) { return qlonglong(a.integer(name).value_or(0)); };
    if (mode == QLatin1String("S")) {
        auto q = db.prepare("SELECT ID, OrderCode, ColOrder, DefaultName, UserName, Visible, SysVisible, Width, UserID "
                            "FROM colconfig WHERE ID = ?1 AND UserID = ?2 ORDER BY OrderCode");
        q.bindText(1, grid).bindText(2, user);
        return rows(readRows(q,
                             {QStringLiteral("ID"), QStringLiteral("OrderCode"), QStringLiteral("ColOrder"),
                              QStringLiteral("DefaultName"), QStringLiteral("UserName"), QStringLiteral("Visible"),
                              QStringLiteral("SysVisible"), QStringLiteral("Width"), QStringLiteral("UserID")},
                             {Col::Text, Col::Int, Col::Int, Col::Text, Col::Text, Col::Int, Col::Int, Col::Int,
                              Col::Text}));
    }
    if (mode == QLatin1String("D")) {
        db.prepare("DELETE FROM colconfig WHERE ID = ?1 AND UserID = ?2").bindText(1, grid).bindText(2, user).run();
        return ret(1);
    }
    if (mode == QLatin1String("I")) {
        db.prepare("INSERT OR REPLACE INTO colconfig(ID, UserID, OrderCode, ColOrder, DefaultName, UserName, Visible, "
                   "SysVisible, Width) VALUES(?1, ?2, ?3, ?4, ?5, ?6, ?7, ?8, ?9)")
            .bindText(1, grid)
            .bindText(2, user)
            .bindInt(3, num("@OrderCode"))
            .bindInt(4, num("@ColOrder"))
            .bindText(5, a.text("@DefaultName"))
            .bindText(6, a.text("@UserName"))
            .bindInt(7, num("@Visible"))
            .bindInt(8, num("@SysVisible"))
            .bindInt(9, num("@Width"))
            .run();
        return ret(0);
    }
    if (mode == QLatin1String("U")) {
        db.prepare("UPDATE colconfig SET UserName = ?4, ColOrder = ?5, Visible = ?6 "
                   "WHERE ID = ?1 AND UserID = ?2 AND OrderCode = ?3")
            .bindText(1, grid)
            .bindText(2, user)
            .bindInt(3, num("@OrderCode"))
            .bindText(4, a.text("@UserName"))
            .bindInt(5, num("@ColOrder"))
            .bindInt(6, num("@Visible"))
            .run();
        return ret(0);
    }
    if (mode == QLatin1String("UW")) {
        db.prepare("UPDATE colconfig SET Width = ?4 WHERE ID = ?1 AND UserID = ?2 AND OrderCode = ?3")
            .bindText(1, grid)
            .bindText(2, user)
            .bindInt(3, num("@OrderCode"))
            .bindInt(4, num("@Width"))
            .run();
        return ret(0);
    }
    return ret(-1);
}

const char* const kSalesParamList =
    "@USERCODE text, @PTYPENAME text, @STANDARD text, @TYPE text, @UNIT text, @AREA text, @DATE text, "
    "@QTY text, @TOTAL text, @COSTTOTAL text, @VCHTYPE text, @ID text";
const char* const kStockParamList =
    "@USERCODE text, @PTYPENAME text, @STANDARD text, @TYPE text, @UNIT text, @AREA text, @KCQTY text, "
    "@KCTOTAL text, @ID text";
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
        {"hz_InsertSales", kSalesParamList, false, hz_InsertSales},
        {"hz_InsertStock", kStockParamList, false, hz_InsertStock},
        {"hz_AddSales", "", false, hz_AddSales},
        {"hz_AddStock", "", false, hz_AddStock},
        {"hz_AllStat",
         "@date1 date, @date2 date, @iType text, @USERCODE text, @PTYPENAME text, @ID integer, @AGENTNAME text, "
         "@VCHTYPE integer",
         false, hz_AllStat},
        {"hz_GetSales",
         "@date1 date, @date2 date, @USERCODE text, @PTYPENAME text, @ID integer, @AGENTNAME text, @AREA text, "
         "@VCHTYPE integer",
         false, hz_GetSales},
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
-- seq = Julian day of DATE << 40 | counter: the table is kept in date order (see EmbeddedIntake.h).
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
    return sql;
}

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
    // Version 1: sales in import order with two indexes. Renumbered by day, in the same order.
    sqlite::Transaction tx(db);
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
        "PRAGMA user_version = %2;").arg(embedded::kDayShift).arg(kSchemaVersion));
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
    for (const ProcedureDef& p : allProcedures()) {
        if (p.master)
            continue;
        db->prepare("INSERT INTO hz_procedures(name, params) VALUES(?1, ?2)")
            .bindText(1, QString::fromLatin1(p.name))
            .bindText(2, QString::fromLatin1(p.params))
            .run();
    }
    db->exec(QStringLiteral("PRAGMA user_version = %1;").arg(kSchemaVersion));
    tx.commit();
}

}  // namespace corvanta
