// Signals and runners shared by the compressor's tests.
#pragma once

#include "runtime/block_processor.h"
#include "testsupport/test_signals.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <vector>

namespace orq::compressor::testing {

using Channels = std::vector<std::vector<float>>;

inline Channels noise(int32_t channels, int32_t frames, float amplitude, uint32_t seed) {
    return test::whiteNoiseChannels(size_t(channels), size_t(frames), seed, amplitude);
}

inline Channels sine(int32_t channels, int32_t frames, double hz, double sampleRate,
                     float amplitude) {
    return Channels(size_t(channels), test::sine(size_t(frames), hz, sampleRate, amplitude));
}

// Runs the processor over the signal in calls of `chunk` frames (the last one shorter).
inline Channels run(BlockProcessor& processor, const Channels& input, int32_t chunk) {
    Channels output = input;
    const int32_t frames = static_cast<int32_t>(input.front().size());
    std::vector<float*> in(input.size());
    std::vector<float*> out(input.size());
    Channels work = input;
    for (int32_t start = 0; start < frames; start += chunk) {
        const int32_t n = std::min(chunk, frames - start);
        for (size_t ch = 0; ch < input.size(); ++ch) {
            in[ch] = work[ch].data() + start;
            out[ch] = output[ch].data() + start;
        }
        processor.process(in.data(), out.data(), n);
    }
    return output;
}

// Largest |output[t] - input[t - delay]| over every channel, from frame `from` on.
inline double delayedError(const Channels& input, const Channels& output, int32_t delay,
                           int32_t from = 0) {
    double worst = 0.0;
    for (size_t ch = 0; ch < input.size(); ++ch)
        for (size_t t = std::max<size_t>(from, delay); t < output[ch].size(); ++t)
            worst = std::max(worst,
                             std::fabs(static_cast<double>(output[ch][t]) - input[ch][t - delay]));
    return worst;
}

// Peak |x| of one channel over [from, to).
inline double peak(const std::vector<float>& x, size_t from, size_t to) {
    double p = 0.0;
    for (size_t i = from; i < std::min(to, x.size()); ++i)
        p = std::max(p, std::fabs(double(x[i])));
    return p;
}

inline double toDb(double linear) {
    return 20.0 * std::log10(linear);
}

} // namespace orq::compressor::testing
