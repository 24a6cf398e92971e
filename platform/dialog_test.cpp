// The dialog manager: modal and modeless dialogs from the test program's templates 160 (an
// about box) and 161 (a settings box), driven by injected input and read back as pixels.
#include "user_test_support.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using usertest::pump;

constexpr int kAboutBox = 160;
constexpr int kSettingsBox = 161;
constexpr int kVersionLine = 1001;
constexpr int kNameField = 201;
constexpr int kAmountField = 202;
constexpr int kLoudBox = 203;
constexpr int kFrame = 204;

// What the test dialog procedure saw and how it is to act.
struct Script {
    std::vector<std::pair<UINT, WPARAM>> keys; // injected on WM_INITDIALOG
    int clickId = 0;                           // a button clicked on WM_INITDIALOG
    HWND owner = nullptr;
    BOOL ownerEnabledInside = TRUE;
    LPARAM initParam = 0;
    std::vector<int> commands;
    HBRUSH staticBrush = nullptr;
    bool endOnCommand = true;
};
Script* script = nullptr;

// The centre of control `id` in window coordinates of its dialog (what PlatformInjectMouse takes).
POINT centreOf(HWND dialog, int id) {
    RECT frame{}, control{};
    GetWindowRect(dialog, &frame);
    GetWindowRect(GetDlgItem(dialog, id), &control);
    return POINT{(control.left + control.right) / 2 - frame.left,
                 (control.top + control.bottom) / 2 - frame.top};
}

void click(HWND dialog, int id) {
    const POINT at = centreOf(dialog, id);
    PlatformInjectMouse(dialog, WM_LBUTTONDOWN, at.x, at.y, MK_LBUTTON);
    PlatformInjectMouse(dialog, WM_LBUTTONUP, at.x, at.y, 0);
}

INT_PTR CALLBACK scriptedProcedure(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_INITDIALOG:
        script->initParam = lParam;
        if (script->owner != nullptr) script->ownerEnabledInside = IsWindowEnabled(script->owner);
        for (const auto& [kind, key] : script->keys)
            PlatformInjectKey(dialog, kind, key, 0);
        if (script->clickId != 0) click(dialog, script->clickId);
        return TRUE;
    case WM_COMMAND:
        script->commands.push_back(LOWORD(wParam));
        if (script->endOnCommand && HIWORD(wParam) == BN_CLICKED) EndDialog(dialog, LOWORD(wParam));
        return TRUE;
    case WM_CTLCOLORSTATIC:
        return reinterpret_cast<INT_PTR>(script->staticBrush);
    default:
        return FALSE;
    }
}

LRESULT CALLBACK plainProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    return DefWindowProcA(window, message, wParam, lParam);
}

class DialogTest : public usertest::UserTest {
  protected:
    void SetUp() override {
        UserTest::SetUp();
        script = &script_;
        // The about box names a class of the controls library; a plain one stands in.
        WNDCLASSA windowClass{};
        windowClass.lpfnWndProc = plainProcedure;
        windowClass.lpszClassName = "WObject";
        RegisterClassA(&windowClass);
    }
    void TearDown() override {
        for (HWND dialog : modeless_)
            if (IsWindow(dialog)) DestroyWindow(dialog);
        UnregisterClassA("WObject", nullptr);
        script = nullptr;
        UserTest::TearDown();
    }
    HWND modeless(int templateId, HWND owner = nullptr) {
        HWND dialog =
            CreateDialogParamA(nullptr, MAKEINTRESOURCEA(templateId), owner, scriptedProcedure, 0);
        modeless_.push_back(dialog);
        ShowWindow(dialog, SW_SHOW);
        pump();
        return dialog;
    }
    INT_PTR modal(int templateId, HWND owner) {
        script_.owner = owner;
        return DialogBoxParamA(nullptr, MAKEINTRESOURCEA(templateId), owner, scriptedProcedure, 77);
    }
    Script script_;

  private:
    std::vector<HWND> modeless_;
};

