#include "dsp/real_fft.h"
#include "dsp/cpu_features.h"
#include "dsp/dsp_test_support.h"
#include "dsp/nsp.h"
#include "dsp/real_fft_kernels.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <complex>
#include <numbers>
#include <thread>
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

namespace {

using orq::dsp::testing::randomSignal;
using orq::dsp::testing::relativeError;
namespace kernels = orq::dsp::real_fft_kernels;

// One way of running the transform: the 4-float or the 8-float kernels, with the cached table
// or with twiddles made on the stack.
struct KernelVariant {
    const char* name;
    void (*forward)(float*, long, const float*);
    void (*inverse)(float*, long, const float*);
    bool withTable;
};

std::vector<KernelVariant> variantsOfThisMachine() {
    std::vector<KernelVariant> variants{
        {"narrow, table", kernels::forwardNarrow, kernels::inverseNarrow, true},
        {"narrow, no table", kernels::forwardNarrow, kernels::inverseNarrow, false}};
    if (hasAvx2Fma()) {
        variants.push_back({"wide, table", kernels::forwardWide, kernels::inverseWide, true});
        variants.push_back({"wide, no table", kernels::forwardWide, kernels::inverseWide, false});
    }
    return variants;
}

TEST(OwnRealFftKernels, every_variant_matches_double_dft_forward_and_back_at_every_length) {
    for (const auto& variant : variantsOfThisMachine()) {
        for (int order = 1; order <= 16; ++order) {
            const long n = 1L << order;
            std::vector<float> table(kernels::twiddleTableFloats(n));
            kernels::fillTwiddleTable(table.data(), n);
            const float* twiddles = variant.withTable && !table.empty() ? table.data() : nullptr;
            const auto signal = randomSignal(n, 900 + order);
            auto x = signal;
            variant.forward(x.data(), n, twiddles);
            EXPECT_LT(relativeError(x, referenceHalfComplex(signal), n), 1e-5)
                << variant.name << ", n " << n;
            variant.inverse(x.data(), n, twiddles);
            std::vector<double> expected(signal.begin(), signal.end());
            for (auto& v : expected)
                v *= static_cast<double>(n);
            EXPECT_LT(relativeError(x, expected, n), 1e-5) << variant.name << ", n " << n;
        }
    }
}

TEST(OwnRealFftKernels, the_variants_agree_to_float_rounding) {
    const auto variants = variantsOfThisMachine();
    for (int order : {5, 7, 10, 12}) {
        const long n = 1L << order;
        std::vector<float> table(kernels::twiddleTableFloats(n));
        kernels::fillTwiddleTable(table.data(), n);
        auto first = randomSignal(n, 950 + order);
        variants.front().forward(first.data(), n, table.data());
        for (const auto& variant : variants) {
            auto x = randomSignal(n, 950 + order);
            variant.forward(x.data(), n, variant.withTable ? table.data() : nullptr);
            EXPECT_LT(relativeError(x, first, n), 2e-6) << variant.name << ", n " << n;
        }
    }
}

TEST(OwnRealFft, transforms_write_nothing_outside_the_buffer) {
    constexpr int kGuard = 64;
    constexpr float kSentinel = -12345.0f;
    for (int order = 1; order <= 14; ++order) {
        const int n = 1 << order;
        std::vector<float> padded(n + 2 * kGuard, kSentinel);
        const auto signal = randomSignal(n, 1100 + order);
        std::copy(signal.begin(), signal.end(), padded.begin() + kGuard);
        realFftForward(padded.data() + kGuard, n);
        realFftInverse(padded.data() + kGuard, n);
        for (int g = 0; g < kGuard; ++g) {
            EXPECT_EQ(padded[g], kSentinel) << "n " << n << " before, " << g;
            EXPECT_EQ(padded[kGuard + n + g], kSentinel) << "n " << n << " after, " << g;
        }
    }
}

TEST(OwnRealFft, threads_sharing_a_new_length_get_identical_results) {
    constexpr int kThreads = 6;
    const int n = 1 << 18; // used by no other test, so its table is built here
    const auto signal = randomSignal(n, 1200);
    std::vector<std::vector<float>> results(kThreads, signal);
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([&results, t, n] {
            if (t % 2 == 0) prepareRealFft(n);
            realFftForward(results[t].data(), n);
        });
    }
    for (auto& thread : threads)
        thread.join();
    for (int t = 1; t < kThreads; ++t)
        EXPECT_EQ(results[t], results[0]) << "thread " << t;
    auto back = results[0];
    realFftInverse(back.data(), n);
    double worst = 0.0;
    for (int i = 0; i < n; ++i)
        worst = std::max(worst, std::abs(back[i] / static_cast<double>(n) - signal[i]));
    EXPECT_LT(worst, 1e-5);
}

// Bin k of the DFT of x in double precision, with the angle reduced exactly (k·t mod n).
std::complex<double> referenceBin(const std::vector<float>& x, long k) {
    const long n = static_cast<long>(x.size());
    std::complex<double> sum = 0.0;
    for (long t = 0; t < n; ++t) {
        const double turns = static_cast<double>((k * t) % n) / static_cast<double>(n);
        sum += static_cast<double>(x[t]) * std::polar(1.0, -2.0 * std::numbers::pi * turns);
    }
    return sum;
}

TEST(OwnRealFft, lengths_beyond_the_cached_tables_match_double_dft_at_sampled_bins) {
    const long n = 1L << 21;
    const auto signal = randomSignal(n, 1300);
    auto x = signal;
    realFftForward(x.data(), static_cast<int>(n));
    const double scale = std::sqrt(static_cast<double>(n)); // rms size of a bin of noise
    for (long k : {0L, 1L, 777L, n / 4 + 3, n / 2 - 1, n / 2}) {
        const auto expected = referenceBin(signal, k);
        const double im = (k == 0 || k == n / 2) ? 0.0 : x[n - k];
        EXPECT_NEAR(x[k], expected.real(), 1e-4 * scale) << "bin " << k;
        EXPECT_NEAR(im, expected.imag(), 1e-4 * scale) << "bin " << k;
    }
    realFftInverse(x.data(), static_cast<int>(n));
    double worst = 0.0;
    for (long i = 0; i < n; ++i)
        worst = std::max(worst, std::abs(x[i] / static_cast<double>(n) - signal[i]));
    EXPECT_LT(worst, 1e-5);
}

TEST(OwnRealFft, prepare_ignores_bad_lengths) {
    for (int n : {-8, 0, 1, 3, 1000})
        prepareRealFft(n);
    prepareRealFft(1024);
    auto x = randomSignal(1024, 1400);
    const auto expected = referenceHalfComplex(x);
    realFftForward(x.data(), 1024);
    EXPECT_LT(relativeError(x, expected, 1024), 1e-5);
}

} // namespace
