// The player screen driven as a user drives it, with engines on an ideal output
// (no sound card) and a stand-in movie screen.
#include "app/MainViewController.h"
#include "playlists/PlaylistModel.h"
#include "audio/CAPlayer.h"
#include "audio/OfflineAudioOutput.h"
#include "audio/SystemVolume.h"
#include "platform/Alert.h"
#include "platform/UserDefaults.h"
#include "playlists/PlaylistHelper.h"
#include "settings/SettingsHelper.h"
#include "settings/SettingsKeys.h"
#include "support/EngineTestSupport.h"
#include "support/TestEnvironment.h"
#include "ui/PopupView.h"

#include <QLabel>
#include <QPushButton>
#include <QSlider>
#include <QTest>
#include <QThread>
#include <QThreadPool>
#include <cmath>
#include <gtest/gtest.h>

namespace {

// Writes a mono 8 kHz sine WAV of the given length; returns its path.
QString wav(const QString& name, double seconds)
{
    const int rate = 8000;
    const auto samples = EngineTest::tone(440, 0.5, rate, int64_t(seconds * rate));
    return TestEnvironment::writeFile(TestEnvironment::home() + QStringLiteral("/music/") + name,
                                      EngineTest::wavBytes(samples, rate, 1));
}

MediaDescPtr record(const QString& path, const QString& title = {}, const QString& artist = {})
{
    auto item = std::make_shared<MediaDesc>();
    item->filePath = path;
    if (!title.isEmpty())
        item->title = title;
    if (!artist.isEmpty())
        item->artist = artist;
    return item;
}

// Stores a list as the program's last list, so that a new screen starts with it.
void storeLastList(const MediaList& items)
{
    UserDefaults::standard().setObject(QStringLiteral("Last Playlist"),
                                       MediaDesc::archivedDataWithItems(items));
}

class StandInMovie : public MovieScreen {
public:
    using MovieScreen::MovieScreen;
    void play(const QString& path, double start) override
    {
        playedPath = path;
        time = start;
    }
    double currentTime() const override { return time; }
    double duration() const override { return length; }
    void close() { Q_EMIT finished(); }

    QString playedPath;
    double time = 0;
    double length = 10;
};

class PlayerScreen : public testing::Test {
protected:
    // A screen over the given list, with engines on manual ideal outputs.
    void open(const MediaList& items)
    {
        storeLastList(items);
        screen = std::make_unique<MainViewController>();
        screen->setEngineFactory([this](const QString& path) {
            auto engine = std::make_unique<CAPlayer>(path, [this] {
                auto output = std::make_unique<OfflineAudioOutput>(8000);
                lastOutput = output.get();
                return output;
            });
            ++enginesMade;
            return engine;
        });
        screen->setMovieScreenFactory([this](QWidget *parent) {
            movie = new StandInMovie(parent);
            return movie;
        });
    }

    std::unique_ptr<MainViewController> screen;
    OfflineAudioOutput *lastOutput = nullptr; // owned by the current engine
    StandInMovie *movie = nullptr;
    int enginesMade = 0;
};

} // namespace

TEST_F(PlayerScreen, NextAndPreviousFollowTheModes)
{
    open({record(wav(QStringLiteral("a.wav"), 1)), record(wav(QStringLiteral("b.wav"), 1)),
          record(wav(QStringLiteral("c.wav"), 1))});
    screen->didSelectRow(2);
    EXPECT_EQ(screen->currentSong(), 2);
    EXPECT_TRUE(screen->player()->isPlaying());
    EXPECT_EQ(screen->outlets().playlistInfoLabel->text(), QStringLiteral("3 of 3"));

    CAPlayer *before = screen->player();
    screen->forwardButton(); // last item, no repeat: the same item starts again
    EXPECT_EQ(screen->currentSong(), 2);
    EXPECT_NE(screen->player(), before) << "a restart is a fresh engine";

    screen->repeatButton();
    screen->repeatButton(); // off -> one -> all
    EXPECT_TRUE(screen->repeatAll());
    EXPECT_EQ(screen->repeatImage(), QStringLiteral("repeat_on.png"));
    screen->forwardButton();
    EXPECT_EQ(screen->currentSong(), 0) << "repeat all wraps forwards";
    screen->backwardButton();
    EXPECT_EQ(screen->currentSong(), 0) << "but not backwards";

    screen->repeatButton();
    EXPECT_EQ(screen->repeatImage(), QStringLiteral("repeat_off.png"));
    screen->shuffleButton();
    EXPECT_EQ(screen->shuffleImage(), QStringLiteral("shuffle_on.png"));
    screen->setRandom([] { return 7u; });
    screen->forwardButton();
    EXPECT_EQ(screen->currentSong(), 1); // 7 mod 3
}

