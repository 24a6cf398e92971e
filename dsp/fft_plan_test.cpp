#include "dsp/fft_plan.h"
#include "dsp/dsp_test_support.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

using namespace orq::dsp;
using namespace orq::dsp::testing;

// Both vector widths must give the same transform; the wide one exists only on processors with
// AVX2 and FMA, elsewhere both plans are narrow.
class FftPlanWidths : public ::testing::TestWithParam<bool> {};

TEST_P(FftPlanWidths, complex_plan_matches_double_dft_both_directions) {
    const bool wide = GetParam();
    for (int log2Size = 0; log2Size <= 14; ++log2Size) {
        const size_t size = size_t{1} << log2Size;
        const auto plan = ComplexFftPlan::create(log2Size, wide);
        ASSERT_NE(plan, nullptr);
        const auto data = randomSignal(2 * size, 40 + log2Size);
        Spectrum z(size);
        for (size_t t = 0; t < size; ++t)
            z[t] = {data[2 * t], data[2 * t + 1]};
        for (int sign : {-1, +1}) {
            const Spectrum expected = referenceDft(z, sign);
            std::vector<double> flat(2 * size);
            for (size_t k = 0; k < size; ++k) {
                flat[2 * k] = expected[k].real();
                flat[2 * k + 1] = expected[k].imag();
            }
            auto work = data;
            if (sign < 0) {
                plan->forward(work.data());
            } else {
                plan->inverse(work.data());
            }
            EXPECT_LT(relativeError(work, flat, 2 * size), 1e-5)
                << "size " << size << " sign " << sign << " wide " << plan->wide();
        }
    }
}

TEST_P(FftPlanWidths, real_plan_round_trip_with_scale_restores_the_signal) {
    const bool wide = GetParam();
    for (int order = 1; order <= 14; ++order) {
        const size_t n = size_t{1} << order;
        const auto plan = RealFftPlan::create(order, wide);
        ASSERT_NE(plan, nullptr);
        const auto signal = randomSignal(n, 60 + order);
        std::vector<float> data(n + 2, 0.0f);
        std::copy(signal.begin(), signal.end(), data.begin());
        plan->forward(data.data());
        plan->inverse(data.data(), 1.0f / static_cast<float>(n));
        EXPECT_LT(relativeError(data, signal, n), 1e-5) << "order " << order;
    }
}

INSTANTIATE_TEST_SUITE_P(Narrow, FftPlanWidths, ::testing::Values(false));
INSTANTIATE_TEST_SUITE_P(WideWhereSupported, FftPlanWidths, ::testing::Values(true));

} // namespace
