// PRINT.EXE end to end: tables written by the print hand-off, rendered to PDF, read back as text.
#include "dbf/PrintHandoff.h"
#include "tests/dbf/DbfTestUtil.h"
#include "tests/support/PdfText.h"
#include "tests/support/TestSupport.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>

#include <gtest/gtest.h>

using namespace corvanta;
using namespace corvanta::test;

namespace {

// A program folder with PRINT.EXE and the shipped templates, and a hand-off into its data/.
struct PrintFolder {
    TempProgramDir dir;
    RecordingMessages msgs;
    DATABASEFILE tables{&msgs};
    PrintHandoff handoff{tables, msgs};
    QString exe;

    PrintFolder()
    {
        dir.copyShippedData();
        exe = dir.path() + QStringLiteral("/PRINT.EXE");
        QFile::copy(qEnvironmentVariable("CORVANTA_PROGRAM_DIR") + QStringLiteral("/PRINT.EXE"), exe);
        handoff.setLauncher([](const QString&, const QStringList&) { return true; });
    }

    // Runs PRINT.EXE --pdf; returns its exit code, stderr in err.
    int render(const QString& templateName, const QString& pdf, QString* err = nullptr)
    {
        QProcess p;
        QStringList args{QStringLiteral("--pdf"), pdf, QStringLiteral("/rwxfile") + templateName};
        p.start(exe, args);
        if (!p.waitForFinished(60000))
            return -1;
        if (err)
            *err = QString::fromUtf8(p.readAllStandardError());
        return p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
    }
};

}  // namespace

TEST(PrintExe, OutletListToPdf)
{
    if (!havePoppler())
        GTEST_SKIP() << "pdftotext (poppler-utils) is not installed";
    PrintFolder f;
    std::vector<QStringList> rows{
        {"行号", "网点编号", "网点名称", "网点类型", "联系电话", "传真", "联系人", "联系地址"},
        {"1", "1001", "东城门市部", "直营", "010-64001234", "010-64001235", "王五", "东城区建国门内大街1号"},
        {"2", "1002", "西城门市部", "加盟", "010-66002345", "", "赵六", "西城区复兴门外大街8号"},
        {"3", "1003", "Airport Shop", "直营", "", "", "Li Lei", "Terminal 3"},
    };
    TableGrid grid(rows, {56, 63, 97, 81, 116, 84, 56, 221});
    grid.padTo(22);
    ASSERT_TRUE(f.handoff.PrintReport({{QStringLiteral("商品编号"), 100, QStringLiteral("商品编号")}}, grid,
                                      QStringLiteral("销售网点信息.rwx")))
        << f.msgs.texts().join(QLatin1Char('\n')).toStdString();

    const QString pdf = f.dir.path() + QStringLiteral("/outlets.pdf");
    QString err;
    ASSERT_EQ(f.render(QStringLiteral("销售网点信息.rwx"), pdf, &err), 0) << err.toStdString();
    keep(pdf);
    const QString text = pdfText(pdf);
    EXPECT_TRUE(text.contains(QStringLiteral("销售网点信息"))) << text.toStdString();
    for (const QStringList& row : rows)
        for (const QString& cell : row)
            EXPECT_TRUE(text.contains(cell)) << cell.toStdString() << "\n" << text.toStdString();
    EXPECT_TRUE(squeezed(text).contains(QStringLiteral("第1页/共1页")));
    EXPECT_EQ(pdfPages(pdf), 1);
}

TEST(PrintExe, StatisticsWithSubtitleTotalsAndPages)
{
    if (!havePoppler())
        GTEST_SKIP() << "pdftotext (poppler-utils) is not installed";
    PrintFolder f;
    std::vector<QStringList> rows{{"行号", "商品编号", "商品名称", "数量", "金额", "成本", "利润"}};
    for (int i = 1; i <= 120; ++i)
        rows.push_back({QString::number(i), QStringLiteral("P%1").arg(i, 4, 10, QLatin1Char('0')),
                        QStringLiteral("商品%1").arg(i), QStringLiteral("1"), QStringLiteral("2.5"),
                        QStringLiteral("1.25"), QStringLiteral("1.25")});
    TableGrid grid(rows, {30, 50, 255, 103, 85, 67, 90});
    const QString period = QStringLiteral("(商品销售时间 从2024-03-01到2024-03-31)");
    ASSERT_TRUE(f.handoff.PrintReport({{QStringLiteral("销售时间"), 100, period}}, grid,
                                      QStringLiteral("商品销售情况统计表.rwx")));

    const QString pdf = f.dir.path() + QStringLiteral("/stat.pdf");
    QString err;
    ASSERT_EQ(f.render(QStringLiteral("商品销售情况统计表.rwx"), pdf, &err), 0) << err.toStdString();
    keep(pdf);
    const int pages = pdfPages(pdf);
    ASSERT_GE(pages, 3);
    const QString all = pdfText(pdf);
    EXPECT_TRUE(all.contains(QStringLiteral("商品销售情况统计表")));
    EXPECT_TRUE(all.contains(period));
    EXPECT_TRUE(all.contains(QStringLiteral("商品120")));
    EXPECT_TRUE(squeezed(all).contains(QStringLiteral("第%1页/共%1页").arg(pages)));
    // Headings on every page; the totals on the last.
    for (int page = 1; page <= pages; ++page) {
        const QString text = pdfText(pdf, page);
        EXPECT_TRUE(text.contains(QStringLiteral("商品名称"))) << page;
        EXPECT_TRUE(squeezed(text).contains(QStringLiteral("第%1页").arg(page))) << page;
    }
    const QString last = pdfText(pdf, pages);
    EXPECT_TRUE(last.contains(QStringLiteral("合计")));
    EXPECT_TRUE(last.contains(QStringLiteral("300.00")));  // 120 x 2.5
    EXPECT_TRUE(last.contains(QStringLiteral("150.00")));
}

