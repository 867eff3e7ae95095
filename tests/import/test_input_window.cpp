// The import window driven offscreen: it runs once when shown and closes after every outcome.
#include "app/UfrmMain.h"
#include "connection/LoginLogic.h"
#include "connection/UDMData.h"
#include "dialogs/FileDialog.h"
#include "dialogs/GuiMessages.h"
#include "base/Gbk.h"
#include "base/CellStore.h"
#include "grid/New_grid.h"
#include "import/ImportHistory.h"
#include "import/UImportLog.h"
#include "import/UInput.h"
#include "engines/embedded/Sqlite.h"
#include "tests/support/GuiTestBase.h"
#include "tests/support/TestSupport.h"

#include <QFile>
#include <QLabel>
#include <QMenu>
#include <QProgressBar>
#include <QTimer>
#include <gtest/gtest.h>
#include <sqlite3.h>
#include <unistd.h>

using namespace corvanta;

namespace {

class InputWindowTest : public test::GuiTestBase<> {
protected:
    void SetUp() override
    {
        GuiTestBase::SetUp();
        dir.copyShippedData();
        dir.writeConfig(test::EngineConfig("embedded"));
        dm.Connect("local", "sa", "", "embedded");
        ASSERT_TRUE(LoadAccountSets(dm, messages).has_value());
        ASSERT_EQ(CreateAccountSet(dm, "sa", "", "shop", QString::fromUtf8("门店")), 0);
        ChooseAccountSet(dm, "shop");
        const QString e;
        ASSERT_EQ(dm.CallProc(dm.ADOSProc, "hz_InsertNet",
                              {{"@ID", "3"}, {"@AGENTNAME", QString::fromUtf8("南门店")}, {"@AGENTTYPE", e},
                               {"@TELEPHONE", e}, {"@FAX", e}, {"@ADDRESS", e}, {"@LINKMAN", e}}),
                  0);
    }

    QString writeFile(const QString& name, const QString& text)
    {
        QString path = dir.path() + "/" + name;
        QFile f(path);
        f.open(QIODevice::WriteOnly);
        f.write(gbk::encode(text));
        return path;
    }
    static QStringList shown() { return test::systemBoxTexts(); }

    test::TempProgramDir dir;
    test::RecordingMessages messages;
    TDMData dm;
};

const char* kLines = "表头\r"
                     "矿泉水,P001,500ml,A,瓶,广州,2026-03-01,10,8.5,12.5,3,11\r\n"
                     "\r\n"
                     "绿茶,P002,1L,B,瓶,杭州,2026-03-01,2,3,4,3,11\r\n";

}  // namespace

TEST_F(InputWindowTest, RunsOnceWhenShownFillsTheBarAndCloses)
{
    TOpenDialog open;
    open.FileName = writeFile("good.txt", QString::fromUtf8(kLines));
    TfrmInput window(dm, open);
    EXPECT_EQ(window.windowTitle(), QString::fromUtf8("正在导入数据....."));
    EXPECT_EQ(window.Label1->text(), QString::fromUtf8("数据正在导入过程中，请稍侯！"));
    EXPECT_FALSE(window.Timer1->isActive());
    EXPECT_EQ(window.Timer1->interval(), 1);
    window.exec();  // the timer starts the run; the window closes itself

    EXPECT_TRUE(window.Result().ok());
    EXPECT_EQ(shown(), QStringList{QString::fromUtf8("系统提示: 数据导入成功完成")});
    EXPECT_EQ(window.ProgressMax(), 8);  // 2 x 4 lines
    EXPECT_EQ(window.ProgressBar1->value(), window.ProgressBar1->maximum());
    EXPECT_EQ(window.Label1->text(), QString::fromUtf8("正在整理数据，可过程可能要花费很长时间，请稍侯！"));
    EXPECT_FALSE(window.isVisible());
}

