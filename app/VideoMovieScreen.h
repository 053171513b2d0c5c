#pragma once

// The movie screen on Qt Multimedia: the picture in a video widget, its own sound
// muted (the engine plays the sound), a "Done" button and Escape to close.
//
// Main thread only.

#include "app/MovieScreen.h"

class QAudioOutput;
class QMediaPlayer;

class VideoMovieScreen : public MovieScreen {
    Q_OBJECT
public:
    explicit VideoMovieScreen(QWidget *parent = nullptr);
    ~VideoMovieScreen() override;

    void play(const QString& path, double startSeconds) override;
    double currentTime() const override;
    double duration() const override;

protected:
    void keyPressEvent(QKeyEvent *event) override;

private:
    void close();

    QMediaPlayer *m_player; // owned (child)
    QAudioOutput *m_audio;  // owned (child)
    double m_startSeconds = 0;
    bool m_finished = false;
};
