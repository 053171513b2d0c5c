// The player screen driven as a user drives it, over a transport whose engines
// play on an ideal output (no sound card). The playback policy itself is
// TransportTest's.
#include "app/MainViewController.h"
#include "app/AppDelegate.h"
#include "app/ArtView.h"
#include "app/CurrentList.h"
#include "app/EmptyListHint.h"
#include "app/Transport.h"
#include "audio/CAPlayer.h"
#include "audio/OfflineAudioOutput.h"
#include "audio/SystemVolume.h"
#include "platform/Alert.h"
#include "platform/UserDefaults.h"
#include "playlists/PlaylistHelper.h"
#include "playlists/PlaylistModel.h"
#include "support/EngineTestSupport.h"
#include "support/TestEnvironment.h"
#include "ui/Notice.h"
#include "ui/PopupView.h"

#include <QApplication>
#include <QDialog>
#include <QDir>
#include <QLabel>
#include <QPushButton>
#include <QSlider>
#include <QTest>
#include <QTimer>
#include <gtest/gtest.h>

namespace {

using EngineTest::record;
using EngineTest::writeWav;

class PlayerScreen : public testing::Test {
protected:
    // A screen over the given list, with engines on manual ideal outputs.
    void open(const MediaList& items)
    {
        UserDefaults::standard().setObject(QStringLiteral("Last Playlist"),
                                           MediaDesc::archivedDataWithItems(items));
        transport = std::make_unique<Transport>();
        screen = std::make_unique<MainViewController>(*transport);
        transport->setEngineFactory([this](const QString& path) {
            return std::make_unique<CAPlayer>(path, [this] {
                auto output = std::make_unique<OfflineAudioOutput>(8000);
                lastOutput = output.get();
                return output;
            });
        });
    }

    std::unique_ptr<Transport> transport;
    std::unique_ptr<MainViewController> screen; // destroyed first
    OfflineAudioOutput *lastOutput = nullptr;   // owned by the current engine
};

} // namespace

// The screen follows what the transport tells: the current item's name (cut to fit
// the label) and place, the end of a track, the stopped state, the count to report.
TEST_F(PlayerScreen, TheScreenShowsWhatTheTransportTells)
{
    open({record(writeWav(QStringLiteral("First Song.wav"), 1)),
          record(writeWav(QStringLiteral("b.wav"), 1), QStringLiteral("Bee"),
                 QStringLiteral("Band")),
          record(writeWav(QStringLiteral("c.wav"), 1), QStringLiteral("long ").repeated(60))});
    screen->didSelectRow(2);
    EXPECT_EQ(screen->outlets().playlistInfoLabel->text(), QStringLiteral("3 of 3"));
    const QLabel *name = screen->outlets().songNameLabel;
    EXPECT_LE(name->text().count(QLatin1Char('\n')) + 1,
              name->height() / name->fontMetrics().lineSpacing())
        << "a long name fits the label";
    EXPECT_TRUE(name->text().endsWith(QChar(0x2026))) << "and is cut with a mark";
    transport->backwardButton();
    EXPECT_EQ(name->text(), QStringLiteral("Band - Bee"));
    EXPECT_EQ(AppDelegate::windowTitle(*transport), QStringLiteral("Bee \u2014 Band"));
    EXPECT_FALSE(screen->outlets().emptyHint->isVisibleTo(screen.get()));
    EXPECT_EQ(screen->playImage(), QStringLiteral("pause.png"));
    transport->repeatButton();
    EXPECT_EQ(screen->repeatImage(), QStringLiteral("repeat_on_1.png"));

    // The list cleared under a playing item: once it has ended, the screen shows
    // that nothing plays.
    transport->clearList();
    lastOutput->pull(20000);
    ASSERT_TRUE(TestEnvironment::waitUntil([&] { return !transport->player(); }));
    EXPECT_FALSE(screen->outlets().timeSeeker->isVisible());
    EXPECT_EQ(screen->outlets().currentTimeLabel->text(), QStringLiteral("0:00"));
    EXPECT_EQ(screen->playImage(), QStringLiteral("play.png"));
    EXPECT_EQ(AppDelegate::windowTitle(*transport), QStringLiteral("Quaver Pro"));
    EXPECT_TRUE(screen->outlets().emptyHint->isVisibleTo(screen.get()));

    bool done = false;
    transport->addCollectionWithItems({QStringLiteral("/gone.wav")}, true, [&] {
        done = true;
        ASSERT_TRUE(Notice::shownIn(screen.get()))
            << "shown as the list changes, before it is stored";
        EXPECT_EQ(Notice::shownIn(screen.get())->text(), CurrentList::countMessage(1));
    });
    ASSERT_TRUE(TestEnvironment::waitUntil([&] { return done; }));

    // A notice (a store that failed) is shown over the screen, not as an alert.
    Q_EMIT transport->noticeToShow(QStringLiteral("Not saved."));
    ASSERT_TRUE(Notice::shownIn(screen.get()));
    EXPECT_EQ(Notice::shownIn(screen.get())->text(), QStringLiteral("Not saved."));
    EXPECT_TRUE(TestEnvironment::takeAlertMessages().isEmpty());
}

