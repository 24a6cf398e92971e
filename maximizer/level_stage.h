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
    [[gnu::always_inline]] void stepGain() { advanceGain(gain_); }
    // detect and stepGain for up to n frames of power, the same to the bit, with the state
    // held in registers between detector block ends. After each frame frame(i, gain) is called
    // with the frame's level gain; a false from it ends the run after that frame. Returns the
    // frames run; slowEnded is set when a slow block ended in them.
    template <class Frame>
    [[gnu::always_inline]] int32_t run(const float* power, int32_t n, bool& slowEnded,
                                       Frame&& frame);
    // The ring of channel c: exchange at the shared position delays by lookAheadFrames.
    float* ring(int32_t c) { return rings_.channel(c); }

    float gain() const { return gain_.level; }
    float shadowGain() const { return gain_.shadow; }
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
    // Gain state, kept together so that a run of frames can hold it in registers.
    struct GainState {
        float level = 1, shadow = 1, ramp = 1, rampStep = 0;
        int32_t rampLeft = 0;
        bool ramping = false, recovering = false;
    };
    [[gnu::always_inline]] void advanceGain(GainState& g) const;
    // A gain one frame further towards the slow target, falling with the attack and rising
    // with the release. Two branches, not a chosen coefficient: a gain stays on one side of
    // its target for long, and the branch keeps the coefficient's load off the recursion.
    [[gnu::always_inline]] float followSlowTarget(float gain) const {
        if (gain > tgtSlow_) return toward(gain, tgtSlow_, attackC_);
        return toward(gain, tgtSlow_, releaseC_);
    }
    GainState gain_;

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

inline void LevelStage::advanceGain(GainState& g) const {
    if (crest_ > kTransientCrestDb) {
        g.ramp = g.level;
        if (tgtFast_ < g.level - static_cast<float>(g.rampLeft) * g.rampStep) {
            const float step = (g.level - tgtFast_) * invLookAheadM1_;
            g.rampStep = std::max(g.rampStep, step);
            g.rampLeft = lookAhead_;
            g.ramping = true;
            g.recovering = true;
        }
        if (g.ramping) {
            if (--g.rampLeft == 0) {
                g.rampStep = 0.0f;
                g.ramping = false;
            }
            if (g.ramp <= tgtFast_)
                g.ramping = false;
            else
                g.ramp -= g.rampStep;
            g.level = g.ramp;
        }
    } else if (crest_ >= 0.0f || !g.recovering) {
        if (crest_ < kTransientCrestDb) g.level = followSlowTarget(g.level);
    } else {
        g.ramp = g.level;
        g.rampStep = 0.0f;
        if (g.ramp + lookAheadAsFloat_ * riseStep_ <= g.shadow)
            g.ramp += riseStep_;
        else
            g.ramp = toward(g.ramp, g.shadow, recoverC_);
        if (g.shadow <= g.ramp) {
            g.recovering = false;
            g.ramp = g.shadow;
        }
        g.level = g.ramp;
    }
    g.shadow = followSlowTarget(g.shadow);
}

template <class Frame>
inline int32_t LevelStage::run(const float* power, int32_t n, bool& slowEnded, Frame&& frame) {
    float msSlow = msSlow_, msFast = msFast_, blkSlow = blkSlow_, blkFast = blkFast_;
    float crestSmooth = crestSmooth_;
    int32_t eventLeft = eventLeft_;
    GainState g = gain_;
    float crestTaken = crestC_.take * crest_;
    int32_t i = 0;
    while (i < n) {
        const float p = power[i];
        msSlow = toward(msSlow, p, msSlowC_);
        blkSlow = std::max(blkSlow, p);
        msFast = toward(msFast, p, msFastC_);
        blkFast = std::max(blkFast, p);
        if (eventLeft == 0) [[unlikely]] {
            msSlow_ = msSlow;
            msFast_ = msFast;
            blkSlow_ = blkSlow;
            blkFast_ = blkFast;
            crestSmooth_ = crestSmooth;
            endBlocks(slowEnded);
            eventLeft = eventLeft_;
            blkSlow = blkSlow_;
            blkFast = blkFast_;
            crestSmooth = crestSmooth_;
            crestTaken = crestC_.take * crest_;
        }
        --eventLeft;
        crestSmooth = crestC_.keep * crestSmooth + crestTaken;
        advanceGain(g);
        if (!frame(i++, g.level)) [[unlikely]]
            break;
    }
    msSlow_ = msSlow;
    msFast_ = msFast;
    blkSlow_ = blkSlow;
    blkFast_ = blkFast;
    crestSmooth_ = crestSmooth;
    eventLeft_ = eventLeft;
    gain_ = g;
    return i;
}

} // namespace orq::maximizer
