// The spectrogram display and its editor: the colour scale and legend, the picture's rows,
// scrolling and smoothing, the readouts, the plug-in's spectra as pixels, and the clipboard
// copy. The editor runs inside a window of the test's (the property page road), so its timer
// and its painting run on the test's thread when asked.
#include "controls/clipboard_test_support.h"
#include "runtime/editor_host.h"
#include "runtime/page_editor_test_support.h"
#include "runtime/plugin_glue.h"
#include "spectrogram/ombrel_editor.h"
#include "spectrogram/ombrel_parameters.h"
#include "spectrogram/ombrel_plugin.h"
#include "spectrogram/spectrum_analysis_design.h"

#include <gtest/gtest.h>

#include <cmath>
#include <numbers>
#include <vector>

namespace orq::spectrogram {
namespace {

constexpr float kFloor = -100.0f;
constexpr int kRate = 44100;

// What a display at the top-left corner of its window shows.
COLORREF pictureColour(const SpectrogramDisplay& display, int x, int y) {
    return PlatformWindowPixel(GetParent(display.hwnd()), x, y);
}

int indexOfColour(COLORREF c) {
    for (int i = 0; i < kScaleColourCount; ++i)
        if (kScaleColours[size_t(i)] == c) return i;
    return -1;
}

// One spectrum of the given bins at the floor but for one bin.
std::vector<float> spectrumWith(int bins, int bin, float levelDb) {
    std::vector<float> row(size_t(bins), kFloor);
    if (bin >= 0) row[size_t(bin)] = levelDb;
    return row;
}

TEST(ColourScale, high_level_is_darkest_red_low_level_is_dark_violet_and_both_clamp) {
    EXPECT_EQ(scaleIndex(0.0f, -100.0f, 0.0f), 0);
    EXPECT_EQ(kScaleColours[0], RGB(0xAB, 0x00, 0x00));
    EXPECT_EQ(scaleIndex(-100.0f, -100.0f, 0.0f), 63);
    EXPECT_EQ(kScaleColours[63], RGB(0x38, 0x00, 0x3B));
    EXPECT_EQ(scaleIndex(12.0f, -100.0f, 0.0f), 0);
    EXPECT_EQ(scaleIndex(-140.0f, -100.0f, 0.0f), 63);
    // 100 dB over 64 colours: about 1.6 dB a colour.
    EXPECT_EQ(scaleIndex(-50.0f, -100.0f, 0.0f), 63 - 31);
    EXPECT_EQ(scaleIndex(-1.6f, -100.0f, 0.0f), 63 - 61);
    // A narrower range spreads the same colours over fewer dB: more contrast.
    EXPECT_EQ(scaleIndex(-60.0f, -70.0f, -51.0f), 63 - int(10.0 / 19.0 * 63));
}

TEST(ColourScale, closed_range_splits_levels_at_the_meeting_point_without_a_division) {
    // Both sliders at -51 dB: the range has no span.
    EXPECT_EQ(scaleIndex(-51.0f, -51.0f, -51.0f), 0);
    EXPECT_EQ(scaleIndex(-51.5f, -51.0f, -51.0f), 63);
    EXPECT_EQ(scaleIndex(std::nanf(""), -100.0f, 0.0f), 63);
}

TEST(ColourScale, legend_fills_above_high_with_colour_0_below_low_with_63_and_stretches_between) {
    constexpr int kHeight = 200;
    std::vector<int> rows(kHeight);
    legendIndices(-80.0f, -20.0f, kHeight, rows.data());
    // y_hi = trunc(-20·200/-100) = 40, y_lo = 160.
    for (int y = 0; y < 40; ++y)
        ASSERT_EQ(rows[size_t(y)], 0) << "row " << y;
    EXPECT_EQ(rows[40], 0);
    EXPECT_EQ(rows[100], 32); // halfway: 31.5 rounded
    EXPECT_EQ(rows[159], 62);
    for (int y = 160; y < kHeight; ++y)
        ASSERT_EQ(rows[size_t(y)], 63) << "row " << y;
}

class DisplayTest : public ::testing::Test {
  protected:
    static constexpr int kWidth = 64;
    static constexpr int kHeight = 20;
    test::PopupTestWindow window{200, 100};
    SpectrogramDisplay display{window.hwnd(), 0, 0, kWidth, kHeight, 1, nullptr};
};

TEST_F(DisplayTest, each_collection_scrolls_left_by_its_strip_and_draws_at_the_right_edge) {
    // 21 bins on 20 rows, one spectrum per two pixels.
    display.configure(40, 21, 8000.0, kWidth / 2, 1.0);
    EXPECT_DOUBLE_EQ(display.geometry().pixelsPerSpectrum, 2.0);
    const std::vector<float> loud = spectrumWith(21, 10, 0.0f);
    display.drawSpectra(loud.data(), 1, 21);
    const int row = kHeight - 1 - int(10 * display.geometry().rowsPerBin);
    EXPECT_EQ(indexOfColour(pictureColour(display, kWidth - 1, row)), 0);
    EXPECT_EQ(indexOfColour(pictureColour(display, kWidth - 2, row)), 0);
    EXPECT_EQ(pictureColour(display, kWidth - 3, row), SpectrogramDisplay::kBackground);
    // Three quiet spectra: a strip of six columns; the loud one moved left by six.
    const std::vector<float> quiet = spectrumWith(21, -1, kFloor);
    std::vector<float> three;
    for (int i = 0; i < 3; ++i)
        three.insert(three.end(), quiet.begin(), quiet.end());
    display.drawSpectra(three.data(), 3, 21);
    EXPECT_EQ(indexOfColour(pictureColour(display, kWidth - 7, row)), 0);
    EXPECT_EQ(indexOfColour(pictureColour(display, kWidth - 8, row)), 0);
    EXPECT_EQ(indexOfColour(pictureColour(display, kWidth - 6, row)), 63);
    EXPECT_EQ(indexOfColour(pictureColour(display, kWidth - 9, row)), -1); // background
    // No spectra: nothing moves.
    display.drawSpectra(three.data(), 0, 21);
    EXPECT_EQ(indexOfColour(pictureColour(display, kWidth - 7, row)), 0);
}

TEST_F(DisplayTest, smoothing_steps_from_the_previous_colour_to_the_new_one_across_a_spectrum) {
    display.configure(40, 21, 8000.0, kWidth / 4, 1.0); // four columns a spectrum
    display.setSmoothing(true);
    // The bin starts at colour 63; a level of colour 23 steps 53, 43, 33, 23.
    const float level = -100.0f + (63 - 23) / 63.0f * 100.0f + 0.01f;
    ASSERT_EQ(scaleIndex(level, -100.0f, 0.0f), 23);
    const std::vector<float> row = spectrumWith(21, 0, level);
    display.drawSpectra(row.data(), 1, 21);
    const int y = kHeight - 1; // bin 0: the bottom row
    EXPECT_EQ(indexOfColour(pictureColour(display, kWidth - 4, y)), 53);
    EXPECT_EQ(indexOfColour(pictureColour(display, kWidth - 3, y)), 43);
    EXPECT_EQ(indexOfColour(pictureColour(display, kWidth - 2, y)), 33);
    EXPECT_EQ(indexOfColour(pictureColour(display, kWidth - 1, y)), 23);
    display.setSmoothing(false);
    const std::vector<float> top = spectrumWith(21, 0, 0.0f);
    display.drawSpectra(top.data(), 1, 21);
    for (int x = kWidth - 4; x < kWidth; ++x)
        EXPECT_EQ(indexOfColour(pictureColour(display, x, y)), 0) << "column " << x;
}

TEST_F(DisplayTest, a_row_gathering_several_bins_shows_the_loudest_of_them) {
    // 81 bins on 20 rows: about four bins a row; bin 41 falls on the row bin 40 took.
    display.configure(160, 81, 8000.0, kWidth, 1.0);
    const double r = display.geometry().rowsPerBin;
    ASSERT_EQ(int(41 * r), int(40 * r));
    const std::vector<float> row = spectrumWith(81, 41, 0.0f);
    display.drawSpectra(row.data(), 1, 81);
    const int y = kHeight - 1 - int(41 * r);
    EXPECT_EQ(indexOfColour(pictureColour(display, kWidth - 1, y)), 0);
    for (int other = 0; other < kHeight; ++other)
        if (other != y) {
            EXPECT_EQ(indexOfColour(pictureColour(display, kWidth - 1, other)), 63)
                << "row " << other;
        }
}

TEST_F(DisplayTest, readouts_give_time_before_now_frequency_and_the_history_level) {
    display.configure(40, 21, 2000.0, 16, 4.0); // a low-band picture: top row 1000 Hz
    EXPECT_EQ(display.readoutAt(0, 0).frequencyHz, 1000);
    EXPECT_EQ(display.readoutAt(0, kHeight - 1).frequencyHz, 0);
    EXPECT_NEAR(display.readoutAt(0, 0).timeSeconds, 4.0, 1e-9);
    EXPECT_NEAR(display.readoutAt(kWidth - 1, 0).timeSeconds, 0.0, 1e-9);
    const std::vector<float> newest = spectrumWith(21, 20, -12.5f);
    display.drawSpectra(newest.data(), 1, 21);
    const ViewReadout at = display.readoutAt(kWidth - 1, 0);
    EXPECT_EQ(at.column, 15);
    EXPECT_FLOAT_EQ(at.levelDb, -12.5f);
    EXPECT_FLOAT_EQ(display.readoutAt(0, 0).levelDb, kFloor);
    // A new rate or bin count starts an empty history.
    display.configure(40, 21, 4000.0, 16, 4.0);
    EXPECT_FLOAT_EQ(display.readoutAt(kWidth - 1, 0).levelDb, kFloor);
}

// The editor with the plug-in ----------------------------------------------------------------

void* createEditorForTest(ParameterInterface* given) {
    return createEditorRecord(&createOmbrelEditor, createOmbrelParameters(), given);
}

class EditorTest : public ::testing::Test {
  protected:
    void SetUp() override {
        plugin_ = createOmbrelPlugin(createOmbrelParameters(), nullptr, nullptr);
        ASSERT_NE(plugin_, nullptr);
        record_ = &plugin_->record();
        OpenFormat format{kRate, 2, 0};
        ASSERT_EQ(record_->dispatcher(record_, kCmdOpen, &format, 0), 0);
        record_->dispatcher(record_, kCmdStart, nullptr, 0);
        editorRecord_ = static_cast<EditorRecord*>(createEditorForTest(nullptr));
        ASSERT_NE(editorRecord_, nullptr);
        editorRecord_->dispatch(editorRecord_, kEdAttachRecord, record_, 0);
        editorRecord_->dispatch(editorRecord_, kEdAttachParent, window_.hwnd(), 0);
        editor_ = dynamic_cast<OmbrelEditor*>(EditorHost::fromRecord(editorRecord_));
        ASSERT_NE(editor_, nullptr);
        ASSERT_NE(editor_->view(), nullptr);
        window_.pump();
    }
    void TearDown() override {
        if (editorRecord_ != nullptr) {
            editorRecord_->dispatch(editorRecord_, kEdDetachParent, nullptr, 0);
            editorRecord_->dispatch(editorRecord_, kEdDestroy, nullptr, 0);
        }
        if (record_ != nullptr) record_->dispatcher(record_, kCmdCloseAll, nullptr, 0);
    }
    void feed(const std::vector<float>& left, const std::vector<float>& right) {
        AudioBuffers buffers(2, 2, 1024, BufferLayout::Separate);
        for (size_t at = 0; at < left.size(); at += 1024) {
            const int frames = int(std::min<size_t>(1024, left.size() - at));
            buffers.setFrames(frames);
            buffers.frames = frames;
            for (int i = 0; i < frames; ++i) {
                buffers.inputs()[0][i] = left[at + size_t(i)];
                buffers.inputs()[1][i] = right[at + size_t(i)];
            }
            record_->process(record_, &buffers);
        }
    }
    void tick() {
        SendMessageA(editor_->clientWindow(), WM_TIMER, OmbrelEditor::kCollectTimer, 0);
        window_.pump();
    }
    // The colour index the window shows at a point of the picture (-1: not a scale colour).
    int shownIndex(int x, int y) const {
        const RECT p = editor_->pictureRect();
        return indexOfColour(PlatformWindowPixel(window_.hwnd(), p.left + x, p.top + y));
    }

