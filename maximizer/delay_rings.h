// Per-channel delay rings of one length: the look-ahead the maximizer's level stage and limiter
// need. The caller keeps the write position, so rings of several stages can share it.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <vector>

namespace orq::maximizer {

class DelayRings {
  public:
    // [ui-thread] allocates channels rings of lengthFrames samples, all zero.
    void allocate(int32_t channels, int32_t lengthFrames) {
        lengthFrames_ = lengthFrames;
        samples_.assign(static_cast<size_t>(channels) * static_cast<size_t>(lengthFrames), 0.0f);
    }
    // [ui-thread] frees.
    void release() {
        samples_.clear();
        samples_.shrink_to_fit();
        lengthFrames_ = 0;
    }
    // [any-thread] no allocation.
    void clear() { std::fill(samples_.begin(), samples_.end(), 0.0f); }

    int32_t lengthFrames() const { return lengthFrames_; }
    // The ring of one channel; position p of it holds the sample written lengthFrames ago.
    float* channel(int32_t c) { return samples_.data() + static_cast<size_t>(c) * lengthFrames_; }

    // Stores x at position at of a ring and returns the sample it replaces.
    [[gnu::always_inline]] static float exchange(float* ring, int32_t at, float x) {
        const float delayed = ring[at];
        ring[at] = x;
        return delayed;
    }

  private:
    std::vector<float> samples_;
    int32_t lengthFrames_ = 0;
};

} // namespace orq::maximizer
