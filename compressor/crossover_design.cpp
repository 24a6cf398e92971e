#include "compressor/crossover_design.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace orq::compressor {

double crossoverPassbandHz(double borderHz, int32_t sampleRate) {
    if (!std::isfinite(borderHz)) return std::numeric_limits<double>::quiet_NaN();
    const double highest = std::ceil(0.5 * sampleRate) - 1.0;
    return std::clamp(std::trunc(borderHz), kMinCrossoverHz, std::max(highest, kMinCrossoverHz));
}

bool designCrossover(EllipticDesigner& designer, double borderHz, int32_t sampleRate,
                     int32_t orderLimit) {
    const double passbandHz = crossoverPassbandHz(borderHz, sampleRate);
    if (std::isnan(passbandHz)) return false;
    return designer.designLowPass(passbandHz, passbandHz + kCrossoverTransitionHz, sampleRate,
                                  kCrossoverRippleDb, kCrossoverAttenuationDb, orderLimit);
}

} // namespace orq::compressor
