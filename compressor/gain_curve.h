// A band's transfer curve (the stored shape record) and its conversion into a gain table
// over 256 levels.
#pragma once

#include <array>
#include <cstdint>

namespace orq::compressor {

constexpr int32_t kShapeMaxPoints = 15;
constexpr int32_t kShapeMinPoints = 2;
constexpr int32_t kGainTableSize = 256;
// The level axis of the table runs from this floor to full scale (1.0).
constexpr double kLevelFloor = 1e-6;

using GainTable = std::array<float, kGainTableSize>;

// One band's transfer curve as stored in the settings: input levels, output levels (linear
// amplitudes 0 … 1) and the point count.
struct BandShape {
    float x[kShapeMaxPoints];
    float y[kShapeMaxPoints];
    int32_t count;
};
static_assert(sizeof(BandShape) == 124);

// The two-point unity curve (0, 0), (1, 1).
BandShape defaultBandShape();

class GainCurve {
  public:
    // [any-thread] no allocation. A shape is usable when its count lies in 2 … 15, every level
    // is finite and inside 0 … 1, the input levels never decrease from one point to the next,
    // and the gain where the curve ends (repeated up to full scale) keeps a full-scale input at
    // or below full scale. The last rule refuses a curve that ends within the table's first
    // entry (its gain is an output over the floor level, up to 1e6) and one that ends below
    // full scale with its output above its input.
    static bool isValid(const BandShape& shape);
    // [any-thread] no allocation. Builds the gain (output over input level) for each table
    // level; no entry of a segment goes beyond its points' output levels. Returns false and
    // leaves table untouched for an invalid shape.
    bool build(const BandShape& shape, GainTable& table) const;

    // Table position of a level and level of a table position (the level axis is linear).
    static double indexOfLevel(double level);
    static double levelOfIndex(double index);
};

} // namespace orq::compressor
