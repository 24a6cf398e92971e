// Windows: frames and client areas by style, coordinates, place and size changes and their
// messages, visibility, relations, text, subclassing, destroyed windows and bad handles.
#include "platform/user_test_support.h"

#include <cstring>
#include <tuple>

namespace {

using usertest::messages;
using usertest::only;
using usertest::pump;
using usertest::recorder;
using usertest::Seen;

using GeometryTest = usertest::UserTest;

TEST_F(GeometryTest, the_client_area_is_the_window_less_the_frame_its_style_gives) {
    struct Case {
        DWORD style;
        DWORD exStyle;
        int clientWidth;
        int clientHeight;
    };
    const int caption = GetSystemMetrics(SM_CYCAPTION);
    const Case cases[] = {
        {WS_POPUP, 0, 200, 100},
        {WS_POPUP | WS_BORDER, 0, 198, 98},
        {WS_POPUP | WS_DLGFRAME, 0, 194, 94},
        {WS_POPUP | WS_CAPTION, 0, 194, 94 - caption},
        {WS_POPUP | WS_CAPTION | WS_THICKFRAME, 0, 192, 92 - caption},
        {WS_OVERLAPPED, 0, 194, 94 - caption}, // overlapped windows always get a caption
        {WS_POPUP, WS_EX_CLIENTEDGE, 196, 96},
        {WS_POPUP | WS_BORDER, WS_EX_CLIENTEDGE, 194, 94},
    };
    for (const Case& c : cases) {
        HWND window = topLevel(10, 10, 200, 100, c.style, kClass, c.exStyle);
        RECT client{};
        ASSERT_TRUE(GetClientRect(window, &client));
        EXPECT_EQ(client.right, c.clientWidth) << std::hex << c.style << " " << c.exStyle;
        EXPECT_EQ(client.bottom, c.clientHeight) << std::hex << c.style << " " << c.exStyle;
        const DWORD actualStyle = static_cast<DWORD>(GetWindowLongPtrA(window, GWL_STYLE));
        RECT outer{0, 0, c.clientWidth, c.clientHeight};
        AdjustWindowRectEx(&outer, actualStyle, FALSE, c.exStyle);
        EXPECT_EQ(outer.right - outer.left, 200) << std::hex << c.style;
        EXPECT_EQ(outer.bottom - outer.top, 100) << std::hex << c.style;
        DestroyWindow(window);
    }
    EXPECT_EQ(caption, 19);
    EXPECT_EQ(GetSystemMetrics(SM_CXBORDER), 1);
    EXPECT_EQ(GetSystemMetrics(SM_CYDLGFRAME), 3);
    EXPECT_EQ(GetSystemMetrics(SM_CXFRAME), 4);
    EXPECT_EQ(GetSystemMetrics(SM_CXEDGE), 2);
    EXPECT_EQ(GetSystemMetrics(SM_CXSIZE), 18);
    EXPECT_EQ(GetSystemMetrics(SM_CXSCREEN), 1024);
    EXPECT_EQ(GetSystemMetrics(SM_CYSCREEN), 768);
    EXPECT_EQ(GetSystemMetrics(SM_CXDOUBLECLK), 4);
    EXPECT_EQ(GetSystemMetrics(-5), 0);
    EXPECT_EQ(GetSysColor(COLOR_BTNFACE), RGB(192, 192, 192));
    EXPECT_EQ(GetSysColor(COLOR_ACTIVECAPTION), RGB(0, 0, 128));
    EXPECT_EQ(GetSysColor(COLOR_CAPTIONTEXT), RGB(255, 255, 255));
    EXPECT_EQ(GetSysColor(COLOR_WINDOW), RGB(255, 255, 255));
    EXPECT_NE(GetSysColorBrush(COLOR_BTNFACE), nullptr);
    EXPECT_EQ(GetSysColorBrush(COLOR_BTNFACE), GetSysColorBrush(COLOR_BTNFACE)) << "one each";
    EXPECT_EQ(GetSysColorBrush(99), nullptr);
}

TEST_F(GeometryTest, points_map_between_the_screen_windows_and_client_areas) {
    HWND top = topLevel(100, 50, 200, 100); // caption: client origin at (103, 72)
    HWND inner = child(top, 1, 10, 20, 30, 30, kClass, WS_CHILD | WS_VISIBLE | WS_BORDER);
    RECT rect{};
    ASSERT_TRUE(GetWindowRect(inner, &rect));
    EXPECT_EQ(rect.left, 113);
    EXPECT_EQ(rect.top, 92);
    EXPECT_EQ(rect.right, 143);
    POINT p{0, 0};
    ASSERT_TRUE(ClientToScreen(inner, &p));
    EXPECT_EQ(p.x, 114) << "inside the child's border";
    EXPECT_EQ(p.y, 93);
    ASSERT_TRUE(ScreenToClient(top, &p));
    EXPECT_EQ(p.x, 11);
    EXPECT_EQ(p.y, 21);
    POINT points[2] = {{0, 0}, {5, 5}};
    EXPECT_EQ(MapWindowPoints(inner, top, points, 2), MAKELONG(11, 21));
    EXPECT_EQ(points[1].x, 16);
    POINT screen{0, 0};
    MapWindowPoints(nullptr, inner, &screen, 1);
    EXPECT_EQ(screen.x, -114);
}

TEST_F(GeometryTest, set_window_pos_reports_changing_changed_and_then_move_and_size) {
    HWND top = topLevel(0, 0, 300, 300, WS_POPUP);
    HWND inner = child(top, 1, 10, 10, 50, 50);
    pump();
    recorder().take();
    ASSERT_TRUE(MoveWindow(inner, 20, 30, 60, 70, TRUE));
    std::vector<Seen> seen = only(recorder().take(), {WM_WINDOWPOSCHANGING, WM_WINDOWPOSCHANGED,
                                                      WM_MOVE, WM_SIZE, WM_NCCALCSIZE});
    EXPECT_EQ(messages(seen), (std::vector<UINT>{WM_WINDOWPOSCHANGING, WM_NCCALCSIZE,
                                                 WM_WINDOWPOSCHANGED, WM_MOVE, WM_SIZE}));
    EXPECT_EQ(seen.at(3).lParam, MAKELPARAM(20, 30));
    EXPECT_EQ(seen.at(4).lParam, MAKELPARAM(60, 70));
    ASSERT_TRUE(SetWindowPos(inner, nullptr, 0, 0, 80, 70, SWP_NOMOVE | SWP_NOZORDER));
    EXPECT_EQ(messages(only(recorder().take(), {WM_MOVE, WM_SIZE})), (std::vector<UINT>{WM_SIZE}));
    ASSERT_TRUE(SetWindowPos(inner, nullptr, 0, 0, 80, 70, SWP_NOZORDER));
    EXPECT_EQ(messages(only(recorder().take(), {WM_MOVE, WM_SIZE})), (std::vector<UINT>{WM_MOVE}));
    RECT rect{};
    GetWindowRect(inner, &rect);
    EXPECT_EQ(rect.right - rect.left, 80);

    // The z-order among siblings.
    HWND second = child(top, 2, 0, 0, 5, 5);
    EXPECT_EQ(GetWindow(top, GW_CHILD), inner);
    SetWindowPos(inner, HWND_BOTTOM, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
    EXPECT_EQ(GetWindow(top, GW_CHILD), second);
    EXPECT_EQ(GetWindow(second, GW_HWNDNEXT), inner);
    EXPECT_EQ(GetWindow(inner, GW_HWNDPREV), second);
    EXPECT_EQ(GetWindow(inner, GW_HWNDNEXT), nullptr);
    EXPECT_EQ(GetWindow(second, GW_HWNDLAST), inner);
}

// Answers WM_WINDOWPOSCHANGED itself, so no WM_SIZE follows.
WNDPROC positionPrevious = nullptr;
LRESULT CALLBACK eatsPositionChanges(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_WINDOWPOSCHANGED) return 0;
    return CallWindowProcA(positionPrevious, window, message, wParam, lParam);
}

TEST_F(GeometryTest, subclassing_replaces_the_procedure_and_call_window_proc_reaches_the_old) {
    HWND top = topLevel(0, 0, 100, 100, WS_POPUP);
    positionPrevious = reinterpret_cast<WNDPROC>(
        SetWindowLongPtrA(top, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(eatsPositionChanges)));
    EXPECT_EQ(positionPrevious, &usertest::recordingProc);
    EXPECT_EQ(GetWindowLongPtrA(top, GWLP_WNDPROC),
              reinterpret_cast<LONG_PTR>(eatsPositionChanges));
    recorder().take();
    MoveWindow(top, 0, 0, 120, 100, TRUE);
    std::vector<Seen> seen = only(recorder().take(), {WM_WINDOWPOSCHANGING, WM_SIZE});
    EXPECT_EQ(messages(seen), (std::vector<UINT>{WM_WINDOWPOSCHANGING}))
        << "the old procedure still sees what the new one passes on";
    SetWindowLongPtrA(top, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(positionPrevious));
    MoveWindow(top, 0, 0, 140, 100, TRUE);
    EXPECT_EQ(messages(only(recorder().take(), {WM_SIZE})), (std::vector<UINT>{WM_SIZE}));
    SetLastError(0);
    EXPECT_EQ(SetWindowLongPtrA(top, GWLP_WNDPROC, 0), 0);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));

    // Styles and identifiers are window data too.
    SetWindowLongPtrA(top, GWL_EXSTYLE, WS_EX_CONTEXTHELP);
    EXPECT_EQ(GetWindowLongA(top, GWL_EXSTYLE), static_cast<LONG>(WS_EX_CONTEXTHELP));
    EXPECT_NE(GetWindowLongA(top, GWL_STYLE) & static_cast<LONG>(WS_POPUP), 0);
    EXPECT_EQ(GetClassLongPtrA(top, GCL_STYLE), static_cast<uintptr_t>(CS_DBLCLKS));
    EXPECT_EQ(GetClassLongPtrA(top, GCLP_WNDPROC),
              reinterpret_cast<uintptr_t>(&usertest::recordingProc));
}

