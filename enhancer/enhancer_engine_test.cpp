#include "enhancer/enhancer_engine.h"
#include "testsupport/test_signals.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <complex>
#include <numbers>
#include <random>
#include <stdexcept>
#include <vector>

namespace orq::enhancer {
namespace {

using Signal = std::vector<float>;
using Stereo = std::array<Signal, 2>;

Signal noise(int32_t frames, float amplitude, uint32_t seed) {
    return test::whiteNoise(size_t(frames), seed, amplitude);
}

Signal sine(int32_t frames, double frequencyHz, double rate, float amplitude) {
    return test::sine(size_t(frames), frequencyHz, rate, amplitude);
}

// Runs a stereo signal through the engine in calls of callFrames frames.
Stereo run(EnhancerEngine& engine, const Stereo& in, int32_t callFrames = 4096) {
    Stereo out{Signal(in[0].size()), Signal(in[1].size())};
    const int32_t frames = int32_t(in[0].size());
    for (int32_t offset = 0; offset < frames; offset += callFrames) {
        const int32_t n = std::min(callFrames, frames - offset);
        const float* inputs[2] = {in[0].data() + offset, in[1].data() + offset};
        float* outputs[2] = {out[0].data() + offset, out[1].data() + offset};
        engine.process(inputs, outputs, n);
    }
    return out;
}

// Only the high-passed path: no dry part and no drive into the harmonic generator.
void isolateHighpassPath(EnhancerEngine& e) {
    e.setSolo(0.0f);
    e.setMix(1.0f);
    e.setHpMix(1.0f);
    e.setDrive(0.0f);
}

// Power spectrum (Hann window) of a power-of-two length signal.
std::vector<double> powerSpectrum(const Signal& s) {
    const size_t n = s.size();
    std::vector<std::complex<double>> a(n);
    for (size_t i = 0; i < n; ++i)
        a[i] = s[i] * (0.5 - 0.5 * std::cos(2.0 * std::numbers::pi * double(i) / double(n)));
    for (size_t i = 1, j = 0; i < n; ++i) { // bit reversal
        size_t bit = n >> 1;
        for (; j & bit; bit >>= 1)
            j ^= bit;
        j ^= bit;
        if (i < j) std::swap(a[i], a[j]);
    }
    for (size_t len = 2; len <= n; len <<= 1) {
        const std::complex<double> w = std::polar(1.0, -2.0 * std::numbers::pi / double(len));
        for (size_t i = 0; i < n; i += len) {
            std::complex<double> wk = 1.0;
            for (size_t k = 0; k < len / 2; ++k, wk *= w) {
                const std::complex<double> u = a[i + k], v = a[i + k + len / 2] * wk;
                a[i + k] = u + v;
                a[i + k + len / 2] = u - v;
            }
        }
    }
    std::vector<double> p(n / 2);
    for (size_t i = 0; i < n / 2; ++i)
        p[i] = std::norm(a[i]);
    return p;
}

double bandEnergy(const std::vector<double>& p, double rate, double loHz, double hiHz) {
    const double binHz = rate / (2.0 * double(p.size()));
    double sum = 0.0;
    for (size_t i = 0; i < p.size(); ++i)
        if (i * binHz >= loHz && i * binHz < hiHz) sum += p[i];
    return sum;
}

float peakOf(const Signal& s, size_t from, size_t to) {
    float peak = 0.0f;
    for (size_t i = from; i < to && i < s.size(); ++i)
        peak = std::max(peak, std::abs(s[i]));
    return peak;
}

// Latency and delay alignment ------------------------------------------------------------------

TEST(EnhancerLatency, is_108_frames_at_44100_and_115_at_48000) {
    EXPECT_EQ(EnhancerEngine(44100, 2).latencyFrames(), 108);
    EXPECT_EQ(EnhancerEngine(48000, 2).latencyFrames(), 115);
    EXPECT_EQ(EnhancerEngine(44100, 2).lookaheadFrames(), 89);
    EXPECT_EQ(EnhancerEngine(48000, 1).lookaheadFrames(), 96);
}

TEST(EnhancerLatency, only_44100_and_48000_hz_are_supported) {
    for (int32_t rate : {22050, 32000, 88200, 96000, 0, -44100})
        EXPECT_FALSE(EnhancerEngine::supportsSampleRate(rate)) << rate;
    EXPECT_THROW(EnhancerEngine(96000, 2), std::invalid_argument);
}

TEST(EnhancerAlignment, highpassed_impulse_peaks_at_the_latency_for_every_corner) {
    for (int32_t rate : {44100, 48000}) {
        EnhancerEngine e(rate, 2);
        for (int32_t corner = 1000; corner <= 7000; corner += 1000) {
            e.setCornerHz(float(corner));
            isolateHighpassPath(e);
            e.reset();
            Stereo in{Signal(512, 0.0f), Signal(512, 0.0f)};
            in[0][0] = 1.0f;
            in[1][0] = -1.0f;
            const Stereo out = run(e, in);
            for (int32_t c = 0; c < 2; ++c) {
                const auto peak =
                    std::max_element(out[size_t(c)].begin(), out[size_t(c)].end(),
                                     [](float a, float b) { return std::abs(a) < std::abs(b); });
                EXPECT_EQ(peak - out[size_t(c)].begin(), e.latencyFrames())
                    << corner << " Hz at " << rate;
            }
            // The response is the design itself, centred on the latency.
            const HighpassDesign& d =
                kHighpassDesigns[highpassBaseRateIndex(rate)][corner / 1000 - 1];
            const auto taps = centredHighpassTaps(d);
            const int32_t start = e.latencyFrames() - kHighpassCentreTap;
            for (int32_t k = 0; k < kHighpassFrameTaps; ++k)
                EXPECT_NEAR(out[0][size_t(start + k)], taps[size_t(k)], 1e-6);
            EXPECT_EQ(e.latencyFrames(), EnhancerEngine::latencyFramesFor(rate));
        }
    }
}

TEST(EnhancerAlignment, solo_1_mix_0_is_the_scaled_input_delayed_by_exactly_the_latency) {
    for (int32_t rate : {44100, 48000}) {
        EnhancerEngine e(rate, 2);
        e.setMix(0.0f);
        e.setSolo(1.0f);
        e.setInputGainDb(-6.0f);
        const Stereo in{noise(9000, 0.9f, 1), noise(9000, 0.9f, 2)};
        const Stereo out = run(e, in, 1000);
        const float gain = float(std::pow(10.0, -6.0 / 20.0));
        const size_t latency = size_t(e.latencyFrames());
        for (size_t c = 0; c < 2; ++c) {
            for (size_t n = 0; n < latency; ++n)
                EXPECT_EQ(out[c][n], 0.0f);
            for (size_t n = latency; n < in[c].size(); ++n)
                ASSERT_NEAR(out[c][n], gain * in[c][n - latency], 1e-7) << n;
        }
    }
}

TEST(EnhancerMix, solo_0_mix_0_is_silence) {
    EnhancerEngine e(44100, 2);
    e.setSolo(0.0f);
    e.setMix(0.0f);
    const Stereo out = run(e, {noise(5000, 1.0f, 3), noise(5000, 1.0f, 4)});
    EXPECT_EQ(peakOf(out[0], 0, 5000), 0.0f);
    EXPECT_EQ(peakOf(out[1], 0, 5000), 0.0f);
}

TEST(EnhancerMix, output_is_the_weighted_sum_of_dry_highpassed_and_harmonic_parts) {
    // Each part alone, then all together: the mix is linear in its parts.
    const Stereo in{noise(6000, 0.5f, 5), noise(6000, 0.5f, 6)};
    auto render = [&](float solo, float hpMix, float second, float third) {
        EnhancerEngine e(44100, 2);
        e.setSolo(solo);
        e.setMix(0.8f);
        e.setHpMix(hpMix);
        e.setSecond(second);
        e.setThird(third);
        return run(e, in);
    };
    const Stereo dry = render(1.0f, 0.0f, 0.0f, 0.0f);
    const Stereo hp = render(0.0f, 0.5f, 0.0f, 0.0f);
    const Stereo harmonics = render(0.0f, 0.0f, 0.7f, 0.3f);
    const Stereo all = render(1.0f, 0.5f, 0.7f, 0.3f);
    for (size_t n = 0; n < in[0].size(); ++n)
        ASSERT_NEAR(all[1][n], dry[1][n] + hp[1][n] + harmonics[1][n], 1e-5) << n;
    EXPECT_GT(peakOf(harmonics[1], 1000, 6000), 1e-3f);
}

// Harmonic generation ----------------------------------------------------------------------------

TEST(EnhancerHarmonics, a_4_khz_sine_yields_energy_above_10_khz_and_almost_none_below_5_khz) {
    for (int32_t rate : {44100, 48000}) {
        EnhancerEngine e(rate, 2);
        e.setSolo(0.0f);
        e.setHpMix(0.0f);
        const int32_t frames = 32768;
        const Signal s = sine(frames, 4000.0, rate, 0.5f);
        const Stereo out = run(e, {s, s});
        const Signal tail(out[0].end() - 16384, out[0].end());
        const std::vector<double> p = powerSpectrum(tail);
        const double below = bandEnergy(p, rate, 0.0, 5000.0);
        const double above = bandEnergy(p, rate, 10000.0, rate / 2.0);
        EXPECT_GT(above, 0.0);
        EXPECT_LE(10.0 * std::log10(below / above), -40.0) << rate;
        EXPECT_GT(peakOf(tail, 0, tail.size()), 0.01f);
    }
}

TEST(EnhancerHarmonics, third_order_product_of_a_4_khz_sine_lands_at_12_khz) {
    EnhancerEngine e(44100, 1);
    e.setSolo(0.0f);
    e.setHpMix(0.0f);
    e.setSecond(0.0f);
    e.setThird(1.0f);
    const Signal s = sine(32768, 4000.0, 44100, 0.5f);
    Signal out(s.size());
    const float* in[1] = {s.data()};
    float* o[1] = {out.data()};
    e.process(in, o, int32_t(s.size()));
    const std::vector<double> p = powerSpectrum(Signal(out.end() - 16384, out.end()));
    const double around12k = bandEnergy(p, 44100, 11800.0, 12200.0);
    EXPECT_GT(10.0 * std::log10(around12k / bandEnergy(p, 44100, 0.0, 22050.0)), -1.0);
}

// The first block after construction or reset peaks no higher than this over the steady state.
constexpr float kStartPeakMargin = 1.35f; // +2.6 dB

TEST(EnhancerHarmonics, first_block_after_construction_or_reset_holds_no_burst) {
    for (bool extreme : {false, true})
        for (bool kick : {false, true}) {
            EnhancerEngine e(44100, 2);
            e.setKick(kick);
            e.setSolo(0.0f);
            if (extreme) {
                e.setDensity(6.0f);
                e.setDrive(1.0f);
                e.setMix(1.0f);
                e.setInputGainDb(6.0f);
            }
            e.reset();
            const Signal s = sine(44100, 5000.0, 44100, 1.0f);
            for (int32_t pass = 0; pass < 2; ++pass) {
                const Stereo out = run(e, {s, s}, 2048);
                const float first = peakOf(out[0], 0, 2048);
                const float steady = peakOf(out[0], 22050, 44100);
                EXPECT_LE(first, kStartPeakMargin * steady)
                    << "extreme " << extreme << ", kick " << kick << ", pass " << pass;
                e.reset();
            }
        }
}

// Silence ----------------------------------------------------------------------------------------

TEST(EnhancerSilence, long_silence_gives_exact_zeros_and_resumes_with_the_states_as_they_were) {
    const Stereo music{noise(3000, 0.8f, 7), noise(3000, 0.8f, 8)};
    const Stereo shortSilence{Signal(200, 0.0f), Signal(200, 0.0f)};
    const Stereo longSilence{Signal(20000, 0.0f), Signal(20000, 0.0f)};
    EnhancerEngine a(44100, 2), b(44100, 2);
    run(a, music);
    run(b, music);
    run(a, shortSilence);
    run(b, shortSilence);
    // a now skips its filters: exact zeros, however long.
    const Stereo skipped = run(a, longSilence, 512);
    EXPECT_EQ(peakOf(skipped[0], 0, 20000), 0.0f);
    EXPECT_EQ(peakOf(skipped[1], 0, 20000), 0.0f);
    EXPECT_GE(a.silentFrames(), 20200);
    // Both resume from the same states.
    const Stereo resumedA = run(a, music);
    const Stereo resumedB = run(b, music);
    for (size_t n = 0; n < music[0].size(); ++n)
        ASSERT_EQ(resumedA[0][n], resumedB[0][n]) << n;
    EXPECT_EQ(a.silentFrames(), 0);
}

TEST(EnhancerSilence, silence_shorter_than_the_latency_still_delivers_the_delayed_signal) {
    EnhancerEngine e(44100, 2);
    e.setMix(0.0f);
    Stereo in{Signal(1, 0.5f), Signal(1, 0.25f)};
    run(e, in);
    const Stereo out = run(e, {Signal(300, 0.0f), Signal(300, 0.0f)}, 300);
    EXPECT_EQ(out[0][size_t(e.latencyFrames() - 1)], 0.5f);
    EXPECT_EQ(out[1][size_t(e.latencyFrames() - 1)], 0.25f);
}

// Bypass with delay ------------------------------------------------------------------------------

TEST(EnhancerBypass, passes_the_unscaled_input_delayed_by_the_latency_while_filters_decay) {
    EnhancerEngine e(44100, 2);
    e.setInputGainDb(-12.0f);
    e.setMix(1.0f);
    e.setDrive(1.0f);
    run(e, {sine(8192, 5000.0, 44100, 0.8f), sine(8192, 5000.0, 44100, 0.8f)});
    e.setBypassWithDelay(true);
    const Stereo in{noise(4000, 0.5f, 9), noise(4000, 0.5f, 10)};
    const Stereo out = run(e, in, 256);
    const size_t latency = size_t(e.latencyFrames());
    for (size_t n = latency; n < in[0].size(); ++n)
        ASSERT_EQ(out[1][n], in[1][n - latency]) << n;
    // After bypass nothing of the loud signal before it is left: once the last bypassed input
    // has passed the delay lines, silence in gives silence out.
    e.setBypassWithDelay(false);
    e.setSolo(0.0f);
    const Stereo after = run(e, {Signal(4096, 0.0f), Signal(4096, 0.0f)});
    EXPECT_LT(peakOf(after[0], size_t(2 * latency + 64), 4096), 1e-6f);
}

// Robustness -------------------------------------------------------------------------------------

TEST(EnhancerRobustness, splitting_the_input_into_calls_does_not_change_the_output) {
    const Stereo in{noise(12000, 0.7f, 11), noise(12000, 0.7f, 12)};
    EnhancerEngine whole(48000, 2), pieces(48000, 2);
    const Stereo a = run(whole, in, 12000);
    Stereo b{Signal(in[0].size()), Signal(in[1].size())};
    std::mt19937 rng(13);
    for (size_t offset = 0; offset < in[0].size();) {
        const size_t n = std::min<size_t>(1 + rng() % 700, in[0].size() - offset);
        const float* inputs[2] = {in[0].data() + offset, in[1].data() + offset};
        float* outputs[2] = {b[0].data() + offset, b[1].data() + offset};
        pieces.process(inputs, outputs, int32_t(n));
        offset += n;
    }
    for (size_t n = 0; n < in[0].size(); ++n)
        ASSERT_NEAR(a[0][n], b[0][n], 1e-7) << n;
}

TEST(EnhancerRobustness, in_place_processing_matches_separate_buffers) {
    const Stereo in{noise(5000, 0.7f, 14), noise(5000, 0.7f, 15)};
    EnhancerEngine separate(44100, 2), inPlace(44100, 2);
    const Stereo expected = run(separate, in);
    Stereo buffer = in;
    float* channels[2] = {buffer[0].data(), buffer[1].data()};
    inPlace.process(channels, channels, 5000);
    for (size_t n = 0; n < 5000; ++n)
        ASSERT_NEAR(buffer[1][n], expected[1][n], 1e-7) << n;
}

TEST(EnhancerRobustness, recovers_after_a_non_finite_input_sample) {
    EnhancerEngine e(44100, 2);
    Stereo in{noise(8000, 0.5f, 16), noise(8000, 0.5f, 17)};
    in[0][1000] = NAN;
    in[1][1000] = INFINITY;
    const Stereo out = run(e, in, 512);
    for (size_t c = 0; c < 2; ++c)
        for (size_t n = 4096; n < 8000; ++n)
            ASSERT_TRUE(std::isfinite(out[c][n])) << c << " " << n;
    EXPECT_GT(peakOf(out[0], 4096, 8000), 0.1f);
}

TEST(EnhancerSettings, corners_snap_to_the_nearest_design_and_non_finite_values_are_ignored) {
    EnhancerEngine e(44100, 2);
    e.setCornerHz(12345.0f);
    EXPECT_EQ(e.settings().cornerHz, 7000.0f);
    e.setCornerHz(2400.0f);
    EXPECT_EQ(e.settings().cornerHz, 2000.0f);
    EXPECT_EQ(e.highpassTapCount(), 39);
    e.setCornerHz(NAN);
    EXPECT_EQ(e.settings().cornerHz, 2000.0f);
    e.setMix(NAN);
    EXPECT_EQ(e.settings().mix, 0.5f);
    e.setInputGainDb(INFINITY);
    EXPECT_EQ(e.settings().inputGainDb, 0.0f);
    e.setDensity(-INFINITY);
    EXPECT_EQ(e.settings().density, 3.0f);
}

TEST(EnhancerChannels, a_one_channel_engine_processes_like_one_side_of_a_stereo_engine) {
    const Signal s = noise(6000, 0.6f, 18);
    EnhancerEngine mono(44100, 1), stereo(44100, 2);
    const Stereo expected = run(stereo, {s, s});
    Signal out(s.size());
    const float* in[1] = {s.data()};
    float* o[1] = {out.data()};
    mono.process(in, o, int32_t(s.size()));
    for (size_t n = 0; n < s.size(); ++n)
        ASSERT_NEAR(out[n], expected[0][n], 1e-7) << n;
}

} // namespace
} // namespace orq::enhancer
