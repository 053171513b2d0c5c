// The library screen driven as a user drives it, over a library made here: the
// rows and counts shown, the selection, and what reaches the player and the
// playlist store.
#include "itunes/ItunesLibrary.h"
#include "LibraryFixture.h"
#include "app/MainViewController.h"
#include "app/Transport.h"
#include "platform/ActionSheet.h"
#include "platform/Alert.h"
#include "playlists/CAPlaylistCell.h"
#include "playlists/PlaylistChooser.h"
#include "playlists/PlaylistHelper.h"
#include "playlists/PlaylistModel.h"
#include "support/EngineTestSupport.h"
#include "support/TestEnvironment.h"
#include "ui/NavigationBar.h"
#include "ui/NavigationController.h"
#include "ui/NavigationItem.h"
#include "ui/ScreenStack.h"

#include <QApplication>
#include <QLabel>
#include <QListView>
#include <QPushButton>
#include <QTest>
#include <gtest/gtest.h>

using namespace Qt::StringLiterals;

namespace {

using EngineTest::paths;

// Ann: One and Three in "Mix", Two; Bob: Solo; a song with neither artist nor playlist.
QString makeLibrary()
{
    const QString root = TestEnvironment::home() + u"/media"_s;
    LibraryFixture::make(ItunesHelper::libraryPath(root),
                         QByteArray(LibraryFixture::kLibraryTables) +
                             "insert into container values (9,'Mix');"
                             "insert into item values (1,'Ann','One',NULL), (2,'Ann','Two',NULL),"
                             " (3,'Ann','Three',NULL), (4,'Bob','Solo',NULL), (5,NULL,'Lost',NULL);"
                             "insert into item_to_container values (1,9), (3,9);");
    LibraryFixture::make(ItunesHelper::locationsPath(root),
                         QByteArray(LibraryFixture::kLocationsTables) +
                             "insert into location values (1,'1.mp3',0), (2,'2.mp3',0),"
                             " (3,'3.mp3',0), (4,'4.mp3',0), (5,'5.mp3',0);");
    for (const char *name : {"1", "2", "3", "4", "5"})
        TestEnvironment::writeFile(root + u"/%1.mp3"_s.arg(QLatin1String(name)), "x");
    return root;
}

QString song(int n)
{
    return TestEnvironment::home() + u"/media/%1.mp3"_s.arg(n);
}

// "number|artist|title|mark" per row; mark: + selected, - not, empty out of selection mode.
std::vector<std::string> rows(const ItunesLibrary *screen)
{
    std::vector<std::string> texts;
    const QAbstractItemModel *model = screen->table()->model();
    for (int r = 0; r < model->rowCount(); ++r) {
        const QModelIndex i = model->index(r, 0);
        const QVariant mark = i.data(PlaylistModel::FailedRole + 100);
        texts.push_back(
            u"%1|%2|%3|%4"_s
                .arg(i.data(PlaylistModel::IndexTextRole).toString(),
                     i.data(PlaylistModel::ArtistRole).toString(),
                     i.data(PlaylistModel::TitleRole).toString(),
                     mark.isValid() ? QLatin1String(mark.toBool() ? "+" : "-") : QLatin1String(""))
                .toStdString());
    }
    return texts;
}

// Whether the first row shows its artist line bold and its title line regular.
bool nameBold(const ItunesLibrary *screen)
{
    const QModelIndex i = screen->table()->model()->index(0, 0);
    using Field = CAPlaylistCell::Field;
    return CAPlaylistCell::isBold(Field::Artist, i) && !CAPlaylistCell::isBold(Field::Title, i);
}

void pressSheetButton(const QString& title)
{
    ASSERT_TRUE(TestEnvironment::waitUntil([] { return !ActionSheet::openSheets().isEmpty(); }));
    ActionSheet *sheet = ActionSheet::openSheets().first();
    EXPECT_EQ(sheet->title(), u"Select an option"_s);
    sheet->pressButton(int(sheet->buttonTitles().indexOf(title)));
}

void enterPlaylistName(const QString& name)
{
    ASSERT_TRUE(TestEnvironment::waitUntil([] { return !Alert::openAlerts().isEmpty(); }));
    ASSERT_EQ(Alert::openAlerts().size(), 1) << "the name is asked alone";
    Alert *prompt = Alert::openAlerts().first();
    EXPECT_EQ(prompt->title(), u"New Playlist"_s);
    prompt->setText(name);
    prompt->pressButton(1);
}

} // namespace

