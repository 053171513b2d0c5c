#pragma once

// A dark callout: a rectangle (the frame, holding the menu's buttons) with a tail
// under its bottom edge that points down at the control which opened it. The tail
// is kTailWidth wide and kTailDepth deep; its tip lies kTailTipOffset left of the
// centre of the bottom edge.
//
// A child widget cannot paint outside its own rectangle, so the widget is
// kTailDepth taller than its frame: geometry() = frame() plus the tail's rows. Its
// mask is the frame plus the tail grown by a few pixels, so that clicks beside the
// tail still reach the widgets underneath. Children are placed in frame coordinates,
// which are the widget's own (the frame starts at the widget's origin).
//
// Painting order: the background colour over the frame only, then the outline
// filled with black at 80 % and stroked with a 1 px light-grey line, then the
// children. The stroke lies inside the frame so that it stays crisp and fully
// visible; the outline's corner points therefore sit half a pixel inside the
// frame's edges.
//
// Main thread only.

#include <QColor>
#include <QPainterPath>
#include <QWidget>

class PopupView : public QWidget {
    Q_OBJECT
    // Tells the owner's menus apart; 0 when unset.
    Q_PROPERTY(int tag READ tag WRITE setTag)
public:
    static constexpr int kTailDepth = 10;
    static constexpr int kTailWidth = 20;
    static constexpr int kTailTipOffset = 10;

    explicit PopupView(QWidget *parent = nullptr);
    // frame is the rectangle without the tail, in the parent's coordinates.
    explicit PopupView(const QRect& frame, QWidget *parent = nullptr);

    // The rectangle without the tail, in the parent's coordinates.
    void setFrame(const QRect& frame);
    QRect frame() const;

    int tag() const { return m_tag; }
    void setTag(int tag) { m_tag = tag; }

    // Painted over the frame rectangle (not the tail), under the outline's fill.
    // Transparent by default.
    void setBackgroundColor(const QColor& color);
    QColor backgroundColor() const { return m_background; }

    // The entries are the buttons directly inside the frame, in the order they
    // were made. Gives the first entry the focus; nothing happens without entries.
    void focusFirstEntry();
    // Moves the focus step entries on (negative: back), wrapping at either end,
    // as a keyboard move (the entry shows its focus ring); from outside the
    // entries, to the first one.
    void moveEntryFocus(int step);

    // The closed outline in widget coordinates, as painted.
    QPainterPath outline() const;

    static QColor fillColor();
    static QColor strokeColor();

protected:
    void paintEvent(QPaintEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;

private:
    int m_tag = 0;
    QColor m_background = Qt::transparent;
};
