#include "controls/rocker.h"

#include "controls/control_messages.h"
#include "controls/control_support.h"
#include "controls/palette.h"

namespace orq::controls {

Rocker::Rocker(HWND parent, int x, int y, int id, HBITMAP leftPressed, HBITMAP idle,
               HBITMAP rightPressed, HINSTANCE instance, HPALETTE palette)
    : WObject(parent, id, kControlStyle, 0, instanceOrControls(instance)), bitmaps_{idle,
                                                                                    leftPressed,
                                                                                    rightPressed},
      palette_(palette), size_(largestSize({leftPressed, idle, rightPressed})) {
    place(x, y, size_.cx, size_.cy);
    setReady();
}

void Rocker::paint(HDC dc) const {
    drawBitmap(dc, 0, 0, bitmaps_[state_], palette_);
}

void Rocker::repaint() const {
    paintNow(hwnd(), [this](HDC dc) { paint(dc); });
}

void Rocker::press(int side) {
    state_ = side;
    repaint();
    sendCommand(parent(), id(), side);
}

LRESULT Rocker::handleMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_PAINT:
        paintCycle(window, [this](HDC dc) { paint(dc); });
        return 0;
    case WM_ERASEBKGND:
        return 1;
    case WM_LBUTTONDOWN:
    case WM_LBUTTONDBLCLK: {
        if (!enabled_) {
            sendCommand(parent(), kDisabledClickCommand, id());
            return 0;
        }
        const int x = GET_X_LPARAM(lParam);
        const int y = GET_Y_LPARAM(lParam);
        if (y < 0 || y >= size_.cy) return 0;
        const int middle = size_.cx / 2;
        // The middle column belongs to both halves: it sends left, then right.
        if (x <= middle) press(kLeft);
        if (x >= middle) press(kRight);
        captured_ = true;
        SetCapture(window);
        return 0;
    }
    case WM_LBUTTONUP:
        if (!captured_) return 0;
        captured_ = false;
        state_ = kIdle;
        repaint();
        ReleaseCapture();
        return 0;
    case WM_RBUTTONDOWN:
        sendCommand(parent(), kRightClickCommand, id());
        return 0;
    case kEnableMessage:
        enabled_ = wParam != 0;
        return 0;
    default:
        return 0;
    }
}

} // namespace orq::controls
