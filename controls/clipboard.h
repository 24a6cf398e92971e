// Putting a window's pixels on the clipboard.
#pragma once

#include <windows.h>

namespace orq::controls {

// Copies the area (client coordinates) of window as it shows now onto the clipboard as one
// CF_BITMAP, inverted (NOTSRCCOPY: dark on white, for printing) when asked. The clipboard owns
// the bitmap once it takes it; when it cannot be opened or refuses the bitmap, the bitmap is
// deleted and the answer is false. [ui-thread] (window's thread), allocates.
bool copyWindowAreaToClipboard(HWND window, const RECT& area, bool inverted);

} // namespace orq::controls
