// Vector kernels of the library FFT, written once for any vector width W (floats per vector,
// W/2 interleaved complex values) with GCC vector extensions. Everything here is a template on
// W, so the wide instantiations compiled for AVX2 in their own file never mix with the
// baseline ones.
//
// Twiddle layout: for each vector of W/2 consecutive points j, the real parts duplicated
// (wr, wr, ...) in W floats, then the imaginary parts with alternating sign (-wi, wi, ...) in W
// floats; a radix-4 stage stores w^j, w^2j, w^3j in this way, a radix-2 stage w^j.
#pragma once

#include <cstddef>
#include <cstring>

namespace orq::dsp::fft_kernels {

template <int W> struct Lanes;

template <> struct Lanes<4> {
    using Vec = float __attribute__((vector_size(16)));
    using Idx = int __attribute__((vector_size(16)));
    static constexpr Idx kSwapReIm = Idx{1, 0, 3, 2};
    static constexpr Idx kReverseComplex = Idx{2, 3, 0, 1};
    static constexpr Idx kRealParts = Idx{0, 0, 2, 2};
    static constexpr Idx kImagParts = Idx{1, 1, 3, 3};
};

template <> struct Lanes<8> {
    using Vec = float __attribute__((vector_size(32)));
    using Idx = int __attribute__((vector_size(32)));
    static constexpr Idx kSwapReIm = Idx{1, 0, 3, 2, 5, 4, 7, 6};
    static constexpr Idx kReverseComplex = Idx{6, 7, 4, 5, 2, 3, 0, 1};
    static constexpr Idx kRealParts = Idx{0, 0, 2, 2, 4, 4, 6, 6};
    static constexpr Idx kImagParts = Idx{1, 1, 3, 3, 5, 5, 7, 7};
};

template <int W> using Vec = typename Lanes<W>::Vec;

// Floats of twiddles per vector of points in a radix-2 and a radix-4 stage.
template <int W> constexpr size_t kRadix2TwiddleFloats = 2 * W;
template <int W> constexpr size_t kRadix4TwiddleFloats = 6 * W;
constexpr size_t kLastStageSize = 4; // the final radix-4 stage needs no twiddles

template <int W> inline Vec<W> load(const float* p) {
    Vec<W> v;
    std::memcpy(&v, p, sizeof v);
    return v;
}
template <int W> inline void store(float* p, Vec<W> v) {
    std::memcpy(p, &v, sizeof v);
}

template <int W> inline Vec<W> alternating(float even, float odd) {
    Vec<W> v;
    for (int i = 0; i < W; ++i)
        v[i] = (i % 2 == 0) ? even : odd;
    return v;
}
template <int W> inline Vec<W> swapReIm(Vec<W> v) {
    return __builtin_shuffle(v, Lanes<W>::kSwapReIm);
}
template <int W> inline Vec<W> reverseComplex(Vec<W> v) {
    return __builtin_shuffle(v, Lanes<W>::kReverseComplex);
}

// v · w with w in the twiddle layout; the inverse uses conj(w).
template <int W, bool Inverse> inline Vec<W> rotate(Vec<W> v, const float* w) {
    const Vec<W> wrr = load<W>(w);
    const Vec<W> wii = load<W>(w + W);
    if constexpr (Inverse) {
        return v * wrr - swapReIm<W>(v) * wii;
    } else {
        return v * wrr + swapReIm<W>(v) * wii;
    }
}

// v · w and v · conj(w) with w given as plain complex pairs (wr, wi, ...).
template <int W> inline Vec<W> rotateByPairs(Vec<W> v, Vec<W> w, float conjugate) {
    const Vec<W> wr = __builtin_shuffle(w, Lanes<W>::kRealParts);
    const Vec<W> wi = __builtin_shuffle(w, Lanes<W>::kImagParts);
    return v * wr + swapReIm<W>(v) * wi * alternating<W>(-conjugate, conjugate);
}

// Multiplication by -i (forward) or +i (inverse).
template <int W, bool Inverse> inline Vec<W> quarterTurn(Vec<W> v) {
    return Inverse ? swapReIm<W>(v) * alternating<W>(-1.0f, 1.0f)
                   : swapReIm<W>(v) * alternating<W>(1.0f, -1.0f);
}

// Four-point DFTs of consecutive blocks, outputs in the order 0, 2, 1, 3.
template <int W, bool Inverse> inline void lastStage(float* data, size_t size) {
    if constexpr (W == 4) {
        using Idx = Lanes<4>::Idx;
        const Vec<4> plusMinus{1.0f, 1.0f, -1.0f, -1.0f};
        for (size_t block = 0; block < size; block += kLastStageSize) {
            float* p = data + 2 * block;
            const Vec<4> v0 = load<4>(p), v1 = load<4>(p + 4);
            const Vec<4> sum = v0 + v1;                          // (t0, t2)
            const Vec<4> diff = v0 - v1;                         // (t1, b - d)
            const Vec<4> turned = quarterTurn<4, Inverse>(diff); // high half: t3
            const Vec<4> sumLo = __builtin_shuffle(sum, Idx{0, 1, 0, 1});
            const Vec<4> sumHi = __builtin_shuffle(sum, Idx{2, 3, 2, 3});
            const Vec<4> diffLo = __builtin_shuffle(diff, Idx{0, 1, 0, 1});
            const Vec<4> turnedHi = __builtin_shuffle(turned, Idx{2, 3, 2, 3});
            store<4>(p, sumLo + sumHi * plusMinus);         // (y0, y2)
            store<4>(p + 4, diffLo + turnedHi * plusMinus); // (y1, y3)
        }
    } else {
        using Idx = Lanes<8>::Idx;
        const Vec<8> firstPlus{1.0f, 1.0f, 1.0f, 1.0f, -1.0f, -1.0f, -1.0f, -1.0f};
        const Vec<8> pairPlus{1.0f, 1.0f, -1.0f, -1.0f, 1.0f, 1.0f, -1.0f, -1.0f};
        for (size_t block = 0; block < size; block += kLastStageSize) {
            float* p = data + 2 * block;
            const Vec<8> v = load<8>(p); // (a, b, c, d)
            const Vec<8> lo = __builtin_shuffle(v, Idx{0, 1, 2, 3, 0, 1, 2, 3});
            const Vec<8> hi = __builtin_shuffle(v, Idx{4, 5, 6, 7, 4, 5, 6, 7});
            const Vec<8> s = lo + hi * firstPlus; // (t0, t2, t1, b - d)
            const Vec<8> turned = quarterTurn<8, Inverse>(s);
            const Vec<8> r = __builtin_shuffle(s, turned, Idx{0, 1, 2, 3, 4, 5, 14, 15});
            const Vec<8> first = __builtin_shuffle(r, Idx{0, 1, 0, 1, 4, 5, 4, 5});
            const Vec<8> second = __builtin_shuffle(r, Idx{2, 3, 2, 3, 6, 7, 6, 7});
            store<8>(p, first + second * pairPlus); // (y0, y2, y1, y3)
        }
    }
}

// The butterfly stages of an in-place complex FFT of 2^log2Size >= 4 points (output in
// bit-reversed order). Radix-2 first when log2Size is odd, then radix-4 stages whose four
// quarters take the outputs 0, 2, 1, 3 (mod 4), so the final order is plain bit reversal.
template <int W, bool Inverse>
void butterflyStages(float* data, const float* twiddles, int log2Size) {
    constexpr size_t kPointsPerVec = W / 2;
    const size_t size = size_t{1} << log2Size;
    const float* w = twiddles;
    size_t len = size;
    if (log2Size % 2 == 1) {
        const size_t half = size / 2;
        for (size_t j = 0; j < half; j += kPointsPerVec, w += kRadix2TwiddleFloats<W>) {
            float* pa = data + 2 * j;
            float* pb = pa + 2 * half;
            const Vec<W> a = load<W>(pa), b = load<W>(pb);
            store<W>(pa, a + b);
            store<W>(pb, rotate<W, Inverse>(a - b, w));
        }
        len = half;
    }
    for (; len > kLastStageSize; len /= 4) {
        const size_t quarter = len / 4;
        for (size_t block = 0; block < size; block += len) {
            const float* wj = w;
            float* p0 = data + 2 * block;
            float* p1 = p0 + 2 * quarter;
            float* p2 = p1 + 2 * quarter;
            float* p3 = p2 + 2 * quarter;
            for (size_t j = 0; j < quarter; j += kPointsPerVec, wj += kRadix4TwiddleFloats<W>) {
                const size_t f = 2 * j;
                const Vec<W> a = load<W>(p0 + f), b = load<W>(p1 + f);
                const Vec<W> c = load<W>(p2 + f), d = load<W>(p3 + f);
                const Vec<W> t0 = a + c, t1 = a - c, t2 = b + d;
                const Vec<W> t3 = quarterTurn<W, Inverse>(b - d);
                store<W>(p0 + f, t0 + t2);
                store<W>(p1 + f, rotate<W, Inverse>(t0 - t2, wj + kRadix2TwiddleFloats<W>));
                store<W>(p2 + f, rotate<W, Inverse>(t1 + t3, wj));
                store<W>(p3 + f, rotate<W, Inverse>(t1 - t3, wj + 2 * kRadix2TwiddleFloats<W>));
            }
        }
        w += (quarter / kPointsPerVec) * kRadix4TwiddleFloats<W>;
    }
    lastStage<W, Inverse>(data, size);
}

// Split of the complex spectrum Z of z[n] = x[2n] + i·x[2n+1] (M = N/2 points) into the real
// spectrum X in CCS layout. With E[k] = (Z[k] + conj Z[M-k]) / 2 and
// O[k] = (Z[k] - conj Z[M-k]) / 2i (the spectra of the even and odd samples),
// X[k] = E[k] + W^k O[k] and X[M-k] = conj(E[k] - W^k O[k]), W = e^(-2 pi i/N).
// splitTwiddles holds (cos, -sin) of 2 pi k/N for k = 0..N/4.
template <int W> void splitForward(float* data, const float* splitTwiddles, size_t n) {
    constexpr size_t kPointsPerVec = W / 2;
    const size_t m = n / 2;
    const float z0r = data[0], z0i = data[1];
    data[0] = z0r + z0i;
    data[1] = 0.0f;
    data[n] = z0r - z0i;
    data[n + 1] = 0.0f;
    const float* w = splitTwiddles;
    const Vec<W> conjugateSign = alternating<W>(1.0f, -1.0f);
    const Vec<W> halfConjugateSign = alternating<W>(0.5f, -0.5f);
    size_t k = 1;
    // Bins k.. and their mirrors ..M-k per step, while the two groups stay apart.
    for (; 2 * k + 2 * (kPointsPerVec - 1) < m; k += kPointsPerVec) {
        float* pk = data + 2 * k;
        float* pm = data + 2 * (m - k - (kPointsPerVec - 1));
        const Vec<W> a = load<W>(pk);
        const Vec<W> b = reverseComplex<W>(load<W>(pm)) * conjugateSign;
        const Vec<W> e = 0.5f * (a + b);
        const Vec<W> o = swapReIm<W>(a - b) * halfConjugateSign; // (A - B) / 2i
        const Vec<W> t = rotateByPairs<W>(o, load<W>(w + 2 * k), 1.0f);
        store<W>(pk, e + t);
        store<W>(pm, reverseComplex<W>((e - t) * conjugateSign));
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

// The forward split run backwards, times scale: E[k] = X[k] + conj X[M-k],
// O[k] = (X[k] - conj X[M-k])·W^-k, Z[k] = E + iO, Z[M-k] = conj(E - iO). These are twice the
// even/odd spectra, so the inverse complex FFT of Z yields scale·N·x.
template <int W> void splitInverse(float* data, const float* splitTwiddles, size_t n, float scale) {
    constexpr size_t kPointsPerVec = W / 2;
    const size_t m = n / 2;
    const float x0 = data[0], xm = data[n];
    data[0] = scale * (x0 + xm);
    data[1] = scale * (x0 - xm);
    const float* w = splitTwiddles;
    const Vec<W> conjugateSign = alternating<W>(1.0f, -1.0f);
    const Vec<W> timesISign = alternating<W>(-1.0f, 1.0f);
    size_t k = 1;
    for (; 2 * k + 2 * (kPointsPerVec - 1) < m; k += kPointsPerVec) {
        float* pk = data + 2 * k;
        float* pm = data + 2 * (m - k - (kPointsPerVec - 1));
        const Vec<W> a = load<W>(pk);
        const Vec<W> b = reverseComplex<W>(load<W>(pm)) * conjugateSign;
        const Vec<W> e = a + b;
        const Vec<W> o = rotateByPairs<W>(a - b, load<W>(w + 2 * k), -1.0f);
        const Vec<W> io = swapReIm<W>(o) * timesISign; // i·O
        store<W>(pk, scale * (e + io));
        store<W>(pm, reverseComplex<W>(scale * (e - io) * conjugateSign));
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
}

// The wide (8-float) instantiations, compiled for AVX2 and FMA in their own file.
void butterflyStagesWideForward(float* data, const float* twiddles, int log2Size);
void butterflyStagesWideInverse(float* data, const float* twiddles, int log2Size);
void splitForwardWide(float* data, const float* splitTwiddles, size_t n);
void splitInverseWide(float* data, const float* splitTwiddles, size_t n, float scale);

} // namespace orq::dsp::fft_kernels
