// The window system without a screen: window classes, top-level, owned and child windows with
// their geometry and non-client frame, one message queue per thread, the paint cycle on the
// top-level windows' surfaces, mouse and keyboard input routed as it is taken from a queue,
// focus, activation, capture, timers, accelerators and cursors.
//
// All state sits behind one mutex; window procedures are always called with it released, so a
// procedure may run a message loop of its own. A message sent to a window of another thread is
// queued to that thread and the sender blocks until the owner's GetMessageA/PeekMessageA (or its
// own blocked SendMessageA) runs it; while blocked, the sender runs messages sent to itself, so
// two threads sending to each other do not deadlock. Changes of a window's place, size or
// visibility asked by another thread run on the owner thread the same way.
//
// A queue is read in this order: messages sent from other threads, posted messages, a pending
// quit, mouse and key input, WM_PAINT for a window with something to paint (parents before their
// children), then WM_TIMER for a due timer.
#include <windows.h>

#include "platform/clock.h"
#include "platform/resource_internal.h"
#include "platform/surface.h"

#include <algorithm>
#include <array>
#include <condition_variable>
#include <cstdio>
#include <cstring>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <vector>

#include <unistd.h>

// Drawing interfaces (wingdi.h) the default erase uses.
extern "C" {
HBRUSH CreateSolidBrush(COLORREF colour);
int FillRect(HDC dc, const RECT* rect, HBRUSH brush);
}

namespace {

// ---------------------------------------------------------------------------------------------
// Metrics and colours: one classic look at 96 dots per inch.

constexpr int kScreenWidth = 1024;
constexpr int kScreenHeight = 768;
constexpr int kCaptionHeight = 19; // caption bar and the line below it
constexpr int kBorder = 1;
constexpr int kDialogFrame = 3;
constexpr int kSizingFrame = 4;
constexpr int kEdge = 2;
constexpr int kCaptionButtonCell = 18; // SM_CXSIZE, SM_CYSIZE
constexpr int kCaptionButtonWidth = kCaptionButtonCell - 2;
constexpr int kCaptionButtonHeight = kCaptionButtonCell - 4;
constexpr int kCaptionButtonGap = 2;
constexpr int kSmallIcon = 16;
constexpr int kDoubleClickSize = 4;
constexpr UINT kDoubleClickTimeMs = 500;
constexpr int kDefaultWidth = kScreenWidth * 3 / 4;
constexpr int kDefaultHeight = kScreenHeight * 3 / 4;
constexpr int kCaptionTextInset = 2;

int systemMetric(int index) {
    switch (index) {
    case SM_CXSCREEN:
    case SM_CXFULLSCREEN:
        return kScreenWidth;
    case SM_CYSCREEN:
        return kScreenHeight;
    case SM_CYFULLSCREEN:
        return kScreenHeight - kCaptionHeight;
    case SM_CXVSCROLL:
    case SM_CYHSCROLL:
    case SM_CYVSCROLL:
    case SM_CXHSCROLL:
    case SM_CYVTHUMB:
    case SM_CXHTHUMB:
        return 16;
    case SM_CYCAPTION:
    case SM_CYMENU:
        return kCaptionHeight;
    case SM_CXBORDER:
    case SM_CYBORDER:
        return kBorder;
    case SM_CXDLGFRAME:
    case SM_CYDLGFRAME:
        return kDialogFrame;
    case SM_CXFRAME:
    case SM_CYFRAME:
        return kSizingFrame;
    case SM_CXEDGE:
    case SM_CYEDGE:
        return kEdge;
    case SM_CXICON:
    case SM_CYICON:
    case SM_CXCURSOR:
    case SM_CYCURSOR:
        return 32;
    case SM_CXSMICON:
    case SM_CYSMICON:
        return kSmallIcon;
    case SM_CXSIZE:
    case SM_CYSIZE:
        return kCaptionButtonCell;
    case SM_CYSMCAPTION:
        return 15;
    case SM_CXSMSIZE:
    case SM_CYSMSIZE:
        return 12;
    case SM_CXMIN:
        return 112;
    case SM_CYMIN:
        return 27;
    case SM_CXDOUBLECLK:
    case SM_CYDOUBLECLK:
        return kDoubleClickSize;
    case SM_CMOUSEBUTTONS:
        return 3;
    default:
        return 0;
    }
}

// The "Windows Standard" scheme: every colour is one of the 20 static colours of the palette.
constexpr int kColourCount = COLOR_MENUBAR + 1;
constexpr std::array<COLORREF, kColourCount> kSystemColours = {
    RGB(192, 192, 192), // COLOR_SCROLLBAR
    RGB(0, 128, 128),   // COLOR_BACKGROUND
    RGB(0, 0, 128),     // COLOR_ACTIVECAPTION
    RGB(128, 128, 128), // COLOR_INACTIVECAPTION
    RGB(192, 192, 192), // COLOR_MENU
    RGB(255, 255, 255), // COLOR_WINDOW
    RGB(0, 0, 0),       // COLOR_WINDOWFRAME
    RGB(0, 0, 0),       // COLOR_MENUTEXT
    RGB(0, 0, 0),       // COLOR_WINDOWTEXT
    RGB(255, 255, 255), // COLOR_CAPTIONTEXT
    RGB(192, 192, 192), // COLOR_ACTIVEBORDER
    RGB(192, 192, 192), // COLOR_INACTIVEBORDER
    RGB(128, 128, 128), // COLOR_APPWORKSPACE
    RGB(0, 0, 128),     // COLOR_HIGHLIGHT
    RGB(255, 255, 255), // COLOR_HIGHLIGHTTEXT
    RGB(192, 192, 192), // COLOR_BTNFACE
    RGB(128, 128, 128), // COLOR_BTNSHADOW
    RGB(128, 128, 128), // COLOR_GRAYTEXT
    RGB(0, 0, 0),       // COLOR_BTNTEXT
    RGB(192, 192, 192), // COLOR_INACTIVECAPTIONTEXT
    RGB(255, 255, 255), // COLOR_BTNHIGHLIGHT
    RGB(0, 0, 0),       // COLOR_3DDKSHADOW
    RGB(192, 192, 192), // COLOR_3DLIGHT
    RGB(0, 0, 0),       // COLOR_INFOTEXT
    RGB(255, 255, 255), // COLOR_INFOBK
    RGB(192, 192, 192), // 25: unused
    RGB(0, 0, 255),     // COLOR_HOTLIGHT
    RGB(0, 0, 128),     // COLOR_GRADIENTACTIVECAPTION
    RGB(128, 128, 128), // COLOR_GRADIENTINACTIVECAPTION
    RGB(0, 0, 128),     // COLOR_MENUHILIGHT
    RGB(192, 192, 192), // COLOR_MENUBAR
};

COLORREF systemColour(int index) {
    return index >= 0 && index < kColourCount ? kSystemColours[static_cast<size_t>(index)] : 0;
}

// ---------------------------------------------------------------------------------------------
// State

constexpr ATOM kFirstClassAtom = 0xc000;
constexpr uintptr_t kAtomLimit = 0x10000; // class "names" below this are atoms
constexpr int kMaxWindowExtraBytes = 40000;
constexpr LRESULT kCreateRefused = -1;
constexpr UINT kDefaultTimerLimit = 10000;
constexpr UINT_PTR kFirstThreadTimerId = 0x7fff0000;
const HWND kThreadMessagesOnly = reinterpret_cast<HWND>(static_cast<intptr_t>(-1));

std::string lowerCase(const char* text) {
    std::string lower = text != nullptr ? text : "";
    for (char& c : lower)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return lower;
}

bool isEmpty(const RECT& r) {
    return r.right <= r.left || r.bottom <= r.top;
}
RECT intersect(const RECT& a, const RECT& b) {
    RECT r{std::max(a.left, b.left), std::max(a.top, b.top), std::min(a.right, b.right),
           std::min(a.bottom, b.bottom)};
    return isEmpty(r) ? RECT{} : r;
}
RECT unite(const RECT& a, const RECT& b) {
    if (isEmpty(a)) return b;
    if (isEmpty(b)) return a;
    return RECT{std::min(a.left, b.left), std::min(a.top, b.top), std::max(a.right, b.right),
                std::max(a.bottom, b.bottom)};
}
RECT offset(RECT r, LONG dx, LONG dy) {
    r.left += dx;
    r.right += dx;
    r.top += dy;
    r.bottom += dy;
    return r;
}
bool contains(const RECT& r, LONG x, LONG y) {
    return x >= r.left && x < r.right && y >= r.top && y < r.bottom;
}
bool covers(const RECT& outer, const RECT& inner) {
    return inner.left >= outer.left && inner.top >= outer.top && inner.right <= outer.right &&
           inner.bottom <= outer.bottom;
}

struct WindowClass {
    std::string name;
    std::string menuName;
    WNDCLASSA info{};
    ATOM atom = 0;
    std::vector<unsigned char> extra;
    int windows = 0;
};

struct Window {
    WindowClass* windowClass = nullptr;
    WNDPROC procedure = nullptr;
    std::string title;
    DWORD style = 0;
    DWORD exStyle = 0;
    HWND parent = nullptr; // parent of a child window, owner of a top-level one
    bool messageOnly = false;
    std::vector<HWND> children; // child windows (top of the z-order first) and owned windows
    DWORD thread = 0;
    LONG_PTR userData = 0;
    LONG_PTR id = 0;
    HINSTANCE instance = nullptr;
    std::vector<unsigned char> extra;
    bool destroying = false;
    RECT rect{};   // in the parent's client coordinates (screen for a top-level window)
    RECT client{}; // in window coordinates
    std::unique_ptr<platform::Surface> surface; // top-level windows
    bool updatePending = false;
    RECT update{}; // client coordinates
    bool erase = false;
    bool ncPending = false;
    bool captionActive = false;
    LRESULT pressedButton = HTNOWHERE; // caption button held down by the default tracking
};

bool isChild(const Window& w) {
    return (w.style & WS_CHILD) != 0 && w.parent != nullptr;
}

struct ThreadQueue;

// A message sent from another thread (or work to run there); lives on the sender's stack.
struct SentMessage {
    HWND window;
    UINT message;
    WPARAM wParam;
    LPARAM lParam;
    const std::function<LRESULT()>* task;
    LRESULT result = 0;
    bool done = false;
    ThreadQueue* sender;
};

// Mouse or key input waiting in a queue; routed when taken.
struct InputEvent {
    uint64_t serial = 0;
    HWND topLevel = nullptr;
    UINT message = 0;
    bool mouse = false;
    POINT screen{}; // mouse: the pointer
    WPARAM wParam = 0;
    LPARAM lParam = 0;
    DWORD time = 0;
};

struct Timer {
    HWND window;
    UINT_PTR id;
    UINT periodMs;
    DWORD due;
    TIMERPROC procedure;
    uint64_t serial;
};

struct ThreadQueue {
    DWORD thread = 0;
    std::deque<MSG> posted;
    std::deque<SentMessage*> incoming;
    std::deque<InputEvent> input;
    std::vector<Timer> timers;
    std::condition_variable wake; // waited on only by the owning thread
    bool quitPending = false;
    int quitCode = 0;
    HWND focus = nullptr;
    HWND active = nullptr;
    DWORD lastMessagePos = 0;
    DWORD lastMessageTime = 0;
    bool blocked = false; // waiting in GetMessageA/WaitMessage with nothing to take
};

// The last button press, for double clicks.
struct LastPress {
    HWND window = nullptr;
    UINT message = 0; // the press as injected (client form)
    bool client = false;
    POINT screen{};
    DWORD time = 0;
};

struct Accelerator {
    std::vector<ACCEL> entries;
};

struct State {
    std::mutex mutex;
    std::map<std::string, WindowClass> classes; // by lower-case name
    ATOM nextAtom = kFirstClassAtom;
    std::map<HWND, Window> windows; // ordered by handle = creation order
    uintptr_t nextWindow = 1;
    std::map<DWORD, ThreadQueue*> queues;
    std::vector<HWND> topLevels; // z-order, top first
    HWND capture = nullptr;
    HWND foreground = nullptr;
    POINT cursor{};
    HCURSOR currentCursor = nullptr;
    std::array<BYTE, 256> keysAsync{};
    std::array<BYTE, 256> keys{}; // as of the input taken from the queues so far
    LastPress lastPress;
    uint64_t nextSerial = 1;
    UINT timerLimit = kDefaultTimerLimit;
    UINT timerCount = 0;
    UINT_PTR nextThreadTimer = kFirstThreadTimerId;
    std::set<Accelerator*> accelerators;
    std::array<HBRUSH, kColourCount> colourBrushes{};
    std::set<ThreadQueue*> idleWatchers; // threads in PlatformWaitForIdle
};

// Never destroyed: threads may still post while the process exits.
State& state() {
    static State* instance = new State();
    return *instance;
}

using Lock = std::unique_lock<std::mutex>;

void removeThreadState(ThreadQueue* queue);

// Owns the calling thread's queue and ends it (and the thread's windows) when the thread exits.
struct QueueHolder {
    ThreadQueue* queue = nullptr;
    ~QueueHolder() {
        if (queue != nullptr) removeThreadState(queue);
    }
};
thread_local QueueHolder threadQueue;

// The calling thread's queue, made on first use. Call with the mutex held.
ThreadQueue* ownQueue() {
    if (threadQueue.queue == nullptr) {
        auto* queue = new ThreadQueue();
        queue->thread = GetCurrentThreadId();
        state().queues[queue->thread] = queue;
        threadQueue.queue = queue;
    }
    return threadQueue.queue;
}

ThreadQueue* queueOf(DWORD thread) {
    auto found = state().queues.find(thread);
    return found == state().queues.end() ? nullptr : found->second;
}

Window* findWindow(HWND handle) {
    if (handle == nullptr) return nullptr;
    auto found = state().windows.find(handle);
    return found == state().windows.end() ? nullptr : &found->second;
}

// The window, or null with ERROR_INVALID_WINDOW_HANDLE. Call with the mutex held.
Window* validWindow(HWND handle) {
    Window* window = findWindow(handle);
    if (window == nullptr) SetLastError(ERROR_INVALID_WINDOW_HANDLE);
    return window;
}

WindowClass* findClass(LPCSTR name) {
    State& s = state();
    if (reinterpret_cast<uintptr_t>(name) < kAtomLimit) {
        const auto atom = static_cast<ATOM>(reinterpret_cast<uintptr_t>(name));
        for (auto& [key, windowClass] : s.classes)
            if (windowClass.atom == atom && atom != 0) return &windowClass;
        return nullptr;
    }
    auto found = s.classes.find(lowerCase(name));
    return found == s.classes.end() ? nullptr : &found->second;
}

void wakeOwner(const Window& window) {
    if (ThreadQueue* queue = queueOf(window.thread)) queue->wake.notify_all();
}

// ---------------------------------------------------------------------------------------------
// Geometry. Call with the mutex held.

// The frame around the client area that a style gives, as insets of the window rectangle.
RECT frameInsets(DWORD style, DWORD exStyle) {
    LONG frame = 0;
    if ((style & WS_THICKFRAME) != 0)
        frame = kSizingFrame;
    else if ((style & WS_DLGFRAME) != 0 || (exStyle & WS_EX_DLGMODALFRAME) != 0)
        frame = kDialogFrame;
    else if ((style & WS_BORDER) != 0)
        frame = kBorder;
    if ((exStyle & WS_EX_CLIENTEDGE) != 0) frame += kEdge;
    if ((exStyle & WS_EX_STATICEDGE) != 0) frame += kBorder;
    RECT insets{frame, frame, frame, frame};
    if ((style & WS_CAPTION) == WS_CAPTION) insets.top += kCaptionHeight;
    return insets;
}

// The outer frame's thickness (without client edges).
int outerFrame(DWORD style, DWORD exStyle) {
    if ((style & WS_THICKFRAME) != 0) return kSizingFrame;
    if ((style & WS_DLGFRAME) != 0 || (exStyle & WS_EX_DLGMODALFRAME) != 0) return kDialogFrame;
    if ((style & WS_BORDER) != 0) return kBorder;
    return 0;
}

int widthOf(const RECT& r) {
    return r.right - r.left;
}
int heightOf(const RECT& r) {
    return r.bottom - r.top;
}

// The window's own rectangle in window coordinates.
RECT windowArea(const Window& w) {
    return RECT{0, 0, widthOf(w.rect), heightOf(w.rect)};
}

// Screen position of the window's top-left corner.
POINT screenOrigin(const Window& w) {
    POINT origin{w.rect.left, w.rect.top};
    if (isChild(w)) {
        const Window* parent = findWindow(w.parent);
        if (parent != nullptr) {
            const POINT parentOrigin = screenOrigin(*parent);
            origin.x += parentOrigin.x + parent->client.left;
            origin.y += parentOrigin.y + parent->client.top;
        }
    }
    return origin;
}

POINT clientScreenOrigin(const Window& w) {
    POINT origin = screenOrigin(w);
    origin.x += w.client.left;
    origin.y += w.client.top;
    return origin;
}

HWND topLevelOf(HWND handle) {
    Window* w = findWindow(handle);
    while (w != nullptr && isChild(*w)) {
        handle = w->parent;
        w = findWindow(handle);
    }
    return w != nullptr ? handle : nullptr;
}

// Position of the window's top-left corner on its top-level window's surface.
POINT surfaceOrigin(const Window& w) {
    if (!isChild(w)) return POINT{0, 0};
    const Window* parent = findWindow(w.parent);
    if (parent == nullptr) return POINT{0, 0};
    POINT origin = surfaceOrigin(*parent);
    origin.x += parent->client.left + w.rect.left;
    origin.y += parent->client.top + w.rect.top;
    return origin;
}

bool visibleChain(const Window& w) {
    const Window* current = &w;
    for (;;) {
        if ((current->style & WS_VISIBLE) == 0) return false;
        if (!isChild(*current)) return (current->style & WS_MINIMIZE) == 0;
        current = findWindow(current->parent);
        if (current == nullptr) return false;
    }
}

bool enabledChain(const Window& w) {
    const Window* current = &w;
    for (;;) {
        if ((current->style & WS_DISABLED) != 0) return false;
        if (!isChild(*current)) return true;
        current = findWindow(current->parent);
        if (current == nullptr) return false;
    }
}

bool isDescendantOrSelf(HWND ancestor, HWND handle) {
    while (handle != nullptr) {
        if (handle == ancestor) return true;
        const Window* w = findWindow(handle);
        if (w == nullptr || !isChild(*w)) return false;
        handle = w->parent;
    }
    return false;
}

std::vector<HWND> childWindows(const Window& w) {
    std::vector<HWND> result;
    for (HWND handle : w.children) {
        const Window* child = findWindow(handle);
        if (child != nullptr && isChild(*child)) result.push_back(handle);
    }
    return result;
}

// The visible part of a window (or of its client area) on its top-level window's surface.
RECT visibleArea(const Window& w, bool wholeWindow) {
    const POINT origin = surfaceOrigin(w);
    RECT area = wholeWindow ? windowArea(w) : w.client;
    area = offset(area, origin.x, origin.y);
    const Window* current = &w;
    while (isChild(*current)) {
        const Window* parent = findWindow(current->parent);
        if (parent == nullptr) break;
        const POINT parentOrigin = surfaceOrigin(*parent);
        area = intersect(area, offset(parent->client, parentOrigin.x, parentOrigin.y));
        current = parent;
    }
    const RECT bounds = windowArea(*current);
    return intersect(area, bounds);
}

// Marks `area` (window coordinates of `handle`) for repainting: its client part as the update
// rectangle, its frame part as a frame repaint, and the visible children under it likewise
// (a device context clips to one rectangle, so a parent's painting covers its children).
void invalidateArea(HWND handle, const RECT& area, bool erase) {
    Window* w = findWindow(handle);
    if (w == nullptr || isEmpty(area)) return;
    const RECT clientPart = intersect(area, w->client);
    if (!isEmpty(clientPart)) {
        const RECT inClient = offset(clientPart, -w->client.left, -w->client.top);
        w->update = w->updatePending ? unite(w->update, inClient) : inClient;
        w->updatePending = true;
        w->erase = w->erase || erase;
    }
    if (!covers(w->client, intersect(area, windowArea(*w)))) w->ncPending = true;
    for (HWND childHandle : childWindows(*w)) {
        Window* child = findWindow(childHandle);
        if ((child->style & WS_VISIBLE) == 0) continue;
        const RECT childInWindow = offset(child->rect, w->client.left, w->client.top);
        const RECT hit = intersect(intersect(area, w->client), childInWindow);
        if (!isEmpty(hit))
            invalidateArea(childHandle, offset(hit, -childInWindow.left, -childInWindow.top),
                           erase);
    }
    wakeOwner(*w);
}

void invalidateWhole(HWND handle, bool erase) {
    if (Window* w = findWindow(handle)) invalidateArea(handle, windowArea(*w), erase);
}

// Invalidates where a child window lies in its parent (after it was hidden, moved or sized).
void invalidateInParent(const Window& w, const RECT& rectInParent) {
    if (!isChild(w)) return;
    Window* parent = findWindow(w.parent);
    if (parent == nullptr) return;
    invalidateArea(w.parent, offset(rectInParent, parent->client.left, parent->client.top), true);
}

void resizeSurface(Window& w) {
    if (!w.surface) return;
    const int width = std::max(0, widthOf(w.rect));
    const int height = std::max(0, heightOf(w.rect));
    platform::Surface& surface = *w.surface;
    if (surface.width == width && surface.height == height) return;
    std::vector<uint32_t> pixels(static_cast<size_t>(width) * height, 0);
    for (int y = 0; y < std::min(height, surface.height); ++y)
        for (int x = 0; x < std::min(width, surface.width); ++x)
            pixels[static_cast<size_t>(y) * width + x] =
                surface.pixels[static_cast<size_t>(y) * surface.width + x];
    surface.pixels.swap(pixels);
    surface.width = width;
    surface.height = height;
}

void moveInOrder(std::vector<HWND>& order, HWND handle, HWND insertAfter) {
    auto here = std::find(order.begin(), order.end(), handle);
    if (here == order.end()) return;
    order.erase(here);
    if (insertAfter == HWND_TOP || insertAfter == HWND_TOPMOST || insertAfter == HWND_NOTOPMOST) {
        order.insert(order.begin(), handle);
    } else if (insertAfter == HWND_BOTTOM) {
        order.push_back(handle);
    } else {
        auto after = std::find(order.begin(), order.end(), insertAfter);
        order.insert(after == order.end() ? order.begin() : after + 1, handle);
    }
}

// ---------------------------------------------------------------------------------------------
// Sending and posting

void post(ThreadQueue* queue, HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    MSG entry{};
    entry.hwnd = window;
    entry.message = message;
    entry.wParam = wParam;
    entry.lParam = lParam;
    entry.time = GetTickCount();
    entry.pt = state().cursor;
    queue->posted.push_back(entry);
    queue->wake.notify_all();
}

void complete(SentMessage* sent, LRESULT result) {
    sent->result = result;
    sent->done = true;
    sent->sender->wake.notify_all();
}

// Runs the oldest message sent to this thread. Call with the lock held; returns with it held.
void runOneIncoming(Lock& lock, ThreadQueue* queue) {
    SentMessage* sent = queue->incoming.front();
    queue->incoming.pop_front();
    Window* window = findWindow(sent->window);
    if (window == nullptr || window->thread != queue->thread) {
        complete(sent, 0);
        return;
    }
    WNDPROC procedure = window->procedure;
    lock.unlock();
    LRESULT result = sent->task != nullptr
                         ? (*sent->task)()
                         : procedure(sent->window, sent->message, sent->wParam, sent->lParam);
    lock.lock();
    complete(sent, result);
}

// Sends a message to a window's procedure, or runs `task` on the window's thread.
LRESULT sendMessage(HWND handle, UINT message, WPARAM wParam, LPARAM lParam,
                    const std::function<LRESULT()>* task = nullptr) {
    State& s = state();
    Lock lock(s.mutex);
    Window* window = validWindow(handle);
    if (window == nullptr) return 0;
    if (window->thread == GetCurrentThreadId()) {
        WNDPROC procedure = window->procedure;
        lock.unlock();
        return task != nullptr ? (*task)() : procedure(handle, message, wParam, lParam);
    }
    ThreadQueue* target = queueOf(window->thread);
    if (target == nullptr) return 0;
    ThreadQueue* own = ownQueue();
    SentMessage sent{handle, message, wParam, lParam, task, 0, false, own};
    target->incoming.push_back(&sent);
    target->wake.notify_all();
    while (!sent.done) {
        if (!own->incoming.empty()) {
            runOneIncoming(lock, own);
            continue;
        }
        own->wake.wait(lock);
    }
    return sent.result;
}

LRESULT send(HWND handle, UINT message, WPARAM wParam = 0, LPARAM lParam = 0) {
    return sendMessage(handle, message, wParam, lParam);
}

// Runs `work` on the thread that owns `handle` (at once when that is this thread).
LRESULT onOwnerThread(HWND handle, const std::function<LRESULT()>& work) {
    return sendMessage(handle, WM_NULL, 0, 0, &work);
}

bool matchesFilter(HWND hwnd, UINT message, HWND window, UINT filterMin, UINT filterMax) {
    if (message == WM_QUIT) return true; // always delivered, whatever the filter
    if (window == kThreadMessagesOnly) {
        if (hwnd != nullptr) return false;
    } else if (window != nullptr && hwnd != window) {
        return false;
    }
    if (filterMin == 0 && filterMax == 0) return true;
    return message >= filterMin && message <= filterMax;
}

// A window filter is null, -1 (thread messages) or a live window of the calling thread.
bool validFilter(HWND window) {
    if (window == nullptr || window == kThreadMessagesOnly) return true;
    Window* found = findWindow(window);
    return found != nullptr && found->thread == GetCurrentThreadId();
}

// ---------------------------------------------------------------------------------------------
// The non-client area: layout, hit testing and painting

struct CaptionLayout {
    bool caption = false;
    RECT bar{};     // the caption bar (window coordinates), without the line below it
    RECT line{};    // the line between the caption and the client area
    RECT sysMenu{}; // empty without WS_SYSMENU
    RECT close{}, maximize{}, minimize{}, help{};
    RECT text{};
};

CaptionLayout captionLayout(const Window& w) {
    CaptionLayout layout;
    if ((w.style & WS_CAPTION) != WS_CAPTION) return layout;
    layout.caption = true;
    const int frame = outerFrame(w.style, w.exStyle);
    const int width = widthOf(w.rect);
    layout.bar = RECT{frame, frame, width - frame, frame + kCaptionHeight - 1};
    layout.line = RECT{frame, layout.bar.bottom, width - frame, layout.bar.bottom + 1};
    LONG textRight = layout.bar.right - kCaptionTextInset;
    LONG textLeft = layout.bar.left + kCaptionTextInset;
    if ((w.style & WS_SYSMENU) != 0) {
        const LONG top = layout.bar.top + kCaptionButtonGap;
        const LONG right = layout.bar.right - kCaptionButtonGap;
        layout.close = RECT{right - kCaptionButtonWidth, top, right, top + kCaptionButtonHeight};
        LONG leftmost = layout.close.left;
        if ((w.style & WS_MAXIMIZEBOX) != 0) {
            layout.maximize = offset(layout.close, -(kCaptionButtonWidth + kCaptionButtonGap), 0);
            layout.minimize = offset(layout.maximize, -kCaptionButtonWidth, 0);
            leftmost = layout.minimize.left;
        } else if ((w.style & WS_MINIMIZEBOX) != 0) {
            // No maximise box is drawn for a window without one, so the minimise box sits
            // beside the close box and a button an application adds left of it stays clear.
            layout.minimize = offset(layout.close, -(kCaptionButtonWidth + kCaptionButtonGap), 0);
            leftmost = layout.minimize.left;
        } else if ((w.exStyle & WS_EX_CONTEXTHELP) != 0) {
            layout.help = offset(layout.close, -(kCaptionButtonWidth + kCaptionButtonGap), 0);
            leftmost = layout.help.left;
        }
        textRight = leftmost - kCaptionTextInset;
        layout.sysMenu = RECT{layout.bar.left + 1, layout.bar.top + 1,
                              layout.bar.left + 1 + kSmallIcon, layout.bar.top + 1 + kSmallIcon};
        layout.sysMenu = intersect(layout.sysMenu, layout.bar);
        textLeft = layout.sysMenu.right + kCaptionTextInset;
    }
    layout.text = RECT{textLeft, layout.bar.top, std::max(textLeft, textRight), layout.bar.bottom};
    return layout;
}

// Hit test of a point in window coordinates, as DefWindowProc answers WM_NCHITTEST.
LRESULT hitTest(const Window& w, POINT p) {
    if (!contains(windowArea(w), p.x, p.y)) return HTNOWHERE;
    if (contains(w.client, p.x, p.y)) return HTCLIENT;
    const CaptionLayout layout = captionLayout(w);
    if (layout.caption && contains(layout.bar, p.x, p.y)) {
        if (contains(layout.close, p.x, p.y)) return HTCLOSE;
        if (contains(layout.maximize, p.x, p.y)) return HTMAXBUTTON;
        if (contains(layout.minimize, p.x, p.y)) return HTMINBUTTON;
        if (contains(layout.help, p.x, p.y)) return HTHELP;
        if (contains(layout.sysMenu, p.x, p.y)) return HTSYSMENU;
        return HTCAPTION;
    }
    if ((w.style & WS_THICKFRAME) != 0) {
        const int frame = kSizingFrame;
        const int corner = kCaptionHeight + frame;
        const int width = widthOf(w.rect);
        const int height = heightOf(w.rect);
        const bool left = p.x < frame, right = p.x >= width - frame;
        const bool top = p.y < frame, bottom = p.y >= height - frame;
        const bool nearLeft = p.x < corner, nearRight = p.x >= width - corner;
        const bool nearTop = p.y < corner, nearBottom = p.y >= height - corner;
        if ((top && nearLeft) || (left && nearTop)) return HTTOPLEFT;
        if ((top && nearRight) || (right && nearTop)) return HTTOPRIGHT;
        if ((bottom && nearLeft) || (left && nearBottom)) return HTBOTTOMLEFT;
        if ((bottom && nearRight) || (right && nearBottom)) return HTBOTTOMRIGHT;
        if (top) return HTTOP;
        if (bottom) return HTBOTTOM;
        if (left) return HTLEFT;
        if (right) return HTRIGHT;
    }
    return HTBORDER;
}

// Writes the surface of a window directly (the frame needs no device context).
class FramePainter {
  public:
    FramePainter(platform::Surface& surface, POINT origin, RECT clip)
        : surface_(surface), origin_(origin), clip_(clip) {
        dc_.surface = &surface;
    }
    void fill(const RECT& area, COLORREF colour) {
        const RECT r = intersect(offset(area, origin_.x, origin_.y), clip_);
        if (isEmpty(r)) return;
        const uint32_t pixel = platform::surfacePixel(dc_, colour);
        for (LONG y = r.top; y < r.bottom; ++y)
            std::fill_n(surface_.pixels.begin() + static_cast<ptrdiff_t>(y) * surface_.width +
                            r.left,
                        r.right - r.left, pixel);
    }
    void fillIndex(const RECT& area, int colourIndex) { fill(area, systemColour(colourIndex)); }
    // A one-pixel ring just inside `r`: top and left in one colour, bottom and right in another.
    void ring(const RECT& r, int topLeft, int bottomRight) {
        fillIndex(RECT{r.left, r.top, r.right - 1, r.top + 1}, topLeft);
        fillIndex(RECT{r.left, r.top, r.left + 1, r.bottom - 1}, topLeft);
        fillIndex(RECT{r.left, r.bottom - 1, r.right, r.bottom}, bottomRight);
        fillIndex(RECT{r.right - 1, r.top, r.right, r.bottom}, bottomRight);
    }
    RECT surfaceRect(const RECT& area) const {
        return intersect(offset(area, origin_.x, origin_.y), clip_);
    }
    platform::Surface& surface() { return surface_; }

