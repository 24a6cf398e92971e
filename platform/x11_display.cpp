// The live display: every top-level window the window system shows becomes a window of an X
// server showing the window's pixels (its non-client frame included), and what the server
// reports for it comes back as the platform's input through the same injection the tests use.
//
// libX11 (and libXext for MIT-SHM) are loaded with dlopen when a live display is asked for, so
// the platform library needs neither to load, and a headless process never touches them.
//
// Threads. Every Xlib call is made under `mutex_` (Xlib's own locking is not used), from the
// thread that reports a change (the window's owner) or from the event thread. The event thread
// waits in poll() on the connection and a wake-up pipe (written after every call that may have
// read events into Xlib's queue), takes the events under the mutex, and acts on them after
// leaving it: input is injected into the window's queue, a close request posted, focus changes
// run on the window's thread. Nothing is drawn by the event thread but the pixels already held:
// each window's last presented pixels live in its XImage (in shared memory where the server
// offers MIT-SHM), so exposures are answered without asking the window to paint.
//
// Lock order: `mutex_`, then the drawing code's lock (copying pixels); the window system is
// called only without `mutex_` held, except PostMessageA (never blocks).
//
// A lost connection (the server went away) makes Xlib call the IO error handlers below instead
// of ending the process; from then on no Xlib call is made and watchers are told.
#include <windows.h>

#include "platform/surface.h"

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/cursorfont.h>
#include <X11/extensions/XShm.h>
#include <X11/keysym.h>

