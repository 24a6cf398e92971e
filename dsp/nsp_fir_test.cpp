#include "dsp/nsp.h"
#include "dsp/dsp_test_support.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

using namespace orq::dsp::testing;

// Direct convolution of the whole history, in double.
std::vector<double> convolve(const std::vector<float>& taps, const std::vector<float>& input) {
    std::vector<double> out(input.size(), 0.0);
    for (size_t i = 0; i < input.size(); ++i) {
        for (size_t k = 0; k < taps.size() && k <= i; ++k)
            out[i] += double{taps[k]} * input[i - k];
    }
    return out;
}

class FirFilter : public QuietErrors {
  protected:
    void TearDown() override {
        if (state_.init == &state_) nspFirnspFree(&state_);
        QuietErrors::TearDown();
    }
    NSPFirState state_{};
};

TEST_F(FirFilter, two_taps_give_impulse_response_then_silence) {
    const float taps[] = {1.0f, 0.5f};
    nspsFirInit(taps, 2, nullptr, &state_);
    const float in1[] = {1.0f, 0.0f, 0.0f};
    float out1[3] = {9, 9, 9};
    nspsbFir(&state_, in1, out1, 3);
    EXPECT_FLOAT_EQ(out1[0], 1.0f);
    EXPECT_FLOAT_EQ(out1[1], 0.5f);
    EXPECT_FLOAT_EQ(out1[2], 0.0f);
    const float in2[] = {0.0f, 0.0f};
    float out2[2] = {9, 9};
    nspsbFir(&state_, in2, out2, 2);
    EXPECT_FLOAT_EQ(out2[0], 0.0f);
    EXPECT_FLOAT_EQ(out2[1], 0.0f);
    EXPECT_EQ(nspGetErrStatus(), NSP_StsOk);
}

TEST_F(FirFilter, blocks_of_any_size_continue_like_one_long_convolution) {
    const auto taps = randomSignal(37, 1);
    const auto input = randomSignal(1000, 2);
    const auto expected = convolve(taps, input);
    nspsFirInit(taps.data(), static_cast<int>(taps.size()), nullptr, &state_);
    std::vector<float> output(input.size());
    // Blocks shorter than, equal to and longer than the filter.
    size_t pos = 0;
    for (int block : {1, 5, 36, 37, 38, 200, 3, 680}) {
        nspsbFir(&state_, input.data() + pos, output.data() + pos, block);
        pos += block;
    }
    ASSERT_EQ(pos, input.size());
    EXPECT_LT(relativeError(output, expected, input.size()), 1e-6);
}

TEST_F(FirFilter, filtering_in_place_gives_the_same_output) {
    const auto taps = randomSignal(16, 3);
    const auto input = randomSignal(300, 4);
    const auto expected = convolve(taps, input);
    nspsFirInit(taps.data(), 16, nullptr, &state_);
    auto buffer = input;
    nspsbFir(&state_, buffer.data(), buffer.data(), 7);
    nspsbFir(&state_, buffer.data() + 7, buffer.data() + 7, 293);
    EXPECT_LT(relativeError(buffer, expected, input.size()), 1e-6);
}

TEST_F(FirFilter, initial_delay_line_is_the_history_oldest_first) {
    const float taps[] = {1.0f, 2.0f, 3.0f};
    const float history[] = {100.0f, 10.0f, 1.0f}; // x[-3], x[-2], x[-1]
    nspsFirInit(taps, 3, history, &state_);
    const float in[] = {0.0f, 0.0f};
    float out[2];
    nspsbFir(&state_, in, out, 2);
    EXPECT_FLOAT_EQ(out[0], 2.0f * 1.0f + 3.0f * 10.0f); // h1·x[-1] + h2·x[-2]
    EXPECT_FLOAT_EQ(out[1], 3.0f * 1.0f);
    // After the block the delay line holds the last three inputs: x[-1], 0, 0.
    EXPECT_FLOAT_EQ(state_.dlyl[0], 1.0f);
    EXPECT_FLOAT_EQ(state_.dlyl[1], 0.0f);
    EXPECT_FLOAT_EQ(state_.dlyl[2], 0.0f);
}

TEST_F(FirFilter, setting_no_delay_values_restarts_from_silence) {
    const auto taps = randomSignal(8, 5);
    const auto input = randomSignal(64, 6);
    nspsFirInit(taps.data(), 8, nullptr, &state_);
    std::vector<float> first(64), second(64);
    nspsbFir(&state_, input.data(), first.data(), 64);
    nspsFirSetDlyl(nullptr, &state_);
    nspsbFir(&state_, input.data(), second.data(), 64);
    EXPECT_EQ(first, second);
}

