#include "spectrogram/spectrum_analyzer.h"

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

} // namespace

OverlapSaveFir::OverlapSaveFir(const OverlapSaveCoefficients& coefficients)
    : c_(coefficients),
      line_(static_cast<size_t>(coefficients.historyLength + 2 * coefficients.segment), 0.0f),
      workRe_(coefficients.fft.length(), 0.0f), workIm_(coefficients.fft.length(), 0.0f) {}

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
    const SplitRadixFft& fft = c_.fft;
    const int32_t n = fft.length();
    const int32_t h = c_.historyLength;
    const int32_t s = c_.segment; // h + s = n: each half fills the transform exactly
    float* re = workRe_.data();
    float* im = workIm_.data();
    const float* hr = c_.spectrumRe.data();
    const float* hi = c_.spectrumIm.data();
    float* line = line_.data();
    // Segment one: the history and the first s new samples; segment two: the h samples before
    // its own s new samples.
    std::memcpy(re, line, sizeof(float) * static_cast<size_t>(n));
    std::memcpy(im, line + s, sizeof(float) * static_cast<size_t>(n));
    fft.forwardBitReversed(re, im);
    for (int32_t k = 0; k < n; ++k) {
        const float zr = re[k], zi = im[k];
        re[k] = zr * hr[k] - zi * hi[k];
        im[k] = zr * hi[k] + zi * hr[k];
    }
    fft.inverseFromBitReversed(re, im);
    std::memcpy(output, re + h, sizeof(float) * static_cast<size_t>(s));
    std::memcpy(output + s, im + h, sizeof(float) * static_cast<size_t>(s));
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
      frameRe_(kSpectrumFftLength, 0.0f), frameIm_(kSpectrumFftLength, 0.0f),
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
    float* re = frameRe_.data();
    float* im = frameIm_.data();
    // Frame A: the previous block's last half, then this block's first half. Frame B: this
    // block.
    for (int32_t i = 0; i < kFullBandHop; ++i)
        re[i] = fullTail_[i] * w[i];
    for (int32_t i = kFullBandHop; i < kSpectrumFftLength; ++i)
        re[i] = x[i - kFullBandHop] * w[i];
    for (int32_t i = 0; i < kSpectrumFftLength; ++i)
        im[i] = x[i] * w[i];
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
    float* re = frameRe_.data();
    float* im = frameIm_.data();
    std::memcpy(re, lowHistory_.data(), sizeof(float) * kLowBandHistory);
    std::memcpy(re + kLowBandHistory, u1, sizeof(float) * kLowBandWindowLength);
    std::memcpy(im, u1 + kTailStart, sizeof(float) * kLowBandHistory);
    std::memcpy(im + kLowBandHistory, u2, sizeof(float) * kLowBandWindowLength);
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
    const SplitRadixFft& fft = setup_.fft;
    float* re = frameRe_.data();
    float* im = frameIm_.data();
    fft.forwardBitReversed(re, im);
    float* rowA = nextRow();
    float* rowB = nextRow();
    // |A|²·2c = ((Re Z[k] + Re Z[N−k])² + (Im Z[k] − Im Z[N−k])²)·c/2, likewise for B.
    const float scale = 0.5f * kInteriorBinScale;
    rowA[0] = re[0] * re[0];
    rowB[0] = im[0] * im[0];
    for (int32_t k = 1; k < half; ++k) {
        const int32_t p = fft.bitReversed(k);
        const int32_t q = fft.bitReversed(n - k);
        const float ar = re[p] + re[q], ai = im[p] - im[q];
        const float br = im[p] + im[q], bi = re[q] - re[p];
        rowA[k] = scale * (ar * ar + ai * ai);
        rowB[k] = scale * (br * br + bi * bi);
    }
    const int32_t nyquist = fft.bitReversed(half);
    rowA[half] = re[nyquist] * re[nyquist];
    rowB[half] = im[nyquist] * im[nyquist];
}

} // namespace orq::spectrogram
