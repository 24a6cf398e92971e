#include "runtime/audio_plugin.h"

#include "runtime/live_objects.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace orq {

namespace {

// Holds a critical section for one scope.
class Lock {
  public:
    explicit Lock(CRITICAL_SECTION& cs) : cs_(cs) { EnterCriticalSection(&cs_); }
    ~Lock() { LeaveCriticalSection(&cs_); }
    Lock(const Lock&) = delete;
    Lock& operator=(const Lock&) = delete;

  private:
    CRITICAL_SECTION& cs_;
};

int32_t dispatcherThunk(PluginRecord* r, int32_t command, void* arg, int32_t value) {
    return r->self->dispatch(command, arg, value);
}
int32_t processThunk(PluginRecord* r, AudioBuffers* b) {
    return b != nullptr ? r->self->processRecord(*b) : -1;
}
int32_t processReplacingThunk(PluginRecord* r, AudioBuffers* b) {
    if (b == nullptr) return -1;
    // The raw path hands 32-bit output here.
    int32_t produced = r->self->processReplacing(*b);
    return produced < 0 ? -1 : produced;
}
void loadFromStoreThunk(PluginRecord* r, ParameterInterface* store, int32_t value) {
    if (store == nullptr) return;
    store->setMode(store, value);
    {
        Lock lock(r->self->lock());
        r->self->loadSettings(store);
    }
    store->setMode(store, kModeChanged);
}
void saveToStoreThunk(PluginRecord* r, ParameterInterface* store, int32_t value) {
    if (store == nullptr) return;
    store->setMode(store, value);
    {
        Lock lock(r->self->lock());
        r->self->saveSettings(store);
    }
    store->setMode(store, kModeChanged);
}

} // namespace

AudioPlugin::AudioPlugin(const PluginIdentity& identity, ParameterSet* parameters,
                         HostCallback host, void* hostContext)
    : parameters_(parameters), host_(host), hostContext_(hostContext) {
    InitializeCriticalSection(&lock_);
    record_.kind = identity.kind;
    record_.dispatcher = dispatcherThunk;
    record_.process = processThunk;
    record_.processReplacing = processReplacingThunk;
    record_.loadFromStore = loadFromStoreThunk;
    record_.saveToStore = saveToStoreThunk;
    record_.plugin = this;
    record_.editor = nullptr;
    record_.parameters = nullptr;
    record_.bypass = 0;
    record_.flags = identity.flags | 1;
    record_.self = this;
    record_.blockHint = 4096;
    record_.uniqueId = identity.uniqueId;
    std::strncpy(record_.name, identity.name, sizeof record_.name - 1);
    objectCreated(LiveKind::Plugin);
}

