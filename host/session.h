// One plug-in instance driven the way a host drives it: through the component road (filter
// graph with source and sink) or through the host extension road (plug-in record and
// dispatcher, the host doing the conversions).
#pragma once

#include "host/audio_file.h"
#include "host/plugin_library.h"

#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace orq::host {

enum class Road { Component, HostExtension };

// A parameter assignment from the command line: KEY=VALUE or KEY[i]=VALUE.
struct Setting {
    std::string key;
    int32_t element = -1; // -1: scalar
    std::string value;
};
// Throws on a malformed assignment.
Setting parseSetting(const std::string& text);
// A finite decimal number; throws "'x' is not a number (<what>; decimal only)" otherwise.
float parseNumber(const std::string& text, const std::string& what);

struct ChannelMeter {
    float peak = 0.0f;
    int32_t clips = 0;
};

struct RunSummary {
    int32_t latencyFrames = 0;
    bool tailFromPlugin = false;
    std::vector<ChannelMeter> input;
    std::vector<ChannelMeter> output;
};

using Progress = std::function<void(int64_t done, int64_t total)>;

class Session {
  public:
    // Throws with one clear line for a state the plug-in refuses.
    virtual void loadState(const std::vector<uint8_t>& bytes) = 0;
    virtual std::vector<uint8_t> saveState() = 0;
    // Applies the assignments through the plug-in's parameter interface; throws for an
    // unknown key or a value that does not fit the parameter.
    virtual void apply(const std::vector<Setting>& settings) = 0;
    // Runs the whole input piece by piece into output: exactly the input's length, lined up
    // with it sample for sample (latency removed, tail from the plug-in or fed silence).
    // Memory does not grow with the input's length.
    virtual void run(AudioSource& input, AudioSink& output, RunSummary& summary,
                     const Progress& progress) = 0;
    // For a host that calls the record's process itself (orq play; the host extension road
    // only): opens the plug-in for the stream's format (throws with one clear line when it
    // refuses it), turns clip counting on and starts it. Returns the plug-in's latency in frames.
    int32_t startStream(const StreamFormat& format, int32_t maxFramesPerCall);
    // Stops the plug-in started by startStream and reads its meters into summary.
    void stopStream(RunSummary& summary);
    // The plug-in's own record (meters, parameters); valid while the session lives.
    virtual PluginRecord* record() = 0;
    // The filter (component road), or null.
    virtual IUnknown* filter() { return nullptr; }
    const std::string& name() const { return library_.name; }
    Road road() const { return road_; }

    // One parameter through the plug-in's settings exchange (dispatcher commands 0xd and 0xe
    // with the store selecting just that index), as an editor exchanges values.
    float readValue(int32_t index);
    std::vector<float> readFloats(int32_t index);
    void writeValue(int32_t index, float value);
    void writeFloats(int32_t index, const std::vector<float>& values);
    // A parameter set of the plug-in's own kind, for exchanges (owned by the session).
    ParameterInterface* store();

    // Frames per media sample (per call on the vc road), 1 … 8192; 4096 unless set. The
    // progress callback runs after each.
    void setChunkFrames(int32_t frames);
    int32_t chunkFrames() const { return chunkFrames_; }

    virtual ~Session();

  protected:
    Session(PluginLibrary library, Road road) : library_(std::move(library)), road_(road) {}
    PluginLibrary library_;
    Road road_;

  private:
    ParameterInterface* store_ = nullptr;
    int32_t chunkFrames_ = 4096;
    int32_t streamChannels_ = 0; // of the stream startStream began
};

std::unique_ptr<Session> openSession(const PluginTarget& target, Road road);

// Index of the parameter with the given key name in a set, or -1.
int32_t parameterIndex(ParameterInterface* set, const std::string& key);
// The same; throws with one clear line when the set has no such key.
int32_t requireParameter(ParameterInterface* set, const std::string& key);

// Writes the assignments into a parameter interface (count = the set's parameter count).
void applySettings(ParameterInterface* set, int32_t count, const std::vector<Setting>& settings);

} // namespace orq::host
