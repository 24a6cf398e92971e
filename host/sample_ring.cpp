#include "host/sample_ring.h"

#include <algorithm>
#include <cstring>
#include <stdexcept>

namespace orq::host {

namespace {

int64_t powerOfTwoAtLeast(int64_t n) {
    int64_t p = 1;
    while (p < n)
        p <<= 1;
    return p;
}

} // namespace

SampleRing::SampleRing(int32_t channelCount, int64_t capacityFrames)
    : channelCount_(channelCount), capacity_(powerOfTwoAtLeast(std::max<int64_t>(1, capacityFrames))),
      mask_(capacity_ - 1) {
    if (channelCount < 1) throw std::invalid_argument("a sample ring needs a channel");
    samples_.assign(size_t(capacity_) * size_t(channelCount_), 0.0f);
}

int64_t SampleRing::readableFrames() const {
    return written_.load(std::memory_order_acquire) - read_.load(std::memory_order_acquire);
}

int64_t SampleRing::writableFrames() const {
    return capacity_ - readableFrames();
}

int64_t SampleRing::write(const float* const* channels, int64_t frames) {
    const int64_t at = written_.load(std::memory_order_relaxed);
    const int64_t room = capacity_ - (at - read_.load(std::memory_order_acquire));
    const int64_t n = std::min(frames, room);
    if (n <= 0) return 0;
    const int64_t start = at & mask_;
    const int64_t first = std::min(n, capacity_ - start); // up to the end of the storage
    for (int32_t c = 0; c < channelCount_; ++c) {
        float* ring = samples_.data() + size_t(c) * size_t(capacity_);
        std::memcpy(ring + start, channels[c], size_t(first) * sizeof(float));
        std::memcpy(ring, channels[c] + first, size_t(n - first) * sizeof(float));
    }
    written_.store(at + n, std::memory_order_release);
    return n;
}

int64_t SampleRing::read(float* const* channels, int64_t offset, int64_t frames) {
    const int64_t at = read_.load(std::memory_order_relaxed);
    const int64_t waiting = written_.load(std::memory_order_acquire) - at;
    const int64_t n = std::min(frames, waiting);
    if (n <= 0) return 0;
    const int64_t start = at & mask_;
    const int64_t first = std::min(n, capacity_ - start);
    for (int32_t c = 0; c < channelCount_; ++c) {
        const float* ring = samples_.data() + size_t(c) * size_t(capacity_);
        std::memcpy(channels[c] + offset, ring + start, size_t(first) * sizeof(float));
        std::memcpy(channels[c] + offset + first, ring, size_t(n - first) * sizeof(float));
    }
    read_.store(at + n, std::memory_order_release);
    return n;
}

} // namespace orq::host
