// The playlist chooser and the playlists screen, driven as a user drives them;
// what is checked is what the user sees: row texts, alert texts, files on disk.
#include "playlists/PlaylistsController.h"
#include "app/MainViewController.h"
#include "app/Transport.h"
#include "platform/ActionSheet.h"
#include "platform/Alert.h"
#include "playlists/PlaylistChooser.h"
#include "playlists/PlaylistHelper.h"
#include "support/EngineTestSupport.h"
#include "support/TestEnvironment.h"
#include "ui/NavigationController.h"
#include "ui/NavigationItem.h"
#include "ui/ScreenStack.h"

#include <QAbstractButton>
#include <QListWidget>
#include <QPointer>
#include <QProgressDialog>
#include <QTest>
#include <gtest/gtest.h>

namespace {

QStringList rows(const QListWidget *table)
{
    QStringList texts;
    for (int r = 0; r < table->count(); ++r)
        texts.append(table->item(r)->text());
    return texts;
}

// "1. name", ... in the store's own order.
QStringList expectedRows()
{
    QStringList texts;
    const QStringList names = PlaylistHelper::availablePlaylists().valueOr(QStringList());
    for (int r = 0; r < names.size(); ++r)
        texts.append(QStringLiteral("%1. %2").arg(r + 1).arg(names[r]));
    return texts;
}

// A playlist holding the given files.
void makePlaylist(const QString& name, const QStringList& paths = {})
{
    MediaList items;
    for (const QString& path : paths)
        items.append(EngineTest::record(path));
    ASSERT_TRUE(PlaylistHelper::createPlaylistWithName(name, items, true));
}

QStringList pathsIn(const QString& name)
{
    return EngineTest::paths(PlaylistHelper::contentsForPlaylist(name).valueOr(MediaList()));
}

ActionSheet *openSheet()
{
    TestEnvironment::waitUntil([] { return !ActionSheet::openSheets().isEmpty(); });
    return ActionSheet::openSheets().value(0);
}

Alert *openAlert()
{
    TestEnvironment::waitUntil([] { return !Alert::openAlerts().isEmpty(); });
    return Alert::openAlerts().value(0);
}

} // namespace

// No folder: the store's message instead of a chooser. One choice appends the files that exist,
// duplicates included, announces the update and closes the chooser; a second choice does nothing.
TEST(PlaylistChooser, ListsThePlaylistsAndAppendsOnce)
{
    ScreenStack window; // the player's, where the announcement shows
    window.show();
    EXPECT_EQ(PlaylistChooser::showForItems({}), nullptr);
    EXPECT_EQ(TestEnvironment::takeAlertMessages(),
              QStringList{QStringLiteral("You have no playlists")});
    const QString kept =
        TestEnvironment::writeFile(TestEnvironment::home() + QStringLiteral("/kept.mp3"), "x");
    const QString missing = TestEnvironment::home() + QStringLiteral("/gone.mp3");
    makePlaylist(QStringLiteral("other"));
    makePlaylist(QStringLiteral("mix"), {kept});
    QPointer<PlaylistChooser> chooser = PlaylistChooser::showForItems({kept, missing});
    ASSERT_TRUE(chooser);
    EXPECT_EQ(rows(chooser->table()), expectedRows());
    const int row = int(PlaylistHelper::availablePlaylists()->indexOf(QStringLiteral("mix")));
    chooser->choose(row);
    chooser->choose(row);
    EXPECT_EQ(pathsIn(QStringLiteral("mix")), (QStringList{kept, kept}));
    EXPECT_EQ(TestEnvironment::takeNotices(), QStringList{QStringLiteral("mix has been updated.")});
    EXPECT_TRUE(TestEnvironment::waitUntil([&] { return chooser.isNull(); }));
}

// The player's "Open" presents the screen; "Play" closes it even when the file is
// unreadable, and hands a good playlist to the player as its current list.
TEST(PlaylistsController, PlayerOpensItAndPlaysTheChosenPlaylist)
{
    ASSERT_TRUE(PlaylistHelper::createPlaylistFolder());
    TestEnvironment::writeFile(PlaylistHelper::pathForPlaylist(QStringLiteral("bad")), "junk");
    const QString path =
        TestEnvironment::writeFile(TestEnvironment::home() + QStringLiteral("/one.mp3"), "x");
    makePlaylist(QStringLiteral("mine"), {path});
    Transport transport;
    ScreenStack stack;
    auto *player = new MainViewController(transport);
    stack.setRootScreen(player);
    stack.show();
    for (const QString& name : {QStringLiteral("bad"), QStringLiteral("mine")}) {
        player->openPlaylist();
        stack.finishAnimations();
        ASSERT_NE(stack.topController(), nullptr);
        auto *screen = qobject_cast<PlaylistsController *>(stack.topController()->rootScreen());
        ASSERT_NE(screen, nullptr);
        screen->table()->setCurrentRow(int(screen->tableContents().indexOf(name)));
        QTest::keyClick(screen->table(), Qt::Key_Return);
        ASSERT_TRUE(openSheet());
        ASSERT_EQ(openSheet()->buttonTitles().value(0), QStringLiteral("Play"));
        openSheet()->pressButton(0);
        EXPECT_TRUE(stack.presented().isEmpty());
    }
    ASSERT_TRUE(TestEnvironment::waitUntil([&] { return transport.tableContents().size() == 1; }));
    EXPECT_EQ(transport.tableContents().value(0)->filePath, path);
}

