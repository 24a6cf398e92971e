// The maximizer's look-ahead peak limiter. It sees the signal one look-ahead (L frames) before
// it is applied: a peak above the ceiling starts an attack that lowers the gain linearly over
// L − 1 frames to ceiling / peak, so the gain is there when the peak arrives; a hold of 2L
// frames follows, then a release whose step tracks a target taken from the overload density
// (how often peaks reached the ceiling lately: dense overloads release slowly). The release
// remembers, per 0.05 of gain, the slowest step used in the last half second and starts no
// faster than that. Its per-channel state is the second look-ahead ring.
#pragma once

#include "maximizer/delay_rings.h"
#include "maximizer/maximizer_math.h"
#include "maximizer/maximizer_tables.h"

#include <algorithm>
#include <array>
#include <cstdint>

namespace orq::maximizer {

class PeakLimiter {
  public:
    static constexpr float kGainMax = 0.9999f;
    // A peak that reaches the hold ceiling holds the gain only while the gain is below this.
    static constexpr float kHoldGainLimit = 0.95f;
    // Above this rate overloads push the density towards kHighRateDensityTarget only.
    static constexpr int32_t kHighRateHz = 48000;
    static constexpr float kHighRateDensityTarget = 0.9f;

    // [ui-thread] allocates. Sets the time constants for the rate and the look-ahead, the
    // release steps from tables, one ring per channel; resets.
    void open(int32_t sampleRateHz, float samplesPerMs, int32_t lookAheadFrames, int32_t channels,
              const MaximizerTables& tables);
    // [ui-thread] frees the rings.
    void close() { rings_.release(); }
    // [any-thread] no allocation. Gain 1.0, every phase off, memory cleared, rings zeroed.
    void reset();

    // [any-thread] no allocation; take effect at the next frame. ceiling: the peak (after the
    // pre-scale) the gain brings the signal down to; holdCeiling: the lower one that holds it.
    void setCeilings(float ceiling, float holdCeiling) {
        ceiling_ = ceiling;
        holdCeiling_ = holdCeiling;
    }

    // Per frame unless bypassed, with the largest magnitude over the channels one look-ahead
    // before they reach the output: overload density, hold and attack planning.
    [[gnu::always_inline]] void detect(float peak);
    // Per frame unless bypassed, for the frame leaving the second ring: release, attack,
    // limits and the ends of the phases.
    [[gnu::always_inline]] void stepGain();
    // Sets decaying values that became tiny to 0 (the engine calls it every slow detector
    // block, whether bypassed or not).
    void flushTinyState() {
        if (overDensity_ < kSubnormalGuard) overDensity_ = 0.0f;
        if (std::fabs(relStepWork_) < kSubnormalGuard) relStepWork_ = 0.0f;
    }
    // Frames from now on that detect and stepGain would only count, with every peak below the
    // ceiling: idle at kGainMax or below and no density update due. 0 when not idle.
    int32_t quietFrames() const {
        return phases_ == 0 && gain_ <= kGainMax ? std::max(lookAhead_ + 1 - densityCount_, 0) : 0;
    }
    // detect and stepGain for n quiet frames (at most quietFrames()) whose peaks were all
    // below the ceiling.
    void passQuietFrames(int32_t n) { densityCount_ += n; }
    float ceiling() const { return ceiling_; }
    float* ring(int32_t c) { return rings_.channel(c); }

    float gain() const { return gain_; }
    float overDensity() const { return overDensity_; }
    bool attacking() const { return (phases_ & kAttack) != 0; }
    bool holding() const { return (phases_ & kHold) != 0; }
    bool releasing() const { return (phases_ & kRelease) != 0; }

  private:
    enum : uint8_t { kAttack = 1, kHold = 2, kRelease = 4 };
    void detectActive(float peak);
    void stepActive();
    float rememberedStep(int32_t slot) const {
        return memExpiry_[slot] >= releaseFrames_ ? memStep_[slot] : 0.0f;
    }
    void forgetReleaseMemory();

    // Settings.
    float ceiling_ = 1.0f, holdCeiling_ = 1.0f;
    // Time constants and steps.
    Smoother densityC_{}, relTopC_{};
    float relTrackKeep_ = 0.0f;
    float densityTarget_ = 1.0f;
    int32_t memoryLifeFrames_ = 0;
    int32_t lookAhead_ = 1;
    float lookAheadAsFloat_ = 1.0f;
    float invLookAheadM1_ = 1.0f;
    // Release steps per frame: the tables' steps per millisecond × 1.15 / samples per ms.
    std::array<float, kReleaseTableSize> releaseFastStep_{};
    std::array<float, kReleaseTableSize> releaseSlowStep_{};

    // State. phases_ holds attack, hold and release; with none of them the limiter idles at
    // kGainMax (1.0 before the first frame).
    float gain_ = 1.0f;
    uint8_t phases_ = 0;
    int32_t attackLeft_ = -1, holdLeft_ = -1;
    float attackStep_ = 0, attackPeak_ = 0, relStep_ = 0, relTarget_ = 0, relCoef_ = 0,
          relStepWork_ = 0, testLevel_ = 0;
    int32_t overCount_ = 0, densityCount_ = 0;
    float overDensity_ = 0;
    int32_t relIndex_ = 0;
    // Release memory: a slot's step lives for memoryLifeFrames_ release frames; instead of
    // counting every slot down each release frame, it stores the release-frame count at which
    // it expires.
    std::array<float, kReleaseMemorySlots> memStep_{};
    std::array<int64_t, kReleaseMemorySlots> memExpiry_{};
    int64_t releaseFrames_ = 0;

    DelayRings rings_;
};

inline void PeakLimiter::detect(float peak) {
    overCount_ += peak >= ceiling_ ? 1 : 0;
    if (densityCount_ > lookAhead_) [[unlikely]] {
        overDensity_ = overCount_ > 0 ? toward(overDensity_, densityTarget_, densityC_)
                                      : densityC_.keep * overDensity_;
        overCount_ = 0;
        densityCount_ = 0;
    }
    ++densityCount_;
    // Idle, the gain is at least kGainMax: only a peak at the ceiling (above attackPeak_,
    // which is 0) starts anything.
    if (phases_ != 0 || peak >= ceiling_) [[unlikely]]
        detectActive(peak);
}

inline void PeakLimiter::stepGain() {
    if (phases_ != 0) {
        stepActive();
    } else if (gain_ > kGainMax) [[unlikely]] {
        gain_ = kGainMax;
        forgetReleaseMemory();
    }
}

} // namespace orq::maximizer
