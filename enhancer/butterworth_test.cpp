#include "enhancer/biquad_cascade.h"
#include "enhancer/butterworth.h"
#include "enhancer/enhancer_engine.h"

#include <gtest/gtest.h>

#include <cmath>
#include <numbers>

namespace orq::enhancer {
namespace {

// The bilinear Butterworth magnitude: |H|^2 = 1 / (1 + r^(2N)), r = tan(pi f/fs) / tan(pi fc/fs)
// for a low-pass and its inverse for a high-pass.
double idealGainDb(FilterKind kind, int32_t order, double cornerHz, double f, double rate) {
    double r = std::tan(std::numbers::pi * f / rate) / std::tan(std::numbers::pi * cornerHz / rate);
    if (kind == FilterKind::HighPass) r = 1.0 / r;
    return -10.0 * std::log10(1.0 + std::pow(r, 2.0 * order));
}

struct FilterCase {
    FilterKind kind;
    int32_t order;
    double cornerHz;
};

// The enhancer's band filters and output filter.
constexpr FilterCase kEngineFilters[] = {
    {FilterKind::HighPass, kBandFilterOrder, kBandAHighPassHz},
    {FilterKind::LowPass, kBandFilterOrder, kBandALowPassHz},
    {FilterKind::HighPass, kBandFilterOrder, kBandBHighPassHz},
    {FilterKind::LowPass, kBandFilterOrder, kBandBLowPassHz},
    {FilterKind::HighPass, kOutputFilterOrder, kOutputHighPassHz},
};

TEST(ButterworthDesign, engine_filters_are_3_db_down_at_their_corners) {
    for (double rate : {44100.0, 48000.0})
        for (const FilterCase& c : kEngineFilters) {
            const ButterworthDesign d = designButterworth(c.kind, c.order, c.cornerHz, rate);
            EXPECT_EQ(d.sectionCount, c.order / 2);
            EXPECT_NEAR(butterworthGainDb(d, c.cornerHz, rate), -3.0103, 0.001)
                << c.cornerHz << " Hz at " << rate;
        }
}

TEST(ButterworthDesign, engine_filters_follow_the_butterworth_magnitude_of_their_order) {
    for (double rate : {44100.0, 48000.0})
        for (const FilterCase& c : kEngineFilters) {
            const ButterworthDesign d = designButterworth(c.kind, c.order, c.cornerHz, rate);
            for (double f = 100.0; f < rate / 2.0 - 100.0; f *= 1.25)
                EXPECT_NEAR(butterworthGainDb(d, f, rate),
                            idealGainDb(c.kind, c.order, c.cornerHz, f, rate), 0.01)
                    << c.cornerHz << " Hz, order " << c.order << ", at " << f << " Hz";
        }
}

TEST(ButterworthDesign, passes_unity_far_inside_the_passband) {
    const ButterworthDesign hp = designButterworth(FilterKind::HighPass, 8, 10986.0, 44100.0);
    const ButterworthDesign lp = designButterworth(FilterKind::LowPass, 6, 6667.0, 44100.0);
    EXPECT_NEAR(butterworthGainDb(hp, 22049.0, 44100.0), 0.0, 1e-6);
    EXPECT_NEAR(butterworthGainDb(lp, 1.0, 44100.0), 0.0, 1e-6);
}

TEST(ButterworthDesign, out_of_range_orders_and_corners_give_a_usable_filter) {
    const ButterworthDesign odd = designButterworth(FilterKind::LowPass, 7, 1000.0, 44100.0);
    EXPECT_EQ(odd.sectionCount, 3);
    const ButterworthDesign huge = designButterworth(FilterKind::LowPass, 40, 1000.0, 44100.0);
    EXPECT_EQ(huge.sectionCount, kMaxButterworthSections);
    const ButterworthDesign above = designButterworth(FilterKind::HighPass, 6, 30000.0, 44100.0);
    for (int32_t s = 0; s < above.sectionCount; ++s)
        EXPECT_TRUE(std::isfinite(above.sections[size_t(s)].b0));
}

// Amplitude of a steady sine after the cascade, from its last cycles.
double measuredGainDb(BiquadCascade4<3>& cascade, int32_t lane, double f, double rate) {
    const int32_t frames = int32_t(rate); // one second: long past the transient
    double peak = 0.0;
    for (int32_t n = 0; n < frames; ++n) {
        const float x = float(std::sin(2.0 * std::numbers::pi * f * n / rate));
        const Lane4 y = cascade.process(splat(x));
        if (n > frames - int32_t(rate / 50.0)) peak = std::max(peak, double(std::abs(y[lane])));
    }
    return 20.0 * std::log10(peak);
}

TEST(BiquadCascade4, each_lane_runs_its_own_design_like_the_analysis_says) {
    const double rate = 44100.0;
    const ButterworthDesign hp = designButterworth(FilterKind::HighPass, 6, 3400.0, rate);
    const ButterworthDesign lp = designButterworth(FilterKind::LowPass, 6, 6667.0, rate);
    for (double f : {2000.0, 3400.0, 8000.0}) {
        BiquadCascade4<3> cascade;
        cascade.setLane(0, 0, hp);
        cascade.setLane(1, 0, hp);
        cascade.setLane(2, 0, lp);
        cascade.setLane(3, 0, lp);
        EXPECT_NEAR(measuredGainDb(cascade, 0, f, rate), butterworthGainDb(hp, f, rate), 0.05);
        cascade.reset();
        EXPECT_NEAR(measuredGainDb(cascade, 3, f, rate), butterworthGainDb(lp, f, rate), 0.05);
    }
}

TEST(BiquadCascade4, reports_non_finite_state_and_reset_clears_it) {
    BiquadCascade4<3> cascade;
    cascade.setLane(0, 0, designButterworth(FilterKind::LowPass, 6, 1000.0, 44100.0));
    cascade.process(splat(0.5f));
    EXPECT_TRUE(cascade.isFinite());
    cascade.process(Lane4{INFINITY, 0.0f, 0.0f, 0.0f});
    EXPECT_FALSE(cascade.isFinite());
    cascade.reset();
    EXPECT_TRUE(cascade.isFinite());
    EXPECT_EQ(cascade.process(splat(0.0f))[0], 0.0f);
}

} // namespace
} // namespace orq::enhancer
