#include "maximizer/level_stage.h"

namespace orq::maximizer {
namespace {

// Time constants, ms.
constexpr double kMsFastMs = 0.1, kMsSlowMs = 20.0, kPkFastMs = 0.1, kPkSlowMs = 20.0;
constexpr double kEnvUpMs = 0.01, kEnvDownMs = 10000.0, kAttackMs = 3.0, kReleaseMs = 5000.0;
constexpr double kRecoverMs = 2.0, kCrestMs = 8000.0;

} // namespace

void LevelStage::open(float samplesPerMs, int32_t slowBlockFrames, int32_t fastBlockFrames,
                      int32_t lookAheadFrames, int32_t channels) {
    const double fsk = samplesPerMs;
    msFastC_ = onePole(kMsFastMs, 1, fsk);
    msSlowC_ = onePole(kMsSlowMs, 1, fsk);
    pkFastC_ = onePole(kPkFastMs, fastBlockFrames, fsk);
    pkSlowC_ = onePole(kPkSlowMs, slowBlockFrames, fsk);
    envUpC_ = onePole(kEnvUpMs, slowBlockFrames, fsk);
    envDownC_ = onePole(kEnvDownMs, slowBlockFrames, fsk);
    attackC_ = onePole(kAttackMs, 1, fsk);
    releaseC_ = onePole(kReleaseMs, 1, fsk);
    recoverC_ = onePole(kRecoverMs, 1, fsk);
    crestC_ = onePole(kCrestMs, 1, fsk);
    riseStep_ = kRiseGainPerSecond / (samplesPerMs * 1000.0f);
    slowBlock_ = slowBlockFrames;
    fastBlock_ = fastBlockFrames;
    lookAhead_ = lookAheadFrames;
    lookAheadAsFloat_ = static_cast<float>(lookAheadFrames);
    invLookAheadM1_ = 1.0f / static_cast<float>(lookAheadFrames - 1);
    rings_.allocate(channels, lookAheadFrames);
    reset();
}

void LevelStage::reset() {
    msFast_ = msSlow_ = pkFast_ = pkSlow_ = kInitialMeanSquare;
    blkFast_ = blkSlow_ = 0.0f;
    slowLeft_ = slowBlock_;
    fastLeft_ = fastBlock_;
    eventSpan_ = eventLeft_ = std::min(slowLeft_, fastLeft_);
    levFast_ = levSlow_ = 0.0f;
    tgtFast_ = tgtSlow_ = 1.0f;
    crest_ = crestSmooth_ = peakEnv_ = 0.0f;
    gain_ = GainState{};
    rings_.clear();
}

// The slow block (peak envelope, slow level and target) ends before the fast one in a frame
// where both do, so the fast end's crest sees the new slow level.
void LevelStage::endBlocks(bool& slowEnded) {
    slowLeft_ -= eventSpan_;
    fastLeft_ -= eventSpan_;
    if (slowLeft_ == 0) {
        peakEnv_ = toward(peakEnv_, blkSlow_, blkSlow_ > peakEnv_ ? envUpC_ : envDownC_);
        pkSlow_ = toward(pkSlow_, blkSlow_, pkSlowC_);
        blkSlow_ = kPowerFloor;
        levSlow_ =
            10.0f * std::log10(kMeanSquareWeight * msSlow_ + (1.0f - kMeanSquareWeight) * pkSlow_);
        tgtSlow_ = targetGain(levSlow_);
        crest_ = levFast_ - levSlow_;
        if (std::fabs(crestSmooth_) < kSubnormalGuard) crestSmooth_ = 0.0f;
        slowLeft_ = slowBlock_;
        slowEnded = true;
    }
    if (fastLeft_ == 0) {
        pkFast_ = toward(pkFast_, blkFast_, pkFastC_);
        blkFast_ = kFastBlockFloor;
        levFast_ =
            10.0f * std::log10(kMeanSquareWeight * msFast_ + (1.0f - kMeanSquareWeight) * pkFast_);
        tgtFast_ = targetGain(levFast_);
        crest_ = levFast_ - levSlow_;
        fastLeft_ = fastBlock_;
    }
    eventSpan_ = eventLeft_ = std::min(slowLeft_, fastLeft_);
}

} // namespace orq::maximizer
