// orq given values it must convert or refuse: sample formats, and what it is told to set.
#include "host/audio_file.h"
#include "host/cli_test_support.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <fstream>
#include <iterator>
#include <filesystem>
#include <sndfile.h>
#include <string>
#include <vector>

using namespace orq;
using namespace orq::host;

namespace {

using orq::host::testing::Result;

const std::string kPassthrough = "'Orq Passthrough'";

class OrqValues : public orq::host::testing::OrqCommandTest<OrqValues> {
  protected:
    static void SetUpTestSuite() {
        makeScratch("orq-values-");
        ASSERT_EQ(run("register " + quote(ORQ_TEST_PLUGIN_DIR "/passthrough_dx.so")).exitCode, 0);
        ASSERT_EQ(run("register " + quote(ORQ_PLUGIN_DIR "/ombrel_dx.so") + " " +
                      quote(ORQ_PLUGIN_DIR "/tessaline_dx.so") + " " +
                      quote(ORQ_PLUGIN_DIR "/pressane_dx.so"))
                      .exitCode,
                  0);
    }

    // A mono file of a half-scale sine in the given container and sample type.
    static std::vector<double> writeSine(const std::string& name, int sndfileFormat,
                                         int sampleRateHz = 44100) {
        constexpr int kFrames = 4000;
        std::vector<double> samples(kFrames);
        for (int i = 0; i < kFrames; ++i)
            samples[i] = 0.5 * std::sin(2.0 * M_PI * 441.0 * i / 44100.0);
        SF_INFO info{};
        info.channels = 1;
        info.samplerate = sampleRateHz;
        info.format = sndfileFormat;
        SNDFILE* f = sf_open(path(name).c_str(), SFM_WRITE, &info);
        EXPECT_NE(f, nullptr) << sf_strerror(nullptr);
        sf_writef_double(f, samples.data(), kFrames);
        sf_close(f);
        return samples;
    }
};

TEST_F(OrqValues, s16_output_of_a_float_input_keeps_its_audio) {
    constexpr double kLsb = 1.0 / 32768.0;
    const struct {
        const char* name;
        int format;
    } inputs[] = {{"in-float.wav", SF_FORMAT_WAV | SF_FORMAT_FLOAT},
                  {"in-double.wav", SF_FORMAT_WAV | SF_FORMAT_DOUBLE},
                  {"in-float.caf", SF_FORMAT_CAF | SF_FORMAT_FLOAT}};
    for (const auto& input : inputs) {
        SCOPED_TRACE(input.name);
        const std::vector<double> expected = writeSine(input.name, input.format);
        const std::string out = path(std::string("s16-") + input.name + ".wav");
        const Result r = run("process " + kPassthrough + " " + quote(path(input.name)) + " " +
                             quote(out) + " --format s16");
        ASSERT_EQ(r.exitCode, 0) << r.err;
        const AudioData back = readAudio(out, nullptr);
        ASSERT_EQ(back.format, SampleFormat::Int16);
        ASSERT_EQ(back.int16.size(), expected.size());
        double worst = 0.0;
        for (size_t i = 0; i < expected.size(); ++i)
            worst = std::max(worst, std::abs(back.int16[i] / 32768.0 - expected[i]));
        EXPECT_LE(worst, kLsb) << "worst difference " << worst * 32768.0 << " LSB";
    }
}

// The spectrogram has analysis filters for a set of rates only; below its highest rate its
// format check lets any rate through, and at one it cannot open it analysed nothing: rows of
// −100 dB. Every way of running it refuses such a rate, and writes nothing.
TEST_F(OrqValues, spectrogram_refuses_a_rate_it_cannot_analyse_on_every_road) {
    writeSine("r11025.wav", SF_FORMAT_WAV | SF_FORMAT_PCM_16, 11025);
    const std::string in = quote(path("r11025.wav"));
    const std::string csv = path("r11025.csv");
    const std::string passed = path("r11025-out.wav");
    const std::string runs[] = {
        "spectrogram " + in + " " + quote(csv) + " --output " + quote(passed),
        "process 'Orq Ombrel' " + in + " " + quote(passed),
        "process 'Orq Ombrel' " + in + " " + quote(passed) + " --road vc",
    };
    for (const std::string& args : runs) {
        SCOPED_TRACE(args);
        const Result r = run(args);
        EXPECT_EQ(r.exitCode, 1) << r.out;
        EXPECT_NE(r.err.find("refuses 1-channel 11025 Hz"), std::string::npos) << r.err;
        EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << r.err;
        EXPECT_FALSE(std::filesystem::exists(csv));
        EXPECT_FALSE(std::filesystem::exists(passed));
    }
    // A rate it analyses still runs.
    writeSine("r22050.wav", SF_FORMAT_WAV | SF_FORMAT_PCM_16, 22050);
    const Result r = run("spectrogram " + quote(path("r22050.wav")) + " " + quote(csv));
    EXPECT_EQ(r.exitCode, 0) << r.err;
}

TEST_F(OrqValues, set_refuses_numbers_that_are_not_decimal_naming_the_key) {
    writeSine("set.wav", SF_FORMAT_WAV | SF_FORMAT_PCM_16);
    for (const char* value : {"0x10", "inf", "-inf", "nan", "1e", "e3", "1,5", ""}) {
        SCOPED_TRACE(value);
        const Result r = run("process 'Orq Ombrel' " + quote(path("set.wav")) + " " +
                             quote(path("set-out.wav")) + " --set 'bLog=" + value + "'");
        EXPECT_EQ(r.exitCode, 1) << r.out;
        EXPECT_NE(r.err.find("not a number (bLog; decimal only)"), std::string::npos) << r.err;
        EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << r.err;
        EXPECT_FALSE(std::filesystem::exists(path("set-out.wav")));
    }
    for (const char* value : {"1", "+1", "1.0", "1e0", "0.5e+1", "-0"}) {
        SCOPED_TRACE(value);
        const Result r = run("process 'Orq Ombrel' " + quote(path("set.wav")) + " " +
                             quote(path("set-out.wav")) + " --set 'bLog=" + value + "'");
        EXPECT_EQ(r.exitCode, 0) << r.err;
    }
}

// A displayed value (a spectrum, the size of one) is named in the set but not persisted; the
// plug-in overwrites or ignores it, so setting it is refused instead of dropped silently.
TEST_F(OrqValues, set_refuses_a_displayed_value_that_is_not_a_setting) {
    writeSine("shown.wav", SF_FORMAT_WAV | SF_FORMAT_PCM_16);
    const struct {
        const char* plugin;
        const char* setting;
        const char* key;
    } cases[] = {{"Orq Ombrel", "SG[0]=1", "SG"},
                 {"Orq Ombrel", "nFFT21=100", "nFFT21"},
                 {"Orq Tessaline", "Spec[0]=1", "Spec"},
                 {"Orq Tessaline", "nFFT21=100", "nFFT21"}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.setting);
        for (const char* road : {"", " --road vc"}) {
            const Result r =
                run("process '" + std::string(c.plugin) + "' " + quote(path("shown.wav")) + " " +
                    quote(path("shown-out.wav")) + " --set '" + c.setting + "'" + road);
            EXPECT_EQ(r.exitCode, 1) << r.out;
            EXPECT_NE(
                r.err.find("'" + std::string(c.key) + "' is a displayed value, not a setting"),
                std::string::npos)
                << r.err;
            EXPECT_FALSE(std::filesystem::exists(path("shown-out.wav")));
        }
    }
}

