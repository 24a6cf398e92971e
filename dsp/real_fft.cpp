// Split-radix real FFT (decimation in time, real input): bit-reversal permutation, length-2
// butterflies, then L-shaped butterflies on blocks of growing length. The inverse runs the
// transposed stages in reverse order and ends with the bit-reversal permutation.
//
// Within a stage of block length n2 the L-shaped butterfly of index j (2 <= j <= n2/8) touches
// the points i+j-1 + {0, 1, 2, 3}·n2/4 and i+n2/4-j+1 + {0, 1, 2, 3}·n2/4 of block i. Four
// consecutive j therefore read four consecutive floats ascending and four descending, so the
// butterflies run on 4-float vectors (descending groups reversed) with a scalar remainder.
// Twiddles cos/sin of (j-1)·2pi/n2 and 3(j-1)·2pi/n2 are advanced by rotation in double
// precision and kept for a chunk of j on the stack; the functions allocate nothing.
#include "dsp/real_fft.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <cmath>
#include <cstring>
#include <numbers>
#include <utility>

namespace orq::dsp {
namespace {

using Vec4 = float __attribute__((vector_size(16)));
using Idx4 = int __attribute__((vector_size(16)));

constexpr float kInvSqrt2 = static_cast<float>(1.0 / std::numbers::sqrt2);
constexpr int kMinLength = 2;
constexpr long kLanes = 4;          // j per vector
constexpr long kTwiddleChunk = 128; // j per stack table of twiddles
// Longest sequence permuted through a stack copy (16 KiB); longer ones are permuted in place.
constexpr uint32_t kStackPermutationFloats = 4096;
constexpr int kLowBits = 4; // index bits reversed through a per-call table of offsets
constexpr uint32_t kLowCount = 1u << kLowBits;

bool isPowerOfTwo(int n) {
    return n >= kMinLength && (n & (n - 1)) == 0;
}

// Bit reversal of one byte, a compile-time table so that reversing an index takes no branches.
constexpr std::array<uint8_t, 256> kReversedBytes = [] {
    std::array<uint8_t, 256> table{};
    for (unsigned v = 0; v < 256; ++v) {
        unsigned r = 0;
        for (int b = 0; b < 8; ++b)
            r |= ((v >> b) & 1u) << (7 - b);
        table[v] = static_cast<uint8_t>(r);
    }
    return table;
}();

inline uint32_t reverse32(uint32_t v) {
    return (uint32_t{kReversedBytes[v & 0xffu]} << 24) |
           (uint32_t{kReversedBytes[(v >> 8) & 0xffu]} << 16) |
           (uint32_t{kReversedBytes[(v >> 16) & 0xffu]} << 8) | uint32_t{kReversedBytes[v >> 24]};
}

void bitReverse(float* data, long n) {
    int bits = 0;
    while ((1L << bits) < n)
        ++bits;
    const int shift = 32 - bits;
    const uint32_t count = static_cast<uint32_t>(n);
    if (count <= kStackPermutationFloats && bits >= kLowBits) {
        // Out of place through the stack: no loop-carried memory dependences, so the loads and
        // stores pipeline freely. With i = 16·high + low, rev(i) = rev(low)·2^(bits-4) +
        // rev(high), so only the high part is reversed per group of sixteen.
        float copy[kStackPermutationFloats];
        std::memcpy(copy, data, sizeof(float) * count);
        uint32_t lowOffsets[kLowCount];
        for (uint32_t low = 0; low < kLowCount; ++low) {
            lowOffsets[low] = (reverse32(low) >> (32 - kLowBits)) << (bits - kLowBits);
        }
        const int highShift = 32 - (bits - kLowBits);
        for (uint32_t high = 0; high < count / kLowCount; ++high) {
            const uint32_t reversedHigh = bits > kLowBits ? reverse32(high) >> highShift : 0;
            const float* source = copy + high * kLowCount;
            for (uint32_t low = 0; low < kLowCount; ++low) {
                data[reversedHigh + lowOffsets[low]] = source[low];
            }
        }
        return;
    }
    for (uint32_t i = 1; i < count - 1; ++i) {
        const uint32_t j = reverse32(i) >> shift;
        if (i < j) std::swap(data[i], data[j]);
    }
}

// Calls visit(i) for the start of every block of a stage of block length n2, in the index
// pattern of the split-radix decomposition (every other block, then the blocks between, ...).
template <class Visit> void forEachBlock(long n, long n2, Visit visit) {
    long i = 0, step = n2 << 1;
    do {
        for (; i < n; i += step)
            visit(i);
        step <<= 1;
        i = step - n2;
        step <<= 1;
    } while (i < n);
}

// Sum and difference of neighbouring pairs at the positions the split-radix pattern visits.
void lengthTwoButterflies(float* data, long n) {
    forEachBlock(n, 2, [data](long i0) {
        const float a = data[i0], b = data[i0 + 1];
        data[i0] = a + b;
        data[i0 + 1] = a - b;
    });
}

// cos and sin of one angle, in double precision.
struct Angle {
    double cos, sin;
    Angle halved() const {
        const double c = std::sqrt(0.5 * (1.0 + cos)); // the angles here lie in (0, pi/2]
        return {c, sin / (2.0 * c)};
    }
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

// Twiddles of up to kTwiddleChunk consecutive j, filled four at a time.
struct TwiddleChunk {
    static constexpr long kSize = kTwiddleChunk + Rotor4::kLanes;
    float cc1[kSize], ss1[kSize], cc3[kSize], ss3[kSize];
};

// The eight points of one butterfly (or of four butterflies side by side).
template <class T> struct Points { T d1, d2, d3, d4, d5, d6, d7, d8; };

template <class T> void forwardButterfly(Points<T>& p, T cc1, T ss1, T cc3, T ss3) {
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

template <class T> void inverseButterfly(Points<T>& p, T cc1, T ss1, T cc3, T ss3) {
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

inline Vec4 load(const float* p) {
    Vec4 v;
    std::memcpy(&v, p, sizeof v);
    return v;
}
inline void store(float* p, Vec4 v) {
    std::memcpy(p, &v, sizeof v);
}
inline Vec4 reversed(Vec4 v) {
    return __builtin_shuffle(v, Idx4{3, 2, 1, 0});
}

// The L-shaped butterflies with twiddles (2 <= j <= n8) of one stage.
// unit: the angle 2 pi / n2.
template <bool Inverse> void twiddledButterflies(float* data, long n, long n2, Angle unit) {
    const long n4 = n2 >> 2;
    const long n8 = n2 >> 3;
    if (n8 < 2) return;
    Rotor4 one(unit), three(unit.tripled());
    TwiddleChunk tw;
    for (long first = 2; first <= n8; first += kTwiddleChunk) {
        const long last = std::min(n8, first + kTwiddleChunk - 1);
        for (long t = 0; t <= last - first; t += Rotor4::kLanes) {
            for (int l = 0; l < Rotor4::kLanes; ++l) {
                tw.cc1[t + l] = static_cast<float>(one.cos[l]);
                tw.ss1[t + l] = static_cast<float>(one.sin[l]);
                tw.cc3[t + l] = static_cast<float>(three.cos[l]);
                tw.ss3[t + l] = static_cast<float>(three.sin[l]);
            }
            one.advance();
            three.advance();
        }
        forEachBlock(n, n2, [&](long i) {
            long j = first;
            for (; j + kLanes - 1 <= last; j += kLanes) {
                const long t = j - first;
                float* a = data + i + j - 1;                     // ascending groups
                float* b = data + i + n4 - j + 1 - (kLanes - 1); // descending groups
                Points<Vec4> p{load(a),
                               load(a + n4),
                               load(a + 2 * n4),
                               load(a + 3 * n4),
                               reversed(load(b)),
                               reversed(load(b + n4)),
                               reversed(load(b + 2 * n4)),
                               reversed(load(b + 3 * n4))};
                const Vec4 cc1 = load(tw.cc1 + t), ss1 = load(tw.ss1 + t);
                const Vec4 cc3 = load(tw.cc3 + t), ss3 = load(tw.ss3 + t);
                if constexpr (Inverse) {
                    inverseButterfly(p, cc1, ss1, cc3, ss3);
                } else {
                    forwardButterfly(p, cc1, ss1, cc3, ss3);
                }
                store(a, p.d1);
                store(a + n4, p.d2);
                store(a + 2 * n4, p.d3);
                store(a + 3 * n4, p.d4);
                store(b, reversed(p.d5));
                store(b + n4, reversed(p.d6));
                store(b + 2 * n4, reversed(p.d7));
                store(b + 3 * n4, reversed(p.d8));
            }
            for (; j <= last; ++j) {
                const long t = j - first;
                const long j1 = i + j - 1, j2 = j1 + n4, j3 = j2 + n4, j4 = j3 + n4;
                const long j5 = i + n4 - j + 1, j6 = j5 + n4, j7 = j6 + n4, j8 = j7 + n4;
                Points<float> p{data[j1], data[j2], data[j3], data[j4],
                                data[j5], data[j6], data[j7], data[j8]};
                if constexpr (Inverse) {
                    inverseButterfly(p, tw.cc1[t], tw.ss1[t], tw.cc3[t], tw.ss3[t]);
                } else {
                    forwardButterfly(p, tw.cc1[t], tw.ss1[t], tw.cc3[t], tw.ss3[t]);
                }
                data[j1] = p.d1;
                data[j2] = p.d2;
                data[j3] = p.d3;
                data[j4] = p.d4;
                data[j5] = p.d5;
                data[j6] = p.d6;
                data[j7] = p.d7;
                data[j8] = p.d8;
            }
        });
    }
}

} // namespace

void realFftForward(float* data, int length) {
    if (!data || !isPowerOfTwo(length)) return;
    const long n = length;
    bitReverse(data, n);
    lengthTwoButterflies(data, n);

    // The stage angle 2 pi / n2 starts at pi/2 and is halved from stage to stage.
    Angle unit{0.0, 1.0};
    for (long n2 = 4; n2 <= n; n2 <<= 1, unit = unit.halved()) {
        const long n4 = n2 >> 2;
        const long n8 = n2 >> 3;
        // Butterflies without twiddles (j = 0 and j = n8).
        forEachBlock(n, n2, [=](long i1) {
            long i2 = i1 + n4, i3 = i2 + n4, i4 = i3 + n4;
            const float t1 = data[i4] + data[i3];
            data[i4] -= data[i3];
            data[i3] = data[i1] - t1;
            data[i1] += t1;
            if (n4 != 1) {
                const long i0 = i1 + n8;
                i2 += n8;
                i3 += n8;
                i4 += n8;
                const float s = (data[i3] + data[i4]) * kInvSqrt2;
                const float d = (data[i3] - data[i4]) * kInvSqrt2;
                data[i4] = data[i2] - s;
                data[i3] = -data[i2] - s;
                data[i2] = data[i0] - d;
                data[i0] += d;
            }
        });
        twiddledButterflies<false>(data, n, n2, unit);
    }
}

void realFftInverse(float* data, int length) {
    if (!data || !isPowerOfTwo(length)) return;
    const long n = length;

    // The stage angle 2 pi / n2 starts at 2 pi / n and is doubled from stage to stage.
    const double smallest = 2.0 * std::numbers::pi / static_cast<double>(n);
    Angle unit{std::cos(smallest), std::sin(smallest)};
    for (long n2 = n; n2 >= 4; n2 >>= 1, unit = unit.doubled()) {
        const long n4 = n2 >> 2;
        const long n8 = n2 >> 3;
        forEachBlock(n, n2, [=](long i1) {
            long i2 = i1 + n4, i3 = i2 + n4, i4 = i3 + n4;
            const float t1 = data[i1] - data[i3];
            data[i1] += data[i3];
            data[i2] *= 2.0f;
            data[i3] = t1 - 2.0f * data[i4];
            data[i4] = t1 + 2.0f * data[i4];
            if (n4 != 1) {
                const long i0 = i1 + n8;
                i2 += n8;
                i3 += n8;
                i4 += n8;
                const float d = (data[i2] - data[i0]) * kInvSqrt2;
                const float s = (data[i4] + data[i3]) * kInvSqrt2;
                data[i0] += data[i2];
                data[i2] = data[i4] - data[i3];
                data[i3] = 2.0f * (-s - d);
                data[i4] = 2.0f * (-s + d);
            }
        });
        twiddledButterflies<true>(data, n, n2, unit);
    }

    lengthTwoButterflies(data, n);
    bitReverse(data, n);
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
