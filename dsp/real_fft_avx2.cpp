// The own real FFT on 8-float vectors, compiled with AVX2 and FMA; called only on processors
// that have them.
#include "dsp/real_fft_kernels.h"

namespace orq::dsp::real_fft_kernels {

void forwardWide(float* data, long n, const float* twiddles) {
    forward<Vec8>(data, n, twiddles);
}
void inverseWide(float* data, long n, const float* twiddles) {
    inverse<Vec8>(data, n, twiddles);
}

} // namespace orq::dsp::real_fft_kernels
