// Split-radix real FFT (decimation in time, real input): bit-reversal permutation, length-2
// butterflies, then L-shaped butterflies on blocks of growing length. The inverse runs the
// transposed stages in reverse order and ends with the bit-reversal permutation.
#include "dsp/real_fft.h"

#include <cmath>
#include <numbers>
#include <utility>

namespace orq::dsp {
namespace {

constexpr float kInvSqrt2 = static_cast<float>(1.0 / std::numbers::sqrt2);
constexpr int kMinLength = 2;

bool isPowerOfTwo(int n) {
    return n >= kMinLength && (n & (n - 1)) == 0;
}

void bitReverse(float* data, long n) {
    const long last = n - 1;
    for (long i = 0, j = 0; i < last; ++i) {
        if (i < j) std::swap(data[i], data[j]);
        long k = n / 2;
        while (k <= j) {
            j -= k;
            k >>= 1;
        }
        j += k;
    }
}

// Sum and difference of neighbouring pairs at the positions the split-radix index pattern
// visits (every fourth pair, then the pairs between, ...).
void lengthTwoButterflies(float* data, long n) {
    const long last = n - 1;
    long i0 = 0, step = 4;
    do {
        for (; i0 < last; i0 += step) {
            const float a = data[i0], b = data[i0 + 1];
            data[i0] = a + b;
            data[i0 + 1] = a - b;
        }
        step <<= 1;
        i0 = step - 2;
        step <<= 1;
    } while (i0 < last);
}

// cos and sin of j·angle for j = 1, 2, ..., advanced by rotation in double precision.
struct Rotor {
    explicit Rotor(double angle) : stepCos(std::cos(angle)), stepSin(std::sin(angle)) {}
    void advance() {
        const double c = cos * stepCos - sin * stepSin;
        sin = sin * stepCos + cos * stepSin;
        cos = c;
    }
    double stepCos, stepSin;
    double cos = 1.0, sin = 0.0;
};

} // namespace

void realFftForward(float* data, int length) {
    if (!isPowerOfTwo(length)) return;
    const long n = length;
    bitReverse(data, n);
    lengthTwoButterflies(data, n);

    long n2 = 2;
    for (long k = n; k > 2; k >>= 1) {
        n2 <<= 1;
        const long n4 = n2 >> 2;
        const long n8 = n2 >> 3;
        const double angle = 2.0 * std::numbers::pi / static_cast<double>(n2);

        // Butterflies without twiddles (j = 0 and j = n8).
        long i1 = 0, step = n2 << 1;
        do {
            for (; i1 < n; i1 += step) {
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
            }
            step <<= 1;
            i1 = step - n2;
            step <<= 1;
        } while (i1 < n);

        Rotor one(angle), three(3.0 * angle);
        for (long j = 2; j <= n8; ++j) {
            one.advance();
            three.advance();
            const float cc1 = static_cast<float>(one.cos), ss1 = static_cast<float>(one.sin);
            const float cc3 = static_cast<float>(three.cos), ss3 = static_cast<float>(three.sin);
            long i = 0;
            step = n2 << 1;
            do {
                for (; i < n; i += step) {
                    const long j1 = i + j - 1, j2 = j1 + n4, j3 = j2 + n4, j4 = j3 + n4;
                    const long j5 = i + n4 - j + 1, j6 = j5 + n4, j7 = j6 + n4, j8 = j7 + n4;
                    float t1 = data[j3] * cc1 + data[j7] * ss1;
                    float t2 = data[j7] * cc1 - data[j3] * ss1;
                    float t3 = data[j4] * cc3 + data[j8] * ss3;
                    float t4 = data[j8] * cc3 - data[j4] * ss3;
                    const float t5 = t1 + t3, t6 = t2 + t4;
                    t3 = t1 - t3;
                    t4 = t2 - t4;
                    t2 = data[j6] + t6;
                    data[j3] = t6 - data[j6];
                    data[j8] = t2;
                    t2 = data[j2] - t3;
                    data[j7] = -data[j2] - t3;
                    data[j4] = t2;
                    t1 = data[j1] + t5;
                    data[j6] = data[j1] - t5;
                    data[j1] = t1;
                    t1 = data[j5] + t4;
                    data[j5] -= t4;
                    data[j2] = t1;
                }
                step <<= 1;
                i = step - n2;
                step <<= 1;
            } while (i < n);
        }
    }
}

void realFftInverse(float* data, int length) {
    if (!isPowerOfTwo(length)) return;
    const long n = length;
    const long last = n - 1;

    long n2 = n << 1;
    for (long k = n; k > 2; k >>= 1) {
        long step = n2;
        n2 >>= 1;
        const long n4 = n2 >> 2;
        const long n8 = n2 >> 3;
        const double angle = 2.0 * std::numbers::pi / static_cast<double>(n2);

        long i1 = 0;
        do {
            for (; i1 < n; i1 += step) {
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
            }
            step <<= 1;
            i1 = step - n2;
            step <<= 1;
        } while (i1 < last);

        Rotor one(angle), three(3.0 * angle);
        for (long j = 2; j <= n8; ++j) {
            one.advance();
            three.advance();
            const float cc1 = static_cast<float>(one.cos), ss1 = static_cast<float>(one.sin);
            const float cc3 = static_cast<float>(three.cos), ss3 = static_cast<float>(three.sin);
            long i = 0;
            step = n2 << 1;
            do {
                for (; i < n; i += step) {
                    const long j1 = i + j - 1, j2 = j1 + n4, j3 = j2 + n4, j4 = j3 + n4;
                    const long j5 = i + n4 - j + 1, j6 = j5 + n4, j7 = j6 + n4, j8 = j7 + n4;
                    float t1 = data[j1] - data[j6];
                    data[j1] += data[j6];
                    float t2 = data[j5] - data[j2];
                    data[j5] += data[j2];
                    const float t3 = data[j8] + data[j3];
                    data[j6] = data[j8] - data[j3];
                    float t4 = data[j4] + data[j7];
                    data[j2] = data[j4] - data[j7];
                    const float t5 = t1 - t4;
                    t1 += t4;
                    t4 = t2 - t3;
                    t2 += t3;
                    data[j3] = t5 * cc1 + t4 * ss1;
                    data[j7] = -t4 * cc1 + t5 * ss1;
                    data[j4] = t1 * cc3 - t2 * ss3;
                    data[j8] = t2 * cc3 + t1 * ss3;
                }
                step <<= 1;
                i = step - n2;
                step <<= 1;
            } while (i < last);
        }
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
