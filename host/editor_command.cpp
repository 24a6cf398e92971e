// orq editor: a plug-in's editor opened the way a host of the Vc exports opens it, driven by a
// script of mouse and key events on a clock of its own, and pictured as PNG files.
//
// The settings dialog orq hands the libraries is headless: it shows nothing, notes the call
// ("settings dialog: NAME, program 'P'" on standard output) and answers 0, so the plug-in's set
// stays as it was; --save-state saves the plug-in's state when the command ends. With
// --dialog-save it keeps the set's values as a state file at each call (written when the
// command ends); with --dialog-load it loads that state's values into the set and answers 1,
// so the editor and the plug-in take them.
#include "host/commands.h"
#include "host/editor_script.h"
#include "host/help_texts.h"
#include "host/engine_window.h"
#include "host/output_files.h"
#include "host/state_file.h"
#include "host/vc_host.h"

#include "runtime/parameter_set.h"
#include "runtime/plugin_boundary.h"

#include <windows.h>

#include <algorithm>
#include <cmath>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iostream>
#include <iterator>
#include <mutex>
#include <sstream>
#include <unistd.h>

namespace orq::host {

EditorOptions parseEditor(const std::vector<std::string>& args) {
    EditorOptions o;
    std::vector<std::string> positional;
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        auto value = [&]() -> std::string {
            if (i + 1 >= args.size()) throw UsageError(a + " needs a value");
            return args[++i];
        };
        if (a == "--set")
            o.settings.push_back(parseSetting(value()));
        else if (a == "--state")
            o.state = value();
        else if (a == "--save-state")
            o.saveState = value();
        else if (a == "--dialog-save")
            o.dialogSave = value();
        else if (a == "--dialog-load")
            o.dialogLoad = value();
        else if (a == "--play")
            o.play = value();
        else if (a == "--output")
            o.output = value();
        else if (a == "--script")
            o.script = value();
        else if (a == "--png")
            o.png = value();
        else if (a == "--playing-png")
            o.playingPng = value();
        else if (a == "--live")
            o.live = true;
        else if (a == "--until") {
            const std::string text = value();
            const double seconds = parseNumber(text, "--until");
            if (!(seconds > 0.0)) throw UsageError("--until takes a time above 0 seconds");
            o.untilSeconds = seconds;
        } else if (a == "--road") {
            const std::string r = value();
            if (r == "vc")
                o.road = EditorRoad::HostExtension;
            else if (r == "page")
                o.road = EditorRoad::PropertyPage;
            else if (r == "plax")
                o.road = EditorRoad::Plax;
            else
                throw UsageError("--road takes vc, page or plax, not '" + r + "'");
        } else if (a.starts_with("--"))
            throw UsageError("unknown option '" + a + "'");
        else
            positional.push_back(a);
    }
    if (positional.size() != 1) throw UsageError("editor takes PLUGIN");
    o.plugin = positional[0];
    if (o.png.empty() && !o.playingPng && !o.live)
        throw UsageError("editor needs --png OUT.png (or --playing-png OUT.png)");
    if (o.playingPng && !o.play) throw UsageError("--playing-png needs --play INPUT");
    if (o.live && o.play)
        throw UsageError("--live shows the editor without playback: leave out --play");
    if (o.live && o.road == EditorRoad::PropertyPage)
        throw UsageError("--live shows the editor's own window: it takes the vc road only");
    if (o.untilSeconds && !o.play) throw UsageError("--until needs --play INPUT");
    if (o.output && !o.play) throw UsageError("--output needs --play INPUT");
    return o;
}

namespace {

// The PNG bytes `save` writes into a temporary file; `what` names the picture in the error.
std::vector<uint8_t> pngBytes(const std::function<BOOL(const char*)>& save, const char* what) {
    const char* folder = std::getenv("TMPDIR");
    std::string pattern =
        std::string(folder != nullptr && *folder ? folder : "/tmp") + "/orq-picture-XXXXXX";
    const int descriptor = mkstemp(pattern.data());
    if (descriptor < 0) throw std::runtime_error("cannot make a temporary file for a picture");
    close(descriptor);
    const BOOL saved = save(pattern.c_str());
    std::ifstream in(pattern, std::ios::binary);
    std::vector<uint8_t> bytes{std::istreambuf_iterator<char>(in),
                               std::istreambuf_iterator<char>()};
    std::filesystem::remove(pattern);
    if (!saved || bytes.empty())
        throw std::runtime_error(std::string("cannot picture ") + what + " (error " +
                                 std::to_string(GetLastError()) + ")");
    return bytes;
}

// The bitmap an editor put on the clipboard, as PNG bytes.
std::vector<uint8_t> clipboardPng() {
    if (!OpenClipboard(nullptr)) throw std::runtime_error("the clipboard cannot be opened");
    auto* bitmap = static_cast<HBITMAP>(GetClipboardData(CF_BITMAP));
    try {
        if (bitmap == nullptr) throw std::runtime_error("the clipboard holds no picture");
        std::vector<uint8_t> bytes =
            pngBytes([&](const char* path) { return PlatformSaveBitmapPng(bitmap, path); },
                     "the clipboard's bitmap");
        CloseClipboard();
        return bytes;
    } catch (...) {
        CloseClipboard();
        throw;
    }
}

} // namespace

