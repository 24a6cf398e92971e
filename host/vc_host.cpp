#include "host/vc_host.h"

#include <string>

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

namespace {

struct ChildSearch {
    HWND frame;
    HWND found = nullptr;
};

BOOL CALLBACK visitChild(HWND window, LPARAM context) {
    auto* search = reinterpret_cast<ChildSearch*>(context);
    char name[64] = {};
    GetClassNameA(window, name, sizeof name);
    if (GetParent(window) == search->frame && std::string(name) == kEditorClass) {
        search->found = window;
        return FALSE;
    }
    return TRUE;
}

} // namespace

HWND findClient(HWND frame) {
    ChildSearch search{frame};
    EnumChildWindows(frame, visitChild, reinterpret_cast<LPARAM>(&search));
    return search.found;
}

} // namespace orq::host
