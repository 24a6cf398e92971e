// "Orq Tessaline": the spectrum-matching filter as a plug-in. The plug-in owns its 22-index
// parameter set and a MatchEngine built when the stream's format is known.
//
// Driving it from a host (all through the parameter interface, loadSettings/saveSettings):
//   learn:  index 10 (target: 1 source, 0 destination), then index 8 = 1; play the audio;
//           index 8 = 0. The learned sums are published in 11 ("SrcTF") and 12 ("DstTF"), the
//           frames summed into the current target's sums in index 13 (set 10 first to choose
//           which; writing 13 sets that target's count).
//   match:  index 9 ("match") = 1, index 14 ("morph") = amount 0..2 (1 = 100 %).
//   rates:  index 21 ("Analyze") holds the rate the stored spectra were measured at; opened at
//           another rate, the filter matches with them moved by frequency onto its own bins.
#pragma once

#include "matching/matching_engine.h"
#include "matching/tessaline_parameters.h"
#include "runtime/audio_plugin.h"
#include "runtime/parameter_set.h"

#include <cstdint>
#include <memory>
#include <vector>

namespace orq::matching {

class TessalinePlugin : public AudioPlugin {
  public:
    // Takes ownership of parameters (a TessalineParameterSet; null makes a fresh one).
    TessalinePlugin(ParameterSet* parameters, HostCallback host, void* hostContext);
    ~TessalinePlugin() override;

    // [audio-thread] no allocation; takes the plug-in's lock around the call.
    int32_t process(AudioBuffers& buffers) override;
    // [audio-thread] not supported.
    int32_t processReplacing(AudioBuffers& buffers) override;
    // [ui-thread] lock held by the caller. Allocates only when the mode switches.
    void loadSettings(ParameterInterface* store) override;
    // [ui-thread] lock held by the caller; no allocation.
    void saveSettings(ParameterInterface* store) override;
    // [ui-thread] allocates the engine and applies every parameter to it.
    int32_t open(OpenFormat& format) override;
    // [ui-thread] frees the engine.
    int32_t close() override;
    // [streaming thread] no allocation.
    int32_t start() override;
    int32_t stop() override;
    int32_t checkFormat(int32_t channels, int32_t* outputChannels, int32_t* sampleRate,
                        int32_t* extra) override;
    int32_t latency() override;
    float compatFloatQuery() override { return -1.0f; }
    // [any-thread, lock held by the frame] flat: the filter becomes a 128-sample pure delay.
    void setBypassWithDelay(float value) override;

    TessalineParameterSet& ownSet() { return *set_; }
    MatchEngine* engine() { return engine_.get(); }

  private:
    // Applies the listed indices from the plug-in's own set to the engine. opening: a fresh
    // engine takes the set's mode without it counting as a switch.
    void applyToEngine(const std::vector<int32_t>& indices, bool opening = false);
    // Hands one stored learned spectrum to the engine, moved by frequency onto the engine's
    // bins when it was measured at another rate ("Analyze"), or nothing when it was learned in
    // the other mode's layout.
    void applyLearned(LearnTarget target);
    // True while the set holds spectra measured at another rate than the engine's, which the
    // engine has only as a moved copy (nothing learned on top of them yet).
    bool keepsStoredSpectra() const;
    // Rate of the stored learned spectra; 0 when unknown (taken as the engine's rate).
    int32_t storedLearnedRate() const;
    void publishFromEngine();

    TessalineParameterSet* set_;
    std::unique_ptr<MatchEngine> engine_;
    std::vector<float> tailStorage_;
    std::vector<float> mappedSpectrum_; // kMaxLearnedBins: a stored spectrum moved to the rate
    // The engine's learned sums replace the stored spectra when they are published: they were
    // learned here, or the stored ones are at the engine's rate anyway.
    bool publishEngineSpectra_ = true;
    std::vector<float*> tailChannels_;
};

} // namespace orq::matching

namespace orq {

// Creator functions; failures return null. createTessalinePlugin takes ownership of the set.
AudioPlugin* createTessalinePlugin(ParameterSet* parameters, HostCallback host, void* hostContext);
ParameterSet* createTessalineParameters();
// The plug-in's editor (matching/tessaline_editor.*, its own library); null on failure.
class EditorHost;
EditorHost* createTessalineEditor(ParameterSet* parameters);

} // namespace orq
