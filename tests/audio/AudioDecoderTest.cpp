#include "audio/AudioDecoder.h"

#include "support/MediaFixtures.h"
#include "support/TestEnvironment.h"

#include <QElapsedTimer>
#include <QFile>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <cmath>
#include <gtest/gtest.h>
#include <vector>

namespace {

constexpr int kSlice = 4096;
constexpr double kToneHz = 1000.0;
constexpr double kSeconds = 2.5;

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
        if (got < 0) {
            d.failed = true;
            return d;
        }
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

// Positive-going zero crossings per second of one channel, with hysteresis so that
// codec noise near zero does not count.
double frequencyOf(const std::vector<int16_t>& s, int channels, int channel, int rate, int64_t from,
                   int64_t count)
{
    int crossings = 0;
    bool below = false;
    for (int64_t i = from; i < from + count; ++i) {
        const int v = s[size_t(i * channels + channel)];
        if (v < -1000)
            below = true;
        else if (v > 1000 && below) {
            ++crossings;
            below = false;
        }
    }
    return crossings * double(rate) / double(count);
}

double rmsOf(const std::vector<int16_t>& s, int channels, int channel, int64_t from, int64_t count)
{
    double sum = 0;
    for (int64_t i = from; i < from + count; ++i) {
        const double v = s[size_t(i * channels + channel)] / 32768.0;
        sum += v * v;
    }
    return std::sqrt(sum / double(count));
}

struct Container {
    const char *file;
    int rate;
    int channels;
    const char *ffmpegArgs;
    int codecFrame;   // frames per codec frame; 0 for PCM and lossless (exact samples)
    bool exactLength; // the file states its length
    int lengthSlack;  // how far totalFrames may lie from the length of the signal
};

void PrintTo(const Container& c, std::ostream *os)
{
    *os << c.file;
}

const Container kContainers[] = {
    {"tone.mp3", 44100, 2, "-b:a 192k", 1152, true, 0},
    {"mono.mp3", 44100, 1, "", 1152, true, 0},
    {"lsf.mpga", 24000, 1, "-c:a libmp3lame -f mp3", 576, true, 0},
    {"tone.wav", 48000, 2, "", 0, true, 0},
    {"float.wav", 44100, 2, "-c:a pcm_f32le", 0, true, 0},
    {"surround.wav", 48000, 6, "", 0, true, 0},
    {"aac.m4a", 44100, 2, "-c:a aac", 1024, true, 0},
    {"surround.m4a", 48000, 6, "-c:a aac", 1024, true, 0},
    {"alac.m4a", 44100, 2, "-c:a alac", 0, true, 0},
    {"tone.alac", 96000, 2, "-c:a alac -f ipod", 0, true, 0},
    // ADTS states no priming or padding: they are part of the stream.
    {"tone.aac", 22050, 2, "", 1024, true, 2048},
    {"tone.aiff", 32000, 2, "", 0, true, 0},
    {"tone.aif", 11025, 1, "-c:a pcm_s24be", 0, true, 0},
    {"tone.aifc", 44100, 2, "-c:a pcm_s16le -f aiff", 0, true, 0},
    {"tone.caf", 48000, 2, "", 0, true, 0},
    // This writer's packet table rounds the length up to whole packets.
    {"alac.caf", 44100, 2, "-c:a alac", 0, false, 4096},
    {"tone.m4r", 44100, 2, "-c:a aac -f ipod", 1024, true, 0},
    {"tone.mp2", 48000, 2, "", 1152, false, 1152},
    {"tone.mpga", 32000, 2, "-c:a mp2 -f mp2", 1152, false, 1152},
    {"video.mp4", 44100, 2, "-f lavfi -i testsrc=size=64x48:rate=10:d=2.5 -c:v mpeg4 -c:a aac",
     1024, true, 0},
    {"tone.3gp", 16000, 1, "-c:a aac", 1024, true, 0},
    {"tone.mov", 48000, 2, "-c:a pcm_s16le", 0, true, 0},
    {"video.m4v", 44100, 2,
     "-f lavfi -i testsrc=size=64x48:rate=10:d=2.5 -c:v mpeg4 -c:a aac -f ipod", 1024, true, 0},
};

class ContainerTest : public testing::TestWithParam<Container> {
protected:
    QString fixture()
    {
        const Container& c = GetParam();
        const QString path =
            MediaFixtures::cachedTone(QString::fromLatin1(c.file), kToneHz, kSeconds, c.rate,
                                      c.channels, QString::fromLatin1(c.ffmpegArgs));
        EXPECT_FALSE(path.isEmpty()) << MediaFixtures::lastError().toStdString();
        return path;
    }

