#pragma once

// A push button with a glossy look. Over the button's background colour lies a
// "shine": four translucent greys, top to bottom, whose colour jumps at half height
// (the glass edge) and stays flat over the last fifth. While the button is held
// down a dark highlight is drawn between the background and the shine, so the
// gloss stays on top of it. The title is drawn last, centred.
//
// Menus and bars use it with a nearly opaque black background and orange bold
// titles; every look parameter is set by the owner. Main thread only.

#include <QColor>
#include <QGradientStops>
#include <QPushButton>

class GradientButton : public QPushButton {
    Q_OBJECT
public:
    explicit GradientButton(QWidget *parent = nullptr);
    explicit GradientButton(const QString& title, QWidget *parent = nullptr);

    // Painted first, under the highlight and the shine. Transparent by default.
    void setBackgroundColor(const QColor& color);
    QColor backgroundColor() const { return m_background; }

    // Colour of the title in the enabled state (white by default); a disabled
    // button draws it at half its alpha.
    void setTitleColor(const QColor& color);
    QColor titleColor() const { return m_titleColor; }

    // Adds a 1 px dark-grey border along the inside of the bounds, drawn over the
    // shine. Calling it again changes nothing.
    void initBorder();
    bool hasBorder() const { return m_border; }

    // True while the dark highlight is drawn: while the button is held down with
    // the pointer over it, or while Space is held on the focused button.
    bool isHighlightShown() const { return isDown(); }

    // The shine's stops over the button's height (0 = top, 1 = bottom). Two stops
    // share the half-height position, so the colour jumps there.
    // A button of the player's popup menus: black at 90 % behind the gloss, an
    // orange bold 12 px title.
    static GradientButton *menuButton(const QString& title, QWidget *parent);

    static QGradientStops shineStops();
    // The highlight's colour: grey 0.25 at alpha 0.75.
    static QColor highlightColor();
    // The border's colour (dark grey, white level 1/3).
    static QColor borderColor();

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    void init();

    QColor m_background = Qt::transparent;
    QColor m_titleColor = Qt::white;
    bool m_border = false;
};
