#include "host/spectrogram_collector.h"

#include "host/session.h"

#include <algorithm>
#include <cmath>
#include <stdexcept>

namespace orq::host {

float spectrumLevelDb(float power) {
    if (!(power > 0.0f)) return kSpectrumDisplayFloorDb;
    const float level = 10.0f * std::log10(power * kSpectrumDisplayCalibration);
    return level < kSpectrumDisplayFloorDb ? kSpectrumDisplayFloorDb : level;
}

namespace {

// Asks the plug-in for one index into the store through its record, as the editor's exchange
// does (the dispatcher takes the plug-in's lock).
void requestIndex(PluginRecord* record, ParameterInterface* store, int32_t index) {
    record->dispatcher(record, kCmdSaveSettings, store, index);
    store->setMode(store, kModeChanged);
}

// A setting as the plug-in reads it: truncated to a whole number; NaN and values beyond int32
// read 0.
int32_t wholeValue(float value) {
    if (!(std::fabs(value) < 2.0e9f)) return 0;
    return static_cast<int32_t>(value);
}

float requestValue(PluginRecord* record, ParameterInterface* store, int32_t index) {
    requestIndex(record, store, index);
    return store->getFloat(store, index);
}

} // namespace

SpectrogramCollector::SpectrogramCollector(PluginRecord* record, ParameterInterface* store)
    : record_(record), store_(store) {
    spectraIndex_ = requireParameter(store_, "SG");
    countIndex_ = requireParameter(store_, "BSGTrans");
    const int32_t lowBandIndex = requireParameter(store_, "bLog");
    const int32_t binsIndex = requireParameter(store_, "nFFT21");
    sampleRate_ = record_->dispatcher(record_, kCmdSampleRate, nullptr, 0);
    lowBand_ = wholeValue(requestValue(record_, store_, lowBandIndex)) != 0;
    bins_ = wholeValue(requestValue(record_, store_, binsIndex));
    if (bins_ < 2)
        throw std::runtime_error("the spectrogram announces " + std::to_string(bins_) +
                                 " bins per spectrum");
    fftLength_ = 2 * (bins_ - 1);
    decimation_ = std::max(1, sampleRate_ / kLowBandRateHz);
    int32_t stored = 0, elementSize = 0;
    if (store_->arrayInfo(store_, spectraIndex_, &stored, &elementSize) != 0 ||
        elementSize != int32_t(sizeof(float)))
        throw std::runtime_error("the spectrogram's \"SG\" block does not hold floats");
    const size_t capacity = size_t(std::max(stored, 0));
    powers_.assign(capacity, 0.0f);
    result_.timeSeconds.reserve(capacity / size_t(bins_));
    result_.levelsDb.reserve(capacity);
}

int32_t SpectrogramCollector::binsShown() const {
    return lowBand_ ? fftLength_ / 4 + 1 : bins_;
}

double SpectrogramCollector::binHz() const {
    const double rate = sampleRate_;
    return (lowBand_ ? rate / decimation_ : rate) / fftLength_;
}

double SpectrogramCollector::hopSeconds() const {
    const double rate = sampleRate_;
    return lowBand_ ? double(kLowBandWindowFrames) * decimation_ / rate : fftLength_ / 2 / rate;
}

const SpectrogramCollection& SpectrogramCollector::collect() {
    result_.rows = 0;
    result_.bins = binsShown();
    result_.timeSeconds.clear();
    result_.levelsDb.clear();
    requestIndex(record_, store_, spectraIndex_);

    // Never trust the count beyond what the store's block holds.
    int32_t stored = 0, elementSize = 0;
    if (store_->arrayInfo(store_, spectraIndex_, &stored, &elementSize) != 0 ||
        elementSize != int32_t(sizeof(float)))
        return result_;
    const int32_t capacityRows =
        int32_t(std::min<size_t>(size_t(std::max(stored, 0)), powers_.size()) / size_t(bins_));
    const int32_t rows =
        std::clamp(wholeValue(store_->getFloat(store_, countIndex_)), 0, capacityRows);
    if (rows == 0) return result_;
    store_->getArray(store_, spectraIndex_, powers_.data(), rows * bins_);

    result_.rows = rows;
    const double hop = hopSeconds();
    for (int32_t r = 0; r < rows; ++r) {
        result_.timeSeconds.push_back(static_cast<double>(spectraSeen_ + r) * hop);
        const float* row = powers_.data() + static_cast<size_t>(r) * size_t(bins_);
        for (int32_t b = 0; b < result_.bins; ++b)
            result_.levelsDb.push_back(spectrumLevelDb(row[b]));
    }
    spectraSeen_ += rows;
    return result_;
}

} // namespace orq::host
