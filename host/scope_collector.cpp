#include "host/scope_collector.h"

#include "host/session.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <stdexcept>

namespace orq::host {

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
    : record_(record), store_(store), block_(std::make_unique<ScopeExchangeBlock>()) {
    std::memset(block_.get(), 0, sizeof(ScopeExchangeBlock));
    result_.rows.reserve(kScopeExchangeRows);
    dataIndex_ = requireParameter(store_, "Data");
    monoIndex_ = requireParameter(store_, "mono");
    int32_t count = 0, size = 0;
    if (store_->arrayInfo(store_, dataIndex_, &count, &size) != 0 || count != 1 ||
        size != int32_t(sizeof(ScopeExchangeBlock)))
        throw std::runtime_error("the phase scope's \"Data\" block has an unknown shape (" +
                                 std::to_string(size) + " bytes)");
    requestIndex(record_, store_, monoIndex_);
    mono_ = store_->getFloat(store_, monoIndex_) != 0.0f;
}

const ScopeCollection& ScopeCollector::collect() {
    result_.rows.clear();
    requestIndex(record_, store_, dataIndex_);
    block_->count = 0.0f;
    store_->getArray(store_, dataIndex_, block_.get(), 1);

    // The count may be anything a store holds, NaN included.
    const float claimed = block_->count;
    const int32_t rows =
        claimed >= 0.0f ? int32_t(std::min(claimed, float(kScopeExchangeRows))) : 0;
    if (rows == 0) return result_;
    float sum = 0.0f;
    for (int32_t r = 0; r < rows; ++r) {
        ScopeRowSummary row{block_->correlation[r], 0.0f, 0.0f};
        for (int32_t i = 0; i < kScopeExchangeRowFrames; ++i) {
            row.peakMid = std::max(row.peakMid, std::fabs(block_->mid[r][i]));
            row.peakSide = std::max(row.peakSide, std::fabs(block_->side[r][i]));
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

} // namespace orq::host
