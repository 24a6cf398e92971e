// A ring of per-channel float samples between one writer thread and one reader thread, without
// locks: the writer (orq play's file reader) only advances the written count, the reader (the
// audio callback) only the read count.
#pragma once

#include <atomic>
#include <cstdint>
#include <vector>

namespace orq::host {

class SampleRing {
  public:
    // [ui-thread] allocates: room for at least capacityFrames frames (rounded up to a power of
    // two) of channelCount channels.
    SampleRing(int32_t channelCount, int64_t capacityFrames);
    SampleRing(const SampleRing&) = delete;
    SampleRing& operator=(const SampleRing&) = delete;

    int64_t capacityFrames() const { return capacity_; }
    // [any-thread] frames waiting to be read / room left for writing.
    int64_t readableFrames() const;
    int64_t writableFrames() const;

    // [writer-thread] no allocation: copies up to frames frames from channels[c] (as many as
    // fit); returns how many.
    int64_t write(const float* const* channels, int64_t frames);
    // [audio-thread] no allocation, no lock: copies up to frames frames into channels[c] + offset
    // (as many as wait); returns how many.
    int64_t read(float* const* channels, int64_t offset, int64_t frames);

  private:
    int32_t channelCount_;
    int64_t capacity_;
    int64_t mask_;
    std::vector<float> samples_; // channel c at c × capacity_
    static_assert(std::atomic<int64_t>::is_always_lock_free);
    alignas(64) std::atomic<int64_t> written_{0};
    alignas(64) std::atomic<int64_t> read_{0};
};

} // namespace orq::host
