// The spectrogram display's level scale: power values as the display shows them in dB.
#pragma once

#include <cmath>

namespace orq {

// The display's calibration factor k: levels are 10·log10(k·P) dB. With the interior-bin
// scale P[k] is a sine's mean power A²/2, so k = 2 puts a full-scale sine at 0 dB in full-band
// mode (about −2 dB in low-band mode, whose shorter window has the lower gain).
constexpr float kDisplayCalibration = 2.0f;
constexpr float kDisplayFloorDb = -100.0f;

// Level in dB as the display shows a power value; powers not above 0 and levels below the
// floor read the floor.
inline float displayLevelDb(float power) {
    if (!(power > 0.0f)) return kDisplayFloorDb;
    const float level = 10.0f * std::log10(power * kDisplayCalibration);
    return level < kDisplayFloorDb ? kDisplayFloorDb : level;
}

} // namespace orq
