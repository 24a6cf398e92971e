// The spectrogram analyser's engine: one spectrum analyzer per channel, the channel view,
// the run flag and the collection of spectra by view for the editor.
#pragma once

#include "spectrogram/spectrum_analyzer.h"

#include <cstdint>
#include <memory>

namespace orq::spectrogram {

enum class SpectrogramView : int32_t { Left = 0, Mean = 1, Right = 2 };

class SpectrogramEngine {
  public:
    static constexpr int32_t kMaxChannels = 2;

    // True when the rate has a low-band filter set (the rates the engine can run at).
    static bool supportsRate(int32_t sampleRateHz);

    // [ui-thread] allocates. channels 1 or 2; sampleRateHz must be supported, else
    // std::invalid_argument. Analyzers start in full-band mode with empty rings; the view is
    // the mean for two channels and the left (only) channel for one.
    SpectrogramEngine(int32_t sampleRateHz, int32_t channels);

    // [audio-thread] no allocation. While running, feeds the analyzers the view shows: left
    // view the left analyzer with channel 0, right view the right analyzer with channel 1, the
    // mean view both. An unshown analyzer gets nothing, so its ring never fills unseen.
    void process(const float* const* inputs, int32_t frames);

    // [ui-thread, under the plug-in lock] settings. The mode sets both rings' capacity (40 full
    // band, 10 low band) and empties both input blocks.
    void setLowBand(bool lowBand);
    // Ring capacity of both analyzers, clamped to 1..kRingStorageRows.
    void setCapacity(int32_t rows);
    bool lowBand() const { return analyzers_[0]->lowBand(); }
    // Clamped to 0..2; always 0 for one channel.
    void setView(int32_t view);
    int32_t view() const { return static_cast<int32_t>(view_); }
    // Halting or resuming empties both analyzers' input blocks.
    void setRunning(bool running);
    bool running() const { return running_; }

    int32_t channels() const { return channels_; }
    int32_t sampleRate() const { return sampleRateHz_; }
    int32_t capacity() const { return analyzers_[0]->capacity(); }
    // Overflow flag of the analyzer of the current view (left for views 0 and 1).
    bool overflow() const { return viewAnalyzer().overflow(); }
    // Spectra waiting in the analyzer of the current view.
    int32_t pending() const { return viewAnalyzer().pending(); }

    // [ui-thread, under the plug-in lock] no allocation. Collects the analyzer of the view
    // (for the mean view both, the left's rows replaced by the bin-wise mean of the powers);
    // when the ring had wrapped, row 0 becomes a full-scale marker row. The rows stay valid
    // until the next process call.
    struct Collection {
        const float* rows; // count rows of kSpectrumBins floats
        int32_t count;
    };
    Collection collect();

    const SpectrumAnalyzer& analyzer(int32_t channel) const { return *analyzers_[channel]; }
    // [audio-thread] input state of both analyzers to zero (rings kept).
    void reset();

  private:
    const SpectrumAnalyzer& viewAnalyzer() const;

    int32_t sampleRateHz_;
    int32_t channels_;
    SpectrogramView view_;
    bool running_ = true;
    std::unique_ptr<SpectrumAnalysisSetup> setup_;
    std::unique_ptr<SpectrumAnalyzer> analyzers_[kMaxChannels];
};

} // namespace orq::spectrogram
