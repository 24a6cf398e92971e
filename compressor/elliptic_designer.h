// Elliptic low-pass design for the crossover filters: order from the complete elliptic
// integrals, transition-band widening down to an order limit, prewarping, the analog elliptic
// prototype, the bilinear transform and grouping into second-order sections.
#pragma once

#include <array>
#include <complex>
#include <cstdint>

namespace orq::compressor {

// One second-order section after a leading 1 in numerator and denominator:
// H(z) = (1 + b1 z^-1 + b2 z^-2) / (1 + a1 z^-1 + a2 z^-2).
struct BiquadCoefficients {
    double b1 = 0.0;
    double b2 = 0.0;
    double a1 = 0.0;
    double a2 = 0.0;
};

class EllipticDesigner {
  public:
    static constexpr int32_t kMaxOrder = 8;
    static constexpr int32_t kMaxSections = (kMaxOrder + 1) / 2;
    // Below this the order computation is refused (the edges are too close or too loose).
    static constexpr double kMaxSelectivity = 0.9999;
    static constexpr double kMinDiscrimination = 2e-8;
    static constexpr int32_t kMaxComputedOrder = 200;
    // Factor applied to the stopband edge while the order exceeds the limit.
    static constexpr double kTransitionWidening = 1.1;

    // The record of the current design (ripple and attenuation stored as negative dB).
    double passbandRippleDb = -0.3;
    double passbandRippleCopyDb = -0.3;
    double stopbandAttenuationDb = -30.0;
    std::array<double, 2> passbandEdgesHz{};
    std::array<double, 2> stopbandEdgesHz{};
    double sampleRateHz = 44100.0;
    double overallGain = 1.0;
    std::array<std::complex<double>, kMaxOrder> poles{}; // z-plane, one per conjugate pair
    std::array<std::complex<double>, kMaxOrder> zeros{}; // z-plane, one per conjugate pair
    int32_t order = 0;
    char bandType = 'L'; // 'L' low-pass ('H', 'P', 'S' are recognised letters, not designed)
    char family = 'E';   // 'E' elliptic ('B', 'C', 'I' are recognised letters, not designed)

    // [any-thread] no allocation. Order of an elliptic filter with selectivity k = fp / fs and
    // discrimination k1 = sqrt((10^(Rp/10) - 1) / (10^(As/10) - 1)); -1 when refused.
    static int32_t ellipticOrder(double selectivity, double discrimination);
    // [any-thread] complete elliptic integral of the first kind for modulus k (0 <= k < 1).
    static double completeIntegral(double modulus);

    // [ui-thread] no allocation. Designs the elliptic low-pass with the given edges, ripple and
    // attenuation (positive dB). While the order exceeds orderLimit the stopband edge is
    // widened. Returns false and keeps the previous design when the requested design is refused.
    bool designLowPass(double passbandHz, double stopbandHz, double sampleRate, double rippleDb,
                       double attenuationDb, int32_t orderLimit);

    // Grouping into (order + 1) / 2 sections; an odd order's last section is first-order.
    int32_t sectionCount() const { return (order + 1) / 2; }
    BiquadCoefficients section(int32_t index) const;
    // Complex response at a frequency, from the sections and the overall gain (tests and
    // diagnostics).
    std::complex<double> response(double frequencyHz) const;
};

} // namespace orq::compressor
