#include "compressor/crossover_filter.h"

#include "dsp/lane4.h"
#include "dsp/nsp.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace orq::compressor {

namespace {

using dsp::kLaneCount;
using dsp::loadLane4;
using dsp::reversedLanes;
using dsp::storeLane4;

// out[i] = x[n - 1 - i], four at a time.
void copyReversed(const float* x, float* out, int32_t n) {
    int32_t i = 0;
    for (; i + kLaneCount <= n; i += kLaneCount)
        storeLane4(out + i, reversedLanes(loadLane4(x + n - kLaneCount - i)));
    for (; i < n; ++i)
        out[i] = x[n - 1 - i];
}

// Reverses p[0, n) in place: four from each end swapped at a time, the middle one by one.
void reverseInPlace(float* p, int32_t n) {
    int32_t low = 0;
    int32_t high = n - kLaneCount;
    for (; low + kLaneCount <= high; low += kLaneCount, high -= kLaneCount) {
        const auto front = loadLane4(p + low);
        storeLane4(p + low, reversedLanes(loadLane4(p + high)));
        storeLane4(p + high, reversedLanes(front));
    }
    std::reverse(p + low, p + std::max(low, high + kLaneCount));
}

} // namespace

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
    if (!designCrossover(designer_, borderHz, sampleRate_, orderLimit_)) return false;
    for (int32_t ch = 0; ch < channels_; ++ch) {
        backwardFilters_[ch].setDesign(designer_);
        forwardFilters_[ch].setDesign(designer_);
    }
    return true;
}

void CrossoverFilter::process(const float* const* in, float* const* lowOut) {
    const int32_t span = blockSize_ + tailFrames_;
    // Channels go in pairs through the cascades: two independent recursions in one loop.
    for (int32_t ch = 0; ch < channels_; ch += 2) {
        const int32_t count = std::min(2, channels_ - ch);
        for (int32_t c = ch; c < ch + count; ++c) {
            float* reversed = reversed_.data() + static_cast<size_t>(c) * span;
            const float* x = in[c];
            // The block time-reversed; the tail part of `reversed` stays zero.
            copyReversed(x, reversed, blockSize_);
        }
        float* reversed0 = reversed_.data() + static_cast<size_t>(ch) * span;
        float* backward0 = backward_.data() + static_cast<size_t>(ch) * span;
        if (count == 2) {
            IirCascade::processPair(backwardFilters_[ch], reversed0, backward0,
                                    backwardFilters_[ch + 1], reversed0 + span, backward0 + span,
                                    span);
        } else {
            backwardFilters_[ch].process(reversed0, backward0, span);
        }
        for (int32_t c = ch; c < ch + count; ++c) {
            float* backward = backward_.data() + static_cast<size_t>(c) * span;
            float* carry = carry_.data() + static_cast<size_t>(c) * tailFrames_;
            // The tail of this pass reaches back into the previous block's last frames, which
            // the previous pass left in the carry; this block's first outputs wait for the
            // next one.
            nspsbAdd2(carry, backward + blockSize_, tailFrames_);
            std::memcpy(carry, backward, sizeof(float) * tailFrames_);
            reverseInPlace(backward, span);
        }
        if (count == 2) {
            IirCascade::processPair(forwardFilters_[ch], backward0, lowOut[ch],
                                    forwardFilters_[ch + 1], backward0 + span, lowOut[ch + 1],
                                    blockSize_);
        } else {
            forwardFilters_[ch].process(backward0, lowOut[ch], blockSize_);
        }
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
