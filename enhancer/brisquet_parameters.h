// The enhancer's parameters as data: index, key, label, range, unit and default. The plug-in's
// parameter table, its range records and its limiting of host values all read this one table;
// the defaults are the engine's.
#pragma once

#include "enhancer/enhancer_engine.h"
#include "runtime/audio_plugin.h"
#include "runtime/parameter_set.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>

namespace orq::enhancer {

enum ParameterIndex : int32_t {
    kInputGainIndex = 0, // "igain", dB
    kSoloIndex = 1,      // dry level: 1 keeps the dry signal, 0 leaves only the enhancement
    kMixIndex = 2,       // level of the whole enhancement
    kFrequencyIndex = 3, // corner of the linear-phase high-pass, Hz
    kHpMixIndex = 4,     // level of the high-passed part (times Mix)
    kGainIndex = 5,      // drive into the harmonic generator
    kKickIndex = 6,      // slow band-compressor time constants
    kDensityIndex = 7,   // band-compressor threshold -(Density + 1) x 10 dB
    kSecondIndex = 8,    // amount of the second-order product
    kThirdIndex = 9,     // amount of the third-order product
    kMonoIndex = 10,     // one-channel engine, left copied to both outputs
    kEnhancerParameterCount = 11,
};

struct EnhancerParameter {
    const char* key;
    const char* label;
    float minimum;
    float maximum;
    float step;
    const char* unit;
    float defaultValue;
    bool hasRangeRecord; // "mono" is a switch without a range record
};

inline constexpr EnhancerSettings kDefaultSettings{};

inline constexpr std::array<EnhancerParameter, kEnhancerParameterCount> kEnhancerParameters = {{
    {"igain", "Input", -20.0f, 6.0f, 1.0f, "dB", kDefaultSettings.inputGainDb, true},
    {"solo", "Solo", 0.0f, 1.0f, 1.0f, "", kDefaultSettings.solo, true},
    {"mix", "Mix", 0.0f, 1.0f, 0.01f, "%", kDefaultSettings.mix, true},
    {"hpf", "Frequency", 1000.0f, 7000.0f, 1000.0f, "Hz ", kDefaultSettings.cornerHz, true},
    {"hpm", "HP Mix", 0.0f, 1.0f, 0.01f, "%", kDefaultSettings.hpMix, true},
    {"gain", "Gain", 0.0f, 1.0f, 0.01f, "%", kDefaultSettings.drive, true},
    {"kick", "Kick", 0.0f, 1.0f, 1.0f, "", kDefaultSettings.kick ? 1.0f : 0.0f, true},
    {"den", "Density", 0.0f, 6.0f, 1.0f, "", kDefaultSettings.density, true},
    {"sec", "2nd", 0.0f, 1.0f, 0.01f, "%", kDefaultSettings.second, true},
    {"third", "3rd", 0.0f, 1.0f, 0.01f, "%", kDefaultSettings.third, true},
    {"mono", "mono", 0.0f, 1.0f, 1.0f, "", 0.0f, false},
}};

// Order in which settings are applied to the engine and written back to a store.
inline constexpr std::array<int32_t, 10> kEnhancerApplyOrder = {
    kInputGainIndex, kGainIndex, kMixIndex,     kSecondIndex,    kThirdIndex,
    kSoloIndex,      kKickIndex, kDensityIndex, kFrequencyIndex, kHpMixIndex};

// Switch parameters ("Kick", "mono") are on from this value up.
constexpr float kSwitchOnThreshold = 0.5f;

// A host may send any float: values are limited to the parameter's range, and a value that is
// not a number falls back to the default.
inline float clampParameter(int32_t index, float value) {
    const EnhancerParameter& p = kEnhancerParameters[size_t(index)];
    if (std::isnan(value)) return p.defaultValue;
    return std::clamp(value, p.minimum, p.maximum);
}

// Identity of the plug-in and of its parameter table.
inline constexpr uint32_t kBrisquetId = fourCC("Brsq");
inline constexpr const char* kBrisquetName = "Orq Brisquet";

// The enhancer's parameter table (eleven indices).
const ParameterTable& brisquetParameterTable();

// The enhancer's parameter set: the table's values, and a range record for every parameter
// that has one.
class BrisquetParameters : public TableParameterSet {
  public:
    BrisquetParameters();
    BrisquetParameters(const BrisquetParameters& other) = default;
    ParameterSet* clone() const override;
    void getInfo(int32_t index, ParameterInfo* info) const override;
};

} // namespace orq::enhancer
