#include "tests/cli/CliFixture.h"

#include "cli/CliApp.h"
#include "base/Gbk.h"
#include "grid/ColConfigStore.h"
#include "reports/ReportLogic.h"

#include <QFile>
#include <QProcess>

using namespace corvanta;
using namespace corvanta::test;

namespace {

const QString kHeader = QString::fromUtf8("商品名称,商品编码,规格,型号,单位,产地,日期,数量,成本,金额,网点,类型\r\n");

// Outlets 3 and 20; four sales lines over three days, one of them a return; two stock lines.
class CliReports : public CliTest {
protected:
    void SetUp() override
    {
        CliTest::SetUp();
        if (IsSkipped() || HasFatalFailure())
            return;
        db = uniqueDbName();
        createAccountSet(QString::fromUtf8("报表") + db, db);  // names are one list on a server
        addOutlet(db, "3", QString::fromUtf8("东城店"));
        addOutlet(db, "20", QString::fromUtf8("西城店"));
        const QString sales = writeGbkFile("sales.txt", kHeader + QString::fromUtf8(
            "蓝色钢笔,B2,10支,X,盒,北京,2024-01-10,2,12,20,3,11\r\n"
            "红色铅笔,A1,1支,Y,支,上海,2024-01-10,10,3,5,3,11\r\n"
            "红色铅笔,A1,1支,Y,支,上海,2024-02-01,-1,-0.3,-0.5,20,45\r\n"
            "蓝%_\\'笔,B3,1支,Z,支,北京,2024-03-31,1,6,10,20,11\r\n"));
        const QString stock = writeGbkFile("stock.txt", QString::fromUtf8("h\r\n绿茶,P002,1L,B,瓶,杭州,30,45.5,3\r\n"
                                                                          "红茶,P003,1L,B,瓶,福建,5,10,20\r\n"));
        const CliRun r = run({"--account-set", db, "import", sales, stock});
        ASSERT_EQ(r.code, 0) << r.errLines.join('\n').toStdString();
    }

    CliRun reports(QStringList args)
    {
        return run(QStringList{"--account-set", db} + args);
    }

    QString db;
};

QString tsv(std::initializer_list<const char*> cells)
{
    QStringList l;
    for (const char* c : cells)
        l << QString::fromUtf8(c);
    return l.join('\t');
}

}  // namespace

