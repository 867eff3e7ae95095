#include "import/DataImportProcedures.h"

#include "connection/UDMData.h"

namespace corvanta {

DataImportProcedures::DataImportProcedures(TDMData& dm) : m_dm(dm) {}

void DataImportProcedures::deleSales()
{
    m_dm.CallProc(m_dm.ADOSProc, QStringLiteral("hz_deleSales"));
}

int DataImportProcedures::insert(const QString& proc, const IntakeLine& line)
{
    const int count = line.fieldCount();
    m_values.resize(size_t(count));
    for (int i = 0; i < count; ++i) {
        m_values[size_t(i)].first = QLatin1String(line.paramName(i));
        m_values[size_t(i)].second = line.field(i).toString();
    }
    return m_dm.CallProc(m_dm.ADOSProc, proc, m_values);
}

int DataImportProcedures::insertSales(const IntakeLine& line)
{
    return insert(QStringLiteral("hz_InsertSales"), line);
}

int DataImportProcedures::insertStock(const IntakeLine& line)
{
    return insert(QStringLiteral("hz_InsertStock"), line);
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
}

void DataImportProcedures::endIntake()
{
    if (m_bulk) {
        m_bulk = false;
        m_dm.ADOConnection.engine().endBulk();
    }
}

}  // namespace corvanta
