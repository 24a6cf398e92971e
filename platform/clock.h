// Inside the platform library only: the manual clock that tests and the host use to drive
// GetTickCount and the window system's timers deterministically.
#pragma once

#include <windows.h>

namespace platform {

// Implemented next to GetTickCount. Switching on starts the manual clock at the current tick.
void setManualClock(bool on);
bool manualClockOn();
void advanceManualClock(DWORD milliseconds);

} // namespace platform
