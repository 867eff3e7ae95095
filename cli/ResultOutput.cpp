#include "cli/ResultOutput.h"

#include "cli/CliApp.h"
#include "cli/CliMessages.h"
#include "cli/Tsv.h"
#include "base/CellStore.h"
#include "base/Gbk.h"

#include <QFile>
#include <QSaveFile>

namespace corvanta::cli {

namespace {

// "--name value" or "--name=value" at args[i]; removes it and returns the value.
bool takeOption(QStringList& args, qsizetype& i, const QString& name, QString& value)
{
    const QString& a = args[i];
    const QString flag = QStringLiteral("--") + name;
    if (a == flag) {
        if (i + 1 >= args.size())
            throw UsageError{QStringLiteral("option --%1 needs a value").arg(name)};
        value = args[i + 1];
        args.remove(i, 2);
        return true;
    }
    if (a.startsWith(flag + u'=')) {
        value = a.mid(flag.size() + 1);
        args.remove(i);
        return true;
    }
    return false;
}

}  // namespace

OutputOptions TakeOutputOptions(QStringList& args, bool allowChart)
{
    OutputOptions o;
    QString format, encoding;
    bool hasEncoding = false;
    for (qsizetype i = 0; i < args.size();) {
        if (args[i] == QStringLiteral("--"))
            break;
        QString v;
        if (takeOption(args, i, QStringLiteral("format"), v)) {
            const auto f = ExportFormatFromName(v);
            if (!f)
                throw UsageError{QStringLiteral("--format: \"%1\" is not one of tsv, csv, xlsx").arg(v)};
            o.format = *f;
        } else if (takeOption(args, i, QStringLiteral("output"), v)) {
            if (v.isEmpty())
                throw UsageError{QStringLiteral("--output needs a file name")};
            o.output = v;
        } else if (takeOption(args, i, QStringLiteral("encoding"), v)) {
            hasEncoding = true;
            if (v.compare(QStringLiteral("utf8"), Qt::CaseInsensitive) == 0 ||
                v.compare(QStringLiteral("utf-8"), Qt::CaseInsensitive) == 0)
                o.encoding = CsvEncoding::Utf8Bom;
            else if (v.compare(QStringLiteral("gbk"), Qt::CaseInsensitive) == 0)
                o.encoding = CsvEncoding::Gbk;
            else
                throw UsageError{QStringLiteral("--encoding: \"%1\" is neither utf8 nor gbk").arg(v)};
        } else if (allowChart && takeOption(args, i, QStringLiteral("chart"), v)) {
            if (v.isEmpty())
                throw UsageError{QStringLiteral("--chart needs a file name")};
            o.chart = v;
        } else {
            ++i;
        }
    }
    if (o.format == ExportFormat::Xlsx && o.output.isEmpty())
        throw UsageError{QStringLiteral("--format xlsx needs --output FILE")};
    if (hasEncoding && o.format != ExportFormat::Csv)
        throw UsageError{QStringLiteral("--encoding applies to --format csv only")};
    return o;
}

int WriteResult(CliContext& ctx, const OutputOptions& options, const QStringList& headings, const CellStore& cells,
                const GridSource& grid)
{
    QString error;
    bool ok = true;
    switch (options.format) {
    case ExportFormat::Tsv:
        if (options.output.isEmpty()) {
            writeTsvStore(ctx.out, headings, cells);
            return ExitOk;
        } else {
            QSaveFile f(options.output);
            if (f.open(QIODevice::WriteOnly)) {
                QTextStream s(&f);
                s.setEncoding(QStringConverter::Utf8);
                writeTsvStore(s, headings, cells);
                s.flush();
            }
            ok = f.commit();
            if (!ok)
                error = QStringLiteral("写入文件 %1 失败：%2").arg(options.output, f.errorString());
        }
        break;
    case ExportFormat::Csv:
        if (options.output.isEmpty()) {
            const QByteArray bytes = CsvBytes(grid, options.encoding);
            ctx.out.flush();
            if (QIODevice* d = ctx.out.device())
                d->write(bytes);
            else if (options.encoding == CsvEncoding::Gbk)
                ctx.out << gbk::decode(bytes);
            else  // fromUtf8 would drop the byte-order mark
                ctx.out << QChar(0xFEFF) << QString::fromUtf8(bytes.mid(3));
            return ExitOk;
        }
        ok = WriteCsv(grid, options.output, options.encoding, &error);
        break;
    case ExportFormat::Xlsx:
        ok = WriteXlsx(grid, options.output, &error);
        break;
    }
    if (!ok) {
        ctx.messages.systemBox(QStringLiteral("错误"), error);
        return ExitFailed;
    }
    return ExitOk;
}

}  // namespace corvanta::cli
