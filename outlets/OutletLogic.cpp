#include "outlets/OutletLogic.h"

#include "connection/UDMData.h"
#include "base/Gbk.h"
#include "base/TextHelpers.h"

#include <exception>
#include <limits>

namespace corvanta {

const QStringList& OutletGridHeadings()
{
    static const QStringList headings{
        QStringLiteral("行号"),     QStringLiteral("网点编号"), QStringLiteral("网点名称"), QStringLiteral("网点类型"),
        QStringLiteral("联系电话"), QStringLiteral("传真"),     QStringLiteral("联系人"),   QStringLiteral("联系地址"),
    };
    return headings;
}

const std::array<int, kOutletColumns>& OutletGridWidths()
{
    static const std::array<int, kOutletColumns> widths{56, 63, 97, 81, 116, 84, 56, 221};
    return widths;
}

int OutletGridRowCount(int n)
{
    return Larger(22, n + 2);
}

QStringList OutletGridCells(int number, const OutletRecord& o)
{
    return {QString::number(number), o.id, o.name, o.type, o.telephone, o.fax, o.linkman, o.address};
}

std::vector<OutletRecord> LoadOutlets(TDMData& dm, Messages& messages, QString* error)
{
    std::vector<OutletRecord> outlets;
    messages.busy(true);
    try {
        dm.CallProc(dm.ADOSProc, QStringLiteral("hz_GetNet"), {}, true);
        TADOCommand& q = dm.ADOSProc;
        for (; !q.Eof(); q.Next()) {
            OutletRecord o;
            o.id = q.FieldText(QStringLiteral("ID"));
            o.name = q.FieldText(QStringLiteral("AGENTNAME"));
            o.type = q.FieldText(QStringLiteral("AGENTTYPE"));
            o.telephone = q.FieldText(QStringLiteral("TELEPHONE"));
            o.fax = q.FieldText(QStringLiteral("FAX"));
            o.linkman = q.FieldText(QStringLiteral("LINKMAN"));
            o.address = q.FieldText(QStringLiteral("ADDRESS"));
            outlets.push_back(std::move(o));
        }
    } catch (const std::exception& e) {
        // The window shows what could be read; scripts must learn that the list is incomplete.
        if (error)
            *error = QString::fromUtf8(e.what());
    }
    messages.busy(false);
    return outlets;
}

OutletGridTable::OutletGridTable(const std::vector<OutletRecord>& outlets)
{
    m_rows.reserve(outlets.size() + 1);
    m_rows.push_back(OutletGridHeadings());
    int k = 0;
    for (const OutletRecord& o : outlets)
        m_rows.push_back(OutletGridCells(++k, o));
    m_rowCount = OutletGridRowCount(int(outlets.size()));
}

QString OutletGridTable::cell(int row, int column) const
{
    if (row < 0 || size_t(row) >= m_rows.size() || column < 0 || column >= kOutletColumns)
        return QString();
    return m_rows[size_t(row)][column];
}

int OutletGridTable::columnWidth(int column) const
{
    return column >= 0 && column < kOutletColumns ? OutletGridWidths()[size_t(column)] : 0;
}

std::optional<int> DeleteOutlet(TDMData& dm, Messages& messages, const QString& id)
{
    if (id.isEmpty())
        return std::nullopt;
    const int r = dm.CallProc(dm.ADOSProc, QStringLiteral("hz_deleteNet"), {{QStringLiteral("@ID"), id}});
    if (r == -1)
        messages.systemBox(QStringLiteral("系统提示"), QStringLiteral("该网点已经有商品销售记录，不能删除！"));
    else if (r == -2)
        messages.systemBox(QStringLiteral("系统提示"), QStringLiteral("网点编号%1不存在，没有删除任何网点！").arg(id));
    return r;
}

bool PrintOutletList(DATABASEFILE& tables, Messages& messages, const GridSource& grid,
                     const PrintHandoff::Launcher& launcher)
{
    PrintHandoff handoff(tables, messages);
    if (launcher)
        handoff.setLauncher(launcher);
    const std::vector<TitleField> title{{QStringLiteral("商品编号"), 100, QStringLiteral("商品编号")}};
    return handoff.PrintReport(title, grid, QStringLiteral("销售网点信息.rwx"));
}

std::optional<qint32> ReadWholeNumber(const QString& text)
{
    const qsizetype n = text.size();
    qsizetype i = 0;
    while (i < n && text[i] == QLatin1Char(' '))
        ++i;
    bool negative = false;
    if (i < n && (text[i] == QLatin1Char('+') || text[i] == QLatin1Char('-'))) {
        negative = text[i] == QLatin1Char('-');
        ++i;
    }
    int base = 10;
    if (i < n && (text[i] == QLatin1Char('$') || text[i] == QLatin1Char('x') || text[i] == QLatin1Char('X'))) {
        base = 16;
        ++i;
    } else if (i + 1 < n && text[i] == QLatin1Char('0') &&
               (text[i + 1] == QLatin1Char('x') || text[i + 1] == QLatin1Char('X'))) {
        base = 16;
        i += 2;
    }
    if (i >= n)
        return std::nullopt;
    // One beyond the largest magnitude (that of the smallest value) stops the loop early.
    constexpr qint64 limit = qint64(std::numeric_limits<qint32>::max()) + 1;
    qint64 value = 0;
    for (; i < n; ++i) {
        const char16_t c = text[i].unicode();
        int digit = -1;
        if (c >= u'0' && c <= u'9')
            digit = c - u'0';
        else if (base == 16 && c >= u'a' && c <= u'f')
            digit = c - u'a' + 10;
        else if (base == 16 && c >= u'A' && c <= u'F')
            digit = c - u'A' + 10;
        if (digit < 0)
            return std::nullopt;
        value = value * base + digit;
        if (value > limit)
            return std::nullopt;
    }
    if (negative)
        value = -value;
    if (value > std::numeric_limits<qint32>::max() || value < std::numeric_limits<qint32>::min())
        return std::nullopt;
    return qint32(value);
}

OutletSaveResult SaveOutlet(TDMData& dm, Messages& messages, OutletMode mode, const OutletRecord& o)
{
    const QString myok = QStringLiteral("myok");
    if (IsBlank(o.name) || IsBlank(o.id)) {
        messages.superMsg(QStringLiteral("警告！"), QStringLiteral("网点编号或名称不能为空!"), myok);
        return {false, OutletFocus::Name};
    }
    if (!ReadWholeNumber(o.id)) {
        messages.superMsg(QStringLiteral("警告！"), QStringLiteral("网点编号只能是数字!"), myok);
        return {false, OutletFocus::Name};
    }
    const QString proc = mode == OutletMode::Add ? QStringLiteral("hz_InsertNet") : QStringLiteral("hz_ModiNet");
    int r = 0;
    try {
        r = dm.CallProc(dm.ADOSProc, proc,
                        {{QStringLiteral("@ID"), o.id},
                         {QStringLiteral("@AGENTNAME"), o.name},
                         {QStringLiteral("@AGENTTYPE"), o.type},
                         {QStringLiteral("@TELEPHONE"), o.telephone},
                         {QStringLiteral("@FAX"), o.fax},
                         {QStringLiteral("@ADDRESS"), o.address},
                         {QStringLiteral("@LINKMAN"), o.linkman}});
    } catch (const std::exception& e) {
        messages.superMsg(QStringLiteral("提示信息"), QStringLiteral("数据库写入失败！"), myok);
        messages.cause(CauseText(e));
        return {false, OutletFocus::None};
    }
    if (r == -1) {
        messages.superMsg(QStringLiteral("提示信息"), QStringLiteral("数据库操作失败！"), myok);
        return {false, OutletFocus::None};
    }
    if (r == -2) {
        messages.superMsg(QStringLiteral("提示信息"), QStringLiteral("网点编号重复，请从新输入！"), myok);
        return {false, OutletFocus::Code};
    }
    return {true, OutletFocus::None};
}

std::optional<QString> OutletLengthProblem(const OutletRecord& o)
{
    struct Field {
        const char* label;
        const QString& text;
        int maxBytes;
    };
    const Field fields[] = {
        {"网点名称", o.name, kOutletNameBytes},       {"网点编号", o.id, kOutletIdBytes},
        {"联系地址", o.address, kOutletAddressBytes}, {"网点类型", o.type, kOutletShortFieldBytes},
        {"传真", o.fax, kOutletShortFieldBytes},      {"联系人", o.linkman, kOutletShortFieldBytes},
        {"电话", o.telephone, kOutletShortFieldBytes},
    };
    for (const Field& f : fields) {
        if (gbk::byteLength(f.text) > f.maxBytes)
            return QStringLiteral("%1最多%2个字节（汉字算两个）：%3")
                .arg(QString::fromUtf8(f.label))
                .arg(f.maxBytes)
                .arg(f.text);
    }
    return std::nullopt;
}

}  // namespace corvanta
