// Kernel objects: critical sections, interlocked operations, events, threads, handles, time,
// modules.
#include <windows.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <climits>
#include <condition_variable>
#include <cstring>
#include <string>
#include <dlfcn.h>
#include <link.h>
#include <linux/futex.h>
#include <mutex>
#include <pthread.h>
#include <sys/syscall.h>
#include <thread>
#include <time.h>
#include <unistd.h>

namespace {

thread_local DWORD tlsLastError = 0;

// The calling thread's id, cached. Initial-exec: one load from the thread pointer, which the
// critical section's uncontended path depends on.
__attribute__((tls_model("initial-exec"))) thread_local DWORD cachedThreadId = 0;

DWORD currentThreadId() {
    DWORD id = cachedThreadId;
    if (id == 0) cachedThreadId = id = static_cast<DWORD>(syscall(SYS_gettid));
    return id;
}

// A forked child's thread has a new id.
const int forgetIdInChild = pthread_atfork(nullptr, nullptr, [] { cachedThreadId = 0; });

long futex(std::atomic<uint32_t>* word, int op, uint32_t value) {
    return syscall(SYS_futex, reinterpret_cast<uint32_t*>(word), op, value, nullptr, nullptr, 0);
}

// A recursive lock: state 0 free, 1 held, 2 held with waiters. The uncontended enter and leave
// are one atomic operation each.
struct CriticalSectionImpl {
    std::atomic<uint32_t> state{0};
    std::atomic<DWORD> owner{0};
    uint32_t recursion = 0;
};

CriticalSectionImpl* impl(CRITICAL_SECTION* cs) {
    return static_cast<CriticalSectionImpl*>(cs->impl);
}

// Every handle the platform gives out starts with its kind.
enum class HandleKind { Event, Thread };
struct HandleObject {
    explicit HandleObject(HandleKind k) : kind(k) {}
    virtual ~HandleObject() = default;
    HandleKind kind;
    std::mutex mutex;
    std::condition_variable signal;
};

struct EventObject : HandleObject {
    EventObject(bool manual, bool initial)
        : HandleObject(HandleKind::Event), manualReset(manual), signaled(initial) {}
    bool manualReset;
    bool signaled;
};

// A thread handle stays valid after the thread ends; the thread holds a reference of its own.
struct ThreadObject : HandleObject {
    ThreadObject() : HandleObject(HandleKind::Thread) {}
    std::atomic<int> references{2};
    bool finished = false;
    DWORD exitCode = 0;
    DWORD id = 0;
    LPTHREAD_START_ROUTINE start = nullptr;
    ThreadStartRoutine crtStart = nullptr;
    void* argument = nullptr;
    pthread_t pthread{};
};

void releaseThread(ThreadObject* t) {
    if (t->references.fetch_sub(1) == 1) delete t;
}

thread_local ThreadObject* tlsThread = nullptr;

void finishThread(ThreadObject* t, DWORD code) {
    {
        std::lock_guard<std::mutex> guard(t->mutex);
        t->finished = true;
        t->exitCode = code;
    }
    t->signal.notify_all();
    releaseThread(t);
}

struct ThreadExit {
    DWORD code;
};

void* threadMain(void* argument) {
    auto* t = static_cast<ThreadObject*>(argument);
    tlsThread = t;
    {
        std::lock_guard<std::mutex> guard(t->mutex);
        t->id = currentThreadId();
    }
    t->signal.notify_all();
    DWORD code = 0;
    try {
        code = t->start != nullptr ? t->start(t->argument) : t->crtStart(t->argument);
    } catch (const ThreadExit& exit) {
        code = exit.code;
    }
    finishThread(t, code);
    return nullptr;
}

HANDLE startThread(ThreadObject* t, size_t stackSize, DWORD* threadId) {
    pthread_attr_t attributes;
    pthread_attr_init(&attributes);
    if (stackSize >= static_cast<size_t>(PTHREAD_STACK_MIN)) pthread_attr_setstacksize(&attributes, stackSize);
    pthread_attr_setdetachstate(&attributes, PTHREAD_CREATE_DETACHED);
    int rc = pthread_create(&t->pthread, &attributes, threadMain, t);
    pthread_attr_destroy(&attributes);
    if (rc != 0) {
        delete t;
        tlsLastError = ERROR_NOT_ENOUGH_MEMORY;
        return nullptr;
    }
    std::unique_lock<std::mutex> lock(t->mutex);
    t->signal.wait(lock, [t] { return t->id != 0 || t->finished; });
    if (threadId != nullptr) *threadId = t->id;
    return t;
}

} // namespace

