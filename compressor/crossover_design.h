// The crossover's design rules: from a border in Hz to the elliptic low-pass whose square is the
// crossover's magnitude response. Double precision, no state beyond the designer's record.
#pragma once

#include "compressor/elliptic_designer.h"

#include <cstdint>

namespace orq::compressor {

// Passband edge = the border, stopband edge 300 Hz above it, 0.3 dB ripple, 30 dB attenuation.
constexpr double kCrossoverTransitionHz = 300.0;
constexpr double kCrossoverRippleDb = 0.3;
constexpr double kCrossoverAttenuationDb = 30.0;
constexpr int32_t kCrossoverOrderLimit = 4;
// Lowest border designed; lower ones (and negative ones) are raised to it.
constexpr double kMinCrossoverHz = 10.0;

// The passband edge a border is designed for: its integer part, kept between kMinCrossoverHz
// and the highest whole frequency below half the sample rate (the bilinear prewarp needs an
// edge strictly below it). NaN for a non-finite border.
double crossoverPassbandHz(double borderHz, int32_t sampleRate);

// [ui-thread] no allocation. Designs the crossover's low-pass for a border into designer;
// false (the previous design kept) when the border is not finite or the design is refused.
bool designCrossover(EllipticDesigner& designer, double borderHz, int32_t sampleRate,
                     int32_t orderLimit);

} // namespace orq::compressor
