// Windows and messages without a display: window classes, top-level, owned and child windows,
// and one message queue per thread that creates a window or asks for messages.
//
// All state sits behind one mutex; window procedures are always called with it released. A
// message sent to a window of another thread is queued to that thread and the sender blocks
// until the owner's GetMessageA/PeekMessageA (or its own blocked SendMessageA) runs it; while
// blocked, the sender runs messages sent to itself, so two threads sending to each other do not
// deadlock.
#include <windows.h>

#include <algorithm>
#include <condition_variable>
#include <cstring>
#include <deque>
#include <map>
#include <mutex>
#include <string>
#include <vector>

#include <unistd.h>

namespace {

// The record WM_CREATE points to, laid out as the system's CREATESTRUCTA.
struct CreateStruct {
    LPVOID lpCreateParams;
    HINSTANCE hInstance;
    HMENU hMenu;
    HWND hwndParent;
    int cy;
    int cx;
    int y;
    int x;
    LONG style;
    LPCSTR lpszName;
    LPCSTR lpszClass;
    DWORD dwExStyle;
};

constexpr ATOM kFirstClassAtom = 0xc000;
constexpr uintptr_t kAtomLimit = 0x10000; // class "names" below this are atoms
constexpr int kMaxWindowExtraBytes = 40000;
constexpr LRESULT kCreateRefused = -1;
const HWND kThreadMessagesOnly = reinterpret_cast<HWND>(static_cast<intptr_t>(-1));

std::string lowerCase(const char* text) {
    std::string lower = text != nullptr ? text : "";
    for (char& c : lower)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return lower;
}

struct WindowClass {
    std::string name;
    std::string menuName;
    WNDCLASSA info{};
    ATOM atom = 0;
};

struct Window {
    std::string classKey; // lower-case class name
    ATOM classAtom = 0;
    WNDPROC procedure = nullptr;
    std::string title;
    DWORD style = 0;
    DWORD exStyle = 0;
    HWND parent = nullptr; // parent of a child window, owner of a top-level one
    bool messageOnly = false;
    std::vector<HWND> children; // child and owned windows, in creation order
    DWORD thread = 0;
    LONG_PTR userData = 0;
    std::vector<unsigned char> extra;
    bool destroying = false;
};

struct ThreadQueue;

// A message sent from another thread; lives on the sender's stack until done.
struct SentMessage {
    HWND window;
    UINT message;
    WPARAM wParam;
    LPARAM lParam;
    LRESULT result = 0;
    bool done = false;
    ThreadQueue* sender;
};

struct ThreadQueue {
    DWORD thread = 0;
    std::deque<MSG> posted;
    std::deque<SentMessage*> incoming;
    std::condition_variable wake; // waited on only by the owning thread
    bool quitPending = false;
    int quitCode = 0;
};

struct State {
    std::mutex mutex;
    std::map<std::string, WindowClass> classes; // by lower-case name
    ATOM nextAtom = kFirstClassAtom;
    std::map<HWND, Window> windows; // ordered by handle = creation order
    uintptr_t nextWindow = 1;
    std::map<DWORD, ThreadQueue*> queues;
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

Window* findWindow(HWND handle) {
    auto found = state().windows.find(handle);
    return found == state().windows.end() ? nullptr : &found->second;
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

void post(ThreadQueue* queue, HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    MSG entry{};
    entry.hwnd = window;
    entry.message = message;
    entry.wParam = wParam;
    entry.lParam = lParam;
    entry.time = GetTickCount();
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
    LRESULT result = procedure(sent->window, sent->message, sent->wParam, sent->lParam);
    lock.lock();
    complete(sent, result);
}

LRESULT sendMessage(HWND handle, UINT message, WPARAM wParam, LPARAM lParam) {
    State& s = state();
    Lock lock(s.mutex);
    Window* window = findWindow(handle);
    if (window == nullptr) {
        SetLastError(ERROR_INVALID_HANDLE);
        return 0;
    }
    if (window->thread == GetCurrentThreadId()) {
        WNDPROC procedure = window->procedure;
        lock.unlock();
        return procedure(handle, message, wParam, lParam);
    }
    auto target = s.queues.find(window->thread);
    if (target == s.queues.end()) return 0;
    ThreadQueue* own = ownQueue();
    SentMessage sent{handle, message, wParam, lParam, 0, false, own};
    target->second->incoming.push_back(&sent);
    target->second->wake.notify_all();
    while (!sent.done) {
        if (!own->incoming.empty()) {
            runOneIncoming(lock, own);
            continue;
        }
        own->wake.wait(lock);
    }
    return sent.result;
}

bool matchesFilter(const MSG& entry, HWND window, UINT filterMin, UINT filterMax) {
    if (entry.message == WM_QUIT) return true; // always delivered, whatever the filter
    if (window == kThreadMessagesOnly) {
        if (entry.hwnd != nullptr) return false;
    } else if (window != nullptr && entry.hwnd != window) {
        return false;
    }
    if (filterMin == 0 && filterMax == 0) return true;
    return entry.message >= filterMin && entry.message <= filterMax;
}

// Takes (or copies) the next posted message that passes the filter, then a pending quit.
bool takeMessage(ThreadQueue* queue, MSG* out, HWND window, UINT filterMin, UINT filterMax,
                 bool remove) {
    for (auto it = queue->posted.begin(); it != queue->posted.end(); ++it) {
        if (!matchesFilter(*it, window, filterMin, filterMax)) continue;
        *out = *it;
        if (remove) queue->posted.erase(it);
        return true;
    }
    if (queue->quitPending) {
        *out = MSG{};
        out->message = WM_QUIT;
        out->wParam = static_cast<WPARAM>(queue->quitCode);
        out->time = GetTickCount();
        if (remove) queue->quitPending = false;
        return true;
    }
    return false;
}

// A window filter is null, -1 (thread messages) or a live window of the calling thread.
bool validFilter(HWND window) {
    if (window == nullptr || window == kThreadMessagesOnly) return true;
    Window* found = findWindow(window);
    return found != nullptr && found->thread == GetCurrentThreadId();
}

// Forgets a window that has had its last message. Call with the lock held.
void forgetWindow(HWND handle) {
    State& s = state();
    Window* window = findWindow(handle);
    if (window == nullptr) return;
    if (Window* parent = findWindow(window->parent)) {
        auto& siblings = parent->children;
        siblings.erase(std::remove(siblings.begin(), siblings.end(), handle), siblings.end());
    }
    for (HWND child : window->children)
        if (Window* orphan = findWindow(child)) orphan->parent = nullptr;
    auto queue = s.queues.find(window->thread);
    if (queue != s.queues.end()) {
        auto& posted = queue->second->posted;
        posted.erase(std::remove_if(posted.begin(), posted.end(),
                                    [&](const MSG& entry) { return entry.hwnd == handle; }),
                     posted.end());
    }
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
        const bool isChild = (child->style & WS_CHILD) != 0;
        if (isChild != childWindows) continue;
        if (!isChild && child->thread != GetCurrentThreadId()) continue;
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
    sendMessage(handle, WM_DESTROY, 0, 0);
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
        sendMessage(window, WM_NCDESTROY, 0, 0);
        Lock lock(state().mutex);
        forgetWindow(window);
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
    for (HWND handle : owned)
        forgetWindow(handle);
    auto found = s.queues.find(queue->thread);
    if (found != s.queues.end() && found->second == queue) s.queues.erase(found);
    lock.unlock();
    delete queue;
}

bool extraIndexValid(const Window& window, int index) {
    return index >= 0 && static_cast<size_t>(index) + sizeof(LONG_PTR) <= window.extra.size();
}

} // namespace

extern "C" {

ATOM RegisterClassA(const WNDCLASSA* windowClass) {
    if (windowClass == nullptr || windowClass->lpfnWndProc == nullptr ||
        reinterpret_cast<uintptr_t>(windowClass->lpszClassName) < kAtomLimit ||
        windowClass->lpszClassName[0] == '\0') {
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

HWND CreateWindowExA(DWORD exStyle, LPCSTR className, LPCSTR windowName, DWORD style, int x, int y,
                     int width, int height, HWND parent, HMENU menu, HINSTANCE instance,
                     void* param) {
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
        SetLastError(ERROR_INVALID_HANDLE);
        return nullptr;
    }
    if ((style & WS_CHILD) != 0 && parent == nullptr && !messageOnly) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    const HWND handle = reinterpret_cast<HWND>(s.nextWindow++ << 4);
    Window& window = s.windows[handle];
    window.classKey = lowerCase(windowClass->name.c_str());
    window.classAtom = windowClass->atom;
    window.procedure = windowClass->info.lpfnWndProc;
    window.title = windowName != nullptr ? windowName : "";
    window.style = style;
    window.exStyle = exStyle;
    window.parent = parent;
    window.messageOnly = messageOnly;
    window.thread = GetCurrentThreadId();
    const int extraBytes = windowClass->info.cbWndExtra;
    if (extraBytes > 0) window.extra.assign(std::min(extraBytes, kMaxWindowExtraBytes), 0);
    if (parent != nullptr) findWindow(parent)->children.push_back(handle);
    WNDPROC procedure = window.procedure;
    const std::string classNameCopy = windowClass->name;
    ownQueue();
    lock.unlock();

    CreateStruct create{param,
                        instance,
                        menu,
                        parent,
                        height,
                        width,
                        y,
                        x,
                        static_cast<LONG>(style),
                        windowName,
                        classNameCopy.c_str(),
                        exStyle};
    if (procedure(handle, WM_CREATE, 0, reinterpret_cast<LPARAM>(&create)) == kCreateRefused) {
        if (IsWindow(handle)) DestroyWindow(handle);
        return nullptr;
    }
    return IsWindow(handle) ? handle : nullptr;
}

BOOL DestroyWindow(HWND handle) {
    {
        Lock lock(state().mutex);
        Window* window = findWindow(handle);
        if (window == nullptr) {
            SetLastError(ERROR_INVALID_HANDLE);
            return FALSE;
        }
        if (window->thread != GetCurrentThreadId()) {
            SetLastError(ERROR_ACCESS_DENIED);
            return FALSE;
        }
        if (window->destroying) return TRUE; // already on its way
        window->destroying = true;
    }
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
    // The newest window is the one on top.
    for (auto it = s.windows.rbegin(); it != s.windows.rend(); ++it) {
        const Window& window = it->second;
        if ((window.style & WS_CHILD) != 0 || window.messageOnly || window.destroying) continue;
        if (byAtom && window.classAtom != reinterpret_cast<uintptr_t>(className)) continue;
        if (!byAtom && className != nullptr && window.classKey != classKey) continue;
        if (windowName != nullptr && lowerCase(window.title.c_str()) != titleKey) continue;
        return it->first;
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
    Window* window = findWindow(handle);
    auto queue = window != nullptr ? s.queues.find(window->thread) : s.queues.end();
    if (queue == s.queues.end()) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    post(queue->second, handle, message, wParam, lParam);
    return TRUE;
}

BOOL PostThreadMessageA(DWORD threadId, UINT message, WPARAM wParam, LPARAM lParam) {
    State& s = state();
    Lock lock(s.mutex);
    auto queue = s.queues.find(threadId);
    if (queue == s.queues.end()) {
        SetLastError(ERROR_INVALID_PARAMETER); // the thread has no message queue
        return FALSE;
    }
    post(queue->second, nullptr, message, wParam, lParam);
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
        if (!queue->incoming.empty()) {
            runOneIncoming(lock, queue);
            continue;
        }
        if (!validFilter(window)) { // checked each round: the window may go while we wait
            SetLastError(ERROR_INVALID_HANDLE);
            return -1;
        }
        if (takeMessage(queue, message, window, filterMin, filterMax, true))
            return message->message == WM_QUIT ? FALSE : TRUE;
        queue->wake.wait(lock);
    }
}

BOOL PeekMessageA(MSG* message, HWND window, UINT filterMin, UINT filterMax, UINT remove) {
    if (message == nullptr) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    Lock lock(state().mutex);
    ThreadQueue* queue = ownQueue();
    while (!queue->incoming.empty())
        runOneIncoming(lock, queue);
    if (!validFilter(window)) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    return takeMessage(queue, message, window, filterMin, filterMax, (remove & PM_REMOVE) != 0)
               ? TRUE
               : FALSE;
}

BOOL TranslateMessage(const MSG*) {
    return FALSE;
}

LRESULT DispatchMessageA(const MSG* message) {
    if (message == nullptr || message->hwnd == nullptr) return 0;
    Lock lock(state().mutex);
    Window* window = findWindow(message->hwnd);
    if (window == nullptr) {
        SetLastError(ERROR_INVALID_HANDLE);
        return 0;
    }
    if (window->thread != GetCurrentThreadId()) {
        SetLastError(ERROR_ACCESS_DENIED);
        return 0;
    }
    WNDPROC procedure = window->procedure;
    lock.unlock();
    return procedure(message->hwnd, message->message, message->wParam, message->lParam);
}

LRESULT DefWindowProcA(HWND window, UINT message, WPARAM, LPARAM) {
    if (message == WM_CLOSE) DestroyWindow(window);
    return 0;
}

LONG_PTR SetWindowLongPtrA(HWND handle, int index, LONG_PTR value) {
    Lock lock(state().mutex);
    Window* window = findWindow(handle);
    if (window == nullptr) {
        SetLastError(ERROR_INVALID_HANDLE);
        return 0;
    }
    LONG_PTR previous = 0;
    if (index == GWLP_USERDATA) {
        previous = window->userData;
        window->userData = value;
    } else if (extraIndexValid(*window, index)) {
        std::memcpy(&previous, window->extra.data() + index, sizeof previous);
        std::memcpy(window->extra.data() + index, &value, sizeof value);
    } else {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    SetLastError(ERROR_SUCCESS); // lets a caller tell a previous 0 from a failure
    return previous;
}

LONG_PTR GetWindowLongPtrA(HWND handle, int index) {
    Lock lock(state().mutex);
    Window* window = findWindow(handle);
    if (window == nullptr) {
        SetLastError(ERROR_INVALID_HANDLE);
        return 0;
    }
    if (index == GWLP_USERDATA) return window->userData;
    if (!extraIndexValid(*window, index)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    LONG_PTR value = 0;
    std::memcpy(&value, window->extra.data() + index, sizeof value);
    return value;
}

DWORD GetWindowThreadProcessId(HWND handle, DWORD* processId) {
    Lock lock(state().mutex);
    Window* window = findWindow(handle);
    if (window == nullptr) {
        SetLastError(ERROR_INVALID_HANDLE);
        return 0;
    }
    if (processId != nullptr) *processId = static_cast<DWORD>(getpid());
    return window->thread;
}

} // extern "C"
