// What the controls share: bitmap sizes, partial copies, painting in and outside the paint
// cycle and the parent's notifications. The editors' own controls paint through it too.
#pragma once

#include <windows.h>

#include <initializer_list>

namespace orq::controls {

// A bitmap's width and height; 0 x 0 for none.
SIZE bitmapSize(HBITMAP bitmap);
// The largest width and the largest height of the bitmaps.
SIZE largestSize(std::initializer_list<HBITMAP> bitmaps);
// Copies the width x height part at (sourceX, sourceY) of `bitmap` to (x, y) of `dc` with the
// raster operation; a null bitmap or an empty part copies nothing.
void copyBitmapPart(HDC dc, int x, int y, int width, int height, HBITMAP bitmap, int sourceX,
                    int sourceY, DWORD rop = SRCCOPY);
// WM_COMMAND(id, argument) to the parent.
void sendCommand(HWND parent, int id, LPARAM argument);

// Runs paint(dc) on the window's context at once (outside the paint cycle).
template <typename Paint> void paintNow(HWND window, Paint paint) {
    HDC dc = GetDC(window);
    if (dc == nullptr) return;
    paint(dc);
    ReleaseDC(window, dc);
}

// Runs paint(dc) for a WM_PAINT.
template <typename Paint> void paintCycle(HWND window, Paint paint) {
    PAINTSTRUCT ps{};
    HDC dc = BeginPaint(window, &ps);
    if (dc != nullptr) paint(dc);
    EndPaint(window, &ps);
}

// The control's window instance: controlsModule() for none.
HINSTANCE instanceOrControls(HINSTANCE instance);

} // namespace orq::controls
