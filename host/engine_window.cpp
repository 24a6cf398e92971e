#include "host/engine_window.h"

#include "runtime/window_messages.h"

namespace orq::host {

namespace {
constexpr const char* kClassName = "AudioEngine";
}

EngineWindow::EngineWindow() {
    WNDCLASSA wc{};
    wc.lpfnWndProc = &EngineWindow::procedure;
    wc.lpszClassName = kClassName;
    RegisterClassA(&wc);
    window_ = CreateWindowExA(0, kClassName, "", 0, 0, 0, 0, 0, nullptr, nullptr, nullptr, nullptr);
    SetWindowLongPtrA(window_, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
}

EngineWindow::~EngineWindow() {
    DestroyWindow(window_);
    UnregisterClassA(kClassName, nullptr);
}

void EngineWindow::pump() {
    MSG message;
    while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE))
        DispatchMessageA(&message);
}

LRESULT EngineWindow::procedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    auto* self = reinterpret_cast<EngineWindow*>(GetWindowLongPtrA(window, GWLP_USERDATA));
    if (self != nullptr && message == kMsgLibraryIdle) {
        self->idle_.insert(reinterpret_cast<HMODULE>(lParam));
        ++self->idleNotices_;
        return 0;
    }
    // The frame of an editor was closed by its user: it is hidden, and orq closes the editor
    // when its command ends.
    if (self != nullptr && message == kMsgEditorClosing) {
        ++self->editorCloseRequests_;
        // Sent, it would not end a GetMessageA that waits for it: a posted message does.
        PostMessageA(window, WM_NULL, 0, 0);
        return 0;
    }
    return DefWindowProcA(window, message, wParam, lParam);
}

} // namespace orq::host
