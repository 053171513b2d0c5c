#pragma once

// A short notice over the active screen: a small label near the bottom of the
// window, in front of every screen, that never takes the focus and lets the mouse
// through, so the user goes on as before. It shows for kShownMs, fades out over
// kFadeMs and deletes itself. A newer notice in the same window replaces the one
// shown, so a run of them (one per edit) never piles up. The text is shown as
// plain text, whatever markup a file name holds.
//
// For news that needs no answer ("Mix has been updated.", "3 items have been
// added to your current playlist"), which must leave the keyboard where it was.
// A question stays an alert, and so does a failure the user must acknowledge
// (StoreAlerts).
//
// Main thread only.

#include <QLabel>

class QPropertyAnimation;

class Notice : public QLabel {
    Q_OBJECT
public:
    static constexpr int kShownMs = 2500;
    static constexpr int kFadeMs = 400;

    // Shows text over the window that holds over; the window owns the notice.
    static Notice *showOver(QWidget *over, const QString& text);
    // Shows text over the main window (MainWindow), for callers that have no
    // widget of their own; null, and nothing shown, when there is no window.
    static Notice *showInMainWindow(const QString& text);
    // The notice shown now in the window that holds over; null when none is.
    static Notice *shownIn(const QWidget *over);

private:
    Notice(const QString& text, QWidget *window);
    void fadeOut();

    QPropertyAnimation *m_fade = nullptr; // owned (child)
};
