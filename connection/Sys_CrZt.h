#pragma once
// Account-set creation dialog: the administrator names a new account set and its database.
#include "dialogs/G_Blank.h"
#include "dialogs/GuiMessages.h"

class QLineEdit;
class QPushButton;

namespace corvanta {

class TDMData;

class TfrmCreateZt : public TfmBlank {
    Q_OBJECT
public:
    TfrmCreateZt(TDMData& dm, QWidget* parent = nullptr);

    QLineEdit* UserName_Edit;
    QLineEdit* Pass_Edit;
    QLineEdit* ztname_Edit;
    QLineEdit* dbname_edit;
    QPushButton* BitBtn1;  // "确  定"
    QPushButton* BitBtn2;  // "取  消"

    void BitBtn1Click();

protected:
    void FormShow() override;
    bool FormKeyPress(QKeyEvent* event) override;

private:
    TDMData& m_dm;
    GuiMessages m_messages;
};

// Creates the dialog, shows it modally and frees it.
void ShowCreateZt(TDMData& dm, QWidget* parent = nullptr);

}  // namespace corvanta