  private:
    platform::Surface& surface_;
    POINT origin_;
    RECT clip_;
    platform::DeviceContext dc_;
};

RECT shrink(RECT r, LONG by) {
    r.left += by;
    r.top += by;
    r.right -= by;
    r.bottom -= by;
    return r;
}

void drawCaptionButton(FramePainter& painter, const RECT& button, LRESULT kind, bool pressed,
                       bool enabled) {
    if (isEmpty(button)) return;
    painter.fillIndex(button, COLOR_BTNFACE);
    if (pressed) {
        painter.ring(button, COLOR_3DDKSHADOW, COLOR_BTNHIGHLIGHT);
        painter.ring(shrink(button, 1), COLOR_BTNSHADOW, COLOR_3DLIGHT);
    } else {
        painter.ring(button, COLOR_BTNHIGHLIGHT, COLOR_3DDKSHADOW);
        painter.ring(shrink(button, 1), COLOR_3DLIGHT, COLOR_BTNSHADOW);
    }
    const int glyphColour = enabled ? COLOR_BTNTEXT : COLOR_GRAYTEXT;
    const LONG x = button.left + (pressed ? 1 : 0);
    const LONG y = button.top + (pressed ? 1 : 0);
    auto dot = [&](LONG dx, LONG dy, LONG w, LONG h) {
        painter.fillIndex(RECT{x + dx, y + dy, x + dx + w, y + dy + h}, glyphColour);
    };
    switch (kind) {
    case HTCLOSE:
        for (LONG i = 0; i < 7; ++i) {
            dot(4 + i, 3 + i, 2, 1);
            dot(10 - i, 3 + i, 2, 1);
        }
        break;
    case HTMINBUTTON:
        dot(4, 9, 6, 2);
        break;
    case HTMAXBUTTON:
        dot(3, 2, 9, 2);
        dot(3, 4, 1, 7);
        dot(11, 4, 1, 7);
        dot(3, 10, 9, 1);
        break;
    case HTHELP:
        dot(6, 2, 4, 1);
        dot(9, 3, 1, 3);
        dot(7, 6, 2, 1);
        dot(7, 7, 1, 2);
        dot(7, 10, 1, 1);
        break;
    default:
        break;
    }
}

struct FrameJob {
    platform::Surface* surface = nullptr;
    HWND topLevel = nullptr;
    POINT origin{};
    RECT clip{};
    DWORD style = 0;
    DWORD exStyle = 0;
    RECT area{}; // the window in window coordinates
    RECT client{};
    CaptionLayout layout;
    bool active = false;
    LRESULT pressed = HTNOWHERE;
    std::string title;
};

// What painting the frame of `handle` needs; false when there is nothing to paint on.
bool frameJob(HWND handle, FrameJob* job) {
    Window* w = findWindow(handle);
    if (w == nullptr || !visibleChain(*w)) return false;
    job->topLevel = topLevelOf(handle);
    Window* top = findWindow(job->topLevel);
    if (top == nullptr || !top->surface) return false;
    job->surface = top->surface.get();
    job->origin = surfaceOrigin(*w);
    job->clip = visibleArea(*w, true);
    job->style = w->style;
    job->exStyle = w->exStyle;
    job->area = windowArea(*w);
    job->client = w->client;
    job->layout = captionLayout(*w);
    job->active = w->captionActive;
    job->pressed = w->pressedButton;
    job->title = w->title;
    return true;
}

void present(HWND topLevel, const RECT& dirty);

void paintCaptionBar(FramePainter& painter, const FrameJob& job) {
    const CaptionLayout& layout = job.layout;
    if (!layout.caption) return;
    painter.fillIndex(layout.bar, job.active ? COLOR_ACTIVECAPTION : COLOR_INACTIVECAPTION);
    painter.fillIndex(layout.line, COLOR_BTNFACE);
    const RECT textClip = painter.surfaceRect(layout.text);
    if (!isEmpty(textClip) && !job.title.empty()) {
        platform::drawCaptionText(
            painter.surface(), textClip, job.origin.x + layout.text.left,
            job.origin.y + layout.text.top + kCaptionTextInset, job.title.c_str(),
            systemColour(job.active ? COLOR_CAPTIONTEXT : COLOR_INACTIVECAPTIONTEXT));
    }
    const bool hasMaxBox = (job.style & WS_MAXIMIZEBOX) != 0;
    const bool hasMinBox = (job.style & WS_MINIMIZEBOX) != 0;
    drawCaptionButton(painter, layout.close, HTCLOSE, job.pressed == HTCLOSE, true);
    drawCaptionButton(painter, layout.maximize, HTMAXBUTTON, job.pressed == HTMAXBUTTON, hasMaxBox);
    drawCaptionButton(painter, layout.minimize, HTMINBUTTON, job.pressed == HTMINBUTTON, hasMinBox);
    drawCaptionButton(painter, layout.help, HTHELP, job.pressed == HTHELP, true);
}

// DefWindowProc's frame painting: borders by style, the caption bar with its buttons and title.
void paintFrame(HWND handle, bool captionOnly) {
    FrameJob job;
    {
        Lock lock(state().mutex);
        if (!frameJob(handle, &job)) return;
    }
    FramePainter painter(*job.surface, job.origin, job.clip);
    if (!captionOnly) {
        const int frame = outerFrame(job.style, job.exStyle);
        RECT ringRect = job.area;
        if (frame == kBorder) {
            painter.ring(ringRect, COLOR_WINDOWFRAME, COLOR_WINDOWFRAME);
            ringRect = shrink(ringRect, 1);
        } else if (frame > kBorder) {
            painter.ring(ringRect, COLOR_3DLIGHT, COLOR_3DDKSHADOW);
            painter.ring(shrink(ringRect, 1), COLOR_BTNHIGHLIGHT, COLOR_BTNSHADOW);
            const int face = (job.style & WS_THICKFRAME) != 0 ? COLOR_ACTIVEBORDER : COLOR_BTNFACE;
            for (int i = 2; i < frame; ++i)
                painter.ring(shrink(ringRect, i), face, face);
            ringRect = shrink(ringRect, frame);
        }
        if (job.layout.caption) ringRect.top = job.layout.line.bottom;
        if ((job.exStyle & WS_EX_STATICEDGE) != 0) {
            painter.ring(ringRect, COLOR_BTNSHADOW, COLOR_BTNHIGHLIGHT);
            ringRect = shrink(ringRect, 1);
        }
        if ((job.exStyle & WS_EX_CLIENTEDGE) != 0) {
            painter.ring(ringRect, COLOR_BTNSHADOW, COLOR_BTNHIGHLIGHT);
            painter.ring(shrink(ringRect, 1), COLOR_3DDKSHADOW, COLOR_3DLIGHT);
        }
    }
    paintCaptionBar(painter, job);
    present(job.topLevel, job.clip);
}

// ---------------------------------------------------------------------------------------------
// Display notifications (made without the mutex held)

void present(HWND topLevel, const RECT& dirty) {
    platform::Surface* surface = nullptr;
    {
        Lock lock(state().mutex);
        Window* top = findWindow(topLevel);
        if (top == nullptr || !top->surface || !visibleChain(*top)) return;
        surface = top->surface.get();
    }
    if (!isEmpty(dirty)) platform::display().present(topLevel, *surface, dirty);
}

void reportChanged(HWND handle) {
    platform::Surface* surface = nullptr;
    bool visible = false;
    {
        Lock lock(state().mutex);
        Window* w = findWindow(handle);
        if (w == nullptr || !w->surface) return;
        surface = w->surface.get();
        visible = visibleChain(*w);
    }
    platform::display().windowChanged(handle, *surface, visible);
}

// ---------------------------------------------------------------------------------------------
// Focus, activation and capture

HWND setFocus(HWND handle) {
    HWND previous = nullptr;
    {
        Lock lock(state().mutex);
        ThreadQueue* queue = ownQueue();
        previous = queue->focus;
        if (previous == handle) return previous;
        queue->focus = handle;
    }
    if (previous != nullptr && IsWindow(previous))
        send(previous, WM_KILLFOCUS, reinterpret_cast<WPARAM>(handle));
    if (handle != nullptr) send(handle, WM_SETFOCUS, reinterpret_cast<WPARAM>(previous));
    return previous;
}

HWND setActive(HWND handle) {
    HWND previous = nullptr;
    {
        Lock lock(state().mutex);
        ThreadQueue* queue = ownQueue();
        previous = queue->active;
        if (handle != nullptr) {
            moveInOrder(state().topLevels, handle, HWND_TOP);
            state().foreground = handle;
        }
        if (previous == handle) return previous;
        queue->active = handle;
    }
    if (previous != nullptr && IsWindow(previous)) {
        send(previous, WM_NCACTIVATE, FALSE, 0);
        send(previous, WM_ACTIVATE, WA_INACTIVE, reinterpret_cast<LPARAM>(handle));
    }
    if (handle != nullptr) {
        send(handle, WM_NCACTIVATE, TRUE, 0);
        send(handle, WM_ACTIVATE, WA_ACTIVE, reinterpret_cast<LPARAM>(previous));
    }
    return previous;
}

// Focus and activation leave a window that is hidden, disabled or destroyed.
void dropFocusAndActivation(HWND handle) {
    bool dropFocus = false;
    bool dropActive = false;
    {
        Lock lock(state().mutex);
        ThreadQueue* queue = ownQueue();
        dropFocus = queue->focus != nullptr && isDescendantOrSelf(handle, queue->focus);
        dropActive = queue->active != nullptr && queue->active == handle;
    }
    if (dropFocus) setFocus(nullptr);
    if (dropActive) setActive(nullptr);
}

void changeCapture(HWND handle) {
    HWND previous = nullptr;
    HWND topLevel = nullptr;
    {
        Lock lock(state().mutex);
        previous = state().capture;
        state().capture = handle;
        topLevel = topLevelOf(handle);
    }
    if (previous != handle) platform::display().captureChanged(topLevel);
    if (previous != nullptr && previous != handle)
        send(previous, WM_CAPTURECHANGED, 0, reinterpret_cast<LPARAM>(handle));
}

// ---------------------------------------------------------------------------------------------
// Destruction

// Forgets a window that has had its last message. Call with the lock held.
void forgetWindow(HWND handle, std::vector<HWND>* reportDestroyed) {
    State& s = state();
    Window* window = findWindow(handle);
    if (window == nullptr) return;
    if (Window* parent = findWindow(window->parent)) {
        auto& siblings = parent->children;
        siblings.erase(std::remove(siblings.begin(), siblings.end(), handle), siblings.end());
    }
    for (HWND child : window->children)
        if (Window* orphan = findWindow(child)) orphan->parent = nullptr;
    if (ThreadQueue* queue = queueOf(window->thread)) {
        auto& posted = queue->posted;
        posted.erase(std::remove_if(posted.begin(), posted.end(),
                                    [&](const MSG& entry) { return entry.hwnd == handle; }),
                     posted.end());
        auto& input = queue->input;
        input.erase(
            std::remove_if(input.begin(), input.end(),
                           [&](const InputEvent& event) { return event.topLevel == handle; }),
            input.end());
        auto& timers = queue->timers;
        const size_t before = timers.size();
        timers.erase(std::remove_if(timers.begin(), timers.end(),
                                    [&](const Timer& timer) { return timer.window == handle; }),
                     timers.end());
        s.timerCount -= static_cast<UINT>(before - timers.size());
        if (queue->focus == handle) queue->focus = nullptr;
        if (queue->active == handle) queue->active = nullptr;
    }
    if (s.capture == handle) s.capture = nullptr;
    if (s.foreground == handle) s.foreground = nullptr;
    if (s.lastPress.window == handle) s.lastPress = LastPress{};
    s.topLevels.erase(std::remove(s.topLevels.begin(), s.topLevels.end(), handle),
                      s.topLevels.end());
    if (window->windowClass != nullptr) --window->windowClass->windows;
    if (window->surface && reportDestroyed != nullptr) reportDestroyed->push_back(handle);
    s.windows.erase(handle);
}

// The children still to be destroyed with their parent, and the owned windows of other threads
// (which are released from their owner instead). Call with the lock held.
std::vector<HWND> claimChildren(HWND handle, bool childWindows) {
    std::vector<HWND> claimed;
    Window* window = findWindow(handle);
    if (window == nullptr) return claimed;
    for (HWND childHandle : window->children) {
        Window* child = findWindow(childHandle);
        if (child == nullptr || child->destroying) continue;
        const bool childKind = (child->style & WS_CHILD) != 0;
        if (childKind != childWindows) continue;
        if (!childKind && child->thread != GetCurrentThreadId()) continue;
        child->destroying = true;
        claimed.push_back(childHandle);
    }
    return claimed;
}

void destroyClaimed(HWND handle);

// WM_DESTROY goes to a window before its children; WM_NCDESTROY after them. Owned windows
// are destroyed completely before their owner hears of it.
void sendDestroyMessages(HWND handle, std::vector<HWND>* postOrder) {
    std::vector<HWND> children;
    {
        Lock lock(state().mutex);
        children = claimChildren(handle, true);
    }
    send(handle, WM_DESTROY);
    for (HWND child : children)
        sendDestroyMessages(child, postOrder);
    postOrder->push_back(handle);
}

void destroyClaimed(HWND handle) {
    std::vector<HWND> owned;
    {
        Lock lock(state().mutex);
        owned = claimChildren(handle, false);
    }
    for (HWND ownedWindow : owned)
        destroyClaimed(ownedWindow);
    std::vector<HWND> postOrder;
    sendDestroyMessages(handle, &postOrder);
    for (HWND window : postOrder) {
        send(window, WM_NCDESTROY);
        std::vector<HWND> destroyed;
        {
            Lock lock(state().mutex);
            forgetWindow(window, &destroyed);
        }
        for (HWND gone : destroyed)
            platform::display().windowDestroyed(gone);
    }
}

void removeThreadState(ThreadQueue* queue) {
    State& s = state();
    Lock lock(s.mutex);
    for (SentMessage* sent : queue->incoming)
        complete(sent, 0);
    queue->incoming.clear();
    // The thread's windows end with it; no procedure runs, the code behind them may be gone.
    std::vector<HWND> owned;
    for (auto& [handle, window] : s.windows)
        if (window.thread == queue->thread) owned.push_back(handle);
    std::vector<HWND> destroyed;
    for (HWND handle : owned)
        forgetWindow(handle, &destroyed);
    s.timerCount -= static_cast<UINT>(queue->timers.size());
    queue->timers.clear();
    auto found = s.queues.find(queue->thread);
    if (found != s.queues.end() && found->second == queue) s.queues.erase(found);
    lock.unlock();
    for (HWND gone : destroyed)
        platform::display().windowDestroyed(gone);
    delete queue;
}

bool extraIndexValid(const std::vector<unsigned char>& extra, int index) {
    return index >= 0 && static_cast<size_t>(index) + sizeof(LONG_PTR) <= extra.size();
}

// ---------------------------------------------------------------------------------------------
// Place, size and visibility (run on the owner thread)

void sendSizeAndMove(HWND handle) {
    RECT client{};
    POINT origin{};
    bool minimized = false;
    {
        Lock lock(state().mutex);
        Window* w = findWindow(handle);
        if (w == nullptr) return;
        client = w->client;
        origin = POINT{w->rect.left + w->client.left, w->rect.top + w->client.top};
        minimized = (w->style & WS_MINIMIZE) != 0;
    }
    send(handle, WM_SIZE, minimized ? SIZE_MINIMIZED : SIZE_RESTORED,
         minimized ? 0 : MAKELPARAM(widthOf(client), heightOf(client)));
    send(handle, WM_MOVE, 0, MAKELPARAM(origin.x, origin.y));
}

// Asks the window procedure for the client area of the window's current rectangle.
void calculateClient(HWND handle) {
    RECT rect{};
    {
        Lock lock(state().mutex);
        Window* w = findWindow(handle);
        if (w == nullptr) return;
        rect = w->rect;
    }
    RECT proposed = rect;
    send(handle, WM_NCCALCSIZE, FALSE, reinterpret_cast<LPARAM>(&proposed));
    Lock lock(state().mutex);
    Window* w = findWindow(handle);
    if (w == nullptr) return;
    RECT client = offset(proposed, -rect.left, -rect.top);
    client.left = std::clamp<LONG>(client.left, 0, widthOf(rect));
    client.top = std::clamp<LONG>(client.top, 0, heightOf(rect));
    client.right = std::clamp<LONG>(client.right, client.left, widthOf(rect));
    client.bottom = std::clamp<LONG>(client.bottom, client.top, heightOf(rect));
    w->client = client;
}

// Shows or hides without messages of its own; true when the visibility changed.
bool setVisible(HWND handle, bool visible) {
    Lock lock(state().mutex);
    Window* w = findWindow(handle);
    if (w == nullptr || ((w->style & WS_VISIBLE) != 0) == visible) return false;
    if (visible) {
        w->style |= WS_VISIBLE;
        invalidateWhole(handle, true);
    } else {
        w->style &= ~WS_VISIBLE;
        invalidateInParent(*w, w->rect);
    }
    return true;
}

BOOL setWindowPos(HWND handle, HWND insertAfter, int x, int y, int width, int height, UINT flags) {
    WINDOWPOS position{handle, insertAfter, x, y, width, height, flags};
    RECT before{};
    RECT clientBefore{};
    {
        Lock lock(state().mutex);
        Window* w = findWindow(handle);
        if (w == nullptr) return FALSE;
        before = w->rect;
        clientBefore = w->client;
        if ((flags & SWP_NOMOVE) != 0) {
            position.x = before.left;
            position.y = before.top;
        }
        if ((flags & SWP_NOSIZE) != 0) {
            position.cx = widthOf(before);
            position.cy = heightOf(before);
        }
    }
    if ((flags & SWP_NOSENDCHANGING) == 0)
        send(handle, WM_WINDOWPOSCHANGING, 0, reinterpret_cast<LPARAM>(&position));
    position.cx = std::max(0, position.cx);
    position.cy = std::max(0, position.cy);
    const RECT after{position.x, position.y, position.x + position.cx, position.y + position.cy};
    const bool moved = after.left != before.left || after.top != before.top;
    const bool sized = widthOf(after) != widthOf(before) || heightOf(after) != heightOf(before);
    bool surfaceResized = false;
    {
        Lock lock(state().mutex);
        Window* w = findWindow(handle);
        if (w == nullptr) return FALSE;
        if ((position.flags & SWP_NOZORDER) == 0) {
            if (isChild(*w)) {
                if (Window* parent = findWindow(w->parent))
                    moveInOrder(parent->children, handle, position.hwndInsertAfter);
            } else {
                moveInOrder(state().topLevels, handle, position.hwndInsertAfter);
            }
        }
        if ((moved || sized) && (w->style & WS_VISIBLE) != 0 &&
            (position.flags & SWP_NOREDRAW) == 0)
            invalidateInParent(*w, before);
        w->rect = after;
        if (sized && w->surface) {
            resizeSurface(*w);
            surfaceResized = true;
        }
    }
    if (sized || (flags & SWP_FRAMECHANGED) != 0) calculateClient(handle);
    {
        Lock lock(state().mutex);
        Window* w = findWindow(handle);
        if (w == nullptr) return TRUE;
        if ((sized || moved || (flags & SWP_FRAMECHANGED) != 0) && (w->style & WS_VISIBLE) != 0 &&
            (position.flags & SWP_NOREDRAW) == 0 &&
            (sized || isChild(*w) || (flags & SWP_FRAMECHANGED) != 0))
            invalidateWhole(handle, true);
        if (!moved) position.flags |= SWP_NOMOVE;
        if (!sized) position.flags |= SWP_NOSIZE;
        if (widthOf(w->client) == widthOf(clientBefore) &&
            heightOf(w->client) == heightOf(clientBefore))
            position.flags |= SWP_NOCLIENTSIZE;
        if (!moved && w->client.left == clientBefore.left && w->client.top == clientBefore.top)
            position.flags |= SWP_NOCLIENTMOVE;
    }
    bool visibilityChanged = false;
    if ((flags & SWP_SHOWWINDOW) != 0) visibilityChanged = setVisible(handle, true);
    if ((flags & SWP_HIDEWINDOW) != 0) {
        visibilityChanged = setVisible(handle, false);
        if (visibilityChanged) dropFocusAndActivation(handle);
    }
    if (surfaceResized || visibilityChanged) reportChanged(handle);
    send(handle, WM_WINDOWPOSCHANGED, 0, reinterpret_cast<LPARAM>(&position));
    if ((flags & SWP_SHOWWINDOW) != 0 && visibilityChanged && (flags & SWP_NOACTIVATE) == 0) {
        bool topLevel = false;
        {
            Lock lock(state().mutex);
            Window* w = findWindow(handle);
            topLevel = w != nullptr && !isChild(*w) && !w->messageOnly;
        }
        if (topLevel) setActive(handle);
    }
    return TRUE;
}

BOOL showWindow(HWND handle, int command) {
    bool wasVisible = false;
    bool minimized = false;
    bool topLevel = false;
    {
        Lock lock(state().mutex);
        Window* w = findWindow(handle);
        if (w == nullptr) return FALSE;
        wasVisible = (w->style & WS_VISIBLE) != 0;
        minimized = (w->style & WS_MINIMIZE) != 0;
        topLevel = !isChild(*w) && !w->messageOnly;
    }
    const UINT common = SWP_NOMOVE | SWP_NOSIZE | SWP_NOZORDER;
    switch (command) {
    case SW_HIDE:
        if (!wasVisible) return FALSE;
        send(handle, WM_SHOWWINDOW, FALSE, 0);
        setWindowPos(handle, nullptr, 0, 0, 0, 0, common | SWP_HIDEWINDOW | SWP_NOACTIVATE);
        return TRUE;
    case SW_MINIMIZE:
    case SW_SHOWMINIMIZED:
    case SW_SHOWMINNOACTIVE: {
        if (!minimized) {
            {
                Lock lock(state().mutex);
                if (Window* w = findWindow(handle)) w->style |= WS_MINIMIZE;
            }
            dropFocusAndActivation(handle);
            if (!wasVisible) send(handle, WM_SHOWWINDOW, TRUE, 0);
            setWindowPos(handle, nullptr, 0, 0, 0, 0, common | SWP_SHOWWINDOW | SWP_NOACTIVATE);
            reportChanged(handle);
            sendSizeAndMove(handle);
        }
        return wasVisible ? TRUE : FALSE;
    }
    default: {
        const bool activate = command != SW_SHOWNA && command != SW_SHOWNOACTIVATE;
        if (minimized && (command == SW_RESTORE || command == SW_SHOWNORMAL ||
                          command == SW_SHOWDEFAULT || command == SW_SHOWMAXIMIZED)) {
            {
                Lock lock(state().mutex);
                if (Window* w = findWindow(handle)) w->style &= ~WS_MINIMIZE;
                invalidateWhole(handle, true);
            }
            reportChanged(handle);
            sendSizeAndMove(handle);
        }
        if (!wasVisible) {
            send(handle, WM_SHOWWINDOW, TRUE, 0);
            setWindowPos(handle, nullptr, 0, 0, 0, 0,
                         common | SWP_SHOWWINDOW | (activate ? 0 : SWP_NOACTIVATE));
        } else if (activate && topLevel) {
            setActive(handle);
        }
        return wasVisible ? TRUE : FALSE;
    }
    }
}

// ---------------------------------------------------------------------------------------------
// Painting

HBRUSH colourBrush(int index) {
    if (index < 0 || index >= kColourCount) return nullptr;
    HBRUSH brush = nullptr;
    {
        Lock lock(state().mutex);
        brush = state().colourBrushes[static_cast<size_t>(index)];
    }
    if (brush != nullptr) return brush;
    brush = CreateSolidBrush(systemColour(index));
    Lock lock(state().mutex);
    HBRUSH& slot = state().colourBrushes[static_cast<size_t>(index)];
    if (slot == nullptr) slot = brush; // a brush made by a racing thread stays unused
    return slot;
}

// Sends WM_ERASEBKGND when the window asked for erasing; true when it was erased.
bool eraseIfAsked(HWND handle, HDC dc) {
    {
        Lock lock(state().mutex);
        Window* w = findWindow(handle);
        if (w == nullptr || !w->erase) return true;
        w->erase = false;
    }
    return send(handle, WM_ERASEBKGND, reinterpret_cast<WPARAM>(dc)) != 0;
}

void paintFrameIfPending(HWND handle) {
    {
        Lock lock(state().mutex);
        Window* w = findWindow(handle);
        if (w == nullptr || !w->ncPending) return;
        w->ncPending = false;
    }
    send(handle, WM_NCPAINT, 1);
}

// The first window of this thread with something to paint: depth first through the visible
// windows, a parent before its children, lower siblings before the ones above them.
HWND findPaintable(HWND handle, DWORD thread, HWND filter, bool* frameOnly) {
    Window* w = findWindow(handle);
    if (w == nullptr || (w->style & WS_VISIBLE) == 0 || (w->style & WS_MINIMIZE) != 0)
        return nullptr;
    if (w->thread == thread && (filter == nullptr || filter == handle) &&
        (w->updatePending || w->ncPending)) {
        *frameOnly = !w->updatePending;
        return handle;
    }
    const std::vector<HWND> children = childWindows(*w);
    for (auto it = children.rbegin(); it != children.rend(); ++it)
        if (HWND found = findPaintable(*it, thread, filter, frameOnly)) return found;
    return nullptr;
}

HWND nextPaintable(DWORD thread, HWND filter, bool* frameOnly) {
    const std::vector<HWND> order = state().topLevels;
    for (auto it = order.rbegin(); it != order.rend(); ++it)
        if (HWND found = findPaintable(*it, thread, filter, frameOnly)) return found;
    return nullptr;
}

void updateTree(HWND handle) {
    bool paint = false;
    {
        Lock lock(state().mutex);
        Window* w = findWindow(handle);
        if (w == nullptr || !visibleChain(*w)) return;
        paint = w->updatePending;
    }
    paintFrameIfPending(handle);
    if (paint) send(handle, WM_PAINT);
    std::vector<HWND> children;
    {
        Lock lock(state().mutex);
        Window* w = findWindow(handle);
        if (w == nullptr) return;
        children = childWindows(*w);
    }
    for (auto it = children.rbegin(); it != children.rend(); ++it)
        updateTree(*it);
}

// ---------------------------------------------------------------------------------------------
// Input

constexpr DWORD kKeyDown = 0x80;
constexpr DWORD kKeyToggled = 0x01;

bool isButtonDown(UINT message) {
    return message == WM_LBUTTONDOWN || message == WM_RBUTTONDOWN || message == WM_MBUTTONDOWN ||
           message == WM_LBUTTONDBLCLK || message == WM_RBUTTONDBLCLK ||
           message == WM_MBUTTONDBLCLK;
}

// The press form of a (client) mouse message: down, up, double click or move.
UINT pressOf(UINT message) {
    switch (message) {
    case WM_LBUTTONDBLCLK:
        return WM_LBUTTONDOWN;
    case WM_RBUTTONDBLCLK:
        return WM_RBUTTONDOWN;
    case WM_MBUTTONDBLCLK:
        return WM_MBUTTONDOWN;
    default:
        return message;
    }
}

WPARAM buttonKey(UINT message) {
    switch (message) {
    case WM_LBUTTONDOWN:
    case WM_LBUTTONUP:
        return MK_LBUTTON;
    case WM_RBUTTONDOWN:
    case WM_RBUTTONUP:
        return MK_RBUTTON;
    case WM_MBUTTONDOWN:
    case WM_MBUTTONUP:
        return MK_MBUTTON;
    default:
        return 0;
    }
}

// The key state of a mouse message: the pressed button down, the released one up.
WPARAM keysWith(UINT message, WPARAM keys) {
    const UINT press = pressOf(message);
    return isButtonDown(press) ? keys | buttonKey(press) : keys & ~buttonKey(press);
}

// The key state a mouse message carries, as the keys table records it.
void applyMouseKeys(std::array<BYTE, 256>& keys, WPARAM wParam) {
    auto set = [&](int key, bool down) {
        keys[static_cast<size_t>(key)] = static_cast<BYTE>(
            (keys[static_cast<size_t>(key)] & kKeyToggled) | (down ? kKeyDown : 0));
    };
    set(VK_LBUTTON, (wParam & MK_LBUTTON) != 0);
    set(VK_RBUTTON, (wParam & MK_RBUTTON) != 0);
    set(VK_MBUTTON, (wParam & MK_MBUTTON) != 0);
    set(VK_SHIFT, (wParam & MK_SHIFT) != 0);
    set(VK_CONTROL, (wParam & MK_CONTROL) != 0);
}

void applyKey(std::array<BYTE, 256>& keys, UINT message, WPARAM virtualKey) {
    const bool down = message == WM_KEYDOWN || message == WM_SYSKEYDOWN;
    const bool up = message == WM_KEYUP || message == WM_SYSKEYUP;
    if (!down && !up) return;
    auto set = [&](WPARAM key) {
        BYTE& entry = keys[key & 0xff];
        const bool wasDown = (entry & kKeyDown) != 0;
        if (down)
            entry = static_cast<BYTE>((wasDown ? entry : entry ^ kKeyToggled) | kKeyDown);
        else
            entry = static_cast<BYTE>(entry & ~kKeyDown);
    };
    set(virtualKey);
    if (virtualKey == VK_LSHIFT || virtualKey == VK_RSHIFT) set(VK_SHIFT);
    if (virtualKey == VK_LCONTROL || virtualKey == VK_RCONTROL) set(VK_CONTROL);
    if (virtualKey == VK_LMENU || virtualKey == VK_RMENU) set(VK_MENU);
}

// The deepest visible, enabled window under a screen point, starting at a top-level window.
HWND windowUnder(HWND topLevel, POINT screen) {
    Window* w = findWindow(topLevel);
    if (w == nullptr || !visibleChain(*w) || !enabledChain(*w)) return nullptr;
    const POINT origin = screenOrigin(*w);
    if (!contains(windowArea(*w), screen.x - origin.x, screen.y - origin.y)) return nullptr;
    HWND current = topLevel;
    for (;;) {
        Window* parent = findWindow(current);
        const POINT client = clientScreenOrigin(*parent);
        if (!contains(parent->client, screen.x - client.x + parent->client.left,
                      screen.y - client.y + parent->client.top))
            return current;
        HWND deeper = nullptr;
        for (HWND childHandle : childWindows(*parent)) {
            Window* child = findWindow(childHandle);
            if ((child->style & WS_VISIBLE) == 0 || (child->style & WS_DISABLED) != 0) continue;
            if (contains(child->rect, screen.x - client.x, screen.y - client.y)) {
                deeper = childHandle;
                break;
            }
        }
        if (deeper == nullptr) return current;
        current = deeper;
    }
}

struct Routed {
    HWND window = nullptr;
    UINT message = 0;
    WPARAM wParam = 0;
    LPARAM lParam = 0;
    LRESULT hit = HTNOWHERE;
    bool doubleClick = false;
};

UINT nonClientForm(UINT message) {
    return message - WM_MOUSEMOVE + WM_NCMOUSEMOVE;
}

UINT doubleClickForm(UINT press) {
    return press + (WM_LBUTTONDBLCLK - WM_LBUTTONDOWN);
}

// Where a mouse event goes now: the capture window, or the window under the pointer asked for
// its hit test (sent without the lock).
Routed routeMouse(Lock& lock, const InputEvent& event) {
    Routed routed;
    const UINT press = pressOf(event.message);
    const WPARAM keys = keysWith(event.message, event.wParam);
    HWND capture = state().capture;
    Window* captureWindow = findWindow(capture);
    if (captureWindow != nullptr && captureWindow->thread == GetCurrentThreadId()) {
        const POINT client = clientScreenOrigin(*captureWindow);
        routed.window = capture;
        routed.message = press;
        routed.wParam = keys;
        routed.lParam = MAKELPARAM(event.screen.x - client.x, event.screen.y - client.y);
        routed.hit = HTCLIENT;
        return routed;
    }
    HWND target = windowUnder(event.topLevel, event.screen);
    if (target == nullptr) return routed;
    lock.unlock();
    const LRESULT hit = send(target, WM_NCHITTEST, 0, MAKELPARAM(event.screen.x, event.screen.y));
    lock.lock();
    Window* w = findWindow(target);
    if (w == nullptr || hit == HTNOWHERE || hit == HTERROR || hit == HTTRANSPARENT) return routed;
    routed.window = target;
    routed.hit = hit;
    if (hit == HTCLIENT) {
        const POINT client = clientScreenOrigin(*w);
        routed.message = press;
        routed.wParam = keys;
        routed.lParam = MAKELPARAM(event.screen.x - client.x, event.screen.y - client.y);
    } else {
        routed.message = nonClientForm(press);
        routed.wParam = static_cast<WPARAM>(hit);
        routed.lParam = MAKELPARAM(event.screen.x, event.screen.y);
    }
    // Two presses of one button on one window and area, close in time and place, make a double
    // click; in the client area only for classes that ask for it.
    const LastPress& last = state().lastPress;
    if (press != WM_MOUSEMOVE && isButtonDown(press) && last.window == target &&
        last.message == press && last.client == (hit == HTCLIENT) &&
        event.time - last.time <= kDoubleClickTimeMs &&
        std::abs(event.screen.x - last.screen.x) <= kDoubleClickSize / 2 &&
        std::abs(event.screen.y - last.screen.y) <= kDoubleClickSize / 2 &&
        (hit != HTCLIENT || (w->windowClass->info.style & CS_DBLCLKS) != 0)) {
        routed.doubleClick = true;
        routed.message =
            hit == HTCLIENT ? doubleClickForm(press) : nonClientForm(doubleClickForm(press));
    }
    return routed;
}

// The wheel turns for the focus window, as keys do.
Routed routeWheel(const InputEvent& event, ThreadQueue* queue) {
    Routed routed;
    HWND target = queue->focus;
    if (target == nullptr || findWindow(target) == nullptr) target = event.topLevel;
    if (findWindow(target) == nullptr) return routed;
    routed.window = target;
    routed.message = WM_MOUSEWHEEL;
    routed.wParam = event.wParam;
    routed.lParam = MAKELPARAM(event.screen.x, event.screen.y);
    return routed;
}

Routed routeKey(const InputEvent& event, ThreadQueue* queue) {
    Routed routed;
    HWND target = queue->focus;
    if (target == nullptr || findWindow(target) == nullptr) target = event.topLevel;
    if (findWindow(target) == nullptr) return routed;
    routed.window = target;
    routed.message = event.message;
    routed.wParam = event.wParam;
    routed.lParam = event.lParam;
    return routed;
}

// Records what taking a routed event changes: the key table and the last press.
void commitInput(const InputEvent& event, const Routed& routed) {
    State& s = state();
    if (event.mouse) {
        const UINT press = pressOf(event.message);
        applyMouseKeys(s.keys, keysWith(event.message, event.wParam & 0xffff));
        if (isButtonDown(press)) {
            if (routed.doubleClick) {
                s.lastPress = LastPress{};
            } else {
                s.lastPress.window = routed.window;
                s.lastPress.message = press;
                s.lastPress.client = routed.hit == HTCLIENT;
                s.lastPress.screen = event.screen;
                s.lastPress.time = event.time;
            }
        }
    } else {
        applyKey(s.keys, event.message, event.wParam);
    }
}

BOOL injectInput(HWND topLevel, const InputEvent& prototype) {
    State& s = state();
    Lock lock(s.mutex);
    Window* w = validWindow(topLevel);
    if (w == nullptr) return FALSE;
    ThreadQueue* queue = queueOf(w->thread);
    if (queue == nullptr) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return FALSE;
    }
    InputEvent event = prototype;
    event.serial = s.nextSerial++;
    event.topLevel = topLevel;
    event.time = GetTickCount();
    if (event.mouse) {
        s.cursor = event.screen;
        applyMouseKeys(s.keysAsync, keysWith(event.message, event.wParam & 0xffff));
    } else {
        applyKey(s.keysAsync, event.message, event.wParam);
    }
    queue->input.push_back(event);
    queue->wake.notify_all();
    return TRUE;
}

