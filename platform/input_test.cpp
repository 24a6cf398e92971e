// Mouse and keyboard input: routing to windows, capture, double clicks, the non-client area and
// its caption buttons, focus, key states, characters and accelerators.
#include "platform/user_test_support.h"

namespace {

using usertest::messages;
using usertest::only;
using usertest::pump;
using usertest::recorder;
using usertest::Seen;

constexpr int kCaptionButtonHit = 10000;
constexpr std::initializer_list<UINT> kMouseMessages = {
    WM_MOUSEMOVE,   WM_LBUTTONDOWN,   WM_LBUTTONUP,   WM_LBUTTONDBLCLK,  WM_RBUTTONDOWN,
    WM_NCMOUSEMOVE, WM_NCLBUTTONDOWN, WM_NCLBUTTONUP, WM_NCLBUTTONDBLCLK};

class InputTest : public usertest::UserTest {
  protected:
    void SetUp() override {
        UserTest::SetUp();
        PlatformSetClock(TRUE); // message times stand still unless a test advances them
    }
    void TearDown() override {
        PlatformSetClock(FALSE);
        UserTest::TearDown();
    }
    // Injects and dispatches; returns the mouse messages the windows saw.
    static std::vector<Seen> click(HWND window, UINT message, int x, int y, WPARAM keys = 0) {
        recorder().take();
        EXPECT_TRUE(PlatformInjectMouse(window, message, x, y, keys));
        pump();
        return only(recorder().take(), kMouseMessages);
    }
};

TEST_F(InputTest, mouse_messages_go_to_the_deepest_visible_enabled_child_in_its_coordinates) {
    HWND top = topLevel(100, 100, 200, 200, WS_POPUP);
    HWND outer = child(top, 1, 10, 10, 100, 100);
    HWND inner = child(outer, 2, 5, 5, 20, 20);
    pump();
    std::vector<Seen> seen = click(top, WM_LBUTTONDOWN, 20, 20, MK_SHIFT);
    EXPECT_LT(GetKeyState(VK_LBUTTON), 0) << "the pressed button is down";
    EXPECT_LT(GetKeyState(VK_SHIFT), 0);
    ASSERT_EQ(seen.size(), 1u);
    EXPECT_EQ(seen[0].window, inner);
    EXPECT_EQ(seen[0].message, static_cast<UINT>(WM_LBUTTONDOWN));
    EXPECT_EQ(GET_X_LPARAM(seen[0].lParam), 5);
    EXPECT_EQ(GET_Y_LPARAM(seen[0].lParam), 5);
    EXPECT_EQ(seen[0].wParam, MK_LBUTTON | MK_SHIFT);
    POINT cursor{};
    ASSERT_TRUE(GetCursorPos(&cursor));
    EXPECT_EQ(cursor.x, 120);
    EXPECT_EQ(cursor.y, 120);
    EXPECT_EQ(WindowFromPoint(cursor), inner);

    seen = click(top, WM_LBUTTONUP, 20, 20);
    EXPECT_GE(GetKeyState(VK_LBUTTON), 0);
    ASSERT_EQ(seen.size(), 1u);
    EXPECT_EQ(seen[0].wParam, 0u) << "the released button is no longer down";

    EnableWindow(inner, FALSE);
    seen = click(top, WM_RBUTTONDOWN, 20, 20);
    ASSERT_EQ(seen.size(), 1u);
    EXPECT_EQ(seen[0].window, outer) << "a disabled child lets its parent have the click";
    EXPECT_EQ(GET_X_LPARAM(seen[0].lParam), 10);
    ShowWindow(outer, SW_HIDE);
    seen = click(top, WM_MOUSEMOVE, 20, 20);
    ASSERT_EQ(seen.size(), 1u);
    EXPECT_EQ(seen[0].window, top);
    EXPECT_TRUE(click(top, WM_MOUSEMOVE, 250, 20).empty()) << "outside the window: nobody";
    SetLastError(0);
    EXPECT_FALSE(PlatformInjectMouse(top, WM_KEYDOWN, 0, 0, 0));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
}

TEST_F(InputTest, wheel_turns_for_the_focus_window_and_climbs_to_its_parents) {
    HWND top = topLevel(100, 100, 200, 200, WS_POPUP);
    HWND outer = child(top, 1, 10, 10, 100, 100);
    HWND inner = child(outer, 2, 5, 5, 20, 20);
    pump();
    SetFocus(inner);
    recorder().take();
    const WPARAM towardsUser = MAKEWPARAM(MK_SHIFT, static_cast<WORD>(-WHEEL_DELTA));
    ASSERT_TRUE(PlatformInjectMouse(top, WM_MOUSEWHEEL, 150, 150, towardsUser));
    pump();
    const std::vector<Seen> seen = only(recorder().take(), {WM_MOUSEWHEEL, WM_SETCURSOR});
    // The pointer is far from the focus window: the wheel still goes to it, then up the chain
    // (each answered by DefWindowProcA); no cursor is set for it.
    ASSERT_EQ(seen.size(), 3u);
    EXPECT_EQ(seen[0].window, inner);
    EXPECT_EQ(seen[1].window, outer);
    EXPECT_EQ(seen[2].window, top);
    EXPECT_EQ(static_cast<SHORT>(HIWORD(seen[0].wParam)), -WHEEL_DELTA);
    EXPECT_EQ(LOWORD(seen[0].wParam), MK_SHIFT);
    EXPECT_EQ(GET_X_LPARAM(seen[0].lParam), 250) << "screen coordinates";
    EXPECT_EQ(GET_Y_LPARAM(seen[0].lParam), 250);
    EXPECT_LT(GetKeyState(VK_SHIFT), 0);

    SetFocus(nullptr);
    ASSERT_TRUE(PlatformInjectMouse(top, WM_MOUSEWHEEL, 150, 150, MAKEWPARAM(0, WHEEL_DELTA)));
    pump();
    const std::vector<Seen> unfocused = only(recorder().take(), {WM_MOUSEWHEEL});
    ASSERT_EQ(unfocused.size(), 1u);
    EXPECT_EQ(unfocused[0].window, top) << "without a focus window: the top-level window";
}

TEST_F(InputTest, outside_the_client_area_the_hit_test_makes_non_client_messages) {
    HWND top = topLevel(100, 100, 200, 100); // caption and dialog frame
    pump();
    std::vector<Seen> seen = click(top, WM_MOUSEMOVE, 60, 10);
    ASSERT_EQ(seen.size(), 1u);
    EXPECT_EQ(seen[0].message, static_cast<UINT>(WM_NCMOUSEMOVE));
    EXPECT_EQ(seen[0].wParam, static_cast<WPARAM>(HTCAPTION));
    EXPECT_EQ(GET_X_LPARAM(seen[0].lParam), 160) << "screen coordinates";
    EXPECT_EQ(GET_Y_LPARAM(seen[0].lParam), 110);
    seen = click(top, WM_MOUSEMOVE, 1, 50);
    ASSERT_EQ(seen.size(), 1u);
    EXPECT_EQ(seen[0].wParam, static_cast<WPARAM>(HTBORDER));
    seen = click(top, WM_MOUSEMOVE, 10, 10);
    EXPECT_EQ(seen.at(0).wParam, static_cast<WPARAM>(HTSYSMENU));
    seen = click(top, WM_MOUSEMOVE, 185, 10);
    EXPECT_EQ(seen.at(0).wParam, static_cast<WPARAM>(HTCLOSE));
    seen = click(top, WM_MOUSEMOVE, 3, 22);
    ASSERT_EQ(seen.size(), 1u);
    EXPECT_EQ(seen[0].message, static_cast<UINT>(WM_MOUSEMOVE));
    EXPECT_EQ(GET_X_LPARAM(seen[0].lParam), 0) << "client coordinates start inside the frame";

    HWND sizable =
        topLevel(400, 100, 200, 100, WS_OVERLAPPED | WS_SYSMENU | WS_THICKFRAME | WS_MINIMIZEBOX);
    EXPECT_EQ(click(sizable, WM_MOUSEMOVE, 199, 99).at(0).wParam,
              static_cast<WPARAM>(HTBOTTOMRIGHT));
    EXPECT_EQ(click(sizable, WM_MOUSEMOVE, 100, 0).at(0).wParam, static_cast<WPARAM>(HTTOP));
    // Without a maximise box the minimise box sits beside the close box.
    EXPECT_EQ(click(sizable, WM_MOUSEMOVE, 150, 12).at(0).wParam, static_cast<WPARAM>(HTCAPTION));
    EXPECT_EQ(click(sizable, WM_MOUSEMOVE, 170, 12).at(0).wParam, static_cast<WPARAM>(HTMINBUTTON));
    HWND zoomable = topLevel(400, 300, 200, 100,
                             WS_OVERLAPPED | WS_SYSMENU | WS_MINIMIZEBOX | WS_MAXIMIZEBOX);
    EXPECT_EQ(click(zoomable, WM_MOUSEMOVE, 150, 12).at(0).wParam, static_cast<WPARAM>(HTMINBUTTON));
    EXPECT_EQ(click(zoomable, WM_MOUSEMOVE, 170, 12).at(0).wParam, static_cast<WPARAM>(HTMAXBUTTON));
}

// The frame of an editor: a caption button answers its own hit code inside its rectangle.
RECT captionButton{100, 5, 116, 19}; // window coordinates
WNDPROC framePrevious = nullptr;
LRESULT CALLBACK captionButtonProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_NCHITTEST) {
        RECT frame{};
        GetWindowRect(window, &frame);
        const int x = GET_X_LPARAM(lParam) - frame.left;
        const int y = GET_Y_LPARAM(lParam) - frame.top;
        if (x >= captionButton.left && x < captionButton.right && y >= captionButton.top &&
            y < captionButton.bottom)
            return kCaptionButtonHit;
    }
    return CallWindowProcA(framePrevious, window, message, wParam, lParam);
}

