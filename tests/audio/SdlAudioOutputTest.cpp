#include "audio/SdlAudioOutput.h"

#include "audio/CAPlayer.h"
#include "audio/CAPlayerDelegate.h"
#include "audio/SystemVolume.h"
#include "support/EngineTestSupport.h"
#include "support/TestEnvironment.h"

#include <QFile>
#include <SDL.h>
#include <cstring>
#include <gtest/gtest.h>

using namespace EngineTest;

namespace {

class EndWatcher : public CAPlayerDelegate {
public:
    void playerIsPlaying(bool) override {}
    void playerDidFinishPlaying() override { ++finished; }
    int finished = 0;
};

// Puts SDL on another driver for one test and back on the configured one after.
class DriverSwitch {
public:
    explicit DriverSwitch(const char *driver)
    {
        SDL_AudioQuit(), m_ok = SDL_AudioInit(driver) == 0;
    }
    ~DriverSwitch() { SDL_AudioQuit(); }
    bool ok() const { return m_ok; }

private:
    bool m_ok = false;
};

} // namespace

TEST(SdlAudioOutput, TheDiskDriverReceivesTheRenderedStreamAtTheProgramVolume)
{
    const QString raw = TestEnvironment::home() + QStringLiteral("/stream.raw");
    qputenv("SDL_DISKAUDIOFILE", raw.toLocal8Bit());
    DriverSwitch disk("disk");
    if (!disk.ok())
        GTEST_SKIP() << "SDL has no disk driver here: " << SDL_GetError();

    const std::vector<int16_t> samples = tone(1000, 0.5, 48000, 12000, 2); // 0.25 s
    const QString wav = TestEnvironment::writeFile(
        TestEnvironment::home() + QStringLiteral("/d.wav"), wavBytes(samples, 48000, 2));
    EndWatcher watcher;
    SystemVolume::set(0.5f);
    {
        CAPlayer player(wav);
        player.setDelegate(&watcher);
        player.play();
        EXPECT_STREQ(SdlAudioOutput::currentDriver(), "disk");
        EXPECT_EQ(player.deviceSampleRate(), 48000);
        EXPECT_TRUE(TestEnvironment::waitUntil([&] { return watcher.finished == 1; }, 5000));
        player.setDelegate(nullptr);
    }
    SystemVolume::set(1.0f);
    QFile file(raw);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QByteArray bytes = file.readAll();
    std::vector<float> written(size_t(bytes.size()) / sizeof(float));
    std::memcpy(written.data(), bytes.constData(), written.size() * sizeof(float));
    ASSERT_GE(written.size(), samples.size());
    // The stream is the file at half level, sample for sample (after whatever
    // silence the paused device wrote before play()), then silence.
    size_t lead = 0;
    while (lead < written.size() && written[lead] == 0.0f)
        ++lead;
    ASSERT_EQ(samples[0], 0);
    ASSERT_NE(samples[2], 0);
    ASSERT_GE(lead, 2u);
    lead -= 2;
    ASSERT_GE(written.size(), lead + samples.size());
    for (size_t i = 0; i < samples.size(); ++i)
        ASSERT_EQ(written[lead + i], samples[i] / 65536.0f) << i;
    EXPECT_EQ(rms(written, lead + samples.size()), 0.0);
}

TEST(SdlAudioOutput, NoDeviceFallsBackToTheDummyDriverWithOneMessage)
{
    const QByteArray configured = qgetenv("SDL_AUDIODRIVER");
    qputenv("SDL_AUDIODRIVER", "no-such-driver");
    SDL_AudioQuit();
    testing::internal::CaptureStderr();
    int rate1 = 0, rate2 = 0;
    {
        SdlAudioOutput first;
        rate1 = first.open(44100, [](float *s, int n) { std::fill(s, s + 2 * n, 0.0f); });
    }
    {
        SdlAudioOutput second;
        rate2 = second.open(44100, [](float *s, int n) { std::fill(s, s + 2 * n, 0.0f); });
        EXPECT_STREQ(SdlAudioOutput::currentDriver(), "dummy");
    }
    const std::string printed = testing::internal::GetCapturedStderr();
    qputenv("SDL_AUDIODRIVER", configured);
    SDL_AudioQuit();
    EXPECT_GT(rate1, 0);
    EXPECT_GT(rate2, 0);
    EXPECT_NE(printed.find("no audio device could be opened"), std::string::npos) << printed;
    EXPECT_EQ(printed.find("no audio device"), printed.rfind("no audio device")) << "once";
}
