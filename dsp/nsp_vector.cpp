// Vector routines and bit reversal of the library.
//
// The routines are specified to compute in double and store floats. For one multiplication,
// addition or subtraction of two floats, rounding the double result to float gives the same
// value as the float operation itself (double has more than twice float's precision), so the
// loops work in float and vectorise.
#include "dsp/nsp.h"
#include "dsp/nsp_error.h"

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
    for (int i = 0; i < n; ++i)
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
    for (int i = 0; i < n; ++i)
        dst[i] += src[i];
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
    for (int i = 0; i < n; ++i)
        dst[i] -= val[i];
}

} // extern "C"
