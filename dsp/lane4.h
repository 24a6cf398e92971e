// Four float lanes processed together, in the compiler's vector extension: the enhancer runs its
// recursive filters and band compressors on four independent streams at once (two bands x two
// channels), the compressor's gain stages take four frames of a channel at a time.
#pragma once

#include <cstring>

namespace orq::dsp {

using Lane4 = float __attribute__((vector_size(16)));
using Mask4 = int __attribute__((vector_size(16)));

constexpr int kLaneCount = 4;

inline Lane4 splat(float value) {
    return Lane4{value, value, value, value};
}

// Unaligned load and store of four consecutive floats.
inline Lane4 loadLane4(const float* source) {
    Lane4 v;
    std::memcpy(&v, source, sizeof(v));
    return v;
}
inline void storeLane4(float* destination, Lane4 v) {
    std::memcpy(destination, &v, sizeof(v));
}

// Lane-wise choice: where mask is set take a, elsewhere b.
inline Lane4 select(Mask4 mask, Lane4 a, Lane4 b) {
    return mask ? a : b;
}

// The four lanes in reverse order.
inline Lane4 reversedLanes(Lane4 v) {
    return __builtin_shuffle(v, Mask4{3, 2, 1, 0});
}

inline bool anyLane(Mask4 mask) {
    return (mask[0] | mask[1] | mask[2] | mask[3]) != 0;
}

} // namespace orq::dsp
