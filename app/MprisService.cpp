#include "app/MprisService.h"

#include "app/BusName.h"
#include "app/MprisArtCache.h"
#include "app/MprisPlayerAdaptor.h"
#include "app/MprisPropertiesAdaptor.h"
#include "app/MprisRootAdaptor.h"

#include <QDBusError>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QFileInfo>
#include <QMetaObject>
#include <QUrl>
#include <QtNumeric>
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <limits>

MprisService::MprisService(RemoteControlTarget *target, QObject *parent)
    : MprisService(target, QDBusConnection::sessionBus(), parent)
{}

MprisService::MprisService(RemoteControlTarget *target, const QDBusConnection& bus, QObject *parent)
    : QObject(parent), m_target(target), m_bus(bus), m_root(new MprisRootAdaptor(this)),
      m_player(new MprisPlayerAdaptor(this)), m_properties(new MprisPropertiesAdaptor(this))
{
    registerOnBus();
}

MprisService::~MprisService()
{
    if (!m_active)
        return;
    m_bus.unregisterService(QLatin1String(kServiceName));
    m_bus.unregisterObject(QLatin1String(kObjectPath));
}

void MprisService::registerOnBus()
{
    if (!m_bus.isConnected()) {
        const QString detail = m_bus.lastError().message();
        reportInert(detail.isEmpty() ? QStringLiteral("no D-Bus session bus")
                                     : QStringLiteral("no D-Bus session bus (%1)").arg(detail));
        return;
    }
    const BusName::Claim claim =
        BusName::claim(m_bus, QLatin1String(kServiceName), QLatin1String(kObjectPath), this);
    if (!claim.owned) {
        reportInert(claim.whyNot);
        return;
    }
    m_active = true;
    // Only the service that holds the name keeps the cover file: a second program
    // started beside this one must not remove the cover that this one publishes.
    m_art = new MprisArtCache(MprisArtCache::defaultFolder(), this);
    connect(m_art, &MprisArtCache::artChanged, this, &MprisService::playerStateChanged);
    m_published = changingPlayerProperties();
}

void MprisService::reportInert(const QString& why)
{
    std::fprintf(stderr, "quaver-pro: media keys and MPRIS control are off: %s\n", qPrintable(why));
    std::fflush(stderr);
}

QString MprisService::currentTrackId() const
{
    const std::optional<RemoteControlTarget::Track> track = m_target->remoteCurrentTrack();
    if (!track)
        return QLatin1String(kNoTrackPath);
    std::pair<int, QString> key{track->index, track->filePath};
    if (m_trackKey != key) {
        m_trackKey = std::move(key);
        ++m_trackGeneration;
    }
    return QStringLiteral("%1/%2/%3")
        .arg(QLatin1String(kTrackPathPrefix))
        .arg(track->index)
        .arg(m_trackGeneration);
}

QVariantMap MprisService::metadata() const
{
    QVariantMap map;
    map.insert(QStringLiteral("mpris:trackid"),
               QVariant::fromValue(QDBusObjectPath(currentTrackId())));
    const std::optional<RemoteControlTarget::Track> track = m_target->remoteCurrentTrack();
    if (m_art)
        m_art->follow(track ? track->filePath : QString());
    if (!track)
        return map;
    // Desktops show the title alone; the player shows the file's name when the item
    // has no title, so they say the same.
    const QString title =
        track->title.isEmpty() ? QFileInfo(track->filePath).completeBaseName() : track->title;
    map.insert(QStringLiteral("xesam:title"), title);
    if (!track->artist.isEmpty())
        map.insert(QStringLiteral("xesam:artist"), QStringList{track->artist});
    if (!track->album.isEmpty())
        map.insert(QStringLiteral("xesam:album"), track->album);
    if (const QString art = m_art ? m_art->artUrl() : QString(); !art.isEmpty())
        map.insert(QStringLiteral("mpris:artUrl"), art);
    if (track->lengthUs > 0)
        map.insert(QStringLiteral("mpris:length"), qlonglong(track->lengthUs));
    map.insert(QStringLiteral("xesam:url"),
               QUrl::fromLocalFile(track->filePath).toString(QUrl::FullyEncoded));
    return map;
}

QVariantMap MprisService::changingPlayerProperties() const
{
    const RemoteControlTarget& t = *m_target;
    return {
        {QStringLiteral("PlaybackStatus"), playbackStatusName(t.remotePlaybackStatus())},
        {QStringLiteral("LoopStatus"), loopStatusName(t.remoteLoopStatus())},
        {QStringLiteral("Shuffle"), t.remoteShuffle()},
        {QStringLiteral("Metadata"), metadata()},
        {QStringLiteral("CanGoNext"), t.remoteCanGoNext()},
        {QStringLiteral("CanGoPrevious"), t.remoteCanGoPrevious()},
        {QStringLiteral("CanPlay"), t.remoteCanPlay()},
        {QStringLiteral("CanPause"), t.remoteCanPause()},
        {QStringLiteral("CanSeek"), t.remoteCanSeek()},
        {QStringLiteral("Volume"), t.remoteVolume()},
    };
}