TEST_F(InputTest, a_caption_button_rectangle_from_a_subclassed_hit_test_gets_its_code) {
    HWND frame = topLevel(100, 100, 200, 100);
    framePrevious = reinterpret_cast<WNDPROC>(
        SetWindowLongPtrA(frame, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(captionButtonProc)));
    ASSERT_EQ(framePrevious, &usertest::recordingProc);
    pump();
    std::vector<Seen> seen = click(frame, WM_LBUTTONDOWN, 105, 10);
    ASSERT_EQ(seen.size(), 1u);
    EXPECT_EQ(seen[0].message, static_cast<UINT>(WM_NCLBUTTONDOWN));
    EXPECT_EQ(seen[0].wParam, static_cast<WPARAM>(kCaptionButtonHit));
    seen = click(frame, WM_LBUTTONUP, 105, 10);
    EXPECT_EQ(seen.at(0).message, static_cast<UINT>(WM_NCLBUTTONUP));
    seen = click(frame, WM_LBUTTONDOWN, 60, 10);
    ASSERT_EQ(seen.size(), 1u);
    EXPECT_EQ(seen[0].wParam, static_cast<WPARAM>(HTCAPTION));
    EXPECT_LT(GetKeyState(VK_LBUTTON), 0) << "a non-client press holds the button down too";
    // A second press on the caption is a double click, whatever the class style.
    click(frame, WM_LBUTTONUP, 60, 10);
    seen = click(frame, WM_LBUTTONDOWN, 60, 10);
    EXPECT_EQ(seen.at(0).message, static_cast<UINT>(WM_NCLBUTTONDBLCLK));
    EXPECT_EQ(seen.at(0).wParam, static_cast<WPARAM>(HTCAPTION));
}

