// A reference trace of one compressor band, computed by an independent model
// (band_reference_trace.py) from the band's rules: the scenario it ran and the band output it
// expects, per frame and channel (interleaved).
#pragma once

#include <cstdint>

namespace orq::compressor::testing {

struct BandTraceSegment {
    int32_t startFrame;
    float amplitude;
};

struct BandTraceScenario {
    int32_t sampleRate;
    int32_t frames;
    int32_t channels;
    float curveX[4]; // the band's transfer curve
    float curveY[4];
    int32_t curvePoints;
    // Input of channel c: a triangle wave from -1 to 1 with trianglePeriods[c] frames per
    // period (starting at -1), times the amplitude of the segment the frame lies in.
    int32_t trianglePeriods[2];
    BandTraceSegment segments[2][5];
};

extern const BandTraceScenario kBandTrace;
// The band's output, frames × channels, with two gain stages and with one.
extern const float kBandTraceTwoStages[];
extern const float kBandTraceOneStage[];

} // namespace orq::compressor::testing
