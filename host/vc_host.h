// orq as a host of the libraries' Vc exports: the application window that owns the editors'
// frames, the callbacks it hands a library, and finding an editor's frame.
#pragma once

#include "host/plugin_library.h"

#include <windows.h>

#include <dlfcn.h>

#include <stdexcept>
#include <string>

namespace orq::host {

constexpr const char* kEditorClass = "AudioUI";

// orq's own top-level application window: the owner of the editors' frames.
class ApplicationWindow {
  public:
    ApplicationWindow();
    ~ApplicationWindow();
    ApplicationWindow(const ApplicationWindow&) = delete;
    ApplicationWindow& operator=(const ApplicationWindow&) = delete;
    HWND handle() const { return window_; }

  private:
    HWND window_ = nullptr;
};

template <class F> F librarySymbol(const PluginLibrary& library, const char* name) {
    auto found = reinterpret_cast<F>(dlsym(library.handle, name));
    if (found == nullptr)
        throw std::runtime_error("'" + library.path + "' does not export " + name);
    return found;
}

// orq's own module: the resource module whose bitmaps (10000 … 10008) the editors' caption
// strips show.
HMODULE orqModule();

// [ui-thread] hands the library orq's application window and callbacks: no thread functions
// (the runtime starts each editor's thread itself), orq's module as the resource module and
// dialog as the settings dialog.
void introduceHost(const PluginLibrary& library, HWND application, SettingsDialogFn dialog);

// The editor's frame as a host finds it: the top-level "AudioUI" window owned by application.
HWND findFrame(HWND application);

// The editor's client window: the frame's "AudioUI" child, or null.
HWND findClient(HWND frame);

} // namespace orq::host
