// Bounded fuzzing of state loading: mutations of real saved states of every plug-in, loaded as
// orq loads them (the filter's IPersistStream Load on the component road, the parameter stream
// and the record's loadFromStore on the host extension road) and read by the state-file decoder.
// Every input must be refused cleanly or load into settings that save back as a valid stream
// with finite values and keep the audio finite; a crash, a hang or a huge allocation fails the
// run (the sanitizer build catches what a plain build would miss).
#include "host/plugin_library.h"
#include "host/session.h"
#include "host/state_file.h"
#include "testsupport/mutation_test_support.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <stdexcept>
#include <string>
#include <unistd.h>
#include <vector>

using namespace orq;
using namespace orq::host;

namespace {

constexpr int kMutationsPerPlugin = 2500;
constexpr uint32_t kSeed = 20261207;
constexpr int32_t kRateHz = 44100;
constexpr int32_t kAudioFrames = 512;

const char* const kLibraries[] = {"compressor_dx", "pressane_dx", "tessaline_dx",
                                  "ombrel_dx",     "lunavis_dx",  "brisquet_dx"};

class StateFuzz : public ::testing::TestWithParam<const char*> {
  protected:
    static void SetUpTestSuite() {
        dir_ = std::filesystem::temp_directory_path() /
               ("orq-state-fuzz-" + std::to_string(::getpid()));
        std::filesystem::create_directories(dir_);
        setenv("ORQ_REGISTRY", (dir_ / "registry").c_str(), 1);
        for (const char* name : kLibraries) {
            PluginLibrary lib = loadLibrary(std::string(ORQ_PLUGIN_DIR "/") + name + ".so");
            ASSERT_EQ(lib.registerServer(), S_OK) << name;
            names_.push_back(lib.name);
        }
        // Every plug-in's real states, bare and in state files: the corpus each mutates and
        // splices from.
        for (const std::string& name : names_) {
            const PluginTarget target = findPlugin(name);
            std::unique_ptr<Session> session = openSession(target, Road::Component);
            const std::vector<uint8_t> stream = session->saveState();
            corpus_.push_back(stream);
            corpus_.push_back(encodeStateFile(stateOriginOf(target), stream));
        }
    }
    static void TearDownTestSuite() { std::filesystem::remove_all(dir_); }

    static inline std::filesystem::path dir_;
    static inline std::vector<std::string> names_;
    static inline std::vector<std::vector<uint8_t>> corpus_;
};

// A short stereo sine through the session: the output must be as long and finite.
bool audioStaysFinite(Session& session) {
    AudioData in;
    in.channels = 2;
    in.sampleRate = kRateHz;
    in.frames = kAudioFrames;
    in.format = SampleFormat::Float32;
    for (int32_t i = 0; i < kAudioFrames; ++i) {
        const float v = 0.5f * float(std::sin(0.05 * i));
        in.float32.push_back(v);
        in.float32.push_back(-v);
    }
    MemorySource source(in);
    MemorySink sink(source.format());
    RunSummary summary;
    session.run(source, sink, summary, {});
    if (sink.audio().float32.size() != in.float32.size()) return false;
    for (float v : sink.audio().float32)
        if (!std::isfinite(v)) return false;
    return true;
}

TEST_P(StateFuzz, mutated_states_are_refused_or_load_valid_settings) {
    const size_t which =
        size_t(std::find(std::begin(kLibraries), std::end(kLibraries), GetParam()) - kLibraries);
    const std::string name = names_[which];
    const PluginTarget target = findPlugin(name);
    std::unique_ptr<Session> component = openSession(target, Road::Component);
    std::unique_ptr<Session> extension = openSession(target, Road::HostExtension);
    ParameterInterface* set = component->store();
    const StreamLayout layout = streamLayoutOf(set, set->owner->count());
    const StateOrigin origin = stateOriginOf(target);
    const std::vector<uint8_t> defaults = component->saveState();

    // Starts from this plug-in's own states half of the time, the others' the rest.
    std::vector<std::vector<uint8_t>> corpus = corpus_;
    for (int i = 0; i < 4; ++i) {
        corpus.push_back(corpus_[2 * which]);
        corpus.push_back(corpus_[2 * which + 1]);
    }
    orq::test::Mutator mutator(kSeed + uint32_t(which), corpus);
    int decoded = 0, loaded = 0;
    for (int n = 0; n < kMutationsPerPlugin; ++n) {
        const std::vector<uint8_t> input = mutator.next();
        SCOPED_TRACE("mutation " + std::to_string(n) + ", " + std::to_string(input.size()) +
                     " bytes");
        std::vector<uint8_t> stream;
        bool decodes = true;
        try {
            stream = decodeStateFile(input, origin, layout);
        } catch (const StateFileError&) {
            decodes = false;
        }
        decoded += decodes ? 1 : 0;
        // What orq's decoder passes, the plug-in loads on both roads; what the plug-in's own
        // loader takes (raw bytes, as any host hands them), saves back valid.
        for (Session* session : {component.get(), extension.get()}) {
            if (decodes) {
                ASSERT_NO_THROW(session->loadState(stream));
            }
            bool ok = true;
            try {
                session->loadState(input);
            } catch (const std::runtime_error&) {
                ok = false;
            }
            if (!ok) continue;
            ++loaded;
            const std::vector<uint8_t> saved = session->saveState();
            try {
                checkStreamLayout(saved, layout);
            } catch (const StateFileError& e) {
                FAIL() << name << " took a state that saves back invalid: " << e.what();
            }
            ASSERT_TRUE(audioStaysFinite(*session))
                << name << ": the loaded state runs to NaN or loses frames";
            session->loadState(defaults);
        }
    }
    // The run must reach past the checks: some inputs decode and some load.
    EXPECT_GT(decoded, 0) << name;
    EXPECT_GT(loaded, 0) << name;
    std::printf("%s: %d of %d mutations decoded, %d loads taken\n", name.c_str(), decoded,
                kMutationsPerPlugin, loaded);
}

INSTANTIATE_TEST_SUITE_P(EveryPlugin, StateFuzz, ::testing::ValuesIn(kLibraries),
                         [](const auto& info) {
                             std::string s = info.param;
                             return s.substr(0, s.find('_'));
                         });

} // namespace
