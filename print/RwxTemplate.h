#pragma once
// A report template (".rwx"): UTF-8 text, one "key=value" setting per line; "#" or ";" starts a
// comment line, blank lines are ignored. See RWX_FORMAT.md. Example:
//
//   title=销售情况查询表
//   subtitle={销售时间}
//   orientation=auto
//   blankrows=trim
//   totals=合计
//   column=商品编码|商品编码|10|left|text
//   column=数量|数量|8|right|number|sum
//
// column = FIELD | HEADING | WIDTH (half-width character cells) | ALIGN (left, right, center)
//          | FORMAT (text, integer, number, number:N) [| sum]
#include <QString>
#include <QStringList>

#include <vector>

namespace corvanta::print {

enum class Orientation { Auto, Portrait, Landscape };
enum class BlankRows { Keep, Skip, Trim };
enum class Align { Left, Right, Center };
// Which columns print in which order: the body table's (as the grid shows them) or the template's.
enum class Layout { Table, Template };

struct NumberFormat {
    enum Kind { Text, Integer, Number, Fixed } kind = Text;
    int decimals = 0;  // for Fixed
};

struct RwxColumn {
    QString field;
    QString heading;
    int width = 10;
    Align align = Align::Left;
    NumberFormat format;
    bool sum = false;
};

struct RwxTemplate {
    QString title;
    QString subtitle;
    QString footer = QStringLiteral("第 {page} 页 / 共 {pages} 页");
    Orientation orientation = Orientation::Auto;
    BlankRows blankRows = BlankRows::Trim;
    QString totalsLabel;  // empty: no totals row
    double fontSize = 10;
    bool skipNarrow = true;  // leave out table fields of width 30 or less (hidden grid columns)
    Layout layout = Layout::Table;
    std::vector<RwxColumn> columns;
};

// False with "line N: ..." in error when the text is not a valid template.
bool parseRwx(const QString& text, RwxTemplate& out, QString& error);
bool readRwxFile(const QString& path, RwxTemplate& out, QString& error);

}  // namespace corvanta::print
