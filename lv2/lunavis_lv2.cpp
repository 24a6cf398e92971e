// Orq Lunavis as an LV2 plug-in (stereo only: the scope needs two channels): the audio passes
// unchanged (or folded to mono when asked); the correlation of the newest row of the scope goes to
// a meter port.
#include "lv2/lv2_description.h"

#include "scope/lunavis_parameters.h"
#include "scope/lunavis_plugin.h"
#include "scope/scope_engine.h"

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

} // namespace

const Description& thisDescription() {
    static const Description description{"urn:tarvelle:lv2:lunavis", "lunavis",
                                         "lv2:AnalyserPlugin", createLunavisParameters,
                                         createLunavisPlugin, kPorts, false, false, false};
    return description;
}

} // namespace orq::lv2
