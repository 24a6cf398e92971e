// The live display against a real X server: run by platform/live_display_test.py, which starts
// Xvfb and sets DISPLAY (without DISPLAY every test is skipped). The tests look at what the
// server holds through a connection of their own (window attributes, titles, pixels, the
// clipboard selection, pointer grabs) and make the server send events the way a user's input
// or a window manager would (XSendEvent), so the oracle is the X server, not the driver.
#include <windows.h>

#include <gtest/gtest.h>
#include <png.h>

// After gtest: Xlib's macros (None, Bool, Status ...) would clash with its names.
#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include <poll.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace {

constexpr DWORD kWaitMs = 10000;
constexpr const char* kClassName = "LiveTestWindow";
constexpr UINT kMsgCapture = WM_USER + 40; // wParam 1: SetCapture, 0: ReleaseCapture

// What the test windows received.
struct Received {
    HWND window;
    UINT message;
    WPARAM wParam;
    LPARAM lParam;
};
std::mutex logMutex;
std::condition_variable logChanged;
std::vector<Received> received;

void note(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    std::lock_guard<std::mutex> guard(logMutex);
    received.push_back(Received{window, message, wParam, lParam});
    logChanged.notify_all();
}

void clearLog() {
    std::lock_guard<std::mutex> guard(logMutex);
    received.clear();
}

// The first message of `window` with `message` received since the log was cleared; waits for it.
bool waitFor(HWND window, UINT message, Received* found) {
    std::unique_lock<std::mutex> lock(logMutex);
    return logChanged.wait_for(lock, std::chrono::milliseconds(kWaitMs), [&] {
        for (const Received& r : received)
            if (r.window == window && r.message == message) {
                *found = r;
                return true;
            }
        return false;
    });
}

// Windows fill their client area with the colour kept in their user data.
LRESULT CALLBACK testProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_PAINT: {
        PAINTSTRUCT paint;
        HDC dc = BeginPaint(window, &paint);
        RECT client{};
        GetClientRect(window, &client);
        HBRUSH brush = CreateSolidBrush(static_cast<COLORREF>(GetWindowLongPtrA(window, GWLP_USERDATA)));
        FillRect(dc, &client, brush);
        DeleteObject(brush);
        EndPaint(window, &paint);
        return 0;
    }
    case WM_LBUTTONDOWN:
    case WM_LBUTTONUP:
    case WM_RBUTTONDOWN:
    case WM_MOUSEWHEEL:
    case WM_KEYDOWN:
    case WM_KEYUP:
    case WM_CHAR:
    case WM_ACTIVATE:
        note(window, message, wParam, lParam);
        return DefWindowProcA(window, message, wParam, lParam);
    case WM_CLOSE: // recorded, not obeyed: the test ends the window
        note(window, message, wParam, lParam);
        return 0;
    case kMsgCapture:
        if (wParam != 0)
            SetCapture(window);
        else
            ReleaseCapture();
        return 0;
    default:
        return DefWindowProcA(window, message, wParam, lParam);
    }
}

