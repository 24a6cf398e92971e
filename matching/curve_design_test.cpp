#include "matching/curve_design.h"

#include "matching/matching_engine.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <complex>
#include <numeric>
#include <vector>

namespace orq::matching {
namespace {

const double kW129 = 0.5 - 0.5 * std::cos(2.0 * M_PI * 129.0 / 257.0);

// |H| in dB of causal taps at a frequency given as a fraction of the sample rate.
double responseDb(const float* taps, int32_t count, double cyclesPerSample) {
    std::complex<double> h = 0.0;
    for (int32_t n = 0; n < count; ++n) {
        h += double(taps[n]) *
             std::exp(std::complex<double>(0.0, -2.0 * M_PI * cyclesPerSample * n));
    }
    return 20.0 * std::log10(std::abs(h));
}

TEST(FirDesign, flat_curve_gives_the_single_centre_tap_in_both_sizes) {
    for (int32_t n : {512, 1024}) {
        FirDesigner designer(n);
        std::vector<double> curve(static_cast<size_t>(n / 2 + 1), 0.0);
        std::vector<float> re(static_cast<size_t>(n / 2 + 1)), im(re), taps(static_cast<size_t>(n));
        designer.design(curve.data(), re.data(), im.data(), taps.data());
        EXPECT_NEAR(taps[kFirCentreTap], kW129, 1e-6) << n;
        EXPECT_NEAR(taps[kFirCentreTap], 0.99996, 1e-5);
        double others = 0.0;
        for (int32_t i = 0; i < n; ++i) {
            if (i != kFirCentreTap) others = std::max(others, double(std::abs(taps[size_t(i)])));
        }
        EXPECT_LT(others, 1e-6) << n;
        // Its spectrum is that of a 128-sample delay.
        const int32_t k = n / 8;
        const double phase = -2.0 * M_PI * kFirCentreTap * k / n;
        EXPECT_NEAR(re[size_t(k)], kW129 * std::cos(phase), 1e-5);
        EXPECT_NEAR(im[size_t(k)], kW129 * std::sin(phase), 1e-5);
    }
}

TEST(FirDesign, designed_filter_has_257_taps_centred_on_tap_128) {
    FirDesigner designer(1024);
    std::vector<double> curve(513);
    for (size_t k = 0; k < curve.size(); ++k)
        curve[k] = 6.0 * std::sin(double(k) / 40.0);
    std::vector<float> re(513), im(513), taps(1024);
    designer.design(curve.data(), re.data(), im.data(), taps.data());
    for (size_t i = 257; i < taps.size(); ++i)
        ASSERT_EQ(taps[i], 0.0f) << i;
    // Nearly even about tap 128 (the window sits half a sample off centre).
    double asym = 0.0, peak = 0.0;
    for (int32_t j = 1; j < 128; ++j) {
        asym = std::max(asym, double(std::abs(taps[size_t(128 + j)] - taps[size_t(128 - j)])));
        peak = std::max(peak, double(std::abs(taps[size_t(128 + j)])));
    }
    EXPECT_LT(asym, 0.02 * peak);
    // The spectrum handed to the convolver is the one of these taps.
    EXPECT_NEAR(re[0], std::accumulate(taps.begin(), taps.end(), 0.0), 1e-4);
}

TEST(SliderCurve, one_slider_at_6_db_rises_and_falls_linearly_between_neighbouring_centres) {
    const int32_t n = 1024;
    const BandCentres c = equalBandCentres(44100);
    EXPECT_DOUBLE_EQ(c.centreHz[0], 367.5);
    EXPECT_DOUBLE_EQ(c.centreHz[29], 21682.5);
    std::vector<float> gains(30, 0.0f);
    gains[10] = 6.0f;
    std::vector<double> curve(513);
    sliderCurveDb(gains.data(), c, 0, 29, n, 22050.0, curve.data());
    const double binHz = 22050.0 / 512.0;
    const double b9 = c.centreHz[9] / binHz, b10 = c.centreHz[10] / binHz,
                 b11 = c.centreHz[11] / binHz;
    for (int32_t j = 0; j <= 512; ++j) {
        double want = 0.0;
        if (j > b9 && j <= b10) want = 6.0 * (j - b9) / (b10 - b9);
        if (j > b10 && j <= b11) want = 6.0 - 6.0 * (j - b10) / (b11 - b10);
        ASSERT_NEAR(curve[size_t(j)], want, 1e-9) << "bin " << j;
    }
    // The designed filter follows it within the resolution of 257 taps.
    FirDesigner designer(n);
    std::vector<float> re(513), im(513), taps(1024);
    designer.design(curve.data(), re.data(), im.data(), taps.data());
    // The peak of the narrow triangle is rounded off by the filter's resolution.
    EXPECT_NEAR(responseDb(taps.data(), 257, c.centreHz[10] / 44100.0), 6.0, 1.0);
    EXPECT_NEAR(responseDb(taps.data(), 257, (c.centreHz[10] + c.centreHz[11]) / 2 / 44100.0), 3.0,
                0.5);
    EXPECT_NEAR(responseDb(taps.data(), 257, c.centreHz[20] / 44100.0), 0.0, 0.05);
}

TEST(SliderCurve, partial_band_range_ramps_from_zero_and_ends_at_zero) {
    const BandCentres c = thirdOctaveCentres();
    std::vector<float> gains(30, 4.0f);
    std::vector<double> curve(257);
    // High filter of third-octave mode: bands 14..29 at 44100 Hz, 512 points.
    sliderCurveDb(gains.data(), c, 14, 29, 512, 22050.0, curve.data());
    // Band indices count from 0: band 13 is centred at 500 Hz, band 14 at 630 Hz.
    const double b13 = 500.0 * 256 / 22050.0, b14 = 630.0 * 256 / 22050.0;
    EXPECT_EQ(curve[0], 0.0);
    EXPECT_EQ(curve[size_t(std::floor(b13))], 0.0);
    // First ramp bin: 0 dB at b13 rising to 4 dB at b14.
    const int32_t j = int32_t(std::floor(b13)) + 1;
    EXPECT_NEAR(curve[size_t(j)], 4.0 * (j - b13) / (b14 - b13), 1e-9);
    EXPECT_EQ(curve[256], 4.0);
    // Low filter: bands 0..18 end at 0 dB from the last centre's bin on.
    std::vector<double> low(513);
    sliderCurveDb(gains.data(), c, 0, 18, 1024, 2008.0, low.data());
    EXPECT_EQ(low[0], 4.0);
    EXPECT_EQ(low[size_t(std::floor(1600.0 * 512 / 2008.0))], 0.0);
    EXPECT_EQ(low[512], 0.0);
}

TEST(SliderCurve, centres_beyond_nyquist_stay_inside_the_spectrum) {
    // At 22050 Hz the upper third-octave centres lie above Nyquist.
    const BandCentres c = thirdOctaveCentres();
    std::vector<float> gains(30, -3.0f);
    std::vector<double> curve(258, 99.0);
    sliderCurveDb(gains.data(), c, 14, 29, 512, 11025.0, curve.data());
    EXPECT_EQ(curve[257], 99.0); // one past the spectrum: untouched
    for (size_t k = 0; k <= 256; ++k)
        ASSERT_TRUE(std::isfinite(curve[k]));
    EXPECT_NEAR(curve[256], -3.0, 1e-9);
}

TEST(MatchTerm, match_term_compares_learned_powers_and_ignores_unlearned_bins) {
    EXPECT_NEAR(matchTermDb(4.0, 1.0), 6.0206, 1e-4);
    EXPECT_NEAR(matchTermDb(1.0, 100.0), -20.0, 1e-12);
    EXPECT_EQ(matchTermDb(0.0, 0.0), 0.0);
    EXPECT_EQ(matchTermDb(0.0, 5.0), 0.0);
    EXPECT_EQ(matchTermDb(5.0, 0.0), 0.0);
    EXPECT_EQ(matchTermDb(-1.0, 5.0), 0.0);
    EXPECT_EQ(matchTermDb(INFINITY, 5.0), 0.0);
}

// Engine-level designs: the match term scaled by morph on top of the match sliders.
class MatchDesign : public ::testing::TestWithParam<bool> {
  protected:
    // Learned source = 4 × destination in every bin: a match term of +6.02 dB everywhere.
    static void learnConstantRatio(MatchEngine& e) {
        std::vector<float> src(513), dst(513);
        for (size_t k = 0; k < 513; ++k) {
            dst[k] = 1.0f + float(k);
            src[k] = 4.0f * dst[k];
        }
        e.setLearnedSpectrum(LearnTarget::Source, src.data(), 513);
        e.setLearnedSpectrum(LearnTarget::Destination, dst.data(), 513);
    }
    static float centreTap(const MatchEngine& e) { return e.designedTaps()[kFirCentreTap]; }
    // Response of the designed filter that serves this frequency, relative to a flat design.
    static double gainDb(const MatchEngine& e, double freqHz) {
        const float* taps = e.designedTaps().data();
        double rate = 44100.0;
        if (e.thirdOctave()) {
            if (freqHz < 1000.0) {
                rate = 44100.0 / 11.0;
            } else {
                taps += 1024;
            }
        }
        return responseDb(taps, 257, freqHz / rate) - 20 * std::log10(kW129);
    }
};

TEST_P(MatchDesign, morph_scales_the_match_term) {
    MatchEngine e(44100, 2);
    e.setThirdOctave(GetParam());
    learnConstantRatio(e);
    e.setMatch(true);
    for (double freq : {200.0, 5000.0}) {
        e.setMorph(0.0f);
        EXPECT_NEAR(gainDb(e, freq), 0.0, 0.02) << freq;
        e.setMorph(1.0f);
        EXPECT_NEAR(gainDb(e, freq), 6.0206, 0.05) << freq;
        e.setMorph(2.0f);
        EXPECT_NEAR(gainDb(e, freq), 12.0412, 0.1) << freq;
        e.setMorph(7.0f); // clamps to 200 %
        EXPECT_NEAR(gainDb(e, freq), 12.0412, 0.1) << freq;
    }
    // Match off: the plain sliders alone.
    e.setMatch(false);
    EXPECT_NEAR(centreTap(e), kW129, 1e-6);
}

TEST_P(MatchDesign, morph_zero_equals_the_match_sliders_alone) {
    std::vector<float> sliders(30, 0.0f);
    sliders[8] = 5.0f;
    sliders[25] = -4.0f;
    MatchEngine plain(44100, 2), matched(44100, 2);
    plain.setThirdOctave(GetParam());
    matched.setThirdOctave(GetParam());
    plain.setSliders(sliders.data(), 30);
    learnConstantRatio(matched);
    matched.setMatchSliders(sliders.data(), 30);
    matched.setMatch(true);
    matched.setMorph(0.0f);
    ASSERT_EQ(plain.designedTaps().size(), matched.designedTaps().size());
    for (size_t i = 0; i < plain.designedTaps().size(); ++i) {
        ASSERT_NEAR(plain.designedTaps()[i], matched.designedTaps()[i], 1e-7) << i;
    }
}

TEST_P(MatchDesign, unlearned_bins_contribute_nothing) {
    MatchEngine e(44100, 2);
    e.setThirdOctave(GetParam());
    std::vector<float> src(513, 0.0f);
    src[40] = 1000.0f; // source learned here, destination never
    e.setLearnedSpectrum(LearnTarget::Source, src.data(), 513);
    e.setMatch(true);
    e.setMorph(2.0f);
    EXPECT_NEAR(centreTap(e), kW129, 1e-6);
}

INSTANTIATE_TEST_SUITE_P(Modes, MatchDesign, ::testing::Values(false, true));

// Third octave at 44.1 kHz: k2 = 256, k0 = 12; the low filter runs at 44100/11 Hz.
constexpr double kLowRateHz = 44100.0 / 11.0;
double lowFilterDb(const MatchEngine& e, double freqHz) {
    return responseDb(e.designedTaps().data(), 257, freqHz / kLowRateHz) - 20 * std::log10(kW129);
}
double highFilterDb(const MatchEngine& e, double freqHz) {
    return responseDb(e.designedTaps().data() + 1024, 257, freqHz / 44100.0) -
           20 * std::log10(kW129);
}

// Learned source 4 × destination (+6.02 dB) in every analysis bin of third-octave mode.
MatchEngine& matchedThirdOctave(MatchEngine& e) {
    EXPECT_TRUE(e.setThirdOctave(true));
    std::vector<float> src(513, 4.0f), dst(513, 1.0f);
    e.setLearnedSpectrum(LearnTarget::Source, src.data(), 513);
    e.setLearnedSpectrum(LearnTarget::Destination, dst.data(), 513);
    e.setMatch(true);
    return e;
}

TEST(ThirdOctaveMatchDesign, high_filter_below_k0_and_at_its_nyquist_bin_takes_the_sliders_alone) {
    MatchEngine e(44100, 2);
    matchedThirdOctave(e);
    // Bins 0..11 (up to 947 Hz) are the low band's: no match term there.
    EXPECT_NEAR(highFilterDb(e, 300.0), 0.0, 0.05);
    EXPECT_NEAR(highFilterDb(e, 5000.0), 6.02, 0.05);
    // Bin 256 alone stays at 0 dB: the filter's smoothing pulls its Nyquist response down.
    const double nyquistDb = highFilterDb(e, 22050.0);
    std::printf("high filter at its Nyquist frequency: %+.2f dB\n", nyquistDb);
    EXPECT_LT(nyquistDb, 5.0);
    EXPECT_NEAR(highFilterDb(e, 20000.0), 6.02, 0.1);
}

TEST(ThirdOctaveMatchDesign, low_filter_above_k2_holds_the_match_of_k2_on_top_of_its_sliders) {
    MatchEngine e(44100, 2);
    std::vector<float> sliders(30, 0.0f);
    sliders[17] = 3.0f; // 1250 and 1600 Hz: 3 dB between them, above the 1004 Hz crossover bin
    sliders[18] = 3.0f;
    e.setMatchSliders(sliders.data(), 30);
    matchedThirdOctave(e);
    EXPECT_NEAR(lowFilterDb(e, 500.0), 6.02, 0.05);
    EXPECT_NEAR(lowFilterDb(e, 1400.0), 6.02 + 3.0, 0.1);
}

TEST(ThirdOctaveMatchDesign,
     high_band_bin_j_takes_the_match_of_analysis_index_k2_plus_1_plus_j_minus_k0) {
    MatchEngine e(44100, 2);
    ASSERT_TRUE(e.setThirdOctave(true));
    // One analysis index learned 6 dB up: high bin 58 (4995.5 Hz) is index 257 + (58 − 12).
    std::vector<float> src(513, 1.0f), dst(513, 1.0f);
    src[257 + 58 - 12] = 4.0f;
    e.setLearnedSpectrum(LearnTarget::Source, src.data(), 513);
    e.setLearnedSpectrum(LearnTarget::Destination, dst.data(), 513);
    e.setMatch(true);
    double peakHz = 0.0, peakDb = -1e9;
    for (double f = 4500.0; f <= 5500.0; f += 5.0) {
        const double g = highFilterDb(e, f);
        if (g > peakDb) {
            peakDb = g;
            peakHz = f;
        }
    }
    EXPECT_NEAR(peakHz, 58 * 44100.0 / 512, 20.0);
    EXPECT_GT(peakDb, 1.0);
}

// The low filter's curve is laid over its own bins with the low rate's real Nyquist frequency
// fs/(2D), so slider centres sit at their frequencies at every rate (at 22050 Hz the low rate
// is 4410 Hz, 10 % above the 4016 Hz a fixed Nyquist of 2008 Hz would assume).
TEST(ThirdOctaveMatchDesign, low_filter_peaks_at_a_raised_slider_centre_at_22050_and_44100) {
    for (const auto& [rate, decimation] : {std::pair{22050, 5}, std::pair{44100, 11}}) {
        MatchEngine e(rate, 2);
        ASSERT_TRUE(e.setThirdOctave(true));
        std::vector<float> sliders(30, 0.0f);
        sliders[10] = 6.0f; // 250 Hz
        e.setSliders(sliders.data(), 30);
        const double lowRate = double(rate) / decimation;
        double peakHz = 0.0, peakDb = -1e9;
        for (double f = 150.0; f <= 400.0; f += 1.0) {
            const double g = responseDb(e.designedTaps().data(), 257, f / lowRate);
            if (g > peakDb) {
                peakDb = g;
                peakHz = f;
            }
        }
        EXPECT_NEAR(peakHz, 250.0, 10.0) << rate;
    }
}

} // namespace
} // namespace orq::matching
