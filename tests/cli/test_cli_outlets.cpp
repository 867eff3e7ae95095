// outlets, outlet-add, outlet-modify, outlet-delete and print outlets on the engine under test.
#include "base/Config.h"
#include "cli/CliApp.h"
#include "connection/UDMData.h"
#include "tests/cli/CliFixture.h"
#include "tests/dbf/DbfTestUtil.h"

#include <QFile>

using namespace corvanta;
using namespace corvanta::test;

namespace {

const QString kHeader = QString::fromUtf8("行号\t网点编号\t网点名称\t网点类型\t联系电话\t传真\t联系人\t联系地址");

class CliOutletTest : public CliTest {
protected:
    void SetUp() override
    {
        CliTest::SetUp();
        if (IsSkipped())
            return;
        if (IsSkipped() || HasFatalFailure())
            return;
        db = uniqueDbName();
        createAccountSet(QStringLiteral("网点测试") + db, db);  // names are one list on a server
    }

    CliRun in(QStringList args) { return run(QStringList{"--account-set", db} + args); }

    // One consolidated sales line for the outlet, written the way the import does it.
    void addSale(const QString& id)
    {
        TDMData dm;
        dm.Connect(server, Config::User(), Config::Password(), Config::Engine());
        dm.ADOConnection.SetDefaultDatabase(db);
        dm.CallProc(dm.ADOSProc, "hz_deleSales");
        ASSERT_EQ(dm.CallProc(dm.ADOSProc, "hz_InsertSales",
                              {{"@USERCODE", "P1"}, {"@PTYPENAME", "笔"}, {"@STANDARD", "S"}, {"@TYPE", "M"},
                               {"@UNIT", "个"}, {"@AREA", "A"}, {"@DATE", "2024-03-01"}, {"@QTY", "1"},
                               {"@TOTAL", "2"}, {"@COSTTOTAL", "1"}, {"@VCHTYPE", "11"}, {"@ID", id}}),
                  0);
        ASSERT_EQ(dm.CallProc(dm.ADOSProc, "hz_AddSales"), 0);
    }

    QString db;
};

}  // namespace

TEST_F(CliOutletTest, AddListModifyDelete)
{
    CliRun r = in({"outlets"});
    ASSERT_EQ(r.code, 0) << r.errLines.join('\n').toStdString();
    EXPECT_EQ(r.lines(), QStringList{kHeader});  // no empty rows

    r = in({"outlet-add", "--id", "101", "--name", "东城门市部", "--type", "直营", "--telephone", "010-1234",
            "--fax", "010-9", "--address", "东城区一号", "--linkman", "王五"});
    EXPECT_EQ(r.code, 0);
    EXPECT_TRUE(r.errLines.isEmpty()) << r.errLines.join('\n').toStdString();
    r = in({"outlet-add", "--id", "7", "--name", "Seven"});
    EXPECT_EQ(r.code, 0);
    r = in({"outlets"});
    EXPECT_EQ(r.lines(), (QStringList{kHeader, "1\t7\tSeven\t\t\t\t\t",
                                      QString::fromUtf8("2\t101\t东城门市部\t直营\t010-1234\t010-9\t王五\t东城区一号")}));

    // The editor's checks and messages, in their order.
    struct Refused {
        QStringList args;
        const char* message;
    };
    const Refused refused[] = {
        {{"--id", "101", "--name", "again"}, "[提示信息] 网点编号重复，请从新输入！"},
        {{"--id", " 7", "--name", "again"}, "[提示信息] 网点编号重复，请从新输入！"},
        // The same number written otherwise is the same outlet.
        {{"--id", "+7", "--name", "again"}, "[提示信息] 网点编号重复，请从新输入！"},
        {{"--id", "0101", "--name", "again"}, "[提示信息] 网点编号重复，请从新输入！"},
        {{"--id", "+00101", "--name", "again"}, "[提示信息] 网点编号重复，请从新输入！"},
        {{"--id", "   ", "--name", "x"}, "[警告！] 网点编号或名称不能为空!"},
        {{"--id", "12a", "--name", " "}, "[警告！] 网点编号或名称不能为空!"},
        {{"--id", "12a", "--name", "x"}, "[警告！] 网点编号只能是数字!"},
        {{"--id", "1.5", "--name", "x"}, "[警告！] 网点编号只能是数字!"},
        {{"--id", "2147483648", "--name", "x"}, "[警告！] 网点编号只能是数字!"},
        {{"--id", "12 ", "--name", "x"}, "[警告！] 网点编号只能是数字!"},
    };
    for (const Refused& c : refused) {
        r = in(QStringList{"outlet-add"} + c.args);
        EXPECT_EQ(r.code, 1) << c.args.join(' ').toStdString();
        EXPECT_EQ(r.errLines, QStringList{QString::fromUtf8(c.message)}) << c.args.join(' ').toStdString();
    }
    // Longer than the editor takes: refused, not cut.
    r = in({"outlet-add", "--id", "55", "--name", QString(20, QChar(0x4E2D))});
    EXPECT_EQ(r.code, 1);
    ASSERT_EQ(r.errLines.size(), 1);
    EXPECT_TRUE(r.errLines[0].startsWith(QString::fromUtf8("[警告！] 网点名称最多38个字节")));

    for (const char* id : {"-5", "+8", "  12", "$1F"})
        EXPECT_EQ(in({"outlet-add", "--id", id, "--name", QString("N") + id}).code, 0) << id;
    QStringList ids;
    for (const QString& line : in({"outlets"}).lines().mid(1))
        ids << line.section('\t', 1, 1);
    ids.sort();
    EXPECT_EQ(ids, (QStringList{"  12", "$1F", "+8", "-5", "101", "7"}));

    // Modify: the options given change, the others keep their values.
    r = in({"outlet-modify", "--id", "101", "--name", "东城店", "--linkman", "赵六"});
    EXPECT_EQ(r.code, 0) << r.errLines.join('\n').toStdString();
    const QStringList listed = in({"outlets"}).lines().filter("\t101\t");
    ASSERT_EQ(listed.size(), 1);
    EXPECT_EQ(listed[0].section('\t', 1), QString::fromUtf8("101\t东城店\t直营\t010-1234\t010-9\t赵六\t东城区一号"));
    r = in({"outlet-modify", "--id", "999", "--name", "x"});
    EXPECT_EQ(r.code, 1);
    EXPECT_EQ(r.errLines, QStringList{QString::fromUtf8("[提示信息] 数据库操作失败！")});
    r = in({"outlet-modify", "--id", "101", "--name", ""});
    EXPECT_EQ(r.code, 1);
    EXPECT_EQ(r.errLines, QStringList{QString::fromUtf8("[警告！] 网点编号或名称不能为空!")});

    // Delete: refused while sales lines refer to the outlet, at once otherwise.
    addSale("101");
    r = in({"outlet-delete", "101"});
    EXPECT_EQ(r.code, 1);
    EXPECT_EQ(r.errLines, QStringList{QString::fromUtf8("[系统提示] 该网点已经有商品销售记录，不能删除！")});
    r = in({"outlet-delete", "-5"});
    EXPECT_EQ(r.code, 0);
    EXPECT_TRUE(r.errLines.isEmpty());
    ids.clear();
    for (const QString& line : in({"outlets"}).lines().mid(1))
        ids << line.section('\t', 1, 1);
    EXPECT_FALSE(ids.contains("-5"));
    EXPECT_TRUE(ids.contains("101"));
    // An unknown outlet: refused with a message, nothing deleted.
    r = in({"outlet-delete", "-5"});
    EXPECT_EQ(r.code, 1);
    EXPECT_EQ(r.errLines, QStringList{QString::fromUtf8("[系统提示] 网点编号-5不存在，没有删除任何网点！")});
    EXPECT_EQ(in({"outlets"}).lines().size(), ids.size() + 1);

    // Usage: the account set and the required options.
    EXPECT_EQ(run({"outlets"}).code, 2);
    EXPECT_EQ(in({"outlet-add", "--name", "x"}).code, 2);
    EXPECT_EQ(in({"outlet-modify", "--name", "x"}).code, 2);
    EXPECT_EQ(in({"outlet-delete"}).code, 2);
    EXPECT_EQ(in({"print"}).code, 2);
    EXPECT_EQ(in({"print", "nothing"}).code, 2);
}

