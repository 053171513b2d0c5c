#include "app/VideoMovieScreen.h"

#include "platform/Alert.h"
#include "ui/Theme.h"

#include <QFileInfo>
#include <QKeyEvent>
#include <QPainter>
#include <QPushButton>
#include <QTimer>
#include <cmath>
#include <limits>

namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
// A clock step back larger than this, or ahead larger than kJumpAhead, is a seek.
// Smaller steps back are jitter; smaller steps ahead are caught up by decoding.
constexpr double kJumpBack = 0.25;
constexpr double kJumpAhead = 1.0;

} // namespace

VideoMovieScreen::VideoMovieScreen(QWidget *parent)
    : MovieScreen(parent), m_done(new QPushButton(QStringLiteral("Done"), this)),
      m_timer(new QTimer(this)), m_clockTime(kNaN), m_duration(kNaN), m_seekTo(kNaN)
{
    m_shown.pts = kNaN;
    setAttribute(Qt::WA_OpaquePaintEvent);
    setFocusPolicy(Qt::StrongFocus);
    // Space belongs to the window's pause key, never to the button.
    m_done->setFocusPolicy(Qt::NoFocus);
    m_done->setStyleSheet(QStringLiteral("color: %1; background: %2; padding: 6px;")
                              .arg(Theme::css(Theme::kText), Theme::css(Theme::kPlainButton)));
    m_done->move(8, 8);
    connect(m_done, &QPushButton::clicked, this, &VideoMovieScreen::finish);
    m_timer->setInterval(kTickMs);
    m_timer->setTimerType(Qt::PreciseTimer);
    connect(m_timer, &QTimer::timeout, this, &VideoMovieScreen::tick);
}

VideoMovieScreen::~VideoMovieScreen()
{
    stopWorker();
}

void VideoMovieScreen::play(const QString& path, Clock clock)
{
    if (m_worker.joinable() || m_finished)
        return;
    m_path = path;
    m_clock = std::move(clock);
    m_clockTime = m_clock ? m_clock() : kNaN;
    m_decoder = std::make_unique<VideoFrameDecoder>();
    if (!m_decoder->open(path)) {
        fail(m_decoder->errorString());
        return;
    }
    m_duration = m_decoder->duration();
    m_awaitingSeek = true;
    {
        std::lock_guard lock(m_mutex);
        m_seekTo = std::isnan(m_clockTime) ? 0.0 : m_clockTime;
        m_bounds = frameBounds();
    }
    m_worker = std::thread([this] { decodeLoop(); });
    m_timer->start();
    setFocus();
}

void VideoMovieScreen::tick()
{
    const double now = m_clock ? m_clock() : kNaN;
    if (std::isnan(now)) { // the sound this picture followed is gone
        m_clockTime = kNaN;
        finish();
        return;
    }
    std::optional<VideoFrameDecoder::Frame> due;
    bool noPicture = false;
    {
        std::lock_guard lock(m_mutex);
        if (now < m_clockTime - kJumpBack || now > m_clockTime + kJumpAhead) {
            m_queue.clear();
            m_seekTo = now;
            m_endOfStream = false;
            m_awaitingSeek = true;
            m_wake.notify_one();
        }
        // The first frame after a seek is the one for its time, even when the
        // stream starts a little later.
        while (!m_queue.empty() && (m_queue.front().pts <= now || m_awaitingSeek)) {
            m_awaitingSeek = false;
            due = std::move(m_queue.front());
            m_queue.pop_front();
        }
        if (due)
            m_wake.notify_one();
        noPicture = m_endOfStream && m_decoded == 0;
    }
    m_clockTime = now;
    if (noPicture) {
        fail(QStringLiteral("Its frames cannot be decoded."));
        return;
    }
    if (due) {
        m_shown = std::move(*due);
        ++m_framesShown;
        update();
    }
}

void VideoMovieScreen::decodeLoop()
{
    std::unique_lock lock(m_mutex);
    for (;;) {
        m_wake.wait(lock, [this] {
            return m_stop || !std::isnan(m_seekTo) ||
                   (!m_endOfStream && m_queue.size() < kQueueFrames);
        });
        if (m_stop)
            return;
        const double seekTo = m_seekTo;
        m_seekTo = kNaN;
        const QSize bounds = m_bounds;
        lock.unlock();
        if (!std::isnan(seekTo))
            m_decoder->seek(seekTo);
        std::optional<VideoFrameDecoder::Frame> frame = m_decoder->next(bounds);
        lock.lock();
        if (!std::isnan(m_seekTo)) // decoded for a time the clock has left
            continue;
        if (!frame) {
            m_endOfStream = true;
            continue;
        }
        m_queue.push_back(std::move(*frame));
        ++m_decoded;
    }
}

void VideoMovieScreen::fail(const QString& reason)
{
    Alert::showMessage(QStringLiteral("Video"),
                       QStringLiteral("The picture of \u201c%1\u201d cannot be shown. %2 The sound "
                                      "goes on.")
                           .arg(QFileInfo(m_path).fileName(), reason));
    // Not a movie that ran to its end, whatever the clock says.
    m_duration = kNaN;
    hide();
    finish();
}

void VideoMovieScreen::finish()
{
    if (m_finished)
        return;
    m_finished = true;
    m_timer->stop();
    if (m_clock && !std::isnan(m_clockTime))
        m_clockTime = m_clock();
    stopWorker();
    Q_EMIT finished();
}

void VideoMovieScreen::stopWorker()
{
    if (!m_worker.joinable())
        return;
    {
        std::lock_guard lock(m_mutex);
        m_stop = true;
    }
    m_wake.notify_one();
    m_worker.join();
}

QSize VideoMovieScreen::frameBounds() const
{
    return size() * devicePixelRatioF();
}

void VideoMovieScreen::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    painter.fillRect(rect(), Qt::black);
    if (m_shown.image.isNull())
        return;
    const QSize size = m_shown.image.size().scaled(this->size(), Qt::KeepAspectRatio);
    QRect target(QPoint(), size);
    target.moveCenter(rect().center());
    painter.drawImage(target, m_shown.image);
}

void VideoMovieScreen::keyPressEvent(QKeyEvent *event)
{
    if (event->key() == Qt::Key_Escape)
        finish();
    else
        MovieScreen::keyPressEvent(event);
}

void VideoMovieScreen::resizeEvent(QResizeEvent *event)
{
    MovieScreen::resizeEvent(event);
    std::lock_guard lock(m_mutex);
    m_bounds = frameBounds();
}
