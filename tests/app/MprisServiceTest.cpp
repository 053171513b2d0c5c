// MprisService on a private bus, driven by the D-Bus calls an MPRIS client makes.
#include "app/MprisService.h"
#include "DBusTestSupport.h"
#include "support/TestEnvironment.h"

#include <QDBusArgument>
#include <QDBusConnectionInterface>
#include <QDBusObjectPath>
#include <QDBusVariant>
#include <gtest/gtest.h>
#include <memory>

using DBusTest::PrivateBus;
using Loop = RemoteControlTarget::LoopStatus;
using Status = RemoteControlTarget::PlaybackStatus;

namespace {

const QString kService = QLatin1String(MprisService::kServiceName);
const QString kPath = QLatin1String(MprisService::kObjectPath);
const QString kPlayer = QLatin1String(MprisService::kPlayerInterface);
const QString kRoot = QLatin1String(MprisService::kRootInterface);

// Records what the service asks of the player; state is set by the test.
struct FakeTarget : RemoteControlTarget {
    QList<int> events;
    QList<qint64> seeks;
    QList<Loop> loopWrites;
    int raises = 0;
    std::function<void()> onQuit = [] {};

    Status status = Status::Stopped;
    std::optional<Track> track;
    qint64 position = 0;
    Loop loop = Loop::None;
    bool shuffle = false, canGoNext = true, canSeek = true;

    void remoteControlReceivedWithEvent(int subtype) override { events.append(subtype); }
    PlaybackStatus remotePlaybackStatus() const override { return status; }
    std::optional<Track> remoteCurrentTrack() const override { return track; }
    qint64 remotePosition() const override { return position; }
    LoopStatus remoteLoopStatus() const override { return loop; }
    bool remoteShuffle() const override { return shuffle; }
    bool remoteCanGoNext() const override { return canGoNext; }
    bool remoteCanGoPrevious() const override { return true; }
    bool remoteCanPlay() const override { return true; }
    bool remoteCanPause() const override { return true; }
    bool remoteCanSeek() const override { return canSeek; }
    void remoteSeek(qint64 us) override { seeks.append(position = us); }
    void remoteSetLoopStatus(LoopStatus s) override { loopWrites.append(loop = s); }
    void remoteSetShuffle(bool on) override { shuffle = on; }
    void remoteRaise() override { ++raises; }
    void remoteQuit() override { onQuit(); }
};

RemoteControlTarget::Track song(int index, const QString& path, qint64 lengthUs = 183'000'000)
{
    return {index, QStringLiteral("Song"), QStringLiteral("Artist"), path, lengthUs};
}

class MprisServiceTest : public testing::Test {
protected:
    void SetUp() override
    {
        if (!bus.whyNot().isEmpty())
            GTEST_SKIP() << bus.whyNot().toStdString();
        client = bus.connect();
        service = std::make_unique<MprisService>(&target, bus.connect());
        ASSERT_TRUE(service->isActive());
        client.connect(kService, kPath, kProperties, QStringLiteral("PropertiesChanged"), &changes,
                       SLOT(record(QDBusMessage)));
        client.connect(kService, kPath, kPlayer, QStringLiteral("Seeked"), &seeked,
                       SLOT(record(QDBusMessage)));
    }

    QDBusMessage call(const QString& interface, const QString& method,
                      const QVariantList& args = {})
    {
        QDBusMessage m = QDBusMessage::createMethodCall(kService, kPath, interface, method);
        m.setArguments(args);
        return DBusTest::callAndWait(client, m);
    }

    QVariant property(const QString& name, const QString& interface = kPlayer)
    {
        const QDBusMessage reply = call(kProperties, QStringLiteral("Get"), {interface, name});
        return reply.arguments().value(0).value<QDBusVariant>().variant();
    }

    QVariantMap metadata() { return qdbus_cast<QVariantMap>(property(QStringLiteral("Metadata"))); }

    QString trackId()
    {
        return metadata().value(QStringLiteral("mpris:trackid")).value<QDBusObjectPath>().path();
    }

    void setPosition(const QString& id, qint64 us)
    {
        call(kPlayer, QStringLiteral("SetPosition"),
             {QVariant::fromValue(QDBusObjectPath(id)), us});
    }

    // The changed-property map of PropertiesChanged message i, once it has arrived.
    QVariantMap changed(int i)
    {
        if (!TestEnvironment::waitUntil([&] { return changes.messages.size() > i; }, 3000))
            return {};
        return qdbus_cast<QVariantMap>(changes.messages.at(i).arguments().value(1));
    }

