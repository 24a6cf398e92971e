#include "host/stream_counts.h"

#include <cmath>
#include <cstdlib>
#include <cstring>

namespace orq::host {

namespace {
constexpr int32_t kInt16FullScale = 32767; // the frame's 16-bit output saturates here
} // namespace

int64_t NonFiniteCountingSource::read(void* bytes, int64_t frames) {
    const int64_t got = source_.read(bytes, frames);
    if (format().format == SampleFormat::Float32) {
        const size_t samples = size_t(got) * size_t(format().channels);
        const auto* x = static_cast<const float*>(bytes);
        for (size_t i = 0; i < samples; ++i)
            nonFinite_ += std::isfinite(x[i]) ? 0 : 1;
    }
    return got;
}

void FullScaleCountingSink::write(const void* bytes, int64_t frames) {
    const size_t samples = size_t(frames) * size_t(format_.channels);
    if (format_.format == SampleFormat::Float32) {
        const auto* x = static_cast<const float*>(bytes);
        for (size_t i = 0; i < samples; ++i)
            atFullScale_ += std::fabs(x[i]) < 1.0f ? 0 : 1;
    } else {
        const auto* x = static_cast<const int16_t*>(bytes);
        for (size_t i = 0; i < samples; ++i)
            atFullScale_ += std::abs(int32_t(x[i])) < kInt16FullScale ? 0 : 1;
    }
    sink_.write(bytes, frames);
}

std::string nonFiniteLine(int64_t count, const std::string& what) {
    if (count == 0) return {};
    return std::to_string(count) + " non-finite " + what + (count == 1 ? " sample" : " samples") +
           " replaced by 0\n";
}

std::string fullScaleLine(int64_t count, const std::string& advice) {
    if (count == 0) return {};
    return "output: " + std::to_string(count) + (count == 1 ? " sample" : " samples") +
           " at or over full scale; " + advice + "\n";
}

} // namespace orq::host
