// The import run against recording procedures: call order, messages, progress, import kind and
// the outcomes of bad files.
#include "base/Gbk.h"
#include "import/ImportRun.h"
#include "tests/import/FakeProcedures.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <filesystem>
#include <sys/stat.h>
#include <unistd.h>

using namespace corvanta;
using namespace corvanta::test;

namespace {

const QString kOk = QStringLiteral("box 系统提示: 数据导入成功完成");
const QString kImportError = QStringLiteral("box 系统提示: 数据导入错误");
const QString kOutletMsg = QStringLiteral(
    "box 提示信息: 数据导入失败！\r错误原因：要导入的网点不存在，请销售网点中加入该网点的信息，再重新导入！");
const QString kLabel = QStringLiteral("label 正在整理数据，可过程可能要花费很长时间，请稍侯！");

QString sales(int i, const QString& outlet = QStringLiteral("0001"))
{
    return QStringLiteral("康师傅红烧牛肉面%1,69%1,120g,桶装,箱,天津,2024-03-0%2,2,30.5,48,%3,11")
        .arg(i)
        .arg(1 + i % 9)
        .arg(outlet);
}
QString stock(int i) { return QStringLiteral("农夫山泉%1,70%1,550ml,瓶装,瓶,浙江,10,15.5,0001").arg(i); }

class ImportRunTest : public ::testing::Test {
protected:
    QString write(const QByteArray& bytes, const QString& name = QStringLiteral("good.txt"))
    {
        const QString path = dir.path() + QLatin1Char('/') + name;
        QFile f(path);
        EXPECT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        f.write(bytes);
        return path;
    }
    QString writeLines(const QStringList& lines) { return write(gbk::encode(lines.join(QStringLiteral("\r\n")) + "\r\n")); }

    ImportResult run(const QString& path, const ImportOptions& options = {})
    {
        log.events.clear();
        return RunImport(path, procs, messages, &observer, options);
    }
    QStringList boxes() const
    {
        QStringList out;
        for (const auto& e : log.events)
            if (e.startsWith(QStringLiteral("box ")))
                out << e;
        return out;
    }
    bool called(const QString& what) const { return log.events.contains(what); }

    QTemporaryDir dir;
    EventLog log;
    FakeProcedures procs{log};
    LoggingObserver observer{log};
    LoggingMessages messages{log};
};

}  // namespace

TEST_F(ImportRunTest, GoodSalesFileInOrder)
{
    // Header shaped like a data line, an empty line in the middle: 5 lines, 3 data lines.
    const QString path = writeLines({sales(0, QStringLiteral("9999")), sales(1), QString(), sales(2), sales(3)});
    const ImportResult r = run(path);
    EXPECT_TRUE(r.ok());
    EXPECT_EQ(r.lineCount, 5);
    EXPECT_EQ(r.linesTaken, 3);
    EXPECT_EQ(log.events,
              (QStringList{"max 10", "deleSales", "beginIntake", "pos 1", "insertSales 2", "pos 2", "pos 3",
                           "insertSales 4", "pos 4", "insertSales 5", "pos 5", "endIntake", kLabel, "addSales",
                           "pos 10", kOk}));
    // Field order: cost (9) before amount (10), outlet (11) before document type (12).
    ASSERT_EQ(procs.taken.size(), 3u);
    const auto& v = procs.taken[0];
    EXPECT_EQ(v.at("@PTYPENAME"), QStringLiteral("康师傅红烧牛肉面1"));
    EXPECT_EQ(v.at("@USERCODE"), "691");
    EXPECT_EQ(v.at("@STANDARD"), "120g");
    EXPECT_EQ(v.at("@TYPE"), QStringLiteral("桶装"));
    EXPECT_EQ(v.at("@UNIT"), QStringLiteral("箱"));
    EXPECT_EQ(v.at("@AREA"), QStringLiteral("天津"));
    EXPECT_EQ(v.at("@DATE"), "2024-03-02");
    EXPECT_EQ(v.at("@QTY"), "2");
    EXPECT_EQ(v.at("@COSTTOTAL"), "30.5");
    EXPECT_EQ(v.at("@TOTAL"), "48");
    EXPECT_EQ(v.at("@ID"), "0001");
    EXPECT_EQ(v.at("@VCHTYPE"), "11");
    EXPECT_EQ(v.size(), 12u);
    EXPECT_EQ(ImportKind(), 11);
}