// ---------------------------------------------------------------------------------------------
// Timers

bool isDue(DWORD now, DWORD due) {
    return static_cast<int32_t>(now - due) >= 0;
}

// The due timer that passes the filter (earliest first); null when none.
Timer* dueTimer(ThreadQueue* queue, HWND filter, UINT filterMin, UINT filterMax, DWORD now) {
    Timer* best = nullptr;
    for (Timer& timer : queue->timers) {
        if (!isDue(now, timer.due)) continue;
        if (!matchesFilter(timer.window, WM_TIMER, filter, filterMin, filterMax)) continue;
        if (best == nullptr || static_cast<int32_t>(timer.due - best->due) < 0 ||
            (timer.due == best->due && timer.serial < best->serial))
            best = &timer;
    }
    return best;
}

// The next period's start after `now`; missed periods are not made up.
void rearm(Timer& timer, DWORD now) {
    const DWORD late = now - timer.due;
    timer.due += (late / timer.periodMs + 1) * timer.periodMs;
}

// How long a blocked GetMessageA may wait for the next timer (INFINITE with the manual clock).
DWORD waitForTimers(const ThreadQueue* queue) {
    if (queue->timers.empty() || platform::manualClockOn()) return INFINITE;
    const DWORD now = GetTickCount();
    DWORD wait = INFINITE;
    for (const Timer& timer : queue->timers)
        wait = std::min(wait, isDue(now, timer.due) ? 0 : timer.due - now);
    return wait;
}