TEST_F(InputTest, capture_takes_every_mouse_message_and_hears_when_it_is_lost) {
    HWND top = topLevel(100, 100, 200, 200, WS_POPUP);
    HWND a = child(top, 1, 10, 10, 50, 50);
    HWND b = child(top, 2, 100, 100, 50, 50);
    pump();
    EXPECT_EQ(SetCapture(a), nullptr);
    EXPECT_EQ(GetCapture(), a);
    std::vector<Seen> seen = click(top, WM_MOUSEMOVE, 120, 130);
    ASSERT_EQ(seen.size(), 1u);
    EXPECT_EQ(seen[0].window, a) << "not b, under the pointer";
    EXPECT_EQ(GET_X_LPARAM(seen[0].lParam), 110);
    seen = click(top, WM_MOUSEMOVE, 250, 5); // outside the window
    ASSERT_EQ(seen.size(), 1u);
    EXPECT_EQ(GET_Y_LPARAM(seen[0].lParam), -5);

    recorder().take();
    EXPECT_EQ(SetCapture(b), a);
    std::vector<Seen> changed = only(recorder().take(), {WM_CAPTURECHANGED});
    ASSERT_EQ(changed.size(), 1u);
    EXPECT_EQ(changed[0].window, a);
    EXPECT_EQ(changed[0].lParam, reinterpret_cast<LPARAM>(b));
    EXPECT_TRUE(ReleaseCapture());
    changed = only(recorder().take(), {WM_CAPTURECHANGED});
    ASSERT_EQ(changed.size(), 1u);
    EXPECT_EQ(changed[0].window, b);
    EXPECT_EQ(changed[0].lParam, 0);
    EXPECT_EQ(GetCapture(), nullptr);
    seen = click(top, WM_MOUSEMOVE, 120, 130);
    EXPECT_EQ(seen.at(0).window, b);

    SetCapture(b);
    DestroyWindow(b);
    EXPECT_EQ(GetCapture(), nullptr) << "a destroyed window releases the capture";
    EXPECT_EQ(SetCapture(b), nullptr);
}

