// Orq Lunavis as an LV2 plug-in (stereo only: the scope needs two channels): the audio passes
// unchanged (or folded to mono when asked); the scope's point rows go out on the "points" atom
// port and the correlation of the newest row to a meter port.
#include "lv2/lv2_description.h"
#include "lv2/lv2_ports.h"

#include "scope/lunavis_parameters.h"
#include "scope/lunavis_plugin.h"
#include "scope/scope_engine.h"

#include <cstring>

namespace orq::lv2 {
namespace {

using namespace orq::scope;

// The newest row's correlation (0 always opposite signs, 1 always the same); nothing when the
// scope gave no row since the last read.
bool newestCorrelation(TableParameterSet& set, int32_t index, float* value) {
    const auto* block = static_cast<const ScopeBlock*>(set.arrayData(index));
    if (block == nullptr) return false;
    const int32_t rows = scopeValidRows(*block);
    if (rows == 0) return false;
    *value = block->correlation[rows - 1];
    return true;
}

constexpr ControlPort kPorts[] = {
    {kLunavisMono, kScalar, PortRole::Setting, 0.0f, 1.0f, PortStyle::Toggle, PortUnit::None,
     nullptr, "Mono"},
    {kLunavisData, kScalar, PortRole::Meter, 0.0f, 1.0f, PortStyle::Continuous, PortUnit::None,
     "correlation", "Correlation", newestCorrelation},
};

const ScopeBlock& blockOf(TableParameterSet& set, int32_t index) {
    return *static_cast<const ScopeBlock*>(set.arrayData(index));
}

int32_t pointRowCount(TableParameterSet& set, int32_t index) {
    return scopeValidRows(blockOf(set, index));
}

// One row: the block's 512 side values, then its 512 mid values.
void copyPointRow(TableParameterSet& set, int32_t index, int32_t row, float* to) {
    const ScopeBlock& block = blockOf(set, index);
    std::memcpy(to, block.x[row], sizeof(float) * kScopeBlockFrames);
    std::memcpy(to + kScopeBlockFrames, block.y[row], sizeof(float) * kScopeBlockFrames);
}

constexpr RowPort kRows{"points",
                        "Mid/side points",
                        kLunavisData,
                        2 * kScopeBlockFrames,
                        kBlockFramesMax / kScopeBlockFrames,
                        pointRowCount,
                        copyPointRow};

} // namespace

const Description& thisDescription() {
    static const Description description{"urn:tarvelle:lv2:lunavis", "lunavis",
                                         "lv2:AnalyserPlugin", createLunavisParameters,
                                         createLunavisPlugin, kPorts, false, false, false, &kRows};
    return description;
}

} // namespace orq::lv2
