// Overlap-save FFT convolution of K channels with one FIR filter, two real signals per
// transform (two channels, or two consecutive blocks of a single channel).
#pragma once

#include "matching/spectrum_learner.h"

#include <cstdint>
#include <memory>
#include <vector>

namespace orq::matching {

class OwnRealFft;

// Tap value of the pure delay that stands in for a flat filter.
constexpr float kPureDelayTap = 0.9999989867f;

// Transform size N, FIR length L: history H = L−1, new samples per transform M = N−H.
// A frame is M samples per channel for an even channel count, 2M for a single channel.
//
// Per transform slot the work buffer holds N+2 floats: the time signal (H history samples, then
// the M new ones), replaced in place by its CCS spectrum X. The filter is applied as
//     Y[k] = X[k] · F[k]   for k = 0..N/2 (complex, double precision),
// and after the inverse transform samples H..N−1 of each slot are the output:
//     y[n] = Σ_{j=0}^{L−1} f[j]·x[n−j].
class BlockConvolver {
  public:
    // [ui-thread] allocates. channels: 1 or even. taps: up to firLength values, or null for a
    // pure delay of floor(L/2).
    BlockConvolver(int32_t channels, int32_t fftSize, int32_t firLength,
                   const float* taps = nullptr, int32_t tapCount = 0);
    virtual ~BlockConvolver();
    BlockConvolver(const BlockConvolver&) = delete;
    BlockConvolver& operator=(const BlockConvolver&) = delete;

    // [audio-thread] no allocation. Any number of samples; each output sample is the filtered
    // input latency() samples earlier. in and out may be the same arrays.
    virtual void process(const float* const* in, float* const* out, int32_t frames);
    // [audio-thread] no allocation. Exactly frameSize() samples per channel in and out, with no
    // accumulation delay (only the filter's own).
    virtual void processFrame(const float* const* in, float* const* out);
    // Accumulation (one frame) plus the filter's group delay H/2.
    virtual int32_t latency() const;
    virtual int32_t frameSize() const { return frameSize_; }
    // (1/N)^2: turns |X|^2 of one transform into a per-sample power.
    virtual float powerScale() const;
    // [ui-thread] no allocation. N/2+1 real values, zero phase.
    virtual void setFilterMagnitude(const float* magnitude);
    // [ui-thread] no allocation. N/2+1 real and N/2+1 imaginary parts.
    virtual void setFilter(const float* re, const float* im);
    // [audio-thread] histories, accumulators and work buffers cleared.
    virtual void reset();
    // [ui-thread] on: the filter becomes the pure delay; off: the designed spectrum returns.
    virtual void setFlat(bool on) { flat_ = on; }
    bool flat() const { return flat_; }

    // [ui-thread] no allocation. Filter spectrum of taps zero-padded to N, as two arrays.
    void tapsToArrays(const float* taps, int32_t count, float* re, float* im);
    // [ui-thread] no allocation. Installs the spectrum of these taps as the designed filter.
    void setFilterTaps(const float* taps, int32_t count);

    int32_t channels() const { return channels_; }
    int32_t fftSize() const { return fftSize_; }
    int32_t bins() const { return fftSize_ / 2 + 1; }
    int32_t history() const { return history_; }
    int32_t blockSize() const { return blockSize_; }

  protected:
    // [audio-thread] all slots hold CCS spectra; the base multiplies each by the filter.
    virtual void spectralHook(float* const* slots);
    void multiplyByFilter(float* const* slots);
    int32_t slotCount() const { return slotCount_; }

  private:
    void loadFrame(const float* const* in);
    void storeFrame(float* const* out);

    int32_t channels_;
    int32_t fftSize_;
    int32_t order_;
    int32_t firLength_;
    int32_t history_;
    int32_t blockSize_;
    int32_t frameSize_;
    int32_t slotCount_;
    bool flat_ = false;

    std::vector<float> slotStorage_;
    std::vector<float*> slots_;
    std::vector<float> historyStorage_; // channels × H
    std::vector<double> designed_;      // N/2+1 real parts, then N/2+1 imaginary parts
    std::vector<double> pureDelay_;     // the same for the pure delay
    std::vector<float> accIn_;          // channels × frame
    std::vector<float> accOut_;
    std::vector<float*> accInPtr_;
    std::vector<float*> accOutPtr_;
    int32_t fill_ = 0;
    std::unique_ptr<OwnRealFft> fft_;
    std::vector<float> scratch_; // N floats for tap transforms
    std::vector<float> tapRe_;   // N/2+1 each
    std::vector<float> tapIm_;
};

// Analysis bins of one convolver for the learner: its bins firstBin..firstBin+count−1, seen
// through window, go to analysis index dest on, each power times scale.
struct AnalysisBand {
    int32_t firstBin = 0;
    int32_t count = 0;
    int32_t dest = 0;
    double scale = 1.0;
    FrameWindow window = FrameWindow::Hann;
};

// Equal-band mode: measures every frame's input and output around the multiply.
class EqualBandConvolver : public BlockConvolver {
  public:
    EqualBandConvolver(int32_t channels, int32_t fftSize, SpectrumLearner& learner);

  protected:
    void spectralHook(float* const* slots) override;

  private:
    SpectrumLearner& learner_;
    AnalysisBand band_;
};

// Third-octave low band (low rate): measures while the display runs and marks the high band's
// next frames as due.
class LowBandConvolver : public BlockConvolver {
  public:
    LowBandConvolver(int32_t channels, SpectrumLearner& learner, const BinLayout& layout,
                     double levelFactor);

  protected:
    void spectralHook(float* const* slots) override;

  private:
    SpectrumLearner& learner_;
    AnalysisBand band_;
};

// Third-octave high band (full rate): gathers every frame's input powers and hands their mean to
// the frames the low band marked as due.
class HighBandConvolver : public BlockConvolver {
  public:
    HighBandConvolver(int32_t channels, SpectrumLearner& learner, const BinLayout& layout);

  protected:
    void spectralHook(float* const* slots) override;

  private:
    SpectrumLearner& learner_;
    AnalysisBand band_;
};

} // namespace orq::matching
