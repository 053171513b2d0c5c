#include "playlists/PlaylistDetails.h"

#include "playlists/PlaylistHelper.h"
#include "playlists/PlaylistModel.h"
#include "support/TestEnvironment.h"
#include "ui/NavigationController.h"

#include <QFile>
#include <QLabel>
#include <QListView>
#include <QPushButton>
#include <QTest>
#include <gtest/gtest.h>

namespace {

// A navigation controller showing the details of name, once its records are listed.
struct Shown {
    explicit Shown(const QString& name) : details(new PlaylistDetails(name))
    {
        controller.resize(320, 460);
        controller.show();
        controller.push(details);
        controller.finishAnimation();
        EXPECT_TRUE(TestEnvironment::waitUntil([&] { return details->isLoaded(); }));
    }
    QStringList titles() const
    {
        QStringList result;
        for (int row = 0; row < details->model()->rowCount(); ++row)
            result.append(details->model()->index(row).data(PlaylistModel::TitleRole).toString());
        return result;
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

// Moving the first of four to the end, by keyboard and by a drag in editing mode:
// the new order on screen and on disk, one announcement per write, the title kept.
TEST(PlaylistDetails, FirstOfFourMovedToTheEndByKeysOrByDrag)
{
    const QStringList moved = QStringLiteral("two three four one").split(u' ');
    for (bool drag : {false, true}) {
        SCOPED_TRACE(drag ? "drag" : "keys");
        MediaList items;
        for (const QString& title : QStringLiteral("one two three four").split(u' ')) {
            items.append(std::make_shared<MediaDesc>());
            items.last()->filePath = QStringLiteral("/music/%1.mp3").arg(title);
            items.last()->title = title;
            items.last()->duration = QStringLiteral("1:00");
        }
        ASSERT_TRUE(PlaylistHelper::createPlaylistWithName(QStringLiteral("Mix"), items, false));
        TestEnvironment::takeAlertMessages();
        Shown shown(QStringLiteral("Mix"));
        QListView *table = shown.details->table();
        table->setCurrentIndex(shown.details->model()->index(0));
        int writes = 3;
        if (drag) {
            QTest::mouseClick(shown.details->editButton(), Qt::LeftButton);
            EXPECT_EQ(shown.details->editButton()->text(), QStringLiteral("Done"));
            QWidget *viewport = table->viewport();
            const QModelIndex last = shown.details->model()->index(3);
            QTest::mousePress(viewport, Qt::LeftButton, {},
                              table->visualRect(last.siblingAtRow(0)).center());
            QTest::mouseRelease(viewport, Qt::LeftButton, {}, table->visualRect(last).center());
            writes = 1;
        } else {
            for (int i = 0; i < 4; ++i) // the last press finds the record at the end
                QTest::keyClick(table, Qt::Key_Down, Qt::AltModifier);
            EXPECT_EQ(table->currentIndex().row(), 3);
        }
        EXPECT_EQ(shown.titles(), moved);
        EXPECT_EQ(titlesOf(PlaylistHelper::contentsForPlaylist(QStringLiteral("Mix"))), moved);
        EXPECT_EQ(TestEnvironment::takeAlertMessages(),
                  QStringList(writes, QStringLiteral("Mix has been updated.")));
        EXPECT_EQ(shown.details->titleLabel()->text(), QStringLiteral("Mix \n4 Songs"));
    }
}

// An untagged record is titled after its file; deleting the only record leaves an
// empty playlist that still exists; Escape goes back. A missing playlist shows an
// empty list.
TEST(PlaylistDetails, TheOnlyUntaggedRecordRemovedAndAMissingPlaylist)
{
    auto untagged = std::make_shared<MediaDesc>();
    untagged->filePath = QStringLiteral("/music/Album/Track 01.mp3");
    ASSERT_TRUE(PlaylistHelper::createPlaylistWithName(QStringLiteral("Solo"), {untagged}, false));
    TestEnvironment::takeAlertMessages();
    {
        Shown shown(QStringLiteral("Solo"));
        const QModelIndex row = shown.details->model()->index(0);
        EXPECT_EQ(row.data(PlaylistModel::TitleRole).toString(), QStringLiteral("Track 01"));
        EXPECT_EQ(row.data(PlaylistModel::ArtistRole).toString(), QString());
        EXPECT_EQ(shown.details->titleLabel()->text(), QStringLiteral("Solo \n1 Songs"));
        shown.details->table()->setCurrentIndex(row);
        QTest::keyClick(shown.details->table(), Qt::Key_Delete);
        EXPECT_EQ(shown.details->titleLabel()->text(), QStringLiteral("Solo \n0 Songs"));
        EXPECT_EQ(shown.titles(), QStringList());
        QTest::keyClick(shown.details->table(), Qt::Key_Escape);
        shown.controller.finishAnimation();
        EXPECT_EQ(shown.controller.depth(), 1);
    }
    EXPECT_TRUE(QFile::exists(PlaylistHelper::pathForPlaylist(QStringLiteral("Solo"))));
    EXPECT_EQ(PlaylistHelper::contentsForPlaylist(QStringLiteral("Solo"))->size(), 0);
    TestEnvironment::takeAlertMessages();

    Shown missing(QStringLiteral("Gone"));
    EXPECT_EQ(missing.details->titleLabel()->text(), QStringLiteral("Gone \n0 Songs"));
    EXPECT_EQ(TestEnvironment::takeAlertMessages(),
              QStringList{QStringLiteral("GonePlaylist does not exist")});
    EXPECT_FALSE(QFile::exists(PlaylistHelper::pathForPlaylist(QStringLiteral("Gone"))));
}
