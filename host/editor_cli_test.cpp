// orq editor as a user meets it: the passthrough test plug-in's editor pictured with its caption
// strip, driven by scripts, and refused before any work when its files cannot be written.
#include "host/audio_file.h"
#include "host/cli_test_support.h"
#include "host/png_test_support.h"

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

using orq::host::testing::Picture;
using orq::host::testing::readPng;
using orq::host::testing::resourcePicture;
using orq::host::testing::Result;

const std::string kPlugin = ORQ_TEST_PLUGIN_DIR "/passthrough_dx.so";

// The strip's buttons, three pictures each (off, pressed, on) from orq's resources: bypass 10000,
// mute 10003, settings 10006.
constexpr int kBypassOff = 10000;
constexpr int kBypassOn = 10002;
constexpr int kMuteOff = 10003;
constexpr int kMuteOn = 10005;
constexpr int kSettingsOff = 10006;
// The test editor's meter: its full picture (bitmap 121, 160 pixels long) over its empty one.
constexpr uint32_t kMeterLitColour = 0xe0c020;
constexpr int kMeterLengthPixels = 160;
// The strip lies right below the frame's caption.
constexpr int kStripBottomLimit = 48;

// Where a strip button shows one of its pictures in a picture of the editor; empty when it
// shows another.
RECT findButton(const Picture& editor, int number) {
    const Picture button = resourcePicture(number);
    EXPECT_GT(button.width, 0) << "orq's resources lack bitmap " << number;
    return editor.find(button);
}

bool shows(const Picture& editor, int number) { return findButton(editor, number).right >= 0; }

class OrqEditor : public orq::host::testing::OrqCommandTest<OrqEditor> {
  protected:
    static void SetUpTestSuite() {
        makeScratch("orq-editor-");
        AudioData tone;
        tone.channels = 2;
        tone.sampleRate = 44100;
        tone.frames = 22050;
        tone.format = orq::SampleFormat::Float32;
        for (int64_t i = 0; i < tone.frames; ++i)
            for (int c = 0; c < 2; ++c)
                tone.float32.push_back(0.5f * float(std::sin(0.03 * double(i) + c)));
        writeAudio(path("in.wav"), tone);
    }
    static std::string script(const std::string& name, const std::string& text) {
        std::ofstream(path(name)) << text;
        return quote(path(name));
    }
    static Result editor(const std::string& extra, const std::string& png = "t.png") {
        std::filesystem::remove(path(png));
        return run("editor " + quote(kPlugin) + " --png " + quote(path(png)) + " " + extra);
    }
    // The centre of a strip button, found in a picture of the editor by its off picture.
    static std::string centreOf(int offPicture) {
        const Result r = editor("", "find.png");
        EXPECT_EQ(r.exitCode, 0) << r.err;
        const RECT box = findButton(readPng(path("find.png")), offPicture);
        EXPECT_GE(box.right, box.left) << "bitmap " << offPicture << " is not in the picture";
        return std::to_string((box.left + box.right) / 2) + " " +
               std::to_string((box.top + box.bottom) / 2);
    }
};

