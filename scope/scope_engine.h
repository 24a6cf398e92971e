// The phase scope's measuring engine: mid/side point rows and the sign correlation of each
// 512-frame block, kept in a ring of 100 rows until the editor collects them.
#pragma once

#include "runtime/block_processor.h"

#include <cstdint>
#include <memory>

namespace orq::scope {

constexpr int32_t kScopeBlockFrames = 512;
constexpr int32_t kScopeRows = 100;
// Rotation of the left/right plane by 45 degrees: mono lies on the vertical (mid) axis.
constexpr float kScopeRotation = 0.70710677f;
// Correlation of a row that carries no sign information (silence, or one channel only).
constexpr float kNeutralCorrelation = 0.5f;

// The engine's ring, the parameter set's copy and the editor's copy share this shape.
struct ScopeBlock {
    float x[kScopeRows][kScopeBlockFrames]; // side values
    float y[kScopeRows][kScopeBlockFrames]; // mid values
    float correlation[kScopeRows];          // 0 = always opposite sign, 1 = always the same
    float count;                            // valid rows, held as a float
};

// Valid rows a block claims, clamped to 0..kScopeRows: a count from a store or a stream may
// be anything, including NaN. [any-thread]
int32_t scopeValidRows(const ScopeBlock& block);
// Copies the valid rows, their correlation values and the count. [any-thread] no allocation.
void copyScopeRows(const ScopeBlock& from, ScopeBlock& to);

class ScopeEngine : public BlockProcessor {
  public:
    // [ui-thread] allocates the ring; two channels in and out.
    ScopeEngine();

    // [ui-thread, under the plug-in lock]
    void setMono(bool mono) { mono_ = mono; }
    bool mono() const { return mono_; }
    // Non-zero: the ring keeps cycling across collections.
    void setContinuousRing(float value) { continuousRing_ = value; }
    float continuousRing() const { return continuousRing_; }

    // [ui-thread, under the plug-in lock] no allocation. Copies the valid rows into
    // destination and, unless the ring is continuous, restarts writing at row 0.
    void collect(ScopeBlock& destination);

    const ScopeBlock& ring() const { return *ring_; }
    int32_t writeIndex() const { return writeIndex_; }

  protected:
    // [audio-thread] no allocation.
    void processBlock(float* const* inputBlocks, float* const* outputBlocks) override;

  private:
    std::unique_ptr<ScopeBlock> ring_;
    int32_t writeIndex_ = 0;
    bool mono_ = false;
    float continuousRing_ = 0.0f;
};

} // namespace orq::scope