// A window on a user-interface thread of its own, running a message loop.
class UiWindow {
  public:
    UiWindow(const char* title, DWORD style, int width, int height, COLORREF colour) {
        std::mutex mutex;
        std::condition_variable made;
        bool ready = false;
        thread_ = std::thread([&, title, style, width, height, colour] {
            WNDCLASSA wc{};
            wc.lpfnWndProc = testProcedure;
            wc.lpszClassName = kClassName;
            wc.hCursor = LoadCursorA(nullptr, IDC_ARROW);
            RegisterClassA(&wc); // once per process; later calls find it registered
            HWND window = CreateWindowExA(0, kClassName, title, style, 10, 20, width, height,
                                          nullptr, nullptr, nullptr, nullptr);
            SetWindowLongPtrA(window, GWLP_USERDATA, static_cast<LONG_PTR>(colour));
            {
                // Told under the lock: the constructor's condition ends with it.
                std::lock_guard<std::mutex> guard(mutex);
                window_ = window;
                threadId_ = GetCurrentThreadId();
                ready = true;
                made.notify_all();
            }
            MSG message;
            while (GetMessageA(&message, nullptr, 0, 0) > 0) {
                TranslateMessage(&message);
                DispatchMessageA(&message);
            }
            DestroyWindow(window);
        });
        std::unique_lock<std::mutex> lock(mutex);
        made.wait(lock, [&] { return ready; });
    }
    ~UiWindow() {
        PostThreadMessageA(threadId_, WM_QUIT, 0, 0);
        thread_.join();
    }
    UiWindow(const UiWindow&) = delete;
    UiWindow& operator=(const UiWindow&) = delete;
    HWND handle() const { return window_; }
    void show() const {
        ShowWindow(window_, SW_SHOW);
        settle();
    }
    // The window's thread has handled everything and the server shows what it painted.
    void settle() const {
        ASSERT_TRUE(PlatformWaitForIdle(window_, kWaitMs));
        ASSERT_TRUE(PlatformLiveDisplaySync(window_, kWaitMs)) << "error " << GetLastError();
    }

  private:
    std::thread thread_;
    HWND window_ = nullptr;
    DWORD threadId_ = 0;
};

// The tests' own connection to the server.
class Server {
  public:
    Server() : display_(XOpenDisplay(nullptr)) {}
    ~Server() {
        if (display_ != nullptr) XCloseDisplay(display_);
    }
    Server(const Server&) = delete;
    Server& operator=(const Server&) = delete;
    ::Display* display() const { return display_; }
    Atom atom(const char* name) const { return XInternAtom(display_, name, False); }
    // Sends an event to `window` as the server would deliver it.
    void send(::Window window, XEvent event, long mask) const {
        XSendEvent(display_, window, False, mask, &event);
        XFlush(display_);
    }
    // The colour (0x00RRGGBB) of every pixel of a window.
    std::vector<uint32_t> pixels(::Window window, int width, int height) const {
        XImage* image = XGetImage(display_, window, 0, 0, static_cast<unsigned>(width),
                                  static_cast<unsigned>(height), AllPlanes, ZPixmap);
        std::vector<uint32_t> result;
        if (image == nullptr) return result;
        for (int y = 0; y < height; ++y)
            for (int x = 0; x < width; ++x)
                result.push_back(static_cast<uint32_t>(XGetPixel(image, x, y)) & 0xffffffu);
        XDestroyImage(image);
        return result;
    }
    // The next event of a type for `window`, waiting for it.
    bool nextEvent(::Window window, int type, XEvent* event) const {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(kWaitMs);
        while (std::chrono::steady_clock::now() < deadline) {
            while (XPending(display_) > 0) {
                XNextEvent(display_, event);
                if (event->type == type && event->xany.window == window) return true;
            }
            pollfd wait{ConnectionNumber(display_), POLLIN, 0};
            poll(&wait, 1, 100);
        }
        return false;
    }

  private:
    ::Display* display_;
};

XEvent buttonEvent(::Display* display, ::Window window, int type, unsigned button, int x, int y,
                   unsigned state) {
    XEvent event{};
    event.xbutton.type = type;
    event.xbutton.display = display;
    event.xbutton.window = window;
    event.xbutton.root = DefaultRootWindow(display);
    event.xbutton.x = x;
    event.xbutton.y = y;
    event.xbutton.button = button;
    event.xbutton.state = state;
    event.xbutton.same_screen = True;
    return event;
}

XEvent keyEvent(::Display* display, ::Window window, int type, KeySym keysym, unsigned state) {
    XEvent event{};
    event.xkey.type = type;
    event.xkey.display = display;
    event.xkey.window = window;
    event.xkey.root = DefaultRootWindow(display);
    event.xkey.keycode = XKeysymToKeycode(display, keysym);
    event.xkey.state = state;
    event.xkey.same_screen = True;
    return event;
}

