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

using DBusTest::ClientRun;
using DBusTest::PrivateBus;

namespace {

const QString kService = QLatin1String(MprisService::kServiceName);
const QString kPath = QLatin1String(MprisService::kObjectPath);
const QString kPlayer = QLatin1String(MprisService::kPlayerInterface);
const QString kRoot = QLatin1String(MprisService::kRootInterface);

// Records what the service asks of the player; state is set by the test.
class FakeTarget : public RemoteControlTarget {
public:
    QList<int> events;
    QList<qint64> seeks;
    QList<LoopStatus> loopWrites;
    QList<bool> shuffleWrites;
    int raises = 0;
    int quits = 0;
    std::function<void()> onQuit;

    PlaybackStatus status = PlaybackStatus::Stopped;
    std::optional<Track> track;
    qint64 position = 0;
    LoopStatus loop = LoopStatus::None;
    bool shuffle = false;
    bool canGoNext = true, canGoPrevious = true, canPlay = true, canPause = true, canSeek = true;

    void remoteControlReceivedWithEvent(int subtype) override { events.append(subtype); }
    PlaybackStatus remotePlaybackStatus() const override { return status; }
    std::optional<Track> remoteCurrentTrack() const override { return track; }
    qint64 remotePosition() const override { return position; }
    LoopStatus remoteLoopStatus() const override { return loop; }
    bool remoteShuffle() const override { return shuffle; }
    bool remoteCanGoNext() const override { return canGoNext; }
    bool remoteCanGoPrevious() const override { return canGoPrevious; }
    bool remoteCanPlay() const override { return canPlay; }
    bool remoteCanPause() const override { return canPause; }
    bool remoteCanSeek() const override { return canSeek; }
    void remoteSeek(qint64 us) override
    {
        seeks.append(us);
        position = us;
    }
    void remoteSetLoopStatus(LoopStatus s) override
    {
        loopWrites.append(s);
        loop = s;
    }
    void remoteSetShuffle(bool on) override
    {
        shuffleWrites.append(on);
        shuffle = on;
    }
    void remoteRaise() override { ++raises; }
    void remoteQuit() override
    {
        ++quits;
        if (onQuit)
            onQuit();
    }
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
        playerctl = QStandardPaths::findExecutable(QStringLiteral("playerctl"));
        client = bus.connect();
        service = std::make_unique<MprisService>(&target, bus.connect());
        ASSERT_TRUE(service->isActive());
        client.connect(kService, kPath, QStringLiteral("org.freedesktop.DBus.Properties"),
                       QStringLiteral("PropertiesChanged"), &changes, SLOT(record(QDBusMessage)));
        client.connect(kService, kPath, kPlayer, QStringLiteral("Seeked"), &seeked,
                       SLOT(record(QDBusMessage)));
    }

    void TearDown() override { service.reset(); }

    // playerctl against our player; skips the calling test where it is missing.
    ClientRun ctl(const QStringList& args)
    {
        return DBusTest::runClient(
            bus, playerctl, QStringList{QStringLiteral("-p"), QStringLiteral("quaverpro")} + args);
    }

    QDBusMessage call(const QString& interface, const QString& method,
                      const QVariantList& args = {})
    {
        QDBusMessage m = QDBusMessage::createMethodCall(kService, kPath, interface, method);
        m.setArguments(args);
        return DBusTest::callAndWait(client, m);
    }

    QVariant property(const QString& interface, const QString& name)
    {
        return DBusTest::getProperty(client, kService, kPath, interface, name);
    }

    QDBusMessage setProperty(const QString& name, const QVariant& value)
    {
        return call(QStringLiteral("org.freedesktop.DBus.Properties"), QStringLiteral("Set"),
                    {kPlayer, name, QVariant::fromValue(QDBusVariant(value))});
    }

    QVariantMap metadata()
    {
        return qdbus_cast<QVariantMap>(property(kPlayer, QStringLiteral("Metadata")));
    }

    QString trackId()
    {
        return metadata().value(QStringLiteral("mpris:trackid")).value<QDBusObjectPath>().path();
    }

