// Compiled with AVX2 (and without FMA, so every product is rounded before it is added) on
// x86-64; elsewhere only the answer that the kernels are not there. Nothing from the headers
// but constants is used here, so no inline function is emitted with the wider instructions.
#include "maximizer/maximizer_wide.h"

#include "dsp/cpu_features.h"
#include "maximizer/maximizer_engine.h"

#if defined(__AVX2__)
#include <immintrin.h>
#endif

namespace orq::maximizer::wide {

#if defined(__AVX2__)

bool available() {
    return dsp::hasAvx2Fma();
}

int32_t guardAndPower(const float* in, float* fresh, float* power, bool firstChannel, int32_t n) {
    const __m256 hi = _mm256_set1_ps(detail::kInputLimit);
    const __m256 lo = _mm256_set1_ps(-detail::kInputLimit);
    int32_t i = 0;
    for (; i + 8 <= n; i += 8) {
        const __m256 x = _mm256_loadu_ps(in + i);
        const __m256 held =
            _mm256_and_ps(_mm256_min_ps(_mm256_max_ps(x, lo), hi), _mm256_cmp_ps(x, x, _CMP_ORD_Q));
        _mm256_storeu_ps(fresh + i, held);
        const __m256 square = _mm256_mul_ps(held, held);
        _mm256_storeu_ps(power + i,
                         firstChannel ? square : _mm256_max_ps(square, _mm256_loadu_ps(power + i)));
    }
    return i;
}

int32_t exchangeRings(float* firstRing, const float* secondRing, const float* fresh, float* first,
                      float* second, float* peak, bool firstChannel, int32_t n) {
    const __m256 magnitude = _mm256_castsi256_ps(_mm256_set1_epi32(0x7fffffff));
    int32_t i = 0;
    for (; i + 8 <= n; i += 8) {
        const __m256 leaving = _mm256_loadu_ps(firstRing + i);
        _mm256_storeu_ps(firstRing + i, _mm256_loadu_ps(fresh + i));
        _mm256_storeu_ps(first + i, leaving);
        _mm256_storeu_ps(second + i, _mm256_loadu_ps(secondRing + i));
        const __m256 m = _mm256_and_ps(leaving, magnitude);
        _mm256_storeu_ps(peak + i, firstChannel ? m : _mm256_max_ps(m, _mm256_loadu_ps(peak + i)));
    }
    return i;
}

int32_t scaleInto(float* ring, const float* from, const float* gain, int32_t n) {
    int32_t i = 0;
    for (; i + 8 <= n; i += 8)
        _mm256_storeu_ps(ring + i,
                         _mm256_mul_ps(_mm256_loadu_ps(from + i), _mm256_loadu_ps(gain + i)));
    return i;
}

int32_t limitClipAndEmit(const float* leaving, const float* limiterGain, float limMakeup,
                         const float* curve, float clipScale, float* out, bool accumulate,
                         int32_t n) {
    const __m256 makeup = _mm256_set1_ps(limMakeup);
    const __m256 trim = _mm256_set1_ps(kLimiterOutputTrim);
    const __m256 outputScale = _mm256_set1_ps(kOutputScale);
    const __m256 signBit = _mm256_set1_ps(-0.0f);
    const __m256 knee = _mm256_set1_ps(kSoftClipKnee);
    const __m256 scale = _mm256_set1_ps(clipScale);
    const __m256 one = _mm256_set1_ps(1.0f);
    const __m256 fractionMax = _mm256_set1_ps(CurveClipper::kFractionMax);
    const __m256 steps = _mm256_set1_ps(static_cast<float>(kClipCurveSize - 1));
    int32_t i = 0;
    for (; i + 8 <= n; i += 8) {
        const __m256 gain =
            _mm256_mul_ps(_mm256_mul_ps(makeup, _mm256_loadu_ps(limiterGain + i)), trim);
        __m256 sample = _mm256_mul_ps(_mm256_loadu_ps(leaving + i), gain);
        // The clip curve, as CurveClipper::clip4 takes it.
        const __m256 mag = _mm256_andnot_ps(signBit, sample);
        const __m256 over = _mm256_cmp_ps(mag, knee, _CMP_NLE_UQ);
        if (_mm256_movemask_ps(over) != 0) {
            __m256 f = _mm256_mul_ps(_mm256_sub_ps(mag, knee), scale);
            const __m256 below = _mm256_cmp_ps(f, one, _CMP_LT_OS);
            f = _mm256_or_ps(_mm256_and_ps(below, f), _mm256_andnot_ps(below, fractionMax));
            f = _mm256_and_ps(f, over);
            const __m256i index = _mm256_cvttps_epi32(_mm256_mul_ps(steps, f));
            const __m256 at = _mm256_i32gather_ps(curve, index, 4);
            const __m256 next = _mm256_i32gather_ps(curve + 1, index, 4);
            const __m256 point = _mm256_div_ps(_mm256_cvtepi32_ps(index), steps);
            const __m256 y = _mm256_add_ps(
                at, _mm256_mul_ps(_mm256_mul_ps(_mm256_sub_ps(next, at), _mm256_sub_ps(f, point)),
                                  steps));
            __m256 clipped =
                _mm256_or_ps(_mm256_andnot_ps(signBit, y), _mm256_and_ps(signBit, sample));
            clipped = _mm256_and_ps(clipped, _mm256_cmp_ps(sample, sample, _CMP_ORD_Q));
            sample = _mm256_or_ps(_mm256_and_ps(over, clipped), _mm256_andnot_ps(over, sample));
        }
        const __m256 scaled = _mm256_mul_ps(sample, outputScale);
        _mm256_storeu_ps(out + i,
                         accumulate ? _mm256_add_ps(_mm256_loadu_ps(out + i), scaled) : scaled);
    }
    return i;
}

#else

bool available() {
    return false;
}
int32_t guardAndPower(const float*, float*, float*, bool, int32_t) {
    return 0;
}
int32_t exchangeRings(float*, const float*, const float*, float*, float*, float*, bool, int32_t) {
    return 0;
}
int32_t scaleInto(float*, const float*, const float*, int32_t) {
    return 0;
}
int32_t limitClipAndEmit(const float*, const float*, float, const float*, float, float*, bool,
                         int32_t) {
    return 0;
}

#endif

} // namespace orq::maximizer::wide
