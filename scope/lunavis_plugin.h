// "Orq Lunavis": the phase scope plug-in. Passes audio through (or folds it to mono for
// listening) and measures the stereo image for its editor.
#pragma once

#include "runtime/audio_plugin.h"
#include "runtime/parameter_set.h"
#include "scope/scope_engine.h"

#include <memory>

namespace orq {

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

class LunavisPlugin : public AudioPlugin {
  public:
    static const PluginIdentity kIdentity;

    // [ui-thread] takes ownership of parameters.
    LunavisPlugin(LunavisParameters* parameters, HostCallback host, void* hostContext);
    ~LunavisPlugin() override;

    int32_t process(AudioBuffers& buffers) override;
    int32_t processReplacing(AudioBuffers& buffers) override;
    void loadSettings(ParameterInterface* store) override;
    void saveSettings(ParameterInterface* store) override;
    int32_t open(OpenFormat& format) override;
    int32_t close() override;
    int32_t start() override;
    int32_t stop() override;
    int32_t checkFormat(int32_t channels, int32_t* outputChannels, int32_t* sampleRate,
                        int32_t* extra) override;
    int32_t latency() override;
    float compatFloatQuery() override { return -1.0f; }

    // The engine while open, else null (tests and the collector read it under the lock).
    const ScopeEngine* engine() const { return engine_.get(); }

  private:
    LunavisParameters& own() { return static_cast<LunavisParameters&>(parameters()); }

    std::unique_ptr<ScopeEngine> engine_;
};

// [ui-thread] Creator functions; they catch every failure and return null. The plug-in takes
// ownership of parameters (null: a fresh set with the defaults); a set of another kind is
// copied into a set of this plug-in and released.
AudioPlugin* createLunavisPlugin(ParameterSet* parameters, HostCallback host, void* hostContext);
ParameterSet* createLunavisParameters();

} // namespace orq
