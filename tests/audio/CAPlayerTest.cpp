#include "audio/CAPlayer.h"

#include "audio/AudioDecoder.h"
#include "audio/EQPresets.h"
#include "audio/EqualiserNode.h"
#include "audio/OfflineAudioOutput.h"
#include "services/EffectSettingsStore.h"
#include "services/SettingsHelper.h"
#include "services/SettingsKeys.h"
#include "support/EngineTestSupport.h"
#include "support/MediaFixtures.h"
#include "support/TestEnvironment.h"

#include <QCoreApplication>
#include <cmath>
#include <gtest/gtest.h>

using namespace EngineTest;

namespace {

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

    DelegateRecorder delegate;
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
        p.play();
        const std::vector<float> out = rig.pull(12, true);
        EXPECT_EQ(rig.delegate.finished, 1) << c.rate;
        EXPECT_NEAR(double(soundingFrames(out)) / 48000.0, c.seconds, 0.005) << c.rate;
        EXPECT_NEAR(zeroCrossingHz(channel(out, 0), 48000, 4800, 48000), c.hz, 0.5) << c.rate;
    }
}

// With the pitch kept, a rate of 1.5 plays a 440 Hz tone at 440 Hz in two thirds of
// the time, the time shown follows what is heard (not what the stretcher has taken
// in), a rate change while playing leaves no gap and no click, and a seek starts
// afresh at the new place.
TEST(CAPlayer, KeepPitchPlaysTheRateAsTempoAtTheSamePitch)
{
    const QString path = writeWav(QStringLiteral("k.wav"), tone(440, 0.5, 44100, 3 * 44100), 44100);
    Rig rig(path);
    CAPlayer& p = *rig.player;
    EffectSettings effects;
    effects.playbackRate = 1.5f;
    effects.keepPitch = true;
    p.prepareToPlay(effects);
    p.play();
    const std::vector<float> head = rig.pull(1.0);
    EXPECT_NEAR(p.getTime(), 1.5, 0.005) << "a second heard at 1.5 is 1.5 s of the file";
    const std::vector<float> out = rig.pull(3, true);
    EXPECT_EQ(rig.delegate.finished, 1);
    EXPECT_NEAR(double(head.size() / 2 + soundingFrames(out)) / 48000.0, 2.0, 0.005);
    EXPECT_NEAR(zeroCrossingHz(channel(head, 0), 48000, 4800, head.size() / 2), 440.0, 0.5);

    p.playbackRate(1.0f);
    p.setTime(1.0f);
    EXPECT_NEAR(p.getTime(), 1.0, 1e-6);
    p.play();
    std::vector<float> changed = channel(rig.pull(0.5), 0);
    p.playbackRate(2.0f);
    const std::vector<float> faster = channel(rig.pull(0.5), 0);
    // What the stretcher had made at the old tempo still plays at the change.
    EXPECT_NEAR(p.getTime(), 1.5 + 0.5 * 2.0, 0.04);
    changed.insert(changed.end(), faster.begin(), faster.end());
    EXPECT_NEAR(zeroCrossingHz(changed, 48000, 0, changed.size()), 440.0, 0.5);
    // A sine of amplitude 0.5 at 440 Hz moves at most 0.029 from one 48 kHz sample
    // to the next; a gap or a click moves far more, and a gap is quiet for a while.
    float step = 0, quietest = 1;
    for (size_t i = 1; i < changed.size(); ++i)
        step = std::max(step, std::abs(changed[i] - changed[i - 1]));
    for (size_t i = 0; i + 240 <= changed.size(); i += 240)
        quietest = std::min(quietest, float(rms(changed, i, i + 240)));
    EXPECT_LT(step, 0.04f);
    EXPECT_GT(quietest, 0.3f);
}

