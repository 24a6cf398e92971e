#include "plax/parameter_table.h"

#include <gtest/gtest.h>

#include <limits>

namespace orq::plax {
namespace {

void defineThree(ParameterTable& table) {
    table.define(0, {0.0f, 0.0f, 12.0f, 0.5f, "dB", "DesGain"});
    table.define(1, {0.0f, 0.0f, 1.0f, 0.0f, "", "Free"});
    table.define(2, {0.0f, 0.0f, 1.0f, 0.01f, "", "Quiet", kFloatSize, false});
}

TEST(PlaxParameterTable, normalised_set_quantises_to_the_steps_and_get_reverses_it) {
    ParameterTable table(3);
    defineThree(table);
    table.setNormalised(0, 0.37f); // floor(24 × 0.37 + 0.5) × 0.5 = 4.5
    EXPECT_FLOAT_EQ(table.readValue(0), 4.5f);
    EXPECT_NEAR(table.getNormalised(0), 4.5f / 12.0f, 1e-6f);
    table.setNormalised(1, 0.3f); // continuous: minimum + range × x
    EXPECT_NEAR(table.readValue(1), 0.3f, 1e-6f);
}

TEST(PlaxParameterTable, changed_flags_count_once_and_clear_on_get_but_not_on_read) {
    ParameterTable table(3);
    defineThree(table);
    EXPECT_EQ(table.changedCount(), 2) << "defined with notify: changed at start";
    table.getValue(0);
    table.getValue(1);
    EXPECT_EQ(table.changedCount(), 0);
    table.setValue(0, 3.0f);
    table.setValue(0, 4.0f);
    EXPECT_EQ(table.changedCount(), 1);
    table.readValue(0);
    EXPECT_TRUE(table.isChanged(0));
    EXPECT_FLOAT_EQ(table.getValue(0), 4.0f);
    EXPECT_FALSE(table.isChanged(0));
    table.setValue(2, 0.5f);
    EXPECT_EQ(table.changedCount(), 0) << "a record without notify does not count";
}

TEST(PlaxParameterTable, indices_outside_the_table_and_bad_values_change_nothing) {
    ParameterTable table(3);
    defineThree(table);
    table.setValue(3, 1.0f);
    table.setValue(-1, 1.0f);
    table.setNormalised(0, std::numeric_limits<float>::quiet_NaN());
    EXPECT_FLOAT_EQ(table.readValue(0), 0.0f);
    EXPECT_FLOAT_EQ(table.readValue(3), 0.0f);
    table.setNormalised(0, 7.0f);
    EXPECT_FLOAT_EQ(table.readValue(0), 12.0f) << "normalised values are kept inside 0 … 1";
}

} // namespace
} // namespace orq::plax
