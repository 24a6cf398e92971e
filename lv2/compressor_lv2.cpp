// Orq Compressor as an LV2 plug-in: band count, band gains and edges, output gain, soft clipper,
// stage count, active band and its solo; the active band's meter. The drawn transfer curves
// travel in the state.
#include "lv2/lv2_description.h"

#include "compressor/compressor_engine.h"
#include "compressor/compressor_parameters.h"
#include "compressor/compressor_plugin.h"

namespace orq::lv2 {
namespace {

using namespace orq::compressor;

constexpr float kLowestBorderHz = 20.0f;
constexpr float kHighestBorderHz = 24000.0f;

// The band gains and the band edges each make a group, so that hosts show them together.
constexpr PortGroup kBandGainGroup{"band_gains", "Band gains"};
constexpr PortGroup kBandEdgeGroup{"band_edges", "Band edges"};

constexpr ControlPort bandGain(int32_t band, const char* symbol, const char* name) {
    return {kParamBandGain, band, PortRole::Setting, -kGainRangeDb, kGainRangeDb,
            PortStyle::Continuous, PortUnit::Decibels, symbol, name, nullptr, &kBandGainGroup};
}
constexpr ControlPort border(int32_t index, const char* symbol, const char* name) {
    return {kParamBorder, index, PortRole::Setting, kLowestBorderHz, kHighestBorderHz,
            PortStyle::Continuous, PortUnit::Hertz, symbol, name, nullptr, &kBandEdgeGroup};
}

constexpr ControlPort kPorts[] = {
    {kParamBandCount, kScalar, PortRole::Setting, 1.0f, float(kMaxBands), PortStyle::Integer,
     PortUnit::None, nullptr, "Bands"},
    bandGain(0, "band_gain_1", "Band 1 gain"),
    bandGain(1, "band_gain_2", "Band 2 gain"),
    bandGain(2, "band_gain_3", "Band 3 gain"),
    bandGain(3, "band_gain_4", "Band 4 gain"),
    bandGain(4, "band_gain_5", "Band 5 gain"),
    border(1, "border_2", "Band 2 lower edge"),
    border(2, "border_3", "Band 3 lower edge"),
    border(3, "border_4", "Band 4 lower edge"),
    border(4, "border_5", "Band 5 lower edge"),
    {kParamOutputDb, kScalar, PortRole::Setting, -kGainRangeDb, kGainRangeDb,
     PortStyle::Continuous, PortUnit::Decibels, nullptr, "Output gain"},
    {kParamSoftClip, kScalar, PortRole::Setting, 0.0f, 1.0f, PortStyle::Toggle, PortUnit::None,
     nullptr, "Soft clipper"},
    {kParamCompType, kScalar, PortRole::Setting, 0.0f, 1.0f, PortStyle::Integer, PortUnit::None,
     nullptr, "One stage per band"},
    {kParamActiveBand, kScalar, PortRole::Setting, 0.0f, float(kMaxBands - 1), PortStyle::Integer,
     PortUnit::None, nullptr, "Active band"},
    {kParamSolo, kScalar, PortRole::Setting, 0.0f, 1.0f, PortStyle::Toggle, PortUnit::None,
     nullptr, "Solo active band"},
    {kParamBandMeter, kScalar, PortRole::Meter, -1.0f, 1.0f, PortStyle::Continuous,
     PortUnit::None, "band_meter", "Active band level"},
};

} // namespace

const Description& thisDescription() {
    static const Description description{"urn:tarvelle:lv2:compressor", "compressor",
                                         "lv2:CompressorPlugin", createCompressorParameters,
                                         createCompressorPlugin, kPorts, false};
    return description;
}

} // namespace orq::lv2
