// Orq Ombrel as an LV2 plug-in: the audio passes unchanged; the analysis settings are ports and
// the power spectra the analyser measures go out as rows on the "spectra" atom port.
#include "lv2/lv2_description.h"
#include "lv2/lv2_ports.h"

#include "spectrogram/ombrel_parameters.h"
#include "spectrogram/ombrel_plugin.h"

#include <algorithm>
#include <cstring>

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

// The spectra of the last collection: "BSGTrans" rows of "nFFT21" powers in "SG".
int32_t spectrumCount(TableParameterSet& set, int32_t) {
    const int32_t rows = settingValue(set.value(kOmbrelSpectraCount));
    return std::clamp(rows, 0, static_cast<OmbrelParameters&>(set).spectraCapacity());
}

void copySpectrum(TableParameterSet& set, int32_t index, int32_t row, float* to) {
    const auto* rows = static_cast<const float*>(set.arrayData(index));
    std::memcpy(to, rows + size_t(row) * kSpectrumBins, sizeof(float) * kSpectrumBins);
}

// The full band gives two spectra per 1024 frames, the low band far fewer.
constexpr int32_t kSpectraPerPiece = 2 * kBlockFramesMax / kSpectrumFftLength;

constexpr RowPort kRows{"spectra",     "Power spectra", kOmbrelSpectra, kSpectrumBins,
                        kSpectraPerPiece, spectrumCount, copySpectrum};

} // namespace

const Description& thisDescription() {
    static const Description description{"urn:tarvelle:lv2:ombrel", "ombrel",
                                         "lv2:AnalyserPlugin", createOmbrelParameters,
                                         createOmbrelPlugin, kPorts, false, false, true, &kRows};
    return description;
}

} // namespace orq::lv2
