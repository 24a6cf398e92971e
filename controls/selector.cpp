#include "controls/selector.h"

#include "controls/control_messages.h"
#include "controls/control_support.h"
#include "controls/palette.h"

#include <algorithm>
#include <climits>

namespace orq::controls {

Selector::Selector(HWND parent, int id, int count, const int* x, const int* y, const HBITMAP* on,
                   const HBITMAP* off, bool deselectOnSecondClick, HINSTANCE instance,
                   HPALETTE palette)
    : WObject(parent, id, kControlStyle, 0, instanceOrControls(instance)), palette_(palette),
      deselect_(deselectOnSecondClick) {
    const bool complete = x != nullptr && y != nullptr && on != nullptr && off != nullptr;
    RECT bounds{INT_MAX, INT_MAX, INT_MIN, INT_MIN};
    for (int i = 0; complete && i < count; ++i) {
        const SIZE size = largestSize({on[i], off[i]});
        const RECT rect{x[i], y[i], x[i] + size.cx, y[i] + size.cy};
        positions_.push_back(Position{rect, on[i], off[i]});
        bounds.left = std::min(bounds.left, rect.left);
        bounds.top = std::min(bounds.top, rect.top);
        bounds.right = std::max(bounds.right, rect.right);
        bounds.bottom = std::max(bounds.bottom, rect.bottom);
    }
    if (positions_.empty()) bounds = RECT{0, 0, 0, 0};
    // The rectangles relative to the window.
    for (Position& p : positions_) {
        p.rect.left -= bounds.left;
        p.rect.right -= bounds.left;
        p.rect.top -= bounds.top;
        p.rect.bottom -= bounds.top;
    }
    place(bounds.left, bounds.top, bounds.right - bounds.left, bounds.bottom - bounds.top);
    setReady();
}

RECT Selector::rectangle(int index) const {
    if (index < 0 || index >= count()) return RECT{0, 0, 0, 0};
    return positions_[static_cast<size_t>(index)].rect;
}

bool Selector::select(int index) {
    if (index < 0 || index >= count()) return false;
    previous_ = selected_;
    selected_ = index;
    repaintPositions(previous_, selected_);
    return true;
}

void Selector::selectNone() {
    previous_ = selected_;
    selected_ = -1;
    repaintPositions(previous_, -1);
}

void Selector::paintPosition(HDC dc, int index) const {
    if (index < 0 || index >= count()) return;
    const Position& p = positions_[static_cast<size_t>(index)];
    drawBitmap(dc, p.rect.left, p.rect.top, index == selected_ ? p.on : p.off, palette_);
}

void Selector::paintAll(HDC dc) const {
    for (int i = 0; i < count(); ++i)
        paintPosition(dc, i);
}

void Selector::repaintPositions(int first, int second) const {
    paintNow(hwnd(), [&](HDC dc) {
        paintPosition(dc, first);
        if (second != first) paintPosition(dc, second);
    });
}

void Selector::click(int x, int y) {
    if (!enabled_) {
        sendCommand(parent(), kDisabledClickCommand, id());
        return;
    }
    int hit = -1;
    for (int i = 0; i < count() && hit < 0; ++i) {
        const RECT& r = positions_[static_cast<size_t>(i)].rect;
        if (x >= r.left && x < r.right && y >= r.top && y < r.bottom) hit = i;
    }
    if (hit < 0) return;
    if (hit != selected_) {
        select(hit);
        sendCommand(parent(), id(), hit);
    } else if (deselect_) {
        sendCommand(parent(), id(), kDeselectedFlag + hit);
        selectNone();
    }
}

LRESULT Selector::handleMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_PAINT:
        // Every position: the selected one on, the others off.
        paintCycle(window, [this](HDC dc) { paintAll(dc); });
        return 0;
    case WM_ERASEBKGND:
        return 1;
    case WM_LBUTTONDOWN:
    case WM_LBUTTONDBLCLK:
        click(GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam));
        return 0;
    case kSetStateMessage:
        select(static_cast<int>(lParam));
        return 0;
    case kSelectNoneMessage:
        selectNone();
        return 0;
    case kEnableMessage:
        enabled_ = wParam != 0;
        return 0;
    default:
        return 0;
    }
}

} // namespace orq::controls
