// corvanta-cli intake: the unattended import of an inbox folder.
#include "tests/cli/CliProcessFixture.h"

#include "base/Gbk.h"

#include <QCryptographicHash>
#include <QDate>
#include <QDir>
#include <QFile>
#include <QElapsedTimer>
#include <QThread>
#include <chrono>
#include <filesystem>
#include <map>
#include <thread>

using namespace corvanta;
using namespace corvanta::test;

namespace {

const QString kHeader = QString::fromUtf8("商品名称,商品编码,规格,型号,单位,产地,日期,数量,成本,金额,网点,类型\r\n");

void writeBytes(const QString& path, const QByteArray& bytes)
{
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    ASSERT_EQ(f.write(bytes), bytes.size());
}

// An outlet's sales file: n lines over 20 days of March 2026; variant changes the amounts (and
// so the file's SHA-256) without changing its outlet days.
QByteArray outletFile(int outlet, int n, int variant = 0)
{
    QByteArray text = gbk::encode(kHeader);
    for (int i = 0; i < n; ++i)
        text += gbk::encode(QString::fromUtf8("商品%1,P%1,规格,型号,个,产地,2026-03-%2,%3,0.5,%4.25,%5,11\r\n")
                                .arg(i % 400)
                                .arg(1 + i % 20, 2, 10, QLatin1Char('0'))
                                .arg(1 + (i + variant) % 9)
                                .arg(3 + (i * 7 + variant) % 50)
                                .arg(outlet));
    return text;
}

void makeOld(const QString& path, int secondsAgo)
{
    namespace fs = std::filesystem;
    fs::last_write_time(fs::path(QFile::encodeName(path).toStdString()),
                        fs::file_time_type::clock::now() - std::chrono::seconds(secondsAgo));
}

QStringList namesIn(const QString& dir)
{
    return QDir(dir).entryList(QDir::Files | QDir::Hidden, QDir::Name);
}

QString today() { return QDate::currentDate().toString(Qt::ISODate); }

}  // namespace

// Good, bad, duplicate, still-growing and vanished files in one folder, and what each leaves.
TEST_F(CliProcesses, IntakeMovesEachFileByItsOutcome)
{
    const QString db = uniqueDbName();
    createAccountSet(QString::fromUtf8("收件"), db);
    addOutlet(db, "7", QString::fromUtf8("东门店"));
    const QString inbox = dir->path() + "/inbox";
    ASSERT_TRUE(QDir().mkpath(inbox));

    const QByteArray good = outletFile(7, 30);
    writeBytes(inbox + "/a-good.txt", good);
    makeOld(inbox + "/a-good.txt", 300);
    writeBytes(inbox + "/b-bad.txt", gbk::encode(kHeader + QString::fromUtf8("水,P1,1,A,瓶,广州,2026-03-03,1,1,2,99,11\r\n")));
    makeOld(inbox + "/b-bad.txt", 200);
    writeBytes(inbox + "/c-copy.txt", good);  // the same bytes under another name
    makeOld(inbox + "/c-copy.txt", 100);
    writeBytes(inbox + "/.partial", good);  // an upload's temporary name
    makeOld(inbox + "/.partial", 100);
    writeBytes(inbox + "/d-growing.txt", outletFile(7, 2));
    writeBytes(inbox + "/e-vanishing.txt", outletFile(7, 2));
    // One file keeps growing past both rounds; the other is taken away before the second.
    std::thread writer([&] {
        for (int i = 0; i < 20; ++i) {
            QThread::msleep(250);
            QFile f(inbox + "/d-growing.txt");
            if (f.open(QIODevice::Append))
                f.write(gbk::encode(QString::fromUtf8("水,P1,1,A,瓶,广州,2026-03-04,1,1,2,7,11\r\n")));
            if (i == 3)
                QFile::remove(inbox + "/e-vanishing.txt");
        }
    });
    CliRun r = run({"--account-set", db, "intake", inbox});
    writer.join();
    EXPECT_EQ(r.code, 1);  // the bad file failed
    const QStringList lines = r.lines();
    ASSERT_EQ(lines.size(), 5) << r.out.toStdString();
    EXPECT_EQ(lines[0], QString::fromUtf8("文件名\t结果\t数据行数\t原因"));
    EXPECT_EQ(lines[1], QString::fromUtf8("a-good.txt\t成功\t30\t"));
    EXPECT_TRUE(lines[2].startsWith(QString::fromUtf8("b-bad.txt\t失败\t1\t"))) << lines[2].toStdString();
    EXPECT_TRUE(lines[2].contains(QString::fromUtf8("网点 99 不存在")));
    EXPECT_TRUE(lines[3].startsWith(QString::fromUtf8("c-copy.txt\t已导入\t30\t与 "))) << lines[3].toStdString();
    EXPECT_TRUE(lines[4].startsWith(QString::fromUtf8("d-growing.txt\t等待\t"))) << lines[4].toStdString();
    EXPECT_TRUE(r.errLines.contains(inbox + QString::fromUtf8("/b-bad.txt:2: 网点 99 不存在"))) << r.errLines.join('\n').toStdString();

    EXPECT_EQ(namesIn(inbox), (QStringList{".partial", "d-growing.txt"}));
    EXPECT_EQ(namesIn(inbox + "/done/" + today()), (QStringList{"a-good.txt", "c-copy.txt"}));
    EXPECT_EQ(namesIn(inbox + "/failed"), (QStringList{"b-bad.txt", "b-bad.txt.reason.txt"}));
    QFile reason(inbox + "/failed/b-bad.txt.reason.txt");
    ASSERT_TRUE(reason.open(QIODevice::ReadOnly));
    const QString reasonText = QString::fromUtf8(reason.readAll());
    EXPECT_TRUE(reasonText.startsWith(inbox + QString::fromUtf8("/b-bad.txt:2: 网点 99 不存在\n"))) << reasonText.toStdString();
    EXPECT_TRUE(reasonText.contains(QString::fromUtf8("数据导入失败"))) << reasonText.toStdString();
    EXPECT_TRUE(namesIn(inbox + "/.intake/work").isEmpty());

    // The history: one run per file imported or failed; the copy added none.
    CliRun h = run({"--account-set", db, "history"});
    ASSERT_EQ(h.code, 0);
    ASSERT_EQ(h.lines().size(), 3) << h.out.toStdString();
    EXPECT_TRUE(h.lines()[1].contains("b-bad.txt"));
    EXPECT_TRUE(h.lines()[2].contains("a-good.txt"));

    // --again imports a copy all the same; a folder with nothing new exits 0 with the heading only.
    writeBytes(inbox + "/f-again.txt", good);
    makeOld(inbox + "/f-again.txt", 60);
    QFile::remove(inbox + "/d-growing.txt");
    r = run({"--account-set", db, "intake", "--again", "--pattern", "*.txt", inbox});
    EXPECT_EQ(r.code, 0) << r.errLines.join('\n').toStdString();
    EXPECT_EQ(r.lines(), (QStringList{QString::fromUtf8("文件名\t结果\t数据行数\t原因"), QString::fromUtf8("f-again.txt\t成功\t30\t")}));
    r = run({"--account-set", db, "intake", inbox});
    EXPECT_EQ(r.code, 0);
    EXPECT_EQ(r.lines().size(), 1);

    // Usage: no folder, a file for a folder.
    EXPECT_EQ(run({"--account-set", db, "intake"}).code, 2);
    EXPECT_EQ(run({"--account-set", db, "intake", inbox + "/.partial"}).code, 2);
}

