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

class NavigationControllerTest : public testing::Test {
protected:
    void SetUp() override
    {
        SlideTransition::setAnimationsEnabled(false);
        stack.resize(320, 460);
        stack.setRootScreen(new QWidget);
        stack.show();
        nav = stack.present(settings);
    }
    void TearDown() override { SlideTransition::setAnimationsEnabled(true); }

    NavigationBar *bar() const { return nav->navigationBar(); }

    ScreenStack stack;
    NavigationController *nav = nullptr;
    QWidget *settings = screenTitled(QStringLiteral("Settings"));
};

} // namespace

TEST_F(NavigationControllerTest, APushShowsItsTitleAndABackButtonNamedAfterTheScreenBelowThatPopsIt)
{
    EXPECT_FALSE(bar()->backButton()->isVisible()) << "no back button on the root screen";
    QPointer<QWidget> bookmarks = screenTitled(QStringLiteral("Bookmarks"));
    nav->push(bookmarks);
    EXPECT_EQ(bar()->titleText(), QStringLiteral("Bookmarks"));
    EXPECT_EQ(bar()->backButton()->text(), QStringLiteral("Settings"));
    EXPECT_FALSE(settings->isVisible()) << "the covered screen is hidden";

    QTest::mouseClick(bar()->backButton(), Qt::LeftButton);
    EXPECT_TRUE(settings->isVisible());
    EXPECT_EQ(bar()->titleText(), QStringLiteral("Settings"));
    EXPECT_FALSE(bar()->backButton()->isVisible());
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_TRUE(bookmarks.isNull());
}

// Each screen's own buttons, left and right; a long title is shortened between them.
TEST_F(NavigationControllerTest, BarShowsEachScreensOwnButtonsAndFitsTheTitleBetween)
{
    NavigationItem *item = NavigationItem::of(settings);
    QPushButton *close = NavigationBar::makeButton(QStringLiteral("Close"));
    item->setRightButton(close);
    auto *details = screenTitled(QStringLiteral("Details"));
    QPushButton *edit = NavigationBar::makeButton(QStringLiteral("Edit"));
    NavigationItem::of(details)->setLeftButton(edit);
    nav->push(details);
    EXPECT_FALSE(close->isVisible());
    EXPECT_LT(edit->geometry().right(), 320 / 2) << "on the left";
    EXPECT_FALSE(bar()->backButton()->isVisible()) << "a left button replaces the back button";
    nav->pop();
    ASSERT_TRUE(close->isVisible());
    EXPECT_GT(close->geometry().left(), 320 / 2) << "on the right";

    item->setLeftButton(NavigationBar::makeButton(QStringLiteral("Edit")));
    item->setTitle(QStringLiteral("A very long folder name that cannot fit on the bar"));
    const QLabel *label = bar()->findChild<QLabel *>(QStringLiteral("navigationTitle"));
    EXPECT_GT(label->geometry().left(), item->leftButton()->geometry().right());
    EXPECT_LT(label->geometry().right(), item->rightButton()->geometry().left());
    EXPECT_TRUE(label->text().endsWith(QChar(0x2026)));
}
