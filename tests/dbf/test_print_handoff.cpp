// The print hand-off: the two print tables from a grid and title fields, the busy wait, and the
// start of the report program.
#include "dbf/PrintHandoff.h"
#include "base/Gbk.h"
#include "tests/dbf/DbfTestUtil.h"
#include "tests/support/TestSupport.h"

#include <QDir>
#include <QFile>

#include <gtest/gtest.h>

using namespace corvanta;
using namespace corvanta::test;

namespace {

struct Launch {
    QString program;
    QStringList arguments;
};

// A hand-off whose launches are recorded instead of started.
struct Fixture {
    TempProgramDir dir;
    RecordingMessages msgs;
    DATABASEFILE tables{&msgs};
    PrintHandoff handoff{tables, msgs};
    std::vector<Launch> launches;

    explicit Fixture(bool withProgram = true)
    {
        if (withProgram) {
            QFile exe(dir.path() + QStringLiteral("/PRINT.EXE"));
            exe.open(QIODevice::WriteOnly);
        }
        handoff.setLauncher([this](const QString& p, const QStringList& a) {
            launches.push_back({p, a});
            return true;
        });
    }
    QByteArray body() const { return readAll(dir.dataDir() + QStringLiteral("/TABLE_M1.DBF")); }
    QByteArray title() const { return readAll(dir.dataDir() + QStringLiteral("/TABLE_B1.DBF")); }
};

std::vector<QStringList> outletRows()
{
    return {
        {"行号", "网点编号", "网点名称", "网点类型", "联系电话", "传真", "联系人", "联系地址"},
        {"1", "1001", "东城门市部", "直营", "010-1234", "", "王五", "东城区一号"},
        {"2", "1002", "西城门市部", "加盟", "", "", "", ""},
        {"3", "1003", "南站", "直营", "", "", "", "南站路"},
    };
}

const std::vector<int> kOutletWidths{56, 63, 97, 81, 116, 84, 56, 221};

QByteArray field(const QByteArray& file, int record, int offset, int width)
{
    const int hl = int(le16(file, 8)), rl = int(le16(file, 10));
    return file.mid(hl + (record - 1) * rl + offset, width);
}

}  // namespace

TEST(PrintHandoff, OutletListTables)
{
    Fixture fx;
    TableGrid grid(outletRows(), kOutletWidths);
    grid.padTo(22);
    const std::vector<TitleField> title{{QStringLiteral("商品编号"), 100, QStringLiteral("商品编号")}};
    EXPECT_TRUE(fx.handoff.PrintReport(title, grid, QStringLiteral("销售网点信息.rwx")));

    const QByteArray b = fx.body();
    EXPECT_EQ(le16(b, 8), 289u);
    EXPECT_EQ(le16(b, 10), 349u);
    EXPECT_EQ(le32(b, 4), 3u);  // the empty rows below the list are not exported
    const int widths[] = {38, 39, 43, 41, 46, 42, 38, 61};
    for (int i = 0; i < 8; ++i) {
        EXPECT_EQ(fieldName(b, i), gbk::encode(outletRows()[0][i])) << i;
        EXPECT_EQ(u8(b, 32 + 32 * i + 16), unsigned(widths[i])) << i;
        EXPECT_EQ(u8(b, 32 + 32 * i + 11), unsigned('C'));
    }
    EXPECT_EQ(field(b, 1, 0, 1), " ");
    EXPECT_EQ(field(b, 1, 1, 38), QByteArray("1").leftJustified(38, ' '));
    EXPECT_EQ(field(b, 1, 1 + 38 + 39, 43), gbk::encode(QStringLiteral("东城门市部")).leftJustified(43, ' '));
    EXPECT_EQ(field(b, 3, 1 + 349 - 1 - 61, 61), gbk::encode(QStringLiteral("南站路")).leftJustified(61, ' '));
    EXPECT_EQ(u8(b, 289 + 3 * 349), 0x1Au);
    EXPECT_EQ(b.size(), 289 + 1000 * 349);

    const QByteArray t = fx.title();
    EXPECT_EQ(le16(t, 8), 65u);
    EXPECT_EQ(le16(t, 10), 111u);
    EXPECT_EQ(le32(t, 4), 1u);
    EXPECT_EQ(fieldName(t, 0), gbk::encode(QStringLiteral("商品编号")));
    EXPECT_EQ(u8(t, 32 + 16), 110u);
    EXPECT_EQ(field(t, 1, 1, 110), gbk::encode(QStringLiteral("商品编号")).leftJustified(110, ' '));

    ASSERT_EQ(fx.launches.size(), 1u);
    EXPECT_EQ(fx.launches[0].program, fx.dir.path() + QStringLiteral("/PRINT.EXE"));
    EXPECT_EQ(fx.launches[0].arguments, QStringList{QStringLiteral("/rwxfile销售网点信息.rwx")});
    EXPECT_TRUE(fx.msgs.messages.empty()) << fx.msgs.texts().join(QLatin1Char('\n')).toStdString();
}