    // The same container holding a sweep, in which every position looks different.
    QString sweepFixture()
    {
        const Container& c = GetParam();
        const QString path =
            MediaFixtures::cachedSound(QStringLiteral("sweep-") + QString::fromLatin1(c.file),
                                       MediaFixtures::sweepExpression(), kSeconds, c.rate,
                                       c.channels, QString::fromLatin1(c.ffmpegArgs));
        EXPECT_FALSE(path.isEmpty()) << MediaFixtures::lastError().toStdString();
        return path;
    }
};

TEST_P(ContainerTest, DecodesTheToneAtItsOwnRateAndLength)
{
    QUAVER_REQUIRE_FFMPEG();
    const Container& c = GetParam();
    const QString path = fixture();
    ASSERT_FALSE(path.isEmpty());

    AudioDecoder decoder;
    ASSERT_TRUE(decoder.open(path)) << decoder.errorString().toStdString();
    EXPECT_EQ(decoder.sampleRate(), c.rate);
    EXPECT_EQ(decoder.channels(), c.channels);
    EXPECT_EQ(decoder.lengthIsExact(), c.exactLength);
    const int64_t nominal = int64_t(std::llround(kSeconds * c.rate));
    EXPECT_NEAR(double(decoder.totalFrames()), double(nominal), double(c.lengthSlack));

    const Decoded d = readAll(decoder);
    ASSERT_FALSE(d.failed);
    EXPECT_EQ(d.shortReads, 0);
    EXPECT_EQ(decoder.tell(), d.frames);
    EXPECT_NEAR(double(d.frames), double(decoder.totalFrames()),
                c.exactLength ? 0.0 : double(c.lengthSlack));

    // The middle second: the tone's frequency and level on every channel (but the
    // LFE channel of 5.1, which lossy codecs band-limit).
    const int64_t from = c.rate / 2;
    const int64_t count = c.rate;
    ASSERT_GE(d.frames, from + count);
    for (int ch = 0; ch < c.channels; ++ch) {
        if (c.channels == 6 && ch == 3 && c.codecFrame)
            continue;
        EXPECT_NEAR(frequencyOf(d.samples, c.channels, ch, c.rate, from, count), kToneHz, 5.0)
            << "channel " << ch;
        const double expected = MediaFixtures::kToneAmplitude / std::sqrt(2.0);
        EXPECT_NEAR(rmsOf(d.samples, c.channels, ch, from, count), expected,
                    c.codecFrame ? 0.06 * expected : 0.002)
            << "channel " << ch;
    }
}

TEST_P(ContainerTest, ProbeAgreesWithOpen)
{
    QUAVER_REQUIRE_FFMPEG();
    const QString path = fixture();
    ASSERT_FALSE(path.isEmpty());
    AudioDecoder decoder;
    ASSERT_TRUE(decoder.open(path));
    const auto probe = AudioDecoder::probe(path);
    ASSERT_TRUE(probe.has_value());
    EXPECT_EQ(probe->sampleRate, decoder.sampleRate());
    EXPECT_EQ(probe->totalFrames, decoder.totalFrames());
    EXPECT_EQ(probe->exact, decoder.lengthIsExact());
    if (probe->channels) {
        EXPECT_EQ(probe->channels, decoder.channels());
    }
}

// After a seek the decoder delivers what a straight decode delivers at that frame:
// exactly for PCM and lossless, and (given the pre-roll) to within codec noise for
// lossy formats, never shifted by a codec frame or more.
TEST_P(ContainerTest, SeeksToTheExactFrame)
{
    QUAVER_REQUIRE_FFMPEG();
    const Container& c = GetParam();
    const QString path = sweepFixture();
    ASSERT_FALSE(path.isEmpty());
    AudioDecoder straight;
    ASSERT_TRUE(straight.open(path));
    const Decoded reference = readAll(straight);
    ASSERT_FALSE(reference.failed);

    AudioDecoder decoder;
    ASSERT_TRUE(decoder.open(path));
    std::vector<int16_t> buffer(size_t(kSlice) * size_t(c.channels));
    ASSERT_EQ(decoder.read(buffer.data(), kSlice), kSlice);

    const int64_t targets[] = {int64_t(1.5 * c.rate), c.rate / 4 + 7, 0, 2 * c.rate + 1};
    for (const int64_t target : targets) {
        SCOPED_TRACE("target " + std::to_string(target));
        ASSERT_TRUE(decoder.seek(target));
        EXPECT_EQ(decoder.tell(), target);
        const int64_t want = std::min<int64_t>(2048, reference.frames - target);
        ASSERT_EQ(decoder.read(buffer.data(), want), want);
        EXPECT_EQ(decoder.tell(), target + want);

        // The lag, within two codec frames either way, at which the seek's output
        // fits the straight decode best.
        const int64_t span = c.codecFrame ? 2 * c.codecFrame : 64;
        auto errorAt = [&](int64_t lag) {
            double error = 0;
            for (int64_t i = 0; i < want * c.channels; ++i)
                error += std::abs(buffer[size_t(i)] -
                                  reference.samples[size_t((target + lag) * c.channels + i)]);
            return error;
        };
        int64_t bestLag = 0;
        double bestError = errorAt(0);
        for (int64_t lag = -span; lag <= span; ++lag) {
            if (lag == 0 || target + lag < 0 || target + lag + want > reference.frames)
                continue;
            if (const double error = errorAt(lag); error < bestError) {
                bestError = error;
                bestLag = lag;
            }
        }
        EXPECT_EQ(bestLag, 0);
        const double meanError = bestError / double(want * c.channels);
        if (c.codecFrame == 0)
            EXPECT_EQ(meanError, 0.0);
        else
            EXPECT_LT(meanError, 30.0); // of a tone peaking at 16384
    }
}

TEST_P(ContainerTest, SeekPastTheEndEndsTheFile)
{
    QUAVER_REQUIRE_FFMPEG();
    const Container& c = GetParam();
    const QString path = fixture();
    ASSERT_FALSE(path.isEmpty());
    AudioDecoder decoder;
    ASSERT_TRUE(decoder.open(path));
    std::vector<int16_t> buffer(size_t(kSlice) * size_t(c.channels));

    ASSERT_TRUE(decoder.seek(decoder.totalFrames() + 12345));
    EXPECT_EQ(decoder.tell(), decoder.totalFrames());
    EXPECT_EQ(decoder.read(buffer.data(), kSlice), 0);

    // Negative positions mean the start; reading works again after the end.
    ASSERT_TRUE(decoder.seek(-500));
    EXPECT_EQ(decoder.tell(), 0);
    EXPECT_EQ(decoder.read(buffer.data(), kSlice), kSlice);
}

INSTANTIATE_TEST_SUITE_P(Containers, ContainerTest, testing::ValuesIn(kContainers),
                         [](const testing::TestParamInfo<Container>& param) {
                             std::string name = param.param.file;
                             for (char& ch : name)
                                 if (!std::isalnum(static_cast<unsigned char>(ch)))
                                     ch = '_';
                             return name;
                         });

TEST(AudioDecoderTest, AmrNarrowbandOpensAndReadsToItsEnd)
{
    const QString path =
        MediaFixtures::amrNb(TestEnvironment::home() + QStringLiteral("/speech.amr"), 150);
    ASSERT_FALSE(path.isEmpty());
    AudioDecoder decoder;
    ASSERT_TRUE(decoder.open(path)) << decoder.errorString().toStdString();
    EXPECT_EQ(decoder.sampleRate(), 8000);
    EXPECT_EQ(decoder.channels(), 1);
    EXPECT_EQ(decoder.totalFrames(), 150 * 160);
    EXPECT_TRUE(decoder.lengthIsExact());
    const Decoded d = readAll(decoder, 1000);
    ASSERT_FALSE(d.failed);
    EXPECT_EQ(d.frames, 150 * 160);
    EXPECT_EQ(d.shortReads, 0);
    EXPECT_EQ(AudioDecoder::probe(path)->totalFrames, 150 * 160);
}

// Blocks that the decoder cannot decode (NO_DATA, sent during silence) keep their
// 20 ms as silence, so the file keeps its length and timing.
TEST(AudioDecoderTest, AmrNoDataBlocksBecomeSilence)
{
    const QString path =
        MediaFixtures::amrNb(TestEnvironment::home() + QStringLiteral("/dtx.amr"), 50, 100);
    ASSERT_FALSE(path.isEmpty());
    AudioDecoder decoder;
    ASSERT_TRUE(decoder.open(path)) << decoder.errorString().toStdString();
    EXPECT_EQ(decoder.totalFrames(), 150 * 160);
    const Decoded d = readAll(decoder);
    ASSERT_EQ(d.frames, 150 * 160);
    for (int64_t i = 50 * 160; i < d.frames; ++i)
        ASSERT_EQ(d.samples[size_t(i)], 0) << "frame " << i;

    ASSERT_TRUE(decoder.seek(120 * 160));
    std::vector<int16_t> buffer(kSlice);
    EXPECT_EQ(decoder.read(buffer.data(), 1000), 1000);
    EXPECT_EQ(decoder.read(buffer.data(), kSlice), 30 * 160 - 1000);
}

TEST(AudioDecoderTest, FileOfOnlyNoDataBlocksIsSilenceOfItsLength)
{
    const QString path =
        MediaFixtures::amrNb(TestEnvironment::home() + QStringLiteral("/quiet.amr"), 0, 25);
    AudioDecoder decoder;
    ASSERT_TRUE(decoder.open(path)) << decoder.errorString().toStdString();
    EXPECT_EQ(decoder.sampleRate(), 8000);
    const Decoded d = readAll(decoder);
    EXPECT_EQ(d.frames, 25 * 160);
}

TEST(AudioDecoderTest, EmptyWaveOpensWithNoFrames)
{
    QUAVER_REQUIRE_FFMPEG();
    const QString path = MediaFixtures::cachedOutput(
        QStringLiteral("empty.wav"),
        {QStringLiteral("-f"), QStringLiteral("lavfi"), QStringLiteral("-i"),
         QStringLiteral("anullsrc=r=44100:cl=stereo"), QStringLiteral("-frames:a"),
         QStringLiteral("0")});
    ASSERT_FALSE(path.isEmpty()) << MediaFixtures::lastError().toStdString();
    AudioDecoder decoder;
    ASSERT_TRUE(decoder.open(path)) << decoder.errorString().toStdString();
    EXPECT_EQ(decoder.totalFrames(), 0);
    EXPECT_EQ(decoder.sampleRate(), 44100);
    int16_t buffer[2 * 16];
    EXPECT_EQ(decoder.read(buffer, 16), 0);
}

TEST(AudioDecoderTest, UnopenedDecoderRefusesToRead)
{
    AudioDecoder decoder;
    int16_t buffer[16];
    EXPECT_FALSE(decoder.isOpen());
    EXPECT_EQ(decoder.read(buffer, 8), -1);
    EXPECT_FALSE(decoder.seek(0));
    EXPECT_FALSE(decoder.open(TestEnvironment::home() + QStringLiteral("/missing.mp3")));
    EXPECT_FALSE(decoder.errorString().isEmpty());
    EXPECT_EQ(decoder.read(buffer, 8), -1);
    EXPECT_FALSE(AudioDecoder::probe(TestEnvironment::home() + QStringLiteral("/missing.mp3")));
}

// A colon in a name is part of the name, not a protocol.
TEST(AudioDecoderTest, OpensNamesThatLookLikeUrls)
{
    QUAVER_REQUIRE_FFMPEG();
    const QString source =
        MediaFixtures::cachedTone(QStringLiteral("tone.wav"), kToneHz, kSeconds, 48000, 2);
    ASSERT_FALSE(source.isEmpty());
    const QString path = TestEnvironment::home() + QStringLiteral("/http:ünïcode #1.wav");
    ASSERT_TRUE(QFile::copy(source, path));
    AudioDecoder decoder;
    ASSERT_TRUE(decoder.open(path)) << decoder.errorString().toStdString();
    EXPECT_EQ(decoder.totalFrames(), int64_t(kSeconds * 48000));
}

// Damaged and mislabelled files: open() refuses them, or reading ends early; never a
// crash, never a hang.
class DamagedFileTest : public testing::Test {
protected:
    QString write(const QString& name, const QByteArray& bytes)
    {
        return TestEnvironment::writeFile(TestEnvironment::home() + QLatin1Char('/') + name, bytes);
    }

