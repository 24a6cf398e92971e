#include "matching/spectrum_learner.h"

#include "matching/rate_filters.h"

#include <algorithm>
#include <cmath>

namespace orq::matching {

BinLayout equalBandLayout(int32_t fftSize) {
    BinLayout l;
    l.thirdOctave = false;
    l.lowLastBin = fftSize / 2;
    l.total = fftSize / 2 + 1;
    return l;
}

BinLayout thirdOctaveLayout(int32_t sampleRateHz, int32_t decimation) {
    BinLayout l;
    l.thirdOctave = true;
    l.lowLastBin = int32_t(
        std::floor(kCrossoverMeasureHz * kLowBandFftSize * decimation / sampleRateHz + 0.5));
    l.lowLastBin = std::clamp(l.lowLastBin, 0, kLowBandFftSize / 2);
    l.highFirstBin =
        int32_t(std::floor(kCrossoverMeasureHz * kHighBandFftSize / sampleRateHz + 0.5));
    l.highLastBin = kHighBandFftSize / 2;
    l.highFirstBin = std::clamp(l.highFirstBin, 0, l.highLastBin);
    l.total = (l.lowLastBin + 1) + (l.highLastBin - l.highFirstBin + 1);
    return l;
}

bool binFrequencies(int32_t sampleRateHz, bool thirdOctave, int32_t equalFftSize,
                    BinFrequencies* out) {
    if (sampleRateHz <= 0 || equalFftSize <= 0 || out == nullptr) return false;
    if (!thirdOctave) {
        out->layout = equalBandLayout(equalFftSize);
        out->lowBinHz = double(sampleRateHz) / equalFftSize;
        out->highBinHz = 0.0;
        return true;
    }
    const RateFilter* rate = findRateFilter(sampleRateHz);
    if (rate == nullptr) return false;
    out->layout = thirdOctaveLayout(sampleRateHz, rate->decimation);
    out->lowBinHz = double(sampleRateHz) / (double(rate->decimation) * kLowBandFftSize);
    out->highBinHz = double(sampleRateHz) / kHighBandFftSize;
    return true;
}

namespace {
// Value at frequency f of one band whose bins first..last (spacing binHz) are stored from
// values[0] on.
double bandValueAt(const float* values, int32_t first, int32_t last, double binHz, double f) {
    const double x = std::clamp(f / binHz, double(first), double(last));
    const int32_t below = std::min(int32_t(std::floor(x)), last);
    const int32_t above = std::min(below + 1, last);
    const double a = values[below - first], b = values[above - first];
    if (!(a > 0.0) || !(b > 0.0)) return 0.0;
    const double t = x - below;
    return a + t * (b - a);
}
} // namespace

void mapSpectrumByFrequency(const float* in, const BinFrequencies& from, float* out,
                            const BinFrequencies& to, double scale) {
    const BinLayout& f = from.layout;
    const BinLayout& t = to.layout;
    for (int32_t k = 0; k <= t.lowLastBin && k < t.total; ++k) {
        out[k] = float(scale * bandValueAt(in, 0, f.lowLastBin, from.lowBinHz, k * to.lowBinHz));
    }
    if (!t.thirdOctave || !f.thirdOctave) return;
    const float* highIn = in + f.lowLastBin + 1;
    for (int32_t j = t.highFirstBin; j <= t.highLastBin; ++j) {
        const int32_t index = t.lowLastBin + 1 + (j - t.highFirstBin);
        if (index >= t.total) break;
        out[index] = float(scale * bandValueAt(highIn, f.highFirstBin, f.highLastBin,
                                               from.highBinHz, j * to.highBinHz));
    }
}

SpectrumLearner::SpectrumLearner(int32_t binCapacity, int32_t maxDisplayCount)
    : binCapacity_(std::max(binCapacity, 1)), maxDisplayCount_(std::max(maxDisplayCount, 1)) {
    sums_[0].assign(size_t(binCapacity_), 0.0);
    sums_[1].assign(size_t(binCapacity_), 0.0);
    displays_.assign(size_t(2 * maxDisplayCount_ * binCapacity_), 0.0f);
    gathered_.assign(size_t(binCapacity_), 0.0);
}

void SpectrumLearner::configure(const BinLayout& layout, int32_t displayCount) {
    layout_ = layout;
    layout_.total = std::clamp(layout_.total, 0, binCapacity_);
    displayCount_ = std::clamp(displayCount, 1, maxDisplayCount_);
    clear();
}

void SpectrumLearner::clear() {
    for (auto& s : sums_)
        std::fill(s.begin(), s.end(), 0.0);
    frames_[0] = frames_[1] = 0;
    std::fill(displays_.begin(), displays_.end(), 0.0f);
    displayIndex_ = 1;
    newSpectra_ = 0;
    highDue_ = 0;
    gatheredFrames_ = 0;
}

void SpectrumLearner::setSpectrum(LearnTarget t, const float* values, int32_t count) {
    std::vector<double>& s = sums_[index(t)];
    std::fill(s.begin(), s.end(), 0.0);
    if (values == nullptr) return;
    const int32_t n = std::clamp(count, 0, layout_.total);
    for (int32_t i = 0; i < n; ++i) {
        const float v = values[i];
        s[size_t(i)] = (std::isfinite(v) && v > 0.0f) ? double(v) : 0.0;
    }
}

void SpectrumLearner::copySpectrum(LearnTarget t, float* out, int32_t count) const {
    if (out == nullptr) return;
    const std::vector<double>& s = sums_[index(t)];
    for (int32_t i = 0; i < count; ++i) {
        out[i] = i < layout_.total ? float(s[size_t(i)]) : 0.0f;
    }
}

void SpectrumLearner::setFrames(LearnTarget t, int32_t frames) {
    frames_[index(t)] = std::max(frames, 0);
}

void SpectrumLearner::advanceDisplay() {
    displayIndex_ = displayIndex_ >= displayCount_ ? 1 : displayIndex_ + 1;
    newSpectra_ = std::min(newSpectra_ + 1, displayCount_);
}

void SpectrumLearner::markHighDue(int32_t frames) {
    highDue_ = std::max(frames, 0);
    if (highDue_ == 0) gatheredFrames_ = 0;
}

int32_t SpectrumLearner::takeHighDue() {
    const int32_t due = highDue_;
    highDue_ = 0;
    return due;
}

float* SpectrumLearner::displaySlot(Side side, int32_t slot) {
    const int32_t s = side == Side::Before ? 0 : 1;
    return displays_.data() + size_t((s * maxDisplayCount_ + slot) * binCapacity_);
}

const float* SpectrumLearner::display(Side side, int32_t slot) const {
    slot = std::clamp(slot, 0, displayCount_ - 1);
    return const_cast<SpectrumLearner*>(this)->displaySlot(side, slot);
}

int32_t SpectrumLearner::takeNewSpectra() {
    const int32_t n = newSpectra_;
    newSpectra_ = 0;
    return n;
}

namespace {

struct Bin {
    double re, im;
};

// Bin k of an N-point CCS spectrum seen through the window; k = 0..N/2.
Bin windowedBin(const float* ccs, int32_t k, int32_t half, FrameWindow window) {
    const Bin x{ccs[2 * k], ccs[2 * k + 1]};
    if (window == FrameWindow::Rectangular || half < 1) return x;
    // A real signal's spectrum is conjugate-symmetric: the neighbours past either end are
    // mirrors of the bins inside.
    auto at = [&](int32_t j) {
        if (j < 0) return Bin{ccs[-2 * j], -ccs[-2 * j + 1]};
        if (j > half) return Bin{ccs[2 * (2 * half - j)], -ccs[2 * (2 * half - j) + 1]};
        return Bin{ccs[2 * j], ccs[2 * j + 1]};
    };
    const Bin below = at(k - 1), above = at(k + 1);
    return {0.5 * x.re - 0.25 * (below.re + above.re), 0.5 * x.im - 0.25 * (below.im + above.im)};
}

// One-sided power of bin k of one frame (the mean of two channels when specB is given).
double framePower(const float* specA, const float* specB, int32_t k, int32_t half,
                  FrameWindow window) {
    const Bin a = windowedBin(specA, k, half, window);
    double p = a.re * a.re + a.im * a.im;
    if (specB != nullptr) {
        const Bin b = windowedBin(specB, k, half, window);
        p = 0.5 * (p + b.re * b.re + b.im * b.im);
    }
    // Every bin but DC and Nyquist also stands for its mirror.
    if (k != 0 && k != half) p *= 2.0;
    return window == FrameWindow::Hann ? p * kHannPowerGain : p;
}

} // namespace

void SpectrumLearner::measure(Side side, const float* specA, const float* specB, int32_t fftSize,
                              int32_t firstBin, int32_t count, int32_t dest, double scale,
                              bool newFrame, FrameWindow window) {
    const int32_t half = fftSize / 2;
    // Keep the bins inside the spectrum and the stored values inside the layout.
    count = std::min({count, half + 1 - firstBin, layout_.total - dest});
    if (specA == nullptr || firstBin < 0 || dest < 0 || count <= 0) return;

    const bool learn = side == Side::Before && learning_;
    const int32_t t = index(target_);
    if (learn && newFrame) ++frames_[t];
    const double mean = (learn && frames_[t] > 0) ? 1.0 / frames_[t] : 0.0;
    double* sum = sums_[t].data() + dest;
    float* disp = displaySlot(side, displayIndex_ - 1) + dest;

    for (int32_t i = 0; i < count; ++i) {
        const double p = scale * framePower(specA, specB, firstBin + i, half, window);
        if (learn) {
            sum[i] += p;
            disp[i] = mean > 0.0 ? float(sum[i] * mean) : float(p);
        } else {
            disp[i] = float(p);
        }
    }
}

void SpectrumLearner::gatherHigh(const float* specA, const float* specB, int32_t fftSize,
                                 int32_t firstBin, int32_t count, double scale,
                                 FrameWindow window) {
    const int32_t half = fftSize / 2;
    count = std::min({count, half + 1 - firstBin, binCapacity_});
    if (specA == nullptr || firstBin < 0 || count <= 0) return;
    // The first frame after a mark starts the sums afresh.
    const bool fresh = gatheredFrames_ == 0;
    for (int32_t i = 0; i < count; ++i) {
        const double p = scale * framePower(specA, specB, firstBin + i, half, window);
        gathered_[size_t(i)] = fresh ? p : gathered_[size_t(i)] + p;
    }
    gatheredBins_ = fresh ? count : std::min(gatheredBins_, count);
    ++gatheredFrames_;
}

void SpectrumLearner::addGatheredHigh(int32_t dest, int32_t frames) {
    const int32_t count = std::min(gatheredBins_, layout_.total - dest);
    if (gatheredFrames_ > 0 && frames > 0 && dest >= 0 && count > 0) {
        const bool learn = learning_;
        const int32_t t = index(target_);
        const double perFrame = 1.0 / gatheredFrames_;
        const double mean = (learn && frames_[t] > 0) ? 1.0 / frames_[t] : 0.0;
        double* sum = sums_[t].data() + dest;
        float* disp = displaySlot(Side::Before, displayIndex_ - 1) + dest;
        for (int32_t i = 0; i < count; ++i) {
            const double p = gathered_[size_t(i)] * perFrame;
            if (learn) {
                sum[i] += frames * p;
                disp[i] = mean > 0.0 ? float(sum[i] * mean) : float(p);
            } else {
                disp[i] = float(p);
            }
        }
    }
    gatheredFrames_ = 0;
}

} // namespace orq::matching
