// What the Plax editor tests share: a host window to open editors in, input through the
// window system's queue, and an effect holding pressane_plax's parameter table.
#pragma once

#include "plax/plax_editor.h"

#include <windows.h>

#include <array>
#include <cmath>
#include <cstring>
#include <string>

namespace plax_test {

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

inline HINSTANCE thisProgram() {
    static const char anchor = 0;
    return PlatformModuleFromAddress(&anchor);
}

// A borderless top-level window standing for the host's: the editor's frame lies at its (0, 0),
// so frame and window coordinates agree.
class HostWindow {
  public:
    HostWindow(int width = 446, int height = 263) {
        WNDCLASSA windowClass{};
        windowClass.lpfnWndProc = DefWindowProcA;
        windowClass.lpszClassName = "PlaxTestHost";
        RegisterClassA(&windowClass);
        hwnd_ = CreateWindowExA(0, "PlaxTestHost", "host", WS_POPUP | WS_VISIBLE, 0, 0, width,
                                height, nullptr, nullptr, nullptr, nullptr);
    }
    HostWindow(const HostWindow&) = delete;
    HostWindow& operator=(const HostWindow&) = delete;
    ~HostWindow() {
        DestroyWindow(hwnd_);
        UnregisterClassA("PlaxTestHost", nullptr);
        pump();
    }
    HWND hwnd() const { return hwnd_; }

  private:
    HWND hwnd_ = nullptr;
};

inline void press(HWND host, int x, int y) {
    PlatformInjectMouse(host, WM_LBUTTONDOWN, x, y, MK_LBUTTON);
    pump();
}
inline void drag(HWND host, int x, int y) {
    PlatformInjectMouse(host, WM_MOUSEMOVE, x, y, MK_LBUTTON);
    pump();
}
inline void release(HWND host, int x, int y) {
    PlatformInjectMouse(host, WM_LBUTTONUP, x, y, 0);
    pump();
}
// Clicks far enough apart in time that two on one place are not a double click.
inline void click(HWND host, int x, int y) {
    press(host, x, y);
    release(host, x, y);
    Sleep(0);
}

inline void key(HWND host, int virtualKey) {
    PlatformInjectKey(host, WM_KEYDOWN, WPARAM(virtualKey), 0);
    PlatformInjectKey(host, WM_KEYUP, WPARAM(virtualKey), 0);
    pump();
}

// Types digits, letters, '-', '+' and '.' as their keys would (US layout).
inline void type(HWND host, const std::string& text) {
    for (char c : text) {
        if (c == '-') {
            key(host, VK_OEM_MINUS);
        } else if (c == '.') {
            key(host, VK_OEM_PERIOD);
        } else if (c == '+') {
            PlatformInjectKey(host, WM_KEYDOWN, VK_SHIFT, 0);
            key(host, 0xbb); // '=' key: '+' with shift
            PlatformInjectKey(host, WM_KEYUP, VK_SHIFT, 0);
            pump();
        } else if (c >= 'a' && c <= 'z') {
            key(host, c - 'a' + 'A');
        } else {
            key(host, c);
        }
    }
}

// pressane_plax's parameter table as the effect holds it: value, minimum, maximum, step per
// index (0 … 5 scalar, 6 and 7 two floats of peaks in dB). Setting a host parameter tells the
// editor, as the effect's set parameter does.
class PressaneEffect final : public orq::plax::EditorEffect {
  public:
    struct Record {
        float value, minimum, maximum, step;
    };
    std::array<Record, 6> records{{{0, 0, 12, 0.5f},
                                    {0, 0, 1, 0.05f},
                                    {0, -9, 9, 1},
                                    {0, 0, 1, 1},
                                    {0, 0, 0.9f, 0.1f},
                                    {6, -3, 6, 1}}};
    float inputPeaksDb[2] = {-99, -99};
    float outputPeaksDb[2] = {-99, -99};
    orq::plax::Editor* editor = nullptr;
    int automatedCount = 0;

    float normalizedParameter(int index) override {
        const Record& r = records[size_t(index)];
        return (r.value - r.minimum) / (r.maximum - r.minimum);
    }
    void setNormalized(int index, float x) {
        Record& r = records[size_t(index)];
        const float steps = (r.maximum - r.minimum) / r.step;
        r.value = std::floor(steps * x + 0.5f) * r.step + r.minimum;
    }
    void setParameterAutomated(int index, float normalized) override {
        ++automatedCount;
        setNormalized(index, normalized);
        if (editor != nullptr) editor->parameterChanged(index);
    }
    float rawValue(int index) override { return records[size_t(index)].value; }
    void setRawValue(int index, float value) override { records[size_t(index)].value = value; }
    float minimum(int index) override { return records[size_t(index)].minimum; }
    float maximum(int index) override { return records[size_t(index)].maximum; }
    int readBlock(int index, void* bytes, int size) override {
        if (index != 6 && index != 7) return 0;
        const int n = size < int(sizeof inputPeaksDb) ? size : int(sizeof inputPeaksDb);
        std::memcpy(bytes, index == 6 ? inputPeaksDb : outputPeaksDb, size_t(n));
        return n;
    }
};

} // namespace plax_test