// Pixels of a control (window coordinates of the dialog) darker than the button face.
int darkPixels(HWND dialog, int id) {
    RECT frame{}, control{};
    GetWindowRect(dialog, &frame);
    GetWindowRect(GetDlgItem(dialog, id), &control);
    int dark = 0;
    for (int y = control.top; y < control.bottom; ++y)
        for (int x = control.left; x < control.right; ++x) {
            const COLORREF colour = PlatformWindowPixel(dialog, x - frame.left, y - frame.top);
            if (GetRValue(colour) + GetGValue(colour) + GetBValue(colour) < 200) ++dark;
        }
    return dark;
}

TEST_F(DialogTest, modal_box_returns_the_clicked_button_and_disables_its_owner_meanwhile) {
    HWND owner = topLevel(50, 50, 300, 200);
    script_.clickId = IDOK;
    const INT_PTR result = modal(kAboutBox, owner);
    EXPECT_EQ(result, IDOK);
    EXPECT_EQ(script_.initParam, 77);
    EXPECT_FALSE(script_.ownerEnabledInside);
    EXPECT_TRUE(IsWindowEnabled(owner));
    EXPECT_EQ(FindWindowA(nullptr, "About Orq Test"), nullptr) << "the box is destroyed";
}

TEST_F(DialogTest, enter_gives_the_default_button_escape_and_close_give_cancel) {
    HWND owner = topLevel(50, 50, 300, 200);
    script_.keys = {{WM_KEYDOWN, VK_RETURN}, {WM_CHAR, '\r'}};
    EXPECT_EQ(modal(kAboutBox, owner), IDOK);
    EXPECT_EQ(script_.commands, std::vector<int>{IDOK});

    script_ = Script{};
    script_.keys = {{WM_KEYDOWN, VK_ESCAPE}};
    EXPECT_EQ(modal(kAboutBox, owner), IDCANCEL);

    // Focus on Cancel: Enter clicks the focused push button rather than the default one.
    script_ = Script{};
    script_.keys = {{WM_KEYDOWN, VK_TAB},
                    {WM_KEYDOWN, VK_TAB},
                    {WM_KEYDOWN, VK_TAB},
                    {WM_KEYDOWN, VK_TAB},
                    {WM_KEYDOWN, VK_RETURN}};
    EXPECT_EQ(modal(kSettingsBox, owner), IDCANCEL);
    EXPECT_TRUE(IsWindowEnabled(owner));
}

TEST_F(DialogTest, the_caption_close_button_cancels) {
    HWND owner = topLevel(50, 50, 300, 200);
    HWND dialog = modeless(kAboutBox, owner);
    ASSERT_NE(dialog, nullptr);
    SendMessageA(dialog, WM_SYSCOMMAND, SC_CLOSE, 0);
    EXPECT_EQ(script_.commands, std::vector<int>{IDCANCEL});
}

TEST_F(DialogTest, missing_template_gives_minus_one_and_leaves_the_owner_enabled) {
    HWND owner = topLevel(50, 50, 300, 200);
    SetLastError(0);
    EXPECT_EQ(modal(999, owner), -1);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_RESOURCE_NAME_NOT_FOUND));
    EXPECT_TRUE(IsWindowEnabled(owner));
    SetLastError(0);
    EXPECT_EQ(CreateDialogParamA(nullptr, MAKEINTRESOURCEA(999), owner, scriptedProcedure, 0),
              nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_RESOURCE_NAME_NOT_FOUND));
    EXPECT_FALSE(EndDialog(owner, 1)) << "not a dialog";
    EXPECT_FALSE(SetDlgItemTextA(owner, 5, "x"));
}

