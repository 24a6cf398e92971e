#include "controls/wobject.h"

namespace orq::controls {
namespace {

constexpr char kClassName[] = "WObject";
// Live controls of this library; the user-interface thread alone creates and destroys them.
int liveCount = 0;
const char moduleAnchor = 0;

UINT clickNotification(UINT message) {
    switch (message) {
    case WM_LBUTTONDOWN:
        return kNotifyLeftDown;
    case WM_LBUTTONDBLCLK:
        return kNotifyLeftDoubleClick;
    case WM_RBUTTONDOWN:
        return kNotifyRightDown;
    case WM_RBUTTONDBLCLK:
        return kNotifyRightDoubleClick;
    default:
        return 0;
    }
}

bool isRightButtonNotification(UINT code) {
    return code == kNotifyRightDown || code == kNotifyRightDoubleClick;
}

} // namespace

HINSTANCE controlsModule() {
    return PlatformModuleFromAddress(&moduleAnchor);
}

int WObject::liveControls() {
    return liveCount;
}

WObject::WObject(HWND parent, int id, DWORD style, UINT classStyle, HINSTANCE instance)
    : id_(id), parent_(parent), instance_(instance) {
    WNDCLASSA existing{};
    if (!GetClassInfoA(instance, kClassName, &existing)) {
        WNDCLASSA windowClass{};
        windowClass.style = classStyle != 0 ? (classStyle | CS_DBLCLKS) : kDefaultClassStyle;
        windowClass.lpfnWndProc = &WObject::windowProcedure;
        windowClass.hInstance = instance;
        windowClass.hCursor = LoadCursorA(nullptr, IDC_ARROW);
        windowClass.lpszClassName = kClassName;
        RegisterClassA(&windowClass);
    }
    ++liveCount;
    hwnd_ = CreateWindowExA(WS_EX_NOPARENTNOTIFY, kClassName, kClassName, style, CW_USEDEFAULT,
                            CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, parent,
                            reinterpret_cast<HMENU>(static_cast<intptr_t>(id)), instance, this);
}

WObject::~WObject() {
    if (hwnd_ != nullptr) {
        SetWindowLongPtrA(hwnd_, GWLP_USERDATA, 0);
        SetWindowLongPtrA(hwnd_, GWLP_ID, 0);
        DestroyWindow(hwnd_);
    }
    if (--liveCount == 0) UnregisterClassA(kClassName, instance_);
}

void WObject::show() {
    ShowWindow(hwnd_, SW_SHOW);
}

void WObject::hide() {
    ShowWindow(hwnd_, SW_HIDE);
}

void WObject::place(int x, int y, int width, int height) {
    MoveWindow(hwnd_, x, y, width, height, TRUE);
}

LRESULT WObject::handleMessage(HWND, UINT, WPARAM, LPARAM) {
    return 0;
}

LRESULT CALLBACK WObject::windowProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    WObject* control = nullptr;
    if (message == WM_NCCREATE || message == WM_CREATE) {
        const auto* create = reinterpret_cast<const CREATESTRUCTA*>(lParam);
        control = static_cast<WObject*>(create->lpCreateParams);
        if (message == WM_NCCREATE && control != nullptr) {
            control->hwnd_ = window;
            SetWindowLongPtrA(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(control));
        }
    } else {
        control = reinterpret_cast<WObject*>(GetWindowLongPtrA(window, GWLP_USERDATA));
    }
    if (control == nullptr) return DefWindowProcA(window, message, wParam, lParam);

    bool skipDefault = false;
    const LONG_PTR childId = GetWindowLongPtrA(window, GWLP_ID);
    const UINT code = clickNotification(message);
    if (childId != 0 && code != 0) {
        NMHDR header{window, static_cast<UINT_PTR>(childId), code};
        SendMessageA(control->parent_, WM_NOTIFY, static_cast<WPARAM>(childId),
                     reinterpret_cast<LPARAM>(&header));
        skipDefault = isRightButtonNotification(code);
        // The parent may have destroyed the control.
        control = reinterpret_cast<WObject*>(GetWindowLongPtrA(window, GWLP_USERDATA));
        if (control == nullptr) return 0;
    }
    LRESULT result = 0;
    if (control->ready_) result = control->handleMessage(window, message, wParam, lParam);
    if (skipDefault) return result;
    return DefWindowProcA(window, message, wParam, lParam);
}

} // namespace orq::controls