bool isTimerProcedure(ThreadQueue* queue, HWND window, UINT_PTR id, LPARAM procedure) {
    for (const Timer& timer : queue->timers)
        if (timer.window == window && timer.id == id &&
            reinterpret_cast<LPARAM>(timer.procedure) == procedure)
            return true;
    return false;
}

// ---------------------------------------------------------------------------------------------
// Taking messages

enum class Pump { Message, Empty, BadFilter };

void fill(MSG* out, HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam, DWORD time, POINT pt) {
    out->hwnd = hwnd;
    out->message = message;
    out->wParam = wParam;
    out->lParam = lParam;
    out->time = time;
    out->pt = pt;
}

// One look at the queue in priority order. Call with the lock held; it is released while window
// procedures run (sent messages, hit tests, frame painting).
Pump pump(Lock& lock, ThreadQueue* queue, MSG* out, HWND filter, UINT filterMin, UINT filterMax,
          bool remove) {
    for (;;) {
        while (!queue->incoming.empty())
            runOneIncoming(lock, queue);
        if (!validFilter(filter)) return Pump::BadFilter;
        for (auto it = queue->posted.begin(); it != queue->posted.end(); ++it) {
            if (!matchesFilter(it->hwnd, it->message, filter, filterMin, filterMax)) continue;
            *out = *it;
            if (remove) queue->posted.erase(it);
            return Pump::Message;
        }
        if (queue->quitPending) {
            fill(out, nullptr, WM_QUIT, static_cast<WPARAM>(queue->quitCode), 0, GetTickCount(),
                 state().cursor);
            if (remove) queue->quitPending = false;
            return Pump::Message;
        }
        if (!queue->input.empty()) {
            const InputEvent event = queue->input.front();
            Routed routed = !event.mouse                       ? routeKey(event, queue)
                            : event.message == WM_MOUSEWHEEL ? routeWheel(event, queue)
                                                             : routeMouse(lock, event);
            if (!queue->incoming.empty()) continue; // sent while the hit test ran
            if (!queue->input.empty() && queue->input.front().serial == event.serial) {
                if (routed.window == nullptr) { // nobody takes it
                    queue->input.pop_front();
                    continue;
                }
                if (matchesFilter(routed.window, routed.message, filter, filterMin, filterMax)) {
                    fill(out, routed.window, routed.message, routed.wParam, routed.lParam,
                         event.time, event.mouse ? event.screen : state().cursor);
                    if (!remove) return Pump::Message;
                    queue->input.pop_front();
                    commitInput(event, routed);
                    // A press on an inactive top-level window activates it first.
                    HWND top = topLevelOf(routed.window);
                    const bool activate = event.mouse && isButtonDown(pressOf(event.message)) &&
                                          top != nullptr && queue->active != top;
                    const bool setCursor = event.mouse && event.message != WM_MOUSEWHEEL &&
                                           state().capture == nullptr;
                    if (activate || setCursor) {
                        lock.unlock();
                        if (activate) setActive(top);
                        if (setCursor)
                            send(routed.window, WM_SETCURSOR,
                                 reinterpret_cast<WPARAM>(routed.window),
                                 MAKELPARAM(routed.hit, pressOf(event.message)));
                        lock.lock();
                    }
                    return Pump::Message;
                }
            } else {
                continue; // the queue changed while the hit test ran: look again
            }
        }
        bool frameOnly = false;
        const bool paintWanted =
            filter != kThreadMessagesOnly && ((filterMin == 0 && filterMax == 0) ||
                                              (WM_PAINT >= filterMin && WM_PAINT <= filterMax));
        if (HWND paintable =
                paintWanted ? nextPaintable(queue->thread, filter, &frameOnly) : nullptr) {
            if (frameOnly) {
                lock.unlock();
                paintFrameIfPending(paintable);
                lock.lock();
                continue;
            }
            fill(out, paintable, WM_PAINT, 0, 0, GetTickCount(), state().cursor);
            return Pump::Message;
        }
        const DWORD now = GetTickCount();
        if (Timer* timer = dueTimer(queue, filter, filterMin, filterMax, now)) {
            fill(out, timer->window, WM_TIMER, timer->id,
                 reinterpret_cast<LPARAM>(timer->procedure), now, state().cursor);
            if (remove) rearm(*timer, now);
            return Pump::Message;
        }
        return Pump::Empty;
    }
}

