#pragma once
// Base window of the program's modal windows: centres itself when shown, sees keys before its
// controls do, and turns Enter into a move to the next control.
#include <QDialog>

class QKeyEvent;

namespace corvanta {

class TfmBlank : public QDialog {
    Q_OBJECT
public:
    explicit TfmBlank(QWidget* parent = nullptr);
    ~TfmBlank() override;

protected:
    // Sees every key press meant for this window or one of its controls before they do; true
    // swallows the key. The base swallows Enter and moves the focus to the next control.
    // Windows that handle keys themselves override it and call the base for the rest.
    virtual bool FormKeyPress(QKeyEvent* event);

    // Centres the window on the screen; windows that add to the show behaviour call it first.
    virtual void FormShow();

    void showEvent(QShowEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;
};

}  // namespace corvanta