TEST_F(ImportRunTest, ImportKindChoosesConsolidationAcrossRuns)
{
    // Stock file: 9 fields in order, consolidated by hz_AddStock.
    EXPECT_TRUE(run(writeLines({"h", stock(1)})).ok());
    EXPECT_TRUE(called("addStock"));
    EXPECT_EQ(procs.taken.back().at("@KCQTY"), "10");
    EXPECT_EQ(procs.taken.back().at("@KCTOTAL"), "15.5");
    EXPECT_EQ(procs.taken.back().at("@ID"), "0001");
    EXPECT_EQ(ImportKind(), 8);

    // Mixed: each line to its own procedure; every kind sent is consolidated, once, in either
    // order of the lines; the import kind stays that of the last line.
    EXPECT_TRUE(run(writeLines({"h", sales(1), stock(2), sales(3), stock(4)})).ok());
    EXPECT_TRUE(called("insertSales 2") && called("insertStock 3") && called("insertSales 4") && called("insertStock 5"));
    EXPECT_EQ(log.events.count("addSales"), 1);
    EXPECT_EQ(log.events.count("addStock"), 1);
    EXPECT_EQ(ImportKind(), 8);
    EXPECT_TRUE(run(writeLines({"h", stock(1), sales(2)})).ok());
    EXPECT_EQ(log.events.count("addSales"), 1);
    EXPECT_EQ(log.events.count("addStock"), 1);
    EXPECT_EQ(ImportKind(), 11);
    // A one-kind file consolidates that kind only.
    EXPECT_TRUE(run(writeLines({"h", sales(1), sales(2)})).ok());
    EXPECT_TRUE(called("addSales"));
    EXPECT_FALSE(called("addStock"));

    // No data line (header only, or header and empty lines): nothing sent, nothing
    // consolidated, no success claimed, and the kind of the previous run stays.
    for (const QByteArray& bytes : {QByteArray("h\r\n"), QByteArray("h\r\n\r\n\r\n"), QByteArray()}) {
        const ImportResult r = run(write(bytes));
        EXPECT_EQ(r.status, ImportStatus::NoDataLines);
        EXPECT_EQ(boxes(), QStringList{"box 系统提示: 导入文件中没有数据行，没有导入任何数据。"});
        EXPECT_FALSE(called("deleSales") || called("addSales") || called("addStock"));
        EXPECT_EQ(ImportKind(), 11);
    }

    // A failed line leaves its own comma count as the kind.
    run(writeLines({"h", sales(1), "1,2,3,4,5,6,7,8,9,10,11,12,13"}));
    EXPECT_EQ(ImportKind(), 12);
}

