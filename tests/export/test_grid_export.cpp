// Export of a grid to XLSX and CSV, read back: the sheet XML from the zip, the CSV bytes.
#include "export/GridExport.h"
#include "base/Gbk.h"

#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace corvanta;

namespace {

class Table : public GridSource {
public:
    Table(std::vector<QStringList> rows, std::vector<int> widths) : m_rows(std::move(rows)), m_widths(std::move(widths)) {}
    int rowCount() const override { return int(m_rows.size()); }
    int columnCount() const override { return int(m_widths.size()); }
    QString cell(int row, int column) const override { return m_rows[std::size_t(row)].value(column); }
    int columnWidth(int column) const override { return m_widths[std::size_t(column)]; }

private:
    std::vector<QStringList> m_rows;
    std::vector<int> m_widths;
};

QString unzipped(const QString& file, const QString& member)
{
    QProcess p;
    p.start(QStringLiteral("unzip"), {QStringLiteral("-p"), file, member});
    p.waitForFinished(10000);
    return QString::fromUtf8(p.readAllStandardOutput());
}

Table salesLike()
{
    return Table({{"行号", "商品编码", "商品名称", "数量", "金额", "利润", "销售时间"},
                  {"1", "0012", "苹果汁", "3", "0.3", "-12.50", "2024-03-01"},
                  {"2", "0100", "橙汁, \"大\"", "1234567.891", "0.1", "12345678901234567", "不是日期"},
                  {"", "", "", "", "", "", ""},
                  {"", "", "", "", "", "", ""}},
                 {30, 50, 255, 103, 85, 0, 104});
}

}  // namespace

TEST(GridExport, XlsxHoldsNumbersDatesTextWidthsAndFrozenHeading)
{
    QTemporaryDir dir;
    const QString file = dir.filePath(QStringLiteral("统计.xlsx"));
    QString error;
    ASSERT_TRUE(WriteXlsx(salesLike(), file, &error)) << error.toStdString();
    const QString sheet = unzipped(file, QStringLiteral("xl/worksheets/sheet1.xml"));
    ASSERT_FALSE(sheet.isEmpty());

    // Amounts are number cells holding the exact decimal, without binary noise.
    EXPECT_TRUE(sheet.contains(QStringLiteral("<c r=\"E2\"><v>0.3</v></c>"))) << sheet.toStdString();
    EXPECT_TRUE(sheet.contains(QStringLiteral("<c r=\"E3\"><v>0.1</v></c>")));
    EXPECT_TRUE(sheet.contains(QStringLiteral("<c r=\"D3\"><v>1234567.891</v></c>")));
    EXPECT_TRUE(sheet.contains(QStringLiteral("<c r=\"F2\"><v>-12.5</v></c>")));
    EXPECT_TRUE(sheet.contains(QStringLiteral("<c r=\"A3\"><v>2</v></c>")));
    // Codes keep their zeros; a figure too long for a spreadsheet number stays exact as text.
    EXPECT_TRUE(sheet.contains(QStringLiteral("<t>0012</t>")));
    EXPECT_TRUE(sheet.contains(QStringLiteral("<t>12345678901234567</t>")));
    // Chinese text and headings as strings (escaped where XML needs it).
    EXPECT_TRUE(sheet.contains(QStringLiteral("<t>苹果汁</t>")));
    EXPECT_TRUE(sheet.contains(QStringLiteral("<t>橙汁, &quot;大&quot;</t>")) ||
                sheet.contains(QStringLiteral("<t>橙汁, \"大\"</t>")));
    EXPECT_TRUE(sheet.contains(QStringLiteral("<t>销售时间</t>")));
    // A date is a date serial with a date format; a cell that is no date stays text.
    EXPECT_TRUE(sheet.contains(QRegularExpression(QStringLiteral("<c r=\"G2\" s=\"\\d+\"><v>45352</v></c>"))));
    EXPECT_TRUE(sheet.contains(QStringLiteral("<t>不是日期</t>")));
    // The padding rows are not exported.
    EXPECT_FALSE(sheet.contains(QStringLiteral("r=\"4\"")));
    // Frozen heading row.
    EXPECT_TRUE(sheet.contains(QStringLiteral("<pane ySplit=\"1\" topLeftCell=\"A2\"")));
    // Widths follow the grid (pixels to characters); a zero-width column is hidden.
    EXPECT_TRUE(sheet.contains(QStringLiteral("<col min=\"3\" max=\"3\" width=\"36.")));
    EXPECT_TRUE(sheet.contains(QRegularExpression(QStringLiteral("<col min=\"6\" max=\"6\"[^>]*hidden=\"1\""))));

    const QString styles = unzipped(file, QStringLiteral("xl/styles.xml"));
    EXPECT_TRUE(styles.contains(QStringLiteral("formatCode=\"yyyy-mm-dd\"")));
}

