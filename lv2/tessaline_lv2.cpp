// Orq Tessaline as an LV2 plug-in: learn a source (the reference) and a destination (the
// material), then match. Learning: set learn_source to 1 for the reference or 0 for the material,
// turn learn on, play, turn learn off. The learned spectra are kept in the plug-in's state, so a
// reference learned in one session matches in another.
#include "lv2/lv2_description.h"

#include "matching/matching_engine.h"
#include "matching/tessaline_parameters.h"
#include "matching/tessaline_plugin.h"

namespace orq::lv2 {
namespace {

using namespace orq::matching;

constexpr float kLearnedFramesTop = 1.0e9f;

// The learn target before the learn switch: a switch turned on learns into the chosen side.
constexpr ControlPort kPorts[] = {
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

} // namespace

const Description& thisDescription() {
    static const Description description{"urn:tarvelle:lv2:tessaline", "tessaline",
                                         "lv2:FilterPlugin", createTessalineParameters,
                                         createTessalinePlugin, kPorts, false};
    return description;
}

} // namespace orq::lv2
