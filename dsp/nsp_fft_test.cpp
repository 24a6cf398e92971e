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
