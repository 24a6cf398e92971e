#include "controls/bitmap_button.h"

#include "controls/double_buffer.h"
#include "controls/palette.h"

#include <algorithm>

namespace orq::controls {
namespace {

SIZE bitmapSize(HBITMAP bitmap) {
    BITMAP info{};
    if (bitmap == nullptr || GetObjectA(bitmap, sizeof info, &info) == 0) return SIZE{0, 0};
    return SIZE{info.bmWidth, info.bmHeight};
}

} // namespace

BitmapButton::BitmapButton(HWND parent, int id, int x, int y, HBITMAP normal, HBITMAP pressed,
                           HBITMAP on, Mode mode, HPALETTE palette)
    : WObject(parent, id), normal_(normal), pressed_bitmap_(pressed), on_bitmap_(on), mode_(mode),
      palette_(palette) {
    for (HBITMAP bitmap : {normal, pressed, on}) {
        const SIZE s = bitmapSize(bitmap);
        size_.cx = std::max(size_.cx, s.cx);
        size_.cy = std::max(size_.cy, s.cy);
    }
    place(x, y, size_.cx, size_.cy);
    setReady();
}

void BitmapButton::setOn(bool on) {
    if (on_ == on) return;
    on_ = on;
    repaint();
}

HBITMAP BitmapButton::currentBitmap() const {
    const HBITMAP pressed = pressed_bitmap_ != nullptr ? pressed_bitmap_ : normal_;
    if (pressed_) return pressed;
    if (on_) return on_bitmap_ != nullptr ? on_bitmap_ : pressed;
    return normal_;
}

void BitmapButton::paint(HDC dc) const {
    DoubleBuffer buffer(dc, size_.cx, size_.cy);
    drawBitmap(buffer.dc(), 0, 0, currentBitmap(), palette_);
    buffer.present();
}

void BitmapButton::repaint() {
    HDC dc = GetDC(hwnd());
    if (dc == nullptr) return;
    paint(dc);
    ReleaseDC(hwnd(), dc);
}

bool BitmapButton::inside(LPARAM lParam) const {
    const int x = GET_X_LPARAM(lParam);
    const int y = GET_Y_LPARAM(lParam);
    return x >= 0 && y >= 0 && x < size_.cx && y < size_.cy;
}

LRESULT BitmapButton::handleMessage(HWND window, UINT message, WPARAM, LPARAM lParam) {
    switch (message) {
    case WM_PAINT: {
        PAINTSTRUCT ps{};
        HDC dc = BeginPaint(window, &ps);
        if (dc != nullptr) paint(dc);
        EndPaint(window, &ps);
        return 0;
    }
    case WM_ERASEBKGND:
        return 1;
    case WM_LBUTTONDOWN:
    case WM_LBUTTONDBLCLK: // a quick second press is a press
        if (!inside(lParam)) return 0;
        captured_ = true;
        pressed_ = true;
        SetCapture(window);
        repaint();
        return 0;
    case WM_MOUSEMOVE:
        if (captured_ && pressed_ != inside(lParam)) {
            pressed_ = !pressed_;
            repaint();
        }
        return 0;
    case WM_LBUTTONUP: {
        if (!captured_) return 0;
        const bool click = inside(lParam);
        captured_ = false;
        pressed_ = false;
        ReleaseCapture();
        if (click && mode_ == Mode::Toggle) on_ = !on_;
        repaint();
        if (click)
            SendMessageA(parent(), WM_COMMAND, MAKEWPARAM(id(), BN_CLICKED),
                         reinterpret_cast<LPARAM>(window));
        return 0;
    }
    case WM_CAPTURECHANGED:
        // Capture taken away mid-press: a cancelled press.
        if (captured_ && reinterpret_cast<HWND>(lParam) != window) {
            captured_ = false;
            pressed_ = false;
            repaint();
        }
        return 0;
    default:
        return 0;
    }
}

} // namespace orq::controls