// A state is taken as the plug-in reads it; a scalar that is not a number or infinite would run
// the engine on it. Such a state is refused with one line naming the file and the key.
TEST_F(OrqValues, state_with_a_non_finite_scalar_is_refused_naming_the_file) {
    writeSine("st.wav", SF_FORMAT_WAV | SF_FORMAT_PCM_16);
    const std::string saved = path("gain.state");
    ASSERT_EQ(run("process " + kPassthrough + " " + quote(path("st.wav")) + " " +
                  quote(path("st-out.wav")) + " --set Gain=0.5 --save-state " + quote(saved))
                  .exitCode,
              0);
    std::ifstream in(saved, std::ios::binary);
    const std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    const float half = 0.5f;
    const std::string halfBytes(reinterpret_cast<const char*>(&half), sizeof half);
    const size_t at = bytes.find(halfBytes);
    ASSERT_NE(at, std::string::npos) << "Gain's 0.5 is in the saved state";
    for (const float bad : {std::nanf(""), INFINITY, -INFINITY}) {
        SCOPED_TRACE(bad);
        std::string patched = bytes;
        std::memcpy(patched.data() + at, &bad, sizeof bad);
        const std::string state = path("bad.state");
        std::ofstream(state, std::ios::binary) << patched;
        std::filesystem::remove(path("st-out.wav"));
        for (const char* road : {"", " --road vc"}) {
            const Result r = run("process " + kPassthrough + " " + quote(path("st.wav")) + " " +
                                 quote(path("st-out.wav")) + " --state " + quote(state) + road);
            EXPECT_EQ(r.exitCode, 1) << r.out;
            EXPECT_NE(r.err.find("the state '" + state + "'"), std::string::npos) << r.err;
            EXPECT_NE(r.err.find("'Gain'"), std::string::npos) << r.err;
            EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << r.err;
            EXPECT_FALSE(std::filesystem::exists(path("st-out.wav")));
        }
    }
    // The saved state itself still loads.
    EXPECT_EQ(run("process " + kPassthrough + " " + quote(path("st.wav")) + " " +
                  quote(path("st-out.wav")) + " --state " + quote(saved))
                  .exitCode,
              0);
}

