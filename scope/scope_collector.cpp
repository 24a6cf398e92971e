#include "scope/scope_collector.h"

#include "scope/lunavis_plugin.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace orq {

void CorrelationMeter::update(float meanCorrelation, bool mono) {
    float next = meanCorrelation;
    if (!reset_ && std::fabs(value_ - next) > kMaxStep) {
        if (next < value_) {
            next = value_ - kMaxStep;
        } else if (!mono) {
            next = value_ + kMaxStep;
        }
    }
    value_ = next;
    if (reset_) {
        minimum_ = maximum_ = value_;
        reset_ = false;
    } else if (value_ < minimum_) {
        minimum_ = value_;
    } else if (value_ > maximum_) {
        maximum_ = value_;
    }
    if (mono) minimum_ = maximum_;
}

namespace {

// Asks the plug-in for one index into the store, as the editor's exchange does.
void requestIndex(PluginRecord* record, ParameterInterface* store, int32_t index) {
    record->dispatcher(record, kCmdSaveSettings, store, index);
    store->setMode(store, kModeChanged);
}

} // namespace

ScopeCollector::ScopeCollector(PluginRecord* record, ParameterInterface* store)
    : record_(record), store_(store), block_(std::make_unique<ScopeBlock>()) {
    std::memset(block_.get(), 0, sizeof(ScopeBlock));
    result_.rows.reserve(kScopeRows);
    if (store_ == nullptr) return;
    requestIndex(record_, store_, kLunavisMono);
    mono_ = store_->getFloat(store_, kLunavisMono) != 0.0f;
    requestIndex(record_, store_, kLunavisContinuousRing);
    continuousRing_ = store_->getFloat(store_, kLunavisContinuousRing) != 0.0f;
}

const ScopeCollection& ScopeCollector::collect() {
    result_.rows.clear();
    if (store_ == nullptr) return result_;
    requestIndex(record_, store_, kLunavisData);
    block_->count = 0.0f;
    store_->getArray(store_, kLunavisData, block_.get(), 1);

    const int32_t rows = scopeValidRows(*block_);
    if (rows == 0) return result_;
    float sum = 0.0f;
    for (int32_t r = 0; r < rows; ++r) {
        ScopeRowSummary row{block_->correlation[r], 0.0f, 0.0f};
        for (int32_t i = 0; i < kScopeBlockFrames; ++i) {
            row.peakMid = std::max(row.peakMid, std::fabs(block_->y[r][i]));
            row.peakSide = std::max(row.peakSide, std::fabs(block_->x[r][i]));
        }
        sum += row.correlation;
        result_.rows.push_back(row);
    }
    result_.meanCorrelation = sum / static_cast<float>(rows);
    meter_.update(result_.meanCorrelation, mono_);
    result_.meterCorrelation = meter_.value();
    result_.rangeMinimum = meter_.minimum();
    result_.rangeMaximum = meter_.maximum();
    return result_;
}

} // namespace orq