TEST(GridExport, XlsxRefusesAnUnwritablePath)
{
    QString error;
    EXPECT_FALSE(WriteXlsx(salesLike(), QStringLiteral("/nonexistent-dir/x.xlsx"), &error));
    EXPECT_FALSE(error.isEmpty());
}

TEST(GridExport, CsvInUtf8WithBomAndInGbk)
{
    const QString expected = QStringLiteral(
        "行号,商品编码,商品名称,数量,金额,利润,销售时间\r\n"
        "1,0012,苹果汁,3,0.3,-12.50,2024-03-01\r\n"
        "2,0100,\"橙汁, \"\"大\"\"\",1234567.891,0.1,12345678901234567,不是日期\r\n");
    const QByteArray utf8 = CsvBytes(salesLike(), CsvEncoding::Utf8Bom).value();
    ASSERT_TRUE(utf8.startsWith("\xEF\xBB\xBF"));
    EXPECT_EQ(QString::fromUtf8(utf8.mid(3)), expected);

    const QByteArray gbkBytes = CsvBytes(salesLike(), CsvEncoding::Gbk).value();
    EXPECT_FALSE(gbkBytes.startsWith("\xEF\xBB\xBF"));
    EXPECT_TRUE(gbkBytes.contains(QByteArray("\xC6\xBB\xB9\xFB", 4)));  // 苹果 in GBK
    EXPECT_EQ(gbk::decode(gbkBytes), expected);

    QTemporaryDir dir;
    const QString file = dir.filePath(QStringLiteral("x.csv"));
    QString error;
    ASSERT_TRUE(WriteCsv(salesLike(), file, CsvEncoding::Gbk, &error));
    QFile f(file);
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    EXPECT_EQ(f.readAll(), gbkBytes);
}

TEST(GridExport, NumbersFormatsAndKinds)
{
    EXPECT_EQ(ExportNumber(QStringLiteral("0.3")), 0.3);
    EXPECT_EQ(ExportNumber(QStringLiteral(" -7 ")), -7.0);
    EXPECT_EQ(ExportNumber(QStringLiteral("123456789012345.0000")), 123456789012345.0);
    EXPECT_FALSE(ExportNumber(QStringLiteral("1234567890123456")));
    EXPECT_FALSE(ExportNumber(QStringLiteral("1e5")));
    EXPECT_FALSE(ExportNumber(QStringLiteral("1.")));
    EXPECT_FALSE(ExportNumber(QString()));
    EXPECT_EQ(ExportFormatFromName(QStringLiteral("XLSX")), ExportFormat::Xlsx);
    EXPECT_EQ(ExportFormatFromName(QStringLiteral("tsv")), ExportFormat::Tsv);
    EXPECT_FALSE(ExportFormatFromName(QStringLiteral("xls")));
    EXPECT_EQ(ExportKindForHeading(QStringLiteral("库存金额")), ExportKind::Number);
    EXPECT_EQ(ExportKindForHeading(QStringLiteral("销售日期")), ExportKind::Date);
    EXPECT_EQ(ExportKindForHeading(QStringLiteral("网点编号")), ExportKind::Text);
}

namespace {

// Rows made as they are asked for: a sheet's worth of rows costs no memory.
class Generated : public GridSource {
public:
    Generated(int dataRows, QString longText) : m_rows(dataRows + 1), m_long(std::move(longText)) {}
    int rowCount() const override { return m_rows; }
    int columnCount() const override { return 3; }
    QString cell(int row, int column) const override
    {
        if (row == 0)
            return QStringList{"行号", "商品名称", "金额"}[column];
        if (column == 0)
            return QString::number(row);
        if (column == 1)
            return row == 2 ? m_long : row == 3 ? QStringLiteral("控\x1b[2J制\x07字") : QStringLiteral("商品");
        return QStringLiteral("1.5");
    }
    int columnWidth(int) const override { return 60; }

private:
    int m_rows;
    QString m_long;
};

QStringList zipMembers(const QString& file)
{
    QProcess p;
    p.start(QStringLiteral("unzip"), {QStringLiteral("-Z1"), file});
    p.waitForFinished(10000);
    return QString::fromUtf8(p.readAllStandardOutput()).split(u'\n', Qt::SkipEmptyParts);
}

}  // namespace

