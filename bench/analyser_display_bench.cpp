// One display tick of each analyser's editor: the timer's collection from the plug-in, the
// drawing (the spectrogram's scroll and strip, the scope's points and meters) and the paint.
// The audio of the 55 ms between ticks is fed with the timing paused. A tick should cost well
// under 5 % of its 55 ms period (2750 µs).
#include "runtime/editor_host.h"
#include "scope/lunavis_editor.h"
#include "scope/lunavis_parameters.h"
#include "scope/lunavis_plugin.h"
#include "spectrogram/ombrel_editor.h"
#include "spectrogram/ombrel_parameters.h"
#include "spectrogram/ombrel_plugin.h"

#include <benchmark/benchmark.h>

#include <cmath>
#include <vector>

namespace orq {
namespace {

constexpr int kRate = 44100;
constexpr int kFramesPerTick = kRate * 55 / 1000;

class HostWindow {
  public:
    HostWindow() {
        WNDCLASSA wc{};
        wc.lpfnWndProc = DefWindowProcA;
        wc.lpszClassName = "AnalyserBenchWindow";
        RegisterClassA(&wc);
        window_ = CreateWindowExA(0, "AnalyserBenchWindow", "", WS_POPUP | WS_VISIBLE, 0, 0, 600,
                                  400, nullptr, nullptr, nullptr, nullptr);
    }
    ~HostWindow() {
        DestroyWindow(window_);
        UnregisterClassA("AnalyserBenchWindow", nullptr);
    }
    HWND hwnd() const { return window_; }

  private:
    HWND window_ = nullptr;
};

void pump(HWND window) {
    UpdateWindow(window);
    MSG message{};
    while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE))
        DispatchMessageA(&message);
}

// A plug-in and its editor inside the bench's window, fed a noisy two-tone signal.
struct Rig {
    HostWindow window;
    AudioPlugin* plugin = nullptr;
    EditorRecord* editor = nullptr;
    HWND client = nullptr;
    AudioBuffers buffers{2, 2, kFramesPerTick, BufferLayout::Separate};
    uint32_t noise = 1;
    int64_t at = 0;

    Rig(AudioPlugin* p, EditorRecord* e) : plugin(p), editor(e) {
        PluginRecord* record = &plugin->record();
        OpenFormat format{kRate, 2, 0};
        record->dispatcher(record, kCmdOpen, &format, 0);
        record->dispatcher(record, kCmdStart, nullptr, 0);
        editor->dispatch(editor, kEdAttachRecord, record, 0);
        editor->dispatch(editor, kEdAttachParent, window.hwnd(), 0);
        client = editorClientWindow(editor);
        pump(window.hwnd());
    }
    ~Rig() {
        editor->dispatch(editor, kEdDetachParent, nullptr, 0);
        editor->dispatch(editor, kEdDestroy, nullptr, 0);
        plugin->record().dispatcher(&plugin->record(), kCmdCloseAll, nullptr, 0);
    }
    void feed() {
        buffers.setFrames(kFramesPerTick);
        buffers.frames = kFramesPerTick;
        for (int i = 0; i < kFramesPerTick; ++i, ++at) {
            noise = noise * 1664525u + 1013904223u;
            const float n = float(int32_t(noise)) * 1.0e-10f;
            const float s = 0.4f * std::sin(0.0713f * float(at)) + 0.2f * std::sin(0.31f * float(at));
            buffers.inputs()[0][i] = s + n;
            buffers.inputs()[1][i] = 0.8f * s - n;
        }
        plugin->record().process(&plugin->record(), &buffers);
    }
    void tick(UINT_PTR timer) {
        SendMessageA(client, WM_TIMER, timer, 0);
        pump(window.hwnd());
    }
};

void* createOmbrelEditorRecord(ParameterInterface* given) {
    return createEditorRecord(&createOmbrelEditor, createOmbrelParameters(), given);
}
void* createLunavisEditorRecord(ParameterInterface* given) {
    return createEditorRecord(&createLunavisEditor, createLunavisParameters(), given);
}

void BM_SpectrogramDisplayTick(benchmark::State& state) {
    Rig rig(createOmbrelPlugin(createOmbrelParameters(), nullptr, nullptr),
            static_cast<EditorRecord*>(createOmbrelEditorRecord(nullptr)));
    for (auto _ : state) {
        state.PauseTiming();
        rig.feed();
        state.ResumeTiming();
        rig.tick(spectrogram::OmbrelEditor::kCollectTimer);
    }
}
BENCHMARK(BM_SpectrogramDisplayTick)->Unit(benchmark::kMicrosecond);

void BM_ScopeDisplayTick(benchmark::State& state) {
    Rig rig(createLunavisPlugin(createLunavisParameters(), nullptr, nullptr),
            static_cast<EditorRecord*>(createLunavisEditorRecord(nullptr)));
    for (auto _ : state) {
        state.PauseTiming();
        rig.feed();
        state.ResumeTiming();
        rig.tick(scope::LunavisEditor::kCollectTimer);
    }
}
BENCHMARK(BM_ScopeDisplayTick)->Unit(benchmark::kMicrosecond);

} // namespace
} // namespace orq
