#include "runtime/sample_conversion.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <vector>

using namespace orq;

TEST(SampleConversion, sixteen_bit_full_scale_in_and_out) {
    const int16_t in[2] = {-32768, 32767};
    float left = 0, right = 0;
    float* channels[2] = {&left, &right};
    convertIn(in, SampleFormat::Int16, 2, channels, 1);
    EXPECT_EQ(left, -1.0f);
    EXPECT_FLOAT_EQ(right, 32767.0f / 32768.0f);
    EXPECT_EQ(floatToInt16(1.0f), 32767);
    EXPECT_EQ(floatToInt16(-1.0f), -32767);
    EXPECT_EQ(floatToInt16(100.7f / 32768.0f), 100) << "truncation toward zero";
    EXPECT_EQ(floatToInt16(-100.7f / 32768.0f), -100);
}

TEST(SampleConversion, every_sixteen_bit_value_survives_a_neutral_round_trip) {
    for (int v = -32767; v <= 32767; ++v) {
        const int16_t in = int16_t(v);
        float x = 0;
        float* channel[1] = {&x};
        convertIn(&in, SampleFormat::Int16, 1, channel, 1);
        int16_t out = 0;
        convertOut(channel, 0, SampleFormat::Int16, 1, &out, 1);
        ASSERT_EQ(out, in);
    }
}

TEST(SampleConversion, sixteen_bit_output_saturates_instead_of_wrapping) {
    EXPECT_EQ(floatToInt16(1.5f), 32767);
    EXPECT_EQ(floatToInt16(4.0f), 32767);
    EXPECT_EQ(floatToInt16(-1.5f), -32767);
    EXPECT_EQ(floatToInt16(-1e30f), -32767);
    EXPECT_EQ(floatToInt16(std::numeric_limits<float>::infinity()), 32767);
    EXPECT_EQ(floatToInt16(std::numeric_limits<float>::quiet_NaN()), 0);
}

TEST(SampleConversion, float_round_trip_is_exact_for_one_and_two_channels) {
    const std::vector<float> stereo = {0.1f, -0.2f, 1.5f, -3.0f, 0.0f, 1e-9f};
    std::vector<float> left(3), right(3), back(6);
    float* channels[2] = {left.data(), right.data()};
    convertIn(stereo.data(), SampleFormat::Float32, 2, channels, 3);
    EXPECT_EQ(left[1], 1.5f);
    EXPECT_EQ(right[2], 1e-9f);
    convertOut(channels, 0, SampleFormat::Float32, 2, back.data(), 3);
    EXPECT_EQ(back, stereo);
    std::vector<float> mono(2);
    convertOut(channels, 1, SampleFormat::Float32, 1, mono.data(), 2);
    EXPECT_EQ(mono[0], 1.5f) << "output starts at the given float position";
}

TEST(SampleConversion, other_channel_counts_convert_nothing) {
    const int16_t in[6] = {1, 2, 3, 4, 5, 6};
    float a = 7, b = 7, c = 7;
    float* channels[3] = {&a, &b, &c};
    convertIn(in, SampleFormat::Int16, 3, channels, 1);
    EXPECT_EQ(a, 7.0f);
}

TEST(SampleConversion, replacing_non_finite_samples_zeroes_exactly_those_and_counts_them) {
    const float nan = std::numeric_limits<float>::quiet_NaN();
    const float inf = std::numeric_limits<float>::infinity();
    const float denormal = std::numeric_limits<float>::denorm_min();
    const float max = std::numeric_limits<float>::max();
    std::vector<float> x = {0.5f, nan, -inf, max, -max, inf, denormal, -0.0f, -nan, 1e30f};
    EXPECT_EQ(replaceNonFinite(x.data(), int32_t(x.size())), 4);
    const std::vector<float> expected = {0.5f, 0.0f,     0.0f,  max,  -max,
                                         0.0f, denormal, -0.0f, 0.0f, 1e30f};
    EXPECT_EQ(x, expected);
    EXPECT_EQ(replaceNonFinite(x.data(), int32_t(x.size())), 0) << "nothing left to replace";
    EXPECT_EQ(replaceNonFinite(nullptr, 0), 0);
}

// The meters' scan: every length around the vector blocks, with not-a-number, infinities and
// values just either side of full scale placed anywhere, against a plain scalar scan.
TEST(SampleConversion, peak_and_overs_match_a_plain_scan_and_pass_over_not_a_number) {
    const float nan = std::numeric_limits<float>::quiet_NaN();
    const float inf = std::numeric_limits<float>::infinity();
    const float specials[] = {nan, -nan, inf, -inf, 1.0f, -1.0f, std::nextafter(1.0f, 2.0f),
                              -std::nextafter(1.0f, 2.0f), -0.0f, 3.0f};
    uint32_t seed = 5;
    for (int32_t count = 0; count <= 40; ++count) {
        for (int32_t trial = 0; trial < 20; ++trial) {
            std::vector<float> x{};
            x.resize(size_t(count));
            for (float& v : x) {
                seed = seed * 1664525u + 1013904223u;
                v = (float(seed >> 8) / 16777216.0f - 0.5f) * 1.8f;
                if ((seed & 15u) == 0) v = specials[(seed >> 4) % std::size(specials)];
            }
            float peak = 0.0f;
            int32_t overs = 0;
            for (float v : x) {
                if (std::fabs(v) > peak) peak = std::fabs(v);
                overs += v < -1.0f || v > 1.0f ? 1 : 0;
            }
            const PeakAndOvers found = peakAndOvers(x.data(), count);
            EXPECT_EQ(found.peak, peak) << count << " samples, trial " << trial;
            EXPECT_EQ(found.overs, overs) << count << " samples, trial " << trial;
        }
    }
    const std::vector<float> onlyNan(20, nan);
    EXPECT_EQ(peakAndOvers(onlyNan.data(), 20).peak, 0.0f);
    EXPECT_EQ(peakAndOvers(nullptr, 0).overs, 0);
}
