// What the editors' tick benchmarks share: an editor on its plug-in inside a visible window of
// the benchmark (the property-page road, everything on this thread), audio played through the
// plug-in's record as the frame hands it over, and the window's queue emptied.
#pragma once

#include "runtime/audio_buffers.h"
#include "runtime/audio_plugin.h"
#include "runtime/editor_host.h"

#include <windows.h>

#include <cstdint>
#include <random>

namespace orq::bench {

inline void pumpMessages() {
    MSG message{};
    while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
        TranslateMessage(&message);
        DispatchMessageA(&message);
    }
}

template <class Editor> class EditorRig {
  public:
    EditorRig(AudioPlugin* plugin, EditorFactory factory, ParameterSet* editorSet)
        : plugin_(plugin) {
        WNDCLASSA wc{};
        wc.lpfnWndProc = &DefWindowProcA;
        wc.lpszClassName = "EditorBenchPage";
        RegisterClassA(&wc);
        page_ = CreateWindowExA(0, "EditorBenchPage", "page", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0,
                                0, 600, 400, nullptr, nullptr, nullptr, nullptr);
        OpenFormat format{44100, 2, 0};
        plugin_->dispatch(kCmdOpen, &format, 0);
        record_ = createEditorRecord(factory, editorSet, nullptr);
        record_->dispatch(record_, kEdAttachRecord, &plugin_->record(), 0);
        record_->dispatch(record_, kEdAttachParent, page_, 0);
        editor_ = dynamic_cast<Editor*>(EditorHost::fromRecord(record_));
        pumpMessages();
    }
    ~EditorRig() {
        record_->dispatch(record_, kEdDetachParent, nullptr, 0);
        record_->dispatch(record_, kEdDestroy, nullptr, 0);
        DestroyWindow(page_);
        delete plugin_;
    }
    EditorRig(const EditorRig&) = delete;
    EditorRig& operator=(const EditorRig&) = delete;

    Editor& editor() { return *editor_; }
    // Noise of the given peak through the plug-in's record (metered as the frame meters it).
    void play(int32_t frames, float peak) {
        AudioBuffers buffers(2, 2, 4096, BufferLayout::Shared);
        std::uniform_real_distribution<float> noise(-peak, peak);
        for (int32_t done = 0; done < frames; done += 4096) {
            buffers.setFrames(4096);
            for (int c = 0; c < 2; ++c)
                for (int i = 0; i < 4096; ++i)
                    buffers.inputs()[c][i] = noise(random_);
            plugin_->record().process(&plugin_->record(), &buffers);
        }
    }

  private:
    AudioPlugin* plugin_;
    HWND page_ = nullptr;
    EditorRecord* record_ = nullptr;
    Editor* editor_ = nullptr;
    std::mt19937 random_{1};
};

} // namespace orq::bench