#include <dlfcn.h>
#include <fcntl.h>
#include <poll.h>
#include <sys/ipc.h>
#include <sys/shm.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace platform {
namespace {

// ---------------------------------------------------------------------------------------------
// Xlib, loaded on demand

struct Xlib {
    decltype(&::XOpenDisplay) openDisplay = nullptr;
    decltype(&::XCloseDisplay) closeDisplay = nullptr;
    decltype(&::XDisplayName) displayName = nullptr;
    decltype(&::XCreateWindow) createWindow = nullptr;
    decltype(&::XDestroyWindow) destroyWindow = nullptr;
    decltype(&::XMapWindow) mapWindow = nullptr;
    decltype(&::XUnmapWindow) unmapWindow = nullptr;
    decltype(&::XResizeWindow) resizeWindow = nullptr;
    decltype(&::XReparentWindow) reparentWindow = nullptr;
    decltype(&::XStoreName) storeName = nullptr;
    decltype(&::XChangeProperty) changeProperty = nullptr;
    decltype(&::XInternAtom) internAtom = nullptr;
    decltype(&::XSetWMProtocols) setWMProtocols = nullptr;
    decltype(&::XSetWMNormalHints) setWMNormalHints = nullptr;
    decltype(&::XSetClassHint) setClassHint = nullptr;
    decltype(&::XSetTransientForHint) setTransientForHint = nullptr;
    decltype(&::XFlush) flush = nullptr;
    decltype(&::XSync) sync = nullptr;
    decltype(&::XPending) pending = nullptr;
    decltype(&::XNextEvent) nextEvent = nullptr;
    decltype(&::XPeekEvent) peekEvent = nullptr;
    decltype(&::XEventsQueued) eventsQueued = nullptr;
    decltype(&::XCreateImage) createImage = nullptr;
    decltype(&::XPutImage) putImage = nullptr;
    decltype(&::XCreateGC) createGC = nullptr;
    decltype(&::XFreeGC) freeGC = nullptr;
    decltype(&::XCreateFontCursor) createFontCursor = nullptr;
    decltype(&::XDefineCursor) defineCursor = nullptr;
    decltype(&::XUndefineCursor) undefineCursor = nullptr;
    decltype(&::XFreeCursor) freeCursor = nullptr;
    decltype(&::XGrabPointer) grabPointer = nullptr;
    decltype(&::XUngrabPointer) ungrabPointer = nullptr;
    decltype(&::XSetSelectionOwner) setSelectionOwner = nullptr;
    decltype(&::XSendEvent) sendEvent = nullptr;
    decltype(&::XGetWindowAttributes) getWindowAttributes = nullptr;
    decltype(&::XLookupKeysym) lookupKeysym = nullptr;
    decltype(&::XSetErrorHandler) setErrorHandler = nullptr;
    decltype(&::XSetIOErrorHandler) setIOErrorHandler = nullptr;
    decltype(&::XSetIOErrorExitHandler) setIOErrorExitHandler = nullptr;
    decltype(&::XMaxRequestSize) maxRequestSize = nullptr;
    decltype(&::XExtendedMaxRequestSize) extendedMaxRequestSize = nullptr;
    // MIT-SHM (libXext); absent when the library is not there.
    decltype(&::XShmQueryExtension) shmQueryExtension = nullptr;
    decltype(&::XShmCreateImage) shmCreateImage = nullptr;
    decltype(&::XShmAttach) shmAttach = nullptr;
    decltype(&::XShmDetach) shmDetach = nullptr;
    decltype(&::XShmPutImage) shmPutImage = nullptr;
};

template <class F> bool bindSymbol(void* library, const char* name, F& slot) {
    slot = reinterpret_cast<F>(dlsym(library, name));
    return slot != nullptr;
}

constexpr const char* kXlibFile = "libX11.so.6";
constexpr const char* kXextFile = "libXext.so.6";

// Loads libX11 (required) and libXext (optional); the libraries stay loaded for the process.
bool loadXlib(Xlib* x, std::string* error) {
    static void* library = nullptr;
    if (library == nullptr) library = dlopen(kXlibFile, RTLD_NOW | RTLD_LOCAL);
    if (library == nullptr) {
        const char* why = dlerror();
        *error = std::string("cannot load ") + kXlibFile + " (Debian package libx11-6): " +
                 (why != nullptr ? why : "not found");
        return false;
    }
    const bool complete =
        bindSymbol(library, "XOpenDisplay", x->openDisplay) &&
        bindSymbol(library, "XCloseDisplay", x->closeDisplay) &&
        bindSymbol(library, "XDisplayName", x->displayName) &&
        bindSymbol(library, "XCreateWindow", x->createWindow) &&
        bindSymbol(library, "XDestroyWindow", x->destroyWindow) &&
        bindSymbol(library, "XMapWindow", x->mapWindow) &&
        bindSymbol(library, "XUnmapWindow", x->unmapWindow) &&
        bindSymbol(library, "XResizeWindow", x->resizeWindow) &&
        bindSymbol(library, "XReparentWindow", x->reparentWindow) &&
        bindSymbol(library, "XStoreName", x->storeName) &&
        bindSymbol(library, "XChangeProperty", x->changeProperty) &&
        bindSymbol(library, "XInternAtom", x->internAtom) &&
        bindSymbol(library, "XSetWMProtocols", x->setWMProtocols) &&
        bindSymbol(library, "XSetWMNormalHints", x->setWMNormalHints) &&
        bindSymbol(library, "XSetClassHint", x->setClassHint) &&
        bindSymbol(library, "XSetTransientForHint", x->setTransientForHint) &&
        bindSymbol(library, "XFlush", x->flush) && bindSymbol(library, "XSync", x->sync) &&
        bindSymbol(library, "XPending", x->pending) &&
        bindSymbol(library, "XNextEvent", x->nextEvent) &&
        bindSymbol(library, "XPeekEvent", x->peekEvent) &&
        bindSymbol(library, "XEventsQueued", x->eventsQueued) &&
        bindSymbol(library, "XCreateImage", x->createImage) &&
        bindSymbol(library, "XPutImage", x->putImage) &&
        bindSymbol(library, "XCreateGC", x->createGC) &&
        bindSymbol(library, "XFreeGC", x->freeGC) &&
        bindSymbol(library, "XCreateFontCursor", x->createFontCursor) &&
        bindSymbol(library, "XDefineCursor", x->defineCursor) &&
        bindSymbol(library, "XUndefineCursor", x->undefineCursor) &&
        bindSymbol(library, "XFreeCursor", x->freeCursor) &&
        bindSymbol(library, "XGrabPointer", x->grabPointer) &&
        bindSymbol(library, "XUngrabPointer", x->ungrabPointer) &&
        bindSymbol(library, "XSetSelectionOwner", x->setSelectionOwner) &&
        bindSymbol(library, "XSendEvent", x->sendEvent) &&
        bindSymbol(library, "XGetWindowAttributes", x->getWindowAttributes) &&
        bindSymbol(library, "XLookupKeysym", x->lookupKeysym) &&
        bindSymbol(library, "XSetErrorHandler", x->setErrorHandler) &&
        bindSymbol(library, "XSetIOErrorHandler", x->setIOErrorHandler) &&
        bindSymbol(library, "XMaxRequestSize", x->maxRequestSize) &&
        bindSymbol(library, "XExtendedMaxRequestSize", x->extendedMaxRequestSize);
    if (!complete) {
        *error = std::string(kXlibFile) + " lacks a function the live display calls";
        return false;
    }
    // Without it a lost server ends the process (Xlib's default); libX11 1.7 and later have it.
    if (!bindSymbol(library, "XSetIOErrorExitHandler", x->setIOErrorExitHandler)) {
        *error = std::string(kXlibFile) + " is older than 1.7 (no XSetIOErrorExitHandler)";
        return false;
    }
    static void* extension = nullptr;
    if (extension == nullptr) extension = dlopen(kXextFile, RTLD_NOW | RTLD_LOCAL);
    if (extension != nullptr &&
        !(bindSymbol(extension, "XShmQueryExtension", x->shmQueryExtension) &&
          bindSymbol(extension, "XShmCreateImage", x->shmCreateImage) &&
          bindSymbol(extension, "XShmAttach", x->shmAttach) &&
          bindSymbol(extension, "XShmDetach", x->shmDetach) &&
          bindSymbol(extension, "XShmPutImage", x->shmPutImage)))
        x->shmQueryExtension = nullptr;
    return true;
}

// ---------------------------------------------------------------------------------------------
// Xlib's error handlers are process-wide: errors of other connections go to the handlers that
// were there before.

std::atomic<::Display*> liveConnection{nullptr};
std::atomic<bool> connectionLost{false};
std::atomic<int> lastErrorCode{0};
std::atomic<int> lostWakeFd{-1};
XErrorHandler previousErrorHandler = nullptr;
XIOErrorHandler previousIOErrorHandler = nullptr;

void noteConnectionLost() {
    connectionLost.store(true);
    const int fd = lostWakeFd.load();
    if (fd >= 0) {
        const char byte = 1;
        [[maybe_unused]] const ssize_t written = write(fd, &byte, 1); // wakes the event thread
    }
}

int onXError(::Display* connection, XErrorEvent* event) {
    if (connection == liveConnection.load()) {
        lastErrorCode.store(event->error_code);
        return 0;
    }
    return previousErrorHandler != nullptr ? previousErrorHandler(connection, event) : 0;
}

int onXIOError(::Display* connection) {
    if (connection == liveConnection.load()) {
        noteConnectionLost();
        return 0;
    }
    return previousIOErrorHandler != nullptr ? previousIOErrorHandler(connection) : 0;
}

// Called by Xlib instead of exit() once the live connection has failed.
void onXIOErrorExit(::Display*, void*) {
    noteConnectionLost();
}

// ---------------------------------------------------------------------------------------------
// What maps to what

// System cursors (LoadCursorA(nullptr, IDC_...)) and the X font cursors shown for them.
struct CursorFace {
    uintptr_t systemId;
    unsigned shape;
};
constexpr std::array<CursorFace, 14> kCursorFaces = {{
    {32512, XC_left_ptr},             // IDC_ARROW
    {32513, XC_xterm},                // IDC_IBEAM
    {32514, XC_watch},                // IDC_WAIT
    {32515, XC_crosshair},            // IDC_CROSS
    {32516, XC_sb_up_arrow},          // IDC_UPARROW
    {32642, XC_bottom_right_corner},  // IDC_SIZENWSE
    {32643, XC_bottom_left_corner},   // IDC_SIZENESW
    {32644, XC_sb_h_double_arrow},    // IDC_SIZEWE
    {32645, XC_sb_v_double_arrow},    // IDC_SIZENS
    {32646, XC_fleur},                // IDC_SIZEALL
    {32648, XC_X_cursor},             // IDC_NO
    {32649, XC_hand2},                // IDC_HAND
    {32650, XC_watch},                // IDC_APPSTARTING
    {32651, XC_question_arrow},       // IDC_HELP
}};
constexpr int kNoCursor = -1;

// The X cursor shape for a cursor handle: a system cursor's own, the arrow for a cursor of a
// module's resources (their images are not sent to the server), kNoCursor for none.
int cursorShapeOf(HCURSOR cursor) {
    if (cursor == nullptr) return kNoCursor;
    const uintptr_t id = systemCursorId(cursor);
    for (const CursorFace& entry : kCursorFaces)
        if (entry.systemId == id) return static_cast<int>(entry.shape);
    return XC_left_ptr;
}

struct KeyMapping {
    KeySym keysym;
    int virtualKey;
};
// Keys with a virtual key of their own (letters, digits, function keys and the keypad's digits
// are ranges, below). The punctuation keys are those of a US keyboard.
constexpr std::array<KeyMapping, 51> kKeyMappings = {{
    {XK_BackSpace, VK_BACK},     {XK_Tab, VK_TAB},
    {XK_ISO_Left_Tab, VK_TAB},   {XK_Return, VK_RETURN},
    {XK_KP_Enter, VK_RETURN},    {XK_Escape, VK_ESCAPE},
    {XK_space, VK_SPACE},        {XK_Prior, VK_PRIOR},
    {XK_Next, VK_NEXT},          {XK_End, VK_END},
    {XK_Home, VK_HOME},          {XK_Left, VK_LEFT},
    {XK_Up, VK_UP},              {XK_Right, VK_RIGHT},
    {XK_Down, VK_DOWN},          {XK_Insert, VK_INSERT},
    {XK_Delete, VK_DELETE},      {XK_Help, VK_HELP},
    {XK_Pause, VK_PAUSE},        {XK_Caps_Lock, VK_CAPITAL},
    {XK_Shift_L, VK_SHIFT},      {XK_Shift_R, VK_SHIFT},
    {XK_Control_L, VK_CONTROL},  {XK_Control_R, VK_CONTROL},
    {XK_Alt_L, VK_MENU},         {XK_Alt_R, VK_MENU},
    {XK_KP_Multiply, VK_MULTIPLY}, {XK_KP_Add, VK_ADD},
    {XK_KP_Separator, VK_SEPARATOR}, {XK_KP_Subtract, VK_SUBTRACT},
    {XK_KP_Decimal, VK_DECIMAL}, {XK_KP_Divide, VK_DIVIDE},
    {XK_KP_Home, VK_HOME},       {XK_KP_End, VK_END},
    {XK_KP_Left, VK_LEFT},       {XK_KP_Right, VK_RIGHT},
    {XK_KP_Up, VK_UP},           {XK_KP_Down, VK_DOWN},
    {XK_KP_Prior, VK_PRIOR},     {XK_KP_Next, VK_NEXT},
    {XK_semicolon, VK_OEM_1},    {XK_equal, VK_OEM_PLUS},
    {XK_comma, VK_OEM_COMMA},    {XK_minus, VK_OEM_MINUS},
    {XK_period, VK_OEM_PERIOD},  {XK_slash, VK_OEM_2},
    {XK_grave, VK_OEM_3},        {XK_bracketleft, VK_OEM_4},
    {XK_backslash, VK_OEM_5},    {XK_bracketright, VK_OEM_6},
    {XK_apostrophe, VK_OEM_7},
}};

// The virtual key of an X key symbol (as unshifted), 0 for none.
int virtualKeyOf(KeySym keysym) {
    if (keysym >= XK_a && keysym <= XK_z) return static_cast<int>('A' + (keysym - XK_a));
    if (keysym >= XK_A && keysym <= XK_Z) return static_cast<int>('A' + (keysym - XK_A));
    if (keysym >= XK_0 && keysym <= XK_9) return static_cast<int>('0' + (keysym - XK_0));
    if (keysym >= XK_F1 && keysym <= XK_F12) return static_cast<int>(VK_F1 + (keysym - XK_F1));
    if (keysym >= XK_KP_0 && keysym <= XK_KP_9)
        return static_cast<int>(VK_NUMPAD0 + (keysym - XK_KP_0));
    for (const KeyMapping& entry : kKeyMappings)
        if (entry.keysym == keysym) return entry.virtualKey;
    return 0;
}

// The MK_* keys of an X pointer or key state.
WPARAM mouseKeysOf(unsigned state) {
    WPARAM keys = 0;
    if ((state & Button1Mask) != 0) keys |= MK_LBUTTON;
    if ((state & Button2Mask) != 0) keys |= MK_MBUTTON;
    if ((state & Button3Mask) != 0) keys |= MK_RBUTTON;
    if ((state & ShiftMask) != 0) keys |= MK_SHIFT;
    if ((state & ControlMask) != 0) keys |= MK_CONTROL;
    return keys;
}

constexpr unsigned kLeftButton = Button1;
constexpr unsigned kMiddleButton = Button2;
constexpr unsigned kRightButton = Button3;
constexpr unsigned kWheelUpButton = Button4;
constexpr unsigned kWheelDownButton = Button5;

// Windows-1252 characters 0x80 ... 0x9f (0 where none), for titles in UTF-8.
constexpr std::array<uint16_t, 32> kWindows1252High = {
    0x20ac, 0,      0x201a, 0x0192, 0x201e, 0x2026, 0x2020, 0x2021, 0x02c6, 0x2030, 0x0160,
    0x2039, 0x0152, 0,      0x017d, 0,      0,      0x2018, 0x2019, 0x201c, 0x201d, 0x2022,
    0x2013, 0x2014, 0x02dc, 0x2122, 0x0161, 0x203a, 0x0153, 0,      0x017e, 0x0178};

std::string utf8FromWindows1252(const std::string& text) {
    std::string utf8;
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        unsigned code = byte;
        if (byte >= 0x80 && byte < 0xa0) code = kWindows1252High[byte - 0x80];
        if (code == 0) continue;
        if (code < 0x80) {
            utf8 += static_cast<char>(code);
        } else if (code < 0x800) {
            utf8 += static_cast<char>(0xc0 | (code >> 6));
            utf8 += static_cast<char>(0x80 | (code & 0x3f));
        } else {
            utf8 += static_cast<char>(0xe0 | (code >> 12));
            utf8 += static_cast<char>(0x80 | ((code >> 6) & 0x3f));
            utf8 += static_cast<char>(0x80 | (code & 0x3f));
        }
    }
    return utf8;
}

