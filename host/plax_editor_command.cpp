// orq editor --road plax: a Plax effect's editor opened the way a Plax host opens it. orq makes a
// top-level window of the editor's size, hands it to the effect as the parent of its editor
// (kPlaxEditorOpen), calls the editor's idle on a timer of the window's, and drives the script's
// mouse and key events into the window, whose coordinates are the editor's.
#include "host/commands.h"
#include "host/editor_script.h"
#include "host/output_files.h"
#include "host/plax_host.h"

#include <windows.h>

#include <iostream>
#include <sstream>

namespace orq::host {

namespace {

constexpr const char* kHostWindowClass = "OrqPlaxHost";
constexpr UINT_PTR kIdleTimerId = 1;
// How often a host calls the editor's idle (its meters and redraws).
constexpr UINT kEditorIdlePeriodMs = 50;
// The clock moves in these steps during waits, so the idle timer fires once per period.
constexpr uint32_t kClockStepMs = 10;
constexpr int kDragSteps = 8;

// The effect whose editor the idle timer serves (one editor at a time on orq's thread).
PlaxLibrary* idleTarget = nullptr;

// [ui-thread] the idle timer.
void idleTimer(HWND, UINT, UINT_PTR, DWORD) {
    if (idleTarget != nullptr) idleTarget->dispatch(kPlaxEditorIdle);
}

// Runs what the window system has for orq's thread: input, painting, due timers.
void pump() {
    MSG message{};
    while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
        TranslateMessage(&message);
        DispatchMessageA(&message);
    }
}

std::string lineOf(const ScriptEvent& event) {
    return "script line " + std::to_string(event.line) + ": ";
}

// The host's window with the effect's editor open inside it; closes the editor and the window
// when it goes.
class PlaxHostWindow {
  public:
    explicit PlaxHostWindow(PlaxLibrary& plax) : plax_(plax) {
        if (!(plax.effect()->flags & kPlaxFlagHasEditor))
            throw std::runtime_error("'" + plax.path() + "' has no editor");
        PlaxRect* rect = nullptr;
        if (plax.dispatch(kPlaxEditorGetRect, 0, 0, &rect) == 0 || rect == nullptr)
            throw std::runtime_error("the effect gave no editor rectangle");
        const int width = rect->right - rect->left, height = rect->bottom - rect->top;
        if (width <= 0 || height <= 0)
            throw std::runtime_error("the effect's editor rectangle is empty");

        WNDCLASSA windowClass{};
        windowClass.lpfnWndProc = DefWindowProcA;
        windowClass.lpszClassName = kHostWindowClass;
        RegisterClassA(&windowClass);
        // Borderless, at the screen's corner: the window's pixels are the editor's.
        window_ = CreateWindowExA(0, kHostWindowClass, "orq", WS_POPUP | WS_VISIBLE, 0, 0, width,
                                  height, nullptr, nullptr, nullptr, nullptr);
        if (window_ == nullptr) throw std::runtime_error("cannot make the host's window");
        plax_.onSizeWindow = [this](int32_t w, int32_t h) {
            return w > 0 && h > 0 &&
                   SetWindowPos(window_, nullptr, 0, 0, w, h, SWP_NOMOVE | SWP_NOZORDER) != 0;
        };
        if (plax_.dispatch(kPlaxEditorOpen, 0, 0, window_) == 0) {
            destroyWindow();
            throw std::runtime_error("the effect's editor did not open");
        }
        idleTarget = &plax_;
        if (SetTimer(window_, kIdleTimerId, kEditorIdlePeriodMs, idleTimer) == 0) {
            close();
            throw std::runtime_error("cannot start the editor's idle timer");
        }
        pump();
    }
    PlaxHostWindow(const PlaxHostWindow&) = delete;
    PlaxHostWindow& operator=(const PlaxHostWindow&) = delete;
    ~PlaxHostWindow() { close(); }

    HWND window() const { return window_; }

    void mouse(UINT message, int x, int y, WPARAM keys) const {
        if (!PlatformInjectMouse(window_, message, x, y, keys))
            throw std::runtime_error("the editor's window took no mouse input");
        pump();
    }
    void key(unsigned virtualKey, bool down) const {
        if (!PlatformInjectKey(window_, down ? WM_KEYDOWN : WM_KEYUP, virtualKey, 0))
            throw std::runtime_error("the editor's window took no key input");
        pump();
    }
    // Moves the manual clock on in steps; the idle timer and the editor's own timers fire.
    void advance(uint32_t milliseconds) const {
        while (milliseconds > 0) {
            const uint32_t step = std::min(milliseconds, kClockStepMs);
            PlatformAdvanceClock(step);
            pump();
            milliseconds -= step;
        }
    }
    std::vector<uint8_t> picture() const {
        pump();
        return windowPng(window_);
    }

  private:
    void close() {
        if (window_ == nullptr) return;
        KillTimer(window_, kIdleTimerId);
        idleTarget = nullptr;
        plax_.dispatch(kPlaxEditorClose);
        destroyWindow();
    }
    void destroyWindow() {
        plax_.onSizeWindow = nullptr;
        DestroyWindow(window_);
        UnregisterClassA(kHostWindowClass, nullptr);
        window_ = nullptr;
        pump();
    }

