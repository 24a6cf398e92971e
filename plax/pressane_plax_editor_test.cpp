// The Pressane Plax editor through mouse and key messages in a host window.
#include "plax/pressane_plax_editor.h"

#include "plax/plax_editor_test_support.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <memory>

using namespace orq::plax;
using namespace plax_test;

namespace {

// Middles of the controls in the frame.
constexpr POINT kRockerLeft{208, 115};
constexpr POINT kRockerRight{238, 115};
constexpr POINT kBoost{223, 62};
constexpr POINT kStore{223, 196};
constexpr POINT kMemoryA{208, 176};
constexpr POINT kMemoryB{238, 176};
constexpr POINT kDesiredGainField{107, 46};
constexpr POINT kHeadroomField{222, 137};
constexpr POINT kAbout{380, 230};

class PressanePlaxEditorTest : public ::testing::Test {
  protected:
    void SetUp() override { open(); }
    void open() {
        editor = std::make_unique<PressanePlaxEditor>(effect, thisProgram());
        effect.editor = editor.get();
        ASSERT_TRUE(editor->open(host.hwnd()));
        pump();
    }
    void TearDown() override {
        effect.editor = nullptr;
        editor.reset();
    }
    float value(int index) { return effect.records[size_t(index)].value; }
    void clickAt(POINT p) { click(host.hwnd(), p.x, p.y); }