// Waits for the next message or due timer; threads in PlatformWaitForIdle learn that this one
// has run out of work.
void blockUntilWoken(Lock& lock, ThreadQueue* queue) {
    queue->blocked = true;
    for (ThreadQueue* watcher : state().idleWatchers)
        watcher->wake.notify_all();
    const DWORD wait = waitForTimers(queue);
    if (wait == INFINITE)
        queue->wake.wait(lock);
    else
        queue->wake.wait_for(lock, std::chrono::milliseconds(wait));
    queue->blocked = false;
}

// Whether the thread has something to take: sent, posted, quit, input, painting or a due timer.
bool hasWork(ThreadQueue* queue) {
    bool frameOnly = false;
    return !queue->incoming.empty() || !queue->posted.empty() || queue->quitPending ||
           !queue->input.empty() || nextPaintable(queue->thread, nullptr, &frameOnly) != nullptr ||
           dueTimer(queue, nullptr, 0, 0, GetTickCount()) != nullptr;
}

void noteTaken(ThreadQueue* queue, const MSG& message) {
    queue->lastMessagePos = static_cast<DWORD>(MAKELONG(message.pt.x, message.pt.y));
    queue->lastMessageTime = message.time;
}

// ---------------------------------------------------------------------------------------------
// Default processing

RECT captionButtonRect(const Window& w, LRESULT kind) {
    const CaptionLayout layout = captionLayout(w);
    switch (kind) {
    case HTCLOSE:
        return layout.close;
    case HTMAXBUTTON:
        return layout.maximize;
    case HTMINBUTTON:
        return layout.minimize;
    case HTHELP:
        return layout.help;
    default:
        return RECT{};
    }
}

void setPressed(HWND handle, LRESULT kind) {
    {
        Lock lock(state().mutex);
        Window* w = findWindow(handle);
        if (w == nullptr || w->pressedButton == kind) return;
        w->pressedButton = kind;
    }
    paintFrame(handle, true);
}

// A press on a caption button: the button shows pressed while the pointer is on it; releasing
// it there carries out its command. Runs its own message loop with the mouse captured.
void trackCaptionButton(HWND handle, LRESULT kind) {
    RECT button{};
    bool enabled = true;
    {
        Lock lock(state().mutex);
        Window* w = findWindow(handle);
        if (w == nullptr) return;
        button = captionButtonRect(*w, kind);
        if (kind == HTMAXBUTTON) enabled = (w->style & WS_MAXIMIZEBOX) != 0;
        if (kind == HTMINBUTTON) enabled = (w->style & WS_MINIMIZEBOX) != 0;
    }
    if (isEmpty(button) || !enabled) return;
    SetCapture(handle);
    setPressed(handle, kind);
    bool inside = true;
    bool released = false;
    MSG message{};
    while (!released && GetCapture() == handle) {
        const BOOL got = GetMessageA(&message, nullptr, 0, 0);
        if (got <= 0) {
            if (got == 0) PostQuitMessage(static_cast<int>(message.wParam));
            break;
        }
        if (message.hwnd == handle &&
            (message.message == WM_MOUSEMOVE || message.message == WM_LBUTTONUP)) {
            POINT p{GET_X_LPARAM(message.lParam), GET_Y_LPARAM(message.lParam)};
            {
                Lock lock(state().mutex);
                Window* w = findWindow(handle);
                if (w == nullptr) return;
                p.x += w->client.left;
                p.y += w->client.top;
            }
            inside = contains(button, p.x, p.y);
            setPressed(handle, inside ? kind : HTNOWHERE);
            released = message.message == WM_LBUTTONUP;
            continue;
        }
        TranslateMessage(&message);
        DispatchMessageA(&message);
    }
    if (GetCapture() == handle) ReleaseCapture();
    setPressed(handle, HTNOWHERE);
    if (!released || !inside) return;
    const WPARAM command = kind == HTCLOSE       ? SC_CLOSE
                           : kind == HTMINBUTTON ? SC_MINIMIZE
                           : kind == HTMAXBUTTON ? SC_MAXIMIZE
                                                 : SC_CONTEXTHELP;
    send(handle, WM_SYSCOMMAND, command, static_cast<LPARAM>(GetMessagePos()));
}

LRESULT defaultSetCursor(HWND handle, LPARAM lParam) {
    HWND parent = nullptr;
    HCURSOR classCursor = nullptr;
    {
        Lock lock(state().mutex);
        Window* w = findWindow(handle);
        if (w == nullptr) return FALSE;
        if (isChild(*w)) parent = w->parent;
        classCursor = w->windowClass->info.hCursor;
    }
    if (parent != nullptr &&
        send(parent, WM_SETCURSOR, reinterpret_cast<WPARAM>(handle), lParam) != 0)
        return TRUE;
    const auto hit = static_cast<SHORT>(LOWORD(lParam));
    if (hit == HTCLIENT) {
        if (classCursor == nullptr) return FALSE;
        SetCursor(classCursor);
        return TRUE;
    }
    if (hit == HTERROR) return FALSE;
    SetCursor(LoadCursorA(nullptr, IDC_ARROW));
    return FALSE;
}

// ---------------------------------------------------------------------------------------------
// Accelerators and characters

// The character a key makes on a US keyboard, 0 for none.
char characterOf(WPARAM key, bool shift, bool control) {
    if (key >= 'A' && key <= 'Z') {
        if (control) return static_cast<char>(key - 'A' + 1);
        return static_cast<char>(shift ? key : key - 'A' + 'a');
    }
    if (control) return key == VK_BACK ? 0x7f : 0;
    if (key >= '0' && key <= '9') return shift ? ")!@#$%^&*("[key - '0'] : static_cast<char>(key);
    if (key >= VK_NUMPAD0 && key <= VK_NUMPAD9) return static_cast<char>('0' + key - VK_NUMPAD0);
    switch (key) {
    case VK_SPACE:
        return ' ';
    case VK_RETURN:
        return '\r';
    case VK_BACK:
        return '\b';
    case VK_TAB:
        return '\t';
    case VK_ESCAPE:
        return 0x1b;
    case VK_MULTIPLY:
        return '*';
    case VK_ADD:
        return '+';
    case VK_SUBTRACT:
        return '-';
    case VK_DECIMAL:
        return '.';
    case VK_DIVIDE:
        return '/';
    case VK_OEM_1:
        return shift ? ':' : ';';
    case VK_OEM_PLUS:
        return shift ? '+' : '=';
    case VK_OEM_COMMA:
        return shift ? '<' : ',';
    case VK_OEM_MINUS:
        return shift ? '_' : '-';
    case VK_OEM_PERIOD:
        return shift ? '>' : '.';
    case VK_OEM_2:
        return shift ? '?' : '/';
    case VK_OEM_3:
        return shift ? '~' : '`';
    case VK_OEM_4:
        return shift ? '{' : '[';
    case VK_OEM_5:
        return shift ? '|' : '\\';
    case VK_OEM_6:
        return shift ? '}' : ']';
    case VK_OEM_7:
        return shift ? '"' : '\'';
    default:
        return 0;
    }
}

bool keyDown(int key) {
    return (state().keys[static_cast<size_t>(key) & 0xff] & kKeyDown) != 0;
}

// System cursors: one object per identifier, alive for the process.
struct SystemCursor {
    uintptr_t id;
};
constexpr std::array<uintptr_t, 14> kSystemCursorIds = {32512, 32513, 32514, 32515, 32516,
                                                        32642, 32643, 32644, 32645, 32646,
                                                        32648, 32649, 32650, 32651};
SystemCursor systemCursors[kSystemCursorIds.size()] = {{32512}, {32513}, {32514}, {32515}, {32516},
                                                       {32642}, {32643}, {32644}, {32645}, {32646},
                                                       {32648}, {32649}, {32650}, {32651}};

} // namespace

// ---------------------------------------------------------------------------------------------
// The seam with the drawing code and the display

namespace platform {

bool windowDrawArea(HWND window, bool wholeWindow, WindowDrawArea* area) {
    Lock lock(state().mutex);
    Window* w = findWindow(window);
    if (w == nullptr || area == nullptr || !visibleChain(*w)) return false;
    Window* top = findWindow(topLevelOf(window));
    if (top == nullptr || !top->surface) return false;
    area->surface = top->surface.get();
    POINT origin = surfaceOrigin(*w);
    if (!wholeWindow) {
        origin.x += w->client.left;
        origin.y += w->client.top;
    }
    area->origin = origin;
    area->clip = visibleArea(*w, wholeWindow);
    return true;
}

void surfaceChanged(HWND window, const RECT& dirty) {
    HWND top = nullptr;
    {
        Lock lock(state().mutex);
        top = topLevelOf(window);
    }
    if (top != nullptr) present(top, dirty);
}

} // namespace platform

