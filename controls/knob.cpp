#include "controls/knob.h"

#include "controls/control_messages.h"
#include "controls/control_support.h"
#include "controls/double_buffer.h"
#include "controls/palette.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace orq::controls {
namespace {

constexpr double kFullTurn = 2.0 * std::numbers::pi;
constexpr double kValueRounding = 0.49999;

} // namespace

Knob::Knob(HWND parent, int x, int y, int id, HBITMAP background, HBITMAP dot, HBITMAP mask,
           int steps, double startAngleDegrees, HINSTANCE instance, HPALETTE palette)
    : WObject(parent, id, kControlStyle, 0, instanceOrControls(instance)), background_(background),
      dot_(dot), mask_(mask), palette_(palette), size_(bitmapSize(background)),
      dotSize_(bitmapSize(dot)), steps_(std::max(steps, 1)),
      startAngle_(std::numbers::pi * startAngleDegrees / 180.0),
      anglePerStep_((kFullTurn - 2.0 * startAngle_) / steps_) {
    radius_ = size_.cx / 2;
    angle_ = angleOf(step_);
    place(x, y, size_.cx, size_.cy);
    setReady();
}

bool Knob::setRange(float min, float max) {
    if (!(max != min)) return false;
    scale_ = max - min;
    offset_ = min / scale_;
    return true;
}

float Knob::value() const {
    return (static_cast<float>(step_) / static_cast<float>(steps_) + offset_) * scale_;
}

double Knob::angleOf(int step) const {
    return kFullTurn - (step * anglePerStep_ + startAngle_);
}

int Knob::stepOf(float value) const {
    float normalised = value / scale_ - offset_;
    normalised = std::isnan(normalised) ? 0.0f : std::clamp(normalised, 0.0f, 1.0f);
    const double step = std::trunc(steps_ * static_cast<double>(normalised) + kValueRounding);
    return std::clamp(static_cast<int>(step), 0, steps_);
}

void Knob::setValue(float value) {
    step_ = stepOf(value);
    angle_ = angleOf(step_);
    repaint();
}

POINT Knob::dotOrigin() const {
    const int halfDot = dotSize_.cx / 2;
    const double reach = radius_ - halfDot;
    return POINT{static_cast<LONG>(std::trunc(std::sin(angle_) * reach)) - halfDot + radius_,
                 static_cast<LONG>(std::trunc(std::cos(angle_) * reach)) - halfDot + radius_};
}

void Knob::paint(HDC dc) const {
    DoubleBuffer buffer(dc, size_.cx, size_.cy);
    drawBitmap(buffer.dc(), 0, 0, background_, palette_);
    // The dot as a sprite: the mask clears its shape, the dot fills it.
    const POINT at = dotOrigin();
    const int width = 2 * (dotSize_.cx / 2);
    copyBitmapPart(buffer.dc(), at.x, at.y, width, dotSize_.cy, mask_, 0, 0, SRCAND);
    copyBitmapPart(buffer.dc(), at.x, at.y, width, dotSize_.cy, dot_, 0, 0, SRCPAINT);
    buffer.present();
}

void Knob::repaint() const {
    paintNow(hwnd(), [this](HDC dc) { paint(dc); });
}

void Knob::press(int x, int y) {
    if (!enabled_ || dragging_) return;
    if (x < 0 || y < 0 || x > 2 * radius_ || y > 2 * radius_) return;
    referenceRow_ = y;
    referenceStep_ = step_;
    dragging_ = true;
    previousCursor_ = SetCursor(LoadCursorA(nullptr, IDC_SIZENS));
    SetCapture(hwnd());
}

void Knob::move(int y, WPARAM keys) {
    if ((keys & (MK_LBUTTON | MK_RBUTTON)) == 0) return;
    const bool right = (keys & MK_RBUTTON) != 0;
    const bool left = (keys & MK_LBUTTON) != 0;
    const double sensitivity = !right ? kLeftDragPixelsPerStep
                               : left ? kBothButtonsPixelsPerStep
                                      : kRightDragPixelsPerStep;
    if (sensitivity != sensitivity_) {
        // Another speed starts from where the knob is: no jump.
        sensitivity_ = sensitivity;
        referenceRow_ = y;
        referenceStep_ = step_;
    }
    if (!dragging_) return;
    const double turned = std::trunc((referenceRow_ - y) / sensitivity_ + referenceStep_);
    const int step = static_cast<int>(std::clamp(turned, 0.0, static_cast<double>(steps_)));
    const double angle = angleOf(step);
    if (angle == angle_) return;
    step_ = step;
    angle_ = angle;
    block_ = value();
    repaint();
    sendCommand(parent(), id(), reinterpret_cast<LPARAM>(&block_));
}

void Knob::endDrag() {
    if (!dragging_) return;
    dragging_ = false;
    ReleaseCapture();
    SetCursor(previousCursor_);
    previousCursor_ = nullptr;
}

LRESULT Knob::handleMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_PAINT:
        paintCycle(window, [this](HDC dc) { paint(dc); });
        return 0;
    case WM_ERASEBKGND:
        return 1;
    case WM_LBUTTONDOWN:
    case WM_RBUTTONDOWN:
    case WM_LBUTTONDBLCLK:
    case WM_RBUTTONDBLCLK:
        press(GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam));
        return 0;
    case WM_MOUSEMOVE:
        move(GET_Y_LPARAM(lParam), wParam);
        return 0;
    case WM_LBUTTONUP:
        if ((wParam & MK_RBUTTON) == 0) endDrag();
        return 0;
    case WM_RBUTTONUP:
        if ((wParam & MK_LBUTTON) == 0) endDrag();
        return 0;
    case kSetValueMessage:
        if (lParam != 0) setValue(*reinterpret_cast<const float*>(lParam));
        return 0;
    case kSetSensitivityMessage:
        if (static_cast<double>(lParam) > 0.0) sensitivity_ = static_cast<double>(lParam);
        return 0;
    default:
        return 0;
    }
}

} // namespace orq::controls