    HostWindow host;
    PressaneEffect effect;
    std::unique_ptr<PressanePlaxEditor> editor;
};

TEST(PressanePlaxTexts, value_fields_show_the_formats_of_their_parameters) {
    EXPECT_EQ(desiredGainText(7.74f), "7.5");
    EXPECT_EQ(desiredGainText(12.0f), "12.0");
    EXPECT_EQ(headroomText(0.0f), "0");
    EXPECT_EQ(headroomText(3.0f), "+3");
    EXPECT_EQ(headroomText(-4.0f), "-4");
    EXPECT_EQ(headroomText(0.5f), "0");
    EXPECT_EQ(densityText(0.35f), "0.35");
}

TEST(PressanePlaxTexts, peak_fields_are_empty_above_full_scale_and_dashed_below_their_floor) {
    EXPECT_EQ(peakText(-50.0f, kInputPeakFloorDb), "---");
    EXPECT_EQ(peakText(-40.0f, kInputPeakFloorDb), "-40");
    EXPECT_EQ(peakText(-12.0f, kOutputPeakFloorDb), "---");
    EXPECT_EQ(peakText(-3.6f, kOutputPeakFloorDb), "-3");
    EXPECT_EQ(peakText(-0.4f, kOutputPeakFloorDb), " 0");
    EXPECT_EQ(peakText(0.5f, kOutputPeakFloorDb), "");
}

TEST(PressanePlaxTexts, level_bars_show_the_highest_breakpoint_exceeded) {
    EXPECT_FLOAT_EQ(inputBarFraction(-35.0f), 0.0f); // not above the first
    EXPECT_FLOAT_EQ(inputBarFraction(-34.9f), 1.0f / 28.0f);
    EXPECT_FLOAT_EQ(inputBarFraction(-0.05f), 1.0f);
    EXPECT_FLOAT_EQ(outputBarFraction(-0.03f), 27.0f / 28.0f);
    EXPECT_FLOAT_EQ(outputBarFraction(-99.0f), 0.0f);
}

TEST_F(PressanePlaxEditorTest, frame_window_has_the_standards_class_name_and_the_background_size) {
    char name[64] = {};
    GetClassNameA(editor->frameWindow(), name, sizeof name);
    unsigned number = 0;
    char rest = 0;
    EXPECT_EQ(std::sscanf(name, "Plugin%8x%c", &number, &rest), 1) << name;
    EXPECT_EQ(std::strlen(name), 14u) << name;
    RECT r{};
    GetClientRect(editor->frameWindow(), &r);
    EXPECT_EQ(r.right, 446);
    EXPECT_EQ(r.bottom, 263);
    EXPECT_EQ(GetParent(editor->frameWindow()), host.hwnd());
}

TEST_F(PressanePlaxEditorTest, host_set_values_show_in_the_fields_and_controls) {
    effect.records[0].value = 7.74f;
    editor->parameterChanged(kPlaxDesiredGain);
    EXPECT_EQ(editor->desiredGainField()->text(), "7.5");
    for (auto [headroom, shown] : {std::pair{0.0f, "0"}, {3.0f, "+3"}, {-4.0f, "-4"}}) {
        effect.records[2].value = headroom;
        editor->parameterChanged(kPlaxHeadroom);
        EXPECT_EQ(editor->headroomField()->text(), shown) << headroom;
    }
    effect.setNormalized(kPlaxBoost, 1.0f);
    editor->parameterChanged(kPlaxBoost);
    EXPECT_FLOAT_EQ(editor->boostSwitch()->value(), 1.0f);
}

TEST_F(PressanePlaxEditorTest, peaks_show_dashes_below_the_floors_and_truncated_decibels_above) {
    effect.inputPeaksDb[0] = -50.0f;
    effect.inputPeaksDb[1] = -55.0f;
    effect.outputPeaksDb[0] = -12.0f;
    effect.outputPeaksDb[1] = -14.0f;
    editor->idle();
    EXPECT_EQ(editor->inputPeakField()->text(), "---");
    EXPECT_EQ(editor->outputPeakField()->text(), "---");
    effect.outputPeaksDb[1] = -3.6f; // the larger channel is shown
    editor->idle();
    EXPECT_EQ(editor->outputPeakField()->text(), "-3");
}

TEST_F(PressanePlaxEditorTest, meters_light_bars_lamps_and_gain_meters_from_the_table) {
    effect.inputPeaksDb[0] = 0.0f;   // at full scale: lamp lit, every segment
    effect.inputPeaksDb[1] = -0.15f; // above -0.2 only
    effect.outputPeaksDb[0] = -99.0f;
    effect.outputPeaksDb[1] = -5.5f;
    effect.records[4].value = 0.9f; // gain reached: normalised 1, less 0.1
    effect.records[5].value = -3.0f;
    editor->idle();
    EXPECT_TRUE(editor->lamp(0)->lit());
    EXPECT_FALSE(editor->lamp(1)->lit());
    EXPECT_EQ(editor->levelBar(0)->litSegments(), 28);
    EXPECT_EQ(editor->levelBar(1)->litSegments(), 27);
    EXPECT_EQ(editor->levelBar(2)->litSegments(), 0);
    EXPECT_EQ(editor->levelBar(3)->litSegments(), 5);
    EXPECT_EQ(editor->gainReachedMeter()->litSegments(), 9);
    EXPECT_EQ(editor->headroomMeter()->litSegments(), 0);
    EXPECT_EQ(editor->inputPeakField()->text(), " 0"); // at 0 dB, not above it
    effect.inputPeaksDb[1] = 0.5f;
    editor->idle();
    EXPECT_EQ(editor->inputPeakField()->text(), "");
}

TEST_F(PressanePlaxEditorTest, rocker_steps_headroom_and_holds_it_at_the_ends) {
    clickAt(kRockerRight);
    EXPECT_FLOAT_EQ(value(kPlaxHeadroom), 1.0f);
    EXPECT_EQ(editor->headroomField()->text(), "+1");
    effect.records[2].value = 9.0f;
    clickAt(kRockerRight);
    EXPECT_FLOAT_EQ(value(kPlaxHeadroom), 9.0f);
    effect.records[2].value = -9.0f;
    clickAt(kRockerLeft);
    EXPECT_FLOAT_EQ(value(kPlaxHeadroom), -9.0f);
    clickAt(kRockerRight);
    EXPECT_FLOAT_EQ(value(kPlaxHeadroom), -8.0f);
}

TEST_F(PressanePlaxEditorTest, memory_b_right_after_creation_restores_the_creation_values) {
    TearDown();
    effect.records[0].value = 4.5f;
    effect.records[1].value = 0.35f;
    effect.records[2].value = -2.0f;
    effect.records[3].value = 1.0f;
    open();
    clickAt(kRockerRight);
    clickAt(kBoost);
    press(host.hwnd(), 108, 66); // desired gain slider near its top
    release(host.hwnd(), 108, 66);
    ASSERT_NE(value(kPlaxDesiredGain), 4.5f);
    ASSERT_FLOAT_EQ(value(kPlaxBoost), 0.0f);
    clickAt(kMemoryB);
    EXPECT_FLOAT_EQ(value(kPlaxDesiredGain), 4.5f);
    EXPECT_NEAR(value(kPlaxDensity), 0.35f, 1e-6f);
    EXPECT_FLOAT_EQ(value(kPlaxHeadroom), -2.0f);
    EXPECT_FLOAT_EQ(value(kPlaxBoost), 1.0f);
    EXPECT_EQ(editor->desiredGainField()->text(), "4.5");
    EXPECT_FLOAT_EQ(editor->boostSwitch()->value(), 1.0f);
}

TEST_F(PressanePlaxEditorTest, store_switch_makes_a_memory_button_save_and_turns_itself_off) {
    clickAt(kRockerRight);
    clickAt(kRockerRight); // headroom 2
    clickAt(kStore);
    ASSERT_FLOAT_EQ(editor->storeSwitch()->value(), 1.0f);
    const int before = effect.automatedCount;
    clickAt(kMemoryA);
    EXPECT_FLOAT_EQ(editor->storeSwitch()->value(), 0.0f);
    EXPECT_EQ(effect.automatedCount, before); // storing sets nothing
    EXPECT_FLOAT_EQ(editor->memory(0)[2], 11.0f / 18.0f);
    clickAt(kRockerLeft);
    clickAt(kMemoryA); // now it recalls
    EXPECT_FLOAT_EQ(value(kPlaxHeadroom), 2.0f);
}

TEST_F(PressanePlaxEditorTest, memory_button_released_off_it_does_nothing) {
    clickAt(kRockerRight);
    press(host.hwnd(), kMemoryB.x, kMemoryB.y);
    drag(host.hwnd(), kMemoryB.x + 40, kMemoryB.y);
    release(host.hwnd(), kMemoryB.x + 40, kMemoryB.y);
    EXPECT_FLOAT_EQ(value(kPlaxHeadroom), 1.0f);
}

TEST_F(PressanePlaxEditorTest, text_entry_in_a_value_field_sets_the_parameter) {
    clickAt(kHeadroomField);
    ASSERT_NE(editor->headroomField()->entryWindow(), nullptr);
    type(host.hwnd(), "-4");
    key(host.hwnd(), VK_RETURN);
    EXPECT_EQ(editor->headroomField()->entryWindow(), nullptr);
    EXPECT_FLOAT_EQ(value(kPlaxHeadroom), -4.0f);
    EXPECT_EQ(editor->headroomField()->text(), "-4");

    clickAt(kDesiredGainField);
    type(host.hwnd(), "7.74");
    key(host.hwnd(), VK_RETURN);
    EXPECT_FLOAT_EQ(value(kPlaxDesiredGain), 7.5f); // the table's half-dB steps
    EXPECT_EQ(editor->desiredGainField()->text(), "7.5");
    EXPECT_EQ(editor->desiredGainSlider()->value(), 7.5f / 12.0f);
}

TEST_F(PressanePlaxEditorTest, text_entry_out_of_range_is_held_to_the_range) {
    clickAt(kHeadroomField);
    type(host.hwnd(), "40");
    key(host.hwnd(), VK_RETURN);
    EXPECT_FLOAT_EQ(value(kPlaxHeadroom), 9.0f);
}

TEST_F(PressanePlaxEditorTest, text_entry_that_is_no_number_or_is_cancelled_changes_nothing) {
    effect.records[2].value = 3.0f;
    editor->parameterChanged(kPlaxHeadroom);
    const int before = effect.automatedCount;
    clickAt(kHeadroomField);
    type(host.hwnd(), "4x");
    key(host.hwnd(), VK_RETURN);
    clickAt(kHeadroomField);
    key(host.hwnd(), VK_RETURN); // nothing typed
    clickAt(kHeadroomField);
    type(host.hwnd(), "5");
    key(host.hwnd(), VK_ESCAPE);
    EXPECT_EQ(editor->headroomField()->entryWindow(), nullptr);
    EXPECT_FLOAT_EQ(value(kPlaxHeadroom), 3.0f);
    EXPECT_EQ(effect.automatedCount, before);
    EXPECT_EQ(editor->headroomField()->text(), "+3");
}

TEST_F(PressanePlaxEditorTest, closing_during_text_entry_leaves_no_window_and_no_change) {
    clickAt(kHeadroomField);
    HWND entry = editor->headroomField()->entryWindow();
    ASSERT_NE(entry, nullptr);
    type(host.hwnd(), "5");
    editor->close();
    pump();
    EXPECT_FALSE(IsWindow(entry));
    EXPECT_FLOAT_EQ(value(kPlaxHeadroom), 0.0f);
}

TEST_F(PressanePlaxEditorTest, slider_follows_the_pointer_from_bottom_to_top) {
    press(host.hwnd(), 108, 64 + 112); // the track's bottom row
    EXPECT_FLOAT_EQ(value(kPlaxDesiredGain), 0.0f);
    drag(host.hwnd(), 108, 64);
    release(host.hwnd(), 108, 64);
    EXPECT_FLOAT_EQ(value(kPlaxDesiredGain), 12.0f);
    EXPECT_EQ(editor->desiredGainField()->text(), "12.0");
}

TEST_F(PressanePlaxEditorTest, closed_editor_ignores_parameter_changes_and_reopens_with_them) {
    clickAt(kStore);
    clickAt(kMemoryA); // slot A: the current values (all 0)
    editor->close();
    EXPECT_FALSE(editor->isOpen());
    effect.records[0].value = 6.0f;
    editor->parameterChanged(kPlaxDesiredGain);
    editor->idle();
    ASSERT_TRUE(editor->open(host.hwnd()));
    EXPECT_EQ(editor->desiredGainField()->text(), "6.0");
    EXPECT_FLOAT_EQ(editor->memory(0)[0], 0.0f); // the slots survive
    clickAt(kMemoryA);
    EXPECT_FLOAT_EQ(value(kPlaxDesiredGain), 0.0f);
}

TEST_F(PressanePlaxEditorTest, splash_opens_over_the_editor_and_the_next_click_closes_it) {
    clickAt(kAbout);
    ASSERT_TRUE(editor->splash()->shown());
    clickAt(kRockerRight); // taken by the splash, not the rocker
    EXPECT_FALSE(editor->splash()->shown());
    EXPECT_FLOAT_EQ(value(kPlaxHeadroom), 0.0f);
}

TEST_F(PressanePlaxEditorTest, pictures_of_the_editor_for_review) {
    effect.inputPeaksDb[0] = -6.0f;
    effect.inputPeaksDb[1] = 0.2f;
    effect.outputPeaksDb[0] = -0.3f;
    effect.outputPeaksDb[1] = -1.2f;
    effect.records[4].value = 0.6f;
    effect.records[5].value = 2.0f;
    effect.records[0].value = 7.5f;
    effect.records[2].value = 3.0f;
    effect.records[1].value = 0.4f;
    for (int i = 0; i < 4; ++i)
        editor->parameterChanged(i);
    editor->idle();
    pump();
    const char* dir = std::getenv("PLAX_EDITOR_PNG_DIR");
    if (dir == nullptr) GTEST_SKIP() << "set PLAX_EDITOR_PNG_DIR to write the pictures";
    EXPECT_TRUE(PlatformSaveWindowPng(host.hwnd(), (std::string(dir) + "/pressane_plax.png").c_str()));
    clickAt(kAbout);
    EXPECT_TRUE(
        PlatformSaveWindowPng(host.hwnd(), (std::string(dir) + "/pressane_plax_splash.png").c_str()));
}

} // namespace
