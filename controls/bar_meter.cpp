#include "controls/bar_meter.h"

#include "controls/control_messages.h"
#include "controls/control_support.h"
#include "controls/double_buffer.h"
#include "controls/palette.h"

#include <algorithm>
#include <cmath>

namespace orq::controls {
namespace {

constexpr double kStepRounding = 0.49999;

float clampFraction(float fraction) {
    return std::isnan(fraction) ? 0.0f : std::clamp(fraction, 0.0f, 1.0f);
}

// The start of slice `index` of `count` equal slices of `length` pixels.
int sliceStart(int length, int index, int count) {
    return static_cast<int>(static_cast<long long>(length) * index / count);
}

} // namespace

BarMeter::BarMeter(HWND parent, int x, int y, int markerThicknessPixels, HBITMAP empty,
                   HBITMAP full, HINSTANCE instance, HPALETTE palette, int bars)
    : WObject(parent, 0, kControlStyle, 0, instanceOrControls(instance)), empty_(empty),
      full_(full), palette_(palette), size_(bitmapSize(empty)),
      markerThickness_(std::max(markerThicknessPixels, 0)),
      values_(static_cast<size_t>(std::max(bars, 1)), 0.0f) {
    vertical_ = size_.cx < size_.cy;
    place(x, y, size_.cx, size_.cy);
    setReady();
}

void BarMeter::setValue(float value) {
    values_[0] = mapped(value);
    repaint();
}

void BarMeter::setValues(const float* values) {
    if (values == nullptr) return;
    for (size_t i = 0; i < values_.size(); ++i)
        values_[i] = mapped(values[i]);
    repaint();
}

void BarMeter::setMarker(float value) {
    marker_ = mapped(value);
    if (markerOn_) repaint();
}

void BarMeter::setMarkerOn(bool on) {
    if (markerThickness_ <= 0) return;
    markerOn_ = on;
    repaint();
}

bool BarMeter::setRange(float min, float max) {
    if (!(max != min)) return false;
    scale_ = max - min;
    offset_ = min / scale_;
    return true;
}

bool BarMeter::setDbBreakpoints(const float* db, const float* fractions, int n) {
    if (db == nullptr || fractions == nullptr || n < 1) return false;
    std::vector<float> thresholds(static_cast<size_t>(n));
    for (int i = 0; i < n; ++i)
        thresholds[static_cast<size_t>(i)] = static_cast<float>(std::pow(10.0, db[i] / 20.0));
    return setBreakpoints(thresholds.data(), fractions, n);
}

bool BarMeter::setBreakpoints(const float* thresholds, const float* fractions, int n) {
    if (thresholds == nullptr || fractions == nullptr || n < 1) return false;
    thresholds_.assign(thresholds, thresholds + n);
    fractions_.assign(fractions, fractions + n);
    kind_ = Scale::Breakpoints;
    offset_ = 0.0f;
    scale_ = 1.0f;
    return true;
}

bool BarMeter::setSteps(const float* fractions, int n) {
    if (fractions == nullptr || n < 1) return false;
    thresholds_.clear();
    fractions_.assign(fractions, fractions + n);
    kind_ = Scale::Stepped;
    return true;
}

void BarMeter::clearScale() {
    kind_ = Scale::None;
    thresholds_.clear();
    fractions_.clear();
}

float BarMeter::fractionOf(float value) const {
    switch (kind_) {
    case Scale::Stepped: {
        const int n = static_cast<int>(fractions_.size());
        const double index = std::trunc(value * static_cast<double>(n) + kStepRounding) - 1.0;
        if (!(index >= 0.0)) return 0.0f;
        return clampFraction(fractions_[static_cast<size_t>(std::min(index, n - 1.0))]);
    }
    case Scale::Breakpoints: {
        // The last threshold strictly below the value (ascending thresholds).
        int last = -1;
        for (size_t i = 0; i < thresholds_.size(); ++i)
            if (thresholds_[i] < value) last = static_cast<int>(i);
        return last < 0 ? 0.0f : clampFraction(fractions_[static_cast<size_t>(last)]);
    }
    case Scale::None:
        break;
    }
    return clampFraction(value);
}

float BarMeter::fraction(int bar) const {
    return fractionOf(value(bar));
}

float BarMeter::value(int bar) const {
    if (bar < 0 || bar >= bars()) return 0.0f;
    return values_[static_cast<size_t>(bar)];
}

void BarMeter::paint(HDC dc) {
    ++paints_;
    DoubleBuffer buffer(dc, size_.cx, size_.cy);
    drawBitmap(buffer.dc(), 0, 0, empty_, palette_);
    const int count = bars();
    for (int b = 0; b < count; ++b) {
        const float f = fraction(b);
        if (vertical_) {
            const int left = sliceStart(size_.cx, b, count);
            const int width = sliceStart(size_.cx, b + 1, count) - left;
            const int top = static_cast<int>((1.0f - f) * static_cast<float>(size_.cy));
            copyBitmapPart(buffer.dc(), left, top, width, size_.cy - top, full_, left, top);
        } else {
            const int top = sliceStart(size_.cy, b, count);
            const int height = sliceStart(size_.cy, b + 1, count) - top;
            const int right = static_cast<int>(f * static_cast<float>(size_.cx));
            copyBitmapPart(buffer.dc(), 0, top, right, height, full_, 0, top);
        }
    }
    if (markerOn_ && markerThickness_ > 0) {
        const float g = fractionOf(marker_);
        if (vertical_) {
            const int top = static_cast<int>((1.0f - g) * static_cast<float>(size_.cy));
            copyBitmapPart(buffer.dc(), 0, top, size_.cx, markerThickness_, full_, 0, top);
        } else {
            const int right = static_cast<int>(g * static_cast<float>(size_.cx));
            const int left = right - markerThickness_;
            copyBitmapPart(buffer.dc(), left, 0, markerThickness_, size_.cy, full_, left, 0);
        }
    }
    buffer.present();
}

void BarMeter::repaint() {
    paintNow(hwnd(), [this](HDC dc) { paint(dc); });
}

bool BarMeter::takeValues(const float* values) {
    bool changed = false;
    for (size_t i = 0; i < values_.size(); ++i) {
        const float v = mapped(values[i]);
        changed = changed || v != values_[i];
        values_[i] = v;
    }
    if (markerThickness_ > 0) {
        const float m = mapped(values[values_.size()]);
        changed = changed || m != marker_;
        marker_ = m;
    }
    return changed;
}

LRESULT BarMeter::handleMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_PAINT:
        paintCycle(window, [this](HDC dc) { paint(dc); });
        return 0;
    case WM_ERASEBKGND:
        return 1;
    case kSetValueMessage:
        if (lParam != 0 && takeValues(reinterpret_cast<const float*>(lParam))) repaint();
        return 0;
    case kMarkerOnMessage:
        setMarkerOn(wParam != 0);
        return 0;
    default:
        return 0;
    }
}

} // namespace orq::controls
