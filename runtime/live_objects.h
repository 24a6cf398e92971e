// Library-wide bookkeeping: live-object counts (a library may be unloaded when all are zero),
// the module handle, and the process-wide default parameter set.
#pragma once

#include "runtime/parameter_set.h"

#include <windows.h>

namespace orq {

enum class LiveKind { Plugin, Editor, ParameterSet };

// [any-thread] interlocked. Lowering a count to a zero sum posts WM_USER + 5 to the host's
// "AudioEngine" window with the module handle.
void objectCreated(LiveKind kind);
void objectDestroyed(LiveKind kind);
// Sum of the three counts.
LONG liveObjectCount();
LONG liveCount(LiveKind kind);

// The module handle of this library, stored when it is attached.
HMODULE moduleHandle();
void setModuleHandle(HMODULE module);

// The process-wide default parameter set (null until the library installs one). A new
// instance copies it; an instance destroyed in a host that takes no tails copies into it.
ParameterSet* defaultParameterSet();
void setDefaultParameterSet(ParameterSet* set);

} // namespace orq
