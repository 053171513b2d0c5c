#pragma once

// The player screen, root of the window: the transport over the current list, the
// list itself, and the commands that fill, store, save and clear it.
//
// Owns the current list (tableContents, stored and filled by CurrentList), the
// index of the current item (currentSong) and the one engine (player) that plays
// it; a new engine is made for every item loaded and the previous one is
// destroyed, which stops it. ListPanel folds and unfolds the list's panel.
//
// Sound behaviour beyond the plain rules:
//  - skipping items that cannot be played (missing, unsupported, failing to
//    open in the engine, or ending without a decoded frame) never opens an item
//    twice in one run: it stops when next gives an index already tried, and the
//    screen then shows the stopped state and the name of the last item tried;
//  - the end of an item with nothing to follow it (the list was cleared or
//    shortened) releases the engine: the player shows and reports "stopped";
//  - the end of a sleep resumes playback only if it was playing before;
//  - coming back to the foreground restarts the time display only while playing;
//  - the current item is highlighted from the start, before anything plays;
//  - an item that failed to play is shown dimmed for the rest of the run;
//  - a remote play/pause toggle with no engine held loads the current item, as
//    the play button does (otherwise a media key would answer and do nothing).
//
// Mouse and keys on the screen: a click on the time slider's track moves the knob
// there and seeks (the press goes on as a drag of the knob); every user move of
// the slider (drag, click, wheel) seeks through seekTime. Tab moves the focus in
// the order the controls are seen, top to bottom and left to right; Return or
// Enter presses the focused button; Space plays and pauses (a text field keeps
// it); Escape closes an open menu. Left/Right seek by kSeekStep seconds,
// Page Up/Page Down by kSeekPage, Up/Down move the volume by kVolumeStep, wherever
// the focus is on the screen except in a text field, the list (which keeps its
// arrow keys for moving between rows) and an open menu (Up/Down move between
// its entries). The screen's tooltip lists the keys (keysHelp).
//
// Main thread only. Workers build lists and hand them to the main thread, which
// alone changes what the table shows.

#include "app/LaunchOptions.h"
#include "app/ListPanel.h"
#include "app/MovieScreen.h"
#include "app/RemoteControlTarget.h"
#include "app/TransportRules.h"
#include "audio/CAPlayerDelegate.h"
#include "media/MediaDesc.h"

#include <QPointer>
#include <QWidget>
#include <functional>
#include <memory>

class CAPlayer;
class CurrentList;
class MprisService;
class PlaylistModel;
class PopupView;
class QLabel;
class QListView;
class QPushButton;
class QSlider;
class QTimer;

class MainViewController : public QWidget, public CAPlayerDelegate, public RemoteControlTarget {
    Q_OBJECT
public:
    // Fixed frames of the 320 x 460 screen.
    static constexpr int kPanelFolded = ListPanel::kFolded;
    static constexpr int kPanelUnfolded = ListPanel::kUnfolded;
    static constexpr int kPopupTag = 100;
    static constexpr int kTimerIntervalMs = 30;
    static constexpr float kSeekStep = 5.0f;  // s, Left/Right
    static constexpr float kSeekPage = 30.0f; // s, Page Up/Page Down
    static constexpr int kVolumeStep = 5;     // of the volume control's 0..100, Up/Down

    explicit MainViewController(QWidget *parent = nullptr);
    ~MainViewController() override;

    // The widgets the rules write, by their roles.
    struct Outlets {
        QListView *table = nullptr;
        QSlider *timeSeeker = nullptr;
        QPushButton *currentTimeLabel = nullptr; // a flat button: a click toggles countDown
        QLabel *songNameLabel = nullptr;
        QLabel *playlistInfoLabel = nullptr;
        QPushButton *playButton = nullptr;
        QPushButton *backwardButton = nullptr;
        QPushButton *forwardButton = nullptr;
        QPushButton *repeatButton = nullptr;
        QPushButton *shuffleButton = nullptr;
        QPushButton *videoButton = nullptr;
        QWidget *interfaceView = nullptr;
        QWidget *playlistContainer = nullptr;
        QPushButton *playlistButton = nullptr;
        QSlider *volumeView = nullptr;
    };
    const Outlets& outlets() const { return ui; }

    // Seams for tests and benchmarks.
    using EngineFactory = std::function<std::unique_ptr<CAPlayer>(const QString& path)>;
    void setEngineFactory(EngineFactory factory) { m_engineFactory = std::move(factory); }
    using MovieScreenFactory = std::function<MovieScreen *(QWidget *parent)>;
    void setMovieScreenFactory(MovieScreenFactory factory) { m_movieFactory = std::move(factory); }
    void setRandom(TransportRules::Random random) { m_random = std::move(random); }

    // State.
    CAPlayer *player() const { return m_player.get(); }
    const MediaList& tableContents() const;
    int currentSong() const { return m_currentSong; }
    bool repeatOne() const { return m_modes.repeatOne; }
    bool repeatAll() const { return m_modes.repeatAll; }
    bool shuffleOn() const { return m_modes.shuffleOn; }
    bool isTimerRunning() const;
    bool popoverIsActive() const { return m_popoverIsActive; }
    QString repeatImage() const { return m_repeatImage; }
    QString shuffleImage() const { return m_shuffleImage; }
    QString playImage() const { return m_playImage; }
    MovieScreen *videoController() const { return m_videoController; }
    PlaylistModel *model() const { return m_model; }
    CurrentList *currentList() const { return m_currentList; }

