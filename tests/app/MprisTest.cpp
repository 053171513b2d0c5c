// The MPRIS service on a private bus, driven by the calls a desktop shell makes:
// over a recording target, and over the player screen itself.
#include "DBusTestSupport.h"
#include "app/MprisArtCache.h"
#include "app/MprisService.h"
#include "media/MediaHelper.h"
#include "support/EngineTestSupport.h"
#include "support/MediaFixtures.h"
#include "support/TestEnvironment.h"

#include <QDBusArgument>
#include <QDBusVariant>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QUrl>
#include <cmath>
#include <gtest/gtest.h>
#include <memory>

using Loop = RemoteControlTarget::LoopStatus;
using Status = RemoteControlTarget::PlaybackStatus;

namespace {

const QString kService = QLatin1String(MprisService::kServiceName);
const QString kPath = QLatin1String(MprisService::kObjectPath);
const QString kPlayer = QLatin1String(MprisService::kPlayerInterface);
const QString kRoot = QLatin1String(MprisService::kRootInterface);
const QString kProperties = QStringLiteral("org.freedesktop.DBus.Properties");

// Records what the service asks of the player; state is set by the test.
struct FakeTarget : RemoteControlTarget {
    QList<int> events;
    std::function<void()> onQuit = [] {};

    Status status = Status::Stopped;
    std::optional<Track> track;
    qint64 position = 0;
    Loop loop = Loop::None;
    bool shuffle = false;
    double volume = 1.0;

    void remoteControlReceivedWithEvent(int subtype) override { events.append(subtype); }
    PlaybackStatus remotePlaybackStatus() const override { return status; }
    std::optional<Track> remoteCurrentTrack() const override { return track; }
    qint64 remotePosition() const override { return position; }
    LoopStatus remoteLoopStatus() const override { return loop; }
    bool remoteShuffle() const override { return shuffle; }
    bool remoteCanGoNext() const override { return true; }
    bool remoteCanGoPrevious() const override { return true; }
    bool remoteCanPlay() const override { return true; }
    bool remoteCanPause() const override { return true; }
    bool remoteCanSeek() const override { return true; }
    double remoteVolume() const override { return volume; }
    void remoteSetVolume(double to) override { volume = to; }
    void remoteSeek(qint64 us) override { position = us; }
    void remoteSetLoopStatus(LoopStatus to) override { loop = to; }
    void remoteSetShuffle(bool on) override { shuffle = on; }
    void remoteRaise() override {}
    void remoteQuit() override { onQuit(); }
};

RemoteControlTarget::Track song(int index, const QString& path, qint64 lengthUs = 183'000'000)
{
    return {index, QStringLiteral("Song"), QStringLiteral("Artist"), path, lengthUs};
}

// A short tone with an album tag and a one-colour cover; the cover's bytes as
// ffmpeg extracts them.
std::pair<QString, QByteArray> coveredTone(const QString& name, const QString& codecs,
                                           const QString& colour, const QString& album)
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

class Mpris : public testing::Test {
protected:
    void SetUp() override
    {
        if (!bus.whyNot().isEmpty())
            GTEST_SKIP() << bus.whyNot().toStdString();
        client = bus.connect();
        client.connect(kService, kPath, kProperties, QStringLiteral("PropertiesChanged"), &changes,
                       SLOT(record(QDBusMessage)));
    }

    void serve(RemoteControlTarget *over)
    {
        service = std::make_unique<MprisService>(over, bus.connect());
        ASSERT_TRUE(service->isActive());
    }

    QDBusMessage call(const QString& interface, const QString& method,
                      const QVariantList& args = {})
    {
        QDBusMessage m = QDBusMessage::createMethodCall(kService, kPath, interface, method);
        m.setArguments(args);
        return DBusTest::callAndWait(client, m);
    }

    QVariant property(const QString& name)
    {
        const QDBusMessage reply = call(kProperties, QStringLiteral("Get"), {kPlayer, name});
        return reply.arguments().value(0).value<QDBusVariant>().variant();
    }

    // Properties.Set of a player property, value sent as the variant it holds.
    QDBusMessage set(const QString& name, const QVariant& value, const QString& interface = kPlayer)
    {
        return call(kProperties, QStringLiteral("Set"),
                    {interface, name, QVariant::fromValue(QDBusVariant(value))});
    }

    // The changed-property map of PropertiesChanged message i, once it has arrived.
    QVariantMap changed(int i)
    {
        if (!TestEnvironment::waitUntil([&] { return changes.messages.size() > i; }, 3000))
            return {};
        return qdbus_cast<QVariantMap>(changes.messages.at(i).arguments().value(1));
    }

    DBusTest::PrivateBus bus;
    FakeTarget target;
    QDBusConnection client{QString()};
    std::unique_ptr<MprisService> service;
    DBusTest::SignalRecorder changes;
};

} // namespace