TEST_F(GeometryTest, creation_sends_its_messages_and_tells_the_parent_unless_asked_not_to) {
    HWND top = topLevel(0, 0, 100, 100, WS_POPUP);
    recorder().take();
    HWND told = child(top, 7, 1, 2, 30, 40);
    std::vector<Seen> seen = recorder().take();
    std::vector<UINT> ofChild;
    for (const Seen& s : seen)
        if (s.window == told) ofChild.push_back(s.message);
    EXPECT_EQ(ofChild,
              (std::vector<UINT>{WM_NCCREATE, WM_NCCALCSIZE, WM_CREATE, WM_SIZE, WM_MOVE,
                                 WM_SHOWWINDOW, WM_WINDOWPOSCHANGING, WM_WINDOWPOSCHANGED}));
    const std::vector<Seen> notes = only(seen, {WM_PARENTNOTIFY});
    ASSERT_EQ(notes.size(), 1u);
    EXPECT_EQ(notes[0].window, top);
    EXPECT_EQ(notes[0].wParam, MAKEWPARAM(WM_CREATE, 7));
    EXPECT_EQ(notes[0].lParam, reinterpret_cast<LPARAM>(told));
    EXPECT_EQ(GetDlgCtrlID(told), 7);

    HWND quiet = CreateWindowExA(WS_EX_NOPARENTNOTIFY, kClass, "", WS_CHILD, 0, 0, 5, 5, top,
                                 reinterpret_cast<HMENU>(8), nullptr, nullptr);
    EXPECT_TRUE(only(recorder().take(), {WM_PARENTNOTIFY}).empty());
    DestroyWindow(quiet);
    EXPECT_TRUE(only(recorder().take(), {WM_PARENTNOTIFY}).empty());
    DestroyWindow(told);
    const std::vector<Seen> gone = only(recorder().take(), {WM_PARENTNOTIFY});
    ASSERT_EQ(gone.size(), 1u);
    EXPECT_EQ(gone[0].wParam, MAKEWPARAM(WM_DESTROY, 7));
}

