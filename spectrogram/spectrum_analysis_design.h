// What the spectral analysis of every channel shares: sizes and scales, the windows, the
// anti-alias set of the rate and the overlap-save filter coefficients, all made once per stream.
#pragma once

#include "dsp/fft_plan.h"
#include "spectrogram/lowband_filter_tables.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

namespace orq::spectrogram {

constexpr int32_t kSpectrumFftLength = 1024;
constexpr int32_t kSpectrumBins = kSpectrumFftLength / 2 + 1; // 513
constexpr int32_t kFullBandHop = kSpectrumFftLength / 2;      // two frames per block
constexpr int32_t kFullBandRingRows = 40;
constexpr int32_t kLowBandRingRows = 10;
constexpr int32_t kRingStorageRows = kFullBandRingRows; // always allocated
constexpr int32_t kLowBandWindowLength = 769;
constexpr int32_t kLowBandHistory = kSpectrumFftLength - kLowBandWindowLength; // 255
constexpr int32_t kLowBandBlock = 2 * kLowBandWindowLength;                    // 1538
// Bins the low-band view shows: the lowest quarter of the transform and one more (257 of 513),
// up to about 1 kHz.
constexpr int32_t kLowBandShownBins = kSpectrumFftLength / 4 + 1;

// Interior-bin scale c: P[k] = 2·c·|X[k]|² for k = 1..511. With the Blackman window's
// coherent gain of 0.42 a sine of amplitude A at a bin centre gives |X| = 0.21·A, so this c
// makes P[k] the sine's mean power A²/2 in full-band mode.
constexpr double kFullBandCoherentGain = 0.42;
constexpr float kInteriorBinScale =
    static_cast<float>(1.0 / (4.0 * (kFullBandCoherentGain / 2.0) * (kFullBandCoherentGain / 2.0)));

// The set of the anti-alias table for a rate, or null when the rate has none.
const AntiAliasSet* antiAliasSetForRate(int32_t sampleRateHz);

// Blackman window scaled by 1/N, N = 1024 (full band). [ui-thread] allocates.
std::vector<float> fullBandWindow();
// Three-term Blackman-Harris window of 769 points scaled by 1/1024 (low band).
std::vector<float> lowBandWindow();

// Coefficients of a linear-phase FIR applied by overlap-save fast convolution with the
// transform's length: the taps' spectrum, interleaved (re, im) in natural order and scaled by
// 1/N so the unscaled inverse gives the filtered signal. Shared by every channel.
struct OverlapSaveCoefficients {
    // [ui-thread] allocates. tapCount 1..N/2, else std::invalid_argument.
    OverlapSaveCoefficients(const float* taps, int32_t tapCount, const dsp::ComplexFftPlan& fft);

    const dsp::ComplexFftPlan& fft;
    int32_t length;        // N
    int32_t historyLength; // taps − 1
    int32_t segment;       // new samples per transform half: N − (taps − 1)
    std::vector<float> spectrum;
};

// What every analyzer of one stream shares: the transform, both windows and the low-band
// filter coefficients for the stream's rate.
struct SpectrumAnalysisSetup {
    // [ui-thread] allocates. The rate must have an anti-alias set (antiAliasSetForRate), else
    // std::invalid_argument.
    explicit SpectrumAnalysisSetup(int32_t sampleRateHz);

    int32_t sampleRateHz;
    const AntiAliasSet& antiAlias;
    // The transform of the analysis and of the low band's overlap-save filter: N complex
    // points, interleaved (re, im), natural-order output. Never null (std::bad_alloc
    // otherwise).
    std::unique_ptr<dsp::ComplexFftPlan> fft;
    std::vector<float> fullWindow;
    std::vector<float> lowWindow;
    OverlapSaveCoefficients antiAliasCoefficients;
};

} // namespace orq::spectrogram
