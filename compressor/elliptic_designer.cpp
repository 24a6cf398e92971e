#include "compressor/elliptic_designer.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace orq::compressor {

namespace {

using Complex = std::complex<double>;

// Descending Landen sequence of moduli: k_n = (k_{n-1} / (1 + k'_{n-1}))^2 until it
// vanishes; the Jacobi functions and the complete integral follow from it.
constexpr int32_t kMaxLanden = 12;
constexpr double kLandenTolerance = 1e-16;

struct LandenSequence {
    std::array<double, kMaxLanden> moduli{};
    int32_t count = 0;
};

LandenSequence landen(double modulus) {
    LandenSequence sequence;
    double k = modulus;
    while (k > kLandenTolerance && sequence.count < kMaxLanden) {
        const double complement = std::sqrt(1.0 - k * k);
        k = (k / (1.0 + complement)) * (k / (1.0 + complement));
        sequence.moduli[sequence.count++] = k;
    }
    return sequence;
}

// cd(u K, k) and sn(u K, k) for normalised (complex) arguments by ascending Landen steps.
Complex ascend(Complex w, const LandenSequence& sequence) {
    for (int32_t n = sequence.count - 1; n >= 0; --n) {
        const double v = sequence.moduli[n];
        w = (1.0 + v) * w / (1.0 + v * w * w);
    }
    return w;
}

Complex cdNormalised(Complex u, double modulus) {
    return ascend(std::cos(u * (std::numbers::pi / 2.0)), landen(modulus));
}

Complex snNormalised(Complex u, double modulus) {
    return ascend(std::sin(u * (std::numbers::pi / 2.0)), landen(modulus));
}

// Symmetric remainder: x reduced into [-y/2, y/2].
double symmetricRemainder(double x, double y) {
    double z = std::fmod(x, y);
    if (z < 0.0) z += y;
    if (z > y / 2.0) z -= y;
    return z;
}

// Inverse of cdNormalised: u with cd(u K, k) = w, reduced to the fundamental period.
Complex acdNormalised(Complex w, double modulus) {
    const LandenSequence sequence = landen(modulus);
    double previous = modulus;
    for (int32_t n = 0; n < sequence.count; ++n) {
        const double v = sequence.moduli[n];
        w = w / (1.0 + std::sqrt(1.0 - w * w * previous * previous)) * 2.0 / (1.0 + v);
        previous = v;
    }
    const Complex u = (2.0 / std::numbers::pi) * std::acos(w);
    const double K = EllipticDesigner::completeIntegral(modulus);
    const double Kc = EllipticDesigner::completeIntegral(std::sqrt(1.0 - modulus * modulus));
    return {symmetricRemainder(u.real(), 4.0), symmetricRemainder(u.imag(), 2.0 * Kc / K)};
}

Complex asnNormalised(Complex w, double modulus) {
    return 1.0 - acdNormalised(w, modulus);
}

// Solves the degree equation for the selectivity k that an order-N filter reaches with
// discrimination k1: k' = k1'^N * prod sn^4(u_i K1', k1'), u_i = (2i - 1) / N.
double selectivityForOrder(int32_t order, double discrimination) {
    const double complement1 = std::sqrt(1.0 - discrimination * discrimination);
    double complement = std::pow(complement1, order);
    for (int32_t i = 1; i <= order / 2; ++i) {
        const double u = (2.0 * i - 1.0) / order;
        const double s = snNormalised(u, complement1).real();
        complement *= s * s * s * s;
    }
    return std::sqrt(1.0 - complement * complement);
}

double rippleFactor(double rippleDb) {
    return std::sqrt(std::pow(10.0, 0.1 * rippleDb) - 1.0);
}

double discriminationFor(double rippleDb, double attenuationDb) {
    return std::sqrt((std::pow(10.0, 0.1 * rippleDb) - 1.0) /
                     (std::pow(10.0, 0.1 * attenuationDb) - 1.0));
}

// Bilinear transform of an analog root s: z = (2 fs + s) / (2 fs - s).
Complex bilinear(Complex s, double sampleRate) {
    return (2.0 * sampleRate + s) / (2.0 * sampleRate - s);
}

double prewarp(double radiansPerSecond, double sampleRate) {
    return 2.0 * sampleRate * std::tan(radiansPerSecond / (2.0 * sampleRate));
}

} // namespace

double EllipticDesigner::completeIntegral(double modulus) {
    const LandenSequence sequence = landen(modulus);
    double product = std::numbers::pi / 2.0;
    for (int32_t n = 0; n < sequence.count; ++n)
        product *= 1.0 + sequence.moduli[n];
    return product;
}

int32_t EllipticDesigner::ellipticOrder(double selectivity, double discrimination) {
    if (!(selectivity > 0.0) || selectivity > kMaxSelectivity) return -1;
    if (!(discrimination >= kMinDiscrimination) || discrimination >= 1.0) return -1;
    const double ratio = completeIntegral(selectivity) *
                         completeIntegral(std::sqrt(1.0 - discrimination * discrimination)) /
                         (completeIntegral(std::sqrt(1.0 - selectivity * selectivity)) *
                          completeIntegral(discrimination));
    const double order = std::ceil(ratio);
    if (!(order <= kMaxComputedOrder)) return -1;
    return std::max<int32_t>(1, static_cast<int32_t>(order));
}

