#include "dsp/nsp_tables.h"

#include "dsp/nsp.h"

#include <array>
#include <mutex>
#include <new>
#include <thread>

namespace orq::dsp::nsp_tables {

constexpr int kSlotCount = kNspMaxOrder + 1;

struct Slot {
    std::atomic<RealFftPlan*> plan{nullptr};
    std::atomic<int> leases{0};
    std::atomic<int> builds{0};
    size_t bytes = 0; // guarded by the cache lock
};

namespace {

struct Cache {
    std::mutex lock;
    std::array<Slot, kSlotCount> slots;
    std::array<std::atomic<int*>, kSlotCount> bitReversal{};
    size_t totalBytes = 0; // guarded by lock
    size_t byteBudget = 0; // guarded by lock; 0 = unlimited

    ~Cache() {
        for (auto& slot : slots)
            delete slot.plan.load();
        for (auto& table : bitReversal)
            delete[] table.load();
    }
};

Cache& cache() {
    static Cache instance;
    return instance;
}

// Caller holds the lock.
void freeSlotLocked(Cache& c, Slot& slot) {
    RealFftPlan* plan = slot.plan.exchange(nullptr);
    if (!plan) return;
    while (slot.leases.load() > 0)
        std::this_thread::yield();
    delete plan;
    c.totalBytes -= slot.bytes;
    slot.bytes = 0;
}

// Caller holds the lock.
RealFftPlan* buildLocked(Cache& c, int order) {
    if (order > kMaxTableOrder) return nullptr;
    const size_t bytes = RealFftPlan::tableBytes(order);
    if (c.byteBudget != 0 && c.totalBytes + bytes > c.byteBudget) return nullptr;
    std::unique_ptr<RealFftPlan> plan = RealFftPlan::create(order);
    if (!plan) return nullptr;
    Slot& slot = c.slots[order];
    slot.bytes = bytes;
    c.totalBytes += bytes;
    slot.builds.fetch_add(1);
    return plan.release();
}

} // namespace

Lease::~Lease() {
    if (slot_) slot_->leases.fetch_sub(1);
}

Lease acquire(int order) {
    if (order < 0 || order >= kSlotCount) return {};
    Cache& c = cache();
    Slot& slot = c.slots[order];
    if (order == 0) {
        slot.leases.fetch_add(1);
        return Lease(&slot, nullptr); // order 0 needs no tables
    }

    // Fast path: announce the lease first, then look; a concurrent free either sees the lease
    // and waits, or has already taken the tables away and we fall through to building.
    slot.leases.fetch_add(1);
    if (const RealFftPlan* plan = slot.plan.load()) return Lease(&slot, plan);
    slot.leases.fetch_sub(1);

    std::lock_guard<std::mutex> guard(c.lock);
    RealFftPlan* plan = slot.plan.load();
    if (!plan) {
        plan = buildLocked(c, order);
        if (!plan) {
            for (auto& other : c.slots)
                freeSlotLocked(c, other);
            plan = buildLocked(c, order);
            if (!plan) return {};
        }
        slot.plan.store(plan);
    }
    slot.leases.fetch_add(1);
    return Lease(&slot, plan);
}

void release(int order) {
    if (order < 0 || order >= kSlotCount) return;
    Cache& c = cache();
    std::lock_guard<std::mutex> guard(c.lock);
    freeSlotLocked(c, c.slots[order]);
}

void emptyCache() {
    Cache& c = cache();
    std::lock_guard<std::mutex> guard(c.lock);
    for (auto& slot : c.slots)
        freeSlotLocked(c, slot);
}

bool isCached(int order) {
    return order >= 0 && order < kSlotCount && cache().slots[order].plan.load() != nullptr;
}

int buildCount(int order) {
    return (order >= 0 && order < kSlotCount) ? cache().slots[order].builds.load() : 0;
}

void setByteBudgetForTesting(size_t bytes) {
    Cache& c = cache();
    std::lock_guard<std::mutex> guard(c.lock);
    c.byteBudget = bytes;
}

size_t cachedBytes() {
    Cache& c = cache();
    std::lock_guard<std::mutex> guard(c.lock);
    return c.totalBytes;
}

const int* bitReversalTable(int order) {
    if (order < 0 || order >= kSlotCount) return nullptr;
    Cache& c = cache();
    if (const int* table = c.bitReversal[order].load()) return table;
    if (order > kMaxTableOrder) return nullptr;

    std::lock_guard<std::mutex> guard(c.lock);
    if (const int* table = c.bitReversal[order].load()) return table;
    const size_t size = size_t{1} << order;
    int* table = new (std::nothrow) int[size];
    if (!table) return nullptr;
    nspCalcBitRevTbl(table, order);
    c.bitReversal[order].store(table);
    return table;
}

} // namespace orq::dsp::nsp_tables
