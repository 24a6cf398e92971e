// Stand-ins until merge: the declarations of the drawing and window-system interfaces the
// resource code calls (wingdi.h and winuser.h hold them once merged). Deleted with
// stubs_pres.cpp.
#pragma once

#include <windows.h>

struct RGBQUAD {
    BYTE rgbBlue;
    BYTE rgbGreen;
    BYTE rgbRed;
    BYTE rgbReserved;
};
struct BITMAPINFOHEADER {
    DWORD biSize;
    LONG biWidth;
    LONG biHeight;
    WORD biPlanes;
    WORD biBitCount;
    DWORD biCompression;
    DWORD biSizeImage;
    LONG biXPelsPerMeter;
    LONG biYPelsPerMeter;
    DWORD biClrUsed;
    DWORD biClrImportant;
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
constexpr DWORD BI_RGB = 0;
constexpr DWORD CBM_INIT = 4;
constexpr UINT DIB_RGB_COLORS = 0;
struct ACCEL {
    BYTE fVirt;
    WORD key;
    WORD cmd;
};
constexpr BYTE FVIRTKEY = 0x01;
constexpr BYTE FNOINVERT = 0x02;
constexpr BYTE FSHIFT = 0x04;
constexpr BYTE FCONTROL = 0x08;
constexpr BYTE FALT = 0x10;

extern "C" {
WINAPI_EXPORT HDC GetDC(HWND window);
WINAPI_EXPORT int ReleaseDC(HWND window, HDC dc);
WINAPI_EXPORT HBITMAP CreateDIBitmap(HDC dc, const BITMAPINFOHEADER* header, DWORD init,
                                     const void* bits, const BITMAPINFO* info, UINT usage);
WINAPI_EXPORT HBITMAP CreateDIBSection(HDC dc, const BITMAPINFO* info, UINT usage, void** bits,
                                       HANDLE section, DWORD offset);
WINAPI_EXPORT int GetObjectA(HANDLE object, int size, LPVOID buffer);
WINAPI_EXPORT BOOL DeleteObject(HGDIOBJ object);
WINAPI_EXPORT HACCEL CreateAcceleratorTableA(ACCEL* entries, int count);
WINAPI_EXPORT int CopyAcceleratorTableA(HACCEL table, ACCEL* entries, int count);
WINAPI_EXPORT BOOL DestroyAcceleratorTable(HACCEL table);
} // extern "C"
