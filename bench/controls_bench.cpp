// The control toolkit's painting: a whole editor repaint (background and 20 controls of every
// kind) and one meter update, in memory.
#include "controls/bar_meter.h"
#include "controls/bitmap_set.h"
#include "controls/button.h"
#include "controls/knob.h"
#include "controls/rocker.h"
#include "controls/selector.h"
#include "controls/slider.h"
#include "controls/text_field.h"

#include <benchmark/benchmark.h>

#include <iterator>
#include <memory>
#include <vector>

namespace {

using namespace orq::controls;

constexpr int kEditorWidth = 444;
constexpr int kEditorHeight = 262;
// Resource numbers of the bitmaps (controls/testdata/test_resources.txt).
constexpr int kBackground = 207;
constexpr int kMeterEmpty = 208;
constexpr int kMeterFull = 209;
constexpr int kButtonOff = 210;
constexpr int kButtonOn = 211;
// The editor's controls: 4 switches, 4 meters, 4 sliders, 4 knobs, 2 text fields, a selector
// and a rocker.
constexpr int kEachKind = 4;
constexpr int kSliderSteps = 24;
constexpr int kKnobSteps = 100;
constexpr double kKnobStartDegrees = 30.0;
constexpr int kSelectorPositions = 3;
// The maximizer's input-bar breakpoints in dB, at fractions n/28.
constexpr float kBreakpointsDb[] = {-35,  -30,   -25, -20,  -17.5, -15,  -12.5, -10,  -9, -8,
                                    -7,   -6,    -5,  -4.5, -4,    -3.5, -3,    -2.5, -2, -1.75,
                                    -1.5, -1.25, -1,  -0.8, -0.6,  -0.4, -0.2,  -0.1};
constexpr int kBreakpoints = static_cast<int>(std::size(kBreakpointsDb));

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

HBITMAP solidBitmap(int width, int height, COLORREF colour) {
    HDC screen = GetDC(nullptr);
    HBITMAP bitmap = CreateCompatibleBitmap(screen, width, height);
    HDC dc = CreateCompatibleDC(screen);
    ReleaseDC(nullptr, screen);
    HGDIOBJ previous = SelectObject(dc, bitmap);
    RECT all{0, 0, width, height};
    HBRUSH brush = CreateSolidBrush(colour);
    FillRect(dc, &all, brush);
    DeleteObject(brush);
    SelectObject(dc, previous);
    DeleteDC(dc);
    return bitmap;
}

struct Editor {
    Editor() {
        static const char anchor = 0;
        const int ids[] = {kBackground, kMeterEmpty, kMeterFull, kButtonOff, kButtonOn};
        set.load(PlatformModuleFromAddress(&anchor), ids, 5);
        paintedSet = &set;
        own = {solidBitmap(20, 113, RGB(40, 40, 48)), solidBitmap(20, 12, RGB(200, 190, 170)),
               solidBitmap(40, 40, RGB(80, 88, 96)),  solidBitmap(8, 8, RGB(240, 220, 60)),
               solidBitmap(8, 8, RGB(0, 0, 0)),       solidBitmap(24, 16, RGB(220, 160, 40)),
               solidBitmap(24, 16, RGB(60, 70, 80)),  solidBitmap(80, 20, RGB(200, 190, 170))};
        const HBITMAP track = own[0], thumb = own[1], knobFace = own[2], dot = own[3],
                      mask = own[4], on = own[5], off = own[6], field = own[7];
        HPALETTE palette = set.palette();
        WNDCLASSA windowClass{};
        windowClass.lpfnWndProc = editorProcedure;
        windowClass.lpszClassName = "ControlsBenchEditor";
        RegisterClassA(&windowClass);
        hwnd = CreateWindowExA(0, "ControlsBenchEditor", "editor",
                               WS_POPUP | WS_VISIBLE | WS_CLIPCHILDREN, 0, 0, kEditorWidth,
                               kEditorHeight, nullptr, nullptr, nullptr, nullptr);
        int id = 100;
        for (int i = 0; i < kEachKind; ++i) {
            auto button = std::make_unique<Button>(hwnd, 4 + i * 44, 4, kPlainSwitch, id++,
                                                   set.bitmap(kButtonOn), set.bitmap(kButtonOff),
                                                   nullptr, nullptr, palette);
            button->setState(i % 2);
            controls.push_back(std::move(button));
            auto meter =
                std::make_unique<BarMeter>(hwnd, 190 + i * 16, 100, 0, set.bitmap(kMeterEmpty),
                                           set.bitmap(kMeterFull), nullptr, palette);
            meter->setDbBreakpoints(kBreakpointsDb, fractions(), kBreakpoints);
            meter->setValue(0.2f * static_cast<float>(i + 1));
            meters.push_back(meter.get());
            controls.push_back(std::move(meter));
            auto slider = std::make_unique<Slider>(hwnd, 10 + i * 26, 40, id++, track, thumb,
                                                   kSliderSteps, nullptr, palette);
            slider->setValue(0.25f * static_cast<float>(i));
            controls.push_back(std::move(slider));
            auto knob = std::make_unique<Knob>(hwnd, 260 + i * 44, 40, id++, knobFace, dot, mask,
                                               kKnobSteps, kKnobStartDegrees, nullptr, palette);
            knob->setValue(0.3f * static_cast<float>(i));
            controls.push_back(std::move(knob));
        }
        for (int i = 0; i < 2; ++i) {
            auto text = std::make_unique<TextField>(hwnd, 260 + i * 90, 100, id++, field,
                                                    RGB(20, 20, 30), 12, nullptr, palette);
            text->number("%3.1f", 6.5f);
            controls.push_back(std::move(text));
        }
        const int xs[kSelectorPositions] = {260, 288, 316};
        const int ys[kSelectorPositions] = {140, 140, 140};
        const HBITMAP ons[kSelectorPositions] = {on, on, on};
        const HBITMAP offs[kSelectorPositions] = {off, off, off};
        auto selector = std::make_unique<Selector>(hwnd, id++, kSelectorPositions, xs, ys, ons,
                                                   offs, false, nullptr, palette);
        selector->select(1);
        controls.push_back(std::move(selector));
        controls.push_back(std::make_unique<Rocker>(hwnd, 360, 140, id++, set.bitmap(kButtonOn),
                                                    set.bitmap(kButtonOff), set.bitmap(kButtonOn),
                                                    nullptr, palette));
        pump();
    }
    ~Editor() {
        controls.clear();
        DestroyWindow(hwnd);
        UnregisterClassA("ControlsBenchEditor", nullptr);
        paintedSet = nullptr;
        for (HBITMAP b : own)
            DeleteObject(b);
        pump();
    }
    static const float* fractions() {
        static float table[kBreakpoints];
        for (int n = 0; n < kBreakpoints; ++n)
            table[n] = static_cast<float>(n + 1) / kBreakpoints;
        return table;
    }
    BitmapSet set;
    std::vector<HBITMAP> own;
    HWND hwnd = nullptr;
    std::vector<std::unique_ptr<WObject>> controls;
    std::vector<BarMeter*> meters;
};

void BM_FullRepaint(benchmark::State& state) {
    Editor editor;
    for (auto _ : state) {
        InvalidateRect(editor.hwnd, nullptr, TRUE);
        pump();
    }
    int paints = 0;
    for (const BarMeter* meter : editor.meters)
        paints += meter->paints();
    state.counters["controls"] = static_cast<double>(editor.controls.size());
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
        level = level < 0.5f ? 0.75f : 0.25f; // another fraction every time
        meter.setValue(level);
    }
}
BENCHMARK(BM_MeterUpdate)->Unit(benchmark::kMicrosecond);

} // namespace
