// Test helpers for the maximizer: deterministic test signals (a music-like stereo mix among
// them), an integrated-loudness meter with the ITU-R BS.1770 K-weighting and gating, and a
// runner that feeds an engine in host-sized blocks.
#pragma once

#include "maximizer/maximizer_engine.h"
#include "testsupport/test_signals.h"

#include <cstdint>
#include <vector>

namespace orq::maximizer::test {

using Channels = std::vector<std::vector<float>>;

// The generator of every maximizer test signal with noise in it (xorshift32).
using NoiseSource = orq::test::Xorshift32Noise;

Channels sine(int32_t channels, int32_t frames, double frequencyHz, double amplitude,
              double sampleRateHz);
Channels square(int32_t channels, int32_t frames, double frequencyHz, double amplitude,
                double sampleRateHz);
Channels whiteNoise(int32_t channels, int32_t frames, double amplitude, uint32_t seed);
// Silence with bursts of a square wave of the given amplitude: every period, burstFrames of
// signal after period − burstFrames of silence.
Channels bursts(int32_t channels, int32_t frames, int32_t periodFrames, int32_t burstFrames,
                double amplitude, double sampleRateHz);

// About seconds of a stereo mix at 120 beats per minute: kick and snare drums, noise hi-hats,
// a plucked bass line, a sustained three-note chord pad and a lead melody, panned apart and
// scaled so that its highest peak is peakDb dBFS. Deterministic.
Channels musicLikeMix(double seconds, double sampleRateHz, double peakDb = -1.0);

// Integrated loudness (LUFS) with the BS.1770 K-weighting, 400 ms blocks at 75 % overlap, the
// −70 LUFS absolute gate and the −10 LU relative gate; channels weighted 1.0 (left, right).
double integratedLoudness(const Channels& signal, double sampleRateHz);

// A frame lock that counts how often it was taken and released.
struct CountingFrameLock {
    int64_t locks = 0;
    int64_t unlocks = 0;
    void lock() { ++locks; }
    void unlock() { ++unlocks; }
};

// Runs signal through engine in blocks of blockFrames (replacing output), returns the output;
// with a lock, the engine takes it around every frame.
Channels runEngine(MaximizerEngine& engine, const Channels& signal, int32_t blockFrames = 512,
                   CountingFrameLock* lock = nullptr);

// Largest magnitude from fromFrame on; infinite when any sample is not a number.
double peakMagnitude(const Channels& signal, int32_t fromFrame = 0);

} // namespace orq::maximizer::test