TEST_F(InputTest, double_clicks_need_the_class_style_one_window_and_little_time_and_travel) {
    HWND top = topLevel(0, 0, 300, 100, WS_POPUP);
    HWND withStyle = child(top, 1, 0, 0, 100, 100);
    HWND without = child(top, 2, 100, 0, 100, 100, kPlainClass);
    pump();
    HWND lastTarget = nullptr;
    auto pressTwice = [&](int x1, int x2, DWORD pauseMs) {
        click(top, WM_LBUTTONDOWN, x1, 50);
        click(top, WM_LBUTTONUP, x1, 50);
        PlatformAdvanceClock(pauseMs);
        std::vector<Seen> second = click(top, WM_LBUTTONDOWN, x2, 50);
        click(top, WM_LBUTTONUP, x2, 50);
        PlatformAdvanceClock(GetDoubleClickTime() + 1); // the next pair starts afresh
        lastTarget = second.empty() ? nullptr : second[0].window;
        return second.empty() ? WM_NULL : second[0].message;
    };
    EXPECT_EQ(pressTwice(50, 50, 0), static_cast<UINT>(WM_LBUTTONDBLCLK));
    EXPECT_EQ(lastTarget, withStyle);
    EXPECT_EQ(pressTwice(50, 50, GetDoubleClickTime()), static_cast<UINT>(WM_LBUTTONDBLCLK));
    EXPECT_EQ(pressTwice(50, 50, GetDoubleClickTime() + 1), static_cast<UINT>(WM_LBUTTONDOWN));
    const int halfBox = GetSystemMetrics(SM_CXDOUBLECLK) / 2;
    EXPECT_EQ(pressTwice(50, 50 + halfBox, 0), static_cast<UINT>(WM_LBUTTONDBLCLK));
    EXPECT_EQ(pressTwice(50, 51 + halfBox, 0), static_cast<UINT>(WM_LBUTTONDOWN));
    EXPECT_EQ(pressTwice(150, 150, 0), static_cast<UINT>(WM_LBUTTONDOWN)) << "no CS_DBLCLKS";
    EXPECT_EQ(lastTarget, without);
    EXPECT_EQ(pressTwice(99, 100, 0), static_cast<UINT>(WM_LBUTTONDOWN)) << "another window";

    // A third press right after a double click is a plain press again.
    click(top, WM_LBUTTONDOWN, 50, 50);
    EXPECT_EQ(click(top, WM_LBUTTONDOWN, 50, 50).at(0).message,
              static_cast<UINT>(WM_LBUTTONDBLCLK));
    EXPECT_EQ(click(top, WM_LBUTTONDOWN, 50, 50).at(0).message, static_cast<UINT>(WM_LBUTTONDOWN));
    EXPECT_EQ(click(top, WM_RBUTTONDOWN, 50, 50).at(0).message, static_cast<UINT>(WM_RBUTTONDOWN))
        << "another button";
}

