#include <windows.h>

#include "platform/font_widths.h"
#include "platform/surface.h"

#include <gtest/gtest.h>

#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include <unistd.h>

namespace {

constexpr int kTransparent = 1; // SetBkMode values
constexpr int kOpaque = 2;
constexpr UINT kGdiError = 0xffffffffu;
constexpr COLORREF kWhite = RGB(255, 255, 255);
constexpr COLORREF kBlack = RGB(0, 0, 0);
constexpr COLORREF kRed = RGB(255, 0, 0);
constexpr COLORREF kBlue = RGB(0, 0, 255);
constexpr UINT kValueFieldFormat = DT_CENTER | DT_VCENTER | DT_SINGLELINE | DT_NOCLIP; // 293
const std::string kFontRoot = "/usr/share/fonts/truetype";

uint32_t pixelOf(COLORREF colour) {
    return (static_cast<uint32_t>(GetRValue(colour)) << 16) |
           (static_cast<uint32_t>(GetGValue(colour)) << 8) | GetBValue(colour);
}

struct FontDeleter {
    void operator()(HFONT__* font) const { delete reinterpret_cast<platform::GdiObject*>(font); }
};
using Font = std::unique_ptr<HFONT__, FontDeleter>;

Font makeFont(int height, int weight, const char* face) {
    return Font(CreateFontA(height, 0, 0, 0, weight, FALSE, FALSE, FALSE, ANSI_CHARSET,
                            OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, PROOF_QUALITY,
                            DEFAULT_PITCH | FF_DONTCARE, face));
}

// The text field font: Arial, the given height, weight 500.
Font fieldFont(int height) {
    return makeFont(height, FW_MEDIUM, "Arial");
}

std::string fontFile(HFONT font) {
    char path[512];
    PlatformFontFile(font, path, sizeof(path));
    return path;
}

// A 32-bit (or palette) surface with a device context on it, as the drawing code makes them.
struct Canvas {
    platform::Surface surface;
    platform::DeviceContext dc;
    uint32_t background;

