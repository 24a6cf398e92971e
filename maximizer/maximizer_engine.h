// The maximizer's signal engine: a level stage (programme-level compressor with make-up gain),
// a look-ahead peak limiter and a curve-table soft clipper, run per frame on one stream.
// Two delay rings of L = 2 ms each give the level stage and the limiter time to react, so the
// signal leaves the engine 2L frames late, which is the latency it reports.
//
// One engine serves both builds of the maximizer. The component build derives its gains from
// whole-dB tables, runs one or two channels and honours bypass-with-delay and mute; the Plax
// build derives continuous gains, runs any channel count, replaces or accumulates its output
// and reads its meters unconditionally. The differences are MaximizerOptions, not copies.
//
// The engine knows no platform: a caller that wants parameter changes and meter reads to
// interleave with processing at frame granularity passes its lock (anything with lock() and
// unlock()), which the engine takes and releases around every frame.
#pragma once

#include "maximizer/curve_clipper.h"
#include "maximizer/level_stage.h"
#include "maximizer/maximizer_tables.h"
#include "maximizer/peak_limiter.h"

#include <algorithm>
#include <cmath>
#include <cstdint>

namespace orq::maximizer {

// Ranges inside which every table index exists. Values from outside are clamped when they
// arrive; a value that is not a number becomes the parameter's default.
constexpr float kMinDesiredGainDb = 0.0f;
constexpr float kMaxDesiredGainDb = 12.0f;
constexpr float kMinDensity = 0.0f;
constexpr float kMaxDensity = 1.0f;
constexpr int32_t kMinHeadroom = -9;
constexpr int32_t kMaxHeadroom = 9;
constexpr float kDefaultDesiredGainDb = 0.0f;
constexpr float kDefaultDensity = 0.0f;
constexpr int32_t kDefaultHeadroom = 0;

// Rates the engine can run: below kMinSampleRateHz the fast detector block would be empty.
constexpr int32_t kMinSampleRateHz = 3000;
constexpr int32_t kMaxSampleRateHz = 768000;
constexpr int32_t kMaxChannels = 8;

// −6 dB before the limiter; the limiter's make-up (+6 dB at least) restores it.
constexpr float kLimiterPreScale = 0.5012f;
// Bypassed: the ±6 dB pair cancels while the delay stays.
constexpr float kBypassGain = 1.995f;
constexpr float kLimiterOutputTrim = 0.999f;
// Every output sample is scaled by this after the clipper, so full scale is never reached.
constexpr float kOutputScale = 0.99974f;

enum class GainDerivation {
    WholeDbTables, // component build: make-up and limiter gains in whole dB from the tables
    Continuous,    // Plax build: the same quantities from the exact dB values
};

enum class MeterRule {
    HostRequest,   // component build: only after new audio, bypass/mute aware, bad values -> 0
    Unconditional, // Plax build: computed on every call
};

enum class OutputMode { Replace, Accumulate };

struct MaximizerOptions {
    GainDerivation derivation = GainDerivation::WholeDbTables;
    MeterRule meterRule = MeterRule::HostRequest;
};
constexpr MaximizerOptions kComponentOptions{GainDerivation::WholeDbTables, MeterRule::HostRequest};
constexpr MaximizerOptions kPlaxOptions{GainDerivation::Continuous, MeterRule::Unconditional};

// The user's settings as the engine holds them (already clamped).
struct MaximizerSettings {
    float desiredGainDb = kDefaultDesiredGainDb;
    float density = kDefaultDensity; // share of the desired gain given to the level stage
    int32_t headroom = kDefaultHeadroom;
    bool boost = false;
    bool audition = false;
};

// Quantities derived from the settings and handed to the stages.
struct DerivedSettings {
    int32_t ratioIndex = 1;   // k: level-stage ratio 1 + 0.1 k
    int32_t levelStageDb = 0; // cp: whole dB carried by the level stage
    int32_t limiterIndex = 0; // j: whole dB carried by the limiter (table derivation)
    float invRatio = 1.0f;
    float thresholdDb = 0.0f;
    float compMakeup = 1.0f;
    float halfCompMakeup = 0.5f; // 0.5 × compMakeup, for the gain-reached meter
    float limThreshold = 1.0f;
    float holdThreshold = 1.0f;
    float limMakeup = 1.0f;
    float boostGain = 1.0f;
    float clipTopDb = 0.0f;
    float clipTop = 1.0f;
    float clipScale = 1.0f;
    int32_t curve = 0;
    float ceiling = 1.0f;       // clipTop × limThreshold × boostGain: the limiter's target
    float holdCeiling = 1.0f;   // clipTop × holdThreshold × boostGain
    float auditionScale = 1.0f; // derived and kept; no part of the signal path reads it
};

struct MeterValues {
    float headroomDb = 0.0f;  // remaining headroom estimate
    float gainReached = 1.0f; // share of the desired gain reached (1.0 = all of it)
};

// The lock of a caller that needs none.
struct NoFrameLock {
    void lock() {}
    void unlock() {}
};

class MaximizerEngine {
  public:
    explicit MaximizerEngine(const MaximizerOptions& options = kComponentOptions);

