#include "platform/gdi_test_support.h"
#include "platform/surface.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <atomic>
#include <climits>
#include <cstdio>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include <unistd.h>

using gdi_test::Canvas;
using gdi_test::Dib;
using gdi_test::makeDib;
using gdi_test::makePalette;
using gdi_test::TestWindow;

namespace {

COLORREF sourceColourAt(int x, int y) {
    return RGB(static_cast<BYTE>(x * 37 + y * 5), static_cast<BYTE>(y * 29 + 3),
               static_cast<BYTE>((x ^ y) * 17));
}
COLORREF destColourAt(int x, int y) {
    return RGB(static_cast<BYTE>(200 - x * 11), static_cast<BYTE>(x * y * 7),
               static_cast<BYTE>(y * 41 + 9));
}

// Every pixel of `canvas` compared with `expected`; the first difference is reported.
void expectPixels(const Canvas& canvas, const std::function<COLORREF(int, int)>& expected,
                  const std::string& what) {
    for (int y = 0; y < canvas.height(); ++y)
        for (int x = 0; x < canvas.width(); ++x) {
            const COLORREF want = expected(x, y);
            const COLORREF got = GetPixel(canvas.dc(), x, y);
            if (got != want) {
                ADD_FAILURE() << what << ": pixel (" << x << ", " << y << ") is 0x" << std::hex
                              << got << ", expected 0x" << want;
                return;
            }
        }
}

COLORREF fromPacked(uint32_t packed) {
    return RGB(static_cast<BYTE>(packed >> 16), static_cast<BYTE>(packed >> 8),
               static_cast<BYTE>(packed));
}
uint32_t packed(COLORREF colour) {
    return (GetRValue(colour) << 16) | (GetGValue(colour) << 8) | GetBValue(colour);
}

TEST(GdiRasterOperations, each_operation_combines_source_destination_and_pattern_per_pixel) {
    constexpr int kSize = 9;
    const COLORREF brushColour = RGB(0x5a, 0xc3, 0x0f);
    struct Case {
        const char* name;
        DWORD rop;
        uint32_t (*expected)(uint32_t p, uint32_t s, uint32_t d);
    };
    constexpr uint32_t kAll = 0xffffff;
    const Case cases[] = {
        {"SRCCOPY", SRCCOPY, [](uint32_t, uint32_t s, uint32_t) { return s; }},
        {"SRCAND", SRCAND, [](uint32_t, uint32_t s, uint32_t d) { return s & d; }},
        {"SRCPAINT", SRCPAINT, [](uint32_t, uint32_t s, uint32_t d) { return s | d; }},
        {"SRCINVERT", SRCINVERT, [](uint32_t, uint32_t s, uint32_t d) { return s ^ d; }},
        {"NOTSRCCOPY", NOTSRCCOPY, [](uint32_t, uint32_t s, uint32_t) { return ~s & kAll; }},
        {"SRCERASE", SRCERASE, [](uint32_t, uint32_t s, uint32_t d) { return s & ~d & kAll; }},
        {"NOTSRCERASE", NOTSRCERASE,
         [](uint32_t, uint32_t s, uint32_t d) { return ~(s | d) & kAll; }},
        {"MERGEPAINT", MERGEPAINT,
         [](uint32_t, uint32_t s, uint32_t d) { return (~s | d) & kAll; }},
        {"MERGECOPY", MERGECOPY, [](uint32_t p, uint32_t s, uint32_t) { return p & s; }},
        {"PATCOPY", PATCOPY, [](uint32_t p, uint32_t, uint32_t) { return p; }},
        {"PATINVERT", PATINVERT, [](uint32_t p, uint32_t, uint32_t d) { return p ^ d; }},
        {"PATPAINT", PATPAINT,
         [](uint32_t p, uint32_t s, uint32_t d) { return (p | ~s | d) & kAll; }},
        {"DSTINVERT", DSTINVERT, [](uint32_t, uint32_t, uint32_t d) { return ~d & kAll; }},
        {"BLACKNESS", BLACKNESS, [](uint32_t, uint32_t, uint32_t) { return 0u; }},
        {"WHITENESS", WHITENESS, [](uint32_t, uint32_t, uint32_t) { return kAll; }},
    };
    Canvas source(kSize, kSize);
    source.paint(sourceColourAt);
    for (const Case& c : cases) {
        Canvas dest(kSize, kSize);
        dest.paint(destColourAt);
        HBRUSH brush = CreateSolidBrush(brushColour);
        HGDIOBJ oldBrush = SelectObject(dest.dc(), brush);
        ASSERT_TRUE(BitBlt(dest.dc(), 0, 0, kSize, kSize, source.dc(), 0, 0, c.rop)) << c.name;
        SelectObject(dest.dc(), oldBrush);
        DeleteObject(brush);
        expectPixels(
            dest,
            [&](int x, int y) {
                return fromPacked(c.expected(packed(brushColour), packed(sourceColourAt(x, y)),
                                             packed(destColourAt(x, y))));
            },
            c.name);
    }
}

TEST(GdiRasterOperations, partial_blit_lands_at_its_offset_and_leaves_the_rest) {
    Canvas source(10, 10);
    source.paint(sourceColourAt);
    Canvas dest(12, 12);
    dest.fill(RGB(1, 2, 3));
    ASSERT_TRUE(BitBlt(dest.dc(), 4, 5, 3, 2, source.dc(), 6, 1, SRCCOPY));
    expectPixels(
        dest,
        [](int x, int y) {
            const bool inside = x >= 4 && x < 7 && y >= 5 && y < 7;
            return inside ? sourceColourAt(x - 4 + 6, y - 5 + 1) : RGB(1, 2, 3);
        },
        "offset blit");
}

TEST(GdiRasterOperations, overlapping_move_within_one_bitmap_copies_the_original_pixels) {
    Canvas canvas(8, 4);
    canvas.paint(sourceColourAt);
    ASSERT_TRUE(BitBlt(canvas.dc(), 1, 0, 7, 4, canvas.dc(), 0, 0, SRCCOPY));
    expectPixels(
        canvas,
        [](int x, int y) { return x == 0 ? sourceColourAt(0, y) : sourceColourAt(x - 1, y); },
        "scroll right by one");
}

TEST(GdiRasterOperations, monochrome_blits_use_the_text_and_background_colours) {
    // 1-bit bitmap rows padded to 16 bits: row 0 = 1010..., row 1 = 0101...
    const uint8_t bits[] = {0xa0, 0x00, 0x50, 0x00};
    HBITMAP mono = CreateBitmap(4, 2, 1, 1, bits);
    ASSERT_NE(mono, nullptr);
    HDC monoDc = CreateCompatibleDC(nullptr);
    HGDIOBJ old = SelectObject(monoDc, mono);
    Canvas dest(4, 2);
    SetTextColor(dest.dc(), RGB(10, 20, 30)); // for 0 bits
    SetBkColor(dest.dc(), RGB(200, 100, 50)); // for 1 bits
    ASSERT_TRUE(BitBlt(dest.dc(), 0, 0, 4, 2, monoDc, 0, 0, SRCCOPY));
    expectPixels(
        dest, [](int x, int y) { return (x + y) % 2 == 0 ? RGB(200, 100, 50) : RGB(10, 20, 30); },
        "monochrome to colour");

    // Colour to monochrome: the source's background colour becomes 1 (white), all else 0.
    Canvas colour(4, 2);
    colour.paint([](int x, int) { return x == 2 ? RGB(9, 9, 9) : RGB(250, 250, 250); });
    SetBkColor(colour.dc(), RGB(9, 9, 9));
    ASSERT_TRUE(BitBlt(monoDc, 0, 0, 4, 2, colour.dc(), 0, 0, SRCCOPY));
    for (int x = 0; x < 4; ++x)
        EXPECT_EQ(GetPixel(monoDc, x, 1), x == 2 ? RGB(255, 255, 255) : RGB(0, 0, 0)) << x;
    SelectObject(monoDc, old);
    DeleteDC(monoDc);
    DeleteObject(mono);
}

TEST(GdiRasterOperations, a_memory_context_starts_monochrome_so_its_compatible_bitmaps_are_too) {
    HDC memory = CreateCompatibleDC(nullptr);
    HBITMAP fromMemory = CreateCompatibleBitmap(memory, 8, 8);
    BITMAP info{};
    ASSERT_EQ(GetObjectA(fromMemory, sizeof(info), &info), static_cast<int>(sizeof(info)));
    EXPECT_EQ(info.bmBitsPixel, 1);
    HDC screen = GetDC(nullptr);
    HBITMAP fromScreen = CreateCompatibleBitmap(screen, 8, 8);
    ASSERT_EQ(GetObjectA(fromScreen, sizeof(info), &info), static_cast<int>(sizeof(info)));
    EXPECT_EQ(info.bmBitsPixel, 32);
    EXPECT_EQ(info.bmWidthBytes, 32);
    ReleaseDC(nullptr, screen);
    DeleteObject(fromMemory);
    DeleteObject(fromScreen);
    DeleteDC(memory);
}

TEST(GdiStretch, nearest_pixels_scale_up_and_down_and_negative_widths_mirror) {
    Canvas source(3, 2);
    source.paint(sourceColourAt);
    Canvas up(6, 4);
    ASSERT_TRUE(StretchBlt(up.dc(), 0, 0, 6, 4, source.dc(), 0, 0, 3, 2, SRCCOPY));
    expectPixels(
        up, [](int x, int y) { return sourceColourAt(x / 2, y / 2); }, "double size");

    Canvas down(3, 2);
    ASSERT_TRUE(StretchBlt(down.dc(), 0, 0, 3, 2, up.dc(), 0, 0, 6, 4, SRCCOPY));
    expectPixels(down, sourceColourAt, "half size");

    Canvas mirrored(3, 2);
    ASSERT_TRUE(StretchBlt(mirrored.dc(), 2, 0, -3, 2, source.dc(), 0, 0, 3, 2, SRCCOPY));
    // The destination runs leftwards from x = 2 (exclusive): columns 1, 0, -1.
    expectPixels(
        mirrored, [](int x, int y) { return x == 2 ? RGB(0, 0, 0) : sourceColourAt(1 - x, y); },
        "mirrored from its start");
}

// Round trips through a device-dependent bitmap at every depth and both row orders; the colour
// tables of 4 and 8 bits come back from the palette selected while reading.
TEST(GdiDib, each_depth_round_trips_through_a_device_bitmap_in_either_row_order) {
    constexpr int kWidth = 13; // odd: every depth has row padding
    constexpr int kHeight = 5;
    std::vector<COLORREF> table8;
    for (int i = 0; i < 200; ++i)
        table8.push_back(
            RGB(static_cast<BYTE>(i), static_cast<BYTE>(255 - i), static_cast<BYTE>(i * 7)));
    const std::vector<COLORREF> table4 = {
        RGB(0, 0, 0),    RGB(255, 0, 0),  RGB(0, 255, 0),  RGB(0, 0, 255),
        RGB(9, 90, 200), RGB(250, 1, 2),  RGB(7, 7, 7),    RGB(100, 0, 50),
        RGB(1, 200, 1),  RGB(30, 40, 50), RGB(60, 70, 80), RGB(90, 99, 98),
        RGB(2, 4, 8),    RGB(16, 32, 64), RGB(128, 1, 1),  RGB(255, 255, 255)};
    const std::vector<COLORREF> table1 = {RGB(0, 0, 0), RGB(255, 255, 255)};
    struct Case {
        int bits;
        const std::vector<COLORREF>* table;
    };
    const std::vector<COLORREF> none;
    const Case cases[] = {{1, &table1}, {4, &table4}, {8, &table8},
                          {16, &none},  {24, &none},  {32, &none}};
    HDC screen = GetDC(nullptr);
    for (const Case& c : cases) {
        for (bool topDown : {false, true}) {
            const int entries = static_cast<int>(c.table->size());
            Dib dib =
                makeDib(kWidth, kHeight, c.bits, topDown, *c.table, [&](int x, int y) -> uint32_t {
                    if (c.bits <= 8) return static_cast<uint32_t>((x * 3 + y * 7) % entries);
                    return RGB(static_cast<BYTE>(x * 19 & 0xf8), static_cast<BYTE>(y * 51 & 0xf8),
                               static_cast<BYTE>((x + y) * 8 & 0xf8));
                });
            const std::string what =
                std::to_string(c.bits) + (topDown ? " bits top-down" : " bits bottom-up");
            HBITMAP bitmap = CreateDIBitmap(screen, &dib.header()->bmiHeader, CBM_INIT,
                                            dib.bits.data(), dib.header(), DIB_RGB_COLORS);
            ASSERT_NE(bitmap, nullptr) << what;
            HPALETTE palette = c.bits == 4 || c.bits == 8 ? makePalette(*c.table) : nullptr;
            HDC reader = CreateCompatibleDC(screen);
            if (palette != nullptr) SelectPalette(reader, palette, FALSE);

            Dib back = makeDib(kWidth, kHeight, c.bits, topDown, {}, [](int, int) { return 0u; });
            back.header()->bmiHeader.biClrUsed = 0;
            ASSERT_EQ(GetDIBits(reader, bitmap, 0, kHeight, back.bits.data(), back.header(),
                                DIB_RGB_COLORS),
                      kHeight)
                << what;
            EXPECT_EQ(back.bits, dib.bits) << what;
            for (int i = 0; i < entries; ++i) {
                const RGBQUAD& quad = back.header()->bmiColors[i];
                EXPECT_EQ(RGB(quad.rgbRed, quad.rgbGreen, quad.rgbBlue), (*c.table)[i])
                    << what << " colour " << i;
            }
            DeleteDC(reader);
            if (palette != nullptr) DeleteObject(palette);
            DeleteObject(bitmap);
        }
    }
    ReleaseDC(nullptr, screen);
}

TEST(GdiDib, reading_in_the_other_row_order_reverses_the_rows) {
    HDC screen = GetDC(nullptr);
    Dib dib = makeDib(3, 4, 24, false, {}, [](int x, int y) { return sourceColourAt(x, y); });
    HBITMAP bitmap = CreateDIBitmap(screen, &dib.header()->bmiHeader, CBM_INIT, dib.bits.data(),
                                    dib.header(), DIB_RGB_COLORS);
    Dib topDown = makeDib(3, 4, 24, true, {}, [](int x, int y) { return sourceColourAt(x, y); });
    Dib back = makeDib(3, 4, 24, true, {}, [](int, int) { return 0u; });
    ASSERT_EQ(GetDIBits(screen, bitmap, 0, 4, back.bits.data(), back.header(), DIB_RGB_COLORS), 4);
    EXPECT_EQ(back.bits, topDown.bits);
    // Scan lines count from the bottom of a bottom-up request: lines 1 and 2 are rows 2 and 1.
    Dib bottomUp = makeDib(3, 4, 24, false, {}, [](int, int) { return 0u; });
    ASSERT_EQ(
        GetDIBits(screen, bitmap, 1, 2, bottomUp.bits.data(), bottomUp.header(), DIB_RGB_COLORS),
        2);
    EXPECT_EQ(std::memcmp(bottomUp.bits.data(), dib.bits.data() + dib.stride, 2 * dib.stride), 0);
    DeleteObject(bitmap);
    ReleaseDC(nullptr, screen);
}

// The editors' way of drawing a bitmap: ask for its format with a zeroed block and bit count 0,
// fetch the bits in that format and copy them unscaled to the target.
TEST(GdiDib, format_query_fills_size_depth_and_image_size_then_the_bits_draw_back_unchanged) {
    constexpr int kWidth = 37;
    constexpr int kHeight = 11;
    HDC screen = GetDC(nullptr);
    Dib dib =
        makeDib(kWidth, kHeight, 24, false, {}, [](int x, int y) { return sourceColourAt(x, y); });
    HBITMAP bitmap = CreateDIBitmap(screen, &dib.header()->bmiHeader, CBM_INIT, dib.bits.data(),
                                    dib.header(), DIB_RGB_COLORS);
    HDC memory = CreateCompatibleDC(screen);
    BITMAP size{};
    ASSERT_EQ(GetObjectA(bitmap, sizeof(size), &size), static_cast<int>(sizeof(size)));
    EXPECT_EQ(size.bmWidth, kWidth);
    EXPECT_EQ(size.bmHeight, kHeight);

    std::vector<uint8_t> block(1064, 0);
    auto* info = reinterpret_cast<BITMAPINFO*>(block.data());
    info->bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    ASSERT_NE(GetDIBits(memory, bitmap, 0, kHeight, nullptr, info, DIB_RGB_COLORS), 0);
    EXPECT_EQ(info->bmiHeader.biWidth, kWidth);
    EXPECT_EQ(info->bmiHeader.biHeight, kHeight);
    EXPECT_EQ(info->bmiHeader.biBitCount, 32);
    EXPECT_EQ(info->bmiHeader.biSizeImage, static_cast<DWORD>(kWidth * 4 * kHeight));

    std::vector<uint8_t> bits(info->bmiHeader.biSizeImage);
    ASSERT_EQ(GetDIBits(memory, bitmap, 0, kHeight, bits.data(), info, DIB_RGB_COLORS), kHeight);
    Canvas target(kWidth + 4, kHeight + 4);
    target.fill(RGB(1, 1, 1));
    EXPECT_EQ(SetDIBitsToDevice(target.dc(), 2, 3, kWidth, kHeight, 0, 0, 0, kHeight, bits.data(),
                                info, DIB_RGB_COLORS),
              kHeight);
    expectPixels(
        target,
        [](int x, int y) {
            const bool inside = x >= 2 && x < 2 + kWidth && y >= 3 && y < 3 + kHeight;
            return inside ? sourceColourAt(x - 2, y - 3) : RGB(1, 1, 1);
        },
        "drawn back");

    // A monochrome bitmap reports 1 bit and rows padded to 32 bits.
    HBITMAP mono = CreateBitmap(kWidth, kHeight, 1, 1, nullptr);
    std::fill(block.begin(), block.end(), 0);
    info->bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    ASSERT_NE(GetDIBits(memory, mono, 0, kHeight, nullptr, info, DIB_RGB_COLORS), 0);
    EXPECT_EQ(info->bmiHeader.biBitCount, 1);
    EXPECT_EQ(info->bmiHeader.biSizeImage, static_cast<DWORD>(8 * kHeight));
    DeleteObject(mono);
    DeleteDC(memory);
    DeleteObject(bitmap);
    ReleaseDC(nullptr, screen);
}

TEST(GdiDib, stretch_dib_bits_and_partial_scans_draw_only_what_they_are_given) {
    Dib dib = makeDib(2, 2, 24, false, {}, [](int x, int y) { return sourceColourAt(x, y); });
    Canvas target(4, 4);
    target.fill(RGB(1, 1, 1));
    EXPECT_EQ(StretchDIBits(target.dc(), 0, 0, 4, 4, 0, 0, 2, 2, dib.bits.data(), dib.header(),
                            DIB_RGB_COLORS, SRCCOPY),
              2);
    expectPixels(
        target, [](int x, int y) { return sourceColourAt(x / 2, y / 2); }, "stretched");

    // Scan line 0 of a bottom-up DIB is its lowest row: only that row is drawn.
    target.fill(RGB(1, 1, 1));
    EXPECT_EQ(SetDIBitsToDevice(target.dc(), 0, 0, 2, 2, 0, 0, 0, 1, dib.bits.data(), dib.header(),
                                DIB_RGB_COLORS),
              1);
    expectPixels(
        target, [](int x, int y) { return y == 1 && x < 2 ? sourceColourAt(x, 1) : RGB(1, 1, 1); },
        "one scan line");
}

TEST(GdiDib, a_dib_section_shows_what_is_written_to_its_bits_and_takes_what_is_drawn) {
    Dib dib = makeDib(4, 3, 32, true, {}, [](int, int) { return 0u; });
    void* bits = nullptr;
    HBITMAP section = CreateDIBSection(nullptr, dib.header(), DIB_RGB_COLORS, &bits, nullptr, 0);
    ASSERT_NE(section, nullptr);
    ASSERT_NE(bits, nullptr);
    auto* pixels = static_cast<uint32_t*>(bits);
    pixels[1 * 4 + 2] = 0x00123456; // row 1, column 2 (top-down)
    HDC dc = CreateCompatibleDC(nullptr);
    HGDIOBJ old = SelectObject(dc, section);
    EXPECT_EQ(GetPixel(dc, 2, 1), RGB(0x12, 0x34, 0x56));
    EXPECT_EQ(GetPixel(dc, 0, 0), RGB(0, 0, 0));

    HBRUSH brush = CreateSolidBrush(RGB(0xab, 0xcd, 0xef));
    RECT cell{3, 2, 4, 3};
    FillRect(dc, &cell, brush);
    GdiFlush();
    EXPECT_EQ(pixels[2 * 4 + 3], 0x00abcdefu);
    EXPECT_EQ(pixels[1 * 4 + 2], 0x00123456u);

    DIBSECTION described{};
    ASSERT_EQ(GetObjectA(section, sizeof(described), &described),
              static_cast<int>(sizeof(DIBSECTION)));
    EXPECT_EQ(described.dsBm.bmBits, bits);
    EXPECT_EQ(described.dsBmih.biHeight, -3);
    SelectObject(dc, old);
    DeleteObject(brush);
    DeleteDC(dc);
    DeleteObject(section);
}

TEST(GdiClipping, nothing_is_written_outside_the_clip_or_the_surface) {
    Canvas canvas(20, 20);
    canvas.fill(RGB(0, 0, 0));
    EXPECT_EQ(IntersectClipRect(canvas.dc(), 5, 6, 12, 14), SIMPLEREGION);
    HBRUSH red = CreateSolidBrush(RGB(255, 0, 0));
    RECT everything{-100, -100, 100, 100};
    FillRect(canvas.dc(), &everything, red);
    RECT box{};
    EXPECT_EQ(GetClipBox(canvas.dc(), &box), SIMPLEREGION);
    EXPECT_EQ(box.left, 5);
    EXPECT_EQ(box.bottom, 14);
    EXPECT_EQ(SetPixel(canvas.dc(), 2, 2, RGB(1, 1, 1)), CLR_INVALID);
    EXPECT_EQ(GetPixel(canvas.dc(), 2, 2), CLR_INVALID);

    // Excluding a strip keeps the larger rest.
    EXPECT_NE(ExcludeClipRect(canvas.dc(), 5, 6, 12, 8), ERROR);
    ASSERT_EQ(GetClipBox(canvas.dc(), &box), SIMPLEREGION);
    EXPECT_EQ(box.top, 8);
    EXPECT_EQ(box.left, 5);

    // Without a clip of its own the context reads and writes the whole bitmap again.
    EXPECT_EQ(SelectClipRgn(canvas.dc(), nullptr), SIMPLEREGION);
    expectPixels(
        canvas,
        [](int x, int y) {
            return x >= 5 && x < 12 && y >= 6 && y < 14 ? RGB(255, 0, 0) : RGB(0, 0, 0);
        },
        "clipped fill");
    EXPECT_EQ(SetPixel(canvas.dc(), 2, 2, RGB(1, 1, 1)), RGB(1, 1, 1));
    DeleteObject(red);
}

// BeginPaint narrows a window context's clip to the update region by writing the record's clip;
// the context's own clip rectangles then apply inside that region, never beyond it.
TEST(GdiClipping, a_clip_narrowed_by_the_window_system_survives_the_contexts_own_clipping) {
    Canvas canvas(10, 10);
    canvas.fill(RGB(0, 0, 0));
    reinterpret_cast<platform::DeviceContext*>(canvas.dc())->clip = {2, 2, 6, 6};
    EXPECT_EQ(IntersectClipRect(canvas.dc(), 0, 0, 5, 10), SIMPLEREGION);
    HBRUSH white = CreateSolidBrush(RGB(255, 255, 255));
    RECT all{0, 0, 10, 10};
    FillRect(canvas.dc(), &all, white);
    RECT box{};
    GetClipBox(canvas.dc(), &box);
    EXPECT_EQ(box.left, 2);
    EXPECT_EQ(box.right, 5);
    EXPECT_EQ(SelectClipRgn(canvas.dc(), nullptr), SIMPLEREGION);
    GetClipBox(canvas.dc(), &box);
    EXPECT_EQ(box.right, 6) << "the narrowing is no clip of the context's own";
    DeleteObject(white);
}

TEST(GdiClipping, extreme_coordinates_draw_only_their_visible_part) {
    Canvas source(8, 8);
    source.paint(sourceColourAt);
    Canvas canvas(16, 16);
    canvas.fill(RGB(0, 0, 0));
    HDC dc = canvas.dc();
    EXPECT_TRUE(BitBlt(dc, INT_MIN, INT_MIN, INT_MAX, INT_MAX, source.dc(), 0, 0, SRCCOPY));
    EXPECT_TRUE(BitBlt(dc, INT_MAX - 2, 3, 100, 100, source.dc(), 0, 0, SRCCOPY));
    EXPECT_TRUE(StretchBlt(dc, -5, -5, INT_MAX, INT_MAX, source.dc(), 0, 0, 8, 8, SRCCOPY));
    EXPECT_TRUE(StretchBlt(dc, 0, 0, 16, 16, source.dc(), INT_MIN, INT_MAX, INT_MAX, 8, SRCCOPY));
    EXPECT_TRUE(PatBlt(dc, INT_MIN, INT_MIN, INT_MAX, INT_MAX, WHITENESS));
    canvas.fill(RGB(0, 0, 0));
    MoveToEx(dc, INT_MIN, 3, nullptr);
    EXPECT_TRUE(LineTo(dc, INT_MAX, 3));
    EXPECT_TRUE(Rectangle(dc, INT_MIN, INT_MIN, INT_MAX, INT_MAX));
    EXPECT_TRUE(Ellipse(dc, -1000000, -1000000, 1000000, 1000000));

    // A bitmap placed half off the left edge shows its right half.
    canvas.fill(RGB(0, 0, 0));
    EXPECT_TRUE(BitBlt(dc, -4, 0, 8, 8, source.dc(), 0, 0, SRCCOPY));
    expectPixels(
        canvas,
        [](int x, int y) { return x < 4 && y < 8 ? sourceColourAt(x + 4, y) : RGB(0, 0, 0); },
        "half off the left edge");
}

TEST(GdiClipping, origins_move_drawing_and_the_clip_stays_where_it_was_set) {
    Canvas canvas(10, 10);
    canvas.fill(RGB(0, 0, 0));
    POINT previous{};
    ASSERT_TRUE(SetViewportOrgEx(canvas.dc(), 3, 4, &previous));
    EXPECT_EQ(previous.x, 0);
    SetPixel(canvas.dc(), 0, 0, RGB(9, 9, 9));
    SetViewportOrgEx(canvas.dc(), 0, 0, nullptr);
    EXPECT_EQ(GetPixel(canvas.dc(), 3, 4), RGB(9, 9, 9));
    SetWindowOrgEx(canvas.dc(), 2, 2, nullptr);
    EXPECT_EQ(GetPixel(canvas.dc(), 5, 6), RGB(9, 9, 9));
}

TEST(GdiShapes, lines_leave_out_their_last_pixel_and_rectangles_fill_inside_the_pen) {
    Canvas canvas(12, 12);
    canvas.fill(RGB(255, 255, 255));
    HDC dc = canvas.dc();
    HPEN pen = CreatePen(PS_SOLID, 1, RGB(255, 0, 0));
    HGDIOBJ oldPen = SelectObject(dc, pen);
    MoveToEx(dc, 1, 1, nullptr);
    LineTo(dc, 6, 1);
    for (int x = 0; x < 8; ++x)
        EXPECT_EQ(GetPixel(dc, x, 1), x >= 1 && x < 6 ? RGB(255, 0, 0) : RGB(255, 255, 255)) << x;
    POINT position{};
    MoveToEx(dc, 0, 0, &position);
    EXPECT_EQ(position.x, 6);
    // A diagonal from (2, 3) to (6, 7) sets (2, 3) ... (5, 6).
    LineTo(dc, 0, 0);
    canvas.fill(RGB(255, 255, 255));
    MoveToEx(dc, 2, 3, nullptr);
    LineTo(dc, 6, 7);
    for (int i = 0; i < 5; ++i)
        EXPECT_EQ(GetPixel(dc, 2 + i, 3 + i), i < 4 ? RGB(255, 0, 0) : RGB(255, 255, 255)) << i;

    canvas.fill(RGB(255, 255, 255));
    HBRUSH blue = CreateSolidBrush(RGB(0, 0, 255));
    HGDIOBJ oldBrush = SelectObject(dc, blue);
    ASSERT_TRUE(Rectangle(dc, 2, 2, 7, 6));
    expectPixels(
        canvas,
        [](int x, int y) {
            if (x < 2 || x >= 7 || y < 2 || y >= 6) return RGB(255, 255, 255);
            if (x == 2 || x == 6 || y == 2 || y == 5) return RGB(255, 0, 0);
            return RGB(0, 0, 255);
        },
        "rectangle");
    // Without a pen the fill stops one pixel short on the right and at the bottom.
    canvas.fill(RGB(255, 255, 255));
    SelectObject(dc, GetStockObject(NULL_PEN));
    Rectangle(dc, 2, 2, 7, 6);
    expectPixels(
        canvas,
        [](int x, int y) {
            return x >= 2 && x < 6 && y >= 2 && y < 5 ? RGB(0, 0, 255) : RGB(255, 255, 255);
        },
        "rectangle without pen");
    canvas.fill(RGB(255, 255, 255));
    SelectObject(dc, pen);
    Ellipse(dc, 0, 0, 11, 11);
    EXPECT_EQ(GetPixel(dc, 5, 5), RGB(0, 0, 255));
    EXPECT_EQ(GetPixel(dc, 5, 0), RGB(255, 0, 0));
    EXPECT_EQ(GetPixel(dc, 0, 0), RGB(255, 255, 255));
    EXPECT_EQ(GetPixel(dc, 10, 10), RGB(255, 255, 255));
    SelectObject(dc, oldPen);
    SelectObject(dc, oldBrush);
    DeleteObject(pen);
    DeleteObject(blue);
}

TEST(GdiShapes, frames_inversions_polylines_and_dotted_pens) {
    Canvas canvas(8, 8);
    canvas.fill(RGB(0, 0, 0));
    HDC dc = canvas.dc();
    HBRUSH green = CreateSolidBrush(RGB(0, 255, 0));
    RECT frame{1, 1, 6, 5};
    FrameRect(dc, &frame, green);
    expectPixels(
        canvas,
        [](int x, int y) {
            const bool inside = x >= 1 && x < 6 && y >= 1 && y < 5;
            const bool edge = x == 1 || x == 5 || y == 1 || y == 4;
            return inside && edge ? RGB(0, 255, 0) : RGB(0, 0, 0);
        },
        "frame");
    RECT all{0, 0, 8, 8};
    InvertRect(dc, &all);
    EXPECT_EQ(GetPixel(dc, 0, 0), RGB(255, 255, 255));
    EXPECT_EQ(GetPixel(dc, 1, 1), RGB(255, 0, 255));

    canvas.fill(RGB(0, 0, 0));
    HPEN dotted = CreatePen(PS_DOT, 1, RGB(255, 255, 255));
    HGDIOBJ old = SelectObject(dc, dotted);
    SetBkMode(dc, TRANSPARENT);
    const POINT points[] = {{0, 0}, {6, 0}, {6, 3}};
    ASSERT_TRUE(Polyline(dc, points, 3));
    EXPECT_EQ(GetPixel(dc, 0, 0), RGB(255, 255, 255));
    EXPECT_EQ(GetPixel(dc, 1, 0), RGB(0, 0, 0));
    EXPECT_EQ(GetPixel(dc, 2, 0), RGB(255, 255, 255));
    EXPECT_EQ(GetPixel(dc, 6, 3), RGB(0, 0, 0)); // the last point is left out
    SelectObject(dc, old);
    DeleteObject(dotted);
    DeleteObject(green);
}

TEST(GdiShapes, pattern_brushes_tile_from_the_surface_origin) {
    Canvas tile(2, 2);
    tile.paint([](int x, int y) { return (x + y) % 2 == 0 ? RGB(255, 0, 0) : RGB(0, 0, 255); });
    HBRUSH brush = CreatePatternBrush(tile.bitmap());
    ASSERT_NE(brush, nullptr);
    Canvas canvas(5, 5);
    RECT all{0, 0, 5, 5};
    FillRect(canvas.dc(), &all, brush);
    expectPixels(
        canvas, [](int x, int y) { return (x + y) % 2 == 0 ? RGB(255, 0, 0) : RGB(0, 0, 255); },
        "tiled");
    LOGBRUSH log{};
    ASSERT_EQ(GetObjectA(brush, sizeof(log), &log), static_cast<int>(sizeof(log)));
    EXPECT_EQ(log.lbStyle, BS_PATTERN);
    DeleteObject(brush);
}

TEST(GdiObjects, selection_returns_the_previous_object_and_save_restore_brings_it_back) {
    HDC dc = CreateCompatibleDC(nullptr);
    HPEN pen = CreatePen(PS_SOLID, 2, RGB(1, 2, 3));
    EXPECT_EQ(SelectObject(dc, pen), GetStockObject(BLACK_PEN));
    EXPECT_EQ(GetCurrentObject(dc, OBJ_PEN), reinterpret_cast<HGDIOBJ>(pen));
    EXPECT_EQ(GetCurrentObject(dc, OBJ_BRUSH), GetStockObject(WHITE_BRUSH));
    EXPECT_EQ(GetCurrentObject(dc, OBJ_PAL), GetStockObject(DEFAULT_PALETTE));
    EXPECT_NE(GetCurrentObject(dc, OBJ_FONT), nullptr);
    EXPECT_EQ(GetCurrentObject(dc, OBJ_FONT), GetStockObject(SYSTEM_FONT));
    LOGPEN log{};
    ASSERT_EQ(GetObjectA(pen, sizeof(log), &log), static_cast<int>(sizeof(log)));
    EXPECT_EQ(log.lopnWidth.x, 2);
    EXPECT_EQ(log.lopnColor, RGB(1, 2, 3));

    EXPECT_EQ(SetTextColor(dc, RGB(5, 5, 5)), RGB(0, 0, 0));
    const int level = SaveDC(dc);
    EXPECT_EQ(level, 1);
    SelectObject(dc, GetStockObject(WHITE_PEN));
    SetTextColor(dc, RGB(7, 7, 7));
    SetBkMode(dc, TRANSPARENT);
    EXPECT_FALSE(DeleteObject(pen)) << "a saved state still holds the pen";
    ASSERT_TRUE(RestoreDC(dc, -1));
    EXPECT_EQ(GetCurrentObject(dc, OBJ_PEN), reinterpret_cast<HGDIOBJ>(pen));
    EXPECT_EQ(GetTextColor(dc), RGB(5, 5, 5));
    EXPECT_EQ(GetBkMode(dc), OPAQUE);
    EXPECT_FALSE(RestoreDC(dc, -1)) << "nothing saved any more";
    SelectObject(dc, GetStockObject(BLACK_PEN));
    EXPECT_TRUE(DeleteObject(pen));
    DeleteDC(dc);
}

TEST(GdiObjects, invalid_handles_and_misuse_give_the_systems_failure_values) {
    const auto bogusDc = reinterpret_cast<HDC>(static_cast<uintptr_t>(0x1234));
    const auto bogusObject = reinterpret_cast<HGDIOBJ>(static_cast<uintptr_t>(0x5678));
    EXPECT_EQ(SelectObject(nullptr, GetStockObject(BLACK_PEN)), nullptr);
    EXPECT_EQ(SelectObject(bogusDc, GetStockObject(BLACK_PEN)), nullptr);
    SetLastError(0);
    EXPECT_FALSE(DeleteObject(bogusObject));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
    EXPECT_FALSE(DeleteObject(static_cast<HGDIOBJ>(nullptr)));
    EXPECT_FALSE(DeleteDC(nullptr));
    EXPECT_FALSE(DeleteDC(bogusDc));
    EXPECT_EQ(GetObjectA(bogusObject, 0, nullptr), 0);
    EXPECT_EQ(GetDeviceCaps(bogusDc, BITSPIXEL), 0);
    EXPECT_FALSE(BitBlt(bogusDc, 0, 0, 1, 1, nullptr, 0, 0, SRCCOPY));
    EXPECT_EQ(SetPixel(nullptr, 0, 0, 0), CLR_INVALID);
    EXPECT_EQ(GetPixel(nullptr, 0, 0), CLR_INVALID);
    EXPECT_EQ(SetTextColor(nullptr, 0), CLR_INVALID);
    EXPECT_EQ(SetBkMode(nullptr, OPAQUE), 0);
    EXPECT_EQ(RealizePalette(nullptr), GDI_ERROR);
    EXPECT_EQ(SelectPalette(nullptr, nullptr, FALSE), nullptr);
    EXPECT_EQ(GetDIBits(nullptr, nullptr, 0, 0, nullptr, nullptr, DIB_RGB_COLORS), 0);
    EXPECT_EQ(CreateCompatibleDC(bogusDc), nullptr);
    EXPECT_EQ(GetStockObject(999), nullptr);
    EXPECT_EQ(CreateBitmap(0, 4, 1, 32, nullptr), nullptr);
    EXPECT_EQ(CreateBitmap(100000, 100000, 1, 32, nullptr), nullptr);
    EXPECT_EQ(CreatePen(99, 1, 0), nullptr);

    HDC first = CreateCompatibleDC(nullptr);
    HDC second = CreateCompatibleDC(nullptr);
    HBITMAP bitmap = CreateBitmap(4, 4, 1, 32, nullptr);
    HGDIOBJ original = SelectObject(first, bitmap);
    ASSERT_NE(original, nullptr);
    EXPECT_EQ(SelectObject(second, bitmap), nullptr) << "a bitmap lives in one context";
    EXPECT_FALSE(DeleteObject(bitmap)) << "selected objects are not deleted";
    EXPECT_EQ(ReleaseDC(nullptr, first), 0) << "memory contexts are deleted, not released";
    EXPECT_EQ(SelectObject(first, GetStockObject(DEFAULT_PALETTE)), nullptr);
    EXPECT_EQ(SelectObject(first, original), reinterpret_cast<HGDIOBJ>(bitmap));
    EXPECT_TRUE(DeleteObject(bitmap));
    EXPECT_FALSE(DeleteObject(bitmap)) << "deleted twice";
    EXPECT_TRUE(DeleteObject(GetStockObject(BLACK_BRUSH))) << "stock objects ignore deletion";
    EXPECT_NE(GetStockObject(BLACK_BRUSH), nullptr);
    DeleteDC(first);
    EXPECT_EQ(GetPixel(first, 0, 0), CLR_INVALID) << "a deleted context";
    DeleteDC(second);
    EXPECT_EQ(CreateCompatibleBitmap(second, 4, 4), nullptr);
    EXPECT_EQ(GetDC(reinterpret_cast<HWND>(static_cast<uintptr_t>(0x777))), nullptr);
}

TEST(GdiObjects, threads_drawing_on_their_own_contexts_do_not_disturb_each_other) {
    constexpr int kThreads = 4;
    constexpr int kRounds = 200;
    std::vector<std::thread> threads;
    std::atomic<int> wrong{0};
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([t, &wrong] {
            const COLORREF colour = RGB(static_cast<BYTE>(t * 40 + 10), 0, 0);
            for (int round = 0; round < kRounds; ++round) {
                Canvas source(8, 8);
                source.fill(colour);
                Canvas dest(8, 8);
                BitBlt(dest.dc(), 0, 0, 8, 8, source.dc(), 0, 0, SRCCOPY);
                if (GetPixel(dest.dc(), 7, 7) != colour) ++wrong;
            }
        });
    }
    for (std::thread& thread : threads)
        thread.join();
    EXPECT_EQ(wrong.load(), 0);
}

