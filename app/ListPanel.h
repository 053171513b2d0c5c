#pragma once

// The gestures of the player's list panel: a click on its handle folds or
// unfolds it, a vertical drag of at least 20 px on the handle folds it (upwards)
// or unfolds it (downwards) instead of clicking. The panel keeps its top edge
// at y = 80 and moves between the two heights in one second; the unfolded height
// follows the screen's size (setUnfoldedHeight). The panel's list
// (its scroll areas) takes keyboard focus only while the panel is unfolded; focus
// in a list that folds away moves to the handle.
//
// Main thread only. The panel and its handle (a child of the panel) outlive this
// object or are destroyed with it.

#include <QObject>
#include <QPoint>

class QPropertyAnimation;
class QPushButton;
class QWidget;

class ListPanel : public QObject {
    Q_OBJECT
public:
    static constexpr int kFolded = 25;    // px: the handle alone
    static constexpr int kUnfolded = 345; // px: handle and table, on the smallest screen
    static constexpr int kDragPx = 20;

    ListPanel(QWidget *panel, QPushButton *handle, QObject *parent = nullptr);

    // Folds an unfolded panel (150 px or higher), unfolds a folded one.
    void toggle();
    // Up folds, down unfolds, whatever the panel shows now.
    void swipe(bool up);
    void setHeight(int height, bool animated);
    // The screen was resized: the panel takes width, and an unfolded panel (or one
    // unfolding) the new unfolded height at once.
    void setUnfoldedHeight(int width, int height);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void setListFocusable(bool focusable);

    QWidget *const m_panel;
    QPushButton *const m_handle;
    QPropertyAnimation *m_animation; // owned (child)
    QPoint m_pressAt;                // where the current press on the handle began
    int m_unfolded = kUnfolded;      // px
};