TEST_F(ImportRunTest, FailingLinesStopWithoutConsolidation)
{
    struct Case {
        const char* what;
        QStringList lines;
        std::map<qint64, int> refuse;
        QStringList boxes;
        ImportStatus status;
        qint64 failedLine;
    };
    const QString blanks = QStringLiteral("   \t");
    const std::vector<Case> cases = {
        {"blank-only line", {"h", sales(1), blanks, sales(3)}, {}, {kImportError}, ImportStatus::LineFailed, 3},
        {"10 commas", {"h", sales(1), "1,2,3,4,5,6,7,8,9,10,11"}, {}, {kImportError}, ImportStatus::LineFailed, 3},
        {"quoted comma", {"h", "\"a,b\",c,d,e,f,g,2024-01-01,1,2,3,0001,11"}, {}, {kImportError},
         ImportStatus::LineFailed, 2},
        {"missing outlet", {"h", sales(1), sales(2), sales(3)}, {{3, -2}}, {kOutletMsg, kImportError},
         ImportStatus::OutletMissing, 3},
        {"missing outlet, stock", {"h", stock(1)}, {{2, -2}}, {kOutletMsg, kImportError},
         ImportStatus::OutletMissing, 2},
        {"other refusal", {"h", sales(1), sales(2)}, {{3, -1}}, {kImportError}, ImportStatus::LineFailed, 3},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        procs.refuse = c.refuse;
        procs.taken.clear();
        observer.positions.clear();
        const ImportResult r = run(writeLines(c.lines));
        EXPECT_EQ(r.status, c.status);
        EXPECT_EQ(r.lineNo, c.failedLine);
        EXPECT_EQ(boxes(), c.boxes);
        EXPECT_FALSE(called("addSales") || called("addStock") || called(kLabel));
        EXPECT_TRUE(called("endIntake"));  // what was taken before stays
        EXPECT_EQ(qint64(procs.taken.size()), c.failedLine - 2);
        // The bar stops at the line before the failing one.
        ASSERT_FALSE(observer.positions.empty());
        EXPECT_EQ(observer.positions.back(), c.failedLine - 1);
        // The messages come last: nothing is sent after them.
        EXPECT_TRUE(log.events.last().startsWith(QStringLiteral("box ")));
    }
}

TEST_F(ImportRunTest, ConsolidationFailureAndProgressValues)
{
    procs.addResult = -1;
    const ImportResult r = run(writeLines({"h", sales(1), sales(2), QString()}));
    EXPECT_EQ(r.status, ImportStatus::ConsolidationFailed);
    EXPECT_EQ(boxes(), QStringList{"box 系统提示: 整理数据失败！"});
    // Half after the last line, full after the consolidation.
    EXPECT_EQ(observer.progressMax, 8);
    const auto labelAt = log.events.indexOf(kLabel);
    ASSERT_GT(labelAt, 0);
    EXPECT_EQ(log.events[labelAt - 2], "pos 4");
    EXPECT_EQ(log.events.mid(labelAt), (QStringList{kLabel, "addSales", "pos 8", "box 系统提示: 整理数据失败！"}));
}

TEST_F(ImportRunTest, BatchedIntakeGivesTheOutcomeOfOneByOne)
{
    // A pipelining engine: sends the whole batch, then undoes what followed a refused line.
    class Batching : public FakeProcedures {
    public:
        using FakeProcedures::FakeProcedures;
        std::size_t insertBatch(std::span<const IntakeLine> lines, int& rc) override
        {
            const std::size_t before = taken.size();
            std::vector<int> rcs;
            for (const auto& l : lines)
                rcs.push_back(l.isSales() ? insertSales(l) : insertStock(l));
            for (std::size_t i = 0; i < rcs.size(); ++i) {
                if (rcs[i] != 0) {
                    rc = rcs[i];
                    taken.resize(before + i);
                    return i;
                }
            }
            rc = 0;
            return lines.size();
        }
    };
    const QStringList lines = {"h", sales(1), stock(2), QString(), sales(4), stock(5), sales(6), sales(7), stock(8)};
    for (const std::map<qint64, int>& refuse : {std::map<qint64, int>{}, {{6, -2}}, {{8, -1}}}) {
        for (std::size_t batch : {1u, 2u, 3u, 100u}) {
            SCOPED_TRACE(testing::Message() << "batch " << batch << " refusals " << refuse.size());
            EventLog oneLog, batchLog;
            FakeProcedures one(oneLog);
            Batching many(batchLog);
            one.refuse = many.refuse = refuse;
            many.batch = batch;
            LoggingObserver oneObs(oneLog), manyObs(batchLog);
            LoggingMessages oneMsg(oneLog), manyMsg(batchLog);
            const QString path = writeLines(lines);
            const ImportResult a = RunImport(path, one, oneMsg, &oneObs);
            const int kindA = ImportKind();
            const ImportResult b = RunImport(path, many, manyMsg, &manyObs);
            EXPECT_EQ(a.status, b.status);
            EXPECT_EQ(a.lineNo, b.lineNo);
            EXPECT_EQ(a.linesTaken, b.linesTaken);
            EXPECT_EQ(one.taken, many.taken);
            EXPECT_EQ(oneMsg.boxes, manyMsg.boxes);
            EXPECT_EQ(kindA, ImportKind());
            EXPECT_EQ(oneObs.positions.back(), manyObs.positions.back());
        }
    }
    // Also the parser failing behind a pending batch reports the earlier refusal first.
    Batching many(log);
    many.batch = 10;
    many.refuse = {{2, -2}};
    const ImportResult r = RunImport(writeLines({"h", sales(1), sales(2), "bad"}), many, messages, &observer);
    EXPECT_EQ(r.status, ImportStatus::OutletMissing);
    EXPECT_EQ(r.lineNo, 2);
}

