#include "enhancer/density_compressor.h"
#include "enhancer/density_compressor_design.h"

#include <gtest/gtest.h>

#include <cmath>

namespace orq::enhancer {
namespace {

constexpr double kRate = 44100.0;
constexpr int32_t kLookahead = 89;

double toDb(double gain) {
    return 20.0 * std::log10(gain);
}

// Lanes 0 and 1 with ratio 2, lanes 2 and 3 with ratio 3, as in the engine.
DensityCompressor makeCompressor(double density, bool slow = false) {
    DensityCompressor c(kLookahead);
    const double t = densityThresholdDb(density);
    for (int32_t lane = 0; lane < kLaneCount; ++lane)
        c.setLane(lane, designDensityCompressor(t, lane < 2 ? 2.0 : 3.0, slow, kRate));
    c.reset();
    return c;
}

Lane4 runConstant(DensityCompressor& c, float x, int32_t frames) {
    Lane4 y = splat(0.0f);
    for (int32_t n = 0; n < frames; ++n)
        y = c.process(splat(x));
    return y;
}

TEST(DensityCompressorDesign, density_6_puts_threshold_at_minus_70_db_with_35_and_46_7_db_below) {
    EXPECT_DOUBLE_EQ(densityThresholdDb(6.0), -70.0);
    EXPECT_DOUBLE_EQ(densityThresholdDb(3.0), -40.0);
    const DensityCompressorDesign r2 = designDensityCompressor(-70.0, 2.0, false, kRate);
    const DensityCompressorDesign r3 = designDensityCompressor(-70.0, 3.0, false, kRate);
    EXPECT_NEAR(10.0 * std::log10(r2.thresholdPower), -70.0, 1e-9);
    EXPECT_NEAR(toDb(r2.belowGain), 35.0, 1e-9);
    EXPECT_NEAR(toDb(r3.belowGain), 46.6667, 1e-3);
    EXPECT_NEAR(r2.exponent, -0.25, 1e-12);
    EXPECT_NEAR(r3.exponent, -1.0 / 3.0, 1e-12);
}

TEST(DensityCompressorDesign, default_density_raises_a_ratio_2_band_by_20_db) {
    EXPECT_NEAR(toDb(designDensityCompressor(densityThresholdDb(3.0), 2.0, false, kRate).belowGain),
                20.0, 1e-9);
}

TEST(DensityCompressorDesign, unusable_inputs_are_limited) {
    const DensityCompressorDesign d = designDensityCompressor(NAN, NAN, false, -1.0);
    EXPECT_TRUE(std::isfinite(d.belowGain));
    EXPECT_TRUE(std::isfinite(d.exponent));
    EXPECT_GT(d.powerCoeff, 0.0);
    const DensityCompressorDesign deep = designDensityCompressor(-1.0e6, 1.0e6, true, kRate);
    EXPECT_GT(deep.thresholdPower, 0.0);
    EXPECT_TRUE(std::isfinite(deep.belowGain));
}

TEST(DensityCompressor, starts_at_the_gain_below_threshold) {
    DensityCompressor c = makeCompressor(6.0);
    EXPECT_NEAR(toDb(c.gain()[0]), 35.0, 1e-4);
    EXPECT_NEAR(toDb(c.gain()[2]), 46.6667, 1e-3);
}

TEST(DensityCompressor, raises_a_quiet_band_by_the_constant_gain_below_threshold) {
    DensityCompressor c = makeCompressor(6.0);
    const float quiet = 1.0e-5f; // -100 dB, under the -70 dB threshold
    const Lane4 y = runConstant(c, quiet, 4000);
    EXPECT_NEAR(toDb(y[0] / quiet), 35.0, 0.01);
    EXPECT_NEAR(toDb(y[2] / quiet), 46.667, 0.01);
}

TEST(DensityCompressor, above_threshold_the_output_follows_the_rth_root_of_the_input) {
    for (float x : {1.0f, 0.25f, 0.01f, -0.5f}) {
        DensityCompressor c = makeCompressor(3.0);
        const Lane4 y = runConstant(c, x, 20000);
        const float sign = x < 0.0f ? -1.0f : 1.0f;
        EXPECT_NEAR(y[0], sign * std::pow(std::abs(x), 1.0f / 2.0f), 1e-3f * std::abs(y[0])) << x;
        EXPECT_NEAR(y[3], sign * std::pow(std::abs(x), 1.0f / 3.0f), 1e-3f * std::abs(y[3])) << x;
    }
}

TEST(DensityCompressor, output_is_the_input_delayed_by_the_lookahead) {
    DensityCompressor c = makeCompressor(3.0);
    for (int32_t n = 0; n < kLookahead; ++n)
        EXPECT_EQ(c.process(splat(0.5f))[0], 0.0f) << n;
    EXPECT_GT(c.process(splat(0.5f))[0], 0.0f);
    EXPECT_EQ(c.lookaheadFrames(), kLookahead);
}

TEST(DensityCompressor, gain_changes_only_on_every_fourth_sample) {
    DensityCompressor c = makeCompressor(3.0);
    Lane4 previous = c.gain();
    int32_t changes = 0;
    for (int32_t n = 0; n < 400; ++n) {
        c.process(splat(0.7f));
        const Lane4 g = c.gain();
        if (g[0] != previous[0]) {
            EXPECT_EQ(n % kGainEvaluationInterval, 0) << n;
            ++changes;
        }
        previous = g;
    }
    EXPECT_GT(changes, 50);
}

// Samples until lane 0's gain stays within toleranceDb of where a long run of x ends.
int32_t settlingSamples(DensityCompressor& c, float x, int32_t frames, double toleranceDb) {
    DensityCompressor probe = c;
    runConstant(probe, x, frames);
    const double end = toDb(probe.gain()[0]);
    int32_t settled = 0;
    for (int32_t n = 0; n < frames; ++n) {
        c.process(splat(x));
        if (std::abs(toDb(c.gain()[0]) - end) > toleranceDb) settled = n + 1;
    }
    return settled;
}

TEST(DensityCompressor, kick_slows_both_attack_and_release) {
    const int32_t longRun = int32_t(kRate * 3.0);
    int32_t attack[2], release[2];
    for (int32_t slow = 0; slow < 2; ++slow) {
        DensityCompressor c = makeCompressor(3.0, slow != 0);
        attack[slow] = settlingSamples(c, 0.9f, longRun, 0.25);
        release[slow] = settlingSamples(c, 0.0f, longRun, 1.0);
    }
    EXPECT_GT(attack[1], 2 * attack[0]);
    EXPECT_GT(release[1], 2 * release[0]);
    // Release is far slower than attack.
    EXPECT_GT(release[0], 10 * attack[0]);
}

TEST(DensityCompressor, a_loud_onset_after_silence_stays_within_1_5_db_of_the_static_curve) {
    for (bool slow : {false, true}) {
        DensityCompressor c = makeCompressor(6.0, slow);
        runConstant(c, 0.0f, 10000); // gain at +35 / +46.7 dB
        float worst = 0.0f;
        for (int32_t n = 0; n < 4000; ++n) {
            const Lane4 y = c.process(splat(0.5f));
            if (n >= kLookahead) worst = std::max(worst, y[2] / std::pow(0.5f, 1.0f / 3.0f));
        }
        // The power detector is still rising when the onset leaves the look-ahead: +0.5 dB.
        EXPECT_LE(toDb(worst), kGainCeilingOverTargetDb + 0.5) << "slow " << slow;
        EXPECT_GE(toDb(worst), -0.5) << "slow " << slow;
    }
}

TEST(DensityCompressor, reset_recovers_from_a_non_finite_input) {
    DensityCompressor c = makeCompressor(3.0);
    c.process(splat(INFINITY));
    runConstant(c, 0.1f, 8);
    EXPECT_FALSE(c.isFinite());
    c.reset();
    EXPECT_TRUE(c.isFinite());
    EXPECT_NEAR(toDb(c.gain()[0]), 20.0, 1e-4);
}

} // namespace
} // namespace orq::enhancer