TEST_F(GeometryTest, show_window_answers_the_previous_visibility_and_minimises) {
    HWND top = CreateWindowExA(0, kClass, "T", WS_POPUP, 0, 0, 100, 100, nullptr, nullptr, nullptr,
                               nullptr);
    HWND inner = child(top, 1, 0, 0, 10, 10);
    EXPECT_FALSE(IsWindowVisible(inner)) << "its parent is hidden";
    EXPECT_NE(GetWindowLongA(inner, GWL_STYLE) & static_cast<LONG>(WS_VISIBLE), 0);
    recorder().take();
    EXPECT_FALSE(ShowWindow(top, SW_SHOW));
    EXPECT_EQ(messages(only(recorder().take(), {WM_SHOWWINDOW})),
              (std::vector<UINT>{WM_SHOWWINDOW}));
    EXPECT_TRUE(IsWindowVisible(inner));
    EXPECT_TRUE(ShowWindow(top, SW_SHOW));
    EXPECT_TRUE(only(recorder().take(), {WM_SHOWWINDOW}).empty()) << "already shown";
    EXPECT_TRUE(ShowWindow(top, SW_MINIMIZE));
    EXPECT_TRUE(IsIconic(top));
    std::vector<Seen> sized = only(recorder().take(), {WM_SIZE});
    ASSERT_FALSE(sized.empty());
    EXPECT_EQ(sized.back().wParam, SIZE_MINIMIZED);
    ShowWindow(top, SW_RESTORE);
    EXPECT_FALSE(IsIconic(top));
    EXPECT_EQ(only(recorder().take(), {WM_SIZE}).at(0).wParam, SIZE_RESTORED);
    EXPECT_TRUE(ShowWindow(top, SW_HIDE));
    EXPECT_FALSE(IsWindowVisible(top));
    EXPECT_FALSE(ShowWindow(top, SW_HIDE));
    DestroyWindow(top);
}

