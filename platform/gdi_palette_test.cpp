// The palette display: 8 bits per pixel, 20 static colours, palettes realised into the system
// palette, window surfaces holding system palette indices.
#include "platform/gdi_test_support.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

using gdi_test::Canvas;
using gdi_test::Dib;
using gdi_test::makeDib;
using gdi_test::makePalette;
using gdi_test::TestWindow;

namespace {

class PaletteDisplay : public ::testing::Test {
  protected:
    void SetUp() override { ASSERT_TRUE(PlatformSetDisplayBits(8)); }
    void TearDown() override { PlatformSetDisplayBits(32); }
};

std::vector<COLORREF> customColours(int count) {
    std::vector<COLORREF> colours;
    for (int i = 0; i < count; ++i)
        colours.push_back(RGB(static_cast<BYTE>(40 + i * 3), static_cast<BYTE>(13 + i * 5),
                              static_cast<BYTE>(201 - i * 2)));
    return colours;
}

HPALETTE identityPalette() {
    std::vector<uint8_t> block(sizeof(LOGPALETTE) + 256 * sizeof(PALETTEENTRY));
    auto* log = reinterpret_cast<LOGPALETTE*>(block.data());
    log->palVersion = 0x300;
    log->palNumEntries = 256;
    for (int i = 0; i < 256; ++i)
        log->palPalEntry[i] = {static_cast<BYTE>(i), 0, 0, PC_EXPLICIT};
    return CreatePalette(log);
}

TEST(GdiDisplay, only_a_palette_display_reports_a_palette) {
    HDC screen = GetDC(nullptr);
    EXPECT_EQ(GetDeviceCaps(screen, BITSPIXEL), 32);
    EXPECT_EQ(GetDeviceCaps(screen, RASTERCAPS) & RC_PALETTE, 0);
    const int needed = RC_BITBLT | RC_STRETCHBLT | RC_DI_BITMAP | RC_DIBTODEV | RC_STRETCHDIB;
    EXPECT_EQ(GetDeviceCaps(screen, RASTERCAPS) & needed, needed);
    EXPECT_EQ(GetDeviceCaps(screen, SIZEPALETTE), 0);
    EXPECT_EQ(GetDeviceCaps(screen, NUMCOLORS), -1);
    EXPECT_EQ(GetDeviceCaps(screen, LOGPIXELSY), 96);
    EXPECT_GT(GetDeviceCaps(screen, HORZRES), 0);
    EXPECT_EQ(GetSystemPaletteEntries(screen, 0, 256, nullptr), 0u);
    ASSERT_TRUE(PlatformSetDisplayBits(8));
    EXPECT_EQ(GetDeviceCaps(screen, BITSPIXEL), 8);
    EXPECT_EQ(GetDeviceCaps(screen, RASTERCAPS) & RC_PALETTE, RC_PALETTE);
    EXPECT_EQ(GetDeviceCaps(screen, SIZEPALETTE), 256);
    EXPECT_EQ(GetDeviceCaps(screen, NUMRESERVED), 20);
    EXPECT_EQ(GetDeviceCaps(screen, NUMCOLORS), 20);
    EXPECT_EQ(GetDeviceCaps(screen, PLANES), 1);
    EXPECT_FALSE(PlatformSetDisplayBits(16));
    ASSERT_TRUE(PlatformSetDisplayBits(32));
    ReleaseDC(nullptr, screen);
}

TEST_F(PaletteDisplay,
       the_identity_palette_realises_without_changes_and_indexes_the_system_palette) {
    HPALETTE identity = identityPalette();
    ASSERT_NE(identity, nullptr);
    TestWindow window;
    HDC dc = GetWindowDC(window.window());
    HPALETTE previous = SelectPalette(dc, identity, TRUE);
    EXPECT_EQ(previous, reinterpret_cast<HPALETTE>(GetStockObject(DEFAULT_PALETTE)));
    EXPECT_EQ(RealizePalette(dc), 0u);
    PALETTEENTRY system[256];
    ASSERT_EQ(GetSystemPaletteEntries(dc, 0, 256, system), 256u);
    EXPECT_EQ(RGB(system[0].peRed, system[0].peGreen, system[0].peBlue), RGB(0, 0, 0));
    EXPECT_EQ(RGB(system[249].peRed, system[249].peGreen, system[249].peBlue), RGB(255, 0, 0));
    EXPECT_EQ(RGB(system[255].peRed, system[255].peGreen, system[255].peBlue), RGB(255, 255, 255));
    // Entry i of the identity palette is system entry i.
    SetPixel(dc, 3, 3, PALETTEINDEX(249));
    EXPECT_EQ(PlatformWindowPixel(window.window(), 3, 3), RGB(255, 0, 0));
    SetPixel(dc, 4, 3, PALETTEINDEX(7));
    EXPECT_EQ(PlatformWindowPixel(window.window(), 4, 3), RGB(192, 192, 192));
    SelectPalette(dc, previous, TRUE);
    ReleaseDC(window.window(), dc);
    EXPECT_TRUE(DeleteObject(identity));
}

TEST_F(PaletteDisplay, a_bitmap_drawn_with_its_realised_palette_shows_its_own_colours) {
    const std::vector<COLORREF> colours = customColours(40);
    constexpr int kWidth = 10;
    constexpr int kHeight = 8;
    auto indexAt = [](int x, int y) { return static_cast<uint32_t>((x + y * kWidth) % 40); };
    Dib dib = makeDib(kWidth, kHeight, 8, false, colours, indexAt);
    HPALETTE palette = makePalette(colours);
    HDC screen = GetDC(nullptr);
    HPALETTE oldScreen = SelectPalette(screen, palette, FALSE);
    EXPECT_EQ(RealizePalette(screen), 40u) << "40 free entries take new colours";
    EXPECT_EQ(RealizePalette(screen), 0u) << "realised again: nothing changes";
    HBITMAP bitmap = CreateDIBitmap(screen, &dib.header()->bmiHeader, CBM_INIT, dib.bits.data(),
                                    dib.header(), DIB_RGB_COLORS);
    ASSERT_NE(bitmap, nullptr);
    BITMAP info{};
    GetObjectA(bitmap, sizeof(info), &info);
    EXPECT_EQ(info.bmBitsPixel, 8);

    TestWindow window;
    HDC target = GetWindowDC(window.window());
    HPALETTE oldTarget = SelectPalette(target, palette, FALSE);
    RealizePalette(target);

    // Drawn with a block transfer of the device bitmap ...
    HDC memory = CreateCompatibleDC(target);
    SelectPalette(memory, palette, FALSE);
    HGDIOBJ oldBitmap = SelectObject(memory, bitmap);
    ASSERT_TRUE(BitBlt(target, 0, 0, kWidth, kHeight, memory, 0, 0, SRCCOPY));
    for (int y = 0; y < kHeight; ++y)
        for (int x = 0; x < kWidth; ++x)
            ASSERT_EQ(PlatformWindowPixel(window.window(), x, y), colours[indexAt(x, y)])
                << x << ", " << y;
    SelectObject(memory, oldBitmap);

    // ... and through its bits, as the editors draw: format query, bits, copy to the device.
    std::vector<uint8_t> block(1064, 0);
    auto* query = reinterpret_cast<BITMAPINFO*>(block.data());
    query->bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    ASSERT_NE(GetDIBits(memory, bitmap, 0, kHeight, nullptr, query, DIB_RGB_COLORS), 0);
    EXPECT_EQ(query->bmiHeader.biBitCount, 8);
    std::vector<uint8_t> bits(query->bmiHeader.biSizeImage);
    ASSERT_EQ(GetDIBits(memory, bitmap, 0, kHeight, bits.data(), query, DIB_RGB_COLORS), kHeight);
    ASSERT_EQ(SetDIBitsToDevice(target, 20, 0, kWidth, kHeight, 0, 0, 0, kHeight, bits.data(),
                                query, DIB_RGB_COLORS),
              kHeight);
    for (int y = 0; y < kHeight; ++y)
        for (int x = 0; x < kWidth; ++x)
            ASSERT_EQ(PlatformWindowPixel(window.window(), 20 + x, y), colours[indexAt(x, y)])
                << x << ", " << y;

    DeleteDC(memory);
    SelectPalette(target, oldTarget, FALSE);
    ReleaseDC(window.window(), target);
    SelectPalette(screen, oldScreen, FALSE);
    ReleaseDC(nullptr, screen);
    DeleteObject(bitmap);
    DeleteObject(palette);
}

TEST_F(PaletteDisplay, colours_without_a_palette_take_the_nearest_static_colour) {
    TestWindow window;
    HDC dc = GetWindowDC(window.window());
    EXPECT_EQ(SetPixel(dc, 1, 1, RGB(240, 10, 20)), RGB(255, 0, 0));
    EXPECT_EQ(PlatformWindowPixel(window.window(), 1, 1), RGB(255, 0, 0));
    EXPECT_EQ(GetNearestColor(dc, RGB(120, 120, 130)), RGB(128, 128, 128));
    Dib dib = makeDib(1, 1, 24, false, {}, [](int, int) { return RGB(10, 120, 5); });
    SetDIBitsToDevice(dc, 2, 1, 1, 1, 0, 0, 0, 1, dib.bits.data(), dib.header(), DIB_RGB_COLORS);
    EXPECT_EQ(PlatformWindowPixel(window.window(), 2, 1), RGB(0, 128, 0));
    // Inversion works on the index: the static colours sit in complementary pairs (white 255
    // and black 0, red 249 and dark cyan 6).
    SetPixel(dc, 3, 1, RGB(255, 255, 255));
    RECT cells{1, 1, 4, 2};
    InvertRect(dc, &cells);
    EXPECT_EQ(PlatformWindowPixel(window.window(), 1, 1), RGB(0, 128, 128));
    EXPECT_EQ(PlatformWindowPixel(window.window(), 3, 1), RGB(0, 0, 0));
    ReleaseDC(window.window(), dc);
}

TEST_F(PaletteDisplay, background_realisation_keeps_the_foreground_entries_and_collapses_on_them) {
    const std::vector<COLORREF> first = customColours(10);
    std::vector<COLORREF> second = {first[3], RGB(1, 2, 3)};
    HPALETTE foreground = makePalette(first);
    HPALETTE background = makePalette(second);
    HDC a = GetDC(nullptr);
    HDC b = CreateCompatibleDC(a);
    SelectPalette(a, foreground, FALSE);
    EXPECT_EQ(RealizePalette(a), 10u);
    SelectPalette(b, background, TRUE);
    EXPECT_EQ(RealizePalette(b), 1u) << "only the colour not there yet takes an entry";
    PALETTEENTRY system[256];
    GetSystemPaletteEntries(a, 0, 256, system);
    for (int i = 0; i < 10; ++i)
        EXPECT_EQ(RGB(system[10 + i].peRed, system[10 + i].peGreen, system[10 + i].peBlue),
                  first[i]);
    EXPECT_EQ(RGB(system[20].peRed, system[20].peGreen, system[20].peBlue), RGB(1, 2, 3));

    // A reserved entry never shares: it takes an entry of its own even for a colour present.
    HPALETTE reserved = makePalette({first[0]}, PC_RESERVED);
    SelectPalette(b, reserved, TRUE);
    EXPECT_EQ(RealizePalette(b), 1u);
    DeleteDC(b);
    SelectPalette(a, reinterpret_cast<HPALETTE>(GetStockObject(DEFAULT_PALETTE)), FALSE);
    ReleaseDC(nullptr, a);
    DeleteObject(foreground);
    DeleteObject(background);
    DeleteObject(reserved);
}

TEST(GdiPalette, entries_can_be_read_written_and_searched) {
    HPALETTE palette = makePalette({RGB(0, 0, 0), RGB(200, 0, 0), RGB(0, 0, 200)});
    ASSERT_NE(palette, nullptr);
    EXPECT_EQ(GetPaletteEntries(palette, 0, 0, nullptr), 3u);
    WORD count = 0;
    EXPECT_EQ(GetObjectA(palette, sizeof(count), &count), static_cast<int>(sizeof(count)));
    EXPECT_EQ(count, 3);
    EXPECT_EQ(GetNearestPaletteIndex(palette, RGB(180, 20, 10)), 1u);
    const PALETTEENTRY green{0, 220, 0, 0};
    EXPECT_EQ(SetPaletteEntries(palette, 2, 5, &green), 1u);
    PALETTEENTRY read[3];
    EXPECT_EQ(GetPaletteEntries(palette, 1, 5, read), 2u);
    EXPECT_EQ(read[1].peGreen, 220);
    EXPECT_EQ(GetPaletteEntries(palette, 3, 1, read), 0u);
    EXPECT_EQ(GetNearestPaletteIndex(nullptr, 0), CLR_INVALID);
    EXPECT_TRUE(UnrealizeObject(palette));

    // PALETTERGB and PALETTEINDEX on a true-colour surface take the palette's colours.
    Canvas canvas(2, 1);
    SelectPalette(canvas.dc(), palette, FALSE);
    EXPECT_EQ(SetPixel(canvas.dc(), 0, 0, PALETTEINDEX(2)), RGB(0, 220, 0));
    EXPECT_EQ(SetPixel(canvas.dc(), 1, 0, PALETTERGB(190, 10, 0)), RGB(200, 0, 0));
    SelectPalette(canvas.dc(), reinterpret_cast<HPALETTE>(GetStockObject(DEFAULT_PALETTE)), FALSE);
    EXPECT_TRUE(DeleteObject(palette));

    LOGPALETTE wrongVersion{0x200, 1, {{0, 0, 0, 0}}};
    EXPECT_EQ(CreatePalette(&wrongVersion), nullptr);
    LOGPALETTE empty{0x300, 0, {{0, 0, 0, 0}}};
    EXPECT_EQ(CreatePalette(&empty), nullptr);
    EXPECT_EQ(CreatePalette(nullptr), nullptr);
}

TEST(GdiPalette, palette_index_colour_tables_take_the_selected_palettes_colours) {
    HPALETTE palette = makePalette({RGB(11, 22, 33), RGB(44, 55, 66), RGB(77, 88, 99)});
    Canvas canvas(3, 1);
    HPALETTE old = SelectPalette(canvas.dc(), palette, FALSE);
    // An 8-bit DIB whose colour table holds palette indices 2, 0, 1.
    Dib dib = makeDib(3, 1, 8, false, {}, [](int x, int) { return static_cast<uint32_t>(x); });
    dib.header()->bmiHeader.biClrUsed = 3;
    const WORD indices[] = {2, 0, 1};
    std::memcpy(dib.info.data() + sizeof(BITMAPINFOHEADER), indices, sizeof(indices));
    ASSERT_EQ(SetDIBitsToDevice(canvas.dc(), 0, 0, 3, 1, 0, 0, 0, 1, dib.bits.data(), dib.header(),
                                DIB_PAL_COLORS),
              1);
    EXPECT_EQ(GetPixel(canvas.dc(), 0, 0), RGB(77, 88, 99));
    EXPECT_EQ(GetPixel(canvas.dc(), 1, 0), RGB(11, 22, 33));
    EXPECT_EQ(GetPixel(canvas.dc(), 2, 0), RGB(44, 55, 66));
    SelectPalette(canvas.dc(), old, FALSE);
    DeleteObject(palette);
}

} // namespace