std::vector<uint8_t> windowPng(HWND window) {
    return pngBytes([&](const char* path) { return PlatformSaveWindowPng(window, path); },
                    "the window");
}

namespace {

constexpr DWORD kIdleTimeoutMs = 10000;
constexpr int kDragSteps = 8;
// The clock moves in these steps during waits and play, so a periodic timer fires once per
// period it covers.
constexpr uint32_t kClockStepMs = 10;
constexpr int32_t kBlocksPerSecond = 1000 / int32_t(kClockStepMs);
constexpr int32_t kDefaultSampleRate = 44100;
constexpr int32_t kDefaultChannels = 2;

// What the settings dialog shares with the command: it runs on the editor's thread while the
// command's thread waits for the editor to go idle.
struct DialogExchange {
    std::mutex lock;
    bool saving = false;
    std::optional<std::vector<uint8_t>> load;  // the persistent stream to load at each call
    std::optional<std::vector<uint8_t>> saved; // the set's stream at the last call
};
DialogExchange dialogExchange;

// The headless settings dialog (see the top of the file).
int32_t settingsDialog(HWND, const char* pluginName, ParameterInterface* set,
                       const char* programName) {
    std::lock_guard<std::mutex> guard(dialogExchange.lock);
    bool changed = false;
    if (set != nullptr && dialogExchange.load) {
        const std::vector<uint8_t>& stream = *dialogExchange.load;
        changed =
            loadParameterStream(set, set->owner->count(), stream.data(), stream.size(), nullptr);
    }
    if (set != nullptr && dialogExchange.saving)
        dialogExchange.saved = saveParameterStream(set, set->owner->count(), 0);
    std::printf("settings dialog: %s, program '%s' (headless: %s)\n",
                pluginName != nullptr ? pluginName : "", programName != nullptr ? programName : "",
                changed ? "loaded the dialog's state" : "nothing changed");
    std::fflush(stdout);
    return changed ? 1 : 0;
}

// Sets up the exchange for a command and clears it when the command ends.
class DialogScope {
  public:
    DialogScope(bool saving, std::optional<std::vector<uint8_t>> load) {
        std::lock_guard<std::mutex> guard(dialogExchange.lock);
        dialogExchange.saving = saving;
        dialogExchange.load = std::move(load);
        dialogExchange.saved.reset();
    }
    ~DialogScope() {
        std::lock_guard<std::mutex> guard(dialogExchange.lock);
        dialogExchange.saving = false;
        dialogExchange.load.reset();
        dialogExchange.saved.reset();
    }
    DialogScope(const DialogScope&) = delete;
    DialogScope& operator=(const DialogScope&) = delete;
    std::optional<std::vector<uint8_t>> saved() {
        std::lock_guard<std::mutex> guard(dialogExchange.lock);
        return dialogExchange.saved;
    }
};

// Shows the help text each time an editor opens a help file (WinHelpA).
class HelpReporter {
  public:
    HelpReporter() { PlatformLastHelp(&last_); }
    void report() {
        PlatformHelpRecord now{};
        PlatformLastHelp(&now);
        if (now.count == last_.count) return;
        last_ = now;
        if (now.command == HELP_QUIT) {
            std::cout << "help: " << now.file << " closed\n";
            return;
        }
        if (const std::optional<std::string> text = helpTextFor(now.file))
            std::cout << "help: " << now.file << "\n"
                      << *text << (text->ends_with('\n') ? "" : "\n");
        else
            std::cout << "help: " << now.file << ": orq has no help text named "
                      << helpFileName(now.file) << "\n";
    }

  private:
    PlatformHelpRecord last_{};
};

// The frame orq gives a property page: a visible top-level window without borders, so its
// pixels are the page's. The page's editor runs on orq's own thread, so a modal box it opens
// (an about box) would wait for input that never comes: the frame hears when the box waits
// (WM_ENTERIDLE) and lets orq go on beside it; without anyone to go on, it cancels the box.
class PageFrame {
  public:
    // Told that a modal box of the page waits; true keeps it waiting, false cancels it.
    using BoxWaiting = std::function<bool(HWND box)>;

