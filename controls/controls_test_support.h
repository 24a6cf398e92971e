// What the control tests share: a top-level editor window that records the notifications it
// gets, a message pump and the test program's bitmaps.
#pragma once

#include <windows.h>

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

namespace controls_test {

// Bitmap resources of the test program (testdata/test_resources.txt).
constexpr int kRed = 201;        // 8 x 6, face ff0000, border 7f0000
constexpr int kGreen = 202;      // 8 x 6, face 00ff00, border 007f00
constexpr int kBlue = 203;       // 8 x 6, face 0000ff, border 00007f
constexpr int kMeterEmpty = 204; // 4 x 20, face 202020
constexpr int kMeterFull = 205;  // 4 x 20, face e0e0e0
constexpr int kWideFull = 206;   // 20 x 4, face e0e0e0
constexpr int kBackground = 207; // 444 x 262, face 406080
constexpr int kEightBit = 301;   // 3 x 2, 8 bits, table black, red, green, blue

// One event as the editor window or a control saw it.
struct Event {
    std::string who; // "parent" or "control"
    UINT message;
    UINT code;   // WM_NOTIFY code
    UINT_PTR id; // WM_NOTIFY idFrom or WM_COMMAND low word
    WPARAM wParam;
    LPARAM lParam;
};

inline std::vector<Event>& events() {
    static std::vector<Event> log;
    return log;
}

// Called for each WM_COMMAND the editor window gets, while the message is being handled (the
// value blocks a notification points to are read here).
inline std::function<void(WPARAM, LPARAM)>& commandHook() {
    static std::function<void(WPARAM, LPARAM)> hook;
    return hook;
}

inline LRESULT CALLBACK editorProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_NOTIFY) {
        const auto* header = reinterpret_cast<const NMHDR*>(lParam);
        events().push_back({"parent", message, header->code, header->idFrom, wParam, lParam});
    } else if (message == WM_COMMAND) {
        events().push_back({"parent", message, 0, LOWORD(wParam), wParam, lParam});
        if (commandHook()) commandHook()(wParam, lParam);
    }
    return DefWindowProcA(window, message, wParam, lParam);
}

inline int pump() {
    MSG message{};
    int count = 0;
    while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
        TranslateMessage(&message);
        DispatchMessageA(&message);
        if (++count > 10000) break;
    }
    return count;
}

// A popup editor window (no frame: window and client coordinates agree) of 444 x 262.
class EditorWindow {
  public:
    EditorWindow(int width = 444, int height = 262) {
        WNDCLASSA windowClass{};
        windowClass.lpfnWndProc = editorProcedure;
        windowClass.hbrBackground = GetSysColorBrush(COLOR_WINDOW);
        windowClass.lpszClassName = "ControlsTestEditor";
        RegisterClassA(&windowClass);
        hwnd_ = CreateWindowExA(0, "ControlsTestEditor", "editor", WS_POPUP | WS_VISIBLE, 0, 0,
                                width, height, nullptr, nullptr, nullptr, nullptr);
        events().clear();
        commandHook() = nullptr;
    }
    EditorWindow(const EditorWindow&) = delete;
    EditorWindow& operator=(const EditorWindow&) = delete;
    ~EditorWindow() {
        commandHook() = nullptr;
        DestroyWindow(hwnd_);
        UnregisterClassA("ControlsTestEditor", nullptr);
        pump();
    }
    HWND hwnd() const { return hwnd_; }

  private:
    HWND hwnd_ = nullptr;
};

inline HINSTANCE thisProgram() {
    static const char anchor = 0;
    return PlatformModuleFromAddress(&anchor);
}

inline HBITMAP loadBitmap(int number) {
    return LoadBitmapA(thisProgram(), MAKEINTRESOURCEA(static_cast<WORD>(number)));
}

inline void click(HWND topLevel, int x, int y) {
    PlatformInjectMouse(topLevel, WM_LBUTTONDOWN, x, y, MK_LBUTTON);
    PlatformInjectMouse(topLevel, WM_LBUTTONUP, x, y, 0);
    pump();
}

} // namespace controls_test
