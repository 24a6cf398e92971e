#include "plax/engine_adapter.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace orq::plax {

void EngineAdapter::process(float** inputs, float** outputs, int32_t frames, ProcessMode mode,
                            int32_t connectedInputs, ParameterTable& table) {
    if (!inputs || !outputs || frames <= 0) return;
    if (mode == ProcessMode::Replace) applyChanged(table);
    if (connectedInputs == 1) std::memcpy(inputs[1], inputs[0], size_t(frames) * sizeof(float));
    if (mode == ProcessMode::Accumulate) applyChanged(table);

    bool silent = true;
    for (int32_t c = 0; c < kAdapterChannels; ++c) {
        float peak = 0.0f;
        for (int32_t t = 0; t < frames; ++t) {
            const float x = inputs[c][t];
            peak = std::max(peak, std::fabs(x));
            silent = silent && x == 0.0f;
        }
        inputPeak_[size_t(c)] = std::max(inputPeak_[size_t(c)] * kPeakDecay, peak);
    }
    bool runIt = true;
    if (silent) {
        if (silentFrames_ > latency())
            runIt = false;
        else
            silentFrames_ += frames;
    } else {
        silentFrames_ = 0;
    }
    if (runIt) {
        runEngine(inputs, outputs, frames, mode);
        ++engineBlocks_;
    } else if (mode == ProcessMode::Replace) {
        for (int32_t c = 0; c < kAdapterChannels; ++c)
            if (outputs[c] != inputs[c])
                std::memcpy(outputs[c], inputs[c], size_t(frames) * sizeof(float));
    }
    for (int32_t c = 0; c < kAdapterChannels; ++c) {
        float peak = 0.0f;
        for (int32_t t = 0; t < frames; ++t) peak = std::max(peak, std::fabs(outputs[c][t]));
        outputPeak_[size_t(c)] = std::max(outputPeak_[size_t(c)] * kPeakDecay, peak);
    }
    publishMeters(table);
}

void EngineAdapter::resetMeters() {
    for (MeterSmoother& s : smoothers_) s.reset();
}

void EngineAdapter::suspend(ParameterTable& table) {
    running_ = false;
    inputPeak_.fill(0.0f);
    outputPeak_.fill(0.0f);
    resetMeters();
    publishMeters(table);
}

void EngineAdapter::resume(ParameterTable& table) {
    running_ = true;
    resetMeters();
    publishMeters(table);
}

std::array<float, 4> EngineAdapter::smoothedPeaksDb() {
    const float peaks[4] = {inputPeak_[0], inputPeak_[1], outputPeak_[0], outputPeak_[1]};
    std::array<float, 4> db{};
    for (size_t i = 0; i < 4; ++i) {
        const float level = peaks[i] < kPeakFloor ? kMeterFloorDb : 20.0f * std::log10(peaks[i]);
        db[i] = smoothers_[i].next(level);
    }
    return db;
}

} // namespace orq::plax
