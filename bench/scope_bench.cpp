// Phase scope throughput at 44.1 kHz stereo, in multiples of real time ("x_realtime" counter:
// seconds of audio per second).
#include "scope/lunavis_plugin.h"

#include "bench/realtime.h"

#include <algorithm>
#include <cmath>
#include <memory>
#include <numbers>
#include <vector>

namespace {

constexpr int32_t kRateHz = 44100;
constexpr int32_t kChunkFrames = 4096;
constexpr int32_t kSignalSeconds = 2;

void lunavisProcess(benchmark::State& state) {
    std::unique_ptr<orq::AudioPlugin> plugin(orq::createLunavisPlugin(nullptr, nullptr, nullptr));
    orq::OpenFormat format{kRateHz, 2, 0};
    plugin->open(format);
    orq::ParameterSet* store = orq::createLunavisParameters();
    if (state.range(0) != 0) {
        store->setFloat(orq::kLunavisMono, 1.0f);
        store->setMode(orq::kModeChanged);
        plugin->loadSettings(store->iface());
    }
    // A precomputed stereo signal, replayed chunk by chunk into the frame's buffers.
    const int32_t signalFrames = kSignalSeconds * kRateHz;
    std::vector<float> left(signalFrames), right(signalFrames);
    for (int32_t i = 0; i < signalFrames; ++i) {
        const double t = double(i) / kRateHz;
        left[i] = float(0.5 * std::sin(2.0 * std::numbers::pi * 440.0 * t));
        right[i] = float(0.4 * std::sin(2.0 * std::numbers::pi * 660.0 * t));
    }
    orq::AudioBuffers buffers(2, 2, kChunkFrames, orq::BufferLayout::Shared, kRateHz);
    buffers.setFrames(kChunkFrames);
    int64_t frames = 0;
    int32_t position = 0;
    for (auto _ : state) {
        if (position + kChunkFrames > signalFrames) position = 0;
        std::copy_n(left.data() + position, kChunkFrames, buffers.inputs()[0]);
        std::copy_n(right.data() + position, kChunkFrames, buffers.inputs()[1]);
        position += kChunkFrames;
        plugin->process(buffers);
        frames += kChunkFrames;
        // The editor collects about every 55 ms; once per chunk (93 ms) here.
        store->setMode(orq::kLunavisData);
        plugin->saveSettings(store->iface());
    }
    orq::bench::reportRealtime(state, frames, kRateHz);
    store->release();
}
BENCHMARK(lunavisProcess)->Arg(0)->Arg(1)->ArgName("mono");

} // namespace
