// Bit-reversal tables and permutation of the library.
#include "dsp/nsp.h"
#include "dsp/nsp_error.h"
#include "dsp/nsp_tables.h"

#include <cstddef>
#include <utility>

namespace tables = orq::dsp::nsp_tables;

extern "C" {

int* nspCalcBitRevTbl(int* tbl, int order) {
    if (!tbl) {
        nsp::report(NSP_StsBadArg, "nspCalcBitRevTbl", "tbl==0");
        return tbl;
    }
    if (order < 0 || order > kNspMaxOrder) {
        nsp::report(NSP_StsBadArg, "nspCalcBitRevTbl", order < 0 ? "order<0" : "order>31");
        return tbl;
    }
    const size_t size = size_t{1} << order;
    for (size_t i = 0; i < size; ++i) {
        size_t reversed = 0;
        size_t value = i;
        for (int b = 0; b < order; ++b) {
            reversed = (reversed << 1) | (value & 1u);
            value >>= 1;
        }
        tbl[i] = static_cast<int>(reversed);
    }
    return tbl;
}

const int* nspGetBitRevTbl(int order) {
    if (order < 0 || order > kNspMaxOrder) {
        nsp::report(NSP_StsBadArg, "nspGetBitRevTbl", order < 0 ? "order<0" : "order>31");
        return nullptr;
    }
    const int* table = tables::bitReversalTable(order);
    if (!table) nsp::report(NSP_StsNoMem, "nspGetBitRevTbl", "Allocation failure");
    return table;
}

void nspsbBitRev1(float* vec, int order) {
    if (!vec) {
        nsp::report(NSP_StsBadArg, "nspsbBitRev1", "vec==0");
        return;
    }
    if (order < 0 || order > kNspMaxOrder) {
        nsp::report(NSP_StsBadArg, "nspsbBitRev1", order < 0 ? "order<0" : "order>31");
        return;
    }
    const int* table = tables::bitReversalTable(order);
    if (!table) {
        nsp::report(NSP_StsBadArg, "nspsbBitRev1", "tbl==0");
        return;
    }
    const size_t size = size_t{1} << order;
    for (size_t i = 0; i < size; ++i) {
        const size_t j = static_cast<size_t>(table[i]);
        if (i < j) std::swap(vec[i], vec[j]);
    }
}

} // extern "C"
