#include "compressor/band_dynamics.h"

#include <cmath>

namespace orq::compressor {

BandDynamics::BandDynamics(int32_t channels, float sampleRate)
    : stage1_(channels, sampleRate, kStage1InitialAttackMs, kStage1InitialReleaseMs,
              kStage1HoldSamples, kStage1InitialMix),
      stage2_(channels, sampleRate, kStage2InitialAttackMs, kStage2InitialReleaseMs,
              kStage2HoldSamples, kStage2InitialMix) {
    table_.fill(1.0f);
}

void BandDynamics::loadTable(const GainTable& table) {
    table_ = table;
    table_[0] = table_[1];
    reloadTable();
}

void BandDynamics::reloadTable() {
    if (singleStage_) {
        stage1_.setTable(table_);
        return;
    }
    GainTable root;
    for (int32_t k = 0; k < kGainTableSize; ++k)
        root[k] = std::sqrt(table_[k]);
    stage1_.setTable(root);
    stage2_.setTable(root);
}

void BandDynamics::setPassThrough(bool on) {
    stage1_.setPassThrough(on);
    stage2_.setPassThrough(on);
}

void BandDynamics::process(float* const* channels, int32_t frames) {
    stage1_.process(channels, frames);
    if (!singleStage_) stage2_.process(channels, frames);
}

void BandDynamics::reset() {
    stage1_.reset();
    stage2_.reset();
}

int32_t BandDynamics::latency() const {
    return singleStage_ ? stage1_.latency() : stage1_.latency() + stage2_.latency();
}

} // namespace orq::compressor
