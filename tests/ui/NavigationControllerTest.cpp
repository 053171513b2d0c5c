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

// A presented screen covers the root (hidden under it), fills the window as it is
// resized, and dismissing it uncovers the root; presentations nest, and dismissing
// a lower one takes those above with it. Inside one, a push shows its title and a
// back button named after the screen below, which pops it; each screen shows its own
// buttons, a left one replacing the back button; a long title is shortened between them,
// and a title widget has less room there only while the bar is narrow.
TEST(NavigationController, PresentationsNestAndTheBarFollowsTheTopScreen)
{
    SlideTransition::setAnimationsEnabled(false);
    ScreenStack stack;
    auto *root = new QWidget;
    stack.resize(400, 600);
    stack.setRootScreen(root);
    stack.show();
    QPointer<QWidget> screen = new QWidget;
    NavigationController *nav = stack.present(screen, QStringLiteral("iTunes"));
    EXPECT_EQ(nav->navigationBar()->titleText(), QStringLiteral("iTunes"));
    EXPECT_FALSE(root->isVisible());
    stack.resize(320, 460);
    EXPECT_EQ(nav->geometry(), QRect(0, 0, 320, 460));
    EXPECT_EQ(screen->geometry(),
              QRect(0, NavigationBar::kHeight, 320, 460 - NavigationBar::kHeight));
    nav->dismiss();
    EXPECT_EQ(stack.topController(), nullptr);
    EXPECT_TRUE(root->isVisible());
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_TRUE(screen.isNull());

    QPointer<NavigationController> first = stack.present(new QWidget, QStringLiteral("Songs"));
    QPointer<NavigationController> second = stack.present(new QWidget, QStringLiteral("Mail"));
    EXPECT_FALSE(first->isVisible());
    stack.dismiss();
    EXPECT_TRUE(first->isVisible());
    EXPECT_FALSE(root->isVisible());
    stack.present(new QWidget);
    first->dismiss();
    EXPECT_TRUE(root->isVisible());
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_TRUE(first.isNull() && second.isNull());

    QWidget *settings = screenTitled(QStringLiteral("Settings"));
    nav = stack.present(settings);
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

    auto *titleView = new QWidget;
    titleView->resize(180, 40);
    item->setTitleWidget(titleView);
    stack.resize(200, 460);
    EXPECT_LT(titleView->width(), 180);
    stack.resize(400, 600);
    EXPECT_EQ(titleView->size(), QSize(180, 40)) << "its size comes back with the room";
    SlideTransition::setAnimationsEnabled(true);
}
