// Signals and measurements shared by the matching filter's tests.
#pragma once

#include "testsupport/test_signals.h"

#include <cmath>
#include <cstdint>
#include <functional>
#include <random>
#include <vector>

namespace orq::tessaline::testing {

using Channels = std::vector<std::vector<float>>;

inline std::vector<float> whiteNoise(size_t n, uint32_t seed, float amplitude = 0.5f) {
    return test::whiteNoise(n, seed, amplitude);
}

using test::pinkNoise;
using test::sine;

// A few seconds of something like a mix: a kick and a bass line far louder than everything above
// a few hundred hertz, a quiet chord pad, and off-beat hats of rising (differentiated) noise. Its
// level falls by some 40 dB from the bass to the mid range, as music's does.
// startS: where in the song the excerpt starts.
inline std::vector<float> musicLike(size_t n, double rateHz, uint32_t seed, double startS = 0.0) {
    constexpr double kBeatS = 0.5;
    constexpr double kBassHz[] = {55.0, 43.65, 65.41, 49.0}; // one note per bar
    constexpr double kPadHz[] = {220.0, 261.6, 329.6, 440.0};
    std::mt19937 rng(seed);
    std::uniform_real_distribution<double> u(-1.0, 1.0);
    std::vector<float> v(n);
    double lastNoise = 0.0;
    for (size_t i = 0; i < n; ++i) {
        const double t = startS + double(i) / rateHz;
        const double inBeat = std::fmod(t, kBeatS);
        const double kick =
            0.9 * std::exp(-18.0 * inBeat) *
            std::sin(2 * M_PI * (45.0 * inBeat + 2.0 * (1 - std::exp(-30.0 * inBeat))));
        const double bassHz = kBassHz[size_t(t / (4 * kBeatS)) % 4];
        const double bass =
            0.35 * std::exp(-4.0 * std::fmod(t, kBeatS / 2)) * std::sin(2 * M_PI * bassHz * t);
        double pad = 0.0;
        for (double f : kPadHz) {
            for (int h = 1; h <= 4; ++h)
                pad += std::sin(2 * M_PI * f * h * t + h) / (h * h);
        }
        const double w = u(rng);
        const double hat =
            0.18 * std::exp(-60.0 * std::fmod(t + kBeatS / 2, kBeatS)) * (w - lastNoise);
        lastNoise = w;
        v[i] = float(0.5 * (kick + bass + 0.06 * pad + hat));
    }
    return v;
}

// Feeds channels through process(in, out, n) in calls whose lengths cycle through calls.
template <typename Engine>
Channels runInCalls(Engine& engine, const Channels& in, const std::vector<int32_t>& calls) {
    const size_t total = in[0].size();
    Channels out(in.size(), std::vector<float>(total, 0.0f));
    size_t pos = 0, ci = 0;
    std::vector<const float*> ip(in.size());
    std::vector<float*> op(in.size());
    while (pos < total) {
        const size_t want = size_t(calls[ci++ % calls.size()]);
        const int32_t n = int32_t(std::min(want, total - pos));
        for (size_t c = 0; c < in.size(); ++c) {
            ip[c] = in[c].data() + pos;
            op[c] = out[c].data() + pos;
        }
        engine.process(ip.data(), op.data(), n);
        pos += size_t(n);
    }
    return out;
}

// Least-squares gain of out against in delayed by `delay`, and the largest residual.
struct DelayFit {
    double gain = 0.0;
    double maxResidual = 0.0;
};
inline DelayFit fitDelay(const std::vector<float>& in, const std::vector<float>& out, int32_t delay,
                         size_t skip = 0) {
    double xy = 0.0, xx = 0.0;
    const size_t start = std::max(size_t(delay), skip);
    for (size_t n = start; n < out.size(); ++n) {
        xy += double(out[n]) * in[n - size_t(delay)];
        xx += double(in[n - size_t(delay)]) * in[n - size_t(delay)];
    }
    DelayFit f;
    f.gain = xx > 0.0 ? xy / xx : 0.0;
    for (size_t n = start; n < out.size(); ++n) {
        f.maxResidual =
            std::max(f.maxResidual, std::abs(double(out[n]) - f.gain * in[n - size_t(delay)]));
    }
    return f;
}

inline double toDb(double gain) {
    return 20.0 * std::log10(gain);
}

using test::Biquad;

} // namespace orq::tessaline::testing
