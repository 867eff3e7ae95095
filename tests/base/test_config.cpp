#include "base/Config.h"
#include "base/Sysdef.h"
#include "base/Gbk.h"
#include "base/TextHelpers.h"
#include "tests/support/TestSupport.h"

#include <QDir>
#include <QFile>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace corvanta;

namespace {
QByteArray readAll(const QString& path)
{
    QFile f(path);
    f.open(QIODevice::ReadOnly);
    return f.readAll();
}
}  // namespace

TEST(Config, DefaultsWhenFileOrKeysAreMissing)
{
    test::TempProgramDir dir;
    EXPECT_FALSE(Config::Version().has_value());
    EXPECT_EQ(Config::User(), "sa");
    EXPECT_EQ(Config::Password(), "");
    EXPECT_EQ(Config::Server(), ComputerNameText());
    EXPECT_EQ(Config::Engine(), "embedded");
    // The file is never created by the program.
    EXPECT_FALSE(Config::WriteDBServer("srv"));
    EXPECT_FALSE(QFile::exists(dir.path() + "/Config.cfg"));

    dir.writeConfig("[system]\r\nserver=\r\nuser=\r\n");
    EXPECT_EQ(Config::Server(), ComputerNameText());  // empty SERVER counts as absent
    EXPECT_EQ(Config::User(), "");                    // other keys keep the empty value
}

TEST(Config, ReturnValueNameFollowsTheVersionExactly)
{
    EXPECT_EQ(ReturnValueNameFor(std::nullopt), "RETURN_VALUE");
    EXPECT_EQ(ReturnValueNameFor(QString("7.0")), "RETURN_VALUE");
    for (const char* v : {"7.00", "7", "8.0", "", "2000"})
        EXPECT_EQ(ReturnValueNameFor(QString(v)), "@RETURN_VALUE") << v;

    test::TempProgramDir dir;
    dir.writeConfig("[SQLVERSION]\r\nVERSION = 7.0 \r\n");
    EXPECT_EQ(ReturnValueNameFor(Config::Version()), "RETURN_VALUE");
    dir.writeConfig("[SQLVERSION]\r\nVERSION=\r\n");
    EXPECT_EQ(ReturnValueNameFor(Config::Version()), "@RETURN_VALUE");
}

TEST(Config, ReadsKeysWithoutRegardToCaseAndQuotes)
{
    test::TempProgramDir dir;
    dir.writeConfig("; head office\r\n[System]\r\n  Server = 'db01' \r\nUSER=admin\r\nPassword=\"p w\"\r\n"
                    "engine=PostgreSQL\r\n[other]\r\nuser=nobody\r\n");
    EXPECT_EQ(Config::Server(), "db01");
    EXPECT_EQ(Config::User(), "admin");
    EXPECT_EQ(Config::Password(), "p w");
    EXPECT_EQ(Config::Engine(), "postgresql");
}

TEST(Config, WritingDBServerKeepsEveryOtherByte)
{
    test::TempProgramDir dir;
    const QByteArray original = "; comment\r\n[SQLVERSION]\r\nVERSION=8.0\r\n\r\n[SYSTEM]\r\nSERVER=main\r\n"
                                "dbserver = old\r\nUSER=sa\r\n";
    dir.writeConfig(original);
    ASSERT_TRUE(Config::WriteDBServer("db02"));
    QByteArray expected = original;
    expected.replace("dbserver = old", "dbserver =db02");
    EXPECT_EQ(readAll(ConfigPath()), expected);
    EXPECT_EQ(Config::Server(), "main");  // SERVER is never changed by a login

    // Key absent: added after the section's last line; section absent: appended at the end.
    dir.writeConfig("[SYSTEM]\r\nSERVER=a\r\n\r\n[X]\r\nk=v");
    ASSERT_TRUE(Config::WriteDBServer("s"));
    EXPECT_EQ(readAll(ConfigPath()), QByteArray("[SYSTEM]\r\nSERVER=a\r\nDBServer=s\r\n\r\n[X]\r\nk=v"));
    dir.writeConfig("[X]\nk=v");
    ASSERT_TRUE(Config::WriteDBServer("s"));
    EXPECT_EQ(readAll(ConfigPath()), QByteArray("[X]\nk=v\n[SYSTEM]\nDBServer=s\n"));
}

TEST(Config, GbkFileAndCaseInsensitiveName)
{
    test::TempProgramDir dir;
    QFile f(dir.path() + "/CONFIG.CFG");
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write("[SYSTEM]\r\nUSER=" + gbk::encode(QString::fromUtf8("管理员")) + "\r\n");
    f.close();
    EXPECT_EQ(Config::User(), QString::fromUtf8("管理员"));
    ASSERT_TRUE(Config::WriteDBServer(QString::fromUtf8("服务器")));
    EXPECT_EQ(readAll(dir.path() + "/CONFIG.CFG"),
              "[SYSTEM]\r\nUSER=" + gbk::encode(QString::fromUtf8("管理员")) + "\r\nDBServer=" +
                  gbk::encode(QString::fromUtf8("服务器")) + "\r\n");
}

