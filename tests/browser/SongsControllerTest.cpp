// The folder browser driven as a user drives it; what is checked is what the user
// sees (rows, header, bar buttons, alerts) and what the player is handed.
#include "browser/SongsController.h"
#include "app/MainViewController.h"
#include "browser/FolderListModel.h"
#include "platform/Alert.h"
#include "settings/SettingsHelper.h"
#include "settings/SettingsKeys.h"
#include "support/TestEnvironment.h"
#include "ui/NavigationController.h"
#include "ui/NavigationItem.h"
#include "ui/ScreenStack.h"

#include <QAbstractButton>
#include <QDir>
#include <QFileInfo>
#include <QLabel>
#include <QLayout>
#include <QLineEdit>
#include <QListView>
#include <QPropertyAnimation>
#include <QTest>
#include <gtest/gtest.h>

namespace {

QString at(const QString& relative)
{
    return TestEnvironment::home() + QLatin1Char('/') + relative;
}

void makeFiles(const QStringList& relatives)
{
    for (const QString& r : relatives)
        TestEnvironment::writeFile(at(r), "x");
}

QStringList rows(const SongsController& browser)
{
    QStringList names;
    for (int r = 0; r < browser.model()->rowCount(); ++r)
        names.append(browser.model()->name(r));
    return names;
}

QStringList sorted(QStringList list)
{
    list.sort();
    return list;
}

// Opens path and waits until its listing is shown.
void open(SongsController& browser, const QString& path)
{
    browser.openFolder(path);
    ASSERT_TRUE(TestEnvironment::waitUntil([&] { return !browser.isLoading(); }));
}

void choose(SongsController& browser, const QString& name)
{
    const int row = int(rows(browser).indexOf(name));
    ASSERT_GE(row, 0) << name.toStdString();
    browser.selectRow(row);
}

QStringList toolbarTitles(const SongsController& browser)
{
    QStringList titles;
    QLayout *row = browser.toolbar()->layout();
    for (int i = 0; i < row->count(); ++i)
        if (auto *b = qobject_cast<QAbstractButton *>(row->itemAt(i)->widget()))
            titles.append(b->text().isEmpty() ? b->accessibleName() : b->text());
    return titles;
}

} // namespace

// The active bookmark wins only with "HomeFolder" on and an index inside the list.
TEST(SongsControllerTest, StartsInTheHomeFolderUnlessAValidActiveBookmarkSaysOtherwise)
{
    using namespace SettingsKeys;
    const QString home = TestEnvironment::home() + QLatin1Char('/');
    const QString mark = at(QStringLiteral("marked"));
    struct {
        bool homeFolder;
        int active;
        QString expected;
    } const cases[] = {{false, 0, home}, {true, -1, home}, {true, 1, home}, {true, 0, mark}};
    for (const auto& c : cases) {
        SettingsHelper::setSettings(HomeFolder, c.homeFolder);
        SettingsHelper::setSettings(Bookmarks, QStringList{mark});
        SettingsHelper::setSettings(ActiveBookmark, c.active);
        SongsController browser;
        EXPECT_EQ(browser.currentPath(), c.expected) << c.homeFolder << " " << c.active;
        TestEnvironment::waitUntil([&] { return !browser.isLoading(); });
    }
    // The missing bookmark was listed and reported; the screen still shows its path.
    EXPECT_EQ(Alert::openAlerts().value(0) ? Alert::openAlerts().value(0)->title() : QString(),
              QStringLiteral("Error !!!"));
}

TEST(SongsControllerTest, HeaderShowsShortPathsWholeAndLongOnesByTheirLast35Characters)
{
    for (const int n : {34, 35, 36}) {
        const QString path = QStringLiteral("/") + QString(n - 1, QLatin1Char('a'));
        EXPECT_EQ(SongsController::headerText(path),
                  n == 34 ? QStringLiteral("  ") + path : QStringLiteral("...") + path.right(35))
            << n;
    }
    // A character outside the basic plane is never cut in half.
    const QString wide =
        QStringLiteral("/") + QString::fromUtf8("\xF0\x9F\x8E\xB5") + QString(34, QLatin1Char('d'));
    EXPECT_EQ(SongsController::headerText(wide), QStringLiteral("...") + wide.right(34));
}

