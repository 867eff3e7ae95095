#include "dialogs/FileDialog.h"

#include <QDir>
#include <QHash>
#include <QFileDialog>
#include <QFileInfo>
#include <QRegularExpression>

namespace corvanta {

namespace {

// "Text files (*.txt)" -> "Text files (*.txt *.TXT)": patterns in both letter cases, as the
// outlets' files come from a system where names are case-insensitive.
QString caseInsensitiveFilter(const QString& filter)
{
    static const QRegularExpression group(QStringLiteral("\\(([^)]*)\\)"));
    QString out = filter;
    auto it = group.globalMatch(filter);
    QList<QRegularExpressionMatch> matches;
    while (it.hasNext())
        matches.prepend(it.next());  // replace from the back so that offsets stay valid
    for (const auto& m : matches) {
        QStringList patterns = m.captured(1).split(QLatin1Char(' '), Qt::SkipEmptyParts);
        const QStringList original = patterns;
        for (const QString& p : original) {
            for (const QString& variant : {p.toLower(), p.toUpper()})
                if (!patterns.contains(variant))
                    patterns << variant;
        }
        out.replace(m.capturedStart(1), m.capturedLength(1), patterns.join(QLatin1Char(' ')));
    }
    return out;
}

}  // namespace

FileDialog* FileDialog::instance()
{
    static FileDialog dialog;
    return &dialog;
}

QStringList FileDialog::nextAnswer(const QString& caption, const QString& proposedFile, const QString& filter,
                                   QString* saveFilter)
{
    m_calls.push_back({caption, proposedFile, filter});
    QStringList answer = m_answers.front();
    m_answers.pop_front();
    QString chosen;
    if (!m_saveFilters.empty()) {
        chosen = m_saveFilters.front();
        m_saveFilters.pop_front();
    }
    if (saveFilter)
        *saveFilter = chosen;
    return answer;
}

QString FileDialog::getOpenFileName(QWidget* parent, const QString& caption,
                                    const QString& proposedFile, const QString& filter)
{
    if (!m_answers.empty())
        return nextAnswer(caption, proposedFile, filter).value(0);
    const QFileInfo proposed(proposedFile);
    QFileDialog dialog(parent, caption, proposed.absolutePath(), caseInsensitiveFilter(filter));
    dialog.setFileMode(QFileDialog::ExistingFile);
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    dialog.selectFile(proposed.fileName());
    if (dialog.exec() != QDialog::Accepted)
        return QString();
    return dialog.selectedFiles().value(0);
}

QString FileDialog::getSaveFileName(QWidget* parent, const QString& caption, const QString& proposedFile,
                                    const QStringList& filters, QString* selectedFilter)
{
    if (!m_answers.empty()) {
        QString filter;
        const QString answer = nextAnswer(caption, proposedFile, filters.join(QStringLiteral(";;")), &filter).value(0);
        if (selectedFilter)
            *selectedFilter = filter.isEmpty() ? filters.value(0) : filter;
        return answer;
    }
    const QFileInfo proposed(proposedFile);
    QFileDialog dialog(parent, caption, proposed.absolutePath());
    dialog.setNameFilters(filters);
    dialog.setFileMode(QFileDialog::AnyFile);
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.selectFile(proposed.fileName());
    if (dialog.exec() != QDialog::Accepted)
        return QString();
    if (selectedFilter)
        *selectedFilter = dialog.selectedNameFilter();
    return dialog.selectedFiles().value(0);
}

QStringList FileDialog::getOpenFileNames(QWidget* parent, const QString& caption, const QString& proposedFile,
                                         const QString& filter)
{
    if (!m_answers.empty())
        return nextAnswer(caption, proposedFile, filter);
    const QFileInfo proposed(proposedFile);
    QFileDialog dialog(parent, caption, proposed.absolutePath(), caseInsensitiveFilter(filter));
    dialog.setFileMode(QFileDialog::ExistingFiles);
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    dialog.selectFile(proposed.fileName());
    if (dialog.exec() != QDialog::Accepted)
        return {};
    return dialog.selectedFiles();
}

void FileDialog::setNextFileName(const QString& fileName)
{
    m_answers.push_back(fileName.isEmpty() ? QStringList() : QStringList{fileName});
    m_saveFilters.push_back(QString());
}

void FileDialog::setNextFileNames(const QStringList& fileNames)
{
    m_answers.push_back(fileNames);
    m_saveFilters.push_back(QString());
}

void FileDialog::setNextSaveFileName(const QString& fileName, const QString& filter)
{
    m_answers.push_back(fileName.isEmpty() ? QStringList() : QStringList{fileName});
    m_saveFilters.push_back(filter);
}

void FileDialog::reset()
{
    m_answers.clear();
    m_saveFilters.clear();
    m_calls.clear();
}

namespace {
QHash<QString, QString>& lastFolders()
{
    static QHash<QString, QString> folders;
    return folders;
}
}  // namespace

QString LastFolder(const QString& purpose, const QString& fallback)
{
    return lastFolders().value(purpose, fallback);
}

void RememberFolder(const QString& purpose, const QString& chosenFile)
{
    if (!chosenFile.isEmpty())
        lastFolders().insert(purpose, QFileInfo(chosenFile).absolutePath());
}

QString ProposedFile(const QString& purpose, const QString& fallbackFolder, const QString& fileName)
{
    return QDir(LastFolder(purpose, fallbackFolder)).filePath(fileName);
}

bool TOpenDialog::Execute(QWidget* parent)
{
    const QStringList chosen = Multiple ? fileDialog()->getOpenFileNames(parent, Title, FileName, Filter)
                                        : QStringList{fileDialog()->getOpenFileName(parent, Title, FileName, Filter)};
    if (chosen.value(0).isEmpty())
        return false;
    FileName = chosen.first();
    Files = chosen;
    return true;
}

}  // namespace corvanta