TEST_F(CliReports, SalesPrintsTheSourceGridWithWordsAndFilters)
{
    CliRun r = reports({"sales", "--from", "2024-01-01", "--to", "2024-12-31"});
    ASSERT_EQ(r.code, 0) << r.errLines.join('\n').toStdString();
    QStringList lines = r.lines();
    ASSERT_EQ(lines.size(), 5);  // heading + four lines, no trailing empty rows
    EXPECT_EQ(lines[0], tsv({"序号", "商品编码", "商品名称", "网点编号", "网点名称", "规格", "型号", "单位", "产地",
                             "销售日期", "数量", "金额", "成本", "单据类型"}));
    EXPECT_TRUE(lines[1].startsWith("1\t"));
    EXPECT_TRUE(lines[3].startsWith(tsv({"3", "A1", "红色铅笔", "20", "西城店", "1支", "Y", "支", "上海", "2024-02-01",
                                         "-1", "-0.5", "-0.3", "销售退货"})));
    EXPECT_TRUE(lines[4].endsWith(QString::fromUtf8("\t销售")));
    EXPECT_TRUE(r.errLines.isEmpty());

    // Filters: document type by word, outlet number, names contained verbatim (no patterns).
    EXPECT_EQ(reports({"sales", "--from", "2024-01-01", "--to", "2024-12-31", "--type", "销售退货"}).lines().size(), 2);
    EXPECT_EQ(reports({"sales", "--from", "2024-01-01", "--to", "2024-12-31", "--type", "销售"}).lines().size(), 4);
    EXPECT_EQ(reports({"sales", "--from", "2024-01-01", "--to", "2024-12-31", "--outlet", " 20 "}).lines().size(), 3);
    EXPECT_EQ(reports({"sales", "--from", "2024-01-01", "--to", "2024-12-31", "--name", "%"}).lines().size(), 2);
    EXPECT_EQ(reports({"sales", "--from", "2024-01-01", "--to", "2024-12-31", "--name", "_"}).lines().size(), 2);
    EXPECT_EQ(reports({"sales", "--from", "2024-01-01", "--to", "2024-12-31", "--name", "\\'"}).lines().size(), 2);
    EXPECT_EQ(reports({"sales", "--from", "2024-01-01", "--to", "2024-12-31", "--name", "蓝_"}).lines().size(), 1);
    EXPECT_EQ(reports({"sales", "--from", "2024-01-01", "--to", "2024-12-31", "--name", "' OR 1=1 --"}).lines().size(), 1);
    EXPECT_EQ(reports({"sales", "--from", "2024-01-01", "--to", "2024-12-31", "--code", "A%"}).lines().size(), 1);
    EXPECT_EQ(reports({"sales", "--from", "2024-01-01", "--to", "2024-12-31", "--area", QString(1000, QChar(u'北'))}).lines().size(), 1);
    // An empty option is a ticked filter with a blank text: no restriction.
    EXPECT_EQ(reports({"sales", "--from", "2024-01-01", "--to", "2024-12-31", "--outlet-name", "  "}).lines().size(), 5);
    // One day.
    EXPECT_EQ(reports({"sales", "--from", "2024-01-10", "--to", "2024-01-10"}).lines().size(), 3);

    // The windows' messages; nothing on standard output.
    r = reports({"sales", "--from", "2024-02-01", "--to", "2024-01-31"});
    EXPECT_EQ(r.code, 1);
    EXPECT_TRUE(r.out.isEmpty());
    EXPECT_EQ(r.errLines, QStringList{QString::fromUtf8("[系统提示] 开始时间不能大于结束时间！")});
    r = reports({"sales", "--from", "2024-01-01", "--to", "2024-12-31", "--outlet", "abc"});
    EXPECT_EQ(r.code, 1);
    EXPECT_TRUE(r.out.isEmpty());
    EXPECT_EQ(r.errLines, QStringList{QString::fromUtf8("[系统提示] 网点编号应为数字，请重新输入！")});
    EXPECT_EQ(reports({"sales", "--from", "2024-01-01", "--to", "2024-12-31", "--outlet", "1a"}).code, 1);
    // Not a date, an unknown type, a missing date: usage errors naming the value.
    r = reports({"sales", "--from", "2024-02-30", "--to", "2024-12-31"});
    EXPECT_EQ(r.code, 2);
    EXPECT_TRUE(r.errLines.join('\n').contains("2024-02-30"));
    EXPECT_EQ(reports({"sales", "--from", "yesterday", "--to", "2024-12-31"}).code, 2);
    EXPECT_EQ(reports({"sales", "--from", "2024-1-1", "--to", "2024-12-31"}).code, 2);
    EXPECT_EQ(reports({"sales", "--from", "2024-01-01", "--to", "2024-12-31", "--type", "退货"}).code, 2);
    EXPECT_EQ(reports({"sales", "--to", "2024-12-31"}).code, 2);
}

TEST_F(CliReports, StatHeadingsAndWordsPerMode)
{
    CliRun r = reports({"stat", "--mode", "P", "--from", "2024-01-01", "--to", "2024-12-31"});
    ASSERT_EQ(r.code, 0) << r.errLines.join('\n').toStdString();
    EXPECT_EQ(r.lines(), (QStringList{tsv({"行号", "商品编号", "商品名称", "数量", "金额", "成本", "利润"}),
                                      tsv({"1", "A1", "红色铅笔", "9", "4.5", "2.7", "1.8"}),
                                      tsv({"2", "B2", "蓝色钢笔", "2", "20", "12", "8"}),
                                      tsv({"3", "B3", "蓝%_\\'笔", "1", "10", "6", "4"})}));
    r = reports({"stat", "--mode", "N", "--from", "2024-01-01", "--to", "2024-12-31"});
    EXPECT_EQ(r.lines(), (QStringList{tsv({"行号", "网点编号", "网点名称", "数量", "金额", "成本", "利润"}),
                                      tsv({"1", "3", "东城店", "12", "25", "15", "10"}),
                                      tsv({"2", "20", "西城店", "0", "9.5", "5.7", "3.8"})}));
    r = reports({"stat", "--mode", "V", "--from", "2024-01-01", "--to", "2024-12-31"});
    ASSERT_EQ(r.lines().size(), 3);
    EXPECT_EQ(r.lines()[0], tsv({"行号", "", "单据名称", "数量", "金额", "成本", "利润"}));
    EXPECT_EQ(r.lines()[1], tsv({"1", "11", "销售", "13", "35", "21", "14"}));
    EXPECT_EQ(r.lines()[2], tsv({"2", "45", "销售退货", "-1", "-0.5", "-0.3", "-0.2"}));
    r = reports({"stat", "--mode", "d", "--from", "2024-01-01", "--to", "2024-12-31", "--type", "销售退货"});
    EXPECT_EQ(r.lines(), (QStringList{tsv({"行号", "", "销售时间", "数量", "金额", "成本", "利润"}),
                                      tsv({"1", "2024-02-01", "2024-02-01", "-1", "-0.5", "-0.3", "-0.2"})}));
    // No group: the heading only.
    EXPECT_EQ(reports({"stat", "--mode", "P", "--from", "2025-01-01", "--to", "2025-12-31"}).lines().size(), 1);

    EXPECT_EQ(reports({"stat", "--mode", "X", "--from", "2024-01-01", "--to", "2024-12-31"}).code, 2);
    EXPECT_EQ(reports({"stat", "--mode", "P", "--from", "2024-01-01", "--to", "2024-12-31", "--area", "x"}).code, 2);
    r = reports({"stat", "--mode", "P", "--from", "2024-12-31", "--to", "2024-01-01"});
    EXPECT_EQ(r.code, 1);
    EXPECT_EQ(r.errLines, QStringList{QString::fromUtf8("[系统提示] 开始时间不能大于结束时间！")});
    r = reports({"stat", "--mode", "P", "--from", "2024-01-01", "--to", "2024-12-31", "--outlet", "abc"});
    EXPECT_EQ(r.code, 1);
    EXPECT_EQ(r.errLines, QStringList{QString::fromUtf8("[系统提示] 网点编号应为数字，请重新输入！")});
}

