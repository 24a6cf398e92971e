// A fixed whole-frame delay for per-channel sample blocks; its history survives between calls.
#pragma once

#include <cstdint>
#include <vector>

namespace orq::dsp {

class DelayLine {
  public:
    // [ui-thread] allocates a ring of delayFrames + chunkFrames per channel. Calls may pass any
    // number of frames; more than chunkFrames are moved in several passes.
    DelayLine(int32_t channels, int32_t delayFrames, int32_t chunkFrames);

    // [audio-thread] no allocation. out[c][t] = in[c][t - delayFrames] across calls; in and out
    // may be the same arrays.
    void process(const float* const* in, float* const* out, int32_t frames);
    // [audio-thread] no allocation. Delays each channel's block in place.
    void process(float* const* blocks, int32_t frames) { process(blocks, blocks, frames); }
    // [audio-thread] clears the history.
    void reset();

    int32_t channels() const { return channels_; }
    int32_t delayFrames() const { return delayFrames_; }

  private:
    int32_t channels_;
    int32_t delayFrames_;
    int32_t ringFrames_; // per channel: delayFrames + chunkFrames
    int32_t writeIndex_ = 0;
    std::vector<float> ring_;
};

} // namespace orq::dsp
