#include "ui/NavigationController.h"

#include "support/TestEnvironment.h"
#include "ui/NavigationBar.h"
#include "ui/NavigationItem.h"
#include "ui/ScreenStack.h"
#include "ui/SlideTransition.h"

#include <QLabel>
#include <QLineEdit>
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
    ScreenStack stack;
    NavigationController *nav = nullptr;
    QWidget *settings = screenTitled(QStringLiteral("Settings"));

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
};

} // namespace

TEST_F(NavigationControllerTest, PushShowsABackButtonTitledAfterTheScreenBelowAndPopDeletesTheTop)
{
    EXPECT_FALSE(bar()->backButton()->isVisible()) << "no back button on the root screen";
    QPointer<QWidget> bookmarks = screenTitled(QStringLiteral("Bookmarks"));
    nav->push(bookmarks);
    EXPECT_EQ(bar()->titleText(), QStringLiteral("Bookmarks"));
    EXPECT_EQ(bar()->backButton()->text(), QStringLiteral("Settings"));
    EXPECT_FALSE(settings->isVisible()) << "the covered screen is hidden";
    EXPECT_EQ(bookmarks->geometry(),
              QRect(0, NavigationBar::kHeight, 320, 460 - NavigationBar::kHeight));

    QTest::mouseClick(bar()->backButton(), Qt::LeftButton);
    EXPECT_TRUE(settings->isVisible());
    EXPECT_EQ(bar()->titleText(), QStringLiteral("Settings"));
    EXPECT_FALSE(bar()->backButton()->isVisible());
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_TRUE(bookmarks.isNull());
    nav->pop(); // the root stays
    EXPECT_EQ(stack.topController(), nav);

    // Without a title the back button says "Back"; it follows the item's changes.
    auto *untitled = new QWidget;
    nav->push(untitled);
    QPointer<QWidget> details = screenTitled(QStringLiteral("Details"));
    nav->push(details);
    EXPECT_EQ(bar()->backButton()->text(), QStringLiteral("Back"));
    NavigationItem::of(untitled)->setBackButtonTitle(QStringLiteral("Playlists"));
    EXPECT_EQ(bar()->backButton()->text(), QStringLiteral("Playlists"));
    // A screen deleted from outside leaves the stack.
    delete details;
    EXPECT_EQ(nav->depth(), 2);
    EXPECT_TRUE(untitled->isVisible());
    nav->popToRoot();
    EXPECT_EQ(nav->topScreen(), settings);
}

TEST_F(NavigationControllerTest, EscapePopsFirstThenDismisses)
{
    auto *search = new QWidget;
    auto *field = new QLineEdit(search);
    nav->push(search);
    field->setFocus();
    QTest::keyClick(field, Qt::Key_A);
    EXPECT_EQ(field->text(), QStringLiteral("a")) << "ordinary keys still reach the screen";
    QTest::keyClick(field, Qt::Key_Escape);
    EXPECT_EQ(nav->depth(), 1);
    QTest::keyClick(settings, Qt::Key_Escape);
    EXPECT_EQ(stack.topController(), nullptr);
}

// Each screen's own buttons, left and right; a long title is shortened between them.
TEST_F(NavigationControllerTest, BarShowsEachScreensOwnButtonsAndFitsTheTitleBetween)
{
    NavigationItem *item = NavigationItem::of(settings);
    QPointer<QPushButton> close = NavigationBar::makeButton(QStringLiteral("Close"));
    item->setRightButton(close);
    auto *details = screenTitled(QStringLiteral("Details"));
    QPushButton *edit = NavigationBar::makeButton(QStringLiteral("Edit"));
    NavigationItem::of(details)->setLeftButton(edit);
    nav->push(details);
    EXPECT_FALSE(close->isVisible());
    EXPECT_TRUE(edit->isVisible());
    EXPECT_LT(edit->geometry().right(), 320 / 2) << "on the left";
    EXPECT_FALSE(bar()->backButton()->isVisible()) << "a left button replaces the back button";
    nav->pop();
    ASSERT_TRUE(close->isVisible());
    EXPECT_GT(close->geometry().left(), 320 / 2) << "on the right";

    item->setRightButton(NavigationBar::makeButton(QStringLiteral("Done")));
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_TRUE(close.isNull()) << "a replaced button goes away";

    item->setLeftButton(NavigationBar::makeButton(QStringLiteral("Edit")));
    item->setTitle(QStringLiteral("A very long folder name that cannot fit on the bar"));
    const QLabel *label = bar()->findChild<QLabel *>(QStringLiteral("navigationTitle"));
    EXPECT_GT(label->geometry().left(), item->leftButton()->geometry().right());
    EXPECT_LT(label->geometry().right(), item->rightButton()->geometry().left());
    EXPECT_TRUE(label->text().endsWith(QChar(0x2026)));
    EXPECT_EQ(bar()->titleText(), item->title()) << "the full title is kept";
}

TEST_F(NavigationControllerTest, AnimatedPushSlidesInFromTheRight)
{
    SlideTransition::setAnimationsEnabled(true);
    auto *next = screenTitled(QStringLiteral("Next"));
    nav->push(next);
    EXPECT_GT(next->x(), 0);
    EXPECT_TRUE(settings->isVisible());
    ASSERT_TRUE(TestEnvironment::waitUntil([&] { return !nav->isAnimating(); }, 2000));
    EXPECT_EQ(next->x(), 0);
    EXPECT_FALSE(settings->isVisible());

    // A pop during a running slide first completes it.
    nav->pop();
    nav->finishAnimation();
    EXPECT_EQ(nav->depth(), 1);
    EXPECT_EQ(settings->pos(), QPoint(0, NavigationBar::kHeight));
    EXPECT_TRUE(settings->isVisible());
}
