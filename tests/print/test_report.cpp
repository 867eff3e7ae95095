// PRINT.EXE's pieces: the .rwx template, the table reader, and how a template meets the tables.
#include "base/DbfFieldName.h"
#include "dbf/PrintHandoff.h"
#include "base/Gbk.h"
#include "print/DbfReader.h"
#include "print/Report.h"
#include "print/RwxTemplate.h"
#include "tests/dbf/DbfTestUtil.h"
#include "tests/support/TestSupport.h"

#include <QDir>

#include <gtest/gtest.h>

using namespace corvanta;
using namespace corvanta::print;
using namespace corvanta::test;

namespace {

// Writes the two print tables into a fresh program folder and reads them back.
struct Tables {
    TempProgramDir dir;
    RecordingMessages msgs;
    DATABASEFILE tables{&msgs};
    PrintHandoff handoff{tables, msgs};
    DbfTable title, body;

    void write(const std::vector<QStringList>& rows, std::vector<int> widths, const QString& titleValue = QString())
    {
        TableGrid grid(rows, std::move(widths));
        handoff.WriteTitleTable({{QStringLiteral("销售时间"), 100, titleValue}});
        handoff.WriteBodyTable(grid);
        QString error;
        ASSERT_TRUE(readDbfTable(dir.dataDir() + QStringLiteral("/TABLE_B1.DBF"), title, error)) << error.toStdString();
        ASSERT_TRUE(readDbfTable(dir.dataDir() + QStringLiteral("/TABLE_M1.DBF"), body, error)) << error.toStdString();
    }
};

RwxTemplate parse(const QString& text)
{
    RwxTemplate t;
    QString error;
    EXPECT_TRUE(parseRwx(text, t, error)) << error.toStdString();
    return t;
}

}  // namespace

TEST(Rwx, ParsesSettingsAndRefusesWithTheLine)
{
    const RwxTemplate t = parse(QStringLiteral("\xFEFF# comment\r\n"
                                               "title=销售情况查询表\n"
                                               "subtitle={销售时间}\n"
                                               "\n"
                                               "; another comment\n"
                                               "orientation=Landscape\n"
                                               "blankrows=skip\n"
                                               "totals=合计\n"
                                               "fontsize=9\n"
                                               "column=商品编码|编码|10\n"
                                               "column=数量|数量|8|right|number:2|sum\n"));
    EXPECT_EQ(t.title, QStringLiteral("销售情况查询表"));
    EXPECT_EQ(t.subtitle, QStringLiteral("{销售时间}"));
    EXPECT_EQ(t.orientation, Orientation::Landscape);
    EXPECT_EQ(t.blankRows, BlankRows::Skip);
    EXPECT_EQ(t.totalsLabel, QStringLiteral("合计"));
    EXPECT_EQ(t.fontSize, 9);
    ASSERT_EQ(t.columns.size(), 2u);
    EXPECT_EQ(t.columns[0].heading, QStringLiteral("编码"));
    EXPECT_EQ(t.columns[0].align, Align::Left);
    EXPECT_EQ(t.columns[0].format.kind, NumberFormat::Text);
    EXPECT_EQ(t.columns[1].align, Align::Right);
    EXPECT_EQ(t.columns[1].format.kind, NumberFormat::Fixed);
    EXPECT_EQ(t.columns[1].format.decimals, 2);
    EXPECT_TRUE(t.columns[1].sum);

    for (const auto& [text, line] : std::vector<std::pair<QString, int>>{
             {QStringLiteral("title=x\nbogus"), 2},
             {QStringLiteral("colour=red"), 1},
             {QStringLiteral("title=x\n\ncolumn=A|a|wide"), 3},
             {QStringLiteral("column=A|a|0"), 1},
             {QStringLiteral("column=A|a|5|middle"), 1},
             {QStringLiteral("column=A|a|5|left|money"), 1},
             {QStringLiteral("column=A|a|5|left|text|total"), 1},
             {QStringLiteral("column=|a|5"), 1},
             {QStringLiteral("orientation=sideways"), 1},
             {QStringLiteral("blankrows=some"), 1},
             {QStringLiteral("title=x\nlayout=grid"), 2},
         }) {
        RwxTemplate t2;
        QString error;
        EXPECT_FALSE(parseRwx(text, t2, error)) << text.toStdString();
        EXPECT_TRUE(error.startsWith(QStringLiteral("line %1:").arg(line))) << error.toStdString();
    }
}

