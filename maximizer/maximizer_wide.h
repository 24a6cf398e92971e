// 8-wide (AVX2) kernels of the maximizer engine's block passes, chosen at run time. Each does
// the leading multiple of 8 of its n elements exactly as the 4-wide pass of the same purpose in
// maximizer_engine.h does (the same operations per element in the same order, no fused
// multiply-add), returns how many it did and leaves the rest to that pass.
#pragma once

#include <cstdint>

namespace orq::maximizer::wide {

// True when the processor runs the kernels; without it every kernel must not be called.
bool available();

// The guard of the input and the detector power (see detail::guardAndPower).
int32_t guardAndPower(const float* in, float* fresh, float* power, bool firstChannel, int32_t n);
// One contiguous stretch of both rings (see detail::exchangeRings): firstRing's samples go to
// first (their magnitudes into peak), fresh enters it, secondRing's samples go to second.
int32_t exchangeRings(float* firstRing, const float* secondRing, const float* fresh, float* first,
                      float* second, float* peak, bool firstChannel, int32_t n);
// ring = from × gain over one contiguous stretch.
int32_t scaleInto(float* ring, const float* from, const float* gain, int32_t n);
// The output pass of one channel (not bypassed): the limiter gain limMakeup × gain × trim meets
// the leaving samples, the clip curve (curve points, range scale) and the output scale, written
// or added to out.
int32_t limitClipAndEmit(const float* leaving, const float* limiterGain, float limMakeup,
                         const float* curve, float clipScale, float* out, bool accumulate,
                         int32_t n);

} // namespace orq::maximizer::wide
