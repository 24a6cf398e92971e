// The complementary band split: each crossover takes a zero-phase low part out of the
// remainder and leaves the exact difference as the upper part, so that with unity band
// processing the bands add up to the input delayed by a whole number of frames.
#pragma once

#include "compressor/crossover_filter.h"
#include "dsp/delay_line.h"
#include "runtime/block_processor.h"

#include <array>
#include <cstdint>
#include <memory>
#include <vector>

namespace orq::compressor {

constexpr int32_t kMaxBands = 5;
constexpr int32_t kSplitterBlockFrames = 1024;
// Lowest band's lower edge and the top of the default logarithmic spacing.
constexpr double kLowestEdgeHz = 20.0;
constexpr double kEdgeSpanFraction = 0.025; // of the sample rate: 20 Hz × this span = Nyquist

class BandSplitter : public BlockProcessor {
  public:
    // [ui-thread] allocates. bandCount is kept inside 1 … kMaxBands.
    BandSplitter(int32_t sampleRate, int32_t channels, int32_t blockSize, int32_t bandCount,
                 int32_t orderLimit);
    ~BandSplitter() override;

    // [ui-thread] no allocation. Border i (1 ≤ i < bandCount) = band i's lower edge and band
    // i - 1's upper edge; re-designs crossover i - 1 for its integer part. Other indices and
    // non-finite values are ignored.
    void setBorder(double borderHz, int32_t index);
    // Band i's lower edge; for i = bandCount, the top band's upper edge.
    double bandLowerEdge(int32_t index) const;
    // [ui-thread] solo is active when 0 ≤ index < bandCount.
    void setSolo(int32_t index);
    // [ui-thread] no allocation. On: the crossovers keep running, but every band below the top
    // one is silent and the top band is the input delayed like the bands, so the sum is the
    // input delayed bit for bit; solo is ignored meanwhile.
    void setPassThrough(bool on) { passThrough_ = on; }
    bool passThrough() const { return passThrough_; }
    // Frames of delay: the re-blocking plus one crossover tail per crossover.
    int32_t latency() const;
    // [audio-thread] zeroes blocks, crossovers, delay lines and band blocks.
    void reset();

    int32_t bandCount() const { return bandCount_; }
    int32_t channels() const { return channels_; }
    int32_t sampleRate() const { return sampleRate_; }
    int32_t soloBand() const { return soloBand_; }
    bool soloActive() const { return soloActive_; }
    const CrossoverFilter& crossover(int32_t index) const { return *crossovers_[index]; }

  protected:
    // [audio-thread] no allocation. Called once per block between splitting and summing with
    // bandCount entries, each an array of per-channel blocks.
    virtual void processBands(float* const* const* bandBlocks, int32_t frames);
    void processBlock(float* const* inputBlocks, float* const* outputBlocks) override;

  private:
    struct Edges {
        double spare = 0.0;
        double lowerHz = 0.0;
        double upperHz = 0.0;
    };

    int32_t sampleRate_;
    int32_t channels_;
    int32_t bandCount_;
    int32_t orderLimit_;
    std::array<Edges, kMaxBands> bandEdges_{};
    std::vector<float> bandStorage_;                    // bandCount × channels × block
    std::vector<std::vector<float*>> bandChannels_;     // per band, per channel
    std::array<float* const*, kMaxBands> bandBlocks_{}; // per band: its channel array
    std::vector<std::unique_ptr<CrossoverFilter>> crossovers_;
    std::vector<std::unique_ptr<dsp::DelayLine>> remainderDelays_;
    std::vector<std::unique_ptr<dsp::DelayLine>> alignDelays_;
    int32_t soloBand_ = -1;
    bool soloActive_ = false;
    bool passThrough_ = false;
};

} // namespace orq::compressor
