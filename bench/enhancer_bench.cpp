// Speed of the spectral enhancer at 44.1 kHz on one core.
// Counters: frames/s (items_per_second) and x_realtime, the seconds of audio that one second of
// processing handles.
#include "enhancer/brisquet_plugin.h"
#include "enhancer/enhancer_engine.h"

#include "bench/realtime.h"

#include <cmath>
#include <random>
#include <vector>

namespace {

constexpr int32_t kSampleRateHz = 44100;
constexpr int32_t kSignalFrames = kSampleRateHz; // one second of programme material

// Noise over a slow sine: loud enough that both band compressors work above threshold.
std::vector<float> programme(uint32_t seed) {
    std::mt19937 rng(seed);
    std::uniform_real_distribution<float> dist(-0.3f, 0.3f);
    std::vector<float> s(kSignalFrames);
    for (int32_t n = 0; n < kSignalFrames; ++n)
        s[size_t(n)] =
            dist(rng) + 0.5f * float(std::sin(2.0 * 3.141592653589793 * 440.0 * n / kSampleRateHz));
    return s;
}

void setCounters(benchmark::State& state, int64_t framesPerIteration) {
    orq::bench::setRealtimeCounters(state, framesPerIteration, kSampleRateHz);
}

// The engine alone, stereo, in host-sized calls (state.range(0) frames).
void BM_EnhancerEngineStereo(benchmark::State& state) {
    const int32_t callFrames = int32_t(state.range(0));
    orq::enhancer::EnhancerEngine engine(kSampleRateHz, 2);
    const std::vector<float> left = programme(1), right = programme(2);
    std::vector<float> outLeft(kSignalFrames), outRight(kSignalFrames);
    for (auto _ : state) {
        for (int32_t offset = 0; offset < kSignalFrames; offset += callFrames) {
            const int32_t n = std::min(callFrames, kSignalFrames - offset);
            const float* in[2] = {left.data() + offset, right.data() + offset};
            float* out[2] = {outLeft.data() + offset, outRight.data() + offset};
            engine.process(in, out, n);
        }
        benchmark::DoNotOptimize(outLeft.data());
        benchmark::DoNotOptimize(outRight.data());
    }
    setCounters(state, kSignalFrames);
}
BENCHMARK(BM_EnhancerEngineStereo)->Arg(512)->Arg(4096);

// The same with slow time constants, the deepest threshold and full drive.
void BM_EnhancerEngineStereoDense(benchmark::State& state) {
    orq::enhancer::EnhancerEngine engine(kSampleRateHz, 2);
    engine.setDensity(6.0f);
    engine.setKick(true);
    engine.setDrive(1.0f);
    engine.setCornerHz(1000.0f);
    const std::vector<float> left = programme(3), right = programme(4);
    std::vector<float> outLeft(kSignalFrames), outRight(kSignalFrames);
    for (auto _ : state) {
        const float* in[2] = {left.data(), right.data()};
        float* out[2] = {outLeft.data(), outRight.data()};
        engine.process(in, out, kSignalFrames);
        benchmark::DoNotOptimize(outLeft.data());
    }
    setCounters(state, kSignalFrames);
}
BENCHMARK(BM_EnhancerEngineStereoDense);

// Through the plug-in's process (lock, channel handling) in the frame's 8192-frame chunks.
void BM_BrisquetPluginStereo(benchmark::State& state) {
    orq::AudioPlugin* plugin = orq::createBrisquetPlugin(nullptr, nullptr, nullptr);
    orq::OpenFormat format{kSampleRateHz, 2, 0};
    plugin->open(format);
    const std::vector<float> left = programme(5), right = programme(6);
    constexpr int32_t kChunkFrames = 8192;
    orq::AudioBuffers buffers(2, 2, kChunkFrames, orq::BufferLayout::Shared, kSampleRateHz);
    for (auto _ : state) {
        for (int32_t offset = 0; offset < kSignalFrames; offset += kChunkFrames) {
            const int32_t n = std::min(kChunkFrames, kSignalFrames - offset);
            buffers.setFrames(n);
            std::copy(left.begin() + offset, left.begin() + offset + n, buffers.inputs()[0]);
            std::copy(right.begin() + offset, right.begin() + offset + n, buffers.inputs()[1]);
            plugin->process(buffers);
        }
        benchmark::DoNotOptimize(buffers.outputs()[0]);
    }
    setCounters(state, kSignalFrames);
    delete plugin;
}
BENCHMARK(BM_BrisquetPluginStereo);

} // namespace
