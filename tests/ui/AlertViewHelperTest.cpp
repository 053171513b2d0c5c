#include "ui/AlertViewHelper.h"

#include "platform/Alert.h"
#include "support/TestEnvironment.h"
#include "ui/Notice.h"
#include "ui/ScreenStack.h"

#include <QDialog>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QTest>
#include <QVBoxLayout>
#include <gtest/gtest.h>

// Create by click, Create by Return (the default there), Cancel by Escape; the typed
// name reaches the callback each time. A message has no title and only an OK button.
TEST(AlertViewHelper, TheTypedNameReachesTheCallbackAndAMessageHasOnlyOk)
{
    for (const Qt::Key key : {Qt::Key_unknown, Qt::Key_Return, Qt::Key_Escape}) {
        SCOPED_TRACE(key);
        Alert *alert = AlertViewHelper::alertViewWithTitle(QStringLiteral("New Name"));
        int pressed = -1;
        QString typed;
        alert->setCallback([&](int index, const QString& text) {
            pressed = index;
            typed = text;
        });
        alert->show();
        QDialog *window = TestEnvironment::shownAlertWindow();
        ASSERT_NE(window, nullptr);
        QTest::keyClicks(window->findChild<QLineEdit *>(), QStringLiteral("Road trip"));
        if (key == Qt::Key_unknown) {
            for (QPushButton *b : window->findChildren<QPushButton *>())
                if (b->text() == QStringLiteral("Create"))
                    QTest::mouseClick(b, Qt::LeftButton);
        } else {
            QTest::keyClick(window->findChild<QLineEdit *>(), key);
        }
        EXPECT_EQ(pressed, key == Qt::Key_Escape ? 0 : 1);
        EXPECT_EQ(typed, QStringLiteral("Road trip"));
        EXPECT_TRUE(Alert::openAlerts().isEmpty());
    }
    const QString message = QStringLiteral("Some of the selected items weren't pasted");
    Alert *alert = AlertViewHelper::alertMessage(message);
    EXPECT_TRUE(alert->title().isEmpty());
    alert->show();
    ASSERT_NE(TestEnvironment::shownAlertWindow(), nullptr);
    const auto buttons = TestEnvironment::shownAlertWindow()->findChildren<QPushButton *>();
    ASSERT_EQ(buttons.size(), 1);
    EXPECT_EQ(buttons[0]->text(), QStringLiteral("OK"));
    QTest::mouseClick(buttons[0], Qt::LeftButton);
    EXPECT_TRUE(Alert::openAlerts().isEmpty());
}

// With another window active, or none: a question (here the one a delete button
// asks) opens window-modally over the window that holds the screens, so a second
// click on that button asks nothing more; a notice goes to that window too.
TEST(AlertViewHelper, AQuestionIsModalOverTheMainWindowWhicheverWindowIsActive)
{
    QWidget window;
    auto *stack = new ScreenStack(&window);
    auto *remove = new QPushButton(QStringLiteral("Delete"), stack);
    QObject::connect(remove, &QPushButton::clicked, [] {
        (new Alert(QStringLiteral("Warning !!!"), QStringLiteral("Delete it?"),
                   QStringLiteral("NO"), {QStringLiteral("YES")}))
            ->show();
    });
    (new QVBoxLayout(&window))->addWidget(stack);
    window.resize(320, 460);
    window.show();
    QWidget other;
    other.show();
    other.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&other));

    for (const bool otherActive : {true, false}) {
        SCOPED_TRACE(otherActive);
        if (!otherActive)
            other.hide();
        QTest::mouseClick(window.windowHandle(), Qt::LeftButton, {},
                          remove->mapTo(&window, remove->rect().center()));
        ASSERT_EQ(Alert::openAlerts().size(), 1);
        QDialog *question = TestEnvironment::shownAlertWindow();
        ASSERT_NE(question, nullptr);
        EXPECT_EQ(question->parentWidget(), &window);
        EXPECT_EQ(question->windowModality(), Qt::WindowModal);
        QTest::mouseClick(window.windowHandle(), Qt::LeftButton, {},
                          remove->mapTo(&window, remove->rect().center()));
        EXPECT_EQ(Alert::openAlerts().size(), 1) << "no second question over the first";
        Alert::dismissAllForTesting();
    }
    const QPointer<Notice> notice =
        Notice::showInMainWindow(QStringLiteral("Mix has been updated."));
    ASSERT_TRUE(notice);
    EXPECT_EQ(notice->parentWidget(), &window);
}
