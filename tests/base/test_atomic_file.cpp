// Every file the program writes: whole or not at all, never over its own files, streams kept.
#include "base/AtomicFile.h"
#include "tests/support/FullDisk.h"
#include "tests/support/TestSupport.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTextStream>
#include <gtest/gtest.h>

#include <future>
#include <sys/stat.h>

using namespace corvanta;
using namespace corvanta::test;

namespace {

QStringList entries(const QString& dir)
{
    return QDir(dir).entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
}

}  // namespace

TEST(AtomicFile, FullDiskLeavesTheEarlierFileWhole)
{
    FullDisk disk(64);
    if (!disk.mounted())
        GTEST_SKIP() << disk.whyNot().toStdString() << " (AtomicFile.DevicesAndPipesAreStreamed covers /dev/full)";
    const QString target = disk.filePath(QStringLiteral("result.tsv"));
    const QByteArray old(20 * 1024, 'o');
    ASSERT_TRUE(WriteFileBytes(target, old));

    // In one piece, and in many small ones through a text stream, as the writers do.
    QString error;
    EXPECT_FALSE(WriteFileAtomically(target, QByteArray(240 * 1024, 'n'), &error));
    EXPECT_TRUE(error.contains(target)) << error.toStdString();
    EXPECT_TRUE(error.contains(QStringLiteral("No space left"))) << error.toStdString();
    {
        AtomicFile f(target);
        ASSERT_TRUE(f.open());
        QTextStream s(&f.device());
        for (int i = 0; i < 30000; ++i)
            s << "line " << i << '\t' << QStringLiteral("商品") << '\n';
        s.flush();
        EXPECT_FALSE(f.commit());
        EXPECT_TRUE(f.error().contains(target));
    }
    EXPECT_EQ(FileBytes(target), old);
    EXPECT_EQ(entries(disk.path()), QStringList{QStringLiteral("result.tsv")}) << "no temporary file is left";

    // A caller's own failure is not committed either.
    {
        AtomicFile f(target);
        ASSERT_TRUE(f.open());
        f.device().write("short");
        f.fail(QStringLiteral("the chart was not drawn"));
        EXPECT_FALSE(f.commit());
    }
    EXPECT_EQ(FileBytes(target), old);

    // What fits replaces the file, with its permissions.
    ASSERT_EQ(::chmod(QFile::encodeName(target).constData(), 0640), 0);
    ASSERT_TRUE(WriteFileAtomically(target, "new\n", &error)) << error.toStdString();
    EXPECT_EQ(FileBytes(target), QByteArray("new\n"));
    EXPECT_EQ(QFileInfo(target).permissions(), QFileDevice::ReadOwner | QFileDevice::WriteOwner |
                                                   QFileDevice::ReadUser | QFileDevice::WriteUser |
                                                   QFileDevice::ReadGroup);
}

