#include "connection/Sys_login.h"

#include "base/Config.h"
#include "connection/Sys_CrZt.h"
#include "connection/Sys_DelZt.h"
#include "connection/UDMData.h"
#include "dialogs/FocusHighlight.h"
#include "dialogs/UiFonts.h"
#include "grid/New_grid.h"
#include "base/TextHelpers.h"

#include <QApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QPushButton>
#include <QScreen>

namespace corvanta {

namespace {

// The picture beside the server field: a small server cabinet.
QPixmap serverPicture()
{
    QPixmap pm(32, 32);
    pm.fill(Qt::transparent);
    QPainter p(&pm);
    p.setRenderHint(QPainter::Antialiasing);
    p.setBrush(QColor(70, 90, 130));
    p.setPen(QColor(30, 40, 60));
    p.drawRoundedRect(7, 2, 18, 28, 2, 2);
    p.setBrush(QColor(160, 200, 240));
    for (int y : {6, 13, 20})
        p.drawRect(10, y, 12, 4);
    p.setBrush(QColor(60, 220, 90));
    p.drawEllipse(QPointF(20.5, 27), 1.5, 1.5);
    return pm;
}

}  // namespace

TLoginServerFm::TLoginServerFm(TDMData& dm, QWidget* parent) : QDialog(parent), m_dm(dm)
{
    setWindowTitle(QStringLiteral("登录服务器"));
    setFont(SongtiFont(12));
    const int width = 360;

    auto* picture = new QLabel(this);
    picture->setPixmap(serverPicture());
    picture->setGeometry(10, 12, 32, 32);
    auto* serverLabel = new QLabel(QStringLiteral("服务器"), this);
    serverLabel->setGeometry(48, 19, 44, 18);
    ServerName_Edit = new QLineEdit(this);
    ServerName_Edit->setMaxLength(80);
    ServerName_Edit->setGeometry(94, 16, 120, 22);
    InstallFocusHighlight(ServerName_Edit);
    BitBtn1 = new QPushButton(QStringLiteral("确认"), this);
    BitBtn1->setGeometry(222, 15, 60, 25);
    BitBtn2 = new QPushButton(QStringLiteral("放弃"), this);
    BitBtn2->setGeometry(288, 15, 60, 25);

    Label2 = new QLabel(QStringLiteral("登录成功，请选择帐套："), this);
    Label2->setGeometry(10, 70, 300, 18);
    Grid1 = new TSupGrids(this);
    Grid1->setGeometry(10, 90, 340, 134);
    Grid1->setColCount(3);
    Grid1->setRowCount(7);
    Grid1->setFixedRows(1);
    Grid1->setFixedCols(1);
    Grid1->setDefaultRowHeight(18);
    Grid1->setColWidth(0, 30);
    Grid1->setColWidth(1, 140);
    Grid1->setColWidth(2, 161);
    Grid1->setOptions(GridOption::RowSelect | GridOption::ColSizing);
    Grid1->setCell(0, 0, QStringLiteral("编号"));
    Grid1->setCell(1, 0, QStringLiteral("帐套名称"));
    Grid1->setCell(2, 0, QStringLiteral("数据库名称"));
    Grid1->installEventFilter(this);

    SelZtBtn = new QPushButton(QStringLiteral("选择帐套"), this);
    BitBtn3 = new QPushButton(QStringLiteral("创建帐套"), this);
    BitBtn4 = new QPushButton(QStringLiteral("删除帐套"), this);
    SelZtBtn->setGeometry(40, 234, 80, 25);
    BitBtn3->setGeometry(140, 234, 80, 25);
    BitBtn4->setGeometry(240, 234, 80, 25);

    // Collapsed: only the server row shows until a connection is made.
    setFixedSize(width, kServerFrameHeight + 2 * (kServerFrameHeight / 3) - kCaptionAllowance);

    // Enter is dispatched by keyPressEvent: no button answers it as the dialog's default as well.
    for (QPushButton* b : {BitBtn1, BitBtn2, SelZtBtn, BitBtn3, BitBtn4})
        b->setAutoDefault(false);
    connect(BitBtn1, &QPushButton::clicked, this, &TLoginServerFm::BitBtn1Click);
    connect(ServerName_Edit, &QLineEdit::returnPressed, this, &TLoginServerFm::BitBtn1Click);
    connect(BitBtn2, &QPushButton::clicked, this, &TLoginServerFm::BitBtn2Click);
    connect(SelZtBtn, &QPushButton::clicked, this, &TLoginServerFm::SelZtBtnClick);
    connect(BitBtn3, &QPushButton::clicked, this, &TLoginServerFm::BitBtn3Click);
    connect(BitBtn4, &QPushButton::clicked, this, &TLoginServerFm::BitBtn4Click);
    connect(Grid1, &TSupGrids::OnDblClick, this, &TLoginServerFm::SelZtBtnClick);
}

void TLoginServerFm::showEvent(QShowEvent* event)
{
    QDialog::showEvent(event);
    m_result = -2;
    if (QScreen* screen = this->screen()) {
        const QRect s = screen->geometry();
        move(s.width() / 2 - width() / 2, qMax(0, s.height() / 3 - OuterHeight()));
    }
    ServerName_Edit->setFocus();
}

void TLoginServerFm::keyPressEvent(QKeyEvent* event)
{
    if (event->key() == Qt::Key_Escape) {
        BitBtn2Click();
        return;
    }
    if ((event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter)) {
        if (auto* button = qobject_cast<QPushButton*>(focusWidget())) {
            button->click();
            return;
        }
        // The server field's returnPressed has already connected: no default button as well.
        if (focusWidget() == ServerName_Edit) {
            event->accept();
            return;
        }
    }
    QDialog::keyPressEvent(event);
}

bool TLoginServerFm::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == Grid1 && event->type() == QEvent::KeyPress) {
        auto* key = static_cast<QKeyEvent*>(event);
        if (key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter) {
            SelZtBtnClick();
            return true;
        }
    }
    return QDialog::eventFilter(watched, event);
}