    // Transport.
    void loadPlayerWithPath(int index);
    void playButton();
    void forwardButton();
    void backwardButton();
    void repeatButton();
    void shuffleButton();
    void seekTime(float seconds);
    // Seeks by delta seconds from the time played, kept within 0..duration.
    void seekBy(float delta);
    void countDown();
    QString currentSongName() const;
    void startTimer();
    void stopTimer();
    // Shows the time played (or, counting down, the time left) and moves the slider.
    void updateUI();
    // The time text for seconds (32-bit float): whole minutes, a colon, two-digit
    // seconds, both truncated; minutes are not limited ("75:00"). "-" leads when
    // counting down.
    static QString timeText(float seconds, bool countDown);
    void didSelectRow(int row);
    // A shake: next, when "Shake To Shuffle" is on.
    void motionEnded();
    void beginInterruption();
    void endInterruption();
    void appIsSuspended(bool background);
    void showVideo();
    void movieDidFinish();
    // The keys of the screen, one per line, as its tooltip shows them.
    static QString keysHelp();

    // CAPlayerDelegate.
    void playerIsPlaying(bool playing) override;
    void playerDidFinishPlaying() override;

    // The current list. The adding operations run their slow part on a worker and
    // finish on the main thread; then() (if given) runs after the list changed.
    void addCollectionWithItems(const QStringList& paths);
    void addCollectionWithItems(const QStringList& paths, bool report, std::function<void()> then);
    void addCollectionWithFileName(const QString& name);
    void updateLastPlaylist();
    void showAlertWithItems(int count);
    void createPlaylist();
    void openPlaylist();
    void clearPlaylist();
    void deviceMemory();
    // Presents the library screen for the media root.
    void itunesMemory();
    // Presents the About screen (F1), unless it is on top already.
    void showAbout();
    // The folder that holds the music library (default: LaunchOptions' default).
    void setMediaRoot(const QString& mediaRoot) { m_mediaRoot = mediaRoot; }

    // The screen.
    void barButtonPressed(const QString& title);
    void dismissPopupView();
    // Closes the open menu and presents screen over the player (the stack owns it;
    // without a stack it is dropped). The player is the stack's root screen and
    // outlives every presented one, so screens may call back into it.
    void presentScreen(QWidget *screen);
    void myAction();
    void animatePlaylist();
    void swipePlaylist(bool up);
    QList<PopupView *> popupViews() const;

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
    void remoteRaise() override;
    void remoteQuit() override;

protected:
    void mousePressEvent(QMouseEvent *event) override;
    // Watches the application for the screen's keys and the time slider's clicks.
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void buildScreen();
    // After the current list was replaced or extended.
    void listInstalled();
    // Loads index; false when the item cannot be played.
    bool tryLoad(int index);
    // Prepares and queues the engine of the item after the current one.
    void prepareNext();
    void dropNext();
    // Moves by the rules of next (or previous) and loads, skipping unplayable
    // items within one run; false when the rules give no item to load.
    bool advance(bool forward);
    void skipFrom(int failedIndex);
    void showStopped(int lastTriedIndex);
    // The current item's name in the label, wrapped and cut with "…" to fit it.
    void showSongName();
    void setPlayImage(const QString& image);
    void updateInfoLabel();
    void notifyRemote();
    void setTabOrder();
    bool screenKey(QObject *receiver, const QKeyEvent *key);
    void seekToClick(const QMouseEvent *press);

    Outlets ui;
    PlaylistModel *m_model = nullptr;     // owned (child)
    CurrentList *m_currentList = nullptr; // owned (child)
    ListPanel *m_listPanel = nullptr;     // owned (child)
    std::unique_ptr<CAPlayer> m_player;   // main thread only
    // The engine of the item that follows, prepared while m_player plays and queued
    // on the device to sound from the sample where m_player's file ends; its index
    // (drawn early with shuffle, -1 when none). Both dropped whenever the list, the
    // modes or the current item change. Main thread only.
    std::unique_ptr<CAPlayer> m_nextPlayer;
    int m_nextIndex = -1;
    QTimer *m_timer = nullptr;       // owned (child)
    MprisService *m_mpris = nullptr; // owned (child)
    QPointer<MovieScreen> m_videoController;
    QPointer<QWidget> m_menuOpener; // had the focus when the open menu was opened
    QList<QWidget *> m_barButtons;  // owned (children), left to right
    EngineFactory m_engineFactory;
    MovieScreenFactory m_movieFactory;
    TransportRules::Random m_random = &TransportRules::systemRandom;
    SkipGuard m_skipGuard;
    PlaybackModes m_modes;
    int m_currentSong = 0;
    bool m_countDown = false;
    bool m_backgroundMode = false;
    bool m_popoverIsActive = false;
    bool m_playingBeforeInterruption = false;
    QString m_repeatImage = QStringLiteral("repeat_off.png");
    QString m_shuffleImage = QStringLiteral("shuffle_off.png");
    QString m_playImage = QStringLiteral("play.png");
    QString m_mediaRoot = LaunchOptions().mediaRoot;
};
