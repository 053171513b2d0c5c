#include "app/MprisPlayerAdaptor.h"

#include "app/MprisService.h"

MprisPlayerAdaptor::MprisPlayerAdaptor(MprisService *service)
    : QDBusAbstractAdaptor(service), m_service(service)
{}

QString MprisPlayerAdaptor::playbackStatus() const
{
    return MprisService::playbackStatusName(m_service->target()->remotePlaybackStatus());
}

QString MprisPlayerAdaptor::loopStatus() const
{
    return MprisService::loopStatusName(m_service->target()->remoteLoopStatus());
}

void MprisPlayerAdaptor::setLoopStatus(const QString& status)
{
    m_service->setLoopStatus(status);
}

bool MprisPlayerAdaptor::shuffle() const
{
    return m_service->target()->remoteShuffle();
}

void MprisPlayerAdaptor::setShuffle(bool on)
{
    m_service->setShuffle(on);
}

QVariantMap MprisPlayerAdaptor::metadata() const
{
    return m_service->metadata();
}

double MprisPlayerAdaptor::volume() const
{
    return m_service->target()->remoteVolume();
}

void MprisPlayerAdaptor::setVolume(double volume)
{
    m_service->setVolume(volume);
}

qlonglong MprisPlayerAdaptor::position() const
{
    return m_service->target()->remotePosition();
}

bool MprisPlayerAdaptor::canGoNext() const
{
    return m_service->target()->remoteCanGoNext();
}

bool MprisPlayerAdaptor::canGoPrevious() const
{
    return m_service->target()->remoteCanGoPrevious();
}

bool MprisPlayerAdaptor::canPlay() const
{
    return m_service->target()->remoteCanPlay();
}

bool MprisPlayerAdaptor::canPause() const
{
    return m_service->target()->remoteCanPause();
}

bool MprisPlayerAdaptor::canSeek() const
{
    return m_service->target()->remoteCanSeek();
}

void MprisPlayerAdaptor::Next()
{
    m_service->deliver(RemoteControlNextTrack);
}

void MprisPlayerAdaptor::Previous()
{
    m_service->deliver(RemoteControlPreviousTrack);
}

void MprisPlayerAdaptor::Pause()
{
    m_service->deliver(RemoteControlPause);
}

void MprisPlayerAdaptor::PlayPause()
{
    m_service->deliver(RemoteControlTogglePlayPause);
}

void MprisPlayerAdaptor::Stop()
{
    m_service->deliver(RemoteControlStop);
}

void MprisPlayerAdaptor::Play()
{
    m_service->deliver(RemoteControlPlay);
}

void MprisPlayerAdaptor::Seek(qlonglong Offset)
{
    m_service->seekBy(Offset);
}

void MprisPlayerAdaptor::SetPosition(const QDBusObjectPath& TrackId, qlonglong Position)
{
    m_service->setPosition(TrackId, Position);
}

void MprisPlayerAdaptor::OpenUri(const QString&)
{
    // The current list is filled from the player's own screens; a URI handed in from
    // outside has no place in it.
    m_service->refuseCall(QStringLiteral("Opening a URI is not supported"));
}