    PageFrame() {
        WNDCLASSA wc{};
        wc.lpfnWndProc = &PageFrame::procedure;
        wc.lpszClassName = kPageFrameClass;
        RegisterClassA(&wc);
        window_ =
            CreateWindowExA(0, kPageFrameClass, "", WS_POPUP | WS_VISIBLE | WS_CLIPCHILDREN, 0, 0,
                            kPageWidth, kPageHeight, nullptr, nullptr, nullptr, nullptr);
        if (window_ == nullptr) throw std::runtime_error("cannot create the property page's frame");
        SetWindowLongPtrA(window_, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
    }
    ~PageFrame() {
        SetWindowLongPtrA(window_, GWLP_USERDATA, 0);
        DestroyWindow(window_);
        UnregisterClassA(kPageFrameClass, nullptr);
    }
    PageFrame(const PageFrame&) = delete;
    PageFrame& operator=(const PageFrame&) = delete;
    HWND handle() const { return window_; }
    // What to do while a modal box of the page waits (null: the box is cancelled at once).
    void onBoxWaiting(BoxWaiting waiting) { boxWaiting_ = std::move(waiting); }

  private:
    static LRESULT CALLBACK procedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
        if (message == WM_ENTERIDLE && wParam == MSGF_DIALOGBOX) {
            auto* frame = reinterpret_cast<PageFrame*>(GetWindowLongPtrA(window, GWLP_USERDATA));
            auto* box = reinterpret_cast<HWND>(lParam);
            const bool keep = frame != nullptr && frame->boxWaiting_ && frame->boxWaiting_(box);
            if (!keep && IsWindow(box)) EndDialog(box, IDCANCEL);
            return 0;
        }
        return DefWindowProcA(window, message, wParam, lParam);
    }

    static constexpr const char* kPageFrameClass = "OrqPageFrame";
    static constexpr int kPageWidth = 300;
    static constexpr int kPageHeight = 120;
    HWND window_ = nullptr;
    BoxWaiting boxWaiting_;
};

// The library's property page, given the session's filter.
IPropertyPage* openPropertyPage(Session& session, const PluginTarget& target) {
    const std::optional<CLSID> pageId = registeredPropertyPage(target.library);
    if (!pageId)
        throw std::runtime_error("'" + target.library.name +
                                 "' has no registered property page; run 'orq register " +
                                 target.library.path + "'");
    IPropertyPage* page = nullptr;
    const HRESULT hr = CoCreateInstance(*pageId, nullptr, CLSCTX_INPROC_SERVER, IID_IPropertyPage,
                                        reinterpret_cast<void**>(&page));
    if (FAILED(hr)) {
        char id[40];
        PlatformStringFromGUID(*pageId, id, sizeof id);
        char code[16];
        std::snprintf(code, sizeof code, "0x%08X", uint32_t(hr));
        throw std::runtime_error("cannot create the property page " + std::string(id) + " of '" +
                                 target.library.name + "' (error " + code + ")");
    }
    IUnknown* filter = session.filter();
    if (FAILED(page->SetObjects(1, &filter))) {
        page->Release();
        throw std::runtime_error("the property page refuses the filter");
    }
    return page;
}

// The next frames of a source, as a source of their own.
class SegmentSource final : public AudioSource {
  public:
    SegmentSource(AudioSource& source, int64_t frames) : source_(source), format_(source.format()) {
        format_.frames = frames;
    }
    const StreamFormat& format() const override { return format_; }
    int64_t read(void* bytes, int64_t frames) override {
        const int64_t take = std::min(frames, format_.frames - done_);
        if (take <= 0) return 0;
        const int64_t got = source_.read(bytes, take);
        done_ += got;
        return got;
    }

  private:
    AudioSource& source_;
    StreamFormat format_;
    int64_t done_ = 0;
};

// An editor opened through the Vc exports: attached, shown, and driven by input and the clock.
class OpenEditor {
  public:
    OpenEditor(EditorRecord* editor, PluginRecord* plugin, HWND application, int32_t sampleRate,
               int32_t channels)
        : editor_(editor) {
        if (editor_->magic != kEditorRecordMagic)
            throw std::runtime_error("the library's create-editor gave no editor record");
        editor_->dispatch(editor_, kEdAttachRecord, plugin, 0);
        // The plug-in tells its attached editor when processing starts and stops.
        plugin_ = plugin;
        plugin_->dispatcher(plugin_, kCmdAttachEditor, editor_, 0);
        OpenFormat format{sampleRate, channels, 0};
        editor_->dispatch(editor_, kEdFormat, &format, 0);
        frame_ = findFrame(application);
        if (frame_ == nullptr)
            throw std::runtime_error("the editor showed no \"AudioUI\" window owned by orq's");
        client_ = findClient(frame_);
        if (client_ == nullptr) throw std::runtime_error("the editor's frame has no client window");
        settle();
    }
    // The page road: the page's editor inside orq's page frame, on orq's own thread.
    OpenEditor(IPropertyPage* page, HWND pageFrame) : page_(page), frame_(pageFrame) {
        RECT area{};
        GetClientRect(frame_, &area);
        if (FAILED(page_->Activate(frame_, &area, FALSE)))
            throw std::runtime_error("the property page did not activate");
        PROPPAGEINFO info{};
        if (SUCCEEDED(page_->GetPageInfo(&info))) {
            CoTaskMemFree(info.pszTitle);
            SetWindowPos(frame_, nullptr, 0, 0, info.size.cx, info.size.cy,
                         SWP_NOMOVE | SWP_NOZORDER);
        }
        page_->Show(SW_SHOW);
        client_ = findClient(frame_);
        if (client_ == nullptr) throw std::runtime_error("the property page shows no editor");
        settle();
    }
    ~OpenEditor() {
        if (editor_ != nullptr) {
            if (plugin_ != nullptr && plugin_->editor != nullptr)
                plugin_->dispatcher(plugin_, kCmdAttachEditor, nullptr, 0);
            editor_->dispatch(editor_, kEdClose, nullptr, 0);
            editor_->dispatch(editor_, kEdDestroy, nullptr, 0);
        }
        if (page_ != nullptr) {
            page_->Deactivate();
            page_->Release();
        }
    }
    OpenEditor(const OpenEditor&) = delete;
    OpenEditor& operator=(const OpenEditor&) = delete;

