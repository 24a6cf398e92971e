#include "runtime/sample_conversion.h"

#include "runtime/float_lanes.h"

#include <cmath>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace orq {

namespace {
constexpr uint32_t kFloatExponentBits = 0x7f800000u; // all set: an infinity or not a number


bool isNonFinite(float x) {
    uint32_t bits = 0;
    std::memcpy(&bits, &x, sizeof bits);
    return (bits & kFloatExponentBits) == kFloatExponentBits;
}
} // namespace

PeakAndOvers peakAndOvers(const float* samples, int32_t count) {
    PeakAndOvers found{0.0f, 0};
    const auto take = [&found](float peak, int32_t overs) {
        found.peak = peak > found.peak ? peak : found.peak; // not-a-number never enters
        found.overs += overs;
    };
    int32_t i = 0;
#if defined(__SSE2__)
    // Two accumulators of four lanes each. _mm_max_ps(m, peak) is m > peak ? m : peak lane by lane,
    // so a not-a-number magnitude leaves the peak, and it compares false with full scale.
    const __m128 magnitudeMask = _mm_castsi128_ps(_mm_set1_epi32(0x7fffffff));
    const __m128 fullScale = _mm_set1_ps(1.0f);
    __m128 peak0 = _mm_setzero_ps(), peak1 = _mm_setzero_ps();
    __m128i overs0 = _mm_setzero_si128(), overs1 = _mm_setzero_si128();
    for (; i + 8 <= count; i += 8) {
        const __m128 m0 = _mm_and_ps(_mm_loadu_ps(samples + i), magnitudeMask);
        const __m128 m1 = _mm_and_ps(_mm_loadu_ps(samples + i + 4), magnitudeMask);
        peak0 = _mm_max_ps(m0, peak0);
        peak1 = _mm_max_ps(m1, peak1);
        overs0 = _mm_sub_epi32(overs0, _mm_castps_si128(_mm_cmpgt_ps(m0, fullScale)));
        overs1 = _mm_sub_epi32(overs1, _mm_castps_si128(_mm_cmpgt_ps(m1, fullScale)));
    }
    alignas(16) float lanePeaks[8];
    alignas(16) int32_t laneOvers[8];
    _mm_store_ps(lanePeaks, peak0);
    _mm_store_ps(lanePeaks + 4, peak1);
    _mm_store_si128(reinterpret_cast<__m128i*>(laneOvers), overs0);
    _mm_store_si128(reinterpret_cast<__m128i*>(laneOvers + 4), overs1);
    for (int32_t k = 0; k < 8; ++k) take(lanePeaks[k], laneOvers[k]);
#endif
    for (; i < count; ++i) {
        const float m = std::fabs(samples[i]);
        take(m, m > 1.0f ? 1 : 0);
    }
    return found;
}

int32_t replaceNonFinite(float* samples, int32_t count) {
    // Nearly always there is nothing to replace: a counting pass that only reads comes first,
    // four samples at a time (a lane whose exponent bits are all set counts -1).
    const LaneMask exponent = LaneMask{} + int32_t(kFloatExponentBits);
    LaneMask counts{};
    int32_t i = 0;
    for (; i + kFloatLaneCount <= count; i += kFloatLaneCount)
        counts += (reinterpret_cast<LaneMask>(loadFloatLanes(samples + i)) & exponent) == exponent;
    int32_t found = 0;
    for (int32_t k = 0; k < kFloatLaneCount; ++k)
        found -= counts[k];
    for (; i < count; ++i)
        found += isNonFinite(samples[i]) ? 1 : 0;
    if (found == 0) return 0;
    for (i = 0; i < count; ++i)
        if (isNonFinite(samples[i])) samples[i] = 0.0f;
    return found;
}

int16_t floatToInt16(float x) {
    const float scaled = x * kInt16OutScale;
    if (!(scaled > -kInt16OutLimit))
        return scaled <= -kInt16OutLimit ? int16_t(-32767) : int16_t(0); // NaN: 0
    if (scaled >= kInt16OutLimit) return int16_t(32767);
    return static_cast<int16_t>(scaled); // truncation toward zero
}

void convertIn(const void* interleaved, SampleFormat format, int32_t channelCount,
               float* const* channels, int32_t frames) {
    if (channelCount != 1 && channelCount != 2) return;
    if (format == SampleFormat::Float32) {
        const auto* in = static_cast<const float*>(interleaved);
        if (channelCount == 1) {
            std::memcpy(channels[0], in, size_t(frames) * sizeof(float));
            return;
        }
        float* left = channels[0];
        float* right = channels[1];
        for (int32_t i = 0; i < frames; ++i) {
            left[i] = in[2 * i];
            right[i] = in[2 * i + 1];
        }
        return;
    }
    const auto* in = static_cast<const int16_t*>(interleaved);
    if (channelCount == 1) {
        float* mono = channels[0];
        for (int32_t i = 0; i < frames; ++i)
            mono[i] = float(in[i]) * kInt16InScale;
        return;
    }
    float* left = channels[0];
    float* right = channels[1];
    for (int32_t i = 0; i < frames; ++i) {
        left[i] = float(in[2 * i]) * kInt16InScale;
        right[i] = float(in[2 * i + 1]) * kInt16InScale;
    }
}

void convertOut(float* const* channels, int32_t offset, SampleFormat format, int32_t channelCount,
                void* interleaved, int32_t frames) {
    if (channelCount != 1 && channelCount != 2) return;
    if (format == SampleFormat::Float32) {
        auto* out = static_cast<float*>(interleaved);
        if (channelCount == 1) {
            std::memmove(out, channels[0] + offset, size_t(frames) * sizeof(float));
            return;
        }
        const float* left = channels[0] + offset;
        const float* right = channels[1] + offset;
        for (int32_t i = 0; i < frames; ++i) {
            out[2 * i] = left[i];
            out[2 * i + 1] = right[i];
        }
        return;
    }
    auto* out = static_cast<int16_t*>(interleaved);
    if (channelCount == 1) {
        const float* mono = channels[0] + offset;
        for (int32_t i = 0; i < frames; ++i)
            out[i] = floatToInt16(mono[i]);
        return;
    }
    const float* left = channels[0] + offset;
    const float* right = channels[1] + offset;
    for (int32_t i = 0; i < frames; ++i) {
        out[2 * i] = floatToInt16(left[i]);
        out[2 * i + 1] = floatToInt16(right[i]);
    }
}

} // namespace orq
