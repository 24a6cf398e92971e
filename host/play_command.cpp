// orq play: a file through a plug-in to the system's audio output, in real time.
//
// Threads: the command's own (options, opening, then a loop that waits for the end and takes
// SIGINT and SIGTERM synchronously: they are blocked in every thread orq starts), the reader
// that reads the input ahead into a lock-free ring (host/realtime_player.h), the output's audio
// thread (JACK's process thread, or orq's own ALSA thread) that runs the plug-in one period at a
// time, and with --editor the editor's own user-interface thread.
#include "host/audio_output.h"
#include "host/commands.h"
#include "host/engine_window.h"
#include "host/output_files.h"
#include "host/realtime_player.h"
#include "host/state_file.h"
#include "host/vc_host.h"

#include "runtime/plugin_boundary.h"

#include <windows.h>

#include <pthread.h>
#include <signal.h>

#include <cmath>
#include <csignal>
#include <cstdlib>
#include <cstdio>
#include <ctime>
#include <iostream>
#include <sstream>

namespace orq::host {

PlayOptions parsePlay(const std::vector<std::string>& args) {
    PlayOptions o;
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
        else if (a == "--port-prefix") {
            o.portPrefix = value();
            if (o.portPrefix->empty()) throw UsageError("--port-prefix takes a port name's start");
        } else if (a == "--editor")
            o.editor = true;
        else if (a == "--loop")
            o.loop = true;
        else if (a == "--seconds") {
            const double seconds = parseNumber(value(), "--seconds");
            if (!(seconds > 0.0)) throw UsageError("--seconds takes a time above 0 seconds");
            o.seconds = seconds;
        } else if (a.starts_with("--"))
            throw UsageError("unknown option '" + a + "'");
        else
            positional.push_back(a);
    }
    if (positional.size() != 2) throw UsageError("play takes PLUGIN INPUT");
    o.plugin = positional[0];
    o.input = positional[1];
    return o;
}

namespace {

constexpr timespec kWaitSlice{0, 20'000'000}; // how often the command looks at the player

// SIGINT and SIGTERM blocked in this thread and every thread started while this lives (the
// output's, the reader, the editor's), so they wait for sigtimedwait in the command's loop.
class BlockedStopSignals {
  public:
    BlockedStopSignals() {
        sigemptyset(&set_);
        sigaddset(&set_, SIGINT);
        sigaddset(&set_, SIGTERM);
        pthread_sigmask(SIG_BLOCK, &set_, &previous_);
    }
    ~BlockedStopSignals() { restore(); }
    BlockedStopSignals(const BlockedStopSignals&) = delete;
    BlockedStopSignals& operator=(const BlockedStopSignals&) = delete;
    // The signal that arrived within the slice, or 0.
    int wait(const timespec& slice) const {
        const int signal = sigtimedwait(&set_, nullptr, &slice);
        return signal > 0 ? signal : 0;
    }
    // From here on the signals act as before (a second Ctrl-C ends orq, removing what it had
    // not written yet).
    void restore() {
        if (restored_) return;
        restored_ = true;
        pthread_sigmask(SIG_SETMASK, &previous_, nullptr);
    }

  private:
    sigset_t set_{};
    sigset_t previous_{};
    bool restored_ = false;
};

// The settings dialog orq hands the library while playing: nothing to show it on, so it notes
// the call and leaves the set as it was.
int32_t playSettingsDialog(HWND, const char* pluginName, ParameterInterface*, const char*) {
    std::printf("settings dialog: %s (not shown while playing)\n",
                pluginName != nullptr ? pluginName : "");
    std::fflush(stdout);
    return 0;
}

// The plug-in's editor, open while it plays: created through the library's create-editor,
// attached to the plug-in's record and shown, with its own thread and timers on the real
// clock. Its value changes go into the plug-in under the plug-in's lock, between two periods.
//
// The editor's windows live on the platform's display: the X server's when orq could connect
// to one (EditorDisplay below), else the headless one, where nobody sees the editor but its
// timers and meters run all the same. Closing the frame (WM_CLOSE, which the library reports
// to the engine window) ends playing.
class PlayEditor {
  public:
    PlayEditor(const PluginLibrary& library, PluginRecord* plugin, HWND application,
               int32_t sampleRate, int32_t channels) {
        CreateEffectFn effect = nullptr;
        CreateEditorFn createEditor = nullptr;
        CreateParametersFn parameters = nullptr;
        if (library.getCreator(library.name.c_str(), library.kind, &effect, &createEditor,
                               &parameters) != 1 ||
            createEditor == nullptr)
            throw std::runtime_error("'" + library.name + "' has no editor creator");
        editor_ = static_cast<EditorRecord*>(createEditor(nullptr));
        if (editor_ == nullptr || editor_->magic != kEditorRecordMagic)
            throw std::runtime_error("'" + library.name + "' made no editor");
        editor_->dispatch(editor_, kEdAttachRecord, plugin, 0);
        OpenFormat format{sampleRate, channels, 0};
        editor_->dispatch(editor_, kEdFormat, &format, 0);
        frame_ = findFrame(application);
        if (frame_ == nullptr) {
            close();
            throw std::runtime_error("the editor showed no \"AudioUI\" window owned by orq's");
        }
    }
    ~PlayEditor() { close(); }
    PlayEditor(const PlayEditor&) = delete;
    PlayEditor& operator=(const PlayEditor&) = delete;
    HWND frame() const { return frame_; }
    void close() {
        if (editor_ == nullptr) return;
        editor_->dispatch(editor_, kEdClose, nullptr, 0);
        editor_->dispatch(editor_, kEdDestroy, nullptr, 0);
        editor_ = nullptr;
    }

