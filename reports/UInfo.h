#pragma once
// The lookup picker "基本信息": a list of outlets or products from which a report window fills
// its name filter. The caller sets Mode, shows it modally, then reads PickedRow and the grid.
#include "dialogs/G_Blank.h"

#include <functional>

class QLineEdit;
class QToolButton;

namespace corvanta {

class TDMData;
class TSupGrids;

class TfrmInfo : public TfmBlank {
    Q_OBJECT
public:
    explicit TfrmInfo(TDMData& dm, QWidget* parent = nullptr);
    ~TfrmInfo() override;

    TSupGrids* Main_Grid;
    QToolButton* SpeedButton1;  // "选择"
    QToolButton* SpeedButton8;  // "退回"

    QString Mode;       // "N", "P" or "SP", set before showing
    int PickedRow = -1; // the chosen grid row, -1 when nothing was chosen

    void LoadList();
    void Main_GridDblClick();
    void SpeedButton1Click();
    void SpeedButton8Click();
    void Main_GridKeyPress(QChar& key);

protected:
    void FormShow() override;
    bool FormKeyPress(QKeyEvent* event) override;

private:
    void pick();

    TDMData& m_dm;
};

// One pick: creates the picker with mode, shows it modally and, when a row was chosen, puts the
// text of its column 2 into edit. onOpen (tests) sees the picker before it is shown.
bool PickInto(TDMData& dm, QWidget* parent, const QString& mode, QLineEdit* edit,
              const std::function<void(TfrmInfo&)>& onOpen = {});

}  // namespace corvanta
