// The compressor Plax editor on the effect itself: mouse and key messages in a host window reach
// the effect's table and the host's automation; host changes, programs and the published meter
// reach the controls.
#include "plax/compressor_plax_editor.h"

#include "plax/hosted_editor.h"
#include "plax/plax_editor_test_support.h"
#include "plax/plax_test_support.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <memory>
#include <vector>

using namespace orq::plax;
using namespace plax_test;

namespace {

struct Automation {
    int32_t index;
    float normalised;
};
// What the host was told through its automate opcode.
std::vector<Automation> automated;

intptr_t recordingHost(PlaxEffect*, int32_t opcode, int32_t index, intptr_t, void*, float opt) {
    if (opcode == kPlaxHostVersion) return kPlaxStandardVersion;
    if (opcode == kPlaxHostAutomate) automated.push_back({index, opt});
    return 0;
}

// The editor with this program's bitmaps (compressor_resources.txt).
std::unique_ptr<PlaxEditor> makeEditor(SuiteEffect& effect) {
    return std::make_unique<HostedEditor>(
        &effect, std::make_unique<CompressorPlaxEditor>(effect, thisProgram()));
}

// Points in the frame: band b's slider column, field, button; Solo; the about area.
int bandMiddleX(int band) { return 44 + 44 * band + 9; }
constexpr int kFieldY = 46;
constexpr int kButtonY = 193;
constexpr POINT kSolo{273, 192};
constexpr POINT kOutputField{345, 46};
constexpr POINT kAbout{420, 232};
constexpr int kTrackTop = 64;
constexpr int kTravel = 101;
constexpr int kHalfThumb = 6;

class CompressorPlaxEditorTest : public ::testing::Test {
  protected:
    void SetUp() override {
        automated.clear();
        record = createCompressorPlax(recordingHost, makeEditor);
        ASSERT_NE(record, nullptr);
        effect = static_cast<CompressorPlax*>(PlaxEffectBase::fromRecord(record));
        editor = &static_cast<CompressorPlaxEditor&>(
            static_cast<HostedEditor*>(effect->editor())->editor());
        open();
        automated.clear(); // what the tests themselves cause
    }
    void TearDown() override { orq::plax::testing::call(record, kPlaxClose); }
    void open() {
        ASSERT_EQ(orq::plax::testing::call(record, kPlaxEditorOpen, 0, 0, host.hwnd()), 1);
        pump();
    }
    void close() {
        orq::plax::testing::call(record, kPlaxEditorClose);
        pump();
    }
    float raw(int index) { return effect->table().readValue(index); }
    void clickAt(POINT p) { click(host.hwnd(), p.x, p.y); }
    void clickAt(int x, int y) { click(host.hwnd(), x, y); }
    // Types into the field at (x, y) and ends with Enter.
    void enter(int x, int y, const std::string& text) {
        clickAt(x, y);
        type(host.hwnd(), text);
        key(host.hwnd(), VK_RETURN);
    }

