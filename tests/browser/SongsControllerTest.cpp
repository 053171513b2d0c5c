// The folder browser driven as a user drives it; what is checked is what the user
// sees (rows, header, bar buttons, alerts) and what the player is handed.
#include "browser/SongsController.h"
#include "app/MainViewController.h"
#include "app/Transport.h"
#include "browser/FolderListModel.h"
#include "services/SettingsHelper.h"
#include "services/SettingsKeys.h"
#include "support/TestEnvironment.h"
#include "ui/NavigationController.h"
#include "ui/NavigationItem.h"
#include "ui/Notice.h"
#include "ui/ScreenStack.h"

#include <QAbstractButton>
#include <QFile>
#include <QLabel>
#include <QLayout>
#include <QLineEdit>
#include <QListView>
#include <QTest>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

using namespace Qt::StringLiterals;

namespace {

QString at(const QString& relative)
{
    return TestEnvironment::home() + u'/' + relative;
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

// The valid active bookmark is the first folder with "HomeFolder" on, the home folder
// otherwise (when a bookmark counts as valid is SettingsHelperTest's). Bookmarking
// the folder shown says so.
TEST(SongsControllerTest, StartsInTheActiveBookmarkOnlyWithHomeFolderOn)
{
    using namespace SettingsKeys;
    const QString mark = at(u"marked"_s);
    makeFiles({u"marked/a.mp3"_s});
    SettingsHelper::setSettings(Bookmarks, QStringList{mark});
    SettingsHelper::setSettings(ActiveBookmark, 0);
    for (const bool homeFolder : {false, true}) {
        SettingsHelper::setSettings(HomeFolder, homeFolder);
        SongsController browser;
        EXPECT_EQ(browser.currentPath(), homeFolder ? mark : at({})) << homeFolder;
        TestEnvironment::waitUntil([&] { return !browser.isLoading(); });
    }
    SongsController shown;
    shown.show();
    shown.setBookmark();
    EXPECT_EQ(TestEnvironment::takeNotices(),
              QStringList{u"The current folder has been added to your bookmark list."_s});
    EXPECT_EQ(SettingsHelper::bookmarks(), (QStringList{mark, mark}));
}

// The header shows a path of up to 34 characters whole, a longer one by its last 35
// (never half a character outside the basic plane). ".." goes away at "/" and comes
// back; an unreadable folder gives the alert, an empty table, its header and name,
// and ".." still leads up. Openings that overlap then show only the newest listing,
// and no row can be chosen while it is pending.
TEST(SongsControllerTest, HeaderParentButtonUnreadableFolderAndOverlappingOpenings)
{
    for (const int n : {34, 35, 36}) {
        const QString path = u'/' + QString(n - 1, u'a');
        EXPECT_EQ(SongsController::headerText(path),
                  n == 34 ? u"  "_s + path : u"..."_s + path.right(35))
            << n;
    }
    const QString wide = u"/\U0001F3B5"_s + QString(34, u'd');
    EXPECT_EQ(SongsController::headerText(wide), u"..."_s + wide.right(34));

    makeFiles({u"one/1.mp3"_s, u"two/2.mp3"_s, u"three/3.mp3"_s});
    SongsController browser;
    TestEnvironment::waitUntil([&] { return !browser.isLoading(); });
    NavigationItem *item = NavigationItem::of(&browser);
    open(browser, u"/"_s);
    EXPECT_EQ(item->leftButton(), nullptr);
    const QString missing = at(u"gone"_s);
    open(browser, missing);
    ASSERT_NE(item->leftButton(), nullptr);
    EXPECT_EQ(item->leftButton()->text(), u".."_s);
    EXPECT_EQ(browser.model()->rowCount(), 0);
    EXPECT_EQ(browser.headerLabel()->text(), u"  "_s + missing);
    EXPECT_EQ(browser.folderNameLabel()->text(), u"gone"_s);
    EXPECT_EQ(TestEnvironment::takeAlertMessages().size(), 1);
    item->leftButton()->click();
    EXPECT_EQ(browser.currentPath(), TestEnvironment::home());
    ASSERT_TRUE(TestEnvironment::waitUntil([&] { return !browser.isLoading(); }));

    QStringList shown;
    QObject::connect(&browser, &SongsController::folderShown,
                     [&](const QString& path) { shown.append(path); });
    for (const QString& name : {u"one"_s, u"two"_s, u"three"_s})
        browser.openFolder(at(name));
    choose(browser, u"one"_s); // still the home folder's rows
    EXPECT_EQ(browser.currentPath(), at(u"three"_s));
    ASSERT_TRUE(TestEnvironment::waitUntil([&] { return !browser.isLoading(); }));
    TestEnvironment::waitUntil([&] { return shown.size() > 1; }, 50); // a stale listing, if any
    EXPECT_EQ(shown, QStringList{at(u"three"_s)});
    EXPECT_EQ(rows(browser), QStringList{u"3.mp3"_s});
}

// Edit mode: a second tap deselects, a folder is selected rather than opened, the
// selection spans folders, and "Play" hands over supported files one level deep,
// awkward names byte for byte.
TEST(SongsControllerTest, SelectionAcrossFoldersPlaysSupportedFilesOneLevelDeep)
{
    const QStringList odd{u" lead and trail .mp3"_s, u"quo\"te's.mp3"_s, u"日本語 Ωδή.mp3"_s,
                          u"-n.mp3"_s, u"two\nlines.mp3"_s};
    makeFiles({u"f/a.mp3"_s, u"f/b.txt"_s, u"f/sub.mp3/d.mp3"_s, u"g/e.wav"_s, u"g/x.txt"_s});
    QStringList expected{at(u"f/a.mp3"_s), at(u"g/e.wav"_s)};
    for (const QString& name : odd) {
        makeFiles({u"g/"_s + name});
        expected.append(at(u"g/"_s + name));
    }
    for (const char *name : {"/f/caf\xe9.wav", "/g/caf\xe9.mp3"}) { // Latin-1 bytes
        const QByteArray path = QFile::encodeName(TestEnvironment::home()) + name;
        ASSERT_EQ(::close(::creat(path.constData(), 0644)), 0);
    }
    SongsController browser;
    QList<QStringList> played;
    browser.setPlayHandler([&](const QStringList& paths) { played.append(paths); });
    open(browser, TestEnvironment::home());
    EXPECT_EQ(toolbarTitles(browser),
              (QStringList{u"Edit"_s, u"Folder"_s, u"Bookmark this folder"_s}));
    browser.doneMode();
    EXPECT_EQ(toolbarTitles(browser),
              (QStringList{u"Done"_s, u"Play"_s, u"Playlist"_s, u"Actions"_s}));
    for (int tap = 0; tap < 3; ++tap) {
        choose(browser, u"f"_s);
        EXPECT_EQ(browser.selectionList().isEmpty(), tap == 1) << tap;
    }
    EXPECT_EQ(browser.currentPath(), TestEnvironment::home());
    const QModelIndex f = browser.model()->index(int(rows(browser).indexOf(u"f"_s)));
    EXPECT_EQ(f.data(FolderListModel::AccessoryRole).toString(), u"selRow"_s);
    EXPECT_EQ(f.data(FolderListModel::IconRole).toString(), u"folderIcon"_s);

    open(browser, at(u"g"_s));
    for (const QString& name : QStringList{u"e.wav"_s} + odd)
        choose(browser, name);
    // A name that is not valid UTF-8 reaches no file: its row is dimmed, refuses
    // the selection and says why; a selected folder leaves such files out, and says so.
    const QString inexact = u"caf\uFFFD.mp3"_s;
    ASSERT_EQ(rows(browser).count(inexact), 1);
    EXPECT_TRUE(browser.model()
                    ->index(int(rows(browser).indexOf(inexact)))
                    .data(Qt::ForegroundRole)
                    .isValid());
    const qsizetype selected = browser.selectionList().size();
    choose(browser, inexact);
    EXPECT_EQ(browser.selectionList().size(), selected);
    ASSERT_TRUE(Notice::shownIn(&browser));
    EXPECT_EQ(Notice::shownIn(&browser)->text(),
              u"\u201ccaf\uFFFD.mp3\u201d can't be used: its name is not valid UTF-8. "
              u"Rename it to play it."_s);
    browser.playSelected();
    EXPECT_TRUE(Notice::shownIn(&browser)->text().startsWith(u"\u201ccaf\uFFFD.wav\u201d"_s));
    choose(browser, u"x.txt"_s);
    browser.playSelected();
    EXPECT_EQ(played, (QList<QStringList>{expected, {}}));
    EXPECT_TRUE(browser.selectionList().isEmpty());
    EXPECT_TRUE(browser.isEditMode());
}

// Songs, then Device: the keys walk the folders; typing "ab" finds names that start
// with it whatever their case and accents, and ".." then shows the parent's whole
// listing while the field keeps its text; the results fill the screen down to the
// toolbar, however tall the window; rows go folders first, then naturally,
// hidden ones only after Ctrl+H; "Play" appends, a double click appends one file and
// plays it, and Return on a file the player cannot play says so.
TEST(SongsControllerTest, PlayerPresentsTheBrowserWhoseKeysSearchAndDoubleClickReachTheList)
{
    makeFiles({u"m/a.mp3"_s, u"m/b.mp3"_s, u"m/Abba.mp3"_s, u"m/Ábc"_s, u"m/Cab"_s, u"m/10.opus"_s,
               u"m/2.ogg"_s, u"m/.h.mp3"_s, u"m/Disc 10/x"_s, u"m/disc 9/x"_s});
    Transport transport;
    ScreenStack stack;
    auto *player = new MainViewController(transport);
    stack.setRootScreen(player);
    stack.resize(800, 600);
    stack.show();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&stack));
    player->deviceMemory();
    stack.finishAnimations();
    ASSERT_NE(stack.topController(), nullptr);
    auto *browser = qobject_cast<SongsController *>(stack.topController()->rootScreen());
    ASSERT_NE(browser, nullptr);
    ASSERT_TRUE(TestEnvironment::waitUntil([&] { return !browser->isLoading(); }));
    QListView *table = browser->table();
    table->setCurrentIndex(browser->model()->index(int(rows(*browser).indexOf(u"m"_s))));
    QTest::keyClick(table, Qt::Key_Return);
    ASSERT_TRUE(TestEnvironment::waitUntil([&] { return !browser->isLoading(); }));
    table->setFocus();
    QTest::keyClicks(table, u"ab"_s);
    QStringList found = rows(*browser);
    found.sort();
    EXPECT_EQ(found, (QStringList{u"Abba.mp3"_s, u"Ábc"_s}));
    QTest::qWait(400); // longer than any slide of the table
    const QRect results = browser->tablePane()->geometry();
    EXPECT_EQ(results.top(), browser->searchBar()->parentWidget()->geometry().bottom() + 1);
    EXPECT_EQ(results.bottom() + 1, browser->toolbar()->y());
    open(*browser, browser->currentPath()); // read again, as after a new folder
    EXPECT_EQ(rows(*browser).size(), 2);
    QTest::keyClick(table, Qt::Key_Backspace);
    ASSERT_TRUE(TestEnvironment::waitUntil([&] { return !browser->isLoading(); }));
    EXPECT_EQ(browser->currentPath(), TestEnvironment::home());
    EXPECT_FALSE(browser->isSearchMode());
    EXPECT_TRUE(rows(*browser).contains(u"m"_s)) << "unfiltered";
    EXPECT_EQ(browser->searchBar()->text(), u"ab"_s);
    browser->searchBar()->setFocus();
    QTest::keyClick(browser->searchBar(), Qt::Key_Escape); // leaves the search, not the screen
    EXPECT_EQ(browser->searchBar()->text(), QString());
    EXPECT_TRUE(table->hasFocus());
    open(*browser, at(u"m"_s));
    const QStringList sorted{u"disc 9"_s,   u"Disc 10"_s, u"2.ogg"_s, u"10.opus"_s, u"a.mp3"_s,
                             u"Abba.mp3"_s, u"Ábc"_s,     u"b.mp3"_s, u"Cab"_s};
    EXPECT_EQ(rows(*browser), sorted);
    QTest::keyClick(table, Qt::Key_H, Qt::ControlModifier);
    EXPECT_EQ(rows(*browser).mid(2, 2), (QStringList{u".h.mp3"_s, u"2.ogg"_s}));
    QTest::keyClick(table, Qt::Key_H, Qt::ControlModifier);
    EXPECT_EQ(rows(*browser), sorted);
    table->setCurrentIndex(browser->model()->index(int(sorted.indexOf(u"Cab"_s))));
    QTest::keyClick(table, Qt::Key_Return);
    ASSERT_TRUE(Notice::shownIn(browser));
    EXPECT_EQ(Notice::shownIn(browser)->text(),
              u"\u201cCab\u201d is not a file this player can play."_s);

    browser->doneMode();
    choose(*browser, u"a.mp3"_s);
    browser->playSelected();
    ASSERT_TRUE(TestEnvironment::waitUntil([&] { return transport.tableContents().size() == 1; }));
    EXPECT_EQ(TestEnvironment::takeNotices().value(1),
              u"one item have been added to your current playlist"_s);
    const QRect b =
        table->visualRect(browser->model()->index(int(rows(*browser).indexOf(u"b.mp3"_s))));
    QTest::mouseClick(table->viewport(), Qt::LeftButton, {}, b.center());
    QTest::mouseDClick(table->viewport(), Qt::LeftButton, {}, b.center());
    ASSERT_TRUE(TestEnvironment::waitUntil([&] { return transport.tableContents().size() == 2; }));
    EXPECT_EQ(transport.tableContents().value(1)->filePath, at(u"m/b.mp3"_s));
    EXPECT_TRUE(TestEnvironment::waitUntil([&] { return transport.currentSong() == 1; }));
    QTest::keyClick(table, Qt::Key_Escape);
    EXPECT_TRUE(stack.presented().isEmpty());
}
