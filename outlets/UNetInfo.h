#pragma once
// The outlet editor: one sales outlet entered (mode "A") or changed (mode "M").
#include "dialogs/G_Blank.h"
#include "dialogs/GuiMessages.h"
#include "outlets/OutletLogic.h"

class QLabel;
class QLineEdit;
class QPushButton;

namespace corvanta {

class TDMData;
class TSupGrids;
class TSuperPanel;

class Tinfobform : public TfmBlank {
    Q_OBJECT
public:
    // mode "A" adds, "M" changes the outlet in row `row` of the list's grid.
    Tinfobform(TDMData& dm, const QString& mode, const TSupGrids* grid = nullptr, int row = 0,
               QWidget* parent = nullptr);

    TSuperPanel* Panel1;
    QLineEdit* edtFullName;   // 网点名称
    QLineEdit* edtCode;       // 网点编号
    QLineEdit* edtAddr;       // 联系地址
    QLineEdit* Edit1;         // 网点类型
    QLineEdit* edtArapLIMIT;  // 传真
    QLineEdit* edtBirthDay;   // 联系人
    QLineEdit* edtPerson;     // 电话
    QLabel* Label8;           // "销售网点基本信息", greyed
    QPushButton* Ok_Button;
    QPushButton* Can_Button;

    const QString& Mode() const { return m_mode; }
    // The entries as an outlet record.
    OutletRecord Entries() const;

    void Ok_ButtonClick();
    void Can_ButtonClick();
    // True when saved; on failure the message has been shown and the focus placed.
    bool Save();

protected:
    void FormShow() override;
    bool FormKeyPress(QKeyEvent* event) override;
    // An Esc that reaches the dialog itself asks as well, instead of the dialog's silent close.
    void keyPressEvent(QKeyEvent* event) override;

private:
    QLineEdit* addField(const QString& label, int x, int y, int stripWidth, int maxBytes);
    void EscQuestion();

    TDMData& m_dm;
    QString m_mode;
    const TSupGrids* m_grid;
    int m_row;
    GuiMessages m_messages;
};

}  // namespace corvanta
