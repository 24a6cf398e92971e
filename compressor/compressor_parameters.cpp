#include "compressor/compressor_parameters.h"

#include "compressor/gain_curve.h"
#include "runtime/audio_plugin.h"

#include <cmath>
#include <cstring>

namespace orq::compressor {

namespace {

constexpr double kDefaultLowestBorderHz = 25.0;
constexpr double kDefaultBorderSpan = 0.5 * 0.04 * 44100.0;
constexpr int32_t kDefaultBandCount = 3;
constexpr float kDefaultTopHz = 22050.0f;

void fillDefaultBorders(void* elements) {
    float borders[kBorderEntries];
    for (int32_t i = 0; i < kBorderEntries; ++i) {
        borders[i] = i <= kDefaultBandCount ? defaultBorderHz(i, kDefaultBandCount) : kDefaultTopHz;
    }
    std::memcpy(elements, borders, sizeof(borders));
}

void fillDefaultShapes(void* elements) {
    const BandShape shape = defaultBandShape();
    for (int32_t i = 0; i < kShapeEntries; ++i) {
        std::memcpy(static_cast<char*>(elements) + i * sizeof(BandShape), &shape, sizeof(shape));
    }
}

const ParameterDef kDefs[kParamCount] = {
    {"NrOfBands", kKindFloat, 3.0f, 0, 0, "number of bands"},
    {nullptr, kKindFloat, 0.0f, 0, 0, "band whose gain changed"},
    {nullptr, kKindFloat, 3.0f, 0, 0, "border moved"},
    {"ActBand", kKindFloat, 1.0f, 0, 0, "active band"},
    {nullptr, kKindFloat, 0.0f, 0, 0, "band meter"},
    {"Solo", kKindFloat, 0.0f, 0, 0, "solo of the active band"},
    {"Output", kKindFloat, 0.0f, 0, 0, "output gain (dB)"},
    {"SoftClip", kKindFloat, 0.0f, 0, 0, "soft clipper on"},
    {"CompType", kKindFloat, 0.0f, 0, 0, "0 two stages, 1 one stage"},
    {nullptr, kKindFloat, 0.0f, 0, 0, nullptr},
    {"Border", kKindArray, 0.0f, kBorderEntries, sizeof(float), "band edges (Hz)",
     fillDefaultBorders},
    {"BandGain", kKindArray, 0.0f, kBandGainEntries, sizeof(float), "band gains (dB)"},
    {"Shape", kKindArray, 0.0f, kShapeEntries, sizeof(BandShape), "transfer curves",
     fillDefaultShapes},
};

} // namespace

float defaultBorderHz(int32_t index, int32_t bandCount) {
    return static_cast<float>(kDefaultLowestBorderHz *
                              std::pow(kDefaultBorderSpan, static_cast<double>(index) / bandCount));
}

CompressorParameterSet::CompressorParameterSet()
    : TableParameterSet(orq::compressorParameterTable()) {}

ParameterSet* CompressorParameterSet::clone() const {
    return new CompressorParameterSet(*this);
}

float CompressorParameterSet::getFloat(int32_t index) {
    if (index == kParamUnused) return 0.0f;
    return TableParameterSet::getFloat(index);
}

void CompressorParameterSet::setFloat(int32_t index, float value) {
    if (index == kParamUnused) return;
    TableParameterSet::setFloat(index, value);
}

} // namespace orq::compressor

namespace orq {

const ParameterTable& compressorParameterTable() {
    static const ParameterTable table{fourCC("Qmzt"), "Orq Compressor",
                                      std::span<const ParameterDef>(compressor::kDefs)};
    return table;
}

} // namespace orq
