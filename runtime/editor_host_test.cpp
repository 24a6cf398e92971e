// The editor host on its own thread: class registration, the caption strip, WM_CLOSE, the live
// counts, user data after close, and the value exchange with a plug-in processing meanwhile.
#include "runtime/editor_host.h"

#include "runtime/live_objects.h"
#include "runtime/module_version.h"
#include "runtime/plugin_glue.h"
#include "runtime/window_messages.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <mutex>
#include <new>
#include <string>
#include <thread>
#include <vector>

namespace orq {
namespace {

constexpr DWORD kPatienceMs = 5000;

// Runs this thread's messages until done() or the patience runs out; answers done().
bool pumpUntil(const std::function<bool()>& done, DWORD patienceMs = kPatienceMs) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(patienceMs);
    while (!done()) {
        MSG message{};
        while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE))
            DispatchMessageA(&message);
        if (std::chrono::steady_clock::now() > end) return done();
        Sleep(1);
    }
    return true;
}

// The host's "AudioEngine" window: counts what the library sends and posts to it.
struct EngineWindow {
    static inline std::atomic<int> closing{0};
    static inline std::atomic<int> idle{0};
    static inline WPARAM closingPlugin = 0;
    static inline LPARAM closingEditor = 0;
    static LRESULT CALLBACK procedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
        if (message == kMsgEditorClosing) {
            closingPlugin = wParam;
            closingEditor = lParam;
            ++closing;
            return 0;
        }
        if (message == kMsgLibraryIdle) {
            ++idle;
            return 0;
        }
        return DefWindowProcA(window, message, wParam, lParam);
    }
    EngineWindow() {
        closing = 0;
        idle = 0;
        WNDCLASSA wc{};
        wc.lpfnWndProc = &procedure;
        wc.lpszClassName = "AudioEngine";
        RegisterClassA(&wc);
        window = CreateWindowExA(0, "AudioEngine", nullptr, 0, 0, 0, 0, 0, nullptr, nullptr,
                                 nullptr, nullptr);
    }
    ~EngineWindow() {
        DestroyWindow(window);
        UnregisterClassA("AudioEngine", nullptr);
    }
    HWND window = nullptr;
};

// A plug-in record that records the host values it is sent.
struct RecordingPlugin {
    static int32_t dispatcher(PluginRecord* record, int32_t command, void* arg, int32_t) {
        auto* self = reinterpret_cast<RecordingPlugin*>(record->self);
        if (command == kCmdSetHostValues) {
            const auto* values = static_cast<const float*>(arg);
            std::lock_guard<std::mutex> lock(self->mutex);
            self->hostValues.push_back({values[0], values[1]});
        }
        return 0;
    }
    static void load(PluginRecord* record, ParameterInterface*, int32_t mode) {
        auto* self = reinterpret_cast<RecordingPlugin*>(record->self);
        self->loads.push_back(mode);
    }
    static void save(PluginRecord* record, ParameterInterface* store, int32_t mode) {
        auto* self = reinterpret_cast<RecordingPlugin*>(record->self);
        self->saves.push_back(mode);
        store->setFloat(store, 0, 0.25f); // the plug-in's value
    }
    RecordingPlugin() {
        record.dispatcher = &dispatcher;
        record.loadFromStore = &load;
        record.saveToStore = &save;
        record.self = reinterpret_cast<AudioPlugin*>(this);
        std::strcpy(record.name, "Orq Recording");
    }
    size_t count() {
        std::lock_guard<std::mutex> lock(mutex);
        return hostValues.size();
    }
    PluginRecord record{};
    std::mutex mutex;
    std::vector<std::array<float, 2>> hostValues;
    std::vector<int32_t> loads; // modes, on the editor's thread (read after it ended)
    std::vector<int32_t> saves;
};

struct Format {
    int32_t sampleRate = 44100;
    int32_t channels = 2;
};

EditorRecord* openEditor(PluginRecord* plugin = nullptr, EditorHost* editor = nullptr) {
    if (editor == nullptr) editor = new EditorHost(nullptr);
    EditorRecord* record = editor->editorRecord();
    if (plugin != nullptr) record->dispatch(record, kEdAttachRecord, plugin, 0);
    Format format;
    record->dispatch(record, kEdFormat, &format, 0);
    return record;
}