extern "C" {

void InitializeCriticalSection(CRITICAL_SECTION* cs) {
    cs->impl = new CriticalSectionImpl;
    cs->spin = 0;
}

void DeleteCriticalSection(CRITICAL_SECTION* cs) {
    delete impl(cs);
    cs->impl = nullptr;
}

void EnterCriticalSection(CRITICAL_SECTION* cs) {
    CriticalSectionImpl* c = impl(cs);
    const DWORD self = currentThreadId();
    if (c->owner.load(std::memory_order_relaxed) == self) {
        ++c->recursion;
        return;
    }
    uint32_t expected = 0;
    if (!c->state.compare_exchange_strong(expected, 1, std::memory_order_acquire)) {
        // Contended: mark waiters and sleep until the holder wakes us.
        if (expected != 2) expected = c->state.exchange(2, std::memory_order_acquire);
        while (expected != 0) {
            futex(&c->state, FUTEX_WAIT_PRIVATE, 2);
            expected = c->state.exchange(2, std::memory_order_acquire);
        }
    }
    c->owner.store(self, std::memory_order_relaxed);
    c->recursion = 1;
}

BOOL TryEnterCriticalSection(CRITICAL_SECTION* cs) {
    CriticalSectionImpl* c = impl(cs);
    const DWORD self = currentThreadId();
    if (c->owner.load(std::memory_order_relaxed) == self) {
        ++c->recursion;
        return TRUE;
    }
    uint32_t expected = 0;
    if (!c->state.compare_exchange_strong(expected, 1, std::memory_order_acquire)) return FALSE;
    c->owner.store(self, std::memory_order_relaxed);
    c->recursion = 1;
    return TRUE;
}

void LeaveCriticalSection(CRITICAL_SECTION* cs) {
    CriticalSectionImpl* c = impl(cs);
    if (--c->recursion > 0) return;
    c->owner.store(0, std::memory_order_relaxed);
    if (c->state.exchange(0, std::memory_order_release) == 2) futex(&c->state, FUTEX_WAKE_PRIVATE, 1);
}

LONG InterlockedIncrement(LONG volatile* target) {
    return __atomic_add_fetch(target, 1, __ATOMIC_SEQ_CST);
}
LONG InterlockedDecrement(LONG volatile* target) {
    return __atomic_sub_fetch(target, 1, __ATOMIC_SEQ_CST);
}
LONG InterlockedExchange(LONG volatile* target, LONG value) {
    return __atomic_exchange_n(target, value, __ATOMIC_SEQ_CST);
}
LONG InterlockedCompareExchange(LONG volatile* target, LONG exchange, LONG comparand) {
    LONG expected = comparand;
    __atomic_compare_exchange_n(target, &expected, exchange, false, __ATOMIC_SEQ_CST,
                                __ATOMIC_SEQ_CST);
    return expected;
}
LONG InterlockedExchangeAdd(LONG volatile* target, LONG value) {
    return __atomic_fetch_add(target, value, __ATOMIC_SEQ_CST);
}

HANDLE CreateEventA(void*, BOOL manualReset, BOOL initialState, LPCSTR) {
    return new EventObject(manualReset != 0, initialState != 0);
}

BOOL SetEvent(HANDLE handle) {
    auto* h = static_cast<HandleObject*>(handle);
    if (h == nullptr || h->kind != HandleKind::Event) {
        tlsLastError = ERROR_INVALID_HANDLE;
        return FALSE;
    }
    auto* e = static_cast<EventObject*>(h);
    {
        std::lock_guard<std::mutex> guard(e->mutex);
        e->signaled = true;
    }
    e->signal.notify_all();
    return TRUE;
}

BOOL ResetEvent(HANDLE handle) {
    auto* h = static_cast<HandleObject*>(handle);
    if (h == nullptr || h->kind != HandleKind::Event) {
        tlsLastError = ERROR_INVALID_HANDLE;
        return FALSE;
    }
    auto* e = static_cast<EventObject*>(h);
    std::lock_guard<std::mutex> guard(e->mutex);
    e->signaled = false;
    return TRUE;
}

DWORD WaitForSingleObject(HANDLE handle, DWORD milliseconds) {
    auto* h = static_cast<HandleObject*>(handle);
    if (h == nullptr) {
        tlsLastError = ERROR_INVALID_HANDLE;
        return WAIT_FAILED;
    }
    std::unique_lock<std::mutex> lock(h->mutex);
    auto ready = [h] {
        if (h->kind == HandleKind::Event) return static_cast<EventObject*>(h)->signaled;
        return static_cast<ThreadObject*>(h)->finished;
    };
    if (milliseconds == INFINITE) {
        h->signal.wait(lock, ready);
    } else if (!h->signal.wait_for(lock, std::chrono::milliseconds(milliseconds), ready)) {
        return WAIT_TIMEOUT;
    }
    if (h->kind == HandleKind::Event) {
        auto* e = static_cast<EventObject*>(h);
        if (!e->manualReset) e->signaled = false;
    }
    return WAIT_OBJECT_0;
}

BOOL CloseHandle(HANDLE handle) {
    auto* h = static_cast<HandleObject*>(handle);
    if (h == nullptr) {
        tlsLastError = ERROR_INVALID_HANDLE;
        return FALSE;
    }
    if (h->kind == HandleKind::Thread) {
        releaseThread(static_cast<ThreadObject*>(h));
    } else {
        delete h;
    }
    return TRUE;
}

HANDLE CreateThread(void*, size_t stackSize, LPTHREAD_START_ROUTINE start, void* argument, DWORD,
                    DWORD* threadId) {
    if (start == nullptr) {
        tlsLastError = ERROR_INVALID_PARAMETER;
        return nullptr;
    }
    auto* t = new ThreadObject;
    t->start = start;
    t->argument = argument;
    return startThread(t, stackSize, threadId);
}

uintptr_t _beginthreadex(void*, unsigned stackSize, ThreadStartRoutine start, void* argument,
                         unsigned, unsigned* threadId) {
    if (start == nullptr) return 0;
    auto* t = new ThreadObject;
    t->crtStart = start;
    t->argument = argument;
    DWORD id = 0;
    HANDLE h = startThread(t, stackSize, &id);
    if (threadId != nullptr) *threadId = id;
    return reinterpret_cast<uintptr_t>(h);
}

void _endthreadex(unsigned exitCode) {
    // Unwinds the thread's stack to its start routine, which records the exit code.
    throw ThreadExit{exitCode};
}

BOOL GetExitCodeThread(HANDLE handle, DWORD* exitCode) {
    auto* h = static_cast<HandleObject*>(handle);
    if (h == nullptr || h->kind != HandleKind::Thread || exitCode == nullptr) {
        tlsLastError = ERROR_INVALID_HANDLE;
        return FALSE;
    }
    auto* t = static_cast<ThreadObject*>(h);
    std::lock_guard<std::mutex> guard(t->mutex);
    constexpr DWORD kStillActive = 259;
    *exitCode = t->finished ? t->exitCode : kStillActive;
    return TRUE;
}

DWORD GetCurrentThreadId() { return currentThreadId(); }

void Sleep(DWORD milliseconds) { std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds)); }

