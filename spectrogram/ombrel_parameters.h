// The spectrogram analyser's parameter table and its set, whose "SG" block carries the
// collected spectra to the editor.
#pragma once

#include "runtime/parameter_set.h"
#include "spectrogram/spectrum_analyzer.h"

#include <cstdint>

namespace orq::spectrogram {

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

// What a host may ask the open editor with the frame's message 2024 (wParam: the request,
// lParam: its argument).
// The picture spans at least lParam milliseconds of audio: it grows wider (and the editor with
// it) when its usual span is shorter. 0 returns to the usual span.
constexpr uintptr_t kOmbrelEditorSpanRequest = 1;

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

} // namespace orq::spectrogram
