#include "enhancer/brisquet_plugin.h"

#include "runtime/plugin_glue.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <utility>

namespace orq::enhancer {

namespace {

constexpr int32_t kPluginKind = 1;

// Reads a value without touching the set's changed flags.
float peek(ParameterSet& set, int32_t index) {
    const int32_t mode = set.mode();
    set.setMode(kModeFrozen);
    const float value = set.getFloat(index);
    set.setMode(mode);
    return value;
}

// A value from a host, limited to its parameter's range, to the engine's typed setter.
void applySetting(EnhancerEngine& engine, int32_t index, float value) {
    const float v = clampParameter(index, value);
    switch (index) {
    case kInputGainIndex:
        engine.setInputGainDb(v);
        break;
    case kSoloIndex:
        engine.setSolo(v);
        break;
    case kMixIndex:
        engine.setMix(v);
        break;
    case kFrequencyIndex:
        engine.setCornerHz(v);
        break;
    case kHpMixIndex:
        engine.setHpMix(v);
        break;
    case kGainIndex:
        engine.setDrive(v);
        break;
    case kKickIndex:
        engine.setKick(v >= kSwitchOnThreshold);
        break;
    case kDensityIndex:
        engine.setDensity(v);
        break;
    case kSecondIndex:
        engine.setSecond(v);
        break;
    case kThirdIndex:
        engine.setThird(v);
        break;
    default: // "mono" is the plug-in's, not the engine's
        break;
    }
}

// The engine's value of a parameter, in the table's units.
float settingOf(const EnhancerSettings& s, int32_t index) {
    switch (index) {
    case kInputGainIndex:
        return s.inputGainDb;
    case kSoloIndex:
        return s.solo;
    case kMixIndex:
        return s.mix;
    case kFrequencyIndex:
        return s.cornerHz;
    case kHpMixIndex:
        return s.hpMix;
    case kGainIndex:
        return s.drive;
    case kKickIndex:
        return s.kick ? 1.0f : 0.0f;
    case kDensityIndex:
        return s.density;
    case kSecondIndex:
        return s.second;
    case kThirdIndex:
        return s.third;
    default:
        return 0.0f;
    }
}

} // namespace

// Plug-in --------------------------------------------------------------------------------------

const PluginIdentity BrisquetPlugin::kIdentity{kPluginKind, kBrisquetId, kBrisquetName};

BrisquetPlugin::BrisquetPlugin(ParameterSet* parameters, HostCallback host, void* hostContext)
    : AudioPlugin(kIdentity, parameters, host, hostContext) {}

BrisquetPlugin::~BrisquetPlugin() = default;

int32_t BrisquetPlugin::checkFormat(int32_t channels, int32_t* outputChannels, int32_t* sampleRate,
                                    int32_t* extra) {
    if (channels < 1 || channels > kMaxEnhancerChannels) return kStatusChannelsRefused;
    if (sampleRate == nullptr || !EnhancerEngine::supportsSampleRate(*sampleRate))
        return kStatusFormatRateRefused;
    if (outputChannels != nullptr) *outputChannels = channels;
    if (extra != nullptr) *extra = 0;
    return 0;
}

int32_t BrisquetPlugin::wantedEngineChannels() {
    const bool mono =
        clampParameter(kMonoIndex, peek(parameters(), kMonoIndex)) >= kSwitchOnThreshold;
    return streamChannels_ == 1 || mono ? 1 : 2;
}

int32_t BrisquetPlugin::open(OpenFormat& format) {
    if (format.channels < 1 || format.channels > kMaxEnhancerChannels)
        return kStatusChannelsRefused;
    if (!EnhancerEngine::supportsSampleRate(format.sampleRate)) return kStatusRateRefused;
    format.extra = 0;
    std::unique_ptr<EnhancerEngine> previous; // destroyed after the lock is left
    try {
        int32_t engineChannels = 0;
        {
            ScopedLock lock(this->lock());
            streamChannels_ = format.channels;
            engineChannels = wantedEngineChannels();
        }
        auto fresh = std::make_unique<EnhancerEngine>(format.sampleRate, engineChannels);
        std::vector<float> tail(size_t(fresh->latencyFrames()) * kMaxEnhancerChannels, 0.0f);
        ScopedLock lock(this->lock());
        fresh->setBypassWithDelay(bypassWithDelay_);
        previous = std::exchange(engine_, std::move(fresh));
        tail_.swap(tail);
        for (int32_t c = 0; c < kMaxEnhancerChannels; ++c)
            tailChannels_[c] = tail_.data() + size_t(c) * size_t(engine_->latencyFrames());
        // Every parameter is persisted, so this applies them all to the new engine.
        const int32_t mode = parameters().mode();
        parameters().setMode(kModePersisted);
        loadSettings(parameters().iface());
        parameters().setMode(mode);
    } catch (...) {
        std::unique_ptr<EnhancerEngine> failed;
        ScopedLock lock(this->lock());
        failed.swap(engine_);
        return kStatusOpenFailed;
    }
    return 0;
}

int32_t BrisquetPlugin::close() {
    std::unique_ptr<EnhancerEngine> previous;
    std::vector<float> tail;
    {
        ScopedLock lock(this->lock());
        previous.swap(engine_);
        tail.swap(tail_);
        std::fill(std::begin(tailChannels_), std::end(tailChannels_), nullptr);
    }
    return 0;
}

int32_t BrisquetPlugin::start() {
    ScopedLock lock(this->lock());
    if (engine_) engine_->reset();
    return 0;
}

int32_t BrisquetPlugin::stop() {
    {
        ScopedLock lock(this->lock());
        if (!engine_) return 0;
    }
    if (hostRequest(kRequestHostMode, 0, nullptr) != kHostModeTakesTail) return 0;
    TailRecord record{tailChannels_, 0, streamChannels_, 0};
    {
        ScopedLock lock(this->lock());
        if (!engine_) return 0;
        record.frames = engine_->latencyFrames();
        std::fill(tail_.begin(), tail_.end(), 0.0f);
        engine_->process(tailChannels_, tailChannels_, record.frames);
        for (int32_t c = engine_->channels(); c < streamChannels_; ++c)
            std::copy(tailChannels_[0], tailChannels_[0] + record.frames, tailChannels_[c]);
    }
    // The host is called without the lock: it may deliver the tail downstream.
    return hostRequest(kRequestTake, 0, &record) == 0 ? kStatusTailNotTaken : 0;
}

int32_t BrisquetPlugin::latency() {
    ScopedLock lock(this->lock());
    return engine_ ? engine_->latencyFrames() : 0;
}

void BrisquetPlugin::setBypassWithDelay(float value) {
    bypassWithDelay_ = value != 0.0f;
    if (engine_) engine_->setBypassWithDelay(bypassWithDelay_);
}

int32_t BrisquetPlugin::process(AudioBuffers& buffers) {
    ScopedLock lock(this->lock());
    const int32_t frames = std::min(buffers.frames, buffers.capacity);
    if (frames <= 0) return 0;
    float** inputs = buffers.inputs();
    float** outputs = buffers.outputs();
    if (inputs == nullptr || outputs == nullptr) return 0;
    if (!engine_) {
        // Closed: the audio passes unchanged.
        const int32_t channels = std::min(buffers.inputChannels, buffers.outputChannels);
        for (int32_t c = 0; c < channels; ++c)
            if (outputs[c] != inputs[c]) std::copy(inputs[c], inputs[c] + frames, outputs[c]);
        return frames;
    }
    const int32_t engineChannels = engine_->channels();
    if (buffers.inputChannels < engineChannels || buffers.outputChannels < engineChannels) {
        // An engine for another layout: silence rather than unprocessed or stale samples.
        for (int32_t c = 0; c < buffers.outputChannels; ++c)
            if (outputs[c] != nullptr) std::fill(outputs[c], outputs[c] + frames, 0.0f);
        return frames;
    }
    engine_->process(inputs, outputs, frames);
    // A one-channel engine on a wider stream: its result goes to every output.
    for (int32_t c = engineChannels; c < buffers.outputChannels; ++c)
        std::copy(outputs[0], outputs[0] + frames, outputs[c]);
    return frames;
}

// Settings -------------------------------------------------------------------------------------

void BrisquetPlugin::loadSettings(ParameterInterface* store) {
    if (store == nullptr) return;
    const bool ownSet = store == parameters().iface();
    for (const int32_t index : kEnhancerApplyOrder) {
        if (!store->isSelected(store, index)) continue;
        const float value = store->getFloat(store, index);
        if (engine_) applySetting(*engine_, index, value);
        if (!ownSet) parameters().setFloat(index, value);
    }
    if (store->isSelected(store, kMonoIndex)) {
        const float value = store->getFloat(store, kMonoIndex);
        if (!ownSet) parameters().setFloat(kMonoIndex, value);
        if (engine_ && wantedEngineChannels() != engine_->channels())
            rebuildEngine(wantedEngineChannels());
    }
}

void BrisquetPlugin::saveSettings(ParameterInterface* store) {
    if (store == nullptr) return;
    const bool ownSet = store == parameters().iface();
    auto write = [&](int32_t index, float value) {
        if (!store->isSelectedForWrite(store, index)) return;
        store->setFloat(store, index, value);
        if (!ownSet) parameters().getFloat(index); // clears the plug-in's flag
    };
    for (const int32_t index : kEnhancerApplyOrder)
        write(index, engine_ ? settingOf(engine_->settings(), index) : peek(parameters(), index));
    // "mono" is persisted too; without it a saved stereo/mono choice would be lost.
    write(kMonoIndex, peek(parameters(), kMonoIndex));
}

bool BrisquetPlugin::rebuildEngine(int32_t channels) {
    std::unique_ptr<EnhancerEngine> engine;
    try {
        engine = std::make_unique<EnhancerEngine>(engine_->sampleRateHz(), channels);
    } catch (...) {
        return false;
    }
    engine->applySettings(engine_->settings());
    engine->setBypassWithDelay(bypassWithDelay_);
    ScopedLock lock(this->lock());
    engine_ = std::move(engine);
    return true;
}

} // namespace orq::enhancer

namespace orq {

ParameterSet* createBrisquetParameters() {
    return createParameterSetOrNull<enhancer::BrisquetParameters>();
}

AudioPlugin* createBrisquetPlugin(ParameterSet* parameters, HostCallback host, void* hostContext) {
    return createPluginOrNull<enhancer::BrisquetPlugin, enhancer::BrisquetParameters>(
        parameters, host, hostContext);
}

} // namespace orq