TEST(Rwx, ShippedTemplatesMatchTheGridsTheyPrint)
{
    // The headings of the grids whose print button names each template.
    const QStringList stat{"行号", "商品编号", "商品名称", "数量", "金额", "成本", "利润"};
    const QStringList sales{"序号", "商品编码", "商品名称", "网点编号", "网点名称", "规格", "型号",
                            "单位", "产地", "销售日期", "数量", "金额", "成本", "单据类型"};
    const QStringList stock{"序号", "商品编码", "商品名称", "网点编号", "网点名称", "规格",
                            "型号", "单位", "产地", "库存数量", "库存金额"};
    const std::vector<std::pair<QString, QStringList>> cases{
        {QStringLiteral("销售网点信息.rwx"),
         {"行号", "网点编号", "网点名称", "网点类型", "联系电话", "传真", "联系人", "联系地址"}},
        {QStringLiteral("商品销售情况统计表.rwx"), stat},
        {QStringLiteral("网点销售情况统计表.rwx"), {"行号", "网点编号", "网点名称", "数量", "金额", "成本", "利润"}},
        {QStringLiteral("每日销售情况统计表.rwx"), {"行号", "", "单据名称", "数量", "金额", "成本", "利润"}},
        {QStringLiteral("销售退货统计表.rwx"), {"行号", "", "销售时间", "数量", "金额", "成本", "利润"}},
        {QStringLiteral("销售情况查询表.rwx"), sales},
        {QStringLiteral("库存情况查询表.rwx"), stock},
    };
    const QString dataDir = QStringLiteral(CORVANTA_SOURCE_DATA_DIR);
    for (const auto& [name, headings] : cases) {
        RwxTemplate t;
        QString error;
        ASSERT_TRUE(readRwxFile(dataDir + QLatin1Char('/') + name, t, error)) << error.toStdString();
        EXPECT_FALSE(t.title.isEmpty()) << name.toStdString();
        // Every column names a field that the hand-off makes from one of the headings.
        QList<QByteArray> fields;
        for (const QString& h : headings)
            fields << PrintHandoff::BodyFieldName(gbk::encode(h));
        int nonEmpty = 0;
        for (const QString& h : headings)
            nonEmpty += h.isEmpty() ? 0 : 1;
        EXPECT_EQ(int(t.columns.size()), nonEmpty) << name.toStdString();
        for (const RwxColumn& c : t.columns)
            EXPECT_TRUE(fields.contains(CutDbfFieldName(gbk::encode(c.field))))
                << name.toStdString() << ": " << c.field.toStdString();
    }
}

