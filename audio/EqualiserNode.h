#pragma once

// The equaliser: ten peaking filters (one per EQPresets band, Q = sqrt(2), one
// octave) in cascade over float stereo, with a pre-gain that keeps boosts from
// clipping.
//
// The main thread designs the filters for a set of band gains (setGains) and
// hands the design to the render thread, which installs it at the start of its
// next slice; filter state carries over for bands that stay active. Bands with a
// gain of 0 dB and bands at or above the Nyquist frequency are left out; all
// bands at 0 dB ("Flat") is an exact bypass.

#include "audio/EQPresets.h"
#include "audio/RenderMailbox.h"

#include <array>
#include <cstdint>

class EqualiserNode {
public:
    // One designed peaking section in trapezoidal state-variable form (the same
    // response as the bilinear "cookbook" peaking biquad, but with integrator
    // states that keep their precision in 32-bit float at 32 Hz and 48 kHz):
    //   v1 = a1 ic1 - a2 ic2 + a2 x;  ic1 <- 2 v1 - ic1;  ic2 <- ic2 + g2 v1
    //   y  = m0 x + m1 v1
    struct Section {
        float a1 = 0.0f, a2 = 0.0f, g2 = 0.0f, m0 = 1.0f, m1 = 0.0f; // identity by default
        int band = -1;       // EQPresets band index; -1 for a padding section
        float gainDb = 0.0f; // the section's own gain after the overlap correction
    };
    // A whole design: the active sections in band order, the pre-gain folded into
    // the first one (its m0 and m1). No sections: bypass.
    struct Design {
        int sectionCount = 0;
        std::array<Section, EQPresets::kBandCount> sections{};
        float preGainDb = 0.0f; // already folded into sections[0]
    };

    // Main thread. sampleRate is the rate of the stream the node processes (Hz).
    explicit EqualiserNode(int sampleRate);
    EqualiserNode(const EqualiserNode&) = delete;
    EqualiserNode& operator=(const EqualiserNode&) = delete;

    // Main thread: designs the filters for gains (dB per band) and hands them over.
    void setGains(const EQPresets::Gains& gains);

    // Main thread: the filters for gains at sampleRate. The filter gains are
    // corrected for the overlap of neighbouring bands so that the cascade's
    // response at each active band's centre is that band's gain.
    static Design design(const EQPresets::Gains& gains, int sampleRate);
    // The response of a design in dB at frequency hz (pre-gain included).
    static double responseDb(const Design& design, double hz, int sampleRate);

    // Render thread: filters frames interleaved stereo frames in place.
    void process(float *stereo, int frames);

private:
    struct BandState {
        float ic1[2] = {0.0f, 0.0f}; // per channel
        float ic2[2] = {0.0f, 0.0f};
    };

    void install(Design& incoming);

    const int m_sampleRate;          // immutable
    RenderMailbox<Design> m_mailbox; // main posts, render takes
    Design m_design;                 // render thread only
    // Filter state per band, plus one slot for a padding section.
    std::array<BandState, EQPresets::kBandCount + 1> m_state{}; // render thread only
};
