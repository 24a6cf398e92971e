#include "spectrogram/spectrogram_engine.h"

#include <algorithm>
#include <stdexcept>

namespace orq::spectrogram {

namespace {
// Every bin of the row that marks lost spectra: full scale.
constexpr float kMarkerPower = 1.0f;
} // namespace

bool SpectrogramEngine::supportsRate(int32_t sampleRateHz) {
    return antiAliasSetForRate(sampleRateHz) != nullptr;
}

SpectrogramEngine::SpectrogramEngine(int32_t sampleRateHz, int32_t channels)
    : sampleRateHz_(sampleRateHz), channels_(channels),
      view_(channels == 2 ? SpectrogramView::Mean : SpectrogramView::Left) {
    if (channels < 1 || channels > kMaxChannels) {
        throw std::invalid_argument("SpectrogramEngine: one or two channels");
    }
    setup_ = std::make_unique<SpectrumAnalysisSetup>(sampleRateHz);
    for (int32_t c = 0; c < channels; ++c)
        analyzers_[c] = std::make_unique<SpectrumAnalyzer>(*setup_);
}

void SpectrogramEngine::process(const float* const* inputs, int32_t frames) {
    if (!running_ || inputs == nullptr) return;
    if (channels_ == 1) {
        analyzers_[0]->feed(inputs[0], frames);
        return;
    }
    if (view_ != SpectrogramView::Right) analyzers_[0]->feed(inputs[0], frames);
    if (view_ != SpectrogramView::Left) analyzers_[1]->feed(inputs[1], frames);
}

void SpectrogramEngine::setLowBand(bool lowBand) {
    for (int32_t c = 0; c < channels_; ++c)
        analyzers_[c]->setLowBand(lowBand);
}

void SpectrogramEngine::setCapacity(int32_t rows) {
    for (int32_t c = 0; c < channels_; ++c)
        analyzers_[c]->setCapacity(rows);
}

void SpectrogramEngine::setView(int32_t view) {
    if (channels_ == 1) {
        view_ = SpectrogramView::Left;
        return;
    }
    view_ = static_cast<SpectrogramView>(std::clamp(view, 0, 2));
}

void SpectrogramEngine::setRunning(bool running) {
    for (int32_t c = 0; c < channels_; ++c)
        analyzers_[c]->clearInput();
    running_ = running;
}

void SpectrogramEngine::reset() {
    for (int32_t c = 0; c < channels_; ++c)
        analyzers_[c]->resetInput();
}

const SpectrumAnalyzer& SpectrogramEngine::viewAnalyzer() const {
    return view_ == SpectrogramView::Right && channels_ == 2 ? *analyzers_[1] : *analyzers_[0];
}

SpectrogramEngine::Collection SpectrogramEngine::collect() {
    SpectrumAnalyzer::Collected taken{};
    if (view_ == SpectrogramView::Mean && channels_ == 2) {
        taken = analyzers_[0]->collect();
        const SpectrumAnalyzer::Collected right = analyzers_[1]->collect();
        // The left count governs; both rings always hold kRingStorageRows rows.
        const size_t values = static_cast<size_t>(taken.count) * kSpectrumBins;
        for (size_t i = 0; i < values; ++i) {
            taken.rows[i] = (taken.rows[i] + right.rows[i]) * 0.5f;
        }
    } else {
        taken = (view_ == SpectrogramView::Right && channels_ == 2 ? analyzers_[1] : analyzers_[0])
                    ->collect();
    }
    if (taken.overflow && taken.count > 0) {
        std::fill(taken.rows, taken.rows + kSpectrumBins, kMarkerPower);
    }
    return Collection{taken.rows, taken.count};
}

} // namespace orq::spectrogram