constexpr long kWindowEvents = ExposureMask | StructureNotifyMask | ButtonPressMask |
                               ButtonReleaseMask | PointerMotionMask | KeyPressMask |
                               KeyReleaseMask | FocusChangeMask | EnterWindowMask |
                               LeaveWindowMask;
constexpr unsigned kGrabEvents = ButtonPressMask | ButtonReleaseMask | PointerMotionMask;
constexpr int kPixelBytes = 4;
constexpr int kImagePadBits = 32;

// Something the event thread does for an X event once it has left the mutex.
struct Action {
    enum class Kind { Mouse, Key, Close, Focus };
    Kind kind = Kind::Mouse;
    HWND window = nullptr;
    UINT message = 0;
    int x = 0;
    int y = 0;
    WPARAM wParam = 0;
    LPARAM lParam = 0;
    bool focused = false;
};

// A top-level window as the display shows it.
struct LiveWindow {
    int width = 0; // the window's size (its surface's)
    int height = 0;
    XImage* image = nullptr; // the pixels shown last, width x height at 32 bits
    XShmSegmentInfo shm{};   // shmaddr set while the image lives in shared memory
    ::Window xid = 0;
    ::Window embedParent = 0; // a foreign window holding it (PlatformEmbedWindow)
    bool visible = false;     // shown by the window system
    bool mapRequested = false;
    bool mapped = false; // the server reported it mapped
    std::string title;
};

class LiveDisplay final : public Display {
  public:
    bool connect(const char* name, std::string* error);
    void disconnect();
    bool connected() {
        std::lock_guard<std::mutex> guard(mutex_);
        return usable();
    }
    bool usesSharedMemory() {
        std::lock_guard<std::mutex> guard(mutex_);
        return usable() && shm_;
    }
    void watch(HWND window, UINT message) {
        std::lock_guard<std::mutex> guard(mutex_);
        watchWindow_ = window;
        watchMessage_ = message;
    }
    bool sync(HWND window, DWORD timeoutMs);
    unsigned long windowId(HWND window);
    bool embed(HWND window, ::Window parent, RECT rect, bool visible, bool* needsPixels);
    bool savePng(HWND window, const char* path);

    void windowCreated(HWND window, const Surface& surface) override;
    void windowChanged(HWND window, const Surface& surface, bool visible) override;
    void windowDestroyed(HWND window) override;
    void present(HWND window, const Surface& surface, const RECT& dirty) override;
    void captureChanged(HWND topLevel) override;
    void cursorChanged(HCURSOR cursor) override;
    void clipboardChanged(UINT format, HANDLE data) override;

  private:
    using Guard = std::unique_lock<std::mutex>;
    bool usable() const { return connection_ != nullptr && !connectionLost.load(); }
    void wake();
    void run(unsigned generation, int connectionFd, int wakeFd);
    void handleEvent(XEvent& event, std::vector<Action>* actions);
    void perform(const std::vector<Action>& actions);
    void answerSelection(const XSelectionRequestEvent& request);
    LiveWindow* byId(::Window xid, HWND* handle);
    bool makeImage(LiveWindow& w, int width, int height);
    void dropImage(LiveWindow& w);
    void releaseImageMemory(LiveWindow& w);
    void putImage(const LiveWindow& w, int x, int y, int width, int height);
    void createXWindow(LiveWindow& w, HWND handle, POINT position, ::Window ownerXid);
    void setTitle(const LiveWindow& w);
    void setFixedSize(const LiveWindow& w);
    void applyCursor(::Window xid);
    void forgetConnection();

