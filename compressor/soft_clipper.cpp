#include "compressor/soft_clipper.h"

#include <algorithm>
#include <cmath>

namespace orq::compressor {

float SoftClipper::shape(float x) {
    const float a = std::min(std::fabs(x), kSoftClipInputRange);
    float y = a / kSoftClipInputRange;
    if (y > kSoftClipKnee) {
        const float over = y - kSoftClipKnee;
        y -= over * over * over;
    }
    y *= kSoftClipOutputScale;
    // Restores the sign (0 stays 0); NaN input comes out as 0.
    const float signedY = x > 0.0f ? y : (x < 0.0f ? -y : 0.0f);
    return std::clamp(signedY, -1.0f, 1.0f);
}

void SoftClipper::process(float* const* channels, int32_t frames) const {
    if (off_) return;
    for (int32_t ch = 0; ch < channels_; ++ch) {
        float* samples = channels[ch];
        for (int32_t i = 0; i < frames; ++i)
            samples[i] = shape(samples[i]);
    }
}

} // namespace orq::compressor
