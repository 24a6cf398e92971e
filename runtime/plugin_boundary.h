// The plug-in boundary: every number and plain record that crosses between a plug-in library
// and its hosts, editors and stores, under one name each. Dispatcher commands, status values,
// host requests, editor commands, record kinds, selection modes and parameter kinds live here;
// so do the plain records (PluginRecord, ParameterInterface) and the host callback.
//
// Thread tags on every function of a record: [audio-thread] the host's streaming thread,
// [ui-thread] the host's user-interface thread (or an editor's), [any-thread] either. Each
// also says whether it may allocate. No function of a record lets an exception out: every
// entry catches everything and answers the failure value given beside it.
//
// Where the meaning of a slot is not known beyond its default answer, its name says that it is
// kept for compatibility ("Compat") and carries its number.
#pragma once

#include <cstdint>

namespace orq {

class AudioBuffers;
class AudioPlugin;
class EditorInterface;
class ParameterSet;
struct PluginRecord;

// Status values -----------------------------------------------------------------------------
// 0 success, positive refusal, negative failure.
constexpr int32_t kStatusOk = 0;
constexpr int32_t kStatusRateRefused = 0x20031001;
constexpr int32_t kStatusChannelsRefused = 0x20031002;
constexpr int32_t kStatusFormatRateRefused = 0x20031008; // checkFormat's refusal of a rate
constexpr int32_t kStatusTailNotTaken = 0x20031009;
// Answers of operations a plug-in does not support: slot 5, slot 4, and processReplacing.
constexpr int32_t kStatusNotSupported0 = static_cast<int32_t>(0xdffceff0u);
constexpr int32_t kStatusNotSupported1 = static_cast<int32_t>(0xdffceff1u);
constexpr int32_t kStatusNotSupported5 = static_cast<int32_t>(0xdffceff5u);
// open's failure when the engine cannot be built (memory, or a design it refuses); the plug-in
// stays closed and processing passes the audio unchanged.
constexpr int32_t kStatusOpenFailed = -1;
// What a record entry answers when the plug-in failed inside it (an exception caught at the
// boundary): the dispatcher's status, and process's or processReplacing's frame count.
constexpr int32_t kStatusFailed = -1;

// Dispatcher commands ------------------------------------------------------------------------
enum Command : int32_t {
    kCmdCloseAll = 2, // the host's release of the plug-in: editor and engine closed, deleted
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
    kCmdCompatQuery1e = 0x1e,      // slot 17's answer
    kCmdCompatFloatQuery1f = 0x1f, // slot 18's float, written to the argument
    kCmdSetBypass = 0x20,
    kCmdCompatQuery21 = 0x21, // slot 14's answer
    kCmdOpenResult = 0x22,
    kCmdCompatQuery24 = 0x24, // slot 21's answer when the value is 8
    kCmdCompatQuery25 = 0x25, // slot 22's answer
    kCmdOpenEditor = 0x40,
    kCmdCloseEditor = 0x41,
    kCmdCompatEditorQuery42 = 0x42,  // forwards editor command 4
    kCmdCompatEditorNotify43 = 0x43, // forwards editor command 0xd
    kCmdCompatEditorNotify44 = 0x44, // forwards editor command 0xe
    kCmdEditorLoad = 0x45,           // forwards editor command 7
    kCmdEditorSave = 0x46,           // editor command 8, or a settings save without an editor
    kCmdAttachEditor = 0x47,
    kCmdEditorCopyValuesTo = 0x48, // forwards editor command 0x19
    kCmdEditorIdle = 0x49,
    kCmdIdle = 0x4a,
};
// Commands above this one go straight to the plug-in's handleCommand.
constexpr int32_t kCmdLastKnown = kCmdIdle;

// Editor commands (sent by the frame's dispatcher and by hosts) -------------------------------
enum EditorCommand : int32_t {
    kEdFormat = 2,
    kEdClose = 3,
    kEdCompatQuery04 = 4,
    kEdDestroy = 5,
    kEdFormatChanged = 6,
    kEdLoad = 7, // sets the argument store's mode to the value, then loads from it
    kEdSave = 8, // sets the argument store's mode to the value, then saves into it
    kEdHostValues = 9,
    kEdGetHostValues = 10,
    kEdStarted = 11,
    kEdStopped = 12,
    kEdCompatNotify0d = 13,
    kEdCompatNotify0e = 14,
    kEdAttachRecord = 0x16,
    kEdCompatOperation17 = 0x17,
    kEdProgramNumber = 0x18,
    kEdCopyValuesTo = 0x19,
    kEdProgramName = 0x1a,
    kEdTakeDirty = 0x1b,
    kEdAttachParent = 0x1c,
    kEdDetachParent = 0x1d,
    kEdMoveSize = 0x1e,
    kEdGetSize = 0x1f,
    kEdSetParent = 0x20,
};

// Host requests (the plug-in asks its host through the host callback) -----------------------
constexpr int32_t kRequestHostMode = 1; // answer kHostModeTakesTail: the host takes flushed tails
constexpr int32_t kRequestCompat03 = 3; // passed to the filter's own handler
constexpr int32_t kRequestTake = 4;     // b points to a TailRecord
constexpr int32_t kRequestCompat07 = 7; // the filter writes 0 to the argument
constexpr int32_t kRequestCompat08 = 8; // with value 1027 passed to the filter's own handler
constexpr int32_t kRequestCompat09 = 9; // the filter answers 1
constexpr int32_t kHostModeTakesTail = 2;

// Record kinds (PluginRecord::kind) ----------------------------------------------------------
// Processors are kind 1; kinds 2 and 4 change how a refused format change is handled (see
// AudioPlugin's format change); the analysers are kind 6.
constexpr int32_t kRecordKindProcessor = 1;
constexpr int32_t kRecordKindKeepsRunningOnRefusal = 2;
constexpr int32_t kRecordKindReopensOnRefusal = 4;
constexpr int32_t kRecordKindAnalyser = 6;
// Record flags (PluginRecord::flags): bit 0 is set by every plug-in; bit 3 or 4 selects the raw
// in-place path (the filter hands the PCM buffer as it is).
constexpr int32_t kRecordFlagPlugin = 0x1;
constexpr int32_t kRecordFlagsRawPath = 0x18;
// PluginRecord::blockHint and the parameter set's.
constexpr int32_t kRecordBlockHint = 4096;
// Kinds of a row of the host extension's plug-in table.
constexpr int32_t kVcKindProcessor = 1;
constexpr int32_t kVcKindAnalyser = 6;

// Selection modes of a parameter set; a mode i >= 0 selects parameter i alone ---------------
constexpr int32_t kModeAll = -4;
constexpr int32_t kModeChanged = -1;
constexpr int32_t kModeFrozen = -5;
constexpr int32_t kModePersisted = -2;
constexpr int32_t kModeUnnamed = -3;

// Parameter kinds as ParameterInfo reports them; 1 and 5 are further scalars stored as floats.
constexpr int32_t kKindScalar = 1;
constexpr int32_t kKindFloat = 2;
constexpr int32_t kKindArray = 4;
constexpr int32_t kKindScalarAlt = 5;
constexpr bool isScalarKind(int32_t kind) {
    return kind != kKindArray;
}

// Plain records ------------------------------------------------------------------------------

struct ParameterInfo {
    int32_t kind;
    float minimum;
    float maximum;
    float step;
    char unit[16];
    int32_t flag;
};

// The parameter-set interface: what hosts, stores, engines and editors call; hosts' stores
// implement the same record. A set of this library is used under its plug-in's lock ([ui-thread]
// for settings, [audio-thread] only inside the plug-in's own processing). A record that is not
// one of this library's sets ("foreign") is only ever used through these functions.
struct ParameterInterface {
    // [ui-thread] frees the set.
    void (*release)(ParameterInterface* self);
    // [ui-thread] allocates. Failure: null.
    ParameterInterface* (*clone)(ParameterInterface* self);
    // [any-thread] no allocation; kept for compatibility (answers 1). Failure: 0.
    int32_t (*compatQuery3)(ParameterInterface* self);
    // [ui-thread] may allocate (arrays that change size). A foreign other is copied by key.
    void (*copyFrom)(ParameterInterface* self, ParameterInterface* other);
    // [any-thread] no allocation. Failure: 0.
    int32_t (*isPersisted)(ParameterInterface* self, int32_t index);
    // [any-thread] no allocation. Failure: null.
    const char* (*keyName)(ParameterInterface* self, int32_t index);
    // [any-thread] no allocation; kept for compatibility. Failure: 0.
    int32_t (*compatSlot6)(ParameterInterface* self, int32_t index);
    // [any-thread] no allocation. Failure: info untouched.
    void (*getInfo)(ParameterInterface* self, int32_t index, ParameterInfo* info);
    // [any-thread] no allocation. Failure: 0.0.
    float (*getFloat)(ParameterInterface* self, int32_t index);
    // [any-thread] no allocation.
    void (*setFloat)(ParameterInterface* self, int32_t index, float value);
    // [any-thread] no allocation.
    void (*setArray)(ParameterInterface* self, int32_t index, const void* source, int32_t count);
    // [any-thread] no allocation.
    void (*getArray)(ParameterInterface* self, int32_t index, void* destination, int32_t count);
    // [any-thread] no allocation. Failure: -1 (not an array).
    int32_t (*arrayInfo)(ParameterInterface* self, int32_t index, int32_t* count,
                         int32_t* elementSize);
    // [any-thread] no allocation. Failure: 0.
    int32_t (*isSelected)(ParameterInterface* self, int32_t index);
    // [any-thread] no allocation. Failure: 0.
    int32_t (*isSelectedForWrite)(ParameterInterface* self, int32_t index);
    // [any-thread] no allocation.
    void (*setMode)(ParameterInterface* self, int32_t mode);
    // [any-thread] no allocation. Failure: kModeAll.
    int32_t (*getMode)(ParameterInterface* self);
    // The owning set. Meaningful only for this library's own sets: a foreign record's owner is
    // never followed (see ParameterSet::fromInterface).
    ParameterSet* owner;
};

// The host callback: (context, record, request, a, b) -> answer. [any-thread] the plug-in asks
// kRequestHostMode on the thread that destroys it or stops it, kRequestTake on the thread that
// stops it; the host decides whether it allocates.
using HostCallback = int32_t (*)(void* context, PluginRecord* record, int32_t request, intptr_t a,
                                 void* b);

// Request 4's argument: flushed audio handed to the host.
struct TailRecord {
    float** buffers;
    int32_t frames;
    int32_t channels;
    int32_t reserved;
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
    // [ui-thread] (start, stop and the format also from the streaming thread; meters and host
    // values from any thread under the plug-in's lock) may allocate (open, editors, meter rings).
    // Failure: kStatusFailed.
    int32_t (*dispatcher)(PluginRecord* record, int32_t command, void* arg, int32_t value);
    // [audio-thread] no allocation. Frames produced, or kStatusFailed.
    int32_t (*process)(PluginRecord* record, AudioBuffers* buffers);
    // [audio-thread] no allocation. Frames produced, or kStatusFailed (also for any negative
    // answer of the plug-in).
    int32_t (*processReplacing)(PluginRecord* record, AudioBuffers* buffers);
    // [ui-thread] may allocate (an engine may rebuild). Failure: the settings stay as they were
    // as far as the plug-in got.
    void (*loadFromStore)(PluginRecord* record, ParameterInterface* store, int32_t value);
    // [ui-thread] no allocation in the plug-in; the store may allocate.
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

// The plain record of an editor: what create-editor answers (as void*) and what the lParam of
// WM_USER + 2 points to. Hosts drive an editor only through dispatch with the EditorCommand
// numbers; object is the editor itself, opaque to hosts.
struct EditorRecord {
    uint32_t magic; // kEditorRecordMagic
    // [ui-thread] (started, stopped and host values also from the streaming thread) may allocate
    // (kEdFormat starts the editor's thread and builds its windows). Failure: 0.
    intptr_t (*dispatch)(EditorRecord* self, int32_t command, void* arg, intptr_t value);
    void* object;
};
constexpr uint32_t kEditorRecordMagic = fourCC("OrqE"); // 0x4f727145

// Runs body at a boundary entry: whatever it throws becomes failure. The interfaces give no
// room for more than the failure value, so that is what the caller learns.
template <class Result, class Body> Result answerOrFailure(Result failure, Body&& body) noexcept {
    try {
        return body();
    } catch (...) {
        return failure;
    }
}
// For entries without a result: whatever body throws ends the call, nothing else.
template <class Body> void runOrStop(Body&& body) noexcept {
    try {
        body();
    } catch (...) {
    }
}

} // namespace orq
