// pressane_plax: the maximizer for Plax hosts. Four host parameters (DesGain, Density, Headroom,
// Boost), four meters in the table, programs of 48 bytes (four normalised values as native
// floats and a 32-character name), a bank of 480.
#pragma once

#include "maximizer/maximizer_engine.h"
#include "plax/suite_effect.h"

#include <array>

namespace orq::plax {

enum PressaneIndex : int32_t {
    kPressaneDesGain = 0,
    kPressaneDensity = 1,
    kPressaneHeadroom = 2,
    kPressaneBoost = 3,
    kPressaneGainReached = 4, // meter
    kPressaneHeadroomMeter = 5,
    kPressaneInputPeaks = 6,  // block: two floats, dB
    kPressaneOutputPeaks = 7, // block: two floats, dB
    kPressaneTableSize = 8,
};
constexpr int32_t kPressaneHostParameters = 4;
constexpr int32_t kPressaneProgramBytes = kPressaneHostParameters * 4 + kProgramNameBytes; // 48
constexpr int32_t kPressaneUniqueId = 0x56303039; // "V009"
constexpr float kSuspendedGainReached = 1.0f;
constexpr float kSuspendedHeadroomDb = 6.0f;
constexpr float kPeakBlockStartDb = -99.0f;

class PressaneAdapter : public EngineAdapter {
  public:
    // [ui-thread] allocates. False from open() when the engine cannot run at the rate.
    PressaneAdapter();
    bool open(float sampleRateHz);
    void reset() override;
    int32_t latency() const override { return engine_.latencyFrames(); }
    const maximizer::MaximizerEngine& engine() const { return engine_; }

  protected:
    void applyParameters(ParameterTable& table) override;
    void runEngine(float** inputs, float** outputs, int32_t frames, ProcessMode mode) override;
    void publishMeters(ParameterTable& table) override;

  private:
    maximizer::MaximizerEngine engine_;
};

class PressanePlax : public SuiteEffect {
  public:
    explicit PressanePlax(PlaxHostCallback host);
    PressaneAdapter* pressaneAdapter() { return static_cast<PressaneAdapter*>(adapter_.get()); }

  protected:
    void defineParameters(ParameterTable& table) override;
    std::unique_ptr<EngineAdapter> createAdapter(float sampleRateHz) override;
    void writeProgram(uint8_t* program) override;
    void readProgram(const uint8_t* program) override;
};

// What `main` does: asks the host for its version (0: null), builds and initialises the
// effect (null when that fails) and returns its record. [ui-thread] allocates.
PlaxEffect* createPressanePlax(PlaxHostCallback host, EditorFactory editor);

} // namespace orq::plax
