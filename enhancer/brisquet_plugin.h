// "Orq Brisquet": the spectral enhancer as a plug-in of the processing frame.
#pragma once

#include "enhancer/enhancer_engine.h"
#include "runtime/audio_plugin.h"
#include "runtime/parameter_set.h"

#include <memory>
#include <vector>

namespace orq {

// open's failure when the engine cannot be allocated.
constexpr int32_t kStatusOutOfMemory = static_cast<int32_t>(0x8007000Eu);

// The enhancer's parameter set: the table's values, and a range record for every parameter
// that has one.
class BrisquetParameters : public TableParameterSet {
  public:
    BrisquetParameters();
    BrisquetParameters(const BrisquetParameters& other) = default;
    ParameterSet* clone() const override;
    void getInfo(int32_t index, ParameterInfo* info) const override;
};

class BrisquetPlugin final : public AudioPlugin {
  public:
    static const PluginIdentity kIdentity;

    // [ui-thread] takes ownership of parameters (a fresh default set when null).
    BrisquetPlugin(ParameterSet* parameters, HostCallback host, void* hostContext);
    ~BrisquetPlugin() override;

    // [audio-thread] takes the plug-in's lock around the engine; no allocation.
    int32_t process(AudioBuffers& buffers) override;
    int32_t processReplacing(AudioBuffers&) override { return kStatusNotSupported5; }
    // [ui-thread] called with the lock held; rebuilds the engine (allocates) when "mono" changes.
    void loadSettings(ParameterInterface* store) override;
    void saveSettings(ParameterInterface* store) override;
    // [ui-thread] allocates the engine.
    int32_t open(OpenFormat& format) override;
    int32_t close() override;
    // [audio-thread or ui-thread] no allocation.
    int32_t start() override;
    // [audio-thread or ui-thread] no allocation; hands Ld frames of tail to a host that asks.
    int32_t stop() override;
    int32_t checkFormat(int32_t channels, int32_t* outputChannels, int32_t* sampleRate,
                        int32_t* extra) override;
    // [any-thread] takes the lock.
    int32_t latency() override;
    float compatFloatQuery() override { return -1.0f; }
    // [ui-thread] called with the lock held.
    void setBypassWithDelay(float value) override;

    // For inspection: the engine while open, else null.
    const enhancer::EnhancerEngine* engine() const { return engine_.get(); }

  private:
    int32_t wantedEngineChannels();
    // Builds a new engine with the current settings; false (old engine kept) when out of memory.
    bool rebuildEngine(int32_t channels);

    std::unique_ptr<enhancer::EnhancerEngine> engine_;
    int32_t streamChannels_ = 0;
    bool bypassWithDelay_ = false;
    std::vector<float> tail_; // Ld frames per output channel, for stop
    float* tailChannels_[enhancer::kMaxEnhancerChannels] = {};
};

// The enhancer's parameter table (eleven indices).
const ParameterTable& brisquetParameterTable();
// A new parameter set with the defaults; null when it cannot be allocated.
ParameterSet* createBrisquetParameters();
// A new plug-in owning parameters (also when creation fails); null on failure.
AudioPlugin* createBrisquetPlugin(ParameterSet* parameters, HostCallback host, void* hostContext);

} // namespace orq
