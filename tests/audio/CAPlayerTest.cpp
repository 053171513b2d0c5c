#include "audio/CAPlayer.h"

#include "support/EngineTestSupport.h"
#include "audio/CAPlayerDelegate.h"
#include "audio/EQPresets.h"
#include "audio/EqualiserNode.h"
#include "audio/OfflineAudioOutput.h"
#include "settings/SettingsHelper.h"
#include "settings/SettingsKeys.h"
#include "support/TestEnvironment.h"

#include <QCoreApplication>
#include <cmath>
#include <gtest/gtest.h>

using namespace EngineTest;

namespace {

class Recorder : public CAPlayerDelegate {
public:
    void playerIsPlaying(bool playing) override { playingCalls.push_back(playing); }
    void playerDidFinishPlaying() override
    {
        ++finished;
        if (onFinished)
            onFinished();
    }
    std::vector<bool> playingCalls;
    int finished = 0;
    std::function<void()> onFinished;
};

// An engine on an offline 48 kHz device that the test pulls by hand.
struct Rig {
    explicit Rig(const QString& path, int deviceRate = 48000)
    {
        player = std::make_unique<CAPlayer>(path, [this, deviceRate] {
            ++outputsMade;
            auto out = std::make_unique<OfflineAudioOutput>(deviceRate);
            out->setCapture(true);
            output = out.get();
            return out;
        });
        player->setDelegate(&delegate);
    }
    // Pulls seconds of sound (delivering posted events after each 10 ms).
    std::vector<float> pull(double seconds)
    {
        const size_t before = output->captured().size();
        const int64_t frames = int64_t(seconds * output->sampleRate());
        for (int64_t done = 0; done < frames; done += 480) {
            output->pull(std::min<int64_t>(480, frames - done));
            QCoreApplication::processEvents();
        }
        return {output->captured().begin() + ptrdiff_t(before), output->captured().end()};
    }
    // Pulls until the engine has told the end (at most maxSeconds); returns what
    // was rendered up to the end.
    std::vector<float> pullToEnd(double maxSeconds = 30)
    {
        const size_t before = output->captured().size();
        const int finishedBefore = delegate.finished;
        for (int64_t done = 0; done < int64_t(maxSeconds * output->sampleRate()); done += 480) {
            output->pull(480);
            QCoreApplication::processEvents();
            if (delegate.finished > finishedBefore)
                break;
        }
        return {output->captured().begin() + ptrdiff_t(before), output->captured().end()};
    }

    Recorder delegate;
    OfflineAudioOutput *output = nullptr;
    int outputsMade = 0;
    std::unique_ptr<CAPlayer> player;
};

QString writeWav(const QString& name, const std::vector<int16_t>& samples, int rate,
                 int channels = 1)
{
    return TestEnvironment::writeFile(TestEnvironment::home() + QLatin1Char('/') + name,
                                      wavBytes(samples, rate, channels));
}

// Frames up to the last audible sample.
size_t soundingFrames(const std::vector<float>& stereo)
{
    for (size_t i = stereo.size(); i > 0; --i)
        if (std::abs(stereo[i - 1]) > 1e-3f)
            return (i + 1) / 2;
    return 0;
}

std::vector<int16_t> ramp(int64_t frames)
{
    std::vector<int16_t> s = std::vector<int16_t>(size_t(frames));
    for (size_t i = 0; i < s.size(); ++i)
        s[i] = int16_t(i % 30000);
    return s;
}

} // namespace