    HostWindow host{CompressorPlaxEditor::kWidthPixels, CompressorPlaxEditor::kHeightPixels};
    PlaxEffect* record = nullptr;
    CompressorPlax* effect = nullptr;
    CompressorPlaxEditor* editor = nullptr;
};

TEST(CompressorPlaxTexts, gain_fields_show_one_decimal_and_no_negative_zero) {
    EXPECT_EQ(compressorGainText(-3.46f), "-3.5");
    EXPECT_EQ(compressorGainText(12.0f), "12.0");
    EXPECT_EQ(compressorGainText(-0.04f), "0.0");
    EXPECT_EQ(compressorGainText(0.1f), "0.1");
}

TEST(CompressorPlaxTexts, level_meter_lights_the_highest_breakpoint_the_level_exceeds) {
    EXPECT_FLOAT_EQ(levelMeterFraction(levelDb(1.0f)), 1.0f);          // 0 dB, above -0.5
    EXPECT_FLOAT_EQ(levelMeterFraction(levelDb(0.5f)), 11.0f / 20.0f); // -6.02: above -8 only
    EXPECT_FLOAT_EQ(levelMeterFraction(levelDb(0.01f)), 0.0f);         // -40 dB: not above it
    EXPECT_FLOAT_EQ(levelMeterFraction(levelDb(0.0f)), 0.0f);
    EXPECT_FLOAT_EQ(levelMeterFraction(levelDb(-1.0f)), 0.0f); // the engine's "none"
}

TEST_F(CompressorPlaxEditorTest, editor_rectangle_and_frame_are_the_backgrounds_size) {
    PlaxRect* rect = nullptr;
    ASSERT_EQ(orq::plax::testing::call(record, kPlaxEditorGetRect, 0, 0, &rect), 1);
    EXPECT_EQ(rect->right - rect->left, 480);
    EXPECT_EQ(rect->bottom - rect->top, 263);
    EXPECT_TRUE(record->flags & kPlaxFlagHasEditor);
    RECT client{};
    GetClientRect(editor->frameWindow(), &client);
    EXPECT_EQ(client.right, 480);
    EXPECT_EQ(client.bottom, 263);
}

TEST_F(CompressorPlaxEditorTest, controls_open_with_the_factory_programs_values) {
    // Program 0, "Init": every gain 0 dB, three bands in use, band 2 active, Solo off.
    for (int b = 0; b < kCompBandCount; ++b) {
        EXPECT_EQ(editor->bandField(b)->text(), "0.0") << b;
        EXPECT_FLOAT_EQ(editor->bandSlider(b)->value(), 0.5f) << b;
        EXPECT_EQ(editor->inUseLamp(b)->lit(), b < 3) << b;
        EXPECT_FLOAT_EQ(editor->bandButton(b)->value(), b == 1 ? 1.0f : 0.0f) << b;
    }
    EXPECT_EQ(editor->bandsField()->text(), "3");
    EXPECT_FLOAT_EQ(editor->soloSwitch()->value(), 0.0f);
    EXPECT_EQ(editor->gainField()->text(), "0.0");
}

TEST_F(CompressorPlaxEditorTest, dragging_a_band_slider_automates_its_gain_with_the_sliders_position) {
    const int x = bandMiddleX(1);
    // Pressed beside the thumb: its middle jumps under the pointer, 25 rows from the top.
    press(host.hwnd(), x, kTrackTop + kHalfThumb + 25);
    ASSERT_FALSE(automated.empty());
    EXPECT_EQ(automated.back().index, kCompBandGain1 + 1);
    EXPECT_NEAR(automated.back().normalised, 1.0f - 25.0f / 101.0f, 1e-6f);
    // 0.7525 of 240 steps of 0.1 dB from -12: step 181, 6.1 dB.
    EXPECT_NEAR(raw(kCompBandGain1 + 1), 6.1f, 1e-4f);
    EXPECT_EQ(editor->bandField(1)->text(), "6.1");
    drag(host.hwnd(), x, kTrackTop + kHalfThumb + kTravel + 30); // past the bottom
    release(host.hwnd(), x, kTrackTop + kHalfThumb + kTravel + 30);
    EXPECT_FLOAT_EQ(automated.back().normalised, 0.0f);
    EXPECT_FLOAT_EQ(raw(kCompBandGain1 + 1), -12.0f);
    EXPECT_EQ(editor->bandField(1)->text(), "-12.0");
    for (const Automation& a : automated) EXPECT_EQ(a.index, kCompBandGain1 + 1);
    EXPECT_FLOAT_EQ(raw(kCompBandGain1), 0.0f) << "the neighbour stayed";
}

TEST_F(CompressorPlaxEditorTest, output_slider_automates_gain) {
    press(host.hwnd(), 345, kTrackTop); // the track's top row: the thumb goes to the top
    release(host.hwnd(), 345, kTrackTop);
    ASSERT_FALSE(automated.empty());
    EXPECT_EQ(automated.back().index, kCompGain);
    EXPECT_FLOAT_EQ(automated.back().normalised, 1.0f);
    EXPECT_FLOAT_EQ(raw(kCompGain), 12.0f);
    EXPECT_EQ(editor->gainField()->text(), "12.0");
}

TEST_F(CompressorPlaxEditorTest, typed_gains_are_quantised_and_held_to_the_range) {
    enter(bandMiddleX(2), kFieldY, "-4.26");
    EXPECT_NEAR(raw(kCompBandGain1 + 2), -4.3f, 1e-4f); // the table's 0.1 dB steps
    EXPECT_EQ(editor->bandField(2)->text(), "-4.3");
    EXPECT_NEAR(editor->bandSlider(2)->value(), 77.0f / 240.0f, 1e-6f);
    ASSERT_FALSE(automated.empty());
    EXPECT_EQ(automated.back().index, kCompBandGain1 + 2);

    enter(kOutputField.x, kOutputField.y, "40");
    EXPECT_FLOAT_EQ(raw(kCompGain), 12.0f);
    EXPECT_EQ(editor->gainField()->text(), "12.0");
    enter(bandMiddleX(4), kFieldY, "-99");
    EXPECT_FLOAT_EQ(raw(kCompBandGain1 + 4), -12.0f);
}

TEST_F(CompressorPlaxEditorTest, typed_text_that_is_no_number_or_is_cancelled_changes_nothing) {
    enter(bandMiddleX(0), kFieldY, "4x");
    enter(bandMiddleX(0), kFieldY, "");
    clickAt(bandMiddleX(0), kFieldY);
    type(host.hwnd(), "5");
    key(host.hwnd(), VK_ESCAPE);
    EXPECT_EQ(editor->bandField(0)->entryWindow(), nullptr);
    EXPECT_TRUE(automated.empty());
    EXPECT_FLOAT_EQ(raw(kCompBandGain1), 0.0f);
    EXPECT_EQ(editor->bandField(0)->text(), "0.0");
}

TEST_F(CompressorPlaxEditorTest, solo_switch_automates_solo_and_band_buttons_choose_the_active_band) {
    clickAt(kSolo);
    ASSERT_EQ(automated.size(), 1u);
    EXPECT_EQ(automated[0].index, kCompSolo);
    EXPECT_FLOAT_EQ(automated[0].normalised, 1.0f);
    EXPECT_FLOAT_EQ(raw(kCompSolo), 1.0f);

    effect->table().getValue(kCompActBand); // the engine has seen the active band
    clickAt(bandMiddleX(2), kButtonY);
    EXPECT_FLOAT_EQ(raw(kCompActBand), 2.0f);
    EXPECT_TRUE(effect->table().isChanged(kCompActBand)) << "the engine is to see the band";
    EXPECT_EQ(automated.size(), 1u) << "the active band is no host parameter";
    for (int b = 0; b < kCompBandCount; ++b)
        EXPECT_FLOAT_EQ(editor->bandButton(b)->value(), b == 2 ? 1.0f : 0.0f) << b;

    clickAt(bandMiddleX(2), kButtonY); // the active band's button stays lit
    EXPECT_FLOAT_EQ(editor->bandButton(2)->value(), 1.0f);
    clickAt(bandMiddleX(4), kButtonY); // band 5 is not in use with three bands
    EXPECT_FLOAT_EQ(raw(kCompActBand), 2.0f);
    EXPECT_FLOAT_EQ(editor->bandButton(4)->value(), 0.0f);
    EXPECT_FLOAT_EQ(editor->bandButton(2)->value(), 1.0f);

    clickAt(kSolo);
    EXPECT_FLOAT_EQ(raw(kCompSolo), 0.0f);
    EXPECT_FLOAT_EQ(automated.back().normalised, 0.0f);
}

TEST_F(CompressorPlaxEditorTest, host_set_parameters_and_programs_move_the_controls) {
    record->setParameter(record, kCompBandGain1 + 4, 0.25f);
    EXPECT_FLOAT_EQ(editor->bandSlider(4)->value(), 0.25f);
    EXPECT_EQ(editor->bandField(4)->text(), "-6.0");
    record->setParameter(record, kCompGain, 0.75f);
    EXPECT_EQ(editor->gainField()->text(), "6.0");
    record->setParameter(record, kCompSolo, 1.0f);
    EXPECT_FLOAT_EQ(editor->soloSwitch()->value(), 1.0f);
    EXPECT_TRUE(automated.empty()) << "host changes are not told back to the host";

    // "FM Radio": four bands, band 3 active, BandGain1 0.625 (3 dB), Gain 0.458333 (-1 dB).
    orq::plax::testing::call(record, kPlaxSetProgram, 0, 1);
    EXPECT_EQ(editor->bandsField()->text(), "4");
    for (int b = 0; b < kCompBandCount; ++b) {
        EXPECT_EQ(editor->inUseLamp(b)->lit(), b < 4) << b;
        EXPECT_FLOAT_EQ(editor->bandButton(b)->value(), b == 2 ? 1.0f : 0.0f) << b;
    }
    EXPECT_EQ(editor->bandField(0)->text(), "3.0");
    EXPECT_EQ(editor->gainField()->text(), "-1.0");
}

TEST_F(CompressorPlaxEditorTest, meter_and_peak_field_show_the_published_level_on_idle) {
    effect->table().setValue(kCompPeak, 0.5f); // -6.02 dB
    orq::plax::testing::call(record, kPlaxEditorIdle);
    EXPECT_EQ(editor->levelMeter()->litSegments(), 11);
    EXPECT_EQ(editor->peakField()->text(), "-6");
    effect->table().setValue(kCompPeak, 1.0f);
    orq::plax::testing::call(record, kPlaxEditorIdle);
    EXPECT_EQ(editor->levelMeter()->litSegments(), 20);
    EXPECT_EQ(editor->peakField()->text(), " 0");
    effect->table().setValue(kCompPeak, 0.0f); // no level (engine stopped, no band)
    orq::plax::testing::call(record, kPlaxEditorIdle);
    EXPECT_EQ(editor->levelMeter()->litSegments(), 0);
    EXPECT_EQ(editor->peakField()->text(), "---");
}

TEST_F(CompressorPlaxEditorTest, processed_audio_reaches_the_meter) {
    constexpr int kFrames = 4096;
    std::vector<float> left(kFrames), right(kFrames), outLeft(kFrames), outRight(kFrames);
    for (int t = 0; t < kFrames; ++t) left[size_t(t)] = right[size_t(t)] =
        0.5f * float(std::sin(2.0 * M_PI * 1000.0 * t / 44100.0));
    float* in[2] = {left.data(), right.data()};
    float* out[2] = {outLeft.data(), outRight.data()};
    orq::plax::testing::call(record, kPlaxMainsChanged, 0, 1);
    for (int block = 0; block < 8; ++block) record->processReplacing(record, in, out, kFrames);
    orq::plax::testing::call(record, kPlaxEditorIdle);
    // A 1 kHz tone at -6 dB lies in band 2 (256 Hz … 2 kHz), the active band.
    EXPECT_GT(editor->levelMeter()->litSegments(), 5) << editor->peakField()->text();
    EXPECT_NE(editor->peakField()->text(), "---");
}

TEST_F(CompressorPlaxEditorTest, closing_and_reopening_keeps_the_state_and_follows_changes_made_meanwhile) {
    press(host.hwnd(), bandMiddleX(0), kTrackTop + kHalfThumb); // band 1 to the top
    release(host.hwnd(), bandMiddleX(0), kTrackTop + kHalfThumb);
    clickAt(bandMiddleX(0), kButtonY);
    close();
    EXPECT_FALSE(editor->isOpen());
    EXPECT_EQ(editor->frameWindow(), nullptr);
    record->setParameter(record, kCompGain, 0.25f); // while closed: nothing to move
    orq::plax::testing::call(record, kPlaxEditorIdle);
    open();
    EXPECT_EQ(editor->bandField(0)->text(), "12.0");
    EXPECT_FLOAT_EQ(editor->bandSlider(0)->value(), 1.0f);
    EXPECT_FLOAT_EQ(editor->bandButton(0)->value(), 1.0f);
    EXPECT_EQ(editor->gainField()->text(), "-6.0");
}

TEST_F(CompressorPlaxEditorTest, splash_shows_over_the_editor_until_the_next_click) {
    clickAt(kAbout);
    ASSERT_TRUE(editor->splash()->shown());
    clickAt(kSolo); // taken by the splash
    EXPECT_FALSE(editor->splash()->shown());
    EXPECT_FLOAT_EQ(raw(kCompSolo), 0.0f);
    EXPECT_TRUE(automated.empty());
}

TEST_F(CompressorPlaxEditorTest, pictures_of_the_editor_for_review) {
    const float gains[kCompBandCount] = {0.625f, 0.4f, 0.7f, 0.5f, 0.5f};
    for (int b = 0; b < kCompBandCount; ++b) record->setParameter(record, kCompBandGain1 + b, gains[b]);
    record->setParameter(record, kCompGain, 0.55f);
    effect->table().setValue(kCompPeak, 0.3f);
    orq::plax::testing::call(record, kPlaxEditorIdle);
    pump();
    const char* dir = std::getenv("PLAX_EDITOR_PNG_DIR");
    if (dir == nullptr) GTEST_SKIP() << "set PLAX_EDITOR_PNG_DIR to write the pictures";
    EXPECT_TRUE(PlatformSaveWindowPng(host.hwnd(), (std::string(dir) + "/compressor_plax.png").c_str()));
    clickAt(kAbout);
    EXPECT_TRUE(PlatformSaveWindowPng(host.hwnd(),
                                      (std::string(dir) + "/compressor_plax_splash.png").c_str()));
}

} // namespace
