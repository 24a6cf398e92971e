// Reports a benchmark's speed in multiples of real time: x_realtime is the seconds of audio
// processed per second of wall time (one core), items_per_second the frames per second.
#pragma once

#include <benchmark/benchmark.h>

#include <cstdint>

namespace orq::bench {

// totalFrames: the frames processed over all iterations.
inline void reportRealtime(benchmark::State& state, int64_t totalFrames, double sampleRateHz) {
    state.SetItemsProcessed(totalFrames);
    state.counters["x_realtime"] =
        benchmark::Counter(double(totalFrames) / sampleRateHz, benchmark::Counter::kIsRate);
}

inline void setRealtimeCounters(benchmark::State& state, int64_t framesPerIteration, double sampleRateHz) {
    reportRealtime(state, int64_t(state.iterations()) * framesPerIteration, sampleRateHz);
}

} // namespace orq::bench
