// Conversions between interleaved PCM (16-bit integer or 32-bit float, one or two channels)
// and per-channel float arrays. Full scale is 1/32768 in and 32767 out.
#pragma once

#include <cstdint>

namespace orq {

constexpr float kInt16InScale = 3.0517578e-5f; // exactly 1/32768
constexpr float kInt16OutScale = 32767.0f;

enum class SampleFormat { Int16, Float32 };

// [audio-thread] de-interleaves frames of 1 or 2 channels into channels[c]; other counts
// convert nothing.
void convertIn(const void* interleaved, SampleFormat format, int32_t channelCount,
               float* const* channels, int32_t frames);
// [audio-thread] interleaves frames from channels[c] + offset. 16-bit output is scaled by
// 32767, truncated toward zero and saturated to the 16-bit range (a sample beyond full scale
// must not wrap around into a click); not-a-number becomes 0.
void convertOut(float* const* channels, int32_t offset, SampleFormat format, int32_t channelCount,
                void* interleaved, int32_t frames);
// One float sample to 16 bits, as convertOut does it.
int16_t floatToInt16(float x);

} // namespace orq