// Off, the switch leaves no trace: after playing with the pitch kept and turning it
// off, the file plays sample for sample as on an engine that never had it on.
TEST(CAPlayer, KeepPitchOffRendersExactlyAsVarispeed)
{
    const QString path = writeWav(QStringLiteral("v.wav"), tone(440, 0.5, 44100, 44100 / 2), 44100);
    Rig plain(path), used(path);
    EffectSettings effects;
    effects.playbackRate = 1.5f;
    plain.player->prepareToPlay(effects);
    effects.keepPitch = true;
    used.player->prepareToPlay(effects);
    used.player->play();
    used.pull(0.2);
    used.player->keepPitch(false);
    used.player->setTime(0);
    plain.player->play();
    const std::vector<float> want = plain.pull(1, true);
    const std::vector<float> got = used.pull(1, true);
    ASSERT_EQ(got.size(), want.size());
    EXPECT_TRUE(got == want);
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
    const std::vector<float> after = rig.pull(0.01);
    EXPECT_EQ(after[0], float(72000 % 30000) / 32768.0f) << "resumes at that sample";
    EXPECT_EQ(p.currentFrame(), 72480);

    p.setTime(-3.0f);
    EXPECT_EQ(p.currentFrame(), 0);
    EXPECT_EQ(rig.pull(0.01)[0], 0.0f);

    p.setTime(100.0f);
    EXPECT_EQ(p.currentFrame(), 2 * 48000);
    rig.pull(1, true);
    EXPECT_EQ(rig.delegate.finished, 1) << "past the end ends the file";
}

// Pause holds the position and renders nothing; stop keeps the position; the
// delegate hears each change once. The end is told once (posted from the render
// thread), the engine rewinds and plays again on request, and says NO when it goes;
// an empty file ends at once, and a file that fails to open is told finished once,
// posted (never from inside play()) with no output made; the notice is safe when
// the engine is gone before it arrives, or goes away inside it.
TEST(CAPlayer, TransportHoldsThePositionAndTheEndIsToldOnceRewindsAndPlaysAgain)
{
    const QString path = writeWav(QStringLiteral("e.wav"), ramp(48000), 48000);
    Rig rig(path);
    CAPlayer& p = *rig.player;
    p.play();
    rig.pull(0.25);
    p.pause();
    EXPECT_EQ(std::pair(p.isPaused(), p.isPlaying()), std::pair(true, false));
    EXPECT_TRUE(rig.pull(0.1).empty()) << "a paused output renders nothing";
    EXPECT_NEAR(p.getTime(), 0.25f, 0.01f);
    p.play();
    rig.pull(0.25);
    p.stop();
    EXPECT_EQ(std::pair(p.isPaused(), p.isPlaying()), std::pair(false, false));
    EXPECT_EQ(p.currentProgress(), 0.5f) << "resumed where it paused, kept by stop";
    EXPECT_EQ(rig.delegate.playingCalls, (std::vector<bool>{true, false, true, false}));
    p.play();
    EXPECT_EQ(soundingFrames(rig.pull(2, true)), 24000u) << "the rest of the last slice is silent";
    EXPECT_EQ(rig.delegate.finished, 1);
    EXPECT_EQ(p.getTime(), 0.0f);
    EXPECT_TRUE(rig.pull(0.5).empty()) << "the graph has stopped";
    p.play();
    EXPECT_EQ(rig.pull(0.01).at(2), 1 / 32768.0f) << "from the first sample";
    rig.pull(2, true);
    EXPECT_EQ(rig.delegate.finished, 2);
    const size_t calls = rig.delegate.playingCalls.size();
    rig.player.reset();
    EXPECT_EQ(rig.delegate.playingCalls.size(), calls + 1);
    EXPECT_FALSE(rig.delegate.playingCalls.back());

    Rig empty(writeWav(QStringLiteral("z.wav"), {}, 44100));
    empty.player->play();
    empty.pull(1, true);
    EXPECT_EQ(empty.delegate.finished, 1);
    EXPECT_LE(empty.output->framesRendered(), 480);
    Rig bad(TestEnvironment::writeFile(TestEnvironment::home() + QStringLiteral("/bad.mp3"),
                                       QByteArray(4000, 'x')));
    EXPECT_FALSE(bad.player->isValid());
    bad.player->play();
    bad.player->play();
    EXPECT_EQ(bad.delegate.finished, 0) << "posted, not sent from inside play()";
    QCoreApplication::processEvents();
    EXPECT_EQ(std::tuple(bad.delegate.finished, bad.outputsMade, bad.delegate.playingCalls.size()),
              std::tuple(1, 0, size_t(0)));

    Rig gone(path);
    gone.player->play();
    gone.output->pull(49000);
    gone.player.reset();
    QCoreApplication::processEvents();
    EXPECT_EQ(gone.delegate.finished, 0);
    Rig inside(path);
    inside.delegate.onFinished = [&] { inside.player.reset(); };
    inside.player->play();
    inside.output->pull(49000);
    QCoreApplication::processEvents();
    EXPECT_EQ(inside.delegate.finished, 1);
    EXPECT_EQ(inside.player, nullptr);
}

