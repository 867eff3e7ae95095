#include "connection/UDMData.h"

#include "engines/RowsetForm.h"
#include "base/Sysdef.h"
#include "base/Values.h"

#include <QDate>
#include <QDateTime>
#include <cmath>

namespace corvanta {

namespace {

bool isReturnValueName(const QString& name)
{
    return name.compare(QLatin1String("RETURN_VALUE"), Qt::CaseInsensitive) == 0
           || name.compare(QLatin1String("@RETURN_VALUE"), Qt::CaseInsensitive) == 0;
}

QString typeName(ParamType t)
{
    switch (t) {
    case ParamType::Integer: return QStringLiteral("integer");
    case ParamType::Text: return QStringLiteral("text");
    case ParamType::Decimal: return QStringLiteral("decimal");
    case ParamType::Date: return QStringLiteral("date");
    }
    return QString();
}

bool isIntegral(const QVariant& v)
{
    switch (v.typeId()) {
    case QMetaType::Int:
    case QMetaType::UInt:
    case QMetaType::LongLong:
    case QMetaType::ULongLong:
    case QMetaType::Long:
    case QMetaType::ULong:
    case QMetaType::Short:
    case QMetaType::UShort:
    case QMetaType::Bool:
        return true;
    default:
        return false;
    }
}

bool isFloating(const QVariant& v)
{
    return v.typeId() == QMetaType::Double || v.typeId() == QMetaType::Float;
}

// The value in the form the engine expects for the declared type; nullopt when it cannot be
// converted. Blank text gives NULL for the non-text types (an unused filter).
std::optional<QVariant> convert(const QVariant& value, ParamType type)
{
    if (!value.isValid() || value.isNull())
        return QVariant();
    switch (type) {
    case ParamType::Text:
        if (value.typeId() == QMetaType::QDate)
            return QVariant(value.toDate().toString(QStringLiteral("yyyy-MM-dd")));
        return QVariant(value.toString());
    case ParamType::Integer: {
        if (isIntegral(value)) {
            const qlonglong n = value.toLongLong();
            if (value.typeId() == QMetaType::ULongLong && value.toULongLong() > quint64(2147483647))
                return std::nullopt;
            if (n < -2147483648LL || n > 2147483647LL)
                return std::nullopt;
            return QVariant(n);
        }
        if (isFloating(value)) {
            const double d = value.toDouble();
            if (!std::isfinite(d) || d != std::trunc(d) || d < -2147483648.0 || d > 2147483647.0)
                return std::nullopt;
            return QVariant(qlonglong(d));
        }
        const QString s = value.toString();
        if (s.trimmed().isEmpty())
            return QVariant();
        const std::optional<qint32> n = ParseInt32(s);
        if (!n)
            return std::nullopt;
        return QVariant(qlonglong(*n));
    }
    case ParamType::Decimal: {
        QString s;
        if (isIntegral(value))
            s = QString::number(value.toLongLong());
        else if (isFloating(value)) {
            if (!std::isfinite(value.toDouble()))
                return std::nullopt;
            s = QString::number(value.toDouble(), 'f', 10);  // a double's shortest text can carry an exponent
        } else
            s = value.toString();
        if (s.trimmed().isEmpty())
            return QVariant();
        const std::optional<QString> c = CanonicalDecimal(s);
        if (!c)
            return std::nullopt;
        return QVariant(*c);
    }
    case ParamType::Date: {
        if (value.typeId() == QMetaType::QDate) {
            if (!value.toDate().isValid())
                return std::nullopt;
            return QVariant(value.toDate().toString(QStringLiteral("yyyy-MM-dd")));
        }
        if (value.typeId() == QMetaType::QDateTime)
            return QVariant(value.toDateTime().date().toString(QStringLiteral("yyyy-MM-dd")));
        const QString s = value.toString();
        if (s.trimmed().isEmpty())
            return QVariant();
        const std::optional<QString> c = CanonicalDate(s);
        if (!c)
            return std::nullopt;
        return QVariant(*c);
    }
    }
    return std::nullopt;
}

}  // namespace

// ---- TField ---------------------------------------------------------------------------------

QString TField::AsString() const
{
    return m_value.isNull() ? QString() : m_value.toString();
}

qlonglong TField::AsInteger() const
{
    if (m_value.isNull())
        return 0;
    if (isIntegral(m_value))
        return m_value.toLongLong();
    bool ok = false;
    const qlonglong n = m_value.toString().trimmed().toLongLong(&ok);
    if (!ok)
        throw DbError(QStringLiteral("Field %1: \"%2\" is not a whole number").arg(m_name, m_value.toString()));
    return n;
}

// ---- TADOCommand ---------------------------------------------------------------------------

void TADOCommand::Close()
{
    m_rowset.reset();
    m_fieldIndex.clear();
    m_row = 0;
}

void TADOCommand::ClearParameters()
{
    m_params.clear();
    m_returnValue.reset();
}

void TADOCommand::SetProcedureName(const QString& name)
{
    Close();
    m_procName = name;
    m_procBare = name.trimmed();
    const qsizetype semi = m_procBare.lastIndexOf(QLatin1Char(';'));
    if (semi >= 0)
        m_procBare = m_procBare.left(semi).trimmed();
}

void TADOCommand::RefreshParameters()
{
    if (m_procBare.isEmpty())
        throw DbError(QStringLiteral("No procedure name set"));
    Engine& e = m_conn.engine();
    const auto key = std::make_pair(e.currentDatabase().toLower(), m_procBare.toLower());
    auto& cache = m_conn.ParamCache();
    auto it = cache.find(key);
    if (it == cache.end())
        it = cache.emplace(key, e.procedureParams(m_procBare)).first;
    m_params.clear();
    m_returnValue.reset();
    for (const ParamInfo& p : it->second)
        m_params.push_back({p, QVariant()});
}

TParameter* TADOCommand::findParam(const QString& name)
{
    const bool rv = isReturnValueName(name);
    for (TParameter& p : m_params) {
        if (rv ? p.info.direction == ParamDirection::ReturnValue
               : p.info.name.compare(name, Qt::CaseInsensitive) == 0)
            return &p;
    }
    return nullptr;
}

const TParameter* TADOCommand::findParam(const QString& name) const
{
    return const_cast<TADOCommand*>(this)->findParam(name);
}

void TADOCommand::SetParam(const QString& name, const QVariant& value)
{
    TParameter* p = findParam(name);
    if (!p || p->info.direction != ParamDirection::Input)
        throw DbError(QStringLiteral("Parameter %1 not found in procedure %2").arg(name, m_procBare));
    const std::optional<QVariant> v = convert(value, p->info.type);
    if (!v)
        throw DbError(QStringLiteral("Procedure %1, parameter %2: \"%3\" cannot be converted to %4")
                          .arg(m_procBare, p->info.name, value.toString(), typeName(p->info.type)));
    p->value = *v;
}

CallResult TADOCommand::run()
{
    if (m_procBare.isEmpty())
        throw DbError(QStringLiteral("No procedure name set"));
    if (m_params.empty())
        RefreshParameters();
    std::vector<std::pair<QString, QVariant>> values;
    for (const TParameter& p : m_params)
        if (p.info.direction == ParamDirection::Input)
            values.emplace_back(p.info.name, p.value);
    Close();
    m_returnValue.reset();
    const TextRowsetScope textForm;  // this module reads both forms
    CallResult r = m_conn.engine().call(m_procBare, values);
    m_returnValue = r.returnValue;
    return r;
}

void TADOCommand::Open()
{
    CallResult r = run();
    if (!r.rowset)
        throw DbError(QStringLiteral("Procedure %1 returned no rowset").arg(m_procBare));
    m_rowset = std::move(r.rowset);
    for (int i = 0; i < m_rowset->fields.size(); ++i)
        m_fieldIndex.emplace(m_rowset->fields[i].toLower(), i);
    m_row = 0;
}

void TADOCommand::ExecProc()
{
    run();
}

QVariant TADOCommand::ParamValue(const QString& name) const
{
    const TParameter* p = findParam(name);
    if (!p)
        throw DbError(QStringLiteral("Parameter %1 not found in procedure %2").arg(name, m_procBare));
    if (p->info.direction == ParamDirection::ReturnValue)
        return m_returnValue ? QVariant(*m_returnValue) : QVariant();
    return p->value;
}

int TADOCommand::ReturnValue() const
{
    const QVariant v = ParamValue(ReturnValueName());
    return v.isNull() ? 0 : int(v.toLongLong());
}

bool TADOCommand::Eof() const
{
    return !m_rowset || m_row >= m_rowset->rowCount();
}

void TADOCommand::Next()
{
    if (!Eof())
        ++m_row;
}

int TADOCommand::RecordCount() const
{
    return m_rowset ? int(m_rowset->rowCount()) : 0;
}

const QStringList& TADOCommand::FieldNames() const
{
    static const QStringList none;
    return m_rowset ? m_rowset->fields : none;
}

bool TADOCommand::HasField(const QString& name) const
{
    return m_fieldIndex.count(name.toLower()) != 0;
}

TField TADOCommand::FieldByName(const QString& name) const
{
    if (!m_rowset)
        throw DbError(QStringLiteral("Field %1: the rowset is not open").arg(name));
    const auto it = m_fieldIndex.find(name.toLower());
    if (it == m_fieldIndex.end())
        throw DbError(QStringLiteral("Field %1 not found in the result of %2").arg(name, m_procBare));
    if (Eof())
        throw DbError(QStringLiteral("Field %1: no current row (end of rowset)").arg(name));
    if (m_rowset->text) {
        const std::string_view v = m_rowset->text->utf8(it->second, int(m_row));
        return TField(m_rowset->fields[it->second],
                      v.empty() ? QVariant() : QVariant(QString::fromUtf8(v.data(), qsizetype(v.size()))));
    }
    const QVariantList& row = m_rowset->rows[m_row];
    return TField(m_rowset->fields[it->second], it->second < row.size() ? row[it->second] : QVariant());
}

int TADOCommand::FieldIndex(const QString& name) const
{
    if (!m_rowset)
        throw DbError(QStringLiteral("Field %1: the rowset is not open").arg(name));
    const auto it = m_fieldIndex.find(name.toLower());
    if (it == m_fieldIndex.end())
        throw DbError(QStringLiteral("Field %1 not found in the result of %2").arg(name, m_procBare));
    return it->second;
}

QVariant TADOCommand::FieldValueAt(int index) const
{
    if (!m_rowset || Eof())
        throw DbError(QStringLiteral("No current row (end of rowset)"));
    if (m_rowset->text) {
        const std::string_view v = m_rowset->text->utf8(index, int(m_row));
        return v.empty() ? QVariant() : QVariant(QString::fromUtf8(v.data(), qsizetype(v.size())));
    }
    const QVariantList& row = m_rowset->rows[m_row];
    return index >= 0 && index < row.size() ? row[index] : QVariant();
}

const CellStore* TADOCommand::TextRowset() const
{
    return m_rowset && m_rowset->text ? &*m_rowset->text : nullptr;
}

std::optional<CellStore> TADOCommand::TakeTextRowset()
{
    if (!m_rowset || !m_rowset->text)
        return std::nullopt;
    std::optional<CellStore> text = std::move(m_rowset->text);
    Close();
    return text;
}

void TADOCommand::Execute()
{
    Close();
    m_conn.engine().execSql(m_commandText);
    // A script may (re)define procedures.
    m_conn.Invalidate();
}

// ---- TADOConnection ------------------------------------------------------------------------

TADOConnection::~TADOConnection() = default;

void TADOConnection::SetProperty(const QString& name, const QString& value)
{
    for (auto& [k, v] : m_props)
        if (k.compare(name, Qt::CaseInsensitive) == 0) {
            v = value;
            return;
        }
    m_props.emplace_back(name, value);
}

void TADOConnection::ClearProperties()
{
    m_props.clear();
}

std::optional<QString> TADOConnection::Property(const QString& name) const
{
    for (const auto& [k, v] : m_props)
        if (k.compare(name, Qt::CaseInsensitive) == 0)
            return v;
    return std::nullopt;
}

void TADOConnection::Open()
{
    Close();
    ConnectionProps props;
    props.dataSource = Property(QStringLiteral("Data Source")).value_or(QString());
    props.initialCatalog = Property(QStringLiteral("Initial Catalog")).value_or(QStringLiteral("master"));
    props.userId = Property(QStringLiteral("User Id")).value_or(QString());
    props.password = Property(QStringLiteral("PASSWORD"));
    std::unique_ptr<Engine> e = makeEngine(m_engineKind);
    e->open(props);
    m_engine = std::move(e);
    Invalidate();
}

void TADOConnection::Close()
{
    if (m_engine)
        m_engine->close();
    m_engine.reset();
    Invalidate();
}

bool TADOConnection::Connected() const
{
    return m_engine && m_engine->isOpen();
}

QString TADOConnection::DefaultDatabase() const
{
    return Connected() ? m_engine->currentDatabase() : Property(QStringLiteral("Initial Catalog")).value_or(QString());
}

void TADOConnection::SetDefaultDatabase(const QString& name)
{
    Engine& e = engine();
    if (e.currentDatabase().compare(name, Qt::CaseInsensitive) == 0)
        return;
    e.useDatabase(name);
}

QString TADOConnection::EngineKind() const
{
    return m_engine ? m_engine->kind() : m_engineKind;
}

Engine& TADOConnection::engine()
{
    if (!Connected())
        throw DbError(QStringLiteral("The connection is not open"));
    return *m_engine;
}

// ---- TDMData ---------------------------------------------------------------------------------

TDMData::TDMData()
    : ADOSProc(ADOConnection), QueryProc(ADOConnection), InsertProc(ADOConnection), ADOCofig(ADOConnection),
      CreateGetZt(ADOConnection), ADOQuery2(ADOConnection), ADOQueryCreateDb(ADOConnection)
{
}

TDMData::~TDMData() = default;

void TDMData::Connect(const QString& server, const QString& user, const QString& password, const QString& engineKind)
{
    ADOConnection.Close();
    ADOConnection.ClearProperties();
    ADOConnection.SetEngineKind(engineKind);
    ADOConnection.SetProperty(QStringLiteral("Data Source"), server);
    ADOConnection.SetProperty(QStringLiteral("Initial Catalog"), QStringLiteral("master"));
    ADOConnection.SetProperty(QStringLiteral("User Id"), user);
    if (!password.isEmpty())
        ADOConnection.SetProperty(QStringLiteral("PASSWORD"), password);
    ADOConnection.Open();
}

int TDMData::CallProc(TADOStoredProc& cmd, const QString& procName,
                      const std::vector<std::pair<QString, QVariant>>& values, bool open)
{
    cmd.Close();
    cmd.ClearParameters();
    cmd.SetProcedureName(procName + QStringLiteral(";1"));
    cmd.SetPrepared(true);
    cmd.RefreshParameters();
    for (const auto& [name, value] : values)
        cmd.SetParam(name, value);
    if (open)
        cmd.Open();
    else
        cmd.ExecProc();
    return cmd.ReturnValue();
}

void TDMData::CreateCatalogueTable()
{
    ADOQueryCreateDb.Close();
    ADOQueryCreateDb.SetCommandText(ADOConnection.engine().catalogueTableStatement());
    ADOQueryCreateDb.Execute();
}

void TDMData::RunScript(const QString& text)
{
    CreateGetZt.Close();
    CreateGetZt.SetCommandText(text);
    CreateGetZt.Execute();
    CreateGetZt.Close();
}

void TDMData::RestoreDatabase(const QString& dbName)
{
    ValidateDatabaseName(dbName);
    // The engine restores from its own template; there is no statement text to send.
    ADOQuery2.Close();
    ADOConnection.engine().restoreTemplate(dbName);
}

void TDMData::AbandonDatabase(const QString& dbName)
{
    if (ADOConnection.Connected())
        ADOConnection.engine().abandonCreation(dbName);
}

QString TDMData::CatalogueScriptPath(const QString& name)
{
    return ADOConnection.engine().catalogueScriptPath(name);
}

std::unique_ptr<IntakeSession> TDMData::BeginIntake()
{
    return ADOConnection.engine().beginIntake();
}

QString TDMData::EngineKind() const
{
    return ADOConnection.EngineKind();
}

}  // namespace corvanta
