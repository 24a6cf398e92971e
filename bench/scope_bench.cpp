// Phase scope throughput at 44.1 kHz stereo, in multiples of real time.
#include "scope/lunavis_plugin.h"

#include <benchmark/benchmark.h>

#include <cmath>
#include <memory>
#include <numbers>

namespace {

constexpr int32_t kRateHz = 44100;
constexpr int32_t kChunkFrames = 4096;

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
    orq::AudioBuffers buffers(2, 2, kChunkFrames, orq::BufferLayout::Shared, kRateHz);
    buffers.setFrames(kChunkFrames);
    int64_t frames = 0;
    for (auto _ : state) {
        state.PauseTiming();
        for (int32_t i = 0; i < kChunkFrames; ++i) {
            const float t = static_cast<float>(frames + i) / kRateHz;
            buffers.inputs()[0][i] = 0.5f * std::sin(2.0f * std::numbers::pi_v<float> * 440.0f * t);
            buffers.inputs()[1][i] = 0.4f * std::sin(2.0f * std::numbers::pi_v<float> * 660.0f * t);
        }
        state.ResumeTiming();
        plugin->process(buffers);
        frames += kChunkFrames;
        // The editor's collection (about every 55 ms) is part of the load; once per chunk here.
        store->setMode(orq::kLunavisData);
        plugin->saveSettings(store->iface());
    }
    state.SetItemsProcessed(frames);
    state.counters["realtime"] =
        benchmark::Counter(static_cast<double>(frames) / kRateHz, benchmark::Counter::kIsRate);
    store->release();
}
BENCHMARK(lunavisProcess)->Arg(0)->Arg(1)->ArgName("mono")->UseRealTime();

} // namespace
