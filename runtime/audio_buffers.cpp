#include "runtime/audio_buffers.h"

#include <algorithm>

namespace orq {

AudioBuffers::AudioBuffers(int32_t inputChannelCount, int32_t outputChannelCount,
                           int32_t capacityFrames, BufferLayout bufferLayout, int32_t rate)
    : sampleRate(rate), inputChannels(inputChannelCount), outputChannels(outputChannelCount),
      capacity(capacityFrames), layout(bufferLayout) {
    const bool separate = layout == BufferLayout::Separate;
    const int32_t arrays = inputChannels + (separate ? outputChannels : 0);
    storage_ = new float[static_cast<size_t>(arrays) * static_cast<size_t>(capacity)]();
    inputs_ = new float*[static_cast<size_t>(std::max(inputChannels, 1))];
    for (int32_t c = 0; c < inputChannels; ++c)
        inputs_[c] = storage_ + size_t(c) * size_t(capacity);
    if (separate) {
        outputs_ = new float*[static_cast<size_t>(std::max(outputChannels, 1))];
        for (int32_t c = 0; c < outputChannels; ++c)
            outputs_[c] = storage_ + size_t(inputChannels + c) * size_t(capacity);
    }
}

AudioBuffers::AudioBuffers(RawTag, void* rawInput, void* rawOutput, int32_t frameCount)
    : sampleRate(0), inputChannels(1), outputChannels(1), capacity(frameCount), frames(frameCount),
      outputFrames(frameCount), layout(BufferLayout::Separate), raw_(true) {
    rawPointers_[0] = static_cast<float*>(rawInput);
    rawPointers_[1] = static_cast<float*>(rawOutput);
    inputs_ = &rawPointers_[0];
    outputs_ = &rawPointers_[1];
}

AudioBuffers::~AudioBuffers() {
    if (raw_) return;
    delete[] outputs_;
    delete[] inputs_;
    delete[] storage_;
}

int32_t AudioBuffers::setFrames(int32_t n) {
    if (n > capacity || n < 0) return 0;
    outputFrames = n;
    if (layout == BufferLayout::Shared) frames = n;
    return 1;
}

} // namespace orq
