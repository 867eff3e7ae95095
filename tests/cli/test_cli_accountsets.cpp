#include "cli/CliMessages.h"
#include "tests/cli/CliFixture.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

using namespace corvanta;
using namespace corvanta::test;

TEST_F(CliTest, AccountSetsAreCreatedListedAndDeleted)
{
    CliRun list = run({"accountsets"});
    ASSERT_EQ(list.code, 0) << list.errLines.join('\n').toStdString();
    ASSERT_FALSE(list.lines().isEmpty());
    EXPECT_EQ(list.lines()[0], QString::fromUtf8("编号\t帐套名称\t数据库名称\tSYSID"));

    const QString a = uniqueDbName() + "a";
    const QString b = uniqueDbName() + "b";
    createAccountSet(QString::fromUtf8("总部 'A'; 帐套"), a);
    createAccountSet(QString::fromUtf8("分部"), b);

    list = run({"accountsets"});
    QStringList lines = list.lines();
    // Sequence numbers count 1, 2, ... in catalogue order, whatever the ids; a newer set comes later.
    for (int i = 1; i < lines.size(); ++i)
        EXPECT_EQ(lines[i].section('\t', 0, 0), QString::number(i));
    // Other clients (tests running beside this one) may add sets meanwhile: find ours by name.
    qsizetype rowA = -1, rowB = -1;
    for (qsizetype i = 1; i < lines.size(); ++i) {
        if (lines[i].section('\t', 2, 2) == a)
            rowA = i;
        if (lines[i].section('\t', 2, 2) == b)
            rowB = i;
    }
    ASSERT_GT(rowA, 0);
    EXPECT_GT(rowB, rowA);
    EXPECT_EQ(lines[rowB].section('\t', 1, 2), QString::fromUtf8("分部\t") + b);
    EXPECT_EQ(lines[rowA], QString::fromUtf8("%1\t总部 'A'; 帐套\t%2\t%3").arg(rowA).arg(a).arg(sysIdOf(a)));

    // A duplicate database name is refused by the engine.
    CliRun dup = run({"accountset-create", "--admin", admin(), "--password", adminPassword(), "again", a});
    EXPECT_EQ(dup.code, 1);
    // The message as the dialog shows it, then why.
    ASSERT_EQ(dup.errLines.size(), 2) << dup.errLines.join('\n').toStdString();
    EXPECT_EQ(dup.errLines[0], QString::fromUtf8("[提示] 创建帐套失败!"));
    EXPECT_EQ(dup.errLines[1], QString::fromUtf8("[原因] 数据库名称已被占用：已有数据库 %1").arg(a));
    dup = run({"accountset-create", "--admin", admin(), "--password", adminPassword(), "again", a.toUpper()});
    EXPECT_EQ(dup.code, 1);
    EXPECT_EQ(dup.errLines.value(1), QString::fromUtf8("[原因] 数据库名称已被占用：已有数据库 %1").arg(a));

    const int idA = sysIdOf(a);
    ASSERT_GT(idA, 0);
    CliRun del = run({"accountset-delete", "--admin", admin(), "--password", adminPassword(), QString::number(idA)});
    EXPECT_EQ(del.code, 0);
    EXPECT_EQ(del.errLines, QStringList{QString::fromUtf8("[提示] 删除帐套成功!")});
    EXPECT_EQ(sysIdOf(a), -1);
    EXPECT_GT(sysIdOf(b), 0);
    lines = run({"accountsets"}).lines();
    for (int i = 1; i < lines.size(); ++i)
        EXPECT_EQ(lines[i].section('\t', 0, 0), QString::number(i));  // renumbered from 1

    // An id that is not in the catalogue: refused, said so, nothing changed.
    // (Only our own rows are compared: other clients may add and remove sets meanwhile.)
    const auto ours = [&] {
        QStringList rows;
        for (const QString& line : run({"accountsets"}).lines())
            if (line.section('\t', 2, 2) == a || line.section('\t', 2, 2) == b)
                rows << line.section('\t', 1);
        return rows;
    };
    const QStringList before = ours();
    for (const QString& gone : {QString::number(idA), QStringLiteral("987654321")}) {
        del = run({"accountset-delete", "--admin", admin(), "--password", adminPassword(), gone});
        EXPECT_EQ(del.code, 1);
        EXPECT_EQ(del.errLines,
                  QStringList{QString::fromUtf8("[提示] 帐套不存在（SYSID %1），删除帐套失败!").arg(gone)});
    }
    EXPECT_EQ(ours(), before);
    EXPECT_GT(sysIdOf(b), 0);
}