class LiveDisplayTest : public ::testing::Test {
  protected:
    void SetUp() override {
        if (std::getenv("DISPLAY") == nullptr)
            GTEST_SKIP() << "no DISPLAY: platform/live_display_test.py runs these under Xvfb";
        ASSERT_TRUE(PlatformUseLiveDisplay(nullptr)) << PlatformLiveDisplayError();
        ASSERT_NE(server_.display(), nullptr);
        clearLog();
    }
    Server server_;
};

constexpr DWORD kFramedStyle = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU;

TEST_F(LiveDisplayTest, shown_window_is_an_x_window_with_its_size_title_and_every_pixel) {
    UiWindow window("Orq live \xe9t\xe9", kFramedStyle, 200, 120, RGB(200, 40, 30));
    EXPECT_EQ(PlatformLiveWindowId(window.handle()), 0ul) << "no X window before it is shown";
    window.show();
    const ::Window xid = PlatformLiveWindowId(window.handle());
    ASSERT_NE(xid, 0ul);

    XWindowAttributes attributes{};
    ASSERT_NE(XGetWindowAttributes(server_.display(), xid, &attributes), 0);
    EXPECT_EQ(attributes.width, 200);
    EXPECT_EQ(attributes.height, 120);
    EXPECT_EQ(attributes.map_state, IsViewable);
    char* name = nullptr;
    ASSERT_NE(XFetchName(server_.display(), xid, &name), 0);
    EXPECT_STREQ(name, "Orq live \xe9t\xe9"); // WM_NAME is Latin-1
    XFree(name);
    Atom type = 0;
    int format = 0;
    unsigned long count = 0, after = 0;
    unsigned char* utf8 = nullptr;
    ASSERT_EQ(XGetWindowProperty(server_.display(), xid, server_.atom("_NET_WM_NAME"), 0, 64,
                                 False, server_.atom("UTF8_STRING"), &type, &format, &count,
                                 &after, &utf8),
              Success);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(utf8), count), "Orq live \xc3\xa9t\xc3\xa9");
    XFree(utf8);

    // Every pixel the server shows is the window's own, frame and caption included.
    const std::vector<uint32_t> shown = server_.pixels(xid, 200, 120);
    ASSERT_EQ(shown.size(), 200u * 120u);
    int differing = 0;
    for (int y = 0; y < 120; ++y)
        for (int x = 0; x < 200; ++x) {
            const COLORREF own = PlatformWindowPixel(window.handle(), x, y);
            const uint32_t expected =
                (uint32_t{GetRValue(own)} << 16) | (uint32_t{GetGValue(own)} << 8) | GetBValue(own);
            if (shown[static_cast<size_t>(y) * 200 + x] != expected && differing++ < 5)
                ADD_FAILURE() << "pixel (" << x << ", " << y << "): server " << std::hex
                              << shown[static_cast<size_t>(y) * 200 + x] << ", window "
                              << expected;
        }
    EXPECT_EQ(differing, 0);
    EXPECT_EQ(shown[static_cast<size_t>(60) * 200 + 100], 0xc8281eu) << "the client's red";

    // A repaint reaches the server as well.
    SetWindowLongPtrA(window.handle(), GWLP_USERDATA, static_cast<LONG_PTR>(RGB(10, 220, 90)));
    InvalidateRect(window.handle(), nullptr, TRUE);
    window.settle();
    EXPECT_EQ(server_.pixels(xid, 200, 120)[static_cast<size_t>(60) * 200 + 100], 0x0adc5au);

    // Hidden, it is unmapped; a new title follows.
    SetWindowTextA(window.handle(), "Renamed");
    ShowWindow(window.handle(), SW_HIDE);
    window.settle();
    ASSERT_NE(XGetWindowAttributes(server_.display(), xid, &attributes), 0);
    EXPECT_EQ(attributes.map_state, IsUnmapped);
    ASSERT_NE(XFetchName(server_.display(), xid, &name), 0);
    EXPECT_STREQ(name, "Renamed");
    XFree(name);
}

