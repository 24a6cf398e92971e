#include "enhancer/highpass_designs.h"

#include <algorithm>
#include <cmath>
#include <numeric>

namespace orq::enhancer {

int32_t highpassBaseRateIndex(int32_t sampleRateHz) {
    int32_t best = 0;
    int32_t bestDivisor = -1;
    for (int32_t i = 0; i < kHighpassBaseRateCount; ++i) {
        const int32_t divisor = std::gcd(kHighpassBaseRatesHz[size_t(i)], sampleRateHz);
        if (divisor > bestDivisor) {
            bestDivisor = divisor;
            best = i;
        }
    }
    return best;
}

int32_t highpassCornerIndex(float cornerHz) {
    if (!(cornerHz == cornerHz)) return 0; // not a number
    const double steps = std::round(double(cornerHz) / kHighpassCornerStepHz);
    return int32_t(std::clamp(steps, 1.0, double(kHighpassCornerCount))) - 1;
}

std::array<double, kHighpassFrameTaps> centredHighpassTaps(const HighpassDesign& design) {
    std::array<double, kHighpassFrameTaps> taps{};
    const int32_t half = std::clamp((design.tapCount + 1) / 2, 1, kHighpassHalfTaps);
    // halfTaps[half - 1] is the centre; halfTaps[half - 1 - k] sits k taps either side of it.
    for (int32_t k = 0; k < half; ++k) {
        const double tap = design.halfTaps[half - 1 - k];
        taps[size_t(kHighpassCentreTap - k)] = tap;
        taps[size_t(kHighpassCentreTap + k)] = tap;
    }
    return taps;
}

} // namespace orq::enhancer
