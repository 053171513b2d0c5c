#include "media/VideoFrameDecoder.h"

#include "platform/RegularFile.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libswscale/swscale.h>
}

#include <QFile>
#include <algorithm>
#include <cmath>
#include <limits>

namespace {

// Containers that may hold the picture of a video file. Detection is by content;
// anything else (images, playlists, network manifests) is refused before a
// demuxer runs on it.
constexpr const char *kFormatWhitelist = "mov,mp4,m4a,3gp,3g2,mj2,matroska,webm,avi,mpeg,mpegts,"
                                         "flv,asf,m4v,h264,hevc";
// Packets or frames that fail in a row before the rest of the stream is given up.
constexpr int kMaxConsecutiveFailures = 200;
constexpr QSize kMaxSize(1920, 1080);
constexpr QSize kMinSize(16, 16);

QString ffmpegError(int code)
{
    char text[AV_ERROR_MAX_STRING_SIZE] = {};
    av_strerror(code, text, sizeof text);
    return QString::fromUtf8(text);
}

} // namespace

struct VideoFrameDecoder::Context {
    AVFormatContext *format = nullptr;
    AVCodecContext *codec = nullptr;
    AVPacket *packet = nullptr;
    AVFrame *frame = nullptr;
    AVFrame *held = nullptr; // the last frame skipped on the way to a seek's time
    double heldPts = 0;
    SwsContext *scaler = nullptr;
    int stream = -1;
    double timeBase = 0;    // seconds per stream tick
    int64_t startTicks = 0; // the file's start, in stream ticks
    double lastPts = std::numeric_limits<double>::quiet_NaN();
    bool flushSent = false;
    int consecutiveFailures = 0;

    ~Context()
    {
        sws_freeContext(scaler);
        av_frame_free(&held);
        av_frame_free(&frame);
        av_packet_free(&packet);
        avcodec_free_context(&codec);
        avformat_close_input(&format);
    }
};

VideoFrameDecoder::VideoFrameDecoder()
    : m_ctx(std::make_unique<Context>()), m_duration(std::numeric_limits<double>::quiet_NaN())
{}

VideoFrameDecoder::~VideoFrameDecoder() = default;

bool VideoFrameDecoder::open(const QString& path)
{
    m_ctx = std::make_unique<Context>();
    Context& c = *m_ctx;
    // A decoder that failed to open holds nothing, so that later calls do nothing.
    const auto refuse = [this](QString why) {
        m_error = std::move(why);
        m_ctx = std::make_unique<Context>();
        return false;
    };
    if (!RegularFile::exists(path))
        return refuse(QStringLiteral("The file could not be opened (not a regular file)."));
    AVDictionary *options = nullptr;
    av_dict_set(&options, "format_whitelist", kFormatWhitelist, 0);
    const int opened =
        avformat_open_input(&c.format, QFile::encodeName(path).constData(), nullptr, &options);
    av_dict_free(&options);
    if (opened < 0)
        return refuse(
            QStringLiteral("The file could not be opened (%1).").arg(ffmpegError(opened)));
    if (const int found = avformat_find_stream_info(c.format, nullptr); found < 0)
        return refuse(QStringLiteral("The file could not be read (%1).").arg(ffmpegError(found)));
    // A cover picture is a still stored with the sound, not a movie.
    for (unsigned i = 0; i < c.format->nb_streams && c.stream < 0; ++i) {
        const AVStream *s = c.format->streams[i];
        if (s->codecpar->codec_type == AVMEDIA_TYPE_VIDEO &&
            !(s->disposition & AV_DISPOSITION_ATTACHED_PIC))
            c.stream = int(i);
    }
    if (c.stream < 0)
        return refuse(QStringLiteral("The file has no picture."));
    AVStream *stream = c.format->streams[c.stream];
    const AVCodec *codec = avcodec_find_decoder(stream->codecpar->codec_id);
    if (!codec)
        return refuse(QStringLiteral("This program cannot decode the file's picture (%1).")
                          .arg(QString::fromUtf8(avcodec_get_name(stream->codecpar->codec_id))));
    c.codec = avcodec_alloc_context3(codec);
    c.packet = av_packet_alloc();
    c.frame = av_frame_alloc();
    c.held = av_frame_alloc();
    if (!c.codec || !c.packet || !c.frame || !c.held ||
        avcodec_parameters_to_context(c.codec, stream->codecpar) < 0)
        return refuse(QStringLiteral("Out of memory."));
    c.codec->thread_count = 2;
    if (const int started = avcodec_open2(c.codec, codec, nullptr); started < 0)
        return refuse(QStringLiteral("The decoder of the file's picture did not start (%1).")
                          .arg(ffmpegError(started)));
    c.timeBase = av_q2d(stream->time_base);
    if (c.format->start_time != AV_NOPTS_VALUE)
        c.startTicks = av_rescale_q(c.format->start_time, AV_TIME_BASE_Q, stream->time_base);
    if (c.format->duration != AV_NOPTS_VALUE && c.format->duration > 0)
        m_duration = double(c.format->duration) / AV_TIME_BASE;
    const AVRational rate = av_guess_frame_rate(c.format, stream, nullptr);
    if (rate.num > 0 && rate.den > 0)
        m_frameInterval = std::clamp(1.0 / av_q2d(rate), 1.0 / 240, 1.0);
    m_error.clear();
    return true;
}

