// The band split with per-band gain and dynamics between splitting and summing.
#pragma once

#include "compressor/band_dynamics.h"
#include "compressor/band_splitter.h"

#include <array>
#include <cstdint>
#include <memory>
#include <vector>

namespace orq::compressor {

class MultibandCompressor : public BandSplitter {
  public:
    // [ui-thread] allocates.
    MultibandCompressor(int32_t sampleRate, int32_t channels, int32_t blockSize, int32_t bandCount,
                        int32_t orderLimit);
    ~MultibandCompressor() override;

    // [ui-thread] no allocation. Out-of-range bands are ignored.
    void setBandGainDb(int32_t band, float gainDb);
    void loadTable(int32_t band, const GainTable& table);
    // Every band: one stage (true) or two; reloads each band's table for the new split.
    void setSingleStage(bool single);
    // Attack and release per stage for every band, and stage 1's mix.
    void setTimeConstants(float attackMs, float releaseMs, float mix, float attack2Ms,
                          float release2Ms);
    // Skips the band split's subtraction, band gains and gain stages; only the delays remain,
    // so the output is the input delayed bit for bit.
    void setBypassWithDelay(bool on);
    // [audio-thread] splitter reset and every stage reset.
    void reset();

    // Frames of delay of the splitter plus the band dynamics.
    int32_t latency() const;
    BandDynamics& band(int32_t index) { return *bands_[index]; }
    const BandDynamics& band(int32_t index) const { return *bands_[index]; }
    float preGain(int32_t band) const { return preGain_[band]; }

  protected:
    void processBands(float* const* const* bandBlocks, int32_t frames) override;

  private:
    std::vector<std::unique_ptr<BandDynamics>> bands_;
    std::array<float, kMaxBands> preGain_{};
    std::array<float, kMaxBands> postGain_{};
    std::array<float, kMaxBands> attackMs_{};
    std::array<float, kMaxBands> releaseMs_{};
    std::array<float, kMaxBands> attack2Ms_{};
    std::array<float, kMaxBands> release2Ms_{};
    bool bypassWithDelay_ = false;
};

// Band gain in dB to a linear factor, e^(dB × 0.05 × ln 10).
float dbToFactor(float gainDb);

} // namespace orq::compressor