extern "C" {

// ---------------------------------------------------------------------------------------------
// Classes

ATOM RegisterClassA(const WNDCLASSA* windowClass) {
    if (windowClass == nullptr || windowClass->lpfnWndProc == nullptr ||
        reinterpret_cast<uintptr_t>(windowClass->lpszClassName) < kAtomLimit ||
        windowClass->lpszClassName[0] == '\0' || windowClass->cbClsExtra < 0 ||
        windowClass->cbWndExtra < 0) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    State& s = state();
    Lock lock(s.mutex);
    const std::string key = lowerCase(windowClass->lpszClassName);
    if (s.classes.count(key) != 0) {
        SetLastError(ERROR_CLASS_ALREADY_EXISTS);
        return 0;
    }
    WindowClass& entry = s.classes[key];
    entry.name = windowClass->lpszClassName;
    entry.info = *windowClass;
    if (reinterpret_cast<uintptr_t>(windowClass->lpszMenuName) >= kAtomLimit) {
        entry.menuName = windowClass->lpszMenuName;
        entry.info.lpszMenuName = entry.menuName.c_str();
    }
    entry.info.lpszClassName = entry.name.c_str();
    entry.extra.assign(static_cast<size_t>(std::min(windowClass->cbClsExtra, kMaxWindowExtraBytes)),
                       0);
    entry.atom = s.nextAtom++;
    if (s.nextAtom == 0) s.nextAtom = kFirstClassAtom;
    return entry.atom;
}

BOOL UnregisterClassA(LPCSTR className, HINSTANCE) {
    State& s = state();
    Lock lock(s.mutex);
    WindowClass* found = findClass(className);
    if (found == nullptr) {
        SetLastError(ERROR_CLASS_DOES_NOT_EXIST);
        return FALSE;
    }
    if (found->windows > 0) {
        SetLastError(ERROR_CLASS_HAS_WINDOWS);
        return FALSE;
    }
    s.classes.erase(lowerCase(found->name.c_str()));
    return TRUE;
}

BOOL GetClassInfoA(HINSTANCE, LPCSTR className, WNDCLASSA* windowClass) {
    State& s = state();
    Lock lock(s.mutex);
    WindowClass* found = findClass(className);
    if (found == nullptr || windowClass == nullptr) {
        SetLastError(found == nullptr ? ERROR_CLASS_DOES_NOT_EXIST : ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    *windowClass = found->info;
    return TRUE;
}

int GetClassNameA(HWND handle, LPSTR name, int size) {
    Lock lock(state().mutex);
    Window* w = validWindow(handle);
    if (w == nullptr) return 0;
    if (name == nullptr || size <= 0) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    std::snprintf(name, static_cast<size_t>(size), "%s", w->windowClass->name.c_str());
    return static_cast<int>(std::strlen(name));
}

uintptr_t GetClassLongPtrA(HWND handle, int index) {
    Lock lock(state().mutex);
    Window* w = validWindow(handle);
    if (w == nullptr) return 0;
    const WNDCLASSA& info = w->windowClass->info;
    switch (index) {
    case GCLP_HBRBACKGROUND:
        return reinterpret_cast<uintptr_t>(info.hbrBackground);
    case GCLP_HCURSOR:
        return reinterpret_cast<uintptr_t>(info.hCursor);
    case GCLP_HICON:
        return reinterpret_cast<uintptr_t>(info.hIcon);
    case GCLP_HMODULE:
        return reinterpret_cast<uintptr_t>(info.hInstance);
    case GCLP_WNDPROC:
        return reinterpret_cast<uintptr_t>(info.lpfnWndProc);
    case GCLP_MENUNAME:
        return reinterpret_cast<uintptr_t>(info.lpszMenuName);
    case GCL_STYLE:
        return info.style;
    case GCL_CBWNDEXTRA:
        return static_cast<uintptr_t>(info.cbWndExtra);
    case GCL_CBCLSEXTRA:
        return static_cast<uintptr_t>(info.cbClsExtra);
    case GCW_ATOM:
        return w->windowClass->atom;
    default:
        break;
    }
    if (!extraIndexValid(w->windowClass->extra, index)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    uintptr_t value = 0;
    std::memcpy(&value, w->windowClass->extra.data() + index, sizeof value);
    return value;
}

uintptr_t SetClassLongPtrA(HWND handle, int index, LONG_PTR value) {
    Lock lock(state().mutex);
    Window* w = validWindow(handle);
    if (w == nullptr) return 0;
    WNDCLASSA& info = w->windowClass->info;
    uintptr_t previous = 0;
    auto swapPointer = [&](auto& field) {
        previous = reinterpret_cast<uintptr_t>(field);
        field = reinterpret_cast<std::remove_reference_t<decltype(field)>>(value);
    };
    switch (index) {
    case GCLP_HBRBACKGROUND:
        swapPointer(info.hbrBackground);
        break;
    case GCLP_HCURSOR:
        swapPointer(info.hCursor);
        break;
    case GCLP_HICON:
        swapPointer(info.hIcon);
        break;
    case GCLP_WNDPROC:
        swapPointer(info.lpfnWndProc);
        break;
    case GCL_STYLE:
        previous = info.style;
        info.style = static_cast<UINT>(value);
        break;
    default:
        if (!extraIndexValid(w->windowClass->extra, index)) {
            SetLastError(ERROR_INVALID_PARAMETER);
            return 0;
        }
        std::memcpy(&previous, w->windowClass->extra.data() + index, sizeof previous);
        std::memcpy(w->windowClass->extra.data() + index, &value, sizeof value);
        break;
    }
    SetLastError(ERROR_SUCCESS);
    return previous;
}

// ---------------------------------------------------------------------------------------------
// Windows

HWND CreateWindowExA(DWORD exStyle, LPCSTR className, LPCSTR windowName, DWORD style, int x, int y,
                     int width, int height, HWND parent, HMENU menu, HINSTANCE instance,
                     void* param) {
    // The predefined classes exist before any dialog does (registered outside the lock).
    platform::registerPredefinedClasses();
    State& s = state();
    Lock lock(s.mutex);
    WindowClass* windowClass = findClass(className);
    if (windowClass == nullptr) {
        SetLastError(ERROR_CLASS_DOES_NOT_EXIST);
        return nullptr;
    }
    const bool messageOnly = parent == HWND_MESSAGE;
    if (messageOnly) parent = nullptr;
    if (parent != nullptr && findWindow(parent) == nullptr) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return nullptr;
    }
    const bool child = (style & WS_CHILD) != 0;
    if (child && parent == nullptr && !messageOnly) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    // Overlapped top-level windows always have a caption.
    if (!child && (style & WS_POPUP) == 0) style |= WS_CAPTION | WS_CLIPSIBLINGS;
    if (x == CW_USEDEFAULT) x = y = 0;
    if (width == CW_USEDEFAULT) {
        width = child ? 0 : kDefaultWidth;
        height = child ? 0 : kDefaultHeight;
    }
    width = std::max(0, width);
    height = std::max(0, height);

    const HWND handle = reinterpret_cast<HWND>(s.nextWindow++ << 4);
    Window& window = s.windows[handle];
    window.windowClass = windowClass;
    ++windowClass->windows;
    window.procedure = windowClass->info.lpfnWndProc;
    window.title = windowName != nullptr ? windowName : "";
    window.style = style & ~WS_VISIBLE;
    window.exStyle = exStyle;
    window.parent = parent;
    window.messageOnly = messageOnly;
    window.thread = GetCurrentThreadId();
    window.instance = instance;
    window.id = child ? reinterpret_cast<LONG_PTR>(menu) : 0;
    window.rect = RECT{x, y, x + width, y + height};
    const int extraBytes = windowClass->info.cbWndExtra;
    if (extraBytes > 0) window.extra.assign(std::min(extraBytes, kMaxWindowExtraBytes), 0);
    if (parent != nullptr) findWindow(parent)->children.push_back(handle);
    if (!(child && parent != nullptr)) {
        s.topLevels.insert(s.topLevels.begin(), handle);
        if (!messageOnly) {
            window.surface = std::make_unique<platform::Surface>();
            resizeSurface(window);
        }
    }
    const std::string classNameCopy = windowClass->name;
    const bool hasSurface = window.surface != nullptr;
    platform::Surface* surface = window.surface.get();
    ownQueue();
    lock.unlock();

    CREATESTRUCTA create{param,
                         instance,
                         menu,
                         parent,
                         height,
                         width,
                         y,
                         x,
                         static_cast<LONG>(style & ~WS_VISIBLE),
                         windowName,
                         classNameCopy.c_str(),
                         exStyle};
    auto refuse = [&]() -> HWND {
        if (IsWindow(handle)) DestroyWindow(handle);
        return nullptr;
    };
    if (send(handle, WM_NCCREATE, 0, reinterpret_cast<LPARAM>(&create)) == FALSE) return refuse();
    calculateClient(handle);
    if (hasSurface) platform::display().windowCreated(handle, *surface);
    if (send(handle, WM_CREATE, 0, reinterpret_cast<LPARAM>(&create)) == kCreateRefused)
        return refuse();
    if (!IsWindow(handle)) return nullptr;
    sendSizeAndMove(handle);
    if (child && parent != nullptr && (exStyle & WS_EX_NOPARENTNOTIFY) == 0)
        send(parent, WM_PARENTNOTIFY, MAKEWPARAM(WM_CREATE, reinterpret_cast<uintptr_t>(menu)),
             reinterpret_cast<LPARAM>(handle));
    if ((style & WS_VISIBLE) != 0 && IsWindow(handle)) ShowWindow(handle, SW_SHOW);
    return IsWindow(handle) ? handle : nullptr;
}

BOOL DestroyWindow(HWND handle) {
    HWND parent = nullptr;
    LONG_PTR id = 0;
    bool notifyParent = false;
    bool hadCapture = false;
    {
        Lock lock(state().mutex);
        Window* window = validWindow(handle);
        if (window == nullptr) return FALSE;
        if (window->thread != GetCurrentThreadId()) {
            SetLastError(ERROR_ACCESS_DENIED);
            return FALSE;
        }
        if (window->destroying) return TRUE; // already on its way
        window->destroying = true;
        if (isChild(*window)) {
            parent = window->parent;
            id = window->id;
            notifyParent = (window->exStyle & WS_EX_NOPARENTNOTIFY) == 0;
            if ((window->style & WS_VISIBLE) != 0) invalidateInParent(*window, window->rect);
        }
        window->style &= ~WS_VISIBLE;
        hadCapture = state().capture != nullptr && isDescendantOrSelf(handle, state().capture);
    }
    if (hadCapture) ReleaseCapture();
    dropFocusAndActivation(handle);
    if (notifyParent)
        send(parent, WM_PARENTNOTIFY, MAKEWPARAM(WM_DESTROY, id), reinterpret_cast<LPARAM>(handle));
    destroyClaimed(handle);
    return TRUE;
}

BOOL IsWindow(HWND handle) {
    Lock lock(state().mutex);
    return findWindow(handle) != nullptr ? TRUE : FALSE;
}

HWND FindWindowA(LPCSTR className, LPCSTR windowName) {
    State& s = state();
    Lock lock(s.mutex);
    const bool byAtom = className != nullptr && reinterpret_cast<uintptr_t>(className) < kAtomLimit;
    const std::string classKey = byAtom ? std::string() : lowerCase(className);
    const std::string titleKey = lowerCase(windowName);
    for (HWND handle : s.topLevels) {
        const Window& window = *findWindow(handle);
        if (window.messageOnly || window.destroying) continue;
        if (byAtom && window.windowClass->atom != reinterpret_cast<uintptr_t>(className)) continue;
        if (!byAtom && className != nullptr &&
            lowerCase(window.windowClass->name.c_str()) != classKey)
            continue;
        if (windowName != nullptr && lowerCase(window.title.c_str()) != titleKey) continue;
        return handle;
    }
    return nullptr;
}

LRESULT SendMessageA(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    return sendMessage(window, message, wParam, lParam);
}

BOOL PostMessageA(HWND handle, UINT message, WPARAM wParam, LPARAM lParam) {
    State& s = state();
    Lock lock(s.mutex);
    if (handle == nullptr) {
        post(ownQueue(), nullptr, message, wParam, lParam);
        return TRUE;
    }
    Window* window = validWindow(handle);
    if (window == nullptr) return FALSE;
    ThreadQueue* queue = queueOf(window->thread);
    if (queue == nullptr) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return FALSE;
    }
    post(queue, handle, message, wParam, lParam);
    return TRUE;
}

BOOL PostThreadMessageA(DWORD threadId, UINT message, WPARAM wParam, LPARAM lParam) {
    State& s = state();
    Lock lock(s.mutex);
    ThreadQueue* queue = queueOf(threadId);
    if (queue == nullptr) {
        SetLastError(ERROR_INVALID_PARAMETER); // the thread has no message queue
        return FALSE;
    }
    post(queue, nullptr, message, wParam, lParam);
    return TRUE;
}

void PostQuitMessage(int exitCode) {
    Lock lock(state().mutex);
    ThreadQueue* queue = ownQueue();
    queue->quitPending = true;
    queue->quitCode = exitCode;
    queue->wake.notify_all();
}

BOOL GetMessageA(MSG* message, HWND window, UINT filterMin, UINT filterMax) {
    if (message == nullptr) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return -1;
    }
    Lock lock(state().mutex);
    ThreadQueue* queue = ownQueue();
    for (;;) {
        switch (pump(lock, queue, message, window, filterMin, filterMax, true)) {
        case Pump::Message:
            noteTaken(queue, *message);
            return message->message == WM_QUIT ? FALSE : TRUE;
        case Pump::BadFilter: // checked each round: the window may go while we wait
            SetLastError(ERROR_INVALID_WINDOW_HANDLE);
            return -1;
        case Pump::Empty:
            break;
        }
        blockUntilWoken(lock, queue);
    }
}

BOOL PeekMessageA(MSG* message, HWND window, UINT filterMin, UINT filterMax, UINT remove) {
    if (message == nullptr) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    Lock lock(state().mutex);
    ThreadQueue* queue = ownQueue();
    switch (pump(lock, queue, message, window, filterMin, filterMax, (remove & PM_REMOVE) != 0)) {
    case Pump::Message:
        noteTaken(queue, *message);
        return TRUE;
    case Pump::BadFilter:
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return FALSE;
    case Pump::Empty:
        break;
    }
    return FALSE;
}

BOOL WaitMessage() {
    Lock lock(state().mutex);
    ThreadQueue* queue = ownQueue();
    for (;;) {
        MSG message{};
        if (pump(lock, queue, &message, nullptr, 0, 0, false) == Pump::Message) return TRUE;
        blockUntilWoken(lock, queue);
    }
}

BOOL TranslateMessage(const MSG* message) {
    if (message == nullptr) return FALSE;
    const UINT kind = message->message;
    if (kind != WM_KEYDOWN && kind != WM_KEYUP && kind != WM_SYSKEYDOWN && kind != WM_SYSKEYUP)
        return FALSE;
    if (kind != WM_KEYDOWN) return TRUE;
    Lock lock(state().mutex);
    const char character =
        characterOf(message->wParam, keyDown(VK_SHIFT), keyDown(VK_CONTROL) && !keyDown(VK_MENU));
    if (character == 0) return TRUE;
    Window* window = findWindow(message->hwnd);
    ThreadQueue* queue = window != nullptr ? queueOf(window->thread) : ownQueue();
    if (queue == nullptr) return TRUE;
    MSG entry = *message;
    entry.message = WM_CHAR;
    entry.wParam = static_cast<unsigned char>(character);
    queue->posted.push_front(entry); // the character comes next
    queue->wake.notify_all();
    return TRUE;
}

LRESULT DispatchMessageA(const MSG* message) {
    if (message == nullptr) return 0;
    Lock lock(state().mutex);
    if (message->message == WM_TIMER && message->lParam != 0) {
        ThreadQueue* queue = ownQueue();
        if (!isTimerProcedure(queue, message->hwnd, message->wParam, message->lParam)) return 0;
        auto procedure = reinterpret_cast<TIMERPROC>(message->lParam);
        lock.unlock();
        procedure(message->hwnd, WM_TIMER, message->wParam, GetTickCount());
        return 0;
    }
    if (message->hwnd == nullptr) return 0;
    Window* window = validWindow(message->hwnd);
    if (window == nullptr) return 0;
    if (window->thread != GetCurrentThreadId()) {
        SetLastError(ERROR_ACCESS_DENIED);
        return 0;
    }
    WNDPROC procedure = window->procedure;
    lock.unlock();
    return procedure(message->hwnd, message->message, message->wParam, message->lParam);
}

LRESULT CallWindowProcA(WNDPROC procedure, HWND window, UINT message, WPARAM wParam,
                        LPARAM lParam) {
    return procedure != nullptr ? procedure(window, message, wParam, lParam) : 0;
}

LRESULT DefWindowProcA(HWND handle, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_NCCREATE:
        return TRUE;
    case WM_NCCALCSIZE: {
        RECT* rect = wParam != 0 ? &reinterpret_cast<NCCALCSIZE_PARAMS*>(lParam)->rgrc[0]
                                 : reinterpret_cast<RECT*>(lParam);
        if (rect == nullptr) return 0;
        Lock lock(state().mutex);
        Window* w = findWindow(handle);
        if (w == nullptr) return 0;
        const RECT insets = frameInsets(w->style, w->exStyle);
        rect->left += insets.left;
        rect->top += insets.top;
        rect->right = std::max(rect->left, rect->right - insets.right);
        rect->bottom = std::max(rect->top, rect->bottom - insets.bottom);
        return 0;
    }
    case WM_NCHITTEST: {
        Lock lock(state().mutex);
        Window* w = findWindow(handle);
        if (w == nullptr) return HTNOWHERE;
        const POINT origin = screenOrigin(*w);
        return hitTest(*w, POINT{GET_X_LPARAM(lParam) - origin.x, GET_Y_LPARAM(lParam) - origin.y});
    }
    case WM_NCPAINT:
        paintFrame(handle, false);
        return 0;
    case WM_NCACTIVATE: {
        {
            Lock lock(state().mutex);
            Window* w = findWindow(handle);
            if (w == nullptr) return TRUE;
            w->captionActive = wParam != 0;
        }
        paintFrame(handle, true);
        return TRUE;
    }
    case WM_ACTIVATE:
        if (LOWORD(wParam) != WA_INACTIVE && !IsIconic(handle)) SetFocus(handle);
        return 0;
    case WM_SETTEXT: {
        {
            Lock lock(state().mutex);
            Window* w = findWindow(handle);
            if (w == nullptr) return FALSE;
            const char* text = reinterpret_cast<const char*>(lParam);
            w->title = text != nullptr ? text : "";
        }
        paintFrame(handle, true);
        reportChanged(handle);
        return TRUE;
    }
    case WM_GETTEXT: {
        Lock lock(state().mutex);
        Window* w = findWindow(handle);
        char* buffer = reinterpret_cast<char*>(lParam);
        if (w == nullptr || buffer == nullptr || wParam == 0) return 0;
        const size_t count = std::min(w->title.size(), static_cast<size_t>(wParam) - 1);
        std::memcpy(buffer, w->title.data(), count);
        buffer[count] = '\0';
        return static_cast<LRESULT>(count);
    }
    case WM_GETTEXTLENGTH: {
        Lock lock(state().mutex);
        Window* w = findWindow(handle);
        return w != nullptr ? static_cast<LRESULT>(w->title.size()) : 0;
    }
    case WM_PAINT: {
        PAINTSTRUCT paint{};
        if (BeginPaint(handle, &paint) != nullptr) EndPaint(handle, &paint);
        return 0;
    }
    case WM_ERASEBKGND: {
        HBRUSH brush = nullptr;
        RECT client{};
        {
            Lock lock(state().mutex);
            Window* w = findWindow(handle);
            if (w == nullptr) return 0;
            brush = w->windowClass->info.hbrBackground;
            client = RECT{0, 0, widthOf(w->client), heightOf(w->client)};
        }
        if (brush == nullptr || wParam == 0) return 0;
        const auto value = reinterpret_cast<uintptr_t>(brush);
        if (value <= static_cast<uintptr_t>(kColourCount))
            brush = colourBrush(static_cast<int>(value) - 1);
        FillRect(reinterpret_cast<HDC>(wParam), &client, brush);
        return 1;
    }
    case WM_CLOSE:
        DestroyWindow(handle);
        return 0;
    case WM_WINDOWPOSCHANGED: {
        const auto* position = reinterpret_cast<const WINDOWPOS*>(lParam);
        if (position == nullptr) return 0;
        RECT client{};
        POINT origin{};
        bool minimized = false;
        {
            Lock lock(state().mutex);
            Window* w = findWindow(handle);
            if (w == nullptr) return 0;
            client = w->client;
            origin = POINT{w->rect.left + w->client.left, w->rect.top + w->client.top};
            minimized = (w->style & WS_MINIMIZE) != 0;
        }
        if ((position->flags & SWP_NOCLIENTMOVE) == 0)
            send(handle, WM_MOVE, 0, MAKELPARAM(origin.x, origin.y));
        if ((position->flags & SWP_NOCLIENTSIZE) == 0)
            send(handle, WM_SIZE, minimized ? SIZE_MINIMIZED : SIZE_RESTORED,
                 MAKELPARAM(widthOf(client), heightOf(client)));
        return 0;
    }
    case WM_SETCURSOR:
        return defaultSetCursor(handle, lParam);
    case WM_MOUSEWHEEL: {
        HWND parent = nullptr;
        {
            Lock lock(state().mutex);
            Window* w = findWindow(handle);
            if (w != nullptr && isChild(*w)) parent = w->parent;
        }
        return parent != nullptr ? send(parent, WM_MOUSEWHEEL, wParam, lParam) : 0;
    }
    case WM_NCLBUTTONDBLCLK:
        // A quick second press on a caption button is a press; on the window menu it closes.
        if (wParam == static_cast<WPARAM>(HTSYSMENU)) {
            send(handle, WM_SYSCOMMAND, SC_CLOSE, lParam);
            return 0;
        }
        [[fallthrough]];
    case WM_NCLBUTTONDOWN:
        if (wParam == static_cast<WPARAM>(HTCLOSE) || wParam == static_cast<WPARAM>(HTMINBUTTON) ||
            wParam == static_cast<WPARAM>(HTMAXBUTTON) || wParam == static_cast<WPARAM>(HTHELP)) {
            trackCaptionButton(handle, static_cast<LRESULT>(wParam));
        } else {
            HWND top = GetAncestor(handle, GA_ROOT);
            if (top != nullptr && GetActiveWindow() != top) SetActiveWindow(top);
        }
        return 0;
    case WM_SYSCOMMAND:
        switch (wParam & 0xfff0) {
        case SC_CLOSE:
            send(handle, WM_CLOSE);
            break;
        case SC_MINIMIZE:
            ShowWindow(handle, SW_MINIMIZE);
            break;
        case SC_RESTORE:
            ShowWindow(handle, SW_RESTORE);
            break;
        default:
            break;
        }
        return 0;
    default:
        return 0;
    }
}

