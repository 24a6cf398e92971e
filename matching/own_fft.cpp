#include "matching/own_fft.h"

#include "dsp/real_fft.h"

namespace orq::matching {

// The twiddle table is built here, on the thread that builds the engine, not on the audio thread.
OwnRealFft::OwnRealFft(int32_t n) : n_(n) {
    dsp::prepareRealFft(n);
}

void OwnRealFft::forward(float* buffer) {
    dsp::realFftForward(buffer, n_);
}

void OwnRealFft::inverse(float* buffer) {
    dsp::realFftInverse(buffer, n_);
}

} // namespace orq::matching
