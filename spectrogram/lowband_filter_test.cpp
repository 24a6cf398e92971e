#include "spectrogram/lowband_filter_tables.h"
#include "spectrogram/spectrum_analyzer.h"
#include "testsupport/test_signals.h"

#include <gtest/gtest.h>

#include <cmath>
#include <complex>
#include <numbers>
#include <vector>

namespace orq::spectrogram {
namespace {

double magnitudeDb(const float* taps, int32_t count, double frequencyHz, double rateHz) {
    std::complex<double> sum = 0.0;
    for (int32_t t = 0; t < count; ++t) {
        sum +=
            double(taps[t]) * std::polar(1.0, -2.0 * std::numbers::pi * frequencyHz * t / rateHz);
    }
    return 20.0 * std::log10(std::abs(sum) + 1e-30);
}

std::vector<float> directConvolution(const std::vector<float>& x, const float* taps, int32_t n) {
    std::vector<float> y(x.size(), 0.0f);
    for (size_t i = 0; i < x.size(); ++i) {
        double sum = 0.0;
        for (int32_t t = 0; t < n && t <= int32_t(i); ++t)
            sum += double(taps[t]) * x[i - t];
        y[i] = float(sum);
    }
    return y;
}

using test::whiteNoise;

TEST(AntiAliasSets, are_linear_phase_with_unity_dc_gain_and_minus_6db_near_1900hz) {
    for (const AntiAliasSet& set : kAntiAliasSets) {
        double sum = 0.0;
        for (int32_t t = 0; t < set.tapCount; ++t) {
            sum += set.taps[t];
            ASSERT_NEAR(set.taps[t], set.taps[set.tapCount - 1 - t], 1e-7)
                << set.sampleRateHz << " Hz tap " << t;
        }
        EXPECT_NEAR(sum, 1.0, 1e-5) << set.sampleRateHz << " Hz";
        EXPECT_NEAR(magnitudeDb(set.taps, set.tapCount, 1900.0, set.sampleRateHz), -6.0, 0.5)
            << set.sampleRateHz << " Hz";
        EXPECT_NEAR(magnitudeDb(set.taps, set.tapCount, 1000.0, set.sampleRateHz), 0.0, 0.2)
            << set.sampleRateHz << " Hz";
    }
}

TEST(AntiAliasSets, attenuate_what_folds_into_the_shown_band) {
    constexpr double kGuardHz = 1250.0;
    for (const AntiAliasSet& set : kAntiAliasSets) {
        const double outRate = double(set.sampleRateHz) / set.decimation;
        double worstDb = -1000.0;
        for (int32_t m = 1; m <= set.decimation; ++m) {
            for (double f = m * outRate - kGuardHz; f <= m * outRate + kGuardHz; f += 5.0) {
                if (f <= 0.0 || f >= set.sampleRateHz / 2.0) continue;
                worstDb =
                    std::max(worstDb, magnitudeDb(set.taps, set.tapCount, f, set.sampleRateHz));
            }
        }
        EXPECT_LT(worstDb, -45.0) << set.sampleRateHz << " Hz";
    }
}

TEST(AntiAliasSets, decimation_gives_about_4khz) {
    for (const AntiAliasSet& set : kAntiAliasSets) {
        EXPECT_NEAR(double(set.sampleRateHz) / set.decimation, 4000.0, 420.0) << set.sampleRateHz;
    }
    EXPECT_EQ(antiAliasSetForRate(44100)->decimation, 11);
    EXPECT_EQ(antiAliasSetForRate(44100)->tapCount, 95);
    EXPECT_EQ(antiAliasSetForRate(96000)->tapCount, 169);
    EXPECT_EQ(antiAliasSetForRate(40000), nullptr);
}

TEST(BandLimitFir, meets_its_response_at_a_4khz_rate) {
    constexpr double kRate = 4000.0;
    double sum = 0.0;
    for (int32_t t = 0; t < kBandLimitTapCount; ++t) {
        sum += kBandLimitTaps[t];
        ASSERT_NEAR(kBandLimitTaps[t], kBandLimitTaps[kBandLimitTapCount - 1 - t], 1e-7);
    }
    EXPECT_NEAR(sum, 0.987, 1e-5);
    const double dcDb = 20.0 * std::log10(sum);
    for (double f = 0.0; f <= 750.0; f += 5.0) {
        ASSERT_NEAR(magnitudeDb(kBandLimitTaps, kBandLimitTapCount, f, kRate), dcDb, 0.11)
            << f << " Hz";
    }
    EXPECT_NEAR(magnitudeDb(kBandLimitTaps, kBandLimitTapCount, 1000.0, kRate), -9.3, 0.1);
    for (double f = 1250.0; f <= 2000.0; f += 5.0) {
        ASSERT_LT(magnitudeDb(kBandLimitTaps, kBandLimitTapCount, f, kRate), -59.0) << f << " Hz";
    }
}

TEST(OverlapSaveFir, equals_direct_convolution_across_uneven_calls) {
    const AntiAliasSet& set = *antiAliasSetForRate(44100);
    const SpectrumAnalysisSetup setup(44100);
    OverlapSaveCoefficients coefficients(set.taps, set.tapCount, *setup.fft);
    OverlapSaveFir fir(coefficients);
    const auto x = whiteNoise(9000, 3);
    const auto expected = directConvolution(x, set.taps, set.tapCount);
    std::vector<float> y(x.size() + size_t(fir.pairLength()));
    const int32_t calls[] = {1, 929, 930, 931, 2000, 3, 4000, 206};
    size_t in = 0, out = 0;
    for (int32_t n : calls) {
        const int32_t produced = fir.process(x.data() + in, n, y.data() + out);
        ASSERT_EQ(produced % fir.pairLength(), 0);
        in += size_t(n);
        out += size_t(produced);
        ASSERT_LE(out, in);
        ASSERT_GT(out + size_t(fir.pairLength()), in); // nothing held back beyond one pair
    }
    ASSERT_EQ(in, x.size());
    for (size_t i = 0; i < out; ++i)
        ASSERT_NEAR(y[i], expected[i], 2e-6) << "sample " << i;
}

TEST(DirectFir, equals_direct_convolution_across_blocks) {
    DirectFir fir(kBandLimitTaps, kBandLimitTapCount, 64);
    const auto x = whiteNoise(500, 5);
    const auto expected = directConvolution(x, kBandLimitTaps, kBandLimitTapCount);
    std::vector<float> y(x);
    fir.process(y.data(), y.data(), 10); // in place
    fir.process(y.data() + 10, y.data() + 10, 490);
    for (size_t i = 0; i < x.size(); ++i)
        ASSERT_NEAR(y[i], expected[i], 1e-6) << "sample " << i;
}

TEST(Decimator, phase_carries_from_block_to_block) {
    Decimator decimator(5);
    std::vector<float> x(40);
    for (size_t i = 0; i < x.size(); ++i)
        x[i] = float(i);
    std::vector<float> kept;
    float out[16];
    size_t at = 0;
    for (int32_t n : {7, 13, 1, 19}) {
        const int32_t written = decimator.process(x.data() + at, n, out);
        kept.insert(kept.end(), out, out + written);
        at += size_t(n);
    }
    ASSERT_EQ(kept.size(), 8u);
    for (size_t i = 0; i < kept.size(); ++i)
        EXPECT_EQ(kept[i], float(5 * i));
}

} // namespace
} // namespace orq::spectrogram