TEST_F(CliOutletTest, PrintOutletsWritesTheTablesAndStartsPrintExe)
{
    ASSERT_EQ(in({"outlet-add", "--id", "1001", "--name", "东城门市部"}).code, 0);
    ASSERT_EQ(in({"outlet-add", "--id", "1002", "--name", "西城门市部"}).code, 0);
    std::vector<QStringList> launches;
    cli::printLauncher() = [&](const QString& program, const QStringList& arguments) {
        launches.push_back(QStringList{program} + arguments);
        return true;
    };

    // Without the report program: the tables all the same, its message, a failure.
    CliRun r = in({"print", "outlets"});
    EXPECT_EQ(r.code, 1);
    EXPECT_EQ(r.errLines, QStringList{QString::fromUtf8("[错误] 找不到PRINT.EXE文件！")});
    EXPECT_TRUE(launches.empty());
    EXPECT_TRUE(QFile::exists(dir->dataDir() + "/TABLE_M1.DBF"));

    QFile exe(dir->path() + "/PRINT.EXE");
    ASSERT_TRUE(exe.open(QIODevice::WriteOnly));
    exe.close();
    r = in({"print", "outlets"});
    cli::printLauncher() = {};
    EXPECT_EQ(r.code, 0) << r.errLines.join('\n').toStdString();
    EXPECT_TRUE(r.errLines.isEmpty());
    ASSERT_EQ(launches.size(), 1u);
    EXPECT_EQ(launches[0], (QStringList{dir->path() + "/PRINT.EXE", QString::fromUtf8("/rwxfile销售网点信息.rwx")}));

    const QByteArray body = readAll(dir->dataDir() + "/TABLE_M1.DBF");
    EXPECT_EQ(le16(body, 8), 289u);
    EXPECT_EQ(le16(body, 10), 349u);
    EXPECT_EQ(le32(body, 4), 2u);
    EXPECT_EQ(body.mid(289 + 1, 1), "1");
    EXPECT_EQ(body.mid(289 + 349 + 1 + 38, 4), "1002");
    const QByteArray title = readAll(dir->dataDir() + "/TABLE_B1.DBF");
    EXPECT_EQ(u8(title, 32 + 16), 110u);
}
