// Precomputed tables and kernels of the library's real FFT: a real sequence of N = 2^order
// floats is transformed as a complex sequence of N/2 points (even samples as real parts, odd
// samples as imaginary parts) followed by a split into the N/2+1 bins of the real spectrum.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

namespace orq::dsp {

// In-place complex FFT of M = 2^log2Size points on interleaved (re, im) floats. Radix-4
// decimation in frequency (one radix-2 stage first when log2Size is odd), then a bit-reversal
// permutation. Forward uses e^(-2 pi i kn/M), inverse e^(+2 pi i kn/M); neither is scaled.
// The kernels work on 4-float vectors, or on 8-float vectors on processors with AVX2 and FMA
// (chosen when the plan is made).
class ComplexFftPlan {
  public:
    // [any-thread; allocates] Null when the tables cannot be allocated.
    static std::unique_ptr<ComplexFftPlan> create(int log2Size);
    // As create, with the vector width forced (for tests; wide only where supported).
    static std::unique_ptr<ComplexFftPlan> create(int log2Size, bool wide);
    // Whether this processor runs the 8-float kernels.
    static bool wideKernelsSupported();
    // Bytes the tables of a plan of this size take.
    static size_t tableBytes(int log2Size);

    // [any-thread, no allocation] data holds 2·M floats.
    void forward(float* data) const;
    void inverse(float* data) const;

    int log2Size() const { return log2Size_; }
    bool wide() const { return wide_; }

  private:
    ComplexFftPlan(int log2Size, bool wide) : log2Size_(log2Size), wide_(wide) {}
    void bitReverse(float* data) const;

    int log2Size_;
    bool wide_;
    std::unique_ptr<float[]> twiddles_; // per stage, in the order the stages run
    // The bit reversal's exchanges: points (i, bitrev(i)) for i < bitrev(i) below 16 points,
    // else tiles of 4 x 4 points (b, bitrev(b)) over the middle bits for b <= bitrev(b).
    std::unique_ptr<uint32_t[]> swapPairs_;
    size_t swapPairCount_ = 0;
};

// Real FFT of N = 2^order points with the CCS spectrum layout (N+2 floats).
class RealFftPlan {
  public:
    // [any-thread; allocates] order >= 1. Null when the tables cannot be allocated.
    static std::unique_ptr<RealFftPlan> create(int order);
    static std::unique_ptr<RealFftPlan> create(int order, bool wide);
    static size_t tableBytes(int order);

    // [any-thread, no allocation] data[0..N) real in, data[0..N+2) CCS spectrum out.
    void forward(float* data) const;
    // [any-thread, no allocation] data[0..N+2) CCS spectrum in, data[0..N) = scale · N · x out
    // (scale 1/N gives the plain inverse). Floats N and N+1 are left as they were.
    void inverse(float* data, float scale) const;

    int order() const { return order_; }

  private:
    RealFftPlan(int order, std::unique_ptr<ComplexFftPlan> half)
        : order_(order), half_(std::move(half)) {}

    int order_;
    std::unique_ptr<ComplexFftPlan> half_;
    std::unique_ptr<float[]> splitTwiddles_; // (cos, -sin) of 2 pi k / N for k <= N/4
};

} // namespace orq::dsp
