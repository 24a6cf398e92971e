// The pass-through plug-in processing on an audio thread while its editor, opened through
// command 0x40 on its own user-interface thread, reads meters on its timer and its switch
// changes the plug-in: both directions under the plug-in's and the editor's locks.
#include "runtime/editor_host.h"
#include "runtime/live_objects.h"
#include "runtime/plugin_glue.h"
#include "testplugins/passthrough_editor.h"
#include "testplugins/passthrough_plugin.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <thread>

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

// Mouse down and up at the middle of a window inside an editor's frame.
void clickChild(HWND frame, HWND child) {
    RECT f{}, c{};
    GetWindowRect(frame, &f);
    GetWindowRect(child, &c);
    const int x = (c.left + c.right) / 2 - f.left;
    const int y = (c.top + c.bottom) / 2 - f.top;
    PlatformInjectMouse(frame, WM_LBUTTONDOWN, x, y, MK_LBUTTON);
    PlatformInjectMouse(frame, WM_LBUTTONUP, x, y, 0);
}

void* createTestEditor(ParameterInterface* given) {
    return createEditorRecord(&createPassthroughEditor, createPassthroughParameters(), given);
}

float editorPeak(PassthroughEditor* editor) {
    ScopedLock lock(*editor->lock());
    return static_cast<TableParameterSet*>(editor->parameters())
        ->value(kPassthroughOutputPeakIndex);
}

TEST(ValueExchange, editor_timer_reads_meters_and_switch_silences_while_audio_runs) {
    AudioPlugin* plugin = createPassthroughPlugin(createPassthroughParameters(), nullptr, nullptr);
    ASSERT_NE(plugin, nullptr);
    PluginRecord* record = &plugin->record();
    OpenFormat format{44100, 2, 0};
    ASSERT_EQ(record->dispatcher(record, kCmdOpen, &format, 0), 0);
    record->dispatcher(record, kCmdStart, nullptr, 0);
    ASSERT_EQ(
        record->dispatcher(record, kCmdOpenEditor, reinterpret_cast<void*>(&createTestEditor), 0),
        1);
    auto* editor = dynamic_cast<PassthroughEditor*>(record->editor);
    ASSERT_NE(editor, nullptr);
    ASSERT_NE(editor->frameWindow(), nullptr);
    EXPECT_EQ(editor->pluginRecord(), record);

    constexpr float kAmplitude = 0.5f;
    std::atomic<bool> stop{false};
    std::atomic<float> lastOutput{-1.0f};
    std::thread audio([&] {
        AudioBuffers buffers(2, 2, 256, BufferLayout::Separate);
        while (!stop) {
            buffers.setFrames(256);
            buffers.frames = 256;
            for (int c = 0; c < 2; ++c)
                for (int i = 0; i < 256; ++i)
                    buffers.inputs()[c][i] = kAmplitude;
            record->process(record, &buffers);
            lastOutput = buffers.outputs()[0][255];
            Sleep(1);
        }
    });
    EXPECT_TRUE(pumpUntil([&] { return editorPeak(editor) == kAmplitude; }))
        << "peak read " << editorPeak(editor);

    HWND client = editor->clientWindow();
    HWND silence = GetDlgItem(client, PassthroughEditor::kSwitchId);
    ASSERT_NE(silence, nullptr);
    clickChild(editor->frameWindow(), silence);
    EXPECT_TRUE(pumpUntil([&] { return lastOutput.load() == 0.0f; }))
        << "output " << lastOutput.load();
    EXPECT_TRUE(pumpUntil([&] { return editorPeak(editor) == 0.0f; }))
        << "peak read " << editorPeak(editor);
    stop = true;
    audio.join();
    EXPECT_EQ(editor->editorRecord()->dispatch(editor->editorRecord(), kEdTakeDirty, nullptr, 0),
              1);
    record->dispatcher(record, kCmdCloseEditor, nullptr, 0);
    EXPECT_EQ(record->editor, nullptr);
    record->dispatcher(record, kCmdCloseAll, nullptr, 0);
    EXPECT_EQ(liveObjectCount(), 0);
}

} // namespace
} // namespace orq