TEST(CAPlayer, FreshEngineMeasuresTheFileAndBuildsNothing)
{
    Rig rig(writeWav(QStringLiteral("a.wav"), tone(440, 0.5, 44100, 4 * 44100), 44100));
    CAPlayer& p = *rig.player;
    ASSERT_TRUE(p.isValid()) << p.errorString().toStdString();
    EXPECT_EQ(p.totalFrames(), 4 * 44100);
    EXPECT_EQ(p.duration(), 4.0f);
    EXPECT_EQ(p.getTime(), 0.0f);
    EXPECT_EQ(p.currentProgress(), 0.0f);
    EXPECT_FALSE(p.isPlaying());
    EXPECT_FALSE(p.isPaused());
    EXPECT_EQ(p.volumeLimit(), 1.0f);
    EXPECT_EQ(p.playbackRate(), 0.0f);
    EXPECT_EQ(p.EQPressetId(), 0);
    EXPECT_TRUE(p.EQPressets().isEmpty());
    EXPECT_EQ(rig.outputsMade, 0);

    // Setters before prepare only store; the graph then starts from its defaults.
    p.volumeLimit(0.2f);
    p.playbackRate(2.0f);
    EXPECT_EQ(p.volumeLimit(), 0.2f);
    p.prepareToPlay();
    EXPECT_EQ(rig.outputsMade, 1);
    EXPECT_EQ(p.deviceSampleRate(), 48000);
    EXPECT_EQ(p.EQPressets(), EQPresets::names());
    EXPECT_EQ(p.EQPressets().first(), QStringLiteral("Flat"));
    EXPECT_EQ(p.EQPressets().size(), 22);
    p.play();
    const std::vector<float> left = channel(rig.pull(0.5), 0);
    EXPECT_NEAR(zeroCrossingHz(left, 48000, 2400, left.size()), 440.0, 0.5) << "rate 1";
    EXPECT_NEAR(rms(left, 2400), 0.5 / std::sqrt(2.0), 0.01) << "volume 1";

    p.prepareToPlay(); // a second prepare changes nothing
    EXPECT_EQ(rig.outputsMade, 1);
}

TEST(CAPlayer, AFileThatFailsToOpenReportsItselfFinishedOnce)
{
    Rig rig(TestEnvironment::writeFile(TestEnvironment::home() + QStringLiteral("/bad.mp3"),
                                       QByteArray(4000, 'x')));
    CAPlayer& p = *rig.player;
    EXPECT_FALSE(p.isValid());
    EXPECT_FALSE(p.errorString().isEmpty());
    p.prepareToPlay();
    EXPECT_FALSE(p.isGraphInitialized());
    EXPECT_EQ(rig.outputsMade, 0);
    p.pause();
    p.stop();
    p.setTime(3);
    EXPECT_EQ(p.getTime(), 0.0f);
    p.play();
    p.play();
    EXPECT_EQ(rig.delegate.finished, 0) << "posted, not sent from inside play()";
    QCoreApplication::processEvents();
    EXPECT_EQ(rig.delegate.finished, 1);
    EXPECT_TRUE(rig.delegate.playingCalls.empty());
    EXPECT_FALSE(p.isPlaying());
}

TEST(CAPlayer, TransportFlagsAndDelegateCallsFollowTheStateTable)
{
    Rig rig(writeWav(QStringLiteral("t.wav"), tone(440, 0.5, 48000, 48000), 48000));
    CAPlayer& p = *rig.player;
    p.pause();
    p.stop();
    EXPECT_TRUE(rig.delegate.playingCalls.empty()) << "nothing on an unprepared engine";
    EXPECT_FALSE(p.isPaused());

    p.play();
    EXPECT_TRUE(p.isPlaying());
    rig.pull(0.25);
    p.pause();
    EXPECT_TRUE(p.isPaused());
    EXPECT_FALSE(p.isPlaying());
    const float pausedAt = p.getTime();
    EXPECT_NEAR(pausedAt, 0.25f, 0.01f);
    EXPECT_TRUE(rig.pull(0.1).empty()) << "a paused output renders nothing";
    EXPECT_EQ(p.getTime(), pausedAt);

    p.play();
    EXPECT_TRUE(p.isPaused()) << "stays set while playing again";
    EXPECT_TRUE(p.isPlaying());
    rig.pull(0.25);
    EXPECT_NEAR(p.getTime(), 0.5f, 0.01f) << "resumed where it paused";
    p.stop();
    EXPECT_FALSE(p.isPaused());
    EXPECT_FALSE(p.isPlaying());
    EXPECT_NEAR(p.getTime(), 0.5f, 0.01f) << "stop keeps the position";
    EXPECT_EQ(rig.delegate.playingCalls, (std::vector<bool>{true, false, true, false}));

    rig.player.reset();
    EXPECT_EQ(rig.delegate.playingCalls.back(), false);
    EXPECT_EQ(rig.delegate.playingCalls.size(), 5u) << "teardown of a prepared engine says NO";
}

