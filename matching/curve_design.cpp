#include "matching/curve_design.h"

#include "matching/own_fft.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace orq::matching {

const std::array<ThirdOctaveBand, kBandCount> kThirdOctaveBands = {{
    {22.4f, 28.0f, 25.0f},          {28.0f, 35.5f, 31.5f},          {35.5f, 45.0f, 40.0f},
    {45.0f, 56.0f, 50.0f},          {56.0f, 71.0f, 63.0f},          {71.0f, 90.0f, 80.0f},
    {90.0f, 112.0f, 100.0f},        {112.0f, 140.0f, 125.0f},       {140.0f, 180.0f, 160.0f},
    {180.0f, 224.0f, 200.0f},       {224.0f, 280.0f, 250.0f},       {280.0f, 355.0f, 315.0f},
    {355.0f, 450.0f, 400.0f},       {450.0f, 560.0f, 500.0f},       {560.0f, 710.0f, 630.0f},
    {710.0f, 900.0f, 800.0f},       {900.0f, 1120.0f, 1000.0f},     {1120.0f, 1400.0f, 1250.0f},
    {1400.0f, 1800.0f, 1600.0f},    {1800.0f, 2240.0f, 2000.0f},    {2240.0f, 2800.0f, 2500.0f},
    {2800.0f, 3550.0f, 3150.0f},    {3550.0f, 4500.0f, 4000.0f},    {4500.0f, 5600.0f, 5000.0f},
    {5600.0f, 7100.0f, 6300.0f},    {7100.0f, 9000.0f, 8000.0f},    {9000.0f, 11200.0f, 10000.0f},
    {11200.0f, 14000.0f, 12500.0f}, {14000.0f, 18000.0f, 16000.0f}, {18000.0f, 22400.0f, 20000.0f},
}};

BandCentres thirdOctaveCentres() {
    BandCentres c;
    for (int32_t k = 0; k < kBandCount; ++k)
        c.centreHz[size_t(k)] = kThirdOctaveBands[size_t(k)].centreHz;
    return c;
}

BandCentres equalBandCentres(int32_t sampleRateHz) {
    const float d = float(sampleRateHz / 2) / float(kBandCount);
    BandCentres c;
    for (int32_t k = 0; k < kBandCount; ++k)
        c.centreHz[size_t(k)] = (k + 0.5) * double(d);
    return c;
}

void sliderCurveDb(const float* gainsDb, const BandCentres& centres, int32_t first, int32_t last,
                   int32_t fftSize, double nyquistHz, double* curveDb) {
    const int32_t half = fftSize / 2;
    first = std::clamp(first, 0, kBandCount - 1);
    last = std::clamp(last, first, kBandCount - 1);
    const double binsPerHz = nyquistHz > 0.0 ? half / nyquistHz : 0.0;
    auto pos = [&](int32_t band) { return centres.centreHz[size_t(band)] * binsPerHz; };
    // Fills bins lo..hi (clipped to the spectrum) with f(j).
    auto fill = [&](int64_t lo, int64_t hi, auto f) {
        lo = std::max<int64_t>(lo, 0);
        hi = std::min<int64_t>(hi, half);
        for (int64_t j = lo; j <= hi; ++j)
            curveDb[j] = f(double(j));
    };
    auto line = [](double x0, double g0, double x1, double g1) {
        const double slope = x1 > x0 ? (g1 - g0) / (x1 - x0) : 0.0;
        return [=](double j) { return g0 + (j - x0) * slope; };
    };

    std::fill(curveDb, curveDb + half + 1, 0.0);
    if (first == 0) {
        const double g0 = gainsDb[0];
        fill(0, int64_t(std::floor(pos(0))), [=](double) { return g0; });
    } else {
        const double b0 = pos(first - 1), b1 = pos(first);
        fill(0, int64_t(std::floor(b0)), [](double) { return 0.0; });
        fill(int64_t(std::floor(b0)) + 1, int64_t(std::floor(b1)),
             line(b0, 0.0, b1, gainsDb[first]));
    }
    for (int32_t k = first + 1; k <= last; ++k) {
        const double b0 = pos(k - 1), b1 = pos(k);
        fill(int64_t(std::floor(b0)) + 1, int64_t(std::floor(b1)),
             line(b0, gainsDb[k - 1], b1, gainsDb[k]));
    }
    const double edge = last == kBandCount - 1 ? double(gainsDb[last]) : 0.0;
    fill(int64_t(std::floor(pos(last))), half, [=](double) { return edge; });
}

double matchTermDb(double source, double destination) {
    if (!(source > 0.0) || !(destination > 0.0)) return 0.0;
    if (!std::isfinite(source) || !std::isfinite(destination)) return 0.0;
    return 10.0 * std::log10(source) - 10.0 * std::log10(destination);
}

std::vector<double> placedWindow(int32_t fftSize) {
    std::vector<double> w(size_t(fftSize), 0.0);
    auto hann = [&](int32_t n) {
        return (0.5 - 0.5 * std::cos(2.0 * std::numbers::pi * n / kFirLength)) / fftSize;
    };
    for (int32_t j = 0; j < kFirCentreTap && j < fftSize; ++j) {
        w[size_t(j)] = hann(kFirCentreTap + 1 + j);
        w[size_t(fftSize - 1 - j)] = hann(kFirCentreTap - j);
    }
    return w;
}

FirDesigner::FirDesigner(int32_t fftSize)
    : fftSize_(fftSize), window_(placedWindow(fftSize)), work_(size_t(fftSize), 0.0f),
      shifted_(size_t(fftSize), 0.0f), fft_(std::make_unique<OwnRealFft>(fftSize)) {}

FirDesigner::~FirDesigner() = default;

void FirDesigner::design(const double* curveDb, float* re, float* im, float* taps) {
    const int32_t n = fftSize_;
    const int32_t half = n / 2;
    // Zero-phase amplitude spectrum in half-complex layout: real parts only.
    std::fill(work_.begin(), work_.end(), 0.0f);
    for (int32_t k = 0; k <= half; ++k) {
        const double g = std::clamp(curveDb[k], -kCurveLimitDb, kCurveLimitDb);
        work_[size_t(k)] = float(std::exp(g * kDbToNeper));
    }
    fft_->inverse(work_.data());
    // Window (it carries the 1/N of the unscaled inverse), then make it causal: the samples at
    // negative times N−128..N−1 go to 0..127 and times 0..127 to 128..255.
    std::fill(shifted_.begin(), shifted_.end(), 0.0f);
    for (int32_t j = 0; j < kFirCentreTap; ++j) {
        shifted_[size_t(kFirCentreTap + j)] = float(double(work_[size_t(j)]) * window_[size_t(j)]);
        const size_t neg = size_t(n - kFirCentreTap + j);
        shifted_[size_t(j)] = float(double(work_[neg]) * window_[neg]);
    }
    if (taps != nullptr) std::copy(shifted_.begin(), shifted_.end(), taps);
    std::copy(shifted_.begin(), shifted_.end(), work_.begin());
    fft_->forward(work_.data());
    re[0] = work_[0];
    im[0] = 0.0f;
    for (int32_t k = 1; k < half; ++k) {
        re[k] = work_[size_t(k)];
        im[k] = work_[size_t(n - k)];
    }
    re[half] = work_[size_t(half)];
    im[half] = 0.0f;
}

} // namespace orq::matching
