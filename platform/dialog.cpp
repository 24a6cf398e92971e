// The dialog manager: dialogs made from DLGTEMPLATE resources (modal with their own message
// loop, or modeless), the dialog keys (Tab, Enter, Escape), dialog units measured from the
// template's font, and the predefined controls "STATIC", "BUTTON" and "EDIT" in the classic look
// at the system colours.
#include "resource_internal.h"

#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <string>
#include <unordered_map>
#include <vector>

namespace {

constexpr char kDialogClass[] = "#32770";
// A template given in memory carries no size; the reader stops at its last item well before.
constexpr size_t kIndirectTemplateBytes = 64 * 1024;
constexpr int kPointsPerInch = 72;
constexpr int kDotsPerInch = 96;
constexpr char kAverageWidthSample[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz";
constexpr int kCheckBoxSize = 13;
constexpr int kCheckBoxTextGap = 4;
constexpr int kGroupBoxTextIndent = 8;
constexpr int kEditTextIndent = 3;

// Window extra slots of the predefined controls.
constexpr int kFontSlot = 0;
constexpr int kImageSlot = static_cast<int>(sizeof(LONG_PTR));
constexpr int kStateSlot = 2 * static_cast<int>(sizeof(LONG_PTR));
constexpr int kControlExtraBytes = 3 * static_cast<int>(sizeof(LONG_PTR));
// Bits of a button's state slot (the low two are the check state).
constexpr LONG_PTR kCheckMask = 3;
constexpr LONG_PTR kPushed = 4;
constexpr LONG_PTR kFocused = 8;

struct DialogData {
    HFONT font = nullptr;
    bool ownsFont = false;
    int baseX = 0; // average character width of the dialog font (4 dialog units)
    int baseY = 0; // character height of the dialog font (8 dialog units)
    bool modal = false;
    bool ended = false;
    INT_PTR result = 0;
    std::vector<HGDIOBJ> images; // bitmaps loaded for SS_BITMAP items
};

std::mutex dialogsMutex;
std::unordered_map<HWND, DialogData>& dialogs() {
    static std::unordered_map<HWND, DialogData> table;
    return table;
}
thread_local DLGPROC pendingProcedure = nullptr;

int scaled(int value, int numerator, int denominator) {
    const long long product = static_cast<long long>(value) * numerator;
    const long long half = denominator / 2;
    return static_cast<int>(product >= 0 ? (product + half) / denominator
                                         : -((-product + half) / denominator));
}

// Windows' base units of a font: the average width of the letters (rounded) and the height.
void measureBaseUnits(HFONT font, int* baseX, int* baseY) {
    HDC dc = CreateCompatibleDC(nullptr);
    HGDIOBJ previous = SelectObject(dc, reinterpret_cast<HGDIOBJ>(font));
    TEXTMETRICA metrics{};
    SIZE extent{};
    GetTextMetricsA(dc, &metrics);
    GetTextExtentPoint32A(dc, kAverageWidthSample, 52, &extent);
    SelectObject(dc, previous);
    DeleteDC(dc);
    *baseX = (extent.cx / 26 + 1) / 2;
    *baseY = metrics.tmHeight;
    if (*baseX <= 0) *baseX = 1;
    if (*baseY <= 0) *baseY = 1;
}

bool dialogEnded(HWND dialog, INT_PTR* result) {
    std::lock_guard<std::mutex> guard(dialogsMutex);
    auto found = dialogs().find(dialog);
    if (found == dialogs().end()) return true;
    *result = found->second.result;
    return found->second.ended;
}

HFONT dialogFont(HWND dialog) {
    std::lock_guard<std::mutex> guard(dialogsMutex);
    auto found = dialogs().find(dialog);
    return found == dialogs().end() ? nullptr : found->second.font;
}

// Releases what the dialog holds once its window is gone.
void forgetDialog(HWND dialog, bool evenModal) {
    DialogData data;
    {
        std::lock_guard<std::mutex> guard(dialogsMutex);
        auto found = dialogs().find(dialog);
        if (found == dialogs().end() || (found->second.modal && !evenModal)) return;
        data = std::move(found->second);
        dialogs().erase(found);
    }
    if (data.ownsFont) DeleteObject(reinterpret_cast<HGDIOBJ>(data.font));
    for (HGDIOBJ image : data.images)
        DeleteObject(image);
}

LRESULT CALLBACK dialogClassProcedure(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_NCCREATE) {
        SetWindowLongPtrA(dialog, DWLP_DLGPROC, reinterpret_cast<LONG_PTR>(pendingProcedure));
        pendingProcedure = nullptr;
    }
    const LRESULT result = DefDlgProcA(dialog, message, wParam, lParam);
    if (message == WM_NCDESTROY) forgetDialog(dialog, false);
    return result;
}

// ---------------------------------------------------------------------------------------------
// Painting helpers of the controls.

void fillSolid(HDC dc, int left, int top, int right, int bottom, int sysColour) {
    RECT rect{left, top, right, bottom};
    FillRect(dc, &rect, GetSysColorBrush(sysColour));
}

// A one-pixel bevel: `topLeft` on the top and left edges, `bottomRight` on the others.
void drawBevel(HDC dc, const RECT& r, int topLeft, int bottomRight) {
    fillSolid(dc, r.left, r.top, r.right - 1, r.top + 1, topLeft);
    fillSolid(dc, r.left, r.top, r.left + 1, r.bottom - 1, topLeft);
    fillSolid(dc, r.left, r.bottom - 1, r.right, r.bottom, bottomRight);
    fillSolid(dc, r.right - 1, r.top, r.right, r.bottom, bottomRight);
}

RECT inset(RECT r, int by) {
    return RECT{r.left + by, r.top + by, r.right - by, r.bottom - by};
}

void drawEtchedFrame(HDC dc, const RECT& r) {
    drawBevel(dc, RECT{r.left, r.top, r.right - 1, r.bottom - 1}, COLOR_3DSHADOW, COLOR_3DSHADOW);
    drawBevel(dc, RECT{r.left + 1, r.top + 1, r.right, r.bottom}, COLOR_3DHILIGHT, COLOR_3DHILIGHT);
    fillSolid(dc, r.left + 1, r.top + 1, r.right - 2, r.top + 2, COLOR_3DSHADOW);
    fillSolid(dc, r.left + 1, r.top + 1, r.left + 2, r.bottom - 2, COLOR_3DSHADOW);
}

// Asks the parent for the control's brush (WM_CTLCOLOR...), with the system's defaults set.
HBRUSH controlBrush(HWND control, HDC dc, UINT message, int faceColour) {
    SetTextColor(dc, GetSysColor(message == WM_CTLCOLOREDIT ? COLOR_WINDOWTEXT : COLOR_BTNTEXT));
    SetBkColor(dc, GetSysColor(faceColour));
    HWND parent = GetParent(control);
    HBRUSH brush = nullptr;
    if (parent != nullptr)
        brush = reinterpret_cast<HBRUSH>(SendMessageA(parent, message, reinterpret_cast<WPARAM>(dc),
                                                      reinterpret_cast<LPARAM>(control)));
    return brush != nullptr ? brush : GetSysColorBrush(faceColour);
}

std::string windowText(HWND window) {
    std::string text(static_cast<size_t>(GetWindowTextLengthA(window)) + 1, '\0');
    text.resize(
        static_cast<size_t>(GetWindowTextA(window, text.data(), static_cast<int>(text.size()))));
    return text;
}

void drawText(HWND control, HDC dc, RECT rect, UINT format) {
    const std::string text = windowText(control);
    auto font = reinterpret_cast<HGDIOBJ>(GetWindowLongPtrA(control, kFontSlot));
    HGDIOBJ previous = font != nullptr ? SelectObject(dc, font) : nullptr;
    if (!IsWindowEnabled(control)) SetTextColor(dc, GetSysColor(COLOR_GRAYTEXT));
    SetBkMode(dc, TRANSPARENT);
    DrawTextA(dc, text.c_str(), static_cast<int>(text.size()), &rect, format);
    if (previous != nullptr) SelectObject(dc, previous);
}

// Messages every predefined control answers alike; true when `message` was one of them.
bool commonControlMessage(HWND control, UINT message, WPARAM wParam, LPARAM lParam,
                          LRESULT* result) {
    switch (message) {
    case WM_SETFONT:
        SetWindowLongPtrA(control, kFontSlot, static_cast<LONG_PTR>(wParam));
        if (LOWORD(lParam) != 0) InvalidateRect(control, nullptr, TRUE);
        *result = 0;
        return true;
    case WM_GETFONT:
        *result = GetWindowLongPtrA(control, kFontSlot);
        return true;
    case WM_SETTEXT:
    case WM_ENABLE:
        *result = DefWindowProcA(control, message, wParam, lParam);
        InvalidateRect(control, nullptr, TRUE);
        return true;
    case WM_ERASEBKGND:
        *result = 1; // the paint fills the whole control
        return true;
    default:
        return false;
    }
}

// ---------------------------------------------------------------------------------------------
// STATIC

void paintStatic(HWND control, HDC dc) {
    RECT client{};
    GetClientRect(control, &client);
    const DWORD style = static_cast<DWORD>(GetWindowLongA(control, GWL_STYLE));
    const DWORD type = style & SS_TYPEMASK;
    HBRUSH brush = controlBrush(control, dc, WM_CTLCOLORSTATIC, COLOR_3DFACE);
    switch (type) {
    case SS_BLACKFRAME:
        FrameRect(dc, &client, GetSysColorBrush(COLOR_WINDOWFRAME));
        return;
    case SS_GRAYFRAME:
        FrameRect(dc, &client, GetSysColorBrush(COLOR_3DSHADOW));
        return;
    case SS_WHITEFRAME:
        FrameRect(dc, &client, GetSysColorBrush(COLOR_3DHILIGHT));
        return;
    case SS_ETCHEDFRAME:
        drawEtchedFrame(dc, client);
        return;
    case SS_ETCHEDHORZ:
        fillSolid(dc, client.left, client.top, client.right, client.top + 1, COLOR_3DSHADOW);
        fillSolid(dc, client.left, client.top + 1, client.right, client.top + 2, COLOR_3DHILIGHT);
        return;
    case SS_ETCHEDVERT:
        fillSolid(dc, client.left, client.top, client.left + 1, client.bottom, COLOR_3DSHADOW);
        fillSolid(dc, client.left + 1, client.top, client.left + 2, client.bottom, COLOR_3DHILIGHT);
        return;
    case SS_BLACKRECT:
        FillRect(dc, &client, GetSysColorBrush(COLOR_WINDOWFRAME));
        return;
    case SS_GRAYRECT:
        FillRect(dc, &client, GetSysColorBrush(COLOR_3DSHADOW));
        return;
    case SS_WHITERECT:
        FillRect(dc, &client, GetSysColorBrush(COLOR_3DHILIGHT));
        return;
    default:
        break;
    }
    FillRect(dc, &client, brush);
    auto image = reinterpret_cast<void*>(GetWindowLongPtrA(control, kImageSlot));
    if (type == SS_BITMAP) {
        BITMAP info{};
        if (image == nullptr || GetObjectA(image, sizeof info, &info) == 0) return;
        int x = 0, y = 0;
        if ((style & SS_CENTERIMAGE) != 0) {
            x = (client.right - info.bmWidth) / 2;
            y = (client.bottom - info.bmHeight) / 2;
        }
        HDC source = CreateCompatibleDC(dc);
        HGDIOBJ previous = SelectObject(source, image);
        BitBlt(dc, x, y, info.bmWidth, info.bmHeight, source, 0, 0, SRCCOPY);
        SelectObject(source, previous);
        DeleteDC(source);
        return;
    }
    if (type == SS_ICON) {
        if (image == nullptr || !platform::isResourceIcon(image)) return;
        const auto* icon = static_cast<const platform::IconImage*>(image);
        for (int y = 0; y < icon->height; ++y)
            for (int x = 0; x < icon->width; ++x) {
                const uint32_t pixel = icon->pixels[static_cast<size_t>(y * icon->width + x)];
                if ((pixel >> 24) < 128) continue;
                SetPixel(dc, x, y, RGB((pixel >> 16) & 0xff, (pixel >> 8) & 0xff, pixel & 0xff));
            }
        return;
    }
    UINT format = DT_WORDBREAK;
    if (type == SS_CENTER) format |= DT_CENTER;
    if (type == SS_RIGHT) format |= DT_RIGHT;
    if (type == SS_SIMPLE || type == SS_LEFTNOWORDWRAP) format = DT_SINGLELINE;
    if ((style & SS_NOPREFIX) != 0) format |= DT_NOPREFIX;
    drawText(control, dc, client, format);
}

LRESULT CALLBACK staticProcedure(HWND control, UINT message, WPARAM wParam, LPARAM lParam) {
    LRESULT result = 0;
    if (commonControlMessage(control, message, wParam, lParam, &result)) return result;
    switch (message) {
    case STM_SETIMAGE:
    case STM_SETICON: {
        auto image = message == STM_SETICON ? static_cast<LONG_PTR>(wParam) : lParam;
        const LONG_PTR previous = SetWindowLongPtrA(control, kImageSlot, image);
        const DWORD style = static_cast<DWORD>(GetWindowLongA(control, GWL_STYLE));
        BITMAP info{};
        if ((style & SS_TYPEMASK) == SS_BITMAP && (style & SS_CENTERIMAGE) == 0 && image != 0 &&
            GetObjectA(reinterpret_cast<void*>(image), sizeof info, &info) != 0)
            SetWindowPos(control, nullptr, 0, 0, info.bmWidth, info.bmHeight,
                         SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
        InvalidateRect(control, nullptr, TRUE);
        return previous;
    }
    case STM_GETIMAGE:
    case STM_GETICON:
        return GetWindowLongPtrA(control, kImageSlot);
    case WM_GETDLGCODE:
        return DLGC_STATIC;
    case WM_PAINT: {
        PAINTSTRUCT paint{};
        HDC dc = BeginPaint(control, &paint);
        if (dc != nullptr) paintStatic(control, dc);
        EndPaint(control, &paint);
        return 0;
    }
    default:
        return DefWindowProcA(control, message, wParam, lParam);
    }
}

// ---------------------------------------------------------------------------------------------
// BUTTON

DWORD buttonType(HWND button) {
    return static_cast<DWORD>(GetWindowLongA(button, GWL_STYLE)) & BS_TYPEMASK;
}

bool isPushButton(DWORD type) {
    return type == BS_PUSHBUTTON || type == BS_DEFPUSHBUTTON;
}

void setButtonState(HWND button, LONG_PTR clear, LONG_PTR set) {
    const LONG_PTR state = GetWindowLongPtrA(button, kStateSlot);
    const LONG_PTR changed = (state & ~clear) | set;
    if (changed == state) return;
    SetWindowLongPtrA(button, kStateSlot, changed);
    InvalidateRect(button, nullptr, TRUE);
}

void clickButton(HWND button) {
    const DWORD type = buttonType(button);
    const LONG_PTR check = GetWindowLongPtrA(button, kStateSlot) & kCheckMask;
    if (type == BS_AUTOCHECKBOX) setButtonState(button, kCheckMask, check == 0 ? 1 : 0);
    if (type == BS_AUTO3STATE) setButtonState(button, kCheckMask, (check + 1) % 3);
    if (type == BS_AUTORADIOBUTTON) setButtonState(button, kCheckMask, 1);
    HWND parent = GetParent(button);
    if (parent != nullptr)
        SendMessageA(parent, WM_COMMAND, MAKEWPARAM(GetDlgCtrlID(button), BN_CLICKED),
                     reinterpret_cast<LPARAM>(button));
}

void drawCheckMark(HDC dc, int left, int top) {
    // A tick three pixels thick in the window text colour.
    for (int step = 0; step < 7; ++step) {
        const int x = left + 3 + step;
        const int y = step < 3 ? top + 5 + step : top + 7 - (step - 2);
        fillSolid(dc, x, y, x + 1, y + 3, COLOR_WINDOWTEXT);
    }
}

void paintButton(HWND button, HDC dc) {
    RECT client{};
    GetClientRect(button, &client);
    const DWORD type = buttonType(button);
    const LONG_PTR state = GetWindowLongPtrA(button, kStateSlot);
    if (isPushButton(type)) {
        controlBrush(button, dc, WM_CTLCOLORBTN, COLOR_3DFACE);
        RECT face = client;
        if (type == BS_DEFPUSHBUTTON) {
            FrameRect(dc, &face, GetSysColorBrush(COLOR_WINDOWFRAME));
            face = inset(face, 1);
        }
        FillRect(dc, &face, GetSysColorBrush(COLOR_3DFACE));
        const bool pushed = (state & kPushed) != 0;
        if (pushed) {
            FrameRect(dc, &face, GetSysColorBrush(COLOR_3DSHADOW));
        } else {
            drawBevel(dc, face, COLOR_3DHILIGHT, COLOR_3DDKSHADOW);
            drawBevel(dc, inset(face, 1), COLOR_3DLIGHT, COLOR_3DSHADOW);
        }
        RECT text = inset(face, 2);
        if (pushed) text = RECT{text.left + 1, text.top + 1, text.right + 1, text.bottom + 1};
        drawText(button, dc, text, DT_CENTER | DT_VCENTER | DT_SINGLELINE);
        return;
    }
    HBRUSH brush = controlBrush(button, dc, WM_CTLCOLORSTATIC, COLOR_3DFACE);
    FillRect(dc, &client, brush);
    if (type == BS_GROUPBOX) {
        const std::string title = windowText(button);
        auto font = reinterpret_cast<HGDIOBJ>(GetWindowLongPtrA(button, kFontSlot));
        HGDIOBJ previous = font != nullptr ? SelectObject(dc, font) : nullptr;
        SIZE extent{};
        GetTextExtentPoint32A(dc, title.empty() ? "X" : title.c_str(),
                              title.empty() ? 1 : static_cast<int>(title.size()), &extent);
        if (previous != nullptr) SelectObject(dc, previous);
        drawEtchedFrame(dc,
                        RECT{client.left, client.top + extent.cy / 2, client.right, client.bottom});
        if (!title.empty()) {
            RECT label{kGroupBoxTextIndent, 0, kGroupBoxTextIndent + extent.cx + 2, extent.cy};
            FillRect(dc, &label, brush);
            label.left += 1;
            drawText(button, dc, label, DT_LEFT | DT_SINGLELINE);
        }
        return;
    }
    // Check boxes and radio buttons: the box on the left, the text beside it.
    const int boxTop = (client.bottom - kCheckBoxSize) / 2;
    RECT box{0, boxTop, kCheckBoxSize, boxTop + kCheckBoxSize};
    FillRect(dc, &box, GetSysColorBrush((state & kPushed) != 0 ? COLOR_3DFACE : COLOR_WINDOW));
    drawBevel(dc, box, COLOR_3DSHADOW, COLOR_3DHILIGHT);
    drawBevel(dc, inset(box, 1), COLOR_3DDKSHADOW, COLOR_3DLIGHT);
    if ((state & kCheckMask) != 0) drawCheckMark(dc, box.left, box.top);
    RECT text{kCheckBoxSize + kCheckBoxTextGap, 0, client.right, client.bottom};
    drawText(button, dc, text, DT_LEFT | DT_VCENTER | DT_SINGLELINE);
}

LRESULT CALLBACK buttonProcedure(HWND button, UINT message, WPARAM wParam, LPARAM lParam) {
    LRESULT result = 0;
    if (commonControlMessage(button, message, wParam, lParam, &result)) return result;
    const DWORD type = buttonType(button);
    switch (message) {
    case WM_LBUTTONDOWN:
    case WM_LBUTTONDBLCLK:
        if (type == BS_GROUPBOX) return 0;
        SetCapture(button);
        SetFocus(button);
        setButtonState(button, 0, kPushed);
        return 0;
    case WM_MOUSEMOVE:
        if (GetCapture() == button) {
            RECT client{};
            GetClientRect(button, &client);
            const int x = GET_X_LPARAM(lParam);
            const int y = GET_Y_LPARAM(lParam);
            if (x >= client.left && x < client.right && y >= client.top && y < client.bottom)
                setButtonState(button, 0, kPushed);
            else
                setButtonState(button, kPushed, 0);
        }
        return 0;
    case WM_LBUTTONUP:
        if (GetCapture() == button) {
            const bool inside = (GetWindowLongPtrA(button, kStateSlot) & kPushed) != 0;
            setButtonState(button, kPushed, 0);
            ReleaseCapture();
            if (inside) clickButton(button);
        }
        return 0;
    case WM_CAPTURECHANGED:
        setButtonState(button, kPushed, 0);
        return 0;
    case WM_KEYUP:
        if (wParam == VK_SPACE && type != BS_GROUPBOX) clickButton(button);
        return 0;
    case WM_SETFOCUS:
        setButtonState(button, 0, kFocused);
        return 0;
    case WM_KILLFOCUS:
        setButtonState(button, kFocused | kPushed, 0);
        return 0;
    case BM_CLICK:
        clickButton(button);
        return 0;
    case BM_GETCHECK:
        return GetWindowLongPtrA(button, kStateSlot) & kCheckMask;
    case BM_SETCHECK:
        setButtonState(button, kCheckMask, static_cast<LONG_PTR>(wParam) & kCheckMask);
        return 0;
    case BM_GETSTATE:
        return GetWindowLongPtrA(button, kStateSlot) & (kCheckMask | kPushed | kFocused);
    case BM_SETSTATE:
        if (wParam != 0)
            setButtonState(button, 0, kPushed);
        else
            setButtonState(button, kPushed, 0);
        return 0;
    case BM_SETSTYLE: {
        const auto style = static_cast<DWORD>(GetWindowLongA(button, GWL_STYLE));
        SetWindowLongA(button, GWL_STYLE,
                       static_cast<LONG>((style & ~BS_TYPEMASK) | (wParam & BS_TYPEMASK)));
        if (LOWORD(lParam) != 0) InvalidateRect(button, nullptr, TRUE);
        return 0;
    }
    case WM_GETDLGCODE:
        if (type == BS_DEFPUSHBUTTON) return DLGC_BUTTON | DLGC_DEFPUSHBUTTON;
        if (type == BS_PUSHBUTTON) return DLGC_BUTTON | DLGC_UNDEFPUSHBUTTON;
        return type == BS_GROUPBOX ? DLGC_STATIC : DLGC_BUTTON;
    case WM_PAINT: {
        PAINTSTRUCT paint{};
        HDC dc = BeginPaint(button, &paint);
        if (dc != nullptr) paintButton(button, dc);
        EndPaint(button, &paint);
        return 0;
    }
    default:
        return DefWindowProcA(button, message, wParam, lParam);
    }
}

// ---------------------------------------------------------------------------------------------
// EDIT: one line of text typed at its end; no caret or selection.

LRESULT CALLBACK editProcedure(HWND edit, UINT message, WPARAM wParam, LPARAM lParam) {
    LRESULT result = 0;
    if (commonControlMessage(edit, message, wParam, lParam, &result)) return result;
    switch (message) {
    case WM_LBUTTONDOWN:
        SetFocus(edit);
        return 0;
    case WM_CHAR: {
        const auto style = static_cast<DWORD>(GetWindowLongA(edit, GWL_STYLE));
        if ((style & ES_READONLY) != 0) return 0;
        std::string text = windowText(edit);
        const auto typed = static_cast<char>(wParam);
        if (wParam == VK_BACK) {
            if (text.empty()) return 0;
            text.pop_back();
        } else if (static_cast<unsigned char>(typed) >= 0x20) {
            if ((style & ES_NUMBER) != 0 && (typed < '0' || typed > '9')) {
                MessageBeep(0);
                return 0;
            }
            text.push_back(typed);
        } else {
            return 0;
        }
        SetWindowTextA(edit, text.c_str());
        HWND parent = GetParent(edit);
        if (parent != nullptr)
            SendMessageA(parent, WM_COMMAND, MAKEWPARAM(GetDlgCtrlID(edit), EN_CHANGE),
                         reinterpret_cast<LPARAM>(edit));
        return 0;
    }
    case WM_GETDLGCODE:
        return DLGC_WANTCHARS | DLGC_HASSETSEL | DLGC_WANTARROWS;
    case WM_PAINT: {
        PAINTSTRUCT paint{};
        HDC dc = BeginPaint(edit, &paint);
        if (dc != nullptr) {
            RECT client{};
            GetClientRect(edit, &client);
            HBRUSH brush = controlBrush(edit, dc, WM_CTLCOLOREDIT, COLOR_WINDOW);
            FillRect(dc, &client, brush);
            drawBevel(dc, client, COLOR_3DSHADOW, COLOR_3DHILIGHT);
            drawBevel(dc, inset(client, 1), COLOR_3DDKSHADOW, COLOR_3DLIGHT);
            const auto style = static_cast<DWORD>(GetWindowLongA(edit, GWL_STYLE));
            UINT format = DT_SINGLELINE | DT_VCENTER | DT_NOPREFIX;
            if ((style & ES_CENTER) != 0) format |= DT_CENTER;
            if ((style & ES_RIGHT) != 0) format |= DT_RIGHT;
            RECT text = client;
            text.left += kEditTextIndent;
            text.right -= kEditTextIndent;
            drawText(edit, dc, text, format);
        }
        EndPaint(edit, &paint);
        return 0;
    }
    default:
        return DefWindowProcA(edit, message, wParam, lParam);
    }
}

// ---------------------------------------------------------------------------------------------
// Creation.

void registerClasses() {
    static std::once_flag once;
    std::call_once(once, [] {
        HINSTANCE module =
            PlatformModuleFromAddress(reinterpret_cast<const void*>(&registerClasses));
        struct Entry {
            const char* name;
            WNDPROC procedure;
            int extraBytes;
        };
        const Entry entries[] = {{kDialogClass, dialogClassProcedure, DLGWINDOWEXTRA},
                                 {"STATIC", staticProcedure, kControlExtraBytes},
                                 {"BUTTON", buttonProcedure, kControlExtraBytes},
                                 {"EDIT", editProcedure, kControlExtraBytes}};
        for (const Entry& entry : entries) {
            WNDCLASSA windowClass{};
            windowClass.style = CS_GLOBALCLASS | CS_DBLCLKS;
            windowClass.lpfnWndProc = entry.procedure;
            windowClass.cbWndExtra = entry.extraBytes;
            windowClass.hInstance = module;
            windowClass.hCursor = LoadCursorA(nullptr, IDC_ARROW);
            windowClass.lpszClassName = entry.name;
            RegisterClassA(&windowClass);
        }
    });
}

const char* predefinedClassName(WORD atom) {
    switch (atom) {
    case 0x80:
        return "BUTTON";
    case 0x81:
        return "EDIT";
    case 0x82:
        return "STATIC";
    case 0x83:
        return "LISTBOX";
    case 0x84:
        return "SCROLLBAR";
    case 0x85:
        return "COMBOBOX";
    default:
        return "";
    }
}

RECT mapUnits(const DialogData& data, int x, int y, int cx, int cy) {
    return RECT{scaled(x, data.baseX, 4), scaled(y, data.baseY, 8), scaled(x + cx, data.baseX, 4),
                scaled(y + cy, data.baseY, 8)};
}

// Makes the dialog, its controls and sends WM_INITDIALOG; shows it when the template says so or
// `show`. Null (with the error) when the template cannot be read or a control not be made.
HWND createDialog(HINSTANCE instance, const void* bytes, size_t size, HWND owner, DLGPROC procedure,
                  LPARAM initParam, bool modal) {
    registerClasses();
    platform::DialogTemplate dialogTemplate;
    if (bytes == nullptr || !platform::readDialogTemplate(bytes, size, &dialogTemplate)) {
        SetLastError(ERROR_INVALID_DATA);
        return nullptr;
    }
    if (owner != nullptr && !IsWindow(owner)) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return nullptr;
    }
    DialogData data;
    data.modal = modal;
    if ((dialogTemplate.style & DS_SETFONT) != 0) {
        const int heightPixels = -scaled(dialogTemplate.pointSize, kDotsPerInch, kPointsPerInch);
        data.font = CreateFontA(heightPixels, 0, 0, 0, FW_NORMAL, 0, 0, 0, 0, 0, 0, 0, 0,
                                dialogTemplate.font.c_str());
        data.ownsFont = data.font != nullptr;
    }
    if (data.font == nullptr) data.font = reinterpret_cast<HFONT>(GetStockObject(SYSTEM_FONT));
    measureBaseUnits(data.font, &data.baseX, &data.baseY);

    const DWORD style = dialogTemplate.style & ~WS_VISIBLE;
    DWORD exStyle = dialogTemplate.exStyle;
    if ((style & DS_MODALFRAME) != 0) exStyle |= WS_EX_DLGMODALFRAME;
    RECT frame = mapUnits(data, 0, 0, dialogTemplate.cx, dialogTemplate.cy);
    AdjustWindowRectEx(&frame, style, FALSE, exStyle);
    const int width = frame.right - frame.left;
    const int height = frame.bottom - frame.top;
    const RECT place = mapUnits(data, dialogTemplate.x, dialogTemplate.y, 0, 0);
    int x = place.left;
    int y = place.top;
    if ((style & WS_CHILD) == 0) {
        POINT origin{0, 0};
        if (owner != nullptr) ClientToScreen(owner, &origin);
        x += origin.x;
        y += origin.y;
        if ((style & DS_CENTER) != 0) {
            RECT area{0, 0, GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN)};
            if (owner != nullptr) GetWindowRect(owner, &area);
            x = area.left + (area.right - area.left - width) / 2;
            y = area.top + (area.bottom - area.top - height) / 2;
        }
    }

