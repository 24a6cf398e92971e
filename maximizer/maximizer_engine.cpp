#include "maximizer/maximizer_engine.h"

#include <algorithm>
#include <cmath>

namespace orq::maximizer {
namespace {

constexpr float kBoostGain = 1.2589f;
// HeadRoom step in dB of clip range; curve indices below this use the straight line on change.
constexpr float kHeadroomStepDb = 0.3333f;
constexpr int32_t kStraightCurveBelow = 3;
constexpr float kHoldThresholdOffsetDb = 0.25f;
constexpr float kLimiterBaseDb = 6.0f;
constexpr float kAuditionGain = 2.0f;

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
    : options_(options), tables_(maximizerTables()), clipper_(tables_),
      wide_(options.wideKernels && wide::available()) {}

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
    const float samplesPerMs = static_cast<float>(sampleRateHz) * 0.001f;
    const int32_t slowBlock = static_cast<int32_t>(samplesPerMs); // N1
    const int32_t fastBlock = slowBlock / 3;                      // N2
    lookAhead_ = 2 * slowBlock;
    blockFrames_ = std::min(lookAhead_, kMaxBlockFrames);
    level_.open(samplesPerMs, slowBlock, fastBlock, lookAhead_, channels);
    limiter_.open(sampleRateHz, samplesPerMs, lookAhead_, channels, tables_);
    deriveGains(Rule::Reset);
    deriveHeadroom(Rule::Reset);
    resetState();
    newAudio_ = true;
    return true;
}

void MaximizerEngine::close() {
    level_.close();
    limiter_.close();
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

void MaximizerEngine::resetState() {
    level_.reset();
    limiter_.reset();
    ringIndex_ = 0;
    ++resetEpoch_;
    ++settingsEpoch_;
    maxHalfGain_ = minLimGain_ = 1.0f;
    maxLevelGain_ = 0.0f;
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

// Takes the gain-reached product for the frames since the last fold, before its factors change.
void MaximizerEngine::foldGainMeter() {
    const DerivedSettings& d = derived_;
    maxHalfGain_ = std::max(maxHalfGain_, d.halfCompMakeup * maxLevelGain_ * d.limMakeup);
    maxLevelGain_ = 0.0f;
}

void MaximizerEngine::deriveGains(Rule rule) {
    foldGainMeter();
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
    level_.setThresholdDb(d.thresholdDb);
    level_.setInverseRatio(d.invRatio);
    deriveCeilings();
}

void MaximizerEngine::deriveHeadroom(Rule rule) {
    DerivedSettings& d = derived_;
    const int32_t curveIndex = settings_.headroom - kMinHeadroom;
    d.clipTopDb = static_cast<float>(curveIndex) * kHeadroomStepDb;
    d.clipTop = dbToGain(d.clipTopDb);
    d.curve = (rule == Rule::Change && curveIndex < kStraightCurveBelow) ? 0 : curveIndex;
    clipper_.setRange(d.clipTop);
    clipper_.setCurve(d.curve);
    d.clipScale = clipper_.scale();
    deriveCeilings();
}

void MaximizerEngine::deriveCeilings() {
    // Every change of settings ends here: a running block takes it from the next frame on.
    ++settingsEpoch_;
    DerivedSettings& d = derived_;
    d.halfCompMakeup = 0.5f * d.compMakeup;
    d.ceiling = d.clipTop * d.limThreshold * d.boostGain;
    d.holdCeiling = d.clipTop * d.holdThreshold * d.boostGain;
    d.auditionScale =
        settings_.audition ? kAuditionGain / (d.boostGain * d.compMakeup * d.limMakeup) : 1.0f;
    limiter_.setCeilings(d.ceiling, d.holdCeiling);
}

bool MaximizerEngine::readMeters(MeterValues& meters) {
    if (!isOpen()) return false;
    const bool hostRule = options_.meterRule == MeterRule::HostRequest;
    if (hostRule && !newAudio_) return false;
    const float desired = settings_.desiredGainDb;
    const float wholeDesired = std::trunc(desired);
    float headroom =
        derived_.clipTopDb - level_.crestSmooth() - 10.0f * std::log10(level_.peakEnvelope());
    float reached = 1.0f;
    if (!hostRule || (!bypass_ && !mute_)) {
        headroom -= desired;
        newAudio_ = false;
        foldGainMeter();
        reached = 20.0f * std::log10(maxHalfGain_ * minLimGain_);
        maxHalfGain_ = minLimGain_ = 1.0f;
        reached = desired >= 1.0f ? reached / wholeDesired : 1.0f;
    }
    meters.headroomDb = publishable(headroom);
    meters.gainReached = publishable(reached);
    return true;
}

template void MaximizerEngine::process<NoFrameLock>(const float* const*, float* const*, int32_t,
                                                    OutputMode, NoFrameLock&);

} // namespace orq::maximizer
