// orq's state files as a user meets them: saved by one run, refused by a run of another plug-in,
// and never read when they are no file of ours at all.
#include "host/audio_file.h"
#include "host/cli_test_support.h"
#include "host/state_file.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sndfile.h>
#include <string>
#include <sys/stat.h>
#include <vector>

using namespace orq::host;

namespace {

using orq::host::testing::Result;

class OrqState : public orq::host::testing::OrqCommandTest<OrqState> {
  protected:
    static void SetUpTestSuite() {
        makeScratch("orq-state-");
        ASSERT_EQ(run("register " + quote(ORQ_TEST_PLUGIN_DIR "/passthrough_dx.so") + " " +
                      quote(ORQ_TEST_PLUGIN_DIR "/passthrough_second_dx.so") + " " +
                      quote(ORQ_PLUGIN_DIR "/compressor_dx.so") + " " +
                      quote(ORQ_PLUGIN_DIR "/pressane_dx.so"))
                      .exitCode,
                  0);
        SF_INFO info{};
        info.channels = 1;
        info.samplerate = 44100;
        info.format = SF_FORMAT_WAV | SF_FORMAT_PCM_16;
        std::vector<double> samples(3000);
        for (size_t i = 0; i < samples.size(); ++i)
            samples[i] = 0.5 * std::sin(0.06 * double(i));
        SNDFILE* f = sf_open(path("in.wav").c_str(), SFM_WRITE, &info);
        ASSERT_NE(f, nullptr) << sf_strerror(nullptr);
        sf_writef_double(f, samples.data(), sf_count_t(samples.size()));
        sf_close(f);
    }

    // orq process PLUGIN in.wav out.wav EXTRA.
    static Result process(const std::string& plugin, const std::string& extra) {
        std::filesystem::remove(path("out.wav"));
        return run("process " + quote(plugin) + " " + quote(path("in.wav")) + " " +
                   quote(path("out.wav")) + " " + extra);
    }

    static std::vector<uint8_t> bytesOf(const std::string& file) {
        std::ifstream in(file, std::ios::binary);
        return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    }

    // A refusal: exit 1, one line naming the file and saying why, no output written.
    static void expectRefused(const Result& r, const std::string& statePath,
                              const std::string& why) {
        EXPECT_EQ(r.exitCode, 1) << r.out;
        EXPECT_NE(r.err.find("reading the state '" + statePath + "': " + why), std::string::npos)
            << r.err;
        EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << r.err;
        EXPECT_FALSE(std::filesystem::exists(path("out.wav")));
    }
};

TEST_F(OrqState, a_state_of_another_plug_in_is_refused_naming_both) {
    const std::string pressane = path("pressane.state");
    ASSERT_EQ(process("Orq Pressane", "--save-state " + quote(pressane)).exitCode, 0);
    const std::vector<uint8_t> saved = bytesOf(pressane);
    ASSERT_GT(saved.size(), kStateHeaderBytes);
    EXPECT_EQ(std::string(saved.begin(), saved.begin() + 8), "ORQSTATE");
    for (const char* road : {"", " --road vc"}) {
        SCOPED_TRACE(road);
        expectRefused(process("Orq Compressor", "--state " + quote(pressane) + road), pressane,
                      "it was saved by Orq Pressane, not Orq Compressor");
        EXPECT_EQ(process("Orq Pressane", "--state " + quote(pressane) + road).exitCode, 0);
    }
    // Two plug-ins with the same parameters: the stream alone would fit either; the class id
    // tells them apart.
    const std::string first = path("passthrough.state");
    ASSERT_EQ(process("Orq Passthrough", "--set Gain=0.5 --save-state " + quote(first)).exitCode,
              0);
    expectRefused(process("Orq Passthrough Second", "--state " + quote(first)), first,
                  "it was saved by Orq Passthrough, not Orq Passthrough Second");
}

TEST_F(OrqState, a_bare_stream_still_loads_when_it_fits_exactly) {
    const std::string saved = path("gain.state");
    ASSERT_EQ(process("Orq Passthrough", "--set Gain=0.5 --save-state " + quote(saved)).exitCode,
              0);
    const std::vector<uint8_t> file = bytesOf(saved);
    const std::string bare = path("bare.state");
    std::ofstream(bare, std::ios::binary)
        .write(reinterpret_cast<const char*>(file.data()) + kStateHeaderBytes,
               std::streamsize(file.size() - kStateHeaderBytes));
    ASSERT_EQ(process("Orq Passthrough", "--state " + quote(bare)).exitCode, 0);
    const AudioData in = readAudio(path("in.wav"), nullptr);
    const AudioData out = readAudio(path("out.wav"), nullptr);
    ASSERT_EQ(out.frames, in.frames);
    EXPECT_NEAR(out.int16[200], 0.5 * in.int16[200], 1.0) << "the bare stream's Gain applies";
    // One byte more and the layout no longer fits: the compressor's stream, and random bytes.
    std::ofstream(bare, std::ios::binary | std::ios::app) << '\0';
    expectRefused(process("Orq Passthrough", "--state " + quote(bare)), bare, "not a state file");
}

TEST_F(OrqState, what_is_no_state_file_is_refused_before_it_is_read) {
    const std::string random = path("random.state");
    {
        std::ofstream out(random, std::ios::binary);
        uint32_t x = 99;
        for (int i = 0; i < 700; ++i) {
            x = x * 1664525u + 1013904223u;
            out.put(char(x >> 24));
        }
    }
    const std::string fifo = path("fifo.state");
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    const std::string huge = path("huge.state");
    { std::ofstream(huge) << "ORQSTATE"; }
    std::filesystem::resize_file(huge, kStateFileBytesMax + 1);
    for (const auto& [state, why] : std::vector<std::pair<std::string, std::string>>{
             {random, "not a state file"},
             {path("in.wav"), "not a state file"},
             {"/dev/zero", "not a state file (not a regular file)"},
             {fifo, "not a state file (not a regular file)"},
             {dir_.string(), "it is a directory"},
             {huge, "not a state file (67108865 bytes, more than any plug-in's settings)"}}) {
        SCOPED_TRACE(state);
        expectRefused(process("Orq Compressor", "--state " + quote(state)), state, why);
    }
}

} // namespace