void TLoginServerFm::BitBtn1Click()
{
    if (!BitBtn1->isEnabled())
        return;
    if (!ConnectServer(m_dm, ServerName_Edit->text(), m_messages))
        return;
    if (!LoadAccountSets()) {
        m_result = -2;
        reject();
        return;
    }
    // Enlarged to uncover the grid and the three buttons below it.
    if (OuterHeight() < 200)
        setFixedSize(width(), BitBtn4->y() + BitBtn4->height() * 2 + BitBtn4->height() / 2);
    Grid1->setFocus();
    BitBtn1->setEnabled(false);
}

bool TLoginServerFm::LoadAccountSets()
{
    auto rows = corvanta::LoadAccountSets(m_dm, m_messages);
    if (!rows)
        return false;
    const int n = int(rows->size());
    Grid1->setRowCount(AccountSetGridRows(n));
    Grid2.clear();
    Grid2 << QString();
    for (const auto& r : *rows) {
        Grid1->setCell(0, r.seq, QString::number(r.seq));
        Grid1->setCell(1, r.seq, r.name);
        Grid1->setCell(2, r.seq, r.dbName);
        Grid2 << QString::number(r.sysId);
    }
    // No stale row may survive a deletion.
    for (int row = n + 1; row < Grid1->rowCount(); ++row) {
        for (int c = 0; c < 3; ++c)
            Grid1->setCell(c, row, QString());
        Grid2 << QString();
    }
    if (Grid1->row() < 1 || Grid1->row() >= Grid1->rowCount())
        Grid1->setCurrentCell(1, 1);
    return true;
}

bool TLoginServerFm::currentRowIsEmpty() const
{
    const int row = Grid1->row();
    return row < 1 || IsBlank(Grid1->cell(0, row));
}

void TLoginServerFm::SelZtBtnClick()
{
    if (currentRowIsEmpty())
        return;
    try {
        ChooseAccountSet(m_dm, Grid1->cell(2, Grid1->row()));
    } catch (const std::exception& e) {
        ShowErrorReport(QString::fromStdString(e.what()));
        return;
    }
    m_result = 0;
    accept();
}

void TLoginServerFm::BitBtn2Click()
{
    m_result = -2;
    reject();
}

void TLoginServerFm::BitBtn3Click()
{
    ShowCreateZt(m_dm, this);
    if (!LoadAccountSets()) {
        m_result = -2;
        reject();
    }
}

void TLoginServerFm::BitBtn4Click()
{
    if (currentRowIsEmpty())
        return;
    const int row = Grid1->row();
    int id = 0;
    try {
        id = LeadingInteger(row < Grid2.size() ? Grid2[row] : QString());
    } catch (const std::exception& e) {
        ShowErrorReport(QString::fromStdString(e.what()));
        return;
    }
    ShowDelZt(m_dm, id, this);
    if (!LoadAccountSets()) {
        m_result = -2;
        reject();
    }
}

int RunServerLogin(TDMData& dm, QWidget* parent)
{
    TLoginServerFm dialog(dm, parent);
    dialog.ServerName_Edit->setText(Config::Server());
    dialog.exec();
    return dialog.LoginResult();
}

}  // namespace corvanta