    HWND frame() const { return frame_; }

    // The frame as it appears on screen. Its close button hides it (the library tells the
    // host's "AudioEngine" window with WM_USER + 2): nothing is on screen then.
    std::vector<uint8_t> picture(const EngineWindow& engine) const {
        if (!IsWindowVisible(frame_))
            throw std::runtime_error("the editor's window is hidden (closed by its user; " +
                                     std::to_string(engine.editorCloseRequests()) +
                                     " WM_USER + 2 received): there is nothing to picture");
        return windowPng(frame_);
    }

    // Until the editor's thread has handled everything it has (input, painting, due timers).
    void settle() const {
        if (page_ != nullptr) { // the page's editor lives on this thread
            MSG message{};
            while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
                // A box the page opened (waiting beside the script) takes its dialog keys as
                // its own loop would give them.
                HWND top = message.hwnd != nullptr ? GetAncestor(message.hwnd, GA_ROOT) : nullptr;
                if (top != nullptr && top != frame_ && IsDialogMessageA(top, &message)) continue;
                TranslateMessage(&message);
                DispatchMessageA(&message);
            }
            return;
        }
        if (!PlatformWaitForIdle(frame_, kIdleTimeoutMs))
            throw std::runtime_error("the editor did not finish its work within " +
                                     std::to_string(kIdleTimeoutMs / 1000) + " s");
    }
    // Moves the clock on in steps; the editor handles what falls due at each. On the real
    // clock (a live editor) the time passes.
    void advance(uint32_t milliseconds) const {
        while (milliseconds > 0) {
            const uint32_t step = std::min(milliseconds, kClockStepMs);
            if (realClock_)
                Sleep(step);
            else
                PlatformAdvanceClock(step);
            settle();
            milliseconds -= step;
        }
    }
    void useRealClock() { realClock_ = true; }
    // A point in the client window's coordinates, in the frame window's.
    POINT fromClient(int x, int y) const {
        POINT p{x, y};
        ClientToScreen(client_, &p);
        RECT frameRect{};
        GetWindowRect(frame_, &frameRect);
        return POINT{p.x - frameRect.left, p.y - frameRect.top};
    }
    void mouse(UINT message, POINT at, WPARAM keys) const {
        if (!PlatformInjectMouse(frame_, message, at.x, at.y, keys))
            throw std::runtime_error("the editor's window took no mouse input");
        settle();
    }
    void key(unsigned virtualKey, bool down) const {
        if (!PlatformInjectKey(frame_, down ? WM_KEYDOWN : WM_KEYUP, virtualKey, 0))
            throw std::runtime_error("the editor's window took no key input");
        settle();
    }

  private:
    EditorRecord* editor_ = nullptr;
    PluginRecord* plugin_ = nullptr;
    IPropertyPage* page_ = nullptr;
    HWND frame_ = nullptr;
    HWND client_ = nullptr;
    bool realClock_ = false;
};

// The --play input (or the file of the script's last play FILE) streamed through the plug-in in
// steps of the clock.
class Player {
  public:
    Player(const std::string& path, std::optional<double> untilSeconds) {
        open(path, untilSeconds);
    }
    // From now on plays path from its start; the clock goes on from where it is.
    void switchTo(const std::string& path) { open(path, std::nullopt); }
    const StreamFormat& format() const { return reader_->format(); }
    // Plays the next milliseconds (all that is left with none) into sink; lastBlock (when
    // given) runs after the editor has handled the last block, before the plug-in stops.
    void play(Session& session, OpenEditor& editor, AudioSink& sink,
              std::optional<uint32_t> milliseconds, const std::function<void()>& lastBlock) {
        const int32_t rate = format().sampleRate;
        int64_t frames = limit_ - played_;
        if (milliseconds) frames = std::min<int64_t>(frames, int64_t(*milliseconds) * rate / 1000);
        if (frames <= 0) return;
        session.setChunkFrames(std::max(1, rate / kBlocksPerSecond));
        SegmentSource segment(*reader_, frames);
        const int64_t base = played_;
        RunSummary summary;
        session.run(segment, sink, summary, [&](int64_t done, int64_t total) {
            const int64_t clock = startMs_ + (base + done) * 1000 / rate;
            if (clock > clockMs_) {
                PlatformAdvanceClock(DWORD(clock - clockMs_));
                clockMs_ = clock;
            }
            editor.settle();
            if (done == total && lastBlock) lastBlock();
        });
        played_ += frames;
    }