TEST_F(PlayerScreen, EndOfTrackAdvancesAndRepeatOneRestarts)
{
    open({record(wav(QStringLiteral("a.wav"), 0.5)), record(wav(QStringLiteral("b.wav"), 0.5))});
    screen->didSelectRow(0);
    lastOutput->pull(8000); // past the end of the half-second file
    ASSERT_TRUE(TestEnvironment::waitUntil([&] { return screen->currentSong() == 1; }));
    EXPECT_EQ(enginesMade, 2);

    screen->repeatButton(); // one
    lastOutput->pull(8000);
    ASSERT_TRUE(TestEnvironment::waitUntil([&] { return enginesMade == 3; }));
    EXPECT_EQ(screen->currentSong(), 1);
}

TEST_F(PlayerScreen, SkippingStopsOnceEveryItemWasTried)
{
    const QString garbage = TestEnvironment::writeFile(
        TestEnvironment::home() + QStringLiteral("/music/noise.mp3"), QByteArray(4096, '\x5a'));
    open({record(QStringLiteral("/gone/one.mp3")), record(garbage),
          record(QStringLiteral("/gone/three.txt"))});
    screen->repeatButton();
    screen->repeatButton(); // repeat all would loop for ever without the bound
    screen->playButton();
    EXPECT_EQ(screen->player(), nullptr);
    EXPECT_FALSE(screen->isTimerRunning());
    EXPECT_EQ(screen->playImage(), QStringLiteral("play.png"));
    EXPECT_FALSE(screen->outlets().songNameLabel->text().isEmpty())
        << "the last item tried is named";
    EXPECT_TRUE(TestEnvironment::takeAlertMessages().isEmpty()) << "skipping is silent";
}

TEST_F(PlayerScreen, TimeTextCountsUpAndDown)
{
    open({record(wav(QStringLiteral("long.wav"), 200))});
    screen->didSelectRow(0);
    screen->updateUI();
    EXPECT_EQ(screen->outlets().currentTimeLabel->text(), QStringLiteral("0:00"));
    screen->seekTime(65.4f);
    screen->updateUI();
    EXPECT_EQ(screen->outlets().currentTimeLabel->text(), QStringLiteral("1:05"));
    screen->countDown();
    EXPECT_EQ(screen->outlets().currentTimeLabel->text(), QStringLiteral("-2:14"));
}

TEST_F(PlayerScreen, TimerStopsInTheBackgroundAndSleepPausesAndResumes)
{
    open({record(wav(QStringLiteral("a.wav"), 2))});
    screen->didSelectRow(0);
    EXPECT_TRUE(screen->isTimerRunning());
    EXPECT_EQ(screen->playImage(), QStringLiteral("pause.png"));
    screen->appIsSuspended(true);
    EXPECT_FALSE(screen->isTimerRunning());
    EXPECT_TRUE(screen->player()->isPlaying()) << "sound goes on in the background";
    screen->appIsSuspended(false);
    EXPECT_TRUE(screen->isTimerRunning());

    screen->beginInterruption();
    EXPECT_FALSE(screen->player()->isPlaying());
    screen->endInterruption();
    EXPECT_TRUE(screen->player()->isPlaying());

    screen->playButton(); // the user pauses; a wake-up must not resume
    screen->beginInterruption();
    screen->endInterruption();
    EXPECT_FALSE(screen->player()->isPlaying());
}