    std::mutex mutex_;
    std::condition_variable mappedChanged_;
    Xlib x_;
    ::Display* connection_ = nullptr;
    std::string connectedName_;
    unsigned generation_ = 0;
    int wakeWrite_ = -1;
    bool shm_ = false;
    Visual* visual_ = nullptr;
    int depth_ = 0;
    ::Window root_ = 0;
    GC gc_ = nullptr;
    Atom wmProtocols_ = 0;
    Atom wmDeleteWindow_ = 0;
    Atom netWmName_ = 0;
    Atom utf8String_ = 0;
    Atom clipboard_ = 0;
    Atom targets_ = 0;
    Atom imagePng_ = 0;
    ::Window selectionOwner_ = 0;
    bool ownsClipboard_ = false;
    std::vector<uint8_t> clipboardPng_;
    std::map<HWND, LiveWindow> windows_;
    std::map<::Window, HWND> handles_;
    ::Window pointerWindow_ = 0;
    int cursorShape_ = XC_left_ptr;
    std::map<int, Cursor> cursors_;
    ::Window grabbed_ = 0;
    unsigned repeatKeycode_ = 0; // a key held down: its next press repeats
    HWND watchWindow_ = nullptr;
    UINT watchMessage_ = 0;
    bool lossReported_ = false;
};

LiveDisplay& live() {
    static LiveDisplay* instance = new LiveDisplay(); // outlives every window and thread
    return *instance;
}

std::mutex errorMutex;
std::string lastError;

void setLastLiveError(const std::string& error) {
    std::lock_guard<std::mutex> guard(errorMutex);
    lastError = error;
}

// ---------------------------------------------------------------------------------------------
// Connecting

bool LiveDisplay::connect(const char* name, std::string* error) {
    Guard guard(mutex_);
    if (usable()) {
        if (x_.displayName(name) == connectedName_) return true;
        *error = "already showing windows on '" + connectedName_ + "'";
        return false;
    }
    if (connection_ != nullptr) forgetConnection(); // the server went away: start afresh
    if (!loadXlib(&x_, error)) return false;
    const std::string shownName = x_.displayName(name);
    ::Display* connection = x_.openDisplay(name);
    if (connection == nullptr) {
        *error = "no X server answers at '" + shownName + "'" +
                 (shownName.empty() ? " (DISPLAY is not set)" : "");
        return false;
    }
    const int screen = DefaultScreen(connection);
    Visual* visual = DefaultVisual(connection, screen);
    const int depth = DefaultDepth(connection, screen);
    // Pixels go out as they are kept (0x00RRGGBB in a 32-bit word, least significant byte first).
    const uint32_t one = 1;
    const bool littleEndian = *reinterpret_cast<const unsigned char*>(&one) == 1;
    bool fits = visual->c_class == TrueColor && visual->red_mask == 0xff0000 &&
                visual->green_mask == 0xff00 && visual->blue_mask == 0xff &&
                (depth == 24 || depth == 32) && ImageByteOrder(connection) == LSBFirst &&
                littleEndian;
    if (fits) {
        char probePixel[kPixelBytes] = {};
        XImage* probe = x_.createImage(connection, visual, static_cast<unsigned>(depth), ZPixmap,
                                       0, probePixel, 1, 1, kImagePadBits, 0);
        fits = probe != nullptr && probe->bits_per_pixel == 32;
        if (probe != nullptr) {
            probe->data = nullptr; // the probe's pixel is on the stack
            XDestroyImage(probe);
        }
    }
    if (!fits) {
        x_.closeDisplay(connection);
        *error = "the X server at '" + shownName + "' has no 24-bit true-colour screen with "
                 "32-bit pixels (depth " + std::to_string(depth) + ")";
        return false;
    }
    int pipeFds[2] = {-1, -1};
    if (pipe2(pipeFds, O_CLOEXEC | O_NONBLOCK) != 0) {
        x_.closeDisplay(connection);
        *error = std::string("cannot make the live display's wake-up pipe: ") +
                 std::strerror(errno);
        return false;
    }

    connectionLost.store(false);
    lastErrorCode.store(0);
    liveConnection.store(connection);
    lostWakeFd.store(pipeFds[1]);
    static bool handlersSet = false;
    if (!handlersSet) {
        previousErrorHandler = x_.setErrorHandler(onXError);
        previousIOErrorHandler = x_.setIOErrorHandler(onXIOError);
        handlersSet = true;
    }
    x_.setIOErrorExitHandler(connection, onXIOErrorExit, nullptr);

    connection_ = connection;
    connectedName_ = shownName;
    visual_ = visual;
    depth_ = depth;
    root_ = RootWindow(connection, screen);
    gc_ = x_.createGC(connection, root_, 0, nullptr);
    wmProtocols_ = x_.internAtom(connection, "WM_PROTOCOLS", False);
    wmDeleteWindow_ = x_.internAtom(connection, "WM_DELETE_WINDOW", False);
    netWmName_ = x_.internAtom(connection, "_NET_WM_NAME", False);
    utf8String_ = x_.internAtom(connection, "UTF8_STRING", False);
    clipboard_ = x_.internAtom(connection, "CLIPBOARD", False);
    targets_ = x_.internAtom(connection, "TARGETS", False);
    imagePng_ = x_.internAtom(connection, "image/png", False);
    XSetWindowAttributes attributes{};
    selectionOwner_ = x_.createWindow(connection, root_, -1, -1, 1, 1, 0, 0, InputOnly,
                                      CopyFromParent, 0, &attributes);
    shm_ = x_.shmQueryExtension != nullptr && x_.shmQueryExtension(connection) != False;
    x_.flush(connection);
    wakeWrite_ = pipeFds[1];
    lossReported_ = false;
    cursorShape_ = XC_left_ptr;
    const unsigned generation = ++generation_;
    const int connectionFd = ConnectionNumber(connection);
    std::thread([this, generation, connectionFd, readFd = pipeFds[0]] {
        run(generation, connectionFd, readFd);
    }).detach();
    return true;
}

// Frees an image without telling the server (which is gone or will be).
void LiveDisplay::releaseImageMemory(LiveWindow& w) {
    if (w.image == nullptr) return;
    if (w.shm.shmaddr != nullptr) {
        shmdt(w.shm.shmaddr);
        w.image->data = nullptr;
    }
    XDestroyImage(w.image); // memory of this process only
    w.image = nullptr;
    w.shm = XShmSegmentInfo{};
}

// Leaves a lost or closed connection behind: its windows are gone with it. Call with the mutex.
void LiveDisplay::forgetConnection() {
    for (auto& [handle, w] : windows_)
        releaseImageMemory(w);
    windows_.clear();
    handles_.clear();
    cursors_.clear();
    clipboardPng_.clear();
    ownsClipboard_ = false;
    grabbed_ = 0;
    pointerWindow_ = 0;
    liveConnection.store(nullptr);
    lostWakeFd.store(-1);
    if (wakeWrite_ >= 0) close(wakeWrite_);
    wakeWrite_ = -1;
    connection_ = nullptr; // a lost connection is left as Xlib left it
    ++generation_;         // the event thread ends
    mappedChanged_.notify_all();
}

void LiveDisplay::disconnect() {
    installDisplay(nullptr);
    Guard guard(mutex_);
    if (connection_ == nullptr) return;
    ::Display* connection = connection_;
    const bool lost = connectionLost.load();
    if (!lost) {
        for (auto& [handle, w] : windows_) {
            if (w.shm.shmaddr != nullptr) x_.shmDetach(connection, &w.shm);
            if (w.xid != 0) x_.destroyWindow(connection, w.xid);
        }
        for (auto& [shape, cursor] : cursors_)
            x_.freeCursor(connection, cursor);
        x_.freeGC(connection, gc_);
        x_.sync(connection, False);
    }
    forgetConnection();
    if (!lost) x_.closeDisplay(connection);
}

