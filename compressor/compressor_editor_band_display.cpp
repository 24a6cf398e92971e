#include "compressor/compressor_editor_band_display.h"

#include "compressor/compressor_editor_drawing.h"
#include "controls/control_support.h"
#include "controls/double_buffer.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <utility>

namespace orq::compressor {

namespace {

const double kLowestLog2 = std::log2(BandDisplay::kLowestHz);
constexpr int kTextWidthPixels = 58;
constexpr int kTextHeightPixels = 14;
constexpr int kTextFontHeight = 12;
// Grid lines: frequencies and gains.
constexpr double kGridHz[] = {50, 100, 200, 500, 1000, 2000, 5000, 10000, 20000};
constexpr float kGridDb[] = {-12.0f, -6.0f, 0.0f, 6.0f, 12.0f};
// The border handle's grip at the foot of its line.
constexpr int kGripHalfWidthPixels = 2;
constexpr int kGripHeightPixels = 8;

int clampInt(int value, int low, int high) {
    return std::max(low, std::min(value, high));
}

} // namespace

BandDisplay::BandDisplay(HWND parent, int id, int x, int y, int width, int height)
    : WObject(parent, id), width_(width), height_(height) {
    borderLog2_[0] = kLowestLog2;
    for (int i = 1; i <= kMaxDisplayBands; ++i)
        borderLog2_[size_t(i)] = std::log2(defaultBorderHz(std::min(i, bandCount_), bandCount_, topHz()));
    place(x, y, width, height);
    setReady();
}

// Values -------------------------------------------------------------------------------------

double BandDisplay::topHz() const {
    return std::min(0.5 * sampleRate_, kHighestTopHz);
}

double BandDisplay::borderHz(int index) const {
    if (index <= 0) return kLowestHz;
    if (index >= bandCount_) return topHz();
    return std::exp2(borderLog2_[size_t(index)]);
}

double BandDisplay::defaultBorderHz(int index, int count, double topHz) {
    return kLowestHz * std::pow(topHz / kLowestHz, double(index) / double(count));
}

void BandDisplay::setSampleRate(int sampleRate) {
    if (sampleRate <= 0) return;
    sampleRate_ = sampleRate;
    keepBordersInOrder();
    repaint();
}

void BandDisplay::setBandCount(int count) {
    bandCount_ = std::clamp(count, 1, kMaxDisplayBands);
    activeBand_ = -1;
    keepBordersInOrder();
    repaint();
}

void BandDisplay::setBorders(const float* bordersHz, int entries) {
    for (int i = 1; i < bandCount_ && i < entries; ++i) {
        const float hz = bordersHz[i];
        if (std::isfinite(hz) && hz > 0.0f) borderLog2_[size_t(i)] = std::log2(double(hz));
    }
    keepBordersInOrder();
    repaint();
}

void BandDisplay::setGains(const float* gainsDb, int count) {
    for (int b = 0; b < kMaxDisplayBands && b < count; ++b)
        if (std::isfinite(gainsDb[b])) gainsDb_[size_t(b)] = std::clamp(gainsDb[b], -kGainRangeDb, kGainRangeDb);
    repaint();
}

void BandDisplay::setActiveBand(int band) {
    activeBand_ = band >= 0 && band < bandCount_ ? band : -1;
    repaint();
}

void BandDisplay::setSolo(bool solo) {
    solo_ = solo;
    repaint();
}

void BandDisplay::keepBordersInOrder() {
    // The ends are fixed; every crossover keeps the gap to its neighbours, the lowest first.
    borderLog2_[0] = kLowestLog2;
    const double top = std::log2(topHz());
    borderLog2_[size_t(bandCount_)] = top;
    for (int i = bandCount_ - 1; i >= 1; --i) {
        const double highest = top - kMinimumGapOctaves * (bandCount_ - i);
        borderLog2_[size_t(i)] = std::min(borderLog2_[size_t(i)], highest);
    }
    for (int i = 1; i < bandCount_; ++i) {
        const double lowest = borderLog2_[size_t(i - 1)] + kMinimumGapOctaves;
        borderLog2_[size_t(i)] = std::max(borderLog2_[size_t(i)], lowest);
    }
}

void BandDisplay::setBorderLog(int index, double log2Hz) {
    const double lowest = borderLog2_[size_t(index - 1)] + kMinimumGapOctaves;
    const double highest = borderLog2_[size_t(index + 1)] - kMinimumGapOctaves;
    borderLog2_[size_t(index)] = std::clamp(log2Hz, lowest, std::max(lowest, highest));
}

// Geometry -----------------------------------------------------------------------------------

RECT BandDisplay::plot() const {
    // The axes span the whole window, so the scales printed beside it line up with them.
    return RECT{0, 0, width_, height_};
}

int BandDisplay::xOfHz(double hz) const {
    const RECT p = plot();
    const double span = std::log2(topHz()) - kLowestLog2;
    const double fraction = (std::log2(hz) - kLowestLog2) / span;
    return p.left + int(std::lround(fraction * double(p.right - 1 - p.left)));
}

double BandDisplay::hzOfX(int x) const {
    const RECT p = plot();
    const double span = std::log2(topHz()) - kLowestLog2;
    const double fraction = double(x - p.left) / double(p.right - 1 - p.left);
    return std::exp2(kLowestLog2 + fraction * span);
}

int BandDisplay::yOfGain(float gainDb) const {
    const RECT p = plot();
    const double fraction = (kGainRangeDb - gainDb) / (2.0 * kGainRangeDb);
    return p.top + int(std::lround(fraction * double(p.bottom - 1 - p.top)));
}

float BandDisplay::gainOfY(int y) const {
    const RECT p = plot();
    const double fraction = double(y - p.top) / double(p.bottom - 1 - p.top);
    return std::clamp(float(kGainRangeDb - fraction * 2.0 * kGainRangeDb), -kGainRangeDb, kGainRangeDb);
}

POINT BandDisplay::gainHandle(int band) const {
    const double middle = 0.5 * (borderLog2_[size_t(band)] + borderLog2_[size_t(band + 1)]);
    return POINT{xOfHz(std::exp2(middle)), yOfGain(gainsDb_[size_t(band)])};
}

POINT BandDisplay::borderHandle(int index) const {
    const RECT p = plot();
    return POINT{xOfHz(borderHz(index)), p.bottom - kGripHeightPixels / 2};
}

BandDisplay::Handle BandDisplay::handleAt(int x, int y) const {
    Handle found;
    int nearest = kHandleReachPixels + 1;
    for (int b = 0; b < bandCount_; ++b) {
        const POINT h = gainHandle(b);
        const int distance = std::max(std::abs(x - h.x), std::abs(y - h.y));
        if (distance <= kHandleReachPixels && distance < nearest) {
            nearest = distance;
            found = Handle{HandleKind::Gain, b};
        }
    }
    if (found.kind != HandleKind::None) return found;
    for (int i = 1; i < bandCount_; ++i) {
        const int distance = std::abs(x - xOfHz(borderHz(i)));
        if (distance <= kHandleReachPixels && distance < nearest) {
            nearest = distance;
            found = Handle{HandleKind::Border, i};
        }
    }
    return found;
}

int BandDisplay::bandAt(int x) const {
    const double hz = hzOfX(x);
    for (int b = bandCount_ - 1; b > 0; --b)
        if (hz >= borderHz(b)) return b;
    return 0;
}

// Texts --------------------------------------------------------------------------------------

std::string BandDisplay::gainText(float gainDb) {
    char text[32];
    std::snprintf(text, sizeof text, " %4.1f dB", double(gainDb));
    return text;
}

std::string BandDisplay::frequencyText(double hz) {
    constexpr double kKiloHz = 1000.0;
    char text[32];
    if (hz < kKiloHz)
        std::snprintf(text, sizeof text, " %3.0f Hz", hz);
    else
        std::snprintf(text, sizeof text, " %2.1f kHz", hz / kKiloHz);
    return text;
}

void BandDisplay::showTextFor(const Handle& handle) {
    shown_ = handle;
    if (handle.kind == HandleKind::Gain)
        handleText_ = gainText(gainsDb_[size_t(handle.index)]);
    else if (handle.kind == HandleKind::Border)
        handleText_ = frequencyText(borderHz(handle.index));
    else
        handleText_.clear();
}

// Mouse --------------------------------------------------------------------------------------

void BandDisplay::report(BandChange change, int index) {
    report_ = BandDisplayReport{change, index};
    SendMessageA(parent(), WM_COMMAND, WPARAM(id()), reinterpret_cast<LPARAM>(&report_));
}

void BandDisplay::press(int x, int y) {
    pressed_ = true;
    SetCapture(hwnd());
    lastTaken_ = POINT{x, y};
    dragged_ = handleAt(x, y);
    showTextFor(dragged_);
    if (dragged_.kind == HandleKind::Gain) {
        activeBand_ = dragged_.index;
        repaint();
        report(BandChange::ActiveBand, activeBand_);
        return;
    }
    if (dragged_.kind == HandleKind::None) {
        activeBand_ = bandAt(x);
        repaint();
        report(BandChange::ActiveBand, activeBand_);
        return;
    }
    repaint();
}

void BandDisplay::doubleClick(int x, int y) {
    const Handle on = handleAt(x, y);
    if (on.kind == HandleKind::Gain) {
        press(x, y);
        return;
    }
    if (on.kind == HandleKind::Border) {
        if (bandCount_ <= 1) return;
        const int removed = on.index;
        for (int j = removed; j < bandCount_; ++j)
            borderLog2_[size_t(j)] = borderLog2_[size_t(j + 1)];
        for (int b = removed; b + 1 < bandCount_; ++b)
            gainsDb_[size_t(b)] = gainsDb_[size_t(b + 1)];
        gainsDb_[size_t(bandCount_ - 1)] = 0.0f;
        --bandCount_;
        activeBand_ = removed - 1;
        keepBordersInOrder();
        showTextFor(Handle{});
        repaint();
        report(BandChange::BandRemoved, removed);
        return;
    }
    // Inside a band: split it at the pointer when there is room for one more.
    const int band = bandAt(x);
    const double at = std::log2(hzOfX(std::clamp(x, int(plot().left), int(plot().right - 1))));
    if (bandCount_ >= kMaxDisplayBands || at - borderLog2_[size_t(band)] < kMinimumGapOctaves ||
        borderLog2_[size_t(band + 1)] - at < kMinimumGapOctaves) {
        press(x, y);
        return;
    }
    for (int j = bandCount_; j > band; --j)
        borderLog2_[size_t(j + 1)] = borderLog2_[size_t(j)];
    borderLog2_[size_t(band + 1)] = at;
    for (int b = bandCount_ - 1; b > band; --b)
        gainsDb_[size_t(b + 1)] = gainsDb_[size_t(b)];
    gainsDb_[size_t(band + 1)] = gainsDb_[size_t(band)];
    ++bandCount_;
    activeBand_ = band;
    keepBordersInOrder();
    repaint();
    report(BandChange::BandAdded, band + 1);
}

void BandDisplay::move(int x, int y, WPARAM keys) {
    if (std::abs(x - lastTaken_.x) > kJumpLimitPixels ||
        std::abs(y - lastTaken_.y) > kJumpLimitPixels)
        return; // a jump: no movement
    x = clampInt(x, kEdgePixels, width_ - 1);
    y = clampInt(y, kEdgePixels, height_ - 1);
    const int dx = x - lastTaken_.x;
    const int dy = y - lastTaken_.y;
    if (std::max(std::abs(dx), std::abs(dy)) <= kMoveThresholdPixels) return;
    lastTaken_ = POINT{x, y};
    if (dragged_.kind == HandleKind::Gain) {
        moveGain(dragged_.index, y, dy, keys);
        showTextFor(dragged_);
        repaint();
        report(BandChange::Gain, dragged_.index);
    } else if (dragged_.kind == HandleKind::Border) {
        moveBorder(dragged_.index, x, dx, keys);
        showTextFor(dragged_);
        repaint();
        report(BandChange::Border, dragged_.index);
    }
}

void BandDisplay::moveGain(int band, int y, int dy, WPARAM keys) {
    float& gain = gainsDb_[size_t(band)];
    if ((keys & MK_SHIFT) != 0)
        gain = 0.0f;
    else if ((keys & MK_CONTROL) != 0)
        gain = std::clamp(gain + kFineGainDbPerPixel * float(dy), -kGainRangeDb, kGainRangeDb);
    else
        gain = gainOfY(y);
}

void BandDisplay::moveBorder(int index, int x, int dx, WPARAM keys) {
    if ((keys & MK_SHIFT) != 0)
        setBorderLog(index, std::log2(defaultBorderHz(index, bandCount_, topHz())));
    else if ((keys & MK_CONTROL) != 0)
        setBorderLog(index, borderLog2_[size_t(index)] + kFineOctavesPerPixel * dx);
    else
        setBorderLog(index, std::log2(hzOfX(x)));
}

void BandDisplay::release() {
    pressed_ = false;
    dragged_ = Handle{};
    if (GetCapture() == hwnd()) ReleaseCapture();
}

void BandDisplay::hover(int x, int y) {
    const Handle over = handleAt(x, y);
    if (over.kind == shown_.kind && over.index == shown_.index) return;
    showTextFor(over);
    repaint();
}

LRESULT BandDisplay::handleMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    const int x = GET_X_LPARAM(lParam);
    const int y = GET_Y_LPARAM(lParam);
    switch (message) {
    case WM_LBUTTONDOWN:
        press(x, y);
        return 0;
    case WM_LBUTTONDBLCLK:
        doubleClick(x, y);
        return 0;
    case WM_MOUSEMOVE:
        if (pressed_ && (wParam & MK_LBUTTON) != 0)
            move(x, y, wParam);
        else if (!pressed_)
            hover(x, y);
        return 0;
    case WM_LBUTTONUP:
        release();
        return 0;
    case WM_CAPTURECHANGED:
        pressed_ = false;
        dragged_ = Handle{};
        return 0;
    case WM_PAINT:
        controls::paintCycle(window, [this](HDC dc) { paint(dc); });
        return 0;
    case WM_ERASEBKGND:
        return 1;
    default:
        return 0;
    }
}