TEST(GridExport, XlsxRowsPastTheSheetLimitGoOnFurtherSheetsAndLongCellsAreCut)
{
    QTemporaryDir dir;
    const QString file = dir.filePath(QStringLiteral("big.xlsx"));
    const int dataRows = kXlsxMaxRows - 1 + 10;  // ten rows more than the first sheet holds
    const QString longText = QString(40000, QChar(u'长'));
    QString error, notice;
    ASSERT_TRUE(WriteXlsx(Generated(dataRows, longText), file, &error, &notice)) << error.toStdString();
    EXPECT_TRUE(notice.contains(QStringLiteral("2 张工作表")) && notice.contains(QStringLiteral("1 个单元格")))
        << notice.toStdString();

    const QString workbook = unzipped(file, QStringLiteral("xl/workbook.xml"));
    EXPECT_TRUE(workbook.contains(QStringLiteral("name=\"第1-1048575行\""))) << workbook.toStdString();
    EXPECT_TRUE(workbook.contains(QStringLiteral("name=\"第1048576-1048585行\"")));
    EXPECT_TRUE(zipMembers(file).contains(QStringLiteral("xl/worksheets/sheet2.xml")));
    const QString second = unzipped(file, QStringLiteral("xl/worksheets/sheet2.xml"));
    // The heading again, then the last ten rows, numbered on.
    EXPECT_TRUE(second.contains(QStringLiteral("<t>商品名称</t>")));
    EXPECT_TRUE(second.contains(QStringLiteral("<c r=\"A2\"><v>1048576</v></c>"))) << second.left(2000).toStdString();
    EXPECT_TRUE(second.contains(QStringLiteral("<c r=\"A11\"><v>1048585</v></c>")));
    EXPECT_FALSE(second.contains(QStringLiteral("r=\"12\"")));

    // The long name cut at the cell limit, not left empty; control characters escaped, the XML sound.
    QProcess head;
    head.setStandardOutputFile(dir.filePath(QStringLiteral("first.xml")));
    head.start(QStringLiteral("sh"), {QStringLiteral("-c"), QStringLiteral("unzip -p \"$0\" xl/worksheets/sheet1.xml | head -c 400000"), file});
    ASSERT_TRUE(head.waitForFinished(20000));
    QFile firstXml(dir.filePath(QStringLiteral("first.xml")));
    ASSERT_TRUE(firstXml.open(QIODevice::ReadOnly));
    const QString first = QString::fromUtf8(firstXml.readAll());
    EXPECT_TRUE(first.contains(QStringLiteral("<t>") + QString(kXlsxMaxCellChars, QChar(u'长')) + QStringLiteral("</t>")));
    EXPECT_FALSE(first.contains(QString(kXlsxMaxCellChars + 1, QChar(u'长'))));
    EXPECT_FALSE(first.contains(QChar(0x1b))) << "a raw control character makes the XML unreadable";
    EXPECT_TRUE(first.contains(QStringLiteral("控"))) << "the cell is kept";

    // Within the limits: one sheet, its default name, no notice.
    ASSERT_TRUE(WriteXlsx(Generated(3, QStringLiteral("短")), file, &error, &notice));
    EXPECT_TRUE(notice.isEmpty());
    EXPECT_TRUE(unzipped(file, QStringLiteral("xl/workbook.xml")).contains(QStringLiteral("name=\"Sheet1\"")));
}

TEST(GridExport, CsvGbkRefusesWhatGbkCannotHoldNamingRowAndColumn)
{
    Table t({{"行号", "商品名称"}, {"1", "苹果"}, {"2", QString::fromUtf8("榴莲ทุเรียน")}}, {30, 60});
    QString error;
    EXPECT_FALSE(CsvBytes(t, CsvEncoding::Gbk, &error));
    EXPECT_TRUE(error.contains(QStringLiteral("第 2 行第 2 列（商品名称）的字符“ท”"))) << error.toStdString();
    // A supplementary-plane character is named whole.
    Table wide({{"商品名称"}, {QString::fromUtf8("𠮷野家")}}, {60});
    EXPECT_FALSE(CsvBytes(wide, CsvEncoding::Gbk, &error));
    EXPECT_TRUE(error.contains(QString::fromUtf8("“𠮷”（U+20bb7）"))) << error.toStdString();

    const auto bytes = CsvBytes(t, CsvEncoding::Gb18030, &error);
    ASSERT_TRUE(bytes);
    EXPECT_EQ(gbk::decode(*bytes), QString::fromUtf8("行号,商品名称\r\n1,苹果\r\n2,榴莲ทุเรียน\r\n"));
    QTemporaryDir dir;
    const QString file = dir.filePath(QStringLiteral("x.csv"));
    EXPECT_FALSE(WriteCsv(t, file, CsvEncoding::Gbk, &error));
    EXPECT_FALSE(QFile::exists(file));
    EXPECT_TRUE(error.contains(file));
}
