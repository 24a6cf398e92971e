// Cascades of second-order sections running four lanes at once in float: coefficients and state.
#pragma once

#include "enhancer/butterworth.h"
#include "enhancer/lane4.h"

#include <array>
#include <cstdint>

namespace orq::enhancer {

struct BiquadLanes {
    Lane4 b0 = splat(1.0f), b1 = splat(0.0f), b2 = splat(0.0f);
    Lane4 a1 = splat(0.0f), a2 = splat(0.0f);
};

// Direct form I, per lane and section:
//   y[n] = b0 x[n] + b1 x[n-1] + b2 x[n-2] + a1 y[n-1] + a2 y[n-2]
struct BiquadState {
    Lane4 x1 = splat(0.0f), x2 = splat(0.0f);
    Lane4 y1 = splat(0.0f), y2 = splat(0.0f);
};

// A fixed cascade of sections running four lanes at once; each lane may carry its own designs.
template <int32_t kSections> class BiquadCascade4 {
  public:
    // [ui-thread] no allocation. Puts the design's sections into one lane, starting at section
    // firstSection; sections beyond the cascade are ignored.
    void setLane(int32_t lane, int32_t firstSection, const ButterworthDesign& design) {
        if (lane < 0 || lane >= kLaneCount) return;
        for (int32_t s = 0; s < design.sectionCount; ++s) {
            const int32_t target = firstSection + s;
            if (target < 0 || target >= kSections) continue;
            const BiquadDesign& d = design.sections[size_t(s)];
            BiquadLanes& c = coefficients_[size_t(target)];
            c.b0[lane] = float(d.b0);
            c.b1[lane] = float(d.b1);
            c.b2[lane] = float(d.b2);
            c.a1[lane] = float(d.a1);
            c.a2[lane] = float(d.a2);
        }
    }

    // [audio-thread] no allocation.
    Lane4 process(Lane4 x) {
        for (int32_t s = 0; s < kSections; ++s) {
            const BiquadLanes& c = coefficients_[size_t(s)];
            BiquadState& st = state_[size_t(s)];
            // The recursive term last keeps the sample-to-sample dependency short.
            const Lane4 y = c.b0 * x + c.b1 * st.x1 + c.b2 * st.x2 + c.a2 * st.y2 + c.a1 * st.y1;
            st.x2 = st.x1;
            st.x1 = x;
            st.y2 = st.y1;
            st.y1 = y;
            x = y;
        }
        return x;
    }

    // [any-thread] no allocation.
    void reset() { state_ = {}; }

    // False when a state value is infinite or not a number (the filter would never recover).
    bool isFinite() const {
        Lane4 sum = splat(0.0f);
        for (const BiquadState& st : state_)
            sum += st.x1 + st.x2 + st.y1 + st.y2;
        for (int32_t l = 0; l < kLaneCount; ++l)
            if (!(sum[l] - sum[l] == 0.0f)) return false;
        return true;
    }

  private:
    std::array<BiquadLanes, kSections> coefficients_{};
    std::array<BiquadState, kSections> state_{};
};

} // namespace orq::enhancer
