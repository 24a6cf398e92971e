// The plug-in base: its record (the handle a host holds), command dispatcher, lock, meters and
// the engine interface every plug-in implements.
#pragma once

#include "runtime/audio_buffers.h"
#include "runtime/parameter_set.h"

#include <windows.h>

#include <cstdint>
#include <vector>

namespace orq {

class AudioPlugin;
struct PluginRecord;
class EditorInterface;

// Status values at the plug-in boundary: 0 success, positive refusal, negative failure.
constexpr int32_t kStatusRateRefused = 0x20031001;
constexpr int32_t kStatusChannelsRefused = 0x20031002;
constexpr int32_t kStatusFormatRateRefused = 0x20031008; // checkFormat's refusal of a rate
constexpr int32_t kStatusTailNotTaken = 0x20031009;
constexpr int32_t kStatusNotSupported0 = static_cast<int32_t>(0xdffceff0u);
constexpr int32_t kStatusNotSupported1 = static_cast<int32_t>(0xdffceff1u);
constexpr int32_t kStatusNotSupported5 = static_cast<int32_t>(0xdffceff5u);

// Host callback: (context, record, request, a, b) -> answer.
using HostCallback = int32_t (*)(void* context, PluginRecord* record, int32_t request, intptr_t a,
                                 void* b);
constexpr int32_t kRequestHostMode = 1; // answer 2: the host takes flushed tails
constexpr int32_t kRequestTake = 4;     // b points to a TailRecord
constexpr int32_t kHostModeTakesTail = 2;

// Request 4's argument: flushed audio handed to the host.
struct TailRecord {
    float** buffers;
    int32_t frames;
    int32_t channels;
    int32_t reserved;
};

// Dispatcher command numbers.
enum Command : int32_t {
    kCmdCloseAll = 2,
    kCmdOpen = 3,
    kCmdClose = 4,
    kCmdFormatChanged = 5,
    kCmdStart = 6,
    kCmdStop = 7,
    kCmdLatency = 8,
    kCmdSetMaxBlockSize = 9,
    kCmdSampleRate = 0xc,
    kCmdSaveSettings = 0xd,
    kCmdLoadSettings = 0xe,
    kCmdReadInputPeaks = 0xf,
    kCmdReadInputClips = 0x10,
    kCmdEnableInputRing = 0x11,
    kCmdDisableInputRing = 0x12,
    kCmdEnableInputClips = 0x13,
    kCmdDisableInputClips = 0x14,
    kCmdReadOutputPeaks = 0x15,
    kCmdReadOutputClips = 0x16,
    kCmdEnableOutputRing = 0x17,
    kCmdDisableOutputRing = 0x18,
    kCmdEnableOutputClips = 0x19,
    kCmdDisableOutputClips = 0x1a,
    kCmdSetHostValues = 0x1b,
    kCmdGetHostValues = 0x1c,
    kCmdCheckFormat = 0x1d,
    kCmdQuery17 = 0x1e,
    kCmdFloatQuery = 0x1f,
    kCmdSetBypass = 0x20,
    kCmdQuery14 = 0x21,
    kCmdOpenResult = 0x22,
    kCmdQuery21 = 0x24,
    kCmdQuery22 = 0x25,
    kCmdOpenEditor = 0x40,
    kCmdCloseEditor = 0x41,
    kCmdEditorQuery = 0x42,
    kCmdEditor0d = 0x43,
    kCmdEditor0e = 0x44,
    kCmdEditorLoad = 0x45,
    kCmdEditorSave = 0x46,
    kCmdAttachEditor = 0x47,
    kCmdEditor19 = 0x48,
    kCmdEditorIdle = 0x49,
    kCmdIdle = 0x4a,
};

// {checkFormat arguments}: the argument of command 0x1d.
struct CheckFormatArgs {
    int32_t channels;
    int32_t outputChannels;
    int32_t sampleRate;
    int32_t extra;
};

// The plain record at a fixed place inside every plug-in; fields in contract order.
struct PluginRecord {
    int32_t kind;
    int32_t (*dispatcher)(PluginRecord* record, int32_t command, void* arg, int32_t value);
    int32_t (*process)(PluginRecord* record, AudioBuffers* buffers);
    int32_t (*processReplacing)(PluginRecord* record, AudioBuffers* buffers);
    void (*loadFromStore)(PluginRecord* record, ParameterInterface* store, int32_t value);
    void (*saveToStore)(PluginRecord* record, ParameterInterface* store, int32_t value);
    AudioPlugin* plugin;
    EditorInterface* editor;
    ParameterInterface* parameters;
    int32_t bypass;
    int32_t flags;
    AudioPlugin* self;
    int32_t blockHint;
    uint32_t uniqueId;
    char name[40];
};

constexpr uint32_t fourCC(const char (&code)[5]) {
    return (uint32_t(uint8_t(code[0])) << 24) | (uint32_t(uint8_t(code[1])) << 16) |
           (uint32_t(uint8_t(code[2])) << 8) | uint32_t(uint8_t(code[3]));
}

// Editors implement this later; the frame only forwards editor commands to it.
class EditorInterface {
  public:
    virtual ~EditorInterface() = default;
    virtual intptr_t command(int32_t command, void* arg, intptr_t value) = 0;
};
// Editor command numbers the frame sends.
enum EditorCommand : int32_t {
    kEdFormat = 2,
    kEdClose = 3,
    kEdDestroy = 5,
    kEdFormatChanged = 6,
    kEdHostValues = 9,
    kEdStarted = 11,
    kEdStopped = 12,
    kEdAttachRecord = 0x16,
};

// Identity of a plug-in, given once by each plug-in class.
struct PluginIdentity {
    int32_t kind;      // record kind (1 compressor; 2 and 4 change refused-format handling)
    uint32_t uniqueId; // four-character code
    const char* name;  // display name
    int32_t flags = 1; // bit 0 always; 0x18 selects the raw in-place path
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
    AudioPlugin(const PluginIdentity& identity, ParameterSet* parameters, HostCallback host,
                void* hostContext);