TEST_F(InputTest, clicking_the_close_button_closes_only_when_released_on_it) {
    HWND stays = topLevel(100, 100, 200, 100);
    pump();
    // Pressed on the button, dragged off and released outside: nothing happens.
    PlatformInjectMouse(stays, WM_LBUTTONDOWN, 185, 10, MK_LBUTTON);
    PlatformInjectMouse(stays, WM_MOUSEMOVE, 100, 50, MK_LBUTTON);
    PlatformInjectMouse(stays, WM_LBUTTONUP, 100, 50, 0);
    recorder().take();
    pump();
    EXPECT_TRUE(IsWindow(stays));
    EXPECT_TRUE(only(recorder().take(), {WM_SYSCOMMAND, WM_LBUTTONUP}).empty())
        << "the button's own loop took the release";
    EXPECT_EQ(GetCapture(), nullptr);

    // Dragged off and back on, released on it: closed (this quick second press on the button
    // arrives as a double click and still counts as a press).
    PlatformInjectMouse(stays, WM_LBUTTONDOWN, 185, 10, MK_LBUTTON);
    PlatformInjectMouse(stays, WM_MOUSEMOVE, 100, 50, MK_LBUTTON);
    PlatformInjectMouse(stays, WM_MOUSEMOVE, 186, 11, MK_LBUTTON);
    PlatformInjectMouse(stays, WM_LBUTTONUP, 186, 11, 0);
    pump();
    const std::vector<Seen> seen = only(recorder().take(), {WM_SYSCOMMAND, WM_CLOSE, WM_DESTROY});
    EXPECT_EQ(messages(seen), (std::vector<UINT>{WM_SYSCOMMAND, WM_CLOSE, WM_DESTROY}));
    EXPECT_EQ(seen.at(0).wParam, SC_CLOSE);
    EXPECT_FALSE(IsWindow(stays));
}

TEST_F(InputTest, keys_go_to_the_focus_window_with_key_states_and_characters) {
    HWND top = topLevel(0, 0, 200, 200, WS_POPUP);
    HWND field = child(top, 1, 0, 0, 50, 20);
    pump();
    EXPECT_EQ(GetFocus(), top) << "activation gave the window the focus";
    recorder().take();
    EXPECT_EQ(SetFocus(field), top);
    std::vector<Seen> seen = only(recorder().take(), {WM_SETFOCUS, WM_KILLFOCUS});
    ASSERT_EQ(seen.size(), 2u);
    EXPECT_EQ(seen[0].message, static_cast<UINT>(WM_KILLFOCUS));
    EXPECT_EQ(seen[0].window, top);
    EXPECT_EQ(seen[1].window, field);
    EXPECT_EQ(seen[1].wParam, reinterpret_cast<WPARAM>(top));

    PlatformInjectKey(top, WM_KEYDOWN, VK_SHIFT, 0);
    EXPECT_LT(GetAsyncKeyState(VK_SHIFT), 0) << "at once";
    EXPECT_GE(GetKeyState(VK_SHIFT), 0) << "not before the message is taken";
    PlatformInjectKey(top, WM_KEYDOWN, 'A', 0);
    pump();
    EXPECT_LT(GetKeyState(VK_SHIFT), 0);
    seen = only(recorder().take(), {WM_KEYDOWN, WM_CHAR});
    ASSERT_EQ(seen.size(), 3u);
    EXPECT_EQ(seen[1].window, field);
    EXPECT_EQ(seen[1].message, static_cast<UINT>(WM_KEYDOWN));
    EXPECT_EQ(seen[1].lParam, 1);
    EXPECT_EQ(seen[2].message, static_cast<UINT>(WM_CHAR));
    EXPECT_EQ(seen[2].wParam, static_cast<WPARAM>('A'));
    PlatformInjectKey(top, WM_KEYUP, VK_SHIFT, 0);
    PlatformInjectKey(top, WM_KEYDOWN, 'A', 0);
    PlatformInjectKey(top, WM_KEYDOWN, VK_LEFT, 0);
    pump();
    seen = only(recorder().take(), {WM_CHAR, WM_KEYUP});
    ASSERT_EQ(seen.size(), 2u) << "no character for an arrow key";
    EXPECT_EQ(seen[0].lParam, static_cast<LPARAM>(0xc0000001u));
    EXPECT_EQ(seen[1].wParam, static_cast<WPARAM>('a'));
    EXPECT_GE(GetKeyState(VK_SHIFT), 0);

    // Disabling the focus window takes the focus away; keys then go to the top-level window.
    EnableWindow(field, FALSE);
    EXPECT_EQ(GetFocus(), nullptr);
    EXPECT_EQ(SetFocus(field), nullptr) << "a disabled window takes no focus";
    PlatformInjectKey(top, WM_KEYDOWN, VK_RETURN, 0);
    pump();
    seen = only(recorder().take(), {WM_KEYDOWN});
    EXPECT_EQ(seen.at(0).window, top);
}