    Canvas(int width, int height, COLORREF fill = kWhite) : background(pixelOf(fill)) {
        surface.width = width;
        surface.height = height;
        surface.pixels.assign(static_cast<size_t>(width) * height, background);
        dc.surface = &surface;
        dc.clip = RECT{0, 0, width, height};
        dc.backgroundMode = kTransparent;
    }
    HDC hdc() { return reinterpret_cast<HDC>(&dc); }
    void select(const Font& font) { dc.font = reinterpret_cast<platform::GdiObject*>(font.get()); }
    uint32_t at(int x, int y) const {
        return surface.pixels[static_cast<size_t>(y) * surface.width + x];
    }
    int changed() const {
        int count = 0;
        for (uint32_t pixel : surface.pixels)
            count += pixel != background ? 1 : 0;
        return count;
    }
    // The bounding box of every pixel that differs from the background; empty when none.
    RECT ink() const {
        RECT box{INT_MAX, INT_MAX, INT_MIN, INT_MIN};
        for (int y = 0; y < surface.height; ++y)
            for (int x = 0; x < surface.width; ++x)
                if (at(x, y) != background) {
                    box.left = std::min<LONG>(box.left, x);
                    box.top = std::min<LONG>(box.top, y);
                    box.right = std::max<LONG>(box.right, x + 1);
                    box.bottom = std::max<LONG>(box.bottom, y + 1);
                }
        return box.left == INT_MAX ? RECT{0, 0, 0, 0} : box;
    }
    int changedOutside(const RECT& r) const {
        int count = 0;
        for (int y = 0; y < surface.height; ++y)
            for (int x = 0; x < surface.width; ++x)
                if ((x < r.left || x >= r.right || y < r.top || y >= r.bottom) &&
                    at(x, y) != background)
                    ++count;
        return count;
    }
};

std::string describe(const RECT& r) {
    return "(" + std::to_string(r.left) + ", " + std::to_string(r.top) + ") - (" +
           std::to_string(r.right) + ", " + std::to_string(r.bottom) + ")";
}

TEXTMETRICA metricsOf(Canvas& canvas) {
    TEXTMETRICA metrics{};
    EXPECT_TRUE(GetTextMetricsA(canvas.hdc(), &metrics));
    return metrics;
}

LONG widthOf(Canvas& canvas, const char* text) {
    SIZE size{};
    EXPECT_TRUE(
        GetTextExtentPoint32A(canvas.hdc(), text, static_cast<int>(std::strlen(text)), &size));
    return size.cx;
}

// ----------------------------------------------------------------------------------------------
// Faces, sizes and widths against the font files' own tables.

TEST(Font, text_widths_and_metrics_match_the_font_files_advances) {
    for (const font_oracle::Case& expected : font_oracle::kCases) {
        SCOPED_TRACE(std::string(expected.face) + " weight " + std::to_string(expected.weight) +
                     " height " + std::to_string(expected.height) + " \"" + expected.text + "\"");
        Font font = makeFont(expected.height, expected.weight, expected.face);
        ASSERT_NE(font, nullptr);
        EXPECT_EQ(fontFile(font.get()), kFontRoot + "/" + expected.file);
        Canvas canvas(8, 8);
        canvas.select(font);
        const TEXTMETRICA metrics = metricsOf(canvas);
        EXPECT_EQ(metrics.tmAscent, expected.ascentPx);
        EXPECT_EQ(metrics.tmDescent, expected.descentPx);
        EXPECT_EQ(metrics.tmHeight, expected.ascentPx + expected.descentPx);
        EXPECT_EQ(metrics.tmHeight - metrics.tmInternalLeading, expected.emPx);
        EXPECT_EQ(metrics.tmAveCharWidth, expected.averageWidthPx);
        if (expected.height > 0 && std::string(expected.face) != "Small Fonts") {
            EXPECT_LE(metrics.tmHeight, expected.height);
        }
        SIZE size{};
        ASSERT_TRUE(GetTextExtentPoint32A(canvas.hdc(), expected.text,
                                          static_cast<int>(std::strlen(expected.text)), &size));
        EXPECT_EQ(size.cx, expected.widthPx);
        EXPECT_EQ(size.cy, metrics.tmHeight);
    }
}

TEST(Font, value_field_font_is_liberation_sans_twelve_pixels_high_and_medium_weight_stays_regular) {
    // Liberation Sans has Arial's advances: every digit is 1139/2048 em, 6.1 pixels at the
    // 11-pixel em that a 12-pixel cell gives.
    Font field = fieldFont(12);
    Canvas canvas(8, 8);
    canvas.select(field);
    EXPECT_EQ(metricsOf(canvas).tmHeight, 12);
    EXPECT_EQ(widthOf(canvas, "0123456789"), 60);
    EXPECT_EQ(fontFile(field.get()), kFontRoot + "/liberation2/LiberationSans-Regular.ttf");
    EXPECT_EQ(metricsOf(canvas).tmWeight, FW_MEDIUM);

    Font bold = makeFont(12, FW_SEMIBOLD, "arial");
    EXPECT_EQ(fontFile(bold.get()), kFontRoot + "/liberation2/LiberationSans-Bold.ttf");
    Font about = fieldFont(14);
    canvas.select(about);
    EXPECT_EQ(metricsOf(canvas).tmHeight, 14);
}

TEST(Font, faces_we_do_not_have_fall_back_to_their_nearest_twin) {
    Font arial = fieldFont(12);
    Font unknown = makeFont(12, FW_MEDIUM, "NoSuchFace");
    Font empty = makeFont(12, FW_MEDIUM, nullptr);
    EXPECT_EQ(fontFile(unknown.get()), fontFile(arial.get()));
    EXPECT_EQ(fontFile(empty.get()), fontFile(arial.get()));
    Canvas canvas(8, 8);
    canvas.select(arial);
    const LONG arialWidth = widthOf(canvas, "Orq Pressane");
    canvas.select(unknown);
    EXPECT_EQ(widthOf(canvas, "Orq Pressane"), arialWidth);

    EXPECT_EQ(fontFile(makeFont(12, FW_NORMAL, "Courier New").get()),
              kFontRoot + "/liberation2/LiberationMono-Regular.ttf");
    EXPECT_EQ(fontFile(makeFont(6, FW_NORMAL, "Small Fonts").get()),
              kFontRoot + "/dejavu/DejaVuSans.ttf");
    EXPECT_EQ(fontFile(makeFont(12, FW_NORMAL, "Times New Roman").get()),
              kFontRoot + "/liberation2/LiberationSerif-Regular.ttf");
}

TEST(Font, small_fonts_labels_have_digits_one_pixel_less_than_the_cell) {
    // The curve labels ask for "Small Fonts" of height 6: digits of 5 pixels, as the bitmap face
    // draws them, rather than the 3 pixels an outline face scaled to a 6-pixel cell would have.
    Font labels = makeFont(6, FW_NORMAL, "Small Fonts");
    Canvas canvas(80, 20, kBlack);
    canvas.select(labels);
    canvas.dc.textColour = kWhite;
    ASSERT_TRUE(TextOutA(canvas.hdc(), 2, 2, "0123456789", 10));
    int strongRows = 0;
    for (int y = 0; y < canvas.surface.height; ++y) {
        bool strong = false;
        for (int x = 0; x < canvas.surface.width; ++x)
            strong = strong || (canvas.at(x, y) & 0xff) >= 0x80;
        strongRows += strong ? 1 : 0;
    }
    EXPECT_GE(strongRows, 5);
    EXPECT_LE(strongRows, 6);
}

// A font root holding only some of the packages' folders (links to the real ones).
struct FontRoot {
    std::string path;
    explicit FontRoot(std::vector<std::string> folders) {
        char pattern[] = "/tmp/font_root_XXXXXX";
        path = mkdtemp(pattern);
        for (const std::string& folder : folders)
            EXPECT_EQ(symlink((kFontRoot + "/" + folder).c_str(), (path + "/" + folder).c_str()),
                      0);
        PlatformSetFontRoot(path.c_str());
    }
    ~FontRoot() {
        PlatformSetFontRoot(nullptr);
        std::system(("rm -rf " + path).c_str());
    }
};

TEST(Font, missing_font_files_fail_the_text_calls_naming_the_file_and_the_package) {
    Font field = fieldFont(12);
    Canvas canvas(60, 20);
    canvas.select(field);
    {
        FontRoot onlyDejaVu({"dejavu"});
        EXPECT_EQ(fontFile(field.get()), onlyDejaVu.path + "/dejavu/DejaVuSans.ttf");
        EXPECT_TRUE(TextOutA(canvas.hdc(), 0, 0, "12.5", 4));
    }
    {
        FontRoot none({});
        SetLastError(0);
        EXPECT_FALSE(TextOutA(canvas.hdc(), 0, 0, "12.5", 4));
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
        char error[1024];
        PlatformFontError(error, sizeof(error));
        EXPECT_NE(std::string(error).find(none.path + "/liberation2/LiberationSans-Regular.ttf"),
                  std::string::npos)
            << error;
        EXPECT_NE(std::string(error).find("fonts-liberation2"), std::string::npos) << error;
        TEXTMETRICA metrics{};
        EXPECT_FALSE(GetTextMetricsA(canvas.hdc(), &metrics));
        RECT rect{0, 0, 60, 20};
        EXPECT_EQ(DrawTextA(canvas.hdc(), "12.5", -1, &rect, kValueFieldFormat), 0);
        EXPECT_EQ(fontFile(field.get()), "");
    }
    const int before = canvas.changed();
    EXPECT_TRUE(TextOutA(canvas.hdc(), 30, 0, "12.5", 4)); // the default root again
    EXPECT_GT(canvas.changed(), before);
    EXPECT_EQ(fontFile(field.get()), kFontRoot + "/liberation2/LiberationSans-Regular.ttf");
}

// ----------------------------------------------------------------------------------------------
// Where the ink goes.

TEST(Font, text_out_ink_spans_the_measured_cell_in_the_text_colour) {
    Font field = fieldFont(12);
    Canvas canvas(100, 30, kBlack);
    canvas.select(field);
    canvas.dc.textColour = kRed;
    ASSERT_TRUE(TextOutA(canvas.hdc(), 10, 5, "0123456789", 10));
    const RECT ink = canvas.ink();
    SCOPED_TRACE(describe(ink));
    EXPECT_GE(ink.left, 10);
    EXPECT_LE(ink.left, 12);
    EXPECT_LE(ink.right, 10 + 60);
    EXPECT_GE(ink.right, 10 + 60 - 2);
    EXPECT_GE(ink.top, 5);
    EXPECT_LE(ink.bottom, 5 + 10 + 1); // digits stand on the baseline, 10 below the top
    EXPECT_GE(ink.bottom, 5 + 10 - 1);
    // Every pixel is red scaled by the glyph's coverage; the strokes' cores are nearly full.
    uint32_t strongest = 0;
    for (uint32_t pixel : canvas.surface.pixels) {
        EXPECT_EQ(pixel & 0x00ffffu, 0u) << std::hex << pixel;
        strongest = std::max(strongest, pixel >> 16);
    }
    EXPECT_GE(strongest, 0xe0u);
}

TEST(Font, anti_aliased_edges_blend_between_background_and_text_colour) {
    Font field = fieldFont(14);
    Canvas canvas(80, 20, kWhite);
    canvas.select(field);
    canvas.dc.textColour = kBlue;
    ASSERT_TRUE(TextOutA(canvas.hdc(), 2, 2, "Orq 1.0", 7));
    int partial = 0;
    for (uint32_t pixel : canvas.surface.pixels) {
        const uint32_t red = pixel >> 16, green = (pixel >> 8) & 0xff, blue = pixel & 0xff;
        EXPECT_EQ(blue, 255u) << std::hex << pixel; // white to blue keeps blue full
        EXPECT_EQ(red, green) << std::hex << pixel;
        partial += red > 0 && red < 255 ? 1 : 0;
    }
    EXPECT_GT(partial, 10);
}

TEST(Font, palette_surfaces_get_the_text_colours_index_or_nothing) {
    Font field = fieldFont(12);
    Canvas canvas(80, 20);
    canvas.surface.bitsPerPixel = 8;
    const uint32_t backgroundIndex = 3;
    canvas.background = backgroundIndex;
    canvas.surface.pixels.assign(canvas.surface.pixels.size(), backgroundIndex);
    canvas.select(field);
    canvas.dc.textColour = kRed;
    // The index red takes on this surface, as the context's own fill writes it.
    canvas.dc.backgroundColour = kRed;
    const RECT corner{0, 0, 1, 1};
    ASSERT_TRUE(ExtTextOutA(canvas.hdc(), 0, 0, ETO_OPAQUE, &corner, nullptr, 0, nullptr));
    const uint32_t redIndex = canvas.at(0, 0);
    ASSERT_NE(redIndex, backgroundIndex);
    canvas.surface.pixels[0] = backgroundIndex;
    ASSERT_TRUE(TextOutA(canvas.hdc(), 2, 2, "-12.5 dB", 8));
    EXPECT_GT(canvas.changed(), 20);
    for (uint32_t pixel : canvas.surface.pixels)
        EXPECT_TRUE(pixel == backgroundIndex || pixel == redIndex) << pixel;
}

TEST(Font, draw_text_aligns_single_lines_in_the_rectangle) {
    Font field = fieldFont(12);
    const RECT rect{0, 0, 200, 40};
    struct Case {
        UINT format;
        int expectedLeft; // of the 60-pixel cell of "0123456789"
        int expectedTop;  // of the 12-pixel cell
        int expectedReturn;
    };
    const Case cases[] = {
        {DT_LEFT | DT_TOP | DT_SINGLELINE, 0, 0, 12},
        {DT_CENTER | DT_SINGLELINE, 70, 0, 12},
        {DT_RIGHT | DT_SINGLELINE, 140, 0, 12},
        {DT_LEFT | DT_VCENTER | DT_SINGLELINE, 0, 14, 26},
        {DT_RIGHT | DT_BOTTOM | DT_SINGLELINE, 140, 28, 40},
        {kValueFieldFormat, 70, 14, 26},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE("format " + std::to_string(c.format));
        Canvas canvas(200, 40);
        canvas.select(field);
        RECT given = rect;
        EXPECT_EQ(DrawTextA(canvas.hdc(), "0123456789", -1, &given, c.format), c.expectedReturn);
        EXPECT_EQ(describe(given), describe(rect)); // drawing leaves the rectangle alone
        const RECT ink = canvas.ink();
        SCOPED_TRACE(describe(ink));
        EXPECT_GE(ink.left, c.expectedLeft);
        EXPECT_LE(ink.left, c.expectedLeft + 2);
        EXPECT_LE(ink.right, c.expectedLeft + 60);
        EXPECT_GE(ink.right, c.expectedLeft + 58);
        EXPECT_GE(ink.top, c.expectedTop);
        EXPECT_LE(ink.bottom, c.expectedTop + 11);
        EXPECT_GE(ink.bottom, c.expectedTop + 9);
    }
}

TEST(Font, calcrect_measures_without_drawing) {
    Font field = fieldFont(12);
    Canvas canvas(100, 100);
    canvas.select(field);
    RECT single{5, 7, 6, 8};
    EXPECT_EQ(DrawTextA(canvas.hdc(), "0123456789", -1, &single, DT_CALCRECT | DT_SINGLELINE), 12);
    EXPECT_EQ(describe(single), describe(RECT{5, 7, 65, 19}));

    RECT lines{0, 0, 1000, 0};
    EXPECT_EQ(DrawTextA(canvas.hdc(), "Version\n1.0.3\r\n0123456789", -1, &lines, DT_CALCRECT), 36);
    EXPECT_EQ(describe(lines), describe(RECT{0, 0, 60, 36}));

    // Word breaks keep every line inside the width unless one word is wider.
    RECT about{0, 0, 70, 0};
    const char* aboutText = "Orq Pressane Version 1.0.3 0123456789";
    const int height = DrawTextA(canvas.hdc(), aboutText, -1, &about, DT_CALCRECT | DT_WORDBREAK);
    EXPECT_EQ(height, 3 * 12) << describe(about); // "Orq Pressane" / "Version 1.0.3" / digits
    EXPECT_EQ(about.bottom, height);
    EXPECT_EQ(about.right, 69); // "Orq Pressane", the widest line
    RECT narrow{0, 0, 10, 0};
    DrawTextA(canvas.hdc(), "0123456789", -1, &narrow, DT_CALCRECT | DT_WORDBREAK);
    EXPECT_EQ(narrow.right, 60); // a word wider than the rectangle widens it

    RECT empty{3, 4, 50, 50};
    EXPECT_EQ(DrawTextA(canvas.hdc(), "", 0, &empty, DT_CALCRECT | DT_SINGLELINE), 12);
    EXPECT_EQ(describe(empty), describe(RECT{3, 4, 3, 16}));
    EXPECT_EQ(canvas.changed(), 0);
}

TEST(Font, draw_text_word_breaks_tabs_prefixes_and_ellipsis) {
    Font field = fieldFont(12);
    Canvas canvas(200, 100);
    canvas.select(field);
    const TEXTMETRICA metrics = metricsOf(canvas);

    RECT about{10, 10, 80, 90};
    EXPECT_EQ(
        DrawTextA(canvas.hdc(), "Orq Pressane Version 1.0.3", -1, &about, DT_CENTER | DT_WORDBREAK),
        24);
    const RECT ink = canvas.ink();
    EXPECT_GE(ink.left, 10) << describe(ink);
    EXPECT_LE(ink.right, 80) << describe(ink);
    EXPECT_GT(ink.bottom, 22) << describe(ink); // a second line
    EXPECT_LE(ink.bottom, 10 + 24) << describe(ink);

    RECT tabbed{0, 0, 500, 0};
    DrawTextA(canvas.hdc(), "1\t2", -1, &tabbed, DT_CALCRECT | DT_SINGLELINE | DT_EXPANDTABS);
    EXPECT_EQ(tabbed.right, 8 * metrics.tmAveCharWidth + widthOf(canvas, "2"));

    RECT prefixed{0, 0, 500, 0};
    DrawTextA(canvas.hdc(), "A&&B&C", -1, &prefixed, DT_CALCRECT | DT_SINGLELINE);
    EXPECT_EQ(prefixed.right, widthOf(canvas, "A&BC"));
    RECT plain{0, 0, 500, 0};
    DrawTextA(canvas.hdc(), "A&&B", -1, &plain, DT_CALCRECT | DT_SINGLELINE | DT_NOPREFIX);
    EXPECT_EQ(plain.right, widthOf(canvas, "A&&B"));

    Canvas cut(200, 20);
    cut.select(field);
    RECT narrow{0, 0, 40, 20};
    DrawTextA(cut.hdc(), "Orq Pressane Version", -1, &narrow,
              DT_SINGLELINE | DT_END_ELLIPSIS | DT_NOCLIP);
    EXPECT_LE(cut.ink().right, 40) << describe(cut.ink());
    EXPECT_GT(cut.ink().right, 40 - widthOf(cut, "...") - 6) << describe(cut.ink());
}

TEST(Font, opaque_background_fills_the_text_cell_and_transparent_leaves_it) {
    Font field = fieldFont(12);
    for (int mode : {kOpaque, kTransparent}) {
        SCOPED_TRACE(mode == kOpaque ? "opaque" : "transparent");
        Canvas canvas(100, 30);
        canvas.select(field);
        canvas.dc.backgroundMode = mode;
        canvas.dc.backgroundColour = kBlue;
        canvas.dc.textColour = kRed;
        ASSERT_TRUE(TextOutA(canvas.hdc(), 10, 5, "0123456789", 10));
        const RECT cell{10, 5, 70, 17};
        int blue = 0;
        int white = 0;
        for (int y = cell.top; y < cell.bottom; ++y)
            for (int x = cell.left; x < cell.right; ++x) {
                blue += canvas.at(x, y) == pixelOf(kBlue) ? 1 : 0;
                white += canvas.at(x, y) == pixelOf(kWhite) ? 1 : 0;
            }
        if (mode == kOpaque) {
            EXPECT_EQ(white, 0);
            EXPECT_GT(blue, 60 * 12 / 2);
        } else {
            EXPECT_EQ(blue, 0);
            EXPECT_GT(white, 60 * 12 / 2);
        }
        EXPECT_EQ(canvas.changedOutside(cell), 0);
    }

    // ETO_OPAQUE fills the given rectangle whatever the mode.
    Canvas canvas(100, 30);
    canvas.select(field);
    canvas.dc.backgroundColour = kBlue;
    const RECT box{0, 0, 100, 30};
    ASSERT_TRUE(ExtTextOutA(canvas.hdc(), 10, 5, ETO_OPAQUE, &box, "1", 1, nullptr));
    EXPECT_EQ(canvas.at(0, 0), pixelOf(kBlue));
    EXPECT_EQ(canvas.at(99, 29), pixelOf(kBlue));

    // A value field: opaque text centred in its rectangle fills only the text's cell.
    Canvas field2(100, 30);
    field2.select(field);
    field2.dc.backgroundMode = kOpaque;
    field2.dc.backgroundColour = kBlack;
    RECT rect{0, 0, 100, 30};
    DrawTextA(field2.hdc(), "0123456789", -1, &rect, kValueFieldFormat);
    EXPECT_EQ(describe(field2.ink()), describe(RECT{20, 9, 80, 21}));
}

TEST(Font, no_ink_outside_the_clip_the_rectangle_or_the_surface) {
    Font field = fieldFont(14);
    {
        Canvas canvas(100, 30);
        canvas.select(field);
        canvas.dc.clip = RECT{20, 0, 40, 10};
        canvas.dc.backgroundMode = kOpaque;
        canvas.dc.backgroundColour = kBlue;
        ASSERT_TRUE(TextOutA(canvas.hdc(), 0, 0, "0123456789", 10));
        EXPECT_GT(canvas.changed(), 0);
        EXPECT_EQ(canvas.changedOutside(canvas.dc.clip), 0);
    }
    {
        Canvas canvas(100, 30);
        canvas.select(field);
        RECT rect{0, 0, 25, 30};
        DrawTextA(canvas.hdc(), "0123456789", -1, &rect, DT_SINGLELINE);
        EXPECT_EQ(canvas.changedOutside(rect), 0);
        EXPECT_GT(canvas.ink().right, 20);
        Canvas unclipped(100, 30);
        unclipped.select(field);
        DrawTextA(unclipped.hdc(), "0123456789", -1, &rect, DT_SINGLELINE | DT_NOCLIP);
        EXPECT_GT(unclipped.ink().right, 60);
        const RECT box{0, 0, 25, 30};
        ExtTextOutA(unclipped.hdc(), 0, 15, ETO_CLIPPED, &box, "0123456789", 10, nullptr);
    }
    {
        // Text half off every edge, far away, and at extreme coordinates writes only inside.
        Canvas canvas(30, 12);
        canvas.select(field);
        canvas.dc.backgroundMode = kOpaque;
        canvas.dc.backgroundColour = kBlue;
        for (POINT at : {POINT{-20, -6}, POINT{25, 8}, POINT{-100000, 0}, POINT{INT_MIN, INT_MIN},
                         POINT{INT_MAX, INT_MAX}, POINT{INT_MAX - 5, 0}})
            EXPECT_TRUE(TextOutA(canvas.hdc(), at.x, at.y, "0123456789", 10));
        RECT huge{INT_MIN, INT_MIN, INT_MAX, INT_MAX};
        EXPECT_GT(DrawTextA(canvas.hdc(), "0123456789", -1, &huge, kValueFieldFormat), 0);
        EXPECT_EQ(canvas.surface.pixels.size(), 30u * 12u);
        EXPECT_GT(canvas.changed(), 0);
    }
    {
        // The device context's origin moves logical (0, 0) on the surface.
        Canvas canvas(100, 40);
        canvas.select(field);
        canvas.dc.origin = POINT{30, 10};
        ASSERT_TRUE(TextOutA(canvas.hdc(), 0, 0, "1", 1));
        const RECT ink = canvas.ink();
        EXPECT_GE(ink.left, 30) << describe(ink);
        EXPECT_GE(ink.top, 10) << describe(ink);
        EXPECT_LT(ink.right, 40) << describe(ink);
    }
    {
        // A device context without a surface measures and draws nothing.
        platform::DeviceContext bare;
        bare.font = reinterpret_cast<platform::GdiObject*>(field.get());
        EXPECT_TRUE(TextOutA(reinterpret_cast<HDC>(&bare), 0, 0, "1", 1));
    }
}

TEST(Font, text_align_moves_the_reference_point) {
    Font field = fieldFont(12);
    Canvas canvas(200, 60);
    canvas.select(field);
    EXPECT_EQ(GetTextAlign(canvas.hdc()), TA_LEFT | TA_TOP);
    EXPECT_EQ(SetTextAlign(canvas.hdc(), TA_RIGHT | TA_BASELINE), TA_LEFT | TA_TOP);
    EXPECT_EQ(GetTextAlign(canvas.hdc()), TA_RIGHT | TA_BASELINE);
    ASSERT_TRUE(TextOutA(canvas.hdc(), 150, 40, "0123456789", 10));
    RECT ink = canvas.ink();
    EXPECT_LE(ink.right, 150) << describe(ink);
    EXPECT_GE(ink.right, 148) << describe(ink);
    EXPECT_LE(ink.bottom, 41) << describe(ink);
    EXPECT_GE(ink.bottom, 39) << describe(ink);

    Canvas centred(200, 60);
    centred.select(field);
    SetTextAlign(centred.hdc(), TA_CENTER | TA_BOTTOM);
    TextOutA(centred.hdc(), 100, 50, "0123456789", 10);
    ink = centred.ink();
    EXPECT_GE(ink.left, 70) << describe(ink);
    EXPECT_LE(ink.right, 130) << describe(ink);
    EXPECT_LE(ink.bottom, 50 - 2 + 1) << describe(ink); // descent 2 below the baseline
    EXPECT_GE(ink.bottom, 50 - 2 - 1) << describe(ink);

    // With TA_UPDATECP the text starts at the current position and moves it on.
    Canvas running(200, 60);
    running.select(field);
    running.dc.position = POINT{10, 10};
    SetTextAlign(running.hdc(), TA_UPDATECP);
    TextOutA(running.hdc(), 999, 999, "012", 3);
    EXPECT_EQ(running.dc.position.x, 10 + 18);
    EXPECT_EQ(running.dc.position.y, 10);
    EXPECT_LT(running.ink().right, 30);
}

TEST(Font, ext_text_out_takes_the_given_advances) {
    Font field = fieldFont(12);
    Canvas canvas(200, 20);
    canvas.select(field);
    const INT advances[] = {20, 20, 20};
    ASSERT_TRUE(ExtTextOutA(canvas.hdc(), 0, 0, 0, nullptr, "111", 3, advances));
    const RECT ink = canvas.ink();
    EXPECT_GE(ink.right, 40) << describe(ink);
    EXPECT_LE(ink.right, 40 + 6) << describe(ink);
}

// ----------------------------------------------------------------------------------------------
// The default font, captions, font objects and error returns.

TEST(Font, default_font_and_caption_text) {
    platform::GdiObject* stock = platform::defaultFont();
    ASSERT_NE(stock, nullptr);
    EXPECT_EQ(stock->kind, platform::GdiKind::Font);
    EXPECT_EQ(platform::defaultFont(), stock);
    LOGFONTA description{};
    ASSERT_TRUE(platform::fontDescription(*stock, &description));
    EXPECT_GE(description.lfWeight, FW_BOLD);

    Canvas canvas(50, 30);
    canvas.dc.font = nullptr; // a context without a selected font uses the default one
    EXPECT_EQ(metricsOf(canvas).tmHeight, 16);
    canvas.dc.font = stock;
    EXPECT_EQ(metricsOf(canvas).tmHeight, 16);

    Canvas caption(120, 30);
    const RECT clip{0, 0, 60, 30};
    platform::drawCaptionText(caption.surface, clip, 4, 6, "Orq Pressane", kRed);
    const RECT ink = caption.ink();
    EXPECT_GE(ink.left, 4) << describe(ink);
    EXPECT_GE(ink.top, 6) << describe(ink);
    EXPECT_LE(ink.bottom, 6 + 16) << describe(ink);
    EXPECT_EQ(caption.changedOutside(clip), 0);
    EXPECT_GT(caption.changed(), 30);
    platform::drawCaptionText(caption.surface, clip, 4, 6, nullptr, kRed);
}

TEST(Font, font_objects_keep_their_description_and_delete_through_the_base) {
    LOGFONTA given{};
    given.lfHeight = 14;
    given.lfWeight = FW_MEDIUM;
    given.lfQuality = PROOF_QUALITY;
    std::snprintf(given.lfFaceName, LF_FACESIZE, "Arial");
    HFONT font = CreateFontIndirectA(&given);
    ASSERT_NE(font, nullptr);
    auto* object = reinterpret_cast<platform::GdiObject*>(font);
    EXPECT_EQ(object->kind, platform::GdiKind::Font);
    LOGFONTA read{};
    ASSERT_TRUE(platform::fontDescription(*object, &read));
    EXPECT_EQ(read.lfHeight, 14);
    EXPECT_EQ(read.lfWeight, FW_MEDIUM);
    EXPECT_EQ(read.lfQuality, PROOF_QUALITY);
    EXPECT_STREQ(read.lfFaceName, "Arial");
    delete object;

    // A face name without its terminator is cut at LF_FACESIZE - 1 characters.
    std::memset(given.lfFaceName, 'x', LF_FACESIZE);
    Font cut(CreateFontIndirectA(&given));
    ASSERT_TRUE(
        platform::fontDescription(*reinterpret_cast<platform::GdiObject*>(cut.get()), &read));
    EXPECT_EQ(std::strlen(read.lfFaceName), static_cast<size_t>(LF_FACESIZE - 1));
}

TEST(Font, error_returns_follow_windows) {
    SetLastError(0);
    EXPECT_EQ(CreateFontIndirectA(nullptr), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));

