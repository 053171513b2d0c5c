#include "app/Transport.h"

#include "app/CurrentList.h"
#include "app/MprisService.h"
#include "app/SleepWatcher.h"
#include "audio/CAPlayer.h"
#include "audio/SystemVolume.h"
#include "platform/Dispatch.h"
#include "platform/UserDefaults.h"
#include "playlists/PlaylistModel.h"
#include "services/EffectSettingsStore.h"
#include "services/FileManager.h"
#include "services/SettingsHelper.h"

#include <QPointer>
#include <algorithm>
#include <cmath>

namespace {
// The volume control's value (0..100), kept apart from the settings.
const QString kSystemVolume = QStringLiteral("SystemVolume");
} // namespace

Transport::Transport(QObject *parent)
    : QObject(parent), m_model(new PlaylistModel(this)),
      m_currentList(new CurrentList(m_model, this))
{
    const QVariant stored = UserDefaults::standard().objectForKey(kSystemVolume);
    if (stored.canConvert<int>() && stored.toInt() >= 0 && stored.toInt() <= 100)
        m_volume = stored.toInt();
    SystemVolume::set(float(m_volume) / 100.0f);

    m_mpris = new MprisService(this, this);
    auto *sleep = new SleepWatcher(this);
    connect(sleep, &SleepWatcher::interruptionBegan, this, &Transport::beginInterruption);
    connect(sleep, &SleepWatcher::interruptionEnded, this, &Transport::endInterruption);

    connect(m_currentList, &CurrentList::installed, this, &Transport::listInstalled);
    connect(m_currentList, &CurrentList::countReady, this, &Transport::countToReport);
    connect(m_currentList, &CurrentList::readFailed, this, &Transport::failureToReport);
    // The store of the list (on a worker) and of the settings (on the main thread)
    // write one file; the screen hears of its failures on the main thread.
    UserDefaults::standard().setWriteFailureHandler(
        [self = QPointer<Transport>(this)](const QString& reason) {
            Dispatch::main([self, text = storeFailureText(reason)] {
                if (self)
                    Q_EMIT self->noticeToShow(text);
            });
        });
    // What follows the current item depends on the list. A list cleared or made
    // shorter than the current index moves it to 0 (the engine plays on), so that
    // play, next and the remote Can* flags act on an item of the list.
    const auto listChanged = [this] {
        if (m_currentSong >= tableContents().size()) {
            m_currentSong = 0;
            m_model->setCurrentRow(0);
        }
        prepareNext();
    };
    connect(m_model, &QAbstractItemModel::rowsInserted, this, listChanged);
    connect(m_model, &QAbstractItemModel::rowsRemoved, this, listChanged);
    connect(m_model, &QAbstractItemModel::rowsMoved, this, listChanged);
    connect(m_model, &QAbstractItemModel::modelReset, this, listChanged);
    m_currentList->restore();
    m_model->setCurrentRow(m_currentSong);
}

Transport::~Transport()
{
    // The engine's last message (playing: NO) must not reach a half-destroyed target.
    dropNext();
    if (m_player)
        m_player->setDelegate(nullptr);
    m_player.reset();
}

// ---- The current list ----

const MediaList& Transport::tableContents() const
{
    return m_model->items();
}

QString Transport::storeFailureText(const QString& reason)
{
    return QStringLiteral("Could not save the list and settings (%1). The ones saved "
                          "before are kept.")
        .arg(reason);
}

void Transport::updateLastPlaylist()
{
    m_currentList->store();
}

void Transport::addCollectionWithItems(const QStringList& paths)
{
    addCollectionWithItems(paths, true, {});
}

void Transport::addCollectionWithItems(const QStringList& paths, bool report,
                                       std::function<void()> then)
{
    m_currentList->append(paths, report, std::move(then));
}

void Transport::addCollectionWithFileName(const QString& name)
{
    m_currentList->replaceWithPlaylist(name);
}

void Transport::clearList()
{
    m_model->clear();
    notifyRemote();
}

void Transport::listInstalled()
{
    m_model->setCurrentRow(m_currentSong);
    Q_EMIT listChanged();
    notifyRemote();
}

QString Transport::currentSongName() const
{
    const MediaDescPtr item = tableContents().value(m_currentSong);
    if (!item)
        return {};
    if (item->title && item->artist)
        return QStringLiteral("%1 - %2").arg(*item->artist, *item->title);
    if (item->title)
        return *item->title;
    if (item->artist)
        return *item->artist;
    return PlaylistModel::fileTitle(item->filePath.value_or(QString()));
}

bool Transport::currentIsVideo() const
{
    const MediaDescPtr item = tableContents().value(m_currentSong);
    return item && item->filePath && FileManager::isVideoFile(*item->filePath);
}

