#pragma once

// A full-window screen that shows a video's picture. It starts at a given time,
// reports its current time and duration (seconds; NaN while unknown) when asked,
// and emits finished() once, when the user closes it or the movie ends.
//
// Main thread only.

#include <QWidget>

class MovieScreen : public QWidget {
    Q_OBJECT
public:
    using QWidget::QWidget;

    virtual void play(const QString& path, double startSeconds) = 0;
    virtual double currentTime() const = 0;
    virtual double duration() const = 0;

Q_SIGNALS:
    void finished();
};
