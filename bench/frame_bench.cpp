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