TEST_F(DialogTest, set_item_text_changes_the_static_text_and_its_pixels) {
    HWND dialog = modeless(kAboutBox);
    ASSERT_NE(dialog, nullptr);
    char text[64];
    EXPECT_EQ(GetDlgItemTextA(dialog, kVersionLine, text, sizeof text), 12u);
    EXPECT_STREQ(text, " Version: %s");
    const int before = darkPixels(dialog, kVersionLine);
    EXPECT_GT(before, 20) << "the version line shows";
    ASSERT_TRUE(SetDlgItemTextA(dialog, kVersionLine, ""));
    pump();
    EXPECT_EQ(darkPixels(dialog, kVersionLine), 0);
    ASSERT_TRUE(SetDlgItemTextA(dialog, kVersionLine, "Version: 1.2.3 (long text here)"));
    pump();
    EXPECT_GT(darkPixels(dialog, kVersionLine), before);
    EXPECT_EQ(GetDlgItemTextA(dialog, 4242, text, sizeof text), 0u);
    EXPECT_STREQ(text, "");
}

TEST_F(DialogTest, the_dialog_procedure_brush_paints_the_static_background) {
    script_.staticBrush = CreateSolidBrush(RGB(255, 0, 0));
    HWND dialog = modeless(kAboutBox);
    ASSERT_NE(dialog, nullptr);
    ASSERT_TRUE(SetDlgItemTextA(dialog, kVersionLine, ""));
    pump();
    const POINT at = centreOf(dialog, kVersionLine);
    EXPECT_EQ(PlatformWindowPixel(dialog, at.x, at.y), RGB(255, 0, 0));
    // The dialog itself keeps the button face.
    RECT client{};
    GetClientRect(dialog, &client);
    POINT corner{client.right - 1, client.bottom - 1};
    MapWindowPoints(dialog, nullptr, &corner, 1);
    RECT frame{};
    GetWindowRect(dialog, &frame);
    EXPECT_EQ(PlatformWindowPixel(dialog, corner.x - frame.left, corner.y - frame.top),
              GetSysColor(COLOR_3DFACE));
    DestroyWindow(dialog);
    DeleteObject(script_.staticBrush);
}

TEST_F(DialogTest, modeless_dialog_takes_tab_typing_and_enter_through_is_dialog_message) {
    script_.endOnCommand = false;
    HWND dialog = modeless(kSettingsBox);
    ASSERT_NE(dialog, nullptr);
    EXPECT_EQ(GetFocus(), GetDlgItem(dialog, kNameField)) << "the first tab stop";
    auto run = [&] {
        MSG message{};
        while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE))
            if (!IsDialogMessageA(dialog, &message)) {
                TranslateMessage(&message);
                DispatchMessageA(&message);
            }
    };
    for (char c : std::string("ab\bc"))
        PlatformInjectKey(dialog, WM_CHAR, static_cast<WPARAM>(c), 0);
    PlatformInjectKey(dialog, WM_KEYDOWN, VK_TAB, 0);
    for (char c : std::string("4x2"))
        PlatformInjectKey(dialog, WM_CHAR, static_cast<WPARAM>(c), 0);
    PlatformInjectKey(dialog, WM_KEYDOWN, VK_TAB, 0);
    PlatformInjectKey(dialog, WM_KEYUP, VK_SPACE, 0); // toggles the focused check box
    run();
    char text[32];
    GetDlgItemTextA(dialog, kNameField, text, sizeof text);
    EXPECT_STREQ(text, "ac");
    BOOL translated = FALSE;
    EXPECT_EQ(GetDlgItemInt(dialog, kAmountField, &translated, FALSE), 42u) << "x refused";
    EXPECT_TRUE(translated);
    EXPECT_EQ(IsDlgButtonChecked(dialog, kLoudBox), BST_CHECKED);
    EXPECT_EQ(GetFocus(), GetDlgItem(dialog, kLoudBox));
    script_.commands.clear();
    PlatformInjectKey(dialog, WM_KEYDOWN, VK_RETURN, 0);
    run();
    EXPECT_EQ(script_.commands, std::vector<int>{IDOK}) << "Enter on a check box: the default";
    // Shift+Tab goes back past the fields' order.
    PlatformInjectKey(dialog, WM_KEYDOWN, VK_SHIFT, 0);
    PlatformInjectKey(dialog, WM_KEYDOWN, VK_TAB, 0);
    PlatformInjectKey(dialog, WM_KEYUP, VK_SHIFT, 0);
    run();
    EXPECT_EQ(GetFocus(), GetDlgItem(dialog, kAmountField));
}

