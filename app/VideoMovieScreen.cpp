#include "app/VideoMovieScreen.h"

#include <QAudioOutput>
#include <QKeyEvent>
#include <QMediaPlayer>
#include <QPushButton>
#include <QUrl>
#include <QVBoxLayout>
#include <QVideoWidget>
#include <cmath>

VideoMovieScreen::VideoMovieScreen(QWidget *parent)
    : MovieScreen(parent), m_player(new QMediaPlayer(this)), m_audio(new QAudioOutput(this))
{
    setAutoFillBackground(true);
    QPalette pal = palette();
    pal.setColor(QPalette::Window, Qt::black);
    setPalette(pal);
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    auto *done = new QPushButton(QStringLiteral("Done"), this);
    done->setStyleSheet(QStringLiteral("color: white; background: #333; padding: 6px;"));
    layout->addWidget(done, 0, Qt::AlignLeft);
    auto *video = new QVideoWidget(this);
    layout->addWidget(video, 1);
    m_audio->setMuted(true);
    m_player->setAudioOutput(m_audio);
    m_player->setVideoOutput(video);
    connect(done, &QPushButton::clicked, this, &VideoMovieScreen::close);
    connect(m_player, &QMediaPlayer::mediaStatusChanged, this, [this](QMediaPlayer::MediaStatus s) {
        if (s == QMediaPlayer::LoadedMedia && m_startSeconds > 0)
            m_player->setPosition(qint64(m_startSeconds * 1000));
        if (s == QMediaPlayer::EndOfMedia || s == QMediaPlayer::InvalidMedia)
            close();
    });
    setFocusPolicy(Qt::StrongFocus);
}

VideoMovieScreen::~VideoMovieScreen() = default;

void VideoMovieScreen::play(const QString& path, double startSeconds)
{
    m_startSeconds = startSeconds;
    m_player->setSource(QUrl::fromLocalFile(path));
    m_player->setPosition(qint64(startSeconds * 1000));
    m_player->play();
    setFocus();
}

double VideoMovieScreen::currentTime() const
{
    return m_player->mediaStatus() == QMediaPlayer::EndOfMedia ? duration()
                                                               : m_player->position() / 1000.0;
}

double VideoMovieScreen::duration() const
{
    const qint64 ms = m_player->duration();
    return ms > 0 ? ms / 1000.0 : std::nan("");
}

void VideoMovieScreen::keyPressEvent(QKeyEvent *event)
{
    if (event->key() == Qt::Key_Escape)
        close();
    else
        MovieScreen::keyPressEvent(event);
}

void VideoMovieScreen::close()
{
    if (m_finished)
        return;
    m_finished = true;
    m_player->pause();
    Q_EMIT finished();
}