TEST_F(InputWindowTest, FailuresAreReportedAndTheWindowStillCloses)
{
    TOpenDialog open;
    open.FileName = writeFile("bad.txt", QString::fromUtf8("h\r矿泉水,P001,500ml,A,瓶,广州,2026-03-01,10,8.5,12.5,3,11\r"
                                                           "矿泉水,P001,500ml,A,瓶,广州,2026-03-01,10,8.5,12.5,404,11\r"));
    {
        TfrmInput window(dm, open);
        window.exec();
        EXPECT_EQ(window.Result().status, ImportStatus::OutletMissing);
        EXPECT_EQ(window.ProgressPosition(), 2);  // stopped at the refused line, bar not full
        EXPECT_FALSE(window.isVisible());
        // After the messages, the details: file, line, its text and the reason.
        EXPECT_EQ(window.DetailsText(),
                  QString::fromUtf8("文件：%1\n行号：3\n行内容：矿泉水,P001,500ml,A,瓶,广州,2026-03-01,10,8.5,12.5,404,11\n"
                                    "原因：网点 404 不存在")
                      .arg(open.FileName));
    }
    // One box: the specified messages, the reason, and the details behind its button.
    ASSERT_EQ(SystemBoxSeam::calls().size(), 1u) << shown().join('\n').toStdString();
    EXPECT_EQ(SystemBoxSeam::calls()[0].caption, QString::fromUtf8("提示信息"));
    EXPECT_EQ(SystemBoxSeam::calls()[0].text,
              QString::fromUtf8("数据导入失败！\r错误原因：要导入的网点不存在，请销售网点中加入该网点的信息，再重新导入！\n"
                                "数据导入错误\n\n导入失败的原因：第 3 行：网点 404 不存在"));
    EXPECT_TRUE(SystemBoxSeam::calls()[0].details.startsWith(QString::fromUtf8("文件：") + open.FileName));

    // A file that is not there: an error report, no success, the window closes.
    SystemBoxSeam::clearCalls();
    open.FileName = dir.path() + "/missing.txt";
    TfrmInput window(dm, open);
    window.exec();
    EXPECT_FALSE(window.Result().ok());
    ASSERT_EQ(SystemBoxSeam::calls().size(), 1u);
    EXPECT_FALSE(SystemBoxSeam::calls()[0].text.contains(QString::fromUtf8("成功")));
    EXPECT_FALSE(window.isVisible());
    EXPECT_TRUE(window.DetailsText().contains(QString::fromUtf8("原因：导入文件不存在"))) << window.DetailsText().toStdString();
}

TEST_F(InputWindowTest, MainWindowImportCommandUsesTheChosenFile)
{
    TfrmMain main;
    main.openImport = [&](TfrmMain& m) { ShowImport(dm, m.OpenDialog1, &m); };
    const QString path = writeFile("chosen.txt", QString::fromUtf8(kLines));
    fileDialog()->reset();
    fileDialog()->setNextFileName(path);
    main.ActDataAddExecute();
    ASSERT_EQ(fileDialog()->calls().size(), 1u);
    EXPECT_EQ(fileDialog()->calls()[0].proposedFile, dir.path() + "/good.txt");
    EXPECT_EQ(shown(), QStringList{QString::fromUtf8("系统提示: 数据导入成功完成")});

    // Cancelling the file dialog opens no import window.
    SystemBoxSeam::clearCalls();
    fileDialog()->setNextCancel();
    main.ActDataAddExecute();
    EXPECT_TRUE(shown().isEmpty());
    fileDialog()->reset();
}

