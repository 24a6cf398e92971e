// The band compressor of the harmonic generator: a hard compressor with a fixed make-up gain
// below its threshold, smoothed power detection and a look-ahead delay. Four lanes run at once;
// each lane is one band of one channel and carries its own design.
#pragma once

#include "enhancer/density_compressor_design.h"
#include "enhancer/lane4.h"

#include <cstdint>
#include <vector>

namespace orq::enhancer {

// Highest gain relative to the target of the present power: some room for the slow attack's
// punch, no room for a burst at a loud onset.
constexpr double kGainCeilingOverTargetDb = 1.5;
// The gain is re-evaluated on every this many samples.
constexpr int32_t kGainEvaluationInterval = 4;

// Per lane, per sample x:
//   P = (1 - a) x^2 + a P
//   on every kGainEvaluationInterval-th sample (the first included):
//     u = g0 if P <= Tp, else P^e;  c = ca if u < g, else cr;  g = c g + (1 - c) t;
//     g = min(g, 10^(kGainCeilingOverTargetDb / 20) u);  t = u
//   output = x[n - lookahead] g
class DensityCompressor {
  public:
    // [ui-thread] allocates the look-ahead line.
    explicit DensityCompressor(int32_t lookaheadFrames);

    // [ui-thread] no allocation. New coefficients for one lane; its state carries on (call
    // reset after the first designs so that the gain starts at g0).
    void setLane(int32_t lane, const DensityCompressorDesign& design);

    // [any-thread] no allocation. g = t = g0, P = 0, counter 0, look-ahead line zeroed.
    void reset();

    // [audio-thread] no allocation.
    Lane4 process(Lane4 x) {
        power_ = oneMinusPowerCoeff_ * x * x + powerCoeff_ * power_;
        if (counter_ == 0) evaluateGain();
        if (++counter_ == kGainEvaluationInterval) counter_ = 0;
        Lane4 delayed = x;
        if (!delay_.empty()) {
            delayed = delay_[size_t(delayIndex_)];
            delay_[size_t(delayIndex_)] = x;
            if (++delayIndex_ == int32_t(delay_.size())) delayIndex_ = 0;
        }
        return delayed * gain_;
    }

    int32_t lookaheadFrames() const { return int32_t(delay_.size()); }
    Lane4 gain() const { return gain_; }
    bool isFinite() const;

  private:
    void evaluateGain();

    // Coefficients.
    Lane4 thresholdPower_ = splat(1.0f);
    Lane4 belowGain_ = splat(1.0f);
    Lane4 exponent_ = splat(0.0f);
    Lane4 powerCoeff_ = splat(0.0f);
    Lane4 oneMinusPowerCoeff_ = splat(1.0f);
    Lane4 attackCoeff_ = splat(0.0f);
    Lane4 oneMinusAttack_ = splat(1.0f);
    Lane4 releaseCoeff_ = splat(0.0f);
    Lane4 oneMinusRelease_ = splat(1.0f);
    // State.
    Lane4 power_ = splat(0.0f);
    Lane4 gain_ = splat(1.0f);
    Lane4 target_ = splat(1.0f);
    int32_t counter_ = 0;
    std::vector<Lane4> delay_;
    int32_t delayIndex_ = 0;
};

} // namespace orq::enhancer