void LiveDisplay::wake() {
    if (wakeWrite_ < 0) return;
    const char byte = 1;
    [[maybe_unused]] const ssize_t written = write(wakeWrite_, &byte, 1); // full pipe: awake already
}

// ---------------------------------------------------------------------------------------------
// Windows

bool LiveDisplay::makeImage(LiveWindow& w, int width, int height) {
    if (w.image != nullptr && w.width == width && w.height == height) return false;
    dropImage(w);
    w.width = width;
    w.height = height;
    if (width <= 0 || height <= 0) return true;
    const auto depth = static_cast<unsigned>(depth_);
    if (shm_) {
        w.image = x_.shmCreateImage(connection_, visual_, depth, ZPixmap, nullptr, &w.shm,
                                    static_cast<unsigned>(width), static_cast<unsigned>(height));
        const size_t bytes =
            w.image != nullptr ? static_cast<size_t>(w.image->bytes_per_line) * height : 0;
        w.shm.shmid = bytes > 0 ? shmget(IPC_PRIVATE, bytes, IPC_CREAT | 0600) : -1;
        void* address = w.shm.shmid >= 0 ? shmat(w.shm.shmid, nullptr, 0) : nullptr;
        if (address != nullptr && address != reinterpret_cast<void*>(-1)) {
            w.shm.shmaddr = static_cast<char*>(address);
            w.image->data = w.shm.shmaddr;
            w.shm.readOnly = False;
            lastErrorCode.store(0);
            x_.shmAttach(connection_, &w.shm);
            x_.sync(connection_, False);
            wake();
        }
        if (w.shm.shmid >= 0) shmctl(w.shm.shmid, IPC_RMID, nullptr); // freed with its last user
        if (w.shm.shmaddr != nullptr && lastErrorCode.load() == 0) {
            std::memset(w.image->data, 0, static_cast<size_t>(w.image->bytes_per_line) * height);
            return true;
        }
        // The server cannot reach this process's memory (a remote display): plain images.
        if (w.shm.shmaddr != nullptr) shmdt(w.shm.shmaddr);
        if (w.image != nullptr) {
            w.image->data = nullptr;
            XDestroyImage(w.image);
        }
        w.image = nullptr;
        w.shm = XShmSegmentInfo{};
        shm_ = false;
    }
    const size_t bytes = static_cast<size_t>(width) * height * kPixelBytes;
    char* data = static_cast<char*>(std::calloc(bytes, 1)); // the image frees it
    if (data == nullptr) return true;
    w.image = x_.createImage(connection_, visual_, depth, ZPixmap, 0, data,
                             static_cast<unsigned>(width), static_cast<unsigned>(height),
                             kImagePadBits, width * kPixelBytes);
    if (w.image == nullptr) std::free(data);
    return true;
}

void LiveDisplay::dropImage(LiveWindow& w) {
    if (w.image == nullptr) return;
    if (w.shm.shmaddr != nullptr) {
        x_.shmDetach(connection_, &w.shm);
        x_.sync(connection_, False); // the server lets go before the memory does
        wake();
        shmdt(w.shm.shmaddr);
        w.image->data = nullptr;
    }
    XDestroyImage(w.image);
    w.image = nullptr;
    w.shm = XShmSegmentInfo{};
}

void LiveDisplay::putImage(const LiveWindow& w, int x, int y, int width, int height) {
    if (w.image == nullptr || w.xid == 0) return;
    const int left = std::max(0, x), top = std::max(0, y);
    const int right = std::min(w.width, x + width), bottom = std::min(w.height, y + height);
    if (right <= left || bottom <= top) return;
    const auto putWidth = static_cast<unsigned>(right - left);
    const auto putHeight = static_cast<unsigned>(bottom - top);
    if (w.shm.shmaddr != nullptr)
        x_.shmPutImage(connection_, w.xid, gc_, w.image, left, top, left, top, putWidth,
                       putHeight, False);
    else
        x_.putImage(connection_, w.xid, gc_, w.image, left, top, left, top, putWidth, putHeight);
}

void LiveDisplay::setTitle(const LiveWindow& w) {
    if (w.xid == 0 || w.embedParent != 0) return;
    x_.storeName(connection_, w.xid, w.title.c_str());
    const std::string utf8 = utf8FromWindows1252(w.title);
    x_.changeProperty(connection_, w.xid, netWmName_, utf8String_, 8, PropModeReplace,
                      reinterpret_cast<const unsigned char*>(utf8.data()),
                      static_cast<int>(utf8.size()));
}

// Editors have a fixed size: the window manager is asked not to change it.
void LiveDisplay::setFixedSize(const LiveWindow& w) {
    if (w.xid == 0 || w.embedParent != 0) return;
    XSizeHints hints{};
    hints.flags = PMinSize | PMaxSize;
    hints.min_width = hints.max_width = std::max(1, w.width);
    hints.min_height = hints.max_height = std::max(1, w.height);
    x_.setWMNormalHints(connection_, w.xid, &hints);
}

void LiveDisplay::createXWindow(LiveWindow& w, HWND handle, POINT position, ::Window ownerXid) {
    XSetWindowAttributes attributes{};
    attributes.background_pixmap = None; // what the window shows comes from its image only
    attributes.bit_gravity = NorthWestGravity;
    attributes.event_mask = kWindowEvents;
    const ::Window parent = w.embedParent != 0 ? w.embedParent : root_;
    const POINT at = w.embedParent != 0 ? POINT{0, 0} : position;
    w.xid = x_.createWindow(connection_, parent, at.x, at.y,
                            static_cast<unsigned>(std::max(1, w.width)),
                            static_cast<unsigned>(std::max(1, w.height)), 0, CopyFromParent,
                            InputOutput, CopyFromParent,
                            CWBackPixmap | CWBitGravity | CWEventMask, &attributes);
    handles_[w.xid] = handle;
    w.mapRequested = false;
    w.mapped = false;
    if (w.embedParent != 0) return;
    Atom protocols[] = {wmDeleteWindow_};
    x_.setWMProtocols(connection_, w.xid, protocols, 1);
    char resourceName[] = "orq";
    char resourceClass[] = "Orq";
    XClassHint classHint{resourceName, resourceClass};
    x_.setClassHint(connection_, w.xid, &classHint);
    XSizeHints hints{};
    hints.flags = PPosition | PMinSize | PMaxSize;
    hints.x = at.x;
    hints.y = at.y;
    hints.min_width = hints.max_width = std::max(1, w.width);
    hints.min_height = hints.max_height = std::max(1, w.height);
    x_.setWMNormalHints(connection_, w.xid, &hints);
    if (ownerXid != 0) x_.setTransientForHint(connection_, w.xid, ownerXid);
    setTitle(w);
}

LiveWindow* LiveDisplay::byId(::Window xid, HWND* handle) {
    auto found = handles_.find(xid);
    if (found == handles_.end()) return nullptr;
    auto window = windows_.find(found->second);
    if (window == windows_.end()) return nullptr;
    *handle = found->second;
    return &window->second;
}

void LiveDisplay::windowCreated(HWND window, const Surface& surface) {
    Guard guard(mutex_);
    if (!usable()) return;
    LiveWindow& w = windows_[window];
    w.width = surface.width;
    w.height = surface.height;
}

