#include "platform/UserDefaults.h"
#include "support/TestEnvironment.h"

#include <QFile>
#include <gtest/gtest.h>
#include <sys/stat.h>

namespace {

QString defaultsPath()
{
    return TestEnvironment::home() + QStringLiteral("/config/defaults.plist");
}

QByteArray readFile(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<unreadable>");
}

} // namespace

// Written over each kind of damaged file, values survive a restart with their types;
// every damaged file is kept under the next number.
TEST(UserDefaults, ValuesSurviveARestartAndEachDamagedFileIsKept)
{
    const QVariantMap settings{
        {QStringLiteral("EQ"), 3},
        {QStringLiteral("VolumeLimit"), 0.25},
        {QStringLiteral("HomeFolder"), true},
        {QStringLiteral("Bookmarks"), QVariantList{QStringLiteral("/a"), QStringLiteral("/ü b")}},
        {QStringLiteral("Last Playlist"), QByteArray("\0\x01\xff", 3)}};
    const QList<QByteArray> damaged = {
        QByteArray(),
        QByteArray("<?xml version=\"1.0\"?><plist version=\"1.0\"><string>x</string></plist>"),
        // Nested far deeper than any settings file: refused, not parsed.
        "<?xml version=\"1.0\"?><plist version=\"1.0\"><dict><key>a</key>" +
            QByteArray("<array>").repeated(200000) + QByteArray("</array>").repeated(200000) +
            "</dict></plist>",
    };
    for (int i = 0; i < damaged.size(); ++i) {
        TestEnvironment::writeFile(defaultsPath(), damaged[i]);
        UserDefaults defaults(defaultsPath());
        defaults.setObject(QStringLiteral("Settings"), settings);
        ASSERT_TRUE(defaults.synchronize());
        EXPECT_EQ(UserDefaults(defaultsPath()).objectForKey(QStringLiteral("Settings")).toMap(),
                  settings);
    }
    EXPECT_TRUE(readFile(defaultsPath()).startsWith("<?xml")) << "the store is an XML plist";
    for (int i = 0; i < damaged.size(); ++i)
        EXPECT_EQ(readFile(defaultsPath() + QStringLiteral(".damaged-%1").arg(i + 1)), damaged[i])
            << "every copy survives, numbered";
}

TEST(UserDefaults, AFileThatCannotBeOpenedIsNeverReplaced)
{
    TestEnvironment::writeFile(defaultsPath(), "<?xml version=\"1.0\"?><plist><dict/></plist>");
    const QByteArray path = QFile::encodeName(defaultsPath());
    // Reachable by anyone, the folder writable by anyone (a rename over the file
    // would succeed), the file writable by anyone but unreadable.
    ::chmod(QFile::encodeName(TestEnvironment::home()).constData(), 0755);
    ::chmod(QFile::encodeName(TestEnvironment::home() + QStringLiteral("/config")).constData(),
            0777);
    ::chmod(path.constData(), 0222);
    const QByteArray before = readFile(defaultsPath());

    const std::vector<bool> refused = TestEnvironment::asOrdinaryUser([] {
        UserDefaults defaults(defaultsPath());
        defaults.setObject(QStringLiteral("k"), 1);
        return std::vector<bool>{!defaults.synchronize(), !defaults.synchronize()};
    });
    EXPECT_EQ(refused, std::vector<bool>(2, true)) << "synchronize must not write";
    ::chmod(path.constData(), 0600);
    EXPECT_EQ(readFile(defaultsPath()), before);
    EXPECT_FALSE(QFile::exists(defaultsPath() + QStringLiteral(".damaged-1")))
        << "an unopened file is not moved aside";
}
