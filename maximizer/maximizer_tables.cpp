#include "maximizer/maximizer_tables.h"

#include <cmath>

namespace orq::maximizer {
namespace {

constexpr int32_t kMaxBezierPoints = 4;
// The first entries of both release tables are replaced by this faster step.
constexpr int32_t kReleaseFastEntries = 6;
constexpr float kReleaseFastStep = 0.0125f;
constexpr float kReleaseFastFirst = 0.00952381f;
constexpr float kReleaseFastLast = 0.00028571428f;
constexpr float kReleaseSlowFirst = 0.0007142857f;
constexpr float kReleaseSlowLast = 0.0002f;

// The curves of index 1 … 18 run through (0, knee), (x1, y1), (0.999, 1), (1, 1).
struct CurveShape {
    double y1;
    double x1;
};
constexpr std::array<CurveShape, kClipCurveCount - 1> kCurveShapes{{
    {0.729, 0.514774},
    {0.742, 0.514774},
    {0.751, 0.514774},
    {0.7685, 0.514774},
    {0.78, 0.514774},
    {0.8025, 0.514774},
    {0.82, 0.514774},
    {0.838, 0.514774},
    {0.850198, 0.514774},
    {0.868, 0.514774},
    {0.886, 0.514774},
    {0.9025, 0.514774},
    {0.92, 0.514774},
    {0.939, 0.514774},
    {0.9525, 0.514774},
    {0.9865, 0.514774},
    {0.9925, 0.494},
    {0.9995, 0.019},
}};
constexpr BezierPoint kCurveStart{0.0, kSoftClipKnee};
constexpr BezierPoint kCurveNearEnd{0.999, 1.0};
constexpr BezierPoint kCurveEnd{1.0, 1.0};

double binomial(int32_t n, int32_t k) {
    double result = 1.0;
    for (int32_t i = 1; i <= k; ++i)
        result = result * (n - k + i) / i;
    return result;
}

void tabulate(ClipCurve& curve, const BezierPoint* controls, int32_t count) {
    for (int32_t n = 0; n < kClipCurveSize; ++n) {
        const double t = static_cast<double>(n) / (kClipCurveSize - 1);
        curve[n] = static_cast<float>(bezierPoint(controls, count, t).y);
    }
}

MaximizerTables buildTables() {
    MaximizerTables t{};
    for (int32_t i = 0; i < kRatioTableSize; ++i) {
        t.ratio[i] = 1.0f + 0.1f * static_cast<float>(i);
        t.invRatio[i] = 1.0f / t.ratio[i];
        t.slopeInv[i] = i == 0 ? 1.0f : 1.0f / (1.0f - 1.0f / t.ratio[i]);
        t.dbGain[i] = static_cast<float>(std::pow(10.0, i / 20.0));
        t.wholeDb[i] = static_cast<float>(i);
    }
    for (int32_t j = 0; j < kLimiterTableSize; ++j) {
        t.limThresh[j] = static_cast<float>(std::pow(10.0, (-j - 6.0) / 20.0));
        t.holdThresh[j] = static_cast<float>(std::pow(10.0, (-j - 6.25) / 20.0));
        t.limMakeup[j] = static_cast<float>(std::pow(10.0, (j + 6.0) / 20.0));
    }
    for (int32_t i = 0; i < kReleaseTableSize; ++i) {
        const float c = static_cast<float>(i) / (kReleaseTableSize - 1);
        t.releaseFast[i] = (1.0f - c) * kReleaseFastFirst + c * kReleaseFastLast;
        t.releaseSlow[i] = (1.0f - c) * kReleaseSlowFirst + c * kReleaseSlowLast;
    }
    for (int32_t i = 0; i < kReleaseFastEntries; ++i) {
        t.releaseFast[i] = kReleaseFastStep;
        t.releaseSlow[i] = kReleaseFastStep;
    }
    const BezierPoint line[2] = {kCurveStart, kCurveEnd};
    tabulate(t.clipCurves[0], line, 2);
    for (int32_t i = 1; i < kClipCurveCount; ++i) {
        const CurveShape& shape = kCurveShapes[i - 1];
        const BezierPoint points[kMaxBezierPoints] = {
            kCurveStart, {shape.x1, shape.y1}, kCurveNearEnd, kCurveEnd};
        tabulate(t.clipCurves[i], points, kMaxBezierPoints);
    }
    return t;
}

} // namespace

BezierPoint bezierPoint(const BezierPoint* controls, int32_t pointCount, double t) {
    BezierPoint p{0.0, 0.0};
    const int32_t degree = pointCount - 1;
    for (int32_t q = 0; q < pointCount; ++q) {
        const double w = binomial(degree, q) * std::pow(t, q) * std::pow(1.0 - t, degree - q);
        p.x += w * controls[q].x;
        p.y += w * controls[q].y;
    }
    return p;
}

const MaximizerTables& maximizerTables() {
    static const MaximizerTables tables = buildTables();
    return tables;
}

} // namespace orq::maximizer
