#include "matching/matching_engine.h"

#include "dsp/nsp.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <stdexcept>

namespace orq::matching {

namespace {

constexpr int32_t kEqualFftSizes[] = {512, 1024};
constexpr int32_t kDefaultEqualFftSize = 1024;
constexpr int32_t kRateFftSize = 512;
// Extra room of the delay lines beyond their delay.
constexpr int32_t kDelayHeadroom = 2048;

int32_t equalFftSizeFor(int32_t binCount) {
    const int32_t n = 2 * (binCount - 1);
    for (int32_t size : kEqualFftSizes) {
        if (n == size) return size;
    }
    return kDefaultEqualFftSize;
}

std::vector<float*> carve(std::vector<float>& storage, int32_t channels, int32_t length) {
    storage.assign(size_t(channels) * size_t(length), 0.0f);
    std::vector<float*> ptrs;
    for (int32_t c = 0; c < channels; ++c)
        ptrs.push_back(storage.data() + size_t(c * length));
    return ptrs;
}

} // namespace

// The two-band multirate structure of third-octave mode.
struct MatchEngine::ThirdOctavePath {
    const RateFilter* rate = nullptr;
    int32_t decimation = 1;
    int32_t block = 0;      // B: samples per channel per block
    int32_t inputDelay = 0; // Dpre: decimation + crossover + interpolation group delays
    int32_t highDelay = 0;  // Dhigh: aligns the high band with the low band
    int32_t phase = 0;      // index of the next kept sample within the next block
    int32_t fill = 0;       // samples collected in the input frame
    std::unique_ptr<BlockConvolver> decimator;
    std::unique_ptr<BlockConvolver> interpolateUnfiltered;
    std::unique_ptr<BlockConvolver> interpolateMatched;
    std::unique_ptr<LowBandConvolver> low;
    std::unique_ptr<HighBandConvolver> high;
    std::unique_ptr<NSPFirState[]> crossover;
    int32_t crossoverCount = 0;
    std::unique_ptr<dsp::DelayLine> inputLine;
    std::unique_ptr<dsp::DelayLine> highLine;
    std::unique_ptr<FirDesigner> lowDesigner;
    std::unique_ptr<FirDesigner> highDesigner;
    // Full-rate buffers of one block per channel.
    std::vector<float> store[9];
    std::vector<float*> inFrame, outFrame, delayed, decimFiltered, stuffedLow, stuffedMatched,
        matchedUp, unfilteredUp, highOut;
    // Low-rate buffers.
    std::vector<float> lowStore[3];
    std::vector<float*> kept, crossed, matched;

