// The own split-radix real FFT: argument checks, the per-length twiddle tables and the choice
// between the 4-float and the 8-float kernels (see real_fft_kernels.h for the algorithm).
#include "dsp/real_fft.h"

#include "dsp/cpu_features.h"
#include "dsp/real_fft_kernels.h"

#include <atomic>
#include <memory>
#include <mutex>
#include <new>
#include <utility>

namespace orq::dsp {
namespace real_fft_kernels {

void forwardNarrow(float* data, long n, const float* twiddles) {
    forward<Vec4>(data, n, twiddles);
}
void inverseNarrow(float* data, long n, const float* twiddles) {
    inverse<Vec4>(data, n, twiddles);
}

void fillTwiddleTable(float* table, long n) {
    for (long n2 = kFirstTwiddledStage; n2 <= n; n2 <<= 1) {
        const long n8 = n2 >> 3;
        float* t = table + twiddleOffset(n2);
        StageTwiddles(n2).next(n8, t, t + n8, t + 2 * n8, t + 3 * n8);
    }
}

} // namespace real_fft_kernels

namespace {

constexpr int kMinLength = 2;
// Longest transform with a cached twiddle table (2^20 points: a table of 4 MiB); longer ones
// make their twiddles on the stack as they go.
constexpr int kMaxTableOrder = 20;

bool isPowerOfTwo(int n) {
    return n >= kMinLength && (n & (n - 1)) == 0;
}

// Process-wide twiddle tables, one per order, built once (std::call_once) and kept until the
// library that holds them is unloaded (or the process ends): a host that unloads a plug-in and
// loads it again must not lose them. A table whose allocation failed, or that was freed, is
// null: that order then works without one.
struct TableSlot {
    std::once_flag built;
    std::atomic<const float*> values{nullptr};
    std::unique_ptr<float[]> owned;

    ~TableSlot() { values.store(nullptr, std::memory_order_release); }
};
TableSlot tableSlots[kMaxTableOrder + 1];

const float* twiddleTable(int order) {
    if (order > kMaxTableOrder) return nullptr;
    TableSlot& slot = tableSlots[order];
    const float* ready = slot.values.load(std::memory_order_acquire);
    if (ready) return ready;
    std::call_once(slot.built, [&slot, order] {
        const long n = 1L << order;
        const long floats = real_fft_kernels::twiddleTableFloats(n);
        if (floats == 0) return; // no twiddled stage at this length
        slot.owned.reset(new (std::nothrow) float[floats]);
        if (!slot.owned) return;
        real_fft_kernels::fillTwiddleTable(slot.owned.get(), n);
        slot.values.store(slot.owned.get(), std::memory_order_release);
    });
    return slot.values.load(std::memory_order_acquire);
}

bool wideKernelsSupported() {
#if defined(ORQ_DSP_WIDE_KERNELS)
    return hasAvx2Fma();
#else
    return false;
#endif
}

} // namespace

void prepareRealFft(int n) {
    if (isPowerOfTwo(n)) twiddleTable(log2OfPowerOfTwo(n));
}

void realFftForward(float* data, int length) {
    if (!data || !isPowerOfTwo(length)) return;
    const float* twiddles = twiddleTable(log2OfPowerOfTwo(length));
#if defined(ORQ_DSP_WIDE_KERNELS)
    if (wideKernelsSupported()) return real_fft_kernels::forwardWide(data, length, twiddles);
#endif
    real_fft_kernels::forwardNarrow(data, length, twiddles);
}

void realFftInverse(float* data, int length) {
    if (!data || !isPowerOfTwo(length)) return;
    const float* twiddles = twiddleTable(log2OfPowerOfTwo(length));
#if defined(ORQ_DSP_WIDE_KERNELS)
    if (wideKernelsSupported()) return real_fft_kernels::inverseWide(data, length, twiddles);
#endif
    real_fft_kernels::inverseNarrow(data, length, twiddles);
}

int log2OfPowerOfTwo(int n) {
    if (!isPowerOfTwo(n)) return 0;
    int k = 0;
    while ((1 << k) < n)
        ++k;
    return k;
}

void halfSwap(float* buffer, int n) {
    if (!buffer || n < kMinLength) return;
    const int half = n / 2;
    for (int i = 0; i < half; ++i)
        std::swap(buffer[i], buffer[i + half]);
}

} // namespace orq::dsp
