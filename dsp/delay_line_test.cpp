#include "dsp/delay_line.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

namespace {

using orq::dsp::DelayLine;

// A ramp per channel: sample t of channel c is 1 + t + 100000 c (exact in float).
std::vector<std::vector<float>> ramps(int32_t channels, int32_t frames) {
    std::vector<std::vector<float>> x(channels, std::vector<float>(frames));
    for (int32_t c = 0; c < channels; ++c)
        for (int32_t t = 0; t < frames; ++t)
            x[c][t] = float(1 + t + 100000 * c);
    return x;
}

// Frames of y that differ from x delayed by `delay` (zeros before it).
int32_t mismatches(const std::vector<std::vector<float>>& x,
                   const std::vector<std::vector<float>>& y, int32_t delay) {
    int32_t count = 0;
    for (size_t c = 0; c < x.size(); ++c)
        for (size_t t = 0; t < x[c].size(); ++t) {
            const float expected = t < size_t(delay) ? 0.0f : x[c][t - size_t(delay)];
            count += y[c][t] != expected ? 1 : 0;
        }
    return count;
}

TEST(DelayLine, delays_exactly_for_any_call_split_in_place_or_apart) {
    const int32_t frames = 9000;
    for (int32_t delay : {0, 1, 91, 512, 1536, 3000}) {
        for (int32_t call : {1, 700, 1024, 2048, 4096}) {
            for (bool inPlace : {true, false}) {
                const auto x = ramps(2, frames);
                auto y = x;
                DelayLine line(2, delay, 1024);
                for (int32_t start = 0; start < frames; start += call) {
                    const int32_t n = std::min(call, frames - start);
                    const float* in[] = {x[0].data() + start, x[1].data() + start};
                    float* out[] = {y[0].data() + start, y[1].data() + start};
                    if (inPlace) {
                        line.process(out, n);
                    } else {
                        line.process(in, out, n);
                    }
                }
                EXPECT_EQ(mismatches(x, y, delay), 0)
                    << "delay " << delay << ", calls of " << call << (inPlace ? ", in place" : "");
            }
        }
    }
}

TEST(DelayLine, reset_clears_the_history) {
    DelayLine line(1, 300, 256);
    std::vector<float> block(256, 1.0f);
    float* blocks[] = {block.data()};
    line.process(blocks, 256);
    line.process(blocks, 256);
    line.reset();
    std::vector<float> silence(256, 0.0f);
    float* silent[] = {silence.data()};
    line.process(silent, 256);
    for (float v : silence)
        EXPECT_EQ(v, 0.0f);
}

} // namespace
