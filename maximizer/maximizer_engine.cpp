#include "maximizer/maximizer_engine.h"

#include <algorithm>
#include <cmath>

namespace orq::maximizer {
namespace {

// Detector power floors: the slow block maximum restarts here, the fast one lower.
constexpr float kPowerFloor = 1e-6f;
constexpr float kFastBlockFloor = 1e-8f;
constexpr float kInitialMeanSquare = 1e-6f;
// Share of mean square against block peak in the programme level.
constexpr float kMeanSquareWeight = 0.8f;
// Crest (fast level − slow level) above which a transient ramps the level gain down.
constexpr float kTransientCrestDb = 6.9f;
// −6 dB before the limiter; the limiter's make-up (+6 dB at least) restores it.
constexpr float kLimiterPreScale = 0.5012f;
// Bypassed: the ±6 dB pair cancels while the delay stays.
constexpr float kBypassGain = 1.995f;
constexpr float kLimiterOutputTrim = 0.999f;
constexpr float kLimiterGainMax = 0.9999f;
constexpr float kHoldGainLimit = 0.95f;
constexpr float kClipFractionMax = 0.9999f;
constexpr float kBoostGain = 1.2589f;
// HeadRoom step in dB of clip range; curve indices below this use the straight line on change.
constexpr float kHeadroomStepDb = 0.3333f;
constexpr int32_t kStraightCurveBelow = 3;
constexpr float kHoldThresholdOffsetDb = 0.25f;
constexpr float kLimiterBaseDb = 6.0f;
// Release-step scale and overload-density to release-table index.
constexpr float kReleaseStepScale = 1.15f;
constexpr float kDensityToReleaseIndex = 337.92f;
constexpr float kReleaseMemoryPerGain = 20.0f;
constexpr float kReleaseMemoryBias = 0.01f;
constexpr float kReleaseMemoryMs = 500.0f;
// Above 48000 Hz overloads push the density towards 0.9 only. The rate is compared as the
// integer it is: 48000 × 0.001f lands just above 48, which would put 48000 Hz on the wrong side.
constexpr int32_t kDensityHighRateHz = 48000;
constexpr float kDensityHighRateTarget = 0.9f;
// Linear gain the level stage may rise per second while recovering after a transient.
constexpr float kRiseGainPerSecond = 1.323f;
constexpr float kAuditionGain = 2.0f;
// Inputs are held inside ±1000 (+60 dBFS) so that powers stay finite; not-a-number becomes 0.
constexpr float kInputLimit = 1000.0f;
// Decaying smoothers are set to 0 below this to keep clear of subnormal arithmetic.
constexpr float kSubnormalGuard = 1e-25f;

// Time constants, ms.
constexpr double kMsFastMs = 0.1, kMsSlowMs = 20.0, kPkFastMs = 0.1, kPkSlowMs = 20.0;
constexpr double kEnvUpMs = 0.01, kEnvDownMs = 10000.0, kAttackMs = 3.0, kReleaseMs = 5000.0;
constexpr double kRecoverMs = 2.0, kCrestMs = 8000.0, kDensityMs = 1800.0;
constexpr double kRelTrackMs = 35.0, kRelTopMs = 2.0;

float onePoleCoefficient(double timeMs, double samplesBetweenUpdates, double samplesPerMs) {
    return static_cast<float>(std::exp(-samplesBetweenUpdates / (timeMs * samplesPerMs)));
}

// 10^(db/20) as an exponential, the cheaper of the two on the detectors' block boundaries.
constexpr float kNepersPerDb = 0.11512925465f; // ln(10) / 20
float dbToGain(float db) {
    return std::exp(db * kNepersPerDb);
}

// Clip-curve point n sits at fraction n / kClipSteps; the quotients are taken once here, so the
// per-sample interpolation needs no division (the values are the same correctly rounded floats).
constexpr float kClipSteps = static_cast<float>(kClipCurveSize - 1);
constexpr std::array<float, kClipCurveSize> kClipPointFraction = [] {
    std::array<float, kClipCurveSize> fraction{};
    for (int32_t n = 0; n < kClipCurveSize; ++n)
        fraction[n] = static_cast<float>(n) / kClipSteps;
    return fraction;
}();

// Moves value towards target with coefficient c.
inline float toward(float value, float target, float c) {
    return c * value + (1.0f - c) * target;
}
inline float toward(float value, float target, const Smoother& s) {
    return s.keep * value + s.take * target;
}

inline float sanitizeInput(float x) {
    if (std::fabs(x) <= kInputLimit) [[likely]]
        return x;
    if (std::isnan(x)) return 0.0f;
    return x > 0.0f ? kInputLimit : -kInputLimit;
}

float clampOr(float value, float lo, float hi, float fallback) {
    if (std::isnan(value)) return fallback;
    return std::clamp(value, lo, hi);
}

// A meter value that is 0, not a number or infinite is published as 0.
float publishable(float value) {
    return std::isfinite(value) ? value : 0.0f;
}

} // namespace

MaximizerEngine::MaximizerEngine(const MaximizerOptions& options)
    : options_(options), tables_(maximizerTables()) {}

int32_t MaximizerEngine::lookAheadFrames(int32_t sampleRateHz) {
    const float samplesPerMs = static_cast<float>(sampleRateHz) * 0.001f;
    return 2 * static_cast<int32_t>(samplesPerMs);
}

bool MaximizerEngine::open(int32_t sampleRateHz, int32_t channels) {
    close();
    if (sampleRateHz < kMinSampleRateHz || sampleRateHz > kMaxSampleRateHz || channels < 1 ||
        channels > kMaxChannels)
        return false;
    sampleRateHz_ = sampleRateHz;
    channels_ = channels;
    samplesPerMs_ = static_cast<float>(sampleRateHz) * 0.001f;
    slowBlock_ = static_cast<int32_t>(samplesPerMs_);
    fastBlock_ = slowBlock_ / 3;
    lookAhead_ = 2 * slowBlock_;
    lookAheadAsFloat_ = static_cast<float>(lookAhead_);
    invLookAheadM1_ = 1.0f / static_cast<float>(lookAhead_ - 1);
    invSamplesPerMs_ = 1.0f / samplesPerMs_;
    for (int32_t i = 0; i < kReleaseTableSize; ++i) {
        releaseFastStep_[i] = tables_.releaseFast[i] * invSamplesPerMs_ * kReleaseStepScale;
        releaseSlowStep_[i] = tables_.releaseSlow[i] * invSamplesPerMs_ * kReleaseStepScale;
    }
    rings_.assign(static_cast<size_t>(2 * channels_ * lookAhead_), 0.0f);
    computeTimeConstants();
    deriveGains(Rule::Reset);
    deriveHeadroom(Rule::Reset);
    resetState();
    newAudio_ = true;
    return true;
}

void MaximizerEngine::close() {
    rings_.clear();
    rings_.shrink_to_fit();
    lookAhead_ = 0;
    channels_ = 0;
    sampleRateHz_ = 0;
}

void MaximizerEngine::start() {
    if (!isOpen()) return;
    deriveGains(Rule::Reset);
    deriveHeadroom(Rule::Reset);
    resetState();
}

void MaximizerEngine::computeTimeConstants() {
    const double fsk = samplesPerMs_;
    const auto onePole = [fsk](double timeMs, double samplesBetweenUpdates) {
        const float c = onePoleCoefficient(timeMs, samplesBetweenUpdates, fsk);
        return Smoother{c, 1.0f - c};
    };
    tc_.msFast = onePole(kMsFastMs, 1);
    tc_.msSlow = onePole(kMsSlowMs, 1);
    tc_.pkFast = onePole(kPkFastMs, fastBlock_);
    tc_.pkSlow = onePole(kPkSlowMs, slowBlock_);
    tc_.envUp = onePole(kEnvUpMs, slowBlock_);
    tc_.envDown = onePole(kEnvDownMs, slowBlock_);
    tc_.attack = onePole(kAttackMs, 1);
    tc_.release = onePole(kReleaseMs, 1);
    tc_.recover = onePole(kRecoverMs, 1);
    tc_.crest = onePole(kCrestMs, 1);
    tc_.density = onePole(kDensityMs, lookAhead_);
    tc_.relTrack = onePole(kRelTrackMs, 1);
    tc_.relTop = onePole(kRelTopMs, 1);
    tc_.riseStep = kRiseGainPerSecond / (samplesPerMs_ * 1000.0f);
    tc_.densityTarget = sampleRateHz_ > kDensityHighRateHz ? kDensityHighRateTarget : 1.0f;
    tc_.memoryLifeFrames = static_cast<int32_t>(samplesPerMs_ * kReleaseMemoryMs + 1.0f);
}

void MaximizerEngine::resetState() {
    LevelState& s = level_;
    s = LevelState{};
    s.msFast = s.msSlow = s.pkFast = s.pkSlow = kInitialMeanSquare;
    s.tgtFast = s.tgtSlow = 1.0f;
    s.levelGain = s.shadowGain = s.rampGain = 1.0f;

    LimiterState& m = limiter_;
    m = LimiterState{};
    m.gain = 1.0f;
    m.attackLeft = m.holdLeft = -1;
    forgetReleaseMemory();

    std::fill(rings_.begin(), rings_.end(), 0.0f);
    ringIndex_ = 0;
    maxHalfGain_ = minLimGain_ = 1.0f;
}

void MaximizerEngine::setDesiredGain(float gainDb) {
    settings_.desiredGainDb =
        clampOr(gainDb, kMinDesiredGainDb, kMaxDesiredGainDb, kDefaultDesiredGainDb);
    deriveGains(Rule::Change);
}

void MaximizerEngine::setDensity(float density) {
    settings_.density = clampOr(density, kMinDensity, kMaxDensity, kDefaultDensity);
    deriveGains(Rule::Change);
}

void MaximizerEngine::setHeadroom(float headroom) {
    const float clamped = clampOr(headroom, static_cast<float>(kMinHeadroom),
                                  static_cast<float>(kMaxHeadroom), kDefaultHeadroom);
    settings_.headroom = static_cast<int32_t>(std::lround(clamped));
    deriveHeadroom(Rule::Change);
}

void MaximizerEngine::setBoost(float boost) {
    settings_.boost = boost >= 0.5f; // not a number compares false: the default, off
    derived_.boostGain = settings_.boost ? kBoostGain : 1.0f;
    deriveCeilings();
}

void MaximizerEngine::setAudition(float audition) {
    settings_.audition = audition >= 0.5f;
    deriveCeilings();
}

void MaximizerEngine::deriveGains(Rule rule) {
    const MaximizerTables& t = tables_;
    DerivedSettings& d = derived_;
    const float desired = settings_.desiredGainDb;
    const float density = settings_.density;
    d.ratioIndex = static_cast<int32_t>(density * 12.0f) + 1;
    const float limPart = desired * (1.0f - density);
    const float compPart = desired - limPart;
    d.levelStageDb = static_cast<int32_t>(compPart);
    const int32_t limWhole = static_cast<int32_t>(limPart);
    if (rule == Rule::Change && static_cast<float>(d.levelStageDb + limWhole) < desired)
        d.limiterIndex = static_cast<int32_t>(limPart + 1.0f);
    else
        d.limiterIndex = limWhole;
    d.limiterIndex = std::clamp(d.limiterIndex, 0, kLimiterTableSize - 1);

    if (options_.derivation == GainDerivation::WholeDbTables) {
        d.invRatio = t.invRatio[d.ratioIndex];
        d.thresholdDb = -(t.wholeDb[d.levelStageDb] * t.slopeInv[d.ratioIndex]);
        d.compMakeup = t.dbGain[d.levelStageDb];
        d.limThreshold = t.limThresh[d.limiterIndex];
        d.holdThreshold = t.holdThresh[d.limiterIndex];
        d.limMakeup = t.limMakeup[d.limiterIndex];
    } else {
        d.invRatio = 1.0f / (static_cast<float>(d.ratioIndex) * 0.1f + 1.0f);
        d.thresholdDb = -static_cast<float>(d.levelStageDb) / (1.0f - d.invRatio);
        d.compMakeup = dbToGain(compPart);
        d.limThreshold = dbToGain(-limPart - kLimiterBaseDb);
        d.holdThreshold = dbToGain(-limPart - kLimiterBaseDb - kHoldThresholdOffsetDb);
        d.limMakeup = dbToGain(limPart + kLimiterBaseDb);
    }
    deriveCeilings();
}

void MaximizerEngine::deriveHeadroom(Rule rule) {
    DerivedSettings& d = derived_;
    const int32_t curveIndex = settings_.headroom - kMinHeadroom;
    d.clipTopDb = static_cast<float>(curveIndex) * kHeadroomStepDb;
    d.clipTop = dbToGain(d.clipTopDb);
    d.clipScale = 1.0f / (d.clipTop - kSoftClipKnee);
    d.curve = (rule == Rule::Change && curveIndex < kStraightCurveBelow) ? 0 : curveIndex;
    deriveCeilings();
}

void MaximizerEngine::deriveCeilings() {
    DerivedSettings& d = derived_;
    d.halfCompMakeup = 0.5f * d.compMakeup;
    d.ceiling = d.clipTop * d.limThreshold * d.boostGain;
    d.holdCeiling = d.clipTop * d.holdThreshold * d.boostGain;
    d.auditionScale =
        settings_.audition ? kAuditionGain / (d.boostGain * d.compMakeup * d.limMakeup) : 1.0f;
}

void MaximizerEngine::process(const float* const* inputs, float* const* outputs, int32_t frames,
                              OutputMode mode, CRITICAL_SECTION* perSampleLock) {
    if (!isOpen() || frames <= 0) return;
    if (mute_) {
        if (mode == OutputMode::Replace)
            for (int32_t c = 0; c < channels_; ++c)
                std::fill_n(outputs[c], frames, 0.0f);
        return;
    }
    if (mode == OutputMode::Replace)
        runChannels<OutputMode::Replace>(inputs, outputs, frames, perSampleLock);
    else
        runChannels<OutputMode::Accumulate>(inputs, outputs, frames, perSampleLock);
}

// Picks the frame loop compiled for the channel count, output mode and locking at hand, so the
// loop itself tests none of them.
template <OutputMode kMode>
void MaximizerEngine::runChannels(const float* const* inputs, float* const* outputs, int32_t frames,
                                  CRITICAL_SECTION* perSampleLock) {
    const bool locked = perSampleLock != nullptr;
    switch (channels_) {
    case 1:
        locked ? run<1, kMode, true>(inputs, outputs, frames, perSampleLock)
               : run<1, kMode, false>(inputs, outputs, frames, perSampleLock);
        break;
    case 2:
        locked ? run<2, kMode, true>(inputs, outputs, frames, perSampleLock)
               : run<2, kMode, false>(inputs, outputs, frames, perSampleLock);
        break;
    default:
        locked ? run<0, kMode, true>(inputs, outputs, frames, perSampleLock)
               : run<0, kMode, false>(inputs, outputs, frames, perSampleLock);
        break;
    }
}

// Programme-level detectors (slow and fast), the peak envelope and the crest.
[[gnu::always_inline]] inline void MaximizerEngine::stepDetectors(float power) {
    LevelState& s = level_;
    const DerivedSettings& d = derived_;
    const float slope = 1.0f - d.invRatio;

    s.msSlow = toward(s.msSlow, power, tc_.msSlow);
    s.blkSlow = std::max(s.blkSlow, power);
    if (s.slowCount >= slowBlock_) [[unlikely]] {
        s.peakEnv = toward(s.peakEnv, s.blkSlow, s.blkSlow > s.peakEnv ? tc_.envUp : tc_.envDown);
        s.pkSlow = toward(s.pkSlow, s.blkSlow, tc_.pkSlow);
        s.blkSlow = kPowerFloor;
        s.slowCount = 0;
        s.levSlow = 10.0f * std::log10(kMeanSquareWeight * s.msSlow +
                                       (1.0f - kMeanSquareWeight) * s.pkSlow);
        const float reduction =
            s.levSlow > d.thresholdDb ? -(s.levSlow - d.thresholdDb) * slope : 0.0f;
        s.tgtSlow = dbToGain(reduction);
        s.crest = s.levFast - s.levSlow;
        if (std::fabs(s.crestSmooth) < kSubnormalGuard) s.crestSmooth = 0.0f;
        if (limiter_.overDensity < kSubnormalGuard) limiter_.overDensity = 0.0f;
        if (std::fabs(limiter_.relStepWork) < kSubnormalGuard) limiter_.relStepWork = 0.0f;
    }
    ++s.slowCount;

    s.msFast = toward(s.msFast, power, tc_.msFast);
    s.blkFast = std::max(s.blkFast, power);
    if (s.fastCount >= fastBlock_) [[unlikely]] {
        s.pkFast = toward(s.pkFast, s.blkFast, tc_.pkFast);
        s.blkFast = kFastBlockFloor;
        s.fastCount = 0;
        s.levFast = 10.0f * std::log10(kMeanSquareWeight * s.msFast +
                                       (1.0f - kMeanSquareWeight) * s.pkFast);
        const float reduction =
            s.levFast > d.thresholdDb ? -(s.levFast - d.thresholdDb) * slope : 0.0f;
        s.tgtFast = dbToGain(reduction);
        s.crest = s.levFast - s.levSlow;
    }
    ++s.fastCount;

    s.crestSmooth = toward(s.crestSmooth, s.crest, tc_.crest);
}

// Level gain: ramps down ahead of transients, follows the slow target otherwise, and after a
// transient recovers towards the shadow gain, which always follows the slow target.
[[gnu::always_inline]] inline void MaximizerEngine::stepLevelGain() {
    LevelState& s = level_;
    const float lookAhead = lookAheadAsFloat_;
    if (s.crest > kTransientCrestDb) {
        s.rampGain = s.levelGain;
        if (s.tgtFast < s.levelGain - static_cast<float>(s.rampLeft) * s.rampStep) {
            const float step = (s.levelGain - s.tgtFast) * invLookAheadM1_;
            s.rampStep = std::max(s.rampStep, step);
            s.rampLeft = lookAhead_;
            s.ramping = true;
            s.recovering = true;
        }
        if (s.ramping) {
            if (--s.rampLeft == 0) {
                s.rampStep = 0.0f;
                s.ramping = false;
            }
            if (s.rampGain <= s.tgtFast)
                s.ramping = false;
            else
                s.rampGain -= s.rampStep;
            s.levelGain = s.rampGain;
        }
    } else if (s.crest >= 0.0f || !s.recovering) {
        if (s.crest < kTransientCrestDb)
            s.levelGain =
                toward(s.levelGain, s.tgtSlow, s.levelGain > s.tgtSlow ? tc_.attack : tc_.release);
    } else {
        s.rampGain = s.levelGain;
        s.rampStep = 0.0f;
        if (s.rampGain + lookAhead * tc_.riseStep <= s.shadowGain)
            s.rampGain += tc_.riseStep;
        else
            s.rampGain = toward(s.rampGain, s.shadowGain, tc_.recover);
        if (s.shadowGain <= s.rampGain) {
            s.recovering = false;
            s.rampGain = s.shadowGain;
        }
        s.levelGain = s.rampGain;
    }
    s.shadowGain =
        toward(s.shadowGain, s.tgtSlow, s.shadowGain > s.tgtSlow ? tc_.attack : tc_.release);
}

// Limiter detection on the once-delayed signal: overload density, hold and attack planning.
[[gnu::always_inline]] inline void MaximizerEngine::detectPeak(float peak) {
    LimiterState& m = limiter_;
    const DerivedSettings& d = derived_;
    const float lookAhead = lookAheadAsFloat_;

    m.overCount += peak >= d.ceiling ? 1 : 0;
    if (m.densityCount > lookAhead_) [[unlikely]] {
        m.overDensity = m.overCount > 0 ? toward(m.overDensity, tc_.densityTarget, tc_.density)
                                        : tc_.density.keep * m.overDensity;
        m.overCount = 0;
        m.densityCount = 0;
    }
    ++m.densityCount;

    float t;
    if (m.releaseOn) {
        m.testLevel = peak * (m.gain + lookAhead * m.relStep);
        t = m.testLevel;
    } else if (m.attackOn) {
        t = peak * (m.gain +
                    static_cast<float>(lookAhead_ - m.attackLeft) * m.attackStep * invLookAheadM1_);
    } else if (m.holdOn) {
        m.testLevel = peak * (m.gain + static_cast<float>(lookAhead_ - m.holdLeft + 1) * m.relStep);
        t = m.testLevel;
    } else {
        t = peak;
    }

    if (t >= d.holdCeiling && m.gain < kHoldGainLimit && !m.attackOn) {
        m.releaseOn = false;
        m.holdOn = true;
        m.holdLeft = lookAhead_;
    }
    if (t >= d.ceiling && t >= m.attackPeak) [[unlikely]] {
        m.attackOn = true;
        m.holdOn = true;
        m.releaseOn = false;
        const float step = (1.0f - d.ceiling / t) * m.gain;
        if (step >= m.attackStep) {
            m.attackPeak = t;
            m.holdLeft = 2 * lookAhead_;
            m.attackStep = step;
            m.attackLeft = lookAhead_ - 1;
        } else {
            const float done = static_cast<float>(m.attackLeft) * m.attackStep * invLookAheadM1_;
            if (done < step) {
                const int32_t extra =
                    static_cast<int32_t>((step - done) * lookAhead / m.attackStep) + 1;
                m.attackLeft += extra;
                m.holdLeft += extra;
            }
        }
    }
}

// Limiter gain at the output side: release (with release memory), attack, limits, phase ends.
[[gnu::always_inline]] inline void MaximizerEngine::stepLimiterGain() {
    LimiterState& m = limiter_;
    const DerivedSettings& d = derived_;
    const float lookAhead = lookAheadAsFloat_;

    if (m.releaseOn) {
        m.relStepWork = toward(m.relStepWork, m.relTarget, m.relCoef);
        m.relStep = m.relStepWork;
        if (m.testLevel < d.ceiling) {
            m.relCoef = tc_.relTrack.keep;
            m.relTarget = releaseSlowStep_[m.relIndex];
        } else {
            m.relTarget = 0.0f;
            m.relStep -= (m.testLevel - kLimiterGainMax) * invLookAheadM1_;
        }
        if (m.relStepWork * lookAhead + m.gain < 1.0f) {
            m.gain += m.relStep;
        } else {
            m.relCoef = tc_.relTop.keep;
            m.gain = toward(m.gain, 1.0f, tc_.relTop);
        }
        const int32_t k =
            std::clamp(static_cast<int32_t>(m.gain * kReleaseMemoryPerGain - kReleaseMemoryBias), 0,
                       kReleaseMemorySlots - 1);
        const float remembered = rememberedStep(k);
        if (remembered == 0.0f || remembered > m.relStep) m.memStep[k] = m.relStep;
        m.memExpiry[k] = m.releaseFrames + tc_.memoryLifeFrames;
        ++m.releaseFrames;
    } else if (m.attackOn) {
        m.gain -= m.attackStep * invLookAheadM1_;
    }

    if (m.gain > kLimiterGainMax) {
        m.gain = kLimiterGainMax;
        m.releaseOn = false;
        forgetReleaseMemory();
    }
    m.gain = std::max(m.gain, 0.0f);

    if (m.attackLeft == 0) {
        m.attackLeft = -1;
        m.attackOn = false;
        m.attackPeak = 0.0f;
        m.attackStep = 0.0f;
    }
    if (m.holdLeft == 0) [[unlikely]] {
        m.releaseOn = true;
        m.holdLeft = -1;
        m.holdOn = false;
        m.relIndex = std::min(static_cast<int32_t>(m.overDensity * kDensityToReleaseIndex),
                              kReleaseTableSize - 1);
        m.relStepWork = releaseFastStep_[m.relIndex];
        const int32_t k = std::clamp(static_cast<int32_t>(m.gain * kReleaseMemoryPerGain), 0,
                                     kReleaseMemorySlots - 1);
        const float remembered = rememberedStep(k);
        if (remembered != 0.0f && remembered < m.relStepWork) m.relStepWork = remembered;
        m.relCoef = tc_.relTrack.keep;
        m.relStep = m.relStepWork;
        m.relTarget = releaseSlowStep_[m.relIndex];
    }
    if (m.holdOn) {
        --m.holdLeft;
        if (m.attackOn) --m.attackLeft;
    }
}

// The remembered release step of a slot, 0 once it has lived through its release frames.
[[gnu::always_inline]] inline float MaximizerEngine::rememberedStep(int32_t slot) const {
    return limiter_.memExpiry[slot] >= limiter_.releaseFrames ? limiter_.memStep[slot] : 0.0f;
}

void MaximizerEngine::forgetReleaseMemory() {
    limiter_.memStep.fill(0.0f);
    limiter_.memExpiry.fill(-1);
}

// Maps |s| from knee … clipTop onto knee … 1.0 along the selected curve; anything beyond
// clipTop comes out at the curve's end.
[[gnu::always_inline]] inline float MaximizerEngine::softClip(float sample) const {
    const float magnitude = std::fabs(sample);
    if (magnitude <= kSoftClipKnee) return sample;
    float f = (magnitude - kSoftClipKnee) * derived_.clipScale;
    if (f >= 1.0f) f = kClipFractionMax;
    const int32_t i = static_cast<int32_t>(kClipSteps * f); // f > 0: truncation is the floor
    const ClipCurve& curve = tables_.clipCurves[derived_.curve];
    const float y = curve[i] + (curve[i + 1] - curve[i]) * (f - kClipPointFraction[i]) * kClipSteps;
    return std::copysign(y, sample);
}

template <int kFixedChannels, OutputMode kMode, bool kLocked>
void MaximizerEngine::run(const float* const* inputs, float* const* outputs, int32_t frames,
                          CRITICAL_SECTION* perSampleLock) {
    const int32_t channels = kFixedChannels > 0 ? kFixedChannels : channels_;
    const int32_t lookAhead = lookAhead_;
    float* const firstRings = rings_.data();
    float* const secondRings = rings_.data() + static_cast<size_t>(channels) * lookAhead;
    // The channel pointers stay put for the call: held here, they need no reload per frame.
    const float* in[kMaxChannels];
    float* out[kMaxChannels];
    for (int32_t c = 0; c < channels; ++c) {
        in[c] = inputs[c];
        out[c] = outputs[c];
    }
    float sample[kMaxChannels];

    for (int32_t t = 0; t < frames; ++t) {
        if constexpr (kLocked) EnterCriticalSection(perSampleLock);
        const DerivedSettings& d = derived_;
        const bool bypassed = bypass_;

        float power = 0.0f;
        for (int32_t c = 0; c < channels; ++c) {
            const float x = sanitizeInput(in[c][t]);
            sample[c] = x;
            power = std::max(power, x * x);
        }
        stepDetectors(power + kPowerFloor);
        if (!bypassed) stepLevelGain();

        // First delay: read the sample written L frames ago, then store the new one.
        const int32_t at = ringIndex_;
        const float preGain =
            bypassed ? kLimiterPreScale
                     : d.compMakeup * level_.levelGain * d.boostGain * kLimiterPreScale;
        float peak = 0.0f;
        for (int32_t c = 0; c < channels; ++c) {
            float* ring = firstRings + c * lookAhead;
            const float delayed = ring[at];
            ring[at] = sample[c];
            sample[c] = delayed * preGain;
            peak = std::max(peak, std::fabs(sample[c]));
        }
        if (!bypassed) detectPeak(peak);

        // Second delay: the limiter gain computed now meets the signal it was planned for.
        for (int32_t c = 0; c < channels; ++c) {
            float* ring = secondRings + c * lookAhead;
            const float delayed = ring[at];
            ring[at] = sample[c];
            sample[c] = delayed;
        }
        ringIndex_ = at + 1 == lookAhead ? 0 : at + 1;

        if (!bypassed) {
            stepLimiterGain();
            const float gain = d.limMakeup * limiter_.gain * kLimiterOutputTrim;
            for (int32_t c = 0; c < channels; ++c)
                sample[c] = softClip(sample[c] * gain);
        } else {
            for (int32_t c = 0; c < channels; ++c)
                sample[c] *= kBypassGain;
        }
        newAudio_ = true; // bypassed audio counts too: the meters keep running
        minLimGain_ = std::min(minLimGain_, limiter_.gain);
        maxHalfGain_ = std::max(maxHalfGain_, d.halfCompMakeup * level_.levelGain * d.limMakeup);

        if constexpr (kMode == OutputMode::Replace) {
            for (int32_t c = 0; c < channels; ++c)
                out[c][t] = sample[c] * kOutputScale;
        } else {
            for (int32_t c = 0; c < channels; ++c)
                out[c][t] += sample[c] * kOutputScale;
        }
        if constexpr (kLocked) LeaveCriticalSection(perSampleLock);
    }
}

bool MaximizerEngine::readMeters(MeterValues& meters) {
    if (!isOpen()) return false;
    const bool hostRule = options_.meterRule == MeterRule::HostRequest;
    if (hostRule && !newAudio_) return false;
    const float desired = settings_.desiredGainDb;
    const float wholeDesired = std::trunc(desired);
    float headroom = derived_.clipTopDb - level_.crestSmooth - 10.0f * std::log10(level_.peakEnv);
    float reached = 1.0f;
    if (!hostRule || (!bypass_ && !mute_)) {
        headroom -= desired;
        newAudio_ = false;
        reached = 20.0f * std::log10(maxHalfGain_ * minLimGain_);
        maxHalfGain_ = minLimGain_ = 1.0f;
        reached = desired >= 1.0f ? reached / wholeDesired : 1.0f;
    }
    meters.headroomDb = publishable(headroom);
    meters.gainReached = publishable(reached);
    return true;
}

} // namespace orq::maximizer
