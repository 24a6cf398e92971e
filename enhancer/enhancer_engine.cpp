#include "enhancer/enhancer_engine.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>
#include <stdexcept>

#if defined(__SSE__)
#include <xmmintrin.h>
#endif

namespace orq::enhancer {

namespace {

// Lanes of the four-lane harmonic path: band A (square) and band B (cube) for two channels.
constexpr int32_t kBandALane0 = 0;
constexpr int32_t kBandBLane0 = 2;
// Frames of padding after each work buffer, so the FIR may run in whole groups of four.
constexpr int32_t kGroupPadding = kLaneCount;

// Treats denormal floats as zero while processing: decaying recursive filters would otherwise
// slow to a crawl. The caller's mode is restored on exit.
class DenormalGuard {
  public:
#if defined(__SSE__)
    static constexpr unsigned kFlushZeroBits = 0x8040; // flush-to-zero, denormals-are-zero
    DenormalGuard() : saved_(_mm_getcsr()) {
        _mm_setcsr(saved_ | kFlushZeroBits);
    }
    ~DenormalGuard() {
        _mm_setcsr(saved_);
    }

  private:
    unsigned saved_;
#endif
};

// out = b x out + a x in, skipping multiplications by exactly 1 and terms weighted by 0 (so a
// silent path never leaks into the output, not even as a non-finite value).
void mixInto(float* out, float b, const float* in, float a, int32_t frames) {
    if (a == 0.0f) {
        if (b == 1.0f) return;
        if (b == 0.0f) {
            std::fill(out, out + frames, 0.0f);
            return;
        }
        for (int32_t i = 0; i < frames; ++i)
            out[i] *= b;
        return;
    }
    if (b == 0.0f) {
        if (a == 1.0f)
            std::copy(in, in + frames, out);
        else
            for (int32_t i = 0; i < frames; ++i)
                out[i] = a * in[i];
        return;
    }
    if (b == 1.0f) {
        if (a == 1.0f)
            for (int32_t i = 0; i < frames; ++i)
                out[i] += in[i];
        else
            for (int32_t i = 0; i < frames; ++i)
                out[i] += a * in[i];
        return;
    }
    if (a == 1.0f)
        for (int32_t i = 0; i < frames; ++i)
            out[i] = b * out[i] + in[i];
    else
        for (int32_t i = 0; i < frames; ++i)
            out[i] = b * out[i] + a * in[i];
}

bool allZero(const float* const* inputs, int32_t channels, int32_t frames) {
    for (int32_t c = 0; c < channels; ++c) {
        const float* in = inputs[c];
        for (int32_t i = 0; i < frames; ++i)
            if (in[i] != 0.0f) return false;
    }
    return true;
}

} // namespace

bool EnhancerEngine::supportsSampleRate(int32_t sampleRateHz) {
    return std::find(kHighpassBaseRatesHz.begin(), kHighpassBaseRatesHz.end(), sampleRateHz) !=
           kHighpassBaseRatesHz.end();
}

int32_t EnhancerEngine::lookaheadFramesFor(int32_t sampleRateHz) {
    return int32_t(int64_t(std::max(sampleRateHz, 0)) * kLookaheadAt44100 / 44100);
}

int32_t EnhancerEngine::latencyFramesFor(int32_t sampleRateHz) {
    return (kHighpassFrameTaps + 1) / 2 - 1 + lookaheadFramesFor(sampleRateHz);
}

EnhancerEngine::EnhancerEngine(int32_t sampleRateHz, int32_t channels)
    : sampleRateHz_(sampleRateHz), channels_(std::clamp(channels, 1, kMaxEnhancerChannels)),
      lookaheadFrames_(lookaheadFramesFor(sampleRateHz)),
      latencyFrames_(latencyFramesFor(sampleRateHz)),
      baseRateIndex_(highpassBaseRateIndex(sampleRateHz)), compressors_(lookaheadFrames_) {
    if (!supportsSampleRate(sampleRateHz))
        throw std::invalid_argument("enhancer: unsupported sample rate");
    for (int32_t c = 0; c < channels_; ++c) {
        input_[size_t(c)].assign(size_t(latencyFrames_ + kMaxSubBlockFrames + kGroupPadding), 0.0f);
        highpassed_[size_t(c)].assign(size_t(lookaheadFrames_ + kMaxSubBlockFrames + kGroupPadding),
                                      0.0f);
        harmonics_[size_t(c)].assign(size_t(kMaxSubBlockFrames), 0.0f);
    }
    const double rate = sampleRateHz_;
    for (int32_t lane = 0; lane < kLaneCount; ++lane) {
        const bool bandA = lane < kBandBLane0;
        const ButterworthDesign highPass =
            designButterworth(FilterKind::HighPass, kBandFilterOrder,
                              bandA ? kBandAHighPassHz : kBandBHighPassHz, rate);
        const ButterworthDesign lowPass = designButterworth(
            FilterKind::LowPass, kBandFilterOrder, bandA ? kBandALowPassHz : kBandBLowPassHz, rate);
        bandFilters_.setLane(lane, 0, highPass);
        bandFilters_.setLane(lane, highPass.sectionCount, lowPass);
        outputFilter_.setLane(
            lane, 0,
            designButterworth(FilterKind::HighPass, kOutputFilterOrder, kOutputHighPassHz, rate));
    }
    applySettings(settings_);
    reset();
}

// Settings ------------------------------------------------------------------------------------

void EnhancerEngine::setInputGainDb(float db) {
    if (!std::isfinite(db)) return;
    settings_.inputGainDb = db;
    inputGain_ = float(std::pow(10.0, settings_.inputGainDb / 20.0));
}

void EnhancerEngine::setSolo(float solo) {
    if (!std::isfinite(solo)) return;
    settings_.solo = solo;
    dryWeight_ = settings_.solo;
}

void EnhancerEngine::setMix(float mix) {
    if (!std::isfinite(mix)) return;
    settings_.mix = mix;
    harmonicWeight_ = settings_.mix;
    highpassWeight_ = settings_.hpMix * settings_.mix;
}

void EnhancerEngine::setHpMix(float hpMix) {
    if (!std::isfinite(hpMix)) return;
    settings_.hpMix = hpMix;
    highpassWeight_ = settings_.hpMix * settings_.mix;
}

void EnhancerEngine::setCornerHz(float cornerHz) {
    if (std::isnan(cornerHz)) return;
    const int32_t index = highpassCornerIndex(cornerHz);
    settings_.cornerHz = float((index + 1) * kHighpassCornerStepHz);
    const HighpassDesign& design = kHighpassDesigns[baseRateIndex_][index];
    const std::array<double, kHighpassFrameTaps> taps = centredHighpassTaps(design);
    for (size_t k = 0; k < taps.size(); ++k)
        highpassTaps_[k] = float(taps[k]);
    highpassTapCount_ = design.tapCount;
    firstHighpassTap_ =
        kHighpassCentreTap - (std::clamp(design.tapCount, 1, kHighpassFrameTaps) - 1) / 2;
}

void EnhancerEngine::setDrive(float drive) {
    if (!std::isfinite(drive)) return;
    settings_.drive = drive;
}

void EnhancerEngine::setKick(bool kick) {
    settings_.kick = kick;
    updateCompressors();
}

void EnhancerEngine::setDensity(float density) {
    if (!std::isfinite(density)) return;
    settings_.density = density;
    updateCompressors();
}

void EnhancerEngine::setSecond(float amount) {
    if (!std::isfinite(amount)) return;
    settings_.second = amount;
    const float k2 = kSecondOrderWeight * settings_.second;
    productWeights_[kBandALane0] = k2;
    productWeights_[kBandALane0 + 1] = k2;
}

void EnhancerEngine::setThird(float amount) {
    if (!std::isfinite(amount)) return;
    settings_.third = amount;
    const float k3 = kThirdOrderWeight * settings_.third;
    productWeights_[kBandBLane0] = k3;
    productWeights_[kBandBLane0 + 1] = k3;
}

void EnhancerEngine::updateCompressors() {
    const double thresholdDb = densityThresholdDb(settings_.density);
    const DensityCompressorDesign bandA =
        designDensityCompressor(thresholdDb, kBandARatio, settings_.kick, sampleRateHz_);
    const DensityCompressorDesign bandB =
        designDensityCompressor(thresholdDb, kBandBRatio, settings_.kick, sampleRateHz_);
    for (int32_t lane = 0; lane < kLaneCount; ++lane)
        compressors_.setLane(lane, lane < kBandBLane0 ? bandA : bandB);
}

void EnhancerEngine::applySettings(const EnhancerSettings& s) {
    setInputGainDb(s.inputGainDb);
    setDrive(s.drive);
    setMix(s.mix);
    setSecond(s.second);
    setThird(s.third);
    setSolo(s.solo);
    setKick(s.kick);
    setDensity(s.density);
    setCornerHz(s.cornerHz);
    setHpMix(s.hpMix);
}

// Processing ----------------------------------------------------------------------------------

void EnhancerEngine::reset() {
    for (int32_t c = 0; c < channels_; ++c) {
        std::fill(input_[size_t(c)].begin(), input_[size_t(c)].end(), 0.0f);
        std::fill(highpassed_[size_t(c)].begin(), highpassed_[size_t(c)].end(), 0.0f);
        std::fill(harmonics_[size_t(c)].begin(), harmonics_[size_t(c)].end(), 0.0f);
    }
    bandFilters_.reset();
    compressors_.reset();
    outputFilter_.reset();
    silentFrames_ = 0;
}

void EnhancerEngine::process(const float* const* inputs, float* const* outputs, int32_t frames) {
    if (inputs == nullptr || outputs == nullptr || frames <= 0) return;
    DenormalGuard denormals;

    // Silence bypass: once more than Ld silent frames have gone through, every delay line
    // holds zeros and the output is exact zeros; the filters keep their states for the next
    // non-zero sample.
    if (allZero(inputs, channels_, frames)) {
        const bool longSilence = silentFrames_ > latencyFrames_;
        silentFrames_ =
            std::min<int64_t>(silentFrames_ + frames, std::numeric_limits<int32_t>::max());
        if (longSilence) {
            for (int32_t c = 0; c < channels_; ++c)
                std::fill(outputs[c], outputs[c] + frames, 0.0f);
            return;
        }
    } else {
        silentFrames_ = 0;
    }

    for (int32_t offset = 0; offset < frames; offset += kMaxSubBlockFrames) {
        const int32_t n = std::min(kMaxSubBlockFrames, frames - offset);
        if (bypassWithDelay_)
            bypassSubBlock(inputs, outputs, offset, n);
        else
            processSubBlock(inputs, outputs, offset, n);
    }
    if (bypassWithDelay_) {
        // The filters decay on silence while the effect is bypassed.
        for (int32_t c = 0; c < channels_; ++c)
            std::fill(highpassed_[size_t(c)].begin(), highpassed_[size_t(c)].end(), 0.0f);
        for (int32_t done = 0; done < latencyFrames_; done += kMaxSubBlockFrames)
            runHarmonics(std::min(kMaxSubBlockFrames, latencyFrames_ - done), true);
    }
    recoverFromNonFinite();
}

void EnhancerEngine::processSubBlock(const float* const* inputs, float* const* outputs,
                                     int32_t offset, int32_t frames) {
    // x = input gain x input, behind Ld frames of history. The input is read completely
    // before any output is written, so outputs may be the inputs.
    for (int32_t c = 0; c < channels_; ++c) {
        const float* in = inputs[c] + offset;
        float* x = input_[size_t(c)].data() + latencyFrames_;
        if (inputGain_ == 0.0f)
            std::fill(x, x + frames, 0.0f);
        else if (inputGain_ == 1.0f)
            std::copy(in, in + frames, x);
        else
            for (int32_t i = 0; i < frames; ++i)
                x[i] = inputGain_ * in[i];
    }
    for (int32_t c = 0; c < channels_; ++c)
        runHighpass(c, frames);
    runHarmonics(frames, false);
    for (int32_t c = 0; c < channels_; ++c) {
        float* out = outputs[c] + offset;
        // Dry (delayed by Ld) and high-passed (delayed by 19 + D = Ld) parts.
        std::copy(input_[size_t(c)].data(), input_[size_t(c)].data() + frames, out);
        mixInto(out, dryWeight_, highpassed_[size_t(c)].data(), highpassWeight_, frames);
        mixInto(out, 1.0f, harmonics_[size_t(c)].data(), harmonicWeight_, frames);
    }
    shiftHistories(frames);
}

void EnhancerEngine::bypassSubBlock(const float* const* inputs, float* const* outputs,
                                    int32_t offset, int32_t frames) {
    for (int32_t c = 0; c < channels_; ++c) {
        const float* in = inputs[c] + offset;
        float* line = input_[size_t(c)].data();
        std::copy(in, in + frames, line + latencyFrames_);
        std::copy(line, line + frames, outputs[c] + offset);
    }
    shiftHistories(frames);
}

void EnhancerEngine::runHighpass(int32_t channel, int32_t frames) {
    // y[n] = sum_k h[k] x[n - k] over the 39-tap frame; the taps are symmetric about the centre,
    // so pairs of inputs share one multiplication.
    const float* x = input_[size_t(channel)].data() + latencyFrames_;
    float* y = highpassed_[size_t(channel)].data() + lookaheadFrames_;
    const float* h = highpassTaps_.data();
    const Lane4 centre = splat(h[kHighpassCentreTap]);
    for (int32_t n = 0; n < frames; n += kLaneCount) {
        Lane4 acc = centre * loadLane4(x + n - kHighpassCentreTap);
        for (int32_t k = firstHighpassTap_; k < kHighpassCentreTap; ++k)
            acc += splat(h[k]) *
                   (loadLane4(x + n - k) + loadLane4(x + n - (kHighpassFrameTaps - 1 - k)));
        storeLane4(y + n, acc);
    }
}

void EnhancerEngine::runHarmonics(int32_t frames, bool silent) {
    const float* y0 = highpassed_[0].data() + lookaheadFrames_;
    const float* y1 = channels_ > 1 ? highpassed_[1].data() + lookaheadFrames_ : nullptr;
    float* g0 = harmonics_[0].data();
    float* g1 = channels_ > 1 ? harmonics_[1].data() : nullptr;
    const Lane4 drive = splat(settings_.drive);
    const Lane4 ones = splat(1.0f);
    for (int32_t n = 0; n < frames; ++n) {
        Lane4 v = splat(0.0f);
        if (!silent) {
            const float a = y0[n];
            const float b = y1 != nullptr ? y1[n] : 0.0f;
            v = Lane4{a, b, a, b} * drive;
        }
        const Lane4 band = compressors_.process(bandFilters_.process(v));
        // Lanes of band A carry k2 A^2, lanes of band B carry k3 B^3.
        const Lane4 cubeFactor = __builtin_shufflevector(ones, band, 0, 1, 6, 7);
        const Lane4 products = productWeights_ * band * band * cubeFactor;
        const Lane4 sum = products + __builtin_shufflevector(products, products, 2, 3, 0, 1);
        const Lane4 g = outputFilter_.process(sum);
        if (!silent) {
            g0[n] = g[0];
            if (g1 != nullptr) g1[n] = g[1];
        }
    }
}

void EnhancerEngine::shiftHistories(int32_t frames) {
    for (int32_t c = 0; c < channels_; ++c) {
        float* x = input_[size_t(c)].data();
        std::memmove(x, x + frames, sizeof(float) * size_t(latencyFrames_));
        float* y = highpassed_[size_t(c)].data();
        std::memmove(y, y + frames, sizeof(float) * size_t(lookaheadFrames_));
    }
}

void EnhancerEngine::recoverFromNonFinite() {
    // A non-finite input sample would otherwise stay in the recursive states for good; the
    // delay lines and the FIR history flush themselves.
    if (bandFilters_.isFinite() && compressors_.isFinite() && outputFilter_.isFinite()) return;
    bandFilters_.reset();
    compressors_.reset();
    outputFilter_.reset();
}

} // namespace orq::enhancer
