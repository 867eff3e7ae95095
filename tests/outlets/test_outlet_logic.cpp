// The outlet logic on a real account set: the editor's checks and their order, the list's rows,
// delete refusal.
#include "connection/UDMData.h"
#include "tests/outlets/OutletTestUtil.h"

#include <gtest/gtest.h>

using namespace corvanta;
using namespace corvanta::test;

namespace {

OutletRecord outlet(const QString& id, const QString& name)
{
    OutletRecord o;
    o.id = id;
    o.name = name;
    return o;
}

}  // namespace

TEST(OutletNumber, StandardIntegerConversion)
{
    struct Case {
        const char* text;
        std::optional<qint32> value;
    };
    const Case cases[] = {
        {"12", 12},           {"-5", -5},         {"+7", 7},
        {"  12", 12},         {"$1F", 31},        {"x1f", 31},
        {"X10", 16},          {"0x10", 16},       {"-$10", -16},
        {"0", 0},             {"2147483647", 2147483647}, {"-2147483648", -2147483647 - 1},
        {"007", 7},           {"12a", {}},        {"1.5", {}},
        {"2147483648", {}},   {"-2147483649", {}}, {"$80000000", {}},
        {"12 ", {}},          {"", {}},           {"   ", {}},
        {"-", {}},            {"$", {}},          {"0x", {}},
        {"+-1", {}},          {"\t12", {}},       {"1 2", {}},
        {"$G", {}},           {"１２", {}},       {"99999999999999999999", {}},
    };
    for (const Case& c : cases)
        EXPECT_EQ(ReadWholeNumber(QString::fromUtf8(c.text)), c.value) << c.text;
}

TEST_F(OutletTest, SaveChecksInTheirOrderAndStoresTheTextAsTyped)
{
    RecordingMessages msgs;
    auto last = [&] { return msgs.texts().isEmpty() ? QString() : msgs.texts().back(); };

    // Blank comes before the number check: a number of blanks, or a missing name.
    for (const OutletRecord& o : {outlet("   ", "A"), outlet("12a", "  "), outlet("", "A")}) {
        OutletSaveResult r = SaveOutlet(*dm, msgs, OutletMode::Add, o);
        EXPECT_FALSE(r.saved);
        EXPECT_EQ(r.focus, OutletFocus::Name);
        EXPECT_EQ(last(), QStringLiteral("警告！: 网点编号或名称不能为空!"));
    }
    for (const char* bad : {"12a", "1.5", "2147483648", "12 "}) {
        OutletSaveResult r = SaveOutlet(*dm, msgs, OutletMode::Add, outlet(QString::fromUtf8(bad), "A"));
        EXPECT_FALSE(r.saved) << bad;
        EXPECT_EQ(r.focus, OutletFocus::Name);
        EXPECT_EQ(last(), QStringLiteral("警告！: 网点编号只能是数字!"));
    }
    EXPECT_EQ(msgs.messages.size(), 7u);
    EXPECT_EQ(msgs.messages[0].buttons, QStringLiteral("myok"));
    EXPECT_TRUE(stored().empty());

    for (const char* good : {"-5", "+7", "  12", "$1F"}) {
        OutletRecord o = outlet(QString::fromUtf8(good), QStringLiteral("网点 ") + QString::fromUtf8(good));
        o.type = QStringLiteral("直营");
        o.linkman = QStringLiteral("张三");
        EXPECT_TRUE(SaveOutlet(*dm, msgs, OutletMode::Add, o).saved) << good;
    }
    EXPECT_EQ(msgs.messages.size(), 7u);
    QStringList ids = storedIds();
    ids.sort();
    EXPECT_EQ(ids, (QStringList{"  12", "$1F", "+7", "-5"}));

    // The same number again, also written differently: refused by the database.
    OutletSaveResult dup = SaveOutlet(*dm, msgs, OutletMode::Add, outlet("12", "again"));
    EXPECT_FALSE(dup.saved);
    EXPECT_EQ(dup.focus, OutletFocus::Code);
    EXPECT_EQ(last(), QStringLiteral("提示信息: 网点编号重复，请从新输入！"));

    // Modify keeps the number and takes the other six texts unchanged.
    OutletRecord changed{"-5", " 新名字 ", "加盟", "010-1", "f", "地址;'\"", "李四"};
    EXPECT_TRUE(SaveOutlet(*dm, msgs, OutletMode::Modify, changed).saved);
    bool found = false;
    for (const OutletRecord& o : stored()) {
        if (o.id == "-5") {
            found = true;
            EXPECT_EQ(o.name, changed.name);
            EXPECT_EQ(o.type, changed.type);
            EXPECT_EQ(o.telephone, changed.telephone);
            EXPECT_EQ(o.fax, changed.fax);
            EXPECT_EQ(o.address, changed.address);
            EXPECT_EQ(o.linkman, changed.linkman);
        }
    }
    EXPECT_TRUE(found);

    // An outlet that is gone: the database's failure.
    OutletSaveResult gone = SaveOutlet(*dm, msgs, OutletMode::Modify, outlet("999", "x"));
    EXPECT_FALSE(gone.saved);
    EXPECT_EQ(gone.focus, OutletFocus::None);
    EXPECT_EQ(last(), QStringLiteral("提示信息: 数据库操作失败！"));

    // An error raised on the way (here: the connection is gone).
    dm->ADOConnection.Close();
    OutletSaveResult lost = SaveOutlet(*dm, msgs, OutletMode::Add, outlet("77", "x"));
    EXPECT_FALSE(lost.saved);
    EXPECT_EQ(lost.focus, OutletFocus::None);
    EXPECT_EQ(last(), QStringLiteral("提示信息: 数据库写入失败！"));
    ASSERT_FALSE(msgs.causes.isEmpty());
    EXPECT_TRUE(msgs.causes.back().contains(QStringLiteral("not open"))) << msgs.causes.back().toStdString();
    connect(*dm);
    dm->ADOConnection.SetDefaultDatabase(dbName);
}

