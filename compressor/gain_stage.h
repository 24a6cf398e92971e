// One look-ahead gain stage: a smoothed peak-power level, looked up in a gain table every
// holdSamples frames, smoothed by attack and release and applied to the input delayed by
// about 2.1 ms. All channels share one gain.
#pragma once

#include "compressor/gain_curve.h"

#include <cstdint>
#include <vector>

namespace orq::compressor {

constexpr double kLookAheadSeconds = 0.0021;
constexpr double kPowerSmoothingMs = 0.8;
constexpr double kMinTimeMs = 0.01;
constexpr float kPowerFloor = 1e-6f;

class GainStage {
  public:
    // [ui-thread] allocates the look-ahead delay.
    GainStage(int32_t channels, float sampleRate, float attackMs, float releaseMs,
              int32_t holdSamples, float mix);

    // [ui-thread] no allocation.
    void setTimes(float attackMs, float releaseMs);
    void setMix(float mix) { mix_ = mix; }
    void setHoldSamples(int32_t holdSamples);
    void setTable(const GainTable& table) { table_ = table; }
    void setPassThrough(bool on) { passThrough_ = on; }
    // [audio-thread] no allocation. Processes frames of every channel in place.
    void process(float* const* channels, int32_t frames);
    // [audio-thread] back to the start state: unity gain, floors, empty delay.
    void reset();

    // Frames of delay this stage adds.
    int32_t latency() const { return delayLength_ - 1; }
    int32_t delayLength() const { return delayLength_; }
    float outputLevel() const { return outputLevel_; }
    double gain() const { return gain_; }
    double targetGain() const { return targetGain_; }
    double level() const { return level_; }
    const GainTable& table() const { return table_; }
    float attackCoef() const { return attackCoef_; }
    float releaseCoef() const { return releaseCoef_; }

  private:
    // Frames the processing takes at a time (the gains of a chunk live on the stack).
    static constexpr int32_t kChunkFrames = 256;

    // Target gain for a level: the last entry above full scale, otherwise interpolation
    // around the nearest of 255 steps.
    double lookUp(double level) const;

    int32_t channels_;
    float sampleRate_;
    float attackCoef_ = 0.0f;
    float releaseCoef_ = 0.0f;
    float powerCoef_;
    float mix_;
    int32_t holdSamples_;
    GainTable table_;
    float smoothedPower_ = kPowerFloor;
    float heldPower_ = kPowerFloor;
    float counter_ = 0.0f;
    double level_ = 0.0;
    float outputLevel_ = 0.0f;
    double targetGain_ = 1.0;
    double gain_ = 1.0;
    int32_t delayLength_;
    std::vector<float> delay_; // per channel delayLength_ samples
    int32_t writeIndex_ = 0;
    int32_t releaseWait_ = 0;
    bool passThrough_ = false;
};

} // namespace orq::compressor
