// Whole-file writes when the disk refuses part of them, and the leftovers of a kill.
#include "platform/AtomicFile.h"
#include "support/TestEnvironment.h"

#include <QDir>
#include <QFile>
#include <csignal>
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <utime.h>

namespace {

// While alive, a write past limit bytes of any file fails part way with EFBIG, as
// on a disk that fills up in the middle of a write.
class FileSizeLimit {
public:
    explicit FileSizeLimit(rlim_t limit)
    {
        m_oldHandler = std::signal(SIGXFSZ, SIG_IGN);
        getrlimit(RLIMIT_FSIZE, &m_old);
        rlimit lower = m_old;
        lower.rlim_cur = limit;
        setrlimit(RLIMIT_FSIZE, &lower);
    }
    ~FileSizeLimit()
    {
        setrlimit(RLIMIT_FSIZE, &m_old);
        std::signal(SIGXFSZ, m_oldHandler);
    }

private:
    rlimit m_old{};
    void (*m_oldHandler)(int) = nullptr;
};

QStringList folderEntries(const QString& folder)
{
    return QDir(folder).entryList(QDir::Files | QDir::Hidden, QDir::Name);
}

} // namespace

TEST(AtomicFile, AWriteThatFailsPartWayReplacesNothingAndLeavesNoTemporaryFile)
{
    const QString folder = TestEnvironment::home() + QStringLiteral("/store");
    const QString old = TestEnvironment::writeFile(folder + QStringLiteral("/list"), "old list");
    const QString fresh = folder + QStringLiteral("/new");
    const QByteArray big(64 * 1024, 'x');
    {
        const FileSizeLimit limit(4096);
        for (const auto mode : {AtomicFile::Mode::Replace, AtomicFile::Mode::CreateNew}) {
            const QString path = mode == AtomicFile::Mode::Replace ? old : fresh;
            QString error;
            EXPECT_FALSE(AtomicFile::write(path, big, mode, &error)) << path.toStdString();
            EXPECT_FALSE(error.isEmpty());
        }
    }
    QFile kept(old);
    ASSERT_TRUE(kept.open(QIODevice::ReadOnly));
    EXPECT_EQ(kept.readAll(), QByteArray("old list"));
    EXPECT_EQ(folderEntries(folder), QStringList{QStringLiteral("list")});

    // Without the limit the same writes go through, and a replaced file keeps its mode.
    ASSERT_EQ(::chmod(QFile::encodeName(old).constData(), 0640), 0);
    EXPECT_TRUE(AtomicFile::write(old, big));
    EXPECT_TRUE(AtomicFile::write(fresh, big, AtomicFile::Mode::CreateNew));
    EXPECT_FALSE(AtomicFile::write(fresh, "other", AtomicFile::Mode::CreateNew));
    struct stat st {};
    ASSERT_EQ(::stat(QFile::encodeName(old).constData(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0640u);
    EXPECT_EQ(QFileInfo(fresh).size(), big.size());
    EXPECT_EQ(folderEntries(folder), (QStringList{QStringLiteral("list"), QStringLiteral("new")}));
}

TEST(AtomicFile, LeftoversOfAKilledWriteAreRemovedOnceSettledAndNothingElse)
{
    const QString folder = TestEnvironment::home() + QStringLiteral("/config");
    const QStringList leftovers = {QStringLiteral(".defaults.plist.0badf00d"),
                                   QStringLiteral("defaults.plist.a1B2c3")};
    const QStringList kept = {
        QStringLiteral("defaults.plist"), QStringLiteral("defaults.plist.backup"),
        QStringLiteral("defaults.plist.damaged-1"), QStringLiteral(".other.plist.0badf00d")};
    for (const QString& name : leftovers + kept)
        TestEnvironment::writeFile(folder + QLatin1Char('/') + name, "x");
    const QString young = TestEnvironment::writeFile(
        folder + QStringLiteral("/.defaults.plist.12345678"), "a write under way");
    // Everything but the young one was written by a run killed two minutes ago.
    const utimbuf twoMinutesAgo{time(nullptr) - 120, time(nullptr) - 120};
    for (const QString& name : leftovers + kept)
        utime(QFile::encodeName(folder + QLatin1Char('/') + name).constData(), &twoMinutesAgo);

    AtomicFile::removeLeftovers(folder + QStringLiteral("/defaults.plist"));

    QStringList expected = kept;
    expected.append(QFileInfo(young).fileName());
    expected.sort();
    EXPECT_EQ(folderEntries(folder), expected);
}
