// The maximizer's editor as orq opens it: by path and by name on the host-extension road, inside
// its property page, driven by scripts of mouse events, pictured while the audio plays, and its
// changes carried through a saved state into `orq process`.
#include "host/audio_file.h"
#include "host/cli_test_support.h"

#include <gtest/gtest.h>
#include <png.h>
#include <windows.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

using namespace orq::host;

namespace {

using orq::host::testing::Result;

const std::string kPlugin = ORQ_PLUGIN_DIR "/pressane_dx.so";

// The input bars with their lamps and field, in the editor's client coordinates.
constexpr RECT kInputBars{54, 50, 69, 184};

// Points of the controls in the editor's client coordinates.
const std::string kRockerLeft = "203 118";
const std::string kRockerRight = "237 118";
const std::string kDesiredGainTop = "108 67";
const std::string kMemoryA = "205 177";
const std::string kMemoryB = "235 177";
const std::string kStoreSwitch = "212 196";

struct Picture {
    int width = 0, height = 0;
    std::vector<uint8_t> rgb;
    uint32_t at(int x, int y) const {
        const size_t i = (size_t(y) * size_t(width) + size_t(x)) * 3;
        return uint32_t(rgb[i]) << 16 | uint32_t(rgb[i + 1]) << 8 | rgb[i + 2];
    }
    // The pixels of a rectangle of the editor's client, which lies at the bottom of the picture
    // inside a frame border as wide at the bottom as at the sides.
    std::vector<uint32_t> client(const RECT& r) const {
        const int border = (width - 444) / 2;
        const int top = height - 262 - border;
        std::vector<uint32_t> pixels;
        for (int y = r.top; y < r.bottom; ++y)
            for (int x = r.left; x < r.right; ++x)
                pixels.push_back(at(border + x, top + y));
        return pixels;
    }
};

Picture readPng(const std::string& file) {
    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    Picture picture;
    if (!png_image_begin_read_from_file(&image, file.c_str())) return picture;
    image.format = PNG_FORMAT_RGB;
    picture.rgb.resize(PNG_IMAGE_SIZE(image));
    if (!png_image_finish_read(&image, nullptr, picture.rgb.data(), 0, nullptr)) return picture;
    picture.width = int(image.width);
    picture.height = int(image.height);
    return picture;
}

AudioData tone(int32_t sampleRate, double seconds, float peak) {
    AudioData audio;
    audio.channels = 2;
    audio.sampleRate = sampleRate;
    audio.frames = int64_t(seconds * sampleRate);
    audio.format = orq::SampleFormat::Float32;
    for (int64_t i = 0; i < audio.frames; ++i)
        for (int c = 0; c < 2; ++c)
            audio.float32.push_back(peak * float(std::sin(0.05 * double(i) + c)));
    return audio;
}

class PressaneEditorCli : public orq::host::testing::OrqCommandTest<PressaneEditorCli> {
  protected:
    static void SetUpTestSuite() {
        makeScratch("orq-pressane-editor-");
        writeAudio(path("tone.wav"), tone(44100, 0.5, 0.5f));
        writeAudio(path("tone48.wav"), tone(48000, 0.5, 0.5f));
    }
    static std::string script(const std::string& name, const std::vector<std::string>& lines) {
        std::ofstream out(path(name));
        for (const std::string& line : lines)
            out << line << "\n";
        return quote(path(name));
    }
    static Result editor(const std::string& plugin, const std::string& extra,
                         const std::string& png = "t.png") {
        std::filesystem::remove(path(png));
        return run("editor " + quote(plugin) + " --png " + quote(path(png)) + " " + extra);
    }
    static std::vector<float> samples(const std::string& file) {
        return readAudio(path(file), nullptr).float32;
    }
};

TEST_F(PressaneEditorCli, opens_by_path_and_by_name_in_its_444_by_262_window) {
    Result r = editor(kPlugin, "");
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_NE(r.out.find("editor: Orq Pressane (vc road)"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("closed: library idle (WM_USER + 5), 0 live objects"), std::string::npos)
        << r.out;
    const Picture byPath = readPng(path("t.png"));
    // The client and the caption strip above it, inside the frame.
    EXPECT_GE(byPath.width, 444);
    EXPECT_LE(byPath.width, 444 + 2 * 8);
    EXPECT_GE(byPath.height, 262 + 16);

    r = editor("Orq Pressane", "", "named.png");
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(readPng(path("named.png")).rgb, byPath.rgb) << "the same editor by its name";
}

TEST_F(PressaneEditorCli, the_property_page_shows_the_editor_and_takes_clicks) {
    ASSERT_EQ(run("register " + quote(kPlugin)).exitCode, 0);
    const Result r = editor(kPlugin, "--road page --play " + quote(path("tone.wav")) +
                                         " --playing-png " + quote(path("page-playing.png")) +
                                         " --script " +
                                         script("page.txt", {"click " + kDesiredGainTop,
                                                             "expect DesGain 12"}));
    ASSERT_EQ(run("unregister " + quote(kPlugin)).exitCode, 0);
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_NE(r.out.find("editor: Orq Pressane (property page), frame 444x262"), std::string::npos)
        << r.out;
    const Picture page = readPng(path("t.png"));
    EXPECT_EQ(page.width, 444);
    EXPECT_EQ(page.height, 262);
    EXPECT_NE(readPng(path("page-playing.png")).client(kInputBars), page.client(kInputBars))
        << "the page's editor hears the plug-in start and meters the played audio";
}

TEST_F(PressaneEditorCli, the_meters_move_while_playing_and_rest_after_the_stop) {
    ASSERT_EQ(editor(kPlugin, "", "resting.png").exitCode, 0);
    const Result r = editor(kPlugin, "--play " + quote(path("tone.wav")) + " --playing-png " +
                                         quote(path("playing.png")));
    ASSERT_EQ(r.exitCode, 0) << r.err;
    const std::vector<uint32_t> resting = readPng(path("resting.png")).client(kInputBars);
    // A 0.5 peak (-6 dB) lights the input bars up to their -7 dB breakpoint, 11 of 28 steps.
    EXPECT_NE(readPng(path("playing.png")).client(kInputBars), resting) << "bars lit";
    EXPECT_EQ(readPng(path("t.png")).client(kInputBars), resting) << "stopped: bars at rest";
}

TEST_F(PressaneEditorCli, the_rocker_holds_minus_9_and_the_memories_store_and_recall) {
    Result r = editor(kPlugin, "--set HeadRoom=-9 --script " +
                                   script("rocker.txt", {"click " + kRockerLeft, "expect HeadRoom -9",
                                                         "click " + kRockerRight,
                                                         "expect HeadRoom -8"}));
    EXPECT_EQ(r.exitCode, 0) << r.err;
    r = editor(kPlugin, "--set DesGain=4.5 --script " +
                            script("memory.txt",
                                   {"click " + kStoreSwitch, "click " + kMemoryB,
                                    "expect DesGain 4.5", "click " + kMemoryA, "expect DesGain 6",
                                    "expect Comp 0.3", "click " + kMemoryB, "expect DesGain 4.5",
                                    "expect Comp 0"}));
    EXPECT_EQ(r.exitCode, 0) << r.err;
}

TEST_F(PressaneEditorCli, a_setting_changed_in_the_editor_travels_through_the_state_into_process) {
    const std::string state = path("edited.state");
    Result r = editor(kPlugin, "--save-state " + quote(state) + " --script " +
                                   script("edit.txt", {"click " + kDesiredGainTop,
                                                       "click " + kRockerRight}));
    ASSERT_EQ(r.exitCode, 0) << r.err;
    const std::string in = quote(path("tone.wav"));
    ASSERT_EQ(run("process " + quote(kPlugin) + " " + in + " " + quote(path("edited.wav")) +
                  " --state " + quote(state))
                  .exitCode,
              0);
    ASSERT_EQ(run("process " + quote(kPlugin) + " " + in + " " + quote(path("set.wav")) +
                  " --set DesGain=12 --set HeadRoom=1")
                  .exitCode,
              0);
    ASSERT_EQ(run("process " + quote(kPlugin) + " " + in + " " + quote(path("plain.wav")))
                  .exitCode,
              0);
    EXPECT_EQ(samples("edited.wav"), samples("set.wav")) << "the state holds the edited values";
    EXPECT_NE(samples("edited.wav"), samples("plain.wav")) << "and they change the audio";

    // The state survives closing, opening again and a change of the stream's format.
    r = editor(kPlugin, "--state " + quote(state) + " --play " + quote(path("tone48.wav")) +
                            " --save-state " + quote(path("again.state")) + " --script " +
                            script("again.txt", {"expect DesGain 12", "expect HeadRoom 1",
                                                 "play all", "expect DesGain 12",
                                                 "expect HeadRoom 1"}));
    ASSERT_EQ(r.exitCode, 0) << r.err;
    const std::string in48 = quote(path("tone48.wav"));
    ASSERT_EQ(run("process " + quote(kPlugin) + " " + in48 + " " + quote(path("again48.wav")) +
                  " --state " + quote(path("again.state")))
                  .exitCode,
              0);
    ASSERT_EQ(run("process " + quote(kPlugin) + " " + in48 + " " + quote(path("set48.wav")) +
                  " --set DesGain=12 --set HeadRoom=1")
                  .exitCode,
              0);
    EXPECT_EQ(samples("again48.wav"), samples("set48.wav"));
}

TEST_F(PressaneEditorCli, playing_png_needs_played_audio) {
    EXPECT_EQ(run("editor " + quote(kPlugin) + " --playing-png " + quote(path("p.png"))).exitCode,
              2);
    const Result r = run("editor " + quote(kPlugin) + " --play " + quote(path("tone.wav")) +
                         " --playing-png " + quote(path("only.png")));
    EXPECT_EQ(r.exitCode, 0) << r.err << " (--png is optional with --playing-png)";
    EXPECT_TRUE(std::filesystem::exists(path("only.png")));
}

} // namespace