// The player's menu entry presents the screen with its indicator; counts follow. An
// empty selection plays nothing; a playlist name and one of its songs tapped twice
// send that song three times; switching views keeps the selection. "Create new
// playlist" asks the name first and only then says the selection is empty; with a
// selection the store makes the playlist and the selection empties. "Add to existing
// playlist" appends through the chooser and keeps the selection.
TEST(ItunesLibrary, PlayerPresentsItPlaysAndSavesTheSelection)
{
    const QString root = makeLibrary();
    Transport transport;
    ScreenStack stack;
    auto *player = new MainViewController(transport);
    player->setMediaRoot(root);
    stack.setRootScreen(player);
    stack.show();
    player->itunesMemory();
    stack.finishAnimations();
    auto *screen = qobject_cast<ItunesLibrary *>(stack.topController()->rootScreen());
    ASSERT_NE(screen, nullptr);
    EXPECT_EQ(screen->activityIndicator()->parentWidget(), stack.topController()->navigationBar());
    ASSERT_TRUE(TestEnvironment::waitUntil([&] { return screen->isLoaded(); }));
    EXPECT_EQ(screen->activityIndicator(), nullptr);
    EXPECT_EQ(rows(screen), (std::vector<std::string>{"1|Ann|One|", "2|Ann|Two|", "3|Ann|Three|",
                                                      "4|Bob|Solo|", "5||Lost|"}));
    EXPECT_FALSE(nameBold(screen)) << "a song's title is bold";
    screen->setCategory(ItunesLibrary::Artists);
    EXPECT_EQ(rows(screen), (std::vector<std::string>{"1|Ann|3 songs|", "2|Bob|1 songs|"}));
    EXPECT_TRUE(nameBold(screen)) << "a name is bold over its count";

    screen->play();
    screen->selectRow(0);
    EXPECT_TRUE(screen->selectedFiles().isEmpty());
    QTest::keyClick(screen, Qt::Key_E, Qt::ControlModifier);
    EXPECT_EQ(screen->editButton()->text(), u"Done"_s);
    QTest::keyClick(screen, Qt::Key_2, Qt::ControlModifier);
    EXPECT_EQ(rows(screen), std::vector<std::string>{"1|Mix|2 songs|-"});
    EXPECT_TRUE(nameBold(screen));
    screen->selectRow(0);
    screen->setCategory(ItunesLibrary::Songs);
    screen->table()->setCurrentIndex(screen->table()->model()->index(2, 0));
    QTest::keyClick(screen->table(), Qt::Key_Return);
    QTest::keyClick(screen->table(), Qt::Key_Space);
    EXPECT_EQ(rows(screen), (std::vector<std::string>{"1|Ann|One|-", "2|Ann|Two|-", "3|Ann|Three|+",
                                                      "4|Bob|Solo|-", "5||Lost|-"}));
    screen->editTable();
    EXPECT_EQ(rows(screen)[2], "3|Ann|Three|");

    screen->play();
    EXPECT_TRUE(screen->selectedFiles().isEmpty());
    EXPECT_TRUE(TestEnvironment::waitUntil([&] { return transport.tableContents().size() == 4; }));
    EXPECT_EQ(paths(transport.tableContents()), (QStringList{song(1), song(3), song(3), song(3)}));
    EXPECT_EQ(TestEnvironment::takeNotices(),
              QStringList{u"4 items have been added to your current playlist"_s});

    screen->playlist();
    pressSheetButton(u"Create new playlist"_s);
    enterPlaylistName(u"Mine"_s);
    EXPECT_EQ(TestEnvironment::takeNotices(),
              QStringList{u"You have to select a file in order to play it"_s});

    screen->editTable();
    screen->setCategory(ItunesLibrary::Artists);
    screen->selectRow(1);
    screen->playlist();
    pressSheetButton(u"Create new playlist"_s);
    enterPlaylistName(u"Mine"_s);
    EXPECT_TRUE(screen->selectedFiles().isEmpty());
    ASSERT_TRUE(TestEnvironment::waitUntil(
        [] { return QFile::exists(PlaylistHelper::pathForPlaylist(u"Mine"_s)); }));
    TestEnvironment::takeAlertMessages();
    EXPECT_EQ(paths(*PlaylistHelper::contentsForPlaylist(u"Mine"_s)), QStringList{song(4)});

    screen->selectRow(0);
    screen->playlist();
    pressSheetButton(u"Add to existing playlist"_s);
    ASSERT_TRUE(TestEnvironment::waitUntil(
        [] { return qobject_cast<PlaylistChooser *>(QApplication::activeModalWidget()); }));
    qobject_cast<PlaylistChooser *>(QApplication::activeModalWidget())->choose(0);
    TestEnvironment::takeAlertMessages();
    EXPECT_EQ(paths(*PlaylistHelper::contentsForPlaylist(u"Mine"_s)),
              (QStringList{song(4), song(1), song(2), song(3)}));
    EXPECT_EQ(screen->selectedFiles().size(), 1);
}

// Without a library the screen says where it looked and how to look elsewhere.
TEST(ItunesLibrary, SaysWhereItLookedWhenThereIsNoLibrary)
{
    const QString root = TestEnvironment::home() + u"/empty"_s;
    ItunesLibrary screen(root);
    ASSERT_TRUE(TestEnvironment::waitUntil([&] { return screen.isLoaded(); }));
    const QString text = screen.messageLabel()->text();
    EXPECT_FALSE(screen.messageLabel()->isHidden());
    EXPECT_TRUE(text.contains(root + u"/iTunes_Control/iTunes/iTunes Library.itlp"_s) &&
                text.contains(u"--media-root DIR"_s) && text.contains(u"QUAVER_MEDIA_ROOT"_s))
        << text.toStdString();
}
