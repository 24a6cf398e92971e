#include "controls/caption_button.h"

namespace orq::controls {
namespace {

constexpr int kBarHeight = 2;

bool hasStyle(DWORD style, DWORD bits) {
    return (style & bits) == bits;
}

} // namespace

CaptionButton::CaptionButton(CaptionButtonOwner* owner, HWND frame, int slot)
    : owner_(owner), slot_(slot) {
    const auto style = static_cast<DWORD>(GetWindowLongA(frame, GWL_STYLE));
    if (frame != nullptr && hasStyle(style, WS_CAPTION)) frame_ = frame;
    normal_ = LoadBitmapA(nullptr, MAKEINTRESOURCEA(OBM_ZOOM));
    pressed_ = LoadBitmapA(nullptr, MAKEINTRESOURCEA(OBM_ZOOMD));
    BITMAP info{};
    if (normal_ != nullptr && GetObjectA(normal_, sizeof info, &info) != 0) {
        width_ = info.bmWidth;
        height_ = info.bmHeight;
    }
}

CaptionButton::~CaptionButton() {
    if (normal_ != nullptr) DeleteObject(normal_);
    if (pressed_ != nullptr) DeleteObject(pressed_);
}

RECT CaptionButton::rect() const {
    if (frame_ == nullptr) return RECT{0, 0, 0, 0};
    const auto style = static_cast<DWORD>(GetWindowLongA(frame_, GWL_STYLE));
    const auto exStyle = static_cast<DWORD>(GetWindowLongA(frame_, GWL_EXSTYLE));
    RECT client{};
    GetClientRect(frame_, &client);
    int x = client.right;
    if ((style & WS_MINIMIZEBOX) != 0) x -= width_;
    x -= width_ * (slot_ + ((style & WS_MAXIMIZEBOX) != 0 ? 3 : 2));
    if ((exStyle & WS_EX_CONTEXTHELP) != 0) x -= width_;
    x -= GetSystemMetrics(SM_CXBORDER) + GetSystemMetrics(SM_CYDLGFRAME);
    const int frameHeight = (style & WS_THICKFRAME) != 0 ? GetSystemMetrics(SM_CYFRAME)
                                                         : GetSystemMetrics(SM_CYDLGFRAME);
    const int y =
        frameHeight +
        (GetSystemMetrics(SM_CYCAPTION) - GetSystemMetrics(SM_CYBORDER) - height_ + 1) / 2;
    return RECT{x, y, x + width_, y + height_};
}

bool CaptionButton::insideScreen(POINT screen) const {
    RECT window{};
    if (frame_ == nullptr || !GetWindowRect(frame_, &window)) return false;
    const RECT r = rect();
    const LONG x = screen.x - window.left;
    const LONG y = screen.y - window.top;
    return x >= r.left && x < r.right && y >= r.top && y < r.bottom;
}

void CaptionButton::draw(bool pressed) const {
    if (frame_ == nullptr || IsIconic(frame_)) return;
    HDC dc = GetWindowDC(frame_);
    if (dc == nullptr) return;
    const RECT r = rect();
    if (HBITMAP picture = pressed ? pressed_ : normal_) {
        HDC memory = CreateCompatibleDC(dc);
        HGDIOBJ previous = SelectObject(memory, picture);
        BitBlt(dc, r.left, r.top, width_, height_, memory, 0, 0, SRCCOPY);
        SelectObject(memory, previous);
        DeleteDC(memory);
    }
    const int edgeX = GetSystemMetrics(SM_CXEDGE);
    const int edgeY = GetSystemMetrics(SM_CYEDGE);
    const RECT face{r.left + edgeX, r.top + edgeY, r.right - edgeX, r.bottom - edgeY};
    FillRect(dc, &face, GetSysColorBrush(COLOR_BTNFACE));
    const int shift = pressed ? 1 : 0;
    const int barTop = face.top + (face.bottom - face.top - kBarHeight) / 2 + shift;
    const RECT bar{face.left + 1 + shift, barTop, face.right - 2 + shift, barTop + kBarHeight};
    FillRect(dc, &bar, GetSysColorBrush(COLOR_ACTIVECAPTION));
    ReleaseDC(frame_, dc);
}

void CaptionButton::track() {
    SetCapture(frame_);
    bool pressed = true;
    bool drawn = false;
    MSG message{};
    for (;;) {
        if (PeekMessageA(&message, nullptr, WM_QUIT, WM_QUIT, PM_NOREMOVE)) break;
        if (pressed != drawn) {
            draw(pressed);
            drawn = pressed;
        }
        if (GetMessageA(&message, frame_, 0, 0) <= 0) break;
        POINT screen{GET_X_LPARAM(message.lParam), GET_Y_LPARAM(message.lParam)};
        switch (message.message) {
        case WM_MOUSEMOVE:
        case WM_LBUTTONUP:
            ClientToScreen(frame_, &screen);
            pressed = insideScreen(screen);
            break;
        case WM_NCMOUSEMOVE:
        case WM_NCLBUTTONUP:
            pressed = insideScreen(screen);
            break;
        default:
            // Paints and the frame's other messages go on as usual.
            DispatchMessageA(&message);
            continue;
        }
        if (message.message == WM_LBUTTONUP || message.message == WM_NCLBUTTONUP) break;
    }
    draw(false);
    ReleaseCapture();
    if (owner_ != nullptr) owner_->captionButtonClicked(pressed);
}

bool CaptionButton::handleMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam,
                                  LRESULT* result) {
    if (frame_ == nullptr || window != frame_) return false;
    LRESULT answer = 0;
    switch (message) {
    case WM_SETTEXT:
    case WM_NCACTIVATE:
        answer = DefWindowProcA(window, message, wParam, lParam);
        DefWindowProcA(window, WM_NCPAINT, 1, 0);
        draw(false);
        break;
    case WM_NCHITTEST:
        if (!insideScreen(POINT{GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)})) return false;
        answer = kCaptionButtonHit;
        break;
    case WM_NCPAINT:
        // The frame has no regions: the button is drawn over the default frame.
        DefWindowProcA(window, WM_NCPAINT, wParam, lParam);
        draw(false);
        break;
    case WM_NCLBUTTONDOWN:
    case WM_NCLBUTTONDBLCLK:
        if (static_cast<LRESULT>(wParam) != kCaptionButtonHit) return false;
        track();
        break;
    default:
        return false;
    }
    if (result != nullptr) *result = answer;
    return true;
}

} // namespace orq::controls
