// libFuzzer target for the registry file (built with -DORQ_FUZZ=ON and clang; not part of the
// test suite). Each input is a registry file; the checks are the bounded fuzz test's. Start it
// from a registry written by the calls, e.g. `orq register` with ORQ_REGISTRY set:
//     build-fuzz/bin/registry_fuzzer corpus/   (corpus/ holding that file)
#include "platform/registry_fuzz_test_support.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include <stdlib.h>
#include <unistd.h>

namespace {

// A registry file of the fuzzer's own in memory (/dev/shm), removed at exit.
const std::string& registryFile() {
    static const std::string file = [] {
        std::string folder = (access("/dev/shm", W_OK) == 0 ? "/dev/shm" : "/tmp") +
                             std::string("/orq-registry-fuzzer-XXXXXX");
        if (mkdtemp(folder.data()) == nullptr) std::abort();
        static std::string removeAtExit;
        removeAtExit = folder;
        std::atexit([] { std::filesystem::remove_all(removeAtExit); });
        const std::string path = folder + "/registry";
        setenv("ORQ_REGISTRY", path.c_str(), 1);
        return path;
    }();
    return file;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    orq::test::RegistryOutcome outcome{};
    const std::string fault = orq::test::checkRegistryFile(
        registryFile(), std::string(reinterpret_cast<const char*>(data), size), &outcome);
    if (!fault.empty()) {
        std::fprintf(stderr, "registry fault: %s\n", fault.c_str());
        std::abort();
    }
    return 0;
}
