// What one plug-in shows an LV2 host: which of its parameters become control ports (settings the
// user sets, meters the editor shows), with the ranges its engine clamps to. Keys, labels and
// defaults are not repeated here: they are read from the plug-in's own parameter table.
#pragma once

#include "runtime/audio_plugin.h"
#include "runtime/parameter_set.h"
#include "runtime/plugin_boundary.h"

#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <vector>

namespace orq::lv2 {

// [ui-thread] Releases a set handed out by a creator.
struct SetRelease {
    void operator()(ParameterSet* set) const {
        if (set != nullptr) set->release();
    }
};
using SetPointer = std::unique_ptr<ParameterSet, SetRelease>;

enum class PortRole {
    Setting, // an input control port: written by the host, applied through the plug-in's set
    Meter,   // an output control port: read from the plug-in's set after each block
};

enum class PortStyle { Continuous, Integer, Toggle };

// Units the generator knows (the LV2 units vocabulary).
enum class PortUnit { None, Decibels, Hertz };

// Control ports a host shows together (a frame or a tab of their own): the symbol is unique
// among the plug-in's groups, the label what the host shows.
struct PortGroup {
    const char* symbol;
    const char* label;
};

// A whole array element of the set is addressed by its index in the array; scalars use -1.
constexpr int32_t kScalar = -1;

struct ControlPort {
    int32_t index;   // parameter index in the plug-in's set
    int32_t element; // array element, or kScalar
    PortRole role;
    float minimum;
    float maximum;
    PortStyle style;
    PortUnit unit;
    // The port's symbol; null for a keyed scalar, whose symbol is its key in lower case.
    const char* symbol = nullptr;
    // The port's name; null for the table's label of the parameter.
    const char* name = nullptr;
    // A meter kept in a record rather than a float: reads the value out of the set after the
    // plug-in saved the parameter into it; false leaves the port's last value.
    bool (*readMeter)(TableParameterSet& set, int32_t index, float* value) = nullptr;
    // The group the port belongs to, or null; ports of one group point at the same group.
    const PortGroup* group = nullptr;
};

// An analyser's data as rows on an atom output port: each row the plug-in hands out becomes an
// atom:Vector of floats in the port's sequence.
struct RowPort {
    const char* symbol;
    const char* name;
    int32_t index;  // the parameter that carries the rows, saved by its own index
    int32_t floats; // floats in a row
    // Rows the plug-in gives at most for one piece of kBlockFramesMax frames: the port's
    // minimum buffer holds that many.
    int32_t rowsPerPieceMax;
    // After the plug-in saved the parameter into the set: the rows it holds, and one row's
    // floats copied out.
    int32_t (*rowCount)(TableParameterSet& set, int32_t index);
    void (*copyRow)(TableParameterSet& set, int32_t index, int32_t row, float* to);
};

struct Description {
    const char* uri;
    const char* symbol;     // the bundle's file names: <symbol>.so, <symbol>.ttl
    const char* lv2Class;   // "lv2:LimiterPlugin", "lv2:AnalyserPlugin"...
    // The plug-in's set and object, the same creators the deliverable uses.
    ParameterSet* (*createParameters)();
    AudioPlugin* (*createPlugin)(ParameterSet* parameters, HostCallback host, void* hostContext);
    std::span<const ControlPort> ports;
    // Whether run() stays free of allocation and locks held for long for every port value (no
    // engine rebuild on a setting change).
    bool hardRealTime;
    // How the plug-in hands out its meters: saved all at once with the unnamed selection, or
    // each by its own index.
    bool metersAsUnnamed = false;
    // Whether the plug-in also takes one channel: the bundle then holds a mono variant too.
    bool monoVariant = true;
    // The analyser's data rows, or null for a plug-in without them.
    const RowPort* rows = nullptr;
};

// The URI of the stereo (channels 2) or the mono variant (channels 1).
std::string variantUri(const Description& description, int32_t channels);

// The one description of the plug-in a wrapper library or the Turtle generator is built for.
const Description& thisDescription();

// A preset the bundle offers for a plug-in: its label and the settings it loads, held in the
// plug-in's own parameter set (the ports take their values from it, the state its stream).
struct Preset {
    std::string label;
    SetPointer settings;
};

// [ui-thread] allocates. The presets of the plug-in the Turtle generator is built for, in the
// order a host lists them; empty for a plug-in without presets. Throws when they cannot be made.
std::vector<Preset> thisPresets();

// The port's symbol and name, from the description or else the plug-in's table.
const char* portSymbol(const ControlPort& port, const TableParameterSet& set, char* buffer,
                       int32_t bufferSize);
const char* portName(const ControlPort& port, const TableParameterSet& set);

} // namespace orq::lv2
