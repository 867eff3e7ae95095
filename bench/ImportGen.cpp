#include "bench/ImportGen.h"

#include "base/Gbk.h"

#include <QFile>
#include <algorithm>
#include <cstdio>
#include <iterator>
#include <numeric>
#include <string>
#include <vector>

namespace corvanta::bench {

namespace {

// splitmix64: the same sequence on every platform (std distributions are not portable).
struct Rng {
    std::uint64_t s;
    std::uint64_t next()
    {
        std::uint64_t z = (s += 0x9e3779b97f4a7c15ull);
        z = (z ^ (z >> 30)) * 0xbf58476d1ce4e5b9ull;
        z = (z ^ (z >> 27)) * 0x94d049bb133111ebull;
        return z ^ (z >> 31);
    }
    std::uint64_t below(std::uint64_t n) { return next() % n; }
};

struct Product {
    std::string name, code, standard, type, unit, area;  // GBK bytes
    int costCents;
};

std::string g(const QString& s) { return gbk::encode(s).toStdString(); }

std::vector<Product> catalogue(Rng& rng)
{
    const QStringList brands = {"康师傅", "统一", "农夫山泉", "娃哈哈", "伊利", "蒙牛", "旺旺", "达利园", "青岛",
                                "雪花", "洽洽", "三只松鼠", "良品铺子", "金龙鱼", "海天", "老干妈", "双汇", "立白",
                                "蓝月亮", "舒肤佳", "白象", "今麦郎", "光明", "银鹭", "加多宝", "王老吉"};
    const QStringList items = {"红烧牛肉面", "老坛酸菜面", "矿泉水", "纯牛奶", "酸奶", "雪饼", "小面包", "啤酒",
                               "香瓜子", "每日坚果", "调和油", "生抽酱油", "风味豆豉", "火腿肠", "洗衣液", "香皂",
                               "八宝粥", "凉茶", "绿茶", "冰红茶", "薯片", "方便粉丝", "花生牛奶", "蛋黄派"};
    const QStringList types = {"经典装", "家庭装", "促销装", "礼盒装", "量贩装", "普通型", "新品"};
    const QStringList units = {"箱", "瓶", "袋", "盒", "包", "桶", "件", "听", "提"};
    const QStringList areas = {"天津", "上海", "广州", "杭州", "北京", "成都", "武汉", "沈阳", "郑州", "西安",
                               "青岛", "福州", "长沙", "南京", "昆明"};
    const QStringList standards = {"120g*24", "550ml*24", "250ml*16", "1L*12", "500g", "2.5kg", "5L*4", "330ml*24",
                                   "85g*30", "40g*50", "75g*6", "1.5L*6"};
    std::vector<Product> out;
    int n = 0;
    for (const auto& b : brands) {
        for (const auto& i : items) {
            if (rng.below(3) != 0)
                continue;
            Product p;
            p.name = g(b + i);
            char code[16];
            std::snprintf(code, sizeof code, "69%011d", 1000003 * (++n) % 99999999 + 10000000);
            p.code = code;
            p.standard = g(standards[int(rng.below(uint64_t(standards.size())))]);
            p.type = g(types[int(rng.below(uint64_t(types.size())))]);
            p.unit = g(units[int(rng.below(uint64_t(units.size())))]);
            p.area = g(areas[int(rng.below(uint64_t(areas.size())))]);
            p.costCents = int(150 + rng.below(20000));
            out.push_back(std::move(p));
        }
    }
    return out;
}

// A catalogue of n products: the brands' items in their packings, numbered where they repeat.
// The same in every file, whatever the file's seed.
std::vector<Product> bigCatalogue(int n)
{
    Rng rng{20240101};
    std::vector<Product> base = catalogue(rng);
    const QStringList variants = {"经典装", "家庭装", "促销装", "礼盒装", "量贩装", "普通型", "新品", "特惠装"};
    std::vector<Product> out;
    out.reserve(size_t(n));
    for (int i = 0; i < n; ++i) {
        Product p = base[size_t(i) % base.size()];
        const int round = int(size_t(i) / base.size());
        p.name += g(variants[round % variants.size()]);
        if (round >= variants.size())
            p.name += std::to_string(round / variants.size());
        char code[16];
        std::snprintf(code, sizeof code, "69%011d", 10000000 + i * 7919 % 89999999);
        p.code = code;
        p.costCents = int(150 + rng.below(20000));
        out.push_back(std::move(p));
    }
    return out;
}

std::string money(long long cents)
{
    char b[32];
    std::snprintf(b, sizeof b, "%lld.%02lld", cents / 100, cents % 100);
    return b;
}

std::string salesHeader()
{
    return g("商品名称,商品编码,规格,型号,单位,产地,销售日期,数量,成本,金额,网点编号,单据类型") + "\r\n";
}

void salesLine(std::string& line, Rng& rng, const Product& p, const std::string& date, const std::string& outlet)
{
    const long long qty = 1 + (long long)rng.below(48);
    const long long cost = qty * p.costCents;
    const long long total = cost + cost * (long long)(5 + rng.below(40)) / 100;
    line.clear();
    for (const std::string* t : {&p.name, &p.code, &p.standard, &p.type, &p.unit, &p.area, &date}) {
        line += *t;
        line += ',';
    }
    line += std::to_string(qty); line += ',';
    line += money(cost); line += ',';
    line += money(total); line += ',';
    line += outlet; line += ',';
    line += rng.below(25) == 0 ? "45" : "11";
    line += "\r\n";
}

// Writes count distinct products of the catalogue for one outlet day (from a random start with a
// stride prime to the catalogue's size).
bool writeOutletDay(std::FILE* f, Rng& rng, const std::vector<Product>& products, const std::string& date,
                    const std::string& outlet, std::uint64_t count, std::string& line)
{
    static const std::uint64_t strides[] = {7, 11, 13, 17, 19, 23, 29, 31, 37, 41, 43, 47};
    const std::uint64_t n = products.size();
    std::uint64_t stride = strides[rng.below(std::size(strides))];
    while (std::gcd(stride, n) != 1)
        stride += 2;
    const std::uint64_t start = rng.below(n);
    for (std::uint64_t j = 0; j < count; ++j) {
        salesLine(line, rng, products[(start + j * stride) % n], date, outlet);
        if (std::fwrite(line.data(), 1, line.size(), f) != line.size())
            return false;
    }
    return true;
}

bool writeOutletShaped(const QString& path, const GenOptions& o)
{
    std::FILE* f = std::fopen(QFile::encodeName(path).constData(), "wb");
    if (!f) {
        std::fprintf(stderr, "cannot write %s\n", qPrintable(path));
        return false;
    }
    Rng rng{o.seed};
    const auto products = bigCatalogue(o.products);
    const QStringList outlets = GenOutletIds(o);
    const std::string header = salesHeader();
    bool ok = std::fwrite(header.data(), 1, header.size(), f) == header.size();
    const int days = o.month.daysInMonth();
    const std::uint64_t outletDays = std::uint64_t(days) * std::uint64_t(outlets.size());
    std::string line;
    for (int d = 0; d < days && ok; ++d) {
        const std::string date = o.month.addDays(d).toString(Qt::ISODate).toStdString();
        for (int k = 0; k < outlets.size() && ok; ++k) {
            // Spread evenly: the first (lines mod outlet days) outlet days have one line more.
            const std::uint64_t index = std::uint64_t(d) * std::uint64_t(outlets.size()) + std::uint64_t(k);
            const std::uint64_t count = std::min<std::uint64_t>(
                o.lines / outletDays + (index < o.lines % outletDays ? 1 : 0), products.size());
            ok = writeOutletDay(f, rng, products, date, outlets[k].toStdString(), count, line);
        }
    }
    if (std::fclose(f) != 0 || !ok) {
        std::fprintf(stderr, "cannot write %s\n", qPrintable(path));
        return false;
    }
    return true;
}

bool writeFile(const QString& path, const GenOptions& o, bool sales)
{
    if (sales && o.outletShaped)
        return writeOutletShaped(path, o);
    std::FILE* f = std::fopen(QFile::encodeName(path).constData(), "wb");
    if (!f) {
        std::fprintf(stderr, "cannot write %s\n", qPrintable(path));
        return false;
    }
    Rng rng{o.seed};
    const auto products = catalogue(rng);
    const QStringList outlets = GenOutletIds(o);
    std::string header = sales ? g("商品名称,商品编码,规格,型号,单位,产地,销售日期,数量,成本,金额,网点编号,单据类型")
                               : g("商品名称,商品编码,规格,型号,单位,产地,库存数量,库存金额,网点编号");
    header += "\r\n";
    std::fwrite(header.data(), 1, header.size(), f);
    // Days of 2024-01-01 .. 2024-03-31.
    static const int monthDays[3] = {31, 29, 31};
    std::string line;
    for (std::uint64_t i = 0; i < o.lines; ++i) {
        const Product& p = products[rng.below(products.size())];
        const std::string outlet = outlets[int(rng.below(uint64_t(outlets.size())))].toStdString();
        const long long qty = 1 + (long long)rng.below(48);
        line.clear();
        line += p.name; line += ',';
        line += p.code; line += ',';
        line += p.standard; line += ',';
        line += p.type; line += ',';
        line += p.unit; line += ',';
        line += p.area; line += ',';
        if (sales) {
            int day = int(rng.below(91)), month = 0;
            while (day >= monthDays[month])
                day -= monthDays[month++];
            char date[16];
            std::snprintf(date, sizeof date, "2024-%02d-%02d", month + 1, day + 1);
            const long long cost = qty * p.costCents;
            const long long total = cost + cost * (long long)(5 + rng.below(40)) / 100;
            line += date; line += ',';
            line += std::to_string(qty); line += ',';
            line += money(cost); line += ',';
            line += money(total); line += ',';
            line += outlet; line += ',';
            line += rng.below(25) == 0 ? "45" : "11";
        } else {
            line += std::to_string(qty * 10); line += ',';
            line += money(qty * 10 * p.costCents); line += ',';
            line += outlet;
        }
        line += "\r\n";
        if (std::fwrite(line.data(), 1, line.size(), f) != line.size()) {
            std::fclose(f);
            std::fprintf(stderr, "cannot write %s\n", qPrintable(path));
            return false;
        }
    }
    return std::fclose(f) == 0;
}

}  // namespace

QStringList GenOutletIds(const GenOptions& options)
{
    QStringList ids;
    for (int i = 1; i <= options.outlets; ++i)
        ids << QStringLiteral("%1").arg(i, 4, 10, QLatin1Char('0'));
    return ids;
}

bool GenerateSalesFile(const QString& path, const GenOptions& options) { return writeFile(path, options, true); }

GenOptions OutletShaped(std::uint64_t lines, QDate month)
{
    GenOptions o;
    o.lines = lines;
    o.outlets = 200;
    o.products = 5000;
    o.outletShaped = true;
    o.month = month;
    o.seed = 20240101 + std::uint64_t(month.year() * 12 + month.month());
    return o;
}

bool GenerateOutletDayFile(const QString& path, const GenOptions& options, int outlet, QDate day, int lines)
{
    std::FILE* f = std::fopen(QFile::encodeName(path).constData(), "wb");
    if (!f) {
        std::fprintf(stderr, "cannot write %s\n", qPrintable(path));
        return false;
    }
    const auto products = bigCatalogue(options.products);
    Rng rng{options.seed + std::uint64_t(day.toJulianDay()) * 1000 + std::uint64_t(outlet)};
    const std::string header = salesHeader();
    std::string line;
    bool ok = std::fwrite(header.data(), 1, header.size(), f) == header.size();
    ok = ok && writeOutletDay(f, rng, products, day.toString(Qt::ISODate).toStdString(),
                              GenOutletIds(options).value(outlet).toStdString(), std::uint64_t(lines), line);
    if (std::fclose(f) != 0 || !ok) {
        std::fprintf(stderr, "cannot write %s\n", qPrintable(path));
        return false;
    }
    return true;
}
bool GenerateStockFile(const QString& path, const GenOptions& options) { return writeFile(path, options, false); }

}  // namespace corvanta::bench
