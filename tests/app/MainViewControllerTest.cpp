// The player screen driven as a user drives it, with engines on an ideal output
// (no sound card).
#include "app/MainViewController.h"
#include "app/CurrentList.h"
#include "audio/CAPlayer.h"
#include "audio/OfflineAudioOutput.h"
#include "platform/Alert.h"
#include "platform/UserDefaults.h"
#include "playlists/PlaylistHelper.h"
#include "playlists/PlaylistModel.h"
#include "support/EngineTestSupport.h"
#include "support/TestEnvironment.h"
#include "ui/PopupView.h"

#include <QApplication>
#include <QDialog>
#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QLabel>
#include <QPushButton>
#include <QSlider>
#include <QTest>
#include <QThreadPool>
#include <QTimer>
#include <QtEndian>
#include <cmath>
#include <gtest/gtest.h>

using Status = RemoteControlTarget::PlaybackStatus;

namespace {

// Writes a mono sine WAV of the given length; returns its path. Without a length, a
// damaged one: a header that promises a second of sound with nothing after it (the
// file opens, and ends without a frame).
QString wav(const QString& name, double seconds = 0, int rate = 8000)
{
    QByteArray bytes =
        EngineTest::wavBytes(EngineTest::tone(440, 0.5, rate, int64_t(seconds * rate)), rate, 1);
    if (seconds == 0)
        qToLittleEndian<quint32>(quint32(rate) * 2, bytes.data() + 40);
    return TestEnvironment::writeFile(TestEnvironment::home() + QStringLiteral("/music/") + name,
                                      bytes);
}

MediaDescPtr record(const QString& path, std::optional<QString> title = {},
                    std::optional<QString> artist = {})
{
    auto item = std::make_shared<MediaDesc>();
    item->filePath = path;
    item->title = title;
    item->artist = artist;
    return item;
}

class PlayerScreen : public testing::Test {
protected:
    // A screen over the given list, with engines on manual ideal outputs.
    void open(const MediaList& items,
              OfflineAudioOutput::Mode mode = OfflineAudioOutput::Mode::Manual)
    {
        screen.reset(); // a new screen starts with the stored last list
        UserDefaults::standard().setObject(QStringLiteral("Last Playlist"),
                                           MediaDesc::archivedDataWithItems(items));
        enginesMade = 0;
        screen = std::make_unique<MainViewController>();
        screen->setEngineFactory([this, mode](const QString& path) {
            auto engine = std::make_unique<CAPlayer>(path, [this, mode] {
                auto output = std::make_unique<OfflineAudioOutput>(8000, mode);
                lastOutput = output.get();
                return output;
            });
            ++enginesMade;
            return engine;
        });
    }

    std::unique_ptr<MainViewController> screen;
    OfflineAudioOutput *lastOutput = nullptr; // owned by the current engine
    int enginesMade = 0;
};

} // namespace

TEST_F(PlayerScreen, TheScreenNamesAndHighlightsTheCurrentItemAndFollowsTheEnd)
{
    open({record(wav(QStringLiteral("First Song.wav"), 1)),
          record(wav(QStringLiteral("b.wav"), 1), QStringLiteral("Bee"), QStringLiteral("Band")),
          record(wav(QStringLiteral("c.wav"), 1), QStringLiteral("long ").repeated(60))});
    const QModelIndex first = screen->model()->index(0);
    EXPECT_EQ(first.data(PlaylistModel::TitleRole).toString(), QStringLiteral("First Song"));
    EXPECT_TRUE(first.data(PlaylistModel::HighlightRole).toBool()) << "current before any play";
    screen->didSelectRow(2);
    EXPECT_EQ(screen->outlets().playlistInfoLabel->text(), QStringLiteral("3 of 3"));
    const QLabel *name = screen->outlets().songNameLabel;
    EXPECT_LE(name->text().count(QLatin1Char('\n')) + 1,
              name->height() / name->fontMetrics().lineSpacing())
        << "a long name fits the label";
    EXPECT_TRUE(name->text().endsWith(QChar(0x2026))) << "and is cut with a mark";
    EXPECT_FALSE(first.data(PlaylistModel::HighlightRole).toBool());
    screen->backwardButton();
    EXPECT_EQ(screen->outlets().songNameLabel->text(), QStringLiteral("Band - Bee"));

    // The end of a track advances to the next.
    lastOutput->pull(10000); // past the end of the one-second file
    ASSERT_TRUE(TestEnvironment::waitUntil([&] { return screen->currentSong() == 2; }));

    // The list cleared under a playing item: once it has ended, nothing sounds.
    screen->clearPlaylist();
    Alert::openAlerts().value(0)->pressButton(1);
    lastOutput->pull(20000);
    ASSERT_TRUE(TestEnvironment::waitUntil(
        [&] { return screen->remotePlaybackStatus() == Status::Stopped; }));
    EXPECT_FALSE(screen->remoteCurrentTrack().has_value());
}

