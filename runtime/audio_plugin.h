// The plug-in base: its record (the handle a host holds), command dispatcher, lock, meters and
// the engine interface every plug-in implements.
#pragma once

#include "runtime/audio_buffers.h"
#include "runtime/parameter_set.h"
#include "runtime/plugin_boundary.h"

#include <windows.h>

#include <cstdint>
#include <vector>

namespace orq {

// An editor as the frame sees it: the editor commands (EditorCommand) and the plain record
// hosts hold it by (what create-editor answers and command 0x47 takes).
class EditorInterface {
  public:
    EditorInterface();
    virtual ~EditorInterface();
    EditorInterface(const EditorInterface&) = delete;
    EditorInterface& operator=(const EditorInterface&) = delete;
    // [ui-thread] (started/stopped also from the streaming thread) may allocate.
    virtual intptr_t command(int32_t command, void* arg, intptr_t value) = 0;
    EditorRecord* boundaryRecord() { return &boundary_; }
    // The editor behind a record of this library; null for null or a record without the magic.
    static EditorInterface* fromRecord(EditorRecord* record);

  private:
    EditorRecord boundary_;
};

// Identity of a plug-in, given once by each plug-in class.
struct PluginIdentity {
    int32_t kind;      // record kind (1 compressor; 2 and 4 change refused-format handling)
    uint32_t uniqueId; // four-character code
    const char* name;  // display name
    int32_t flags = kRecordFlagPlugin; // kRecordFlagsRawPath selects the raw in-place path
};

// Per-channel meters of one side (input or output): peaks, clip counts, optional ring.
struct ChannelMeters {
    std::vector<float> peaks;
    std::vector<int32_t> clips;
    std::vector<std::vector<float>> rings; // empty when disabled
    std::vector<int32_t> ringIndex;
    bool clipCounting = false;
    bool clipPermanent = false;
};

class AudioPlugin {
  public:
    // Takes ownership of parameters from here on (the destructor releases it), also when a
    // derived class's constructor throws afterwards. [ui-thread] no allocation.
    AudioPlugin(const PluginIdentity& identity, ParameterSet* parameters, HostCallback host,
                void* hostContext);

    // Engine interface in slot order. Whatever one of them throws is caught at the record's
    // entry that called it and answered with that entry's failure value.

    // [ui-thread] commands the dispatcher does not know; may allocate.
    virtual int32_t handleCommand(int32_t command, void* arg, int32_t value);
    // [ui-thread] frees; lets nothing out.
    virtual ~AudioPlugin();
    // [audio-thread] no allocation. Takes the plug-in's lock itself (around the whole call, or
    // per sample); the frame holds it only around metering. CRITICAL_SECTION is recursive.
    virtual int32_t process(AudioBuffers& buffers) = 0;
    // [audio-thread] no allocation.
    virtual int32_t processReplacing(AudioBuffers& buffers) = 0;
    // [any-thread] no allocation; kept for compatibility (answers kStatusNotSupported1).
    virtual int32_t compatSlot4() { return kStatusNotSupported1; }
    // [any-thread] no allocation; kept for compatibility (answers kStatusNotSupported0).
    virtual int32_t compatSlot5() { return kStatusNotSupported0; }
    // [ui-thread] called with the lock held; may allocate (an engine may rebuild).
    virtual void loadSettings(ParameterInterface* store) = 0;
    // [ui-thread] called with the lock held; no allocation.
    virtual void saveSettings(ParameterInterface* store) = 0;
    // [ui-thread] no allocation.
    virtual void idle() {}
    // [ui-thread] may allocate (builds the engine).
    virtual int32_t open(OpenFormat& format) = 0;
    // [ui-thread] frees the engine.
    virtual int32_t close() = 0;
    // [audio-thread] or [ui-thread]; no allocation.
    virtual int32_t start() = 0;
    // [audio-thread] or [ui-thread]; may allocate (a flushed tail).
    virtual int32_t stop() = 0;
    // [any-thread] no allocation.
    virtual int32_t checkFormat(int32_t channels, int32_t* outputChannels, int32_t* sampleRate,
                                int32_t* extra) = 0;
    // [any-thread] no allocation; kept for compatibility (command 0x21).
    virtual int32_t compatQuery14() { return 0; }
    // [ui-thread] no allocation in the plug-in (the frame re-sizes its meter rings).
    virtual void setMaxBlockSize(int32_t) {}
    // [any-thread] no allocation.
    virtual int32_t latency() = 0;
    // [any-thread] no allocation; kept for compatibility (command 0x1e).
    virtual int32_t compatQuery17() { return 0; }
    // [any-thread] no allocation; kept for compatibility (command 0x1f).
    virtual float compatFloatQuery() = 0;
    // [any-thread] called with the lock held; no allocation.
    virtual void setBypassWithDelay(float) {}
    // [any-thread] called with the lock held; no allocation.
    virtual int32_t setMute(float) { return 0; }
    // [any-thread] no allocation; kept for compatibility (command 0x24 with value 8).
    virtual int32_t compatQuery21() { return 0; }
    // [any-thread] no allocation; kept for compatibility (command 0x25).
    virtual int32_t compatQuery22() { return 1; }
    // [ui-thread] no allocation.
    virtual void editorIdle() {}

