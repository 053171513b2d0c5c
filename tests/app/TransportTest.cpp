// The playback policy driven with no widget at all, with engines on ideal outputs
// (no sound card) unless a test listens on SDL's disk driver.
#include "app/Transport.h"
#include "app/CurrentList.h"
#include "audio/CAPlayer.h"
#include "audio/OfflineAudioOutput.h"
#include "platform/SystemError.h"
#include "platform/UserDefaults.h"
#include "playlists/PlaylistHelper.h"
#include "playlists/PlaylistModel.h"
#include "services/SettingsHelper.h"
#include "services/SettingsKeys.h"
#include "support/EngineTestSupport.h"
#include "support/SmallDisk.h"
#include "support/TestEnvironment.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QSignalSpy>
#include <QThreadPool>
#include <QTimer>
#include <cmath>
#include <gtest/gtest.h>
#include <sys/stat.h>

using Status = RemoteControlTarget::PlaybackStatus;
using Mode = OfflineAudioOutput::Mode;

namespace {

using EngineTest::record;
using EngineTest::writeWav;

void storeList(const MediaList& items)
{
    UserDefaults::standard().setObject(QStringLiteral("Last Playlist"),
                                       MediaDesc::archivedDataWithItems(items));
}

// An ideal output that may be queued after another, as a sound card's may.
struct QueueableOutput : OfflineAudioOutput {
    using OfflineAudioOutput::OfflineAudioOutput;
    bool canStartAfter() const override { return true; }
    bool startAfter(AudioOutput&) override { return true; }
};

class TransportTest : public testing::Test {
protected:
    void SetUp() override
    {
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        ASSERT_TRUE(QApplication::allWidgets().isEmpty());
    }
    void TearDown() override
    {
        EXPECT_TRUE(QApplication::allWidgets().isEmpty()) << "the transport made a widget";
    }

    // A transport over the given list, with engines on ideal outputs.
    void open(const MediaList& items, Mode mode = Mode::Manual, bool queueable = false)
    {
        transport.reset(); // a new transport starts with the stored last list
        storeList(items);
        engines.clear();
        transport = std::make_unique<Transport>();
        transport->setEngineFactory([this, mode, queueable](const QString& path) {
            auto engine = std::make_unique<CAPlayer>(path, [this, mode, queueable] {
                auto output = queueable ? std::make_unique<QueueableOutput>(8000, mode)
                                        : std::make_unique<OfflineAudioOutput>(8000, mode);
                lastOutput = output.get();
                return std::unique_ptr<AudioOutput>(std::move(output));
            });
            engines.push_back(engine.get());
            return engine;
        });
    }

    std::unique_ptr<Transport> transport;
    OfflineAudioOutput *lastOutput = nullptr; // owned by the latest engine
    std::vector<CAPlayer *> engines;          // every engine made, in order; not owned
};

} // namespace

TEST_F(TransportTest, TheEndAdvancesAndAListThatRunsOutStops)
{
    open({record(writeWav(QStringLiteral("a.wav"), 1)),
          record(writeWav(QStringLiteral("b.wav"), 1))});
    EXPECT_TRUE(transport->model()->index(0).data(PlaylistModel::HighlightRole).toBool())
        << "current before any play";
    QSignalSpy loaded(transport.get(), &Transport::itemLoaded);
    transport->loadPlayerWithPath(0);
    lastOutput->pull(10000); // past the end of the one-second file
    ASSERT_TRUE(TestEnvironment::waitUntil([&] { return transport->currentSong() == 1; }));
    EXPECT_EQ(loaded.size(), 2);
    EXPECT_TRUE(transport->model()->index(1).data(PlaylistModel::HighlightRole).toBool());

    // The list cleared under a playing item: once it has ended, nothing sounds.
    QSignalSpy stopped(transport.get(), &Transport::stopped);
    transport->clearList();
    EXPECT_EQ(transport->currentSong(), 0) << "an index beyond the list";
    lastOutput->pull(20000);
    ASSERT_TRUE(TestEnvironment::waitUntil([&] { return stopped.size() == 1; }));
    EXPECT_EQ(transport->remotePlaybackStatus(), Status::Stopped);
    EXPECT_FALSE(transport->remoteCurrentTrack().has_value());
}

