#include "maximizer/peak_limiter.h"

namespace orq::maximizer {
namespace {

// Time constants, ms.
constexpr double kDensityMs = 1800.0, kRelTrackMs = 35.0, kRelTopMs = 2.0;
// Release-step scale and overload-density to release-table index.
constexpr float kReleaseStepScale = 1.15f;
constexpr float kDensityToReleaseIndex = 337.92f;
// Release memory: one slot per 0.05 of gain, each living half a second of release frames.
constexpr float kReleaseMemoryPerGain = 20.0f;
constexpr float kReleaseMemoryBias = 0.01f;
constexpr float kReleaseMemoryMs = 500.0f;

} // namespace

void PeakLimiter::open(int32_t sampleRateHz, float samplesPerMs, int32_t lookAheadFrames,
                       int32_t channels, const MaximizerTables& tables) {
    const double fsk = samplesPerMs;
    densityC_ = onePole(kDensityMs, lookAheadFrames, fsk);
    relTrackKeep_ = onePole(kRelTrackMs, 1, fsk).keep;
    relTopC_ = onePole(kRelTopMs, 1, fsk);
    // The rate is compared as the integer it is: 48000 × 0.001f lands just above 48.
    densityTarget_ = sampleRateHz > kHighRateHz ? kHighRateDensityTarget : 1.0f;
    memoryLifeFrames_ = static_cast<int32_t>(samplesPerMs * kReleaseMemoryMs + 1.0f);
    lookAhead_ = lookAheadFrames;
    lookAheadAsFloat_ = static_cast<float>(lookAheadFrames);
    invLookAheadM1_ = 1.0f / static_cast<float>(lookAheadFrames - 1);
    const float invSamplesPerMs = 1.0f / samplesPerMs;
    for (int32_t i = 0; i < kReleaseTableSize; ++i) {
        releaseFastStep_[i] = tables.releaseFast[i] * invSamplesPerMs * kReleaseStepScale;
        releaseSlowStep_[i] = tables.releaseSlow[i] * invSamplesPerMs * kReleaseStepScale;
    }
    rings_.allocate(channels, lookAheadFrames);
    reset();
}

void PeakLimiter::reset() {
    gain_ = 1.0f;
    phases_ = 0;
    attackLeft_ = holdLeft_ = -1;
    attackStep_ = attackPeak_ = relStep_ = relTarget_ = relCoef_ = relStepWork_ = testLevel_ = 0.0f;
    overCount_ = densityCount_ = 0;
    overDensity_ = 0.0f;
    relIndex_ = 0;
    releaseFrames_ = 0;
    forgetReleaseMemory();
    rings_.clear();
}

void PeakLimiter::forgetReleaseMemory() {
    memStep_.fill(0.0f);
    memExpiry_.fill(-1);
}

void PeakLimiter::detectActive(float peak) {
    float t;
    if (phases_ & kRelease) {
        testLevel_ = peak * (gain_ + lookAheadAsFloat_ * relStep_);
        t = testLevel_;
    } else if (phases_ & kAttack) {
        t = peak *
            (gain_ + static_cast<float>(lookAhead_ - attackLeft_) * attackStep_ * invLookAheadM1_);
    } else if (phases_ & kHold) {
        testLevel_ = peak * (gain_ + static_cast<float>(lookAhead_ - holdLeft_ + 1) * relStep_);
        t = testLevel_;
    } else {
        t = peak;
    }

    if (t >= holdCeiling_ && gain_ < kHoldGainLimit && !(phases_ & kAttack)) {
        phases_ = static_cast<uint8_t>((phases_ & ~kRelease) | kHold);
        holdLeft_ = lookAhead_;
    }
    if (t >= ceiling_ && t >= attackPeak_) {
        phases_ = kAttack | kHold;
        const float step = (1.0f - ceiling_ / t) * gain_;
        if (step >= attackStep_) {
            attackPeak_ = t;
            holdLeft_ = 2 * lookAhead_;
            attackStep_ = step;
            attackLeft_ = lookAhead_ - 1;
        } else {
            const float done = static_cast<float>(attackLeft_) * attackStep_ * invLookAheadM1_;
            if (done < step) {
                const int32_t extra =
                    static_cast<int32_t>((step - done) * lookAheadAsFloat_ / attackStep_) + 1;
                attackLeft_ += extra;
                holdLeft_ += extra;
            }
        }
    }
}

void PeakLimiter::stepActive() {
    if (phases_ & kRelease) {
        relStepWork_ = toward(relStepWork_, relTarget_, relCoef_);
        relStep_ = relStepWork_;
        if (testLevel_ < ceiling_) {
            relCoef_ = relTrackKeep_;
            relTarget_ = releaseSlowStep_[relIndex_];
        } else {
            relTarget_ = 0.0f;
            relStep_ -= (testLevel_ - kGainMax) * invLookAheadM1_;
        }
        if (relStepWork_ * lookAheadAsFloat_ + gain_ < 1.0f) {
            gain_ += relStep_;
        } else {
            relCoef_ = relTopC_.keep;
            gain_ = toward(gain_, 1.0f, relTopC_);
        }
        const int32_t k =
            slotIndex(gain_ * kReleaseMemoryPerGain - kReleaseMemoryBias, kReleaseMemorySlots - 1);
        const float remembered = rememberedStep(k);
        if (remembered == 0.0f || remembered > relStep_) memStep_[k] = relStep_;
        memExpiry_[k] = releaseFrames_ + memoryLifeFrames_;
        ++releaseFrames_;
    } else if (phases_ & kAttack) {
        gain_ -= attackStep_ * invLookAheadM1_;
    }

    if (gain_ > kGainMax) {
        gain_ = kGainMax;
        phases_ &= static_cast<uint8_t>(~kRelease);
        forgetReleaseMemory();
    }
    gain_ = std::max(gain_, 0.0f);

    if (attackLeft_ == 0) {
        attackLeft_ = -1;
        phases_ &= static_cast<uint8_t>(~kAttack);
        attackPeak_ = 0.0f;
        attackStep_ = 0.0f;
    }
    if (holdLeft_ == 0) {
        phases_ = static_cast<uint8_t>((phases_ & ~kHold) | kRelease);
        holdLeft_ = -1;
        relIndex_ = slotIndex(overDensity_ * kDensityToReleaseIndex, kReleaseTableSize - 1);
        relStepWork_ = releaseFastStep_[relIndex_];
        const int32_t k = slotIndex(gain_ * kReleaseMemoryPerGain, kReleaseMemorySlots - 1);
        const float remembered = rememberedStep(k);
        if (remembered != 0.0f && remembered < relStepWork_) relStepWork_ = remembered;
        relCoef_ = relTrackKeep_;
        relStep_ = relStepWork_;
        relTarget_ = releaseSlowStep_[relIndex_];
    }
    if (phases_ & kHold) {
        --holdLeft_;
        if (phases_ & kAttack) --attackLeft_;
    }
}

} // namespace orq::maximizer
