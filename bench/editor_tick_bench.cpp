// One 600 ms tick of the matching filter's editor: the learned flag, the exchange with the
// plug-in (new spectra, display spectra, filter curve) and the display's repaint; in
// microseconds per tick. The plug-in has measured new spectra before each tick, as it has
// while audio plays.
#include "bench/editor_tick_bench.h"
#include "matching/tessaline_editor.h"
#include "matching/tessaline_plugin.h"

#include <benchmark/benchmark.h>

namespace {

using namespace orq;

void tessalineTick(benchmark::State& state) {
    const bool thirdOctave = state.range(0) != 0;
    bench::EditorRig<matching::TessalineEditor> rig(
        createTessalinePlugin(createTessalineParameters(), nullptr, nullptr),
        &createTessalineEditor, createTessalineParameters());
    if (thirdOctave) {
        SendMessageA(rig.editor().clientWindow(), WM_COMMAND, matching::kBandModeControl, 1);
        bench::pumpMessages();
    }
    // About 600 ms of audio between two ticks.
    constexpr int32_t kFramesPerTick = 26460;
    for (auto _ : state) {
        state.PauseTiming();
        rig.play(kFramesPerTick, 0.3f);
        state.ResumeTiming();
        rig.editor().tick();
        UpdateWindow(rig.editor().clientWindow()); // the display's repaint
    }
    state.SetLabel(thirdOctave ? "third octave" : "equal band");
}
BENCHMARK(tessalineTick)->Arg(0)->Arg(1)->Unit(benchmark::kMicrosecond);

} // namespace
