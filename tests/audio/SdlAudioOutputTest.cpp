#include "audio/SdlAudioOutput.h"

#include "audio/CAPlayer.h"
#include "audio/SystemVolume.h"
#include "support/EngineTestSupport.h"
#include "support/TestEnvironment.h"

#include <gtest/gtest.h>

using namespace EngineTest;

// Two files joined on the disk driver: the stream is the first file then the
// second, sample for sample with nothing between them, at the program's volume,
// then silence. The second plays with ReplayGain (untagged: the fixed gain),
// exact from its first sample.
TEST(SdlAudioOutput, TheDiskDriverReceivesTwoFilesJoinedSampleForSample)
{
    DiskDriver disk;
    if (!disk.whyNot().isEmpty())
        GTEST_SKIP() << disk.whyNot().toStdString();

    std::vector<int16_t> samples = tone(1000, 0.25, 48000, 12000, 2);
    const std::vector<int16_t> second = tone(300, 0.1, 48000, 9000, 2);
    const QString first = TestEnvironment::writeFile(
        TestEnvironment::home() + QStringLiteral("/a.wav"), wavBytes(samples, 48000, 2));
    const QString next = TestEnvironment::writeFile(
        TestEnvironment::home() + QStringLiteral("/b.wav"), wavBytes(second, 48000, 2));
    samples.insert(samples.end(), second.begin(), second.end());
    DelegateRecorder watcher;
    SystemVolume::set(0.5f);
    {
        CAPlayer a(first), b(next);
        b.setDelegate(&watcher);
        b.replayGain(ReplayGain::Mode::Track);
        a.play();
        ASSERT_TRUE(b.playAfter(a));
        EXPECT_TRUE(TestEnvironment::waitUntil([&] { return watcher.finished == 1; }, 5000));
        b.setDelegate(nullptr);
    }
    SystemVolume::set(1.0f);
    const std::vector<float> written = disk.finish();
    // After whatever silence the paused device wrote before play().
    size_t lead = 0;
    while (lead < written.size() && written[lead] == 0.0f)
        ++lead;
    ASSERT_GE(lead, 2u); // the first frame of the tone is silent too
    lead -= 2;
    ASSERT_GE(written.size(), lead + samples.size());
    const float gain = ReplayGain::linearGain({}, ReplayGain::Mode::Track);
    for (size_t i = 0; i < samples.size(); ++i)
        ASSERT_EQ(written[lead + i], i < samples.size() - second.size()
                                         ? samples[i] / 65536.0f
                                         : samples[i] / 32768.0f * gain * 0.5f)
            << i;
    EXPECT_EQ(rms(written, lead + samples.size()), 0.0);
}
