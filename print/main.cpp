// PRINT.EXE: the report program that the client starts after writing the two print tables.
//
//   PRINT.EXE /rwxfileNAME.rwx                 print preview (print, or save as PDF)
//   PRINT.EXE --pdf OUT.pdf /rwxfileNAME.rwx   renders straight to OUT.pdf, no window
//
// The template NAME.rwx and the tables TABLE_B1.DBF (title) and TABLE_M1.DBF (body) are looked
// up in the data folder beside the program, names matched without regard to letter case.
#include "base/QtChinese.h"
#include "base/Sysdef.h"
#include "print/DbfReader.h"
#include "print/PaintProgress.h"
#include "print/Report.h"
#include "print/RwxTemplate.h"

#include <QApplication>
#include <QFileInfo>
#include <QMessageBox>
#include <QPdfWriter>
#include <QPrintPreviewDialog>
#include <QPrinter>

#include <cstdio>
#include <cstring>

using namespace corvanta;
using namespace corvanta::print;

namespace {

const char* const kUsage = "usage: PRINT.EXE [--pdf OUT.pdf] /rwxfileTEMPLATE.rwx\n";

void setUpPage(QPagedPaintDevice& device, QPageLayout::Orientation orientation)
{
    device.setPageSize(QPageSize(QPageSize::A4));
    device.setPageOrientation(orientation);
    device.setPageMargins(QMarginsF(12, 12, 12, 12), QPageLayout::Millimeter);
}

}  // namespace

int main(int argc, char** argv)
{
    // A PDF needs no screen: run headless unless told otherwise.
    bool pdfMode = false;
    for (int i = 1; i < argc; ++i)
        pdfMode = pdfMode || std::strcmp(argv[i], "--pdf") == 0;
    if (pdfMode && qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("PRINT"));
    corvanta::InstallQtChinese(app);  // the print and preview dialogs speak Chinese

    auto fail = [&](const QString& message, int code = 1) {
        std::fprintf(stderr, "PRINT.EXE: %s\n", qPrintable(message));
        if (!pdfMode)
            QMessageBox::critical(nullptr, QStringLiteral("报表打印"), message);
        return code;
    };

    QString pdfPath;
    QString templateName;
    const QStringList args = app.arguments().mid(1);
    for (qsizetype i = 0; i < args.size(); ++i) {
        QString a = args[i];
        if (a.size() >= 2 && a.startsWith(QLatin1Char('"')) && a.endsWith(QLatin1Char('"')))
            a = a.mid(1, a.size() - 2);
        if (a == QLatin1String("--pdf")) {
            if (i + 1 >= args.size())
                return fail(QStringLiteral("--pdf needs the name of the PDF file"), 2);
            pdfPath = args[++i];
        } else if (a.startsWith(QLatin1String("/rwxfile"), Qt::CaseInsensitive)) {
            templateName = a.mid(8).trimmed();
        } else if (a == QLatin1String("--help") || a == QLatin1String("-h")) {
            std::fputs(kUsage, stdout);
            return 0;
        } else {
            std::fputs(kUsage, stderr);
            return fail(QStringLiteral("unknown argument \"%1\"").arg(a), 2);
        }
    }
    if (templateName.isEmpty()) {
        std::fputs(kUsage, stderr);
        return fail(QStringLiteral("没有指定报表模板（/rwxfile模板名.rwx）"), 2);
    }

    const QString dataDir = FindFileNoCase(GetAppDir(), QStringLiteral("data"));
    const QString templatePath =
        QFileInfo(templateName).isAbsolute() ? templateName : FindFileNoCase(dataDir, templateName);
    if (!QFileInfo(templatePath).isFile())
        return fail(QStringLiteral("找不到报表模板文件 %1").arg(templatePath));

    RwxTemplate tpl;
    QString error;
    if (!readRwxFile(templatePath, tpl, error))
        return fail(error);
    DbfTable title, body;
    if (!readDbfTable(FindFileNoCase(dataDir, QStringLiteral("TABLE_B1.DBF")), title, error))
        return fail(error);
    if (!readDbfTable(FindFileNoCase(dataDir, QStringLiteral("TABLE_M1.DBF")), body, error))
        return fail(error);

    const Report report = buildReport(tpl, title, body);
    for (const QString& w : report.warnings)
        std::fprintf(stderr, "PRINT.EXE: %s\n", qPrintable(w));
    const QPageLayout::Orientation orientation = chooseOrientation(report);

    if (pdfMode) {
        QPdfWriter writer(pdfPath);
        writer.setTitle(report.title);
        writer.setCreator(QStringLiteral("PRINT.EXE"));
        writer.setResolution(300);
        setUpPage(writer, orientation);
        const int pages = paintReport(report, writer, error);
        if (pages == 0)
            return fail(QStringLiteral("不能写入PDF文件 %1：%2").arg(pdfPath, error));
        return 0;
    }

    QPrinter printer(QPrinter::HighResolution);
    printer.setDocName(report.title);
    setUpPage(printer, orientation);
    QPrintPreviewDialog preview(&printer);
    preview.setWindowTitle(QStringLiteral("报表打印 - ") + report.title);
    QObject::connect(&preview, &QPrintPreviewDialog::paintRequested, &preview, [&](QPrinter* target) {
        QString why;
        PaintProgress progress(&preview);
        if (paintReport(report, *target, why, progress.callback()) == 0) {
            std::fprintf(stderr, "PRINT.EXE: %s\n", qPrintable(why));
            // Cancelled while the preview was laid out: the user wants no printout.
            if (progress.cancelled())
                QMetaObject::invokeMethod(&preview, &QDialog::reject, Qt::QueuedConnection);
        }
    });
    preview.resize(1000, 760);
    preview.exec();
    return 0;
}
