// The display top-level windows show on. The headless display keeps what it was told about
// each window (size, visibility, the rectangles presented) for tests; the pixels themselves stay
// in the windows' surfaces. A live display replaces it through installDisplay.
#include "platform/surface.h"

#include <algorithm>
#include <map>
#include <mutex>

namespace platform {
namespace {

class HeadlessDisplay : public Display {
  public:
    void windowCreated(HWND window, const Surface& surface) override {
        std::lock_guard<std::mutex> guard(mutex_);
        PlatformDisplayWindowState& entry = windows_[window];
        entry = PlatformDisplayWindowState{};
        entry.known = TRUE;
        entry.width = surface.width;
        entry.height = surface.height;
    }
    void windowChanged(HWND window, const Surface& surface, bool visible) override {
        std::lock_guard<std::mutex> guard(mutex_);
        PlatformDisplayWindowState& entry = windows_[window];
        entry.width = surface.width;
        entry.height = surface.height;
        entry.visible = visible ? TRUE : FALSE;
        ++entry.changes;
    }
    void windowDestroyed(HWND window) override {
        std::lock_guard<std::mutex> guard(mutex_);
        PlatformDisplayWindowState& entry = windows_[window];
        entry.known = FALSE;
        entry.destroyed = TRUE;
        entry.visible = FALSE;
    }
    void present(HWND window, const Surface&, const RECT& dirty) override {
        std::lock_guard<std::mutex> guard(mutex_);
        PlatformDisplayWindowState& entry = windows_[window];
        ++entry.presents;
        if (dirty.right <= dirty.left || dirty.bottom <= dirty.top) return;
        RECT& all = entry.dirty;
        if (all.right <= all.left || all.bottom <= all.top) {
            all = dirty;
        } else {
            all.left = std::min(all.left, dirty.left);
            all.top = std::min(all.top, dirty.top);
            all.right = std::max(all.right, dirty.right);
            all.bottom = std::max(all.bottom, dirty.bottom);
        }
    }
    bool lookUp(HWND window, PlatformDisplayWindowState* state, bool clearDirty) {
        std::lock_guard<std::mutex> guard(mutex_);
        auto found = windows_.find(window);
        if (found == windows_.end()) return false;
        *state = found->second;
        if (clearDirty) found->second.dirty = RECT{};
        return true;
    }

  private:
    std::mutex mutex_;
    std::map<HWND, PlatformDisplayWindowState> windows_;
};

HeadlessDisplay& headless() {
    static HeadlessDisplay* instance = new HeadlessDisplay(); // outlives late window messages
    return *instance;
}

std::mutex installMutex;
Display* installed = nullptr;

} // namespace

Display& display() {
    std::lock_guard<std::mutex> guard(installMutex);
    return installed != nullptr ? *installed : headless();
}

void installDisplay(Display* replacement) {
    std::lock_guard<std::mutex> guard(installMutex);
    installed = replacement;
}

} // namespace platform

extern "C" BOOL PlatformDisplayWindow(HWND window, PlatformDisplayWindowState* state,
                                      BOOL clearDirty) {
    if (state == nullptr) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    *state = PlatformDisplayWindowState{};
    return platform::headless().lookUp(window, state, clearDirty != FALSE) ? TRUE : FALSE;
}
