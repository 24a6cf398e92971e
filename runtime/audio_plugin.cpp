#include "runtime/audio_plugin.h"

#include "runtime/host_extension.h"
#include "runtime/live_objects.h"
#include "runtime/plugin_glue.h"
#include "runtime/sample_conversion.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
#include <span>

namespace orq {

namespace {

// The record's entries: nothing the plug-in throws gets past them.
int32_t dispatcherEntry(PluginRecord* r, int32_t command, void* arg, int32_t value) noexcept {
    return answerOrFailure(kStatusFailed, [&] { return r->self->dispatch(command, arg, value); });
}
int32_t processEntry(PluginRecord* r, AudioBuffers* b) noexcept {
    if (b == nullptr) return kStatusFailed;
    return answerOrFailure(kStatusFailed, [&] { return r->self->processRecord(*b); });
}
int32_t processReplacingEntry(PluginRecord* r, AudioBuffers* b) noexcept {
    if (b == nullptr) return kStatusFailed;
    // The raw path hands 32-bit output here.
    return answerOrFailure(kStatusFailed, [&] {
        const int32_t produced = r->self->processReplacing(*b);
        return produced < 0 ? kStatusFailed : produced;
    });
}
// A host's load or save: the store's mode is set to value for the exchange and to "changed"
// afterwards, also when the plug-in failed.
void storeEntry(PluginRecord* r, ParameterInterface* store, int32_t value,
                AudioPlugin::Exchange direction) noexcept {
    if (store == nullptr) return;
    runOrStop([&] { r->self->exchangeSettings(store, value, direction); });
    runOrStop([&] { store->setMode(store, kModeChanged); });
}
void loadFromStoreEntry(PluginRecord* r, ParameterInterface* store, int32_t value) noexcept {
    storeEntry(r, store, value, AudioPlugin::Exchange::Load);
}
void saveToStoreEntry(PluginRecord* r, ParameterInterface* store, int32_t value) noexcept {
    storeEntry(r, store, value, AudioPlugin::Exchange::Save);
}

} // namespace

AudioPlugin::AudioPlugin(const PluginIdentity& identity, ParameterSet* parameters,
                         HostCallback host, void* hostContext)
    : parameters_(parameters), host_(host), hostContext_(hostContext) {
    InitializeCriticalSection(&lock_);
    record_.kind = identity.kind;
    record_.dispatcher = dispatcherEntry;
    record_.process = processEntry;
    record_.processReplacing = processReplacingEntry;
    record_.loadFromStore = loadFromStoreEntry;
    record_.saveToStore = saveToStoreEntry;
    record_.plugin = this;
    record_.editor = nullptr;
    record_.parameters = nullptr;
    record_.bypass = 0;
    record_.flags = identity.flags | kRecordFlagPlugin;
    record_.self = this;
    record_.blockHint = kRecordBlockHint;
    record_.uniqueId = identity.uniqueId;
    std::strncpy(record_.name, identity.name, sizeof record_.name - 1);
    objectCreated(LiveKind::Plugin);
}

AudioPlugin::~AudioPlugin() {
    // Each step runs whatever the one before it threw: a destructor lets nothing out.
    runOrStop([&] {
        if (record_.editor != nullptr) onCloseEditor(kCmdCloseEditor, nullptr, 0);
    });
    // In a host that takes no tails, the next instance starts with this one's values.
    runOrStop([&] {
        if (ParameterSet* defaults = defaultParameterSet();
            defaults != nullptr && parameters_ != nullptr &&
            hostRequest(kRequestHostMode, 0, nullptr) != kHostModeTakesTail)
            defaults->copyFrom(parameters_->iface());
    });
    runOrStop([&] {
        if (parameters_ != nullptr) parameters_->release();
    });
    DeleteCriticalSection(&lock_);
    objectDestroyed(LiveKind::Plugin);
}

int32_t AudioPlugin::handleCommand(int32_t, void*, int32_t) {
    return 0;
}

void AudioPlugin::setHost(HostCallback host, void* context) {
    host_ = host;
    hostContext_ = context;
}

int32_t AudioPlugin::hostRequest(int32_t request, intptr_t a, void* b) {
    return host_ != nullptr ? host_(hostContext_, &record_, request, a, b) : 0;
}

namespace {
intptr_t dispatchEditor(EditorRecord* self, int32_t command, void* arg, intptr_t value) noexcept {
    return answerOrFailure<intptr_t>(0, [&]() -> intptr_t {
        EditorInterface* editor = EditorInterface::fromRecord(self);
        return editor != nullptr ? editor->command(command, arg, value) : 0;
    });
}
} // namespace

EditorInterface::EditorInterface() : boundary_{kEditorRecordMagic, &dispatchEditor, this} {}

EditorInterface::~EditorInterface() {
    boundary_.magic = 0;
    boundary_.object = nullptr;
}

EditorInterface* EditorInterface::fromRecord(EditorRecord* record) {
    if (record == nullptr || record->magic != kEditorRecordMagic) return nullptr;
    return static_cast<EditorInterface*>(record->object);
}

void AudioPlugin::tellEditor(int32_t command, void* arg, intptr_t value) {
    if (record_.editor != nullptr) record_.editor->command(command, arg, value);
}

// Meters ------------------------------------------------------------------------------------------

void AudioPlugin::allocateMeters() {
    for (auto* m : {&inputMeters_, &outputMeters_}) {
        const int32_t channels = m == &inputMeters_ ? format_.channels : outputChannels_;
        m->peaks.assign(size_t(std::max(channels, 0)), 0.0f);
        m->clips.assign(size_t(std::max(channels, 0)), 0);
        if (!m->rings.empty()) {
            m->rings.assign(size_t(std::max(channels, 0)),
                            std::vector<float>(size_t(maxBlockSize_), 0.0f));
            m->ringIndex.assign(m->rings.size(), 0);
        }
    }
}

void AudioPlugin::freeMeters() {
    for (auto* m : {&inputMeters_, &outputMeters_}) {
        m->peaks.clear();
        m->clips.clear();
    }
}

void AudioPlugin::meter(ChannelMeters& m, float* const* channels, int32_t channelCount,
                        int32_t frames) {
    if (!channelMetering_) return;
    const int32_t metered = std::min(channelCount, int32_t(m.peaks.size()));
    const bool rings = !m.rings.empty();
    for (int32_t c = 0; c < metered; ++c) {
        const float* x = channels[c];
        float peak = m.peaks[size_t(c)];
        int32_t clips = 0;
        if (rings && !m.rings[size_t(c)].empty()) {
            // The value a new sample overwrites in the ring is the one metered.
            std::vector<float>& ring = m.rings[size_t(c)];
            int32_t& index = m.ringIndex[size_t(c)];
            const int32_t length = int32_t(ring.size());
            for (int32_t i = 0; i < frames; ++i) {
                const float v = ring[size_t(index)];
                ring[size_t(index)] = x[i];
                if (++index >= length) index = 0;
                peak = std::max(peak, std::fabs(v));
                clips += (v < -1.0f || v > 1.0f) ? 1 : 0;
            }
        } else {
            const PeakAndOvers block = peakAndOvers(x, frames);
            peak = std::max(peak, block.peak);
            clips = block.overs;
        }
        m.peaks[size_t(c)] = peak;
        if (m.clipCounting) m.clips[size_t(c)] += clips;
    }
}

int32_t AudioPlugin::meterCommand(int32_t command, void* arg, int32_t value) {
    const bool input = command <= kCmdDisableInputClips;
    ChannelMeters& m = input ? inputMeters_ : outputMeters_;
    switch (command) {
    case kCmdReadInputPeaks:
    case kCmdReadOutputPeaks:
        if (arg != nullptr) std::copy(m.peaks.begin(), m.peaks.end(), static_cast<float*>(arg));
        std::fill(m.peaks.begin(), m.peaks.end(), 0.0f);
        return int32_t(m.peaks.size());
    case kCmdReadInputClips:
    case kCmdReadOutputClips:
        if (arg != nullptr) std::copy(m.clips.begin(), m.clips.end(), static_cast<int32_t*>(arg));
        std::fill(m.clips.begin(), m.clips.end(), 0);
        return int32_t(m.clips.size());
    case kCmdEnableInputRing:
    case kCmdEnableOutputRing: {
        const int32_t previous = m.rings.empty() ? 0 : 1;
        const size_t channels =
            m.peaks.empty() ? size_t(input ? format_.channels : outputChannels_) : m.peaks.size();
        if (m.rings.empty() || value != 0) {
            m.rings.assign(channels, std::vector<float>(size_t(maxBlockSize_), 0.0f));
            m.ringIndex.assign(channels, 0);
        }
        return previous;
    }
    case kCmdDisableInputRing:
    case kCmdDisableOutputRing: {
        const int32_t previous = m.rings.empty() ? 0 : 1;
        m.rings.clear();
        m.ringIndex.clear();
        return previous;
    }
    case kCmdEnableInputClips:
    case kCmdEnableOutputClips: {
        const int32_t previous = m.clipPermanent ? -1 : (m.clipCounting ? 1 : 0);
        m.clipCounting = true;
        if (value != 0) m.clipPermanent = true;
        std::fill(m.clips.begin(), m.clips.end(), 0);
        return previous;
    }
    case kCmdDisableInputClips:
    case kCmdDisableOutputClips: {
        const int32_t previous = m.clipPermanent ? -1 : (m.clipCounting ? 1 : 0);
        if (!m.clipPermanent) m.clipCounting = false;
        return previous;
    }
    default:
        return 0;
    }
}

// Processing
// ---------------------------------------------------------------------------------------

void AudioPlugin::takeInput(AudioBuffers& buffers, int32_t frames) {
    float** in = buffers.inputs();
    // The format may change on another thread: read it under the lock.
    ScopedLock lock(lock_);
    // The block may hold more channels than the stream has; the others are not the stream's.
    const int32_t channels = std::min(format_.channels, buffers.inputChannels);
    for (int32_t c = 0; c < channels; ++c)
        nonFiniteInputSamples_ += replaceNonFinite(in[c], frames);
    meter(inputMeters_, in, buffers.inputChannels, frames);
}

int64_t AudioPlugin::nonFiniteInputSamples() {
    ScopedLock lock(lock_);
    return nonFiniteInputSamples_;
}

int32_t AudioPlugin::processMetered(AudioBuffers& buffers) {
    const int32_t frames = buffers.frames;
    takeInput(buffers, frames);
    int32_t produced = frames;
    if (record_.bypass == 0) {
        produced = process(buffers);
        if (produced < 0) return produced;
    } else {
        float** in = buffers.inputs();
        float** out = buffers.outputs();
        ScopedLock lock(lock_);
        const int32_t channels = std::min(format_.channels, buffers.inputChannels);
        if (out != in)
            for (int32_t c = 0; c < std::min(channels, buffers.outputChannels); ++c)
                std::memcpy(out[c], in[c], size_t(frames) * sizeof(float));
        for (int32_t c = channels; c < std::min(outputChannels_, buffers.outputChannels); ++c)
            std::memcpy(out[c], out[0], size_t(frames) * sizeof(float));
    }
    {
        ScopedLock lock(lock_);
        meter(outputMeters_, buffers.outputs(), buffers.outputChannels, produced);
    }
    return produced;
}

int32_t AudioPlugin::processRecord(AudioBuffers& buffers) {
    // Raw interleaved PCM is the plug-in's own business: no float metering.
    if (buffers.isRaw()) return process(buffers);
    if (mute_ == 0.0f) return processMetered(buffers);
    const int32_t frames = buffers.frames;
    takeInput(buffers, frames);
    for (int32_t c = 0; c < buffers.outputChannels; ++c)
        std::memset(buffers.outputs()[c], 0, size_t(frames) * sizeof(float));
    {
        ScopedLock lock(lock_);
        meter(outputMeters_, buffers.outputs(), buffers.outputChannels, frames);
    }
    return frames;
}

// Commands
// -----------------------------------------------------------------------------------------

int32_t AudioPlugin::commandOpen(const OpenFormat& requested) {
    if (open_) commandClose();
    OpenFormat f = requested;
    parameters_->setMode(kModeAll);
    openResult_ = kStatusOpenFailed; // stays so when open throws
    const int32_t result = open(f);
    openResult_ = result;
    if (result != 0) return result;
    int32_t out = f.channels, rate = f.sampleRate, extra = 0;
    checkFormat(f.channels, &out, &rate, &extra);
    {
        // Processing on the streaming thread reads the format under the lock.
        ScopedLock lock(lock_);
        format_ = f;
        outputChannels_ = out > 0 ? out : f.channels;
        allocateMeters();
    }
    open_ = true;
    record_.parameters = parameters_->iface();
    return result;
}

int32_t AudioPlugin::commandClose() {
    if (!open_) return 0;
    {
        ScopedLock lock(lock_);
        saveSettings(parameters_->iface());
    }
    if (running_) {
        tellEditor(kEdStopped);
        running_ = false;
        if (record_.bypass == 0) stop();
    }
    close();
    {
        ScopedLock lock(lock_);
        freeMeters();
    }
    open_ = false;
    return 0;
}

int32_t AudioPlugin::commandFormatChanged(OpenFormat* f) {
    if (f == nullptr) return openResult_;
    if (open_ && record_.bypass == 0 && f->sampleRate == format_.sampleRate &&
        f->channels == format_.channels && f->extra == format_.extra) {
        *f = format_;
        return openResult_;
    }
    int32_t out = f->channels, rate = f->sampleRate, extra = 0;
    int32_t result = checkFormat(f->channels, &out, &rate, &extra);
    if (result != 0) {
        if (record_.kind == kRecordKindReopensOnRefusal) {
            commandClose();
            if (commandOpen(*f) != 0) record_.bypass = 1;
        } else if (record_.kind != kRecordKindKeepsRunningOnRefusal) {
            record_.bypass = 1;
        }
        return result;
    }
    // A running stream keeps running in the new format.
    const bool wasRunning = running_;
    commandClose();
    result = commandOpen(*f);
    if (result != 0 && record_.kind != kRecordKindKeepsRunningOnRefusal) record_.bypass = 1;
    tellEditor(kEdFormatChanged, f);
    running_ = wasRunning;
    if (running_ && record_.bypass == 0) {
        start();
        tellEditor(kEdStarted);
    }
    return result;
}

// Dispatch --------------------------------------------------------------------------------------

AudioPlugin::CommandHandler AudioPlugin::handlerFor(int32_t command) {
    static constexpr CommandRoute kLifecycle[] = {
        {kCmdCloseAll, &AudioPlugin::onCloseAll},
        {kCmdOpen, &AudioPlugin::onOpen},
        {kCmdClose, &AudioPlugin::onClose},
        {kCmdStart, &AudioPlugin::onStart},
        {kCmdStop, &AudioPlugin::onStop},
        {kCmdSetBypass, &AudioPlugin::onSetBypass},
        {kCmdOpenResult, &AudioPlugin::onOpenResult},
    };
    static constexpr CommandRoute kFormat[] = {
        {kCmdFormatChanged, &AudioPlugin::onFormatChanged},
        {kCmdCheckFormat, &AudioPlugin::onCheckFormat},
        {kCmdSampleRate, &AudioPlugin::onSampleRate},
        {kCmdLatency, &AudioPlugin::onLatency},
        {kCmdSetMaxBlockSize, &AudioPlugin::onSetMaxBlockSize},
    };
    static constexpr CommandRoute kMeters[] = {
        {kCmdReadInputPeaks, &AudioPlugin::onMeter},
        {kCmdReadInputClips, &AudioPlugin::onMeter},
        {kCmdEnableInputRing, &AudioPlugin::onMeter},
        {kCmdDisableInputRing, &AudioPlugin::onMeter},
        {kCmdEnableInputClips, &AudioPlugin::onMeter},
        {kCmdDisableInputClips, &AudioPlugin::onMeter},
        {kCmdReadOutputPeaks, &AudioPlugin::onMeter},
        {kCmdReadOutputClips, &AudioPlugin::onMeter},
        {kCmdEnableOutputRing, &AudioPlugin::onMeter},
        {kCmdDisableOutputRing, &AudioPlugin::onMeter},
        {kCmdEnableOutputClips, &AudioPlugin::onMeter},
        {kCmdDisableOutputClips, &AudioPlugin::onMeter},
        {kCmdSetHostValues, &AudioPlugin::onSetHostValues},
        {kCmdGetHostValues, &AudioPlugin::onGetHostValues},
    };
    static constexpr CommandRoute kSettingsExchange[] = {
        {kCmdSaveSettings, &AudioPlugin::onSettings},
        {kCmdLoadSettings, &AudioPlugin::onSettings},
    };
    static constexpr CommandRoute kEditor[] = {
        {kCmdOpenEditor, &AudioPlugin::onOpenEditor},
        {kCmdCloseEditor, &AudioPlugin::onCloseEditor},
        {kCmdAttachEditor, &AudioPlugin::onAttachEditor},
        {kCmdCompatEditorQuery42, &AudioPlugin::onForwardToEditor},
        {kCmdCompatEditorNotify43, &AudioPlugin::onForwardToEditor},
        {kCmdCompatEditorNotify44, &AudioPlugin::onForwardToEditor},
        {kCmdEditorCopyValuesTo, &AudioPlugin::onForwardToEditor},
        {kCmdEditorLoad, &AudioPlugin::onEditorStore},
        {kCmdEditorSave, &AudioPlugin::onEditorStore},
        {kCmdEditorIdle, &AudioPlugin::onEditorIdle},
    };
    static constexpr CommandRoute kQueries[] = {
        {kCmdCompatQuery1e, &AudioPlugin::onCompatQuery1e},
        {kCmdCompatFloatQuery1f, &AudioPlugin::onCompatFloatQuery1f},
        {kCmdCompatQuery21, &AudioPlugin::onCompatQuery21},
        {kCmdCompatQuery24, &AudioPlugin::onCompatQuery24},
        {kCmdCompatQuery25, &AudioPlugin::onCompatQuery25},
        {kCmdIdle, &AudioPlugin::onIdle},
    };
    using Table = std::array<CommandHandler, size_t(kCmdLastKnown) + 1>;
    static const Table kTable = [] {
        Table table{};
        for (std::span<const CommandRoute> group :
             {std::span<const CommandRoute>(kLifecycle), std::span<const CommandRoute>(kFormat),
              std::span<const CommandRoute>(kMeters),
              std::span<const CommandRoute>(kSettingsExchange),
              std::span<const CommandRoute>(kEditor), std::span<const CommandRoute>(kQueries)})
            for (const CommandRoute& route : group)
                table[size_t(route.command)] = route.handler;
        return table;
    }();
    return command >= 0 && command <= kCmdLastKnown ? kTable[size_t(command)] : nullptr;
}

int32_t AudioPlugin::dispatch(int32_t command, void* arg, int32_t value) {
    const CommandHandler handler = handlerFor(command);
    return handler != nullptr ? (this->*handler)(command, arg, value)
                              : handleCommand(command, arg, value);
}

// Lifecycle ------------------------------------------------------------------------------------

int32_t AudioPlugin::onCloseAll(int32_t, void*, int32_t) {
    // The host's release of the plug-in: editor closed, engine closed, object deleted. The
    // object goes whatever closing threw, since the host lets go of it in any case.
    bool closed = true;
    runOrStop([&] {
        closed = false;
        onCloseEditor(kCmdCloseEditor, nullptr, 0);
        commandClose();
        closed = true;
    });
    delete this;
    return closed ? kStatusOk : kStatusFailed;
}

int32_t AudioPlugin::onOpen(int32_t, void* arg, int32_t) {
    return arg != nullptr ? commandOpen(*static_cast<OpenFormat*>(arg)) : openResult_;
}

int32_t AudioPlugin::onClose(int32_t, void*, int32_t) {
    return commandClose();
}

int32_t AudioPlugin::onStart(int32_t, void*, int32_t) {
    if (!running_) {
        {
            ScopedLock lock(lock_);
            nonFiniteInputSamples_ = 0;
        }
        if (record_.bypass == 0) {
            start();
            tellEditor(kEdStarted);
        }
        running_ = true;
    }
    return kStatusOk;
}

int32_t AudioPlugin::onStop(int32_t, void*, int32_t) {
    int32_t result = kStatusOk;
    if (running_) {
        tellEditor(kEdStopped);
        running_ = false;
        if (record_.bypass == 0) result = stop();
    }
    return result;
}

int32_t AudioPlugin::onSetBypass(int32_t, void*, int32_t value) {
    const int32_t previous = record_.bypass;
    record_.bypass = value;
    if (value != 0 && previous == 0) {
        if (running_) {
            stop();
            tellEditor(kEdStopped);
        }
    } else if (value == 0 && previous != 0) {
        if (running_) {
            start();
            tellEditor(kEdStarted);
        } else {
            stop();
            tellEditor(kEdStopped);
        }
    }
    return kStatusOk;
}

int32_t AudioPlugin::onOpenResult(int32_t, void*, int32_t) {
    return openResult_;
}

// Format ---------------------------------------------------------------------------------------

int32_t AudioPlugin::onFormatChanged(int32_t, void* arg, int32_t) {
    return commandFormatChanged(static_cast<OpenFormat*>(arg));
}

int32_t AudioPlugin::onCheckFormat(int32_t, void* arg, int32_t) {
    auto* a = static_cast<CheckFormatArgs*>(arg);
    if (a == nullptr) return 0;
    return checkFormat(a->channels, &a->outputChannels, &a->sampleRate, &a->extra);
}

int32_t AudioPlugin::onSampleRate(int32_t, void*, int32_t) {
    return format_.sampleRate;
}

int32_t AudioPlugin::onLatency(int32_t, void*, int32_t) {
    return record_.bypass == 0 ? latency() : 0;
}

int32_t AudioPlugin::onSetMaxBlockSize(int32_t, void*, int32_t value) {
    ScopedLock lock(lock_);
    maxBlockSize_ = value > 0 ? value : maxBlockSize_;
    for (auto* m : {&inputMeters_, &outputMeters_})
        if (!m->rings.empty()) {
            for (auto& ring : m->rings)
                ring.assign(size_t(maxBlockSize_), 0.0f);
            std::fill(m->ringIndex.begin(), m->ringIndex.end(), 0);
        }
    setMaxBlockSize(value);
    return kStatusOk;
}

// Meters and host values -----------------------------------------------------------------------

int32_t AudioPlugin::onMeter(int32_t command, void* arg, int32_t value) {
    ScopedLock lock(lock_);
    return meterCommand(command, arg, value);
}

int32_t AudioPlugin::onSetHostValues(int32_t, void* arg, int32_t) {
    ScopedLock lock(lock_);
    auto* values = static_cast<float*>(arg);
    if (values == nullptr) return 0;
    if (values[0] != bypassWithDelay_) {
        bypassWithDelay_ = values[0];
        setBypassWithDelay(bypassWithDelay_);
    }
    if (values[1] != mute_) {
        mute_ = values[1];
        setMute(mute_);
    }
    tellEditor(kEdHostValues, arg);
    return 0;
}

int32_t AudioPlugin::onGetHostValues(int32_t, void* arg, int32_t) {
    ScopedLock lock(lock_);
    if (auto* values = static_cast<float*>(arg)) {
        values[0] = bypassWithDelay_;
        values[1] = mute_;
    }
    return int32_t(bypassWithDelay_ + 2.0f * mute_);
}

// Settings exchange ----------------------------------------------------------------------------

void AudioPlugin::exchangeSettings(ParameterInterface* store, int32_t mode, Exchange direction) {
    StoreView view(*parameters_, store);
    ParameterInterface* seen = view.iface();
    seen->setMode(seen, mode);
    ScopedLock lock(lock_);
    if (direction == Exchange::Load)
        loadSettings(seen);
    else
        saveSettings(seen);
}

int32_t AudioPlugin::onSettings(int32_t command, void* arg, int32_t value) {
    auto* store = static_cast<ParameterInterface*>(arg);
    if (store == nullptr) return 0;
    exchangeSettings(store, value, command == kCmdSaveSettings ? Exchange::Save : Exchange::Load);
    return 1;
}

// Editor commands ------------------------------------------------------------------------------

int32_t AudioPlugin::onOpenEditor(int32_t, void* arg, int32_t) {
    // The argument is the editor factory (the create-editor creator); the editor starts from
    // the plug-in's set.
    auto factory = reinterpret_cast<CreateEditorFn>(arg);
    if (factory == nullptr) return 0;
    if (record_.editor != nullptr) onCloseEditor(kCmdCloseEditor, nullptr, 0);
    EditorInterface* editor =
        EditorInterface::fromRecord(static_cast<EditorRecord*>(factory(parameters_->iface())));
    if (editor == nullptr) return 0;
    editor->command(kEdAttachRecord, &record_, 0);
    int32_t format[2] = {format_.sampleRate, format_.channels};
    editor->command(kEdFormat, format, 0);
    record_.editor = editor;
    return 1;
}

int32_t AudioPlugin::onCloseEditor(int32_t, void*, int32_t) {
    if (record_.editor != nullptr) {
        EditorInterface* editor = record_.editor;
        editor->command(kEdClose, nullptr, 0);
        record_.editor = nullptr;
        editor->command(kEdDestroy, nullptr, 0);
    }
    return 0;
}

int32_t AudioPlugin::onAttachEditor(int32_t, void* arg, int32_t) {
    record_.editor = EditorInterface::fromRecord(static_cast<EditorRecord*>(arg));
    return 0;
}

int32_t AudioPlugin::onForwardToEditor(int32_t command, void* arg, int32_t value) {
    static constexpr struct {
        int32_t command;
        int32_t editorCommand;
    } kForwarded[] = {
        {kCmdCompatEditorQuery42, kEdCompatQuery04},
        {kCmdCompatEditorNotify43, kEdCompatNotify0d},
        {kCmdCompatEditorNotify44, kEdCompatNotify0e},
        {kCmdEditorCopyValuesTo, kEdCopyValuesTo},
    };
    if (record_.editor == nullptr) return 0;
    for (const auto& f : kForwarded)
        if (f.command == command)
            return int32_t(record_.editor->command(f.editorCommand, arg, value));
    return 0;
}

int32_t AudioPlugin::onEditorStore(int32_t command, void* arg, int32_t value) {
    auto* store = static_cast<ParameterInterface*>(arg);
    if (record_.editor != nullptr) {
        StoreView view(*parameters_, store);
        return int32_t(record_.editor->command(command == kCmdEditorLoad ? kEdLoad : kEdSave,
                                               store != nullptr ? view.iface() : nullptr, value));
    }
    // Without an editor a save comes from the plug-in itself.
    if (command == kCmdEditorSave && store != nullptr)
        exchangeSettings(store, value, Exchange::Save);
    return 0;
}

int32_t AudioPlugin::onEditorIdle(int32_t, void*, int32_t) {
    editorIdle();
    return 0;
}

// Queries kept for compatibility ---------------------------------------------------------------

int32_t AudioPlugin::onCompatQuery1e(int32_t, void*, int32_t) {
    return compatQuery17();
}

int32_t AudioPlugin::onCompatFloatQuery1f(int32_t, void* arg, int32_t) {
    if (arg != nullptr) *static_cast<float*>(arg) = compatFloatQuery();
    return 1;
}

int32_t AudioPlugin::onCompatQuery21(int32_t, void*, int32_t) {
    return compatQuery14();
}

int32_t AudioPlugin::onCompatQuery24(int32_t, void*, int32_t value) {
    return value == 8 ? compatQuery21() : 0;
}

int32_t AudioPlugin::onCompatQuery25(int32_t, void*, int32_t) {
    return compatQuery22();
}

int32_t AudioPlugin::onIdle(int32_t, void*, int32_t) {
    idle();
    return 0;
}

} // namespace orq