TEST_F(LiveDisplayTest, pointer_wheel_and_keys_from_the_server_reach_the_window) {
    UiWindow window("Input", kFramedStyle, 160, 100, RGB(0, 0, 255));
    window.show();
    const ::Window xid = PlatformLiveWindowId(window.handle());
    ::Display* d = server_.display();
    RECT client{};
    GetClientRect(window.handle(), &client);
    POINT origin{0, 0};
    ClientToScreen(window.handle(), &origin);
    RECT frame{};
    GetWindowRect(window.handle(), &frame);
    const int clientLeft = origin.x - frame.left, clientTop = origin.y - frame.top;

    server_.send(xid, buttonEvent(d, xid, ButtonPress, Button1, clientLeft + 30, clientTop + 12,
                                  ShiftMask),
                 ButtonPressMask);
    Received press{};
    ASSERT_TRUE(waitFor(window.handle(), WM_LBUTTONDOWN, &press));
    EXPECT_EQ(LOWORD(press.lParam), 30);
    EXPECT_EQ(HIWORD(press.lParam), 12);
    EXPECT_EQ(press.wParam & (MK_LBUTTON | MK_SHIFT), MK_LBUTTON | MK_SHIFT);
    server_.send(xid, buttonEvent(d, xid, ButtonRelease, Button1, clientLeft + 30, clientTop + 12,
                                  Button1Mask),
                 ButtonReleaseMask);
    Received release{};
    ASSERT_TRUE(waitFor(window.handle(), WM_LBUTTONUP, &release));
    EXPECT_EQ(release.wParam & MK_LBUTTON, 0u);

    server_.send(xid, keyEvent(d, xid, KeyPress, XK_q, 0), KeyPressMask);
    Received key{};
    ASSERT_TRUE(waitFor(window.handle(), WM_KEYDOWN, &key));
    EXPECT_EQ(key.wParam, WPARAM('Q'));
    Received character{};
    ASSERT_TRUE(waitFor(window.handle(), WM_CHAR, &character));
    EXPECT_EQ(character.wParam, WPARAM('q'));
    server_.send(xid, keyEvent(d, xid, KeyRelease, XK_q, 0), KeyReleaseMask);
    Received up{};
    ASSERT_TRUE(waitFor(window.handle(), WM_KEYUP, &up));
    EXPECT_EQ(up.wParam, WPARAM('Q'));
    EXPECT_NE(static_cast<uint32_t>(up.lParam) & 0x80000000u, 0u) << "the release's transition bit";

    server_.send(xid, buttonEvent(d, xid, ButtonPress, Button5, 40, 40, ControlMask),
                 ButtonPressMask);
    Received wheel{};
    ASSERT_TRUE(waitFor(window.handle(), WM_MOUSEWHEEL, &wheel));
    EXPECT_EQ(static_cast<SHORT>(HIWORD(wheel.wParam)), -WHEEL_DELTA) << "down, towards the user";
    EXPECT_EQ(LOWORD(wheel.wParam) & MK_CONTROL, MK_CONTROL);

    server_.send(xid, keyEvent(d, xid, KeyPress, XK_F1, 0), KeyPressMask);
    Received function{};
    ASSERT_TRUE(waitFor(window.handle(), WM_KEYDOWN, &function));
    clearLog();
    server_.send(xid, keyEvent(d, xid, KeyPress, XK_F1, 0), KeyPressMask);
    ASSERT_TRUE(waitFor(window.handle(), WM_KEYDOWN, &function));
    EXPECT_EQ(function.wParam, WPARAM(VK_F1));
}

