#include "matching/tessaline_parameters.h"

#include "runtime/audio_plugin.h"

#include <array>
#include <cstring>

namespace orq::matching {

namespace {

constexpr int32_t kFloatBytes = sizeof(float);
constexpr uint32_t kTessalineId = fourCC("Qtsl");

// One row per index: storage and default, persistence, and the description getInfo gives.
struct Row {
    ParameterDef def;
    bool persisted;
    ParameterDescription description;
};

constexpr float kMaxRateHz = 768000.0f;
constexpr ParameterDescription kNone{false, 0, 0.0f, 0.0f, 0.0f, ""};
constexpr ParameterDescription switchInfo() {
    return {true, kKindScalar, 0.0f, 1.0f, 1.0f, ""};
}
constexpr ParameterDescription arrayInfoOf(const char* unit) {
    return {true, kKindArray, 0.0f, 0.0f, 1.0f, unit};
}

constexpr ParameterDef scalar(const char* key, int32_t kind, float value) {
    return ParameterDef{key, kind, value, 0, 0, nullptr};
}
constexpr ParameterDef floats(const char* key, int32_t count) {
    return ParameterDef{key, kKindArray, 0.0f, count, kFloatBytes, nullptr};
}

const std::array<Row, kParamCount> kRows = {{
    {scalar("nFFT21", kKindFloat, float(kDefaultBinCount)), false, kNone},
    {scalar("BSMax", kKindFloat, float(kDefaultDisplayCount)), false, kNone},
    {floats("Spec", kSpectraElements), false, kNone},
    {scalar("BSTrans", kKindFloat, 0.0f), false, kNone},
    {scalar("ch", kKindFloat, 0.0f), false, kNone},
    {floats("sl", kSliderCount), true, arrayInfoOf("sl")},
    {scalar("log", kKindScalar, 0.0f), true, switchInfo()},
    {scalar("Dspl", kKindScalar, 1.0f), true, switchInfo()},
    {scalar(nullptr, kKindFloat, 0.0f), false, kNone},
    {scalar("match", kKindScalar, 0.0f), true, switchInfo()},
    {scalar(nullptr, kKindFloat, 1.0f), false, kNone},
    {floats("SrcTF", kMaxLearnedBins), true, arrayInfoOf("src")},
    {floats("DstTF", kMaxLearnedBins), true, arrayInfoOf("dst")},
    {scalar(nullptr, kKindFloat, 0.0f), false, kNone},
    {scalar("morph", kKindFloat, 1.0f), true, {true, kKindFloat, 0.0f, kMorphMax, 0.01f, ""}},
    {floats(nullptr, kMaxLearnedBins), false, kNone},
    {floats("SlMatch", kSliderCount), true, arrayInfoOf("SlMatch")},
    {scalar("SrcLnd", kKindFloat, 0.0f), true, {true, kKindFloat, 0.0f, 1.0f, 1.0f, ""}},
    {scalar("DestLnd", kKindScalar, 0.0f), true, switchInfo()},
    {scalar(nullptr, kKindFloat, float(kDefaultSampleRateHz)), false, kNone},
    {scalar(nullptr, kKindFloat, float(kMaxLearnedBins)), false, kNone},
    // The rate the stored learned spectra were measured at; 0 (or 1 from older states): unknown.
    {scalar("Analyze", kKindFloat, 0.0f), true, {true, kKindFloat, 0.0f, kMaxRateHz, 1.0f, "Hz"}},
}};

const std::array<ParameterDef, kParamCount> kDefs = [] {
    std::array<ParameterDef, kParamCount> defs{};
    for (size_t i = 0; i < kRows.size(); ++i)
        defs[i] = kRows[i].def;
    return defs;
}();

const ParameterTable kTable{kTessalineId, "Orq Tessaline", kDefs};

} // namespace

const ParameterTable& tessalineTable() {
    return kTable;
}

const ParameterDescription& tessalineDescription(int32_t index) {
    return (index >= 0 && index < kParamCount) ? kRows[size_t(index)].description : kNone;
}

bool tessalineIsPersisted(int32_t index) {
    return index >= 0 && index < kParamCount && kRows[size_t(index)].persisted;
}

TessalineParameterSet::TessalineParameterSet() : TableParameterSet(kTable) {}

ParameterSet* TessalineParameterSet::clone() const {
    return new TessalineParameterSet(*this);
}

int32_t TessalineParameterSet::isPersisted(int32_t index) const {
    return tessalineIsPersisted(index) ? 1 : 0;
}

void TessalineParameterSet::getInfo(int32_t index, ParameterInfo* info) const {
    if (info == nullptr) return;
    std::memset(info, 0, sizeof(*info));
    const ParameterDescription& d = tessalineDescription(index);
    if (!d.present) return;
    info->kind = d.kind;
    info->minimum = d.minimum;
    info->maximum = d.maximum;
    info->step = d.step;
    std::strncpy(info->unit, d.unit, sizeof(info->unit) - 1);
    info->flag = 1;
}

} // namespace orq::matching