TEST_F(ImportRunTest, BadFilesAreRefusedBeforeAnythingIsSent)
{
    auto expectRefusedEarly = [&](const ImportResult& r, ImportStatus status, const QString& boxStart) {
        EXPECT_EQ(r.status, status);
        const QStringList b = boxes();
        ASSERT_EQ(b.size(), 1);
        EXPECT_TRUE(b[0].startsWith(boxStart)) << b[0].toStdString();
        EXPECT_FALSE(called("deleSales") || called("addSales") || called("addStock"));
        for (const auto& e : log.events)
            EXPECT_FALSE(e.startsWith(QStringLiteral("insert")));
    };
    const QString generalError = QStringLiteral("box Quorvel汇总版: ");
    const QString importError = QStringLiteral("box 系统提示: 数据导入错误\r");

    expectRefusedEarly(run(dir.path() + "/none.txt"), ImportStatus::FileError, generalError + QStringLiteral("导入文件不存在"));
    expectRefusedEarly(run(dir.path()), ImportStatus::FileError, generalError + QStringLiteral("导入文件是一个文件夹"));

    QByteArray binary("h\r\n");
    for (int i = 0; i < 300; ++i)
        binary.append(char(i % 256 == 26 ? 0 : i % 256));
    expectRefusedEarly(run(write(binary)), ImportStatus::BadBytes, importError + QStringLiteral("第 2 行含有 NUL 字节"));

    // A UTF-8 file is not GBK: "产品" in UTF-8 leaves a lead byte without a valid trail.
    const QByteArray utf8 = QStringLiteral("h\r\n%1\r\n%2\r\n").arg(stock(1), QStringLiteral("中文ü,a,b,c,d,e,f,g,h")).toUtf8();
    const ImportResult notGbk = run(write(gbk::encode(stock(1)).prepend("h\r\n") + "\r\n" + utf8));
    EXPECT_EQ(notGbk.status, ImportStatus::BadBytes);
    EXPECT_FALSE(called("deleSales"));

    // A 10 MB line.
    QByteArray huge = "h\r\n" + gbk::encode(sales(1)) + "\r\n";
    huge.append(QByteArray(10 * 1024 * 1024, 'x')).append(",1,2,3,4,5,6,7,8,9,10,11\r\n");
    const ImportResult big = run(write(huge));
    EXPECT_EQ(big.status, ImportStatus::BadBytes);
    EXPECT_EQ(big.lineNo, 3);
    EXPECT_TRUE(boxes().value(0).startsWith(importError + QStringLiteral("第 3 行超过 1048576 字节")));
    EXPECT_FALSE(called("deleSales"));
}

