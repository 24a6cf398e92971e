// Long-term spectrum learning and the live display spectra of the matching filter.
//
// Powers are measured on spectra the convolvers compute anyway. Learned spectra are sums of
// one-sided frame powers per analysis bin, with a frame count per target; a bin that is 0 was
// never learned.
#pragma once

#include <cstdint>
#include <vector>

namespace orq::matching {

// Where each analysis bin comes from. Equal band: bins 0..N/2 of the engine's transform.
// Third octave: the low band's bins 0..lowLastBin, then the high band's bins
// highFirstBin..highLastBin stored from index lowLastBin + 1 on.
struct BinLayout {
    bool thirdOctave = false;
    int32_t lowLastBin = 0;   // k2 (equal band: N/2)
    int32_t highFirstBin = 0; // k0
    int32_t highLastBin = 0;  // 256
    int32_t total = 0;        // analysis bins of the mode
};

constexpr double kCrossoverMeasureHz = 1004.0;
constexpr int32_t kLowBandFftSize = 1024;
constexpr int32_t kHighBandFftSize = 512;

BinLayout equalBandLayout(int32_t fftSize);
BinLayout thirdOctaveLayout(int32_t sampleRateHz, int32_t decimation);

// Where the analysis bins of a mode sit in frequency at one sample rate.
struct BinFrequencies {
    BinLayout layout;
    double lowBinHz = 0.0;  // spacing of analysis bins 0..lowLastBin
    double highBinHz = 0.0; // spacing of the high band's bins (third octave)
};
// Equal band: an equalFftSize-point transform at the rate. Third octave: false at a rate
// without the mode's filter tables.
bool binFrequencies(int32_t sampleRateHz, bool thirdOctave, int32_t equalFftSize,
                    BinFrequencies* out);
// Moves a learned spectrum (sums of frame powers, `from.layout.total` values) onto the analysis
// bins of another rate by frequency: each band (equal band; third octave: low and high band
// apart) is interpolated linearly within itself and holds its edge values beyond its own range;
// a bin next to one never learned stays unlearned (0). Values are scaled by `scale`.
// Writes `to.layout.total` values.
void mapSpectrumByFrequency(const float* in, const BinFrequencies& from, float* out,
                            const BinFrequencies& to, double scale);

enum class LearnTarget : int32_t { Destination = 0, Source = 1 };
enum class Side { Before, After };

// Window a frame's power is measured through. The overlap-save work buffer is an unwindowed
// slice of the signal; its rectangular window leaks a strong bass into every higher bin (side
// lobes falling by only 6 dB per octave), which on music buries the quieter mid and high bins
// under the bass. The Hann window is applied to the spectrum itself, as the three-bin kernel
//     Xw[k] = 0.5·X[k] − 0.25·(X[k−1] + X[k+1]),   X[−1] = X[1]*, X[N/2+1] = X[N/2−1]*,
// so it needs no extra transform; powers are scaled by 8/3 (1 / mean of w²) so that a noise
// keeps its per-sample power.
enum class FrameWindow { Rectangular, Hann };
constexpr double kHannPowerGain = 8.0 / 3.0;

class SpectrumLearner {
  public:
    // [ui-thread] allocates: room for binCapacity bins and up to maxDisplayCount spectra.
    SpectrumLearner(int32_t binCapacity, int32_t maxDisplayCount);

    // [ui-thread] new layout: zeroes spectra, counts and displays.
    void configure(const BinLayout& layout, int32_t displayCount);
    const BinLayout& layout() const { return layout_; }

    // [ui-thread] take effect at the next frame; sums and counts are kept.
    void setLearning(bool on) { learning_ = on; }
    bool learning() const { return learning_; }
    void setTarget(LearnTarget target) { target_ = target; }
    LearnTarget target() const { return target_; }
    void setDisplayOn(bool on) { displayOn_ = on; }
    bool displayOn() const { return displayOn_; }

    // Learned data. Arrays beyond the layout's bins are ignored; negative or non-finite
    // values count as never learned (0).
    const std::vector<double>& spectrum(LearnTarget t) const { return sums_[index(t)]; }
    void setSpectrum(LearnTarget t, const float* values, int32_t count);
    void copySpectrum(LearnTarget t, float* out, int32_t count) const;
    int32_t frames(LearnTarget t) const { return frames_[index(t)]; }
    void setFrames(LearnTarget t, int32_t frames);
    void clear();

    // [audio-thread] moves to the next display slot (1..displayCount, wrapping to 1).
    void advanceDisplay();
    // [audio-thread] measures one frame: the one-sided powers of bins firstBin..firstBin+count-1
    // of an fftSize-point CCS spectrum (N+2 floats; the mean of two channels when specB is
    // given) seen through window, times scale, stored from analysis index dest on. newFrame
    // counts a learned frame before adding.
    void measure(Side side, const float* specA, const float* specB, int32_t fftSize,
                 int32_t firstBin, int32_t count, int32_t dest, double scale, bool newFrame,
                 FrameWindow window = FrameWindow::Rectangular);
    // [audio-thread] third octave: how many high-band frames follow the low-band frames just
    // measured; taking them clears the mark. markHighDue(0) also drops the gathered frames.
    void markHighDue(int32_t frames);
    int32_t takeHighDue();
    // [audio-thread] third octave: the high band runs some 33 transforms per low-band frame. A
    // single one of them is too short a look at music (a hat caught or missed decides the
    // band), so every high-band frame is gathered, and each frame the low band marks as due
    // gets the mean of the frames gathered since the last mark. Arguments as for measure().
    void gatherHigh(const float* specA, const float* specB, int32_t fftSize, int32_t firstBin,
                    int32_t count, double scale, FrameWindow window);
    // [audio-thread] adds `frames` times the gathered mean (as frames of the current low-band
    // count) to the learned sums from index dest on, or shows the mean when not learning; then
    // starts a new gathering.
    void addGatheredHigh(int32_t dest, int32_t frames);

    // [ui-thread] display data: displayCount spectra per side, each layout().total values.
    const float* display(Side side, int32_t slot) const;
    int32_t displayCount() const { return displayCount_; }
    // Spectra measured since the last call (at most displayCount); resets the count.
    int32_t takeNewSpectra();

  private:
    static int32_t index(LearnTarget t) { return t == LearnTarget::Source ? 0 : 1; }
    float* displaySlot(Side side, int32_t slot);

    int32_t binCapacity_;
    int32_t maxDisplayCount_;
    BinLayout layout_;
    bool learning_ = false;
    LearnTarget target_ = LearnTarget::Source;
    bool displayOn_ = true;
    std::vector<double> sums_[2];
    int32_t frames_[2] = {0, 0};
    std::vector<float> displays_; // [side][slot][binCapacity]
    int32_t displayCount_ = 1;
    int32_t displayIndex_ = 1; // 1..displayCount_
    int32_t newSpectra_ = 0;
    int32_t highDue_ = 0;
    std::vector<double> gathered_; // summed high-band powers since the last mark
    int32_t gatheredBins_ = 0;
    int32_t gatheredFrames_ = 0;
};

} // namespace orq::matching
