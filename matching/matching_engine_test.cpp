#include "matching/matching_engine.h"

#include "matching/test_signals.h"

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

namespace orq::matching {
namespace {

using namespace orq::tessaline::testing;

Channels stereoNoise(size_t n, uint32_t seed) {
    return {whiteNoise(n, seed), whiteNoise(n, seed + 100)};
}

Channels noiseChannels(int32_t channels, size_t n, uint32_t seed) {
    Channels c;
    for (int32_t i = 0; i < channels; ++i)
        c.push_back(whiteNoise(n, seed + uint32_t(i)));
    return c;
}

// w129 of the 257-point Hann window: the single tap of a flat design.
const double kFlatTap = 0.5 - 0.5 * std::cos(2.0 * M_PI * 129.0 / 257.0);

TEST(MatchEngineLatency, reported_latencies_at_44100_with_the_defaults) {
    MatchEngine stereo(44100, 2), mono(44100, 1);
    EXPECT_EQ(stereo.latency(), 896);
    EXPECT_EQ(mono.latency(), 1664);
    EXPECT_TRUE(stereo.setThirdOctave(true));
    EXPECT_EQ(stereo.latency(), 10819);
    // B = 2·418, D = 11, low-band latency 1664, Dpre = 545.
    EXPECT_TRUE(mono.setThirdOctave(true));
    EXPECT_EQ(mono.latency(), 836 + 11 * 1664 + 545);
    EXPECT_FALSE(stereo.setThirdOctave(false));
    EXPECT_EQ(stereo.latency(), 896);
}

TEST(MatchEngineLatency, third_octave_at_an_unlisted_rate_stays_equal_band) {
    MatchEngine engine(8000, 2);
    EXPECT_FALSE(engine.setThirdOctave(true));
    EXPECT_FALSE(engine.thirdOctave());
    EXPECT_EQ(engine.latency(), 896);
    for (int32_t rate : {22050, 32000, 44100, 48000, 64000, 88200, 96000}) {
        MatchEngine e(rate, 2);
        EXPECT_TRUE(e.setThirdOctave(true)) << rate;
    }
}

struct FlatCase {
    bool thirdOctave;
    int32_t channels;
};

class FlatCurve : public ::testing::TestWithParam<FlatCase> {};

TEST_P(FlatCurve, output_is_input_delayed_by_latency_for_any_call_split) {
    const FlatCase fc = GetParam();
    const Channels in = noiseChannels(fc.channels, 30000, 5);
    for (const auto& calls : {std::vector<int32_t>{1}, std::vector<int32_t>{9000},
                              std::vector<int32_t>{0, 17, 1024, 3, 4000}}) {
        MatchEngine engine(44100, fc.channels);
        engine.setThirdOctave(fc.thirdOctave);
        const int32_t latency = engine.latency();
        const Channels out = runInCalls(engine, in, calls);
        for (int32_t c = 0; c < fc.channels; ++c) {
            const DelayFit fit = fitDelay(in[size_t(c)], out[size_t(c)], latency);
            EXPECT_NEAR(toDb(fit.gain), 0.0, 0.001) << "channel " << c << " call " << calls[0];
            EXPECT_NEAR(fit.gain, kFlatTap, 2e-5);
            EXPECT_LT(fit.maxResidual, 2e-4) << "channel " << c << " call " << calls[0];
            // Nothing comes out before the latency has passed.
            double early = 0.0;
            for (int32_t n = 0; n < latency; ++n)
                early = std::max(early, double(std::abs(out[size_t(c)][size_t(n)])));
            EXPECT_LT(early, 1e-6);
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Modes, FlatCurve,
                         ::testing::Values(FlatCase{false, 1}, FlatCase{false, 2},
                                           FlatCase{true, 1}, FlatCase{true, 2}));

// Rates whose block is not a multiple of D carry the decimation phase across blocks.
TEST(MatchEngineThirdOctave, flat_curve_is_a_pure_delay_at_every_tabled_rate) {
    for (int32_t rate : {22050, 32000, 48000, 64000, 88200, 96000}) {
        for (int32_t channels : {1, 2}) {
            MatchEngine engine(rate, channels);
            ASSERT_TRUE(engine.setThirdOctave(true));
            const int32_t latency = engine.latency();
            EXPECT_EQ(latency, MatchEngine::latencyFor(rate, channels, 513, true));
            const Channels in = noiseChannels(channels, size_t(latency) + 12000, 77);
            const Channels out = runInCalls(engine, in, {1000, 7});
            const DelayFit fit = fitDelay(in[0], out[0], latency);
            EXPECT_NEAR(toDb(fit.gain), 0.0, 0.001) << rate << " Hz, " << channels << " channels";
            EXPECT_LT(fit.maxResidual, 2e-4) << rate << " Hz, " << channels << " channels";
        }
    }
}

TEST(MatchEngineFlat, set_flat_is_a_pure_delay_whatever_the_sliders) {
    for (bool third : {false, true}) {
        MatchEngine engine(44100, 2);
        engine.setThirdOctave(third);
        std::vector<float> sliders(30, 0.0f);
        sliders[5] = 12.0f;
        sliders[20] = -9.0f;
        engine.setSliders(sliders.data(), 30);
        engine.setFlat(true);
        const Channels in = stereoNoise(25000, 9);
        const Channels out = runInCalls(engine, in, {512});
        const DelayFit fit = fitDelay(in[0], out[0], engine.latency());
        EXPECT_NEAR(fit.gain, kPureDelayTap, 1e-5) << third;
        EXPECT_LT(fit.maxResidual, 2e-4) << third;
    }
}

TEST(MatchEngineFlat, zero_sample_call_does_nothing) {
    MatchEngine a(44100, 2), b(44100, 2);
    a.setThirdOctave(true);
    b.setThirdOctave(true);
    const Channels in = stereoNoise(14000, 3);
    const Channels ref = runInCalls(a, in, {700});
    const Channels out = runInCalls(b, in, {0, 700});
    for (size_t n = 0; n < ref[0].size(); ++n)
        ASSERT_EQ(ref[1][n], out[1][n]) << n;
}

TEST(MatchEngineThirdOctave, sine_at_the_crossover_passes_at_unity_gain) {
    for (double freq : {1000.0, 1060.0, 900.0}) {
        MatchEngine engine(44100, 2);
        ASSERT_TRUE(engine.setThirdOctave(true));
        const std::vector<float> s = sine(40000, freq, 44100.0, 0.5);
        const Channels out = runInCalls(engine, Channels{s, s}, {4096});
        const DelayFit fit = fitDelay(s, out[0], engine.latency());
        EXPECT_NEAR(toDb(fit.gain), toDb(kFlatTap), 0.001) << freq;
    }
}

TEST(MatchEngineThirdOctave, raised_low_slider_lifts_only_the_low_band) {
    MatchEngine engine(44100, 2);
    ASSERT_TRUE(engine.setThirdOctave(true));
    std::vector<float> sliders(30, 0.0f);
    for (size_t k = 3; k <= 9; ++k)
        sliders[k] = 6.0f; // 40 to 200 Hz
    engine.setSliders(sliders.data(), 30);
    for (double freq : {100.0, 3000.0}) {
        engine.reset();
        const std::vector<float> s = sine(50000, freq, 44100.0, 0.25);
        const Channels out = runInCalls(engine, Channels{s, s}, {2048});
        double pin = 0, pout = 0;
        for (size_t n = 30000; n < s.size(); ++n) {
            pin += double(s[n - size_t(engine.latency())]) * s[n - size_t(engine.latency())];
            pout += double(out[0][n]) * out[0][n];
        }
        const double gainDb = 10.0 * std::log10(pout / pin);
        EXPECT_NEAR(gainDb, freq < 1000 ? 6.0 : 0.0, 0.3) << freq;
    }
}

} // namespace
} // namespace orq::matching
