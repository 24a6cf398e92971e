// Matching curve design: slider curves on transform bins, the learned match term, and the
// windowed linear-phase FIR (257 taps, centre at tap 128) designed from a dB curve.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <vector>

namespace orq::matching {

class OwnRealFft;

constexpr int32_t kBandCount = 30;
constexpr int32_t kFirLength = 257;
constexpr int32_t kFirCentreTap = kFirLength / 2; // 128: the filter's group delay
// Third-octave mode: bands 0..18 go to the low-rate filter, 14..29 to the full-rate filter.
constexpr int32_t kLowFilterLastBand = 18;
constexpr int32_t kHighFilterFirstBand = 14;
// 10^(g/20) = e^(g · ln(10)/20)
constexpr double kDbToNeper = 0.1151292546495;
// Curves are kept inside this range so absurd stored data cannot overflow the design.
constexpr double kCurveLimitDb = 96.0;

struct BandCentres {
    std::array<double, kBandCount> centreHz;
};

struct ThirdOctaveBand {
    float lowHz;
    float highHz;
    float centreHz;
};
extern const std::array<ThirdOctaveBand, kBandCount> kThirdOctaveBands;

BandCentres thirdOctaveCentres();
// Band k centred at (k + 0.5)·d with d = floor(fs/2)/30 in single precision.
BandCentres equalBandCentres(int32_t sampleRateHz);

// dB curve over bins 0..fftSize/2 for bands first..last of gainsDb (straight lines in dB between
// the centres' fractional bins; 0 dB or the edge gain outside, as the band range says). A
// frequency f sits at bin f·(fftSize/2)/nyquistHz; bins past the spectrum are ignored.
void sliderCurveDb(const float* gainsDb, const BandCentres& centres, int32_t first, int32_t last,
                   int32_t fftSize, double nyquistHz, double* curveDb);

// 10·log10(src) − 10·log10(dst) of two learned bins; 0 dB unless both were learned.
double matchTermDb(double source, double destination);

// The Hann window of kFirLength points divided by fftSize, placed with its centre at index 0 of
// an fftSize-point buffer (w(129+j) at j, w(128−j) at fftSize−1−j, j = 0..127).
std::vector<double> placedWindow(int32_t fftSize);

// Designs the causal linear-phase filter of a dB curve for one transform size.
// [ui-thread] allocation in the constructor only.
class FirDesigner {
  public:
    explicit FirDesigner(int32_t fftSize);
    ~FirDesigner();

    int32_t fftSize() const { return fftSize_; }
    int32_t bins() const { return fftSize_ / 2 + 1; }
    // curveDb: bins() values. re/im: bins() values each (the filter spectrum); taps (optional):
    // fftSize values, the causal impulse response.
    void design(const double* curveDb, float* re, float* im, float* taps = nullptr);

  private:
    int32_t fftSize_;
    std::vector<double> window_;
    std::vector<float> work_;
    std::vector<float> shifted_;
    std::unique_ptr<OwnRealFft> fft_;
};

} // namespace orq::matching