// While one intake works a folder, a second one refuses it and touches nothing.
TEST_F(CliProcesses, SecondIntakeOfAFolderIsRefused)
{
    const QString db = uniqueDbName();
    createAccountSet(QString::fromUtf8("双收"), db);
    addOutlet(db, "3", QString::fromUtf8("甲店"));
    const QString inbox = dir->path() + "/inbox";
    ASSERT_TRUE(QDir().mkpath(inbox));
    for (int i = 0; i < 4; ++i) {
        writeBytes(inbox + QStringLiteral("/f%1.txt").arg(i), outletFile(3, 40000, i));
        makeOld(inbox + QStringLiteral("/f%1.txt").arg(i), 60 - i);
    }
    auto first = start({"--account-set", db, "intake", inbox});
    for (int i = 0; i < 600 && namesIn(inbox + "/.intake/work").isEmpty(); ++i)
        QThread::msleep(10);
    ASSERT_FALSE(namesIn(inbox + "/.intake/work").isEmpty()) << "the first intake never started a file";
    const CliRun second = runProcess({"--account-set", db, "intake", inbox});
    EXPECT_EQ(second.code, 1);
    EXPECT_EQ(second.errLines.size(), 1);
    EXPECT_TRUE(second.errLines.value(0).contains(QString::fromUtf8("另一个入库正在处理文件夹"))) << second.errLines.join('\n').toStdString();
    EXPECT_EQ(second.lines().size(), 0);
    ASSERT_TRUE(first->waitForFinished(120000));
    EXPECT_EQ(first->exitCode(), 0) << errLines(*first).join('\n').toStdString();
    EXPECT_EQ(namesIn(inbox + "/done/" + today()).size(), 4);
    // Once it is done, the folder is free again: the lock died with its holder.
    EXPECT_EQ(runProcess({"--account-set", db, "intake", inbox}).code, 0);
}