    const QString kProperties = QStringLiteral("org.freedesktop.DBus.Properties");
    PrivateBus bus;
    FakeTarget target;
    QDBusConnection client{QString()};
    std::unique_ptr<MprisService> service;
    DBusTest::SignalRecorder changes;
    DBusTest::SignalRecorder seeked;
};

} // namespace

TEST_F(MprisServiceTest, ClientCommandsReachTheTarget)
{
    const auto set = [this](const char *name, const QVariant& value) {
        return call(kProperties, QStringLiteral("Set"),
                    {kPlayer, QLatin1String(name), QVariant::fromValue(QDBusVariant(value))});
    };
    for (const char *method : {"Pause", "Stop", "PlayPause", "Next", "Previous", "Play"})
        call(kPlayer, QLatin1String(method));
    EXPECT_EQ(target.events, (QList<int>{101, 102, 103, 104, 105, 100}));
    set("LoopStatus", QStringLiteral("Track"));
    set("LoopStatus", QStringLiteral("Sometimes"));
    set("LoopStatus", QStringLiteral("Playlist"));
    EXPECT_EQ(target.loopWrites, (QList<Loop>{Loop::Track, Loop::Playlist}));
    set("Shuffle", true);
    EXPECT_TRUE(target.shuffle);
    // Each write is announced, even by a controller that forgets to.
    EXPECT_EQ(changed(2), (QVariantMap{{QStringLiteral("Shuffle"), true}}));

    EXPECT_EQ(
        call(kPlayer, QStringLiteral("OpenUri"), {QStringLiteral("file:///m/a.mp3")}).errorName(),
        QStringLiteral("org.freedesktop.DBus.Error.NotSupported"));
    call(kRoot, QStringLiteral("Raise"));
    EXPECT_EQ(target.raises, 1);
}

TEST_F(MprisServiceTest, PropertiesAreReadWhenAskedWithTheTypesMprisFixes)
{
    EXPECT_EQ(metadata().keys(), QStringList{QStringLiteral("mpris:trackid")});
    EXPECT_EQ(trackId(), QLatin1String(MprisService::kNoTrackPath));

    // An untagged file is named as the player names it; unknown parts are left out.
    target.track = RemoteControlTarget::Track{0, {}, {}, QStringLiteral("/m/a.live.mp3"), 0};
    QVariantMap map = metadata();
    EXPECT_EQ(map.value(QStringLiteral("xesam:title")).toString(), QStringLiteral("a.live"));
    EXPECT_FALSE(map.contains(QStringLiteral("xesam:artist")));
    EXPECT_FALSE(map.contains(QStringLiteral("mpris:length")));

    target.track = song(2, QStringLiteral("/music/My Song é.mp3"));
    target.status = Status::Paused;
    target.position = 61'250'000;
    target.loop = Loop::Playlist;
    target.canGoNext = false;
    map = metadata();
    EXPECT_EQ(map.value(QStringLiteral("xesam:artist")), QStringList{QStringLiteral("Artist")});
    EXPECT_EQ(map.value(QStringLiteral("mpris:length")), QVariant(qlonglong(183'000'000)));
    EXPECT_EQ(map.value(QStringLiteral("xesam:url")),
              QStringLiteral("file:///music/My%20Song%20%C3%A9.mp3"));
    EXPECT_TRUE(trackId().startsWith(QStringLiteral("/org/quaverpro/track/2/")));
    const struct {
        const char *name;
        QVariant value;
    } properties[] = {{"PlaybackStatus", QStringLiteral("Paused")},
                      {"Position", qlonglong(61'250'000)},
                      {"LoopStatus", QStringLiteral("Playlist")},
                      {"CanGoNext", false},
                      {"CanSeek", true}};
    for (const auto& p : properties)
        EXPECT_EQ(property(QLatin1String(p.name)), p.value) << p.name;
    EXPECT_EQ(property(QStringLiteral("Identity"), kRoot), QStringLiteral("Quaver Pro"));
    EXPECT_EQ(property(QStringLiteral("DesktopEntry"), kRoot), QStringLiteral("quaver-pro"));
}

