// What a night run with nobody watching relies on: a failed write is a failure and leaves the
// earlier file, the program's own files are never written over, exports hold every row and say
// what they could not hold, and no control character reaches the terminal.
#include "tests/cli/CliFixture.h"
#include "tests/support/FullDisk.h"

#include "base/Gbk.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QStringDecoder>

using namespace corvanta;
using namespace corvanta::test;

namespace {

const QString kHeader = QString::fromUtf8("商品名称,商品编码,规格,型号,单位,产地,日期,数量,成本,金额,网点,类型\r\n");

// No byte a terminal takes as a command: C0 but tab and line feed, DEL, C1 (C2 80..C2 9F).
bool terminalSafe(const QByteArray& utf8)
{
    for (qsizetype i = 0; i < utf8.size(); ++i) {
        const auto b = static_cast<unsigned char>(utf8[i]);
        if ((b < 0x20 && b != '\t' && b != '\n') || b == 0x7F)
            return false;
        if (b == 0xC2 && i + 1 < utf8.size() && (static_cast<unsigned char>(utf8[i + 1]) & 0xE0) == 0x80)
            return false;
    }
    return true;
}

// Outlet 1, and a day of 3,000 product lines: a result of some 250 kB.
class CliSafety : public CliTest {
protected:
    void SetUp() override
    {
        CliTest::SetUp();
        if (IsSkipped())
            return;
        db = uniqueDbName();
        createAccountSet(QString::fromUtf8("安全") + db, db);
        addOutlet(db, "1", QString::fromUtf8("东城店"));
        QString text = kHeader;
        for (int i = 0; i < 3000; ++i)
            text += QStringLiteral("商品%1,P%1,1支,X,盒,北京,2024-01-10,2,12,20,1,11\r\n").arg(i);
        const CliRun r = run({"--account-set", db, "import", writeGbkFile("day.txt", text)});
        ASSERT_EQ(r.code, 0) << r.errLines.join('\n').toStdString();
    }

    CliRun in(QStringList args) { return run(QStringList{"--account-set", db} + args); }

    QString db;
    const QStringList sales{"sales", "--from", "2024-01-01", "--to", "2024-12-31"};
    const QStringList stat{"stat", "--mode", "P", "--from", "2024-01-01", "--to", "2024-12-31"};
};

}  // namespace

TEST_F(CliSafety, FullDiskFailsEveryFormatAndKeepsTheEarlierFile)
{
    FullDisk disk(1024);
    if (!disk.mounted())
        GTEST_SKIP() << disk.whyNot().toStdString() << " (AtomicFile.DevicesAndPipesAreStreamed covers /dev/full)";
    const QByteArray old(20 * 1024, 'o');
    struct Case {
        QString file;
        QStringList args;
    };
    const std::vector<Case> cases{
        {disk.filePath("r.tsv"), sales + QStringList{"--output", disk.filePath("r.tsv")}},
        {disk.filePath("r.csv"), sales + QStringList{"--format", "csv", "--output", disk.filePath("r.csv")}},
        {disk.filePath("r.xlsx"), sales + QStringList{"--format", "xlsx", "--output", disk.filePath("r.xlsx")}},
        {disk.filePath("c.png"), stat + QStringList{"--chart", disk.filePath("c.png")}},
        {disk.filePath("c.svg"), stat + QStringList{"--chart", disk.filePath("c.svg")}},
        {disk.filePath("c.pdf"), stat + QStringList{"--chart", disk.filePath("c.pdf")}},
    };
    for (const Case& c : cases)
        ASSERT_TRUE(WriteFileBytes(c.file, old));
    disk.fill();
    for (const Case& c : cases) {
        const CliRun r = in(c.args);
        EXPECT_EQ(r.code, 1) << c.file.toStdString();
        EXPECT_TRUE(r.errLines.join('\n').contains(c.file)) << r.errLines.join('\n').toStdString();
        EXPECT_EQ(FileBytes(c.file), old) << c.file.toStdString();
    }
    disk.unfill();
    // Nothing half-written is left beside the targets, and with room the same commands succeed.
    EXPECT_EQ(QDir(disk.path()).entryList(QDir::Files | QDir::Hidden).size(), int(cases.size()));
    for (const Case& c : {cases[0], cases[3]}) {
        const CliRun r = in(c.args);
        EXPECT_EQ(r.code, 0) << r.errLines.join('\n').toStdString();
        EXPECT_NE(FileBytes(c.file), old);
    }
}