TEST_F(TransportTest, ASkipRunOpensNoItemTwiceAndNeverStalls)
{
    const QString damaged = writeWav(QStringLiteral("bad.wav"));
    const QString good = writeWav(QStringLiteral("good.wav"), 1);
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
        open(items, Mode::FreeRunning);
        for (int i = 0; i < row.repeatPresses; ++i)
            transport->repeatButton();

        // The longest gap between ticks of a 2 ms timer is the longest stall.
        QElapsedTimer run, tick;
        qint64 stall = 0;
        QTimer ticker;
        QObject::connect(&ticker, &QTimer::timeout,
                         [&] { stall = std::max(stall, tick.restart()); });
        ticker.start(2);
        run.start();
        tick.start();
        QSignalSpy stopped(transport.get(), &Transport::stopped);
        transport->loadPlayerWithPath(199);
        ASSERT_TRUE(TestEnvironment::waitUntil([&] { return !transport->player(); }, 3000))
            << row.mode;
        EXPECT_LT(run.elapsed(), 1000 * TestEnvironment::kTimeScale) << row.mode;
        EXPECT_LT(stall, 50 * TestEnvironment::kTimeScale) << row.mode;
        EXPECT_EQ(engines.size(), 1u) << row.mode << ": the damaged item is opened once";
        EXPECT_EQ(stopped.size(), 1) << row.mode;
        EXPECT_EQ(transport->currentSongName(), row.lastTried) << row.mode;
        int failed = 0;
        for (int i = 0; i < transport->model()->rowCount(); ++i)
            failed += transport->model()->index(i).data(PlaylistModel::FailedRole).toBool();
        EXPECT_EQ(failed, row.failed) << row.mode;
    }
}

TEST_F(TransportTest, AddingReportsTheCountKeepsTheIndexAndStoresTheNewestList)
{
    const QString file = writeWav(QStringLiteral("a b.wav"), 1);
    open({record(file), record(file)});
    transport->loadPlayerWithPath(1);
    const CAPlayer *playing = transport->player();
    QSignalSpy counts(transport.get(), &Transport::countToReport);
    const QString before = QDir::currentPath();
    QDir::setCurrent(TestEnvironment::home() + QStringLiteral("/music"));
    bool done = false;
    transport->addCollectionWithItems({QStringLiteral("./a b.wav"), QStringLiteral("/gone.wav")},
                                      true, [&] { done = true; });
    QDir::setCurrent(before);
    ASSERT_TRUE(TestEnvironment::waitUntil([&] { return done; }));
    ASSERT_EQ(transport->tableContents().size(), 3) << "a missing path adds no record";
    EXPECT_EQ(transport->tableContents()[2]->filePath, file);
    EXPECT_EQ(counts.value(0).value(0).toInt(), 2) << "every path handed in counts";
    EXPECT_EQ(transport->currentSong(), 1);
    EXPECT_EQ(transport->player(), playing) << "adding leaves the playing item alone";
    EXPECT_TRUE(TestEnvironment::takeAlertMessages().isEmpty()) << "the screen shows it";

    // A short list stored just after a long one would be replaced by it if the two
    // stores ran side by side.
    const MediaList burst(1000, record(file));
    for (int round = 0; round < 5; ++round) {
        transport->model()->setItems(burst);
        transport->updateLastPlaylist();
        transport->model()->setItems(burst.mid(0, 1));
        transport->updateLastPlaylist();
        transport->currentList()->waitForStores();
        QThreadPool::globalInstance()->waitForDone(); // where no store may run
        const auto stored = MediaDesc::itemsWithArchivedData(
            UserDefaults::standard().objectForKey(QStringLiteral("Last Playlist")).toByteArray());
        ASSERT_EQ(stored.value_or(MediaList()).size(), 1) << "an older list replaced the newest";
    }
    // Likewise a long playlist chosen just before a short one, read side by side; the
    // index, beyond the end of the short list, becomes 0 and next goes on from there.
    ASSERT_TRUE(PlaylistHelper::createPlaylistWithName(QStringLiteral("long"),
                                                       MediaList(20000, record(file)), false));
    ASSERT_TRUE(
        PlaylistHelper::createPlaylistWithName(QStringLiteral("short"), {record(file)}, false));
    for (int round = 0; round < 3; ++round) {
        transport->addCollectionWithFileName(QStringLiteral("long"));
        transport->addCollectionWithFileName(QStringLiteral("short"));
        const qsizetype reported = counts.size() + 2;
        ASSERT_TRUE(TestEnvironment::waitUntil([&] { return counts.size() == reported; }));
        ASSERT_EQ(transport->tableContents().size(), 1) << "the long playlist replaced the short";
        EXPECT_EQ(transport->currentSong(), 0);
    }
    QSignalSpy loaded(transport.get(), &Transport::itemLoaded);
    transport->forwardButton();
    EXPECT_EQ(loaded.size(), 1) << "next from the first item";
    // A playlist file that exists but cannot be read (damaged, unreadable, a FIFO)
    // replaces nothing: the list stays, and the screen is told why.
    QSignalSpy failures(transport.get(), &Transport::failureToReport);
    const QString damaged = PlaylistHelper::pathForPlaylist(QStringLiteral("damaged"));
    TestEnvironment::writeFile(damaged, "not a playlist");
    const QString fifo = PlaylistHelper::pathForPlaylist(QStringLiteral("fifo"));
    ASSERT_EQ(::mkfifo(QFile::encodeName(fifo).constData(), 0644), 0);
    for (const QString& name : {QStringLiteral("damaged"), QStringLiteral("fifo")}) {
        const qsizetype told = failures.size();
        transport->addCollectionWithFileName(name);
        ASSERT_TRUE(TestEnvironment::waitUntil([&] { return failures.size() == told + 1; }))
            << name.toStdString();
        EXPECT_EQ(transport->tableContents().size(), 1) << name.toStdString();
    }
    EXPECT_EQ(QFileInfo(damaged).size(), 14) << "the damaged file is left as it is";
}

