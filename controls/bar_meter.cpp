#include "controls/bar_meter.h"

#include "controls/double_buffer.h"
#include "controls/palette.h"

#include <algorithm>

namespace orq::controls {

BarMeter::BarMeter(HWND parent, int id, int x, int y, HBITMAP empty, HBITMAP full, HPALETTE palette)
    : WObject(parent, id), empty_(empty), full_(full), palette_(palette) {
    BITMAP info{};
    if (empty != nullptr && GetObjectA(empty, sizeof info, &info) != 0)
        size_ = SIZE{info.bmWidth, info.bmHeight};
    vertical_ = size_.cx < size_.cy;
    place(x, y, size_.cx, size_.cy);
    setReady();
}

int BarMeter::lengthFor(float level) const {
    if (vertical_)
        return size_.cy - static_cast<int>((1.0f - level) * static_cast<float>(size_.cy));
    return static_cast<int>(level * static_cast<float>(size_.cx));
}

void BarMeter::setLevel(float level) {
    level_ = std::clamp(level, 0.0f, 1.0f);
    const int filled = lengthFor(level_);
    if (filled == filled_) return;
    filled_ = filled;
    HDC dc = GetDC(hwnd());
    if (dc == nullptr) return;
    paint(dc);
    ReleaseDC(hwnd(), dc);
}

void BarMeter::paint(HDC dc) {
    ++paints_;
    DoubleBuffer buffer(dc, size_.cx, size_.cy);
    drawBitmap(buffer.dc(), 0, 0, empty_, palette_);
    if (filled_ > 0 && full_ != nullptr) {
        HDC source = CreateCompatibleDC(dc);
        HGDIOBJ previous = SelectObject(source, full_);
        if (vertical_) {
            const int top = size_.cy - filled_;
            BitBlt(buffer.dc(), 0, top, size_.cx, filled_, source, 0, top, SRCCOPY);
        } else {
            BitBlt(buffer.dc(), 0, 0, filled_, size_.cy, source, 0, 0, SRCCOPY);
        }
        SelectObject(source, previous);
        DeleteDC(source);
    }
    buffer.present();
}

LRESULT BarMeter::handleMessage(HWND window, UINT message, WPARAM, LPARAM) {
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
    default:
        return 0;
    }
}

} // namespace orq::controls