TEST(CAPlayer, DestroyingAnUnpreparedEngineSaysNothing)
{
    Rig rig(writeWav(QStringLiteral("u.wav"), tone(440, 0.5, 48000, 480), 48000));
    rig.player.reset();
    EXPECT_TRUE(rig.delegate.playingCalls.empty());
}

TEST(CAPlayer, VolumeLimitScalesTheLevelWithinZeroToOne)
{
    Rig rig(writeWav(QStringLiteral("v.wav"), tone(1000, 0.8, 48000, 4 * 48000), 48000));
    CAPlayer& p = *rig.player;
    p.play();
    auto level = [&] {
        const std::vector<float> left = channel(rig.pull(0.2), 0);
        return rms(left, 480); // after the 10 ms ramp
    };
    const double full = level();
    EXPECT_NEAR(full, 0.8 / std::sqrt(2.0), 0.01);
    p.volumeLimit(0.5f);
    EXPECT_NEAR(level() / full, 0.5, 0.001);
    p.volumeLimit(1.7f);
    EXPECT_EQ(p.volumeLimit(), 1.7f);
    EXPECT_NEAR(level() / full, 1.0, 0.001);
    p.volumeLimit(-0.2f);
    EXPECT_EQ(p.volumeLimit(), -0.2f);
    EXPECT_EQ(level(), 0.0);
}

TEST(CAPlayer, PlaybackRateChangesTempoAndPitchWithinHalfToDouble)
{
    const QString path = writeWav(QStringLiteral("r.wav"), tone(500, 0.5, 44100, 4 * 44100), 44100);
    struct Case {
        float rate;
        double seconds; // how long the 4-second file lasts
        double hz;
    };
    for (const Case c : {Case{2.0f, 2.0, 1000}, Case{0.3f, 8.0, 250}, Case{2.5f, 2.0, 1000}}) {
        Rig rig(path);
        CAPlayer& p = *rig.player;
        p.prepareToPlay();
        p.playbackRate(c.rate);
        EXPECT_EQ(p.playbackRate(), c.rate);
        p.play();
        const std::vector<float> out = rig.pullToEnd(12);
        EXPECT_EQ(rig.delegate.finished, 1) << c.rate;
        EXPECT_NEAR(double(soundingFrames(out)) / 48000.0, c.seconds, 0.005) << c.rate;
        const std::vector<float> left = channel(out, 0);
        EXPECT_NEAR(zeroCrossingHz(left, 48000, 4800, 48000), c.hz, 0.5) << c.rate;
    }
}

