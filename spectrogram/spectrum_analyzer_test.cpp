#include "spectrogram/display_level.h"
#include "spectrogram/spectrogram_engine.h"
#include "spectrogram/spectrum_analyzer.h"
#include "testsupport/test_signals.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <numbers>
#include <vector>

namespace orq::spectrogram {
namespace {

std::vector<float> sineAt(double frequencyHz, double rateHz, size_t n, double amplitude = 1.0) {
    return test::sine(n, frequencyHz, rateHz, amplitude);
}

int32_t peakBin(const float* row, int32_t bins = kSpectrumBins) {
    return int32_t(std::max_element(row, row + bins) - row);
}

struct DftGap {
    double relative = 0.0; // |stored − expected| over the row's largest expected power
    int32_t frame = 0, bin = 0;
};

// The largest gap between `frames` stored rows and the powers of a double-precision DFT of
// the frames sample(frame, t), t = 0..N−1: P[0] = |X[0]|², P[k] = 2·c·|X[k]|²,
// P[N/2] = |X[N/2]|².
template <class Sample> DftGap worstGapToDft(const float* rows, int32_t frames, Sample sample) {
    constexpr int32_t n = kSpectrumFftLength;
    std::vector<double> cosine(n), sine(n);
    for (int32_t m = 0; m < n; ++m) {
        cosine[size_t(m)] = std::cos(2.0 * std::numbers::pi * m / n);
        sine[size_t(m)] = std::sin(2.0 * std::numbers::pi * m / n);
    }
    DftGap worst;
    std::vector<double> x(n), expected(kSpectrumBins);
    for (int32_t frame = 0; frame < frames; ++frame) {
        for (int32_t t = 0; t < n; ++t)
            x[size_t(t)] = sample(frame, t);
        for (int32_t k = 0; k < kSpectrumBins; ++k) {
            double re = 0.0, im = 0.0;
            for (int32_t t = 0; t < n; ++t) {
                const size_t m = size_t((int64_t(k) * t) % n);
                re += x[size_t(t)] * cosine[m];
                im -= x[size_t(t)] * sine[m];
            }
            const double scale = (k == 0 || k == kSpectrumBins - 1) ? 1.0 : 2.0 * kInteriorBinScale;
            expected[size_t(k)] = scale * (re * re + im * im);
        }
        const double rowMax = *std::max_element(expected.begin(), expected.end());
        const float* row = rows + size_t(frame) * kSpectrumBins;
        for (int32_t k = 0; k < kSpectrumBins; ++k) {
            const double gap = std::abs(double(row[k]) - expected[size_t(k)]) / rowMax;
            if (gap > worst.relative) worst = {gap, frame, k};
        }
    }
    return worst;
}

TEST(FullBandFraming, fewer_than_a_block_gives_no_spectrum_and_waits) {
    SpectrumAnalysisSetup setup(44100);
    SpectrumAnalyzer analyzer(setup);
    std::vector<float> x(1023, 0.5f);
    analyzer.feed(x.data(), 1023);
    EXPECT_EQ(analyzer.pending(), 0);
    analyzer.feed(x.data(), 1);
    EXPECT_EQ(analyzer.pending(), 2);
}

TEST(FullBandFraming, block_of_silence_gives_two_zero_spectra) {
    SpectrumAnalysisSetup setup(44100);
    SpectrumAnalyzer analyzer(setup);
    std::vector<float> x(1024, 0.0f);
    analyzer.feed(x.data(), 1024);
    const auto c = analyzer.collect();
    ASSERT_EQ(c.count, 2);
    EXPECT_FALSE(c.overflow);
    EXPECT_EQ(*std::max_element(c.rows, c.rows + 2 * kSpectrumBins), 0.0f);
    EXPECT_EQ(analyzer.pending(), 0);
}

TEST(FullBandFraming, eighty_spectra_wrap_the_ring_once) {
    SpectrumAnalysisSetup setup(44100);
    SpectrumAnalyzer analyzer(setup);
    std::vector<float> x(40 * 1024, 0.1f);
    analyzer.feed(x.data(), int32_t(x.size()));
    EXPECT_EQ(analyzer.pending(), kFullBandRingRows);
    EXPECT_TRUE(analyzer.overflow());
    const auto c = analyzer.collect();
    EXPECT_EQ(c.count, kFullBandRingRows);
    EXPECT_TRUE(c.overflow);
    EXPECT_FALSE(analyzer.overflow());
}

TEST(FullBandSpectrum, full_scale_sine_at_bin_k_peaks_there_and_reads_0db) {
    for (int32_t k : {1, 37, 256, 300, 511}) {
        SpectrumAnalysisSetup setup(48000);
        SpectrumAnalyzer analyzer(setup);
        const auto x = sineAt(k * 48000.0 / kSpectrumFftLength, 48000.0, 2048);
        analyzer.feed(x.data(), 2048);
        const auto c = analyzer.collect();
        ASSERT_EQ(c.count, 4);
        const float* last = c.rows + 3 * kSpectrumBins; // a frame wholly inside the sine
        EXPECT_EQ(peakBin(last), k) << "bin " << k;
        // At bins 1 and 511 the mirror image two bins away (the window's second coefficient,
        // 0.04 against 0.42) moves the level by up to 0.87 dB.
        const float tolerance = (k == 1 || k == 511) ? 0.9f : 0.05f;
        EXPECT_NEAR(displayLevelDb(last[k]), 0.0f, tolerance) << "bin " << k;
    }
}

TEST(FullBandSpectrum, edge_bins_carry_no_interior_scale) {
    const auto w = fullBandWindow();
    double windowSum = 0.0, alternatingSum = 0.0;
    for (int32_t i = 0; i < kSpectrumFftLength; ++i) {
        windowSum += w[i];
        alternatingSum += (i % 2 == 0 ? 1.0 : -1.0) * w[i];
    }
    SpectrumAnalysisSetup setup(44100);
    SpectrumAnalyzer analyzer(setup);
    std::vector<float> dc(1024, 1.0f);
    analyzer.feed(dc.data(), 1024);
    auto c = analyzer.collect();
    // Frame B of the block: X[0] = Σw, stored as |X[0]|² without 2·c.
    EXPECT_NEAR(c.rows[kSpectrumBins + 0], windowSum * windowSum, 1e-5);
    std::vector<float> nyquist(1024);
    for (int32_t i = 0; i < 1024; ++i)
        nyquist[i] = i % 2 == 0 ? 1.0f : -1.0f;
    analyzer.feed(nyquist.data(), 1024);
    c = analyzer.collect();
    EXPECT_NEAR(c.rows[kSpectrumBins + 512], windowSum * windowSum, 1e-5);
    EXPECT_NEAR(c.rows[kSpectrumBins + 0], alternatingSum * alternatingSum, 1e-6);
}

TEST(FullBandSpectrum, first_frame_overlaps_the_previous_block) {
    // A sine that starts in the second block appears in frame A of that block at reduced
    // level (half the frame is silence) and fully in frame B.
    SpectrumAnalysisSetup setup(44100);
    SpectrumAnalyzer analyzer(setup);
    std::vector<float> x(2048, 0.0f);
    const auto s = sineAt(100 * 44100.0 / 1024, 44100.0, 1024);
    std::copy(s.begin(), s.end(), x.begin() + 1024);
    analyzer.feed(x.data(), 2048);
    const auto c = analyzer.collect();
    ASSERT_EQ(c.count, 4);
    const float a = c.rows[2 * kSpectrumBins + 100], b = c.rows[3 * kSpectrumBins + 100];
    EXPECT_GT(a, 0.0f);
    EXPECT_LT(a, 0.5f * b);
}

// Both frames of every block against a DFT of the windowed noise framed by hand: frame A of
// block b is the last half of block b−1 (silence before the first) and the first half of b,
// frame B is block b.
TEST(FullBandSpectrum, both_frames_of_noise_blocks_match_a_direct_dft) {
    SpectrumAnalysisSetup setup(44100);
    SpectrumAnalyzer analyzer(setup);
    std::vector<float> x(3 * kSpectrumFftLength);
    test::UniformNoise(7).fill(x);
    analyzer.feed(x.data(), int32_t(x.size()));
    const auto c = analyzer.collect();
    ASSERT_EQ(c.count, 6);
    const std::vector<float> w = fullBandWindow();
    const DftGap worst = worstGapToDft(c.rows, 6, [&](int32_t frame, int32_t t) {
        const int32_t i = frame * kFullBandHop - kFullBandHop + t;
        return i < 0 ? 0.0 : double(x[size_t(i)]) * w[size_t(t)];
    });
    EXPECT_LT(worst.relative, 2e-6) << "frame " << worst.frame << " bin " << worst.bin;
    std::printf("full band: largest gap to the DFT %.3g of the row's peak\n", worst.relative);
}

TEST(LowBandChain, sine_of_300hz_peaks_at_its_bin_at_every_rate) {
    for (const AntiAliasSet& set : kAntiAliasSets) {
        SpectrumAnalysisSetup setup(set.sampleRateHz);
        SpectrumAnalyzer analyzer(setup);
        analyzer.setLowBand(true);
        const auto x = sineAt(300.0, set.sampleRateHz, size_t(set.sampleRateHz));
        analyzer.feed(x.data(), int32_t(x.size()));
        const auto c = analyzer.collect();
        ASSERT_GE(c.count, 4) << set.sampleRateHz;
        const double binHz = double(set.sampleRateHz) / set.decimation / kSpectrumFftLength;
        const float* last = c.rows + size_t(c.count - 1) * kSpectrumBins;
        EXPECT_NEAR(peakBin(last, kLowBandShownBins), 300.0 / binHz, 0.5)
            << set.sampleRateHz << " Hz";
        // About 2 dB below the full-band calibration: the 769-point window has the lower
        // gain, partly made up by the 255-sample history in each frame; where the tone falls
        // between bins moves it by a few tenths.
        EXPECT_NEAR(displayLevelDb(last[peakBin(last)]), -2.0f, 0.7f) << set.sampleRateHz;
    }
}

TEST(LowBandChain, fewer_than_1538_decimated_samples_give_no_spectrum_and_wait) {
    SpectrumAnalysisSetup setup(44100);
    SpectrumAnalyzer analyzer(setup);
    analyzer.setLowBand(true);
    const int32_t d = analyzer.decimation();
    // Decimated samples are kept at input indices 0, D, 2D, …: 1537 of them take 1536·D + 1
    // inputs.
    std::vector<float> x(size_t(1536 * d + 1), 0.25f);
    analyzer.feed(x.data(), int32_t(x.size()));
    EXPECT_EQ(analyzer.pending(), 0);
    // The anti-alias filter hands its output on in pairs of segments (2 × 930 samples here):
    // one more decimated sample plus one pair completes the block.
    std::vector<float> more(size_t(d + 2 * 930), 0.25f);
    analyzer.feed(more.data(), int32_t(more.size()));
    EXPECT_EQ(analyzer.pending(), 2);
}

TEST(LowBandChain, aliases_from_above_the_band_stay_below_60db) {
    // 44100 / 11 = 4009 Hz: a tone at 4009 + 300 Hz would fold onto 300 Hz.
    SpectrumAnalysisSetup setup(44100);
    SpectrumAnalyzer analyzer(setup);
    analyzer.setLowBand(true);
    const auto x = sineAt(4009.09 + 300.0, 44100.0, 44100);
    analyzer.feed(x.data(), int32_t(x.size()));
    const auto c = analyzer.collect();
    ASSERT_GE(c.count, 2);
    const float* last = c.rows + size_t(c.count - 1) * kSpectrumBins;
    EXPECT_LT(displayLevelDb(*std::max_element(last, last + kLowBandShownBins)), -55.0f);
}

TEST(AnalysisMode, switching_keeps_rows_and_flags_spectra_beyond_new_capacity) {
    SpectrumAnalysisSetup setup(44100);
    SpectrumAnalyzer analyzer(setup);
    std::vector<float> x(12 * 1024, 0.1f);
    analyzer.feed(x.data(), int32_t(x.size()));
    ASSERT_EQ(analyzer.pending(), 24);
    analyzer.setLowBand(true);
    EXPECT_EQ(analyzer.capacity(), kLowBandRingRows);
    EXPECT_EQ(analyzer.pending(), kLowBandRingRows);
    EXPECT_TRUE(analyzer.overflow());
    analyzer.setLowBand(false);
    EXPECT_EQ(analyzer.capacity(), kFullBandRingRows);
    EXPECT_EQ(analyzer.pending(), kLowBandRingRows);
}

TEST(SpectrogramEngineCollection, mean_view_averages_channel_powers) {
    SpectrogramEngine engine(44100, 2);
    ASSERT_EQ(engine.view(), 1);
    const auto left = sineAt(50 * 44100.0 / 1024, 44100.0, 1024);
    const auto right = sineAt(200 * 44100.0 / 1024, 44100.0, 1024, 0.5);
    const float* inputs[] = {left.data(), right.data()};
    engine.process(inputs, 1024);
    const float leftPower = engine.analyzer(0).row(1)[50];
    const float rightPower = engine.analyzer(1).row(1)[200];
    const auto c = engine.collect();
    ASSERT_EQ(c.count, 2);
    // Power mean: each tone at half its power, not the power of the mixed signal.
    EXPECT_NEAR(c.rows[kSpectrumBins + 50], 0.5f * leftPower, 1e-3f * leftPower);
    EXPECT_NEAR(c.rows[kSpectrumBins + 200], 0.5f * rightPower, 1e-3f * rightPower);
}

TEST(SpectrogramEngineCollection, right_view_collects_right_channel_only) {
    SpectrogramEngine engine(44100, 2);
    engine.setView(2);
    const auto left = sineAt(50 * 44100.0 / 1024, 44100.0, 1024);
    const std::vector<float> right(1024, 0.0f);
    const float* inputs[] = {left.data(), right.data()};
    engine.process(inputs, 1024);
    const auto c = engine.collect();
    ASSERT_EQ(c.count, 2);
    EXPECT_EQ(c.rows[kSpectrumBins + 50], 0.0f);
}

TEST(SpectrogramEngineFeeding, only_the_viewed_channels_analyzers_are_fed) {
    SpectrogramEngine engine(48000, 2);
    const std::vector<float> x(1024, 0.25f);
    const float* inputs[] = {x.data(), x.data()};
    struct Case {
        int32_t view, leftSpectra, rightSpectra;
    };
    for (const Case& k : {Case{0, 2, 0}, Case{1, 2, 2}, Case{2, 0, 2}}) {
        engine.setView(k.view);
        engine.process(inputs, 1024);
        EXPECT_EQ(engine.analyzer(0).pending(), k.leftSpectra) << "view " << k.view;
        EXPECT_EQ(engine.analyzer(1).pending(), k.rightSpectra) << "view " << k.view;
        engine.setView(1);
        engine.collect();
        engine.setView(0);
        engine.collect();
        engine.setView(2);
        engine.collect();
    }
}

TEST(SpectrogramEngineFeeding, switching_view_after_a_long_run_delivers_no_marker_row) {
    SpectrogramEngine engine(48000, 2);
    const std::vector<float> x(1024, 0.0f);
    const float* inputs[] = {x.data(), x.data()};
    for (int32_t from : {0, 2}) {
        engine.setView(from);
        for (int32_t block = 0; block < 100; ++block) { // 200 spectra, collected as they come
            engine.process(inputs, 1024);
            engine.collect();
        }
        engine.setView(2 - from);
        EXPECT_FALSE(engine.overflow()) << "from view " << from;
        engine.process(inputs, 1024);
        const auto c = engine.collect();
        ASSERT_EQ(c.count, 2) << "from view " << from;
        EXPECT_EQ(*std::max_element(c.rows, c.rows + 2 * kSpectrumBins), 0.0f)
            << "a marker row after switching from view " << from;
    }
}

TEST(SpectrogramEngineSettings, capacity_applies_to_both_rings_within_storage) {
    SpectrogramEngine engine(44100, 2);
    engine.setCapacity(5);
    EXPECT_EQ(engine.analyzer(0).capacity(), 5);
    EXPECT_EQ(engine.analyzer(1).capacity(), 5);
    const std::vector<float> x(3 * 1024, 0.0f);
    const float* inputs[] = {x.data(), x.data()};
    engine.process(inputs, 3 * 1024); // six spectra into rings of five
    EXPECT_TRUE(engine.analyzer(0).overflow());
    EXPECT_TRUE(engine.analyzer(1).overflow());
    EXPECT_EQ(engine.pending(), 1);
    engine.setCapacity(0);
    EXPECT_EQ(engine.capacity(), 1);
    engine.setCapacity(1000);
    EXPECT_EQ(engine.capacity(), kRingStorageRows);
    // The mode sets the capacity again, unchanged mode or not.
    engine.setCapacity(7);
    engine.setLowBand(false);
    EXPECT_EQ(engine.analyzer(1).capacity(), kFullBandRingRows);
    engine.setCapacity(7);
    engine.setLowBand(true);
    engine.setLowBand(true);
    EXPECT_EQ(engine.analyzer(1).capacity(), kLowBandRingRows);
}

TEST(SpectrogramEngineSettings, mode_and_run_flag_empty_the_input_block_every_time) {
    SpectrogramEngine engine(44100, 1);
    const std::vector<float> x(1000, 0.3f);
    const float* inputs[] = {x.data()};
    engine.process(inputs, 1000);
    engine.setLowBand(false); // already full band
    engine.process(inputs, 24);
    EXPECT_EQ(engine.pending(), 0) << "mode setting kept the partial block";
    engine.process(inputs, 1000); // 1024 since the setting
    EXPECT_EQ(engine.pending(), 2);
    engine.collect();
    engine.process(inputs, 1000);
    engine.setRunning(true); // already running
    engine.process(inputs, 24);
    EXPECT_EQ(engine.pending(), 0) << "run flag setting kept the partial block";
}

TEST(SpectrogramEngineCollection, wrapped_ring_delivers_marker_row_first) {
    SpectrogramEngine engine(44100, 1);
    EXPECT_EQ(engine.view(), 0);
    engine.setView(2); // one channel: always the left
    EXPECT_EQ(engine.view(), 0);
    std::vector<float> x(41 * 1024, 0.0f);
    const float* inputs[] = {x.data()};
    engine.process(inputs, int32_t(x.size()));
    EXPECT_TRUE(engine.overflow());
    const auto c = engine.collect();
    ASSERT_EQ(c.count, 2); // 82 spectra: 80 wrapped away, two remain
    for (int32_t b = 0; b < kSpectrumBins; ++b)
        ASSERT_EQ(c.rows[b], 1.0f) << "bin " << b;
    EXPECT_EQ(c.rows[kSpectrumBins + 5], 0.0f);
    EXPECT_FALSE(engine.overflow());
}

TEST(SpectrogramEngineCollection, halted_engine_measures_nothing_and_resumes_from_empty_block) {
    SpectrogramEngine engine(44100, 1);
    std::vector<float> x(1000, 0.3f);
    const float* inputs[] = {x.data()};
    engine.process(inputs, 1000); // partial block
    engine.setRunning(false);
    engine.process(inputs, 1000);
    EXPECT_EQ(engine.pending(), 0);
    engine.setRunning(true);
    engine.process(inputs, 1000); // the earlier 1000 samples were dropped
    EXPECT_EQ(engine.pending(), 0);
    engine.process(inputs, 24);
    EXPECT_EQ(engine.pending(), 2);
}

// The windows against their sine-square forms, evaluated in long double:
// a0 − a1·cos x + a2·cos 2x = (a0 − a1 + a2) + 2·a1·sin²(x/2) − 2·a2·sin² x.
TEST(AnalysisWindows, full_band_is_the_periodic_1024_point_blackman_over_n) {
    const std::vector<float> w = fullBandWindow();
    ASSERT_EQ(w.size(), 1024u);
    const long double pi = std::numbers::pi_v<long double>;
    long double sum = 0;
    for (size_t i = 0; i < w.size(); ++i) {
        const long double s1 = std::sin(pi * i / 1024.0L), s2 = std::sin(2.0L * pi * i / 1024.0L);
        const long double expected = (s1 * s1 - 0.16L * s2 * s2) / 1024.0L;
        ASSERT_NEAR(w[i], double(expected), 1e-10) << "n = " << i;
        sum += w[i];
    }
    EXPECT_NEAR(w[512], 1.0 / 1024, 1e-10);
    EXPECT_NEAR(w[256], 0.34 / 1024, 1e-10);
    EXPECT_NEAR(double(sum), 0.42, 1e-6); // the coherent gain the interior scale assumes
}

TEST(AnalysisWindows, low_band_is_the_periodic_769_point_blackman_harris_over_1024) {
    const std::vector<float> w = lowBandWindow();
    ASSERT_EQ(w.size(), 769u);
    const long double pi = std::numbers::pi_v<long double>;
    long double sum = 0;
    for (size_t i = 0; i < w.size(); ++i) {
        const long double s1 = std::sin(pi * i / 769.0L), s2 = std::sin(2.0L * pi * i / 769.0L);
        const long double expected = (0.0049L + 0.9951L * s1 * s1 - 0.15844L * s2 * s2) / 1024.0L;
        ASSERT_NEAR(w[i], double(expected), 1e-10) << "n = " << i;
        if (i > 0) {
            ASSERT_NEAR(w[i], w[769 - i], 1e-9) << "n = " << i;
        }
        sum += w[i];
    }
    EXPECT_NEAR(w[0], 0.0049 / 1024, 1e-10);
    EXPECT_NEAR(double(sum), 0.42323 * 769 / 1024, 1e-6);
}

// The low band's frames against a plain DFT of the decimated stream framed by hand: frame A of
// each block is the previous block's last 255 windowed samples followed by its first window,
// frame B the first window's last 255 samples followed by the second window.
TEST(LowBandChain, frames_carry_255_windowed_samples_of_history_across_blocks) {
    constexpr int32_t rate = 48000;
    SpectrumAnalysisSetup setup(rate);
    SpectrumAnalyzer analyzer(setup);
    analyzer.setLowBand(true);
    const int32_t d = setup.antiAlias.decimation;
    // Enough for three blocks of 1538 decimated samples, with the filters' latency to spare.
    const size_t n = size_t(3 * kLowBandBlock * d + 4096);
    std::vector<float> x = sineAt(310.0, rate, n, 0.6);
    const std::vector<float> y = sineAt(770.0, rate, n, 0.3);
    // Noise fills every bin, so none is compared at the level of rounding alone.
    std::vector<float> noise(n);
    test::UniformNoise(11, 0.2f).fill(noise);
    for (size_t i = 0; i < n; ++i)
        x[i] += y[i] + noise[i];
    analyzer.feed(x.data(), int32_t(n));
    const auto c = analyzer.collect();
    ASSERT_EQ(c.count, 6);

    // The decimated stream through the chain's own (separately tested) stages.
    OverlapSaveFir antiAlias(setup.antiAliasCoefficients);
    Decimator decimator(d);
    DirectFir bandLimit(kBandLimitTaps, kBandLimitTapCount, 1024);
    std::vector<float> filtered(n + size_t(antiAlias.pairLength()));
    const int32_t filteredCount = antiAlias.process(x.data(), int32_t(n), filtered.data());
    std::vector<float> decimated(static_cast<size_t>(filteredCount));
    const int32_t kept = decimator.process(filtered.data(), filteredCount, decimated.data());
    bandLimit.process(decimated.data(), decimated.data(), kept);
    ASSERT_GE(kept, 3 * kLowBandBlock);

    const double pi = std::numbers::pi;
    auto window = [&](int32_t i) {
        return (0.42323 - 0.49755 * std::cos(2 * pi * i / 769) +
                0.07922 * std::cos(4 * pi * i / 769)) /
               1024;
    };
    // Windowed decimated stream: each 769-sample window starts a new weighting.
    auto u = [&](int32_t i) { return i < 0 ? 0.0 : decimated[size_t(i)] * window(i % 769); };
    // Frame f ends with window f (769 samples) and begins with the 255 before it.
    const DftGap worst = worstGapToDft(
        c.rows, 6, [&](int32_t frame, int32_t t) { return u(frame * 769 - kLowBandHistory + t); });
    EXPECT_LT(worst.relative, 2e-6) << "frame " << worst.frame << " bin " << worst.bin;
    std::printf("low band: largest gap to the DFT %.3g of the row's peak\n", worst.relative);
}

TEST(DisplayLevel, floors_at_minus_100db) {
    EXPECT_EQ(displayLevelDb(0.0f), -100.0f);
    EXPECT_EQ(displayLevelDb(-1.0f), -100.0f);
    EXPECT_EQ(displayLevelDb(1e-20f), -100.0f);
    EXPECT_EQ(displayLevelDb(std::nanf("")), -100.0f);
    EXPECT_NEAR(displayLevelDb(0.5f), 0.0f, 1e-6f);
}

} // namespace
} // namespace orq::spectrogram
