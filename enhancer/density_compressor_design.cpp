#include "enhancer/density_compressor_design.h"

#include <algorithm>
#include <cmath>

namespace orq::enhancer {

namespace {
constexpr double kMinRatio = 1.0;
constexpr double kMaxRatio = 100.0;
// Thresholds outside this range would underflow or overflow the float power and gain.
constexpr double kMinThresholdDb = -120.0;
constexpr double kMaxThresholdDb = 0.0;

double timeCoefficient(double timeMs, double sampleRateHz) {
    return std::exp(-1.0 / (timeMs * 0.001 * sampleRateHz));
}
} // namespace

double densityThresholdDb(double density) {
    return -(density + 1.0) * 10.0;
}

DensityCompressorDesign designDensityCompressor(double thresholdDb, double ratio, bool slow,
                                                double sampleRateHz) {
    if (!(thresholdDb == thresholdDb)) thresholdDb = kMaxThresholdDb;
    if (!(ratio == ratio)) ratio = kMinRatio;
    if (!(sampleRateHz > 0.0)) sampleRateHz = 44100.0;
    thresholdDb = std::clamp(thresholdDb, kMinThresholdDb, kMaxThresholdDb);
    ratio = std::clamp(ratio, kMinRatio, kMaxRatio);
    DensityCompressorDesign d;
    d.thresholdPower = std::pow(10.0, thresholdDb / 10.0);
    d.belowGain = std::pow(10.0, (thresholdDb / ratio - thresholdDb) / 20.0);
    d.exponent = (1.0 - ratio) / (2.0 * ratio);
    d.powerCoeff = timeCoefficient(kPowerSmoothingMs, sampleRateHz);
    d.attackCoeff = timeCoefficient(slow ? kSlowAttackMs : kFastAttackMs, sampleRateHz);
    d.releaseCoeff = timeCoefficient(slow ? kSlowReleaseMs : kFastReleaseMs, sampleRateHz);
    return d;
}

} // namespace orq::enhancer