TEST_F(GeometryTest, the_maximise_box_and_caption_drags_change_nothing) {
    HWND top =
        topLevel(100, 100, 200, 100, WS_OVERLAPPED | WS_SYSMENU | WS_MINIMIZEBOX | WS_MAXIMIZEBOX);
    pump();
    RECT before{};
    GetWindowRect(top, &before);
    PlatformSetClock(TRUE);
    for (auto [message, x, y] : {std::tuple{WM_LBUTTONDOWN, 170, 12},
                                 {WM_LBUTTONUP, 170, 12},
                                 {WM_LBUTTONDOWN, 60, 10},
                                 {WM_MOUSEMOVE, 90, 40},
                                 {WM_LBUTTONUP, 90, 40}}) {
        PlatformInjectMouse(top, message, x, y, message == WM_LBUTTONUP ? 0 : MK_LBUTTON);
        PlatformAdvanceClock(GetDoubleClickTime() + 1);
    }
    recorder().take();
    pump();
    PlatformSetClock(FALSE);
    const std::vector<Seen> commands = only(recorder().take(), {WM_SYSCOMMAND});
    ASSERT_EQ(commands.size(), 1u);
    EXPECT_EQ(commands[0].wParam, SC_MAXIMIZE);
    RECT after{};
    GetWindowRect(top, &after);
    EXPECT_EQ(after.left, before.left);
    EXPECT_EQ(after.right, before.right);
    EXPECT_EQ(after.bottom, before.bottom);
    EXPECT_FALSE(IsIconic(top));
}

