#include "dsp/nsp.h"
#include "dsp/dsp_test_support.h"
#include "dsp/nsp_tables.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

using namespace orq::dsp::testing;

using TwoSignalFft = QuietErrors;

std::vector<float> ccsBuffer(const std::vector<float>& signal) {
    std::vector<float> buffer(signal.size() + 2, 0.0f);
    std::copy(signal.begin(), signal.end(), buffer.begin());
    return buffer;
}

// The reference spectrum of a real signal in CCS layout.
std::vector<double> referenceCcs(const std::vector<float>& signal) {
    const size_t n = signal.size();
    const Spectrum spectrum = referenceDft(realToComplex(signal, n), -1);
    std::vector<double> ccs(n + 2);
    for (size_t k = 0; k <= n / 2; ++k) {
        ccs[2 * k] = spectrum[k].real();
        ccs[2 * k + 1] = spectrum[k].imag();
    }
    return ccs;
}

TEST_F(TwoSignalFft, forward_matches_double_dft_for_every_order_up_to_16) {
    for (int order = 1; order <= 16; ++order) {
        const size_t n = size_t{1} << order;
        const auto xSignal = randomSignal(n, 100 + order);
        const auto ySignal = randomSignal(n, 200 + order);
        auto x = ccsBuffer(xSignal), y = ccsBuffer(ySignal);
        nspsReal2Fft(x.data(), y.data(), order, NSP_Forw);
        EXPECT_LT(relativeError(x, referenceCcs(xSignal), n + 2), 1e-5) << "order " << order;
        EXPECT_LT(relativeError(y, referenceCcs(ySignal), n + 2), 1e-5) << "order " << order;
    }
    EXPECT_EQ(nspGetErrStatus(), NSP_StsOk);
}

TEST_F(TwoSignalFft, inverse_matches_scaled_double_dft_for_every_order_up_to_16) {
    for (int order = 1; order <= 16; ++order) {
        const size_t n = size_t{1} << order;
        // A conjugate-symmetric spectrum made from random bins; Im of bins 0 and N/2 are zero.
        std::vector<float> x = randomSignal(n + 2, 300 + order);
        std::vector<float> y = randomSignal(n + 2, 400 + order);
        for (auto* ccs : {&x, &y}) {
            (*ccs)[1] = 0.0f;
            (*ccs)[n + 1] = 0.0f;
        }
        const auto reference = [n](const std::vector<float>& ccs) {
            Spectrum full(n);
            for (size_t k = 0; k <= n / 2; ++k)
                full[k] = {ccs[2 * k], ccs[2 * k + 1]};
            for (size_t k = n / 2 + 1; k < n; ++k)
                full[k] = std::conj(full[n - k]);
            Spectrum time = referenceDft(full, +1);
            std::vector<double> out(n);
            for (size_t t = 0; t < n; ++t)
                out[t] = time[t].real() / static_cast<double>(n);
            return out;
        };
        const auto xExpected = reference(x), yExpected = reference(y);
        nspsCcs2Fft(x.data(), y.data(), order, NSP_Inv);
        EXPECT_LT(relativeError(x, xExpected, n), 1e-5) << "order " << order;
        EXPECT_LT(relativeError(y, yExpected, n), 1e-5) << "order " << order;
    }
    EXPECT_EQ(nspGetErrStatus(), NSP_StsOk);
}

} // namespace

