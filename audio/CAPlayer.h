#pragma once

// The audio engine for one file: decodes it (AudioDecoder), plays it through the
// render graph (rate, volume limit, equaliser) on an output device, and tells
// its delegate when playing starts or stops and when the file has ended.
//
// One engine per track: the owner constructs it for a file, sets the delegate,
// prepares it, plays it, and destroys it (which stops it) when the next track is
// loaded. A file that fails to open gives an engine that is not valid(): it never
// prepares, and play() posts playerDidFinishPlaying once so that the owner moves
// on as if the track had ended.
//
// States: opened (no graph) -> prepared (graph and device open, not pulling) ->
// playing / paused / stopped; at the end of the file the graph stops pulling by
// itself, the file is rewound to frame 0 and the delegate is told once.
//
// Threads: every call on the main thread. With an output that pulls in real time
// a worker of the engine decodes about a second ahead (DecodeAheadSource), so a
// stalled disk does not break the sound. The render thread (the output's) only
// runs the graph; parameters and seeks reach it through atomics and take effect
// at the start of its next slice of at most 4096 frames.

#include "audio/AudioOutput.h"
#include "audio/EffectSettings.h"

#include <QString>
#include <QStringList>
#include <atomic>
#include <cstdint>
#include <memory>

class AudioDecoder;
class CAPlayerDelegate;
class DecodeAheadSource;
class PcmSource;
class RenderGraph;

class CAPlayer {
public:
    // Opens and measures the file at path; builds no graph. outputFactory makes
    // the device at prepare time (default: DeviceOutput::make()).
    explicit CAPlayer(const QString& path, AudioOutputFactory outputFactory = {});
    ~CAPlayer();
    CAPlayer(const CAPlayer&) = delete;
    CAPlayer& operator=(const CAPlayer&) = delete;

    // False when the file could not be opened (errorString() says why).
    bool isValid() const { return m_valid; }
    QString errorString() const { return m_error; }

    // Not owned; the owner clears it (or destroys the engine) before it goes away.
    void setDelegate(CAPlayerDelegate *delegate) { m_delegate = delegate; }
    CAPlayerDelegate *delegate() const { return m_delegate; }

    // Opens the output and builds the graph, then applies the effects given (those
    // present, in the order preset, volume limit, keep pitch, rate, ReplayGain). Does
    // nothing on an invalid engine or one already prepared.
    void prepareToPlay(const EffectSettings& effects = {});
    bool isGraphInitialized() const { return m_graph != nullptr; }

    // Prepares if needed (with no effects) and starts the output; isPlaying() = true, isPaused()
    // unchanged; tells the delegate playerIsPlaying(true). After the end of the
    // file this plays it again from the start.
    void play();
    // Prepares if needed (with no effects) and queues this engine to sound from the sample where
    // current's file ends, without a gap (current keeps playing until then).
    // isPlaying() = true at once; the delegate is not told (the owner calls play()
    // when it takes the engine over, which then changes nothing audible). False,
    // and nothing queued, on an invalid engine or when the output cannot join.
    bool playAfter(CAPlayer& current);
    // Whether another engine can playAfter() this prepared one.
    bool canBeFollowed() const;
    // True from the moment the file's last frame has been rendered (an engine
    // queued after it sounds from then on) until play() starts it again.
    bool isAtEnd() const;
    // On a prepared engine: stops the output; isPaused() = true, isPlaying() =
    // false; tells the delegate playerIsPlaying(false). Otherwise nothing.
    void pause();
    // On a prepared engine: stops the output (the position stays); both flags
    // false; tells the delegate playerIsPlaying(false). Otherwise nothing.
    void stop();

    // Set by play(), cleared by pause(), stop() and destruction. It stays true
    // after the end of the file until the owner stops or replaces the engine.
    bool isPlaying() const { return m_isPlaying; }
    // Set by pause(), cleared only by stop().
    bool isPaused() const { return m_isPaused; }
    // Whether the decoder has delivered any frame since prepareToPlay(). A file
    // that opens but ends without one (no data, or nothing decodable) reports
    // its end with this still false. Main thread; set by the render thread.
    bool hasDecodedFrames() const { return m_framesDecoded.load(std::memory_order_acquire); }

