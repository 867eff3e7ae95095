#include "tests/cli/CliFixture.h"

#include "base/TextHelpers.h"

#include <QCryptographicHash>
#include <QDateTime>
#include <QFileInfo>
#include <QFile>

using namespace corvanta;
using namespace corvanta::test;

namespace {

const QString kHeader = QString::fromUtf8("商品名称,商品编码,规格,型号,单位,产地,日期,数量,成本,金额,网点,类型\r\n");

QString sha256Of(const QString& path)
{
    QFile f(path);
    f.open(QIODevice::ReadOnly);
    return QString::fromLatin1(QCryptographicHash::hash(f.readAll(), QCryptographicHash::Sha256).toHex());
}

}  // namespace

TEST_F(CliTest, HistoryKeepsEveryRunGoodFailedAndRepeated)
{
    const QString db = uniqueDbName();
    createAccountSet(QString::fromUtf8("记录"), db);
    addOutlet(db, "7", QString::fromUtf8("东门店"));
    const QString good = writeGbkFile("good.txt", kHeader +
        QString::fromUtf8("矿泉水,P001,500ml,A,瓶,广州,2026-03-01,10,8.5,12.5,7,11\r\n"
                          "\r\n"
                          "矿泉水,P001,500ml,A,瓶,广州,2026-03-02,1,0.1,0.2,7,45\r\n"));
    const QString bad = writeGbkFile("bad.txt", kHeader +
        QString::fromUtf8("矿泉水,P001,500ml,A,瓶,广州,2026-03-03,10,8.5,12.5,99,11\r\n"));
    const QString stock = writeGbkFile("stock.txt", QString::fromUtf8("h\r\n绿茶,P002,1L,B,瓶,杭州,30,45.5,7\r\n"));

    // A new account set has an empty history: the heading line only.
    CliRun r = run({"--account-set", db, "history"});
    ASSERT_EQ(r.code, 0) << r.errLines.join('\n').toStdString();
    const QString heading = QString::fromUtf8("导入时间\t文件名\t文件大小\tSHA-256\t数据类别\t数据行数\t结果\t原因\t计算机\t数据库用户");
    EXPECT_EQ(r.lines(), QStringList{heading});

    EXPECT_EQ(run({"--account-set", db, "import", "--keep-going", good, bad, stock}).code, 1);
    EXPECT_EQ(run({"--account-set", db, "import", good}).code, 0);  // the same digest again is allowed
    EXPECT_EQ(run({"--account-set", db, "import", dir->path() + "/nope.txt"}).code, 1);

    r = run({"--account-set", db, "history"});
    ASSERT_EQ(r.code, 0);
    const QStringList lines = r.lines();
    ASSERT_EQ(lines.size(), 6);
    EXPECT_EQ(lines[0], heading);
    std::vector<QStringList> rows;
    for (int i = 1; i < lines.size(); ++i)
        rows.push_back(lines[i].split('\t'));
    for (const QStringList& row : rows) {
        ASSERT_EQ(row.size(), 10) << row.join('|').toStdString();
        EXPECT_TRUE(QDateTime::fromString(row[0], "yyyy-MM-dd HH:mm:ss").isValid()) << row[0].toStdString();
        EXPECT_EQ(row[8], ComputerNameText());
        EXPECT_EQ(row[9], admin());
    }
    // Newest first: missing file, good again, stock, bad, good.
    EXPECT_EQ(rows[0][1], "nope.txt");
    EXPECT_EQ(rows[0][2], "");
    EXPECT_EQ(rows[0][3], "");
    EXPECT_EQ(rows[0][6], QString::fromUtf8("失败"));
    EXPECT_FALSE(rows[0][7].isEmpty());

    const QString goodSize = QString::number(QFileInfo(good).size());
    for (const QStringList& row : {rows[1], rows[4]}) {
        EXPECT_EQ(row[1], "good.txt");
        EXPECT_EQ(row[2], goodSize);
        EXPECT_EQ(row[3], sha256Of(good));
        EXPECT_EQ(row[4], QString::fromUtf8("销售"));
        EXPECT_EQ(row[5], "2");  // the blank line is not a data line
        EXPECT_EQ(row[6], QString::fromUtf8("成功"));
        EXPECT_EQ(row[7], "");
    }
    EXPECT_EQ(rows[2][1], "stock.txt");
    EXPECT_EQ(rows[2][4], QString::fromUtf8("库存"));
    EXPECT_EQ(rows[2][6], QString::fromUtf8("成功"));
    EXPECT_EQ(rows[3][1], "bad.txt");
    EXPECT_EQ(rows[3][3], sha256Of(bad));
    EXPECT_EQ(rows[3][5], "1");
    EXPECT_EQ(rows[3][6], QString::fromUtf8("失败"));
    EXPECT_TRUE(rows[3][7].startsWith(QString::fromUtf8("第2行："))) << rows[3][7].toStdString();
    EXPECT_TRUE(rows[3][7].contains(QString::fromUtf8("要导入的网点不存在"))) << rows[3][7].toStdString();

    // --limit keeps the newest runs; a limit that is not a whole number above 0 is a usage error.
    r = run({"--account-set", db, "history", "--limit", "2"});
    ASSERT_EQ(r.code, 0);
    ASSERT_EQ(r.lines().size(), 3);
    EXPECT_TRUE(r.lines()[2].startsWith(rows[1][0] + "\tgood.txt\t"));
    EXPECT_EQ(run({"--account-set", db, "history", "--limit", "0"}).code, 2);
    EXPECT_EQ(run({"--account-set", db, "history", "--limit", "x"}).code, 2);
    EXPECT_EQ(run({"--account-set", db, "history", "extra"}).code, 2);

    // The export options of the other result commands: the same rows as CSV (UTF-8 with its mark).
    r = run({"--account-set", db, "history", "--limit", "1", "--format", "csv"});
    ASSERT_EQ(r.code, 0) << r.errLines.join('\n').toStdString();
    EXPECT_TRUE(r.out.startsWith(QChar(0xFEFF)));
    EXPECT_TRUE(r.out.contains(QString::fromUtf8("导入时间,文件名,文件大小")));
    EXPECT_TRUE(r.out.contains(",nope.txt,,,,,")) << r.out.toStdString();
    EXPECT_EQ(run({"--account-set", db, "history", "--format", "xlsx"}).code, 2);
}

