// The scripts of `orq editor --script FILE`: one event per line, driven into an editor's frame
// window as a user's mouse and keyboard would, with the clock advanced by hand.
//
//   # a comment; blank lines are skipped
//   click X Y [right] [ctrl] [shift]   press and release at editor client coordinates
//   frame-click X Y                    the same at frame window coordinates (the pixels of its
//                                      picture: the caption strip)
//   press X Y / move X Y / release X Y the left button alone, at editor client coordinates
//   drag X1 Y1 X2 Y2                   press, moves in steps, release
//   key NAME                           a key press and release (LEFT, RETURN, F1, A, 7, ...)
//   wait MS                            advances the manual clock; due timers run
//   play SECONDS|all                   streams the next part of the --play input
//   play FILE [SECONDS|all]            from now on plays FILE (from its start; all of it
//                                      without a length), as if it were the --play input
//   snapshot FILE                      a PNG of the frame window
//   clipboard FILE                     a PNG of the bitmap on the clipboard (an editor's copy)
//   expect KEY VALUE [TOLERANCE]       the plug-in's own value (KEY, KEY[i], host:bypass,
//                                      host:mute) equals VALUE within TOLERANCE
#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace orq::host {

enum class ScriptVerb {
    Click,
    FrameClick,
    Press,
    Move,
    Release,
    Drag,
    Key,
    Wait,
    Play,
    Snapshot,
    Clipboard,
    Expect
};

struct ScriptEvent {
    int line = 0;
    ScriptVerb verb = ScriptVerb::Click;
    int x = 0, y = 0, x2 = 0, y2 = 0; // x2, y2: drag only
    bool right = false, ctrl = false, shift = false;
    unsigned virtualKey = 0;
    std::string name;     // key: the key's name; snapshot, clipboard: the file; expect: the key
    std::string playFile; // play FILE: the file played from here on (empty: the same)
    int32_t element = -1; // expect KEY[i]
    uint32_t milliseconds = 0; // wait; play (0 with playAll)
    bool playAll = false;
    double expected = 0.0, tolerance = 0.0;
};

// A script that cannot be read: the message names the line ("line 3: ...").
struct ScriptError : std::runtime_error {
    using std::runtime_error::runtime_error;
};

// The tolerance of `expect` without one: relative to the expected value, at least an absolute
// floor (values travel as 32-bit floats).
constexpr double kExpectRelativeTolerance = 1e-5;
constexpr double kExpectAbsoluteTolerance = 1e-6;

std::vector<ScriptEvent> parseScript(std::string_view text);
// Reads and parses a file; errors name the file and the line.
std::vector<ScriptEvent> readScript(const std::string& path);

// The virtual-key code of a name (LEFT, RIGHT, UP, DOWN, RETURN, ESCAPE, TAB, SPACE, BACK,
// DELETE, HOME, END, PRIOR, NEXT, F1 … F12, A … Z, 0 … 9; case ignored), or 0.
unsigned virtualKeyOf(std::string_view name);

// Whether actual passes `expect` (NaN never does).
bool expectationHolds(const ScriptEvent& event, double actual);

} // namespace orq::host