// ".." goes away at "/" and comes back; an unreadable folder gives the alert, an
// empty table, its header and name, and ".." still leads up.
TEST(SongsControllerTest, ParentButtonAbsentAtRootAndUnreadableFolderReportsOnce)
{
    SongsController browser;
    TestEnvironment::waitUntil([&] { return !browser.isLoading(); });
    NavigationItem *item = NavigationItem::of(&browser);
    open(browser, QStringLiteral("/"));
    EXPECT_EQ(item->leftButton(), nullptr);
    const QString missing = at(QStringLiteral("gone"));
    open(browser, missing);
    ASSERT_NE(item->leftButton(), nullptr);
    EXPECT_EQ(item->leftButton()->text(), QStringLiteral(".."));
    EXPECT_EQ(browser.model()->rowCount(), 0);
    EXPECT_EQ(browser.headerLabel()->text(), QStringLiteral("  ") + missing);
    EXPECT_EQ(browser.folderNameLabel()->text(), QStringLiteral("gone"));
    ASSERT_EQ(Alert::openAlerts().size(), 1);
    EXPECT_EQ(Alert::openAlerts().value(0)->title(), QStringLiteral("Error !!!"));
    item->leftButton()->click();
    EXPECT_EQ(browser.currentPath(), TestEnvironment::home());
}

// "ab" finds names that start with it whatever their case and accents; ".." then
// shows the parent's whole listing and the field keeps its text.
TEST(SongsControllerTest, SearchIgnoresCaseAndAccentsAndParentFolderShowsEverything)
{
    makeFiles({QStringLiteral("p/s/Abba.mp3"), QString::fromUtf8("p/s/Ábc"),
               QStringLiteral("p/s/a"), QStringLiteral("p/s/Cab")});
    SongsController browser;
    browser.show();
    browser.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&browser));
    open(browser, at(QStringLiteral("p/s")));
    const int fullHeight = browser.tablePane()->height();
    browser.table()->setFocus();
    QTest::keyClicks(browser.table(), QStringLiteral("ab")); // typing starts the search
    EXPECT_EQ(browser.searchBar()->text(), QStringLiteral("ab"));
    EXPECT_EQ(sorted(rows(browser)),
              sorted({QStringLiteral("Abba.mp3"), QString::fromUtf8("Ábc")}));
    EXPECT_EQ(browser.tableAnimation()->endValue().toRect().height(),
              fullHeight - SongsController::kSearchShrink);

    open(browser, browser.currentPath()); // read again, as after a new folder
    EXPECT_EQ(rows(browser).size(), 2);

    browser.parentFolder();
    ASSERT_TRUE(TestEnvironment::waitUntil([&] { return !browser.isLoading(); }));
    EXPECT_FALSE(browser.isSearchMode());
    EXPECT_EQ(rows(browser), QStringList{QStringLiteral("s")});
    EXPECT_EQ(browser.searchBar()->text(), QStringLiteral("ab"));
    browser.searchBar()->setFocus();
    QTest::keyClick(browser.searchBar(), Qt::Key_Escape); // leaves the search, not the screen
    EXPECT_EQ(browser.searchBar()->text(), QString());
    EXPECT_TRUE(browser.table()->hasFocus());
}

// Edit mode: a second tap deselects, a folder is selected rather than opened, the
// selection spans folders, and "Play" hands over supported files one level deep.
TEST(SongsControllerTest, SelectionAcrossFoldersPlaysSupportedFilesOneLevelDeep)
{
    makeFiles({QStringLiteral("f/a.mp3"), QStringLiteral("f/b.txt"),
               QStringLiteral("f/sub.mp3/d.mp3"), QStringLiteral("g/e.wav"),
               QStringLiteral("g/x.txt")});
    SongsController browser;
    QList<QStringList> played;
    browser.setPlayHandler([&](const QStringList& paths) { played.append(paths); });
    open(browser, TestEnvironment::home());
    EXPECT_EQ(toolbarTitles(browser), (QStringList{QStringLiteral("Edit"), QStringLiteral("Folder"),
                                                   QStringLiteral("Bookmark this folder")}));
    browser.doneMode();
    EXPECT_EQ(toolbarTitles(browser),
              (QStringList{QStringLiteral("Done"), QStringLiteral("Play"),
                           QStringLiteral("Playlist"), QStringLiteral("Actions")}));
    choose(browser, QStringLiteral("f"));
    choose(browser, QStringLiteral("f"));
    EXPECT_TRUE(browser.selectionList().isEmpty());
    choose(browser, QStringLiteral("f"));
    EXPECT_EQ(browser.currentPath(), TestEnvironment::home());
    const QModelIndex f = browser.model()->index(int(rows(browser).indexOf(QStringLiteral("f"))));
    EXPECT_EQ(f.data(FolderListModel::AccessoryRole).toString(), QStringLiteral("selRow"));
    EXPECT_EQ(f.data(FolderListModel::IconRole).toString(), QStringLiteral("folderIcon"));

    open(browser, at(QStringLiteral("g")));
    choose(browser, QStringLiteral("e.wav"));
    browser.playSelected();
    choose(browser, QStringLiteral("x.txt"));
    browser.playSelected();
    ASSERT_EQ(played.size(), 2);
    EXPECT_EQ(played[0],
              (QStringList{at(QStringLiteral("f/a.mp3")), at(QStringLiteral("g/e.wav"))}));
    EXPECT_EQ(played[1], QStringList());
    EXPECT_TRUE(browser.selectionList().isEmpty());
    EXPECT_TRUE(browser.isEditMode());
}

