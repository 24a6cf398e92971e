#include "compressor/compressor_plugin.h"

#include "compressor/compressor_parameters.h"

#include <algorithm>
#include <cstring>
#include <new>

namespace orq::compressor {

namespace {

// Holds the plug-in's critical section for one scope.
class ScopedLock {
  public:
    explicit ScopedLock(CRITICAL_SECTION& cs) : cs_(cs) { EnterCriticalSection(&cs_); }
    ~ScopedLock() { LeaveCriticalSection(&cs_); }
    ScopedLock(const ScopedLock&) = delete;
    ScopedLock& operator=(const ScopedLock&) = delete;

  private:
    CRITICAL_SECTION& cs_;
};

} // namespace

const PluginIdentity CompressorPlugin::kIdentity{1, fourCC("Qmzt"), "Orq Compressor"};

CompressorPlugin::CompressorPlugin(ParameterSet* parameters, HostCallback host, void* hostContext)
    : AudioPlugin(kIdentity, parameters != nullptr ? parameters : new CompressorParameterSet(),
                  host, hostContext) {}

CompressorPlugin::~CompressorPlugin() {
    ScopedLock lock(this->lock());
    engine_.reset();
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
    if (engine_ != nullptr) engine_->applyParameters(store);
    copySelectedFromStore(parameters(), store, kArrayCopyOrder);
}

void CompressorPlugin::saveSettings(ParameterInterface* store) {
    if (engine_ != nullptr) {
        engine_->publishMeters(parameters().iface());
    } else {
        parameters().setFloat(kParamBandMeter, -1.0f);
    }
    if (store != nullptr) writeSelectedToStore(parameters(), store, kArrayCopyOrder);
}

int32_t CompressorPlugin::open(OpenFormat& format) {
    int32_t outputChannels = format.channels;
    int32_t sampleRate = format.sampleRate;
    int32_t extra = 0;
    const int32_t refused = checkFormat(format.channels, &outputChannels, &sampleRate, &extra);
    if (refused != 0) return refused;
    std::unique_ptr<CompressorEngine> engine;
    std::vector<float> tail;
    std::vector<float*> tailChannels;
    try {
        engine = std::make_unique<CompressorEngine>(format.channels, format.sampleRate);
        const int32_t tailFrames = CompressorEngine::maxLatency(format.sampleRate);
        tail.assign(static_cast<size_t>(tailFrames) * format.channels, 0.0f);
        tailChannels.resize(format.channels);
        for (int32_t ch = 0; ch < format.channels; ++ch) {
            tailChannels[ch] = tail.data() + static_cast<size_t>(ch) * tailFrames;
        }
    } catch (const std::bad_alloc&) {
        return -1;
    }
    ScopedLock lock(this->lock());
    // Every parameter goes to the new engine.
    parameters().setMode(kModeAll);
    engine->applyParameters(parameters().iface());
    engine->setBypassWithDelay(bypassWithDelay());
    engine_ = std::move(engine);
    tail_ = std::move(tail);
    tailChannels_ = std::move(tailChannels);
    format.extra = 0;
    return 0;
}

int32_t CompressorPlugin::close() {
    ScopedLock lock(this->lock());
    engine_.reset();
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
    if (engine_ != nullptr) engine_->setBypassWithDelay(value);
}

} // namespace orq::compressor

namespace orq {

AudioPlugin* createCompressorPlugin(ParameterSet* parameters, HostCallback host,
                                    void* hostContext) {
    try {
        return new compressor::CompressorPlugin(parameters, host, hostContext);
    } catch (...) {
        if (parameters != nullptr) parameters->release(); // owned even when creation fails
        return nullptr;
    }
}

ParameterSet* createCompressorParameters() {
    try {
        return new compressor::CompressorParameterSet();
    } catch (...) {
        return nullptr;
    }
}

} // namespace orq
