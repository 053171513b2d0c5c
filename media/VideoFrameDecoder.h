#pragma once

// The picture of a video file: the frames of its first video stream, decoded with
// FFmpeg and converted (libswscale) to 32-bit RGB images that fit a given size with
// the picture's shape kept (sample aspect ratio applied).
//
// Times are media seconds from the start of the file (the stream's start time is
// subtracted), the same scale as the sound engine's getTime().
//
// Threads: not thread-safe; one thread at a time. The usual pattern is open() on
// the main thread, then seek() and next() on a worker that owns the decoder from
// then on. Nothing here touches widgets.

#include <QImage>
#include <QSize>
#include <QString>
#include <memory>
#include <optional>

class VideoFrameDecoder {
public:
    struct Frame {
        double pts = 0; // seconds at which the frame is shown
        QImage image;   // Format_RGB32
    };

    VideoFrameDecoder();
    ~VideoFrameDecoder();
    VideoFrameDecoder(const VideoFrameDecoder&) = delete;
    VideoFrameDecoder& operator=(const VideoFrameDecoder&) = delete;

    // Opens path and its picture's decoder. False when the file cannot be opened,
    // has no picture, or has none this build can decode; errorString() then says
    // which, in words for the user.
    bool open(const QString& path);
    QString errorString() const { return m_error; }

    // Length of the file in seconds; NaN while unknown. Valid after open().
    double duration() const { return m_duration; }
    // Seconds one frame stays on screen (from the stream's frame rate; 1/25 when
    // the stream does not say).
    double frameInterval() const { return m_frameInterval; }

    // The next next() returns the frame on screen at seconds (the last one that
    // starts at or before it), then the frames after it.
    void seek(double seconds);

    // Decodes the next frame, scaled to fit within bounds (at most 1920 x 1080,
    // at least 16 x 16). Empty at the end of the stream, and when the rest of the
    // stream cannot be decoded (errors are skipped up to a bound first).
    std::optional<Frame> next(QSize bounds);
    // Frames that failed to decode since open().
    int failures() const { return m_failures; }

private:
    struct Context;
    bool receive(QSize bounds, std::optional<Frame>& out);
    QImage convert(const void *frame, QSize bounds);

    std::unique_ptr<Context> m_ctx;
    QString m_error;
    double m_duration;
    double m_frameInterval = 1.0 / 25;
    double m_skipBefore = 0; // frames that end before this time are not converted
    int m_failures = 0;
    bool m_drained = false; // the decoder has returned its last frame
};
