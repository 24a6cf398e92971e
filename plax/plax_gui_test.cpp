// The Plax editor library's controls on their own, in a frame of the Pressane bitmaps.
#include "plax/plax_gui.h"

#include "plax/plax_editor_test_support.h"

#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <vector>

using namespace orq::plax::gui;
using namespace plax_test;

namespace {

struct Recorder final : ControlListener {
    std::vector<std::pair<int, float>> changes;
    void valueChanged(Control& control) override {
        changes.emplace_back(control.tag(), control.value());
    }
};

class PlaxGuiTest : public ::testing::Test {
  protected:
    HostWindow host;
    Bitmap background{thisProgram(), 1000};
    Bitmap track{thisProgram(), 1007};
    Bitmap thumb{thisProgram(), 1008};
    Bitmap rocker{thisProgram(), 1006};
    Bitmap memory{thisProgram(), 1004};
    Bitmap meterEmpty{thisProgram(), 1014};
    Bitmap meterFull{thisProgram(), 1015};
    Recorder recorder;
    std::unique_ptr<Frame> frame = std::make_unique<Frame>(host.hwnd(), thisProgram(), background);
};

TEST_F(PlaxGuiTest, bitmaps_load_at_their_sizes_and_a_missing_one_is_unloaded) {
    EXPECT_EQ(background.widthPixels(), 446);
    EXPECT_EQ(background.heightPixels(), 263);
    EXPECT_EQ(rocker.heightPixels(), 48);
    Bitmap missing(thisProgram(), 999);
    EXPECT_FALSE(missing.loaded());
    EXPECT_EQ(missing.widthPixels(), 0);
}

TEST_F(PlaxGuiTest, control_range_must_be_increasing_and_values_are_held_inside_it) {
    TextLabel label(RECT{0, 0, 10, 10}, TextStyle{});
    EXPECT_FALSE(label.setRange(2.0f, 2.0f));
    EXPECT_FALSE(label.setRange(3.0f, 1.0f));
    EXPECT_FLOAT_EQ(label.maximum(), 1.0f);
    ASSERT_TRUE(label.setRange(-9.0f, 9.0f));
    label.setValue(20.0f);
    EXPECT_FLOAT_EQ(label.value(), 9.0f);
    label.setValue(std::nanf(""));
    EXPECT_FLOAT_EQ(label.value(), -9.0f);
    EXPECT_FLOAT_EQ(label.normalizedValue(), 0.0f);
}

TEST_F(PlaxGuiTest, slider_taken_by_its_thumb_does_not_jump) {
    auto* slider = frame->add(std::make_unique<VerticalSlider>(10, 20, &recorder, 5, track, thumb));
    slider->setValue(0.5f);
    frame->redrawDirty();
    const int top = slider->thumbTop();
    press(host.hwnd(), 15, top + 1); // near the thumb's top edge
    EXPECT_FLOAT_EQ(slider->value(), 0.5f);
    EXPECT_TRUE(recorder.changes.empty());
    drag(host.hwnd(), 15, top + 1 - 10);
    release(host.hwnd(), 15, top + 1 - 10);
    // The thumb went up ten rows with the pointer.
    EXPECT_EQ(slider->thumbTop(), top - 10);
    const float travel = float(slider->travelPixels());
    EXPECT_NEAR(slider->value(), (travel - float(top - 10 - 20)) / travel, 1e-6f);
    ASSERT_EQ(recorder.changes.size(), 1u);
    EXPECT_EQ(recorder.changes[0].first, 5);
}

TEST_F(PlaxGuiTest, slider_pressed_beside_its_thumb_puts_the_thumbs_middle_there) {
    auto* slider = frame->add(std::make_unique<VerticalSlider>(10, 20, &recorder, 5, track, thumb));
    press(host.hwnd(), 15, 20 + 6); // the thumb's middle at the top: the maximum
    release(host.hwnd(), 15, 20 + 6);
    EXPECT_FLOAT_EQ(slider->value(), 1.0f);
    press(host.hwnd(), 15, 20 + 112); // below the lowest middle: the minimum
    drag(host.hwnd(), 15, 400);       // far outside, captured
    release(host.hwnd(), 15, 400);
    EXPECT_FLOAT_EQ(slider->value(), 0.0f);
}

TEST_F(PlaxGuiTest, rocker_halves_send_minus_and_plus_one_and_the_release_shows_idle) {
    auto* control = frame->add(std::make_unique<Rocker>(0, 0, &recorder, 1, rocker));
    EXPECT_EQ(control->area().bottom, 16);
    press(host.hwnd(), 5, 8);
    EXPECT_FLOAT_EQ(control->value(), -1.0f);
    release(host.hwnd(), 5, 8);
    EXPECT_FLOAT_EQ(control->value(), 0.0f);
    click(host.hwnd(), 45, 8);
    ASSERT_EQ(recorder.changes.size(), 2u); // the presses only
    EXPECT_FLOAT_EQ(recorder.changes[0].second, -1.0f);
    EXPECT_FLOAT_EQ(recorder.changes[1].second, 1.0f);
}

TEST_F(PlaxGuiTest, kick_button_tells_once_per_release_on_it) {
    auto* button = frame->add(std::make_unique<KickButton>(100, 100, &recorder, 7, memory));
    press(host.hwnd(), 110, 105);
    EXPECT_TRUE(recorder.changes.empty());
    release(host.hwnd(), 110, 105);
    ASSERT_EQ(recorder.changes.size(), 1u);
    EXPECT_FLOAT_EQ(recorder.changes[0].second, 1.0f);
    EXPECT_FLOAT_EQ(button->value(), 0.0f);
}

TEST_F(PlaxGuiTest, segment_meter_lights_whole_segments_and_all_of_them_at_one) {
    auto* meter = frame->add(std::make_unique<SegmentMeter>(0, 0, 28, meterEmpty, meterFull));
    meter->setValue(27.0f / 28.0f);
    EXPECT_EQ(meter->litSegments(), 27);
    meter->setValue(27.5f / 28.0f);
    EXPECT_EQ(meter->litSegments(), 27);
    meter->setValue(1.0f);
    EXPECT_EQ(meter->litSegments(), 28);
    meter->setValue(-0.1f);
    EXPECT_EQ(meter->litSegments(), 0);
}

TEST_F(PlaxGuiTest, lit_meter_paints_the_fill_bitmap_only_over_its_lit_segments) {
    auto* meter = frame->add(std::make_unique<SegmentMeter>(0, 0, 28, meterEmpty, meterFull));
    meter->setValue(0.5f);
    frame->redrawDirty();
    HDC dc = GetDC(frame->window());
    HDC memoryDc = CreateCompatibleDC(dc);
    Bitmap full(thisProgram(), 1015), empty(thisProgram(), 1014);
    auto bitmapPixel = [&](const Bitmap& b, int x, int y) {
        HBITMAP canvas = CreateCompatibleBitmap(dc, 8, 120);
        HGDIOBJ old = SelectObject(memoryDc, canvas);
        b.draw(memoryDc, 0, 0);
        const COLORREF c = GetPixel(memoryDc, x, y);
        SelectObject(memoryDc, old);
        DeleteObject(canvas);
        return c;
    };
    // Row 100 (lit, near the bottom) as the fill, row 5 (unlit) as the background; the test
    // needs the two bitmaps to differ there.
    ASSERT_NE(bitmapPixel(full, 3, 100), bitmapPixel(empty, 3, 100));
    EXPECT_EQ(GetPixel(dc, 3, 100), bitmapPixel(full, 3, 100));
    EXPECT_EQ(GetPixel(dc, 3, 5), bitmapPixel(empty, 3, 5));
    DeleteDC(memoryDc);
    ReleaseDC(frame->window(), dc);
}

TEST_F(PlaxGuiTest, frames_alive_together_have_classes_of_their_own) {
    Frame second(host.hwnd(), thisProgram(), background);
    ASSERT_NE(second.window(), nullptr);
    EXPECT_NE(second.className(), frame->className());
    const std::string name = frame->className();
    frame.reset();
    WNDCLASSA found{};
    EXPECT_FALSE(GetClassInfoA(thisProgram(), name.c_str(), &found)); // unregistered with it
}

} // namespace