// The remote Can* flags promise what PlayPause and Next then do, in each state of the
// list and the engine.
TEST_F(TransportTest, RemoteCanFlagsSayWhatTheCommandsWillDo)
{
    const MediaDescPtr item = record(writeWav(QStringLiteral("a.wav"), 2));
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
            transport->remoteControlReceivedWithEvent(RemoteControlTogglePlayPause);
        if (row.clearedAfter)
            transport->clearList();
        EXPECT_EQ(transport->remoteCanPlay(), row.canPlay);
        EXPECT_EQ(transport->remoteCanPause(), row.canPause);
        EXPECT_EQ(transport->remoteCanGoNext(), row.canGoOn);

        transport->remoteControlReceivedWithEvent(RemoteControlTogglePlayPause);
        EXPECT_EQ(transport->remotePlaybackStatus(), row.afterPlayPause);
        const CAPlayer *before = transport->player();
        transport->remoteControlReceivedWithEvent(RemoteControlNextTrack);
        EXPECT_EQ(transport->player() != before, row.canGoOn) << "next loads an item";
    }
}

// Modes step as the buttons do and tell the screen; a remote play is ignored, a
// remote pause follows the play button; a sleep resumes only what was playing.
TEST_F(TransportTest, ModesRemoteCommandsAndSleep)
{
    open({record(writeWav(QStringLiteral("a.wav"), 2))});
    QSignalSpy modes(transport.get(), &Transport::modesChanged);
    using Loop = RemoteControlTarget::LoopStatus;
    for (Loop want : {Loop::Track, Loop::Playlist, Loop::None}) {
        transport->repeatButton();
        EXPECT_EQ(transport->remoteLoopStatus(), want);
    }
    transport->remoteSetLoopStatus(Loop::Playlist);
    EXPECT_TRUE(transport->repeatAll() && !transport->repeatOne());
    transport->remoteSetShuffle(true);
    EXPECT_TRUE(transport->shuffleOn());
    EXPECT_EQ(modes.size(), 6);

    transport->remoteControlReceivedWithEvent(RemoteControlPlay);
    EXPECT_EQ(transport->player(), nullptr) << "a bare remote play is ignored";
    transport->playButton();
    transport->playButton();
    transport->remoteControlReceivedWithEvent(RemoteControlPause);
    EXPECT_EQ(transport->remotePlaybackStatus(), Status::Playing) << "pause follows the button";

    for (bool playing : {true, false}) {
        if (!playing)
            transport->playButton();
        transport->beginInterruption();
        EXPECT_EQ(transport->remotePlaybackStatus(), Status::Paused);
        transport->endInterruption();
        EXPECT_EQ(transport->remotePlaybackStatus(), playing ? Status::Playing : Status::Paused);
    }
}

