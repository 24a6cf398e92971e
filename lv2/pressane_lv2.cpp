// Orq Pressane as an LV2 plug-in: the five settings and the two meters of its editor.
#include "lv2/lv2_description.h"

#include "maximizer/maximizer_engine.h"
#include "maximizer/pressane_parameters.h"
#include "maximizer/pressane_plugin.h"

namespace orq::lv2 {
namespace {

using namespace orq::maximizer;

constexpr float kHeadroomMeterTopDb = 24.0f;

constexpr ControlPort kPorts[] = {
    {kPressaneDesiredGain, kScalar, PortRole::Setting, kMinDesiredGainDb, kMaxDesiredGainDb,
     PortStyle::Continuous, PortUnit::Decibels},
    {kPressaneDensity, kScalar, PortRole::Setting, kMinDensity, kMaxDensity, PortStyle::Continuous,
     PortUnit::None},
    {kPressaneHeadroom, kScalar, PortRole::Setting, float(kMinHeadroom), float(kMaxHeadroom),
     PortStyle::Integer, PortUnit::None},
    {kPressaneBoost, kScalar, PortRole::Setting, 0.0f, 1.0f, PortStyle::Toggle, PortUnit::None},
    {kPressaneAudition, kScalar, PortRole::Setting, 0.0f, 1.0f, PortStyle::Toggle, PortUnit::None},
    {kPressaneHeadroomMeter, kScalar, PortRole::Meter, 0.0f, kHeadroomMeterTopDb,
     PortStyle::Continuous, PortUnit::Decibels, "headroom_meter", "Headroom"},
    {kPressaneGainReachedMeter, kScalar, PortRole::Meter, 0.0f, 1.0f, PortStyle::Continuous,
     PortUnit::None, "gain_reached", "Gain reached"},
};

} // namespace

const Description& thisDescription() {
    static const Description description{"urn:tarvelle:lv2:pressane", "pressane",
                                         "lv2:LimiterPlugin", createPressaneParameters,
                                         createPressanePlugin, kPorts, true, true};
    return description;
}

} // namespace orq::lv2
