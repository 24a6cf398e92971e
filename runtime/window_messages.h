// Messages the libraries send to the host's "AudioEngine" window.
#pragma once

#include <windows.h>

namespace orq {

constexpr UINT kMsgEditorClosing = 0x400 + 2; // WM_USER + 2, sent
constexpr UINT kMsgLibraryIdle = 0x400 + 5;   // WM_USER + 5, posted

// Posts WM_USER + 5 with the module handle to the "AudioEngine" window, when one exists.
void notifyLibraryIdle(HMODULE module);

} // namespace orq
