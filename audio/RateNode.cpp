#include "audio/RateNode.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <soxr.h>

namespace {

// Source frames read per chunk; a chunk is converted to float once and then fed
// to the resampler as it asks for it.
constexpr int kChunkFrames = 4096;

} // namespace

void RateNode::Resampler::operator()(soxr *s) const
{
    soxr_delete(s);
}

RateNode::RateNode(PcmSource& source, int deviceRate)
    : m_source(source), m_deviceRate(deviceRate), m_downmix(source.channels()),
      m_pcm(size_t(kChunkFrames) * size_t(m_downmix.channels())),
      m_staged(size_t(kChunkFrames) * 2), m_stretchInput(size_t(TempoStretcher::kMaxPutFrames) * 2)
{
    Change initial = makeChange(false, -1);
    m_resampler = std::move(initial.resampler);
    m_ioRatio = initial.ioRatio;
}

RateNode::~RateNode() = default;

RateNode::Change RateNode::makeChange(bool restart, int64_t seekFrame) const
{
    Change change;
    change.restart = restart;
    change.seekFrame = seekFrame;
    change.keepPitch = m_keepPitch;
    // With the pitch kept the stretcher plays the rate; the resampler only
    // converts the source's rate.
    const double inputRate = double(m_source.sampleRate()) * (m_keepPitch ? 1.0 : m_rate);
    change.ioRatio = inputRate / m_deviceRate;
    if (inputRate != double(m_deviceRate)) {
        const soxr_io_spec_t io = soxr_io_spec(SOXR_FLOAT32_I, SOXR_FLOAT32_I);
        const soxr_quality_spec_t quality = soxr_quality_spec(SOXR_HQ, 0);
        const soxr_runtime_spec_t runtime = soxr_runtime_spec(1);
        soxr_error_t error = nullptr;
        soxr_t s = soxr_create(inputRate, m_deviceRate, 2, &error, &io, &quality, &runtime);
        // Without a resampler the stream still plays (at the wrong pitch) rather
        // than stopping; soxr refuses only rates that are not positive.
        if (!error)
            change.resampler.reset(s);
        else
            soxr_delete(s);
    }
    return change;
}

void RateNode::setRate(double rate)
{
    if (rate == m_rate)
        return;
    m_rate = rate;
    m_tempo.store(rate, std::memory_order_release);
    if (!m_keepPitch)
        post(makeChange(false, -1));
}

void RateNode::setKeepPitch(bool on)
{
    if (on == m_keepPitch)
        return;
    m_keepPitch = on;
    Change change = makeChange(false, -1);
    if (on && !m_stretcherMade) {
        change.stretcher = std::make_unique<TempoStretcher>(m_deviceRate, m_rate);
        m_stretcherMade = true;
    }
    post(std::move(change));
}

void RateNode::seek(int64_t frame)
{
    frame = std::max<int64_t>(frame, 0);
    m_pendingSeek.store(frame, std::memory_order_release);
    post(makeChange(true, frame));
}

void RateNode::post(Change change)
{
    // The newest change carries the current rate and switch; it also keeps what an
    // older one still waiting asked for: a restart, a seek, the first stretcher.
    m_mailbox.post(std::move(change), [](Change& newer, Change& older) {
        newer.restart = newer.restart || older.restart;
        if (newer.seekFrame < 0)
            newer.seekFrame = older.seekFrame;
        if (!newer.stretcher)
            newer.stretcher = std::move(older.stretcher);
    });
}

void RateNode::install(Change& change)
{
    std::swap(m_resampler, change.resampler);
    m_ioRatio = change.ioRatio;
    if (change.stretcher)
        m_stretcher = std::move(change.stretcher);
    const bool stretching = change.keepPitch && m_stretcher;
    if (stretching && (!m_stretching || change.restart)) {
        m_stretcher->clear();
        m_stretchInputEnded = false;
    }
    m_stretching = stretching;
    if (!m_stretching)
        m_heldFrames.store(0, std::memory_order_release);
    if (change.restart) {
        m_stagedPos = m_stagedCount = 0;
        m_sourceEnded = false;
    }
    if (change.seekFrame >= 0) {
        m_source.seek(change.seekFrame);
        int64_t expected = change.seekFrame;
        m_pendingSeek.compare_exchange_strong(expected, -1, std::memory_order_acq_rel);
    }
}

namespace {

// What a read result other than frames means for the slice.
RateNode::Status statusOf(int64_t got)
{
    return got == PcmSource::kStarved ? RateNode::Status::Starved : RateNode::Status::Error;
}

} // namespace