    // The dispatcher behind record.dispatcher: one handler per command, grouped by concern.
    // Exceptions pass through; the record's entry catches them.
    int32_t dispatch(int32_t command, void* arg, int32_t value);
    // Metered processing with bypass (the filter's path). Input samples that are not finite
    // numbers are replaced by 0 in the input arrays before metering and processing, so that
    // no engine's state is ever made of them. [audio-thread] no allocation.
    int32_t processMetered(AudioBuffers& buffers);
    // The record's process entry: as processMetered, and zeros instead of processing when muted.
    // [audio-thread] no allocation.
    int32_t processRecord(AudioBuffers& buffers);
    // Input samples replaced by 0 since the stream started (kCmdStart). [any-thread]
    int64_t nonFiniteInputSamples();
    // Loads from or saves to a store with its mode set to mode, under the lock; a foreign store
    // is seen through a StoreView. [ui-thread]
    enum class Exchange { Load, Save };
    void exchangeSettings(ParameterInterface* store, int32_t mode, Exchange direction);

    PluginRecord& record() { return record_; }
    static AudioPlugin* fromRecord(PluginRecord* r) { return r->self; }
    ParameterSet& parameters() { return *parameters_; }
    CRITICAL_SECTION& lock() { return lock_; }
    void setHost(HostCallback host, void* context);
    // Asks the host (0 when there is none).
    int32_t hostRequest(int32_t request, intptr_t a, void* b);

    bool isOpen() const { return open_; }
    bool isRunning() const { return running_; }
    int32_t sampleRate() const { return format_.sampleRate; }
    int32_t inputChannels() const { return format_.channels; }
    int32_t outputChannels() const { return outputChannels_; }
    int32_t openResult() const { return openResult_; }
    float bypassWithDelay() const { return bypassWithDelay_; }
    float mute() const { return mute_; }

    // [ui-thread] no allocation; before processing starts. Whether the host confines everything
    // that reaches the engine (settings, meter reads, processing) to one thread at a time, as an
    // LV2 host does by reading its ports inside run. An engine that takes the lock around every
    // frame may then run whole blocks without it. Off unless the host says so.
    void setEngineThreadConfined(bool confined) { engineThreadConfined_ = confined; }
    bool engineThreadConfined() const { return engineThreadConfined_; }
    // [ui-thread] no allocation; before processing starts. Off, processing meters neither the
    // input nor the output channels (their peaks and clip counts stay 0): for hosts that never
    // read them. On unless the host says otherwise.
    void setChannelMetering(bool on) { channelMetering_ = on; }