TEST_F(DialogTest, item_numbers_read_and_write_with_their_limits) {
    HWND dialog = modeless(kSettingsBox);
    ASSERT_NE(dialog, nullptr);
    BOOL translated = TRUE;
    ASSERT_TRUE(SetDlgItemInt(dialog, kNameField, static_cast<UINT>(-12), TRUE));
    EXPECT_EQ(static_cast<int>(GetDlgItemInt(dialog, kNameField, &translated, TRUE)), -12);
    EXPECT_TRUE(translated);
    EXPECT_EQ(GetDlgItemInt(dialog, kNameField, &translated, FALSE), 0u);
    EXPECT_FALSE(translated) << "a sign where none is allowed";
    SetDlgItemTextA(dialog, kNameField, "4294967296");
    EXPECT_EQ(GetDlgItemInt(dialog, kNameField, &translated, FALSE), 0u);
    EXPECT_FALSE(translated) << "too big";
    SetDlgItemTextA(dialog, kNameField, "2147483648");
    GetDlgItemInt(dialog, kNameField, &translated, TRUE);
    EXPECT_FALSE(translated) << "too big for a signed number";
    SetDlgItemTextA(dialog, kNameField, " 17 ");
    EXPECT_EQ(GetDlgItemInt(dialog, kNameField, &translated, FALSE), 17u);
    EXPECT_TRUE(translated);
    EXPECT_EQ(SendDlgItemMessageA(dialog, kLoudBox, BM_GETCHECK, 0, 0), BST_UNCHECKED);
    CheckDlgButton(dialog, kLoudBox, BST_CHECKED);
    EXPECT_EQ(IsDlgButtonChecked(dialog, kLoudBox), BST_CHECKED);
}

TEST_F(DialogTest, controls_land_where_map_dialog_rect_puts_their_dialog_units) {
    HWND dialog = modeless(kSettingsBox);
    ASSERT_NE(dialog, nullptr);
    RECT units{7, 7, 7 + 80, 7 + 12};
    ASSERT_TRUE(MapDialogRect(dialog, &units));
    RECT field{};
    GetWindowRect(GetDlgItem(dialog, kNameField), &field);
    MapWindowPoints(nullptr, dialog, reinterpret_cast<POINT*>(&field), 2);
    EXPECT_EQ(field.left, units.left);
    EXPECT_EQ(field.top, units.top);
    EXPECT_EQ(field.right, units.right);
    EXPECT_EQ(field.bottom, units.bottom);
    // An 8-point sans serif: about 6 pixels a character across and 13 down at 96 dots per inch,
    // so 4 units across are near 6 pixels and 8 units down near 13.
    RECT base{0, 0, 4, 8};
    MapDialogRect(dialog, &base);
    EXPECT_GE(base.right, 5);
    EXPECT_LE(base.right, 7);
    EXPECT_GE(base.bottom, 11);
    EXPECT_LE(base.bottom, 16);
    // The client area is the template's size.
    RECT client{}, size{0, 0, 160, 90};
    GetClientRect(dialog, &client);
    MapDialogRect(dialog, &size);
    EXPECT_EQ(client.right, size.right);
    EXPECT_EQ(client.bottom, size.bottom);
    EXPECT_FALSE(MapDialogRect(GetDlgItem(dialog, kNameField), &size));
    EXPECT_EQ(GetDlgCtrlID(GetDlgItem(dialog, kFrame)), kFrame);
}

