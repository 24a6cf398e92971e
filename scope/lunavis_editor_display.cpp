#include "scope/lunavis_editor_display.h"

#include "controls/control_support.h"
#include "controls/double_buffer.h"
#include "controls/palette.h"

#include <algorithm>
#include <cmath>

namespace orq::scope {
namespace {

constexpr COLORREF kWellColour = RGB(0x14, 0x16, 0x1A);
constexpr COLORREF kGridColour = RGB(0x3A, 0x3F, 0x47);
constexpr COLORREF kAxisLabelColour = RGB(0x9A, 0xA0, 0xA6);
constexpr int kMarkerLines = 8;
constexpr int kMarkerGapPixels = 5;

void fill(HDC dc, const RECT& r, COLORREF colour) {
    HBRUSH brush = CreateSolidBrush(colour);
    FillRect(dc, &r, brush);
    DeleteObject(brush);
}

void line(HDC dc, int x0, int y0, int x1, int y1) {
    MoveToEx(dc, x0, y0, nullptr);
    LineTo(dc, x1, y1);
}

} // namespace

COLORREF zoneColour(float value) {
    if (value >= kZoneHigh) return kZoneHighColour;
    if (value >= kZoneMid) return kZoneMidColour;
    return kZoneLowColour;
}

// Ballistics -----------------------------------------------------------------------------------

void CorrelationBallistics::update(float mean, bool mono) {
    float a = mean;
    if (!reset_ && std::fabs(value_ - a) > kMaxStep) {
        if (a < value_)
            a = value_ - kMaxStep; // falling: limited
        else if (!mono)
            a = value_ + kMaxStep; // rising: limited unless listening in mono
    }
    value_ = a;
    if (reset_) {
        minimum_ = maximum_ = value_;
        reset_ = false;
    } else if (value_ < minimum_) {
        minimum_ = value_;
    } else if (value_ > maximum_) {
        maximum_ = value_;
    }
    if (mono) minimum_ = maximum_;
}

void CorrelationBallistics::reset() {
    reset_ = true;
}

void CorrelationBallistics::restart() {
    value_ = minimum_ = maximum_ = kNeutral;
    reset_ = true;
}

// The point display ----------------------------------------------------------------------------

ScopeDisplay::ScopeDisplay(HWND parent, int x, int y, int width, int height, int id,
                           HBITMAP background, HINSTANCE instance, HPALETTE palette)
    : WObject(parent, id, controls::kControlStyle, 0, instance), background_(background),
      palette_(palette), width_(width), height_(height) {
    points_.reserve(512);
    font_ = CreateFontA(10, 0, 0, 0, FW_MEDIUM, FALSE, FALSE, FALSE, ANSI_CHARSET,
                        OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, PROOF_QUALITY, DEFAULT_PITCH,
                        "Arial");
    place(x, y, width, height);
    setReady();
}

ScopeDisplay::~ScopeDisplay() {
    if (font_ != nullptr) DeleteObject(font_);
}

bool ScopeDisplay::pixelOf(float side, float mid, POINT* at) const {
    const double sx = width_ / (2.0 * kAxisSpan);
    const double sy = height_ / (2.0 * kAxisSpan);
    const double column = sx * (double(side) + kAxisSpan);
    const double row = height_ - sy * (double(mid) + kAxisSpan);
    if (!(column >= 0.0 && column < width_ && row >= 0.0 && row < height_)) return false;
    at->x = static_cast<LONG>(column);
    at->y = static_cast<LONG>(row);
    return true;
}

void ScopeDisplay::setPoints(const float* side, const float* mid, int count) {
    points_.clear();
    for (int i = 0; i < count; ++i) {
        POINT at{};
        if (pixelOf(side[i], mid[i], &at)) points_.push_back(at);
    }
    InvalidateRect(hwnd(), nullptr, FALSE);
}

void ScopeDisplay::clearPoints() {
    points_.clear();
    InvalidateRect(hwnd(), nullptr, FALSE);
}

void ScopeDisplay::paintAxes(HDC dc) const {
    fill(dc, RECT{0, 0, width_, height_}, kWellColour);
    HPEN grid = CreatePen(PS_SOLID, 1, kGridColour);
    HGDIOBJ previous = SelectObject(dc, grid);
    const int cx = width_ / 2, cy = height_ / 2;
    line(dc, cx, 0, cx, height_);             // mid (mono)
    line(dc, 0, cy, width_, cy);              // side
    line(dc, 0, 0, width_, height_);          // left only
    line(dc, width_ - 1, 0, -1, height_);     // right only
    HBRUSH none = static_cast<HBRUSH>(GetStockObject(NULL_BRUSH));
    HGDIOBJ previousBrush = SelectObject(dc, none);
    // Full scale of a normalised block: |mid| or |side| up to √2.
    POINT top{}, bottom{};
    pixelOf(-1.41421356f, 1.41421356f, &top);
    pixelOf(1.41421356f, -1.41421356f, &bottom);
    Rectangle(dc, top.x, top.y, bottom.x + 1, bottom.y + 1);
    Rectangle(dc, 0, 0, width_, height_);
    SelectObject(dc, previousBrush);
    SelectObject(dc, previous);
    DeleteObject(grid);
    HGDIOBJ previousFont = SelectObject(dc, font_);
    SetBkMode(dc, TRANSPARENT);
    SetTextColor(dc, kAxisLabelColour);
    TextOutA(dc, cx + 4, 2, "M", 1);
    TextOutA(dc, width_ - 10, cy - 13, "S", 1);
    TextOutA(dc, 4, 2, "L", 1);
    TextOutA(dc, width_ - 9, 2, "R", 1);
    SelectObject(dc, previousFont);
}

void ScopeDisplay::paint(HDC dc) const {
    controls::DoubleBuffer buffer(dc, width_, height_);
    if (background_ != nullptr)
        controls::drawBitmap(buffer.dc(), 0, 0, background_, palette_);
    else
        paintAxes(buffer.dc());
    for (const POINT& p : points_)
        SetPixel(buffer.dc(), p.x, p.y, kPointColour);
    buffer.present();
}

LRESULT ScopeDisplay::handleMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_ERASEBKGND:
        return 1;
    case WM_PAINT:
        controls::paintCycle(window, [this](HDC dc) { paint(dc); });
        return 0;
    default:
        return WObject::handleMessage(window, message, wParam, lParam);
    }
}

