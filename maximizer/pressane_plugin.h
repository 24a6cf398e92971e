// "Orq Pressane": the maximizer as a plug-in of the component build, the AudioPlugin around
// the maximizer engine. The engine runs under the plug-in's lock, taken per frame, so that
// settings and meter reads from the editor interleave with processing at frame granularity.
// The engine's lifetime has a lock of its own, held across a whole process call (and the tail
// run in stop) and taken by open and close around their swap, so an engine is never replaced
// between two frames of a running block. Lock order: the engine-lifetime lock, then the
// plug-in's lock; nothing takes the lifetime lock while holding the plug-in's.
#pragma once

#include "maximizer/maximizer_engine.h"
#include "maximizer/pressane_parameters.h"
#include "runtime/audio_plugin.h"

#include <cstdint>
#include <memory>
#include <vector>

namespace orq::maximizer {

class PressanePlugin : public AudioPlugin {
  public:
    // Takes ownership of parameters.
    PressanePlugin(ParameterSet* parameters, HostCallback host, void* hostContext);
    ~PressanePlugin() override;

    // [audio-thread] no allocation; holds the engine-lifetime lock for the call and takes the
    // plug-in's lock around every frame. Closed, the audio passes unchanged.
    int32_t process(AudioBuffers& buffers) override;
    // [audio-thread] not supported.
    int32_t processReplacing(AudioBuffers& buffers) override;
    // [ui-thread] no allocation; each value under the lock.
    void loadSettings(ParameterInterface* store) override;
    void saveSettings(ParameterInterface* store) override;
    // [ui-thread, plug-in's lock not held] allocates: builds a new engine outside the locks and
    // swaps it in under both (waiting for a running process call to end). Any failure leaves
    // the plug-in closed and returns kStatusOpenFailed.
    int32_t open(OpenFormat& format) override;
    // [ui-thread, plug-in's lock not held] frees (the engine after it is taken out under both
    // locks).
    int32_t close() override;
    // [streaming or ui-thread] no allocation. stop hands the latency frames of processed
    // silence to a host that takes tails; it holds the engine-lifetime lock until the host has
    // taken them (the tail lives with the engine), so a host's take must not wait for another
    // thread that is processing through this plug-in.
    int32_t start() override;
    int32_t stop() override;
    // [any-thread] no allocation; latency takes the engine-lifetime lock.
    int32_t checkFormat(int32_t channels, int32_t* outputChannels, int32_t* sampleRate,
                        int32_t* extra) override;
    int32_t latency() override;
    float compatFloatQuery() override { return 1.0f; }
    // [any-thread, lock held by the frame] mirrors the frame's value into the engine so that it
    // takes effect at the next frame.
    void setBypassWithDelay(float value) override;

    // The engine while open, null while closed.
    const MaximizerEngine* engine() const { return engine_.get(); }

  private:
    // Runs frames in place through the engine with the frame's host values.
    void runEngine(float* const* channels, int32_t frames);

    // Held while the engine is in use beyond one frame; taken before the plug-in's lock.
    CRITICAL_SECTION engineLifetime_;
    std::unique_ptr<MaximizerEngine> engine_;
    std::vector<float> tailStorage_;
    std::vector<float*> tailChannels_;
};

} // namespace orq::maximizer

namespace orq {

class EditorHost;
// The plug-in's editor (maximizer/pressane_editor.h, its own library): the table's factory.
EditorHost* createPressaneEditor(ParameterSet* parameters);

// Creator of the plug-in, which takes ownership of parameters (a fresh set when null); null on
// any failure, with parameters released.
AudioPlugin* createPressanePlugin(ParameterSet* parameters, HostCallback host, void* hostContext);

} // namespace orq
