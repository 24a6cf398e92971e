// A fixed whole-frame delay for blocks of per-channel samples; its history survives between
// blocks.
#pragma once

#include <cstdint>
#include <vector>

namespace orq::compressor {

class DelayLine {
  public:
    // [ui-thread] allocates. Blocks passed to process hold at most maxBlockFrames frames.
    DelayLine(int32_t channels, int32_t delayFrames, int32_t maxBlockFrames);

    // [audio-thread] no allocation. Delays each channel's block in place.
    void process(float* const* blocks, int32_t frames);
    // [audio-thread] clears the history.
    void reset();

    int32_t delayFrames() const { return delayFrames_; }

  private:
    int32_t channels_;
    int32_t delayFrames_;
    int32_t maxBlockFrames_;
    // Per channel delayFrames + maxBlockFrames floats: the history, then room for one block.
    std::vector<float> storage_;
};

} // namespace orq::compressor
