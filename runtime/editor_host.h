// The editor host: the base of every plug-in editor. An editor owns a clone of its plug-in's
// parameter set, runs its windows on a user-interface thread of its own (class "AudioUI": a
// top-level frame owned by the host's application window and a client child below a caption
// strip with the bypass, settings and mute buttons), and is driven by the editor commands
// (EditorCommand) through its EditorRecord.
//
// Threads: command() arrives on the host's thread (kEdStarted/kEdStopped/kEdHostValues also from
// the streaming thread); the windows, the content and the virtual operations below except
// loadValues/saveValues run on the editor's own thread. Values cross between the editor and
// its plug-in only through the plug-in's record (which takes the plug-in's lock) and, inside the
// editor, under lock(); order: the editor's lock, then the plug-in's.
//
// WM_USER + 2 is sent from the editor's thread: a host closes the editor (kEdClose waits for
// that thread) only after its handling of the message has returned, never inside it.
#pragma once

#include "controls/button.h"
#include "controls/caption_button.h"
#include "runtime/audio_plugin.h"
#include "runtime/colour_management.h"
#include "runtime/host_extension.h"
#include "runtime/parameter_set.h"
#include "runtime/plugin_boundary.h"

#include <windows.h>

#include <cstdint>
#include <memory>
#include <new>
#include <string>