TEST_F(CliTest, AdministratorChecksAndNameRuleRefuseBeforeTheServer)
{
    const QString db = uniqueDbName();
    // Wrong account (differs only in case), wrong password.
    QString wrongCase = admin().toUpper() == admin() ? admin().toLower() : admin().toUpper();
    for (const QStringList& creds : {QStringList{wrongCase, adminPassword()}, QStringList{admin(), "nope"}}) {
        CliRun r = run({"accountset-create", "--admin", creds[0], "--password", creds[1], "x", db});
        EXPECT_EQ(r.code, 1);
        EXPECT_EQ(r.errLines, QStringList{QString::fromUtf8("[错误] 管理员密码不对,创建帐套失败!")});
        r = run({"accountset-delete", "--admin", creds[0], "--password", creds[1], "1"});
        EXPECT_EQ(r.code, 1);
        EXPECT_EQ(r.errLines, QStringList{QString::fromUtf8("[错误] 管理员密码不对,删除帐套失败!")});
    }
    EXPECT_EQ(sysIdOf(db), -1);

    // Blank fields.
    CliRun r = run({"accountset-create", "--admin", "  ", "--password", "", "x", db});
    EXPECT_EQ(r.code, 1);
    EXPECT_EQ(r.errLines, QStringList{QString::fromUtf8("[提示信息] 管理员帐号、帐套名称和数据库名称都不能为空！")});
    r = run({"accountset-delete", "--admin", " ", "1"});
    EXPECT_EQ(r.code, 1);
    EXPECT_EQ(r.errLines, QStringList{QString::fromUtf8("[提示信息] 管理员帐号不能为空！")});

    // An account-set name longer than the catalogue holds: refused before anything is made.
    r = run({"accountset-create", "--admin", admin(), "--password", adminPassword(),
             QString::fromUtf8("帐").repeated(51), db});
    EXPECT_EQ(r.code, 1);
    EXPECT_EQ(r.errLines, QStringList{QString::fromUtf8("[提示信息] 帐套名称最长50个字符！")});
    EXPECT_EQ(sysIdOf(db), -1);
    createAccountSet(QString::fromUtf8("帐").repeated(50), db);
    const QStringList listed = run({"accountsets"}).lines().filter(db);
    ASSERT_EQ(listed.size(), 1);
    EXPECT_EQ(listed[0].section('\t', 1, 1), QString::fromUtf8("帐").repeated(50));

    // Names that are not plain identifiers never reach the server.
    for (QString bad : {QString("1abc"), QString("a b"), QString::fromUtf8("帐套"), QString("x'; drop table t; --"),
                        QString("a").repeated(51)}) {
        r = run({"accountset-create", "--admin", admin(), "--password", adminPassword(), "x", bad});
        EXPECT_EQ(r.code, 1) << bad.toStdString();
        ASSERT_EQ(r.errLines.size(), 1);
        EXPECT_TRUE(r.errLines[0].startsWith(QString::fromUtf8("[提示信息] 数据库名称只能")));
        EXPECT_EQ(sysIdOf(bad), -1);
    }
    const QString longest = "a" + QString("b").repeated(49);
    EXPECT_EQ(run({"accountset-create", "--admin", admin(), "--password", adminPassword(), "x", longest}).code, 0);
    createdDbs << longest;
}

TEST_F(CliTest, UsageErrorsAndConnectionFailures)
{
    EXPECT_EQ(run({"no-such-command"}).code, 2);
    EXPECT_EQ(run({"accountset-create", "x", "y"}).code, 2);  // --admin missing
    EXPECT_EQ(run({"accountset-delete", "--admin", "sa", "abc"}).code, 2);
    EXPECT_EQ(run({"accountsets", "extra"}).code, 2);
    EXPECT_EQ(run({"--bogus", "accountsets"}).code, 2);

    // A server that cannot be reached: the login's message, exit 3, nothing written.
    QString unreachable = engine() == QLatin1String("postgresql") ? QString("/nonexistent-socket-dir:1") : server;
    if (engine() == QLatin1String("embedded"))
        QDir(dir->dataDir()).removeRecursively();  // the embedded engine needs its data folder
    CliRun r = run({"--server", unreachable, "accountsets"});
    EXPECT_EQ(r.code, 3);
    ASSERT_EQ(r.errLines.size(), 2) << r.errLines.join('\n').toStdString();
    EXPECT_EQ(r.errLines[0], QString::fromUtf8("[错误] 连接失败，请确认输入正确的服务器名！"));
    // Why, on the line after: the engine's own words, not the message again.
    EXPECT_TRUE(r.errLines[1].startsWith(QString::fromUtf8("[原因] "))) << r.errLines[1].toStdString();
    EXPECT_GT(r.errLines[1].size(), 8);
    EXPECT_FALSE(r.errLines[1].contains(QString::fromUtf8("连接失败")));
}

