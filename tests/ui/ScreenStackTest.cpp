#include "ui/ScreenStack.h"

#include "ui/NavigationBar.h"
#include "ui/NavigationController.h"
#include "ui/NavigationItem.h"
#include "ui/SlideTransition.h"

#include <QAbstractButton>
#include <QPointer>
#include <QTest>
#include <gtest/gtest.h>

// A presented screen covers the root (hidden under it), fills the window as it is
// resized, and dismissing it uncovers the root; presentations nest, and dismissing
// a lower one takes those above with it.
TEST(ScreenStack, PresentationsCoverTheRootNestAndDismissWithThoseAbove)
{
    SlideTransition::setAnimationsEnabled(false);
    ScreenStack stack;
    auto *root = new QWidget;
    stack.resize(320, 460);
    stack.setRootScreen(root);
    stack.show();
    QPointer<QWidget> screen = new QWidget;
    NavigationController *nav = stack.present(screen, QStringLiteral("iTunes"));
    EXPECT_EQ(nav->navigationBar()->titleText(), QStringLiteral("iTunes"));
    EXPECT_FALSE(root->isVisible());
    stack.resize(400, 600);
    EXPECT_EQ(nav->geometry(), QRect(0, 0, 400, 600));
    EXPECT_EQ(screen->geometry(),
              QRect(0, NavigationBar::kHeight, 400, 600 - NavigationBar::kHeight));
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
    SlideTransition::setAnimationsEnabled(true);
}
