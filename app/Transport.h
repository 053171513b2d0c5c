#pragma once

// The playback side of the player, apart from any widget: the current list (a
// PlaylistModel stored and filled by CurrentList), the playback modes, the index
// of the current item (currentSong), the engine that plays it (player) and the
// one queued to follow it without a gap, the runs that skip unplayable items, the
// audio interruptions of sleep, the volume control's value, the desktop's remote
// control (it is the MPRIS target) and the effects of the engines (it is the
// settings screens' EffectsControl).
//
// A new engine is made for every item loaded and the previous one is destroyed,
// which stops it. Every new engine is prepared with the stored effect settings,
// overridden by the values changed through EffectsControl during this run; a
// change is pushed at once to the engine that plays and to the queued one.
//
// Sound behaviour beyond the plain rules:
//  - skipping items that cannot be played (missing, unsupported, failing to
//    open in the engine, or ending without a decoded frame) never opens an item
//    twice in one run: it stops when next gives an index already tried, and then
//    no engine is held (stopped() names the last item tried as current);
//  - the end of an item with nothing to follow it (the list was cleared or
//    shortened) releases the engine: the player shows and reports "stopped";
//  - the end of a sleep resumes playback only if it was playing before;
//  - the current item is highlighted from the start, before anything plays;
//  - an item that failed to play is shown dimmed for the rest of the run;
//  - a remote play/pause toggle with no engine held loads the current item, as
//    the play button does (otherwise a media key would answer and do nothing).
//
// It opens no window or dialog: what the screen shows follows its signals.
// Main thread only. Workers build lists and hand them to the main thread, which
// alone changes the model.

#include "app/RemoteControlTarget.h"
#include "app/TransportRules.h"
#include "audio/CAPlayerDelegate.h"
#include "audio/EffectsControl.h"
#include "media/MediaDesc.h"
#include "services/Failure.h"

#include <QObject>
#include <QStringList>
#include <functional>
#include <memory>
#include <optional>

class CAPlayer;
class CurrentList;
class MprisService;
class PlaylistModel;

