#include "runtime/window_messages.h"

namespace orq {

void notifyLibraryIdle(HMODULE module) {
    // A missing "AudioEngine" window makes the message go nowhere.
    if (HWND engine = FindWindowA("AudioEngine", nullptr))
        PostMessageA(engine, kMsgLibraryIdle, 0, reinterpret_cast<LPARAM>(module));
}

} // namespace orq
