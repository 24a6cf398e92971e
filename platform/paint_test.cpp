// The paint cycle: update rectangles, erasing, the order of WM_PAINT, frame painting and the
// display's notifications.
#include "platform/user_test_support.h"

namespace {

using usertest::messages;
using usertest::only;
using usertest::pump;
using usertest::recorder;
using usertest::Seen;

constexpr COLORREF kWhite = RGB(255, 255, 255);
constexpr COLORREF kBlack = RGB(0, 0, 0);
constexpr COLORREF kNavy = RGB(0, 0, 128);
constexpr COLORREF kGrey = RGB(128, 128, 128);
constexpr COLORREF kSilver = RGB(192, 192, 192);

// What the last WM_PAINT of a subclassed window got from BeginPaint.
struct PaintSeen {
    RECT rcPaint{};
    BOOL fErase = FALSE;
    int paints = 0;
};
PaintSeen paintSeen;
WNDPROC previousProc = nullptr;

LRESULT CALLBACK paintingProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_PAINT) {
        usertest::recorder().add(window, message, wParam, lParam);
        PAINTSTRUCT paint{};
        EXPECT_NE(BeginPaint(window, &paint), nullptr);
        paintSeen.rcPaint = paint.rcPaint;
        paintSeen.fErase = paint.fErase;
        ++paintSeen.paints;
        EndPaint(window, &paint);
        return 0;
    }
    return CallWindowProcA(previousProc, window, message, wParam, lParam);
}

class PaintTest : public usertest::UserTest {
  protected:
    // Client pixel of a window (window coordinates offset by the client origin).
    static COLORREF clientPixel(HWND window, int x, int y) {
        POINT origin{0, 0};
        ClientToScreen(window, &origin);
        RECT rect{};
        GetWindowRect(window, &rect);
        return PlatformWindowPixel(window, origin.x - rect.left + x, origin.y - rect.top + y);
    }
    void subclassForPaint(HWND window) {
        previousProc = reinterpret_cast<WNDPROC>(
            SetWindowLongPtrA(window, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(paintingProc)));
        paintSeen = PaintSeen{};
    }
};

TEST_F(PaintTest, a_shown_window_gets_frame_erase_and_paint_parent_before_children) {
    HWND parent = topLevel(100, 50, 200, 100);
    // Children are stacked in creation order: the first one created is on top.
    HWND first = child(parent, 1, 0, 0, 40, 40, kPlainClass);
    HWND second = child(parent, 2, 20, 20, 40, 40);
    SetClassLongPtrA(first, GCLP_HBRBACKGROUND, COLOR_BTNTEXT + 1); // black
    EXPECT_EQ(GetWindow(parent, GW_CHILD), first);
    EXPECT_EQ(GetWindow(first, GW_HWNDNEXT), second);
    recorder().take();
    pump();
    std::vector<std::pair<HWND, UINT>> order;
    for (const Seen& s : only(recorder().take(), {WM_PAINT, WM_NCPAINT, WM_ERASEBKGND}))
        order.emplace_back(s.window, s.message);
    // The parent's frame and background come inside its BeginPaint, before any child paints;
    // the lower sibling paints before the one above it, so the upper one's pixels end on top.
    const std::vector<std::pair<HWND, UINT>> expected = {
        {parent, WM_PAINT},      {parent, WM_NCPAINT}, {parent, WM_ERASEBKGND}, {second, WM_PAINT},
        {second, WM_ERASEBKGND}, {first, WM_PAINT},    {first, WM_ERASEBKGND}};
    EXPECT_EQ(order, expected);
    EXPECT_EQ(clientPixel(parent, 100, 60), kWhite);
    EXPECT_EQ(clientPixel(parent, 50, 50), kWhite) << "second child";
    EXPECT_EQ(clientPixel(parent, 30, 30), kBlack) << "the first child covers the overlap";
    EXPECT_EQ(pump(), 0) << "everything was validated";
}

TEST_F(PaintTest, the_frame_and_caption_take_the_classic_colours_and_follow_activation) {
    HWND window = topLevel(100, 50, 200, 100);
    pump();
    // Dialog frame: light and white rings at the top left, black and grey at the bottom right.
    EXPECT_EQ(PlatformWindowPixel(window, 0, 0), kSilver);
    EXPECT_EQ(PlatformWindowPixel(window, 1, 1), kWhite);
    EXPECT_EQ(PlatformWindowPixel(window, 199, 99), kBlack);
    EXPECT_EQ(PlatformWindowPixel(window, 198, 98), kGrey);
    EXPECT_EQ(PlatformWindowPixel(window, 2, 50), kSilver);
    // Caption bar of the active window, the line below it, then the client area.
    EXPECT_EQ(GetActiveWindow(), window);
    EXPECT_EQ(PlatformWindowPixel(window, 60, 10), kNavy);
    EXPECT_EQ(PlatformWindowPixel(window, 60, 21), kSilver);
    EXPECT_EQ(PlatformWindowPixel(window, 60, 22), kWhite);
    // The close button: raised edges and a black cross.
    EXPECT_EQ(PlatformWindowPixel(window, 179, 10), kWhite);
    EXPECT_EQ(PlatformWindowPixel(window, 194, 10), kBlack);
    EXPECT_EQ(PlatformWindowPixel(window, 193, 10), kGrey);
    EXPECT_EQ(PlatformWindowPixel(window, 183, 8), kBlack);
    EXPECT_EQ(PlatformWindowPixel(window, 181, 14), kSilver);

    HWND other = topLevel(400, 50, 100, 100);
    pump();
    EXPECT_EQ(GetActiveWindow(), other);
    EXPECT_EQ(PlatformWindowPixel(window, 60, 10), kGrey) << "inactive caption";
    EXPECT_EQ(PlatformWindowPixel(other, 50, 10), kNavy);
    EXPECT_EQ(PlatformWindowPixel(window, 200, 0), static_cast<COLORREF>(0xffffffffu));
}

