// The player as a desktop shell sees it over MPRIS: the volume control, the current
// track's album and cover, and what the Can* properties promise.
#include "DBusTestSupport.h"
#include "app/MainViewController.h"
#include "app/MprisArtCache.h"
#include "app/MprisService.h"
#include "audio/CAPlayer.h"
#include "audio/OfflineAudioOutput.h"
#include "audio/SystemVolume.h"
#include "media/MediaHelper.h"
#include "platform/Alert.h"
#include "platform/UserDefaults.h"
#include "support/EngineTestSupport.h"
#include "support/MediaFixtures.h"
#include "support/TestEnvironment.h"

#include <QDBusArgument>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QSlider>
#include <QStandardPaths>
#include <QUrl>
#include <SDL.h>
#include <cstring>
#include <gtest/gtest.h>

using Status = RemoteControlTarget::PlaybackStatus;

namespace {

const QString kService = QLatin1String(MprisService::kServiceName);
const QString kPath = QLatin1String(MprisService::kObjectPath);
const QString kPlayer = QLatin1String(MprisService::kPlayerInterface);

QString wav(const QString& name, double seconds, int rate = 8000, int channels = 1)
{
    return TestEnvironment::writeFile(
        TestEnvironment::home() + QLatin1Char('/') + name,
        EngineTest::wavBytes(EngineTest::tone(1000, 0.5, rate, int64_t(seconds * rate), channels),
                             rate, channels));
}

MediaDescPtr record(const QString& path)
{
    auto item = std::make_shared<MediaDesc>();
    item->filePath = path;
    return item;
}

void storeList(const MediaList& items)
{
    UserDefaults::standard().setObject(QStringLiteral("Last Playlist"),
                                       MediaDesc::archivedDataWithItems(items));
}

// Records shown as the player shows its current item; nothing else answers.
struct ListTarget : RemoteControlTarget {
    MediaList items;
    int current = -1;

    std::optional<Track> remoteCurrentTrack() const override
    {
        const MediaDescPtr item = items.value(current);
        if (!item)
            return std::nullopt;
        Track track{current, {}, {}, item->filePath.value_or(QString())};
        track.album = item->album.value_or(QString());
        return track;
    }
    void remoteControlReceivedWithEvent(int) override {}
    PlaybackStatus remotePlaybackStatus() const override { return PlaybackStatus::Playing; }
    qint64 remotePosition() const override { return 0; }
    LoopStatus remoteLoopStatus() const override { return LoopStatus::None; }
    bool remoteShuffle() const override { return false; }
    bool remoteCanGoNext() const override { return false; }
    bool remoteCanGoPrevious() const override { return false; }
    bool remoteCanPlay() const override { return false; }
    bool remoteCanPause() const override { return false; }
    bool remoteCanSeek() const override { return false; }
    void remoteSeek(qint64) override {}
    void remoteSetLoopStatus(LoopStatus) override {}
    void remoteSetShuffle(bool) override {}
    void remoteRaise() override {}
    void remoteQuit() override {}
};

// The Metadata of the newest PropertiesChanged that carries one.
QVariantMap announcedMetadata(const DBusTest::SignalRecorder& changes)
{
    for (auto it = changes.messages.crbegin(); it != changes.messages.crend(); ++it) {
        const auto changed = qdbus_cast<QVariantMap>(it->arguments().value(1));
        if (changed.contains(QStringLiteral("Metadata")))
            return qdbus_cast<QVariantMap>(changed.value(QStringLiteral("Metadata")));
    }
    return {};
}

// A short tone with an album tag and a one-colour cover (codecs as given), and the
// cover's bytes as ffmpeg extracts them.
struct Covered {
    QString path;
    QByteArray cover;
};

Covered coveredTone(const QString& name, const QString& codecs, const QString& colour,
                    const QString& album)
{
    const QString path = MediaFixtures::cachedOutput(
        name, QProcess::splitCommand(
                  QStringLiteral("-f lavfi -i sine=frequency=440:duration=0.5 -f lavfi -i "
                                 "color=c=%1:s=32x32:d=0.1 -map 0:a -map 1:v -frames:v 1 %2 "
                                 "-id3v2_version 3 -metadata \"album=%3\" -disposition:v "
                                 "attached_pic")
                      .arg(colour, codecs, album)));
    QFile picture(MediaFixtures::cachedOutput(
        name + QStringLiteral(".pic"),
        QProcess::splitCommand(QStringLiteral("-i %1 -map 0:v -c copy -f image2").arg(path))));
    return {path, !path.isEmpty() && picture.open(QIODevice::ReadOnly) ? picture.readAll()
                                                                       : QByteArray()};
}

QStringList coversIn(const QString& folder)
{
    return QDir(folder).entryList({QStringLiteral("cover*")}, QDir::Files | QDir::Hidden);
}

} // namespace

