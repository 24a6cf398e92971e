#include "matching/tessaline_editor.h"

#include "matching/tessaline_parameters.h"
#include "matching/tessaline_plugin.h"
#include "runtime/audio_buffers.h"
#include "runtime/parameter_set.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <memory>
#include <random>
#include <vector>

namespace orq::matching {
namespace {

// The rules without windows ------------------------------------------------------------------

SliderGains flat() {
    return SliderGains{};
}

TEST(SliderGroupMove, a_group_move_past_15_db_stops_that_slider_while_the_others_keep_moving) {
    SliderGains g = flat();
    g[4] = 12.0f;
    const SliderGroup group{3, 6};
    // Slider 5 (index 4) at 12 dB raised by 5 dB: itself to 15 (held), the others +5.
    ASSERT_TRUE(moveSlider(g, 4, 17.0f, group));
    EXPECT_FLOAT_EQ(g[4], 15.0f);
    EXPECT_FLOAT_EQ(g[3], 3.0f) << "the change is the slider's own, 15 - 12";
    // Moving a neighbour on pushes it further while the held one stays at the end.
    ASSERT_TRUE(moveSlider(g, 3, 13.0f, group));
    EXPECT_FLOAT_EQ(g[3], 13.0f);
    EXPECT_FLOAT_EQ(g[4], 15.0f);
    EXPECT_FLOAT_EQ(g[5], 13.0f);
    EXPECT_FLOAT_EQ(g[6], 13.0f);
    EXPECT_FLOAT_EQ(g[2], 0.0f) << "outside the group";
    EXPECT_FLOAT_EQ(g[7], 0.0f) << "outside the group";
}

TEST(SliderGroupMove, a_slider_outside_the_group_or_a_one_slider_group_moves_alone) {
    SliderGains g = flat();
    EXPECT_TRUE(moveSlider(g, 10, -6.0f, SliderGroup{3, 6}));
    EXPECT_FLOAT_EQ(g[10], -6.0f);
    EXPECT_FLOAT_EQ(g[4], 0.0f);
    EXPECT_TRUE(moveSlider(g, 4, 2.0f, SliderGroup{4, 4}));
    EXPECT_FLOAT_EQ(g[4], 2.0f);
    EXPECT_FLOAT_EQ(g[5], 0.0f);
    EXPECT_FALSE(moveSlider(g, 4, 2.0f, SliderGroup{})) << "no change, nothing to send";
    EXPECT_FALSE(moveSlider(g, 30, 2.0f, SliderGroup{})) << "no slider 31";
}

TEST(SliderGroupMove, the_reset_gesture_zeroes_the_slider_or_its_whole_group) {
    SliderGains g = flat();
    for (int k = 0; k < kEditorSliderCount; ++k)
        g[size_t(k)] = 4.0f;
    EXPECT_TRUE(resetSlider(g, 8, SliderGroup{7, 9}));
    EXPECT_FLOAT_EQ(g[7], 0.0f);
    EXPECT_FLOAT_EQ(g[9], 0.0f);
    EXPECT_FLOAT_EQ(g[10], 4.0f);
    EXPECT_TRUE(resetSlider(g, 20, SliderGroup{7, 9}));
    EXPECT_FLOAT_EQ(g[20], 0.0f);
    EXPECT_FLOAT_EQ(g[21], 4.0f);
}

TEST(DrawingGestures, niveau_tilts_all_thirty_sliders_between_its_end_levels_and_clamps) {
    SliderGains g = flat();
    drawNiveau(g, -6.0f, 6.0f);
    EXPECT_FLOAT_EQ(g[0], -6.0f);
    EXPECT_NEAR(g[29], 6.0f, 1e-5f);
    EXPECT_NEAR(g[15] - g[14], 12.0f / 29.0f, 1e-5f) << "straight in dB";
    drawNiveau(g, -30.0f, 30.0f);
    EXPECT_FLOAT_EQ(g[0], -15.0f);
    EXPECT_FLOAT_EQ(g[29], 15.0f);
    EXPECT_NEAR(g[14], -30.0f + 14.0f * 60.0f * 0.03448276f, 1e-4f);
}

TEST(DrawingGestures, bone_sets_only_the_sliders_under_its_segment) {
    SliderGains g = flat();
    for (float& v : g)
        v = 1.0f;
    drawBone(g, 10.0, 0.0f, 14.0, 8.0f);
    EXPECT_FLOAT_EQ(g[9], 1.0f);
    EXPECT_FLOAT_EQ(g[10], 0.0f);
    EXPECT_FLOAT_EQ(g[12], 4.0f);
    EXPECT_FLOAT_EQ(g[14], 8.0f);
    EXPECT_FLOAT_EQ(g[15], 1.0f) << "the last slider is the last below x2 + 1";
    // Drawn from right to left: the same segment.
    SliderGains h = flat();
    drawBone(h, 14.0, 8.0f, 10.0, 0.0f);
    EXPECT_EQ(g[12], 4.0f);
    EXPECT_FLOAT_EQ(h[12], 4.0f);
    // A fractional start: floor(x1) is the first slider, extrapolated along the line.
    SliderGains f = flat();
    drawBone(f, 2.5, 10.0f, 4.5, 12.0f);
    EXPECT_FLOAT_EQ(f[2], 9.5f);
    EXPECT_FLOAT_EQ(f[5], 12.5f);
    EXPECT_FLOAT_EQ(f[6], 0.0f);
    // A click without a drag has no slope: one slider, no division by zero.
    SliderGains c = flat();
    drawBone(c, 7.2, 3.0f, 7.2, 5.0f);
    EXPECT_FLOAT_EQ(c[7], 4.0f);
    EXPECT_FLOAT_EQ(c[8], 0.0f);
}

TEST(DrawingGestures, rubber_band_selects_between_the_nearest_sliders_in_either_direction) {
    EXPECT_EQ(groupBetween(3.4, 7.6), (SliderGroup{3, 8}));
    EXPECT_EQ(groupBetween(7.6, 3.4), (SliderGroup{3, 8}));
    EXPECT_EQ(groupBetween(-2.0, 40.0), (SliderGroup{0, 29}));
    EXPECT_FALSE(groupBetween(5.1, 5.2).active()) << "one slider is no group";
}

TEST(EnablingMessages, freeze_comes_first_then_bypass_then_the_controls_own_reasons) {
    EditorState s;
    s.frozen = true;
    s.bypassed = true;
    s.learn = true;
    EXPECT_STREQ(disabledReason(kFirstSliderControl + 3, s), "Disabled. PlugIn is in freeze mode !");
    EXPECT_STREQ(disabledReason(kMatchControl, s), "Disabled. PlugIn is in freeze mode !");
    EXPECT_EQ(disabledReason(kResetControl, s), nullptr) << "reset works while frozen";
    EXPECT_EQ(disabledReason(kFreezeControl, s), nullptr) << "freeze can be undone";
    EXPECT_EQ(disabledReason(kFirstMarkControl + 3, s), nullptr) << "marks are lamps";
    s.frozen = false;
    EXPECT_STREQ(disabledReason(kLearnControl, s), "Disabled. PlugIn is in bypass mode.");
    s.bypassed = false;
    EXPECT_STREQ(disabledReason(kFirstSliderControl + 29, s), "Disabled. PlugIn is in learn mode.");
    EXPECT_EQ(disabledReason(kLearnControl, s), nullptr);
}

TEST(EnablingMessages, knob_and_match_button_explain_what_is_missing) {
    EditorState s;
    EXPECT_STREQ(disabledReason(kMatchAmountControl, s), "Disabled. Activate match button first!");
    s.match = true;
    EXPECT_STREQ(disabledReason(kMatchAmountControl, s),
                 "Disabled. Learn both source and destination data !");
    s.sourceLearned = s.destLearned = true;
    EXPECT_EQ(disabledReason(kMatchAmountControl, s), nullptr);
    // Match: none or both learned; one alone is not enough.
    EditorState m;
    EXPECT_EQ(disabledReason(kMatchControl, m), nullptr) << "none learned: the sliders alone";
    m.sourceLearned = true;
    EXPECT_STREQ(disabledReason(kMatchControl, m),
                 "Disabled. Learn both source and destination data !");
    m.sourceLearned = false;
    m.droppedByRate = true;
    EXPECT_STREQ(disabledReason(kMatchControl, m),
                 "Disabled. Source and Dest must have the same sampling frequency !");
    m.droppedByRate = false;
    m.droppedByMode = true;
    EXPECT_STREQ(disabledReason(kMatchControl, m),
                 "Disabled. Learn both source and destination data !");
}

TEST(HelpTexts, sliders_name_their_third_octave_band_and_controls_their_role) {
    EXPECT_EQ(controlHelp(kFirstSliderControl), "Slider 1, range: 22 to 28 Hz, mid: 25 Hz");
    EXPECT_EQ(controlHelp(kFirstSliderControl + 1), "Slider 2, range: 28 to 35 Hz, mid: 31 Hz");
    EXPECT_EQ(controlHelp(kFirstSliderControl + 29),
              "Slider 30, range: 18000 to 22400 Hz, mid: 20000 Hz");
    EXPECT_EQ(controlHelp(kMatchAmountControl),
              "Sets the rate of filtering with learned filter data from 0 to 200 %.");
    EXPECT_EQ(controlHelp(kToolsControl), "Hides the extra filtering tools.");
    EXPECT_EQ(controlHelp(kFirstMarkControl), "");
    EXPECT_STREQ(learnedStatus(true, true), "Source and Destination learned.");
    EXPECT_STREQ(learnedStatus(true, false), "Source learned.");
    EXPECT_STREQ(learnedStatus(false, true), "Destination learned.");
    EXPECT_STREQ(learnedStatus(false, false), "");
}

TEST(FrequencyAxisOfTheModes, band_centres_sit_under_their_slider_columns_in_both_modes) {
    const FrequencyAxis linear = axisFor(false, 44100);
    EXPECT_DOUBLE_EQ(linear.highKhz, 22.05);
    const BandCentres equal = equalBandCentres(44100);
    const FrequencyAxis log = axisFor(true, 44100);
    for (int k = 0; k < kEditorSliderCount; ++k) {
        EXPECT_NEAR(linear.position(equal.centreHz[size_t(k)]), axisPositionOfSlider(k), 1e-9);
        // Nominal third-octave centres lie within a fortieth of a column of exact ones.
        EXPECT_NEAR(log.position(kThirdOctaveBands[size_t(k)].centreHz), axisPositionOfSlider(k),
                    0.25 / kEditorSliderCount)
            << "slider " << k + 1;
        EXPECT_NEAR(sliderPositionAt(axisPositionOfSlider(k)), k, 1e-9);
    }
    EXPECT_NEAR(log.hzAt(log.position(1000.0)), 1000.0, 1e-6);
}

} // namespace
} // namespace orq::matching
