#include "runtime/live_objects.h"

#include "runtime/window_messages.h"

namespace orq {

namespace {
LONG volatile livePlugins = 0;
LONG volatile liveEditors = 0;
LONG volatile liveParameterSets = 0;
HMODULE module = nullptr;
ParameterSet* defaults = nullptr;

LONG volatile* counter(LiveKind kind) {
    switch (kind) {
    case LiveKind::Plugin:
        return &livePlugins;
    case LiveKind::Editor:
        return &liveEditors;
    case LiveKind::ParameterSet:
        break;
    }
    return &liveParameterSets;
}
} // namespace

void objectCreated(LiveKind kind) {
    InterlockedIncrement(counter(kind));
}

void objectDestroyed(LiveKind kind) {
    InterlockedDecrement(counter(kind));
    if (liveObjectCount() == 0) notifyLibraryIdle(module);
}

LONG liveCount(LiveKind kind) {
    return InterlockedExchangeAdd(counter(kind), 0);
}

LONG liveObjectCount() {
    return InterlockedExchangeAdd(&livePlugins, 0) + InterlockedExchangeAdd(&liveEditors, 0) +
           InterlockedExchangeAdd(&liveParameterSets, 0);
}

HMODULE moduleHandle() {
    return module;
}
void setModuleHandle(HMODULE m) {
    module = m;
}
ParameterSet* defaultParameterSet() {
    return defaults;
}
void setDefaultParameterSet(ParameterSet* set) {
    defaults = set;
}

} // namespace orq
