// Test support for the plug-in glue rules every plug-in class follows: an allocation failure
// injected into open, and open, close and format changes racing against processing.
#pragma once

#include "runtime/audio_plugin.h"

#include <cstdint>
#include <functional>
#include <vector>

namespace orq::test {

// While alive, every allocation through operator new on the constructing thread after the
// first allowedAllocations throws std::bad_alloc (or returns null for the nothrow forms).
// Other threads allocate normally. Not nestable.
class AllocationFailure {
  public:
    explicit AllocationFailure(int64_t allowedAllocations);
    ~AllocationFailure();
    AllocationFailure(const AllocationFailure&) = delete;
    AllocationFailure& operator=(const AllocationFailure&) = delete;

    // Allocations refused so far.
    int64_t refused() const;
};

// Opens the plug-in once with the n-th allocation of open failing, for n = 0, 1, 2, ... until
// an open succeeds (at most maxAllocations tries). Each failed open must return
// kStatusOpenFailed, leave isEngineOpen false and pass a block of audio unchanged through
// process. Returns the number of failed opens (0 when the first open already succeeded).
int32_t checkOpenUnderEveryAllocationFailure(AudioPlugin& plugin, const OpenFormat& format,
                                             const std::function<bool()>& isEngineOpen,
                                             int32_t maxAllocations = 2000);

// One thread runs the record's process in a loop over stereo blocks while the calling thread
// cycles through the given formats for rounds rounds: open, format change, close. Both threads
// stop after the rounds; returns the number of blocks processed.
int64_t raceOpenCloseAgainstProcessing(AudioPlugin& plugin, const std::vector<OpenFormat>& formats,
                                       int32_t rounds, int32_t blockFrames = 256);

} // namespace orq::test
