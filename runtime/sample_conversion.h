// Conversions between interleaved PCM (16-bit integer or 32-bit float, one or two channels)
// and per-channel float arrays. 16-bit samples come in scaled by 1/32768 and go out scaled by
// 32768, so a neutral plug-in returns every 16-bit value unchanged; the output is saturated to
// ±32767, which keeps full scale symmetric (1.0 → 32767, −1.0 → −32767).
#pragma once

#include <cstdint>

namespace orq {

constexpr float kInt16InScale = 3.0517578e-5f; // exactly 1/32768
constexpr float kInt16OutScale = 32768.0f;
constexpr float kInt16OutLimit = 32767.0f; // symmetric saturation

enum class SampleFormat { Int16, Float32 };

// [audio-thread] de-interleaves frames of 1 or 2 channels into channels[c]; other counts
// convert nothing.
void convertIn(const void* interleaved, SampleFormat format, int32_t channelCount,
               float* const* channels, int32_t frames);
// [audio-thread] interleaves frames from channels[c] + offset. 16-bit output is scaled,
// truncated toward zero and saturated (a sample beyond full scale must not wrap around into a
// click); not-a-number becomes 0.
void convertOut(float* const* channels, int32_t offset, SampleFormat format, int32_t channelCount,
                void* interleaved, int32_t frames);
// One float sample to 16 bits, as convertOut does it.
int16_t floatToInt16(float x);
// [audio-thread] replaces every sample that is not a finite number (NaN, ±infinity) by 0 and
// returns how many there were. Integer tests on the bits, so it holds under any float mode.
int32_t replaceNonFinite(float* samples, int32_t count);

// The largest magnitude among the samples (0 for none; not-a-number is passed over) and how
// many lie beyond ±1 (infinities included, not-a-number not).
struct PeakAndOvers {
    float peak;
    int32_t overs;
};
// [audio-thread]
PeakAndOvers peakAndOvers(const float* samples, int32_t count);

} // namespace orq