    // Length of the file in seconds / in frames at the file's rate.
    float duration() const { return m_duration; }
    int64_t totalFrames() const { return m_totalFrames; }
    // The frame about to be heard: with a real-time output the first frame not yet
    // taken from the decode-ahead buffer, otherwise the decoder's position, less
    // the frames the pitch-keeping stretcher holds; while a seek waits for the
    // render thread, the frame it goes to.
    int64_t currentFrame() const;
    // currentFrame() / totalFrames() in 32-bit float; 0 for an empty file.
    float currentProgress() const;
    // The position in seconds: (currentFrame / totalFrames) * duration in 32-bit
    // float; 0 for an empty file.
    float getTime() const;
    // Moves to seconds (truncated to a frame of the file; past the end: the end,
    // which ends the file at the next slice; negative: the start). A playing
    // engine continues from there at its next slice, a paused or stopped one
    // starts there.
    void setTime(float seconds);

    // Effects. The setters keep the value exactly as given and apply it (clamped)
    // only when the graph is initialised; prepareToPlay() applies the effects it
    // is given instead. Ranges: EffectSettings.
    // Volume limit: linear gain, applied within 0 .. 1. Starts at 1.0.
    void volumeLimit(float value);
    float volumeLimit() const { return m_volumeLimit; }
    // Playback rate factor, applied within 0.5 .. 2.0 (tempo and pitch together).
    // 0 until first set.
    void playbackRate(float value);
    float playbackRate() const { return m_playbackRate; }
    // ReplayGain mode: the loudness correction from the file's tags (read when it
    // was opened), ReplayGain::linearGain(), applied before the volume limit.
    // Starts Off. A change is heard over the next slice; the mode in force when
    // prepareToPlay() builds the graph is exact from the first frame.
    // replayGainFactor(): the linear gain of the mode now.
    void replayGain(ReplayGain::Mode mode);
    ReplayGain::Mode replayGainMode() const { return m_replayGainMode; }
    float replayGainFactor() const
    {
        return ReplayGain::linearGain(m_replayGainTags, m_replayGainMode);
    }
    // Whether the rate keeps the pitch (changes the tempo only). Off by default;
    // applied at once when the graph is initialised, else by prepareToPlay().
    void keepPitch(bool on);
    bool keepPitch() const { return m_keepPitch; }
    // Equaliser preset: an index into EQPressets(). An index outside the list is
    // kept but not applied. Starts at 0 (no preset applied: flat).
    void pressetId(int32_t index);
    int32_t EQPressetId() const { return m_EQPressetId; }
    // The preset names in list order; empty while the graph is not initialised.
    QStringList EQPressets() const;

    // Apply a value to the graph without storing it (clamped as above); nothing
    // when the graph is not initialised. AUEQPreset writes the preset's name to
    // stderr.
    void AUVolumeLimit(float value);
    void AUPlaybackRate(float value);
    void AUEQPreset(int32_t index);

    // The rate the output runs at (Hz); 0 before prepareToPlay().
    int deviceSampleRate() const;

private:
    void postFinished();
    void finishedOnMain();

    // Destroyed bottom-up: the output before the graph it pulls, the graph before
    // the source and decoder it reads.
    const AudioOutputFactory m_outputFactory; // immutable
    std::unique_ptr<AudioDecoder> m_decoder;  // render thread reads while prepared
    std::unique_ptr<PcmSource> m_source;      // render thread only while prepared
    // Reads m_source ahead of a real-time output (then m_source is its worker's
    // only); the graph reads this instead. Null for outputs that are not real time.
    std::unique_ptr<DecodeAheadSource> m_ahead;
    std::unique_ptr<RenderGraph> m_graph;  // built by prepareToPlay (main thread)
    std::unique_ptr<AudioOutput> m_output; // main thread only
    // The posted end-of-file task holds a weak reference, so that an engine
    // destroyed before it runs is never touched.
    std::shared_ptr<CAPlayer *> m_self;         // main thread only
    const std::weak_ptr<CAPlayer *> m_weakSelf; // immutable; copied by the render thread

    // Atomic: set by the render thread at the first frame decoded, cleared by
    // prepareToPlay() (before the output starts).
    std::atomic<bool> m_framesDecoded{false};

    // Main thread only.
    CAPlayerDelegate *m_delegate = nullptr;
    bool m_valid = false;
    QString m_error;
    bool m_isPlaying = false;
    bool m_isPaused = false;
    bool m_failurePosted = false;
    float m_volumeLimit = 1.0f;
    float m_playbackRate = 0.0f;
    bool m_keepPitch = false;
    int32_t m_EQPressetId = 0;
    ReplayGain::Mode m_replayGainMode = EffectSettings::kDefaultReplayGain;
    ReplayGain::Tags m_replayGainTags;
    float m_duration = 0.0f;
    int64_t m_totalFrames = 0;
};
