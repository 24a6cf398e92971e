#include "matching/tessaline_plugin.h"

#include "runtime/plugin_glue.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <iterator>
#include <utility>

namespace orq::matching {

namespace {

const PluginIdentity kTessalineIdentity{1, fourCC("Qtsl"), "Orq Tessaline"};
constexpr int32_t kMaxChannels = 2;

// Order in which changed parameters reach the engine: the mode first (it rebuilds the structure
// and clears learned data), then the learn state, the learned data, and the curve inputs.
constexpr int32_t kApplyOrder[] = {
    kParamThirdOctave,   kParamDisplay,      kParamLearnTarget,    kParamLearn,
    kParamLearnedFrames, kParamAnalyze,      kParamSourceSpectrum, kParamDestSpectrum,
    kParamSliders,       kParamMatchSliders, kParamMorph,          kParamMatch,
};
// The highest rate index 19 sets the engine up for, as the set announces it.
constexpr float kHighestRateHz = 768000.0f;
// Stored rates below this are not rates (older states kept 0 or 1 here).
constexpr float kLowestLearnedRateHz = 1000.0f;

bool on(float v) {
    return v >= 0.5f;
}

LearnTarget targetOf(float v) {
    return on(v) ? LearnTarget::Source : LearnTarget::Destination;
}

int32_t toCount(float v) {
    if (!std::isfinite(v) || v <= 0.0f) return 0;
    return v >= 2.0e9f ? 2000000000 : int32_t(v);
}

TessalineParameterSet* asTessalineSet(ParameterSet* parameters) {
    return dynamic_cast<TessalineParameterSet*>(parameters);
}

} // namespace

TessalinePlugin::TessalinePlugin(ParameterSet* parameters, HostCallback host, void* hostContext)
    : AudioPlugin(kTessalineIdentity, parameters, host, hostContext),
      set_(asTessalineSet(parameters)), mappedSpectrum_(size_t(kMaxLearnedBins), 0.0f) {}

TessalinePlugin::~TessalinePlugin() = default;

int32_t TessalinePlugin::checkFormat(int32_t channels, int32_t* outputChannels, int32_t* sampleRate,
                                     int32_t* extra) {
    if (outputChannels != nullptr) *outputChannels = channels;
    if (extra != nullptr) *extra = 0;
    if (channels < 1 || channels > kMaxChannels) return kStatusChannelsRefused;
    if (sampleRate != nullptr && *sampleRate <= 0) return kStatusRateRefused;
    return 0;
}

int32_t TessalinePlugin::open(OpenFormat& format) {
    int32_t out = 0, rate = format.sampleRate, extra = 0;
    const int32_t check = checkFormat(format.channels, &out, &rate, &extra);
    if (check != 0) return check;
    std::unique_ptr<MatchEngine> previous; // destroyed after the lock is left
    try {
        int32_t bins = 0, displays = 0;
        {
            ScopedLock lock(this->lock());
            bins = int32_t(set_->value(kParamBinCount));
            displays = std::clamp(int32_t(set_->value(kParamDisplayCount)), 1, kMaxDisplayCount);
        }
        auto fresh =
            std::make_unique<MatchEngine>(format.sampleRate, format.channels, bins, displays);
        // Room for the longest tail either mode can hold.
        const int32_t longest =
            std::max(MatchEngine::latencyFor(format.sampleRate, format.channels, bins, false),
                     MatchEngine::latencyFor(format.sampleRate, format.channels, bins, true));
        std::vector<float> tailStorage(size_t(format.channels) * size_t(longest), 0.0f);
        std::vector<float*> tailChannels;
        for (int32_t c = 0; c < format.channels; ++c) {
            tailChannels.push_back(tailStorage.data() + size_t(c) * size_t(longest));
        }
        // A new engine takes every parameter, then the frame's flat setting.
        const std::vector<int32_t> all(std::begin(kApplyOrder), std::end(kApplyOrder));
        ScopedLock lock(this->lock());
        previous = std::exchange(engine_, std::move(fresh));
        tailStorage_.swap(tailStorage);
        tailChannels_.swap(tailChannels);
        set_->setValue(kParamSampleRate, float(format.sampleRate));
        applyToEngine(all, true);
        engine_->setFlat(bypassWithDelay() != 0.0f);
        publishFromEngine();
    } catch (...) {
        std::unique_ptr<MatchEngine> failed;
        ScopedLock lock(this->lock());
        failed.swap(engine_);
        return kStatusOpenFailed;
    }
    return 0;
}

int32_t TessalinePlugin::close() {
    std::unique_ptr<MatchEngine> previous;
    {
        ScopedLock lock(this->lock());
        previous.swap(engine_);
    }
    return 0;
}

int32_t TessalinePlugin::start() {
    ScopedLock lock(this->lock());
    if (engine_) engine_->reset();
    return 0;
}

int32_t TessalinePlugin::stop() {
    {
        ScopedLock lock(this->lock());
        if (!engine_) return 0;
    }
    if (hostRequest(kRequestHostMode, 0, nullptr) != kHostModeTakesTail) return 0;
    TailRecord tail{};
    {
        // Flush: the last latency() frames of the stream are still inside the engine.
        ScopedLock lock(this->lock());
        if (!engine_) return 0;
        const int32_t channels = int32_t(tailChannels_.size());
        const int32_t frames = std::min(
            engine_->latency(), int32_t(tailStorage_.size() / size_t(std::max(channels, 1))));
        std::fill(tailStorage_.begin(), tailStorage_.end(), 0.0f);
        engine_->process(tailChannels_.data(), tailChannels_.data(), frames);
        tail = TailRecord{tailChannels_.data(), frames, channels, 0};
    }
    // The host is called without the lock: it may deliver the tail downstream.
    if (hostRequest(kRequestTake, 0, &tail) == 0) return kStatusTailNotTaken;
    return 0;
}

int32_t TessalinePlugin::latency() {
    ScopedLock lock(this->lock());
    return engine_ ? engine_->latency() : 0;
}

void TessalinePlugin::setBypassWithDelay(float value) {
    ScopedLock lock(this->lock());
    if (engine_) engine_->setFlat(value != 0.0f);
}

int32_t TessalinePlugin::process(AudioBuffers& buffers) {
    const int32_t frames = buffers.frames;
    if (frames <= 0) return 0;
    ScopedLock lock(this->lock());
    if (engine_ && buffers.inputChannels >= engine_->channels() &&
        buffers.outputChannels >= engine_->channels()) {
        engine_->process(buffers.inputs(), buffers.outputs(), frames);
    } else if (buffers.outputs() != buffers.inputs()) {
        // Closed: the audio passes unchanged.
        const int32_t channels = std::min(buffers.inputChannels, buffers.outputChannels);
        for (int32_t c = 0; c < channels; ++c) {
            std::memmove(buffers.outputs()[c], buffers.inputs()[c], sizeof(float) * size_t(frames));
        }
    }
    return frames;
}

int32_t TessalinePlugin::processReplacing(AudioBuffers&) {
    return kStatusNotSupported5;
}

void TessalinePlugin::loadSettings(ParameterInterface* store) {
    if (store == nullptr || set_ == nullptr) return;
    // Which indices the store selects, before reading values changes its flags.
    std::vector<int32_t> selected;
    for (int32_t index : kApplyOrder) {
        if (store->isSelected(store, index)) selected.push_back(index);
    }
    // A new sample rate (index 19) sets the engine up again for that rate, its learned spectra
    // moved by frequency, as a format change does; a rate the engine already runs changes nothing.
    const bool newRate = store->isSelected(store, kParamSampleRate) != 0;
    copySelectedFromStore(*set_, store);
    if (!engine_) return;
    const float rate = set_->value(kParamSampleRate);
    if (newRate && std::isfinite(rate) && rate >= 1.0f && rate <= kHighestRateHz &&
        int32_t(rate) != engine_->sampleRate()) {
        OpenFormat format{int32_t(rate), engine_->channels(), 0};
        if (open(format) == 0) return;
        set_->setValue(kParamSampleRate, float(engine_ ? engine_->sampleRate() : sampleRate()));
        return;
    }
    applyToEngine(selected);
}

bool TessalinePlugin::keepsStoredSpectra() const {
    const int32_t rate = storedLearnedRate();
    if (rate == 0 || !engine_ || rate == engine_->sampleRate() || engine_->learner().learning())
        return false;
    for (int32_t index : {kParamSourceSpectrum, kParamDestSpectrum}) {
        const float* v = static_cast<const float*>(set_->arrayData(index));
        if (std::any_of(v, v + kMaxLearnedBins, [](float x) { return x > 0.0f; })) return true;
    }
    return false;
}

int32_t TessalinePlugin::storedLearnedRate() const {
    const float v = set_->value(kParamAnalyze);
    return std::isfinite(v) && v >= kLowestLearnedRateHz && v < 2.0e9f ? int32_t(v) : 0;
}

void TessalinePlugin::applyLearned(LearnTarget target) {
    MatchEngine& e = *engine_;
    const float* stored = static_cast<const float*>(
        set_->arrayData(target == LearnTarget::Source ? kParamSourceSpectrum : kParamDestSpectrum));
    const int32_t from = storedLearnedRate();
    const int32_t to = e.sampleRate();
    if (from == 0 || from == to) {
        e.setLearnedSpectrum(target, stored, kMaxLearnedBins);
        return;
    }
    // The stored spectra are in the layout of the mode the set asks for.
    const bool third = on(set_->value(kParamThirdOctave));
    BinFrequencies source, destination;
    if (!binFrequencies(from, third, e.equalBandFftSize(), &source) ||
        !binFrequencies(to, e.thirdOctave(), e.equalBandFftSize(), &destination) ||
        source.layout.thirdOctave != destination.layout.thirdOctave) {
        e.setLearnedSpectrum(target, nullptr, 0); // another layout: nothing to match with
        return;
    }
    // With one transform size, a sound's power per bin grows with the rate.
    std::fill(mappedSpectrum_.begin(), mappedSpectrum_.end(), 0.0f);
    mapSpectrumByFrequency(stored, source, mappedSpectrum_.data(), destination,
                           double(to) / double(from));
    e.setLearnedSpectrum(target, mappedSpectrum_.data(), kMaxLearnedBins);
}

void TessalinePlugin::applyToEngine(const std::vector<int32_t>& indices, bool opening) {
    MatchEngine& e = *engine_;
    auto floats = [&](int32_t index) { return static_cast<const float*>(set_->arrayData(index)); };
    for (int32_t index : indices) {
        const float v = set_->value(index);
        switch (index) {
        case kParamThirdOctave:
            if (on(v) != e.thirdOctave()) {
                const bool before = e.thirdOctave();
                e.setThirdOctave(on(v));
                set_->setValue(kParamLearnedBins, float(e.learnedBins()));
                // A real switch drops what was learned in the other layout.
                if (!opening && e.thirdOctave() != before) {
                    publishEngineSpectra_ = true;
                    set_->setValue(kParamSourceLearned, 0.0f);
                    set_->setValue(kParamDestLearned, 0.0f);
                }
            }
            break;
        case kParamDisplay:
            e.setDisplayOn(on(v));
            break;
        case kParamLearnTarget:
            e.setLearnTarget(targetOf(v));
            break;
        case kParamLearn:
            e.setLearning(on(v));
            if (on(v)) publishEngineSpectra_ = true;
            break;
        case kParamLearnedFrames:
            e.setLearnedFrames(targetOf(set_->value(kParamLearnTarget)), toCount(v));
            break;
        case kParamAnalyze:
            // The stored spectra are at this rate from now on: hand them over again.
            applyLearned(LearnTarget::Source);
            applyLearned(LearnTarget::Destination);
            publishEngineSpectra_ = !keepsStoredSpectra();
            break;
        case kParamSourceSpectrum:
            applyLearned(LearnTarget::Source);
            publishEngineSpectra_ = !keepsStoredSpectra();
            break;
        case kParamDestSpectrum:
            applyLearned(LearnTarget::Destination);
            publishEngineSpectra_ = !keepsStoredSpectra();
            break;
        case kParamSliders:
            e.setSliders(floats(index), kSliderCount);
            break;
        case kParamMatchSliders:
            e.setMatchSliders(floats(index), kSliderCount);
            break;
        case kParamMorph:
            e.setMorph(v);
            break;
        case kParamMatch:
            e.setMatch(on(v));
            break;
        default:
            break;
        }
    }
}

void TessalinePlugin::publishFromEngine() {
    if (!engine_ || set_ == nullptr) return;
    MatchEngine& e = *engine_;
    const SpectrumLearner& l = e.learner();
    const int32_t bins = e.learnedBins();
    // Spectra given at another rate stay as given (the engine holds them moved to its bins)
    // until the engine learns on top of them.
    if (publishEngineSpectra_) {
        e.learner().copySpectrum(LearnTarget::Source,
                                 static_cast<float*>(set_->arrayData(kParamSourceSpectrum)),
                                 kMaxLearnedBins);
        e.learner().copySpectrum(LearnTarget::Destination,
                                 static_cast<float*>(set_->arrayData(kParamDestSpectrum)),
                                 kMaxLearnedBins);
        set_->setValue(kParamAnalyze, float(e.sampleRate()));
    }
    if (l.frames(LearnTarget::Source) > 0) set_->setValue(kParamSourceLearned, 1.0f);
    if (l.frames(LearnTarget::Destination) > 0) set_->setValue(kParamDestLearned, 1.0f);
    set_->setValue(kParamLearnedFrames, float(l.frames(l.target())));
    float* curve = static_cast<float*>(set_->arrayData(kParamCurve));
    std::fill(curve, curve + kMaxLearnedBins, 0.0f);
    std::copy(e.curveDisplay().begin(), e.curveDisplay().begin() + bins, curve);
    // Display spectra: input then output, kMaxDisplayCount slots of kMaxLearnedBins each.
    float* spectra = static_cast<float*>(set_->arrayData(kParamSpectra));
    for (int32_t side = 0; side < 2; ++side) {
        for (int32_t slot = 0; slot < kMaxDisplayCount; ++slot) {
            float* dst = spectra + size_t((side * kMaxDisplayCount + slot) * kMaxLearnedBins);
            if (slot < l.displayCount()) {
                const float* src = l.display(side == 0 ? Side::Before : Side::After, slot);
                std::copy(src, src + bins, dst);
                std::fill(dst + bins, dst + kMaxLearnedBins, 0.0f);
            } else {
                std::fill(dst, dst + kMaxLearnedBins, 0.0f);
            }
        }
    }
    set_->setValue(kParamNewSpectra, float(e.learner().takeNewSpectra()));
    set_->setValue(kParamSampleRate, float(e.sampleRate()));
    set_->setValue(kParamLearnedBins, float(bins));
}

void TessalinePlugin::saveSettings(ParameterInterface* store) {
    if (store == nullptr || set_ == nullptr) return;
    publishFromEngine();
    writeSelectedToStore(*set_, store);
}

} // namespace orq::matching

namespace orq {

AudioPlugin* createTessalinePlugin(ParameterSet* parameters, HostCallback host, void* hostContext) {
    // Only a set of this plug-in is taken; another is released.
    if (parameters != nullptr && matching::asTessalineSet(parameters) == nullptr) {
        parameters->release();
        return nullptr;
    }
    return createPluginOrNull<matching::TessalinePlugin, matching::TessalineParameterSet>(
        parameters, host, hostContext);
}

ParameterSet* createTessalineParameters() {
    return createParameterSetOrNull<matching::TessalineParameterSet>();
}

} // namespace orq
