#include "playlists/PlaylistDetails.h"

#include "playlists/PlaylistHelper.h"
#include "playlists/PlaylistModel.h"
#include "support/EngineTestSupport.h"
#include "support/SmallDisk.h"
#include "support/TestEnvironment.h"
#include "ui/NavigationController.h"

#include <QFile>
#include <QLabel>
#include <QListView>
#include <QPushButton>
#include <QTest>
#include <QWindow>
#include <gtest/gtest.h>

namespace {

// A navigation controller showing the details of name, once its records are listed.
struct Shown {
    explicit Shown(const QString& name) : details(new PlaylistDetails(name))
    {
        EXPECT_EQ(details->titleLabel()->text(), name) << "no count before the records are read";
        controller.resize(320, 460);
        controller.show();
        controller.push(details);
        controller.finishAnimation();
        EXPECT_TRUE(TestEnvironment::waitUntil([&] { return details->isLoaded(); }));
    }
    NavigationController controller{new QWidget};
    PlaylistDetails *details;
};

QStringList titlesOf(const std::optional<MediaList>& items)
{
    QStringList result;
    for (const MediaDescPtr& item : items.value_or(MediaList()))
        result.append(item->title.value_or(QString()));
    return result;
}

} // namespace

// Moving the first of four, untagged, to the end by keyboard, which edits only in
// editing mode: the new order on screen and on disk, one announcement per write, the
// title kept; the file name shown as the untagged title is not stored. The keys go
// where the user's keys go, to the focused table: an announcement is a notice that
// neither takes the focus nor waits to be dismissed.
TEST(PlaylistDetails, FirstOfFourMovedToTheEnd)
{
    const QStringList moved = QStringLiteral("two three four ").split(u' ');
    MediaList items;
    for (const QString& title : QStringLiteral("one two three four").split(u' '))
        items.append(EngineTest::record(QStringLiteral("/music/%1.mp3").arg(title),
                                        title == u"one" ? std::nullopt : std::optional(title)));
    ASSERT_TRUE(PlaylistHelper::createPlaylistWithName(QStringLiteral("Mix"), items, false));
    Shown shown(QStringLiteral("Mix"));
    QWindow *window = shown.controller.windowHandle();
    ASSERT_TRUE(QTest::qWaitForWindowActive(window));
    QListView *table = shown.details->table();
    table->setFocus();
    const QModelIndex first = shown.details->model()->index(0);
    EXPECT_EQ(first.data(PlaylistModel::TitleRole).toString(), QStringLiteral("one"));
    table->setCurrentIndex(first);
    QTest::keyClick(window, Qt::Key_Delete);
    QTest::keyClick(window, Qt::Key_Down, Qt::AltModifier);
    shown.details->editTable();
    table->setCurrentIndex(shown.details->model()->index(0));
    for (int i = 0; i < 4; ++i) // the last press finds the record at the end
        QTest::keyClick(window, Qt::Key_Down, Qt::AltModifier);
    EXPECT_EQ(table->currentIndex().row(), 3);
    EXPECT_TRUE(table->hasFocus());
    EXPECT_EQ(titlesOf(shown.details->model()->items()), moved);
    EXPECT_EQ(titlesOf(PlaylistHelper::contentsForPlaylist(QStringLiteral("Mix")).value()), moved);
    EXPECT_EQ(TestEnvironment::takeNotices(),
              QStringList(3, QStringLiteral("Mix has been updated.")));
    EXPECT_TRUE(TestEnvironment::takeAlertMessages().isEmpty());
    EXPECT_EQ(shown.details->titleLabel()->text(), QStringLiteral("Mix \n4 Songs"));
}

// An untagged record is titled after its file; deleting the only record with the
// editing mode's button leaves an empty playlist that still exists.
TEST(PlaylistDetails, TheOnlyUntaggedRecordRemoved)
{
    const MediaDescPtr untagged = EngineTest::record(QStringLiteral("/music/Album/Track 01.mp3"));
    ASSERT_TRUE(PlaylistHelper::createPlaylistWithName(QStringLiteral("Solo"), {untagged}, false));
    {
        Shown shown(QStringLiteral("Solo"));
        const QModelIndex row = shown.details->model()->index(0);
        EXPECT_EQ(row.data(PlaylistModel::TitleRole).toString(), QStringLiteral("Track 01"));
        EXPECT_EQ(shown.details->titleLabel()->text(), QStringLiteral("Solo \n1 Songs"));
        EXPECT_FALSE(shown.details->deleteButton()->isVisible());
        shown.details->editTable();
        ASSERT_TRUE(shown.details->deleteButton()->isVisible()) << "on the first row";
        QTest::mouseClick(shown.details->deleteButton(), Qt::LeftButton);
        EXPECT_EQ(shown.details->titleLabel()->text(), QStringLiteral("Solo \n0 Songs"));
        EXPECT_TRUE(TestEnvironment::waitUntil(
            [&] { return !shown.details->deleteButton()->isVisible(); }));
    }
    EXPECT_TRUE(QFile::exists(PlaylistHelper::pathForPlaylist(QStringLiteral("Solo"))));
    EXPECT_EQ(PlaylistHelper::contentsForPlaylist(QStringLiteral("Solo"))->size(), 0);
}

// A removal or a move that cannot be saved (a full disk) is told with the store's
// failure, and the screen shows the playlist as it is on disk again.
TEST(PlaylistDetails, AnEditThatCannotBeSavedShowsWhatIsOnDisk)
{
    SmallDisk disk(PlaylistHelper::playlistFolder());
    if (!disk.mounted())
        GTEST_SKIP() << "mounting a tmpfs needs root";
    const QStringList titles = QStringLiteral("one two three").split(u' ');
    MediaList items;
    for (const QString& title : titles) {
        items.append(std::make_shared<MediaDesc>());
        items.last()->title = title;
    }
    ASSERT_TRUE(PlaylistHelper::createPlaylistWithName(QStringLiteral("Mix"), items, false));
    QFile file(PlaylistHelper::pathForPlaylist(QStringLiteral("Mix")));
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QByteArray stored = file.readAll();
    TestEnvironment::takeAlertMessages();
    Shown shown(QStringLiteral("Mix"));
    shown.details->editTable();
    disk.fill();
    QListView *table = shown.details->table();
    for (const bool remove : {true, false}) {
        table->setCurrentIndex(shown.details->model()->index(0));
        QTest::keyClick(table, remove ? Qt::Key_Delete : Qt::Key_Down,
                        remove ? Qt::NoModifier : Qt::AltModifier);
        EXPECT_EQ(TestEnvironment::takeAlertMessages(),
                  QStringList{QStringLiteral("The operation was not successful")});
        ASSERT_TRUE(TestEnvironment::waitUntil([&] { return shown.details->isLoaded(); }));
        EXPECT_EQ(titlesOf(shown.details->model()->items()), titles) << remove;
        EXPECT_EQ(shown.details->titleLabel()->text(), QStringLiteral("Mix \n3 Songs"));
    }
    ASSERT_TRUE(file.seek(0));
    EXPECT_EQ(file.readAll(), stored);
}