    test::PopupTestWindow window_{1000, 400};
    AudioPlugin* plugin_ = nullptr;
    PluginRecord* record_ = nullptr;
    EditorRecord* editorRecord_ = nullptr;
    OmbrelEditor* editor_ = nullptr;
};

TEST_F(EditorTest, full_scale_sine_of_bin_k_draws_the_zero_db_colour_at_its_row_and_nothing_far_from_it) {
    const SpectrogramDisplay& view = *editor_->view();
    const int height = view.geometry().heightPixels;
    const double r = view.geometry().rowsPerBin;
    // Bin 100 reaches a row of its own; bin 101 falls on the row bin 100 took.
    for (int k : {100, 101}) {
        std::vector<float> sine(size_t(kSpectrumFftLength) * 8);
        for (size_t i = 0; i < sine.size(); ++i)
            sine[i] = float(std::sin(2.0 * std::numbers::pi * k * double(i) / kSpectrumFftLength));
        feed(sine, sine);
        tick();
        const int row = height - 1 - int(k * r);
        const int x = view.geometry().widthPixels - 1;
        EXPECT_EQ(shownIndex(x, row), scaleIndex(0.0f, -100.0f, 0.0f)) << "bin " << k;
        // The window's leakage stays within two bins either side; every row of bins further
        // away shows the quietest colour.
        for (int y = 0; y < height; ++y) {
            const int rowFromBottom = height - 1 - y;
            const bool near = rowFromBottom >= int((k - 2) * r) && rowFromBottom <= int((k + 2) * r);
            if (!near) {
                ASSERT_EQ(shownIndex(x, y), 63) << "bin " << k << ", row " << y;
            }
        }
    }
}

TEST_F(EditorTest, high_slider_redraws_the_legend_for_the_new_range) {
    const RECT p = editor_->pictureRect();
    const int legendX = p.right + 12;
    // Default range: the colours run from the top (0 dB) to the bottom (-100 dB).
    EXPECT_EQ(indexOfColour(PlatformWindowPixel(window_.hwnd(), legendX, p.top + 40)), 13);
    controls::SliderValue value{-20.0f, MK_LBUTTON};
    SendMessageA(editor_->clientWindow(), WM_COMMAND, OmbrelEditor::kHighSliderId,
                 reinterpret_cast<LPARAM>(&value));
    window_.pump();
    EXPECT_FLOAT_EQ(editor_->view()->highDb(), -20.0f);
    // Everything above -20 dB (the top 40 rows) is now the loudest colour.
    EXPECT_EQ(indexOfColour(PlatformWindowPixel(window_.hwnd(), legendX, p.top + 39)), 0);
}

TEST_F(EditorTest, low_band_switch_sets_the_mode_and_the_picture_reads_1000_hz_at_the_top) {
    SendMessageA(editor_->clientWindow(), WM_COMMAND, OmbrelEditor::kLowBandSwitchId,
                 controls::Button::kOn);
    window_.pump();
    const OmbrelPlugin* plugin = static_cast<OmbrelPlugin*>(plugin_);
    ASSERT_NE(plugin->engine(), nullptr);
    EXPECT_TRUE(plugin->engine()->lowBand());
    EXPECT_TRUE(editor_->lowBand());
    EXPECT_TRUE(editor_->view()->smoothing());
    EXPECT_EQ(editor_->view()->geometry().bins, kLowBandShownBins);
    EXPECT_EQ(editor_->view()->readoutAt(0, 0).frequencyHz, 1000);
}

TEST_F(EditorTest, right_click_copies_the_picture_and_scales_as_the_window_shows_them) {
    std::vector<float> sine(size_t(kSpectrumFftLength) * 16);
    for (size_t i = 0; i < sine.size(); ++i)
        sine[i] = 0.3f * float(std::sin(2.0 * std::numbers::pi * 37.0 * double(i) / 1024.0));
    feed(sine, sine);
    tick();
    const RECT area = editor_->copyRect();
    for (bool control : {false, true}) {
        SendMessageA(editor_->clientWindow(), WM_RBUTTONDOWN, control ? MK_CONTROL : 0,
                     MAKELPARAM(100, 100));
        window_.pump();
        EXPECT_EQ(controls_test::clipboardDifferencesFromWindow(window_.hwnd(), area, control), 0)
            << (control ? "inverted copy" : "copy");
    }
}

} // namespace
} // namespace orq::spectrogram
