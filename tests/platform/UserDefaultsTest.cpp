#include "platform/UserDefaults.h"
#include "platform/PropertyList.h"
#include "support/TestEnvironment.h"

#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <chrono>
#include <gtest/gtest.h>
#include <memory>
#include <sys/stat.h>
#include <thread>

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
        EXPECT_EQ(UserDefaults(defaultsPath(), UserDefaults::Access::ReadOnly)
                      .objectForKey(QStringLiteral("Settings"))
                      .toMap(),
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

TEST(UserDefaults, ASecondStoreWritesNothingWhileTheFirstHoldsTheLock)
{
    const QString key = QStringLiteral("Last Playlist");
    auto first = std::make_unique<UserDefaults>(defaultsPath());
    first->setObject(key, QStringLiteral("first"));
    ASSERT_TRUE(first->synchronize());
    EXPECT_TRUE(QFileInfo::exists(UserDefaults::lockPath(defaultsPath())));
    {
        QElapsedTimer waited;
        waited.start();
        UserDefaults second(defaultsPath());
        EXPECT_GE(waited.elapsed(), UserDefaults::kLockWaitMs) << "it waits for an ending holder";
        EXPECT_FALSE(second.isWritable());
        EXPECT_EQ(second.objectForKey(key).toString(), QStringLiteral("first")) << "it reads";
        second.setObject(key, QStringLiteral("second"));
        EXPECT_FALSE(second.synchronize());
        EXPECT_FALSE(second.keepDamagedCopy());
        EXPECT_EQ(second.objectForKey(key).toString(), QStringLiteral("second"))
            << "its values last for the session";
        EXPECT_EQ(UserDefaults(defaultsPath(), UserDefaults::Access::ReadOnly)
                      .objectForKey(key)
                      .toString(),
                  QStringLiteral("first"));
    }
    first->setObject(key, QStringLiteral("first again"));
    EXPECT_TRUE(first->synchronize()) << "the holder goes on writing";

    // A holder that ends while the next store waits hands the lock over.
    std::thread ending([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(UserDefaults::kLockWaitMs / 4));
        first.reset();
    });
    UserDefaults third(defaultsPath());
    ending.join();
    EXPECT_TRUE(third.isWritable()) << "the lock goes with its holder";
    EXPECT_EQ(third.objectForKey(key).toString(), QStringLiteral("first again"));
    third.setObject(key, QStringLiteral("third"));
    EXPECT_TRUE(third.synchronize());
}

TEST(UserDefaults, AReadOnlyStoreTakesNoLockAndLeavesADamagedFileAlone)
{
    const QByteArray damaged("<?xml version=\"1.0\"?><plist><string>x</string></plist>");
    TestEnvironment::writeFile(defaultsPath(), damaged);
    UserDefaults reader(defaultsPath(), UserDefaults::Access::ReadOnly);
    EXPECT_FALSE(reader.contains(QStringLiteral("Settings")));
    reader.setObject(QStringLiteral("Settings"), 1);
    EXPECT_FALSE(reader.synchronize());
    EXPECT_FALSE(reader.keepDamagedCopy());
    EXPECT_EQ(readFile(defaultsPath()), damaged);
    EXPECT_FALSE(QFile::exists(defaultsPath() + QStringLiteral(".damaged-1")));

    QElapsedTimer waited;
    waited.start();
    UserDefaults writer(defaultsPath());
    EXPECT_TRUE(writer.isWritable()) << "the reader holds no lock";
    EXPECT_LT(waited.elapsed(), UserDefaults::kLockWaitMs);
    EXPECT_EQ(readFile(defaultsPath() + QStringLiteral(".damaged-1")), damaged)
        << "the writer keeps the damaged file aside as usual";
}

// Large data values of the file (a stored list) are coded apart from libplist: the
// file is libplist's byte for byte, and any file, of the usual form or not, reads
// as libplist reads it.
TEST(UserDefaults, LargeValuesAreWrittenAndReadAsLibplistDoes)
{
    auto bytes = [](qsizetype n, int seed) {
        QByteArray b(n, Qt::Uninitialized);
        for (qsizetype i = 0; i < n; ++i)
            b[i] = char(i * seed + i / 7);
        return b;
    };
    const qsizetype large = PropertyList::kLargeDataBytes;
    const QVariantMap values{{QStringLiteral("A"), bytes(large + 1, 3)},
                             {QStringLiteral("Last Playlist"), bytes(large * 3 + 2, 5)},
                             {QStringLiteral("Small"), bytes(large - 1, 7)},
                             {QStringLiteral("Volume"), 0.5},
                             {QStringLiteral("Z"), bytes(large + 51, 11)}};
    const QByteArray xml = PropertyList::xmlFromDictionary(values).value_or(QByteArray());
    ASSERT_EQ(xml, PropertyList::toXml(PropertyList::fromVariant(values).get()));
    {
        UserDefaults defaults(defaultsPath());
        for (auto it = values.cbegin(); it != values.cend(); ++it)
            defaults.setObject(it.key(), *it);
        ASSERT_TRUE(defaults.synchronize());
        EXPECT_EQ(readFile(defaultsPath()), xml) << "written piece by piece";
    }

    auto libplist = [](const QByteArray& file) {
        const PlistPtr root = PropertyList::parseXml(file);
        return root ? std::optional(PropertyList::toVariant(root.get()).toMap()) : std::nullopt;
    };
    QByteArray split = xml, foreign = xml, padded = xml;
    const qsizetype line = xml.indexOf("<data>\n\t") + 9; // the first line of "A"
    split.insert(line + 2, "\n");                         // inside a group of four
    foreign[line + 5] = '*';
    padded.insert(line + 4, "====");
    const QList<QByteArray> files{
        xml,
        QByteArray(xml).replace("\n\t", "\r\n  "),
        QByteArray(xml).replace("<dict>", "<!-- a comment --><dict>"),
        split,
        foreign,
        padded,
        QByteArray(xml).replace("</dict>", "<key>A</key><data></data></dict>"), // read last
        xml.left(xml.size() - 20),
    };
    for (const QByteArray& file : files) {
        SCOPED_TRACE(file.size());
        EXPECT_EQ(PropertyList::dictionaryFromBytes(file), libplist(file));
    }
    // A file of its own, as the store reads it: the largest value takes its buffer.
    EXPECT_EQ(PropertyList::dictionaryFromBytes(QByteArray(xml.constData(), xml.size())), values);
}