TEST_F(CliTest, UnwritableDataFolderIsNamedAsTheCause)
{
    if (engine() != QLatin1String("embedded"))
        GTEST_SKIP() << "only the embedded engine keeps its databases in the data folder";
    // A folder no one may write into, not even an administrator: a proc folder.
    const QString data = dir->dataDir();
    ASSERT_TRUE(QDir(data).removeRecursively());
    ASSERT_TRUE(QFile::link(QStringLiteral("/proc/self/fdinfo"), data));
    CliRun r = run({"accountsets"});
    EXPECT_EQ(r.code, 3);
    ASSERT_EQ(r.errLines.size(), 2) << r.errLines.join('\n').toStdString();
    EXPECT_EQ(r.errLines[0],
              QString::fromUtf8("[错误] 数据文件夹 %1 不可写，请检查该文件夹的权限！").arg(QDir::toNativeSeparators(data)));
    EXPECT_TRUE(r.errLines[1].startsWith(QString::fromUtf8("[原因] "))) << r.errLines[1].toStdString();
    QFile::remove(data);
}

TEST_F(CliTest, CreationFailuresSayWhy)
{
    ASSERT_EQ(run({"accountsets"}).code, 0);
    const QString db = uniqueDbName();
    // The template is gone.
    for (const char* name : {"tavikhz", "tavikhz.sql"})
        QFile::remove(dir->dataDir() + QLatin1Char('/') + QLatin1String(name));
    CliRun r = run({"accountset-create", "--admin", admin(), "--password", adminPassword(), "x", db});
    EXPECT_EQ(r.code, 1);
    ASSERT_EQ(r.errLines.size(), 2) << r.errLines.join('\n').toStdString();
    EXPECT_EQ(r.errLines[0], QString::fromUtf8("[提示] 创建帐套失败!"));
    EXPECT_TRUE(r.errLines[1].startsWith(QString::fromUtf8("[原因] 帐套模板 ")) &&
                r.errLines[1].endsWith(QString::fromUtf8(" 缺失或不可读")))
        << r.errLines[1].toStdString();
    EXPECT_EQ(sysIdOf(db), -1);
}

TEST_F(CliTest, KilledCreationLeavesNothingThatBlocksTheName)
{
    if (engine() != QLatin1String("embedded"))
        GTEST_SKIP() << "on the server the kill itself is tested (CliProcesses)";
    ASSERT_EQ(run({"accountsets"}).code, 0);
    const QString db = uniqueDbName();
    const QString data = dir->dataDir() + QLatin1Char('/');
    auto touch = [](const QString& path) {
        QFile f(path);
        return f.open(QIODevice::WriteOnly) && f.write("x") == 1;
    };
    // What a creation killed after the move, before the registration, leaves (no such process).
    const QString dead = QStringLiteral("2147483000");
    ASSERT_TRUE(touch(data + db + ".db"));
    ASSERT_TRUE(touch(data + "." + db + ".creating-" + dead));
    ASSERT_TRUE(touch(data + "." + db + ".restoring-" + dead));
    createAccountSet("x", db);
    EXPECT_GT(sysIdOf(db), 0);
    EXPECT_EQ(QDir(data).entryList({"." + db + ".*"}, QDir::Files | QDir::Hidden), QStringList());

    // A creation whose process still runs (pid 1) is left alone: the name stays taken.
    const QString other = uniqueDbName();
    ASSERT_TRUE(touch(data + other + ".db"));
    ASSERT_TRUE(touch(data + "." + other + ".creating-1"));
    CliRun r = run({"accountset-create", "--admin", admin(), "--password", adminPassword(), "y", other});
    EXPECT_EQ(r.code, 1);
    EXPECT_EQ(r.errLines.value(1), QString::fromUtf8("[原因] 数据库名称已被占用：另一个用户正在创建数据库 %1").arg(other));
    EXPECT_TRUE(QFileInfo::exists(data + other + ".db"));
    EXPECT_EQ(sysIdOf(other), -1);
}

TEST(CliMessages, CarriageReturnsBecomeSlashes)
{
    QString text;
    QTextStream err(&text);
    cli::CliMessages m(err);
    m.systemBox("错误", "连接失败");
    m.cause("could not connect\nis the server running?");
    m.cause("  ");  // nothing to say: no line
    EXPECT_EQ(text, QString::fromUtf8("[错误] 连接失败\n[原因] could not connect / is the server running?\n"));
    EXPECT_EQ(m.count(), 1);

    EXPECT_EQ(cli::formatMessage("提示信息", "数据导入失败！\r错误原因：x"), QString::fromUtf8("[提示信息] 数据导入失败！ / 错误原因：x"));
    EXPECT_EQ(cli::formatMessage("a", "1\r\n2\n3"), QString("[a] 1 / 2 / 3"));
}
