#include "cli/CliMessages.h"

#include "cli/Tsv.h"

namespace corvanta::cli {

QString formatMessage(const QString& caption, const QString& text)
{
    QString t = text;
    t.replace(QStringLiteral("\r\n"), QStringLiteral(" / "));
    t.replace(QLatin1Char('\r'), QStringLiteral(" / "));
    t.replace(QLatin1Char('\n'), QStringLiteral(" / "));
    // Names from files and databases must not reach the terminal as commands.
    return QLatin1Char('[') + caption + QStringLiteral("] ") + tsvCell(t);
}

QString CliMessages::superMsg(const QString& caption, const QString& text, const QString& buttons,
                              const QString& /*options*/, const QString& /*icon*/)
{
    m_err << formatMessage(caption, text) << Qt::endl;
    ++m_count;
    const QString kind = buttons.toLower();
    if (kind == QStringLiteral("myok") || kind == QStringLiteral("myyes"))
        return QStringLiteral("myok");
    return QString();
}

void CliMessages::systemBox(const QString& caption, const QString& text)
{
    m_err << formatMessage(caption, text) << Qt::endl;
    ++m_count;
}

void CliMessages::cause(const QString& why)
{
    if (why.trimmed().isEmpty())
        return;
    m_err << formatMessage(QStringLiteral("原因"), why.trimmed()) << Qt::endl;
}

}  // namespace corvanta::cli