void closeAndDestroy(EditorRecord* record) {
    record->dispatch(record, kEdClose, nullptr, 0);
    record->dispatch(record, kEdDestroy, nullptr, 0);
}

// A plain top-level window of the test's own (a host's application window, a property page).
HWND plainWindow(const char* title) {
    static const ATOM registered = [] {
        WNDCLASSA wc{};
        wc.lpfnWndProc = &DefWindowProcA;
        wc.lpszClassName = "TestPlain";
        return RegisterClassA(&wc);
    }();
    (void)registered;
    return CreateWindowExA(0, "TestPlain", title, WS_OVERLAPPEDWINDOW, 0, 0, 400, 300, nullptr,
                           nullptr, nullptr, nullptr);
}

bool classRegistered() {
    WNDCLASSA wc{};
    return GetClassInfoA(moduleHandle(), kEditorWindowClass, &wc) != FALSE;
}

// Mouse down and up at the middle of a child of the editor's frame.
void clickChild(HWND frame, HWND child) {
    RECT f{}, c{};
    GetWindowRect(frame, &f);
    GetWindowRect(child, &c);
    const int x = (c.left + c.right) / 2 - f.left;
    const int y = (c.top + c.bottom) / 2 - f.top;
    PlatformInjectMouse(frame, WM_LBUTTONDOWN, x, y, MK_LBUTTON);
    PlatformInjectMouse(frame, WM_LBUTTONUP, x, y, 0);
}

TEST(EditorWindows, two_editors_share_one_class_and_the_last_close_unregisters_it) {
    ASSERT_FALSE(classRegistered());
    EditorRecord* first = openEditor();
    EditorRecord* second = openEditor();
    ASSERT_NE(editorFrameWindow(first), nullptr);
    ASSERT_NE(editorFrameWindow(second), nullptr);
    EXPECT_NE(editorClientWindow(first), nullptr);
    EXPECT_EQ(GetParent(editorClientWindow(first)), editorFrameWindow(first));
    EXPECT_TRUE(IsWindowVisible(editorFrameWindow(first)));
    EXPECT_EQ(editorWindowCount(), 2);
    EXPECT_TRUE(classRegistered());
    closeAndDestroy(first);
    EXPECT_TRUE(classRegistered()) << "closing the first editor keeps the class";
    EXPECT_EQ(editorWindowCount(), 1);
    closeAndDestroy(second);
    EXPECT_FALSE(classRegistered()) << "closing the last editor unregisters the class";
    EXPECT_EQ(editorWindowCount(), 0);
}

TEST(EditorWindows, frame_is_owned_by_the_application_window_and_sized_for_a_plain_editor) {
    HWND application = plainWindow("host");
    setApplicationWindow(application);
    RecordingPlugin plugin;
    EditorRecord* record = openEditor(&plugin.record);
    HWND frame = editorFrameWindow(record);
    EXPECT_EQ(GetWindow(frame, GW_OWNER), application);
    RECT client{};
    GetClientRect(frame, &client);
    EXPECT_EQ(client.right, EditorHost::kDefaultWidth);
    EXPECT_EQ(client.bottom, EditorHost::kDefaultHeight + EditorHost::kStripHeight);
    RECT size{};
    record->dispatch(record, kEdGetSize, &size, 0);
    EXPECT_EQ(size.right, client.right);
    EXPECT_EQ(size.bottom, client.bottom);
    closeAndDestroy(record);
    setApplicationWindow(nullptr);
    DestroyWindow(application);
}

TEST(LiveCounts, last_plugin_release_with_a_live_editor_posts_nothing_and_the_editor_posts_once) {
    EngineWindow engine;
    ASSERT_EQ(liveObjectCount(), 0);
    objectCreated(LiveKind::Plugin);
    EditorRecord* record = openEditor();
    objectDestroyed(LiveKind::Plugin);
    pumpUntil([] { return false; }, 50);
    EXPECT_EQ(EngineWindow::idle.load(), 0) << "an editor is still alive";
    closeAndDestroy(record);
    EXPECT_TRUE(pumpUntil([] { return EngineWindow::idle.load() > 0; }));
    pumpUntil([] { return false; }, 50);
    EXPECT_EQ(EngineWindow::idle.load(), 1);
}

