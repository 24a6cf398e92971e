// What loading a state must do however damaged it is, for the bounded fuzz test and the
// libFuzzer target: orq's decoder refuses it or passes a stream both roads load; the plug-in's
// own loader (the filter's IPersistStream Load on the component road, the parameter stream and
// the record's loadFromStore on the host extension road, given the raw bytes as any host may
// give them) refuses it or takes settings that save back as a valid stream with finite values
// and keep the audio finite and whole.
#pragma once

#include "host/plugin_library.h"
#include "host/session.h"
#include "host/state_file.h"

#include <cmath>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

namespace orq::test {

// The deliverables every state test loads, by library file name.
inline const char* const kDeliverables[] = {"compressor_dx", "pressane_dx", "tessaline_dx",
                                            "ombrel_dx",     "lunavis_dx",  "brisquet_dx"};

// Registers the deliverables of folder in the registry ORQ_REGISTRY names; their display names.
inline std::vector<std::string> registerDeliverables(const std::string& folder) {
    std::vector<std::string> names;
    for (const char* file : kDeliverables) {
        host::PluginLibrary lib = host::loadLibrary(folder + "/" + file + ".so");
        if (lib.registerServer() != S_OK)
            throw std::runtime_error(std::string("cannot register ") + file);
        names.push_back(lib.name);
    }
    return names;
}

// One plug-in as orq opens it, on both roads.
struct StatePlugin {
    explicit StatePlugin(const std::string& name)
        : target(host::findPlugin(name)),
          component(host::openSession(target, host::Road::Component)),
          extension(host::openSession(target, host::Road::HostExtension)),
          layout(host::streamLayoutOf(component->store(), component->store()->owner->count())),
          origin(host::stateOriginOf(target)), defaults(component->saveState()) {}
    host::PluginTarget target;
    std::unique_ptr<host::Session> component;
    std::unique_ptr<host::Session> extension;
    host::StreamLayout layout;
    host::StateOrigin origin;
    std::vector<uint8_t> defaults;
};

// A short stereo sine through the session: the output must be as long and finite.
inline bool audioStaysFinite(host::Session& session) {
    constexpr int32_t kRateHz = 44100;
    constexpr int32_t kFrames = 512;
    host::AudioData in;
    in.channels = 2;
    in.sampleRate = kRateHz;
    in.frames = kFrames;
    in.format = SampleFormat::Float32;
    for (int32_t i = 0; i < kFrames; ++i) {
        const float v = 0.5f * float(std::sin(0.05 * i));
        in.float32.push_back(v);
        in.float32.push_back(-v);
    }
    host::MemorySource source(in);
    host::MemorySink sink(source.format());
    host::RunSummary summary;
    session.run(source, sink, summary, {});
    if (sink.audio().float32.size() != in.float32.size()) return false;
    for (float v : sink.audio().float32)
        if (!std::isfinite(v)) return false;
    return true;
}

struct StateOutcome {
    bool decoded = false;
    int loads = 0; // roads whose own loader took the raw bytes
};

// Decodes and loads input on both roads, and puts the defaults back. Answers what went wrong,
// or nothing.
inline std::string checkMutatedState(StatePlugin& plugin, const std::vector<uint8_t>& input,
                                     StateOutcome* outcome) {
    const std::string& name = plugin.target.library.name;
    std::vector<uint8_t> stream;
    try {
        stream = host::decodeStateFile(input, plugin.origin, plugin.layout);
        outcome->decoded = true;
    } catch (const host::StateFileError&) {
    }
    // The audio runs once, on the last road that took the state: both hand the same settings
    // to the same plug-in code.
    std::vector<host::Session*> took;
    for (host::Session* session : {plugin.component.get(), plugin.extension.get()}) {
        if (outcome->decoded) try {
                session->loadState(stream);
            } catch (const std::exception& e) {
                return name + " refused a stream orq's decoder passed: " + e.what();
            }
        try {
            session->loadState(input);
        } catch (const std::runtime_error&) {
            continue;
        }
        ++outcome->loads;
        try {
            host::checkStreamLayout(session->saveState(), plugin.layout);
        } catch (const host::StateFileError& e) {
            return name + " took a state that saves back invalid: " + e.what();
        }
        took.push_back(session);
    }
    if (!took.empty() && !audioStaysFinite(*took.back()))
        return name + ": the loaded state runs to NaN or loses frames";
    for (host::Session* session : took)
        session->loadState(plugin.defaults);
    return {};
}

} // namespace orq::test
