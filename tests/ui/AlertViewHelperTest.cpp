#include "ui/AlertViewHelper.h"

#include "platform/Alert.h"
#include "support/TestEnvironment.h"

#include <QApplication>
#include <QDialog>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <gtest/gtest.h>
#include <memory>

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

TEST(AlertViewHelper, NamePromptOffersCancelThenCreateWithAnEmptyFieldWhateverTheTitle)
{
    for (const QString& title : {QStringLiteral("Enter Playlist Name"), QStringLiteral("New Name"),
                                 QString(), QStringLiteral("Create")}) {
        std::unique_ptr<Alert> alert(AlertViewHelper::alertViewWithTitle(title));
        EXPECT_EQ(alert->title(), title);
        EXPECT_EQ(alert->buttonTitles(),
                  (QStringList{QStringLiteral("Cancel"), QStringLiteral("Create")}));
        EXPECT_TRUE(alert->hasTextField());
        EXPECT_TRUE(alert->text().isEmpty());
    }
}

TEST(AlertViewHelper, TypedNameReachesTheCallbackWhenCreateIsPressed)
{
    Alert *alert = AlertViewHelper::alertViewWithTitle(QStringLiteral("New Name"));
    int pressed = -1;
    QString typed;
    alert->setCallback([&](int index, const QString& text) {
        pressed = index;
        typed = text;
    });
    alert->show();
    ASSERT_EQ(Alert::openAlerts().size(), 1);

    QDialog *window = shownAlertWindow();
    ASSERT_NE(window, nullptr);
    auto *field = window->findChild<QLineEdit *>();
    ASSERT_NE(field, nullptr);
    EXPECT_TRUE(field->text().isEmpty());
    QTest::keyClicks(field, QStringLiteral("Road trip"));
    QPushButton *create = buttonTitled(window, QStringLiteral("Create"));
    ASSERT_NE(create, nullptr);
    QTest::mouseClick(create, Qt::LeftButton);

    EXPECT_EQ(pressed, 1);
    EXPECT_EQ(typed, QStringLiteral("Road trip"));
    EXPECT_TRUE(Alert::openAlerts().isEmpty());
}

TEST(AlertViewHelper, CancelAnswersIndexZero)
{
    Alert *alert = AlertViewHelper::alertViewWithTitle(QStringLiteral("New Name"));
    int pressed = -1;
    alert->setCallback([&](int index, const QString&) { pressed = index; });
    alert->show();
    QDialog *window = shownAlertWindow();
    ASSERT_NE(window, nullptr);
    QTest::mouseClick(buttonTitled(window, QStringLiteral("Cancel")), Qt::LeftButton);
    EXPECT_EQ(pressed, 0);
}

TEST(AlertViewHelper, MessageHasNoTitleAndOneOkButton)
{
    const QString message = QStringLiteral("3 items have been added to your current playlist");
    Alert *alert = AlertViewHelper::alertMessage(message);
    EXPECT_TRUE(alert->title().isEmpty());
    EXPECT_EQ(alert->message(), message);
    EXPECT_EQ(alert->buttonTitles(), QStringList{QStringLiteral("OK")});
    EXPECT_FALSE(alert->hasTextField());

    alert->show();
    QDialog *window = shownAlertWindow();
    ASSERT_NE(window, nullptr);
    EXPECT_EQ(window->findChildren<QPushButton *>().size(), 1);
    QTest::mouseClick(buttonTitled(window, QStringLiteral("OK")), Qt::LeftButton);
    EXPECT_TRUE(Alert::openAlerts().isEmpty());
}