TEST(CaptionStrip, two_bypass_clicks_send_host_values_one_then_zero_and_leave_mute) {
    RecordingPlugin plugin;
    EditorRecord* record = openEditor(&plugin.record);
    HWND frame = editorFrameWindow(record);
    HWND bypass = GetDlgItem(frame, kStripBypassCommand);
    ASSERT_NE(bypass, nullptr);
    ASSERT_NE(GetDlgItem(frame, kStripMuteCommand), nullptr);
    ASSERT_NE(GetDlgItem(frame, kStripSettingsCommand), nullptr);
    clickChild(frame, bypass);
    ASSERT_TRUE(pumpUntil([&] { return plugin.count() >= 1; }));
    clickChild(frame, bypass);
    ASSERT_TRUE(pumpUntil([&] { return plugin.count() >= 2; }));
    closeAndDestroy(record);
    ASSERT_EQ(plugin.hostValues.size(), 2u);
    EXPECT_EQ(plugin.hostValues[0][0], 1.0f);
    EXPECT_EQ(plugin.hostValues[0][1], 0.0f);
    EXPECT_EQ(plugin.hostValues[1][0], 0.0f);
    EXPECT_EQ(plugin.hostValues[1][1], 0.0f);
}

TEST(CaptionStrip, editor_without_a_record_has_no_strip) {
    EditorRecord* record = openEditor();
    HWND frame = editorFrameWindow(record);
    EXPECT_EQ(GetDlgItem(frame, kStripBypassCommand), nullptr);
    RECT client{};
    GetClientRect(frame, &client);
    EXPECT_EQ(client.bottom, EditorHost::kDefaultHeight);
    closeAndDestroy(record);
}

TEST(EditorWindows, close_message_tells_the_engine_window_with_both_records_and_hides) {
    EngineWindow engine;
    RecordingPlugin plugin;
    EditorRecord* record = openEditor(&plugin.record);
    HWND frame = editorFrameWindow(record);
    PostMessageA(frame, WM_CLOSE, 0, 0);
    ASSERT_TRUE(pumpUntil([] { return EngineWindow::closing.load() == 1; }));
    EXPECT_EQ(EngineWindow::closingPlugin, reinterpret_cast<WPARAM>(&plugin.record));
    EXPECT_EQ(EngineWindow::closingEditor, reinterpret_cast<LPARAM>(record));
    EXPECT_TRUE(pumpUntil([&] { return !IsWindowVisible(frame); }));
    EXPECT_TRUE(IsWindow(frame)) << "hidden, not destroyed";
    closeAndDestroy(record);
}

// An editor that blocks its thread inside a message until released, so messages can be queued
// behind it deterministically.
class BlockingEditor final : public EditorHost {
  public:
    static constexpr UINT kBlock = WM_USER + 100;
    BlockingEditor() : EditorHost(nullptr) {
        entered_ = CreateEventA(nullptr, TRUE, FALSE, nullptr);
        release_ = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    }
    ~BlockingEditor() override {
        CloseHandle(entered_);
        CloseHandle(release_);
    }
    HANDLE entered_;
    HANDLE release_;

  protected:
    bool message(HWND, UINT message, WPARAM, LPARAM, LRESULT* result) override {
        if (message != kBlock) return false;
        SetEvent(entered_);
        WaitForSingleObject(release_, INFINITE);
        *result = 0;
        return true;
    }
};

TEST(EditorWindows, message_queued_before_close_finds_no_editor_in_the_window) {
    RecordingPlugin plugin;
    auto* editor = new BlockingEditor;
    EditorRecord* record = openEditor(&plugin.record, editor);
    HWND frame = editorFrameWindow(record);
    PostMessageA(frame, BlockingEditor::kBlock, 0, 0);
    ASSERT_EQ(WaitForSingleObject(editor->entered_, kPatienceMs), WAIT_OBJECT_0);
    // Queued behind the block: a bypass command that must not reach the closed editor.
    PostMessageA(frame, WM_COMMAND, kStripBypassCommand, 0);
    std::thread closer([&] { record->dispatch(record, kEdClose, nullptr, 0); });
    // Release the editor only once the close's content message waits for its thread.
    for (DWORD waited = 0; PlatformSentMessagesWaiting(frame) < 1 && waited < kPatienceMs; ++waited)
        Sleep(1);
    EXPECT_GE(PlatformSentMessagesWaiting(frame), 1) << "the close sent nothing to the editor";
    SetEvent(editor->release_);
    closer.join();
    EXPECT_EQ(plugin.count(), 0u) << "the queued command ran on the closed editor";
    EXPECT_EQ(GetWindowLongPtrA(frame, GWLP_USERDATA), 0);
    record->dispatch(record, kEdDestroy, nullptr, 0);
    // Reaching the procedure with the old window afterwards finds nothing either.
    EXPECT_EQ(EditorHost::windowProcedure(frame, WM_COMMAND, kStripBypassCommand, 0), 0);
    EXPECT_EQ(plugin.count(), 0u);
}

