// Speed of the library FFTs against FFTW's single-precision real transforms.
// Counters: signals/s (items_per_second) and x_realtime, the seconds of 44.1 kHz audio that one
// second of processing transforms (each transformed signal of N points counts N samples).
#include "dsp/nsp.h"
#include "dsp/real_fft.h"

#include <benchmark/benchmark.h>
#include <fftw3.h>

#include <cstring>
#include <random>
#include <vector>

namespace {

constexpr double kSampleRateHz = 44100.0;

std::vector<float> randomSignal(size_t n, unsigned seed) {
    std::mt19937 engine(seed);
    std::uniform_real_distribution<float> dist(-1.0f, 1.0f);
    std::vector<float> x(n);
    for (auto& v : x)
        v = dist(engine);
    return x;
}

int orderOf(int64_t n) {
    int order = 0;
    while ((int64_t{1} << order) < n)
        ++order;
    return order;
}

void setCounters(benchmark::State& state, int64_t points, int signalsPerIteration) {
    const int64_t signals = state.iterations() * signalsPerIteration;
    state.SetItemsProcessed(signals);
    state.counters["x_realtime"] = benchmark::Counter(
        static_cast<double>(signals * points) / kSampleRateHz, benchmark::Counter::kIsRate);
}

// Each iteration restores the input (one copy of N+2 floats per signal) and transforms.
void BM_NspReal2FftForward(benchmark::State& state) {
    const int64_t n = state.range(0);
    const int order = orderOf(n);
    const auto xSource = randomSignal(n + 2, 1), ySource = randomSignal(n + 2, 2);
    std::vector<float> x(n + 2), y(n + 2);
    nspsReal2Fft(nullptr, nullptr, order, NSP_Init);
    for (auto _ : state) {
        std::memcpy(x.data(), xSource.data(), sizeof(float) * (n + 2));
        std::memcpy(y.data(), ySource.data(), sizeof(float) * (n + 2));
        nspsReal2Fft(x.data(), y.data(), order, NSP_Forw);
        benchmark::DoNotOptimize(x.data());
        benchmark::DoNotOptimize(y.data());
    }
    setCounters(state, n, 2);
}
BENCHMARK(BM_NspReal2FftForward)->Arg(512)->Arg(1024)->Arg(4096);

void BM_NspCcs2FftInverse(benchmark::State& state) {
    const int64_t n = state.range(0);
    const int order = orderOf(n);
    auto xSource = randomSignal(n + 2, 3), ySource = randomSignal(n + 2, 4);
    nspsReal2Fft(xSource.data(), ySource.data(), order, NSP_Forw);
    std::vector<float> x(n + 2), y(n + 2);
    for (auto _ : state) {
        std::memcpy(x.data(), xSource.data(), sizeof(float) * (n + 2));
        std::memcpy(y.data(), ySource.data(), sizeof(float) * (n + 2));
        nspsCcs2Fft(x.data(), y.data(), order, NSP_Inv);
        benchmark::DoNotOptimize(x.data());
        benchmark::DoNotOptimize(y.data());
    }
    setCounters(state, n, 2);
}
BENCHMARK(BM_NspCcs2FftInverse)->Arg(512)->Arg(1024)->Arg(4096);

// The own split-radix real FFT, one signal per call.
void BM_OwnRealFftForward(benchmark::State& state) {
    const int64_t n = state.range(0);
    const auto source = randomSignal(n, 7);
    std::vector<float> x(n);
    for (auto _ : state) {
        std::memcpy(x.data(), source.data(), sizeof(float) * n);
        orq::dsp::realFftForward(x.data(), static_cast<int>(n));
        benchmark::DoNotOptimize(x.data());
    }
    setCounters(state, n, 1);
}
BENCHMARK(BM_OwnRealFftForward)->Arg(1024);

void BM_OwnRealFftInverse(benchmark::State& state) {
    const int64_t n = state.range(0);
    auto source = randomSignal(n, 8);
    orq::dsp::realFftForward(source.data(), static_cast<int>(n));
    std::vector<float> x(n);
    for (auto _ : state) {
        std::memcpy(x.data(), source.data(), sizeof(float) * n);
        orq::dsp::realFftInverse(x.data(), static_cast<int>(n));
        benchmark::DoNotOptimize(x.data());
    }
    setCounters(state, n, 1);
}
BENCHMARK(BM_OwnRealFftInverse)->Arg(1024);

// FFTW's out-of-place real-to-complex transform keeps its input, so it needs no copy.
void BM_FftwRealForward(benchmark::State& state) {
    const int64_t n = state.range(0);
    float* in = fftwf_alloc_real(n);
    fftwf_complex* out = fftwf_alloc_complex(n / 2 + 1);
    fftwf_plan plan = fftwf_plan_dft_r2c_1d(static_cast<int>(n), in, out, FFTW_MEASURE);
    const auto source = randomSignal(n, 5);
    std::memcpy(in, source.data(), sizeof(float) * n);
    for (auto _ : state) {
        fftwf_execute(plan);
        benchmark::DoNotOptimize(out);
    }
    setCounters(state, n, 1);
    fftwf_destroy_plan(plan);
    fftwf_free(in);
    fftwf_free(out);
}
BENCHMARK(BM_FftwRealForward)->Arg(512)->Arg(1024)->Arg(4096);

// The complex-to-real transform overwrites its input, which is restored each iteration.
void BM_FftwRealInverse(benchmark::State& state) {
    const int64_t n = state.range(0);
    fftwf_complex* in = fftwf_alloc_complex(n / 2 + 1);
    float* out = fftwf_alloc_real(n);
    fftwf_plan plan = fftwf_plan_dft_c2r_1d(static_cast<int>(n), in, out, FFTW_MEASURE);
    const auto source = randomSignal(n + 2, 6);
    for (auto _ : state) {
        std::memcpy(in, source.data(), sizeof(float) * (n + 2));
        fftwf_execute(plan);
        benchmark::DoNotOptimize(out);
    }
    setCounters(state, n, 1);
    fftwf_destroy_plan(plan);
    fftwf_free(in);
    fftwf_free(out);
}
BENCHMARK(BM_FftwRealInverse)->Arg(512)->Arg(1024)->Arg(4096);

} // namespace