TEST(PrintHandoff, FieldNamesAndWidths)
{
    auto name = [](const QString& heading) { return PrintHandoff::BodyFieldName(gbk::encode(heading)); };
    EXPECT_EQ(name(QString()), "Rwx");
    EXPECT_EQ(name(QStringLiteral("ABCDEFGH")), "ABCDEFGH");
    EXPECT_EQ(name(QStringLiteral("ABCDEFGHIJKL")), "ABCDEFGH");
    EXPECT_EQ(name(QStringLiteral("商品销售时间")), gbk::encode(QStringLiteral("商品销售")));
    EXPECT_EQ(name(QStringLiteral("A商品销售")), gbk::encode(QStringLiteral("A商品销售")));  // 7 high bytes in 8
    EXPECT_EQ(name(QStringLiteral("A商品销售情况")), gbk::encode(QStringLiteral("A商品销售")));
    EXPECT_EQ(name(QStringLiteral("网点编号")), gbk::encode(QStringLiteral("网点编号")));

    EXPECT_EQ(PrintHandoff::BodyFieldWidth(70), 40);
    EXPECT_EQ(PrintHandoff::BodyFieldWidth(0), 30);
    EXPECT_EQ(PrintHandoff::BodyFieldWidth(-5), 30);
    EXPECT_EQ(PrintHandoff::BodyFieldWidth(1581), 255);
    EXPECT_EQ(PrintHandoff::BodyFieldWidth(1582), 255);  // capped: the descriptor holds one byte
    EXPECT_EQ(PrintHandoff::BodyFieldWidth(5000), 255);

    // The same rules on a written table, a very wide column included.
    Fixture fx;
    TableGrid grid({{"", "商品销售时间", "A商品销售", "ABCDEFGHIJKL"}, {"x", "y", "z", "w"}}, {0, 70, 5000, 7});
    EXPECT_TRUE(fx.handoff.WriteBodyTable(grid));
    const QByteArray b = fx.body();
    EXPECT_EQ(fieldName(b, 0), "Rwx");
    EXPECT_EQ(fieldName(b, 1), gbk::encode(QStringLiteral("商品销售")));
    EXPECT_EQ(fieldName(b, 2), gbk::encode(QStringLiteral("A商品销售")));
    EXPECT_EQ(fieldName(b, 3), "ABCDEFGH");
    EXPECT_EQ(u8(b, 32 + 16), 30u);
    EXPECT_EQ(u8(b, 64 + 16), 40u);
    EXPECT_EQ(u8(b, 96 + 16), 255u);
    EXPECT_EQ(le16(b, 10), 1u + 30 + 40 + 255 + 31);
    EXPECT_TRUE(fx.msgs.messages.empty());
}

