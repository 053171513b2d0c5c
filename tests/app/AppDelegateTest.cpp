#include "app/AppDelegate.h"
#include "app/ArtView.h"
#include "app/EmptyListHint.h"
#include "app/MainViewController.h"
#include "app/Transport.h"
#include "audio/CAPlayer.h"
#include "browser/SongsController.h"
#include "services/SettingsHelper.h"
#include "services/SettingsKeys.h"
#include "support/EngineTestSupport.h"
#include "support/TestEnvironment.h"
#include "ui/NavigationController.h"
#include "ui/Notice.h"
#include "ui/ScreenStack.h"

#include <QCoreApplication>
#include <QDir>
#include <QDropEvent>
#include <QMimeData>
#include <QPushButton>
#include <gtest/gtest.h>

TEST(AppDelegate, FilesAndFoldersFromTheCommandLineJoinTheListAndTheFirstPlays)
{
    const QString single = EngineTest::writeWav(QStringLiteral("single.wav"), 1);
    EngineTest::writeWav(QStringLiteral("album/b.wav"), 1);
    EngineTest::writeWav(QStringLiteral("album/a.wav"), 1);
    const QString folder = TestEnvironment::home() + QStringLiteral("/music/album");

    LaunchOptions options;
    const QString gone = TestEnvironment::home() + QStringLiteral("/gone.wav");
    options.paths = {single, folder, gone};
    AppDelegate delegate;
    testing::internal::CaptureStderr();
    delegate.didFinishLaunching(options);
    EXPECT_TRUE(
        QString::fromStdString(testing::internal::GetCapturedStderr())
            .contains(QStringLiteral("quaver-pro: %1: no such file or folder\n").arg(gone)));
    ASSERT_TRUE(Notice::shownIn(delegate.window()));
    EXPECT_TRUE(Notice::shownIn(delegate.window())->text().contains(QStringLiteral("gone.wav")));
    ASSERT_NE(ScreenStack::of(delegate.viewController()), nullptr)
        << "screens are presented over the player";
    Transport *player = delegate.transport();
    ASSERT_TRUE(TestEnvironment::waitUntil([&] { return player->player() != nullptr; }));

    QStringList names;
    for (const MediaDescPtr& item : player->tableContents())
        names.append(QDir(*item->filePath).dirName());
    EXPECT_EQ(names, (QStringList{QStringLiteral("single.wav"), QStringLiteral("a.wav"),
                                  QStringLiteral("b.wav")}))
        << "a folder gives its files in order";
    EXPECT_EQ(player->currentSong(), 0);
    EXPECT_TRUE(player->player()->isPlaying());
    EXPECT_TRUE(TestEnvironment::takeAlertMessages().isEmpty()) << "added without the message";
}

TEST(AppDelegate, AnEmptyStartTellsHowToAddMusicAndDroppedFilesJoinAndPlay)
{
    const QString song = EngineTest::writeWav(QStringLiteral("one.wav"), 1);
    AppDelegate delegate;
    delegate.didFinishLaunching(LaunchOptions());
    QWidget *window = delegate.window();
    EXPECT_EQ(window->windowTitle(), QStringLiteral("Quaver Pro"));
    const EmptyListHint *hint = delegate.viewController()->outlets().emptyHint;
    ASSERT_TRUE(hint->isVisible());
    hint->browseButton()->click();
    const NavigationController *top = ScreenStack::of(hint)->topController();
    ASSERT_TRUE(top && qobject_cast<SongsController *>(top->rootScreen())) << "Songs, Device";

    QMimeData data;
    data.setUrls({QUrl(QStringLiteral("https://example.org/a.wav"))});
    QDragEnterEvent remote({10, 10}, Qt::CopyAction, &data, Qt::LeftButton, {});
    QCoreApplication::sendEvent(window, &remote);
    EXPECT_FALSE(remote.isAccepted()) << "local files only";
    data.setUrls({data.urls().first(), QUrl::fromLocalFile(song)});
    QDragEnterEvent enter({10, 10}, Qt::CopyAction, &data, Qt::LeftButton, {});
    QCoreApplication::sendEvent(window, &enter);
    EXPECT_TRUE(enter.isAccepted());
    const auto *target = window->findChild<QWidget *>(QStringLiteral("dropTarget"));
    ASSERT_TRUE(target && target->isVisible()) << "the window shows it takes the drop";
    QDropEvent drop({10, 10}, Qt::CopyAction, &data, Qt::LeftButton, {});
    QCoreApplication::sendEvent(window, &drop);
    EXPECT_FALSE(target->isVisible());
    Transport *player = delegate.transport();
    ASSERT_TRUE(TestEnvironment::waitUntil([&] { return player->player() != nullptr; }));
    EXPECT_EQ(player->tableContents().size(), 1);
    EXPECT_EQ(window->windowTitle(), QStringLiteral("one"));
    EXPECT_FALSE(hint->isVisible());
}

