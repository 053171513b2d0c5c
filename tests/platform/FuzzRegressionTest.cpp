#include "fuzz/FuzzFeed.h"
#include "platform/KeyedUnarchiver.h"

#include <gtest/gtest.h>

// Defaults files that once crashed the reader: each is read without harm, and
// a string holding a NUL character ends there, as in a keyed archive.
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

    // The same in an XML keyed archive.
    KeyedUnarchiver archive(
        "<plist version=\"1.0\"><dict><key>$archiver</key><string>NSKeyedArchiver</string>"
        "<key>$version</key><integer>100000</integer><key>$top</key><dict><key>root</key>"
        "<dict><key>CF$UID</key><integer>1</integer></dict></dict><key>$objects</key>"
        "<array><string>$null</string><string>" +
        QByteArray("Ro\0ck", 5) + "</string></array></dict></plist>");
    EXPECT_EQ(archive.decodeString(archive.topObject().value_or(0)), QStringLiteral("Ro"));
}
