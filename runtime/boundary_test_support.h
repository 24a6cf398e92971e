// Test pieces for the plug-in boundary: a plug-in and an editor that throw on demand, and a
// host's own store record whose owner field is not a parameter set of this library.
#pragma once

#include "runtime/audio_plugin.h"
#include "runtime/parameter_set.h"
#include "runtime/plugin_glue.h"

#include <cstdint>
#include <new>
#include <stdexcept>

namespace orq::test {

enum class Throw { BadAlloc, Other };
inline const Throw kThrows[] = {Throw::BadAlloc, Throw::Other};
inline const char* nameOf(Throw t) {
    return t == Throw::BadAlloc ? "std::bad_alloc" : "std::runtime_error";
}
[[noreturn]] inline void raise(Throw t) {
    if (t == Throw::BadAlloc) throw std::bad_alloc();
    throw std::runtime_error("plug-in fault");
}

inline const ParameterDef kFaultyDefs[] = {
    {"Level", kKindFloat, 0.5f, 0, 0, nullptr},
    {nullptr, kKindFloat, 0.0f, 0, 0, nullptr}, // a meter
    {"Gains", kKindArray, 1.0f, 3, 4, nullptr},
};
inline const ParameterTable kFaultyTable{fourCC("Fltb"), "Faulty", kFaultyDefs};

// The faulty plug-in's own set.
class FaultySet : public TableParameterSet {
  public:
    FaultySet() : TableParameterSet(kFaultyTable) {}
};

// Operations of a plug-in or a set that can be made to throw.
enum class Fault {
    None,
    Open,
    Close,
    Start,
    Stop,
    Latency,
    CheckFormat,
    Process,
    ProcessReplacing,
    LoadSettings,
    SaveSettings,
    HandleCommand,
    FloatQuery,
    EditorCommand,
    Constructor,
};

class FaultyPlugin final : public AudioPlugin {
  public:
    FaultyPlugin(ParameterSet* parameters, HostCallback host, void* context)
        : AudioPlugin({kRecordKindProcessor, fourCC("Fltb"), "Faulty"}, parameters, host, context) {
        check(Fault::Constructor);
    }
    static inline Fault armed = Fault::None;
    static inline Throw kind = Throw::Other;

    int32_t process(AudioBuffers& buffers) override {
        check(Fault::Process);
        return buffers.frames;
    }
    int32_t processReplacing(AudioBuffers& buffers) override {
        check(Fault::ProcessReplacing);
        return buffers.frames;
    }
    void loadSettings(ParameterInterface* store) override {
        check(Fault::LoadSettings);
        copySelectedFromStore(parameters(), store);
    }
    void saveSettings(ParameterInterface* store) override {
        check(Fault::SaveSettings);
        writeSelectedToStore(parameters(), store);
    }
    int32_t open(OpenFormat&) override {
        check(Fault::Open);
        return 0;
    }
    int32_t close() override {
        check(Fault::Close);
        return 0;
    }
    int32_t start() override {
        check(Fault::Start);
        return 0;
    }
    int32_t stop() override {
        check(Fault::Stop);
        return 0;
    }
    int32_t checkFormat(int32_t channels, int32_t* outputChannels, int32_t*,
                        int32_t* extra) override {
        check(Fault::CheckFormat);
        if (outputChannels != nullptr) *outputChannels = channels;
        if (extra != nullptr) *extra = 0;
        return 0;
    }
    int32_t latency() override {
        check(Fault::Latency);
        return 0;
    }
    float compatFloatQuery() override {
        check(Fault::FloatQuery);
        return -1.0f;
    }
    int32_t handleCommand(int32_t, void*, int32_t) override {
        check(Fault::HandleCommand);
        return 0;
    }

  private:
    static void check(Fault f) {
        if (armed == f) raise(kind);
    }
};

class FaultyEditor final : public EditorInterface {
  public:
    intptr_t command(int32_t, void*, intptr_t) override {
        if (FaultyPlugin::armed == Fault::EditorCommand) raise(FaultyPlugin::kind);
        return 0;
    }
};

struct Armed {
    Armed(Fault f, Throw t) {
        FaultyPlugin::armed = f;
        FaultyPlugin::kind = t;
    }
    ~Armed() { FaultyPlugin::armed = Fault::None; }
};

// A host's own store record: values by index, key names when it has them, and an owner field
// that is not a parameter set of this library (garbage or null).
struct HostStore {
    ParameterInterface iface{};
    float values[8] = {};
    const char* keys[8] = {};
    int32_t mode = kModeAll;
    int32_t writes = 0;

    explicit HostStore(ParameterSet* owner) {
        iface.owner = owner;
        iface.release = [](ParameterInterface*) {};
        iface.clone = [](ParameterInterface*) -> ParameterInterface* { return nullptr; };
        iface.compatQuery3 = [](ParameterInterface*) { return 1; };
        iface.copyFrom = [](ParameterInterface*, ParameterInterface*) {};
        iface.isPersisted = [](ParameterInterface* i, int32_t index) {
            return int32_t(valid(index) && of(i).keys[index] != nullptr);
        };
        iface.keyName = [](ParameterInterface* i, int32_t index) -> const char* {
            return valid(index) ? of(i).keys[index] : nullptr;
        };
        iface.compatSlot6 = [](ParameterInterface*, int32_t) { return 0; };
        iface.getInfo = [](ParameterInterface*, int32_t, ParameterInfo*) {};
        iface.getFloat = [](ParameterInterface* i, int32_t index) {
            return valid(index) ? of(i).values[index] : 0.0f;
        };
        iface.setFloat = [](ParameterInterface* i, int32_t index, float value) {
            if (!valid(index)) return;
            of(i).values[index] = value;
            ++of(i).writes;
        };
        iface.setArray = [](ParameterInterface* i, int32_t, const void*, int32_t) {
            ++of(i).writes;
        };
        iface.getArray = [](ParameterInterface*, int32_t, void*, int32_t) {};
        iface.arrayInfo = [](ParameterInterface*, int32_t, int32_t*, int32_t*) { return -1; };
        iface.isSelected = [](ParameterInterface* i, int32_t index) {
            return int32_t(valid(index) && (of(i).mode == kModeAll || of(i).mode == index));
        };
        iface.isSelectedForWrite = iface.isSelected;
        iface.setMode = [](ParameterInterface* i, int32_t mode) { of(i).mode = mode; };
        iface.getMode = [](ParameterInterface* i) { return of(i).mode; };
    }
    static bool valid(int32_t index) { return index >= 0 && index < 8; }
    static HostStore& of(ParameterInterface* i) { return *reinterpret_cast<HostStore*>(i); }
};

inline ParameterSet* garbageOwner() {
    return reinterpret_cast<ParameterSet*>(uintptr_t(0x10));
}

// The faulty plug-in's creator in the form of a module's createPlugin: owns the set from the call
// on, also when it throws.
inline AudioPlugin* createFaultyPlugin(ParameterSet* parameters, HostCallback host, void* context) {
    AudioPlugin* plugin = createPluginOrNull<FaultyPlugin, FaultySet>(parameters, host, context);
    if (plugin == nullptr && FaultyPlugin::armed == Fault::Constructor) raise(FaultyPlugin::kind);
    return plugin;
}

} // namespace orq::test
