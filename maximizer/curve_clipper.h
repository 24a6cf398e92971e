// The maximizer's soft clipper: magnitudes up to the knee (−5 dBFS) pass untouched; from the
// knee up to the clip-range top they are mapped along a tabulated curve onto knee … 1.0, and
// anything at or beyond the top comes out at the curve's end (not a number comes out as 0). It
// keeps no state of its own.
#pragma once

#include "maximizer/maximizer_tables.h"

#include <array>
#include <cmath>
#include <cstdint>

namespace orq::maximizer {

class CurveClipper {
  public:
    static constexpr float kFractionMax = 0.9999f;

    explicit CurveClipper(const MaximizerTables& tables)
        : tables_(tables), curve_(&tables.clipCurves[0]) {}

    // [any-thread] no allocation; take effect at the next sample. clipTop: the linear
    // magnitude (≥ 1) mapped onto the curve's end; curve: 0 … kClipCurveCount − 1.
    void setRange(float clipTop) { scale_ = 1.0f / (clipTop - kSoftClipKnee); }
    void setCurve(int32_t curve) { curve_ = &tables_.clipCurves[curve]; }
    float scale() const { return scale_; }

    [[gnu::always_inline]] float clip(float sample) const {
        const float magnitude = std::fabs(sample);
        if (magnitude <= kSoftClipKnee) return sample;
        if (std::isnan(magnitude)) return 0.0f; // not a number: silence, never an index
        float f = (magnitude - kSoftClipKnee) * scale_;
        if (!(f < 1.0f)) f = kFractionMax;                  // also infinite magnitudes
        const int32_t i = static_cast<int32_t>(kSteps * f); // f > 0: truncation is the floor
        const ClipCurve& curve = *curve_;
        const float y = curve[i] + (curve[i + 1] - curve[i]) * (f - kPointFraction[i]) * kSteps;
        return std::copysign(y, sample);
    }

  private:
    // Curve point n sits at fraction n / kSteps; the quotients are taken once here, so the
    // interpolation needs no division (the values are the same correctly rounded floats).
    static constexpr float kSteps = static_cast<float>(kClipCurveSize - 1);
    static constexpr std::array<float, kClipCurveSize> kPointFraction = [] {
        std::array<float, kClipCurveSize> fraction{};
        for (int32_t n = 0; n < kClipCurveSize; ++n)
            fraction[n] = static_cast<float>(n) / kSteps;
        return fraction;
    }();

    const MaximizerTables& tables_;
    const ClipCurve* curve_;
    float scale_ = 1.0f;
};

} // namespace orq::maximizer
