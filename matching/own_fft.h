// The own split-radix real FFT pair of one size, as filter design uses it: half-complex
// spectrum layout, float 0 = Re X[0], float k = Re X[k] (k = 1..N/2), float N−k = Im X[k]
// (k = 1..N/2−1).
#pragma once

#include <cstdint>

namespace orq::matching {

class OwnRealFft {
  public:
    // n: a power of two of at least 2.
    explicit OwnRealFft(int32_t n);

    int32_t size() const { return n_; }
    // [any-thread] no allocation. Real sequence → half-complex spectrum, in place, unscaled.
    void forward(float* buffer);
    // [any-thread] no allocation. Half-complex spectrum → N times the real sequence, in place.
    void inverse(float* buffer);

  private:
    int32_t n_;
};

} // namespace orq::matching