TEST(CAPlayer, EqualiserPresetsShapeTheSound)
{
    // 60 Hz and 4 kHz at once.
    std::vector<int16_t> s = std::vector<int16_t>(size_t(2 * 48000));
    for (size_t i = 0; i < s.size(); ++i)
        s[i] = int16_t(std::lround(8000 * (std::sin(2 * M_PI * 60 * double(i) / 48000) +
                                           std::sin(2 * M_PI * 4000 * double(i) / 48000))));
    const QString path = writeWav(QStringLiteral("eq.wav"), s, 48000);
    auto levels = [&](int preset, std::vector<float> *raw = nullptr) {
        Rig rig(path);
        rig.player->prepareToPlay();
        testing::internal::CaptureStderr();
        rig.player->pressetId(preset);
        const std::string printed = testing::internal::GetCapturedStderr();
        EXPECT_EQ(printed, EQPresets::name(preset).toStdString() + "\n");
        rig.player->play();
        const std::vector<float> out = rig.pull(1.0);
        if (raw)
            *raw = out;
        const std::vector<float> left = channel(out, 0);
        return std::make_pair(toneAmplitude(left, 60, 48000, 24000, 48000),
                              toneAmplitude(left, 4000, 48000, 24000, 48000));
    };
    std::vector<float> flatOut;
    const auto flat = levels(EQPresets::indexOf(QStringLiteral("Flat")), &flatOut);
    for (size_t i = 0; i < flatOut.size(); i += 2)
        ASSERT_EQ(flatOut[i], s[i / 2] / 32768.0f) << "Flat leaves the signal as it is";
    const auto bass = levels(EQPresets::indexOf(QStringLiteral("Bass Booster")));
    const double lift = toDb(bass.first / flat.first) - toDb(bass.second / flat.second);
    EXPECT_NEAR(lift, 4.5, 0.8) << "60 Hz against 4 kHz";
    EXPECT_LT(bass.first, 1.0) << "the pre-gain keeps the boost below full scale";
}

TEST(CAPlayer, PresetIndexOutsideTheListIsKeptButNotApplied)
{
    Rig rig(writeWav(QStringLiteral("o.wav"), tone(4000, 0.5, 48000, 48000), 48000));
    CAPlayer& p = *rig.player;
    p.prepareToPlay();
    const int treble = EQPresets::indexOf(QStringLiteral("Treble Reducer"));
    testing::internal::CaptureStderr();
    p.pressetId(treble);
    p.pressetId(99);
    p.pressetId(-1);
    const std::string printed = testing::internal::GetCapturedStderr();
    EXPECT_EQ(printed, "Treble Reducer\n");
    EXPECT_EQ(p.EQPressetId(), -1);
    p.play();
    const std::vector<float> left = channel(rig.pull(0.5), 0);
    EXPECT_LT(toDb(rms(left, 12000) / (0.5 / std::sqrt(2.0))), -3.0)
        << "the last valid preset still applies";
}

TEST(CAPlayer, SetTimeMovesToTheFrameAndIsClampedToTheFile)
{
    Rig rig(writeWav(QStringLiteral("s.wav"), ramp(2 * 48000), 48000));
    CAPlayer& p = *rig.player;
    p.setTime(0.5f); // before prepare: straight to the decoder
    EXPECT_EQ(p.currentFrame(), 24000);
    p.play();
    rig.pull(0.1);
    p.setTime(1.5f);
    EXPECT_EQ(p.getTime(), 1.5f) << "the target shows while the seek waits";
    EXPECT_EQ(p.currentFrame(), 72000);
    const std::vector<float> after = rig.pull(0.01);
    EXPECT_EQ(after[0], float(72000 % 30000) / 32768.0f) << "resumes at that sample";
    EXPECT_EQ(p.currentFrame(), 72480);

    p.setTime(-3.0f);
    EXPECT_EQ(p.currentFrame(), 0);
    EXPECT_EQ(rig.pull(0.01)[0], 0.0f);

    p.setTime(100.0f);
    EXPECT_EQ(p.currentFrame(), 2 * 48000);
    EXPECT_FLOAT_EQ(p.currentProgress(), 1.0f);
    rig.pullToEnd(1);
    EXPECT_EQ(rig.delegate.finished, 1) << "past the end ends the file";
    EXPECT_EQ(p.getTime(), 0.0f);
}