TEST_F(CliTest, AnOlderAccountSetGainsTheHistoryOnFirstUse)
{
    const QString db = uniqueDbName();
    createAccountSet(QString::fromUtf8("旧账套"), db);
    addOutlet(db, "7", QString::fromUtf8("东门店"));
    const QString good = writeGbkFile("good.txt", kHeader +
        QString::fromUtf8("矿泉水,P001,500ml,A,瓶,广州,2026-03-01,10,8.5,12.5,7,11\r\n"));
    ASSERT_EQ(run({"--account-set", db, "import", good}).code, 0);
    // Back to what the account set was before the history existed; its figures stay.
    if (engine() == "embedded")
        runAccountSetSql(db, "DROP TABLE import_stock; DROP TABLE import_log; DELETE FROM hz_procedures WHERE name LIKE "
                             "'%ImportLog' OR name IN ('hz_AddImportRecord', 'hz_GetStockImports');"
                             "PRAGMA user_version = 2;");
    else
        runAccountSetSql(db, "DROP TABLE import_stock; DROP TABLE import_log; DROP FUNCTION hz_addimportlog; "
                             "DROP FUNCTION hz_getimportlog; DROP FUNCTION hz_addimportrecord; "
                             "DROP FUNCTION hz_getstockimports;");
    CliRun r = run({"--account-set", db, "history"});
    ASSERT_EQ(r.code, 0) << r.errLines.join('\n').toStdString();
    EXPECT_EQ(r.lines().size(), 1);
    ASSERT_EQ(run({"--account-set", db, "import", good}).code, 0);
    r = run({"--account-set", db, "history"});
    ASSERT_EQ(r.lines().size(), 2);
    EXPECT_TRUE(r.lines()[1].contains(QString::fromUtf8("\tgood.txt\t")));
    const std::vector<std::pair<QString, QVariant>> all{{"@date1", "2026-01-01"}, {"@date2", "2026-12-31"},
        {"@USERCODE", ""}, {"@PTYPENAME", ""}, {"@ID", ""}, {"@AGENTNAME", ""}, {"@AREA", ""}, {"@VCHTYPE", ""}};
    EXPECT_EQ(queryRows(db, "hz_GetSales", all, {"DATE"}).size(), 1u);
}
