// The engine adapter of the suite's Plax plug-ins: owns an engine, applies changed parameters
// before each block (or after the input copy, when accumulating), skips the engine through
// long digital silence, keeps the input and output peaks and their meter smoothers, and
// publishes meters into the parameter table after each block.
//
// The shared part lives here; each plug-in's adapter says how its parameters reach its engine,
// how the engine runs, and which meters it publishes.
#pragma once

#include "plax/parameter_table.h"

#include <array>
#include <cstdint>

namespace orq::plax {

enum class ProcessMode { Accumulate, Replace };

constexpr int32_t kAdapterChannels = 2;
constexpr float kPeakDecay = 0.95f;          // per block
constexpr float kMeterFloorDb = -45.0f;      // meters start here and show it below kPeakFloor
constexpr float kPeakFloor = 0.001f;         // −60 dB
constexpr float kMeterFallPerBlock = 0.25f;  // share of the distance a smoother falls per block

// A meter smoother in dB: rises at once, falls by a share of the distance per block.
class MeterSmoother {
  public:
    void reset() { valueDb_ = kMeterFloorDb; }
    float next(float db) {
        valueDb_ = db >= valueDb_ ? db : valueDb_ + (db - valueDb_) * kMeterFallPerBlock;
        return valueDb_;
    }
    float value() const { return valueDb_; }

  private:
    float valueDb_ = kMeterFloorDb;
};

class EngineAdapter {
  public:
    virtual ~EngineAdapter() = default;

    // [audio-thread] no allocation. One host block; `connectedInputs` 1 copies input channel 0
    // over input channel 1 first.
    void process(float** inputs, float** outputs, int32_t frames, ProcessMode mode,
                 int32_t connectedInputs, ParameterTable& table);
    // [ui-thread] Suspend: running off, peaks zeroed, smoothers at the floor, meters published.
    void suspend(ParameterTable& table);
    // [ui-thread] Resume: running on, smoothers at the floor, meters published.
    void resume(ParameterTable& table);
    // [ui-thread] Returns the engine to its state after creation.
    virtual void reset() = 0;
    // [any-thread] Reads the changed host parameters (clearing their flags) into the engine;
    // runs only when the table's changed count is at least 1.
    void applyChanged(ParameterTable& table) {
        if (table.changedCount() >= 1) applyParameters(table);
    }
    virtual int32_t latency() const = 0;

    bool running() const { return running_; }
    int32_t silentFrames() const { return silentFrames_; }
    // Blocks the engine ran (tests watch the silence skip with it).
    int64_t engineBlocks() const { return engineBlocks_; }
    float inputPeak(int32_t channel) const { return inputPeak_[size_t(channel)]; }
    float outputPeak(int32_t channel) const { return outputPeak_[size_t(channel)]; }

  protected:
    virtual void applyParameters(ParameterTable& table) = 0;
    // [audio-thread] no allocation: the engine on one block in the given mode.
    virtual void runEngine(float** inputs, float** outputs, int32_t frames, ProcessMode mode) = 0;
    // [any-thread] Writes the adapter's meters into the table.
    virtual void publishMeters(ParameterTable& table) = 0;
    // Each peak as smoothed dB (input 0, 1, output 0, 1).
    std::array<float, 4> smoothedPeaksDb();
    void resetMeters();

    bool running_ = false;
    int32_t silentFrames_ = 0;
    int64_t engineBlocks_ = 0;
    std::array<float, kAdapterChannels> inputPeak_{};
    std::array<float, kAdapterChannels> outputPeak_{};
    std::array<MeterSmoother, 4> smoothers_{};
};

} // namespace orq::plax
