// Cost of the platform's text: a 10-character value string drawn at height 12 as the editors'
// text fields draw it (centred, vertically centred, single line, on a black field), drawn with
// TextOutA, and measured. The glyphs are in the cache after the first iteration.
#include <windows.h>

#include "platform/surface.h"

#include <benchmark/benchmark.h>

namespace {

constexpr int kFieldWidthPx = 80;
constexpr int kFieldHeightPx = 16;
constexpr UINT kValueFieldFormat = DT_CENTER | DT_VCENTER | DT_SINGLELINE | DT_NOCLIP;
const char* const kValueText = "-123.45 dB"; // 10 characters

struct Field {
    platform::Surface surface;
    platform::DeviceContext dc;
    HFONT font;
    Field() {
        surface.width = kFieldWidthPx;
        surface.height = kFieldHeightPx;
        surface.pixels.assign(static_cast<size_t>(kFieldWidthPx) * kFieldHeightPx, 0);
        dc.surface = &surface;
        dc.clip = RECT{0, 0, kFieldWidthPx, kFieldHeightPx};
        dc.textColour = RGB(255, 255, 255);
        dc.backgroundColour = RGB(0, 0, 0);
        font = CreateFontA(12, 0, 0, 0, FW_MEDIUM, FALSE, FALSE, FALSE, ANSI_CHARSET,
                           OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, PROOF_QUALITY,
                           DEFAULT_PITCH | FF_DONTCARE, "Arial");
        dc.font = reinterpret_cast<platform::GdiObject*>(font);
    }
    ~Field() { delete reinterpret_cast<platform::GdiObject*>(font); }
    HDC hdc() { return reinterpret_cast<HDC>(&dc); }
};

void drawValueField(benchmark::State& state) {
    Field field;
    for (auto _ : state) {
        RECT rect{0, 0, kFieldWidthPx, kFieldHeightPx};
        benchmark::DoNotOptimize(DrawTextA(field.hdc(), kValueText, -1, &rect, kValueFieldFormat));
        benchmark::ClobberMemory();
    }
}
BENCHMARK(drawValueField);

void textOutValue(benchmark::State& state) {
    Field field;
    for (auto _ : state) {
        benchmark::DoNotOptimize(TextOutA(field.hdc(), 2, 2, kValueText, 10));
        benchmark::ClobberMemory();
    }
}
BENCHMARK(textOutValue);

void measureValue(benchmark::State& state) {
    Field field;
    SIZE size{};
    for (auto _ : state) {
        benchmark::DoNotOptimize(GetTextExtentPoint32A(field.hdc(), kValueText, 10, &size));
        benchmark::ClobberMemory();
    }
}
BENCHMARK(measureValue);

} // namespace
