#include "audio/EqualiserNode.h"

#include <algorithm>
#include <cmath>
#include <complex>

namespace {

// One octave per band: Q of a peaking filter whose bandwidth is one octave.
constexpr double kQ = 1.4142135623730951;
constexpr double kPi = 3.141592653589793;

struct DoubleSection {
    double b0 = 1, b1 = 0, b2 = 0, a1 = 0, a2 = 0;
};

DoubleSection peaking(double hz, double gainDb, int sampleRate)
{
    const double a = std::pow(10.0, gainDb / 40.0);
    const double w0 = 2.0 * kPi * hz / sampleRate;
    const double alpha = std::sin(w0) / (2.0 * kQ);
    const double cosw = std::cos(w0);
    const double a0 = 1.0 + alpha / a;
    return {(1.0 + alpha * a) / a0, -2.0 * cosw / a0, (1.0 - alpha * a) / a0, -2.0 * cosw / a0,
            (1.0 - alpha / a) / a0};
}

double sectionDb(const DoubleSection& s, double hz, int sampleRate)
{
    const std::complex<double> z1 = std::polar(1.0, -2.0 * kPi * hz / sampleRate);
    const std::complex<double> z2 = z1 * z1;
    const std::complex<double> h = (s.b0 + s.b1 * z1 + s.b2 * z2) / (1.0 + s.a1 * z1 + s.a2 * z2);
    return 20.0 * std::log10(std::abs(h));
}

// Solves m x = rhs in place (Gaussian elimination with partial pivoting).
// False when m is singular.
bool solve(std::array<std::array<double, 10>, 10> m, std::array<double, 10>& rhs, int n)
{
    for (int col = 0; col < n; ++col) {
        int pivot = col;
        for (int r = col + 1; r < n; ++r)
            if (std::abs(m[r][col]) > std::abs(m[pivot][col]))
                pivot = r;
        if (std::abs(m[pivot][col]) < 1e-12)
            return false;
        std::swap(m[col], m[pivot]);
        std::swap(rhs[col], rhs[pivot]);
        for (int r = col + 1; r < n; ++r) {
            const double f = m[r][col] / m[col][col];
            for (int c = col; c < n; ++c)
                m[r][c] -= f * m[col][c];
            rhs[r] -= f * rhs[col];
        }
    }
    for (int r = n - 1; r >= 0; --r) {
        for (int c = r + 1; c < n; ++c)
            rhs[r] -= m[r][c] * rhs[c];
        rhs[r] /= m[r][r];
    }
    return true;
}

// One section over interleaved stereo, frames [from, to).
inline void runSection(const EqualiserNode::Section& s, float *ic1, float *ic2, float *buf,
                       int from, int to)
{
    float l1 = ic1[0], r1 = ic1[1], l2 = ic2[0], r2 = ic2[1];
    for (int k = from; k < to; ++k) {
        const float xl = buf[2 * k], xr = buf[2 * k + 1];
        const float vl = s.a1 * l1 - s.a2 * l2 + s.a2 * xl;
        const float vr = s.a1 * r1 - s.a2 * r2 + s.a2 * xr;
        l1 = 2.0f * vl - l1;
        r1 = 2.0f * vr - r1;
        l2 = l2 + s.g2 * vl;
        r2 = r2 + s.g2 * vr;
        buf[2 * k] = s.m0 * xl + s.m1 * vl;
        buf[2 * k + 1] = s.m0 * xr + s.m1 * vr;
    }
    ic1[0] = l1, ic1[1] = r1, ic2[0] = l2, ic2[1] = r2;
}

#if defined(__GNUC__)
#define QUAVER_EQ_VECTOR 1
typedef float Vec4 __attribute__((vector_size(16)));

// The cascade as a pipeline: section s works on frame t - s at step t, so that
// neighbouring sections share one vector [s.L, s.R, s+1.L, s+1.R] and each step
// costs one multiply-add chain per pair of sections instead of per section. The
// first Sections - 1 frames of the first sections and the last frames of the
// later ones (the triangles outside the pipeline) run section by section.
template <int Vectors>
void runPipeline(const EqualiserNode::Section *sections, float (*ic1)[2], float (*ic2)[2],
                 float *buf, int frames)
{
    constexpr int S = 2 * Vectors;
    Vec4 a1[Vectors], a2[Vectors], g2[Vectors], m0[Vectors], m1[Vectors];
    Vec4 s1[Vectors], s2[Vectors], y[Vectors];
    for (int s = 0; s < S - 1; ++s)
        runSection(sections[s], ic1[s], ic2[s], buf, 0, S - 1 - s);
    for (int v = 0; v < Vectors; ++v) {
        const EqualiserNode::Section& p = sections[2 * v];
        const EqualiserNode::Section& q = sections[2 * v + 1];
        a1[v] = Vec4{p.a1, p.a1, q.a1, q.a1};
        a2[v] = Vec4{p.a2, p.a2, q.a2, q.a2};
        g2[v] = Vec4{p.g2, p.g2, q.g2, q.g2};
        m0[v] = Vec4{p.m0, p.m0, q.m0, q.m0};
        m1[v] = Vec4{p.m1, p.m1, q.m1, q.m1};
        s1[v] = Vec4{ic1[2 * v][0], ic1[2 * v][1], ic1[2 * v + 1][0], ic1[2 * v + 1][1]};
        s2[v] = Vec4{ic2[2 * v][0], ic2[2 * v][1], ic2[2 * v + 1][0], ic2[2 * v + 1][1]};
        // The latest output of each section: frame S - 2 - s of section s.
        const int p0 = S - 2 - 2 * v, q0 = S - 3 - 2 * v;
        y[v] = Vec4{buf[2 * p0], buf[2 * p0 + 1], q0 >= 0 ? buf[2 * q0] : 0.0f,
                    q0 >= 0 ? buf[2 * q0 + 1] : 0.0f};
    }
    const Vec4 two = {2.0f, 2.0f, 2.0f, 2.0f};
    for (int t = S - 1; t < frames; ++t) {
        Vec4 x[Vectors];
        const Vec4 in = {buf[2 * t], buf[2 * t + 1], 0.0f, 0.0f};
        x[0] = __builtin_shufflevector(in, y[0], 0, 1, 4, 5);
#pragma GCC unroll 8
        for (int v = 1; v < Vectors; ++v)
            x[v] = __builtin_shufflevector(y[v - 1], y[v], 2, 3, 4, 5);
#pragma GCC unroll 8
        for (int v = 0; v < Vectors; ++v) {
            const Vec4 v1 = a1[v] * s1[v] - a2[v] * s2[v] + a2[v] * x[v];
            s1[v] = two * v1 - s1[v];
            s2[v] = s2[v] + g2[v] * v1;
            y[v] = m0[v] * x[v] + m1[v] * v1;
        }
        const int o = t - (S - 1);
        buf[2 * o] = y[Vectors - 1][2];
        buf[2 * o + 1] = y[Vectors - 1][3];
    }
    for (int v = 0; v < Vectors; ++v) {
        ic1[2 * v][0] = s1[v][0], ic1[2 * v][1] = s1[v][1];
        ic1[2 * v + 1][0] = s1[v][2], ic1[2 * v + 1][1] = s1[v][3];
        ic2[2 * v][0] = s2[v][0], ic2[2 * v][1] = s2[v][1];
        ic2[2 * v + 1][0] = s2[v][2], ic2[2 * v + 1][1] = s2[v][3];
        // Section s has reached frame frames - 1 - s; its output there feeds s + 1.
        const int p0 = frames - 1 - 2 * v, q0 = frames - 2 - 2 * v;
        buf[2 * p0] = y[v][0], buf[2 * p0 + 1] = y[v][1];
        if (2 * v + 1 < S - 1)
            buf[2 * q0] = y[v][2], buf[2 * q0 + 1] = y[v][3];
    }
    for (int s = 1; s < S; ++s)
        runSection(sections[s], ic1[s], ic2[s], buf, frames - s, frames);
}
#endif

} // namespace