  private:
    EditorRecord* editor_ = nullptr;
    HWND frame_ = nullptr;
};

// [ui-thread] allocates: where the editor shows: on the X server named by $DISPLAY when one
// answers, else headless. Connected before any window is made, so the editor's frame becomes an
// X window; the connection closes after the editor is gone.
class EditorDisplay {
  public:
    EditorDisplay() {
        const char* display = std::getenv("DISPLAY");
        if (display == nullptr || *display == '\0') {
            why_ = "DISPLAY is not set";
            return;
        }
        // A write to a server that went away must not end orq before it has saved its files.
        std::signal(SIGPIPE, SIG_IGN);
        live_ = PlatformUseLiveDisplay(nullptr) != FALSE;
        if (!live_) why_ = PlatformLiveDisplayError();
    }
    ~EditorDisplay() {
        if (live_) PlatformCloseLiveDisplay();
    }
    EditorDisplay(const EditorDisplay&) = delete;
    EditorDisplay& operator=(const EditorDisplay&) = delete;
    bool live() const { return live_; }
    // Why the display is headless (empty when live).
    const std::string& why() const { return why_; }

  private:
    bool live_ = false;
    std::string why_;
};

constexpr DWORD kLiveShowTimeoutMs = 10000;

// [ui-thread] allocates: the line naming the editor's X window and where its client lies in it
// (where a pointer aims from), once the server shows it.
std::string liveWindowLine(HWND frame) {
    if (!PlatformLiveDisplaySync(frame, kLiveShowTimeoutMs))
        throw std::runtime_error("the display did not show the editor's window");
    POINT client{0, 0};
    if (HWND inner = findClient(frame)) ClientToScreen(inner, &client);
    RECT frameRect{};
    GetWindowRect(frame, &frameRect);
    char line[160];
    const char* display = std::getenv("DISPLAY");
    std::snprintf(line, sizeof line, "live: window 0x%lx on %s, client at %ld,%ld",
                  PlatformLiveWindowId(frame), display != nullptr ? display : "",
                  long(client.x - frameRect.left), long(client.y - frameRect.top));
    return line;
}

std::string milliseconds(int64_t frames, int32_t rate) {
    char text[32];
    std::snprintf(text, sizeof text, "%.1f ms", 1000.0 * double(frames) / double(rate));
    return text;
}

std::string secondsText(int64_t frames, int32_t rate) {
    char text[32];
    std::snprintf(text, sizeof text, "%.2f s", double(frames) / double(rate));
    return text;
}

enum class Ending { Played, Interrupted, EditorClosed, DisplayLost, OutputFailed };

} // namespace

