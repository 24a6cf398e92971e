#include "dsp/cpu_features.h"

namespace orq::dsp {

bool hasAvx2Fma() {
#if defined(__x86_64__) || defined(__i386__)
    static const bool supported = __builtin_cpu_supports("avx2") && __builtin_cpu_supports("fma");
    return supported;
#else
    return false;
#endif
}

} // namespace orq::dsp
