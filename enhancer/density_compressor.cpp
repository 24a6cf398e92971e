#include "enhancer/density_compressor.h"

#include <algorithm>
#include <cmath>

namespace orq::enhancer {

namespace {
const Lane4 kGainCeiling = splat(float(std::pow(10.0, kGainCeilingOverTargetDb / 20.0)));
} // namespace

DensityCompressor::DensityCompressor(int32_t lookaheadFrames)
    : delay_(size_t(std::max(lookaheadFrames, 0)), splat(0.0f)) {}

void DensityCompressor::setLane(int32_t lane, const DensityCompressorDesign& d) {
    if (lane < 0 || lane >= kLaneCount) return;
    thresholdPower_[lane] = float(d.thresholdPower);
    belowGain_[lane] = float(d.belowGain);
    exponent_[lane] = float(d.exponent);
    powerCoeff_[lane] = float(d.powerCoeff);
    oneMinusPowerCoeff_[lane] = float(1.0 - d.powerCoeff);
    attackCoeff_[lane] = float(d.attackCoeff);
    oneMinusAttack_[lane] = float(1.0 - d.attackCoeff);
    releaseCoeff_[lane] = float(d.releaseCoeff);
    oneMinusRelease_[lane] = float(1.0 - d.releaseCoeff);
}

void DensityCompressor::reset() {
    power_ = splat(0.0f);
    gain_ = belowGain_;
    target_ = belowGain_;
    counter_ = 0;
    std::fill(delay_.begin(), delay_.end(), splat(0.0f));
    delayIndex_ = 0;
}

void DensityCompressor::evaluateGain() {
    const Mask4 above = power_ > thresholdPower_;
    Lane4 target = belowGain_;
    if (anyLane(above)) {
        for (int32_t l = 0; l < kLaneCount; ++l)
            if (above[l]) target[l] = std::pow(power_[l], exponent_[l]);
    }
    const Mask4 falling = target < gain_;
    const Lane4 c = select(falling, attackCoeff_, releaseCoeff_);
    const Lane4 oneMinusC = select(falling, oneMinusAttack_, oneMinusRelease_);
    // The gain moves toward the target of the previous evaluation.
    gain_ = c * gain_ + oneMinusC * target_;
    // Never more than kGainCeilingOverTargetDb above the gain the present power asks for: a loud
    // onset after quiet passages would otherwise meet the full gain below threshold (up to
    // +47 dB) before the attack catches up, and the cube of that is a burst.
    const Lane4 ceiling = kGainCeiling * target;
    gain_ = select(gain_ > ceiling, ceiling, gain_);
    target_ = target;
}

bool DensityCompressor::isFinite() const {
    Lane4 sum = power_ + gain_ + target_;
    for (const Lane4& v : delay_)
        sum += v;
    for (int32_t l = 0; l < kLaneCount; ++l)
        if (!(sum[l] - sum[l] == 0.0f)) return false;
    return true;
}

} // namespace orq::enhancer
