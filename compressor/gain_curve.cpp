#include "compressor/gain_curve.h"

#include <algorithm>
#include <cmath>

namespace orq::compressor {

namespace {

constexpr double kLastIndex = kGainTableSize - 1;

// Lifts a curve level onto the table's level axis (0 maps to the floor, 1 stays 1).
double lift(float v) {
    return kLevelFloor + static_cast<double>(v) * (1.0 - kLevelFloor);
}

// The stored levels are usable: a count in range, finite levels inside 0 … 1, input levels that
// never decrease.
bool levelsAreUsable(const BandShape& shape) {
    if (shape.count < kShapeMinPoints || shape.count > kShapeMaxPoints) return false;
    for (int32_t i = 0; i < shape.count; ++i) {
        const float x = shape.x[i];
        const float y = shape.y[i];
        // The negated comparisons also refuse NaN.
        if (!(x >= 0.0f && x <= 1.0f) || !(y >= 0.0f && y <= 1.0f)) return false;
        if (i > 0 && x < shape.x[i - 1]) return false;
    }
    return true;
}

// Fills the table from a shape whose levels are usable; returns the gain of the last entry (the
// gain applied at full scale) before rounding to float.
double fillTable(const BandShape& shape, GainTable& table) {
    int32_t firstStart = 0;
    int32_t lastEnd = 0;
    double lastEndGain = 1.0;
    for (int32_t i = 1; i < shape.count; ++i) {
        const double x0 = lift(shape.x[i - 1]);
        const double x1 = lift(shape.x[i]);
        const double y0 = lift(shape.y[i - 1]);
        const double y1 = lift(shape.y[i]);
        const double index0 = GainCurve::indexOfLevel(x0);
        const double index1 = GainCurve::indexOfLevel(x1);
        const int32_t k0 = std::max(0, static_cast<int32_t>(index0 + 0.5));
        const int32_t k1 = std::min(kGainTableSize - 1, static_cast<int32_t>(index1 + 0.5));
        const double width = index1 - index0;
        // A vertical segment (both points at one input level) takes its upper point's level.
        const double slope = width > 0.0 ? (y1 - y0) / width : 0.0;
        // Rounding k0 down and k1 up can carry the line past its end point; no entry of a segment
        // goes beyond the output levels of its two points.
        const double yLow = std::min(y0, y1);
        const double yHigh = std::max(y0, y1);
        for (int32_t k = k0; k <= k1; ++k) {
            const double y = width > 0.0 ? std::clamp(y0 + (k - k0) * slope, yLow, yHigh) : y1;
            const double gain = y / GainCurve::levelOfIndex(k);
            table[k] = static_cast<float>(gain);
            if (k == k1) lastEndGain = gain;
        }
        if (i == 1) firstStart = k0;
        lastEnd = k1;
    }
    for (int32_t k = lastEnd + 1; k < kGainTableSize; ++k)
        table[k] = table[lastEnd];
    for (int32_t k = 0; k < firstStart; ++k)
        table[k] = table[firstStart];
    return lastEndGain;
}

// The entry where the curve ends is repeated up to full scale, so its gain must not lift a
// full-scale input above full scale (float rounding of the lifted levels aside).
constexpr double kFullScaleGainLimit = 1.0 + 1e-6;

} // namespace

BandShape defaultBandShape() {
    BandShape shape{};
    shape.x[1] = 1.0f;
    shape.y[1] = 1.0f;
    shape.count = 2;
    return shape;
}

double GainCurve::indexOfLevel(double level) {
    return (level - kLevelFloor) * kLastIndex / (1.0 - kLevelFloor);
}

double GainCurve::levelOfIndex(double index) {
    return kLevelFloor + index * (1.0 - kLevelFloor) / kLastIndex;
}

bool GainCurve::isValid(const BandShape& shape) {
    GainTable scratch;
    return levelsAreUsable(shape) && fillTable(shape, scratch) <= kFullScaleGainLimit;
}

bool GainCurve::build(const BandShape& shape, GainTable& table) const {
    if (!levelsAreUsable(shape)) return false;
    GainTable result{};
    if (!(fillTable(shape, result) <= kFullScaleGainLimit)) return false;
    table = result;
    return true;
}

} // namespace orq::compressor
