#include "controls/palette.h"

#include "controls/double_buffer.h"

#include <cstdlib>
#include <new>

namespace orq::controls {
namespace {

// A bitmap's format block: the header and room for 256 colours.
constexpr size_t kInfoBlockBytes = sizeof(BITMAPINFOHEADER) + 256 * sizeof(RGBQUAD);
static_assert(kInfoBlockBytes == 1064);
constexpr int kIdentityEntries = 256;
constexpr WORD kPaletteVersion = 0x300;

size_t imageBytes(const BITMAPINFOHEADER& header) {
    if (header.biSizeImage != 0) return header.biSizeImage;
    const size_t stride = (static_cast<size_t>(header.biWidth) * header.biBitCount + 31) / 32 * 4;
    return stride * static_cast<size_t>(std::abs(header.biHeight));
}

} // namespace

void drawBitmap(HDC dc, int x, int y, HBITMAP bitmap, HPALETTE palette) {
    if (bitmap == nullptr || dc == nullptr) return;
    HDC memory = CreateCompatibleDC(dc);
    if (memory == nullptr) return;
    if (palette == nullptr) {
        // Without a palette the bits need no colour matching: one block transfer gives the
        // same pixels without the round trip through device-independent bits.
        BITMAP size{};
        GetObjectA(bitmap, sizeof size, &size);
        HGDIOBJ previous = SelectObject(memory, bitmap);
        BitBlt(dc, x, y, size.bmWidth, size.bmHeight, memory, 0, 0, SRCCOPY);
        SelectObject(memory, previous);
        DeleteDC(memory);
        return;
    }
    HPALETTE memoryPrevious = nullptr;
    if (palette != nullptr) {
        memoryPrevious = SelectPalette(memory, palette, FALSE);
        RealizePalette(memory);
    }
    BITMAP size{};
    GetObjectA(bitmap, sizeof size, &size);
    auto* info = static_cast<BITMAPINFO*>(std::calloc(1, kInfoBlockBytes));
    void* bits = nullptr;
    if (info != nullptr) {
        info->bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
        info->bmiHeader.biBitCount = 0;
        if (GetDIBits(memory, bitmap, 0, static_cast<UINT>(size.bmHeight), nullptr, info,
                      DIB_RGB_COLORS) != 0)
            bits = std::malloc(imageBytes(info->bmiHeader));
    }
    if (bits != nullptr && GetDIBits(memory, bitmap, 0, static_cast<UINT>(size.bmHeight), bits,
                                     info, DIB_RGB_COLORS) != 0) {
        HPALETTE targetPrevious = nullptr;
        if (palette != nullptr) {
            targetPrevious = SelectPalette(dc, palette, FALSE);
            RealizePalette(dc);
        }
        SetDIBitsToDevice(dc, x, y, static_cast<DWORD>(size.bmWidth),
                          static_cast<DWORD>(size.bmHeight), 0, 0, 0,
                          static_cast<UINT>(size.bmHeight), bits, info, DIB_RGB_COLORS);
        if (palette != nullptr) SelectPalette(dc, targetPrevious, FALSE);
    }
    std::free(bits);
    std::free(info);
    if (palette != nullptr) SelectPalette(memory, memoryPrevious, FALSE);
    DeleteDC(memory);
}

HPALETTE createIdentityPalette() {
    const size_t bytes = sizeof(LOGPALETTE) + (kIdentityEntries - 1) * sizeof(PALETTEENTRY);
    auto* block = static_cast<LOGPALETTE*>(std::calloc(1, bytes));
    if (block == nullptr) {
        MessageBoxA(nullptr, "Not enough memory for palette.", nullptr, MB_ICONHAND);
        throw std::bad_alloc();
    }
    block->palVersion = kPaletteVersion;
    block->palNumEntries = kIdentityEntries;
    for (int i = 0; i < kIdentityEntries; ++i) {
        // An explicit entry names the system palette index in its low word.
        block->palPalEntry[i].peRed = static_cast<BYTE>(i & 0xff);
        block->palPalEntry[i].peGreen = static_cast<BYTE>(i >> 8);
        block->palPalEntry[i].peBlue = 0;
        block->palPalEntry[i].peFlags = PC_EXPLICIT;
    }
    HPALETTE palette = CreatePalette(block);
    std::free(block);
    return palette;
}

bool realizeIdentityPalette(HWND window, bool foreground, HPALETTE palette) {
    HDC dc = GetDC(window);
    if (dc == nullptr) return false;
    bool changed = false;
    if (palette == nullptr) {
        HPALETTE identity = createIdentityPalette();
        HPALETTE previous = SelectPalette(dc, identity, foreground ? FALSE : TRUE);
        changed = RealizePalette(dc) > 0;
        if (changed) InvalidateRect(window, nullptr, TRUE);
        SelectPalette(dc, previous, TRUE);
        DeleteObject(identity);
    } else {
        HPALETTE previous = SelectPalette(dc, palette, foreground ? FALSE : TRUE);
        changed = RealizePalette(dc) > 0;
        if (changed) InvalidateRect(window, nullptr, FALSE);
        SelectPalette(dc, previous, TRUE);
    }
    ReleaseDC(window, dc);
    return changed;
}

DoubleBuffer::DoubleBuffer(HDC target, int width, int height)
    : target_(target), memory_(CreateCompatibleDC(target)),
      bitmap_(CreateCompatibleBitmap(target, width, height)), previous_(nullptr), width_(width),
      height_(height) {
    if (memory_ != nullptr && bitmap_ != nullptr) previous_ = SelectObject(memory_, bitmap_);
}

DoubleBuffer::~DoubleBuffer() {
    if (memory_ != nullptr) {
        if (previous_ != nullptr) SelectObject(memory_, previous_);
        DeleteDC(memory_);
    }
    if (bitmap_ != nullptr) DeleteObject(bitmap_);
}

void DoubleBuffer::present(int x, int y) const {
    if (memory_ == nullptr || bitmap_ == nullptr) return;
    BitBlt(target_, x, y, width_, height_, memory_, 0, 0, SRCCOPY);
}

} // namespace orq::controls
