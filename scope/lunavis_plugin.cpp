#include "scope/lunavis_plugin.h"

#include "runtime/plugin_glue.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <new>
#include <utility>

namespace orq::scope {

namespace {

constexpr int32_t kMaxRateHz = 48000;
constexpr int32_t kScopeChannels = 2;
// The record kind of an analyser.
constexpr int32_t kAnalyserKind = 6;

} // namespace

const PluginIdentity LunavisPlugin::kIdentity{kAnalyserKind, fourCC("Lunv"), "Orq Lunavis"};

LunavisPlugin::LunavisPlugin(ParameterSet* parameters, HostCallback host, void* hostContext)
    : AudioPlugin(kIdentity, parameters, host, hostContext) {}

LunavisPlugin::~LunavisPlugin() = default;

int32_t LunavisPlugin::process(AudioBuffers& buffers) {
    ScopedLock lock(this->lock());
    const int32_t frames = buffers.frames;
    if (engine_ && buffers.inputChannels >= kScopeChannels &&
        buffers.outputChannels >= kScopeChannels) {
        engine_->process(buffers.inputs(), buffers.outputs(), frames);
    } else if (buffers.outputs() != buffers.inputs()) {
        const int32_t channels = std::min(buffers.inputChannels, buffers.outputChannels);
        for (int32_t c = 0; c < channels; ++c) {
            std::memmove(buffers.outputs()[c], buffers.inputs()[c], sizeof(float) * frames);
        }
    }
    return frames;
}

int32_t LunavisPlugin::processReplacing(AudioBuffers&) {
    return kStatusNotSupported5;
}

void LunavisPlugin::loadSettings(ParameterInterface* store) {
    if (store == nullptr) return;
    // Read each selected scalar once: reading clears the store's changed flag, and both the
    // engine and the own set need the value. The blocks are the engine's output, never input.
    float values[kLunavisParamCount] = {};
    bool selected[kLunavisParamCount] = {};
    for (int32_t i = kLunavisMono; i < kLunavisParamCount; ++i) {
        if (!store->isSelected(store, i)) continue;
        selected[i] = true;
        values[i] = store->getFloat(store, i);
    }
    if (engine_) {
        if (selected[kLunavisMono]) engine_->setMono(values[kLunavisMono] != 0.0f);
        if (selected[kLunavisContinuousRing]) {
            engine_->setContinuousRing(values[kLunavisContinuousRing]);
        }
    }
    for (int32_t i = kLunavisMono; i < kLunavisParamCount; ++i) {
        if (selected[i]) parameters().setFloat(i, values[i]);
    }
}

void LunavisPlugin::saveSettings(ParameterInterface* store) {
    if (store == nullptr) return;
    if (engine_) {
        if (store->isSelectedForWrite(store, kLunavisData)) {
            own().takeRows(*engine_);
        }
        if (store->isSelectedForWrite(store, kLunavisMono)) {
            own().setValue(kLunavisMono, engine_->mono() ? 1.0f : 0.0f);
        }
        if (store->isSelectedForWrite(store, kLunavisContinuousRing)) {
            own().setValue(kLunavisContinuousRing, engine_->continuousRing());
        }
    }
    for (int32_t i = kLunavisMono; i < kLunavisParamCount; ++i) {
        if (store->isSelectedForWrite(store, i))
            store->setFloat(store, i, parameters().getFloat(i));
    }
    if (store->isSelectedForWrite(store, kLunavisData)) own().writeBlockTo(store);
}

int32_t LunavisPlugin::checkFormat(int32_t channels, int32_t* outputChannels, int32_t* sampleRate,
                                   int32_t* extra) {
    if (channels != kScopeChannels) return kStatusChannelsRefused;
    if (sampleRate != nullptr && *sampleRate > kMaxRateHz) return kStatusRateRefused;
    if (outputChannels != nullptr) *outputChannels = kScopeChannels;
    if (extra != nullptr) *extra = 0;
    return 0;
}

int32_t LunavisPlugin::open(OpenFormat& format) {
    int32_t outputChannels = 0;
    int32_t sampleRate = format.sampleRate;
    int32_t extra = 0;
    const int32_t status = checkFormat(format.channels, &outputChannels, &sampleRate, &extra);
    if (status != 0) return status;
    format.extra = 0;
    std::unique_ptr<ScopeEngine> previous; // destroyed after the lock is left
    try {
        auto fresh = std::make_unique<ScopeEngine>();
        ScopedLock lock(this->lock());
        previous = std::exchange(engine_, std::move(fresh));
        parameters().setMode(kModeAll);
        loadSettings(parameters().iface());
    } catch (...) {
        std::unique_ptr<ScopeEngine> failed;
        ScopedLock lock(this->lock());
        failed.swap(engine_);
        return kStatusOpenFailed;
    }
    return 0;
}

int32_t LunavisPlugin::close() {
    std::unique_ptr<ScopeEngine> previous;
    {
        ScopedLock lock(this->lock());
        previous.swap(engine_);
    }
    return 0;
}

int32_t LunavisPlugin::start() {
    ScopedLock lock(this->lock());
    if (engine_) engine_->reset();
    return 0;
}

int32_t LunavisPlugin::stop() {
    return 0;
}

int32_t LunavisPlugin::latency() {
    return kScopeBlockFrames;
}

} // namespace orq::scope

namespace orq {

AudioPlugin* createLunavisPlugin(ParameterSet* parameters, HostCallback host, void* hostContext) {
    if (parameters != nullptr) {
        parameters = adoptParameterSetOrNull<scope::LunavisParameters>(parameters);
        if (parameters == nullptr) return nullptr;
    }
    return createPluginOrNull<scope::LunavisPlugin, scope::LunavisParameters>(parameters, host,
                                                                              hostContext);
}

ParameterSet* createLunavisParameters() {
    return createParameterSetOrNull<scope::LunavisParameters>();
}

} // namespace orq