// ---- Loading and the queue ----

QString Transport::playablePath(int index) const
{
    const MediaDescPtr item = tableContents().value(index);
    const QString path = item && item->filePath ? *item->filePath : QString();
    if (path.isEmpty() || !FileManager::fileExistAtPath(path) ||
        !FileManager::fileIsSupported(path))
        return {};
    return path;
}

std::unique_ptr<CAPlayer> Transport::makeEngine(const QString& path) const
{
    return m_engineFactory ? m_engineFactory(path) : std::make_unique<CAPlayer>(path);
}

bool Transport::tryLoad(int index)
{
    const QString path = playablePath(index);
    if (path.isEmpty())
        return false;
    std::unique_ptr<CAPlayer> engine;
    if (m_nextPlayer && m_nextIndex == index)
        engine = std::move(m_nextPlayer); // already queued, or sounding since a join
    dropNext();
    if (!engine)
        engine = makeEngine(path);
    if (!engine || !engine->isValid())
        return false;
    std::unique_ptr<CAPlayer> previous = std::move(m_player);
    if (previous)
        previous->setDelegate(nullptr); // its teardown reports NO to nobody
    m_player = std::move(engine);
    // The screen restarts its time display from the new engine's start.
    Q_EMIT playingChanged(false);
    m_player->setDelegate(this);
    m_player->prepareToPlay(effectsForNewEngine());
    if (m_cuedStart && m_cuedStart->first == index)
        m_player->setTime(float(m_cuedStart->second));
    m_cuedStart.reset();
    m_player->play();
    // Only now: the device then passes straight from the old stream to the new one
    // (smoothed) instead of pausing in between.
    previous.reset();

    m_model->setCurrentRow(index);
    m_model->setFailed(index, false);
    Q_EMIT itemLoaded();
    notifyRemote();
    prepareNext();
    return true;
}

void Transport::prepareNext()
{
    // Once the current file has ended, the queued engine sounds already; the end's
    // handler takes it over.
    if (m_nextPlayer && m_player && m_player->isAtEnd())
        return;
    dropNext();
    const int count = int(tableContents().size());
    if (!m_player || !m_player->canBeFollowed() || count == 0)
        return;
    // The draw for shuffle is made now instead of at the end: the distribution is
    // the same, and the index is kept even when its item cannot be prepared, so
    // that the end goes where the draw said.
    const int index = TransportRules::nextIndex(m_currentSong, count, m_modes, m_random);
    if (index < 0 || index >= count)
        return;
    m_nextIndex = index;
    const QString path = playablePath(index);
    if (path.isEmpty())
        return;
    std::unique_ptr<CAPlayer> engine = makeEngine(path);
    if (!engine)
        return;
    engine->prepareToPlay(effectsForNewEngine());
    if (engine->playAfter(*m_player))
        m_nextPlayer = std::move(engine);
}

void Transport::dropNext()
{
    m_nextPlayer.reset(); // leaves the device's queue
    m_nextIndex = -1;
}

void Transport::loadPlayerWithPath(int index)
{
    if (index < 0 || index >= tableContents().size())
        return;
    m_skipGuard.reset();
    m_skipGuard.tryIndex(index);
    m_currentSong = index;
    if (tryLoad(index))
        return;
    m_model->setFailed(index, true);
    skipFrom(index);
}

void Transport::skipFrom(int failedIndex)
{
    int lastTried = failedIndex;
    const int count = int(tableContents().size());
    while (count > 0) {
        const int index = TransportRules::nextIndex(lastTried, count, m_modes, m_random);
        if (index < 0 || index >= count || !m_skipGuard.tryIndex(index))
            break;
        lastTried = index;
        m_currentSong = index;
        if (tryLoad(index))
            return;
        m_model->setFailed(index, true);
    }
    stopAt(lastTried);
}

void Transport::stopAt(int lastTriedIndex)
{
    dropNext();
    if (m_player)
        m_player->setDelegate(nullptr);
    m_player.reset();
    m_currentSong = lastTriedIndex;
    m_model->setCurrentRow(lastTriedIndex);
    Q_EMIT stopped();
    notifyRemote();
}

bool Transport::advance(bool forward)
{
    const int count = int(tableContents().size());
    if (count == 0)
        return false;
    int index = m_nextIndex;
    if (!forward)
        index = TransportRules::previousIndex(m_currentSong, count, m_modes, m_random);
    else if (index < 0)
        index = TransportRules::nextIndex(m_currentSong, count, m_modes, m_random);
    if (index < 0 || index >= count)
        return false;
    const bool sameItem = index == m_currentSong;
    loadPlayerWithPath(index);
    if (sameItem)
        m_mpris->playerSeeked(0);
    return true;
}

