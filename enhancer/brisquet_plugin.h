// "Orq Brisquet": the spectral enhancer as a plug-in of the processing frame.
#pragma once

#include "enhancer/brisquet_parameters.h"
#include "enhancer/enhancer_engine.h"
#include "runtime/audio_plugin.h"

#include <memory>
#include <vector>

namespace orq::enhancer {

class BrisquetPlugin final : public AudioPlugin {
  public:
    static const PluginIdentity kIdentity;

    // [ui-thread] takes ownership of parameters.
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
    const EnhancerEngine* engine() const { return engine_.get(); }

  private:
    int32_t wantedEngineChannels();
    // Builds a new engine with the current settings; false (old engine kept) when out of memory.
    bool rebuildEngine(int32_t channels);

    std::unique_ptr<EnhancerEngine> engine_;
    int32_t streamChannels_ = 0;
    bool bypassWithDelay_ = false;
    std::vector<float> tail_; // Ld frames per output channel, for stop
    float* tailChannels_[kMaxEnhancerChannels] = {};
};

} // namespace orq::enhancer

namespace orq {

// A new parameter set with the defaults; null when it cannot be allocated.
ParameterSet* createBrisquetParameters();
// A new plug-in owning parameters (also when creation fails); null on failure.
AudioPlugin* createBrisquetPlugin(ParameterSet* parameters, HostCallback host, void* hostContext);
// The plug-in's editor (enhancer/brisquet_editor.*, its own library); null on failure.
class EditorHost;
EditorHost* createBrisquetEditor(ParameterSet* parameters);

} // namespace orq
