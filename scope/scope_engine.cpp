#include "scope/scope_engine.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace orq::scope {

namespace {
constexpr int32_t kScopeChannels = 2;
constexpr int32_t kPeakLanes = 8;

// The block's largest magnitude, in lanes the compiler makes vector code (a comparison with
// not-a-number is false, so it never becomes the peak, as with std::max).
float blockPeak(const float* x) {
    static_assert(kScopeBlockFrames % kPeakLanes == 0);
    float lanes[kPeakLanes] = {};
    for (int32_t i = 0; i < kScopeBlockFrames; i += kPeakLanes) {
        for (int32_t k = 0; k < kPeakLanes; ++k) {
            const float m = std::fabs(x[i + k]);
            lanes[k] = m > lanes[k] ? m : lanes[k];
        }
    }
    float peak = 0.0f;
    for (float lane : lanes) peak = lane > peak ? lane : peak;
    return peak;
}
} // namespace

int32_t scopeValidRows(const ScopeBlock& block) {
    const float count = block.count;
    if (!(count > 0.0f)) return 0; // also NaN
    if (count >= static_cast<float>(kScopeRows)) return kScopeRows;
    return static_cast<int32_t>(count);
}

void copyScopeRows(const ScopeBlock& from, ScopeBlock& to) {
    const int32_t rows = scopeValidRows(from);
    if (&from == &to) { // a set handed to itself: only the count needs sanitising
        to.count = static_cast<float>(rows);
        return;
    }
    const size_t rowBytes = sizeof(float) * kScopeBlockFrames;
    for (int32_t r = 0; r < rows; ++r) {
        std::memcpy(to.x[r], from.x[r], rowBytes);
        std::memcpy(to.y[r], from.y[r], rowBytes);
        to.correlation[r] = from.correlation[r];
    }
    to.count = static_cast<float>(rows);
}

ScopeEngine::ScopeEngine()
    : BlockProcessor(kScopeChannels, kScopeChannels, kScopeBlockFrames),
      ring_(std::make_unique<ScopeBlock>()) {
    std::memset(ring_.get(), 0, sizeof(ScopeBlock));
    std::fill(std::begin(ring_->correlation), std::end(ring_->correlation), kNeutralCorrelation);
}

void ScopeEngine::collect(ScopeBlock& destination) {
    copyScopeRows(*ring_, destination);
    if (continuousRing_ == 0.0f) writeIndex_ = 0;
}

void ScopeEngine::processBlock(float* const* inputBlocks, float* const* outputBlocks) {
    float* left = inputBlocks[0];
    float* right = inputBlocks[1];
    constexpr int32_t n = kScopeBlockFrames;

    // Peaks of the incoming channels; in mono both channels become their mean afterwards.
    const float peakLeft = blockPeak(left);
    const float peakRight = blockPeak(right);
    if (mono_) {
        for (int32_t i = 0; i < n; ++i) {
            const float mid = (left[i] + right[i]) * 0.5f;
            left[i] = mid;
            right[i] = mid;
        }
    }
    std::memcpy(outputBlocks[0], left, sizeof(float) * n);
    std::memcpy(outputBlocks[1], right, sizeof(float) * n);

    // Normalise the analysis so the block's largest sample reaches magnitude 1.
    float gain = 1.0f;
    if (peakRight > peakLeft && peakRight != 0.0f) {
        gain = 1.0f / peakRight;
    } else if (peakLeft != 0.0f) {
        gain = 1.0f / peakLeft;
    }

    const int32_t w = writeIndex_;
    float* side = ring_->x[w];
    float* mid = ring_->y[w];
    int32_t sameSign = 0;
    int32_t zeroProduct = 0;
    for (int32_t i = 0; i < n; ++i) {
        const float l = left[i] * gain;
        const float r = right[i] * gain;
        side[i] = (r - l) * kScopeRotation;
        mid[i] = (r + l) * kScopeRotation;
        const float q = l * r;
        sameSign += q > 0.0f ? 1 : 0;
        zeroProduct += q == 0.0f ? 1 : 0;
    }
    ring_->correlation[w] =
        (static_cast<float>(sameSign) + 0.5f * static_cast<float>(zeroProduct)) /
        static_cast<float>(n);
    ring_->count = static_cast<float>(w + 1);
    writeIndex_ = (w + 1 == kScopeRows) ? 0 : w + 1;
}

} // namespace orq::scope
