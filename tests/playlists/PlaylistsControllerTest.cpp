// The playlist chooser and the playlists screen, driven as a user drives them;
// what is checked is what the user sees: row texts, alert texts, files on disk.
#include "playlists/PlaylistsController.h"
#include "app/MainViewController.h"
#include "platform/ActionSheet.h"
#include "platform/Alert.h"
#include "playlists/PlaylistChooser.h"
#include "playlists/PlaylistHelper.h"
#include "support/TestEnvironment.h"
#include "ui/NavigationController.h"
#include "ui/NavigationItem.h"
#include "ui/ScreenStack.h"

#include <QAbstractButton>
#include <QApplication>
#include <QFileInfo>
#include <QLabel>
#include <QListWidget>
#include <QPointer>
#include <QTest>
#include <gtest/gtest.h>
#include <memory>

namespace {

QStringList rows(const QListWidget *table)
{
    QStringList texts;
    for (int r = 0; r < table->count(); ++r)
        texts.append(table->item(r)->text());
    return texts;
}

QString song(const QString& name)
{
    return TestEnvironment::writeFile(TestEnvironment::home() + QStringLiteral("/music/") + name,
                                      "x");
}

// Playlists holding the given files; the store's announcements are taken.
void makePlaylist(const QString& name, const QStringList& paths = {})
{
    MediaList items;
    for (const QString& path : paths) {
        items.append(std::make_shared<MediaDesc>());
        items.last()->filePath = path;
    }
    ASSERT_TRUE(PlaylistHelper::createPlaylistWithName(name, items, true));
    TestEnvironment::takeAlertMessages();
}

QStringList pathsIn(const QString& name)
{
    QStringList paths;
    for (const MediaDescPtr& item : PlaylistHelper::contentsForPlaylist(name).value_or(MediaList()))
        paths.append(item->filePath.value_or(QString()));
    return paths;
}

QStringList expectedRows()
{
    QStringList texts;
    const QStringList names = PlaylistHelper::availablePlaylists().value_or(QStringList());
    for (int r = 0; r < names.size(); ++r)
        texts.append(QStringLiteral("%1. %2").arg(r + 1).arg(names[r]));
    return texts;
}

// The playlists screen presented in a shown stack, as the player presents it.
struct Screen {
    Screen()
    {
        stack->resize(320, 480);
        stack->show();
        controller = new PlaylistsController;
        stack->present(controller);
        stack->finishAnimations();
    }
    bool presented() const { return !stack->presented().isEmpty(); }
    QAbstractButton *editButton() const { return NavigationItem::of(controller)->leftButton(); }
    ActionSheet *sheet() const
    {
        TestEnvironment::waitUntil([] { return !ActionSheet::openSheets().isEmpty(); });
        return ActionSheet::openSheets().value(0);
    }
    Alert *alert() const
    {
        TestEnvironment::waitUntil([] { return !Alert::openAlerts().isEmpty(); });
        return Alert::openAlerts().value(0);
    }

    std::unique_ptr<ScreenStack> stack = std::make_unique<ScreenStack>();
    PlaylistsController *controller = nullptr; // owned by the stack
};

} // namespace

// Without a folder the store's message stands in for the chooser; an empty folder
// opens it without rows; rows are numbered from 1 in the store's order.
TEST(PlaylistChooser, RowsFollowTheStoreListing)
{
    EXPECT_EQ(PlaylistChooser::showForItems({}), nullptr);
    EXPECT_EQ(TestEnvironment::takeAlertMessages(),
              QStringList{QStringLiteral("You have no playlists")});

    ASSERT_TRUE(PlaylistHelper::createPlaylistFolder());
    QPointer<PlaylistChooser> empty = PlaylistChooser::showForItems({});
    ASSERT_TRUE(empty);
    EXPECT_EQ(rows(empty->table()), QStringList());
    empty->reject();
    EXPECT_TRUE(TestEnvironment::waitUntil([&] { return empty.isNull(); }));

    for (const char *name : {"c", "a", "b"})
        makePlaylist(QString::fromLatin1(name));
    std::unique_ptr<PlaylistChooser> chooser(PlaylistChooser::showForItems({}));
    EXPECT_EQ(rows(chooser->table()), expectedRows());
    EXPECT_EQ(rows(chooser->table()).size(), 3);
}

