// The movie screen over a real generated video (moving test picture with a tone),
// driven through the player screen with an engine on a real-time ideal output.
#include "app/VideoMovieScreen.h"
#include "app/MainViewController.h"
#include "app/Transport.h"
#include "audio/CAPlayer.h"
#include "audio/OfflineAudioOutput.h"
#include "media/MediaDesc.h"
#include "platform/UserDefaults.h"
#include "support/MediaFixtures.h"
#include "support/TestEnvironment.h"

#include <QPointer>
#include <QTest>
#include <gtest/gtest.h>

TEST(MovieScreen, PictureFollowsTheSoundFromTheEnginesTimeAndHandsBack)
{
    QUAVER_REQUIRE_FFMPEG();
    const QString video = MediaFixtures::cachedTone(
        QStringLiteral("movie.mp4"), 440, 4, 44100, 2,
        QStringLiteral("-f lavfi -i testsrc=size=160x120:rate=25:d=4 -c:v mpeg4 -c:a aac"));
    ASSERT_FALSE(video.isEmpty()) << MediaFixtures::lastError().toStdString();
    auto item = std::make_shared<MediaDesc>();
    item->filePath = video;
    UserDefaults::standard().setObject(QStringLiteral("Last Playlist"),
                                       MediaDesc::archivedDataWithItems({item}));
    Transport transport;
    auto player = std::make_unique<MainViewController>(transport);
    transport.setEngineFactory([](const QString& path) {
        return std::make_unique<CAPlayer>(path, [] {
            return std::make_unique<OfflineAudioOutput>(0, OfflineAudioOutput::Mode::RealTime);
        });
    });
    player->show();
    player->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(player.get()));
    player->didSelectRow(0);
    CAPlayer *engine = transport.player();
    ASSERT_TRUE(engine && engine->isPlaying());
    engine->setTime(2);

    player->showVideo();
    const QPointer<VideoMovieScreen> screen =
        qobject_cast<VideoMovieScreen *>(player->videoController());
    ASSERT_NE(screen, nullptr);
    ASSERT_TRUE(TestEnvironment::waitUntil([&] { return screen->framesShown() > 0; }));
    EXPECT_NEAR(screen->shownTime(), 2.0, 0.15) << "the picture starts at the engine's time";
    const double first = screen->shownTime();
    ASSERT_TRUE(TestEnvironment::waitUntil([&] { return screen->shownTime() > first + 0.3; }));
    EXPECT_TRUE(engine->isPlaying()) << "the engine plays the movie's sound";
    EXPECT_NEAR(screen->shownTime(), engine->getTime(), 0.15);

    // A seek moves the picture with the sound.
    engine->setTime(0.5);
    ASSERT_TRUE(TestEnvironment::waitUntil([&] { return screen && screen->shownTime() < 1.0; }));

    // Space pauses and resumes the sound under the picture, and acts on nothing else
    // (on the player a stopped engine would be replaced by a fresh one).
    QTest::keyClick(screen, Qt::Key_Space);
    EXPECT_FALSE(engine->isPlaying());
    engine->stop();
    QTest::keyClick(screen, Qt::Key_Space);
    EXPECT_TRUE(engine->isPlaying());
    EXPECT_EQ(transport.player(), engine);

    // Escape closes the picture; the sound goes on from where it was.
    const float at = engine->getTime();
    QTest::keyClick(screen, Qt::Key_Escape);
    EXPECT_EQ(player->videoController(), nullptr);
    EXPECT_EQ(transport.player(), engine);
    EXPECT_TRUE(engine->isPlaying());
    EXPECT_NEAR(engine->getTime(), at, 0.2);
}

// A file with no picture is explained in one message; the screen is never left on
// view and the sound goes on.
TEST(MovieScreen, PictureThatCannotBeShownIsExplainedAndTheSoundGoesOn)
{
    QUAVER_REQUIRE_FFMPEG();
    const QString sound = MediaFixtures::cachedTone(QStringLiteral("sound-only.mp4"), 440, 3, 44100,
                                                    1, QStringLiteral("-c:a aac"));
    ASSERT_FALSE(sound.isEmpty()) << MediaFixtures::lastError().toStdString();
    VideoMovieScreen screen;
    bool finished = false;
    QObject::connect(&screen, &MovieScreen::finished, [&] { finished = true; });
    screen.play(sound, [] { return 1.0; });
    EXPECT_TRUE(finished);
    const QStringList messages = TestEnvironment::takeAlertMessages();
    ASSERT_EQ(messages.size(), 1);
    EXPECT_TRUE(messages[0].contains(QStringLiteral("has no picture")))
        << messages[0].toStdString();
}
