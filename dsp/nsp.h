// Signal-processing library subset: real FFTs with the CCS spectrum layout, a single-rate FIR
// filter, vector routines, bit reversal and the library's error-reporting scheme.
//
// Spectrum layout CCS: a real sequence of N = 2^order floats has N/2+1 complex bins stored as
// N+2 floats, float 2k = Re X[k], float 2k+1 = Im X[k]; Im X[0] and Im X[N/2] are 0. The same
// buffer holds the time signal in its first N floats.
// Forward X[k] = sum x[n] e^(-2 pi i kn/N), unscaled; the inverse scales by 1/N unless asked not
// to.
//
// Threads: every function may be called from any thread. Transforms and filters allocate only
// when an order's tables are built for the first time (or with the initialise flag) and in
// nspsFirInit; everything else is allocation-free.
#pragma once

extern "C" {

// Status values. 0 is no error; negative values are errors.
using NSPStatus = int;
constexpr NSPStatus NSP_StsOk = 0;
constexpr NSPStatus NSP_StsBackTrace = -1;
constexpr NSPStatus NSP_StsError = -2;
constexpr NSPStatus NSP_StsInternal = -3;
constexpr NSPStatus NSP_StsNoMem = -4;
constexpr NSPStatus NSP_StsBadArg = -5;
constexpr NSPStatus NSP_StsBadFunc = -6;
constexpr NSPStatus NSP_StsNoConv = -7;
constexpr NSPStatus NSP_StsAutoTrace = -8;

// Error modes.
constexpr int NSP_ErrorModeLeaf = 0;
constexpr int NSP_ErrorModeParent = 1;
constexpr int NSP_ErrorModeSilent = 2;

// FFT flags.
constexpr int NSP_Forw = 1;
constexpr int NSP_Inv = 2;
constexpr int NSP_Init = 4;
constexpr int NSP_Free = 8;
constexpr int NSP_NoScale = 16;
constexpr int NSP_NoBitRev = 32;
constexpr int NSP_InBitRev = 64;
constexpr int NSP_OutBitRev = 128;
constexpr int NSP_OutRCPack = 0x100;
constexpr int NSP_OutRCPerm = 0x200;
constexpr int NSP_InRCPack = 0x400;
constexpr int NSP_InRCPerm = 0x1000;

// Largest order the library accepts (N = 2^31).
constexpr int kNspMaxOrder = 31;

// Error scheme [any-thread, no allocation]. The last status and the mode are process-wide.
using NSPErrorCallBack = NSPStatus (*)(NSPStatus status, const char* funcName, const char* context,
                                       const char* file, int line);
NSPStatus nspGetErrStatus();
void nspSetErrStatus(NSPStatus status);
int nspGetErrMode();
void nspSetErrMode(int mode);
// Reports a failure: sets the process-wide status (except for -1 and -8) and calls the current
// handler. A status of 0 does nothing. Returns the status.
NSPStatus nspError(NSPStatus status, const char* funcName, const char* context, const char* file,
                   int line);
// Text of a status ("No Error", "Bad argument", ...). Unknown values are formatted into a
// process-wide buffer.
const char* nspErrorStr(NSPStatus status);
// Installs a handler (null restores the standard report); returns the previous one.
NSPErrorCallBack nspRedirectError(NSPErrorCallBack handler);
// The standard report: a message box whose answer may terminate the process.
NSPStatus nspStdErrReport(NSPStatus status, const char* funcName, const char* context,
                          const char* file, int line);
// A handler that reports nothing.
NSPStatus nspNulDevReport(NSPStatus status, const char* funcName, const char* context,
                          const char* file, int line);

// Vector routines [any-thread, no allocation]. Arithmetic in double, results stored as float.
void nspsbMpy1(float value, float* buffer, int n);   // buffer[i] *= value
void nspsbAdd2(const float* src, float* dst, int n); // dst[i] += src[i]
void nspsbSub2(const float* val, float* dst, int n); // dst[i] -= val[i]

// Bit reversal. The table of an order has 2^order entries; entry i holds i with its order bits
// reversed. nspCalcBitRevTbl fills a caller's table and returns it; nspGetBitRevTbl returns the
// cached table of an order (built on first use, null on failure); nspsbBitRev1 permutes a vector
// of 2^order floats in place.
int* nspCalcBitRevTbl(int* tbl, int order);
const int* nspGetBitRevTbl(int order);
void nspsbBitRev1(float* vec, int order);

// Two real signals at once [any-thread; allocates only when the order's tables are built].
// nspsReal2Fft with NSP_Forw: xSamps[0..N) and ySamps[0..N) become their CCS spectra.
// nspsCcs2Fft with NSP_Inv: the CCS spectra in xSamps and ySamps become the real sequences in
// their first N floats, times 1/N unless NSP_NoScale is given.
// NSP_Init builds the order's tables and returns; NSP_Free frees them and returns.
void nspsReal2Fft(float* xSamps, float* ySamps, int order, int flags);
void nspsCcs2Fft(float* xSamps, float* ySamps, int order, int flags);

// Single-rate FIR filter state, owned by the caller and filled by nspsFirInit. The filter is
//   out[i] = sum_{k=0}^{L-1} h[k] x[i-k],
// summed in double from 0.0 and stored as float; x[i-k] for i-k < 0 comes from the delay line,
// which after each call holds the last L inputs (oldest first). The taps and the delay line
// live in the state together, as the library's interface has them.
struct NSPFirState {
    int tapsLen;      // L
    float* taps;      // taps in reverse order: taps[j] = h[L-1-j]
    float* dlyl;      // the L most recent inputs, oldest first
    float* scratch;   // L floats: inputs kept aside when filtering in place
    int upFactor;     // always 1 (single rate)
    int downFactor;   // always 1 (single rate)
    const void* init; // equals the state's own address once initialised
};
// [ui-thread or open; allocates] Taps copied; the delay line set from L values (oldest first) or
// zeroed when dlyVals is null. Re-initialising an initialised state releases its old buffers.
void nspsFirInit(const float* tapVals, int tapsLen, const float* dlyVals, NSPFirState* statePtr);
// [any-thread, no allocation] Replaces the taps; null zeroes them.
void nspsFirSetTaps(const float* tapVals, NSPFirState* statePtr);
// [any-thread, no allocation] Replaces the delay line; null zeroes it (flushes the filter).
void nspsFirSetDlyl(const float* dlyVals, NSPFirState* statePtr);
// [audio-thread, no allocation] out[i] = sum_k h[k] x[i-k], summed in double. inSamps and
// outSamps may be the same buffer.
void nspsbFir(NSPFirState* statePtr, const float* inSamps, float* outSamps, int numIters);
// [ui-thread or close] Releases the state's buffers and clears its marker.
void nspFirnspFree(NSPFirState* statePtr);

} // extern "C"
