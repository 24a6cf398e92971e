// What the compressor editor's control tests share: a borderless top-level window standing in
// for the editor, which records the WM_COMMAND notifications of its children, mouse input
// injected at control coordinates, and a message pump.
#pragma once

#include "compressor/compressor_editor_band_display.h"

#include <windows.h>

#include <algorithm>
#include <cstdlib>
#include <vector>

namespace orq::compressor::testing {

struct Notification {
    int id;
    LPARAM argument;
    BandDisplayReport report; // for the band display's notifications
};

inline std::vector<Notification>& notifications() {
    static std::vector<Notification> log;
    return log;
}

inline int bandDisplayId() {
    return 0x404;
}

inline LRESULT CALLBACK recordingProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_COMMAND) {
        Notification n{int(LOWORD(wParam)), lParam, {BandChange::ActiveBand, -1}};
        if (n.id == bandDisplayId() && lParam != 0)
            n.report = *reinterpret_cast<const BandDisplayReport*>(lParam);
        notifications().push_back(n);
        return 0;
    }
    return DefWindowProcA(window, message, wParam, lParam);
}

inline void pump() {
    MSG message{};
    for (int count = 0; count < 100000 && PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE); ++count) {
        TranslateMessage(&message);
        DispatchMessageA(&message);
    }
}

// A popup window at the screen's origin: window, client and screen coordinates agree.
class ParentWindow {
  public:
    explicit ParentWindow(int width = 640, int height = 320) {
        WNDCLASSA windowClass{};
        windowClass.lpfnWndProc = recordingProcedure;
        windowClass.lpszClassName = kClass;
        RegisterClassA(&windowClass);
        hwnd_ = CreateWindowExA(0, kClass, "editor", WS_POPUP | WS_VISIBLE, 0, 0, width, height,
                                nullptr, nullptr, nullptr, nullptr);
        notifications().clear();
        PlatformSetClock(TRUE); // presses count as double clicks only when a test says so
    }
    ~ParentWindow() {
        PlatformSetClock(FALSE);
        DestroyWindow(hwnd_);
        UnregisterClassA(kClass, nullptr);
        pump();
    }
    ParentWindow(const ParentWindow&) = delete;
    ParentWindow& operator=(const ParentWindow&) = delete;
    HWND hwnd() const { return hwnd_; }

  private:
    static constexpr const char* kClass = "CompressorEditorTestParent";
    HWND hwnd_ = nullptr;
};

// Mouse input for one control at its own window coordinates.
class Mouse {
  public:
    Mouse(HWND topLevel, HWND control) : topLevel_(topLevel), control_(control) {}
    void send(UINT message, int x, int y, WPARAM keys) const {
        POINT at{x, y};
        MapWindowPoints(control_, topLevel_, &at, 1);
        PlatformInjectMouse(topLevel_, message, at.x, at.y, keys);
        pump();
    }
    // A press long after the one before: never a double click.
    void press(int x, int y, WPARAM keys = 0) const {
        PlatformAdvanceClock(GetDoubleClickTime() + 1);
        send(WM_LBUTTONDOWN, x, y, keys | MK_LBUTTON);
    }
    // Two clicks at once: the second press arrives as a double click.
    void doubleClick(int x, int y) const {
        click(x, y);
        send(WM_LBUTTONDOWN, x, y, MK_LBUTTON);
        release(x, y);
    }
    void moveHeld(int x, int y, WPARAM keys = 0) const { send(WM_MOUSEMOVE, x, y, keys | MK_LBUTTON); }
    void hover(int x, int y) const { send(WM_MOUSEMOVE, x, y, 0); }
    void release(int x, int y, WPARAM keys = 0) const { send(WM_LBUTTONUP, x, y, keys); }
    void click(int x, int y, WPARAM keys = 0) const {
        press(x, y, keys);
        release(x, y, keys);
    }
    // Press, moves in steps of at most 2 pixels along the longer axis, release.
    void drag(int x0, int y0, int x1, int y1, WPARAM keys = 0) const {
        press(x0, y0, keys);
        const int steps = std::max(1, std::max(std::abs(x1 - x0), std::abs(y1 - y0)) / 2);
        for (int s = 1; s <= steps; ++s)
            moveHeld(x0 + (x1 - x0) * s / steps, y0 + (y1 - y0) * s / steps, keys);
        release(x1, y1, keys);
    }

  private:
    HWND topLevel_;
    HWND control_;
};

} // namespace orq::compressor::testing
