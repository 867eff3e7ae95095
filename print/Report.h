#pragma once
// The report as PRINT.EXE lays it out: a template applied to the title and body tables, then
// painted page by page onto a printer or a PDF writer.
#include "print/DbfReader.h"
#include "print/RwxTemplate.h"

#include <QPageLayout>
#include <QString>
#include <QStringList>

#include <functional>
#include <vector>

class QPagedPaintDevice;

namespace corvanta::print {

struct ReportColumn {
    QString heading;
    int width = 10;  // half-width character cells
    Align align = Align::Left;
    NumberFormat format;
    bool sum = false;
    int field = -1;  // index into the body table's fields
};

struct Report {
    QString title;
    QString subtitle;
    QString footer;
    QString printDate;
    Orientation orientation = Orientation::Auto;
    double fontSize = 10;
    std::vector<ReportColumn> columns;
    std::vector<QStringList> rows;  // display texts, one per shown column
    bool hasTotals = false;
    QStringList totals;
    QStringList warnings;
};

// Applies the template. Columns whose field is not in the body table are left out; when none
// is found, every body field is shown under its own name.
Report buildReport(const RwxTemplate& tpl, const DbfTable& title, const DbfTable& body);

// The text shown for a stored value in a column of that format; number receives the value and
// isNumber whether the text is a number.
QString formatValue(const QString& raw, const NumberFormat& format, double* number = nullptr, bool* isNumber = nullptr);

// Portrait unless the columns are wider than a portrait A4 page (or the template says so).
QPageLayout::Orientation chooseOrientation(const Report& report);

// Told before each page is painted (page 1 .. pages); false stops the painting.
using PageProgress = std::function<bool(int page, int pages)>;

// Paints every page; returns the number of pages, 0 with error set when painting failed or
// progress stopped it.
int paintReport(const Report& report, QPagedPaintDevice& device, QString& error, const PageProgress& progress = {});

// Makes sure a CJK font is at hand; returns the family to use.
QString reportFontFamily();

}  // namespace corvanta::print
