// Reports a benchmark's speed in multiples of real time: x_realtime is the seconds of audio
// processed per second of wall time (one core), items_per_second the frames per second.
#pragma once

#include <benchmark/benchmark.h>

#include <cstdint>

namespace orq::bench {

inline void setRealtimeCounters(benchmark::State& state, int64_t framesPerIteration, double sampleRateHz) {
    const double frames = double(state.iterations()) * double(framesPerIteration);
    state.SetItemsProcessed(int64_t(frames));
    state.counters["x_realtime"] = benchmark::Counter(frames / sampleRateHz, benchmark::Counter::kIsRate);
}

} // namespace orq::bench
