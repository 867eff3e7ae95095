#pragma once
// Reading PRINT.EXE's PDFs back in tests: text and page count through poppler's tools.
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>
#include <QString>
#include <QStringList>

namespace corvanta::test {

inline bool havePoppler()
{
    return !QStandardPaths::findExecutable(QStringLiteral("pdftotext")).isEmpty()
           && !QStandardPaths::findExecutable(QStringLiteral("pdfinfo")).isEmpty();
}

// The text of a PDF (page 0: all pages), laid out as on the page.
inline QString pdfText(const QString& pdf, int page = 0)
{
    QProcess p;
    QStringList args;
    if (page > 0)
        args << QStringLiteral("-f") << QString::number(page) << QStringLiteral("-l") << QString::number(page);
    args << QStringLiteral("-layout") << pdf << QStringLiteral("-");
    p.start(QStringLiteral("pdftotext"), args);
    p.waitForFinished(60000);
    return QString::fromUtf8(p.readAllStandardOutput());
}

// pdftotext does not always keep the narrow blanks between Chinese characters.
inline QString squeezed(QString text)
{
    text.remove(QLatin1Char(' '));
    return text;
}

inline int pdfPages(const QString& pdf)
{
    QProcess p;
    p.start(QStringLiteral("pdfinfo"), {pdf});
    p.waitForFinished(60000);
    for (const QString& line : QString::fromUtf8(p.readAllStandardOutput()).split(QLatin1Char('\n')))
        if (line.startsWith(QLatin1String("Pages:")))
            return line.mid(6).trimmed().toInt();
    return 0;
}

// CORVANTA_KEEP_OUTPUT=DIR keeps the rendered PDFs for a look.
inline void keep(const QString& pdf)
{
    const QString dir = qEnvironmentVariable("CORVANTA_KEEP_OUTPUT");
    if (!dir.isEmpty()) {
        const QString to = dir + QLatin1Char('/') + QFileInfo(pdf).fileName();
        QFile::remove(to);
        QFile::copy(pdf, to);
    }
}

}  // namespace corvanta::test
