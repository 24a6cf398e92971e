// Spectral analysis of one channel: the full-band engine (1024-point frames at the stream
// rate) and the low-band chain (anti-alias FIR, decimator, band-limiting FIR, 1024-point
// frames at about 4 kHz), both producing power spectra of 513 bins into a small ring. The
// per-channel state; the shared design is in spectrum_analysis_design.h.
#pragma once

#include "spectrogram/spectrum_analysis_design.h"

#include <cstddef>
#include <cstdint>
#include <vector>

namespace orq::spectrogram {

// Per-channel state of the overlap-save FIR: y[i] = Σ_t h[t]·x[i − t], t = 0..taps−1.
// Two consecutive segments share one complex transform (the first as real part, the second as
// imaginary part), which the real filter keeps apart. Input is gathered until both segments
// are full, so every transform carries 2·segment new samples whatever the callers' block
// sizes; the filtered stream is the same, it only arrives in pieces of 2·segment.
class OverlapSaveFir {
  public:
    // [ui-thread] allocates.
    explicit OverlapSaveFir(const OverlapSaveCoefficients& coefficients);
    // [audio-thread] no allocation. Takes count samples; writes the filtered samples that
    // became complete (a multiple of pairLength(), at most count + pairLength() − 1) to output
    // and returns their number. input and output must not overlap.
    int32_t process(const float* input, int32_t count, float* output);
    // [audio-thread] history and gathered input dropped.
    void reset();
    int32_t pairLength() const { return 2 * c_.segment; }

  private:
    void filterPair(float* output);

    const OverlapSaveCoefficients& c_;
    std::vector<float> line_; // history followed by the gathered segments
    int32_t pending_ = 0;     // gathered input samples
    std::vector<float> work_; // both segments as one complex sequence, interleaved
};

// Per-channel state of a short time-domain FIR (the 51-tap band limiter):
// y[i] = Σ_t h[t]·x[i − t], blocks of any length, the taps held by the caller.
class DirectFir {
  public:
    // [ui-thread] allocates. taps must outlive the filter.
    DirectFir(const float* taps, int32_t tapCount, int32_t maxBlock);
    // [audio-thread] no allocation. In place allowed.
    void process(const float* input, float* output, int32_t count);
    // [audio-thread] history zeroed.
    void reset();

  private:
    const float* taps_;
    int32_t tapCount_;
    int32_t maxBlock_;
    std::vector<float> line_; // tapCount − 1 history samples, then the block
};

// Keeps every D-th sample; the position of the next kept sample carries across blocks.
class Decimator {
  public:
    explicit Decimator(int32_t factor) : factor_(factor) {}
    // [audio-thread] no allocation. Returns the number of samples written to output.
    int32_t process(const float* input, int32_t count, float* output);
    // [audio-thread]
    void reset() { phase_ = 0; }
    int32_t phase() const { return phase_; }

  private:
    int32_t factor_;
    int32_t phase_ = 0;
};

// Per-channel analysis state: input blocks, filter histories, the ring of spectra.
class SpectrumAnalyzer {
  public:
    // [ui-thread] allocates the channel's state; setup must outlive the analyzer.
    explicit SpectrumAnalyzer(const SpectrumAnalysisSetup& setup);

    // [audio-thread] no allocation. Routes samples into the current mode's block engine.
    void feed(const float* samples, int32_t count);

    // [ui-thread, under the plug-in lock] full band: capacity 40; low band: capacity 10, set
    // on every call, changed mode or not. The ring keeps its rows; spectra beyond the new
    // capacity count as lost. The input blocks are emptied.
    void setLowBand(bool lowBand);
    bool lowBand() const { return lowBand_; }
    // [ui-thread, under the plug-in lock] ring capacity in spectra, clamped to
    // 1..kRingStorageRows; spectra beyond it count as lost.
    void setCapacity(int32_t rows);
    int32_t capacity() const { return capacity_; }

    // Spectra written since the last collection, and whether the ring wrapped meanwhile.
    int32_t pending() const { return pending_; }
    bool overflow() const { return overflow_; }
    // [ui-thread] hands out the ring (row r at rows() + r·kSpectrumBins) and its count;
    // clears the count and the overflow flag.
    struct Collected {
        float* rows;
        int32_t count;
        bool overflow;
    };
    Collected collect();
    const float* row(int32_t r) const {
        return ring_.data() + static_cast<size_t>(r) * kSpectrumBins;
    }

    // [audio-thread] empties the partial input blocks of both modes (filter histories, tails
    // and the decimator phase are kept).
    void clearInput();
    // [audio-thread] input blocks, tails, filter histories and the decimator phase to zero;
    // the ring is kept.
    void resetInput();

    int32_t decimation() const { return setup_.antiAlias.decimation; }

  private:
    void feedFullBand(const float* samples, int32_t count);
    void feedLowBand(const float* samples, int32_t count);
    void analyseFullBandBlock();
    void analyseLowBandBlock();
    // Transforms frame_ (two real frames) and stores both power spectra.
    void transformAndStore();
    float* nextRow();

    const SpectrumAnalysisSetup& setup_;
    bool lowBand_ = false;
    int32_t capacity_ = kFullBandRingRows;
    std::vector<float> ring_;
    int32_t pending_ = 0;
    bool overflow_ = false;

    // Two real frames as one complex sequence: interleaved (a[i], b[i]).
    std::vector<float> frame_;

    // Full band.
    std::vector<float> fullBlock_;
    int32_t fullFill_ = 0;
    std::vector<float> fullTail_;

    // Low band.
    OverlapSaveFir antiAliasFir_;
    Decimator decimator_;
    DirectFir bandLimitFir_;
    std::vector<float> filtered_;  // anti-alias output of one chunk
    std::vector<float> decimated_; // decimator and band-limit output of one chunk
    std::vector<float> lowBlock_;
    int32_t lowFill_ = 0;
    std::vector<float> lowHistory_;
};

} // namespace orq::spectrogram