    TEXTMETRICA metrics{};
    SIZE size{};
    RECT rect{0, 0, 10, 10};
    EXPECT_FALSE(GetTextMetricsA(nullptr, &metrics));
    EXPECT_FALSE(GetTextExtentPoint32A(nullptr, "1", 1, &size));
    EXPECT_FALSE(TextOutA(nullptr, 0, 0, "1", 1));
    EXPECT_FALSE(ExtTextOutA(nullptr, 0, 0, 0, nullptr, "1", 1, nullptr));
    EXPECT_EQ(DrawTextA(nullptr, "1", 1, &rect, 0), 0);
    EXPECT_EQ(SetTextAlign(nullptr, TA_RIGHT), kGdiError);
    EXPECT_EQ(GetTextAlign(nullptr), kGdiError);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));

    Font field = fieldFont(12);
    Canvas canvas(20, 20);
    canvas.select(field);
    // No text: nothing to draw, which succeeds; a null text of some length is refused.
    EXPECT_TRUE(TextOutA(canvas.hdc(), 0, 0, nullptr, 0));
    EXPECT_TRUE(ExtTextOutA(canvas.hdc(), 0, 0, 0, nullptr, nullptr, 0, nullptr));
    ASSERT_TRUE(GetTextExtentPoint32A(canvas.hdc(), nullptr, 0, &size));
    EXPECT_EQ(size.cx, 0);
    EXPECT_EQ(size.cy, 12);
    EXPECT_EQ(DrawTextA(canvas.hdc(), nullptr, 0, &rect, DT_SINGLELINE), 0);
    EXPECT_EQ(DrawTextA(canvas.hdc(), nullptr, -1, &rect, DT_SINGLELINE), 0);
    EXPECT_FALSE(TextOutA(canvas.hdc(), 0, 0, nullptr, 3));
    EXPECT_FALSE(TextOutA(canvas.hdc(), 0, 0, "123", -1));
    EXPECT_FALSE(GetTextExtentPoint32A(canvas.hdc(), nullptr, 3, &size));
    EXPECT_FALSE(GetTextExtentPoint32A(canvas.hdc(), "123", -1, &size));
    EXPECT_FALSE(GetTextExtentPoint32A(canvas.hdc(), "123", 3, nullptr));
    EXPECT_FALSE(GetTextMetricsA(canvas.hdc(), nullptr));
    EXPECT_EQ(DrawTextA(canvas.hdc(), "1", 1, nullptr, 0), 0);
    EXPECT_EQ(DrawTextA(canvas.hdc(), "1", -2, &rect, 0), 0);
    EXPECT_EQ(canvas.changed(), 0);
}

