#include "tests/cli/CliFixture.h"

using namespace corvanta;
using namespace corvanta::test;

namespace {
const QString kHeader = QString::fromUtf8("商品名称,商品编码,规格,型号,单位,产地,日期,数量,成本,金额,网点,类型\r\n");
}

TEST_F(CliTest, ImportReportsEachFileAndStopsAtTheFirstFailure)
{
    const QString db = uniqueDbName();
    createAccountSet(QString::fromUtf8("导入"), db);
    addOutlet(db, "7", QString::fromUtf8("东门店"));

    const QString good = writeGbkFile("good.txt", kHeader +
        QString::fromUtf8("矿泉水,P001,500ml,A,瓶,广州,2026-03-01,10,8.5,12.5,7,11\r\n"
                          "\"矿泉水\",P001,500ml,A,瓶,广州,2026-03-02,1,0.1,0.2,7,45\r\n"));
    const QString stock = writeGbkFile("stock.txt", QString::fromUtf8("h\r\n绿茶,P002,1L,B,瓶,杭州,30,45.5,7\r\n"));
    const QString missingOutlet = writeGbkFile("bad.txt", kHeader +
        QString::fromUtf8("矿泉水,P001,500ml,A,瓶,广州,2026-03-03,10,8.5,12.5,99,11\r\n"));

    // A line for an outlet that is not in the list: both messages, in order; exit 1.
    CliRun r = run({"--account-set", db, "import", missingOutlet, good});
    EXPECT_EQ(r.code, 1);
    EXPECT_EQ(r.errLines, (QStringList{QString::fromUtf8("[提示信息] 数据导入失败！ / 错误原因：要导入的网点不存在，请销售网点中加入该网点的信息，再重新导入！"),
                                       QString::fromUtf8("[系统提示] 数据导入错误"),
                                       missingOutlet + QString::fromUtf8(":2: 网点 99 不存在")}));
    const QStringList salesFields{"DATE", "ID", "PTYPENAME", "QTY", "TOTAL", "COSTTOTAL", "VCHTYPE"};
    const std::vector<std::pair<QString, QVariant>> all{{"@date1", "2026-01-01"}, {"@date2", "2026-12-31"},
        {"@USERCODE", ""}, {"@PTYPENAME", ""}, {"@ID", ""}, {"@AGENTNAME", ""}, {"@AREA", ""}, {"@VCHTYPE", ""}};
    EXPECT_TRUE(queryRows(db, "hz_GetSales", all, salesFields).empty());  // stopped before the good file

    // --keep-going goes on to the next file; any failure still gives exit 1.
    r = run({"--account-set", db, "import", "--keep-going", missingOutlet, good, stock});
    EXPECT_EQ(r.code, 1);
    ASSERT_EQ(r.errLines.size(), 5);
    EXPECT_EQ(r.errLines[3], QString::fromUtf8("[系统提示] 数据导入成功完成"));
    EXPECT_EQ(r.errLines[4], QString::fromUtf8("[系统提示] 数据导入成功完成"));
    auto rows = queryRows(db, "hz_GetSales", all, salesFields);
    ASSERT_EQ(rows.size(), 2u);
    EXPECT_EQ(rows[0], (QStringList{"2026-03-01", "7", QString::fromUtf8("矿泉水"), "10", "12.5", "8.5", "11"}));
    EXPECT_EQ(rows[1], (QStringList{"2026-03-02", "7", QString::fromUtf8("矿泉水"), "1", "0.2", "0.1", "45"}));
    auto stockRows = queryRows(db, "hz_GetStock", {{"@USERCODE", ""}, {"@PTYPENAME", ""}, {"@ID", ""},
                                                   {"@AGENTNAME", ""}, {"@AREA", ""}},
                               {"ID", "USERCODE", "PTYPENAME", "AREA", "KCQTY", "KCTOTAL"});
    ASSERT_EQ(stockRows.size(), 1u);
    EXPECT_EQ(stockRows[0], (QStringList{"7", "P002", QString::fromUtf8("绿茶"), QString::fromUtf8("杭州"), "30", "45.5"}));

    // Importing the same file again replaces its lines instead of doubling them.
    r = run({"--account-set", db, "import", good});
    EXPECT_EQ(r.code, 0);
    EXPECT_EQ(r.errLines, QStringList{QString::fromUtf8("[系统提示] 数据导入成功完成")});
    EXPECT_EQ(queryRows(db, "hz_GetSales", all, salesFields).size(), 2u);

    // A missing file and a header-only file are failures, never a success.
    r = run({"--account-set", db, "import", dir->path() + "/nope.txt"});
    EXPECT_EQ(r.code, 1);
    ASSERT_FALSE(r.errLines.isEmpty());
    EXPECT_FALSE(r.errLines.join('\n').contains(QString::fromUtf8("成功")));
    r = run({"--account-set", db, "import", writeGbkFile("empty.txt", kHeader)});
    EXPECT_EQ(r.code, 1);
    EXPECT_FALSE(r.errLines.join('\n').contains(QString::fromUtf8("成功")));

    // Usage: no file, or no account set.
    EXPECT_EQ(run({"--account-set", db, "import"}).code, 2);
    EXPECT_EQ(run({"import", good}).code, 2);
    // An account set that is not in the catalogue.
    EXPECT_EQ(run({"--account-set", "no_such_set", "import", good}).code, 3);
}