    static QByteArray randomBytes(int count, quint32 seed)
    {
        QByteArray bytes(count, '\0');
        QRandomGenerator generator(seed);
        for (char& b : bytes)
            b = char(generator.generate());
        return bytes;
    }

    // Opens and reads to the end under a time bound; returns the frames read, or -1
    // when open() refused the file.
    static int64_t openAndRead(const QString& path)
    {
        QElapsedTimer timer;
        timer.start();
        AudioDecoder decoder;
        if (!decoder.open(path)) {
            EXPECT_FALSE(decoder.errorString().isEmpty());
            return -1;
        }
        EXPECT_GE(decoder.channels(), 1);
        EXPECT_LE(decoder.channels(), 8);
        const Decoded d = readAll(decoder);
        EXPECT_FALSE(d.failed);
        EXPECT_LT(timer.elapsed(), 10000);
        return d.frames;
    }

    QByteArray fixtureBytes(const char *name, int rate, const char *args)
    {
        const QString path = MediaFixtures::cachedTone(QString::fromLatin1(name), kToneHz, kSeconds,
                                                       rate, 2, QString::fromLatin1(args));
        QFile file(path);
        EXPECT_TRUE(file.open(QIODevice::ReadOnly)) << MediaFixtures::lastError().toStdString();
        return file.readAll();
    }
};

TEST_F(DamagedFileTest, ContentsWithoutAudioAreRefused)
{
    QUAVER_REQUIRE_FFMPEG();
    EXPECT_EQ(openAndRead(write(QStringLiteral("empty.mp3"), {})), -1);
    EXPECT_EQ(openAndRead(write(QStringLiteral("noise.mp3"), randomBytes(300000, 7))), -1);
    EXPECT_EQ(openAndRead(write(QStringLiteral("noise.m4a"), randomBytes(5000, 8))), -1);

    const QString png = MediaFixtures::cachedOutput(
        QStringLiteral("cover.png"),
        {QStringLiteral("-f"), QStringLiteral("lavfi"), QStringLiteral("-i"),
         QStringLiteral("color=red:size=32x32"), QStringLiteral("-frames:v"), QStringLiteral("1")});
    ASSERT_FALSE(png.isEmpty()) << MediaFixtures::lastError().toStdString();
    const QString pngAsMp3 = TestEnvironment::home() + QStringLiteral("/cover.mp3");
    ASSERT_TRUE(QFile::copy(png, pngAsMp3));
    EXPECT_EQ(openAndRead(pngAsMp3), -1);

    const QString mpv = MediaFixtures::cachedOutput(
        QStringLiteral("clip.mpv"),
        {QStringLiteral("-f"), QStringLiteral("lavfi"), QStringLiteral("-i"),
         QStringLiteral("testsrc=size=64x48:rate=10:d=1"), QStringLiteral("-c:v"),
         QStringLiteral("mpeg2video"), QStringLiteral("-f"), QStringLiteral("mpeg2video")});
    ASSERT_FALSE(mpv.isEmpty()) << MediaFixtures::lastError().toStdString();
    EXPECT_EQ(openAndRead(mpv), -1);
    EXPECT_FALSE(AudioDecoder::probe(mpv));
}

// Raw PCM has no header to recognise; whatever a demuxer makes of it must end.
TEST_F(DamagedFileTest, RawPcmDoesNotPlayForever)
{
    QByteArray pcm;
    for (int i = 0; i < 44100; ++i) {
        const int16_t v = int16_t(16000 * std::sin(2 * M_PI * 1000 * i / 44100.0));
        pcm.append(reinterpret_cast<const char *>(&v), 2)
            .append(reinterpret_cast<const char *>(&v), 2);
    }
    const int64_t frames = openAndRead(write(QStringLiteral("raw.pcm"), pcm));
    EXPECT_LE(frames, 10 * 44100);
}

TEST_F(DamagedFileTest, TruncatedFilesEndEarly)
{
    QUAVER_REQUIRE_FFMPEG();
    const QByteArray mp3 = fixtureBytes("tone.mp3", 44100, "-b:a 192k");
    const int64_t half = openAndRead(write(QStringLiteral("half.mp3"), mp3.left(mp3.size() / 2)));
    EXPECT_GT(half, int64_t(0.9 * kSeconds * 44100 / 2));
    EXPECT_LT(half, int64_t(1.1 * kSeconds * 44100 / 2));
    EXPECT_LE(openAndRead(write(QStringLiteral("tiny.mp3"), mp3.left(300))), 1152);

    const QByteArray wav = fixtureBytes("tone.wav", 48000, "");
    EXPECT_LE(openAndRead(write(QStringLiteral("header.wav"), wav.left(44))), 0);
    const int64_t wavHalf =
        openAndRead(write(QStringLiteral("half.wav"), wav.left(wav.size() / 2)));
    EXPECT_NEAR(double(wavHalf), kSeconds * 48000 / 2, 100.0);

    // The index of this MP4 is at its end: cut off, nothing is left to play.
    const QByteArray m4a = fixtureBytes("aac.m4a", 44100, "-c:a aac");
    EXPECT_EQ(openAndRead(write(QStringLiteral("half.m4a"), m4a.left(m4a.size() / 2))), -1);
    // Index first, data cut: plays what is there.
    const QString faststart =
        MediaFixtures::cachedTone(QStringLiteral("faststart.m4a"), kToneHz, kSeconds, 44100, 2,
                                  QStringLiteral("-c:a aac -movflags +faststart"));
    QFile file(faststart);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QByteArray fast = file.readAll();
    const int64_t fastHalf =
        openAndRead(write(QStringLiteral("fasthalf.m4a"), fast.left(fast.size() / 2)));
    EXPECT_GT(fastHalf, int64_t(0.8 * kSeconds * 44100 / 2));
    EXPECT_LT(fastHalf, int64_t(1.2 * kSeconds * 44100 / 2));
}

TEST_F(DamagedFileTest, GarbageInMidFileIsSkipped)
{
    QUAVER_REQUIRE_FFMPEG();
    struct Case {
        const char *name;
        int rate;
        const char *args;
    };
    for (const Case& c : {Case{"tone.mp3", 44100, "-b:a 192k"}, Case{"tone.aac", 22050, ""},
                          Case{"aac.m4a", 44100, "-c:a aac"}, Case{"tone.mp2", 48000, ""}}) {
        SCOPED_TRACE(c.name);
        QByteArray bytes = fixtureBytes(c.name, c.rate, c.args);
        ASSERT_GT(bytes.size(), 20000);
        bytes.replace(bytes.size() / 2, 8000, randomBytes(8000, 11));
        const int64_t frames =
            openAndRead(write(QStringLiteral("garbage-") + QLatin1String(c.name), bytes));
        // Most of the file survives; nothing beyond its length appears.
        EXPECT_GT(frames, int64_t(0.5 * kSeconds * c.rate));
        EXPECT_LE(frames, int64_t(kSeconds * c.rate) + 2048);
    }
}

// A file cut short while it plays: reading ends where the data ends.
TEST_F(DamagedFileTest, FileTruncatedWhileReadingEnds)
{
    QUAVER_REQUIRE_FFMPEG();
    const QByteArray mp3 = fixtureBytes("tone.mp3", 44100, "-b:a 192k");
    const QString path = write(QStringLiteral("shrinking.mp3"), mp3);
    AudioDecoder decoder;
    ASSERT_TRUE(decoder.open(path));
    std::vector<int16_t> buffer(size_t(kSlice) * 2);
    ASSERT_EQ(decoder.read(buffer.data(), kSlice), kSlice);
    ASSERT_TRUE(QFile::resize(path, mp3.size() / 3));
    const Decoded d = readAll(decoder);
    EXPECT_LT(kSlice + d.frames, int64_t(0.6 * kSeconds * 44100));
}

} // namespace