TEST_F(CliSafety, TheProgramsOwnFilesAreRefusedAsTargets)
{
    const QString app = dir->path();
    const QByteArray config = FileBytes(app + "/Config.cfg");
    const QString dbFile = dir->dataDir() + "/" + db + ".db";
    const bool embedded = engine() == QLatin1String("embedded");
    const QByteArray dbBytes = embedded ? FileBytes(dbFile) : QByteArray();
    const QStringList targets{app + "/Config.cfg", dir->dataDir() + "/master.db", dbFile,
                              app + "/data/../data/new.tsv", app + "/corvanta-cli"};
    for (const QString& t : targets) {
        for (const QStringList& how : {QStringList{"outlets", "--output", t},
                                       QStringList{"outlets", "--format", "csv", "--output", t},
                                       QStringList{"outlets", "--format", "xlsx", "--output", t}}) {
            const CliRun r = in(how);
            EXPECT_EQ(r.code, 1) << how.join(' ').toStdString();
            EXPECT_TRUE(r.errLines.join('\n').contains(QStringLiteral("不能写入文件"))) << r.errLines.join('\n').toStdString();
        }
    }
    const CliRun chart = in(stat + QStringList{"--chart", dir->dataDir() + "/c.png"});
    EXPECT_EQ(chart.code, 1);
    EXPECT_FALSE(QFileInfo::exists(dir->dataDir() + "/c.png"));
    EXPECT_EQ(FileBytes(app + "/Config.cfg"), config);
    if (embedded) {
        EXPECT_EQ(FileBytes(dbFile), dbBytes);
    }
    EXPECT_FALSE(QFileInfo::exists(dir->dataDir() + "/new.tsv"));
    EXPECT_FALSE(QFileInfo::exists(app + "/corvanta-cli"));
    // The account set and the catalogue still work; a new file in the program folder is fine.
    const CliRun r = in({"outlets", "--output", app + "/outlets.tsv"});
    EXPECT_EQ(r.code, 0) << r.errLines.join('\n').toStdString();
    EXPECT_TRUE(FileBytes(app + "/outlets.tsv").contains("东城店"));
    EXPECT_GT(sysIdOf(db), 0);
}

TEST_F(CliSafety, GbkHoldsOnlyGbkAndGb18030HoldsEverything)
{
    // Thai and a supplementary-plane character are outside GBK.
    addOutlet(db, "2", QString::fromUtf8("曼谷กรุงเทพ店"));
    const QString gbkFile = dir->path() + "/outlets-gbk.csv";
    CliRun r = in({"outlets", "--format", "csv", "--encoding", "gbk", "--output", gbkFile});
    EXPECT_EQ(r.code, 1);
    const QString message = r.errLines.join('\n');
    EXPECT_TRUE(message.contains(QStringLiteral("第 2 行第 3 列（网点名称）")) && message.contains(QStringLiteral("“ก”")) &&
                message.contains(QStringLiteral("utf8")) && message.contains(QStringLiteral("gb18030")))
        << message.toStdString();
    EXPECT_FALSE(QFileInfo::exists(gbkFile));
    EXPECT_EQ(in({"outlets", "--format", "csv", "--encoding", "gbk"}).code, 1);  // standard output too

    const QString wide = dir->path() + "/outlets-gb18030.csv";
    r = in({"outlets", "--format", "csv", "--encoding", "gb18030", "--output", wide});
    ASSERT_EQ(r.code, 0) << r.errLines.join('\n').toStdString();
    QStringDecoder decode("GB18030", QStringConverter::Flag::Stateless);
    const QString back = decode(FileBytes(wide));
    EXPECT_FALSE(decode.hasError());
    EXPECT_TRUE(back.contains(QString::fromUtf8("曼谷กรุงเทพ店")));

    // What GBK holds comes out as plain two-byte GBK, which iconv's GBK reads.
    runAccountSetSql(db, QStringLiteral("DELETE FROM outlets WHERE idkey = '2'"));
    ASSERT_EQ(in({"outlets", "--format", "csv", "--encoding", "gbk", "--output", gbkFile}).code, 0);
    QProcess iconv;
    iconv.start("iconv", {"-f", "GBK", "-t", "UTF-8", gbkFile});
    ASSERT_TRUE(iconv.waitForFinished(10000));
    EXPECT_EQ(iconv.exitCode(), 0);
    EXPECT_TRUE(QString::fromUtf8(iconv.readAllStandardOutput()).contains(QStringLiteral("东城店")));
}