// One choice appends the files that exist, duplicates included, announces the
// update and closes the chooser; a second choice does nothing.
TEST(PlaylistChooser, ChoiceAppendsExistingFilesAndCloses)
{
    const QString kept = song(QStringLiteral("kept.mp3"));
    const QString missing = TestEnvironment::home() + QStringLiteral("/music/gone.mp3");
    const struct {
        QStringList selection;
        QStringList after;
    } cases[] = {
        {{missing}, {kept}},
        {{kept, missing}, {kept, kept}},
    };
    for (const auto& c : cases) {
        Alert::dismissAllForTesting();
        PlaylistHelper::deletePlaylistWithName(QStringLiteral("mix"));
        makePlaylist(QStringLiteral("other"));
        makePlaylist(QStringLiteral("mix"), {kept});
        QPointer<PlaylistChooser> chooser = PlaylistChooser::showForItems(c.selection);
        ASSERT_TRUE(chooser);
        const int row = int(PlaylistHelper::availablePlaylists()->indexOf(QStringLiteral("mix")));
        chooser->choose(row);
        chooser->choose(row);
        EXPECT_EQ(pathsIn(QStringLiteral("mix")), c.after);
        EXPECT_EQ(TestEnvironment::takeAlertMessages(),
                  QStringList{QStringLiteral("mix has been updated.")});
        EXPECT_TRUE(TestEnvironment::waitUntil([&] { return chooser.isNull(); }));
        PlaylistHelper::deletePlaylistWithName(QStringLiteral("other"));
    }
}

// The list is read again each time the screen appears, also on coming back from
// the details screen made by the factory.
TEST(PlaylistsController, ListRefreshesOnEveryAppearance)
{
    makePlaylist(QStringLiteral("first"));
    Screen screen;
    EXPECT_EQ(rows(screen.controller->table()), QStringList{QStringLiteral("1. first")});

    screen.controller->openDetails(0); // no factory: nothing happens
    screen.controller->setDetailsFactory(
        [](const QString& name) -> QWidget * { return new QLabel(name); });
    screen.controller->openDetails(0);
    auto *nav = NavigationController::of(screen.controller);
    ASSERT_EQ(nav->depth(), 2);
    EXPECT_EQ(static_cast<QLabel *>(nav->topScreen())->text(), QStringLiteral("first"));
    nav->finishAnimation();

    makePlaylist(QStringLiteral("second"));
    nav->pop();
    nav->finishAnimation();
    EXPECT_EQ(rows(screen.controller->table()), expectedRows());
    EXPECT_EQ(screen.controller->table()->count(), 2);
}

// A swipe switches editing without touching the bar button, whose next tap then
// turns editing on and reads "Done".
TEST(PlaylistsController, SwipeSwitchesEditingButButtonKeepsEdit)
{
    makePlaylist(QStringLiteral("list"));
    Screen screen;
    QWidget *viewport = screen.controller->table()->viewport();
    const QPoint start =
        screen.controller->table()->visualItemRect(screen.controller->table()->item(0)).center() -
        QPoint(60, 0);
    QTest::mousePress(viewport, Qt::LeftButton, {}, start);
    QTest::mouseRelease(viewport, Qt::LeftButton, {}, start + QPoint(100, 5));
    EXPECT_TRUE(screen.controller->isEditing());
    EXPECT_EQ(screen.editButton()->text(), QStringLiteral("Edit"));
    EXPECT_TRUE(ActionSheet::openSheets().isEmpty());

    screen.editButton()->click();
    EXPECT_TRUE(screen.controller->isEditing());
    EXPECT_EQ(screen.editButton()->text(), QStringLiteral("Done"));
}

