// The compressor's engine: re-blocks the stream, runs the multiband compressor, applies the
// output gain and the soft clipper, and publishes the active band's meter.
#pragma once

#include "compressor/compressor_parameters.h"
#include "compressor/gain_curve.h"
#include "compressor/multiband_compressor.h"
#include "compressor/soft_clipper.h"
#include "runtime/block_processor.h"
#include "runtime/parameter_set.h"

#include <array>
#include <cstdint>
#include <memory>

namespace orq::compressor {

constexpr int32_t kEngineBlockFrames = 1024;

// Fixed per-band time constants: one stage, or two stages.
constexpr float kSingleAttackMs = 6.0f;
constexpr float kSingleReleaseMs = 30.0f;
constexpr float kSingleMix = 0.5f;
constexpr float kDualAttack1Ms = 10.0f;
constexpr float kDualRelease1Ms = 100.0f;
constexpr float kDualMix1 = 0.8f;
constexpr float kDualAttack2Ms = 2.0f;
constexpr float kDualRelease2Ms = 25.0f;

class CompressorEngine : public BlockProcessor {
  public:
    // [ui-thread] allocates. Builds the default three-band compressor; applyParameters with
    // every parameter selected sets it up from a parameter set.
    CompressorEngine(int32_t channels, int32_t sampleRate);
    ~CompressorEngine() override;

    // [ui-thread] reads and applies every parameter the source selects, in the engine's
    // fixed order. Allocates only when the band count changes (the compressor is rebuilt).
    void applyParameters(ParameterInterface* source);
    // [ui-thread] no allocation. Writes the active band's meter (the value computed at the
    // call before) into parameter 4, or -1 when stopped or without an active band.
    void publishMeters(ParameterInterface* target);
    // [audio-thread] no allocation. Resets every state and marks the engine running.
    void start();
    // [audio-thread]
    void stop() { running_ = false; }
    // Frames of delay: the engine's block, the splitter and the band dynamics.
    int32_t latency() const;
    // The largest latency at a sample rate: five bands, two stages.
    static int32_t maxLatency(int32_t sampleRate);
    // [ui-thread] no allocation. Non-zero: band gains, gain stages and the clipper are
    // skipped; the delay stays.
    void setBypassWithDelay(float value);

    int32_t bandCount() const { return bandCount_; }
    int32_t channels() const { return channels_; }
    int32_t sampleRate() const { return sampleRate_; }
    bool running() const { return running_; }
    float outputGain() const { return outputGain_; }
    const MultibandCompressor& compressor() const { return *compressor_; }
    const SoftClipper& clipper() const { return clipper_; }

  protected:
    // [audio-thread] no allocation. One 1024-frame block: the multiband compressor (which
    // re-blocks once more), the output gain, the soft clipper.
    void processBlock(float* const* inputBlocks, float* const* outputBlocks) override;

  private:
    // Replaces the multiband compressor for bandCount_ bands and loads it from the source;
    // false (the old one kept) when it cannot be built.
    bool rebuild(ParameterInterface* source);
    void applyTimeConstants();
    void applyCompType(float value);
    // Builds a band's table from its shape and loads it; an invalid shape keeps the old one.
    void loadShape(int32_t band);
    void updateClipper();

    int32_t channels_;
    int32_t sampleRate_;
    int32_t bandCount_ = 3;
    int32_t compType_ = 0;
    int32_t softClip_ = 0;
    float solo_ = 0.0f;
    int32_t activeBand_ = -1;
    float outputGain_ = 1.0f;
    std::array<float, kBandGainEntries> bandGainsDb_{};
    std::array<float, kBorderEntries> borders_{};
    std::array<BandShape, kShapeEntries> shapes_{};
    float bandMeter_ = -1.0f;
    bool running_ = false;
    float bypassWithDelay_ = 0.0f;
    GainCurve curveBuilder_;
    std::unique_ptr<MultibandCompressor> compressor_;
    std::array<float, 2> bandMeterDelay_{}; // each published value is the one of the call before
    int32_t bandMeterIndex_ = 0;
    SoftClipper clipper_;
};

} // namespace orq::compressor
