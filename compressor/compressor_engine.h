// The compressor's engine: re-blocks the stream, runs the multiband compressor, applies the
// output gain and the soft clipper, and keeps the active band's meter. Signal processing only:
// settings arrive through typed setters (the plug-in translates its parameters into them).
#pragma once

#include "compressor/gain_curve.h"
#include "compressor/multiband_compressor.h"
#include "compressor/soft_clipper.h"
#include "runtime/block_processor.h"

#include <array>
#include <cstdint>
#include <memory>

namespace orq::compressor {

constexpr int32_t kEngineBlockFrames = 1024;
constexpr int32_t kBorderEntries = 6;    // band lower edges, then the top
constexpr int32_t kBandGainEntries = 10; // 0 … 4 band gains; 5 … 9 only carried along
constexpr int32_t kShapeEntries = 5;     // one transfer curve per band
constexpr float kGainRangeDb = 12.0f;    // band gains and the output gain lie within ± this

using BorderArray = std::array<float, kBorderEntries>;
using BandGainArray = std::array<float, kBandGainEntries>;
using ShapeArray = std::array<BandShape, kShapeEntries>;

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
    // [ui-thread] allocates; throws std::bad_alloc. Builds the default three-band compressor
    // (two stages, unity curves, construction borders).
    CompressorEngine(int32_t channels, int32_t sampleRate);
    ~CompressorEngine() override;

    // Settings. [ui-thread] no allocation unless stated; non-finite values are ignored.
    // 0: two gain stages per band; non-zero: one. Reloads every band's table and time constants.
    void setCompType(int32_t compType);
    // [ui-thread] allocates. Replaces the multiband compressor for bandCount (kept in
    // 1 … kMaxBands) bands, set up from the arrays; every state restarts. Throws std::bad_alloc
    // and keeps the running compressor when the new one cannot be built.
    void setBandCount(int32_t bandCount, const BandGainArray& gainsDb, const BorderArray& bordersHz,
                      const ShapeArray& shapes);
    // Stores the band gains; applyBandGain sets one band's pre-gain from them.
    void setBandGainsDb(const BandGainArray& gainsDb) { bandGainsDb_ = gainsDb; }
    void applyBandGain(int32_t band);
    // Stores the borders; applyBorder re-designs crossover `index` (1 … bandCount - 1) from them.
    void setBordersHz(const BorderArray& bordersHz) { borders_ = bordersHz; }
    void applyBorder(int32_t index);
    // Stores every curve and rebuilds the active band's table (an invalid curve keeps its old
    // table).
    void setShapes(const ShapeArray& shapes);
    // The band the editor works on (-1 none); moves the solo when solo is on.
    void setActiveBand(int32_t band);
    void setBandMeter(float value) { bandMeter_ = value; }
    // On: solo the active band; off: no solo.
    void setSolo(bool on);
    // Output gain in dB, kept within ± kGainRangeDb.
    void setOutputDb(float outputDb);
    // Non-zero: the soft clipper runs (unless bypassed).
    void setSoftClip(int32_t softClip);
    // On: the audio passes delayed by the latency and otherwise unchanged: no band split
    // residue, band gain, gain stage, output gain or clipper.
    void setBypassWithDelay(bool on);

    // [ui-thread] no allocation. The active band's meter value (the one computed at the call
    // before), or -1 when stopped or without an active band.
    float publishMeter();
    // [audio-thread] no allocation. Resets every state and marks the engine running.
    void start();
    // [audio-thread]
    void stop() { running_ = false; }
    // Frames of delay: the engine's block, the splitter and the band dynamics.
    int32_t latency() const;
    // The largest latency at a sample rate: five bands, two stages.
    static int32_t maxLatency(int32_t sampleRate);

    int32_t bandCount() const { return bandCount_; }
    int32_t channels() const { return channels_; }
    int32_t sampleRate() const { return sampleRate_; }
    bool running() const { return running_; }
    float outputGain() const { return outputGain_; }
    int32_t activeBand() const { return activeBand_; }
    const BandGainArray& bandGainsDb() const { return bandGainsDb_; }
    const BorderArray& bordersHz() const { return borders_; }
    const MultibandCompressor& compressor() const { return *compressor_; }
    const SoftClipper& clipper() const { return clipper_; }

  protected:
    // [audio-thread] no allocation. One 1024-frame block: the multiband compressor (which
    // re-blocks once more), the output gain, the soft clipper.
    void processBlock(float* const* inputBlocks, float* const* outputBlocks) override;

  private:
    void applyTimeConstants();
    // Builds a band's table from its shape and loads it; an invalid shape keeps the old one.
    void loadShape(int32_t band);
    void updateClipper();

    int32_t channels_;
    int32_t sampleRate_;
    int32_t bandCount_ = 3;
    int32_t compType_ = 0;
    int32_t softClip_ = 0;
    bool solo_ = false;
    int32_t activeBand_ = -1;
    float outputGain_ = 1.0f;
    BandGainArray bandGainsDb_{};
    BorderArray borders_{};
    ShapeArray shapes_{};
    float bandMeter_ = -1.0f;
    bool running_ = false;
    bool bypassWithDelay_ = false;
    GainCurve curveBuilder_;
    std::unique_ptr<MultibandCompressor> compressor_;
    std::array<float, 2> bandMeterDelay_{}; // each published value is the one of the call before
    int32_t bandMeterIndex_ = 0;
    SoftClipper clipper_;
};

} // namespace orq::compressor
