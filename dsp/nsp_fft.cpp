// The library's two-signal real FFTs with the CCS layout.
#include "dsp/nsp.h"
#include "dsp/nsp_error.h"
#include "dsp/nsp_tables.h"

#include <cstddef>

namespace {

using orq::dsp::RealFftPlan;
namespace tables = orq::dsp::nsp_tables;

enum class Input { Real, Ccs };

// Imaginary parts of a CCS spectrum of N points negated (complex conjugate).
void conjugateCcs(float* data, size_t n) {
    for (size_t k = 1; k < n + 2; k += 2)
        data[k] = -data[k];
}

// The steps every two-signal call takes, in order: free, order, tables, initialise, buffers,
// direction, order 0, transform, scaling.
void twoSignalFft(const char* funcName, Input input, float* xSamps, float* ySamps, int order,
                  int flags) {
    if (flags & NSP_Free) {
        tables::release(order);
        return;
    }
    if (order < 0) nsp::report(NSP_StsBadArg, funcName, "order<0");
    if (order > kNspMaxOrder) nsp::report(NSP_StsBadArg, funcName, "order>31");
    if (nspGetErrStatus() < 0) return;

    const tables::Lease lease = tables::acquire(order);
    if (!lease.valid()) {
        nsp::report(NSP_StsNoMem, funcName, "No working Twd memory");
        return;
    }
    if (flags & NSP_Init) return;

    if (!xSamps) nsp::report(NSP_StsBadArg, funcName, "xSamps==0");
    if (!ySamps) nsp::report(NSP_StsBadArg, funcName, "ySamps==0");
    if (nspGetErrStatus() < 0) return;

    const bool forward = (flags & NSP_Forw) != 0;
    const bool inverse = (flags & NSP_Inv) != 0;
    if (forward && inverse) {
        nsp::report(NSP_StsBadArg, funcName, "NSP_Forw and NSP_Inv");
        return;
    }
    if (!forward && !inverse) {
        nsp::report(NSP_StsBadArg, funcName, "no NSP_Forw or NSP_Inv");
        return;
    }
    if (order == 0) return;

    const RealFftPlan& plan = *lease.plan();
    const size_t n = size_t{1} << order;
    const bool scale = inverse && !(flags & NSP_NoScale);
    const float inverseScale = 1.0f / static_cast<float>(n);
    for (float* data : {xSamps, ySamps}) {
        if (input == Input::Real) {
            // Real sequence to CCS spectrum; the inverse direction takes e^(+i..), which for a
            // real sequence is the conjugate of the forward spectrum.
            plan.forward(data);
            if (inverse) conjugateCcs(data, n);
            if (scale) nspsbMpy1(inverseScale, data, static_cast<int>(n + 2));
        } else {
            // CCS spectrum to real sequence; the forward direction is the inverse of the
            // conjugate spectrum.
            if (forward) conjugateCcs(data, n);
            plan.inverse(data, scale ? inverseScale : 1.0f);
        }
    }
}

} // namespace

extern "C" {

void nspsReal2Fft(float* xSamps, float* ySamps, int order, int flags) {
    twoSignalFft("nspsReal2Fft", Input::Real, xSamps, ySamps, order, flags);
}

void nspsCcs2Fft(float* xSamps, float* ySamps, int order, int flags) {
    twoSignalFft("nspsCcs2Fft", Input::Ccs, xSamps, ySamps, order, flags);
}

} // extern "C"
