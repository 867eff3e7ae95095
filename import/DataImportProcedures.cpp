#include "import/DataImportProcedures.h"

#include "connection/UDMData.h"

namespace corvanta {

DataImportProcedures::DataImportProcedures(TDMData& dm) : m_dm(dm) {}

void DataImportProcedures::deleSales()
{
    m_dm.CallProc(m_dm.ADOSProc, QStringLiteral("hz_deleSales"));
}

int DataImportProcedures::insert(const QString& proc, Prepared& prepared, const IntakeLine& line)
{
    const int count = line.fieldCount();
    if (prepared.ready && prepared.allText && prepared.utf8Form) {
        // The engine's own form first: the fields as UTF-8, in the parameters' order.
        m_views.resize(prepared.values.size());
        for (std::size_t i = 0; i < prepared.values.size(); ++i) {
            const int f = prepared.fieldOf[i];
            m_views[i] = f < 0 ? std::string_view() : line.utf8Field(f);
        }
        if (const std::optional<qlonglong> rc = m_dm.ADOConnection.engine().bulkCallText(proc, m_views))
            return int(*rc);
        prepared.utf8Form = false;  // the engine has none: do not build it again
    }
    if (prepared.ready && prepared.allText) {
        for (std::size_t i = 0; i < prepared.values.size(); ++i) {
            const int f = prepared.fieldOf[i];
            prepared.values[i].second = f < 0 ? QVariant() : QVariant(line.field(f));
        }
        return int(m_dm.ADOConnection.engine().call(proc, prepared.values).returnValue);
    }

    m_values.resize(size_t(count));
    for (int i = 0; i < count; ++i) {
        m_values[size_t(i)].first = QLatin1String(line.paramName(i));
        m_values[size_t(i)].second = line.field(i);
    }
    const int rc = m_dm.CallProc(m_dm.ADOSProc, proc, m_values);
    if (!prepared.ready && m_bulk) {
        prepared = Prepared();
        prepared.allText = true;
        for (const TParameter& p : m_dm.ADOSProc.Parameters()) {
            if (p.info.direction != ParamDirection::Input)
                continue;
            if (p.info.type != ParamType::Text)
                prepared.allText = false;
            int f = -1;
            for (int i = 0; i < count; ++i)
                if (p.info.name.compare(QLatin1String(line.paramName(i)), Qt::CaseInsensitive) == 0)
                    f = i;
            prepared.values.emplace_back(p.info.name, QVariant());
            prepared.fieldOf.push_back(f);
        }
        prepared.ready = true;
    }
    return rc;
}

int DataImportProcedures::insertSales(const IntakeLine& line)
{
    return insert(QStringLiteral("hz_InsertSales"), m_sales, line);
}

int DataImportProcedures::insertStock(const IntakeLine& line)
{
    return insert(QStringLiteral("hz_InsertStock"), m_stock, line);
}

int DataImportProcedures::addSales()
{
    return m_dm.CallProc(m_dm.ADOSProc, QStringLiteral("hz_AddSales"));
}

int DataImportProcedures::addStock()
{
    return m_dm.CallProc(m_dm.ADOSProc, QStringLiteral("hz_AddStock"));
}

void DataImportProcedures::beginIntake()
{
    m_dm.ADOConnection.engine().beginBulk();
    m_bulk = true;
    m_sales = Prepared();
    m_stock = Prepared();
}

void DataImportProcedures::endIntake()
{
    m_sales = Prepared();
    m_stock = Prepared();
    if (m_bulk) {
        m_bulk = false;
        m_dm.ADOConnection.engine().endBulk();
    }
}

}  // namespace corvanta