TEST_F(DialogTest, a_held_button_looks_pressed_and_clicks_only_when_released_inside) {
    script_.endOnCommand = false;
    HWND dialog = modeless(kSettingsBox);
    ASSERT_NE(dialog, nullptr);
    RECT frame{}, button{};
    GetWindowRect(dialog, &frame);
    GetWindowRect(GetDlgItem(dialog, IDCANCEL), &button);
    // The top-left edge: highlight when raised, shadow when pressed.
    const int edgeX = button.left - frame.left, edgeY = button.top - frame.top;
    EXPECT_EQ(PlatformWindowPixel(dialog, edgeX, edgeY), GetSysColor(COLOR_3DHILIGHT));
    const POINT at = centreOf(dialog, IDCANCEL);
    PlatformInjectMouse(dialog, WM_LBUTTONDOWN, at.x, at.y, MK_LBUTTON);
    pump();
    EXPECT_EQ(PlatformWindowPixel(dialog, edgeX, edgeY), GetSysColor(COLOR_3DSHADOW));
    PlatformInjectMouse(dialog, WM_MOUSEMOVE, at.x, at.y + 40, MK_LBUTTON);
    pump();
    EXPECT_EQ(PlatformWindowPixel(dialog, edgeX, edgeY), GetSysColor(COLOR_3DHILIGHT));
    PlatformInjectMouse(dialog, WM_LBUTTONUP, at.x, at.y + 40, 0);
    pump();
    EXPECT_TRUE(script_.commands.empty()) << "released outside";
    click(dialog, IDCANCEL);
    pump();
    EXPECT_EQ(script_.commands, std::vector<int>{IDCANCEL});
    click(dialog, kLoudBox);
    pump();
    EXPECT_EQ(IsDlgButtonChecked(dialog, kLoudBox), BST_CHECKED);
}

} // namespace

namespace {

INT_PTR CALLBACK keepsFocusProcedure(HWND, UINT message, WPARAM, LPARAM) {
    return message == WM_INITDIALOG ? FALSE : FALSE; // FALSE: the procedure placed the focus
}

TEST_F(DialogTest, template_in_memory_makes_the_same_box_and_false_from_init_keeps_the_focus) {
    HRSRC resource = FindResourceA(nullptr, MAKEINTRESOURCEA(kSettingsBox), RT_DIALOG);
    ASSERT_NE(resource, nullptr);
    const auto* bytes =
        static_cast<const DLGTEMPLATE*>(LockResource(LoadResource(nullptr, resource)));
    HWND owner = topLevel(50, 50, 300, 200);
    SetFocus(owner);
    HWND dialog = CreateDialogIndirectParamA(nullptr, bytes, owner, keepsFocusProcedure, 0);
    ASSERT_NE(dialog, nullptr);
    EXPECT_NE(GetDlgItem(dialog, kFrame), nullptr);
    EXPECT_FALSE(IsWindowVisible(dialog)) << "the template is not WS_VISIBLE";
    EXPECT_EQ(GetFocus(), owner);
    char className[16];
    GetClassNameA(GetDlgItem(dialog, kNameField), className, sizeof className);
    EXPECT_STREQ(className, "EDIT");
    DestroyWindow(dialog);
    SetLastError(0);
    EXPECT_EQ(DialogBoxIndirectParamA(nullptr, nullptr, owner, keepsFocusProcedure, 0), -1);
    EXPECT_NE(GetLastError(), 0u);
}

INT_PTR CALLBACK destroysItselfProcedure(HWND dialog, UINT message, WPARAM, LPARAM) {
    if (message == WM_INITDIALOG) {
        PostMessageA(dialog, WM_COMMAND, IDOK, 0);
        return TRUE;
    }
    if (message == WM_COMMAND) {
        if (script->endOnCommand) EndDialog(dialog, 5);
        DestroyWindow(dialog);
        return TRUE;
    }
    return FALSE;
}

TEST_F(DialogTest, modal_loop_ends_when_the_procedure_destroys_the_dialog) {
    HWND owner = topLevel(50, 50, 300, 200);
    EXPECT_EQ(
        DialogBoxParamA(nullptr, MAKEINTRESOURCEA(kSettingsBox), owner, destroysItselfProcedure, 0),
        5);
    EXPECT_TRUE(IsWindowEnabled(owner));
    script_.endOnCommand = false; // destroyed without EndDialog: the loop still ends
    EXPECT_EQ(
        DialogBoxParamA(nullptr, MAKEINTRESOURCEA(kSettingsBox), owner, destroysItselfProcedure, 0),
        0);
    EXPECT_TRUE(IsWindowEnabled(owner));
}

// What a modal box's owner hears while the box waits: the first wait gets a Tab (handled, so
// the box waits again), the second a click on OK.
struct IdleOwner {
    std::vector<std::pair<WPARAM, HWND>> told;
};
IdleOwner* idleOwner = nullptr;

LRESULT CALLBACK idleOwnerProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_ENTERIDLE && idleOwner != nullptr) {
        auto* box = reinterpret_cast<HWND>(lParam);
        idleOwner->told.emplace_back(wParam, box);
        if (idleOwner->told.size() == 1)
            PlatformInjectKey(box, WM_KEYDOWN, VK_TAB, 0);
        else
            click(box, IDOK);
        return 0;
    }
    return DefWindowProcA(window, message, wParam, lParam);
}

