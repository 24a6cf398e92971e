// The band display driven by mouse messages: handles taken on press, moves with and without
// SHIFT and CTRL, the texts of the handles, bands added and removed by double clicks.
#include "compressor/compressor_editor_band_display.h"
#include "compressor/compressor_editor_test_support.h"

#include <gtest/gtest.h>

#include <cmath>

namespace orq::compressor {
namespace {

using testing::Mouse;
using testing::notifications;
using testing::ParentWindow;

constexpr int kWidth = 324;
constexpr int kHeight = 105;

class BandDisplayTest : public ::testing::Test {
  protected:
    BandDisplayTest() : display_(parent_.hwnd(), testing::bandDisplayId(), 35, 67, kWidth, kHeight),
                        mouse_(parent_.hwnd(), display_.hwnd()) {
        const float borders[] = {25.0f, 239.75f, 2299.25f, 22050.0f};
        display_.setBorders(borders, 4);
        notifications().clear();
    }
    const testing::Notification& last() const { return notifications().back(); }

    ParentWindow parent_;
    BandDisplay display_;
    Mouse mouse_;
};

TEST(BandDisplayTexts, hz_text_rounds_999_6_to_1000_and_1000_takes_the_khz_text) {
    EXPECT_EQ(BandDisplay::frequencyText(999.6), " 1000 Hz");
    EXPECT_EQ(BandDisplay::frequencyText(1000.0), " 1.0 kHz");
    EXPECT_EQ(BandDisplay::frequencyText(239.75), " 240 Hz");
    EXPECT_EQ(BandDisplay::frequencyText(22050.0), " 22.1 kHz");
    EXPECT_EQ(BandDisplay::gainText(-6.0f), " -6.0 dB");
    EXPECT_EQ(BandDisplay::gainText(12.0f), " 12.0 dB");
}

TEST_F(BandDisplayTest, pointing_at_a_border_shows_its_frequency_text) {
    const float first[] = {25.0f, 999.6f, 5000.0f, 22050.0f};
    display_.setBorders(first, 4);
    POINT at = display_.borderHandle(1);
    mouse_.hover(at.x, at.y);
    EXPECT_EQ(display_.handleText(), " 1000 Hz");
    const float second[] = {25.0f, 1000.0f, 5000.0f, 22050.0f};
    display_.setBorders(second, 4);
    mouse_.hover(0, 0);
    EXPECT_EQ(display_.handleText(), "");
    at = display_.borderHandle(1);
    mouse_.hover(at.x, at.y);
    EXPECT_EQ(display_.handleText(), " 1.0 kHz");
}

TEST_F(BandDisplayTest, axes_run_from_25_hz_to_half_the_rate_and_from_plus_to_minus_12_db) {
    const RECT plot = display_.plot();
    EXPECT_EQ(display_.xOfHz(25.0), plot.left);
    EXPECT_EQ(display_.xOfHz(22050.0), plot.right - 1);
    EXPECT_EQ(display_.yOfGain(12.0f), plot.top);
    EXPECT_EQ(display_.yOfGain(-12.0f), plot.bottom - 1);
    display_.setSampleRate(96000);
    EXPECT_DOUBLE_EQ(display_.topHz(), 24000.0) << "the axis ends at 24 kHz at most";
}

TEST_F(BandDisplayTest, press_off_the_handles_makes_the_band_under_the_pointer_active) {
    const int x = (display_.xOfHz(2299.25) + display_.xOfHz(22050.0)) / 2;
    mouse_.click(x, kHeight - 20);
    ASSERT_FALSE(notifications().empty());
    EXPECT_EQ(last().report.change, BandChange::ActiveBand);
    EXPECT_EQ(last().report.index, 2);
    EXPECT_EQ(display_.activeBand(), 2);
}

TEST_F(BandDisplayTest, dragging_a_gain_handle_sets_the_gain_from_the_pointer_height) {
    const POINT h = display_.gainHandle(1);
    const int target = display_.yOfGain(6.0f);
    mouse_.drag(h.x, h.y, h.x, target);
    EXPECT_NEAR(display_.gainDb(1), 6.0f, 0.3f);
    EXPECT_EQ(last().report.change, BandChange::Gain);
    EXPECT_EQ(last().report.index, 1);
    EXPECT_EQ(display_.activeBand(), 1) << "the band of the handle pressed";
    EXPECT_EQ(display_.handleText(), BandDisplay::gainText(display_.gainDb(1)));
    // Far below the display: the gain stops at -12 dB.
    const POINT moved = display_.gainHandle(1);
    mouse_.drag(moved.x, moved.y, moved.x, kHeight + 300);
    EXPECT_FLOAT_EQ(display_.gainDb(1), -12.0f);
}

TEST_F(BandDisplayTest, shift_resets_a_gain_to_0_db_and_ctrl_moves_it_by_a_hundredth_db_per_pixel) {
    POINT h = display_.gainHandle(0);
    mouse_.drag(h.x, h.y, h.x, display_.yOfGain(-8.0f));
    h = display_.gainHandle(0);
    mouse_.drag(h.x, h.y, h.x, h.y + 10, MK_SHIFT);
    EXPECT_FLOAT_EQ(display_.gainDb(0), 0.0f);
    h = display_.gainHandle(0);
    mouse_.drag(h.x, h.y, h.x, h.y + 20, MK_CONTROL);
    EXPECT_NEAR(display_.gainDb(0), -0.2f, 1e-4f) << "20 pixels down";
}

TEST_F(BandDisplayTest, a_move_of_one_pixel_is_not_taken_and_a_jump_beyond_1000_pixels_is_none) {
    const POINT h = display_.gainHandle(2);
    mouse_.press(h.x, h.y);
    const size_t before = notifications().size();
    mouse_.moveHeld(h.x, h.y + 1);
    EXPECT_EQ(notifications().size(), before) << "one pixel";
    mouse_.moveHeld(h.x, h.y + 2);
    EXPECT_EQ(notifications().size(), before + 1) << "two pixels";
    const float gain = display_.gainDb(2);
    mouse_.moveHeld(h.x, h.y + 1500);
    EXPECT_FLOAT_EQ(display_.gainDb(2), gain) << "a jump";
    mouse_.release(h.x, h.y);
}

TEST_F(BandDisplayTest, a_border_dragged_follows_the_pointer_and_stops_short_of_its_neighbours) {
    const POINT h = display_.borderHandle(1);
    const int target = display_.xOfHz(500.0);
    mouse_.drag(h.x, h.y, target, h.y);
    EXPECT_NEAR(std::log2(display_.borderHz(1) / 500.0), 0.0, 0.05) << display_.borderHz(1);
    EXPECT_EQ(last().report.change, BandChange::Border);
    EXPECT_EQ(last().report.index, 1);
    EXPECT_EQ(display_.handleText(), BandDisplay::frequencyText(display_.borderHz(1)));
    // Past the next border: held the gap below it.
    const POINT moved = display_.borderHandle(1);
    mouse_.drag(moved.x, moved.y, kWidth - 10, moved.y);
    EXPECT_NEAR(std::log2(display_.borderHz(2) / display_.borderHz(1)),
                BandDisplay::kMinimumGapOctaves, 1e-9);
}

TEST_F(BandDisplayTest, shift_puts_a_border_at_its_default_and_ctrl_moves_it_a_thousandth_octave) {
    POINT h = display_.borderHandle(2);
    mouse_.drag(h.x, h.y, h.x - 40, h.y);
    h = display_.borderHandle(2);
    mouse_.drag(h.x, h.y, h.x + 10, h.y, MK_SHIFT);
    EXPECT_NEAR(display_.borderHz(2), 25.0 * std::pow(22050.0 / 25.0, 2.0 / 3.0), 0.01);
    const double before = display_.borderHz(2);
    h = display_.borderHandle(2);
    mouse_.drag(h.x, h.y, h.x + 30, h.y, MK_CONTROL);
    EXPECT_NEAR(std::log2(display_.borderHz(2) / before), 0.030, 1e-9);
}

TEST_F(BandDisplayTest, double_click_in_a_band_splits_it_and_on_a_border_removes_it) {
    const float gains[] = {1.0f, 2.0f, 3.0f};
    display_.setGains(gains, 3);
    const int x = display_.xOfHz(6000.0);
    mouse_.doubleClick(x, 20);
    ASSERT_EQ(display_.bandCount(), 4);
    EXPECT_EQ(last().report.change, BandChange::BandAdded);
    EXPECT_EQ(last().report.index, 3);
    EXPECT_NEAR(std::log2(display_.borderHz(3) / 6000.0), 0.0, 0.02);
    EXPECT_FLOAT_EQ(display_.gainDb(3), 3.0f) << "the new band keeps the split band's gain";
    EXPECT_EQ(display_.activeBand(), 2);
    // Removing the first crossover: bands 0 and 1 become one, the gains above move down.
    const POINT border = display_.borderHandle(1);
    mouse_.doubleClick(border.x, border.y);
    ASSERT_EQ(display_.bandCount(), 3);
    EXPECT_EQ(last().report.change, BandChange::BandRemoved);
    EXPECT_EQ(last().report.index, 1);
    EXPECT_FLOAT_EQ(display_.gainDb(0), 1.0f);
    EXPECT_FLOAT_EQ(display_.gainDb(1), 3.0f);
    EXPECT_FLOAT_EQ(display_.gainDb(2), 3.0f);
    EXPECT_NEAR(display_.borderHz(1), 2299.25, 0.01);
}

TEST_F(BandDisplayTest, no_sixth_band_and_no_removal_below_one_band) {
    display_.setBandCount(5);
    const float borders[] = {25.0f, 100.0f, 400.0f, 1600.0f, 6400.0f, 22050.0f};
    display_.setBorders(borders, 6);
    notifications().clear();
    mouse_.doubleClick(display_.xOfHz(12000.0), 20);
    EXPECT_EQ(display_.bandCount(), 5);
    for (const auto& n : notifications())
        EXPECT_NE(n.report.change, BandChange::BandAdded);
    display_.setBandCount(1);
    EXPECT_EQ(display_.activeBand(), -1) << "a new band count clears the active band";
    mouse_.doubleClick(display_.xOfHz(1000.0), 20);
    EXPECT_EQ(display_.bandCount(), 2);
}

} // namespace
} // namespace orq::compressor
