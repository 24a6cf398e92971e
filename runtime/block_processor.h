// Re-blocks any number of frames into fixed blocks for engines that work block-wise.
#pragma once

#include <cstdint>
#include <vector>

namespace orq {

// Output frame t is frame t mod blockSize of the block processed before: the processor
// delays by exactly blockSize frames, and the first blockSize output frames after a reset
// are zeros.
class BlockProcessor {
  public:
    // [ui-thread] allocates. outputChannels -1 means the same as inputChannels.
    BlockProcessor(int32_t inputChannels, int32_t outputChannels, int32_t blockSize);
    virtual ~BlockProcessor() = default;

    // [audio-thread] no allocation. inputs/outputs are the caller's per-channel arrays; they
    // may be the same arrays (in place).
    void process(float* const* inputs, float* const* outputs, int32_t frames);
    // [audio-thread] fill = 0, blocks zeroed.
    void reset();

    int32_t inputChannels() const { return inputChannels_; }
    int32_t outputChannels() const { return outputChannels_; }
    int32_t blockSize() const { return blockSize_; }

  protected:
    // [audio-thread] the engine's work on one full block; no allocation.
    virtual void processBlock(float* const* inputBlocks, float* const* outputBlocks) = 0;

  private:
    enum class Variant { Mono, Matched, Mixed }; // chosen once from the channel layout
    void copyIn(float* const* inputs, int32_t offset, int32_t frames);
    void copyOut(float* const* outputs, int32_t offset, int32_t frames);

    int32_t inputChannels_;
    int32_t outputChannels_;
    int32_t blockSize_;
    int32_t fill_ = 0;
    Variant variant_;
    std::vector<float> storage_;
    std::vector<float*> inputBlocks_;
    std::vector<float*> outputBlocks_;
};

} // namespace orq