    // Engine interface in slot order.
    virtual int32_t handleCommand(int32_t command, void* arg, int32_t value);
    virtual ~AudioPlugin();
    // [audio-thread] takes the plug-in's lock itself (around the whole call, or per sample);
    // the frame holds it only around metering. CRITICAL_SECTION is recursive.
    virtual int32_t process(AudioBuffers& buffers) = 0;
    virtual int32_t processReplacing(AudioBuffers& buffers) = 0;
    virtual int32_t reserved4() { return kStatusNotSupported1; }
    virtual int32_t reserved5() { return kStatusNotSupported0; }
    // [ui-thread] called with the lock held.
    virtual void loadSettings(ParameterInterface* store) = 0;
    virtual void saveSettings(ParameterInterface* store) = 0;
    virtual void idle() {}
    // [ui-thread] may allocate.
    virtual int32_t open(OpenFormat& format) = 0;
    virtual int32_t close() = 0;
    virtual int32_t start() = 0;
    virtual int32_t stop() = 0;
    virtual int32_t checkFormat(int32_t channels, int32_t* outputChannels, int32_t* sampleRate,
                                int32_t* extra) = 0;
    virtual int32_t query14() { return 0; }
    virtual void setMaxBlockSize(int32_t) {}
    virtual int32_t latency() = 0;
    virtual int32_t query17() { return 0; }
    virtual float floatQuery() = 0;
    virtual void setBypassWithDelay(float) {}
    virtual int32_t setMute(float) { return 0; }
    virtual int32_t query21() { return 0; }
    virtual int32_t query22() { return 1; }
    virtual void editorIdle() {}

    // The dispatcher behind record.dispatcher.
    int32_t dispatch(int32_t command, void* arg, int32_t value);
    // Metered processing with bypass (the filter's path). [audio-thread]
    int32_t processMetered(AudioBuffers& buffers);
    // The record's process entry: as processMetered, and zeros instead of processing when muted.
    int32_t processRecord(AudioBuffers& buffers);

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

  private:
    void meter(ChannelMeters& meters, float* const* channels, int32_t channelCount, int32_t frames);
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
    ChannelMeters inputMeters_;
    ChannelMeters outputMeters_;
};

} // namespace orq
