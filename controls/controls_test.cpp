#include "controls/bitmap_set.h"
#include "controls/controls_test_support.h"
#include "controls/palette.h"
#include "controls/wobject.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <iterator>
#include <memory>
#include <vector>

using namespace orq::controls;
using namespace controls_test;

namespace {

constexpr COLORREF kWhite = RGB(255, 255, 255);

bool classRegistered() {
    WNDCLASSA info{};
    return GetClassInfoA(controlsModule(), "WObject", &info) != FALSE;
}

UINT registeredClassStyle() {
    WNDCLASSA info{};
    GetClassInfoA(controlsModule(), "WObject", &info);
    return info.style;
}

// A control that logs what its own handler gets.
class RecordingControl : public WObject {
  public:
    RecordingControl(HWND parent, int id, int x, int y, UINT classStyle = 0)
        : WObject(parent, id, kControlStyle, classStyle) {
        place(x, y, 20, 10);
        setReady();
    }

  protected:
    LRESULT handleMessage(HWND, UINT message, WPARAM wParam, LPARAM lParam) override {
        if (message == WM_LBUTTONDOWN || message == WM_LBUTTONDBLCLK || message == WM_RBUTTONDOWN)
            events().push_back(
                {"control", message, 0, static_cast<UINT_PTR>(id()), wParam, lParam});
        return 0;
    }
};

// Spy on a control's window during its destruction: what the window still holds.
LONG_PTR userDataAtDestroy = -1;
LONG_PTR idAtDestroy = -1;
WNDPROC controlProcedure = nullptr;
LRESULT CALLBACK destroySpy(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_DESTROY) {
        userDataAtDestroy = GetWindowLongPtrA(window, GWLP_USERDATA);
        idAtDestroy = GetWindowLongPtrA(window, GWLP_ID);
    }
    return CallWindowProcA(controlProcedure, window, message, wParam, lParam);
}

} // namespace

TEST(WObject, class_is_registered_with_the_first_control_and_removed_with_the_last) {
    EditorWindow editor;
    ASSERT_FALSE(classRegistered());
    auto first = std::make_unique<RecordingControl>(editor.hwnd(), 1, 0, 0);
    EXPECT_TRUE(classRegistered());
    EXPECT_EQ(registeredClassStyle(), 0x100Bu) << "the style without a given class style";
    auto second = std::make_unique<RecordingControl>(editor.hwnd(), 2, 30, 0);
    EXPECT_EQ(WObject::liveControls(), 2);
    first.reset();
    EXPECT_TRUE(classRegistered()) << "one control is still alive";
    second.reset();
    EXPECT_FALSE(classRegistered());
    EXPECT_EQ(WObject::liveControls(), 0);

    // Registered anew, here with a class style of its own (double clicks always added).
    RecordingControl again(editor.hwnd(), 3, 0, 0, CS_HREDRAW);
    EXPECT_TRUE(classRegistered());
    EXPECT_EQ(registeredClassStyle(), static_cast<UINT>(CS_HREDRAW | CS_DBLCLKS));
}

TEST(WObject, window_carries_the_class_title_id_and_no_parent_notify) {
    EditorWindow editor;
    RecordingControl control(editor.hwnd(), 105, 10, 20);
    char text[32] = {};
    GetClassNameA(control.hwnd(), text, sizeof text);
    EXPECT_STREQ(text, "WObject");
    GetWindowTextA(control.hwnd(), text, sizeof text);
    EXPECT_STREQ(text, "WObject");
    EXPECT_EQ(GetDlgCtrlID(control.hwnd()), 105);
    EXPECT_EQ(GetParent(control.hwnd()), editor.hwnd());
    EXPECT_NE(GetWindowLongA(control.hwnd(), GWL_EXSTYLE) & WS_EX_NOPARENTNOTIFY, 0);
    EXPECT_EQ(static_cast<DWORD>(GetWindowLongA(control.hwnd(), GWL_STYLE)) & kControlStyle,
              kControlStyle);
    EXPECT_EQ(GetWindowLongPtrA(control.hwnd(), GWLP_USERDATA),
              reinterpret_cast<LONG_PTR>(static_cast<WObject*>(&control)));
}

