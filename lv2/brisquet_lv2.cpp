// Orq Brisquet as an LV2 plug-in: its eleven settings, with the ranges of its own table.
#include "lv2/lv2_description.h"

#include "enhancer/brisquet_parameters.h"
#include "enhancer/brisquet_plugin.h"

namespace orq::lv2 {
namespace {

using namespace orq::enhancer;

constexpr ControlPort setting(int32_t index, PortStyle style, PortUnit unit) {
    const EnhancerParameter& p = kEnhancerParameters[size_t(index)];
    return {index, kScalar, PortRole::Setting, p.minimum, p.maximum, style, unit};
}

constexpr ControlPort kPorts[] = {
    setting(kInputGainIndex, PortStyle::Continuous, PortUnit::Decibels),
    setting(kSoloIndex, PortStyle::Toggle, PortUnit::None),
    setting(kMixIndex, PortStyle::Continuous, PortUnit::None),
    setting(kFrequencyIndex, PortStyle::Continuous, PortUnit::Hertz),
    setting(kHpMixIndex, PortStyle::Continuous, PortUnit::None),
    setting(kGainIndex, PortStyle::Continuous, PortUnit::None),
    setting(kKickIndex, PortStyle::Toggle, PortUnit::None),
    setting(kDensityIndex, PortStyle::Integer, PortUnit::None),
    setting(kSecondIndex, PortStyle::Continuous, PortUnit::None),
    setting(kThirdIndex, PortStyle::Continuous, PortUnit::None),
    setting(kMonoIndex, PortStyle::Toggle, PortUnit::None),
};

} // namespace

const Description& thisDescription() {
    static const Description description{"urn:tarvelle:lv2:brisquet", "brisquet",
                                         "lv2:SpectralPlugin", createBrisquetParameters,
                                         createBrisquetPlugin, kPorts, false};
    return description;
}

} // namespace orq::lv2
