#include "compressor/gain_stage.h"

#include "dsp/lane4.h"

#include <algorithm>
#include <array>
#include <cmath>

namespace orq::compressor {

namespace {

// One-pole coefficient for a time constant: exp(-1000 / (ms × sampleRate)).
float timeCoefficient(float ms, float sampleRate) {
    return static_cast<float>(std::exp(-1000.0 / (std::max<double>(ms, kMinTimeMs) * sampleRate)));
}

// Table steps spanned by levels 0 … 1 in the look-up (one less than the table's last index).
constexpr double kLookUpSteps = 254.0;

using dsp::Lane4;
using dsp::loadLane4;
using dsp::storeLane4;
constexpr int32_t kLanes = dsp::kLaneCount;

// Fills p[0, n) with weight × peak², the peak being the largest magnitude over the channels at
// each frame from start on (at least kPowerFloor; a sample that is not a number counts for
// nothing). Four frames at a time, each operation the same as frame by frame.
void weightedPeakPowers(const float* const* channels, int32_t channelCount, int32_t start,
                        int32_t n, float weight, float* p) {
    int32_t i = 0;
    for (; i + kLanes <= n; i += kLanes) {
        Lane4 peak = dsp::splat(kPowerFloor);
        for (int32_t ch = 0; ch < channelCount; ++ch) {
            const Lane4 v = loadLane4(channels[ch] + start + i);
            const Lane4 m = v < 0.0f ? -v : v;
            peak = peak < m ? m : peak;
        }
        storeLane4(p + i, weight * (peak * peak));
    }
    for (; i < n; ++i) {
        float peak = kPowerFloor;
        for (int32_t ch = 0; ch < channelCount; ++ch)
            peak = std::max(peak, std::fabs(channels[ch][start + i]));
        p[i] = weight * (peak * peak);
    }
}

// One stretch of the look-ahead delay where neither index wraps: slot j + 1 holds the sample
// that leaves (times gains[j], unless gains is null), slot j takes x[j] in its place.
void delayRun(float* slots, float* x, const float* gains, int32_t run) {
    int32_t j = 0;
    if (gains != nullptr) {
        for (; j + kLanes <= run; j += kLanes) {
            const Lane4 delayed = loadLane4(slots + j + 1);
            storeLane4(slots + j, loadLane4(x + j));
            storeLane4(x + j, delayed * loadLane4(gains + j));
        }
    } else {
        for (; j + kLanes <= run; j += kLanes) {
            const Lane4 delayed = loadLane4(slots + j + 1);
            storeLane4(slots + j, loadLane4(x + j));
            storeLane4(x + j, delayed);
        }
    }
    for (; j < run; ++j) {
        const float delayed = slots[j + 1];
        slots[j] = x[j];
        x[j] = gains != nullptr ? delayed * gains[j] : delayed;
    }
}

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
    int32_t releaseWait = releaseWait_;
    const float powerCoef = powerCoef_;
    const float powerWeight = 1.0f - powerCoef;
    const double attack = attackCoef_;
    const double release = releaseCoef_;
    const float hold = static_cast<float>(holdSamples_);

    // A chunk at a time: the peaks of all channels four frames at a time, then the level and
    // gain recursion frame by frame, then the look-ahead delay and the gain over each channel on
    // its own. The arithmetic per frame is the same as one loop doing all three.
    std::array<float, kChunkFrames> gains;
    for (int32_t start = 0; start < frames; start += kChunkFrames) {
        const int32_t n = std::min(frames - start, kChunkFrames);
        float* g = gains.data();
        weightedPeakPowers(channels, channels_, start, n, powerWeight, g);

        for (int32_t i = 0; i < n; ++i) {
            smoothed = powerCoef * smoothed + g[i];
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
            g[i] = static_cast<float>(gain);
        }

        int32_t w = writeIndex_;
        for (int32_t ch = 0; ch < channels_; ++ch) {
            w = writeIndex_;
            float* line = delay_.data() + static_cast<size_t>(ch) * delayLength_;
            float* x = channels[ch] + start;
            for (int32_t i = 0; i < n;) {
                // Look-ahead: write at w, output what was written delayLength - 1 frames ago (the
                // slot after w). A stretch where neither index wraps runs as one plain loop.
                if (w + 1 == delayLength_) {
                    line[w] = x[i];
                    x[i] = passThrough_ ? line[0] : line[0] * g[i];
                    w = 0;
                    ++i;
                    continue;
                }
                const int32_t run = std::min(n - i, delayLength_ - 1 - w);
                delayRun(line + w, x + i, passThrough_ ? nullptr : g + i, run);
                w += run;
                i += run;
            }
        }
        writeIndex_ = w;
    }

    smoothedPower_ = smoothed;
    heldPower_ = held;
    counter_ = counter;
    gain_ = gain;
    targetGain_ = target;
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