  private:
    void open(const std::string& path, std::optional<double> untilSeconds) {
        auto reader = std::make_unique<AudioFileReader>(path, nullptr);
        const StreamFormat& f = reader->format();
        limit_ = f.frames;
        if (untilSeconds)
            limit_ = std::min<int64_t>(limit_, std::llround(*untilSeconds * f.sampleRate));
        reader_ = std::move(reader);
        played_ = 0;
        startMs_ = clockMs_;
    }

    std::unique_ptr<AudioFileReader> reader_;
    int64_t limit_ = 0;
    int64_t played_ = 0;
    int64_t startMs_ = 0; // the audio clock when this file started
    int64_t clockMs_ = 0;
};

// A value of the plug-in, read through its record as a host reads it.
double actualValue(Session& session, const ScriptEvent& event) {
    PluginRecord* record = session.record();
    if (event.name == "host:bypass" || event.name == "host:mute") {
        float values[2] = {};
        record->dispatcher(record, kCmdGetHostValues, values, 0);
        return values[event.name == "host:bypass" ? 0 : 1];
    }
    const int32_t index = requireParameter(session.store(), event.name);
    if (event.element < 0) return session.readValue(index);
    const std::vector<float> values = session.readFloats(index);
    if (event.element >= int32_t(values.size()))
        throw std::runtime_error("'" + event.name + "' has " + std::to_string(values.size()) +
                                 " values");
    return values[size_t(event.element)];
}

std::string lineOf(const ScriptEvent& event) {
    return "script line " + std::to_string(event.line) + ": ";
}

void runEvent(const ScriptEvent& event, OpenEditor& editor, Session& session,
              std::optional<Player>& player, bool recording, AudioSink& played, OutputFiles& files,
              const EngineWindow& engine, const std::function<void()>& lastBlock) {
    switch (event.verb) {
    case ScriptVerb::Click:
    case ScriptVerb::FrameClick: {
        // frame-click takes the frame window's own coordinates: the pixels of its picture.
        const POINT at = event.verb == ScriptVerb::FrameClick ? POINT{event.x, event.y}
                                                              : editor.fromClient(event.x, event.y);
        WPARAM keys = (event.ctrl ? MK_CONTROL : 0) | (event.shift ? MK_SHIFT : 0);
        if (event.ctrl) editor.key(VK_CONTROL, true);
        if (event.shift) editor.key(VK_SHIFT, true);
        editor.mouse(WM_MOUSEMOVE, at, keys);
        editor.mouse(event.right ? WM_RBUTTONDOWN : WM_LBUTTONDOWN, at,
                     keys | (event.right ? MK_RBUTTON : MK_LBUTTON));
        editor.mouse(event.right ? WM_RBUTTONUP : WM_LBUTTONUP, at, keys);
        if (event.shift) editor.key(VK_SHIFT, false);
        if (event.ctrl) editor.key(VK_CONTROL, false);
        return;
    }
    case ScriptVerb::Press:
        editor.mouse(WM_LBUTTONDOWN, editor.fromClient(event.x, event.y), MK_LBUTTON);
        return;
    case ScriptVerb::Move:
        editor.mouse(WM_MOUSEMOVE, editor.fromClient(event.x, event.y), 0);
        return;
    case ScriptVerb::Release:
        editor.mouse(WM_LBUTTONUP, editor.fromClient(event.x, event.y), 0);
        return;
    case ScriptVerb::Drag: {
        editor.mouse(WM_MOUSEMOVE, editor.fromClient(event.x, event.y), 0);
        editor.mouse(WM_LBUTTONDOWN, editor.fromClient(event.x, event.y), MK_LBUTTON);
        for (int step = 1; step <= kDragSteps; ++step) {
            const int x = event.x + (event.x2 - event.x) * step / kDragSteps;
            const int y = event.y + (event.y2 - event.y) * step / kDragSteps;
            editor.mouse(WM_MOUSEMOVE, editor.fromClient(x, y), MK_LBUTTON);
        }
        editor.mouse(WM_LBUTTONUP, editor.fromClient(event.x2, event.y2), 0);
        return;
    }
    case ScriptVerb::Key:
        editor.key(event.virtualKey, true);
        editor.key(event.virtualKey, false);
        return;
    case ScriptVerb::Wait:
        editor.advance(event.milliseconds);
        return;
    case ScriptVerb::Play:
        if (!event.playFile.empty()) {
            const std::optional<StreamFormat> before =
                player ? std::optional<StreamFormat>(player->format()) : std::nullopt;
            if (player)
                player->switchTo(event.playFile);
            else
                player.emplace(event.playFile, std::nullopt);
            const StreamFormat& now = player->format();
            if (recording && before &&
                (now.sampleRate != before->sampleRate || now.channels != before->channels))
                throw std::runtime_error(lineOf(event) + "'" + event.playFile +
                                         "' has another format than --play's: --output keeps "
                                         "one format");
        }
        player->play(session, editor, played,
                     event.playAll ? std::nullopt : std::optional<uint32_t>(event.milliseconds),
                     lastBlock);
        return;
    case ScriptVerb::Snapshot:
        files.write(event.name, editor.picture(engine));
        return;
    case ScriptVerb::Clipboard:
        try {
            files.write(event.name, clipboardPng());
        } catch (const std::runtime_error& e) {
            throw std::runtime_error(lineOf(event) + e.what());
        }
        return;
    case ScriptVerb::Expect: {
        double actual = 0.0;
        try {
            actual = actualValue(session, event);
        } catch (const std::runtime_error& e) {
            throw std::runtime_error(lineOf(event) + e.what());
        }
        if (!expectationHolds(event, actual)) {
            std::ostringstream message;
            message.precision(9);
            message << lineOf(event) << "expected " << event.name
                    << (event.element >= 0 ? "[" + std::to_string(event.element) + "]" : "")
                    << " = " << event.expected << " (± " << event.tolerance << "), got " << actual;
            throw std::runtime_error(message.str());
        }
        return;
    }
    }
}