    ~ThirdOctavePath() {
        for (int32_t c = 0; c < crossoverCount; ++c)
            nspFirnspFree(&crossover[size_t(c)]);
    }
};

MatchEngine::MatchEngine(int32_t sampleRateHz, int32_t channels, int32_t binCount,
                         int32_t displayCount)
    : sampleRateHz_(sampleRateHz), channels_(channels), equalFftSize_(equalFftSizeFor(binCount)),
      displayCount_(std::clamp(displayCount, 1, kMaxDisplayCount)),
      learner_(kMaxLearnedBins, kMaxDisplayCount) {
    if (channels != 1 && channels != 2) throw std::invalid_argument("1 or 2 channels");
    if (sampleRateHz <= 0) throw std::invalid_argument("sample rate");
    curveDisplay_.assign(size_t(kMaxLearnedBins), 0.0f);
    const size_t maxBins = size_t(std::max(equalFftSize_, kLowBandFftSize) / 2 + 1);
    curveDb_.assign(maxBins, 0.0);
    re_.assign(maxBins, 0.0f);
    im_.assign(maxBins, 0.0f);
    buildEqualBand();
}

MatchEngine::~MatchEngine() = default;

bool MatchEngine::supportsThirdOctave(int32_t sampleRateHz) {
    return findRateFilter(sampleRateHz) != nullptr;
}

int32_t MatchEngine::latencyFor(int32_t sampleRateHz, int32_t channels, int32_t binCount,
                                bool thirdOctave) {
    // A convolver delays by one frame (M or 2M new samples) plus half its history.
    auto convolverLatency = [&](int32_t fftSize, int32_t firLength) {
        const int32_t m = fftSize - (firLength - 1);
        return (channels == 1 ? 2 * m : m) + (firLength - 1) / 2;
    };
    const RateFilter* rate = findRateFilter(sampleRateHz);
    if (!thirdOctave || rate == nullptr) {
        return convolverLatency(equalFftSizeFor(binCount), kFirLength);
    }
    const int32_t history = rate->tapCount - 1;
    const int32_t block = (channels == 1 ? 2 : 1) * (kRateFftSize - history);
    const int32_t inputDelay = kCrossoverGroupDelay * rate->decimation + history;
    return block + rate->decimation * convolverLatency(kLowBandFftSize, kFirLength) + inputDelay;
}

void MatchEngine::buildEqualBand() {
    auto convolver = std::make_unique<EqualBandConvolver>(channels_, equalFftSize_, learner_);
    auto designer = std::make_unique<FirDesigner>(equalFftSize_);
    std::vector<float> taps(size_t(equalFftSize_), 0.0f);
    // Everything is allocated: switch over.
    third_.reset();
    equal_ = std::move(convolver);
    equalDesigner_ = std::move(designer);
    designedTaps_.swap(taps);
    learner_.configure(equalBandLayout(equalFftSize_), displayCount_);
    latency_ = equal_->latency();
    design();
    applyFlat();
}

void MatchEngine::buildThirdOctave() {
    const RateFilter* rate = findRateFilter(sampleRateHz_);
    auto path = std::make_unique<ThirdOctavePath>();
    path->rate = rate;
    path->decimation = rate->decimation;
    const BinLayout layout = thirdOctaveLayout(sampleRateHz_, rate->decimation);

    const int32_t k = channels_;
    path->decimator = std::make_unique<BlockConvolver>(k, kRateFftSize, rate->tapCount, rate->taps,
                                                       rate->tapCount);
    path->interpolateUnfiltered = std::make_unique<BlockConvolver>(k, kRateFftSize, rate->tapCount,
                                                                   rate->taps, rate->tapCount);
    path->interpolateMatched = std::make_unique<BlockConvolver>(k, kRateFftSize, rate->tapCount,
                                                                rate->taps, rate->tapCount);
    path->low = std::make_unique<LowBandConvolver>(k, learner_, layout, rate->lowBandLevelFactor);
    path->high = std::make_unique<HighBandConvolver>(k, learner_, layout);
    path->block = path->decimator->frameSize();
    path->inputDelay = kCrossoverGroupDelay * rate->decimation + rate->tapCount - 1;
    path->highDelay = rate->decimation * path->low->latency() - path->high->latency();

    path->crossover = std::make_unique<NSPFirState[]>(size_t(k));
    for (int32_t c = 0; c < k; ++c) {
        std::memset(&path->crossover[size_t(c)], 0, sizeof(NSPFirState));
        nspsFirInit(kCrossoverTaps, kCrossoverTapCount, nullptr, &path->crossover[size_t(c)]);
        if (path->crossover[size_t(c)].init != &path->crossover[size_t(c)]) throw std::bad_alloc();
        path->crossoverCount = c + 1;
    }
    path->inputLine = std::make_unique<dsp::DelayLine>(k, path->inputDelay, kDelayHeadroom);
    path->highLine = std::make_unique<dsp::DelayLine>(k, path->highDelay, kDelayHeadroom);
    path->lowDesigner = std::make_unique<FirDesigner>(kLowBandFftSize);
    path->highDesigner = std::make_unique<FirDesigner>(kHighBandFftSize);

    const int32_t b = path->block;
    std::vector<float*>* full[] = {&path->inFrame,       &path->outFrame,     &path->delayed,
                                   &path->decimFiltered, &path->stuffedLow,   &path->stuffedMatched,
                                   &path->matchedUp,     &path->unfilteredUp, &path->highOut};
    for (size_t i = 0; i < 9; ++i)
        *full[i] = carve(path->store[i], k, b);
    const int32_t lowLength = b / path->decimation + 1;
    std::vector<float*>* lowBufs[] = {&path->kept, &path->crossed, &path->matched};
    for (size_t i = 0; i < 3; ++i)
        *lowBufs[i] = carve(path->lowStore[i], k, lowLength);

    std::vector<float> taps(size_t(kLowBandFftSize + kHighBandFftSize), 0.0f);
    // Everything is allocated: switch over.
    equal_.reset();
    equalDesigner_.reset();
    third_ = std::move(path);
    designedTaps_.swap(taps);
    learner_.configure(layout, displayCount_);
    latency_ = third_->block + third_->decimation * third_->low->latency() + third_->inputDelay;
    design();
    applyFlat();
}

bool MatchEngine::setThirdOctave(bool on) {
    if (on == thirdOctave()) return on;
    if (on && !supportsThirdOctave(sampleRateHz_)) return thirdOctave();
    // A failed build leaves the old structure in place.
    try {
        if (on) {
            buildThirdOctave();
        } else {
            buildEqualBand();
        }
    } catch (const std::exception&) {
    }
    return thirdOctave();
}

void MatchEngine::reset() {
    learner_.markHighDue(0);
    if (equal_) equal_->reset();
    if (third_) {
        ThirdOctavePath& p = *third_;
        p.decimator->reset();
        p.interpolateUnfiltered->reset();
        p.interpolateMatched->reset();
        p.low->reset();
        p.high->reset();
        for (int32_t c = 0; c < p.crossoverCount; ++c)
            nspsFirSetDlyl(nullptr, &p.crossover[size_t(c)]);
        p.inputLine->reset();
        p.highLine->reset();
        for (auto& s : p.store)
            std::fill(s.begin(), s.end(), 0.0f);
        for (auto& s : p.lowStore)
            std::fill(s.begin(), s.end(), 0.0f);
        p.phase = 0;
        p.fill = 0;
    }
}

void MatchEngine::process(const float* const* in, float* const* out, int32_t frames) {
    if (frames <= 0 || in == nullptr || out == nullptr) return;
    if (equal_) {
        equal_->process(in, out, frames);
        return;
    }
    ThirdOctavePath& p = *third_;
    int32_t pos = 0;
    while (frames > 0) {
        const int32_t k = std::min(frames, p.block - p.fill);
        for (int32_t c = 0; c < channels_; ++c) {
            std::memcpy(p.inFrame[size_t(c)] + p.fill, in[c] + pos, sizeof(float) * size_t(k));
            std::memcpy(out[c] + pos, p.outFrame[size_t(c)] + p.fill, sizeof(float) * size_t(k));
        }
        p.fill += k;
        pos += k;
        frames -= k;
        if (p.fill == p.block) {
            processThirdOctaveBlock();
            p.fill = 0;
        }
    }
}

void MatchEngine::processThirdOctaveBlock() {
    ThirdOctavePath& p = *third_;
    const int32_t b = p.block;
    const int32_t d = p.decimation;
    const float gain = float(d); // zero-stuffing leaves 1/D of the level

    p.inputLine->process(p.inFrame.data(), p.delayed.data(), b);
    p.decimator->processFrame(p.inFrame.data(), p.decimFiltered.data());

    // Keep every D-th sample; the phase carries over so kept samples stay D apart.
    const int32_t phase0 = p.phase;
    int32_t count = 0;
    for (int32_t i = phase0; i < b; i += d)
        ++count;
    for (int32_t c = 0; c < channels_; ++c) {
        const float* src = p.decimFiltered[size_t(c)];
        float* dst = p.kept[size_t(c)];
        for (int32_t j = 0; j < count; ++j)
            dst[j] = src[phase0 + j * d];
    }
    p.phase = phase0 + count * d - b;

    if (count > 0) {
        for (int32_t c = 0; c < channels_; ++c) {
            nspsbFir(&p.crossover[size_t(c)], p.kept[size_t(c)], p.crossed[size_t(c)], count);
        }
        p.low->process(p.crossed.data(), p.matched.data(), count);
    }

    for (int32_t c = 0; c < channels_; ++c) {
        float* z1 = p.stuffedLow[size_t(c)];
        float* z2 = p.stuffedMatched[size_t(c)];
        std::fill(z1, z1 + b, 0.0f);
        std::fill(z2, z2 + b, 0.0f);
        for (int32_t j = 0; j < count; ++j) {
            z1[phase0 + j * d] = p.crossed[size_t(c)][j];
            z2[phase0 + j * d] = p.matched[size_t(c)][j];
        }
    }
    p.interpolateMatched->processFrame(p.stuffedMatched.data(), p.matchedUp.data());
    p.interpolateUnfiltered->processFrame(p.stuffedLow.data(), p.unfilteredUp.data());

    // High band: the delayed input minus the reconstructed, unmatched low band.
    for (int32_t c = 0; c < channels_; ++c) {
        float* a = p.delayed[size_t(c)];
        const float* lu = p.unfilteredUp[size_t(c)];
        for (int32_t i = 0; i < b; ++i)
            a[i] -= gain * lu[i];
    }
    p.high->process(p.delayed.data(), p.highOut.data(), b);
    p.highLine->process(p.highOut.data(), p.highOut.data(), b);

    for (int32_t c = 0; c < channels_; ++c) {
        const float* lm = p.matchedUp[size_t(c)];
        const float* hd = p.highOut[size_t(c)];
        float* o = p.outFrame[size_t(c)];
        for (int32_t i = 0; i < b; ++i)
            o[i] = gain * lm[i] + hd[i];
    }
}

namespace {
void copyGains(std::array<float, kBandCount>& dst, const float* gainsDb, int32_t count) {
    dst.fill(0.0f);
    if (gainsDb == nullptr) return;
    for (int32_t k = 0; k < std::min(count, kBandCount); ++k) {
        const float g = gainsDb[k];
        dst[size_t(k)] = std::isfinite(g) ? std::clamp(g, kSliderMinDb, kSliderMaxDb) : 0.0f;
    }
}
} // namespace

void MatchEngine::setSliders(const float* gainsDb, int32_t count) {
    copyGains(sliders_, gainsDb, count);
    design();
}

void MatchEngine::setMatchSliders(const float* gainsDb, int32_t count) {
    copyGains(matchSliders_, gainsDb, count);
    design();
}

void MatchEngine::setMatch(bool on) {
    match_ = on;
    design();
}

void MatchEngine::setMorph(float amount) {
    morph_ = std::isfinite(amount) ? std::clamp(amount, 0.0f, kMorphMax) : 1.0f;
    design();
}

void MatchEngine::setLearnedSpectrum(LearnTarget target, const float* values, int32_t count) {
    learner_.setSpectrum(target, values, count);
    design();
}

void MatchEngine::setLearnedFrames(LearnTarget target, int32_t frames) {
    learner_.setFrames(target, frames);
}

void MatchEngine::setDisplayOn(bool on) {
    learner_.setDisplayOn(on);
}

void MatchEngine::setFlat(bool on) {
    flat_ = on;
    applyFlat();
}

void MatchEngine::applyFlat() {
    if (equal_) equal_->setFlat(flat_);
    if (third_) {
        third_->low->setFlat(flat_);
        third_->high->setFlat(flat_);
    }
}

double MatchEngine::matchDb(int32_t index) const {
    if (index < 0 || index >= learner_.layout().total) return 0.0;
    return double(morph_) * matchTermDb(learner_.spectrum(LearnTarget::Source)[size_t(index)],
                                        learner_.spectrum(LearnTarget::Destination)[size_t(index)]);
}

void MatchEngine::design() {
    const float* gains = match_ ? matchSliders_.data() : sliders_.data();
    const bool showCurve = learner_.displayOn();
    double* curve = curveDb_.data();
    if (equal_) {
        const int32_t n = equalFftSize_;
        const int32_t half = n / 2;
        sliderCurveDb(gains, equalBandCentres(sampleRateHz_), 0, kBandCount - 1, n,
                      double(sampleRateHz_ / 2), curve);
        if (match_) {
            for (int32_t k = 0; k <= half; ++k)
                curve[k] += matchDb(k);
        }
        equalDesigner_->design(curve, re_.data(), im_.data(), designedTaps_.data());
        equal_->setFilter(re_.data(), im_.data());
        if (showCurve) {
            for (int32_t k = 0; k <= half && k < kMaxLearnedBins; ++k) {
                curveDisplay_[size_t(k)] =
                    re_[size_t(k)] * re_[size_t(k)] + im_[size_t(k)] * im_[size_t(k)];
            }
        }
        return;
    }

    ThirdOctavePath& p = *third_;
    const BinLayout& layout = learner_.layout();
    const BandCentres centres = thirdOctaveCentres();

    // Low band: 1024 points at the low rate.
    const int32_t lowHalf = kLowBandFftSize / 2;
    const double lowNyquistHz = 0.5 * double(sampleRateHz_) / p.decimation;
    sliderCurveDb(gains, centres, 0, kLowFilterLastBand, kLowBandFftSize, lowNyquistHz, curve);
    if (match_) {
        // Above the crossover bin the low band still passes some 150 Hz of audio before the
        // crossover filter has cut it: those bins keep the match of the last learned bin, so the
        // matched response runs on through the crossover instead of stepping back to 0 dB.
        const double heldDb = matchDb(layout.lowLastBin);
        for (int32_t k = 0; k <= lowHalf; ++k) {
            curve[k] += k <= layout.lowLastBin ? matchDb(k) : heldDb;
        }
    }
    p.lowDesigner->design(curve, re_.data(), im_.data(), designedTaps_.data());
    p.low->setFilter(re_.data(), im_.data());
    if (showCurve) {
        for (int32_t k = 0; k <= layout.lowLastBin; ++k) {
            curveDisplay_[size_t(k)] =
                re_[size_t(k)] * re_[size_t(k)] + im_[size_t(k)] * im_[size_t(k)];
        }
    }

    // High band: 512 points at the full rate.
    const int32_t highHalf = kHighBandFftSize / 2;
    sliderCurveDb(gains, centres, kHighFilterFirstBand, kBandCount - 1, kHighBandFftSize,
                  double(sampleRateHz_ / 2), curve);
    if (match_) {
        for (int32_t j = layout.highFirstBin; j < highHalf; ++j) {
            curve[j] += matchDb(layout.lowLastBin + 1 + (j - layout.highFirstBin));
        }
    }
    p.highDesigner->design(curve, re_.data(), im_.data(), designedTaps_.data() + kLowBandFftSize);
    p.high->setFilter(re_.data(), im_.data());
    if (showCurve) {
        for (int32_t j = layout.highFirstBin; j <= layout.highLastBin; ++j) {
            const size_t idx = size_t(layout.lowLastBin + 1 + (j - layout.highFirstBin));
            if (idx < curveDisplay_.size()) {
                curveDisplay_[idx] =
                    re_[size_t(j)] * re_[size_t(j)] + im_[size_t(j)] * im_[size_t(j)];
            }
        }
    }
}

} // namespace orq::matching