// ---- The controls ----

void Transport::forwardButton()
{
    advance(true);
}

void Transport::backwardButton()
{
    advance(false);
}

void Transport::playButton()
{
    if (m_player && m_player->isPlaying())
        m_player->pause();
    else if (m_player && m_player->isPaused())
        m_player->play();
    else if (m_currentSong >= 0 && m_currentSong < tableContents().size())
        loadPlayerWithPath(m_currentSong);
}

void Transport::repeatButton()
{
    if (m_modes.repeatOne) {
        m_modes.repeatOne = false;
        m_modes.repeatAll = true;
    } else if (m_modes.repeatAll) {
        m_modes.repeatAll = false;
    } else {
        m_modes.repeatOne = true;
    }
    Q_EMIT modesChanged();
    prepareNext();
    notifyRemote();
}

void Transport::shuffleButton()
{
    m_modes.shuffleOn = !m_modes.shuffleOn;
    Q_EMIT modesChanged();
    prepareNext();
    notifyRemote();
}

void Transport::cue(int index, double seconds, const PlaybackModes& modes)
{
    m_modes = modes;
    if (index >= 0 && index < tableContents().size() && !m_player) {
        m_currentSong = index;
        m_cuedStart = {index, seconds};
        m_model->setCurrentRow(index);
    }
    Q_EMIT modesChanged();
    Q_EMIT stopped(); // the screen shows the cued item, not playing
    notifyRemote();
}

void Transport::seekTime(float seconds)
{
    if (!m_player)
        return;
    m_player->setTime(seconds);
    m_mpris->playerSeeked(qint64(double(m_player->getTime()) * 1e6));
}

void Transport::seekBy(float delta)
{
    if (!m_player)
        return;
    seekTime(std::clamp(m_player->getTime() + delta, 0.0f, qMax(0.0f, m_player->duration())));
}

void Transport::motionEnded()
{
    if (SettingsHelper::getSwitchStateForSettingWithName(QStringLiteral("Shake To Shuffle")))
        forwardButton();
}

void Transport::setVolume(int volume)
{
    volume = std::clamp(volume, 0, 100);
    if (volume == m_volume)
        return;
    m_volume = volume;
    SystemVolume::set(float(volume) / 100.0f);
    UserDefaults::standard().setObject(kSystemVolume, volume);
    UserDefaults::standard().synchronize();
    Q_EMIT volumeChanged(volume);
    notifyRemote();
}

// ---- The engine and the system ----

void Transport::playerIsPlaying(bool playing)
{
    Q_EMIT playingChanged(playing);
    notifyRemote();
}

void Transport::playerDidFinishPlaying()
{
    // An engine stays "playing" at the end of its file; with nothing to follow it
    // the player must show, and report, that no sound is produced.
    if (m_player && !m_player->hasDecodedFrames()) {
        // Opened, but nothing in it could be played: a failed item of this run.
        m_model->setFailed(m_currentSong, true);
        skipFrom(m_currentSong);
        return;
    }
    if (!advance(true))
        stopAt(m_currentSong);
}

void Transport::beginInterruption()
{
    m_playingBeforeInterruption = m_player && m_player->isPlaying();
    if (m_player)
        m_player->pause();
}

void Transport::endInterruption()
{
    // Resuming a player the user had paused would be a surprise after a wake-up.
    if (m_player && m_playingBeforeInterruption)
        m_player->play();
    m_playingBeforeInterruption = false;
}

// ---- Remote control ----

void Transport::notifyRemote()
{
    m_mpris->playerStateChanged();
}

void Transport::remoteControlReceivedWithEvent(int subtype)
{
    switch (subtype) {
    case RemoteControlPause:
        playButton();
        break;
    case RemoteControlStop:
        if (m_player)
            m_player->stop();
        break;
    case RemoteControlTogglePlayPause:
        // Without an engine (after a restart, or once the list ran out) the key
        // does what the play button does: it loads the current item.
        if (m_player && m_player->isPlaying())
            m_player->pause();
        else if (m_player)
            m_player->play();
        else
            playButton();
        break;
    case RemoteControlNextTrack:
        forwardButton();
        break;
    case RemoteControlPreviousTrack:
        backwardButton();
        break;
    default: // play and every other subtype are ignored
        break;
    }
}

RemoteControlTarget::PlaybackStatus Transport::remotePlaybackStatus() const
{
    if (m_player && m_player->isPlaying())
        return PlaybackStatus::Playing;
    if (m_player && m_player->isPaused())
        return PlaybackStatus::Paused;
    return PlaybackStatus::Stopped;
}

