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
// unlock()), which the engine takes and releases around every frame (and once more per block
// of frames, while the delay rings move). The frames run in blocks: what depends on the input
// alone and what only applies gains already computed run over the whole block, outside the
// lock; the recursions run frame by frame under it.
#pragma once

#include "maximizer/curve_clipper.h"
#include "maximizer/level_stage.h"
#include "maximizer/maximizer_tables.h"
#include "maximizer/maximizer_wide.h"
#include "maximizer/peak_limiter.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <type_traits>
#if defined(__SSE2__)
#include <emmintrin.h>
#endif

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
// Longest block of frames the engine's passes work on.
constexpr int32_t kMaxBlockFrames = 128;

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
    // The block passes run 8 frames at a time where the processor can (the same bits either
    // way); false keeps them at 4, as on a processor without AVX2.
    bool wideKernels = true;
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
    void setBypassWithDelay(bool on) {
        if (bypass_ != on) ++settingsEpoch_;
        bypass_ = on;
    }
    void setMute(bool on) { mute_ = on; }

    // [audio-thread] no allocation, no exception. Processes frames of each channel; inputs and
    // outputs may be the same arrays. With a lock, it is taken and released around every
    // frame (and once per block of at most L frames), so parameter changes and meter reads
    // interleave at frame granularity: a change takes effect at the next frame.
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
    // The recursions of one frame of the block (serial pass).
    [[gnu::always_inline]] void serialFrame(int32_t i, bool bypassed, float compMakeup,
                                            float boostGain);
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

    // The frames run in blocks of three passes: an input pass (guard, detector power), a
    // serial pass of the recursions under the per-frame lock, and an output pass (second
    // ring, limiter gain, clipper, output). A block is no longer than a ring, so all it reads
    // from the rings was written before it began. Settings take effect at the frame at which
    // the serial pass sees them changed: it ends there, and the output pass of the frames
    // before uses the settings they were computed with.
    int32_t blockFrames_ = 1;    // min(L, kMaxBlockFrames)
    uint32_t settingsEpoch_ = 0; // advanced by every change of settings, bypass or start
    uint32_t resetEpoch_ = 0;    // advanced by every start
    // Per block: the guarded input; the samples out of the first ring; the samples out of the
    // second ring; per frame the detector power (floor included), the largest magnitude out of the
    // first ring, the gain before the second ring and the limiter gain.
    struct BlockScratch {
        alignas(16) float fresh[kMaxChannels][kMaxBlockFrames];
        alignas(16) float first[kMaxChannels][kMaxBlockFrames];
        alignas(16) float second[kMaxChannels][kMaxBlockFrames];
        alignas(16) float power[kMaxBlockFrames];
        alignas(16) float peak[kMaxBlockFrames];
        alignas(16) float preGain[kMaxBlockFrames];
        alignas(16) float limiterGain[kMaxBlockFrames];
    };
    BlockScratch scratch_;
    bool wide_ = false; // the block passes' 8-wide kernels run
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

// The input pass of one channel: the guard of sanitizeInput into fresh, and the detector
// power (the largest square over the channels, std::max's order, which is maxps(b, a) for
// std::max(a, b)) into power; the first channel starts it. useWide: the 8-wide kernels run.
inline void guardAndPower(const float* in, float* fresh, float* power, bool firstChannel, int32_t n,
                          bool useWide) {
    int32_t i = useWide ? wide::guardAndPower(in, fresh, power, firstChannel, n) : 0;
#if defined(__SSE2__)
    const __m128 hi = _mm_set1_ps(kInputLimit);
    const __m128 lo = _mm_set1_ps(-kInputLimit);
    for (; i + 4 <= n; i += 4) {
        const __m128 x = _mm_loadu_ps(in + i);
        // max and min give their second operand for not a number; the ordered mask makes it 0.
        const __m128 held = _mm_and_ps(_mm_min_ps(_mm_max_ps(x, lo), hi), _mm_cmpord_ps(x, x));
        _mm_store_ps(fresh + i, held);
        const __m128 square = _mm_mul_ps(held, held);
        _mm_store_ps(power + i, firstChannel ? square : _mm_max_ps(square, _mm_load_ps(power + i)));
    }
#endif
    for (; i < n; ++i) {
        const float x = sanitizeInput(in[i]);
        fresh[i] = x;
        power[i] = firstChannel ? x * x : std::max(power[i], x * x);
    }
}