TEST_F(PaintTest, erasing_and_painting_stay_inside_the_update_rectangle) {
    HWND window = topLevel(0, 0, 200, 100, WS_POPUP);
    pump();
    SetClassLongPtrA(window, GCLP_HBRBACKGROUND, COLOR_BTNTEXT + 1);
    subclassForPaint(window);
    const RECT spot{10, 10, 20, 20};
    ASSERT_TRUE(InvalidateRect(window, &spot, TRUE));
    recorder().take();
    pump();
    EXPECT_EQ(paintSeen.paints, 1);
    EXPECT_EQ(paintSeen.rcPaint.left, 10);
    EXPECT_EQ(paintSeen.rcPaint.bottom, 20);
    EXPECT_FALSE(paintSeen.fErase) << "the class brush erased it";
    EXPECT_EQ(messages(only(recorder().take(), {WM_ERASEBKGND})),
              (std::vector<UINT>{WM_ERASEBKGND}));
    EXPECT_EQ(clientPixel(window, 15, 15), kBlack);
    EXPECT_EQ(clientPixel(window, 25, 25), kWhite);
    EXPECT_EQ(clientPixel(window, 9, 15), kWhite);

    // Without erase no WM_ERASEBKGND is sent.
    ASSERT_TRUE(InvalidateRect(window, nullptr, FALSE));
    pump();
    EXPECT_EQ(paintSeen.paints, 2);
    EXPECT_EQ(paintSeen.rcPaint.right, 200) << "a null rectangle is the whole client area";
    EXPECT_TRUE(only(recorder().take(), {WM_ERASEBKGND}).empty());
    EXPECT_EQ(clientPixel(window, 25, 25), kWhite);

    // A class without a background brush leaves erasing to the painter (fErase set).
    SetClassLongPtrA(window, GCLP_HBRBACKGROUND, 0);
    InvalidateRect(window, nullptr, TRUE);
    pump();
    EXPECT_TRUE(paintSeen.fErase);
}

TEST_F(PaintTest, wm_paint_comes_after_posted_and_input_messages_and_before_timers) {
    PlatformSetClock(TRUE);
    HWND window = topLevel(0, 0, 100, 100, WS_POPUP);
    pump();
    InvalidateRect(window, nullptr, FALSE);
    PostMessageA(window, WM_USER + 1, 0, 0);
    PlatformInjectMouse(window, WM_MOUSEMOVE, 5, 5, 0);
    SetTimer(window, 7, 10, nullptr);
    PlatformAdvanceClock(10);
    MSG message{};
    std::vector<UINT> order;
    for (int i = 0; i < 4 && PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE); ++i)
        order.push_back(message.message);
    EXPECT_EQ(order, (std::vector<UINT>{WM_USER + 1, WM_MOUSEMOVE, WM_PAINT, WM_PAINT}))
        << "WM_PAINT stays until the window is validated";
    ValidateRect(window, nullptr);
    ASSERT_TRUE(PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE));
    EXPECT_EQ(message.message, static_cast<UINT>(WM_TIMER));
    EXPECT_FALSE(PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE));
    KillTimer(window, 7);
    PlatformSetClock(FALSE);
}

TEST_F(PaintTest, the_update_region_is_one_bounding_rectangle) {
    HWND window = topLevel(0, 0, 200, 100, WS_POPUP);
    pump();
    RECT update{};
    EXPECT_FALSE(GetUpdateRect(window, &update, FALSE));
    const RECT a{10, 10, 20, 20};
    const RECT b{50, 30, 60, 40};
    InvalidateRect(window, &a, FALSE);
    InvalidateRect(window, &b, FALSE);
    ASSERT_TRUE(GetUpdateRect(window, &update, FALSE));
    EXPECT_EQ(update.left, 10);
    EXPECT_EQ(update.top, 10);
    EXPECT_EQ(update.right, 60);
    EXPECT_EQ(update.bottom, 40);
    const RECT topBand{0, 0, 200, 25};
    ValidateRect(window, &topBand);
    ASSERT_TRUE(GetUpdateRect(window, &update, FALSE));
    EXPECT_EQ(update.top, 25) << "a band across the whole rectangle shrinks it";
    const RECT middle{30, 30, 35, 35};
    ValidateRect(window, &middle);
    ASSERT_TRUE(GetUpdateRect(window, &update, FALSE));
    EXPECT_EQ(update.left, 10) << "a hole is not kept";
    const RECT outside{500, 500, 600, 600};
    InvalidateRect(window, &outside, FALSE);
    ASSERT_TRUE(GetUpdateRect(window, &update, FALSE));
    EXPECT_EQ(update.right, 60) << "outside the client area adds nothing";
    ValidateRect(window, nullptr);
    EXPECT_FALSE(GetUpdateRect(window, &update, FALSE));
}

