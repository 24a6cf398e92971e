// Collects the spectrogram's spectra as its editor does on its timer, for a host without a
// window: the caller feeds about 55 ms of audio, then collects. Everything travels through the
// plug-in's record and a parameter set of its library, found by key name.
#pragma once

#include "runtime/audio_plugin.h"

#include <cstdint>
#include <vector>

namespace orq::host {

// The display's level scale: 10·log10(k·P) dB with k = 2, so a full-scale sine at a bin
// centre reads 0 dB in full-band mode; powers not above 0 and levels below the floor read the
// floor.
constexpr float kSpectrumDisplayCalibration = 2.0f;
constexpr float kSpectrumDisplayFloorDb = -100.0f;
float spectrumLevelDb(float power);

// What a host knows of the analysis to put the spectra on time and frequency axes: the
// full-band frames hop by half a transform; the low band analyses windows of 769 frames of the
// input decimated to about 4 kHz (every rate/4000-th sample) and shows the lowest quarter of
// its transform.
constexpr int32_t kLowBandWindowFrames = 769;
constexpr int32_t kLowBandRateHz = 4000;

struct SpectrogramCollection {
    int32_t rows = 0;                // spectra in this collection
    int32_t bins = 0;                // bins per row as shown (513 full band, 257 low band)
    std::vector<double> timeSeconds; // per row: the spectrum's start (see collect)
    std::vector<float> levelsDb;     // rows × bins
};

class SpectrogramCollector {
  public:
    // The editor's timer period, and the frames of audio to feed between collections.
    static constexpr int32_t kPeriodMs = 55;
    static int32_t framesPerCollection(int32_t sampleRateHz) {
        return static_cast<int32_t>(int64_t{sampleRateHz} * kPeriodMs / 1000);
    }

    // Allocates. record is an opened spectrogram's record; store a parameter set of the same
    // library. Reads the analysis mode and the spectrum size from the plug-in once, as the
    // editor does when it opens. Throws when the set lacks a key the exchange needs.
    SpectrogramCollector(PluginRecord* record, ParameterInterface* store);

    // Asks the plug-in for its spectra (the dispatcher takes the plug-in's lock for the
    // exchange) and converts them to display levels. Row times count delivered spectra from
    // the start at the analysis hop; a ring overflow breaks that count.
    const SpectrogramCollection& collect();

    bool lowBand() const { return lowBand_; }
    int32_t binsShown() const;
    // Width of one bin in Hz at the analysis rate.
    double binHz() const;
    // Seconds of audio between consecutive spectra.
    double hopSeconds() const;

  private:
    PluginRecord* record_;
    ParameterInterface* store_;
    int32_t spectraIndex_ = -1;
    int32_t countIndex_ = -1;
    int32_t sampleRate_ = 0;
    int32_t bins_ = 0;       // per spectrum as the plug-in stores them
    int32_t fftLength_ = 0;  // 2 × (bins − 1)
    int32_t decimation_ = 1; // low band
    bool lowBand_ = false;
    int64_t spectraSeen_ = 0;
    std::vector<float> powers_;
    SpectrogramCollection result_;
};

} // namespace orq::host
