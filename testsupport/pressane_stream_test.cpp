// Whole streams through Orq Pressane: the reported latency must be the signal's true delay, so
// that a host which drops `latency` frames at the start and appends the tail at the end gets
// every input frame back, aligned, at lag 0.
#include "maximizer/maximizer_test_support.h"
#include "maximizer/pressane_plugin.h"
#include "testsupport/frame_test_support.h"

#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <vector>

namespace orq {
namespace {

using maximizer::test::Channels;

constexpr int32_t kRateHz = 44100;
constexpr int32_t kStreamFrames = 10000;
// With DesGain 0 a signal below −5 dBFS passes every stage linearly:
// 0.5012 (pre-limiter) × 1.99526 (limiter make-up) × 0.9999 (resting limiter gain)
// × 0.999 × 0.99974 (output trims) ≈ 0.99866.
constexpr double kQuietPassGain = 0.99866;
// The product above is 0.998663; with inputs up to 0.5 and float rounding that stays well
// inside this bound, while a one-frame misalignment of the test signals is off by > 0.01.
constexpr double kQuietPassTolerance = 1e-5;

// Left: a −6 dBFS sine; right: −10 dBFS noise (the channels must not be swapped or mixed).
Channels quietStereo() {
    Channels in = maximizer::test::sine(2, kStreamFrames, 441.0, 0.5, kRateHz);
    in[1] = maximizer::test::whiteNoise(1, kStreamFrames, 0.316, 5)[0];
    return in;
}

// Largest |out − kQuietPassGain × in| over every frame and channel; out must be as long as in.
double worstDeviation(const Channels& in, const Channels& out) {
    double worst = 0.0;
    for (size_t c = 0; c < in.size(); ++c)
        for (size_t t = 0; t < in[c].size(); ++t)
            worst = std::max(worst, std::fabs(out[c][t] - kQuietPassGain * in[c][t]));
    return worst;
}

struct TailHost {
    Channels tail;
    static int32_t callback(void* context, PluginRecord*, int32_t request, intptr_t, void* b) {
        auto* host = static_cast<TailHost*>(context);
        if (request == kRequestHostMode) return kHostModeTakesTail;
        if (request != kRequestTake) return 0;
        const auto* record = static_cast<const TailRecord*>(b);
        host->tail.assign(record->channels, {});
        for (int32_t c = 0; c < record->channels; ++c)
            host->tail[c].assign(record->buffers[c], record->buffers[c] + record->frames);
        return 1;
    }
};

TEST(PressaneStream, latency_skip_and_stop_tail_return_every_frame_at_lag_zero) {
    TailHost host;
    std::unique_ptr<AudioPlugin> plugin(
        createPressanePlugin(createPressaneParameters(), TailHost::callback, &host));
    ASSERT_NE(plugin, nullptr);
    PluginRecord& record = plugin->record();
    OpenFormat format{kRateHz, 2, 0};
    ASSERT_EQ(record.dispatcher(&record, kCmdOpen, &format, 0), 0);
    record.dispatcher(&record, kCmdStart, nullptr, 0);
    const int32_t latency = record.dispatcher(&record, kCmdLatency, nullptr, 0);
    ASSERT_GT(latency, 0);

    // The host's side: process in chunks, drop the first `latency` frames, append the tail.
    const Channels in = quietStereo();
    Channels out(2);
    AudioBuffers buffers(2, 2, 4096, BufferLayout::Shared);
    int32_t skipped = 0;
    for (int32_t start = 0; start < kStreamFrames; start += 4096) {
        const int32_t n = std::min(4096, kStreamFrames - start);
        for (int32_t c = 0; c < 2; ++c)
            std::copy_n(in[c].data() + start, n, buffers.inputs()[c]);
        buffers.setFrames(n);
        ASSERT_EQ(record.process(&record, &buffers), n);
        const int32_t drop = std::min(n, latency - skipped);
        skipped += drop;
        for (int32_t c = 0; c < 2; ++c)
            out[c].insert(out[c].end(), buffers.outputs()[c] + drop, buffers.outputs()[c] + n);
    }
    ASSERT_EQ(record.dispatcher(&record, kCmdStop, nullptr, 0), 0);
    ASSERT_EQ(host.tail.size(), 2u);
    ASSERT_EQ(host.tail[0].size(), size_t(latency));
    for (int32_t c = 0; c < 2; ++c)
        out[c].insert(out[c].end(), host.tail[c].begin(), host.tail[c].end());

    ASSERT_EQ(out[0].size(), size_t(kStreamFrames));
    ASSERT_EQ(out[1].size(), size_t(kStreamFrames));
    EXPECT_NEAR(worstDeviation(in, out), 0.0, kQuietPassTolerance);
    // The last frame of the stream is there, not silence from the tail's end.
    EXPECT_NEAR(out[1].back(), kQuietPassGain * in[1].back(), kQuietPassTolerance);
}

TEST(PressaneStream, transform_filter_delivers_every_frame_aligned_through_end_of_stream) {
    test::FrameRig rig(test::waveFormat(kFormatFloat, 32, 2, kRateHz),
                       createPressanePlugin(createPressaneParameters(), nullptr, nullptr));
    ASSERT_TRUE(rig.connected());
    const Channels in = quietStereo();
    std::vector<float> interleaved(2 * size_t(kStreamFrames));
    for (int32_t t = 0; t < kStreamFrames; ++t)
        for (int32_t c = 0; c < 2; ++c)
            interleaved[2 * size_t(t) + size_t(c)] = in[c][t];
    // Media samples of uneven lengths, the first one shorter than the latency.
    const int32_t cuts[] = {0, 100, 3000, 7777, kStreamFrames};
    for (size_t k = 0; k + 1 < std::size(cuts); ++k)
        rig.push(test::bytesOf(std::vector<float>(interleaved.begin() + 2 * cuts[k],
                                                  interleaved.begin() + 2 * cuts[k + 1])));
    rig.endOfStream();

    const std::vector<float> delivered = test::valuesOf<float>(rig.delivered());
    ASSERT_EQ(delivered.size(), interleaved.size());
    Channels out(2, std::vector<float>(kStreamFrames));
    for (int32_t t = 0; t < kStreamFrames; ++t)
        for (int32_t c = 0; c < 2; ++c)
            out[c][t] = delivered[2 * size_t(t) + size_t(c)];
    EXPECT_NEAR(worstDeviation(in, out), 0.0, kQuietPassTolerance);
}

} // namespace
} // namespace orq
