#pragma once
// The import window: shows itself, then imports the files chosen in the main window's file dialog
// one after the other, each its own run written to the import history, with a progress bar, and
// closes after every outcome. One file reports as it always has; several are imported quietly, a
// failed one does not stop the rest, and one summary lists them all at the end.
#include "dialogs/GuiMessages.h"
#include "import/ImportHistory.h"
#include "import/ImportRun.h"

#include <vector>

#include <QDialog>
#include <QElapsedTimer>

class QLabel;
class QProgressBar;
class QTimer;

namespace corvanta {

class TDMData;
class TOpenDialog;

class TfrmInput : public QDialog, private ImportObserver {
    Q_OBJECT
public:
    TfrmInput(TDMData& dm, const TOpenDialog& openDialog, QWidget* parent = nullptr);

    QLabel* Label1;
    QProgressBar* ProgressBar1;
    QTimer* Timer1;

    // The outcome of the run (after the window has closed): the first failed file's, else success.
    const ImportResult& Result() const { return m_result; }
    // Every file's run, in order.
    const std::vector<RecordedImport>& Runs() const { return m_runs; }
    // Progress in file lines (the bar itself may be scaled for very long files).
    qint64 ProgressPosition() const { return m_position; }
    qint64 ProgressMax() const { return m_max; }
    // The details offered after the messages of a failed run (empty when none were).
    const QString& DetailsText() const { return m_details; }
    // What the window said while it waited for another import (empty when it never waited).
    const QString& WaitingText() const { return m_waitingText; }

    void FormShow();
    void Timer1Timer();

protected:
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void setMessagesForTesting(Messages* messages) { m_messagesOverride = messages; }

private:
    void setProgressMax(qint64 max) override;
    void setProgress(qint64 position) override;
    void setLabel(const QString& text) override;
    // While the run waits for another import: the text, a busy bar and a window that repaints.
    void setWaiting(const QString& text) override;
    void waited() override;
    void repaintNow();
    void offerDetails();

    TDMData& m_dm;
    const TOpenDialog& m_openDialog;
    GuiMessages m_messages;
    Messages* m_messagesOverride = nullptr;
    ImportResult m_result;
    std::vector<RecordedImport> m_runs;
    bool m_running = false;
    qint64 m_max = 0;
    qint64 m_position = 0;
    qint64 m_scale = 1;
    QElapsedTimer m_sinceRepaint;
    QString m_details;
    bool m_waiting = false;
    QString m_waitingText;
};

// Opens the import window for the file chosen in openDialog, modally, and frees it.
void ShowImport(TDMData& dm, const TOpenDialog& openDialog, QWidget* parent = nullptr);

}  // namespace corvanta