// --live: the windows go to the X display from here on; the connection closes at the end.
class LiveDisplay {
  public:
    LiveDisplay() {
        // A write to a server that went away must not end orq before it has saved its files.
        std::signal(SIGPIPE, SIG_IGN);
        if (!PlatformUseLiveDisplay(nullptr))
            throw std::runtime_error(std::string("--live: ") + PlatformLiveDisplayError());
    }
    ~LiveDisplay() { PlatformCloseLiveDisplay(); }
    LiveDisplay(const LiveDisplay&) = delete;
    LiveDisplay& operator=(const LiveDisplay&) = delete;
};

constexpr UINT kMsgDisplayLost = WM_APP + 1;
constexpr DWORD kLiveShowTimeoutMs = 10000;

enum class LiveEnd { Closed, DisplayLost, ScriptEnded };

// Runs orq's own messages until the editor's window is closed or the display goes away.
LiveEnd waitForLiveEnd(const OpenEditor& editor, const EngineWindow& engine) {
    const int closesBefore = engine.editorCloseRequests();
    MSG message{};
    for (;;) {
        if (engine.editorCloseRequests() != closesBefore || !IsWindowVisible(editor.frame()))
            return LiveEnd::Closed;
        if (!PlatformLiveDisplayConnected()) return LiveEnd::DisplayLost;
        if (GetMessageA(&message, nullptr, 0, 0) <= 0) return LiveEnd::Closed;
        if (message.message == kMsgDisplayLost) return LiveEnd::DisplayLost;
        TranslateMessage(&message);
        DispatchMessageA(&message);
    }
}

// The picture of the editor as the display showed it last (its window may be closed by now).
std::vector<uint8_t> livePicture(HWND frame) {
    const char* folder = std::getenv("TMPDIR");
    std::string pattern =
        std::string(folder != nullptr && *folder ? folder : "/tmp") + "/orq-live-XXXXXX";
    const int descriptor = mkstemp(pattern.data());
    if (descriptor < 0) throw std::runtime_error("cannot make a temporary file for a picture");
    close(descriptor);
    const BOOL saved = PlatformSaveLiveWindowPng(frame, pattern.c_str());
    std::ifstream in(pattern, std::ios::binary);
    std::vector<uint8_t> bytes{std::istreambuf_iterator<char>(in),
                               std::istreambuf_iterator<char>()};
    std::filesystem::remove(pattern);
    if (!saved || bytes.empty())
        throw std::runtime_error("cannot picture the editor as the display showed it (error " +
                                 std::to_string(GetLastError()) + ")");
    return bytes;
}

constexpr const char* kDialogStateRole = "the settings dialog's state";

} // namespace

std::vector<uint8_t> editorPictureOfPlay(const EditorPlayPicture& picture) {
    Player player(picture.input, picture.untilSeconds);
    const PluginTarget target = findPlugin(picture.plugin);
    const PluginLibrary& library = target.library;
    ApplicationWindow application;
    librarySymbol<VcSetApplicationWindowFn>(library,
                                            "VcSetApplicationWindow")(application.handle());
    HostCallbackRecord callbacks{};
    callbacks.settingsDialog = settingsDialog;
    callbacks.hostValue = reinterpret_cast<uintptr_t>(orqModule());
    librarySymbol<VcSetCallbacksFn>(library, "VcSetCallbacks")(&callbacks);
    PlatformSetClock(TRUE);
    std::unique_ptr<Session> session = openSession(target, Road::HostExtension);
    session->apply(picture.settings);
    CreateEffectFn effect = nullptr;
    CreateEditorFn createEditor = nullptr;
    CreateParametersFn parameters = nullptr;
    if (library.getCreator(library.name.c_str(), library.kind, &effect, &createEditor,
                           &parameters) != 1 ||
        createEditor == nullptr)
        throw std::runtime_error("'" + library.name + "' has no editor creator");
    auto* record = static_cast<EditorRecord*>(createEditor(nullptr));
    if (record == nullptr) throw std::runtime_error("'" + library.name + "' made no editor");
    std::vector<uint8_t> png;
    {
        OpenEditor editor(record, session->record(), application.handle(),
                          player.format().sampleRate, player.format().channels);
        if (picture.editorRequest) {
            SendMessageA(editor.frame(), 2024, WPARAM(picture.editorRequest->first),
                         LPARAM(picture.editorRequest->second));
            editor.settle();
        }
        DiscardSink discard;
        // A plug-in may take its defaults again when it opens at the file's format: the
        // settings follow once it runs at it.
        player.play(*session, editor, discard, kClockStepMs, {});
        session->apply(picture.settings);
        player.play(*session, editor, discard, std::nullopt, {});
        editor.settle();
        if (!IsWindowVisible(editor.frame()))
            throw std::runtime_error("the editor's window is hidden: there is nothing to picture");
        png = windowPng(editor.frame());
    }
    return png;
}

