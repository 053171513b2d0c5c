#include "fuzz/FuzzFeed.h"

#include <gtest/gtest.h>

// Defaults files that once crashed the reader: each is read without harm, and
// a string holding a NUL character ends there.
TEST(FuzzRegression, DefaultsFilesThatOnceCrashedAreRead)
{
    const QString folder = QStringLiteral(QUAVER_FUZZ_REGRESSIONS "/user_defaults");
    const QStringList inputs = FuzzFeed::inputsIn(folder);
    ASSERT_FALSE(inputs.isEmpty());
    QTemporaryDir dir;
    for (const QString& path : inputs)
        FuzzFeed::userDefaults(FuzzFeed::readFile(path), dir.path());

    const std::optional<QVariantMap> map = PropertyList::dictionaryFromBytes(
        FuzzFeed::readFile(folder + QStringLiteral("/nul-in-string.plist")));
    ASSERT_TRUE(map);
    EXPECT_EQ(map->value(QStringLiteral("lastList")).toString(), QStringLiteral("Ro\x0f"));
}
