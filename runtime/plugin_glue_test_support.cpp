#include "runtime/plugin_glue_test_support.h"

#include "runtime/plugin_glue.h"

#include <atomic>
#include <cstdlib>
#include <cstring>
#include <new>
#include <stdexcept>
#include <string>
#include <thread>

namespace {

// Per thread: allocations still allowed (negative: no failure injected), and refusals so far.
thread_local int64_t tAllowedAllocations = -1;
thread_local int64_t tRefusedAllocations = 0;

// True when this allocation is to fail.
bool refuseThisAllocation() {
    if (tAllowedAllocations < 0) return false;
    if (tAllowedAllocations == 0) {
        ++tRefusedAllocations;
        return true;
    }
    --tAllowedAllocations;
    return false;
}

void* allocateOrNull(std::size_t size, std::size_t alignment) {
    if (refuseThisAllocation()) return nullptr;
    if (size == 0) size = 1;
    if (alignment <= alignof(std::max_align_t)) return std::malloc(size);
    return std::aligned_alloc(alignment, (size + alignment - 1) / alignment * alignment);
}

void* allocateOrThrow(std::size_t size, std::size_t alignment) {
    void* p = allocateOrNull(size, alignment);
    if (p == nullptr) throw std::bad_alloc();
    return p;
}

} // namespace

// The replacements are visible to the shared libraries too, so that every allocation and
// release of the test program goes through one pair.

[[gnu::visibility("default")]] void* operator new(std::size_t size) {
    return allocateOrThrow(size, 0);
}
[[gnu::visibility("default")]] void* operator new[](std::size_t size) {
    return allocateOrThrow(size, 0);
}
[[gnu::visibility("default")]] void* operator new(std::size_t size, std::align_val_t alignment) {
    return allocateOrThrow(size, std::size_t(alignment));
}
[[gnu::visibility("default")]] void* operator new[](std::size_t size, std::align_val_t alignment) {
    return allocateOrThrow(size, std::size_t(alignment));
}
[[gnu::visibility("default")]] void* operator new(std::size_t size,
                                                  const std::nothrow_t&) noexcept {
    return allocateOrNull(size, 0);
}
[[gnu::visibility("default")]] void* operator new[](std::size_t size,
                                                    const std::nothrow_t&) noexcept {
    return allocateOrNull(size, 0);
}
[[gnu::visibility("default")]] void* operator new(std::size_t size, std::align_val_t alignment,
                                                  const std::nothrow_t&) noexcept {
    return allocateOrNull(size, std::size_t(alignment));
}
[[gnu::visibility("default")]] void* operator new[](std::size_t size, std::align_val_t alignment,
                                                    const std::nothrow_t&) noexcept {
    return allocateOrNull(size, std::size_t(alignment));
}
[[gnu::visibility("default")]] void operator delete(void* p) noexcept {
    std::free(p);
}
[[gnu::visibility("default")]] void operator delete[](void* p) noexcept {
    std::free(p);
}
[[gnu::visibility("default")]] void operator delete(void* p, std::size_t) noexcept {
    std::free(p);
}
[[gnu::visibility("default")]] void operator delete[](void* p, std::size_t) noexcept {
    std::free(p);
}
[[gnu::visibility("default")]] void operator delete(void* p, std::align_val_t) noexcept {
    std::free(p);
}
[[gnu::visibility("default")]] void operator delete[](void* p, std::align_val_t) noexcept {
    std::free(p);
}
[[gnu::visibility("default")]] void operator delete(void* p, std::size_t,
                                                    std::align_val_t) noexcept {
    std::free(p);
}
[[gnu::visibility("default")]] void operator delete[](void* p, std::size_t,
                                                      std::align_val_t) noexcept {
    std::free(p);
}
[[gnu::visibility("default")]] void operator delete(void* p, const std::nothrow_t&) noexcept {
    std::free(p);
}
[[gnu::visibility("default")]] void operator delete[](void* p, const std::nothrow_t&) noexcept {
    std::free(p);
}
[[gnu::visibility("default")]] void operator delete(void* p, std::align_val_t,
                                                    const std::nothrow_t&) noexcept {
    std::free(p);
}
[[gnu::visibility("default")]] void operator delete[](void* p, std::align_val_t,
                                                      const std::nothrow_t&) noexcept {
    std::free(p);
}

