// MprisService on a private bus, driven by a real MPRIS client (playerctl) where one
// exists for the feature, and by raw D-Bus calls for the rest.
#include "app/MprisService.h"
#include "DBusTestSupport.h"
#include "support/TestEnvironment.h"

#include <QDBusArgument>
#include <QDBusConnectionInterface>
#include <QDBusObjectPath>
#include <QDBusVariant>
#include <QStandardPaths>
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
    QList<bool> shuffleWrites;
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
    void remoteSetShuffle(bool on) override { shuffleWrites.append(shuffle = on); }
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
        if (!bus.isUp())
            GTEST_SKIP() << bus.whyNot().toStdString();
        client = bus.connect();
        service = std::make_unique<MprisService>(&target, bus.connect());
        ASSERT_TRUE(service->isActive());
        client.connect(kService, kPath, QStringLiteral("org.freedesktop.DBus.Properties"),
                       QStringLiteral("PropertiesChanged"), &changes, SLOT(record(QDBusMessage)));
        client.connect(kService, kPath, kPlayer, QStringLiteral("Seeked"), &seeked,
                       SLOT(record(QDBusMessage)));
    }

    // playerctl against our player (trimmed stdout); skips the test where it is missing.
    QString ctl(const QString& args)
    {
        const QString playerctl = QStandardPaths::findExecutable(QStringLiteral("playerctl"));
        if (playerctl.isEmpty())
            return QStringLiteral("<no playerctl>");
        const DBusTest::ClientRun run =
            DBusTest::runClient(bus, playerctl,
                                QStringList{QStringLiteral("-p"), QStringLiteral("quaverpro")} +
                                    args.split(QLatin1Char(' ')));
        EXPECT_EQ(run.exitCode, 0) << args.toStdString() << ": " << run.err.toStdString();
        return run.out;
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
        return DBusTest::getProperty(client, kService, kPath, interface, name);
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

    // The changed-property map of PropertiesChanged message i.
    QVariantMap changed(int i)
    {
        return qdbus_cast<QVariantMap>(changes.messages.at(i).arguments().value(1));
    }

    bool waitFor(const DBusTest::SignalRecorder& recorder, int count)
    {
        return TestEnvironment::waitUntil([&] { return recorder.messages.size() >= count; }, 3000);
    }

    PrivateBus bus;
    FakeTarget target;
    QDBusConnection client{QString()};
    std::unique_ptr<MprisService> service;
    DBusTest::SignalRecorder changes;
    DBusTest::SignalRecorder seeked;
};

#define REQUIRE_PLAYERCTL()                                                                        \
    if (QStandardPaths::findExecutable(QStringLiteral("playerctl")).isEmpty())                     \
    GTEST_SKIP() << "playerctl is not installed"

} // namespace

TEST_F(MprisServiceTest, ClientCommandsReachTheTarget)
{
    REQUIRE_PLAYERCTL();
    for (const char *command : {"pause", "stop", "play-pause", "next", "previous", "play",
                                "loop Track", "loop Playlist", "shuffle On"})
        ctl(QLatin1String(command));
    EXPECT_EQ(target.events, (QList<int>{101, 102, 103, 104, 105, 100}));
    EXPECT_EQ(target.loopWrites, (QList<Loop>{Loop::Track, Loop::Playlist}));
    EXPECT_EQ(target.shuffleWrites, QList<bool>{true});
    EXPECT_EQ(ctl(QStringLiteral("loop")), QStringLiteral("Playlist"));

    call(QStringLiteral("org.freedesktop.DBus.Properties"), QStringLiteral("Set"),
         {kPlayer, QStringLiteral("LoopStatus"),
          QVariant::fromValue(QDBusVariant(QStringLiteral("Sometimes")))});
    EXPECT_EQ(target.loopWrites.size(), 2) << "an unknown loop status is ignored";
    const QDBusMessage refused =
        call(kPlayer, QStringLiteral("OpenUri"), {QStringLiteral("file:///m/a.mp3")});
    EXPECT_EQ(refused.errorName(), QStringLiteral("org.freedesktop.DBus.Error.NotSupported"));
    // Each write is announced, even by a controller that forgets to.
    ASSERT_TRUE(waitFor(changes, 3));
    EXPECT_EQ(changed(2), (QVariantMap{{QStringLiteral("Shuffle"), true}}));
}

