// The import run through TDMData into a real engine: the lines of a good file reach the account
// set, a refused file leaves the figures consolidated before as they were.
#include "base/Sysdef.h"
#include "connection/UDMData.h"
#include "base/Gbk.h"
#include "import/DataImportProcedures.h"
#include "import/ImportRun.h"
#include "tests/support/TestEngine.h"
#include "tests/support/TestSupport.h"
#ifdef CORVANTA_TEST_PG
#include "tests/engines/postgresql/PgTestServer.h"
#endif

#include <QFile>
#include <gtest/gtest.h>

using namespace corvanta;
using namespace corvanta::test;

namespace {

class ImportEngineTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        const QString kind = testEngine();
        program.copyShippedData();
        QString server = QStringLiteral("local");
        QString user = QStringLiteral("sa");
        QString password;
#ifdef CORVANTA_TEST_PG
        CORVANTA_REQUIRE_PG();
        const ConnectionProps props = pgTestProps();
        server = props.dataSource;
        user = props.userId;
        password = props.password.value_or(QString());
        dbName = uniquePgDatabaseName("import");
#else
        static int counter = 0;
        dbName = QStringLiteral("imptest_%1").arg(++counter);
#endif
        program.writeConfig("[SYSTEM]\r\nENGINE=" + kind.toLatin1() + "\r\n");
        dm = std::make_unique<TDMData>();
        dm->Connect(server, user, password, kind);
        dm->RestoreDatabase(dbName);
        dm->ADOConnection.SetDefaultDatabase(dbName);
        for (const char* id : {"0001", "0002"}) {
            ASSERT_EQ(dm->CallProc(dm->ADOSProc, QStringLiteral("hz_InsertNet"),
                                   {{"@ID", QString::fromLatin1(id)}, {"@AGENTNAME", QStringLiteral("网点") + id},
                                    {"@AGENTTYPE", QString()}, {"@TELEPHONE", QString()}, {"@FAX", QString()},
                                    {"@ADDRESS", QString()}, {"@LINKMAN", QString()}}),
                      0);
        }
    }

    void TearDown() override
    {
        dm.reset();
#ifdef CORVANTA_TEST_PG
        if (!dbName.isEmpty())
            dropPgDatabase(dbName);
#endif
    }

    QString write(const QStringList& lines)
    {
        const QString path = program.path() + QStringLiteral("/good.txt");
        QFile f(path);
        EXPECT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        f.write(gbk::encode(lines.join(QStringLiteral("\r\n")) + QStringLiteral("\r\n")));
        return path;
    }

    ImportResult import(const QStringList& lines)
    {
        messages.messages.clear();
        DataImportProcedures procs(*dm);
        return RunImport(write(lines), procs, messages);
    }

    // "USERCODE PTYPENAME ID DATE QTY COSTTOTAL TOTAL VCHTYPE" of every sales line in March 2024.
    QStringList sales()
    {
        dm->CallProc(dm->ADOSProc, QStringLiteral("hz_GetSales"),
                     {{"@date1", QStringLiteral("2024-03-01")}, {"@date2", QStringLiteral("2024-03-31")}}, true);
        QStringList out;
        for (dm->ADOSProc.First(); !dm->ADOSProc.Eof(); dm->ADOSProc.Next()) {
            QStringList row;
            for (const char* f : {"USERCODE", "PTYPENAME", "ID", "DATE", "QTY", "COSTTOTAL", "TOTAL", "VCHTYPE"})
                row << dm->ADOSProc.FieldText(QString::fromLatin1(f));
            out << row.join(QLatin1Char(' '));
        }
        return out;
    }
    QStringList stock()
    {
        dm->CallProc(dm->ADOSProc, QStringLiteral("hz_GetStock"), {}, true);
        QStringList out;
        for (dm->ADOSProc.First(); !dm->ADOSProc.Eof(); dm->ADOSProc.Next()) {
            QStringList row;
            for (const char* f : {"USERCODE", "PTYPENAME", "ID", "UNIT", "KCQTY", "KCTOTAL"})
                row << dm->ADOSProc.FieldText(QString::fromLatin1(f));
            out << row.join(QLatin1Char(' '));
        }
        return out;
    }

    TempProgramDir program;
    std::unique_ptr<TDMData> dm;
    QString dbName;
    RecordingMessages messages;
};

const QString kHeader = QStringLiteral("商品名称,商品编码,规格,型号,单位,产地,销售日期,数量,成本,金额,网点编号,单据类型");

}  // namespace