TEST_F(PlayerScreen, ASkipRunOpensNoItemTwiceAndNeverStalls)
{
    const QString damaged = wav(QStringLiteral("bad.wav"));
    const QString good = wav(QStringLiteral("good.wav"), 1);
    const struct {
        const char *mode;
        int repeatPresses;
        bool othersMissing;
        QString lastTried;
        int failed; // rows shown dimmed
    } rows[] = {{"repeat off", 0, false, QStringLiteral("bad"), 1},
                {"repeat one", 1, false, QStringLiteral("bad"), 1},
                {"repeat all, the rest missing", 2, true, QStringLiteral("198"), 200}};
    for (const auto& row : rows) {
        MediaList items;
        for (int i = 0; i < 199; ++i)
            items.append(record(row.othersMissing ? QStringLiteral("/gone/%1.wav").arg(i) : good));
        items.append(record(damaged));
        open(items, OfflineAudioOutput::Mode::FreeRunning);
        for (int i = 0; i < row.repeatPresses; ++i)
            screen->repeatButton();

        // The longest gap between ticks of a 2 ms timer is the longest stall.
        QElapsedTimer run, tick;
        qint64 stall = 0;
        QTimer ticker;
        QObject::connect(&ticker, &QTimer::timeout,
                         [&] { stall = std::max(stall, tick.restart()); });
        ticker.start(2);
        run.start();
        tick.start();
        screen->didSelectRow(199);
        ASSERT_TRUE(TestEnvironment::waitUntil([&] { return !screen->player(); }, 3000))
            << row.mode;
        EXPECT_LT(run.elapsed(), 1000 * TestEnvironment::kTimeScale) << row.mode;
        EXPECT_LT(stall, 50 * TestEnvironment::kTimeScale) << row.mode;
        EXPECT_EQ(enginesMade, 1) << row.mode << ": the damaged item is opened once";
        EXPECT_EQ(screen->outlets().songNameLabel->text(), row.lastTried) << row.mode;
        int failed = 0;
        for (int i = 0; i < screen->model()->rowCount(); ++i)
            failed += screen->model()->index(i).data(PlaylistModel::FailedRole).toBool();
        EXPECT_EQ(failed, row.failed) << row.mode;
    }
    EXPECT_TRUE(TestEnvironment::takeAlertMessages().isEmpty()) << "skipping is silent";
}

TEST(PlayerTime, TheTimeTextTruncatesToWholeSecondsWithUnlimitedMinutes)
{
    EXPECT_EQ(MainViewController::timeText(0, true), QStringLiteral("-0:00"));
    EXPECT_EQ(MainViewController::timeText(59.99f, false), QStringLiteral("0:59"));
    EXPECT_EQ(MainViewController::timeText(3725.5f, true), QStringLiteral("-62:05"));
}

