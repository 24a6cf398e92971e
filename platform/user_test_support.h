// Shared by the window-system tests: a recording window procedure, a registered test class and
// a message pump that runs until the queue is empty.
#pragma once

#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <mutex>
#include <string>
#include <vector>

namespace usertest {

struct Seen {
    HWND window;
    UINT message;
    WPARAM wParam;
    LPARAM lParam;
};

class Recorder {
  public:
    void add(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
        std::lock_guard<std::mutex> guard(mutex_);
        seen_.push_back({window, message, wParam, lParam});
    }
    std::vector<Seen> take() {
        std::lock_guard<std::mutex> guard(mutex_);
        std::vector<Seen> taken;
        taken.swap(seen_);
        return taken;
    }

  private:
    std::mutex mutex_;
    std::vector<Seen> seen_;
};

inline Recorder& recorder() {
    static Recorder instance;
    return instance;
}

inline std::vector<Seen> only(const std::vector<Seen>& seen, std::initializer_list<UINT> wanted) {
    std::vector<Seen> kept;
    for (const Seen& s : seen)
        if (std::find(wanted.begin(), wanted.end(), s.message) != wanted.end()) kept.push_back(s);
    return kept;
}

inline std::vector<UINT> messages(const std::vector<Seen>& seen) {
    std::vector<UINT> result;
    for (const Seen& s : seen)
        result.push_back(s.message);
    return result;
}

// Records everything and leaves the rest to DefWindowProcA.
inline LRESULT CALLBACK recordingProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    recorder().add(window, message, wParam, lParam);
    return DefWindowProcA(window, message, wParam, lParam);
}

// Dispatches until nothing (posted, input, paint or due timer) is left; returns the count.
inline int pump() {
    MSG message{};
    int count = 0;
    while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
        TranslateMessage(&message);
        DispatchMessageA(&message);
        if (++count > 10000) break; // a window that never validates
    }
    return count;
}

// Registers one class per test (white background, double clicks) and removes it afterwards.
class UserTest : public ::testing::Test {
  protected:
    void SetUp() override {
        recorder().take();
        WNDCLASSA windowClass{};
        windowClass.style = CS_DBLCLKS;
        windowClass.lpfnWndProc = recordingProc;
        windowClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
        windowClass.hCursor = LoadCursorA(nullptr, IDC_ARROW);
        windowClass.lpszClassName = kClass;
        ASSERT_NE(RegisterClassA(&windowClass), 0);
        WNDCLASSA plain = windowClass;
        plain.style = 0;
        plain.lpszClassName = kPlainClass;
        ASSERT_NE(RegisterClassA(&plain), 0);
    }
    void TearDown() override {
        for (const char* name : {kClass, kPlainClass})
            while (HWND left = FindWindowA(name, nullptr))
                if (!DestroyWindow(left)) break;
        for (HWND window : made_)
            if (IsWindow(window)) DestroyWindow(window);
        EXPECT_TRUE(UnregisterClassA(kClass, nullptr));
        EXPECT_TRUE(UnregisterClassA(kPlainClass, nullptr));
        ReleaseCapture();
    }
    // A visible top-level window at (x, y) of the given size.
    HWND topLevel(int x, int y, int width, int height, DWORD style = WS_OVERLAPPED | WS_SYSMENU,
                  const char* className = kClass, DWORD exStyle = 0) {
        HWND window = CreateWindowExA(exStyle, className, "Test", style | WS_VISIBLE, x, y, width,
                                      height, nullptr, nullptr, nullptr, nullptr);
        made_.push_back(window);
        return window;
    }
    HWND child(HWND parent, int id, int x, int y, int width, int height,
               const char* className = kClass, DWORD style = WS_CHILD | WS_VISIBLE) {
        HWND window =
            CreateWindowExA(0, className, "", style, x, y, width, height, parent,
                            reinterpret_cast<HMENU>(static_cast<intptr_t>(id)), nullptr, nullptr);
        made_.push_back(window);
        return window;
    }
    static constexpr const char* kClass = "OrqUserTest";
    static constexpr const char* kPlainClass = "OrqUserTestPlain";

  private:
    std::vector<HWND> made_;
};

} // namespace usertest
