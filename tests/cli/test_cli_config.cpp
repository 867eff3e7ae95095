#include "base/Sysdef.h"
#include "tests/cli/CliFixture.h"

#include <QDir>
#include <QFile>

using namespace corvanta;
using namespace corvanta::test;

namespace {
QByteArray configBytes()
{
    QFile f(ConfigPath());
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}
}  // namespace

TEST_F(CliTest, AnUnusableConfigStopsBeforeTheDefaultAdministratorCanAct)
{
    const QString db = uniqueDbName();
    auto createAsDefaultAdmin = [&] {
        return run({"accountset-create", "--admin", "sa", "--password", "", "x", db});
    };

    // Config.cfg that is not a regular file: the defaults must not apply.
    QFile::remove(ConfigPath());
    ASSERT_TRUE(QDir().mkdir(ConfigPath()));
    CliRun r = createAsDefaultAdmin();
    EXPECT_EQ(r.code, 1);
    ASSERT_EQ(r.errLines.size(), 1);
    EXPECT_TRUE(r.errLines[0].startsWith(QString::fromUtf8("[错误] 配置文件 "))) << r.errLines[0].toStdString();
    ASSERT_TRUE(QDir().rmdir(ConfigPath()));

    // A link to itself exists but can never be read.
    ASSERT_TRUE(QFile::link(ConfigPath(), ConfigPath()));
    r = createAsDefaultAdmin();
    EXPECT_EQ(r.code, 1);
    EXPECT_TRUE(r.errLines.join('\n').contains(QString::fromUtf8("无法读取配置文件"))) << r.errLines.join('\n').toStdString();
    QFile::remove(ConfigPath());

    // Keys above the first section are reported, not silently dropped.
    dir->writeConfig("USER=boss\r\nPASSWORD=secret\r\n" + EngineConfig(engine()));
    r = createAsDefaultAdmin();
    EXPECT_EQ(r.code, 1);
    EXPECT_TRUE(r.errLines.join('\n').contains("USER")) << r.errLines.join('\n').toStdString();

    // An unknown engine gets its own message, not the server-name one.
    dir->writeConfig("[SYSTEM]\r\nENGINE=oracle\r\n");
    r = run({"accountsets"});
    EXPECT_EQ(r.code, 1);
    EXPECT_TRUE(r.errLines.join('\n').contains("ENGINE=oracle")) << r.errLines.join('\n').toStdString();

    dir->writeConfig(EngineConfig(engine()));
    EXPECT_EQ(sysIdOf(db), -1);  // nothing was created on the way
}

TEST_F(CliTest, AServerNameWithLineBreaksIsRefusedBeforeConnecting)
{
    const QByteArray before = configBytes();
    for (const QString& name : {QString("vm\n[SQLVERSION]\nVERSION=8.0"), QString("vm\rx"), QString("a\tb"),
                                QString::fromUtf8("vm\u2028[X]")}) {
        CliRun r = run({"--server", name, "accountsets"});
        EXPECT_EQ(r.code, 2) << name.toStdString();
        EXPECT_TRUE(r.errLines.join('\n').contains(QString::fromUtf8("服务器名不能包含换行符或其他控制字符")));
        EXPECT_TRUE(r.out.isEmpty());
        EXPECT_EQ(configBytes(), before);
    }
    // Blanks and line breaks around the name are trimmed as before.
    CliRun r = run({"--server", server + "\n", "accountsets"});
    EXPECT_EQ(r.code, 0) << r.errLines.join('\n').toStdString();
    EXPECT_TRUE(configBytes().contains("DBServer=" + server.toUtf8() + "\n"));
}
