// One crossover of the band split: a zero-phase elliptic low-pass made of a backward pass over
// each time-reversed block (its response truncated to a tail of half a block, carried into
// the next block) followed by a forward pass. Its magnitude response is the square of the
// designed low-pass; it delays by the tail length.
#pragma once

#include "compressor/crossover_design.h"
#include "compressor/elliptic_designer.h"
#include "compressor/iir_cascade.h"

#include <cstdint>
#include <vector>

namespace orq::compressor {

class CrossoverFilter {
  public:
    // [ui-thread] allocates. Designs for borderHz at once.
    CrossoverFilter(int32_t channels, int32_t sampleRate, int32_t blockSize, int32_t orderLimit,
                    double borderHz);

    // [ui-thread] no allocation. Re-designs for borderHz (see designCrossover); both cascades of
    // every channel take the coefficients, their states stay. Returns false when the design was
    // refused (the previous one stays).
    bool setBorder(double borderHz);
    // [audio-thread] no allocation. Writes the low part of one block per channel; the output
    // covers the input times from -tail to blockSize - tail - 1 relative to this block.
    void process(const float* const* in, float* const* lowOut);
    // [audio-thread] clears both cascades, the work buffers and the carry.
    void reset();

    int32_t latencyFrames() const { return tailFrames_; }
    const EllipticDesigner& designer() const { return designer_; }

  private:
    int32_t channels_;
    int32_t sampleRate_;
    int32_t blockSize_;
    int32_t tailFrames_;
    int32_t orderLimit_;
    std::vector<float> reversed_; // per channel blockSize + tail: reversed block, then zeros
    std::vector<float> backward_; // per channel blockSize + tail: backward-pass output
    std::vector<float> carry_;    // per channel tail: previous block's first backward outputs
    std::vector<IirCascade> backwardFilters_;
    std::vector<IirCascade> forwardFilters_;
    EllipticDesigner designer_;
};

} // namespace orq::compressor
