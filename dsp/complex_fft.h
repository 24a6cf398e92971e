// Split-radix complex FFT on separate real and imaginary arrays.
#pragma once

#include <cstdint>
#include <vector>

namespace orq {

// Forward transform X[k] = sum_n x[n]·e^(−2πi·kn/N), unscaled, in place. The inverse is the
// forward transform with the real and imaginary arrays exchanged (also unscaled: N times
// the sequence).
class SplitRadixFft {
  public:
    // [ui-thread] allocates the twiddle and bit-reversal tables. length must be a power of
    // two of at least 2; anything else throws std::invalid_argument.
    explicit SplitRadixFft(int32_t length);

    int32_t length() const { return length_; }

    // [any-thread] no allocation. Natural order output.
    void forward(float* re, float* im) const;
    // [any-thread] no allocation. Unscaled inverse, natural order.
    void inverse(float* re, float* im) const { forward(im, re); }
    // [any-thread] no allocation. Output in bit-reversed order: bin k is found at position
    // bitReversed(k). Saves the permutation when bins are read by index anyway.
    void forwardBitReversed(float* re, float* im) const;
    int32_t bitReversed(int32_t k) const { return bitReversal_[k]; }
    // [any-thread] no allocation. Unscaled inverse of a spectrum given in bit-reversed order
    // (as forwardBitReversed leaves it); natural order output. Pointwise products of
    // bit-reversed spectra (fast convolution) need no permutation at all.
    void inverseFromBitReversed(float* re, float* im) const;

  private:
    // Twiddles of one L-shaped butterfly pass over a sub-transform of size n, k = 0..n/4−1.
    struct PassTwiddles {
        const float* cos1;
        const float* sin1;
        const float* cos3;
        const float* sin3;
    };
    void transform(float* re, float* im, int32_t n, int32_t level) const;
    void inverseTransform(float* re, float* im, int32_t n, int32_t level) const;

    int32_t length_;
    std::vector<float> twiddleStorage_;
    std::vector<PassTwiddles> passes_; // index: log2 of the sub-transform size
    std::vector<int32_t> bitReversal_;
};

} // namespace orq