TEST_F(OrqEditor, pictures_the_test_editor_with_its_caption_strip_and_leaves_the_library_idle) {
    const Result r = editor("");
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_NE(r.out.find("editor: Orq Passthrough (vc road)"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("closed: library idle (WM_USER + 5), 0 live objects"), std::string::npos)
        << r.out;
    const Picture picture = readPng(path("t.png"));
    ASSERT_GT(picture.width, 0) << "no PNG written";
    EXPECT_GE(picture.width, 72) << "room for three 24-pixel strip buttons";
    EXPECT_GT(picture.height, 16) << "the strip and the client below it";
    // The three buttons side by side in one strip at the top.
    const RECT bypass = findButton(picture, kBypassOff);
    const RECT settings = findButton(picture, kSettingsOff);
    const RECT mute = findButton(picture, kMuteOff);
    for (const RECT& box : {bypass, settings, mute}) {
        EXPECT_GE(box.right, box.left) << "a strip button is missing";
        EXPECT_LT(box.bottom, kStripBottomLimit) << "a strip button lies below the strip";
    }
    EXPECT_EQ(bypass.top, mute.top);
    EXPECT_EQ(bypass.top, settings.top);
    EXPECT_LT(bypass.right, mute.left) << "bypass, mute, settings from left to right";
    EXPECT_LT(mute.right, settings.left);
}

TEST_F(OrqEditor, clicking_the_bypass_button_sets_the_host_values_and_the_played_audio_follows) {
    // A toggle shows in its picture: off and on must tell apart.
    EXPECT_NE(resourcePicture(kBypassOff).rgb, resourcePicture(kBypassOn).rgb);
    EXPECT_NE(resourcePicture(kMuteOff).rgb, resourcePicture(kMuteOn).rgb);
    const std::string bypass = centreOf(kBypassOff);
    const std::string mute = centreOf(kMuteOff);
    std::string text;
    for (const std::string& line : std::vector<std::string>{
             "expect host:bypass 0", "frame-click " + bypass, "expect host:bypass 1",
             "expect host:mute 0", "expect Gain 0.5", "snapshot " + path("bypassed.png"),
             "play 0.25", "frame-click " + mute, "expect host:mute 1", "play all"})
        text += line + "\n";
    const Result r = editor("--set Gain=0.5 --play " + quote(path("in.wav")) + " --output " +
                            quote(path("out.wav")) + " --script " + script("bypass.txt", text));
    ASSERT_EQ(r.exitCode, 0) << r.err;
    const AudioData out = readAudio(path("out.wav"), nullptr);
    ASSERT_EQ(out.frames, 22050);
    const AudioData in = readAudio(path("in.wav"), nullptr);
    ASSERT_EQ(in.float32.size(), out.float32.size());
    const size_t bypassedSamples = 11025 * size_t(out.channels);
    float bypassError = 0.0f;
    for (size_t i = 0; i < bypassedSamples; ++i)
        bypassError = std::max(bypassError, std::fabs(out.float32[i] - in.float32[i]));
    EXPECT_EQ(bypassError, 0.0f) << "bypassed, the audio passes unchanged despite Gain 0.5";
    float peak = 0.0f;
    for (size_t i = bypassedSamples; i < out.float32.size(); ++i)
        peak = std::max(peak, std::fabs(out.float32[i]));
    EXPECT_EQ(peak, 0.0f) << "muted by the strip's mute button";
    const Picture picture = readPng(path("t.png"));
    EXPECT_FALSE(shows(picture, kBypassOff)) << "the bypass button shows its on picture";
    EXPECT_TRUE(shows(picture, kBypassOn));
    EXPECT_FALSE(shows(picture, kMuteOff)) << "the mute button shows its on picture";
    EXPECT_TRUE(shows(picture, kMuteOn));
    const Picture between = readPng(path("bypassed.png"));
    EXPECT_TRUE(shows(between, kBypassOn)) << "the snapshot after the bypass click";
    EXPECT_TRUE(shows(between, kMuteOff)) << "before the mute click";
    EXPECT_FALSE(shows(between, kMuteOn));
}

TEST_F(OrqEditor, play_until_streams_that_much_of_the_input_and_the_script_plays_in_parts) {
    Result r = editor("--play " + quote(path("in.wav")) + " --until 0.25 --output " +
                      quote(path("part.wav")));
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(readAudio(path("part.wav"), nullptr).frames, 11025);
    r = editor("--play " + quote(path("in.wav")) + " --output " + quote(path("part.wav")) +
               " --script " + script("parts.txt", "play 0.1\nwait 50\nplay 0.2\n"));
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(readAudio(path("part.wav"), nullptr).frames, 4410 + 8820);
}

TEST_F(OrqEditor, played_audio_lights_the_meter_the_same_way_at_every_run) {
    ASSERT_EQ(editor("", "quiet.png").exitCode, 0);
    EXPECT_LT(readPng(path("quiet.png")).boxOf(kMeterLitColour).right, 0) << "nothing played";
    const std::string play = "--play " + quote(path("in.wav")) + " --until 0.3";
    ASSERT_EQ(editor(play, "a.png").exitCode, 0);
    ASSERT_EQ(editor(play, "b.png").exitCode, 0);
    const Picture a = readPng(path("a.png"));
    const Picture b = readPng(path("b.png"));
    EXPECT_EQ(a.rgb, b.rgb) << "the editor's timers run on the audio's clock";
    // The tone's peak is 0.5: half the meter, within a pixel or two of rounding.
    const RECT lit = a.boxOf(kMeterLitColour);
    EXPECT_NEAR(lit.right - lit.left + 1, kMeterLengthPixels / 2, 2);
}

TEST_F(OrqEditor, clicks_in_the_editors_client_coordinates_reach_its_controls) {
    // The switch (24 x 16 at 16, 16 of the client) sets the gain to 0 when on.
    const Result r = editor("--script " + script("switch.txt", "expect Gain 1\n"
                                                               "click 28 24\n"
                                                               "expect Gain 0\n"
                                                               "click 28 24\n"
                                                               "expect Gain 1\n"
                                                               "click 100 24\n"
                                                               "expect Gain 1\n"));
    EXPECT_EQ(r.exitCode, 0) << r.err;
}

TEST_F(OrqEditor, the_frames_close_button_hides_it_and_tells_the_engine_window) {
    ASSERT_EQ(editor("", "size.png").exitCode, 0);
    const int width = readPng(path("size.png")).width;
    // The caption's close button: its right end, in the middle of the caption bar.
    const Result r = editor(
        "--script " + script("close.txt", "frame-click " + std::to_string(width - 9) + " 11\n"));
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_NE(r.err.find("the editor's window is hidden (closed by its user; 1 WM_USER + 2 "
                         "received): there is nothing to picture"),
              std::string::npos)
        << r.err;
}

TEST_F(OrqEditor, the_settings_button_calls_the_headless_dialog_which_changes_nothing) {
    const Result r = editor("--set Gain=0.25 --script " +
                            script("settings.txt", "frame-click " + centreOf(kSettingsOff) +
                                                       "\nexpect Gain 0.25\n"));
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_NE(r.out.find("settings dialog: Orq Passthrough, program 'Default'"), std::string::npos)
        << r.out;
}

TEST_F(OrqEditor, the_settings_dialog_saves_the_sets_values_as_a_state_the_next_run_reads) {
    const std::string click =
        script("click-settings.txt", "frame-click " + centreOf(kSettingsOff) + "\n");
    std::filesystem::remove(path("dialog.state"));
    Result r = editor("--set Gain=0.5 --dialog-save " + quote(path("dialog.state")) + " --script " +
                      click);
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_NE(r.out.find("settings dialog: its state saved in"), std::string::npos) << r.out;
    ASSERT_TRUE(std::filesystem::exists(path("dialog.state")));
    r = editor("--state " + quote(path("dialog.state")) + " --script " +
               script("half.txt", "expect Gain 0.5\n"));
    EXPECT_EQ(r.exitCode, 0) << r.err;

    std::filesystem::remove(path("unused.state"));
    r = editor("--dialog-save " + quote(path("unused.state")));
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_NE(r.out.find("settings dialog: never called"), std::string::npos) << r.out;
    EXPECT_FALSE(std::filesystem::exists(path("unused.state")))
        << "a dialog never called saves nothing";
}

TEST_F(OrqEditor, the_settings_dialog_loads_its_state_into_the_plug_in_only_when_called) {
    std::filesystem::remove(path("quarter.state"));
    ASSERT_EQ(editor("--set Gain=0.25 --save-state " + quote(path("quarter.state"))).exitCode, 0);
    const std::string load = "--set Gain=0.75 --dialog-load " + quote(path("quarter.state"));
    Result r = editor(
        load + " --script " +
        script("load.txt", "frame-click " + centreOf(kSettingsOff) + "\nexpect Gain 0.25\n"));
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_NE(r.out.find("loaded the dialog's state"), std::string::npos) << r.out;
    r = editor(load + " --script " + script("stay.txt", "expect Gain 0.75\n"));
    EXPECT_EQ(r.exitCode, 0) << r.err << " (without the dialog the set stays)";
}

TEST_F(OrqEditor, a_foreign_or_broken_dialog_state_is_refused_before_any_work) {
    std::ofstream(path("broken.state")) << "not a state";
    Result r = editor("--dialog-load " + quote(path("broken.state")));
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_NE(r.err.find("reading the settings dialog's state '" + path("broken.state") + "'"),
              std::string::npos)
        << r.err;
    EXPECT_EQ(r.err.find('\n'), r.err.size() - 1) << "one line: " << r.err;
    EXPECT_EQ(r.out, "") << "no editor was opened";
    EXPECT_FALSE(std::filesystem::exists(path("t.png")));

    // A state of another plug-in (its origin differs).
    ASSERT_EQ(run("process " + quote(ORQ_TEST_PLUGIN_DIR "/passthrough_second_dx.so") + " " +
                  quote(path("in.wav")) + " " + quote(path("second.wav")) + " --save-state " +
                  quote(path("foreign.state")))
                  .exitCode,
              0);
    r = editor("--dialog-load " + quote(path("foreign.state")));
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_NE(r.err.find("reading the settings dialog's state '" + path("foreign.state") + "'"),
              std::string::npos)
        << r.err;
    EXPECT_EQ(r.out, "");

    r = editor("--dialog-load " + quote(path("missing.state")));
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_NE(r.err.find("missing.state"), std::string::npos) << r.err;
    EXPECT_EQ(r.out, "");
}

TEST_F(OrqEditor, a_failed_expectation_names_the_line_the_expected_and_the_actual_value) {
    const Result r = editor("--script " + script("expect.txt", "# gain\n\nexpect Gain 0.5\n"));
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_NE(r.err.find("script line 3: expected Gain = 0.5 (± 5e-06), got 1"), std::string::npos)
        << r.err;
    EXPECT_FALSE(std::filesystem::exists(path("t.png"))) << "a failed command writes nothing";
}

TEST_F(OrqEditor, script_errors_name_the_line_before_any_work) {
    Result r = editor("--script " + script("bad.txt", "wait 10\nclik 1 2\n"));
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_NE(r.err.find("line 2: unknown verb 'clik'"), std::string::npos) << r.err;
    EXPECT_EQ(r.out, "");
    r = editor("--script " + script("play.txt", "play 1\n"));
    EXPECT_EQ(r.exitCode, 2);
    EXPECT_NE(r.err.find("script line 1: play needs --play INPUT"), std::string::npos) << r.err;
}

TEST_F(OrqEditor, an_unwritable_picture_fails_before_any_work) {
    const Result r = run("editor " + quote(kPlugin) + " --save-state " + quote(path("s.state")) +
                         " --png " + quote(path("missing/t.png")));
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_NE(r.err.find("the picture"), std::string::npos) << r.err;
    EXPECT_EQ(r.out, "") << "no editor was opened";
    EXPECT_FALSE(std::filesystem::exists(path("s.state")));
}

TEST_F(OrqEditor, f1_in_an_editor_names_its_help_file_and_orq_says_when_it_has_no_text) {
    const Result r = editor("--script " + script("help.txt", "key F1\n"));
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_NE(r.out.find("help: ..\\PlugIns\\Passthrough.hlp: orq has no help text named "
                         "Passthrough.hlp\n"),
              std::string::npos)
        << r.out;
    const Result quiet = editor("");
    EXPECT_EQ(quiet.out.find("help:"), std::string::npos) << "no F1, no help: " << quiet.out;
}

TEST_F(OrqEditor, the_saved_state_is_written_and_read_back_by_the_next_run) {
    std::filesystem::remove(path("s.state"));
    Result r = editor("--set Gain=0.25 --save-state " + quote(path("s.state")));
    ASSERT_EQ(r.exitCode, 0) << r.err;
    ASSERT_TRUE(std::filesystem::exists(path("s.state")));
    r = editor("--state " + quote(path("s.state")) + " --script " +
               script("state.txt", "expect Gain 0.25\n"));
    EXPECT_EQ(r.exitCode, 0) << r.err;
}

TEST_F(OrqEditor, the_property_page_shows_the_editor_in_orqs_page_frame_once_registered) {
    const std::string page = "--road page --script " +
                             script("page.txt", "click 28 24\nexpect Gain 0\n") + " --play " +
                             quote(path("in.wav")) + " --until 0.3";
    Result r = editor(page);
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_NE(r.err.find("is not registered; run 'orq register"), std::string::npos) << r.err;
    ASSERT_EQ(run("register " + quote(kPlugin)).exitCode, 0);
    r = editor(page);
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_NE(r.out.find("editor: Orq Passthrough (property page)"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("closed: library idle (WM_USER + 5), 0 live objects"), std::string::npos)
        << r.out;
    const Picture picture = readPng(path("t.png"));
    EXPECT_EQ(picture.width, 200) << "the page frame takes the page's size";
    EXPECT_EQ(picture.height, 96);
    for (int number = kBypassOff; number <= kSettingsOff + 2; ++number)
        EXPECT_FALSE(shows(picture, number)) << "a page has no caption strip: " << number;
    EXPECT_GE(picture.boxOf(kMeterLitColour).right, 0) << "the played audio reached the meter";
    ASSERT_EQ(run("unregister " + quote(kPlugin)).exitCode, 0);
}

TEST_F(OrqEditor, command_line_mistakes_are_usage_errors) {
    EXPECT_EQ(run("editor " + quote(kPlugin)).exitCode, 2) << "no --png";
    EXPECT_EQ(editor("--until 2").exitCode, 2) << "--until without --play";
    EXPECT_EQ(editor("--output " + quote(path("o.wav"))).exitCode, 2);
    EXPECT_EQ(editor("--road dx").exitCode, 2);
    EXPECT_EQ(editor("--live --play " + quote(path("in.wav"))).exitCode, 2)
        << "a live editor plays nothing";
    EXPECT_EQ(editor("--live --road page").exitCode, 2) << "a live editor takes the vc road";
}

TEST_F(OrqEditor, live_without_an_x_server_is_one_error_and_writes_nothing) {
    const std::string picture = path("live.png");
    const char* before = std::getenv("DISPLAY");
    const std::string kept = before != nullptr ? before : "";
    setenv("DISPLAY", ":4711", 1); // no server there
    const Result r = run("editor " + quote(kPlugin) + " --live --png " + quote(picture) +
                         " --save-state " + quote(path("live.orqstate")));
    if (before != nullptr)
        setenv("DISPLAY", kept.c_str(), 1);
    else
        unsetenv("DISPLAY");
    EXPECT_EQ(r.exitCode, 1) << r.err;
    EXPECT_NE(r.err.find("--live: no X server answers at ':4711'"), std::string::npos) << r.err;
    EXPECT_FALSE(std::filesystem::exists(picture));
    EXPECT_FALSE(std::filesystem::exists(path("live.orqstate")));
}

} // namespace
