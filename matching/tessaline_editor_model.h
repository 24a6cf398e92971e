// The rules of the matching filter's editor that need no window: the band sliders with their
// group, the three drawing gestures, which controls are enabled and why not, the status texts,
// and the display's frequency axis. The editor (tessaline_editor.*) applies them to its controls.
#pragma once

#include "matching/curve_design.h"

#include <array>
#include <cstdint>
#include <string>

namespace orq::matching {

constexpr int kEditorSliderCount = kBandCount; // 30
using SliderGains = std::array<float, kEditorSliderCount>;

// Control identifiers (WM_COMMAND to the editor's client window).
enum TessalineControl : int {
    kResetControl = 531,
    kGroupSelectionControl = 533,
    kBandModeControl = 534, // equal band / third octave
    kFreezeControl = 535,
    kDrawModeControl = 536,
    kCurveDisplayControl = 537,
    kLearnControl = 539,
    kMatchControl = 540,
    kLearnTargetControl = 541,
    kMatchAmountControl = 542,
    kToolsControl = 543,
    kAboutControl = 546,
    kFirstSliderControl = 4096, // band slider k + 1 is 4096 + k
    kFirstMarkControl = 5096,   // the group mark under slider k + 1 is 5096 + k
    kLastMarkControl = 5126,
};
constexpr bool isSliderControl(int id) {
    return id >= kFirstSliderControl && id < kFirstSliderControl + kEditorSliderCount;
}
constexpr bool isMarkControl(int id) {
    return id >= kFirstMarkControl && id <= kLastMarkControl;
}

// A group of sliders chosen with the rubber band: first..last (indices 0..29), or none.
struct SliderGroup {
    int first = -1;
    int last = -1;
    // A group moves together only when it holds more than one slider.
    bool active() const { return first >= 0 && last > first; }
    bool contains(int slider) const { return active() && slider >= first && slider <= last; }
    bool operator==(const SliderGroup&) const = default;
};
// The group between two fractional slider positions, in either order, held to 0..29.
SliderGroup groupBetween(double fromPosition, double toPosition);

// Gains are held to the sliders' range, -15 ... +15 dB.
float clampSliderDb(float gainDb);
// One slider moved to newDb: inside an active group the change is added to every slider of the
// group, each held to the range on its own. Returns whether any gain changed.
bool moveSlider(SliderGains& gains, int slider, float newDb, const SliderGroup& group);
// The reset gesture: the slider, or its whole group when it lies inside one, to 0 dB.
bool resetSlider(SliderGains& gains, int slider, const SliderGroup& group);
// Niveau: a tilt from levelA at slider 1 to levelB at slider 30 (single-precision factor 1/29).
void drawNiveau(SliderGains& gains, float levelADb, float levelBDb);
// Bone: the segment from (x1, y1) to (x2, y2) in slider positions and dB sets every slider from
// floor(x1) to the last one below x2 + 1; the others keep their gains. The points may come in
// either order; a segment without width sets the one slider under it to the mean of both.
void drawBone(SliderGains& gains, double x1, float y1Db, double x2, float y2Db);

enum class DrawMode : int { RubberBand = 0, Niveau = 1, Bone = 2 };

// What decides which controls are enabled.
struct EditorState {
    bool frozen = false;          // "Dspl" 0
    bool bypassed = false;        // the frame's bypass
    bool learn = false;           // learn switch
    bool match = false;           // match switch
    bool sourceLearned = false;   // "SrcLnd"
    bool destLearned = false;     // "DestLnd"
    bool droppedByMode = false;   // a band-mode switch dropped learned data
    bool droppedByRate = false;   // a sample-rate change dropped learned data
};
// The match button: both spectra learned, or none (the match sliders alone) unless learned
// data were just dropped by a mode or rate change.
bool matchAllowed(const EditorState& s);
// The match amount knob: match on with both spectra learned.
bool amountAllowed(const EditorState& s);
// Whether a control is enabled (frozen and bypass disable the buttons, switches, knob and
// sliders; learning disables the sliders; the match button needs matchAllowed unless it is on).
// Reset, freeze, marks and the about box always are.
bool controlEnabled(int id, const EditorState& s);
// Why a disabled control is disabled (the status line's text), or null when it is enabled.
const char* disabledReason(int id, const EditorState& s);
// The help text of a control (empty when it has none). Sliders name their band.
std::string controlHelp(int id);
// "Slider %d, range: %d to %d Hz, mid: %d Hz" for slider index 0..29.
std::string sliderHelp(int slider);
// The status after learning, a reset or a rate change.
const char* learnedStatus(bool sourceLearned, bool destLearned);

// The display's frequency axis: equal band linear from 0 to fs/2, third octave logarithmic from
// 22.4 Hz to 22.4 kHz. Positions run 0..1 across the display.
struct FrequencyAxis {
    bool logarithmic = false;
    double lowKhz = 0.0;
    double highKhz = 22.05;
    double position(double hz) const;
    double hzAt(double position) const;
};
FrequencyAxis axisFor(bool thirdOctave, int32_t sampleRateHz);
// The fractional slider position (0..29) under an axis position: the sliders' centres sit at
// (k + 0.5)/30 of the display in both modes.
double sliderPositionAt(double axisPosition);
double axisPositionOfSlider(double sliderPosition);

} // namespace orq::matching
