#pragma once

// A short notice over the active screen: a small label near the bottom of the
// window, in front of every screen, that never takes the focus and lets the mouse
// through, so the user goes on as before. It shows for kShownMs, fades out over
// kFadeMs and deletes itself. A newer notice in the same window replaces the one
// shown. For news that needs no answer; a failure the user must acknowledge is an
// alert (StoreAlerts).
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
    // The notice shown now in the window that holds over; null when none is.
    static Notice *shownIn(const QWidget *over);

private:
    Notice(const QString& text, QWidget *window);
    void fadeOut();

    QPropertyAnimation *m_fade = nullptr; // owned (child)
};