// The rings of one channel for a block of n frames (n at most the ring's length) from ring
// position at on: the samples leaving the first ring go to first (their largest magnitude over
// the channels to peak; the first channel starts it), fresh enters it, and the samples leaving
// the second ring go to second.
inline void exchangeRings(float* firstRing, const float* secondRing, int32_t length, int32_t at,
                          const float* fresh, float* first, float* second, float* peak,
                          bool firstChannel, int32_t n, bool useWide) {
    for (int32_t done = 0; done < n;) {
        const int32_t span = std::min(n - done, length - at);
        float* r1 = firstRing + at;
        const float* r2 = secondRing + at;
        int32_t i = useWide ? wide::exchangeRings(r1, r2, fresh + done, first + done, second + done,
                                                  peak + done, firstChannel, span)
                            : 0;
#if defined(__SSE2__)
        const __m128 magnitude = _mm_castsi128_ps(_mm_set1_epi32(0x7fffffff));
        for (; i + 4 <= span; i += 4) {
            const __m128 leaving = _mm_loadu_ps(r1 + i);
            _mm_storeu_ps(r1 + i, _mm_loadu_ps(fresh + done + i));
            _mm_storeu_ps(first + done + i, leaving);
            _mm_storeu_ps(second + done + i, _mm_loadu_ps(r2 + i));
            const __m128 m = _mm_and_ps(leaving, magnitude);
            _mm_storeu_ps(peak + done + i,
                          firstChannel ? m : _mm_max_ps(m, _mm_loadu_ps(peak + done + i)));
        }
#endif
        for (; i < span; ++i) {
            const float leaving = r1[i];
            r1[i] = fresh[done + i];
            first[done + i] = leaving;
            second[done + i] = r2[i];
            const float m = std::fabs(leaving);
            peak[done + i] = firstChannel ? m : std::max(peak[done + i], m);
        }
        done += span;
        at = 0;
    }
}

// n samples (at most the ring's length) times their frames' gains into a ring from position
// at on.
inline void writeScaledRing(float* ring, int32_t length, int32_t at, const float* from,
                            const float* gain, int32_t n, bool useWide) {
    for (int32_t done = 0; done < n;) {
        const int32_t span = std::min(n - done, length - at);
        float* r = ring + at;
        int32_t i = useWide ? wide::scaleInto(r, from + done, gain + done, span) : 0;
#if defined(__SSE2__)
        for (; i + 4 <= span; i += 4)
            _mm_storeu_ps(r + i,
                          _mm_mul_ps(_mm_loadu_ps(from + done + i), _mm_loadu_ps(gain + done + i)));
#endif
        for (; i < span; ++i)
            r[i] = from[done + i] * gain[done + i];
        done += span;
        at = 0;
    }
}

template <OutputMode kMode> [[gnu::always_inline]] inline void emit(float& out, float sample) {
    if constexpr (kMode == OutputMode::Replace)
        out = sample * kOutputScale;
    else
        out += sample * kOutputScale;
}
#if defined(__SSE2__)
template <OutputMode kMode> [[gnu::always_inline]] inline void emit4(float* out, __m128 sample) {
    const __m128 scaled = _mm_mul_ps(sample, _mm_set1_ps(kOutputScale));
    if constexpr (kMode == OutputMode::Replace)
        _mm_storeu_ps(out, scaled);
    else
        _mm_storeu_ps(out, _mm_add_ps(_mm_loadu_ps(out), scaled));
}
#endif
} // namespace detail