TEST(WObject, left_click_notifies_the_parent_before_the_control_handles_it) {
    EditorWindow editor;
    RecordingControl control(editor.hwnd(), 105, 10, 20);
    PlatformInjectMouse(editor.hwnd(), WM_LBUTTONDOWN, 15, 25, MK_LBUTTON);
    pump();
    const std::vector<Event> seen = events();
    ASSERT_EQ(seen.size(), 2u);
    EXPECT_EQ(seen[0].who, "parent");
    EXPECT_EQ(seen[0].message, static_cast<UINT>(WM_NOTIFY));
    EXPECT_EQ(seen[0].code, kNotifyLeftDown);
    EXPECT_EQ(seen[0].id, 105u);
    EXPECT_EQ(seen[1].who, "control");
    EXPECT_EQ(seen[1].message, static_cast<UINT>(WM_LBUTTONDOWN));
    EXPECT_EQ(GET_X_LPARAM(seen[1].lParam), 5) << "client coordinates of the control";
}

TEST(WObject, double_and_right_clicks_have_their_own_codes_and_id_zero_notifies_nothing) {
    EditorWindow editor;
    RecordingControl numbered(editor.hwnd(), 7, 10, 20);
    RecordingControl unnumbered(editor.hwnd(), 0, 40, 20);
    PlatformInjectMouse(editor.hwnd(), WM_LBUTTONDOWN, 15, 25, MK_LBUTTON);
    PlatformInjectMouse(editor.hwnd(), WM_LBUTTONUP, 15, 25, 0);
    PlatformInjectMouse(editor.hwnd(), WM_LBUTTONDOWN, 15, 25, MK_LBUTTON);
    PlatformInjectMouse(editor.hwnd(), WM_LBUTTONUP, 15, 25, 0);
    PlatformInjectMouse(editor.hwnd(), WM_RBUTTONDOWN, 15, 25, MK_RBUTTON);
    PlatformInjectMouse(editor.hwnd(), WM_RBUTTONUP, 15, 25, 0);
    PlatformInjectMouse(editor.hwnd(), WM_LBUTTONDOWN, 45, 25, MK_LBUTTON);
    pump();
    std::vector<UINT> codes;
    int unnumberedPresses = 0;
    for (const Event& e : events()) {
        if (e.who == "parent") codes.push_back(e.code);
        if (e.who == "control" && e.id == 0) ++unnumberedPresses;
    }
    EXPECT_EQ(codes,
              (std::vector<UINT>{kNotifyLeftDown, kNotifyLeftDoubleClick, kNotifyRightDown}));
    EXPECT_EQ(unnumberedPresses, 1) << "the control without an id still handles its press";
}

TEST(WObject, destruction_clears_the_pointer_and_id_before_the_window_goes) {
    EditorWindow editor;
    auto control = std::make_unique<RecordingControl>(editor.hwnd(), 9, 0, 0);
    HWND window = control->hwnd();
    controlProcedure = reinterpret_cast<WNDPROC>(GetWindowLongPtrA(window, GWLP_WNDPROC));
    SetWindowLongPtrA(window, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&destroySpy));
    control.reset();
    EXPECT_EQ(userDataAtDestroy, 0) << "a message during destruction would find the control";
    EXPECT_EQ(idAtDestroy, 0);
    EXPECT_FALSE(IsWindow(window));
}

TEST(BitmapSet, a_24_bit_first_bitmap_gives_no_palette_and_drawing_selects_none) {
    BitmapSet set;
    const int ids[] = {kRed, kGreen, kBlue};
    ASSERT_TRUE(set.load(thisProgram(), ids, 3));
    EXPECT_EQ(set.palette(), nullptr);
    EXPECT_EQ(set.size(kGreen).cx, 8);
    EXPECT_EQ(set.size(kGreen).cy, 6);

    HDC screen = GetDC(nullptr);
    HDC canvas = CreateCompatibleDC(screen);
    HBITMAP target = CreateCompatibleBitmap(screen, 20, 10);
    ReleaseDC(nullptr, screen);
    HGDIOBJ previous = SelectObject(canvas, target);
    PatBlt(canvas, 0, 0, 20, 10, WHITENESS);
    const HGDIOBJ paletteBefore = GetCurrentObject(canvas, OBJ_PAL);
    set.draw(canvas, 3, 2, kGreen);
    EXPECT_EQ(GetCurrentObject(canvas, OBJ_PAL), paletteBefore);
    EXPECT_EQ(GetPixel(canvas, 3, 2), RGB(0, 0x7f, 0)) << "the border's corner";
    EXPECT_EQ(GetPixel(canvas, 4, 3), RGB(0, 0xff, 0)) << "the face";
    EXPECT_EQ(GetPixel(canvas, 10, 7), RGB(0, 0x7f, 0)) << "the opposite corner";
    EXPECT_EQ(GetPixel(canvas, 11, 7), kWhite) << "nothing beyond the bitmap";
    EXPECT_EQ(GetPixel(canvas, 2, 2), kWhite);
    EXPECT_EQ(GetPixel(canvas, 3, 8), kWhite);
    SelectObject(canvas, previous);
    DeleteObject(target);
    DeleteDC(canvas);
}

