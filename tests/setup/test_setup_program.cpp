// The setup program itself, run from a medium folder against a stand-in installer.
#include "tests/setup/SzddPack.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>

#include <gtest/gtest.h>

namespace {

void WriteAll(const QString& path, const QByteArray& bytes)
{
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly)) << qPrintable(path);
    f.write(bytes);
}

QByteArray ReadAll(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

}  // namespace

TEST(SetupProgram, UnpacksFromItsOwnFolderStartsTheInstallerAndEndsWithZero)
{
    QTemporaryDir root;
    const QString medium = root.path() + QString::fromUtf8("/安装盘");
    ASSERT_TRUE(QDir().mkpath(medium));
    ASSERT_TRUE(QFile::copy(QStringLiteral(SETUP_EXE), medium + "/setup"));

    // The stand-in installer records how it was started; the record appears whole or not at all.
    const QString record = root.path() + "/started.txt";
    const QByteArray installer = "#!/bin/sh\n"
                                 "{ echo \"$0\"; echo \"$#\"; for a in \"$@\"; do echo \"[$a]\"; done; } > '"
                                 + QFile::encodeName(record) + ".tmp' && mv '" + QFile::encodeName(record)
                                 + ".tmp' '" + QFile::encodeName(record) + "'\n";
    WriteAll(medium + "/az.ex_", setup::test::SzddPack(installer));
    WriteAll(medium + "/nhsetup.dl_", setup::test::SzddPack(QByteArray(5000, 'n')));
    WriteAll(medium + "/tavikp.dl_", "not packed");  // ntdriver.dl_ missing

    QProcess setup;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("QT_QPA_PLATFORM", "offscreen");
    env.insert("CORVANTA_SETUP_DRIVE_C", root.path() + "/c");
    env.insert("CORVANTA_SETUP_WINDOWS", root.path() + "/win");
    setup.setProcessEnvironment(env);
    setup.setWorkingDirectory(root.path());
    setup.start(medium + "/setup", {});
    ASSERT_TRUE(setup.waitForFinished(20000)) << setup.readAllStandardError().constData();
    EXPECT_EQ(setup.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(setup.exitCode(), 0) << setup.readAllStandardError().constData();

    // Detached: the installer may still be starting when setup has ended.
    QElapsedTimer wait;
    wait.start();
    while (!QFile::exists(record) && wait.elapsed() < 10000)
        QThread::msleep(20);
    const QString mssetup = root.path() + "/c/tavik$$$/mssetup.exe";
    EXPECT_EQ(QString::fromUtf8(ReadAll(record)), mssetup + "\n0\n");

    QByteArray parm = QString(medium).toLocal8Bit();
    parm.replace(QString::fromUtf8("安装盘").toUtf8(), QByteArray("\xB0\xB2\xD7\xB0\xC5\xCC"));  // GBK
    parm.append(100 - parm.size(), '\0');
    EXPECT_EQ(ReadAll(root.path() + "/c/parm.txt"), parm);
    EXPECT_EQ(ReadAll(mssetup), installer);
    EXPECT_EQ(ReadAll(root.path() + "/win/nhsetup.dll"), QByteArray(5000, 'n'));
    EXPECT_FALSE(QFile::exists(root.path() + "/win/ntdriver.dll"));
    EXPECT_EQ(ReadAll(root.path() + "/win/tavikp.dll"), "not packed");
}