TEST_F(InputWindowTest, SeveralFilesRunOneByOneAndABadOneDoesNotStopTheOthers)
{
    TfrmMain main;
    QStringList titles;
    main.openImport = [&](TfrmMain& m) {
        TfrmInput window(dm, m.OpenDialog1, &m);
        QObject::connect(&window, &QWidget::windowTitleChanged, [&](const QString& t) { titles << t; });
        window.exec();
        EXPECT_EQ(window.Result().status, ImportStatus::OutletMissing);
        ASSERT_EQ(window.Runs().size(), 3u);
        EXPECT_TRUE(window.Runs()[0].ok());
        EXPECT_FALSE(window.Runs()[1].ok());
        EXPECT_TRUE(window.Runs()[2].ok());
    };
    const QString a = writeFile("a.txt", QString::fromUtf8(kLines));
    const QString bad = writeFile("bad.txt", QString::fromUtf8("h\r矿泉水,P001,500ml,A,瓶,广州,2026-03-05,1,1,1,404,11\r"));
    const QString c = writeFile("c.txt", QString::fromUtf8("h\r绿茶,P002,1L,B,瓶,杭州,30,45.5,3\r"));
    fileDialog()->reset();
    fileDialog()->setNextFileNames({a, bad, c});
    main.ActDataAddExecute();
    fileDialog()->reset();

    // The runs' own boxes stay quiet; one summary names each file, its outcome and reason.
    ASSERT_EQ(SystemBoxSeam::calls().size(), 1u) << shown().join('\n').toStdString();
    EXPECT_EQ(SystemBoxSeam::calls()[0].caption, QString::fromUtf8("导入结果"));
    const QStringList summary = SystemBoxSeam::calls()[0].text.split('\n');
    ASSERT_EQ(summary.size(), 5) << summary.join('\n').toStdString();
    EXPECT_EQ(summary[0], QString::fromUtf8("共 3 个文件：成功 2 个，失败 1 个。"));
    EXPECT_EQ(summary[1], QString::fromUtf8("a.txt：成功"));
    EXPECT_TRUE(summary[2].startsWith(QString::fromUtf8("bad.txt：失败（第2行：数据导入失败！")));
    EXPECT_EQ(summary[3], QString::fromUtf8("c.txt：成功"));
    EXPECT_EQ(summary[4], QString::fromUtf8("一个文件失败不影响其余文件的导入。"));
    EXPECT_EQ(titles, (QStringList{QString::fromUtf8("正在导入数据..... 文件 1/3：a.txt"),
                                   QString::fromUtf8("正在导入数据..... 文件 2/3：bad.txt"),
                                   QString::fromUtf8("正在导入数据..... 文件 3/3：c.txt")}));

    // The good files' figures are in; each run is in the history, newest first.
    dm.CallProc(dm.ADOSProc, "hz_GetStock", {{"@USERCODE", ""}, {"@PTYPENAME", ""}, {"@ID", ""}, {"@AGENTNAME", ""},
                                             {"@AREA", ""}}, true);
    EXPECT_EQ(dm.ADOSProc.RecordCount(), 1);
    const CellStore log = LoadImportLog(dm, 0);
    ASSERT_EQ(log.rowCount(), 3);
    EXPECT_EQ(log.cell(1, 0), "c.txt");
    EXPECT_EQ(log.cell(1, 1), "bad.txt");
    EXPECT_EQ(log.cell(6, 1), QString::fromUtf8("失败"));
    EXPECT_EQ(log.cell(1, 2), "a.txt");
    EXPECT_EQ(log.cell(6, 2), QString::fromUtf8("成功"));
    EXPECT_EQ(log.cell(9, 2), "sa");

    // The history window from the main window's menu lists the same runs in its grid.
    bool opened = false;
    main.openImportLog = [&](TfrmMain& m) {
        TfrmImportLog window(dm, &m);
        QTimer::singleShot(0, &window, [&] {
            opened = true;
            EXPECT_EQ(window.Main_Grid->cell(0, 0), QString::fromUtf8("导入时间"));
            EXPECT_EQ(window.Main_Grid->rowCount(), 4);
            EXPECT_EQ(window.Main_Grid->cell(1, 1), "c.txt");
            EXPECT_EQ(window.Main_Grid->cell(8, 2), log.cell(7, 1));
            // Beside the lines read, the lines consolidated: none for the failed run.
            EXPECT_EQ(window.Main_Grid->cell(6, 0), QString::fromUtf8("已汇总行数"));
            EXPECT_EQ(window.Main_Grid->cell(6, 2), "0");
            EXPECT_NE(log.cell(5, 1), "0");
            EXPECT_EQ(window.Main_Grid->cell(6, 3), log.cell(5, 2));
            EXPECT_EQ(window.CountLabel->text(), QString::fromUtf8("共 3 次导入"));
            window.close();
        });
        window.exec();
    };
    ASSERT_TRUE(main.MenuDataAdd->actions().contains(main.ActImportLog));
    main.ActImportLogExecute();
    EXPECT_TRUE(opened);
}

// Another connection writes the account set for longer than the wait limit: the window says that
// it waits and since when, then the run fails naming that time, with nothing imported.
TEST_F(InputWindowTest, WaitsForAnotherImportAndSaysSinceWhen)
{
    const QString file = dir.dataDir() + "/shop.db";
    auto other = sqlite::Db::open(file, SQLITE_OPEN_READWRITE, 5000);
    other->exec("BEGIN IMMEDIATE");
    // The running import's record: its start, under a process that runs (this one's parent).
    QFile record(dir.dataDir() + QStringLiteral("/.shop.import-%1").arg(qint64(getppid())));
    ASSERT_TRUE(record.open(QIODevice::WriteOnly));
    record.write("2026-03-01T08:15:30.000");
    record.close();
    qputenv("CORVANTA_IMPORT_WAIT_SECONDS", "1");
    TOpenDialog open;
    open.FileName = writeFile("good.txt", QString::fromUtf8(kLines));
    TfrmInput window(dm, open);
    window.exec();
    qunsetenv("CORVANTA_IMPORT_WAIT_SECONDS");
    other->exec("ROLLBACK");

    EXPECT_EQ(window.WaitingText(),
              QString::fromUtf8("另一次导入（开始于 2026-03-01 08:15:30）正在写入本帐套，正在等待它结束（最多 1 秒）……"));
    EXPECT_EQ(window.Result().status, ImportStatus::Busy);
    EXPECT_EQ(shown(), QStringList{QString::fromUtf8("系统提示: 另一次导入（开始于 2026-03-01 08:15:30）仍在写入本帐套，"
                                                     "已等待 1 秒，没有导入任何数据：%1")
                                       .arg(open.FileName)});
    EXPECT_FALSE(window.isVisible());
    dm.CallProc(dm.ADOSProc, "hz_GetSales", {}, true);
    EXPECT_TRUE(dm.ADOSProc.Eof());
}
