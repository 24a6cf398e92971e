// The bitmap controls driven through real mouse messages on a headless editor window, and
// their pictures read back pixel by pixel.
#include "controls/bar_meter.h"
#include "controls/button.h"
#include "controls/control_messages.h"
#include "controls/controls_test_support.h"
#include "controls/knob.h"
#include "controls/rocker.h"
#include "controls/selector.h"
#include "controls/slider.h"
#include "controls/text_field.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <memory>
#include <numbers>
#include <utility>
#include <vector>

using namespace orq::controls;
using namespace controls_test;

namespace {

constexpr COLORREF kRedFace = RGB(255, 0, 0);
constexpr COLORREF kGreenFace = RGB(0, 255, 0);
constexpr COLORREF kBlueFace = RGB(0, 0, 255);

// Bitmaps made for a test and deleted with it.
class Bitmaps {
  public:
    Bitmaps() = default;
    Bitmaps(const Bitmaps&) = delete;
    Bitmaps& operator=(const Bitmaps&) = delete;
    ~Bitmaps() {
        for (HBITMAP b : owned_)
            DeleteObject(b);
    }
    // A bitmap whose pixel (x, y) is colourAt(x, y).
    template <typename ColourAt> HBITMAP painted(int width, int height, ColourAt colourAt) {
        HDC screen = GetDC(nullptr);
        HBITMAP bitmap = CreateCompatibleBitmap(screen, width, height);
        HDC dc = CreateCompatibleDC(screen);
        ReleaseDC(nullptr, screen);
        HGDIOBJ previous = SelectObject(dc, bitmap);
        for (int y = 0; y < height; ++y)
            for (int x = 0; x < width; ++x)
                SetPixel(dc, x, y, colourAt(x, y));
        SelectObject(dc, previous);
        DeleteDC(dc);
        owned_.push_back(bitmap);
        return bitmap;
    }
    HBITMAP solid(int width, int height, COLORREF colour) {
        return painted(width, height, [colour](int, int) { return colour; });
    }
    // A resource of the test program (8 x 6: a face in a border of half its brightness).
    HBITMAP resource(int number) {
        owned_.push_back(loadBitmap(number));
        return owned_.back();
    }