TEST_F(CliSafety, ControlCharactersNeverReachTheTerminal)
{
    const QString hostile = QString::fromUtf8("\x1b]0;pwned\x07\x1b[2J店");
    // Refused where a name is typed, with nothing stored.
    CliRun r = in({"outlet-add", "--id", "7", "--name", hostile});
    EXPECT_EQ(r.code, 1);
    EXPECT_TRUE(r.errLines.join('\n').contains(QStringLiteral("网点名称不能含有控制字符")));
    EXPECT_EQ(in({"outlet-modify", "--id", "1", "--name", "东城店", "--address", "a\tb"}).code, 1);
    EXPECT_EQ(in({"outlet-add", "--id", "8", "--name", "好店", "--linkman", QString(QChar(0x9B)) + "2J"}).code, 1);
    r = run({"accountset-create", "--admin", admin(), "--password", adminPassword(), hostile, db + "x"});
    EXPECT_EQ(r.code, 1);
    EXPECT_EQ(sysIdOf(db + "x"), -1);
    r = in({"outlets"});
    EXPECT_FALSE(r.out.contains(QStringLiteral("pwned")));

    // Stored before (another client, an older version): kept as it is, written as blanks.
    addOutlet(db, "9", hostile + QChar(0x7F) + QChar(0x9B));
    r = in({"outlets"});
    ASSERT_EQ(r.code, 0);
    EXPECT_TRUE(terminalSafe(r.out.toUtf8()));
    EXPECT_TRUE(r.out.contains(QStringLiteral(" ]0;pwned  [2J店  ")));
    r = in({"outlets", "--format", "csv"});
    EXPECT_TRUE(r.out.contains(hostile)) << "CSV keeps the data";
    const auto rows = queryRows(db, "hz_GetNet", {}, {"AGENTNAME"});
    bool stored = false;
    for (const QStringList& row : rows)
        stored = stored || row.value(0).startsWith(hostile);
    EXPECT_TRUE(stored);

    // From an outlet's file (a product name) and in a file's name: blanks in sales, history and
    // the FILE:LINE: lines.
    const QString badName = QString::fromUtf8("坏\x1b[2J.txt");
    writeGbkFile(badName, kHeader + QString::fromUtf8("笔\x1b[31m红,Q1,1,X,盒,京,2024-02-01,1,1,1,1,11\r\n"
                                                      "笔,Q2,1,X,盒,京,2024-02-01,1,1,1,404,11\r\n"));
    r = in({"import", dir->path() + "/" + badName});
    EXPECT_EQ(r.code, 1);
    EXPECT_TRUE(terminalSafe(r.errLines.join('\n').toUtf8())) << r.errLines.join('\n').toStdString();
    const QString good = writeGbkFile("esc.txt", kHeader + QString::fromUtf8("笔\x1b[31m红,Q1,1,X,盒,京,2024-02-01,1,1,1,1,11\r\n"));
    ASSERT_EQ(in({"import", good}).code, 0);
    r = in({"sales", "--from", "2024-02-01", "--to", "2024-02-01"});
    ASSERT_EQ(r.lines().size(), 2);
    EXPECT_TRUE(terminalSafe(r.out.toUtf8()));
    EXPECT_TRUE(r.out.contains(QStringLiteral("笔 [31m红")));
    r = in({"history"});
    EXPECT_TRUE(terminalSafe(r.out.toUtf8()));
    EXPECT_TRUE(r.out.contains(QStringLiteral("坏 [2J.txt")));
}

