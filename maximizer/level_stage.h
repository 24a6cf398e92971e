// The maximizer's level stage: a compressor on the programme level. Two detectors (fast and
// slow) mix mean square and block peaks into levels; above the threshold the gain falls with
// the ratio. The level gain follows the slow target, ramps down ahead of transients (when the
// fast level exceeds the slow one by more than the transient crest) and then recovers towards
// a shadow gain that always follows the slow target. Its per-channel state is the look-ahead
// ring that delays the signal until the gain computed for it is ready.
#pragma once

#include "maximizer/delay_rings.h"
#include "maximizer/maximizer_math.h"

#include <algorithm>
#include <cmath>
#include <cstdint>

namespace orq::maximizer {

class LevelStage {
  public:
    // Detector power floors: the slow block maximum restarts here, the fast one lower.
    static constexpr float kPowerFloor = 1e-6f;
    static constexpr float kFastBlockFloor = 1e-8f;
    static constexpr float kInitialMeanSquare = 1e-6f;
    // Share of mean square against block peak in the programme level.
    static constexpr float kMeanSquareWeight = 0.8f;
    // Crest (fast level − slow level) above which a transient ramps the level gain down.
    static constexpr float kTransientCrestDb = 6.9f;
    // Linear gain the level gain may rise per second while recovering after a transient.
    static constexpr float kRiseGainPerSecond = 1.323f;

    // [ui-thread] allocates. Sets the time constants for samplesPerMs, the detector blocks
    // (slow and fast, frames) and the look-ahead; allocates one ring per channel; resets.
    void open(float samplesPerMs, int32_t slowBlockFrames, int32_t fastBlockFrames,
              int32_t lookAheadFrames, int32_t channels);
    // [ui-thread] frees the rings.
    void close() { rings_.release(); }
    // [any-thread] no allocation. Returns every state to its value after open, rings zeroed.
    void reset();

    // [any-thread] no allocation; take effect at the next frame.
    void setThresholdDb(float thresholdDb) { thresholdDb_ = thresholdDb; }
    void setInverseRatio(float inverseRatio) { slope_ = 1.0f - inverseRatio; }

    // Per frame: the detectors take power (largest square over the channels, floor included).
    // True when a slow block ended at this frame.
    [[gnu::always_inline]] bool detect(float power);
    // Per frame unless bypassed: moves the level gain (and its shadow).
    [[gnu::always_inline]] void stepGain();
    // The ring of channel c: exchange at the shared position delays by lookAheadFrames.
    float* ring(int32_t c) { return rings_.channel(c); }

    float gain() const { return levelGain_; }
    float shadowGain() const { return shadowGain_; }
    float crestSmooth() const { return crestSmooth_; }
    float peakEnvelope() const { return peakEnv_; }
    float slowLevelDb() const { return levSlow_; }
    float fastLevelDb() const { return levFast_; }

  private:
    void endBlocks(bool& slowEnded);
    float targetGain(float levelDb) const {
        if (!(levelDb > thresholdDb_)) return 1.0f; // no reduction: dbToGain(0) is 1 exactly
        return dbToGain(-(levelDb - thresholdDb_) * slope_);
    }

    // Settings.
    float thresholdDb_ = 0.0f;
    float slope_ = 0.0f; // 1 − 1/ratio
    // Time constants.
    Smoother msFastC_{}, msSlowC_{}, pkFastC_{}, pkSlowC_{}, envUpC_{}, envDownC_{}, attackC_{},
        releaseC_{}, recoverC_{}, crestC_{};
    float riseStep_ = 0.0f;
    int32_t slowBlock_ = 1, fastBlock_ = 1, lookAhead_ = 1;
    float lookAheadAsFloat_ = 1.0f;
    float invLookAheadM1_ = 1.0f;

    // Detector state. The block ends are counted together: eventLeft_ frames to the next end
    // of either block; slowLeft_ and fastLeft_ are each block's remaining frames as of the
    // last end (eventSpan_ frames before the next).
    float msFast_ = 0, msSlow_ = 0, blkFast_ = 0, blkSlow_ = 0, pkFast_ = 0, pkSlow_ = 0;
    int32_t eventLeft_ = 0, eventSpan_ = 0, slowLeft_ = 0, fastLeft_ = 0;
    float levFast_ = 0, levSlow_ = 0, tgtFast_ = 1, tgtSlow_ = 1;
    float crest_ = 0; // levFast − levSlow, renewed when either level is
    float crestSmooth_ = 0, peakEnv_ = 0;
    // Gain state.
    float levelGain_ = 1, shadowGain_ = 1, rampGain_ = 1, rampStep_ = 0;
    int32_t rampLeft_ = 0;
    bool ramping_ = false, recovering_ = false;

    DelayRings rings_;
};

inline bool LevelStage::detect(float power) {
    msSlow_ = toward(msSlow_, power, msSlowC_);
    blkSlow_ = std::max(blkSlow_, power);
    msFast_ = toward(msFast_, power, msFastC_);
    blkFast_ = std::max(blkFast_, power);
    bool slowEnded = false;
    if (eventLeft_ == 0) [[unlikely]]
        endBlocks(slowEnded);
    --eventLeft_;
    crestSmooth_ = toward(crestSmooth_, crest_, crestC_);
    return slowEnded;
}

inline void LevelStage::stepGain() {
    if (crest_ > kTransientCrestDb) {
        rampGain_ = levelGain_;
        if (tgtFast_ < levelGain_ - static_cast<float>(rampLeft_) * rampStep_) {
            const float step = (levelGain_ - tgtFast_) * invLookAheadM1_;
            rampStep_ = std::max(rampStep_, step);
            rampLeft_ = lookAhead_;
            ramping_ = true;
            recovering_ = true;
        }
        if (ramping_) {
            if (--rampLeft_ == 0) {
                rampStep_ = 0.0f;
                ramping_ = false;
            }
            if (rampGain_ <= tgtFast_)
                ramping_ = false;
            else
                rampGain_ -= rampStep_;
            levelGain_ = rampGain_;
        }
    } else if (crest_ >= 0.0f || !recovering_) {
        if (crest_ < kTransientCrestDb)
            levelGain_ = toward(levelGain_, tgtSlow_, levelGain_ > tgtSlow_ ? attackC_ : releaseC_);
    } else {
        rampGain_ = levelGain_;
        rampStep_ = 0.0f;
        if (rampGain_ + lookAheadAsFloat_ * riseStep_ <= shadowGain_)
            rampGain_ += riseStep_;
        else
            rampGain_ = toward(rampGain_, shadowGain_, recoverC_);
        if (shadowGain_ <= rampGain_) {
            recovering_ = false;
            rampGain_ = shadowGain_;
        }
        levelGain_ = rampGain_;
    }
    shadowGain_ = toward(shadowGain_, tgtSlow_, shadowGain_ > tgtSlow_ ? attackC_ : releaseC_);
}

} // namespace orq::maximizer
