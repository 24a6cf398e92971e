// Each stage of the maximizer on its own: the level stage's static curve and attack, the peak
// limiter's attack, hold and release, and the clipper's mapping.
#include "maximizer/curve_clipper.h"
#include "maximizer/level_stage.h"
#include "maximizer/peak_limiter.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

namespace orq::maximizer {
namespace {

constexpr int32_t kRateHz = 44100;
constexpr float kSamplesPerMs = 44.1f;
constexpr int32_t kLookAhead = 88;

TEST(LevelStage, steady_level_above_threshold_settles_on_the_ratio_curve_and_below_it_at_one) {
    for (const float powerDb : {-3.0f, -15.0f}) {
        LevelStage stage;
        stage.open(kSamplesPerMs, 44, 14, kLookAhead, 1);
        const float thresholdDb = -10.0f, ratio = 2.0f;
        stage.setThresholdDb(thresholdDb);
        stage.setInverseRatio(1.0f / ratio);
        const float power = std::pow(10.0f, powerDb / 10.0f);
        for (int32_t t = 0; t < kRateHz; ++t) {
            stage.detect(power);
            stage.stepGain();
        }
        // Above the threshold the gain takes (level − threshold)(1 − 1/ratio) dB off.
        const double expectedDb =
            powerDb > thresholdDb ? -(powerDb - thresholdDb) * (1.0 - 1.0 / ratio) : 0.0;
        EXPECT_NEAR(stage.slowLevelDb(), powerDb, 0.01) << powerDb << " dB";
        EXPECT_NEAR(20.0 * std::log10(stage.gain()), expectedDb, 0.01) << powerDb << " dB";
        EXPECT_NEAR(stage.crestSmooth(), 0.0, 0.05) << "steady: fast and slow levels agree";
    }
}

TEST(LevelStage, gain_follows_a_slow_crescendo_down_to_the_ratio_curve_without_a_ramp) {
    LevelStage stage;
    stage.open(kSamplesPerMs, 44, 14, kLookAhead, 1);
    stage.setThresholdDb(-30.0f);
    stage.setInverseRatio(1.0f / 2.0f);
    for (int32_t t = 0; t < kRateHz / 10; ++t) { // quiet, below the threshold
        stage.detect(1e-4f);
        stage.stepGain();
    }
    ASSERT_NEAR(stage.gain(), 1.0f, 1e-6);
    // From −40 to −10 dB over 0.2 s: the fast level stays within the transient crest of the
    // slow one, so the gain follows its slow target (attack) instead of ramping ahead of it.
    const double targetDb = -(-10.0 + 30.0) * 0.5;
    float power = 1e-4f, lowestDb = 0.0f;
    for (int32_t t = 0; t < kRateHz / 5 + kRateHz / 10; ++t) {
        power = std::min(0.1f, power * 1.000783f);
        stage.detect(power);
        stage.stepGain();
        lowestDb = std::min(lowestDb, 20.0f * std::log10(stage.gain()));
    }
    EXPECT_NEAR(20.0 * std::log10(stage.gain()), targetDb, 0.2);
    EXPECT_GT(lowestDb, targetDb - 0.5) << "no undershoot: the gain never ramped";
}

TEST(PeakLimiter, peak_above_the_ceiling_is_met_by_a_linear_attack_then_held_then_released) {
    PeakLimiter limiter;
    limiter.open(kRateHz, kSamplesPerMs, kLookAhead, 1, maximizerTables());
    const float ceiling = 0.5f, peak = 0.8f;
    limiter.setCeilings(ceiling, 0.48f);
    std::vector<float> gain;
    for (int32_t t = 0; t < kRateHz; ++t) {
        limiter.detect(t == 0 ? peak : 0.0f);
        limiter.stepGain();
        gain.push_back(limiter.gain());
    }
    // Down to ceiling / peak over L − 1 frames, in equal steps.
    const float step = gain[10] - gain[11];
    EXPECT_GT(step, 0.0f);
    EXPECT_NEAR(gain[20] - gain[21], step, 1e-6);
    const float held = gain[kLookAhead + 2];
    EXPECT_NEAR(held, ceiling / peak, 0.01);
    // Held (2L frames from the peak), then released back to rest.
    for (int32_t t = kLookAhead + 2; t < 2 * kLookAhead - 2; ++t)
        ASSERT_NEAR(gain[t], held, 0.0) << "frame " << t;
    EXPECT_GT(gain[2 * kLookAhead + 20], gain[2 * kLookAhead]);
    EXPECT_NEAR(gain.back(), PeakLimiter::kGainMax, 0.0);
    EXPECT_FALSE(limiter.attacking() || limiter.holding() || limiter.releasing());
}

TEST(PeakLimiter, peaks_below_the_ceiling_leave_the_gain_at_rest) {
    PeakLimiter limiter;
    limiter.open(kRateHz, kSamplesPerMs, kLookAhead, 2, maximizerTables());
    limiter.setCeilings(0.5f, 0.48f);
    for (int32_t t = 0; t < 10000; ++t) {
        limiter.detect(0.499f * static_cast<float>(t % 7) / 6.0f);
        limiter.stepGain();
        ASSERT_NEAR(limiter.gain(), PeakLimiter::kGainMax, 0.0) << "frame " << t;
    }
    EXPECT_NEAR(limiter.overDensity(), 0.0f, 0.0);
}

TEST(CurveClipper, passes_below_the_knee_and_maps_knee_to_clip_top_onto_knee_to_full_scale) {
    CurveClipper clipper(maximizerTables());
    const float clipTop = std::pow(10.0f, 3.0f / 20.0f);
    clipper.setRange(clipTop);
    for (const int32_t curve : {0, 9, 18}) {
        clipper.setCurve(curve);
        EXPECT_EQ(clipper.clip(0.5f), 0.5f);
        EXPECT_EQ(clipper.clip(-kSoftClipKnee), -kSoftClipKnee);
        EXPECT_NEAR(clipper.clip(clipTop), 1.0f, 1e-3) << "curve " << curve;
        EXPECT_LE(clipper.clip(50.0f), 1.0f);
        float previous = kSoftClipKnee;
        for (float x = kSoftClipKnee; x < 2.0f; x += 0.001f) {
            const float y = clipper.clip(x);
            ASSERT_GE(y, previous) << "curve " << curve << " at " << x;
            ASSERT_EQ(clipper.clip(-x), -y);
            previous = y;
        }
    }
}

// Peaks beyond any real level (the engine holds its input inside ±1000, the limiter alone does
// not): the gain stays a number from 0 to rest, and the limiter comes back to rest after them.
TEST(PeakLimiter, peaks_of_any_size_keep_the_gain_a_number_from_zero_to_rest) {
    PeakLimiter limiter;
    limiter.open(kRateHz, kSamplesPerMs, kLookAhead, 1, maximizerTables());
    limiter.setCeilings(0.5f, 0.48f);
    const float huge[] = {1e30f, std::numeric_limits<float>::max(),
                          std::numeric_limits<float>::infinity()};
    for (int32_t t = 0; t < 2 * kRateHz; ++t) {
        const bool burst = t >= 1000 && t < 1300;
        limiter.detect(burst ? huge[t % 3] : 0.3f);
        limiter.stepGain();
        ASSERT_GE(limiter.gain(), 0.0f) << "frame " << t;
        ASSERT_LE(limiter.gain(), PeakLimiter::kGainMax) << "frame " << t;
    }
    EXPECT_NEAR(limiter.gain(), PeakLimiter::kGainMax, 0.0);
}

// The clipper on its own takes whatever reaches it: not a number comes out as silence, and no
// magnitude, however large, reads outside its curve.
TEST(CurveClipper, not_a_number_gives_silence_and_huge_magnitudes_the_curves_end) {
    CurveClipper clipper(maximizerTables());
    clipper.setRange(std::pow(10.0f, 3.0f / 20.0f));
    const float end = clipper.clip(1000.0f);
    EXPECT_NEAR(end, 1.0f, 1e-3);
    for (const float x :
         {std::numeric_limits<float>::quiet_NaN(), -std::numeric_limits<float>::quiet_NaN()})
        EXPECT_EQ(clipper.clip(x), 0.0f);
    for (const float x :
         {1e30f, std::numeric_limits<float>::max(), std::numeric_limits<float>::infinity()}) {
        EXPECT_EQ(clipper.clip(x), end) << x;
        EXPECT_EQ(clipper.clip(-x), -end) << x;
    }
}

} // namespace
} // namespace orq::maximizer