void LiveDisplay::windowChanged(HWND window, const Surface& surface, bool visible) {
    const std::string title = windowTitle(window);
    RECT rect{};
    GetWindowRect(window, &rect);
    const HWND owner = GetWindow(window, GW_OWNER);
    Guard guard(mutex_);
    if (!usable()) return;
    LiveWindow& w = windows_[window];
    const bool resized = makeImage(w, surface.width, surface.height);
    if (w.image != nullptr)
        copySurfaceColours(surface, RECT{0, 0, surface.width, surface.height},
                           reinterpret_cast<uint32_t*>(w.image->data),
                           static_cast<size_t>(w.image->bytes_per_line / kPixelBytes));
    w.visible = visible;
    const bool retitled = title != w.title;
    w.title = title;
    if (visible && w.xid == 0) {
        ::Window ownerXid = 0;
        if (auto found = windows_.find(owner); found != windows_.end() && found->second.mapped)
            ownerXid = found->second.xid;
        createXWindow(w, window, POINT{rect.left, rect.top}, ownerXid);
    } else if (w.xid != 0) {
        if (resized) {
            x_.resizeWindow(connection_, w.xid, static_cast<unsigned>(std::max(1, w.width)),
                            static_cast<unsigned>(std::max(1, w.height)));
            setFixedSize(w);
        }
        if (retitled) setTitle(w);
    }
    if (w.xid != 0 && visible && !w.mapRequested) {
        x_.mapWindow(connection_, w.xid);
        w.mapRequested = true;
    } else if (w.xid != 0 && !visible && w.mapRequested) {
        if (grabbed_ == w.xid) {
            x_.ungrabPointer(connection_, CurrentTime);
            grabbed_ = 0;
        }
        x_.unmapWindow(connection_, w.xid);
        w.mapRequested = false;
        w.mapped = false;
    } else if (w.mapped) {
        putImage(w, 0, 0, w.width, w.height);
    }
    x_.flush(connection_);
    wake();
}

void LiveDisplay::windowDestroyed(HWND window) {
    Guard guard(mutex_);
    auto found = windows_.find(window);
    if (found == windows_.end()) return;
    if (usable()) {
        LiveWindow& w = found->second;
        dropImage(w);
        if (w.xid != 0) {
            if (grabbed_ == w.xid) {
                x_.ungrabPointer(connection_, CurrentTime);
                grabbed_ = 0;
            }
            if (pointerWindow_ == w.xid) pointerWindow_ = 0;
            handles_.erase(w.xid);
            x_.destroyWindow(connection_, w.xid);
        }
        x_.flush(connection_);
        wake();
    } else {
        releaseImageMemory(found->second);
    }
    windows_.erase(found);
    mappedChanged_.notify_all();
}

void LiveDisplay::present(HWND window, const Surface& surface, const RECT& dirty) {
    Guard guard(mutex_);
    if (!usable()) return;
    auto found = windows_.find(window);
    if (found == windows_.end()) return; // shown before the live display came: not shown here
    LiveWindow& w = found->second;
    if (makeImage(w, surface.width, surface.height) && w.image != nullptr) {
        copySurfaceColours(surface, RECT{0, 0, surface.width, surface.height},
                           reinterpret_cast<uint32_t*>(w.image->data),
                           static_cast<size_t>(w.image->bytes_per_line / kPixelBytes));
    } else if (w.image != nullptr) {
        copySurfaceColours(surface, dirty, reinterpret_cast<uint32_t*>(w.image->data),
                           static_cast<size_t>(w.image->bytes_per_line / kPixelBytes));
    }
    if (!w.mapped) return; // the whole image goes out when the server maps the window
    putImage(w, dirty.left, dirty.top, dirty.right - dirty.left, dirty.bottom - dirty.top);
    x_.flush(connection_);
    wake();
}

void LiveDisplay::captureChanged(HWND topLevel) {
    Guard guard(mutex_);
    if (!usable()) return;
    auto found = topLevel != nullptr ? windows_.find(topLevel) : windows_.end();
    const ::Window target =
        found != windows_.end() && found->second.mapped ? found->second.xid : ::Window{0};
    if (target == grabbed_) return;
    if (target != 0) {
        // Pointer events go to the captured window wherever the pointer is, in its coordinates.
        const int status = x_.grabPointer(connection_, target, False, kGrabEvents, GrabModeAsync,
                                          GrabModeAsync, None, None, CurrentTime);
        grabbed_ = status == GrabSuccess ? target : 0;
    } else {
        x_.ungrabPointer(connection_, CurrentTime);
        grabbed_ = 0;
    }
    x_.flush(connection_);
    wake();
}

void LiveDisplay::applyCursor(::Window xid) {
    if (xid == 0) return;
    if (cursorShape_ == kNoCursor) {
        x_.undefineCursor(connection_, xid);
        return;
    }
    Cursor& cursor = cursors_[cursorShape_];
    if (cursor == 0) cursor = x_.createFontCursor(connection_, static_cast<unsigned>(cursorShape_));
    x_.defineCursor(connection_, xid, cursor);
}

void LiveDisplay::cursorChanged(HCURSOR cursor) {
    const int shape = cursorShapeOf(cursor);
    Guard guard(mutex_);
    if (!usable() || shape == cursorShape_) return;
    cursorShape_ = shape;
    applyCursor(pointerWindow_);
    x_.flush(connection_);
    wake();
}

void LiveDisplay::clipboardChanged(UINT format, HANDLE data) {
    std::vector<uint8_t> png;
    const bool image = format == CF_BITMAP && bitmapPng(static_cast<HBITMAP>(data), &png);
    Guard guard(mutex_);
    if (!usable()) return;
    if (format == 0) {
        clipboardPng_.clear();
        if (ownsClipboard_) x_.setSelectionOwner(connection_, clipboard_, None, CurrentTime);
        ownsClipboard_ = false;
    } else if (image) {
        clipboardPng_ = std::move(png);
        x_.setSelectionOwner(connection_, clipboard_, selectionOwner_, CurrentTime);
        ownsClipboard_ = true;
    } else {
        return; // other formats stay inside the process
    }
    // A round trip, not a flush: a program that asks for the owner right after (on its own
    // connection) must find the new one, whatever order the server reads its clients in.
    x_.sync(connection_, False);
    wake();
}

// ---------------------------------------------------------------------------------------------
// Tests' and hosts' calls

bool LiveDisplay::sync(HWND window, DWORD timeoutMs) {
    Guard guard(mutex_);
    if (!usable()) {
        SetLastError(ERROR_NOT_READY);
        return false;
    }
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    auto waiting = [&] {
        auto found = windows_.find(window);
        return usable() && found != windows_.end() && found->second.visible &&
               found->second.xid != 0 && !found->second.mapped;
    };
    if (windows_.find(window) == windows_.end()) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return false;
    }
    while (waiting()) {
        if (mappedChanged_.wait_until(guard, deadline) == std::cv_status::timeout && waiting()) {
            SetLastError(ERROR_TIMEOUT);
            return false;
        }
    }
    if (!usable()) {
        SetLastError(ERROR_NOT_READY);
        return false;
    }
    x_.sync(connection_, False);
    wake();
    return !connectionLost.load();
}

unsigned long LiveDisplay::windowId(HWND window) {
    Guard guard(mutex_);
    auto found = windows_.find(window);
    return usable() && found != windows_.end() ? found->second.xid : 0;
}