    PlaxLibrary& plax_;
    HWND window_ = nullptr;
};

void runPlaxEvent(const ScriptEvent& event, PlaxHostWindow& host, PlaxLibrary& plax,
                  OutputFiles& files) {
    switch (event.verb) {
    case ScriptVerb::Click: {
        const WPARAM keys = (event.ctrl ? MK_CONTROL : 0) | (event.shift ? MK_SHIFT : 0);
        if (event.ctrl) host.key(VK_CONTROL, true);
        if (event.shift) host.key(VK_SHIFT, true);
        host.mouse(WM_MOUSEMOVE, event.x, event.y, keys);
        host.mouse(event.right ? WM_RBUTTONDOWN : WM_LBUTTONDOWN, event.x, event.y,
                   keys | (event.right ? MK_RBUTTON : MK_LBUTTON));
        host.mouse(event.right ? WM_RBUTTONUP : WM_LBUTTONUP, event.x, event.y, keys);
        if (event.shift) host.key(VK_SHIFT, false);
        if (event.ctrl) host.key(VK_CONTROL, false);
        return;
    }
    case ScriptVerb::Press: host.mouse(WM_LBUTTONDOWN, event.x, event.y, MK_LBUTTON); return;
    case ScriptVerb::Move: host.mouse(WM_MOUSEMOVE, event.x, event.y, 0); return;
    case ScriptVerb::Release: host.mouse(WM_LBUTTONUP, event.x, event.y, 0); return;
    case ScriptVerb::Drag:
        host.mouse(WM_MOUSEMOVE, event.x, event.y, 0);
        host.mouse(WM_LBUTTONDOWN, event.x, event.y, MK_LBUTTON);
        for (int step = 1; step <= kDragSteps; ++step)
            host.mouse(WM_MOUSEMOVE, event.x + (event.x2 - event.x) * step / kDragSteps,
                       event.y + (event.y2 - event.y) * step / kDragSteps, MK_LBUTTON);
        host.mouse(WM_LBUTTONUP, event.x2, event.y2, 0);
        return;
    case ScriptVerb::Key:
        host.key(event.virtualKey, true);
        host.key(event.virtualKey, false);
        return;
    case ScriptVerb::Wait: host.advance(event.milliseconds); return;
    case ScriptVerb::Snapshot: files.write(event.name, host.picture()); return;
    case ScriptVerb::Expect: {
        if (event.element >= 0)
            throw std::runtime_error(lineOf(event) + "Plax parameters have no elements");
        int32_t index = 0;
        try {
            index = plax.requireParameter(event.name);
        } catch (const std::runtime_error& e) {
            throw std::runtime_error(lineOf(event) + e.what());
        }
        const double actual = plax.getParameter(index);
        if (!expectationHolds(event, actual)) {
            std::ostringstream message;
            message.precision(9);
            message << lineOf(event) << "expected " << event.name << " = " << event.expected
                    << " (± " << event.tolerance << "), got " << actual;
            throw std::runtime_error(message.str());
        }
        return;
    }
    case ScriptVerb::FrameClick:
    case ScriptVerb::Clipboard:
    case ScriptVerb::Play: break; // refused before the editor opened
    }
}

} // namespace

int commandPlaxEditor(const EditorOptions& o) {
    if (o.state || o.saveState || o.dialogSave || o.dialogLoad || o.play || o.output ||
        o.playingPng || o.untilSeconds || o.live)
        throw UsageError("the Plax road's editor takes --set, --script and --png only");
    std::vector<ScriptEvent> script;
    if (o.script) script = readScript(*o.script);
    for (const ScriptEvent& event : script) {
        if (event.verb == ScriptVerb::Play)
            throw UsageError(lineOf(event) + "the Plax road's editor plays nothing");
        if (event.verb == ScriptVerb::FrameClick)
            throw UsageError(lineOf(event) +
                             "the Plax host's window has no frame of its own: use click");
        if (event.verb == ScriptVerb::Clipboard)
            throw UsageError(lineOf(event) + "the Plax editors copy nothing to the clipboard");
    }

    OutputFiles files;
    if (o.script) files.addInput(*o.script, "the script");
    files.add(o.png, "the picture");
    for (const ScriptEvent& event : script)
        if (event.verb == ScriptVerb::Snapshot)
            files.add(event.name, "the snapshot of script line " + std::to_string(event.line));

    PlaxLibrary plax(plaxLibraryPath(o.plugin));
    applyPlaxSettings(plax, o.settings);
    // The idle timer and the editor's own timers run on the script's clock.
    PlatformSetClock(TRUE);
    {
        PlaxHostWindow host(plax);
        RECT area{};
        GetWindowRect(host.window(), &area);
        std::cout << "editor: " << plax.path() << " (plax road), window "
                  << area.right - area.left << "x" << area.bottom - area.top << "\n";
        for (const ScriptEvent& event : script) runPlaxEvent(event, host, plax, files);
        files.write(o.png, host.picture());
    }
    std::cout << "automated: " << plax.automated.size() << " parameter changes\n";
    files.commit();
    return 0;
}

} // namespace orq::host