    // The changed-property map of PropertiesChanged message i.
    QVariantMap changed(int i)
    {
        const QList<QVariant> args = changes.messages.at(i).arguments();
        EXPECT_EQ(args.value(0).toString(), kPlayer);
        return qdbus_cast<QVariantMap>(args.value(1));
    }

    bool waitForChanges(int count)
    {
        return TestEnvironment::waitUntil([&] { return changes.messages.size() >= count; }, 3000);
    }

    PrivateBus bus;
    FakeTarget target;
    QDBusConnection client{QString()};
    std::unique_ptr<MprisService> service;
    DBusTest::SignalRecorder changes;
    DBusTest::SignalRecorder seeked;
    QString playerctl;
};

#define REQUIRE_PLAYERCTL()                                                                        \
    do {                                                                                           \
        if (playerctl.isEmpty())                                                                   \
            GTEST_SKIP() << "playerctl is not installed";                                          \
    } while (0)

} // namespace

TEST_F(MprisServiceTest, TransportCommandsReachTheTargetAsRemoteControlSubtypes)
{
    REQUIRE_PLAYERCTL();
    for (const char *command : {"pause", "stop", "play-pause", "next", "previous", "play"}) {
        const ClientRun run = ctl({QLatin1String(command)});
        ASSERT_TRUE(run.finished) << command;
        EXPECT_EQ(run.exitCode, 0) << command << ": " << run.err.toStdString();
    }
    EXPECT_EQ(target.events, (QList<int>{101, 102, 103, 104, 105, 100}));
}

TEST_F(MprisServiceTest, ClientReadsMetadataStatusAndLivePosition)
{
    REQUIRE_PLAYERCTL();
    target.track = song(2, QStringLiteral("/music/My Song é.mp3"));
    target.status = RemoteControlTarget::PlaybackStatus::Playing;
    target.position = 42'500'000;
    service->playerStateChanged();

    ClientRun run = ctl({QStringLiteral("metadata"), QStringLiteral("--format"),
                         QStringLiteral("{{title}}|{{artist}}|{{mpris:length}}|{{xesam:url}}|"
                                        "{{mpris:trackid}}")});
    ASSERT_TRUE(run.finished);
    const QStringList fields = run.out.split(QLatin1Char('|'));
    ASSERT_EQ(fields.size(), 5) << run.out.toStdString() << run.err.toStdString();
    const QString shownId = QString(fields[4]).remove(QLatin1Char('\'')); // quoted as a path
    EXPECT_EQ(fields[0], QStringLiteral("Song"));
    EXPECT_EQ(fields[1], QStringLiteral("Artist"));
    EXPECT_EQ(fields[2], QStringLiteral("183000000"));
    EXPECT_EQ(fields[3], QStringLiteral("file:///music/My%20Song%20%C3%A9.mp3"));
    EXPECT_EQ(shownId, trackId());
    EXPECT_TRUE(shownId.startsWith(QStringLiteral("/org/quaverpro/track/2/")));

    EXPECT_EQ(ctl({QStringLiteral("status")}).out, QStringLiteral("Playing"));
    // Read when asked, without waiting for the controller to announce a change.
    target.status = RemoteControlTarget::PlaybackStatus::Paused;
    EXPECT_EQ(ctl({QStringLiteral("status")}).out, QStringLiteral("Paused"));
    target.position = 61'250'000;
    EXPECT_DOUBLE_EQ(ctl({QStringLiteral("position")}).out.toDouble(), 61.25);
}

