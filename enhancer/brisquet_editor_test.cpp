#include "enhancer/brisquet_editor.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

namespace orq::enhancer {
namespace {

TEST(BrisquetMeterRule, a_falling_level_decays_and_a_rising_one_jumps) {
    EXPECT_FLOAT_EQ(meterLevel(0.5f, 0.9f), 0.9f);
    EXPECT_FLOAT_EQ(meterLevel(1.0f, 0.0f), 0.7f);
    EXPECT_FLOAT_EQ(meterLevel(0.7f, 0.1f), 0.7f * 0.7f + 0.3f * 0.1f);
}

TEST(BrisquetMeterRule, a_peak_above_full_scale_is_held_at_one_and_counts_as_a_clip) {
    EXPECT_FLOAT_EQ(meterReading(1.5f).level, 1.0f);
    EXPECT_TRUE(meterReading(1.5f).clipped);
    EXPECT_FALSE(meterReading(1.0f).clipped) << "full scale itself is no clip";
    EXPECT_FLOAT_EQ(meterReading(-0.2f).level, 0.0f);
    EXPECT_FLOAT_EQ(meterReading(std::numeric_limits<float>::quiet_NaN()).level, 0.0f);
}

TEST(BrisquetSteppers, frequency_and_density_step_inside_their_ranges) {
    EXPECT_FLOAT_EQ(steppedFrequency(3000.0f, 1), 4000.0f);
    EXPECT_FLOAT_EQ(steppedFrequency(7000.0f, 1), 7000.0f);
    EXPECT_FLOAT_EQ(steppedFrequency(1000.0f, -1), 1000.0f);
    EXPECT_FLOAT_EQ(steppedDensity(0.0f, -1), 0.0f);
    EXPECT_FLOAT_EQ(steppedDensity(6.0f, 1), 6.0f);
    EXPECT_FLOAT_EQ(steppedDensity(3.0f, 1), 4.0f);
    EXPECT_EQ(stepperText(4.0f, true), "  4");
    EXPECT_EQ(stepperText(4.0f, false), " 4");
}

} // namespace
} // namespace orq::enhancer
