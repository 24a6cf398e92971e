// "Orq Ombrel": the spectrogram analyser plug-in. Passes audio through unchanged and measures
// power spectra of one or both channels for its editor.
#pragma once

#include "runtime/audio_plugin.h"
#include "spectrogram/ombrel_parameters.h"
#include "spectrogram/spectrogram_engine.h"

#include <memory>

namespace orq::spectrogram {

class OmbrelPlugin : public AudioPlugin {
  public:
    static const PluginIdentity kIdentity;

    // [ui-thread] takes ownership of parameters, an OmbrelParameters.
    OmbrelPlugin(ParameterSet* parameters, HostCallback host, void* hostContext);
    ~OmbrelPlugin() override;

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
    int32_t latency() override { return 0; }
    float compatFloatQuery() override { return -1.0f; }

    // The engine while open, else null (read under the lock).
    const SpectrogramEngine* engine() const { return engine_.get(); }

  private:
    OmbrelParameters& own() { return static_cast<OmbrelParameters&>(parameters()); }

    std::unique_ptr<SpectrogramEngine> engine_;
};

} // namespace orq::spectrogram

namespace orq {

class EditorHost;

// [ui-thread] Creator functions; they catch every failure and return null. The plug-in takes
// ownership of parameters (null: a fresh set with the defaults); a set of another kind is
// copied into a set of this plug-in and released.
AudioPlugin* createOmbrelPlugin(ParameterSet* parameters, HostCallback host, void* hostContext);
ParameterSet* createOmbrelParameters();
// The editor for its own set (taken; released when the editor cannot be made), or null.
EditorHost* createOmbrelEditor(ParameterSet* parameters);

} // namespace orq