    // Look-ahead length L (one delay ring) for a rate: 2 × trunc(rate × 0.001).
    static int32_t lookAheadFrames(int32_t sampleRateHz);

    // [ui-thread] allocates. Builds rings and state for the rate and channel count and derives
    // the current settings (given through the setters, before or after) with the reset rules.
    // False (nothing allocated) for a rate outside kMinSampleRateHz … kMaxSampleRateHz or a
    // channel count outside 1 … kMaxChannels.
    bool open(int32_t sampleRateHz, int32_t channels);
    // [ui-thread] frees everything.
    void close();
    bool isOpen() const { return lookAhead_ > 0; }
    // [any-thread] no allocation. Derives the settings again with the reset rules and returns
    // every state to its value after open (rings zeroed, release memory cleared); the
    // new-audio flag keeps its value.
    void start();

    // [any-thread, under the caller's lock] no allocation. Parameter changes: each clamps its
    // value and re-derives with the change rules (limiter index rounding up when the whole-dB
    // parts fall short of the desired gain; headroom below −6 selecting the straight curve).
    void setDesiredGain(float gainDb);
    void setDensity(float density);
    void setHeadroom(float headroom); // rounded to the nearest whole step
    void setBoost(float boost);       // on at 0.5 and above
    void setAudition(float audition);
    // [any-thread, under the caller's lock] no allocation. Host values of the component build:
    // bypass keeps the delay and the detectors but freezes the level and limiter gains; mute
    // (read once per process call) zeroes the output and freezes everything.
    void setBypassWithDelay(bool on) { bypass_ = on; }
    void setMute(bool on) { mute_ = on; }

    // [audio-thread] no allocation, no exception. Processes frames of each channel; inputs and
    // outputs may be the same arrays. With a lock, it is taken and released around every
    // frame, so parameter changes and meter reads interleave at frame granularity.
    void process(const float* const* inputs, float* const* outputs, int32_t frames,
                 OutputMode mode) {
        NoFrameLock none;
        process(inputs, outputs, frames, mode, none);
    }
    template <class FrameLock>
    void process(const float* const* inputs, float* const* outputs, int32_t frames, OutputMode mode,
                 FrameLock& perFrameLock);

    // [any-thread, under the caller's lock] Host-request rule: false (nothing computed) when no
    // audio was processed since the last read. Unconditional rule: always true.
    bool readMeters(MeterValues& meters);

    const MaximizerSettings& settings() const { return settings_; }
    const DerivedSettings& derived() const { return derived_; }
    int32_t sampleRate() const { return sampleRateHz_; }
    int32_t channels() const { return channels_; }
    int32_t lookAhead() const { return lookAhead_; }
    // Reported latency: the true delay of the signal, 2L frames (two rings of L).
    int32_t latencyFrames() const { return 2 * lookAhead_; }

    // Observation of the running state, for meters and tests.
    float levelGain() const { return level_.gain(); }
    float shadowGain() const { return level_.shadowGain(); }
    float limiterGain() const { return limiter_.gain(); }
    float overDensity() const { return limiter_.overDensity(); }
    float peakEnvelope() const { return level_.peakEnvelope(); }
    float crestSmooth() const { return level_.crestSmooth(); }
    bool hasNewAudio() const { return newAudio_; }

  private:
    enum class Rule { Reset, Change };
    void deriveGains(Rule rule);
    void deriveHeadroom(Rule rule);
    void deriveCeilings();
    void foldGainMeter();
    void resetState();
    template <int kFixedChannels, OutputMode kMode, class FrameLock>
    void run(const float* const* inputs, float* const* outputs, int32_t frames,
             FrameLock& perFrameLock);

