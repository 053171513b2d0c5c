#pragma once

// The window's screen stack: the root screen (the player) fills it, and screens
// presented over it slide up from the bottom, each inside its own
// NavigationController, and slide down again when dismissed. Presentations nest:
// the newest is on top and receives the input. Once a presentation has slid in,
// everything under it is hidden (so a covered screen gets a hide event, and a show
// event when it is uncovered again).
//
// The stack owns the root screen and every presented controller; a dismissed
// controller is deleted, with its screens, when its slide ends.
//
// The window that holds the stack is the program's main window (MainWindow):
// alerts, action sheets and notices attach to it. It becomes so when the stack is
// made and again whenever the stack is shown.
//
// Main thread only.

#include <QList>
#include <QPointer>
#include <QWidget>

class NavigationController;
class SlideTransition;

class ScreenStack : public QWidget {
    Q_OBJECT
public:
    static constexpr int kSlideMs = 300;

    explicit ScreenStack(QWidget *parent = nullptr);
    ~ScreenStack() override;

    // The stack that holds widget (anywhere inside it); null when there is none.
    static ScreenStack *of(const QWidget *widget);

    // Takes ownership of screen; a former root screen is deleted.
    void setRootScreen(QWidget *screen);
    QWidget *rootScreen() const { return m_root; }

    // Wraps screen (ownership passed in) in a new navigation controller, gives
    // its navigation item the title when one is given, and presents it. Returns
    // the controller; null for a null screen.
    NavigationController *present(QWidget *screen, const QString& title = {});
    // Presents a controller (ownership passed in) over everything shown.
    void present(NavigationController *controller);

    // Dismisses the topmost presentation; nothing happens when none is shown.
    void dismiss();
    // Dismisses controller and every presentation above it. Ignored for a
    // controller this stack does not show.
    void dismiss(NavigationController *controller);

    // The presentation on top; null while only the root screen is shown.
    NavigationController *topController() const;
    // Bottom to top, without those already sliding out.
    QList<NavigationController *> presented() const;

    // A slide is running.
    bool isAnimating() const;
    // Ends every running slide at once (their completions run).
    void finishAnimations();

Q_SIGNALS:
    // After a presentation has started (the controller is on top).
    void didPresent(NavigationController *controller);
    // After dismiss() took a presentation off the stack (its slide may still run).
    void didDismiss();

protected:
    void resizeEvent(QResizeEvent *event) override;
    void showEvent(QShowEvent *event) override;

private:
    QWidget *topWidget() const;
    void hideCovered();

    QPointer<QWidget> m_root;                       // owned (child)
    QList<QPointer<NavigationController>> m_stack;  // owned (children), bottom first
    QList<QPointer<SlideTransition>> m_transitions; // children while running
};
