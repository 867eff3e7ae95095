#include "cli/ResultOutput.h"

#include "cli/CliApp.h"
#include "cli/CliMessages.h"
#include "cli/Tsv.h"
#include "base/AtomicFile.h"
#include "base/CellStore.h"
#include "base/Gbk.h"


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
            else if (v.compare(QStringLiteral("gb18030"), Qt::CaseInsensitive) == 0)
                o.encoding = CsvEncoding::Gb18030;
            else
                throw UsageError{QStringLiteral("--encoding: \"%1\" is not one of utf8, gbk, gb18030").arg(v)};
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
    QString error, notice;
    bool ok = true;
    switch (options.format) {
    case ExportFormat::Tsv:
        if (options.output.isEmpty()) {
            writeTsvStore(ctx.out, headings, cells);  // standard output is checked when the command ends
            return ExitOk;
        } else {
            AtomicFile f(options.output);
            if (f.open()) {
                QTextStream s(&f.device());
                s.setEncoding(QStringConverter::Utf8);
                const bool written = writeTsvStore(s, headings, cells);
                s.flush();
                if (!written || s.status() != QTextStream::Ok)
                    f.fail(f.device().errorString());
                f.commit();
            }
            ok = f.error().isEmpty();
            error = f.error();
        }
        break;
    case ExportFormat::Csv: {
        if (!options.output.isEmpty()) {
            ok = WriteCsv(grid, options.output, options.encoding, &error);
            break;
        }
        const std::optional<QByteArray> bytes = CsvBytes(grid, options.encoding, &error);
        if (!bytes) {
            ok = false;
            break;
        }
        ctx.out.flush();
        if (QIODevice* d = ctx.out.device())
            d->write(*bytes);
        else if (options.encoding != CsvEncoding::Utf8Bom)
            ctx.out << gbk::decode(*bytes);
        else  // fromUtf8 would drop the byte-order mark
            ctx.out << QChar(0xFEFF) << QString::fromUtf8(bytes->mid(3));
        return ExitOk;
    }
    case ExportFormat::Xlsx:
        ok = WriteXlsx(grid, options.output, &error, &notice);
        break;
    }
    if (!ok) {
        ctx.messages.systemBox(QStringLiteral("错误"), error);
        return ExitFailed;
    }
    if (!notice.isEmpty())
        ctx.messages.systemBox(QStringLiteral("提示"), QStringLiteral("%1：%2").arg(options.output, notice));
    return ExitOk;
}

}  // namespace corvanta::cli
