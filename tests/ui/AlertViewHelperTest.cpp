#include "ui/AlertViewHelper.h"

#include "platform/Alert.h"
#include "support/TestEnvironment.h"

#include <QApplication>
#include <QDialog>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <gtest/gtest.h>
#include <string_view>

namespace {

// The window of the alert being shown (the one the user sees and types into).
QDialog *shownAlertWindow()
{
    for (QWidget *w : QApplication::topLevelWidgets()) {
        if (w->objectName() == QLatin1String("alert") && w->isVisible())
            return qobject_cast<QDialog *>(w);
    }
    return nullptr;
}

QPushButton *buttonTitled(QWidget *window, const QString& title)
{
    for (QPushButton *b : window->findChildren<QPushButton *>()) {
        if (b->text() == title)
            return b;
    }
    return nullptr;
}

} // namespace

TEST(AlertViewHelper, TheTypedNameReachesTheCallbackWithTheButtonPressed)
{
    // Create by click, Create by Return (the default there), Cancel by Escape.
    const struct {
        const char *how;
        int expected;
    } rows[] = {{"click", 1}, {"return", 1}, {"escape", 0}};
    for (const auto& row : rows) {
        Alert *alert = AlertViewHelper::alertViewWithTitle(QStringLiteral("New Name"));
        EXPECT_EQ(alert->title(), QStringLiteral("New Name"));
        int pressed = -1;
        QString typed;
        alert->setCallback([&](int index, const QString& text) {
            pressed = index;
            typed = text;
        });
        alert->show();
        QDialog *window = shownAlertWindow();
        ASSERT_NE(window, nullptr);
        auto *field = window->findChild<QLineEdit *>();
        ASSERT_NE(field, nullptr);
        EXPECT_TRUE(field->text().isEmpty());
        QTest::keyClicks(field, QStringLiteral("Road trip"));
        if (row.how == std::string_view("click"))
            QTest::mouseClick(buttonTitled(window, QStringLiteral("Create")), Qt::LeftButton);
        else
            QTest::keyClick(field, row.how == std::string_view("return") ? Qt::Key_Return
                                                                         : Qt::Key_Escape);
        EXPECT_EQ(pressed, row.expected) << row.how;
        EXPECT_EQ(typed, QStringLiteral("Road trip")) << row.how;
        EXPECT_TRUE(Alert::openAlerts().isEmpty()) << row.how;
    }
}

TEST(AlertViewHelper, MessageHasNoTitleAndOneOkButton)
{
    const QString message = QStringLiteral("3 items have been added to your current playlist");
    Alert *alert = AlertViewHelper::alertMessage(message);
    EXPECT_TRUE(alert->title().isEmpty());
    EXPECT_EQ(alert->message(), message);
    EXPECT_FALSE(alert->hasTextField());
    alert->show();
    QDialog *window = shownAlertWindow();
    ASSERT_NE(window, nullptr);
    EXPECT_EQ(window->findChildren<QPushButton *>().size(), 1);
    QTest::mouseClick(buttonTitled(window, QStringLiteral("OK")), Qt::LeftButton);
    EXPECT_TRUE(Alert::openAlerts().isEmpty());
}
