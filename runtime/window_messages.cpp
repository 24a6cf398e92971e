#include "runtime/window_messages.h"

namespace orq {

void notifyLibraryIdle(HMODULE) {
    // Window messaging arrives with the component-server work; until then there is no
    // "AudioEngine" window to tell.
}

} // namespace orq