TEST(AtomicFile, DevicesAndPipesAreStreamedNeverReplaced)
{
    QString error;
    EXPECT_FALSE(WriteFileAtomically(QStringLiteral("/dev/full"), QByteArray(100000, 'x'), &error));
    EXPECT_TRUE(error.contains(QStringLiteral("/dev/full"))) << error.toStdString();

    ASSERT_TRUE(WriteFileAtomically(QStringLiteral("/dev/null"), "gone", &error)) << error.toStdString();
    struct stat st {};
    ASSERT_EQ(::stat("/dev/null", &st), 0);
    EXPECT_TRUE(S_ISCHR(st.st_mode));

    // A FIFO gets the bytes as they come, and for a writer that wants a file name (one it may seek
    // in) the scratch file's content once it is done; the FIFO stays one.
    QTemporaryDir dir;
    const QString fifo = dir.filePath(QStringLiteral("pipe"));
    ASSERT_EQ(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
    for (const bool byName : {false, true}) {
        auto reader = std::async(std::launch::async, [&] { return FileBytes(fifo); });
        AtomicFile f(fifo);
        ASSERT_TRUE(f.open()) << f.error().toStdString();
        EXPECT_TRUE(f.isStream());
        if (byName) {
            const QString path = f.pathForWriter();
            ASSERT_FALSE(path.isEmpty());
            ASSERT_TRUE(WriteFileBytes(path, "by name"));
        } else {
            f.device().write("as a stream");
        }
        ASSERT_TRUE(f.commit()) << f.error().toStdString();
        f.device().close();
        ASSERT_EQ(reader.wait_for(std::chrono::seconds(20)), std::future_status::ready);
        EXPECT_EQ(reader.get(), QByteArray(byName ? "by name" : "as a stream"));
        ASSERT_EQ(::stat(QFile::encodeName(fifo).constData(), &st), 0);
        EXPECT_TRUE(S_ISFIFO(st.st_mode));
    }
}

TEST(AtomicFile, ProtectedTargetsAreRefusedAndUntouched)
{
    TempProgramDir program;
    const QString app = program.path();
    program.writeConfig("[SYSTEM]\nUSER=sa\nPASSWORD=secret\n");
    ASSERT_TRUE(WriteFileBytes(program.dataDir() + QStringLiteral("/master.db"), "catalogue"));
    ASSERT_TRUE(WriteFileBytes(program.dataDir() + QStringLiteral("/t1.db"), "account set"));
    ASSERT_TRUE(WriteFileBytes(app + QStringLiteral("/corvanta-cli"), "program"));
    ASSERT_TRUE(QFile::setPermissions(app + QStringLiteral("/corvanta-cli"),
                                      QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner));
    ASSERT_TRUE(WriteFileBytes(app + QStringLiteral("/corvanta-xlsx.so"), "module"));
    QTemporaryDir elsewhere;
    const QString link = elsewhere.filePath(QStringLiteral("looks-harmless.tsv"));
    ASSERT_TRUE(QFile::link(program.dataDir() + QStringLiteral("/t1.db"), link));
    const QString configLink = elsewhere.filePath(QStringLiteral("cfg.tsv"));
    ASSERT_TRUE(QFile::link(app + QStringLiteral("/Config.cfg"), configLink));

    const QStringList refused{
        app + QStringLiteral("/Config.cfg"),
        app + QStringLiteral("/CONFIG.CFG"),
        program.dataDir() + QStringLiteral("/master.db"),
        program.dataDir() + QStringLiteral("/t1.db"),
        program.dataDir() + QStringLiteral("/new.tsv"),
        app + QStringLiteral("/data/../data/t1.db"),
        app + QStringLiteral("/corvanta-cli"),
        app + QStringLiteral("/corvanta-xlsx.so"),
        app + QStringLiteral("/PRINT.EXE"),
        link,
        configLink,
    };
    for (const QString& target : refused) {
        const bool existed = QFileInfo::exists(target);
        const QByteArray before = existed ? FileBytes(target) : QByteArray();
        QString error;
        EXPECT_FALSE(WriteFileAtomically(target, "TSV\tdata\n", &error)) << target.toStdString();
        EXPECT_TRUE(error.contains(QStringLiteral("不能写入文件")) && error.contains(target)) << error.toStdString();
        EXPECT_EQ(QFileInfo::exists(target), existed) << target.toStdString();
        if (existed) {
            EXPECT_EQ(FileBytes(target), before) << target.toStdString();
        }
    }
    EXPECT_EQ(entries(program.dataDir()).size(), 2) << "no temporary file in the data folder";
    EXPECT_TRUE(QFileInfo(link).isSymLink());

    // A new file in the program folder, or anywhere else, is fine.
    QString error;
    EXPECT_TRUE(WriteFileAtomically(app + QStringLiteral("/result.tsv"), "ok\n", &error)) << error.toStdString();
    EXPECT_TRUE(WriteFileAtomically(elsewhere.filePath(QStringLiteral("r.csv")), "ok\n", &error));
    // Through a link to an ordinary file, the file it points at is replaced and the link stays.
    const QString real = elsewhere.filePath(QStringLiteral("real.tsv"));
    ASSERT_TRUE(WriteFileBytes(real, "old"));
    const QString toReal = elsewhere.filePath(QStringLiteral("to-real.tsv"));
    ASSERT_TRUE(QFile::link(real, toReal));
    EXPECT_TRUE(WriteFileAtomically(toReal, "new", &error)) << error.toStdString();
    EXPECT_TRUE(QFileInfo(toReal).isSymLink());
    EXPECT_EQ(FileBytes(real), QByteArray("new"));
}
