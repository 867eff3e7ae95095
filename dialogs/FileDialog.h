#pragma once
// The file-open dialog, behind a seam so that tests can answer it without a window.
#include <QString>
#include <QStringList>
#include <deque>
#include <vector>

class QWidget;

namespace corvanta {

class FileDialog {
public:
    static FileDialog* instance();

    // The chosen existing file, or "" when the user cancelled. filter is in Qt's form,
    // e.g. "Text files (*.txt)"; file name patterns match without regard to letter case.
    QString getOpenFileName(QWidget* parent, const QString& caption, const QString& proposedFile,
                            const QString& filter);
    // The same with a multiple selection: the chosen files in the dialog's order, none on Cancel.
    QStringList getOpenFileNames(QWidget* parent, const QString& caption, const QString& proposedFile,
                                 const QString& filter);

    // The file to save to, or "" on cancel. filters are Qt filters; *selectedFilter receives the
    // one chosen (it decides the format).
    QString getSaveFileName(QWidget* parent, const QString& caption, const QString& proposedFile,
                            const QStringList& filters, QString* selectedFilter);

    // Test seam: queued answers are returned in order instead of showing the dialog;
    // an empty answer stands for Cancel.
    void setNextFileName(const QString& fileName);
    void setNextFileNames(const QStringList& fileNames);
    void setNextCancel() { setNextFileName(QString()); }
    // A queued save answer with the filter chosen (else the first filter).
    void setNextSaveFileName(const QString& fileName, const QString& filter);
    bool armed() const { return !m_answers.empty(); }

    struct Call {
        QString caption;
        QString proposedFile;
        QString filter;
    };
    // Every call made while answers were queued.
    const std::vector<Call>& calls() const { return m_calls; }
    void reset();

private:
    // The next queued answer (and its save filter), recorded as a call.
    QStringList nextAnswer(const QString& caption, const QString& proposedFile, const QString& filter,
                           QString* saveFilter = nullptr);
    std::deque<QStringList> m_answers;
    std::deque<QString> m_saveFilters;  // in step with m_answers
    std::vector<Call> m_calls;
};

inline FileDialog* fileDialog()
{
    return FileDialog::instance();
}

// The folder of the file last chosen for a purpose ("import", "export", "chart") in this run of
// the program, or fallback before the first choice; a file dialog for that purpose starts there.
QString LastFolder(const QString& purpose, const QString& fallback);
void RememberFolder(const QString& purpose, const QString& chosenFile);
// fileName in the purpose's last folder (fallback folder before the first choice).
QString ProposedFile(const QString& purpose, const QString& fallbackFolder, const QString& fileName);

// A file-open dialog object that keeps its settings and the chosen file name between uses, so
// that a window it belongs to can hand the choice on.
class TOpenDialog {
public:
    QString Title;
    QString Filter;
    QString FileName;  // proposed before Execute, the chosen file after a confirmed Execute
    bool Multiple = false;  // allow a multiple selection
    QStringList Files;      // every chosen file after a confirmed Execute (FileName is the first)

    // Shows the dialog; true and FileName set when a file was chosen, false on cancel.
    bool Execute(QWidget* parent = nullptr);
};

}  // namespace corvanta
