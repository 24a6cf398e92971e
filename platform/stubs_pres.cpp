// Stand-ins until merge: minimal versions of the drawing and window-system functions the
// resource code calls, enough for its tests. The drawing and window-system families replace
// them.
#include "platform/resource_internal.h"
#include "platform/stubs_pres.h"
#include "platform/surface.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace {

struct StandInBitmap : platform::GdiObject {
    StandInBitmap() : GdiObject(platform::GdiKind::Bitmap) {}
    BITMAP info{};
    std::vector<BYTE> bits;
};

struct StandInAccelerators {
    std::vector<ACCEL> entries;
};

int screenDc = 0;

} // namespace

namespace platform {
HCURSOR systemCursor(LPCSTR) {
    return nullptr;
}
} // namespace platform

extern "C" {

HDC GetDC(HWND) {
    return reinterpret_cast<HDC>(&screenDc);
}
int ReleaseDC(HWND, HDC) {
    return 1;
}

HBITMAP CreateDIBitmap(HDC, const BITMAPINFOHEADER* header, DWORD, const void*, const BITMAPINFO*,
                       UINT) {
    if (header == nullptr) return nullptr;
    auto* bitmap = new StandInBitmap;
    bitmap->info.bmWidth = header->biWidth;
    bitmap->info.bmHeight = std::abs(header->biHeight);
    bitmap->info.bmPlanes = 1;
    bitmap->info.bmBitsPixel = 32;
    bitmap->info.bmWidthBytes = 4 * header->biWidth;
    return reinterpret_cast<HBITMAP>(static_cast<platform::GdiObject*>(bitmap));
}

HBITMAP CreateDIBSection(HDC, const BITMAPINFO* info, UINT, void** bits, HANDLE, DWORD) {
    if (info == nullptr || bits == nullptr) return nullptr;
    auto* bitmap = new StandInBitmap;
    const BITMAPINFOHEADER& header = info->bmiHeader;
    bitmap->info.bmWidth = header.biWidth;
    bitmap->info.bmHeight = std::abs(header.biHeight);
    bitmap->info.bmPlanes = 1;
    bitmap->info.bmBitsPixel = header.biBitCount;
    bitmap->info.bmWidthBytes = ((header.biWidth * header.biBitCount + 31) / 32) * 4;
    bitmap->bits.resize(static_cast<size_t>(bitmap->info.bmWidthBytes) * bitmap->info.bmHeight);
    bitmap->info.bmBits = bitmap->bits.data();
    *bits = bitmap->bits.data();
    return reinterpret_cast<HBITMAP>(static_cast<platform::GdiObject*>(bitmap));
}

int GetObjectA(HANDLE object, int size, LPVOID buffer) {
    auto* bitmap = static_cast<StandInBitmap*>(static_cast<platform::GdiObject*>(object));
    if (bitmap == nullptr || buffer == nullptr || size < static_cast<int>(sizeof(BITMAP))) return 0;
    std::memcpy(buffer, &bitmap->info, sizeof(BITMAP));
    return sizeof(BITMAP);
}

BOOL DeleteObject(HGDIOBJ object) {
    delete static_cast<StandInBitmap*>(reinterpret_cast<platform::GdiObject*>(object));
    return object != nullptr;
}

HACCEL CreateAcceleratorTableA(ACCEL* entries, int count) {
    if (entries == nullptr || count <= 0) return nullptr;
    auto* table = new StandInAccelerators;
    table->entries.assign(entries, entries + count);
    return reinterpret_cast<HACCEL>(table);
}

int CopyAcceleratorTableA(HACCEL handle, ACCEL* entries, int count) {
    auto* table = reinterpret_cast<StandInAccelerators*>(handle);
    if (table == nullptr) return 0;
    if (entries == nullptr) return static_cast<int>(table->entries.size());
    int copied = std::min(count, static_cast<int>(table->entries.size()));
    std::memcpy(entries, table->entries.data(), sizeof(ACCEL) * copied);
    return copied;
}

BOOL DestroyAcceleratorTable(HACCEL handle) {
    delete reinterpret_cast<StandInAccelerators*>(handle);
    return handle != nullptr;
}

} // extern "C"
