#include "audio/CAPlayer.h"

#include "audio/AudioDecoder.h"
#include "audio/CAPlayerDelegate.h"
#include "audio/DecodeAheadSource.h"
#include "audio/DeviceOutput.h"
#include "audio/EQPresets.h"
#include "audio/OfflineAudioOutput.h"
#include "audio/PcmSource.h"
#include "audio/RenderGraph.h"
#include "platform/Dispatch.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace {

// Reads the decoder, noting the first frame it delivers.
class DecoderSource : public PcmSource {
public:
    DecoderSource(AudioDecoder& decoder, std::atomic<bool>& decoded)
        : m_decoder(decoder), m_decoded(decoded)
    {}
    int sampleRate() const override { return m_decoder.sampleRate(); }
    int channels() const override { return m_decoder.channels(); }
    int64_t read(int16_t *out, int64_t frames) override
    {
        const int64_t got = m_decoder.read(out, frames);
        if (got > 0 && !m_decoded.load(std::memory_order_relaxed))
            m_decoded.store(true, std::memory_order_release);
        return got;
    }
    void seek(int64_t frame) override { m_decoder.seek(frame); }

private:
    AudioDecoder& m_decoder;
    std::atomic<bool>& m_decoded;
};

} // namespace

CAPlayer::CAPlayer(const QString& path, AudioOutputFactory outputFactory)
    : m_outputFactory(std::move(outputFactory)), m_decoder(std::make_unique<AudioDecoder>()),
      m_self(std::make_shared<CAPlayer *>(this)), m_weakSelf(m_self)
{
    if (!m_decoder->open(path)) {
        m_error = m_decoder->errorString();
        return;
    }
    m_valid = true;
    m_source = std::make_unique<DecoderSource>(*m_decoder, m_framesDecoded);
    m_totalFrames = std::max<int64_t>(m_decoder->totalFrames(), 0);
    m_replayGainTags = m_decoder->replayGainTags();
    m_decoder->seek(0);
    m_duration = float(double(m_totalFrames) / double(m_decoder->sampleRate()));
}

CAPlayer::~CAPlayer()
{
    if (m_graph) {
        m_output->stop();
        m_isPlaying = false;
        if (m_delegate)
            m_delegate->playerIsPlaying(false);
    }
    if (m_output)
        m_output->close();
    m_output.reset();
    m_graph.reset();
}

void CAPlayer::prepareToPlay(const EffectSettings& effects)
{
    if (!m_valid || m_graph)
        return;
    m_framesDecoded.store(false, std::memory_order_release);
    std::unique_ptr<AudioOutput> output =
        m_outputFactory ? m_outputFactory() : DeviceOutput::make();
    // The render function is only called after start(), when the graph exists.
    static_assert(AudioOutput::kNotReady == RenderGraph::kNotReady);
    auto render = [this](float *stereo, int frames) { return m_graph->render(stereo, frames); };
    int rate = output ? output->open(m_source->sampleRate(), render) : 0;
    if (rate <= 0) {
        // No device at all: keep time in real time so that the track still ends.
        output = std::make_unique<OfflineAudioOutput>(0, OfflineAudioOutput::Mode::RealTime);
        rate = output->open(m_source->sampleRate(), render);
    }
    m_output = std::move(output);
    PcmSource *source = m_source.get();
    if (m_output->pullsInRealTime()) {
        // From here on only the decode-ahead worker touches the decoder.
        m_ahead = std::make_unique<DecodeAheadSource>(*m_source, m_decoder->tell());
        source = m_ahead.get();
    }
    m_graph = std::make_unique<RenderGraph>(*source, rate, [this] { postFinished(); });
    if (effects.eqPreset)
        pressetId(*effects.eqPreset);
    if (effects.volumeLimit)
        volumeLimit(*effects.volumeLimit);
    if (effects.keepPitch)
        keepPitch(*effects.keepPitch);
    if (effects.playbackRate)
        playbackRate(*effects.playbackRate);
    if (effects.replayGain)
        m_replayGainMode = *effects.replayGain;
    m_graph->mixer().setReplayGain(replayGainFactor(), false); // nothing pulls yet
}

void CAPlayer::play()
{
    if (!m_valid) {
        if (!m_failurePosted) {
            m_failurePosted = true;
            postFinished();
        }
        return;
    }
    if (!m_graph)
        prepareToPlay();
    m_graph->resume();
    m_output->start();
    m_isPlaying = true;
    if (m_delegate)
        m_delegate->playerIsPlaying(true);
}

bool CAPlayer::playAfter(CAPlayer& current)
{
    if (!m_valid || !current.m_output || &current == this)
        return false;
    if (!m_graph)
        prepareToPlay();
    if (!m_output->startAfter(*current.m_output))
        return false;
    m_isPlaying = true;
    return true;
}