TEST_F(CliReports, StockAndFilters)
{
    CliRun r = reports({"stock"});
    ASSERT_EQ(r.code, 0) << r.errLines.join('\n').toStdString();
    EXPECT_EQ(r.lines(), (QStringList{tsv({"序号", "商品编码", "商品名称", "网点编号", "网点名称", "规格", "型号", "单位",
                                           "产地", "库存数量", "库存金额"}),
                                      tsv({"1", "P002", "绿茶", "3", "东城店", "1L", "B", "瓶", "杭州", "30", "45.5"}),
                                      tsv({"2", "P003", "红茶", "20", "西城店", "1L", "B", "瓶", "福建", "5", "10"})}));
    EXPECT_EQ(reports({"stock", "--outlet", "20"}).lines().size(), 2);
    EXPECT_EQ(reports({"stock", "--outlet-name", "东城"}).lines().size(), 2);
    EXPECT_EQ(reports({"stock", "--name", "%"}).lines().size(), 1);
    r = reports({"stock", "--outlet", "1a"});
    EXPECT_EQ(r.code, 1);
    EXPECT_EQ(r.errLines, QStringList{QString::fromUtf8("[系统提示] 网点编号应为数字，请重新输入！")});
    EXPECT_EQ(reports({"stock", "extra"}).code, 2);
}

TEST_F(CliReports, PrintHandsTheGridAndTemplateOver)
{
    QFile exe(dir->path() + "/PRINT.EXE");
    ASSERT_TRUE(exe.open(QIODevice::WriteOnly));
    exe.close();
    QStringList started;
    cli::printLauncher() = [&](const QString&, const QStringList& args) {
        started << args.join(' ');
        return true;
    };
    EXPECT_EQ(reports({"print", "sales", "--from", "2024-01-01", "--to", "2024-12-31"}).code, 0);
    // The title field carries the two dates; the body the four lines with their words.
    auto read = [&](const QString& name) {
        QFile f(dir->dataDir() + "/" + name);
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    };
    EXPECT_TRUE(read("TABLE_B1.DBF").contains(gbk::encode(QString::fromUtf8("(商品销售时间 从2024-01-01到2024-12-31)"))));
    EXPECT_TRUE(read("TABLE_M1.DBF").contains(gbk::encode(QString::fromUtf8("销售退货"))));
    EXPECT_EQ(reports({"print", "stat", "--mode", "V", "--from", "2024-01-01", "--to", "2024-12-31"}).code, 0);
    EXPECT_EQ(reports({"print", "stat", "--mode", "D", "--from", "2024-01-01", "--to", "2024-12-31"}).code, 0);
    EXPECT_EQ(reports({"print", "stock"}).code, 0);
    // A refused run prints nothing.
    EXPECT_EQ(reports({"print", "stock", "--outlet", "x"}).code, 1);
    cli::printLauncher() = {};
    ASSERT_EQ(started.size(), 4);
    EXPECT_TRUE(started[0].contains(QString::fromUtf8("销售情况查询表.rwx")));
    EXPECT_TRUE(started[1].contains(QString::fromUtf8("每日销售情况统计表.rwx")));
    EXPECT_TRUE(started[2].contains(QString::fromUtf8("销售退货统计表.rwx")));
    EXPECT_TRUE(started[3].contains(QString::fromUtf8("库存情况查询表.rwx")));
}

