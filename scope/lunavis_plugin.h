// "Orq Lunavis": the phase scope plug-in. Passes audio through (or folds it to mono for
// listening) and measures the stereo image for its editor.
#pragma once

#include "runtime/audio_plugin.h"
#include "scope/lunavis_parameters.h"
#include "scope/scope_engine.h"

#include <memory>

namespace orq::scope {

class LunavisPlugin : public AudioPlugin {
  public:
    static const PluginIdentity kIdentity;

    // [ui-thread] takes ownership of parameters, a LunavisParameters.
    LunavisPlugin(ParameterSet* parameters, HostCallback host, void* hostContext);
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

} // namespace orq::scope

namespace orq {

class EditorHost;

// [ui-thread] Creator functions; they catch every failure and return null. The plug-in takes
// ownership of parameters (null: a fresh set with the defaults); a set of another kind is
// copied into a set of this plug-in and released.
AudioPlugin* createLunavisPlugin(ParameterSet* parameters, HostCallback host, void* hostContext);
ParameterSet* createLunavisParameters();
// The editor for its own set (taken; released when the editor cannot be made), or null.
EditorHost* createLunavisEditor(ParameterSet* parameters);

} // namespace orq
