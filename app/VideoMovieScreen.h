#pragma once

// The movie screen: the picture of a video file, decoded with FFmpeg
// (VideoFrameDecoder) on a worker of its own a few frames ahead of the clock, and
// shown by a ~60 Hz timer on the main thread as the frame for the clock's time,
// full-window with its shape kept on black. A "Done" button and Escape close it.
//
// Why FFmpeg and not a media framework's player: it adds no plugin system to the
// process (a missing plugin there took the whole program down), behaves the same
// under the offscreen platform, and leaves the sound to the engine, which plays the
// video's own sound track with the user's equaliser, rate and volume limit; there
// is never a second sound.
//
// A clock that moves back, or ahead by more than a second, is a seek: the queue is
// dropped and the worker decodes from the new time.
//
// Threads: every public call, the timer and painting on the main thread. The decode
// worker owns the decoder once play() has opened it; it shares with the main
// thread only the members under m_mutex. The destructor stops and joins it.

#include "app/MovieScreen.h"
#include "media/VideoFrameDecoder.h"

#include <condition_variable>
#include <deque>
#include <memory>
#include <mutex>
#include <thread>

class QPushButton;
class QTimer;

class VideoMovieScreen : public MovieScreen {
    Q_OBJECT
public:
    static constexpr int kTickMs = 16;
    // Decoded frames held ahead of the clock.
    static constexpr size_t kQueueFrames = 6;

    explicit VideoMovieScreen(QWidget *parent = nullptr);
    ~VideoMovieScreen() override;

    // Opens path and starts showing it at the clock's time. When the picture cannot
    // be shown the user gets a message and finished() is emitted before this
    // returns (or, for a file whose frames all fail, a moment later).
    void play(const QString& path, Clock clock) override;
    double currentTime() const override { return m_clockTime; }
    double duration() const override { return m_duration; }

    // What the screen shows: frames painted since play(), and the last one's time
    // (NaN before the first) and picture.
    int framesShown() const { return m_framesShown; }
    double shownTime() const { return m_shown.pts; }
    QImage shownImage() const { return m_shown.image; }

protected:
    void paintEvent(QPaintEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;

private:
    void tick();
    void decodeLoop();
    // Tells the user why the picture cannot be shown, then finishes.
    void fail(const QString& reason);
    void finish();
    void stopWorker();
    QSize frameBounds() const;

    // Main thread only.
    QPushButton *m_done; // owned (child)
    QTimer *m_timer;     // owned (child)
    QString m_path;
    Clock m_clock;
    double m_clockTime;
    double m_duration;
    VideoFrameDecoder::Frame m_shown;
    int m_framesShown = 0;
    bool m_awaitingSeek = false; // nothing shown since the last seek
    bool m_finished = false;

    std::unique_ptr<VideoFrameDecoder> m_decoder; // decode worker only, once it runs
    std::thread m_worker;                         // started and joined on the main thread

    // Shared: guarded by m_mutex.
    std::mutex m_mutex;
    std::condition_variable m_wake;               // the worker waits on it for work
    std::deque<VideoFrameDecoder::Frame> m_queue; // rising times, at most kQueueFrames
    double m_seekTo;                              // a seek the worker has not begun; NaN: none
    QSize m_bounds;                               // device pixels the frames fit in
    int m_decoded = 0;                            // frames queued since play()
    bool m_endOfStream = false;
    bool m_stop = false;
};