bool EllipticDesigner::designLowPass(double passbandHz, double stopbandHz, double sampleRate,
                                     double rippleDb, double attenuationDb, int32_t orderLimit) {
    if (!(sampleRate > 0.0) || !(passbandHz > 0.0) || !(passbandHz < 0.5 * sampleRate) ||
        !(stopbandHz > passbandHz) || !(rippleDb > 0.0) || !(attenuationDb > rippleDb)) {
        return false;
    }
    const int32_t limit = std::clamp<int32_t>(orderLimit, 1, kMaxOrder);
    const double discrimination = discriminationFor(rippleDb, attenuationDb);

    // Order from the plain (unwarped) edges; widen the transition band until it fits.
    int32_t newOrder = ellipticOrder(passbandHz / stopbandHz, discrimination);
    if (newOrder < 0) return false;
    while (newOrder > limit) {
        stopbandHz *= kTransitionWidening;
        newOrder = ellipticOrder(passbandHz / stopbandHz, discrimination);
        if (newOrder < 0) return false;
    }

    // Analog prototype normalised to a passband edge of 1 rad/s. The selectivity is the one
    // this order reaches at the full attenuation, so the stopband edge it implies lies at or
    // below the (widened, prewarped) requested one.
    const double selectivity = selectivityForOrder(newOrder, discrimination);
    const double epsilon = rippleFactor(rippleDb);
    const int32_t pairs = newOrder / 2;
    const bool odd = (newOrder % 2) != 0;
    const Complex v0 = Complex(0.0, -1.0) *
                       asnNormalised(Complex(0.0, 1.0 / epsilon), discrimination) /
                       static_cast<double>(newOrder);

    const double passbandWarped = prewarp(2.0 * std::numbers::pi * passbandHz, sampleRate);
    std::array<Complex, kMaxOrder> newPoles{};
    std::array<Complex, kMaxOrder> newZeros{};
    for (int32_t i = 0; i < pairs; ++i) {
        const double u = (2.0 * (i + 1) - 1.0) / newOrder;
        const Complex zeta = cdNormalised(u, selectivity);
        const Complex analogZero = Complex(0.0, 1.0) / (selectivity * zeta);
        const Complex analogPole =
            Complex(0.0, 1.0) * cdNormalised(u - Complex(0.0, 1.0) * v0, selectivity);
        newZeros[i] = bilinear(passbandWarped * analogZero, sampleRate);
        newPoles[i] = bilinear(passbandWarped * analogPole, sampleRate);
    }
    if (odd) {
        const Complex analogPole =
            Complex(0.0, 1.0) * snNormalised(Complex(0.0, 1.0) * v0, selectivity);
        newPoles[pairs] = {bilinear(passbandWarped * analogPole, sampleRate).real(), 0.0};
        newZeros[pairs] = {-1.0, 0.0}; // the analog zero at infinity
    }
    for (const Complex& p : newPoles) {
        if (!std::isfinite(p.real()) || !std::isfinite(p.imag())) return false;
    }

    // Commit the design.
    passbandRippleDb = -rippleDb;
    passbandRippleCopyDb = -rippleDb;
    stopbandAttenuationDb = -attenuationDb;
    passbandEdgesHz = {passbandHz, 0.0};
    stopbandEdgesHz = {stopbandHz, 0.0};
    sampleRateHz = sampleRate;
    order = newOrder;
    poles = newPoles;
    zeros = newZeros;
    bandType = 'L';
    family = 'E';

    // Gain rule: an even order sits at the ripple floor at 0 Hz, an odd order at 0 dB.
    const double dcTarget = odd ? 1.0 : std::pow(10.0, -rippleDb / 20.0);
    double dcSections = 1.0;
    for (int32_t i = 0; i < sectionCount(); ++i) {
        const BiquadCoefficients c = section(i);
        dcSections *= (1.0 + c.b1 + c.b2) / (1.0 + c.a1 + c.a2);
    }
    overallGain = dcTarget / dcSections;
    return true;
}

BiquadCoefficients EllipticDesigner::section(int32_t index) const {
    BiquadCoefficients c;
    if (index < 0 || index >= sectionCount()) return c;
    const bool firstOrder = (order % 2) != 0 && index == order / 2;
    if (firstOrder) {
        c.b1 = -zeros[index].real();
        c.a1 = -poles[index].real();
        return c;
    }
    c.b1 = -2.0 * zeros[index].real();
    c.b2 = std::norm(zeros[index]);
    c.a1 = -2.0 * poles[index].real();
    c.a2 = std::norm(poles[index]);
    return c;
}

std::complex<double> EllipticDesigner::response(double frequencyHz) const {
    const Complex zInv = std::polar(1.0, -2.0 * std::numbers::pi * frequencyHz / sampleRateHz);
    Complex h = overallGain;
    for (int32_t i = 0; i < sectionCount(); ++i) {
        const BiquadCoefficients c = section(i);
        h *= (1.0 + c.b1 * zInv + c.b2 * zInv * zInv) / (1.0 + c.a1 * zInv + c.a2 * zInv * zInv);
    }
    return h;
}

} // namespace orq::compressor
