// The bookmarks screen presented alone in a navigation controller, driven by keys
// and buttons; checked against its rows and the stored settings.
#include "browser/BookmarksList.h"
#include "services/SettingsHelper.h"
#include "services/SettingsKeys.h"
#include "ui/NavigationController.h"

#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QTest>
#include <gtest/gtest.h>

using namespace Qt::StringLiterals;

namespace {

// The rows' texts, the checked one marked with "*".
QStringList rows(const QListWidget *table)
{
    QStringList texts;
    for (int r = 0; r < table->count(); ++r) {
        const QWidget *accessories = table->itemWidget(table->item(r));
        const bool checked = accessories->findChild<QLabel *>(u"check"_s);
        texts.append(table->item(r)->text() + (checked ? u"*"_s : QString()));
    }
    return texts;
}

// Choosing stores at once; keys delete only in editing mode; after a deletion the rows
// show the active index as the store keeps it (deleting above the active row, then the
// active row itself), so a choice that was not stored shows; the edit button goes with
// the last bookmark.
TEST(BookmarksListTest, CheckMarkFollowsTheStoreThroughChoicesAndDeletions)
{
    SettingsHelper::setSettings(SettingsKeys::Bookmarks,
                                QStringList{u"/home/u/Music"_s, u"/"_s, u"/srv/Último año/"_s});
    SettingsHelper::setSettings(SettingsKeys::ActiveBookmark, 1);
    auto *screen = new BookmarksList;
    NavigationController nav(screen);
    nav.show();
    QListWidget *table = screen->table();
    EXPECT_EQ(rows(table), (QStringList{u"1. Music"_s, u"2. /*"_s, u"3. Último año"_s}));

    table->setCurrentRow(2);
    QTest::keyClick(table, Qt::Key_Return);
    table->setCurrentRow(0);
    for (const Qt::Key key : {Qt::Key_Delete, Qt::Key_Backspace})
        QTest::keyClick(table, key);
    EXPECT_EQ(SettingsHelper::bookmarks().size(), 3) << "out of editing mode";
    screen->editButton()->click();
    EXPECT_EQ(screen->editButton()->text(), u"Done"_s);
    QTest::keyClick(table, Qt::Key_Delete);
    EXPECT_EQ(rows(table), (QStringList{u"1. /"_s, u"2. Último año*"_s}))
        << "the mark stays on the same folder";

    auto *remove = table->itemWidget(table->item(1))->findChild<QPushButton *>();
    ASSERT_TRUE(remove && remove->isVisible());
    remove->click();
    EXPECT_EQ(rows(table), QStringList{u"1. /"_s}) << "no mark, as stored";

    table->setCurrentRow(0);
    QTest::keyClick(table, Qt::Key_Delete);
    EXPECT_EQ(screen->editButton(), nullptr);
    EXPECT_TRUE(SettingsHelper::bookmarks().isEmpty());
}

} // namespace
