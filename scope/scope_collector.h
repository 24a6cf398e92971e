// Collects the phase scope's rows as its editor does on its timer, for hosts without a
// window (the command-line host): the caller feeds about 55 ms of audio, then collects.
#pragma once

#include "runtime/audio_plugin.h"
#include "scope/scope_engine.h"

#include <cstdint>
#include <memory>
#include <vector>

namespace orq {

using namespace scope; // the scope's blocks and parameter indices

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

    // [ui-thread] one collection's mean correlation.
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

    // [ui-thread] allocates. record is an opened Lunavis's record (of this or another library);
    // store is a Lunavis parameter set (createLunavisParameters());
    // the collector reads the mono and continuous-ring values from the plug-in once, as the
    // editor does when it opens.
    ScopeCollector(PluginRecord* record, ParameterInterface* store);

    // [ui-thread] allocates the result's rows. Takes the plug-in's lock around the exchange.
    const ScopeCollection& collect();

    bool mono() const { return mono_; }
    // Non-zero continuous-ring value: the editor would stop drawing the points.
    bool continuousRing() const { return continuousRing_; }

  private:
    PluginRecord* record_;
    ParameterInterface* store_;
    std::unique_ptr<ScopeBlock> block_;
    CorrelationMeter meter_;
    ScopeCollection result_;
    bool mono_ = false;
    bool continuousRing_ = false;
};

} // namespace orq
