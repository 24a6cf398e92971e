// The bias thread's way into and out of a platform critical section, inline, for a caller that
// takes one section so often that the calls cost as much as the work between them (the
// maximizer takes its plug-in's lock for every frame). Only the uncontended entry of the thread
// the section is biased to, and its leaving, are here; every other case goes to
// EnterCriticalSection and LeaveCriticalSection, or to the two slow ways exported for this
// path. The protocol and the layout are the platform's (platform/kernel.cpp explains them).
#pragma once

#include <windows.h>

#include <atomic>
#include <cstdint>

namespace platform::section {

constexpr int kBiasRecordsPerSection = 4;

// No thread has this id (thread ids are positive and below 2^22), not even a thread whose id
// is not cached yet (0).
constexpr DWORD kNoThread = 0xffffffffu;

// One thread's fast-path flag for one section: 1 while that thread is entering or holding the
// section without taking `state`. Only the thread `thread` writes `held`.
struct BiasRecord {
    std::atomic<DWORD> thread{0};
    std::atomic<uint32_t> held{0};
};

struct alignas(64) Impl {
    std::atomic<uint32_t> state{0};
    std::atomic<DWORD> owner{kNoThread};
    std::atomic<BiasRecord*> bias{nullptr}; // the platform's unbiased record once initialised
    // Written only by the owner.
    uint32_t recursion = 0;
    BiasRecord* fastRecord = nullptr; // the record of the latest entry, null for `state`
    DWORD streakThread = 0;           // the thread of the latest run of entries through `state`
    uint32_t streakLength = 0;
    uint32_t barriersSinceFastEntry = 0;
    BiasRecord records[kBiasRecordsPerSection];
};

} // namespace platform::section

extern "C" {
// The calling thread's id once the platform has fetched it (at its first general entry), 0
// before.
WINAPI_EXPORT extern __thread DWORD PlatformThreadIdCache
    __attribute__((tls_model("initial-exec")));
// The bias thread set its flag in record and then found the section taken or its bias moved:
// clears the flag and enters the general way.
WINAPI_EXPORT void PlatformCriticalSectionBackOff(CRITICAL_SECTION* cs,
                                                  platform::section::BiasRecord* record);
// Wakes the threads waiting for the bias thread to clear its flag in record.
WINAPI_EXPORT void PlatformCriticalSectionWakeHeld(platform::section::BiasRecord* record);
}

namespace platform {

// EnterCriticalSection, with the bias thread's uncontended entry inline.
[[gnu::always_inline]] inline void enterCriticalSectionFast(CRITICAL_SECTION* cs) {
    auto* c = static_cast<section::Impl*>(cs->impl);
    const DWORD self = PlatformThreadIdCache;
    section::BiasRecord* record = c->bias.load(std::memory_order_acquire);
    if (c->owner.load(std::memory_order_relaxed) == self ||
        record->thread.load(std::memory_order_relaxed) != self) [[unlikely]]
        return EnterCriticalSection(cs);
    record->held.store(1, std::memory_order_relaxed);
    std::atomic_signal_fence(std::memory_order_seq_cst);
    if (c->state.load(std::memory_order_acquire) != 0 ||
        c->bias.load(std::memory_order_relaxed) != record) [[unlikely]]
        return PlatformCriticalSectionBackOff(cs, record);
    c->owner.store(self, std::memory_order_relaxed);
    c->recursion = 1;
    c->fastRecord = record;
}

// LeaveCriticalSection, with the bias thread's leaving of its fast entry inline.
[[gnu::always_inline]] inline void leaveCriticalSectionFast(CRITICAL_SECTION* cs) {
    auto* c = static_cast<section::Impl*>(cs->impl);
    section::BiasRecord* record = c->fastRecord;
    if (c->recursion != 1 || record == nullptr) [[unlikely]]
        return LeaveCriticalSection(cs);
    c->recursion = 0;
    c->owner.store(section::kNoThread, std::memory_order_relaxed);
    record->held.store(0, std::memory_order_release);
    std::atomic_signal_fence(std::memory_order_seq_cst);
    if (c->state.load(std::memory_order_relaxed) != 0) [[unlikely]]
        PlatformCriticalSectionWakeHeld(record);
}

} // namespace platform