EqualiserNode::EqualiserNode(int sampleRate) : m_sampleRate(sampleRate) {}

EqualiserNode::Design EqualiserNode::design(const EQPresets::Gains& gains, int sampleRate)
{
    Design result;
    int bands[EQPresets::kBandCount];
    int n = 0;
    for (int b = 0; b < EQPresets::kBandCount; ++b)
        if (gains[b] != 0.0f && EQPresets::kBandFrequencies[b] < 0.5 * sampleRate)
            bands[n++] = b;
    if (n == 0)
        return result;

    // Neighbouring sections overlap, so each one's gain is solved for: the sum of
    // all sections' responses (in dB) at each active centre is that band's target.
    // The responses are nearly linear in the gains; a few Newton steps with the
    // interaction matrix of 1 dB sections converge.
    std::array<std::array<double, 10>, 10> interaction{};
    for (int j = 0; j < n; ++j) {
        const DoubleSection unit = peaking(EQPresets::kBandFrequencies[bands[j]], 1.0, sampleRate);
        for (int i = 0; i < n; ++i)
            interaction[i][j] = sectionDb(unit, EQPresets::kBandFrequencies[bands[i]], sampleRate);
    }
    std::array<double, 10> g{};
    for (int i = 0; i < n; ++i)
        g[i] = gains[bands[i]];
    auto cascadeDb = [&](const std::array<double, 10>& sectionGains, double hz) {
        double db = 0;
        for (int j = 0; j < n; ++j)
            db += sectionDb(
                peaking(EQPresets::kBandFrequencies[bands[j]], sectionGains[j], sampleRate), hz,
                sampleRate);
        return db;
    };
    std::array<double, 10> solved = g;
    bool converged = false;
    for (int iteration = 0; iteration < 8; ++iteration) {
        std::array<double, 10> error{};
        double worst = 0;
        for (int i = 0; i < n; ++i) {
            error[i] = gains[bands[i]] - cascadeDb(solved, EQPresets::kBandFrequencies[bands[i]]);
            worst = std::max(worst, std::abs(error[i]));
        }
        if (worst < 0.01) {
            converged = true;
            break;
        }
        if (!solve(interaction, error, n))
            break;
        for (int i = 0; i < n; ++i)
            solved[i] += error[i];
    }
    // An unreachable curve keeps the plain gains rather than extreme sections.
    bool sane = converged;
    for (int i = 0; i < n && sane; ++i)
        sane = std::isfinite(solved[i]) && std::abs(solved[i]) <= 24.0;
    if (sane)
        g = solved;

    // Pre-gain: the peak of the whole response, found on a fine logarithmic grid.
    DoubleSection sections[EQPresets::kBandCount];
    for (int i = 0; i < n; ++i)
        sections[i] = peaking(EQPresets::kBandFrequencies[bands[i]], g[i], sampleRate);
    double peakDb = 0;
    const double top = std::min(20000.0, 0.49 * sampleRate);
    for (int k = 0; k <= 400; ++k) {
        const double hz = 20.0 * std::pow(top / 20.0, k / 400.0);
        double db = 0;
        for (int i = 0; i < n; ++i)
            db += sectionDb(sections[i], hz, sampleRate);
        peakDb = std::max(peakDb, db);
    }
    const double preGain = std::pow(10.0, -peakDb / 20.0);

    result.sectionCount = n;
    result.preGainDb = float(-peakDb);
    for (int i = 0; i < n; ++i) {
        const double a = std::pow(10.0, g[i] / 40.0);
        const double w = std::tan(kPi * EQPresets::kBandFrequencies[bands[i]] / sampleRate);
        const double k = 1.0 / (kQ * a);
        const double a1 = 1.0 / (1.0 + w * (w + k));
        const double m0 = i == 0 ? preGain : 1.0;
        result.sections[i] = Section{
            float(a1), float(w * a1), float(2.0 * w), float(m0), float(m0 * k * (a * a - 1.0)),
            bands[i],  float(g[i])};
    }
    return result;
}

