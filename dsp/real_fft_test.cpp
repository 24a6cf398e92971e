#include "dsp/real_fft.h"
#include "dsp/dsp_test_support.h"
#include "dsp/nsp.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

using namespace orq::dsp;
using namespace orq::dsp::testing;

// Half-complex layout of a spectrum, from the double reference.
std::vector<double> referenceHalfComplex(const std::vector<float>& signal) {
    const size_t n = signal.size();
    const Spectrum spectrum = referenceDft(realToComplex(signal, n), -1);
    std::vector<double> hc(n);
    hc[0] = spectrum[0].real();
    for (size_t k = 1; k <= n / 2; ++k)
        hc[k] = spectrum[k].real();
    for (size_t k = 1; k < n / 2; ++k)
        hc[n - k] = spectrum[k].imag();
    return hc;
}

TEST(OwnRealFft, forward_matches_double_dft_for_every_length_from_2_to_65536) {
    for (int order = 1; order <= 16; ++order) {
        const int n = 1 << order;
        auto x = randomSignal(n, 500 + order);
        const auto expected = referenceHalfComplex(x);
        realFftForward(x.data(), n);
        EXPECT_LT(relativeError(x, expected, n), 1e-5) << "n " << n;
    }
}

TEST(OwnRealFft, inverse_returns_n_times_the_sequence_for_every_length_from_2_to_65536) {
    for (int order = 1; order <= 16; ++order) {
        const int n = 1 << order;
        const auto original = randomSignal(n, 600 + order);
        auto x = original;
        realFftForward(x.data(), n);
        realFftInverse(x.data(), n);
        std::vector<double> expected(original.begin(), original.end());
        for (auto& v : expected)
            v *= n;
        EXPECT_LT(relativeError(x, expected, n), 1e-5) << "n " << n;
    }
}

TEST(OwnRealFft, inverse_matches_double_dft_of_a_random_half_complex_spectrum) {
    const int n = 4096;
    auto hc = randomSignal(n, 700);
    Spectrum full(n);
    full[0] = hc[0];
    full[n / 2] = hc[n / 2];
    for (int k = 1; k < n / 2; ++k) {
        full[k] = {hc[k], hc[n - k]};
        full[n - k] = std::conj(full[k]);
    }
    const Spectrum time = referenceDft(full, +1);
    std::vector<double> expected(n);
    for (int t = 0; t < n; ++t)
        expected[t] = time[t].real();
    realFftInverse(hc.data(), n);
    EXPECT_LT(relativeError(hc, expected, n), 1e-5);
}

TEST(OwnRealFft, bad_lengths_and_null_buffers_change_nothing) {
    for (int n : {0, 1, 3, 6, 12, 1000}) {
        std::vector<float> x(std::max(n, 1) + 4, 0.25f);
        const auto before = x;
        realFftForward(x.data(), n);
        realFftInverse(x.data(), n);
        EXPECT_EQ(x, before) << "n " << n;
    }
    realFftForward(nullptr, 1024); // a null buffer is ignored
    realFftInverse(nullptr, 1024);
    halfSwap(nullptr, 8);
}

TEST(BufferRoutines, log2_of_powers_of_two_and_zero_otherwise) {
    EXPECT_EQ(log2OfPowerOfTwo(2), 1);
    EXPECT_EQ(log2OfPowerOfTwo(1024), 10);
    EXPECT_EQ(log2OfPowerOfTwo(1 << 30), 30);
    EXPECT_EQ(log2OfPowerOfTwo(1), 0);
    EXPECT_EQ(log2OfPowerOfTwo(0), 0);
    EXPECT_EQ(log2OfPowerOfTwo(-8), 0);
    EXPECT_EQ(log2OfPowerOfTwo(1000), 0);
}

TEST(BufferRoutines, half_swap_exchanges_halves_and_twice_restores) {
    std::vector<float> x{0, 1, 2, 3, 4, 5, 6, 7};
    halfSwap(x.data(), 8);
    EXPECT_EQ(x, (std::vector<float>{4, 5, 6, 7, 0, 1, 2, 3}));
    halfSwap(x.data(), 8);
    EXPECT_EQ(x, (std::vector<float>{0, 1, 2, 3, 4, 5, 6, 7}));
    halfSwap(x.data(), 4); // only the first four floats
    EXPECT_EQ(x, (std::vector<float>{2, 3, 0, 1, 4, 5, 6, 7}));
}

} // namespace

namespace {

TEST(OwnRealFft, spectrum_equals_the_library_spectrum_bin_by_bin) {
    using orq::dsp::testing::QuietErrors;
    for (int order : {1, 2, 5, 10, 13}) {
        const int n = 1 << order;
        const auto signal = randomSignal(n, 1000 + order);
        auto own = signal;
        realFftForward(own.data(), n);
        std::vector<float> x(n + 2, 0.0f), y(n + 2, 0.0f);
        std::copy(signal.begin(), signal.end(), x.begin());
        nspsReal2Fft(x.data(), y.data(), order, NSP_Forw);
        // Half-complex to CCS.
        std::vector<float> ownCcs(n + 2, 0.0f);
        ownCcs[0] = own[0];
        for (int k = 1; k <= n / 2; ++k)
            ownCcs[2 * k] = own[k];
        for (int k = 1; k < n / 2; ++k)
            ownCcs[2 * k + 1] = own[n - k];
        EXPECT_LT(relativeError(ownCcs, x, n + 2), 1e-5) << "order " << order;
    }
    EXPECT_EQ(nspGetErrStatus(), NSP_StsOk);
}

} // namespace