bool LiveDisplay::embed(HWND window, ::Window parent, RECT rect, bool visible,
                        bool* needsPixels) {
    Guard guard(mutex_);
    if (!usable()) {
        SetLastError(ERROR_NOT_READY);
        return false;
    }
    XWindowAttributes attributes{};
    lastErrorCode.store(0);
    if (parent == 0 || x_.getWindowAttributes(connection_, parent, &attributes) == 0 ||
        lastErrorCode.load() != 0) {
        wake();
        SetLastError(ERROR_INVALID_PARAMETER);
        return false;
    }
    LiveWindow& w = windows_[window];
    *needsPixels = w.image == nullptr; // a window shown before the live display came
    if (w.image == nullptr) {
        makeImage(w, rect.right - rect.left, rect.bottom - rect.top);
        w.visible = visible;
    }
    w.embedParent = parent;
    if (w.xid != 0) {
        x_.reparentWindow(connection_, w.xid, parent, 0, 0);
        // A window taken from the window manager's care is mapped again inside its new parent.
        if (w.mapRequested) x_.mapWindow(connection_, w.xid);
    } else if (w.visible) {
        createXWindow(w, window, POINT{0, 0}, 0);
        x_.mapWindow(connection_, w.xid);
        w.mapRequested = true;
    }
    x_.flush(connection_);
    wake();
    return true;
}

bool LiveDisplay::savePng(HWND window, const char* path) {
    Surface picture;
    {
        Guard guard(mutex_);
        auto found = windows_.find(window);
        if (found == windows_.end() || found->second.image == nullptr) {
            SetLastError(ERROR_INVALID_WINDOW_HANDLE);
            return false;
        }
        const LiveWindow& w = found->second;
        picture.width = w.width;
        picture.height = w.height;
        picture.pixels.resize(static_cast<size_t>(w.width) * w.height);
        const size_t stride = static_cast<size_t>(w.image->bytes_per_line / kPixelBytes);
        const auto* pixels = reinterpret_cast<const uint32_t*>(w.image->data);
        for (int y = 0; y < w.height; ++y)
            for (int x = 0; x < w.width; ++x)
                picture.pixels[static_cast<size_t>(y) * w.width + x] =
                    pixels[y * stride + x] & 0xffffffu;
    }
    std::vector<uint8_t> png;
    FILE* file = path != nullptr && surfacePng(picture, &png) ? std::fopen(path, "wb") : nullptr;
    if (file == nullptr) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return false;
    }
    const bool written = std::fwrite(png.data(), 1, png.size(), file) == png.size();
    if (std::fclose(file) != 0 || !written) {
        std::remove(path);
        SetLastError(ERROR_WRITE_FAULT);
        return false;
    }
    return true;
}

// ---------------------------------------------------------------------------------------------
// The event thread

void LiveDisplay::run(unsigned generation, int connectionFd, int wakeFd) {
    for (;;) {
        pollfd waits[2] = {{connectionFd, POLLIN, 0}, {wakeFd, POLLIN, 0}};
        if (poll(waits, 2, -1) < 0 && errno != EINTR) break;
        char drained[64];
        while (read(wakeFd, drained, sizeof drained) > 0) {
        }
        std::vector<Action> actions;
        HWND watcher = nullptr;
        UINT watchMessage = 0;
        bool lost = false;
        {
            Guard guard(mutex_);
            if (generation != generation_) break;
            while (usable() && x_.pending(connection_) > 0) {
                XEvent event{};
                x_.nextEvent(connection_, &event);
                handleEvent(event, &actions);
            }
            if (connectionLost.load() && !lossReported_) {
                lossReported_ = true;
                lost = true;
                watcher = watchWindow_;
                watchMessage = watchMessage_;
                for (auto& [handle, w] : windows_)
                    w.mapped = false;
                mappedChanged_.notify_all();
            }
        }
        perform(actions);
        if (lost) {
            if (watcher != nullptr) PostMessageA(watcher, watchMessage, 0, 0);
            break;
        }
    }
    close(wakeFd);
}

void LiveDisplay::handleEvent(XEvent& event, std::vector<Action>* actions) {
    HWND handle = nullptr;
    switch (event.type) {
    case SelectionRequest:
        answerSelection(event.xselectionrequest);
        return;
    case SelectionClear:
        if (event.xselectionclear.selection == clipboard_) ownsClipboard_ = false;
        return;
    default:
        break;
    }
    LiveWindow* w = byId(event.xany.window, &handle);
    if (w == nullptr) return;
    switch (event.type) {
    case Expose:
        putImage(*w, event.xexpose.x, event.xexpose.y, event.xexpose.width, event.xexpose.height);
        x_.flush(connection_);
        return;
    case MapNotify:
        w->mapped = true;
        putImage(*w, 0, 0, w->width, w->height);
        x_.flush(connection_);
        mappedChanged_.notify_all();
        return;
    case UnmapNotify:
        w->mapped = false;
        return;
    case DestroyNotify: // a foreign parent went and took the window with it
        if (event.xdestroywindow.window != w->xid) return;
        handles_.erase(w->xid);
        if (pointerWindow_ == w->xid) pointerWindow_ = 0;
        if (grabbed_ == w->xid) grabbed_ = 0;
        w->xid = 0;
        w->mapped = false;
        w->mapRequested = false;
        mappedChanged_.notify_all();
        return;
    case ClientMessage:
        if (event.xclient.message_type == wmProtocols_ &&
            static_cast<Atom>(event.xclient.data.l[0]) == wmDeleteWindow_ && w->visible)
            actions->push_back(Action{Action::Kind::Close, handle, WM_SYSCOMMAND, 0, 0,
                                      static_cast<WPARAM>(SC_CLOSE), 0, false});
        return;
    case FocusIn:
    case FocusOut: {
        // The pointer's own focus (with no window manager) and moves inside the window are no
        // change of the active window.
        const int detail = event.xfocus.detail;
        const int mode = event.xfocus.mode;
        if ((mode != NotifyNormal && mode != NotifyWhileGrabbed) || detail == NotifyPointer ||
            detail == NotifyInferior || detail == NotifyPointerRoot || detail == NotifyDetailNone ||
            !w->visible)
            return;
        Action focus;
        focus.kind = Action::Kind::Focus;
        focus.window = handle;
        focus.focused = event.type == FocusIn;
        actions->push_back(focus);
        return;
    }
    default:
        break;
    }
    if (!w->visible) return;
    switch (event.type) {
    case EnterNotify:
        pointerWindow_ = w->xid;
        applyCursor(w->xid);
        x_.flush(connection_);
        actions->push_back(Action{Action::Kind::Mouse, handle, WM_MOUSEMOVE, event.xcrossing.x,
                                  event.xcrossing.y, mouseKeysOf(event.xcrossing.state), 0,
                                  false});
        return;
    case LeaveNotify:
        if (pointerWindow_ == w->xid) pointerWindow_ = 0;
        return;
    case MotionNotify: {
        // Only the latest of the moves already queued for the window counts.
        XEvent next{};
        while (x_.eventsQueued(connection_, QueuedAlready) > 0) {
            x_.peekEvent(connection_, &next);
            if (next.type != MotionNotify || next.xmotion.window != event.xmotion.window) break;
            x_.nextEvent(connection_, &event);
        }
        actions->push_back(Action{Action::Kind::Mouse, handle, WM_MOUSEMOVE, event.xmotion.x,
                                  event.xmotion.y, mouseKeysOf(event.xmotion.state), 0, false});
        return;
    }
    case ButtonPress:
    case ButtonRelease: {
        const bool press = event.type == ButtonPress;
        const XButtonEvent& button = event.xbutton;
        const WPARAM keys = mouseKeysOf(button.state);
        UINT message = 0;
        WPARAM wParam = keys;
        if (button.button == kLeftButton) {
            message = press ? WM_LBUTTONDOWN : WM_LBUTTONUP;
        } else if (button.button == kMiddleButton) {
            message = press ? WM_MBUTTONDOWN : WM_MBUTTONUP;
        } else if (button.button == kRightButton) {
            message = press ? WM_RBUTTONDOWN : WM_RBUTTONUP;
        } else if ((button.button == kWheelUpButton || button.button == kWheelDownButton) &&
                   press) {
            message = WM_MOUSEWHEEL;
            const int turn = button.button == kWheelUpButton ? WHEEL_DELTA : -WHEEL_DELTA;
            wParam = MAKEWPARAM(keys, static_cast<WORD>(static_cast<SHORT>(turn)));
        }
        if (message != 0)
            actions->push_back(
                Action{Action::Kind::Mouse, handle, message, button.x, button.y, wParam, 0, false});
        return;
    }
    case KeyPress:
    case KeyRelease: {
        XKeyEvent& key = event.xkey;
        const int virtualKey = virtualKeyOf(x_.lookupKeysym(&key, 0));
        if (virtualKey == 0) return;
        const bool press = event.type == KeyPress;
        // A held key makes the server send release and press pairs: the release is dropped and
        // the press is a repeat.
        if (!press && x_.eventsQueued(connection_, QueuedAfterReading) > 0) {
            XEvent next{};
            x_.peekEvent(connection_, &next);
            if (next.type == KeyPress && next.xkey.keycode == key.keycode &&
                next.xkey.time == key.time) {
                repeatKeycode_ = key.keycode;
                return;
            }
        }
        const bool repeat = press && repeatKeycode_ == key.keycode;
        if (!press || !repeat) repeatKeycode_ = 0;
        const bool alt = (key.state & Mod1Mask) != 0 || virtualKey == VK_MENU;
        const bool system = alt || virtualKey == VK_F10;
        const UINT message = press ? (system ? WM_SYSKEYDOWN : WM_KEYDOWN)
                                   : (system ? WM_SYSKEYUP : WM_KEYUP);
        constexpr unsigned kEvdevOffset = 8; // X key codes of evdev are scan codes + 8
        const unsigned scanCode = (key.keycode - kEvdevOffset) & 0xffu;
        auto lParam = static_cast<uint32_t>(1 | (scanCode << 16));
        if (alt) lParam |= 1u << 29;
        if (repeat || !press) lParam |= 1u << 30;
        if (!press) lParam |= 1u << 31;
        actions->push_back(Action{Action::Kind::Key, handle, message, 0, 0,
                                  static_cast<WPARAM>(virtualKey), static_cast<LPARAM>(lParam),
                                  false});
        return;
    }
    default:
        return;
    }
}

