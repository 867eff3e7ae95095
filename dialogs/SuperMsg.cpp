#include "dialogs/SuperMsg.h"

#include "dialogs/UiFonts.h"
#include "base/Gbk.h"

#include <QApplication>
#include <QFontMetrics>
#include <QKeyEvent>
#include <QLabel>
#include <QPainter>
#include <QPainterPath>
#include <QPushButton>
#include <QScreen>
#include <algorithm>
#include <cmath>
#include <deque>

namespace corvanta {

namespace {

const QString kYes = QStringLiteral("是");
const QString kOk = QStringLiteral("确定");
const QString kNo = QStringLiteral("否");
const QString kCancel = QStringLiteral("取消");
const QString kIgnore = QStringLiteral("忽略");

// The dialog's layout is given as outer size; a Windows dialog frame with its caption bar takes
// about this much of the height, so the client area is made that much lower.
constexpr int kCaptionAllowance = 26;

int nearest(double x)
{
    return int(std::lround(x));
}

std::deque<QString>& seamAnswers()
{
    static std::deque<QString> answers;
    return answers;
}

std::vector<SuperMsgCall>& seamCalls()
{
    static std::vector<SuperMsgCall> calls;
    return calls;
}

}  // namespace

std::optional<SuperMsgButtonKind> SuperMsgButtonsFor(const QString& buttons)
{
    const QString kind = buttons.toLower();
    SuperMsgButtonKind k;
    auto left = [&](const QString& caption) { k.left = true; k.leftCaption = caption; };
    auto middle = [&](const QString& caption) { k.middle = true; k.middleCaption = caption; };
    if (kind == u"myyes") left(kYes);
    else if (kind == u"myok") left(kOk);
    else if (kind == u"myno") middle(kNo);
    else if (kind == u"mycancel") middle(kCancel);
    else if (kind == u"myignore") k.right = true;
    else if (kind == u"myyesno") { left(kYes); middle(kNo); }
    else if (kind == u"myokcancel") { left(kOk); middle(kCancel); }
    else if (kind == u"myokignore") { left(kOk); k.right = true; }
    else if (kind == u"myyesignore") { left(kYes); k.right = true; }
    else if (kind == u"mycancelignore") { middle(kCancel); k.right = true; }
    else if (kind == u"myyesnoignore") { left(kYes); middle(kNo); k.right = true; }
    else if (kind == u"myokcancelignore") { left(kOk); middle(kCancel); k.right = true; }
    else return std::nullopt;
    return k;
}

SuperMsgIcon SuperMsgIconFor(const QString& text, const QString& iconKind)
{
    const bool question = text.contains(QLatin1Char('?'));
    const bool exclamation = text.contains(QLatin1Char('!'));
    SuperMsgIcon icon = SuperMsgIcon::Information;
    if (question && exclamation) icon = SuperMsgIcon::Stop;
    else if (question) icon = SuperMsgIcon::Question;
    else if (exclamation) icon = SuperMsgIcon::Exclamation;

    const QString kind = iconKind.toLower();
    if (kind == u"stop") icon = SuperMsgIcon::Stop;
    else if (kind == u"info") icon = SuperMsgIcon::Information;
    else if (kind == u"question") icon = SuperMsgIcon::Question;
    else if (kind == u"j") icon = SuperMsgIcon::Exclamation;
    return icon;
}

SuperMsgFocus SuperMsgFocusFor(const QString& options)
{
    const QString o = options.toLower();
    SuperMsgFocus focus = SuperMsgFocus::None;
    if (o.contains(u"initiatok")) focus = SuperMsgFocus::Left;
    if (o.contains(u"initiatcancel")) focus = SuperMsgFocus::Middle;
    if (o.contains(u"initiatignore")) focus = SuperMsgFocus::Right;
    return focus;
}

SuperMsgText SplitSuperMsgText(const QString& text)
{
    QString normalised = text;
    normalised.replace(QStringLiteral("\r\n"), QStringLiteral("\r"));
    normalised.replace(QLatin1Char('\n'), QLatin1Char('\r'));
    QStringList lines = normalised.split(QLatin1Char('\r'));
    if (lines.size() > 4) {
        const QStringList rest = lines.mid(3);
        lines = lines.mid(0, 3);
        lines << rest.join(QLatin1Char(' '));
    }
    SuperMsgText result;
    result.lines = lines;
    for (int i = 0; i < lines.size(); ++i) {
        const int bytes = gbk::byteLength(lines[i]) + (i + 1 < lines.size() ? 1 : 0);
        result.widthBytes = std::max(result.widthBytes, bytes);
    }
    return result;
}

SuperMsgLayout ComputeSuperMsgLayout(int lineCount, int textWidth, const SuperMsgButtonKind& kind,
                                     int fontHeight, int buttonWidth, int buttonHeight)
{
    SuperMsgLayout l;
    lineCount = std::clamp(lineCount, 1, 4);
    const int count = std::max(1, kind.count());
    const int gap = count == 1 ? 0 : count == 2 ? 12 : 14;
    const int minWidth = count == 1   ? buttonWidth + 60
                         : count == 2 ? 2 * (buttonWidth + 12) + 48
                                      : 3 * (buttonWidth + 14) + 46;

    l.height = nearest(buttonHeight * (count == 1 ? 4.2811 : 4.4811));
    const int crCount = lineCount - 1;
    if (crCount == 2)
        l.height = nearest(buttonHeight * 5.3811);
    else if (crCount >= 3)
        l.height = nearest(buttonHeight * 5.7811);

    double f = 0.452;
    if (lineCount == 1 && count == 1) f = 0.442;
    else if (lineCount == 3) f = 0.532;
    else if (lineCount == 4) f = 0.582;
    l.buttonTop = nearest(l.height * f);

    l.width = std::max(textWidth + 85, minWidth);
    l.labelWidth = textWidth;
    l.labelLeft = (l.width - textWidth) / 2 + 14;
    if (lineCount == 1) {
        l.labelTop[0] = nearest(l.height * 0.19);
    } else {
        l.labelTop[0] = nearest(l.height * 0.1);
        for (int i = 1; i < 4; ++i)
            l.labelTop[i] = l.labelTop[i - 1] + fontHeight + 5;
    }

    // The listed buttons, left to right, placed by their number.
    std::vector<int> shown;
    if (kind.left) shown.push_back(0);
    if (kind.middle) shown.push_back(1);
    if (kind.right) shown.push_back(2);
    if (shown.size() == 1) {
        l.buttonLeft[shown[0]] = (l.width - buttonWidth) / 2;
    } else if (shown.size() == 2) {
        l.buttonLeft[shown[0]] = l.width / 2 - gap - buttonWidth;
        l.buttonLeft[shown[1]] = l.width / 2 + gap;
    } else if (shown.size() == 3) {
        const int middle = (l.width - buttonWidth) / 2;
        l.buttonLeft[1] = middle;
        l.buttonLeft[0] = middle - gap - buttonWidth;
        l.buttonLeft[2] = middle + buttonWidth + gap;
    }
    return l;
}

QPixmap SuperMsgIconPixmap(SuperMsgIcon icon)
{
    QPixmap pixmap(32, 32);
    pixmap.fill(Qt::transparent);
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    const QRectF disc(1.5, 1.5, 29, 29);
    auto glyph = [&](const QString& text, const QColor& colour, int pixelSize) {
        QFont font(QStringLiteral("DejaVu Sans"));
        font.setBold(true);
        font.setPixelSize(pixelSize);
        p.setFont(font);
        p.setPen(colour);
        p.drawText(QRectF(0, 0, 32, 32), Qt::AlignCenter, text);
    };
    switch (icon) {
    case SuperMsgIcon::Information:
        p.setPen(QPen(QColor(0, 40, 140), 1));
        p.setBrush(QColor(30, 90, 220));
        p.drawEllipse(disc);
        glyph(QStringLiteral("i"), Qt::white, 22);
        break;
    case SuperMsgIcon::Question:
        p.setPen(QPen(QColor(0, 90, 20), 1));
        p.setBrush(QColor(20, 150, 50));
        p.drawEllipse(disc);
        glyph(QStringLiteral("?"), Qt::white, 22);
        break;
    case SuperMsgIcon::Exclamation:
        p.setPen(QPen(QColor(150, 120, 0), 1));
        p.setBrush(QColor(255, 215, 0));
        p.drawEllipse(disc);
        glyph(QStringLiteral("!"), Qt::black, 22);
        break;
    case SuperMsgIcon::Stop: {
        QPainterPath octagon;
        const double c = 16, r = 15;
        for (int i = 0; i < 8; ++i) {
            const double a = (22.5 + 45.0 * i) * M_PI / 180.0;
            const QPointF pt(c + r * std::cos(a), c + r * std::sin(a));
            if (i == 0) octagon.moveTo(pt);
            else octagon.lineTo(pt);
        }
        octagon.closeSubpath();
        p.setPen(QPen(Qt::white, 1.5));
        p.setBrush(QColor(210, 20, 20));
        p.drawPath(octagon);
        glyph(QStringLiteral("STOP"), Qt::white, 9);
        break;
    }
    }
    return pixmap;
}

TsupermsgForm::TsupermsgForm(QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint)
{
    setFont(SongtiFont(12));
    setModal(true);
    for (int i = 0; i < 4; ++i) {
        static const SuperMsgIcon kinds[4] = {SuperMsgIcon::Information, SuperMsgIcon::Stop,
                                              SuperMsgIcon::Question, SuperMsgIcon::Exclamation};
        Image[i] = new QLabel(this);
        Image[i]->setGeometry(14, 14, 32, 32);
        Image[i]->setPixmap(SuperMsgIconPixmap(kinds[i]));
        Image[i]->hide();
        Label[i] = new QLabel(this);
        QPalette pal = Label[i]->palette();
        pal.setColor(QPalette::WindowText, Qt::black);
        Label[i]->setPalette(pal);
        Label[i]->setTextFormat(Qt::PlainText);
    }
    LeftButton = new QPushButton(this);
    MiddleButton = new QPushButton(this);
    RightButton = new QPushButton(this);
    LeftButton->setDefault(true);
    RightButton->setText(kIgnore);
    connect(LeftButton, &QPushButton::clicked, this, &TsupermsgForm::LeftButtonClick);
    connect(MiddleButton, &QPushButton::clicked, this, &TsupermsgForm::MiddleButtonClick);
    connect(RightButton, &QPushButton::clicked, this, &TsupermsgForm::RightButtonClick);
}

bool TsupermsgForm::Prepare(const QString& caption, const QString& text, const QString& buttons,
                            const QString& options, const QString& icon)
{
    m_result.clear();
    m_focus = SuperMsgFocusFor(options);
    const bool centre = options.toLower().contains(u"center");
    const auto kind = SuperMsgButtonsFor(buttons);
    if (!kind)
        return false;

    const SuperMsgText split = SplitSuperMsgText(text);
    m_icon = SuperMsgIconFor(text, icon);
    for (int i = 0; i < 4; ++i)
        Image[i]->setVisible(i == int(m_icon));

    const QFontMetrics fm(Label[0]->font());
    const int textWidth = split.widthBytes * fm.maxWidth() / 2;
    // The designed face's character height equals its pixel size; a fallback face adds leading
    // that four lines have no room for above the buttons.
    const int pixelSize = Label[0]->font().pixelSize();
    const int charHeight = pixelSize > 0 ? std::min(pixelSize, fm.height()) : fm.height();
    m_layout = ComputeSuperMsgLayout(int(split.lines.size()), textWidth, *kind, charHeight, 80, 25);

    const int clientHeight = m_layout.height - kCaptionAllowance;
    setFixedSize(m_layout.width, clientHeight);
    for (int i = 0; i < 4; ++i) {
        const bool used = i < split.lines.size();
        Label[i]->setText(used ? split.lines[i] : QString());
        Label[i]->setEnabled(used);
        Label[i]->setVisible(used);
        Label[i]->setAlignment((centre ? Qt::AlignHCenter : Qt::AlignLeft) | Qt::AlignVCenter);
        const int top = split.lines.size() == 1 ? m_layout.labelTop[0] : m_layout.labelTop[i];
        Label[i]->setGeometry(m_layout.labelLeft, top, std::max(1, m_layout.labelWidth),
                              charHeight + 2);
    }

    QPushButton* const all[3] = {LeftButton, MiddleButton, RightButton};
    for (int i = 0; i < 3; ++i) {
        all[i]->setVisible(m_layout.buttonLeft[i] >= 0);
        all[i]->setGeometry(m_layout.buttonLeft[i], m_layout.buttonTop, 80, 25);
    }
    if (kind->left) LeftButton->setText(kind->leftCaption);
    if (kind->middle) MiddleButton->setText(kind->middleCaption);

    if (const QScreen* screen = this->screen() ? this->screen() : QGuiApplication::primaryScreen()) {
        const QRect s = screen->geometry();
        move(s.x() + (s.width() - m_layout.width) / 2, s.y() + (s.height() - m_layout.height) / 2);
    }
    setWindowTitle(caption);
    return true;
}

void TsupermsgForm::showEvent(QShowEvent* event)
{
    QDialog::showEvent(event);
    QPushButton* order[3];
    switch (m_focus) {
    case SuperMsgFocus::Middle: order[0] = MiddleButton; order[1] = LeftButton; order[2] = RightButton; break;
    case SuperMsgFocus::Right: order[0] = RightButton; order[1] = LeftButton; order[2] = MiddleButton; break;
    default: order[0] = LeftButton; order[1] = MiddleButton; order[2] = RightButton; break;
    }
    for (QPushButton* b : order) {
        if (!b->isHidden()) {
            b->setFocus(Qt::OtherFocusReason);
            break;
        }
    }
}

void TsupermsgForm::keyPressEvent(QKeyEvent* event)
{
    if (event->key() == Qt::Key_Escape && event->modifiers() == Qt::NoModifier) {
        if (!MiddleButton->isHidden())
            MiddleButton->click();
        else if (!RightButton->isHidden())
            RightButton->click();
        event->accept();  // with only the left button Escape does nothing
        return;
    }
    QDialog::keyPressEvent(event);
}

void TsupermsgForm::LeftButtonClick()
{
    m_result = QStringLiteral("myok");
    accept();
}

void TsupermsgForm::MiddleButtonClick()
{
    m_result = QStringLiteral("mycancel");
    accept();
}

void TsupermsgForm::RightButtonClick()
{
    m_result = QStringLiteral("myignore");
    accept();
}

QString ShowSuperMsg(const QString& caption, const QString& text, const QString& buttons,
                     const QString& options, const QString& icon)
{
    if (SuperMsgSeam::armed()) {
        seamCalls().push_back({caption, text, buttons, options, icon});
        if (!SuperMsgButtonsFor(buttons))
            return QString();
        QString answer = seamAnswers().front();
        seamAnswers().pop_front();
        return answer;
    }
    TsupermsgForm form(QApplication::activeWindow());
    if (!form.Prepare(caption, text, buttons, options, icon))
        return QString();
    form.exec();
    return form.result();
}

void SuperMsgSeam::setNextAnswer(const QString& answer)
{
    seamAnswers().push_back(answer);
}

bool SuperMsgSeam::armed()
{
    return !seamAnswers().empty();
}

int SuperMsgSeam::pendingAnswers()
{
    return int(seamAnswers().size());
}

const std::vector<SuperMsgCall>& SuperMsgSeam::calls()
{
    return seamCalls();
}

void SuperMsgSeam::reset()
{
    seamAnswers().clear();
    seamCalls().clear();
}

}  // namespace corvanta
