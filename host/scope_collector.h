// Collects the phase scope's rows as its editor does on its timer, for a host without a
// window: the caller feeds about 55 ms of audio, then collects. Everything travels through the
// plug-in's record and a parameter set of its library, found by key name.
#pragma once

#include "runtime/audio_plugin.h"

#include <cstdint>
#include <memory>
#include <vector>

namespace orq::host {

// The scope's "Data" block as the plug-in hands it out through the parameter-set interface:
// point rows of 512 frames (side, then mid values), each row's sign correlation and the count
// of valid rows as a float. The collector checks the size the plug-in announces against it.
constexpr int32_t kScopeExchangeRows = 100;
constexpr int32_t kScopeExchangeRowFrames = 512;
struct ScopeExchangeBlock {
    float side[kScopeExchangeRows][kScopeExchangeRowFrames];
    float mid[kScopeExchangeRows][kScopeExchangeRowFrames];
    float correlation[kScopeExchangeRows]; // 0 = always opposite sign, 1 = always the same
    float count;
};
// Correlation of a row that carries no sign information (silence, one channel only).
constexpr float kNeutralCorrelation = 0.5f;

struct ScopeRowSummary {
    float correlation; // 0..1
    float peakMid;     // largest |mid| of the row's points (normalised block)
    float peakSide;    // largest |side| of the row's points
};

struct ScopeCollection {
    std::vector<ScopeRowSummary> rows; // oldest first; empty when nothing new was measured
    float meanCorrelation = kNeutralCorrelation;  // mean of the rows' correlation values
    float meterCorrelation = kNeutralCorrelation; // the meter's value after its ballistics
    float rangeMinimum = kNeutralCorrelation;
    float rangeMaximum = kNeutralCorrelation;
};

// Correlation meter ballistics and range, as the editor shows them.
class CorrelationMeter {
  public:
    // Largest step the meter takes per collection unless it was just reset.
    static constexpr float kMaxStep = 0.04f;

    // One collection's mean correlation.
    void update(float meanCorrelation, bool mono);
    // The next update sets the range to the current value.
    void reset() { reset_ = true; }

    float value() const { return value_; }
    float minimum() const { return minimum_; }
    float maximum() const { return maximum_; }

  private:
    float value_ = kNeutralCorrelation;
    float minimum_ = kNeutralCorrelation;
    float maximum_ = kNeutralCorrelation;
    bool reset_ = true;
};

class ScopeCollector {
  public:
    // The editor's timer period, and the frames of audio to feed between collections.
    static constexpr int32_t kPeriodMs = 55;
    static int32_t framesPerCollection(int32_t sampleRateHz) {
        return static_cast<int32_t>(int64_t{sampleRateHz} * kPeriodMs / 1000);
    }

    // Allocates. record is an opened phase scope's record; store a parameter set of the same
    // library. Reads the mono value from the plug-in once, as the editor does when it opens.
    // Throws when the set has no "Data" block of the expected shape or no "mono" value.
    ScopeCollector(PluginRecord* record, ParameterInterface* store);

    // Allocates the result's rows. The dispatcher takes the plug-in's lock for the exchange.
    const ScopeCollection& collect();

    bool mono() const { return mono_; }

  private:
    PluginRecord* record_;
    ParameterInterface* store_;
    int32_t dataIndex_ = -1;
    int32_t monoIndex_ = -1;
    std::unique_ptr<ScopeExchangeBlock> block_;
    CorrelationMeter meter_;
    ScopeCollection result_;
    bool mono_ = false;
};

} // namespace orq::host
