#include "controls/button.h"

#include "controls/control_messages.h"
#include "controls/control_support.h"
#include "controls/palette.h"

namespace orq::controls {

Button::Button(HWND parent, int x, int y, int behaviour, int id, HBITMAP on, HBITMAP off,
               HBITMAP pressed, HINSTANCE instance, HPALETTE palette)
    : WObject(parent, id, kControlStyle, 0, instanceOrControls(instance)), on_(on), off_(off),
      pressed_(pressed), palette_(palette), behaviour_(behaviour),
      size_(largestSize({on, off, pressed})) {
    place(x, y, size_.cx, size_.cy);
    setReady();
}

bool Button::setState(int state) {
    if (state < kOff || state > kPressedFromOn) return false;
    state_ = state;
    repaint();
    return true;
}

void Button::paint(HDC dc) const {
    HBITMAP bitmap = state_ == kOff ? off_ : state_ == kOn ? on_ : pressed_;
    drawBitmap(dc, 0, 0, bitmap, palette_);
}

void Button::repaint() const {
    paintNow(hwnd(), [this](HDC dc) { paint(dc); });
}

bool Button::inside(int x, int y) const {
    return x >= 0 && y >= 0 && x < size_.cx && y < size_.cy;
}

void Button::notify(LPARAM argument) const {
    sendCommand(parent(), id(), argument);
}

void Button::leftDown(int x, int y) {
    if (!enabled_) {
        sendCommand(parent(), kDisabledClickCommand, id());
        return;
    }
    lastClick_ = POINT{x, y};
    if (!inside(x, y)) return;
    LPARAM argument = 0;
    if (behaviour_ & kToggleOnPress) {
        state_ = (state_ == kOff || state_ == kPressedFromOn) ? kOn : kOff;
        argument = state_;
    } else {
        state_ = (state_ == kOff || state_ == kPressedFromOn) ? kPressedFromOff : kPressedFromOn;
        argument = state_ == kPressedFromOff ? 1 : 0;
    }
    if (behaviour_ & (kToggleOnPress | kNotifyOnPress)) notify(argument);
    captured_ = true;
    SetCapture(hwnd());
    repaint();
}

void Button::leftUp(int x, int y) {
    if (!enabled_) return;
    if (behaviour_ & kNotifyOnPress) {
        // The release changes nothing, but the mouse taken at the press is given back.
        if (captured_) {
            captured_ = false;
            ReleaseCapture();
        }
        return;
    }
    if (!captured_) return;
    captured_ = false;
    if (inside(x, y)) {
        if ((behaviour_ & kMomentary) || state_ == kPressedFromOn)
            state_ = kOff;
        else if (state_ == kPressedFromOff)
            state_ = kOn;
        notify(state_);
        ReleaseCapture();
    } else {
        // A cancelled press: back to the state it came from, nothing sent.
        if (state_ == kPressedFromOn)
            state_ = kOn;
        else if (state_ == kPressedFromOff)
            state_ = kOff;
        ReleaseCapture();
    }
    repaint();
}

LRESULT Button::handleMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_PAINT:
        paintCycle(window, [this](HDC dc) { paint(dc); });
        return 0;
    case WM_ERASEBKGND:
        return 1;
    case WM_LBUTTONDOWN:
    case WM_LBUTTONDBLCLK: // a quick second press is a press
        leftDown(GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam));
        return 0;
    case WM_LBUTTONUP:
        leftUp(GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam));
        return 0;
    case kSetStateMessage:
        setState(wParam != 0 ? kOn : kOff);
        return 0;
    case kEnableMessage:
        enabled_ = wParam != 0;
        return 0;
    default:
        return 0;
    }
}

} // namespace orq::controls
