#pragma once

// Decodes ahead of the sound device: a worker thread of its own reads the inner
// source (the decoder, which may stall on a slow disk, a USB stick or a network
// mount) into a lock-free single-producer single-consumer ring of decoded PCM,
// kept about one second ahead. The render thread reads the ring and never waits:
// when the ring is empty before the end, read() answers kStarved.
//
// The worker fills the ring, then sleeps (on a futex, no polling) until the
// consumer has drained it below half, a seek comes, or the owner stops: about two
// wake-ups a second while playing, none while paused or after the end. Waking it
// costs the consumer one atomic exchange, and a system call only when it sleeps.
//
// Seeks are requests: seek() bumps a generation and returns at once; the worker
// moves the inner source and empties the ring, and until it has done so read()
// answers kStarved. position() is the frame the next read() delivers, that is the
// frame about to be heard, not the decoder's.
//
// An inner source that fails kMaxFailedReads times in a row counts as ended, so
// that a damaged file cannot keep the worker busy for ever.
//
// Threads: construction and destruction on the main thread (destruction stops and
// joins the worker); read() and seek() from one consumer thread (the render
// thread); position() from any thread. The inner source is touched by the worker
// only, from construction until destruction.

#include "audio/PcmSource.h"

#include <atomic>
#include <cstdint>
#include <thread>
#include <vector>

class DecodeAheadSource : public PcmSource {
public:
    static constexpr int kMaxFailedReads = 64;

    // inner outlives this; startFrame is where inner stands now. aheadSeconds:
    // the ring's capacity (at least 0.5 s of audio is kept ahead).
    DecodeAheadSource(PcmSource& inner, int64_t startFrame, double aheadSeconds = 1.0);
    ~DecodeAheadSource() override;
    DecodeAheadSource(const DecodeAheadSource&) = delete;
    DecodeAheadSource& operator=(const DecodeAheadSource&) = delete;

    int sampleRate() const override { return m_rate; }
    int channels() const override { return m_channels; }
    int64_t read(int16_t *out, int64_t frames) override;
    void seek(int64_t frame) override;

    // The frame the next read() delivers (after a seek: its target). Any thread.
    int64_t position() const { return m_position.load(std::memory_order_acquire); }
    // Frames decoded and waiting in the ring. Any thread.
    int64_t bufferedFrames() const;
    int64_t capacityFrames() const { return m_capacity; }

private:
    void run();
    // Worker: moves the inner source and empties the ring for generation.
    void restart(uint64_t generation);
    // Worker: one read of the inner source into the ring's free space; false when
    // there was nothing to do (ring full, stream ended, inner source starved).
    // failures counts the inner source's errors in a row.
    bool fill(int& failures);
    // Whether the worker has something to do: stop, a new seek, or room below the
    // refill mark in a stream that has not ended.
    bool needsWorker(uint64_t served) const;
    // Any thread: ends the worker's sleep.
    void wakeWorker();

    PcmSource& m_inner;          // worker only
    const int m_rate;            // immutable
    const int m_channels;        // immutable
    const int64_t m_capacity;    // immutable; frames
    const int64_t m_refillMark;  // immutable; frames buffered below which a sleeping
                                 // worker is woken
    std::vector<int16_t> m_ring; // frames [read, write) are the consumer's

    // Ring indices count frames since the last restart, modulo nothing: the slot of
    // frame i is i % m_capacity.
    std::atomic<int64_t> m_write{0};  // atomic; stored by the worker
    std::atomic<int64_t> m_read{0};   // atomic; stored by the consumer (and the worker
                                      // during a restart, while the consumer waits)
    std::atomic<bool> m_ended{false}; // atomic; the worker has reached the end
    std::atomic<int64_t> m_position;  // atomic; stored by the consumer

    // A seek: the consumer stores the target, then bumps the request; the worker
    // answers with the same number in m_done once the ring holds the new frames.
    std::atomic<int64_t> m_seekTarget{0}; // atomic
    std::atomic<uint64_t> m_request{0};   // atomic; consumer writes
    std::atomic<uint64_t> m_done{0};      // atomic; worker writes
    uint64_t m_consumerRequest = 0;       // consumer only

    std::atomic<bool> m_stop{false}; // atomic; main thread asks the worker to end
    // The worker sleeps on m_wake; a waker bumps it, then notifies. m_sleeping
    // announces the sleep; the consumer takes it (exchange) so that it wakes once.
    std::atomic<uint32_t> m_wake{0};     // atomic
    std::atomic<bool> m_sleeping{false}; // atomic
    std::thread m_worker;                // main thread only
};
