// What the processor running us can do, for choosing kernels at run time.
#pragma once

namespace orq::dsp {

// True when the processor has AVX2 and FMA, the instructions of the wide FFT kernels. Asked once;
// false on processors other than x86.
bool hasAvx2Fma();

} // namespace orq::dsp