// Awkward names survive listing, selection and "Play", byte for byte.
TEST(SongsControllerTest, AwkwardNamesSurviveListingSelectionAndPlay)
{
    const QStringList names{QStringLiteral(" lead and trail .mp3"), QStringLiteral("quo\"te's.mp3"),
                            QString::fromUtf8("日本語 Ωδή.mp3"), QStringLiteral("-n.mp3"),
                            QStringLiteral("two\nlines.mp3")};
    for (const QString& name : names)
        makeFiles({QStringLiteral("odd/") + name});
    SongsController browser;
    QStringList played;
    browser.setPlayHandler([&](const QStringList& paths) { played = paths; });
    open(browser, at(QStringLiteral("odd")));
    EXPECT_EQ(sorted(rows(browser)), sorted(names));
    browser.doneMode();
    for (const QString& name : names)
        choose(browser, name);
    browser.playSelected();
    ASSERT_EQ(played.size(), names.size());
    for (const QString& path : played)
        EXPECT_TRUE(QFileInfo::exists(path)) << path.toStdString();
}

// Openings that overlap show only the newest listing, and no row can be chosen
// while it is pending.
TEST(SongsControllerTest, OverlappingOpeningsShowOnlyTheCurrentPath)
{
    makeFiles(
        {QStringLiteral("one/1.mp3"), QStringLiteral("two/2.mp3"), QStringLiteral("three/3.mp3")});
    SongsController browser;
    open(browser, TestEnvironment::home());
    QStringList shown;
    QObject::connect(&browser, &SongsController::folderShown,
                     [&](const QString& path) { shown.append(path); });
    browser.openFolder(at(QStringLiteral("one")));
    browser.openFolder(at(QStringLiteral("two")));
    browser.openFolder(at(QStringLiteral("three")));
    choose(browser, QStringLiteral("one")); // still the home folder's rows
    EXPECT_EQ(browser.currentPath(), at(QStringLiteral("three")));
    ASSERT_TRUE(TestEnvironment::waitUntil([&] { return !browser.isLoading(); }));
    QTest::qWait(50); // let any stale result arrive
    EXPECT_EQ(shown, QStringList{at(QStringLiteral("three"))});
    EXPECT_EQ(rows(browser), QStringList{QStringLiteral("3.mp3")});
}

// Songs, then Device: the keys walk the folders, "Play" appends, and a double click
// appends one file and plays it.
TEST(SongsControllerTest, PlayerPresentsTheBrowserWhoseKeysAndDoubleClickReachTheList)
{
    makeFiles({QStringLiteral("m/a.mp3"), QStringLiteral("m/b.mp3")});
    ScreenStack stack;
    auto *player = new MainViewController;
    stack.setRootScreen(player);
    stack.resize(320, 460);
    stack.show();
    player->deviceMemory();
    stack.finishAnimations();
    ASSERT_NE(stack.topController(), nullptr);
    auto *browser = qobject_cast<SongsController *>(stack.topController()->rootScreen());
    ASSERT_NE(browser, nullptr);
    ASSERT_TRUE(TestEnvironment::waitUntil([&] { return !browser->isLoading(); }));
    QListView *table = browser->table();
    table->setCurrentIndex(
        browser->model()->index(int(rows(*browser).indexOf(QStringLiteral("m")))));
    QTest::keyClick(table, Qt::Key_Return);
    EXPECT_EQ(browser->currentPath(), at(QStringLiteral("m")));
    QTest::keyClick(table, Qt::Key_Backspace);
    EXPECT_EQ(browser->currentPath(), TestEnvironment::home());
    open(*browser, at(QStringLiteral("m")));

    browser->doneMode();
    choose(*browser, QStringLiteral("a.mp3"));
    browser->playSelected();
    ASSERT_TRUE(TestEnvironment::waitUntil([&] { return player->tableContents().size() == 1; }));
    EXPECT_EQ(TestEnvironment::takeAlertMessages().size(), 1); // the count, which is modal
    const QRect b = table->visualRect(
        browser->model()->index(int(rows(*browser).indexOf(QStringLiteral("b.mp3")))));
    QTest::mouseClick(table->viewport(), Qt::LeftButton, {}, b.center());
    QTest::mouseDClick(table->viewport(), Qt::LeftButton, {}, b.center());
    ASSERT_TRUE(TestEnvironment::waitUntil([&] { return player->tableContents().size() == 2; }));
    EXPECT_EQ(player->tableContents().value(1)->filePath, at(QStringLiteral("m/b.mp3")));
    EXPECT_TRUE(TestEnvironment::waitUntil([&] { return player->currentSong() == 1; }));
    QTest::keyClick(table, Qt::Key_Escape);
    EXPECT_TRUE(stack.presented().isEmpty());
    TestEnvironment::takeAlertMessages();
}