TEST(CAPlayer, EndOfFileIsToldOnceRewindsAndPlaysAgain)
{
    Rig rig(writeWav(QStringLiteral("e.wav"), ramp(48000), 48000));
    CAPlayer& p = *rig.player;
    p.play();
    rig.pull(0.5);
    EXPECT_EQ(p.getTime(), 0.5f) << "half the duration halfway";
    EXPECT_EQ(p.currentProgress(), 0.5f);
    rig.pullToEnd(2);
    EXPECT_EQ(rig.delegate.finished, 1);
    EXPECT_TRUE(p.isPlaying()) << "the owner decides what comes next";
    EXPECT_EQ(p.getTime(), 0.0f);
    EXPECT_TRUE(rig.pull(0.5).empty()) << "the graph has stopped";
    EXPECT_EQ(rig.delegate.finished, 1);

    p.play();
    const std::vector<float> again = rig.pull(0.01);
    ASSERT_FALSE(again.empty());
    EXPECT_EQ(again[0], 0.0f);
    EXPECT_EQ(again[2], 1 / 32768.0f) << "from the first sample";
    rig.pullToEnd(2);
    EXPECT_EQ(rig.delegate.finished, 2);
}

TEST(CAPlayer, AnEmptyFileEndsAtOnce)
{
    Rig rig(writeWav(QStringLiteral("z.wav"), {}, 44100));
    CAPlayer& p = *rig.player;
    ASSERT_TRUE(p.isValid());
    EXPECT_EQ(p.duration(), 0.0f);
    p.setTime(1.0f);
    EXPECT_EQ(p.getTime(), 0.0f);
    p.play();
    rig.pullToEnd(1);
    EXPECT_EQ(rig.delegate.finished, 1);
    EXPECT_LE(rig.output->framesRendered(), 480);
}

TEST(CAPlayer, AnEndPostedToAnEngineDestroyedMeanwhileIsDropped)
{
    Rig rig(writeWav(QStringLiteral("d.wav"), tone(440, 0.5, 48000, 100), 48000));
    rig.player->play();
    rig.output->pull(480); // ends; the notice is posted
    rig.player.reset();
    QCoreApplication::processEvents();
    EXPECT_EQ(rig.delegate.finished, 0);
}

TEST(CAPlayer, TheOwnerMayDestroyTheEngineFromTheEndNotice)
{
    Rig rig(writeWav(QStringLiteral("f.wav"), tone(440, 0.5, 48000, 100), 48000));
    rig.delegate.onFinished = [&] { rig.player.reset(); };
    rig.player->play();
    rig.output->pull(480);
    QCoreApplication::processEvents();
    EXPECT_EQ(rig.delegate.finished, 1);
    EXPECT_EQ(rig.player, nullptr);
}

TEST(CAPlayer, MonoAndFivePointOneComeOutStereo)
{
    Rig mono(writeWav(QStringLiteral("m.wav"), tone(440, 0.5, 48000, 4800), 48000, 1));
    mono.player->play();
    const std::vector<float> m = mono.pull(0.05);
    EXPECT_EQ(channel(m, 0), channel(m, 1));
    EXPECT_NEAR(rms(channel(m, 0)), 0.5 / std::sqrt(2.0), 0.01);

    // Front left only, then centre only.
    std::vector<int16_t> six(size_t(4800 * 6));
    const std::vector<int16_t> t = tone(440, 0.5, 48000, 4800);
    for (size_t i = 0; i < 4800; ++i)
        six[6 * i] = t[i];
    Rig fl(writeWav(QStringLiteral("fl.wav"), six, 48000, 6));
    fl.player->play();
    const std::vector<float> f = fl.pull(0.05);
    EXPECT_GT(rms(channel(f, 0)), 0.1);
    EXPECT_EQ(rms(channel(f, 1)), 0.0);
    for (size_t i = 0; i < 4800; ++i)
        six[6 * i] = 0, six[6 * i + 2] = t[i];
    Rig c(writeWav(QStringLiteral("c.wav"), six, 48000, 6));
    c.player->play();
    const std::vector<float> cc = c.pull(0.05);
    EXPECT_EQ(channel(cc, 0), channel(cc, 1));
    EXPECT_NEAR(rms(channel(cc, 0)) / rms(channel(f, 0)), 0.7071, 0.001);
}

