// "Orq Pressane": the maximizer as a plug-in of the component build. Its seven-value parameter
// set (five settings and two meters) and the plug-in class around the maximizer engine.
#pragma once

#include "maximizer/maximizer_engine.h"
#include "runtime/audio_plugin.h"
#include "runtime/parameter_set.h"

#include <cstdint>
#include <vector>

namespace orq {

// Parameter indices of the maximizer's set.
enum PressaneParameter : int32_t {
    kPressaneDesiredGain = 0,
    kPressaneDensity = 1,
    kPressaneHeadroom = 2,
    kPressaneBoost = 3,
    kPressaneHeadroomMeter = 4,
    kPressaneGainReachedMeter = 5,
    kPressaneAudition = 6,
    kPressaneParameterCount = 7,
};

// The description the set announces to hosts (getInfo), per index.
struct PressaneAnnouncement {
    float minimum;
    float maximum;
    float step;
    const char* unit;
};

const ParameterTable& pressaneParameterTable();
const PressaneAnnouncement& pressaneAnnouncement(int32_t index);

// The maximizer's parameter set: the table's values with the announced ranges.
class PressaneParameterSet : public TableParameterSet {
  public:
    PressaneParameterSet();
    PressaneParameterSet(const PressaneParameterSet& other) = default;
    ParameterSet* clone() const override;
    void getInfo(int32_t index, ParameterInfo* info) const override;
};

class PressanePlugin : public AudioPlugin {
  public:
    // Takes ownership of parameters.
    PressanePlugin(ParameterSet* parameters, HostCallback host, void* hostContext);
    ~PressanePlugin() override;

    // [audio-thread] no allocation; takes the plug-in's lock around every frame.
    int32_t process(AudioBuffers& buffers) override;
    // [audio-thread] not supported.
    int32_t processReplacing(AudioBuffers& buffers) override;
    // [ui-thread] no allocation; each value under the lock.
    void loadSettings(ParameterInterface* store) override;
    void saveSettings(ParameterInterface* store) override;
    // [ui-thread] allocates.
    int32_t open(OpenFormat& format) override;
    // [ui-thread] frees.
    int32_t close() override;
    // [streaming or ui-thread] no allocation. stop hands the latency frames of processed
    // silence to a host that takes tails.
    int32_t start() override;
    int32_t stop() override;
    // [any-thread] no allocation.
    int32_t checkFormat(int32_t channels, int32_t* outputChannels, int32_t* sampleRate,
                        int32_t* extra) override;
    int32_t latency() override;
    float compatFloatQuery() override { return 1.0f; }
    // [any-thread, lock held by the frame] mirrors the frame's value into the engine so that it
    // takes effect at the next sample.
    void setBypassWithDelay(float value) override;

    const maximizer::MaximizerEngine& engine() const { return engine_; }

  private:
    // Runs frames in place through the engine with the frame's host values.
    void runEngine(float* const* channels, int32_t channelCount, int32_t frames);

    maximizer::MaximizerEngine engine_{maximizer::kComponentOptions};
    std::vector<float> tailStorage_;
    std::vector<float*> tailChannels_;
};

// Creator functions; failures return null. createPressanePlugin takes ownership of the set.
AudioPlugin* createPressanePlugin(ParameterSet* parameters, HostCallback host, void* hostContext);
ParameterSet* createPressaneParameters();

} // namespace orq
