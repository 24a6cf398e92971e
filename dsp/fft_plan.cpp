#include "dsp/fft_plan.h"

#include <cmath>
#include <cstring>
#include <new>
#include <numbers>

namespace orq::dsp {
namespace {

// Four floats = two interleaved complex values. GCC vector extensions compile to SSE on every
// x86-64 processor and to NEON elsewhere.
using Vec4 = float __attribute__((vector_size(16)));
using Idx4 = int __attribute__((vector_size(16)));

constexpr int kFloatsPerVec = 4;
constexpr int kComplexPerVec = 2;
constexpr int kRadix2TwiddleFloats = 8;  // w re re, w im (-, +) per vector of two points
constexpr int kRadix4TwiddleFloats = 24; // the same for w, w^2, w^3
constexpr int kLastStageSize = 4;        // the final radix-4 stage needs no twiddles

inline Vec4 load(const float* p) {
    Vec4 v;
    std::memcpy(&v, p, sizeof v);
    return v;
}
inline void store(float* p, Vec4 v) {
    std::memcpy(p, &v, sizeof v);
}
inline Vec4 swapReIm(Vec4 v) {
    return __builtin_shuffle(v, Idx4{1, 0, 3, 2});
}

// (re, im) · (wr + i·wi) with wrr = (wr, wr, ..) and wii = (-wi, wi, ..).
template <bool Inverse> inline Vec4 rotate(Vec4 v, const float* w) {
    const Vec4 wrr = load(w);
    const Vec4 wii = load(w + kFloatsPerVec);
    if constexpr (Inverse) {
        return v * wrr - swapReIm(v) * wii; // conjugate twiddle
    } else {
        return v * wrr + swapReIm(v) * wii;
    }
}

// Multiplication by -i (forward) or +i (inverse).
template <bool Inverse> inline Vec4 quarterTurn(Vec4 v) {
    if constexpr (Inverse) {
        return swapReIm(v) * Vec4{-1.0f, 1.0f, -1.0f, 1.0f};
    } else {
        return swapReIm(v) * Vec4{1.0f, -1.0f, 1.0f, -1.0f};
    }
}

const Vec4 kConjugateSign{1.0f, -1.0f, 1.0f, -1.0f};
const Vec4 kHalf{0.5f, 0.5f, 0.5f, 0.5f};
const Vec4 kHalfConjugateSign{0.5f, -0.5f, 0.5f, -0.5f};
const Vec4 kTimesISign{-1.0f, 1.0f, -1.0f, 1.0f};

// (p, q) -> (q, p) for two complex values.
inline Vec4 reversePair(Vec4 v) {
    return __builtin_shuffle(v, Idx4{2, 3, 0, 1});
}

// v · w and v · conj(w) for w = (wr0, wi0, wr1, wi1) stored as complex pairs.
inline Vec4 rotateBy(Vec4 v, Vec4 w) {
    const Vec4 wr = __builtin_shuffle(w, Idx4{0, 0, 2, 2});
    const Vec4 wi = __builtin_shuffle(w, Idx4{1, 1, 3, 3});
    return v * wr + swapReIm(v) * wi * kTimesISign;
}
inline Vec4 rotateByConjugate(Vec4 v, Vec4 w) {
    const Vec4 wr = __builtin_shuffle(w, Idx4{0, 0, 2, 2});
    const Vec4 wi = __builtin_shuffle(w, Idx4{1, 1, 3, 3});
    return v * wr - swapReIm(v) * wi * kTimesISign;
}

// Writes the two-point vector layout of w = e^(-2 pi i·k·step/size) for k = j, j+1.
void writeTwiddlePair(float* out, size_t j, size_t step, size_t size) {
    const double unit = -2.0 * std::numbers::pi / static_cast<double>(size);
    for (size_t n = 0; n < kComplexPerVec; ++n) {
        const double angle = unit * static_cast<double>((j + n) * step % size);
        const float wr = static_cast<float>(std::cos(angle));
        const float wi = static_cast<float>(std::sin(angle));
        out[2 * n] = wr;
        out[2 * n + 1] = wr;
        out[kFloatsPerVec + 2 * n] = -wi;
        out[kFloatsPerVec + 2 * n + 1] = wi;
    }
}

uint32_t reverseBits(uint32_t value, int bits) {
    uint32_t result = 0;
    for (int b = 0; b < bits; ++b) {
        result = (result << 1) | (value & 1u);
        value >>= 1;
    }
    return result;
}

size_t twiddleFloats(int log2Size) {
    if (log2Size < 2) return 0;
    const size_t size = size_t{1} << log2Size;
    size_t floats = (log2Size % 2 == 1) ? (size / 2 / kComplexPerVec) * kRadix2TwiddleFloats : 0;
    for (size_t len = (log2Size % 2 == 1) ? size / 2 : size; len > kLastStageSize; len /= 4) {
        floats += (len / 4 / kComplexPerVec) * kRadix4TwiddleFloats;
    }
    return floats;
}

size_t swapPairCount(int log2Size) {
    size_t count = 0;
    const uint32_t size = uint32_t{1} << log2Size;
    for (uint32_t i = 0; i < size; ++i) {
        if (i < reverseBits(i, log2Size)) ++count;
    }
    return count;
}

} // namespace

size_t ComplexFftPlan::tableBytes(int log2Size) {
    const size_t size = size_t{1} << log2Size;
    // Upper bound for the swap list: half the points are exchanged at most.
    return twiddleFloats(log2Size) * sizeof(float) + size * sizeof(uint32_t);
}

std::unique_ptr<ComplexFftPlan> ComplexFftPlan::create(int log2Size) {
    std::unique_ptr<ComplexFftPlan> plan(new (std::nothrow) ComplexFftPlan(log2Size));
    if (!plan) return nullptr;
    const size_t size = size_t{1} << log2Size;

    const size_t floats = twiddleFloats(log2Size);
    if (floats > 0) {
        plan->twiddles_.reset(new (std::nothrow) float[floats]);
        if (!plan->twiddles_) return nullptr;
        float* w = plan->twiddles_.get();
        size_t len = size;
        if (log2Size % 2 == 1) {
            for (size_t j = 0; j < size / 2; j += kComplexPerVec, w += kRadix2TwiddleFloats) {
                writeTwiddlePair(w, j, 1, size);
            }
            len = size / 2;
        }
        for (; len > kLastStageSize; len /= 4) {
            for (size_t j = 0; j < len / 4; j += kComplexPerVec, w += kRadix4TwiddleFloats) {
                writeTwiddlePair(w, j, 1, len);
                writeTwiddlePair(w + kRadix2TwiddleFloats, j, 2, len);
                writeTwiddlePair(w + 2 * kRadix2TwiddleFloats, j, 3, len);
            }
        }
    }

    const size_t pairs = swapPairCount(log2Size);
    if (pairs > 0) {
        plan->swapPairs_.reset(new (std::nothrow) uint32_t[2 * pairs]);
        if (!plan->swapPairs_) return nullptr;
        uint32_t* p = plan->swapPairs_.get();
        for (uint32_t i = 0; i < size; ++i) {
            const uint32_t r = reverseBits(i, log2Size);
            if (i < r) {
                *p++ = i;
                *p++ = r;
            }
        }
    }
    plan->swapPairCount_ = pairs;
    return plan;
}

void ComplexFftPlan::forward(float* data) const {
    run<false>(data);
}
void ComplexFftPlan::inverse(float* data) const {
    run<true>(data);
}

template <bool Inverse> void ComplexFftPlan::run(float* data) const {
    const size_t size = size_t{1} << log2Size_;
    if (size == 1) return;
    if (size == 2) {
        const float ar = data[0], ai = data[1], br = data[2], bi = data[3];
        data[0] = ar + br;
        data[1] = ai + bi;
        data[2] = ar - br;
        data[3] = ai - bi;
        return;
    }

    const float* w = twiddles_.get();
    size_t len = size;
    if (log2Size_ % 2 == 1) {
        // Radix-2 stage: a' = a + b, b' = (a - b)·w^j.
        const size_t half = size / 2;
        for (size_t j = 0; j < half; j += kComplexPerVec, w += kRadix2TwiddleFloats) {
            float* pa = data + 2 * j;
            float* pb = pa + 2 * half;
            const Vec4 a = load(pa), b = load(pb);
            store(pa, a + b);
            store(pb, rotate<Inverse>(a - b, w));
        }
        len = half;
    }

    // Radix-4 stages: the four quarters of each block take the outputs 0, 2, 1, 3 (mod 4) so
    // that the final order is plain bit reversal.
    for (; len > kLastStageSize; len /= 4) {
        const size_t quarter = len / 4;
        for (size_t block = 0; block < size; block += len) {
            const float* wj = w;
            float* p0 = data + 2 * block;
            float* p1 = p0 + 2 * quarter;
            float* p2 = p1 + 2 * quarter;
            float* p3 = p2 + 2 * quarter;
            for (size_t j = 0; j < quarter; j += kComplexPerVec, wj += kRadix4TwiddleFloats) {
                const size_t f = 2 * j;
                const Vec4 a = load(p0 + f), b = load(p1 + f), c = load(p2 + f), d = load(p3 + f);
                const Vec4 t0 = a + c, t1 = a - c, t2 = b + d, t3 = quarterTurn<Inverse>(b - d);
                store(p0 + f, t0 + t2);
                store(p1 + f, rotate<Inverse>(t0 - t2, wj + kRadix2TwiddleFloats));
                store(p2 + f, rotate<Inverse>(t1 + t3, wj));
                store(p3 + f, rotate<Inverse>(t1 - t3, wj + 2 * kRadix2TwiddleFloats));
            }
        }
        w += (quarter / kComplexPerVec) * kRadix4TwiddleFloats;
    }

    if (len == kLastStageSize) {
        // Four-point blocks held in two vectors: v0 = (a, b), v1 = (c, d).
        const Vec4 plusMinus{1.0f, 1.0f, -1.0f, -1.0f};
        for (size_t block = 0; block < size; block += kLastStageSize) {
            float* p = data + 2 * block;
            const Vec4 v0 = load(p), v1 = load(p + kFloatsPerVec);
            const Vec4 sum = v0 + v1;                       // (t0, t2)
            const Vec4 diff = v0 - v1;                      // (t1, b - d)
            const Vec4 turned = quarterTurn<Inverse>(diff); // high half: t3
            const Vec4 sumLo = __builtin_shuffle(sum, Idx4{0, 1, 0, 1});
            const Vec4 sumHi = __builtin_shuffle(sum, Idx4{2, 3, 2, 3});
            const Vec4 diffLo = __builtin_shuffle(diff, Idx4{0, 1, 0, 1});
            const Vec4 turnedHi = __builtin_shuffle(turned, Idx4{2, 3, 2, 3});
            store(p, sumLo + sumHi * plusMinus);                     // (y0, y2)
            store(p + kFloatsPerVec, diffLo + turnedHi * plusMinus); // (y1, y3)
        }
    }

    // Each complex value moves as one 8-byte unit.
    const uint32_t* pair = swapPairs_.get();
    for (size_t s = 0; s < swapPairCount_; ++s, pair += 2) {
        float* a = data + 2 * size_t{pair[0]};
        float* b = data + 2 * size_t{pair[1]};
        uint64_t va, vb;
        std::memcpy(&va, a, sizeof va);
        std::memcpy(&vb, b, sizeof vb);
        std::memcpy(a, &vb, sizeof vb);
        std::memcpy(b, &va, sizeof va);
    }
}

size_t RealFftPlan::tableBytes(int order) {
    const size_t n = size_t{1} << order;
    return ComplexFftPlan::tableBytes(order - 1) + (n / 4 + 1) * 2 * sizeof(float) +
           sizeof(RealFftPlan) + sizeof(ComplexFftPlan);
}

std::unique_ptr<RealFftPlan> RealFftPlan::create(int order) {
    if (order < 1) return nullptr;
    auto half = ComplexFftPlan::create(order - 1);
    if (!half) return nullptr;
    std::unique_ptr<RealFftPlan> plan(new (std::nothrow) RealFftPlan(order, std::move(half)));
    if (!plan) return nullptr;
    const size_t n = size_t{1} << order;
    const size_t count = n / 4 + 1;
    plan->splitTwiddles_.reset(new (std::nothrow) float[2 * count]);
    if (!plan->splitTwiddles_) return nullptr;
    const double unit = 2.0 * std::numbers::pi / static_cast<double>(n);
    for (size_t k = 0; k < count; ++k) {
        plan->splitTwiddles_[2 * k] = static_cast<float>(std::cos(unit * static_cast<double>(k)));
        plan->splitTwiddles_[2 * k + 1] =
            static_cast<float>(-std::sin(unit * static_cast<double>(k)));
    }
    return plan;
}

// With Z = FFT of z[n] = x[2n] + i·x[2n+1] (M = N/2 points), E[k] = (Z[k] + conj Z[M-k]) / 2 and
// O[k] = (Z[k] - conj Z[M-k]) / 2i are the spectra of the even and odd samples, and
// X[k] = E[k] + W^k O[k], X[M-k] = conj(E[k] - W^k O[k]) with W = e^(-2 pi i/N).
void RealFftPlan::forward(float* data) const {
    half_->forward(data);
    const size_t n = size_t{1} << order_;
    const size_t m = n / 2;
    const float z0r = data[0], z0i = data[1];
    data[0] = z0r + z0i;
    data[1] = 0.0f;
    data[n] = z0r - z0i;
    data[n + 1] = 0.0f;
    const float* w = splitTwiddles_.get();
    size_t k = 1;
    // Bins k, k+1 and their mirrors M-k-1, M-k per step, while the two pairs stay apart.
    for (; 2 * k + 2 < m; k += 2) {
        float* pk = data + 2 * k;
        float* pm = data + 2 * (m - k - 1);
        const Vec4 a = load(pk);
        const Vec4 b = reversePair(load(pm)) * kConjugateSign;
        const Vec4 e = kHalf * (a + b);
        const Vec4 o = swapReIm(a - b) * kHalfConjugateSign; // (A - B) / 2i
        const Vec4 t = rotateBy(o, load(w + 2 * k));
        store(pk, e + t);
        store(pm, reversePair((e - t) * kConjugateSign));
    }
    for (; k <= m / 2; ++k) {
        float* pk = data + 2 * k;
        float* pm = data + 2 * (m - k);
        const float ar = pk[0], ai = pk[1], br = pm[0], bi = -pm[1];
        const float er = 0.5f * (ar + br), ei = 0.5f * (ai + bi);
        const float orr = 0.5f * (ai - bi), oi = -0.5f * (ar - br);
        const float wr = w[2 * k], wi = w[2 * k + 1];
        const float tr = wr * orr - wi * oi, ti = wr * oi + wi * orr;
        pk[0] = er + tr;
        pk[1] = ei + ti;
        pm[0] = er - tr;
        pm[1] = -(ei - ti);
    }
}

// The forward split run backwards: E[k] = X[k] + conj X[M-k], O[k] = (X[k] - conj X[M-k])·W^-k,
// Z[k] = E + iO, Z[M-k] = conj(E - iO) (twice the even/odd spectra, so the inverse complex FFT
// yields N·x).
void RealFftPlan::inverse(float* data, float scale) const {
    const size_t n = size_t{1} << order_;
    const size_t m = n / 2;
    const float x0 = data[0], xm = data[n];
    data[0] = scale * (x0 + xm);
    data[1] = scale * (x0 - xm);
    const float* w = splitTwiddles_.get();
    const Vec4 scaleVec{scale, scale, scale, scale};
    size_t k = 1;
    for (; 2 * k + 2 < m; k += 2) {
        float* pk = data + 2 * k;
        float* pm = data + 2 * (m - k - 1);
        const Vec4 a = load(pk);
        const Vec4 b = reversePair(load(pm)) * kConjugateSign;
        const Vec4 e = a + b;
        const Vec4 o = rotateByConjugate(a - b, load(w + 2 * k));
        const Vec4 io = swapReIm(o) * kTimesISign; // i·O
        store(pk, scaleVec * (e + io));
        store(pm, reversePair(scaleVec * (e - io) * kConjugateSign));
    }
    for (; k <= m / 2; ++k) {
        float* pk = data + 2 * k;
        float* pm = data + 2 * (m - k);
        const float ar = pk[0], ai = pk[1], br = pm[0], bi = -pm[1];
        const float er = ar + br, ei = ai + bi;
        const float dr = ar - br, di = ai - bi;
        const float wr = w[2 * k], wi = -w[2 * k + 1]; // conj W^k = W^-k
        const float orr = dr * wr - di * wi, oi = dr * wi + di * wr;
        pk[0] = scale * (er - oi);
        pk[1] = scale * (ei + orr);
        pm[0] = scale * (er + oi);
        pm[1] = -scale * (ei - orr);
    }
    half_->inverse(data);
}

} // namespace orq::dsp