TEST_F(GeometryTest, relations_identifiers_and_text) {
    HWND owner = topLevel(0, 0, 100, 100);
    HWND owned = CreateWindowExA(0, kClass, "Owned", WS_OVERLAPPED, 0, 0, 10, 10, owner, nullptr,
                                 nullptr, nullptr);
    HWND popup = CreateWindowExA(0, kClass, "Popup", WS_POPUP, 0, 0, 10, 10, owner, nullptr,
                                 nullptr, nullptr);
    HWND a = child(owner, 5, 0, 0, 10, 10);
    HWND b = child(a, 6, 0, 0, 5, 5);
    EXPECT_EQ(GetParent(a), owner);
    EXPECT_EQ(GetParent(owned), nullptr) << "an owned overlapped window has no parent";
    EXPECT_EQ(GetParent(popup), owner) << "but an owned popup answers its owner";
    EXPECT_EQ(GetWindow(owned, GW_OWNER), owner);
    EXPECT_EQ(GetAncestor(b, GA_ROOT), owner);
    EXPECT_EQ(GetAncestor(b, GA_PARENT), a);
    EXPECT_EQ(GetAncestor(owned, GA_ROOTOWNER), owner);
    EXPECT_TRUE(IsChild(owner, b));
    EXPECT_FALSE(IsChild(owner, owned));
    EXPECT_EQ(GetDlgItem(owner, 5), a);
    SetLastError(0);
    EXPECT_EQ(GetDlgItem(owner, 6), nullptr) << "only direct children";
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_CONTROL_ID_NOT_FOUND));
    EXPECT_EQ(SetWindowLongPtrA(a, GWLP_ID, 50), 5);
    EXPECT_EQ(GetDlgCtrlID(a), 50);
    int count = 0;
    EnumChildWindows(
        owner,
        [](HWND, LPARAM counter) {
            ++*reinterpret_cast<int*>(counter);
            return TRUE;
        },
        reinterpret_cast<LPARAM>(&count));
    EXPECT_EQ(count, 2) << "children and grandchildren, not owned windows";
    char name[64] = {};
    EXPECT_EQ(GetClassNameA(a, name, sizeof name), static_cast<int>(std::strlen(kClass)));
    EXPECT_STREQ(name, kClass);

    // Text.
    ASSERT_TRUE(SetWindowTextA(owner, "Orq Pressane"));
    EXPECT_EQ(GetWindowTextLengthA(owner), 12);
    char title[6] = {};
    EXPECT_EQ(GetWindowTextA(owner, title, sizeof title), 5) << "cut to the buffer";
    EXPECT_STREQ(title, "Orq P");
    EXPECT_EQ(FindWindowA(kClass, "Orq Pressane"), owner);

    // Moving a child to another parent.
    HWND other = topLevel(200, 0, 100, 100);
    EXPECT_EQ(SetParent(b, other), a);
    EXPECT_EQ(GetParent(b), other);
    EXPECT_FALSE(IsChild(a, b));
    EXPECT_EQ(SetParent(other, b), nullptr) << "a window cannot go inside its own child";
    DestroyWindow(owned);
    DestroyWindow(popup);
}

// A window object whose procedure finds it through the user data; it deletes itself on
// WM_NCDESTROY and clears the user data first.
struct Widget {
    int messagesHandled = 0;
};
int widgetsAlive = 0;
int strayMessages = 0;
constexpr UINT kPoke = WM_USER + 77;
LRESULT CALLBACK widgetProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    auto* widget = reinterpret_cast<Widget*>(GetWindowLongPtrA(window, GWLP_USERDATA));
    if (message == WM_NCCREATE) {
        auto* create = reinterpret_cast<CREATESTRUCTA*>(lParam);
        SetWindowLongPtrA(window, GWLP_USERDATA,
                          reinterpret_cast<LONG_PTR>(create->lpCreateParams));
        return TRUE;
    }
    if (widget == nullptr) {
        if (message == kPoke) ++strayMessages;
        return DefWindowProcA(window, message, wParam, lParam);
    }
    if (message == WM_NCDESTROY) {
        SetWindowLongPtrA(window, GWLP_USERDATA, 0);
        delete widget;
        --widgetsAlive;
        return 0;
    }
    if (message == kPoke) return ++widget->messagesHandled;
    return DefWindowProcA(window, message, wParam, lParam);
}