TEST(MprisShell, AlbumAndCoverFollowTheTrackAndTheCacheHoldsOneCover)
{
    QUAVER_REQUIRE_FFMPEG();
    DBusTest::PrivateBus bus;
    if (!bus.whyNot().isEmpty())
        GTEST_SKIP() << bus.whyNot().toStdString();
    const Covered blue =
        coveredTone(QStringLiteral("blue.mp3"), QStringLiteral("-c:a libmp3lame -c:v mjpeg"),
                    QStringLiteral("blue"), QStringLiteral("Blue Album"));
    const Covered green =
        coveredTone(QStringLiteral("green.m4a"), QStringLiteral("-c:a aac -c:v png"),
                    QStringLiteral("green"), QStringLiteral("Green"));
    ASSERT_FALSE(blue.cover.isEmpty() || green.cover.isEmpty())
        << MediaFixtures::lastError().toStdString();

    ListTarget target;
    target.items = MediaHelper::collectionWithMedia(
        {blue.path, green.path, wav(QStringLiteral("plain.wav"), 0.5)});
    ASSERT_EQ(target.items.size(), 3);
    auto service = std::make_unique<MprisService>(&target, bus.connect());
    QDBusConnection client = bus.connect();
    DBusTest::SignalRecorder changes;
    client.connect(kService, kPath, QStringLiteral("org.freedesktop.DBus.Properties"),
                   QStringLiteral("PropertiesChanged"), &changes, SLOT(record(QDBusMessage)));
    const QString folder = MprisArtCache::defaultFolder();
    // Makes item index current; the metadata announced for it, with art or without.
    const auto show = [&](int index, bool withArt) {
        target.current = index;
        service->playerStateChanged();
        const QString url =
            QUrl::fromLocalFile(*target.items[index]->filePath).toString(QUrl::FullyEncoded);
        QVariantMap map;
        EXPECT_TRUE(TestEnvironment::waitUntil([&] {
            map = announcedMetadata(changes);
            return map.value(QStringLiteral("xesam:url")).toString() == url &&
                   map.contains(QStringLiteral("mpris:artUrl")) == withArt;
        })) << index;
        return map;
    };

    // Each cover is announced once it is in place; the one before is gone.
    QString firstUrl;
    for (const auto& [index, album, cover] :
         {std::tuple{0, "Blue Album", blue.cover}, std::tuple{1, "Green", green.cover}}) {
        SCOPED_TRACE(album);
        const QVariantMap map = show(index, true);
        EXPECT_EQ(map.value(QStringLiteral("xesam:album")).toString(), QLatin1String(album));
        const QUrl url(map.value(QStringLiteral("mpris:artUrl")).toString());
        QFile file(url.toLocalFile());
        ASSERT_TRUE(file.open(QIODevice::ReadOnly)) << url.toString().toStdString();
        EXPECT_EQ(file.readAll(), cover);
        EXPECT_EQ(coversIn(folder), QStringList{url.fileName()});
        firstUrl = firstUrl.isEmpty() ? url.toString() : firstUrl;
    }
    // A file without tags: neither album nor art, and no cover left behind.
    EXPECT_FALSE(show(2, false).contains(QStringLiteral("xesam:album")));
    EXPECT_TRUE(TestEnvironment::waitUntil([&] { return coversIn(folder).isEmpty(); }));

    // The same picture comes back under its name; a player that goes away takes its
    // cover along.
    EXPECT_EQ(show(0, true).value(QStringLiteral("mpris:artUrl")).toString(), firstUrl);
    service.reset();
    EXPECT_TRUE(coversIn(folder).isEmpty());
}