    pendingProcedure = procedure;
    HWND dialog = CreateWindowExA(exStyle, kDialogClass, dialogTemplate.title.c_str(), style, x, y,
                                  width, height, owner, nullptr, instance, nullptr);
    pendingProcedure = nullptr;
    if (dialog == nullptr) {
        if (data.ownsFont) DeleteObject(reinterpret_cast<HGDIOBJ>(data.font));
        return nullptr;
    }
    const DialogData measured = data;
    {
        std::lock_guard<std::mutex> guard(dialogsMutex);
        dialogs()[dialog] = std::move(data);
    }
    if ((dialogTemplate.style & DS_SETFONT) != 0)
        SendMessageA(dialog, WM_SETFONT, reinterpret_cast<WPARAM>(measured.font), FALSE);

    for (const platform::DialogItemTemplate& item : dialogTemplate.items) {
        const std::string className =
            item.className.empty() ? predefinedClassName(item.classAtom) : item.className;
        const RECT rect = mapUnits(measured, item.x, item.y, item.cx, item.cy);
        HWND control = CreateWindowExA(
            item.exStyle, className.c_str(), item.title.c_str(), (item.style | WS_CHILD), rect.left,
            rect.top, rect.right - rect.left, rect.bottom - rect.top, dialog,
            reinterpret_cast<HMENU>(static_cast<uintptr_t>(item.id)), instance, nullptr);
        if (control == nullptr) {
            if ((dialogTemplate.style & DS_NOFAILCREATE) != 0) continue;
            const DWORD error = GetLastError();
            forgetDialog(dialog, true);
            DestroyWindow(dialog);
            SetLastError(error);
            return nullptr;
        }
        SendMessageA(control, WM_SETFONT, reinterpret_cast<WPARAM>(measured.font), FALSE);
        const DWORD staticType = item.style & SS_TYPEMASK;
        if (className == "STATIC" && item.titleId != 0 &&
            (staticType == SS_BITMAP || staticType == SS_ICON)) {
            const bool bitmap = staticType == SS_BITMAP;
            void* image =
                bitmap ? static_cast<void*>(LoadBitmapA(instance, MAKEINTRESOURCEA(item.titleId)))
                       : LoadIconA(instance, MAKEINTRESOURCEA(item.titleId));
            if (image != nullptr && bitmap) {
                std::lock_guard<std::mutex> guard(dialogsMutex);
                dialogs()[dialog].images.push_back(static_cast<HGDIOBJ>(image));
            }
            SendMessageA(control, STM_SETIMAGE, bitmap ? IMAGE_BITMAP : IMAGE_ICON,
                         reinterpret_cast<LPARAM>(image));
        }
    }

