#include "base/Config.h"

#include "base/AtomicFile.h"

#include "base/Sysdef.h"
#include "base/Gbk.h"
#include "base/TextHelpers.h"

#include <QFile>
#include <QStringDecoder>
#include <cerrno>
#include <cstring>
#include <sys/stat.h>
#include <vector>

namespace corvanta {

namespace {

struct Line {
    qsizetype begin;    // offset of the first byte
    qsizetype end;      // offset just past the text, before the line ending
    qsizetype next;     // offset of the next line
};

std::vector<Line> splitLines(const QByteArray& bytes)
{
    std::vector<Line> lines;
    qsizetype pos = 0;
    const qsizetype n = bytes.size();
    while (pos < n) {
        qsizetype e = pos;
        while (e < n && bytes[e] != '\n' && bytes[e] != '\r')
            ++e;
        qsizetype next = e;
        if (next < n && bytes[next] == '\r')
            ++next;
        if (next < n && bytes[next] == '\n')
            ++next;
        lines.push_back({pos, e, next});
        pos = next;
    }
    return lines;
}

bool isUtf8(const QByteArray& bytes)
{
    QStringDecoder dec(QStringDecoder::Utf8);
    QString ignored = dec.decode(bytes);
    return !dec.hasError();
}

struct Parsed {
    QByteArray bytes;
    bool utf8 = true;
    std::vector<Line> lines;
    QString text(const Line& l) const
    {
        qsizetype begin = l.begin;
        // A UTF-8 byte-order mark would otherwise hide the first section header.
        if (begin == 0 && bytes.startsWith("\xEF\xBB\xBF"))
            begin = qMin<qsizetype>(3, l.end);
        QByteArray raw = bytes.mid(begin, l.end - begin);
        return utf8 ? QString::fromUtf8(raw) : gbk::decode(raw);
    }
    QByteArray encode(const QString& s) const { return utf8 ? s.toUtf8() : gbk::encode(s); }
};

QString systemErrorText(int error)
{
    return QString::fromLocal8Bit(std::strerror(error));
}

// nullopt only when nothing is there; a file that exists but cannot be read, a directory, a
// device or a dangling or looping link throws.
std::optional<Parsed> load(const QString& path)
{
    const QByteArray native = QFile::encodeName(path);
    struct stat st {};
    if (::stat(native.constData(), &st) != 0) {
        const int error = errno;
        struct stat link {};
        if (error == ENOENT && ::lstat(native.constData(), &link) != 0 && errno == ENOENT)
            return std::nullopt;
        throw ConfigError(QStringLiteral("无法读取配置文件 %1：%2").arg(path, systemErrorText(error)));
    }
    if (!S_ISREG(st.st_mode))
        throw ConfigError(QStringLiteral("配置文件 %1 不是普通文件，无法读取。").arg(path));
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        throw ConfigError(QStringLiteral("无法读取配置文件 %1：%2").arg(path, f.errorString()));
    Parsed p;
    p.bytes = f.readAll();
    p.utf8 = isUtf8(p.bytes);
    p.lines = splitLines(p.bytes);
    return p;
}

// Section name of a "[name]" line, or nullopt.
std::optional<QString> sectionOf(const QString& line)
{
    QString t = line.trimmed();
    if (!t.startsWith(QLatin1Char('[')))
        return std::nullopt;
    qsizetype close = t.indexOf(QLatin1Char(']'));
    if (close < 0)
        return std::nullopt;
    return t.mid(1, close - 1).trimmed();
}

// Key of a "key=value" line, or nullopt (comments and other lines).
std::optional<QString> keyOf(const QString& line, QString* value = nullptr)
{
    QString t = line.trimmed();
    if (t.isEmpty() || t.startsWith(QLatin1Char(';')))
        return std::nullopt;
    qsizetype eq = t.indexOf(QLatin1Char('='));
    if (eq < 0)
        return std::nullopt;
    if (value)
        *value = t.mid(eq + 1).trimmed();
    return t.left(eq).trimmed();
}

// Index range [first, last) of the lines of the first section with this name; first is the
// header line itself. nullopt when the section is absent.
std::optional<std::pair<size_t, size_t>> findSection(const Parsed& p, const QString& section)
{
    for (size_t i = 0; i < p.lines.size(); ++i) {
        auto name = sectionOf(p.text(p.lines[i]));
        if (!name || name->compare(section, Qt::CaseInsensitive) != 0)
            continue;
        size_t j = i + 1;
        while (j < p.lines.size() && !sectionOf(p.text(p.lines[j])))
            ++j;
        return std::make_pair(i, j);
    }
    return std::nullopt;
}

QByteArray lineEnding(const Parsed& p)
{
    return p.bytes.contains("\r\n") || !p.bytes.contains('\n') ? QByteArray("\r\n") : QByteArray("\n");
}

}  // namespace

IniFile::IniFile(QString path) : m_path(std::move(path)) {}

std::optional<QString> IniFile::read(const QString& section, const QString& key) const
{
    auto p = load(m_path);
    if (!p)
        return std::nullopt;
    auto range = findSection(*p, section);
    if (!range)
        return std::nullopt;
    for (size_t i = range->first + 1; i < range->second; ++i) {
        QString value;
        auto k = keyOf(p->text(p->lines[i]), &value);
        if (!k || k->compare(key, Qt::CaseInsensitive) != 0)
            continue;
        if (value.size() >= 2 && (value.front() == QLatin1Char('"') || value.front() == QLatin1Char('\'')) &&
            value.back() == value.front())
            value = value.mid(1, value.size() - 2);
        return value;
    }
    return std::nullopt;
}

QString IniFile::read(const QString& section, const QString& key, const QString& fallback) const
{
    return read(section, key).value_or(fallback);
}

QStringList IniFile::keysOutsideSections() const
{
    QStringList keys;
    auto p = load(m_path);
    if (!p)
        return keys;
    for (size_t i = 0; i < p->lines.size(); ++i) {
        const QString text = p->text(p->lines[i]);
        if (sectionOf(text))
            break;
        if (auto k = keyOf(text))
            keys << QStringLiteral("%1 (第 %2 行)").arg(*k).arg(i + 1);
    }
    return keys;
}

bool IniFile::write(const QString& section, const QString& key, const QString& value) const
{
    if (HasControlCharacter(section) || HasControlCharacter(key) || HasControlCharacter(value))
        return false;
    // A key holding "=" or a section holding "]" would be read back as something else.
    if (key.trimmed().isEmpty() || key.contains(QLatin1Char('=')) || key.trimmed().startsWith(QLatin1Char('[')) ||
        key.trimmed().startsWith(QLatin1Char(';')) || section.contains(QLatin1Char(']')))
        return false;
    std::optional<Parsed> p;
    try {
        p = load(m_path);
    } catch (const ConfigError&) {
        return false;
    }
    if (!p)
        return false;
    QByteArray out;
    const QByteArray eol = lineEnding(*p);
    auto range = findSection(*p, section);
    if (!range) {
        out = p->bytes;
        if (!out.isEmpty() && !out.endsWith('\n') && !out.endsWith('\r'))
            out += eol;
        out += "[" + p->encode(section) + "]" + eol + p->encode(key) + "=" + p->encode(value) + eol;
    } else {
        std::optional<size_t> hit;
        size_t lastContent = range->first;
        for (size_t i = range->first + 1; i < range->second; ++i) {
            QString text = p->text(p->lines[i]);
            if (!text.trimmed().isEmpty())
                lastContent = i;
            auto k = keyOf(text);
            if (k && k->compare(key, Qt::CaseInsensitive) == 0) {
                hit = i;
                break;
            }
        }
        if (hit) {
            const Line& l = p->lines[*hit];
            QString text = p->text(l);
            qsizetype eq = text.indexOf(QLatin1Char('='));
            QByteArray keyPart = p->encode(text.left(eq));
            out = p->bytes.left(l.begin) + keyPart + "=" + p->encode(value) + p->bytes.mid(l.end);
        } else {
            const Line& l = p->lines[lastContent];
            QByteArray before = p->bytes.left(l.next);
            if (l.next == l.end)  // last line of the file without an ending
                before += eol;
            out = before + p->encode(key) + "=" + p->encode(value) + eol + p->bytes.mid(l.next);
        }
    }
    // The same value again: nothing to write (each start writes DBServer; a rewrite costs a sync).
    if (out == p->bytes)
        return true;
    AtomicFile f(m_path, true);
    if (!f.open())
        return false;
    if (f.device().write(out) != out.size())
        return false;
    return f.commit();
}

std::optional<QString> Config::Problem()
{
    const IniFile ini(ConfigPath());
    try {
        const QStringList outside = ini.keysOutsideSections();
        if (!outside.isEmpty())
            return QStringLiteral("配置文件 %1 中有不属于任何节的键：%2。请把它们放到所属的节（如 [SYSTEM]）下。")
                .arg(ini.path(), outside.join(QStringLiteral("，")));
        const QString engine = Engine();
        if (engine != QLatin1String("embedded") && engine != QLatin1String("postgresql"))
            return QStringLiteral("配置文件 %1 中的 ENGINE=%2 不是可用的数据库引擎（embedded 或 postgresql）。")
                .arg(ini.path(), engine);
    } catch (const ConfigError& e) {
        return e.message;
    }
    return std::nullopt;
}

std::optional<QString> Config::Version()
{
    return IniFile(ConfigPath()).read(QStringLiteral("SQLVERSION"), QStringLiteral("VERSION"));
}

QString Config::Server()
{
    QString server = IniFile(ConfigPath()).read(QStringLiteral("SYSTEM"), QStringLiteral("SERVER"), QString());
    return server.isEmpty() ? ComputerNameText() : server;
}

QString Config::User()
{
    return IniFile(ConfigPath()).read(QStringLiteral("SYSTEM"), QStringLiteral("USER"), QStringLiteral("sa"));
}

QString Config::Password()
{
    return IniFile(ConfigPath()).read(QStringLiteral("SYSTEM"), QStringLiteral("PASSWORD"), QString());
}

QString Config::Engine()
{
    QString engine = IniFile(ConfigPath()).read(QStringLiteral("SYSTEM"), QStringLiteral("ENGINE"), QString());
    engine = engine.trimmed().toLower();
    return engine.isEmpty() ? QStringLiteral("embedded") : engine;
}

bool Config::WriteDBServer(const QString& server)
{
    return IniFile(ConfigPath()).write(QStringLiteral("SYSTEM"), QStringLiteral("DBServer"), server);
}

bool HasControlCharacter(const QString& text)
{
    for (QChar c : text) {
        const auto cat = c.category();
        if (cat == QChar::Other_Control || cat == QChar::Separator_Line || cat == QChar::Separator_Paragraph)
            return true;
    }
    return false;
}

QString ControlCharacterRuleText(const QString& what)
{
    return QStringLiteral("%1不能含有控制字符（如 ESC、制表符、换行），请重新输入！").arg(what);
}

QString ReturnValueNameFor(const std::optional<QString>& version)
{
    if (!version || *version == QStringLiteral("7.0"))
        return QStringLiteral("RETURN_VALUE");
    return QStringLiteral("@RETURN_VALUE");
}

}  // namespace corvanta