TEST_F(PlayerScreen, TheTimeCountsUpOrDownAndClicksAndKeysSeekAndMoveTheVolume)
{
    open({record(writeWav(QStringLiteral("long.wav"), 100))});
    screen->show();
    screen->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(screen.get()));
    screen->didSelectRow(0);
    transport->seekTime(65.4f);
    screen->updateUI();
    EXPECT_EQ(screen->outlets().currentTimeLabel->text(), QStringLiteral("1:05"));
    // The progress timer wakes the program only when the text changes: just past
    // the next whole second played.
    const auto *progress = screen->findChild<QTimer *>(QStringLiteral("progress"));
    ASSERT_TRUE(progress && progress->isActive());
    EXPECT_NEAR(progress->remainingTime(), 600, 50);
    screen->countDown();
    EXPECT_EQ(screen->outlets().currentTimeLabel->text(), QStringLiteral("-0:34"));
    EXPECT_EQ(MainViewController::timeText(59.99f, false), QStringLiteral("0:59"));
    EXPECT_EQ(MainViewController::timeText(3725.5f, true), QStringLiteral("-62:05"));
    QSlider *time = screen->outlets().timeSeeker;
    QSlider *volume = screen->outlets().volumeView;
    // Within half a knob's width (2 % of the track) of where the click was.
    transport->playButton(); // paused: no tick shows the new time
    QTest::mouseClick(time, Qt::LeftButton, {}, QPoint(time->width() * 3 / 4, time->height() / 2));
    EXPECT_NEAR(transport->player()->getTime(), 75.0f, 2.0f);
    EXPECT_EQ(screen->outlets().currentTimeLabel->text(),
              MainViewController::timeText(
                  transport->player()->duration() - transport->player()->getTime(), true));
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
            transport->seekTime(row.from);
            QTest::keyClick(focus, row.key);
            EXPECT_NEAR(transport->player()->getTime(), row.to, 0.01f)
                << row.key << " " << row.from;
            EXPECT_EQ(transport->volume(), row.volume) << row.key;
        }
    }
    transport->remoteSetVolume(0.3);
    EXPECT_EQ(volume->value(), 30) << "the control mirrors the transport";
    EXPECT_FLOAT_EQ(SystemVolume::get(), 0.3f) << "and the output's gain follows";
    volume->setValue(100); // leave the process as it was
}

TEST_F(PlayerScreen, TabReturnAndEscapeReachButtonsMenusAndPrompts)
{
    open({record(writeWav(QStringLiteral("a.wav"), 1)),
          record(writeWav(QStringLiteral("b.wav"), 1))});
    screen->show();
    screen->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(screen.get()));
    auto press = [](Qt::Key key) { QTest::keyClick(QApplication::focusWidget(), key); };
    screen->outlets().playButton->setFocus(Qt::TabFocusReason);
    press(Qt::Key_Tab);
    ASSERT_EQ(QApplication::focusWidget(), screen->outlets().forwardButton);
    press(Qt::Key_Return);
    EXPECT_EQ(transport->currentSong(), 1);
    ASSERT_NE(transport->player(), nullptr);

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
        EXPECT_EQ(transport->tableContents().size(), 2) << key;
    }
    screen->clearPlaylist();
    Alert::openAlerts().value(0)->pressButton(1);
    EXPECT_TRUE(transport->tableContents().isEmpty());
    screen.reset();
    transport.reset();
    UserDefaults::standard().synchronize();
    UserDefaults::resetStandardForTesting();
    Transport restored;
    MainViewController again(restored);
    EXPECT_EQ(restored.tableContents().size(), 2) << "a clear is not stored";

    // New Playlist saves the list only on its confirming button.
    again.show();
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
    EXPECT_EQ(TestEnvironment::takeNotices(),
              QStringList{QStringLiteral("Mine playlist was created.")});
}

// From the smallest size to a full-HD screen the parts keep their order and fill the
// screen: the bar spans the width, the unfolded list reaches the bar (also when the
// window changes size while it is unfolded), the picture grows into the free height.
TEST_F(PlayerScreen, EveryPartFollowsTheWindowsSize)
{
    open({});
    MainViewController& s = *screen;
    const MainViewController::Outlets& ui = s.outlets();
    s.show();
    EXPECT_EQ(s.minimumSize(), QSize(320, 460));
    const QRect smallArt = ui.artView->geometry();
    s.resize(1920, 1080);

    const QList<QPushButton *> bar = s.findChildren<QPushButton *>(QStringLiteral("barButton"));
    ASSERT_EQ(bar.size(), 4);
    QRect barArea;
    for (const QPushButton *button : bar)
        barArea |= button->geometry();
    EXPECT_EQ(barArea, QRect(0, 1080 - 35, 1920, 35));
    EXPECT_EQ(ui.playButton->geometry().center().x(), 1920 / 2 - 1) << "controls centred";
    EXPECT_LT(ui.backwardButton->x(), ui.playButton->x());
    EXPECT_LT(ui.playButton->x(), ui.forwardButton->x());
    EXPECT_EQ(ui.timeSeeker->width(), 1920 - 40);
    const QRect art = ui.artView->geometry();
    EXPECT_GT(art.height(), 4 * smallArt.height());
    EXPECT_LE(art.bottom(), barArea.top());
    EXPECT_EQ(art.center().x(), ui.playButton->geometry().center().x());

    ui.playlistButton->click();
    EXPECT_TRUE(TestEnvironment::waitUntil([&] {
        return ui.playlistContainer->geometry() == QRect(0, 80, 1920, 1080 - 80 - 35);
    })) << "unfolded to the bar";
    s.resize(320, 460);
    EXPECT_EQ(ui.playlistContainer->geometry(), QRect(0, 80, 320, 345));
    EXPECT_EQ(ui.artView->geometry(), smallArt);
}