TEST_F(PlayerScreen, AddingReportsTheCountMakesPathsAbsoluteAndStoresTheNewestList)
{
    open({});
    const QString file = wav(QStringLiteral("a b.wav"), 1);
    for (const auto& [count, text] :
         {std::pair(1, "one item have been added to your current playlist"),
          std::pair(3, "3 items have been added to your current playlist"),
          std::pair(0, "There are no items in selected folder.")})
        EXPECT_EQ(CurrentList::countMessage(count), QLatin1String(text));

    const QString before = QDir::currentPath();
    QDir::setCurrent(TestEnvironment::home() + QStringLiteral("/music"));
    bool done = false;
    screen->addCollectionWithItems({QStringLiteral("./a b.wav"), QStringLiteral("/gone.wav")}, true,
                                   [&] { done = true; });
    QDir::setCurrent(before);
    ASSERT_TRUE(TestEnvironment::waitUntil([&] { return done; }));
    ASSERT_EQ(screen->tableContents().size(), 1) << "a missing path adds no record";
    EXPECT_EQ(screen->tableContents()[0]->filePath, file);
    EXPECT_EQ(TestEnvironment::takeAlertMessages(), QStringList{CurrentList::countMessage(2)});

    // A short list stored just after a long one would be replaced by it if the two
    // stores ran side by side.
    const MediaList burst(1000, record(file));
    for (int round = 0; round < 5; ++round) {
        screen->model()->setItems(burst);
        screen->updateLastPlaylist();
        screen->model()->setItems(burst.mid(0, 1));
        screen->updateLastPlaylist();
        screen->currentList()->waitForStores();
        QThreadPool::globalInstance()->waitForDone(); // where no store may run
        const auto stored = MediaDesc::itemsWithArchivedData(
            UserDefaults::standard().objectForKey(QStringLiteral("Last Playlist")).toByteArray());
        ASSERT_EQ(stored.value_or(MediaList()).size(), 1) << "an older list replaced the newest";
    }
    // Likewise a long playlist chosen just before a short one, read side by side.
    ASSERT_TRUE(PlaylistHelper::createPlaylistWithName(QStringLiteral("long"),
                                                       MediaList(20000, record(file)), false));
    ASSERT_TRUE(
        PlaylistHelper::createPlaylistWithName(QStringLiteral("short"), {record(file)}, false));
    for (int round = 0; round < 3; ++round) {
        screen->addCollectionWithFileName(QStringLiteral("long"));
        screen->addCollectionWithFileName(QStringLiteral("short"));
        QStringList alerts;
        ASSERT_TRUE(TestEnvironment::waitUntil(
            [&] { return (alerts += TestEnvironment::takeAlertMessages()).size() == 2; }));
        ASSERT_EQ(screen->tableContents().size(), 1) << "the long playlist replaced the short";
    }
}

// The remote Can* flags promise what PlayPause and Next then do, in each state of the
// list and the engine.
TEST_F(PlayerScreen, RemoteCanFlagsSayWhatTheCommandsWillDo)
{
    const MediaDescPtr item = record(wav(QStringLiteral("a.wav"), 2));
    struct Row {
        const char *state;
        bool emptyList;
        int pressesBefore; // of PlayPause, from the restored list
        bool clearedAfter; // the list cleared under the engine
        bool canPlay, canPause, canGoOn;
        Status afterPlayPause;
    };
    for (const Row& row :
         {Row{"empty list", true, 0, false, false, false, false, Status::Stopped},
          Row{"restored list, nothing loaded", false, 0, false, true, false, true, Status::Playing},
          Row{"playing", false, 1, false, true, true, true, Status::Paused},
          Row{"paused", false, 2, false, true, false, true, Status::Playing},
          Row{"playing, list cleared", false, 1, true, true, true, false, Status::Paused}}) {
        SCOPED_TRACE(row.state);
        open(row.emptyList ? MediaList{} : MediaList{item});
        for (int i = 0; i < row.pressesBefore; ++i)
            screen->remoteControlReceivedWithEvent(RemoteControlTogglePlayPause);
        if (row.clearedAfter) {
            screen->clearPlaylist();
            Alert::openAlerts().value(0)->pressButton(1);
        }
        EXPECT_EQ(screen->remoteCanPlay(), row.canPlay);
        EXPECT_EQ(screen->remoteCanPause(), row.canPause);
        EXPECT_EQ(screen->remoteCanGoNext(), row.canGoOn);

        screen->remoteControlReceivedWithEvent(RemoteControlTogglePlayPause);
        EXPECT_EQ(screen->remotePlaybackStatus(), row.afterPlayPause);
        const CAPlayer *before = screen->player();
        screen->remoteControlReceivedWithEvent(RemoteControlNextTrack);
        EXPECT_EQ(screen->player() != before, row.canGoOn) << "next loads an item";
    }
}

TEST(PlayerRestore, AStoredListThatCannotBeDecodedIsCopiedAsideBeforeTheEmptyListIsStored)
{
    const QByteArray damaged = QByteArrayLiteral("bplist00 not an archive");
    for (int start = 1; start <= 2; ++start) {
        UserDefaults::standard().setObject(QStringLiteral("Last Playlist"), damaged);
        UserDefaults::standard().synchronize();
        UserDefaults::resetStandardForTesting();
        const QString file = UserDefaults::standard().filePath();
        MainViewController screen;
        EXPECT_TRUE(screen.tableContents().isEmpty());
        // Each start keeps its own copy, holding the damaged value as it was stored.
        const QString copy = file + QStringLiteral(".damaged-%1").arg(start);
        ASSERT_TRUE(QFileInfo::exists(copy)) << copy.toStdString();
        QFile in(copy);
        ASSERT_TRUE(in.open(QIODevice::ReadOnly));
        EXPECT_TRUE(in.readAll().contains(damaged.toBase64()));
    }
}

