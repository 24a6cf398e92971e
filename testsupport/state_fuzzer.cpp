// libFuzzer target for state loading (built with -DORQ_FUZZ=ON and clang; not part of the test
// suite). The first byte of an input picks the plug-in, the rest is the state; the checks are
// the bounded fuzz test's. ORQ_FUZZ_SEEDS=<folder> writes every plug-in's saved state, bare and
// as a state file, into the folder as a starting corpus:
//     ORQ_FUZZ_SEEDS=corpus build-fuzz/bin/state_fuzzer corpus/
#include "testsupport/state_fuzz_test_support.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include <stdlib.h>
#include <unistd.h>

namespace {

std::vector<std::unique_ptr<orq::test::StatePlugin>>& plugins() {
    static std::vector<std::unique_ptr<orq::test::StatePlugin>> all = [] {
        static const std::string folder = [] {
            std::string f = (access("/dev/shm", W_OK) == 0 ? "/dev/shm" : "/tmp") +
                            std::string("/orq-state-fuzzer-XXXXXX");
            if (mkdtemp(f.data()) == nullptr) std::abort();
            return f;
        }();
        std::atexit([] { std::filesystem::remove_all(folder); });
        setenv("ORQ_REGISTRY", (folder + "/registry").c_str(), 1);
        std::vector<std::unique_ptr<orq::test::StatePlugin>> list;
        for (const std::string& name : orq::test::registerDeliverables(ORQ_PLUGIN_DIR))
            list.push_back(std::make_unique<orq::test::StatePlugin>(name));
        return list;
    }();
    return all;
}

void writeSeeds(const std::string& folder) {
    std::filesystem::create_directories(folder);
    for (size_t i = 0; i < plugins().size(); ++i) {
        const orq::test::StatePlugin& p = *plugins()[i];
        const std::vector<uint8_t> file = orq::host::encodeStateFile(p.origin, p.defaults);
        for (const auto& [suffix, bytes] :
             {std::pair{".bare", &p.defaults}, std::pair{".state", &file}}) {
            std::ofstream out(folder + "/" + std::to_string(i) + suffix, std::ios::binary);
            out.put(char(i));
            out.write(reinterpret_cast<const char*>(bytes->data()), std::streamsize(bytes->size()));
        }
    }
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    if (const char* seeds = std::getenv("ORQ_FUZZ_SEEDS"); seeds != nullptr && *seeds != '\0')
        writeSeeds(seeds);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0) return 0;
    orq::test::StatePlugin& plugin = *plugins()[data[0] % plugins().size()];
    orq::test::StateOutcome outcome;
    const std::string fault =
        orq::test::checkMutatedState(plugin, std::vector<uint8_t>(data + 1, data + size), &outcome);
    if (!fault.empty()) {
        std::fprintf(stderr, "state fault: %s\n", fault.c_str());
        std::abort();
    }
    return 0;
}
