// The library's single-rate FIR filter.
#include "dsp/nsp.h"
#include "dsp/nsp_error.h"

#include <algorithm>
#include <cstring>
#include <new>

namespace {

bool isInitialised(const NSPFirState* state) {
    return state->init == state;
}

// Checks the state pointer and marker; reports and returns false when either is bad.
bool checkState(const NSPFirState* state, const char* funcName) {
    if (!state) {
        nsp::report(NSP_StsBadArg, funcName, "Null state pointer");
        return false;
    }
    if (!isInitialised(state)) {
        nsp::report(NSP_StsBadArg, funcName, "Must have been initialized");
        return false;
    }
    return true;
}

void releaseBuffers(NSPFirState* state) {
    delete[] state->taps;
    delete[] state->dlyl;
    delete[] state->scratch;
    state->taps = nullptr;
    state->dlyl = nullptr;
    state->scratch = nullptr;
}

void copyReversedTaps(const float* tapVals, NSPFirState* state) {
    const int taps = state->tapsLen;
    if (!tapVals) {
        std::fill(state->taps, state->taps + taps, 0.0f);
        return;
    }
    for (int j = 0; j < taps; ++j)
        state->taps[j] = tapVals[taps - 1 - j];
}

void copyDelayLine(const float* dlyVals, NSPFirState* state) {
    if (!dlyVals) {
        std::fill(state->dlyl, state->dlyl + state->tapsLen, 0.0f);
        return;
    }
    std::memcpy(state->dlyl, dlyVals, sizeof(float) * static_cast<size_t>(state->tapsLen));
}

} // namespace

extern "C" {

void nspsFirInit(const float* tapVals, int tapsLen, const float* dlyVals, NSPFirState* statePtr) {
    constexpr const char* kFunc = "nspsFirInit";
    if (!statePtr) {
        nsp::report(NSP_StsBadArg, kFunc, "Null state pointer");
        return;
    }
    if (!tapVals) {
        nsp::report(NSP_StsBadArg, kFunc, "Null buffer pointer");
        return;
    }
    if (tapsLen < 1) {
        nsp::report(NSP_StsBadArg, kFunc, "Invalid value");
        return;
    }
    if (isInitialised(statePtr)) releaseBuffers(statePtr);
    statePtr->init = nullptr;

    const size_t count = static_cast<size_t>(tapsLen);
    statePtr->taps = new (std::nothrow) float[count];
    statePtr->dlyl = new (std::nothrow) float[count];
    statePtr->scratch = new (std::nothrow) float[count];
    if (!statePtr->taps || !statePtr->dlyl || !statePtr->scratch) {
        releaseBuffers(statePtr);
        nsp::report(NSP_StsNoMem, kFunc, "Allocation failure");
        return;
    }
    statePtr->tapsLen = tapsLen;
    statePtr->upFactor = 1;
    statePtr->downFactor = 1;
    copyReversedTaps(tapVals, statePtr);
    copyDelayLine(dlyVals, statePtr);
    statePtr->init = statePtr;
}

void nspsFirSetTaps(const float* tapVals, NSPFirState* statePtr) {
    if (!checkState(statePtr, "nspsFirSetTaps")) return;
    copyReversedTaps(tapVals, statePtr);
}

void nspsFirSetDlyl(const float* dlyVals, NSPFirState* statePtr) {
    if (!checkState(statePtr, "nspsFirSetDlyl")) return;
    copyDelayLine(dlyVals, statePtr);
}

// With the reversed taps r[j] = h[L-1-j] and the history extended by the block,
// e = dlyl[0..L) followed by in[0..n), out[i] = sum_j r[j]·e[i+1+j].
// Outputs are produced from the last to the first, so in place only inputs that are no longer
// needed are overwritten; the inputs that become the new delay line are put aside first.
void nspsbFir(NSPFirState* statePtr, const float* inSamps, float* outSamps, int numIters) {
    constexpr const char* kFunc = "nspsbFir";
    if (!checkState(statePtr, kFunc)) return;
    if (!inSamps || !outSamps) {
        nsp::report(NSP_StsBadArg, kFunc, "Null buffer pointer");
        return;
    }
    if (numIters < 1) {
        nsp::report(NSP_StsBadArg, kFunc, "Invalid value");
        return;
    }

    const int taps = statePtr->tapsLen;
    const float* r = statePtr->taps;
    float* dlyl = statePtr->dlyl;
    const int n = numIters;

    // The last min(n, L) inputs, the newest part of the next delay line.
    const int kept = std::min(n, taps);
    std::memcpy(statePtr->scratch, inSamps + (n - kept), sizeof(float) * static_cast<size_t>(kept));

    for (int i = n - 1; i >= 0; --i) {
        // Taps j with i + 1 + j < L read the delay line, the rest read the block.
        const int fromDelay = std::clamp(taps - 1 - i, 0, taps);
        double sum = 0.0;
        for (int j = 0; j < fromDelay; ++j) {
            sum += static_cast<double>(r[j]) * static_cast<double>(dlyl[i + 1 + j]);
        }
        const int blockOffset = i + 1 - taps; // in[blockOffset + j] for j >= fromDelay
        for (int j = fromDelay; j < taps; ++j) {
            sum += static_cast<double>(r[j]) * static_cast<double>(inSamps[blockOffset + j]);
        }
        outSamps[i] = static_cast<float>(sum);
    }

    if (kept < taps)
        std::memmove(dlyl, dlyl + kept, sizeof(float) * static_cast<size_t>(taps - kept));
    std::memcpy(dlyl + (taps - kept), statePtr->scratch, sizeof(float) * static_cast<size_t>(kept));
}

void nspFirnspFree(NSPFirState* statePtr) {
    if (!checkState(statePtr, "nspFirnspFree")) return;
    releaseBuffers(statePtr);
    statePtr->init = nullptr;
}

} // extern "C"
