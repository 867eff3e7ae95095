#include "import/UInput.h"

#include "dialogs/FileDialog.h"
#include "dialogs/UiFonts.h"

#include <QApplication>
#include <QCloseEvent>
#include <QLabel>
#include <QMessageBox>
#include <QProgressBar>
#include <QTimer>
#include <climits>

namespace corvanta {

namespace {

// Hands the run's messages on with the hourglass lifted while a box is up. While holding, the
// plain boxes wait, so that a failure's boxes can be shown as one with its reason and details.
class CursorAroundBoxes : public Messages {
public:
    CursorAroundBoxes(Messages& inner, bool hold) : m_inner(inner), m_hold(hold) {}
    QString superMsg(const QString& caption, const QString& text, const QString& buttons, const QString& options,
                     const QString& icon) override
    {
        Lift lift;
        return m_inner.superMsg(caption, text, buttons, options, icon);
    }
    void systemBox(const QString& caption, const QString& text) override
    {
        if (m_hold) {
            m_held.push_back({caption, text});
            return;
        }
        Lift lift;
        m_inner.systemBox(caption, text);
    }
    void cause(const QString& why) override { m_inner.cause(why); }
    void beep() override { m_inner.beep(); }
    void busy(bool on) override { m_inner.busy(on); }

    // The held boxes: folded into one with the details when there are any, else one by one.
    void release(const QString& reason, const QString& details)
    {
        if (m_held.empty())
            return;
        Lift lift;
        if (details.isEmpty()) {
            for (const auto& [caption, text] : m_held)
                m_inner.systemBox(caption, text);
        } else {
            QStringList texts;
            for (const auto& held : m_held)
                texts << held.second;
            if (!reason.isEmpty() && !texts.join(QLatin1Char('\n')).contains(reason))
                texts << QString() << QStringLiteral("导入失败的原因：") + reason;
            m_inner.systemBoxWithDetails(m_held.front().first, texts.join(QLatin1Char('\n')), details);
        }
        m_held.clear();
    }

private:
    struct Lift {
        Lift() { QApplication::restoreOverrideCursor(); }
        ~Lift() { QApplication::setOverrideCursor(Qt::WaitCursor); }
    };
    Messages& m_inner;
    bool m_hold;
    std::vector<std::pair<QString, QString>> m_held;
};

}  // namespace

TfrmInput::TfrmInput(TDMData& dm, const TOpenDialog& openDialog, QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint), m_dm(dm), m_openDialog(openDialog)
{
    setWindowTitle(QStringLiteral("正在导入数据....."));
    setFont(SongtiFont(12));
    setFixedSize(487, 115);
    Label1 = new QLabel(importtext::windowLabel(), this);
    QFont big = SongtiFont(16);
    Label1->setFont(big);
    Label1->setStyleSheet(QStringLiteral("color: navy"));
    Label1->setGeometry(27, 16, 440, 24);
    ProgressBar1 = new QProgressBar(this);
    ProgressBar1->setGeometry(27, 56, 433, 30);
    ProgressBar1->setRange(0, 100);
    ProgressBar1->setValue(0);
    ProgressBar1->setTextVisible(false);
    Timer1 = new QTimer(this);
    Timer1->setInterval(1);
    Timer1->setSingleShot(false);
    connect(Timer1, &QTimer::timeout, this, &TfrmInput::Timer1Timer);
}

void TfrmInput::showEvent(QShowEvent* event)
{
    QDialog::showEvent(event);
    FormShow();
}

void TfrmInput::FormShow()
{
    Timer1->start();
}

void TfrmInput::Timer1Timer()
{
    Timer1->stop();
    if (m_running)
        return;
    m_running = true;
    QApplication::setOverrideCursor(Qt::WaitCursor);
    Messages& messages = m_messagesOverride ? *m_messagesOverride : static_cast<Messages&>(m_messages);
    const QStringList files = m_openDialog.Files.isEmpty() ? QStringList{m_openDialog.FileName} : m_openDialog.Files;
    const bool several = files.size() > 1;
    const QString title = windowTitle();
    m_runs.clear();
    m_result = ImportResult{};
    bool anyFailed = false;
    for (qsizetype k = 0; k < files.size(); ++k) {
        if (several) {
            setWindowTitle(ImportFileTitle(title, int(k + 1), int(files.size()), files[k]));
            Label1->setText(importtext::windowLabel());
            ProgressBar1->setValue(0);
            repaintNow();
        }
        // The cursor goes while a box is up, so that the user can answer it.
        CursorAroundBoxes boxes(messages, !several);
        m_runs.push_back(RunRecordedImport(m_dm, files[k], boxes, this, several));
        const RecordedImport& run = m_runs.back();
        if (run.result.ok() || run.result.reason.isEmpty()) {
            boxes.release(QString(), QString());
        } else {
            const QString where = run.result.lineNo > 0 ? QStringLiteral("第 %1 行：").arg(run.result.lineNo) : QString();
            boxes.release(where + run.result.reason, ImportDetails(run.result));
        }
        if (!m_runs.back().ok() && !anyFailed) {
            anyFailed = true;
            m_result = m_runs.back().result;
            if (m_result.ok())  // the figures went in, the history row did not
                m_result.status = ImportStatus::DatabaseError;
        }
    }
    QApplication::restoreOverrideCursor();
    m_running = false;
    offerDetails();
    if (several)
        messages.systemBoxWithDetails(ImportSummaryCaption(), ImportSummaryText(m_runs), m_details);
    done(m_result.ok() ? QDialog::Accepted : QDialog::Rejected);
}

// What failed where, for the box's details part: the file, the line number and the line's text.
void TfrmInput::offerDetails()
{
    m_details.clear();
    if (m_result.ok() || m_result.reason.isEmpty())
        return;
    m_details = ImportDetails(m_result);
}

void TfrmInput::closeEvent(QCloseEvent* event)
{
    // The run cannot be interrupted; the window closes itself when it ends.
    if (m_running)
        event->ignore();
    else
        QDialog::closeEvent(event);
}

void TfrmInput::keyPressEvent(QKeyEvent* event)
{
    // No Escape while the run works (or before it starts).
    event->ignore();
}

void TfrmInput::setProgressMax(qint64 max)
{
    m_max = max;
    m_scale = max > INT_MAX ? max / INT_MAX + 1 : 1;
    ProgressBar1->setRange(0, int(max / m_scale));
    ProgressBar1->setValue(0);
    repaintNow();
}

void TfrmInput::setProgress(qint64 position)
{
    m_position = position;
    ProgressBar1->setValue(int(position / m_scale));
    // Repaint now and then, so the bar moves while the user-interface thread works.
    if (!m_sinceRepaint.isValid() || m_sinceRepaint.elapsed() >= 50 || position == m_max)
        repaintNow();
}

void TfrmInput::setLabel(const QString& text)
{
    if (m_waiting) {
        m_waiting = false;
        Label1->setFont(SongtiFont(16));
        Label1->setWordWrap(false);
        Label1->setGeometry(27, 16, 440, 24);
        ProgressBar1->setRange(0, int(m_max / m_scale));
        ProgressBar1->setValue(int(m_position / m_scale));
    }
    Label1->setText(text);
    repaintNow();
}

void TfrmInput::setWaiting(const QString& text)
{
    m_waiting = true;
    m_waitingText = text;
    ProgressBar1->setRange(0, 0);  // moves without a position: nothing is done yet
    // A longer text than the run's own: two lines in a smaller type above the bar.
    Label1->setFont(SongtiFont(12));
    Label1->setWordWrap(true);
    Label1->setGeometry(27, 4, 440, 48);
    Label1->setText(text);
    repaintNow();
}

void TfrmInput::waited()
{
    repaintNow();
}

void TfrmInput::repaintNow()
{
    m_sinceRepaint.restart();
    QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
}

void ShowImport(TDMData& dm, const TOpenDialog& openDialog, QWidget* parent)
{
    TfrmInput window(dm, openDialog, parent);
    window.exec();
}

}  // namespace corvanta
