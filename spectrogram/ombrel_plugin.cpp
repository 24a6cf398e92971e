#include "spectrogram/ombrel_plugin.h"

#include "runtime/plugin_glue.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <iterator>
#include <utility>

namespace orq::spectrogram {

namespace {

constexpr int32_t kMaxRateHz = 48000;
// The record kind of an analyser.
constexpr int32_t kAnalyserKind = 6;

} // namespace

// OmbrelPlugin ----------------------------------------------------------------------------

const PluginIdentity OmbrelPlugin::kIdentity{kAnalyserKind, fourCC("Ombr"), "Orq Ombrel"};

OmbrelPlugin::OmbrelPlugin(ParameterSet* parameters, HostCallback host, void* hostContext)
    : AudioPlugin(kIdentity, parameters, host, hostContext) {}

OmbrelPlugin::~OmbrelPlugin() = default;

int32_t OmbrelPlugin::process(AudioBuffers& buffers) {
    ScopedLock lock(this->lock());
    const int32_t frames = buffers.frames;
    if (buffers.outputs() != buffers.inputs()) {
        const int32_t channels = std::min(buffers.inputChannels, buffers.outputChannels);
        for (int32_t c = 0; c < channels; ++c) {
            std::memmove(buffers.outputs()[c], buffers.inputs()[c],
                         sizeof(float) * static_cast<size_t>(frames));
        }
    }
    if (engine_ && buffers.inputChannels >= engine_->channels()) {
        engine_->process(buffers.inputs(), frames);
    }
    return frames;
}

int32_t OmbrelPlugin::processReplacing(AudioBuffers&) {
    return kStatusNotSupported5;
}

void OmbrelPlugin::loadSettings(ParameterInterface* store) {
    if (store == nullptr) return;
    // Read each selected scalar once: reading clears the store's changed flag, and both the
    // engine and the own set need the value.
    float values[kOmbrelParamCount] = {};
    bool selected[kOmbrelParamCount] = {};
    for (int32_t i = 0; i < kOmbrelParamCount; ++i) {
        if (i == kOmbrelSpectra || !store->isSelected(store, i)) continue;
        selected[i] = true;
        values[i] = store->getFloat(store, i);
    }
    if (engine_) {
        if (selected[kOmbrelRingRows]) engine_->setCapacity(settingValue(values[kOmbrelRingRows]));
        if (selected[kOmbrelLowBand])
            engine_->setLowBand(settingValue(values[kOmbrelLowBand]) != 0);
        if (selected[kOmbrelView]) engine_->setView(settingValue(values[kOmbrelView]));
        if (selected[kOmbrelRunning])
            engine_->setRunning(settingValue(values[kOmbrelRunning]) != 0);
    }
    for (int32_t i = 0; i < kOmbrelParamCount; ++i) {
        if (selected[i]) own().setFloat(i, values[i]);
    }
    if (engine_) {
        own().setValue(kOmbrelView, static_cast<float>(engine_->view()));
        // The capacity the rings took (clamped, or set by the mode), so the "SG" block holds
        // every spectrum a collection can deliver.
        if (selected[kOmbrelRingRows] || selected[kOmbrelLowBand])
            own().setFloat(kOmbrelRingRows, static_cast<float>(engine_->capacity()));
    }
}

void OmbrelPlugin::saveSettings(ParameterInterface* store) {
    if (store == nullptr) return;
    OmbrelParameters& set = own();
    bool collected = false;
    if (engine_) {
        for (int32_t i = 0; i < kOmbrelParamCount; ++i) {
            if (!store->isSelectedForWrite(store, i)) continue;
            switch (i) {
            case kOmbrelRingRows:
                set.setFloat(i, static_cast<float>(engine_->capacity()));
                break;
            case kOmbrelBins:
                set.setFloat(i, static_cast<float>(kSpectrumBins));
                break;
            case kOmbrelSpectra: {
                const SpectrogramEngine::Collection c = engine_->collect();
                const int32_t rows = std::min(c.count, set.spectraCapacity());
                set.setArray(i, c.rows, rows * kSpectrumBins);
                set.setValue(kOmbrelSpectraCount, static_cast<float>(rows));
                collected = true;
                break;
            }
            case kOmbrelOverflow:
                set.setValue(i, engine_->overflow() ? 1.0f : 0.0f);
                break;
            case kOmbrelLowBand:
                set.setValue(i, engine_->lowBand() ? 1.0f : 0.0f);
                break;
            case kOmbrelView:
                set.setValue(i, static_cast<float>(engine_->view()));
                break;
            case kOmbrelChannels:
                set.setValue(i, static_cast<float>(engine_->channels()));
                break;
            case kOmbrelRunning:
                set.setValue(i, engine_->running() ? 1.0f : 0.0f);
                break;
            default:
                break;
            }
        }
    }
    for (int32_t i = 0; i < kOmbrelParamCount; ++i) {
        if (i != kOmbrelSpectra && store->isSelectedForWrite(store, i)) {
            store->setFloat(store, i, set.getFloat(i));
        }
    }
    if (store->isSelectedForWrite(store, kOmbrelSpectra)) {
        set.writeSpectraTo(store, settingValue(set.value(kOmbrelSpectraCount)));
    }
    // The block's row count travels with the block even when the store asked for it alone.
    if (collected && !store->isSelectedForWrite(store, kOmbrelSpectraCount)) {
        store->setFloat(store, kOmbrelSpectraCount, set.value(kOmbrelSpectraCount));
    }
}

int32_t OmbrelPlugin::checkFormat(int32_t channels, int32_t* outputChannels, int32_t* sampleRate,
                                  int32_t* extra) {
    if (channels < 1 || channels > SpectrogramEngine::kMaxChannels) return kStatusChannelsRefused;
    if (sampleRate != nullptr && *sampleRate > kMaxRateHz) return kStatusRateRefused;
    if (outputChannels != nullptr) *outputChannels = channels;
    if (extra != nullptr) *extra = 0;
    return 0;
}

int32_t OmbrelPlugin::open(OpenFormat& format) {
    if (format.channels < 1 || format.channels > SpectrogramEngine::kMaxChannels) {
        return kStatusChannelsRefused;
    }
    if (!SpectrogramEngine::supportsRate(format.sampleRate)) return kStatusRateRefused;
    format.extra = 0;
    std::unique_ptr<SpectrogramEngine> previous; // destroyed after the lock is left
    try {
        auto fresh = std::make_unique<SpectrogramEngine>(format.sampleRate, format.channels);
        ScopedLock lock(this->lock());
        previous = std::exchange(engine_, std::move(fresh));
        OmbrelParameters& set = own();
        set.setFloat(kOmbrelChannels, static_cast<float>(format.channels));
        set.setFloat(kOmbrelView, format.channels == 2 ? 1.0f : 0.0f);
        set.setFloat(kOmbrelBins, static_cast<float>(kSpectrumBins));
        engine_->setRunning(settingValue(set.value(kOmbrelRunning)) != 0);
        set.setMode(kModeAll);
        loadSettings(set.iface());
    } catch (...) {
        std::unique_ptr<SpectrogramEngine> failed;
        ScopedLock lock(this->lock());
        failed.swap(engine_);
        return kStatusOpenFailed;
    }
    return 0;
}

int32_t OmbrelPlugin::close() {
    std::unique_ptr<SpectrogramEngine> previous;
    {
        ScopedLock lock(this->lock());
        previous.swap(engine_);
    }
    return 0;
}

int32_t OmbrelPlugin::start() {
    ScopedLock lock(this->lock());
    if (engine_) engine_->reset();
    return 0;
}

int32_t OmbrelPlugin::stop() {
    return 0;
}

} // namespace orq::spectrogram

namespace orq {

AudioPlugin* createOmbrelPlugin(ParameterSet* parameters, HostCallback host, void* hostContext) {
    if (parameters != nullptr) {
        parameters = adoptParameterSetOrNull<spectrogram::OmbrelParameters>(parameters);
        if (parameters == nullptr) return nullptr;
    }
    return createPluginOrNull<spectrogram::OmbrelPlugin, spectrogram::OmbrelParameters>(
        parameters, host, hostContext);
}

ParameterSet* createOmbrelParameters() {
    return createParameterSetOrNull<spectrogram::OmbrelParameters>();
}

} // namespace orq
