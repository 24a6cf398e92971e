// The control toolkit's painting: a whole editor repaint (background and 20 bitmap controls)
// and one meter update, in memory.
#include "controls/bar_meter.h"
#include "controls/bitmap_set.h"
#include "controls/button.h"

#include <benchmark/benchmark.h>

#include <memory>
#include <vector>

namespace {

using namespace orq::controls;

constexpr int kEditorWidth = 444;
constexpr int kEditorHeight = 262;
constexpr int kControls = 20;
// Resource numbers of the bitmaps (controls/testdata/test_resources.txt).
constexpr int kBackground = 207;
constexpr int kMeterEmpty = 208;
constexpr int kMeterFull = 209;
constexpr int kButtonOff = 210;
constexpr int kButtonOn = 211;

const BitmapSet* paintedSet = nullptr;

LRESULT CALLBACK editorProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_PAINT) {
        PAINTSTRUCT ps{};
        HDC dc = BeginPaint(window, &ps);
        if (paintedSet != nullptr) paintedSet->draw(dc, 0, 0, kBackground);
        EndPaint(window, &ps);
        return 0;
    }
    if (message == WM_ERASEBKGND) return 1;
    return DefWindowProcA(window, message, wParam, lParam);
}

void pump() {
    MSG message{};
    while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE))
        DispatchMessageA(&message);
}

struct Editor {
    Editor() {
        static const char anchor = 0;
        const int ids[] = {kBackground, kMeterEmpty, kMeterFull, kButtonOff, kButtonOn};
        set.load(PlatformModuleFromAddress(&anchor), ids, 5);
        paintedSet = &set;
        WNDCLASSA windowClass{};
        windowClass.lpfnWndProc = editorProcedure;
        windowClass.lpszClassName = "ControlsBenchEditor";
        RegisterClassA(&windowClass);
        hwnd = CreateWindowExA(0, "ControlsBenchEditor", "editor",
                               WS_POPUP | WS_VISIBLE | WS_CLIPCHILDREN, 0, 0, kEditorWidth,
                               kEditorHeight, nullptr, nullptr, nullptr, nullptr);
        // Ten buttons along the top, ten meters below them.
        for (int i = 0; i < kControls / 2; ++i) {
            buttons.push_back(std::make_unique<Button>(
                hwnd, 4 + i * 44, 4, kPlainSwitch, 100 + i, set.bitmap(kButtonOn),
                set.bitmap(kButtonOff), nullptr, nullptr, set.palette()));
            buttons.back()->setState(i % 2);
            meters.push_back(std::make_unique<BarMeter>(hwnd, 10 + i * 40, 100, 0,
                                                        set.bitmap(kMeterEmpty),
                                                        set.bitmap(kMeterFull), nullptr,
                                                        set.palette()));
            meters.back()->setValue(0.1f * static_cast<float>(i));
        }
        pump();
    }
    ~Editor() {
        buttons.clear();
        meters.clear();
        DestroyWindow(hwnd);
        UnregisterClassA("ControlsBenchEditor", nullptr);
        paintedSet = nullptr;
        pump();
    }
    BitmapSet set;
    HWND hwnd = nullptr;
    std::vector<std::unique_ptr<Button>> buttons;
    std::vector<std::unique_ptr<BarMeter>> meters;
};

void BM_FullRepaint(benchmark::State& state) {
    Editor editor;
    for (auto _ : state) {
        InvalidateRect(editor.hwnd, nullptr, TRUE);
        pump();
    }
    int paints = 0;
    for (const auto& meter : editor.meters)
        paints += meter->paints();
    state.counters["meter_paints_per_repaint"] = static_cast<double>(paints) /
                                                 static_cast<double>(editor.meters.size()) /
                                                 static_cast<double>(state.iterations());
}
BENCHMARK(BM_FullRepaint)->Unit(benchmark::kMicrosecond);

void BM_MeterUpdate(benchmark::State& state) {
    Editor editor;
    BarMeter& meter = *editor.meters.front();
    float level = 0.25f;
    for (auto _ : state) {
        level = level < 0.5f ? 0.75f : 0.25f; // a new length every time
        meter.setValue(level);
    }
}
BENCHMARK(BM_MeterUpdate)->Unit(benchmark::kMicrosecond);

} // namespace
