// The wide FFT kernels, compiled with AVX2 and FMA; called only on processors that have them.
#include "dsp/fft_kernels.h"

namespace orq::dsp::fft_kernels {

void butterflyStagesWideForward(float* data, const float* twiddles, int log2Size) {
    butterflyStages<8, false>(data, twiddles, log2Size);
}
void butterflyStagesWideInverse(float* data, const float* twiddles, int log2Size) {
    butterflyStages<8, true>(data, twiddles, log2Size);
}
void splitForwardWide(float* data, const float* splitTwiddles, size_t n) {
    splitForward<8>(data, splitTwiddles, n);
}
void splitInverseWide(float* data, const float* splitTwiddles, size_t n, float scale) {
    splitInverse<8>(data, splitTwiddles, n, scale);
}

} // namespace orq::dsp::fft_kernels
