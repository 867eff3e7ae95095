#include "tests/import/FakeProcedures.h"

namespace corvanta::test {

void FakeProcedures::deleSales()
{
    m_log.add(QStringLiteral("deleSales"));
    if (onDeleSales)
        onDeleSales();
}

int FakeProcedures::insert(const char* name, const IntakeLine& line)
{
    m_log.add(QStringLiteral("%1 %2").arg(QLatin1String(name)).arg(line.lineNo));
    if (onInsert)
        onInsert(line);
    if (auto t = throwAt.find(line.lineNo); t != throwAt.end())
        throw std::runtime_error(t->second.toStdString());
    if (auto r = refuse.find(line.lineNo); r != refuse.end())
        return r->second;
    std::map<QString, QString> values;
    for (int i = 0; i < line.fieldCount(); ++i)
        values[QLatin1String(line.paramName(i))] = line.field(i);
    taken.push_back(values);
    return 0;
}

int FakeProcedures::insertSales(const IntakeLine& line) { return insert("insertSales", line); }
int FakeProcedures::insertStock(const IntakeLine& line) { return insert("insertStock", line); }

int FakeProcedures::addSales()
{
    m_log.add(QStringLiteral("addSales"));
    return addResult;
}

int FakeProcedures::addStock()
{
    m_log.add(QStringLiteral("addStock"));
    return addResult;
}

}  // namespace corvanta::test
