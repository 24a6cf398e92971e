#include "controls/caption_button.h"
#include "controls/controls_test_support.h"

#include <gtest/gtest.h>

#include <memory>

using namespace orq::controls;
using controls_test::pump;

namespace {

CaptionButton* activeButton = nullptr;
bool quitOnPress = false;
bool postOnPress = false;
int dispatchedWhileTracking = 0;
constexpr UINT kFrameChore = WM_USER + 7;

LRESULT CALLBACK frameProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    LRESULT result = 0;
    if (message == WM_NCLBUTTONDOWN && quitOnPress) PostQuitMessage(0);
    if (message == WM_NCLBUTTONDOWN && postOnPress) PostMessageA(window, kFrameChore, 0, 0);
    if (message == kFrameChore && GetCapture() == window) ++dispatchedWhileTracking;
    if (activeButton != nullptr &&
        activeButton->handleMessage(window, message, wParam, lParam, &result))
        return result;
    return DefWindowProcA(window, message, wParam, lParam);
}

struct Owner : CaptionButtonOwner {
    std::vector<bool> ends;
    void captionButtonClicked(bool releasedInside) override { ends.push_back(releasedInside); }
};

class CaptionButtonTest : public ::testing::Test {
  protected:
    void SetUp() override {
        WNDCLASSA windowClass{};
        windowClass.lpfnWndProc = frameProcedure;
        windowClass.lpszClassName = "ControlsTestFrame";
        RegisterClassA(&windowClass);
    }
    void TearDown() override {
        activeButton = nullptr;
        quitOnPress = false;
        postOnPress = false;
        dispatchedWhileTracking = 0;
        button_.reset();
        if (frame_ != nullptr) DestroyWindow(frame_);
        UnregisterClassA("ControlsTestFrame", nullptr);
        pump();
    }
    void makeFrame(DWORD style, DWORD exStyle = 0) {
        frame_ = CreateWindowExA(exStyle, "ControlsTestFrame", "Editor", style, 100, 50, 300, 200,
                                 nullptr, nullptr, nullptr, nullptr);
        button_ = std::make_unique<CaptionButton>(&owner_, frame_, 0);
        activeButton = button_.get();
        pump();
    }
    // Window coordinates of the button's middle.
    POINT middle() const {
        const RECT r = button_->rect();
        return POINT{(r.left + r.right) / 2, (r.top + r.bottom) / 2};
    }
    POINT toScreen(POINT windowPoint) const {
        RECT w{};
        GetWindowRect(frame_, &w);
        return POINT{windowPoint.x + w.left, windowPoint.y + w.top};
    }

    HWND frame_ = nullptr;
    Owner owner_;
    std::unique_ptr<CaptionButton> button_;
};

constexpr DWORD kFrameStyle = WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX | WS_VISIBLE;

} // namespace

TEST_F(CaptionButtonTest, rectangle_sits_left_of_the_frames_own_buttons) {
    makeFrame(kFrameStyle);
    RECT client{};
    GetClientRect(frame_, &client);
    const RECT r = button_->rect();
    // Zoom bitmaps are 16 x 14; a minimise box, no maximise box (slot 0 + 2), border 1 and
    // dialog frame 3; the caption is 19 high: 3 + (19 - 1 - 14 + 1) / 2 = 5.
    EXPECT_EQ(r.left, client.right - 16 - 16 * 2 - 1 - 3);
    EXPECT_EQ(r.right - r.left, 16);
    EXPECT_EQ(r.top, 5);
    EXPECT_EQ(r.bottom - r.top, 14);
}

TEST_F(CaptionButtonTest, a_maximise_box_and_context_help_move_it_further_left) {
    makeFrame(kFrameStyle | WS_MAXIMIZEBOX | WS_THICKFRAME, WS_EX_CONTEXTHELP);
    RECT client{};
    GetClientRect(frame_, &client);
    const RECT r = button_->rect();
    EXPECT_EQ(r.left, client.right - 16 - 16 * 3 - 16 - 1 - 3);
    EXPECT_EQ(r.top, 4 + 2) << "the sizing frame is 4 high";
}

TEST_F(CaptionButtonTest, a_window_without_caption_has_no_button) {
    makeFrame(WS_POPUP | WS_VISIBLE);
    const RECT r = button_->rect();
    EXPECT_EQ(r.right - r.left, 0);
    LRESULT result = 0;
    EXPECT_FALSE(button_->handleMessage(frame_, WM_NCHITTEST, 0, MAKELPARAM(0, 0), &result));
}

TEST_F(CaptionButtonTest, hit_test_answers_its_code_inside_only) {
    makeFrame(kFrameStyle);
    const POINT inside = toScreen(middle());
    LRESULT result = 0;
    ASSERT_TRUE(
        button_->handleMessage(frame_, WM_NCHITTEST, 0, MAKELPARAM(inside.x, inside.y), &result));
    EXPECT_EQ(result, kCaptionButtonHit);
    const RECT r = button_->rect();
    const POINT justRight = toScreen(POINT{r.right, r.top});
    EXPECT_FALSE(button_->handleMessage(frame_, WM_NCHITTEST, 0,
                                        MAKELPARAM(justRight.x, justRight.y), &result));
    EXPECT_EQ(SendMessageA(frame_, WM_NCHITTEST, 0, MAKELPARAM(inside.x, inside.y)),
              kCaptionButtonHit);
}