TEST(GdiWindow, drawing_on_a_window_shows_in_its_pixels_and_its_picture) {
    TestWindow window;
    ASSERT_NE(window.window(), nullptr);
    HDC dc = GetWindowDC(window.window());
    ASSERT_NE(dc, nullptr);
    EXPECT_EQ(GetDeviceCaps(dc, LOGPIXELSX), 96);
    HBRUSH brush = CreateSolidBrush(RGB(10, 200, 30));
    RECT area{0, 0, 160, 120};
    FillRect(dc, &area, brush);
    SetPixel(dc, 7, 9, RGB(250, 4, 5));
    EXPECT_EQ(PlatformWindowPixel(window.window(), 7, 9), RGB(250, 4, 5));
    EXPECT_EQ(PlatformWindowPixel(window.window(), 8, 9), RGB(10, 200, 30));
    EXPECT_EQ(PlatformWindowPixel(window.window(), -1, 9), CLR_INVALID);
    EXPECT_EQ(PlatformWindowPixel(nullptr, 0, 0), CLR_INVALID);
    EXPECT_EQ(ReleaseDC(window.window(), dc), 1);
    DeleteObject(brush);

    const std::string path =
        ::testing::TempDir() + "gdi_window_" + std::to_string(getpid()) + ".png";
    ASSERT_TRUE(PlatformSaveWindowPng(window.window(), path.c_str()));
    FILE* file = std::fopen(path.c_str(), "rb");
    ASSERT_NE(file, nullptr);
    unsigned char head[24] = {};
    ASSERT_EQ(std::fread(head, 1, sizeof(head), file), sizeof(head));
    std::fclose(file);
    std::remove(path.c_str());
    EXPECT_EQ(std::memcmp(head, "\x89PNG\r\n\x1a\n", 8), 0);
    const int width = (head[16] << 24) | (head[17] << 16) | (head[18] << 8) | head[19];
    EXPECT_GE(width, 160);
    EXPECT_FALSE(PlatformSaveWindowPng(window.window(), "/nonexistent-folder/picture.png"));
    EXPECT_FALSE(PlatformSaveBitmapPng(nullptr, path.c_str()));
}

} // namespace
