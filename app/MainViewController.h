#pragma once

// The player screen, root of the window: shows the state of the Transport it is
// given (the current item, playing or not, the modes, the list, the volume) and
// hands the user's actions to it; keeps the time display, the menus, the
// presented screens and the movie screen. ListPanel folds and unfolds the list's
// panel; PlayerKeys handles the screen's keys (the screen's tooltip lists them);
// EmptyListHint tells how to add music while the list is empty.
//
// While the application is in the background the time display does not run.
// Coming back to the foreground restarts it only while playing. When no engine
// is held any more the screen shows the stopped state and the name of the last
// item tried.
//
// Main thread only.

#include "app/LaunchOptions.h"
#include "app/ListPanel.h"
#include "app/MovieScreen.h"

#include <QPointer>
#include <QWidget>
#include <functional>
#include <memory>

class ArtView;
class EmptyListHint;
class PlayerKeys;
class PopupView;
class QLabel;
class QListView;
class QPushButton;
class QSlider;
class QTimer;
class Transport;

class MainViewController : public QWidget {
    Q_OBJECT
public:
    // The list panel's handle; the rest of the screen follows its size (PlayerLayout).
    static constexpr int kPanelFolded = ListPanel::kFolded;
    static constexpr int kPopupTag = 100;

    // transport: not owned; it outlives the screen.
    explicit MainViewController(Transport& transport, QWidget *parent = nullptr);

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
        EmptyListHint *emptyHint = nullptr; // while the list is empty
        ArtView *artView = nullptr;         // the item's picture, or the note
    };
    const Outlets& outlets() const { return ui; }

    // Seam for tests.
    using MovieScreenFactory = std::function<MovieScreen *(QWidget *parent)>;
    void setMovieScreenFactory(MovieScreenFactory factory) { m_movieFactory = std::move(factory); }

    Transport& transport() const { return m_transport; }
    bool isTimerRunning() const;
    bool popoverIsActive() const { return m_popoverIsActive; }
    QString repeatImage() const { return m_repeatImage; }
    QString shuffleImage() const { return m_shuffleImage; }
    QString playImage() const { return m_playImage; }
    MovieScreen *videoController() const { return m_videoController; }
    // The widget that had the focus when the open menu was opened, if any.
    QWidget *menuOpener() const { return m_menuOpener; }

    // The user's actions that need the screen besides the transport.
    void didSelectRow(int row);
    // Seeks by delta seconds and shows the new time at once.
    void seekBy(float delta);
    void countDown();
    void startTimer();
    void stopTimer();
    // Shows the time played (or, counting down, the time left) and moves the slider.
    void updateUI();
    // The time text for seconds (32-bit float): whole minutes, a colon, two-digit
    // seconds, both truncated; minutes are not limited ("75:00"). "-" leads when
    // counting down.
    static QString timeText(float seconds, bool countDown);
    void appIsSuspended(bool background);
    void showVideo();
    void movieDidFinish();

    // The list's commands.
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

protected:
    void mousePressEvent(QMouseEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;

private:
    void buildScreen();
    // Places every part for the screen's size (PlayerLayout).
    void layoutScreen();
    void connectTransport();
    // A new item plays: its length, name, position in the list, video or not.
    void showLoaded();
    // No engine any more: the last item tried, no time.
    void showStopped();
    void showModes();
    void playingChanged(bool playing);
    // The current item's name in the label, wrapped and cut with "…" to fit it, and
    // its picture.
    void showSongName();
    void setPlayImage(const QString& image);
    void updateInfoLabel();
    void setTabOrder();

    Transport& m_transport; // not owned
    Outlets ui;
    ListPanel *m_listPanel = nullptr; // owned (child)
    PlayerKeys *m_keys = nullptr;     // owned (child)
    // Main thread only, like everything below.
    // The progress timer: while it runs (m_ticking), it fires just after the played
    // time reaches its next whole second, the only moments the time text changes,
    // rather than many times a second: a playing program should let the processor
    // sleep.
    QTimer *m_timer = nullptr; // owned (child)
    bool m_ticking = false;
    QPointer<MovieScreen> m_videoController;
    QPointer<QWidget> m_menuOpener; // had the focus when the open menu was opened
    QList<QWidget *> m_barButtons;  // owned (children), left to right
    MovieScreenFactory m_movieFactory;
    bool m_countDown = false;
    bool m_backgroundMode = false;
    bool m_popoverIsActive = false;
    QString m_repeatImage = QStringLiteral("repeat_off.png");
    QString m_shuffleImage = QStringLiteral("shuffle_off.png");
    QString m_playImage = QStringLiteral("play.png");
    QString m_mediaRoot = LaunchOptions().mediaRoot;
};
