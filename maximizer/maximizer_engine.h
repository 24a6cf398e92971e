// The maximizer's signal engine: a level stage (programme-level compressor with make-up gain),
// a look-ahead peak limiter and a curve-table soft clipper, run per sample on one stream.
// Two delay rings of L = 2 ms each give the level stage and the limiter time to react, so the
// signal leaves the engine 2L frames late.
//
// One engine serves both builds of the maximizer. The component build derives its gains from
// whole-dB tables, runs one or two channels and honours bypass-with-delay and mute; the Plax
// build derives continuous gains, runs any channel count, replaces or accumulates its output
// and reads its meters unconditionally. The differences are MaximizerOptions, not copies.
#pragma once

#include "maximizer/maximizer_tables.h"

#include <windows.h>

#include <array>
#include <cstdint>
#include <vector>

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

// Quantities derived from the settings; processing reads only these.
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

// A one-pole coefficient c = exp(−n / (T × samples per ms)) with its complement 1 − c.
struct Smoother {
    float keep;
    float take;
};

struct MeterValues {
    float headroomDb = 0.0f;  // remaining headroom estimate
    float gainReached = 1.0f; // share of the desired gain reached (1.0 = all of it)
};

class MaximizerEngine {
  public:
    explicit MaximizerEngine(const MaximizerOptions& options = kComponentOptions);

    // Look-ahead length L (one delay ring) for a rate: 2 × trunc(rate / 1000).
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
    // outputs may be the same arrays. With perSampleLock the lock is taken and released around
    // every frame, so parameter changes and meter reads interleave at sample granularity.
    void process(const float* const* inputs, float* const* outputs, int32_t frames, OutputMode mode,
                 CRITICAL_SECTION* perSampleLock);

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
    float levelGain() const { return level_.levelGain; }
    float shadowGain() const { return level_.shadowGain; }
    float limiterGain() const { return limiter_.gain; }
    float overDensity() const { return limiter_.overDensity; }
    float peakEnvelope() const { return level_.peakEnv; }
    float crestSmooth() const { return level_.crestSmooth; }
    bool hasNewAudio() const { return newAudio_; }

  private:
    enum class Rule { Reset, Change };
    void deriveGains(Rule rule);
    void deriveHeadroom(Rule rule);
    void deriveCeilings();
    void computeTimeConstants();
    void resetState();
    template <OutputMode kMode>
    void runChannels(const float* const* inputs, float* const* outputs, int32_t frames,
                     CRITICAL_SECTION* perSampleLock);
    template <int kFixedChannels, OutputMode kMode, bool kLocked>
    void run(const float* const* inputs, float* const* outputs, int32_t frames,
             CRITICAL_SECTION* perSampleLock);
    void stepDetectors(float power);
    void stepLevelGain();
    void detectPeak(float peak);
    void stepLimiterGain();
    float softClip(float sample) const;
    float rememberedStep(int32_t slot) const;
    void forgetReleaseMemory();

    struct TimeConstants {
        Smoother msFast, msSlow, pkFast, pkSlow, envUp, envDown, attack, release, recover, crest,
            density, relTrack, relTop;
        float riseStep;
        float densityTarget; // 1.0, or 0.9 above 48000 Hz
        int32_t memoryLifeFrames;
    };

    // Level-stage state. Every one-pole smoother obeys s[n] = c·s[n−1] + (1 − c)·target[n].
    struct LevelState {
        float msFast, msSlow, blkFast, blkSlow, pkFast, pkSlow;
        int32_t fastCount, slowCount;
        float levFast, levSlow, tgtFast, tgtSlow;
        float levelGain, shadowGain, rampGain, rampStep;
        int32_t rampLeft;
        bool ramping, recovering;
        float crest; // levFast − levSlow, renewed when either level is
        float crestSmooth, peakEnv;
    };

    // Limiter state: gain falls linearly during attack, holds, then releases at a step that
    // tracks a target and remembers, per 0.05 of gain, the slowest step used recently. A memory
    // entry lives for half a second of release frames: instead of counting every entry down on
    // each release frame, it stores the release-frame count at which it expires.
    struct LimiterState {
        float gain;
        bool attackOn, holdOn, releaseOn;
        int32_t attackLeft, holdLeft;
        float attackStep, attackPeak, relStep, relTarget, relCoef, relStepWork, testLevel;
        int32_t overCount, densityCount;
        float overDensity;
        int32_t relIndex;
        std::array<float, kReleaseMemorySlots> memStep;
        std::array<int64_t, kReleaseMemorySlots> memExpiry;
        int64_t releaseFrames; // release frames completed since the last reset
    };

    MaximizerOptions options_;
    MaximizerSettings settings_;
    DerivedSettings derived_;
    const MaximizerTables& tables_;
    int32_t sampleRateHz_ = 0;
    int32_t channels_ = 0;
    float samplesPerMs_ = 0.0f;
    int32_t slowBlock_ = 0;         // N1
    int32_t fastBlock_ = 0;         // N2
    int32_t lookAhead_ = 0;         // L
    float lookAheadAsFloat_ = 0.0f; // L, converted once for the per-frame gain arithmetic
    float invLookAheadM1_ = 0.0f;
    float invSamplesPerMs_ = 0.0f;
    // Release steps per frame: the tables' steps per millisecond × 1.15 / samples per ms.
    std::array<float, kReleaseTableSize> releaseFastStep_{};
    std::array<float, kReleaseTableSize> releaseSlowStep_{};
    TimeConstants tc_{};
    LevelState level_{};
    LimiterState limiter_{};
    // Ring storage: channel c's first ring at c·L, its second ring at (channels + c)·L.
    std::vector<float> rings_;
    int32_t ringIndex_ = 0;
    float maxHalfGain_ = 1.0f;
    float minLimGain_ = 1.0f;
    bool newAudio_ = true;
    bool bypass_ = false;
    bool mute_ = false;
};

} // namespace orq::maximizer
