#include "runtime/block_processor.h"

#include <gtest/gtest.h>

#include <vector>

using namespace orq;

namespace {

// Doubles its input; output channels beyond the inputs get the first input.
class Doubler final : public BlockProcessor {
  public:
    using BlockProcessor::BlockProcessor;
    int blocks = 0;

  protected:
    void processBlock(float* const* in, float* const* out) override {
        ++blocks;
        for (int c = 0; c < outputChannels(); ++c)
            for (int i = 0; i < blockSize(); ++i)
                out[c][i] = 2.0f * in[c < inputChannels() ? c : 0][i];
    }
};

} // namespace

TEST(BlockProcessor, fed_one_frame_at_a_time_delays_by_exactly_one_block) {
    constexpr int kBlock = 1024;
    Doubler p(1, -1, kBlock);
    std::vector<float> out;
    for (int t = 0; t < 3 * kBlock; ++t) {
        float x = float(t + 1), y = -1.0f;
        float* in[1] = {&x};
        float* o[1] = {&y};
        p.process(in, o, 1);
        out.push_back(y);
    }
    for (int t = 0; t < kBlock; ++t)
        ASSERT_EQ(out[size_t(t)], 0.0f) << "frame " << t;
    for (int t = kBlock; t < 3 * kBlock; ++t)
        ASSERT_EQ(out[size_t(t)], 2.0f * float(t + 1 - kBlock)) << "frame " << t;
    EXPECT_EQ(p.blocks, 3);
}

TEST(BlockProcessor, any_split_of_calls_gives_the_same_stream_in_place) {
    constexpr int kBlock = 64;
    for (int split : {1, 7, 64, 100, 500}) {
        Doubler p(2, -1, kBlock);
        std::vector<float> left(500), right(500);
        for (int i = 0; i < 500; ++i) {
            left[size_t(i)] = float(i);
            right[size_t(i)] = -float(i);
        }
        for (int at = 0; at < 500; at += split) {
            const int n = std::min(split, 500 - at);
            float* ch[2] = {left.data() + at, right.data() + at};
            p.process(ch, ch, n); // in place
        }
        for (int i = kBlock; i < 500; ++i) {
            ASSERT_EQ(left[size_t(i)], 2.0f * float(i - kBlock))
                << "split " << split << " frame " << i;
            ASSERT_EQ(right[size_t(i)], -2.0f * float(i - kBlock));
        }
    }
}

TEST(BlockProcessor, different_channel_counts_and_reset) {
    Doubler p(1, 2, 4);
    std::vector<float> in(8, 1.0f), a(8, -1), b(8, -1);
    float* i[1] = {in.data()};
    float* o[2] = {a.data(), b.data()};
    p.process(i, o, 8);
    EXPECT_EQ(a[4], 2.0f);
    EXPECT_EQ(b[7], 2.0f);
    p.reset();
    p.process(i, o, 4);
    EXPECT_EQ(a[0], 0.0f) << "a reset zeroes the blocks";
}