TEST(PrintExe, WideQueryTurnsThePage)
{
    if (!havePoppler())
        GTEST_SKIP() << "pdftotext (poppler-utils) is not installed";
    PrintFolder f;
    const QStringList head{"序号", "商品编码", "商品名称", "网点编号", "网点名称", "规格", "型号",
                           "单位", "产地", "销售日期", "数量", "金额", "成本", "单据类型"};
    std::vector<QStringList> rows{head};
    rows.push_back({"1", "A001", "康师傅红烧牛肉面", "1001", "东城门市部", "120g", "袋装", "袋", "天津",
                    "2024-03-05", "12", "30.00", "24.00", "销售"});
    rows.push_back({"2", "A002", "统一老坛酸菜面", "1002", "西城门市部", "121g", "桶装", "桶", "上海",
                    "2024-03-06", "-2", "-9.00", "-7.00", "销售退货"});
    TableGrid grid(rows, {30, 50, 204, 54, 123, 35, 34, 28, 40, 104, 75, 70, 64, 64});
    ASSERT_TRUE(f.handoff.PrintReport({{QStringLiteral("销售时间"), 100,
                                        QStringLiteral("(商品销售时间 从2024-03-01到2024-03-31)")}},
                                      grid, QStringLiteral("销售情况查询表.rwx")));
    const QString pdf = f.dir.path() + QStringLiteral("/sales.pdf");
    QString err;
    ASSERT_EQ(f.render(QStringLiteral("销售情况查询表.rwx"), pdf, &err), 0) << err.toStdString();
    keep(pdf);
    QProcess info;
    info.start(QStringLiteral("pdfinfo"), {pdf});
    info.waitForFinished(60000);
    EXPECT_TRUE(QString::fromUtf8(info.readAllStandardOutput()).contains(QStringLiteral("842 x 595 pts")));
    const QString text = pdfText(pdf);
    for (const QStringList& row : rows)
        for (const QString& cell : row)
            EXPECT_TRUE(text.contains(cell)) << cell.toStdString();
    EXPECT_TRUE(text.contains(QStringLiteral("21.00")));  // 30.00 - 9.00
}

TEST(PrintExe, FailuresAreReportedNotCrashed)
{
    PrintFolder f;
    QString err;
    const QString pdf = f.dir.path() + QStringLiteral("/x.pdf");
    // Missing tables.
    EXPECT_NE(f.render(QStringLiteral("销售网点信息.rwx"), pdf, &err), 0);
    EXPECT_TRUE(err.contains(QStringLiteral("TABLE_B1.DBF"))) << err.toStdString();
    // Missing template.
    TableGrid grid({{"行号"}, {"1"}}, {30});
    f.handoff.PrintReport({{QStringLiteral("商品编号"), 100, QStringLiteral("商品编号")}}, grid, QStringLiteral("x.rwx"));
    EXPECT_NE(f.render(QStringLiteral("没有这个.rwx"), pdf, &err), 0);
    EXPECT_TRUE(err.contains(QStringLiteral("没有这个.rwx"))) << err.toStdString();
    // A table cut short, and one that is no table at all.
    QFile body(f.dir.dataDir() + QStringLiteral("/TABLE_M1.DBF"));
    ASSERT_TRUE(body.open(QIODevice::ReadWrite));
    body.resize(40);
    body.close();
    EXPECT_NE(f.render(QStringLiteral("销售网点信息.rwx"), pdf, &err), 0);
    EXPECT_TRUE(err.contains(QStringLiteral("TABLE_M1.DBF"))) << err.toStdString();
    ASSERT_TRUE(body.open(QIODevice::WriteOnly));
    body.write(QByteArray(4000, '\xff'));
    body.close();
    EXPECT_NE(f.render(QStringLiteral("销售网点信息.rwx"), pdf, &err), 0);
    // A PDF that cannot be written.
    f.handoff.PrintReport({{QStringLiteral("商品编号"), 100, QStringLiteral("商品编号")}}, grid, QStringLiteral("x.rwx"));
    EXPECT_NE(f.render(QStringLiteral("销售网点信息.rwx"), f.dir.path() + QStringLiteral("/no/such/dir/x.pdf"), &err), 0);
    EXPECT_FALSE(err.isEmpty());
}