TEST_F(ImportRunTest, UnreadableFileIsRefusedBeforeAnythingIsSent)
{
    if (::geteuid() == 0) {
        // Root reads any file: the case runs again in a child process as nobody.
        const QString self = QStringLiteral("--gtest_filter=ImportRunTest.UnreadableFileIsRefusedBeforeAnythingIsSent");
        QProcess child;
        child.setProcessChannelMode(QProcess::MergedChannels);
        child.start(QStringLiteral("setpriv"), {QStringLiteral("--reuid=nobody"), QStringLiteral("--regid=nogroup"),
                                                QStringLiteral("--clear-groups"), QStringLiteral("--"),
                                                QCoreApplication::applicationFilePath(), self});
        ASSERT_TRUE(child.waitForFinished(60000)) << child.errorString().toStdString();
        const QString out = QString::fromUtf8(child.readAll());
        EXPECT_EQ(child.exitCode(), 0) << out.toStdString();
        EXPECT_TRUE(out.contains(QStringLiteral("[  PASSED  ] 1 test.")) && !out.contains(QStringLiteral("SKIPPED")))
            << out.toStdString();
        return;
    }
    const QString locked = write("h\r\n", QStringLiteral("locked.txt"));
    ASSERT_TRUE(QFile::setPermissions(locked, QFileDevice::Permissions()));
    const ImportResult r = run(locked);
    EXPECT_EQ(r.status, ImportStatus::FileError);
    ASSERT_EQ(boxes().size(), 1);
    EXPECT_TRUE(boxes()[0].startsWith(QStringLiteral("box Quorvel汇总版: 无法打开导入文件"))) << boxes()[0].toStdString();
    EXPECT_TRUE(log.events.filter(QRegularExpression(QStringLiteral("^(deleSales|insert|addSales|addStock)"))).isEmpty())
        << log.events.join(QLatin1Char('\n')).toStdString();
}

TEST_F(ImportRunTest, FileChangingBetweenOrDuringPassesIsNotConsolidated)
{
    const QString changed = QStringLiteral("box 系统提示: 数据导入错误\r导入文件在导入过程中被修改");
    const QString path = writeLines({"h", sales(1), sales(2)});
    auto rewrite = [&](const QStringList& lines) {
        QFile f(path);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        f.write(gbk::encode(lines.join("\r\n") + "\r\n"));
    };
    // More lines than counted.
    procs.onDeleSales = [&] { rewrite({"h", sales(1), sales(2), sales(3)}); };
    ImportResult r = run(path);
    EXPECT_EQ(r.status, ImportStatus::FileChanged);
    EXPECT_TRUE(boxes().value(0).startsWith(changed));
    EXPECT_FALSE(called("addSales") || called(kLabel));

    // Same line count, other content (and the same size).
    rewrite({"h", sales(1), sales(2)});
    procs.onDeleSales = [&] { rewrite({"h", sales(1), sales(3)}); };
    r = run(path);
    EXPECT_EQ(r.status, ImportStatus::FileChanged);
    EXPECT_FALSE(called("addSales"));

    // Fewer lines.
    rewrite({"h", sales(1), sales(2)});
    procs.onDeleSales = [&] { rewrite({"h", sales(1)}); };
    EXPECT_EQ(run(path).status, ImportStatus::FileChanged);
    EXPECT_FALSE(called("addSales"));

    // Changed while the lines are being sent (after the reader has buffered them).
    procs.onDeleSales = nullptr;
    rewrite({"h", sales(1), sales(2)});
    procs.onInsert = [&](const IntakeLine& l) {
        if (l.lineNo == 2)
            rewrite({"h", sales(1), sales(2), sales(4)});
    };
    EXPECT_EQ(run(path).status, ImportStatus::FileChanged);
    EXPECT_FALSE(called("addSales"));
}

TEST_F(ImportRunTest, RaisedErrorsEndTheRunWithTheFileClosed)
{
    auto openFiles = [] {
        std::size_t n = 0;
        for ([[maybe_unused]] const auto& e : std::filesystem::directory_iterator("/proc/self/fd"))
            ++n;
        return n;
    };
    const std::size_t before = openFiles();
    procs.throwAt = {{3, QStringLiteral("connection lost")}};
    const ImportResult r = run(writeLines({"h", sales(1), sales(2), sales(3)}));
    EXPECT_EQ(r.status, ImportStatus::DatabaseError);
    EXPECT_EQ(r.lineNo, 3);
    ASSERT_EQ(boxes().size(), 1);
    EXPECT_TRUE(boxes()[0].startsWith(QStringLiteral("box Quorvel汇总版: 导入文件 ")));
    EXPECT_TRUE(boxes()[0].endsWith(QStringLiteral("第 3 行：connection lost")));
    EXPECT_TRUE(called("endIntake"));
    EXPECT_FALSE(called("addSales") || boxes()[0].contains(QStringLiteral("成功")));
    EXPECT_EQ(openFiles(), before);

    // A failing consolidation call raises too: reported, never a success message.
    class ThrowingAdd : public FakeProcedures {
    public:
        using FakeProcedures::FakeProcedures;
        int addSales() override { throw std::runtime_error("deadlock"); }
    } throwing(log);
    log.events.clear();
    const ImportResult r2 = RunImport(writeLines({"h", sales(1)}), throwing, messages, &observer);
    EXPECT_EQ(r2.status, ImportStatus::DatabaseError);
    EXPECT_EQ(boxes(), QStringList{QStringLiteral("box Quorvel汇总版: 导入文件 %1：deadlock").arg(dir.path() + "/good.txt")});
    EXPECT_EQ(openFiles(), before);
}

