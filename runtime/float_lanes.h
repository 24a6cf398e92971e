// Four float lanes in the compiler's vector extension, for the runtime's per-sample passes over
// a block (the runtime sits below dsp/ and its lane helpers).
#pragma once

#include <cstdint>
#include <cstring>

namespace orq {

using FloatLanes = float __attribute__((vector_size(16)));
using LaneMask = int32_t __attribute__((vector_size(16))); // all bits set where a comparison holds
constexpr int32_t kFloatLaneCount = 4;

// Unaligned load of four consecutive floats.
inline FloatLanes loadFloatLanes(const float* source) {
    FloatLanes v;
    std::memcpy(&v, source, sizeof v);
    return v;
}

} // namespace orq
