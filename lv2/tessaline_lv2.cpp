// Orq Tessaline as an LV2 plug-in: learn a source (the reference) and a destination (the
// material), then match. Learning: set learn_source to 1 for the reference or 0 for the material,
// turn learn on, play, turn learn off. The learned spectra are kept in the plug-in's state, so a
// reference learned in one session matches in another. The 30 band sliders come twice, as the
// filter keeps them: the curve used while match is off ("sl") and the one used while it is on
// ("SlMatch").
#include "lv2/lv2_description.h"
#include "lv2/lv2_ports.h"

#include "matching/matching_engine.h"
#include "matching/tessaline_parameters.h"
#include "matching/tessaline_plugin.h"

#include <array>
#include <cstddef>

namespace orq::lv2 {
namespace {

using namespace orq::matching;

constexpr float kLearnedFramesTop = 1.0e9f;

static_assert(kSliderCount <= kArrayElementsMax);

// Symbols and names of one slider array's ports, numbered from 1: "slider_7", "Slider 7 (match
// off)".
struct SliderLabels {
    std::array<std::array<char, 24>, kSliderCount> symbols{};
    std::array<std::array<char, 32>, kSliderCount> names{};
};

template <size_t N>
constexpr void appendNumbered(std::array<char, N>& text, const char* stem, int32_t number,
                              const char* tail) {
    size_t at = 0;
    for (const char* p = stem; *p != '\0'; ++p) text[at++] = *p;
    if (number >= 10) text[at++] = char('0' + number / 10);
    text[at++] = char('0' + number % 10);
    for (const char* p = tail; *p != '\0'; ++p) text[at++] = *p;
    text[at] = '\0';
}

constexpr SliderLabels sliderLabels(const char* symbolStem, const char* nameTail) {
    SliderLabels labels;
    for (int32_t k = 0; k < kSliderCount; ++k) {
        appendNumbered(labels.symbols[size_t(k)], symbolStem, k + 1, "");
        appendNumbered(labels.names[size_t(k)], "Slider ", k + 1, nameTail);
    }
    return labels;
}

constexpr SliderLabels kPlainSliders = sliderLabels("slider_", " (match off)");
constexpr SliderLabels kMatchSliders = sliderLabels("match_slider_", " (match on)");

// Each slider array is a group of its own, so that hosts show the two curves apart.
constexpr PortGroup kPlainSliderGroup{"sliders", "Sliders (match off)"};
constexpr PortGroup kMatchSliderGroup{"match_sliders", "Sliders (match on)"};

// The learn target before the learn switch: a switch turned on learns into the chosen side.
constexpr ControlPort kSettingsAndMeters[] = {
    {kParamLearnTarget, kScalar, PortRole::Setting, 0.0f, 1.0f, PortStyle::Toggle, PortUnit::None,
     "learn_source", "Learn source (off: destination)"},
    {kParamLearn, kScalar, PortRole::Setting, 0.0f, 1.0f, PortStyle::Toggle, PortUnit::None,
     "learn", "Learn"},
    {kParamMatch, kScalar, PortRole::Setting, 0.0f, 1.0f, PortStyle::Toggle, PortUnit::None,
     nullptr, "Match"},
    {kParamMorph, kScalar, PortRole::Setting, 0.0f, kMorphMax, PortStyle::Continuous,
     PortUnit::None, nullptr, "Amount (1 = 100 %)"},
    {kParamThirdOctave, kScalar, PortRole::Setting, 0.0f, 1.0f, PortStyle::Toggle,
     PortUnit::None, nullptr, "Third-octave bands"},
    {kParamSourceLearned, kScalar, PortRole::Meter, 0.0f, 1.0f, PortStyle::Toggle,
     PortUnit::None, "source_learned", "Source learned"},
    {kParamDestLearned, kScalar, PortRole::Meter, 0.0f, 1.0f, PortStyle::Toggle, PortUnit::None,
     "destination_learned", "Destination learned"},
    {kParamLearnedFrames, kScalar, PortRole::Meter, 0.0f, kLearnedFramesTop, PortStyle::Integer,
     PortUnit::None, "learned_frames", "Frames learned into the chosen side"},
};

constexpr size_t kFixedPorts = std::size(kSettingsAndMeters);

// The fixed ports, then the sliders of match off, then those of match on, each within the
// range the engine clamps its gains to and in its array's group.
constexpr auto kPorts = [] {
    std::array<ControlPort, kFixedPorts + 2 * size_t(kSliderCount)> ports{};
    for (size_t i = 0; i < kFixedPorts; ++i) ports[i] = kSettingsAndMeters[i];
    for (int32_t k = 0; k < kSliderCount; ++k) {
        for (int32_t array = 0; array < 2; ++array) {
            const SliderLabels& labels = array == 0 ? kPlainSliders : kMatchSliders;
            ports[kFixedPorts + size_t(array * kSliderCount + k)] = {
                array == 0 ? kParamSliders : kParamMatchSliders,
                k,
                PortRole::Setting,
                kSliderMinDb,
                kSliderMaxDb,
                PortStyle::Continuous,
                PortUnit::Decibels,
                labels.symbols[size_t(k)].data(),
                labels.names[size_t(k)].data(),
                nullptr,
                array == 0 ? &kPlainSliderGroup : &kMatchSliderGroup};
        }
    }
    return ports;
}();

} // namespace

const Description& thisDescription() {
    static const Description description{"urn:tarvelle:lv2:tessaline", "tessaline",
                                         "lv2:FilterPlugin", createTessalineParameters,
                                         createTessalinePlugin, kPorts, false};
    return description;
}

} // namespace orq::lv2
