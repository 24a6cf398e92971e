// The version a module's version resource declares.
#pragma once

#include <windows.h>

#include <string>

namespace orq {

// The ProductVersion string of the module's version resource (language block 040904b0), or
// empty when the module has none. [any-thread], allocates.
std::string moduleProductVersion(HINSTANCE module);

} // namespace orq
