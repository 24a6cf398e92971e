// Kernels of the own split-radix real FFT, written once over the vector type so that one source
// serves the 4-float (SSE) build and the 8-float (AVX2) build in its own file.
//
// The transform (decimation in time, real input):
//   - bit-reversal permutation, done as W x W tile transposes (pairs of tiles swap places);
//   - every node of 16 points or fewer of the split-radix tree, straight-line: each aligned block
//     of 16 is either one 16-point node or two 8-point nodes, so W neighbouring blocks are
//     transposed into W lanes, both forms computed and the right one chosen per lane;
//   - the L-shaped butterflies of the blocks of length n2 = 32 ... N. Within a block of n2 points
//     (four quarter rows of n4 = n2/4), column 0 and the middle column n8 = n2/8 take butterflies
//     without twiddles; columns j-1 (ascending) and n4-j+1 (descending) for j = 2 .. n8 pair up
//     with the twiddles cos/sin of (j-1)·2pi/n2 and 3(j-1)·2pi/n2, W consecutive j per vector.
//     The last vector also covers the middle column; it is saved before and recomputed after.
// The inverse runs the transposed steps in reverse order and ends with the bit-reversal
// permutation.
//
// Everything except the entry points has internal linkage, so the copies compiled for different
// instruction sets never mix at link time.
#pragma once

#include <immintrin.h>

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <numbers>
#include <utility>

