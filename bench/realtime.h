// Reports a benchmark's speed in multiples of real time: x_realtime is the seconds of audio
// processed per second of wall time (one core), items_per_second the frames per second.
#pragma once

#include <benchmark/benchmark.h>

#include "runtime/audio_buffers.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <numbers>
#include <vector>

namespace orq::bench {

// totalFrames: the frames processed over all iterations.
inline void reportRealtime(benchmark::State& state, int64_t totalFrames, double sampleRateHz) {
    state.SetItemsProcessed(totalFrames);
    state.counters["x_realtime"] =
        benchmark::Counter(double(totalFrames) / sampleRateHz, benchmark::Counter::kIsRate);
}

inline void setRealtimeCounters(benchmark::State& state, int64_t framesPerIteration,
                                double sampleRateHz) {
    reportRealtime(state, int64_t(state.iterations()) * framesPerIteration, sampleRateHz);
}

// Two sines (left and right) precomputed once and replayed chunk by chunk into a float block,
// so a benchmark measures the plug-in and not the signal generator.
class StereoReplay {
  public:
    StereoReplay(int32_t sampleRateHz, int32_t chunkFrames, double leftHz, double rightHz,
                 double seconds = 2.0)
        : chunkFrames_(chunkFrames),
          buffers_(2, 2, chunkFrames, BufferLayout::Shared, sampleRateHz) {
        const int32_t frames = int32_t(seconds * sampleRateHz);
        left_.resize(size_t(frames));
        right_.resize(size_t(frames));
        for (int32_t i = 0; i < frames; ++i) {
            const double t = double(i) / sampleRateHz;
            left_[size_t(i)] = float(0.5 * std::sin(2.0 * std::numbers::pi * leftHz * t));
            right_[size_t(i)] = float(0.4 * std::sin(2.0 * std::numbers::pi * rightHz * t));
        }
        buffers_.setFrames(chunkFrames);
    }
    // The next chunk of the signal in the block (wrapping at the end).
    AudioBuffers& next() {
        if (position_ + chunkFrames_ > int32_t(left_.size())) position_ = 0;
        std::copy_n(left_.data() + position_, chunkFrames_, buffers_.inputs()[0]);
        std::copy_n(right_.data() + position_, chunkFrames_, buffers_.inputs()[1]);
        position_ += chunkFrames_;
        return buffers_;
    }

  private:
    int32_t chunkFrames_;
    int32_t position_ = 0;
    std::vector<float> left_, right_;
    AudioBuffers buffers_;
};

} // namespace orq::bench