TEST_F(MprisServiceTest, MetadataStatusAndPositionAsAClientReadsThem)
{
    EXPECT_EQ(metadata().keys(), QStringList{QStringLiteral("mpris:trackid")});
    EXPECT_EQ(trackId(), QLatin1String(MprisService::kNoTrackPath));
    EXPECT_EQ(property(QStringLiteral("PlaybackStatus")).toString(), QStringLiteral("Stopped"));

    // An untagged file is named as the player names it; unknown parts are left out.
    target.track = RemoteControlTarget::Track{0, {}, {}, QStringLiteral("/m/a.live.mp3"), 0};
    QVariantMap map = metadata();
    EXPECT_EQ(map.value(QStringLiteral("xesam:title")).toString(), QStringLiteral("a.live"));
    EXPECT_FALSE(map.contains(QStringLiteral("xesam:artist")));
    EXPECT_FALSE(map.contains(QStringLiteral("mpris:length")));

    // The types MPRIS fixes: as, x, o.
    target.track = song(0, QStringLiteral("/m/b.mp3"));
    map = metadata();
    EXPECT_EQ(map.value(QStringLiteral("xesam:artist")).userType(), QMetaType::QStringList);
    EXPECT_EQ(map.value(QStringLiteral("mpris:length")).userType(), QMetaType::LongLong);
    EXPECT_EQ(map.value(QStringLiteral("mpris:trackid")).userType(),
              qMetaTypeId<QDBusObjectPath>());
    EXPECT_EQ(property(QStringLiteral("Identity"), kRoot).toString(), QStringLiteral("Quaver Pro"));
    EXPECT_EQ(property(QStringLiteral("DesktopEntry"), kRoot).toString(),
              QStringLiteral("quaver-pro"));

    REQUIRE_PLAYERCTL();
    target.track = song(2, QStringLiteral("/music/My Song é.mp3"));
    target.status = Status::Playing;
    const QStringList fields =
        ctl(QStringLiteral("metadata --format "
                           "{{title}}|{{artist}}|{{mpris:length}}|{{xesam:url}}|{{mpris:trackid}}"))
            .split(QLatin1Char('|'));
    ASSERT_EQ(fields.size(), 5);
    EXPECT_EQ(
        fields.mid(0, 4),
        (QStringList{QStringLiteral("Song"), QStringLiteral("Artist"), QStringLiteral("183000000"),
                     QStringLiteral("file:///music/My%20Song%20%C3%A9.mp3")}));
    EXPECT_EQ(QString(fields[4]).remove(QLatin1Char('\'')), trackId());
    EXPECT_TRUE(trackId().startsWith(QStringLiteral("/org/quaverpro/track/2/")));

    // Read when asked, without waiting for the controller to announce a change.
    EXPECT_EQ(ctl(QStringLiteral("status")), QStringLiteral("Playing"));
    target.status = Status::Paused;
    target.position = 61'250'000;
    EXPECT_EQ(ctl(QStringLiteral("status")), QStringLiteral("Paused"));
    EXPECT_DOUBLE_EQ(ctl(QStringLiteral("position")).toDouble(), 61.25);
}

