// The compressor's parameters: indices, the table they are defined by, and their translation
// into the engine's typed setters.
#pragma once

#include "compressor/compressor_engine.h"
#include "runtime/parameter_set.h"

#include <array>
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

// Which parameters a store selects, one flag per index. Taken before any value is read, since
// reading a value clears the store's changed flag (and with it the selection of mode -1).
using ParameterSelection = std::array<bool, kParamCount>;
ParameterSelection selectionOf(ParameterInterface* store);
ParameterSelection allParameters();

// Arrays the engine reads for a selection beyond the selected ones: the band setup on a band
// count change, the band gains for a changed-gain index, the borders for a moved-border index.
ParameterSelection arraysReadFor(const ParameterSelection& selection);

// [ui-thread] Applies the selected parameters to the engine in its fixed order (CompType,
// NrOfBands, changed gain, moved border, Border, BandGain, Shape, ActBand, meter, Solo, Output,
// SoftClip), reading their values from source; non-finite scalars are skipped. Returns false
// when a band count change could not be built (memory); the engine keeps its bands.
bool applyParameters(CompressorEngine& engine, ParameterInterface* source,
                     const ParameterSelection& selection);

} // namespace orq::compressor

namespace orq {
// The compressor's 13 parameters as data.
const ParameterTable& compressorParameterTable();
} // namespace orq