TEST(Report, ReaderAndTemplateMeetTheTables)
{
    Tables t;
    const QString period = QStringLiteral("(商品销售时间 从2024-03-01到2024-03-31)");
    // A very long name in a narrow column is cut mid-character by the table.
    t.write({{"行号", "商品名称", "数量", "", "隐藏"},
             {"1", "甲乙丙丁戊己庚辛壬癸子丑寅卯辰巳午未申酉戌亥甲乙丙丁戊己庚辛", "1.5", "x", "h"},
             {},
             {"2", "乙", "abc", "", ""},
             {"", "合  计", "99", "", ""}},
            {30, 7, 40, 50, 0}, period);

    ASSERT_EQ(t.body.fieldNames, (QStringList{"行号", "商品名称", "数量", "Rwx", "隐藏"}));
    EXPECT_EQ(t.body.widths, (std::vector<int>{34, 31, 35, 37, 30}));
    ASSERT_EQ(t.body.records.size(), 4u);  // the blank row and the blanked totals row included
    const QString longName = t.body.records[0][1];
    EXPECT_EQ(longName, QStringLiteral("甲乙丙丁戊己庚辛壬癸子丑寅卯辰"));  // 31 bytes: the half character dropped
    EXPECT_EQ(t.title.records.at(0).at(0), period);

    RwxTemplate tpl = parse(QStringLiteral("title=T {date}\nsubtitle=期间{销售时间}\ntotals=合计\nlayout=template\n"
                                           "column=商品名称|名称|20\n"
                                           "column=不存在|x|5\n"
                                           "column=隐藏|隐藏|5\n"
                                           "column=数量|数量|8|right|number:2|sum\n"
                                           "column=行号|行号|4|right|integer\n"));
    Report r = buildReport(tpl, t.title, t.body);
    EXPECT_TRUE(r.title.startsWith(QStringLiteral("T 20")));
    EXPECT_EQ(r.subtitle, QStringLiteral("期间") + period);
    ASSERT_EQ(r.columns.size(), 3u);  // missing field and hidden (width 30) column left out
    EXPECT_EQ(r.columns[0].heading, QStringLiteral("名称"));
    EXPECT_EQ(r.columns[2].heading, QStringLiteral("行号"));
    // Blank records kept between rows, trailing ones (the totals row) dropped.
    ASSERT_EQ(r.rows.size(), 3u);
    EXPECT_EQ(r.rows[0], (QStringList{longName, "1.50", "1"}));
    EXPECT_EQ(r.rows[1], (QStringList{"", "", ""}));
    EXPECT_EQ(r.rows[2], (QStringList{"乙", "abc", "2"}));  // text that is no number stays as it is
    ASSERT_TRUE(r.hasTotals);
    EXPECT_EQ(r.totals, (QStringList{"合计", "1.50", ""}));

    tpl.blankRows = BlankRows::Skip;
    EXPECT_EQ(buildReport(tpl, t.title, t.body).rows.size(), 2u);
    tpl.blankRows = BlankRows::Keep;
    EXPECT_EQ(buildReport(tpl, t.title, t.body).rows.size(), 4u);

    // A template none of whose fields exist prints the table as it is.
    const Report all = buildReport(parse(QStringLiteral("title=x\ncolumn=ZZ|z|4\n")), t.title, t.body);
    ASSERT_EQ(all.columns.size(), 4u);
    EXPECT_EQ(all.columns[3].heading, QString());
    EXPECT_FALSE(all.warnings.isEmpty());

    // The default layout: the table's fields in the table's order, the template's columns
    // dressing the fields they name; an unknown field under its own name.
    RwxTemplate table = tpl;
    table.layout = Layout::Table;
    const Report byTable = buildReport(table, t.title, t.body);
    ASSERT_EQ(byTable.columns.size(), 4u);
    EXPECT_EQ(byTable.columns[0].heading, QStringLiteral("行号"));
    EXPECT_EQ(byTable.columns[0].align, Align::Right);
    EXPECT_EQ(byTable.columns[1].heading, QStringLiteral("名称"));
    EXPECT_TRUE(byTable.columns[2].sum);
    EXPECT_EQ(byTable.columns[3].heading, QString());  // the "Rwx" field of an empty heading
    EXPECT_EQ(byTable.totals.value(2), QStringLiteral("1.50"));

    EXPECT_EQ(chooseOrientation(r), QPageLayout::Portrait);
    Report wide = r;
    for (auto& c : wide.columns)
        c.width = 60;
    EXPECT_EQ(chooseOrientation(wide), QPageLayout::Landscape);
}

