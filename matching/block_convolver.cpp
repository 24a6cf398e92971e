#include "matching/block_convolver.h"

#include "matching/curve_design.h"
#include "matching/own_fft.h"
#include "matching/spectrum_learner.h"

#include "dsp/nsp.h"

#include <algorithm>
#include <cstring>
#include <stdexcept>

namespace orq::matching {

namespace {

int32_t log2Of(int32_t n) {
    int32_t k = 0;
    while ((int32_t(1) << (k + 1)) <= n)
        ++k;
    return k;
}

// One measured frame per channel pair, or each block of a single channel as a frame of its own.
// Returns the frames measured.
int32_t measureFrames(SpectrumLearner& learner, Side side, float* const* slots, int32_t channels,
                      int32_t fftSize, const AnalysisBand& band, bool newFrame,
                      int32_t frameLimit) {
    if (channels == 1) {
        const int32_t frames = std::min(frameLimit, 2);
        for (int32_t f = 0; f < frames; ++f) {
            learner.measure(side, slots[f], nullptr, fftSize, band.firstBin, band.count, band.dest,
                            band.scale, newFrame, band.window);
        }
        return frames;
    }
    if (frameLimit < 1) return 0;
    learner.measure(side, slots[0], slots[1], fftSize, band.firstBin, band.count, band.dest,
                    band.scale, newFrame, band.window);
    return 1;
}

constexpr int32_t kAllFrames = 2;

} // namespace

BlockConvolver::BlockConvolver(int32_t channels, int32_t fftSize, int32_t firLength,
                               const float* taps, int32_t tapCount)
    : channels_(channels), fftSize_(fftSize), order_(log2Of(fftSize)), firLength_(firLength) {
    if (channels < 1 || (channels > 1 && channels % 2 != 0)) {
        throw std::invalid_argument("convolver channels must be 1 or even");
    }
    if (fftSize < 4 || (fftSize & (fftSize - 1)) != 0 || firLength < 1 || firLength >= fftSize) {
        throw std::invalid_argument("convolver needs a power-of-two transform longer than the FIR");
    }
    history_ = firLength - 1;
    blockSize_ = fftSize - history_;
    frameSize_ = channels == 1 ? 2 * blockSize_ : blockSize_;
    slotCount_ = channels == 1 ? 2 : channels;

    const size_t slotFloats = size_t(fftSize + 2);
    slotStorage_.assign(slotFloats * size_t(slotCount_), 0.0f);
    for (int32_t s = 0; s < slotCount_; ++s)
        slots_.push_back(slotStorage_.data() + s * slotFloats);
    historyStorage_.assign(size_t(channels * history_), 0.0f);
    designed_.assign(size_t(2 * bins()), 0.0);
    pureDelay_.assign(size_t(2 * bins()), 0.0);
    accIn_.assign(size_t(channels * frameSize_), 0.0f);
    accOut_.assign(size_t(channels * frameSize_), 0.0f);
    for (int32_t c = 0; c < channels; ++c) {
        accInPtr_.push_back(accIn_.data() + c * frameSize_);
        accOutPtr_.push_back(accOut_.data() + c * frameSize_);
    }
    fft_ = std::make_unique<OwnRealFft>(fftSize);
    scratch_.assign(size_t(fftSize), 0.0f);
    // Builds the library's tables for this order now rather than on the audio thread.
    nspsReal2Fft(nullptr, nullptr, order_, NSP_Init);

    std::vector<float> delayTaps(size_t(firLength), 0.0f);
    delayTaps[size_t(firLength / 2)] = kPureDelayTap;
    tapRe_.assign(size_t(bins()), 0.0f);
    tapIm_.assign(size_t(bins()), 0.0f);
    tapsToArrays(delayTaps.data(), firLength, tapRe_.data(), tapIm_.data());
    for (int32_t k = 0; k < bins(); ++k) {
        pureDelay_[size_t(k)] = tapRe_[size_t(k)];
        pureDelay_[size_t(bins() + k)] = tapIm_[size_t(k)];
    }
    if (taps != nullptr && tapCount > 0) {
        setFilterTaps(taps, tapCount);
    } else {
        designed_ = pureDelay_;
    }
}

BlockConvolver::~BlockConvolver() = default;

int32_t BlockConvolver::latency() const {
    return frameSize_ + history_ / 2;
}

float BlockConvolver::powerScale() const {
    const float inv = 1.0f / float(fftSize_);
    return inv * inv;
}

void BlockConvolver::setFilterMagnitude(const float* magnitude) {
    for (int32_t k = 0; k < bins(); ++k) {
        designed_[size_t(k)] = magnitude[k];
        designed_[size_t(bins() + k)] = 0.0f;
    }
}

void BlockConvolver::setFilter(const float* re, const float* im) {
    for (int32_t k = 0; k < bins(); ++k) {
        designed_[size_t(k)] = re[k];
        designed_[size_t(bins() + k)] = im[k];
    }
}

void BlockConvolver::tapsToArrays(const float* taps, int32_t count, float* re, float* im) {
    const int32_t n = fftSize_;
    const int32_t half = n / 2;
    std::fill(scratch_.begin(), scratch_.end(), 0.0f);
    std::copy(taps, taps + std::clamp(count, 0, n), scratch_.begin());
    fft_->forward(scratch_.data());
    re[0] = scratch_[0];
    im[0] = 0.0f;
    for (int32_t k = 1; k < half; ++k) {
        re[k] = scratch_[size_t(k)];
        im[k] = scratch_[size_t(n - k)];
    }
    re[half] = scratch_[size_t(half)];
    im[half] = 0.0f;
}

void BlockConvolver::setFilterTaps(const float* taps, int32_t count) {
    tapsToArrays(taps, count, tapRe_.data(), tapIm_.data());
    setFilter(tapRe_.data(), tapIm_.data());
}

void BlockConvolver::reset() {
    std::fill(slotStorage_.begin(), slotStorage_.end(), 0.0f);
    std::fill(historyStorage_.begin(), historyStorage_.end(), 0.0f);
    std::fill(accIn_.begin(), accIn_.end(), 0.0f);
    std::fill(accOut_.begin(), accOut_.end(), 0.0f);
    fill_ = 0;
}

void BlockConvolver::loadFrame(const float* const* in) {
    const int32_t h = history_, m = blockSize_;
    if (channels_ == 1) {
        float* x = slots_[0];
        float* y = slots_[1];
        float* hist = historyStorage_.data();
        std::memcpy(x, hist, sizeof(float) * size_t(h));
        std::memcpy(x + h, in[0], sizeof(float) * size_t(m));
        // y continues x: its history is the last H samples of x's signal.
        std::memcpy(y, x + m, sizeof(float) * size_t(h));
        std::memcpy(y + h, in[0] + m, sizeof(float) * size_t(m));
        std::memcpy(hist, y + m, sizeof(float) * size_t(h));
        return;
    }
    for (int32_t c = 0; c < channels_; ++c) {
        float* w = slots_[size_t(c)];
        float* hist = historyStorage_.data() + c * h;
        std::memcpy(w, hist, sizeof(float) * size_t(h));
        std::memcpy(w + h, in[c], sizeof(float) * size_t(m));
        std::memcpy(hist, w + m, sizeof(float) * size_t(h));
    }
}

void BlockConvolver::storeFrame(float* const* out) {
    const int32_t h = history_, m = blockSize_;
    if (channels_ == 1) {
        std::memcpy(out[0], slots_[0] + h, sizeof(float) * size_t(m));
        std::memcpy(out[0] + m, slots_[1] + h, sizeof(float) * size_t(m));
        return;
    }
    for (int32_t c = 0; c < channels_; ++c) {
        std::memcpy(out[c], slots_[size_t(c)] + h, sizeof(float) * size_t(m));
    }
}

void BlockConvolver::processFrame(const float* const* in, float* const* out) {
    loadFrame(in);
    for (int32_t s = 0; s < slotCount_; s += 2) {
        nspsReal2Fft(slots_[size_t(s)], slots_[size_t(s + 1)], order_, NSP_Forw);
    }
    spectralHook(slots_.data());
    for (int32_t s = 0; s < slotCount_; s += 2) {
        nspsCcs2Fft(slots_[size_t(s)], slots_[size_t(s + 1)], order_, NSP_Inv);
    }
    storeFrame(out);
}

void BlockConvolver::process(const float* const* in, float* const* out, int32_t frames) {
    int32_t pos = 0;
    while (frames > 0) {
        const int32_t k = std::min(frames, frameSize_ - fill_);
        for (int32_t c = 0; c < channels_; ++c) {
            // Input first: in and out may be the same array.
            std::memcpy(accInPtr_[size_t(c)] + fill_, in[c] + pos, sizeof(float) * size_t(k));
            std::memcpy(out[c] + pos, accOutPtr_[size_t(c)] + fill_, sizeof(float) * size_t(k));
        }
        fill_ += k;
        pos += k;
        frames -= k;
        if (fill_ == frameSize_) {
            processFrame(accInPtr_.data(), accOutPtr_.data());
            fill_ = 0;
        }
    }
}

namespace {
// The complex product in double precision; GCC builds an AVX2 variant chosen at load time.
// ThreadSanitizer would instrument that choice, which runs before its runtime is ready, so its
// builds take the default variant only.
#if defined(__SANITIZE_THREAD__)
void multiplySpectrum(float* x, const double* fr, const double* fi, int32_t b) {
#else
__attribute__((target_clones("avx2", "default"))) void
multiplySpectrum(float* x, const double* fr, const double* fi, int32_t b) {
#endif
    for (int32_t k = 0; k < b; ++k) {
        const double xr = x[2 * k], xi = x[2 * k + 1];
        const double hr = fr[k], hi = fi[k];
        x[2 * k] = float(xr * hr - xi * hi);
        x[2 * k + 1] = float(xr * hi + xi * hr);
    }
}
} // namespace

void BlockConvolver::multiplyByFilter(float* const* slots) {
    const int32_t b = bins();
    const double* fr = flat_ ? pureDelay_.data() : designed_.data();
    const double* fi = fr + b;
    for (int32_t s = 0; s < slotCount_; ++s)
        multiplySpectrum(slots[s], fr, fi, b);
}

void BlockConvolver::spectralHook(float* const* slots) {
    multiplyByFilter(slots);
}

EqualBandConvolver::EqualBandConvolver(int32_t channels, int32_t fftSize, SpectrumLearner& learner)
    : BlockConvolver(channels, fftSize, kFirLength), learner_(learner) {
    band_.firstBin = 0;
    band_.count = fftSize / 2 + 1;
    band_.dest = 0;
    band_.scale = 1.0;
}

void EqualBandConvolver::spectralHook(float* const* slots) {
    learner_.advanceDisplay();
    measureFrames(learner_, Side::Before, slots, channels(), fftSize(), band_, true, kAllFrames);
    multiplyByFilter(slots);
    measureFrames(learner_, Side::After, slots, channels(), fftSize(), band_, false, kAllFrames);
}

LowBandConvolver::LowBandConvolver(int32_t channels, SpectrumLearner& learner, const BinLayout& l,
                                   double levelFactor)
    : BlockConvolver(channels, kLowBandFftSize, kFirLength), learner_(learner) {
    band_.firstBin = 0;
    band_.count = l.lowLastBin + 1;
    band_.dest = 0;
    band_.scale = double(powerScale()) * levelFactor;
}

void LowBandConvolver::spectralHook(float* const* slots) {
    if (!learner_.displayOn()) {
        multiplyByFilter(slots);
        return;
    }
    learner_.advanceDisplay();
    const int32_t frames = measureFrames(learner_, Side::Before, slots, channels(), fftSize(),
                                         band_, true, kAllFrames);
    learner_.markHighDue(frames);
    multiplyByFilter(slots);
    measureFrames(learner_, Side::After, slots, channels(), fftSize(), band_, false, kAllFrames);
}

HighBandConvolver::HighBandConvolver(int32_t channels, SpectrumLearner& learner, const BinLayout& l)
    : BlockConvolver(channels, kHighBandFftSize, kFirLength), learner_(learner) {
    band_.firstBin = l.highFirstBin;
    band_.count = l.highLastBin - l.highFirstBin + 1;
    band_.dest = l.lowLastBin + 1;
    band_.scale = double(powerScale());
}

void HighBandConvolver::spectralHook(float* const* slots) {
    if (!learner_.displayOn()) {
        multiplyByFilter(slots);
        return;
    }
    // Every frame's input is gathered; the frames the low band marked get the gathered mean.
    if (channels() == 1) {
        for (int32_t f = 0; f < 2; ++f) {
            learner_.gatherHigh(slots[f], nullptr, fftSize(), band_.firstBin, band_.count,
                                band_.scale, band_.window);
        }
    } else {
        learner_.gatherHigh(slots[0], slots[1], fftSize(), band_.firstBin, band_.count, band_.scale,
                            band_.window);
    }
    const int32_t due = learner_.takeHighDue();
    if (due > 0) learner_.addGatheredHigh(band_.dest, due);
    multiplyByFilter(slots);
    if (due > 0) {
        measureFrames(learner_, Side::After, slots, channels(), fftSize(), band_, false, due);
    }
}

} // namespace orq::matching