// A start shows the stored list and writes nothing back, neither at the start nor
// at the exit's last synchronize (a list of 100,000 items is some 15 MB to
// write); a list that cannot be decoded is copied aside and replaced.
TEST_F(TransportTest, AStartRewritesTheStoredListOnlyWhenItCannotBeDecoded)
{
    storeList({record(QStringLiteral("/music/a.mp3")), record(QStringLiteral("/music/b.mp3"))});
    ASSERT_TRUE(UserDefaults::standard().synchronize());
    UserDefaults::resetStandardForTesting();
    const QByteArray stored = QFile::encodeName(UserDefaults::standard().filePath());
    struct stat before {};
    ASSERT_EQ(::stat(stored.constData(), &before), 0);
    {
        Transport unchanged;
        EXPECT_EQ(unchanged.tableContents().size(), 2);
        unchanged.currentList()->waitForStores();
        EXPECT_TRUE(UserDefaults::standard().synchronize());
    }
    struct stat after {};
    ASSERT_EQ(::stat(stored.constData(), &after), 0);
    EXPECT_EQ(after.st_ino, before.st_ino) << "the stored list was written again";
    EXPECT_EQ(after.st_mtim.tv_nsec, before.st_mtim.tv_nsec);

    const QByteArray damaged = QByteArrayLiteral("bplist00 not an archive");
    for (int start = 1; start <= 2; ++start) {
        UserDefaults::standard().setObject(QStringLiteral("Last Playlist"), damaged);
        UserDefaults::standard().synchronize();
        UserDefaults::resetStandardForTesting();
        const QString file = UserDefaults::standard().filePath();
        Transport fresh;
        EXPECT_TRUE(fresh.tableContents().isEmpty());
        // Each start keeps its own copy, holding the damaged value as it was stored.
        const QString copy = file + QStringLiteral(".damaged-%1").arg(start);
        ASSERT_TRUE(QFileInfo::exists(copy)) << copy.toStdString();
        QFile in(copy);
        ASSERT_TRUE(in.open(QIODevice::ReadOnly));
        EXPECT_TRUE(in.readAll().contains(damaged.toBase64()));
        QFile now(file);
        ASSERT_TRUE(now.open(QIODevice::ReadOnly));
        EXPECT_FALSE(now.readAll().contains(damaged.toBase64())) << "the empty list replaced it";
        fresh.remoteSetVolume(0.4);
    }
    UserDefaults::resetStandardForTesting(); // a new run reads the stored value
    Transport again;
    EXPECT_EQ(again.volume(), 40);
    again.setVolume(100); // leave the process as it was
}

// Every new engine starts with the stored effects; a change reaches the engine that
// plays and the one queued after it, which keeps it when it takes over.
TEST_F(TransportTest, EffectChangesReachThePlayingAndTheQueuedEngine)
{
    SettingsHelper::setSettings(SettingsKeys::PlaybackRate, 0.75);
    const QString file = writeWav(QStringLiteral("a.wav"), 1);
    open({record(file), record(file), record(file)}, Mode::Manual, true);
    transport->loadPlayerWithPath(0);
    ASSERT_EQ(engines.size(), 2u) << "the next item is queued";
    CAPlayer *queued = engines[1];
    EXPECT_EQ(std::pair(engines[0]->playbackRate(), queued->playbackRate()),
              std::pair(0.75f, 0.75f));

    transport->setPlaybackRate(1.5f);
    transport->setVolumeLimit(0.5f);
    transport->setEQPreset(2);
    transport->setReplayGain(ReplayGain::Mode::Album);
    transport->setKeepPitch(true);
    const EffectSettings changed{2, 1.5f, 0.5f, ReplayGain::Mode::Album, true};
    EXPECT_EQ(transport->engineEffects(), changed);
    transport->forwardButton();
    ASSERT_EQ(transport->player(), queued) << "the queued engine takes over";
    EXPECT_EQ(transport->engineEffects(), changed);
    ASSERT_EQ(engines.size(), 3u);
    EXPECT_EQ(std::tuple(engines[2]->playbackRate(), engines[2]->replayGainMode(),
                         engines[2]->keepPitch()),
              std::tuple(1.5f, ReplayGain::Mode::Album, true))
        << "and later engines start with them";
}

