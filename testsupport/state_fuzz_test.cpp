// Bounded fuzzing of state loading: mutations of real saved states of every plug-in (checks in
// state_fuzz_test_support.h). A crash, a hang or a huge allocation fails the run as well; the
// sanitizer build catches what a plain build would miss.
#include "testsupport/mutation_test_support.h"
#include "testsupport/state_fuzz_test_support.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <unistd.h>
#include <vector>

using namespace orq;
using namespace orq::test;

namespace {

constexpr int kMutationsPerPlugin = 2000;
// The phase scope's state holds its display block (400 KB), copied and checked on every load:
// fewer inputs keep its run as short as the others'.
constexpr int kMutationsOfTheScope = 500;
constexpr uint32_t kSeed = 20261207;

class StateFuzz : public ::testing::TestWithParam<const char*> {
  protected:
    static void SetUpTestSuite() {
        dir_ = std::filesystem::temp_directory_path() /
               ("orq-state-fuzz-" + std::to_string(::getpid()));
        std::filesystem::create_directories(dir_);
        setenv("ORQ_REGISTRY", (dir_ / "registry").c_str(), 1);
        names_ = registerDeliverables(ORQ_PLUGIN_DIR);
        // Every plug-in's real states, bare and in state files: the corpus each mutates and
        // splices from.
        for (const std::string& name : names_) {
            StatePlugin plugin(name);
            corpus_.push_back(plugin.defaults);
            corpus_.push_back(host::encodeStateFile(plugin.origin, plugin.defaults));
        }
    }
    static void TearDownTestSuite() { std::filesystem::remove_all(dir_); }
    // The index of the test's deliverable in kDeliverables and names_.
    size_t deliverable() const {
        return size_t(std::find(std::begin(kDeliverables), std::end(kDeliverables), GetParam()) -
                      kDeliverables);
    }

    static inline std::filesystem::path dir_;
    static inline std::vector<std::string> names_;
    static inline std::vector<std::vector<uint8_t>> corpus_;
};

TEST_P(StateFuzz, mutated_states_are_refused_or_load_valid_settings) {
    const size_t which = deliverable();
    StatePlugin plugin(names_[which]);
    // Starts from this plug-in's own states half of the time, the others' the rest.
    std::vector<std::vector<uint8_t>> corpus = corpus_;
    for (int i = 0; i < 4; ++i) {
        corpus.push_back(corpus_[2 * which]);
        corpus.push_back(corpus_[2 * which + 1]);
    }
    Mutator mutator(kSeed + uint32_t(which), corpus);
    const int mutations =
        std::string(GetParam()) == "lunavis_dx" ? kMutationsOfTheScope : kMutationsPerPlugin;
    int decoded = 0, loaded = 0;
    for (int n = 0; n < mutations; ++n) {
        const std::vector<uint8_t> input = mutator.next();
        StateOutcome outcome;
        ASSERT_EQ(checkMutatedState(plugin, input, &outcome), "")
            << "mutation " << n << ", " << input.size() << " bytes";
        decoded += outcome.decoded ? 1 : 0;
        loaded += outcome.loads;
    }
    // The run must reach past the checks: some inputs decode and some load.
    EXPECT_GT(decoded, 0) << names_[which];
    EXPECT_GT(loaded, 0) << names_[which];
    std::printf("%s: %d of %d mutations decoded, %d loads taken\n", names_[which].c_str(), decoded,
                mutations, loaded);
}

// Found by fuzzing under the sanitizers: an empty state handed the filter a stream whose read
// copied from no data at all.
TEST_P(StateFuzz, an_empty_or_cut_state_is_refused_on_both_roads) {
    const size_t which = deliverable();
    StatePlugin plugin(names_[which]);
    for (const std::vector<uint8_t>& state : {std::vector<uint8_t>{}, std::vector<uint8_t>{0}}) {
        EXPECT_THROW(plugin.component->loadState(state), std::runtime_error) << state.size();
        EXPECT_THROW(plugin.extension->loadState(state), std::runtime_error) << state.size();
    }
}

INSTANTIATE_TEST_SUITE_P(EveryPlugin, StateFuzz, ::testing::ValuesIn(kDeliverables),
                         [](const auto& info) {
                             const std::string file = info.param;
                             return file.substr(0, file.find('_'));
                         });

} // namespace