void LiveDisplay::answerSelection(const XSelectionRequestEvent& request) {
    XSelectionEvent reply{};
    reply.type = SelectionNotify;
    reply.display = connection_;
    reply.requestor = request.requestor;
    reply.selection = request.selection;
    reply.target = request.target;
    reply.time = request.time;
    reply.property = None;
    const Atom property = request.property != None ? request.property : request.target;
    // One request carries the whole picture; a larger one would need the incremental protocol.
    const long requestWords = std::max(x_.extendedMaxRequestSize(connection_),
                                       x_.maxRequestSize(connection_));
    constexpr size_t kRequestOverheadBytes = 64;
    const size_t limit = static_cast<size_t>(requestWords) * 4 - kRequestOverheadBytes;
    if (request.selection == clipboard_ && !clipboardPng_.empty()) {
        if (request.target == targets_) {
            Atom offered[] = {targets_, imagePng_};
            x_.changeProperty(connection_, request.requestor, property, XA_ATOM, 32,
                              PropModeReplace, reinterpret_cast<const unsigned char*>(offered),
                              2);
            reply.property = property;
        } else if (request.target == imagePng_ && clipboardPng_.size() <= limit) {
            x_.changeProperty(connection_, request.requestor, property, imagePng_, 8,
                              PropModeReplace, clipboardPng_.data(),
                              static_cast<int>(clipboardPng_.size()));
            reply.property = property;
        }
    }
    XEvent event{};
    event.xselection = reply;
    x_.sendEvent(connection_, request.requestor, False, 0, &event);
    x_.flush(connection_);
}

void LiveDisplay::perform(const std::vector<Action>& actions) {
    for (const Action& action : actions) {
        switch (action.kind) {
        case Action::Kind::Mouse:
            PlatformInjectMouse(action.window, action.message, action.x, action.y, action.wParam);
            break;
        case Action::Kind::Key:
            PlatformInjectKey(action.window, action.message, action.wParam, action.lParam);
            break;
        case Action::Kind::Close: // as the caption's close button does
            PostMessageA(action.window, WM_SYSCOMMAND, action.wParam, 0);
            break;
        case Action::Kind::Focus:
            displayFocusChanged(action.window, action.focused);
            break;
        }
    }
}

} // namespace
} // namespace platform

extern "C" {

BOOL PlatformUseLiveDisplay(const char* displayName) {
    std::string error;
    if (!platform::live().connect(displayName, &error)) {
        platform::setLastLiveError(error);
        SetLastError(ERROR_NOT_READY);
        return FALSE;
    }
    platform::setLastLiveError("");
    platform::installDisplay(&platform::live());
    return TRUE;
}

const char* PlatformLiveDisplayError() {
    std::lock_guard<std::mutex> guard(platform::errorMutex);
    return platform::lastError.c_str();
}

void PlatformCloseLiveDisplay() {
    platform::live().disconnect();
}

BOOL PlatformLiveDisplayConnected() {
    return platform::live().connected() ? TRUE : FALSE;
}

BOOL PlatformLiveDisplaySharedMemory() {
    return platform::live().usesSharedMemory() ? TRUE : FALSE;
}

void PlatformLiveDisplayWatch(HWND window, UINT message) {
    platform::live().watch(window, message);
}

BOOL PlatformLiveDisplaySync(HWND topLevel, DWORD timeoutMs) {
    return platform::live().sync(topLevel, timeoutMs) ? TRUE : FALSE;
}

unsigned long PlatformLiveWindowId(HWND topLevel) {
    return platform::live().windowId(topLevel);
}

BOOL PlatformEmbedWindow(HWND topLevel, unsigned long xParent) {
    RECT rect{};
    if (!IsWindow(topLevel) || GetAncestor(topLevel, GA_ROOT) != topLevel ||
        !GetWindowRect(topLevel, &rect)) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return FALSE;
    }
    bool needsPixels = false;
    const bool visible = IsWindowVisible(topLevel) != FALSE;
    if (!platform::live().embed(topLevel, xParent, rect, visible, &needsPixels)) return FALSE;
    if (needsPixels && visible) // painted whole, frame included
        SetWindowPos(topLevel, nullptr, 0, 0, 0, 0,
                     SWP_NOMOVE | SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE | SWP_FRAMECHANGED);
    return TRUE;
}

BOOL PlatformSaveLiveWindowPng(HWND topLevel, const char* path) {
    return platform::live().savePng(topLevel, path) ? TRUE : FALSE;
}

} // extern "C"