TEST(MprisShell, VolumeSetOverTheBusMovesTheControlAndTheLevelOfTheSound)
{
    DBusTest::PrivateBus bus;
    if (!bus.whyNot().isEmpty())
        GTEST_SKIP() << bus.whyNot().toStdString();
    const QString raw = TestEnvironment::home() + QStringLiteral("/stream.raw");
    qputenv("SDL_DISKAUDIOFILE", raw.toLocal8Bit());
    SDL_AudioQuit();
    if (SDL_AudioInit("disk") != 0)
        GTEST_SKIP() << "SDL has no disk driver here: " << SDL_GetError();

    storeList({record(wav(QStringLiteral("tone.wav"), 1.0, 48000, 2))});
    auto screen = std::make_unique<MainViewController>();
    MprisService service(screen.get(), bus.connect());
    const QDBusConnection client = bus.connect();
    const auto property = [&](const char *method, const QVariantList& args) {
        QDBusMessage call = QDBusMessage::createMethodCall(
            kService, kPath, QStringLiteral("org.freedesktop.DBus.Properties"),
            QLatin1String(method));
        call.setArguments(QVariantList{kPlayer, QStringLiteral("Volume")} + args);
        return DBusTest::callAndWait(client, call);
    };
    const auto volume = [&] {
        return property("Get", {}).arguments().value(0).value<QDBusVariant>().variant().toDouble();
    };
    EXPECT_DOUBLE_EQ(volume(), 1.0);
    EXPECT_EQ(property("Set", {QVariant::fromValue(QDBusVariant(0.3))}).type(),
              QDBusMessage::ReplyMessage);
    EXPECT_EQ(screen->outlets().volumeView->value(), 30);
    EXPECT_EQ(UserDefaults::standard().objectForKey(QStringLiteral("SystemVolume")).toInt(), 30);
    EXPECT_DOUBLE_EQ(volume(), 0.3);

    // The tone at half scale is heard at 0.3 of that: 0.15.
    screen->didSelectRow(0);
    ASSERT_TRUE(TestEnvironment::waitUntil(
        [&] { return QFileInfo(raw).size() > qint64(48000 * 0.5 * 2 * sizeof(float)); }));
    screen.reset();
    SDL_AudioQuit();
    SystemVolume::set(1.0f);
    QFile file(raw);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QByteArray bytes = file.readAll();
    std::vector<float> written(size_t(bytes.size()) / sizeof(float));
    std::memcpy(written.data(), bytes.constData(), written.size() * sizeof(float));
    const auto [low, high] = std::minmax_element(written.begin(), written.end());
    EXPECT_NEAR(std::max(-*low, *high), 0.15, 0.002);
}

// The Can* flags promise what PlayPause, Pause and Next then do.
TEST(MprisShell, CanFlagsSayWhatTheCommandsWillDo)
{
    // Engines on outputs that render nothing unless asked: they play for ever.
    const auto screenOver = [](const MediaList& items) {
        storeList(items);
        auto screen = std::make_unique<MainViewController>();
        screen->setEngineFactory([](const QString& path) {
            return std::make_unique<CAPlayer>(
                path, [] { return std::make_unique<OfflineAudioOutput>(8000); });
        });
        return screen;
    };
    auto tagged = record(wav(QStringLiteral("a.wav"), 2));
    tagged->album = QStringLiteral("Signals");

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
        auto screen = screenOver(row.emptyList ? MediaList{} : MediaList{tagged});
        for (int i = 0; i < row.pressesBefore; ++i)
            screen->remoteControlReceivedWithEvent(RemoteControlTogglePlayPause);
        if (row.clearedAfter) {
            screen->clearPlaylist();
            Alert::openAlerts().value(0)->pressButton(1);
        }
        EXPECT_EQ(screen->remoteCanPlay(), row.canPlay);
        EXPECT_EQ(screen->remoteCanPause(), row.canPause);
        EXPECT_EQ(screen->remoteCanGoNext(), row.canGoOn);
        EXPECT_EQ(screen->remoteCanGoPrevious(), row.canGoOn);

        screen->remoteControlReceivedWithEvent(RemoteControlTogglePlayPause);
        EXPECT_EQ(screen->remotePlaybackStatus(), row.afterPlayPause);
        const CAPlayer *before = screen->player();
        screen->remoteControlReceivedWithEvent(RemoteControlNextTrack);
        EXPECT_EQ(screen->player() != before, row.canGoOn) << "next loads an item";
        if (row.canGoOn) {
            ASSERT_TRUE(screen->remoteCurrentTrack().has_value());
            EXPECT_EQ(screen->remoteCurrentTrack()->album, QStringLiteral("Signals"));
        }
    }
}