LONG_PTR SetWindowLongPtrA(HWND handle, int index, LONG_PTR value) {
    Lock lock(state().mutex);
    Window* window = validWindow(handle);
    if (window == nullptr) return 0;
    LONG_PTR previous = 0;
    switch (index) {
    case GWLP_USERDATA:
        previous = window->userData;
        window->userData = value;
        break;
    case GWLP_WNDPROC:
        if (value == 0) {
            SetLastError(ERROR_INVALID_PARAMETER);
            return 0;
        }
        previous = reinterpret_cast<LONG_PTR>(window->procedure);
        window->procedure = reinterpret_cast<WNDPROC>(value);
        break;
    case GWLP_ID:
        previous = window->id;
        window->id = value;
        break;
    case GWLP_HINSTANCE:
        previous = reinterpret_cast<LONG_PTR>(window->instance);
        window->instance = reinterpret_cast<HINSTANCE>(value);
        break;
    case GWL_STYLE:
        previous = static_cast<LONG_PTR>(window->style);
        window->style = static_cast<DWORD>(value);
        break;
    case GWL_EXSTYLE:
        previous = static_cast<LONG_PTR>(window->exStyle);
        window->exStyle = static_cast<DWORD>(value);
        break;
    default:
        if (!extraIndexValid(window->extra, index)) {
            SetLastError(ERROR_INVALID_PARAMETER);
            return 0;
        }
        std::memcpy(&previous, window->extra.data() + index, sizeof previous);
        std::memcpy(window->extra.data() + index, &value, sizeof value);
        break;
    }
    SetLastError(ERROR_SUCCESS); // lets a caller tell a previous 0 from a failure
    return previous;
}

LONG_PTR GetWindowLongPtrA(HWND handle, int index) {
    Lock lock(state().mutex);
    Window* window = validWindow(handle);
    if (window == nullptr) return 0;
    switch (index) {
    case GWLP_USERDATA:
        return window->userData;
    case GWLP_WNDPROC:
        return reinterpret_cast<LONG_PTR>(window->procedure);
    case GWLP_ID:
        return window->id;
    case GWLP_HINSTANCE:
        return reinterpret_cast<LONG_PTR>(window->instance);
    case GWLP_HWNDPARENT:
        return reinterpret_cast<LONG_PTR>(window->parent);
    case GWL_STYLE:
        return static_cast<LONG_PTR>(window->style);
    case GWL_EXSTYLE:
        return static_cast<LONG_PTR>(window->exStyle);
    default:
        break;
    }
    if (!extraIndexValid(window->extra, index)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    LONG_PTR value = 0;
    std::memcpy(&value, window->extra.data() + index, sizeof value);
    return value;
}

LONG GetWindowLongA(HWND window, int index) {
    return static_cast<LONG>(GetWindowLongPtrA(window, index));
}

LONG SetWindowLongA(HWND window, int index, LONG value) {
    const LONG_PTR wide = index == GWL_STYLE || index == GWL_EXSTYLE
                              ? static_cast<LONG_PTR>(static_cast<DWORD>(value))
                              : static_cast<LONG_PTR>(value);
    return static_cast<LONG>(SetWindowLongPtrA(window, index, wide));
}

DWORD GetWindowThreadProcessId(HWND handle, DWORD* processId) {
    Lock lock(state().mutex);
    Window* window = validWindow(handle);
    if (window == nullptr) return 0;
    if (processId != nullptr) *processId = static_cast<DWORD>(getpid());
    return window->thread;
}

// ---------------------------------------------------------------------------------------------
// Geometry and visibility

BOOL ShowWindow(HWND handle, int command) {
    if (!IsWindow(handle)) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return FALSE;
    }
    return static_cast<BOOL>(
        onOwnerThread(handle, [handle, command] { return LRESULT{showWindow(handle, command)}; }));
}

BOOL IsWindowVisible(HWND handle) {
    Lock lock(state().mutex);
    const Window* w = findWindow(handle);
    if (w == nullptr) return FALSE;
    for (;;) {
        if ((w->style & WS_VISIBLE) == 0) return FALSE;
        if (!isChild(*w)) return TRUE;
        w = findWindow(w->parent);
        if (w == nullptr) return FALSE;
    }
}

BOOL IsIconic(HWND handle) {
    Lock lock(state().mutex);
    const Window* w = findWindow(handle);
    return w != nullptr && (w->style & WS_MINIMIZE) != 0 ? TRUE : FALSE;
}

BOOL SetWindowPos(HWND handle, HWND insertAfter, int x, int y, int width, int height, UINT flags) {
    if (!IsWindow(handle)) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return FALSE;
    }
    return static_cast<BOOL>(onOwnerThread(handle, [=] {
        return LRESULT{setWindowPos(handle, insertAfter, x, y, width, height, flags)};
    }));
}

BOOL MoveWindow(HWND handle, int x, int y, int width, int height, BOOL repaint) {
    return SetWindowPos(handle, nullptr, x, y, width, height,
                        SWP_NOZORDER | SWP_NOACTIVATE | (repaint ? 0 : SWP_NOREDRAW));
}

BOOL GetWindowRect(HWND handle, RECT* rect) {
    Lock lock(state().mutex);
    Window* w = validWindow(handle);
    if (w == nullptr) return FALSE;
    if (rect == nullptr) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    const POINT origin = screenOrigin(*w);
    *rect = RECT{origin.x, origin.y, origin.x + widthOf(w->rect), origin.y + heightOf(w->rect)};
    return TRUE;
}

BOOL GetClientRect(HWND handle, RECT* rect) {
    Lock lock(state().mutex);
    Window* w = validWindow(handle);
    if (w == nullptr) return FALSE;
    if (rect == nullptr) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    *rect = RECT{0, 0, widthOf(w->client), heightOf(w->client)};
    return TRUE;
}

BOOL ClientToScreen(HWND handle, POINT* point) {
    Lock lock(state().mutex);
    Window* w = validWindow(handle);
    if (w == nullptr || point == nullptr) return FALSE;
    const POINT origin = clientScreenOrigin(*w);
    point->x += origin.x;
    point->y += origin.y;
    return TRUE;
}

BOOL ScreenToClient(HWND handle, POINT* point) {
    Lock lock(state().mutex);
    Window* w = validWindow(handle);
    if (w == nullptr || point == nullptr) return FALSE;
    const POINT origin = clientScreenOrigin(*w);
    point->x -= origin.x;
    point->y -= origin.y;
    return TRUE;
}

int MapWindowPoints(HWND from, HWND to, POINT* points, UINT count) {
    Lock lock(state().mutex);
    POINT fromOrigin{}, toOrigin{};
    if (from != nullptr) {
        Window* w = validWindow(from);
        if (w == nullptr) return 0;
        fromOrigin = clientScreenOrigin(*w);
    }
    if (to != nullptr) {
        Window* w = validWindow(to);
        if (w == nullptr) return 0;
        toOrigin = clientScreenOrigin(*w);
    }
    const LONG dx = fromOrigin.x - toOrigin.x;
    const LONG dy = fromOrigin.y - toOrigin.y;
    for (UINT i = 0; points != nullptr && i < count; ++i) {
        points[i].x += dx;
        points[i].y += dy;
    }
    SetLastError(ERROR_SUCCESS);
    return MAKELONG(dx, dy);
}

BOOL AdjustWindowRectEx(RECT* rect, DWORD style, BOOL menu, DWORD exStyle) {
    if (rect == nullptr) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    const RECT insets = frameInsets(style, exStyle);
    rect->left -= insets.left;
    rect->top -= insets.top + (menu ? kCaptionHeight : 0);
    rect->right += insets.right;
    rect->bottom += insets.bottom;
    return TRUE;
}

BOOL AdjustWindowRect(RECT* rect, DWORD style, BOOL menu) {
    return AdjustWindowRectEx(rect, style, menu, 0);
}

HWND WindowFromPoint(POINT point) {
    Lock lock(state().mutex);
    for (HWND handle : state().topLevels) {
        Window* w = findWindow(handle);
        if (w->messageOnly || !visibleChain(*w)) continue;
        if (HWND found = windowUnder(handle, point)) return found;
    }
    return nullptr;
}

// ---------------------------------------------------------------------------------------------
// Relations, identity, text and state

HWND GetParent(HWND handle) {
    Lock lock(state().mutex);
    Window* w = validWindow(handle);
    if (w == nullptr) return nullptr;
    if (isChild(*w) || (w->style & WS_POPUP) != 0) return w->parent;
    return nullptr;
}

HWND SetParent(HWND handle, HWND newParent) {
    {
        Lock lock(state().mutex);
        Window* w = validWindow(handle);
        if (w == nullptr) return nullptr;
        if (newParent != nullptr && validWindow(newParent) == nullptr) return nullptr;
        if (newParent != nullptr && isDescendantOrSelf(handle, newParent)) {
            SetLastError(ERROR_INVALID_PARAMETER);
            return nullptr;
        }
    }
    const bool wasVisible = IsWindowVisible(handle) != FALSE;
    if (wasVisible) ShowWindow(handle, SW_HIDE);
    HWND previous = nullptr;
    bool created = false;
    bool dropped = false;
    platform::Surface* surface = nullptr;
    {
        Lock lock(state().mutex);
        State& s = state();
        Window* w = findWindow(handle);
        if (w == nullptr) return nullptr;
        previous = w->parent;
        if (Window* old = findWindow(previous)) {
            auto& siblings = old->children;
            siblings.erase(std::remove(siblings.begin(), siblings.end(), handle), siblings.end());
        }
        s.topLevels.erase(std::remove(s.topLevels.begin(), s.topLevels.end(), handle),
                          s.topLevels.end());
        w->parent = newParent;
        if (newParent != nullptr)
            findWindow(newParent)->children.insert(findWindow(newParent)->children.begin(), handle);
        if (!isChild(*w)) {
            s.topLevels.insert(s.topLevels.begin(), handle);
            if (!w->surface && !w->messageOnly) {
                w->surface = std::make_unique<platform::Surface>();
                resizeSurface(*w);
                surface = w->surface.get();
                created = true;
            }
        } else if (w->surface) {
            w->surface.reset();
            dropped = true;
        }
    }
    if (created) platform::display().windowCreated(handle, *surface);
    if (dropped) platform::display().windowDestroyed(handle);
    if (wasVisible) ShowWindow(handle, SW_SHOWNA);
    SetLastError(ERROR_SUCCESS);
    return previous;
}

HWND GetAncestor(HWND handle, UINT kind) {
    Lock lock(state().mutex);
    Window* w = validWindow(handle);
    if (w == nullptr) return nullptr;
    switch (kind) {
    case GA_PARENT:
        return isChild(*w) ? w->parent : nullptr;
    case GA_ROOT:
        return topLevelOf(handle);
    case GA_ROOTOWNER: {
        HWND current = topLevelOf(handle);
        while (Window* top = findWindow(current)) {
            if (top->parent == nullptr) break;
            current = topLevelOf(top->parent);
        }
        return current;
    }
    default:
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
}

HWND GetWindow(HWND handle, UINT relation) {
    Lock lock(state().mutex);
    Window* w = validWindow(handle);
    if (w == nullptr) return nullptr;
    if (relation == GW_CHILD) {
        const std::vector<HWND> children = childWindows(*w);
        return children.empty() ? nullptr : children.front();
    }
    if (relation == GW_OWNER) return isChild(*w) ? nullptr : w->parent;
    std::vector<HWND> siblings;
    if (isChild(*w)) {
        siblings = childWindows(*findWindow(w->parent));
    } else {
        for (HWND top : state().topLevels)
            if (!findWindow(top)->messageOnly || w->messageOnly) siblings.push_back(top);
    }
    const auto here = std::find(siblings.begin(), siblings.end(), handle);
    switch (relation) {
    case GW_HWNDFIRST:
        return siblings.empty() ? nullptr : siblings.front();
    case GW_HWNDLAST:
        return siblings.empty() ? nullptr : siblings.back();
    case GW_HWNDNEXT:
        return here == siblings.end() || here + 1 == siblings.end() ? nullptr : *(here + 1);
    case GW_HWNDPREV:
        return here == siblings.end() || here == siblings.begin() ? nullptr : *(here - 1);
    default:
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
}

BOOL IsChild(HWND parent, HWND handle) {
    Lock lock(state().mutex);
    if (parent == handle || findWindow(parent) == nullptr) return FALSE;
    return isDescendantOrSelf(parent, handle) ? TRUE : FALSE;
}

BOOL EnumChildWindows(HWND parent, WNDENUMPROC callback, LPARAM lParam) {
    if (callback == nullptr) return FALSE;
    std::vector<HWND> all;
    {
        Lock lock(state().mutex);
        if (validWindow(parent) == nullptr) return FALSE;
        std::function<void(HWND)> collect = [&](HWND handle) {
            for (HWND child : childWindows(*findWindow(handle))) {
                all.push_back(child);
                collect(child);
            }
        };
        collect(parent);
    }
    for (HWND child : all)
        if (IsWindow(child) && !callback(child, lParam)) break;
    return TRUE;
}

int GetDlgCtrlID(HWND handle) {
    Lock lock(state().mutex);
    Window* w = validWindow(handle);
    return w != nullptr ? static_cast<int>(w->id) : 0;
}

HWND GetDlgItem(HWND parent, int id) {
    Lock lock(state().mutex);
    Window* w = validWindow(parent);
    if (w == nullptr) return nullptr;
    for (HWND child : childWindows(*w))
        if (findWindow(child)->id == id) return child;
    SetLastError(ERROR_CONTROL_ID_NOT_FOUND);
    return nullptr;
}

BOOL SetWindowTextA(HWND handle, LPCSTR text) {
    if (!IsWindow(handle)) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return FALSE;
    }
    return static_cast<BOOL>(send(handle, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text)));
}

int GetWindowTextA(HWND handle, LPSTR text, int size) {
    if (text != nullptr && size > 0) text[0] = '\0';
    if (!IsWindow(handle)) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return 0;
    }
    if (text == nullptr || size <= 0) return 0;
    return static_cast<int>(
        send(handle, WM_GETTEXT, static_cast<WPARAM>(size), reinterpret_cast<LPARAM>(text)));
}

int GetWindowTextLengthA(HWND handle) {
    if (!IsWindow(handle)) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return 0;
    }
    return static_cast<int>(send(handle, WM_GETTEXTLENGTH));
}

BOOL EnableWindow(HWND handle, BOOL enable) {
    bool wasDisabled = false;
    bool changed = false;
    {
        Lock lock(state().mutex);
        Window* w = validWindow(handle);
        if (w == nullptr) return FALSE;
        wasDisabled = (w->style & WS_DISABLED) != 0;
        changed = wasDisabled == (enable != FALSE);
        if (enable)
            w->style &= ~WS_DISABLED;
        else
            w->style |= WS_DISABLED;
    }
    if (changed && !enable) {
        HWND focus = GetFocus();
        if (focus != nullptr && IsChild(handle, focus) != FALSE) SetFocus(nullptr);
        if (focus == handle) SetFocus(nullptr);
    }
    if (changed) send(handle, WM_ENABLE, enable ? TRUE : FALSE);
    return wasDisabled ? TRUE : FALSE;
}

BOOL IsWindowEnabled(HWND handle) {
    Lock lock(state().mutex);
    Window* w = findWindow(handle);
    return w != nullptr && (w->style & WS_DISABLED) == 0 ? TRUE : FALSE;
}

// ---------------------------------------------------------------------------------------------
// Painting

BOOL InvalidateRect(HWND handle, const RECT* rect, BOOL erase) {
    Lock lock(state().mutex);
    if (handle == nullptr) { // every window
        for (HWND top : state().topLevels)
            invalidateWhole(top, erase != FALSE);
        return TRUE;
    }
    Window* w = validWindow(handle);
    if (w == nullptr) return FALSE;
    RECT area = w->client;
    if (rect != nullptr) area = intersect(offset(*rect, w->client.left, w->client.top), w->client);
    invalidateArea(handle, area, erase != FALSE);
    return TRUE;
}