TEST_F(PlayerScreen, RemoteCommandsFollowThePlayButtonRules)
{
    open({record(wav(QStringLiteral("a.wav"), 2)), record(wav(QStringLiteral("b.wav"), 2))});
    screen->didSelectRow(0);
    screen->remoteControlReceivedWithEvent(RemoteControlPause);
    EXPECT_TRUE(screen->player()->isPaused());
    screen->remoteControlReceivedWithEvent(RemoteControlPause);
    EXPECT_TRUE(screen->player()->isPlaying()) << "pause on a paused engine resumes";
    screen->remoteControlReceivedWithEvent(RemoteControlPlay);
    EXPECT_TRUE(screen->player()->isPlaying());
    screen->remoteControlReceivedWithEvent(RemoteControlNextTrack);
    EXPECT_EQ(screen->currentSong(), 1);
    screen->remoteControlReceivedWithEvent(RemoteControlStop);
    EXPECT_FALSE(screen->player()->isPlaying());
    EXPECT_EQ(screen->remotePlaybackStatus(), RemoteControlTarget::PlaybackStatus::Stopped);
}

TEST_F(PlayerScreen, VideoHandsOverToTheMovieScreenAndBack)
{
    const QString clip = wav(QStringLiteral("clip.mov.wav"), 12);
    const QString video = TestEnvironment::home() + QStringLiteral("/music/clip.mov");
    QFile::rename(clip, video); // the engine reads the sound whatever the name says
    open({record(video), record(wav(QStringLiteral("next.wav"), 1))});
    screen->didSelectRow(0);
    ASSERT_TRUE(screen->player()->isValid());
    EXPECT_TRUE(screen->outlets().videoButton->isEnabled());

    screen->showVideo();
    ASSERT_NE(movie, nullptr);
    EXPECT_EQ(movie->playedPath, video);
    EXPECT_FALSE(screen->player()->isPlaying());
    movie->time = 4.5; // closed half-way: the sound goes on from there
    movie->close();
    EXPECT_TRUE(screen->player()->isPlaying());
    EXPECT_NEAR(screen->player()->getTime(), 4.5, 0.01);

    screen->showVideo();
    movie->time = movie->length; // played to its end: next item
    movie->close();
    EXPECT_EQ(screen->currentSong(), 1);
    EXPECT_FALSE(screen->outlets().videoButton->isEnabled());
}

TEST_F(PlayerScreen, AppendingReportsThePathsHandedIn)
{
    open({});
    const QStringList paths = {wav(QStringLiteral("a.wav"), 1), QStringLiteral("/gone.wav"),
                               wav(QStringLiteral("b.wav"), 1)};
    bool done = false;
    screen->addCollectionWithItems(paths, true, [&] { done = true; });
    ASSERT_TRUE(TestEnvironment::waitUntil([&] { return done; }));
    EXPECT_EQ(screen->tableContents().size(), 2);
    EXPECT_EQ(TestEnvironment::takeAlertMessages(),
              QStringList{QStringLiteral("3 items have been added to your current playlist")});

    done = false;
    screen->addCollectionWithItems({}, true, [&] { done = true; });
    ASSERT_TRUE(TestEnvironment::waitUntil([&] { return done; }));
    EXPECT_EQ(TestEnvironment::takeAlertMessages(),
              QStringList{QStringLiteral("There are no items in selected folder.")});
}

TEST_F(PlayerScreen, ARestartRestoresTheStoredListButNotAClear)
{
    open({});
    bool done = false;
    screen->addCollectionWithItems(
        {wav(QStringLiteral("a.wav"), 1), wav(QStringLiteral("b.wav"), 1)}, false,
        [&] { done = true; });
    ASSERT_TRUE(TestEnvironment::waitUntil([&] { return done; }));
    QThreadPool::globalInstance()->waitForDone(); // the store runs on a worker
    screen->clearPlaylist();
    QCoreApplication::processEvents();
    ASSERT_EQ(Alert::openAlerts().size(), 1);
    Alert::openAlerts().first()->pressButton(1);
    EXPECT_TRUE(screen->tableContents().isEmpty());

    UserDefaults::standard().synchronize();
    UserDefaults::resetStandardForTesting();
    MainViewController again;
    ASSERT_EQ(again.tableContents().size(), 2);
    EXPECT_TRUE(again.tableContents()[0]->filePath->endsWith(QStringLiteral("a.wav")));
}