namespace {

constexpr int kOrder10 = 10;
constexpr size_t kN10 = size_t{1} << kOrder10;

TEST_F(TwoSignalFft, impulse_and_all_ones_give_flat_and_dc_spectra_and_inverse_restores_both) {
    std::vector<float> x(kN10 + 2, 0.0f), y(kN10 + 2, 0.0f);
    x[0] = 1.0f;
    std::fill(y.begin(), y.begin() + kN10, 1.0f);
    nspsReal2Fft(x.data(), y.data(), kOrder10, NSP_Forw);
    for (size_t k = 0; k <= kN10 / 2; ++k) {
        EXPECT_NEAR(x[2 * k], 1.0f, 1e-6) << "bin " << k;
        EXPECT_NEAR(x[2 * k + 1], 0.0f, 1e-6) << "bin " << k;
        EXPECT_NEAR(y[2 * k], k == 0 ? 1024.0f : 0.0f, 1e-3) << "bin " << k;
        EXPECT_NEAR(y[2 * k + 1], 0.0f, 1e-3) << "bin " << k;
    }
    nspsCcs2Fft(x.data(), y.data(), kOrder10, NSP_Inv);
    for (size_t t = 0; t < kN10; ++t) {
        EXPECT_NEAR(x[t], t == 0 ? 1.0f : 0.0f, 1e-6) << "sample " << t;
        EXPECT_NEAR(y[t], 1.0f, 1e-6) << "sample " << t;
    }
    EXPECT_EQ(nspGetErrStatus(), NSP_StsOk);
}

TEST_F(TwoSignalFft, inverse_result_is_the_first_n_floats_and_nothing_beyond_n_plus_2_is_written) {
    constexpr float kGuard = -777.0f;
    constexpr size_t kGuardFloats = 8;
    const auto signal = randomSignal(kN10, 7);
    std::vector<float> x(kN10 + 2 + kGuardFloats, kGuard), y(kN10 + 2 + kGuardFloats, kGuard);
    std::copy(signal.begin(), signal.end(), x.begin());
    std::copy(signal.begin(), signal.end(), y.begin());
    nspsReal2Fft(x.data(), y.data(), kOrder10, NSP_Forw);
    // Im X[0] and Im X[N/2] are not part of a real signal's spectrum and are ignored.
    y[1] = 123.0f;
    y[kN10 + 1] = -45.0f;
    nspsCcs2Fft(x.data(), y.data(), kOrder10, NSP_Inv);
    EXPECT_LT(relativeError(x, signal, kN10), 1e-6);
    EXPECT_LT(relativeError(y, signal, kN10), 1e-6);
    for (size_t i = kN10 + 2; i < x.size(); ++i) {
        EXPECT_EQ(x[i], kGuard) << i;
        EXPECT_EQ(y[i], kGuard) << i;
    }
}

TEST_F(TwoSignalFft, two_signals_equal_two_separate_transforms) {
    const auto a = randomSignal(kN10, 8), b = randomSignal(kN10, 9);
    const std::vector<float> zero(kN10, 0.0f);
    auto x = ccsBuffer(a), y = ccsBuffer(b);
    auto aAlone = ccsBuffer(a), bAlone = ccsBuffer(b), z1 = ccsBuffer(zero), z2 = ccsBuffer(zero);
    nspsReal2Fft(x.data(), y.data(), kOrder10, NSP_Forw);
    nspsReal2Fft(aAlone.data(), z1.data(), kOrder10, NSP_Forw);
    nspsReal2Fft(z2.data(), bAlone.data(), kOrder10, NSP_Forw);
    EXPECT_LT(relativeError(x, aAlone, kN10 + 2), 1e-6);
    EXPECT_LT(relativeError(y, bAlone, kN10 + 2), 1e-6);
    for (size_t i = 0; i < kN10 + 2; ++i)
        ASSERT_NEAR(z1[i], 0.0f, 1e-6) << i;

    nspsCcs2Fft(x.data(), y.data(), kOrder10, NSP_Inv);
    nspsCcs2Fft(aAlone.data(), z1.data(), kOrder10, NSP_Inv);
    nspsCcs2Fft(z2.data(), bAlone.data(), kOrder10, NSP_Inv);
    EXPECT_LT(relativeError(x, aAlone, kN10), 1e-6);
    EXPECT_LT(relativeError(y, bAlone, kN10), 1e-6);
}

TEST_F(TwoSignalFft, round_trips_restore_signals_and_no_scale_gives_n_times) {
    for (int order = 1; order <= 16; ++order) {
        const size_t n = size_t{1} << order;
        const auto a = randomSignal(n, 800 + order), b = randomSignal(n, 900 + order);
        auto x = ccsBuffer(a), y = ccsBuffer(b);
        nspsReal2Fft(x.data(), y.data(), order, NSP_Forw);
        nspsCcs2Fft(x.data(), y.data(), order, NSP_Inv);
        EXPECT_LT(relativeError(x, a, n), 1e-5) << "order " << order;
        EXPECT_LT(relativeError(y, b, n), 1e-5) << "order " << order;

        nspsReal2Fft(x.data(), y.data(), order, NSP_Forw);
        nspsCcs2Fft(x.data(), y.data(), order, NSP_Inv | NSP_NoScale);
        std::vector<double> scaled(a.begin(), a.end());
        for (auto& v : scaled)
            v *= static_cast<double>(n);
        EXPECT_LT(relativeError(x, scaled, n), 1e-5) << "order " << order;
    }
}

TEST_F(TwoSignalFft, opposite_directions_use_the_positive_exponent) {
    // Real input with NSP_Inv: the spectrum with e^(+i..), scaled by 1/N.
    const auto a = randomSignal(kN10, 10);
    auto x = ccsBuffer(a), y = ccsBuffer(a);
    nspsReal2Fft(x.data(), y.data(), kOrder10, NSP_Inv);
    const Spectrum reference = referenceDft(realToComplex(a, kN10), +1);
    std::vector<double> expected(kN10 + 2);
    for (size_t k = 0; k <= kN10 / 2; ++k) {
        expected[2 * k] = reference[k].real() / kN10;
        expected[2 * k + 1] = reference[k].imag() / kN10;
    }
    EXPECT_LT(relativeError(x, expected, kN10 + 2), 1e-5);

    // CCS input with NSP_Forw: sum of X[k] e^(-i..), unscaled; undoes the previous call up to N.
    nspsCcs2Fft(x.data(), y.data(), kOrder10, NSP_Forw);
    std::vector<double> original(a.begin(), a.end());
    EXPECT_LT(relativeError(x, original, kN10), 1e-5);
}

TEST_F(TwoSignalFft, order_zero_does_nothing) {
    float x[2] = {3.0f, 4.0f}, y[2] = {5.0f, 6.0f};
    nspsReal2Fft(x, y, 0, NSP_Forw);
    nspsCcs2Fft(x, y, 0, NSP_Inv);
    EXPECT_FLOAT_EQ(x[0], 3.0f);
    EXPECT_FLOAT_EQ(y[1], 6.0f);
    EXPECT_EQ(nspGetErrStatus(), NSP_StsOk);
}

using TwoSignalFftErrors = RecordingErrors;

TEST_F(TwoSignalFftErrors, order_out_of_range_reports_and_returns) {
    float x[4] = {}, y[4] = {};
    nspsReal2Fft(x, y, -1, NSP_Forw);
    ASSERT_EQ(records().size(), 1u);
    EXPECT_EQ(records()[0].status, NSP_StsBadArg);
    EXPECT_EQ(records()[0].funcName, "nspsReal2Fft");
    EXPECT_EQ(records()[0].context, "order<0");
    EXPECT_EQ(nspGetErrStatus(), NSP_StsBadArg);

    nspSetErrStatus(NSP_StsOk);
    nspsCcs2Fft(x, y, 32, NSP_Inv);
    ASSERT_EQ(records().size(), 2u);
    EXPECT_EQ(records()[1].funcName, "nspsCcs2Fft");
    EXPECT_EQ(records()[1].context, "order>31");
}

TEST_F(TwoSignalFftErrors, null_buffers_report_each_buffer_after_the_tables) {
    nspsReal2Fft(nullptr, nullptr, 5, NSP_Forw);
    ASSERT_EQ(records().size(), 2u);
    EXPECT_EQ(records()[0].context, "xSamps==0");
    EXPECT_EQ(records()[1].context, "ySamps==0");
    EXPECT_EQ(nspGetErrStatus(), NSP_StsBadArg);
    EXPECT_TRUE(orq::dsp::nsp_tables::isCached(5));

    // The initialise flag returns before the buffers are looked at.
    records().clear();
    nspSetErrStatus(NSP_StsOk);
    nspsReal2Fft(nullptr, nullptr, 6, NSP_Init);
    EXPECT_TRUE(records().empty());
    EXPECT_TRUE(orq::dsp::nsp_tables::isCached(6));
}

TEST_F(TwoSignalFftErrors, both_or_neither_direction_reports_bad_argument_and_leaves_data) {
    std::vector<float> x(18, 1.0f), y(18, 2.0f);
    nspsReal2Fft(x.data(), y.data(), 4, NSP_Forw | NSP_Inv);
    ASSERT_EQ(records().size(), 1u);
    EXPECT_EQ(records()[0].status, NSP_StsBadArg);
    EXPECT_EQ(records()[0].context, "NSP_Forw and NSP_Inv");
    nspSetErrStatus(NSP_StsOk);
    nspsCcs2Fft(x.data(), y.data(), 4, NSP_NoScale);
    ASSERT_EQ(records().size(), 2u);
    EXPECT_EQ(records()[1].context, "no NSP_Forw or NSP_Inv");
    EXPECT_EQ(x, std::vector<float>(18, 1.0f));
    EXPECT_EQ(y, std::vector<float>(18, 2.0f));
}

TEST_F(TwoSignalFftErrors, a_failure_disables_later_transforms_until_the_status_is_cleared) {
    nspsbMpy1(1.0f, nullptr, 4); // any failure sets the process-wide status
    ASSERT_EQ(nspGetErrStatus(), NSP_StsBadArg);
    std::vector<float> x(18, 1.0f), y(18, 0.0f);
    nspsReal2Fft(x.data(), y.data(), 4, NSP_Forw);
    EXPECT_EQ(x, std::vector<float>(18, 1.0f)) << "transform ran despite the error status";
    EXPECT_EQ(records().size(), 1u); // no further report

    nspSetErrStatus(NSP_StsOk);
    nspsReal2Fft(x.data(), y.data(), 4, NSP_Forw);
    EXPECT_FLOAT_EQ(x[0], 16.0f);
    EXPECT_FLOAT_EQ(x[2], 0.0f);
}

} // namespace
