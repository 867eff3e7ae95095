#include "engines/IntakeCheck.h"

#include <QDate>
#include <QString>

namespace corvanta {

const std::array<const char*, kSalesParams> kInsertSalesParamNames = {
    "@USERCODE", "@PTYPENAME", "@STANDARD", "@TYPE", "@UNIT", "@AREA",
    "@DATE", "@QTY", "@TOTAL", "@COSTTOTAL", "@VCHTYPE", "@ID",
};
const std::array<const char*, kStockParams> kInsertStockParamNames = {
    "@USERCODE", "@PTYPENAME", "@STANDARD", "@TYPE", "@UNIT", "@AREA", "@KCQTY", "@KCTOTAL", "@ID",
};

namespace {

// The ASCII part of QChar::isSpace.
inline bool isAsciiSpace(unsigned char c) { return c == ' ' || (c >= 9 && c <= 13); }
inline bool isDigit(char c) { return c >= '0' && c <= '9'; }

bool allDigits(std::string_view s)
{
    if (s.empty())
        return false;
    for (char c : s)
        if (!isDigit(c))
            return false;
    return true;
}

int number(std::string_view digits)
{
    int v = 0;
    for (char c : digits)
        v = v * 10 + (c - '0');
    return v;
}

}  // namespace

std::string_view TrimmedUtf8(std::string_view value, std::string& scratch)
{
    size_t b = 0, e = value.size();
    while (b < e && isAsciiSpace(static_cast<unsigned char>(value[b])))
        ++b;
    while (e > b && isAsciiSpace(static_cast<unsigned char>(value[e - 1])))
        --e;
    const std::string_view t = value.substr(b, e - b);
    if (t.empty() || (static_cast<unsigned char>(t.front()) < 0x80 && static_cast<unsigned char>(t.back()) < 0x80))
        return t;
    // White space beyond ASCII (U+3000, U+00A0, ...) is Qt's business.
    const QByteArray trimmed = QString::fromUtf8(t.data(), qsizetype(t.size())).trimmed().toUtf8();
    scratch.assign(trimmed.constData(), size_t(trimmed.size()));
    return scratch;
}

std::optional<Day> ParseDay(std::string_view value)
{
    std::string scratch;
    const std::string_view t = TrimmedUtf8(value, scratch);
    std::string_view y, m, d;
    if (t.size() == 8 && allDigits(t)) {
        y = t.substr(0, 4);
        m = t.substr(4, 2);
        d = t.substr(6, 2);
    } else {
        if (t.size() <= 4 || (t[4] != '-' && t[4] != '/'))
            return std::nullopt;
        const char sep = t[4];
        const size_t second = t.find(sep, 5);
        if (second == std::string_view::npos || t.find(sep, second + 1) != std::string_view::npos)
            return std::nullopt;
        y = t.substr(0, 4);
        m = t.substr(5, second - 5);
        d = t.substr(second + 1);
        if (!allDigits(y) || m.empty() || m.size() > 2 || d.empty() || d.size() > 2 || !allDigits(m) || !allDigits(d))
            return std::nullopt;
    }
    const int year = number(y), month = number(m), dayOfMonth = number(d);
    const QDate date(year, month, dayOfMonth);
    if (year < 1 || !date.isValid())
        return std::nullopt;
    Day out;
    out.julian = date.toJulianDay();
    char* p = out.text.data();
    auto put = [&p](int v, int width) {
        for (int i = width - 1; i >= 0; --i, v /= 10)
            p[i] = char('0' + v % 10);
        p += width;
    };
    put(year, 4);
    *p++ = '-';
    put(month, 2);
    *p++ = '-';
    put(dayOfMonth, 2);
    return out;
}

std::optional<qint64> ParseScaled(std::string_view value)
{
    std::string scratch;
    const std::string_view t = TrimmedUtf8(value, scratch);
    size_t i = 0;
    bool negative = false;
    if (i < t.size() && (t[i] == '+' || t[i] == '-'))
        negative = t[i++] == '-';
    const size_t intBegin = i;
    while (i < t.size() && isDigit(t[i]))
        ++i;
    std::string_view intPart = t.substr(intBegin, i - intBegin);
    std::string_view fracPart;
    if (i < t.size() && t[i] == '.') {
        const size_t fracBegin = ++i;
        while (i < t.size() && isDigit(t[i]))
            ++i;
        fracPart = t.substr(fracBegin, i - fracBegin);
    }
    if (i != t.size() || (intPart.empty() && fracPart.empty()))
        return std::nullopt;
    while (!intPart.empty() && intPart.front() == '0')
        intPart.remove_prefix(1);
    while (!fracPart.empty() && fracPart.back() == '0')
        fracPart.remove_suffix(1);
    if (intPart.size() > 12 || fracPart.size() > 6)
        return std::nullopt;
    qint64 v = 0;
    for (char c : intPart)
        v = v * 10 + (c - '0');
    for (size_t k = 0; k < 6; ++k)
        v = v * 10 + (k < fracPart.size() ? fracPart[k] - '0' : 0);
    return negative ? -v : v;
}

// ---- checks ---------------------------------------------------------------------------------

int IntakeChecker::sales(const SalesValues& v, SalesRow& row)
{
    row.id = TrimmedUtf8(v[SpId], m_id);
    if (!m_outletExists(row.id))
        return -2;
    const std::optional<Day> day = ParseDay(v[SpDate]);
    const std::optional<qint64> qty = ParseScaled(v[SpQty]);
    const std::optional<qint64> total = ParseScaled(v[SpTotal]);
    const std::optional<qint64> cost = ParseScaled(v[SpCostTotal]);
    const std::string_view vch = TrimmedUtf8(v[SpVchType], m_vch);
    if (!day || !qty || !total || !cost || (vch != "11" && vch != "45"))
        return -1;
    row.usercode = TrimmedUtf8(v[SpUserCode], m_code);
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
    row.id = TrimmedUtf8(v[KpId], m_id);
    if (!m_outletExists(row.id))
        return -2;
    const std::optional<qint64> qty = ParseScaled(v[KpKcQty]);
    const std::optional<qint64> total = ParseScaled(v[KpKcTotal]);
    if (!qty || !total)
        return -1;
    row.usercode = TrimmedUtf8(v[KpUserCode], m_code);
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
