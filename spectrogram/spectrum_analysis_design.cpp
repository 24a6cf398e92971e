#include "spectrogram/spectrum_analysis_design.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <new>
#include <numbers>
#include <stdexcept>

namespace orq::spectrogram {

namespace {

constexpr double kBlackmanA0 = 0.42, kBlackmanA1 = 0.5, kBlackmanA2 = 0.08;
constexpr double kHarrisA0 = 0.42323, kHarrisA1 = 0.49755, kHarrisA2 = 0.07922;

const AntiAliasSet& requireSet(int32_t sampleRateHz) {
    const AntiAliasSet* set = antiAliasSetForRate(sampleRateHz);
    if (set == nullptr) throw std::invalid_argument("SpectrumAnalyzer: rate without filter set");
    return *set;
}

std::unique_ptr<dsp::ComplexFftPlan> requirePlan(int log2Size) {
    auto plan = dsp::ComplexFftPlan::create(log2Size);
    if (!plan) throw std::bad_alloc();
    return plan;
}

} // namespace

const AntiAliasSet* antiAliasSetForRate(int32_t sampleRateHz) {
    for (const AntiAliasSet& set : kAntiAliasSets) {
        if (set.sampleRateHz == sampleRateHz) return &set;
    }
    return nullptr;
}

std::vector<float> fullBandWindow() {
    std::vector<float> w(kSpectrumFftLength);
    const double n = kSpectrumFftLength;
    for (int32_t i = 0; i < kSpectrumFftLength; ++i) {
        const double x = 2.0 * std::numbers::pi * i / n;
        w[i] = static_cast<float>(
            (kBlackmanA0 - kBlackmanA1 * std::cos(x) + kBlackmanA2 * std::cos(2.0 * x)) / n);
    }
    return w;
}

std::vector<float> lowBandWindow() {
    std::vector<float> w(kLowBandWindowLength);
    for (int32_t i = 0; i < kLowBandWindowLength; ++i) {
        const double x = 2.0 * std::numbers::pi * i / kLowBandWindowLength;
        w[i] = static_cast<float>(
            (kHarrisA0 - kHarrisA1 * std::cos(x) + kHarrisA2 * std::cos(2.0 * x)) /
            kSpectrumFftLength);
    }
    return w;
}

OverlapSaveCoefficients::OverlapSaveCoefficients(const float* taps, int32_t tapCount,
                                                 const dsp::ComplexFftPlan& transform)
    : fft(transform), length(int32_t{1} << transform.log2Size()), historyLength(tapCount - 1),
      segment(length - (tapCount - 1)) {
    if (taps == nullptr || tapCount < 1 || tapCount > length / 2) {
        throw std::invalid_argument("OverlapSaveCoefficients: tap count must be 1..N/2");
    }
    spectrum.assign(2 * static_cast<size_t>(length), 0.0f);
    for (int32_t t = 0; t < tapCount; ++t)
        spectrum[2 * static_cast<size_t>(t)] = taps[t];
    fft.forward(spectrum.data());
    const float inverseScale = 1.0f / static_cast<float>(length);
    for (float& v : spectrum)
        v *= inverseScale;
}

SpectrumAnalysisSetup::SpectrumAnalysisSetup(int32_t rateHz)
    : sampleRateHz(rateHz), antiAlias(requireSet(rateHz)),
      fft(requirePlan(std::countr_zero(static_cast<uint32_t>(kSpectrumFftLength)))),
      fullWindow(fullBandWindow()), lowWindow(lowBandWindow()),
      antiAliasCoefficients(antiAlias.taps, antiAlias.tapCount, *fft) {}

} // namespace orq::spectrogram