// The window opens larger than its smallest size, cannot be made smaller than the
// player's smallest layout, and opens again at the size it was closed at.
TEST(AppDelegate, TheWindowResizesAndOpensAgainAtItsLastSize)
{
    {
        AppDelegate delegate;
        delegate.didFinishLaunching(LaunchOptions());
        QWidget *window = delegate.window();
        EXPECT_EQ(window->size(), AppDelegate::kDefaultWindowSize);
        window->resize(100, 100);
        EXPECT_EQ(window->size(), QSize(320, 460));
        window->resize(900, 700);
        EXPECT_EQ(delegate.viewController()->size(), QSize(900, 700)) << "the player fills it";
    }
    AppDelegate again;
    again.didFinishLaunching(LaunchOptions());
    EXPECT_EQ(again.window()->size(), QSize(900, 700));
}

// With "Resume Playback" on, a restart comes back to the item, the time, repeat and
// shuffle, and waits for play; --resume plays at once. Off, the list starts at its
// first item with the modes off, as ever.
TEST(AppDelegate, ResumePlaybackBringsBackTheItemTheTimeAndTheModes)
{
    const QByteArray tone =
        EngineTest::wavBytes(EngineTest::tone(440, 0.5, 8000, 3 * 8000), 8000, 1);
    const QString a =
        TestEnvironment::writeFile(TestEnvironment::home() + QStringLiteral("/r/a.wav"), tone);
    const QString b =
        TestEnvironment::writeFile(TestEnvironment::home() + QStringLiteral("/r/b.wav"), tone);
    SettingsHelper::setSettings(SettingsKeys::ResumePlayback, true);
    {
        LaunchOptions options;
        options.paths = {a, b};
        AppDelegate delegate;
        delegate.didFinishLaunching(options);
        Transport *t = delegate.transport();
        ASSERT_TRUE(TestEnvironment::waitUntil([&] { return t->player() != nullptr; }));
        t->loadPlayerWithPath(1);
        t->seekTime(1.5f);
        t->repeatButton(); // one
        t->shuffleButton();
        t->playButton(); // paused there
    }
    const auto restart = [](bool resume) {
        auto delegate = std::make_unique<AppDelegate>();
        LaunchOptions options;
        options.resume = resume;
        delegate->didFinishLaunching(options);
        return delegate;
    };
    {
        const auto delegate = restart(false);
        Transport *t = delegate->transport();
        EXPECT_EQ(t->currentSong(), 1);
        EXPECT_EQ(t->player(), nullptr) << "it waits for play";
        EXPECT_EQ(delegate->viewController()->outlets().currentTimeLabel->text(),
                  QStringLiteral("0:01"));
        EXPECT_EQ(delegate->viewController()->outlets().artView->followed(), b)
            << "its picture is shown";
        EXPECT_TRUE(t->repeatOne());
        EXPECT_TRUE(t->shuffleOn());
        t->playButton();
        ASSERT_NE(t->player(), nullptr);
        EXPECT_NEAR(t->player()->getTime(), 1.5, 0.2) << "from where it was";
    }
    {
        const auto delegate = restart(true);
        ASSERT_NE(delegate->transport()->player(), nullptr) << "--resume plays at once";
        EXPECT_TRUE(delegate->transport()->player()->isPlaying());
        EXPECT_EQ(delegate->transport()->currentSong(), 1);
    }
    SettingsHelper::setSettings(SettingsKeys::ResumePlayback, false);
    const auto delegate = restart(false);
    EXPECT_EQ(delegate->transport()->currentSong(), 0);
    EXPECT_FALSE(delegate->transport()->repeatOne() || delegate->transport()->shuffleOn());
}