// Each failed file gets one "FILE:LINE: reason" line on stderr, after the messages.
TEST_F(CliTest, ImportLocatesEachFailedLine)
{
    const QString db = uniqueDbName();
    createAccountSet(QString::fromUtf8("原因"), db);
    addOutlet(db, "7", QString::fromUtf8("东门店"));
    const QString good = QString::fromUtf8("矿泉水,P001,500ml,A,瓶,广州,2026-03-01,10,8.5,12.5,7,11\r\n");
    auto raw = [&](const QString& name, const QByteArray& bytes) {
        const QString path = dir->path() + "/" + name;
        QFile f(path);
        EXPECT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(bytes);
        return path;
    };
    const QByteArray head = "h\r\nwater,P001,500ml,A,bottle,GZ,2026-03-01,10,8.5,12.5,7,11\r\n";
    const QList<std::pair<QString, QString>> cases{
        {writeGbkFile("date.txt", kHeader + good + QString::fromUtf8("茶,P2,1L,B,瓶,杭州,2026-02-30,1,1,1,7,11\r\n")),
         QString::fromUtf8(":3: 日期不是有效日期：2026-02-30")},
        {writeGbkFile("qty.txt", kHeader + QString::fromUtf8("茶,P2,1L,B,瓶,杭州,2026-02-03,十,1,1,7,11\r\n")),
         QString::fromUtf8(":2: 数量不是数字：十")},
        {writeGbkFile("outlet.txt", kHeader + QString::fromUtf8("茶,P2,1L,B,瓶,杭州,30,45.5,999\r\n")),
         QString::fromUtf8(":2: 网点 999 不存在")},
        {writeGbkFile("fields.txt", kHeader + good + QString::fromUtf8("茶,P2,1L,B,瓶,杭州,30,45.5,7,1\r\n")),
         QString::fromUtf8(":3: 字段数为 10，销售行应为 12 个、库存行应为 9 个")},
        {raw("gbk.txt", head + "ab\x81\x20,1,2,3,4,5,6,7,8\r\n"), QString::fromUtf8(":3: 第 3 个字节起不是有效的 GBK 编码（0x81）")},
        {raw("nul.txt", head + QByteArray("abcd\0e,1,2,3,4,5,6,7,8\r\n", 24)),
         QString::fromUtf8(":3: 第 5 个字节是 NUL 字节，这不是文本文件")},
        {raw("long.txt", head + QByteArray((1 << 20) + 5, 'x') + "\r\n"),
         QString::fromUtf8(":3: 行长超过 1048576 字节（1 MiB），不是有效的数据行")},
    };
    for (const auto& [file, located] : cases) {
        const CliRun r = run({"--account-set", db, "import", file});
        EXPECT_EQ(r.code, 1);
        ASSERT_FALSE(r.errLines.isEmpty()) << file.toStdString();
        // The messages come first and stay as they were; the located reason is the last line.
        EXPECT_TRUE(r.errLines.first().startsWith('[')) << r.errLines.join('\n').toStdString();
        EXPECT_EQ(r.errLines.last().toStdString(), (file + located).toStdString());
        EXPECT_EQ(r.errLines.filter(file + ":").size(), 1);
    }
}
