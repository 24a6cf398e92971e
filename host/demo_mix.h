// A short deterministic stereo test mix: bass, chords, kick, hats. No input needed.
#pragma once

#include "host/audio_file.h"

namespace orq::host {

constexpr int32_t kDemoSampleRate = 44100;
constexpr double kDemoSeconds = 8.0;

AudioData makeDemoMix(int32_t sampleRate = kDemoSampleRate, double seconds = kDemoSeconds);
// The same mix with its highs lifted and lows cut: a differently coloured version.
AudioData makeBrightDemoMix(int32_t sampleRate = kDemoSampleRate, double seconds = kDemoSeconds);

} // namespace orq::host
