// The compressor's presets in a host: compressor_plax's factory programs, by name and in order,
// each giving the audio compressor_plax gives with that program (orq process --road plax).
#include "lv2/lv2_test_host.h"

#include <gtest/gtest.h>

#include <sndfile.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace orq::lv2::test {
namespace {

constexpr int32_t kRateHz = 44100;
constexpr int64_t kFrames = 2 * kRateHz;
constexpr int32_t kProgramCount = 10;

std::filesystem::path scratchDir() {
    return std::filesystem::temp_directory_path() / ("orq-lv2-presets-" + std::to_string(::getpid()));
}

std::string scratch(const std::string& name) {
    std::filesystem::create_directories(scratchDir());
    return (scratchDir() / name).string();
}

// What orq prints and its exit code.
std::pair<int, std::string> runOrq(const std::string& args) {
    FILE* pipe = popen((std::string(ORQ_BINARY) + " " + args + " 2>&1").c_str(), "r");
    std::string out;
    char buffer[4096];
    size_t n;
    while ((n = fread(buffer, 1, sizeof buffer, pipe)) > 0) out.append(buffer, n);
    const int status = pclose(pipe);
    return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, out};
}

// Two seconds of a pulsing two-tone stereo signal, loud enough for every program to act.
std::vector<float> pulsingTones() {
    std::vector<float> x(size_t(2 * kFrames));
    for (int64_t t = 0; t < kFrames; ++t) {
        const double s = double(t) / kRateHz;
        const double envelope = 0.2 + 0.75 * std::fabs(std::sin(2 * M_PI * 1.5 * s));
        x[size_t(2 * t)] = float(envelope * (0.6 * std::sin(2 * M_PI * 110 * s) +
                                             0.3 * std::sin(2 * M_PI * 5000 * s)));
        x[size_t(2 * t + 1)] = float(envelope * (0.5 * std::sin(2 * M_PI * 220 * s) +
                                                 0.3 * std::sin(2 * M_PI * 7000 * s)));
    }
    return x;
}

void writeWave(const std::string& path, const std::vector<float>& interleaved) {
    SF_INFO info{};
    info.samplerate = kRateHz;
    info.channels = 2;
    info.format = SF_FORMAT_WAV | SF_FORMAT_FLOAT;
    SNDFILE* file = sf_open(path.c_str(), SFM_WRITE, &info);
    ASSERT_NE(file, nullptr) << sf_strerror(nullptr);
    EXPECT_EQ(sf_writef_float(file, interleaved.data(), sf_count_t(interleaved.size() / 2)),
              sf_count_t(interleaved.size() / 2));
    sf_close(file);
}

std::vector<float> readWave(const std::string& path) {
    SF_INFO info{};
    SNDFILE* file = sf_open(path.c_str(), SFM_READ, &info);
    if (file == nullptr) return {};
    std::vector<float> x(size_t(info.frames) * size_t(info.channels));
    sf_readf_float(file, x.data(), info.frames);
    sf_close(file);
    return x;
}

class CompressorPresets : public ::testing::Test {
  protected:
    static void TearDownTestSuite() { std::filesystem::remove_all(scratchDir()); }
    static World& world() {
        static World w(ORQ_LV2_BUNDLE_PATH);
        return w;
    }
    // The factory programs' names in order, as orq lists compressor_plax's bank.
    static std::vector<std::string> programNames() {
        const auto [code, out] = runOrq("presets '" + std::string(ORQ_PLUGIN_DIR) + "/compressor_plax.so'");
        EXPECT_EQ(code, 0) << out;
        std::vector<std::string> names;
        for (int32_t p = 0; p < kProgramCount; ++p) {
            const std::string mark = std::to_string(p) + ": ";
            const size_t at = out.find(mark);
            if (at == std::string::npos) break;
            names.push_back(out.substr(at + mark.size(), out.find('\n', at) - at - mark.size()));
        }
        return names;
    }
};

TEST_F(CompressorPresets, are_the_factory_programs_by_name_in_order_for_both_variants) {
    const std::vector<std::string> names = programNames();
    ASSERT_EQ(names.size(), size_t(kProgramCount));
    for (const char* variant : {"urn:tarvelle:lv2:compressor", "urn:tarvelle:lv2:compressor_mono"}) {
        const auto presets = world().presets(variant);
        ASSERT_EQ(presets.size(), names.size()) << variant;
        for (size_t i = 0; i < presets.size(); ++i)
            EXPECT_EQ(presets[i].second, names[i]) << variant << " preset " << presets[i].first;
    }
    EXPECT_TRUE(world().presets("urn:tarvelle:lv2:pressane").empty());
}

TEST_F(CompressorPresets, each_gives_compressor_plax_audio_with_that_program) {
    const std::vector<float> in = pulsingTones();
    const std::string input = scratch("in.wav");
    writeWave(input, in);
    const auto presets = world().presets("urn:tarvelle:lv2:compressor");
    ASSERT_EQ(presets.size(), size_t(kProgramCount));
    const std::vector<float> plain = [&] {
        Instance fresh(world(), "urn:tarvelle:lv2:compressor");
        return fresh.run(in);
    }();
    for (int32_t program = 0; program < kProgramCount; ++program) {
        const auto& [uri, label] = presets[size_t(program)];
        LilvState* state = world().presetState(uri);
        Instance instance(world(), "urn:tarvelle:lv2:compressor");
        instance.restoreState(state, true);
        lilv_state_free(state);
        const std::vector<float> lv2 = instance.run(in);

        const std::string output = scratch("plax_" + std::to_string(program) + ".wav");
        const auto [code, printed] =
            runOrq("process '" + std::string(ORQ_PLUGIN_DIR) + "/compressor_plax.so' '" + input +
                   "' '" + output + "' --road plax --program " + std::to_string(program) +
                   " --format f32");
        ASSERT_EQ(code, 0) << printed;
        const std::vector<float> plax = readWave(output);
        ASSERT_EQ(plax.size(), lv2.size()) << label;
        float fromPlain = 0.0f;
        for (size_t i = 0; i < lv2.size(); ++i) fromPlain = std::max(fromPlain, std::fabs(lv2[i] - plain[i]));
        // orq lines the output up with the input; the LV2 output comes the reported latency later.
        const size_t latency = size_t(instance.get("latency"));
        ASSERT_LT(latency, size_t(kFrames)) << label;
        float largest = 0.0f;
        for (size_t i = 0; i + 2 * latency < lv2.size(); ++i)
            largest = std::max(largest, std::fabs(lv2[i + 2 * latency] - plax[i]));
        // The presets hold the values compressor_plax's engine is built from (read through the
        // Plax build itself), so the two engines run identically.
        EXPECT_EQ(largest, 0.0f) << label << " (program " << program << ")";
        EXPECT_GT(fromPlain, 1e-2f) << label << ": the preset makes a difference";
        std::printf("%-16s largest difference from compressor_plax %.3g, from no preset %.3g\n",
                    label.c_str(), double(largest), double(fromPlain));
    }
}

} // namespace
} // namespace orq::lv2::test