  private:
    std::vector<HBITMAP> owned_;
};

// One WM_COMMAND the editor got: wParam and lParam.
using Command = std::pair<WPARAM, LPARAM>;

std::vector<Command> commands() {
    std::vector<Command> seen;
    for (const Event& e : events())
        if (e.message == WM_COMMAND) seen.emplace_back(e.wParam, e.lParam);
    return seen;
}

void mouse(HWND editor, UINT message, int x, int y, WPARAM keys) {
    PlatformInjectMouse(editor, message, x, y, keys);
    pump();
}

// A left click, far enough in time from the last one not to be a double click.
void clickAt(HWND editor, int x, int y) {
    PlatformAdvanceClock(1000);
    mouse(editor, WM_LBUTTONDOWN, x, y, MK_LBUTTON);
    mouse(editor, WM_LBUTTONUP, x, y, 0);
}

COLORREF pixel(HWND editor, int x, int y) {
    return PlatformWindowPixel(editor, x, y);
}

// Button -------------------------------------------------------------------------------------

struct ButtonBitmaps {
    Bitmaps bitmaps;
    HBITMAP on = bitmaps.resource(kBlue);
    HBITMAP off = bitmaps.resource(kRed);
    HBITMAP pressed = bitmaps.resource(kGreen);
};

TEST(Button, switch_pressed_and_released_outside_shows_off_again_and_sends_nothing) {
    EditorWindow editor;
    ButtonBitmaps b;
    Button button(editor.hwnd(), 30, 40, kPlainSwitch, 42, b.on, b.off, b.pressed, nullptr,
                  nullptr);
    pump();
    EXPECT_EQ(pixel(editor.hwnd(), 33, 43), kRedFace) << "off";
    mouse(editor.hwnd(), WM_LBUTTONDOWN, 33, 43, MK_LBUTTON);
    EXPECT_EQ(button.state(), Button::kPressedFromOff);
    EXPECT_EQ(pixel(editor.hwnd(), 33, 43), kGreenFace) << "pressed while held";
    EXPECT_EQ(GetCapture(), button.hwnd());
    mouse(editor.hwnd(), WM_MOUSEMOVE, 100, 100, MK_LBUTTON);
    mouse(editor.hwnd(), WM_LBUTTONUP, 100, 100, 0);
    EXPECT_EQ(button.state(), Button::kOff);
    EXPECT_EQ(pixel(editor.hwnd(), 33, 43), kRedFace) << "off again";
    EXPECT_EQ(GetCapture(), nullptr);
    EXPECT_TRUE(commands().empty()) << "a cancelled press sends nothing";

    // A release inside toggles and sends the new state.
    clickAt(editor.hwnd(), 33, 43);
    EXPECT_EQ(button.state(), Button::kOn);
    EXPECT_EQ(pixel(editor.hwnd(), 33, 43), kBlueFace);
    clickAt(editor.hwnd(), 33, 43);
    EXPECT_EQ(button.state(), Button::kOff);
    EXPECT_EQ(commands(), (std::vector<Command>{{42, 1}, {42, 0}}));
}

TEST(Button, a_quick_second_click_is_a_click_too) {
    EditorWindow editor;
    ButtonBitmaps b;
    Button button(editor.hwnd(), 30, 40, kPlainSwitch, 42, b.on, b.off, b.pressed, nullptr,
                  nullptr);
    clickAt(editor.hwnd(), 33, 43);
    mouse(editor.hwnd(), WM_LBUTTONDOWN, 33, 43, MK_LBUTTON); // arrives as a double click
    mouse(editor.hwnd(), WM_LBUTTONUP, 33, 43, 0);
    EXPECT_EQ(commands(), (std::vector<Command>{{42, 1}, {42, 0}}));
    EXPECT_EQ(button.state(), Button::kOff);
}

TEST(Button, momentary_button_sends_exactly_one_command_with_argument_0) {
    EditorWindow editor;
    ButtonBitmaps b;
    Button button(editor.hwnd(), 30, 40, kMomentary, 7, b.on, b.off, b.pressed, nullptr, nullptr);
    PlatformAdvanceClock(1000);
    mouse(editor.hwnd(), WM_LBUTTONDOWN, 33, 43, MK_LBUTTON);
    EXPECT_EQ(pixel(editor.hwnd(), 33, 43), kGreenFace) << "pressed while held";
    EXPECT_TRUE(commands().empty()) << "nothing on the press";
    mouse(editor.hwnd(), WM_LBUTTONUP, 34, 44, 0);
    EXPECT_EQ(commands(), (std::vector<Command>{{7, 0}}));
    EXPECT_EQ(button.state(), Button::kOff);
    EXPECT_EQ(pixel(editor.hwnd(), 33, 43), kRedFace);
}

TEST(Button, toggle_on_press_notifies_on_press_and_release_and_notify_on_press_ignores_release) {
    EditorWindow editor;
    ButtonBitmaps b;
    Button toggle(editor.hwnd(), 10, 10, kToggleOnPress, 3, b.on, b.off, b.pressed, nullptr,
                  nullptr);
    Button notify(editor.hwnd(), 50, 10, kNotifyOnPress, 4, b.on, b.off, b.pressed, nullptr,
                  nullptr);
    PlatformAdvanceClock(1000);
    mouse(editor.hwnd(), WM_LBUTTONDOWN, 12, 12, MK_LBUTTON);
    EXPECT_EQ(commands(), (std::vector<Command>{{3, 1}})) << "on at the press";
    EXPECT_EQ(pixel(editor.hwnd(), 12, 12), kBlueFace);
    mouse(editor.hwnd(), WM_LBUTTONUP, 12, 12, 0);
    EXPECT_EQ(commands(), (std::vector<Command>{{3, 1}, {3, 1}})) << "and again at the release";
    events().clear();

    PlatformAdvanceClock(1000);
    mouse(editor.hwnd(), WM_LBUTTONDOWN, 52, 12, MK_LBUTTON);
    EXPECT_EQ(notify.state(), Button::kPressedFromOff);
    mouse(editor.hwnd(), WM_LBUTTONUP, 52, 12, 0);
    EXPECT_EQ(commands(), (std::vector<Command>{{4, 1}})) << "the release sends nothing";
    EXPECT_EQ(notify.state(), Button::kPressedFromOff) << "the release changes nothing";
    EXPECT_EQ(GetCapture(), nullptr) << "but the mouse is given back";
    clickAt(editor.hwnd(), 52, 12);
    EXPECT_EQ(commands(), (std::vector<Command>{{4, 1}, {4, 0}}));
    EXPECT_EQ(notify.state(), Button::kPressedFromOn);
}

TEST(Button, disabled_lamp_stays_as_painted_and_clicks_only_report_1032) {
    EditorWindow editor;
    ButtonBitmaps b;
    Button lamp(editor.hwnd(), 30, 40, kPlainSwitch, 9, b.on, b.off, nullptr, nullptr, nullptr);
    lamp.disable();
    pump();
    EXPECT_EQ(pixel(editor.hwnd(), 33, 43), kRedFace) << "out";
    clickAt(editor.hwnd(), 33, 43);
    EXPECT_EQ(lamp.state(), Button::kOff);
    EXPECT_EQ(pixel(editor.hwnd(), 33, 43), kRedFace) << "a click changes nothing";
    EXPECT_EQ(commands(), (std::vector<Command>{{kDisabledClickCommand, 9}}));

    SendMessageA(lamp.hwnd(), kSetStateMessage, 5, 0);
    EXPECT_EQ(lamp.state(), Button::kOn) << "any non-zero first parameter lights it";
    EXPECT_EQ(pixel(editor.hwnd(), 33, 43), kBlueFace);
    clickAt(editor.hwnd(), 33, 43);
    EXPECT_EQ(pixel(editor.hwnd(), 33, 43), kBlueFace) << "lit, and stays lit";
    EXPECT_EQ(commands().size(), 2u);
    EXPECT_FALSE(lamp.setState(4)) << "no such state";
    EXPECT_EQ(lamp.state(), Button::kOn);

    SendMessageA(lamp.hwnd(), kEnableMessage, 1, 0);
    clickAt(editor.hwnd(), 33, 43);
    EXPECT_EQ(lamp.state(), Button::kOff) << "enabled again, it switches";
}

// Rocker -------------------------------------------------------------------------------------

TEST(Rocker, middle_column_sends_1_then_2_and_each_half_shows_its_side_until_release) {
    EditorWindow editor;
    ButtonBitmaps b; // left pressed red, idle green, right pressed blue; 8 wide: middle x = 4
    Rocker rocker(editor.hwnd(), 20, 20, 101, b.off, b.pressed, b.on, nullptr, nullptr);
    pump();
    EXPECT_EQ(pixel(editor.hwnd(), 21, 22), kGreenFace) << "idle";
    clickAt(editor.hwnd(), 24, 22);
    EXPECT_EQ(commands(), (std::vector<Command>{{101, 1}, {101, 2}}));
    events().clear();

    PlatformAdvanceClock(1000);
    mouse(editor.hwnd(), WM_LBUTTONDOWN, 21, 22, MK_LBUTTON);
    EXPECT_EQ(rocker.state(), Rocker::kLeft);
    EXPECT_EQ(pixel(editor.hwnd(), 21, 22), kRedFace);
    mouse(editor.hwnd(), WM_LBUTTONUP, 21, 22, 0);
    EXPECT_EQ(rocker.state(), Rocker::kIdle);
    EXPECT_EQ(pixel(editor.hwnd(), 21, 22), kGreenFace);
    clickAt(editor.hwnd(), 27, 22);
    EXPECT_EQ(commands(), (std::vector<Command>{{101, 1}, {101, 2}}));

    events().clear();
    PlatformAdvanceClock(1000);
    mouse(editor.hwnd(), WM_RBUTTONDOWN, 21, 22, MK_RBUTTON);
    mouse(editor.hwnd(), WM_RBUTTONUP, 21, 22, 0);
    SendMessageA(rocker.hwnd(), kEnableMessage, 0, 0);
    clickAt(editor.hwnd(), 21, 22);
    EXPECT_EQ(commands(),
              (std::vector<Command>{{kRightClickCommand, 101}, {kDisabledClickCommand, 101}}));
}

// Slider -------------------------------------------------------------------------------------

constexpr COLORREF kTrackColour = RGB(40, 40, 40);
constexpr COLORREF kThumbColour = RGB(220, 200, 20);

// The maximizer's slider: 24 steps, a 20 x 113 track and a 20 x 12 thumb, at (50, 20).
struct VerticalSlider {
    explicit VerticalSlider(HWND editor, int steps = 24)
        : slider(editor, 50, 20, 108, bitmaps.solid(20, 113, kTrackColour),
                 bitmaps.solid(20, 12, kThumbColour), steps, nullptr, nullptr) {}
    Bitmaps bitmaps;
    Slider slider;
};

// The values the slider's notifications carried, read while they were sent.
std::vector<float>& sentValues() {
    static std::vector<float> values;
    return values;
}

void recordSliderValues() {
    sentValues().clear();
    commandHook() = [](WPARAM, LPARAM lParam) {
        sentValues().push_back(reinterpret_cast<const SliderValue*>(lParam)->value);
    };
}

TEST(Slider, click_near_top_gives_top_position_and_at_the_bottom_position_0) {
    EditorWindow editor;
    VerticalSlider s(editor.hwnd());
    ASSERT_TRUE(s.slider.setRange(0.0f, 12.0f));
    recordSliderValues();
    EXPECT_TRUE(s.slider.vertical());
    EXPECT_EQ(s.slider.travelPixels(), 101);
    EXPECT_NEAR(s.slider.pixelsPerStep(), 4.2083, 1e-4);
    clickAt(editor.hwnd(), 60, 20 + 3);
    EXPECT_EQ(s.slider.position(), 24);
    clickAt(editor.hwnd(), 60, 20 + 112);
    EXPECT_EQ(s.slider.position(), 0);
    // 40 px from the top: 101 - (40 - 6) = 67 px from the bottom, 67 / 4.2083 = 15.92.
    clickAt(editor.hwnd(), 60, 20 + 40);
    EXPECT_EQ(s.slider.position(), 16);
    EXPECT_EQ(sentValues(), (std::vector<float>{12.0f, 0.0f, 8.0f}));
    for (const Command& c : commands())
        EXPECT_EQ(c.first, 108u);
}

TEST(Slider, click_on_the_thumbs_upper_half_at_the_top_stays_there_and_still_sends) {
    EditorWindow editor;
    VerticalSlider s(editor.hwnd());
    ASSERT_TRUE(s.slider.setRange(0.0f, 12.0f));
    s.slider.setValue(12.0f);
    ASSERT_EQ(s.slider.position(), 24);
    ASSERT_EQ(s.slider.thumbOrigin().y, 0);
    recordSliderValues();
    clickAt(editor.hwnd(), 60, 20 + 2); // the thumb covers rows 0 ... 11
    EXPECT_EQ(s.slider.position(), 24);
    EXPECT_EQ(sentValues(), (std::vector<float>{12.0f}));
    clickAt(editor.hwnd(), 60, 20 + 9); // lower half: one step down
    EXPECT_EQ(s.slider.position(), 23);
    // At 23 the thumb sits at 101 - trunc(23 x 4.2083) = 5: its upper half is rows 5 ... 10.
    clickAt(editor.hwnd(), 60, 20 + 6);
    EXPECT_EQ(s.slider.position(), 24);
    EXPECT_EQ(sentValues(), (std::vector<float>{12.0f, 11.5f, 12.0f}));
}

TEST(Slider, thumb_is_painted_where_its_position_puts_it) {
    EditorWindow editor;
    VerticalSlider s(editor.hwnd());
    s.slider.setValue(0.5f); // position 12: y = 101 - trunc(50.5) = 51
    ASSERT_EQ(s.slider.position(), 12);
    EXPECT_EQ(pixel(editor.hwnd(), 55, 20 + 50), kTrackColour);
    EXPECT_EQ(pixel(editor.hwnd(), 55, 20 + 51), kThumbColour);
    EXPECT_EQ(pixel(editor.hwnd(), 55, 20 + 62), kThumbColour);
    EXPECT_EQ(pixel(editor.hwnd(), 55, 20 + 63), kTrackColour);
    // A new value set by message moves it.
    const float top = 1.0f;
    SendMessageA(s.slider.hwnd(), kSetValueMessage, 0, reinterpret_cast<LPARAM>(&top));
    EXPECT_EQ(pixel(editor.hwnd(), 55, 20 + 0), kThumbColour);
    EXPECT_EQ(pixel(editor.hwnd(), 55, 20 + 12), kTrackColour);
}

TEST(Slider, value_between_two_table_entries_selects_the_upper_one) {
    EditorWindow editor;
    VerticalSlider s(editor.hwnd(), 4);
    const float table[] = {-10.0f, -3.0f, 0.0f, 2.5f, 6.0f};
    EXPECT_FALSE(s.slider.setValueTable(table, 4)) << "a table is steps + 1 long";
    ASSERT_TRUE(s.slider.setValueTable(table, 5));
    s.slider.setValue(-2.0f);
    EXPECT_EQ(s.slider.position(), 2);
    EXPECT_EQ(s.slider.value(), 0.0f);
    s.slider.setValue(2.5f);
    EXPECT_EQ(s.slider.position(), 3) << "an entry itself";
    s.slider.setValue(-99.0f);
    EXPECT_EQ(s.slider.position(), 0);
    s.slider.setValue(99.0f);
    EXPECT_EQ(s.slider.position(), 4);
    recordSliderValues();
    clickAt(editor.hwnd(), 60, 20 + 112);
    EXPECT_EQ(sentValues(), (std::vector<float>{-10.0f})) << "clicks send table values";
}

TEST(Slider, drag_sends_changed_values_but_not_on_the_first_move) {
    EditorWindow editor;
    VerticalSlider s(editor.hwnd());
    recordSliderValues();
    PlatformAdvanceClock(1000);
    mouse(editor.hwnd(), WM_LBUTTONDOWN, 60, 20 + 112, MK_LBUTTON); // position 0, sent
    mouse(editor.hwnd(), WM_MOUSEMOVE, 60, 20 + 60, MK_LBUTTON);    // first move: not sent
    EXPECT_EQ(s.slider.position(), 11) << "the thumb follows the first move";
    EXPECT_EQ(sentValues(), (std::vector<float>{0.0f})) << "but the first move sends nothing";
    // The next move sends what the first one reached; one more at the same place does not.
    mouse(editor.hwnd(), WM_MOUSEMOVE, 60, 20 + 60, MK_LBUTTON);
    mouse(editor.hwnd(), WM_MOUSEMOVE, 60, 20 + 61, MK_LBUTTON);
    mouse(editor.hwnd(), WM_MOUSEMOVE, 60, 20 + 3, MK_LBUTTON);
    mouse(editor.hwnd(), WM_MOUSEMOVE, 60, 20 - 30, MK_LBUTTON); // beyond the end: still 24
    mouse(editor.hwnd(), WM_LBUTTONUP, 60, 20 - 30, 0);
    EXPECT_FALSE(s.slider.dragging());
    EXPECT_EQ(GetCapture(), nullptr);
    mouse(editor.hwnd(), WM_MOUSEMOVE, 60, 20 + 112, 0); // no longer dragging
    EXPECT_EQ(s.slider.position(), 24);
    EXPECT_EQ(sentValues(), (std::vector<float>{0.0f, 11.0f / 24.0f, 1.0f}));
}

TEST(Slider, right_click_reports_1033_and_a_disabled_slider_reports_1032) {
    EditorWindow editor;
    VerticalSlider s(editor.hwnd());
    PlatformAdvanceClock(1000);
    mouse(editor.hwnd(), WM_RBUTTONDOWN, 60, 60, MK_RBUTTON);
    mouse(editor.hwnd(), WM_RBUTTONUP, 60, 60, 0);
    s.slider.disable();
    clickAt(editor.hwnd(), 60, 60);
    EXPECT_EQ(s.slider.position(), 0) << "a disabled slider does not move";
    EXPECT_EQ(commands(),
              (std::vector<Command>{{kRightClickCommand, 108}, {kDisabledClickCommand, 108}}));
}

TEST(Slider, zero_steps_and_a_thumb_as_long_as_the_track_neither_divide_by_zero) {
    EditorWindow editor;
    VerticalSlider none(editor.hwnd(), 0);
    EXPECT_EQ(none.slider.steps(), 1);
    clickAt(editor.hwnd(), 60, 20 + 3);
    EXPECT_EQ(none.slider.position(), 1);

    Bitmaps bitmaps;
    Slider stuck(editor.hwnd(), 100, 20, 5, bitmaps.solid(20, 40, kTrackColour),
                 bitmaps.solid(20, 40, kThumbColour), 8, nullptr, nullptr);
    EXPECT_EQ(stuck.travelPixels(), 0);
    stuck.setValue(1.0f);
    EXPECT_EQ(stuck.position(), 8);
    EXPECT_EQ(stuck.positionAtPixel(0), 8) << "no travel: the pointer selects nothing new";
    clickAt(editor.hwnd(), 110, 50);
    EXPECT_EQ(stuck.position(), 7) << "a click on the thumb still steps";
    EXPECT_FALSE(stuck.setRange(3.0f, 3.0f));
    stuck.setValue(std::nanf(""));
    EXPECT_EQ(stuck.position(), 0) << "not a number: the bottom";
}

TEST(Slider, horizontal_slider_counts_from_the_left_and_steps_up_on_the_right_half) {
    EditorWindow editor;
    Bitmaps bitmaps;
    Slider slider(editor.hwnd(), 10, 10, 6, bitmaps.solid(113, 20, kTrackColour),
                  bitmaps.solid(12, 20, kThumbColour), 24, nullptr, nullptr);
    EXPECT_FALSE(slider.vertical());
    clickAt(editor.hwnd(), 10 + 3, 15);
    EXPECT_EQ(slider.position(), 0);
    clickAt(editor.hwnd(), 10 + 112, 15);
    EXPECT_EQ(slider.position(), 24);
    EXPECT_EQ(pixel(editor.hwnd(), 10 + 101, 15), kThumbColour);
    EXPECT_EQ(pixel(editor.hwnd(), 10 + 100, 15), kTrackColour);
    clickAt(editor.hwnd(), 10 + 102, 15); // the thumb's left half
    EXPECT_EQ(slider.position(), 23);
}

// Knob ---------------------------------------------------------------------------------------

constexpr COLORREF kKnobFace = RGB(90, 90, 90);
constexpr COLORREF kDotColour = RGB(250, 30, 30);

// A 40 x 40 knob with an 8 x 8 dot whose four corners are transparent.
struct TestKnob {
    TestKnob(HWND editor, int steps, double startDegrees)
        : knob(editor, 100, 50, 77, bitmaps.solid(40, 40, kKnobFace),
               bitmaps.painted(8, 8, [](int x, int y) { return corner(x, y) ? 0 : kDotColour; }),
               bitmaps.painted(8, 8,
                               [](int x, int y) { return corner(x, y) ? RGB(255, 255, 255) : 0; }),
               steps, startDegrees, nullptr, nullptr) {}
    static bool corner(int x, int y) { return (x == 0 || x == 7) && (y == 0 || y == 7); }
    Bitmaps bitmaps;
    Knob knob;
};

std::vector<float>& knobValues() {
    static std::vector<float> values;
    return values;
}

void recordKnobValues() {
    knobValues().clear();
    commandHook() = [](WPARAM, LPARAM lParam) {
        knobValues().push_back(*reinterpret_cast<const float*>(lParam));
    };
}

TEST(Knob, hundred_steps_from_30_degrees_turn_through_300_degrees) {
    EditorWindow editor;
    TestKnob k(editor.hwnd(), 100, 30.0);
    constexpr double degree = std::numbers::pi / 180.0;
    EXPECT_NEAR(k.knob.angleOf(0), 330.0 * degree, 1e-12);
    EXPECT_NEAR(k.knob.angleOf(100), 30.0 * degree, 1e-12);
    EXPECT_NEAR(k.knob.angleOf(0) - k.knob.angleOf(100), 300.0 * degree, 1e-12);
    EXPECT_NEAR(k.knob.angleOf(50), 180.0 * degree, 1e-12) << "the middle straight up";
    ASSERT_TRUE(k.knob.setRange(-12.0f, 12.0f));
    k.knob.setValue(0.0f);
    EXPECT_EQ(k.knob.step(), 50);
    k.knob.setValue(99.0f);
    EXPECT_EQ(k.knob.step(), 100);
    EXPECT_FLOAT_EQ(k.knob.value(), 12.0f);
}

TEST(Knob, zero_steps_count_as_one_and_not_a_number_turns_to_step_0) {
    EditorWindow editor;
    TestKnob k(editor.hwnd(), 0, 30.0);
    EXPECT_EQ(k.knob.steps(), 1);
    EXPECT_TRUE(std::isfinite(k.knob.anglePerStep()));
    k.knob.setValue(1.0f);
    EXPECT_EQ(k.knob.step(), 1);
    k.knob.setValue(std::nanf(""));
    EXPECT_EQ(k.knob.step(), 0);
}

TEST(Knob, left_drag_of_50_pixels_up_moves_10_steps_and_the_right_button_to_the_end_stop) {
    EditorWindow editor;
    TestKnob k(editor.hwnd(), 100, 30.0);
    recordKnobValues();
    const HCURSOR arrows = LoadCursorA(nullptr, IDC_SIZENS);
    PlatformAdvanceClock(1000);
    mouse(editor.hwnd(), WM_LBUTTONDOWN, 120, 80, MK_LBUTTON);
    EXPECT_TRUE(k.knob.dragging());
    EXPECT_EQ(GetCursor(), arrows) << "the up-down arrows while dragging";
    mouse(editor.hwnd(), WM_MOUSEMOVE, 120, 30, MK_LBUTTON);
    EXPECT_EQ(k.knob.step(), 10);
    mouse(editor.hwnd(), WM_LBUTTONUP, 120, 30, 0);
    EXPECT_FALSE(k.knob.dragging());
    EXPECT_EQ(GetCursor(), LoadCursorA(nullptr, IDC_ARROW)) << "the cursor before the press";
    EXPECT_EQ(GetCapture(), nullptr);
    ASSERT_EQ(knobValues().size(), 1u);
    EXPECT_FLOAT_EQ(knobValues()[0], 0.1f);

    // The right button alone: 0.1 pixel per step. The first move takes a new reference.
    PlatformAdvanceClock(1000);
    mouse(editor.hwnd(), WM_RBUTTONDOWN, 120, 80, MK_RBUTTON);
    for (int y = 80; y >= 30; y -= 5)
        mouse(editor.hwnd(), WM_MOUSEMOVE, 120, y, MK_RBUTTON);
    EXPECT_EQ(k.knob.step(), 100);
    mouse(editor.hwnd(), WM_RBUTTONUP, 120, 30, 0);
    EXPECT_FALSE(k.knob.dragging());
    EXPECT_FLOAT_EQ(knobValues().back(), 1.0f);

    // Both buttons: 10 pixels per step, downwards.
    PlatformAdvanceClock(1000);
    mouse(editor.hwnd(), WM_LBUTTONDOWN, 120, 60, MK_LBUTTON);
    mouse(editor.hwnd(), WM_MOUSEMOVE, 120, 60, MK_LBUTTON | MK_RBUTTON);
    mouse(editor.hwnd(), WM_MOUSEMOVE, 120, 110, MK_LBUTTON | MK_RBUTTON);
    EXPECT_EQ(k.knob.step(), 95);
    mouse(editor.hwnd(), WM_LBUTTONUP, 120, 110, MK_RBUTTON);
    EXPECT_TRUE(k.knob.dragging()) << "the right button still holds it";
    mouse(editor.hwnd(), WM_RBUTTONUP, 120, 110, 0);
    EXPECT_FALSE(k.knob.dragging());

    // Another button joining mid-drag changes the speed from where the knob is: no jump.
    PlatformAdvanceClock(1000);
    mouse(editor.hwnd(), WM_LBUTTONDOWN, 120, 80, MK_LBUTTON);
    mouse(editor.hwnd(), WM_MOUSEMOVE, 120, 80, MK_LBUTTON); // back to 5 pixels per step
    mouse(editor.hwnd(), WM_MOUSEMOVE, 120, 70, MK_LBUTTON);
    EXPECT_EQ(k.knob.step(), 97);
    mouse(editor.hwnd(), WM_MOUSEMOVE, 120, 70, MK_LBUTTON | MK_RBUTTON);
    EXPECT_EQ(k.knob.step(), 97);
    mouse(editor.hwnd(), WM_MOUSEMOVE, 120, 60, MK_LBUTTON | MK_RBUTTON);
    EXPECT_EQ(k.knob.step(), 98);
    mouse(editor.hwnd(), WM_LBUTTONUP, 120, 60, 0);
}

TEST(Knob, dot_lands_where_the_angle_puts_it_with_transparent_corners) {
    EditorWindow editor;
    TestKnob k(editor.hwnd(), 100, 30.0);
    pump();
    // Step 0, angle 330 degrees, r 20, half dot 4: x = trunc(-0.5 x 16) + 16 = 8,
    // y = trunc(0.866 x 16) + 16 = 29.
    EXPECT_EQ(k.knob.dotOrigin().x, 8);
    EXPECT_EQ(k.knob.dotOrigin().y, 29);
    EXPECT_EQ(pixel(editor.hwnd(), 100 + 8 + 1, 50 + 29 + 1), kDotColour);
    EXPECT_EQ(pixel(editor.hwnd(), 100 + 8 + 7, 50 + 29 + 6), kDotColour);
    EXPECT_EQ(pixel(editor.hwnd(), 100 + 8, 50 + 29), kKnobFace) << "a transparent corner";
    EXPECT_EQ(pixel(editor.hwnd(), 100 + 7, 50 + 30), kKnobFace) << "left of the dot";
    // Step 50, straight up: x = 0 + 16, y = -16 + 16.
    const float middle = 0.5f;
    SendMessageA(k.knob.hwnd(), kSetValueMessage, 0, reinterpret_cast<LPARAM>(&middle));
    EXPECT_EQ(pixel(editor.hwnd(), 100 + 16 + 3, 50 + 0 + 3), kDotColour);
    EXPECT_EQ(pixel(editor.hwnd(), 100 + 16, 50 + 0), kKnobFace);
    EXPECT_EQ(pixel(editor.hwnd(), 100 + 8 + 1, 50 + 29 + 1), kKnobFace) << "the old dot is gone";
}

TEST(Knob, sensitivity_message_holds_until_the_buttons_choose_theirs_without_a_jump) {
    EditorWindow editor;
    TestKnob k(editor.hwnd(), 100, 30.0);
    PlatformAdvanceClock(1000);
    mouse(editor.hwnd(), WM_LBUTTONDOWN, 120, 80, MK_LBUTTON);
    SendMessageA(k.knob.hwnd(), kSetSensitivityMessage, 0, 5);
    EXPECT_EQ(k.knob.sensitivity(), 5.0);
    SendMessageA(k.knob.hwnd(), kSetSensitivityMessage, 0, 2);
    EXPECT_EQ(k.knob.sensitivity(), 2.0);
    SendMessageA(k.knob.hwnd(), kSetSensitivityMessage, 0, 0);
    EXPECT_EQ(k.knob.sensitivity(), 2.0) << "no sensitivity of 0";
    // The left drag's own 5 pixels per step return with the next move, from where it is.
    mouse(editor.hwnd(), WM_MOUSEMOVE, 120, 70, MK_LBUTTON);
    EXPECT_EQ(k.knob.step(), 0);
    mouse(editor.hwnd(), WM_MOUSEMOVE, 120, 60, MK_LBUTTON);
    EXPECT_EQ(k.knob.step(), 2);
    mouse(editor.hwnd(), WM_LBUTTONUP, 120, 60, 0);
}

// Selector -----------------------------------------------------------------------------------

struct ThreeWay {
    ThreeWay(HWND editor, bool deselect)
        : on{b.on, b.on, b.on}, off{b.off, b.off, b.off},
          selector(editor, 55, 3, xs, ys, on, off, deselect, nullptr, nullptr) {}
    ButtonBitmaps b; // on blue, off red, 8 x 6
    const int xs[3] = {20, 40, 60};
    const int ys[3] = {30, 30, 34};
    HBITMAP on[3];
    HBITMAP off[3];
    Selector selector;
};

TEST(Selector, click_on_the_selected_position_sends_nothing_unless_it_may_deselect) {
    EditorWindow editor;
    ThreeWay plain(editor.hwnd(), false);
    pump();
    RECT window{};
    GetWindowRect(plain.selector.hwnd(), &window);
    EXPECT_EQ(window.right - window.left, 48) << "the union of the positions";
    EXPECT_EQ(window.bottom - window.top, 10);
    clickAt(editor.hwnd(), 42, 32);
    EXPECT_EQ(plain.selector.selected(), 1);
    EXPECT_EQ(pixel(editor.hwnd(), 42, 32), kBlueFace);
    EXPECT_EQ(pixel(editor.hwnd(), 22, 32), kRedFace);
    clickAt(editor.hwnd(), 42, 32);
    EXPECT_EQ(plain.selector.selected(), 1);
    clickAt(editor.hwnd(), 50, 32); // between the positions
    EXPECT_EQ(commands(), (std::vector<Command>{{55, 1}}));
    clickAt(editor.hwnd(), 62, 36);
    EXPECT_EQ(pixel(editor.hwnd(), 42, 32), kRedFace) << "the old position goes off";
    EXPECT_EQ(pixel(editor.hwnd(), 62, 36), kBlueFace);
    EXPECT_EQ(commands().back(), Command(55, 2));
}

TEST(Selector, with_the_deselect_flag_a_second_click_sends_0x10000_plus_index_and_clears) {
    EditorWindow editor;
    ThreeWay deselecting(editor.hwnd(), true);
    clickAt(editor.hwnd(), 22, 32);
    clickAt(editor.hwnd(), 22, 32);
    EXPECT_EQ(commands(), (std::vector<Command>{{55, 0}, {55, 0x10000}}));
    EXPECT_EQ(deselecting.selector.selected(), -1);
    EXPECT_EQ(pixel(editor.hwnd(), 22, 32), kRedFace);
}

TEST(Selector, messages_select_and_clear_and_an_index_outside_changes_nothing) {
    EditorWindow editor;
    ThreeWay t(editor.hwnd(), false);
    SendMessageA(t.selector.hwnd(), kSetStateMessage, 0, 2);
    EXPECT_EQ(t.selector.selected(), 2);
    EXPECT_EQ(pixel(editor.hwnd(), 62, 36), kBlueFace);
    SendMessageA(t.selector.hwnd(), kSetStateMessage, 0, 3);
    EXPECT_EQ(t.selector.selected(), 2);
    EXPECT_FALSE(t.selector.select(-2));
    EXPECT_EQ(t.selector.selected(), 2);
    SendMessageA(t.selector.hwnd(), kSelectNoneMessage, 0, 0);
    EXPECT_EQ(t.selector.selected(), -1);
    EXPECT_EQ(pixel(editor.hwnd(), 62, 36), kRedFace);
    SendMessageA(t.selector.hwnd(), kEnableMessage, 0, 0);
    clickAt(editor.hwnd(), 22, 32);
    EXPECT_EQ(t.selector.selected(), -1);
    EXPECT_EQ(commands(), (std::vector<Command>{{kDisabledClickCommand, 55}}));
}

// Bar meter ----------------------------------------------------------------------------------

constexpr COLORREF kEmptyColour = RGB(16, 16, 16);
// The full bitmap's rows are all different, so each copied row can be told by its colour.
COLORREF fullRow(int x, int y) {
    return RGB(100 + x, y, 255 - y);
}

struct TestMeter {
    TestMeter(HWND editor, int width, int height, int marker = 0, int bars = 1)
        : meter(editor, 200, 10, marker, bitmaps.solid(width, height, kEmptyColour),
                bitmaps.painted(width, height, fullRow), nullptr, nullptr, bars) {}
    Bitmaps bitmaps;
    BarMeter meter;
};

TEST(BarMeter, half_fraction_shows_the_full_bitmap_exactly_in_the_lower_half) {
    EditorWindow editor;
    TestMeter m(editor.hwnd(), 10, 120);
    m.meter.setValue(0.5f);
    for (int y = 0; y < 120; ++y) {
        const COLORREF expected = y < 60 ? kEmptyColour : fullRow(3, y);
        ASSERT_EQ(pixel(editor.hwnd(), 203, 10 + y), expected) << "row " << y;
    }
    m.meter.setValue(1.0f);
    EXPECT_EQ(pixel(editor.hwnd(), 203, 10), fullRow(3, 0));
    m.meter.setValue(0.0f);
    EXPECT_EQ(pixel(editor.hwnd(), 203, 10 + 119), kEmptyColour);
}

TEST(BarMeter, breakpoints_are_strict_so_exactly_the_first_shows_empty) {
    EditorWindow editor;
    TestMeter m(editor.hwnd(), 10, 120);
    const float headroom[] = {-3, -2, -1, 0, 1, 2, 3, 4, 5, 6};
    const float tenths[] = {0.1f, 0.2f, 0.3f, 0.4f, 0.5f, 0.6f, 0.7f, 0.8f, 0.9f, 1.0f};
    ASSERT_TRUE(m.meter.setBreakpoints(headroom, tenths, 10));
    const std::pair<float, float> cases[] = {{-3.0f, 0.0f}, {-2.5f, 0.1f}, {-2.0f, 0.1f},
                                             {0.5f, 0.4f},  {6.0f, 0.9f},  {7.0f, 1.0f}};
    for (auto [value, fraction] : cases) {
        m.meter.setValue(value);
        EXPECT_EQ(m.meter.fraction(), fraction) << "value " << value;
    }
    m.meter.setValue(-2.5f); // 0.1 of 120 rows: 12 filled
    EXPECT_EQ(pixel(editor.hwnd(), 203, 10 + 107), kEmptyColour);
    EXPECT_EQ(pixel(editor.hwnd(), 203, 10 + 108), fullRow(3, 108));

    // In dB the thresholds are magnitudes: exactly -3 dB is still empty.
    ASSERT_TRUE(m.meter.setDbBreakpoints(headroom, tenths, 10));
    m.meter.setValue(static_cast<float>(std::pow(10.0, -3.0 / 20.0)));
    EXPECT_EQ(m.meter.fraction(), 0.0f);
    m.meter.setValue(static_cast<float>(std::pow(10.0, -2.5 / 20.0)));
    EXPECT_EQ(m.meter.fraction(), 0.1f);
    m.meter.setValue(1.0f); // 0 dB
    EXPECT_EQ(m.meter.fraction(), 0.3f);
    EXPECT_FALSE(m.meter.setBreakpoints(headroom, tenths, 0));
    EXPECT_EQ(m.meter.fraction(), 0.3f) << "a refused table changes nothing";
}

TEST(BarMeter, stepped_table_rounds_to_its_entries_and_a_range_maps_values) {
    EditorWindow editor;
    TestMeter m(editor.hwnd(), 10, 120);
    const float steps[] = {0.2f, 0.5f, 0.9f, 1.0f};
    ASSERT_TRUE(m.meter.setSteps(steps, 4));
    const std::pair<float, float> cases[] = {{0.0f, 0.0f}, {0.12f, 0.0f}, {0.13f, 0.2f},
                                             {0.5f, 0.5f}, {0.8f, 0.9f},  {5.0f, 1.0f}};
    for (auto [value, fraction] : cases) {
        m.meter.setValue(value);
        EXPECT_EQ(m.meter.fraction(), fraction) << "value " << value;
    }
    m.meter.clearScale();
    ASSERT_TRUE(m.meter.setRange(-20.0f, 20.0f));
    m.meter.setValue(10.0f);
    EXPECT_FLOAT_EQ(m.meter.fraction(), 0.75f);
    EXPECT_FALSE(m.meter.setRange(1.0f, 1.0f));
    m.meter.setValue(std::nanf(""));
    EXPECT_EQ(m.meter.fraction(), 0.0f) << "not a number shows empty";
}

TEST(BarMeter, marker_strip_and_value_message_repaint_only_on_a_change) {
    EditorWindow editor;
    TestMeter m(editor.hwnd(), 10, 120, 2);
    pump();
    m.meter.setMarker(0.75f);
    EXPECT_EQ(pixel(editor.hwnd(), 203, 10 + 30), kEmptyColour) << "the marker is off at first";
    SendMessageA(m.meter.hwnd(), kMarkerOnMessage, 1, 0);
    EXPECT_TRUE(m.meter.markerOn());
    // Rows trunc(0.25 x 120) = 30 and 31 from the full bitmap.
    EXPECT_EQ(pixel(editor.hwnd(), 203, 10 + 29), kEmptyColour);
    EXPECT_EQ(pixel(editor.hwnd(), 203, 10 + 30), fullRow(3, 30));
    EXPECT_EQ(pixel(editor.hwnd(), 203, 10 + 31), fullRow(3, 31));
    EXPECT_EQ(pixel(editor.hwnd(), 203, 10 + 32), kEmptyColour);

    const float both[] = {0.5f, 0.75f}; // value and marker
    const int paints = m.meter.paints();
    SendMessageA(m.meter.hwnd(), kSetValueMessage, 0, reinterpret_cast<LPARAM>(both));
    EXPECT_EQ(m.meter.paints(), paints + 1);
    SendMessageA(m.meter.hwnd(), kSetValueMessage, 0, reinterpret_cast<LPARAM>(both));
    EXPECT_EQ(m.meter.paints(), paints + 1) << "nothing changed, nothing painted";
    const float markerMoved[] = {0.5f, 1.0f};
    SendMessageA(m.meter.hwnd(), kSetValueMessage, 0, reinterpret_cast<LPARAM>(markerMoved));
    EXPECT_EQ(m.meter.paints(), paints + 2);
    EXPECT_EQ(pixel(editor.hwnd(), 203, 10 + 0), fullRow(3, 0));
    EXPECT_EQ(pixel(editor.hwnd(), 203, 10 + 30), kEmptyColour);

    TestMeter plain(editor.hwnd(), 10, 120, 0);
    SendMessageA(plain.meter.hwnd(), kMarkerOnMessage, 1, 0);
    EXPECT_FALSE(plain.meter.markerOn()) << "no marker without a thickness";
}

TEST(BarMeter, multi_bar_meter_draws_each_value_in_its_own_slice) {
    EditorWindow editor;
    TestMeter m(editor.hwnd(), 12, 120, 0, 3); // slices of 4 columns
    const float values[] = {0.25f, 0.5f, 1.0f};
    m.meter.setValues(values);
    const int filledFrom[] = {90, 60, 0};
    for (int bar = 0; bar < 3; ++bar) {
        for (int x = bar * 4; x < bar * 4 + 4; ++x) {
            const int top = filledFrom[bar];
            if (top > 0) {
                EXPECT_EQ(pixel(editor.hwnd(), 200 + x, 10 + top - 1), kEmptyColour)
                    << "bar " << bar << " column " << x;
            }
            EXPECT_EQ(pixel(editor.hwnd(), 200 + x, 10 + top), fullRow(x, top))
                << "bar " << bar << " column " << x;
        }
    }
    EXPECT_EQ(m.meter.fraction(2), 1.0f);
    // The message carries one value per bar.
    const float lower[] = {0.0f, 0.0f, 0.5f};
    SendMessageA(m.meter.hwnd(), kSetValueMessage, 0, reinterpret_cast<LPARAM>(lower));
    EXPECT_EQ(pixel(editor.hwnd(), 200 + 9, 10 + 59), kEmptyColour);
    EXPECT_EQ(pixel(editor.hwnd(), 200 + 0, 10 + 119), kEmptyColour);
}

TEST(BarMeter, horizontal_meter_fills_from_the_left_and_its_marker_ends_at_the_value) {
    EditorWindow editor;
    TestMeter m(editor.hwnd(), 100, 8, 3);
    ASSERT_FALSE(m.meter.vertical());
    m.meter.setValue(0.25f);
    EXPECT_EQ(pixel(editor.hwnd(), 200 + 24, 12), fullRow(24, 2));
    EXPECT_EQ(pixel(editor.hwnd(), 200 + 25, 12), kEmptyColour);
    m.meter.setMarker(0.6f);
    m.meter.setMarkerOn(true); // columns 57 ... 59
    EXPECT_EQ(pixel(editor.hwnd(), 200 + 56, 12), kEmptyColour);
    EXPECT_EQ(pixel(editor.hwnd(), 200 + 57, 12), fullRow(57, 2));
    EXPECT_EQ(pixel(editor.hwnd(), 200 + 59, 12), fullRow(59, 2));
    EXPECT_EQ(pixel(editor.hwnd(), 200 + 60, 12), kEmptyColour);
}

// Text field ---------------------------------------------------------------------------------

constexpr COLORREF kFieldBackground = RGB(0, 0, 0);
constexpr COLORREF kFieldText = RGB(0, 255, 0);

int countPixels(HWND editor, const RECT& area, COLORREF colour) {
    int count = 0;
    for (int y = area.top; y < area.bottom; ++y)
        for (int x = area.left; x < area.right; ++x)
            count += pixel(editor, x, y) == colour ? 1 : 0;
    return count;
}

int distance(COLORREF a, COLORREF b) {
    return std::abs(GetRValue(a) - GetRValue(b)) + std::abs(GetGValue(a) - GetGValue(b)) +
           std::abs(GetBValue(a) - GetBValue(b));
}

// Pixels nearer the text colour than the background's (the letters' edges are smoothed).
int textPixels(HWND editor, const RECT& area, COLORREF text, COLORREF background) {
    int count = 0;
    for (int y = area.top; y < area.bottom; ++y)
        for (int x = area.left; x < area.right; ++x) {
            const COLORREF p = pixel(editor, x, y);
            count += distance(p, text) < distance(p, background) ? 1 : 0;
        }
    return count;
}

TEST(TextField, setters_format_through_the_mapping) {
    EditorWindow editor;
    TextField field(editor.hwnd(), 10, 10, 60, 24, 0, kFieldBackground, kFieldText, 12, nullptr,
                    nullptr);
    field.text("  -");
    EXPECT_STREQ(field.buffer(), "  -");
    field.number("%3.1f", 6.0f);
    EXPECT_STREQ(field.buffer(), "6.0");
    ASSERT_TRUE(field.setMapping(0.0f, 1.0f, -12.0f, 12.0f));
    field.number("%.1f", 0.25f);
    EXPECT_STREQ(field.buffer(), "-6.0");
    field.number("%.1f", 1.0f);
    EXPECT_STREQ(field.buffer(), "12.0");
    field.integer("%3d", 0); // trunc(-12)
    EXPECT_STREQ(field.buffer(), "-12");
    EXPECT_FALSE(field.setMapping(1.0f, 1.0f, 0.0f, 5.0f));
    EXPECT_FALSE(field.setMapping(0.0f, 1.0f, 5.0f, 5.0f));
    field.number("%.1f", 1.0f);
    EXPECT_STREQ(field.buffer(), "12.0") << "a refused mapping changes nothing";
    ASSERT_TRUE(field.setRange(0.0f, 10.0f));
    field.integer("%d", 1); // trunc((1 + 0) x 10)
    EXPECT_STREQ(field.buffer(), "10");
    field.decibels("%2.0f", 0.5f);
    EXPECT_STREQ(field.buffer(), "-6");
}

TEST(TextField, solid_field_draws_border_background_and_text_and_reports_clicks) {
    EditorWindow editor;
    TextField field(editor.hwnd(), 10, 10, 70, 30, 12, kFieldBackground, kFieldText, 12, nullptr,
                    nullptr);
    field.text("88");
    const RECT inside{12, 12, 68, 28};
    EXPECT_EQ(pixel(editor.hwnd(), 10, 10), kFieldBackground) << "no border yet";
    EXPECT_GT(textPixels(editor.hwnd(), inside, kFieldText, kFieldBackground), 10) << "the text";
    field.setBorder(1);
    EXPECT_EQ(pixel(editor.hwnd(), 10, 10), kFieldText) << "the border";
    EXPECT_EQ(pixel(editor.hwnd(), 69, 29), kFieldText);
    EXPECT_EQ(pixel(editor.hwnd(), 11, 11), kFieldBackground);
    field.text("");
    EXPECT_EQ(textPixels(editor.hwnd(), inside, kFieldText, kFieldBackground), 0)
        << "no text, no text colour";
    PlatformAdvanceClock(1000);
    mouse(editor.hwnd(), WM_RBUTTONDOWN, 15, 17, MK_RBUTTON);
    mouse(editor.hwnd(), WM_RBUTTONUP, 15, 17, 0);
    ASSERT_EQ(commands().size(), 1u);
    EXPECT_EQ(commands()[0].first, 12u);
    EXPECT_EQ(GET_X_LPARAM(commands()[0].second), 5) << "the click's position in the field";
    EXPECT_EQ(GET_Y_LPARAM(commands()[0].second), 7);
}

TEST(TextField, bitmap_field_keeps_its_background_around_the_text) {
    EditorWindow editor;
    Bitmaps bitmaps;
    const COLORREF paper = RGB(200, 180, 160);
    TextField field(editor.hwnd(), 100, 100, 0, bitmaps.solid(80, 20, paper), RGB(20, 20, 120), 14,
                    nullptr, nullptr);
    field.text("Version 1.0");
    const RECT whole{100, 100, 180, 120};
    const int text = textPixels(editor.hwnd(), whole, RGB(20, 20, 120), paper);
    const int background = countPixels(editor.hwnd(), whole, paper);
    EXPECT_GT(text, 20);
    EXPECT_GT(background, 800) << "drawn transparently: the bitmap shows around the letters";
    EXPECT_EQ(pixel(editor.hwnd(), 100, 100), paper);
    clickAt(editor.hwnd(), 110, 110);
    EXPECT_TRUE(commands().empty()) << "a field without an id reports nothing";
}

} // namespace
