// Bitmap drawing through a palette and the identity palette of 8-bit displays.
#pragma once

#include <windows.h>

namespace orq::controls {

// Draws `bitmap` unscaled at (x, y) through its device-independent bits, with `palette` (may be
// null) selected and realised; a null bitmap draws nothing.
void drawBitmap(HDC dc, int x, int y, HBITMAP bitmap, HPALETTE palette);

// 256 entries, entry i referring to system palette index i. Shows "Not enough memory for
// palette." and throws std::bad_alloc when the palette cannot be made.
HPALETTE createIdentityPalette();

// With no palette given: realises a fresh identity palette in the window's context (as
// background palette unless `foreground`) and invalidates the window, erasing, when entries
// changed. With one: realises that palette (as foreground palette when `foreground`) and
// invalidates without erasing when entries changed. The previous palette is restored. True
// when entries changed.
bool realizeIdentityPalette(HWND window, bool foreground, HPALETTE palette = nullptr);

} // namespace orq::controls