TEST(EditorProtocol, commands_keep_format_caption_dirty_and_host_values) {
    EditorRecord* record = openEditor();
    EditorHost* editor = EditorHost::fromRecord(record);
    ASSERT_NE(editor, nullptr);
    Format format{48000, 1};
    record->dispatch(record, kEdFormatChanged, &format, 0);
    EXPECT_EQ(editor->sampleRate(), 48000);
    EXPECT_EQ(editor->channels(), 1);
    record->dispatch(record, kEdProgramNumber, nullptr, 3);
    record->dispatch(record, kEdProgramName, const_cast<char*>("Loud"), 0);
    char title[64] = {};
    GetWindowTextA(editorFrameWindow(record), title, sizeof title);
    EXPECT_STREQ(title, "3:Loud");
    float values[2] = {1.0f, 1.0f};
    record->dispatch(record, kEdHostValues, values, 0);
    float read[2] = {};
    record->dispatch(record, kEdGetHostValues, read, 0);
    EXPECT_EQ(read[0], 1.0f);
    EXPECT_EQ(read[1], 1.0f);
    record->dispatch(record, kEdStarted, nullptr, 0);
    EXPECT_TRUE(editor->running());
    record->dispatch(record, kEdStopped, nullptr, 0);
    EXPECT_FALSE(editor->running());
    EXPECT_EQ(record->dispatch(record, kEdTakeDirty, nullptr, 0), 0);
    EXPECT_EQ(EditorHost::fromRecord(nullptr), nullptr);
    EditorRecord forged{0x12345678, record->dispatch, editor};
    EXPECT_EQ(EditorHost::fromRecord(&forged), nullptr);
    closeAndDestroy(record);
}

TEST(EditorProtocol, destroy_without_close_ends_the_thread_and_frees_the_windows) {
    EditorRecord* record = openEditor();
    HWND frame = editorFrameWindow(record);
    record->dispatch(record, kEdDestroy, nullptr, 0);
    EXPECT_FALSE(IsWindow(frame));
    EXPECT_EQ(liveCount(LiveKind::Editor), 0);
    EXPECT_FALSE(classRegistered());
}

TEST(PropertyPage, attach_builds_the_content_in_the_parent_and_detach_removes_it) {
    HWND page = plainWindow("page");
    auto* editor = new EditorHost(nullptr);
    EditorRecord* record = editor->editorRecord();
    record->dispatch(record, kEdAttachParent, page, 0);
    HWND client = editorClientWindow(record);
    ASSERT_NE(client, nullptr);
    EXPECT_EQ(GetParent(client), page);
    EXPECT_EQ(editorFrameWindow(record), nullptr) << "no thread of its own";
    RECT area{};
    GetClientRect(client, &area);
    EXPECT_EQ(area.right, EditorHost::kDefaultWidth);
    record->dispatch(record, kEdDetachParent, nullptr, 0);
    EXPECT_FALSE(IsWindow(client));
    EXPECT_EQ(editorClientWindow(record), nullptr);
    record->dispatch(record, kEdDestroy, nullptr, 0);
    EXPECT_FALSE(classRegistered());
    DestroyWindow(page);
}

// A host's thread functions are used to start and end the editor's thread.
std::atomic<int> threadsStarted{0};
std::atomic<int> threadsEnded{0};
uintptr_t hostThreadStart(void* security, unsigned stack, ThreadStartRoutine start, void* argument,
                          unsigned flags, unsigned* id) {
    ++threadsStarted;
    return _beginthreadex(security, stack, start, argument, flags, id);
}
void hostThreadEnd(unsigned) {
    ++threadsEnded;
}

TEST(HostCallbacks, editor_thread_starts_and_ends_through_the_host_functions) {
    HostCallbackRecord callbacks{};
    callbacks.threadStart = &hostThreadStart;
    callbacks.threadEnd = &hostThreadEnd;
    setHostCallbacks(callbacks);
    EditorRecord* record = openEditor();
    EXPECT_EQ(threadsStarted.load(), 1);
    closeAndDestroy(record);
    EXPECT_EQ(threadsEnded.load(), 1);
    setHostCallbacks(HostCallbackRecord{});
}

