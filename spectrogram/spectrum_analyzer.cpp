#include "spectrogram/spectrum_analyzer.h"

#include "dsp/lane4.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <numbers>
#include <stdexcept>

namespace orq::spectrogram {

namespace {

// Input samples the low-band chain takes per pass, bounding its scratch buffers.
constexpr int32_t kLowBandChunk = 8192;
// The band limiter runs in blocks of at most this many decimated samples.
constexpr int32_t kBandLimitMaxBlock = 1024;

using dsp::Lane4;
using dsp::loadLane4;
using dsp::Mask4;
using dsp::storeLane4;

// out[2i] = a[i], out[2i + 1] = b[i] for i < count.
void interleave(const float* a, const float* b, float* out, size_t count) {
    size_t i = 0;
    for (; i + 4 <= count; i += 4) {
        const Lane4 va = loadLane4(a + i), vb = loadLane4(b + i);
        storeLane4(out + 2 * i, __builtin_shuffle(va, vb, Mask4{0, 4, 1, 5}));
        storeLane4(out + 2 * i + 4, __builtin_shuffle(va, vb, Mask4{2, 6, 3, 7}));
    }
    for (size_t rest = count % 4; rest > 0; --rest, ++i) {
        out[2 * i] = a[i];
        out[2 * i + 1] = b[i];
    }
}

// out[2i] = a[i]·w[i], out[2i + 1] = b[i]·w[i] for i < count.
void interleaveWindowed(const float* a, const float* b, const float* w, float* out, size_t count) {
    size_t i = 0;
    for (; i + 4 <= count; i += 4) {
        const Lane4 vw = loadLane4(w + i);
        const Lane4 va = loadLane4(a + i) * vw, vb = loadLane4(b + i) * vw;
        storeLane4(out + 2 * i, __builtin_shuffle(va, vb, Mask4{0, 4, 1, 5}));
        storeLane4(out + 2 * i + 4, __builtin_shuffle(va, vb, Mask4{2, 6, 3, 7}));
    }
    for (size_t rest = count % 4; rest > 0; --rest, ++i) {
        out[2 * i] = a[i] * w[i];
        out[2 * i + 1] = b[i] * w[i];
    }
}

// a[i] = in[2i], b[i] = in[2i + 1] for i < count.
void deinterleave(const float* in, float* a, float* b, size_t count) {
    size_t i = 0;
    for (; i + 4 <= count; i += 4) {
        const Lane4 lo = loadLane4(in + 2 * i), hi = loadLane4(in + 2 * i + 4);
        storeLane4(a + i, __builtin_shuffle(lo, hi, Mask4{0, 2, 4, 6}));
        storeLane4(b + i, __builtin_shuffle(lo, hi, Mask4{1, 3, 5, 7}));
    }
    for (size_t rest = count % 4; rest > 0; --rest, ++i) {
        a[i] = in[2 * i];
        b[i] = in[2 * i + 1];
    }
}

// z[k] ·= h[k] for the count interleaved complex values of z and h (count even).
void multiplyComplex(float* z, const float* h, size_t count) {
    const Lane4 signs{-1.0f, 1.0f, -1.0f, 1.0f};
    for (size_t i = 0; i < 2 * count; i += 4) {
        const Lane4 vz = loadLane4(z + i), vh = loadLane4(h + i);
        const Lane4 hr = __builtin_shuffle(vh, Mask4{0, 0, 2, 2});
        const Lane4 hi = __builtin_shuffle(vh, Mask4{1, 1, 3, 3});
        const Lane4 turned = __builtin_shuffle(vz, Mask4{1, 0, 3, 2});
        storeLane4(z + i, vz * hr + turned * hi * signs);
    }
}

} // namespace

OverlapSaveFir::OverlapSaveFir(const OverlapSaveCoefficients& coefficients)
    : c_(coefficients),
      line_(static_cast<size_t>(coefficients.historyLength + 2 * coefficients.segment), 0.0f),
      work_(2 * static_cast<size_t>(coefficients.length), 0.0f) {}

void OverlapSaveFir::reset() {
    std::fill(line_.begin(), line_.end(), 0.0f);
    pending_ = 0;
}

int32_t OverlapSaveFir::process(const float* input, int32_t count, float* output) {
    const int32_t pairLength = 2 * c_.segment;
    int32_t produced = 0;
    while (count > 0) {
        const int32_t take = std::min(count, pairLength - pending_);
        std::memcpy(line_.data() + c_.historyLength + pending_, input,
                    sizeof(float) * static_cast<size_t>(take));
        pending_ += take;
        input += take;
        count -= take;
        if (pending_ == pairLength) {
            filterPair(output + produced);
            produced += pairLength;
            pending_ = 0;
        }
    }
    return produced;
}

void OverlapSaveFir::filterPair(float* output) {
    const int32_t n = c_.length;
    const int32_t h = c_.historyLength;
    const int32_t s = c_.segment; // h + s = n: each half fills the transform exactly
    float* z = work_.data();
    float* line = line_.data();
    // Segment one: the history and the first s new samples; segment two: the h samples before
    // its own s new samples.
    interleave(line, line + s, z, static_cast<size_t>(n));
    c_.fft.forward(z);
    multiplyComplex(z, c_.spectrum.data(), static_cast<size_t>(n));
    c_.fft.inverse(z);
    deinterleave(z + 2 * h, output, output + s, static_cast<size_t>(s));
    std::memmove(line, line + 2 * s, sizeof(float) * static_cast<size_t>(h));
}

// DirectFir ---------------------------------------------------------------------------------

DirectFir::DirectFir(const float* taps, int32_t tapCount, int32_t maxBlock)
    : taps_(taps), tapCount_(tapCount), maxBlock_(maxBlock),
      line_(static_cast<size_t>(tapCount - 1 + maxBlock), 0.0f) {}

void DirectFir::reset() {
    std::fill(line_.begin(), line_.end(), 0.0f);
}

void DirectFir::process(const float* input, float* output, int32_t count) {
    const int32_t tapCount = tapCount_;
    const int32_t h = tapCount - 1;
    while (count > 0) {
        const int32_t block = std::min(count, maxBlock_);
        float* line = line_.data();
        std::memmove(line + h, input, sizeof(float) * static_cast<size_t>(block));
        std::fill(output, output + block, 0.0f);
        for (int32_t t = 0; t < tapCount; ++t) {
            const float tap = taps_[t];
            const float* x = line + h - t;
            for (int32_t i = 0; i < block; ++i)
                output[i] += tap * x[i];
        }
        std::memmove(line, line + block, sizeof(float) * static_cast<size_t>(h));
        input += block;
        output += block;
        count -= block;
    }
}

// Decimator ---------------------------------------------------------------------------------

int32_t Decimator::process(const float* input, int32_t count, float* output) {
    int32_t written = 0;
    int32_t i = phase_;
    for (; i < count; i += factor_)
        output[written++] = input[i];
    phase_ = i - count;
    return written;
}

// SpectrumAnalyzer --------------------------------------------------------------------------

SpectrumAnalyzer::SpectrumAnalyzer(const SpectrumAnalysisSetup& setup)
    : setup_(setup), ring_(static_cast<size_t>(kRingStorageRows) * kSpectrumBins, 0.0f),
      frame_(2 * static_cast<size_t>(kSpectrumFftLength), 0.0f),
      fullBlock_(kSpectrumFftLength, 0.0f), fullTail_(kFullBandHop, 0.0f),
      antiAliasFir_(setup.antiAliasCoefficients), decimator_(setup.antiAlias.decimation),
      bandLimitFir_(kBandLimitTaps, kBandLimitTapCount, kBandLimitMaxBlock),
      filtered_(static_cast<size_t>(kLowBandChunk + antiAliasFir_.pairLength()), 0.0f),
      decimated_(filtered_.size(), 0.0f), lowBlock_(kLowBandBlock, 0.0f),
      lowHistory_(kLowBandHistory, 0.0f) {}

void SpectrumAnalyzer::feed(const float* samples, int32_t count) {
    if (samples == nullptr || count <= 0) return;
    if (lowBand_) {
        feedLowBand(samples, count);
    } else {
        feedFullBand(samples, count);
    }
}

void SpectrumAnalyzer::setLowBand(bool lowBand) {
    lowBand_ = lowBand;
    setCapacity(lowBand ? kLowBandRingRows : kFullBandRingRows);
    clearInput();
}

void SpectrumAnalyzer::setCapacity(int32_t rows) {
    capacity_ = std::clamp(rows, 1, kRingStorageRows);
    if (pending_ > capacity_) {
        pending_ = capacity_;
        overflow_ = true;
    }
}

SpectrumAnalyzer::Collected SpectrumAnalyzer::collect() {
    Collected c{ring_.data(), pending_, overflow_};
    pending_ = 0;
    overflow_ = false;
    return c;
}

void SpectrumAnalyzer::clearInput() {
    fullFill_ = 0;
    lowFill_ = 0;
}

void SpectrumAnalyzer::resetInput() {
    fullFill_ = 0;
    lowFill_ = 0;
    std::fill(fullTail_.begin(), fullTail_.end(), 0.0f);
    std::fill(lowHistory_.begin(), lowHistory_.end(), 0.0f);
    antiAliasFir_.reset();
    bandLimitFir_.reset();
    decimator_.reset();
}

void SpectrumAnalyzer::feedFullBand(const float* samples, int32_t count) {
    while (count > 0) {
        const int32_t take = std::min(count, kSpectrumFftLength - fullFill_);
        std::memcpy(fullBlock_.data() + fullFill_, samples, sizeof(float) * take);
        fullFill_ += take;
        samples += take;
        count -= take;
        if (fullFill_ == kSpectrumFftLength) {
            analyseFullBandBlock();
            fullFill_ = 0;
        }
    }
}

void SpectrumAnalyzer::analyseFullBandBlock() {
    const float* w = setup_.fullWindow.data();
    const float* x = fullBlock_.data();
    float* z = frame_.data();
    // Frame A: the previous block's last half, then this block's first half. Frame B: this
    // block.
    interleaveWindowed(fullTail_.data(), x, w, z, kFullBandHop);
    interleaveWindowed(x, x + kFullBandHop, w + kFullBandHop, z + kSpectrumFftLength, kFullBandHop);
    std::memcpy(fullTail_.data(), x + kFullBandHop, sizeof(float) * kFullBandHop);
    transformAndStore();
}

void SpectrumAnalyzer::feedLowBand(const float* samples, int32_t count) {
    while (count > 0) {
        const int32_t chunk = std::min(count, kLowBandChunk);
        const int32_t filtered = antiAliasFir_.process(samples, chunk, filtered_.data());
        const int32_t kept = decimator_.process(filtered_.data(), filtered, decimated_.data());
        bandLimitFir_.process(decimated_.data(), decimated_.data(), kept);
        for (int32_t i = 0; i < kept;) {
            const int32_t take = std::min(kept - i, kLowBandBlock - lowFill_);
            std::memcpy(lowBlock_.data() + lowFill_, decimated_.data() + i, sizeof(float) * take);
            lowFill_ += take;
            i += take;
            if (lowFill_ == kLowBandBlock) {
                analyseLowBandBlock();
                lowFill_ = 0;
            }
        }
        samples += chunk;
        count -= chunk;
    }
}

void SpectrumAnalyzer::analyseLowBandBlock() {
    const float* w = setup_.lowWindow.data();
    float* y = lowBlock_.data();
    // Window both halves in place: u1 = y[0..768]·w, u2 = y[769..1537]·w.
    for (int32_t i = 0; i < kLowBandWindowLength; ++i) {
        y[i] *= w[i];
        y[kLowBandWindowLength + i] *= w[i];
    }
    const float* u1 = y;
    const float* u2 = y + kLowBandWindowLength;
    constexpr int32_t kTailStart = kLowBandWindowLength - kLowBandHistory;
    // Frame A: the history, then u1. Frame B: u1's last 255 samples, then u2.
    float* z = frame_.data();
    interleave(lowHistory_.data(), u1 + kTailStart, z, kLowBandHistory);
    interleave(u1, u2, z + 2 * kLowBandHistory, kLowBandWindowLength);
    std::memcpy(lowHistory_.data(), u2 + kTailStart, sizeof(float) * kLowBandHistory);
    transformAndStore();
}

float* SpectrumAnalyzer::nextRow() {
    if (++pending_ > capacity_) {
        pending_ = 1;
        overflow_ = true;
    }
    return ring_.data() + static_cast<size_t>(pending_ - 1) * kSpectrumBins;
}

// Z = FFT(a + i·b) of two real frames; A[k] = (Z[k] + conj Z[N−k]) / 2 and
// B[k] = (Z[k] − conj Z[N−k]) / (2i). The stored powers are P[0] = |X[0]|²,
// P[k] = 2·c·|X[k]|² (k = 1..N/2−1), P[N/2] = |X[N/2]|² with the imaginary part of bin N/2
// taken as zero.
void SpectrumAnalyzer::transformAndStore() {
    constexpr int32_t n = kSpectrumFftLength;
    constexpr int32_t half = n / 2;
    float* z = frame_.data();
    setup_.fft->forward(z);
    float* rowA = nextRow();
    float* rowB = nextRow();
    // With S = Z[k] + Z[N−k] and D = Z[k] − Z[N−k]: 2c·|A|² = (Re S² + Im D²)·c/2 and
    // 2c·|B|² = (Im S² + Re D²)·c/2.
    const float scale = 0.5f * kInteriorBinScale;
    rowA[0] = z[0] * z[0];
    rowB[0] = z[1] * z[1];
    int32_t k = 1;
    // Four bins at a time: Z[k..k+3] read forwards, Z[N−k..N−k−3] backwards, each loaded
    // pair of bins turned round.
    const Lane4 scales = dsp::splat(scale);
    for (; k + 4 <= half; k += 4) {
        const Lane4 u0 = loadLane4(z + 2 * k), u1 = loadLane4(z + 2 * k + 4);
        const Lane4 w0 = loadLane4(z + 2 * (n - k - 1)), w1 = loadLane4(z + 2 * (n - k - 3));
        const Lane4 v0 = __builtin_shuffle(w0, Mask4{2, 3, 0, 1});
        const Lane4 v1 = __builtin_shuffle(w1, Mask4{2, 3, 0, 1});
        const Lane4 s0 = u0 + v0, s1 = u1 + v1, d0 = u0 - v0, d1 = u1 - v1;
        const Lane4 ss0 = s0 * s0, ss1 = s1 * s1, dd0 = d0 * d0, dd1 = d1 * d1;
        const Mask4 even{0, 2, 4, 6}, odd{1, 3, 5, 7};
        storeLane4(rowA + k,
                   scales * (__builtin_shuffle(ss0, ss1, even) + __builtin_shuffle(dd0, dd1, odd)));
        storeLane4(rowB + k,
                   scales * (__builtin_shuffle(ss0, ss1, odd) + __builtin_shuffle(dd0, dd1, even)));
    }
    for (; k < half; ++k) {
        const float* p = z + 2 * k;
        const float* q = z + 2 * (n - k);
        const float sr = p[0] + q[0], si = p[1] + q[1];
        const float dr = p[0] - q[0], di = p[1] - q[1];
        rowA[k] = scale * (sr * sr + di * di);
        rowB[k] = scale * (si * si + dr * dr);
    }
    rowA[half] = z[n] * z[n];
    rowB[half] = z[n + 1] * z[n + 1];
}

} // namespace orq::spectrogram