void VideoFrameDecoder::seek(double seconds)
{
    Context& c = *m_ctx;
    if (!c.codec)
        return;
    // Any clock value, NaN included, gives a tick count that fits int64_t.
    seconds = std::isnan(seconds) ? 0.0 : std::clamp(seconds, 0.0, 1e7);
    // When the file cannot seek, decoding goes on from where it is; frames before
    // the target are still skipped.
    if (c.timeBase > 0 &&
        av_seek_frame(c.format, c.stream, c.startTicks + int64_t(seconds / c.timeBase),
                      AVSEEK_FLAG_BACKWARD) >= 0) {
        avcodec_flush_buffers(c.codec);
        av_frame_unref(c.held);
        c.flushSent = false;
        m_drained = false;
        c.lastPts = std::numeric_limits<double>::quiet_NaN();
    }
    m_skipBefore = seconds;
}

std::optional<VideoFrameDecoder::Frame> VideoFrameDecoder::next(QSize bounds)
{
    Context& c = *m_ctx;
    if (!c.codec)
        return std::nullopt;
    while (!m_drained && c.consecutiveFailures < kMaxConsecutiveFailures) {
        std::optional<Frame> frame;
        if (receive(bounds, frame)) {
            if (frame)
                return frame;
            continue;
        }
        const int read = av_read_frame(c.format, c.packet);
        if (read < 0) {
            // The end of the file, or the rest of it unreadable: take what the
            // decoder still holds.
            if (c.flushSent)
                m_drained = true;
            else
                avcodec_send_packet(c.codec, nullptr);
            c.flushSent = true;
            continue;
        }
        if (c.packet->stream_index == c.stream && avcodec_send_packet(c.codec, c.packet) < 0) {
            ++c.consecutiveFailures;
            ++m_failures;
        }
        av_packet_unref(c.packet);
    }
    // A time past the last frame shows the last frame.
    if (c.held->buf[0]) {
        QImage image = convert(c.held, bounds);
        av_frame_unref(c.held);
        m_skipBefore = -std::numeric_limits<double>::infinity();
        if (!image.isNull())
            return Frame{c.heldPts, std::move(image)};
    }
    return std::nullopt;
}

bool VideoFrameDecoder::receive(QSize bounds, std::optional<Frame>& out)
{
    Context& c = *m_ctx;
    const int received = avcodec_receive_frame(c.codec, c.frame);
    if (received == AVERROR(EAGAIN))
        return false;
    if (received == AVERROR_EOF) {
        m_drained = true;
        return true;
    }
    if (received < 0) {
        ++c.consecutiveFailures;
        ++m_failures;
        return true;
    }
    const int64_t ticks = c.frame->best_effort_timestamp;
    const double pts = ticks != AV_NOPTS_VALUE ? double(ticks - c.startTicks) * c.timeBase
                       : std::isnan(c.lastPts) ? 0.0
                                               : c.lastPts + m_frameInterval;
    c.lastPts = pts;
    if (pts + m_frameInterval <= m_skipBefore) {
        av_frame_unref(c.held);
        av_frame_move_ref(c.held, c.frame);
        c.heldPts = pts;
        return true;
    }
    av_frame_unref(c.held);
    QImage image = convert(c.frame, bounds);
    av_frame_unref(c.frame);
    if (image.isNull()) {
        ++c.consecutiveFailures;
        ++m_failures;
        return true;
    }
    c.consecutiveFailures = 0;
    m_skipBefore = -std::numeric_limits<double>::infinity();
    out = Frame{pts, std::move(image)};
    return true;
}

QImage VideoFrameDecoder::convert(const void *picture, QSize bounds)
{
    const auto *frame = static_cast<const AVFrame *>(picture);
    if (frame->width <= 0 || frame->height <= 0 || frame->format < 0)
        return {};
    double width = frame->width;
    if (frame->sample_aspect_ratio.num > 0 && frame->sample_aspect_ratio.den > 0)
        width *= av_q2d(frame->sample_aspect_ratio);
    const QSize box = bounds.expandedTo(kMinSize).boundedTo(kMaxSize);
    const QSize size = QSize(std::max(1, int(std::lround(width))), frame->height)
                           .scaled(box, Qt::KeepAspectRatio)
                           .expandedTo(QSize(1, 1));
    Context& c = *m_ctx;
    c.scaler = sws_getCachedContext(c.scaler, frame->width, frame->height,
                                    AVPixelFormat(frame->format), size.width(), size.height(),
                                    AV_PIX_FMT_RGB32, SWS_BILINEAR, nullptr, nullptr, nullptr);
    QImage image(size, QImage::Format_RGB32);
    if (!c.scaler || image.isNull())
        return {};
    uint8_t *planes[4] = {image.bits(), nullptr, nullptr, nullptr};
    const int strides[4] = {int(image.bytesPerLine()), 0, 0, 0};
    sws_scale(c.scaler, frame->data, frame->linesize, 0, frame->height, planes, strides);
    return image;
}
