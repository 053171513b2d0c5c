#include "ui/PlaceholderScreen.h"

#include "ui/NavigationBar.h"
#include "ui/NavigationController.h"
#include "ui/NavigationItem.h"
#include "ui/ScreenStack.h"
#include "ui/SlideTransition.h"

#include <QLabel>
#include <QPushButton>
#include <QTest>
#include <gtest/gtest.h>

TEST(PlaceholderScreen, SaysComingSoonUnderItsTitleAndClosesItself)
{
    SlideTransition::setAnimationsEnabled(false);
    ScreenStack stack;
    stack.resize(320, 460);
    stack.setRootScreen(new QWidget);
    stack.show();

    auto *screen = new PlaceholderScreen(QStringLiteral("iTunes"));
    NavigationController *nav = stack.present(screen);
    EXPECT_EQ(nav->navigationBar()->titleText(), QStringLiteral("iTunes"));
    const QLabel *label = screen->findChild<QLabel *>();
    ASSERT_NE(label, nullptr);
    EXPECT_EQ(label->text(), QStringLiteral("Coming soon"));
    EXPECT_TRUE(label->isVisible());

    QAbstractButton *close = NavigationItem::of(screen)->rightButton();
    ASSERT_NE(close, nullptr);
    EXPECT_EQ(close->text(), QStringLiteral("Close"));
    QTest::mouseClick(close, Qt::LeftButton);
    EXPECT_EQ(stack.topController(), nullptr);
    SlideTransition::setAnimationsEnabled(true);
}
