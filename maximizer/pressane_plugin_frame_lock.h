// A critical section (the plug-in's lock) in the form the maximizer engine takes around every
// frame. The engine's loop for it is compiled once, with the plug-in glue.
#pragma once

#include "maximizer/maximizer_engine.h"

#include <windows.h>

namespace orq::maximizer {

struct CriticalSectionFrameLock {
    CRITICAL_SECTION& section;
    void lock() { EnterCriticalSection(&section); }
    void unlock() { LeaveCriticalSection(&section); }
};

extern template void MaximizerEngine::process<CriticalSectionFrameLock>(const float* const*,
                                                                        float* const*, int32_t,
                                                                        OutputMode,
                                                                        CriticalSectionFrameLock&);

} // namespace orq::maximizer
