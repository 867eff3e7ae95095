// The PostgreSQL engine's procedure catalogue: a procedure's arguments looked up in pg_proc,
// its call prepared once per session, the values of its results.
#include "engines/postgresql/PostgresEngineImpl.h"

#include <QDate>
#include <QRegularExpression>
#include <algorithm>
#include <charconv>
#include <unordered_map>

namespace corvanta::pg {

namespace {

// Type oids of the built-in types we read (fixed since PostgreSQL 7).
constexpr Oid kBoolOid = 16;
constexpr Oid kInt8Oid = 20;
constexpr Oid kInt2Oid = 21;
constexpr Oid kInt4Oid = 23;
constexpr Oid kFloat4Oid = 700;
constexpr Oid kFloat8Oid = 701;
constexpr Oid kDateOid = 1082;
constexpr Oid kNumericOid = 1700;

ParamType paramTypeOf(const QString& typeName)
{
    if (typeName == QLatin1String("integer") || typeName == QLatin1String("bigint")
        || typeName == QLatin1String("smallint"))
        return ParamType::Integer;
    if (typeName.startsWith(QLatin1String("numeric")) || typeName == QLatin1String("real")
        || typeName == QLatin1String("double precision"))
        return ParamType::Decimal;
    if (typeName == QLatin1String("date"))
        return ParamType::Date;
    return ParamType::Text;
}

}  // namespace

bool deliversText(const QString& procedure)
{
    return procedure.compare(QLatin1String("hz_GetSales"), Qt::CaseInsensitive) == 0
           || procedure.compare(QLatin1String("hz_GetStock"), Qt::CaseInsensitive) == 0;
}

namespace {
// MinimalDecimal on the server's canonical numeric text, as a prefix of it.
std::string_view minimalDecimalBytes(std::string_view s)
{
    if (s.find('.') != std::string_view::npos) {
        while (!s.empty() && s.back() == '0')
            s.remove_suffix(1);
        if (!s.empty() && s.back() == '.')
            s.remove_suffix(1);
    }
    if (s == "-0")
        return std::string_view("0");
    return s;
}
}  // namespace

CellStore textRows(const PGresult* r, int columns)
{
    const int nFields = columns < 0 ? PQnfields(r) : std::min(columns, PQnfields(r));
    const int nRows = PQntuples(r);
    CellStore store(nFields);
    std::vector<bool> numeric(static_cast<std::size_t>(nFields), false);
    for (int c = 0; c < nFields; ++c)
        numeric[std::size_t(c)] = PQftype(r, c) == kNumericOid;
    // Each column sized once, from the lengths the result gives: growing it would copy it again.
    for (int c = 0; c < nFields; ++c) {
        std::size_t bytes = 0;
        for (int row = 0; row < nRows; ++row)
            bytes += std::size_t(PQgetlength(r, row, c));
        store.reserveColumn(c, std::size_t(nRows), bytes);
    }
    std::vector<std::string_view> views(static_cast<std::size_t>(nFields));
    for (int row = 0; row < nRows; ++row) {
        for (int c = 0; c < nFields; ++c) {
            if (PQgetisnull(r, row, c)) {
                views[std::size_t(c)] = {};
                continue;
            }
            const std::string_view v(PQgetvalue(r, row, c), std::size_t(PQgetlength(r, row, c)));
            views[std::size_t(c)] = numeric[std::size_t(c)] ? minimalDecimalBytes(v) : v;
        }
        store.appendRow(views);
    }
    return store;
}

namespace {
bool parseInteger(std::string_view v, qint64& n)
{
    const auto [end, ec] = std::from_chars(v.data(), v.data() + v.size(), n);
    return ec == std::errc() && end == v.data() + v.size();
}

std::string_view fieldBytes(const PGresult* r, int row, int col)
{
    return {PQgetvalue(r, row, col), std::size_t(PQgetlength(r, row, col))};
}

qint64 integerField(const PGresult* r, int row, int col)
{
    qint64 n = 0;
    if (!parseInteger(fieldBytes(r, row, col), n))
        throw DbError(QStringLiteral("The sales query returned \"%1\" where a number belongs")
                          .arg(QString::fromUtf8(PQgetvalue(r, row, col))));
    return n;
}

// An ISO date (YYYY-MM-DD, the year maybe longer) as a number that sorts as the dates do.
qint64 dayField(const PGresult* r, int row, int col)
{
    const std::string_view v = fieldBytes(r, row, col);
    qint64 year = 0, month = 0, day = 0;
    const bool iso = v.size() >= 10 && v[v.size() - 6] == '-' && v[v.size() - 3] == '-'
        && parseInteger(v.substr(0, v.size() - 6), year) && parseInteger(v.substr(v.size() - 5, 2), month)
        && parseInteger(v.substr(v.size() - 2), day);
    if (!iso)
        throw DbError(QStringLiteral("The sales query returned \"%1\" where a date belongs")
                          .arg(QString::fromUtf8(v.data(), qsizetype(v.size()))));
    return year * 10000 + month * 100 + day;
}
}  // namespace

std::vector<int> salesLineOrder(const PGresult* r)
{
    const int n = PQntuples(r);
    if (PQnfields(r) < kSalesLineFields + 2)
        throw DbError(QStringLiteral("The sales query returned %1 columns, not %2")
                          .arg(PQnfields(r))
                          .arg(kSalesLineFields + 2));
    constexpr int kId = 2, kDate = 8, kIdNum = kSalesLineFields, kSeq = kSalesLineFields + 1;
    // Each outlet is ranked once; a file's lines come together, so most lines have the outlet
    // of the line before.
    struct Outlet {
        bool unnumbered;
        qint64 number;
        std::string_view key;
    };
    std::vector<Outlet> outlets;
    std::unordered_map<std::string_view, int> outletOf;
    std::vector<int> lineOutlet(std::size_t(n > 0 ? n : 0));
    std::string_view lastKey;
    int last = -1;
    for (int row = 0; row < n; ++row) {
        const std::string_view key = fieldBytes(r, row, kId);
        if (last < 0 || key != lastKey) {
            const auto [it, fresh] = outletOf.emplace(key, int(outlets.size()));
            if (fresh) {
                const bool unnumbered = PQgetisnull(r, row, kIdNum);
                outlets.push_back({unnumbered, unnumbered ? 0 : integerField(r, row, kIdNum), key});
            }
            lastKey = key;
            last = it->second;
        }
        lineOutlet[std::size_t(row)] = last;
    }
    std::vector<int> byRank(outlets.size());
    for (std::size_t k = 0; k < byRank.size(); ++k)
        byRank[k] = int(k);
    std::sort(byRank.begin(), byRank.end(), [&](int x, int y) {
        const Outlet& a = outlets[std::size_t(x)];
        const Outlet& b = outlets[std::size_t(y)];
        if (a.unnumbered != b.unnumbered)
            return b.unnumbered;
        if (a.number != b.number)
            return a.number < b.number;
        return a.key < b.key;
    });
    std::vector<quint32> rank(outlets.size());
    for (std::size_t k = 0; k < byRank.size(); ++k)
        rank[std::size_t(byRank[k])] = quint32(k);
    // Day, outlet rank and import order as numbers: the sort compares no text.
    struct Key {
        qint64 day;
        quint32 rank;
        int row;
        qint64 seq;
    };
    std::vector<Key> keys(std::size_t(n > 0 ? n : 0));
    qint64 lastDay = 0;
    std::string_view lastDate;
    for (int row = 0; row < n; ++row) {
        const std::string_view date = fieldBytes(r, row, kDate);
        if (row == 0 || date != lastDate) {
            lastDay = dayField(r, row, kDate);
            lastDate = date;
        }
        const quint32 outletRank = rank[std::size_t(lineOutlet[std::size_t(row)])];
        keys[std::size_t(row)] = {lastDay, outletRank, row, integerField(r, row, kSeq)};
    }
    std::sort(keys.begin(), keys.end(), [](const Key& a, const Key& b) {
        if (a.day != b.day)
            return a.day < b.day;
        return a.rank != b.rank ? a.rank < b.rank : a.seq < b.seq;
    });
    std::vector<int> order(keys.size());
    for (std::size_t i = 0; i < keys.size(); ++i)
        order[i] = keys[i].row;
    return order;
}

QVariant fieldValue(const PGresult* r, int row, int col)
{
    if (PQgetisnull(r, row, col))
        return QVariant();
    const char* raw = PQgetvalue(r, row, col);
    switch (PQftype(r, col)) {
    case kInt2Oid:
    case kInt4Oid:
    case kInt8Oid:
        return QVariant(QByteArray(raw).toLongLong());
    case kNumericOid:
        return QVariant(MinimalDecimal(QString::fromLatin1(raw)));
    case kFloat4Oid:
    case kFloat8Oid:
        return QVariant(QByteArray(raw).toDouble());
    case kBoolOid:
        return QVariant(raw[0] == 't');
    case kDateOid:
        return QVariant(QString::fromLatin1(raw));
    default:
        return QVariant(QString::fromUtf8(raw));
    }
}

QString baseProcedureName(const QString& name)
{
    static const QRegularExpression suffix(QStringLiteral(";\\d+$"));
    QString base = name.trimmed();
    base.remove(suffix);
    return base;
}

std::vector<ParamInfo> PostgresEngine::procedureParams(const QString& name)
{
    // An account set made before the deliveries gets them (with the summary part) on first use.
    if (name.compare(QLatin1String("hz_GetDeliveries"), Qt::CaseInsensitive) == 0)
        ensureSalesSummary();
    const ProcInfo& proc = procInfo(name);
    std::vector<ParamInfo> params;
    params.push_back({QStringLiteral("@RETURN_VALUE"), ParamType::Integer, ParamDirection::ReturnValue});
    for (const PgArg& a : proc.args)
        params.push_back({QLatin1Char('@') + a.name, a.kind, ParamDirection::Input});
    return params;
}

bool PostgresEngine::hasProcedure(const QString& name)
{
    try {
        procInfo(name);
        return true;
    } catch (const DbError&) {
        return false;
    }
}

QByteArray PostgresEngine::valueText(const QVariant& value)
{
    switch (value.typeId()) {
    case QMetaType::QDate:
        return value.toDate().toString(Qt::ISODate).toUtf8();
    case QMetaType::Bool:
        return value.toBool() ? "1" : "0";
    default:
        return value.toString().toUtf8();
    }
}

qlonglong PostgresEngine::takeRowsetReturnValue()
{
    ResultPtr r(PQexec(m_conn.get(),
                       "SELECT v, set_config('corvanta.return_value', '', false) FROM "
                       "(SELECT current_setting('corvanta.return_value', true) AS v OFFSET 0) s"));
    if (!resultOk(r.get()))
        throw DbError(resultError(r.get(), m_conn.get()));
    if (PQntuples(r.get()) < 1 || PQgetisnull(r.get(), 0, 0))
        return 0;
    return QByteArray(PQgetvalue(r.get(), 0, 0)).trimmed().toLongLong();
}

void PostgresEngine::prepare(ProcInfo& proc)
{
    QStringList placeholders;
    std::vector<Oid> types;
    for (std::size_t i = 0; i < proc.args.size(); ++i) {
        placeholders << QStringLiteral("$%1").arg(i + 1);
        types.push_back(proc.args[i].type);
    }
    const QString sql = proc.returnsRows
        ? QStringLiteral("SELECT * FROM %1(%2)").arg(proc.qualified, placeholders.join(QLatin1Char(',')))
        : QStringLiteral("SELECT %1(%2)").arg(proc.qualified, placeholders.join(QLatin1Char(',')));
    const QByteArray statement = "corvanta_call_" + QByteArray::number(++m_statements);
    if (proc.returnsRows) {
        proc.oneShot = true;
        proc.sql = sql.toUtf8();
        proc.types = types;
        proc.statement = statement;
        return;
    }
    ResultPtr r(PQprepare(m_conn.get(), statement.constData(), sql.toUtf8().constData(),
                          static_cast<int>(types.size()), types.data()));
    if (!resultOk(r.get()))
        throw DbError(resultError(r.get(), m_conn.get()));
    proc.statement = statement;
}

ProcInfo& PostgresEngine::procInfo(const QString& name)
{
    requireOpen();
    const QString key = cacheKey(name);
    if (auto it = m_procs.find(key); it != m_procs.end())
        return *it;
    // A running COPY takes no other query: end it first (the next line of its kind starts another).
    if (m_copyKind)
        flushBulk();

    static const char* lookup =
        "SELECT p.oid, quote_ident(n.nspname) || '.' || quote_ident(p.proname), p.proretset, "
        "       p.prorettype::regtype::text, a.mode, coalesce(a.name, ''), a.typ, format_type(a.typ, NULL) "
        "FROM pg_proc p JOIN pg_namespace n ON n.oid = p.pronamespace "
        "LEFT JOIN LATERAL unnest(coalesce(p.proallargtypes, p.proargtypes::oid[]), "
        "                         coalesce(p.proargmodes, array_fill('i'::\"char\", array[p.pronargs::int])), "
        "                         coalesce(p.proargnames, array_fill(''::text, array[p.pronargs::int]))) "
        "     WITH ORDINALITY AS a(typ, mode, name, ord) ON true "
        "WHERE lower(p.proname) = lower($1) AND p.prokind = 'f' AND pg_function_is_visible(p.oid) "
        "ORDER BY p.oid, a.ord";
    const QByteArray base = baseProcedureName(name).toUtf8();
    const char* params[1] = {base.constData()};
    ResultPtr r(PQexecParams(m_conn.get(), lookup, 1, nullptr, params, nullptr, nullptr, 0));
    if (!resultOk(r.get()))
        throw DbError(resultError(r.get(), m_conn.get()));
    const int n = PQntuples(r.get());
    if (n == 0)
        throw DbError(QStringLiteral("The procedure %1 does not exist in the database %2.")
                          .arg(baseProcedureName(name), m_current));
    ProcInfo proc;
    proc.displayName = baseProcedureName(name);
    const QByteArray firstOid = PQgetvalue(r.get(), 0, 0);
    proc.qualified = QString::fromUtf8(PQgetvalue(r.get(), 0, 1));
    const bool retset = PQgetvalue(r.get(), 0, 2)[0] == 't';
    const QString retType = QString::fromUtf8(PQgetvalue(r.get(), 0, 3));
    proc.returnsRows = retset || retType == QLatin1String("record")
        || (paramTypeOf(retType) != ParamType::Integer && retType != QLatin1String("void"));
    for (int i = 0; i < n; ++i) {
        if (QByteArray(PQgetvalue(r.get(), i, 0)) != firstOid)
            throw DbError(QStringLiteral("The procedure name %1 is ambiguous.").arg(proc.displayName));
        if (PQgetisnull(r.get(), i, 4))
            continue;  // no arguments at all
        const char mode = PQgetvalue(r.get(), i, 4)[0];
        if (mode != 'i' && mode != 'b' && mode != 'v')
            continue;
        PgArg arg;
        arg.name = QString::fromUtf8(PQgetvalue(r.get(), i, 5));
        if (arg.name.isEmpty())
            arg.name = QStringLiteral("$%1").arg(proc.args.size() + 1);
        arg.type = static_cast<Oid>(QByteArray(PQgetvalue(r.get(), i, 6)).toUInt());
        arg.kind = paramTypeOf(QString::fromUtf8(PQgetvalue(r.get(), i, 7)));
        proc.args.push_back(arg);
    }
    return *m_procs.insert(key, std::move(proc));
}

}  // namespace corvanta::pg
