#pragma once

// A stack of screens under a black navigation bar. The root screen is given at
// construction; push() slides a further screen in from the right, pop() slides the
// top one out again and deletes it. The bar shows the top screen's
// NavigationItem, with a back button (titled after the screen below) on pushed
// screens that have no left button of their own.
//
// Screens fill the area under the bar. A screen that is covered by a push is
// hidden once the slide ends and shown again when the screen above is popped, so
// its show and hide events mark it appearing and disappearing.
//
// Keyboard: Escape (and Alt+Left) pops a pushed screen; Escape on the root screen
// dismisses the controller when a ScreenStack presented it. Keys reach the
// controller when the focused widget inside does not use them.
//
// The controller owns its screens. Main thread only.

#include "ui/SlideTransition.h"

#include <QBrush>
#include <QList>
#include <QPointer>
#include <QWidget>

class NavigationBar;

class NavigationController : public QWidget {
    Q_OBJECT
public:
    static constexpr int kSlideMs = 300;

    // Takes ownership of rootScreen, which must not be null.
    explicit NavigationController(QWidget *rootScreen, QWidget *parent = nullptr);
    ~NavigationController() override;

    // The controller that holds widget (widget itself, or a screen or bar of it, or
    // anything inside them); null when there is none.
    static NavigationController *of(const QWidget *widget);

    NavigationBar *navigationBar() const { return m_bar; }

    // Takes ownership of screen and shows it on top. Ignored for null or for a
    // screen already held.
    void push(QWidget *screen);
    // Removes and deletes the top screen; nothing happens on the root screen.
    void pop();
    // Pops every screen above the root at once (one slide).
    void popToRoot();

    // Null only after the root screen was deleted from outside.
    QWidget *topScreen() const { return m_screens.isEmpty() ? nullptr : m_screens.constLast(); }
    QWidget *rootScreen() const { return m_screens.isEmpty() ? nullptr : m_screens.constFirst(); }
    // Bottom (root) to top.
    QList<QWidget *> screens() const { return m_screens; }
    int depth() const { return int(m_screens.size()); }

    // Closes this controller through the ScreenStack that presented it (slides
    // down, then the controller and its screens are deleted). Does nothing when no
    // stack holds it.
    void dismiss();

    // Painted behind the screens (seen where a screen does not fill itself).
    void setBackgroundBrush(const QBrush& brush);

    // Gives the keyboard focus to the top screen: to the widget that last had it
    // there, else to the screen itself.
    void focusTopScreen();

    // A slide is running.
    bool isAnimating() const { return m_transition && m_transition->isRunning(); }
    // Ends a running slide at once.
    void finishAnimation();

Q_SIGNALS:
    // The top screen changed (after a push or pop, at the start of the slide).
    void topScreenChanged(QWidget *screen);

protected:
    void keyPressEvent(QKeyEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;
    void paintEvent(QPaintEvent *event) override;

private:
    QRect screenRect() const;
    void adopt(QWidget *screen);
    void popTo(int depth);
    void showTopItem();

    NavigationBar *m_bar = nullptr;         // owned (child)
    QList<QWidget *> m_screens;             // owned (children), root first
    QPointer<SlideTransition> m_transition; // child while running
    QBrush m_background;
};