// print sales lays out the grid the sales window would show: the account set's column configuration
// (hidden, renamed and moved columns) applies, as it does to the window's printout; sales keeps its TSV.
TEST_F(CliReports, PrintFollowsTheColumnConfiguration)
{
    QFile exe(dir->path() + "/PRINT.EXE");
    ASSERT_TRUE(exe.open(QIODevice::WriteOnly));
    exe.close();
    cli::printLauncher() = [](const QString&, const QStringList&) { return true; };
    const QStringList headings = SalesHeadings();
    {
        auto dm = accountSet(db);
        for (int code = 1; code < headings.size(); ++code)
            CallColConfig(*dm, kSalesGridId, headings[code], headings[code], 1, code <= 2, code, code, 0, "I");
        const int order[] = {1, 2, 10, 3, 4, 5, 6, 7, 8, 9, 11, 12, 13};
        for (int pos = 1; pos < headings.size(); ++pos) {
            const int code = order[pos - 1];
            CallColConfig(*dm, kSalesGridId, QString(), code == 4 ? QString::fromUtf8("门店名称") : headings[code],
                          code == 5 ? 0 : 1, 0, code, pos, 0, "U");
        }
    }
    EXPECT_EQ(reports({"print", "sales", "--from", "2024-01-01", "--to", "2024-12-31"}).code, 0);
    cli::printLauncher() = {};
    // The body table's field names, from its header's field descriptors.
    QFile body(dir->dataDir() + "/TABLE_M1.DBF");
    ASSERT_TRUE(body.open(QIODevice::ReadOnly));
    const QByteArray bytes = body.readAll();
    QStringList names;
    for (qsizetype at = 32; at + 32 <= bytes.size() && bytes[at] != '\r'; at += 32)
        names << gbk::decode(bytes.mid(at, 11).split('\0').front());
    EXPECT_EQ(names, (QStringList{"序号", "商品编码", "商品名称", "数量", "网点编号", "门店名称", "型号", "单位", "产地",
                                  "销售日期", "金额", "成本", "单据类型"}));
    // The TSV of the query is the source grid as before.
    EXPECT_EQ(reports({"sales", "--from", "2024-01-01", "--to", "2024-12-31"}).lines().value(0).split('\t'),
              headings);
}

// --sort gives the order of a header click: numbers as numbers, equal keys stable ascending and
// reversed descending, row numbers renewed; an unknown heading is a usage error naming the others.
TEST_F(CliReports, SortOrdersLikeAHeaderClick)
{
    auto column = [](const CliRun& r, int col) {
        QStringList out;
        for (const QString& line : r.lines().mid(1))
            out << line.split('\t').value(col);
        return out.join(' ');
    };
    const QStringList range{"sales", "--from", "2024-01-01", "--to", "2024-12-31"};
    CliRun r = reports(range + QStringList{"--sort", "金额"});
    ASSERT_EQ(r.code, 0) << r.errLines.join('\n').toStdString();
    EXPECT_EQ(column(r, 11), "-0.5 5 10 20");
    EXPECT_EQ(column(r, 0), "1 2 3 4");
    EXPECT_EQ(column(reports(range + QStringList{"--sort=金额:desc"}), 11), "20 10 5 -0.5");

    // Two lines share code A1: the first imported stays first ascending and comes last descending.
    EXPECT_EQ(column(reports(range + QStringList{"--sort", "商品编码"}), 11), "5 -0.5 20 10");
    EXPECT_EQ(column(reports(range + QStringList{"--sort", "商品编码:desc"}), 11), "10 20 -0.5 5");
    // The row-number heading sorts by the first data column, as a click on it does.
    EXPECT_EQ(column(reports(range + QStringList{"--sort", "序号"}), 1), "A1 A1 B2 B3");

    const CliRun stat = reports({"stat", "--mode", "N", "--from", "2024-01-01", "--to", "2024-12-31", "--sort", "网点编号:desc"});
    EXPECT_EQ(column(stat, 1), "20 3");
    EXPECT_EQ(column(stat, 0), "1 2");

    const CliRun bad = reports(range + QStringList{"--sort", "价格"});
    EXPECT_EQ(bad.code, 2);
    EXPECT_TRUE(bad.errLines.join('\n').contains(QString::fromUtf8("商品名称"))) << bad.errLines.join('\n').toStdString();
    EXPECT_TRUE(bad.lines().isEmpty());
}