class Transport : public QObject,
                  public CAPlayerDelegate,
                  public RemoteControlTarget,
                  public EffectsControl {
    Q_OBJECT
public:
    // Restores the current list from "Last Playlist" and the volume from
    // "SystemVolume" (0..100, default 100), and offers itself on the session bus.
    explicit Transport(QObject *parent = nullptr);
    ~Transport() override;

    // Seams for tests and benchmarks.
    using EngineFactory = std::function<std::unique_ptr<CAPlayer>(const QString& path)>;
    void setEngineFactory(EngineFactory factory) { m_engineFactory = std::move(factory); }
    void setRandom(TransportRules::Random random) { m_random = std::move(random); }

    // State.
    CAPlayer *player() const { return m_player.get(); }
    const MediaList& tableContents() const;
    int currentSong() const { return m_currentSong; }
    bool repeatOne() const { return m_modes.repeatOne; }
    bool repeatAll() const { return m_modes.repeatAll; }
    bool shuffleOn() const { return m_modes.shuffleOn; }
    PlaylistModel *model() const { return m_model; }
    CurrentList *currentList() const { return m_currentList; }
    // Display name of the current item: "artist - title", the one of them
    // present, or the file name without its extension; empty without an item.
    QString currentSongName() const;
    bool currentIsVideo() const;

    // The volume control, 0..100: applied to the output and stored at once.
    int volume() const { return m_volume; }
    void setVolume(int volume);

    // Transport. loadPlayerWithPath ignores an index outside the list.
    void loadPlayerWithPath(int index);
    void playButton();
    void forwardButton();
    void backwardButton();
    void repeatButton();
    void shuffleButton();
    void seekTime(float seconds);
    // A restart that resumes: index becomes the current item and modes the modes,
    // with nothing playing; the first load of index then starts at seconds. An
    // index outside the list is ignored (the modes still apply).
    void cue(int index, double seconds, const PlaybackModes& modes);
    PlaybackModes modes() const { return m_modes; }
    // Where the current item will start when it is cued (seconds), else 0.
    double cuedTime() const
    {
        return m_cuedStart && m_cuedStart->first == m_currentSong ? m_cuedStart->second : 0.0;
    }
    // Seeks by delta seconds from the time played, kept within 0..duration.
    void seekBy(float delta);
    // A shake: next, when "Shake To Shuffle" is on.
    void motionEnded();
    void beginInterruption();
    void endInterruption();

    // The current list. The adding operations run their slow part on a worker and
    // finish on the main thread; then() (if given) runs after the list changed.
    void addCollectionWithItems(const QStringList& paths);
    void addCollectionWithItems(const QStringList& paths, bool report, std::function<void()> then);
    void addCollectionWithFileName(const QString& name);
    void updateLastPlaylist();
    // Empties the list for this run (not stored); the engine plays on.
    void clearList();

    // CAPlayerDelegate.
    void playerIsPlaying(bool playing) override;
    void playerDidFinishPlaying() override;

    // RemoteControlTarget.
    void remoteControlReceivedWithEvent(int subtype) override;
    PlaybackStatus remotePlaybackStatus() const override;
    std::optional<Track> remoteCurrentTrack() const override;
    qint64 remotePosition() const override;
    LoopStatus remoteLoopStatus() const override;
    bool remoteShuffle() const override;
    bool remoteCanGoNext() const override;
    bool remoteCanGoPrevious() const override;
    bool remoteCanPlay() const override;
    bool remoteCanPause() const override;
    bool remoteCanSeek() const override;
    double remoteVolume() const override;
    void remoteSetVolume(double volume) override;
    void remoteSeek(qint64 positionUs) override;
    void remoteSetLoopStatus(LoopStatus status) override;
    void remoteSetShuffle(bool on) override;
    void remoteRaise() override { Q_EMIT raiseRequested(); }
    void remoteQuit() override { Q_EMIT quitRequested(); }

    // The notice of a failed store of the list and settings, with the system's reason.
    static QString storeFailureText(const QString& reason);

    // EffectsControl.
    std::optional<EffectSettings> engineEffects() const override;
    QStringList eqPresetNames() const override;
    void setEQPreset(int32_t index) override;
    void setPlaybackRate(float value) override;
    void setKeepPitch(bool on) override;
    void setVolumeLimit(float value) override;
    void setReplayGain(ReplayGain::Mode mode) override;
    // What the next engine made is prepared with.
    EffectSettings effectsForNewEngine() const;

Q_SIGNALS:
    // A new engine holds the current item and has been started.
    void itemLoaded();
    // No engine is held any more (a skip run found nothing to play, or the list
    // ran out); the current item is the last one tried.
    void stopped();
    // The engine started (true) or stopped producing sound (false).
    void playingChanged(bool playing);
    void modesChanged();
    // The list was replaced or extended.
    void listChanged();
    void volumeChanged(int volume);
    // An addition finished: the count of items to report to the user.
    void countToReport(int count);
    // A store could not do what was asked (a playlist to play could not be read);
    // nothing changed.
    void failureToReport(const Failure& failure);
    // A short notice for the screen to show without stopping the user: the stored
    // list and settings could not be written (said once until a write succeeds
    // again; storeFailureText()).
    void noticeToShow(const QString& text);
    // The remote control asks to show the window, or to end the program.
    void raiseRequested();
    void quitRequested();

private:
    void listInstalled();
    // The path of the item at index when it can be played (named, present and of
    // a supported kind); empty otherwise.
    QString playablePath(int index) const;
    std::unique_ptr<CAPlayer> makeEngine(const QString& path) const;
    // Loads index; false when the item cannot be played.
    bool tryLoad(int index);
    // Prepares and queues the engine of the item after the current one.
    void prepareNext();
    void dropNext();
    // Moves by the rules of next (or previous) and loads, skipping unplayable
    // items within one run; false when the rules give no item to load.
    bool advance(bool forward);
    void skipFrom(int failedIndex);
    void stopAt(int lastTriedIndex);
    void notifyRemote();
    // Applies change to the engine that plays and to the queued one.
    void forEachEngine(const std::function<void(CAPlayer&)>& change);

    PlaylistModel *m_model = nullptr;     // owned (child)
    CurrentList *m_currentList = nullptr; // owned (child)
    MprisService *m_mpris = nullptr;      // owned (child)
    // Main thread only, like everything below.
    std::unique_ptr<CAPlayer> m_player;
    // The engine of the item that follows, prepared while m_player plays and queued
    // on the device to sound from the sample where m_player's file ends; its index
    // (drawn early with shuffle, -1 when none). Both dropped whenever the list, the
    // modes or the current item change.
    std::unique_ptr<CAPlayer> m_nextPlayer;
    int m_nextIndex = -1;
    EngineFactory m_engineFactory;
    TransportRules::Random m_random = &TransportRules::systemRandom;
    SkipGuard m_skipGuard;
    PlaybackModes m_modes;
    // Where the first load of a cued item starts (item, seconds); main thread only.
    std::optional<std::pair<int, double>> m_cuedStart;
    // The effect values changed through EffectsControl during this run.
    EffectSettings m_pushedEffects;
    int m_currentSong = 0;
    int m_volume = 100;
    bool m_playingBeforeInterruption = false;
};
