#include "matching/tessaline_editor_model.h"

#include "matching/matching_engine.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace orq::matching {

namespace {

// The niveau's step per slider, 1/29 in single precision.
constexpr float kNiveauStep = 0.03448276f;
constexpr int kLastSlider = kEditorSliderCount - 1;
// Third-octave axis: 22.4 Hz to 22.4 kHz, three decades.
constexpr double kLogAxisLowKhz = 0.0224;
constexpr double kLogAxisHighKhz = 22.4;
constexpr double kKhzPerHalfRate = 0.0005; // fs/2 in kHz

} // namespace

SliderGroup groupBetween(double fromPosition, double toPosition) {
    const double low = std::min(fromPosition, toPosition);
    const double high = std::max(fromPosition, toPosition);
    SliderGroup g;
    g.first = std::clamp(int(std::lround(low)), 0, kLastSlider);
    g.last = std::clamp(int(std::lround(high)), 0, kLastSlider);
    return g;
}

float clampSliderDb(float gainDb) {
    if (!std::isfinite(gainDb)) return 0.0f;
    return std::clamp(gainDb, kSliderMinDb, kSliderMaxDb);
}

bool moveSlider(SliderGains& gains, int slider, float newDb, const SliderGroup& group) {
    if (slider < 0 || slider > kLastSlider) return false;
    const SliderGains before = gains;
    const float target = clampSliderDb(newDb);
    if (!group.contains(slider)) {
        gains[size_t(slider)] = target;
        return gains != before;
    }
    const float change = target - gains[size_t(slider)];
    for (int k = group.first; k <= group.last; ++k)
        gains[size_t(k)] = clampSliderDb(gains[size_t(k)] + change);
    return gains != before;
}

bool resetSlider(SliderGains& gains, int slider, const SliderGroup& group) {
    if (slider < 0 || slider > kLastSlider) return false;
    const SliderGains before = gains;
    if (group.contains(slider)) {
        for (int k = group.first; k <= group.last; ++k)
            gains[size_t(k)] = 0.0f;
    } else {
        gains[size_t(slider)] = 0.0f;
    }
    return gains != before;
}

void drawNiveau(SliderGains& gains, float levelADb, float levelBDb) {
    const float slope = (levelBDb - levelADb) * kNiveauStep;
    for (int k = 0; k <= kLastSlider; ++k)
        gains[size_t(k)] = clampSliderDb(levelADb + float(k) * slope);
}

void drawBone(SliderGains& gains, double x1, float y1Db, double x2, float y2Db) {
    if (!std::isfinite(x1) || !std::isfinite(x2)) return;
    if (x2 < x1) {
        std::swap(x1, x2);
        std::swap(y1Db, y2Db);
    }
    const int first = std::max(0, int(std::floor(x1)));
    if (x2 - x1 < 1e-9) {
        // A click without a drag: no slope to follow.
        if (first <= kLastSlider) gains[size_t(first)] = clampSliderDb(0.5f * (y1Db + y2Db));
        return;
    }
    const double slope = double(y2Db - y1Db) / (x2 - x1);
    for (int k = first; k <= kLastSlider && double(k) < x2 + 1.0; ++k)
        gains[size_t(k)] = clampSliderDb(float(double(y1Db) + (double(k) - x1) * slope));
}

bool matchAllowed(const EditorState& s) {
    if (s.sourceLearned && s.destLearned) return true;
    return !s.sourceLearned && !s.destLearned && !s.droppedByMode && !s.droppedByRate;
}

bool amountAllowed(const EditorState& s) {
    return s.match && s.sourceLearned && s.destLearned;
}

namespace {

// Buttons, switches, the knob and the sliders: what freeze and bypass disable.
bool isFrozenByFreeze(int id) {
    return id == kLearnControl || id == kMatchControl || id == kLearnTargetControl ||
           id == kMatchAmountControl || id == kBandModeControl || id == kDrawModeControl ||
           id == kToolsControl || isSliderControl(id);
}

} // namespace

