// Lookup tables of the maximizer: level-stage ratios and whole-dB gains, limiter thresholds,
// release steps and the soft-clip curves. They depend on nothing but constants, so one
// immutable copy is built on first use and shared by every engine.
#pragma once

#include <array>
#include <cstdint>

namespace orq::maximizer {

constexpr int32_t kRatioTableSize = 24;
constexpr int32_t kLimiterTableSize = 18;
constexpr int32_t kReleaseTableSize = 128;
constexpr int32_t kReleaseMemorySlots = 20;
constexpr int32_t kClipCurveCount = 19;
constexpr int32_t kClipCurveSize = 256;

// Below this magnitude (−5 dBFS) the soft clipper leaves samples untouched.
constexpr float kSoftClipKnee = 0.56234f;

using ClipCurve = std::array<float, kClipCurveSize>;

struct MaximizerTables {
    // Level stage, i = 0 … 23: ratio 1 + 0.1 i, its inverse, 1 / (1 − 1/ratio) (1.0 at i = 0),
    // 10^(i/20) and i itself.
    std::array<float, kRatioTableSize> ratio;
    std::array<float, kRatioTableSize> invRatio;
    std::array<float, kRatioTableSize> slopeInv;
    std::array<float, kRatioTableSize> dbGain;
    std::array<float, kRatioTableSize> wholeDb;
    // Limiter, j = 0 … 17: threshold 10^((−j − 6)/20), hold threshold 10^((−j − 6.25)/20),
    // make-up 10^((j + 6)/20).
    std::array<float, kLimiterTableSize> limThresh;
    std::array<float, kLimiterTableSize> holdThresh;
    std::array<float, kLimiterTableSize> limMakeup;
    // Release steps per millisecond, from fast (sparse overloads) to slow (dense overloads).
    std::array<float, kReleaseTableSize> releaseFast;
    std::array<float, kReleaseTableSize> releaseSlow;
    // Soft-clip curves: y of a Bézier curve at t = n/255; curve 0 is a straight line, a higher
    // index bends faster towards full scale (a harder knee).
    std::array<ClipCurve, kClipCurveCount> clipCurves;
};

// [any-thread] The shared tables (built once, thread-safe).
const MaximizerTables& maximizerTables();

struct BezierPoint {
    double x;
    double y;
};

// The point of the Bézier curve over pointCount control points at parameter t (0 … 1), with
// Bernstein weights C(m−1, q)·t^q·(1 − t)^(m−1−q). Design helper, double precision.
BezierPoint bezierPoint(const BezierPoint* controls, int32_t pointCount, double t);

} // namespace orq::maximizer
