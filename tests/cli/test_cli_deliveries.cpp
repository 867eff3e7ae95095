// corvanta-cli deliveries: who sent what for which days, and the status that tells a day missing.
#include "tests/cli/CliFixture.h"

using namespace corvanta;
using namespace corvanta::test;

namespace {
const QString kHeader = QString::fromUtf8("商品名称,商品编码,规格,型号,单位,产地,日期,数量,成本,金额,网点,类型\r\n");
}

TEST_F(CliTest, DeliveriesShowEachOutletsDaysAndTellMissingOnes)
{
    const QString db = uniqueDbName();
    createAccountSet(QString::fromUtf8("到达"), db);
    addOutlet(db, "1", QString::fromUtf8("甲店"));
    addOutlet(db, "2", QString::fromUtf8("乙店"));
    addOutlet(db, "3", QString::fromUtf8("丙店"));
    const QString one = writeGbkFile("one.txt", kHeader + QString::fromUtf8(
        "水,P1,1,A,瓶,广州,2026-03-01,1,1,2,1,11\r\n水,P1,1,A,瓶,广州,2026-03-01,1,1,2,1,11\r\n"
        "茶,P2,1,A,瓶,广州,2026-03-02,1,1,2,1,11\r\n茶,P2,1,A,瓶,广州,2026-03-03,1,1,2,1,45\r\n"));
    const QString two = writeGbkFile("two.txt", kHeader + QString::fromUtf8("水,P1,1,A,瓶,广州,2026-03-02,1,1,2,2,11\r\n"));
    const QString stock = writeGbkFile("stock.txt", QString::fromUtf8("h\r\n绿茶,P2,1L,B,瓶,杭州,30,45.5,2\r\n"));
    const CliRun imported = run({"--account-set", db, "import", one, two, stock});
    ASSERT_EQ(imported.code, 0) << imported.errLines.join(QLatin1Char('\n')).toStdString();

    CliRun r = run({"--account-set", db, "deliveries", "--from", "2026-03-01", "--to", "2026-03-03"});
    ASSERT_EQ(r.code, 0) << r.errLines.join('\n').toStdString();
    QStringList lines = r.lines();
    ASSERT_EQ(lines.size(), 4) << r.out.toStdString();
    EXPECT_EQ(lines[0], QString::fromUtf8("序号\t网点编号\t网点名称\t到达天数\t缺少天数\t最后库存导入\t2026-03-01\t2026-03-02\t2026-03-03"));
    EXPECT_EQ(lines[1], QString::fromUtf8("1\t1\t甲店\t3\t0\t\t2\t1\t1"));
    const QStringList second = lines[2].split('\t');
    ASSERT_EQ(second.size(), 9);
    EXPECT_EQ(second.mid(0, 5), (QStringList{"2", "2", QString::fromUtf8("乙店"), "1", "2"}));
    EXPECT_TRUE(QDateTime::fromString(second[5], "yyyy-MM-dd HH:mm:ss").isValid()) << second[5].toStdString();
    EXPECT_EQ(second.mid(6), (QStringList{"", "1", ""}));
    EXPECT_EQ(lines[3], QString::fromUtf8("3\t3\t丙店\t0\t3\t\t\t\t"));

    // --missing: only the outlets with a missing day, renumbered; exit 1 says some are missing.
    r = run({"--account-set", db, "deliveries", "--from", "2026-03-01", "--to", "2026-03-03", "--missing",
             "--sort", QString::fromUtf8("缺少天数:desc")});
    EXPECT_EQ(r.code, 1);
    lines = r.lines();
    ASSERT_EQ(lines.size(), 3) << r.out.toStdString();
    EXPECT_TRUE(lines[1].startsWith(QString::fromUtf8("1\t3\t丙店\t0\t3")));
    EXPECT_TRUE(lines[2].startsWith(QString::fromUtf8("2\t2\t乙店\t1\t2")));
    EXPECT_EQ(r.errLines, QStringList{QString::fromUtf8("[系统提示] 2 个网点有缺少数据的日期")});
    // A day every outlet delivered: nothing missing, exit 0 and the heading only.
    ASSERT_EQ(run({"--account-set", db, "outlet-delete", "3"}).code, 0);
    r = run({"--account-set", db, "deliveries", "--from", "2026-03-02", "--to", "2026-03-02", "--missing"});
    EXPECT_EQ(r.code, 0) << r.errLines.join('\n').toStdString();
    EXPECT_EQ(r.lines().size(), 1);
    EXPECT_TRUE(r.errLines.isEmpty());

    // The range: a year at most, in order; dates as yyyy-mm-dd.
    r = run({"--account-set", db, "deliveries", "--from", "2026-01-01", "--to", "2027-01-02"});
    EXPECT_EQ(r.code, 1);
    EXPECT_EQ(r.errLines, QStringList{QString::fromUtf8("[系统提示] 查询的日期范围不能超过 366 天！")});
    EXPECT_TRUE(r.out.isEmpty());
    EXPECT_EQ(run({"--account-set", db, "deliveries", "--from", "2026-03-03", "--to", "2026-03-01"}).code, 1);
    EXPECT_EQ(run({"--account-set", db, "deliveries", "--from", "2026-3-1", "--to", "2026-03-01"}).code, 2);
    EXPECT_EQ(run({"--account-set", db, "deliveries", "--from", "2026-03-01"}).code, 2);
    r = run({"--account-set", db, "deliveries", "--from", "2026-01-01", "--to", "2027-01-01"});
    EXPECT_EQ(r.code, 0);
    EXPECT_EQ(r.lines().value(0).split('\t').size(), 6 + 366);
}
