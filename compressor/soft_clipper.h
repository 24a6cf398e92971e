// The output soft clipper: a cubic knee above 40 % of its input range, scaled so that its
// peak output stays just below full scale.
#pragma once

#include <cstdint>

namespace orq::compressor {

constexpr float kSoftClipInputRange = 1.49619f; // input magnitude mapped onto [0, 1]
constexpr float kSoftClipKnee = 0.4f;           // of the mapped range
constexpr float kSoftClipOutputScale = 1.2738854f;

class SoftClipper {
  public:
    explicit SoftClipper(int32_t channels) : channels_(channels) {}

    // [ui-thread] no allocation.
    void setOff(bool off) { off_ = off; }
    bool isOff() const { return off_; }
    // [audio-thread] no allocation. In place; nothing happens while off.
    void process(float* const* channels, int32_t frames) const;
    // One sample through the curve (on).
    static float shape(float x);

  private:
    int32_t channels_;
    bool off_ = true;
};

} // namespace orq::compressor
