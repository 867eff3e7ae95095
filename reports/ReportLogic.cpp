#include "reports/ReportLogic.h"

#include "connection/UDMData.h"
#include "base/Gbk.h"
#include "base/TextHelpers.h"
#include "base/Values.h"
#include "grid/ColConfigStore.h"

#include <QStringEncoder>
#include <charconv>
#include <limits>
#include <string>
#include <utility>

namespace corvanta {

namespace {

const QString kWordSale = QStringLiteral("销售");
const QString kWordReturn = QStringLiteral("销售退货");
const std::string kWordSaleUtf8 = kWordSale.toStdString();
const std::string kWordReturnUtf8 = kWordReturn.toStdString();

bool isEleven(std::string_view code)
{
    // The value as delivered may carry blanks or be a decimal text such as "11.0".
    while (!code.empty() && code.front() == ' ')
        code.remove_prefix(1);
    while (!code.empty() && code.back() == ' ')
        code.remove_suffix(1);
    if (code == "11")
        return true;
    long long whole = 0;
    const auto [end, ec] = std::from_chars(code.data(), code.data() + code.size(), whole);
    if (ec == std::errc() && end == code.data() + code.size())
        return whole == 11;
    const QString t = QString::fromUtf8(code.data(), qsizetype(code.size()));
    bool ok = false;
    const double v = t.toDouble(&ok);
    return ok && v == 11.0;
}

void appendUtf8(std::string& out, QStringView text)
{
    static QStringEncoder encoder(QStringEncoder::Utf8);
    const std::size_t old = out.size();
    out.resize(old + std::size_t(encoder.requiredSpace(text.size())));
    char* end = encoder.appendToBuffer(out.data() + old, text);
    out.resize(std::size_t(end - out.data()));
}

// The text form of a delivered value, appended as UTF-8 without a QString for whole numbers.
void appendValue(std::string& out, const QVariant& v)
{
    if (v.isNull())
        return;
    switch (v.typeId()) {
    case QMetaType::LongLong:
    case QMetaType::Int:
    case QMetaType::Long: {
        char buf[24];
        const auto r = std::to_chars(buf, buf + sizeof buf, v.toLongLong());
        out.append(buf, r.ptr);
        return;
    }
    case QMetaType::QString: {
        appendUtf8(out, *static_cast<const QString*>(v.constData()));
        return;
    }
    default:
        appendUtf8(out, v.toString());
    }
}

// Close, clear, name with ";1", prepare, refresh: the first steps of every call.
void prepare(TADOStoredProc& cmd, const QString& proc)
{
    cmd.Close();
    cmd.ClearParameters();
    cmd.SetProcedureName(proc + QStringLiteral(";1"));
    cmd.SetPrepared(true);
    cmd.RefreshParameters();
}

// The hourglass while the query runs; off again before a message is shown.
class Busy {
public:
    explicit Busy(Messages& messages) : m_messages(messages) { m_messages.busy(true); }
    ~Busy() { release(); }
    void release()
    {
        if (m_on)
            m_messages.busy(false);
        m_on = false;
    }

private:
    Messages& m_messages;
    bool m_on = true;
};

// The guarded binding of the outlet number: a value the procedure cannot take as a whole number
// shows the message and ends the run before anything is opened.
bool bindOutlet(TADOStoredProc& cmd, Messages& messages, const QString& value, Busy& busy)
{
    try {
        cmd.SetParam(QStringLiteral("@ID"), value);
    } catch (const DbError&) {
        busy.release();
        messages.systemBox(kSystemCaption, kOutletNumberText);
        bool outOfRange = false;
        if (OutletNumber(value, &outOfRange) || outOfRange)
            messages.cause(QStringLiteral("网点编号 %1 超出范围：应在 %2 至 %3 之间")
                               .arg(value.trimmed())
                               .arg(std::numeric_limits<qint32>::min())
                               .arg(std::numeric_limits<qint32>::max()));
        return false;
    }
    return true;
}

bool datesInOrder(Messages& messages, const QDate& from, const QDate& to)
{
    if (to < from) {
        messages.systemBox(kSystemCaption, kDateOrderText);
        return false;
    }
    return true;
}

enum class Cell { Number, Field, DocWord };

struct Source {
    Cell kind;
    int field = -1;
};

// Reads the open rowset into a store: column 0 the row number, the others by their sources.
// The rowset is let go afterwards: a long result is not to be held twice.
CellStore readResult(TADOStoredProc& cmd, const std::vector<ReportColumn>& columns,
                     const std::vector<Cell>& kinds)
{
    std::vector<Source> sources;
    sources.reserve(columns.size());
    for (std::size_t c = 0; c < columns.size(); ++c)
        sources.push_back({kinds[c], kinds[c] == Cell::Number ? -1 : cmd.FieldIndex(columns[c].field)});
    cmd.First();
    const int n = cmd.RecordCount();
    if (cmd.TextRowset() && cmd.CurrentRow() == 0) {
        // Text form: the engine's columns become ours as they are; only the row numbers and the
        // document-type words are made here.
        std::vector<CellStore::Column> in = cmd.TakeTextRowset()->releaseColumns();
        std::vector<int> uses(in.size());
        for (const Source& s : sources)
            if (s.kind == Cell::Field)
                ++uses[std::size_t(s.field)];
        std::vector<CellStore::Column> out(sources.size());
        for (std::size_t c = 0; c < sources.size(); ++c) {
            const Source& s = sources[c];
            CellStore::Column& col = out[c];
            col.ends.reserve(std::size_t(n));
            if (s.kind == Cell::Number) {
                col.arena.reserve(std::size_t(n) * 7);
                char number[16];
                for (int r = 1; r <= n; ++r) {
                    col.arena.append(number, std::to_chars(number, number + sizeof number, r).ptr);
                    col.ends.push_back(std::uint32_t(col.arena.size()));
                }
            } else if (s.kind == Cell::DocWord) {
                const CellStore::Column& codes = in[std::size_t(s.field)];
                for (int r = 0; r < n; ++r) {
                    col.arena += isEleven(CellStore::plain(codes, r)) ? kWordSaleUtf8 : kWordReturnUtf8;
                    col.ends.push_back(std::uint32_t(col.arena.size()));
                }
            }
        }
        for (std::size_t c = 0; c < sources.size(); ++c) {
            const Source& s = sources[c];
            if (s.kind != Cell::Field)
                continue;
            CellStore::Column& from = in[std::size_t(s.field)];
            out[c] = --uses[std::size_t(s.field)] ? from : std::move(from);
        }
        return CellStore::fromColumns(std::move(out));
    }
    CellStore store(int(columns.size()));
    store.reserve(std::size_t(n > 0 ? n : 0));
    std::vector<std::string_view> views(columns.size());
    std::string row;
    std::vector<std::size_t> ends(columns.size());
    int number = 0;
    for (; !cmd.Eof(); cmd.Next()) {
        row.clear();
        ++number;
        for (std::size_t c = 0; c < sources.size(); ++c) {
            const Source& s = sources[c];
            if (s.kind == Cell::Number) {
                char buf[16];
                const auto r = std::to_chars(buf, buf + sizeof buf, number);
                row.append(buf, r.ptr);
            } else if (s.kind == Cell::DocWord) {
                const std::size_t start = row.size();
                appendValue(row, cmd.FieldValueAt(s.field));
                const bool sale = isEleven(std::string_view(row).substr(start));
                row.resize(start);
                row += sale ? kWordSaleUtf8 : kWordReturnUtf8;
            } else {
                appendValue(row, cmd.FieldValueAt(s.field));
            }
            ends[c] = row.size();
        }
        std::size_t start = 0;
        for (std::size_t c = 0; c < ends.size(); ++c) {
            views[c] = std::string_view(row).substr(start, ends[c] - start);
            start = ends[c];
        }
        store.appendRow(views);
    }
    cmd.Close();
    return store;
}

// One report: the procedure, its text parameters by name, the outlet number bound with its
// guard, and what each grid column holds. Dated reports check the order of their dates first.
struct ReportCall {
    QString procedure;
    const QDate* from = nullptr;  // with to: bound as @date1 and @date2
    const QDate* to = nullptr;
    std::vector<std::pair<QString, QString>> params;
    const QString& outlet;
    const std::vector<ReportColumn>& columns;
    int docWordColumn = -1;  // the column that shows the document type as a word
};

ReportRun runReport(TDMData& dm, Messages& messages, const ReportCall& call)
{
    ReportRun run;
    if (call.from && !datesInOrder(messages, *call.from, *call.to)) {
        run.outcome = RunOutcome::DateOrder;
        return run;
    }
    Busy busy(messages);
    TADOStoredProc& cmd = dm.ADOSProc;
    prepare(cmd, call.procedure);
    if (call.from) {
        cmd.SetParam(QStringLiteral("@date1"), ProcDate(*call.from));
        cmd.SetParam(QStringLiteral("@date2"), ProcDate(*call.to));
    }
    for (const auto& [name, value] : call.params)
        cmd.SetParam(name, value);
    if (!bindOutlet(cmd, messages, call.outlet, busy)) {
        run.outcome = RunOutcome::BadOutlet;
        return run;
    }
    cmd.Open();
    std::vector<Cell> kinds(call.columns.size(), Cell::Field);
    kinds.front() = Cell::Number;
    if (call.docWordColumn >= 0)
        kinds[std::size_t(call.docWordColumn)] = Cell::DocWord;
    run.cells = readResult(cmd, call.columns, kinds);
    return run;
}

}  // namespace

// ---- shared rules -----------------------------------------------------------------------------

QString FilterValue(bool ticked, const QString& text)
{
    return ticked ? text.trimmed() : QString();
}

QString DocTypeValue(bool ticked, const QString& comboText)
{
    const QString t = comboText.trimmed();
    if (!ticked || t.isEmpty())
        return QString();
    return t == kWordSale ? QStringLiteral("11") : QStringLiteral("45");
}

QString DocTypeWord(std::string_view code)
{
    return isEleven(code) ? kWordSale : kWordReturn;
}

int ReportRowCount(int n)
{
    return Larger(22, n + 2);
}

QString ProcDate(const QDate& date)
{
    return date.toString(QStringLiteral("yyyy-MM-dd"));
}

std::optional<QDate> ParseProcDate(const QString& text)
{
    // By hand: a regular expression and a date format cost more to set up than the command's
    // whole query when the result is small.
    if (text.size() != 10 || text[4] != u'-' || text[7] != u'-')
        return std::nullopt;
    auto number = [&](int from, int n) {
        int v = 0;
        for (int i = from; i < from + n; ++i) {
            const char16_t c = text[i].unicode();
            if (c < u'0' || c > u'9')
                return -1;
            v = v * 10 + (c - u'0');
        }
        return v;
    };
    const int y = number(0, 4), m = number(5, 2), d = number(8, 2);
    if (y < 0 || m < 0 || d < 0)
        return std::nullopt;
    const QDate date(y, m, d);
    if (!date.isValid())
        return std::nullopt;
    return date;
}

std::vector<int> ColumnWidths(const std::vector<ReportColumn>& columns)
{
    std::vector<int> w;
    for (const ReportColumn& c : columns)
        w.push_back(c.width);
    return w;
}

static QStringList headingsOf(const std::vector<ReportColumn>& columns)
{
    QStringList h;
    for (const ReportColumn& c : columns)
        h << c.heading;
    return h;
}

// ---- sales query ------------------------------------------------------------------------------

const std::vector<ReportColumn>& SalesColumns()
{
    static const std::vector<ReportColumn> columns{
        {QStringLiteral("序号"), 30, QString()},
        {QStringLiteral("商品编码"), 50, QStringLiteral("USERCODE")},
        {QStringLiteral("商品名称"), 204, QStringLiteral("PTYPENAME")},
        {QStringLiteral("网点编号"), 54, QStringLiteral("ID")},
        {QStringLiteral("网点名称"), 123, QStringLiteral("AGENTNAME")},
        {QStringLiteral("规格"), 35, QStringLiteral("STANDARD")},
        {QStringLiteral("型号"), 34, QStringLiteral("TYPE")},
        {QStringLiteral("单位"), 28, QStringLiteral("UNIT")},
        {QStringLiteral("产地"), 40, QStringLiteral("AREA")},
        {QStringLiteral("销售日期"), 104, QStringLiteral("DATE")},
        {QStringLiteral("数量"), 75, QStringLiteral("QTY")},
        {QStringLiteral("金额"), 70, QStringLiteral("TOTAL")},
        {QStringLiteral("成本"), 64, QStringLiteral("COSTTOTAL")},
        {QStringLiteral("单据类型"), 64, QStringLiteral("VCHTYPE")},
    };
    return columns;
}

QStringList SalesHeadings()
{
    return headingsOf(SalesColumns());
}

ReportRun RunSalesQuery(TDMData& dm, Messages& messages, const SalesFilters& f)
{
    return runReport(dm, messages,
                     {QStringLiteral("hz_GetSales"), &f.from, &f.to,
                      {{QStringLiteral("@USERCODE"), f.code},
                       {QStringLiteral("@PTYPENAME"), f.name},
                       {QStringLiteral("@AGENTNAME"), f.outletName},
                       {QStringLiteral("@AREA"), f.area},
                       {QStringLiteral("@VCHTYPE"), f.docType}},
                      f.outlet, SalesColumns(), int(SalesColumns().size()) - 1});
}

TitleField SalesTitle(const QDate& from, const QDate& to)
{
    const QString value = QStringLiteral("(商品销售时间 从") + ProcDate(from) + QStringLiteral("到") + ProcDate(to) +
                          QStringLiteral(")");
    return {QStringLiteral("销售时间"), 100, gbk::truncateToBytes(value, 80)};
}

// ---- sales statistics -------------------------------------------------------------------------

const QStringList& StatModeItems()
{
    static const QStringList items{QStringLiteral("按产品统计"), QStringLiteral("按网点统计"),
                                   QStringLiteral("按单据类型统计"), QStringLiteral("按时间统计")};
    return items;
}

QString StatModeCode(int mode)
{
    static const char* codes[kStatModes] = {"P", "N", "V", "D"};
    return mode >= 0 && mode < kStatModes ? QString::fromLatin1(codes[mode]) : QString();
}

int StatModeFromCode(const QString& code)
{
    for (int m = 0; m < kStatModes; ++m)
        if (code.compare(StatModeCode(m), Qt::CaseInsensitive) == 0)
            return m;
    return -1;
}

QStringList StatHeadings(int mode)
{
    QStringList h = headingsOf(StatColumns());
    static const char* first[kStatModes] = {"商品编号", "网点编号", "", ""};
    static const char* second[kStatModes] = {"商品名称", "网点名称", "单据名称", "销售时间"};
    if (mode >= 0 && mode < kStatModes) {
        h[1] = QString::fromUtf8(first[mode]);
        h[2] = QString::fromUtf8(second[mode]);
    }
    return h;
}

QString StatTemplate(int mode)
{
    static const char* templates[kStatModes] = {"商品销售情况统计表.rwx", "网点销售情况统计表.rwx",
                                                "每日销售情况统计表.rwx", "销售退货统计表.rwx"};
    return mode >= 0 && mode < kStatModes ? QString::fromUtf8(templates[mode]) : QString();
}

const std::vector<ReportColumn>& StatColumns()
{
    static const std::vector<ReportColumn> columns{
        {QStringLiteral("行号"), 30, QString()},
        {QStringLiteral("商品编码"), 50, QStringLiteral("code")},
        {QStringLiteral("商品名称"), 255, QStringLiteral("FullName")},
        {QStringLiteral("数量"), 103, QStringLiteral("AllQTY")},
        {QStringLiteral("金额"), 85, QStringLiteral("AllTOTAL")},
        {QStringLiteral("成本"), 67, QStringLiteral("ALLCOSTTOTAL")},
        {QStringLiteral("利润"), 90, QStringLiteral("PROFIT")},
    };
    return columns;
}

ReportRun RunStatistics(TDMData& dm, Messages& messages, const StatFilters& f)
{
    return runReport(dm, messages,
                     {QStringLiteral("hz_AllStat"), &f.from, &f.to,
                      {{QStringLiteral("@iType"), StatModeCode(f.mode)},
                       {QStringLiteral("@USERCODE"), f.code},
                       {QStringLiteral("@PTYPENAME"), f.name},
                       {QStringLiteral("@AGENTNAME"), f.outletName},
                       {QStringLiteral("@VCHTYPE"), f.docType}},
                      f.outlet, StatColumns(), f.mode == 2 ? 2 : -1});
}

// ---- stock query ------------------------------------------------------------------------------

const std::vector<ReportColumn>& StockColumns()
{
    static const std::vector<ReportColumn> columns{
        {QStringLiteral("序号"), 30, QString()},
        {QStringLiteral("商品编码"), 50, QStringLiteral("USERCODE")},
        {QStringLiteral("商品名称"), 204, QStringLiteral("PTYPENAME")},
        {QStringLiteral("网点编号"), 50, QStringLiteral("ID")},
        {QStringLiteral("网点名称"), 159, QStringLiteral("AGENTNAME")},
        {QStringLiteral("规格"), 35, QStringLiteral("STANDARD")},
        {QStringLiteral("型号"), 34, QStringLiteral("TYPE")},
        {QStringLiteral("单位"), 32, QStringLiteral("UNIT")},
        {QStringLiteral("产地"), 39, QStringLiteral("AREA")},
        {QStringLiteral("库存数量"), 93, QStringLiteral("KCQTY")},
        {QStringLiteral("库存金额"), 93, QStringLiteral("KCTOTAL")},
    };
    return columns;
}

QStringList StockHeadings()
{
    return headingsOf(StockColumns());
}

ReportRun RunStockQuery(TDMData& dm, Messages& messages, const StockFilters& f)
{
    return runReport(dm, messages,
                     {QStringLiteral("hz_GetStock"), nullptr, nullptr,
                      {{QStringLiteral("@USERCODE"), f.code},
                       {QStringLiteral("@PTYPENAME"), f.name},
                       {QStringLiteral("@AGENTNAME"), f.outletName},
                       {QStringLiteral("@AREA"), f.area}},
                      f.outlet, StockColumns()});
}

TitleField StockTitle()
{
    return {QStringLiteral("商品编号"), 100, QStringLiteral("商品编号")};
}

// ---- lookup picker ----------------------------------------------------------------------------

std::optional<PickerMode> PickerModeFor(const QString& mode)
{
    if (mode == QLatin1String("N"))
        return PickerMode{QStringLiteral("hz_GetNet"), QStringLiteral("网点编号"), QStringLiteral("网点名称"),
                          QStringLiteral("ID"), QStringLiteral("AGENTNAME")};
    if (mode == QLatin1String("P") || mode == QLatin1String("SP"))
        return PickerMode{mode == QLatin1String("P") ? QStringLiteral("hz_GetSalesName") : QStringLiteral("hz_GetSPName"),
                          QStringLiteral("商品编号"), QStringLiteral("商品名称"), QStringLiteral("USERCODE"),
                          QStringLiteral("PTYPENAME")};
    return std::nullopt;
}

CellStore LoadPickerList(TDMData& dm, const QString& mode)
{
    const std::optional<PickerMode> m = PickerModeFor(mode);
    if (!m)
        throw DbError(QStringLiteral("Unknown picker mode \"%1\"").arg(mode));
    TADOStoredProc& cmd = dm.ADOSProc;
    prepare(cmd, m->procedure);
    cmd.Open();
    const std::vector<ReportColumn> columns{{QStringLiteral("序号"), 30, QString()},
                                            {m->heading1, 58, m->field1},
                                            {m->heading2, 413, m->field2}};
    return readResult(cmd, columns, {Cell::Number, Cell::Field, Cell::Field});
}

// ---- totals under a result grid -------------------------------------------------------------

const std::vector<TotalsColumn>& SalesTotals()
{
    static const std::vector<TotalsColumn> t{{QStringLiteral("数量"), 10},
                                             {QStringLiteral("金额"), 11},
                                             {QStringLiteral("成本"), 12},
                                             {QStringLiteral("利润"), 11, 12}};
    return t;
}

const std::vector<TotalsColumn>& StatTotals()
{
    static const std::vector<TotalsColumn> t{{QStringLiteral("数量"), 3},
                                             {QStringLiteral("金额"), 4},
                                             {QStringLiteral("成本"), 5},
                                             {QStringLiteral("利润"), 6}};
    return t;
}

const std::vector<TotalsColumn>& StockTotals()
{
    static const std::vector<TotalsColumn> t{{QStringLiteral("库存数量"), 9}, {QStringLiteral("库存金额"), 10}};
    return t;
}

namespace {

// Digit groups of three in the whole part: "1234567.5" reads "1,234,567.5".
QString grouped(const QString& number)
{
    const qsizetype sign = number.startsWith(u'-') ? 1 : 0;
    qsizetype end = number.indexOf(u'.');
    if (end < 0)
        end = number.size();
    QString out = number;
    for (qsizetype at = end - 3; at > sign; at -= 3)
        out.insert(at, u',');
    return out;
}

}  // namespace

QString ResultTotalsText(const CellStore& cells, const std::vector<TotalsColumn>& sums)
{
    const int n = cells.rowCount();
    QStringList parts{QStringLiteral("共 %1 行").arg(grouped(QString::number(n)))};
    for (const TotalsColumn& t : sums) {
        qint64 total = 0;
        bool exact = t.column < cells.columnCount() && t.minus < cells.columnCount();
        // A number beyond the exact range makes the sum unknown; a text that is no number is 0.
        auto value = [&](int column, int row) -> std::optional<qint64> {
            const std::string_view text = cells.utf8(column, row);
            if (const std::optional<qint64> v = scaled::parse(text))
                return v;
            if (CanonicalDecimal(QString::fromUtf8(text.data(), qsizetype(text.size()))))
                return std::nullopt;
            return 0;
        };
        for (int r = 0; r < n && exact; ++r) {
            const std::optional<qint64> a = value(t.column, r);
            const std::optional<qint64> b = t.minus >= 0 ? value(t.minus, r) : std::optional<qint64>(0);
            qint64 v = 0;
            if (!a || !b || __builtin_sub_overflow(*a, *b, &v))
                exact = false;
            if (exact && __builtin_add_overflow(total, v, &total))
                exact = false;
        }
        parts << t.label + QLatin1Char(' ') + (exact ? grouped(scaled::format(total)) : QStringLiteral("—"));
    }
    return parts.join(QStringLiteral("    "));
}

// ---- printing ---------------------------------------------------------------------------------

ReportGridTable::ReportGridTable(QStringList headings, std::vector<int> widths, const CellStore& cells)
    : m_headings(std::move(headings)), m_widths(std::move(widths)), m_cells(cells)
{
}

ReportGridTable::ReportGridTable(QStringList headings, std::vector<int> widths, const CellStore& cells,
                                 std::vector<int> sources)
    : m_headings(std::move(headings)), m_widths(std::move(widths)), m_cells(cells), m_sources(std::move(sources))
{
}

QString ReportGridTable::cell(int row, int column) const
{
    if (column < 0 || column >= columnCount())
        return QString();
    if (row == 0)
        return m_headings[column];
    return m_cells.cell(m_sources.empty() ? column : m_sources[std::size_t(column)], row - 1);
}

std::string_view ReportGridTable::cellUtf8(int row, int column, std::string& scratch) const
{
    if (row == 0 || column < 0 || column >= columnCount())
        return GridSource::cellUtf8(row, column, scratch);
    return m_cells.utf8(m_sources.empty() ? column : m_sources[std::size_t(column)], row - 1);
}

ShownColumns ConfiguredColumns(TDMData& dm, const QString& gridId, const std::vector<ReportColumn>& columns)
{
    ShownColumns all;
    for (std::size_t c = 0; c < columns.size(); ++c) {
        all.headings << columns[c].heading;
        all.widths.push_back(columns[c].width);
        all.sources.push_back(int(c));
    }
    std::vector<ColConfigRecord> records;
    if (!ReadColConfig(dm, gridId, records) || records.size() + 1 != columns.size())
        return all;
    // Records made for other headings are rebuilt by the window before use: the grid shows all.
    for (std::size_t i = 0; i < records.size(); ++i)
        if (records[i].orderCode != int(i) + 1 || records[i].defaultName != columns[i + 1].heading.trimmed())
            return all;
    ShownColumns shown;
    shown.headings << columns[0].heading;
    shown.widths.push_back(columns[0].width);
    shown.sources.push_back(0);
    const std::vector<ColumnSlot> placed = ColumnSlots(records, int(columns.size()));
    for (std::size_t p = 1; p < placed.size(); ++p) {
        const ColumnSlot& s = placed[p];
        if (s.source < 1 || s.source >= int(columns.size()) || s.name.trimmed().isEmpty())
            continue;
        shown.headings << s.name;
        shown.widths.push_back(s.width > 0 ? s.width : columns[std::size_t(s.source)].width);
        shown.sources.push_back(s.source);
    }
    return shown;
}

int ReportGridTable::columnWidth(int column) const
{
    return column >= 0 && std::size_t(column) < m_widths.size() ? m_widths[std::size_t(column)] : 0;
}

bool PrintReportGrid(DATABASEFILE& tables, Messages& messages, const TitleField& title, const GridSource& grid,
                     const QString& templateName, const PrintHandoff::Launcher& launcher)
{
    PrintHandoff handoff(tables, messages);
    if (launcher)
        handoff.setLauncher(launcher);
    return handoff.PrintReport({title}, grid, templateName);
}

}  // namespace corvanta