// kill -9 at varying moments: each file is in the folder, or moved with its outcome (the next
// intake resolves the one it finds half-way), and has at most one successful run in the history.
TEST_F(CliProcesses, KilledIntakeLosesNothingAndImportsNothingTwice)
{
    const QString db = uniqueDbName();
    createAccountSet(QString::fromUtf8("断电"), db);
    for (int o = 1; o <= 3; ++o)
        addOutlet(db, QString::number(o), QStringLiteral("o%1").arg(o));
    int landed = 0;
    for (int attempt = 0; attempt < 25 && landed < 2; ++attempt) {
        const QString inbox = dir->path() + QStringLiteral("/inbox%1").arg(attempt);
        ASSERT_TRUE(QDir().mkpath(inbox));
        for (int o = 1; o <= 3; ++o) {
            const QString name = QStringLiteral("o%1.txt").arg(o);
            writeBytes(inbox + "/" + name, outletFile(o, 15000, attempt));
            makeOld(inbox + "/" + name, 60 - o);
        }
        auto p = start({"--account-set", db, "intake", inbox});
        // Varying moments: after a pause of its own, or as soon as a file is being imported (then
        // at once or a little later); waiting for that moment keeps the test from depending on
        // how fast this machine imports.
        if (attempt % 3 == 0) {
            QThread::msleep(static_cast<unsigned long>(20 + (attempt * 37) % 300));
        } else {
            QElapsedTimer waited;
            waited.start();
            while (namesIn(inbox + "/.intake/work").isEmpty() && !p->waitForFinished(1) && waited.elapsed() < 20000) {
            }
            if (attempt % 3 == 2)
                QThread::msleep(static_cast<unsigned long>(attempt % 40));
        }
        const bool inWork = !namesIn(inbox + "/.intake/work").isEmpty();
        p->kill();
        p->waitForFinished(10000);
        if (p->exitStatus() == QProcess::NormalExit)
            continue;  // done before the kill
        if (inWork && !namesIn(inbox + "/.intake/work").isEmpty())
            ++landed;
        // Nothing lost: every file is in one place.
        QStringList everywhere = namesIn(inbox) + namesIn(inbox + "/.intake/work") + namesIn(inbox + "/failed");
        everywhere += namesIn(inbox + "/done/" + today());
        everywhere.removeAll("lock");
        everywhere.sort();
        ASSERT_EQ(everywhere, (QStringList{"o1.txt", "o2.txt", "o3.txt"})) << "attempt " << attempt;
        // The next intake finishes the work: all of them in, none twice.
        const CliRun next = runProcess({"--account-set", db, "intake", inbox});
        ASSERT_EQ(next.code, 0) << next.errLines.join('\n').toStdString();
        EXPECT_EQ(namesIn(inbox + "/done/" + today()), (QStringList{"o1.txt", "o2.txt", "o3.txt"}));
        EXPECT_TRUE(namesIn(inbox + "/.intake/work").isEmpty());
        const CliRun h = runProcess({"--account-set", db, "history"});
        // At most one success per SHA-256 of this attempt's files.
        std::map<QString, int> successes;
        for (const QString& line : h.lines())
            if (line.section('\t', 6, 6) == QString::fromUtf8("成功"))
                ++successes[line.section('\t', 3, 3)];
        for (int o = 1; o <= 3; ++o) {
            const QString sha = QString::fromLatin1(
                QCryptographicHash::hash(outletFile(o, 15000, attempt), QCryptographicHash::Sha256).toHex());
            EXPECT_EQ(successes[sha], 1) << "attempt " << attempt << " outlet " << o;
        }
    }
    EXPECT_GE(landed, 1) << "no kill landed while a file was being imported";
}

// --watch takes a file written after it started and ends on SIGTERM, finishing the file at hand.
TEST_F(CliProcesses, WatchingIntakeTakesNewFilesUntilTerminated)
{
    const QString db = uniqueDbName();
    createAccountSet(QString::fromUtf8("守候"), db);
    addOutlet(db, "5", QString::fromUtf8("乙店"));
    const QString inbox = dir->path() + "/inbox";
    ASSERT_TRUE(QDir().mkpath(inbox));
    auto p = start({"--account-set", db, "intake", "--watch", inbox});
    QString out;
    const auto waitFor = [&](const QString& text, int ms) {
        for (int i = 0; i < ms / 50 && !out.contains(text); ++i) {
            p->waitForReadyRead(50);
            out += QString::fromUtf8(p->readAllStandardOutput());
        }
        return out.contains(text);
    };
    ASSERT_TRUE(waitFor(QString::fromUtf8("文件名\t结果"), 20000));
    writeBytes(inbox + "/late.txt", outletFile(5, 20));
    ASSERT_TRUE(waitFor(QString::fromUtf8("late.txt\t成功\t20"), 30000)) << out.toStdString();
    EXPECT_TRUE(QFileInfo::exists(inbox + "/done/" + today() + "/late.txt"));

    // A big file: SIGTERM while it is imported lets it finish, then the intake ends.
    writeBytes(inbox + "/big.txt", outletFile(5, 150000, 1));
    for (int i = 0; i < 1200 && namesIn(inbox + "/.intake/work").isEmpty(); ++i)
        QThread::msleep(10);
    ASSERT_FALSE(namesIn(inbox + "/.intake/work").isEmpty());
    p->terminate();
    ASSERT_TRUE(p->waitForFinished(120000));
    out += QString::fromUtf8(p->readAllStandardOutput());
    EXPECT_EQ(p->exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(p->exitCode(), 0) << errLines(*p).join('\n').toStdString();
    EXPECT_TRUE(out.contains(QString::fromUtf8("big.txt\t成功\t150000"))) << out.toStdString();
    EXPECT_TRUE(QFileInfo::exists(inbox + "/done/" + today() + "/big.txt"));
    EXPECT_TRUE(namesIn(inbox + "/.intake/work").isEmpty());
}
