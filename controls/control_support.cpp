#include "controls/control_support.h"

#include "controls/wobject.h"

#include <algorithm>

namespace orq::controls {

SIZE bitmapSize(HBITMAP bitmap) {
    BITMAP info{};
    if (bitmap == nullptr || GetObjectA(bitmap, sizeof info, &info) == 0) return SIZE{0, 0};
    return SIZE{info.bmWidth, info.bmHeight};
}

SIZE largestSize(std::initializer_list<HBITMAP> bitmaps) {
    SIZE largest{0, 0};
    for (HBITMAP bitmap : bitmaps) {
        const SIZE s = bitmapSize(bitmap);
        largest.cx = std::max(largest.cx, s.cx);
        largest.cy = std::max(largest.cy, s.cy);
    }
    return largest;
}

void copyBitmapPart(HDC dc, int x, int y, int width, int height, HBITMAP bitmap, int sourceX,
                    int sourceY, DWORD rop) {
    if (bitmap == nullptr || dc == nullptr || width <= 0 || height <= 0) return;
    HDC source = CreateCompatibleDC(dc);
    if (source == nullptr) return;
    HGDIOBJ previous = SelectObject(source, bitmap);
    BitBlt(dc, x, y, width, height, source, sourceX, sourceY, rop);
    SelectObject(source, previous);
    DeleteDC(source);
}

void sendCommand(HWND parent, int id, LPARAM argument) {
    SendMessageA(parent, WM_COMMAND, static_cast<WPARAM>(id), argument);
}

HINSTANCE instanceOrControls(HINSTANCE instance) {
    return instance != nullptr ? instance : controlsModule();
}

} // namespace orq::controls
