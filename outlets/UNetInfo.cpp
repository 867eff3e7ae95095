#include "outlets/UNetInfo.h"

#include "dialogs/EnterKey.h"
#include "dialogs/FocusHighlight.h"
#include "grid/New_grid.h"
#include "grid/Panels.h"
#include "outlets/GbkLengthLimit.h"

#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

namespace corvanta {

namespace {

const QColor kTeal(0, 128, 128);

QFrame* colouredStrip(QWidget* parent, const QColor& colour, const QRect& geometry)
{
    auto* strip = new QFrame(parent);
    strip->setAutoFillBackground(true);
    QPalette pal = strip->palette();
    pal.setColor(QPalette::Window, colour);
    strip->setPalette(pal);
    strip->setGeometry(geometry);
    return strip;
}

}  // namespace

Tinfobform::Tinfobform(TDMData& dm, const QString& mode, const TSupGrids* grid, int row, QWidget* parent)
    : TfmBlank(parent), m_dm(dm), m_mode(mode), m_grid(grid), m_row(row)
{
    setWindowTitle(QStringLiteral("【基本信息--销售网点】"));
    setWindowFlags(Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint);
    setFixedSize(488, 228);

    Panel1 = new TSuperPanel(this);
    Panel1->setGeometry(8, 8, 472, 164);
    Panel1->setBorderWidth(2);

    // Name and number, the address across, type and fax, contact person and telephone.
    const int left = 14, right = 246, half = 212, full = 444;
    edtFullName = addField(QStringLiteral("网点名称"), left, 16, half, kOutletNameBytes);
    edtCode = addField(QStringLiteral("网点编号"), right, 16, half, kOutletIdBytes);
    edtAddr = addField(QStringLiteral("联系地址"), left, 52, full, kOutletAddressBytes);
    Edit1 = addField(QStringLiteral("网点类型"), left, 88, half, kOutletShortFieldBytes);
    edtArapLIMIT = addField(QStringLiteral("传   真"), right, 88, half, kOutletShortFieldBytes);
    edtBirthDay = addField(QStringLiteral("联系人"), left, 124, half, kOutletShortFieldBytes);
    edtPerson = addField(QStringLiteral("电   话"), right, 124, half, kOutletShortFieldBytes);

    Label8 = new QLabel(QStringLiteral("销售网点基本信息"), this);
    Label8->setGeometry(16, 192, 180, 18);
    Label8->setEnabled(false);

    Ok_Button = new QPushButton(QStringLiteral("确定&O"), this);
    Ok_Button->setGeometry(296, 188, 82, 26);
    Can_Button = new QPushButton(QStringLiteral("取消&C"), this);
    Can_Button->setGeometry(390, 188, 82, 26);
    // Enter belongs to the form (it moves on); no button is pressed by Enter in an edit.
    Ok_Button->setAutoDefault(false);
    Can_Button->setAutoDefault(false);

    QWidget* order[] = {edtFullName, edtCode, edtAddr, Edit1, edtArapLIMIT, edtBirthDay, edtPerson, Ok_Button,
                        Can_Button};
    for (size_t i = 1; i < std::size(order); ++i)
        setTabOrder(order[i - 1], order[i]);

    connect(Ok_Button, &QPushButton::clicked, this, &Tinfobform::Ok_ButtonClick);
    connect(Can_Button, &QPushButton::clicked, this, &Tinfobform::Can_ButtonClick);
}

QLineEdit* Tinfobform::addField(const QString& label, int x, int y, int stripWidth, int maxBytes)
{
    colouredStrip(Panel1, Qt::black, QRect(x + 3, y + 3, stripWidth, 26));
    QFrame* strip = colouredStrip(Panel1, kTeal, QRect(x, y, stripWidth, 26));
    auto* caption = new QLabel(label, strip);
    caption->setGeometry(6, 4, 62, 18);
    QPalette captionPal = caption->palette();
    captionPal.setColor(QPalette::WindowText, Qt::white);
    caption->setPalette(captionPal);
    auto* edit = new QLineEdit(strip);
    edit->setGeometry(70, 3, stripWidth - 74, 20);
    // White while not focused, whatever the style's default base colour.
    QPalette editPal = edit->palette();
    editPal.setColor(QPalette::Base, Qt::white);
    editPal.setColor(QPalette::Text, Qt::black);
    edit->setPalette(editPal);
    InstallFocusHighlight(edit);
    SetGbkMaxLength(edit, maxBytes);
    caption->setBuddy(edit);
    return edit;
}

void Tinfobform::FormShow()
{
    TfmBlank::FormShow();
    if (m_mode == QLatin1String("M")) {
        if (m_grid) {
            SetTextUnlimited(edtCode, m_grid->cell(1, m_row));
            SetTextUnlimited(edtFullName, m_grid->cell(2, m_row));
            SetTextUnlimited(Edit1, m_grid->cell(3, m_row));
            SetTextUnlimited(edtPerson, m_grid->cell(4, m_row));
            SetTextUnlimited(edtArapLIMIT, m_grid->cell(5, m_row));
            SetTextUnlimited(edtBirthDay, m_grid->cell(6, m_row));
            SetTextUnlimited(edtAddr, m_grid->cell(7, m_row));
        }
        // The number is the outlet's key: an existing outlet keeps it.
        edtCode->setReadOnly(true);
    }
    edtFullName->setFocus();
}

bool Tinfobform::FormKeyPress(QKeyEvent* event)
{
    if (event->key() == Qt::Key_Escape) {
        EscQuestion();
        return true;
    }
    return PressFocusedButtonOnEnter(event) || TfmBlank::FormKeyPress(event);
}

void Tinfobform::keyPressEvent(QKeyEvent* event)
{
    if (event->key() == Qt::Key_Escape) {
        EscQuestion();
        return;
    }
    TfmBlank::keyPressEvent(event);
}

OutletRecord Tinfobform::Entries() const
{
    OutletRecord o;
    o.id = edtCode->text();
    o.name = edtFullName->text();
    o.type = Edit1->text();
    o.telephone = edtPerson->text();
    o.fax = edtArapLIMIT->text();
    o.address = edtAddr->text();
    o.linkman = edtBirthDay->text();
    return o;
}

bool Tinfobform::Save()
{
    const OutletMode mode = m_mode == QLatin1String("M") ? OutletMode::Modify : OutletMode::Add;
    const OutletSaveResult r = SaveOutlet(m_dm, m_messages, mode, Entries());
    if (r.focus == OutletFocus::Name)
        edtFullName->setFocus();
    else if (r.focus == OutletFocus::Code)
        edtCode->setFocus();
    return r.saved;
}

void Tinfobform::Ok_ButtonClick()
{
    if (Save())
        accept();
}

void Tinfobform::Can_ButtonClick()
{
    reject();
}

void Tinfobform::EscQuestion()
{
    const QString answer = m_messages.superMsg(
        QStringLiteral("是否保存才编辑的基本信息？"),
        QStringLiteral("是：保存基本信息，继续录入。\r否：不保存基本信息，并退出。"), QStringLiteral("myyesno"), QString(),
        QStringLiteral("Question"));
    if (answer == QLatin1String("myok")) {
        if (Save())
            accept();
        return;
    }
    reject();
}

}  // namespace corvanta
