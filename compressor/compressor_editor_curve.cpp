#include "compressor/compressor_editor_curve.h"

#include "compressor/compressor_editor_drawing.h"
#include "controls/control_support.h"
#include "controls/double_buffer.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>

namespace orq::compressor {

namespace {

constexpr int kScaleFontHeight = 9;
constexpr int kTipFontHeight = 8;
constexpr int kTipLineHeightPixels = 10;
constexpr int kTipColumnGapPixels = 2;
// Grid lines and their labels, as levels.
struct ScaleMark {
    double level;
    const char* label;
};
constexpr ScaleMark kScaleMarks[] = {{1.0, "0"}, {0.5, "-6"}, {0.25, "-12"}, {0.125, "-18"}};
constexpr int kMeterBarPixels = 3;
constexpr double kLowestBottomLabel = 0.25;

double decibels(double level) {
    return 20.0 * std::log10(std::max(level, CurveEditor::kLevelFloor));
}

} // namespace

CurveEditor::CurveEditor(HWND parent, int id, int x, int y, int width, int height)
    : WObject(parent, id), width_(width), height_(height), shape_(defaultBandShape()) {
    scaleFont_ = drawing::makeFont("Small Fonts", kScaleFontHeight);
    tipFont_ = drawing::makeFont("Small Fonts", kTipFontHeight);
    place(x, y, width, height);
    setReady();
}

CurveEditor::~CurveEditor() {
    if (scaleFont_ != nullptr) DeleteObject(scaleFont_);
    if (tipFont_ != nullptr) DeleteObject(tipFont_);
}

// Values -------------------------------------------------------------------------------------

void CurveEditor::setShape(const BandShape& shape) {
    shape_ = shape.count >= kShapeMinPoints && shape.count <= kShapeMaxPoints ? shape
                                                                              : defaultBandShape();
    selected_.fill(false);
    drag_ = Drag::None;
    showTextFor(-1);
    repaint();
}

void CurveEditor::setActiveBand(int band) {
    activeBand_ = band < 0 ? -1 : band;
    selected_.fill(false);
    drag_ = Drag::None;
    showTextFor(-1);
    repaint();
}

void CurveEditor::setSolo(bool solo) {
    solo_ = solo;
    repaint();
}

void CurveEditor::setMeter(float level) {
    const float previous = meter_;
    meter_ = level;
    const bool wasShown = previous >= 0.0f;
    const bool isShown = level >= 0.0f;
    const RECT p = plot();
    auto pixel = [&](float v) {
        return p.bottom - int(std::lround(double(std::min(v, 1.0f)) * double(p.bottom - p.top)));
    };
    if (wasShown == isShown && (!isShown || pixel(previous) == pixel(level))) return;
    ++meterPaints_;
    repaint();
}

// Geometry -----------------------------------------------------------------------------------

RECT CurveEditor::plot() const {
    return RECT{kInsetPixels, kInsetPixels, width_ - kScaleStripPixels - kInsetPixels,
                height_ - kScaleStripPixels - kInsetPixels};
}

int CurveEditor::xOfLevel(double level) const {
    const RECT p = plot();
    const double fraction = (level - kLevelFloor) / (1.0 - kLevelFloor);
    return p.left + int(std::lround(fraction * double(p.right - 1 - p.left)));
}

int CurveEditor::yOfLevel(double level) const {
    const RECT p = plot();
    const double fraction = (level - kLevelFloor) / (1.0 - kLevelFloor);
    return p.bottom - int(std::lround(fraction * double(p.bottom - p.top)));
}

double CurveEditor::levelOfX(int x) const {
    const RECT p = plot();
    const double fraction = double(x - p.left) / double(p.right - 1 - p.left);
    return std::clamp(kLevelFloor + fraction * (1.0 - kLevelFloor), 0.0, 1.0);
}

double CurveEditor::levelOfY(int y) const {
    const RECT p = plot();
    const double fraction = double(p.bottom - y) / double(p.bottom - p.top);
    return std::clamp(kLevelFloor + fraction * (1.0 - kLevelFloor), 0.0, 1.0);
}

POINT CurveEditor::pointAt(int index) const {
    return POINT{xOfLevel(shape_.x[index]), yOfLevel(shape_.y[index])};
}

int CurveEditor::pointNear(int x, int y) const {
    int found = -1;
    long nearest = std::numeric_limits<long>::max();
    for (int i = 0; i < shape_.count; ++i) {
        const POINT p = pointAt(i);
        const int dx = x - p.x;
        const int dy = y - p.y;
        if (std::abs(dx) > kPointReachPixels || std::abs(dy) > kPointReachPixels) continue;
        const long distance = long(dx) * dx + long(dy) * dy;
        if (distance < nearest) {
            nearest = distance;
            found = i;
        }
    }
    return found;
}

bool CurveEditor::nearCurve(int x, int y) const {
    for (int i = 1; i < shape_.count; ++i) {
        const POINT a = pointAt(i - 1);
        const POINT b = pointAt(i);
        if (x < a.x || x > b.x) continue;
        const double t = b.x == a.x ? 0.0 : double(x - a.x) / double(b.x - a.x);
        const double curveY = a.y + t * (b.y - a.y);
        if (std::abs(double(y) - curveY) <= kCurveReachPixels) return true;
    }
    return false;
}

// Texts --------------------------------------------------------------------------------------

std::string CurveEditor::textFor(double inLevel, double outLevel) {
    const double inDb = decibels(inLevel);
    const double outDb = decibels(outLevel);
    char text[128];
    std::snprintf(text, sizeof text,
                  " In:\t%-5.1f\tdB      \n Out:\t%-5.1f\tdB     \n Gain:\t%-5.1f\tdB    ", inDb,
                  outDb, outDb - inDb);
    return text;
}

void CurveEditor::showTextFor(int point) {
    textPoint_ = point;
    if (point < 0 || point >= shape_.count)
        pointText_.clear();
    else
        pointText_ = textFor(shape_.x[point], shape_.y[point]);
}

// Mouse --------------------------------------------------------------------------------------

void CurveEditor::reportChange() {
    SendMessageA(parent(), WM_COMMAND, WPARAM(id()), 0);
}

void CurveEditor::press(int x, int y, WPARAM keys) {
    if (activeBand_ < 0) return;
    last_ = POINT{x, y};
    const int point = pointNear(x, y);
    if (point >= 0) {
        if ((keys & MK_SHIFT) != 0) {
            if (point == 0 || point == shape_.count - 1) return;
            for (int i = point; i + 1 < shape_.count; ++i) {
                shape_.x[i] = shape_.x[i + 1];
                shape_.y[i] = shape_.y[i + 1];
            }
            --shape_.count;
            shape_.x[shape_.count] = shape_.y[shape_.count] = 0.0f;
            selected_.fill(false);
            showTextFor(-1);
            repaint();
            reportChange();
            return;
        }
        // A point of a selection made with the rectangle moves the whole selection.
        if (!selected_[size_t(point)]) {
            selected_.fill(false);
            selected_[size_t(point)] = true;
            selectionFromPress_ = true;
        }
        drag_ = Drag::Points;
        SetCapture(hwnd());
        showTextFor(point);
        repaint();
        return;
    }
    if (nearCurve(x, y) && shape_.count < kShapeMaxPoints) {
        const RECT p = plot();
        const float level = float(levelOfX(std::clamp(x, int(p.left), int(p.right - 1))));
        int at = 1;
        while (at < shape_.count - 1 && shape_.x[at] <= level)
            ++at;
        for (int i = shape_.count; i > at; --i) {
            shape_.x[i] = shape_.x[i - 1];
            shape_.y[i] = shape_.y[i - 1];
        }
        shape_.x[at] = std::clamp(level, shape_.x[at - 1], shape_.x[at + 1]);
        shape_.y[at] = float(levelOfY(std::clamp(y, int(p.top), int(p.bottom))));
        ++shape_.count;
        selected_.fill(false);
        selected_[size_t(at)] = true;
        selectionFromPress_ = true;
        drag_ = Drag::Points;
        SetCapture(hwnd());
        showTextFor(at);
        repaint();
        reportChange();
        return;
    }
    selected_.fill(false);
    selectionFromPress_ = false;
    drag_ = Drag::Rectangle;
    rectangleStart_ = rectangleEnd_ = POINT{x, y};
    SetCapture(hwnd());
    showTextFor(-1);
    repaint();
}

void CurveEditor::moveSelection(double dxLevel, double dyLevel) {
    bool endSelected = false;
    for (int i = 0; i < shape_.count; ++i)
        if (selected_[size_t(i)] && (i == 0 || i == shape_.count - 1)) endSelected = true;
    if (endSelected) dxLevel = 0.0;
    // The largest movement that keeps every selected point inside the levels and between the
    // points that stay (the order of the points never changes).
    double dxLow = -1.0, dxHigh = 1.0, dyLow = -1.0, dyHigh = 1.0;
    for (int i = 0; i < shape_.count; ++i) {
        if (!selected_[size_t(i)]) continue;
        double below = 0.0, above = 1.0;
        for (int j = i - 1; j >= 0; --j)
            if (!selected_[size_t(j)]) {
                below = shape_.x[j];
                break;
            }
        for (int j = i + 1; j < shape_.count; ++j)
            if (!selected_[size_t(j)]) {
                above = shape_.x[j];
                break;
            }
        dxLow = std::max(dxLow, below - shape_.x[i]);
        dxHigh = std::min(dxHigh, above - shape_.x[i]);
        dyLow = std::max(dyLow, 0.0 - shape_.y[i]);
        dyHigh = std::min(dyHigh, 1.0 - shape_.y[i]);
    }
    dxLevel = std::clamp(dxLevel, std::min(dxLow, 0.0), std::max(dxHigh, 0.0));
    dyLevel = std::clamp(dyLevel, std::min(dyLow, 0.0), std::max(dyHigh, 0.0));
    for (int i = 0; i < shape_.count; ++i) {
        if (!selected_[size_t(i)]) continue;
        shape_.x[i] = std::clamp(float(shape_.x[i] + dxLevel), 0.0f, 1.0f);
        shape_.y[i] = std::clamp(float(shape_.y[i] + dyLevel), 0.0f, 1.0f);
    }
    // Float rounding must not put two neighbours out of order.
    for (int i = 1; i < shape_.count; ++i)
        shape_.x[i] = std::max(shape_.x[i], shape_.x[i - 1]);
}

void CurveEditor::move(int x, int y, WPARAM keys) {
    const RECT p = plot();
    if (drag_ == Drag::Rectangle) {
        rectangleEnd_ = POINT{std::clamp(x, 0, width_ - 1), std::clamp(y, 0, height_ - 1)};
        repaint();
        return;
    }
    if (drag_ != Drag::Points) return;
    // A jump counts as no movement; otherwise the pointer is held inside the curve area.
    if (std::abs(x - last_.x) > kJumpLimitPixels || std::abs(y - last_.y) > kJumpLimitPixels)
        return;
    x = std::clamp(x, int(p.left), int(p.right - 1));
    y = std::clamp(y, int(p.top), int(p.bottom));
    const int dx = x - last_.x;
    const int dy = y - last_.y;
    last_ = POINT{x, y};
    if (dx == 0 && dy == 0) return;
    const double fraction = (keys & MK_CONTROL) != 0 ? kFineMoveFraction : 1.0;
    const double levelPerPixelX = (1.0 - kLevelFloor) / double(p.right - 1 - p.left);
    const double levelPerPixelY = (1.0 - kLevelFloor) / double(p.bottom - p.top);
    moveSelection(dx * levelPerPixelX * fraction, -dy * levelPerPixelY * fraction);
    showTextFor(textPoint_);
    repaint();
    reportChange();
}

void CurveEditor::release(int x, int y) {
    if (drag_ == Drag::Rectangle) {
        rectangleEnd_ = POINT{x, y};
        const int left = std::min(rectangleStart_.x, rectangleEnd_.x);
        const int right = std::max(rectangleStart_.x, rectangleEnd_.x);
        const int top = std::min(rectangleStart_.y, rectangleEnd_.y);
        const int bottom = std::max(rectangleStart_.y, rectangleEnd_.y);
        for (int i = 0; i < shape_.count; ++i) {
            const POINT at = pointAt(i);
            selected_[size_t(i)] = at.x >= left && at.x <= right && at.y >= top && at.y <= bottom;
        }
    } else if (drag_ == Drag::Points && selectionFromPress_) {
        selected_.fill(false);
        selectionFromPress_ = false;
    }
    drag_ = Drag::None;
    if (GetCapture() == hwnd()) ReleaseCapture();
    repaint();
}

void CurveEditor::hover(int x, int y) {
    if (activeBand_ < 0) return;
    const int point = pointNear(x, y);
    if (point == textPoint_) return;
    showTextFor(point);
    repaint();
}

LRESULT CurveEditor::handleMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    const int x = GET_X_LPARAM(lParam);
    const int y = GET_Y_LPARAM(lParam);
    switch (message) {
    case WM_LBUTTONDOWN:
    case WM_LBUTTONDBLCLK:
        press(x, y, wParam);
        return 0;
    case WM_MOUSEMOVE:
        if (drag_ != Drag::None && (wParam & MK_LBUTTON) != 0)
            move(x, y, wParam);
        else if (drag_ == Drag::None)
            hover(x, y);
        return 0;
    case WM_LBUTTONUP:
        if (drag_ != Drag::None) release(x, y);
        return 0;
    case WM_CAPTURECHANGED:
        if (drag_ != Drag::None && reinterpret_cast<HWND>(lParam) != window) {
            drag_ = Drag::None;
            repaint();
        }
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

void CurveEditor::repaint() {
    if (!ready() || hwnd() == nullptr) return;
    controls::paintNow(hwnd(), [this](HDC dc) { paint(dc); });
}

void CurveEditor::paint(HDC target) const {
    using namespace drawing;
    controls::DoubleBuffer buffer(target, width_, height_);
    HDC dc = buffer.dc();
    const RECT whole{0, 0, width_, height_};
    const RECT p = plot();
    fillRect(dc, whole, kWellColour);
    SetBkMode(dc, TRANSPARENT);
    // Grid and scales: output levels at the right, input levels at the bottom.
    {
        Selected grid(dc, CreatePen(PS_DOT, 1, kEdgeColour));
        HGDIOBJ previousFont = SelectObject(dc, scaleFont_);
        SetTextColor(dc, kScaleTextColour);
        for (const ScaleMark& mark : kScaleMarks) {
            const int x = xOfLevel(mark.level);
            const int y = yOfLevel(mark.level);
            line(dc, p.left, y, p.right, y);
            line(dc, x, p.top, x, p.bottom);
            const int length = int(std::strlen(mark.label));
            TextOutA(dc, p.right + 3, y - kScaleFontHeight / 2, mark.label, length);
            // Across, the labels of the lower levels would run into each other.
            if (mark.level >= kLowestBottomLabel)
                TextOutA(dc, x - 2 * length, p.bottom + 4, mark.label, length);
        }
        TextOutA(dc, p.right + 3, p.bottom + 4, "dB", 2);
        SelectObject(dc, previousFont);
    }
    frameRect(dc, RECT{p.left - 1, p.top - 1, p.right + 1, p.bottom + 1}, kEdgeColour);
    if (activeBand_ >= 0) {
        // The unity line, then the curve and its points.
        {
            Selected unity(dc, CreatePen(PS_DOT, 1, kScaleTextColour));
            line(dc, xOfLevel(0.0), yOfLevel(0.0), xOfLevel(1.0), yOfLevel(1.0));
        }
        POINT points[kShapeMaxPoints];
        for (int i = 0; i < shape_.count; ++i)
            points[i] = pointAt(i);
        {
            Selected curve(dc, CreatePen(PS_SOLID, 2, kAccentColour));
            Polyline(dc, points, shape_.count);
        }
        for (int i = 0; i < shape_.count; ++i)
            handle(dc, points[i].x, points[i].y, kPointReachPixels - 1,
                   selected_[size_t(i)] || i == textPoint_ ? kAccentColour : kWellColour,
                   kAccentColour);
        // The band's meter: a bar at the left edge and a line across at its level.
        if (meter_ >= 0.0f) {
            const int y = p.bottom - int(std::lround(double(std::min(meter_, 1.0f)) * double(p.bottom - p.top)));
            fillRect(dc, RECT{p.left - kInsetPixels + 1, y, p.left - kInsetPixels + 1 + kMeterBarPixels, p.bottom}, kMeterColour);
            Selected level(dc, CreatePen(PS_SOLID, 1, kMeterColour));
            line(dc, p.left, y, p.right, y);
        }
        char title[32];
        std::snprintf(title, sizeof title, solo_ ? "Band %d  SOLO" : "Band %d", activeBand_ + 1);
        HGDIOBJ previousFont = SelectObject(dc, tipFont_);
        SetTextColor(dc, kTextColour);
        TextOutA(dc, p.left + 3, p.top + 2, title, int(std::strlen(title)));
        SelectObject(dc, previousFont);
    }
    if (drag_ == Drag::Rectangle) {
        // The selection rectangle, drawn inverted.
        const int left = std::min(rectangleStart_.x, rectangleEnd_.x);
        const int right = std::max(rectangleStart_.x, rectangleEnd_.x);
        const int top = std::min(rectangleStart_.y, rectangleEnd_.y);
        const int bottom = std::max(rectangleStart_.y, rectangleEnd_.y);
        const RECT edges[] = {{left, top, right + 1, top + 1},
                              {left, bottom, right + 1, bottom + 1},
                              {left, top + 1, left + 1, bottom},
                              {right, top + 1, right + 1, bottom}};
        for (const RECT& edge : edges)
            if (edge.right > edge.left && edge.bottom > edge.top) InvertRect(dc, &edge);
    }
    if (!pointText_.empty() && textPoint_ >= 0 && textPoint_ < shape_.count) {
        const POINT at = pointAt(textPoint_);
        int left = at.x + kPointReachPixels + 3;
        if (left + kTipWidthPixels > width_) left = at.x - kPointReachPixels - 3 - kTipWidthPixels;
        int top = at.y - kTipHeightPixels / 2;
        top = std::clamp(top, 0, height_ - kTipHeightPixels);
        const RECT box{left, top, left + kTipWidthPixels, top + kTipHeightPixels};
        fillRect(dc, box, kTipColour);
        frameRect(dc, box, kEdgeColour);
        HGDIOBJ previousFont = SelectObject(dc, tipFont_);
        SetTextColor(dc, kTextColour);
        // Columns: after the widest label, after the widest number.
        SIZE label{}, number{};
        GetTextExtentPoint32A(dc, " Gain:", 6, &label);
        GetTextExtentPoint32A(dc, "-00.0", 5, &number);
        const int tabs[] = {label.cx + kTipColumnGapPixels,
                            label.cx + number.cx + 2 * kTipColumnGapPixels};
        tabbedLines(dc, pointText_.c_str(), box, tabs, int(std::size(tabs)), kTipLineHeightPixels);
        SelectObject(dc, previousFont);
    }
    frameRect(dc, whole, kEdgeColour);
    buffer.present();
}

} // namespace orq::compressor