namespace orq::dsp::real_fft_kernels {

// Twiddle table of one length N = 2^order (null when not available): for every stage length
// n2 = 32 ... N, at offset twiddleOffset(n2), four arrays of n8 floats: cos and sin of
// e·2pi/n2, cos and sin of 3e·2pi/n2, for e = 1 ... n8.
constexpr long kFirstTwiddledStage = 32;
constexpr long twiddleOffset(long n2) {
    return n2 / 2 - kFirstTwiddledStage / 2;
}
constexpr long twiddleTableFloats(long n) {
    return n < kFirstTwiddledStage ? 0 : twiddleOffset(2 * n);
}

// Entry points, n a power of two >= 2. Narrow: 4-float vectors (any x86-64); wide: 8-float
// vectors (AVX2 and FMA only).
void forwardNarrow(float* data, long n, const float* twiddles);
void inverseNarrow(float* data, long n, const float* twiddles);
void forwardWide(float* data, long n, const float* twiddles);
void inverseWide(float* data, long n, const float* twiddles);

// Fills the twiddle table of length n (twiddleTableFloats(n) floats).
void fillTwiddleTable(float* table, long n);

namespace {

using Vec4 = float __attribute__((vector_size(16)));
using Mask4 = int __attribute__((vector_size(16)));
using Vec8 = float __attribute__((vector_size(32)));
using Mask8 = int __attribute__((vector_size(32)));

template <class V> struct VecTraits;
template <> struct VecTraits<Vec4> {
    static constexpr int kLanes = 4;
    using Mask = Mask4;
    static Vec4 reversed(Vec4 v) { return __builtin_shuffle(v, Mask4{3, 2, 1, 0}); }
};
#if defined(__AVX__)
template <> struct VecTraits<Vec8> {
    static constexpr int kLanes = 8;
    using Mask = Mask8;
    static Vec8 reversed(Vec8 v) { return __builtin_shuffle(v, Mask8{7, 6, 5, 4, 3, 2, 1, 0}); }
};
#endif

template <class V> inline V load(const float* p) {
    V v;
    std::memcpy(&v, p, sizeof v);
    return v;
}
template <class V> inline void store(float* p, V v) {
    std::memcpy(p, &v, sizeof v);
}

constexpr float kInvSqrt2 = static_cast<float>(1.0 / std::numbers::sqrt2);
constexpr long kLeafLength = 16;    // largest node computed straight-line
constexpr long kTwiddleChunk = 128; // twiddles per stack chunk when there is no table

// ---- Butterflies, on floats or on vectors of floats ----------------------------------------

// Column 0 of a block: x1..x4 are its four quarter rows.
template <class T> inline void forwardFirstColumn(T& x1, T& x3, T& x4) {
    const T t1 = x4 + x3;
    x4 = x4 - x3;
    x3 = x1 - t1;
    x1 = x1 + t1;
}
template <class T> inline void inverseFirstColumn(T& x1, T& x2, T& x3, T& x4) {
    const T t1 = x1 - x3;
    x1 = x1 + x3;
    x2 = 2.0f * x2;
    x3 = t1 - 2.0f * x4;
    x4 = t1 + 2.0f * x4;
}

// The middle column n8 of a block (twiddle angle pi/4).
template <class T> inline void forwardMiddle(T& x1, T& x2, T& x3, T& x4) {
    const T s = (x3 + x4) * kInvSqrt2;
    const T d = (x3 - x4) * kInvSqrt2;
    x4 = x2 - s;
    x3 = -x2 - s;
    x2 = x1 - d;
    x1 = x1 + d;
}
template <class T> inline void inverseMiddle(T& x1, T& x2, T& x3, T& x4) {
    const T d = (x2 - x1) * kInvSqrt2;
    const T s = (x4 + x3) * kInvSqrt2;
    x1 = x1 + x2;
    x2 = x4 - x3;
    x3 = 2.0f * (-s - d);
    x4 = 2.0f * (-s + d);
}

// The eight points of one L-shaped butterfly (or of W butterflies side by side): d1..d4 on the
// ascending column of the four quarter rows, d5..d8 on the descending one.
template <class T> struct Points { T d1, d2, d3, d4, d5, d6, d7, d8; };

template <class T, class C> inline void forwardButterfly(Points<T>& p, C cc1, C ss1, C cc3, C ss3) {
    const T t1 = p.d3 * cc1 + p.d7 * ss1;
    const T t2 = p.d7 * cc1 - p.d3 * ss1;
    const T u3 = p.d4 * cc3 + p.d8 * ss3;
    const T u4 = p.d8 * cc3 - p.d4 * ss3;
    const T t5 = t1 + u3, t6 = t2 + u4;
    const T t3 = t1 - u3, t4 = t2 - u4;
    const Points<T> in = p;
    p.d8 = in.d6 + t6;
    p.d3 = t6 - in.d6;
    p.d4 = in.d2 - t3;
    p.d7 = -in.d2 - t3;
    p.d1 = in.d1 + t5;
    p.d6 = in.d1 - t5;
    p.d2 = in.d5 + t4;
    p.d5 = in.d5 - t4;
}

template <class T, class C> inline void inverseButterfly(Points<T>& p, C cc1, C ss1, C cc3, C ss3) {
    const Points<T> in = p;
    T t1 = in.d1 - in.d6;
    p.d1 = in.d1 + in.d6;
    T t2 = in.d5 - in.d2;
    p.d5 = in.d5 + in.d2;
    const T t3 = in.d8 + in.d3;
    p.d6 = in.d8 - in.d3;
    T t4 = in.d4 + in.d7;
    p.d2 = in.d4 - in.d7;
    const T t5 = t1 - t4;
    t1 += t4;
    t4 = t2 - t3;
    t2 += t3;
    p.d3 = t5 * cc1 + t4 * ss1;
    p.d7 = -t4 * cc1 + t5 * ss1;
    p.d4 = t1 * cc3 - t2 * ss3;
    p.d8 = t2 * cc3 + t1 * ss3;
}

// ---- Nodes of up to 16 points, straight-line ------------------------------------------------

// The combining step of a node of N points (N = 4, 8, 16) held in v[0..N).
template <int N, bool Inverse, class T> inline void combine(T* v) {
    static_assert(N >= 4 && N <= kLeafLength);
    constexpr int n4 = N / 4, n8 = N / 8;
    if constexpr (Inverse) {
        inverseFirstColumn(v[0], v[n4], v[2 * n4], v[3 * n4]);
    } else {
        forwardFirstColumn(v[0], v[2 * n4], v[3 * n4]);
    }
    if constexpr (n8 >= 1) {
        if constexpr (Inverse) {
            inverseMiddle(v[n8], v[n4 + n8], v[2 * n4 + n8], v[3 * n4 + n8]);
        } else {
            forwardMiddle(v[n8], v[n4 + n8], v[2 * n4 + n8], v[3 * n4 + n8]);
        }
    }
    if constexpr (n8 >= 2) {
        static_assert(n8 == 2, "one twiddled column up to 16 points");
        const float cc1 = static_cast<float>(std::cos(2.0 * std::numbers::pi / N));
        const float ss1 = static_cast<float>(std::sin(2.0 * std::numbers::pi / N));
        const float cc3 = static_cast<float>(std::cos(3.0 * 2.0 * std::numbers::pi / N));
        const float ss3 = static_cast<float>(std::sin(3.0 * 2.0 * std::numbers::pi / N));
        constexpr int a = 1, b = n4 - 1; // ascending and descending column of j = 2
        Points<T> p{v[a], v[a + n4], v[a + 2 * n4], v[a + 3 * n4],
                    v[b], v[b + n4], v[b + 2 * n4], v[b + 3 * n4]};
        if constexpr (Inverse) {
            inverseButterfly(p, cc1, ss1, cc3, ss3);
        } else {
            forwardButterfly(p, cc1, ss1, cc3, ss3);
        }
        v[a] = p.d1, v[a + n4] = p.d2, v[a + 2 * n4] = p.d3, v[a + 3 * n4] = p.d4;
        v[b] = p.d5, v[b + n4] = p.d6, v[b + 2 * n4] = p.d7, v[b + 3 * n4] = p.d8;
    }
}

// A whole node of N points (its subtree of half and two quarter nodes, then its combining step).
template <int N, class T> inline void nodeForward(T* v) {
    if constexpr (N == 2) {
        const T a = v[0], b = v[1];
        v[0] = a + b;
        v[1] = a - b;
    } else if constexpr (N >= 4) {
        nodeForward<N / 2>(v);
        nodeForward<N / 4>(v + N / 2);
        nodeForward<N / 4>(v + 3 * N / 4);
        combine<N, false>(v);
    }
}
template <int N, class T> inline void nodeInverse(T* v) {
    if constexpr (N == 2) {
        const T a = v[0], b = v[1];
        v[0] = a + b;
        v[1] = a - b;
    } else if constexpr (N >= 4) {
        combine<N, true>(v);
        nodeInverse<N / 2>(v);
        nodeInverse<N / 4>(v + N / 2);
        nodeInverse<N / 4>(v + 3 * N / 4);
    }
}

// Aligned block q of 16 points is one 16-point node exactly when the number of trailing one bits
// of q is even (the split-radix tree places its 16-point nodes at q = 0 mod 2, 3 mod 8,
// 15 mod 32, ...); otherwise it holds two 8-point nodes.
inline bool isWholeLeaf(unsigned long q) {
    return (std::countr_one(q) & 1) == 0;
}

// Nodes of up to 16 points of a sequence of n <= 16 points, or of n > 16 points (per block of 16).
template <bool Inverse> void scalarLeaves(float* data, long n) {
    auto whole = [](float* v) {
        if constexpr (Inverse)
            nodeInverse<16>(v);
        else
            nodeForward<16>(v);
    };
    auto halves = [](float* v) {
        if constexpr (Inverse) {
            nodeInverse<8>(v), nodeInverse<8>(v + 8);
        } else {
            nodeForward<8>(v), nodeForward<8>(v + 8);
        }
    };
    switch (n) {
    case 2:
        return Inverse ? nodeInverse<2>(data) : nodeForward<2>(data);
    case 4:
        return Inverse ? nodeInverse<4>(data) : nodeForward<4>(data);
    case 8:
        return Inverse ? nodeInverse<8>(data) : nodeForward<8>(data);
    default:
        break;
    }
    for (long q = 0; q < n / kLeafLength; ++q) {
        float* v = data + q * kLeafLength;
        if (isWholeLeaf(static_cast<unsigned long>(q)))
            whole(v);
        else
            halves(v);
    }
}

// ---- Tile transposes ------------------------------------------------------------------------

inline void transposeTile(Vec4* r) {
    __m128 a = (__m128)r[0], b = (__m128)r[1], c = (__m128)r[2], d = (__m128)r[3];
    _MM_TRANSPOSE4_PS(a, b, c, d);
    r[0] = (Vec4)a, r[1] = (Vec4)b, r[2] = (Vec4)c, r[3] = (Vec4)d;
}

#if defined(__AVX__)
inline void transposeTile(Vec8* r) {
    __m256 t[8], s[8];
    for (int k = 0; k < 4; ++k) {
        t[2 * k] = _mm256_unpacklo_ps((__m256)r[2 * k], (__m256)r[2 * k + 1]);
        t[2 * k + 1] = _mm256_unpackhi_ps((__m256)r[2 * k], (__m256)r[2 * k + 1]);
    }
    for (int h = 0; h < 2; ++h) {
        const __m256* u = t + 4 * h;
        s[4 * h + 0] = _mm256_shuffle_ps(u[0], u[2], _MM_SHUFFLE(1, 0, 1, 0));
        s[4 * h + 1] = _mm256_shuffle_ps(u[0], u[2], _MM_SHUFFLE(3, 2, 3, 2));
        s[4 * h + 2] = _mm256_shuffle_ps(u[1], u[3], _MM_SHUFFLE(1, 0, 1, 0));
        s[4 * h + 3] = _mm256_shuffle_ps(u[1], u[3], _MM_SHUFFLE(3, 2, 3, 2));
    }
    for (int k = 0; k < 4; ++k) {
        r[k] = (Vec8)_mm256_permute2f128_ps(s[k], s[k + 4], 0x20);
        r[k + 4] = (Vec8)_mm256_permute2f128_ps(s[k], s[k + 4], 0x31);
    }
}
#endif

constexpr uint32_t reverseBits(uint32_t v, int bits) {
    uint32_t r = 0;
    for (int b = 0; b < bits; ++b)
        r |= ((v >> b) & 1u) << (bits - 1 - b);
    return r;
}

// ---- Bit-reversal permutation -----------------------------------------------------------------

// Plain swaps, for any length; j runs as the bit-reversed counterpart of i.
inline void bitReverseScalar(float* data, long n) {
    long j = 0;
    for (long i = 0; i < n - 1; ++i) {
        if (i < j) std::swap(data[i], data[j]);
        long bit = n >> 1;
        while (bit <= j) {
            j -= bit;
            bit >>= 1;
        }
        j += bit;
    }
}

// Tiles of W x W for n >= W^2. An index is a·n/W + b·W + c (a and c of log2 W bits); its
// reversal is rev(c)·n/W + rev(b)·W + rev(a). Tile b (rows a, columns c) goes transposed to
// tile rev(b), with rows and columns taken in bit-reversed order.
template <class V> void bitReverseTiles(float* data, long n) {
    constexpr int W = VecTraits<V>::kLanes;
    constexpr int k = std::countr_zero(static_cast<unsigned>(W));
    const int bits = std::countr_zero(static_cast<unsigned long>(n));
    const int middleBits = bits - 2 * k;
    const long rowStride = n / W;
    constexpr auto revK = [] {
        struct {
            int v[W];
        } table{};
        for (int i = 0; i < W; ++i)
            table.v[i] = static_cast<int>(reverseBits(static_cast<uint32_t>(i), k));
        return table;
    }();
    auto loadTile = [&](long b, V* rows) {
        for (int a = 0; a < W; ++a)
            rows[a] = load<V>(data + revK.v[a] * rowStride + b * W);
        transposeTile(rows);
    };
    auto storeTile = [&](long b, const V* rows) {
        for (int c = 0; c < W; ++c)
            store(data + c * rowStride + b * W, rows[revK.v[c]]);
    };
    const long middleCount = 1L << middleBits;
    for (long b = 0; b < middleCount; ++b) {
        const long rb = reverseBits(static_cast<uint32_t>(b), middleBits);
        if (rb < b) continue;
        V first[W];
        loadTile(b, first);
        if (rb == b) {
            storeTile(b, first);
            continue;
        }
        V second[W];
        loadTile(rb, second);
        storeTile(rb, first);
        storeTile(b, second);
    }
}

// ---- Nodes of up to 16 points, W blocks at a time ---------------------------------------------

template <bool Inverse, class V> void vectorLeaves(float* data, long n) {
    using Traits = VecTraits<V>;
    using Mask = typename Traits::Mask;
    constexpr int W = Traits::kLanes;
    constexpr int kTiles = kLeafLength / W;
    for (long q0 = 0; q0 < n / kLeafLength; q0 += W) {
        float* group = data + q0 * kLeafLength;
        V v[kLeafLength];
        for (int t = 0; t < kTiles; ++t) {
            V* rows = v + t * W;
            for (int l = 0; l < W; ++l)
                rows[l] = load<V>(group + l * kLeafLength + t * W);
            transposeTile(rows);
        }
        V whole[kLeafLength], halves[kLeafLength];
        for (long p = 0; p < kLeafLength; ++p)
            whole[p] = halves[p] = v[p];
        if constexpr (Inverse) {
            nodeInverse<16>(whole);
            nodeInverse<8>(halves);
            nodeInverse<8>(halves + 8);
        } else {
            nodeForward<16>(whole);
            nodeForward<8>(halves);
            nodeForward<8>(halves + 8);
        }
        Mask isWhole;
        for (int l = 0; l < W; ++l)
            isWhole[l] = isWholeLeaf(static_cast<unsigned long>(q0 + l)) ? -1 : 0;
        for (long p = 0; p < kLeafLength; ++p)
            v[p] = (V)(((Mask)whole[p] & isWhole) | ((Mask)halves[p] & ~isWhole));
        for (int t = 0; t < kTiles; ++t) {
            V* rows = v + t * W;
            transposeTile(rows);
            for (int l = 0; l < W; ++l)
                store(group + l * kLeafLength + t * W, rows[l]);
        }
    }
}

// ---- Stages of 32 points and more -------------------------------------------------------------

// Calls visit(i) for the start of every block of a stage of block length n2, in the index
// pattern of the split-radix decomposition (every other block, then the blocks between, ...).
template <class Visit> inline void forEachBlock(long n, long n2, Visit visit) {
    long i = 0, step = n2 << 1;
    do {
        for (; i < n; i += step)
            visit(i);
        step <<= 1;
        i = step - n2;
        step <<= 1;
    } while (i < n);
}

// cos and sin of one angle, in double precision.
struct Angle {
    double cos, sin;
    Angle doubled() const { return {1.0 - 2.0 * sin * sin, 2.0 * sin * cos}; }
    Angle tripled() const { return {cos * (4.0 * cos * cos - 3.0), sin * (3.0 - 4.0 * sin * sin)}; }
};

// cos and sin of m·angle for m = 1, 2, ..., four at a time: lane l holds (m + l)·angle and every
// lane advances by 4·angle, so the four rotations are independent (no long dependency chain).
struct Rotor4 {
    static constexpr int kLanes = 4;
    explicit Rotor4(Angle angle) {
        const Angle second = angle.doubled();
        const Angle lanes[kLanes] = {angle, second, angle.tripled(), second.doubled()};
        for (int l = 0; l < kLanes; ++l) {
            cos[l] = lanes[l].cos;
            sin[l] = lanes[l].sin;
        }
        step = second.doubled();
    }
    void advance() {
        for (int l = 0; l < kLanes; ++l) {
            const double c = cos[l] * step.cos - sin[l] * step.sin;
            sin[l] = sin[l] * step.cos + cos[l] * step.sin;
            cos[l] = c;
        }
    }
    double cos[kLanes], sin[kLanes];
    Angle step;
};

// The twiddles of one stage (angle 2pi/n2), handed out in consecutive runs of a multiple of 4.
class StageTwiddles {
  public:
    explicit StageTwiddles(long n2) : one_(unitAngle(n2)), three_(unitAngle(n2).tripled()) {}
    void next(long count, float* cc1, float* ss1, float* cc3, float* ss3) {
        for (long t = 0; t < count; t += Rotor4::kLanes) {
            for (int l = 0; l < Rotor4::kLanes; ++l) {
                cc1[t + l] = static_cast<float>(one_.cos[l]);
                ss1[t + l] = static_cast<float>(one_.sin[l]);
                cc3[t + l] = static_cast<float>(three_.cos[l]);
                ss3[t + l] = static_cast<float>(three_.sin[l]);
            }
            one_.advance();
            three_.advance();
        }
    }