TEST_F(PaintTest, update_window_paints_at_once_the_window_and_its_children) {
    HWND parent = topLevel(0, 0, 200, 100, WS_POPUP);
    HWND inner = child(parent, 3, 10, 10, 50, 50);
    pump();
    recorder().take();
    InvalidateRect(parent, nullptr, TRUE);
    ASSERT_TRUE(UpdateWindow(parent));
    const std::vector<Seen> painted = only(recorder().take(), {WM_PAINT});
    ASSERT_EQ(painted.size(), 2u) << "the parent's invalidation reaches the child under it";
    EXPECT_EQ(painted[0].window, parent);
    EXPECT_EQ(painted[1].window, inner);
    ASSERT_TRUE(UpdateWindow(parent));
    EXPECT_TRUE(only(recorder().take(), {WM_PAINT}).empty()) << "nothing left to paint";

    // A hidden child is not painted; showing it again invalidates it whole.
    ShowWindow(inner, SW_HIDE);
    InvalidateRect(inner, nullptr, TRUE);
    pump();
    std::vector<Seen> seen = only(recorder().take(), {WM_PAINT});
    for (const Seen& s : seen)
        EXPECT_NE(s.window, inner);
    EXPECT_FALSE(IsWindowVisible(inner));
    ShowWindow(inner, SW_SHOW);
    RECT update{};
    ASSERT_TRUE(GetUpdateRect(inner, &update, FALSE));
    EXPECT_EQ(update.right, 50);
}

TEST_F(PaintTest, the_display_hears_of_creation_size_visibility_presents_and_destruction) {
    HWND window = topLevel(10, 10, 120, 80, WS_POPUP);
    PlatformDisplayWindowState shown{};
    ASSERT_TRUE(PlatformDisplayWindow(window, &shown, TRUE));
    EXPECT_TRUE(shown.known);
    EXPECT_TRUE(shown.visible);
    EXPECT_EQ(shown.width, 120);
    EXPECT_EQ(shown.height, 80);
    pump();
    PlatformDisplayWindowState painted{};
    ASSERT_TRUE(PlatformDisplayWindow(window, &painted, TRUE));
    EXPECT_GT(painted.presents, shown.presents);
    EXPECT_EQ(painted.dirty.right, 120);
    EXPECT_EQ(painted.dirty.bottom, 80);

    ASSERT_TRUE(MoveWindow(window, 10, 10, 150, 90, TRUE));
    PlatformDisplayWindowState resized{};
    PlatformDisplayWindow(window, &resized, FALSE);
    EXPECT_EQ(resized.width, 150);
    EXPECT_GT(resized.changes, painted.changes);
    ShowWindow(window, SW_HIDE);
    PlatformDisplayWindowState hidden{};
    PlatformDisplayWindow(window, &hidden, FALSE);
    EXPECT_FALSE(hidden.visible);

    HWND inner = child(window, 1, 0, 0, 10, 10);
    PlatformDisplayWindowState none{};
    EXPECT_FALSE(PlatformDisplayWindow(inner, &none, FALSE)) << "child windows have no surface";
    DestroyWindow(window);
    PlatformDisplayWindowState gone{};
    ASSERT_TRUE(PlatformDisplayWindow(window, &gone, FALSE));
    EXPECT_FALSE(gone.known);
    EXPECT_TRUE(gone.destroyed);
}

TEST_F(PaintTest, paint_calls_on_a_bad_window_fail_with_invalid_window_handle) {
    HWND window = topLevel(0, 0, 10, 10, WS_POPUP);
    DestroyWindow(window);
    PAINTSTRUCT paint{};
    RECT rect{};
    SetLastError(0);
    EXPECT_FALSE(InvalidateRect(window, nullptr, TRUE));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_WINDOW_HANDLE));
    SetLastError(0);
    EXPECT_EQ(BeginPaint(window, &paint), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_WINDOW_HANDLE));
    EXPECT_FALSE(ValidateRect(window, nullptr));
    EXPECT_FALSE(GetUpdateRect(window, &rect, FALSE));
    SetLastError(0);
    EXPECT_FALSE(UpdateWindow(window));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_WINDOW_HANDLE));
    EXPECT_EQ(PlatformWindowPixel(window, 0, 0), static_cast<COLORREF>(0xffffffffu));
}

} // namespace