TEST_F(Mpris, CommandsReachTheTargetAndPropertiesAreReadAndAnnounced)
{
    serve(&target);
    for (const char *method : {"Pause", "Stop", "PlayPause", "Next", "Previous", "Play"})
        call(kPlayer, QLatin1String(method));
    EXPECT_EQ(target.events, (QList<int>{101, 102, 103, 104, 105, 100}));

    target.track = song(2, QStringLiteral("/music/a.mp3"));
    target.status = Status::Paused;
    target.position = 61'250'000; // read when asked, never announced
    EXPECT_EQ(property(QStringLiteral("PlaybackStatus")), QStringLiteral("Paused"));
    EXPECT_EQ(property(QStringLiteral("Position")), qlonglong(61'250'000));
    service->playerStateChanged();
    EXPECT_EQ(changed(0).keys(),
              (QStringList{QStringLiteral("Metadata"), QStringLiteral("PlaybackStatus")}));

    // Quitting destroys the service from inside the target: the call is answered first.
    target.onQuit = [&] { service.reset(); };
    const QDBusMessage reply = call(kRoot, QStringLiteral("Quit"));
    EXPECT_EQ(reply.type(), QDBusMessage::ReplyMessage) << reply.errorMessage().toStdString();
}

TEST_F(Mpris, AlbumAndCoverFollowTheTrackAndTheCacheHoldsOneCover)
{
    QUAVER_REQUIRE_FFMPEG();
    const auto [blue, blueCover] =
        coveredTone(QStringLiteral("blue.mp3"), QStringLiteral("-c:a libmp3lame -c:v mjpeg"),
                    QStringLiteral("blue"), QStringLiteral("Blue Album"));
    const auto [green, greenCover] =
        coveredTone(QStringLiteral("green.m4a"), QStringLiteral("-c:a aac -c:v png"),
                    QStringLiteral("green"), QStringLiteral("Green"));
    ASSERT_FALSE(blueCover.isEmpty() || greenCover.isEmpty())
        << MediaFixtures::lastError().toStdString();
    const MediaList items = MediaHelper::collectionWithMedia(
        {blue, green, EngineTest::writeWav(QStringLiteral("plain.wav"), 0.5)});
    ASSERT_EQ(items.size(), 3);
    serve(&target);
    const QString folder = MprisArtCache::defaultFolder();
    const auto covers = [&] {
        return QDir(folder).entryList({QStringLiteral("cover*")}, QDir::Files | QDir::Hidden);
    };
    // Makes item index current; the metadata announced for it, with art or without.
    const auto show = [&](int index, bool withArt) {
        target.track = song(index, *items[index]->filePath);
        target.track->album = items[index]->album.value_or(QString());
        service->playerStateChanged();
        const QString url = QUrl::fromLocalFile(target.track->filePath).toString();
        QVariantMap map;
        EXPECT_TRUE(TestEnvironment::waitUntil([&] {
            if (!changes.messages.isEmpty())
                map = qdbus_cast<QVariantMap>(
                    changed(int(changes.messages.size()) - 1).value(QStringLiteral("Metadata")));
            return map.value(QStringLiteral("xesam:url")).toString() == url &&
                   map.contains(QStringLiteral("mpris:artUrl")) == withArt;
        })) << index;
        return map;
    };

    // Each cover is announced once it is in place; the one before is gone.
    for (const auto& [index, album, cover] :
         {std::tuple{0, "Blue Album", blueCover}, std::tuple{1, "Green", greenCover}}) {
        SCOPED_TRACE(album);
        const QVariantMap map = show(index, true);
        EXPECT_EQ(map.value(QStringLiteral("xesam:album")).toString(), QLatin1String(album));
        const QUrl url(map.value(QStringLiteral("mpris:artUrl")).toString());
        QFile file(url.toLocalFile());
        ASSERT_TRUE(file.open(QIODevice::ReadOnly)) << url.toString().toStdString();
        EXPECT_EQ(file.readAll(), cover);
        EXPECT_EQ(covers(), QStringList{url.fileName()});
    }
    // A file without tags: neither album nor art, and no cover left behind.
    EXPECT_FALSE(show(2, false).contains(QStringLiteral("xesam:album")));
    EXPECT_TRUE(TestEnvironment::waitUntil([&] { return covers().isEmpty(); }));
}