TEST_F(CliReports, FormatAndOutputOptions)
{
    const QStringList stat{"stat", "--mode", "P", "--from", "2024-01-01", "--to", "2024-12-31"};
    TempProgramDir& d = *dir;
    const QString xlsx = d.path() + QStringLiteral("/统计.xlsx");
    CliRun r = reports(stat + QStringList{"--format", "xlsx", "--output", xlsx});
    ASSERT_EQ(r.code, 0) << r.errLines.join('\n').toStdString();
    EXPECT_TRUE(r.out.isEmpty());
    QProcess unzip;
    unzip.start(QStringLiteral("unzip"), {QStringLiteral("-p"), xlsx, QStringLiteral("xl/worksheets/sheet1.xml")});
    unzip.waitForFinished(10000);
    const QString sheet = QString::fromUtf8(unzip.readAllStandardOutput());
    EXPECT_TRUE(sheet.contains(QStringLiteral("<c r=\"E2\"><v>4.5</v></c>"))) << sheet.toStdString();
    EXPECT_TRUE(sheet.contains(QStringLiteral("<t>红色铅笔</t>")));
    EXPECT_FALSE(sheet.contains(QStringLiteral("r=\"5\"")));  // heading + three groups

    // TSV to a file is what standard output gets; CSV keeps the same cells.
    const QString tsvFile = d.path() + QStringLiteral("/stat.tsv");
    const CliRun plain = reports(stat);
    ASSERT_EQ(reports(stat + QStringList{"--output=" + tsvFile}).code, 0);
    QFile f(tsvFile);
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    EXPECT_EQ(QString::fromUtf8(f.readAll()), plain.out);
    r = reports(stat + QStringList{"--format", "CSV"});
    ASSERT_EQ(r.code, 0);
    EXPECT_TRUE(r.out.startsWith(QChar(0xFEFF)));
    EXPECT_TRUE(r.out.contains(QStringLiteral("1,A1,红色铅笔,9,4.5,2.7,1.8\r\n")));

    const QString gbkFile = d.path() + QStringLiteral("/outlets.csv");
    ASSERT_EQ(reports({"outlets", "--format", "csv", "--encoding", "gbk", "--output", gbkFile}).code, 0);
    QFile g(gbkFile);
    ASSERT_TRUE(g.open(QIODevice::ReadOnly));
    const QString outlets = gbk::decode(g.readAll());
    EXPECT_TRUE(outlets.startsWith(QStringLiteral("行号,网点编号")));
    EXPECT_TRUE(outlets.contains(QStringLiteral("东城店")));

    // Usage errors: unknown format, xlsx to standard output, encoding without csv, chart outside stat.
    EXPECT_EQ(reports(stat + QStringList{"--format", "xls"}).code, 2);
    EXPECT_EQ(reports({"stock", "--format", "xlsx"}).code, 2);
    EXPECT_EQ(reports({"stock", "--encoding", "gbk"}).code, 2);
    EXPECT_EQ(reports({"sales", "--from", "2024-01-01", "--to", "2024-12-31", "--chart", "x.png"}).code, 2);
    // The window's chart, drawn without a screen, besides the usual output.
    const QString png = d.path() + QStringLiteral("/图表.png");
    r = reports({"stat", "--mode", "D", "--from", "2024-01-01", "--to", "2024-12-31", "--chart", png});
    ASSERT_EQ(r.code, 0) << r.errLines.join('\n').toStdString();
    EXPECT_EQ(r.lines().size(), 4);
    QFile chart(png);
    ASSERT_TRUE(chart.open(QIODevice::ReadOnly));
    const QByteArray bytes = chart.readAll();
    EXPECT_GT(bytes.size(), 1000);
    EXPECT_TRUE(bytes.startsWith("\x89PNG"));
    EXPECT_EQ(reports(stat + QStringList{"--chart", d.path() + "/x.gif"}).code, 2);
    // An unwritable file fails with a message.
    r = reports({"stock", "--format", "xlsx", "--output", "/nonexistent-dir/x.xlsx"});
    EXPECT_EQ(r.code, 1);
    EXPECT_FALSE(r.errLines.isEmpty());
}