    HWND first = GetNextDlgTabItem(dialog, nullptr, FALSE);
    const LRESULT wantsFocus =
        SendMessageA(dialog, WM_INITDIALOG, reinterpret_cast<WPARAM>(first), initParam);
    if (!IsWindow(dialog)) return nullptr;
    if (modal || (dialogTemplate.style & WS_VISIBLE) != 0) ShowWindow(dialog, SW_SHOWNORMAL);
    if (wantsFocus != 0 && first != nullptr && IsWindow(first)) SetFocus(first);
    return dialog;
}

// The template resource `name` of `instance`; null with ERROR_RESOURCE_NAME_NOT_FOUND (or the
// resource code's error) when it has none.
const void* findTemplate(HINSTANCE instance, LPCSTR name, size_t* size) {
    HRSRC resource = FindResourceA(instance, name, RT_DIALOG);
    if (resource == nullptr) return nullptr;
    HGLOBAL loaded = LoadResource(instance, resource);
    if (loaded == nullptr) return nullptr;
    *size = SizeofResource(instance, resource);
    return LockResource(loaded);
}

INT_PTR runModal(HINSTANCE instance, const void* bytes, size_t size, HWND owner, DLGPROC procedure,
                 LPARAM initParam) {
    HWND ownerTop = owner != nullptr ? GetAncestor(owner, GA_ROOT) : nullptr;
    if (owner != nullptr && ownerTop == nullptr) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return -1;
    }
    // The owner is disabled before the dialog appears so no click reaches it meanwhile.
    const bool disabledOwner = ownerTop != nullptr && IsWindowEnabled(ownerTop);
    if (disabledOwner) EnableWindow(ownerTop, FALSE);
    HWND dialog = createDialog(instance, bytes, size, ownerTop, procedure, initParam, true);
    INT_PTR result = -1;
    bool quit = false;
    WPARAM quitCode = 0;
    if (dialog != nullptr) {
        // The owner hears once per wait that the box has nothing left to do, so it can do its
        // own work meanwhile (or end the box) on this thread.
        const bool announcesIdle =
            ownerTop != nullptr && (GetWindowLongA(dialog, GWL_STYLE) & LONG(DS_NOIDLEMSG)) == 0;
        bool announced = false;
        // A dialog procedure may destroy its window instead of ending the dialog.
        while (IsWindow(dialog) && !dialogEnded(dialog, &result)) {
            MSG message{};
            if (announcesIdle && !announced &&
                !PeekMessageA(&message, nullptr, 0, 0, PM_NOREMOVE)) {
                announced = true;
                SendMessageA(ownerTop, WM_ENTERIDLE, MSGF_DIALOGBOX,
                             reinterpret_cast<LPARAM>(dialog));
                continue;
            }
            announced = false;
            const BOOL got = GetMessageA(&message, nullptr, 0, 0);
            if (got == 0) {
                quit = true;
                quitCode = message.wParam;
                break;
            }
            if (got == -1) break;
            if (!IsDialogMessageA(dialog, &message)) {
                TranslateMessage(&message);
                DispatchMessageA(&message);
            }
        }
        if (!quit) dialogEnded(dialog, &result);
    }
    if (disabledOwner) EnableWindow(ownerTop, TRUE);
    if (dialog != nullptr) {
        if (IsWindow(dialog)) DestroyWindow(dialog);
        forgetDialog(dialog, true);
    }
    if (quit) PostQuitMessage(static_cast<int>(quitCode));
    return result;
}

