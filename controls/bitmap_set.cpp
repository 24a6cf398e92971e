#include "controls/bitmap_set.h"

#include "controls/palette.h"

#include <vector>

namespace orq::controls {
namespace {

constexpr int kMostPaletteBits = 8;

const BITMAPINFOHEADER* findBitmap(HINSTANCE instance, int number) {
    if (number < 0 || number > 0xffff) return nullptr;
    HRSRC resource =
        FindResourceA(instance, MAKEINTRESOURCEA(static_cast<WORD>(number)), RT_BITMAP);
    if (resource == nullptr) return nullptr;
    HGLOBAL data = LoadResource(instance, resource);
    if (data == nullptr || SizeofResource(instance, resource) < sizeof(BITMAPINFOHEADER))
        return nullptr;
    return static_cast<const BITMAPINFOHEADER*>(LockResource(data));
}

// Entries of the colour table that follows the header.
DWORD colourTableEntries(const BITMAPINFOHEADER& header) {
    if (header.biBitCount <= kMostPaletteBits)
        return header.biClrUsed != 0 ? header.biClrUsed : (1u << header.biBitCount);
    if (header.biCompression == BI_BITFIELDS) return 3; // the three colour masks
    return header.biClrUsed;
}

HPALETTE paletteOf(const BITMAPINFOHEADER& header) {
    if (header.biBitCount < 1 || header.biBitCount > kMostPaletteBits) return nullptr;
    const DWORD count = colourTableEntries(header);
    const auto* table =
        reinterpret_cast<const RGBQUAD*>(reinterpret_cast<const BYTE*>(&header) + header.biSize);
    std::vector<BYTE> block(sizeof(LOGPALETTE) + count * sizeof(PALETTEENTRY));
    auto* logical = reinterpret_cast<LOGPALETTE*>(block.data());
    logical->palVersion = 0x300;
    logical->palNumEntries = static_cast<WORD>(count);
    for (DWORD i = 0; i < count; ++i)
        logical->palPalEntry[i] =
            PALETTEENTRY{table[i].rgbRed, table[i].rgbGreen, table[i].rgbBlue, 0};
    return CreatePalette(logical);
}

} // namespace

bool BitmapSet::load(HINSTANCE instance, const int* ids, int count, int idOffset) {
    destroy();
    idOffset_ = idOffset;
    if (ids == nullptr || count <= 0) return false;
    ids_.assign(ids, ids + count);
    bitmaps_.assign(static_cast<size_t>(count), nullptr);

    HDC screen = GetDC(nullptr);
    HPALETTE screenPrevious = nullptr;
    if (const BITMAPINFOHEADER* first = findBitmap(instance, ids[0])) {
        palette_ = paletteOf(*first);
        if (palette_ != nullptr) {
            screenPrevious = SelectPalette(screen, palette_, FALSE);
            RealizePalette(screen);
        }
    }
    bool all = true;
    for (int i = 0; i < count; ++i) {
        const BITMAPINFOHEADER* header = findBitmap(instance, ids[i]);
        if (header == nullptr) {
            all = false;
            continue;
        }
        const BYTE* bits = reinterpret_cast<const BYTE*>(header) + header->biSize +
                           colourTableEntries(*header) * sizeof(RGBQUAD);
        bitmaps_[static_cast<size_t>(i)] =
            CreateDIBitmap(screen, header, CBM_INIT, bits,
                           reinterpret_cast<const BITMAPINFO*>(header), DIB_RGB_COLORS);
        if (bitmaps_[static_cast<size_t>(i)] == nullptr) all = false;
    }
    if (palette_ != nullptr) SelectPalette(screen, screenPrevious, FALSE);
    ReleaseDC(nullptr, screen);
    return all;
}

HBITMAP BitmapSet::bitmap(int number) const {
    if (bitmaps_.empty()) return nullptr;
    for (size_t i = 0; i < ids_.size(); ++i)
        if (ids_[i] == number + idOffset_) return bitmaps_[i];
    return bitmaps_[0];
}

SIZE BitmapSet::size(int number) const {
    BITMAP info{};
    HBITMAP handle = bitmap(number);
    if (handle == nullptr || GetObjectA(handle, sizeof info, &info) == 0) return SIZE{0, 0};
    return SIZE{info.bmWidth, info.bmHeight};
}

void BitmapSet::draw(HDC dc, int x, int y, int number) const {
    drawBitmap(dc, x, y, bitmap(number), palette_);
}

void BitmapSet::destroy() {
    for (HBITMAP handle : bitmaps_)
        if (handle != nullptr) DeleteObject(handle);
    bitmaps_.clear();
    ids_.clear();
    if (palette_ != nullptr) DeleteObject(palette_);
    palette_ = nullptr;
}

} // namespace orq::controls
