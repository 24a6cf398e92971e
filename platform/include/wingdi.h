// Part of the platform's Windows interfaces; included by windows.h, not on its own.
//
// Drawing: device contexts on windows and on memory bitmaps, device-dependent and
// device-independent bitmaps, block transfers with raster operations, palettes and the
// palette display, pens, brushes and simple shapes. Everything draws on pixels in memory.
#pragma once

#include "windows.h"

extern "C" {

// Bitmaps.
struct BITMAPINFOHEADER {
    DWORD biSize;
    LONG biWidth;
    LONG biHeight; // positive: rows bottom-up; negative: top-down
    WORD biPlanes;
    WORD biBitCount;
    DWORD biCompression;
    DWORD biSizeImage;
    LONG biXPelsPerMeter;
    LONG biYPelsPerMeter;
    DWORD biClrUsed;
    DWORD biClrImportant;
};
struct RGBQUAD {
    BYTE rgbBlue;
    BYTE rgbGreen;
    BYTE rgbRed;
    BYTE rgbReserved;
};
struct BITMAPINFO {
    BITMAPINFOHEADER bmiHeader;
    RGBQUAD bmiColors[1];
};
struct BITMAP {
    LONG bmType;
    LONG bmWidth;
    LONG bmHeight;
    LONG bmWidthBytes;
    WORD bmPlanes;
    WORD bmBitsPixel;
    LPVOID bmBits;
};
struct DIBSECTION {
    BITMAP dsBm;
    BITMAPINFOHEADER dsBmih;
    DWORD dsBitfields[3];
    HANDLE dshSection;
    DWORD dsOffset;
};
constexpr DWORD BI_RGB = 0;
constexpr DWORD BI_BITFIELDS = 3;
constexpr UINT DIB_RGB_COLORS = 0;
constexpr UINT DIB_PAL_COLORS = 1;
constexpr DWORD CBM_INIT = 0x4;

// Palettes.
struct PALETTEENTRY {
    BYTE peRed;
    BYTE peGreen;
    BYTE peBlue;
    BYTE peFlags;
};
struct LOGPALETTE {
    WORD palVersion;
    WORD palNumEntries;
    PALETTEENTRY palPalEntry[1];
};
constexpr BYTE PC_RESERVED = 0x01;
constexpr BYTE PC_EXPLICIT = 0x02;
constexpr BYTE PC_NOCOLLAPSE = 0x04;
constexpr COLORREF PALETTEINDEX(WORD index) {
    return 0x01000000u | index;
}
constexpr COLORREF PALETTERGB(BYTE red, BYTE green, BYTE blue) {
    return 0x02000000u | RGB(red, green, blue);
}
constexpr COLORREF CLR_INVALID = 0xffffffffu;
constexpr UINT GDI_ERROR = 0xffffffffu;

// Pens and brushes.
struct LOGPEN {
    UINT lopnStyle;
    POINT lopnWidth;
    COLORREF lopnColor;
};
struct LOGBRUSH {
    UINT lbStyle;
    COLORREF lbColor;
    uintptr_t lbHatch;
};
constexpr int PS_SOLID = 0;
constexpr int PS_DASH = 1;
constexpr int PS_DOT = 2;
constexpr int PS_NULL = 5;
constexpr UINT BS_SOLID = 0;
constexpr UINT BS_NULL = 1;
constexpr UINT BS_HOLLOW = BS_NULL;
constexpr UINT BS_PATTERN = 3;

// Stock objects.
constexpr int WHITE_BRUSH = 0;
constexpr int LTGRAY_BRUSH = 1;
constexpr int GRAY_BRUSH = 2;
constexpr int DKGRAY_BRUSH = 3;
constexpr int BLACK_BRUSH = 4;
constexpr int NULL_BRUSH = 5;
constexpr int HOLLOW_BRUSH = NULL_BRUSH;
constexpr int WHITE_PEN = 6;
constexpr int BLACK_PEN = 7;
constexpr int NULL_PEN = 8;
constexpr int OEM_FIXED_FONT = 10;
constexpr int ANSI_FIXED_FONT = 11;
constexpr int ANSI_VAR_FONT = 12;
constexpr int SYSTEM_FONT = 13;
constexpr int DEVICE_DEFAULT_FONT = 14;
constexpr int DEFAULT_PALETTE = 15;
constexpr int SYSTEM_FIXED_FONT = 16;
constexpr int DEFAULT_GUI_FONT = 17;

// GetCurrentObject kinds (also GetObjectType's results).
constexpr UINT OBJ_PEN = 1;
constexpr UINT OBJ_BRUSH = 2;
constexpr UINT OBJ_DC = 3;
constexpr UINT OBJ_PAL = 5;
constexpr UINT OBJ_FONT = 6;
constexpr UINT OBJ_BITMAP = 7;
constexpr UINT OBJ_MEMDC = 10;

// Raster operations of the block transfers (source, destination and pattern).
constexpr DWORD SRCCOPY = 0x00cc0020;
constexpr DWORD SRCPAINT = 0x00ee0086;
constexpr DWORD SRCAND = 0x008800c6;
constexpr DWORD SRCINVERT = 0x00660046;
constexpr DWORD SRCERASE = 0x00440328;
constexpr DWORD NOTSRCCOPY = 0x00330008;
constexpr DWORD NOTSRCERASE = 0x001100a6;
constexpr DWORD MERGECOPY = 0x00c000ca;
constexpr DWORD MERGEPAINT = 0x00bb0226;
constexpr DWORD PATCOPY = 0x00f00021;
constexpr DWORD PATPAINT = 0x00fb0a09;
constexpr DWORD PATINVERT = 0x005a0049;
constexpr DWORD DSTINVERT = 0x00550009;
constexpr DWORD BLACKNESS = 0x00000042;
constexpr DWORD WHITENESS = 0x00ff0062;
// Stretching modes (every mode stretches by the nearest pixel here).
constexpr int BLACKONWHITE = 1;
constexpr int WHITEONBLACK = 2;
constexpr int COLORONCOLOR = 3;
constexpr int HALFTONE = 4;

// Background modes.
constexpr int TRANSPARENT = 1;
constexpr int OPAQUE = 2;

// Clipping results.
constexpr int ERROR = 0;
constexpr int NULLREGION = 1;
constexpr int SIMPLEREGION = 2;
constexpr int COMPLEXREGION = 3;
using HRGN = struct HRGN__*;

// Device capabilities.
constexpr int TECHNOLOGY = 2;
constexpr int HORZSIZE = 4;
constexpr int VERTSIZE = 6;
constexpr int HORZRES = 8;
constexpr int VERTRES = 10;
constexpr int BITSPIXEL = 12;
constexpr int PLANES = 14;
constexpr int NUMCOLORS = 24;
constexpr int RASTERCAPS = 38;
constexpr int LOGPIXELSX = 88;
constexpr int LOGPIXELSY = 90;
constexpr int SIZEPALETTE = 104;
constexpr int NUMRESERVED = 106;
constexpr int COLORRES = 108;
constexpr int DT_RASDISPLAY = 1;
constexpr int RC_BITBLT = 0x0001;
constexpr int RC_BITMAP64 = 0x0008;
constexpr int RC_DI_BITMAP = 0x0080;
constexpr int RC_PALETTE = 0x0100;
constexpr int RC_DIBTODEV = 0x0200;
constexpr int RC_STRETCHBLT = 0x0800;
constexpr int RC_STRETCHDIB = 0x2000;

// Palette messages: a realisation that changed the system palette sends WM_PALETTECHANGED
// (first parameter: the window whose context realised) to every top-level window.
constexpr UINT WM_QUERYNEWPALETTE = 0x030f;
constexpr UINT WM_PALETTEISCHANGING = 0x0310;
constexpr UINT WM_PALETTECHANGED = 0x0311;

// Device contexts. GetDC(null) is the screen's.
WINAPI_EXPORT HDC GetDC(HWND window);
WINAPI_EXPORT HDC GetWindowDC(HWND window);
WINAPI_EXPORT int ReleaseDC(HWND window, HDC dc);
WINAPI_EXPORT HDC CreateCompatibleDC(HDC dc);
WINAPI_EXPORT BOOL DeleteDC(HDC dc);
WINAPI_EXPORT int SaveDC(HDC dc);
WINAPI_EXPORT BOOL RestoreDC(HDC dc, int savedDC);
WINAPI_EXPORT HGDIOBJ SelectObject(HDC dc, HGDIOBJ object);
WINAPI_EXPORT BOOL DeleteObject(HGDIOBJ object);
WINAPI_EXPORT int GetObjectA(HANDLE object, int size, LPVOID buffer);
WINAPI_EXPORT DWORD GetObjectType(HGDIOBJ object);
WINAPI_EXPORT HGDIOBJ GetStockObject(int index);
WINAPI_EXPORT HGDIOBJ GetCurrentObject(HDC dc, UINT type);
WINAPI_EXPORT BOOL SetViewportOrgEx(HDC dc, int x, int y, POINT* previous);
WINAPI_EXPORT BOOL GetViewportOrgEx(HDC dc, POINT* origin);
WINAPI_EXPORT BOOL SetWindowOrgEx(HDC dc, int x, int y, POINT* previous);
WINAPI_EXPORT BOOL GetWindowOrgEx(HDC dc, POINT* origin);
WINAPI_EXPORT int GetDeviceCaps(HDC dc, int index);
WINAPI_EXPORT BOOL GdiFlush();

// Clipping: one rectangle per device context.
WINAPI_EXPORT int IntersectClipRect(HDC dc, int left, int top, int right, int bottom);
WINAPI_EXPORT int ExcludeClipRect(HDC dc, int left, int top, int right, int bottom);
WINAPI_EXPORT int SelectClipRgn(HDC dc, HRGN region); // only null (no clip of its own)
WINAPI_EXPORT int GetClipBox(HDC dc, RECT* box);

// Bitmaps and block transfers.
WINAPI_EXPORT HBITMAP CreateCompatibleBitmap(HDC dc, int width, int height);
WINAPI_EXPORT HBITMAP CreateBitmap(int width, int height, UINT planes, UINT bitsPerPixel,
                                   const void* bits);
WINAPI_EXPORT HBITMAP CreateDIBitmap(HDC dc, const BITMAPINFOHEADER* header, DWORD init,
                                     const void* bits, const BITMAPINFO* info, UINT usage);
WINAPI_EXPORT HBITMAP CreateDIBSection(HDC dc, const BITMAPINFO* info, UINT usage, void** bits,
                                       HANDLE section, DWORD offset);
WINAPI_EXPORT int GetDIBits(HDC dc, HBITMAP bitmap, UINT startScan, UINT scanLines, LPVOID bits,
                            BITMAPINFO* info, UINT usage);
WINAPI_EXPORT int SetDIBitsToDevice(HDC dc, int xDest, int yDest, DWORD width, DWORD height,
                                    int xSrc, int ySrc, UINT startScan, UINT scanLines,
                                    const void* bits, const BITMAPINFO* info, UINT usage);
WINAPI_EXPORT int StretchDIBits(HDC dc, int xDest, int yDest, int destWidth, int destHeight,
                                int xSrc, int ySrc, int srcWidth, int srcHeight, const void* bits,
                                const BITMAPINFO* info, UINT usage, DWORD rop);
WINAPI_EXPORT BOOL BitBlt(HDC dest, int x, int y, int width, int height, HDC source, int xSrc,
                          int ySrc, DWORD rop);
WINAPI_EXPORT BOOL StretchBlt(HDC dest, int xDest, int yDest, int destWidth, int destHeight,
                              HDC source, int xSrc, int ySrc, int srcWidth, int srcHeight,
                              DWORD rop);
WINAPI_EXPORT BOOL PatBlt(HDC dc, int x, int y, int width, int height, DWORD rop);
WINAPI_EXPORT int SetStretchBltMode(HDC dc, int mode);
WINAPI_EXPORT int GetStretchBltMode(HDC dc);

// Palettes.
WINAPI_EXPORT HPALETTE CreatePalette(const LOGPALETTE* palette);
WINAPI_EXPORT HPALETTE SelectPalette(HDC dc, HPALETTE palette, BOOL forceBackground);
WINAPI_EXPORT UINT RealizePalette(HDC dc);
WINAPI_EXPORT UINT GetPaletteEntries(HPALETTE palette, UINT start, UINT count,
                                     PALETTEENTRY* entries);
WINAPI_EXPORT UINT SetPaletteEntries(HPALETTE palette, UINT start, UINT count,
                                     const PALETTEENTRY* entries);
WINAPI_EXPORT UINT GetSystemPaletteEntries(HDC dc, UINT start, UINT count, PALETTEENTRY* entries);
WINAPI_EXPORT UINT GetNearestPaletteIndex(HPALETTE palette, COLORREF colour);
WINAPI_EXPORT COLORREF GetNearestColor(HDC dc, COLORREF colour);
WINAPI_EXPORT BOOL UnrealizeObject(HGDIOBJ object);

// Pens, brushes, colours and shapes.
WINAPI_EXPORT HPEN CreatePen(int style, int width, COLORREF colour);
WINAPI_EXPORT HPEN CreatePenIndirect(const LOGPEN* pen);
WINAPI_EXPORT HBRUSH CreateSolidBrush(COLORREF colour);
WINAPI_EXPORT HBRUSH CreatePatternBrush(HBITMAP bitmap);
WINAPI_EXPORT HBRUSH CreateBrushIndirect(const LOGBRUSH* brush);
WINAPI_EXPORT COLORREF SetTextColor(HDC dc, COLORREF colour);
WINAPI_EXPORT COLORREF GetTextColor(HDC dc);
WINAPI_EXPORT COLORREF SetBkColor(HDC dc, COLORREF colour);
WINAPI_EXPORT COLORREF GetBkColor(HDC dc);
WINAPI_EXPORT int SetBkMode(HDC dc, int mode);
WINAPI_EXPORT int GetBkMode(HDC dc);
WINAPI_EXPORT COLORREF SetPixel(HDC dc, int x, int y, COLORREF colour);
WINAPI_EXPORT COLORREF GetPixel(HDC dc, int x, int y);
WINAPI_EXPORT BOOL MoveToEx(HDC dc, int x, int y, POINT* previous);
WINAPI_EXPORT BOOL LineTo(HDC dc, int x, int y);
WINAPI_EXPORT BOOL Polyline(HDC dc, const POINT* points, int count);
WINAPI_EXPORT BOOL Rectangle(HDC dc, int left, int top, int right, int bottom);
WINAPI_EXPORT BOOL Ellipse(HDC dc, int left, int top, int right, int bottom);
WINAPI_EXPORT int FillRect(HDC dc, const RECT* rect, HBRUSH brush);
WINAPI_EXPORT int FrameRect(HDC dc, const RECT* rect, HBRUSH brush);
WINAPI_EXPORT BOOL InvertRect(HDC dc, const RECT* rect);

// The display: 32 bits per pixel (the start) or 8, a palette display with 20 static colours.
// Switch it before creating windows and bitmaps; window surfaces of the other depth are
// converted when a device context next opens on them. Any other depth is refused (FALSE).
WINAPI_EXPORT BOOL PlatformSetDisplayBits(int bitsPerPixel);
WINAPI_EXPORT int PlatformDisplayBits();
// Pictures for tests and for `orq editor --png`: a bitmap, or a top-level window's whole
// surface, written as an RGB PNG file; FALSE (with the last error set) when the handle is not a
// bitmap or window or the file cannot be written.
WINAPI_EXPORT BOOL PlatformSaveBitmapPng(HBITMAP bitmap, const char* path);
WINAPI_EXPORT BOOL PlatformSaveWindowPng(HWND topLevel, const char* path);
// The colour a window shows at (x, y), counted from its top-left corner (non-client area
// included); CLR_INVALID outside the window's visible part or for no window.
WINAPI_EXPORT COLORREF PlatformWindowPixel(HWND window, int x, int y);

} // extern "C"

// HGDIOBJ is its own handle type here while the object handles (HBITMAP, HPEN, HBRUSH, ...)
// are distinct: these take any of them, as the system's untyped HGDIOBJ does.
inline HGDIOBJ SelectObject(HDC dc, void* object) {
    return SelectObject(dc, static_cast<HGDIOBJ>(object));
}
inline BOOL DeleteObject(void* object) {
    return DeleteObject(static_cast<HGDIOBJ>(object));
}
inline BOOL UnrealizeObject(void* object) {
    return UnrealizeObject(static_cast<HGDIOBJ>(object));
}
inline DWORD GetObjectType(void* object) {
    return GetObjectType(static_cast<HGDIOBJ>(object));
}
