#pragma once
// The login dialog: connects to a server, lists its account sets and lets the user choose,
// create or delete one.
#include "connection/LoginLogic.h"
#include "dialogs/GuiMessages.h"

#include <QDialog>
#include <QStringList>

class QLabel;
class QLineEdit;
class QPushButton;

namespace corvanta {

class TDMData;
class TSupGrids;

class TLoginServerFm : public QDialog {
    Q_OBJECT
public:
    TLoginServerFm(TDMData& dm, QWidget* parent = nullptr);

    QLineEdit* ServerName_Edit;
    QPushButton* BitBtn1;  // "确认"
    QPushButton* BitBtn2;  // "放弃"
    QLabel* Label2;        // "登录成功，请选择帐套："
    TSupGrids* Grid1;
    QStringList Grid2;     // catalogue id of each Grid1 row (index = row)
    QPushButton* SelZtBtn; // "选择帐套"
    QPushButton* BitBtn3;  // "创建帐套"
    QPushButton* BitBtn4;  // "删除帐套"

    // -2 until an account set is chosen, then 0.
    int LoginResult() const { return m_result; }

    void BitBtn1Click();
    void BitBtn2Click();
    void SelZtBtnClick();
    void BitBtn3Click();
    void BitBtn4Click();
    // Fills the grid from the catalogue; false (the program must end) when it cannot.
    bool LoadAccountSets();

    static constexpr int kServerFrameHeight = 55;
    // The sizes are outer heights; the caption bar and frame take this much of them.
    static constexpr int kCaptionAllowance = 26;
    // Outer height now (client height + caption allowance).
    int OuterHeight() const { return height() + kCaptionAllowance; }

protected:
    void showEvent(QShowEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    bool currentRowIsEmpty() const;

    TDMData& m_dm;
    GuiMessages m_messages;
    int m_result = -2;
};

// Shows the login dialog over the main window; 0 when an account set was chosen (the connection
// is then in it), -2 when the user abandoned.
int RunServerLogin(TDMData& dm, QWidget* parent = nullptr);

}  // namespace corvanta
