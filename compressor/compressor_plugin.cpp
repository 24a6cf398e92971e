#include "compressor/compressor_plugin.h"

#include "runtime/plugin_glue.h"

#include <algorithm>
#include <cstddef>
#include <cstring>
#include <memory>
#include <new>
#include <utility>
#include <vector>

namespace orq::compressor {

namespace {

// Copies one array parameter from a store into the plug-in's set (its flag set).
void copyArray(ParameterInterface* store, ParameterSet& set, int32_t index) {
    int32_t count = 0;
    int32_t elementSize = 0;
    if (set.arrayInfo(index, &count, &elementSize) != 0) return;
    alignas(BandShape) std::byte buffer[sizeof(ShapeArray)];
    if (static_cast<size_t>(count) * static_cast<size_t>(elementSize) > sizeof(buffer)) return;
    store->getArray(store, index, buffer, count);
    set.setArray(index, buffer, count);
}

} // namespace

const PluginIdentity CompressorPlugin::kIdentity{1, fourCC("Qmzt"), "Orq Compressor"};

CompressorPlugin::CompressorPlugin(ParameterSet* parameters, HostCallback host, void* hostContext)
    : AudioPlugin(kIdentity, parameters != nullptr ? parameters : new CompressorParameterSet(),
                  host, hostContext) {}

CompressorPlugin::~CompressorPlugin() {
    std::unique_ptr<CompressorEngine> old;
    {
        ScopedLock lock(this->lock());
        old = std::move(engine_);
    }
}

int32_t CompressorPlugin::process(AudioBuffers& buffers) {
    ScopedLock lock(this->lock());
    const int32_t frames = std::clamp(buffers.frames, 0, buffers.capacity);
    float** in = buffers.inputs();
    float** out = buffers.outputs();
    if (engine_ != nullptr && buffers.inputChannels >= engine_->channels() &&
        buffers.outputChannels >= engine_->channels()) {
        engine_->process(in, out, frames);
        return frames;
    }
    // No engine for this block: the audio passes unchanged.
    if (out != in) {
        const int32_t channels = std::min(buffers.inputChannels, buffers.outputChannels);
        for (int32_t ch = 0; ch < channels; ++ch) {
            std::memcpy(out[ch], in[ch], sizeof(float) * frames);
        }
    }
    return frames;
}

void CompressorPlugin::loadSettings(ParameterInterface* store) {
    if (store == nullptr) return;
    ScopedLock lock(this->lock());
    // The selection first: reading a value clears the store's changed flag.
    const ParameterSelection selection = selectionOf(store);
    copySelectedFromStore(parameters(), store, kArrayCopyOrder);
    const ParameterSelection alsoRead = arraysReadFor(selection);
    for (int32_t index : kArrayCopyOrder) {
        if (alsoRead[index] && !selection[index]) copyArray(store, parameters(), index);
    }
    if (engine_ != nullptr && !applyParameters(*engine_, store, selection)) {
        // The band count could not change: the set keeps the count the engine runs.
        parameters().setFloat(kParamBandCount, static_cast<float>(engine_->bandCount()));
    }
}

void CompressorPlugin::saveSettings(ParameterInterface* store) {
    ScopedLock lock(this->lock());
    parameters().setFloat(kParamBandMeter, engine_ != nullptr ? engine_->publishMeter() : -1.0f);
    if (store != nullptr) writeSelectedToStore(parameters(), store, kArrayCopyOrder);
}

int32_t CompressorPlugin::open(OpenFormat& format) {
    int32_t outputChannels = format.channels;
    int32_t sampleRate = format.sampleRate;
    int32_t extra = 0;
    const int32_t refused = checkFormat(format.channels, &outputChannels, &sampleRate, &extra);
    if (refused != 0) return refused;
    std::unique_ptr<CompressorEngine> old; // destroyed last, outside the lock
    try {
        auto engine = std::make_unique<CompressorEngine>(format.channels, format.sampleRate);
        const int32_t tailFrames = CompressorEngine::maxLatency(format.sampleRate);
        std::vector<float> tail(static_cast<size_t>(tailFrames) * format.channels, 0.0f);
        std::vector<float*> tailChannels(format.channels);
        for (int32_t ch = 0; ch < format.channels; ++ch) {
            tailChannels[ch] = tail.data() + static_cast<size_t>(ch) * tailFrames;
        }
        ScopedLock lock(this->lock());
        // Every parameter goes to the new engine.
        parameters().setMode(kModeAll);
        if (!applyParameters(*engine, parameters().iface(), allParameters())) {
            throw std::bad_alloc();
        }
        engine->setBypassWithDelay(bypassWithDelay() != 0.0f);
        // Swapped in; the previous engine and buffers go with the locals, after the lock.
        std::swap(engine_, engine);
        std::swap(tail_, tail);
        std::swap(tailChannels_, tailChannels);
    } catch (...) {
        // Left closed; the engine goes after the lock is released.
        ScopedLock lock(this->lock());
        old = std::move(engine_);
        return kStatusOpenFailed;
    }
    format.extra = 0;
    return 0;
}

int32_t CompressorPlugin::close() {
    std::unique_ptr<CompressorEngine> old;
    {
        ScopedLock lock(this->lock());
        old = std::move(engine_);
    }
    return 0;
}

int32_t CompressorPlugin::start() {
    ScopedLock lock(this->lock());
    if (engine_ != nullptr) engine_->start();
    return 0;
}

int32_t CompressorPlugin::stop() {
    TailRecord record{};
    {
        ScopedLock lock(this->lock());
        if (engine_ == nullptr) return 0;
        if (hostRequest(kRequestHostMode, 0, nullptr) != kHostModeTakesTail) {
            engine_->stop();
            return 0;
        }
        const int32_t frames = engine_->latency();
        std::fill(tail_.begin(), tail_.end(), 0.0f);
        engine_->process(tailChannels_.data(), tailChannels_.data(), frames);
        engine_->stop();
        record = {tailChannels_.data(), frames, engine_->channels(), 0};
    }
    // The host is called outside the lock: it may deliver the audio downstream.
    const int32_t taken = hostRequest(kRequestTake, 0, &record);
    return taken == 0 ? kStatusTailNotTaken : 0;
}

int32_t CompressorPlugin::checkFormat(int32_t channels, int32_t* outputChannels,
                                      int32_t* sampleRate, int32_t* extra) {
    if (channels < kMinChannels || channels > kMaxChannels) return kStatusChannelsRefused;
    if (sampleRate != nullptr && (*sampleRate < kMinSampleRate || *sampleRate > kMaxSampleRate)) {
        return kStatusRateRefused;
    }
    if (outputChannels != nullptr) *outputChannels = channels;
    if (extra != nullptr) *extra = 0;
    return 0;
}

int32_t CompressorPlugin::latency() {
    ScopedLock lock(this->lock());
    return engine_ != nullptr ? engine_->latency() : 0;
}

void CompressorPlugin::setBypassWithDelay(float value) {
    ScopedLock lock(this->lock());
    if (engine_ != nullptr) engine_->setBypassWithDelay(value != 0.0f);
}

} // namespace orq::compressor

namespace orq {

AudioPlugin* createCompressorPlugin(ParameterSet* parameters, HostCallback host,
                                    void* hostContext) {
    return createPluginOrNull<compressor::CompressorPlugin, compressor::CompressorParameterSet>(
        parameters, host, hostContext);
}

ParameterSet* createCompressorParameters() {
    return createParameterSetOrNull<compressor::CompressorParameterSet>();
}

} // namespace orq