void MprisService::playerStateChanged()
{
    if (!m_active)
        return;
    const QVariantMap now = changingPlayerProperties();
    QVariantMap changed;
    for (auto it = now.cbegin(); it != now.cend(); ++it) {
        if (m_published.value(it.key()) != it.value())
            changed.insert(it.key(), it.value());
    }
    m_published = now;
    if (changed.isEmpty())
        return;
    QDBusMessage signal = QDBusMessage::createSignal(
        QLatin1String(kObjectPath), QStringLiteral("org.freedesktop.DBus.Properties"),
        QStringLiteral("PropertiesChanged"));
    signal << QLatin1String(kPlayerInterface) << changed << QStringList();
    m_bus.send(signal);
}

void MprisService::playerSeeked(qint64 positionUs)
{
    if (m_active)
        Q_EMIT m_player->Seeked(positionUs);
}

void MprisService::deliver(int subtype)
{
    m_target->remoteControlReceivedWithEvent(subtype);
    playerStateChanged();
}

void MprisService::seekBy(qint64 offsetUs)
{
    const std::optional<RemoteControlTarget::Track> track = m_target->remoteCurrentTrack();
    if (!track || !m_target->remoteCanSeek())
        return;
    const qint64 from = m_target->remotePosition();
    // Saturate: a client may send any 64-bit offset.
    qint64 to = 0;
    if (qAddOverflow(from, offsetUs, &to))
        to = offsetUs > 0 ? std::numeric_limits<qint64>::max() : 0;
    if (to < 0)
        to = 0;
    if (track->lengthUs > 0 && to > track->lengthUs) {
        deliver(RemoteControlNextTrack);
        return;
    }
    m_target->remoteSeek(to);
    playerSeeked(to);
    playerStateChanged();
}

void MprisService::setPosition(const QDBusObjectPath& trackId, qint64 positionUs)
{
    const std::optional<RemoteControlTarget::Track> track = m_target->remoteCurrentTrack();
    if (!track || !m_target->remoteCanSeek() || trackId.path() != currentTrackId())
        return;
    if (positionUs < 0 || (track->lengthUs > 0 && positionUs > track->lengthUs))
        return;
    m_target->remoteSeek(positionUs);
    playerSeeked(positionUs);
    playerStateChanged();
}

void MprisService::setLoopStatus(const QString& status)
{
    const std::optional<RemoteControlTarget::LoopStatus> loop = loopStatusFromName(status);
    if (!loop) {
        refuseCall(QDBusError::InvalidArgs,
                   QStringLiteral("LoopStatus is \"None\", \"Track\" or \"Playlist\", not \"%1\"")
                       .arg(status));
        return;
    }
    m_target->remoteSetLoopStatus(*loop);
    playerStateChanged();
}

void MprisService::setShuffle(bool on)
{
    m_target->remoteSetShuffle(on);
    playerStateChanged();
}

void MprisService::setVolume(double volume)
{
    if (std::isnan(volume)) {
        refuseCall(QDBusError::InvalidArgs, QStringLiteral("Volume is a number, not NaN"));
        return;
    }
    m_target->remoteSetVolume(std::clamp(volume, 0.0, 1.0));
    playerStateChanged();
}

void MprisService::raise()
{
    m_target->remoteRaise();
}

void MprisService::refuseCall(const QString& message)
{
    refuseCall(QDBusError::NotSupported, message);
}

void MprisService::refuseCall(QDBusError::ErrorType type, const QString& message)
{
    if (calledFromDBus())
        sendErrorReply(type, message);
}

void MprisService::quit()
{
    // Quitting may destroy this service (and the adaptor still answering the call);
    // queued, it runs after the reply, and not at all once this object is gone.
    QMetaObject::invokeMethod(
        this, [this] { m_target->remoteQuit(); }, Qt::QueuedConnection);
}

QString MprisService::playbackStatusName(RemoteControlTarget::PlaybackStatus status)
{
    switch (status) {
    case RemoteControlTarget::PlaybackStatus::Playing:
        return QStringLiteral("Playing");
    case RemoteControlTarget::PlaybackStatus::Paused:
        return QStringLiteral("Paused");
    case RemoteControlTarget::PlaybackStatus::Stopped:
        break;
    }
    return QStringLiteral("Stopped");
}

QString MprisService::loopStatusName(RemoteControlTarget::LoopStatus status)
{
    switch (status) {
    case RemoteControlTarget::LoopStatus::Track:
        return QStringLiteral("Track");
    case RemoteControlTarget::LoopStatus::Playlist:
        return QStringLiteral("Playlist");
    case RemoteControlTarget::LoopStatus::None:
        break;
    }
    return QStringLiteral("None");
}

std::optional<RemoteControlTarget::LoopStatus> MprisService::loopStatusFromName(const QString& name)
{
    if (name == QLatin1String("None"))
        return RemoteControlTarget::LoopStatus::None;
    if (name == QLatin1String("Track"))
        return RemoteControlTarget::LoopStatus::Track;
    if (name == QLatin1String("Playlist"))
        return RemoteControlTarget::LoopStatus::Playlist;
    return std::nullopt;
}
