#include "compressor/band_splitter.h"

#include "dsp/nsp.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace orq::compressor {

BandSplitter::BandSplitter(int32_t sampleRate, int32_t channels, int32_t blockSize,
                           int32_t bandCount, int32_t orderLimit)
    : BlockProcessor(channels, -1, blockSize), sampleRate_(sampleRate), channels_(channels),
      bandCount_(std::clamp<int32_t>(bandCount, 1, kMaxBands)), orderLimit_(orderLimit) {
    const int32_t frames = this->blockSize();
    // Edges spaced evenly on a logarithmic axis from the lowest edge to half the sample rate.
    const double span = kEdgeSpanFraction * sampleRate_;
    for (int32_t i = 0; i < bandCount_; ++i) {
        bandEdges_[i].lowerHz =
            i == 0 ? kLowestEdgeHz
                   : kLowestEdgeHz * std::pow(span, static_cast<double>(i) / bandCount_);
        if (i > 0) bandEdges_[i - 1].upperHz = bandEdges_[i].lowerHz;
    }
    bandEdges_[bandCount_ - 1].upperHz = 0.5 * sampleRate_;

    bandStorage_.assign(static_cast<size_t>(bandCount_) * channels_ * frames, 0.0f);
    bandChannels_.resize(bandCount_);
    for (int32_t b = 0; b < bandCount_; ++b) {
        bandChannels_[b].resize(channels_);
        for (int32_t ch = 0; ch < channels_; ++ch) {
            bandChannels_[b][ch] =
                bandStorage_.data() + (static_cast<size_t>(b) * channels_ + ch) * frames;
        }
        bandBlocks_[b] = bandChannels_[b].data();
    }
    for (int32_t k = 0; k + 1 < bandCount_; ++k) {
        crossovers_.push_back(std::make_unique<CrossoverFilter>(
            channels_, sampleRate_, frames, orderLimit_, bandEdges_[k + 1].lowerHz));
    }
    const int32_t tail = crossovers_.empty() ? 0 : crossovers_.front()->latencyFrames();
    for (int32_t k = 0; k + 1 < bandCount_; ++k) {
        remainderDelays_.push_back(std::make_unique<dsp::DelayLine>(channels_, tail, frames));
    }
    for (int32_t k = 0; k + 2 < bandCount_; ++k) {
        alignDelays_.push_back(
            std::make_unique<dsp::DelayLine>(channels_, (bandCount_ - 2 - k) * tail, frames));
    }
}

BandSplitter::~BandSplitter() = default;

void BandSplitter::setBorder(double borderHz, int32_t index) {
    if (index < 1 || index >= bandCount_ || !std::isfinite(borderHz)) return;
    bandEdges_[index - 1].upperHz = borderHz;
    bandEdges_[index].lowerHz = borderHz;
    crossovers_[index - 1]->setBorder(borderHz);
}

double BandSplitter::bandLowerEdge(int32_t index) const {
    if (index == bandCount_) return bandEdges_[bandCount_ - 1].upperHz;
    if (index < 0 || index > bandCount_) return 0.0;
    return bandEdges_[index].lowerHz;
}

void BandSplitter::setSolo(int32_t index) {
    soloBand_ = index;
    soloActive_ = index >= 0 && index < bandCount_;
}

int32_t BandSplitter::latency() const {
    const int32_t tail = crossovers_.empty() ? 0 : crossovers_.front()->latencyFrames();
    return blockSize() + (bandCount_ - 1) * tail;
}

void BandSplitter::reset() {
    BlockProcessor::reset();
    for (auto& c : crossovers_)
        c->reset();
    for (auto& d : remainderDelays_)
        d->reset();
    for (auto& d : alignDelays_)
        d->reset();
    std::fill(bandStorage_.begin(), bandStorage_.end(), 0.0f);
}

void BandSplitter::processBands(float* const* const*, int32_t) {}

void BandSplitter::processBlock(float* const* inputBlocks, float* const* outputBlocks) {
    const int32_t frames = blockSize();
    const size_t bytes = sizeof(float) * frames;
    // The top band's block holds the running remainder: it starts as the input, and each
    // crossover leaves (remainder delayed by its tail) - (its low part) in it.
    float* const* remainder = bandBlocks_[bandCount_ - 1];
    for (int32_t ch = 0; ch < channels_; ++ch)
        std::memcpy(remainder[ch], inputBlocks[ch], bytes);
    for (int32_t k = 0; k + 1 < bandCount_; ++k) {
        crossovers_[k]->process(remainder, bandBlocks_[k]);
        remainderDelays_[k]->process(remainder, frames);
        for (int32_t ch = 0; ch < channels_; ++ch) {
            if (passThrough_) {
                std::fill_n(bandBlocks_[k][ch], frames, 0.0f);
            } else {
                nspsbSub2(bandBlocks_[k][ch], remainder[ch], frames);
            }
        }
    }
    // Lower bands left the chain earlier: delay them to the top band's total delay.
    for (int32_t k = 0; k + 2 < bandCount_; ++k)
        alignDelays_[k]->process(bandBlocks_[k], frames);

    processBands(bandBlocks_.data(), frames);

    if (soloActive_ && !passThrough_) {
        for (int32_t ch = 0; ch < channels_; ++ch) {
            std::memcpy(outputBlocks[ch], bandBlocks_[soloBand_][ch], bytes);
        }
        return;
    }
    for (int32_t ch = 0; ch < channels_; ++ch) {
        std::memcpy(outputBlocks[ch], bandBlocks_[0][ch], bytes);
        for (int32_t b = 1; b < bandCount_; ++b) {
            nspsbAdd2(bandBlocks_[b][ch], outputBlocks[ch], frames);
        }
    }
}

} // namespace orq::compressor
