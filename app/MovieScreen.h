#pragma once

// A full-window screen that shows a video's picture in step with a clock: the
// media time of the sound that plays the video (seconds). It starts at the
// clock's time, follows it through pauses, rate changes and jumps, and never
// plays a sound of its own.
//
// The clock reads NaN once the sound it stood for is gone (another item was
// loaded); the screen then closes itself. finished() is emitted once, when the
// user closes the screen, when the clock is gone, or when the picture cannot be
// shown (the user has then been told why; the screen is not left on view).
//
// Main thread only.

#include <QWidget>
#include <functional>

class MovieScreen : public QWidget {
    Q_OBJECT
public:
    using Clock = std::function<double()>;

    using QWidget::QWidget;

    virtual void play(const QString& path, Clock clock) = 0;
    // The clock's time when last read (seconds); NaN once the clock is gone.
    virtual double currentTime() const = 0;
    // Length of the video in seconds; NaN while unknown.
    virtual double duration() const = 0;

Q_SIGNALS:
    void finished();
};