TEST(PrintHandoff, RowsExportedAndTotalsRow)
{
    const QStringList head{"行号", "名称", "数量"};
    // The totals row as the last filled row: appended, but blank.
    {
        Fixture fx;
        TableGrid grid({head, {"1", "甲", "5"}, {}, {"2", "乙", "7"}, {"", "合  计", "12"}}, {30, 60, 60});
        grid.padTo(22);
        EXPECT_TRUE(fx.handoff.WriteBodyTable(grid));
        const QByteArray b = fx.body();
        const int rl = int(le16(b, 10));
        ASSERT_EQ(le32(b, 4), 4u);
        EXPECT_EQ(field(b, 1, 1, 1), "1");
        EXPECT_EQ(field(b, 2, 0, rl), QByteArray(rl, ' '));  // the empty row between filled ones
        EXPECT_EQ(field(b, 3, 1, 1), "2");
        EXPECT_EQ(field(b, 4, 0, rl), QByteArray(rl, ' '));  // the totals row
    }
    // The same row in the middle, or a marker beyond column 3, is exported as it is.
    for (const auto& rows : {std::vector<QStringList>{head, {"", "合计", "12"}, {"3", "丙", "1"}},
                             std::vector<QStringList>{{"a", "b", "c", "d", "e"}, {"1", "", "", "", "合计"}}}) {
        Fixture fx;
        TableGrid grid(rows, std::vector<int>(rows[0].size(), 35));
        EXPECT_TRUE(fx.handoff.WriteBodyTable(grid));
        const QByteArray b = fx.body();
        ASSERT_EQ(le32(b, 4), uint32_t(rows.size() - 1));
        const QByteArray all = b.mid(int(le16(b, 8)), int(le16(b, 10)) * int(rows.size() - 1));
        EXPECT_TRUE(all.contains(gbk::encode(QStringLiteral("合计"))));
    }
    EXPECT_TRUE(PrintHandoff::HasTotalsMarker(QStringLiteral("本页合 计：")));
    EXPECT_FALSE(PrintHandoff::HasTotalsMarker(QStringLiteral("合   计")));
}

TEST(PrintHandoff, EmptyGridStillStartsTheProgram)
{
    Fixture fx;
    TableGrid grid({{"行号", "网点编号"}}, {30, 60});
    grid.padTo(22);
    EXPECT_EQ(PrintHandoff::LastFilledRow(grid), 0);
    EXPECT_TRUE(fx.handoff.PrintReport({{QStringLiteral("商品编号"), 100, QStringLiteral("商品编号")}}, grid,
                                       QStringLiteral("库存情况查询表.rwx")));
    const QByteArray b = fx.body();
    EXPECT_EQ(le32(b, 4), 0u);
    EXPECT_EQ(b.size(), 32 + 64 + 2);
    EXPECT_EQ(fieldName(b, 1), gbk::encode(QStringLiteral("网点编号")));
    ASSERT_EQ(fx.launches.size(), 1u);
    EXPECT_EQ(fx.launches[0].arguments.at(0), QStringLiteral("/rwxfile库存情况查询表.rwx"));
}

TEST(PrintHandoff, FailuresDoNotStopTheNextStep)
{
    // No PRINT.EXE: the tables are written all the same and the message names the program.
    {
        Fixture fx(false);
        TableGrid grid(outletRows(), kOutletWidths);
        EXPECT_FALSE(fx.handoff.PrintReport({{QStringLiteral("商品编号"), 100, QStringLiteral("商品编号")}}, grid,
                                            QStringLiteral("销售网点信息.rwx")));
        EXPECT_EQ(le32(fx.body(), 4), 3u);
        EXPECT_EQ(le32(fx.title(), 4), 1u);
        EXPECT_TRUE(fx.launches.empty());
        ASSERT_EQ(fx.msgs.messages.size(), 1u);
        const auto& m = fx.msgs.messages[0];
        EXPECT_EQ(m.caption, QStringLiteral("错误"));
        EXPECT_EQ(m.text, QStringLiteral("找不到PRINT.EXE文件！"));
        EXPECT_EQ(m.buttons, QStringLiteral("myok"));
        EXPECT_EQ(m.icon, QStringLiteral("stop"));
    }
    // No data folder: both tables fail with the table files' messages, the program is still started.
    {
        Fixture fx;
        ASSERT_TRUE(QDir(fx.dir.dataDir()).removeRecursively());
        TableGrid grid(outletRows(), kOutletWidths);
        EXPECT_FALSE(fx.handoff.PrintReport({{QStringLiteral("销售时间"), 100, QStringLiteral("(x)")}}, grid,
                                            QStringLiteral("销售情况查询表.rwx")));
        ASSERT_EQ(fx.launches.size(), 1u);
        ASSERT_FALSE(fx.msgs.messages.empty());
        EXPECT_EQ(fx.msgs.messages[0].caption, QStringLiteral("D提示信息"));
    }
    // A launch that fails is reported, not passed over.
    {
        Fixture fx;
        fx.handoff.setLauncher([](const QString&, const QStringList&) { return false; });
        EXPECT_FALSE(fx.handoff.StartReportProgram(QStringLiteral("x.rwx")));
        ASSERT_EQ(fx.msgs.messages.size(), 1u);
        EXPECT_EQ(fx.msgs.messages[0].caption, QStringLiteral("错误"));
    }
}