int commandPlay(const std::vector<std::string>& args, EngineWindow& engine) {
    const PlayOptions o = parsePlay(args);
    // Before any thread starts, so every thread inherits the mask.
    BlockedStopSignals signals;

    OutputFiles files;
    files.addInput(o.input, "the input");
    if (o.state) files.addInput(*o.state, "the state");
    if (o.saveState) files.add(*o.saveState, "the saved state");
    std::vector<uint8_t> state;
    if (o.state) state = readState(*o.state);
    AudioFileReader input(o.input, nullptr);
    const StreamFormat format = input.format();
    const PluginTarget target = findPlugin(o.plugin);
    // The host extension road: orq calls the plug-in's record itself, one period at a time.
    std::unique_ptr<Session> session = openSession(target, Road::HostExtension);
    if (o.state) session->loadState(stateStream(state, *o.state, target, *session));
    session->apply(o.settings);

    OutputRequest request;
    request.sampleRate = format.sampleRate;
    request.channels = format.channels;
    request.portPrefix = o.portPrefix;
    std::unique_ptr<AudioOutput> output = openAudioOutput(request);

    std::optional<EditorDisplay> display;
    std::optional<ApplicationWindow> application;
    std::optional<PlayEditor> editor;
    if (o.editor) {
        display.emplace();
        application.emplace();
        introduceHost(target.library, application->handle(), playSettingsDialog);
        editor.emplace(target.library, session->record(), application->handle(),
                       format.sampleRate, format.channels);
    }

    RealtimePlayer::Options playing;
    playing.loop = o.loop;
    if (o.seconds) playing.limitFrames = std::llround(*o.seconds * format.sampleRate);
    RealtimePlayer player(*session, input, playing);
    // Whatever happens from here on, the output stops calling the player before it goes.
    struct StopOutput {
        AudioOutput& output;
        ~StopOutput() { output.stop(); }
    } stopOutput{*output};

    std::ostringstream head;
    head << "plug-in: " << session->name() << " (vc road)\n"
         << "format: " << describeFormat(format) << ", " << format.frames << " frames\n"
         << "output: " << output->description() << "\n"
         << "latency: plug-in " << player.latencyFrames() << " frames ("
         << milliseconds(player.latencyFrames(), format.sampleRate) << "), output "
         << output->latencyFrames() << " frames ("
         << milliseconds(output->latencyFrames(), format.sampleRate) << ")\n";
    if (editor) {
        if (display->live())
            head << "editor: open on the X display " << std::getenv("DISPLAY") << "\n"
                 << liveWindowLine(editor->frame()) << "\n";
        else
            head << "editor: open (headless display: " << display->why() << ")\n";
    }
    std::cout << head.str() << "playing " << o.input << (o.loop ? " in a loop" : "")
              << " (Ctrl-C stops)" << std::endl;

    const int closesBefore = engine.editorCloseRequests();
    output->start(player);
    Ending ending = Ending::Played;
    int signal = 0;
    while (!player.finished()) {
        if (!output->failure().empty()) {
            ending = Ending::OutputFailed;
            break;
        }
        engine.pump(); // answers what the editor's thread sends the engine window
        if (editor && (engine.editorCloseRequests() > closesBefore ||
                       !IsWindowVisible(editor->frame()))) {
            ending = Ending::EditorClosed;
            break;
        }
        if (display && display->live() && !PlatformLiveDisplayConnected()) {
            ending = Ending::DisplayLost;
            break;
        }
        if ((signal = signals.wait(kWaitSlice)) != 0) {
            ending = Ending::Interrupted;
            break;
        }
    }
    output->stop();
    signals.restore();
    const std::optional<uint32_t> firstFrame = output->firstFrameTime();
    const int64_t xruns = output->xruns();
    const PlayCounts counts = player.counts();
    RunSummary summary;
    player.stop(summary);
    if (editor) editor->close();
    if (o.saveState)
        files.write(*o.saveState, encodeStateFile(stateOriginOf(target), session->saveState()));
    files.commit();

    std::ostringstream out;
    const int32_t rate = format.sampleRate;
    out << "played: " << counts.inputFrames << " frames of the input ("
        << secondsText(counts.inputFrames, rate) << ")";
    switch (ending) {
    case Ending::Played:
        out << ", then the plug-in's latency\n";
        break;
    case Ending::Interrupted:
        out << "; stopped by " << (signal == SIGINT ? "SIGINT" : "SIGTERM") << "\n";
        break;
    case Ending::EditorClosed:
        out << "; stopped: the editor was closed\n";
        break;
    case Ending::DisplayLost:
        out << "; stopped: the X display went away\n";
        break;
    case Ending::OutputFailed:
        out << "; stopped: " << output->failure() << "\n";
        break;
    }
    if (firstFrame) out << "first frame at JACK frame time " << *firstFrame << "\n";
    out << "missed deadlines: " << xruns << " xruns, " << counts.ringUnderruns
        << " ring underruns\n";
    if (counts.callbacks > 0) {
        const int32_t period = output->periodFrames();
        char line[160];
        std::snprintf(line, sizeof line,
                      "callback: %lld calls, longest %.3f ms of a %.3f ms period, %lld over it\n",
                      static_cast<long long>(counts.callbacks),
                      double(counts.longestCallbackNs) / 1e6, 1000.0 * period / rate,
                      static_cast<long long>(counts.slowCallbacks));
        out << line;
    }
    out << meterLines(summary);
    if (o.saveState) out << "state saved in " << *o.saveState << "\n";
    std::cout << out.str();
    if (ending == Ending::OutputFailed)
        throw std::runtime_error(output->failure());
    return 0;
}

} // namespace orq::host
