#include "ui/NavigationController.h"

#include "ui/NavigationBar.h"
#include "ui/NavigationItem.h"
#include "ui/ScreenStack.h"
#include "ui/SlideTransition.h"

#include <QLabel>
#include <QPointer>
#include <QPushButton>
#include <QTest>
#include <gtest/gtest.h>

namespace {

QWidget *screenTitled(const QString& title)
{
    auto *screen = new QWidget;
    NavigationItem::of(screen)->setTitle(title);
    return screen;
}

} // namespace

// A push shows its title and a back button named after the screen below, which pops
// it; each screen shows its own buttons, a left one replacing the back button; a
// long title is shortened between them.
TEST(NavigationController, BarFollowsTheTopScreenAndBackPopsIt)
{
    SlideTransition::setAnimationsEnabled(false);
    ScreenStack stack;
    stack.resize(320, 460);
    stack.setRootScreen(new QWidget);
    stack.show();
    QWidget *settings = screenTitled(QStringLiteral("Settings"));
    NavigationController *nav = stack.present(settings);
    NavigationBar *bar = nav->navigationBar();
    EXPECT_FALSE(bar->backButton()->isVisible()) << "no back button on the root screen";
    QPointer<QWidget> bookmarks = screenTitled(QStringLiteral("Bookmarks"));
    nav->push(bookmarks);
    EXPECT_EQ(bar->titleText(), QStringLiteral("Bookmarks"));
    EXPECT_EQ(bar->backButton()->text(), QStringLiteral("Settings"));
    EXPECT_FALSE(settings->isVisible()) << "the covered screen is hidden";
    QTest::mouseClick(bar->backButton(), Qt::LeftButton);
    EXPECT_TRUE(settings->isVisible());
    EXPECT_EQ(bar->titleText(), QStringLiteral("Settings"));
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_TRUE(bookmarks.isNull());

    NavigationItem *item = NavigationItem::of(settings);
    QPushButton *close = NavigationBar::makeButton(QStringLiteral("Close"));
    item->setRightButton(close);
    auto *details = screenTitled(QStringLiteral("Details"));
    NavigationItem::of(details)->setLeftButton(NavigationBar::makeButton(QStringLiteral("Edit")));
    nav->push(details);
    EXPECT_FALSE(close->isVisible());
    EXPECT_FALSE(bar->backButton()->isVisible()) << "a left button replaces the back button";
    nav->pop();
    ASSERT_TRUE(close->isVisible());

    item->setLeftButton(NavigationBar::makeButton(QStringLiteral("Edit")));
    item->setTitle(QStringLiteral("A very long folder name that cannot fit on the bar"));
    const QLabel *label = bar->findChild<QLabel *>(QStringLiteral("navigationTitle"));
    EXPECT_GT(label->geometry().left(), item->leftButton()->geometry().right());
    EXPECT_LT(label->geometry().right(), close->geometry().left());
    EXPECT_TRUE(label->text().endsWith(QChar(0x2026)));
    SlideTransition::setAnimationsEnabled(true);
}