TEST_F(DialogTest, a_waiting_modal_box_tells_its_owner_once_per_wait_and_the_owner_may_work_it) {
    WNDCLASSA windowClass{};
    windowClass.lpfnWndProc = idleOwnerProcedure;
    windowClass.lpszClassName = "IdleOwner";
    ASSERT_NE(RegisterClassA(&windowClass), 0);
    IdleOwner heard;
    idleOwner = &heard;
    HWND owner = topLevel(50, 50, 300, 200, WS_OVERLAPPED | WS_SYSMENU, "IdleOwner");
    script_.owner = owner;
    EXPECT_EQ(DialogBoxParamA(nullptr, MAKEINTRESOURCEA(kAboutBox), owner, scriptedProcedure, 0),
              IDOK);
    idleOwner = nullptr;
    ASSERT_EQ(heard.told.size(), 2u) << "told once per wait, not again until the box has worked";
    EXPECT_EQ(heard.told[0].first, MSGF_DIALOGBOX);
    EXPECT_NE(heard.told[0].second, nullptr);
    EXPECT_EQ(heard.told[1].second, heard.told[0].second) << "lParam is the box";
    EXPECT_TRUE(IsWindowEnabled(owner));
    DestroyWindow(owner);
    UnregisterClassA("IdleOwner", nullptr);
}

TEST_F(DialogTest, bitmap_static_shows_the_module_bitmap_at_its_own_size) {
    HWND dialog = modeless(kAboutBox);
    ASSERT_NE(dialog, nullptr);
    HBITMAP bitmap = LoadBitmapA(nullptr, MAKEINTRESOURCEA(102));
    ASSERT_NE(bitmap, nullptr);
    BITMAP info{};
    ASSERT_NE(GetObjectA(bitmap, sizeof info, &info), 0);
    HWND picture = nullptr;
    for (HWND child = GetWindow(dialog, GW_CHILD); child != nullptr;
         child = GetWindow(child, GW_HWNDNEXT))
        if (SendMessageA(child, STM_GETIMAGE, IMAGE_BITMAP, 0) != 0) picture = child;
    ASSERT_NE(picture, nullptr);
    RECT shown{};
    GetClientRect(picture, &shown);
    EXPECT_EQ(shown.right, info.bmWidth);
    EXPECT_EQ(shown.bottom, info.bmHeight);
    HDC source = CreateCompatibleDC(nullptr);
    HGDIOBJ previous = SelectObject(source, bitmap);
    POINT origin{0, 0};
    MapWindowPoints(picture, nullptr, &origin, 1);
    RECT frame{};
    GetWindowRect(dialog, &frame);
    int differing = 0;
    for (int y = 0; y < info.bmHeight; y += 3)
        for (int x = 0; x < info.bmWidth; x += 3)
            if (PlatformWindowPixel(dialog, origin.x - frame.left + x, origin.y - frame.top + y) !=
                GetPixel(source, x, y))
                ++differing;
    EXPECT_EQ(differing, 0);
    SelectObject(source, previous);
    DeleteDC(source);
    DeleteObject(bitmap);
}

} // namespace
