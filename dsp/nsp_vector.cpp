// Vector routines and bit reversal of the library.
//
// The routines are specified to compute in double and store floats. For one multiplication,
// addition or subtraction of two floats, rounding the double result to float gives the same
// value as the float operation itself (double has more than twice float's precision), so the
// loops work in float, four lanes at a time.
#include "dsp/lane4.h"
#include "dsp/nsp.h"
#include "dsp/nsp_error.h"

#include <cstdint>

namespace {

using orq::dsp::kLaneCount;
using orq::dsp::Lane4;
using orq::dsp::loadLane4;
using orq::dsp::storeLane4;

// dst[i] = op(dst[i], src[i]) for i in [0, n). Four at a time when the two ranges are the same
// or apart; ranges that overlap otherwise go one by one, in order, as a plain loop would.
template <class Op>
void combine(const float* src, float* dst, int n, Op op) {
    const auto from = reinterpret_cast<uintptr_t>(src);
    const auto to = reinterpret_cast<uintptr_t>(dst);
    const uintptr_t bytes = uintptr_t(n) * sizeof(float);
    int i = 0;
    if (from == to || from + bytes <= to || to + bytes <= from)
        for (; i + kLaneCount <= n; i += kLaneCount)
            storeLane4(dst + i, op(loadLane4(dst + i), loadLane4(src + i)));
    for (; i < n; ++i)
        dst[i] = op(dst[i], src[i]);
}

} // namespace

extern "C" {

void nspsbMpy1(float value, float* buffer, int n) {
    if (n <= 0) {
        nsp::report(NSP_StsBadArg, "nspsbMpy1", "n<=0");
        return;
    }
    if (!buffer) {
        nsp::report(NSP_StsBadArg, "nspsbMpy1", "dst==0");
        return;
    }
    int i = 0;
    for (; i + kLaneCount <= n; i += kLaneCount)
        storeLane4(buffer + i, loadLane4(buffer + i) * value);
    for (; i < n; ++i)
        buffer[i] *= value;
}

void nspsbAdd2(const float* src, float* dst, int n) {
    if (n <= 0) {
        nsp::report(NSP_StsBadArg, "nspsbAdd2", "n<=0");
        return;
    }
    if (!src) {
        nsp::report(NSP_StsBadArg, "nspsbAdd2", "src==0");
        return;
    }
    if (!dst) {
        nsp::report(NSP_StsBadArg, "nspsbAdd2", "dst==0");
        return;
    }
    combine(src, dst, n, [](auto a, auto b) { return a + b; });
}

void nspsbSub2(const float* val, float* dst, int n) {
    if (n <= 0) {
        nsp::report(NSP_StsBadArg, "nspsbSub2", "n<=0");
        return;
    }
    if (!val) {
        nsp::report(NSP_StsBadArg, "nspsbSub2", "val==0");
        return;
    }
    if (!dst) {
        nsp::report(NSP_StsBadArg, "nspsbSub2", "dst==0");
        return;
    }
    combine(val, dst, n, [](auto a, auto b) { return a - b; });
}

} // extern "C"