BOOL ValidateRect(HWND handle, const RECT* rect) {
    Lock lock(state().mutex);
    Window* w = validWindow(handle);
    if (w == nullptr) return FALSE;
    if (!w->updatePending) return TRUE;
    if (rect == nullptr || covers(*rect, w->update)) {
        w->updatePending = false;
        w->update = RECT{};
        w->erase = false;
        return TRUE;
    }
    // One rectangle is kept: a validated band across the whole update rectangle shrinks it.
    RECT& update = w->update;
    const RECT cut = intersect(*rect, update);
    if (isEmpty(cut)) return TRUE;
    if (cut.left <= update.left && cut.right >= update.right) {
        if (cut.top <= update.top)
            update.top = cut.bottom;
        else if (cut.bottom >= update.bottom)
            update.bottom = cut.top;
    } else if (cut.top <= update.top && cut.bottom >= update.bottom) {
        if (cut.left <= update.left)
            update.left = cut.right;
        else if (cut.right >= update.right)
            update.right = cut.left;
    }
    if (isEmpty(update)) {
        w->updatePending = false;
        w->update = RECT{};
        w->erase = false;
    }
    return TRUE;
}

BOOL GetUpdateRect(HWND handle, RECT* rect, BOOL erase) {
    bool pending = false;
    {
        Lock lock(state().mutex);
        Window* w = validWindow(handle);
        if (w == nullptr) return FALSE;
        pending = w->updatePending;
        if (rect != nullptr) *rect = pending ? w->update : RECT{};
    }
    if (pending && erase) {
        HDC dc = platform::openWindowDC(handle, false);
        eraseIfAsked(handle, dc);
        if (dc != nullptr) platform::closeWindowDC(dc);
    }
    return pending ? TRUE : FALSE;
}

BOOL UpdateWindow(HWND handle) {
    if (!IsWindow(handle)) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return FALSE;
    }
    updateTree(handle);
    return TRUE;
}

HDC BeginPaint(HWND handle, PAINTSTRUCT* paint) {
    if (paint == nullptr) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    *paint = PAINTSTRUCT{};
    if (!IsWindow(handle)) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return nullptr;
    }
    paintFrameIfPending(handle);
    RECT update{};
    {
        Lock lock(state().mutex);
        Window* w = findWindow(handle);
        if (w == nullptr) return nullptr;
        if (w->updatePending) update = w->update;
        w->updatePending = false;
        w->update = RECT{};
    }
    HDC dc = platform::openWindowDC(handle, false);
    if (dc == nullptr) return nullptr;
    auto* context = reinterpret_cast<platform::DeviceContext*>(dc);
    context->clip = intersect(context->clip, offset(update, context->origin.x, context->origin.y));
    paint->hdc = dc;
    paint->rcPaint = update;
    paint->fErase = eraseIfAsked(handle, dc) ? FALSE : TRUE;
    return dc;
}

BOOL EndPaint(HWND handle, const PAINTSTRUCT* paint) {
    if (paint == nullptr || paint->hdc == nullptr) return TRUE;
    const auto* context = reinterpret_cast<const platform::DeviceContext*>(paint->hdc);
    const RECT dirty = context->clip;
    platform::closeWindowDC(paint->hdc);
    HWND top = nullptr;
    {
        Lock lock(state().mutex);
        top = topLevelOf(handle);
    }
    if (top != nullptr) present(top, dirty);
    return TRUE;
}

// ---------------------------------------------------------------------------------------------
// Metrics and colours

int GetSystemMetrics(int index) {
    return systemMetric(index);
}

DWORD GetSysColor(int index) {
    return systemColour(index);
}

HBRUSH GetSysColorBrush(int index) {
    return colourBrush(index);
}

UINT GetDoubleClickTime() {
    return kDoubleClickTimeMs;
}

// ---------------------------------------------------------------------------------------------
// Mouse, keyboard, focus and activation

HWND SetCapture(HWND handle) {
    HWND previous = nullptr;
    {
        Lock lock(state().mutex);
        if (validWindow(handle) == nullptr) return nullptr;
        previous = state().capture;
    }
    changeCapture(handle);
    return previous;
}

BOOL ReleaseCapture() {
    changeCapture(nullptr);
    return TRUE;
}

HWND GetCapture() {
    Lock lock(state().mutex);
    Window* w = findWindow(state().capture);
    return w != nullptr && w->thread == GetCurrentThreadId() ? state().capture : nullptr;
}

BOOL GetCursorPos(POINT* point) {
    if (point == nullptr) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    Lock lock(state().mutex);
    *point = state().cursor;
    return TRUE;
}

BOOL SetCursorPos(int x, int y) {
    Lock lock(state().mutex);
    state().cursor = POINT{std::clamp(x, 0, kScreenWidth - 1), std::clamp(y, 0, kScreenHeight - 1)};
    return TRUE;
}

HWND SetFocus(HWND handle) {
    if (handle != nullptr) {
        HWND top = nullptr;
        {
            Lock lock(state().mutex);
            Window* w = validWindow(handle);
            if (w == nullptr) return nullptr;
            if (w->thread != GetCurrentThreadId() || (w->style & WS_DISABLED) != 0) return nullptr;
            top = topLevelOf(handle);
            if (ownQueue()->active == top || findWindow(top)->messageOnly) top = nullptr;
        }
        if (top != nullptr) setActive(top);
    }
    return setFocus(handle);
}

HWND GetFocus() {
    Lock lock(state().mutex);
    return ownQueue()->focus;
}

HWND SetActiveWindow(HWND handle) {
    if (handle != nullptr) {
        Lock lock(state().mutex);
        Window* w = validWindow(handle);
        if (w == nullptr) return nullptr;
        if (w->thread != GetCurrentThreadId()) {
            SetLastError(ERROR_ACCESS_DENIED);
            return nullptr;
        }
        handle = topLevelOf(handle);
    }
    return setActive(handle);
}

HWND GetActiveWindow() {
    Lock lock(state().mutex);
    return ownQueue()->active;
}

BOOL SetForegroundWindow(HWND handle) {
    DWORD thread = 0;
    {
        Lock lock(state().mutex);
        Window* w = validWindow(handle);
        if (w == nullptr) return FALSE;
        handle = topLevelOf(handle);
        thread = findWindow(handle)->thread;
        state().foreground = handle;
        moveInOrder(state().topLevels, handle, HWND_TOP);
    }
    if (thread == GetCurrentThreadId())
        setActive(handle);
    else
        onOwnerThread(handle, [handle] { return reinterpret_cast<LRESULT>(setActive(handle)); });
    return TRUE;
}

HWND GetForegroundWindow() {
    Lock lock(state().mutex);
    return state().foreground;
}

SHORT GetKeyState(int virtualKey) {
    Lock lock(state().mutex);
    const BYTE entry = state().keys[static_cast<size_t>(virtualKey) & 0xff];
    return static_cast<SHORT>(((entry & kKeyDown) != 0 ? 0x8000 : 0) | (entry & kKeyToggled));
}

SHORT GetAsyncKeyState(int virtualKey) {
    Lock lock(state().mutex);
    const BYTE entry = state().keysAsync[static_cast<size_t>(virtualKey) & 0xff];
    return static_cast<SHORT>((entry & kKeyDown) != 0 ? 0x8000 : 0);
}

DWORD GetMessagePos() {
    Lock lock(state().mutex);
    return ownQueue()->lastMessagePos;
}

LONG GetMessageTime() {
    Lock lock(state().mutex);
    return static_cast<LONG>(ownQueue()->lastMessageTime);
}

BOOL PlatformInjectMouse(HWND window, UINT message, int x, int y, WPARAM keys) {
    if (message != WM_MOUSEMOVE && message != WM_MOUSEWHEEL &&
        (message < WM_LBUTTONDOWN || message > WM_MBUTTONDBLCLK)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    InputEvent event;
    event.mouse = true;
    event.message = message;
    event.wParam = keys;
    {
        Lock lock(state().mutex);
        Window* w = validWindow(window);
        if (w == nullptr) return FALSE;
        const POINT origin = screenOrigin(*findWindow(topLevelOf(window)));
        event.screen = POINT{origin.x + x, origin.y + y};
        window = topLevelOf(window);
    }
    return injectInput(window, event);
}

BOOL PlatformInjectKey(HWND window, UINT message, WPARAM virtualKey, LPARAM lParam) {
    if (message != WM_KEYDOWN && message != WM_KEYUP && message != WM_SYSKEYDOWN &&
        message != WM_SYSKEYUP && message != WM_CHAR) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    constexpr LPARAM kRepeatOnce = 1;
    constexpr LPARAM kReleased = static_cast<LPARAM>(0xc0000001u);
    InputEvent event;
    event.message = message;
    event.wParam = virtualKey;
    event.lParam = lParam != 0                                       ? lParam
                   : (message == WM_KEYUP || message == WM_SYSKEYUP) ? kReleased
                                                                     : kRepeatOnce;
    return injectInput(window, event);
}

// ---------------------------------------------------------------------------------------------
// Accelerators

HACCEL CreateAcceleratorTableA(ACCEL* entries, int count) {
    if (entries == nullptr || count <= 0) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    auto* table = new Accelerator();
    table->entries.assign(entries, entries + count);
    Lock lock(state().mutex);
    state().accelerators.insert(table);
    return reinterpret_cast<HACCEL>(table);
}

// The table's entries (all of them, or the first `count`); with no buffer, how many there are.
int CopyAcceleratorTableA(HACCEL handle, ACCEL* entries, int count) {
    auto* table = reinterpret_cast<Accelerator*>(handle);
    Lock lock(state().mutex);
    if (state().accelerators.count(table) == 0) {
        SetLastError(ERROR_INVALID_ACCEL_HANDLE);
        return 0;
    }
    const int size = static_cast<int>(table->entries.size());
    if (entries == nullptr) return size;
    const int copied = count < size ? (count > 0 ? count : 0) : size;
    std::copy(table->entries.begin(), table->entries.begin() + copied, entries);
    return copied;
}
BOOL DestroyAcceleratorTable(HACCEL handle) {
    auto* table = reinterpret_cast<Accelerator*>(handle);
    Lock lock(state().mutex);
    if (state().accelerators.erase(table) == 0) {
        SetLastError(ERROR_INVALID_ACCEL_HANDLE);
        return FALSE;
    }
    delete table;
    return TRUE;
}

int TranslateAcceleratorA(HWND window, HACCEL handle, MSG* message) {
    if (message == nullptr) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    WORD command = 0;
    {
        Lock lock(state().mutex);
        auto* table = reinterpret_cast<Accelerator*>(handle);
        if (state().accelerators.count(table) == 0) {
            SetLastError(ERROR_INVALID_ACCEL_HANDLE);
            return 0;
        }
        if (validWindow(window) == nullptr) return 0;
        const UINT kind = message->message;
        const bool keyMessage = kind == WM_KEYDOWN || kind == WM_SYSKEYDOWN;
        const bool charMessage = kind == WM_CHAR || kind == WM_SYSCHAR;
        if (!keyMessage && !charMessage) return 0;
        const bool shift = keyDown(VK_SHIFT), control = keyDown(VK_CONTROL),
                   alt = keyDown(VK_MENU) || kind == WM_SYSKEYDOWN || kind == WM_SYSCHAR;
        bool found = false;
        for (const ACCEL& entry : table->entries) {
            const bool virtualKey = (entry.fVirt & FVIRTKEY) != 0;
            if (virtualKey != keyMessage || entry.key != message->wParam) continue;
            if (virtualKey && (((entry.fVirt & FSHIFT) != 0) != shift ||
                               ((entry.fVirt & FCONTROL) != 0) != control))
                continue;
            if (((entry.fVirt & FALT) != 0) != alt) continue;
            command = entry.cmd;
            found = true;
            break;
        }
        if (!found) return 0;
    }
    send(window, WM_COMMAND, MAKEWPARAM(command, 1), 0);
    return 1;
}

// ---------------------------------------------------------------------------------------------
// Timers

UINT_PTR SetTimer(HWND window, UINT_PTR id, UINT periodMs, TIMERPROC procedure) {
    State& s = state();
    Lock lock(s.mutex);
    ThreadQueue* queue = ownQueue();
    if (window != nullptr) {
        Window* w = validWindow(window);
        if (w == nullptr) return 0;
        if (w->thread != GetCurrentThreadId()) {
            SetLastError(ERROR_ACCESS_DENIED);
            return 0;
        }
    }
    periodMs = std::clamp<UINT>(periodMs, USER_TIMER_MINIMUM, USER_TIMER_MAXIMUM);
    const DWORD now = GetTickCount();
    if (window != nullptr) {
        for (Timer& timer : queue->timers) {
            if (timer.window == window && timer.id == id) { // replaced in place
                timer.periodMs = periodMs;
                timer.due = now + periodMs;
                timer.procedure = procedure;
                return id != 0 ? id : 1;
            }
        }
    } else {
        id = s.nextThreadTimer++;
    }
    if (s.timerCount >= s.timerLimit) {
        SetLastError(ERROR_NO_SYSTEM_RESOURCES);
        return 0;
    }
    queue->timers.push_back(Timer{window, id, periodMs, now + periodMs, procedure, s.nextSerial++});
    ++s.timerCount;
    return window != nullptr && id == 0 ? 1 : id;
}

BOOL KillTimer(HWND window, UINT_PTR id) {
    State& s = state();
    Lock lock(s.mutex);
    ThreadQueue* queue = ownQueue();
    auto& timers = queue->timers;
    auto found = std::find_if(timers.begin(), timers.end(), [&](const Timer& timer) {
        return timer.window == window && timer.id == id;
    });
    if (found == timers.end()) {
        SetLastError(window != nullptr && findWindow(window) == nullptr
                         ? ERROR_INVALID_WINDOW_HANDLE
                         : ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    timers.erase(found);
    --s.timerCount;
    return TRUE;
}

void PlatformSetClock(BOOL manual) {
    platform::setManualClock(manual != FALSE);
    Lock lock(state().mutex);
    for (auto& [thread, queue] : state().queues)
        queue->wake.notify_all();
}

void PlatformAdvanceClock(DWORD milliseconds) {
    platform::advanceManualClock(milliseconds);
    Lock lock(state().mutex);
    for (auto& [thread, queue] : state().queues)
        queue->wake.notify_all();
}

void PlatformSetTimerLimit(UINT limit) {
    Lock lock(state().mutex);
    state().timerLimit = limit != 0 ? limit : kDefaultTimerLimit;
}

int PlatformSentMessagesWaiting(HWND window) {
    State& s = state();
    Lock lock(s.mutex);
    Window* w = validWindow(window);
    if (w == nullptr) return -1;
    ThreadQueue* queue = queueOf(w->thread);
    return queue == nullptr ? -1 : int(queue->incoming.size());
}

BOOL PlatformWaitForIdle(HWND window, DWORD timeoutMs) {
    State& s = state();
    Lock lock(s.mutex);
    Window* w = validWindow(window);
    if (w == nullptr) return FALSE;
    if (w->thread == GetCurrentThreadId()) {
        SetLastError(ERROR_INVALID_PARAMETER); // the caller would wait for itself
        return FALSE;
    }
    const DWORD thread = w->thread;
    ThreadQueue* own = ownQueue();
    s.idleWatchers.insert(own);
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    BOOL idle = FALSE;
    for (;;) {
        if (!own->incoming.empty()) { // the watched thread may be sending to this one
            runOneIncoming(lock, own);
            continue;
        }
        ThreadQueue* target = queueOf(thread);
        if (target == nullptr) {
            SetLastError(ERROR_INVALID_WINDOW_HANDLE); // the thread has ended
            break;
        }
        if (target->blocked && !hasWork(target)) {
            idle = TRUE;
            break;
        }
        if (timeoutMs != INFINITE &&
            own->wake.wait_until(lock, deadline) == std::cv_status::timeout) {
            SetLastError(ERROR_TIMEOUT);
            break;
        }
        if (timeoutMs == INFINITE) own->wake.wait(lock);
    }
    s.idleWatchers.erase(own);
    return idle;
}

// ---------------------------------------------------------------------------------------------
// Cursors

} // extern "C"

// The system's cursors (IDC_ARROW ...), which LoadCursorA gives for a null module.
HCURSOR platform::systemCursor(LPCSTR name) {
    const auto id = reinterpret_cast<uintptr_t>(name);
    for (size_t i = 0; i < kSystemCursorIds.size(); ++i)
        if (kSystemCursorIds[i] == id) return &systemCursors[i];
    SetLastError(ERROR_RESOURCE_NAME_NOT_FOUND);
    return nullptr;
}

uintptr_t platform::systemCursorId(HCURSOR cursor) {
    for (const SystemCursor& system : systemCursors)
        if (cursor == &system) return system.id;
    return 0;
}

std::string platform::windowTitle(HWND window) {
    Lock lock(state().mutex);
    const Window* w = findWindow(window);
    return w != nullptr ? w->title : std::string();
}

void platform::displayFocusChanged(HWND topLevel, bool focused) {
    if (focused) {
        SetForegroundWindow(topLevel);
        return;
    }
    onOwnerThread(topLevel, [topLevel]() -> LRESULT {
        if (GetActiveWindow() == topLevel) setActive(nullptr);
        return 0;
    });
}

extern "C" {

HCURSOR SetCursor(HCURSOR cursor) {
    HCURSOR previous = nullptr;
    {
        Lock lock(state().mutex);
        previous = state().currentCursor;
        state().currentCursor = cursor;
    }
    if (previous != cursor) platform::display().cursorChanged(cursor);
    return previous;
}

HCURSOR GetCursor() {
    Lock lock(state().mutex);
    return state().currentCursor;
}

// ---------------------------------------------------------------------------------------------
// Test hooks

} // extern "C"
