#include "matching/tessaline_editor.h"

#include "controls/control_messages.h"

#include "matching/tessaline_parameters.h"
#include "matching/tessaline_plugin.h"
#include "runtime/audio_buffers.h"
#include "runtime/page_editor_test_support.h"
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
    m.match = true;
    EXPECT_EQ(disabledReason(kMatchControl, m), nullptr) << "a lit match can be switched off";
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

// The editor on its plug-in, inside a window of the test (the property-page road): everything
// runs on the test's thread, driven by the messages the controls send. -------------------------

class Rig : public test::PageEditorRig {
  public:
    explicit Rig(int32_t rateHz = 44100)
        : PageEditorRig(createTessalinePlugin(createTessalineParameters(), nullptr, nullptr),
                        OpenFormat{rateHz, 2, 0}, &createTessalineEditor,
                        createTessalineParameters(), SIZE{600, 400}, true),
          editor_(dynamic_cast<TessalineEditor*>(host())) {}

    TessalineEditor& editor() { return *editor_; }
    TessalineParameterSet& pluginSet() { return static_cast<TessalinePlugin*>(plugin_)->ownSet(); }
    float plugin(int32_t index) { return pluginSet().value(index); }
    const float* pluginArray(int32_t index) {
        return static_cast<const float*>(pluginSet().arrayData(index));
    }

    void slider(int k, float valueDb) {
        controls::SliderValue v{valueDb, MK_LBUTTON};
        command(kFirstSliderControl + k, reinterpret_cast<LPARAM>(&v));
    }
    void mouse(UINT message, int x, int y) {
        SendMessageA(client_, message, message == WM_LBUTTONUP ? 0 : MK_LBUTTON, MAKELPARAM(x, y));
        pump();
    }
    // A drag across the display between two sliders' columns at two gains.
    void dragDisplay(int fromSlider, float fromDb, int toSlider, float toDb) {
        const RECT d = TessalineEditor::kDisplayArea;
        auto x = [&](int k) {
            return d.left + int(std::lround(axisPositionOfSlider(k) * (d.right - d.left - 1)));
        };
        auto y = [&](float db) {
            return d.top + int(std::lround((0.5 - db / (2.0 * TessalineEditor::kCurveScaleDb)) *
                                           (d.bottom - d.top - 1)));
        };
        mouse(WM_LBUTTONDOWN, x(fromSlider), y(fromDb));
        mouse(WM_MOUSEMOVE, (x(fromSlider) + x(toSlider)) / 2, (y(fromDb) + y(toDb)) / 2);
        mouse(WM_LBUTTONUP, x(toSlider), y(toDb));
    }
    // Noise through the plug-in as the frame hands it over.
    void play(double seconds, float amplitude = 0.3f, uint32_t seed = 1) {
        std::mt19937 random(seed);
        std::uniform_real_distribution<float> noise(-amplitude, amplitude);
        AudioBuffers buffers(2, 2, 4096, BufferLayout::Shared);
        const int32_t rate = int32_t(plugin(kParamSampleRate));
        for (int64_t done = 0; done < int64_t(seconds * rate); done += 4096) {
            buffers.setFrames(4096);
            for (int c = 0; c < 2; ++c)
                for (int i = 0; i < 4096; ++i)
                    buffers.inputs()[c][i] = noise(random);
            plugin_->process(buffers);
        }
    }
    void wait(DWORD milliseconds) { PageEditorRig::wait(milliseconds, 10); }
    void formatChange(int32_t rateHz) {
        OpenFormat format{rateHz, 2, 0};
        ASSERT_EQ(plugin_->dispatch(kCmdOpen, &format, 0), 0);
        record_->dispatch(record_, kEdFormatChanged, &format, 0);
        pump();
    }
    // Both spectra learned through the editor: learn the source, then the destination.
    void learnBoth() {
        command(kLearnControl, 1);
        play(1.0, 0.3f, 1);
        wait(TessalineEditor::kDisplayPeriodMs);
        command(kLearnTargetControl, 0);
        play(1.0, 0.1f, 2);
        wait(TessalineEditor::kDisplayPeriodMs);
        command(kLearnControl, 0);
    }

  private:
    TessalineEditor* editor_ = nullptr;
};

