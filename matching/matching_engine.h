// The matching filter's processing object: a 257-tap linear-phase filter by overlap-save
// convolution, either at the stream's rate (equal band) or split at about 1 kHz into a
// decimated low band and a full-rate high band (third octave), with spectrum learning on the
// convolvers' own spectra and the matching-curve design.
#pragma once

#include "dsp/delay_line.h"
#include "matching/block_convolver.h"
#include "matching/curve_design.h"
#include "matching/rate_filters.h"
#include "matching/spectrum_learner.h"

#include <array>
#include <cstdint>
#include <memory>
#include <vector>

struct NSPFirState;

namespace orq::matching {

// Limits of the engine's settings and of the spectra it keeps.
constexpr int32_t kDefaultBinCount = 513; // bins of the default equal-band transform
constexpr int32_t kMaxLearnedBins = kDefaultBinCount;
constexpr int32_t kMaxDisplayCount = 8;
constexpr float kMorphMax = 2.0f;
constexpr float kSliderMinDb = -15.0f;
constexpr float kSliderMaxDb = 15.0f;

class MatchEngine {
  public:
    // [ui-thread] allocates; throws std::bad_alloc or std::invalid_argument (channels not 1 or
    // 2, sample rate not positive). binCount: bins of the equal-band transform (Ne/2+1; values
    // that do not give Ne = 512 or 1024 fall back to 513). Starts flat in equal-band mode.
    MatchEngine(int32_t sampleRateHz, int32_t channels, int32_t binCount = 513,
                int32_t displayCount = 3);
    ~MatchEngine();
    MatchEngine(const MatchEngine&) = delete;
    MatchEngine& operator=(const MatchEngine&) = delete;

    // [audio-thread] no allocation. Any count; out is the filtered input delayed by latency().
    // in and out may be the same arrays.
    void process(const float* const* in, float* const* out, int32_t frames);
    // [audio-thread] histories, accumulators, delay lines and decimation phase to silence.
    void reset();
    int32_t latency() const { return latency_; }

    // [ui-thread] allocates: rebuilds the other mode's structure (learned data zeroed) when the
    // mode really changes. Third octave exists for the rates of the per-rate table only; at
    // other rates the engine stays in equal-band mode. Returns the mode in force.
    bool setThirdOctave(bool on);
    bool thirdOctave() const { return third_ != nullptr; }
    static bool supportsThirdOctave(int32_t sampleRateHz);
    // The latency an engine of this format reports in the given mode (equal band when third
    // octave is not supported at this rate).
    static int32_t latencyFor(int32_t sampleRateHz, int32_t channels, int32_t binCount,
                              bool thirdOctave);

    // [ui-thread] no allocation. Each redesigns the filter. Gains clamp to the slider range.
    void setSliders(const float* gainsDb, int32_t count);      // used while match is off
    void setMatchSliders(const float* gainsDb, int32_t count); // used while match is on
    void setMatch(bool on);
    void setMorph(float amount);
    // Learned spectra (sums of frame powers in the current bin layout) and frame counts.
    void setLearnedSpectrum(LearnTarget target, const float* values, int32_t count);
    void setLearnedFrames(LearnTarget target, int32_t frames);
    // [ui-thread] no redesign.
    void setDisplayOn(bool on);
    void setLearning(bool on) { learner_.setLearning(on); }
    void setLearnTarget(LearnTarget target) { learner_.setTarget(target); }
    // Pure delay of 128 taps (on) or the designed filter (off); the latency does not change.
    void setFlat(bool on);
    bool flat() const { return flat_; }

    // [ui-thread] published state.
    SpectrumLearner& learner() { return learner_; }
    const SpectrumLearner& learner() const { return learner_; }
    int32_t learnedBins() const { return learner_.layout().total; }
    // |H|^2 of the designed filter per analysis bin (learnedBins() values).
    const std::vector<float>& curveDisplay() const { return curveDisplay_; }
    int32_t sampleRate() const { return sampleRateHz_; }
    int32_t channels() const { return channels_; }
    int32_t equalBandFftSize() const { return equalFftSize_; }
    float morph() const { return morph_; }
    bool match() const { return match_; }
    // Taps of the filter designed last (equal band: Ne values; third octave: the low filter's
    // 1024 then the high filter's 512). For inspection.
    const std::vector<float>& designedTaps() const { return designedTaps_; }

  private:
    struct ThirdOctavePath;

    void buildEqualBand();
    void buildThirdOctave();
    void design();
    void applyFlat();
    double matchDb(int32_t index) const;
    void processThirdOctaveBlock();

    int32_t sampleRateHz_;
    int32_t channels_;
    int32_t equalFftSize_;
    int32_t displayCount_;
    int32_t latency_ = 0;

    std::array<float, kBandCount> sliders_{};
    std::array<float, kBandCount> matchSliders_{};
    bool match_ = false;
    float morph_ = 1.0f;
    bool flat_ = false;

    SpectrumLearner learner_;
    std::vector<float> curveDisplay_;
    std::vector<float> designedTaps_;
    std::vector<double> curveDb_;
    std::vector<float> re_;
    std::vector<float> im_;

    // Equal band.
    std::unique_ptr<EqualBandConvolver> equal_;
    std::unique_ptr<FirDesigner> equalDesigner_;
    // Third octave.
    std::unique_ptr<ThirdOctavePath> third_;
};

} // namespace orq::matching
