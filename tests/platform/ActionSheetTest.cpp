#include "platform/ActionSheet.h"

#include "platform/Dispatch.h"
#include "support/TestEnvironment.h"

#include <QApplication>
#include <QDialog>
#include <QLabel>
#include <QPushButton>
#include <QTest>
#include <gtest/gtest.h>

namespace {

class ActionSheetTest : public testing::Test {
protected:
    void TearDown() override { ActionSheet::dismissAllForTesting(); }

    static QDialog *shownSheet()
    {
        for (QWidget *w : QApplication::topLevelWidgets()) {
            if (w->objectName() == QLatin1String("actionSheet") && w->isVisible())
                return qobject_cast<QDialog *>(w);
        }
        return nullptr;
    }

    // Button titles as the user sees them, top to bottom.
    static QStringList shownTitles(QDialog *sheet)
    {
        QList<QPushButton *> buttons = sheet->findChildren<QPushButton *>();
        std::sort(buttons.begin(), buttons.end(),
                  [](QPushButton *a, QPushButton *b) { return a->y() < b->y(); });
        QStringList titles;
        for (QPushButton *b : buttons)
            titles << b->text();
        return titles;
    }
};

} // namespace

TEST_F(ActionSheetTest, ShownFromAWorkerItAnswersTheClickedIndexOnceOnTheMainThread)
{
    QList<int> answers;
    Dispatch::globalHigh([&answers] {
        auto *sheet = new ActionSheet(QStringLiteral("Select an option"), QStringLiteral("Cancel"),
                                      QStringLiteral("Add to existing playlist"),
                                      {QStringLiteral("Create new playlist")});
        sheet->setCallback([&answers](int index) { answers << index; });
        sheet->show();
    });
    ASSERT_TRUE(TestEnvironment::waitUntil([] { return shownSheet() != nullptr; }));
    ActionSheet *sheet = ActionSheet::openSheets().value(0);
    ASSERT_NE(sheet, nullptr);
    EXPECT_EQ(sheet->thread(), QApplication::instance()->thread());
    QDialog *window = shownSheet();
    EXPECT_EQ(shownTitles(window), sheet->buttonTitles()) << "shown in index order";
    EXPECT_TRUE(window->findChild<QLabel *>() != nullptr);

    QPushButton *create = nullptr;
    for (QPushButton *b : window->findChildren<QPushButton *>())
        if (b->text() == QLatin1String("Create new playlist"))
            create = b;
    ASSERT_NE(create, nullptr);
    QTest::mouseClick(create, Qt::LeftButton);
    QTest::mouseClick(create, Qt::LeftButton);
    EXPECT_EQ(answers, QList<int>{1});
    EXPECT_TRUE(ActionSheet::openSheets().isEmpty());
}

TEST_F(ActionSheetTest, TheKeysNeverDestroyEscapeAnswersCancelAndIsIgnoredWithoutOne)
{
    auto *sheet = new ActionSheet(QString(), QStringLiteral("Cancel"), QStringLiteral("Delete"),
                                  {QStringLiteral("Rename")});
    QList<int> answers;
    sheet->setCallback([&](int index) { answers << index; });
    sheet->show();
    QDialog *window = shownSheet();
    ASSERT_NE(window, nullptr);
    auto *focused = qobject_cast<QPushButton *>(window->focusWidget());
    ASSERT_NE(focused, nullptr);
    EXPECT_EQ(focused->text(), QStringLiteral("Cancel")) << "Space presses the focused button";
    QTest::keyClick(window, Qt::Key_Return);
    QTest::keyClick(window, Qt::Key_Enter);
    EXPECT_TRUE(answers.isEmpty());
    QTest::keyClick(focused, Qt::Key_Escape);
    EXPECT_EQ(answers, QList<int>{2});
    EXPECT_TRUE(ActionSheet::openSheets().isEmpty());

    auto *noCancel = new ActionSheet(QString(), QString(), QString(), {QStringLiteral("Only")});
    bool answered = false;
    noCancel->setCallback([&](int) { answered = true; });
    noCancel->show();
    ASSERT_NE(shownSheet(), nullptr);
    QTest::keyClick(shownSheet(), Qt::Key_Escape);
    noCancel->pressButton(5); // out of range: ignored
    EXPECT_FALSE(answered);
    EXPECT_EQ(ActionSheet::openSheets().size(), 1);
    noCancel->pressButton(0);
    EXPECT_TRUE(answered);
}