TEST(CAPlayer, PrepareAppliesTheStoredSettingsGivenOnceAndDamagedOnesFallBack)
{
    const QString path =
        writeWav(QStringLiteral("p.wav"), tone(1000, 0.5, 44100, 2 * 44100), 44100);
    const int rock = EQPresets::indexOf(QStringLiteral("Rock"));
    const struct {
        QVariant eq, volume, rate, replayGain, keepPitch; // an invalid keepPitch: none stored
        int eqId;
        float wantVolume, wantRate;
        ReplayGain::Mode wantReplayGain;
        bool wantKeepPitch;
    } cases[] = {{99, 3.0, 7.0, 3, {}, 0, 1.0f, 1.0f, ReplayGain::Mode::Off, false},
                 {QStringLiteral("Rock"), QStringLiteral("loud"), qInf(), QStringLiteral("Album"),
                  QStringLiteral("yes"), 0, 1.0f, 1.0f, ReplayGain::Mode::Off, false},
                 {2.5, qQNaN(), 0.1, -1, true, 0, 1.0f, 1.0f, ReplayGain::Mode::Off, true},
                 {rock, 0.5, 1.5, 2, false, rock, 0.5f, 1.5f, ReplayGain::Mode::Album,
                  false}}; // the last stays stored
    for (const auto& c : cases) {
        SCOPED_TRACE(c.eq.toString().toStdString());
        SettingsHelper::setSettings(SettingsKeys::EQ, c.eq);
        SettingsHelper::setSettings(SettingsKeys::VolumeLimit, c.volume);
        SettingsHelper::setSettings(SettingsKeys::PlaybackRate, c.rate);
        SettingsHelper::setSettings(SettingsKeys::ReplayGain, c.replayGain);
        if (c.keepPitch.isValid())
            SettingsHelper::setSettings(SettingsKeys::KeepPitch, c.keepPitch);
        Rig rig(path);
        CAPlayer& p = *rig.player;
        p.volumeLimit(0.2f);
        p.playbackRate(2.0f);
        p.replayGain(ReplayGain::Mode::Track);
        p.keepPitch(!c.wantKeepPitch);
        testing::internal::CaptureStderr();
        p.prepareToPlay(EffectSettingsStore::stored());
        p.prepareToPlay(EffectSettingsStore::stored());
        EXPECT_EQ(testing::internal::GetCapturedStderr(), c.eqId ? "Rock\n" : "")
            << "a preset names itself";
        EXPECT_EQ(
            std::tuple(rig.outputsMade, p.EQPressetId(), p.volumeLimit(), p.playbackRate(),
                       p.replayGainMode(), p.keepPitch()),
            std::tuple(1, c.eqId, c.wantVolume, c.wantRate, c.wantReplayGain, c.wantKeepPitch));
    }
    // An index outside the list is kept but not applied: Rock still sounds.
    Rig rig(path);
    CAPlayer& p = *rig.player;
    p.prepareToPlay(EffectSettingsStore::stored());
    p.pressetId(99);
    p.play();
    const std::vector<float> out = rig.pull(0.5);
    const std::vector<float> left = channel(out, 0);
    EXPECT_EQ(left, channel(out, 1)) << "mono on both sides";
    EXPECT_NEAR(zeroCrossingHz(left, 48000, 4800, left.size()), 1500.0, 0.5);
    const double rockDb = EqualiserNode::responseDb(
        EqualiserNode::design(EQPresets::gains(rock), 48000), 1500, 48000);
    const double half = toneAmplitude(left, 1500, 48000, 4800, left.size());
    const double untagged = ReplayGain::linearGain({}, ReplayGain::Mode::Album);
    EXPECT_NEAR(half, 0.5 * 0.5 * untagged * std::pow(10.0, rockDb / 20), 0.002)
        << "half volume, Rock, an untagged file's ReplayGain";
    // The volume limit is kept as set but sounds within 0 … 1 (after a 10 ms ramp).
    p.volumeLimit(1.7f);
    const std::vector<float> full = channel(rig.pull(0.1), 0);
    EXPECT_NEAR(toneAmplitude(full, 1500, 48000, 480, full.size()) / half, 2.0, 0.02);
    p.volumeLimit(-0.2f);
    EXPECT_LT(rms(channel(rig.pull(0.1), 0), 480), 1e-4) << "only the filters ring out";
}

