#include "runtime/editor_host.h"

#include "controls/palette.h"
#include "runtime/live_objects.h"
#include "runtime/plugin_glue.h"
#include "runtime/window_messages.h"

#include <cstdio>
#include <cstring>
#include <new>

namespace orq {
namespace {

// Library-wide state shared with the host extension exports.
struct LibraryUiState {
    LibraryUiState() { InitializeCriticalSection(&lock); }
    CRITICAL_SECTION lock; // guards the class registration and the window count together
    HWND applicationWindow = nullptr;
    HostCallbackRecord callbacks{};
    LONG windowCount = 0;
};

LibraryUiState& uiState() {
    static LibraryUiState state;
    return state;
}

// The format argument of kEdFormat and kEdFormatChanged.
struct EditorFormat {
    int32_t sampleRate;
    int32_t channels;
};

// The strip's buttons: command and first of its three bitmaps (normal, pressed, on).
struct StripButton {
    int command;
    int firstBitmap;
};
constexpr StripButton kStrip[3] = {
    {kStripBypassCommand, kStripFirstBitmapId},
    {kStripMuteCommand, kStripFirstBitmapId + 3},
    {kStripSettingsCommand, kStripFirstBitmapId + 6},
};
constexpr int kStripButtonWidth = 16; // without bitmaps
constexpr DWORD kFrameStyle = WS_CLIPCHILDREN | WS_SYSMENU | WS_MINIMIZEBOX | WS_CAPTION;

// The class is registered with the first frame window and unregistered with the last.
// [ui-thread] of each editor; under the library's lock.
bool registerEditorClass(HINSTANCE instance, HICON icon) {
    WNDCLASSA existing{};
    if (GetClassInfoA(instance, kEditorWindowClass, &existing)) return true;
    WNDCLASSA wc{};
    wc.style = kEditorClassStyle;
    wc.lpfnWndProc = &EditorHost::windowProcedure;
    wc.hInstance = instance;
    wc.hIcon = icon;
    wc.hCursor = LoadCursorA(nullptr, IDC_ARROW);
    wc.lpszClassName = kEditorWindowClass;
    return RegisterClassA(&wc) != 0;
}

} // namespace

void setApplicationWindow(HWND window) {
    uiState().applicationWindow = window;
}
HWND applicationWindow() {
    return uiState().applicationWindow;
}
void setHostCallbacks(const HostCallbackRecord& callbacks) {
    uiState().callbacks = callbacks;
}
const HostCallbackRecord& hostCallbacks() {
    return uiState().callbacks;
}
LONG editorWindowCount() {
    ScopedLock lock(uiState().lock);
    return uiState().windowCount;
}

// Construction and the record --------------------------------------------------------------

EditorHost::EditorHost(ParameterSet* parameters) try : parameters_(parameters) {
    title_ = programName_; // the one step that may throw, before anything needs undoing
    InitializeCriticalSection(&lock_);
    objectCreated(LiveKind::Editor);
} catch (...) {
    // The set is ours from the call on, also when the editor cannot be built.
    if (parameters != nullptr) parameters->release();
}

EditorHost::~EditorHost() {
    if (parameters_ != nullptr) parameters_->release();
    DeleteCriticalSection(&lock_);
    objectDestroyed(LiveKind::Editor);
}

EditorHost* EditorHost::fromRecord(EditorRecord* record) {
    return dynamic_cast<EditorHost*>(EditorInterface::fromRecord(record));
}

HINSTANCE EditorHost::instance() const {
    return moduleHandle();
}

HWND editorFrameWindow(EditorRecord* record) {
    EditorHost* editor = EditorHost::fromRecord(record);
    return editor != nullptr ? editor->frameWindow() : nullptr;
}

HWND editorClientWindow(EditorRecord* record) {
    EditorHost* editor = EditorHost::fromRecord(record);
    return editor != nullptr ? editor->clientWindow() : nullptr;
}

EditorRecord* createEditorRecord(EditorFactory factory, ParameterSet* ownSet,
                                 ParameterInterface* given) noexcept {
    // ownSet is released here until the factory takes it (also when it throws).
    try {
        if (ownSet != nullptr && given != nullptr) ownSet->copyFrom(given);
    } catch (...) {
        ownSet->release();
        return nullptr;
    }
    EditorHost* editor = nullptr;
    try {
        // Either owns the set from the call on.
        editor = factory != nullptr ? factory(ownSet) : makeEditor<EditorHost>(ownSet);
    } catch (...) {
        return nullptr;
    }
    return editor != nullptr ? editor->editorRecord() : nullptr;
}

// The editor protocol ------------------------------------------------------------------------

intptr_t EditorHost::command(int32_t command, void* arg, intptr_t value) {
    switch (command) {
    case kEdFormat:
    case kEdFormatChanged:
        if (const auto* format = static_cast<const EditorFormat*>(arg)) {
            sampleRate_ = format->sampleRate;
            channels_ = format->channels;
        }
        if (command == kEdFormat) show();
        return 0;
    case kEdClose:
        close();
        return 0;
    case kEdDestroy:
        destroy();
        return 0;
    case kEdLoad: {
        auto* store = static_cast<ParameterInterface*>(arg);
        if (store == nullptr || parameters_ == nullptr) return 0;
        ScopedLock lock(lock_);
        store->setMode(store, int32_t(value));
        parameters_->copyFrom(store);
        loadValues();
        return 1;
    }
    case kEdSave:
    case kEdCopyValuesTo: {
        auto* store = static_cast<ParameterInterface*>(arg);
        if (store == nullptr || parameters_ == nullptr) return 0;
        ScopedLock lock(lock_);
        saveValues();
        if (command == kEdSave) store->setMode(store, int32_t(value));
        store->copyFrom(store, parameters_->iface());
        return 1;
    }
    case kEdHostValues:
        // Also reached from the plug-in's host-value command under the plug-in's lock: no
        // editor lock here (the editor takes its lock before the plug-in's).
        if (const auto* values = static_cast<const float*>(arg)) {
            InterlockedExchange(&bypassWithDelay_, values[0] != 0.0f ? 1 : 0);
            InterlockedExchange(&mute_, values[1] != 0.0f ? 1 : 0);
            hostValuesChanged();
            if (frameWindow_ != nullptr) PostMessageA(frameWindow_, kMsgSyncStrip, 0, 0);
        }
        return 0;
    case kEdGetHostValues:
        if (auto* values = static_cast<float*>(arg)) {
            values[0] = float(InterlockedExchangeAdd(&bypassWithDelay_, 0));
            values[1] = float(InterlockedExchangeAdd(&mute_, 0));
        }
        return 0;
    case kEdStarted:
        if (InterlockedExchange(&running_, 1) == 0) started();
        return 0;
    case kEdStopped:
        if (InterlockedExchange(&running_, 0) == 1) stopped();
        return 0;
    case kEdAttachRecord:
        record_ = static_cast<PluginRecord*>(arg);
        return 0;
    case kEdProgramNumber:
        programNumber_ = int(value);
        setCaption();
        return 0;
    case kEdProgramName:
        programName_ = arg != nullptr ? static_cast<const char*>(arg) : "";
        setCaption();
        return 0;
    case kEdTakeDirty:
        return InterlockedExchange(&dirty_, 0);
    case kEdAttachParent:
        attachToParent(static_cast<HWND>(arg));
        return 0;
    case kEdDetachParent:
        detachFromParent();
        return 0;
    case kEdMoveSize: {
        const auto* place = static_cast<const int32_t*>(arg);
        HWND window = frameWindow_ != nullptr ? frameWindow_ : clientWindow_;
        if (place != nullptr && window != nullptr)
            MoveWindow(window, place[0], place[1], place[2], place[3], TRUE);
        return 0;
    }
    case kEdGetSize:
        if (auto* rect = static_cast<RECT*>(arg)) {
            const SIZE size = windowSize();
            *rect = RECT{0, 0, size.cx, size.cy};
        }
        return 1;
    case kEdSetParent:
        parentWindow_ = static_cast<HWND>(arg);
        return 0;
    default:
        return 0;
    }
}

SIZE EditorHost::windowSize() const {
    const bool strip = record_ != nullptr && ownThread_;
    return SIZE{clientSize_.cx, clientSize_.cy + (strip ? kStripHeight : 0)};
}

void EditorHost::setCaption() {
    char caption[256];
    std::snprintf(caption, sizeof caption, "%d:%s", programNumber_, programName_.c_str());
    title_ = caption;
    if (frameWindow_ != nullptr) SetWindowTextA(frameWindow_, title_.c_str());
}

// Showing, closing, destroying ---------------------------------------------------------------

void EditorHost::show() {
    if (threadHandle_ != nullptr) { // already open: only shown again
        if (frameWindow_ != nullptr) ShowWindow(frameWindow_, SW_SHOW);
        return;
    }
    ownThread_ = true;
    readyEvent_ = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    if (readyEvent_ == nullptr) return; // stays without a thread and window
    unsigned threadId = 0;
    const HostCallbackRecord& host = hostCallbacks();
    const uintptr_t thread =
        host.threadStart != nullptr
            ? host.threadStart(nullptr, 0, &EditorHost::threadMain, this, 0, &threadId)
            : _beginthreadex(nullptr, 0, &EditorHost::threadMain, this, 0, &threadId);
    if (thread != 0) {
        threadHandle_ = reinterpret_cast<HANDLE>(thread);
        threadId_ = threadId;
        WaitForSingleObject(readyEvent_, INFINITE);
        shown_ = true;
        ResetEvent(readyEvent_);
    }
    // Without a thread there is no window: the message then goes nowhere.
    if (postBuild_)
        PostMessageA(frameWindow_, kMsgBuildContent, 0, 0);
    else
        SendMessageA(frameWindow_, kMsgBuildContent, 0, 0);
}

void EditorHost::close() {
    if (threadHandle_ == nullptr) {
        if (readyEvent_ != nullptr) CloseHandle(readyEvent_);
        readyEvent_ = nullptr;
        return;
    }
    // The content message hides the frame, closes the content and clears the windows' user
    // data on the editor's thread, so nothing of this thread's runs there in between.
    SendMessageA(frameWindow_, kMsgCloseContent, 0, 0);
    clearWindowUserData();
    PostThreadMessageA(threadId_, WM_QUIT, 0, 0);
    WaitForSingleObject(threadHandle_, INFINITE);
    CloseHandle(threadHandle_);
    CloseHandle(readyEvent_);
    threadHandle_ = nullptr;
    readyEvent_ = nullptr;
    threadId_ = 0;
    frameWindow_ = nullptr;
    clientWindow_ = nullptr;
    shown_ = false;
}

void EditorHost::destroy() {
    // A host that destroys without closing first still ends the thread and frees the windows.
    close();
    detachFromParent();
    delete this;
}

void EditorHost::clearWindowUserData() {
    for (HWND window : {frameWindow_, clientWindow_})
        if (window != nullptr) SetWindowLongPtrA(window, GWLP_USERDATA, 0);
}

// The user-interface thread ------------------------------------------------------------------

unsigned EditorHost::threadMain(void* argument) {
    auto* editor = static_cast<EditorHost*>(argument);
    const unsigned exitCode = editor->runThread();
    // The editor may be gone from here on: only library state is touched.
    if (ThreadEndFn end = hostCallbacks().threadEnd) end(exitCode);
    return exitCode;
}

unsigned EditorHost::runThread() {
    HINSTANCE module = instance();
    if (!createWindows()) {
        SetEvent(readyEvent_);
        return 1;
    }
    if (const char* name = acceleratorName()) accelerators_ = LoadAcceleratorsA(module, name);
    SetEvent(readyEvent_);
    // From here on the host's thread may close the editor: the loop reads only what it copied.
    HWND frame = frameWindow_;
    HACCEL accelerators = accelerators_;
    const bool hook = wantsMessageHook();
    MSG message{};
    while (GetMessageA(&message, nullptr, 0, 0) > 0) {
        if (accelerators != nullptr && TranslateAcceleratorA(frame, accelerators, &message))
            continue;
        TranslateMessage(&message);
        const LRESULT handled = DispatchMessageA(&message);
        if (handled == 0 && hook) {
            if (auto messageHook = hostCallbacks().messageHook) messageHook(&message);
        }
    }
    const unsigned exitCode = unsigned(message.wParam);
    if (IsWindow(frame)) DestroyWindow(frame);
    LibraryUiState& state = uiState();
    ScopedLock lock(state.lock);
    if (--state.windowCount == 0) UnregisterClassA(kEditorWindowClass, module);
    return exitCode;
}

bool EditorHost::createWindows() {
    HINSTANCE module = instance();
    LibraryUiState& state = uiState();
    {
        ScopedLock lock(state.lock);
        HICON icon = iconName() != nullptr ? LoadIconA(module, iconName()) : nullptr;
        if (!registerEditorClass(module, icon)) return false;
        frameWindow_ =
            CreateWindowExA(0, kEditorWindowClass, title_.c_str(), kFrameStyle, CW_USEDEFAULT,
                            CW_USEDEFAULT, 0, 0, applicationWindow(), nullptr, module, nullptr);
        if (frameWindow_ == nullptr) {
            if (state.windowCount == 0) UnregisterClassA(kEditorWindowClass, module);
            return false;
        }
        ++state.windowCount;
    }
    SetWindowLongPtrA(frameWindow_, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
    clientWindow_ = CreateWindowExA(0, kEditorWindowClass, "", WS_CHILD | WS_CLIPSIBLINGS, 0, 0, 0,
                                    0, frameWindow_, nullptr, module, nullptr);
    if (clientWindow_ != nullptr)
        SetWindowLongPtrA(clientWindow_, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
    return true;
}

// Content -----------------------------------------------------------------------------------

void EditorHost::openContent(HWND, SIZE* clientSize) {
    *clientSize = SIZE{kDefaultWidth, kDefaultHeight};
}

bool EditorHost::message(HWND, UINT, WPARAM, LPARAM, LRESULT*) {
    return false;
}

void EditorHost::paletteChanged(HWND) {
    realizePalette(false);
}

LRESULT EditorHost::realizePalette(bool foreground) {
    HPALETTE identity = palette();
    HWND window = frameWindow_ != nullptr ? frameWindow_ : clientWindow_;
    if (identity == nullptr || window == nullptr) return 0;
    return controls::realizeIdentityPalette(window, foreground, identity) ? 1 : 0;
}

void EditorHost::buildContent() {
    if (frameWindow_ == nullptr || contentOpen_) return;
    colourEditorOpened(this);
    captionButton_ = std::make_unique<controls::CaptionButton>(this, frameWindow_, 0);
    if (record_ != nullptr) {
        // The host's resource module; none means the main program's resources.
        auto resources = reinterpret_cast<HINSTANCE>(hostCallbacks().hostValue);
        for (int b = 0; b < 3; ++b) {
            for (int k = 0; k < 3; ++k)
                stripBitmaps_[b * 3 + k] =
                    LoadBitmapA(resources, MAKEINTRESOURCEA(WORD(kStrip[b].firstBitmap + k)));
            // Bypass and mute are switches; the settings button is momentary. Each button's
            // bitmaps: off, pressed, on.
            const int behaviour = kStrip[b].command == kStripSettingsCommand
                                      ? controls::kMomentary
                                      : controls::kPlainSwitch;
            strip_[b] = std::make_unique<controls::Button>(
                frameWindow_, 0, 0, behaviour, kStrip[b].command, stripBitmaps_[b * 3 + 2],
                stripBitmaps_[b * 3], stripBitmaps_[b * 3 + 1], nullptr, palette());
        }
        syncStrip();
    }
    clientSize_ = SIZE{kDefaultWidth, kDefaultHeight};
    openContent(clientWindow_, &clientSize_);
    contentOpen_ = true;
    const SIZE size = windowSize();
    RECT outer{0, 0, size.cx, size.cy};
    AdjustWindowRect(&outer, kFrameStyle, FALSE);
    SetWindowPos(frameWindow_, nullptr, 0, 0, outer.right - outer.left, outer.bottom - outer.top,
                 SWP_NOMOVE | SWP_NOZORDER);
    layoutStrip();
    ShowWindow(clientWindow_, SW_SHOW);
    ShowWindow(frameWindow_, SW_SHOW);
}

void EditorHost::resizeContent(SIZE clientSize) {
    clientSize_ = clientSize;
    if (frameWindow_ != nullptr) {
        const SIZE size = windowSize();
        RECT outer{0, 0, size.cx, size.cy};
        AdjustWindowRect(&outer, kFrameStyle, FALSE);
        SetWindowPos(frameWindow_, nullptr, 0, 0, outer.right - outer.left,
                     outer.bottom - outer.top, SWP_NOMOVE | SWP_NOZORDER);
        layoutStrip();
    } else if (clientWindow_ != nullptr) {
        // Inside a host's window: the window the host gave follows the content.
        if (parentWindow_ != nullptr)
            SetWindowPos(parentWindow_, nullptr, 0, 0, clientSize.cx, clientSize.cy,
                         SWP_NOMOVE | SWP_NOZORDER);
        MoveWindow(clientWindow_, 0, 0, clientSize.cx, clientSize.cy, TRUE);
    }
}

void EditorHost::closeContentAndStrip() {
    if (!contentOpen_) return;
    contentOpen_ = false;
    closeContent();
    for (auto& button : strip_)
        button.reset();
    captionButton_.reset();
    for (HBITMAP& bitmap : stripBitmaps_) {
        if (bitmap != nullptr) DeleteObject(bitmap);
        bitmap = nullptr;
    }
    colourEditorClosed(this);
}

void EditorHost::layoutStrip() {
    if (frameWindow_ == nullptr) return;
    RECT area{};
    GetClientRect(frameWindow_, &area);
    const bool strip = record_ != nullptr;
    const int top = strip ? kStripHeight : 0;
    // Bypass, mute and settings from the right end of the strip.
    int right = area.right;
    for (int b = 2; b >= 0; --b) {
        if (strip_[b] == nullptr) continue;
        RECT button{};
        GetWindowRect(strip_[b]->hwnd(), &button);
        int width = button.right - button.left;
        if (width <= 0) width = kStripButtonWidth;
        right -= width;
        MoveWindow(strip_[b]->hwnd(), right, 0, width, kStripHeight, TRUE);
    }
    if (clientWindow_ != nullptr)
        MoveWindow(clientWindow_, 0, top, area.right, area.bottom - top, TRUE);
}

// Property page: the content inside a window of the host's ----------------------------------

void EditorHost::attachToParent(HWND parent) {
    if (parent == nullptr || threadHandle_ != nullptr || clientWindow_ != nullptr) return;
    ownThread_ = false;
    parentWindow_ = parent;
    HINSTANCE module = instance();
    {
        LibraryUiState& state = uiState();
        ScopedLock lock(state.lock);
        if (!registerEditorClass(module, nullptr)) return;
        clientWindow_ =
            CreateWindowExA(0, kEditorWindowClass, "", WS_CHILD | WS_VISIBLE | WS_CLIPSIBLINGS, 0,
                            0, 0, 0, parent, nullptr, module, nullptr);
        if (clientWindow_ == nullptr) {
            if (state.windowCount == 0) UnregisterClassA(kEditorWindowClass, module);
            return;
        }
        ++state.windowCount;
    }
    SetWindowLongPtrA(clientWindow_, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
    clientSize_ = SIZE{kDefaultWidth, kDefaultHeight};
    openContent(clientWindow_, &clientSize_);
    contentOpen_ = true;
    MoveWindow(clientWindow_, 0, 0, clientSize_.cx, clientSize_.cy, TRUE);
}

void EditorHost::detachFromParent() {
    if (ownThread_ || clientWindow_ == nullptr) return;
    if (contentOpen_) {
        contentOpen_ = false;
        closeContent();
    }
    HWND client = clientWindow_;
    clientWindow_ = nullptr;
    SetWindowLongPtrA(client, GWLP_USERDATA, 0);
    DestroyWindow(client);
    parentWindow_ = nullptr;
    ownThread_ = true;
    LibraryUiState& state = uiState();
    ScopedLock lock(state.lock);
    if (--state.windowCount == 0) UnregisterClassA(kEditorWindowClass, instance());
}

// Values between the editor and its plug-in --------------------------------------------------

void EditorHost::pushChanges() {
    if (record_ == nullptr || parameters_ == nullptr) return;
    ScopedLock lock(lock_);
    saveValues();
    record_->loadFromStore(record_, parameters_->iface(), kModeChanged);
    InterlockedExchange(&dirty_, 1);
}

void EditorHost::pullValues(int32_t mode) {
    if (record_ == nullptr || parameters_ == nullptr) return;
    ScopedLock lock(lock_);
    record_->saveToStore(record_, parameters_->iface(), mode);
}

void EditorHost::toggleStripValue(LONG volatile* value) {
    // The values travel without the editor's lock: the plug-in tells the editor back (command
    // 9) under its own lock.
    const LONG now = InterlockedExchangeAdd(value, 0) != 0 ? 0 : 1;
    InterlockedExchange(value, now);
    hostValuesChanged();
    float values[2] = {float(InterlockedExchangeAdd(&bypassWithDelay_, 0)),
                       float(InterlockedExchangeAdd(&mute_, 0))};
    if (record_ != nullptr) record_->dispatcher(record_, kCmdSetHostValues, values, 0);
    syncStrip();
}

void EditorHost::syncStrip() {
    if (strip_[0] != nullptr) strip_[0]->setState(bypassWithDelay() ? 1 : 0);
    if (strip_[1] != nullptr) strip_[1]->setState(mute() ? 1 : 0);
}

void EditorHost::captionButtonClicked(bool releasedInside) {
    if (releasedInside) captionButtonPressed();
}

void EditorHost::openSettingsDialog() {
    SettingsDialogFn dialog = hostCallbacks().settingsDialog;
    if (dialog == nullptr || record_ == nullptr || parameters_ == nullptr) return;
    ScopedLock lock(lock_);
    if (!allowsSettingsDialog()) return;
    parameters_->setMode(kModePersisted);
    record_->saveToStore(record_, parameters_->iface(), kModePersisted);
    if (dialog(frameWindow_, record_->name, parameters_->iface(), programName_.c_str()) != 0) {
        parameters_->setMode(kModePersisted);
        loadValues();
        record_->loadFromStore(record_, parameters_->iface(), kModePersisted);
    }
}

// The window procedure -----------------------------------------------------------------------

LRESULT CALLBACK EditorHost::windowProcedure(HWND window, UINT message, WPARAM wParam,
                                             LPARAM lParam) {
    auto* editor = reinterpret_cast<EditorHost*>(GetWindowLongPtrA(window, GWLP_USERDATA));
    if (editor == nullptr) return DefWindowProcA(window, message, wParam, lParam);
    LRESULT result = 0;
    // The title-bar button sees every frame message first.
    if (window == editor->frameWindow_ && editor->captionButton_ != nullptr &&
        editor->captionButton_->handleMessage(window, message, wParam, lParam, &result))
        return result;
    if (colourEditorMessage(editor, window, message, wParam, lParam, &result)) return result;
    if (window == editor->frameWindow_)
        return editor->frameMessage(window, message, wParam, lParam);
    switch (message) {
    case WM_PAINT:
    case WM_ERASEBKGND:
        return editor->paintMessage(window, message);
    case WM_TIMER:
        editor->timer(UINT_PTR(wParam));
        return 0;
    default:
        break;
    }
    if (editor->message(window, message, wParam, lParam, &result)) return result;
    return DefWindowProcA(window, message, wParam, lParam);
}

LRESULT EditorHost::paintMessage(HWND window, UINT message) {
    if (message == WM_ERASEBKGND) return 1; // the paint fills the whole window
    PAINTSTRUCT ps{};
    HDC dc = BeginPaint(window, &ps);
    if (dc != nullptr && !paint(window, dc)) {
        RECT area{};
        GetClientRect(window, &area);
        FillRect(dc, &area, GetSysColorBrush(COLOR_BTNFACE));
    }
    EndPaint(window, &ps);
    return 0;
}

LRESULT EditorHost::frameMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case kMsgBuildContent:
        buildContent();
        return 0;
    case kMsgCloseContent:
        ShowWindow(window, SW_HIDE);
        closeContentAndStrip();
        // Messages still queued behind this one find no editor (the host's thread clears the
        // user data again after the send; clearing here leaves no gap between the two).
        clearWindowUserData();
        return 0;
    case WM_COMMAND:
        switch (LOWORD(wParam)) {
        case kStripBypassCommand:
            toggleStripValue(&bypassWithDelay_);
            return 0;
        case kStripMuteCommand:
            toggleStripValue(&mute_);
            return 0;
        case kStripSettingsCommand:
            openSettingsDialog();
            return 0;
        default:
            break;
        }
        break;
    case WM_SIZE:
        layoutStrip();
        return 0;
    case WM_NCLBUTTONDBLCLK:
        if (wParam == WPARAM(HTCAPTION)) captionDoubleClicked();
        return DefWindowProcA(window, message, wParam, lParam);
    case WM_CLOSE:
        if (HWND engine = FindWindowA("AudioEngine", nullptr))
            SendMessageA(engine, kMsgEditorClosing, reinterpret_cast<WPARAM>(record_),
                         reinterpret_cast<LPARAM>(boundaryRecord()));
        ShowWindow(window, SW_HIDE);
        return 0;
    case WM_SETFOCUS:
        activated();
        return DefWindowProcA(window, message, wParam, lParam);
    case WM_PALETTECHANGED:
        if (reinterpret_cast<HWND>(wParam) != window)
            paletteChanged(reinterpret_cast<HWND>(wParam));
        return 0;
    case kMsgEditorSpecial:
        special(wParam, lParam);
        return 0;
    case kMsgSyncStrip:
        syncStrip();
        return 0;
    case WM_PAINT:
    case WM_ERASEBKGND:
        return paintMessage(window, message);
    case WM_TIMER:
        timer(UINT_PTR(wParam));
        return 0;
    default:
        break;
    }
    LRESULT result = 0;
    if (this->message(window, message, wParam, lParam, &result)) return result;
    return DefWindowProcA(window, message, wParam, lParam);
}

} // namespace orq
