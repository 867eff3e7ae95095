#pragma once
// The dialog "表格列改变窗口" of RunColConfig mode 1.
#include "grid/cw_r_ColConfig.h"

#include <QDialog>
#include <QLabel>

class QPushButton;
class QTabWidget;
class QToolButton;

namespace corvanta {

class TCWBackPanel;

class TColConfigForm : public QDialog {
    Q_OBJECT
public:
    // What the dialog works on; lives for one RunColConfig.
    struct Run {
        TDMData& dm;
        TSupGrids& display;
        TSupGrids& source;
        std::vector<int> systemCols;
        ColMap map{};
        QString gridId;
        int mode = 0;
        bool result = false;
    };

    explicit TColConfigForm(Run& run, QWidget* parent = nullptr);

    // Layout (before each showing) and the records into GridMain / GridTemp.
    void FormLayout();
    void LoadColConfig();

    TCWBackPanel* BackPanel;
    QTabWidget* PageControl1;
    TSupGrids* GridMain;
    TSupGrids* GridTemp;
    QToolButton* sbRevert;
    QToolButton* sbAllName;
    QToolButton* sbAllVisible;
    QToolButton* sbUp;
    QToolButton* sbDown;
    QPushButton* bbSave;
    QPushButton* bbExit;
    QLabel* Legend;  // what √ and ☆ mean

    void sbRevertClick();
    void sbAllNameClick();
    void sbAllVisibleClick();
    void sbUpClick();
    void sbDownClick();
    void bbSaveClick();
    // Double click or space in column 3.
    void ToggleMark();

protected:
    void keyPressEvent(QKeyEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    Run& m_run;
};

}  // namespace corvanta
