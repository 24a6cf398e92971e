#include "dsp/nsp.h"
#include "dsp/dsp_test_support.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

using VectorRoutines = orq::dsp::testing::QuietErrors;

TEST_F(VectorRoutines, multiply_add_subtract_touch_exactly_n_elements) {
    std::vector<float> buffer{1.0f, -2.0f, 3.5f, 7.0f};
    nspsbMpy1(0.5f, buffer.data(), 3);
    EXPECT_FLOAT_EQ(buffer[0], 0.5f);
    EXPECT_FLOAT_EQ(buffer[1], -1.0f);
    EXPECT_FLOAT_EQ(buffer[2], 1.75f);
    EXPECT_FLOAT_EQ(buffer[3], 7.0f);

    const std::vector<float> other{1.0f, 1.0f, 1.0f, 1.0f};
    nspsbAdd2(other.data(), buffer.data(), 2);
    EXPECT_FLOAT_EQ(buffer[0], 1.5f);
    EXPECT_FLOAT_EQ(buffer[1], 0.0f);
    EXPECT_FLOAT_EQ(buffer[2], 1.75f);

    nspsbSub2(other.data(), buffer.data(), 4);
    EXPECT_FLOAT_EQ(buffer[0], 0.5f);
    EXPECT_FLOAT_EQ(buffer[1], -1.0f);
    EXPECT_FLOAT_EQ(buffer[2], 0.75f);
    EXPECT_FLOAT_EQ(buffer[3], 6.0f);
    EXPECT_EQ(nspGetErrStatus(), NSP_StsOk);
}

// Lengths past the routines' four-at-a-time stretch, against plain loops: separate arrays, the
// same array, and ranges that overlap by one element (which a plain loop runs in order).
TEST_F(VectorRoutines, longer_and_overlapping_ranges_equal_plain_loops) {
    std::vector<float> start(12);
    for (size_t i = 0; i < start.size(); ++i)
        start[i] = 0.37f * float(i) - 1.1f;
    const std::vector<float> other{0.3f, -7.0f, 2.25f, 1e-8f, 5.0f, -0.5f,
                                   1.0f, 9.0f, -3.0f, 0.125f, 4.0f, -2.0f};
    for (const int n : {5, 8, 11}) {
        std::vector<float> got = start, want = start;
        nspsbAdd2(other.data(), got.data(), n);
        nspsbSub2(other.data() + 1, got.data(), n);
        nspsbMpy1(1.5f, got.data(), n);
        for (int i = 0; i < n; ++i)
            want[size_t(i)] = (want[size_t(i)] + other[size_t(i)] - other[size_t(i) + 1]) * 1.5f;
        EXPECT_EQ(got, want) << "n = " << n;

        got = start;
        want = start;
        nspsbAdd2(got.data(), got.data(), n);
        for (int i = 0; i < n; ++i)
            want[size_t(i)] += want[size_t(i)];
        EXPECT_EQ(got, want) << "the same array, n = " << n;

        got = start;
        want = start;
        nspsbAdd2(got.data(), got.data() + 1, n);
        for (int i = 0; i < n; ++i)
            want[size_t(i) + 1] += want[size_t(i)];
        EXPECT_EQ(got, want) << "overlapping by one, n = " << n;
    }
    EXPECT_EQ(nspGetErrStatus(), NSP_StsOk);
}

TEST_F(VectorRoutines, bad_arguments_report_bad_argument_and_leave_buffer_untouched) {
    std::vector<float> buffer{1.0f, 2.0f};
    const std::vector<float> other{5.0f, 5.0f};

    nspsbMpy1(3.0f, buffer.data(), 0);
    EXPECT_EQ(nspGetErrStatus(), NSP_StsBadArg);
    nspSetErrStatus(NSP_StsOk);
    nspsbAdd2(nullptr, buffer.data(), 2);
    EXPECT_EQ(nspGetErrStatus(), NSP_StsBadArg);
    nspSetErrStatus(NSP_StsOk);
    nspsbSub2(other.data(), buffer.data(), -1);
    EXPECT_EQ(nspGetErrStatus(), NSP_StsBadArg);
    nspsbMpy1(3.0f, nullptr, 2);
    nspsbAdd2(other.data(), nullptr, 2);
    nspsbSub2(nullptr, buffer.data(), 2);

    EXPECT_FLOAT_EQ(buffer[0], 1.0f);
    EXPECT_FLOAT_EQ(buffer[1], 2.0f);
}

} // namespace

namespace {

using BitReversal = orq::dsp::testing::QuietErrors;

TEST_F(BitReversal, table_holds_reversed_indices_and_cached_table_matches) {
    int table[8];
    EXPECT_EQ(nspCalcBitRevTbl(table, 3), table);
    const int expected[8] = {0, 4, 2, 6, 1, 5, 3, 7};
    for (int i = 0; i < 8; ++i)
        EXPECT_EQ(table[i], expected[i]) << i;

    std::vector<int> big(1 << 12);
    nspCalcBitRevTbl(big.data(), 12);
    const int* cached = nspGetBitRevTbl(12);
    ASSERT_NE(cached, nullptr);
    EXPECT_EQ(cached, nspGetBitRevTbl(12)) << "built once, then reused";
    for (int i = 0; i < (1 << 12); ++i)
        ASSERT_EQ(cached[i], big[i]) << i;
    EXPECT_EQ(nspGetErrStatus(), NSP_StsOk);
}

TEST_F(BitReversal, permutation_reorders_and_twice_restores) {
    std::vector<float> v{0, 1, 2, 3, 4, 5, 6, 7};
    nspsbBitRev1(v.data(), 3);
    EXPECT_EQ(v, (std::vector<float>{0, 4, 2, 6, 1, 5, 3, 7}));
    nspsbBitRev1(v.data(), 3);
    EXPECT_EQ(v, (std::vector<float>{0, 1, 2, 3, 4, 5, 6, 7}));
}

TEST_F(BitReversal, bad_arguments_report_and_touch_nothing) {
    nspCalcBitRevTbl(nullptr, 3);
    EXPECT_EQ(nspGetErrStatus(), NSP_StsBadArg);
    nspSetErrStatus(NSP_StsOk);
    nspsbBitRev1(nullptr, 3);
    EXPECT_EQ(nspGetErrStatus(), NSP_StsBadArg);
    nspSetErrStatus(NSP_StsOk);
    EXPECT_EQ(nspGetBitRevTbl(-1), nullptr);
    EXPECT_EQ(nspGetErrStatus(), NSP_StsBadArg);
    nspSetErrStatus(NSP_StsOk);
    std::vector<float> v{1, 2};
    nspsbBitRev1(v.data(), 32);
    EXPECT_EQ(nspGetErrStatus(), NSP_StsBadArg);
    EXPECT_EQ(v, (std::vector<float>{1, 2}));
}

} // namespace
