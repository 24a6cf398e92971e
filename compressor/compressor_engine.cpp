#include "compressor/compressor_engine.h"

#include "dsp/nsp.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace orq::compressor {

namespace {

constexpr int32_t kOrderLimit = 4;
// Input is held inside ±this (+60 dBFS): a burst far beyond it overflowed the crossover
// filters' state to infinity and left the output not a number for the rest of the stream.
constexpr float kInputLimit = 1000.0f;

float clampGainDb(float gainDb) {
    return std::clamp(gainDb, -kGainRangeDb, kGainRangeDb);
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
    setCompType(0);
    updateClipper();
}

CompressorEngine::~CompressorEngine() = default;

void CompressorEngine::setCompType(int32_t compType) {
    compType_ = compType;
    compressor_->setSingleStage(compType_ != 0);
    applyTimeConstants();
}

void CompressorEngine::setBandCount(int32_t bandCount, const BandGainArray& gainsDb,
                                    const BorderArray& bordersHz, const ShapeArray& shapes) {
    const int32_t bands = std::clamp(bandCount, 1, kMaxBands);
    // Built before anything changes: a failure leaves the running compressor as it is.
    auto next = std::make_unique<MultibandCompressor>(sampleRate_, channels_, kEngineBlockFrames,
                                                      bands, kOrderLimit);
    compressor_ = std::move(next);
    bandCount_ = bands;
    compressor_->setSingleStage(compType_ != 0);
    compressor_->setBypassWithDelay(bypassWithDelay_);
    bandGainsDb_ = gainsDb;
    borders_ = bordersHz;
    shapes_ = shapes;
    for (int32_t i = 1; i < bandCount_; ++i)
        compressor_->setBorder(borders_[i], i);
    for (int32_t b = 0; b < bandCount_; ++b) {
        loadShape(b);
        applyBandGain(b);
    }
    applyTimeConstants();
    // The new compressor starts without solo; it follows the settings at once.
    compressor_->setSolo(solo_ ? activeBand_ : -1);
}

void CompressorEngine::applyBandGain(int32_t band) {
    if (band < 0 || band >= bandCount_) return;
    compressor_->setBandGainDb(band, clampGainDb(bandGainsDb_[band]));
}

void CompressorEngine::applyBorder(int32_t index) {
    if (index < 1 || index >= bandCount_) return;
    compressor_->setBorder(borders_[index], index);
}

void CompressorEngine::setShapes(const ShapeArray& shapes) {
    shapes_ = shapes;
    if (activeBand_ >= 0 && activeBand_ < bandCount_) loadShape(activeBand_);
}

void CompressorEngine::setActiveBand(int32_t band) {
    activeBand_ = band;
    if (solo_) compressor_->setSolo(activeBand_);
}

void CompressorEngine::setSolo(bool on) {
    solo_ = on;
    compressor_->setSolo(solo_ ? activeBand_ : -1);
}

void CompressorEngine::setOutputDb(float outputDb) {
    if (!std::isfinite(outputDb)) return;
    outputGain_ = std::pow(10.0f, clampGainDb(outputDb) / 20.0f);
}

void CompressorEngine::setSoftClip(int32_t softClip) {
    softClip_ = softClip;
    updateClipper();
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
    clipper_.setOff(bypassWithDelay_ || softClip_ == 0);
}

void CompressorEngine::setBypassWithDelay(bool on) {
    bypassWithDelay_ = on;
    compressor_->setBypassWithDelay(on);
    updateClipper();
}

float CompressorEngine::publishMeter() {
    if (running_ && activeBand_ >= 0 && activeBand_ < bandCount_) {
        const float level = std::fabs(compressor_->band(activeBand_).stage1().outputLevel());
        bandMeterDelay_[bandMeterIndex_] = level;
        bandMeterIndex_ ^= 1;
        bandMeter_ = bandMeterDelay_[bandMeterIndex_];
    } else {
        bandMeter_ = -1.0f;
    }
    return bandMeter_;
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
        const float* in = inputBlocks[ch];
        float* out = outputBlocks[ch];
        for (int32_t i = 0; i < frames; ++i)
            out[i] = std::clamp(in[i], -kInputLimit, kInputLimit);
    }
    compressor_->process(outputBlocks, outputBlocks, frames);
    if (outputGain_ != 1.0f && !bypassWithDelay_) {
        for (int32_t ch = 0; ch < channels_; ++ch)
            nspsbMpy1(outputGain_, outputBlocks[ch], frames);
    }
    clipper_.process(outputBlocks, frames);
}

} // namespace orq::compressor
