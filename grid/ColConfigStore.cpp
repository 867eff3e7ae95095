#include "grid/ColConfigStore.h"

#include "connection/UDMData.h"
#include "base/TextHelpers.h"

#include <algorithm>

namespace corvanta {

int CallColConfig(TDMData& dm, const QString& id, const QString& defaultName, const QString& userName,
                  int visible, int sysVisible, int orderCode, int colOrder, int width, const QString& sMode)
{
    return dm.CallProc(dm.ADOCofig, QStringLiteral("CW_r_GetColConfig"),
                       {{QStringLiteral("@ID"), id},
                        {QStringLiteral("@DefaultName"), defaultName},
                        {QStringLiteral("@UserName"), userName},
                        {QStringLiteral("@Visible"), visible},
                        {QStringLiteral("@SysVisible"), sysVisible},
                        {QStringLiteral("@OrderCode"), orderCode},
                        {QStringLiteral("@ColOrder"), colOrder},
                        {QStringLiteral("@UserID"), QString()},
                        {QStringLiteral("@Width"), width},
                        {QStringLiteral("@sMode"), sMode}});
}

bool ReadColConfig(TDMData& dm, const QString& gridId, std::vector<ColConfigRecord>& records)
{
    records.clear();
    if (CallColConfig(dm, gridId, QString(), QString(), 0, 0, 0, 0, 0, QStringLiteral("S")) < 0)
        return false;
    TADOStoredProc& cmd = dm.ADOCofig;
    cmd.Open();
    for (cmd.First(); !cmd.Eof(); cmd.Next()) {
        ColConfigRecord r;
        r.orderCode = int(cmd.FieldByName(QStringLiteral("OrderCode")).AsInteger());
        const QString order = cmd.FieldText(QStringLiteral("ColOrder")).trimmed();
        bool ok = false;
        r.colOrder = order.toInt(&ok);
        if (!ok)
            throw ConversionError("'" + order.toStdString() + "' is not a valid integer value");
        r.defaultName = cmd.FieldText(QStringLiteral("DefaultName")).trimmed();
        r.userName = cmd.FieldText(QStringLiteral("UserName")).trimmed();
        r.visible = int(cmd.FieldByName(QStringLiteral("Visible")).AsInteger());
        r.sysVisible = int(cmd.FieldByName(QStringLiteral("SysVisible")).AsInteger());
        r.width = int(cmd.FieldByName(QStringLiteral("Width")).AsInteger());
        records.push_back(std::move(r));
    }
    cmd.Close();
    return true;
}

std::vector<ColumnSlot> ColumnSlots(const std::vector<ColConfigRecord>& records, int columnCount)
{
    std::vector<ColumnSlot> placed(std::size_t(std::max(columnCount, 1)));
    placed[0].source = 0;
    for (const ColConfigRecord& r : records) {
        if (r.visible != 1 && r.sysVisible != 1)
            continue;
        if (r.colOrder < 1 || r.colOrder >= columnCount)
            continue;
        placed[std::size_t(r.colOrder)] = {r.orderCode, r.userName, r.width};
    }
    return placed;
}

}  // namespace corvanta
