// The host's "AudioEngine" window: the libraries send it WM_USER + 2 when an editor window is
// closed and post WM_USER + 5 when their last object is gone (they may then be unloaded).
#pragma once

#include <windows.h>

#include <set>

namespace orq::host {

class EngineWindow {
  public:
    EngineWindow();
    ~EngineWindow();
    EngineWindow(const EngineWindow&) = delete;
    EngineWindow& operator=(const EngineWindow&) = delete;
    // Handles the messages waiting in this thread's queue.
    void pump();
    // Modules that reported their last object gone since the window was made.
    const std::set<HMODULE>& idleModules() const { return idle_; }
    // WM_USER + 5 notices and WM_USER + 2 (an editor window asked to close) received so far.
    int idleNotices() const { return idleNotices_; }
    int editorCloseRequests() const { return editorCloseRequests_; }

  private:
    static LRESULT procedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    HWND window_ = nullptr;
    std::set<HMODULE> idle_;
    int idleNotices_ = 0;
    int editorCloseRequests_ = 0;
};

} // namespace orq::host
