// Kernel objects: critical sections, interlocked operations, events, threads, handles, time,
// modules.
#include <windows.h>

#include "critical_section_fast.h"
#include "platform/clock.h"

#include <atomic>
#include <cerrno>
#include <chrono>
#include <climits>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <dlfcn.h>
#include <link.h>
#include <linux/futex.h>
#include <linux/membarrier.h>
#include <mutex>
#include <pthread.h>
#include <sys/syscall.h>
#include <thread>
#include <time.h>
#include <unistd.h>

// The calling thread's id, cached. Initial-exec: one load from the thread pointer, which the
// critical section's uncontended path (here and inline in critical_section_fast.h) depends on.
extern "C" {
__thread DWORD PlatformThreadIdCache __attribute__((tls_model("initial-exec"))) = 0;
}

namespace {

thread_local DWORD tlsLastError = 0;

__attribute__((noinline)) DWORD fetchThreadId() {
    return PlatformThreadIdCache = static_cast<DWORD>(syscall(SYS_gettid));
}

inline DWORD currentThreadId() {
    const DWORD id = PlatformThreadIdCache;
    return id != 0 ? id : fetchThreadId();
}

// A forked child's thread has a new id.
const int forgetIdInChild = pthread_atfork(nullptr, nullptr, [] { PlatformThreadIdCache = 0; });

long futex(std::atomic<uint32_t>* word, int op, uint32_t value) {
    return syscall(SYS_futex, reinterpret_cast<uint32_t*>(word), op, value, nullptr, nullptr, 0);
}

void cpuRelax() {
#if defined(__x86_64__) || defined(__i386__)
    __builtin_ia32_pause();
#endif
}

// ---------------------------------------------------------------------------------------------
// Critical sections
//
// A recursive lock with two ways in. The general way is a futex word (`state`: 0 free, 1 held,
// 2 held with waiters): one atomic read-modify-write to enter and one to leave. The audio
// thread takes its plug-in's lock once per sample, and those two locked instructions would be
// most of its cost, so a section that one thread takes again and again is biased to that
// thread: the bias thread enters with a plain store and two plain loads, and leaves with a
// plain store.
//
// The bias thread B enters by publishing `held = 1` in its own BiasRecord, then reading
// `state`: 0 means no one else holds or is acquiring the section, and B owns it. Any other
// thread first takes `state` (a locked instruction, so its claim is visible before it reads
// on), then calls membarrier(PRIVATE_EXPEDITED), then waits until B's `held` is 0. The
// membarrier runs a full memory barrier on every CPU that is running a thread of this
// process, which splits B's execution at one point: B's accesses before it are visible to the
// caller afterwards, and B's accesses after it see the caller's claim on `state`. B's store to
// `held` precedes its load of `state`, so either B's store is visible (the caller waits for
// B to leave) or B's load sees `state` != 0 (B clears `held` and takes the general way). Both
// can happen; the caller then waits for B to back off. They cannot both miss each other.
// Only the compiler has to be kept from reordering B's store and load (a signal fence); the
// processor's store-to-load reordering is what the membarrier makes harmless.
//
// Ordering for the data the lock protects, in C++ terms: a thread taking `state` acquires
// from the last release of `state`, and when it then sees B's `held` == 0 it acquires from
// B's release store of 0 on leaving. B's load of `state` is an acquire load that reads 0
// from the last release of `state` (every later write of `state` is a read-modify-write, so
// it continues that release sequence). Leaving releases on whichever word was taken.
//
// Changing the bias. A thread that takes the section the general way kBiasAfterAcquisitions
// times in a row, with no other thread entering in between, becomes the bias thread; the
// change is made while holding `state`, when no fast-path holder can be inside. A former bias
// thread may still be between reading `bias` and storing its `held`, so each thread has its
// own BiasRecord per section (written only by that thread, never shared), and a fast-path
// entry reads `bias` again after seeing `state` == 0: that load is ordered after the acquire
// of the release that followed any change of `bias`, so a thread that lost the bias sees it
// and backs off, having written only its own record. While no thread is biased the general
// way skips the membarrier: `bias` can only come to name a thread under `state`, so a thread
// that finds it unbiased after taking `state` has no fast-path holder to exclude. A section
// keeps records for kBiasRecordsPerSection threads; a record is reused once its thread has
// ended, and while all belong to living threads a new frequent user leaves the section
// unbiased.
//
// Where the kernel has no expedited membarrier, no section is ever biased.

constexpr uint32_t kBiasAfterAcquisitions = 64;
constexpr int kSpinsBeforeSleeping = 200;

std::atomic<bool> biasAllowed{true};

long membarrier(int command) {
    return syscall(SYS_membarrier, command, 0, 0);
}

bool registerForMembarrier() {
    const long commands = membarrier(MEMBARRIER_CMD_QUERY);
    if (commands < 0 || (commands & MEMBARRIER_CMD_PRIVATE_EXPEDITED) == 0) return false;
    return membarrier(MEMBARRIER_CMD_REGISTER_PRIVATE_EXPEDITED) == 0;
}

bool membarrierRegistered() {
    static const bool registered = registerForMembarrier();
    return registered;
}

// Makes every running thread of the process pass a full memory barrier. Registered before any
// section was biased; a failure here would leave a fast-path holder unexcluded.
void barrierOnAllThreads() {
    if (membarrier(MEMBARRIER_CMD_PRIVATE_EXPEDITED) == 0) return;
    if (registerForMembarrier() && membarrier(MEMBARRIER_CMD_PRIVATE_EXPEDITED) == 0) return;
    std::fputs("platform: membarrier failed; critical sections cannot exclude their bias thread\n",
               stderr);
    std::abort();
}

// The records and the section's layout are shared with the inline fast path
// (critical_section_fast.h).
using platform::section::BiasRecord;
using platform::section::kNoThread;
using CriticalSectionImpl = platform::section::Impl;

// The record an unbiased section points to, so that the fast path needs no null test. Never
// written.
BiasRecord unbiased{kNoThread, 0};

CriticalSectionImpl* impl(CRITICAL_SECTION* cs) {
    return static_cast<CriticalSectionImpl*>(cs->impl);
}

void lockState(CriticalSectionImpl* c) {
    uint32_t expected = 0;
    if (c->state.compare_exchange_strong(expected, 1, std::memory_order_acquire)) return;
    // Contended: mark waiters and sleep until the holder wakes us.
    if (expected != 2) expected = c->state.exchange(2, std::memory_order_acquire);
    while (expected != 0) {
        futex(&c->state, FUTEX_WAIT_PRIVATE, 2);
        expected = c->state.exchange(2, std::memory_order_acquire);
    }
}

void unlockState(CriticalSectionImpl* c) {
    if (c->state.exchange(0, std::memory_order_release) == 2)
        futex(&c->state, FUTEX_WAKE_PRIVATE, 1);
}

// Clears the fast-path flag on leaving or backing off. A thread holding `state` may be
// sleeping on the flag; it took `state` before its membarrier, so either this load sees it or
// the membarrier made the store visible before it went to sleep.
__attribute__((noinline)) void wakeHeldWaiters(BiasRecord* record) {
    futex(&record->held, FUTEX_WAKE_PRIVATE, INT_MAX);
}

inline __attribute__((always_inline)) void clearHeld(CriticalSectionImpl* c, BiasRecord* record) {
    record->held.store(0, std::memory_order_release);
    std::atomic_signal_fence(std::memory_order_seq_cst);
    if (c->state.load(std::memory_order_relaxed) != 0) [[unlikely]]
        wakeHeldWaiters(record);
}

// The bias thread's entry: true when it owns the section without a locked instruction. On
// false `held` is still set; the caller clears it.
inline __attribute__((always_inline)) bool enterBiased(CriticalSectionImpl* c, BiasRecord* record) {
    record->held.store(1, std::memory_order_relaxed);
    std::atomic_signal_fence(std::memory_order_seq_cst);
    return c->state.load(std::memory_order_acquire) == 0 &&
           c->bias.load(std::memory_order_relaxed) == record;
}

enum class Exclusion { NotNeeded, Excluded, Busy };

// After taking `state`: waits until the bias thread (if another thread) is out of its fast
// path. Without `wait`, returns Busy instead of waiting.
Exclusion excludeBiasThread(CriticalSectionImpl* c, DWORD self, bool wait) {
    BiasRecord* record = c->bias.load(std::memory_order_acquire);
    if (record == &unbiased || record->thread.load(std::memory_order_relaxed) == self)
        return Exclusion::NotNeeded;
    barrierOnAllThreads();
    for (int spin = 0; record->held.load(std::memory_order_acquire) != 0; ++spin) {
        if (!wait) return Exclusion::Busy;
        if (spin < kSpinsBeforeSleeping) {
            cpuRelax();
        } else {
            futex(&record->held, FUTEX_WAIT_PRIVATE, 1);
        }
    }
    return Exclusion::Excluded;
}

bool threadAlive(DWORD thread) {
    return syscall(SYS_tgkill, getpid(), thread, 0) == 0 || errno != ESRCH;
}

// The record `self` would use as the bias thread: its own, a free one, or one whose thread has
// ended. Null when every record belongs to another living thread.
BiasRecord* recordFor(CriticalSectionImpl* c, DWORD self) {
    for (BiasRecord& r : c->records)
        if (r.thread.load(std::memory_order_relaxed) == self) return &r;
    for (BiasRecord& r : c->records) {
        const DWORD thread = r.thread.load(std::memory_order_relaxed);
        if (thread == 0 || (r.held.load(std::memory_order_relaxed) == 0 && !threadAlive(thread))) {
            r.thread.store(self, std::memory_order_relaxed);
            return &r;
        }
    }
    return nullptr;
}

// Called by the owner after each entry through `state`: counts its run of entries (broken by
// any other thread's entry, fast ones included) and moves the bias to it after a long enough
// run. A bias that only costs the other threads barriers (its thread has stopped entering
// while two or more others take turns) is dropped after as many barriers in a row.
void noteGeneralEntry(CriticalSectionImpl* c, DWORD self, bool afterFastEntry, bool paidBarrier) {
    BiasRecord* current = c->bias.load(std::memory_order_relaxed);
    if (afterFastEntry) c->barriersSinceFastEntry = 0;
    if (paidBarrier && ++c->barriersSinceFastEntry >= kBiasAfterAcquisitions) {
        c->barriersSinceFastEntry = 0;
        current = &unbiased;
        c->bias.store(current, std::memory_order_release);
    }
    if (!biasAllowed.load(std::memory_order_relaxed)) {
        if (current != &unbiased) c->bias.store(&unbiased, std::memory_order_release);
        return;
    }
    if (afterFastEntry || c->streakThread != self) {
        c->streakThread = self;
        c->streakLength = 0;
    }
    if (c->streakLength < kBiasAfterAcquisitions) ++c->streakLength;
    if (c->streakLength < kBiasAfterAcquisitions) return;
    if (current->thread.load(std::memory_order_relaxed) == self) return;
    if (!membarrierRegistered()) return;
    BiasRecord* record = recordFor(c, self);
    c->bias.store(record != nullptr ? record : &unbiased, std::memory_order_release);
}

void becomeOwner(CriticalSectionImpl* c, DWORD self, BiasRecord* fastRecord) {
    c->owner.store(self, std::memory_order_relaxed);
    c->recursion = 1;
    c->fastRecord = fastRecord;
}

void becomeGeneralOwner(CriticalSectionImpl* c, DWORD self, Exclusion exclusion) {
    const bool afterFastEntry = c->fastRecord != nullptr;
    becomeOwner(c, self, nullptr);
    noteGeneralEntry(c, self, afterFastEntry, exclusion == Exclusion::Excluded);
}

// Entry through `state`, out of line so that the fast paths stay leaf code. A thread whose id
// is not cached yet arrives here with `self` 0.
__attribute__((noinline)) void enterGeneral(CriticalSectionImpl* c, DWORD self) {
    if (self == 0) self = fetchThreadId();
    lockState(c);
    becomeGeneralOwner(c, self, excludeBiasThread(c, self, true));
}

// The bias thread found another thread taking the section.
__attribute__((noinline)) void backOffAndEnterGeneral(CriticalSectionImpl* c, DWORD self,
                                                      BiasRecord* record) {
    clearHeld(c, record);
    enterGeneral(c, self);
}

__attribute__((noinline)) bool tryEnterGeneral(CriticalSectionImpl* c, DWORD self) {
    if (self == 0) self = fetchThreadId();
    uint32_t expected = 0;
    if (!c->state.compare_exchange_strong(expected, 1, std::memory_order_acquire)) return false;
    const Exclusion exclusion = excludeBiasThread(c, self, false);
    if (exclusion == Exclusion::Busy) {
        unlockState(c);
        return false;
    }
    becomeGeneralOwner(c, self, exclusion);
    return true;
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
    if (stackSize >= static_cast<size_t>(PTHREAD_STACK_MIN))
        pthread_attr_setstacksize(&attributes, stackSize);
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

// The manual clock (platform/clock.h): while on, GetTickCount returns manualTick.
std::atomic<bool> manualClock{false};
std::atomic<DWORD> manualTick{0};

DWORD monotonicTick() {
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<DWORD>(now.tv_sec * 1000 + now.tv_nsec / 1000000);
}

} // namespace

namespace platform {
void setManualClock(bool on) {
    if (on && !manualClock.load()) manualTick.store(monotonicTick());
    manualClock.store(on);
}
bool manualClockOn() {
    return manualClock.load();
}
void advanceManualClock(DWORD milliseconds) {
    manualTick.fetch_add(milliseconds);
}
} // namespace platform

extern "C" {

void InitializeCriticalSection(CRITICAL_SECTION* cs) {
    // The process registers for expedited barriers here, with its first section: registering
    // waits for the kernel's grace period (milliseconds), and done at the first bias it would
    // land on whichever thread entered the section often enough, such as a real-time audio
    // thread, and make it miss its period.
    membarrierRegistered();
    auto* c = new CriticalSectionImpl;
    c->bias.store(&unbiased, std::memory_order_relaxed);
    cs->impl = c;
    cs->spin = 0;
}

void DeleteCriticalSection(CRITICAL_SECTION* cs) {
    delete impl(cs);
    cs->impl = nullptr;
}

// The fast paths read the cached thread id directly: an uncached id (0) matches neither the
// owner nor the bias thread, and the general entry fetches it.
void EnterCriticalSection(CRITICAL_SECTION* cs) {
    CriticalSectionImpl* c = impl(cs);
    const DWORD self = PlatformThreadIdCache;
    if (c->owner.load(std::memory_order_relaxed) == self) [[unlikely]] {
        ++c->recursion;
        return;
    }
    BiasRecord* record = c->bias.load(std::memory_order_acquire);
    if (record->thread.load(std::memory_order_relaxed) != self) [[unlikely]]
        return enterGeneral(c, self);
    if (!enterBiased(c, record)) [[unlikely]]
        return backOffAndEnterGeneral(c, self, record);
    becomeOwner(c, self, record);
}

BOOL TryEnterCriticalSection(CRITICAL_SECTION* cs) {
    CriticalSectionImpl* c = impl(cs);
    const DWORD self = PlatformThreadIdCache;
    if (c->owner.load(std::memory_order_relaxed) == self) {
        ++c->recursion;
        return TRUE;
    }
    BiasRecord* record = c->bias.load(std::memory_order_acquire);
    if (record->thread.load(std::memory_order_relaxed) == self) {
        if (enterBiased(c, record)) {
            becomeOwner(c, self, record);
            return TRUE;
        }
        clearHeld(c, record);
    }
    return tryEnterGeneral(c, self) ? TRUE : FALSE;
}

void LeaveCriticalSection(CRITICAL_SECTION* cs) {
    CriticalSectionImpl* c = impl(cs);
    if (--c->recursion > 0) [[unlikely]]
        return;
    c->owner.store(kNoThread, std::memory_order_relaxed);
    if (BiasRecord* record = c->fastRecord) [[likely]] {
        clearHeld(c, record);
    } else {
        unlockState(c);
    }
}

void PlatformCriticalSectionBackOff(CRITICAL_SECTION* cs, BiasRecord* record) {
    backOffAndEnterGeneral(impl(cs), PlatformThreadIdCache, record);
}

void PlatformCriticalSectionWakeHeld(BiasRecord* record) {
    wakeHeldWaiters(record);
}

DWORD PlatformCriticalSectionBias(CRITICAL_SECTION* cs, BOOL allow) {
    biasAllowed.store(allow != FALSE, std::memory_order_relaxed);
    if (cs == nullptr || cs->impl == nullptr) return 0;
    BiasRecord* record = impl(cs)->bias.load(std::memory_order_acquire);
    return record != &unbiased ? record->thread.load(std::memory_order_relaxed) : 0;
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

DWORD GetCurrentThreadId() {
    return currentThreadId();
}

void Sleep(DWORD milliseconds) {
    std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
}

DWORD GetLastError() {
    return tlsLastError;
}
void SetLastError(DWORD error) {
    tlsLastError = error;
}

DWORD GetTickCount() {
    if (manualClock.load()) return manualTick.load();
    return monotonicTick();
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
