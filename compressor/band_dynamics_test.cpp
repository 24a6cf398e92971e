#include "compressor/band_dynamics.h"
#include "compressor/gain_curve.h"
#include "compressor/gain_stage.h"
#include "compressor/soft_clipper.h"
#include "compressor/test_signals.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>

namespace {

using namespace orq::compressor;
using namespace orq::compressor::testing;

constexpr float kRate = 44100.0f;

BandShape shapeOf(std::initializer_list<std::pair<float, float>> points) {
    BandShape s{};
    for (const auto& [x, y] : points) {
        s.x[s.count] = x;
        s.y[s.count] = y;
        ++s.count;
    }
    return s;
}

GainTable constantTable(float gain) {
    GainTable t;
    t.fill(gain);
    return t;
}

// Runs a stage over a signal in place, one call per 256 frames.
void runStage(GainStage& stage, Channels& x) {
    const int32_t frames = static_cast<int32_t>(x.front().size());
    std::vector<float*> ptrs(x.size());
    for (int32_t start = 0; start < frames; start += 256) {
        for (size_t ch = 0; ch < x.size(); ++ch)
            ptrs[ch] = x[ch].data() + start;
        stage.process(ptrs.data(), std::min(256, frames - start));
    }
}

TEST(GainCurve, half_slope_shape_gives_half_gain_across_the_table) {
    GainTable table{};
    ASSERT_TRUE(GainCurve().build(shapeOf({{0.0f, 0.0f}, {1.0f, 0.5f}}), table));
    EXPECT_NEAR(table[0], 1.0, 1e-6); // the floor maps onto itself
    EXPECT_NEAR(table[1], 0.50013, 1e-5);
    EXPECT_NEAR(table[128], 0.5, 1e-5);
    EXPECT_NEAR(table[255], 0.5, 1e-6);
    for (int k = 2; k < kGainTableSize; ++k)
        EXPECT_LE(std::fabs(table[k] - 0.5), 1.3e-4);
}

TEST(GainCurve, unity_shape_gives_unity_table) {
    GainTable table{};
    ASSERT_TRUE(GainCurve().build(defaultBandShape(), table));
    for (float g : table)
        EXPECT_NEAR(g, 1.0, 1e-6);
}

TEST(GainCurve, points_inside_the_axis_extend_their_end_values) {
    // Knee at 0.5: unity below, flat output above; the first point is not at 0.
    GainTable table{};
    ASSERT_TRUE(GainCurve().build(shapeOf({{0.25f, 0.25f}, {0.5f, 0.5f}, {0.75f, 0.5f}}), table));
    EXPECT_NEAR(table[10], table[64], 1e-7); // before the first point: its own value
    EXPECT_NEAR(table[64], 0.25 / GainCurve::levelOfIndex(64), 1e-4); // unity at grid rounding
    EXPECT_NEAR(table[191], 0.5 / GainCurve::levelOfIndex(191), 1e-4);
    EXPECT_NEAR(table[255], table[191], 1e-7); // after the last point: the last value
}

TEST(GainCurve, invalid_shapes_are_refused_and_leave_the_table_untouched) {
    const float nan = std::numeric_limits<float>::quiet_NaN();
    const float inf = std::numeric_limits<float>::infinity();
    std::vector<BandShape> bad;
    for (int32_t count : {-1, 0, 1, 16, 32, 33, 1000000}) {
        BandShape s = defaultBandShape();
        s.count = count;
        bad.push_back(s);
    }
    bad.push_back(shapeOf({{0.0f, 0.0f}, {1.0f, nan}}));
    bad.push_back(shapeOf({{nan, 0.0f}, {1.0f, 1.0f}}));
    bad.push_back(shapeOf({{0.0f, 0.0f}, {inf, 1.0f}}));
    bad.push_back(shapeOf({{0.0f, 0.0f}, {1.0f, 1.5f}}));
    bad.push_back(shapeOf({{-0.1f, 0.0f}, {1.0f, 1.0f}}));
    bad.push_back(shapeOf({{0.0f, 0.0f}, {0.6f, 0.3f}, {0.4f, 0.5f}, {1.0f, 1.0f}}));
    GainTable table = constantTable(0.75f);
    for (size_t i = 0; i < bad.size(); ++i) {
        EXPECT_FALSE(GainCurve::isValid(bad[i])) << "shape " << i;
        EXPECT_FALSE(GainCurve().build(bad[i], table)) << "shape " << i;
    }
    for (float g : table)
        EXPECT_EQ(g, 0.75f);
}

TEST(GainCurve, vertical_segment_takes_its_upper_point_without_dividing_by_zero) {
    GainTable table{};
    ASSERT_TRUE(GainCurve().build(
        shapeOf({{0.0f, 0.0f}, {0.5f, 0.25f}, {0.5f, 0.5f}, {1.0f, 0.5f}}), table));
    for (float g : table)
        EXPECT_TRUE(std::isfinite(g));
    EXPECT_NEAR(table[128], 0.5 / GainCurve::levelOfIndex(128), 1e-4);
    // Two points at one input level with nothing else: a finite table too.
    ASSERT_TRUE(GainCurve().build(shapeOf({{0.3f, 0.1f}, {0.3f, 0.2f}}), table));
    for (float g : table)
        EXPECT_TRUE(std::isfinite(g));
}

// The highest output a table gives at any of its levels; entry 0 is left out, as a band replaces
// it with entry 1 when loading.
double highestOutput(const GainTable& table) {
    double highest = 0.0;
    for (int32_t k = 1; k < kGainTableSize; ++k)
        highest = std::max(highest, table[k] * GainCurve::levelOfIndex(k));
    return highest;
}

TEST(GainCurve, curves_that_lift_full_scale_above_full_scale_are_refused) {
    // Refused: a vertical segment at input 0 with nothing after it (gain 1 / 1e-6 everywhere),
    // the same just inside the first entry, a curve ending within the second entry, and curves
    // ending below full scale with their output above their input.
    const std::vector<BandShape> bad = {
        shapeOf({{0.0f, 0.0f}, {0.0f, 1.0f}}),
        shapeOf({{0.0f, 1.0f}, {0.0f, 1.0f}}),
        shapeOf({{0.0f, 0.0f}, {0.001f, 0.0f}, {0.001f, 1.0f}}),
        shapeOf({{0.0f, 0.0f}, {0.002f, 1.0f}}),
        shapeOf({{0.0f, 0.0f}, {0.5f, 0.51f}}),
        shapeOf({{0.0f, 0.0f}, {0.3f, 0.1f}, {0.3f, 0.4f}}),
    };
    GainTable table = constantTable(0.75f);
    for (size_t i = 0; i < bad.size(); ++i) {
        EXPECT_FALSE(GainCurve::isValid(bad[i])) << "shape " << i;
        EXPECT_FALSE(GainCurve().build(bad[i], table)) << "shape " << i;
    }
    for (float g : table)
        EXPECT_EQ(g, 0.75f);
}

TEST(GainCurve, curves_the_editor_draws_stay_usable_and_within_full_scale) {
    // Kept: the first point raised at input 0 (the editor moves the end points vertically only),
    // a vertical segment at input 0 followed by more points, a curve ending below full scale at
    // unity gain, and a steep last segment starting within half an entry of full scale, whose
    // line the table's rounding would carry past its end point.
    const std::vector<BandShape> good = {
        shapeOf({{0.0f, 0.5f}, {1.0f, 1.0f}}),
        shapeOf({{0.0f, 1.0f}, {1.0f, 1.0f}}),
        shapeOf({{0.0f, 0.0f}, {0.0f, 1.0f}, {1.0f, 1.0f}}),
        shapeOf({{0.0f, 0.0f}, {0.0f, 0.3f}, {0.5f, 0.4f}, {1.0f, 0.2f}}),
        shapeOf({{0.0f, 0.0f}, {0.5f, 0.5f}}),
        shapeOf({{0.0f, 0.0f}, {254.25f / 255.0f, 0.0f}, {1.0f, 1.0f}}),
    };
    for (size_t i = 0; i < good.size(); ++i) {
        GainTable table{};
        EXPECT_TRUE(GainCurve::isValid(good[i])) << "shape " << i;
        ASSERT_TRUE(GainCurve().build(good[i], table)) << "shape " << i;
        const double highest = highestOutput(table);
        EXPECT_LE(highest, 1.0 + 1e-6) << "shape " << i << " reaches " << highest;
    }
    GainTable table{};
    ASSERT_TRUE(GainCurve().build(good[5], table));
    EXPECT_NEAR(table[255], 1.0, 1e-6) << "the steep end stops at its end point";
    ASSERT_TRUE(GainCurve().build(good[0], table));
    EXPECT_NEAR(table[1] * GainCurve::levelOfIndex(1), 0.5 + 0.5 / 255.0, 1e-5);
}

TEST(GainStage, latency_is_look_ahead_less_one_frame) {
    GainStage stage(2, kRate, 10.0f, 100.0f, 60, 0.8f);
    EXPECT_EQ(stage.delayLength(), 92);
    EXPECT_EQ(stage.latency(), 91);
    Channels x = noise(2, 2048, 0.5f, 1);
    const Channels input = x;
    stage.setPassThrough(true);
    runStage(stage, x);
    EXPECT_EQ(delayedError(input, x, 91), 0.0);
}

TEST(GainStage, gain_stays_unity_for_the_first_60_frames) {
    GainStage stage(1, kRate, 10.0f, 100.0f, 60, 0.8f);
    stage.setTable(constantTable(0.25f));
    std::vector<float> loud(60, 0.9f);
    float* ptr[] = {loud.data()};
    stage.process(ptr, 60);
    EXPECT_EQ(stage.gain(), 1.0);
    EXPECT_EQ(stage.targetGain(), 1.0);
    std::vector<float> one(1, 0.9f);
    float* p1[] = {one.data()};
    stage.process(p1, 1); // frame 61 renews the target and the attack starts
    EXPECT_NEAR(stage.targetGain(), 0.25, 1e-7);
    EXPECT_LT(stage.gain(), 1.0);
}

TEST(GainStage, level_above_full_scale_uses_the_last_entry) {
    GainStage stage(1, kRate, 10.0f, 100.0f, 60, 0.8f);
    GainTable table = constantTable(0.9f);
    table[254] = 0.6f;
    table[255] = 0.3f;
    stage.setTable(table);
    Channels x(1, std::vector<float>(61, 1.5f));
    runStage(stage, x);
    EXPECT_GT(stage.level(), 1.0);
    EXPECT_NEAR(stage.targetGain(), 0.3, 1e-7);
    // Just below full scale the interpolation stays inside the table.
    GainStage near(1, kRate, 10.0f, 100.0f, 60, 0.8f);
    near.setTable(table);
    Channels y(1, std::vector<float>(5000, 0.999f));
    runStage(near, y);
    EXPECT_LE(near.level(), 1.0);
    EXPECT_GT(near.targetGain(), 0.3 + 1e-3);
}

TEST(GainStage, levels_that_are_not_numbers_or_beyond_float_take_the_last_entry) {
    GainTable table = constantTable(0.9f);
    table[255] = 0.3f;
    // A sample beyond float's power range makes the detector's power infinite; with a mix of
    // 0 or 1 one term is 0 × infinity, a level that is not a number.
    for (float mix : {0.0f, 0.8f, 1.0f}) {
        for (float sample : {1e20f, std::numeric_limits<float>::infinity()}) {
            GainStage stage(1, kRate, 10.0f, 100.0f, 60, mix);
            stage.setTable(table);
            Channels x(1, std::vector<float>(61, 0.1f));
            x[0][3] = sample;
            runStage(stage, x);
            EXPECT_EQ(stage.targetGain(), 0.3f) << "mix " << mix << ", input sample " << sample;
        }
    }
}

TEST(GainStage, constant_half_table_settles_near_minus_6_db) {
    GainStage stage(2, kRate, 10.0f, 100.0f, 60, 0.8f);
    GainTable table{};
    ASSERT_TRUE(GainCurve().build(shapeOf({{0.0f, 0.0f}, {1.0f, 0.5f}}), table));
    table[0] = table[1];
    stage.setTable(table);
    Channels x = sine(2, 44100, 1000.0, kRate, 0.3f);
    runStage(stage, x);
    EXPECT_NEAR(toDb(peak(x[0], 30000, 44100) / 0.3), -6.02, 0.05);
}

TEST(GainStage, release_waits_one_look_ahead_after_an_attack) {
    GainStage stage(1, kRate, 2.0f, 25.0f, 30, 0.0f);
    GainTable table = constantTable(1.0f);
    for (int k = 100; k < kGainTableSize; ++k)
        table[k] = 0.5f;
    stage.setTable(table);
    Channels loud(1, std::vector<float>(200, 0.9f));
    runStage(stage, loud); // the attack is still under way at its end
    ASSERT_GT(stage.gain(), stage.targetGain());
    int32_t targetRise = -1;
    int32_t gainRise = -1;
    float quiet = 0.0f;
    float* p[] = {&quiet};
    for (int32_t i = 0; i < 400 && gainRise < 0; ++i) {
        const double gainBefore = stage.gain();
        const double targetBefore = stage.targetGain();
        quiet = 0.0f;
        stage.process(p, 1);
        if (targetRise < 0 && stage.targetGain() > targetBefore) targetRise = i;
        if (targetRise >= 0 && stage.gain() > gainBefore) gainRise = i;
    }
    ASSERT_GE(targetRise, 0);
    EXPECT_EQ(gainRise - targetRise, stage.delayLength());
}

TEST(BandDynamics, two_stages_of_root_equal_one_stage_of_the_table) {
    GainTable quarter = constantTable(0.25f);
    BandDynamics single(1, kRate);
    single.setSingleStage(true);
    single.loadTable(quarter);
    BandDynamics dual(1, kRate);
    dual.setSingleStage(false);
    dual.loadTable(quarter);
    EXPECT_FLOAT_EQ(dual.stage1().table()[100], 0.5f);
    EXPECT_FLOAT_EQ(dual.stage2().table()[100], 0.5f);
    EXPECT_FLOAT_EQ(single.stage1().table()[100], 0.25f);
    // Settled on a steady sine, both reach the same total gain of -12 dB.
    Channels a = sine(1, 44100, 500.0, kRate, 0.5f);
    Channels b = a;
    std::vector<float*> pa = {a[0].data()}, pb = {b[0].data()};
    single.process(pa.data(), 44100);
    dual.process(pb.data(), 44100);
    EXPECT_NEAR(toDb(peak(a[0], 30000, 44100) / 0.5), -12.04, 0.05);
    EXPECT_NEAR(toDb(peak(b[0], 30000, 44100) / 0.5), -12.04, 0.05);
    EXPECT_EQ(dual.latency(), 182);
    EXPECT_EQ(single.latency(), 91);
}

TEST(BandDynamics, loaded_table_takes_entry_1_for_entry_0) {
    GainTable t = constantTable(0.5f);
    t[0] = 1.0f;
    BandDynamics band(1, kRate);
    band.loadTable(t);
    EXPECT_EQ(band.table()[0], 0.5f);
    EXPECT_EQ(band.stage1().table()[0], 0.5f);
}

TEST(SoftClipper, below_the_knee_is_a_plain_gain_of_minus_1_40_db) {
    for (float x : {0.001f, 0.1f, 0.3f, 0.5f, 0.598f}) {
        EXPECT_NEAR(toDb(SoftClipper::shape(x) / x), -1.397, 0.001) << "at " << x;
        EXPECT_FLOAT_EQ(SoftClipper::shape(-x), -SoftClipper::shape(x));
    }
    EXPECT_EQ(SoftClipper::shape(0.0f), 0.0f);
}

TEST(SoftClipper, output_never_exceeds_its_ceiling) {
    float highest = 0.0f;
    for (int i = 0; i <= 40000; ++i) {
        const float x = 4.0f * i / 40000.0f;
        highest = std::max(highest, SoftClipper::shape(x));
    }
    EXPECT_NEAR(highest, 0.99987, 1e-5);
    EXPECT_LE(SoftClipper::shape(1.0f), 0.99987f);
    EXPECT_EQ(SoftClipper::shape(std::numeric_limits<float>::quiet_NaN()), 0.0f);
    EXPECT_NEAR(SoftClipper::shape(-std::numeric_limits<float>::infinity()), -0.99873, 1e-5);
}

TEST(SoftClipper, off_leaves_samples_untouched) {
    SoftClipper clipper(1);
    std::vector<float> x = {1.7f, -0.2f};
    float* p[] = {x.data()};
    clipper.process(p, 2);
    EXPECT_EQ(x[0], 1.7f);
    clipper.setOff(false);
    clipper.process(p, 2);
    EXPECT_LE(x[0], 0.99987f);
}

} // namespace
