#include "controls/clipboard.h"

namespace orq::controls {

bool copyWindowAreaToClipboard(HWND window, const RECT& area, bool inverted) {
    if (window == nullptr) return false;
    const int width = area.right - area.left, height = area.bottom - area.top;
    HDC source = GetDC(window);
    HDC memory = CreateCompatibleDC(source);
    HBITMAP copy = CreateCompatibleBitmap(source, width, height);
    HGDIOBJ previous = SelectObject(memory, copy);
    BitBlt(memory, 0, 0, width, height, source, area.left, area.top,
           inverted ? NOTSRCCOPY : SRCCOPY);
    SelectObject(memory, previous);
    DeleteDC(memory);
    ReleaseDC(window, source);
    bool given = false;
    if (OpenClipboard(window)) {
        EmptyClipboard();
        given = SetClipboardData(CF_BITMAP, copy) != nullptr;
        CloseClipboard();
    }
    if (!given) DeleteObject(copy); // the clipboard owns it once taken
    return given;
}

} // namespace orq::controls