TEST_F(PlayerScreen, OpeningAShorterPlaylistKeepsTheOldItemPlaying)
{
    MediaList ten;
    for (int i = 0; i < 10; ++i)
        ten.append(record(wav(QStringLiteral("t%1.wav").arg(i), 1)));
    open(ten);
    PlaylistHelper::createPlaylistWithName(QStringLiteral("Five"), ten.mid(0, 5), false);
    TestEnvironment::takeAlertMessages();
    screen->didSelectRow(7);
    CAPlayer *playing = screen->player();
    screen->addCollectionWithFileName(QStringLiteral("Five"));
    ASSERT_TRUE(TestEnvironment::waitUntil([&] { return screen->tableContents().size() == 5; }));
    EXPECT_EQ(screen->outlets().playlistInfoLabel->text(), QStringLiteral("8 of 5"));
    EXPECT_EQ(screen->player(), playing);
    EXPECT_TRUE(playing->isPlaying());
}

TEST_F(PlayerScreen, MenusReplaceEachOtherAndATapOutsideClosesThem)
{
    open({});
    screen->barButtonPressed(QStringLiteral("Songs"));
    screen->barButtonPressed(QStringLiteral("Playlists"));
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    ASSERT_EQ(screen->popupViews().size(), 1);
    EXPECT_EQ(screen->popupViews().first()->geometry().topLeft(), QPoint(80, 308));
    QTest::mouseClick(screen.get(), Qt::LeftButton, {}, QPoint(300, 200));
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_TRUE(screen->popupViews().isEmpty());
    EXPECT_FALSE(screen->popoverIsActive());
}

TEST_F(PlayerScreen, AnUnnamedRecordShowsItsFileNameAndTheHighlightFollowsNext)
{
    open({record(wav(QStringLiteral("First Song.wav"), 1)),
          record(wav(QStringLiteral("b.wav"), 1), QStringLiteral("Bee"), QStringLiteral("Band"))});
    const QModelIndex first = screen->model()->index(0);
    EXPECT_EQ(first.data(PlaylistModel::TitleRole).toString(), QStringLiteral("First Song"));
    EXPECT_EQ(screen->tableContents()[0]->title, QStringLiteral("First Song")) << "kept";

    screen->didSelectRow(0);
    EXPECT_TRUE(first.data(PlaylistModel::HighlightRole).toBool());
    EXPECT_EQ(screen->outlets().songNameLabel->text(), QStringLiteral("First Song"));
    screen->forwardButton();
    EXPECT_FALSE(first.data(PlaylistModel::HighlightRole).toBool());
    EXPECT_TRUE(screen->model()->index(1).data(PlaylistModel::HighlightRole).toBool());
    EXPECT_EQ(screen->outlets().songNameLabel->text(), QStringLiteral("Band - Bee"));

    // A picture of the screen for reviewers.
    screen->animatePlaylist();
    QTest::qWait(1100);
    const QString shot = TestEnvironment::home() + QStringLiteral("/player.png");
    EXPECT_TRUE(screen->grab().save(shot));
    if (const QByteArray dir = qgetenv("QUAVER_SCREENSHOT_DIR"); !dir.isEmpty())
        screen->grab().save(QString::fromLocal8Bit(dir) + QStringLiteral("/player.png"));
}

TEST_F(PlayerScreen, ShakeAdvancesOnlyWhenTheSettingIsOn)
{
    open({record(wav(QStringLiteral("a.wav"), 1)), record(wav(QStringLiteral("b.wav"), 1))});
    screen->didSelectRow(0);
    screen->motionEnded();
    EXPECT_EQ(screen->currentSong(), 0);
    SettingsHelper::setSettings(SettingsKeys::ShakeToShuffle, true);
    screen->motionEnded();
    EXPECT_EQ(screen->currentSong(), 1);
}