// A swipe switches editing while the bar button keeps "Edit" (its next tap shows
// "Done"). Renaming onto a taken name keeps both playlists; Return on the deletion
// prompt keeps the playlist, "YES" deletes it. "Export" in the sheet writes the one
// left where the user says; "Import…" makes a new playlist of the file the user
// picks under a free name, listed once imported; cancelled while reading, it saves
// nothing.
TEST(PlaylistsController, EditingNeverLosesAPlaylistAndExportImportUseThePickedFile)
{
    const QString home = TestEnvironment::home();
    const QString a = TestEnvironment::writeFile(home + QStringLiteral("/a b.mp3"), "x");
    const QString b = TestEnvironment::writeFile(home + QStringLiteral("/ç.mp3"), "x");
    makePlaylist(QStringLiteral("a"), {a, b});
    makePlaylist(QStringLiteral("b"), {a, b});
    ScreenStack stack;
    stack.resize(320, 480);
    stack.show();
    auto *screen = new PlaylistsController;
    stack.present(screen);
    stack.finishAnimations();
    QListWidget *table = screen->table();
    QAbstractButton *edit = NavigationItem::of(screen)->leftButton();

    screen->selectRow(0);
    openSheet()->pressButton(1);
    ASSERT_TRUE(openAlert());
    openAlert()->setText(screen->tableContents().value(1));
    openAlert()->pressButton(1);
    EXPECT_EQ(TestEnvironment::takeAlertMessages().size(), 1);
    EXPECT_EQ(table->count(), 2);

    const QPoint start = table->visualItemRect(table->item(0)).center() - QPoint(60, 0);
    QTest::mousePress(table->viewport(), Qt::LeftButton, {}, start);
    QTest::mouseRelease(table->viewport(), Qt::LeftButton, {}, start + QPoint(100, 5));
    EXPECT_TRUE(screen->isEditing());
    EXPECT_EQ(edit->text(), QStringLiteral("Edit"));
    for (int button : {-1, 1}) { // -1: Return
        table->setCurrentRow(0);
        QTest::keyClick(table, Qt::Key_Delete);
        Alert *confirm = openAlert();
        ASSERT_TRUE(confirm);
        confirm->pressButton(button < 0 ? confirm->defaultButton() : button);
    }
    const QString left = screen->tableContents().value(0);
    EXPECT_EQ(rows(table), QStringList{QStringLiteral("1. ") + left});
    EXPECT_TRUE(TestEnvironment::takeAlertMessages().isEmpty());
    edit->click();
    EXPECT_TRUE(screen->isEditing());
    EXPECT_EQ(edit->text(), QStringLiteral("Done"));

    const QString file = home + QStringLiteral("/%1.m3u8").arg(left);
    screen->setFilePickers([&](const QString&) { return file; },
                           [&](const QString&) { return file; });
    screen->selectRow(0);
    ASSERT_TRUE(openSheet());
    openSheet()->pressButton(2);
    EXPECT_EQ(TestEnvironment::takeNotices(),
              QStringList{QStringLiteral("“%1” was exported to %2.").arg(left, file)});

    screen->importPlaylist();
    QPointer<QProgressDialog> busy = screen->findChild<QProgressDialog *>();
    ASSERT_TRUE(busy);
    busy->cancel();
    ASSERT_TRUE(TestEnvironment::waitUntil([&] { return !busy; }));
    EXPECT_EQ(PlaylistHelper::availablePlaylists().value(), QStringList{left});

    bool imported = false;
    QObject::connect(screen, &PlaylistsController::imported, [&] { imported = true; });
    screen->importPlaylist();
    ASSERT_TRUE(TestEnvironment::waitUntil([&] { return imported; }));
    TestEnvironment::takeAlertMessages();
    ASSERT_EQ(rows(table), expectedRows()) << "listed once imported";
    ASSERT_TRUE(screen->tableContents().contains(left + u'1')) << "a free name";
    EXPECT_EQ(pathsIn(left + u'1'), (QStringList{a, b}));
}
