// A cascade of second-order sections with a scalar input gain: float samples in and out,
// double arithmetic inside.
#pragma once

#include "compressor/elliptic_designer.h"

#include <array>
#include <cstdint>
#include <span>

namespace orq::compressor {

class IirCascade {
  public:
    static constexpr int32_t kMaxSections = EllipticDesigner::kMaxSections;

    // [ui-thread] no allocation. Takes new coefficients (at most kMaxSections sections) and
    // keeps the section states, so a design can change while audio runs. A section whose four
    // coefficients are all zero is trivial and passes its input unchanged.
    void setCoefficients(double inputGain, std::span<const BiquadCoefficients> sections);
    // [ui-thread] no allocation. Copies gain and sections from a design.
    void setDesign(const EllipticDesigner& designer);
    // [audio-thread] no allocation. in and out may be the same array.
    void process(const float* in, float* out, int32_t frames);
    // [audio-thread] no allocation. Runs two cascades over two signals in one loop (the two
    // independent recursions overlap in the processor); falls back to one after the other when
    // their coefficients differ.
    static void processPair(IirCascade& first, const float* in1, float* out1, IirCascade& second,
                            const float* in2, float* out2, int32_t frames);
    // [audio-thread] clears every section state.
    void reset();

    double inputGain() const { return inputGain_; }
    int32_t sectionCount() const { return sectionCount_; }

  private:
    bool sameCoefficients(const IirCascade& other) const;

    // Transposed direct form II per section, with v the section input and y its output:
    //   y[n]  = v[n] + s1[n-1]
    //   s1[n] = b1 v[n] - a1 y[n] + s2[n-1]
    //   s2[n] = b2 v[n] - a2 y[n]
    struct SectionState {
        double s1 = 0.0;
        double s2 = 0.0;
    };

    double inputGain_ = 1.0;
    int32_t sectionCount_ = 0; // non-trivial sections, packed to the front
    std::array<BiquadCoefficients, kMaxSections> sections_{};
    std::array<SectionState, kMaxSections> states_{};
};

} // namespace orq::compressor