TEST(TessalineEditor, switching_the_learn_target_while_learn_is_off_starts_learning) {
    Rig rig;
    ASSERT_EQ(rig.plugin(kParamLearn), 0.0f);
    rig.command(kLearnTargetControl, 0); // down: the destination
    EXPECT_EQ(rig.plugin(kParamLearnTarget), 0.0f);
    EXPECT_EQ(rig.plugin(kParamLearn), 1.0f);
    EXPECT_TRUE(rig.editor().state().learn);
    EXPECT_EQ(rig.editor().button(kLearnControl)->state(), controls::Button::kOn);
    EXPECT_FALSE(rig.editor().slider(0)->enabled()) << "sliders rest while learning";
    rig.editor().hover(kFirstSliderControl);
    EXPECT_EQ(rig.editor().statusText(), "Disabled. PlugIn is in learn mode.");
}

TEST(TessalineEditor, the_timer_marks_the_target_learned_and_the_status_follows_both_flags) {
    Rig rig;
    rig.command(kLearnControl, 1);
    rig.play(0.5);
    EXPECT_EQ(rig.editor().statusText(), "");
    rig.wait(TessalineEditor::kDisplayPeriodMs);
    EXPECT_TRUE(rig.editor().state().sourceLearned);
    EXPECT_EQ(rig.editor().statusText(), "Source learned.");
    EXPECT_EQ(rig.plugin(kParamSourceLearned), 1.0f);
    rig.command(kLearnTargetControl, 0);
    rig.play(0.5);
    rig.wait(TessalineEditor::kDisplayPeriodMs);
    EXPECT_EQ(rig.editor().statusText(), "Source and Destination learned.");
    EXPECT_FALSE(rig.editor().curveRows().empty()) << "the display drew the new spectra";
}

TEST(TessalineEditor, switching_the_band_mode_with_learned_data_clears_both_flags_and_the_match) {
    Rig rig;
    rig.learnBoth();
    ASSERT_EQ(rig.editor().statusText(), "Source and Destination learned.");
    ASSERT_TRUE(rig.editor().button(kMatchControl)->enabled());
    rig.command(kBandModeControl, 1);
    EXPECT_EQ(rig.plugin(kParamThirdOctave), 1.0f);
    EXPECT_EQ(rig.plugin(kParamSourceLearned), 0.0f);
    EXPECT_EQ(rig.plugin(kParamDestLearned), 0.0f);
    EXPECT_EQ(rig.editor().statusText(), "");
    EXPECT_FALSE(rig.editor().button(kMatchControl)->enabled());
    rig.editor().hover(kMatchControl);
    EXPECT_EQ(rig.editor().statusText(), "Disabled. Learn both source and destination data !");
    EXPECT_TRUE(rig.editor().axis().logarithmic);
    // With match on, a mode switch leaves the lit button able to switch match off.
    rig.command(kBandModeControl, 0);
    rig.learnBoth();
    rig.command(kMatchControl, 1);
    rig.command(kBandModeControl, 1);
    EXPECT_TRUE(rig.editor().button(kMatchControl)->enabled());
    rig.command(kMatchControl, 0);
    EXPECT_EQ(rig.plugin(kParamMatch), 0.0f);
    EXPECT_FALSE(rig.editor().button(kMatchControl)->enabled());
    // Switching to the mode in force changes nothing.
    rig.command(kBandModeControl, 1);
    EXPECT_EQ(rig.plugin(kParamThirdOctave), 1.0f);
}

TEST(TessalineEditor, a_rate_without_the_learned_layout_explains_the_match_button_until_reset) {
    Rig rig;
    rig.command(kBandModeControl, 1); // third octave: no tables at 50000 Hz
    rig.learnBoth();
    ASSERT_TRUE(rig.editor().state().sourceLearned && rig.editor().state().destLearned);
    rig.formatChange(50000);
    EXPECT_FALSE(rig.editor().state().sourceLearned);
    EXPECT_EQ(rig.editor().statusText(), "");
    rig.editor().hover(kMatchControl);
    EXPECT_EQ(rig.editor().statusText(),
              "Disabled. Source and Dest must have the same sampling frequency !");
    rig.wait(TessalineEditor::kDisplayPeriodMs);
    rig.editor().hover(kMatchControl);
    EXPECT_EQ(rig.editor().statusText(),
              "Disabled. Source and Dest must have the same sampling frequency !");
    rig.command(kResetControl, 0);
    EXPECT_TRUE(rig.editor().button(kMatchControl)->enabled());
    rig.editor().hover(kMatchControl);
    EXPECT_EQ(rig.editor().statusText(), "Activates the learned filter parameters.");
}