TEST_F(PlayerScreen, TheTimeCountsUpOrDownClicksAndKeysSeekAndTheVolumeIsRemembered)
{
    open({record(wav(QStringLiteral("long.wav"), 100))});
    screen->show();
    screen->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(screen.get()));
    screen->didSelectRow(0);
    screen->seekTime(65.4f);
    screen->updateUI();
    EXPECT_EQ(screen->outlets().currentTimeLabel->text(), QStringLiteral("1:05"));
    screen->countDown();
    EXPECT_EQ(screen->outlets().currentTimeLabel->text(), QStringLiteral("-0:34"));
    screen->playButton();
    screen->remoteControlReceivedWithEvent(RemoteControlPlay);
    EXPECT_FALSE(screen->player()->isPlaying()) << "a bare remote play is ignored";
    screen->remoteControlReceivedWithEvent(RemoteControlPause);
    EXPECT_TRUE(screen->player()->isPlaying()) << "remote pause follows the play button";
    QSlider *time = screen->outlets().timeSeeker;
    QSlider *volume = screen->outlets().volumeView;
    // Within half a knob's width (2 % of the track) of where the click was.
    QTest::mouseClick(time, Qt::LeftButton, {}, QPoint(time->width() * 3 / 4, time->height() / 2));
    EXPECT_NEAR(screen->player()->getTime(), 75.0f, 2.0f);
    screen->updateUI();
    EXPECT_NEAR(time->value(), 75000, 2000) << "the knob stays where it was clicked";

    volume->setValue(40);
    const struct {
        Qt::Key key;
        float from, to;
        int volume;
    } rows[] = {{Qt::Key_Left, 3, 0, 40},
                {Qt::Key_Right, 98, 100, 40},
                {Qt::Key_Up, 50, 50, 45},
                {Qt::Key_Down, 50, 50, 40}};
    // The sliders have arrow keys of their own; on this screen the screen's win.
    for (QWidget *focus : {static_cast<QWidget *>(time), static_cast<QWidget *>(volume)}) {
        for (const auto& row : rows) {
            focus->setFocus();
            screen->seekTime(row.from);
            QTest::keyClick(focus, row.key);
            EXPECT_NEAR(screen->player()->getTime(), row.to, 0.01f) << row.key << " " << row.from;
            EXPECT_EQ(volume->value(), row.volume) << row.key;
        }
    }
    UserDefaults::resetStandardForTesting(); // a new run reads the stored value
    EXPECT_EQ(MainViewController().outlets().volumeView->value(), 40) << "volume remembered";
    volume->setValue(100); // leave the process as it was
}