// The settings button: the host's dialog gets the frame, the plug-in's name, the editor's set
// holding the plug-in's persisted values, and the program name; a dialog that changed the set
// has it loaded into the plug-in.
const ParameterDef kDialogParameters[] = {{"Level", kKindFloat, 1.0f, 0, 0, nullptr}};
const ParameterTable kDialogTable{fourCC("Qdlg"), "Dialog", kDialogParameters};
struct DialogCall {
    HWND owner = nullptr;
    std::string plugin;
    std::string program;
    float valueSeen = -1.0f;
    std::atomic<int> calls{0};
};
DialogCall dialogCall;
int32_t settingsDialog(HWND owner, const char* plugin, ParameterInterface* set,
                       const char* program) {
    dialogCall.owner = owner;
    dialogCall.plugin = plugin;
    dialogCall.program = program;
    set->setMode(set, kModeAll);
    dialogCall.valueSeen = set->getFloat(set, 0);
    set->setFloat(set, 0, 0.75f);
    ++dialogCall.calls;
    return 1;
}

TEST(CaptionStrip, settings_button_calls_the_host_dialog_and_loads_what_it_changed) {
    HostCallbackRecord callbacks{};
    callbacks.settingsDialog = &settingsDialog;
    setHostCallbacks(callbacks);
    RecordingPlugin plugin;
    auto* editor = new EditorHost(new TableParameterSet(kDialogTable));
    EditorRecord* record = editor->editorRecord();
    record->dispatch(record, kEdProgramName, const_cast<char*>("Warm"), 0);
    record = openEditor(&plugin.record, editor);
    HWND frame = editorFrameWindow(record);
    clickChild(frame, GetDlgItem(frame, kStripSettingsCommand));
    ASSERT_TRUE(pumpUntil([] { return dialogCall.calls == 1; }));
    closeAndDestroy(record);
    setHostCallbacks(HostCallbackRecord{});
    EXPECT_EQ(dialogCall.owner, frame);
    EXPECT_EQ(dialogCall.plugin, "Orq Recording");
    EXPECT_EQ(dialogCall.program, "Warm");
    EXPECT_EQ(dialogCall.valueSeen, 0.25f) << "the plug-in saved into the set first";
    ASSERT_EQ(plugin.saves.size(), 1u);
    EXPECT_EQ(plugin.saves[0], kModePersisted);
    ASSERT_EQ(plugin.loads.size(), 1u);
    EXPECT_EQ(plugin.loads[0], kModePersisted);
}

// The factories' body: a set counts its releases instead of deleting itself.
struct CountingSet final : TableParameterSet {
    CountingSet() : TableParameterSet(kDialogTable) {}
    void release() override { ++releases; }
    int releases = 0;
};

class ThrowingEditor final : public EditorHost {
  public:
    explicit ThrowingEditor(ParameterSet* parameters) : EditorHost(parameters) {
        throw std::bad_alloc();
    }
};

TEST(EditorFactory, editor_that_cannot_be_built_releases_its_set_exactly_once) {
    CountingSet set;
    const LONG editorsBefore = liveCount(LiveKind::Editor);
    EXPECT_EQ(makeEditor<ThrowingEditor>(&set), nullptr);
    EXPECT_EQ(set.releases, 1) << "a derived constructor's failure, the base already built";
    EXPECT_EQ(liveCount(LiveKind::Editor), editorsBefore);
}

TEST(EditorFactory, built_editor_owns_its_set_until_destroyed) {
    CountingSet set;
    EditorHost* editor = makeEditor<EditorHost>(&set);
    ASSERT_NE(editor, nullptr);
    EXPECT_EQ(editor->parameters(), &set);
    EXPECT_EQ(set.releases, 0);
    EditorRecord* record = editor->editorRecord();
    record->dispatch(record, kEdDestroy, nullptr, 0);
    EXPECT_EQ(set.releases, 1);
}

TEST(ModuleVersion, product_version_comes_from_the_module_version_resource) {
    static const char anchor = 0;
    EXPECT_EQ(moduleProductVersion(PlatformModuleFromAddress(&anchor)), "3.1.4");
}

} // namespace
} // namespace orq
