#pragma once

// Media files for tests, made from synthetic signals by the ffmpeg program (nothing
// recorded, nothing copyrighted). Every function may be called from the test thread
// only. Failures return an empty path; tests then fail with the reason that
// lastError() gives. Cached files are made under a temporary name and renamed into
// place, so that test processes running side by side never see half a file.

#include <QString>
#include <QStringList>

namespace MediaFixtures {

// Peak amplitude of every tone, as a fraction of full scale (-6 dBFS).
constexpr double kToneAmplitude = 0.5;

// The ffmpeg program, or empty when it is not installed.
QString ffmpegProgram();

// What the last failing call said.
QString lastError();

// A sine tone of freqHz at kToneAmplitude, the same on every channel, rate Hz,
// channels 1..8 (6 is laid out as 5.1), seconds long, made once and kept in the
// fixture cache: every test process of a run, and later runs, share the file. It is
// named fileName after a key of everything that shapes it (the ffmpeg program
// too). The container and codec follow from the extension unless extraFfmpegArgs
// (split like a shell command line, and placed after the tone input) say otherwise,
// e.g. "-c:a alac", "-f ipod", or a second input "-f lavfi -i testsrc=size=64x48:d=2".
// Returns the path, or empty on failure.
QString cachedTone(const QString& fileName, double freqHz, double seconds, int rate, int channels,
                   const QString& extraFfmpegArgs = {});

// Any signal: expression is an FFmpeg expression of t (seconds), full scale +-1,
// used for every channel; otherwise as cachedTone().
QString cachedSound(const QString& fileName, const QString& expression, double seconds, int rate,
                    int channels, const QString& extraFfmpegArgs = {});

// Runs ffmpeg with args followed by an output path in the fixture cache ending in
// fileName, unless an earlier call or process made that output already; returns
// the path. The cache is "fixture-cache" beside the test program, or a folder that
// lives as long as the test program when that cannot be written.
QString cachedOutput(const QString& fileName, const QStringList& args);

// An AMR-NB storage file ("#!AMR\n", 8 kHz mono, 20 ms blocks): speechBlocks
// blocks at 12.2 kbit/s, then noDataBlocks NO_DATA blocks (which decoders cannot
// decode; they stand for silence). Returns path, or empty on failure.
QString amrNb(const QString& path, int speechBlocks, int noDataBlocks = 0);

} // namespace MediaFixtures

// Skips the running test when the ffmpeg program is missing.
#define QUAVER_REQUIRE_FFMPEG()                                                                    \
    do {                                                                                           \
        if (MediaFixtures::ffmpegProgram().isEmpty())                                              \
            GTEST_SKIP() << "the ffmpeg program is not installed; it makes the fixtures";          \
    } while (0)
