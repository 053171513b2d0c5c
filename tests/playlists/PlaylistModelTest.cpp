#include "playlists/PlaylistModel.h"

#include "playlists/CAPlaylistCell.h"
#include "support/EngineTestSupport.h"
#include "support/TestEnvironment.h"

#include <QListView>
#include <QScrollBar>
#include <QSemaphore>
#include <QTest>
#include <gtest/gtest.h>

TEST(PlaylistModel, ALateDurationLandsOnItsOwnRecordOnly)
{
    PlaylistModel model;
    QSemaphore release;
    model.setDurationReader([&](const QString&) {
        release.acquire();
        return std::optional<QString>(QStringLiteral("1:23"));
    });
    const MediaDescPtr slow = EngineTest::record(QStringLiteral("/x/slow.mp3"));
    model.setItems({slow});
    EXPECT_EQ(model.index(0).data(PlaylistModel::DurationRole).toString(), QString());
    const MediaDescPtr other = EngineTest::record(QStringLiteral("/x/other.mp3"));
    other->duration = QStringLiteral("9:99");
    model.setItems({other, slow}); // the list changed while the worker ran
    release.release();
    ASSERT_TRUE(TestEnvironment::waitUntil([&] { return slow->duration.has_value(); }));
    EXPECT_EQ(*slow->duration, QStringLiteral("1:23"));
    EXPECT_EQ(*other->duration, QStringLiteral("9:99"));
    EXPECT_EQ(model.index(1).data(PlaylistModel::DurationRole).toString(), QStringLiteral("1:23"));
}

TEST(PlaylistCell, LongTextsTakeOneLineAndTheLengthStaysInView)
{
    const QString longText = QStringLiteral("Intro\n") + QString(294, QLatin1Char('a')); // 300
    MediaList items;
    for (int i = 0; i < 50; ++i) {
        items.append(EngineTest::record(QStringLiteral("/x/%1.mp3").arg(i), longText, longText));
        items.last()->duration = QStringLiteral("59:59");
    }
    PlaylistModel model;
    model.setItems(items);
    QListView view; // as the player shows it
    view.resize(320, 320);
    view.setModel(&model);
    view.setItemDelegate(new CAPlaylistCell(&view));
    view.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&view));
    ASSERT_TRUE(view.verticalScrollBar()->isVisible());

    const QRect row = view.visualRect(model.index(0));
    const auto length = CAPlaylistCell::shown(CAPlaylistCell::Field::Duration,
                                              QStringLiteral("59:59"), row, view.font());
    EXPECT_LT(length.frame.right(), view.viewport()->width()) << "left of the scroll bar";
    for (auto field : {CAPlaylistCell::Field::Artist, CAPlaylistCell::Field::Title}) {
        const auto text = CAPlaylistCell::shown(field, longText, row, view.font());
        EXPECT_TRUE(text.text.endsWith(QChar(0x2026)));
        EXPECT_FALSE(text.text.contains(QLatin1Char('\n')));
        EXPECT_LE(QFontMetrics(text.font).horizontalAdvance(text.text), text.frame.width());
        EXPECT_LT(text.frame.right(), length.frame.left());
    }
}
