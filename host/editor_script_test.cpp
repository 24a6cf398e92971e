#include "host/editor_script.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <cmath>
#include <string>

namespace orq::host {
namespace {

// The message of the error a script raises, or "" when it parses.
std::string errorOf(const std::string& script) {
    try {
        parseScript(script);
    } catch (const ScriptError& e) {
        return e.what();
    }
    return "";
}

TEST(EditorScript, every_verb_parses_with_its_numbers_and_keeps_its_line) {
    const std::vector<ScriptEvent> events = parseScript("# setup\n"
                                                        "click 10 20 right shift\n"
                                                        "\n"
                                                        "frame-click 5 -3   # the strip\n"
                                                        "drag 1 2 30 40\n"
                                                        "key left\n"
                                                        "wait 250\n"
                                                        "play 1.5\n"
                                                        "play all\n"
                                                        "snapshot dir/a.png\n"
                                                        "expect Gain 0.5\n"
                                                        "expect Shape[2] -1 0.25\n");
    ASSERT_EQ(events.size(), 10u);
    EXPECT_EQ(events[0].line, 2);
    EXPECT_EQ(events[0].verb, ScriptVerb::Click);
    EXPECT_EQ(events[0].x, 10);
    EXPECT_EQ(events[0].y, 20);
    EXPECT_TRUE(events[0].right);
    EXPECT_TRUE(events[0].shift);
    EXPECT_FALSE(events[0].ctrl);
    EXPECT_EQ(events[1].line, 4);
    EXPECT_EQ(events[1].verb, ScriptVerb::FrameClick);
    EXPECT_EQ(events[1].y, -3);
    EXPECT_EQ(events[2].x2, 30);
    EXPECT_EQ(events[2].y2, 40);
    EXPECT_EQ(events[3].virtualKey, unsigned(VK_LEFT));
    EXPECT_EQ(events[4].milliseconds, 250u);
    EXPECT_EQ(events[5].milliseconds, 1500u);
    EXPECT_TRUE(events[6].playAll);
    EXPECT_EQ(events[7].line, 10);
    EXPECT_EQ(events[7].verb, ScriptVerb::Snapshot);
    EXPECT_EQ(events[8].name, "Gain");
    EXPECT_EQ(events[8].element, -1);
    EXPECT_DOUBLE_EQ(events[8].expected, 0.5);
    EXPECT_EQ(events[9].name, "Shape");
    EXPECT_EQ(events[9].element, 2);
    EXPECT_DOUBLE_EQ(events[9].tolerance, 0.25);
}

TEST(EditorScript, a_snapshot_file_name_is_one_word) {
    EXPECT_EQ(errorOf("snapshot a b\n"), "line 1: snapshot: unexpected 'b'");
}

TEST(EditorScript, errors_name_the_line_and_what_is_wrong) {
    EXPECT_EQ(errorOf("click 1 2\nclik 1 2\n"),
              "line 2: unknown verb 'clik' (click, frame-click, press, move, release, drag, key, "
              "wait, play, snapshot, clipboard, expect)");
    EXPECT_EQ(errorOf("\n\nclick 1\n"), "line 3: click is missing Y");
    EXPECT_EQ(errorOf("move 1 2 3\n"), "line 1: move: unexpected '3'");
    EXPECT_EQ(errorOf("click 1 2 left\n"), "line 1: click: 'left' is not right, ctrl or shift");
    EXPECT_EQ(errorOf("drag 1 2 x 4\n"), "line 1: drag: 'x' is not a whole number (X2)");
    EXPECT_EQ(errorOf("click 1.5 2\n"), "line 1: click: '1.5' is not a whole number (X)");
    EXPECT_EQ(errorOf("wait -5\n"), "line 1: wait: the time cannot be negative");
    EXPECT_EQ(errorOf("key F13\n"), "line 1: key: unknown key name 'F13'");
    EXPECT_EQ(errorOf("expect Gain\n"), "line 1: expect is missing VALUE");
    EXPECT_EQ(errorOf("expect Gain nan\n"), "line 1: expect: 'nan' is not a number (VALUE)");
    EXPECT_EQ(errorOf("expect Gain 0x10\n"), "line 1: expect: '0x10' is not a number (VALUE)");
    EXPECT_EQ(errorOf("expect Gain[x] 1\n"), "line 1: expect: 'Gain[x]' is not KEY or KEY[i]");
    EXPECT_EQ(errorOf("play 0\n"), "line 1: play: the time lies in 0 … 86400 seconds");
    EXPECT_EQ(errorOf("# nothing\n   \n"), "");
}

TEST(EditorScript, play_with_a_file_switches_the_input_with_or_without_a_length) {
    const std::vector<ScriptEvent> events =
        parseScript("play ref.wav\nplay in.wav 2.5\nplay in.wav all\nplay 1\n");
    ASSERT_EQ(events.size(), 4u);
    EXPECT_EQ(events[0].playFile, "ref.wav");
    EXPECT_TRUE(events[0].playAll) << "a file without a length plays all of it";
    EXPECT_EQ(events[1].playFile, "in.wav");
    EXPECT_FALSE(events[1].playAll);
    EXPECT_EQ(events[1].milliseconds, 2500u);
    EXPECT_TRUE(events[2].playAll);
    EXPECT_EQ(events[3].playFile, "") << "a length alone plays on in the same file";
    EXPECT_EQ(events[3].milliseconds, 1000u);
    EXPECT_EQ(errorOf("play in.wav 0\n"), "line 1: play: the time lies in 0 … 86400 seconds");
    EXPECT_EQ(errorOf("play in.wav 2 3\n"), "line 1: play: unexpected '3'");
}

TEST(EditorScript, key_names_map_to_their_virtual_keys_ignoring_case) {
    EXPECT_EQ(virtualKeyOf("return"), unsigned(VK_RETURN));
    EXPECT_EQ(virtualKeyOf("ESCAPE"), unsigned(VK_ESCAPE));
    EXPECT_EQ(virtualKeyOf("f1"), unsigned(VK_F1));
    EXPECT_EQ(virtualKeyOf("F12"), unsigned(VK_F12));
    EXPECT_EQ(virtualKeyOf("q"), unsigned('Q'));
    EXPECT_EQ(virtualKeyOf("7"), unsigned('7'));
    EXPECT_EQ(virtualKeyOf("F0"), 0u);
    EXPECT_EQ(virtualKeyOf("F"), unsigned('F'));
    EXPECT_EQ(virtualKeyOf("ENTER"), 0u);
    EXPECT_EQ(virtualKeyOf(""), 0u);
}

TEST(EditorScript, expectations_hold_within_their_tolerance_and_never_for_nan) {
    ScriptEvent event = parseScript("expect Gain 100\n").front();
    EXPECT_TRUE(expectationHolds(event, 100.0009)) << "tolerance " << event.tolerance;
    EXPECT_FALSE(expectationHolds(event, 100.01)) << "tolerance " << event.tolerance;
    event = parseScript("expect Gain 0\n").front();
    EXPECT_TRUE(expectationHolds(event, 5e-7));
    EXPECT_FALSE(expectationHolds(event, 1e-5));
    EXPECT_FALSE(expectationHolds(event, std::nan("")));
}

} // namespace
} // namespace orq::host
