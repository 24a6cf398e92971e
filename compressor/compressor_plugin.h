// "Orq Compressor": the plug-in object around the compressor engine, and its factories.
#pragma once

#include "compressor/compressor_engine.h"
#include "compressor/compressor_parameters.h"
#include "runtime/audio_plugin.h"
#include "runtime/parameter_set.h"

#include <memory>
#include <vector>

namespace orq::compressor {

// Formats the compressor accepts.
constexpr int32_t kMinChannels = 1;
constexpr int32_t kMaxChannels = 8;
constexpr int32_t kMinSampleRate = 8000;
constexpr int32_t kMaxSampleRate = 384000;

class CompressorPlugin : public AudioPlugin {
  public:
    static const PluginIdentity kIdentity;

    // [ui-thread] takes ownership of parameters; null gives a fresh set with the defaults.
    CompressorPlugin(ParameterSet* parameters, HostCallback host, void* hostContext);
    ~CompressorPlugin() override;

    // [audio-thread] runs the engine in place under the plug-in's lock; no allocation.
    int32_t process(AudioBuffers& buffers) override;
    // Not supported: the compressor works on the converted float block only.
    int32_t processReplacing(AudioBuffers&) override { return kStatusNotSupported5; }
    // [ui-thread] under the lock. The plug-in's set copies what the store selects (and the
    // arrays the engine reads with it), then the engine applies the same values.
    void loadSettings(ParameterInterface* store) override;
    // [ui-thread] lock held by the caller. The engine publishes its meter into the plug-in's
    // set, then the set's selected values go to the store.
    void saveSettings(ParameterInterface* store) override;
    // [ui-thread] allocates: builds the engine for the format and applies every parameter;
    // kStatusOpenFailed (the plug-in closed) when it cannot be built.
    int32_t open(OpenFormat& format) override;
    // [ui-thread] deletes the engine.
    int32_t close() override;
    // [audio-thread] resets the engine.
    int32_t start() override;
    // [audio-thread] no allocation. When the host takes tails (answer 2 to request 1), runs
    // latency frames of silence through the engine and hands them over with request 4.
    int32_t stop() override;
    // [any-thread] output channels = input channels; refuses counts and rates it cannot run.
    int32_t checkFormat(int32_t channels, int32_t* outputChannels, int32_t* sampleRate,
                        int32_t* extra) override;
    int32_t latency() override;
    float compatFloatQuery() override { return -1.0f; }
    // [ui-thread] under the lock: pass-through that keeps the delay.
    void setBypassWithDelay(float value) override;

    // The engine while open, else null (tests and diagnostics).
    CompressorEngine* engine() { return engine_.get(); }

  private:
    std::unique_ptr<CompressorEngine> engine_;
    std::vector<float> tail_;          // channels × the largest latency: the stop flush
    std::vector<float*> tailChannels_; // per channel into tail_
};

} // namespace orq::compressor

namespace orq {

// [ui-thread] the compressor plug-in; takes ownership of parameters (null: a fresh default set).
// Null on failure.
AudioPlugin* createCompressorPlugin(ParameterSet* parameters, HostCallback host, void* hostContext);
// [ui-thread] a fresh parameter set with the compressor's defaults. Null on failure.
ParameterSet* createCompressorParameters();
// [ui-thread] the compressor's editor (compressor_editor.h); takes ownership of parameters.
class EditorHost;
EditorHost* createCompressorEditor(ParameterSet* parameters);

} // namespace orq
