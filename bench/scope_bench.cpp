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

void lunavisProcess(benchmark::State& state) {
    std::unique_ptr<orq::AudioPlugin> plugin(orq::createLunavisPlugin(nullptr, nullptr, nullptr));
    orq::OpenFormat format{kRateHz, 2, 0};
    plugin->open(format);
    orq::ParameterSet* store = orq::createLunavisParameters();
    if (state.range(0) != 0) {
        store->setFloat(orq::scope::kLunavisMono, 1.0f);
        store->setMode(orq::kModeChanged);
        plugin->loadSettings(store->iface());
    }
    orq::bench::StereoReplay signal(kRateHz, kChunkFrames, 440.0, 660.0);
    int64_t frames = 0;
    for (auto _ : state) {
        plugin->process(signal.next());
        frames += kChunkFrames;
        // The editor collects about every 55 ms; once per chunk (93 ms) here.
        store->setMode(orq::scope::kLunavisData);
        plugin->saveSettings(store->iface());
    }
    orq::bench::reportRealtime(state, frames, kRateHz);
    store->release();
}
BENCHMARK(lunavisProcess)->Arg(0)->Arg(1)->ArgName("mono");

} // namespace
