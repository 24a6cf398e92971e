// The compressor's editor as orq opens it: by library path and by name on the Vc road, inside the
// property page, and end to end: a script drags a curve while a tone plays, the state it leaves
// behind compresses the tone when orq process runs with it.
#include "host/audio_file.h"
#include "host/cli_test_support.h"

#include <gtest/gtest.h>

#include <cmath>
#include <fstream>
#include <string>

using namespace orq::host;

namespace {

using orq::host::testing::Result;

const std::string kPlugin = ORQ_PLUGIN_DIR "/compressor_dx.so";
const std::string kDragScript = ORQ_COMPRESSOR_TESTDATA "/drag-a-curve.txt";
constexpr int32_t kRate = 44100;
constexpr double kToneHz = 1000.0; // inside band 2 of the default three (240 ... 2299 Hz)
constexpr float kToneAmplitude = 0.5f;

// RMS of the first channel over the second half of a file (past the latency and the attack).
double secondHalfRms(const std::string& file) {
    const AudioData audio = readAudio(file, nullptr);
    double sum = 0.0;
    int64_t n = 0;
    for (int64_t i = audio.frames / 2; i < audio.frames; ++i, ++n) {
        const double v = audio.format == orq::SampleFormat::Float32
                             ? audio.float32[size_t(i * audio.channels)]
                             : audio.int16[size_t(i * audio.channels)] / 32768.0;
        sum += v * v;
    }
    return n > 0 ? std::sqrt(sum / double(n)) : 0.0;
}

class OrqCompressorEditor : public orq::host::testing::OrqCommandTest<OrqCompressorEditor> {
  protected:
    static void SetUpTestSuite() {
        makeScratch("orq-compressor-editor-");
        AudioData tone;
        tone.channels = 2;
        tone.sampleRate = kRate;
        tone.frames = 2 * kRate;
        tone.format = orq::SampleFormat::Float32;
        for (int64_t i = 0; i < tone.frames; ++i)
            for (int c = 0; c < 2; ++c)
                tone.float32.push_back(
                    kToneAmplitude * float(std::sin(2.0 * M_PI * kToneHz * double(i) / kRate)));
        writeAudio(path("tone.wav"), tone);
    }
};

TEST_F(OrqCompressorEditor, opens_by_path_and_by_name_at_the_backgrounds_size_and_leaves_the_library_idle) {
    for (const std::string& plugin : {kPlugin, std::string("Orq Compressor")}) {
        const Result r = run("editor " + quote(plugin) + " --png " + quote(path("e.png")));
        ASSERT_EQ(r.exitCode, 0) << plugin << ": " << r.err;
        EXPECT_NE(r.out.find("editor: Orq Compressor (vc road)"), std::string::npos) << r.out;
        EXPECT_NE(r.out.find("closed: library idle (WM_USER + 5), 0 live objects"),
                  std::string::npos)
            << r.out;
    }
}

TEST_F(OrqCompressorEditor, a_dragged_curve_saved_with_the_state_compresses_the_processed_tone) {
    const Result edited = run("editor " + quote(kPlugin) + " --script " + quote(kDragScript) +
                              " --play " + quote(path("tone.wav")) + " --save-state " +
                              quote(path("s.orq")) + " --png " + quote(path("dragged.png")));
    ASSERT_EQ(edited.exitCode, 0) << edited.err;
    ASSERT_EQ(run("process " + quote(kPlugin) + " " + quote(path("tone.wav")) + " " +
                  quote(path("plain.wav")))
                  .exitCode,
              0);
    const Result processed = run("process " + quote(kPlugin) + " " + quote(path("tone.wav")) +
                                 " " + quote(path("squeezed.wav")) + " --state " +
                                 quote(path("s.orq")));
    ASSERT_EQ(processed.exitCode, 0) << processed.err;
    const double input = kToneAmplitude / std::sqrt(2.0);
    const double plain = secondHalfRms(path("plain.wav"));
    const double squeezed = secondHalfRms(path("squeezed.wav"));
    EXPECT_NEAR(plain / input, 1.0, 0.05) << "the default curves leave the tone as it is";
    // The band's curve now ends at an output of about 0.3 for an input of 1: about -10.5 dB.
    EXPECT_NEAR(20.0 * std::log10(squeezed / input), -10.5, 1.5) << "rms " << squeezed;
}

TEST_F(OrqCompressorEditor, the_about_box_opens_from_its_button_and_return_closes_it) {
    // While the modal box is open its owner takes no clicks: Solo changes only after it closed.
    // On the page road the box runs on orq's own thread: the script goes on beside it.
    std::ofstream(path("about.txt")) << "click 520 275\nexpect Solo 0\nclick 210 190\n"
                                        "expect Solo 0\nkey RETURN\nclick 210 190\n"
                                        "expect Solo 1\n";
    ASSERT_EQ(run("register " + quote(kPlugin)).exitCode, 0);
    for (const std::string road : {"vc", "page"}) {
        const Result r = run("editor " + quote(kPlugin) + " --road " + road + " --script " +
                             quote(path("about.txt")) + " --png " + quote(path("a.png")));
        EXPECT_EQ(r.exitCode, 0) << road << ": " << r.err;
        if (road == "page") {
            EXPECT_NE(r.out.find("dialog: \"About Orq Compressor\" waits on orq's thread; the "
                                 "script goes on beside it"),
                      std::string::npos)
                << r.out;
        }
    }
    // A box still open when the script ends is cancelled, and orq ends normally.
    std::ofstream(path("about-open.txt")) << "click 520 275\n";
    const Result r = run("editor " + quote(kPlugin) + " --road page --script " +
                         quote(path("about-open.txt")) + " --png " + quote(path("a.png")));
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_NE(r.out.find("orq cancels it"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("closed: library idle"), std::string::npos) << r.out;
    ASSERT_EQ(run("unregister " + quote(kPlugin)).exitCode, 0);
}

TEST_F(OrqCompressorEditor, the_property_page_shows_the_compressor_editor_once_registered) {
    ASSERT_EQ(run("register " + quote(kPlugin)).exitCode, 0);
    const Result r = run("editor " + quote(kPlugin) + " --road page --png " + quote(path("p.png")));
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_NE(r.out.find("editor: Orq Compressor (property page), frame 600x300"),
              std::string::npos)
        << r.out;
    ASSERT_EQ(run("unregister " + quote(kPlugin)).exitCode, 0);
}

} // namespace
