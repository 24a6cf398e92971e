#include "matching/spectrum_learner.h"

#include "matching/matching_engine.h"
#include "matching/test_signals.h"

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

namespace orq::matching {
namespace {

using namespace orq::tessaline::testing;

TEST(BinLayout, third_octave_pairs_the_low_band_up_to_1004_hz_with_the_high_band_above) {
    const BinLayout l44 = thirdOctaveLayout(44100, 11);
    EXPECT_EQ(l44.lowLastBin, 256);
    EXPECT_EQ(l44.highFirstBin, 12);
    EXPECT_EQ(l44.highLastBin, 256);
    EXPECT_EQ(l44.total, 257 + 245);
    EXPECT_EQ(thirdOctaveLayout(48000, 12).lowLastBin, 257);
    EXPECT_EQ(thirdOctaveLayout(22050, 5).lowLastBin, 233);
    EXPECT_EQ(equalBandLayout(1024).total, 513);
}

// An 8-point CCS spectrum: X0 = 1, X1 = 1 + i, X2 = 2, X3 = 0, X4 = 3.
const float kSpec8[10] = {1, 0, 1, 1, 2, 0, 0, 0, 3, 0};
const float kSpec8b[10] = {3, 0, 0, 0, 0, 0, 1, 0, 1, 0};

TEST(SpectrumLearner, frame_power_is_one_sided_and_averages_two_channels) {
    SpectrumLearner l(16, 2);
    l.configure(equalBandLayout(8), 2);
    l.measure(Side::Before, kSpec8, nullptr, 8, 0, 5, 0, 1.0, true);
    const float* d = l.display(Side::Before, 0);
    const float want[5] = {1, 4, 8, 0, 9};
    for (int i = 0; i < 5; ++i)
        EXPECT_FLOAT_EQ(d[i], want[i]) << i;
    l.measure(Side::After, kSpec8, kSpec8b, 8, 0, 5, 0, 0.5, true);
    const float* a = l.display(Side::After, 0);
    const float wantMean[5] = {0.25f * (1 + 9), 0.25f * 4, 0.25f * 8, 0.25f * 2, 0.25f * (9 + 1)};
    for (int i = 0; i < 5; ++i)
        EXPECT_FLOAT_EQ(a[i], wantMean[i]) << i;
    // Nothing measured while not learning is summed.
    EXPECT_EQ(l.frames(LearnTarget::Source), 0);
    EXPECT_EQ(l.spectrum(LearnTarget::Source)[1], 0.0);
}

TEST(SpectrumLearner, learning_sums_frames_per_target_and_shows_the_running_mean) {
    SpectrumLearner l(16, 2);
    l.configure(equalBandLayout(8), 2);
    l.setLearning(true);
    l.setTarget(LearnTarget::Source);
    l.measure(Side::Before, kSpec8, nullptr, 8, 0, 5, 0, 1.0, true);
    l.measure(Side::Before, kSpec8, nullptr, 8, 0, 5, 0, 1.0, true);
    EXPECT_EQ(l.frames(LearnTarget::Source), 2);
    EXPECT_DOUBLE_EQ(l.spectrum(LearnTarget::Source)[4], 18.0);
    EXPECT_FLOAT_EQ(l.display(Side::Before, 0)[4], 9.0f);
    // Switching the target neither clears nor touches the other sums.
    l.setTarget(LearnTarget::Destination);
    l.measure(Side::Before, kSpec8b, nullptr, 8, 0, 5, 0, 1.0, true);
    EXPECT_EQ(l.frames(LearnTarget::Destination), 1);
    EXPECT_DOUBLE_EQ(l.spectrum(LearnTarget::Destination)[0], 9.0);
    l.setTarget(LearnTarget::Source);
    l.measure(Side::Before, kSpec8, nullptr, 8, 0, 5, 0, 1.0, true);
    EXPECT_EQ(l.frames(LearnTarget::Source), 3);
    EXPECT_DOUBLE_EQ(l.spectrum(LearnTarget::Source)[4], 27.0);
    // The output side is never learned.
    l.measure(Side::After, kSpec8, nullptr, 8, 0, 5, 0, 1.0, true);
    EXPECT_EQ(l.frames(LearnTarget::Source), 3);
}

TEST(SpectrumLearner, stored_spectra_outside_the_layout_or_invalid_are_ignored) {
    SpectrumLearner l(16, 2);
    l.configure(equalBandLayout(8), 2);
    const float values[8] = {1.0f, -2.0f, NAN, INFINITY, 5.0f, 6.0f, 7.0f, 8.0f};
    l.setSpectrum(LearnTarget::Source, values, 8);
    const auto& s = l.spectrum(LearnTarget::Source);
    EXPECT_EQ(s[0], 1.0);
    EXPECT_EQ(s[1], 0.0);
    EXPECT_EQ(s[2], 0.0);
    EXPECT_EQ(s[3], 0.0);
    EXPECT_EQ(s[4], 5.0);
    EXPECT_EQ(s[5], 0.0); // beyond the 5 bins of an 8-point layout
    // Measuring past the layout writes nothing out of range.
    l.measure(Side::Before, kSpec8, nullptr, 8, 0, 5, 3, 1.0, true);
    EXPECT_FLOAT_EQ(l.display(Side::Before, 0)[4], 4.0f);
}

TEST(SpectrumLearner, display_slots_wrap_and_new_spectra_are_counted_up_to_the_slot_count) {
    SpectrumLearner l(16, 8);
    l.configure(equalBandLayout(8), 3);
    for (int i = 0; i < 5; ++i)
        l.advanceDisplay();
    EXPECT_EQ(l.takeNewSpectra(), 3);
    EXPECT_EQ(l.takeNewSpectra(), 0);
    // Five advances from slot 1 end in slot 3 (1→2→3→1→2→3).
    l.measure(Side::Before, kSpec8, nullptr, 8, 0, 5, 0, 1.0, true);
    EXPECT_FLOAT_EQ(l.display(Side::Before, 2)[0], 1.0f);
    EXPECT_FLOAT_EQ(l.display(Side::Before, 0)[0], 0.0f);
}

// CCS spectrum (N+2 floats) of a real signal, by a direct DFT in double precision.
std::vector<float> ccsSpectrum(const std::vector<double>& x) {
    const size_t n = x.size();
    std::vector<float> ccs(n + 2, 0.0f);
    for (size_t k = 0; k <= n / 2; ++k) {
        double re = 0.0, im = 0.0;
        for (size_t i = 0; i < n; ++i) {
            re += x[i] * std::cos(2 * M_PI * double(k * i) / double(n));
            im -= x[i] * std::sin(2 * M_PI * double(k * i) / double(n));
        }
        ccs[2 * k] = float(re);
        ccs[2 * k + 1] = float(im);
    }
    return ccs;
}

std::vector<float> measured(const std::vector<float>& ccs, int32_t n, FrameWindow window) {
    SpectrumLearner l(n, 1);
    l.configure(equalBandLayout(n), 1);
    l.measure(Side::Before, ccs.data(), nullptr, n, 0, n / 2 + 1, 0, 1.0, true, window);
    const float* d = l.display(Side::Before, 0);
    return std::vector<float>(d, d + n / 2 + 1);
}

TEST(SpectrumLearnerWindow, hann_on_the_spectrum_equals_hann_on_the_frame_at_every_bin) {
    constexpr int32_t n = 64;
    std::vector<double> x(n), xw(n);
    const std::vector<float> noise = whiteNoise(n, 11);
    for (int32_t i = 0; i < n; ++i) {
        // A DC offset and a tone near Nyquist exercise the mirrored neighbours at both ends.
        x[size_t(i)] = 0.3 + noise[size_t(i)] + 0.5 * std::cos(M_PI * 0.97 * i);
        xw[size_t(i)] = x[size_t(i)] * (0.5 - 0.5 * std::cos(2 * M_PI * i / n));
    }
    const auto viaSpectrum = measured(ccsSpectrum(x), n, FrameWindow::Hann);
    const auto viaFrame = measured(ccsSpectrum(xw), n, FrameWindow::Rectangular);
    for (int32_t k = 0; k <= n / 2; ++k) {
        EXPECT_NEAR(viaSpectrum[size_t(k)], kHannPowerGain * viaFrame[size_t(k)],
                    1e-4 * (1.0 + viaFrame[size_t(k)]))
            << k;
    }
}

TEST(SpectrumLearnerWindow, hann_keeps_a_loud_low_tone_out_of_distant_bins) {
    constexpr int32_t n = 256;
    std::vector<double> x(n);
    for (int32_t i = 0; i < n; ++i)
        x[size_t(i)] = std::cos(2 * M_PI * 2.3 * i / n + 1.0); // between bins, ends apart
    const auto ccs = ccsSpectrum(x);
    const auto rect = measured(ccs, n, FrameWindow::Rectangular);
    const auto hann = measured(ccs, n, FrameWindow::Hann);
    // 60 bins away the rectangular window still shows the tone about 45 dB down; Hann buries it.
    const double rectDb = 10 * std::log10(rect[62] / rect[2]);
    const double hannDb = 10 * std::log10(hann[62] / hann[2]);
    EXPECT_GT(rectDb, -50.0);
    EXPECT_LT(hannDb, -90.0);
}

TEST(SpectrumLearnerWindow, hann_keeps_the_mean_power_of_noise) {
    constexpr int32_t n = 256;
    double rect = 0.0, hann = 0.0;
    for (uint32_t frame = 0; frame < 40; ++frame) {
        const std::vector<float> noise = whiteNoise(n, 100 + frame);
        const auto ccs = ccsSpectrum(std::vector<double>(noise.begin(), noise.end()));
        const auto r = measured(ccs, n, FrameWindow::Rectangular);
        const auto h = measured(ccs, n, FrameWindow::Hann);
        for (int32_t k = 1; k < n / 2; ++k) {
            rect += r[size_t(k)];
            hann += h[size_t(k)];
        }
    }
    EXPECT_NEAR(10 * std::log10(hann / rect), 0.0, 0.2);
}

TEST(SpectrumLearnerHighBand, marked_frames_get_the_mean_of_every_gathered_high_band_frame) {
    // High band of a 4-bin layout: analysis index 2 on holds 8-point bins 1 and 2.
    BinLayout layout = thirdOctaveLayout(44100, 11);
    layout.lowLastBin = 1;
    layout.highFirstBin = 1;
    layout.highLastBin = 2;
    layout.total = 4;
    SpectrumLearner l(16, 2);
    l.configure(layout, 2);
    l.setLearning(true);
    // Frames with one-sided bin-1 powers 2, 8 and 18 (|X1| = 1, 2, 3): mean 28/3.
    for (float a : {1.0f, 2.0f, 3.0f}) {
        const float ccs[10] = {0, 0, a, 0, 0, 0, 0, 0, 0, 0};
        l.gatherHigh(ccs, nullptr, 8, 1, 2, 1.0, FrameWindow::Rectangular);
    }
    // The low band counted two frames (one channel) and marked them.
    const float silent[10] = {};
    l.measure(Side::Before, silent, nullptr, 8, 0, 2, 0, 1.0, true);
    l.measure(Side::Before, silent, nullptr, 8, 0, 2, 0, 1.0, true);
    l.markHighDue(2);
    ASSERT_EQ(l.takeHighDue(), 2);
    l.addGatheredHigh(2, 2);
    EXPECT_NEAR(l.spectrum(LearnTarget::Source)[2], 2 * 28.0 / 3.0, 1e-9);
    EXPECT_NEAR(l.display(Side::Before, 0)[2], 28.0 / 3.0, 1e-5);
    EXPECT_EQ(l.frames(LearnTarget::Source), 2); // the high band adds no count

    // Gathering starts afresh after a mark, and a cleared mark drops what was gathered.
    const float four[10] = {0, 0, 4, 0, 0, 0, 0, 0, 0, 0};
    l.gatherHigh(four, nullptr, 8, 1, 2, 1.0, FrameWindow::Rectangular);
    l.markHighDue(0);
    l.addGatheredHigh(2, 1);
    EXPECT_NEAR(l.spectrum(LearnTarget::Source)[2], 2 * 28.0 / 3.0, 1e-9);
    l.gatherHigh(four, nullptr, 8, 1, 2, 1.0, FrameWindow::Rectangular);
    l.addGatheredHigh(2, 1);
    EXPECT_NEAR(l.spectrum(LearnTarget::Source)[2], 2 * 28.0 / 3.0 + 32.0, 1e-9);
    // Nothing is written past the layout: from index 3 on, only bin 1 fits.
    l.gatherHigh(four, nullptr, 8, 1, 2, 1.0, FrameWindow::Rectangular);
    l.addGatheredHigh(3, 1);
    EXPECT_NEAR(l.spectrum(LearnTarget::Source)[3], 32.0, 1e-9);
    EXPECT_EQ(l.spectrum(LearnTarget::Source)[4], 0.0);
}

// Engine learning ----------------------------------------------------------------------------

Channels stereo(size_t n, uint32_t seed) {
    return {whiteNoise(n, seed), whiteNoise(n, seed + 1)};
}

void learn(MatchEngine& e, LearnTarget target, const Channels& signal) {
    e.reset();
    e.setLearnTarget(target);
    e.setLearning(true);
    runInCalls(e, signal, {1000});
    e.setLearning(false);
}

class EngineLearning : public ::testing::TestWithParam<bool> {};

TEST_P(EngineLearning, same_noise_as_source_and_destination_gives_a_flat_match) {
    MatchEngine e(44100, 2);
    e.setThirdOctave(GetParam());
    const Channels noise = stereo(60000, 4);
    learn(e, LearnTarget::Source, noise);
    learn(e, LearnTarget::Destination, noise);
    EXPECT_GT(e.learner().frames(LearnTarget::Source), 0);
    EXPECT_EQ(e.learner().frames(LearnTarget::Source),
              e.learner().frames(LearnTarget::Destination));
    const auto& s = e.learner().spectrum(LearnTarget::Source);
    const auto& d = e.learner().spectrum(LearnTarget::Destination);
    for (int32_t k = 0; k < e.learnedBins(); ++k) {
        ASSERT_GT(s[size_t(k)], 0.0) << k;
        ASSERT_EQ(s[size_t(k)], d[size_t(k)]) << k;
    }
    e.setMatch(true);
    e.setMorph(2.0f);
    const double w129 = 0.5 - 0.5 * std::cos(2.0 * M_PI * 129.0 / 257.0);
    EXPECT_NEAR(e.designedTaps()[128], w129, 1e-6);
}

TEST_P(EngineLearning, display_off_in_third_octave_measures_nothing) {
    MatchEngine e(44100, 2);
    e.setThirdOctave(GetParam());
    e.setDisplayOn(false);
    learn(e, LearnTarget::Source, stereo(40000, 8));
    // Equal band keeps measuring; third octave stops.
    EXPECT_EQ(e.learner().frames(LearnTarget::Source) > 0, !GetParam());
}

INSTANTIATE_TEST_SUITE_P(Modes, EngineLearning, ::testing::Values(false, true));

TEST(EngineLearningFrames,
     mode_switch_starts_from_zeroed_spectra_and_repeating_the_mode_keeps_them) {
    MatchEngine e(44100, 2);
    learn(e, LearnTarget::Source, stereo(10000, 3));
    const int32_t frames = e.learner().frames(LearnTarget::Source);
    ASSERT_GT(frames, 0);
    EXPECT_FALSE(e.setThirdOctave(false)); // same mode: nothing happens
    EXPECT_EQ(e.learner().frames(LearnTarget::Source), frames);
    EXPECT_TRUE(e.setThirdOctave(true));
    EXPECT_EQ(e.learner().frames(LearnTarget::Source), 0);
    EXPECT_EQ(e.learnedBins(), 502);
    for (int32_t k = 0; k < e.learnedBins(); ++k) {
        ASSERT_EQ(e.learner().spectrum(LearnTarget::Source)[size_t(k)], 0.0) << k;
    }
    // The learn target survives the rebuild.
    e.setLearnTarget(LearnTarget::Destination);
    e.setThirdOctave(false);
    EXPECT_EQ(e.learner().target(), LearnTarget::Destination);
}

// The low band learns every bin of its layout, up to and including k2 (bin 256 at 44.1 kHz,
// 257 at 48 kHz), not only bins 0..255.
TEST(EngineLearningFrames, third_octave_low_band_learns_every_bin_up_to_k2) {
    for (const auto& [rate, k2] : {std::pair{44100, 256}, std::pair{48000, 257}}) {
        MatchEngine e(rate, 2);
        ASSERT_TRUE(e.setThirdOctave(true));
        ASSERT_EQ(e.learner().layout().lowLastBin, k2);
        learn(e, LearnTarget::Source, stereo(60000, 8));
        const auto& s = e.learner().spectrum(LearnTarget::Source);
        EXPECT_GT(s[size_t(k2)], 0.0) << rate;
        EXPECT_GT(s[size_t(k2 - 1)], 0.0) << rate;
        // Bin k2 of white noise is as strong as its neighbour (within the noise of the sums).
        EXPECT_NEAR(10 * std::log10(s[size_t(k2)] / s[size_t(k2 - 1)]), 0.0, 3.0) << rate;
    }
}

TEST(EngineLearningFrames, a_single_channel_counts_both_blocks_of_a_transform) {
    MatchEngine mono(44100, 1), two(44100, 2);
    // Five mono transforms of 2 × 768 samples, five stereo transforms of 768.
    learn(mono, LearnTarget::Source, Channels{whiteNoise(5 * 1536, 1)});
    learn(two, LearnTarget::Source, stereo(5 * 768, 1));
    EXPECT_EQ(mono.learner().frames(LearnTarget::Source), 10);
    EXPECT_EQ(two.learner().frames(LearnTarget::Source), 5);
}

TEST(EngineLearningFrames, third_octave_high_band_adds_one_frame_per_low_band_frame) {
    for (int32_t channels : {1, 2}) {
        MatchEngine e(44100, channels);
        ASSERT_TRUE(e.setThirdOctave(true));
        Channels in;
        for (int32_t c = 0; c < channels; ++c)
            in.push_back(pinkNoise(200000, 30 + uint32_t(c)));
        learn(e, LearnTarget::Source, in);
        const int32_t frames = e.learner().frames(LearnTarget::Source);
        EXPECT_GT(frames, 0);
        // Pink noise: a low-band bin near 500 Hz and a high-band bin near 2 kHz show mean powers
        // in the ratio of their frequencies' pink levels once both are learned per frame alike.
        const BinLayout& l = e.learner().layout();
        const auto& s = e.learner().spectrum(LearnTarget::Source);
        const double lowBinHz = 44100.0 / 11.0 / 1024.0, highBinHz = 44100.0 / 512.0;
        double low = 0, high = 0;
        for (int32_t k = 120; k < 140; ++k)
            low += s[size_t(k)] / lowBinHz;
        const int32_t h0 = int32_t(2000.0 / highBinHz);
        for (int32_t j = h0; j < h0 + 4; ++j)
            high += s[size_t(l.lowLastBin + 1 + j - l.highFirstBin)] / highBinHz;
        // Per-Hz density: equal powers per Hz scaled by the low band's level factor 12, and the
        // 1/f slope from ~520 Hz to ~2.1 kHz (-6 dB).
        const double ratioDb = 10 * std::log10((low / 20) / (high / 4));
        EXPECT_NEAR(ratioDb, 10 * std::log10(12.0 * 2100.0 / 520.0), 1.5) << channels;
    }
}

} // namespace
} // namespace orq::matching
