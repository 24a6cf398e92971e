#include "compressor/multiband_compressor.h"

#include "dsp/nsp.h"

#include <cmath>
#include <numbers>

namespace orq::compressor {

float dbToFactor(float gainDb) {
    return static_cast<float>(std::exp(gainDb * 0.05 * std::numbers::ln10));
}

MultibandCompressor::MultibandCompressor(int32_t sampleRate, int32_t channels, int32_t blockSize,
                                         int32_t bandCount, int32_t orderLimit)
    : BandSplitter(sampleRate, channels, blockSize, bandCount, orderLimit) {
    for (int32_t b = 0; b < this->bandCount(); ++b) {
        bands_.push_back(std::make_unique<BandDynamics>(channels, static_cast<float>(sampleRate)));
    }
    preGain_.fill(1.0f);
    postGain_.fill(1.0f);
    attackMs_.fill(kStage1InitialAttackMs);
    releaseMs_.fill(kStage1InitialReleaseMs);
    attack2Ms_.fill(kStage2InitialAttackMs);
    release2Ms_.fill(kStage2InitialReleaseMs);
}

MultibandCompressor::~MultibandCompressor() = default;

void MultibandCompressor::setBandGainDb(int32_t band, float gainDb) {
    if (band < 0 || band >= bandCount() || !std::isfinite(gainDb)) return;
    preGain_[band] = dbToFactor(gainDb);
}

void MultibandCompressor::loadTable(int32_t band, const GainTable& table) {
    if (band < 0 || band >= bandCount()) return;
    bands_[band]->loadTable(table);
}

void MultibandCompressor::setSingleStage(bool single) {
    for (auto& band : bands_) {
        band->setSingleStage(single);
        band->reloadTable();
    }
}

void MultibandCompressor::setTimeConstants(float attackMs, float releaseMs, float mix,
                                           float attack2Ms, float release2Ms) {
    for (int32_t b = 0; b < bandCount(); ++b) {
        attackMs_[b] = attackMs;
        releaseMs_[b] = releaseMs;
        attack2Ms_[b] = attack2Ms;
        release2Ms_[b] = release2Ms;
        bands_[b]->stage1().setTimes(attackMs, releaseMs);
        bands_[b]->stage1().setMix(mix);
        bands_[b]->stage2().setTimes(attack2Ms, release2Ms);
    }
}

void MultibandCompressor::setBypassWithDelay(bool on) {
    bypassWithDelay_ = on;
    setPassThrough(on);
    for (auto& band : bands_)
        band->setPassThrough(on);
}

void MultibandCompressor::reset() {
    BandSplitter::reset();
    for (auto& band : bands_)
        band->reset();
}

int32_t MultibandCompressor::latency() const {
    return BandSplitter::latency() + bands_.front()->latency();
}

void MultibandCompressor::processBands(float* const* const* bandBlocks, int32_t frames) {
    for (int32_t b = 0; b < bandCount(); ++b) {
        float* const* channelBlocks = bandBlocks[b];
        if (preGain_[b] != 1.0f && !bypassWithDelay_) {
            for (int32_t ch = 0; ch < channels(); ++ch) {
                nspsbMpy1(preGain_[b], channelBlocks[ch], frames);
            }
        }
        bands_[b]->process(channelBlocks, frames);
        if (postGain_[b] != 1.0f && !bypassWithDelay_) {
            for (int32_t ch = 0; ch < channels(); ++ch) {
                nspsbMpy1(postGain_[b], channelBlocks[ch], frames);
            }
        }
    }
}

} // namespace orq::compressor
