#include "host/vc_host.h"

namespace orq::host {

namespace {

constexpr const char* kApplicationClass = "OrqApplication";

} // namespace

ApplicationWindow::ApplicationWindow() {
    WNDCLASSA wc{};
    wc.lpfnWndProc = DefWindowProcA;
    wc.lpszClassName = kApplicationClass;
    RegisterClassA(&wc);
    window_ = CreateWindowExA(0, kApplicationClass, "orq", WS_OVERLAPPED, 0, 0, 0, 0, nullptr,
                              nullptr, nullptr, nullptr);
    if (window_ == nullptr) throw std::runtime_error("cannot create orq's application window");
}

ApplicationWindow::~ApplicationWindow() {
    DestroyWindow(window_);
    UnregisterClassA(kApplicationClass, nullptr);
}

HMODULE orqModule() {
    return PlatformModuleFromAddress(reinterpret_cast<const void*>(&introduceHost));
}

void introduceHost(const PluginLibrary& library, HWND application, SettingsDialogFn dialog) {
    librarySymbol<VcSetApplicationWindowFn>(library, "VcSetApplicationWindow")(application);
    HostCallbackRecord callbacks{};
    callbacks.settingsDialog = dialog;
    callbacks.hostValue = reinterpret_cast<uintptr_t>(orqModule());
    librarySymbol<VcSetCallbacksFn>(library, "VcSetCallbacks")(&callbacks);
}

HWND findFrame(HWND application) {
    HWND frame = FindWindowA(kEditorClass, nullptr);
    return frame != nullptr && GetWindow(frame, GW_OWNER) == application ? frame : nullptr;
}

} // namespace orq::host
