#include "import/DataImportProcedures.h"

#include "connection/UDMData.h"

namespace corvanta {

namespace {
const QString kDeleSales = QStringLiteral("hz_deleSales");
const QString kInsertSales = QStringLiteral("hz_InsertSales");
const QString kInsertStock = QStringLiteral("hz_InsertStock");
const QString kAddSales = QStringLiteral("hz_AddSales");
const QString kAddStock = QStringLiteral("hz_AddStock");

std::size_t slot(IntakeKind kind) { return kind == IntakeKind::Sales ? 0 : 1; }
}  // namespace

DataImportProcedures::DataImportProcedures(TDMData& dm) : m_dm(dm) {}

DataImportProcedures::~DataImportProcedures()
{
    endSession();
}

void DataImportProcedures::endSession()
{
    if (m_session) {
        m_session->abandon();
        m_session.reset();
    }
    m_form = {Form::Unknown, Form::Unknown};
}

void DataImportProcedures::deleSales()
{
    endSession();
    m_dm.CallProc(m_dm.ADOSProc, kDeleSales);
}

std::vector<QString> DataImportProcedures::outletKeys()
{
    std::vector<QString> keys;
    TADOStoredProc& q = m_dm.ADOSProc;
    m_dm.CallProc(q, QStringLiteral("hz_GetNet"), {}, true);
    for (; !q.Eof(); q.Next())
        keys.push_back(q.FieldText(QStringLiteral("ID")).trimmed());
    q.Close();
    return keys;
}

void DataImportProcedures::refresh(const QString& proc)
{
    TADOStoredProc& cmd = m_dm.ADOSProc;
    cmd.Close();
    cmd.ClearParameters();
    cmd.SetProcedureName(proc + QStringLiteral(";1"));
    cmd.SetPrepared(true);
    cmd.RefreshParameters();
}

DataImportProcedures::Form DataImportProcedures::sessionForm(IntakeKind kind, const QString& proc)
{
    Form& form = m_form[slot(kind)];
    if (form != Form::Unknown)
        return form;
    form = Form::Call;
    if (!m_session)
        return form;
    // The parameters the session takes, each once, all text, and nothing else.
    refresh(proc);
    const std::span<const char* const> names = intakeParamNames(kind);
    std::vector<bool> seen(names.size(), false);
    std::size_t inputs = 0;
    for (const TParameter& p : m_dm.ADOSProc.Parameters()) {
        if (p.info.direction != ParamDirection::Input)
            continue;
        ++inputs;
        std::size_t i = 0;
        while (i < names.size() && p.info.name.compare(QLatin1String(names[i]), Qt::CaseInsensitive) != 0)
            ++i;
        if (i == names.size() || seen[i] || p.info.type != ParamType::Text)
            return form;
        seen[i] = true;
    }
    if (inputs == names.size())
        form = Form::Session;
    return form;
}

int DataImportProcedures::insert(IntakeKind kind, const IntakeLine& line)
{
    const QString& proc = kind == IntakeKind::Sales ? kInsertSales : kInsertStock;
    const int count = line.fieldCount();
    if (sessionForm(kind, proc) == Form::Session) {
        for (int i = 0; i < count; ++i)
            m_values[std::size_t(line.param(i))] = line.utf8Field(i);
        return m_session->add(kind, std::span<const std::string_view>(m_values.data(), std::size_t(count)));
    }
    m_callValues.resize(std::size_t(count));
    for (int i = 0; i < count; ++i) {
        m_callValues[std::size_t(i)].first = QLatin1String(line.paramName(i));
        m_callValues[std::size_t(i)].second = line.field(i);
    }
    return m_dm.CallProc(m_dm.ADOSProc, proc, m_callValues);
}

int DataImportProcedures::insertSales(const IntakeLine& line)
{
    return insert(IntakeKind::Sales, line);
}

int DataImportProcedures::insertStock(const IntakeLine& line)
{
    return insert(IntakeKind::Stock, line);
}

int DataImportProcedures::consolidate(bool sales, bool stock)
{
    if (m_session) {
        // The procedures must be there, as their calls would find.
        if (sales)
            refresh(kAddSales);
        if (stock)
            refresh(kAddStock);
        std::unique_ptr<IntakeSession> session = std::move(m_session);
        m_form = {Form::Unknown, Form::Unknown};
        if (const std::optional<int> rc = session->consolidate(sales, stock))
            return *rc;
    }
    int rc = sales ? m_dm.CallProc(m_dm.ADOSProc, kAddSales) : 0;
    if (rc == 0 && stock)
        rc = m_dm.CallProc(m_dm.ADOSProc, kAddStock);
    return rc;
}

int DataImportProcedures::addSales()
{
    return consolidate(true, false);
}

int DataImportProcedures::addStock()
{
    return consolidate(false, true);
}

void DataImportProcedures::beginIntake()
{
    endSession();
    m_session = m_dm.BeginIntake();
}

void DataImportProcedures::endIntake()
{
    if (m_session)
        m_session->complete();
}

void DataImportProcedures::abandonIntake()
{
    endSession();
}

}  // namespace corvanta
