#pragma once

// What the desktop's remote control (MPRIS, media keys) may ask of the player and
// read from it. Transport implements it; MprisService calls it.
//
// Every function is called on the main thread only, from the event loop (never from
// inside another call of the target), and must answer at once: the state functions
// are read whenever a D-Bus client asks, so they compute from fields, never by
// waiting on the engine or a worker.

#include <QString>
#include <QtGlobal>
#include <optional>

// Subtypes of a remote-control event, as delivered to remoteControlReceivedWithEvent.
enum RemoteControlSubtype : int {
    RemoteControlPlay = 100,
    RemoteControlPause = 101,
    RemoteControlStop = 102,
    RemoteControlTogglePlayPause = 103,
    RemoteControlNextTrack = 104,
    RemoteControlPreviousTrack = 105,
};

class RemoteControlTarget {
public:
    enum class PlaybackStatus { Playing, Paused, Stopped };

    // None = repeat off, Track = repeat one, Playlist = repeat all.
    enum class LoopStatus { None, Track, Playlist };

    // The item the engine holds (playing, paused, or loaded and stopped).
    struct Track {
        int index = 0;       // position in the current list, 0-based
        QString title;       // empty when the item has no title tag
        QString artist;      // empty when the item has no artist tag
        QString filePath;    // absolute
        qint64 lengthUs = 0; // play length in microseconds; 0 when not known
        QString album{};     // empty when the item has no album tag

        bool operator==(const Track&) const = default;
    };

    virtual ~RemoteControlTarget() = default;

    // A command of the remote control: one of RemoteControlSubtype. The target
    // applies its own rules (it may ignore RemoteControlPlay, and does for now).
    virtual void remoteControlReceivedWithEvent(int subtype) = 0;

    virtual PlaybackStatus remotePlaybackStatus() const = 0;
    // The item the engine holds; none before the first load or with an empty list.
    virtual std::optional<Track> remoteCurrentTrack() const = 0;
    // Position in the current item, microseconds, 0 … its length; 0 without one.
    virtual qint64 remotePosition() const = 0;
    virtual LoopStatus remoteLoopStatus() const = 0;
    virtual bool remoteShuffle() const = 0;

    // Whether the matching command would do anything now. canPlay: TogglePlayPause
    // would start, resume or (while playing) pause; canPause: playing, so that
    // Pause would pause. canSeek implies a current track whose length is known.
    virtual bool remoteCanGoNext() const = 0;
    virtual bool remoteCanGoPrevious() const = 0;
    virtual bool remoteCanPlay() const = 0;
    virtual bool remoteCanPause() const = 0;
    virtual bool remoteCanSeek() const = 0;

    // The volume control, 0 … 1. A target without one answers 1 and ignores writes.
    virtual double remoteVolume() const { return 1.0; }
    // Moves the volume control to volume (already within 0 … 1) as the user would:
    // the sound follows and the value is remembered.
    virtual void remoteSetVolume(double volume) { Q_UNUSED(volume); }

    // Moves the current item to positionUs (microseconds, already within
    // 0 … the track's length).
    virtual void remoteSeek(qint64 positionUs) = 0;
    // Sets the repeat mode as the repeat button would (image included).
    virtual void remoteSetLoopStatus(LoopStatus status) = 0;
    // Sets shuffle on or off as the shuffle button would (image included).
    virtual void remoteSetShuffle(bool on) = 0;
    // Shows the window and brings it to the front (un-minimising it).
    virtual void remoteRaise() = 0;
    // Ends the program as closing its window would. Called from the event loop after
    // the D-Bus reply has gone, so the target may destroy the service here.
    virtual void remoteQuit() = 0;
};