  private:
    using CommandHandler = int32_t (AudioPlugin::*)(int32_t command, void* arg, int32_t value);
    struct CommandRoute {
        int32_t command;
        CommandHandler handler;
    };
    // The handler of a command, or null for handleCommand.
    static CommandHandler handlerFor(int32_t command);

    // Lifecycle.
    int32_t onCloseAll(int32_t, void*, int32_t);
    int32_t onOpen(int32_t, void* arg, int32_t);
    int32_t onClose(int32_t, void*, int32_t);
    int32_t onStart(int32_t, void*, int32_t);
    int32_t onStop(int32_t, void*, int32_t);
    int32_t onSetBypass(int32_t, void*, int32_t value);
    int32_t onOpenResult(int32_t, void*, int32_t);
    // Format.
    int32_t onFormatChanged(int32_t, void* arg, int32_t);
    int32_t onCheckFormat(int32_t, void* arg, int32_t);
    int32_t onSampleRate(int32_t, void*, int32_t);
    int32_t onLatency(int32_t, void*, int32_t);
    int32_t onSetMaxBlockSize(int32_t, void*, int32_t value);
    // Meters and host values (under the lock).
    int32_t onMeter(int32_t command, void* arg, int32_t value);
    int32_t onSetHostValues(int32_t, void* arg, int32_t);
    int32_t onGetHostValues(int32_t, void* arg, int32_t);
    // Settings exchange.
    int32_t onSettings(int32_t command, void* arg, int32_t value);
    // Editor commands.
    int32_t onOpenEditor(int32_t, void*, int32_t);
    int32_t onCloseEditor(int32_t, void*, int32_t);
    int32_t onAttachEditor(int32_t, void* arg, int32_t);
    int32_t onForwardToEditor(int32_t command, void* arg, int32_t value);
    int32_t onEditorStore(int32_t command, void* arg, int32_t value);
    int32_t onEditorIdle(int32_t, void*, int32_t);
    // Queries kept for compatibility, and idle.
    int32_t onCompatQuery1e(int32_t, void*, int32_t);
    int32_t onCompatFloatQuery1f(int32_t, void* arg, int32_t);
    int32_t onCompatQuery21(int32_t, void*, int32_t);
    int32_t onCompatQuery24(int32_t, void*, int32_t value);
    int32_t onCompatQuery25(int32_t, void*, int32_t);
    int32_t onIdle(int32_t, void*, int32_t);

    void meter(ChannelMeters& meters, float* const* channels, int32_t channelCount, int32_t frames);
    // Replaces the non-finite samples of the stream's input channels by 0, counts them, then
    // meters the input. Takes the lock around the count and the meters.
    void takeInput(AudioBuffers& buffers, int32_t frames);
    void allocateMeters();
    void freeMeters();
    int32_t commandOpen(const OpenFormat& format);
    int32_t commandClose();
    int32_t commandFormatChanged(OpenFormat* format);
    void tellEditor(int32_t command, void* arg = nullptr, intptr_t value = 0);
    int32_t meterCommand(int32_t command, void* arg, int32_t value);

    PluginRecord record_{};
    ParameterSet* parameters_;
    HostCallback host_;
    void* hostContext_;
    CRITICAL_SECTION lock_;
    OpenFormat format_{44100, 2, 0};
    int32_t outputChannels_ = 2;
    int32_t openResult_ = 0;
    bool open_ = false;
    bool running_ = false;
    float bypassWithDelay_ = 0.0f;
    float mute_ = 0.0f;
    int32_t maxBlockSize_ = 8192;
    int64_t nonFiniteInputSamples_ = 0; // under lock_
    ChannelMeters inputMeters_;
    ChannelMeters outputMeters_;
    bool channelMetering_ = true;
    bool engineThreadConfined_ = false;
};

} // namespace orq