AudioPlugin::~AudioPlugin() {
    if (record_.editor != nullptr) dispatch(kCmdCloseEditor, nullptr, 0);
    // In a host that takes no tails, the next instance starts with this one's values.
    if (ParameterSet* defaults = defaultParameterSet();
        defaults != nullptr && parameters_ != nullptr &&
        hostRequest(kRequestHostMode, 0, nullptr) != kHostModeTakesTail)
        defaults->copyFrom(parameters_->iface());
    if (parameters_ != nullptr) parameters_->release();
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
            for (int32_t i = 0; i < frames; ++i) {
                const float v = x[i];
                peak = std::max(peak, std::fabs(v));
                clips += (v < -1.0f || v > 1.0f) ? 1 : 0;
            }
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

int32_t AudioPlugin::processMetered(AudioBuffers& buffers) {
    const int32_t frames = buffers.frames;
    {
        Lock lock(lock_);
        meter(inputMeters_, buffers.inputs(), buffers.inputChannels, frames);
    }
    int32_t produced = frames;
    if (record_.bypass == 0) {
        produced = process(buffers);
        if (produced < 0) return produced;
    } else {
        float** in = buffers.inputs();
        float** out = buffers.outputs();
        const int32_t channels = std::min(format_.channels, buffers.inputChannels);
        if (out != in)
            for (int32_t c = 0; c < std::min(channels, buffers.outputChannels); ++c)
                std::memcpy(out[c], in[c], size_t(frames) * sizeof(float));
        for (int32_t c = channels; c < std::min(outputChannels_, buffers.outputChannels); ++c)
            std::memcpy(out[c], out[0], size_t(frames) * sizeof(float));
    }
    {
        Lock lock(lock_);
        meter(outputMeters_, buffers.outputs(), buffers.outputChannels, produced);
    }
    return produced;
}

int32_t AudioPlugin::processRecord(AudioBuffers& buffers) {
    // Raw interleaved PCM is the plug-in's own business: no float metering.
    if (buffers.isRaw()) return process(buffers);
    if (mute_ == 0.0f) return processMetered(buffers);
    const int32_t frames = buffers.frames;
    {
        Lock lock(lock_);
        meter(inputMeters_, buffers.inputs(), buffers.inputChannels, frames);
    }
    for (int32_t c = 0; c < buffers.outputChannels; ++c)
        std::memset(buffers.outputs()[c], 0, size_t(frames) * sizeof(float));
    {
        Lock lock(lock_);
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
    const int32_t result = open(f);
    openResult_ = result;
    if (result != 0) return result;
    format_ = f;
    int32_t out = f.channels, rate = f.sampleRate, extra = 0;
    checkFormat(f.channels, &out, &rate, &extra);
    outputChannels_ = out > 0 ? out : f.channels;
    {
        Lock lock(lock_);
        allocateMeters();
    }
    open_ = true;
    record_.parameters = parameters_->iface();
    return result;
}

int32_t AudioPlugin::commandClose() {
    if (!open_) return 0;
    {
        Lock lock(lock_);
        saveSettings(parameters_->iface());
    }
    if (running_) {
        tellEditor(kEdStopped);
        running_ = false;
        if (record_.bypass == 0) stop();
    }
    close();
    {
        Lock lock(lock_);
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
        if (record_.kind == 4) {
            commandClose();
            if (commandOpen(*f) != 0) record_.bypass = 1;
        } else if (record_.kind != 2) {
            record_.bypass = 1;
        }
        return result;
    }
    // A running stream keeps running in the new format.
    const bool wasRunning = running_;
    commandClose();
    result = commandOpen(*f);
    if (result != 0 && record_.kind != 2) record_.bypass = 1;
    tellEditor(kEdFormatChanged, f);
    running_ = wasRunning;
    if (running_ && record_.bypass == 0) {
        start();
        tellEditor(kEdStarted);
    }
    return result;
}

int32_t AudioPlugin::dispatch(int32_t command, void* arg, int32_t value) {
    if (command >= kCmdReadInputPeaks && command <= kCmdGetHostValues) {
        Lock lock(lock_);
        if (command <= kCmdDisableOutputClips) return meterCommand(command, arg, value);
        auto* values = static_cast<float*>(arg);
        if (command == kCmdGetHostValues) {
            if (values != nullptr) {
                values[0] = bypassWithDelay_;
                values[1] = mute_;
            }
            return int32_t(bypassWithDelay_ + 2.0f * mute_);
        }
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
    switch (command) {
    case kCmdCloseAll:
        // The host's release of the plug-in: editor closed, engine closed, object deleted.
        dispatch(kCmdCloseEditor, nullptr, 0);
        commandClose();
        delete this;
        return 0;
    case kCmdOpen:
        return arg != nullptr ? commandOpen(*static_cast<OpenFormat*>(arg)) : openResult_;
    case kCmdClose:
        return commandClose();
    case kCmdFormatChanged:
        return commandFormatChanged(static_cast<OpenFormat*>(arg));
    case kCmdStart:
        if (!running_) {
            if (record_.bypass == 0) {
                start();
                tellEditor(kEdStarted);
            }
            running_ = true;
        }
        return 0;
    case kCmdStop: {
        int32_t result = 0;
        if (running_) {
            tellEditor(kEdStopped);
            running_ = false;
            if (record_.bypass == 0) result = stop();
        }
        return result;
    }
    case kCmdLatency:
        return record_.bypass == 0 ? latency() : 0;
    case kCmdSetMaxBlockSize: {
        Lock lock(lock_);
        maxBlockSize_ = value > 0 ? value : maxBlockSize_;
        for (auto* m : {&inputMeters_, &outputMeters_})
            if (!m->rings.empty()) {
                for (auto& ring : m->rings)
                    ring.assign(size_t(maxBlockSize_), 0.0f);
                std::fill(m->ringIndex.begin(), m->ringIndex.end(), 0);
            }
        setMaxBlockSize(value);
        return 0;
    }
    case kCmdSampleRate:
        return format_.sampleRate;
    case kCmdSaveSettings:
    case kCmdLoadSettings: {
        auto* store = static_cast<ParameterInterface*>(arg);
        if (store == nullptr) return 0;
        store->setMode(store, value);
        Lock lock(lock_);
        if (command == kCmdSaveSettings)
            saveSettings(store);
        else
            loadSettings(store);
        return 1;
    }
    case kCmdCheckFormat: {
        auto* a = static_cast<CheckFormatArgs*>(arg);
        if (a == nullptr) return 0;
        return checkFormat(a->channels, &a->outputChannels, &a->sampleRate, &a->extra);
    }
    case kCmdQuery17:
        return query17();
    case kCmdFloatQuery:
        if (arg != nullptr) *static_cast<float*>(arg) = floatQuery();
        return 1;
    case kCmdSetBypass: {
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
        return 0;
    }
    case kCmdQuery14:
        return query14();
    case kCmdOpenResult:
        return openResult_;
    case kCmdQuery21:
        return value == 8 ? query21() : 0;
    case kCmdQuery22:
        return query22();
    case kCmdOpenEditor:
        return 0; // editors attach through kCmdAttachEditor until they exist
    case kCmdCloseEditor:
        if (record_.editor != nullptr) {
            EditorInterface* editor = record_.editor;
            editor->command(kEdClose, nullptr, 0);
            record_.editor = nullptr;
            editor->command(kEdDestroy, nullptr, 0);
        }
        return 0;
    case kCmdEditorQuery:
        return record_.editor ? int32_t(record_.editor->command(4, arg, value)) : 0;
    case kCmdEditor0d:
        return record_.editor ? int32_t(record_.editor->command(0xd, arg, value)) : 0;
    case kCmdEditor0e:
        return record_.editor ? int32_t(record_.editor->command(0xe, arg, value)) : 0;
    case kCmdEditorLoad:
        return record_.editor ? int32_t(record_.editor->command(7, arg, value)) : 0;
    case kCmdEditor19:
        return record_.editor ? int32_t(record_.editor->command(0x19, arg, value)) : 0;
    case kCmdEditorSave:
        if (record_.editor != nullptr) return int32_t(record_.editor->command(8, arg, value));
        if (auto* store = static_cast<ParameterInterface*>(arg)) {
            store->setMode(store, value);
            Lock lock(lock_);
            saveSettings(store);
        }
        return 0;
    case kCmdAttachEditor:
        record_.editor = static_cast<EditorInterface*>(arg);
        return 0;
    case kCmdEditorIdle:
        editorIdle();
        return 0;
    case kCmdIdle:
        idle();
        return 0;
    default:
        return handleCommand(command, arg, value);
    }
}

} // namespace orq
