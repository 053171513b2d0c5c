#pragma once

// The player as an MPRIS 2 media player on the D-Bus session bus, so that desktop
// media keys, panels and tools such as playerctl can drive it.
//
// Bus name org.mpris.MediaPlayer2.quaverpro, object /org/mpris/MediaPlayer2, with the
// interfaces org.mpris.MediaPlayer2 (MprisRootAdaptor) and
// org.mpris.MediaPlayer2.Player (MprisPlayerAdaptor), whose properties are read and
// written through MprisPropertiesAdaptor (a write of the wrong type is refused with
// org.freedesktop.DBus.Error.InvalidArgs and changes nothing). Commands become calls
// of a RemoteControlTarget; properties are read from it. The current track's embedded
// picture is published as "mpris:artUrl" through an MprisArtCache in the XDG
// cache folder, kept by the active service only.
//
// Without a bus, or when another program holds the name, the service stays inert
// (nothing registered, every slot harmless) and says so once on standard error.
//
// Main thread only: create, call and destroy it on the thread of the event loop.

#include "app/RemoteControlTarget.h"

#include <QDBusConnection>
#include <QDBusContext>
#include <QDBusError>
#include <QObject>
#include <QString>
#include <QVariantMap>
#include <optional>
#include <utility>

class MprisArtCache;
class MprisPlayerAdaptor;
class MprisPropertiesAdaptor;
class MprisRootAdaptor;
class QDBusObjectPath;

// QDBusContext: calls to the adaptors run in the context of their parent, this.
class MprisService : public QObject, protected QDBusContext {
    Q_OBJECT
public:
    static constexpr const char *kServiceName = "org.mpris.MediaPlayer2.quaverpro";
    static constexpr const char *kObjectPath = "/org/mpris/MediaPlayer2";
    static constexpr const char *kRootInterface = "org.mpris.MediaPlayer2";
    static constexpr const char *kPlayerInterface = "org.mpris.MediaPlayer2.Player";
    // Track id of "no current track", as MPRIS defines it.
    static constexpr const char *kNoTrackPath = "/org/mpris/MediaPlayer2/TrackList/NoTrack";
    // Track ids are "<prefix>/<list index>/<generation>": MPRIS reserves /org/mpris for
    // itself, and the generation tells a file apart from the one that sat at the
    // same index before the list changed.
    static constexpr const char *kTrackPathPrefix = "/org/quaverpro/track";

    // Registers on the session bus at once. target is not owned and must outlive
    // the service.
    explicit MprisService(RemoteControlTarget *target, QObject *parent = nullptr);
    // The same on a given connection (tests use a private bus).
    MprisService(RemoteControlTarget *target, const QDBusConnection& bus,
                 QObject *parent = nullptr);
    // Releases the bus name and the object.
    ~MprisService() override;

    // True when the name and the object are registered.
    bool isActive() const { return m_active; }

    // ---- Used by the adaptors. ----
    RemoteControlTarget *target() const { return m_target; }
    // Track id of the current track, or kNoTrackPath.
    QString currentTrackId() const;
    // The MPRIS Metadata map (a{sv}) of the current track. Reading it starts the
    // extraction of a new track's picture; its "mpris:artUrl" follows with a
    // PropertiesChanged once the picture is in place.
    QVariantMap metadata() const;
    // Hands a RemoteControlSubtype to the target, then publishes what changed.
    void deliver(int subtype);
    // The two seeks below emit Seeked themselves when they move the position; the
    // transport calls playerSeeked only for jumps of its own.
    // Seek relative to the current position (µs). Below 0 starts the track again;
    // past the end moves to the next track. Nothing when the target cannot seek.
    void seekBy(qint64 offsetUs);
    // Absolute seek (µs) on the track with that id; ignored for any other track, or
    // a position outside 0 … the track's length, or when the target cannot seek.
    void setPosition(const QDBusObjectPath& trackId, qint64 positionUs);
    // "None", "Track" or "Playlist"; anything else is refused (InvalidArgs when a
    // D-Bus client asked) and changes nothing.
    void setLoopStatus(const QString& status);
    void setShuffle(bool on);
    // Volume 0 … 1; outside values are clamped, NaN is refused as above.
    void setVolume(double volume);
    void raise();
    // Answers the D-Bus call being handled with an error (nothing when the call did
    // not come over D-Bus): NotSupported, unless another type is given.
    void refuseCall(const QString& message);
    void refuseCall(QDBusError::ErrorType type, const QString& message);
    // Asks the target to quit once the current D-Bus call has been answered.
    void quit();

    static QString playbackStatusName(RemoteControlTarget::PlaybackStatus status);
    static QString loopStatusName(RemoteControlTarget::LoopStatus status);
    static std::optional<RemoteControlTarget::LoopStatus> loopStatusFromName(const QString& name);

public Q_SLOTS:
    // Re-reads the target and emits org.freedesktop.DBus.Properties.PropertiesChanged
    // for the player properties whose values changed since the last call (none: no
    // signal). Position is never part of it (clients read it when they need it).
    void playerStateChanged();
    // Emits Seeked: the position jumped to positionUs (µs) other than by playing on.
    void playerSeeked(qint64 positionUs);

private:
    void registerOnBus();
    void reportInert(const QString& why);
    // The player properties that PropertiesChanged reports, as published now.
    QVariantMap changingPlayerProperties() const;

    RemoteControlTarget *m_target; // main thread only; not owned
    QDBusConnection m_bus;
    MprisRootAdaptor *m_root;             // child of this
    MprisPlayerAdaptor *m_player;         // child of this
    MprisPropertiesAdaptor *m_properties; // child of this
    MprisArtCache *m_art = nullptr;       // child of this; made when the service becomes active
    bool m_active = false;
    QVariantMap m_published; // main thread only: values of the last PropertiesChanged

    // Track identity behind currentTrackId(); advanced lazily by whichever read sees
    // a new (index, path) first, so mutable. Main thread only.
    mutable std::optional<std::pair<int, QString>> m_trackKey;
    mutable quint64 m_trackGeneration = 0;
};