namespace orq::test {

AllocationFailure::AllocationFailure(int64_t allowedAllocations) {
    tRefusedAllocations = 0;
    tAllowedAllocations = allowedAllocations < 0 ? 0 : allowedAllocations;
}

AllocationFailure::~AllocationFailure() {
    tAllowedAllocations = -1;
}

int64_t AllocationFailure::refused() const {
    return tRefusedAllocations;
}

namespace {

constexpr int32_t kCheckFrames = 64;

// A stereo block through process, compared with what went in; false when anything changed.
bool passesAudioUnchanged(AudioPlugin& plugin) {
    AudioBuffers buffers(2, 2, kCheckFrames, BufferLayout::Separate);
    buffers.setFrames(kCheckFrames);
    buffers.frames = kCheckFrames; // setFrames leaves the input count alone for separate buffers
    for (int32_t c = 0; c < 2; ++c)
        for (int32_t i = 0; i < kCheckFrames; ++i) {
            buffers.inputs()[c][i] = 0.25f * float(c + 1) * (i % 2 == 0 ? 1.0f : -1.0f);
            buffers.outputs()[c][i] = 9.0f; // anything process leaves untouched shows up
        }
    if (plugin.process(buffers) != kCheckFrames) return false;
    for (int32_t c = 0; c < 2; ++c)
        if (std::memcmp(buffers.inputs()[c], buffers.outputs()[c], sizeof(float) * kCheckFrames) !=
            0)
            return false;
    return true;
}

} // namespace

int32_t checkOpenUnderEveryAllocationFailure(AudioPlugin& plugin, const OpenFormat& format,
                                             const std::function<bool()>& isEngineOpen,
                                             int32_t maxAllocations) {
    for (int32_t allowed = 0; allowed < maxAllocations; ++allowed) {
        OpenFormat requested = format;
        int32_t status = 0;
        int64_t refused = 0;
        {
            AllocationFailure failure(allowed);
            status = plugin.open(requested);
            refused = failure.refused();
        }
        if (refused == 0) {
            if (status != 0) throw std::runtime_error("open failed without a refused allocation");
            return allowed;
        }
        if (status != kStatusOpenFailed)
            throw std::runtime_error("open under allocation failure " + std::to_string(allowed) +
                                     " returned " + std::to_string(status));
        if (isEngineOpen())
            throw std::runtime_error("an engine is left after a failed open at allocation " +
                                     std::to_string(allowed));
        if (!passesAudioUnchanged(plugin))
            throw std::runtime_error("audio changed after a failed open at allocation " +
                                     std::to_string(allowed));
    }
    throw std::runtime_error("open still allocating after the limit");
}

int64_t raceOpenCloseAgainstProcessing(AudioPlugin& plugin, const std::vector<OpenFormat>& formats,
                                       int32_t rounds, int32_t blockFrames) {
    std::atomic<bool> done{false};
    std::atomic<int64_t> blocks{0};
    PluginRecord* record = &plugin.record();
    std::thread audio([&] {
        AudioBuffers buffers(2, 2, blockFrames, BufferLayout::Shared);
        buffers.setFrames(blockFrames);
        float phase = 0.0f;
        while (!done.load(std::memory_order_acquire)) {
            for (int32_t c = 0; c < 2; ++c)
                for (int32_t i = 0; i < blockFrames; ++i)
                    buffers.inputs()[c][i] = 0.5f * float((i + c) % 7) / 7.0f - phase;
            phase = phase > 0.1f ? 0.0f : phase + 0.01f;
            record->process(record, &buffers);
            blocks.fetch_add(1, std::memory_order_relaxed);
        }
    });
    // Let processing begin before the first open.
    while (blocks.load(std::memory_order_relaxed) == 0)
        std::this_thread::yield();
    const size_t count = formats.size();
    for (int32_t round = 0; round < rounds; ++round) {
        OpenFormat first = formats[size_t(round) % count];
        OpenFormat second = formats[size_t(round + 1) % count];
        record->dispatcher(record, kCmdOpen, &first, 0);
        record->dispatcher(record, kCmdStart, nullptr, 0);
        record->dispatcher(record, kCmdFormatChanged, &second, 0);
        record->dispatcher(record, kCmdStop, nullptr, 0);
        record->dispatcher(record, kCmdClose, nullptr, 0);
    }
    done.store(true, std::memory_order_release);
    audio.join();
    return blocks.load();
}

} // namespace orq::test