TEST_F(OutletTest, ListRowsAndRowCount)
{
    EXPECT_EQ(OutletGridRowCount(0), 22);
    EXPECT_EQ(OutletGridRowCount(5), 22);
    EXPECT_EQ(OutletGridRowCount(20), 22);
    EXPECT_EQ(OutletGridRowCount(21), 23);
    EXPECT_EQ(OutletGridRowCount(30), 32);

    for (int i = 1; i <= 30; ++i)
        addOutlet(QString::number(i * 10), QStringLiteral("网点%1").arg(i));
    RecordingMessages msgs;
    const std::vector<OutletRecord> list = LoadOutlets(*dm, msgs);
    ASSERT_EQ(list.size(), 30u);
    OutletGridTable grid(list);
    EXPECT_EQ(grid.rowCount(), 32);
    EXPECT_EQ(grid.columnCount(), 8);
    for (int c = 0; c < 8; ++c) {
        EXPECT_EQ(grid.cell(0, c), OutletGridHeadings()[c]);
        EXPECT_EQ(grid.columnWidth(c), OutletGridWidths()[size_t(c)]);
        EXPECT_EQ(grid.cell(31, c), QString());
    }
    EXPECT_EQ(grid.cell(30, 0), QStringLiteral("30"));
    EXPECT_EQ(grid.cell(30, 1), QStringLiteral("300"));
    EXPECT_EQ(grid.cell(30, 2), QStringLiteral("网点30"));
    EXPECT_EQ(grid.cell(1, 3), QStringLiteral("T"));  // the type column

    // The cells follow the headings: telephone, fax, contact person, address.
    OutletRecord o{"1", "n", "t", "tel", "fax", "addr", "man"};
    EXPECT_EQ(OutletGridCells(4, o), (QStringList{"4", "1", "n", "t", "tel", "fax", "man", "addr"}));

    // A failing load is silent and gives what it has.
    QString error;
    EXPECT_EQ(LoadOutlets(*dm, msgs, &error).size(), 30u);
    EXPECT_TRUE(error.isEmpty());
    dm->ADOConnection.Close();
    EXPECT_TRUE(LoadOutlets(*dm, msgs).empty());
    EXPECT_TRUE(LoadOutlets(*dm, msgs, &error).empty());
    EXPECT_FALSE(error.isEmpty());
    EXPECT_TRUE(msgs.messages.empty());
    connect(*dm);
    dm->ADOConnection.SetDefaultDatabase(dbName);
}

TEST_F(OutletTest, DeleteIsRefusedWhileSalesExist)
{
    addOutlet("1", "一号店");
    addOutlet("2", "二号店");
    addSale("1");
    RecordingMessages msgs;
    EXPECT_EQ(DeleteOutlet(*dm, msgs, "1"), -1);
    ASSERT_EQ(msgs.messages.size(), 1u);
    EXPECT_EQ(msgs.messages[0].channel, QStringLiteral("systemBox"));
    EXPECT_EQ(msgs.texts()[0], QStringLiteral("系统提示: 该网点已经有商品销售记录，不能删除！"));
    EXPECT_EQ(DeleteOutlet(*dm, msgs, "2"), 0);
    EXPECT_EQ(DeleteOutlet(*dm, msgs, ""), std::nullopt);
    EXPECT_EQ(msgs.messages.size(), 1u);
    EXPECT_EQ(storedIds(), QStringList{"1"});
}

TEST(OutletLength, ByteLimitsOfTheEditor)
{
    OutletRecord o{"1", QString(19, QChar(0x4E00)), "", "", "", "", ""};
    EXPECT_EQ(OutletLengthProblem(o), std::nullopt);  // 19 Chinese characters = 38 bytes
    o.name += "a";
    ASSERT_TRUE(OutletLengthProblem(o));
    EXPECT_TRUE(OutletLengthProblem(o)->startsWith(QStringLiteral("网点名称最多38个字节")));
    o.name = "n";
    o.linkman = QString(10, QChar(0x4E00));
    EXPECT_EQ(OutletLengthProblem(o), std::nullopt);
    o.linkman += "x";
    ASSERT_TRUE(OutletLengthProblem(o));
    EXPECT_TRUE(OutletLengthProblem(o)->startsWith(QStringLiteral("联系人最多20个字节")));
}
