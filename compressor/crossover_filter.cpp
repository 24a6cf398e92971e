#include "compressor/crossover_filter.h"

#include "dsp/nsp.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace orq::compressor {

CrossoverFilter::CrossoverFilter(int32_t channels, int32_t sampleRate, int32_t blockSize,
                                 int32_t orderLimit, double borderHz)
    : channels_(std::max<int32_t>(channels, 0)), sampleRate_(sampleRate),
      blockSize_(std::max<int32_t>(blockSize, 2)), tailFrames_(blockSize_ / 2),
      orderLimit_(orderLimit),
      reversed_(static_cast<size_t>(channels_) * (blockSize_ + tailFrames_), 0.0f),
      backward_(static_cast<size_t>(channels_) * (blockSize_ + tailFrames_), 0.0f),
      carry_(static_cast<size_t>(channels_) * tailFrames_, 0.0f), backwardFilters_(channels_),
      forwardFilters_(channels_) {
    setBorder(borderHz);
}

bool CrossoverFilter::setBorder(double borderHz) {
    if (!std::isfinite(borderHz)) return false;
    const double highest = std::floor(kMaxCrossoverFraction * sampleRate_);
    const double passbandHz = std::clamp(std::trunc(borderHz), kMinCrossoverHz, highest);
    if (!designer_.designLowPass(passbandHz, passbandHz + kCrossoverTransitionHz, sampleRate_,
                                 kCrossoverRippleDb, kCrossoverAttenuationDb, orderLimit_)) {
        return false;
    }
    for (int32_t ch = 0; ch < channels_; ++ch) {
        backwardFilters_[ch].setDesign(designer_);
        forwardFilters_[ch].setDesign(designer_);
    }
    return true;
}

void CrossoverFilter::process(const float* const* in, float* const* lowOut) {
    const int32_t span = blockSize_ + tailFrames_;
    for (int32_t ch = 0; ch < channels_; ++ch) {
        float* reversed = reversed_.data() + static_cast<size_t>(ch) * span;
        float* backward = backward_.data() + static_cast<size_t>(ch) * span;
        float* carry = carry_.data() + static_cast<size_t>(ch) * tailFrames_;
        const float* x = in[ch];
        // The block time-reversed; the tail part of `reversed` stays zero.
        for (int32_t i = 0; i < blockSize_; ++i)
            reversed[i] = x[blockSize_ - 1 - i];
        backwardFilters_[ch].process(reversed, backward, span);
        // The tail of this pass reaches back into the previous block's last frames, which the
        // previous pass left in the carry; this block's first outputs wait for the next one.
        nspsbAdd2(carry, backward + blockSize_, tailFrames_);
        std::memcpy(carry, backward, sizeof(float) * tailFrames_);
        std::reverse(backward, backward + span);
        forwardFilters_[ch].process(backward, lowOut[ch], blockSize_);
    }
}

void CrossoverFilter::reset() {
    for (IirCascade& f : backwardFilters_)
        f.reset();
    for (IirCascade& f : forwardFilters_)
        f.reset();
    std::fill(reversed_.begin(), reversed_.end(), 0.0f);
    std::fill(backward_.begin(), backward_.end(), 0.0f);
    std::fill(carry_.begin(), carry_.end(), 0.0f);
}

} // namespace orq::compressor