TEST_F(MprisServiceTest, PropertiesChangedCarriesExactlyTheChangedProperties)
{
    service->playerStateChanged(); // nothing changed: no signal
    target.shuffle = true;
    service->playerStateChanged();
    EXPECT_EQ(changed(0), (QVariantMap{{QStringLiteral("Shuffle"), true}}));
    EXPECT_EQ(changes.messages[0].arguments().value(0).toString(), kPlayer);

    target.track = song(1, QStringLiteral("/m/one.mp3"));
    target.status = Status::Playing;
    target.position = 7'000'000; // never announced
    service->playerStateChanged();
    EXPECT_EQ(changed(1).keys(),
              (QStringList{QStringLiteral("Metadata"), QStringLiteral("PlaybackStatus")}));
    service->playerStateChanged();
    property(QStringLiteral("Shuffle")); // a round trip: a signal sent before it is here
    EXPECT_EQ(changes.messages.size(), 2) << "nothing changed, nothing sent";
}

TEST_F(MprisServiceTest, SeeksNameTheirTrackAndStayInsideIt)
{
    target.track = song(3, QStringLiteral("/m/a.mp3"), 100'000'000);
    const QString stale = trackId();
    // Another list whose item 3 is another file: a client holding the old id must
    // not seek the new file.
    target.track = song(3, QStringLiteral("/m/b.mp3"), 100'000'000);
    ASSERT_NE(trackId(), stale);
    setPosition(stale, 5'000'000);
    EXPECT_TRUE(target.seeks.isEmpty());

    setPosition(trackId(), 30'000'000);
    EXPECT_EQ(target.seeks, QList<qint64>{30'000'000});
    ASSERT_TRUE(TestEnvironment::waitUntil([&] { return seeked.messages.size() == 1; }, 3000));
    EXPECT_EQ(seeked.messages[0].arguments().value(0).toLongLong(), 30'000'000);

    // Relative seeks stop at the start, and go to the next track past the end.
    call(kPlayer, QStringLiteral("Seek"), {qlonglong(-40'000'000)});
    EXPECT_EQ(target.seeks.last(), 0);
    target.position = 90'000'000;
    call(kPlayer, QStringLiteral("Seek"), {qlonglong(15'000'000)});
    EXPECT_EQ(target.seeks.size(), 2);
    EXPECT_EQ(target.events, QList<int>{RemoteControlNextTrack});

    // Outside the track, or on a player that cannot seek, nothing moves.
    setPosition(trackId(), 100'000'001);
    setPosition(trackId(), -1);
    target.canSeek = false;
    setPosition(trackId(), 1'000'000);
    call(kPlayer, QStringLiteral("Seek"), {qlonglong(1'000'000)});
    EXPECT_EQ(target.seeks.size(), 2);
    service->playerSeeked(12'345); // a jump of the player's own
    ASSERT_TRUE(TestEnvironment::waitUntil([&] { return seeked.messages.size() == 3; }, 3000));
    EXPECT_EQ(seeked.messages[2].arguments().value(0).toLongLong(), 12'345);
}

// Quitting destroys the service from inside the target: the call is answered first,
// and the service is gone safely afterwards.
TEST_F(MprisServiceTest, QuitFromInsideTheCallIsAnsweredFirst)
{
    bool quit = false;
    target.onQuit = [&] {
        quit = true;
        service.reset();
    };
    const QDBusMessage reply = call(kRoot, QStringLiteral("Quit"));
    EXPECT_EQ(reply.type(), QDBusMessage::ReplyMessage) << reply.errorMessage().toStdString();
    ASSERT_TRUE(TestEnvironment::waitUntil([&] { return quit; }, 3000));
    EXPECT_FALSE(client.interface()->isServiceRegistered(kService).value());
}

TEST_F(MprisServiceTest, WithoutTheNameOrABusTheServiceIsInertAndSaysSoOnce)
{
    const QString noBus = QStringLiteral("quaver-test-nobus");
    for (const bool taken : {true, false}) {
        SCOPED_TRACE(taken ? "name taken" : "no bus");
        FakeTarget other;
        testing::internal::CaptureStderr();
        {
            MprisService second(&other,
                                taken ? bus.connect()
                                      : QDBusConnection::connectToBus(
                                            QStringLiteral("unix:path=/nonexistent/bus"), noBus));
            EXPECT_FALSE(second.isActive());
            second.playerStateChanged();
            second.playerSeeked(1);
        }
        const QString err = QString::fromStdString(testing::internal::GetCapturedStderr());
        const QStringList lines = err.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
        ASSERT_EQ(lines.size(), 1) << err.toStdString();
        EXPECT_TRUE(lines[0].contains(QStringLiteral("MPRIS"))) << lines[0].toStdString();
    }
    QDBusConnection::disconnectFromBus(noBus);
    call(kPlayer, QStringLiteral("Next"));
    EXPECT_EQ(target.events, QList<int>{RemoteControlNextTrack}) << "the first still answers";
}
