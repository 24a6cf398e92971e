// One band's dynamics: two gain stages and the band's gain table. With one stage the table
// drives stage 1 alone; with two, each stage takes the square root so that together they
// apply the full gain.
#pragma once

#include "compressor/gain_curve.h"
#include "compressor/gain_stage.h"

#include <cstdint>

namespace orq::compressor {

// Stage settings a band starts with (before the compressor applies its time constants).
constexpr float kStage1InitialAttackMs = 10.0f;
constexpr float kStage1InitialReleaseMs = 1500.0f;
constexpr int32_t kStage1HoldSamples = 60;
constexpr float kStage1InitialMix = 0.8f;
constexpr float kStage2InitialAttackMs = 2.0f;
constexpr float kStage2InitialReleaseMs = 25.0f;
constexpr int32_t kStage2HoldSamples = 30;
constexpr float kStage2InitialMix = 0.0f;

class BandDynamics {
  public:
    // [ui-thread] allocates.
    BandDynamics(int32_t channels, float sampleRate);

    // [ui-thread] no allocation. Keeps the table (entry 0 replaced by entry 1, whose level is
    // the lowest one a band can measure) and loads it into the stages.
    void loadTable(const GainTable& table);
    // [ui-thread] no allocation. Loads the kept table again (after a stage-count change).
    void reloadTable();
    void setSingleStage(bool single) { singleStage_ = single; }
    void setPassThrough(bool on);
    // [audio-thread] no allocation. In place.
    void process(float* const* channels, int32_t frames);
    // [audio-thread]
    void reset();

    bool singleStage() const { return singleStage_; }
    // Frames of delay for the current stage count.
    int32_t latency() const;
    GainStage& stage1() { return stage1_; }
    GainStage& stage2() { return stage2_; }
    const GainStage& stage1() const { return stage1_; }
    const GainStage& stage2() const { return stage2_; }
    const GainTable& table() const { return table_; }

  private:
    GainStage stage1_;
    GainStage stage2_;
    GainTable table_;
    bool singleStage_ = true;
};

} // namespace orq::compressor
