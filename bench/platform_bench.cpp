// Cost of the platform's critical section: an uncontended enter and leave by the thread the
// section is biased to, by a thread on a section with no bias, and by a thread on a section
// biased to another thread. Time per iteration is one enter and leave.
#include <windows.h>

#include <benchmark/benchmark.h>

#include <thread>

namespace {

// Enough entries from one thread for the section to become biased to it.
constexpr int kEntriesToBias = 1000;

void enterAndLeave(CRITICAL_SECTION* cs, int times) {
    for (int i = 0; i < times; ++i) {
        EnterCriticalSection(cs);
        LeaveCriticalSection(cs);
    }
}

void criticalSectionBiasedThread(benchmark::State& state) {
    CRITICAL_SECTION cs;
    InitializeCriticalSection(&cs);
    enterAndLeave(&cs, kEntriesToBias);
    if (PlatformCriticalSectionBias(&cs, TRUE) != GetCurrentThreadId())
        state.SkipWithError("not biased");
    for (auto _ : state) {
        EnterCriticalSection(&cs);
        benchmark::ClobberMemory();
        LeaveCriticalSection(&cs);
    }
    DeleteCriticalSection(&cs);
}
BENCHMARK(criticalSectionBiasedThread);

void criticalSectionUnbiased(benchmark::State& state) {
    PlatformCriticalSectionBias(nullptr, FALSE);
    CRITICAL_SECTION cs;
    InitializeCriticalSection(&cs);
    for (auto _ : state) {
        EnterCriticalSection(&cs);
        benchmark::ClobberMemory();
        LeaveCriticalSection(&cs);
    }
    DeleteCriticalSection(&cs);
    PlatformCriticalSectionBias(nullptr, TRUE);
}
BENCHMARK(criticalSectionUnbiased);

// Each entry costs a process-wide memory barrier, so the bias moves to this thread after a
// run of entries; the section is re-biased to the other thread every so many iterations.
void criticalSectionBiasedToOtherThread(benchmark::State& state) {
    CRITICAL_SECTION cs;
    InitializeCriticalSection(&cs);
    std::thread([&] { enterAndLeave(&cs, kEntriesToBias); }).join();
    for (auto _ : state) {
        EnterCriticalSection(&cs);
        benchmark::ClobberMemory();
        LeaveCriticalSection(&cs);
    }
    DeleteCriticalSection(&cs);
}
BENCHMARK(criticalSectionBiasedToOtherThread)->Iterations(32);

} // namespace
