#include "scope/scope_engine.h"

#include <gtest/gtest.h>

#include <cmath>
#include <numbers>
#include <vector>

namespace orq::scope {
namespace {

constexpr float kRootTwo = 1.41421356f;

// Two channels of one scope block's length, generated per frame.
struct StereoBlock {
    std::vector<float> left = std::vector<float>(kScopeBlockFrames);
    std::vector<float> right = std::vector<float>(kScopeBlockFrames);
};

template <typename Fn> StereoBlock makeBlock(Fn fn) {
    StereoBlock b;
    for (int32_t i = 0; i < kScopeBlockFrames; ++i) {
        auto [l, r] = fn(i);
        b.left[i] = l;
        b.right[i] = r;
    }
    return b;
}

float sine(int32_t i, float amplitude = 0.8f) {
    return amplitude * std::sin(2.0f * std::numbers::pi_v<float> * 7.0f * i / kScopeBlockFrames);
}

// Runs one block through the engine; returns the ring row it wrote.
int32_t runBlock(ScopeEngine& engine, StereoBlock& in, StereoBlock* out = nullptr) {
    StereoBlock scratch;
    StereoBlock& o = out != nullptr ? *out : scratch;
    float* inputs[] = {in.left.data(), in.right.data()};
    float* outputs[] = {o.left.data(), o.right.data()};
    const int32_t row = engine.writeIndex();
    engine.process(inputs, outputs, kScopeBlockFrames);
    return row;
}

float peakAbs(const float* row) {
    float p = 0.0f;
    for (int32_t i = 0; i < kScopeBlockFrames; ++i)
        p = std::max(p, std::fabs(row[i]));
    return p;
}

TEST(ScopeImage, mono_signal_lies_on_mid_axis_with_correlation_one) {
    ScopeEngine engine;
    auto in = makeBlock([](int32_t i) { return std::pair{sine(i), sine(i)}; });
    const int32_t row = runBlock(engine, in);
    EXPECT_NEAR(peakAbs(engine.ring().x[row]), 0.0f, 1e-7f);
    EXPECT_NEAR(peakAbs(engine.ring().y[row]), kRootTwo, 1e-5f);
    // The sine's sample at 0 is exactly zero and counts one half.
    EXPECT_NEAR(engine.ring().correlation[row], 1.0f, 1.0f / kScopeBlockFrames);
}

TEST(ScopeImage, opposite_channels_lie_on_side_axis_with_correlation_zero) {
    ScopeEngine engine;
    auto in = makeBlock([](int32_t i) { return std::pair{sine(i), -sine(i)}; });
    const int32_t row = runBlock(engine, in);
    EXPECT_NEAR(peakAbs(engine.ring().y[row]), 0.0f, 1e-7f);
    EXPECT_NEAR(peakAbs(engine.ring().x[row]), kRootTwo, 1e-5f);
    // The sine's zero crossings (i = 0 and every 512/14 frames when exact) count one half.
    EXPECT_NEAR(engine.ring().correlation[row], 0.0f, 2.0f / kScopeBlockFrames);
}

TEST(ScopeImage, left_only_gives_neutral_correlation_and_points_on_falling_diagonal) {
    ScopeEngine engine;
    auto in = makeBlock([](int32_t i) { return std::pair{sine(i), 0.0f}; });
    const int32_t row = runBlock(engine, in);
    EXPECT_NEAR(engine.ring().correlation[row], 0.5f, 1e-6f);
    for (int32_t i = 0; i < kScopeBlockFrames; ++i) {
        ASSERT_NEAR(engine.ring().y[row][i], -engine.ring().x[row][i], 1e-6f) << "frame " << i;
    }
    EXPECT_NEAR(peakAbs(engine.ring().y[row]), 0.70710677f, 1e-5f);
}

TEST(ScopeImage, silence_gives_origin_points_and_neutral_correlation) {
    ScopeEngine engine;
    StereoBlock in;
    const int32_t row = runBlock(engine, in);
    EXPECT_EQ(peakAbs(engine.ring().x[row]), 0.0f);
    EXPECT_EQ(peakAbs(engine.ring().y[row]), 0.0f);
    EXPECT_NEAR(engine.ring().correlation[row], 0.5f, 1e-7f);
}

TEST(ScopeImage, quiet_block_is_normalised_to_full_scale) {
    ScopeEngine engine;
    auto in = makeBlock([](int32_t i) { return std::pair{sine(i, 0.001f), sine(i, 0.001f)}; });
    const int32_t row = runBlock(engine, in);
    EXPECT_NEAR(peakAbs(engine.ring().y[row]), kRootTwo, 1e-5f);
}

TEST(ScopeImage, louder_right_channel_sets_the_normalisation) {
    ScopeEngine engine;
    // R = 2L: normalised by the right peak, so R reaches 1 and L one half.
    auto in = makeBlock([](int32_t i) { return std::pair{0.5f * sine(i), sine(i)}; });
    const int32_t row = runBlock(engine, in);
    EXPECT_NEAR(peakAbs(engine.ring().y[row]), 1.5f * 0.70710677f, 1e-5f);
    EXPECT_NEAR(peakAbs(engine.ring().x[row]), 0.5f * 0.70710677f, 1e-5f);
}

TEST(ScopePassThrough, output_is_input_delayed_by_one_block_bit_exactly) {
    ScopeEngine engine;
    auto first = makeBlock([](int32_t i) { return std::pair{sine(i), 0.3f * sine(i + 5)}; });
    auto second = makeBlock([](int32_t i) { return std::pair{-0.25f * sine(i), sine(i + 9)}; });
    StereoBlock out1, out2;
    runBlock(engine, first, &out1);
    runBlock(engine, second, &out2);
    EXPECT_EQ(peakAbs(out1.left.data()), 0.0f);
    EXPECT_EQ(peakAbs(out1.right.data()), 0.0f);
    EXPECT_EQ(out2.left, first.left);
    EXPECT_EQ(out2.right, first.right);
}

TEST(ScopePassThrough, mono_outputs_the_mean_and_analyses_full_correlation) {
    ScopeEngine engine;
    engine.setMono(true);
    auto in = makeBlock([](int32_t i) { return std::pair{sine(i), 0.2f * sine(i + 100)}; });
    const auto original = in;
    StereoBlock out, flush;
    const int32_t row = runBlock(engine, in);
    runBlock(engine, flush, &out);
    for (int32_t i = 0; i < kScopeBlockFrames; ++i) {
        const float mean = (original.left[i] + original.right[i]) * 0.5f;
        ASSERT_EQ(out.left[i], mean) << "frame " << i;
        ASSERT_EQ(out.right[i], mean) << "frame " << i;
    }
    EXPECT_NEAR(engine.ring().correlation[row], 1.0f, 1.0f / kScopeBlockFrames);
    EXPECT_NEAR(peakAbs(engine.ring().x[row]), 0.0f, 1e-7f);
}

TEST(ScopeRing, count_follows_write_index_and_wraps_after_hundred_rows) {
    ScopeEngine engine;
    StereoBlock in;
    for (int32_t b = 0; b < 3; ++b)
        runBlock(engine, in);
    EXPECT_EQ(engine.writeIndex(), 3);
    EXPECT_EQ(engine.ring().count, 3.0f);
    for (int32_t b = 3; b < kScopeRows; ++b)
        runBlock(engine, in);
    EXPECT_EQ(engine.writeIndex(), 0);
    EXPECT_EQ(engine.ring().count, static_cast<float>(kScopeRows));
    runBlock(engine, in);
    EXPECT_EQ(engine.ring().count, 1.0f);
}

TEST(ScopeRing, starts_with_neutral_correlation_in_every_row) {
    ScopeEngine engine;
    for (int32_t r = 0; r < kScopeRows; ++r) {
        ASSERT_EQ(engine.ring().correlation[r], 0.5f) << "row " << r;
    }
    EXPECT_EQ(engine.ring().count, 0.0f);
}

TEST(ScopeRing, collection_restarts_ring_unless_continuous) {
    auto destination = std::make_unique<ScopeBlock>();
    ScopeEngine engine;
    auto in = makeBlock([](int32_t i) { return std::pair{sine(i), sine(i)}; });
    runBlock(engine, in);
    runBlock(engine, in);
    engine.collect(*destination);
    EXPECT_EQ(destination->count, 2.0f);
    EXPECT_NEAR(destination->correlation[1], 1.0f, 1.0f / kScopeBlockFrames);
    EXPECT_EQ(engine.writeIndex(), 0);

    engine.setContinuousRing(1.0f);
    runBlock(engine, in);
    engine.collect(*destination);
    EXPECT_EQ(engine.writeIndex(), 1);
}

TEST(ScopeBlockCopy, claimed_row_count_is_clamped_to_the_ring) {
    auto block = std::make_unique<ScopeBlock>();
    block->count = 1e9f;
    EXPECT_EQ(scopeValidRows(*block), kScopeRows);
    block->count = -3.0f;
    EXPECT_EQ(scopeValidRows(*block), 0);
    block->count = std::nanf("");
    EXPECT_EQ(scopeValidRows(*block), 0);
    block->count = 7.9f;
    EXPECT_EQ(scopeValidRows(*block), 7);
}

TEST(ScopeBlockCopy, copies_only_valid_rows_and_the_count) {
    auto from = std::make_unique<ScopeBlock>();
    auto to = std::make_unique<ScopeBlock>();
    std::fill(&from->x[0][0], &from->x[0][0] + kScopeRows * kScopeBlockFrames, 1.0f);
    std::fill(&to->x[0][0], &to->x[0][0] + kScopeRows * kScopeBlockFrames, -1.0f);
    from->correlation[0] = 0.25f;
    from->count = 1.0f;
    copyScopeRows(*from, *to);
    EXPECT_EQ(to->x[0][511], 1.0f);
    EXPECT_EQ(to->x[1][0], -1.0f);
    EXPECT_EQ(to->correlation[0], 0.25f);
    EXPECT_EQ(to->count, 1.0f);
}

} // namespace
} // namespace orq::scope
