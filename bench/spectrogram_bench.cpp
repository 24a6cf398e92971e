// Spectrogram analyser throughput at 44.1 kHz stereo, full band and low band, in multiples of
// real time ("x_realtime" counter: seconds of audio per second).
#include "spectrogram/ombrel_plugin.h"

#include "bench/realtime.h"

#include <cmath>
#include <memory>
#include <numbers>
#include <vector>

namespace {

constexpr int32_t kRateHz = 44100;
constexpr int32_t kChunkFrames = 4096;

void ombrelProcess(benchmark::State& state) {
    const bool lowBand = state.range(0) != 0;
    std::unique_ptr<orq::AudioPlugin> plugin(orq::createOmbrelPlugin(nullptr, nullptr, nullptr));
    orq::OpenFormat format{kRateHz, 2, 0};
    plugin->open(format);
    orq::ParameterSet* store = orq::createOmbrelParameters();
    store->setFloat(orq::spectrogram::kOmbrelLowBand, lowBand ? 1.0f : 0.0f);
    store->setMode(orq::kModeChanged);
    plugin->loadSettings(store->iface());

    orq::bench::StereoReplay signal(kRateHz, kChunkFrames, 440.0, 97.0);
    int64_t frames = 0;
    for (auto _ : state) {
        plugin->process(signal.next());
        frames += kChunkFrames;
        // The editor collects about every 55 ms; once per chunk (93 ms) here.
        store->setMode(orq::spectrogram::kOmbrelSpectra);
        plugin->saveSettings(store->iface());
    }
    orq::bench::reportRealtime(state, frames, kRateHz);
    store->release();
}
BENCHMARK(ombrelProcess)->Arg(0)->Arg(1)->ArgName("lowBand");

} // namespace