TEST(TessalineEditor, a_rate_change_keeps_spectra_the_plugin_moves_to_the_new_rate) {
    Rig rig;
    rig.learnBoth();
    rig.formatChange(48000);
    EXPECT_TRUE(rig.editor().state().sourceLearned);
    EXPECT_TRUE(rig.editor().state().destLearned);
    EXPECT_TRUE(rig.editor().button(kMatchControl)->enabled());
    EXPECT_EQ(rig.editor().statusText(), "Source and Destination learned.");
    EXPECT_NEAR(rig.editor().axis().highKhz, 24.0, 1e-9);
}

TEST(TessalineEditor, a_group_dragged_with_the_rubber_band_moves_together_and_stops_at_15_db) {
    Rig rig;
    rig.slider(4, 12.0f);
    rig.dragDisplay(3, 0.0f, 6, 0.0f);
    EXPECT_EQ(rig.editor().group(), (SliderGroup{3, 6}));
    EXPECT_EQ(rig.editor().mark(3)->state(), controls::Button::kOn);
    EXPECT_EQ(rig.editor().mark(7)->state(), controls::Button::kOff);
    rig.slider(3, 5.0f); // +5 dB for the group
    const float* sl = rig.pluginArray(kParamSliders);
    EXPECT_FLOAT_EQ(sl[3], 5.0f);
    EXPECT_FLOAT_EQ(sl[4], 15.0f) << "12 + 5 stops at the top";
    EXPECT_FLOAT_EQ(sl[6], 5.0f);
    EXPECT_FLOAT_EQ(sl[7], 0.0f);
    EXPECT_FLOAT_EQ(rig.editor().slider(4)->value(), 15.0f);
    // The reset gesture (a right click) zeroes the group.
    rig.command(controls::kRightClickCommand, kFirstSliderControl + 5);
    EXPECT_FLOAT_EQ(rig.pluginArray(kParamSliders)[4], 0.0f);
    EXPECT_FLOAT_EQ(rig.pluginArray(kParamSliders)[3], 0.0f);
    // Niveau clears the group; back to rubber band, it is there again.
    rig.command(kDrawModeControl, int(DrawMode::Niveau));
    EXPECT_FALSE(rig.editor().group().active());
    rig.command(kDrawModeControl, int(DrawMode::RubberBand));
    EXPECT_EQ(rig.editor().group(), (SliderGroup{3, 6}));
}

TEST(TessalineEditor, niveau_and_bone_gestures_reach_the_plugin_as_slider_gains) {
    Rig rig;
    rig.command(kDrawModeControl, int(DrawMode::Niveau));
    rig.dragDisplay(0, -10.0f, 29, 10.0f);
    const float* sl = rig.pluginArray(kParamSliders);
    EXPECT_NEAR(sl[0], -10.0f, 0.3f);
    EXPECT_NEAR(sl[29], 10.0f, 0.3f);
    EXPECT_NEAR(sl[15] - sl[14], 20.0f / 29.0f, 0.05f);
    rig.command(kDrawModeControl, int(DrawMode::Bone));
    rig.dragDisplay(10, 6.0f, 12, 6.0f);
    EXPECT_NEAR(sl[11], 6.0f, 0.3f);
    EXPECT_NEAR(sl[9], -10.0f + 9.0f * 20.0f / 29.0f, 0.3f) << "outside the bone: kept";
}

TEST(TessalineEditor, match_uses_its_own_sliders_and_the_knob_needs_both_spectra) {
    Rig rig;
    rig.slider(0, 6.0f);
    rig.command(kMatchControl, 1);
    EXPECT_EQ(rig.plugin(kParamMatch), 1.0f);
    EXPECT_FLOAT_EQ(rig.editor().gains()[0], 0.0f) << "SlMatch is its own array";
    EXPECT_FALSE(rig.editor().amountKnob()->enabled());
    rig.editor().hover(kMatchAmountControl);
    EXPECT_EQ(rig.editor().statusText(), "Disabled. Learn both source and destination data !");
    rig.command(kMatchControl, 0);
    EXPECT_FLOAT_EQ(rig.editor().gains()[0], 6.0f);
    rig.editor().hover(kMatchAmountControl);
    EXPECT_EQ(rig.editor().statusText(), "Disabled. Activate match button first!");
    rig.learnBoth();
    rig.command(kMatchControl, 1);
    EXPECT_TRUE(rig.editor().amountKnob()->enabled());
    float amount = 1.5f;
    rig.command(kMatchAmountControl, reinterpret_cast<LPARAM>(&amount));
    EXPECT_FLOAT_EQ(rig.plugin(kParamMorph), 1.5f);
    EXPECT_STREQ(rig.editor().amountField()->buffer(), "150.0");
    // Learn on switches match off.
    rig.command(kLearnControl, 1);
    EXPECT_EQ(rig.plugin(kParamMatch), 0.0f);
}