TEST_F(MprisServiceTest, PropertiesChangedCarriesExactlyTheChangedProperties)
{
    service->playerStateChanged(); // nothing changed: no signal
    target.shuffle = true;
    service->playerStateChanged();
    ASSERT_TRUE(waitFor(changes, 1));
    EXPECT_EQ(changes.messages[0].arguments().value(0).toString(), kPlayer);
    EXPECT_EQ(changed(0), (QVariantMap{{QStringLiteral("Shuffle"), true}}));

    target.track = song(1, QStringLiteral("/m/one.mp3"));
    target.status = Status::Playing;
    target.position = 7'000'000; // never announced
    service->playerStateChanged();
    ASSERT_TRUE(waitFor(changes, 2));
    EXPECT_EQ(changed(1).keys(),
              (QStringList{QStringLiteral("Metadata"), QStringLiteral("PlaybackStatus")}));
    EXPECT_EQ(changed(1).value(QStringLiteral("PlaybackStatus")).toString(),
              QStringLiteral("Playing"));

    target.canGoNext = false;
    target.loop = Loop::Playlist;
    service->playerStateChanged();
    ASSERT_TRUE(waitFor(changes, 3));
    EXPECT_EQ(changed(2),
              (QVariantMap{{QStringLiteral("CanGoNext"), false},
                           {QStringLiteral("LoopStatus"), QStringLiteral("Playlist")}}));
    service->playerStateChanged();
    property(QStringLiteral("Shuffle")); // a round trip: a signal sent before it is here
    EXPECT_EQ(changes.messages.size(), 3) << "nothing changed, nothing sent";
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

    // playerctl sets an absolute position through SetPosition with the current id.
    REQUIRE_PLAYERCTL();
    ctl(QStringLiteral("position 30"));
    EXPECT_EQ(target.seeks, QList<qint64>{30'000'000});
    ASSERT_TRUE(waitFor(seeked, 1));
    EXPECT_EQ(seeked.messages[0].arguments().value(0).toLongLong(), 30'000'000);

    // Relative seeks stop at the start, and go to the next track past the end.
    ctl(QStringLiteral("position 40-"));
    EXPECT_EQ(target.seeks.last(), 0);
    target.position = 90'000'000;
    ctl(QStringLiteral("position 15+"));
    EXPECT_EQ(target.seeks.size(), 2);
    EXPECT_EQ(target.events, QList<int>{RemoteControlNextTrack});

    // Outside the track, or on a player that cannot seek, nothing moves.
    setPosition(trackId(), 100'000'001);
    setPosition(trackId(), -1);
    target.canSeek = false;
    setPosition(trackId(), 1'000'000);
    call(kPlayer, QStringLiteral("Seek"), {qlonglong(1'000'000)});
    EXPECT_EQ(target.seeks.size(), 2);

    service->playerSeeked(12'345);
    ASSERT_TRUE(waitFor(seeked, 3));
    EXPECT_EQ(seeked.messages[2].arguments().value(0).toLongLong(), 12'345);
}

TEST_F(MprisServiceTest, RaiseAndQuitFromInsideTheCall)
{
    call(kRoot, QStringLiteral("Raise"));
    EXPECT_EQ(target.raises, 1);

    // Quitting destroys the service from inside the target: the call is answered
    // first, and the service is gone safely afterwards.
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
        DBusTest::StderrCapture err;
        {
            MprisService second(&other,
                                taken ? bus.connect()
                                      : QDBusConnection::connectToBus(
                                            QStringLiteral("unix:path=/nonexistent/bus"), noBus));
            EXPECT_FALSE(second.isActive());
            second.playerStateChanged();
            second.playerSeeked(1);
        }
        const QStringList lines = err.text().split(QLatin1Char('\n'), Qt::SkipEmptyParts);
        ASSERT_EQ(lines.size(), 1) << err.text().toStdString();
        EXPECT_TRUE(lines[0].contains(QStringLiteral("MPRIS"))) << lines[0].toStdString();
    }
    QDBusConnection::disconnectFromBus(noBus);
    // The first service still answers.
    call(kPlayer, QStringLiteral("Next"));
    EXPECT_EQ(target.events, QList<int>{RemoteControlNextTrack});
}
