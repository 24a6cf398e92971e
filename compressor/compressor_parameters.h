// The compressor's parameters: indices, array sizes and the table they are defined by.
#pragma once

#include "runtime/parameter_set.h"

#include <cstdint>

namespace orq::compressor {

enum CompressorParameter : int32_t {
    kParamBandCount = 0,       // "NrOfBands": 1 … 5
    kParamGainChangedBand = 1, // index of the band whose gain changed last
    kParamBorderMoved = 2,     // index of the border moved last
    kParamActiveBand = 3,      // "ActBand": the band the editor works on, -1 none
    kParamBandMeter = 4,       // band meter published by the engine, -1 without value
    kParamSolo = 5,            // "Solo"
    kParamOutputDb = 6,        // "Output": output gain in dB
    kParamSoftClip = 7,        // "SoftClip"
    kParamCompType = 8,        // "CompType": 0 two stages per band, 1 one stage
    kParamUnused = 9,          // no parameter: reads 0, writes are ignored
    kParamBorder = 10,         // "Border": band lower edges in Hz
    kParamBandGain = 11,       // "BandGain": band gains in dB
    kParamShape = 12,          // "Shape": one transfer curve record per band
    kParamCount = 13,
};

constexpr int32_t kBorderEntries = 6;
constexpr int32_t kBandGainEntries = 10;
constexpr int32_t kShapeEntries = 5;
constexpr float kGainRangeDb = 12.0f; // band gains and the output gain lie within ± this

// Arrays the plug-in copies after the scalars, in this order.
constexpr int32_t kArrayCopyOrder[] = {kParamBandGain, kParamBorder, kParamShape};

// The default border of index i for a band count, computed for 44100 Hz:
// 25 × (0.5 × 0.04 × 44100)^(i / bandCount).
float defaultBorderHz(int32_t index, int32_t bandCount);

// A table parameter set whose parameter 9 is no parameter at all.
class CompressorParameterSet : public TableParameterSet {
  public:
    CompressorParameterSet();
    CompressorParameterSet(const CompressorParameterSet& other) = default;

    ParameterSet* clone() const override;
    float getFloat(int32_t index) override;
    void setFloat(int32_t index, float value) override;
};

} // namespace orq::compressor

namespace orq {
// The compressor's 13 parameters as data.
const ParameterTable& compressorParameterTable();
} // namespace orq