TEST_F(InputTest, accelerators_turn_keys_into_commands_with_high_word_one) {
    HWND top = topLevel(0, 0, 100, 100, WS_POPUP);
    pump();
    ACCEL entries[] = {{FVIRTKEY | FCONTROL, 'S', 100}, {FVIRTKEY, VK_F1, 101}, {0, '+', 102}};
    HACCEL table = CreateAcceleratorTableA(entries, 3);
    ASSERT_NE(table, nullptr);
    auto type = [&](std::initializer_list<std::pair<UINT, WPARAM>> keys) {
        for (auto [message, key] : keys)
            PlatformInjectKey(top, message, key, 0);
        recorder().take();
        MSG message{};
        while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
            if (TranslateAcceleratorA(top, table, &message)) continue;
            TranslateMessage(&message);
            DispatchMessageA(&message);
        }
        return only(recorder().take(), {WM_COMMAND, WM_CHAR});
    };
    std::vector<Seen> seen = type({{WM_KEYDOWN, VK_CONTROL}, {WM_KEYDOWN, 'S'}});
    ASSERT_EQ(seen.size(), 1u);
    EXPECT_EQ(seen[0].message, static_cast<UINT>(WM_COMMAND));
    EXPECT_EQ(seen[0].wParam, MAKEWPARAM(100, 1));
    seen = type({{WM_KEYUP, VK_CONTROL}, {WM_KEYDOWN, 'S'}});
    ASSERT_EQ(seen.size(), 1u);
    EXPECT_EQ(seen[0].message, static_cast<UINT>(WM_CHAR)) << "without control: a plain key";
    seen = type({{WM_KEYDOWN, VK_F1}});
    EXPECT_EQ(seen.at(0).wParam, MAKEWPARAM(101, 1));
    seen = type({{WM_CHAR, '+'}});
    EXPECT_EQ(seen.at(0).wParam, MAKEWPARAM(102, 1)) << "a character entry";

    ASSERT_TRUE(DestroyAcceleratorTable(table));
    MSG key{top, WM_KEYDOWN, VK_F1, 0, 0, {}};
    SetLastError(0);
    EXPECT_EQ(TranslateAcceleratorA(top, table, &key), 0);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_ACCEL_HANDLE));
    EXPECT_FALSE(DestroyAcceleratorTable(table));
    EXPECT_EQ(CreateAcceleratorTableA(entries, 0), nullptr);
}

TEST_F(InputTest, activation_tells_both_windows_and_the_cursor_follows_the_hit_test) {
    HWND first = topLevel(0, 0, 200, 100);
    HWND second = topLevel(300, 0, 200, 100);
    pump();
    EXPECT_EQ(GetActiveWindow(), second);
    EXPECT_EQ(GetForegroundWindow(), second);
    recorder().take();
    EXPECT_EQ(SetActiveWindow(first), second);
    const std::vector<Seen> seen = only(recorder().take(), {WM_NCACTIVATE, WM_ACTIVATE});
    std::vector<std::pair<HWND, UINT>> order;
    for (const Seen& s : seen)
        order.emplace_back(s.window, s.message);
    EXPECT_EQ(order, (std::vector<std::pair<HWND, UINT>>{{second, WM_NCACTIVATE},
                                                         {second, WM_ACTIVATE},
                                                         {first, WM_NCACTIVATE},
                                                         {first, WM_ACTIVATE}}));
    EXPECT_EQ(GetFocus(), first);
    click(second, WM_LBUTTONDOWN, 50, 50);
    EXPECT_EQ(GetActiveWindow(), second) << "a press on an inactive window activates it";
    click(second, WM_LBUTTONUP, 50, 50);
    SetActiveWindow(first);

    HCURSOR cross = LoadCursorA(nullptr, IDC_CROSS);
    HCURSOR arrow = LoadCursorA(nullptr, IDC_ARROW);
    ASSERT_NE(cross, nullptr);
    EXPECT_NE(cross, arrow);
    SetClassLongPtrA(first, GCLP_HCURSOR, reinterpret_cast<LONG_PTR>(cross));
    click(first, WM_MOUSEMOVE, 50, 50);
    EXPECT_EQ(GetCursor(), cross) << "the class cursor over the client area";
    click(first, WM_MOUSEMOVE, 50, 10);
    EXPECT_EQ(GetCursor(), arrow) << "the arrow over the caption";
    SetClassLongPtrA(first, GCLP_HCURSOR, reinterpret_cast<LONG_PTR>(arrow));
    SetLastError(0);
    EXPECT_EQ(LoadCursorA(nullptr, reinterpret_cast<LPCSTR>(static_cast<uintptr_t>(1))), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_RESOURCE_NAME_NOT_FOUND));
}

} // namespace
