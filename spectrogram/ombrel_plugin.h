// "Orq Ombrel": the spectrogram analyser plug-in. Passes audio through unchanged and measures
// power spectra of one or both channels for its editor.
#pragma once

#include "runtime/audio_plugin.h"
#include "runtime/parameter_set.h"
#include "spectrogram/spectrogram_engine.h"

#include <memory>

namespace orq {

// Parameter indices. Every value travels as a float and is truncated to a whole number.
enum OmbrelParam : int32_t {
    kOmbrelRingRows = 0,     // "BSGMax": ring capacity in spectra (40 full band, 10 low band)
    kOmbrelBins = 1,         // "nFFT21": bins per spectrum
    kOmbrelSpectra = 2,      // "SG": "BSGTrans" rows of "nFFT21" power values
    kOmbrelSpectraCount = 3, // "BSGTrans": spectra in the last block handed out
    kOmbrelOverflow = 4,     // "bSGDO": 1 = spectra were lost since the last collection
    kOmbrelLowBand = 5,      // "bLog": 0 full band, 1 low band
    kOmbrelView = 6,         // "ch": 0 left, 1 mean of both, 2 right
    kOmbrelChannels = 7,     // "nChs": set by the engine
    kOmbrelRunning = 8,      // "bFrq": 1 analysing, 0 halted
    kOmbrelParamCount = 9,
};

const ParameterTable& ombrelParameterTable();

// Whole-number value of a setting as it arrives (truncated toward zero; NaN reads 0).
int32_t settingValue(float value);

// The table's set, with the "SG" storage sized "BSGMax" × "nFFT21" floats. Sizes above the
// engine's ring (40 × 513) are clamped, so no request can make a transfer exceed it.
class OmbrelParameters : public TableParameterSet {
  public:
    // [ui-thread] allocates.
    OmbrelParameters();
    OmbrelParameters(const OmbrelParameters& other) = default;

    ParameterSet* clone() const override;
    void copyFrom(ParameterInterface* other) override;
    // Only the user settings "bLog", "ch" and "bFrq" are persisted.
    int32_t isPersisted(int32_t index) const override;
    // [ui-thread] may allocate: a new "BSGMax" or "nFFT21" reallocates "SG" (contents lost).
    void setFloat(int32_t index, float value) override;

    // Rows of "nFFT21" floats the "SG" storage holds.
    int32_t spectraCapacity() const;
    // [ui-thread] Writes the first rows of "SG" straight into a store's "SG" (no scratch
    // copy), as many as both hold; clears the own flag.
    void writeSpectraTo(ParameterInterface* store, int32_t rows);

  private:
    void resizeSpectra();
};

class OmbrelPlugin : public AudioPlugin {
  public:
    static const PluginIdentity kIdentity;

    // [ui-thread] takes ownership of parameters.
    OmbrelPlugin(OmbrelParameters* parameters, HostCallback host, void* hostContext);
    ~OmbrelPlugin() override;

    int32_t process(AudioBuffers& buffers) override;
    int32_t processReplacing(AudioBuffers& buffers) override;
    void loadSettings(ParameterInterface* store) override;
    void saveSettings(ParameterInterface* store) override;
    int32_t open(OpenFormat& format) override;
    int32_t close() override;
    int32_t start() override;
    int32_t stop() override;
    int32_t checkFormat(int32_t channels, int32_t* outputChannels, int32_t* sampleRate,
                        int32_t* extra) override;
    int32_t latency() override { return 0; }
    float compatFloatQuery() override { return -1.0f; }

    // The engine while open, else null (read under the lock).
    const SpectrogramEngine* engine() const { return engine_.get(); }

  private:
    OmbrelParameters& own() { return static_cast<OmbrelParameters&>(parameters()); }

    std::unique_ptr<SpectrogramEngine> engine_;
};

// [ui-thread] Creator functions; they catch every failure and return null. The plug-in takes
// ownership of parameters (null: a fresh set with the defaults); a set of another kind is
// copied into a set of this plug-in and released.
AudioPlugin* createOmbrelPlugin(ParameterSet* parameters, HostCallback host, void* hostContext);
ParameterSet* createOmbrelParameters();

} // namespace orq