TEST_F(MprisServiceTest, MetadataWithoutTrackOrTags)
{
    QVariantMap map = metadata();
    EXPECT_EQ(map.keys(), QStringList{QStringLiteral("mpris:trackid")});
    EXPECT_EQ(trackId(), QLatin1String(MprisService::kNoTrackPath));
    EXPECT_EQ(property(kPlayer, QStringLiteral("PlaybackStatus")).toString(),
              QStringLiteral("Stopped"));

    // An untagged file is named as the player names it; unknown parts are left out.
    target.track = RemoteControlTarget::Track{0, {}, {}, QStringLiteral("/m/a.live.mp3"), 0};
    map = metadata();
    EXPECT_EQ(map.value(QStringLiteral("xesam:title")).toString(), QStringLiteral("a.live"));
    EXPECT_FALSE(map.contains(QStringLiteral("xesam:artist")));
    EXPECT_FALSE(map.contains(QStringLiteral("mpris:length")));

    // The types MPRIS fixes: as, x, o.
    target.track = song(0, QStringLiteral("/m/b.mp3"));
    map = metadata();
    EXPECT_EQ(map.value(QStringLiteral("xesam:artist")).userType(), QMetaType::QStringList);
    EXPECT_EQ(map.value(QStringLiteral("xesam:artist")).toStringList(),
              QStringList{QStringLiteral("Artist")});
    EXPECT_EQ(map.value(QStringLiteral("mpris:length")).userType(), QMetaType::LongLong);
    EXPECT_EQ(map.value(QStringLiteral("mpris:trackid")).userType(),
              qMetaTypeId<QDBusObjectPath>());
}

TEST_F(MprisServiceTest, IdentityAndConstantProperties)
{
    EXPECT_EQ(property(kRoot, QStringLiteral("Identity")).toString(), QStringLiteral("Quaver Pro"));
    EXPECT_EQ(property(kRoot, QStringLiteral("DesktopEntry")).toString(),
              QStringLiteral("quaver-pro"));
    EXPECT_TRUE(property(kRoot, QStringLiteral("CanQuit")).toBool());
    EXPECT_TRUE(property(kRoot, QStringLiteral("CanRaise")).toBool());
    EXPECT_FALSE(property(kRoot, QStringLiteral("HasTrackList")).toBool());
    EXPECT_EQ(property(kRoot, QStringLiteral("SupportedUriSchemes")).toStringList(),
              QStringList{QStringLiteral("file")});
    EXPECT_TRUE(property(kRoot, QStringLiteral("SupportedMimeTypes"))
                    .toStringList()
                    .contains(QStringLiteral("audio/mpeg")));
    for (const char *name : {"Rate", "MinimumRate", "MaximumRate", "Volume"})
        EXPECT_EQ(property(kPlayer, QLatin1String(name)).toDouble(), 1.0) << name;
    EXPECT_TRUE(property(kPlayer, QStringLiteral("CanControl")).toBool());
    target.canSeek = false;
    EXPECT_FALSE(property(kPlayer, QStringLiteral("CanSeek")).toBool());
}

TEST_F(MprisServiceTest, PropertiesChangedCarriesExactlyTheChangedProperties)
{
    service->playerStateChanged(); // nothing changed: no signal
    target.shuffle = true;
    service->playerStateChanged();
    ASSERT_TRUE(waitForChanges(1));
    EXPECT_EQ(changed(0), (QVariantMap{{QStringLiteral("Shuffle"), true}}));
    EXPECT_TRUE(changes.messages.at(0).arguments().value(2).toStringList().isEmpty());

    target.track = song(1, QStringLiteral("/m/one.mp3"));
    target.status = RemoteControlTarget::PlaybackStatus::Playing;
    target.position = 7'000'000; // never announced
    service->playerStateChanged();
    ASSERT_TRUE(waitForChanges(2));
    QVariantMap c = changed(1);
    EXPECT_EQ(c.keys(),
              (QStringList{QStringLiteral("Metadata"), QStringLiteral("PlaybackStatus")}));
    EXPECT_EQ(c.value(QStringLiteral("PlaybackStatus")).toString(), QStringLiteral("Playing"));
    const QVariantMap md = qdbus_cast<QVariantMap>(c.value(QStringLiteral("Metadata")));
    EXPECT_EQ(md.value(QStringLiteral("xesam:title")).toString(), QStringLiteral("Song"));

    target.canGoNext = false;
    target.loop = RemoteControlTarget::LoopStatus::Playlist;
    service->playerStateChanged();
    ASSERT_TRUE(waitForChanges(3));
    c = changed(2);
    EXPECT_EQ(c, (QVariantMap{{QStringLiteral("CanGoNext"), false},
                              {QStringLiteral("LoopStatus"), QStringLiteral("Playlist")}}));
    TestEnvironment::waitUntil([] { return false; }, 100);
    EXPECT_EQ(changes.messages.size(), 3);
}