// On the real device (SDL's disk driver) the item that follows is queued and
// joins at the end: a damaged next item is skipped with no more silence than the
// skip takes, and repeat one loops a short file with no gap at all.
TEST_F(TransportTest, JoinsSkipsADamagedNextItemAndLoopsWithoutAGap)
{
    EngineTest::DiskDriver disk;
    if (!disk.whyNot().isEmpty())
        GTEST_SKIP() << disk.whyNot().toStdString();
    storeList({record(writeWav(QStringLiteral("a.wav"), 0.3, 44100)),
               record(writeWav(QStringLiteral("bad.wav"))),
               record(writeWav(QStringLiteral("b.wav"), 0.3, 22050))});
    {
        Transport player;
        player.loadPlayerWithPath(0);
        ASSERT_TRUE(TestEnvironment::waitUntil([&] { return player.currentSong() == 2; }, 3000));
        EXPECT_TRUE(player.model()->index(1).data(PlaylistModel::FailedRole).toBool());
        player.repeatButton();                        // repeat one: b.wav again and again
        const qint64 loops = disk.size() + 48000 * 8; // one more second of stream
        ASSERT_TRUE(TestEnvironment::waitUntil([&] { return disk.size() > loops; }));
        // The controls reach the engine that took over at the join.
        player.seekTime(0.1f);
        EXPECT_NEAR(player.player()->getTime(), 0.1f, 0.01f);
        player.playButton();
        EXPECT_FALSE(player.player()->isPlaying());
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

// A store on a full disk (of the list on its worker, of the settings on the main
// thread) keeps the stored file as it was; the screen is told once, and again only
// after a store has succeeded in between.
TEST_F(TransportTest, AFailedStoreKeepsTheStoredFileAndIsToldOnceUntilAStoreSucceeds)
{
    const QString file = UserDefaults::standard().filePath();
    SmallDisk disk(QFileInfo(file).absolutePath());
    if (!disk.mounted())
        GTEST_SKIP() << "mounting a tmpfs needs root";
    const QString song = writeWav(QStringLiteral("a.wav"), 1);
    open({record(song)});
    ASSERT_TRUE(UserDefaults::standard().synchronize()); // the list as stored before
    QSignalSpy notices(transport.get(), &Transport::noticeToShow);
    const auto stored = [&] {
        QFile in(file);
        return in.open(QIODevice::ReadOnly) ? in.readAll() : QByteArray();
    };
    const QByteArray before = stored();
    ASSERT_FALSE(before.isEmpty());

    disk.fill();
    for (int round = 0; round < 2; ++round) {
        bool added = false;
        transport->addCollectionWithItems({song}, false, [&] { added = true; });
        ASSERT_TRUE(TestEnvironment::waitUntil([&] { return added; }));
        transport->currentList()->waitForStores();
        transport->setVolume(50 + round);
        SettingsHelper::setSettings(SettingsKeys::ShakeToShuffle, round == 0);
    }
    ASSERT_TRUE(TestEnvironment::waitUntil([&] { return !notices.isEmpty(); }));
    QCoreApplication::processEvents();
    EXPECT_EQ(notices.size(), 1) << "told once while the disk stays full";
    EXPECT_EQ(notices.value(0).value(0).toString(),
              Transport::storeFailureText(SystemError::text(ENOSPC)));
    EXPECT_EQ(stored(), before) << "the stored file is the old one, byte for byte";
    EXPECT_EQ(transport->tableContents().size(), 3) << "the screen keeps the new list";

    disk.free();
    transport->setVolume(70);
    EXPECT_NE(stored(), before) << "the next store tries again";
    disk.fill();
    transport->updateLastPlaylist();
    transport->currentList()->waitForStores();
    EXPECT_TRUE(TestEnvironment::waitUntil([&] { return notices.size() == 2; }))
        << "a store that failed after one that succeeded is told again";
    transport->setVolume(100); // leave the process as it was
}