TEST(PlaylistModel, ALateDurationLandsOnItsOwnRecordOnly)
{
    PlaylistModel model;
    std::atomic<bool> release{false};
    model.setDurationReader([&](const QString&) {
        while (!release.load())
            QThread::msleep(1);
        return std::optional<QString>(QStringLiteral("1:23"));
    });
    const MediaDescPtr slow = record(QStringLiteral("/x/slow.mp3"), QStringLiteral("slow"));
    model.setItems({slow});
    EXPECT_EQ(model.index(0).data(PlaylistModel::DurationRole).toString(), QString());
    const MediaDescPtr other = record(QStringLiteral("/x/other.mp3"), QStringLiteral("other"));
    other->duration = QStringLiteral("9:99");
    model.setItems({other, slow}); // the list changed while the worker ran
    release = true;
    ASSERT_TRUE(TestEnvironment::waitUntil([&] { return slow->duration.has_value(); }));
    EXPECT_EQ(*slow->duration, QStringLiteral("1:23"));
    EXPECT_EQ(*other->duration, QStringLiteral("9:99"));
    EXPECT_EQ(model.index(1).data(PlaylistModel::DurationRole).toString(), QStringLiteral("1:23"));
}

TEST(PlayerVolume, TheVolumeControlIsRememberedAcrossRuns)
{
    {
        MainViewController screen;
        EXPECT_EQ(screen.outlets().volumeView->value(), 100) << "full volume at first";
        screen.outlets().volumeView->setValue(40);
        EXPECT_FLOAT_EQ(SystemVolume::get(), 0.4f);
    }
    UserDefaults::resetStandardForTesting();
    SystemVolume::set(1.0f);
    MainViewController again;
    EXPECT_EQ(again.outlets().volumeView->value(), 40);
    EXPECT_FLOAT_EQ(SystemVolume::get(), 0.4f);
    again.outlets().volumeView->setValue(100); // leave the process as it was
}

TEST_F(PlayerScreen, TheListPanelFoldsByTapAndByDragOnItsHandle)
{
    open({});
    QWidget *panel = screen->outlets().playlistContainer;
    auto settle = [] { QTest::qWait(1100); }; // the panel moves over one second
    screen->animatePlaylist();
    settle();
    EXPECT_EQ(panel->geometry(), QRect(0, 80, 320, MainViewController::kPanelUnfolded));
    screen->swipePlaylist(false); // down on an unfolded panel: stays unfolded
    settle();
    EXPECT_EQ(panel->height(), MainViewController::kPanelUnfolded);

    QPushButton *handle = screen->outlets().playlistButton;
    QTest::mousePress(handle, Qt::LeftButton, {}, QPoint(160, 20));
    QTest::mouseRelease(handle, Qt::LeftButton, {}, QPoint(160, -20)); // a drag upwards
    settle();
    EXPECT_EQ(panel->height(), MainViewController::kPanelFolded);
}

TEST_F(PlayerScreen, NewPlaylistSavesTheListOnlyWhenConfirmedAndClosesTheMenu)
{
    open({record(wav(QStringLiteral("a.wav"), 1))});
    for (int button : {0, 1}) {
        screen->barButtonPressed(QStringLiteral("Playlists"));
        screen->createPlaylist();
        QCoreApplication::processEvents();
        ASSERT_EQ(Alert::openAlerts().size(), 1);
        Alert *prompt = Alert::openAlerts().first();
        EXPECT_EQ(prompt->buttonTitles().value(1), QStringLiteral("Create"));
        prompt->setText(QStringLiteral("Mine"));
        prompt->pressButton(button);
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        EXPECT_TRUE(screen->popupViews().isEmpty()) << "button " << button;
        EXPECT_EQ(QFile::exists(PlaylistHelper::pathForPlaylist(QStringLiteral("Mine"))),
                  button == 1);
    }
    EXPECT_EQ(TestEnvironment::takeAlertMessages(),
              QStringList{QStringLiteral("Mine playlist was created.")});
    EXPECT_EQ(PlaylistHelper::contentsForPlaylist(QStringLiteral("Mine"))->size(), 1);
}