TEST_F(Mpris, PropertyWritesOfTheWrongTypeAreRefusedAndChangeNothing)
{
    serve(&target);
    const std::pair<const char *, QVariant> wrong[] = {
        {"Shuffle", QStringLiteral("true")},
        {"Shuffle", 1},
        {"Shuffle", 1.0},
        {"LoopStatus", 2},
        {"LoopStatus", true},
        {"LoopStatus", QStringList{QStringLiteral("Track")}},
        {"LoopStatus", QStringLiteral("Sometimes")},
        {"LoopStatus", QString()},
        {"Volume", 1},
        {"Volume", qlonglong(0)},
        {"Volume", QStringLiteral("0.5")},
        {"Volume", std::nan("")},
    };
    for (const auto& [name, value] : wrong) {
        SCOPED_TRACE(std::string(name) + " = " + value.typeName() + " " +
                     value.toString().toStdString());
        const QDBusMessage reply = set(QLatin1String(name), value);
        EXPECT_EQ(reply.errorName().toStdString(), "org.freedesktop.DBus.Error.InvalidArgs")
            << reply.errorMessage().toStdString();
    }
    EXPECT_FALSE(target.shuffle);
    EXPECT_EQ(target.loop, Loop::None);
    EXPECT_EQ(target.volume, 1.0);
    EXPECT_TRUE(changes.messages.isEmpty()) << "nothing changed, nothing announced";

    // The right types still work.
    for (const auto& [name, value] : {std::pair{"Shuffle", QVariant(true)},
                                      std::pair{"LoopStatus", QVariant(QStringLiteral("Playlist"))},
                                      std::pair{"Volume", QVariant(0.25)}}) {
        const QDBusMessage reply = set(QLatin1String(name), value);
        EXPECT_TRUE(reply.type() == QDBusMessage::ReplyMessage)
            << name << ": " << reply.errorMessage().toStdString();
    }
    EXPECT_TRUE(target.shuffle);
    EXPECT_EQ(target.loop, Loop::Playlist);
    EXPECT_EQ(target.volume, 0.25);
    EXPECT_EQ(property(QStringLiteral("Shuffle")), true);
    EXPECT_EQ(property(QStringLiteral("LoopStatus")), QStringLiteral("Playlist"));
    EXPECT_EQ(property(QStringLiteral("Volume")), 0.25);
    EXPECT_TRUE(set(QStringLiteral("Volume"), 7.5).type() == QDBusMessage::ReplyMessage);
    EXPECT_EQ(target.volume, 1.0) << "a number out of range is clamped";
}

TEST_F(Mpris, PropertiesAreReadAsBeforeAndOtherWritesGetTheirOwnErrors)
{
    serve(&target);
    target.track = song(0, QStringLiteral("/music/a.mp3"));
    const auto errorOf = [&](const QDBusMessage& reply) {
        return reply.type() == QDBusMessage::ErrorMessage ? reply.errorName().toStdString()
                                                          : std::string("no error");
    };
    EXPECT_EQ(errorOf(set(QStringLiteral("Rate"), 1.0)),
              "org.freedesktop.DBus.Error.PropertyReadOnly");
    EXPECT_EQ(errorOf(set(QStringLiteral("Loudness"), 1.0)),
              "org.freedesktop.DBus.Error.UnknownProperty");
    EXPECT_EQ(errorOf(set(QStringLiteral("Shuffle"), true, QStringLiteral("org.example.None"))),
              "org.freedesktop.DBus.Error.UnknownInterface");
    EXPECT_EQ(
        errorOf(call(kProperties, QStringLiteral("Get"), {kPlayer, QStringLiteral("objectName")})),
        "org.freedesktop.DBus.Error.UnknownProperty");
    EXPECT_FALSE(target.shuffle);

    const QDBusMessage all = call(kProperties, QStringLiteral("GetAll"), {kPlayer});
    const QVariantMap player = qdbus_cast<QVariantMap>(all.arguments().value(0));
    for (const char *name : {"PlaybackStatus", "LoopStatus", "Rate", "Shuffle", "Metadata",
                             "Volume", "Position", "CanGoNext", "CanSeek", "CanControl"})
        EXPECT_TRUE(player.contains(QLatin1String(name))) << name;
    EXPECT_FALSE(player.contains(QStringLiteral("objectName")));
    EXPECT_EQ(qdbus_cast<QVariantMap>(player.value(QStringLiteral("Metadata")))
                  .value(QStringLiteral("xesam:url")),
              QStringLiteral("file:///music/a.mp3"));

    // Clients that read the interface description see each interface once, with
    // the writable properties marked so.
    const QString xml =
        call(QStringLiteral("org.freedesktop.DBus.Introspectable"), QStringLiteral("Introspect"))
            .arguments()
            .value(0)
            .toString();
    EXPECT_EQ(xml.count(QStringLiteral("<interface name=\"org.freedesktop.DBus.Properties\">")), 1)
        << xml.toStdString();
    EXPECT_TRUE(xml.contains(
        QStringLiteral("<property name=\"Shuffle\" type=\"b\" access=\"readwrite\"/>")))
        << xml.toStdString();
}
