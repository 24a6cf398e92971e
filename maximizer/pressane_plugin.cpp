#include "maximizer/pressane_plugin.h"

#include "maximizer/pressane_plugin_frame_lock.h"
#include "runtime/plugin_glue.h"

#include <algorithm>
#include <utility>

namespace orq::maximizer {
namespace {

// The component build refuses streams above this rate.
constexpr int32_t kMaxStreamRateHz = 48000;
constexpr int32_t kMaxStreamChannels = 2;

const PluginIdentity kPressaneIdentity{kRecordKindProcessor, fourCC("Qprs"), "Orq Pressane"};

// Gives one setting to the engine (which clamps it) and returns the value the engine holds.
float applySetting(MaximizerEngine& engine, int32_t index, float value) {
    const MaximizerSettings& s = engine.settings();
    switch (index) {
    case kPressaneDesiredGain:
        engine.setDesiredGain(value);
        return s.desiredGainDb;
    case kPressaneDensity:
        engine.setDensity(value);
        return s.density;
    case kPressaneHeadroom:
        engine.setHeadroom(value);
        return static_cast<float>(s.headroom);
    case kPressaneBoost:
        engine.setBoost(value);
        return s.boost ? 1.0f : 0.0f;
    case kPressaneAudition:
        engine.setAudition(value);
        return s.audition ? 1.0f : 0.0f;
    default:
        return value;
    }
}

} // namespace

PressanePlugin::PressanePlugin(ParameterSet* parameters, HostCallback host, void* hostContext)
    : AudioPlugin(kPressaneIdentity, parameters, host, hostContext) {
    InitializeCriticalSection(&engineLifetime_);
}

PressanePlugin::~PressanePlugin() {
    close();
    // The values this instance hands on to the next (through the library's default set) carry
    // resting meters: no headroom used, all of the desired gain reached.
    auto& set = static_cast<TableParameterSet&>(parameters());
    set.setValue(kPressaneHeadroomMeter, kRestingHeadroomMeterDb);
    set.setValue(kPressaneGainReachedMeter, kRestingGainReachedMeter);
    DeleteCriticalSection(&engineLifetime_);
}

// Called with the engine-lifetime lock held and an engine open.
void PressanePlugin::runEngine(float* const* channels, int32_t frames) {
    MaximizerEngine* engine;
    {
        ScopedLock hold(lock());
        engine = engine_.get();
        engine->setBypassWithDelay(bypassWithDelay() != 0.0f);
        engine->setMute(mute() != 0.0f);
    }
    if (engineThreadConfined()) {
        // Nothing else reaches the engine while it runs: the block needs no lock at all.
        engine->process(channels, channels, frames, OutputMode::Replace);
        return;
    }
    CriticalSectionFrameLock perFrame{lock()};
    engine->process(channels, channels, frames, OutputMode::Replace, perFrame);
}

int32_t PressanePlugin::process(AudioBuffers& buffers) {
    const int32_t frames = std::min(buffers.frames, buffers.capacity);
    if (frames <= 0) return 0;
    float** inputs = buffers.inputs();
    float** outputs = buffers.outputs();
    const int32_t channels = std::min(buffers.inputChannels, buffers.outputChannels);
    if (inputs != outputs) {
        for (int32_t c = 0; c < channels; ++c)
            std::copy_n(inputs[c], frames, outputs[c]);
    }
    ScopedLock life(engineLifetime_);
    if (!engine_) return frames; // closed: the audio passes unchanged
    if (channels < engine_->channels()) {
        // Fewer arrays than the engine was opened for: nothing safe to compute.
        for (int32_t c = 0; c < buffers.outputChannels; ++c)
            std::fill_n(outputs[c], frames, 0.0f);
        return frames;
    }
    runEngine(outputs, frames);
    return frames;
}

int32_t PressanePlugin::processReplacing(AudioBuffers&) {
    return kStatusNotSupported5;
}

void PressanePlugin::loadSettings(ParameterInterface* store) {
    if (store == nullptr) return;
    for (int32_t index = 0; index < kPressaneParameterCount; ++index) {
        if (!isPressaneSetting(index) || !store->isSelected(store, index)) continue;
        ScopedLock hold(lock());
        const float value = store->getFloat(store, index);
        // Closed, the value is kept as it is; open clamps what the set holds.
        parameters().setFloat(index, engine_ ? applySetting(*engine_, index, value) : value);
    }
}

void PressanePlugin::saveSettings(ParameterInterface* store) {
    if (store == nullptr) return;
    for (int32_t index = 0; index < kPressaneParameterCount; ++index) {
        if (!isPressaneSetting(index) || !store->isSelectedForWrite(store, index)) continue;
        ScopedLock hold(lock());
        store->setFloat(store, index, parameters().getFloat(index));
    }
    if (store->getMode(store) != kModeUnnamed) return;
    ScopedLock hold(lock());
    MeterValues meters;
    if (!engine_ || !engine_->readMeters(meters)) return;
    store->setFloat(store, kPressaneHeadroomMeter, meters.headroomDb);
    store->setFloat(store, kPressaneGainReachedMeter, meters.gainReached);
}

int32_t PressanePlugin::open(OpenFormat& format) {
    try {
        format.extra = 0;
        if (format.channels < 1 || format.channels > kMaxStreamChannels) {
            close();
            return kStatusChannelsRefused;
        }
        auto fresh = std::make_unique<MaximizerEngine>(kComponentOptions);
        {
            // Out-of-range or not-a-number values in the set are written back as held.
            ScopedLock hold(lock());
            for (int32_t index = 0; index < kPressaneParameterCount; ++index) {
                if (!isPressaneSetting(index)) continue;
                const float stored = parameters().getFloat(index);
                const float held = applySetting(*fresh, index, stored);
                if (held != stored) parameters().setFloat(index, held);
            }
        }
        if (!fresh->open(format.sampleRate, format.channels)) {
            close();
            return kStatusRateRefused;
        }
        const int32_t tailFrames = fresh->latencyFrames();
        std::vector<float> tailStorage(static_cast<size_t>(tailFrames * format.channels), 0.0f);
        std::vector<float*> tailChannels(static_cast<size_t>(format.channels));
        for (int32_t c = 0; c < format.channels; ++c)
            tailChannels[c] = tailStorage.data() + static_cast<size_t>(c) * tailFrames;
        {
            ScopedLock life(engineLifetime_);
            ScopedLock hold(lock());
            std::swap(engine_, fresh);
            std::swap(tailStorage_, tailStorage);
            std::swap(tailChannels_, tailChannels);
        }
        return 0; // the previous engine and tail go here, outside the lock
    } catch (...) {
        close();
        return kStatusOpenFailed;
    }
}

int32_t PressanePlugin::close() {
    std::unique_ptr<MaximizerEngine> old;
    std::vector<float> oldTail;
    {
        ScopedLock life(engineLifetime_);
        ScopedLock hold(lock());
        std::swap(engine_, old);
        std::swap(tailStorage_, oldTail);
        tailChannels_.clear();
    }
    return 0;
}

int32_t PressanePlugin::start() {
    ScopedLock hold(lock());
    if (engine_) engine_->start();
    return 0;
}

int32_t PressanePlugin::stop() {
    ScopedLock life(engineLifetime_);
    if (!engine_) return 0;
    if (hostRequest(kRequestHostMode, 0, nullptr) != kHostModeTakesTail) return 0;
    const int32_t frames = engine_->latencyFrames();
    std::fill(tailStorage_.begin(), tailStorage_.end(), 0.0f);
    runEngine(tailChannels_.data(), frames);
    TailRecord tail{tailChannels_.data(), frames, engine_->channels(), 0};
    if (hostRequest(kRequestTake, 0, &tail) == 0) return kStatusTailNotTaken;
    return 0;
}

int32_t PressanePlugin::checkFormat(int32_t channels, int32_t* outputChannels, int32_t* sampleRate,
                                    int32_t* extra) {
    if (sampleRate == nullptr) return kStatusRateRefused;
    if (*sampleRate > kMaxStreamRateHz || *sampleRate < kMinSampleRateHz) return kStatusRateRefused;
    if (channels < 1 || channels > kMaxStreamChannels) return kStatusChannelsRefused;
    if (outputChannels != nullptr) *outputChannels = channels;
    if (extra != nullptr) *extra = 0;
    return 0;
}

int32_t PressanePlugin::latency() {
    ScopedLock life(engineLifetime_);
    if (engine_) return engine_->latencyFrames();
    return std::max(0, 2 * MaximizerEngine::lookAheadFrames(sampleRate()));
}

void PressanePlugin::setBypassWithDelay(float value) {
    if (engine_) engine_->setBypassWithDelay(value != 0.0f);
}

template void MaximizerEngine::process<CriticalSectionFrameLock>(const float* const*, float* const*,
                                                                 int32_t, OutputMode,
                                                                 CriticalSectionFrameLock&);

} // namespace orq::maximizer

namespace orq {

AudioPlugin* createPressanePlugin(ParameterSet* parameters, HostCallback host, void* hostContext) {
    return createPluginOrNull<maximizer::PressanePlugin, maximizer::PressaneParameterSet>(
        parameters, host, hostContext);
}

} // namespace orq
