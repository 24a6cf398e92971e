// The 8-wide kernels against the 4-wide block passes they stand in for: the same bits for every
// awkward value (not a number, infinities, negative zero, the guard's limits, the clipper's knee
// and range top), for every length and in both output modes.
#include "maximizer/maximizer_engine.h"
#include "maximizer/maximizer_test_support.h"
#include "maximizer/maximizer_wide.h"

#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstdint>
#include <limits>
#include <vector>

namespace orq::maximizer {
namespace {

constexpr int32_t kLength = 61; // seven full 8-wide steps and a tail of 5

// Values that take every branch of the guard and the clipper, then noise over ±1.5.
std::vector<float> awkwardSamples(uint32_t seed) {
    const float nan = std::numeric_limits<float>::quiet_NaN();
    const float inf = std::numeric_limits<float>::infinity();
    std::vector<float> v = {nan,
                            -nan,
                            inf,
                            -inf,
                            -0.0f,
                            0.0f,
                            1000.0f,
                            -1000.0f,
                            1001.0f,
                            -3e38f,
                            kSoftClipKnee,
                            -kSoftClipKnee,
                            std::nextafter(kSoftClipKnee, 1.0f),
                            1.0f,
                            -1.0f,
                            1.2589f,
                            2.0f,
                            1e-40f};
    test::NoiseSource noise(seed);
    while (static_cast<int32_t>(v.size()) < kLength)
        v.push_back(1.5f * noise.next());
    return v;
}

bool sameBits(const std::vector<float>& a, const std::vector<float>& b, int32_t& at) {
    for (at = 0; at < static_cast<int32_t>(a.size()); ++at)
        if (std::bit_cast<uint32_t>(a[at]) != std::bit_cast<uint32_t>(b[at])) return false;
    return true;
}

TEST(MaximizerWideKernels, input_guard_and_power_match_the_four_wide_pass_to_the_bit) {
    if (!wide::available()) GTEST_SKIP() << "the processor has no AVX2";
    const std::vector<float> first = awkwardSamples(7), second = awkwardSamples(11);
    for (int32_t n = 0; n <= kLength; ++n) {
        std::vector<float> fresh4(n), fresh8(n), power4(n), power8(n);
        detail::guardAndPower(first.data(), fresh4.data(), power4.data(), true, n, false);
        detail::guardAndPower(first.data(), fresh8.data(), power8.data(), true, n, true);
        detail::guardAndPower(second.data() + 3, fresh4.data(), power4.data(), false, n, false);
        detail::guardAndPower(second.data() + 3, fresh8.data(), power8.data(), false, n, true);
        int32_t at = 0;
        EXPECT_TRUE(sameBits(fresh4, fresh8, at)) << "n " << n << ", guarded sample " << at;
        EXPECT_TRUE(sameBits(power4, power8, at))
            << "n " << n << ", power " << at << ": " << power4[at] << " against " << power8[at];
    }
}

TEST(MaximizerWideKernels, ring_exchange_and_scaled_write_match_the_four_wide_passes_to_the_bit) {
    if (!wide::available()) GTEST_SKIP() << "the processor has no AVX2";
    constexpr int32_t kRing = 50;
    const std::vector<float> fresh = awkwardSamples(3), gain = awkwardSamples(5);
    const std::vector<float> other = awkwardSamples(9);
    // Every block length and start, so the kernels meet the ring's end at every offset.
    for (int32_t n : {1, 8, 13, 37, kRing}) {
        for (int32_t start = 0; start < kRing; start += 7) {
            std::vector<float> results[2];
            for (const bool useWide : {false, true}) {
                std::vector<float> ring1(other.begin(), other.begin() + kRing);
                std::vector<float> ring2(fresh.rbegin(), fresh.rbegin() + kRing);
                std::vector<float> first(n), second(n), peak(n);
                for (const bool firstChannel : {true, false})
                    detail::exchangeRings(ring1.data(), ring2.data(), kRing, start, fresh.data(),
                                          first.data(), second.data(), peak.data(), firstChannel, n,
                                          useWide);
                detail::writeScaledRing(ring2.data(), kRing, start, first.data(), gain.data(), n,
                                        useWide);
                std::vector<float>& r = results[useWide ? 1 : 0];
                for (const auto* part : {&ring1, &ring2, &first, &second, &peak})
                    r.insert(r.end(), part->begin(), part->end());
            }
            int32_t at = 0;
            EXPECT_TRUE(sameBits(results[0], results[1], at))
                << "n " << n << ", start " << start << ", value " << at;
        }
    }
}

TEST(MaximizerWideKernels, limiter_gain_and_clip_curve_match_the_scalar_pass_in_both_modes) {
    if (!wide::available()) GTEST_SKIP() << "the processor has no AVX2";
    const std::vector<float> leaving = awkwardSamples(13);
    std::vector<float> limiterGain = awkwardSamples(17);
    for (float& g : limiterGain)
        g = std::fabs(g); // gains are magnitudes; a few not-a-number and infinite ones stay
    CurveClipper clipper(maximizerTables());
    for (const float clipTop : {1.0f, 1.2589f, 2.8f}) {
        for (const int32_t curve : {0, 9, kClipCurveCount - 1}) {
            clipper.setRange(clipTop);
            clipper.setCurve(curve);
            for (const bool accumulate : {false, true}) {
                const float makeup = 1.7f;
                std::vector<float> expected(kLength, 0.25f), actual(kLength, 0.25f);
                for (int32_t i = 0; i < kLength; ++i) {
                    const float gain = makeup * limiterGain[i] * kLimiterOutputTrim;
                    const float y = clipper.clip(leaving[i] * gain) * kOutputScale;
                    expected[i] = accumulate ? expected[i] + y : y;
                }
                const int32_t done = wide::limitClipAndEmit(
                    leaving.data(), limiterGain.data(), makeup, clipper.curvePoints(),
                    clipper.scale(), actual.data(), accumulate, kLength);
                EXPECT_EQ(done, kLength / 8 * 8);
                expected.resize(done);
                actual.resize(done);
                int32_t at = 0;
                EXPECT_TRUE(sameBits(expected, actual, at))
                    << "top " << clipTop << ", curve " << curve << ", accumulate " << accumulate
                    << ", frame " << at << ": " << expected[at] << " against " << actual[at];
            }
        }
    }
}

} // namespace
} // namespace orq::maximizer
