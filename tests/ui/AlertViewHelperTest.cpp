#include "ui/AlertViewHelper.h"

#include "platform/Alert.h"

#include <QApplication>
#include <QDialog>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <gtest/gtest.h>

namespace {

// The window of the alert being shown (the one the user sees and types into).
QDialog *shownAlertWindow()
{
    for (QWidget *w : QApplication::topLevelWidgets())
        if (w->objectName() == QLatin1String("alert") && w->isVisible())
            return qobject_cast<QDialog *>(w);
    return nullptr;
}

} // namespace

// Create by click, Create by Return (the default there), Cancel by Escape; the typed
// name reaches the callback each time.
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
        QDialog *window = shownAlertWindow();
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
    // A message has no title and one OK button.
    const QString message = QStringLiteral("3 items have been added to your current playlist");
    Alert *alert = AlertViewHelper::alertMessage(message);
    EXPECT_TRUE(alert->title().isEmpty());
    EXPECT_EQ(alert->message(), message);
    alert->show();
    ASSERT_NE(shownAlertWindow(), nullptr);
    const auto buttons = shownAlertWindow()->findChildren<QPushButton *>();
    ASSERT_EQ(buttons.size(), 1);
    EXPECT_EQ(buttons[0]->text(), QStringLiteral("OK"));
    QTest::mouseClick(buttons[0], Qt::LeftButton);
    EXPECT_TRUE(Alert::openAlerts().isEmpty());
}