// A value outside the range the set announces is refused, naming the key and the range; the
// maximizer's HeadRoom takes the editor's −9 … 9 beyond its announced −4 … 4. A set that gives
// only the generic description (the pass-through test plug-in) bounds nothing.
TEST_F(OrqValues, set_refuses_a_value_outside_the_announced_range) {
    writeSine("range.wav", SF_FORMAT_WAV | SF_FORMAT_PCM_16);
    const std::string files = quote(path("range.wav")) + " " + quote(path("range-out.wav"));
    const struct {
        const char* plugin;
        const char* setting;
        const char* says; // empty: accepted
    } cases[] = {{"Orq Pressane", "DesGain=12.5", "'DesGain' takes 0 … 12, not 12.5"},
                 {"Orq Pressane", "DesGain=-1", "'DesGain' takes 0 … 12, not -1"},
                 {"Orq Pressane", "DesGain=12", ""},
                 {"Orq Pressane", "HeadRoom=-9", ""},
                 {"Orq Pressane", "HeadRoom=9", ""},
                 {"Orq Pressane", "HeadRoom=10", "'HeadRoom' takes -9 … 9, not 10"},
                 {"Orq Tessaline", "log=2", "'log' takes 0 … 1, not 2"},
                 {"Orq Passthrough", "Latency=1000", ""}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.setting);
        std::filesystem::remove(path("range-out.wav"));
        const Result r =
            run("process '" + std::string(c.plugin) + "' " + files + " --set '" + c.setting + "'");
        if (std::string(c.says).empty()) {
            EXPECT_EQ(r.exitCode, 0) << r.err;
            continue;
        }
        EXPECT_EQ(r.exitCode, 1) << r.out;
        EXPECT_NE(r.err.find(c.says), std::string::npos) << r.err;
        EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << r.err;
        EXPECT_FALSE(std::filesystem::exists(path("range-out.wav")));
    }
}

} // namespace
