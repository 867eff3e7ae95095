#pragma once
// Account-set deletion dialog: the administrator confirms the deletion of one account set.
#include "dialogs/G_Blank.h"
#include "dialogs/GuiMessages.h"

class QLineEdit;
class QPushButton;

namespace corvanta {

class TDMData;

class TfrmDelzt : public TfmBlank {
    Q_OBJECT
public:
    TfrmDelzt(TDMData& dm, int ztid, QWidget* parent = nullptr);

    QLineEdit* UserName_Edit;
    QLineEdit* Pass_Edit;
    QPushButton* BitBtn1;  // "确  定"
    QPushButton* BitBtn2;  // "取  消"

    void BitBtn1Click();
    int ztid() const { return m_ztid; }

protected:
    void FormShow() override;
    bool FormKeyPress(QKeyEvent* event) override;

private:
    TDMData& m_dm;
    int m_ztid;
    GuiMessages m_messages;
};

// Creates the dialog for the account set with this catalogue id, shows it modally and frees it.
void ShowDelZt(TDMData& dm, int ztid, QWidget* parent = nullptr);

}  // namespace corvanta