// Painting -----------------------------------------------------------------------------------

void BandDisplay::repaint() {
    if (!ready() || hwnd() == nullptr) return;
    controls::paintNow(hwnd(), [this](HDC dc) { paint(dc); });
}

void BandDisplay::paint(HDC target) const {
    using namespace drawing;
    controls::DoubleBuffer buffer(target, width_, height_);
    HDC dc = buffer.dc();
    const RECT whole{0, 0, width_, height_};
    const RECT p = plot();
    fillRect(dc, whole, kWellColour);
    // The active band lit; with solo, the other bands muted.
    for (int b = 0; b < bandCount_; ++b) {
        const RECT band{b == 0 ? p.left : xOfHz(borderHz(b)), p.top,
                        b + 1 == bandCount_ ? p.right : xOfHz(borderHz(b + 1)), p.bottom};
        if (b == activeBand_)
            fillRect(dc, band, kAccentShadeColour);
        else if (solo_ && activeBand_ >= 0)
            fillRect(dc, band, kDimShadeColour);
    }
    {
        Selected grid(dc, CreatePen(PS_DOT, 1, kGridColour));
        for (double hz : kGridHz)
            if (hz < topHz()) line(dc, xOfHz(hz), p.top, xOfHz(hz), p.bottom);
        for (float db : kGridDb)
            line(dc, p.left, yOfGain(db), p.right, yOfGain(db));
    }
    // Borders with their grips, then each band's gain line and handle.
    {
        Selected pen(dc, CreatePen(PS_SOLID, 1, kTextColour));
        for (int i = 1; i < bandCount_; ++i) {
            const POINT h = borderHandle(i);
            line(dc, h.x, p.top, h.x, p.bottom);
            fillRect(dc, RECT{h.x - kGripHalfWidthPixels, p.bottom - kGripHeightPixels,
                              h.x + kGripHalfWidthPixels + 1, p.bottom},
                     shown_.kind == HandleKind::Border && shown_.index == i ? kAccentColour
                                                                             : kTextColour);
        }
    }
    for (int b = 0; b < bandCount_; ++b) {
        const int left = b == 0 ? p.left : xOfHz(borderHz(b));
        const int right = b + 1 == bandCount_ ? p.right : xOfHz(borderHz(b + 1));
        const POINT h = gainHandle(b);
        {
            Selected pen(dc, CreatePen(PS_SOLID, 1, kAccentColour));
            line(dc, left + 1, h.y, right - 1, h.y);
        }
        const bool lit = b == activeBand_ || (shown_.kind == HandleKind::Gain && shown_.index == b);
        handle(dc, h.x, h.y, kHandleReachPixels, lit ? kAccentColour : kWellColour, kAccentColour);
    }
    if (solo_ && activeBand_ >= 0) {
        Selected font(dc, makeFont("Arial", kTextFontHeight));
        SetBkMode(dc, TRANSPARENT);
        SetTextColor(dc, kAccentColour);
        TextOutA(dc, p.left + 2, p.top + 1, "SOLO", 4);
    }
    // The text of the handle dragged or pointed at, beside it and inside the display.
    if (!handleText_.empty()) {
        const POINT h = shown_.kind == HandleKind::Gain ? gainHandle(shown_.index)
                                                        : POINT{borderHandle(shown_.index).x, p.top + 8};
        int left = h.x + kHandleReachPixels + 3;
        if (left + kTextWidthPixels > p.right) left = h.x - kHandleReachPixels - 3 - kTextWidthPixels;
        int top = h.y - kTextHeightPixels - 2;
        if (top < p.top) top = h.y + kHandleReachPixels + 2;
        const RECT box{left, top, left + kTextWidthPixels, top + kTextHeightPixels};
        fillRect(dc, box, kTipColour);
        frameRect(dc, box, kEdgeColour);
        Selected font(dc, makeFont("Arial", kTextFontHeight));
        SetBkMode(dc, TRANSPARENT);
        SetTextColor(dc, kTextColour);
        RECT textBox = box;
        DrawTextA(dc, handleText_.c_str(), -1, &textBox, DT_LEFT | DT_VCENTER | DT_SINGLELINE);
    }
    frameRect(dc, whole, kEdgeColour);
    buffer.present();
}

} // namespace orq::compressor
