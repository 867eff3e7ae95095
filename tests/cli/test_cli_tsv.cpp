// The tab-separated writing of a whole result against the cell-by-cell rule (tsvCell).
#include "base/CellStore.h"
#include "cli/Tsv.h"

#include <gtest/gtest.h>

#include <QBuffer>
#include <string>
#include <string_view>
#include <vector>

namespace corvanta::cli {
namespace {

QByteArray expectedTsv(const QStringList& headings, const CellStore& cells)
{
    QString text = headings.join(QLatin1Char('\t')) + QLatin1Char('\n');
    for (int r = 0; r < cells.rowCount(); ++r) {
        QStringList row;
        for (int c = 0; c < cells.columnCount(); ++c)
            row << tsvCell(cells.cell(c, r));
        text += row.join(QLatin1Char('\t')) + QLatin1Char('\n');
    }
    return text.toUtf8();
}

QByteArray written(const CellStore& cells, const QStringList& headings, bool toDevice)
{
    if (!toDevice) {
        QString text;
        QTextStream out(&text);
        EXPECT_TRUE(writeTsvStore(out, headings, cells));
        out.flush();
        return text.toUtf8();
    }
    QBuffer buffer;
    buffer.open(QIODevice::WriteOnly);
    QTextStream out(&buffer);
    EXPECT_TRUE(writeTsvStore(out, headings, cells));
    out.flush();
    return buffer.data();
}

// Columns that hold no control character are copied cell by cell in fixed-size pieces; one
// control character anywhere in a long column (here past its first blocks), or a cell that is
// edited, sends the column (the store) the careful way. Both give what the rule gives.
TEST(Tsv, StoreIsWrittenAsEachCellIsCleaned)
{
    const QStringList headings{QStringLiteral("编号"), QStringLiteral("名称"), QStringLiteral("备注")};
    CellStore cells(3);
    const std::string chinese = "笔记本电脑包纸盒";
    for (int r = 0; r < 6000; ++r) {
        const std::string id = "a" + std::to_string(r);
        const std::string name = chinese.substr(0, std::size_t(r % 9) * 3) + std::string(std::size_t(r % 23), 'x');
        std::string note = r % 7 == 0 ? std::string() : "备注" + std::to_string(r);
        if (r == 5000)
            note = "\x1b[2J\xc2\x9b" "2J\xc2\xa0\x7f|\t|\r\n";
        cells.appendRow(std::vector<std::string_view>{id, name, note});
    }
    cells.appendRow(std::vector<std::string_view>{"end", "末", "16 bytes exactly"});
    for (bool toDevice : {true, false}) {
        EXPECT_EQ(written(cells, headings, toDevice), expectedTsv(headings, cells)) << "device " << toDevice;
    }
    const QByteArray out = written(cells, headings, true);
    EXPECT_TRUE(out.contains("\t [2J 2J\xc2\xa0 | |  \n"));
    EXPECT_FALSE(out.contains('\x1b'));

    cells.setCell(0, 10, "ed\x07it");
    EXPECT_EQ(written(cells, headings, true), expectedTsv(headings, cells));
    EXPECT_TRUE(written(cells, headings, true).contains("\ned it\t"));
}

}  // namespace
}  // namespace corvanta::cli