TEST_F(ImportEngineTest, GoodFilesReachTheAccountSet)
{
    ImportResult r = import({kHeader, QStringLiteral("康师傅红烧牛肉面,6901,120g,桶装,箱,天津,2024-03-02,2,30.5,48,0001,11"),
                             QString(),
                             QStringLiteral(" \"农夫山泉\",6902,550ml,瓶装,瓶,浙江,2024-03-03,1,0.8,1.5,0002,45 ")});
    ASSERT_TRUE(r.ok()) << messages.texts().join(" | ").toStdString();
    EXPECT_EQ(messages.texts(), QStringList{QStringLiteral("系统提示: 数据导入成功完成")});
    // Cost (field 9) and amount (field 10) land in their own columns.
    EXPECT_EQ(sales(), (QStringList{QStringLiteral("6901 康师傅红烧牛肉面 0001 2024-03-02 2 30.5 48 11"),
                                    QStringLiteral("6902 农夫山泉 0002 2024-03-03 1 0.8 1.5 45")}));

    r = import({QStringLiteral("h"), QStringLiteral("雪碧,6903,2L,瓶装,瓶,广州,12,60.25,0001")});
    ASSERT_TRUE(r.ok()) << messages.texts().join(" | ").toStdString();
    EXPECT_EQ(stock(), QStringList{QStringLiteral("6903 雪碧 0001 瓶 12 60.25")});
}

TEST_F(ImportEngineTest, RefusedFilesLeaveTheConsolidatedFiguresAlone)
{
    ASSERT_TRUE(import({kHeader, QStringLiteral("可乐,7001,330ml,罐装,听,上海,2024-03-05,10,20,35,0001,11")}).ok());
    const QStringList before = sales();
    ASSERT_EQ(before.size(), 1);

    // Outlet 0009 is not in the outlet list: both messages, in order; nothing consolidated.
    ImportResult r = import({kHeader, QStringLiteral("可乐,7001,330ml,罐装,听,上海,2024-03-05,99,1,2,0001,11"),
                             QStringLiteral("可乐,7001,330ml,罐装,听,上海,2024-03-05,5,1,2,0009,11")});
    EXPECT_EQ(r.status, ImportStatus::OutletMissing);
    EXPECT_EQ(r.lineNo, 3);
    EXPECT_EQ(messages.texts(),
              (QStringList{QStringLiteral("提示信息: 数据导入失败！\r错误原因：要导入的网点不存在，请销售网点中加入该网点的信息，再重新导入！"),
                           QStringLiteral("系统提示: 数据导入错误")}));
    EXPECT_EQ(sales(), before);

    // A line the procedure refuses (no date), and a line the parser refuses.
    r = import({kHeader, QStringLiteral("可乐,7001,330ml,罐装,听,上海,2024-03-05,99,1,2,0001,11"),
                QStringLiteral("可乐,7001,330ml,罐装,听,上海,,5,1,2,0001,11")});
    EXPECT_EQ(r.status, ImportStatus::LineFailed);
    EXPECT_EQ(messages.texts(), QStringList{QStringLiteral("系统提示: 数据导入错误")});
    EXPECT_EQ(sales(), before);

    // After failed runs the next good one works, and the lines staged by the failures are gone.
    ASSERT_TRUE(import({kHeader, QStringLiteral("可乐,7001,330ml,罐装,听,上海,2024-03-06,1,1,2,0002,11")}).ok());
    EXPECT_EQ(sales(), (QStringList{before[0], QStringLiteral("7001 可乐 0002 2024-03-06 1 1 2 11")}));
}

// A file that mixes the kinds, in any order: every line lands and both kinds are consolidated.
TEST_F(ImportEngineTest, MixedFilesConsolidateEveryKind)
{
    const QString s1 = QStringLiteral("可乐,7001,330ml,罐装,听,上海,2024-03-05,10,20,35,0001,11");
    const QString s2 = QStringLiteral("雪碧,7002,330ml,罐装,听,上海,2024-03-06,3,4,5,0002,45");
    const QString k1 = QStringLiteral("雪碧,6903,2L,瓶装,瓶,广州,12,60.25,0001");
    const QString k2 = QStringLiteral("可乐,6904,2L,瓶装,瓶,广州,7,14,0002");
    const QStringList wantSales{QStringLiteral("7001 可乐 0001 2024-03-05 10 20 35 11"),
                                QStringLiteral("7002 雪碧 0002 2024-03-06 3 4 5 45")};
    const QStringList wantStock{QStringLiteral("6903 雪碧 0001 瓶 12 60.25"), QStringLiteral("6904 可乐 0002 瓶 7 14")};
    const QList<QStringList> orders{{kHeader, s1, s2, k1, k2}, {kHeader, k1, k2, s1, s2}, {kHeader, s1, k1, s2, k2},
                                    {kHeader, k1, s1, k2, s2}};
    for (const QStringList& file : orders) {
        const ImportResult r = import(file);
        ASSERT_TRUE(r.ok()) << messages.texts().join(" | ").toStdString();
        EXPECT_EQ(messages.texts(), QStringList{QStringLiteral("系统提示: 数据导入成功完成")});
        // Imported again and again: replaced, never doubled.
        EXPECT_EQ(sales(), wantSales) << file.join('|').toStdString();
        QStringList st = stock();
        st.sort();
        EXPECT_EQ(st, wantStock) << file.join('|').toStdString();
    }
    // A one-kind file after them leaves the other kind's figures as they are.
    ASSERT_TRUE(import({kHeader, QStringLiteral("可乐,7001,330ml,罐装,听,上海,2024-03-07,1,1,1,0001,11")}).ok());
    QStringList st = stock();
    st.sort();
    EXPECT_EQ(st, wantStock);
}
