#include "audio/AudioDecoder.h"

#include "support/EngineTestSupport.h"
#include "support/MediaFixtures.h"
#include "support/TestEnvironment.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <cmath>
#include <gtest/gtest.h>
#include <vector>

namespace {

constexpr int kSlice = 4096;
constexpr double kSeconds = 2.5;
// Mean frequency of the sweep (300 Hz rising by 800 Hz per second, at
// MediaFixtures::kToneAmplitude) over its second half-second to one and a half.
constexpr double kSweepMeanHz = 1100.0;

QString home(const char *name)
{
    return TestEnvironment::home() + QLatin1Char('/') + QString::fromUtf8(name);
}

struct Decoded {
    std::vector<int16_t> samples; // interleaved
    int64_t frames = 0;
    int shortReads = 0; // reads that returned fewer frames than asked, before the end
    bool failed = false;
};

// Reads the whole file in slices, as the render thread does; bounded so that a
// decoder that never ends fails the test instead of hanging it.
Decoded readAll(AudioDecoder& decoder, int64_t slice = kSlice)
{
    Decoded d;
    std::vector<int16_t> buffer(size_t(slice) * size_t(decoder.channels()));
    for (int calls = 0; calls < 100000; ++calls) {
        const int64_t got = decoder.read(buffer.data(), slice);
        if (got < 0)
            break;
        d.samples.insert(d.samples.end(), buffer.begin(),
                         buffer.begin() + got * decoder.channels());
        d.frames += got;
        if (got < slice) {
            // Whatever follows a short read must be the end.
            if (decoder.read(buffer.data(), slice) != 0)
                ++d.shortReads;
            return d;
        }
    }
    d.failed = true;
    return d;
}

// One container per way the decoder measures, converts or positions a file.
struct Container {
    const char *file;
    int rate;
    int channels;
    const char *ffmpegArgs;
    int codecFrame;   // frames per codec frame; 0 for PCM and lossless (exact samples)
    bool exactLength; // the file states its length
    int lengthSlack;  // how far totalFrames may lie from the length of the signal
};

const Container kContainers[] = {
    // Info header with encoder delay and padding, which are trimmed.
    {"tone.mp3", 44100, 2, "-b:a 192k", 1152, true, 0},
    // No info header: the length is estimated from the bit rate.
    {"tone.mp2", 48000, 2, "", 1152, false, 1152},
    // ADTS frames counted; priming and padding are part of the stream.
    {"tone.aac", 22050, 2, "", 1024, true, 2048},
    // PCM delivered as it is.
    {"tone.wav", 48000, 2, "", 0, true, 0},
    // Float samples converted; six channels.
    {"float-5.1.wav", 48000, 6, "-c:a pcm_f32le", 0, true, 0},
    // 24-bit big-endian PCM, mono.
    {"tone.aif", 11025, 1, "-c:a pcm_s24be", 0, true, 0},
    // MP4 edit list trims the AAC priming; the picture stream is left alone.
    {"video.mp4", 44100, 2,
     "-f lavfi -i testsrc=size=64x48:rate=10:d=2.5 -c:v mpeg4 -c:a aac -movflags +faststart", 1024,
     true, 0},
    // Packet table; this writer rounds the length up to whole packets.
    {"alac.caf", 44100, 2, "-c:a alac", 0, false, 4096},
};

// A sine sweep (no stretch of it repeats, so a position in it can be recognised)
// in the container.
QString fixture(const Container& c)
{
    const QString path =
        MediaFixtures::cachedSound(QStringLiteral("sweep-") + QString::fromLatin1(c.file),
                                   QStringLiteral("0.5*sin(2*PI*(300+400*t)*t)"), kSeconds, c.rate,
                                   c.channels, QString::fromLatin1(c.ffmpegArgs));
    EXPECT_FALSE(path.isEmpty()) << MediaFixtures::lastError().toStdString();
    return path;
}

QByteArray fixtureBytes(const Container& c)
{
    QFile file(fixture(c));
    EXPECT_TRUE(file.open(QIODevice::ReadOnly));
    return file.readAll();
}

class ContainerTest : public testing::TestWithParam<Container> {};

// Format, length, sound, and seeks: after a seek the decoder delivers what a
// straight decode delivers at that frame, exactly for PCM and lossless, and (given
// the pre-roll) to within codec noise for lossy formats. A shift of even one frame
// would differ by thousands: the sweep moves fast.
TEST_P(ContainerTest, DecodesAndSeeksToTheExactFrame)
{
    QUAVER_REQUIRE_FFMPEG();
    const Container& c = GetParam();
    const QString path = fixture(c);
    ASSERT_FALSE(path.isEmpty());

    AudioDecoder decoder;
    ASSERT_TRUE(decoder.open(path)) << decoder.errorString().toStdString();
    EXPECT_EQ(std::tuple(decoder.sampleRate(), decoder.channels(), decoder.lengthIsExact()),
              std::tuple(c.rate, c.channels, c.exactLength));
    const int64_t nominal = int64_t(std::llround(kSeconds * c.rate));
    EXPECT_NEAR(double(decoder.totalFrames()), double(nominal), double(c.lengthSlack));
    const auto probe = AudioDecoder::probe(path);
    ASSERT_TRUE(probe.has_value());
    EXPECT_EQ(std::tuple(probe->sampleRate, probe->totalFrames, probe->exact),
              std::tuple(decoder.sampleRate(), decoder.totalFrames(), decoder.lengthIsExact()));

    const Decoded d = readAll(decoder);
    ASSERT_FALSE(d.failed);
    EXPECT_EQ(d.shortReads, 0);
    EXPECT_EQ(decoder.tell(), d.frames);
    EXPECT_NEAR(double(d.frames), double(decoder.totalFrames()),
                c.exactLength ? 0.0 : double(c.lengthSlack));
    // The middle second: the sweep's mean frequency and its level on every channel.
    // Where the stream keeps its codec delay, the sweep arrives that much later.
    const double hzSlack = 5.0 + 800.0 * c.lengthSlack / c.rate;
    ASSERT_GE(d.frames, c.rate / 2 + c.rate);
    for (int ch = 0; ch < c.channels; ++ch) {
        std::vector<float> middle(size_t(c.rate)); // from half a second on
        for (size_t i = 0; i < middle.size(); ++i)
            middle[i] =
                d.samples[(i + size_t(c.rate / 2)) * size_t(c.channels) + size_t(ch)] / 32768.0f;
        EXPECT_NEAR(EngineTest::zeroCrossingHz(middle, c.rate, 0, middle.size()), kSweepMeanHz,
                    hzSlack)
            << "channel " << ch;
        const double expected = MediaFixtures::kToneAmplitude / std::sqrt(2.0);
        EXPECT_NEAR(EngineTest::rms(middle), expected, c.codecFrame ? 0.06 * expected : 0.002)
            << "channel " << ch;
    }

    std::vector<int16_t> buffer(size_t(kSlice) * size_t(c.channels));
    for (const int64_t target :
         {int64_t(1.5 * c.rate), int64_t(c.rate / 4 + 7), int64_t(0), int64_t(2 * c.rate + 1)}) {
        SCOPED_TRACE("target " + std::to_string(target));
        ASSERT_TRUE(decoder.seek(target));
        EXPECT_EQ(decoder.tell(), target);
        const int64_t want = std::min<int64_t>(2048, d.frames - target);
        ASSERT_EQ(decoder.read(buffer.data(), want), want);
        double error = 0;
        for (int64_t i = 0; i < want * c.channels; ++i)
            error += std::abs(buffer[size_t(i)] - d.samples[size_t(target * c.channels + i)]);
        EXPECT_LE(error / double(want * c.channels), c.codecFrame ? 30.0 : 0.0);
    }
}

INSTANTIATE_TEST_SUITE_P(Containers, ContainerTest, testing::ValuesIn(kContainers),
                         [](const testing::TestParamInfo<Container>& param) {
                             return QString::fromLatin1(param.param.file)
                                 .replace(QRegularExpression(QStringLiteral("\\W")),
                                          QStringLiteral("_"))
                                 .toStdString();
                         });

// Blocks that the decoder cannot decode (NO_DATA, sent during silence) keep their
// 20 ms as silence, so the file keeps its length and timing, even when the file
// begins with them.
TEST(AudioDecoderTest, AmrCountsEveryBlockAndUndecodableOnesAreSilence)
{
    const QString path = MediaFixtures::amrNb(home("dtx.amr"), 50, 100);
    AudioDecoder decoder;
    ASSERT_TRUE(decoder.open(path)) << decoder.errorString().toStdString();
    EXPECT_EQ(std::tuple(decoder.sampleRate(), decoder.channels(), decoder.totalFrames(),
                         decoder.lengthIsExact()),
              std::tuple(8000, 1, int64_t(150 * 160), true));
    const Decoded d = readAll(decoder, 1000);
    ASSERT_EQ(d.frames, 150 * 160);
    EXPECT_EQ(d.shortReads, 0);
    for (int64_t i = 50 * 160; i < d.frames; ++i)
        ASSERT_EQ(d.samples[size_t(i)], 0) << "frame " << i;

    ASSERT_TRUE(decoder.seek(120 * 160));
    std::vector<int16_t> buffer(kSlice);
    EXPECT_EQ(decoder.read(buffer.data(), 1000), 1000);
    EXPECT_EQ(decoder.read(buffer.data(), kSlice), 30 * 160 - 1000);

    AudioDecoder quiet;
    ASSERT_TRUE(quiet.open(MediaFixtures::amrNb(home("quiet.amr"), 0, 25)));
    EXPECT_EQ(quiet.sampleRate(), 8000);
    EXPECT_EQ(readAll(quiet).frames, 25 * 160);
}

// The output of ffmpeg with args (split at spaces), kept in the fixture cache.
QString ffmpegOutput(const char *fileName, const char *args)
{
    const QString path = MediaFixtures::cachedOutput(
        QString::fromLatin1(fileName), QString::fromLatin1(args).split(QLatin1Char(' ')));
    EXPECT_FALSE(path.isEmpty()) << MediaFixtures::lastError().toStdString();
    return path;
}

QByteArray randomBytes(int count)
{
    QByteArray bytes(count, '\0');
    QRandomGenerator generator(7);
    for (char& b : bytes)
        b = char(generator.generate());
    return bytes;
}

// Opens and reads to the end under a time bound; returns the frames read, or -1 when
// open() refused the file.
int64_t openAndRead(const QString& path)
{
    QElapsedTimer timer;
    timer.start();
    AudioDecoder decoder;
    if (!decoder.open(path)) {
        EXPECT_FALSE(decoder.errorString().isEmpty());
        return -1;
    }
    EXPECT_TRUE(decoder.channels() >= 1 && decoder.channels() <= 8) << decoder.channels();
    const Decoded d = readAll(decoder);
    EXPECT_FALSE(d.failed);
    EXPECT_LT(timer.elapsed(), 10000);
    return d.frames;
}

// A missing file, an empty stream and a name with a colon; then damaged and
// mislabelled files: open() refuses them (-1), or reading ends within bounds; never
// a crash, never a hang.
TEST(AudioDecoderTest, EdgesOfOpeningAndDamagedFilesAreRefusedOrEndEarly)
{
    QUAVER_REQUIRE_FFMPEG();
    AudioDecoder edges;
    int16_t few[2 * 16];
    EXPECT_FALSE(edges.open(home("missing.mp3")));
    EXPECT_FALSE(edges.errorString().isEmpty());
    EXPECT_EQ(edges.read(few, 8), -1);

    // An empty stream whose container states its format opens with no frames.
    ASSERT_TRUE(edges.open(
        ffmpegOutput("empty.wav", "-f lavfi -i anullsrc=r=44100:cl=stereo -frames:a 0")));
    EXPECT_EQ(edges.totalFrames(), 0);
    EXPECT_EQ(edges.read(few, 16), 0);

    // A colon in a name is part of the name, not a protocol, even in a relative path.
    ASSERT_TRUE(QFile::copy(fixture(kContainers[3]), home("http:ünïcode #1.wav")));
    const QString before = QDir::currentPath();
    QDir::setCurrent(TestEnvironment::home());
    EXPECT_TRUE(edges.open(QStringLiteral("http:ünïcode #1.wav")));
    QDir::setCurrent(before);
    EXPECT_EQ(edges.totalFrames(), int64_t(kSeconds * 48000));

    const QByteArray mp3 = fixtureBytes(kContainers[0]);
    const QByteArray mp4 = fixtureBytes(kContainers[6]); // index first
    auto garbled = [](QByteArray bytes) {
        return bytes.replace(bytes.size() / 2, 8000, randomBytes(8000));
    };
    // A script that would make a demuxer open other files is not a song.
    TestEnvironment::writeFile(home("tone.wav"), fixtureBytes(kContainers[3]));
    const int64_t half = int64_t(kSeconds * 44100 / 2), whole = int64_t(kSeconds * 44100);
    const struct {
        const char *name;
        QByteArray bytes;
        int64_t least, most;
    } cases[] = {
        {"empty.mp3", {}, -1, -1},
        {"noise.mp3", randomBytes(300000), -1, -1},
        {"list.mp3", "ffconcat version 1.0\nfile 'tone.wav'\n", -1, -1},
        {"tail.mp3", mp3.mid(mp3.size() / 3), -1, whole}, // cut at the front, mid-frame
        {"header.wav", fixtureBytes(kContainers[3]).left(44), -1, 0},
        {"half.mp3", mp3.left(mp3.size() / 2), half * 9 / 10, half * 11 / 10},
        {"half.mp4", mp4.left(mp4.size() / 2), half * 8 / 10, half * 12 / 10},
        {"garbled.mp3", garbled(mp3), whole / 2, whole + 2048},
        {"garbled.mp4", garbled(mp4), whole / 2, whole + 2048},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const int64_t frames = openAndRead(TestEnvironment::writeFile(home(c.name), c.bytes));
        EXPECT_GE(frames, c.least);
        EXPECT_LE(frames, c.most);
    }
    const QString mpv = ffmpegOutput(
        "clip.mpv", "-f lavfi -i testsrc=size=64x48:rate=10:d=1 -c:v mpeg2video -f mpeg2video");
    EXPECT_EQ(openAndRead(mpv), -1) << "no audio stream";
    EXPECT_FALSE(AudioDecoder::probe(mpv));

    // Cut short while it plays: reading ends where the data ends.
    const QString path = TestEnvironment::writeFile(home("shrinking.mp3"), mp3);
    ASSERT_TRUE(edges.open(path));
    ASSERT_EQ(edges.read(few, 16), 16);
    ASSERT_TRUE(QFile::resize(path, mp3.size() / 3));
    EXPECT_LT(16 + readAll(edges).frames, int64_t(0.6 * kSeconds * 44100));
}

} // namespace
