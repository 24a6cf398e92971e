// For tests that compare what a window shows with a bitmap of the test program's own resources.
#pragma once

#include <windows.h>

#include <cstdint>
#include <vector>

namespace controls_test {

// A bitmap resource of the test program, read back through the platform as a window would paint
// it: COLORREFs row by row from the top. Empty, with the sizes left alone, when there is none.
inline std::vector<COLORREF> resourceBitmapPixels(int number, int* width, int* height) {
    static const char anchor = 0;
    std::vector<COLORREF> pixels;
    HBITMAP bitmap =
        LoadBitmapA(PlatformModuleFromAddress(&anchor), MAKEINTRESOURCEA(WORD(number)));
    if (bitmap == nullptr) return pixels;
    BITMAP size{};
    GetObjectA(bitmap, sizeof size, &size);
    BITMAPINFO format{};
    format.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    format.bmiHeader.biWidth = size.bmWidth;
    format.bmiHeader.biHeight = -size.bmHeight;
    format.bmiHeader.biPlanes = 1;
    format.bmiHeader.biBitCount = 32;
    format.bmiHeader.biCompression = BI_RGB;
    std::vector<uint32_t> bits(size_t(size.bmWidth) * size_t(size.bmHeight));
    HDC dc = CreateCompatibleDC(nullptr);
    const int rows = GetDIBits(dc, bitmap, 0, UINT(size.bmHeight), bits.data(), &format,
                               DIB_RGB_COLORS);
    DeleteDC(dc);
    DeleteObject(bitmap);
    if (rows != size.bmHeight) return pixels;
    for (uint32_t b : bits) // blue, green, red from the lowest byte up
        pixels.push_back(RGB((b >> 16) & 0xFF, (b >> 8) & 0xFF, b & 0xFF));
    *width = size.bmWidth;
    *height = size.bmHeight;
    return pixels;
}

} // namespace controls_test
