// One tick of the compressor editor's meter: the exchange with the plug-in (its band meter into
// the editor's set), the ballistics, and the curve editor's repaint when the meter's pixel moved
// (and without one when it stayed). The editor lives in a window of the benchmark, in memory.
#include "compressor/compressor_editor.h"
#include "compressor/compressor_parameters.h"
#include "compressor/compressor_plugin.h"
#include "runtime/audio_buffers.h"

#include <benchmark/benchmark.h>

#include <cmath>

namespace {

using namespace orq;
using orq::compressor::CompressorEditor;

constexpr int kFrames = 4096;
constexpr int kBlocks = 8;

void pump() {
    MSG message{};
    while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE))
        DispatchMessageA(&message);
}

// A running compressor that has seen a loud tone, and its editor in a popup window.
class Rig {
  public:
    Rig() {
        WNDCLASSA windowClass{};
        windowClass.lpfnWndProc = DefWindowProcA;
        windowClass.lpszClassName = "CompressorEditorBench";
        RegisterClassA(&windowClass);
        parent_ = CreateWindowExA(0, "CompressorEditorBench", "", WS_POPUP | WS_VISIBLE, 0, 0, 600,
                                  300, nullptr, nullptr, nullptr, nullptr);
        plugin_ = createCompressorPlugin(createCompressorParameters(), nullptr, nullptr);
        record_ = &plugin_->record();
        OpenFormat format{44100, 2, 0};
        record_->dispatcher(record_, kCmdOpen, &format, 0);
        record_->dispatcher(record_, kCmdStart, nullptr, 0);
        AudioBuffers buffers(2, 2, kFrames, BufferLayout::Separate);
        for (int block = 0; block < kBlocks; ++block) {
            buffers.setFrames(kFrames);
            buffers.frames = kFrames;
            for (int c = 0; c < 2; ++c)
                for (int i = 0; i < kFrames; ++i)
                    buffers.inputs()[c][i] = 0.8f * float(std::sin(0.05 * (block * kFrames + i)));
            record_->process(record_, &buffers);
        }
        editorRecord_ = static_cast<EditorRecord*>(createEditorRecord(
            &createCompressorEditor, createCompressorParameters(), record_->parameters));
        editorRecord_->dispatch(editorRecord_, kEdAttachRecord, record_, 0);
        editorRecord_->dispatch(editorRecord_, kEdAttachParent, parent_, 0);
        editor_ = static_cast<CompressorEditor*>(EditorHost::fromRecord(editorRecord_));
        pump();
    }
    ~Rig() {
        editorRecord_->dispatch(editorRecord_, kEdDetachParent, nullptr, 0);
        editorRecord_->dispatch(editorRecord_, kEdDestroy, nullptr, 0);
        record_->dispatcher(record_, kCmdCloseAll, nullptr, 0);
        DestroyWindow(parent_);
        UnregisterClassA("CompressorEditorBench", nullptr);
        pump();
    }
    void tick() const {
        SendMessageA(editor_->clientWindow(), WM_TIMER, CompressorEditor::kMeterTimer, 0);
    }
    CompressorEditor* editor() const { return editor_; }

  private:
    HWND parent_ = nullptr;
    AudioPlugin* plugin_ = nullptr;
    PluginRecord* record_ = nullptr;
    EditorRecord* editorRecord_ = nullptr;
    CompressorEditor* editor_ = nullptr;
};

// The meter stands still: exchange and ballistics, no repaint.
void BM_MeterTickSteady(benchmark::State& state) {
    Rig rig;
    for (int i = 0; i < 50; ++i)
        rig.tick();
    const int paints = rig.editor()->curveEditor()->meterPaints();
    for (auto _ : state)
        rig.tick();
    state.counters["repaints"] = rig.editor()->curveEditor()->meterPaints() - paints;
}
BENCHMARK(BM_MeterTickSteady)->Unit(benchmark::kMicrosecond);

// The meter moved since the last tick: exchange, ballistics and the curve editor's repaint.
void BM_MeterTickWithRepaint(benchmark::State& state) {
    Rig rig;
    for (int i = 0; i < 50; ++i)
        rig.tick();
    for (auto _ : state) {
        state.PauseTiming();
        rig.editor()->curveEditor()->setMeter(-1.0f); // so the tick's value is a change
        state.ResumeTiming();
        rig.tick();
    }
}
BENCHMARK(BM_MeterTickWithRepaint)->Unit(benchmark::kMicrosecond);

} // namespace
