#include "dsp/fft_plan.h"

#include "dsp/cpu_features.h"
#include "dsp/fft_kernels.h"
#include "dsp/lane4.h"

#include <cmath>
#include <cstring>
#include <new>
#include <numbers>

namespace orq::dsp {
namespace {

namespace kernels = fft_kernels;

constexpr int kNarrowWidth = 4; // floats per vector of the baseline kernels
constexpr int kWideWidth = 8;   // floats per vector of the AVX2 kernels

// Writes the twiddle layout of the kernels (see fft_kernels.h) for points j .. j + width/2 - 1
// of w = e^(-2 pi i·k·step/size).
void writeTwiddleGroup(float* out, int width, size_t j, size_t step, size_t size) {
    const double unit = -2.0 * std::numbers::pi / static_cast<double>(size);
    for (int p = 0; p < width / 2; ++p) {
        const double angle = unit * static_cast<double>((j + p) * step % size);
        const float wr = static_cast<float>(std::cos(angle));
        const float wi = static_cast<float>(std::sin(angle));
        out[2 * p] = wr;
        out[2 * p + 1] = wr;
        out[width + 2 * p] = -wi;
        out[width + 2 * p + 1] = wi;
    }
}

size_t twiddleFloats(int log2Size, int width) {
    if (log2Size < 2) return 0;
    const size_t size = size_t{1} << log2Size;
    const size_t pointsPerVec = static_cast<size_t>(width / 2);
    const size_t radix2 = 2 * static_cast<size_t>(width);
    const size_t radix4 = 6 * static_cast<size_t>(width);
    size_t floats = (log2Size % 2 == 1) ? (size / 2 / pointsPerVec) * radix2 : 0;
    for (size_t len = (log2Size % 2 == 1) ? size / 2 : size; len > kernels::kLastStageSize;
         len /= 4) {
        floats += (len / 4 / pointsPerVec) * radix4;
    }
    return floats;
}

void writeTwiddles(float* w, int log2Size, int width) {
    const size_t size = size_t{1} << log2Size;
    const size_t pointsPerVec = static_cast<size_t>(width / 2);
    size_t len = size;
    if (log2Size % 2 == 1) {
        for (size_t j = 0; j < size / 2; j += pointsPerVec, w += 2 * width) {
            writeTwiddleGroup(w, width, j, 1, size);
        }
        len = size / 2;
    }
    for (; len > kernels::kLastStageSize; len /= 4) {
        for (size_t j = 0; j < len / 4; j += pointsPerVec, w += 6 * width) {
            writeTwiddleGroup(w, width, j, 1, len);
            writeTwiddleGroup(w + 2 * width, width, j, 2, len);
            writeTwiddleGroup(w + 4 * width, width, j, 3, len);
        }
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

// From 16 points up the bit reversal moves tiles of 4 x 4 points (see bitReverse): its list
// holds the tile pairs (b, rev(b)) over the middle bits with b <= rev(b). Below, single points
// (i, rev(i)) with i < rev(i).
constexpr int kTileBits = 2;
constexpr int kTileSide = 1 << kTileBits;

bool tiledReversal(int log2Size) {
    return log2Size >= 2 * kTileBits;
}

int swapListBits(int log2Size) {
    return tiledReversal(log2Size) ? log2Size - 2 * kTileBits : log2Size;
}

bool listed(uint32_t i, uint32_t reversed, int log2Size) {
    return tiledReversal(log2Size) ? i <= reversed : i < reversed;
}

size_t swapPairCount(int log2Size) {
    size_t count = 0;
    const int bits = swapListBits(log2Size);
    for (uint32_t i = 0; i < (uint32_t{1} << bits); ++i) {
        if (listed(i, reverseBits(i, bits), log2Size)) ++count;
    }
    return count;
}

} // namespace

bool ComplexFftPlan::wideKernelsSupported() {
#if defined(ORQ_DSP_WIDE_KERNELS)
    return hasAvx2Fma();
#else
    return false;
#endif
}

size_t ComplexFftPlan::tableBytes(int log2Size) {
    const size_t size = size_t{1} << log2Size;
    // Twiddles of the wider layout; the swap list exchanges at most half the points.
    return twiddleFloats(log2Size, kWideWidth) * sizeof(float) + size * sizeof(uint32_t);
}

std::unique_ptr<ComplexFftPlan> ComplexFftPlan::create(int log2Size) {
    return create(log2Size, wideKernelsSupported());
}

std::unique_ptr<ComplexFftPlan> ComplexFftPlan::create(int log2Size, bool wide) {
    wide = wide && wideKernelsSupported();
    std::unique_ptr<ComplexFftPlan> plan(new (std::nothrow) ComplexFftPlan(log2Size, wide));
    if (!plan) return nullptr;
    const int width = wide ? kWideWidth : kNarrowWidth;

    const size_t floats = twiddleFloats(log2Size, width);
    if (floats > 0) {
        plan->twiddles_.reset(new (std::nothrow) float[floats]);
        if (!plan->twiddles_) return nullptr;
        writeTwiddles(plan->twiddles_.get(), log2Size, width);
    }

    const size_t pairs = swapPairCount(log2Size);
    if (pairs > 0) {
        plan->swapPairs_.reset(new (std::nothrow) uint32_t[2 * pairs]);
        if (!plan->swapPairs_) return nullptr;
        uint32_t* p = plan->swapPairs_.get();
        const int bits = swapListBits(log2Size);
        for (uint32_t i = 0; i < (uint32_t{1} << bits); ++i) {
            const uint32_t r = reverseBits(i, bits);
            if (listed(i, r, log2Size)) {
                *p++ = i;
                *p++ = r;
            }
        }
    }
    plan->swapPairCount_ = pairs;
    return plan;
}

// Sizes 1 and 2 have no vector stages: nothing to do, or one butterfly.
void ComplexFftPlan::forward(float* data) const {
    if (log2Size_ < 2) {
        if (log2Size_ == 1) inverse(data);
        return;
    }
    if (wide_) {
        kernels::butterflyStagesWideForward(data, twiddles_.get(), log2Size_);
    } else {
        kernels::butterflyStages<kNarrowWidth, false>(data, twiddles_.get(), log2Size_);
    }
    bitReverse(data);
}

void ComplexFftPlan::inverse(float* data) const {
    if (log2Size_ < 2) {
        if (log2Size_ == 1) {
            const float ar = data[0], ai = data[1], br = data[2], bi = data[3];
            data[0] = ar + br;
            data[1] = ai + bi;
            data[2] = ar - br;
            data[3] = ai - bi;
        }
        return;
    }
    if (wide_) {
        kernels::butterflyStagesWideInverse(data, twiddles_.get(), log2Size_);
    } else {
        kernels::butterflyStages<kNarrowWidth, true>(data, twiddles_.get(), log2Size_);
    }
    bitReverse(data);
}

// Each complex value moves as one 8-byte unit. From 16 points up, an index is
// a·M/4 + b·4 + c (a and c of two bits) and its reversal rev(c)·M/4 + rev(b)·4 + rev(a): tile b
// (rows a, columns c) goes transposed to tile rev(b), rows and columns taken in bit-reversed
// order. Both tiles of a pair are read before either is written.
void ComplexFftPlan::bitReverse(float* data) const {
    const uint32_t* pair = swapPairs_.get();
    if (!tiledReversal(log2Size_)) {
        for (size_t s = 0; s < swapPairCount_; ++s, pair += 2) {
            float* a = data + 2 * size_t{pair[0]};
            float* b = data + 2 * size_t{pair[1]};
            uint64_t va, vb;
            std::memcpy(&va, a, sizeof va);
            std::memcpy(&vb, b, sizeof vb);
            std::memcpy(a, &vb, sizeof vb);
            std::memcpy(b, &va, sizeof va);
        }
        return;
    }
    // Row a of a tile as two vectors of two points: (a, 0..1) and (a, 2..3).
    const size_t rowStride = size_t{2} << (log2Size_ - kTileBits); // floats between rows
    float* rows[kTileSide];
    for (int a = 0; a < kTileSide; ++a)
        rows[a] = data + static_cast<size_t>(a) * rowStride;
    using Tile = Lane4[2 * kTileSide];
    auto load = [&](size_t b, Tile& tile) {
        for (int a = 0; a < kTileSide; ++a) {
            tile[2 * a] = loadLane4(rows[a] + 2 * kTileSide * b);
            tile[2 * a + 1] = loadLane4(rows[a] + 2 * kTileSide * b + 4);
        }
    };
    // Row r of the stored tile is column rev(r) of the loaded one, its rows taken as 0, 2, 1, 3.
    auto store = [&](size_t b, const Tile& t) {
        const Mask4 firsts{0, 1, 4, 5}, seconds{2, 3, 6, 7};
        const Lane4 out[2 * kTileSide] = {
            __builtin_shuffle(t[0], t[4], firsts),  __builtin_shuffle(t[2], t[6], firsts),
            __builtin_shuffle(t[1], t[5], firsts),  __builtin_shuffle(t[3], t[7], firsts),
            __builtin_shuffle(t[0], t[4], seconds), __builtin_shuffle(t[2], t[6], seconds),
            __builtin_shuffle(t[1], t[5], seconds), __builtin_shuffle(t[3], t[7], seconds),
        };
        for (int r = 0; r < kTileSide; ++r) {
            storeLane4(rows[r] + 2 * kTileSide * b, out[2 * r]);
            storeLane4(rows[r] + 2 * kTileSide * b + 4, out[2 * r + 1]);
        }
    };
    for (size_t s = 0; s < swapPairCount_; ++s, pair += 2) {
        Tile first, second;
        load(pair[0], first);
        load(pair[1], second);
        store(pair[1], first);
        store(pair[0], second);
    }
}

size_t RealFftPlan::tableBytes(int order) {
    const size_t n = size_t{1} << order;
    return ComplexFftPlan::tableBytes(order - 1) + (n / 4 + 1) * 2 * sizeof(float) +
           sizeof(RealFftPlan) + sizeof(ComplexFftPlan);
}

std::unique_ptr<RealFftPlan> RealFftPlan::create(int order) {
    return create(order, ComplexFftPlan::wideKernelsSupported());
}

std::unique_ptr<RealFftPlan> RealFftPlan::create(int order, bool wide) {
    if (order < 1) return nullptr;
    auto half = ComplexFftPlan::create(order - 1, wide);
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

void RealFftPlan::forward(float* data) const {
    half_->forward(data);
    const size_t n = size_t{1} << order_;
    if (half_->wide()) {
        fft_kernels::splitForwardWide(data, splitTwiddles_.get(), n);
    } else {
        fft_kernels::splitForward<kNarrowWidth>(data, splitTwiddles_.get(), n);
    }
}

void RealFftPlan::inverse(float* data, float scale) const {
    const size_t n = size_t{1} << order_;
    if (half_->wide()) {
        fft_kernels::splitInverseWide(data, splitTwiddles_.get(), n, scale);
    } else {
        fft_kernels::splitInverse<kNarrowWidth>(data, splitTwiddles_.get(), n, scale);
    }
    half_->inverse(data);
}

} // namespace orq::dsp