TEST_F(LiveDisplayTest, window_manager_close_request_arrives_as_wm_close) {
    UiWindow window("Close me", kFramedStyle, 120, 80, RGB(0, 0, 0));
    window.show();
    const ::Window xid = PlatformLiveWindowId(window.handle());
    Atom protocols = 0;
    Atom* list = nullptr;
    int count = 0;
    ASSERT_NE(XGetWMProtocols(server_.display(), xid, &list, &count), 0);
    for (int i = 0; i < count; ++i)
        if (list[i] == server_.atom("WM_DELETE_WINDOW")) protocols = list[i];
    XFree(list);
    ASSERT_NE(protocols, 0ul) << "the window takes part in WM_DELETE_WINDOW";

    XEvent close{};
    close.xclient.type = ClientMessage;
    close.xclient.window = xid;
    close.xclient.message_type = server_.atom("WM_PROTOCOLS");
    close.xclient.format = 32;
    close.xclient.data.l[0] = static_cast<long>(server_.atom("WM_DELETE_WINDOW"));
    close.xclient.data.l[1] = CurrentTime;
    server_.send(xid, close, NoEventMask);
    Received closing{};
    EXPECT_TRUE(waitFor(window.handle(), WM_CLOSE, &closing));
}

TEST_F(LiveDisplayTest, server_focus_makes_the_foreground_window_and_its_loss_deactivates) {
    UiWindow first("First", kFramedStyle, 120, 80, RGB(255, 255, 0));
    first.show();
    UiWindow second("Second", kFramedStyle, 120, 80, RGB(0, 255, 255));
    second.show();
    ASSERT_EQ(GetForegroundWindow(), second.handle());
    XSetInputFocus(server_.display(), PlatformLiveWindowId(first.handle()), RevertToNone,
                   CurrentTime);
    XFlush(server_.display());
    for (int i = 0; i < 1000 && GetForegroundWindow() != first.handle(); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    EXPECT_EQ(GetForegroundWindow(), first.handle());

    clearLog();
    XSetInputFocus(server_.display(), None, RevertToNone, CurrentTime);
    XFlush(server_.display());
    Received deactivated{};
    ASSERT_TRUE(waitFor(first.handle(), WM_ACTIVATE, &deactivated));
    EXPECT_EQ(LOWORD(deactivated.wParam), WA_INACTIVE);
}

TEST_F(LiveDisplayTest, mouse_capture_holds_the_server_pointer_grab) {
    UiWindow window("Capture", kFramedStyle, 120, 80, RGB(90, 90, 90));
    window.show();
    const ::Window root = DefaultRootWindow(server_.display());
    auto grabFromOutside = [&] {
        const int status = XGrabPointer(server_.display(), root, False, ButtonPressMask,
                                        GrabModeAsync, GrabModeAsync, None, None, CurrentTime);
        if (status == GrabSuccess) XUngrabPointer(server_.display(), CurrentTime);
        XSync(server_.display(), False);
        return status;
    };
    SendMessageA(window.handle(), kMsgCapture, 1, 0);
    window.settle();
    EXPECT_EQ(grabFromOutside(), AlreadyGrabbed) << "the captured window holds the pointer";
    SendMessageA(window.handle(), kMsgCapture, 0, 0);
    window.settle();
    EXPECT_EQ(grabFromOutside(), GrabSuccess) << "released with the capture";
}

// Decodes an 8-bit RGB PNG; false for anything else.
bool decodePng(const std::vector<unsigned char>& bytes, int* width, int* height,
               std::vector<uint32_t>* pixels) {
    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    if (!png_image_begin_read_from_memory(&image, bytes.data(), bytes.size())) return false;
    image.format = PNG_FORMAT_RGB;
    std::vector<unsigned char> rgb(PNG_IMAGE_SIZE(image));
    if (!png_image_finish_read(&image, nullptr, rgb.data(), 0, nullptr)) return false;
    *width = static_cast<int>(image.width);
    *height = static_cast<int>(image.height);
    pixels->clear();
    for (size_t i = 0; i + 2 < rgb.size(); i += 3)
        pixels->push_back((uint32_t{rgb[i]} << 16) | (uint32_t{rgb[i + 1]} << 8) | rgb[i + 2]);
    return true;
}

TEST_F(LiveDisplayTest, clipboard_bitmap_is_offered_to_other_programs_as_png) {
    HDC screen = GetDC(nullptr);
    HDC memory = CreateCompatibleDC(screen);
    HBITMAP bitmap = CreateCompatibleBitmap(screen, 16, 8);
    ReleaseDC(nullptr, screen);
    HGDIOBJ old = SelectObject(memory, bitmap);
    RECT all{0, 0, 16, 8};
    HBRUSH green = CreateSolidBrush(RGB(0, 160, 0));
    FillRect(memory, &all, green);
    SetPixel(memory, 15, 7, RGB(255, 0, 255));
    SelectObject(memory, old);
    DeleteObject(green);
    DeleteDC(memory);
    ASSERT_TRUE(OpenClipboard(nullptr));
    ASSERT_TRUE(EmptyClipboard());
    ASSERT_NE(SetClipboardData(CF_BITMAP, bitmap), nullptr);
    ASSERT_TRUE(CloseClipboard());

    ::Display* d = server_.display();
    const ::Window requestor =
        XCreateSimpleWindow(d, DefaultRootWindow(d), 0, 0, 1, 1, 0, 0, 0);
    const Atom clipboard = server_.atom("CLIPBOARD");
    ASSERT_NE(XGetSelectionOwner(d, clipboard), static_cast<::Window>(None));
    auto convert = [&](Atom target, std::vector<unsigned char>* data, Atom* type) {
        const Atom property = server_.atom("ORQ_TEST_SELECTION");
        XConvertSelection(d, clipboard, target, property, requestor, CurrentTime);
        XFlush(d);
        XEvent event{};
        if (!server_.nextEvent(requestor, SelectionNotify, &event)) return false;
        if (event.xselection.property == None) return false;
        int format = 0;
        unsigned long count = 0, after = 0;
        unsigned char* bytes = nullptr;
        XGetWindowProperty(d, requestor, property, 0, 1 << 20, True, AnyPropertyType, type,
                           &format, &count, &after, &bytes);
        const size_t unit = format == 32 ? sizeof(long) : static_cast<size_t>(format / 8);
        data->assign(bytes, bytes + count * unit);
        XFree(bytes);
        return true;
    };
    std::vector<unsigned char> targets;
    Atom type = 0;
    ASSERT_TRUE(convert(server_.atom("TARGETS"), &targets, &type));
    std::vector<Atom> offered(targets.size() / sizeof(Atom));
    std::memcpy(offered.data(), targets.data(), offered.size() * sizeof(Atom));
    EXPECT_NE(std::find(offered.begin(), offered.end(), server_.atom("image/png")), offered.end());

    std::vector<unsigned char> png;
    ASSERT_TRUE(convert(server_.atom("image/png"), &png, &type));
    int width = 0, height = 0;
    std::vector<uint32_t> pixels;
    ASSERT_TRUE(decodePng(png, &width, &height, &pixels)) << png.size() << " bytes";
    EXPECT_EQ(width, 16);
    EXPECT_EQ(height, 8);
    EXPECT_EQ(pixels.front(), 0x00a000u);
    EXPECT_EQ(pixels.back(), 0xff00ffu);

    // Emptied, the clipboard offers nothing any more.
    ASSERT_TRUE(OpenClipboard(nullptr));
    ASSERT_TRUE(EmptyClipboard());
    ASSERT_TRUE(CloseClipboard());
    XSync(d, False);
    EXPECT_FALSE(convert(server_.atom("image/png"), &png, &type));
    XDestroyWindow(d, requestor);
    DeleteObject(bitmap);
}

TEST_F(LiveDisplayTest, embedded_window_lives_inside_the_foreign_parent_at_its_own_size) {
    ::Display* d = server_.display();
    const ::Window parent = XCreateSimpleWindow(d, DefaultRootWindow(d), 50, 50, 400, 300, 0, 0,
                                                0x808080);
    XMapWindow(d, parent);
    XSync(d, False);
    UiWindow editor("", WS_POPUP, 150, 80, RGB(30, 60, 240));

    EXPECT_FALSE(PlatformEmbedWindow(editor.handle(), 0x7fffff0ul)) << "no such X window";
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
    EXPECT_FALSE(PlatformEmbedWindow(reinterpret_cast<HWND>(0x7777777), parent));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_WINDOW_HANDLE));

    ASSERT_TRUE(PlatformEmbedWindow(editor.handle(), parent));
    editor.show();
    const ::Window xid = PlatformLiveWindowId(editor.handle());
    ASSERT_NE(xid, 0ul);
    ::Window root = 0, foundParent = 0;
    ::Window* children = nullptr;
    unsigned count = 0;
    ASSERT_NE(XQueryTree(d, xid, &root, &foundParent, &children, &count), 0);
    if (children != nullptr) XFree(children);
    EXPECT_EQ(foundParent, parent);
    XWindowAttributes attributes{};
    ASSERT_NE(XGetWindowAttributes(d, xid, &attributes), 0);
    EXPECT_EQ(attributes.x, 0);
    EXPECT_EQ(attributes.y, 0);
    EXPECT_EQ(attributes.width, 150);
    EXPECT_EQ(attributes.height, 80);
    EXPECT_EQ(attributes.map_state, IsViewable);
    // Inside the parent the editor's pixels, beside it the parent's own.
    const std::vector<uint32_t> seen = server_.pixels(parent, 200, 100);
    EXPECT_EQ(seen[static_cast<size_t>(40) * 200 + 75], 0x1e3cf0u);
    EXPECT_EQ(seen[static_cast<size_t>(40) * 200 + 180], 0x808080u);

    // The parent going away takes the window with it; the editor lives on.
    XDestroyWindow(d, parent);
    XSync(d, False);
    for (int i = 0; i < 100 && PlatformLiveWindowId(editor.handle()) != 0; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    EXPECT_EQ(PlatformLiveWindowId(editor.handle()), 0ul);
    InvalidateRect(editor.handle(), nullptr, TRUE);
    ASSERT_TRUE(PlatformWaitForIdle(editor.handle(), kWaitMs));
}

