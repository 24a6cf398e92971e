// The processing frame alone: media samples of 4096 stereo frames at 44.1 kHz through the
// transform filter (conversion in, metering, a pass-through plug-in, metering, conversion out).
#include "bench/realtime.h"
#include "testsupport/frame_test_support.h"

#include <cmath>

namespace {

constexpr int64_t kFrames = 4096;
constexpr double kRateHz = 44100.0;

template <class T> void runFrame(benchmark::State& state, uint16_t tag, uint16_t bits) {
    using namespace orq;
    test::FrameRig rig(0, test::waveFormat(tag, bits, 2));
    PluginRecord* r = rig.record();
    r->dispatcher(r, kCmdEnableInputClips, nullptr, 0);
    r->dispatcher(r, kCmdEnableOutputClips, nullptr, 0);
    std::vector<T> samples(size_t(kFrames) * 2);
    for (size_t i = 0; i < samples.size(); ++i) {
        const double v = 0.5 * std::sin(double(i) * 0.01);
        if constexpr (sizeof(T) == 2)
            samples[i] = T(v * 32767);
        else
            samples[i] = T(v);
    }
    const auto bytes = test::bytesOf(samples);
    for (auto _ : state) {
        rig.push(bytes);
        benchmark::DoNotOptimize(rig.delivered().data());
        rig.clearDelivered();
    }
    bench::setRealtimeCounters(state, kFrames, kRateHz);
}

void BM_Frame16BitStereo(benchmark::State& state) {
    runFrame<int16_t>(state, orq::kFormatPcm, 16);
}
void BM_FrameFloatStereo(benchmark::State& state) {
    runFrame<float>(state, orq::kFormatFloat, 32);
}

} // namespace

BENCHMARK(BM_Frame16BitStereo);
BENCHMARK(BM_FrameFloatStereo);

namespace {
// The frame's check of the input for samples that are not finite numbers: one channel of the
// block above, all finite (the usual case).
void BM_ReplaceNonFiniteChannel(benchmark::State& state) {
    std::vector<float> channel(static_cast<size_t>(kFrames));
    for (size_t i = 0; i < channel.size(); ++i)
        channel[i] = 0.5f * std::sin(float(i) * 0.01f);
    for (auto _ : state) {
        benchmark::DoNotOptimize(orq::replaceNonFinite(channel.data(), int32_t(kFrames)));
        benchmark::ClobberMemory();
    }
    orq::bench::setRealtimeCounters(state, kFrames, kRateHz);
}
} // namespace

BENCHMARK(BM_ReplaceNonFiniteChannel);
