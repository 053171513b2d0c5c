#include "ui/ScreenStack.h"

#include "support/TestEnvironment.h"
#include "ui/NavigationBar.h"
#include "ui/NavigationController.h"
#include "ui/NavigationItem.h"
#include "ui/PlaceholderScreen.h"
#include "ui/SlideTransition.h"

#include <QAbstractButton>
#include <QPointer>
#include <QTest>
#include <gtest/gtest.h>

namespace {

// A window-sized stack over a root screen, shown, with instant slides.
class ScreenStackTest : public testing::Test {
protected:
    ScreenStack stack;
    QWidget *root = new QWidget;

    void SetUp() override
    {
        SlideTransition::setAnimationsEnabled(false);
        stack.resize(320, 460);
        stack.setRootScreen(root);
        stack.show();
    }
    void TearDown() override { SlideTransition::setAnimationsEnabled(true); }
};

} // namespace

// A presented screen covers the root (hidden under it) and its close button uncovers
// it; presentations nest, and dismissing a lower one takes those above with it.
TEST_F(ScreenStackTest, PresentationsCoverTheRootNestAndDismissWithThoseAbove)
{
    QPointer<PlaceholderScreen> screen = new PlaceholderScreen(QStringLiteral("iTunes"));
    NavigationController *nav = stack.present(screen);
    EXPECT_EQ(nav->geometry(), stack.rect());
    EXPECT_EQ(nav->navigationBar()->titleText(), QStringLiteral("iTunes"));
    EXPECT_TRUE(screen->isVisible());
    EXPECT_FALSE(root->isVisible());
    EXPECT_EQ(ScreenStack::of(screen), &stack);
    QAbstractButton *close = NavigationItem::of(screen)->rightButton();
    ASSERT_NE(close, nullptr);
    QTest::mouseClick(close, Qt::LeftButton);
    EXPECT_EQ(stack.topController(), nullptr);
    EXPECT_TRUE(root->isVisible());
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_TRUE(screen.isNull());

    QPointer<NavigationController> first = stack.present(new QWidget, QStringLiteral("Songs"));
    QPointer<NavigationController> second = stack.present(new QWidget, QStringLiteral("Mail"));
    EXPECT_EQ(stack.presented(), (QList<NavigationController *>{first, second}));
    EXPECT_FALSE(first->isVisible());
    stack.dismiss();
    EXPECT_TRUE(first->isVisible());
    EXPECT_FALSE(root->isVisible());
    stack.present(new QWidget);
    first->dismiss();
    EXPECT_TRUE(stack.presented().isEmpty());
    EXPECT_TRUE(root->isVisible());
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_TRUE(first.isNull());
    EXPECT_TRUE(second.isNull());
}

TEST_F(ScreenStackTest, AnimatedPresentSlidesUpOverTheVisibleRoot)
{
    SlideTransition::setAnimationsEnabled(true);
    QPointer<NavigationController> nav = stack.present(new QWidget);
    EXPECT_TRUE(root->isVisible()) << "the root stays visible under the sliding screen";
    EXPECT_GT(nav->y(), 0);
    ASSERT_TRUE(TestEnvironment::waitUntil([&] { return !stack.isAnimating(); }, 2000));
    EXPECT_EQ(nav->pos(), QPoint(0, 0));
    EXPECT_FALSE(root->isVisible());
    stack.dismiss();
    EXPECT_TRUE(root->isVisible());
    EXPECT_TRUE(TestEnvironment::waitUntil([&] { return nav.isNull(); }, 2000));
}

TEST_F(ScreenStackTest, ResizingTheWindowResizesEveryLayer)
{
    NavigationController *nav = stack.present(new QWidget);
    stack.resize(400, 600);
    EXPECT_EQ(nav->geometry(), QRect(0, 0, 400, 600));
    EXPECT_EQ(root->geometry(), QRect(0, 0, 400, 600));
    EXPECT_EQ(nav->topScreen()->geometry(),
              QRect(0, NavigationBar::kHeight, 400, 600 - NavigationBar::kHeight));
}
