#include "platform/UserDefaults.h"
#include "platform/PropertyList.h"
#include "support/TestEnvironment.h"

#include <QDir>
#include <QFile>
#include <QSize>
#include <gtest/gtest.h>
#include <thread>

namespace {

QString defaultsPath()
{
    return TestEnvironment::home() + QStringLiteral("/config/defaults.plist");
}

QByteArray readFile(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

} // namespace

TEST(UserDefaults, ValuesSurviveARestartWithTheirTypes)
{
    {
        UserDefaults defaults(defaultsPath());
        QVariantMap settings{{QStringLiteral("EQ"), 3},
                             {QStringLiteral("VolumeLimit"), 0.25},
                             {QStringLiteral("HomeFolder"), true},
                             {QStringLiteral("ActiveBookmark"), -1},
                             {QStringLiteral("Bookmarks"),
                              QStringList{QStringLiteral("/a"), QStringLiteral("/ü b")}}};
        defaults.setObject(QStringLiteral("Settings"), settings);
        defaults.setObject(QStringLiteral("Last Playlist"), QByteArray("\0\x01\xff", 3));
        ASSERT_TRUE(defaults.synchronize());
    }
    UserDefaults again(defaultsPath());
    const QVariantMap s = again.objectForKey(QStringLiteral("Settings")).toMap();
    EXPECT_EQ(s.value(QStringLiteral("EQ")).toLongLong(), 3);
    EXPECT_EQ(s.value(QStringLiteral("ActiveBookmark")).toLongLong(), -1);
    EXPECT_DOUBLE_EQ(s.value(QStringLiteral("VolumeLimit")).toDouble(), 0.25);
    EXPECT_EQ(s.value(QStringLiteral("HomeFolder")).typeId(), QMetaType::Bool);
    EXPECT_EQ(s.value(QStringLiteral("Bookmarks")).toStringList(),
              (QStringList{QStringLiteral("/a"), QStringLiteral("/ü b")}));
    EXPECT_EQ(again.objectForKey(QStringLiteral("Last Playlist")).toByteArray(),
              QByteArray("\0\x01\xff", 3));
    EXPECT_TRUE(readFile(defaultsPath()).startsWith("<?xml")) << "the store is an XML plist";
}

TEST(UserDefaults, DamagedFilesAreKeptAsideAndTheStoreStartsEmpty)
{
    const QList<QByteArray> damaged = {
        QByteArray(),                                             // empty
        QByteArray("<?xml version=\"1.0\"?><plist><dict><key>a"), // truncated
        QByteArray("\x89PNG\r\n\x1a\n garbage", 17),              // wrong type of file
        QByteArray("<?xml version=\"1.0\"?><plist version=\"1.0\"><string>x</string></plist>"),
        QByteArray("bplist00\xff\xff\xff", 11),
        // Nested far deeper than any settings file: refused, not parsed.
        "<?xml version=\"1.0\"?><plist version=\"1.0\"><dict><key>a</key>" +
            QByteArray("<array>").repeated(200000) + QByteArray("</array>").repeated(200000) +
            "</dict></plist>",
    };
    for (const QByteArray& bytes : damaged) {
        TestEnvironment::writeFile(defaultsPath(), bytes);
        QFile::remove(defaultsPath() + QStringLiteral(".damaged"));
        UserDefaults defaults(defaultsPath());
        EXPECT_FALSE(defaults.contains(QStringLiteral("Settings")));
        EXPECT_FALSE(QFile::exists(defaultsPath()));
        EXPECT_EQ(readFile(defaultsPath() + QStringLiteral(".damaged")), bytes)
            << "the damaged file is kept";
        defaults.setObject(QStringLiteral("info"), true);
        ASSERT_TRUE(defaults.synchronize());
        EXPECT_TRUE(UserDefaults(defaultsPath()).objectForKey(QStringLiteral("info")).toBool());
    }
}

TEST(UserDefaults, AFailedWriteKeepsTheOldFile)
{
    UserDefaults defaults(defaultsPath());
    defaults.setObject(QStringLiteral("k"), 1);
    ASSERT_TRUE(defaults.synchronize());
    const QByteArray before = readFile(defaultsPath());

    // A value with no property-list form is refused whole.
    defaults.setObject(QStringLiteral("bad"), QVariant::fromValue(QSize(1, 2)));
    EXPECT_FALSE(defaults.synchronize());
    EXPECT_EQ(readFile(defaultsPath()), before);
}

TEST(UserDefaults, ConcurrentWritersNeverLoseTheNewestValues)
{
    UserDefaults defaults(defaultsPath());
    std::thread worker([&] {
        for (int i = 0; i < 50; ++i) {
            defaults.setObject(QStringLiteral("Last Playlist"),
                               QByteArray(1000, char('a' + i % 26)));
            defaults.synchronize();
        }
    });
    for (int i = 0; i < 50; ++i) {
        defaults.setObject(QStringLiteral("counter"), i);
        defaults.synchronize();
    }
    worker.join();
    defaults.synchronize();
    UserDefaults reread(defaultsPath());
    EXPECT_EQ(reread.objectForKey(QStringLiteral("counter")).toInt(), 49);
    EXPECT_EQ(reread.objectForKey(QStringLiteral("Last Playlist")).toByteArray(),
              QByteArray(1000, char('a' + 49 % 26)));
}

TEST(UserDefaults, StandardStoreLivesInTheConfigFolder)
{
    UserDefaults::standard().setObject(QStringLiteral("x"), 1);
    ASSERT_TRUE(UserDefaults::standard().synchronize());
    EXPECT_TRUE(UserDefaults::standard().filePath().startsWith(TestEnvironment::home() +
                                                               QStringLiteral("/config/")));
    EXPECT_TRUE(QFile::exists(UserDefaults::standard().filePath()));
}