TEST_F(CliSafety, OutletNumbersFollowOneRuleAndMessagesNameTheLimits)
{
    addOutlet(db, "0101", QString::fromUtf8("前导零店"));
    const QString file = writeGbkFile("numbers.txt", kHeader + QString::fromUtf8(
        "甲,N1,1,X,盒,京,2024-03-01,1,1,1,01,11\r\n"
        "乙,N2,1,X,盒,京,2024-03-01,1,1,1,0001,11\r\n"
        "丙,N3,1,X,盒,京,2024-03-01,1,1,1,+1,11\r\n"
        "丁,N4,1,X,盒,京,2024-03-01,1,1,1,101,11\r\n"));
    CliRun r = in({"import", file});
    ASSERT_EQ(r.code, 0) << r.errLines.join('\n').toStdString();
    for (const char* outlet : {"1", "01", "+1"}) {
        r = in({"sales", "--from", "2024-03-01", "--to", "2024-03-01", "--outlet", outlet});
        ASSERT_EQ(r.code, 0);
        EXPECT_EQ(r.lines().size(), 4) << outlet;  // heading and three lines
    }
    r = in({"sales", "--from", "2024-03-01", "--to", "2024-03-01", "--outlet", "+101"});
    ASSERT_EQ(r.lines().size(), 2);
    EXPECT_TRUE(r.lines()[1].contains(QStringLiteral("\t0101\t前导零店\t"))) << "stored text unchanged";
    // An outlet number that names no outlet is still refused, naming it.
    r = in({"import", writeGbkFile("none.txt", kHeader + QString::fromUtf8("戊,N5,1,X,盒,京,2024-03-02,1,1,1,02,11\r\n"))});
    EXPECT_EQ(r.code, 1);
    EXPECT_TRUE(r.errLines.join('\n').contains(QStringLiteral("网点 02 不存在")));

    // The limits, said where they are passed.
    r = in({"import", writeGbkFile("big.txt", kHeader + QString::fromUtf8("己,N6,1,X,盒,京,2024-03-03,1,1,1000000000000,1,11\r\n"))});
    EXPECT_EQ(r.code, 1);
    EXPECT_TRUE(r.errLines.join('\n').contains(QStringLiteral("小数点前最多 12 位，小数点后最多 6 位"))) << r.errLines.join('\n').toStdString();
    r = in({"import", writeGbkFile("fine.txt", kHeader + QString::fromUtf8("庚,N7,1,X,盒,京,2024-03-03,1.1234567,1,1,1,11\r\n"))});
    EXPECT_TRUE(r.errLines.join('\n').contains(QStringLiteral("数量超出范围：1.1234567"))) << r.errLines.join('\n').toStdString();
    r = in({"history", "--limit", "99999999999999999999"});
    EXPECT_EQ(r.code, 2);
    EXPECT_TRUE(r.errLines.join('\n').contains(QStringLiteral("from 1 to 2147483647")));
    r = in({"sales", "--from", "2024-03-01", "--to", "2024-03-01", "--outlet", "99999999999999999999"});
    EXPECT_EQ(r.code, 1);
    const QString why = r.errLines.join('\n');
    EXPECT_TRUE(why.contains(QStringLiteral("网点编号应为数字，请重新输入！")) && why.contains(QStringLiteral("超出范围")))
        << why.toStdString();
}
