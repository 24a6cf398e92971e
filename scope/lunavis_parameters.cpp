#include "scope/lunavis_parameters.h"

#include "runtime/audio_plugin.h"

#include <iterator>

namespace orq::scope {

namespace {

const ParameterDef kLunavisDefs[] = {
    {"Data", kKindArray, 0.0f, 1, static_cast<int32_t>(sizeof(ScopeBlock)), "data"},
    {"PeakData", kKindArray, 0.0f, 0, static_cast<int32_t>(sizeof(float)), "PeakData"},
    {"mono", kKindFloat, 0.0f, 0, 0, "mono"},
    {nullptr, kKindFloat, 0.0f, 0, 0, nullptr},
    {"scale", kKindFloat, 0.0f, 0, 0, "scale"},
};
static_assert(std::size(kLunavisDefs) == kLunavisParamCount);

const ParameterTable kLunavisTable{fourCC("Lunv"), "Orq Lunavis", kLunavisDefs};

} // namespace

const ParameterTable& lunavisParameterTable() {
    return kLunavisTable;
}

LunavisParameters::LunavisParameters() : TableParameterSet(kLunavisTable) {}

ParameterSet* LunavisParameters::clone() const {
    return new LunavisParameters(*this);
}

void LunavisParameters::setArray(int32_t index, const void* source, int32_t count) {
    if (index != kLunavisData) return;
    if (source == nullptr || count < 1) return;
    copyScopeRows(*static_cast<const ScopeBlock*>(source), block());
    markChanged(index);
}

void LunavisParameters::getArray(int32_t index, void* destination, int32_t count) {
    if (index != kLunavisData) return;
    if (destination == nullptr || count < 1) return;
    copyScopeRows(block(), *static_cast<ScopeBlock*>(destination));
    clearChanged(index);
}

void LunavisParameters::takeRows(ScopeEngine& engine) {
    engine.collect(block());
    markChanged(kLunavisData);
}

void LunavisParameters::writeBlockTo(ParameterInterface* store) {
    if (store == iface()) return; // already there
    int32_t count = 0, size = 0;
    if (store->arrayInfo(store, kLunavisData, &count, &size) != 0 || count != 1 ||
        size != static_cast<int32_t>(sizeof(ScopeBlock))) {
        return;
    }
    store->setArray(store, kLunavisData, &block(), 1);
    clearChanged(kLunavisData);
}

} // namespace orq::scope
