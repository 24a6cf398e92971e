// The maximizer's soft clipper: magnitudes up to the knee (−5 dBFS) pass untouched; from the
// knee up to the clip-range top they are mapped along a tabulated curve onto knee … 1.0, and
// anything at or beyond the top comes out at the curve's end (not a number comes out as 0). It
// keeps no state of its own.
#pragma once

#include "maximizer/maximizer_tables.h"

#include <array>
#include <cmath>
#include <cstdint>
#if defined(__SSE2__)
#include <emmintrin.h>
#endif

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
    const float* curvePoints() const { return curve_->data(); }

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

#if defined(__SSE2__)
    // clip for four samples at once, the same to the bit.
    [[gnu::always_inline]] __m128 clip4(__m128 sample) const {
        const __m128 signBit = _mm_set1_ps(-0.0f);
        const __m128 magnitude = _mm_andnot_ps(signBit, sample);
        // Not a number is over the knee too, as in clip.
        const __m128 over = _mm_cmpnle_ps(magnitude, _mm_set1_ps(kSoftClipKnee));
        if (_mm_movemask_ps(over) == 0) [[likely]]
            return sample;
        __m128 f =
            _mm_mul_ps(_mm_sub_ps(magnitude, _mm_set1_ps(kSoftClipKnee)), _mm_set1_ps(scale_));
        const __m128 below = _mm_cmplt_ps(f, _mm_set1_ps(1.0f));
        f = _mm_or_ps(_mm_and_ps(below, f), _mm_andnot_ps(below, _mm_set1_ps(kFractionMax)));
        f = _mm_and_ps(f, over); // lanes under the knee read point 0 and are not used
        const __m128i index = _mm_cvttps_epi32(_mm_mul_ps(_mm_set1_ps(kSteps), f));
        alignas(16) int32_t i[4];
        _mm_store_si128(reinterpret_cast<__m128i*>(i), index);
        const ClipCurve& curve = *curve_;
        const __m128 at = _mm_setr_ps(curve[i[0]], curve[i[1]], curve[i[2]], curve[i[3]]);
        const __m128 next =
            _mm_setr_ps(curve[i[0] + 1], curve[i[1] + 1], curve[i[2] + 1], curve[i[3] + 1]);
        // n / kSteps divided here is the correctly rounded quotient kPointFraction holds.
        const __m128 point = _mm_div_ps(_mm_cvtepi32_ps(index), _mm_set1_ps(kSteps));
        const __m128 y =
            _mm_add_ps(at, _mm_mul_ps(_mm_mul_ps(_mm_sub_ps(next, at), _mm_sub_ps(f, point)),
                                      _mm_set1_ps(kSteps)));
        __m128 clipped = _mm_or_ps(_mm_andnot_ps(signBit, y), _mm_and_ps(signBit, sample));
        clipped = _mm_and_ps(clipped, _mm_cmpord_ps(sample, sample)); // not a number: 0
        return _mm_or_ps(_mm_and_ps(over, clipped), _mm_andnot_ps(over, sample));
    }
#endif

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