int commandEditor(const std::vector<std::string>& args, EngineWindow& engine) {
    const EditorOptions o = parseEditor(args);
    if (o.road == EditorRoad::Plax) return commandPlaxEditor(o);
    std::vector<ScriptEvent> script;
    if (o.script) script = readScript(*o.script);
    const bool scriptPlays = std::any_of(script.begin(), script.end(), [](const ScriptEvent& e) {
        return e.verb == ScriptVerb::Play;
    });
    // A play without a file plays the current input: --play's or an earlier play FILE's.
    bool havePlayInput = o.play.has_value();
    for (const ScriptEvent& event : script) {
        if (event.verb != ScriptVerb::Play) continue;
        if (!event.playFile.empty()) havePlayInput = true;
        if (!havePlayInput) throw UsageError(lineOf(event) + "play needs --play INPUT or a FILE");
    }

    // Every file is named before any work: a picture that cannot be written fails here.
    OutputFiles files;
    if (o.state) files.addInput(*o.state, "the state");
    if (o.play) files.addInput(*o.play, "the played input");
    if (o.script) files.addInput(*o.script, "the script");
    for (const ScriptEvent& event : script)
        if (!event.playFile.empty())
            files.addInput(event.playFile,
                           "the input played at script line " + std::to_string(event.line));
    if (!o.png.empty()) files.add(o.png, "the picture");
    if (o.playingPng) files.add(*o.playingPng, "the picture while playing");
    if (o.dialogLoad) files.addInput(*o.dialogLoad, kDialogStateRole);
    if (o.saveState) files.add(*o.saveState, "the saved state");
    if (o.dialogSave) files.add(*o.dialogSave, "the settings dialog's saved state");
    if (o.output) files.add(*o.output, "the played output", OutputKind::Audio);
    for (const ScriptEvent& event : script) {
        if (event.verb == ScriptVerb::Snapshot)
            files.add(event.name, "the snapshot of script line " + std::to_string(event.line));
        if (event.verb == ScriptVerb::Clipboard)
            files.add(event.name,
                      "the clipboard's picture of script line " + std::to_string(event.line));
    }

    std::vector<uint8_t> state;
    if (o.state) state = readState(*o.state);
    std::vector<uint8_t> dialogState;
    if (o.dialogLoad) dialogState = readState(*o.dialogLoad, kDialogStateRole);
    std::optional<Player> player;
    if (o.play) player.emplace(*o.play, o.untilSeconds);
    DiscardSink discard;
    AudioSink& played = o.output ? files.audio(*o.output, player->format()) : discard;

    const PluginTarget target = findPlugin(o.plugin);
    const PluginLibrary& library = target.library;
    std::optional<LiveDisplay> liveDisplay;
    if (o.live) liveDisplay.emplace();
    ApplicationWindow application;
    introduceHost(library, application.handle(), settingsDialog);

    // The editor's timers run on the script's and the audio's clock; a live editor's on time.
    if (!o.live) PlatformSetClock(TRUE);
    const bool pageRoad = o.road == EditorRoad::PropertyPage;
    std::unique_ptr<Session> session =
        openSession(target, pageRoad ? Road::Component : Road::HostExtension);
    if (o.state) session->loadState(stateStream(state, *o.state, target, *session));
    std::optional<std::vector<uint8_t>> dialogStream;
    if (o.dialogLoad)
        dialogStream = stateStream(dialogState, *o.dialogLoad, target, *session, kDialogStateRole);
    DialogScope dialog(o.dialogSave.has_value(), std::move(dialogStream));
    session->apply(o.settings);

    std::optional<PageFrame> pageFrame;
    EditorRecord* record = nullptr;
    IPropertyPage* page = nullptr;
    if (pageRoad) {
        pageFrame.emplace();
        page = openPropertyPage(*session, target);
    } else {
        CreateEffectFn effect = nullptr;
        CreateEditorFn createEditor = nullptr;
        CreateParametersFn parameters = nullptr;
        if (library.getCreator(library.name.c_str(), library.kind, &effect, &createEditor,
                               &parameters) != 1 ||
            createEditor == nullptr)
            throw std::runtime_error("'" + library.name + "' has no editor creator");
        // The editor starts from the plug-in's values (its own copy of the set).
        record = static_cast<EditorRecord*>(createEditor(session->record()->parameters));
        if (record == nullptr) throw std::runtime_error("'" + library.name + "' made no editor");
    }
    {
        const StreamFormat format =
            player ? player->format()
                   : StreamFormat{kDefaultChannels, kDefaultSampleRate, 0, SampleFormat::Int16};
        std::optional<OpenEditor> opened;
        if (pageRoad)
            opened.emplace(page, pageFrame->handle());
        else
            opened.emplace(record, session->record(), application.handle(), format.sampleRate,
                           format.channels);
        OpenEditor& editor = *opened;
        RECT frameRect{};
        GetWindowRect(editor.frame(), &frameRect);
        std::cout << "editor: " << library.name
                  << (pageRoad ? " (property page), frame " : " (vc road), frame ")
                  << frameRect.right - frameRect.left << "x" << frameRect.bottom - frameRect.top
                  << "\n";
        // The picture while playing: the editor after the last played block, its meters
        // still showing (the plug-in's stop may put them to rest).
        std::optional<std::vector<uint8_t>> playing;
        std::function<void()> lastBlock;
        if (o.playingPng) lastBlock = [&] { playing = editor.picture(engine); };
        if (player && !scriptPlays) player->play(*session, editor, played, std::nullopt, lastBlock);
        if (o.live) {
            editor.useRealClock();
            PlatformLiveDisplayWatch(application.handle(), kMsgDisplayLost);
            if (!PlatformLiveDisplaySync(editor.frame(), kLiveShowTimeoutMs))
                throw std::runtime_error("--live: the display did not show the editor's window");
            char window[32];
            std::snprintf(window, sizeof window, "0x%lx", PlatformLiveWindowId(editor.frame()));
            const char* display = std::getenv("DISPLAY");
            const POINT client = editor.fromClient(0, 0); // where xdotool's clicks aim from
            std::cout << "live: window " << window << " on " << (display != nullptr ? display : "")
                      << ", client at " << client.x << "," << client.y
                      << (o.script ? ", until the script ends" : ", until it is closed")
                      << std::endl;
        }
        HelpReporter help;
        size_t nextEvent = 0;
        std::exception_ptr failedBesideBox;
        const auto runEvents = [&](size_t most) {
            for (; most > 0 && nextEvent < script.size() && !failedBesideBox; --most) {
                runEvent(script[nextEvent++], editor, *session, player, o.output.has_value(),
                         played, files, engine, lastBlock);
                help.report();
            }
        };
        HWND announcedBox = nullptr;
        if (pageRoad)
            pageFrame->onBoxWaiting([&](HWND box) {
                // One event each time the box waits, so a key or click that ends the box lets
                // its loop return before the script goes on; the box keeps the editor disabled
                // meanwhile, as it would for a user. With the script done, the box is cancelled.
                const bool scriptDone = nextEvent >= script.size() || failedBesideBox;
                if (box != announcedBox) {
                    announcedBox = box;
                    char title[128] = "";
                    GetWindowTextA(box, title, int(sizeof title));
                    std::cout << "dialog: \"" << title << "\" waits on orq's thread; "
                              << (scriptDone ? "orq cancels it" : "the script goes on beside it")
                              << std::endl;
                }
                if (scriptDone) return false;
                try {
                    runEvents(1);
                } catch (...) {
                    failedBesideBox = std::current_exception();
                    return false;
                }
                PostMessageA(box, WM_NULL, 0, 0); // so the box waits again after this event
                return true;
            });
        runEvents(script.size());
        if (pageRoad) pageFrame->onBoxWaiting(nullptr);
        if (failedBesideBox) std::rethrow_exception(failedBesideBox);
        if (o.live) {
            const LiveEnd end = o.script ? LiveEnd::ScriptEnded : waitForLiveEnd(editor, engine);
            std::cout << (end == LiveEnd::Closed        ? "live: the window was closed"
                          : end == LiveEnd::DisplayLost ? "live: the X display went away"
                                                        : "live: the script ended")
                      << std::endl;
        }
        if (!o.live || PlatformLiveDisplayConnected()) editor.settle();
        help.report();
        if (!o.png.empty())
            files.write(o.png, o.live ? livePicture(editor.frame()) : editor.picture(engine));
        if (o.playingPng) {
            if (!playing) throw std::runtime_error("nothing was played: no picture while playing");
            files.write(*o.playingPng, *playing);
        }
        if (o.saveState)
            files.write(*o.saveState, encodeStateFile(stateOriginOf(target), session->saveState()));
        if (o.dialogSave) {
            if (const std::optional<std::vector<uint8_t>> saved = dialog.saved()) {
                files.write(*o.dialogSave, encodeStateFile(stateOriginOf(target), *saved));
                std::cout << "settings dialog: its state saved in " << *o.dialogSave << "\n";
            } else {
                files.drop(*o.dialogSave);
                std::cout << "settings dialog: never called, " << *o.dialogSave << " not written\n";
            }
        }
    }                // the editor closed and destroyed
    session.reset(); // the plug-in released
    pageFrame.reset();
    engine.pump();
    const int32_t left = library.canUnload != nullptr ? library.canUnload() : -1;
    std::cout << "closed: "
              << (engine.idleNotices() > 0 ? "library idle (WM_USER + 5)" : "library not idle")
              << ", " << left << " live objects\n";
    files.commit();
    return 0;
}

} // namespace orq::host
