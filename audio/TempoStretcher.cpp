#include "audio/TempoStretcher.h"

#include "audio/EffectSettings.h"

#include <SoundTouch.h>
#include <algorithm>
#include <cmath>

namespace {

constexpr int kSilenceFrames = 256;
constexpr int kMaxSilencePushes = 64;

} // namespace

TempoStretcher::TempoStretcher(int sampleRate, double tempo)
    : m_touch(std::make_unique<soundtouch::SoundTouch>()),
      m_silence(size_t(kSilenceFrames) * 2, 0.0f)
{
    m_touch->setSampleRate(unsigned(sampleRate));
    m_touch->setChannels(2);
    // SoundTouch grows its queues on demand: run it at both ends of the tempo
    // range with more than the render thread ever puts between two receives, so
    // that the render thread never finds them too small.
    std::vector<float> zeros(size_t(kMaxPutFrames) * 2 * 8, 0.0f);
    std::vector<float> sink(zeros.size() * 4);
    for (const double t :
         {double(EffectSettings::kMinPlaybackRate), double(EffectSettings::kMaxPlaybackRate)}) {
        m_touch->setTempo(t);
        m_touch->putSamples(zeros.data(), unsigned(zeros.size() / 2));
        while (m_touch->receiveSamples(sink.data(), unsigned(sink.size() / 2)) > 0) {
        }
    }
    m_touch->clear();
    m_tempo = tempo;
    m_touch->setTempo(tempo);
}

TempoStretcher::~TempoStretcher() = default;

void TempoStretcher::setTempo(double tempo)
{
    if (tempo == m_tempo)
        return;
    m_tempo = tempo;
    m_touch->setTempo(tempo);
}

void TempoStretcher::put(const float *stereo, int frames)
{
    frames = std::min(frames, kMaxPutFrames);
    m_touch->putSamples(stereo, unsigned(frames));
    m_owedOut += frames / m_tempo;
    m_heldIn += frames;
}

int TempoStretcher::receive(float *stereo, int frames)
{
    const int got = int(m_touch->receiveSamples(stereo, unsigned(frames)));
    paidOut(got);
    return got;
}

void TempoStretcher::paidOut(int frames)
{
    if (frames >= m_owedOut) {
        m_owedOut = m_heldIn = 0;
        return;
    }
    m_heldIn -= m_heldIn * frames / m_owedOut;
    m_owedOut -= frames;
}

int TempoStretcher::drain(float *stereo, int frames)
{
    int made = 0;
    // The held tail comes out as silence follows it in; a few times its latency
    // in silence is always enough, and bounds the loop.
    int pushes = 0;
    while (made < frames && std::lround(m_owedOut) > 0) {
        const int want = int(std::min<long>(frames - made, std::lround(m_owedOut)));
        const int got = int(m_touch->receiveSamples(stereo + 2 * made, unsigned(want)));
        made += got;
        paidOut(got);
        if (got > 0)
            continue;
        if (++pushes > kMaxSilencePushes) {
            paidOut(int(std::ceil(m_owedOut)));
            break;
        }
        m_touch->putSamples(m_silence.data(), kSilenceFrames);
    }
    return made;
}

void TempoStretcher::clear()
{
    m_touch->clear();
    m_owedOut = m_heldIn = 0;
}
