#include "compressor/compressor_engine.h"

#include "dsp/nsp.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <new>

namespace orq::compressor {

namespace {

constexpr int32_t kOrderLimit = 4;
// Scalars arrive as floats; anything beyond this magnitude is out of every range.
constexpr float kIntegerLimit = 1.0e6f;

// Integer part of a finite parameter value, kept inside a safe range.
int32_t integerPart(float value) {
    return static_cast<int32_t>(std::clamp(value, -kIntegerLimit, kIntegerLimit));
}

float clampGainDb(float gainDb) {
    return std::clamp(gainDb, -kGainRangeDb, kGainRangeDb);
}

float readFloat(ParameterInterface* source, int32_t index) {
    return source->getFloat(source, index);
}

bool selected(ParameterInterface* source, int32_t index) {
    return source->isSelected(source, index) != 0;
}

} // namespace

CompressorEngine::CompressorEngine(int32_t channels, int32_t sampleRate)
    : BlockProcessor(channels, -1, kEngineBlockFrames), channels_(channels),
      sampleRate_(sampleRate),
      compressor_(std::make_unique<MultibandCompressor>(sampleRate, channels, kEngineBlockFrames,
                                                        bandCount_, kOrderLimit)),
      clipper_(channels) {
    for (int32_t i = 0; i < kBorderEntries; ++i) {
        borders_[i] = static_cast<float>(compressor_->bandLowerEdge(std::min(i, bandCount_)));
    }
    shapes_.fill(defaultBandShape());
    applyCompType(0.0f);
    updateClipper();
}

CompressorEngine::~CompressorEngine() = default;

void CompressorEngine::applyParameters(ParameterInterface* source) {
    if (source == nullptr) return;

    if (selected(source, kParamCompType)) {
        const float value = readFloat(source, kParamCompType);
        if (std::isfinite(value)) applyCompType(value);
    }
    if (selected(source, kParamBandCount)) {
        const float value = readFloat(source, kParamBandCount);
        if (std::isfinite(value)) {
            const int32_t previous = bandCount_;
            bandCount_ = std::clamp(integerPart(value), 1, kMaxBands);
            if (!rebuild(source)) bandCount_ = previous;
        }
    }
    if (selected(source, kParamGainChangedBand)) {
        const float value = readFloat(source, kParamGainChangedBand);
        source->getArray(source, kParamBandGain, bandGainsDb_.data(), kBandGainEntries);
        if (std::isfinite(value)) {
            const int32_t band = integerPart(value);
            if (band >= 0 && band < bandCount_) {
                compressor_->setBandGainDb(band, clampGainDb(bandGainsDb_[band]));
            }
        }
    }
    if (selected(source, kParamBorderMoved)) {
        const float value = readFloat(source, kParamBorderMoved);
        source->getArray(source, kParamBorder, borders_.data(), kBorderEntries);
        if (std::isfinite(value)) {
            const int32_t border = integerPart(value);
            if (border >= 1 && border < bandCount_)
                compressor_->setBorder(borders_[border], border);
        }
    }
    if (selected(source, kParamBorder)) {
        source->getArray(source, kParamBorder, borders_.data(), kBorderEntries);
    }
    if (selected(source, kParamBandGain)) {
        source->getArray(source, kParamBandGain, bandGainsDb_.data(), kBandGainEntries);
    }
    if (selected(source, kParamShape)) {
        source->getArray(source, kParamShape, shapes_.data(), kShapeEntries);
        if (activeBand_ >= 0 && activeBand_ < bandCount_) loadShape(activeBand_);
    }
    if (selected(source, kParamActiveBand)) {
        const float value = readFloat(source, kParamActiveBand);
        if (std::isfinite(value)) {
            activeBand_ = integerPart(value);
            if (solo_ != 0.0f) compressor_->setSolo(activeBand_);
        }
    }
    if (selected(source, kParamBandMeter)) {
        bandMeter_ = readFloat(source, kParamBandMeter);
    }
    if (selected(source, kParamSolo)) {
        const float value = readFloat(source, kParamSolo);
        if (!std::isnan(value)) {
            solo_ = value;
            compressor_->setSolo(solo_ != 0.0f ? activeBand_ : -1);
        }
    }
    if (selected(source, kParamOutputDb)) {
        const float value = readFloat(source, kParamOutputDb);
        if (std::isfinite(value)) outputGain_ = std::pow(10.0f, clampGainDb(value) / 20.0f);
    }
    if (selected(source, kParamSoftClip)) {
        const float value = readFloat(source, kParamSoftClip);
        if (std::isfinite(value)) {
            softClip_ = integerPart(value);
            updateClipper();
        }
    }
}

bool CompressorEngine::rebuild(ParameterInterface* source) {
    std::unique_ptr<MultibandCompressor> next;
    try {
        next = std::make_unique<MultibandCompressor>(sampleRate_, channels_, kEngineBlockFrames,
                                                     bandCount_, kOrderLimit);
    } catch (const std::bad_alloc&) {
        return false; // the running compressor stays as it is
    }
    compressor_ = std::move(next);
    compressor_->setSingleStage(compType_ != 0);
    compressor_->setBypassWithDelay(bypassWithDelay_ != 0.0f);
    source->getArray(source, kParamBandGain, bandGainsDb_.data(), kBandGainEntries);
    source->getArray(source, kParamBorder, borders_.data(), bandCount_ + 1);
    source->getArray(source, kParamShape, shapes_.data(), bandCount_);
    for (int32_t i = 1; i < bandCount_; ++i)
        compressor_->setBorder(borders_[i], i);
    for (int32_t b = 0; b < bandCount_; ++b) {
        loadShape(b);
        compressor_->setBandGainDb(b, clampGainDb(bandGainsDb_[b]));
    }
    applyTimeConstants();
    return true;
}

void CompressorEngine::applyCompType(float value) {
    compType_ = integerPart(value);
    compressor_->setSingleStage(compType_ != 0);
    applyTimeConstants();
}

void CompressorEngine::applyTimeConstants() {
    if (compType_ != 0) {
        compressor_->setTimeConstants(kSingleAttackMs, kSingleReleaseMs, kSingleMix,
                                      kStage2InitialAttackMs, kStage2InitialReleaseMs);
    } else {
        compressor_->setTimeConstants(kDualAttack1Ms, kDualRelease1Ms, kDualMix1, kDualAttack2Ms,
                                      kDualRelease2Ms);
    }
}

void CompressorEngine::loadShape(int32_t band) {
    GainTable table;
    if (curveBuilder_.build(shapes_[band], table)) compressor_->loadTable(band, table);
}

void CompressorEngine::updateClipper() {
    clipper_.setOff(bypassWithDelay_ != 0.0f || softClip_ == 0);
}

void CompressorEngine::setBypassWithDelay(float value) {
    bypassWithDelay_ = value;
    compressor_->setBypassWithDelay(value != 0.0f);
    updateClipper();
}

void CompressorEngine::publishMeters(ParameterInterface* target) {
    if (running_ && activeBand_ >= 0 && activeBand_ < bandCount_) {
        const float level = std::fabs(compressor_->band(activeBand_).stage1().outputLevel());
        bandMeterDelay_[bandMeterIndex_] = level;
        bandMeterIndex_ ^= 1;
        bandMeter_ = bandMeterDelay_[bandMeterIndex_];
    } else {
        bandMeter_ = -1.0f;
    }
    if (target != nullptr) target->setFloat(target, kParamBandMeter, bandMeter_);
}

void CompressorEngine::start() {
    BlockProcessor::reset();
    compressor_->reset();
    running_ = true;
}

int32_t CompressorEngine::latency() const {
    return blockSize() + compressor_->latency();
}

int32_t CompressorEngine::maxLatency(int32_t sampleRate) {
    const GainStage probe(0, static_cast<float>(sampleRate), 0.0f, 0.0f, 1, 0.0f);
    return kEngineBlockFrames + kSplitterBlockFrames +
           (kMaxBands - 1) * (kSplitterBlockFrames / 2) + 2 * probe.latency();
}

void CompressorEngine::processBlock(float* const* inputBlocks, float* const* outputBlocks) {
    const int32_t frames = blockSize();
    for (int32_t ch = 0; ch < channels_; ++ch) {
        std::memcpy(outputBlocks[ch], inputBlocks[ch], sizeof(float) * frames);
    }
    compressor_->process(outputBlocks, outputBlocks, frames);
    if (outputGain_ != 1.0f) {
        for (int32_t ch = 0; ch < channels_; ++ch)
            nspsbMpy1(outputGain_, outputBlocks[ch], frames);
    }
    clipper_.process(outputBlocks, frames);
}

} // namespace orq::compressor
