// Maximizer throughput at 44.1 kHz stereo, in multiples of real time (x_realtime):
// the engine with its per-sample lock (as the plug-in runs it), the engine without the lock
// (the lock's share), and the whole plug-in process call. Rates are per second of the process's
// processor time, which on a shared machine is the one-core figure.
#include "maximizer/pressane_plugin_frame_lock.h"
#include "maximizer/maximizer_engine.h"
#include "maximizer/pressane_plugin.h"
#include "bench/realtime.h"

#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdint>
#include <memory>
#include <numbers>
#include <vector>

namespace {

constexpr int32_t kRateHz = 44100;
constexpr int32_t kChunkFrames = 4096;
constexpr int32_t kSignalFrames = kRateHz * 4;
constexpr float kDesiredGainDb = 6.0f;
constexpr float kDensity = 0.3f;

// A loud, busy programme so that the level stage and the limiter work: chords, a bass and
// noise hits every quarter second, peaking near full scale.
std::vector<std::vector<float>> programme() {
    std::vector<std::vector<float>> signal(2, std::vector<float>(kSignalFrames));
    uint32_t noise = 0x2545F491u;
    const float twoPi = 2.0f * std::numbers::pi_v<float>;
    for (int32_t n = 0; n < kSignalFrames; ++n) {
        const float t = static_cast<float>(n) / kRateHz;
        noise ^= noise << 13;
        noise ^= noise >> 17;
        noise ^= noise << 5;
        const float white = static_cast<float>(noise) / 2147483648.0f - 1.0f;
        const float hit = std::exp(-std::fmod(t, 0.25f) / 0.03f);
        const float tonal = 0.25f * std::sin(twoPi * 55.0f * t) +
                            0.12f * std::sin(twoPi * 220.0f * t) +
                            0.1f * std::sin(twoPi * 329.6f * t);
        signal[0][n] = tonal + 0.45f * hit * white;
        signal[1][n] = tonal + 0.12f * std::sin(twoPi * 277.2f * t) + 0.4f * hit * white;
    }
    return signal;
}

void maximizerEngine(benchmark::State& state) {
    const bool locked = state.range(0) != 0;
    const auto signal = programme();
    std::vector<std::vector<float>> out(2, std::vector<float>(kChunkFrames));
    orq::maximizer::MaximizerEngine engine(orq::maximizer::kComponentOptions);
    engine.setDesiredGain(kDesiredGainDb);
    engine.setDensity(kDensity);
    engine.open(kRateHz, 2);
    CRITICAL_SECTION section;
    InitializeCriticalSection(&section);
    orq::maximizer::CriticalSectionFrameLock lock{section};
    int64_t frames = 0;
    int32_t at = 0;
    for (auto _ : state) {
        const float* in[2] = {signal[0].data() + at, signal[1].data() + at};
        float* outPtr[2] = {out[0].data(), out[1].data()};
        if (locked)
            engine.process(in, outPtr, kChunkFrames, orq::maximizer::OutputMode::Replace, lock);
        else
            engine.process(in, outPtr, kChunkFrames, orq::maximizer::OutputMode::Replace);
        benchmark::DoNotOptimize(out[0].data());
        frames += kChunkFrames;
        at = at + 2 * kChunkFrames <= kSignalFrames ? at + kChunkFrames : 0;
    }
    DeleteCriticalSection(&section);
    orq::bench::reportRealtime(state, frames, kRateHz);
}
BENCHMARK(maximizerEngine)->Arg(1)->Arg(0)->ArgName("lock");

void pressaneProcess(benchmark::State& state) {
    const auto signal = programme();
    std::unique_ptr<orq::AudioPlugin> plugin(orq::createPressanePlugin(nullptr, nullptr, nullptr));
    orq::ParameterSet& parameters = plugin->parameters();
    parameters.setFloat(orq::maximizer::kPressaneDesiredGain, kDesiredGainDb);
    parameters.setFloat(orq::maximizer::kPressaneDensity, kDensity);
    orq::OpenFormat format{kRateHz, 2, 0};
    plugin->open(format);
    plugin->start();
    orq::AudioBuffers buffers(2, 2, kChunkFrames, orq::BufferLayout::Shared, kRateHz);
    buffers.setFrames(kChunkFrames);
    int64_t frames = 0;
    int32_t at = 0;
    for (auto _ : state) {
        state.PauseTiming();
        for (int32_t c = 0; c < 2; ++c)
            std::copy_n(signal[c].data() + at, kChunkFrames, buffers.inputs()[c]);
        at = at + 2 * kChunkFrames <= kSignalFrames ? at + kChunkFrames : 0;
        state.ResumeTiming();
        plugin->process(buffers);
        frames += kChunkFrames;
    }
    plugin->close();
    orq::bench::reportRealtime(state, frames, kRateHz);
}
BENCHMARK(pressaneProcess);

} // namespace