std::optional<RemoteControlTarget::Track> Transport::remoteCurrentTrack() const
{
    const MediaDescPtr item = tableContents().value(m_currentSong);
    if (!item || !m_player)
        return std::nullopt;
    Track track;
    track.index = m_currentSong;
    track.title = item->title.value_or(QString());
    track.artist = item->artist.value_or(QString());
    track.filePath = item->filePath.value_or(QString());
    track.album = item->album.value_or(QString());
    track.lengthUs = qint64(double(m_player->duration()) * 1e6);
    return track;
}

qint64 Transport::remotePosition() const
{
    return m_player ? qint64(double(m_player->getTime()) * 1e6) : 0;
}

RemoteControlTarget::LoopStatus Transport::remoteLoopStatus() const
{
    return m_modes.repeatOne   ? LoopStatus::Track
           : m_modes.repeatAll ? LoopStatus::Playlist
                               : LoopStatus::None;
}

bool Transport::remoteShuffle() const
{
    return m_modes.shuffleOn;
}

bool Transport::remoteCanGoNext() const
{
    return !tableContents().isEmpty();
}

bool Transport::remoteCanGoPrevious() const
{
    return !tableContents().isEmpty();
}

bool Transport::remoteCanPlay() const
{
    return m_player || (m_currentSong >= 0 && m_currentSong < tableContents().size());
}

bool Transport::remoteCanPause() const
{
    return m_player && m_player->isPlaying();
}

bool Transport::remoteCanSeek() const
{
    return m_player && m_player->duration() > 0;
}

double Transport::remoteVolume() const
{
    return m_volume / 100.0;
}

void Transport::remoteSetVolume(double volume)
{
    setVolume(int(std::lround(volume * 100.0)));
}

void Transport::remoteSeek(qint64 positionUs)
{
    if (m_player)
        m_player->setTime(float(double(positionUs) / 1e6));
}

void Transport::remoteSetLoopStatus(LoopStatus status)
{
    // Step the button until it shows the mode asked for.
    for (int i = 0; i < 3 && remoteLoopStatus() != status; ++i)
        repeatButton();
}

void Transport::remoteSetShuffle(bool on)
{
    if (m_modes.shuffleOn != on)
        shuffleButton();
}

// ---- Effects ----

std::optional<EffectSettings> Transport::engineEffects() const
{
    if (!m_player)
        return std::nullopt;
    return EffectSettings{m_player->EQPressetId(), m_player->playbackRate(),
                          m_player->volumeLimit(), m_player->replayGainMode(),
                          m_player->keepPitch()};
}

QStringList Transport::eqPresetNames() const
{
    return m_player ? m_player->EQPressets() : QStringList();
}

EffectSettings Transport::effectsForNewEngine() const
{
    EffectSettings effects = EffectSettingsStore::stored();
    if (m_pushedEffects.eqPreset)
        effects.eqPreset = m_pushedEffects.eqPreset;
    if (m_pushedEffects.playbackRate)
        effects.playbackRate = m_pushedEffects.playbackRate;
    if (m_pushedEffects.volumeLimit)
        effects.volumeLimit = m_pushedEffects.volumeLimit;
    if (m_pushedEffects.replayGain)
        effects.replayGain = m_pushedEffects.replayGain;
    if (m_pushedEffects.keepPitch)
        effects.keepPitch = m_pushedEffects.keepPitch;
    return effects;
}

void Transport::forEachEngine(const std::function<void(CAPlayer&)>& change)
{
    for (CAPlayer *engine : {m_player.get(), m_nextPlayer.get()})
        if (engine)
            change(*engine);
}

void Transport::setEQPreset(int32_t index)
{
    m_pushedEffects.eqPreset = index;
    forEachEngine([index](CAPlayer& engine) { engine.pressetId(index); });
}

void Transport::setPlaybackRate(float value)
{
    m_pushedEffects.playbackRate = value;
    forEachEngine([value](CAPlayer& engine) { engine.playbackRate(value); });
}

void Transport::setKeepPitch(bool on)
{
    m_pushedEffects.keepPitch = on;
    forEachEngine([on](CAPlayer& engine) { engine.keepPitch(on); });
}

void Transport::setVolumeLimit(float value)
{
    m_pushedEffects.volumeLimit = value;
    forEachEngine([value](CAPlayer& engine) { engine.volumeLimit(value); });
}

void Transport::setReplayGain(ReplayGain::Mode mode)
{
    m_pushedEffects.replayGain = mode;
    forEachEngine([mode](CAPlayer& engine) { engine.replayGain(mode); });
}