bool controlEnabled(int id, const EditorState& s) {
    if (!isFrozenByFreeze(id)) return true;
    if (s.frozen || s.bypassed) return false;
    if (id == kMatchAmountControl) return amountAllowed(s);
    // A lit match button can always be switched off.
    if (id == kMatchControl) return s.match || matchAllowed(s);
    if (isSliderControl(id)) return !s.learn;
    return true;
}

const char* disabledReason(int id, const EditorState& s) {
    if (controlEnabled(id, s)) return nullptr;
    if (!isMarkControl(id)) {
        if (s.frozen) return "Disabled. PlugIn is in freeze mode !";
        if (s.bypassed) return "Disabled. PlugIn is in bypass mode.";
    }
    if (id == kMatchAmountControl)
        return s.match ? "Disabled. Learn both source and destination data !"
                       : "Disabled. Activate match button first!";
    if (id == kMatchControl)
        return s.droppedByRate ? "Disabled. Source and Dest must have the same sampling frequency !"
                               : "Disabled. Learn both source and destination data !";
    if (isSliderControl(id) && s.learn) return "Disabled. PlugIn is in learn mode.";
    return nullptr;
}

std::string sliderHelp(int slider) {
    if (slider < 0 || slider > kLastSlider) return {};
    const ThirdOctaveBand& band = kThirdOctaveBands[size_t(slider)];
    char text[96];
    std::snprintf(text, sizeof text, "Slider %d, range: %d to %d Hz, mid: %d Hz", slider + 1,
                  int(band.lowHz), int(band.highHz), int(band.centreHz));
    return text;
}

std::string controlHelp(int id) {
    switch (id) {
    case kResetControl:
        return "Resets the whole PlugIn.";
    case kBandModeControl:
        return "Switches between equal band and third octave filtering.";
    case kFreezeControl:
        return "Freezes the whole PlugIn.";
    case kDrawModeControl:
        return "Switches filter drawing modes: rubber band, niveau and bone filter.";
    case kLearnControl:
        return "Activates the learn mode.";
    case kMatchControl:
        return "Activates the learned filter parameters.";
    case kLearnTargetControl:
        return "Switches between learning source or destination data.";
    case kMatchAmountControl:
        return "Sets the rate of filtering with learned filter data from 0 to 200 %.";
    case kToolsControl:
        return "Hides the extra filtering tools.";
    default:
        break;
    }
    if (isSliderControl(id)) return sliderHelp(id - kFirstSliderControl);
    return {};
}

const char* learnedStatus(bool sourceLearned, bool destLearned) {
    if (sourceLearned && destLearned) return "Source and Destination learned.";
    if (sourceLearned) return "Source learned.";
    if (destLearned) return "Destination learned.";
    return "";
}

double FrequencyAxis::position(double hz) const {
    const double khz = hz * 0.001;
    if (logarithmic) {
        if (!(khz > 0.0)) return 0.0;
        return std::log10(khz / lowKhz) / std::log10(highKhz / lowKhz);
    }
    return highKhz > lowKhz ? (khz - lowKhz) / (highKhz - lowKhz) : 0.0;
}

double FrequencyAxis::hzAt(double position) const {
    if (logarithmic) return 1000.0 * lowKhz * std::pow(highKhz / lowKhz, position);
    return 1000.0 * (lowKhz + position * (highKhz - lowKhz));
}

FrequencyAxis axisFor(bool thirdOctave, int32_t sampleRateHz) {
    if (thirdOctave) return FrequencyAxis{true, kLogAxisLowKhz, kLogAxisHighKhz};
    return FrequencyAxis{false, 0.0, double(sampleRateHz) * kKhzPerHalfRate};
}

double sliderPositionAt(double axisPosition) {
    return axisPosition * kEditorSliderCount - 0.5;
}

double axisPositionOfSlider(double sliderPosition) {
    return (sliderPosition + 0.5) / kEditorSliderCount;
}

} // namespace orq::matching