double EqualiserNode::responseDb(const Design& d, double hz, int sampleRate)
{
    double db = d.sectionCount > 0 ? d.preGainDb : 0.0;
    for (int i = 0; i < d.sectionCount; ++i) {
        const Section& s = d.sections[i];
        db += sectionDb(peaking(EQPresets::kBandFrequencies[s.band], s.gainDb, sampleRate), hz,
                        sampleRate);
    }
    return db;
}

void EqualiserNode::setGains(const EQPresets::Gains& gains)
{
    m_mailbox.post(design(gains, m_sampleRate));
}

void EqualiserNode::install(Design& incoming)
{
    bool wasActive[EQPresets::kBandCount] = {};
    for (int i = 0; i < m_design.sectionCount; ++i)
        wasActive[m_design.sections[i].band] = true;
    for (int i = 0; i < incoming.sectionCount; ++i) {
        const int band = incoming.sections[i].band;
        if (!wasActive[band])
            m_state[band] = BandState{};
    }
    std::swap(m_design, incoming);
}

void EqualiserNode::process(float *stereo, int frames)
{
    if (auto *letter = m_mailbox.take()) {
        install(letter->value);
        m_mailbox.retire(letter);
    }
    const int n = m_design.sectionCount;
    if (n == 0 || frames <= 0)
        return;

    // Sections in processing order with their state; an odd count gets an
    // identity section so that sections pair up.
    Section sections[EQPresets::kBandCount + 1];
    float ic1[EQPresets::kBandCount + 1][2];
    float ic2[EQPresets::kBandCount + 1][2];
    const int padded = (n + 1) & ~1;
    for (int i = 0; i < padded; ++i) {
        sections[i] = i < n ? m_design.sections[i] : Section{};
        const BandState& st = m_state[i < n ? sections[i].band : EQPresets::kBandCount];
        ic1[i][0] = st.ic1[0], ic1[i][1] = st.ic1[1];
        ic2[i][0] = st.ic2[0], ic2[i][1] = st.ic2[1];
    }

    bool pipelined = false;
#ifdef QUAVER_EQ_VECTOR
    if (frames >= 4 * padded) {
        pipelined = true;
        switch (padded / 2) {
        case 1:
            runPipeline<1>(sections, ic1, ic2, stereo, frames);
            break;
        case 2:
            runPipeline<2>(sections, ic1, ic2, stereo, frames);
            break;
        case 3:
            runPipeline<3>(sections, ic1, ic2, stereo, frames);
            break;
        case 4:
            runPipeline<4>(sections, ic1, ic2, stereo, frames);
            break;
        default:
            runPipeline<5>(sections, ic1, ic2, stereo, frames);
            break;
        }
    }
#endif
    if (!pipelined)
        for (int i = 0; i < padded; ++i)
            runSection(sections[i], ic1[i], ic2[i], stereo, 0, frames);

    // Flush denormal-range state so that a long silence stays cheap.
    for (int i = 0; i < padded; ++i) {
        BandState& st = m_state[i < n ? sections[i].band : EQPresets::kBandCount];
        for (int c = 0; c < 2; ++c) {
            st.ic1[c] = std::abs(ic1[i][c]) < 1e-20f ? 0.0f : ic1[i][c];
            st.ic2[c] = std::abs(ic2[i][c]) < 1e-20f ? 0.0f : ic2[i][c];
        }
    }
}
