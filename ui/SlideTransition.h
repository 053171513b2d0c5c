#pragma once

// Moves a few widgets from one position to another together, over a fixed time,
// then runs a completion once. Screen presentation and navigation use it for their
// slides.
//
// With animations disabled (tests, or users who turn motion off) every widget is
// put at its end position and the completion runs before start() returns.
//
// Main thread only.

#include <QObject>
#include <QPoint>
#include <QPointer>
#include <QWidget>
#include <functional>

class QParallelAnimationGroup;

class SlideTransition : public QObject {
    Q_OBJECT
public:
    struct Move {
        QPointer<QWidget> widget;
        QPoint from; // parent coordinates
        QPoint to;
    };

    // Starts the moves. The transition is a child of owner: destroying the owner
    // cancels it and its completion never runs. Returns null when the moves were
    // done at once (animations disabled).
    static SlideTransition *start(QObject *owner, const QList<Move>& moves, int durationMs,
                                  std::function<void()> done);

    // Puts every widget at its end and runs the completion now (once). The
    // transition deletes itself afterwards.
    void finish();
    // False once the widgets are at their ends (the object itself is deleted later).
    bool isRunning() const { return !m_finished; }

    static bool animationsEnabled();
    static void setAnimationsEnabled(bool enabled);

private:
    SlideTransition(QObject *owner, const QList<Move>& moves, int durationMs,
                    std::function<void()> done);

    QList<Move> m_moves;
    std::function<void()> m_done;
    QParallelAnimationGroup *m_group = nullptr; // owned (child)
    bool m_finished = false;
};
