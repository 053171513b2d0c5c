#include "ui/AlertViewHelper.h"

#include "platform/Alert.h"
#include "support/TestEnvironment.h"

#include <QDialog>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
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
    const QString message = QStringLiteral("3 items have been added to your current playlist");
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
