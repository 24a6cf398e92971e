// The band's gain-stage path against a trace computed by an independent model of its rules
// (band_reference_trace.py): a changed time constant, hold count, mix, table rule or look-ahead
// moves the output well beyond the tolerance.
#include "compressor/band_reference_trace.h"
#include "compressor/compressor_engine.h"
#include "compressor/compressor_parameters.h"
#include "compressor/test_signals.h"

#include <gtest/gtest.h>

#include <cmath>

namespace {

using namespace orq;
using namespace orq::compressor;
using namespace orq::compressor::testing;

// Float rounding differences between the model and the engine stay below this; a time
// constant changed by a tenth, the hold count by a few frames or the mix by 0.05 exceed it.
constexpr double kTraceTolerance = 1e-6;
// One band: the engine's block and the splitter's block lie before the band's output.
constexpr int32_t kBlocksDelay = 2 * kEngineBlockFrames;

float traceInput(int32_t channel, int32_t frame) {
    float amplitude = 0.0f;
    for (const BandTraceSegment& segment : kBandTrace.segments[channel]) {
        if (frame >= segment.startFrame) amplitude = segment.amplitude;
    }
    const int32_t period = kBandTrace.trianglePeriods[channel];
    const int32_t phase = frame % period;
    const int32_t ramp = phase < period / 2 ? phase : period - phase;
    return amplitude * (static_cast<float>(ramp) * (4.0f / static_cast<float>(period)) - 1.0f);
}

// Largest difference between the one-band engine's output and the trace; frame of it in *at.
double traceError(float compType, const float* expected, int32_t* at) {
    CompressorParameterSet set;
    set.setFloat(kParamBandCount, 1.0f);
    set.setFloat(kParamCompType, compType);
    BandShape shapes[kShapeEntries];
    for (BandShape& shape : shapes) {
        shape = defaultBandShape();
        for (int32_t i = 0; i < kBandTrace.curvePoints; ++i) {
            shape.x[i] = kBandTrace.curveX[i];
            shape.y[i] = kBandTrace.curveY[i];
        }
        shape.count = kBandTrace.curvePoints;
    }
    set.setArray(kParamShape, shapes, kShapeEntries);
    CompressorEngine engine(kBandTrace.channels, kBandTrace.sampleRate);
    applyParameters(engine, set.iface(), allParameters());
    engine.start();

    const int32_t frames = kBandTrace.frames + kBlocksDelay;
    Channels x(kBandTrace.channels, std::vector<float>(frames));
    for (int32_t ch = 0; ch < kBandTrace.channels; ++ch)
        for (int32_t t = 0; t < frames; ++t)
            x[ch][t] = traceInput(ch, t);
    const Channels y = run(engine, x, 1000);
    double worst = 0.0;
    for (int32_t t = 0; t < kBandTrace.frames; ++t) {
        for (int32_t ch = 0; ch < kBandTrace.channels; ++ch) {
            const double error =
                std::fabs(double(y[ch][t + kBlocksDelay]) - expected[t * kBandTrace.channels + ch]);
            if (error > worst) {
                worst = error;
                *at = t;
            }
        }
    }
    return worst;
}

TEST(BandReferenceTrace, two_stage_band_follows_the_independent_model) {
    int32_t at = -1;
    const double error = traceError(0.0f, kBandTraceTwoStages, &at);
    EXPECT_LT(error, kTraceTolerance) << "largest difference " << error << " at frame " << at;
}

TEST(BandReferenceTrace, one_stage_band_follows_the_independent_model) {
    int32_t at = -1;
    const double error = traceError(1.0f, kBandTraceOneStage, &at);
    EXPECT_LT(error, kTraceTolerance) << "largest difference " << error << " at frame " << at;
}

} // namespace