    MaximizerOptions options_;
    MaximizerSettings settings_;
    DerivedSettings derived_;
    const MaximizerTables& tables_;
    int32_t sampleRateHz_ = 0;
    int32_t channels_ = 0;
    int32_t lookAhead_ = 0; // L
    LevelStage level_;
    PeakLimiter limiter_;
    CurveClipper clipper_;
    int32_t ringIndex_ = 0; // the write position shared by both stages' rings
    // Meter state. The gain-reached meter wants the largest halfCompMakeup × levelGain ×
    // limMakeup; the product rises with levelGain, so the frames keep only the largest level
    // gain and the product is taken when a factor changes or the meter is read.
    float maxHalfGain_ = 1.0f;
    float maxLevelGain_ = 0.0f;
    float minLimGain_ = 1.0f;
    bool newAudio_ = true;
    bool bypass_ = false;
    bool mute_ = false;
};

namespace detail {

// Inputs are held inside ±1000 (+60 dBFS) so that powers stay finite; not-a-number becomes 0.
constexpr float kInputLimit = 1000.0f;
[[gnu::always_inline]] inline float sanitizeInput(float x) {
    if (std::fabs(x) <= kInputLimit) [[likely]]
        return x;
    if (std::isnan(x)) return 0.0f;
    return x > 0.0f ? kInputLimit : -kInputLimit;
}

} // namespace detail

template <class FrameLock>
void MaximizerEngine::process(const float* const* inputs, float* const* outputs, int32_t frames,
                              OutputMode mode, FrameLock& perFrameLock) {
    if (!isOpen() || frames <= 0) return;
    if (mute_) {
        if (mode == OutputMode::Replace)
            for (int32_t c = 0; c < channels_; ++c)
                std::fill_n(outputs[c], frames, 0.0f);
        return;
    }
    // The frame loop is compiled for the channel count and output mode at hand, so the loop
    // itself tests neither.
    const bool replace = mode == OutputMode::Replace;
    switch (channels_) {
    case 1:
        replace ? run<1, OutputMode::Replace>(inputs, outputs, frames, perFrameLock)
                : run<1, OutputMode::Accumulate>(inputs, outputs, frames, perFrameLock);
        break;
    case 2:
        replace ? run<2, OutputMode::Replace>(inputs, outputs, frames, perFrameLock)
                : run<2, OutputMode::Accumulate>(inputs, outputs, frames, perFrameLock);
        break;
    default:
        replace ? run<0, OutputMode::Replace>(inputs, outputs, frames, perFrameLock)
                : run<0, OutputMode::Accumulate>(inputs, outputs, frames, perFrameLock);
        break;
    }
}

template <int kFixedChannels, OutputMode kMode, class FrameLock>
void MaximizerEngine::run(const float* const* inputs, float* const* outputs, int32_t frames,
                          FrameLock& perFrameLock) {
    const int32_t channels = kFixedChannels > 0 ? kFixedChannels : channels_;
    const int32_t lookAhead = lookAhead_;
    // The channel pointers stay put for the call: held here, they need no reload per frame.
    const float* in[kMaxChannels];
    float* out[kMaxChannels];
    float* firstRing[kMaxChannels];
    float* secondRing[kMaxChannels];
    for (int32_t c = 0; c < channels; ++c) {
        in[c] = inputs[c];
        out[c] = outputs[c];
        firstRing[c] = level_.ring(c);
        secondRing[c] = limiter_.ring(c);
    }
    float sample[kMaxChannels];

    for (int32_t t = 0; t < frames; ++t) {
        perFrameLock.lock();
        const DerivedSettings& d = derived_;
        const bool bypassed = bypass_;

        float power = 0.0f;
        for (int32_t c = 0; c < channels; ++c) {
            const float x = detail::sanitizeInput(in[c][t]);
            sample[c] = x;
            power = std::max(power, x * x);
        }
        if (level_.detect(power + LevelStage::kPowerFloor)) [[unlikely]]
            limiter_.flushTinyState();
        if (!bypassed) level_.stepGain();

        // First delay: the level gain meets the signal it was computed for.
        const int32_t at = ringIndex_;
        const float preGain = bypassed
                                  ? kLimiterPreScale
                                  : d.compMakeup * level_.gain() * d.boostGain * kLimiterPreScale;
        float peak = 0.0f;
        for (int32_t c = 0; c < channels; ++c) {
            sample[c] = DelayRings::exchange(firstRing[c], at, sample[c]) * preGain;
            peak = std::max(peak, std::fabs(sample[c]));
        }
        if (!bypassed) limiter_.detect(peak);

        // Second delay: the limiter gain planned now meets its peak.
        for (int32_t c = 0; c < channels; ++c)
            sample[c] = DelayRings::exchange(secondRing[c], at, sample[c]);
        ringIndex_ = at + 1 == lookAhead ? 0 : at + 1;

        if (!bypassed) {
            limiter_.stepGain();
            const float gain = d.limMakeup * limiter_.gain() * kLimiterOutputTrim;
            for (int32_t c = 0; c < channels; ++c)
                sample[c] = clipper_.clip(sample[c] * gain);
        } else {
            for (int32_t c = 0; c < channels; ++c)
                sample[c] *= kBypassGain;
        }
        newAudio_ = true; // bypassed audio counts too: the meters keep running
        minLimGain_ = std::min(minLimGain_, limiter_.gain());
        maxLevelGain_ = std::max(maxLevelGain_, level_.gain());

        if constexpr (kMode == OutputMode::Replace) {
            for (int32_t c = 0; c < channels; ++c)
                out[c][t] = sample[c] * kOutputScale;
        } else {
            for (int32_t c = 0; c < channels; ++c)
                out[c][t] += sample[c] * kOutputScale;
        }
        perFrameLock.unlock();
    }
}

// The lock-free loop is compiled once, with the engine (at full optimisation).
extern template void MaximizerEngine::process<NoFrameLock>(const float* const*, float* const*,
                                                           int32_t, OutputMode, NoFrameLock&);

} // namespace orq::maximizer