// Files of different loudness in three formats and three kinds of tag, each
// tagged with the gain that brings its tone to -14 dBFS, measured from what the
// engine renders. Off renders the decoded samples untouched.
TEST(CAPlayer, ReplayGainPlaysTaggedFilesAtOneLevelAndOffLeavesTheSamplesAsDecoded)
{
    QUAVER_REQUIRE_FFMPEG();
    using Mode = ReplayGain::Mode;
    const struct {
        const char *file;
        double amplitude;
        const char *tags;
        double albumDb; // the level Album mode gives
    } files[] = {
        // ID3v2 TXXX, at a rate that keeps the tone's level; the album gain is
        // limited by the album peak (0.1 x 8 = 0.8).
        {"rg-quiet.mp3", 0.1,
         "-b:a 320k -metadata \"REPLAYGAIN_TRACK_GAIN=+6.00 dB\" -metadata "
         "REPLAYGAIN_TRACK_PEAK=0.1 "
         "-metadata \"REPLAYGAIN_ALBUM_GAIN=+20 dB\" -metadata REPLAYGAIN_ALBUM_PEAK=0.125",
         20 * std::log10(0.8)},
        // Vorbis comments; no album gain, so Album mode takes the track's.
        {"rg-loud.flac", 0.5,
         "-metadata \"REPLAYGAIN_TRACK_GAIN=-8.00 dB\" -metadata REPLAYGAIN_TRACK_PEAK=0.5", -14},
        // APE; the album gain has no peak of its own, the track's holds it.
        {"rg-quiet.wv", 0.1,
         "-metadata \"REPLAYGAIN_TRACK_GAIN=+6 dB\" -metadata \"REPLAYGAIN_ALBUM_GAIN=+30 dB\" "
         "-metadata REPLAYGAIN_TRACK_PEAK=0.2",
         20 * std::log10(0.5)},
        // Opus R128: -13 dB against -23 LUFS is -8 dB against ReplayGain's reference.
        {"rg-loud.opus", 0.5, "-metadata R128_TRACK_GAIN=-3328", -14},
    };
    auto levelDb = [](const QString& path, std::optional<Mode> mode) {
        Rig rig(path);
        EffectSettings effects;
        effects.replayGain = mode;
        rig.player->prepareToPlay(effects);
        rig.player->play();
        const std::vector<float> left = channel(rig.pull(0.5), 0);
        return 20 * std::log10(toneAmplitude(left, 1000, 48000, 4800, left.size()));
    };
    for (const auto& f : files) {
        SCOPED_TRACE(f.file);
        const QString path = MediaFixtures::cachedSound(
            QString::fromLatin1(f.file), QStringLiteral("%1*sin(2*PI*1000*t)").arg(f.amplitude),
            1.0, 48000, 1, QString::fromLatin1(f.tags));
        ASSERT_FALSE(path.isEmpty()) << MediaFixtures::lastError().toStdString();
        EXPECT_NEAR(levelDb(path, Mode::Off), 20 * std::log10(f.amplitude), 0.2);
        EXPECT_NEAR(levelDb(path, Mode::Track), -14, 0.25);
        EXPECT_NEAR(levelDb(path, Mode::Album), f.albumDb, 0.25);
        if (QString::fromLatin1(f.file).endsWith(QLatin1String(".flac"))) {
            AudioDecoder decoder;
            ASSERT_TRUE(decoder.open(path));
            std::vector<int16_t> decoded(24000);
            ASSERT_EQ(decoder.read(decoded.data(), 24000), 24000);
            Rig rig(path);
            EffectSettings effects;
            effects.replayGain = Mode::Off;
            rig.player->prepareToPlay(effects);
            rig.player->play();
            const std::vector<float> out = rig.pull(0.5);
            ASSERT_EQ(out.size(), 2 * decoded.size());
            for (size_t i = 0; i < decoded.size(); ++i)
                ASSERT_EQ(out[2 * i], float(decoded[i]) / 32768.0f) << i;
        }
    }
}
