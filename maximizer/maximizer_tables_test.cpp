#include "maximizer/maximizer_tables.h"

#include <gtest/gtest.h>

#include <cmath>

namespace orq::maximizer {
namespace {

TEST(MaximizerTables, level_stage_and_limiter_tables_hold_whole_db_steps) {
    const MaximizerTables& t = maximizerTables();
    EXPECT_NEAR(t.ratio[1], 1.1f, 1e-6);
    EXPECT_NEAR(t.ratio[13], 2.3f, 1e-6);
    EXPECT_NEAR(t.invRatio[13], 1.0 / 2.3, 1e-6);
    EXPECT_NEAR(t.slopeInv[0], 1.0f, 0.0);
    EXPECT_NEAR(t.slopeInv[4], 1.0 / (1.0 - 1.0 / 1.4), 1e-4);
    EXPECT_NEAR(t.dbGain[6], 1.99526, 1e-5);
    EXPECT_NEAR(t.wholeDb[23], 23.0f, 0.0);
    EXPECT_NEAR(t.limThresh[0], 0.501187, 1e-6);
    EXPECT_NEAR(t.holdThresh[0], 0.486968, 1e-6);
    EXPECT_NEAR(t.limMakeup[0], 1.99526, 1e-5);
    // Threshold and make-up cancel for every limiter index.
    for (int32_t j = 0; j < kLimiterTableSize; ++j)
        EXPECT_NEAR(t.limThresh[j] * t.limMakeup[j], 1.0, 1e-6) << "j = " << j;
}

TEST(MaximizerTables, release_tables_start_fast_then_slow_down_with_density) {
    const MaximizerTables& t = maximizerTables();
    for (int32_t i = 0; i < 6; ++i) {
        EXPECT_NEAR(t.releaseFast[i], 0.0125f, 0.0) << i;
        EXPECT_NEAR(t.releaseSlow[i], 0.0125f, 0.0) << i;
    }
    EXPECT_NEAR(t.releaseFast[6], (1 - 6 / 127.0) * 0.00952381 + 6 / 127.0 * 0.00028571428, 1e-8);
    EXPECT_NEAR(t.releaseFast[127], 0.00028571428, 1e-9);
    EXPECT_NEAR(t.releaseSlow[127], 0.0002, 1e-9);
    for (int32_t i = 7; i < kReleaseTableSize; ++i)
        EXPECT_LT(t.releaseFast[i], t.releaseFast[i - 1]);
}

TEST(MaximizerTables, clip_curves_rise_from_knee_to_full_scale_without_overshoot) {
    const MaximizerTables& t = maximizerTables();
    for (int32_t c = 0; c < kClipCurveCount; ++c) {
        const ClipCurve& curve = t.clipCurves[c];
        EXPECT_NEAR(curve[0], kSoftClipKnee, 1e-6) << "curve " << c;
        EXPECT_NEAR(curve[kClipCurveSize - 1], 1.0f, 1e-6) << "curve " << c;
        for (int32_t n = 1; n < kClipCurveSize; ++n) {
            ASSERT_GE(curve[n], curve[n - 1]) << "curve " << c << " entry " << n;
            ASSERT_LE(curve[n], 1.0f) << "curve " << c << " entry " << n;
        }
    }
    // Curve 0 is the straight line; a higher index bends harder towards full scale.
    EXPECT_NEAR(t.clipCurves[0][128], kSoftClipKnee + (1.0 - kSoftClipKnee) * 128 / 255.0, 1e-6);
    for (int32_t c = 2; c < kClipCurveCount; ++c)
        EXPECT_GT(t.clipCurves[c][40], t.clipCurves[c - 1][40]) << "curve " << c;
}

TEST(MaximizerTables, bezier_point_matches_closed_forms) {
    const BezierPoint line[2] = {{0.0, 2.0}, {1.0, 4.0}};
    EXPECT_NEAR(bezierPoint(line, 2, 0.25).y, 2.5, 1e-12);
    EXPECT_NEAR(bezierPoint(line, 2, 0.25).x, 0.25, 1e-12);
    const BezierPoint cubic[4] = {{0, 0}, {0, 1}, {1, 1}, {1, 0}};
    // y(t) = 3t(1−t)²·1 + 3t²(1−t)·1 = 3t(1 − t)
    EXPECT_NEAR(bezierPoint(cubic, 4, 0.5).y, 0.75, 1e-12);
    EXPECT_NEAR(bezierPoint(cubic, 4, 0.2).y, 0.48, 1e-12);
}

} // namespace
} // namespace orq::maximizer