TEST(PrintHandoff, OpenReportTableMissingAndBusy)
{
    Fixture fx;
    // Missing: the table file's message, then the hand-off's own with the short name.
    EXPECT_FALSE(fx.handoff.OpenReportTable(QStringLiteral("table_m1.dbf")));
    EXPECT_EQ(fx.msgs.beeps, 1);
    ASSERT_EQ(fx.msgs.messages.size(), 2u);
    EXPECT_EQ(fx.msgs.messages[0].caption, QStringLiteral("D提示信息"));
    EXPECT_EQ(fx.msgs.messages[1].caption, QStringLiteral("错误"));
    EXPECT_EQ(fx.msgs.messages[1].text, QStringLiteral("文件table_m1.dbf不存在！"));
    EXPECT_EQ(fx.msgs.messages[1].icon, QStringLiteral("stop"));
    EXPECT_EQ(fx.msgs.messages[1].buttons, QStringLiteral("myok"));

    // Held by another writer for the whole wait: a clock that moves a second per look gives up
    // after ten seconds.
    ASSERT_TRUE(fx.tables.f_new(fx.dir.dataDir() + QStringLiteral("/TABLE_M1.DBF")));
    fx.tables.f_addfield("A", 'C', 0, 5);
    DATABASEFILE holder;
    ASSERT_EQ(holder.f_open(fx.dir.dataDir(), QStringLiteral("TABLE_M1.DBF"), QStringLiteral("readwrite")), 0);
    auto t = std::chrono::steady_clock::time_point{};
    int looks = 0;
    fx.handoff.setClock([&] {
        ++looks;
        return t += std::chrono::seconds(1);
    });
    fx.msgs.messages.clear();
    EXPECT_FALSE(fx.handoff.OpenReportTable(QStringLiteral("table_m1.dbf")));
    EXPECT_EQ(fx.tables.f_open(fx.dir.dataDir(), QStringLiteral("table_m1.dbf"), QStringLiteral("readwrite")), -5);
    EXPECT_FALSE(fx.tables.isOpen());
    EXPECT_GE(looks, 10);
    EXPECT_LE(looks, 12);
    EXPECT_EQ(fx.msgs.beeps, 2);
    ASSERT_EQ(fx.msgs.messages.size(), 1u) << fx.msgs.texts().join(QLatin1Char('\n')).toStdString();
    EXPECT_EQ(fx.msgs.messages[0].caption, QStringLiteral("错误"));
    EXPECT_EQ(fx.msgs.messages[0].text, QStringLiteral("系统忙，请稍后重试！"));
    EXPECT_EQ(fx.msgs.messages[0].icon, QStringLiteral("stop"));

    // Released during the wait: the open succeeds without a message.
    looks = 0;
    fx.handoff.setClock([&] {
        if (++looks == 3)
            holder.f_Close();
        return t += std::chrono::seconds(1);
    });
    fx.msgs.messages.clear();
    EXPECT_TRUE(fx.handoff.OpenReportTable(QStringLiteral("table_m1.dbf")));
    EXPECT_TRUE(fx.tables.isOpen());
    EXPECT_TRUE(fx.msgs.messages.empty());
    EXPECT_EQ(fx.tables.f_Close(), 1);
}
