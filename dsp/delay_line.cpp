#include "dsp/delay_line.h"

#include <algorithm>
#include <cstring>

namespace orq::dsp {

DelayLine::DelayLine(int32_t channels, int32_t delayFrames, int32_t chunkFrames)
    : channels_(std::max<int32_t>(channels, 0)), delayFrames_(std::max<int32_t>(delayFrames, 0)),
      ringFrames_(delayFrames_ + std::max<int32_t>(chunkFrames, 1)),
      ring_(static_cast<size_t>(channels_) * static_cast<size_t>(ringFrames_), 0.0f) {}

void DelayLine::reset() {
    std::fill(ring_.begin(), ring_.end(), 0.0f);
    writeIndex_ = 0;
}

void DelayLine::process(const float* const* in, float* const* out, int32_t frames) {
    if (delayFrames_ == 0) {
        for (int32_t c = 0; c < channels_; ++c) {
            if (out[c] != in[c]) std::memmove(out[c], in[c], sizeof(float) * size_t(frames));
        }
        return;
    }
    // Copies n samples into the ring from position pos on, wrapping at its end, and back.
    auto toRing = [this](float* ring, int32_t pos, const float* source, int32_t n) {
        const int32_t first = std::min(n, ringFrames_ - pos);
        std::memcpy(ring + pos, source, sizeof(float) * size_t(first));
        std::memcpy(ring, source + first, sizeof(float) * size_t(n - first));
    };
    auto fromRing = [this](const float* ring, int32_t pos, float* target, int32_t n) {
        const int32_t first = std::min(n, ringFrames_ - pos);
        std::memcpy(target, ring + pos, sizeof(float) * size_t(first));
        std::memcpy(target + first, ring, sizeof(float) * size_t(n - first));
    };
    int32_t w = writeIndex_;
    for (int32_t pos = 0; pos < frames;) {
        // A pass writes before it reads; at most ringFrames - delayFrames samples, so the
        // samples written never overtake the oldest ones still to be read.
        const int32_t n = std::min(frames - pos, ringFrames_ - delayFrames_);
        int32_t r = w - delayFrames_;
        if (r < 0) r += ringFrames_;
        for (int32_t c = 0; c < channels_; ++c) {
            float* ring = ring_.data() + size_t(c) * size_t(ringFrames_);
            toRing(ring, w, in[c] + pos, n);
            fromRing(ring, r, out[c] + pos, n);
        }
        w += n;
        if (w >= ringFrames_) w -= ringFrames_;
        pos += n;
    }
    writeIndex_ = w;
}

} // namespace orq::dsp
