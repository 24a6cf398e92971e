// Multiband compressor engine throughput at 44.1 kHz stereo for 1 to 5 bands with one and two
// gain stages per band, in multiples of real time ("x_realtime" counter: seconds of audio per
// second of processing).
#include "compressor/compressor_engine.h"
#include "compressor/compressor_parameters.h"

#include "bench/realtime.h"

#include <cmath>
#include <numbers>
#include <random>
#include <vector>

namespace {

constexpr int32_t kRateHz = 44100;
constexpr int32_t kChannels = 2;
constexpr int32_t kChunkFrames = 4096;

void compressorEngine(benchmark::State& state) {
    using namespace orq::compressor;
    const auto bands = static_cast<float>(state.range(0));
    const auto compType = static_cast<float>(state.range(1)); // 0 two stages, 1 one stage
    CompressorParameterSet set;
    set.setFloat(kParamBandCount, bands);
    set.setFloat(kParamCompType, compType);
    // A compressing curve so the gain stages do real work: 2:1 above -12 dB.
    BandShape shapes[kShapeEntries];
    for (BandShape& s : shapes) {
        s = defaultBandShape();
        s.x[1] = 0.25f;
        s.y[1] = 0.25f;
        s.x[2] = 1.0f;
        s.y[2] = 0.5f;
        s.count = 3;
    }
    set.setArray(kParamShape, shapes, kShapeEntries);
    CompressorEngine engine(kChannels, kRateHz);
    applyParameters(engine, set.iface(), allParameters());
    engine.start();

    // Music-like input: two tones with noise, replayed chunk by chunk.
    std::vector<std::vector<float>> signal(kChannels, std::vector<float>(kChunkFrames * 16));
    std::mt19937 rng(1);
    std::uniform_real_distribution<float> noise(-0.1f, 0.1f);
    for (int32_t ch = 0; ch < kChannels; ++ch) {
        for (size_t i = 0; i < signal[ch].size(); ++i) {
            const double t = double(i) / kRateHz;
            signal[ch][i] = float(0.4 * std::sin(2.0 * std::numbers::pi * 110.0 * t) +
                                  0.2 * std::sin(2.0 * std::numbers::pi * 3000.0 * t)) +
                            noise(rng);
        }
    }
    std::vector<std::vector<float>> work(kChannels, std::vector<float>(kChunkFrames));
    float* channels[kChannels] = {work[0].data(), work[1].data()};
    size_t position = 0;
    int64_t frames = 0;
    for (auto _ : state) {
        for (int32_t ch = 0; ch < kChannels; ++ch)
            std::copy_n(signal[ch].begin() + position, kChunkFrames, work[ch].begin());
        engine.process(channels, channels, kChunkFrames);
        benchmark::DoNotOptimize(work[0].data());
        position = (position + kChunkFrames) % signal[0].size();
        frames += kChunkFrames;
    }
    orq::bench::reportRealtime(state, frames, kRateHz);
}

} // namespace

BENCHMARK(compressorEngine)
    ->ArgNames({"bands", "oneStage"})
    ->ArgsProduct({{1, 2, 3, 4, 5}, {0, 1}})
    ->Unit(benchmark::kMicrosecond);
