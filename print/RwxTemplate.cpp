#include "print/RwxTemplate.h"

#include <initializer_list>
#include <utility>

#include <QFile>
#include <QStringDecoder>

namespace corvanta::print {

namespace {

bool parseFormat(const QString& text, NumberFormat& out)
{
    const QString f = text.trimmed().toLower();
    if (f == QLatin1String("text") || f.isEmpty())
        out = {NumberFormat::Text, 0};
    else if (f == QLatin1String("integer"))
        out = {NumberFormat::Integer, 0};
    else if (f == QLatin1String("number"))
        out = {NumberFormat::Number, 0};
    else if (f.startsWith(QLatin1String("number:"))) {
        bool ok = false;
        const int d = f.mid(7).toInt(&ok);
        if (!ok || d < 0 || d > 6)
            return false;
        out = {NumberFormat::Fixed, d};
    } else
        return false;
    return true;
}

// One of a key's named values, without regard to letter case; false (out untouched) for another.
template <class E>
bool choose(const QString& value, std::initializer_list<std::pair<const char*, E>> choices, E& out)
{
    for (const auto& [name, choice] : choices)
        if (value.compare(QLatin1String(name), Qt::CaseInsensitive) == 0) {
            out = choice;
            return true;
        }
    return false;
}

bool parseColumn(const QString& value, RwxColumn& c, QString& why)
{
    const QStringList parts = value.split(QLatin1Char('|'));
    if (parts.size() < 3 || parts.size() > 6) {
        why = QStringLiteral("column needs FIELD|HEADING|WIDTH[|ALIGN[|FORMAT[|sum]]], got \"%1\"").arg(value);
        return false;
    }
    c.field = parts[0].trimmed();
    c.heading = parts[1].trimmed();
    if (c.field.isEmpty()) {
        why = QStringLiteral("column without a field name");
        return false;
    }
    bool ok = false;
    c.width = parts[2].trimmed().toInt(&ok);
    if (!ok || c.width < 1 || c.width > 255) {
        why = QStringLiteral("column width \"%1\" is not a number from 1 to 255").arg(parts[2].trimmed());
        return false;
    }
    if (parts.size() > 3) {
        const QString a = parts[3].trimmed().toLower();
        if (a == QLatin1String("left") || a.isEmpty())
            c.align = Align::Left;
        else if (a == QLatin1String("right"))
            c.align = Align::Right;
        else if (a == QLatin1String("center"))
            c.align = Align::Center;
        else {
            why = QStringLiteral("alignment \"%1\" is not left, right or center").arg(parts[3].trimmed());
            return false;
        }
    }
    if (parts.size() > 4 && !parseFormat(parts[4], c.format)) {
        why = QStringLiteral("format \"%1\" is not text, integer, number or number:N").arg(parts[4].trimmed());
        return false;
    }
    if (parts.size() > 5) {
        const QString s = parts[5].trimmed().toLower();
        if (s != QLatin1String("sum") && !s.isEmpty()) {
            why = QStringLiteral("the sixth part may only be \"sum\", got \"%1\"").arg(parts[5].trimmed());
            return false;
        }
        c.sum = !s.isEmpty();
    }
    return true;
}

}  // namespace

bool parseRwx(const QString& text, RwxTemplate& out, QString& error)
{
    out = RwxTemplate();
    const QStringList lines = text.split(QLatin1Char('\n'));
    for (int i = 0; i < lines.size(); ++i) {
        QString line = lines[i];
        if (line.endsWith(QLatin1Char('\r')))
            line.chop(1);
        if (i == 0 && line.startsWith(QChar(0xFEFF)))
            line.remove(0, 1);
        const QString trimmed = line.trimmed();
        if (trimmed.isEmpty() || trimmed.startsWith(QLatin1Char('#')) || trimmed.startsWith(QLatin1Char(';')))
            continue;
        auto fail = [&](const QString& why) {
            error = QStringLiteral("line %1: %2").arg(i + 1).arg(why);
            return false;
        };
        const qsizetype eq = line.indexOf(QLatin1Char('='));
        if (eq < 0)
            return fail(QStringLiteral("\"%1\" is not key=value").arg(trimmed));
        const QString key = line.left(eq).trimmed().toLower();
        const QString value = line.mid(eq + 1).trimmed();
        if (key == QLatin1String("title"))
            out.title = value;
        else if (key == QLatin1String("subtitle"))
            out.subtitle = value;
        else if (key == QLatin1String("footer"))
            out.footer = value;
        else if (key == QLatin1String("totals"))
            out.totalsLabel = value;
        else if (key == QLatin1String("orientation")) {
            if (!choose(value, {{"auto", Orientation::Auto}, {"portrait", Orientation::Portrait},
                                {"landscape", Orientation::Landscape}}, out.orientation))
                return fail(QStringLiteral("orientation \"%1\" is not auto, portrait or landscape").arg(value));
        } else if (key == QLatin1String("blankrows")) {
            if (!choose(value, {{"keep", BlankRows::Keep}, {"skip", BlankRows::Skip}, {"trim", BlankRows::Trim}},
                        out.blankRows))
                return fail(QStringLiteral("blankrows \"%1\" is not keep, skip or trim").arg(value));
        } else if (key == QLatin1String("fontsize")) {
            bool ok = false;
            const double size = value.toDouble(&ok);
            if (!ok || size < 5 || size > 30)
                return fail(QStringLiteral("fontsize \"%1\" is not a number from 5 to 30").arg(value));
            out.fontSize = size;
        } else if (key == QLatin1String("skipnarrow")) {
            const QString v = value.toLower();
            if (v != QLatin1String("yes") && v != QLatin1String("no"))
                return fail(QStringLiteral("skipnarrow \"%1\" is not yes or no").arg(value));
            out.skipNarrow = v == QLatin1String("yes");
        } else if (key == QLatin1String("layout")) {
            if (!choose(value, {{"table", Layout::Table}, {"template", Layout::Template}}, out.layout))
                return fail(QStringLiteral("layout \"%1\" is not table or template").arg(value));
        } else if (key == QLatin1String("column")) {
            RwxColumn c;
            QString why;
            if (!parseColumn(value, c, why))
                return fail(why);
            out.columns.push_back(c);
        } else {
            return fail(QStringLiteral("unknown key \"%1\"").arg(line.left(eq).trimmed()));
        }
    }
    return true;
}

bool readRwxFile(const QString& path, RwxTemplate& out, QString& error)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        error = QStringLiteral("不能打开报表模板 %1：%2").arg(path, file.errorString());
        return false;
    }
    QStringDecoder utf8(QStringDecoder::Utf8, QStringConverter::Flag::Stateless);
    const QString text = utf8.decode(file.readAll());
    if (utf8.hasError()) {
        error = QStringLiteral("报表模板 %1 不是UTF-8文本").arg(path);
        return false;
    }
    QString why;
    if (!parseRwx(text, out, why)) {
        error = QStringLiteral("报表模板 %1 %2").arg(path, why);
        return false;
    }
    return true;
}

}  // namespace corvanta::print