TEST_F(LiveDisplayTest, pixels_go_through_shared_memory_exactly_when_the_server_offers_it) {
    int opcode = 0, event = 0, error = 0;
    const bool offered =
        XQueryExtension(server_.display(), "MIT-SHM", &opcode, &event, &error) != False;
    UiWindow window("Memory", kFramedStyle, 90, 60, RGB(1, 2, 3));
    window.show();
    EXPECT_EQ(PlatformLiveDisplaySharedMemory() != FALSE, offered);
    const std::vector<uint32_t> shown =
        server_.pixels(PlatformLiveWindowId(window.handle()), 90, 60);
    EXPECT_EQ(shown[static_cast<size_t>(40) * 90 + 45], 0x010203u);
}

TEST_F(LiveDisplayTest, closing_puts_back_the_headless_display_and_a_missing_server_is_named) {
    UiWindow window("Headless again", kFramedStyle, 90, 60, RGB(1, 2, 3));
    window.show();
    ASSERT_NE(PlatformLiveWindowId(window.handle()), 0ul);
    EXPECT_FALSE(PlatformUseLiveDisplay(":4711")) << "already showing on another server";
    PlatformCloseLiveDisplay();
    EXPECT_FALSE(PlatformLiveDisplayConnected());
    EXPECT_EQ(PlatformLiveWindowId(window.handle()), 0ul);

    EXPECT_FALSE(PlatformUseLiveDisplay(":4711"));
    EXPECT_NE(std::string(PlatformLiveDisplayError()).find("no X server answers at ':4711'"),
              std::string::npos)
        << PlatformLiveDisplayError();
    EXPECT_FALSE(PlatformLiveDisplayConnected());

    // The window, shown again, reaches the headless display.
    ShowWindow(window.handle(), SW_HIDE);
    ShowWindow(window.handle(), SW_SHOW);
    ASSERT_TRUE(PlatformWaitForIdle(window.handle(), kWaitMs));
    PlatformDisplayWindowState state{};
    ASSERT_TRUE(PlatformDisplayWindow(window.handle(), &state, FALSE));
    EXPECT_TRUE(state.visible);
    ASSERT_TRUE(PlatformUseLiveDisplay(nullptr)) << PlatformLiveDisplayError();
}

} // namespace
