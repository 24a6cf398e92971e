// Butterworth high-pass and low-pass filters as cascades of second-order sections, designed in
// double precision (biquad_cascade.h runs them).
#pragma once

#include <array>
#include <cstdint>

namespace orq::enhancer {

enum class FilterKind { HighPass, LowPass };

constexpr int32_t kMaxButterworthOrder = 8;
constexpr int32_t kMaxButterworthSections = kMaxButterworthOrder / 2;

// One second-order section; see BiquadState (biquad_cascade.h) for the difference equation.
struct BiquadDesign {
    double b0 = 1.0, b1 = 0.0, b2 = 0.0;
    double a1 = 0.0, a2 = 0.0;
};

struct ButterworthDesign {
    int32_t sectionCount = 0;
    std::array<BiquadDesign, kMaxButterworthSections> sections{};
};

// [any-thread] no allocation. Order (even, 2 ... kMaxButterworthOrder; odd or out-of-range orders
// are limited to that) and corner (-3 dB) in Hz; the corner is kept strictly between 0 and half the
// sample rate.
ButterworthDesign designButterworth(FilterKind kind, int32_t order, double cornerHz,
                                    double sampleRateHz);

// [any-thread] |H| in dB of the cascade at a frequency, evaluated in double precision.
double butterworthGainDb(const ButterworthDesign& design, double frequencyHz, double sampleRateHz);

} // namespace orq::enhancer
