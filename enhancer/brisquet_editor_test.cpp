#include "enhancer/brisquet_editor.h"

#include "controls/control_messages.h"
#include "enhancer/brisquet_parameters.h"
#include "enhancer/brisquet_plugin.h"
#include "runtime/audio_buffers.h"
#include "runtime/page_editor_test_support.h"

#include <gtest/gtest.h>

#include <array>
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

// The editor on its plug-in inside a window of the test (the property-page road).
class Rig : public test::PageEditorRig {
  public:
    explicit Rig(int32_t channels = 2)
        : PageEditorRig(createBrisquetPlugin(createBrisquetParameters(), nullptr, nullptr),
                        OpenFormat{44100, channels, 0}, &createBrisquetEditor,
                        createBrisquetParameters(), SIZE{400, 240}, true),
          editor_(dynamic_cast<BrisquetEditor*>(host())) {}

    BrisquetEditor& editor() { return *editor_; }
    float plugin(int32_t index) {
        return static_cast<TableParameterSet&>(plugin_->parameters()).value(index);
    }
    // A steady block of the given amplitude through the plug-in (channel 1 at half of it).
    void play(float amplitude, int32_t frames = 4410) {
        AudioBuffers buffers(2, 2, 8192, BufferLayout::Shared);
        buffers.setFrames(frames);
        for (int i = 0; i < frames; ++i) {
            buffers.inputs()[0][i] = (i % 2 == 0 ? amplitude : -amplitude);
            buffers.inputs()[1][i] = (i % 2 == 0 ? amplitude : -amplitude) * 0.5f;
        }
        // Through the record, as the frame meters it.
        plugin_->record().process(&plugin_->record(), &buffers);
    }

  private:
    BrisquetEditor* editor_ = nullptr;
};

TEST(BrisquetEditor, the_33_ms_timer_shows_output_peaks_lights_the_clip_and_decays) {
    Rig rig;
    rig.editor().showPeaks(std::array<float, 2>{0.0f, 0.0f}.data(), 2);
    const float loud[2] = {1.4f, 0.5f};
    rig.editor().showPeaks(loud, 2);
    EXPECT_FLOAT_EQ(rig.editor().shownLevel(0), 1.0f) << "held at full scale";
    EXPECT_FLOAT_EQ(rig.editor().shownLevel(1), 0.5f);
    EXPECT_TRUE(rig.editor().clipLit());
    EXPECT_EQ(rig.editor().switchOf(BrisquetEditor::kClipLamp)->state(), 1);
    const float quiet[2] = {0.0f, 0.0f};
    rig.editor().showPeaks(quiet, 2);
    EXPECT_FLOAT_EQ(rig.editor().shownLevel(0), 0.7f);
    EXPECT_TRUE(rig.editor().clipLit()) << "the indicator holds";
    rig.command(controls::kDisabledClickCommand, BrisquetEditor::kClipLamp);
    EXPECT_FALSE(rig.editor().clipLit()) << "a click on it puts it out";
    // One channel shows on both meters.
    const float mono[1] = {0.9f};
    rig.editor().showPeaks(mono, 1);
    EXPECT_FLOAT_EQ(rig.editor().shownLevel(1), 0.9f);
}

TEST(BrisquetEditor, the_timer_reads_and_clears_the_frames_output_peaks) {
    Rig rig;
    rig.play(0.5f);
    rig.wait(BrisquetEditor::kMeterPeriodMs);
    const float first = rig.editor().shownLevel(0);
    EXPECT_GT(first, 0.3f) << "the enhanced output of a 0.5 block";
    EXPECT_GT(first, rig.editor().shownLevel(1)) << "channel 1 was quieter";
    // Nothing played since: the peaks were cleared, so the meters fall.
    rig.wait(BrisquetEditor::kMeterPeriodMs);
    EXPECT_NEAR(rig.editor().shownLevel(0), 0.7f * first, 1e-6f);
}

TEST(BrisquetEditor, sliders_send_their_parameter_and_show_it_with_one_decimal) {
    Rig rig;
    controls::SliderValue v{-7.0f, MK_LBUTTON};
    rig.command(BrisquetEditor::kInputSlider, reinterpret_cast<LPARAM>(&v));
    EXPECT_FLOAT_EQ(rig.plugin(kInputGainIndex), -7.0f);
    EXPECT_STREQ(rig.editor().readout(0)->buffer(), "-7.0");
    controls::SliderValue mix{0.25f, MK_LBUTTON};
    rig.command(BrisquetEditor::kMixSlider, reinterpret_cast<LPARAM>(&mix));
    EXPECT_FLOAT_EQ(rig.plugin(kMixIndex), 0.25f);
    EXPECT_STREQ(rig.editor().readout(4)->buffer(), "0.2") << "%2.1f of 0.25";
}

TEST(BrisquetEditor, steppers_hold_their_range_and_switch_their_readout_format_after_a_press) {
    Rig rig;
    EXPECT_STREQ(rig.editor().frequencyField()->buffer(), " 3") << "from the engine: %2d";
    for (int i = 0; i < 6; ++i)
        rig.command(BrisquetEditor::kFrequencyUp, 0);
    EXPECT_FLOAT_EQ(rig.plugin(kFrequencyIndex), 7000.0f);
    EXPECT_STREQ(rig.editor().frequencyField()->buffer(), "  7") << "after a press: %3d";
    for (int i = 0; i < 5; ++i)
        rig.command(BrisquetEditor::kDensityDown, 0);
    EXPECT_FLOAT_EQ(rig.plugin(kDensityIndex), 0.0f);
}

TEST(BrisquetEditor, solo_is_lit_when_the_dry_signal_is_off_and_mono_reaches_the_plugin) {
    Rig rig;
    EXPECT_EQ(rig.editor().switchOf(BrisquetEditor::kSoloSwitch)->state(), 0);
    rig.command(BrisquetEditor::kSoloSwitch, 1);
    EXPECT_FLOAT_EQ(rig.plugin(kSoloIndex), 0.0f);
    rig.command(BrisquetEditor::kMonoSwitch, 1);
    EXPECT_FLOAT_EQ(rig.plugin(kMonoIndex), 1.0f);
    rig.command(BrisquetEditor::kKickSwitch, 1);
    EXPECT_FLOAT_EQ(rig.plugin(kKickIndex), 1.0f);
}

TEST(BrisquetEditor, the_layout_button_switches_layouts_and_resizes_the_window_it_lives_in) {
    Rig rig;
    RECT size{};
    rig.record()->dispatch(rig.record(), kEdGetSize, &size, 0);
    EXPECT_EQ(size.right, BrisquetEditor::kFullWidthPixels);
    rig.command(BrisquetEditor::kLayoutButton, 0);
    EXPECT_TRUE(rig.editor().compact());
    rig.record()->dispatch(rig.record(), kEdGetSize, &size, 0);
    EXPECT_EQ(size.right, BrisquetEditor::kCompactWidthPixels);
    RECT page{};
    GetWindowRect(rig.page(), &page);
    EXPECT_EQ(page.right - page.left, BrisquetEditor::kCompactWidthPixels);
    EXPECT_FALSE(IsWindowVisible(rig.editor().slider(1)->hwnd())) << "Gain is full-layout only";
    EXPECT_TRUE(IsWindowVisible(rig.editor().slider(4)->hwnd())) << "Mix is in both";
    rig.command(BrisquetEditor::kLayoutButton, 0);
    EXPECT_FALSE(rig.editor().compact());
    EXPECT_TRUE(IsWindowVisible(rig.editor().slider(1)->hwnd()));
}

} // namespace
} // namespace orq::enhancer
