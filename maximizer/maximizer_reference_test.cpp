// The engine against the independent reference model (maximizer_reference_model.py): the same
// stereo signal through the level stage, the look-ahead limiter and the curve clipper must
// give the model's output and gains frame by frame. The model rounds every step to a float as
// the engine does, but takes its logarithms and powers in double precision and multiplies in
// the order the algorithm is written, so the two differ by a few units in the last place;
// a changed time constant, hold length or level mix moves them apart by orders of magnitude
// more.
#include "maximizer/maximizer_engine.h"
#include "maximizer/maximizer_reference_trace.h"

#include <gtest/gtest.h>

#include <cmath>

namespace orq::maximizer {
namespace {

// Largest difference accepted per output sample and per gain.
constexpr double kSampleTolerance = 2e-6;
constexpr double kGainTolerance = 2e-6;

struct Worst {
    double difference = 0.0;
    int32_t frame = -1;
    void take(double a, double b, int32_t t) {
        if (std::fabs(a - b) > difference) {
            difference = std::fabs(a - b);
            frame = t;
        }
    }
};

TEST(MaximizerReference, engine_follows_the_reference_model_frame_by_frame) {
    namespace ref = reference;
    MaximizerEngine engine(kComponentOptions);
    engine.setDesiredGain(ref::kDesiredGainDb);
    engine.setDensity(ref::kDensity);
    engine.setHeadroom(ref::kHeadroom);
    engine.setBoost(ref::kBoost);
    ASSERT_TRUE(engine.open(ref::kSampleRateHz, 2));

    Worst output, level, limiter;
    bool limited = false, leveled = false;
    for (int32_t t = 0; t < ref::kFrames; ++t) {
        float left = static_cast<float>(ref::kInputLeft[t]) / 32768.0f;
        float right = static_cast<float>(ref::kInputRight[t]) / 32768.0f;
        const float* in[2] = {&left, &right};
        float outLeft = 0.0f, outRight = 0.0f;
        float* out[2] = {&outLeft, &outRight};
        engine.process(in, out, 1, OutputMode::Replace);
        output.take(outLeft, ref::kOutputLeft[t], t);
        output.take(outRight, ref::kOutputRight[t], t);
        level.take(engine.levelGain(), ref::kLevelGain[t], t);
        limiter.take(engine.limiterGain(), ref::kLimiterGain[t], t);
        limited = limited || ref::kLimiterGain[t] < 0.9f;
        leveled = leveled || ref::kLevelGain[t] < 0.9f;
    }
    // The trace exercises what it is meant to: the limiter and the level stage both work.
    EXPECT_TRUE(limited);
    EXPECT_TRUE(leveled);
    EXPECT_NEAR(output.difference, 0.0, kSampleTolerance) << "worst at frame " << output.frame;
    EXPECT_NEAR(level.difference, 0.0, kGainTolerance) << "worst at frame " << level.frame;
    EXPECT_NEAR(limiter.difference, 0.0, kGainTolerance) << "worst at frame " << limiter.frame;
}

} // namespace
} // namespace orq::maximizer
