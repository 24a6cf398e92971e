#include "dsp/complex_fft.h"

#include <cmath>
#include <numbers>
#include <stdexcept>
#include <utility>

namespace orq {

namespace {

int32_t log2Exact(int32_t n) {
    int32_t k = 0;
    while ((int32_t{1} << k) < n)
        ++k;
    return k;
}

// Size-4 transform, fully unrolled (bit-reversed output order 0, 2, 1, 3).
inline void transform4(float* re, float* im) {
    const float ar = re[0] + re[2], ai = im[0] + im[2];
    const float br = re[0] - re[2], bi = im[0] - im[2];
    const float cr = re[1] + re[3], ci = im[1] + im[3];
    const float dr = re[1] - re[3], di = im[1] - im[3];
    re[0] = ar + cr;
    im[0] = ai + ci;
    re[1] = ar - cr;
    im[1] = ai - ci;
    // X[1] = b − i·d, X[3] = b + i·d
    re[2] = br + di;
    im[2] = bi - dr;
    re[3] = br - di;
    im[3] = bi + dr;
}

inline void transform2(float* re, float* im) {
    const float r = re[0] - re[1], i = im[0] - im[1];
    re[0] += re[1];
    im[0] += im[1];
    re[1] = r;
    im[1] = i;
}

// Size-8 transform, unrolled: the L-shaped pass with the twiddles of π/4, then the size-4 and
// size-2 sub-transforms (bit-reversed output).
inline void transform8(float* re, float* im) {
    constexpr float h = 0.70710678f; // cos π/4 = sin π/4
    float ur[2], ui[2], vr[2], vi[2];
    for (int32_t j = 0; j < 2; ++j) {
        const float ar = re[j] - re[j + 4], ai = im[j] - im[j + 4];
        const float br = re[j + 2] - re[j + 6], bi = im[j + 2] - im[j + 6];
        re[j] += re[j + 4];
        im[j] += im[j + 4];
        re[j + 2] += re[j + 6];
        im[j + 2] += im[j + 6];
        ur[j] = ar + bi;
        ui[j] = ai - br;
        vr[j] = ar - bi;
        vi[j] = ai + br;
    }
    re[4] = ur[0];
    im[4] = ui[0];
    re[6] = vr[0];
    im[6] = vi[0];
    re[5] = (ur[1] + ui[1]) * h; // × e^(−iπ/4)
    im[5] = (ui[1] - ur[1]) * h;
    re[7] = (vi[1] - vr[1]) * h; // × e^(−3iπ/4)
    im[7] = -(vi[1] + vr[1]) * h;
    transform4(re, im);
    transform2(re + 4, im + 4);
    transform2(re + 6, im + 6);
}

// One L-shaped butterfly pass over the four quarters of a sub-transform (see transform).
// Separate restrict-qualified quarters let the compiler vectorise across j.
void lShapedPass(float* __restrict r0, float* __restrict r1, float* __restrict r2,
                 float* __restrict r3, float* __restrict i0, float* __restrict i1,
                 float* __restrict i2, float* __restrict i3, const float* __restrict c1,
                 const float* __restrict s1, const float* __restrict c3, const float* __restrict s3,
                 int32_t m) {
    for (int32_t j = 0; j < m; ++j) {
        const float ar = r0[j] - r2[j], ai = i0[j] - i2[j];
        const float br = r1[j] - r3[j], bi = i1[j] - i3[j];
        r0[j] += r2[j];
        i0[j] += i2[j];
        r1[j] += r3[j];
        i1[j] += i3[j];
        const float ur = ar + bi, ui = ai - br; // a − i·b
        const float vr = ar - bi, vi = ai + br; // a + i·b
        r2[j] = ur * c1[j] + ui * s1[j];
        i2[j] = ui * c1[j] - ur * s1[j];
        r3[j] = vr * c3[j] + vi * s3[j];
        i3[j] = vi * c3[j] - vr * s3[j];
    }
}

// Inverse size-4 transform from bit-reversed input (X0, X2, X1, X3), natural output.
inline void inverseTransform4(float* re, float* im) {
    const float e0r = re[0] + re[1], e0i = im[0] + im[1];
    const float e1r = re[0] - re[1], e1i = im[0] - im[1];
    const float sr = re[2] + re[3], si = im[2] + im[3];
    const float dr = re[2] - re[3], di = im[2] - im[3];
    re[0] = e0r + sr;
    im[0] = e0i + si;
    re[2] = e0r - sr;
    im[2] = e0i - si;
    // x1 = e1 + i·d, x3 = e1 − i·d
    re[1] = e1r - di;
    im[1] = e1i + dr;
    re[3] = e1r + di;
    im[3] = e1i - dr;
}

// Inverse size-8 transform from bit-reversed input, unrolled: the size-4 and size-2
// sub-transforms, then the transposed L-shaped pass with the twiddles of π/4.
inline void inverseTransform8(float* re, float* im) {
    constexpr float h = 0.70710678f; // cos π/4 = sin π/4
    inverseTransform4(re, im);
    transform2(re + 4, im + 4);
    transform2(re + 6, im + 6);
    // u = W^j·U, v = W^3j·V with W = e^(+iπ/4), j = 0, 1.
    const float ur[2] = {re[4], (re[5] - im[5]) * h};
    const float ui[2] = {im[4], (re[5] + im[5]) * h};
    const float vr[2] = {re[6], -(re[7] + im[7]) * h};
    const float vi[2] = {im[6], (re[7] - im[7]) * h};
    for (int32_t j = 0; j < 2; ++j) {
        const float sr = ur[j] + vr[j], si = ui[j] + vi[j];
        const float dr = ur[j] - vr[j], di = ui[j] - vi[j];
        re[j + 4] = re[j] - sr;
        im[j + 4] = im[j] - si;
        re[j] += sr;
        im[j] += si;
        re[j + 6] = re[j + 2] + di;
        im[j + 6] = im[j + 2] - dr;
        re[j + 2] -= di;
        im[j + 2] += dr;
    }
}

// The transposed pass: combines the even half E and the quarters U, V (already inverted)
// into x[j], x[j+m], x[j+2m], x[j+3m] with u = W^j·U, v = W^3j·V, W = e^(+2πi/n).
void inverseLShapedPass(float* __restrict r0, float* __restrict r1, float* __restrict r2,
                        float* __restrict r3, float* __restrict i0, float* __restrict i1,
                        float* __restrict i2, float* __restrict i3, const float* __restrict c1,
                        const float* __restrict s1, const float* __restrict c3,
                        const float* __restrict s3, int32_t m) {
    for (int32_t j = 0; j < m; ++j) {
        const float ur = r2[j] * c1[j] - i2[j] * s1[j];
        const float ui = r2[j] * s1[j] + i2[j] * c1[j];
        const float vr = r3[j] * c3[j] - i3[j] * s3[j];
        const float vi = r3[j] * s3[j] + i3[j] * c3[j];
        const float sr = ur + vr, si = ui + vi;
        const float dr = ur - vr, di = ui - vi;
        r2[j] = r0[j] - sr;
        i2[j] = i0[j] - si;
        r0[j] += sr;
        i0[j] += si;
        r3[j] = r1[j] + di; // e − i·d
        i3[j] = i1[j] - dr;
        r1[j] -= di; // e + i·d
        i1[j] += dr;
    }
}

} // namespace

SplitRadixFft::SplitRadixFft(int32_t length) : length_(length) {
    if (length < 2 || (length & (length - 1)) != 0) {
        throw std::invalid_argument("SplitRadixFft: length must be a power of two >= 2");
    }
    const int32_t levels = log2Exact(length);
    // Contiguous twiddles per sub-transform size, so each pass streams through its own table.
    size_t total = 0;
    for (int32_t n = 8; n <= length; n *= 2)
        total += 4 * static_cast<size_t>(n / 4);
    twiddleStorage_.resize(total);
    passes_.assign(static_cast<size_t>(levels) + 1, PassTwiddles{});
    float* out = twiddleStorage_.data();
    for (int32_t level = 3; level <= levels; ++level) {
        const int32_t n = int32_t{1} << level;
        const int32_t quarter = n / 4;
        PassTwiddles& p = passes_[level];
        float* c1 = out;
        float* s1 = out + quarter;
        float* c3 = out + 2 * quarter;
        float* s3 = out + 3 * quarter;
        for (int32_t k = 0; k < quarter; ++k) {
            const double angle = 2.0 * std::numbers::pi * k / n;
            c1[k] = static_cast<float>(std::cos(angle));
            s1[k] = static_cast<float>(std::sin(angle));
            c3[k] = static_cast<float>(std::cos(3.0 * angle));
            s3[k] = static_cast<float>(std::sin(3.0 * angle));
        }
        p = PassTwiddles{c1, s1, c3, s3};
        out += 4 * quarter;
    }
    bitReversal_.resize(static_cast<size_t>(length));
    for (int32_t i = 0; i < length; ++i) {
        int32_t r = 0;
        for (int32_t b = 0; b < levels; ++b)
            r |= ((i >> b) & 1) << (levels - 1 - b);
        bitReversal_[i] = r;
    }
}

// Decimation in frequency. For a sub-transform of size n with quarter m = n/4:
//   X[2k]   = DFT_{n/2}(x[j] + x[j+n/2])
//   X[4k+1] = DFT_{n/4}(((x[j] − x[j+n/2]) − i·(x[j+m] − x[j+3m]))·w^j)
//   X[4k+3] = DFT_{n/4}(((x[j] − x[j+n/2]) + i·(x[j+m] − x[j+3m]))·w^3j),  w = e^(−2πi/n)
// with the results left in bit-reversed order.
void SplitRadixFft::transform(float* re, float* im, int32_t n, int32_t level) const {
    if (n <= 8) {
        if (n == 8) transform8(re, im);
        if (n == 4) transform4(re, im);
        if (n == 2) transform2(re, im);
        return;
    }
    // The two smallest passes and their sub-transforms run without calls (the same operations
    // in the same order as the recursion).
    const auto sixteen = [this](float* r, float* i) {
        const PassTwiddles& t16 = passes_[4];
        lShapedPass(r, r + 4, r + 8, r + 12, i, i + 4, i + 8, i + 12, t16.cos1, t16.sin1,
                    t16.cos3, t16.sin3, 4);
        transform8(r, i);
        transform4(r + 8, i + 8);
        transform4(r + 12, i + 12);
    };
    if (n == 16) {
        sixteen(re, im);
        return;
    }
    const PassTwiddles& t = passes_[level];
    if (n == 32) {
        lShapedPass(re, re + 8, re + 16, re + 24, im, im + 8, im + 16, im + 24, t.cos1, t.sin1,
                    t.cos3, t.sin3, 8);
        sixteen(re, im);
        transform8(re + 16, im + 16);
        transform8(re + 24, im + 24);
        return;
    }
    const int32_t m = n / 4;
    lShapedPass(re, re + m, re + 2 * m, re + 3 * m, im, im + m, im + 2 * m, im + 3 * m, t.cos1,
                t.sin1, t.cos3, t.sin3, m);
    transform(re, im, n / 2, level - 1);
    transform(re + 2 * m, im + 2 * m, m, level - 2);
    transform(re + 3 * m, im + 3 * m, m, level - 2);
}

void SplitRadixFft::inverseTransform(float* re, float* im, int32_t n, int32_t level) const {
    if (n <= 8) {
        if (n == 8) inverseTransform8(re, im);
        if (n == 4) inverseTransform4(re, im);
        if (n == 2) transform2(re, im);
        return;
    }
    const int32_t m = n / 4;
    inverseTransform(re, im, n / 2, level - 1);
    inverseTransform(re + 2 * m, im + 2 * m, m, level - 2);
    inverseTransform(re + 3 * m, im + 3 * m, m, level - 2);
    const PassTwiddles& t = passes_[level];
    inverseLShapedPass(re, re + m, re + 2 * m, re + 3 * m, im, im + m, im + 2 * m, im + 3 * m,
                       t.cos1, t.sin1, t.cos3, t.sin3, m);
}

void SplitRadixFft::inverseFromBitReversed(float* re, float* im) const {
    inverseTransform(re, im, length_, static_cast<int32_t>(passes_.size()) - 1);
}

void SplitRadixFft::forwardBitReversed(float* re, float* im) const {
    transform(re, im, length_, static_cast<int32_t>(passes_.size()) - 1);
}

void SplitRadixFft::forward(float* re, float* im) const {
    forwardBitReversed(re, im);
    for (int32_t i = 0; i < length_; ++i) {
        const int32_t j = bitReversal_[i];
        if (j > i) {
            std::swap(re[i], re[j]);
            std::swap(im[i], im[j]);
        }
    }
}

} // namespace orq