TEST_F(PlayerScreen, TabReturnAndEscapeReachButtonsMenusAndPrompts)
{
    open({record(wav(QStringLiteral("a.wav"), 1)), record(wav(QStringLiteral("b.wav"), 1))});
    screen->show();
    screen->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(screen.get()));
    auto press = [](Qt::Key key) { QTest::keyClick(QApplication::focusWidget(), key); };
    screen->outlets().playButton->setFocus(Qt::TabFocusReason);
    press(Qt::Key_Tab);
    ASSERT_EQ(QApplication::focusWidget(), screen->outlets().forwardButton);
    press(Qt::Key_Return);
    EXPECT_EQ(screen->currentSong(), 1);
    ASSERT_NE(screen->player(), nullptr);

    // The bar follows the time; its first button opens the Songs menu, with the
    // focus on the first entry. Escape closes it.
    screen->outlets().currentTimeLabel->setFocus(Qt::TabFocusReason);
    press(Qt::Key_Tab);
    press(Qt::Key_Return);
    ASSERT_EQ(screen->popupViews().size(), 1);
    EXPECT_TRUE(screen->popupViews().first()->isAncestorOf(QApplication::focusWidget()));
    press(Qt::Key_Escape);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_TRUE(screen->popupViews().isEmpty());

    // On the clear prompt Return, Enter and Escape keep the list; only YES clears it,
    // for this run.
    for (Qt::Key key : {Qt::Key_Return, Qt::Key_Enter, Qt::Key_Escape}) {
        screen->clearPlaylist();
        ASSERT_NE(TestEnvironment::shownAlertWindow(), nullptr) << key;
        QTest::keyClick(TestEnvironment::shownAlertWindow(), key);
        EXPECT_TRUE(Alert::openAlerts().isEmpty()) << key;
        EXPECT_EQ(screen->tableContents().size(), 2) << key;
    }
    screen->clearPlaylist();
    Alert::openAlerts().value(0)->pressButton(1);
    EXPECT_TRUE(screen->tableContents().isEmpty());
    screen.reset();
    UserDefaults::standard().synchronize();
    UserDefaults::resetStandardForTesting();
    MainViewController again;
    EXPECT_EQ(again.tableContents().size(), 2) << "a clear is not stored";

    // New Playlist saves the list only on its confirming button.
    for (int button : {0, 1}) {
        again.createPlaylist();
        QCoreApplication::processEvents();
        ASSERT_EQ(Alert::openAlerts().size(), 1);
        Alert::openAlerts().first()->setText(QStringLiteral("Mine"));
        Alert::openAlerts().first()->pressButton(button);
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        EXPECT_EQ(QFile::exists(PlaylistHelper::pathForPlaylist(QStringLiteral("Mine"))),
                  button == 1);
    }
    EXPECT_EQ(TestEnvironment::takeAlertMessages(),
              QStringList{QStringLiteral("Mine playlist was created.")});
}

// On the real device (SDL's disk driver) the item that follows is queued and
// joins at the end: a damaged next item is skipped with no more silence than the
// skip takes, the labels follow the item heard, and repeat one loops a short file
// with no gap at all.
TEST(PlayerGapless, JoinsSkipsADamagedNextItemAndLoopsWithoutAGap)
{
    EngineTest::DiskDriver disk;
    if (!disk.whyNot().isEmpty())
        GTEST_SKIP() << disk.whyNot().toStdString();
    UserDefaults::standard().setObject(
        QStringLiteral("Last Playlist"),
        MediaDesc::archivedDataWithItems({record(wav(QStringLiteral("a.wav"), 0.3, 44100)),
                                          record(wav(QStringLiteral("bad.wav"))),
                                          record(wav(QStringLiteral("b.wav"), 0.3, 22050))}));
    {
        MainViewController screen;
        screen.didSelectRow(0);
        ASSERT_TRUE(TestEnvironment::waitUntil([&] { return screen.currentSong() == 2; }, 3000));
        EXPECT_EQ(screen.outlets().playlistInfoLabel->text(), QStringLiteral("3 of 3"));
        EXPECT_TRUE(screen.model()->index(1).data(PlaylistModel::FailedRole).toBool());
        screen.repeatButton();                        // repeat one: b.wav again and again
        const qint64 loops = disk.size() + 48000 * 8; // one more second of stream
        ASSERT_TRUE(TestEnvironment::waitUntil([&] { return disk.size() > loops; }));
        // The controls reach the engine that took over at the join.
        screen.seekTime(0.1f);
        EXPECT_NEAR(screen.player()->getTime(), 0.1f, 0.01f);
        screen.playButton();
        EXPECT_FALSE(screen.player()->isPlaying());
    }
    const std::vector<float> left = EngineTest::channel(disk.finish(), 0);
    ASSERT_FALSE(left.empty());
    // Silent runs longer than a millisecond between the first and the last sound.
    size_t first = 0, last = left.size(), run = 0;
    while (first < last && std::fabs(left[first]) < 1e-3f)
        ++first;
    while (last > first && std::fabs(left[last - 1]) < 1e-3f)
        --last;
    std::vector<size_t> gaps;
    for (size_t i = first; i < last; ++i) {
        run = std::fabs(left[i]) < 1e-3f ? run + 1 : 0;
        if (run == 48)
            gaps.push_back(i);
        if (run > 48)
            gaps.back() = run;
    }
    ASSERT_LE(gaps.size(), 1u) << "only the skip of the damaged item may be heard";
    if (!gaps.empty()) {
        EXPECT_LT(gaps.front(), 48u * 50 * TestEnvironment::kTimeScale)
            << "the skip costs under 50 ms";
    }
    EXPECT_GT(last - first, size_t(48000 * 1.2)) << "a, then b looping";
}
