// One 33 ms tick of the enhancer's editor: the output peaks read and cleared through the
// plug-in's record, the decay, and both level meters repainted; in microseconds per tick.
#include "bench/editor_tick_bench.h"
#include "enhancer/brisquet_editor.h"
#include "enhancer/brisquet_plugin.h"

#include <benchmark/benchmark.h>

namespace {

using namespace orq;

void brisquetTick(benchmark::State& state) {
    bench::EditorRig<enhancer::BrisquetEditor> rig(
        createBrisquetPlugin(createBrisquetParameters(), nullptr, nullptr), &createBrisquetEditor,
        createBrisquetParameters());
    float peak = 0.2f;
    for (auto _ : state) {
        state.PauseTiming();
        // A different peak each time, so each tick moves the meters.
        peak = peak > 0.9f ? 0.2f : peak + 0.07f;
        rig.play(4096, peak);
        state.ResumeTiming();
        rig.editor().tick();
        bench::pumpMessages();
    }
}
BENCHMARK(brisquetTick)->Unit(benchmark::kMicrosecond);

} // namespace
