#include "compressor/compressor_engine.h"
#include "compressor/compressor_parameters.h"
#include "compressor/test_signals.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <memory>

namespace {

using namespace orq;
using namespace orq::compressor;
using namespace orq::compressor::testing;

constexpr int32_t kRate = 44100;
constexpr double kTransparent = 2e-6; // float rounding of the bands' sum

BandShape halfShape() {
    BandShape s = defaultBandShape();
    s.y[1] = 0.5f;
    return s;
}

void setAllShapes(CompressorParameterSet& set, const BandShape& shape) {
    BandShape shapes[kShapeEntries];
    for (BandShape& s : shapes)
        s = shape;
    set.setArray(kParamShape, shapes, kShapeEntries);
}

// An engine opened with every parameter of the set applied, then started.
std::unique_ptr<CompressorEngine> openEngine(CompressorParameterSet& set, int32_t channels = 2) {
    auto engine = std::make_unique<CompressorEngine>(channels, kRate);
    applyParameters(*engine, set.iface(), allParameters());
    engine->start();
    return engine;
}

// Applies only the parameters changed since the last read.
void applyChanged(CompressorEngine& engine, CompressorParameterSet& set) {
    set.setMode(kModeChanged);
    applyParameters(engine, set.iface(), selectionOf(set.iface()));
}

int32_t expectedLatency(int32_t bands, int32_t stages) {
    return 1024 + 1024 + (bands - 1) * 512 + stages * 91;
}

TEST(CompressorEngine, neutral_settings_are_transparent_for_every_band_and_stage_count) {
    const std::vector<std::vector<float>> borderSets = {
        {},
        {150.0f, 900.0f, 4000.0f, 12000.0f},
        {2000.0f, 2100.0f, 2200.0f, 2300.0f}, // close together
    };
    for (int32_t bands = 1; bands <= kMaxBands; ++bands) {
        for (int32_t compType : {0, 1}) {
            for (const auto& borders : borderSets) {
                CompressorParameterSet set;
                set.setFloat(kParamBandCount, float(bands));
                set.setFloat(kParamCompType, float(compType));
                if (!borders.empty()) {
                    float b[kBorderEntries] = {25.0f};
                    for (size_t i = 0; i < borders.size(); ++i)
                        b[i + 1] = borders[i];
                    b[bands] = 22050.0f;
                    set.setArray(kParamBorder, b, kBorderEntries);
                }
                auto engine = openEngine(set);
                const int32_t stages = compType == 0 ? 2 : 1;
                ASSERT_EQ(engine->latency(), expectedLatency(bands, stages));
                const Channels x = noise(2, 10 * 1024 + 3333, 0.5f, 100 + bands);
                const Channels y = run(*engine, x, 4096);
                EXPECT_LT(delayedError(x, y, engine->latency()), kTransparent)
                    << bands << " bands, " << stages << " stages, borders " << borders.size();
            }
        }
    }
}

TEST(CompressorEngine, other_sample_rates_stay_transparent_with_borders_beyond_nyquist) {
    for (int32_t rate : {8000, 48000, 96000}) {
        CompressorParameterSet set;
        set.setFloat(kParamBandCount, 5.0f); // default borders 3 and 4 lie at 22050 Hz
        auto engine = std::make_unique<CompressorEngine>(2, rate);
        applyParameters(*engine, set.iface(), allParameters());
        engine->start();
        const int32_t stage = static_cast<int32_t>(0.0021 * rate) - 1;
        ASSERT_EQ(engine->latency(), 1024 + 1024 + 4 * 512 + 2 * stage) << rate;
        const Channels x = noise(2, 10 * 4096, 0.5f, rate);
        EXPECT_LT(delayedError(x, run(*engine, x, 4096), engine->latency()), kTransparent) << rate;
    }
}

TEST(CompressorEngine, default_latency_is_3254_with_two_stages_and_3163_with_one) {
    CompressorParameterSet set;
    EXPECT_EQ(openEngine(set)->latency(), 3254);
    set.setFloat(kParamCompType, 1.0f);
    EXPECT_EQ(openEngine(set)->latency(), 3163);
}

TEST(CompressorEngine, half_shape_attenuates_every_band_by_about_6_db) {
    for (float compType : {0.0f, 1.0f}) {
        CompressorParameterSet set;
        set.setFloat(kParamCompType, compType);
        setAllShapes(set, halfShape());
        auto engine = openEngine(set, 1);
        for (double hz : {80.0, 1000.0, 8000.0}) {
            const Channels x = sine(1, 3 * kRate, hz, kRate, 0.3f);
            const Channels y = run(*engine, x, 2048);
            EXPECT_NEAR(toDb(peak(y[0], 2 * kRate, 3 * kRate) / 0.3), -6.02, 0.2)
                << hz << " Hz, CompType " << compType;
        }
    }
}

TEST(CompressorEngine, compressing_curve_narrows_loud_against_quiet_passages) {
    // Unity up to -26 dB, then 1 → 0.2 (about 2.3:1), 6 dB make-up and the soft clipper.
    BandShape curve = defaultBandShape();
    curve.x[1] = 0.05f;
    curve.y[1] = 0.05f;
    curve.x[2] = 1.0f;
    curve.y[2] = 0.2f;
    curve.count = 3;
    CompressorParameterSet set;
    setAllShapes(set, curve);
    set.setFloat(kParamOutputDb, 6.0f);
    set.setFloat(kParamSoftClip, 1.0f);
    double gainDb[2];
    const float amplitudes[2] = {0.02f, 0.8f};
    for (int i = 0; i < 2; ++i) {
        auto engine = openEngine(set, 2);
        const Channels x = sine(2, 3 * kRate, 1000.0, kRate, amplitudes[i]);
        const Channels y = run(*engine, x, 4096);
        gainDb[i] = toDb(peak(y[0], 2 * kRate, 3 * kRate) / amplitudes[i]);
        EXPECT_LE(peak(y[1], 0, 3 * kRate), 0.99987);
    }
    EXPECT_NEAR(gainDb[0], 6.0 - 1.397, 0.1); // quiet: make-up gain through the clipper's slope
    EXPECT_LT(gainDb[1], gainDb[0] - 9.0) << "loud " << gainDb[1] << " dB";
}

TEST(CompressorEngine, bypass_with_delay_keeps_latency_and_removes_every_gain_change) {
    CompressorParameterSet set;
    setAllShapes(set, halfShape());
    float gains[kBandGainEntries] = {6.0f, -6.0f, 3.0f};
    set.setArray(kParamBandGain, gains, kBandGainEntries);
    set.setFloat(kParamSoftClip, 1.0f);
    auto engine = openEngine(set);
    engine->setBypassWithDelay(true);
    EXPECT_TRUE(engine->clipper().isOff());
    EXPECT_EQ(engine->latency(), 3254);
    const Channels x = noise(2, 8 * 4096, 0.9f, 8);
    EXPECT_EQ(delayedError(x, run(*engine, x, 1000), 3254), 0.0);
    // Leaving it brings the clipper back as SoftClip says.
    engine->setBypassWithDelay(false);
    EXPECT_FALSE(engine->clipper().isOff());
}

TEST(CompressorEngine, soft_clip_lowers_a_minus_20_db_sine_by_1_40_db) {
    CompressorParameterSet set;
    set.setFloat(kParamSoftClip, 1.0f);
    auto engine = openEngine(set, 1);
    const float amplitude = 0.1f;
    const Channels x = sine(1, 8 * 4096, 1000.0, kRate, amplitude);
    const Channels y = run(*engine, x, 4096);
    EXPECT_NEAR(toDb(peak(y[0], 4 * 4096, 8 * 4096) / amplitude), -1.397, 0.01);
}

TEST(CompressorEngine, output_gain_scales_by_its_decibels) {
    CompressorParameterSet set;
    set.setFloat(kParamOutputDb, -6.0f);
    auto engine = openEngine(set, 1);
    EXPECT_NEAR(engine->outputGain(), std::pow(10.0, -6.0 / 20.0), 1e-6);
    const Channels x = noise(1, 6 * 4096, 0.5f, 4);
    Channels y = run(*engine, x, 4096);
    for (float& v : y[0])
        v /= engine->outputGain();
    EXPECT_LT(delayedError(x, y, engine->latency()), 1e-5);
}

TEST(CompressorEngine, solo_follows_the_active_band_and_turns_off_without_one) {
    CompressorParameterSet set;
    set.setFloat(kParamActiveBand, 2.0f);
    set.setFloat(kParamSolo, 1.0f);
    auto engine = openEngine(set, 1);
    EXPECT_TRUE(engine->compressor().soloActive());
    EXPECT_EQ(engine->compressor().soloBand(), 2);
    // A bass sine is gone from the soloed top band.
    const Channels bass = sine(1, 10 * 4096, 60.0, kRate, 0.5f);
    EXPECT_LT(toDb(peak(run(*engine, bass, 4096)[0], 6 * 4096, 10 * 4096) / 0.5), -50.0);
    // Moving the active band moves the solo; no active band turns it off.
    set.setFloat(kParamActiveBand, 0.0f);
    applyChanged(*engine, set);
    EXPECT_EQ(engine->compressor().soloBand(), 0);
    set.setFloat(kParamActiveBand, -1.0f);
    set.setFloat(kParamSolo, 1.0f);
    applyChanged(*engine, set);
    EXPECT_FALSE(engine->compressor().soloActive());
}

TEST(CompressorEngine, solo_stays_on_the_active_band_across_a_band_count_change) {
    CompressorParameterSet set;
    set.setFloat(kParamActiveBand, 1.0f);
    set.setFloat(kParamSolo, 1.0f);
    auto engine = openEngine(set, 1);
    set.setFloat(kParamBandCount, 4.0f); // only the band count is sent
    applyChanged(*engine, set);
    EXPECT_TRUE(engine->compressor().soloActive());
    EXPECT_EQ(engine->compressor().soloBand(), 1);
}

TEST(CompressorEngine, moved_border_redesigns_only_through_its_index) {
    CompressorParameterSet set;
    auto engine = openEngine(set);
    float borders[kBorderEntries];
    set.getArray(kParamBorder, borders, kBorderEntries);
    borders[1] = 1000.9f;
    set.setArray(kParamBorder, borders, kBorderEntries);
    applyChanged(*engine, set); // the array alone is only stored
    EXPECT_NEAR(engine->compressor().crossover(0).designer().passbandEdgesHz[0], 239.0, 1e-9);
    set.setArray(kParamBorder, borders, kBorderEntries);
    set.setFloat(kParamBorderMoved, 1.0f);
    applyChanged(*engine, set);
    EXPECT_DOUBLE_EQ(engine->compressor().crossover(0).designer().passbandEdgesHz[0], 1000.0);
    EXPECT_NEAR(engine->compressor().bandLowerEdge(1), 1000.9, 1e-4);
}

TEST(CompressorEngine, changed_band_gain_sets_that_band_only) {
    CompressorParameterSet set;
    auto engine = openEngine(set);
    float gains[kBandGainEntries] = {0.0f, 6.0f, -6.0f};
    set.setArray(kParamBandGain, gains, kBandGainEntries);
    set.setFloat(kParamGainChangedBand, 1.0f);
    applyChanged(*engine, set);
    EXPECT_NEAR(engine->compressor().preGain(1), 1.99526, 1e-5);
    EXPECT_EQ(engine->compressor().preGain(2), 1.0f);
    // Gains beyond the documented range are kept inside it.
    gains[1] = 400.0f;
    set.setArray(kParamBandGain, gains, kBandGainEntries);
    set.setFloat(kParamGainChangedBand, 1.0f);
    applyChanged(*engine, set);
    EXPECT_NEAR(engine->compressor().preGain(1), 3.98107, 1e-5);
}

TEST(CompressorEngine, band_count_change_rebuilds_from_the_arrays) {
    CompressorParameterSet set;
    auto engine = openEngine(set);
    const float borders[kBorderEntries] = {25.0f, 100.0f, 400.0f, 1600.0f, 6400.0f, 22050.0f};
    set.setArray(kParamBorder, borders, kBorderEntries);
    set.setFloat(kParamBandCount, 5.0f);
    applyChanged(*engine, set);
    EXPECT_EQ(engine->bandCount(), 5);
    EXPECT_EQ(engine->latency(), expectedLatency(5, 2));
    EXPECT_DOUBLE_EQ(engine->compressor().crossover(3).designer().passbandEdgesHz[0], 6400.0);
    EXPECT_FALSE(engine->compressor().band(4).singleStage());
}

TEST(CompressorEngine, invalid_shapes_keep_the_bands_current_tables) {
    CompressorParameterSet set;
    setAllShapes(set, halfShape());
    auto engine = openEngine(set, 1);
    const GainTable before = engine->compressor().band(1).table();
    for (int32_t count : {1, 16, 32, 100000, -3}) {
        BandShape bad = halfShape();
        bad.count = count;
        setAllShapes(set, bad);
        applyChanged(*engine, set); // ActBand 1 is rebuilt from Shape
        EXPECT_EQ(engine->compressor().band(1).table(), before) << "count " << count;
    }
    BandShape nanShape = halfShape();
    nanShape.y[1] = std::numeric_limits<float>::quiet_NaN();
    setAllShapes(set, nanShape);
    set.setFloat(kParamBandCount, 3.0f); // the rebuild path reads every band's shape
    applyChanged(*engine, set);
    for (int32_t b = 0; b < 3; ++b) {
        for (float g : engine->compressor().band(b).table())
            EXPECT_EQ(g, 1.0f);
    }
}

TEST(CompressorEngine, vertical_segment_at_input_zero_keeps_the_bands_current_tables) {
    CompressorParameterSet set;
    setAllShapes(set, halfShape());
    auto engine = openEngine(set, 1);
    const GainTable before = engine->compressor().band(1).table();
    BandShape vertical = defaultBandShape();
    vertical.y[1] = 1.0f;
    vertical.x[1] = 0.0f; // (0, 0), (0, 1)
    setAllShapes(set, vertical);
    applyChanged(*engine, set); // ActBand 1 is rebuilt from Shape
    EXPECT_EQ(engine->compressor().band(1).table(), before);
}

TEST(CompressorEngine, out_of_range_scalars_are_kept_safe) {
    CompressorParameterSet set;
    auto engine = openEngine(set);
    const float nan = std::numeric_limits<float>::quiet_NaN();
    const float inf = std::numeric_limits<float>::infinity();
    set.setFloat(kParamBandCount, 99.0f);
    applyChanged(*engine, set);
    EXPECT_EQ(engine->bandCount(), kMaxBands);
    set.setFloat(kParamBandCount, -4.0f);
    applyChanged(*engine, set);
    EXPECT_EQ(engine->bandCount(), 1);
    for (int32_t index : {kParamBandCount, kParamOutputDb, kParamActiveBand, kParamCompType,
                          kParamSoftClip, kParamGainChangedBand, kParamBorderMoved}) {
        set.setFloat(index, nan);
        applyChanged(*engine, set);
        set.setFloat(index, inf);
        applyChanged(*engine, set);
    }
    set.setFloat(kParamActiveBand, 3e9f);
    set.setFloat(kParamSolo, 1.0f);
    set.setFloat(kParamGainChangedBand, -2e9f);
    set.setFloat(kParamBorderMoved, 7.0f);
    applyChanged(*engine, set);
    EXPECT_EQ(engine->bandCount(), 1);
    EXPECT_FALSE(engine->compressor().soloActive());
    engine->start();
    const Channels x = noise(2, 6 * 4096, 0.5f, 31);
    EXPECT_LT(delayedError(x, run(*engine, x, 4096), engine->latency()), kTransparent);
}

TEST(CompressorEngine, meter_publishes_the_value_of_the_call_before) {
    CompressorParameterSet set;
    auto engine = openEngine(set, 1);
    const Channels x = sine(1, 4 * 4096, 1000.0, kRate, 0.5f);
    run(*engine, x, 4096);
    const float first = engine->compressor().band(1).stage1().outputLevel();
    EXPECT_EQ(engine->publishMeter(), 0.0f); // nothing published before
    run(*engine, x, 4096);
    EXPECT_EQ(engine->publishMeter(), first);
    EXPECT_GT(first, 0.0f);
    engine->stop();
    EXPECT_EQ(engine->publishMeter(), -1.0f);
    engine->start();
    set.setFloat(kParamActiveBand, -1.0f);
    applyChanged(*engine, set);
    EXPECT_EQ(engine->publishMeter(), -1.0f);
}

TEST(CompressorEngine, start_resets_every_state) {
    CompressorParameterSet set;
    setAllShapes(set, halfShape());
    auto engine = openEngine(set);
    const Channels x = noise(2, 6 * 4096, 0.7f, 12);
    const Channels first = run(*engine, x, 4096);
    engine->start();
    const Channels second = run(*engine, x, 4096);
    EXPECT_EQ(first, second);
}

} // namespace