RateNode::Status RateNode::refill(int frames)
{
    const int64_t want = std::clamp<int64_t>(frames, 1, kChunkFrames);
    const int64_t got = m_source.read(m_pcm.data(), want);
    if (got < 0)
        return statusOf(got);
    if (got == 0)
        m_sourceEnded = true;
    m_downmix.convert(m_pcm.data(), m_staged.data(), int(got));
    m_stagedPos = 0;
    m_stagedCount = int(got);
    return Status::Ok;
}

RateNode::Result RateNode::render(float *out, int frames)
{
    if (auto *letter = m_mailbox.take()) {
        install(letter->value);
        m_mailbox.retire(letter);
    }
    return m_stretching ? renderStretched(out, frames) : renderResampled(out, frames);
}

RateNode::Result RateNode::renderStretched(float *out, int frames)
{
    m_stretcher->setTempo(m_tempo.load(std::memory_order_acquire));
    Result result;
    while (result.frames < frames) {
        const int need = frames - result.frames;
        float *dst = out + 2 * result.frames;
        if (m_stretchInputEnded) {
            const int got = m_stretcher->drain(dst, need);
            result.frames += got;
            if (got < need) {
                result.status = Status::EndOfStream;
                break;
            }
            continue;
        }
        if (const int got = m_stretcher->receive(dst, need); got > 0) {
            result.frames += got;
            continue;
        }
        const Result in = renderResampled(m_stretchInput.data(), TempoStretcher::kMaxPutFrames);
        m_stretcher->put(m_stretchInput.data(), in.frames);
        if (in.status == Status::EndOfStream)
            m_stretchInputEnded = true;
        else if (in.status != Status::Ok && in.frames == 0) {
            result.status = in.status;
            break;
        }
    }
    // Source frames read but not heard: staged, inside the resampler, inside the
    // stretcher.
    const double resampling = m_resampler
                                  ? soxr_delay(m_resampler.get()) + m_stretcher->heldInputFrames()
                                  : m_stretcher->heldInputFrames();
    m_heldFrames.store(std::llround(resampling * m_ioRatio) + (m_stagedCount - m_stagedPos),
                       std::memory_order_release);
    return result;
}

RateNode::Result RateNode::renderResampled(float *out, int frames)
{
    Result result;
    int stalls = 0;
    while (result.frames < frames) {
        const int need = frames - result.frames;
        float *dst = out + 2 * result.frames;
        int available = m_stagedCount - m_stagedPos;
        if (!m_resampler) {
            if (available == 0) {
                if (m_sourceEnded) {
                    result.status = Status::EndOfStream;
                    break;
                }
                // Straight from the source into the output: no staging copy.
                const int want = std::min(need, kChunkFrames);
                const int64_t got = m_source.read(m_pcm.data(), want);
                if (got < 0) {
                    result.status = statusOf(got);
                    break;
                }
                if (got == 0)
                    m_sourceEnded = true;
                m_downmix.convert(m_pcm.data(), dst, int(got));
                result.frames += int(got);
                continue;
            }
            const int n = std::min(available, need);
            std::memcpy(dst, m_staged.data() + 2 * m_stagedPos, sizeof(float) * 2 * size_t(n));
            m_stagedPos += n;
            result.frames += n;
            continue;
        }

        if (available == 0 && !m_sourceEnded) {
            // Ask for about what this slice still needs, so that the source's
            // position stays close to what is heard.
            if (const Status status = refill(int(std::ceil(need * m_ioRatio)) + 16);
                status != Status::Ok) {
                result.status = status;
                break;
            }
            available = m_stagedCount - m_stagedPos;
        }
        size_t used = 0, made = 0;
        if (available > 0) {
            soxr_process(m_resampler.get(), m_staged.data() + 2 * m_stagedPos, size_t(available),
                         &used, dst, size_t(need), &made);
            m_stagedPos += int(used);
        } else {
            // End of input: drain what the resampler still holds.
            soxr_process(m_resampler.get(), nullptr, 0, nullptr, dst, size_t(need), &made);
            result.frames += int(made);
            if (int(made) < need) {
                result.status = Status::EndOfStream;
                break;
            }
            continue;
        }
        result.frames += int(made);
        // A resampler that neither takes input nor gives output would spin here.
        stalls = (used == 0 && made == 0) ? stalls + 1 : 0;
        if (stalls > 2) {
            result.status = Status::Error;
            break;
        }
    }
    return result;
}
