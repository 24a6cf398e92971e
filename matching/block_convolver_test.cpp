#include "matching/block_convolver.h"
#include "testsupport/test_signals.h"

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

namespace orq::matching {
namespace {

using test::whiteNoise;

// y[n] = sum_j h[j] x[n - delay - j]
std::vector<double> direct(const std::vector<float>& x, const std::vector<float>& h,
                           int32_t delay) {
    std::vector<double> y(x.size(), 0.0);
    for (size_t n = 0; n < x.size(); ++n) {
        for (size_t j = 0; j < h.size(); ++j) {
            const int64_t i = int64_t(n) - delay - int64_t(j);
            if (i >= 0) y[n] += double(h[j]) * x[size_t(i)];
        }
    }
    return y;
}

// Runs the convolver over channels of input split into calls of the given lengths (cycled).
std::vector<std::vector<float>> run(BlockConvolver& conv, const std::vector<std::vector<float>>& in,
                                    const std::vector<int32_t>& calls) {
    const size_t total = in[0].size();
    std::vector<std::vector<float>> out(in.size(), std::vector<float>(total, 0.0f));
    size_t pos = 0, ci = 0;
    while (pos < total) {
        const int32_t n =
            int32_t(std::min<size_t>(size_t(calls[ci++ % calls.size()]), total - pos));
        std::vector<const float*> ip;
        std::vector<float*> op;
        for (size_t c = 0; c < in.size(); ++c) {
            ip.push_back(in[c].data() + pos);
            op.push_back(out[c].data() + pos);
        }
        conv.process(ip.data(), op.data(), n);
        pos += size_t(n);
    }
    return out;
}

class ConvolverSplits : public ::testing::TestWithParam<int32_t> {};

TEST_P(ConvolverSplits, accumulating_process_equals_direct_convolution_delayed_by_one_frame) {
    const int32_t channels = GetParam();
    const std::vector<float> taps = whiteNoise(95, 7);
    BlockConvolver conv(channels, 512, 95, taps.data(), 95);
    const int32_t frame = conv.frameSize();
    EXPECT_EQ(frame, channels == 1 ? 2 * 418 : 418);

    std::vector<std::vector<float>> in;
    for (int32_t c = 0; c < channels; ++c)
        in.push_back(whiteNoise(6000, 11 + uint32_t(c)));
    for (const auto& calls : {std::vector<int32_t>{1}, std::vector<int32_t>{2000},
                              std::vector<int32_t>{37, 0, 418, 5, 1500}}) {
        conv.reset();
        const auto out = run(conv, in, calls);
        for (int32_t c = 0; c < channels; ++c) {
            const auto want = direct(in[size_t(c)], taps, frame);
            double maxErr = 0.0;
            for (size_t n = 0; n < want.size(); ++n) {
                maxErr = std::max(maxErr, std::abs(want[n] - out[size_t(c)][n]));
            }
            EXPECT_LT(maxErr, 2e-5) << "channel " << c << " first call " << calls[0];
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Channels, ConvolverSplits, ::testing::Values(1, 2));

TEST(BlockConvolverLatency, latency_is_one_frame_plus_half_the_history) {
    BlockConvolver stereo(2, 1024, 257);
    BlockConvolver mono(1, 1024, 257);
    EXPECT_EQ(stereo.latency(), 896);
    EXPECT_EQ(mono.latency(), 1664);
    BlockConvolver high(2, 512, 257);
    EXPECT_EQ(high.latency(), 384);
    EXPECT_FLOAT_EQ(high.powerScale(), 1.0f / (512.0f * 512.0f));
}

TEST(BlockConvolverFlat, flat_filter_is_a_pure_delay_of_the_reported_latency) {
    for (int32_t channels : {1, 2}) {
        BlockConvolver conv(channels, 1024, 257);
        const std::vector<float> taps = whiteNoise(257, 3);
        conv.setFilterTaps(taps.data(), 257);
        conv.setFlat(true);
        std::vector<std::vector<float>> in;
        for (int32_t c = 0; c < channels; ++c)
            in.push_back(whiteNoise(8000, 20 + uint32_t(c)));
        const auto out = run(conv, in, {333});
        const int32_t lat = conv.latency();
        double maxErr = 0.0;
        for (int32_t c = 0; c < channels; ++c) {
            for (size_t n = size_t(lat); n < in[0].size(); ++n) {
                maxErr = std::max(maxErr, std::abs(double(out[size_t(c)][n]) -
                                                   kPureDelayTap * in[size_t(c)][n - size_t(lat)]));
            }
        }
        EXPECT_LT(maxErr, 1e-5) << channels << " channels";
    }
}

TEST(BlockConvolverFlat, zero_sample_call_changes_nothing) {
    BlockConvolver a(2, 512, 257), b(2, 512, 257);
    std::vector<std::vector<float>> in{whiteNoise(3000, 1), whiteNoise(3000, 2)};
    const auto ref = run(a, in, {100});
    // The same stream with empty calls interleaved.
    const auto out = run(b, in, {0, 100, 0});
    for (size_t c = 0; c < 2; ++c) {
        for (size_t n = 0; n < ref[c].size(); ++n)
            ASSERT_EQ(ref[c][n], out[c][n]) << n;
    }
}

TEST(BlockConvolverFilter, taps_to_arrays_gives_the_spectrum_of_the_taps) {
    BlockConvolver conv(2, 512, 257);
    std::vector<float> taps(257, 0.0f);
    taps[3] = 1.0f;
    std::vector<float> re(257), im(257);
    conv.tapsToArrays(taps.data(), 257, re.data(), im.data());
    // A delay of 3 samples: e^{-2 pi i 3k/512}.
    for (int32_t k = 0; k <= 256; k += 17) {
        const double angle = -2.0 * M_PI * 3.0 * k / 512.0;
        EXPECT_NEAR(re[size_t(k)], std::cos(angle), 1e-5) << k;
        EXPECT_NEAR(im[size_t(k)], std::sin(angle), 1e-5) << k;
    }
}

} // namespace
} // namespace orq::matching
