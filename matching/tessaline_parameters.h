// The matching filter's 22-index parameter set: keys, descriptions, defaults, persistence.
#pragma once

#include "matching/matching_engine.h"
#include "runtime/parameter_set.h"

#include <cstdint>

namespace orq::matching {

enum ParamIndex : int32_t {
    kParamBinCount = 0,        // "nFFT21": bins of the equal-band transform (Ne/2+1)
    kParamDisplayCount = 1,    // "BSMax": display spectra kept per side
    kParamSpectra = 2,         // "Spec": input then output display spectra
    kParamNewSpectra = 3,      // "BSTrans": display spectra measured since the last read
    kParamChannel = 4,         // "ch"
    kParamSliders = 5,         // "sl": slider gains (dB) while match is off
    kParamThirdOctave = 6,     // "log"
    kParamDisplay = 7,         // "Dspl": 0 = frozen
    kParamLearn = 8,           // learn switch
    kParamMatch = 9,           // "match"
    kParamLearnTarget = 10,    // 1 = source, 0 = destination
    kParamSourceSpectrum = 11, // "SrcTF": summed frame powers of the source
    kParamDestSpectrum = 12,   // "DstTF": summed frame powers of the destination
    kParamLearnedFrames = 13,  // frames summed into the current learn target's spectrum
    kParamMorph = 14,          // "morph": match amount 0..2
    kParamCurve = 15,          // |H|^2 of the designed filter, learned-bin layout
    kParamMatchSliders = 16,   // "SlMatch": slider gains (dB) while match is on
    kParamSourceLearned = 17,  // "SrcLnd"
    kParamDestLearned = 18,    // "DestLnd"
    kParamSampleRate = 19,     // stream sample rate
    kParamLearnedBins = 20,    // analysis bins of the current mode
    kParamAnalyze = 21,        // "Analyze": sample rate (Hz) of the stored learned spectra
    kParamCount = 22,
};

constexpr int32_t kSliderCount = kBandCount;
constexpr int32_t kDefaultDisplayCount = 3;
// Learned spectra, the curve and each display spectrum are stored with kMaxLearnedBins
// elements whatever the mode, so a saved stream always has the same shape; the current mode
// uses the first kParamLearnedBins of them.
constexpr int32_t kSpectraElements = 2 * kMaxDisplayCount * kMaxLearnedBins;
constexpr int32_t kDefaultSampleRateHz = 44100;

// What getInfo reports for an index (present == false: nothing).
struct ParameterDescription {
    bool present;
    int32_t kind;
    float minimum;
    float maximum;
    float step;
    const char* unit;
};

const ParameterTable& tessalineTable();
const ParameterDescription& tessalineDescription(int32_t index);
bool tessalineIsPersisted(int32_t index);

// The plug-in's set: table storage with the matching filter's persistence and descriptions
// (some keyed parameters are not persisted).
class TessalineParameterSet : public TableParameterSet {
  public:
    TessalineParameterSet();
    TessalineParameterSet(const TessalineParameterSet& other) = default;

    ParameterSet* clone() const override;
    int32_t isPersisted(int32_t index) const override;
    void getInfo(int32_t index, ParameterInfo* info) const override;
};

} // namespace orq::matching