// "Play" hands the name over and closes the screen even when the file cannot be
// read.
TEST(PlaylistsController, PlayDismissesEvenWhenFileIsUnreadable)
{
    ASSERT_TRUE(PlaylistHelper::createPlaylistFolder());
    TestEnvironment::writeFile(PlaylistHelper::pathForPlaylist(QStringLiteral("bad")), "junk");
    Screen screen;
    QString played;
    screen.controller->setPlayHandler([&](const QString& name) {
        played = name;
        EXPECT_FALSE(PlaylistHelper::contentsForPlaylist(name).has_value());
    });
    QTest::keyClick(screen.controller->table(), Qt::Key_Return);
    ActionSheet *sheet = screen.sheet();
    ASSERT_TRUE(sheet);
    EXPECT_EQ(sheet->title(), QStringLiteral("Select an option"));
    EXPECT_EQ(sheet->buttonTitles(), (QStringList{QStringLiteral("Play"), QStringLiteral("Rename"),
                                                  QStringLiteral("Cancel")}));
    sheet->pressButton(0);
    EXPECT_EQ(played, QStringLiteral("bad"));
    EXPECT_FALSE(screen.presented());
}

// Renaming onto a taken name fails with the store's message and both playlists
// stay; the deletion prompt keeps the playlist on Return and deletes on "YES".
TEST(PlaylistsController, RenameAndDeleteNeverLoseAPlaylist)
{
    makePlaylist(QStringLiteral("a"));
    makePlaylist(QStringLiteral("b"));
    Screen screen;
    const QStringList before = rows(screen.controller->table());
    const int rowA = int(screen.controller->tableContents().indexOf(QStringLiteral("a")));
    screen.controller->selectRow(rowA);
    screen.sheet()->pressButton(1);
    Alert *prompt = screen.alert();
    ASSERT_TRUE(prompt);
    EXPECT_EQ(prompt->title(), QStringLiteral("New Name"));
    prompt->setText(QStringLiteral("b"));
    prompt->pressButton(1);
    EXPECT_EQ(TestEnvironment::takeAlertMessages().size(), 1);
    EXPECT_EQ(rows(screen.controller->table()), before);
    EXPECT_TRUE(QFileInfo::exists(PlaylistHelper::pathForPlaylist(QStringLiteral("a"))));
    EXPECT_TRUE(QFileInfo::exists(PlaylistHelper::pathForPlaylist(QStringLiteral("b"))));

    screen.controller->editTable();
    for (int pass = 0; pass < 2; ++pass) {
        screen.controller->table()->setCurrentRow(0);
        QTest::keyClick(screen.controller->table(), Qt::Key_Delete);
        Alert *confirm = screen.alert();
        ASSERT_TRUE(confirm);
        if (pass == 0) {
            QWidget *window = nullptr;
            for (QWidget *w : QApplication::topLevelWidgets())
                if (w->objectName() == QLatin1String("alert") && w->isVisible())
                    window = w;
            ASSERT_TRUE(window);
            QTest::keyClick(window->focusWidget(), Qt::Key_Return);
            EXPECT_TRUE(TestEnvironment::waitUntil([] { return Alert::openAlerts().isEmpty(); }));
        } else {
            confirm->pressButton(1);
        }
    }
    EXPECT_EQ(screen.controller->table()->count(), 1);
    EXPECT_EQ(rows(screen.controller->table()), expectedRows());
    EXPECT_TRUE(TestEnvironment::takeAlertMessages().isEmpty());
}

// The player's "Open" presents the screen; "Play" there makes the playlist the
// player's current list.
TEST(PlaylistsController, PlayerOpensItAndPlaysTheChosenPlaylist)
{
    const QString path = song(QStringLiteral("one.mp3"));
    makePlaylist(QStringLiteral("mine"), {path});
    ScreenStack stack;
    auto *player = new MainViewController;
    stack.setRootScreen(player);
    stack.show();
    player->openPlaylist();
    stack.finishAnimations();
    ASSERT_NE(stack.topController(), nullptr);
    auto *screen = qobject_cast<PlaylistsController *>(stack.topController()->rootScreen());
    ASSERT_NE(screen, nullptr);
    EXPECT_EQ(rows(screen->table()), QStringList{QStringLiteral("1. mine")});
    screen->selectRow(0);
    TestEnvironment::waitUntil([] { return !ActionSheet::openSheets().isEmpty(); });
    ActionSheet::openSheets().value(0)->pressButton(0);
    EXPECT_TRUE(stack.presented().isEmpty());
    ASSERT_TRUE(TestEnvironment::waitUntil([&] { return player->tableContents().size() == 1; }));
    EXPECT_EQ(player->tableContents().value(0)->filePath, path);
}
