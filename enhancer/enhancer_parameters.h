// The enhancer's parameters as data: index, key, label, range, unit and default. The plug-in's
// parameter table, its range records and the engine's clamping all read this one table.
#pragma once

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

inline constexpr std::array<EnhancerParameter, kEnhancerParameterCount> kEnhancerParameters = {{
    {"igain", "Input", -20.0f, 6.0f, 1.0f, "dB", 0.0f, true},
    {"solo", "Solo", 0.0f, 1.0f, 1.0f, "", 1.0f, true},
    {"mix", "Mix", 0.0f, 1.0f, 0.01f, "%", 0.5f, true},
    {"hpf", "Frequency", 1000.0f, 7000.0f, 1000.0f, "Hz ", 3000.0f, true},
    {"hpm", "HP Mix", 0.0f, 1.0f, 0.01f, "%", 1.0f, true},
    {"gain", "Gain", 0.0f, 1.0f, 0.01f, "%", 0.5f, true},
    {"kick", "Kick", 0.0f, 1.0f, 1.0f, "", 0.0f, true},
    {"den", "Density", 0.0f, 6.0f, 1.0f, "", 3.0f, true},
    {"sec", "2nd", 0.0f, 1.0f, 0.01f, "%", 0.5f, true},
    {"third", "3rd", 0.0f, 1.0f, 0.01f, "%", 0.5f, true},
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

} // namespace orq::enhancer
