// Matching filter throughput at 44.1 kHz stereo in both modes, in multiples of real time
// ("realtime" counter: audio seconds processed per wall-clock second), with a matched curve
// (learned source and destination spectra, match on at 100 %) and the live analysis running.
#include "matching/matching_engine.h"

#include <benchmark/benchmark.h>

#include <cstdint>
#include <random>
#include <vector>

namespace {

constexpr int32_t kRateHz = 44100;
constexpr int32_t kChunkFrames = 4096;
constexpr int32_t kSignalFrames = kRateHz * 2;

std::vector<std::vector<float>> noise() {
    std::mt19937 rng(1);
    std::uniform_real_distribution<float> u(-0.5f, 0.5f);
    std::vector<std::vector<float>> s(2, std::vector<float>(kSignalFrames));
    for (auto& ch : s) {
        for (float& v : ch)
            v = u(rng);
    }
    return s;
}

void matchingEngine(benchmark::State& state) {
    using namespace orq::matching;
    const bool thirdOctave = state.range(0) != 0;
    const auto signal = noise();
    MatchEngine engine(kRateHz, 2);
    engine.setThirdOctave(thirdOctave);
    // A learned difference to match: a tilted source against a flat destination.
    std::vector<float> src(size_t(engine.learnedBins())), dst(src.size(), 1.0f);
    for (size_t k = 0; k < src.size(); ++k)
        src[k] = 1.0f + float(k % 50) / 10.0f;
    engine.setLearnedSpectrum(LearnTarget::Source, src.data(), int32_t(src.size()));
    engine.setLearnedSpectrum(LearnTarget::Destination, dst.data(), int32_t(dst.size()));
    engine.setMatch(true);

    std::vector<std::vector<float>> out(2, std::vector<float>(kChunkFrames));
    float* outs[2] = {out[0].data(), out[1].data()};
    int64_t frames = 0;
    int32_t pos = 0;
    for (auto _ : state) {
        const float* ins[2] = {signal[0].data() + pos, signal[1].data() + pos};
        engine.process(ins, outs, kChunkFrames);
        benchmark::DoNotOptimize(out[0].data());
        frames += kChunkFrames;
        pos += kChunkFrames;
        if (pos + kChunkFrames > kSignalFrames) pos = 0;
    }
    state.SetItemsProcessed(frames);
    state.counters["realtime"] =
        benchmark::Counter(double(frames) / kRateHz, benchmark::Counter::kIsRate);
}

} // namespace

BENCHMARK(matchingEngine)->Arg(0)->ArgName("thirdOctave");
BENCHMARK(matchingEngine)->Arg(1)->ArgName("thirdOctave");
