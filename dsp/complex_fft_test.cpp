#include "dsp/complex_fft.h"
#include "testsupport/test_signals.h"

#include <gtest/gtest.h>

#include <cmath>
#include <complex>
#include <numbers>
#include <stdexcept>
#include <vector>

namespace orq {
namespace {

std::vector<std::complex<double>> naiveDft(const std::vector<float>& re,
                                           const std::vector<float>& im) {
    const size_t n = re.size();
    std::vector<std::complex<double>> out(n);
    for (size_t k = 0; k < n; ++k) {
        std::complex<double> sum = 0.0;
        for (size_t j = 0; j < n; ++j) {
            const double angle = -2.0 * std::numbers::pi * double((k * j) % n) / double(n);
            sum += std::complex<double>(re[j], im[j]) * std::polar(1.0, angle);
        }
        out[k] = sum;
    }
    return out;
}

void randomSignal(std::vector<float>& re, std::vector<float>& im, uint32_t seed) {
    orq::test::UniformNoise noise(seed);
    noise.fill(re);
    noise.fill(im);
}

TEST(SplitRadixFft, matches_direct_dft_at_every_length) {
    for (int32_t n = 2; n <= 2048; n *= 2) {
        std::vector<float> re(n), im(n);
        randomSignal(re, im, static_cast<uint32_t>(n));
        const auto expected = naiveDft(re, im);
        SplitRadixFft fft(n);
        fft.forward(re.data(), im.data());
        // Rounding error grows with sqrt(n)·log n; the signal's bins are about sqrt(n).
        const double tolerance = 2e-6 * n;
        for (int32_t k = 0; k < n; ++k) {
            ASSERT_NEAR(re[k], expected[k].real(), tolerance) << "n " << n << " bin " << k;
            ASSERT_NEAR(im[k], expected[k].imag(), tolerance) << "n " << n << " bin " << k;
        }
    }
}

TEST(SplitRadixFft, bit_reversed_output_holds_bin_k_at_reversed_position) {
    const int32_t n = 1024;
    std::vector<float> re(n), im(n);
    randomSignal(re, im, 7);
    std::vector<float> re2 = re, im2 = im;
    SplitRadixFft fft(n);
    fft.forward(re.data(), im.data());
    fft.forwardBitReversed(re2.data(), im2.data());
    for (int32_t k = 0; k < n; ++k) {
        ASSERT_EQ(re[k], re2[fft.bitReversed(k)]) << "bin " << k;
        ASSERT_EQ(im[k], im2[fft.bitReversed(k)]) << "bin " << k;
    }
}

TEST(SplitRadixFft, cosine_at_bin_k_lands_in_bins_k_and_n_minus_k) {
    const int32_t n = 1024, bin = 37;
    std::vector<float> re(n), im(n, 0.0f);
    for (int32_t j = 0; j < n; ++j)
        re[j] = std::cos(2.0 * std::numbers::pi * bin * j / n);
    SplitRadixFft fft(n);
    fft.forward(re.data(), im.data());
    EXPECT_NEAR(re[bin], n / 2.0, 1e-3);
    EXPECT_NEAR(re[n - bin], n / 2.0, 1e-3);
    EXPECT_NEAR(std::hypot(re[bin + 1], im[bin + 1]), 0.0, 1e-3);
}

TEST(SplitRadixFft, inverse_restores_signal_times_length) {
    const int32_t n = 1024;
    std::vector<float> re(n), im(n);
    randomSignal(re, im, 11);
    const auto re0 = re, im0 = im;
    SplitRadixFft fft(n);
    fft.forward(re.data(), im.data());
    fft.inverse(re.data(), im.data());
    for (int32_t j = 0; j < n; ++j) {
        ASSERT_NEAR(re[j] / n, re0[j], 1e-5) << "sample " << j;
        ASSERT_NEAR(im[j] / n, im0[j], 1e-5) << "sample " << j;
    }
}

TEST(SplitRadixFft, inverse_from_bit_reversed_round_trips_at_every_length) {
    for (int32_t n = 2; n <= 2048; n *= 2) {
        std::vector<float> re(n), im(n);
        randomSignal(re, im, 100u + static_cast<uint32_t>(n));
        const auto re0 = re, im0 = im;
        SplitRadixFft fft(n);
        fft.forwardBitReversed(re.data(), im.data());
        fft.inverseFromBitReversed(re.data(), im.data());
        for (int32_t j = 0; j < n; ++j) {
            ASSERT_NEAR(re[j] / n, re0[j], 1e-5) << "n " << n << " sample " << j;
            ASSERT_NEAR(im[j] / n, im0[j], 1e-5) << "n " << n << " sample " << j;
        }
    }
}

TEST(SplitRadixFft, refuses_lengths_that_are_not_powers_of_two) {
    EXPECT_THROW(SplitRadixFft(0), std::invalid_argument);
    EXPECT_THROW(SplitRadixFft(1), std::invalid_argument);
    EXPECT_THROW(SplitRadixFft(768), std::invalid_argument);
    EXPECT_THROW(SplitRadixFft(-1024), std::invalid_argument);
}

} // namespace
} // namespace orq