TEST_F(GeometryTest, a_procedure_reached_after_destroy_finds_no_stale_user_data) {
    WNDCLASSA widgetClass{};
    widgetClass.lpfnWndProc = widgetProc;
    widgetClass.lpszClassName = "OrqWidget";
    ASSERT_NE(RegisterClassA(&widgetClass), 0);
    strayMessages = 0;
    auto make = [] {
        ++widgetsAlive;
        return CreateWindowExA(0, "OrqWidget", "", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr,
                               nullptr, new Widget());
    };
    HWND first = make();
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(SendMessageA(first, kPoke, 0, 0), 1);
    PostMessageA(first, kPoke, 0, 0);
    ASSERT_TRUE(DestroyWindow(first));
    EXPECT_EQ(widgetsAlive, 0);
    EXPECT_EQ(pump(), 0) << "the posted message died with the window";
    SetLastError(0);
    EXPECT_EQ(SendMessageA(first, kPoke, 0, 0), 0);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_WINDOW_HANDLE));
    EXPECT_EQ(GetWindowLongPtrA(first, GWLP_USERDATA), 0);
    // A procedure called with the dead handle (a stale pointer kept by a caller) finds nothing.
    EXPECT_EQ(CallWindowProcA(widgetProc, first, kPoke, 0, 0), 0);
    EXPECT_EQ(strayMessages, 1);
    HWND second = make();
    EXPECT_NE(second, first) << "handles are not reused";
    EXPECT_EQ(SendMessageA(second, kPoke, 0, 0), 1) << "a fresh object";
    SetLastError(0);
    EXPECT_FALSE(UnregisterClassA("OrqWidget", nullptr));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_CLASS_HAS_WINDOWS));
    DestroyWindow(second);
    EXPECT_TRUE(UnregisterClassA("OrqWidget", nullptr));
}

TEST_F(GeometryTest, calls_on_a_bad_window_fail_with_invalid_window_handle) {
    HWND gone = topLevel(0, 0, 10, 10, WS_POPUP);
    DestroyWindow(gone);
    RECT rect{};
    POINT point{};
    char text[8] = "keep";
    auto expectBadHandle = [](bool failed, const char* call) {
        EXPECT_TRUE(failed) << call;
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_WINDOW_HANDLE)) << call;
        SetLastError(0);
    };
    SetLastError(0);
    expectBadHandle(!ShowWindow(gone, SW_SHOW), "ShowWindow");
    expectBadHandle(!SetWindowPos(gone, nullptr, 0, 0, 1, 1, 0), "SetWindowPos");
    expectBadHandle(!MoveWindow(gone, 0, 0, 1, 1, TRUE), "MoveWindow");
    expectBadHandle(!GetWindowRect(gone, &rect), "GetWindowRect");
    expectBadHandle(!GetClientRect(gone, &rect), "GetClientRect");
    expectBadHandle(!ClientToScreen(gone, &point), "ClientToScreen");
    expectBadHandle(!ScreenToClient(gone, &point), "ScreenToClient");
    expectBadHandle(MapWindowPoints(gone, nullptr, &point, 1) == 0, "MapWindowPoints");
    expectBadHandle(GetParent(gone) == nullptr, "GetParent");
    expectBadHandle(GetWindow(gone, GW_CHILD) == nullptr, "GetWindow");
    expectBadHandle(!SetWindowTextA(gone, "x"), "SetWindowTextA");
    expectBadHandle(GetWindowTextA(gone, text, sizeof text) == 0, "GetWindowTextA");
    EXPECT_STREQ(text, "") << "the buffer is emptied";
    expectBadHandle(!EnableWindow(gone, TRUE), "EnableWindow");
    expectBadHandle(GetDlgCtrlID(gone) == 0, "GetDlgCtrlID");
    expectBadHandle(SetFocus(gone) == nullptr, "SetFocus");
    expectBadHandle(SetCapture(gone) == nullptr, "SetCapture");
    expectBadHandle(GetClassLongPtrA(gone, GCL_STYLE) == 0, "GetClassLongPtrA");
    expectBadHandle(!PlatformInjectMouse(gone, WM_MOUSEMOVE, 0, 0, 0), "PlatformInjectMouse");
    expectBadHandle(!PlatformInjectKey(gone, WM_KEYDOWN, 'A', 0), "PlatformInjectKey");
    expectBadHandle(GetWindowThreadProcessId(gone, nullptr) == 0, "GetWindowThreadProcessId");
    EXPECT_FALSE(IsWindowVisible(gone));
    EXPECT_FALSE(IsWindowEnabled(gone));
}

} // namespace
