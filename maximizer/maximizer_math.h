// Small numeric helpers shared by the maximizer's stages: one-pole smoothing and dB to gain.
#pragma once

#include <cmath>
#include <cstdint>

namespace orq::maximizer {

// A one-pole coefficient c = exp(−n / (T × samples per ms)) with its complement 1 − c.
struct Smoother {
    float keep;
    float take;
};

// The coefficient for a time constant of timeMs with updates every samplesBetweenUpdates.
inline Smoother onePole(double timeMs, double samplesBetweenUpdates, double samplesPerMs) {
    const float keep =
        static_cast<float>(std::exp(-samplesBetweenUpdates / (timeMs * samplesPerMs)));
    return Smoother{keep, 1.0f - keep};
}

// Moves value towards target: s[n] = c·s[n−1] + (1 − c)·target.
[[gnu::always_inline]] inline float toward(float value, float target, const Smoother& s) {
    return s.keep * value + s.take * target;
}

// The same with a coefficient held as a plain value.
[[gnu::always_inline]] inline float toward(float value, float target, float keep) {
    return keep * value + (1.0f - keep) * target;
}

// 10^(db/20) as an exponential, the cheaper of the two.
constexpr float kNepersPerDb = 0.11512925465f; // ln(10) / 20
inline float dbToGain(float db) {
    return std::exp(db * kNepersPerDb);
}

// The slot of a table for a value already scaled to slots, truncated: 0 for anything below 1
// and for not a number, last for anything at or beyond it. The float is bounded before it is
// converted, so no value, however large, is out of the integer's range.
inline int32_t slotIndex(float scaled, int32_t last) {
    if (!(scaled > 0.0f)) return 0;
    if (scaled >= static_cast<float>(last)) return last;
    return static_cast<int32_t>(scaled);
}

// Decaying smoothers are set to 0 below this to keep clear of subnormal arithmetic.
constexpr float kSubnormalGuard = 1e-25f;

} // namespace orq::maximizer