TEST_F(MprisServiceTest, ATrackIdNamesOneFileAtOneIndex)
{
    target.track = song(3, QStringLiteral("/m/a.mp3"));
    const QString first = trackId();
    EXPECT_EQ(trackId(), first);
    // Another list whose item 3 is another file: a client holding the old id must
    // not seek the new file.
    target.track = song(3, QStringLiteral("/m/b.mp3"));
    const QString second = trackId();
    EXPECT_NE(second, first);
    EXPECT_TRUE(second.startsWith(QStringLiteral("/org/quaverpro/track/3/")));
    EXPECT_FALSE(second.startsWith(QStringLiteral("/org/mpris")));

    call(kPlayer, QStringLiteral("SetPosition"),
         {QVariant::fromValue(QDBusObjectPath(first)), qlonglong(5'000'000)});
    EXPECT_TRUE(target.seeks.isEmpty());
    call(kPlayer, QStringLiteral("SetPosition"),
         {QVariant::fromValue(QDBusObjectPath(second)), qlonglong(5'000'000)});
    EXPECT_EQ(target.seeks, QList<qint64>{5'000'000});
}

TEST_F(MprisServiceTest, SeeksAreBoundedAndAnnounced)
{
    REQUIRE_PLAYERCTL();
    target.track = song(0, QStringLiteral("/m/a.mp3"), 100'000'000);
    target.position = 20'000'000;

    // playerctl sets an absolute position through SetPosition with the current id.
    ClientRun run = ctl({QStringLiteral("position"), QStringLiteral("30")});
    EXPECT_EQ(run.exitCode, 0) << run.err.toStdString();
    EXPECT_EQ(target.seeks, QList<qint64>{30'000'000});
    ASSERT_TRUE(TestEnvironment::waitUntil([&] { return seeked.messages.size() == 1; }, 3000));
    EXPECT_EQ(seeked.messages[0].arguments().value(0).toLongLong(), 30'000'000);

    // Relative seeks stop at the start, and go to the next track past the end.
    ctl({QStringLiteral("position"), QStringLiteral("40-")});
    EXPECT_EQ(target.seeks.last(), 0);
    target.position = 90'000'000;
    ctl({QStringLiteral("position"), QStringLiteral("15+")});
    EXPECT_EQ(target.seeks.size(), 2);
    EXPECT_EQ(target.events, QList<int>{RemoteControlNextTrack});

    // SetPosition outside the track, or on a player that cannot seek, does nothing.
    const QVariant id = QVariant::fromValue(QDBusObjectPath(trackId()));
    call(kPlayer, QStringLiteral("SetPosition"), {id, qlonglong(100'000'001)});
    call(kPlayer, QStringLiteral("SetPosition"), {id, qlonglong(-1)});
    target.canSeek = false;
    call(kPlayer, QStringLiteral("SetPosition"), {id, qlonglong(1'000'000)});
    call(kPlayer, QStringLiteral("Seek"), {qlonglong(1'000'000)});
    EXPECT_EQ(target.seeks.size(), 2);

    service->playerSeeked(12'345);
    ASSERT_TRUE(TestEnvironment::waitUntil([&] { return seeked.messages.size() == 3; }, 3000));
    EXPECT_EQ(seeked.messages[2].arguments().value(0).toLongLong(), 12'345);
}

TEST_F(MprisServiceTest, LoopStatusAndShuffleWritesReachTheTarget)
{
    REQUIRE_PLAYERCTL();
    EXPECT_EQ(ctl({QStringLiteral("loop"), QStringLiteral("Track")}).exitCode, 0);
    EXPECT_EQ(ctl({QStringLiteral("loop"), QStringLiteral("Playlist")}).exitCode, 0);
    EXPECT_EQ(ctl({QStringLiteral("shuffle"), QStringLiteral("On")}).exitCode, 0);
    EXPECT_EQ(target.loopWrites,
              (QList<RemoteControlTarget::LoopStatus>{RemoteControlTarget::LoopStatus::Track,
                                                      RemoteControlTarget::LoopStatus::Playlist}));
    EXPECT_EQ(target.shuffleWrites, QList<bool>{true});
    EXPECT_EQ(ctl({QStringLiteral("loop")}).out, QStringLiteral("Playlist"));

    setProperty(QStringLiteral("LoopStatus"), QStringLiteral("Sometimes"));
    EXPECT_EQ(target.loopWrites.size(), 2);

    // A write is announced even by a controller that forgets to.
    ASSERT_TRUE(TestEnvironment::waitUntil(
        [&] {
            for (int i = 0; i < changes.messages.size(); ++i) {
                if (changed(i).value(QStringLiteral("Shuffle")).toBool())
                    return true;
            }
            return false;
        },
        3000));
}

TEST_F(MprisServiceTest, RaiseAndQuit)
{
    call(kRoot, QStringLiteral("Raise"));
    EXPECT_EQ(target.raises, 1);

    // Quitting destroys the service from inside the target: the call is answered
    // first, and the service is gone safely afterwards.
    target.onQuit = [&] { service.reset(); };
    const QDBusMessage reply = call(kRoot, QStringLiteral("Quit"));
    EXPECT_EQ(reply.type(), QDBusMessage::ReplyMessage) << reply.errorMessage().toStdString();
    ASSERT_TRUE(TestEnvironment::waitUntil([&] { return target.quits == 1; }, 3000));
    EXPECT_EQ(service, nullptr);
    EXPECT_FALSE(client.interface()->isServiceRegistered(kService).value());
}

TEST_F(MprisServiceTest, OpenUriIsRefusedWithAnError)
{
    const QDBusMessage reply =
        call(kPlayer, QStringLiteral("OpenUri"), {QStringLiteral("file:///m/a.mp3")});
    EXPECT_EQ(reply.type(), QDBusMessage::ErrorMessage);
    EXPECT_EQ(reply.errorName(), QStringLiteral("org.freedesktop.DBus.Error.NotSupported"));
    EXPECT_TRUE(target.events.isEmpty());
}

TEST_F(MprisServiceTest, TakenNameLeavesASecondServiceInertWithOneMessage)
{
    FakeTarget other;
    DBusTest::StderrCapture err;
    {
        MprisService second(&other, bus.connect());
        EXPECT_FALSE(second.isActive());
        second.playerStateChanged();
        second.playerSeeked(1);
    }
    const QStringList lines = err.text().split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    ASSERT_EQ(lines.size(), 1) << err.text().toStdString();
    EXPECT_TRUE(lines[0].contains(kService)) << lines[0].toStdString();
    // The first service still answers.
    call(kPlayer, QStringLiteral("Next"));
    EXPECT_EQ(target.events, QList<int>{RemoteControlNextTrack});
}

TEST(MprisServiceNoBus, WithoutABusTheServiceIsInertAndSaysSoOnce)
{
    FakeTarget target;
    DBusTest::StderrCapture err;
    const QString name = QStringLiteral("quaver-test-nobus");
    {
        MprisService service(&target, QDBusConnection::connectToBus(
                                          QStringLiteral("unix:path=/nonexistent/bus"), name));
        EXPECT_FALSE(service.isActive());
        service.playerStateChanged();
        service.playerSeeked(5);
    }
    QDBusConnection::disconnectFromBus(name);
    const QStringList lines = err.text().split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    ASSERT_EQ(lines.size(), 1) << err.text().toStdString();
    EXPECT_TRUE(lines[0].contains(QStringLiteral("MPRIS"))) << lines[0].toStdString();
}