TEST_F(FirFilter, replaced_taps_apply_to_the_next_block_and_none_zeroes_them) {
    const float taps[] = {1.0f, 0.0f};
    nspsFirInit(taps, 2, nullptr, &state_);
    const float newTaps[] = {0.0f, 2.0f};
    nspsFirSetTaps(newTaps, &state_);
    const float in[] = {1.0f, 0.0f};
    float out[2];
    nspsbFir(&state_, in, out, 2);
    EXPECT_FLOAT_EQ(out[0], 0.0f);
    EXPECT_FLOAT_EQ(out[1], 2.0f);
    nspsFirSetTaps(nullptr, &state_);
    nspsbFir(&state_, in, out, 2);
    EXPECT_FLOAT_EQ(out[0], 0.0f);
    EXPECT_FLOAT_EQ(out[1], 0.0f);
}

TEST_F(FirFilter, operations_on_an_uninitialised_state_report_and_change_nothing) {
    const float taps[] = {1.0f, 0.5f};
    nspsFirInit(taps, 2, nullptr, &state_);
    NSPFirState copy = state_; // marker points at state_, not at copy
    const NSPFirState before = copy;
    float out[2] = {7.0f, 7.0f};
    const float in[] = {1.0f, 1.0f};

    nspsbFir(&copy, in, out, 2);
    EXPECT_EQ(nspGetErrStatus(), NSP_StsBadArg);
    nspSetErrStatus(NSP_StsOk);
    nspsFirSetTaps(nullptr, &copy);
    EXPECT_EQ(nspGetErrStatus(), NSP_StsBadArg);
    nspSetErrStatus(NSP_StsOk);
    nspsFirSetDlyl(in, &copy);
    EXPECT_EQ(nspGetErrStatus(), NSP_StsBadArg);
    nspSetErrStatus(NSP_StsOk);
    nspFirnspFree(&copy);
    EXPECT_EQ(nspGetErrStatus(), NSP_StsBadArg);

    EXPECT_FLOAT_EQ(out[0], 7.0f);
    EXPECT_FLOAT_EQ(out[1], 7.0f);
    EXPECT_EQ(copy.taps, before.taps);
    EXPECT_EQ(copy.init, before.init);
    EXPECT_FLOAT_EQ(state_.taps[0], 0.5f); // reversed copy untouched
    EXPECT_FLOAT_EQ(state_.taps[1], 1.0f);
}

TEST_F(FirFilter, bad_arguments_report_bad_argument) {
    const float taps[] = {1.0f};
    nspsFirInit(taps, 0, nullptr, &state_);
    EXPECT_EQ(nspGetErrStatus(), NSP_StsBadArg);
    EXPECT_NE(state_.init, &state_);
    nspSetErrStatus(NSP_StsOk);
    nspsFirInit(nullptr, 1, nullptr, &state_);
    EXPECT_EQ(nspGetErrStatus(), NSP_StsBadArg);
    nspSetErrStatus(NSP_StsOk);
    nspsFirInit(taps, 1, nullptr, nullptr);
    EXPECT_EQ(nspGetErrStatus(), NSP_StsBadArg);
    nspSetErrStatus(NSP_StsOk);

    nspsFirInit(taps, 1, nullptr, &state_);
    float out[1] = {3.0f};
    nspsbFir(&state_, taps, out, 0);
    EXPECT_EQ(nspGetErrStatus(), NSP_StsBadArg);
    nspSetErrStatus(NSP_StsOk);
    nspsbFir(&state_, nullptr, out, 1);
    EXPECT_EQ(nspGetErrStatus(), NSP_StsBadArg);
    EXPECT_FLOAT_EQ(out[0], 3.0f);
}

TEST_F(FirFilter, free_releases_buffers_and_clears_the_marker) {
    const float taps[] = {1.0f, 2.0f};
    nspsFirInit(taps, 2, nullptr, &state_);
    nspsFirInit(taps, 2, nullptr, &state_); // re-initialising does not leak (checked by ASan)
    nspFirnspFree(&state_);
    EXPECT_EQ(state_.init, nullptr);
    EXPECT_EQ(state_.taps, nullptr);
    EXPECT_EQ(nspGetErrStatus(), NSP_StsOk);
}

} // namespace