TEST(Sysdef, FoldersHaveNoTrailingSeparator)
{
    test::TempProgramDir dir;
    EXPECT_FALSE(GetAppDir().endsWith('/'));
    EXPECT_EQ(GetDataDir(), GetAppDir() + "/data");
    SetAppDirForTesting("/");
    EXPECT_EQ(GetAppDir(), "");
    EXPECT_EQ(ConfigPath(), "/Config.cfg");
}

TEST(Config, AFileThatExistsButCannotBeReadFailsClosed)
{
    test::TempProgramDir dir;
    EXPECT_FALSE(Config::Problem().has_value());  // missing: the defaults, nothing reported
    const QString path = dir.path() + "/Config.cfg";
    auto expectRefused = [&](const char* what) {
        EXPECT_THROW(Config::User(), ConfigError) << what;
        EXPECT_THROW(Config::Password(), ConfigError) << what;
        auto problem = Config::Problem();
        ASSERT_TRUE(problem.has_value()) << what;
        EXPECT_TRUE(problem->contains(path)) << problem->toStdString();
        EXPECT_FALSE(Config::WriteDBServer("srv")) << what;
    };

    ASSERT_TRUE(QDir().mkdir(path));
    expectRefused("directory");
    ASSERT_TRUE(QDir().rmdir(path));

    ASSERT_TRUE(QFile::link(path, path));
    expectRefused("link to itself");
    QFile::remove(path);
    ASSERT_TRUE(QFile::link(dir.path() + "/gone.cfg", path));
    expectRefused("dangling link");
    QFile::remove(path);

    ASSERT_EQ(::mkfifo(QFile::encodeName(path).constData(), 0600), 0);
    expectRefused("fifo");  // and no read that would block
    QFile::remove(path);

    dir.writeConfig("[SYSTEM]\r\nUSER=boss\r\n");
    if (::geteuid() != 0) {  // root reads whatever the mode says
        QFile::setPermissions(path, QFileDevice::WriteOwner);
        expectRefused("mode 0200");
        QFile::setPermissions(path, QFileDevice::ReadOwner | QFileDevice::WriteOwner);
    }
    EXPECT_EQ(Config::User(), "boss");
    EXPECT_FALSE(Config::Problem().has_value());
}

TEST(Config, KeysOutsideSectionsAndUnknownEnginesAreReported)
{
    test::TempProgramDir dir;
    dir.writeConfig("; head office\r\nUSER=boss\r\n\r\npassword = x\r\n[SYSTEM]\r\nENGINE=embedded\r\n");
    auto problem = Config::Problem();
    ASSERT_TRUE(problem.has_value());
    EXPECT_TRUE(problem->contains(QString::fromUtf8("USER (第 2 行)"))) << problem->toStdString();
    EXPECT_TRUE(problem->contains(QString::fromUtf8("password (第 4 行)"))) << problem->toStdString();

    // A UTF-8 byte-order mark does not hide the first section.
    dir.writeConfig("\xEF\xBB\xBF[SYSTEM]\r\nUSER=boss\r\n");
    EXPECT_FALSE(Config::Problem().has_value());
    EXPECT_EQ(Config::User(), "boss");

    dir.writeConfig("[SYSTEM]\r\nENGINE=Oracle\r\n");
    problem = Config::Problem();
    ASSERT_TRUE(problem.has_value());
    EXPECT_TRUE(problem->contains("ENGINE=oracle")) << problem->toStdString();
    dir.writeConfig("[SYSTEM]\r\nENGINE=PostgreSQL\r\n");
    EXPECT_FALSE(Config::Problem().has_value());
}

TEST(Config, TheWriterNeverPutsALineBreakInsideAValue)
{
    test::TempProgramDir dir;
    const QByteArray original = "[SQLVERSION]\r\nVERSION=7.0\r\n[SYSTEM]\r\nUSER=sa\r\n";
    dir.writeConfig(original);
    for (const QString& v : {QString("vm\n[SQLVERSION]\nVERSION=8.0"), QString("vm\r\nUSER=x"), QString("a\rb"),
                             QString(QChar(0)), QString("a\x1b" "b"), QString::fromUtf8("a\u2029b"),
                             QString::fromUtf8("a\u0085b")}) {
        EXPECT_FALSE(Config::WriteDBServer(v)) << v.toStdString();
        EXPECT_EQ(readAll(ConfigPath()), original);
    }
    IniFile ini(ConfigPath());
    EXPECT_FALSE(ini.write("SYSTEM", "a=b", "v"));
    EXPECT_FALSE(ini.write("SYSTEM", "[X]", "v"));
    EXPECT_FALSE(ini.write("X]\r\n[Y", "k", "v"));
    EXPECT_EQ(readAll(ConfigPath()), original);
    EXPECT_TRUE(HasControlCharacter("a\tb"));
    EXPECT_FALSE(HasControlCharacter(QString::fromUtf8("服务器 01")));
    EXPECT_EQ(ReturnValueNameFor(Config::Version()), "RETURN_VALUE");
}