bool CAPlayer::isAtEnd() const
{
    return m_graph && m_graph->atEnd();
}

bool CAPlayer::canBeFollowed() const
{
    return m_output && m_output->canStartAfter();
}

void CAPlayer::pause()
{
    if (!m_graph)
        return;
    m_output->stop();
    m_isPaused = true;
    m_isPlaying = false;
    if (m_delegate)
        m_delegate->playerIsPlaying(false);
}

void CAPlayer::stop()
{
    if (!m_graph)
        return;
    m_output->stop();
    m_isPlaying = false;
    m_isPaused = false;
    if (m_delegate)
        m_delegate->playerIsPlaying(false);
}

void CAPlayer::postFinished()
{
    // Runs on the render thread (or on the main thread for a file that failed to
    // open). Posting is the one allocation the render thread makes, once per end
    // of file.
    Dispatch::main([weak = m_weakSelf] {
        if (const std::shared_ptr<CAPlayer *> self = weak.lock())
            (*self)->finishedOnMain();
    });
}

void CAPlayer::finishedOnMain()
{
    // play() may already have started the file again; then the output keeps going.
    if (m_graph && m_graph->atEnd()) {
        m_output->stop();
        m_graph->resume();
    }
    // Last: the owner may destroy this engine from inside the call.
    if (m_delegate)
        m_delegate->playerDidFinishPlaying();
}

int64_t CAPlayer::currentFrame() const
{
    if (!m_valid)
        return 0;
    if (m_graph) {
        const int64_t pending = m_graph->rateNode().pendingSeek();
        if (pending >= 0)
            return pending;
    }
    const int64_t read = m_ahead ? m_ahead->position() : m_decoder->tell();
    return m_graph ? std::max<int64_t>(read - m_graph->rateNode().heldFrames(), 0) : read;
}

float CAPlayer::currentProgress() const
{
    if (m_totalFrames <= 0)
        return 0.0f;
    return float(currentFrame()) / float(m_totalFrames);
}

float CAPlayer::getTime() const
{
    if (m_totalFrames <= 0)
        return 0.0f;
    return (float(currentFrame()) / float(m_totalFrames)) * m_duration;
}

void CAPlayer::setTime(float seconds)
{
    if (!m_valid || std::isnan(seconds))
        return;
    int64_t target = 0;
    if (m_totalFrames > 0 && m_duration > 0.0f) {
        const float framesPerSecond = float(m_totalFrames) / m_duration;
        const float frame = seconds * framesPerSecond;
        // Beyond the range of int64_t the truncation is undefined; such times are
        // past either end anyway.
        if (frame >= 9.2e18f)
            target = m_totalFrames;
        else if (frame > -9.2e18f)
            target = int64_t(frame);
        if (target > m_totalFrames)
            target = m_totalFrames;
        if (target < 0)
            target = 0;
    }
    if (m_graph) {
        m_graph->rateNode().seek(target);
        m_output->discardQueued(); // the graph goes on from target at its next render
    } else
        m_decoder->seek(target); // no render thread yet
}

void CAPlayer::volumeLimit(float value)
{
    m_volumeLimit = value;
    AUVolumeLimit(value);
}

void CAPlayer::playbackRate(float value)
{
    m_playbackRate = value;
    AUPlaybackRate(value);
}

void CAPlayer::replayGain(ReplayGain::Mode mode)
{
    m_replayGainMode = mode;
    if (m_graph)
        m_graph->mixer().setReplayGain(replayGainFactor(), true);
}

void CAPlayer::keepPitch(bool on)
{
    m_keepPitch = on;
    if (m_graph)
        m_graph->rateNode().setKeepPitch(on);
}

void CAPlayer::pressetId(int32_t index)
{
    m_EQPressetId = index;
    AUEQPreset(index);
}

QStringList CAPlayer::EQPressets() const
{
    if (!m_graph)
        return {};
    return EQPresets::names();
}

void CAPlayer::AUVolumeLimit(float value)
{
    if (!m_graph || std::isnan(value))
        return;
    m_graph->mixer().setGain(EffectSettings::clampedVolumeLimit(value));
}

void CAPlayer::AUPlaybackRate(float value)
{
    if (!m_graph || std::isnan(value))
        return;
    m_graph->rateNode().setRate(EffectSettings::clampedPlaybackRate(value));
}

void CAPlayer::AUEQPreset(int32_t index)
{
    if (!m_graph || !EQPresets::contains(index))
        return;
    m_graph->equaliser().setGains(EQPresets::gains(index));
    std::fprintf(stderr, "%s\n", EQPresets::name(index).toUtf8().constData());
}

int CAPlayer::deviceSampleRate() const
{
    return m_graph ? m_graph->deviceRate() : 0;
}