TEST(CAPlayer, StoredSettingsApplyAtPrepare)
{
    const QString path =
        writeWav(QStringLiteral("p.wav"), tone(1000, 0.5, 44100, 2 * 44100), 44100);
    SettingsHelper::setSettings(SettingsKeys::EQ, EQPresets::indexOf(QStringLiteral("Rock")));
    SettingsHelper::setSettings(SettingsKeys::VolumeLimit, 0.5);
    SettingsHelper::setSettings(SettingsKeys::PlaybackRate, 1.5);
    Rig rig(path);
    CAPlayer& p = *rig.player;
    testing::internal::CaptureStderr();
    p.prepareToPlay();
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "Rock\n");
    EXPECT_EQ(p.EQPressetId(), EQPresets::indexOf(QStringLiteral("Rock")));
    EXPECT_EQ(p.volumeLimit(), 0.5f);
    EXPECT_EQ(p.playbackRate(), 1.5f);
    p.play();
    const std::vector<float> left = channel(rig.pull(0.5), 0);
    EXPECT_NEAR(zeroCrossingHz(left, 48000, 4800, left.size()), 1500.0, 0.5);
    const int rock = EQPresets::indexOf(QStringLiteral("Rock"));
    const double rockDb = EqualiserNode::responseDb(
        EqualiserNode::design(EQPresets::gains(rock), 48000), 1500, 48000);
    EXPECT_NEAR(toneAmplitude(left, 1500, 48000, 4800, left.size()),
                0.5 * 0.5 * std::pow(10.0, rockDb / 20), 0.002)
        << "half volume through Rock";
}

TEST(CAPlayer, DamagedOrMissingSettingsFallBackToDefaults)
{
    const QString path = writeWav(QStringLiteral("q.wav"), tone(1000, 0.5, 48000, 48000), 48000);
    {
        Rig rig(path); // no settings dictionary at all: nothing is applied
        rig.player->prepareToPlay();
        EXPECT_EQ(rig.player->volumeLimit(), 1.0f);
        EXPECT_EQ(rig.player->playbackRate(), 0.0f);
        EXPECT_EQ(rig.player->EQPressetId(), 0);
    }
    const QVariantList badEq = {99, -1, QStringLiteral("Rock"), 2.5, true};
    const QVariantList badVolume = {3.0, -0.5, QStringLiteral("loud"), qQNaN(), QVariantList{}};
    const QVariantList badRate = {7.0, 0.1, QStringLiteral("fast"), qInf(), QVariantMap{}};
    for (int i = 0; i < badEq.size(); ++i) {
        SettingsHelper::setSettings(SettingsKeys::EQ, badEq[i]);
        SettingsHelper::setSettings(SettingsKeys::VolumeLimit, badVolume[i]);
        SettingsHelper::setSettings(SettingsKeys::PlaybackRate, badRate[i]);
        Rig rig(path);
        testing::internal::CaptureStderr();
        rig.player->prepareToPlay();
        EXPECT_EQ(testing::internal::GetCapturedStderr(), "") << "no preset set, case " << i;
        EXPECT_EQ(rig.player->EQPressetId(), 0) << i;
        EXPECT_EQ(rig.player->volumeLimit(), 1.0f) << i;
        EXPECT_EQ(rig.player->playbackRate(), 1.0f) << i;
        rig.player->play();
        const std::vector<float> left = channel(rig.pull(0.2), 0);
        EXPECT_NEAR(zeroCrossingHz(left, 48000, 0, left.size()), 1000.0, 0.5) << i;
        EXPECT_NEAR(rms(left), 0.5 / std::sqrt(2.0), 0.005) << i;
    }
}