// The correlation meter ------------------------------------------------------------------------

CorrelationMeterDisplay::CorrelationMeterDisplay(HWND parent, int x, int y, int width,
                                                 int height, int id, HINSTANCE instance)
    : WObject(parent, id, controls::kControlStyle, 0, instance), width_(width), height_(height) {
    place(x, y, width, height);
    setReady();
}

int CorrelationMeterDisplay::columnOf(float value) const {
    const float v = std::clamp(value, 0.0f, 1.0f);
    return static_cast<int>(std::lround(double(width_ - 1) * v));
}

void CorrelationMeterDisplay::setValue(float value) {
    if (!(value == value)) value = CorrelationBallistics::kNeutral;
    if (value == value_) return;
    value_ = value;
    InvalidateRect(hwnd(), nullptr, FALSE);
}

void CorrelationMeterDisplay::paint(HDC dc) const {
    controls::DoubleBuffer buffer(dc, width_, height_);
    HDC b = buffer.dc();
    fill(b, RECT{0, 0, width_, height_}, kWellColour);
    const int x = columnOf(value_);
    const int middle = height_ / 2;
    // The line across, broken around the marker.
    fill(b, RECT{0, middle, std::max(0, x - kMarkerGapPixels), middle + 1}, kMeterLineColour);
    fill(b, RECT{std::min(width_, x + kMarkerGapPixels + 1), middle, width_, middle + 1},
         kMeterLineColour);
    // The marker: eight lines narrowing to the tip at the line.
    const COLORREF colour = zoneColour(value_);
    const int top = middle - kMarkerLines / 2;
    for (int i = 0; i < kMarkerLines; ++i) {
        const int half = (kMarkerLines - 1 - i) / 2;
        fill(b, RECT{x - half, top + i, x + half + 1, top + i + 1}, colour);
    }
    buffer.present();
}

LRESULT CorrelationMeterDisplay::handleMessage(HWND window, UINT message, WPARAM wParam,
                                               LPARAM lParam) {
    switch (message) {
    case WM_ERASEBKGND:
        return 1;
    case WM_PAINT:
        controls::paintCycle(window, [this](HDC dc) { paint(dc); });
        return 0;
    case WM_LBUTTONDOWN:
        SendMessageA(parent(), WM_COMMAND, WPARAM(id()), LPARAM(0));
        return 0;
    default:
        return WObject::handleMessage(window, message, wParam, lParam);
    }
}

// The range bar --------------------------------------------------------------------------------

RangeBarDisplay::RangeBarDisplay(HWND parent, int x, int y, int width, int height, int id,
                                 HINSTANCE instance)
    : WObject(parent, id, controls::kControlStyle, 0, instance), width_(width), height_(height) {
    place(x, y, width, height);
    setReady();
}

int RangeBarDisplay::columnOf(float value) const {
    const double k = double(width_ - 1) / (1.0 - 0.0);
    return static_cast<int>(std::lround(k * (std::clamp(double(value), 0.0, 1.0) - 0.0)));
}

void RangeBarDisplay::setRange(float minimum, float maximum) {
    if (minimum == minimum_ && maximum == maximum_) return;
    minimum_ = minimum;
    maximum_ = maximum;
    InvalidateRect(hwnd(), nullptr, FALSE);
}

void RangeBarDisplay::paint(HDC dc) const {
    controls::DoubleBuffer buffer(dc, width_, height_);
    HDC b = buffer.dc();
    fill(b, RECT{0, 0, width_, height_}, kWellColour);
    const int from = columnOf(std::min(minimum_, maximum_));
    const int to = columnOf(std::max(minimum_, maximum_)) + 1;
    const int mid = columnOf(kZoneMid);
    const int high = columnOf(kZoneHigh);
    const struct {
        int left, right;
        COLORREF colour;
    } zones[] = {{0, mid, kZoneLowColour}, {mid, high, kZoneMidColour}, {high, width_, kZoneHighColour}};
    for (const auto& z : zones) {
        const int left = std::max(from, z.left), right = std::min(to, z.right);
        if (left < right) fill(b, RECT{left, 1, right, height_ - 1}, z.colour);
    }
    buffer.present();
}

LRESULT RangeBarDisplay::handleMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_ERASEBKGND:
        return 1;
    case WM_PAINT:
        controls::paintCycle(window, [this](HDC dc) { paint(dc); });
        return 0;
    case WM_LBUTTONDOWN:
        SendMessageA(parent(), WM_COMMAND, WPARAM(id()), LPARAM(0));
        return 0;
    default:
        return WObject::handleMessage(window, message, wParam, lParam);
    }
}

} // namespace orq::scope
