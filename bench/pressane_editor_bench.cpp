// The maximizer editor's meter ticks, in microseconds: the level tick (the frame's peaks read
// through the plug-in's record, the hold ballistics, and the bars, lamps and fields repainted
// where they changed) and the gain-meter tick (a meter request through the plug-in's lock and
// both meters repainted). The editor sits in a window of this thread, attached to a running
// maximizer that is fed a short block between ticks (outside the timing) so the levels change.
#include "maximizer/pressane_editor.h"
#include "maximizer/pressane_parameters.h"
#include "maximizer/pressane_plugin.h"

#include <benchmark/benchmark.h>

#include <cmath>

namespace {

using namespace orq;
using namespace orq::maximizer;

constexpr int32_t kBlockFrames = 64;
constexpr const char* kHostClass = "PressaneBenchHost";

void* createEditor(ParameterInterface* given) {
    return createEditorRecord(&createPressaneEditor, createPressaneParameters(), given);
}

void pump() {
    MSG message{};
    while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE))
        DispatchMessageA(&message);
}

class Rig {
  public:
    Rig() : buffers_(2, 2, kBlockFrames, BufferLayout::Separate) {
        PlatformSetClock(TRUE); // no timer of the editor's own interferes
        plugin_ = createPressanePlugin(nullptr, nullptr, nullptr);
        record_ = &plugin_->record();
        OpenFormat format{44100, 2, 0};
        record_->dispatcher(record_, kCmdOpen, &format, 0);
        WNDCLASSA wc{};
        wc.lpfnWndProc = DefWindowProcA;
        wc.lpszClassName = kHostClass;
        RegisterClassA(&wc);
        host_ = CreateWindowExA(0, kHostClass, "", WS_POPUP | WS_VISIBLE, 0, 0,
                                PressaneEditor::kWidthPixels, PressaneEditor::kHeightPixels,
                                nullptr, nullptr, nullptr, nullptr);
        editor_ = static_cast<EditorRecord*>(createEditor(record_->parameters));
        editor_->dispatch(editor_, kEdAttachRecord, record_, 0);
        record_->dispatcher(record_, kCmdAttachEditor, editor_, 0);
        editor_->dispatch(editor_, kEdAttachParent, host_, 0);
        client_ = editorClientWindow(editor_);
        record_->dispatcher(record_, kCmdStart, nullptr, 0);
        pump();
    }
    ~Rig() {
        record_->dispatcher(record_, kCmdAttachEditor, nullptr, 0);
        editor_->dispatch(editor_, kEdDestroy, nullptr, 0);
        record_->dispatcher(record_, kCmdCloseAll, nullptr, 0);
        DestroyWindow(host_);
        UnregisterClassA(kHostClass, nullptr);
        PlatformSetClock(FALSE);
    }
    // A block of a sine whose peak moves from block to block, so the bars change.
    void feed(int64_t block) {
        const float peak = 0.2f + 0.7f * float(block % 8) / 8.0f;
        buffers_.setFrames(kBlockFrames);
        buffers_.frames = kBlockFrames;
        for (int c = 0; c < 2; ++c)
            for (int i = 0; i < kBlockFrames; ++i)
                buffers_.inputs()[c][i] = peak * std::sin(0.2f * float(i));
        record_->process(record_, &buffers_);
    }
    void tick(UINT_PTR timer) { SendMessageA(client_, WM_TIMER, timer, 0); }

  private:
    AudioBuffers buffers_;
    AudioPlugin* plugin_ = nullptr;
    PluginRecord* record_ = nullptr;
    HWND host_ = nullptr;
    HWND client_ = nullptr;
    EditorRecord* editor_ = nullptr;
};

void BM_LevelTick(benchmark::State& state) {
    Rig rig;
    int64_t block = 0;
    for (auto _ : state) {
        state.PauseTiming();
        rig.feed(block++);
        state.ResumeTiming();
        rig.tick(PressaneEditor::kLevelTimer);
    }
}
BENCHMARK(BM_LevelTick)->Unit(benchmark::kMicrosecond);

void BM_GainMeterTick(benchmark::State& state) {
    Rig rig;
    int64_t block = 0;
    for (auto _ : state) {
        state.PauseTiming();
        rig.feed(block++);
        state.ResumeTiming();
        rig.tick(PressaneEditor::kGainMeterTimer);
    }
}
BENCHMARK(BM_GainMeterTick)->Unit(benchmark::kMicrosecond);

} // namespace
