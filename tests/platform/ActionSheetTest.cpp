#include "platform/ActionSheet.h"

#include "platform/Dispatch.h"
#include "support/TestEnvironment.h"

#include <QAbstractButton>
#include <QApplication>
#include <QDialog>
#include <QPushButton>
#include <QTest>
#include <gtest/gtest.h>

namespace {

QDialog *shownSheet()
{
    for (QWidget *w : QApplication::topLevelWidgets())
        if (w->objectName() == QLatin1String("actionSheet") && w->isVisible())
            return qobject_cast<QDialog *>(w);
    return nullptr;
}

// The sheet's buttons top to bottom.
QList<QPushButton *> shownButtons(QDialog *sheet)
{
    QList<QPushButton *> buttons = sheet->findChildren<QPushButton *>();
    std::sort(buttons.begin(), buttons.end(),
              [](QPushButton *a, QPushButton *b) { return a->y() < b->y(); });
    return buttons;
}

} // namespace

// Shown from a worker, the sheet lives on the main thread and lists its buttons in
// index order; the focus starts on Cancel; Return and Enter never press the
// destructive button; Escape answers Cancel; a click is answered once.
TEST(ActionSheet, FromAWorkerTheKeysNeverDestroyAndAClickIsAnsweredOnce)
{
    QList<int> answers;
    for (const bool click : {false, true}) {
        Dispatch::globalHigh([&answers] {
            auto *sheet = new ActionSheet(QString(), QStringLiteral("Cancel"),
                                          QStringLiteral("Delete"), {QStringLiteral("Rename")});
            sheet->setCallback([&answers](int index) { answers << index; });
            sheet->show();
        });
        ASSERT_TRUE(TestEnvironment::waitUntil([] { return shownSheet() != nullptr; }));
        ActionSheet *sheet = ActionSheet::openSheets().value(0);
        ASSERT_NE(sheet, nullptr);
        EXPECT_EQ(sheet->thread(), QApplication::instance()->thread());
        QDialog *window = shownSheet();
        if (click) {
            const QList<QPushButton *> buttons = shownButtons(window);
            QStringList titles;
            for (QPushButton *b : buttons)
                titles << b->text();
            ASSERT_EQ(titles, sheet->buttonTitles());
            QTest::mouseClick(buttons[1], Qt::LeftButton);
            QTest::mouseClick(buttons[1], Qt::LeftButton);
            continue;
        }
        auto *focus = qobject_cast<QAbstractButton *>(window->focusWidget());
        EXPECT_EQ(focus ? focus->text() : QString(), QStringLiteral("Cancel")) << "Space is safe";
        QTest::keyClick(window, Qt::Key_Return);
        QTest::keyClick(window, Qt::Key_Enter);
        EXPECT_TRUE(answers.isEmpty());
        QTest::keyClick(window->focusWidget() ? window->focusWidget() : window, Qt::Key_Escape);
        EXPECT_TRUE(ActionSheet::openSheets().isEmpty());
    }
    EXPECT_EQ(answers, (QList<int>{2, 1}));
}