TEST(Report, NumberFormats)
{
    double v = 0;
    bool isNumber = false;
    EXPECT_EQ(formatValue(QStringLiteral(" 12.345 "), {NumberFormat::Fixed, 2}, &v, &isNumber), QStringLiteral("12.35"));
    EXPECT_TRUE(isNumber);
    EXPECT_DOUBLE_EQ(v, 12.345);
    EXPECT_EQ(formatValue(QStringLiteral("-2.5"), {NumberFormat::Integer, 0}), QStringLiteral("-3"));
    EXPECT_EQ(formatValue(QStringLiteral(" 7.10"), {NumberFormat::Number, 0}), QStringLiteral("7.10"));
    EXPECT_EQ(formatValue(QStringLiteral(" 7.10"), {NumberFormat::Text, 0}), QStringLiteral(" 7.10"));
    EXPECT_EQ(formatValue(QStringLiteral("N/A"), {NumberFormat::Fixed, 2}, &v, &isNumber), QStringLiteral("N/A"));
    EXPECT_FALSE(isNumber);
    EXPECT_EQ(formatValue(QString(), {NumberFormat::Fixed, 2}, &v, &isNumber), QString());
    EXPECT_FALSE(isNumber);
}

TEST(Report, ReaderRefusesWhatIsNoTable)
{
    TempProgramDir dir;
    DbfTable table;
    QString error;
    EXPECT_FALSE(readDbfTable(dir.dataDir() + QStringLiteral("/none.dbf"), table, error));
    EXPECT_TRUE(error.contains(QStringLiteral("none.dbf")));

    auto writeBytes = [&](const QByteArray& bytes) {
        QFile f(dir.dataDir() + QStringLiteral("/t.dbf"));
        f.open(QIODevice::WriteOnly);
        f.write(bytes);
        f.close();
        return readDbfTable(dir.dataDir() + QStringLiteral("/t.dbf"), table, error);
    };
    EXPECT_FALSE(writeBytes("short"));
    QByteArray b(32 + 32 + 1 + 3 * 6 + 1, ' ');
    b.replace(0, 32, QByteArray(32, '\0'));
    b[0] = 3;
    b[4] = 3;           // three records
    b[8] = 65;          // header length
    b[10] = 6;          // record length
    b.replace(32, 32, QByteArray(32, '\0'));
    b.replace(32, 4, "NAME");
    b[32 + 11] = 'C';
    b[32 + 16] = 5;
    b[64] = 0x0D;
    b.replace(65, 6, " abc  ");
    b.replace(71, 6, "*gone ");
    b.replace(77, 6, " xyz  ");
    b[83] = 0x1A;
    ASSERT_TRUE(writeBytes(b)) << error.toStdString();
    ASSERT_EQ(table.records.size(), 2u);  // the deleted one left out
    EXPECT_EQ(table.records[1].at(0), QStringLiteral("xyz"));

    QByteArray shortFile = b.left(65 + 6);  // claims three records, holds one
    ASSERT_TRUE(writeBytes(shortFile));
    EXPECT_EQ(table.records.size(), 1u);
    EXPECT_FALSE(table.warnings.isEmpty());

    QByteArray memo = b;
    memo[32 + 11] = 'M';
    EXPECT_FALSE(writeBytes(memo));
    QByteArray tooWide = b;
    tooWide[32 + 16] = 50;
    EXPECT_FALSE(writeBytes(tooWide));
    QByteArray version = b;
    version[0] = 4;
    EXPECT_FALSE(writeBytes(version));

    // Found by fuzzing: a huge (here sparse) file was read whole and ended the program.
    {
        QFile f(dir.dataDir() + QStringLiteral("/t.dbf"));
        ASSERT_TRUE(f.open(QIODevice::ReadWrite));
        ASSERT_TRUE(f.resize(kMaxTableBytes + 1));
    }
    EXPECT_FALSE(readDbfTable(dir.dataDir() + QStringLiteral("/t.dbf"), table, error));
    EXPECT_TRUE(error.contains(QStringLiteral("太大"))) << error.toStdString();
}
