// The bookmarks screen presented alone in a navigation controller, driven by keys
// and buttons; checked against its rows and the stored settings.
#include "browser/BookmarksList.h"
#include "settings/SettingsHelper.h"
#include "settings/SettingsKeys.h"
#include "support/TestEnvironment.h"
#include "ui/NavigationController.h"

#include <QAbstractButton>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
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

// The rows that show the check mark.
QList<int> checkedRows(const QListWidget *table)
{
    QList<int> checked;
    for (int r = 0; r < table->count(); ++r) {
        const QWidget *accessories = table->itemWidget(table->item(r));
        if (accessories && accessories->findChild<QLabel *>(QStringLiteral("check")))
            checked.append(r);
    }
    return checked;
}

qint64 storedActive()
{
    return SettingsHelper::intValue(SettingsHelper::settingsDict(), SettingsKeys::ActiveBookmark)
        .value_or(-99);
}

// Choosing stores at once; deleting above the active row or the active row itself
// shows the index as stored; the edit button goes with the last bookmark.
TEST(BookmarksListTest, CheckMarkFollowsTheStoreThroughChoicesAndDeletions)
{
    SettingsHelper::setSettings(SettingsKeys::Bookmarks,
                                QStringList{QStringLiteral("/home/u/Music"), QStringLiteral("/"),
                                            QStringLiteral("/srv/Media/"),
                                            QStringLiteral("/home/u/Último año")});
    SettingsHelper::setSettings(SettingsKeys::ActiveBookmark, 1);
    auto *screen = new BookmarksList;
    NavigationController nav(screen);
    nav.resize(320, 460);
    nav.show();
    QListWidget *table = screen->table();
    EXPECT_EQ(rows(table),
              (QStringList{QStringLiteral("1. Music"), QStringLiteral("2. /"),
                           QStringLiteral("3. Media"), QStringLiteral("4. Último año")}));
    EXPECT_EQ(checkedRows(table), QList<int>{1});

    table->setFocus();
    table->setCurrentRow(3);
    QTest::keyClick(table, Qt::Key_Return);
    EXPECT_EQ(storedActive(), 3);
    EXPECT_EQ(checkedRows(table), QList<int>{3});

    // Above the active one: the mark stays on the same folder, now third.
    table->setCurrentRow(0);
    QTest::keyClick(table, Qt::Key_Delete);
    EXPECT_EQ(rows(table), (QStringList{QStringLiteral("1. /"), QStringLiteral("2. Media"),
                                        QStringLiteral("3. Último año")}));
    EXPECT_EQ(storedActive(), 2);
    EXPECT_EQ(checkedRows(table), QList<int>{2});

    // The active one itself: no mark, as stored.
    screen->editButton()->click();
    EXPECT_EQ(screen->editButton()->text(), QStringLiteral("Done"));
    QPushButton *remove =
        table->itemWidget(table->item(2))->findChild<QPushButton *>(QStringLiteral("delete"));
    ASSERT_NE(remove, nullptr);
    EXPECT_TRUE(remove->isVisible());
    remove->click();
    EXPECT_EQ(storedActive(), -1);
    EXPECT_TRUE(checkedRows(table).isEmpty());

    // The last bookmarks go, and the edit button with them.
    while (table->count() > 0) {
        ASSERT_NE(screen->editButton(), nullptr);
        table->setCurrentRow(0);
        QTest::keyClick(table, Qt::Key_Delete);
    }
    EXPECT_EQ(screen->editButton(), nullptr);
    EXPECT_TRUE(SettingsHelper::bookmarks().isEmpty());
    EXPECT_EQ(storedActive(), -1);
}

} // namespace