// Devices and FIFOs are refused by name before any read: /dev/zero would be read forever, a
// FIFO without a writer would block the open.
TEST_F(ImportRunTest, FilesThatAreNotFilesAreRefused)
{
    const QString fifo = dir.path() + QStringLiteral("/pipe.txt");
    ASSERT_EQ(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
    for (const QString& path : {QStringLiteral("/dev/zero"), fifo}) {
        const ImportResult r = run(path);
        EXPECT_EQ(r.status, ImportStatus::FileError);
        ASSERT_EQ(boxes().size(), 1);
        EXPECT_TRUE(boxes()[0].contains(QStringLiteral("不是普通文件")) && boxes()[0].contains(path))
            << boxes()[0].toStdString();
        EXPECT_TRUE(r.reason.contains(path));
        EXPECT_FALSE(called("deleSales"));
    }
}

// A UTF-8 file with a byte-order mark is read as UTF-8; an LF-only file has LF line ends, while
// a file with any CR keeps CR as its line end (a lone LF stays inside the line).
TEST_F(ImportRunTest, ByteOrderMarkAndLfOnlyFiles)
{
    const QByteArray utf8Lines = (QStringLiteral("h\r\n") + sales(1) + QStringLiteral("\r\n") + stock(2)).toUtf8();
    ImportResult r = run(write("\xEF\xBB\xBF" + utf8Lines));
    ASSERT_TRUE(r.ok()) << boxes().join('|').toStdString();
    ASSERT_EQ(procs.taken.size(), 2u);
    EXPECT_EQ(procs.taken[0].at("@PTYPENAME"), QStringLiteral("康师傅红烧牛肉面1"));
    EXPECT_EQ(procs.taken[1].at("@AREA"), QStringLiteral("浙江"));
    // Not UTF-8 after the mark: refused, not stored garbled.
    r = run(write("\xEF\xBB\xBFh\r\n" + gbk::encode(sales(1)) + "\r\n"));
    EXPECT_EQ(r.status, ImportStatus::BadBytes);
    EXPECT_FALSE(called("deleSales"));

    procs.taken.clear();
    r = run(write(gbk::encode(QStringLiteral("h\n") + sales(1) + QStringLiteral("\n\n") + sales(2) + QStringLiteral("\n"))));
    ASSERT_TRUE(r.ok()) << boxes().join('|').toStdString();
    EXPECT_EQ(r.lineCount, 4);
    ASSERT_EQ(procs.taken.size(), 2u);
    EXPECT_EQ(procs.taken[1].at("@PTYPENAME"), QStringLiteral("康师傅红烧牛肉面2"));

    // One CR in the file: the rules stay (header line 1 with its LFs, the data line after the CR).
    procs.taken.clear();
    r = run(write(gbk::encode(QStringLiteral("h\nx\r") + sales(3) + QStringLiteral("\n"))));
    ASSERT_TRUE(r.ok()) << boxes().join('|').toStdString();
    EXPECT_EQ(r.lineCount, 2);
    ASSERT_EQ(procs.taken.size(), 1u);
    EXPECT_EQ(procs.taken[0].at("@VCHTYPE"), "11");
}
