#include "audio/CAPlayer.h"

#include "audio/CAPlayerDelegate.h"
#include "audio/EQPresets.h"
#include "audio/EqualiserNode.h"
#include "audio/OfflineAudioOutput.h"
#include "settings/SettingsHelper.h"
#include "settings/SettingsKeys.h"
#include "support/EngineTestSupport.h"
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
    explicit Rig(const QString& path)
    {
        player = std::make_unique<CAPlayer>(path, [this] {
            ++outputsMade;
            auto out = std::make_unique<OfflineAudioOutput>(48000);
            out->setCapture(true);
            output = out.get();
            return out;
        });
        player->setDelegate(&delegate);
    }
    // Pulls seconds of sound, or up to the end notice when toEnd (delivering posted
    // events after each 10 ms); returns what was rendered.
    std::vector<float> pull(double seconds, bool toEnd = false)
    {
        const size_t before = output->captured().size();
        const int finishedBefore = delegate.finished;
        for (int64_t done = 0; done < int64_t(seconds * 48000); done += 480) {
            output->pull(std::min<int64_t>(480, int64_t(seconds * 48000) - done));
            QCoreApplication::processEvents();
            if (toEnd && delegate.finished > finishedBefore)
                break;
        }
        return {output->captured().begin() + ptrdiff_t(before), output->captured().end()};
    }

    Recorder delegate;
    OfflineAudioOutput *output = nullptr;
    int outputsMade = 0;
    std::unique_ptr<CAPlayer> player;
};

QString writeWav(const QString& name, const std::vector<int16_t>& samples, int rate)
{
    return TestEnvironment::writeFile(TestEnvironment::home() + QLatin1Char('/') + name,
                                      wavBytes(samples, rate, 1));
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
    std::vector<int16_t> s(static_cast<size_t>(frames));
    for (size_t i = 0; i < s.size(); ++i)
        s[i] = int16_t(i % 30000);
    return s;
}

} // namespace

TEST(CAPlayer, PrepareBuildsTheGraphOnceFromTheStoredSettingsNotTheSetters)
{
    Rig rig(writeWav(QStringLiteral("a.wav"), tone(440, 0.5, 44100, 4 * 44100), 44100));
    CAPlayer& p = *rig.player;
    ASSERT_TRUE(p.isValid()) << p.errorString().toStdString();
    EXPECT_EQ(p.totalFrames(), 4 * 44100);
    EXPECT_EQ(p.duration(), 4.0f);
    EXPECT_TRUE(p.EQPressets().isEmpty());
    EXPECT_EQ(rig.outputsMade, 0);

    // Setters before prepare only store; with nothing stored the graph starts flat.
    p.volumeLimit(0.2f);
    p.playbackRate(2.0f);
    EXPECT_EQ(p.volumeLimit(), 0.2f);
    p.prepareToPlay();
    p.prepareToPlay();
    EXPECT_EQ(rig.outputsMade, 1);
    EXPECT_EQ(p.EQPressets(), EQPresets::names());
    p.play();
    const std::vector<float> out = rig.pull(0.5);
    const std::vector<float> left = channel(out, 0);
    EXPECT_EQ(left, channel(out, 1)) << "mono on both sides";
    EXPECT_NEAR(zeroCrossingHz(left, 48000, 2400, left.size()), 440.0, 0.5) << "rate 1";
    EXPECT_NEAR(rms(left, 2400), 0.5 / std::sqrt(2.0), 0.01) << "volume 1";
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
    const QString path = writeWav(QStringLiteral("t.wav"), tone(440, 0.5, 48000, 48000), 48000);
    Rig rig(path);
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
    EXPECT_EQ(rig.delegate.playingCalls.size(), 5u) << "teardown of a prepared engine says NO";
    EXPECT_EQ(rig.delegate.playingCalls.back(), false);
    Rig unprepared(path);
    unprepared.player.reset();
    EXPECT_TRUE(unprepared.delegate.playingCalls.empty());
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
        const std::vector<float> out = rig.pull(12, true);
        EXPECT_EQ(rig.delegate.finished, 1) << c.rate;
        EXPECT_NEAR(double(soundingFrames(out)) / 48000.0, c.seconds, 0.005) << c.rate;
        const std::vector<float> left = channel(out, 0);
        EXPECT_NEAR(zeroCrossingHz(left, 48000, 4800, 48000), c.hz, 0.5) << c.rate;
    }
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
    rig.pull(1, true);
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
    EXPECT_EQ(soundingFrames(rig.pull(2, true)), 24000u) << "the rest of the last slice is silent";
    EXPECT_EQ(rig.delegate.finished, 1);
    EXPECT_TRUE(p.isPlaying()) << "the owner decides what comes next";
    EXPECT_EQ(p.getTime(), 0.0f);
    EXPECT_TRUE(rig.pull(0.5).empty()) << "the graph has stopped";
    EXPECT_EQ(rig.delegate.finished, 1);

    p.play();
    const std::vector<float> again = rig.pull(0.01);
    ASSERT_FALSE(again.empty());
    EXPECT_EQ(again[2], 1 / 32768.0f) << "from the first sample";
    rig.pull(2, true);
    EXPECT_EQ(rig.delegate.finished, 2);

    Rig empty(writeWav(QStringLiteral("z.wav"), {}, 44100));
    ASSERT_TRUE(empty.player->isValid());
    EXPECT_EQ(empty.player->duration(), 0.0f);
    empty.player->play();
    empty.pull(1, true);
    EXPECT_EQ(empty.delegate.finished, 1) << "an empty file ends at once";
    EXPECT_LE(empty.output->framesRendered(), 480);
}

