// Design of the band compressor of the harmonic generator, in double precision: threshold,
// make-up gain below it, exponent above it and the smoothing coefficients.
#pragma once

namespace orq::enhancer {

// Attack and release in ms for the normal and the slow ("Kick") setting; power smoothing time.
constexpr double kFastAttackMs = 0.125;
constexpr double kFastReleaseMs = 50.0;
constexpr double kSlowAttackMs = 0.625;
constexpr double kSlowReleaseMs = 125.0;
constexpr double kPowerSmoothingMs = 1.0;
struct DensityCompressorDesign {
    double thresholdPower = 1.0; // Tp = 10^(T_dB / 10)
    double belowGain = 1.0;      // g0 = 10^((T_dB / R - T_dB) / 20), the gain below Tp
    double exponent = 0.0;       // e = (1 - R) / (2R): above Tp the gain is P^e
    double powerCoeff = 0.0;     // a: one-pole smoothing of the power
    double attackCoeff = 0.0;    // ca, used when the gain falls
    double releaseCoeff = 0.0;   // cr, used when it rises
};

// [any-thread] Threshold in dB of a "Density" setting: -(density + 1) x 10.
double densityThresholdDb(double density);

// [any-thread] ratio >= 1; non-finite or out-of-range inputs are limited to usable values.
DensityCompressorDesign designDensityCompressor(double thresholdDb, double ratio, bool slow,
                                                double sampleRateHz);

} // namespace orq::enhancer
