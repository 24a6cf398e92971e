// Process-wide cache of the library's FFT tables, one slot per order.
//
// Each order's tables are built exactly once, under the cache's lock, by the first call that
// needs them; later calls find them without locking. A transform holds a lease on its tables
// for the length of the call, and freeing an order (or emptying the cache after a failed
// build) waits until no lease on it is held, so tables never vanish under a running transform
// on another thread.
#pragma once

#include "dsp/fft_plan.h"

#include <atomic>
#include <cstddef>

namespace orq::dsp::nsp_tables {

// Orders above this are refused as an allocation failure: their tables alone would take
// hundreds of megabytes (about 12 bytes per point).
constexpr int kMaxTableOrder = 24;

struct Slot;

// Holds an order's tables in use. Empty when they could not be built.
class Lease {
  public:
    Lease() = default;
    Lease(Slot* slot, const RealFftPlan* plan) : slot_(slot), plan_(plan) {}
    Lease(const Lease&) = delete;
    Lease& operator=(const Lease&) = delete;
    Lease(Lease&& other) noexcept : slot_(other.slot_), plan_(other.plan_) {
        other.slot_ = nullptr;
    }
    ~Lease();

    bool valid() const { return slot_ != nullptr; }
    // Null for order 0, which needs no tables.
    const RealFftPlan* plan() const { return plan_; }

  private:
    Slot* slot_ = nullptr;
    const RealFftPlan* plan_ = nullptr;
};

// [any-thread] Gets an order's tables (0 <= order <= 31), building them if needed; when the
// build fails the whole cache is emptied and the build tried once more. Allocates only when
// building.
Lease acquire(int order);
// [any-thread] Frees an order's tables (nothing when they are not built).
void release(int order);
// [any-thread] Frees every order's tables.
void emptyCache();

// Test hooks.
bool isCached(int order);
int buildCount(int order);                  // successful builds since the process started
void setByteBudgetForTesting(size_t bytes); // 0: no limit besides kMaxTableOrder
size_t cachedBytes();

// The cached bit-reversal table of an order (2^order entries), built once and kept for the life
// of the process; null when it cannot be allocated.
const int* bitReversalTable(int order);

} // namespace orq::dsp::nsp_tables
