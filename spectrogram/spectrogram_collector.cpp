#include "spectrogram/spectrogram_collector.h"

#include "spectrogram/ombrel_plugin.h"

#include <algorithm>
#include <cmath>

namespace orq {

float displayLevelDb(float power) {
    if (!(power > 0.0f)) return kDisplayFloorDb;
    const float level = 10.0f * std::log10(power * kDisplayCalibration);
    return level < kDisplayFloorDb ? kDisplayFloorDb : level;
}

namespace {

// Asks the plug-in for one index into the store through its record, as the editor's exchange
// does (the dispatcher takes the plug-in's lock).
void requestIndex(PluginRecord* record, ParameterInterface* store, int32_t index) {
    record->dispatcher(record, kCmdSaveSettings, store, index);
    store->setMode(store, kModeChanged);
}

} // namespace

SpectrogramCollector::SpectrogramCollector(PluginRecord* record, ParameterInterface* store)
    : record_(record), store_(store),
      powers_(static_cast<size_t>(kRingStorageRows) * kSpectrumBins, 0.0f) {
    result_.timeSeconds.reserve(kRingStorageRows);
    result_.levelsDb.reserve(static_cast<size_t>(kRingStorageRows) * kSpectrumBins);
    if (store_ == nullptr) return;
    requestIndex(record_, store_, kOmbrelLowBand);
    lowBand_ = settingValue(store_->getFloat(store_, kOmbrelLowBand)) != 0;
    if (const AntiAliasSet* set = antiAliasSetForRate(sampleRate())) decimation_ = set->decimation;
}

int32_t SpectrogramCollector::sampleRate() const {
    return record_->dispatcher(record_, kCmdSampleRate, nullptr, 0);
}

double SpectrogramCollector::binHz() const {
    const double rate = sampleRate();
    return (lowBand_ ? rate / decimation_ : rate) / kSpectrumFftLength;
}

double SpectrogramCollector::hopSeconds() const {
    const double rate = sampleRate();
    return lowBand_ ? double(kLowBandWindowLength) * decimation_ / rate : kFullBandHop / rate;
}

const SpectrogramCollection& SpectrogramCollector::collect() {
    result_.rows = 0;
    result_.bins = binsShown();
    result_.timeSeconds.clear();
    result_.levelsDb.clear();
    if (store_ == nullptr) return result_;
    requestIndex(record_, store_, kOmbrelSpectra);

    // Never trust the count beyond what the store's block holds.
    int32_t stored = 0, elementSize = 0;
    if (store_->arrayInfo(store_, kOmbrelSpectra, &stored, &elementSize) != 0 ||
        elementSize != static_cast<int32_t>(sizeof(float))) {
        return result_;
    }
    const int32_t capacityRows = std::min(stored / kSpectrumBins, kRingStorageRows);
    const int32_t rows =
        std::clamp(settingValue(store_->getFloat(store_, kOmbrelSpectraCount)), 0, capacityRows);
    if (rows == 0) return result_;
    store_->getArray(store_, kOmbrelSpectra, powers_.data(), rows * kSpectrumBins);

    result_.rows = rows;
    const double hop = hopSeconds();
    for (int32_t r = 0; r < rows; ++r) {
        result_.timeSeconds.push_back(static_cast<double>(spectraSeen_ + r) * hop);
        const float* row = powers_.data() + static_cast<size_t>(r) * kSpectrumBins;
        for (int32_t b = 0; b < result_.bins; ++b)
            result_.levelsDb.push_back(displayLevelDb(row[b]));
    }
    spectraSeen_ += rows;
    return result_;
}

} // namespace orq
