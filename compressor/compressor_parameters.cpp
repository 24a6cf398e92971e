#include "compressor/compressor_parameters.h"

#include "compressor/gain_curve.h"
#include "runtime/audio_plugin.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <new>

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

// Scalars arrive as floats; anything beyond this magnitude is out of every range.
constexpr float kIntegerLimit = 1.0e6f;

// Integer part of a finite parameter value, kept inside a safe range.
int32_t integerPart(float value) {
    return static_cast<int32_t>(std::clamp(value, -kIntegerLimit, kIntegerLimit));
}

BandGainArray readBandGains(ParameterInterface* source) {
    BandGainArray gains{};
    source->getArray(source, kParamBandGain, gains.data(), kBandGainEntries);
    return gains;
}

BorderArray readBorders(ParameterInterface* source) {
    BorderArray borders{};
    source->getArray(source, kParamBorder, borders.data(), kBorderEntries);
    return borders;
}

ShapeArray readShapes(ParameterInterface* source) {
    ShapeArray shapes{};
    source->getArray(source, kParamShape, shapes.data(), kShapeEntries);
    return shapes;
}

} // namespace

ParameterSelection selectionOf(ParameterInterface* store) {
    ParameterSelection selection{};
    for (int32_t i = 0; i < kParamCount; ++i)
        selection[i] = store != nullptr && store->isSelected(store, i) != 0;
    return selection;
}

ParameterSelection allParameters() {
    ParameterSelection selection;
    selection.fill(true);
    return selection;
}

ParameterSelection arraysReadFor(const ParameterSelection& selection) {
    ParameterSelection arrays{};
    if (selection[kParamBandCount]) {
        arrays[kParamBandGain] = arrays[kParamBorder] = arrays[kParamShape] = true;
    }
    if (selection[kParamGainChangedBand]) arrays[kParamBandGain] = true;
    if (selection[kParamBorderMoved]) arrays[kParamBorder] = true;
    return arrays;
}

bool applyParameters(CompressorEngine& engine, ParameterInterface* source,
                     const ParameterSelection& selection) {
    if (source == nullptr) return true;
    bool built = true;
    auto scalar = [&](int32_t index, auto apply) {
        if (!selection[index]) return;
        const float value = source->getFloat(source, index);
        if (std::isfinite(value)) apply(value);
    };
    scalar(kParamCompType, [&](float v) { engine.setCompType(integerPart(v)); });
    scalar(kParamBandCount, [&](float v) {
        try {
            engine.setBandCount(integerPart(v), readBandGains(source), readBorders(source),
                                readShapes(source));
        } catch (const std::bad_alloc&) {
            built = false; // reported to the caller; the running bands stay
        }
    });
    if (selection[kParamGainChangedBand]) {
        const float value = source->getFloat(source, kParamGainChangedBand);
        engine.setBandGainsDb(readBandGains(source));
        if (std::isfinite(value)) engine.applyBandGain(integerPart(value));
    }
    if (selection[kParamBorderMoved]) {
        const float value = source->getFloat(source, kParamBorderMoved);
        engine.setBordersHz(readBorders(source));
        if (std::isfinite(value)) engine.applyBorder(integerPart(value));
    }
    if (selection[kParamBorder]) engine.setBordersHz(readBorders(source));
    if (selection[kParamBandGain]) engine.setBandGainsDb(readBandGains(source));
    if (selection[kParamShape]) engine.setShapes(readShapes(source));
    scalar(kParamActiveBand, [&](float v) { engine.setActiveBand(integerPart(v)); });
    if (selection[kParamBandMeter]) engine.setBandMeter(source->getFloat(source, kParamBandMeter));
    if (selection[kParamSolo]) {
        const float value = source->getFloat(source, kParamSolo);
        if (!std::isnan(value)) engine.setSolo(value != 0.0f);
    }
    scalar(kParamOutputDb, [&](float v) { engine.setOutputDb(v); });
    scalar(kParamSoftClip, [&](float v) { engine.setSoftClip(integerPart(v)); });
    return built;
}

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
