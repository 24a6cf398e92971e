// Orq Ombrel as an LV2 plug-in: the audio passes unchanged; the analysis settings are ports.
#include "lv2/lv2_description.h"

#include "spectrogram/ombrel_parameters.h"
#include "spectrogram/ombrel_plugin.h"

namespace orq::lv2 {
namespace {

using namespace orq::spectrogram;

constexpr float kRightView = 2.0f; // views: 0 left, 1 mean of both, 2 right

constexpr ControlPort kPorts[] = {
    {kOmbrelLowBand, kScalar, PortRole::Setting, 0.0f, 1.0f, PortStyle::Toggle, PortUnit::None,
     "low_band", "Low band"},
    {kOmbrelView, kScalar, PortRole::Setting, 0.0f, kRightView, PortStyle::Integer,
     PortUnit::None, "view", "Channel (left, mean, right)"},
    {kOmbrelRunning, kScalar, PortRole::Setting, 0.0f, 1.0f, PortStyle::Toggle, PortUnit::None,
     "running", "Analysing"},
};

} // namespace

const Description& thisDescription() {
    static const Description description{"urn:tarvelle:lv2:ombrel", "ombrel",
                                         "lv2:AnalyserPlugin", createOmbrelParameters,
                                         createOmbrelPlugin, kPorts, false};
    return description;
}

} // namespace orq::lv2
