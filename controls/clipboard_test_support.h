// For tests of "copy to the clipboard": compares the bitmap on the clipboard with a window area
// as the window shows it, or with its complement.
#pragma once

#include <windows.h>

#include <gtest/gtest.h>

#include <functional>

namespace controls_test {

// Opens the clipboard, checks that its bitmap has the area's size and counts the pixels that
// differ from the window's (complemented when `inverted`), reporting the first three. `alsoCheck`
// runs with the copy selected into a memory context before the clipboard closes. Returns -1 when
// the clipboard cannot be opened or holds no bitmap.
inline int clipboardDifferencesFromWindow(HWND window, const RECT& area, bool inverted,
                                          const std::function<void(HDC, int, int)>& alsoCheck = {}) {
    if (!OpenClipboard(nullptr)) {
        ADD_FAILURE() << "the clipboard does not open";
        return -1;
    }
    auto* copy = static_cast<HBITMAP>(GetClipboardData(CF_BITMAP));
    if (copy == nullptr) {
        CloseClipboard();
        ADD_FAILURE() << "the clipboard holds no bitmap";
        return -1;
    }
    const int width = area.right - area.left, height = area.bottom - area.top;
    BITMAP info{};
    GetObjectA(copy, sizeof info, &info);
    EXPECT_EQ(info.bmWidth, width);
    EXPECT_EQ(info.bmHeight, height);
    HDC dc = CreateCompatibleDC(nullptr);
    HGDIOBJ previous = SelectObject(dc, copy);
    int differing = 0;
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            const COLORREF shown = PlatformWindowPixel(window, area.left + x, area.top + y);
            const COLORREF expected = inverted ? (~shown & 0xFFFFFF) : shown;
            if (GetPixel(dc, x, y) != expected && differing++ < 3)
                ADD_FAILURE() << "pixel " << x << "," << y << ": copy " << std::hex
                              << GetPixel(dc, x, y) << ", expected " << expected;
        }
    if (alsoCheck) alsoCheck(dc, width, height);
    SelectObject(dc, previous);
    DeleteDC(dc);
    CloseClipboard();
    return differing;
}

} // namespace controls_test
