// orq as a Plax host: the Plax road against the component road, and orq presets.
#include "host/audio_file.h"
#include "host/cli_test_support.h"
#include "host/png_test_support.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>

namespace orq::host {
namespace {

using testing::Result;

class PlaxRoad : public testing::OrqCommandTest<PlaxRoad> {
  protected:
    static void SetUpTestSuite() {
        makeScratch("orq-plax-road-");
        setenv("ORQ_PLAX_DIR", ORQ_PLUGIN_DIR, 1);
        run("register " + quote(std::string(ORQ_PLUGIN_DIR) + "/pressane_dx.so") + " " +
            quote(std::string(ORQ_PLUGIN_DIR) + "/compressor_dx.so"));
        // Two seconds of a pulsing two-tone stereo signal, loud enough to be compressed.
        AudioData audio;
        audio.channels = 2;
        audio.sampleRate = 44100;
        audio.frames = 2 * 44100;
        audio.format = SampleFormat::Float32;
        for (int64_t t = 0; t < audio.frames; ++t) {
            const double s = double(t) / audio.sampleRate;
            const double envelope = 0.2 + 0.7 * std::fabs(std::sin(2 * M_PI * 1.5 * s));
            audio.float32.push_back(float(envelope * (0.6 * std::sin(2 * M_PI * 110 * s) +
                                                      0.3 * std::sin(2 * M_PI * 2500 * s))));
            audio.float32.push_back(float(envelope * (0.5 * std::sin(2 * M_PI * 220 * s) +
                                                      0.3 * std::sin(2 * M_PI * 6000 * s))));
        }
        writeAudio(path("in.wav"), audio);
    }

    static AudioData processed(const std::string& args, const std::string& name) {
        const Result r = run("process " + args + " " + quote(path("in.wav")) + " " +
                             quote(path(name)) + " --format f32");
        EXPECT_EQ(r.exitCode, 0) << r.err;
        const SampleFormat f32 = SampleFormat::Float32;
        return readAudio(path(name), &f32);
    }

