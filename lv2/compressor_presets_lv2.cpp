// Orq Compressor's presets: the ten programs of compressor_plax's factory bank, read through the
// Plax build itself (its bank, its table's quantisation, its translation into the engine's
// units), so the bundle holds no second copy of the programs.
#include "lv2/lv2_description.h"

#include "compressor/compressor_parameters.h"
#include "compressor/compressor_plugin.h"
#include "plax/compressor_plax.h"

#include <memory>
#include <stdexcept>

namespace orq::lv2 {
namespace {

using namespace orq::compressor;
using namespace orq::plax;

// The rate the programs' band edges are read at: the component set's own defaults are computed
// for it, and the engine holds the top edge at its own half rate.
constexpr float kProgramRateHz = 44100.0f;
// The version of the standard this generator answers as a host.
constexpr intptr_t kHostVersion = kPlaxStandardVersion;

intptr_t hostCallback(PlaxEffect*, int32_t opcode, int32_t, intptr_t, void*, float) {
    return opcode == kPlaxHostVersion ? kHostVersion : 0;
}

struct CloseEffect {
    void operator()(PlaxEffect* effect) const {
        if (effect != nullptr) effect->dispatcher(effect, kPlaxClose, 0, 0, nullptr, 0.0f);
    }
};

void setArray(ParameterSet& set, int32_t index, const void* elements, size_t count) {
    set.setArray(index, elements, int32_t(count));
}

// The program's settings as the compressor's own parameter set holds them.
SetPointer settingsOfProgram(const plax::ParameterTable& table) {
    SetPointer set(createCompressorParameters());
    if (!set) throw std::bad_alloc();
    const CompressorPlaxSettings s = settingsOf(table, kProgramRateHz);
    set->setFloat(kParamCompType, table.readValue(kCompType));
    set->setFloat(kParamBandCount, float(s.bandCount));
    setArray(*set, kParamBandGain, s.bandGainsDb.data(), s.bandGainsDb.size());
    setArray(*set, kParamBorder, s.bordersHz.data(), s.bordersHz.size());
    setArray(*set, kParamShape, s.shapes.data(), s.shapes.size());
    set->setFloat(kParamActiveBand, table.readValue(kCompActBand));
    set->setFloat(kParamSolo, table.readValue(kCompSolo) >= 0.5f ? 1.0f : 0.0f);
    set->setFloat(kParamOutputDb, table.readValue(kCompGain));
    set->setFloat(kParamSoftClip, table.readValue(kCompLimiter) >= 0.5f ? 1.0f : 0.0f);
    return set;
}

} // namespace

std::vector<Preset> thisPresets() {
    std::unique_ptr<PlaxEffect, CloseEffect> record(createCompressorPlax(hostCallback, nullptr));
    if (!record) throw std::runtime_error("compressor_plax could not be made");
    auto* effect = dynamic_cast<CompressorPlax*>(PlaxEffectBase::fromRecord(record.get()));
    if (effect == nullptr) throw std::runtime_error("compressor_plax's record holds no effect");
    std::vector<Preset> presets;
    for (int32_t program = 0; program < record->numPrograms; ++program) {
        effect->setProgram(program);
        char name[kPlaxTextBufferSize] = {};
        effect->getProgramName(name);
        presets.push_back({name, settingsOfProgram(effect->table())});
    }
    return presets;
}

} // namespace orq::lv2
