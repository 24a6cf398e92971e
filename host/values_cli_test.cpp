// orq given values it must convert or refuse: sample formats, and what it is told to set.
#include "host/audio_file.h"
#include "host/cli_test_support.h"

#include <gtest/gtest.h>

#include <cmath>
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
    }

    // A mono file of a half-scale sine in the given container and sample type.
    static std::vector<double> writeSine(const std::string& name, int sndfileFormat) {
        constexpr int kFrames = 4000;
        std::vector<double> samples(kFrames);
        for (int i = 0; i < kFrames; ++i)
            samples[i] = 0.5 * std::sin(2.0 * M_PI * 441.0 * i / 44100.0);
        SF_INFO info{};
        info.channels = 1;
        info.samplerate = 44100;
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

} // namespace