  private:
    static Angle unitAngle(long n2) {
        const double radians = 2.0 * std::numbers::pi / static_cast<double>(n2);
        return {std::cos(radians), std::sin(radians)};
    }
    Rotor4 one_, three_;
};

// The butterflies of one stage for columns j = first ... first+count-1 (count a multiple of the
// vector width) of every block, with their twiddles; when withEnds, the range reaches the middle
// column and the first and middle columns are computed here too.
template <bool Inverse, class V>
void stageColumns(float* data, long n, long n2, long first, long count, const float* cc1,
                  const float* ss1, const float* cc3, const float* ss3, bool withEnds) {
    constexpr int W = VecTraits<V>::kLanes;
    const long n4 = n2 >> 2, n8 = n2 >> 3;
    forEachBlock(n, n2, [=](long i) {
        float* x = data + i;
        float middle[4] = {};
        if (withEnds) {
            for (int r = 0; r < 4; ++r)
                middle[r] = x[n8 + r * n4];
        }
        for (long t = 0; t < count; t += W) {
            const long j = first + t;
            float* a = x + j - 1;                // ascending columns
            float* b = x + n4 - j + 1 - (W - 1); // descending columns
            Points<V> p{load<V>(a),
                        load<V>(a + n4),
                        load<V>(a + 2 * n4),
                        load<V>(a + 3 * n4),
                        VecTraits<V>::reversed(load<V>(b)),
                        VecTraits<V>::reversed(load<V>(b + n4)),
                        VecTraits<V>::reversed(load<V>(b + 2 * n4)),
                        VecTraits<V>::reversed(load<V>(b + 3 * n4))};
            const V c1 = load<V>(cc1 + t), s1 = load<V>(ss1 + t);
            const V c3 = load<V>(cc3 + t), s3 = load<V>(ss3 + t);
            if constexpr (Inverse) {
                inverseButterfly(p, c1, s1, c3, s3);
            } else {
                forwardButterfly(p, c1, s1, c3, s3);
            }
            store(a, p.d1);
            store(a + n4, p.d2);
            store(a + 2 * n4, p.d3);
            store(a + 3 * n4, p.d4);
            store(b, VecTraits<V>::reversed(p.d5));
            store(b + n4, VecTraits<V>::reversed(p.d6));
            store(b + 2 * n4, VecTraits<V>::reversed(p.d7));
            store(b + 3 * n4, VecTraits<V>::reversed(p.d8));
        }
        if (withEnds) {
            if constexpr (Inverse) {
                inverseFirstColumn(x[0], x[n4], x[2 * n4], x[3 * n4]);
                inverseMiddle(middle[0], middle[1], middle[2], middle[3]);
            } else {
                forwardFirstColumn(x[0], x[2 * n4], x[3 * n4]);
                forwardMiddle(middle[0], middle[1], middle[2], middle[3]);
            }
            for (int r = 0; r < 4; ++r)
                x[n8 + r * n4] = middle[r];
        }
    });
}

// One stage of block length n2 >= 32, with the widest vector that fits n8.
template <bool Inverse, class VWide>
void stage(float* data, long n, long n2, const float* twiddles) {
    const long n8 = n2 >> 3;
    auto run = [&](long first, long count, const float* cc1, const float* ss1, const float* cc3,
                   const float* ss3, bool withEnds) {
        if (n8 >= VecTraits<VWide>::kLanes) {
            stageColumns<Inverse, VWide>(data, n, n2, first, count, cc1, ss1, cc3, ss3, withEnds);
        } else {
            stageColumns<Inverse, Vec4>(data, n, n2, first, count, cc1, ss1, cc3, ss3, withEnds);
        }
    };
    if (twiddles) {
        const float* t = twiddles + twiddleOffset(n2);
        run(2, n8, t, t + n8, t + 2 * n8, t + 3 * n8, true);
        return;
    }
    // No table: the twiddles are made in chunks on the stack.
    StageTwiddles source(n2);
    float chunk[4][kTwiddleChunk];
    for (long first = 2; first <= n8 + 1; first += kTwiddleChunk) {
        const long count = std::min(kTwiddleChunk, n8 + 2 - first);
        source.next(count, chunk[0], chunk[1], chunk[2], chunk[3]);
        run(first, count, chunk[0], chunk[1], chunk[2], chunk[3], first + count > n8);
    }
}

// ---- Whole transforms -------------------------------------------------------------------------

// Bit reversal and the nodes of up to 16 points, with the widest vector that n allows.
template <bool Inverse, class VWide> void leavesAndPermutation(float* data, long n) {
    auto run = [data, n]<class V>(V) {
        if constexpr (!Inverse) bitReverseTiles<V>(data, n);
        vectorLeaves<Inverse, V>(data, n);
        if constexpr (Inverse) bitReverseTiles<V>(data, n);
    };
    if (n >= kLeafLength * VecTraits<VWide>::kLanes) {
        run(VWide{});
    } else if (n >= kLeafLength * VecTraits<Vec4>::kLanes) {
        run(Vec4{});
    } else {
        if constexpr (!Inverse) bitReverseScalar(data, n);
        scalarLeaves<Inverse>(data, n);
        if constexpr (Inverse) bitReverseScalar(data, n);
    }
}

template <class VWide> void forward(float* data, long n, const float* twiddles) {
    leavesAndPermutation<false, VWide>(data, n);
    for (long n2 = kFirstTwiddledStage; n2 <= n; n2 <<= 1)
        stage<false, VWide>(data, n, n2, twiddles);
}

template <class VWide> void inverse(float* data, long n, const float* twiddles) {
    for (long n2 = n; n2 >= kFirstTwiddledStage; n2 >>= 1)
        stage<true, VWide>(data, n, n2, twiddles);
    leavesAndPermutation<true, VWide>(data, n);
}

} // namespace
} // namespace orq::dsp::real_fft_kernels