DWORD GetLastError() { return tlsLastError; }
void SetLastError(DWORD error) { tlsLastError = error; }

DWORD GetTickCount() {
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<DWORD>(now.tv_sec * 1000 + now.tv_nsec / 1000000);
}

BOOL QueryPerformanceCounter(int64_t* count) {
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    *count = static_cast<int64_t>(now.tv_sec) * 1000000000 + now.tv_nsec;
    return TRUE;
}

BOOL QueryPerformanceFrequency(int64_t* frequency) {
    *frequency = 1000000000;
    return TRUE;
}

DWORD GetVersion() {
    // Reported as Windows NT 5.1: major 5 in the low byte, minor 1 in the next.
    return 0x0105;
}

HMODULE PlatformModuleFromAddress(const void* address) {
    Dl_info info{};
    if (dladdr(address, &info) == 0) return nullptr;
    return info.dli_fbase;
}

DWORD GetModuleFileNameA(HMODULE module, LPSTR fileName, DWORD size) {
    if (fileName == nullptr || size == 0) {
        tlsLastError = ERROR_INVALID_PARAMETER;
        return 0;
    }
    std::string path;
    if (module == nullptr) {
        char buffer[4096];
        ssize_t n = readlink("/proc/self/exe", buffer, sizeof buffer - 1);
        if (n > 0) path.assign(buffer, static_cast<size_t>(n));
    } else {
        Dl_info info{};
        if (dladdr(module, &info) != 0 && info.dli_fname != nullptr) path = info.dli_fname;
    }
    if (path.empty()) {
        tlsLastError = ERROR_INVALID_HANDLE;
        return 0;
    }
    if (path.size() + 1 > size) {
        std::memcpy(fileName, path.data(), size - 1);
        fileName[size - 1] = '\0';
        tlsLastError = 122; // ERROR_INSUFFICIENT_BUFFER
        return size;
    }
    std::memcpy(fileName, path.c_str(), path.size() + 1);
    return static_cast<DWORD>(path.size());
}

} // extern "C"
