#include "enhancer/brisquet_parameters.h"

#include "runtime/audio_plugin.h"

#include <cstring>

namespace orq::enhancer {

namespace {

constexpr std::array<ParameterDef, kEnhancerParameterCount> makeDefs() {
    std::array<ParameterDef, kEnhancerParameterCount> defs{};
    for (size_t i = 0; i < defs.size(); ++i) {
        const EnhancerParameter& p = kEnhancerParameters[i];
        defs[i] = ParameterDef{p.key, kKindFloat, p.defaultValue, 0, 0, p.label, nullptr};
    }
    return defs;
}
constexpr std::array<ParameterDef, kEnhancerParameterCount> kBrisquetDefs = makeDefs();

} // namespace

const ParameterTable& brisquetParameterTable() {
    static const ParameterTable table{kBrisquetId, kBrisquetName, kBrisquetDefs};
    return table;
}

BrisquetParameters::BrisquetParameters() : TableParameterSet(brisquetParameterTable()) {}

ParameterSet* BrisquetParameters::clone() const {
    return new BrisquetParameters(*this);
}

void BrisquetParameters::getInfo(int32_t index, ParameterInfo* info) const {
    if (info == nullptr) return;
    if (index < 0 || index >= kEnhancerParameterCount ||
        !kEnhancerParameters[size_t(index)].hasRangeRecord) {
        TableParameterSet::getInfo(index, info);
        return;
    }
    const EnhancerParameter& p = kEnhancerParameters[size_t(index)];
    *info = ParameterInfo{kKindFloat, p.minimum, p.maximum, p.step, {}, 1};
    std::strncpy(info->unit, p.unit, sizeof info->unit - 1);
}

} // namespace orq::enhancer
