// orq's errors as a user meets them: each names its file and what the file is for, a number
// that is not one says so with its key, and a registry that cannot be read is named once with
// its repair while a library named by its path still runs.
#include "host/audio_file.h"
#include "host/cli_test_support.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

namespace fs = std::filesystem;
using namespace orq;
using namespace orq::host;

namespace {

using orq::host::testing::Result;

const std::string kPassthrough = "'Orq Passthrough'";

class ErrorsCli : public orq::host::testing::OrqCommandTest<ErrorsCli> {
  protected:
    static void SetUpTestSuite() {
        makeScratch("orq-errors-cli-");
        ASSERT_EQ(run("register " + quote(ORQ_TEST_PLUGIN_DIR "/passthrough_dx.so") + " " +
                      quote(ORQ_PLUGIN_DIR "/tessaline_dx.so"))
                      .exitCode,
                  0);
    }

    static std::string writeInput(const std::string& name, int32_t channels = 2,
                                  int32_t rateHz = 44100, int64_t frames = 8820) {
        AudioData a;
        a.channels = channels;
        a.sampleRate = rateHz;
        a.frames = frames;
        a.format = SampleFormat::Float32;
        for (int64_t i = 0; i < a.frames * channels; ++i)
            a.float32.push_back(float((i * 37) % 200) / 400.0f - 0.25f);
        writeAudio(path(name), a);
        return path(name);
    }
    static std::string bytes(const std::string& file) {
        std::ifstream in(file, std::ios::binary);
        return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    }
};

} // namespace

TEST_F(ErrorsCli, errors_name_their_file_and_a_number_that_is_not_one_says_so_with_its_key) {
    const std::string in = writeInput("errors-in.wav");
    const std::string mono = writeInput("errors-mono.wav", 1);
    const std::string at48k = writeInput("errors-48k.wav", 2, 48000);
    fs::create_directories(path("state-folder"));
    const std::string out = path("errors-out.wav");
    struct Case {
        std::string command, says;
    };
    const Case cases[] = {
        {"process " + kPassthrough + " " + quote(in) + " " + quote(out) + " --state " +
             quote(path("state-folder")),
         "reading the state '" + path("state-folder") + "': it is a directory"},
        {"process " + kPassthrough + " " + quote(in) + " " + quote(out) + " --state " +
             quote(path("no.state")),
         "reading the state '" + path("no.state") + "': No such file or directory"},
        {"process " + kPassthrough + " " + quote(path("state-folder")) + " " + quote(out),
         "cannot read '" + path("state-folder") + "': it is a directory"},
        {"match --reference " + quote(in) + " " + quote(in) + " " + quote(out) + " --amount half",
         "'half' is not a number (--amount"},
        {"match --reference " + quote(in) + " " + quote(in) + " " + quote(out) + " --amount 0x10",
         "'0x10' is not a number (--amount"},
        {"process " + kPassthrough + " " + quote(in) + " " + quote(out) + " --set Gain=loud",
         "'loud' is not a number (Gain"},
        {"scope " + quote(mono),
         "the phase scope takes a stereo file; '" + mono + "' has 1 channel"},
        {"match --reference " + quote(at48k) + " " + quote(in) + " " + quote(out),
         "the reference '" + at48k + "' runs at 48000 Hz and the input '" + in + "' at 44100 Hz"},
    };
    for (const Case& c : cases) {
        const Result r = run(c.command);
        EXPECT_NE(r.exitCode, 0) << c.command;
        EXPECT_NE(r.err.find(c.says), std::string::npos) << c.command << "\n" << r.err;
        EXPECT_FALSE(fs::exists(out)) << c.command;
    }
}

TEST_F(ErrorsCli, a_corrupt_registry_is_named_once_with_its_repair_and_library_paths_still_run) {
    const std::string registry = path("corrupt-registry");
    { std::ofstream(registry) << "garbage\n"; }
    const std::string in = writeInput("corrupt-in.wav");
    const std::string compressor = ORQ_PLUGIN_DIR "/compressor_dx.so";
    setenv("ORQ_REGISTRY", registry.c_str(), 1);
    std::string libraries;
    for (const auto& entry : fs::directory_iterator(ORQ_PLUGIN_DIR))
        if (entry.path().string().ends_with("_dx.so")) libraries += " " + quote(entry.path());
    const Result reg = run("register" + libraries);
    const Result list = run("list");
    const Result byPath = run("process " + quote(compressor) + " " + quote(in) + " " +
                              quote(path("vc.wav")) + " --road vc");
    const Result byPathDx = run("process " + quote(compressor) + " " + quote(in) + " " +
                                quote(path("dx.wav")) + " --road dx");
    const Result byName =
        run("process 'Orq Compressor' " + quote(in) + " " + quote(path("named.wav")));
    setenv("ORQ_REGISTRY", path("registry").c_str(), 1);

    const std::string names = "registry " + registry + ": corrupt";
    const std::string repair = "remove it (rm '" + registry + "')";
    for (const Result* r : {&reg, &list, &byPathDx, &byName}) {
        EXPECT_EQ(r->exitCode, 1);
        EXPECT_NE(r->err.find(names), std::string::npos) << r->err;
        EXPECT_NE(r->err.find(repair), std::string::npos) << r->err;
        EXPECT_EQ(std::count(r->err.begin(), r->err.end(), '\n'), 1) << r->err;
    }
    EXPECT_EQ(byPath.exitCode, 0) << byPath.err;
    EXPECT_NE(byPath.out.find("(vc road)"), std::string::npos) << byPath.out;
    EXPECT_TRUE(fs::exists(path("vc.wav")));
    EXPECT_EQ(bytes(registry), "garbage\n") << "the registry is left as it was";
}