TEST(TessalineEditor, freeze_disables_the_controls_and_reset_undoes_freeze_learn_and_match) {
    Rig rig;
    rig.learnBoth();
    rig.command(kMatchControl, 1);
    float amount = 0.4f;
    rig.command(kMatchAmountControl, reinterpret_cast<LPARAM>(&amount));
    rig.command(kFreezeControl, 1);
    EXPECT_EQ(rig.plugin(kParamDisplay), 0.0f);
    EXPECT_FALSE(rig.editor().slider(10)->enabled());
    EXPECT_FALSE(rig.editor().button(kLearnControl)->enabled());
    rig.editor().hover(kFirstSliderControl + 10);
    EXPECT_EQ(rig.editor().statusText(), "Disabled. PlugIn is in freeze mode !");
    rig.command(kResetControl, 0);
    EXPECT_EQ(rig.plugin(kParamDisplay), 1.0f);
    EXPECT_EQ(rig.plugin(kParamMatch), 0.0f);
    EXPECT_EQ(rig.plugin(kParamLearn), 0.0f);
    EXPECT_FLOAT_EQ(rig.plugin(kParamMorph), 1.0f);
    EXPECT_EQ(rig.plugin(kParamSourceLearned), 0.0f);
    EXPECT_EQ(rig.plugin(kParamDestLearned), 0.0f);
    EXPECT_TRUE(rig.editor().slider(10)->enabled());
    EXPECT_EQ(rig.editor().statusText(), "");
}

TEST(TessalineEditor, bypass_disables_and_hides_the_tools_and_f1_opens_the_help_file) {
    Rig rig;
    ASSERT_TRUE(rig.editor().toolsShown());
    float values[2] = {1.0f, 0.0f};
    EditorRecord* record = rig.editor().editorRecord();
    record->dispatch(record, kEdHostValues, values, 0);
    rig.pump();
    EXPECT_FALSE(rig.editor().toolsShown());
    EXPECT_FALSE(rig.editor().button(kMatchControl)->enabled());
    rig.editor().hover(kMatchControl);
    EXPECT_EQ(rig.editor().statusText(), "Disabled. PlugIn is in bypass mode.");
    values[0] = 0.0f;
    record->dispatch(record, kEdHostValues, values, 0);
    rig.pump();
    EXPECT_TRUE(rig.editor().button(kMatchControl)->enabled());

    PlatformHelpRecord before{};
    PlatformLastHelp(&before);
    SendMessageA(rig.editor().clientWindow(), WM_KEYDOWN, VK_F1, 0);
    PlatformHelpRecord help{};
    PlatformLastHelp(&help);
    EXPECT_EQ(help.count, before.count + 1);
    EXPECT_STREQ(help.file, "..\\PlugIns\\Tessaline.hlp");
    EXPECT_EQ(help.command, UINT(HELP_CONTENTS));
}

TEST(TessalineEditor, without_a_timer_it_says_too_much_timer_and_works_without_updates) {
    PlatformSetClock(TRUE);
    HWND holder = test::createPageWindow(600, 400, false);
    PlatformSetTimerLimit(1);
    ASSERT_NE(SetTimer(holder, 1, 100, nullptr), 0u);
    PlatformMessageBoxRecord before{};
    PlatformLastMessageBox(&before);
    {
        Rig rig;
        PlatformMessageBoxRecord box{};
        PlatformLastMessageBox(&box);
        EXPECT_EQ(box.count, before.count + 1);
        EXPECT_STREQ(box.text, "Too much Timer!");
        EXPECT_STREQ(box.caption, "Error");
        rig.slider(2, 3.0f);
        EXPECT_FLOAT_EQ(rig.pluginArray(kParamSliders)[2], 3.0f) << "the controls still work";
    }
    KillTimer(holder, 1);
    PlatformSetTimerLimit(0);
    DestroyWindow(holder);
}

} // namespace
} // namespace orq::matching
