#include "maximizer/maximizer_engine.h"
#include "maximizer/maximizer_test_support.h"

#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstring>
#include <functional>
#include <limits>
#include <string>
#include <utility>
#include <vector>

namespace orq::maximizer {
namespace {

using test::Channels;
constexpr double kRate = 44100.0;
constexpr int32_t kDelay44k = 176; // 2L at 44100 Hz

struct Settings {
    float desiredGainDb = 0.0f;
    float density = 0.0f;
    float headroom = 0.0f;
    float boost = 0.0f;
};

void configure(MaximizerEngine& engine, const Settings& s) {
    engine.setDesiredGain(s.desiredGainDb);
    engine.setDensity(s.density);
    engine.setHeadroom(s.headroom);
    engine.setBoost(s.boost);
}

MaximizerEngine openEngine(const Settings& s, int32_t channels = 2, int32_t rate = 44100,
                           const MaximizerOptions& options = kComponentOptions) {
    MaximizerEngine engine(options);
    configure(engine, s);
    EXPECT_TRUE(engine.open(rate, channels));
    return engine;
}

// ---- Deriving the settings ----------------------------------------------------------------

TEST(MaximizerDerivation, desired_gain_zero_gives_neutral_level_stage_and_cancelling_limiter) {
    MaximizerEngine engine = openEngine({});
    const DerivedSettings& d = engine.derived();
    EXPECT_NEAR(d.thresholdDb, 0.0f, 0.0);
    EXPECT_NEAR(d.compMakeup, 1.0f, 0.0);
    EXPECT_NEAR(d.limMakeup * 0.5012f, 1.0, 1e-3);
    EXPECT_EQ(d.limiterIndex, 0);
}

TEST(MaximizerDerivation, density_splits_the_desired_gain_between_level_stage_and_limiter) {
    MaximizerEngine full = openEngine({12.0f, 1.0f});
    EXPECT_EQ(full.derived().ratioIndex, 13);
    EXPECT_NEAR(full.derived().invRatio, 1.0 / 2.3, 1e-6);
    EXPECT_EQ(full.derived().levelStageDb, 12);
    EXPECT_EQ(full.derived().limiterIndex, 0);
    EXPECT_NEAR(full.derived().compMakeup, std::pow(10.0, 12.0 / 20.0), 1e-4);
    EXPECT_NEAR(full.derived().thresholdDb, -12.0 / (1.0 - 1.0 / 2.3), 1e-4);

    MaximizerEngine none = openEngine({12.0f, 0.0f});
    EXPECT_EQ(none.derived().ratioIndex, 1);
    EXPECT_NEAR(none.derived().invRatio, 1.0 / 1.1, 1e-6);
    EXPECT_EQ(none.derived().levelStageDb, 0);
    EXPECT_EQ(none.derived().limiterIndex, 12);
}

TEST(MaximizerDerivation, limiter_index_rounds_up_on_change_but_not_at_open_or_start) {
    MaximizerEngine engine = openEngine({7.5f, 0.5f});
    EXPECT_EQ(engine.derived().levelStageDb, 3);
    EXPECT_EQ(engine.derived().limiterIndex, 3);
    engine.setDesiredGain(7.5f); // the same values arriving as a change
    engine.setDensity(0.5f);
    EXPECT_EQ(engine.derived().limiterIndex, 4);
    EXPECT_NEAR(engine.derived().limMakeup, std::pow(10.0, 10.0 / 20.0), 1e-4);
    engine.start();
    EXPECT_EQ(engine.derived().limiterIndex, 3);
}

TEST(MaximizerDerivation, headroom_selects_clip_range_and_curve_with_straight_line_on_change) {
    MaximizerEngine engine = openEngine({0.0f, 0.0f, -8.0f});
    EXPECT_EQ(engine.derived().curve, 1); // at open the low-index rule does not apply
    EXPECT_NEAR(engine.derived().clipTopDb, 0.3333f, 1e-5);
    engine.setHeadroom(-8.0f);
    EXPECT_EQ(engine.derived().curve, 0);
    engine.setHeadroom(-6.0f);
    EXPECT_EQ(engine.derived().curve, 3);
    engine.setHeadroom(9.0f);
    EXPECT_EQ(engine.derived().curve, 18);
    EXPECT_NEAR(engine.derived().clipTop, std::pow(10.0, 18 * 0.3333 / 20.0), 1e-5);
    EXPECT_NEAR(engine.derived().clipScale, 1.0 / (engine.derived().clipTop - 0.56234), 1e-4);
    engine.setHeadroom(-9.0f);
    EXPECT_NEAR(engine.derived().clipTop, 1.0f, 1e-7);
}

TEST(MaximizerDerivation, boost_raises_ceilings_by_two_db) {
    MaximizerEngine engine = openEngine({6.0f});
    const float ceiling = engine.derived().ceiling;
    engine.setBoost(1.0f);
    EXPECT_NEAR(engine.derived().boostGain, 1.2589f, 0.0);
    EXPECT_NEAR(engine.derived().ceiling / ceiling, 1.2589, 1e-5);
}

TEST(MaximizerDerivation, plax_options_derive_continuous_gains) {
    MaximizerEngine engine = openEngine({7.5f, 0.5f}, 2, 44100, kPlaxOptions);
    const DerivedSettings& d = engine.derived();
    EXPECT_NEAR(d.compMakeup, std::pow(10.0, 3.75 / 20.0), 1e-5);
    EXPECT_NEAR(d.limMakeup, std::pow(10.0, 9.75 / 20.0), 1e-4);
    EXPECT_NEAR(d.limThreshold, std::pow(10.0, -9.75 / 20.0), 1e-6);
    EXPECT_NEAR(d.holdThreshold, std::pow(10.0, -10.0 / 20.0), 1e-6);
    EXPECT_NEAR(d.thresholdDb, -3.0 / (1.0 - 1.0 / 1.7), 1e-4);
}

TEST(MaximizerDerivation, out_of_range_and_not_a_number_settings_are_clamped_or_defaulted) {
    MaximizerEngine engine = openEngine({});
    const float nan = std::numeric_limits<float>::quiet_NaN();
    const float inf = std::numeric_limits<float>::infinity();
    struct Case {
        float gain, density, headroom;
        float wantGain, wantDensity;
        int32_t wantHeadroom;
    };
    const Case cases[] = {
        {40.0f, 5.0f, 100.0f, 12.0f, 1.0f, 9}, {-3.0f, -1.0f, -100.0f, 0.0f, 0.0f, -9},
        {nan, nan, nan, 0.0f, 0.0f, 0},        {inf, inf, inf, 12.0f, 1.0f, 9},
        {-inf, -inf, -inf, 0.0f, 0.0f, -9},    {1e30f, 1e30f, 2.6f, 12.0f, 1.0f, 3},
    };
    const Channels loud = test::whiteNoise(2, 4000, 4.0, 7);
    for (const Case& c : cases) {
        engine.setDesiredGain(c.gain);
        engine.setDensity(c.density);
        engine.setHeadroom(c.headroom);
        EXPECT_NEAR(engine.settings().desiredGainDb, c.wantGain, 0.0);
        EXPECT_NEAR(engine.settings().density, c.wantDensity, 0.0);
        EXPECT_EQ(engine.settings().headroom, c.wantHeadroom);
        EXPECT_GE(engine.derived().limiterIndex, 0);
        EXPECT_LE(engine.derived().limiterIndex, 17);
        EXPECT_GE(engine.derived().curve, 0);
        EXPECT_LE(engine.derived().curve, 18);
        // Runs (under the address sanitizer: without reading past a table) and stays bounded.
        EXPECT_LE(test::peakMagnitude(test::runEngine(engine, loud)), 1.0);
    }
    engine.setBoost(nan);
    EXPECT_FALSE(engine.settings().boost);
}

// ---- Signal path ----------------------------------------------------------------------------

TEST(MaximizerSignal, desired_gain_zero_passes_quiet_signal_delayed_by_2L_and_scaled) {
    MaximizerEngine engine = openEngine({});
    ASSERT_EQ(engine.lookAhead(), 88);
    const Channels in = test::sine(2, 8000, 441.0, std::pow(10.0, -6.0 / 20.0), kRate);
    const Channels out = test::runEngine(engine, in, 333);
    const double scale = 0.5012 * 1.99526 * 0.9999 * 0.999 * 0.99974;
    EXPECT_NEAR(scale, 0.99866, 1e-5);
    double worst = 0.0;
    for (int32_t t = 0; t < kDelay44k; ++t)
        worst = std::max(worst, double(std::fabs(out[0][t])));
    for (int32_t t = kDelay44k; t < 8000; ++t)
        for (int c = 0; c < 2; ++c)
            worst = std::max(worst, std::fabs(out[c][t] - scale * in[c][t - kDelay44k]));
    EXPECT_NEAR(worst, 0.0, 2e-5);
    EXPECT_NEAR(engine.limiterGain(), 0.9999f, 0.0);
}

TEST(MaximizerSignal, reported_latency_is_the_true_delay_of_2L) {
    for (const int32_t rate : {44100, 48000}) {
        MaximizerEngine mono = openEngine({}, 1, rate);
        Channels impulse(1, std::vector<float>(400, 0.0f));
        impulse[0][10] = 0.25f;
        const Channels out = test::runEngine(mono, impulse);
        int32_t at = -1;
        for (int32_t t = 0; t < 400; ++t)
            if (std::fabs(out[0][t]) > 0.1f) at = t;
        EXPECT_EQ(at - 10, mono.latencyFrames()) << rate << " Hz";
        EXPECT_EQ(mono.latencyFrames(), 2 * mono.lookAhead()) << rate << " Hz";
    }
    EXPECT_EQ(openEngine({}).latencyFrames(), kDelay44k);
    EXPECT_EQ(openEngine({}, 2, 48000).latencyFrames(), 192);
}
TEST(MaximizerSignal, full_scale_holds_for_every_headroom_boost_gain_and_density) {
    const int32_t frames = 12000;
    const Channels signals[] = {
        test::square(2, frames, 100.0, 1.0, kRate),
        test::whiteNoise(2, frames, 1.0, 99),
        test::sine(2, frames, 1000.0, 3.981, kRate), // +12 dBFS in a float stream
        test::bursts(2, frames, 3000, 300, 1.0, kRate),
        test::bursts(2, frames, 3000, 40, 3.981, kRate),
    };
    double worst = 0.0;
    for (int headroom = -9; headroom <= 9; ++headroom)
        for (float boost : {0.0f, 1.0f})
            for (float gain : {0.0f, 12.0f})
                for (float density : {0.0f, 1.0f}) {
                    MaximizerEngine engine = openEngine({gain, density, float(headroom), boost});
                    engine.setHeadroom(float(headroom)); // the change rule's curve as well
                    for (const Channels& in : signals) {
                        engine.start();
                        const double peak = test::peakMagnitude(test::runEngine(engine, in));
                        worst = std::max(worst, peak);
                        ASSERT_LE(peak, 1.0) << "headroom " << headroom << " boost " << boost
                                             << " gain " << gain << " density " << density;
                    }
                }
    // The 16-bit conversion (× 32767, truncated) therefore never leaves −32767 … 32767.
    EXPECT_LE(std::trunc(worst * 32767.0), 32767.0);
    EXPECT_GT(worst, 0.99); // the loud cases do reach the clipper's end
}

TEST(MaximizerSignal, non_finite_and_huge_inputs_give_bounded_finite_output) {
    MaximizerEngine engine = openEngine({12.0f, 0.5f, 9.0f, 1.0f});
    Channels in = test::sine(2, 6000, 200.0, 0.5, kRate);
    in[0][100] = std::numeric_limits<float>::quiet_NaN();
    in[1][200] = std::numeric_limits<float>::infinity();
    in[0][300] = -std::numeric_limits<float>::infinity();
    in[1][400] = 3e38f;
    const Channels out = test::runEngine(engine, in);
    EXPECT_LE(test::peakMagnitude(out), 1.0);
    EXPECT_TRUE(std::isfinite(engine.levelGain()));
    EXPECT_TRUE(std::isfinite(engine.limiterGain()));
    // And the engine recovers: a quiet signal afterwards passes at its normal scale.
    const Channels quiet = test::sine(2, 44100 * 2, 441.0, 0.05, kRate);
    const Channels after = test::runEngine(engine, quiet);
    EXPECT_GT(test::peakMagnitude(after, 44100), 0.05);
}

TEST(MaximizerSignal, boost_brings_held_peaks_to_practically_full_scale) {
    MaximizerEngine engine = openEngine({6.0f, 0.0f, 0.0f, 1.0f});
    const Channels in = test::square(2, 20000, 50.0, 1.0, kRate);
    const Channels out = test::runEngine(engine, in);
    EXPECT_NEAR(test::peakMagnitude(out, 10000), 0.99974, 1e-3);
}

TEST(MaximizerSignal, limiter_gain_reaches_its_target_just_as_a_burst_reaches_the_output) {
    // A 0.9 square burst after silence. It leaves the first ring at 3000 + L, where the limiter
    // sees it, and the output at 3000 + 2L; in between the gain falls to ceiling / peak.
    MaximizerEngine engine = openEngine({12.0f, 0.0f, -9.0f});
    Channels in(2, std::vector<float>(6000, 0.0f));
    for (int32_t t = 3000; t < 6000; ++t)
        in[0][t] = in[1][t] = (t % 20 < 10) ? 0.9f : -0.9f;
    const float target = engine.derived().ceiling / (0.9f * 0.5012f);
    float out[2][6000];
    auto runTo = [&](int32_t from, int32_t to) {
        for (int32_t t = from; t < to; ++t) {
            const float* inPtr[2] = {&in[0][t], &in[1][t]};
            float* outPtr[2] = {&out[0][t], &out[1][t]};
            engine.process(inPtr, outPtr, 1, OutputMode::Replace);
        }
    };
    const int32_t seen = 3000 + 88, exits = 3000 + kDelay44k;
    runTo(0, seen);
    EXPECT_NEAR(engine.limiterGain(), 0.9999f, 0.0); // nothing seen yet
    runTo(seen, exits + 1);
    EXPECT_NEAR(engine.limiterGain(), target, 0.03f);
    EXPECT_NEAR(out[0][exits - 1], 0.0f, 0.0);
    EXPECT_GT(std::fabs(out[0][exits]), 0.5f);
    runTo(exits + 1, 6000);
    double peak = 0.0;
    for (int32_t t = 0; t < 6000; ++t)
        peak = std::max(peak, double(std::fabs(out[0][t])));
    EXPECT_LT(peak, 1.0);
}

TEST(MaximizerSignal, mono_engine_matches_stereo_engine_fed_identical_channels) {
    const Channels stereoIn = test::musicLikeMix(1.5, kRate);
    const Channels monoIn{stereoIn[0]};
    const Channels twinIn{stereoIn[0], stereoIn[0]};
    MaximizerEngine mono = openEngine({9.0f, 0.3f, 2.0f}, 1);
    MaximizerEngine twin = openEngine({9.0f, 0.3f, 2.0f}, 2);
    const Channels a = test::runEngine(mono, monoIn);
    const Channels b = test::runEngine(twin, twinIn);
    double worst = 0.0;
    for (size_t t = 0; t < a[0].size(); ++t) {
        worst = std::max(worst, double(std::fabs(a[0][t] - b[0][t])));
        worst = std::max(worst, double(std::fabs(a[0][t] - b[1][t])));
    }
    EXPECT_NEAR(worst, 0.0, 0.0);
}

TEST(MaximizerSignal, output_does_not_depend_on_block_size_or_per_sample_lock) {
    const Channels in = test::musicLikeMix(1.0, kRate);
    MaximizerEngine a = openEngine({8.0f, 0.2f, 3.0f, 1.0f});
    MaximizerEngine b = openEngine({8.0f, 0.2f, 3.0f, 1.0f});
    test::CountingFrameLock lock;
    const Channels outA = test::runEngine(a, in, 4096);
    const Channels outB = test::runEngine(b, in, 37, &lock);
    // Taken and released once per frame, and once more per block of at most L frames (the
    // rings move under it): every 37-frame call is one block.
    const int64_t frames = static_cast<int64_t>(in[0].size());
    EXPECT_EQ(lock.locks, frames + (frames + 36) / 37);
    EXPECT_EQ(lock.unlocks, lock.locks);
    double worst = 0.0;
    for (int c = 0; c < 2; ++c)
        for (size_t t = 0; t < outA[c].size(); ++t)
            worst = std::max(worst, double(std::fabs(outA[c][t] - outB[c][t])));
    EXPECT_NEAR(worst, 0.0, 0.0);
}

// The overload density decays through a long quiet stretch and is set to 0 once it falls below
// the subnormal guard, at the slow detector block end after it. Lock-free, the quiet frames run
// in spans; the density must still reach 0 at the same frame as frame by frame under a lock.
TEST(MaximizerSignal, overload_density_is_flushed_to_zero_at_the_same_frame_with_or_without_lock) {
    constexpr int32_t kLowRate = 8000;
    constexpr int32_t kBlock = 16;
    Channels in = test::bursts(2, kLowRate * 5, kLowRate / 4, kLowRate / 20, 0.9, kLowRate);
    for (auto& channel : in)
        channel.resize(static_cast<size_t>(kLowRate) * 160, 0.0f); // 155 s of silence after
    MaximizerEngine lockFree = openEngine({12.0f, 0.0f}, 2, kLowRate);
    MaximizerEngine locked = openEngine({12.0f, 0.0f}, 2, kLowRate);
    test::CountingFrameLock lock;
    std::vector<float> out(2 * kBlock);
    float* outPtr[2] = {out.data(), out.data() + kBlock};
    float highest = 0.0f;
    int64_t flushedAt = -1;
    const int32_t frames = static_cast<int32_t>(in[0].size());
    for (int32_t from = 0; from + kBlock <= frames; from += kBlock) {
        const float* inPtr[2] = {in[0].data() + from, in[1].data() + from};
        lockFree.process(inPtr, outPtr, kBlock, OutputMode::Replace);
        locked.process(inPtr, outPtr, kBlock, OutputMode::Replace, lock);
        ASSERT_EQ(std::bit_cast<uint32_t>(lockFree.overDensity()),
                  std::bit_cast<uint32_t>(locked.overDensity()))
            << "after frame " << from + kBlock << ": " << lockFree.overDensity() << " against "
            << locked.overDensity();
        highest = std::max(highest, lockFree.overDensity());
        if (flushedAt < 0 && highest > 0.0f && lockFree.overDensity() == 0.0f) flushedAt = from;
    }
    EXPECT_GT(highest, 0.1f); // the bursts did overload the limiter
    EXPECT_GT(flushedAt, 5 * kLowRate) << "flushed only in the quiet stretch";
}

// Each channel count (mono, stereo, the generic loop), output mode and locking runs its own
// compiled frame loop; all of them must produce the same frames and the same meters.
TEST(MaximizerSignal, every_channel_count_output_mode_and_locking_gives_the_same_frames) {
    const Channels mix = test::musicLikeMix(0.6, kRate, 2.0);
    test::CountingFrameLock lock;
    for (const int32_t channels : {1, 2, 5}) {
        Channels in(channels);
        for (int32_t c = 0; c < channels; ++c) {
            in[c] = mix[c % 2];
            for (float& x : in[c])
                x *= 1.0f - 0.1f * static_cast<float>(c);
        }
        const int32_t frames = static_cast<int32_t>(in[0].size());
        const Settings settings{9.0f, 0.4f, 2.0f, 1.0f};
        MaximizerEngine reference = openEngine(settings, channels);
        const Channels expected = test::runEngine(reference, in, 512);
        MeterValues expectedMeters;
        ASSERT_TRUE(reference.readMeters(expectedMeters));

        for (const bool accumulate : {false, true})
            for (const bool locked : {false, true}) {
                SCOPED_TRACE("channels " + std::to_string(channels) +
                             (accumulate ? " accumulate" : " replace") +
                             (locked ? " locked" : " unlocked"));
                MaximizerEngine engine = openEngine(settings, channels);
                Channels out(channels, std::vector<float>(frames, 0.0f));
                std::vector<const float*> inPtr(channels);
                std::vector<float*> outPtr(channels);
                constexpr int32_t kBlock = 37;
                for (int32_t from = 0; from < frames; from += kBlock) {
                    for (int32_t c = 0; c < channels; ++c) {
                        inPtr[c] = in[c].data() + from;
                        outPtr[c] = out[c].data() + from;
                    }
                    const int32_t n = std::min(kBlock, frames - from);
                    const OutputMode mode =
                        accumulate ? OutputMode::Accumulate : OutputMode::Replace;
                    if (locked)
                        engine.process(inPtr.data(), outPtr.data(), n, mode, lock);
                    else
                        engine.process(inPtr.data(), outPtr.data(), n, mode);
                }
                double worst = 0.0;
                for (int32_t c = 0; c < channels; ++c)
                    for (int32_t t = 0; t < frames; ++t)
                        worst = std::max(worst, double(std::fabs(out[c][t] - expected[c][t])));
                EXPECT_NEAR(worst, 0.0, 0.0);
                MeterValues meters;
                ASSERT_TRUE(engine.readMeters(meters));
                EXPECT_NEAR(meters.headroomDb, expectedMeters.headroomDb, 0.0);
                EXPECT_NEAR(meters.gainReached, expectedMeters.gainReached, 0.0);
            }
    }
}

// A frame lock that, as another thread holding the lock before it would, makes one change to
// the engine when it is taken for the given time.
struct ChangingFrameLock {
    int64_t changeAt = 0;
    std::function<void()> change;
    int64_t locks = 0;
    void lock() {
        if (++locks == changeAt) change();
    }
    void unlock() {}
};

struct RunResult {
    Channels out;
    MeterValues meters;
    float levelGain, limiterGain, crest;
};

// Runs in host blocks through an engine opened fresh; beforeFrame(engine, frame) comes before
// each frame of a one-frame-at-a-time run (a reference) or, with a lock, the lock decides.
RunResult runWith(const Settings& settings, int32_t channels, int32_t rate, OutputMode mode,
                  const Channels& in, int32_t hostBlock, ChangingFrameLock* lock,
                  int32_t referenceChangeFrame,
                  const std::function<void(MaximizerEngine&)>& change) {
    MaximizerEngine engine = openEngine(settings, channels, rate);
    const int32_t frames = static_cast<int32_t>(in[0].size());
    RunResult r;
    r.out.assign(channels, std::vector<float>(frames, 0.25f));
    std::vector<const float*> inPtr(channels);
    std::vector<float*> outPtr(channels);
    if (lock != nullptr) lock->change = [&] { change(engine); };
    for (int32_t from = 0; from < frames;) {
        int32_t n = std::min(hostBlock, frames - from);
        if (lock == nullptr) {
            // The reference runs up to the change, changes, and runs on.
            if (from == referenceChangeFrame) change(engine);
            if (from < referenceChangeFrame) n = std::min(n, referenceChangeFrame - from);
        }
        for (int32_t c = 0; c < channels; ++c) {
            inPtr[c] = in[c].data() + from;
            outPtr[c] = r.out[c].data() + from;
        }
        if (lock != nullptr)
            engine.process(inPtr.data(), outPtr.data(), n, mode, *lock);
        else
            engine.process(inPtr.data(), outPtr.data(), n, mode);
        from += n;
    }
    engine.readMeters(r.meters);
    r.levelGain = engine.levelGain();
    r.limiterGain = engine.limiterGain();
    r.crest = engine.crestSmooth();
    return r;
}

bool sameBits(const RunResult& a, const RunResult& b) {
    for (size_t c = 0; c < a.out.size(); ++c)
        if (std::memcmp(a.out[c].data(), b.out[c].data(), a.out[c].size() * sizeof(float)) != 0)
            return false;
    return std::memcmp(&a.meters, &b.meters, sizeof(MeterValues)) == 0 &&
           a.levelGain == b.levelGain && a.limiterGain == b.limiterGain && a.crest == b.crest;
}

// The frames run in blocks, but a change made under the per-frame lock (settings, bypass, a
// start) takes effect at one frame: the output, meters and state are to the bit those of a run
// that processed the frames before it, changed, and processed the rest.
TEST(MaximizerSignal,
     changes_under_the_frame_lock_take_effect_at_one_frame_as_if_run_frame_by_frame) {
    using Change = std::function<void(MaximizerEngine&)>;
    const std::pair<const char*, Change> changes[] = {
        {"headroom", [](MaximizerEngine& e) { e.setHeadroom(-9.0f); }},
        {"desired gain", [](MaximizerEngine& e) { e.setDesiredGain(11.5f); }},
        {"boost", [](MaximizerEngine& e) { e.setBoost(1.0f); }},
        {"bypass", [](MaximizerEngine& e) { e.setBypassWithDelay(true); }},
        {"start", [](MaximizerEngine& e) { e.start(); }},
    };
    struct Run {
        int32_t rate, channels, hostBlock;
        OutputMode mode;
    };
    const Run runs[] = {{44100, 2, 512, OutputMode::Replace},
                        {8000, 1, 100, OutputMode::Accumulate},
                        {48000, 3, 1000, OutputMode::Replace}};
    const Settings settings{7.0f, 0.4f, 1.0f, 0.0f};
    int32_t checked = 0;
    for (const Run& run : runs) {
        const Channels mix = test::musicLikeMix(0.25, run.rate, 2.0);
        Channels in(run.channels);
        for (int32_t c = 0; c < run.channels; ++c)
            in[c] = mix[c % 2];
        const int32_t lookAhead = MaximizerEngine::lookAheadFrames(run.rate);
        for (const auto& [name, change] : changes) {
            // At the first lock, at block edges (a block is at most L frames and one more
            // lock) and well inside.
            for (const int64_t at :
                 {int64_t{1}, int64_t{lookAhead}, int64_t{lookAhead + 1}, int64_t{lookAhead + 2},
                  int64_t{2 * lookAhead + 5}, int64_t{1777}}) {
                SCOPED_TRACE(std::string(name) + " at lock " + std::to_string(at) + ", rate " +
                             std::to_string(run.rate));
                ChangingFrameLock lock;
                lock.changeAt = at;
                const RunResult blocked = runWith(settings, run.channels, run.rate, run.mode, in,
                                                  run.hostBlock, &lock, 0, change);
                // The change fell before one frame no later than the lock count.
                int32_t matchedFrame = -1;
                for (int32_t frame = static_cast<int32_t>(at); frame >= 0 && matchedFrame < 0;
                     --frame) {
                    const RunResult reference = runWith(settings, run.channels, run.rate, run.mode,
                                                        in, run.hostBlock, nullptr, frame, change);
                    if (sameBits(blocked, reference)) matchedFrame = frame;
                    if (static_cast<int32_t>(at) - frame > 2 * (at / lookAhead + 2)) break;
                }
                EXPECT_GE(matchedFrame, 0) << "no frame-by-frame run gives the same output";
                ++checked;
            }
        }
    }
    EXPECT_EQ(checked, 3 * 5 * 6);
}

// ---- Frames to the bit across rates, channel counts, modes and settings ----------------------

// FNV-1a over the bits of every output sample and both meters.
uint64_t outputHash(const Channels& out, const MeterValues& meters) {
    uint64_t h = 1469598103934665603ull;
    const auto mix = [&h](const void* data, size_t bytes) {
        const auto* p = static_cast<const unsigned char*>(data);
        for (size_t i = 0; i < bytes; ++i)
            h = (h ^ p[i]) * 1099511628211ull;
    };
    for (const auto& channel : out)
        mix(channel.data(), channel.size() * sizeof(float));
    mix(&meters.headroomDb, sizeof(float));
    mix(&meters.gainReached, sizeof(float));
    return h;
}

// The hashes were taken from the engine that ran every frame through all its stages in one
// loop; the engine must keep producing exactly these frames and meters (a reordering of any
// rounding step shows here). Each run is a music-like mix, loud enough to work the level stage,
// limiter and clipper (with samples that are not numbers, infinite or huge in some), fed in host
// blocks of odd sizes, with bypass toggled on and off again midway when asked.
TEST(MaximizerSignal,
     frames_and_meters_stay_the_same_to_the_bit_across_rates_channels_modes_and_settings) {
    struct Case {
        int32_t rate, channels, hostBlock;
        bool plax, accumulate, toggleBypass;
        Settings settings;
        uint64_t hash;
    };
    const Case cases[] = {
        {44100, 2, 4096, false, false, false, {6.0f, 0.3f, 0.0f, 0.0f}, 0x7187bf5ebb97793full},
        {44100, 2, 37, false, false, true, {9.0f, 0.4f, 2.0f, 1.0f}, 0x67c4f364c8784855ull},
        {44100, 1, 512, false, false, false, {12.0f, 1.0f, 9.0f, 0.0f}, 0xbe73d988d41c7c77ull},
        {48000, 2, 1000, false, false, false, {3.5f, 0.0f, -9.0f, 1.0f}, 0x754230d2e364d676ull},
        {22050, 1, 300, false, false, true, {7.5f, 0.5f, -4.0f, 0.0f}, 0x6dc989c02732b4d2ull},
        {8000, 2, 64, false, false, false, {11.0f, 0.8f, 4.0f, 1.0f}, 0xfa194e0e56732ebdull},
        {3000, 2, 7, false, false, false, {6.0f, 0.3f, 1.0f, 0.0f}, 0x52eaa0bae9ea10a4ull},
        {44100, 2, 256, true, false, false, {6.0f, 0.3f, 0.0f, 0.0f}, 0xe008c1cf14072ba0ull},
        {44100, 2, 4096, true, true, false, {10.5f, 0.65f, -9.0f, 1.0f}, 0x3745267221137adeull},
        {96000, 3, 777, true, false, false, {12.0f, 0.0f, 9.0f, 1.0f}, 0xb82d7e8f75d9b075ull},
        {192000, 5, 2048, true, true, false, {8.0f, 0.2f, -2.0f, 0.0f}, 0xcfd7a2ec55e08525ull},
        {11025, 8, 129, true, false, false, {4.0f, 0.95f, 6.0f, 1.0f}, 0xb0fbe493ca85001bull},
    };
    // Each case with the block passes 8 and 4 frames wide (where the processor has the wide
    // kernels; without them both runs are 4 wide).
    for (const auto& [k, wideKernels] : [&] {
             std::vector<std::pair<Case, bool>> runs;
             for (const Case& k : cases)
                 for (const bool wide : {true, false})
                     runs.emplace_back(k, wide);
             return runs;
         }()) {
        SCOPED_TRACE("rate " + std::to_string(k.rate) + ", " + std::to_string(k.channels) +
                     " channels, block " + std::to_string(k.hostBlock) +
                     (wideKernels ? ", wide kernels" : ", 4-wide passes"));
        const Channels mix = test::musicLikeMix(0.6, k.rate, 3.0);
        MaximizerOptions options = k.plax ? kPlaxOptions : kComponentOptions;
        options.wideKernels = wideKernels;
        MaximizerEngine engine = openEngine(k.settings, k.channels, k.rate, options);
        const int32_t frames = static_cast<int32_t>(mix[0].size());
        Channels in(k.channels), out(k.channels, std::vector<float>(frames, 0.125f));
        for (int32_t c = 0; c < k.channels; ++c) {
            in[c] = mix[c % 2];
            for (float& x : in[c])
                x *= 1.0f - 0.07f * static_cast<float>(c);
            // With odd host blocks, the input guard gets work too.
            const float wild[] = {std::numeric_limits<float>::quiet_NaN(), HUGE_VALF, -1e30f,
                                  2000.0f, -1000.0f};
            if (k.hostBlock % 2 == 1)
                for (int32_t t = 5 + c; t < frames; t += 997)
                    in[c][t] = wild[(t / 997) % 5];
        }
        std::vector<const float*> inPtr(k.channels);
        std::vector<float*> outPtr(k.channels);
        for (int32_t from = 0; from < frames; from += k.hostBlock) {
            if (k.toggleBypass) engine.setBypassWithDelay(from >= frames / 3 && from < frames / 2);
            const int32_t n = std::min(k.hostBlock, frames - from);
            for (int32_t c = 0; c < k.channels; ++c) {
                inPtr[c] = in[c].data() + from;
                outPtr[c] = out[c].data() + from;
            }
            engine.process(inPtr.data(), outPtr.data(), n,
                           k.accumulate ? OutputMode::Accumulate : OutputMode::Replace);
        }
        MeterValues meters;
        ASSERT_TRUE(engine.readMeters(meters));
        EXPECT_EQ(outputHash(out, meters), k.hash) << "0x" << std::hex << outputHash(out, meters);
    }
}

// ---- Host values: mute and bypass ----------------------------------------------------------

struct Snapshot {
    float levelGain, shadowGain, limiterGain, peakEnv, crest, density;
};
Snapshot snapshot(const MaximizerEngine& e) {
    return {e.levelGain(),    e.shadowGain(),  e.limiterGain(),
            e.peakEnvelope(), e.crestSmooth(), e.overDensity()};
}

TEST(MaximizerHostValues, mute_zeroes_output_and_freezes_every_state) {
    const Settings setup{10.0f, 0.4f, 1.0f};
    const Channels first = test::musicLikeMix(1.0, kRate);
    const Channels loud = test::whiteNoise(2, 5000, 2.0, 3);
    const Channels after = test::musicLikeMix(0.5, kRate, -3.0);
    MaximizerEngine muted = openEngine(setup);
    MaximizerEngine reference = openEngine(setup);
    test::runEngine(muted, first);
    test::runEngine(reference, first);
    const Snapshot before = snapshot(muted);
    muted.setMute(true);
    const Channels silent = test::runEngine(muted, loud);
    EXPECT_NEAR(test::peakMagnitude(silent), 0.0, 0.0);
    const Snapshot during = snapshot(muted);
    EXPECT_EQ(std::memcmp(&before, &during, sizeof(Snapshot)), 0);
    muted.setMute(false);
    // Unmuted, the engine continues exactly as if the muted block had never arrived.
    const Channels a = test::runEngine(muted, after);
    const Channels b = test::runEngine(reference, after);
    double worst = 0.0;
    for (int c = 0; c < 2; ++c)
        for (size_t t = 0; t < a[c].size(); ++t)
            worst = std::max(worst, double(std::fabs(a[c][t] - b[c][t])));
    EXPECT_NEAR(worst, 0.0, 0.0);
}

TEST(MaximizerHostValues, bypass_freezes_level_and_limiter_gains_while_detectors_and_meters_run) {
    MaximizerEngine engine = openEngine({12.0f, 0.5f});
    test::runEngine(engine, test::square(2, 8000, 100.0, 1.0, kRate));
    MeterValues meters;
    ASSERT_TRUE(engine.readMeters(meters));
    const Snapshot before = snapshot(engine);
    ASSERT_LT(before.limiterGain, 0.9f);
    engine.setBypassWithDelay(true);
    const Channels in = test::whiteNoise(2, 30000, 0.05, 11);
    const Channels out = test::runEngine(engine, in);
    const Snapshot after = snapshot(engine);
    EXPECT_NEAR(after.levelGain, before.levelGain, 0.0);
    EXPECT_NEAR(after.shadowGain, before.shadowGain, 0.0);
    EXPECT_NEAR(after.limiterGain, before.limiterGain, 0.0);
    EXPECT_NE(after.peakEnv, before.peakEnv); // detectors keep running
    EXPECT_NE(after.crest, before.crest);
    // Pass-through that keeps the 2L delay.
    double worst = 0.0;
    for (int c = 0; c < 2; ++c)
        for (int32_t t = 2 * kDelay44k; t < 30000; ++t)
            worst = std::max(
                worst, std::fabs(out[c][t] - 0.5012 * 1.995 * 0.99974 * in[c][t - kDelay44k]));
    EXPECT_NEAR(worst, 0.0, 1e-6);
    // Meters still answer; the gain share is 1.0 and the new-audio flag stays set.
    ASSERT_TRUE(engine.readMeters(meters));
    EXPECT_NEAR(meters.gainReached, 1.0f, 0.0);
    EXPECT_TRUE(engine.hasNewAudio());
    EXPECT_TRUE(engine.readMeters(meters));
}

// ---- Meters ---------------------------------------------------------------------------------

TEST(MaximizerMeters, host_rule_reads_only_after_new_audio_and_publishes_bad_values_as_zero) {
    MaximizerEngine engine = openEngine({6.0f});
    MeterValues meters;
    // Before any audio the peak envelope is 0: the headroom would be infinite.
    ASSERT_TRUE(engine.readMeters(meters));
    EXPECT_NEAR(meters.headroomDb, 0.0f, 0.0);
    EXPECT_FALSE(engine.readMeters(meters)); // nothing new since
    test::runEngine(engine, test::musicLikeMix(2.0, kRate));
    ASSERT_TRUE(engine.readMeters(meters));
    EXPECT_GT(meters.gainReached, 0.3f);
    EXPECT_LT(meters.gainReached, 1.2f);
    EXPECT_TRUE(std::isfinite(meters.headroomDb));
    EXPECT_FALSE(engine.readMeters(meters));
}

TEST(MaximizerMeters, limiter_gain_driven_to_zero_publishes_a_gain_share_of_zero) {
    // +40 dBFS in a float stream: the limiter closes completely and log10(0) would be −inf.
    MaximizerEngine engine = openEngine({12.0f});
    test::runEngine(engine, test::square(2, 20000, 100.0, 100.0, kRate), 1);
    MeterValues meters;
    ASSERT_TRUE(engine.readMeters(meters));
    EXPECT_NEAR(meters.gainReached, 0.0f, 0.0);
    EXPECT_TRUE(std::isfinite(meters.headroomDb));
}

TEST(MaximizerMeters, gain_share_is_one_below_one_db_of_desired_gain) {
    MaximizerEngine engine = openEngine({0.5f});
    test::runEngine(engine, test::musicLikeMix(0.5, kRate));
    MeterValues meters;
    ASSERT_TRUE(engine.readMeters(meters));
    EXPECT_NEAR(meters.gainReached, 1.0f, 0.0);
}

TEST(MaximizerMeters, unconditional_rule_always_reads_and_resets_the_held_gains) {
    MaximizerEngine engine = openEngine({6.0f}, 2, 44100, kPlaxOptions);
    test::runEngine(engine, test::musicLikeMix(1.0, kRate));
    MeterValues first, second;
    ASSERT_TRUE(engine.readMeters(first));
    ASSERT_TRUE(engine.readMeters(second));
    // Held gains returned to 1.0: log10(1) / 6.
    EXPECT_NEAR(second.gainReached, 0.0f, 1e-6);
    EXPECT_NE(first.gainReached, second.gainReached);
}

// ---- Plax variant ---------------------------------------------------------------------------

TEST(MaximizerPlax, runs_above_48k_with_overload_density_limited_to_0_9) {
    auto settle = [](int32_t rate) {
        MaximizerEngine engine = openEngine({12.0f, 0.0f, -9.0f}, 2, rate, kPlaxOptions);
        const Channels in = test::square(2, rate * 12, 100.0, 1.0, rate);
        test::runEngine(engine, in, 4096);
        return engine.overDensity();
    };
    const float high = settle(96000);
    EXPECT_NEAR(high, 0.9f, 0.02f);
    EXPECT_LE(high, 0.9f);
    EXPECT_GT(settle(44100), 0.97f);
    // 48000 Hz is not above 48 samples per millisecond: the full density, not the 0.9 limit.
    EXPECT_GT(settle(48000), 0.97f);
}

TEST(MaximizerPlax, accumulating_output_adds_to_what_is_there) {
    const Channels in = test::musicLikeMix(0.5, kRate);
    MaximizerEngine replace = openEngine({6.0f}, 2, 44100, kPlaxOptions);
    MaximizerEngine accumulate = openEngine({6.0f}, 2, 44100, kPlaxOptions);
    const Channels replaced = test::runEngine(replace, in);
    const int32_t frames = static_cast<int32_t>(in[0].size());
    Channels acc(2, std::vector<float>(frames, 0.25f));
    const float* inPtr[2] = {in[0].data(), in[1].data()};
    float* outPtr[2] = {acc[0].data(), acc[1].data()};
    accumulate.process(inPtr, outPtr, frames, OutputMode::Accumulate);
    double worst = 0.0;
    for (int c = 0; c < 2; ++c)
        for (int32_t t = 0; t < frames; ++t)
            worst = std::max(worst, double(std::fabs(acc[c][t] - (0.25f + replaced[c][t]))));
    EXPECT_NEAR(worst, 0.0, 1e-6);
}

TEST(MaximizerPlax, any_channel_count_shares_one_gain_and_clips_each_channel_alone) {
    const int32_t frames = 20000;
    Channels in(3, std::vector<float>(frames, 0.0f));
    const Channels loud = test::square(1, frames, 100.0, 1.0, kRate);
    const Channels quiet = test::sine(1, frames, 300.0, 0.1, kRate);
    in[0] = loud[0];
    in[1] = quiet[0];
    MaximizerEngine engine = openEngine({12.0f, 0.0f, 0.0f}, 3, 44100, kPlaxOptions);
    const Channels out = test::runEngine(engine, in);
    EXPECT_LE(test::peakMagnitude(out), 1.0);
    EXPECT_NEAR(test::peakMagnitude({out[2]}), 0.0, 0.0); // silent channel stays silent
    // The quiet channel is turned down by the loud one's limiting (alone it would gain 12 dB).
    const double quietGain = test::peakMagnitude({out[1]}, frames / 2) / 0.1;
    EXPECT_LT(quietGain, 2.0);
    EXPECT_FALSE(engine.open(44100, kMaxChannels + 1));
}

// ---- Lifecycle and loudness -----------------------------------------------------------------

TEST(MaximizerLifecycle, start_returns_to_the_state_after_open) {
    const Channels in = test::musicLikeMix(1.0, kRate);
    MaximizerEngine engine = openEngine({9.0f, 0.6f, -2.0f});
    const Channels first = test::runEngine(engine, in);
    engine.start();
    const Channels second = test::runEngine(engine, in);
    double worst = 0.0;
    for (int c = 0; c < 2; ++c)
        for (size_t t = 0; t < first[c].size(); ++t)
            worst = std::max(worst, double(std::fabs(first[c][t] - second[c][t])));
    EXPECT_NEAR(worst, 0.0, 0.0);
}

TEST(MaximizerLifecycle, refuses_rates_and_channel_counts_it_cannot_run) {
    MaximizerEngine engine;
    EXPECT_FALSE(engine.open(2000, 2));
    EXPECT_FALSE(engine.open(44100, 0));
    EXPECT_FALSE(engine.isOpen());
    float sample = 0.5f;
    float* ptr = &sample;
    engine.process(&ptr, &ptr, 1, OutputMode::Replace); // closed: a no-op
    EXPECT_NEAR(sample, 0.5f, 0.0);
}

TEST(MaximizerLoudness, desired_gain_6_raises_integrated_loudness_of_a_mix_by_4_to_6_5_lu) {
    const Channels mix = test::musicLikeMix(12.0, kRate);
    const double before = test::integratedLoudness(mix, kRate);
    for (float density : {0.0f, 0.3f}) {
        MaximizerEngine engine = openEngine({6.0f, density});
        const Channels out = test::runEngine(engine, mix);
        Channels aligned(2);
        for (int c = 0; c < 2; ++c)
            aligned[c].assign(out[c].begin() + kDelay44k, out[c].end());
        const double gain = test::integratedLoudness(aligned, kRate) - before;
        RecordProperty(density == 0.0f ? "loudness_gain_lu_density_0"
                                       : "loudness_gain_lu_density_0_3",
                       std::to_string(gain));
        EXPECT_GE(gain, 4.0) << "density " << density;
        EXPECT_LE(gain, 6.5) << "density " << density;
        EXPECT_LE(test::peakMagnitude(out), 1.0);
    }
}

} // namespace
} // namespace orq::maximizer