namespace orq {

// Frame window messages of the editor protocol.
constexpr UINT kMsgBuildContent = WM_USER + 7; // 1031
constexpr UINT kMsgCloseContent = WM_USER + 8; // 1032
constexpr UINT kMsgEditorSpecial = 2024;       // passed to the editor's special operation
// Private: the strip's toggles take the host values (set on another thread) on the editor's.
constexpr UINT kMsgSyncStrip = 0x8000 + 1; // WM_APP + 1
// Commands of the caption strip's buttons.
constexpr int kStripBypassCommand = 100;
constexpr int kStripSettingsCommand = 101;
constexpr int kStripMuteCommand = 102;
// Bitmaps of the strip's buttons in the host's resource module: three per button (normal,
// pressed, on) in the order bypass, mute, settings.
constexpr int kStripFirstBitmapId = 10000;
// The window class of the editors and the count of its windows alive in this library.
constexpr const char* kEditorWindowClass = "AudioUI";
constexpr UINT kEditorClassStyle = 4235; // byte-aligned client, parent DC, double clicks, redraw

// Library-wide host state, set through the host extension exports. [ui-thread]
void setApplicationWindow(HWND window);
HWND applicationWindow();
void setHostCallbacks(const HostCallbackRecord& callbacks);
const HostCallbackRecord& hostCallbacks();
// "AudioUI" windows alive in this library (frame windows).
LONG editorWindowCount();

class EditorHost : public EditorInterface,
                   public ColourClient,
                   public controls::CaptionButtonOwner {
  public:
    static constexpr int kDefaultWidth = 300;
    static constexpr int kDefaultHeight = 120;
    static constexpr int kStripHeight = 16;

    // Takes ownership of parameters (the editor's own set; may be null for an editor without
    // values), also when it throws: the set is then released, here or by the destructor when a
    // derived constructor throws. Counts as a live editor until destroyed.
    explicit EditorHost(ParameterSet* parameters);
    ~EditorHost() override;
    EditorHost(const EditorHost&) = delete;
    EditorHost& operator=(const EditorHost&) = delete;

    // The editor protocol. [ui-thread] as EditorRecord::dispatch. kEdDestroy deletes this.
    intptr_t command(int32_t command, void* arg, intptr_t value) override;

    EditorRecord* editorRecord() { return boundaryRecord(); }
    // The editor behind a record of this library, or null (wrong magic, null).
    static EditorHost* fromRecord(EditorRecord* record);

    HWND frameWindow() const { return frameWindow_; }
    HWND clientWindow() const { return clientWindow_; }
    PluginRecord* pluginRecord() const { return record_; }
    ParameterSet* parameters() const { return parameters_; }
    bool bypassWithDelay() const { return bypassWithDelay_ != 0; }
    bool mute() const { return mute_ != 0; }
    bool running() const { return running_ != 0; }
    int sampleRate() const { return sampleRate_; }
    int channels() const { return channels_; }
    const std::string& title() const { return title_; }
    CRITICAL_SECTION* lock() { return &lock_; }
    // The slot in the library's colour management (1..16), 0 when outside it.
    int colourSlot() const { return colourSlot_; }
    // ColourClient: the frame window; realises palette() on the frame's device.
    HWND colourWindow() const override { return frameWindow_; }
    LRESULT realizePalette(bool foreground) override;
    void setColourSlot(int slot) override { colourSlot_ = slot; }

    // The editor's window procedure, shared by both "AudioUI" windows.
    static LRESULT CALLBACK windowProcedure(HWND window, UINT message, WPARAM wParam,
                                            LPARAM lParam);

  protected:
    // Content operations of derived editors, on the editor's thread. openContent creates the
    // controls in the client window and gives the client size; closeContent destroys them.
    virtual void openContent(HWND client, SIZE* clientSize);
    virtual void closeContent() {}
    // Values between the controls and parameters(): loadValues after the set changed from
    // outside, saveValues before the set is handed out. Called under lock().
    virtual void loadValues() {}
    virtual void saveValues() {}
    virtual void started() {}
    virtual void stopped() {}
    virtual void hostValuesChanged() {}
    virtual void timer(UINT_PTR id) { (void)id; }
    // Paints a window of the editor; false: the window is filled with the background colour.
    virtual bool paint(HWND window, HDC dc) {
        (void)window;
        (void)dc;
        return false;
    }
    // Every message the table does not handle; true when handled (result in *result).
    virtual bool message(HWND window, UINT message, WPARAM wParam, LPARAM lParam, LRESULT* result);
    virtual void captionDoubleClicked() {}
    // A click on the title-bar button (slot 0).
    virtual void captionButtonPressed() {}
    virtual bool allowsSettingsDialog() { return true; }
    virtual void activated() {}
    virtual void paletteChanged(HWND changedBy);
    virtual void special(WPARAM wParam, LPARAM lParam) {
        (void)wParam;
        (void)lParam;
    }
    // The editor's identity palette, or null (the default) for none.
    virtual HPALETTE palette() { return nullptr; }
    // The editor's module (its own resources) and the names of its accelerators and icon.
    virtual HINSTANCE instance() const;
    virtual const char* acceleratorName() const { return nullptr; }
    virtual const char* iconName() const { return nullptr; }
    // Whether messages the loop's handling answered 0 also go to the host's message hook.
    virtual bool wantsMessageHook() const { return false; }

    // For derived editors: hands the set's changed values to the plug-in (mode -1) and marks
    // the editor dirty; pulls the plug-in's values (meters) into the set (mode given). Both go
    // through the plug-in's record, which takes the plug-in's lock, and hold lock().
    void pushChanges();
    void pullValues(int32_t mode);
    void setDirty() { dirty_ = 1; }
    // A new client size while the content is open (an editor with more than one layout, or whose display grows): the
    // frame, or inside a property page the client, takes it; command 31 reports it. [ui-thread]
    void resizeContent(SIZE clientSize);

  private:
    static unsigned threadMain(void* editor);
    unsigned runThread();
    void show();
    void close();
    void destroy();
    bool createWindows();
    void buildContent();
    void closeContentAndStrip();
    void layoutStrip();
    void attachToParent(HWND parent);
    void detachFromParent();
    SIZE windowSize() const;
    LRESULT paintMessage(HWND window, UINT message);
    void syncStrip();
    void captionButtonClicked(bool releasedInside) override;
    void toggleStripValue(LONG volatile* value);
    void openSettingsDialog();
    void setCaption();
    void clearWindowUserData();
    LRESULT frameMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

    int sampleRate_ = 44100;
    int channels_ = 2;
    int programNumber_ = 0;
    std::string programName_ = "Default";
    PluginRecord* record_ = nullptr;
    ParameterSet* parameters_ = nullptr;
    LONG volatile running_ = 0;
    HWND parentWindow_ = nullptr;
    HWND frameWindow_ = nullptr;
    HWND clientWindow_ = nullptr;
    DWORD threadId_ = 0;
    HANDLE threadHandle_ = nullptr;
    HANDLE readyEvent_ = nullptr;
    bool ownThread_ = true;
    bool postBuild_ = false;
    bool shown_ = false;
    bool contentOpen_ = false;
    LONG volatile bypassWithDelay_ = 0;
    LONG volatile mute_ = 0;
    CRITICAL_SECTION lock_;
    std::string title_;
    HACCEL accelerators_ = nullptr;
    LONG volatile dirty_ = 0;
    std::unique_ptr<controls::Button> strip_[3];
    std::unique_ptr<controls::CaptionButton> captionButton_;
    HBITMAP stripBitmaps_[9] = {};
    SIZE clientSize_ = {kDefaultWidth, kDefaultHeight};
    int colourSlot_ = 0;
};

// The windows of an editor behind a record of this library (null when none). For tests and
// in-process tools; hosts find the frame as the top-level "AudioUI" window instead.
HWND editorFrameWindow(EditorRecord* record);
HWND editorClientWindow(EditorRecord* record);

// The body of every editor factory: an Editor (derived from EditorHost, constructed from its
// set) or null when it cannot be made, the set then released exactly once (here when the
// allocation fails, by EditorHost once its constructor has begun).
// [ui-thread] (the creating thread), allocates, never throws.
template <class Editor>
EditorHost* makeEditor(ParameterSet* parameters) noexcept {
    Editor* editor = nullptr;
    try {
        editor = new (std::nothrow) Editor(parameters);
    } catch (...) {
        return nullptr; // EditorHost has released the set
    }
    if (editor == nullptr && parameters != nullptr) parameters->release();
    return editor;
}

// The create-editor road: an editor for the given set (copied when given) as its record, or
// null. factory builds the editor object from its own set (null: a plain EditorHost).
using EditorFactory = EditorHost* (*)(ParameterSet* parameters);
EditorRecord* createEditorRecord(EditorFactory factory, ParameterSet* ownSet,
                                 ParameterInterface* given) noexcept;

} // namespace orq
