// The Pressane editors' level-bar scales (the suite's editor and the Plax build's): a bar shows
// n/28 for the highest of its 28 breakpoints that the level exceeds.
#pragma once

#include <iterator>

namespace orq::maximizer {

constexpr int kLevelSteps = 28;
constexpr float kInputBreakpointsDb[] = {-35, -30, -25, -20, -17.5f, -15,   -12.5f, -10,  -9,   -8,
                                         -7,  -6,  -5,  -4.5f, -4,   -3.5f, -3,     -2.5f, -2, -1.75f,
                                         -1.5f, -1.25f, -1, -0.8f, -0.6f, -0.4f, -0.2f, -0.1f};
constexpr float kOutputBreakpointsDb[] = {
    -10,   -9,   -8,   -7,    -6,   -5,    -4,   -3,    -2,   -1.75f, -1.5f, -1.25f, -1,     -0.9f,
    -0.8f, -0.7f, -0.6f, -0.5f, -0.45f, -0.4f, -0.35f, -0.3f, -0.25f, -0.2f, -0.15f, -0.1f, -0.05f,
    -0.025f};
static_assert(std::size(kInputBreakpointsDb) == kLevelSteps);
static_assert(std::size(kOutputBreakpointsDb) == kLevelSteps);

} // namespace orq::maximizer