    static float largestDifference(const AudioData& a, const AudioData& b) {
        EXPECT_EQ(a.float32.size(), b.float32.size());
        float largest = 0.0f;
        for (size_t i = 0; i < std::min(a.float32.size(), b.float32.size()); ++i)
            largest = std::max(largest, std::fabs(a.float32[i] - b.float32[i]));
        return largest;
    }
};

TEST_F(PlaxRoad, maximizer_gives_the_same_audio_on_both_roads_at_equal_settings) {
    // 0.5 normalised is 6 dB of the 0 … 12 dB range; Density 0.5 is itself.
    const AudioData plax = processed("'Orq Pressane' --road plax --set DesGain=0.5 --set Density=0.5 "
                                     "--set Headroom=0.6111111",
                                     "pressane_plax.wav");
    const AudioData dx = processed("'Orq Pressane' --road dx --set DesGain=6 --set Comp=0.5 "
                                   "--set HeadRoom=2",
                                   "pressane_dx.wav");
    EXPECT_EQ(largestDifference(plax, dx), 0.0f);
}

TEST_F(PlaxRoad, compressor_gives_the_same_audio_within_float_rounding) {
    // Program "Init": three bands split at 2^8 and 2^11 Hz, one gain stage, unity curves.
    const AudioData plax = processed("'Orq Compressor' --road plax --set Gain=0.75",
                                     "compressor_plax.wav");
    const AudioData dx = processed("'Orq Compressor' --road dx --set CompType=1 --set Border[1]=256 "
                                   "--set Border[2]=2048 --set Output=6",
                                   "compressor_dx.wav");
    const float difference = largestDifference(plax, dx);
    EXPECT_LT(difference, 1e-5f);
    const AudioData plain = processed("'Orq Compressor' --road dx", "compressor_default.wav");
    EXPECT_GT(largestDifference(plax, plain), 1e-2f) << "the settings make a difference";
}

TEST_F(PlaxRoad, process_takes_a_program_whose_band_count_sets_the_delay) {
    auto latencyOf = [](const Result& r) {
        const size_t at = r.out.find("latency: ");
        return at == std::string::npos ? -1 : std::atoi(r.out.c_str() + at + 9);
    };
    const std::string io = quote(path("in.wav")) + " " + quote(path("program.wav"));
    const Result init = run("process 'Orq Compressor' " + io + " --road plax --program 0");
    const Result radio = run("process 'Orq Compressor' " + io + " --road plax --program 1");
    const Result essing = run("process 'Orq Compressor' " + io + " --road plax --program 9");
    ASSERT_EQ(radio.exitCode, 0) << radio.err;
    // "Init" has three bands, "FM Radio" four, "De-Essing" two: each band adds to the delay.
    EXPECT_LT(latencyOf(essing), latencyOf(init)) << essing.out << init.out;
    EXPECT_LT(latencyOf(init), latencyOf(radio)) << init.out << radio.out;

    const Result missing = run("process 'Orq Compressor' " + io + " --road plax --program 10");
    EXPECT_EQ(missing.exitCode, 1);
    EXPECT_NE(missing.err.find("program 10 is not in the bank (0 … 9)"), std::string::npos)
        << missing.err;
    const Result component = run("process 'Orq Compressor' " + io + " --program 1");
    EXPECT_EQ(component.exitCode, 2) << component.err;
    EXPECT_NE(component.err.find("--program belongs to the Plax road"), std::string::npos)
        << component.err;
}

TEST_F(PlaxRoad, presets_lists_chooses_saves_and_loads_banks) {
    const Result listed = run("presets 'Orq Compressor' --program 8 --save-bank " + quote(path("bank.bin")));
    ASSERT_EQ(listed.exitCode, 0) << listed.err;
    EXPECT_NE(listed.out.find("* 8: Vocals"), std::string::npos) << listed.out;
    EXPECT_NE(listed.out.find("  9: De-Essing"), std::string::npos) << listed.out;
    EXPECT_EQ(readFileBytes(path("bank.bin")).size(), 13920u);
    const Result loaded = run("presets 'Orq Compressor' --load-bank " + quote(path("bank.bin")) +
                              " --program 5");
    EXPECT_NE(loaded.out.find("BandGain3 = 7.40 dB"), std::string::npos) << loaded.out;
    const Result pressane = run("presets 'Orq Pressane' --load-bank " + quote(path("bank.bin")));
    EXPECT_EQ(pressane.exitCode, 1);
    EXPECT_NE(pressane.err.find("refused the bank (13920 bytes; it holds 480)"), std::string::npos)
        << pressane.err;
    EXPECT_EQ(run("presets 'Orq Pressane' --program 10").exitCode, 1);
    EXPECT_EQ(run("presets 'Orq Ombrel'").exitCode, 1);
}

} // namespace
// The Plax road of orq editor: the editor opened in orq's window through the editor opcodes.
class PlaxEditorRoad : public testing::OrqCommandTest<PlaxEditorRoad> {
  protected:
    static void SetUpTestSuite() {
        makeScratch("orq-plax-editor-");
        setenv("ORQ_PLAX_DIR", ORQ_PLUGIN_DIR, 1);
    }
    static void writeScript(const std::string& name, const std::string& text) {
        std::ofstream(path(name)) << text;
    }
};

// The boost switch's frame in the editor (and in its picture, the window's pixels).
constexpr RECT kBoostSwitch{202, 55, 245, 70};

int differingPixels(const testing::Picture& a, const testing::Picture& b, const RECT& area) {
    int count = 0;
    for (int y = area.top; y < area.bottom; ++y)
        for (int x = area.left; x < area.right; ++x) count += a.at(x, y) != b.at(x, y);
    return count;
}

TEST_F(PlaxEditorRoad, script_clicks_reach_the_editor_and_set_the_effect) {
    const Result plain = run("editor 'Orq Pressane' --road plax --png " + quote(path("plain.png")));
    ASSERT_EQ(plain.exitCode, 0) << plain.err;
    EXPECT_NE(plain.out.find("window 446x263"), std::string::npos) << plain.out;

    writeScript("boost.txt", "click 223 62\nwait 100\nexpect Boost 1\nsnapshot " +
                                 path("snapshot.png") + "\n");
    const Result boosted = run("editor 'Orq Pressane' --road plax --set Density=0.8 --script " +
                               quote(path("boost.txt")) + " --png " + quote(path("boost.png")));
    ASSERT_EQ(boosted.exitCode, 0) << boosted.err;
    EXPECT_NE(boosted.out.find("automated: 1 "), std::string::npos) << boosted.out;

    const testing::Picture before = testing::readPng(path("plain.png"));
    const testing::Picture after = testing::readPng(path("boost.png"));
    ASSERT_EQ(before.width, 446);
    ASSERT_EQ(after.height, 263);
    EXPECT_GT(differingPixels(before, after, kBoostSwitch), 20) << "the switch did not turn";
    // The density field (--set) changed too; the desired-gain slider stayed.
    EXPECT_GT(differingPixels(before, after, RECT{278, 41, 300, 52}), 0);
    EXPECT_EQ(differingPixels(before, after, RECT{99, 64, 117, 177}), 0);
    EXPECT_TRUE(std::filesystem::exists(path("snapshot.png")));
}

TEST_F(PlaxEditorRoad, compressor_editor_takes_a_band_slider_drag_the_band_buttons_and_solo) {
    const Result plain = run("editor 'Orq Compressor' --road plax --png " + quote(path("c.png")));
    ASSERT_EQ(plain.exitCode, 0) << plain.err;
    EXPECT_NE(plain.out.find("window 480x263"), std::string::npos) << plain.out;
    EXPECT_NE(plain.out.find("automated: 0 "), std::string::npos) << plain.out;

    // Band 2's thumb (at 0 dB: rows 115 … 126) taken by its bottom row and dragged 36 rows up:
    // 15 rows from the top of the 101-row travel, 1 - 15/101 = 0.851 of the range, which the
    // 0.1 dB steps make 8.4 dB = 0.85. Then band 3 becomes the active band, and Solo goes on.
    writeScript("drag.txt",
                "drag 97 126 97 90\nwait 100\nexpect BandGain2 0.85 0.0001\nexpect BandGain1 0.5\n"
                "click 141 193\nclick 273 192\nexpect Solo 1\n");
    const Result dragged = run("editor 'Orq Compressor' --road plax --set Gain=0.75 --script " +
                               quote(path("drag.txt")) + " --png " + quote(path("c-drag.png")));
    ASSERT_EQ(dragged.exitCode, 0) << dragged.err << dragged.out;
    EXPECT_EQ(dragged.out.find("automated: 0 "), std::string::npos) << dragged.out;

    const testing::Picture before = testing::readPng(path("c.png"));
    const testing::Picture after = testing::readPng(path("c-drag.png"));
    ASSERT_EQ(before.width, 480);
    ASSERT_EQ(after.height, 263);
    EXPECT_GT(differingPixels(before, after, RECT{88, 64, 106, 177}), 50) << "band 2's thumb";
    EXPECT_EQ(differingPixels(before, after, RECT{44, 64, 62, 177}), 0) << "band 1's slider";
    EXPECT_GT(differingPixels(before, after, RECT{128, 186, 154, 200}), 20) << "band 3's button";
    EXPECT_GT(differingPixels(before, after, RECT{252, 185, 295, 200}), 20) << "the Solo switch";
    EXPECT_GT(differingPixels(before, after, RECT{331, 41, 359, 52}), 0) << "the output field (--set)";

    writeScript("wrong.txt", "drag 97 126 97 90\nexpect BandGain2 0.5\n");
    const Result wrong = run("editor 'Orq Compressor' --road plax --script " +
                             quote(path("wrong.txt")) + " --png " + quote(path("none.png")));
    EXPECT_EQ(wrong.exitCode, 1);
    EXPECT_NE(wrong.err.find("expected BandGain2 = 0.5"), std::string::npos) << wrong.err;
}

TEST_F(PlaxEditorRoad, refusals_name_their_cause_and_write_no_picture) {
    const Result noEditor =
        run("editor " + quote(std::string(ORQ_TEST_PLUGIN_DIR) + "/compressor_plax_without_editor.so") +
            " --road plax --png " + quote(path("none.png")));
    EXPECT_EQ(noEditor.exitCode, 1);
    EXPECT_NE(noEditor.err.find("has no editor"), std::string::npos) << noEditor.err;

    writeScript("play.txt", "play 1\n");
    const Result plays = run("editor 'Orq Pressane' --road plax --script " +
                             quote(path("play.txt")) + " --png " + quote(path("none.png")));
    EXPECT_EQ(plays.exitCode, 2);
    EXPECT_NE(plays.err.find("script line 1: the Plax road's editor plays nothing"),
              std::string::npos)
        << plays.err;

    const Result state = run("editor 'Orq Pressane' --road plax --state x.state --png " +
                             quote(path("none.png")));
    EXPECT_EQ(state.exitCode, 2);
    EXPECT_NE(state.err.find("takes --set, --script and --png only"), std::string::npos)
        << state.err;

    writeScript("expect.txt", "expect Boost 1\n");
    const Result expected = run("editor 'Orq Pressane' --road plax --script " +
                                quote(path("expect.txt")) + " --png " + quote(path("none.png")));
    EXPECT_EQ(expected.exitCode, 1);
    EXPECT_NE(expected.err.find("expected Boost = 1"), std::string::npos) << expected.err;
    EXPECT_FALSE(std::filesystem::exists(path("none.png")));
}

} // namespace orq::host