TEST_F(CaptionButtonTest, painting_draws_the_face_and_the_bar_shifted_while_pressed) {
    makeFrame(kFrameStyle);
    SendMessageA(frame_, WM_NCPAINT, 1, 0);
    const RECT r = button_->rect();
    const COLORREF face = GetSysColor(COLOR_BTNFACE);
    const COLORREF caption = GetSysColor(COLOR_ACTIVECAPTION);
    // Face from r + 2 (the edge); bar 2 high centred in the 10-pixel face: rows top + 6, 7;
    // columns from face.left + 1 to face.right - 2.
    const int faceLeft = r.left + 2, faceTop = r.top + 2, faceRight = r.right - 2;
    EXPECT_EQ(PlatformWindowPixel(frame_, faceLeft, faceTop), face);
    EXPECT_EQ(PlatformWindowPixel(frame_, faceLeft + 1, faceTop + 4), caption);
    EXPECT_EQ(PlatformWindowPixel(frame_, faceLeft + 1, faceTop + 5), caption);
    EXPECT_EQ(PlatformWindowPixel(frame_, faceLeft + 1, faceTop + 6), face);
    EXPECT_EQ(PlatformWindowPixel(frame_, faceLeft, faceTop + 4), face);
    EXPECT_EQ(PlatformWindowPixel(frame_, faceRight - 3, faceTop + 4), caption);
    EXPECT_EQ(PlatformWindowPixel(frame_, faceRight - 2, faceTop + 4), face);
    button_->draw(true);
    EXPECT_EQ(PlatformWindowPixel(frame_, faceLeft + 1, faceTop + 4), face);
    EXPECT_EQ(PlatformWindowPixel(frame_, faceLeft + 2, faceTop + 5), caption);
    EXPECT_EQ(PlatformWindowPixel(frame_, faceLeft + 2, faceTop + 6), caption);
    EXPECT_EQ(PlatformWindowPixel(frame_, faceRight - 2, faceTop + 5), caption);
}

TEST_F(CaptionButtonTest, press_moved_out_and_released_outside_is_no_click) {
    makeFrame(kFrameStyle);
    const POINT p = middle();
    PlatformInjectMouse(frame_, WM_LBUTTONDOWN, p.x, p.y, MK_LBUTTON);
    PlatformInjectMouse(frame_, WM_MOUSEMOVE, p.x - 40, p.y, MK_LBUTTON);
    PlatformInjectMouse(frame_, WM_LBUTTONUP, p.x - 40, p.y, 0);
    pump();
    EXPECT_EQ(owner_.ends, std::vector<bool>{false});
    EXPECT_EQ(GetCapture(), nullptr);
}

TEST_F(CaptionButtonTest, press_moved_out_and_back_then_released_inside_is_a_click) {
    makeFrame(kFrameStyle);
    const POINT p = middle();
    PlatformInjectMouse(frame_, WM_LBUTTONDOWN, p.x, p.y, MK_LBUTTON);
    PlatformInjectMouse(frame_, WM_MOUSEMOVE, p.x, p.y + 60, MK_LBUTTON);
    PlatformInjectMouse(frame_, WM_MOUSEMOVE, p.x + 1, p.y, MK_LBUTTON);
    PlatformInjectMouse(frame_, WM_LBUTTONUP, p.x + 1, p.y, 0);
    pump();
    EXPECT_EQ(owner_.ends, std::vector<bool>{true});
    EXPECT_EQ(GetCapture(), nullptr);
    // Drawn unpressed at the end: the bar is back at its resting row.
    const RECT r = button_->rect();
    EXPECT_EQ(PlatformWindowPixel(frame_, r.left + 3, r.top + 6), GetSysColor(COLOR_ACTIVECAPTION));
}

TEST_F(CaptionButtonTest, tracking_stops_when_a_quit_message_is_waiting) {
    makeFrame(kFrameStyle);
    const POINT p = middle();
    PlatformInjectMouse(frame_, WM_LBUTTONDOWN, p.x, p.y, MK_LBUTTON);
    PlatformInjectMouse(frame_, WM_LBUTTONUP, p.x + 40, p.y, 0);
    quitOnPress = true; // the frame posts a quit as the press arrives
    MSG message{};
    ASSERT_TRUE(PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE));
    ASSERT_EQ(message.message, static_cast<UINT>(WM_NCLBUTTONDOWN));
    DispatchMessageA(&message);
    EXPECT_EQ(owner_.ends, std::vector<bool>{true}) << "ended at once, the pointer still inside";
    EXPECT_TRUE(PeekMessageA(&message, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE)) << "quit kept";
    EXPECT_EQ(message.message, static_cast<UINT>(WM_QUIT));
    EXPECT_EQ(GetCapture(), nullptr);
    pump(); // the release outside, after tracking: nobody's click
}

TEST_F(CaptionButtonTest, a_quick_second_click_is_tracked_as_a_click_too) {
    makeFrame(kFrameStyle);
    const POINT p = middle();
    for (int i = 0; i < 2; ++i) {
        PlatformInjectMouse(frame_, WM_LBUTTONDOWN, p.x, p.y, MK_LBUTTON);
        PlatformInjectMouse(frame_, WM_LBUTTONUP, p.x, p.y, 0);
    }
    pump();
    EXPECT_EQ(owner_.ends, (std::vector<bool>{true, true}));
}

TEST_F(CaptionButtonTest, the_frames_other_messages_are_dispatched_while_tracking) {
    makeFrame(kFrameStyle);
    const POINT p = middle();
    postOnPress = true;
    PlatformInjectMouse(frame_, WM_LBUTTONDOWN, p.x, p.y, MK_LBUTTON);
    PlatformInjectMouse(frame_, WM_LBUTTONUP, p.x, p.y, 0);
    pump();
    EXPECT_EQ(dispatchedWhileTracking, 1);
    EXPECT_EQ(owner_.ends, std::vector<bool>{true});
}
