// The About screen and its pages as a user sees them: rows, pushed pages, headings
// and the contact mail handed to the desktop (or not).
#include "BuildConfig.h"
#include "support/TestEnvironment.h"
#include "ui/AboutController.h"
#include "ui/Change_log.h"
#include "ui/Features.h"
#include "ui/NavigationController.h"
#include "ui/Theme.h"

#include <QListWidget>
#include <QSignalSpy>
#include <QTest>
#include <gtest/gtest.h>

// Headings compare as strings, newest first; entries keep their order. An entry shows
// at most 5 lines; its row is as high as the whole entry needs in the regular font.
TEST(Change_log, HeadingsSortAsStringsDescendingAndEntriesFitTheirRows)
{
    Change_log log({{QStringLiteral("1.10"), {QStringLiteral("c")}},
                    {QStringLiteral("2.0"), {QStringLiteral("a2"), QStringLiteral("a1")}},
                    {QStringLiteral("1.9"), {QStringLiteral("b")}}});
    EXPECT_EQ(log.sectionTitles(),
              (QStringList{QStringLiteral("2.0"), QStringLiteral("1.9"), QStringLiteral("1.10")}));
    QStringList entries;
    for (int i = 0; i < log.table()->count(); ++i)
        entries.append(log.table()->item(i)->text());
    EXPECT_EQ(entries.join(QLatin1Char(',')), QStringLiteral(",a2,a1,,b,,c"));

    const QString entry = QStringLiteral("MMMM ").repeated(40);
    const Change_log cut({{QStringLiteral("1"), {entry}}});
    const QListWidgetItem *row = cut.table()->item(1);
    EXPECT_EQ(row->text().count(QLatin1Char('\n')), 4);
    EXPECT_TRUE(row->text().endsWith(QChar(0x2026)));
    const QFontMetrics regular(Theme::font(log.font(), Theme::kRowPx, false));
    EXPECT_EQ(row->sizeHint().height() - 14,
              regular.boundingRect(QRect(0, 0, 280, 9999), Qt::TextWordWrap, entry).height());
}

// "Features" and "Change-log" push their pages; "Contact me" hands the mail on only when a
// mail program is there (the info button's mail has no recipient), and otherwise shows nothing.
TEST(AboutController, PagesAndTheContactMail)
{
    auto *about = new AboutController;
    NavigationController nav(about);
    nav.show();
    EXPECT_EQ(about->tableContents(),
              (QStringList{QStringLiteral("Features"), QStringLiteral("Change-log"),
                           QStringLiteral("Contact me")}));
    QTest::keyClick(about->table(), Qt::Key_Return);
    nav.finishAnimation();
    auto *features = qobject_cast<Features *>(nav.topScreen());
    ASSERT_NE(features, nullptr);
    EXPECT_TRUE(features->text().contains(QStringLiteral("equaliser")));
    QTest::keyClick(&nav, Qt::Key_Escape);
    nav.finishAnimation();
    about->didSelectRow(1);
    nav.finishAnimation();
    EXPECT_NE(qobject_cast<Change_log *>(nav.topScreen()), nullptr);
    nav.popToRoot();
    nav.finishAnimation();
    about->table()->setCurrentRow(2);

    QList<QUrl> opened;
    about->setMailOpener([&](const QUrl& url) { opened.append(url); });
    QSignalSpy checked(about, &AboutController::mailChecked);
    for (const int handlerAndButton : {0, 1, 2, 3}) {
        about->setMailHandlerCheck([handlerAndButton] { return handlerAndButton >= 2; });
        if (handlerAndButton % 2)
            about->accessoryButtonTapped(2);
        else
            QTest::keyClick(about->table(), Qt::Key_Return);
        ASSERT_TRUE(TestEnvironment::waitUntil([&] { return checked.size() == 1; }));
        checked.clear();
    }
    EXPECT_EQ(nav.depth(), 1);
    EXPECT_TRUE(TestEnvironment::takeAlertMessages().isEmpty());
    ASSERT_EQ(opened.size(), 2) << "nothing while no mail program is there";
    EXPECT_EQ(opened[0].toString(),
              QStringLiteral("mailto:" QUAVER_CONTACT_EMAIL "?subject=Quaver Pro"));
    EXPECT_EQ(opened[1].toString(), QStringLiteral("mailto:?subject=Quaver Pro"));
}
