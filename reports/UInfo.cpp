#include "reports/UInfo.h"

#include "dialogs/GuiMessages.h"
#include "grid/New_grid.h"
#include "grid/Panels.h"
#include "reports/ReportLogic.h"
#include "reports/ReportWidgets.h"

#include <QApplication>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLineEdit>
#include <QToolButton>
#include <exception>

namespace corvanta {

TfrmInfo::TfrmInfo(TDMData& dm, QWidget* parent) : TfmBlank(parent), m_dm(dm)
{
    setWindowTitle(QStringLiteral("基本信息"));
    setFixedSize(544, 375);

    QWidget* area = ReportGridArea(this, QRect(0, 0, 544, 335));
    Main_Grid = ReportGrid(area, {{QStringLiteral("序号"), 30, QString()},
                                  {QStringLiteral("商品编码"), 58, QString()},
                                  {QStringLiteral("商品名称"), 413, QString()}});

    TSuperPanel* bar = ReportPanel(this, QRect(0, 335, 544, 40), true);
    auto* layout = new QHBoxLayout(bar);
    layout->setContentsMargins(4, 1, 8, 1);
    layout->addStretch(1);
    SpeedButton1 = ReportToolButton(bar, QStringLiteral("选择"), QStyle::SP_DialogApplyButton);
    SpeedButton8 = ReportToolButton(bar, QStringLiteral("退回"), QStyle::SP_DialogCancelButton);
    layout->addWidget(SpeedButton1);
    layout->addWidget(SpeedButton8);

    connect(SpeedButton1, &QToolButton::clicked, this, &TfrmInfo::SpeedButton1Click);
    connect(SpeedButton8, &QToolButton::clicked, this, &TfrmInfo::SpeedButton8Click);
    connect(Main_Grid, &TSupGrids::OnDblClick, this, &TfrmInfo::Main_GridDblClick);
    connect(Main_Grid, &TSupGrids::OnKeyPress, this, &TfrmInfo::Main_GridKeyPress);
}

TfrmInfo::~TfrmInfo() = default;

void TfrmInfo::FormShow()
{
    TfmBlank::FormShow();
    move(146, 102);
    Main_Grid->setFocus();
    try {
        LoadList();
    } catch (const std::exception& e) {
        // Ends the pick with nothing chosen; the error goes to the general report.
        PickedRow = -1;
        ShowErrorReport(QString::fromUtf8(e.what()));
        QMetaObject::invokeMethod(this, &QDialog::reject, Qt::QueuedConnection);
        return;
    }
    PickedRow = -1;
}

void TfrmInfo::LoadList()
{
    const std::optional<PickerMode> m = PickerModeFor(Mode);
    // A database error ends the pick as well: the caller changes nothing.
    CellStore list = LoadPickerList(m_dm, Mode);
    Main_Grid->setCell(1, 0, m->heading1);
    Main_Grid->setCell(2, 0, m->heading2);
    FillReportGrid(*Main_Grid, std::move(list));
}

void TfrmInfo::pick()
{
    PickedRow = Main_Grid->row();
    accept();
}

void TfrmInfo::Main_GridDblClick()
{
    pick();
}

void TfrmInfo::SpeedButton1Click()
{
    pick();
}

void TfrmInfo::SpeedButton8Click()
{
    reject();
}

void TfrmInfo::Main_GridKeyPress(QChar& key)
{
    if (key == QChar(13)) {
        key = QChar(0);
        pick();
    }
}

bool TfrmInfo::FormKeyPress(QKeyEvent* event)
{
    // Enter on the grid picks; the grid's own handler sees it.
    if (QApplication::focusWidget() == Main_Grid)
        return false;
    return TfmBlank::FormKeyPress(event);
}

bool PickInto(TDMData& dm, QWidget* parent, const QString& mode, QLineEdit* edit,
              const std::function<void(TfrmInfo&)>& onOpen)
{
    TfrmInfo picker(dm, parent);
    picker.Mode = mode;
    if (onOpen)
        onOpen(picker);
    picker.exec();
    if (picker.PickedRow == -1)
        return false;
    edit->setText(picker.Main_Grid->cell(2, picker.PickedRow));
    return true;
}

}  // namespace corvanta
