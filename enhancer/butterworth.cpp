#include "enhancer/butterworth.h"

#include <algorithm>
#include <cmath>
#include <complex>
#include <numbers>

namespace orq::enhancer {

namespace {
// Keeps a corner away from 0 and the Nyquist frequency, where the design degenerates.
constexpr double kCornerMargin = 1e-6;
} // namespace

ButterworthDesign designButterworth(FilterKind kind, int32_t order, double cornerHz,
                                    double sampleRateHz) {
    ButterworthDesign design;
    order = std::clamp(order - order % 2, 2, kMaxButterworthOrder);
    if (!(sampleRateHz > 0.0)) sampleRateHz = 44100.0;
    const double nyquistFraction =
        std::clamp(cornerHz / sampleRateHz, kCornerMargin, 0.5 - kCornerMargin);
    const double omega = 2.0 * std::numbers::pi * nyquistFraction;
    design.sectionCount = order / 2;
    // One section per conjugate pole pair, at angles theta = d pi / (2N), d = N-1, N-3, ... 1.
    for (int32_t s = 0; s < design.sectionCount; ++s) {
        const int32_t d = order - 1 - 2 * s;
        const double theta = d * std::numbers::pi / (2.0 * order);
        const double h = std::sin(theta) * std::sin(omega);
        const double beta = 0.5 * (1.0 - h) / (1.0 + h);
        const double gamma = (0.5 + beta) * std::cos(omega);
        BiquadDesign& section = design.sections[size_t(s)];
        if (kind == FilterKind::HighPass) {
            const double alpha = (0.5 + beta + gamma) / 4.0;
            section.b0 = 2.0 * alpha;
            section.b1 = -4.0 * alpha;
            section.b2 = 2.0 * alpha;
        } else {
            const double alpha = (0.5 + beta - gamma) / 4.0;
            section.b0 = 2.0 * alpha;
            section.b1 = 4.0 * alpha;
            section.b2 = 2.0 * alpha;
        }
        section.a1 = 2.0 * gamma;
        section.a2 = -2.0 * beta;
    }
    return design;
}

double butterworthGainDb(const ButterworthDesign& design, double frequencyHz, double sampleRateHz) {
    const std::complex<double> z1 =
        std::polar(1.0, -2.0 * std::numbers::pi * frequencyHz / sampleRateHz);
    const std::complex<double> z2 = z1 * z1;
    std::complex<double> response = 1.0;
    for (int32_t s = 0; s < design.sectionCount; ++s) {
        const BiquadDesign& d = design.sections[size_t(s)];
        response *= (d.b0 + d.b1 * z1 + d.b2 * z2) / (1.0 - d.a1 * z1 - d.a2 * z2);
    }
    return 20.0 * std::log10(std::abs(response));
}

} // namespace orq::enhancer