// ----------------------------------------------------------------------------------------------
// Threads share one glyph cache.

TEST(Font, threads_drawing_at_once_get_the_same_pixels_as_one_thread) {
    // Each thread renders every character at sizes of its own from the same faces, so the
    // threads switch the shared faces' sizes under one another unless the cache is guarded.
    std::string characters;
    for (int c = 0x20; c < 0x100; ++c)
        characters += static_cast<char>(c);
    auto draw = [&](int thread) {
        Canvas canvas(400, 80);
        for (int step = 0; step < 6; ++step) {
            Font font = makeFont(-(8 + thread + 4 * step), step % 2 == 0 ? FW_MEDIUM : FW_BOLD,
                                 thread % 2 == 0 ? "Arial" : "Small Fonts");
            canvas.select(font);
            RECT rect{0, 0, 400, 80};
            DrawTextA(canvas.hdc(), characters.c_str(), -1, &rect, DT_WORDBREAK | DT_NOPREFIX);
        }
        return canvas.surface.pixels;
    };
    constexpr int kThreads = 4;
    std::vector<std::vector<uint32_t>> alone;
    for (int i = 0; i < kThreads; ++i)
        alone.push_back(draw(i));
    PlatformSetFontRoot(nullptr); // empty every cache, so the threads render the glyphs anew
    std::vector<std::vector<uint32_t>> together(kThreads);
    std::vector<std::thread> threads;
    for (int i = 0; i < kThreads; ++i)
        threads.emplace_back([&, i] { together[i] = draw(i); });
    for (std::thread& thread : threads)
        thread.join();
    for (int i = 0; i < kThreads; ++i)
        EXPECT_EQ(together[i] == alone[i], true) << "thread " << i;
}

} // namespace
