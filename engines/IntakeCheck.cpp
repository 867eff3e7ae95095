#include "engines/IntakeCheck.h"

#include "base/ValuesUtf8.h"


namespace corvanta {

const std::array<const char*, kSalesParams> kInsertSalesParamNames = {
    "@USERCODE", "@PTYPENAME", "@STANDARD", "@TYPE", "@UNIT", "@AREA",
    "@DATE", "@QTY", "@TOTAL", "@COSTTOTAL", "@VCHTYPE", "@ID",
};
const std::array<const char*, kStockParams> kInsertStockParamNames = {
    "@USERCODE", "@PTYPENAME", "@STANDARD", "@TYPE", "@UNIT", "@AREA", "@KCQTY", "@KCTOTAL", "@ID",
};

// ---- checks ---------------------------------------------------------------------------------

int IntakeChecker::sales(const SalesValues& v, SalesRow& row)
{
    row.id = values::trimmedUtf8(v[SpId], m_id);
    if (!m_outletExists(row.id))
        return -2;
    const std::optional<Day> day = values::parseDayUtf8(v[SpDate]);
    const std::optional<qint64> qty = values::parseScaledUtf8(v[SpQty]);
    const std::optional<qint64> total = values::parseScaledUtf8(v[SpTotal]);
    const std::optional<qint64> cost = values::parseScaledUtf8(v[SpCostTotal]);
    const std::string_view vch = values::trimmedUtf8(v[SpVchType], m_vch);
    if (!day || !qty || !total || !cost || (vch != "11" && vch != "45"))
        return -1;
    row.usercode = values::trimmedUtf8(v[SpUserCode], m_code);
    row.ptypename = v[SpPtypeName];
    row.standard = v[SpStandard];
    row.type = v[SpType];
    row.unit = v[SpUnit];
    row.area = v[SpArea];
    row.day = *day;
    row.qty = *qty;
    row.total = *total;
    row.cost = *cost;
    row.vchType = vch == "11" ? 11 : 45;
    return 0;
}

int IntakeChecker::stock(const StockValues& v, StockRow& row)
{
    row.id = values::trimmedUtf8(v[KpId], m_id);
    if (!m_outletExists(row.id))
        return -2;
    const std::optional<qint64> qty = values::parseScaledUtf8(v[KpKcQty]);
    const std::optional<qint64> total = values::parseScaledUtf8(v[KpKcTotal]);
    if (!qty || !total)
        return -1;
    row.usercode = values::trimmedUtf8(v[KpUserCode], m_code);
    row.ptypename = v[KpPtypeName];
    row.standard = v[KpStandard];
    row.type = v[KpType];
    row.unit = v[KpUnit];
    row.area = v[KpArea];
    row.qty = *qty;
    row.total = *total;
    return 0;
}

}  // namespace corvanta
