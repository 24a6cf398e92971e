#include "runtime/block_processor.h"

#include <algorithm>
#include <cstring>

namespace orq {

BlockProcessor::BlockProcessor(int32_t inputChannels, int32_t outputChannels, int32_t blockSize)
    : inputChannels_(inputChannels),
      outputChannels_(outputChannels < 0 ? inputChannels : outputChannels), blockSize_(blockSize) {
    if (inputChannels_ == 1 && outputChannels_ == 1)
        variant_ = Variant::Mono;
    else if (inputChannels_ == outputChannels_)
        variant_ = Variant::Matched;
    else
        variant_ = Variant::Mixed;
    const size_t channels = size_t(inputChannels_) + size_t(outputChannels_);
    storage_.assign(channels * size_t(blockSize_), 0.0f);
    for (int32_t c = 0; c < inputChannels_; ++c)
        inputBlocks_.push_back(&storage_[size_t(c) * size_t(blockSize_)]);
    for (int32_t c = 0; c < outputChannels_; ++c)
        outputBlocks_.push_back(&storage_[size_t(inputChannels_ + c) * size_t(blockSize_)]);
}

void BlockProcessor::reset() {
    fill_ = 0;
    std::fill(storage_.begin(), storage_.end(), 0.0f);
}

// Copies k caller frames from offset into the input blocks at fill.
void BlockProcessor::copyIn(float* const* inputs, int32_t offset, int32_t k) {
    const size_t bytes = size_t(k) * sizeof(float);
    switch (variant_) {
    case Variant::Mono:
        std::memmove(inputBlocks_[0] + fill_, inputs[0] + offset, bytes);
        break;
    case Variant::Matched:
    case Variant::Mixed:
        for (int32_t c = 0; c < inputChannels_; ++c)
            std::memmove(inputBlocks_[size_t(c)] + fill_, inputs[c] + offset, bytes);
        break;
    }
}

// Copies k frames of the output blocks from fill to the caller's outputs at offset.
void BlockProcessor::copyOut(float* const* outputs, int32_t offset, int32_t k) {
    const size_t bytes = size_t(k) * sizeof(float);
    switch (variant_) {
    case Variant::Mono:
        std::memmove(outputs[0] + offset, outputBlocks_[0] + fill_, bytes);
        break;
    case Variant::Matched:
    case Variant::Mixed:
        for (int32_t c = 0; c < outputChannels_; ++c)
            std::memmove(outputs[c] + offset, outputBlocks_[size_t(c)] + fill_, bytes);
        break;
    }
}

void BlockProcessor::process(float* const* inputs, float* const* outputs, int32_t frames) {
    int32_t offset = 0;
    int32_t remaining = frames;
    // Input is read before output is written at each position, so in-place callers work.
    while (fill_ + remaining >= blockSize_) {
        const int32_t k = blockSize_ - fill_;
        copyIn(inputs, offset, k);
        copyOut(outputs, offset, k);
        processBlock(inputBlocks_.data(), outputBlocks_.data());
        offset += k;
        remaining -= k;
        fill_ = 0;
    }
    if (remaining > 0) {
        copyIn(inputs, offset, remaining);
        copyOut(outputs, offset, remaining);
        fill_ += remaining;
    }
}

} // namespace orq