TEST(BitmapSet, an_8_bit_first_bitmap_gives_its_colour_table_as_palette) {
    BitmapSet set;
    const int ids[] = {kEightBit, kRed};
    ASSERT_TRUE(set.load(thisProgram(), ids, 2));
    ASSERT_NE(set.palette(), nullptr);
    PALETTEENTRY entries[8] = {};
    ASSERT_EQ(GetPaletteEntries(set.palette(), 0, 8, entries), 4u) << "the table's four colours";
    const PALETTEENTRY expected[4] = {{0, 0, 0, 0}, {255, 0, 0, 0}, {0, 255, 0, 0}, {0, 0, 255, 0}};
    for (int i = 0; i < 4; ++i) {
        EXPECT_EQ(entries[i].peRed, expected[i].peRed) << "entry " << i;
        EXPECT_EQ(entries[i].peGreen, expected[i].peGreen) << "entry " << i;
        EXPECT_EQ(entries[i].peBlue, expected[i].peBlue) << "entry " << i;
    }
    // The bitmap's pixels: bottom row (stored first) 1 2 3, top row 3 2 1.
    HDC screen = GetDC(nullptr);
    HDC canvas = CreateCompatibleDC(screen);
    HBITMAP target = CreateCompatibleBitmap(screen, 3, 2);
    ReleaseDC(nullptr, screen);
    HGDIOBJ previous = SelectObject(canvas, target);
    set.draw(canvas, 0, 0, kEightBit);
    EXPECT_EQ(GetPixel(canvas, 0, 0), RGB(0, 0, 255));
    EXPECT_EQ(GetPixel(canvas, 0, 1), RGB(255, 0, 0));
    EXPECT_EQ(GetPixel(canvas, 1, 1), RGB(0, 255, 0));
    SelectObject(canvas, previous);
    DeleteObject(target);
    DeleteDC(canvas);
}

TEST(BitmapSet, unknown_numbers_give_slot_zero_and_missing_resources_stay_empty) {
    BitmapSet set;
    const int ids[] = {kRed, 299, kBlue};
    EXPECT_FALSE(set.load(thisProgram(), ids, 3)) << "299 is not a resource";
    EXPECT_NE(set.bitmap(kRed), nullptr);
    EXPECT_EQ(set.bitmap(299), nullptr);
    EXPECT_EQ(set.bitmap(12345), set.bitmap(kRed));
    EXPECT_EQ(set.size(299).cx, 0);
    // Numbers counted from an offset.
    BitmapSet offset;
    const int fromOffset[] = {kRed, kGreen};
    ASSERT_TRUE(offset.load(thisProgram(), fromOffset, 2, 200));
    EXPECT_EQ(offset.bitmap(2), offset.bitmap(kGreen - 200));
    EXPECT_NE(offset.bitmap(2), offset.bitmap(1));
    set.destroy();
    EXPECT_EQ(set.bitmap(kRed), nullptr);
    HDC screen = GetDC(nullptr);
    drawBitmap(screen, 0, 0, nullptr, nullptr); // a null bitmap draws nothing
    ReleaseDC(nullptr, screen);
}

TEST(Palette, identity_palette_refers_to_every_system_index_explicitly) {
    HPALETTE palette = createIdentityPalette();
    ASSERT_NE(palette, nullptr);
    PALETTEENTRY entries[257] = {};
    ASSERT_EQ(GetPaletteEntries(palette, 0, 257, entries), 256u);
    for (int i = 0; i < 256; ++i) {
        ASSERT_EQ(entries[i].peFlags, PC_EXPLICIT) << "entry " << i;
        ASSERT_EQ(entries[i].peRed | (entries[i].peGreen << 8), i) << "entry " << i;
    }
    DeleteObject(palette);
}

