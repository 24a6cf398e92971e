// For editor tests: an editor on its plug-in inside a window of the test's (the property-page
// road), so everything runs on the test's thread, driven by the messages the controls send and
// the platform's manual clock.
#pragma once

#include "runtime/audio_plugin.h"
#include "runtime/editor_host.h"

#include <windows.h>

#include <gtest/gtest.h>

namespace orq::test {

// A plain top-level window to hold an editor, shown or not.
inline HWND createPageWindow(int width, int height, bool visible) {
    static const ATOM registered = [] {
        WNDCLASSA wc{};
        wc.lpfnWndProc = &DefWindowProcA;
        wc.lpszClassName = "OrqTestPage";
        return RegisterClassA(&wc);
    }();
    (void)registered;
    return CreateWindowExA(0, "OrqTestPage", "page",
                           WS_OVERLAPPEDWINDOW | (visible ? WS_VISIBLE : 0), 0, 0, width, height,
                           nullptr, nullptr, nullptr, nullptr);
}

// A visible top-level window without a frame (its pixels are its client's) to hold an editor or
// a display under test; pump() paints it and handles what is queued.
class PopupTestWindow {
  public:
    PopupTestWindow(int width, int height) {
        static const ATOM registered = [] {
            WNDCLASSA wc{};
            wc.lpfnWndProc = &DefWindowProcA;
            wc.lpszClassName = "OrqTestPopup";
            return RegisterClassA(&wc);
        }();
        (void)registered;
        window_ = CreateWindowExA(0, "OrqTestPopup", "", WS_POPUP | WS_VISIBLE, 0, 0, width, height,
                                  nullptr, nullptr, nullptr, nullptr);
    }
    ~PopupTestWindow() { DestroyWindow(window_); }
    PopupTestWindow(const PopupTestWindow&) = delete;
    PopupTestWindow& operator=(const PopupTestWindow&) = delete;

    HWND hwnd() const { return window_; }
    void pump() const {
        UpdateWindow(window_);
        MSG message{};
        while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE))
            DispatchMessageA(&message);
        UpdateWindow(window_);
    }

  private:
    HWND window_ = nullptr;
};

// Opens the plug-in (owned from here on) at the format, builds the editor from its factory and
// set, attaches it to the plug-in's record and to a page window, and tears it all down again.
class PageEditorRig {
  public:
    PageEditorRig(AudioPlugin* plugin, const OpenFormat& format, EditorFactory factory,
                  ParameterSet* editorSet, SIZE page, bool visible)
        : plugin_(plugin) {
        PlatformSetClock(TRUE);
        OpenFormat opened = format;
        EXPECT_EQ(plugin_->dispatch(kCmdOpen, &opened, 0), 0);
        page_ = createPageWindow(page.cx, page.cy, visible);
        record_ = createEditorRecord(factory, editorSet, nullptr);
        record_->dispatch(record_, kEdAttachRecord, &plugin_->record(), 0);
        record_->dispatch(record_, kEdAttachParent, page_, 0);
        client_ = editorClientWindow(record_);
        pump();
    }
    ~PageEditorRig() {
        record_->dispatch(record_, kEdDetachParent, nullptr, 0);
        record_->dispatch(record_, kEdDestroy, nullptr, 0);
        DestroyWindow(page_);
        delete plugin_;
        PlatformSetClock(FALSE);
    }
    PageEditorRig(const PageEditorRig&) = delete;
    PageEditorRig& operator=(const PageEditorRig&) = delete;

    EditorHost* host() const { return EditorHost::fromRecord(record_); }
    EditorRecord* record() const { return record_; }
    HWND page() const { return page_; }
    HWND client() const { return client_; }

    void pump() const {
        MSG message{};
        while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&message);
            DispatchMessageA(&message);
        }
    }
    // What a control tells its parent.
    void command(int id, LPARAM argument) {
        SendMessageA(client_, WM_COMMAND, WPARAM(id), argument);
        pump();
    }
    // Advances the manual clock in steps, pumping after each.
    void wait(DWORD milliseconds, DWORD stepMs = 1) {
        for (DWORD t = 0; t < milliseconds; t += stepMs) {
            PlatformAdvanceClock(stepMs);
            pump();
        }
    }

  protected:
    AudioPlugin* plugin_ = nullptr;
    HWND page_ = nullptr;
    EditorRecord* record_ = nullptr;
    HWND client_ = nullptr;
};

} // namespace orq::test
