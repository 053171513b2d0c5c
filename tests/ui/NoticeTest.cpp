// A notice over the active screen stops nothing: it is in front, takes no focus,
// lets the mouse through, gives way to a newer one, and goes by itself.
#include "ui/Notice.h"
#include "support/TestEnvironment.h"

#include <QElapsedTimer>
#include <QLineEdit>
#include <QPointer>
#include <gtest/gtest.h>

TEST(Notice, ShowsInFrontWithoutTakingTheFocusOrTheMouseAndFadesAway)
{
    QWidget window;
    window.resize(320, 460);
    window.setStyleSheet(QStringLiteral("QLabel { font-size: 18px; }")); // as screens set theirs
    auto *screen = new QWidget(&window);
    screen->setGeometry(window.rect());
    auto *field = new QLineEdit(screen);
    window.show();
    window.activateWindow();
    field->setFocus();
    ASSERT_TRUE(TestEnvironment::waitUntil([&] { return field->hasFocus(); }));

    const QPointer<Notice> first = Notice::showOver(field, QStringLiteral("first"));
    QElapsedTimer shown;
    shown.start();
    const QPointer<Notice> second = Notice::showOver(
        screen,
        QStringLiteral("second, and long enough to take three lines in a window this wide"));
    EXPECT_TRUE(first.isNull()) << "a newer notice replaces the one shown";
    ASSERT_EQ(Notice::shownIn(field), second.data());
    EXPECT_EQ(second->parentWidget(), &window);
    EXPECT_TRUE(second->isVisible());
    EXPECT_EQ(window.children().last(), second.data()) << "in front of every screen";
    EXPECT_TRUE(window.rect().contains(second->geometry()));
    EXPECT_GE(second->height(), second->heightForWidth(second->width())) << "no line cut off";
    EXPECT_EQ(window.childAt(second->geometry().center()), screen) << "the mouse goes through";
    EXPECT_TRUE(field->hasFocus());

    ASSERT_TRUE(TestEnvironment::waitUntil([&] { return second.isNull(); },
                                           Notice::kShownMs + Notice::kFadeMs + 5000));
    EXPECT_GE(shown.elapsed(), Notice::kShownMs);
}