// A top-level window on an 8-bit palette display that counts its WM_ERASEBKGND messages.
class PaletteDisplayWindow {
  public:
    PaletteDisplayWindow() {
        PlatformSetDisplayBits(8);
        WNDCLASSA wc{};
        wc.lpfnWndProc = procedure;
        wc.hInstance = thisProgram();
        wc.lpszClassName = kClass;
        RegisterClassA(&wc);
        window_ = CreateWindowExA(0, kClass, "palette", WS_OVERLAPPED | WS_VISIBLE, 0, 0, 60, 40,
                                  nullptr, nullptr, thisProgram(), nullptr);
        erases = 0;
    }
    ~PaletteDisplayWindow() {
        DestroyWindow(window_);
        UnregisterClassA(kClass, thisProgram());
        PlatformSetDisplayBits(32);
    }
    HWND window() const { return window_; }
    // Paints what is pending; true when the window had something to paint.
    bool paintPending() {
        RECT pending{};
        const bool invalid = GetUpdateRect(window_, &pending, FALSE) != FALSE;
        UpdateWindow(window_);
        return invalid;
    }
    static inline int erases = 0;

  private:
    static constexpr const char* kClass = "PaletteDisplayWindow";
    static LRESULT CALLBACK procedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
        if (message == WM_ERASEBKGND) ++erases;
        return DefWindowProcA(window, message, wParam, lParam);
    }
    HWND window_ = nullptr;
};

HPALETTE paletteOf(int count, int seed) {
    std::vector<BYTE> block(sizeof(LOGPALETTE) + sizeof(PALETTEENTRY) * size_t(count));
    auto* log = reinterpret_cast<LOGPALETTE*>(block.data());
    log->palVersion = 0x300;
    log->palNumEntries = static_cast<WORD>(count);
    for (int i = 0; i < count; ++i)
        log->palPalEntry[i] = {static_cast<BYTE>(seed + i * 7), static_cast<BYTE>(seed * 3 + i),
                               static_cast<BYTE>(101 + i * 5), 0};
    return CreatePalette(log);
}

TEST(Palette, a_new_palette_invalidates_without_erasing_and_the_identity_changes_nothing) {
    PaletteDisplayWindow display;
    ASSERT_NE(display.window(), nullptr);
    display.paintPending();
    display.erases = 0;
    HPALETTE identity = createIdentityPalette();
    PALETTEENTRY entries[257] = {};
    ASSERT_EQ(GetPaletteEntries(identity, 0, 257, entries), 256u);
    EXPECT_TRUE(std::all_of(std::begin(entries), std::begin(entries) + 256,
                            [](const PALETTEENTRY& e) { return e.peFlags == PC_EXPLICIT; }));
    DeleteObject(identity);

    // Another palette takes entries of the system palette first.
    HPALETTE other = paletteOf(12, 17);
    HDC screen = GetDC(nullptr);
    HPALETTE screenBefore = SelectPalette(screen, other, FALSE);
    ASSERT_GT(RealizePalette(screen), 0u);

    HPALETTE own = paletteOf(8, 63);
    EXPECT_TRUE(realizeIdentityPalette(display.window(), true, own)) << "new colours took entries";
    EXPECT_TRUE(display.paintPending()) << "the window is to be painted again";
    EXPECT_EQ(display.erases, 0) << "a given palette's repaint keeps the background";
    EXPECT_FALSE(realizeIdentityPalette(display.window(), false, own))
        << "realised again: nothing changes";
    EXPECT_FALSE(display.paintPending());

    // The identity palette names system entries: realising it never changes one.
    EXPECT_FALSE(realizeIdentityPalette(display.window(), false));
    EXPECT_FALSE(realizeIdentityPalette(display.window(), true));
    EXPECT_FALSE(display.paintPending());
    EXPECT_EQ(display.erases, 0);

    SelectPalette(screen, screenBefore, FALSE);
    ReleaseDC(nullptr, screen);
    DeleteObject(own);
    DeleteObject(other);
}

TEST(Palette, drawing_a_bitmap_restores_the_targets_palette) {
    BitmapSet set;
    const int ids[] = {kEightBit};
    ASSERT_TRUE(set.load(thisProgram(), ids, 1));
    HDC screen = GetDC(nullptr);
    HDC canvas = CreateCompatibleDC(screen);
    ReleaseDC(nullptr, screen);
    const HGDIOBJ before = GetCurrentObject(canvas, OBJ_PAL);
    set.draw(canvas, 0, 0, kEightBit);
    EXPECT_EQ(GetCurrentObject(canvas, OBJ_PAL), before);
    DeleteDC(canvas);
}
