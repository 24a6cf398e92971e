#include "controls/clipboard.h"

#include "controls/clipboard_test_support.h"
#include "controls/controls_test_support.h"

#include <gtest/gtest.h>

namespace {

using controls_test::EditorWindow;
using orq::controls::copyWindowAreaToClipboard;

// Two coloured blocks, so a copy taken from the wrong place or the wrong way round shows.
void paintBlocks(HWND window) {
    HDC dc = GetDC(window);
    const RECT all{0, 0, 60, 40}, left{10, 5, 25, 30}, right{25, 5, 40, 30};
    HBRUSH grey = CreateSolidBrush(RGB(0x40, 0x40, 0x40));
    HBRUSH red = CreateSolidBrush(RGB(0xE0, 0x20, 0x10));
    HBRUSH blue = CreateSolidBrush(RGB(0x10, 0x30, 0xC0));
    FillRect(dc, &all, grey);
    FillRect(dc, &left, red);
    FillRect(dc, &right, blue);
    DeleteObject(grey);
    DeleteObject(red);
    DeleteObject(blue);
    ReleaseDC(window, dc);
}

TEST(Clipboard, copy_holds_the_area_as_shown_and_inverted_copy_its_complement) {
    EditorWindow window(60, 40);
    paintBlocks(window.hwnd());
    const RECT area{8, 3, 42, 33};
    for (bool inverted : {false, true}) {
        ASSERT_TRUE(copyWindowAreaToClipboard(window.hwnd(), area, inverted));
        // The corners straddle the blocks: grey, red, blue as painted (or their complements).
        const auto corners = [inverted](HDC dc, int width, int) {
            const COLORREF red = RGB(0xE0, 0x20, 0x10), blue = RGB(0x10, 0x30, 0xC0);
            EXPECT_EQ(GetPixel(dc, 5, 5), inverted ? (~red & 0xFFFFFF) : red);
            EXPECT_EQ(GetPixel(dc, width - 5, 5), inverted ? (~blue & 0xFFFFFF) : blue);
        };
        EXPECT_EQ(controls_test::clipboardDifferencesFromWindow(window.hwnd(), area, inverted, corners), 0)
            << (inverted ? "inverted copy" : "copy");
    }
}

TEST(Clipboard, copy_without_a_window_is_refused_and_leaves_the_clipboard) {
    EditorWindow window(60, 40);
    paintBlocks(window.hwnd());
    ASSERT_TRUE(copyWindowAreaToClipboard(window.hwnd(), RECT{0, 0, 10, 10}, false));
    ASSERT_TRUE(OpenClipboard(nullptr));
    HANDLE before = GetClipboardData(CF_BITMAP);
    CloseClipboard();
    EXPECT_FALSE(copyWindowAreaToClipboard(nullptr, RECT{0, 0, 10, 10}, false));
    ASSERT_TRUE(OpenClipboard(nullptr));
    EXPECT_EQ(GetClipboardData(CF_BITMAP), before);
    CloseClipboard();
}

} // namespace