// The id Enter stands for: the focused push button's, else the default button's, else IDOK.
int enterCommandId(HWND dialog) {
    HWND focus = GetFocus();
    if (focus != nullptr && IsChild(dialog, focus) &&
        (SendMessageA(focus, WM_GETDLGCODE, 0, 0) & (DLGC_DEFPUSHBUTTON | DLGC_UNDEFPUSHBUTTON)) !=
            0)
        return GetDlgCtrlID(focus);
    const LRESULT defaultId = SendMessageA(dialog, DM_GETDEFID, 0, 0);
    if (HIWORD(defaultId) == DC_HASDEFID) return LOWORD(defaultId);
    return IDOK;
}

void sendButtonCommand(HWND dialog, int id) {
    HWND control = GetDlgItem(dialog, id);
    if (control != nullptr && !IsWindowEnabled(control)) {
        MessageBeep(0);
        return;
    }
    SendMessageA(dialog, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), reinterpret_cast<LPARAM>(control));
}

} // namespace

namespace platform {
void registerPredefinedClasses() { registerClasses(); }
} // namespace platform

extern "C" {

LRESULT DefDlgProcA(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
    auto procedure = reinterpret_cast<DLGPROC>(GetWindowLongPtrA(dialog, DWLP_DLGPROC));
    if (procedure != nullptr) {
        SetWindowLongPtrA(dialog, DWLP_MSGRESULT, 0);
        const INT_PTR handled = procedure(dialog, message, wParam, lParam);
        if (handled != 0) {
            switch (message) {
            case WM_CTLCOLORMSGBOX:
            case WM_CTLCOLOREDIT:
            case WM_CTLCOLORLISTBOX:
            case WM_CTLCOLORBTN:
            case WM_CTLCOLORDLG:
            case WM_CTLCOLORSCROLLBAR:
            case WM_CTLCOLORSTATIC:
            case WM_INITDIALOG:
                return handled;
            default:
                return IsWindow(dialog) ? GetWindowLongPtrA(dialog, DWLP_MSGRESULT) : 0;
            }
        }
        if (message == WM_INITDIALOG) return 0; // FALSE: the procedure placed the focus itself
    }
    switch (message) {
    case WM_INITDIALOG:
        return TRUE;
    case WM_ERASEBKGND: {
        auto dc = reinterpret_cast<HDC>(wParam);
        auto brush = reinterpret_cast<HBRUSH>(
            SendMessageA(dialog, WM_CTLCOLORDLG, wParam, reinterpret_cast<LPARAM>(dialog)));
        RECT client{};
        GetClientRect(dialog, &client);
        FillRect(dc, &client, brush != nullptr ? brush : GetSysColorBrush(COLOR_3DFACE));
        return 1;
    }
    case WM_CTLCOLOREDIT:
    case WM_CTLCOLORLISTBOX: {
        auto dc = reinterpret_cast<HDC>(wParam);
        SetBkColor(dc, GetSysColor(COLOR_WINDOW));
        return reinterpret_cast<LRESULT>(GetSysColorBrush(COLOR_WINDOW));
    }
    case WM_CTLCOLORMSGBOX:
    case WM_CTLCOLORBTN:
    case WM_CTLCOLORDLG:
    case WM_CTLCOLORSCROLLBAR:
    case WM_CTLCOLORSTATIC: {
        auto dc = reinterpret_cast<HDC>(wParam);
        SetBkColor(dc, GetSysColor(COLOR_3DFACE));
        return reinterpret_cast<LRESULT>(GetSysColorBrush(COLOR_3DFACE));
    }
    case WM_CLOSE:
        sendButtonCommand(dialog, IDCANCEL);
        return 0;
    case WM_GETFONT:
        return reinterpret_cast<LRESULT>(dialogFont(dialog));
    case WM_SETFONT:
        return 0;
    case DM_GETDEFID:
        for (HWND child = GetWindow(dialog, GW_CHILD); child != nullptr;
             child = GetWindow(child, GW_HWNDNEXT))
            if ((SendMessageA(child, WM_GETDLGCODE, 0, 0) & DLGC_DEFPUSHBUTTON) != 0)
                return MAKELRESULT(GetDlgCtrlID(child), DC_HASDEFID);
        return 0;
    default:
        return DefWindowProcA(dialog, message, wParam, lParam);
    }
}

HWND CreateDialogIndirectParamA(HINSTANCE instance, const DLGTEMPLATE* dialogTemplate, HWND owner,
                                DLGPROC procedure, LPARAM initParam) {
    return createDialog(instance, dialogTemplate, kIndirectTemplateBytes, owner, procedure,
                        initParam, false);
}

HWND CreateDialogParamA(HINSTANCE instance, LPCSTR templateName, HWND owner, DLGPROC procedure,
                        LPARAM initParam) {
    size_t size = 0;
    const void* bytes = findTemplate(instance, templateName, &size);
    if (bytes == nullptr) return nullptr;
    return createDialog(instance, bytes, size, owner, procedure, initParam, false);
}

INT_PTR DialogBoxIndirectParamA(HINSTANCE instance, const DLGTEMPLATE* dialogTemplate, HWND owner,
                                DLGPROC procedure, LPARAM initParam) {
    return runModal(instance, dialogTemplate, kIndirectTemplateBytes, owner, procedure, initParam);
}

INT_PTR DialogBoxParamA(HINSTANCE instance, LPCSTR templateName, HWND owner, DLGPROC procedure,
                        LPARAM initParam) {
    size_t size = 0;
    const void* bytes = findTemplate(instance, templateName, &size);
    if (bytes == nullptr) return -1;
    return runModal(instance, bytes, size, owner, procedure, initParam);
}

BOOL EndDialog(HWND dialog, INT_PTR result) {
    {
        std::lock_guard<std::mutex> guard(dialogsMutex);
        auto found = dialogs().find(dialog);
        if (found == dialogs().end()) {
            SetLastError(ERROR_INVALID_WINDOW_HANDLE);
            return FALSE;
        }
        found->second.ended = true;
        found->second.result = result;
    }
    // Wakes the dialog's loop should it be waiting for a message.
    PostMessageA(dialog, WM_NULL, 0, 0);
    return TRUE;
}

BOOL IsDialogMessageA(HWND dialog, MSG* message) {
    if (message == nullptr || dialog == nullptr || !IsWindow(dialog)) return FALSE;
    if (message->hwnd != dialog && !IsChild(dialog, message->hwnd)) return FALSE;
    LRESULT wanted = 0;
    if (message->hwnd != dialog && (message->message == WM_KEYDOWN || message->message == WM_CHAR))
        wanted = SendMessageA(message->hwnd, WM_GETDLGCODE, message->wParam,
                              reinterpret_cast<LPARAM>(message));
    if ((wanted & DLGC_WANTALLKEYS) == 0) {
        if (message->message == WM_KEYDOWN) {
            switch (message->wParam) {
            case VK_TAB:
                if ((wanted & DLGC_WANTTAB) != 0) break;
                {
                    HWND focus = GetFocus();
                    if (focus != nullptr && !IsChild(dialog, focus)) focus = nullptr;
                    HWND next = GetNextDlgTabItem(dialog, focus, GetKeyState(VK_SHIFT) < 0);
                    if (next != nullptr) SetFocus(next);
                }
                return TRUE;
            case VK_RETURN:
                sendButtonCommand(dialog, enterCommandId(dialog));
                return TRUE;
            case VK_ESCAPE:
                sendButtonCommand(dialog, IDCANCEL);
                return TRUE;
            default:
                break;
            }
        }
        if (message->message == WM_CHAR &&
            ((message->wParam == '\t' && (wanted & DLGC_WANTTAB) == 0) || message->wParam == '\r' ||
             message->wParam == 0x1b))
            return TRUE;
    }
    TranslateMessage(message);
    DispatchMessageA(message);
    return TRUE;
}

BOOL MapDialogRect(HWND dialog, RECT* rect) {
    std::lock_guard<std::mutex> guard(dialogsMutex);
    auto found = dialogs().find(dialog);
    if (found == dialogs().end() || rect == nullptr) {
        SetLastError(found == dialogs().end() ? ERROR_INVALID_WINDOW_HANDLE
                                              : ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    const DialogData& data = found->second;
    *rect = RECT{scaled(rect->left, data.baseX, 4), scaled(rect->top, data.baseY, 8),
                 scaled(rect->right, data.baseX, 4), scaled(rect->bottom, data.baseY, 8)};
    return TRUE;
}

LONG GetDialogBaseUnits() {
    int baseX = 0, baseY = 0;
    measureBaseUnits(reinterpret_cast<HFONT>(GetStockObject(SYSTEM_FONT)), &baseX, &baseY);
    return MAKELONG(baseX, baseY);
}

BOOL SetDlgItemTextA(HWND dialog, int id, LPCSTR text) {
    HWND control = GetDlgItem(dialog, id);
    return control != nullptr ? SetWindowTextA(control, text) : FALSE;
}

UINT GetDlgItemTextA(HWND dialog, int id, LPSTR text, int size) {
    HWND control = GetDlgItem(dialog, id);
    if (control == nullptr) {
        if (text != nullptr && size > 0) text[0] = '\0';
        return 0;
    }
    return static_cast<UINT>(GetWindowTextA(control, text, size));
}

BOOL SetDlgItemInt(HWND dialog, int id, UINT value, BOOL isSigned) {
    char text[16];
    if (isSigned != FALSE)
        std::snprintf(text, sizeof text, "%d", static_cast<int>(value));
    else
        std::snprintf(text, sizeof text, "%u", value);
    return SetDlgItemTextA(dialog, id, text);
}

UINT GetDlgItemInt(HWND dialog, int id, BOOL* translated, BOOL isSigned) {
    if (translated != nullptr) *translated = FALSE;
    char text[64];
    HWND control = GetDlgItem(dialog, id);
    if (control == nullptr) return 0;
    GetWindowTextA(control, text, sizeof text);
    const char* p = text;
    while (*p == ' ')
        ++p;
    const bool negative = *p == '-';
    if (negative) {
        if (isSigned == FALSE) return 0;
        ++p;
    }
    if (*p < '0' || *p > '9') return 0;
    unsigned long long magnitude = 0;
    for (; *p >= '0' && *p <= '9'; ++p) {
        magnitude = magnitude * 10 + static_cast<unsigned>(*p - '0');
        if (magnitude > 0xffffffffull) return 0;
    }
    while (*p == ' ')
        ++p;
    if (*p != '\0') return 0;
    if (isSigned != FALSE) {
        const long long limit = negative ? 0x80000000ll : 0x7fffffffll;
        if (static_cast<long long>(magnitude) > limit) return 0;
    }
    if (translated != nullptr) *translated = TRUE;
    const long long value =
        negative ? -static_cast<long long>(magnitude) : static_cast<long long>(magnitude);
    return static_cast<UINT>(value);
}

LRESULT SendDlgItemMessageA(HWND dialog, int id, UINT message, WPARAM wParam, LPARAM lParam) {
    HWND control = GetDlgItem(dialog, id);
    return control != nullptr ? SendMessageA(control, message, wParam, lParam) : 0;
}

BOOL CheckDlgButton(HWND dialog, int id, UINT check) {
    HWND control = GetDlgItem(dialog, id);
    if (control == nullptr) return FALSE;
    SendMessageA(control, BM_SETCHECK, check, 0);
    return TRUE;
}

UINT IsDlgButtonChecked(HWND dialog, int id) {
    return static_cast<UINT>(SendDlgItemMessageA(dialog, id, BM_GETCHECK, 0, 0));
}

HWND GetNextDlgTabItem(HWND dialog, HWND control, BOOL previous) {
    if (!IsWindow(dialog)) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return nullptr;
    }
    std::vector<HWND> stops;
    for (HWND child = GetWindow(dialog, GW_CHILD); child != nullptr;
         child = GetWindow(child, GW_HWNDNEXT)) {
        const auto style = static_cast<DWORD>(GetWindowLongA(child, GWL_STYLE));
        if ((style & WS_TABSTOP) != 0 && (style & WS_VISIBLE) != 0 && (style & WS_DISABLED) == 0)
            stops.push_back(child);
    }
    if (stops.empty()) return control;
    size_t at = stops.size();
    for (size_t i = 0; i < stops.size(); ++i)
        if (stops[i] == control) at = i;
    if (at == stops.size()) return previous != FALSE ? stops.back() : stops.front();
    return previous != FALSE ? stops[(at + stops.size() - 1) % stops.size()]
                             : stops[(at + 1) % stops.size()];
}

} // extern "C"
