#include "controls/slider.h"

#include "controls/control_messages.h"
#include "controls/control_support.h"
#include "controls/double_buffer.h"
#include "controls/palette.h"

#include <algorithm>
#include <cmath>

namespace orq::controls {
namespace {

// Rounding of a normalised value to a position (just below one half, so an exact half step
// rounds down).
constexpr double kValueRounding = 0.49999;
// Rounding of a pixel distance to a position.
constexpr double kPixelRounding = 0.499;

} // namespace

Slider::Slider(HWND parent, int x, int y, int id, HBITMAP track, HBITMAP thumb, int steps,
               HINSTANCE instance, HPALETTE palette)
    : WObject(parent, id, kControlStyle, 0, instanceOrControls(instance)), track_(track),
      thumb_(thumb), palette_(palette), trackSize_(bitmapSize(track)),
      thumbSize_(bitmapSize(thumb)), steps_(std::max(steps, 1)) {
    vertical_ = trackSize_.cx < trackSize_.cy;
    trackLength_ = vertical_ ? trackSize_.cy : trackSize_.cx;
    thumbLength_ = vertical_ ? thumbSize_.cy : thumbSize_.cx;
    travel_ = std::max(trackLength_ - thumbLength_, 0);
    pixelsPerStep_ = static_cast<double>(travel_) / steps_;
    place(x, y, trackSize_.cx, trackSize_.cy);
    setReady();
}

bool Slider::setRange(float min, float max) {
    if (!(max != min)) return false;
    scale_ = max - min;
    offset_ = min / scale_;
    return true;
}

bool Slider::setValueTable(const float* values, int count) {
    if (values == nullptr || count != steps_ + 1) return false;
    table_.assign(values, values + count);
    return true;
}

float Slider::valueAt(int position) const {
    if (!table_.empty()) return table_[static_cast<size_t>(std::clamp(position, 0, steps_))];
    return (static_cast<float>(position) / static_cast<float>(steps_) + offset_) * scale_;
}

int Slider::positionOf(float value) const {
    if (!table_.empty()) {
        // The first entry at or above the value: a value between two entries takes the upper.
        for (int i = 0; i <= steps_; ++i)
            if (table_[static_cast<size_t>(i)] >= value) return i;
        return steps_;
    }
    float normalised = value / scale_ - offset_;
    normalised = std::isnan(normalised) ? 0.0f : std::clamp(normalised, 0.0f, 1.0f);
    const double position = std::trunc(steps_ * static_cast<double>(normalised) + kValueRounding);
    return std::clamp(static_cast<int>(position), 0, steps_);
}

void Slider::setValue(float value) {
    position_ = positionOf(value);
    repaint();
}

int Slider::positionAtPixel(int pixel) const {
    // A slider without travel has a single place: the pointer selects nothing new.
    if (travel_ == 0) return position_;
    const int half = thumbLength_ / 2;
    int pixels = 0;
    if (pixel <= half)
        pixels = 0;
    else if (pixel >= trackLength_ - half)
        pixels = travel_;
    else
        pixels = pixel - half;
    if (vertical_) pixels = travel_ - pixels;
    return static_cast<int>(std::trunc(pixels / pixelsPerStep_ + kPixelRounding));
}

int Slider::thumbOffset(int position) const {
    const int pixels = static_cast<int>(std::trunc(position * pixelsPerStep_));
    return vertical_ ? travel_ - pixels : pixels;
}

POINT Slider::thumbOrigin() const {
    const int along = thumbOffset(position_);
    if (vertical_) return POINT{(trackSize_.cx - thumbSize_.cx) / 2, along};
    return POINT{along, (trackSize_.cy - thumbSize_.cy) / 2};
}

void Slider::paint(HDC dc) const {
    DoubleBuffer buffer(dc, trackSize_.cx, trackSize_.cy);
    drawBitmap(buffer.dc(), 0, 0, track_, palette_);
    const POINT thumb = thumbOrigin();
    drawBitmap(buffer.dc(), thumb.x, thumb.y, thumb_, palette_);
    buffer.present();
}

void Slider::repaint() const {
    paintNow(hwnd(), [this](HDC dc) { paint(dc); });
}

void Slider::leftDown(int x, int y, int keyFlags) {
    if (!enabled_) {
        sendCommand(parent(), kDisabledClickCommand, id());
        return;
    }
    if (x < 0 || y < 0 || x >= trackSize_.cx || y >= trackSize_.cy) return;
    const POINT thumb = thumbOrigin();
    const bool onThumb =
        x >= thumb.x && x < thumb.x + thumbSize_.cx && y >= thumb.y && y < thumb.y + thumbSize_.cy;
    if (onThumb && (keyFlags & keyMask_) != 0) {
        // The half towards the top (vertical) or the right (horizontal) steps up.
        const bool upperHalf =
            vertical_ ? y < thumb.y + thumbSize_.cy / 2 : x >= thumb.x + thumbSize_.cx / 2;
        position_ = upperHalf ? std::min(position_ + 1, steps_) : std::max(position_ - 1, 0);
    } else {
        position_ = positionAtPixel(vertical_ ? y : x);
    }
    SetCapture(hwnd());
    dragging_ = true;
    firstMove_ = true;
    block_.keyFlags = keyFlags;
    block_.value = valueAt(position_);
    sendCommand(parent(), id(), reinterpret_cast<LPARAM>(&block_));
    lastSent_ = block_.value;
    repaint();
}

void Slider::mouseMove(int x, int y, int keyFlags) {
    if (!dragging_ || (keyFlags & MK_LBUTTON) == 0) return;
    const int before = thumbOffset(position_);
    position_ = positionAtPixel(vertical_ ? y : x);
    block_.value = valueAt(position_);
    block_.keyFlags = keyFlags;
    // The first move after the press only follows the pointer: the press has sent already.
    if (!firstMove_ && block_.value != lastSent_) {
        sendCommand(parent(), id(), reinterpret_cast<LPARAM>(&block_));
        lastSent_ = block_.value;
    }
    firstMove_ = false;
    if (thumbOffset(position_) != before) repaint();
}

LRESULT Slider::handleMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_PAINT:
        paintCycle(window, [this](HDC dc) { paint(dc); });
        return 0;
    case WM_ERASEBKGND:
        return 1;
    case WM_LBUTTONDOWN:
    case WM_LBUTTONDBLCLK:
        leftDown(GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam), static_cast<int>(wParam));
        return 0;
    case WM_MOUSEMOVE:
        mouseMove(GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam), static_cast<int>(wParam));
        return 0;
    case WM_LBUTTONUP:
        if (dragging_) ReleaseCapture();
        dragging_ = false;
        firstMove_ = false;
        return 0;
    case WM_RBUTTONDOWN:
        sendCommand(parent(), kRightClickCommand, id());
        return 0;
    case kSetValueMessage:
        if (lParam != 0) setValue(*reinterpret_cast<const float*>(lParam));
        return 0;
    default:
        return 0;
    }
}

} // namespace orq::controls
