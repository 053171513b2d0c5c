#include "playlists/PlaylistModel.h"

#include "support/TestEnvironment.h"

#include <QSemaphore>
#include <gtest/gtest.h>

TEST(PlaylistModel, ALateDurationLandsOnItsOwnRecordOnly)
{
    PlaylistModel model;
    QSemaphore release;
    model.setDurationReader([&](const QString&) {
        release.acquire();
        return std::optional<QString>(QStringLiteral("1:23"));
    });
    auto slow = std::make_shared<MediaDesc>();
    slow->filePath = QStringLiteral("/x/slow.mp3");
    model.setItems({slow});
    EXPECT_EQ(model.index(0).data(PlaylistModel::DurationRole).toString(), QString());
    auto other = std::make_shared<MediaDesc>();
    other->filePath = QStringLiteral("/x/other.mp3");
    other->duration = QStringLiteral("9:99");
    model.setItems({other, slow}); // the list changed while the worker ran
    release.release();
    ASSERT_TRUE(TestEnvironment::waitUntil([&] { return slow->duration.has_value(); }));
    EXPECT_EQ(*slow->duration, QStringLiteral("1:23"));
    EXPECT_EQ(*other->duration, QStringLiteral("9:99"));
    EXPECT_EQ(model.index(1).data(PlaylistModel::DurationRole).toString(), QStringLiteral("1:23"));
}
