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
