// What every plug-in class shares around its engine: the scoped lock, the record kinds and the
// creator functions that never let a failure out.
#pragma once

#include "runtime/audio_plugin.h"
#include "runtime/parameter_set.h"

#include <windows.h>

#include <cstdint>
#include <new>

namespace orq {

// Record kinds (PluginRecord::kind). Processors are kind 1; kinds 2 and 4 change how a refused
// format change is handled (see AudioPlugin's format change); the analysers are kind 6.
constexpr int32_t kRecordKindProcessor = 1;
constexpr int32_t kRecordKindKeepsRunningOnRefusal = 2;
constexpr int32_t kRecordKindReopensOnRefusal = 4;
constexpr int32_t kRecordKindAnalyser = 6;

// open's failure when the engine cannot be built (memory, or a design it refuses); the plug-in
// stays closed and processing passes the audio unchanged.
constexpr int32_t kStatusOpenFailed = -1;

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
// built; the set passed in is released on failure, since the plug-in would have owned it.
// [ui-thread] allocates.
template <class Plugin, class Set>
AudioPlugin* createPluginOrNull(ParameterSet* parameters, HostCallback host,
                                void* hostContext) noexcept {
    if (parameters == nullptr) {
        parameters = createParameterSetOrNull<Set>();
        if (parameters == nullptr) return nullptr;
    }
    try {
        return new Plugin(parameters, host, hostContext);
    } catch (...) {
        parameters->release();
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
