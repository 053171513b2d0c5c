// Readers of the program's inputs refuse FIFOs and other special files at once
// instead of waiting for a writer that never comes.
#include "audio/AudioDecoder.h"
#include "itunes/ItunesHelper.h"
#include "media/MediaInfo.h"
#include "media/VideoFrameDecoder.h"
#include "platform/UserDefaults.h"
#include "support/TestEnvironment.h"

#include <QDir>
#include <QFile>
#include <chrono>
#include <fcntl.h>
#include <functional>
#include <future>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

QString makeFifo(const QString& path)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    EXPECT_EQ(::mkfifo(QFile::encodeName(path).constData(), 0644), 0);
    return path;
}

// Runs read; true when it returned within two seconds. A reader stuck on the FIFO
// is then released by a writer that opens and closes it, so the test can end.
bool returnsAtOnce(const QString& fifo, const std::function<void()>& read)
{
    auto done = std::async(std::launch::async, read);
    if (done.wait_for(std::chrono::seconds(2)) == std::future_status::ready)
        return true;
    while (done.wait_for(std::chrono::milliseconds(50)) != std::future_status::ready) {
        const int fd = ::open(QFile::encodeName(fifo).constData(), O_WRONLY | O_NONBLOCK);
        if (fd >= 0)
            ::close(fd);
    }
    return false;
}

} // namespace

TEST(RegularFile, EveryReaderRefusesAFifoWithoutWaiting)
{
    const QString song = makeFifo(TestEnvironment::home() + QStringLiteral("/music/x.mp3"));
    EXPECT_TRUE(returnsAtOnce(song, [&] { EXPECT_FALSE(AudioDecoder().open(song)); }))
        << "the decoder waited for a writer";
    EXPECT_TRUE(returnsAtOnce(song, [&] { EXPECT_FALSE(AudioDecoder::probe(song)); }))
        << "the probe waited for a writer";
    EXPECT_TRUE(returnsAtOnce(song, [&] {
        MediaInfo info(song);
        EXPECT_FALSE(info.id3Tags());
        EXPECT_FALSE(info.picture());
    })) << "the tag reader waited for a writer";
    EXPECT_TRUE(returnsAtOnce(song, [&] { EXPECT_FALSE(VideoFrameDecoder().open(song)); }))
        << "the video decoder waited for a writer";

    const QString root = TestEnvironment::home() + QStringLiteral("/media");
    const QString library = makeFifo(ItunesHelper::libraryPath(root));
    EXPECT_TRUE(returnsAtOnce(library, [&] {
        EXPECT_TRUE(ItunesHelper::iTunesLibrary(root).isEmpty());
    })) << "the library reader waited for a writer";

    // A settings file that is a FIFO: defaults for the session, and the FIFO stays.
    const QString settings = makeFifo(TestEnvironment::home() + QStringLiteral("/defaults.plist"));
    EXPECT_TRUE(returnsAtOnce(settings, [&] {
        UserDefaults defaults(settings);
        EXPECT_FALSE(defaults.objectForKey(QStringLiteral("Settings")).isValid());
        defaults.setObject(QStringLiteral("Settings"), 1);
        defaults.synchronize();
    })) << "the settings store waited for a writer";
    struct stat info {};
    ASSERT_EQ(::lstat(QFile::encodeName(settings).constData(), &info), 0);
    EXPECT_TRUE(S_ISFIFO(info.st_mode));
}
