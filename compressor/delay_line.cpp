#include "compressor/delay_line.h"

#include <algorithm>
#include <cstring>

namespace orq::compressor {

DelayLine::DelayLine(int32_t channels, int32_t delayFrames, int32_t maxBlockFrames)
    : channels_(std::max<int32_t>(channels, 0)), delayFrames_(std::max<int32_t>(delayFrames, 0)),
      maxBlockFrames_(std::max<int32_t>(maxBlockFrames, 0)),
      storage_(static_cast<size_t>(channels_) * (delayFrames_ + maxBlockFrames_), 0.0f) {}

void DelayLine::process(float* const* blocks, int32_t frames) {
    if (delayFrames_ == 0) return;
    frames = std::clamp<int32_t>(frames, 0, maxBlockFrames_);
    const size_t stride = static_cast<size_t>(delayFrames_) + maxBlockFrames_;
    for (int32_t ch = 0; ch < channels_; ++ch) {
        float* line = storage_.data() + ch * stride;
        // line = [history | block]: the output is its first frames, the new history its last.
        std::memcpy(line + delayFrames_, blocks[ch], sizeof(float) * frames);
        std::memcpy(blocks[ch], line, sizeof(float) * frames);
        std::memmove(line, line + frames, sizeof(float) * delayFrames_);
    }
}

void DelayLine::reset() {
    std::fill(storage_.begin(), storage_.end(), 0.0f);
}

} // namespace orq::compressor