// The end notice is posted from the render thread; the engine may be gone when it
// arrives, or go away inside it.
TEST(CAPlayer, TheEndNoticeOutlivesItsEngineSafely)
{
    const QString path = writeWav(QStringLiteral("d.wav"), tone(440, 0.5, 48000, 100), 48000);
    Rig gone(path);
    gone.player->play();
    gone.output->pull(480);
    gone.player.reset();
    QCoreApplication::processEvents();
    EXPECT_EQ(gone.delegate.finished, 0);

    Rig rig(path);
    rig.delegate.onFinished = [&] { rig.player.reset(); };
    rig.player->play();
    rig.output->pull(480);
    QCoreApplication::processEvents();
    EXPECT_EQ(rig.delegate.finished, 1);
    EXPECT_EQ(rig.player, nullptr);
}

TEST(CAPlayer, StoredSettingsApplyAtPrepareAndUnknownPresetsChangeNothing)
{
    const QString path =
        writeWav(QStringLiteral("p.wav"), tone(1000, 0.5, 44100, 2 * 44100), 44100);
    const int rock = EQPresets::indexOf(QStringLiteral("Rock"));
    SettingsHelper::setSettings(SettingsKeys::EQ, rock);
    SettingsHelper::setSettings(SettingsKeys::VolumeLimit, 0.5);
    SettingsHelper::setSettings(SettingsKeys::PlaybackRate, 1.5);
    Rig rig(path);
    CAPlayer& p = *rig.player;
    testing::internal::CaptureStderr();
    p.prepareToPlay();
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "Rock\n") << "a preset names itself";
    EXPECT_EQ(p.EQPressetId(), rock);
    EXPECT_EQ(p.volumeLimit(), 0.5f);
    EXPECT_EQ(p.playbackRate(), 1.5f);
    // An index outside the list is kept but not applied: Rock still sounds.
    testing::internal::CaptureStderr();
    p.pressetId(99);
    p.pressetId(-1);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
    EXPECT_EQ(p.EQPressetId(), -1);
    p.play();
    const std::vector<float> left = channel(rig.pull(0.5), 0);
    EXPECT_NEAR(zeroCrossingHz(left, 48000, 4800, left.size()), 1500.0, 0.5);
    const double rockDb = EqualiserNode::responseDb(
        EqualiserNode::design(EQPresets::gains(rock), 48000), 1500, 48000);
    EXPECT_NEAR(toneAmplitude(left, 1500, 48000, 4800, left.size()),
                0.5 * 0.5 * std::pow(10.0, rockDb / 20), 0.002)
        << "half volume through Rock";
}

TEST(CAPlayer, DamagedSettingsFallBackToDefaults)
{
    const QString path = writeWav(QStringLiteral("q.wav"), tone(1000, 0.5, 48000, 48000), 48000);
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
    }
}
