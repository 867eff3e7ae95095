#pragma once
// The two panel classes the windows and dialogs are laid out on.
#include <QColor>
#include <QFrame>

namespace corvanta {

// The tinted background panel of the dialogs: no bevels, RGB(243, 219, 203).
class TCWBackPanel : public QFrame {
    Q_OBJECT
public:
    explicit TCWBackPanel(QWidget* parent = nullptr);
};

// A plain panel whose frame comes from its bevel settings.
class TSuperPanel : public QFrame {
    Q_OBJECT
public:
    enum Bevel { bvNone, bvLowered, bvRaised };
    explicit TSuperPanel(QWidget* parent = nullptr);
    Bevel bevelOuter() const { return m_bevel; }
    void setBevelOuter(Bevel bevel);
    void setBorderWidth(int width);
    void setColor(const QColor& colour);

private:
    Bevel m_bevel = bvRaised;
};

}  // namespace corvanta
