// Collects the spectrogram's spectra as its editor does on its timer, for hosts without a
// window (the command-line host): the caller feeds about 55 ms of audio, then collects.
#pragma once

#include "runtime/audio_plugin.h"
#include "spectrogram/spectrum_analyzer.h"

#include <cstdint>
#include <vector>

namespace orq {

using namespace spectrogram; // the analyser's spectra and parameter indices

// The display's calibration factor k: levels are 10·log10(k·P) dB. With the interior-bin
// scale P[k] is a sine's mean power A²/2, so k = 2 puts a full-scale sine at 0 dB in full-band
// mode (about −2 dB in low-band mode, whose shorter window has the lower gain).
constexpr float kDisplayCalibration = 2.0f;
constexpr float kDisplayFloorDb = -100.0f;

// Level in dB as the display shows a power value; powers not above 0 and levels below the
// floor read the floor.
float displayLevelDb(float power);

struct SpectrogramCollection {
    int32_t rows = 0;                // spectra in this collection
    int32_t bins = 0;                // bins per row as shown (513 full band, 257 low band)
    std::vector<double> timeSeconds; // per row: centre of the analysed frame (see collect)
    std::vector<float> levelsDb;     // rows × bins
};

class SpectrogramCollector {
  public:
    // The editor's timer period, and the frames of audio to feed between collections.
    static constexpr int32_t kPeriodMs = 55;
    static int32_t framesPerCollection(int32_t sampleRateHz) {
        return static_cast<int32_t>(int64_t{sampleRateHz} * kPeriodMs / 1000);
    }

    // [ui-thread] allocates. record is an opened Ombrel's record (of this or another library);
    // store is an Ombrel parameter set (createOmbrelParameters()). Reads the analysis mode from
    // the plug-in once, as the editor does when it opens.
    SpectrogramCollector(PluginRecord* record, ParameterInterface* store);

    // [ui-thread] Asks the plug-in for its spectra (taking the plug-in's lock around the
    // exchange) and converts them to display levels. Row times count delivered spectra from
    // the start at the analysis hop; a ring overflow (marker row) breaks that count.
    const SpectrogramCollection& collect();

    bool lowBand() const { return lowBand_; }
    int32_t binsShown() const { return lowBand_ ? kLowBandShownBins : kSpectrumBins; }
    // Width of one bin in Hz at the analysis rate.
    double binHz() const;
    // Seconds of audio between consecutive spectra.
    double hopSeconds() const;
    int32_t sampleRate() const;

  private:
    PluginRecord* record_;
    ParameterInterface* store_;
    bool lowBand_ = false;
    int32_t decimation_ = 1;
    int64_t spectraSeen_ = 0;
    std::vector<float> powers_;
    SpectrogramCollection result_;
};

} // namespace orq
