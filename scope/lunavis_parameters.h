// The phase scope's parameter table and its set, whose "Data" block carries the engine's
// point rows to the editor.
#pragma once

#include "runtime/parameter_set.h"
#include "scope/scope_engine.h"

#include <cstdint>

namespace orq::scope {

// Parameter indices.
enum LunavisParam : int32_t {
    kLunavisData = 0,           // the ScopeBlock
    kLunavisPeakData = 1,       // reserved block name; nothing reads or fills it
    kLunavisMono = 2,           // mono listening: non-zero = on
    kLunavisContinuousRing = 3, // non-zero: the ring keeps cycling across collections
    kLunavisScale = 4,          // reserved value, carried only
    kLunavisParamCount = 5,
};

const ParameterTable& lunavisParameterTable();

// The table's set, with the "Data" block copied row by row (only the valid rows travel).
class LunavisParameters : public TableParameterSet {
  public:
    // [ui-thread] allocates.
    LunavisParameters();
    LunavisParameters(const LunavisParameters& other) = default;

    ParameterSet* clone() const override;
    // source/destination point to a ScopeBlock; count is in blocks (1).
    void setArray(int32_t index, const void* source, int32_t count) override;
    void getArray(int32_t index, void* destination, int32_t count) override;

    // [ui-thread, under the plug-in lock] the engine's valid rows become this set's block.
    void takeRows(ScopeEngine& engine);

    // [ui-thread] Writes the block straight into a store's "Data" when the store's block has
    // the same shape (no scratch copy); clears the own flag.
    void writeBlockTo(ParameterInterface* store);

    ScopeBlock& block() { return *static_cast<ScopeBlock*>(arrayData(kLunavisData)); }
};

} // namespace orq::scope
