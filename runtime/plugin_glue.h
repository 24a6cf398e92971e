// What every plug-in class shares around its engine: the scoped lock, the boundary's names
// (record kinds, statuses, commands; runtime/plugin_boundary.h) and the creator functions that
// never let a failure out.
#pragma once

#include "runtime/audio_plugin.h"
#include "runtime/parameter_set.h"
#include "runtime/plugin_boundary.h"

#include <windows.h>

#include <cstdint>
#include <new>

namespace orq {

// Holds a critical section for one scope. [any-thread] no allocation.
class ScopedLock {
  public:
    explicit ScopedLock(CRITICAL_SECTION& section) : section_(section) {
        EnterCriticalSection(&section_);
    }
    ~ScopedLock() { LeaveCriticalSection(&section_); }
    ScopedLock(const ScopedLock&) = delete;
    ScopedLock& operator=(const ScopedLock&) = delete;

  private:
    CRITICAL_SECTION& section_;
};

// A fresh parameter set of type Set, or null when it cannot be built. [ui-thread] allocates.
template <class Set> ParameterSet* createParameterSetOrNull() noexcept {
    try {
        return new Set();
    } catch (...) {
        return nullptr;
    }
}

// A plug-in of type Plugin owning parameters (a fresh Set when null), or null when it cannot be
// built; the set passed in is released exactly once on failure. The base AudioPlugin owns the
// set as soon as it is constructed, so a Plugin whose own constructor throws has released it
// already; only a failure before that (the memory itself) leaves it to this function.
// [ui-thread] allocates.
template <class Plugin, class Set>
AudioPlugin* createPluginOrNull(ParameterSet* parameters, HostCallback host,
                                void* hostContext) noexcept {
    if (parameters == nullptr) {
        parameters = createParameterSetOrNull<Set>();
        if (parameters == nullptr) return nullptr;
    }
    void* memory = ::operator new(sizeof(Plugin), std::nothrow);
    if (memory == nullptr) {
        parameters->release();
        return nullptr;
    }
    try {
        return ::new (memory) Plugin(parameters, host, hostContext);
    } catch (...) {
        ::operator delete(memory);
        return nullptr;
    }
}

// The set a plug-in of parameter set type Set can own: parameters itself when it is a Set (or
// null), else a fresh Set holding parameters' values, with parameters released. Null when the
// fresh set cannot be built (parameters is released then too). [ui-thread] allocates.
template <class Set> ParameterSet* adoptParameterSetOrNull(ParameterSet* parameters) noexcept {
    if (parameters == nullptr || dynamic_cast<Set*>(parameters) != nullptr) return parameters;
    ParameterSet* own = createParameterSetOrNull<Set>();
    if (own != nullptr) {
        try {
            own->copyFrom(parameters->iface());
        } catch (...) {
            own->release();
            own = nullptr;
        }
    }
    parameters->release();
    return own;
}

} // namespace orq
