// The own in-place split-radix real FFT pair with the half-complex spectrum layout, and two
// buffer routines used around it.
//
// Half-complex layout of a spectrum of N points (N floats): float 0 = Re X[0], float k = Re X[k]
// for k = 1..N/2, float N-k = Im X[k] for k = 1..N/2-1. Forward X[k] = sum x[n] e^(-2 pi i kn/N),
// the same sign as the library FFTs, so spectra of both may be multiplied together.
//
// Transforms of up to 2^20 points use a twiddle table per length, built once per process on first
// use (longer ones make their twiddles on the stack as they go). Call prepareRealFft at open so
// that the audio thread never builds a table.
//
// All functions: [any-thread]. Only prepareRealFft (or the first transform of a length) allocates
// and may wait for another thread building the same table; transforms of a prepared length
// allocate nothing and take no lock.
#pragma once

namespace orq::dsp {

// [any-thread, allocates] Builds the twiddle table for transforms of n points (a power of two of
// at least 2; other lengths are ignored). Safe to call from several threads and more than once.
void prepareRealFft(int n);

// In place: a real sequence of n floats becomes its spectrum (half-complex, unscaled).
// n must be a power of two of at least 2; other lengths (or a null buffer) change nothing.
void realFftForward(float* buffer, int n);

// In place: a half-complex spectrum becomes n times the real sequence.
// n must be a power of two of at least 2; other lengths (or a null buffer) change nothing.
void realFftInverse(float* buffer, int n);

// k with 2^k = n; 0 when n < 2 or n is not a power of two.
int log2OfPowerOfTwo(int n);

// Exchanges the first n/2 floats with the next n/2 (moves the centre of an impulse response to
// the start and back).
void halfSwap(float* buffer, int n);

} // namespace orq::dsp
