// A critical section (the plug-in's lock) in the form the maximizer engine takes around every
// frame. The engine's loop for it is compiled once, with the plug-in glue.
#pragma once

#include "maximizer/maximizer_engine.h"

#include <critical_section_fast.h>
#include <windows.h>

namespace orq::maximizer {

// The audio thread is the section's bias thread while it runs: its entries and leavings take
// the inline way (a few plain loads and stores), everything else the platform's calls.
struct CriticalSectionFrameLock {
    CRITICAL_SECTION& section;
    void lock() { platform::enterCriticalSectionFast(&section); }
    void unlock() { platform::leaveCriticalSectionFast(&section); }
};

extern template void MaximizerEngine::process<CriticalSectionFrameLock>(const float* const*,
                                                                        float* const*, int32_t,
                                                                        OutputMode,
                                                                        CriticalSectionFrameLock&);

} // namespace orq::maximizer