inline void MaximizerEngine::serialFrame(int32_t i, bool bypassed, float compMakeup,
                                         float boostGain) {
    BlockScratch& s = scratch_;
    if (level_.detect(s.power[i])) [[unlikely]]
        limiter_.flushTinyState();
    float preGain = kLimiterPreScale;
    if (!bypassed) {
        level_.stepGain();
        // The first delay: the level gain meets the signal it was computed for.
        preGain = compMakeup * level_.gain() * boostGain * kLimiterPreScale;
        // |x·g| is |x|·|g| exactly and rounding keeps order, so the largest delayed magnitude
        // times the gain is the largest scaled magnitude.
        limiter_.detect(s.peak[i] * std::fabs(preGain));
        limiter_.stepGain();
        s.limiterGain[i] = limiter_.gain();
    }
    s.preGain[i] = preGain;
    newAudio_ = true; // bypassed audio counts too: the meters keep running
    minLimGain_ = std::min(minLimGain_, limiter_.gain());
    maxLevelGain_ = std::max(maxLevelGain_, level_.gain());
}

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
    // A lock-free caller changes nothing during the call, so only a real lock needs the
    // per-frame look for changed settings.
    constexpr bool kMayChange = !std::is_same_v<FrameLock, NoFrameLock>;
    const int32_t channels = kFixedChannels > 0 ? kFixedChannels : channels_;
    const int32_t lookAhead = lookAhead_;
    BlockScratch& s = scratch_;

    int32_t done = 0;
    while (done < frames) {
        const int32_t n = std::min(blockFrames_, frames - done);
        // Input pass: the guard and the detector power depend on the input alone.
        for (int32_t c = 0; c < channels; ++c)
            detail::guardAndPower(inputs[c] + done, s.fresh[c], s.power, c == 0, n, wide_);
        for (int32_t i = 0; i < n; ++i)
            s.power[i] += LevelStage::kPowerFloor;

        // The block's frames leave both rings and its input enters the first one. The block is
        // no longer than a ring, so every sample read here was written before it began.
        perFrameLock.lock();
        const int32_t at = ringIndex_;
        const uint32_t resetSeen = resetEpoch_;
        for (int32_t c = 0; c < channels; ++c)
            detail::exchangeRings(level_.ring(c), limiter_.ring(c), lookAhead, at, s.fresh[c],
                                  s.first[c], s.second[c], s.peak, c == 0, n, wide_);

        int32_t from = 0;
        bool restart = false;
        while (from < n && !restart) {
            // Settings for the frames up to the next change, taken with the lock held.
            const uint32_t epoch = settingsEpoch_;
            const bool bypassed = bypass_;
            const float compMakeup = derived_.compMakeup;
            const float boostGain = derived_.boostGain;
            const float limMakeup = derived_.limMakeup;
            const CurveClipper clipper = clipper_;

            // Serial pass: the recursions, one frame at a time under the lock (the first frame
            // of the pass under the lock the settings were taken with). A change of settings
            // (or a start) seen at a frame ends the pass before that frame.
            int32_t to = from;
            if (!kMayChange && !bypassed) {
                // Nothing changes during a lock-free call, so the frames run in spans: while
                // the limiter idles under its ceiling, the level stage holds its state in
                // registers and the limiter only counts the frames; a frame whose peak
                // reaches the ceiling ends the span and runs the limiter the whole way, and
                // frames of an active limiter run the whole way one at a time.
                while (to < n) {
                    const int32_t span = std::min(limiter_.quietFrames(), n - to);
                    if (span == 0) {
                        serialFrame(to++, false, compMakeup, boostGain);
                        continue;
                    }
                    const float ceiling = limiter_.ceiling();
                    const float limiterGain = limiter_.gain();
                    float maxLevelGain = maxLevelGain_;
                    float loudPeak = 0.0f;
                    bool loud = false;
                    bool slowEnded = false;
                    float* preGains = s.preGain + to;
                    const float* peaks = s.peak + to;
                    float* limiterGains = s.limiterGain + to;
                    const int32_t ran =
                        level_.run(s.power + to, span, slowEnded, [&](int32_t i, float levelGain) {
                            maxLevelGain = std::max(maxLevelGain, levelGain);
                            const float preGain =
                                compMakeup * levelGain * boostGain * kLimiterPreScale;
                            preGains[i] = preGain;
                            const float peak = peaks[i] * std::fabs(preGain);
                            if (peak < ceiling) [[likely]] {
                                limiterGains[i] = limiterGain;
                                return true;
                            }
                            loudPeak = peak; // not quiet: this frame's limiter runs in full
                            loud = true;
                            return false;
                        });
                    maxLevelGain_ = maxLevelGain;
                    minLimGain_ = std::min(minLimGain_, limiterGain);
                    newAudio_ = true;
                    // The quiet frames leave the values the flush looks at as they were, so
                    // one flush after them stands for the flush at the block end among them.
                    if (slowEnded) limiter_.flushTinyState();
                    limiter_.passQuietFrames(loud ? ran - 1 : ran);
                    to += ran;
                    if (loud) {
                        limiter_.detect(loudPeak);
                        limiter_.stepGain();
                        s.limiterGain[to - 1] = limiter_.gain();
                        minLimGain_ = std::min(minLimGain_, limiter_.gain());
                    }
                }
                perFrameLock.unlock();
            } else {
                for (;;) {
                    serialFrame(to, bypassed, compMakeup, boostGain);
                    perFrameLock.unlock();
                    if (++to == n) break;
                    perFrameLock.lock();
                    if constexpr (kMayChange) {
                        if (settingsEpoch_ != epoch) [[unlikely]] {
                            perFrameLock.unlock();
                            break;
                        }
                    }
                }
            }

            // Output pass: the limiter gain meeting its peak on the way out of the second
            // ring, the clipper and the output scale.
            for (int32_t c = 0; c < channels; ++c) {
                const float* leaving = s.second[c];
                float* out = outputs[c] + done;
                if (bypassed) {
                    for (int32_t i = from; i < to; ++i)
                        detail::emit<kMode>(out[i], leaving[i] * kBypassGain);
                } else {
                    int32_t i = from;
                    if (wide_)
                        i += wide::limitClipAndEmit(leaving + from, s.limiterGain + from, limMakeup,
                                                    clipper.curvePoints(), clipper.scale(),
                                                    out + from, kMode == OutputMode::Accumulate,
                                                    to - from);
#if defined(__SSE2__)
                    // The limiter gain meets its peak: limMakeup × gain × trim, in that order.
                    const __m128 makeup = _mm_set1_ps(limMakeup);
                    const __m128 trim = _mm_set1_ps(kLimiterOutputTrim);
                    for (; i + 4 <= to; i += 4) {
                        const __m128 gain =
                            _mm_mul_ps(_mm_mul_ps(makeup, _mm_loadu_ps(s.limiterGain + i)), trim);
                        detail::emit4<kMode>(
                            out + i, clipper.clip4(_mm_mul_ps(_mm_loadu_ps(leaving + i), gain)));
                    }
#endif
                    for (; i < to; ++i) {
                        const float gain = limMakeup * s.limiterGain[i] * kLimiterOutputTrim;
                        detail::emit<kMode>(out[i], clipper.clip(leaving[i] * gain));
                    }
                }
            }

            perFrameLock.lock();
            if (resetEpoch_ != resetSeen) {
                // A start before frame to zeroed the rings: the frames from there on run
                // again from the input with the fresh state.
                restart = true;
            } else {
                // The frames' signal enters the second ring: the samples out of the first ring
                // times the gain before the second.
                for (int32_t c = 0; c < channels; ++c)
                    detail::writeScaledRing(limiter_.ring(c), lookAhead, (at + from) % lookAhead,
                                            s.first[c] + from, s.preGain + from, to - from, wide_);
                ringIndex_ = (at + to) % lookAhead;
            }
            from = to;
        }
        perFrameLock.unlock();
        done += from;
    }
}

// The lock-free loop is compiled once, with the engine (at full optimisation).
extern template void MaximizerEngine::process<NoFrameLock>(const float* const*, float* const*,
                                                           int32_t, OutputMode, NoFrameLock&);

} // namespace orq::maximizer
