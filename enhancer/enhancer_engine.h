// The spectral enhancer's signal path. The input (scaled by the input gain) goes three ways,
// all delayed to the same latency Ld:
//   dry:        x delayed by Ld
//   high-passed: linear-phase FIR (delay 19) then a delay of D
//   harmonics:  FIR output x drive, two treble bands (Butterworth band-pass, then a
//               DensityCompressor with look-ahead D), G = k2 A^2 + k3 B^3, high-passed at
//               10986 Hz
//   out = solo x dry + hpMix x mix x high-passed + mix x G
#pragma once

#include "enhancer/biquad_cascade.h"
#include "enhancer/density_compressor.h"
#include "enhancer/highpass_designs.h"

#include <array>
#include <cstdint>
#include <vector>

namespace orq::enhancer {

constexpr int32_t kMaxEnhancerChannels = 2;
constexpr int32_t kMaxSubBlockFrames = 2048;
constexpr int32_t kLookaheadAt44100 = 89; // D scales with the rate: trunc(fs x 89 / 44100)

// Band A: square-law band; band B: cube-law band. Corners in Hz, Butterworth orders.
constexpr double kBandAHighPassHz = 3400.0;
constexpr double kBandALowPassHz = 10000.0;
constexpr double kBandBHighPassHz = 3662.0;
constexpr double kBandBLowPassHz = 6667.0;
constexpr int32_t kBandFilterOrder = 6;
constexpr double kBandARatio = 2.0;
constexpr double kBandBRatio = 3.0;
constexpr double kOutputHighPassHz = 10986.0;
constexpr int32_t kOutputFilterOrder = 8;
// Product weights per unit of "2nd" and "3rd".
constexpr float kSecondOrderWeight = 2.0f * 1.05f;
constexpr float kThirdOrderWeight = 1.5f;

constexpr int32_t kBandSections = kBandFilterOrder; // high-pass then low-pass sections
constexpr int32_t kOutputSections = kOutputFilterOrder / 2;

// User-facing settings: input gain in dB, corner in Hz, the rest as plain factors. The
// defaults are those of a new plug-in.
struct EnhancerSettings {
    float inputGainDb = 0.0f;
    float solo = 1.0f;
    float mix = 0.5f;
    float cornerHz = 3000.0f;
    float hpMix = 1.0f;
    float drive = 0.5f;
    bool kick = false;
    float density = 3.0f;
    float second = 0.5f;
    float third = 0.5f;
};

class EnhancerEngine {
  public:
    // [any-thread]
    static bool supportsSampleRate(int32_t sampleRateHz);
    static int32_t lookaheadFramesFor(int32_t sampleRateHz);
    static int32_t latencyFramesFor(int32_t sampleRateHz);

    // [ui-thread] allocates. The rate must be one supportsSampleRate accepts (else
    // std::invalid_argument); channels are limited to 1 ... kMaxEnhancerChannels.
    EnhancerEngine(int32_t sampleRateHz, int32_t channels);

    // [audio-thread] no allocation, no lock. One array per engine channel; an output array may
    // be the same as its input array. Any frame count; the work runs in sub-blocks of at most
    // kMaxSubBlockFrames.
    void process(const float* const* inputs, float* const* outputs, int32_t frames);

    // [audio-thread or ui-thread under the plug-in's lock] no allocation. Zeroes every state
    // and delay line; compressor gains restart at g0.
    void reset();

    // [ui-thread under the plug-in's lock] no allocation. While set, the input passes unscaled
    // through the dry delay, and the filters run on Ld samples of silence on every call.
    void setBypassWithDelay(bool on) { bypassWithDelay_ = on; }
    bool bypassWithDelay() const { return bypassWithDelay_; }

    // [ui-thread under the plug-in's lock] no allocation; take effect from the next call.
    // A value that is not finite is ignored; the corner snaps to the nearest design
    // (1000 ... 7000 Hz). The plug-in limits values to its parameter ranges beforehand.
    void setInputGainDb(float db);
    void setSolo(float solo);
    void setMix(float mix);
    void setCornerHz(float cornerHz);
    void setHpMix(float hpMix);
    void setDrive(float drive);
    void setKick(bool kick);
    void setDensity(float density);
    void setSecond(float amount);
    void setThird(float amount);
    void applySettings(const EnhancerSettings& settings);

    const EnhancerSettings& settings() const { return settings_; }
    int32_t sampleRateHz() const { return sampleRateHz_; }
    int32_t channels() const { return channels_; }
    int32_t latencyFrames() const { return latencyFrames_; }
    int32_t lookaheadFrames() const { return lookaheadFrames_; }
    int32_t highpassTapCount() const { return highpassTapCount_; }
    // Silent input frames counted since the last non-zero sample (saturating).
    int64_t silentFrames() const { return silentFrames_; }

  private:
    void updateCompressors();
    void processSubBlock(const float* const* inputs, float* const* outputs, int32_t offset,
                         int32_t frames);
    void bypassSubBlock(const float* const* inputs, float* const* outputs, int32_t offset,
                        int32_t frames);
    void runHighpass(int32_t channel, int32_t frames);
    // Band filters, compressors, products and output filter over the driven FIR output; with
    // silent set, over zeros (the states decay, nothing is written).
    void runHarmonics(int32_t frames, bool silent);
    void shiftHistories(int32_t frames);
    void recoverFromNonFinite();

    int32_t sampleRateHz_;
    int32_t channels_;
    int32_t lookaheadFrames_;
    int32_t latencyFrames_;
    int32_t baseRateIndex_;
    EnhancerSettings settings_;

    // Derived values.
    float inputGain_ = 1.0f;
    float dryWeight_ = 1.0f;
    float highpassWeight_ = 0.5f;
    float harmonicWeight_ = 0.5f;
    Lane4 productWeights_ = splat(0.0f); // k2 on band-A lanes, k3 on band-B lanes
    std::array<float, kHighpassFrameTaps> highpassTaps_{};
    int32_t firstHighpassTap_ = 0; // taps before it are 0
    int32_t highpassTapCount_ = 0;

    // Per channel: input history (Ld frames) + sub-block, FIR output history (D) + sub-block.
    // Both are padded so the FIR may run in groups of four frames.
    std::array<std::vector<float>, kMaxEnhancerChannels> input_;
    std::array<std::vector<float>, kMaxEnhancerChannels> highpassed_;
    std::array<std::vector<float>, kMaxEnhancerChannels> harmonics_;

    BiquadCascade4<kBandSections> bandFilters_;
    DensityCompressor compressors_;
    BiquadCascade4<kOutputSections> outputFilter_;

    int64_t silentFrames_ = 0;
    bool bypassWithDelay_ = false;
};

} // namespace orq::enhancer
