#include "compressor/gain_stage.h"

#include <algorithm>
#include <cmath>

namespace orq::compressor {

namespace {

// One-pole coefficient for a time constant: exp(-1000 / (ms × sampleRate)).
float timeCoefficient(float ms, float sampleRate) {
    return static_cast<float>(std::exp(-1000.0 / (std::max<double>(ms, kMinTimeMs) * sampleRate)));
}

// Table steps spanned by levels 0 … 1 in the look-up (one less than the table's last index).
constexpr double kLookUpSteps = 254.0;

} // namespace

GainStage::GainStage(int32_t channels, float sampleRate, float attackMs, float releaseMs,
                     int32_t holdSamples, float mix)
    : channels_(std::max<int32_t>(channels, 0)), sampleRate_(sampleRate),
      powerCoef_(timeCoefficient(static_cast<float>(kPowerSmoothingMs), sampleRate)), mix_(mix),
      holdSamples_(std::max<int32_t>(holdSamples, 1)),
      delayLength_(std::max<int32_t>(1, static_cast<int32_t>(kLookAheadSeconds * sampleRate))),
      delay_(static_cast<size_t>(channels_) * delayLength_, 0.0f) {
    table_.fill(1.0f);
    setTimes(attackMs, releaseMs);
}

void GainStage::setTimes(float attackMs, float releaseMs) {
    attackCoef_ = timeCoefficient(attackMs, sampleRate_);
    releaseCoef_ = timeCoefficient(releaseMs, sampleRate_);
}

void GainStage::setHoldSamples(int32_t holdSamples) {
    holdSamples_ = std::max<int32_t>(holdSamples, 1);
}

double GainStage::lookUp(double level) const {
    // Beyond full scale, and a level that is not a number (a broken signal), take the last entry:
    // no level ever indexes outside the table.
    if (!(level <= 1.0)) return table_[kGainTableSize - 1];
    const double f = level * kLookUpSteps;
    if (f < 0.0) return table_[0];
    const double i = std::nearbyint(f); // ties to even
    const int32_t k = static_cast<int32_t>(i);
    return table_[k] + (static_cast<double>(table_[k + 1]) - table_[k]) * (f - i);
}

void GainStage::process(float* const* channels, int32_t frames) {
    // Local copies keep the per-frame state in registers.
    float smoothed = smoothedPower_;
    float held = heldPower_;
    float counter = counter_;
    double gain = gain_;
    double target = targetGain_;
    int32_t w = writeIndex_;
    int32_t releaseWait = releaseWait_;
    const float powerCoef = powerCoef_;
    const double attack = attackCoef_;
    const double release = releaseCoef_;
    const float hold = static_cast<float>(holdSamples_);

    for (int32_t i = 0; i < frames; ++i) {
        float peak = kPowerFloor;
        for (int32_t ch = 0; ch < channels_; ++ch)
            peak = std::max(peak, std::fabs(channels[ch][i]));
        smoothed = powerCoef * smoothed + (1.0f - powerCoef) * (peak * peak);
        if (smoothed > held) held = smoothed;
        if (counter >= hold) {
            level_ = std::sqrt(static_cast<double>(mix_ * smoothed + (1.0f - mix_) * held));
            outputLevel_ = static_cast<float>(level_ * gain);
            target = lookUp(level_);
            held = kPowerFloor;
            counter = 0.0f;
        }
        counter += 1.0f;

        if (gain > target) {
            gain = (1.0 - attack) * target + attack * gain;
            releaseWait = 0;
        } else if (releaseWait < delayLength_) {
            ++releaseWait;
        } else {
            gain = (1.0 - release) * target + release * gain;
        }

        // Look-ahead: write at w, output what was written delayLength - 1 frames ago.
        const int32_t next = w + 1 == delayLength_ ? 0 : w + 1;
        const float applied = passThrough_ ? 1.0f : static_cast<float>(gain);
        for (int32_t ch = 0; ch < channels_; ++ch) {
            float* line = delay_.data() + static_cast<size_t>(ch) * delayLength_;
            line[w] = channels[ch][i];
            channels[ch][i] = passThrough_ ? line[next] : line[next] * applied;
        }
        w = next;
    }

    smoothedPower_ = smoothed;
    heldPower_ = held;
    counter_ = counter;
    gain_ = gain;
    targetGain_ = target;
    writeIndex_ = w;
    releaseWait_ = releaseWait;
}

void GainStage::reset() {
    smoothedPower_ = kPowerFloor;
    heldPower_ = kPowerFloor;
    counter_ = 0.0f;
    targetGain_ = 1.0;
    gain_ = 1.0;
    level_ = 0.0;
    outputLevel_ = 0.0f;
    std::fill(delay_.begin(), delay_.end(), 0.0f);
    writeIndex_ = 0;
    releaseWait_ = 0;
}

} // namespace orq::compressor
